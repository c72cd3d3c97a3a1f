// Apple events between processes: the handler table, the queue of received
// events, the listening socket and AESend.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <utility>

#include "ae_internal.h"
#include "events_internal.h"
#include "toolbox/appleevents.h"
#include "toolbox/bundle.h"
#include "toolbox/clock.h"
#include "toolbox/iobuf.h"
#include "toolbox/pump.h"
#include "toolbox/trace.h"

using namespace aeimpl;

namespace {

constexpr UInt32 kWireMagic = 'VAE1';
constexpr std::size_t kWireHeader = 8;
// Datagrams one wake-up of the listening socket reads at most.
constexpr int kMaxReadsPerWake = 64;
constexpr UInt32 kWireHighPriority = 1;
// A program that stops reading cannot make its sender's memory grow.
constexpr std::size_t kMaxQueued = 256;

struct HandlerEntry {
  AEEventHandlerUPP handler;
  SRefCon refcon;
};

struct Queued {
  std::string flat;
  AEEventClass eventClass;
  AEEventID eventID;
  bool high;
  bool fromSignal = false;  // the quit SIGTERM asked for
};

struct State {
  std::map<std::pair<AEEventClass, AEEventID>, HandlerEntry> handlers;
  std::deque<Queued> queue;
  bool started = false;
  bool autoStartChecked = false;
  bool autoStart = false;
  tb::UniqueFd fd;
  tb::WatchGuard watch;
  std::string path;
  tb::WatchGuard termWatch;
};

State& st() {
  static State s;
  return s;
}

void removeSocketAtExit() {
  State& s = st();
  if (!s.path.empty()) unlink(s.path.c_str());
}

const HandlerEntry* findHandler(AEEventClass c, AEEventID id) {
  auto& h = st().handlers;
  for (auto key : {std::pair{c, id}, std::pair{c, AEEventID(typeWildCard)},
                   std::pair{AEEventClass(typeWildCard), id},
                   std::pair{AEEventClass(typeWildCard), AEEventID(typeWildCard)}}) {
    auto it = h.find(key);
    if (it != h.end()) return &it->second;
  }
  return nullptr;
}

void enqueue(std::string flat, bool high, bool fromSignal = false) {
  Event ev;
  if (!ParseEvent(flat, ev)) {
    tb::TraceRefusal("ae", "an event of %zu bytes does not parse", flat.size());
    return;
  }
  State& s = st();
  // A flood from other processes must not cost the system's quit request.
  if (s.queue.size() >= kMaxQueued && !fromSignal) {
    tb::TraceRefusal("ae", "queue full (%zu events): '%s'/'%s' dropped", s.queue.size(), CodeText(ev.eventClass).c_str(),
                     CodeText(ev.eventID).c_str());
    return;
  }
  Queued q{std::move(flat), ev.eventClass, ev.eventID, high, fromSignal};
  if (high) {
    auto it = s.queue.begin();
    while (it != s.queue.end() && it->high) ++it;
    s.queue.insert(it, std::move(q));
  } else {
    s.queue.push_back(std::move(q));
  }
}

// Events no handler would take are dropped as they reach the head, so the
// Event Manager never reports one that AEProcessAppleEvent cannot consume.
// Until the program has installed its first handler nothing is reported or
// dropped: the launching event waits for the handlers being set up.
void dropUnhandledHeads() {
  State& s = st();
  if (s.handlers.empty()) return;
  while (!s.queue.empty() && !findHandler(s.queue.front().eventClass, s.queue.front().eventID))
    s.queue.pop_front();
}

void onReadable(int fd, short) {
  std::string buf(kWireHeader + kAEMaxEventBytes, '\0');
  // Bounded per wake-up, so a process that floods us cannot hold the event
  // loop; the watch wakes again for the rest.
  for (int i = 0; i < kMaxReadsPerWake; ++i) {
    tb::IoResult io =
        tb::SocketRetry(fd, POLLIN, 0, [&] { return recv(fd, buf.data(), buf.size(), MSG_DONTWAIT | MSG_TRUNC); });
    if (!io.ok()) break;  // drained
    auto len = static_cast<std::size_t>(io.n);
    if (len > buf.size() || len < kWireHeader || be::get32(buf.data()) != kWireMagic) {
      tb::TraceRefusal("ae", "a datagram of %zu bytes is cut, too short or not ours", len);
      continue;
    }
    bool high = (be::get32(buf.data() + 4) & kWireHighPriority) != 0;
    enqueue(buf.substr(kWireHeader, len - kWireHeader), high);
  }
}

// SIGTERM asks the program to quit as the platform's own shut-down did: a
// 'aevt'/'quit' event to itself, so its quit handler runs from its event
// loop. The handler only writes a byte to a pipe; the pump turns the byte
// into the event. A program without a quit handler ends as SIGTERM would
// have ended it.
int gTermPipe[2] = {-1, -1};

// A loop that cannot take Apple events (a modal dialog, a chooser, control
// tracking, a busy wait) would hold the quit request for ever, and the
// system's shut-down would end in SIGKILL with nothing written. Once the
// request has waited this long unanswered, the toolbox ends the program
// itself through the ordinary exit, so its exit steps still run. Short
// waits (a button's flash, a click) end first and the program's own quit
// handler runs as usual.
constexpr UInt64 kQuitUnansweredMicros = 1'000'000;
UInt64 gSignalQuitSince = 0;  // when the waiting request came; 0: none
// Set once the toolbox ends the program so: what the program holds at that
// moment (its windows, resources, the exchange it waits on) is in use, not
// lost, and the leak checker of a sanitizer build must not report it.
bool gEndedMidLoop = false;

bool signalQuitQueued() {
  for (const Queued& q : st().queue)
    if (q.fromSignal) return true;
  return false;
}

void onTermSignal(int) {
  int saved = errno;
  if (gTermPipe[1] >= 0) {
    char b = 'T';
    [[maybe_unused]] ssize_t n = write(gTermPipe[1], &b, 1);
  }
  errno = saved;
}

Event makeQuitToSelf() {
  Event ev;
  ev.eventClass = kCoreEventClass;
  ev.eventID = kAEQuitApplication;
  ProcessSerialNumber self = CurrentPSN();
  ev.address = Item{0, typeProcessSerialNumber, std::string(reinterpret_cast<const char*>(&self), sizeof self)};
  ev.from = ev.address;
  return ev;
}

void onTermPipe(int fd, short) {
  char buf[64];
  bool any = false;
  while (read(fd, buf, sizeof buf) > 0) any = true;
  if (!any) return;
  if (!findHandler(kCoreEventClass, kAEQuitApplication)) {
    signal(SIGTERM, SIG_DFL);
    raise(SIGTERM);
    return;
  }
  // Further signals while one request waits ask for nothing more.
  if (gSignalQuitSince && signalQuitQueued()) return;
  enqueue(BuildEvent(makeQuitToSelf()), true, true);
  gSignalQuitSince = tb::MonotonicMicros();
}

void watchTermSignal() {
  State& s = st();
  if (gTermPipe[0] < 0) {
    if (pipe2(gTermPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
      gTermPipe[0] = gTermPipe[1] = -1;
      return;
    }
    struct sigaction sa {};
    sa.sa_handler = onTermSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
  }
  if (!s.termWatch) s.termWatch = tb::WatchGuard(gTermPipe[0], tb::kReadable, onTermPipe);
}

Event makeOpenApplication() {
  Event ev;
  ev.eventClass = kCoreEventClass;
  ev.eventID = kAEOpenApplication;
  ProcessSerialNumber self = CurrentPSN();
  ev.address = Item{0, typeProcessSerialNumber, std::string(reinterpret_cast<const char*>(&self), sizeof self)};
  return ev;
}

// The launch event counts only when it was meant for this program: an
// inherited variable meant for an ancestor is ignored.
bool launchEventIsOurs(const Event& ev) {
  UInt32 sig;
  if (ev.address.type == typeApplSignature && HostU32(ev.address.data, sig)) {
    OSType mine = tb::CurrentCreator();
    return mine == 0 || sig == mine;
  }
  return ev.address.type == typeProcessSerialNumber || ev.address.type == typeNull;
}

bool peekHighLevel(UInt32* eventClass, UInt32* eventID) {
  State& s = st();
  if (!s.started) {
    if (!s.autoStartChecked) {
      s.autoStartChecked = true;
      s.autoStart = std::getenv(kLaunchEventEnv) != nullptr || !tb::MainBundlePath().empty();
    }
    if (!s.autoStart) return false;
    tb::StartAppleEvents();
  }
  dropUnhandledHeads();
  if (s.queue.empty() || s.handlers.empty()) return false;
  if (eventClass) *eventClass = s.queue.front().eventClass;
  if (eventID) *eventID = s.queue.front().eventID;
  return true;
}

[[maybe_unused]] const bool kSourceRegistered = (tb::SetHighLevelEventSource(&peekHighLevel), true);

}  // namespace

void tb::detail::EndIfQuitUnanswered() {
  if (!gSignalQuitSince) return;
  if (!signalQuitQueued()) {
    gSignalQuitSince = 0;
    return;
  }
  if (tb::MonotonicMicros() - gSignalQuitSince < kQuitUnansweredMicros) return;
  std::fprintf(stderr, "toolbox: the quit request found the program in a loop that cannot take it; ending\n");
  std::fflush(nullptr);
  gEndedMidLoop = true;
  std::exit(0);
}

// The leak checker's own hook (asked once, at exit): off only for an end
// from inside a loop; every other exit is still checked.
extern "C" __attribute__((visibility("default"), used)) int __lsan_is_turned_off() { return gEndedMidLoop ? 1 : 0; }

namespace aeimpl {

OSErr DeliverToSocket(const std::string& path, std::string_view flat, bool high, SInt32 timeoutTicks) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return procNotFound;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);

  std::string msg(kWireHeader, '\0');
  be::put32(msg.data(), kWireMagic);
  be::put32(msg.data() + 4, high ? kWireHighPriority : 0);
  msg.append(flat);

  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return memFullErr;
  OSErr result = noErr;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    result = procNotFound;
  } else {
    int waitMs = timeoutTicks == kNoTimeOut        ? -1
                 : timeoutTicks == kAEDefaultTimeout ? 60 * 1000
                 : timeoutTicks <= 0                 ? 0
                                                     : static_cast<int>(SInt64(timeoutTicks) * 1000 / 60);
    // A full receiver queue is waited out until the time-out.
    tb::IoResult io = tb::SocketRetry(fd, POLLOUT, waitMs,
                                      [&] { return send(fd, msg.data(), msg.size(), MSG_DONTWAIT | MSG_NOSIGNAL); });
    if (io.ok() && io.n == static_cast<ssize_t>(msg.size()))
      result = noErr;
    else if (io.wouldBlock())
      result = errAETimeout;
    else
      result = (!io.ok() && io.err == EMSGSIZE) ? paramErr : procNotFound;
  }
  close(fd);
  return result;
}

}  // namespace aeimpl

AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr proc) { return proc; }
void DisposeAEEventHandlerUPP(AEEventHandlerUPP) {}
OSErr InvokeAEEventHandlerUPP(const AppleEvent* theAppleEvent, AppleEvent* reply, SRefCon handlerRefcon,
                              AEEventHandlerUPP upp) {
  if (!upp) return errAEEventNotHandled;
  return upp(theAppleEvent, reply, handlerRefcon);
}

OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                            SRefCon handlerRefcon, Boolean) {
  if (!handler) return paramErr;
  st().handlers[{theAEEventClass, theAEEventID}] = HandlerEntry{handler, handlerRefcon};
  // A program that installs handlers wants its events: start listening (and
  // queue the launching event) now. A failure to listen leaves the handler
  // installed; events sent within the process still arrive.
  tb::StartAppleEvents();
  return noErr;
}

OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                           Boolean) {
  auto& h = st().handlers;
  auto it = h.find({theAEEventClass, theAEEventID});
  if (it == h.end() || (handler && it->second.handler != handler)) return errAEHandlerNotFound;
  h.erase(it);
  return noErr;
}

OSErr AEGetEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP* handler,
                        SRefCon* handlerRefcon, Boolean) {
  auto& h = st().handlers;
  auto it = h.find({theAEEventClass, theAEEventID});
  if (it == h.end()) return errAEHandlerNotFound;
  if (handler) *handler = it->second.handler;
  if (handlerRefcon) *handlerRefcon = it->second.refcon;
  return noErr;
}

OSErr AEProcessAppleEvent(const EventRecord*) {
  State& s = st();
  dropUnhandledHeads();
  if (s.queue.empty() || s.handlers.empty()) return errAENotAppleEvent;
  // Off the queue before the handler runs: a handler that runs a nested
  // event loop must not see its own event again.
  Queued q = std::move(s.queue.front());
  s.queue.pop_front();
  const HandlerEntry* entry = findHandler(q.eventClass, q.eventID);
  if (!entry) return errAEEventNotHandled;
  HandlerEntry h = *entry;
  AppleEvent event;
  AppleEvent reply;
  AEInitializeDesc(&reply);
  OSErr err = tb::UnflattenAppleEvent(q.flat.data(), q.flat.size(), &event);
  if (err) return err;
  OSErr result = h.handler(&event, &reply, h.refcon);
  AEDisposeDesc(&event);
  AEDisposeDesc(&reply);
  return result;
}

OSErr AESend(const AppleEvent* theAppleEvent, AppleEvent* reply, AESendMode sendMode, AESendPriority sendPriority,
             SInt32 timeOutInTicks, AEIdleUPP, AEFilterUPP) {
  if (reply) AEInitializeDesc(reply);
  if (!theAppleEvent || theAppleEvent->descriptorType != typeAppleEvent) return errAEWrongDataType;
  if ((sendMode & 3) != kAENoReply) return errAEUnknownSendMode;
  Event ev;
  if (!ParseEvent(DescBytes(theAppleEvent), ev)) return errAECorruptData;
  ProcessSerialNumber self = CurrentPSN();
  ev.from = Item{0, typeProcessSerialNumber, std::string(reinterpret_cast<const char*>(&self), sizeof self)};
  std::string flat = BuildEvent(ev);
  if (flat.size() > kAEMaxEventBytes) return paramErr;
  RecordSentEvent(flat, ev);
  bool high = sendPriority == kAEHighPriority;

  if (ev.address.type == typeApplSignature) {
    UInt32 sig;
    if (!HostU32(ev.address.data, sig)) return errAEUnknownAddressType;
    if (sig == kFinderSignature) return FinderHandleEvent(ev);
    std::vector<Listener> found = FindListeners(sig, 0);
    if (found.empty()) return procNotFound;
    return DeliverToSocket(found.front().path, flat, high, timeOutInTicks);
  }
  if (ev.address.type == typeProcessSerialNumber) {
    ProcessSerialNumber psn;
    if (!HostPSN(ev.address.data, psn)) return errAEUnknownAddressType;
    if (psn.highLongOfPSN == 0 && psn.lowLongOfPSN == kCurrentProcess) psn = self;
    if (psn.highLongOfPSN == self.highLongOfPSN && psn.lowLongOfPSN == self.lowLongOfPSN) {
      enqueue(flat, high);
      return noErr;
    }
    if (!ProcessAlive(psn)) return procNotFound;
    std::vector<Listener> found = FindListeners(0, static_cast<int>(psn.lowLongOfPSN));
    if (found.empty()) return procNotFound;
    return DeliverToSocket(found.front().path, flat, high, timeOutInTicks);
  }
  return errAEUnknownAddressType;
}

OSErr tb::StartAppleEvents() {
  State& s = st();
  if (s.started) return s.fd ? noErr : ioErr;
  s.started = true;

  std::string launch;
  Event ev;
  if (TakeLaunchEvent(&launch) && ParseEvent(launch, ev) && launchEventIsOurs(ev))
    enqueue(std::move(launch), false);
  else
    enqueue(BuildEvent(makeOpenApplication()), false);

  watchTermSignal();

  std::string dir = SocketDir(true);
  if (dir.empty()) return ioErr;
  std::string path = dir + "/" + SocketName(CurrentCreator(), static_cast<int>(getpid()));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return ioErr;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  tb::UniqueFd fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) return ioErr;
  unlink(path.c_str());  // a leftover of an earlier process with our pid
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return ioErr;
  chmod(path.c_str(), 0600);
  s.watch = tb::WatchGuard(fd.get(), tb::kReadable, onReadable);
  s.fd = std::move(fd);
  s.path = path;
  static bool atExitRegistered = false;
  if (!atExitRegistered) {
    atExitRegistered = true;
    std::atexit(removeSocketAtExit);
  }
  return noErr;
}

void tb::ResetAppleEvents() {
  State& s = st();
  s.watch.reset();
  s.termWatch.reset();
  s.fd.reset();
  if (!s.path.empty()) unlink(s.path.c_str());
  s.handlers.clear();
  s.queue.clear();
  gSignalQuitSince = 0;
  s.started = false;
  s.autoStartChecked = false;
  s.autoStart = false;
  s.path.clear();
}

std::string tb::AppleEventSocketPath() { return st().path; }

int tb::PendingAppleEvents() { return static_cast<int>(st().queue.size()); }

int tb::ProcessPendingAppleEvents(int maxWaitMs) {
  tb::Pump(maxWaitMs);
  int n = 0;
  while (peekHighLevel(nullptr, nullptr)) {
    AEProcessAppleEvent(nullptr);
    ++n;
  }
  return n;
}

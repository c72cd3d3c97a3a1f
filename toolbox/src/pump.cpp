// The pump: descriptor watches, deferred calls and the one poll every wait
// of the toolbox goes through.
#include "toolbox/pump.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "screen_internal.h"
#include "timers_internal.h"
#include "toolbox/invariant.h"

namespace {

struct Watch {
  int fd;
  short events;
  tb::FdHandler handler;
  bool running = false;
};

std::map<int, Watch>& watches() {
  // Never destroyed, so disposals at exit may still unwatch descriptors.
  static auto& w = *new std::map<int, Watch>;
  return w;
}
int gNextId = 1;

std::mutex gDeferMutex;
// Whether either queue below may hold work: set under the lock with each
// addition, so a pass with nothing put off takes no lock (an addition made
// just after the look also wakes the pump, which then finds it).
std::atomic<bool> gMayHoldWork{false};
std::deque<std::function<void()>>& deferred() {
  static auto& d = *new std::deque<std::function<void()>>;
  return d;
}

// Work for the pass after the current one (DeferToNextPass).
std::deque<std::function<void()>>& nextPass() {
  static auto& d = *new std::deque<std::function<void()>>;
  return d;
}

int wakeFd() {
  static int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return fd;
}

bool runDeferred() {
  bool ran = false;
  if (!gMayHoldWork.load(std::memory_order_acquire)) return false;
  for (;;) {
    std::function<void()> fn;
    {
      std::lock_guard<std::mutex> lock(gDeferMutex);
      if (deferred().empty()) {
        if (nextPass().empty()) gMayHoldWork.store(false, std::memory_order_release);
        break;
      }
      fn = std::move(deferred().front());
      deferred().pop_front();
    }
    fn();
    ran = true;
  }
  return ran;
}

bool haveDeferred() {
  if (!gMayHoldWork.load(std::memory_order_acquire)) return false;
  std::lock_guard<std::mutex> lock(gDeferMutex);
  return !deferred().empty() || !nextPass().empty();
}

// What was put off to this pass joins the work it runs.
void takeNextPass() {
  if (!gMayHoldWork.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(gDeferMutex);
  for (auto& fn : nextPass()) deferred().push_back(std::move(fn));
  nextPass().clear();
}

}  // namespace

int tb::WatchFD(int fd, short events, FdHandler handler) {
  int id = gNextId++;
  // An id handed out twice would drop the other watch (and its owner's
  // UnwatchFD would remove ours).
  TB_INVARIANT(id > 0 && watches().count(id) == 0);
  watches()[id] = Watch{fd, events, std::move(handler)};
  return id;
}

void tb::SetWatchEvents(int id, short events) {
  auto it = watches().find(id);
  if (it != watches().end()) it->second.events = events;
}

void tb::UnwatchFD(int id) { watches().erase(id); }

void tb::UniqueFd::reset(int fd) {
  if (fd_ >= 0 && fd_ != fd) ::close(fd_);
  fd_ = fd;
}

int tb::UniqueFd::close() {
  if (fd_ < 0) return 0;
  return ::close(release());
}

namespace {
tb::HighLevelPeek gHighLevelPeek = nullptr;
}
void tb::SetHighLevelEventSource(HighLevelPeek peek) { gHighLevelPeek = peek; }
tb::HighLevelPeek tb::HighLevelEventSource() { return gHighLevelPeek; }

int tb::WatchCount() { return static_cast<int>(watches().size()); }

void tb::Defer(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(gDeferMutex);
    deferred().push_back(std::move(fn));
    gMayHoldWork.store(true, std::memory_order_release);
  }
  Wake();
}

void tb::DeferToNextPass(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(gDeferMutex);
    nextPass().push_back(std::move(fn));
    gMayHoldWork.store(true, std::memory_order_release);
  }
  Wake();
}

void tb::Wake() {
  UInt64 one = 1;
  ssize_t r = write(wakeFd(), &one, sizeof one);
  (void)r;
}

namespace {
UInt64 gPumps = 0;

// The descriptors of one pump and their watch ids, kept from pass to pass
// (one pair per nesting depth: a handler may pump again).
struct PollSet {
  std::vector<pollfd> fds;
  std::vector<int> ids;
};
std::deque<PollSet>& pollSets() {
  static auto& s = *new std::deque<PollSet>;
  return s;
}
int gPumpDepth = 0;
}  // namespace

UInt64 tb::PumpCount() { return gPumps; }

bool tb::Pump(int maxWaitMs) {
  ++gPumps;
  takeNextPass();
  detail::RunDueTimers();
  if (haveDeferred()) maxWaitMs = 0;
  // Sleep only until the next timer is due.
  if (SInt64 t = detail::MicrosToNextTimer(); t >= 0 && maxWaitMs > 0)
    maxWaitMs = int(std::min<SInt64>(maxWaitMs, (t + 999) / 1000));
  // Nor past the end of the screen's refresh when a frame waits for it.
  if (SInt64 t = detail::MicrosToDisplayFrame(); t >= 0 && maxWaitMs > 0)
    maxWaitMs = int(std::min<SInt64>(maxWaitMs, (t + 999) / 1000));

  if (pollSets().size() <= std::size_t(gPumpDepth)) pollSets().emplace_back();
  PollSet& set = pollSets()[std::size_t(gPumpDepth)];
  struct Depth {
    Depth() { ++gPumpDepth; }
    ~Depth() { --gPumpDepth; }
  } depth;
  std::vector<pollfd>& fds = set.fds;
  std::vector<int>& ids = set.ids;
  fds.clear();
  ids.clear();
  fds.push_back(pollfd{wakeFd(), POLLIN, 0});
  ids.push_back(0);
  for (auto& [id, w] : watches()) {
    if (w.running || w.events == 0) continue;
    fds.push_back(pollfd{w.fd, w.events, 0});
    ids.push_back(id);
  }

  int n = poll(fds.data(), fds.size(), maxWaitMs < 0 ? 0 : maxWaitMs);
  bool ran = false;
  if (n > 0) {
    if (fds[0].revents) {
      UInt64 count;
      while (read(wakeFd(), &count, sizeof count) > 0) {
      }
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      // The handler may remove this or other watches, or pump again.
      auto it = watches().find(ids[i]);
      if (it == watches().end() || it->second.running) continue;
      it->second.running = true;
      tb::FdHandler h = it->second.handler;
      h(fds[i].fd, fds[i].revents);
      ran = true;
      it = watches().find(ids[i]);
      if (it != watches().end()) it->second.running = false;
    }
  }
  if (runDeferred()) ran = true;
  detail::RunDueTimers();
  detail::DisplayFrameIfDue();
  return ran;
}

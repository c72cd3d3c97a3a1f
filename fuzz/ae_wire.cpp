// The Apple-event wire: datagrams another local process writes to this
// program's socket, read by the event loop, queued, parsed and handed to
// the handlers, which then read parameters, items and attributes the way
// the programs do. A malformed event must be refused whole, a good one
// must read back as it was written, the queue must stay bounded, and no
// turn of the loop may take long however many datagrams wait.
//
// Input: datagrams, each a flag byte (bit 0: without our wire header, so
// raw bytes; bit 1: high priority; bit 2: a wrong magic), a length (u16)
// and the bytes; at most 32 datagrams.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "toolbox/appleevents.h"
#include "toolbox/types.h"

namespace {

constexpr UInt32 kWireMagic = 'VAE1';
constexpr UInt32 kHighPriority = 1;

int gHandled = 0;

// Reads what a program's handler would: the direct object as text, as a
// list of items (each as text and as a file spec), every attribute.
OSErr Handler(const AppleEvent* event, AppleEvent* reply, SRefCon) {
  gHandled++;
  fuzz::Check(event && event->descriptorType == typeAppleEvent, "a handler gets an Apple event");
  char text[64];
  DescType type = 0;
  Size size = 0;
  AEGetParamPtr(event, keyDirectObject, typeChar, &type, text, sizeof text, &size);
  AEDesc direct;
  AEInitializeDesc(&direct);
  if (AEGetParamDesc(event, keyDirectObject, typeAEList, &direct) == noErr) {
    long count = 0;
    if (AECountItems(&direct, &count) == noErr) {
      fuzz::Check(count >= 0, "item count");
      for (long i = 1; i <= count && i <= 64; ++i) {
        AEKeyword key = 0;
        AEGetNthPtr(&direct, i, typeChar, &key, &type, text, sizeof text, &size);
        AEDesc item;
        AEInitializeDesc(&item);
        if (AEGetNthDesc(&direct, i, typeWildCard, &key, &item) == noErr) {
          AEDesc coerced;
          AEInitializeDesc(&coerced);
          if (AECoerceDesc(&item, typeChar, &coerced) == noErr) AEDisposeDesc(&coerced);
          AEDisposeDesc(&item);
        }
      }
    }
    AEDisposeDesc(&direct);
  }
  for (AEKeyword attr : {keyEventClassAttr, keyEventIDAttr, keyAddressAttr, keyReturnIDAttr, keyTransactionIDAttr,
                         keyOriginalAddressAttr}) {
    char buf[32];
    AEGetAttributePtr(event, attr, typeWildCard, &type, buf, sizeof buf, &size);
  }
  // What arrived reads back exactly as it was written.
  std::string flat;
  fuzz::Check(tb::FlattenAppleEvent(event, &flat) == noErr, "a received event flattens");
  AppleEvent again;
  fuzz::Check(tb::UnflattenAppleEvent(flat.data(), flat.size(), &again) == noErr, "and reads back");
  std::string twice;
  fuzz::Check(tb::FlattenAppleEvent(&again, &twice) == noErr && twice == flat, "unchanged");
  AEDisposeDesc(&again);
  (void)reply;
  return noErr;
}

// Once per process: our own socket folder, the listening socket, one
// handler for every event.
void Init() {
  static fuzz::ScratchFile runtime("unused");
  static const bool done = [] {
    ::setenv("XDG_RUNTIME_DIR", runtime.dir().c_str(), 1);
    fuzz::Check(tb::StartAppleEvents() == noErr, "listening");
    AEInstallEventHandler(typeWildCard, typeWildCard, NewAEEventHandlerUPP(Handler), 0, false);
    return true;
  }();
  (void)done;
}

// Another local process: a datagram socket connected to ours.
int Sender() {
  static int fd = [] {
    int s = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const std::string path = tb::AppleEventSocketPath();
    std::memcpy(a.sun_path, path.c_str(), std::min(path.size() + 1, sizeof a.sun_path - 1));
    fuzz::Check(::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0, "connected to our socket");
    int buf = 1 << 22;
    ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, &buf, sizeof buf);
    return s;
  }();
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Init();
  fuzz::Cursor in(data, size);
  for (int n = 0; n < 32 && in.left(); ++n) {
    const std::uint8_t flags = in.U8();
    const std::span<const std::uint8_t> body = in.Bytes(in.U16());
    std::string d;
    if (!(flags & 1)) {
      d.resize(8);
      be::put32(d.data(), (flags & 4) ? kWireMagic ^ 0x01000000u : kWireMagic);
      be::put32(d.data() + 4, (flags & 2) ? kHighPriority : 0);
    }
    d.append(reinterpret_cast<const char*>(body.data()), body.size());
    // What does not fit the socket is simply lost, as from any sender.
    ::send(Sender(), d.data(), d.size(), MSG_DONTWAIT);

    // The direct reader refuses a malformed event whole.
    AppleEvent ev;
    if (tb::UnflattenAppleEvent(body.data(), body.size(), &ev) == noErr) {
      std::string flat;
      fuzz::Check(tb::FlattenAppleEvent(&ev, &flat) == noErr, "a parsed event flattens");
      fuzz::Check(flat.size() == body.size() && std::memcmp(flat.data(), body.data(), body.size()) == 0,
                  "to the same bytes");
      AEDisposeDesc(&ev);
    } else {
      fuzz::Check(ev.descriptorType == typeNull && ev.dataHandle == nullptr, "a refused event leaves nothing");
    }
  }
  // The program's loop until nothing is left; each turn stays short.
  for (int turn = 0; turn < 200; ++turn) {
    int ran = 0;
    fuzz::TimedTurn([&] { ran = tb::ProcessPendingAppleEvents(0); });
    fuzz::Check(tb::PendingAppleEvents() <= 256, "the queue stays bounded");
    if (ran == 0 && tb::PendingAppleEvents() == 0) break;
  }
  return 0;
}

// A print box for the JCP targets: a UDP socket on loopback that takes the
// client's requests and answers with the fuzzed datagrams, and the steps of
// a program's event loop that run a request meanwhile. The clock is the
// virtual one: a time-out happens only where an input asks for it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <span>
#include <vector>

#include "OT/JCPSearch.h"
#include "fuzz_support.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"
#include "toolbox/opentransport.h"
#include "toolbox/pump.h"

namespace fuzz {

// Once per process: the network confined to loopback, no port map, Open
// Transport up, the virtual clock.
inline void JcpInit() {
  static const bool done = [] {
    ::setenv("TOOLBOX_NET", "loopback", 1);
    ::unsetenv("TOOLBOX_PORTMAP");
    tb::ReloadNetConfig();
    Check(OT_Init() == kOTNoError, "OT_Init");
    tb::UseVirtualClock(true);
    return true;
  }();
  (void)done;
}

// One turn of a program's event loop while a request runs; it must stay
// short whatever the peer sends (the wait itself is not counted: it is
// processor time that is measured).
inline void JcpStep(JCPEPInfo* ctx, int waitMs = 0) {
  TimedTurn([&] {
    tb::Pump(waitMs);
    if (!ctx->isComplete || JCP_IsOpening(ctx)) JCP_PendingLoop(ctx);
  });
}

// Ends a request as a program does when it gives up, and runs the loop
// until the request has closed its endpoint.
inline void JcpEnd(JCPEPInfo* ctx) {
  if (!JCP_IsTerminated(ctx)) JCP_KillIOEvent(ctx);
  for (int i = 0; i < 2000 && !JCP_IsTerminated(ctx); ++i) JcpStep(ctx, i < 100 ? 0 : 1);
  Check(JCP_IsTerminated(ctx) != 0, "a request ends when it is killed");
  Check(tb::OTOpenProviderCount() == 0, "no endpoint is left open");
}

// The box, and a stranger on another loopback address at the same port:
// what the stranger sends must never count as the box's answer to a
// command (a search takes replies from every box).
class FakeBox {
 public:
  FakeBox() {
    for (int tries = 0; tries < 50 && stranger_ < 0; ++tries) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      Check(fd_ >= 0, "box socket");
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      Check(::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0, "box socket bound");
      socklen_t n = sizeof a;
      Check(::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n) == 0, "box port");
      port_ = ntohs(a.sin_port);
      stranger_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      a.sin_addr.s_addr = htonl(kStranger);
      if (::bind(stranger_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(stranger_);
        stranger_ = -1;
      }
    }
    Check(stranger_ >= 0, "stranger socket bound");
  }
  ~FakeBox() {
    ::close(fd_);
    ::close(stranger_);
  }
  FakeBox(const FakeBox&) = delete;
  FakeBox& operator=(const FakeBox&) = delete;

  UInt32 address() const { return 0x7F000001; }
  UInt16 port() const { return port_; }

  // Runs the loop until the client's first datagram arrives, which tells
  // where the answers go; false when none comes.
  bool AwaitRequest(JCPEPInfo* ctx) {
    for (int i = 0; i < 3000; ++i) {
      if (Receive()) return true;
      JcpStep(ctx, i < 100 ? 0 : 1);
    }
    return false;
  }
  // Takes every datagram waiting; true when there was one.
  bool Receive() {
    bool any = false;
    for (;;) {
      UInt8 buf[2048];
      sockaddr_in from{};
      socklen_t n = sizeof from;
      if (::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &n) < 0) return any;
      client_ = from;
      any = true;
    }
  }
  void Send(std::span<const std::uint8_t> datagram, bool fromStranger = false) {
    ::sendto(fromStranger ? stranger_ : fd_, datagram.data(), datagram.size(), 0,
             reinterpret_cast<const sockaddr*>(&client_), sizeof client_);
  }

 private:
  static constexpr UInt32 kStranger = 0x7F000002;  // 127.0.0.2
  int fd_ = -1;
  int stranger_ = -1;
  UInt16 port_ = 0;
  sockaddr_in client_{};
};

// One fuzzed datagram of a sequence: a flag byte (bit 0: let a second pass
// on the clock before it comes, so that time-outs and quiet times fire;
// bit 1: the datagram is lost; bit 2: a stranger sends it), its length
// (u16, at most 1024) and bytes.
struct JcpDatagram {
  bool late = false;
  bool lost = false;
  bool stranger = false;
  std::span<const std::uint8_t> bytes;
};

inline std::vector<JcpDatagram> JcpDatagrams(Cursor& in) {
  std::vector<JcpDatagram> out;
  while (in.left() && out.size() < 64) {
    const std::uint8_t flags = in.U8();
    const std::size_t len = in.U16() % 1025;
    out.push_back({(flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0, in.Bytes(len)});
  }
  return out;
}

}  // namespace fuzz

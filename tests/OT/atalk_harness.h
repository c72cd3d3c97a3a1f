// Shared set-up of the AppleTalk tests: an AppleTalk configuration of the
// test's own (a private network, so broadcasts of tests side by side are
// told apart), Open Transport, and a raw node that sees the lookups and
// answers them the way a peer on the wire would.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "OT/OTEndpoint.h"
#include "settle.h"
#include "test_support.h"
#include "toolbox/appletalk.h"
#include "toolbox/clock.h"
#include "toolbox/pump.h"

namespace atalktest {

inline UInt16 PrivateNetwork() { return pboxemu::PrivateAppleTalkNetwork(); }
constexpr UInt16 kPortBase = 30000;
constexpr UInt8 kOwnNode = 5;

inline UInt32 NodeHost(UInt16 net, UInt8 node) { return (0x7Fu << 24) | (UInt32(net) << 8) | node; }

inline sockaddr_in HostAddr(UInt32 host, UInt16 port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(host);
  return a;
}

inline bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    tb::Pump(5);
  }
  return true;
}

using ottest::LoopTicker;

// A node of the test's network at the raw socket level: its names
// information socket (2) and a share of the loopback broadcast there.
class RawNode {
 public:
  RawNode(UInt16 net, UInt8 node) : net_(net) {
    unicast_ = open(NodeHost(net, node), false);
    broadcast_ = open(0x7FFFFFFF, true);
  }
  ~RawNode() {
    close(unicast_);
    close(broadcast_);
  }

  struct Packet {
    std::vector<UInt8> bytes;  // after the two-byte header
    UInt8 type = 0;
    UInt16 net = 0;
    UInt8 node = 0, socket = 0;
  };
  // The next lookup broadcast on the node's network.
  // pump: lets the event loop run while waiting (only on the test's thread).
  bool NextLookup(Packet& p, int ms = 3000, bool pump = true) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      pollfd pf{broadcast_, POLLIN, 0};
      if (poll(&pf, 1, 10) <= 0) {
        if (pump) tb::Pump(0);
        continue;
      }
      UInt8 buf[1024];
      sockaddr_in from{};
      socklen_t fl = sizeof from;
      ssize_t n = recvfrom(broadcast_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fl);
      UInt32 h = ntohl(from.sin_addr.s_addr);
      if (n < 2 || buf[0] != 0xDD || UInt16(h >> 8) != net_) continue;  // another test's
      p.bytes.assign(buf + 2, buf + n);
      p.type = buf[1];
      p.net = UInt16(h >> 8);
      p.node = UInt8(h);
      p.socket = UInt8(ntohs(from.sin_port) - kPortBase);
      return true;
    }
    return false;
  }
  // Sends bytes as a DDP datagram (type 2 unless told) from socket 2 to
  // (net, node, socket); node 255 is the broadcast.
  void Send(const std::vector<UInt8>& bytes, UInt16 net, UInt8 node, UInt8 socket, UInt8 type = 2) {
    std::vector<UInt8> d{0xDD, type};
    d.insert(d.end(), bytes.begin(), bytes.end());
    sockaddr_in to = HostAddr(node == 255 ? 0x7FFFFFFF : NodeHost(net, node), UInt16(kPortBase + socket));
    sendto(unicast_, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  // The next datagram to the node's own socket.
  bool Recv(Packet& p, int ms = 3000) {
    pollfd pf{unicast_, POLLIN, 0};
    if (poll(&pf, 1, ms) <= 0) return false;
    UInt8 buf[2048];
    sockaddr_in from{};
    socklen_t fl = sizeof from;
    ssize_t n = recvfrom(unicast_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fl);
    if (n < 2) return false;
    UInt32 h = ntohl(from.sin_addr.s_addr);
    p.bytes.assign(buf + 2, buf + n);
    p.type = buf[1];
    p.net = UInt16(h >> 8);
    p.node = UInt8(h);
    p.socket = UInt8(ntohs(from.sin_port) - kPortBase);
    return true;
  }

 private:
  int open(UInt32 host, bool shared) {
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int one = 1;
    if (shared) setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(s, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in a = HostAddr(host, UInt16(kPortBase + 2));
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return s;
  }
  UInt16 net_;
  int unicast_ = -1, broadcast_ = -1;
};

// A lookup reply: function 3, the id, then tuples of (network, node,
// socket, enumerator, object, type, zone).
struct Tuple {
  UInt16 net;
  UInt8 node, socket;
  std::string object, type, zone;
};
inline std::vector<UInt8> LookupReply(UInt8 id, const std::vector<Tuple>& tuples, UInt8 function = 3) {
  std::vector<UInt8> r{UInt8(function << 4 | tuples.size()), id};
  for (const Tuple& t : tuples) {
    r.push_back(UInt8(t.net >> 8));
    r.push_back(UInt8(t.net));
    r.push_back(t.node);
    r.push_back(t.socket);
    r.push_back(0);
    for (const std::string* s : {&t.object, &t.type, &t.zone}) {
      r.push_back(UInt8(s->size()));
      r.insert(r.end(), s->begin(), s->end());
    }
  }
  return r;
}

// A lookup (function 2) or broadcast request (1) for object:type@zone whose
// answers go to (net, node, socket).
inline std::vector<UInt8> LookupRequest(UInt8 function, UInt8 id, UInt16 net, UInt8 node, UInt8 socket,
                                        const std::string& object, const std::string& type,
                                        const std::string& zone) {
  std::vector<UInt8> r{UInt8(function << 4 | 1), id, UInt8(net >> 8), UInt8(net), node, socket, 0};
  for (const std::string* s : {&object, &type, &zone}) {
    r.push_back(UInt8(s->size()));
    r.insert(r.end(), s->begin(), s->end());
  }
  return r;
}

// Writes the configuration and sets Open Transport up; undone at the end.
class AppleTalkEnv {
 public:
  explicit AppleTalkEnv(const std::string& extra = "") { Configure(extra); }
  ~AppleTalkEnv() {
    OT_Deinit();
    env_.reset();
    tb::ReloadAppleTalkConfig();
  }
  void Configure(const std::string& extra) {
    testsupport::WriteFile(dir_ / "appletalk.conf", "network = " + std::to_string(net) + "\nnode = " +
                                                        std::to_string(kOwnNode) + "\nport-base = " +
                                                        std::to_string(kPortBase) + "\n" + extra);
    env_.reset();
    env_ = std::make_unique<testsupport::ScopedEnv>("TOOLBOX_APPLETALK_CONF", (dir_ / "appletalk.conf").c_str());
    tb::ReloadAppleTalkConfig();
    OT_Init();
  }
  UInt16 net = PrivateNetwork();

 private:
  testsupport::TempDir dir_;
  std::unique_ptr<testsupport::ScopedEnv> env_;
};

}  // namespace atalktest

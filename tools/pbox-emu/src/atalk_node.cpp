// The boxes' AppleTalk node: NBP lookups answered on the names information
// socket, and JCP over DDP on a socket of its own, on loopback UDP.
#include "atalk_node.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "toolbox/appletalk.h"
#include "toolbox/clock.h"

namespace pboxemu {

namespace {

constexpr UInt8 kMark = 0xDD;
constexpr UInt8 kNbpType = 2;
constexpr UInt8 kNisSocket = 2;
constexpr UInt32 kBroadcastHost = 0x7FFFFFFFu;  // 127.255.255.255
constexpr std::size_t kNameMax = 32;
constexpr const char kJcpType[] = "CTRLJCP1";

UInt32 nodeHost(UInt16 net, UInt8 node) { return (0x7Fu << 24) | (UInt32(net) << 8) | node; }

int ddpSocket(UInt32 host, UInt16 port, bool shared, std::string* error) {
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s < 0) {
    if (error) *error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  int one = 1;
  // Every emulator on the machine shares the broadcast port.
  if (shared) setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(host);
  if (bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    if (error) {
      *error = "bind " + std::to_string(host >> 24) + "." + std::to_string((host >> 16) & 255) + "." +
               std::to_string((host >> 8) & 255) + "." + std::to_string(host & 255) + ":" + std::to_string(port) +
               ": " + std::strerror(errno);
    }
    close(s);
    return -1;
  }
  return s;
}

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = UInt8(a[i]), y = UInt8(b[i]);
    if (x >= 'a' && x <= 'z') x = UInt8(x - 32);
    if (y >= 'a' && y <= 'z') y = UInt8(y - 32);
    if (x != y) return false;
  }
  return true;
}

// One datagram off a DDP socket: its sender's DDP address and what follows
// the header.
struct Datagram {
  std::vector<UInt8> data;
  UInt8 type = 0;
  UInt32 host = 0;  // the sender's loopback address
  UInt16 net = 0;
  UInt8 node = 0, socket = 0;
  UInt32 tick = 0;
};

class AppleTalkService : public Service {
 public:
  AppleTalkService(std::mutex& mu, std::vector<std::unique_ptr<BoxState>>& boxes) : mu_(mu), boxes_(boxes) {}
  ~AppleTalkService() override { Close(); }

  bool Open(Reactor& reactor, std::string* error) override {
    reactor_ = &reactor;
    tb::AppleTalkSettings cfg = tb::AppleTalkConfig();
    base_ = cfg.portBase;
    ownZone_ = cfg.myZone;
    std::lock_guard<std::mutex> lock(mu_);
    int k = 0;
    for (auto& b : boxes_) {
      if (!b->desc.appleTalk) continue;
      if (kFirstBoxNode + k > 253) {
        if (error) *error = "too many AppleTalk boxes for one network";
        return false;
      }
      b->atNetwork = b->desc.atNetwork ? b->desc.atNetwork : cfg.network;
      b->atNode = UInt8(kFirstBoxNode + k++);
      UInt32 host = nodeHost(b->atNetwork, b->atNode);
      b->nisSock = ddpSocket(host, UInt16(base_ + kNisSocket), false, error);
      if (b->nisSock < 0) return false;
      b->atSock = ddpSocket(host, UInt16(base_ + kJcpDdpSocket), false, error);
      if (b->atSock < 0) return false;
      BoxState* box = b.get();
      reactor.Watch(b->nisSock, [this, box] { fromNis(*box); });
      reactor.Watch(b->atSock, [this, box] { fromJcp(*box); });
    }
    broadcast_ = ddpSocket(kBroadcastHost, UInt16(base_ + kNisSocket), true, error);
    if (broadcast_ < 0) return false;
    reactor.Watch(broadcast_, [this] { fromBroadcast(); });
    return true;
  }

  void Close() override {
    auto drop = [this](int& s) {
      if (s < 0) return;
      if (reactor_) reactor_->Unwatch(s);
      close(s);
      s = -1;
    };
    for (auto& b : boxes_) {
      drop(b->nisSock);
      drop(b->atSock);
    }
    drop(broadcast_);
  }

 private:
  bool receive(int s, Datagram& d) {
    UInt8 buf[2048];
    for (;;) {
      sockaddr_in from{};
      socklen_t len = sizeof from;
      ssize_t n = recvfrom(s, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n < 0) return false;
      UInt32 host = ntohl(from.sin_addr.s_addr);
      UInt16 port = ntohs(from.sin_port);
      // Only DDP datagrams from DDP sockets on loopback.
      if (n < 2 || buf[0] != kMark || (host >> 24) != 127 || port <= base_ || port >= base_ + 255) continue;
      d.data.assign(buf + 2, buf + n);
      d.type = buf[1];
      d.host = host;
      d.net = UInt16(host >> 8);
      d.node = UInt8(host);
      d.socket = UInt8(port - base_);
      d.tick = TickCount();
      return true;
    }
  }

  void fromNis(BoxState& box) {
    Datagram d;
    while (receive(box.nisSock, d)) {
      std::lock_guard<std::mutex> lock(mu_);
      if (d.type == kNbpType) lookup(box, d);
    }
  }

  // A broadcast reaches the nodes of the sender's network only.
  void fromBroadcast() {
    Datagram d;
    while (receive(broadcast_, d)) {
      if (d.type != kNbpType) continue;
      std::lock_guard<std::mutex> lock(mu_);
      for (auto& b : boxes_)
        if (b->desc.appleTalk && b->atNode && (b->atNetwork == d.net || routed(*b))) lookup(*b, d);
    }
  }

  // A box on a network of its own, reached through the router.
  static bool routed(const BoxState& box) { return box.desc.atNetwork != 0; }

  std::string zoneOf(const BoxState& box) const { return box.desc.zone.empty() ? ownZone_ : box.desc.zone; }

  static std::string nameOf(const BoxState& box) {
    std::string n = box.desc.name.empty() ? "PBOX-" + std::to_string(box.index + 1) : box.desc.name;
    return n.substr(0, kNameMax);
  }

  // Answers a lookup (function 1 or 2) that names this box: object "=" or
  // its name, type "=" or "CTRLJCP1", zone "*" or its zone, without regard
  // to case.
  void lookup(BoxState& box, const Datagram& d) {
    const std::vector<UInt8>& p = d.data;
    if (p.size() < 7) return;
    UInt8 function = p[0] >> 4;
    if ((function != 1 && function != 2) || (p[0] & 0x0F) == 0) return;
    std::size_t pos = 7;
    std::string_view names[3];
    for (auto& n : names) {
      if (pos >= p.size() || p[pos] > kNameMax || p.size() - pos - 1 < p[pos]) return;
      n = std::string_view(reinterpret_cast<const char*>(&p[pos + 1]), p[pos]);
      pos += 1 + p[pos];
    }
    std::string name = nameOf(box);
    std::string zone = zoneOf(box);
    if (names[0] != "=" && !equalNoCase(names[0], name)) return;
    if (names[1] != "=" && !equalNoCase(names[1], kJcpType)) return;
    if (names[2] != "*" && !equalNoCase(names[2], zone)) return;
    // The router passes "*" (the asker's own zone) on only within that zone.
    if (names[2] == "*" && routed(box) && d.net != box.atNetwork && !equalNoCase(zone, ownZone_)) return;
    if (box.desc.nbpReply == NbpReply::Silent) return;

    std::vector<UInt8> r{kMark, kNbpType, 0x31, p[1], UInt8(box.atNetwork >> 8), UInt8(box.atNetwork), box.atNode,
                         kJcpDdpSocket, 0};
    auto put = [&r](std::string_view s) {
      r.push_back(UInt8(s.size()));
      r.insert(r.end(), s.begin(), s.end());
    };
    put(box.desc.nbpReply == NbpReply::LongName ? std::string(kNameMax + 1, 'N') : name);
    put(kJcpType);
    put(zone);
    if (box.desc.nbpReply == NbpReply::PastEnd) r.pop_back();  // the zone's length byte claims one more
    if (box.desc.nbpReply == NbpReply::NotReply) r[2] = 0x21;

    UInt16 net = be::get16(&p[2]);
    sendTo(box.nisSock, r, nodeHost(net ? net : d.net, p[4]), p[5]);
    ++box.nbpLookups;
  }

  void fromJcp(BoxState& box) {
    Datagram d;
    while (receive(box.atSock, d)) {
      std::lock_guard<std::mutex> lock(mu_);
      std::vector<Reply> replies;
      HandleDatagram(box, d.data, d.host, d.socket, false, replies);
      for (const Reply& reply : replies) {
        std::vector<Outgoing> out;
        ApplyFault(box, reply, d.data, out);
        for (Outgoing& o : out) {
          // Replies go back with the request's DDP type.
          std::vector<UInt8> bytes{kMark, d.type};
          bytes.insert(bytes.end(), o.bytes.begin(), o.bytes.end());
          UInt32 host = d.host;
          UInt8 socket = d.socket;
          if (o.delay == 0) {
            if (sendTo(box.atSock, bytes, host, socket)) ++box.replies;
          } else {
            BoxState* bp = &box;
            reactor_->At(d.tick + o.delay, [this, bp, bytes = std::move(bytes), host, socket] {
              std::lock_guard<std::mutex> lock(mu_);
              if (bp->atSock >= 0 && sendTo(bp->atSock, bytes, host, socket)) ++bp->replies;
            });
          }
        }
      }
    }
  }

  bool sendTo(int s, const std::vector<UInt8>& bytes, UInt32 host, UInt8 socket) const {
    // The emulator never sends anywhere but loopback.
    if ((host >> 24) != 127 || socket == 0 || socket == 255) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(UInt16(base_ + socket));
    to.sin_addr.s_addr = htonl(host);
    return sendto(s, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) >= 0;
  }

  std::mutex& mu_;
  std::vector<std::unique_ptr<BoxState>>& boxes_;
  Reactor* reactor_ = nullptr;
  UInt16 base_ = 0;
  std::string ownZone_;
  int broadcast_ = -1;
};

}  // namespace

std::unique_ptr<Service> MakeAppleTalkService(std::mutex& mu, std::vector<std::unique_ptr<BoxState>>& boxes) {
  return std::make_unique<AppleTalkService>(mu, boxes);
}

}  // namespace pboxemu

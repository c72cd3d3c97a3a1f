// Playing a hostile peer over loopback: raw UDP sockets standing for the box
// and for strangers (over AppleTalk, DDP nodes of the test's own network), a
// box that answers every command request by a rule of the test's,
// a TCP peer that streams faster than anyone reads, and an event loop that
// remembers its longest turn.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "atalk_harness.h"
#include "OT/JCPPacket.h"
#include "OT/JCPSearch.h"
#include "toolbox/pump.h"

namespace hostile {

using Clock = std::chrono::steady_clock;

// The processor time this thread has used: what a turn of the loop costs,
// without the time a loaded machine keeps the thread waiting.
inline std::chrono::nanoseconds ThreadCpuTime() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

// The program's event loop: a pass of the pump, then the request's poll
// step. Every turn is timed: a peer must never make one turn long.
class Loop {
 public:
  void Turn(JCPEPInfo* ctx = nullptr, const std::function<void()>& idle = {}) {
    auto t0 = ThreadCpuTime();
    tb::Pump(0);
    if (ctx && (!ctx->isComplete || JCP_IsOpening(ctx))) JCP_PendingLoop(ctx);
    if (idle) idle();
    longest_ = std::max(longest_, ThreadCpuTime() - t0);
  }
  // Turns until pred holds; false after realMs.
  bool RunUntil(const std::function<bool()>& pred, JCPEPInfo* ctx = nullptr, int realMs = 5000,
                const std::function<void()>& idle = {}) {
    auto end = Clock::now() + std::chrono::milliseconds(realMs);
    while (!pred()) {
      if (Clock::now() > end) return false;
      Turn(ctx, idle);
      usleep(200);
    }
    return true;
  }
  // Turns for a while, and at least a few times however long a loaded
  // machine keeps the thread waiting: what a peer has just sent is on the
  // socket already and must be taken before the test moves the clock on.
  void RunFor(Clock::duration d, JCPEPInfo* ctx = nullptr) {
    auto end = Clock::now() + d;
    for (int turns = 0; turns < kMinTurns || Clock::now() < end; ++turns) {
      Turn(ctx);
      usleep(200);
    }
  }
  long LongestMs() const { return long(std::chrono::duration_cast<std::chrono::milliseconds>(longest_).count()); }

 private:
  static constexpr int kMinTurns = 8;
  std::chrono::nanoseconds longest_{};
};

// One raw socket: a box or a stranger. Over AppleTalk (ddpType set) every
// datagram carries the emulation's two-byte header.
class Peer {
 public:
  Peer() = default;
  Peer(UInt32 host, UInt16 port, int ddpType = -1) : ddpType_(ddpType) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a = atalktest::HostAddr(host, port);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      if (fd_ >= 0) close(fd_);
      fd_ = -1;
      return;
    }
    socklen_t n = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
    host_ = host;
    port_ = ntohs(a.sin_port);
  }
  ~Peer() {
    if (fd_ >= 0) close(fd_);
  }
  Peer(Peer&& o) noexcept { *this = std::move(o); }
  Peer& operator=(Peer&& o) noexcept {
    std::swap(fd_, o.fd_);
    std::swap(host_, o.host_);
    std::swap(port_, o.port_);
    std::swap(ddpType_, o.ddpType_);
    std::swap(client_, o.client_);
    return *this;
  }

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  UInt32 host() const { return host_; }
  UInt16 port() const { return port_; }
  const sockaddr_in& client() const { return client_; }

  // The next datagram waiting (header removed), remembering who sent it.
  bool Receive(std::vector<UInt8>& payload) {
    UInt8 buf[4096];
    sockaddr_in from{};
    socklen_t n = sizeof from;
    ssize_t got = recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &n);
    if (got < 0) return false;
    client_ = from;
    std::size_t skip = ddpType_ >= 0 ? std::min<std::size_t>(2, std::size_t(got)) : 0;
    payload.assign(buf + skip, buf + got);
    return true;
  }
  void SendTo(const sockaddr_in& to, std::span<const UInt8> payload) {
    std::vector<UInt8> d;
    if (ddpType_ >= 0) d = {0xDD, UInt8(ddpType_)};
    d.insert(d.end(), payload.begin(), payload.end());
    sendto(fd_, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }

 private:
  int fd_ = -1;
  UInt32 host_ = 0;
  UInt16 port_ = 0;
  int ddpType_ = -1;
  sockaddr_in client_{};
};

// The box and two strangers: one on another host at the box's port, one on
// the box's host at another port.
struct Peers {
  Peer box, otherHost, otherPort;
  bool ok() const { return box.ok() && otherHost.ok() && otherPort.ok(); }

  // The box on boxPort (0: one the system picks).
  static Peers Udp(UInt32 boxHost, UInt16 boxPort = 0) {
    Peers p;
    for (int tries = 0; tries < 20 && !p.ok(); ++tries) {
      p.box = Peer(boxHost, boxPort);
      if (!p.box.ok()) continue;
      p.otherHost = Peer(boxHost + 1, p.box.port());
      p.otherPort = Peer(boxHost, 0);
    }
    return p;
  }
  static Peers Ddp(UInt16 net, UInt8 node, UInt8 socket, UInt8 type = 0xA1) {
    Peers p;
    auto at = [&](UInt8 n, UInt8 s) { return Peer(atalktest::NodeHost(net, n), UInt16(atalktest::kPortBase + s), type); };
    p.box = at(node, socket);
    p.otherHost = at(UInt8(node + 1), socket);
    p.otherPort = at(node, UInt8(socket + 1));
    return p;
  }
};

// A command reply: the head (chk, cond, offset, the size it claims) and the
// data bytes that really follow.
inline std::vector<UInt8> CommandReply(UInt16 chk, UInt16 cond, UInt16 offset, const std::string& data,
                                       int claimedSize = -1) {
  std::vector<UInt8> r(kJcpServerHeadSize);
  jcp_server h{chk, cond, offset, UInt16(claimedSize < 0 ? data.size() : std::size_t(claimedSize))};
  PackJcpServer(h, std::span<UInt8, kJcpServerHeadSize>(r.data(), kJcpServerHeadSize));
  r.insert(r.end(), data.begin(), data.end());
  return r;
}

// A box that answers every command request at once, on a thread of its
// own, with the datagrams a rule of the test's makes of the request; they go
// from the box, or from a stranger on the box's host at another port.
class Responder {
 public:
  using Rule = std::function<std::vector<std::vector<UInt8>>(const jcp_client&)>;
  Responder(Peers& peers, Rule rule, bool fromOtherPort = false)
      : peers_(peers), rule_(std::move(rule)), fromOtherPort_(fromOtherPort) {
    thread_ = std::thread([this] { run(); });
  }
  ~Responder() {
    stop_ = true;
    thread_.join();
  }
  Responder(const Responder&) = delete;
  Responder& operator=(const Responder&) = delete;

  int Requests() const { return requests_; }
  // The tries the requests came in: each opens an endpoint of its own.
  int Tries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return int(ports_.size());
  }
  // For a clock that moves with the caller's loop: false while a request
  // waits for its answer, unless answers went out since the last call (a
  // box that answers without end must not stop the clock).
  bool ClockMayMove() {
    const int seen = requests_;
    const bool answered = seen != seen_;
    seen_ = seen;
    pollfd p{peers_.box.fd(), POLLIN, 0};
    return answered || (!busy_ && poll(&p, 1, 0) <= 0);
  }

 private:
  void run() {
    std::vector<UInt8> req;
    while (!stop_) {
      busy_ = true;
      if (!peers_.box.Receive(req)) {
        busy_ = false;
        usleep(200);
        continue;
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ports_.insert(peers_.box.client().sin_port);
      }
      jcp_client c{};
      if (UnpackJcpClient(req, c)) {
        Peer& from = fromOtherPort_ ? peers_.otherPort : peers_.box;
        for (const auto& d : rule_(c)) from.SendTo(peers_.box.client(), d);
      }
      ++requests_;
      busy_ = false;
    }
  }

  Peers& peers_;
  Rule rule_;
  bool fromOtherPort_;
  std::atomic<bool> stop_{false}, busy_{false};
  std::atomic<int> requests_{0};
  mutable std::mutex mutex_;
  std::set<UInt16> ports_;
  int seen_ = -1;
  std::thread thread_;
};

// A TCP server on loopback that, once called, sends one endless line (no
// line end) in 64 KiB writes as fast as the caller takes them, `limit`
// bytes of it, then holds the connection open without another word until
// it is stopped. The amount, not a time, ends the stream: a reader that
// never gives the loop back still ends, and a loaded machine that reads
// slowly is sent the same line.
class Streamer {
 public:
  Streamer(UInt32 host, UInt16 port, UInt64 limit) {
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = atalktest::HostAddr(host, port);
    if (listen_ < 0 || bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listen_, 1) != 0) {
      if (listen_ >= 0) close(listen_);
      listen_ = -1;
      return;
    }
    thread_ = std::thread([this, limit] { run(limit); });
  }
  ~Streamer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listen_ >= 0) close(listen_);
  }
  Streamer(const Streamer&) = delete;
  Streamer& operator=(const Streamer&) = delete;

  bool ok() const { return listen_ >= 0; }
  UInt64 Sent() const { return sent_; }

 private:
  void run(UInt64 limit) {
    pollfd p{listen_, POLLIN, 0};
    while (!stop_ && poll(&p, 1, 20) <= 0) {
    }
    if (stop_) return;
    int c = accept(listen_, nullptr, nullptr);
    if (c < 0) return;
    const std::vector<char> chunk(64 * 1024, 'x');
    while (!stop_) {
      if (sent_ >= limit) {
        poll(nullptr, 0, 20);  // silent, the connection kept open
        continue;
      }
      pollfd w{c, POLLOUT, 0};
      if (poll(&w, 1, 20) <= 0) continue;
      const std::size_t want = std::size_t(std::min<UInt64>(chunk.size(), limit - sent_));
      ssize_t n = send(c, chunk.data(), want, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) sent_ += UInt64(n);
      if (n < 0 && errno != EAGAIN && errno != EINTR) break;
    }
    close(c);
  }

  int listen_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<UInt64> sent_{0};
  std::thread thread_;
};

}  // namespace hostile

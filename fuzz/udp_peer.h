// A datagram socket on 127.0.0.1 standing in for a print box (or a
// stranger) in the network targets.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "toolbox/types.h"

namespace fuzz {

// A datagram socket on 127.0.0.1 with a port of its own.
class Peer {
 public:
  Peer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      std::perror("peer socket");
      std::abort();
    }
    port_ = ntohs(a.sin_port);
  }
  ~Peer() { ::close(fd_); }
  UInt16 port() const { return port_; }

  // The next datagram within ms milliseconds; false when none came.
  bool Receive(int ms, sockaddr_in* from) {
    // libFuzzer's timer signal interrupts the wait: wait again for the rest.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    pollfd p{fd_, POLLIN, 0};
    int r;
    while ((r = ::poll(&p, 1, ms)) < 0 && errno == EINTR)
      ms = int(std::max<long>(
          0, std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count()));
    if (r <= 0) return false;
    UInt8 buf[4096];
    socklen_t len = sizeof *from;
    return ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(from), &len) >= 0;
  }
  void Drain() {
    sockaddr_in from{};
    while (Receive(0, &from)) {
    }
  }
  void SendTo(const sockaddr_in& to, std::span<const UInt8> bytes) {
    ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }

 private:
  int fd_ = -1;
  UInt16 port_ = 0;
};

}  // namespace fuzz

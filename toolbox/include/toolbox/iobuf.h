// Bounded buffers and socket-call retries: the two patterns every receive
// path repeats, written once.
//
// Fixed buffers (a reply window, a request's large buffer) take received
// bytes only through WriteBounded / AppendBounded, which copy all or
// nothing, or AppendKeepNewest, which slides the oldest bytes out. Socket
// calls on non-blocking descriptors go through SocketRetry, which repeats
// an interrupted call, and tells "would block" (flow control included)
// apart from a real failure, optionally waiting for readiness first.
#pragma once

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace tb {

// Copies src to buf[at, at + src.size()) when it fits whole; otherwise
// copies nothing and returns false.
inline bool WriteBounded(std::span<std::uint8_t> buf, std::size_t at, std::span<const std::uint8_t> src) {
  if (at > buf.size() || src.size() > buf.size() - at) return false;
  if (!src.empty()) std::memcpy(buf.data() + at, src.data(), src.size());
  return true;
}

// Appends src behind the len bytes in use when it fits whole, and moves
// len on; otherwise leaves both alone and returns false.
template <class Len>
bool AppendBounded(std::span<std::uint8_t> buf, Len& len, std::span<const std::uint8_t> src) {
  if (!WriteBounded(buf, std::size_t(len), src)) return false;
  len = Len(std::size_t(len) + src.size());
  return true;
}

// Appends src behind the len bytes in use, keeping the newest buf.size()
// bytes: what does not fit slides out at the front (of the old bytes
// first, then of src itself). Returns how many bytes were dropped.
template <class Len>
std::size_t AppendKeepNewest(std::span<std::uint8_t> buf, Len& len, std::span<const std::uint8_t> src) {
  std::size_t had = std::min<std::size_t>(std::size_t(len), buf.size());
  std::size_t dropped = std::size_t(len) - had;
  if (src.size() >= buf.size()) {
    dropped += had + (src.size() - buf.size());
    src = src.last(buf.size());
    had = 0;
  } else if (had + src.size() > buf.size()) {
    std::size_t drop = had + src.size() - buf.size();
    std::memmove(buf.data(), buf.data() + drop, had - drop);
    had -= drop;
    dropped += drop;
  }
  if (!src.empty()) std::memcpy(buf.data() + had, src.data(), src.size());
  len = Len(had + src.size());
  return dropped;
}

// The outcome of a socket call made through SocketRetry.
struct IoResult {
  ssize_t n = 0;  // the call's result when it succeeded (>= 0), else -1
  int err = 0;    // errno of a failure or of "would block"
  bool ok() const { return n >= 0; }
  // The socket has no data, no room or no buffers now: try again later.
  bool wouldBlock() const { return n < 0 && IsWouldBlock(err); }
  static bool IsWouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK || e == ENOBUFS; }
};

// Makes a non-blocking socket call (returning ssize_t, or -1 with errno)
// until it is not interrupted. When it would block, it waits up to waitMs
// for events on fd and calls again: waitMs 0 returns at once (the event
// loop calls again later), -1 waits as long as it takes (an endpoint in
// blocking mode), a positive value waits at most that long in all.
template <class Call>
IoResult SocketRetry(int fd, short events, int waitMs, Call&& call) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs > 0 ? waitMs : 0);
  for (;;) {
    ssize_t n = call();
    if (n >= 0) return {n, 0};
    int e = errno;
    if (e == EINTR) continue;
    if (!IoResult::IsWouldBlock(e) || waitMs == 0) return {-1, e};
    int left = -1;
    if (waitMs > 0) {
      auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (ms <= 0) return {-1, e};
      left = int(ms);
    }
    pollfd p{fd, events, 0};
    if (poll(&p, 1, left) < 0 && errno != EINTR) return {-1, e};
  }
}

}  // namespace tb

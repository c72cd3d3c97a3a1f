// The toolbox's one place that waits. Managers that own descriptors (the
// network, Apple events, the display) register them here; the event loop,
// nested modal loops and busy waits all call Pump, so notifier-style work
// runs only from the loop and never on another thread.
#pragma once

#include <functional>
#include <utility>

#include "toolbox/types.h"

namespace tb {

// Interest flags, the same values as poll(2).
enum : short { kReadable = 0x001, kWritable = 0x004 };

using FdHandler = std::function<void(int fd, short revents)>;

// Watches fd for the given interest; returns a watch id (> 0).
int WatchFD(int fd, short events, FdHandler handler);
// Changes the interest of a watch (0 pauses it without removing it).
void SetWatchEvents(int id, short events);
// Removes a watch; safe to call from inside its own handler.
void UnwatchFD(int id);

// Queues work to run from the next Pump. Safe from any thread.
void Defer(std::function<void()> fn);
// Queues work for the next Pump that begins after this call: work that goes
// on in bounded steps gives the loop back between them, where Defer from
// deferred work would run the next step in the same pass.
void DeferToNextPass(std::function<void()> fn);
// Wakes a Pump that is waiting, from any thread.
void Wake();

// Waits at most maxWaitMs real milliseconds (0: only look) until a watched
// descriptor is ready or deferred work is queued, then runs the ready
// handlers and the deferred work. A handler is never re-entered by a nested
// Pump while it runs. Event-loop timers that are due run here too (and the
// wait ends when the next one is due; carbonevents.h), but do not count in
// the result. Returns true when a handler or deferred work ran.
bool Pump(int maxWaitMs);

// The Apple-event layer tells the Event Manager through this hook whether a
// high-level event is waiting (its class and id); the Event Manager then
// reports it as a high-level event (kind 23) and AEProcessAppleEvent takes it.
using HighLevelPeek = bool (*)(UInt32* eventClass, UInt32* eventID);
void SetHighLevelEventSource(HighLevelPeek peek);
HighLevelPeek HighLevelEventSource();

// Number of live watches (for tests of the managers that register them).
int WatchCount();

// How many times Pump has run: a call that just took the input in can tell
// whether anything was taken in since it last looked.
UInt64 PumpCount();

// ---------------------------------------------------------------------------
// Scoped descriptors and watches, so that every path out of a function or
// an object closes what it opened and removes what it registered.

// A file descriptor owned by the scope and closed at its end (-1: none).
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Hands the descriptor to the caller, who closes it.
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor held (if any) and holds fd instead.
  void reset(int fd = -1);
  // Closes now and reports close(2)'s result (0, or -1 with errno), for
  // callers that must know whether buffered data reached the file.
  int close();

 private:
  int fd_ = -1;
};

// A watch registered with WatchFD, removed when the guard goes.
class WatchGuard {
 public:
  WatchGuard() = default;
  WatchGuard(int fd, short events, FdHandler handler) : id_(WatchFD(fd, events, std::move(handler))) {}
  ~WatchGuard() { reset(); }
  WatchGuard(WatchGuard&& o) noexcept : id_(o.id_) { o.id_ = 0; }
  WatchGuard& operator=(WatchGuard&& o) noexcept {
    if (this != &o) {
      reset();
      id_ = o.id_;
      o.id_ = 0;
    }
    return *this;
  }
  WatchGuard(const WatchGuard&) = delete;
  WatchGuard& operator=(const WatchGuard&) = delete;

  int id() const { return id_; }
  explicit operator bool() const { return id_ > 0; }
  void setEvents(short events) const {
    if (id_ > 0) SetWatchEvents(id_, events);
  }
  void reset() {
    if (id_ > 0) UnwatchFD(id_);
    id_ = 0;
  }

 private:
  int id_ = 0;
};

}  // namespace tb

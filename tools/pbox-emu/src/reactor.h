// The emulator's one thread: waits on the sockets of every service and
// runs timers counted in ticks (TickCount, so a test's virtual clock holds
// a late reply back until the test advances it).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "toolbox/types.h"

namespace pboxemu {

class Reactor {
 public:
  Reactor();
  ~Reactor();
  Reactor(const Reactor&) = delete;
  Reactor& operator=(const Reactor&) = delete;

  // Before Start, or from the reactor thread.
  void Watch(int fd, std::function<void()> onReadable);
  void Unwatch(int fd);
  // From the reactor thread: runs fn once TickCount has reached due.
  void At(UInt32 due, std::function<void()> fn);

  bool Start(std::string* error);
  void Stop();

  // From any thread: waits until the reactor has made a pass, begun after
  // the call, that found no socket to read and no timer due; so whatever had
  // reached its sockets by then has been answered. A timer not yet due (a
  // late reply on the virtual clock) does not hold it up. False when realMs
  // real milliseconds went by first.
  bool Settle(int realMs);
  // How many handlers and timers have run: unchanged between two settles
  // means nothing new came in.
  UInt64 Activity() const { return activity_; }

 private:
  void run();

  struct WatchEntry {
    int fd;
    std::function<void()> fn;
  };
  struct Timer {
    UInt32 due;
    std::function<void()> fn;
  };
  std::vector<WatchEntry> watches_;
  std::vector<Timer> timers_;
  int wakeFd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::atomic<UInt64> activity_{0};
  std::atomic<UInt64> settleAsked_{0};
  UInt64 settleDone_ = 0;  // under settleMu_
  std::mutex settleMu_;
  std::condition_variable settled_;
};

// A part of a box that owns sockets on the reactor (the JCP responder now;
// FTP, the AppleTalk node, VFMP and LPR later).
class Service {
 public:
  virtual ~Service() = default;
  virtual bool Open(Reactor& reactor, std::string* error) = 0;
  virtual void Close() = 0;
};

}  // namespace pboxemu

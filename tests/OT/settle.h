// Keeping the virtual clock behind the network: the tests move TickCount by
// hand, and must not move it while a request or its answer is still on its
// way, or a time-out would overtake an exchange that a slow (loaded)
// machine has merely not finished yet. Real time only ever caps a wait.
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <functional>
#include <utility>

#include "pboxemu/emulator.h"
#include "toolbox/clock.h"
#include "toolbox/pump.h"

namespace ottest {

// Moves the virtual clock from inside the event loop, for requests that wait
// synchronously: each pass of the pump advances it by step ticks once
// ready() holds.
class LoopTicker {
 public:
  LoopTicker(std::function<bool()> ready, UInt32 step) : ready_(std::move(ready)), step_(step) {
    // An event counter that stays readable: the pump calls us on every pass.
    fd_ = eventfd(1, EFD_CLOEXEC);
    watch_ = tb::WatchFD(fd_, tb::kReadable, [this](int, short) {
      if (ready_()) tb::AdvanceTicks(step_);
    });
  }
  ~LoopTicker() {
    tb::UnwatchFD(watch_);
    close(fd_);
  }
  LoopTicker(const LoopTicker&) = delete;
  LoopTicker& operator=(const LoopTicker&) = delete;

 private:
  std::function<bool()> ready_;
  UInt32 step_;
  int fd_ = -1;
  int watch_ = 0;
};

// Runs the event loop (the pump, and poll for the program's own poll step)
// and waits for the emulator until neither side has anything left to do:
// every request that went out is answered (or lost to a fault) and every
// answer taken in. False when that takes longer than realMs.
inline bool Settle(pboxemu::Emulator& emu, const std::function<void()>& poll, int realMs = 10000) {
  UInt64 end = tb::MonotonicMicros() + UInt64(realMs) * 1000;
  UInt64 seen = ~UInt64(0);
  while (tb::MonotonicMicros() < end) {
    if (poll) poll();
    if (!emu.Settle(realMs)) return false;
    UInt64 activity = emu.Activity();
    bool ran = false;
    while (tb::Pump(0) && tb::MonotonicMicros() < end) ran = true;
    if (!ran && activity == seen) return true;
    seen = activity;
  }
  return false;
}

// The clock for a request that waits synchronously: step ticks on a pass of
// its loop once the emulator has answered all it was sent and the loop has
// had a pass since to take the answers in.
inline LoopTicker SettledClock(pboxemu::Emulator& emu, UInt32 step = 1) {
  return LoopTicker(
      [&emu, seen = ~UInt64(0)]() mutable {
        if (!emu.Settle()) return false;
        UInt64 activity = emu.Activity();
        bool quiet = activity == seen;
        seen = activity;
        return quiet;
      },
      step);
}

}  // namespace ottest

// Ticks from the monotonic clock, or from the virtual clock tests advance.
#include "toolbox/clock.h"

#include <atomic>
#include <chrono>

namespace {

std::atomic<bool> gVirtual{false};
std::atomic<UInt32> gVirtualTicks{0};

UInt32 realTicks() {
  // Ticks count from an arbitrary origin; start above zero so that "0 means
  // never" stamps in callers are never confused with a real time.
  return static_cast<UInt32>(tb::MonotonicMicros() * 60 / 1000000) + 1;
}

}  // namespace

UInt64 tb::MonotonicMicros() {
  using namespace std::chrono;
  return static_cast<UInt64>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

UInt32 TickCount() { return gVirtual ? gVirtualTicks.load() : realTicks(); }

void tb::UseVirtualClock(bool on) {
  if (on && !gVirtual) gVirtualTicks = realTicks();
  gVirtual = on;
}

bool tb::VirtualClockOn() { return gVirtual; }

void tb::AdvanceTicks(UInt32 ticks) { gVirtualTicks += ticks; }

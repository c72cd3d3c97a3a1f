// Time: ticks of 1/60 s from a monotonic clock, or from a virtual clock
// that tests switch on and advance by hand.
#pragma once

#include "toolbox/types.h"

UInt32 TickCount();

namespace tb {

// Switches the virtual clock on or off. While on, TickCount only moves when
// AdvanceTicks is called; it starts at the real tick count of the moment.
void UseVirtualClock(bool on);
bool VirtualClockOn();
void AdvanceTicks(UInt32 ticks);

// Real monotonic time in microseconds (not affected by the virtual clock).
UInt64 MonotonicMicros();

}  // namespace tb

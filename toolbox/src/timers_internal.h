// Event-loop timers as the pump serves them (carbonevents.h has the API).
#pragma once

#include "toolbox/types.h"

namespace tb::detail {

// The toolbox clock in microseconds: real monotonic time, or the virtual
// clock's ticks while it is on.
UInt64 ToolboxMicros();
// Real microseconds until the next timer is due: 0 when one is due now,
// -1 when none is armed or the virtual clock is on (waiting does not bring
// virtual time nearer).
SInt64 MicrosToNextTimer();
// Calls every due timer that is not running now; returns how many ran.
int RunDueTimers();
// Removes every timer (tests).
void ResetTimers();

}  // namespace tb::detail

// The Event Manager's wait, for the Carbon event loop: the same as
// WaitNextEvent, with the sleep in microseconds and key events taken with
// their whole character.
#pragma once

#include <string>

#include "toolbox/events.h"

namespace tb::detail {

// keyText (when given) gets the UTF-8 bytes of the character of a key event.
bool WaitEvent(EventMask mask, EventRecord* event, UInt64 sleepMicros, std::string* keyText);

}  // namespace tb::detail

// The Event Manager's wait, for the Carbon event loop: the same as
// WaitNextEvent, with the sleep in microseconds and key events taken with
// their whole character. And the end of a quit request nobody takes.
#pragma once

#include <string>

#include "toolbox/events.h"

namespace tb::detail {

// keyText (when given) gets the UTF-8 bytes of the character of a key event.
bool WaitEvent(EventMask mask, EventRecord* event, UInt64 sleepMicros, std::string* keyText);

// Every wait of the Event Manager calls this after it has pumped: when the
// quit request SIGTERM queued has gone untaken too long (the program sits in
// a loop that cannot take it), the program ends here through exit(0), so
// the toolbox's exit steps (the screenshot, the sockets) still run.
void EndIfQuitUnanswered();

}  // namespace tb::detail

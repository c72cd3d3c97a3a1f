// The Event Manager's wait, for the Carbon event loop: the same as
// WaitNextEvent, with the sleep in microseconds and key events taken with
// their whole character. The end of a quit request nobody takes, and the
// delivery of the wheel.
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

// Delivers a turn of the wheel (lines, positive down or right) at a global
// point: the platform's mouse-wheel event to the window under it, whose
// scrolling views take it (carbonevents.cpp).
void DeliverWheel(Point where, SInt16 lines, bool horizontal, EventModifiers mods);

// While a modal loop runs (ModalDialog, the choosers), the wheel reaches
// only the front window, as presses do.
struct ModalScope {
  ModalScope();
  ~ModalScope();
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;
};
bool InModalLoop();

}  // namespace tb::detail

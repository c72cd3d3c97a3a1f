// How the Dialog Manager hands events to the text engine's objects.
#pragma once

#include "toolbox/events.h"
#include "toolbox/windows.h"

namespace tb::txn {

// A key for the window's focused text object (not a Command key): typed
// into it, true. False when the window has no focused object.
bool RouteKey(WindowRef window, const EventRecord& event);
// A press inside the frame of the window's focused object: given to it, true.
bool RouteClick(WindowRef window, const EventRecord& event);
// Caret blinking and the cursor shape for the focused object.
void RouteIdle(WindowRef window);
// Whether Return breaks a line in the focused object (a multi-line one).
bool FocusedTakesReturn(WindowRef window);
// Draws every text object of the window (after the window's items).
void DrawWindowObjects(WindowRef window);

}  // namespace tb::txn

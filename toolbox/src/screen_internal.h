// What the Event Manager, the Window Manager, the Menu Manager and the
// display tell one another inside the toolbox. Not for programs.
#pragma once

#include "toolbox/events.h"

namespace tb::detail {

// Window Manager: the next activate or deactivate event waiting (taken when
// remove is set), and the update event of the frontmost visible window
// whose update region is not empty (update events are not taken: they
// recur until the region is emptied by BeginUpdate/EndUpdate).
bool NextActivateEvent(EventRecord* event, bool remove);
bool NextUpdateEvent(EventRecord* event);

// Display: called before the event loop sleeps and when input is looked
// for, so that a backend shows what was drawn and reads its input.
void DisplayIdle();
// True when a backend can deliver real input (the mouse can be released
// by a person); headless, an unanswered wait for the button ends at once.
bool DisplayHasLiveInput();
void DisplayBeep();
void DisplaySetCursor(int kind);
// Tells the display that the screen's content has changed.
void ScreenChanged();

// Converts a global point to the current port's local coordinates (the
// Window Manager knows the windows' origins).
Point GlobalToCurrentLocal(Point global);

// Menu Manager: the bar's height (0 while no menu bar is shown) and drawing
// it into the screen image. Returns false when nothing changed.
int MenuBarHeightNow();

}  // namespace tb::detail

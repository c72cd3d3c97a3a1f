// The manual opener's menus and one pass of an event loop: the handlers
// every program of the suite has. The opener's main ends right after
// handing the manual over, so it never runs them; they serve a build that
// keeps the program open.
#pragma once

#include "toolbox/types.h"

namespace vemomanual {

extern Boolean gQuitFlag;  // set by File item 1 and the 'quit' Apple event
extern Boolean gHasWNE;    // WaitNextEvent exists (else GetNextEvent and SystemTask)

// Notes whether WaitNextEvent exists and the program's resource file.
void Initialize_Variables();
// Installs the 'quit' Apple-event handler and the menu bar 128.
void Install_Handlers_And_Menus();
// A menu choice (menu id in the high word, item in the low one): the Apple
// menu opens the desk accessory of that item, File item 1 quits.
void Handle_Menu_Choice(long choice);
// One pass of the event loop: waits up to sleep ticks for an event; a
// mouse-down in the menu bar and a Command key go through the menus, a
// high-level event to the Apple Event Manager. True when an event came.
bool Event_Loop_Step(UInt32 sleep);

}  // namespace vemomanual

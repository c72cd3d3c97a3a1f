// The input side of the Event Manager and the Menu Manager's command
// handler, declared with plain types for code that cannot include their
// headers (X11's headers take the names Cursor and Region).
#pragma once

#include <string_view>

#include "toolbox/types.h"

namespace tb {

void PostMouse(UInt16 what, Point where, UInt16 mods);
void PostMouseMove(Point where);
// A turn of the mouse wheel over a point (global): delta lines, positive
// down (or right, for a horizontal wheel). It is queued in order with the
// other input and delivered as the platform's mouse-wheel event to the
// window under the point, whose scrolling views take it (carbonevents.h).
void PostWheel(Point where, SInt16 delta, bool horizontal);
void PostKey(UInt16 what, UInt8 charCode, UInt8 keyCode, UInt16 mods);
void PostKeyText(UInt16 what, std::string_view text, UInt8 keyCode, UInt16 mods);
void SetModifierState(UInt16 mods);

// The virtual key code of a character on the US layout (0x7F when none).
UInt8 KeyCodeForChar(char c);

// Mouse-down events the program has taken so far: tells a press handed on
// twice from a new press at the same time and place.
UInt64 MouseDownsTaken();

// Carries out an application-menu command (menus.h).
bool RunMenuCommand(UInt32 command);

namespace input {
// Event kinds and modifier bits as events.h has them.
enum : UInt16 { kMouseDown = 1, kMouseUp = 2, kKeyDown = 3, kAutoKey = 5 };
enum : UInt16 { kCmd = 0x0100, kShift = 0x0200, kAlphaLock = 0x0400, kOption = 0x0800, kControl = 0x1000 };
constexpr UInt32 kQuitCommand = 0x71756974;  // 'quit'
}  // namespace input

}  // namespace tb

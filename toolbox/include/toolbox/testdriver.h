// Driving a program from a test: input is queued as a person would give it
// (the program takes it through its own event loop), the virtual clock is
// advanced by hand, beeps are counted and screenshots taken.
//
// A whole program can be driven by a script file named by TOOLBOX_SCRIPT;
// its syntax is in toolbox/README.md. Other managers add their own script
// commands with RegisterScriptCommand.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "toolbox/events.h"
#include "toolbox/menus.h"
#include "toolbox/windows.h"

namespace tb {

// Mouse input, global coordinates.
void MoveMouseTo(Point where);
void MouseDownAt(Point where, EventModifiers mods = 0);
void MouseUpAt(Point where, EventModifiers mods = 0);
void ClickAt(Point where, EventModifiers mods = 0);
// A click at a point of the window's content, in its local coordinates
// (the port rectangle's). False when the window does not exist.
bool ClickInWindow(WindowRef window, Point local, EventModifiers mods = 0);
// Press at from, move in steps, release at to.
void DragFromTo(Point from, Point to, EventModifiers mods = 0, int steps = 4);
// Drags a window by its title bar by (dh, dv).
bool DragWindowBy(WindowRef window, short dh, short dv);
// Turns the mouse wheel over a point by lines (positive down, or right for
// the horizontal wheel), as the X display does for its wheel buttons.
void TurnWheelAt(Point where, SInt16 lines, bool horizontal = false);

// Keys: a character with its virtual key code.
void PressKey(UInt8 charCode, UInt8 keyCode, EventModifiers mods = 0);
// A key by name ("Return", "Enter", "Escape", "Tab", "Delete",
// "ForwardDelete", "Left", "Right", "Up", "Down", "Home", "End", "PageUp",
// "PageDown", "Help", "Space") or a single character. False for an unknown
// name.
bool PressNamedKey(std::string_view name, EventModifiers mods = 0);
// Types text, one key event per character (see tb::PostKeyText); capitals and
// shifted symbols carry the Shift key.
void TypeText(std::string_view text);
// The virtual key code of a character on the US layout (0x7F when none).
UInt8 KeyCodeForChar(char c);

// Menu choices by mouse: a press on the menu's title, a move to the item
// and the release there. False when the menu or item is not in the bar.
bool ChooseMenuItem(MenuID menuID, MenuItemIndex item);
bool ChooseMenuItemByText(std::string_view menuTitle, std::string_view itemText);

// Time.
void AdvanceClock(UInt32 ticks);

// Beeps since the start or the last reset.
int Beeps();

// Screenshots (PNG).
OSErr SaveScreenshot(const char* path);

// Script commands: the words of one line (the command first). A command
// returns kDone when finished, kAgain to be called again at the next pass of
// the event loop (to wait for something), or kFailed with a message.
enum class ScriptResult { kDone, kAgain, kFailed };
using ScriptCommand = std::function<ScriptResult(const std::vector<std::string>& words, std::string* error)>;
void RegisterScriptCommand(const std::string& name, ScriptCommand command);
// For a command that waits: true once the current line has been waiting
// longer than limitMs (real time, from its first call).
bool ScriptTimedOut(UInt64 limitMs);

// Runs the script in file path from the event loop (TOOLBOX_SCRIPT does
// this at the first WaitNextEvent). False when it cannot be read.
bool LoadScript(const std::string& path);
// Runs script text given directly (tests).
void LoadScriptText(const std::string& text);
// True while script lines are left.
bool ScriptRunning();

}  // namespace tb

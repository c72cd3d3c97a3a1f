// What the Event Manager, the Window Manager, the Menu Manager and the
// display tell one another inside the toolbox. Not for programs.
#pragma once

#include <vector>

#include "toolbox/events.h"
#include "toolbox/quickdraw.h"

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
// A frame drawn but held back to the end of the screen's refresh: the
// microseconds until it is due (-1: none is held), and sending it once due.
SInt64 MicrosToDisplayFrame();
void DisplayFrameIfDue();
// True when a backend can deliver real input (the mouse can be released
// by a person); headless, an unanswered wait for the button ends at once.
bool DisplayHasLiveInput();
void DisplayBeep();
void DisplaySetCursor(int kind);
// Tells the display that the screen's content has changed.
void ScreenChanged();

// Fonts: brings the font engine up. Whatever registers its teardown at exit
// after this call runs while the engine still works.
void InitFonts();

// Converts a global point to the current port's local coordinates.
Point GlobalToCurrentLocal(Point global);
// The mouse as of the events taken so far, in global coordinates.
Point GlobalMouse();
// The button as of the events taken so far (a press taken, its release not).
bool ButtonTaken();
// True while the desktop has given the keyboard to another program.
bool ApplicationSuspended();

// The compositor: windows back to front over the desktop (only within clip,
// framebuffer coordinates), then the menu bar and any menu pulled down. The
// versions change whenever what the composite would show may have changed.
void CompositeWindows(UInt32* fb, int stride, int width, int height, const Rect& clip);
void CompositeMenus(UInt32* fb, int stride, int width, int height);
// Copies a port's pixels into the framebuffer at (x, y), at most maxW by
// maxH of them, cut to the framebuffer and to clip (its coordinates).
void BlitPort(UInt32* fb, int stride, int fw, int fh, CGrafPtr port, int x, int y, int maxW = 32767, int maxH = 32767,
              const Rect& clip = Rect{-32768, -32768, 32767, 32767});
UInt64 WindowsVersion();
// The bounds of what the windows changed on the screen since the last call
// (empty when nothing did): a window's content drawn into, its frame drawn
// again, and the frames, old and new, of a window that came, went, moved,
// changed its size or its place in the order. For a compositor that keeps
// what it showed.
void WindowsDamage(Rect* damage);
UInt64 MenusVersion();
// True while a menu is open on the screen (being chosen from).
bool MenuOpen();
// What of the screen the windows (their frames, a drag outline) and the
// menus (the bar as far as its titles go, a menu pulled down and its
// shadow) cover, as last composited; the rest is the desk.
void WindowsShownRects(std::vector<Rect>* out);
void MenusShownRects(std::vector<Rect>* out);
// The bounds of all the menus draw on the screen: the bar across the screen
// and the open menu with its shadow.
Rect MenusBounds();

}  // namespace tb::detail

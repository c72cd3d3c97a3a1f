// The screen: one 32-bit framebuffer per process holding the menu bar and
// the process's windows, composited from each window's own pixels.
//
// The backend is headless when TOOLBOX_HEADLESS=1 or no DISPLAY is set, and
// X11 otherwise (when built with it): the screen is an X window on the
// desktop shaped to the menu bar and the windows; the mouse and the keys
// come back as events, Control standing for Command.
// TOOLBOX_SCREEN=WIDTHxHEIGHT sets the screen size (1024x768 by default).
// TOOLBOX_SCREENSHOT=file writes a PNG of the screen when the program ends.
#pragma once

#include "toolbox/quickdraw.h"
#include "toolbox/types.h"

namespace tb {

// Starts the display (done by the first window, menu or event call).
void InitDisplay();
bool DisplayIsHeadless();

short ScreenWidth();
short ScreenHeight();
Rect ScreenBounds();

// Composites the desktop, the windows and the menu bar into the
// framebuffer now and returns its port (pixels as QuickDraw keeps them).
CGrafPtr CompositeScreen();
// One pixel of the composited screen (0, R, G, B memory order).
UInt32 ScreenPixel(int h, int v);
// Writes the composited screen as PNG.
OSErr SaveScreenPNG(const char* path);
// Shows what was drawn now (the backend otherwise does it before waiting).
void FlushDisplay();

}  // namespace tb

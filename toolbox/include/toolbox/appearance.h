// The theme: the few drawing calls and cursors of the platform's look that
// the programs ask for by name.
#pragma once

#include "toolbox/quickdraw.h"

using ThemeDrawState = UInt32;
enum : ThemeDrawState { kThemeStateInactive = 0, kThemeStateActive = 1, kThemeStatePressed = 2 };

using ThemeCursor = UInt32;
enum : ThemeCursor {
  kThemeArrowCursor = 0,
  kThemeCopyArrowCursor = 1,
  kThemeAliasArrowCursor = 2,
  kThemeContextualMenuArrowCursor = 3,
  kThemeIBeamCursor = 4,
  kThemeCrossCursor = 5,
  kThemePlusCursor = 6,
  kThemeWatchCursor = 7,
};
enum : OSStatus { themeBadCursorIndexErr = -30565 };

// The frame of an edit-text field: one pixel just outside inRect, dark grey
// when active, light grey otherwise. The port's pen and colours are kept.
OSStatus DrawThemeEditTextFrame(const Rect* inRect, ThemeDrawState inState);
// The cursors above, shown as the nearest system cursor (the arrow kinds as
// the arrow); themeBadCursorIndexErr for any other.
OSStatus SetThemeCursor(ThemeCursor inCursor);

// The theme calls and cursors the programs ask for by name.
#include "toolbox/appearance.h"

#include "toolbox/events.h"

OSStatus DrawThemeEditTextFrame(const Rect* inRect, ThemeDrawState inState) {
  if (!inRect) return paramErr;
  PenState pen;
  GetPenState(&pen);
  RGBColor fore;
  GetForeColor(&fore);
  PenNormal();
  const RGBColor ink = inState == kThemeStateInactive ? RGBColor{0xAAAA, 0xAAAA, 0xAAAA}
                                                      : RGBColor{0x5555, 0x5555, 0x5555};
  RGBForeColor(&ink);
  Rect r = *inRect;
  InsetRect(&r, -1, -1);
  FrameRect(&r);
  RGBForeColor(&fore);
  SetPenState(&pen);
  return noErr;
}

OSStatus SetThemeCursor(ThemeCursor inCursor) {
  SInt16 id = 0;
  switch (inCursor) {
    case kThemeArrowCursor:
    case kThemeCopyArrowCursor:
    case kThemeAliasArrowCursor:
    case kThemeContextualMenuArrowCursor: id = 0; break;
    case kThemeIBeamCursor: id = iBeamCursor; break;
    case kThemeCrossCursor: id = crossCursor; break;
    case kThemePlusCursor: id = plusCursor; break;
    case kThemeWatchCursor: id = watchCursor; break;
    default: return themeBadCursorIndexErr;
  }
  if (id == 0) {
    InitCursor();
  } else if (CursHandle c = GetCursor(id)) {
    SetCursor(*c);
  }
  return noErr;
}

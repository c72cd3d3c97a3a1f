// Text: first stand-in (real implementation follows).
#include "toolbox/fonts.h"

#include "qd_internal.h"

using namespace tb::qd;

void GetFNum(ConstStr255Param, short* familyID) {
  if (familyID) *familyID = 0;
}
void GetFontName(short, Str255 name) {
  if (name) pstr::set(name, 256, "System");
}
short GetSysFont() { return systemFont; }
short GetAppFont() { return applFont; }
short GetDefFontSize() { return 12; }
void TextFont(short font) { Current()->txFont = font; }
void TextFace(StyleParameter face) { Current()->txFace = Style(face); }
void TextSize(short size) { Current()->txSize = size; }
void TextMode(short mode) { Current()->txMode = mode; }
short GetPortTextFont(CGrafPtr port) { return Valid(port) ? port->txFont : 0; }
Style GetPortTextFace(CGrafPtr port) { return Valid(port) ? port->txFace : 0; }
short GetPortTextSize(CGrafPtr port) { return Valid(port) ? port->txSize : 0; }
short GetPortTextMode(CGrafPtr port) { return Valid(port) ? port->txMode : 0; }
void SetPortTextFont(CGrafPtr port, short font) { if (Valid(port)) port->txFont = font; }
void SetPortTextFace(CGrafPtr port, StyleParameter face) { if (Valid(port)) port->txFace = Style(face); }
void SetPortTextSize(CGrafPtr port, short size) { if (Valid(port)) port->txSize = size; }
void SetPortTextMode(CGrafPtr port, short mode) { if (Valid(port)) port->txMode = mode; }
void GetFontInfo(FontInfo* info) { if (info) *info = FontInfo{9, 3, 12, 2}; }
short TextWidth(const void*, short, short byteCount) { return short(byteCount > 0 ? byteCount * 7 : 0); }
short StringWidth(ConstStr255Param s) { return s ? TextWidth(s + 1, 0, s[0]) : 0; }
short CharWidth(short) { return 7; }
void DrawText(const void*, short, short byteCount) { if (byteCount > 0) Current()->pnLoc.h += byteCount * 7; }
void DrawString(ConstStr255Param s) { if (s) DrawText(s + 1, 0, s[0]); }
void DrawChar(short) { Current()->pnLoc.h += 7; }
short TruncString(short, Str255, TruncCode) { return notTruncated; }
short TruncText(short, Ptr, short*, TruncCode) { return notTruncated; }

// This program's own list-control and toolbox services: scroll bars that
// land exactly on their ends, the "\t" turned into tabs, the mouse, the
// visible region and a control's owner.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "common/AppFonts.h"
#include "common/IniFile.h"
#include "FanctionLib/CEdit.h"
#include "FanctionLib/CList.h"
#include "holdmanager/HoldControls.h"
#include "holdmanager/HoldData.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/fonts.h"
#include "toolbox/gestalt.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

void CLTrackControlAlignment(ControlRef bar, SInt16 before, SInt16 click, SInt16 release, SInt32 scale) {
  if (!bar) return;
  const long projected = long(before) + long(release - click) * scale / 100;
  const SInt32 max = GetControl32BitMaximum(bar), min = GetControl32BitMinimum(bar);
  if (release >= click && projected > max)
    SetControl32BitValue(bar, max);
  else if (release < click && projected <= min)
    SetControl32BitValue(bar, min);
}

int SetTab(char* text, int length) {
  if (!text || length <= 0) return 0;
  int out = 0;
  for (int i = 0; i < length; ++i) {
    if (text[i] == '\\' && i + 1 < length && text[i + 1] == 't') {
      text[out++] = '\t';
      ++i;
    } else {
      text[out++] = text[i];
    }
  }
  if (out < length) text[out] = 0;
  return out;
}

void Set_Dialog_VisRegion(DialogRef dialog, RgnHandle rgn) {
  if (dialog && rgn) SetPortVisibleRegion(GetDialogPort(dialog), rgn);
}

void Get_Mouse(Point* where) {
  if (where) GetMouse(where);
}

WindowRef Get_Control_Owner(ControlRef control) { return control ? GetControlOwner(control) : nullptr; }

// ---- this program's list and font services ---------------------------------

namespace hold {

namespace {

// The scale each list bar got at its last adjustment (0: hidden or off).
std::map<ControlRef, SInt16>& scales() {
  static std::map<ControlRef, SInt16> s;
  return s;
}

bool barShown(ControlRef bar) { return bar && IsControlVisible(bar) && IsControlActive(bar); }

void storeScale(ControlRef bar, const Rect& r, SInt16 startMargin, SInt16 endMargin, bool horizontal) {
  SInt16 scale = 0;
  if (barShown(bar) && GetControl32BitMaximum(bar) > 0) {
    const SInt16 center = horizontal ? SInt16((r.top + r.bottom) / 2) : SInt16((r.left + r.right) / 2);
    const SInt16 start = horizontal ? r.left : r.top, end = horizontal ? r.right : r.bottom;
    CFindScrollIndicatorSize(bar, start, end, center, startMargin, endMargin, horizontal, &scale);
  }
  scales()[bar] = scale;
}

}  // namespace

void CLAdjustScrollBar(CLIST_DATA* list, Boolean draw) {
  if (!list) return;
  ::CLAdjustScrollBar(list, draw);
  SInt32 sysv = 0;
  const SInt16 allowance = Gestalt(gestaltSystemVersion, &sysv) != noErr || sysv < 0x1070 ? 33 : 0;
  if (list->vScroll) {
    Rect r;
    GetControlBounds(list->vScroll, &r);
    const SInt16 header =
        list->header.height > 0 && list->flag && !(list->flag[0] & kCLNoHeader) ? list->header.height : 0;
    storeScale(list->vScroll, r, header,
               SInt16(allowance + (list->hScroll && IsControlVisible(list->hScroll) ? 15 : 0)), false);
  }
  if (list->hScroll) {
    Rect r;
    GetControlBounds(list->hScroll, &r);
    storeScale(list->hScroll, r, 0, SInt16(allowance + (list->vScroll && IsControlVisible(list->vScroll) ? 15 : 0)),
               true);
  }
}

SInt16 ScrollScale(ControlRef bar) {
  auto it = scales().find(bar);
  return it == scales().end() ? 0 : it->second;
}

void CLMouseDownByScrollBar(CLIST_DATA* list, Point localPt, EventModifiers modifiers, SInt16 whichBar) {
  if (!list) return;
  ControlRef bar = whichBar == 0 ? list->vScroll : list->hScroll;
  if (!bar || (whichBar == 0 ? !list->bEnableVScroll : !list->bEnableHScroll)) return;
  if (TestControl(bar, localPt) != kControlIndicatorPart) {
    ::CLMouseDownByScrollBar(list, localPt, modifiers, whichBar);
    return;
  }
  const SInt16 before = SInt16(GetControl32BitValue(bar));
  TrackControl(bar, localPt, nullptr);
  Point release;
  Get_Mouse(&release);
  const SInt16 click = whichBar == 0 ? localPt.v : localPt.h;
  CLTrackControlAlignment(bar, before, click, whichBar == 0 ? release.v : release.h, ScrollScale(bar));
  if (GetControl32BitValue(bar) != before) CLUpdate(list, nullptr, whichBar != 0);
}

short Get_Font_Details(FONT_DATA* font) {
  if (!font) return 0;
  static const char* const faces[] = {"NORMAL",  "BOLD",   "ITALIC",   "UNDERLINE",
                                      "OUTLINE", "SHADOW", "CONDENSE", "EXTEND"};
  static const UInt16 faceBits[] = {0, 1, 2, 4, 8, 16, 32, 64};
  static const char* const colours[] = {"BLACK", "BLUE", "RED", "YELLOW", "GREEN", "LIGHT_BLUE", "VIOLET", "WHITE"};
  Str255 name;
  const std::size_t n = std::min<std::size_t>(std::strlen(font->fName), 255);
  name[0] = UInt8(n);
  std::memcpy(name + 1, font->fName, n);
  short number = 0;
  GetFNum(name, &number);
  font->fontID = UInt16(number);
  for (int i = 0; i < 8; ++i) {
    if (std::strcmp(font->fStyle, faces[i]) == 0) font->styleID = faceBits[i];
    if (std::strcmp(font->foreColor, colours[i]) == 0) font->foreClrID = UInt16(i);
    if (std::strcmp(font->backColor, colours[i]) == 0) font->backClrID = UInt16(i);
  }
  GrafPtr port = nullptr;
  GetPort(&port);
  const short oldFont = GetPortTextFont(port), oldSize = GetPortTextSize(port);
  const Style oldFace = GetPortTextFace(port);
  if (font->fontID) TextFont(SInt16(font->fontID));
  if (font->styleID) TextFace(Style(font->styleID));
  if (font->fSize) TextSize(SInt16(font->fSize));
  GetFontInfo(&font->fInfo);
  TextFont(oldFont);
  TextFace(oldFace);
  TextSize(oldSize);
  return 1;
}

int Load_File_To_PascalEx2(StringPtr out, const char* key, const char* section, const char* iniFile) {
  if (!out) return 0;
  out[0] = 0;
  char value[256] = {};
  if (!Load_File_To_CstringEx(section, key, value, sizeof value, iniFile)) return 0;
  // The "&" markers of the menu texts go.
  std::string text;
  for (const char* p = value; *p; ++p)
    if (*p != '&') text += *p;
  SetPStrCut(out, text);
  return out[0] ? 1 : 0;
}

}  // namespace hold

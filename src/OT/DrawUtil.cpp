// Drawing and input helpers for dialog items shared by the FTP send window
// and the programs' windows: aligned and wrapped text, colour icons, cleared
// areas, number fields, control tracking and page swaps.
#include "OT/DrawUtil.h"

#include <string_view>
#include <vector>

#include "506Q_Lib/DialogItems.h"
#include "toolbox/drawntext.h"
#include "toolbox/fonts.h"
#include "toolbox/pictures.h"
#include "toolbox/resources.h"

namespace {

short lineLeft(const Rect& r, short width, short hStyle) {
  switch (hStyle) {
    case kDrawCenter: return static_cast<short>(r.left + (r.right - r.left - width) / 2);
    case kDrawRight: return static_cast<short>(r.right - width);
    default: return static_cast<short>(r.left + 2);
  }
}

void drawLines(ConstStr255Param text, const Rect& r, short hStyle, short vStyle) {
  FontInfo fi{};
  GetFontInfo(&fi);
  std::string_view all = pstr::view(text);
  if (all.find('\r') == std::string_view::npos) {
    short v;
    if (vStyle == kDrawTop)
      v = static_cast<short>(r.top + fi.ascent);
    else if (vStyle == kDrawBottom)
      v = static_cast<short>(r.bottom - fi.descent);
    else
      v = static_cast<short>(r.top + (r.bottom - r.top - (fi.ascent + fi.descent)) / 2 + fi.ascent);
    MoveTo(lineLeft(r, StringWidth(text), hStyle), v);
    DrawString(text);
    return;
  }
  // The text is split on a copy of its positions; the caller's text is
  // never changed.
  short v = static_cast<short>(r.top + fi.ascent);
  int lines = 0;
  std::size_t pos = 0;
  while (pos <= all.size() && lines < kDrawMaxLines) {
    std::size_t end = all.find('\r', pos);
    if (end == std::string_view::npos) end = all.size();
    if (end > pos) {
      short first = static_cast<short>(pos);
      short count = static_cast<short>(end - pos);
      MoveTo(lineLeft(r, TextWidth(all.data(), first, count), hStyle), v);
      DrawText(all.data(), first, count);
      v = static_cast<short>(v + fi.ascent + fi.descent);
      ++lines;
    }
    pos = end + 1;
  }
}

}  // namespace

void Draw_String_User_Rect(DialogRef dialog, ConstStr255Param text, const Rect* rect, short hStyle,
                           short vStyle, Boolean clear) {
  if (!dialog || !text || !rect) return;
  tb::PortSaver port(GetDialogPort(dialog));
  if (clear) Clear_Dialog_Rect_Area(dialog, rect);
  // Drawn for the rectangle: what reaches out of it shows as such in the
  // drawn-text report.
  tb::DrawnTextScope tag(tb::TextSource::kDirect, rect);
  drawLines(text, *rect, hStyle, vStyle);
}

void Draw_String_Color_Rect(DialogRef dialog, ConstStr255Param text, const Rect* rect, short hStyle,
                            short vStyle, const RGBColor* color) {
  if (!dialog || !text || !rect || !color) return;
  tb::PortSaver port(GetDialogPort(dialog));
  RGBColor savedBack;
  GetBackColor(&savedBack);
  RGBBackColor(color);
  EraseRect(rect);
  tb::DrawnTextScope tag(tb::TextSource::kDirect, rect);
  drawLines(text, *rect, hStyle, vStyle);
  RGBBackColor(&savedBack);
}

void Clear_Color_Item_Area(DialogRef dialog, DialogItemIndex item, const RGBColor* color) {
  if (!dialog || !color) return;
  DialogItemType kind = 0;
  Handle h = nullptr;
  Rect r{};
  GetDialogItem(dialog, item, &kind, &h, &r);
  tb::PortSaver port(GetDialogPort(dialog));
  PenState pen;
  GetPenState(&pen);
  RGBColor savedBack;
  GetBackColor(&savedBack);
  RGBBackColor(color);
  EraseRect(&r);
  RGBBackColor(&savedBack);
  SetPenState(&pen);
}

void Draw_Item_Icon(DialogRef dialog, DialogItemIndex item, SInt16 iconID) {
  if (!dialog) return;
  DialogItemType kind = 0;
  Handle h = nullptr;
  Rect r{};
  GetDialogItem(dialog, item, &kind, &h, &r);
  Draw_Rect_Icon(dialog, &r, iconID);
}

void Draw_Rect_Icon(DialogRef dialog, const Rect* rect, SInt16 iconID) {
  if (!dialog || !rect) return;
  CIconHandle icon = GetCIcon(iconID);
  if (!icon) return;
  tb::PortSaver port(GetDialogPort(dialog));
  PlotCIcon(rect, icon);
  DisposeCIcon(icon);
}

void Get_Control_Rect(ControlRef control, Rect* rect) {
  if (!rect) return;
  if (!control) {
    *rect = Rect{};
    return;
  }
  GetControlBounds(control, rect);
}

short Str_To_Num(ConstStr255Param text, UInt32* number, UInt32 maximum, UInt32 minimum) {
  if (!number) return 0;
  UInt64 n = 0;
  *number = 0;
  std::string_view digits = pstr::view(text);
  for (char c : digits) {
    n *= 10;
    if (c < '0' || c > '9') {
      *number = static_cast<UInt32>(std::min<UInt64>(n, 0xFFFFFFFFu));
      return 0;
    }
    n += static_cast<UInt64>(c - '0');
    // A number too large for the field is out of every range, never a
    // small number that wrapped.
    if (n > 0xFFFFFFFFu) {
      *number = 0xFFFFFFFFu;
      return 0;
    }
  }
  *number = static_cast<UInt32>(n);
  return minimum <= *number && *number <= maximum ? 1 : 0;
}

ControlPartCode Original_Control_Action(DialogRef dialog, const EventRecord* event, ControlRef control) {
  if (!dialog || !event || !control) return kControlNoPart;
  tb::PortSaver port(GetDialogPort(dialog));
  Point where = event->where;
  GlobalToLocal(&where);
  return TrackControl(control, where, kControlUseOwnAction);
}

short Change_Dialog_Page(DialogRef dialog, SInt16 ditlID, DialogItemIndex firstItem) {
  if (!dialog) return 0;
  DialogItemIndex count = CountDITL(dialog);
  if (firstItem < 1) firstItem = 1;
  if (firstItem <= count) ShortenDITL(dialog, static_cast<DialogItemIndex>(count - firstItem + 1));
  Handle items = GetResource('DITL', ditlID);
  if (!items) return 0;
  AppendDITL(dialog, items, overlayDITL);
  ReleaseResource(items);
  return 1;
}

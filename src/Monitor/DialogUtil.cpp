// The helpers the monitor's settings dialogs share: items, tabs, labels,
// fonts and one-column lists.
#include "Monitor/DialogUtil.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "common/IniFile.h"
#include "FanctionLib/ConfigDialog.h"
#include "Monitor/MonitorApp.h"
#include "OT/DrawUtil.h"
#include "toolbox/controls.h"
#include "toolbox/fonts.h"

namespace mondlg {

void SetDimmed(DialogRef d, DialogItemIndex item, bool dim) { Hilite_Item(d, item, !dim); }

bool IsDimmed(DialogRef d, DialogItemIndex item) {
  ControlRef c = Item_Control(d, item);
  return !c || GetControlHilite(c) == 255;
}

std::string ItemText(DialogRef d, DialogItemIndex item) {
  Handle h = nullptr;
  DialogItemType kind = 0;
  Rect r;
  if (!d) return {};
  GetDialogItem(d, item, &kind, &h, &r);
  if (!h) return {};
  Str255 text = {0};
  GetDialogItemText(h, text);
  return std::string(reinterpret_cast<const char*>(text + 1), text[0]);
}

void SetItemText(DialogRef d, DialogItemIndex item, const std::string& text) {
  Handle h = nullptr;
  DialogItemType kind = 0;
  Rect r;
  if (!d) return;
  GetDialogItem(d, item, &kind, &h, &r);
  if (!h) return;
  Str255 p;
  pstr::set(p, sizeof p, text);
  SetDialogItemText(h, p);
}

Rect ItemRect(DialogRef d, DialogItemIndex item) {
  Rect r{};
  Get_Dialog_Item_Rect(d, item, &r);
  return r;
}

void InvalidateAll(DialogRef d) {
  WindowRef w = GetDialogWindow(d);
  Rect all;
  GetPortBounds(GetWindowPort(w), &all);
  InvalWindowRect(w, &all);
}

CTAB_DATA* NewSettingsTabs(DialogRef d, DialogItemIndex item, SInt16 height) {
  const Rect r = ItemRect(d, item);
  const Rect tabs{r.top, r.left, SInt16(r.top + height), r.right};
  // The selected tab stands on the page frame.
  const Rect page{SInt16(r.top + CTFrontTabHeight(143)), r.left, SInt16(r.top + height), r.right};
  CTAB_DATA* tab = CTNew(GetDialogWindow(d), &tabs, &page, 16, false, 0xFFFFFF, true);
  if (!tab) return nullptr;
  const DialogFont f = FontOf("TAB=");
  const UInt8 face = UInt8(f.face);
  CTSetFont(tab, &f.id, &face, &f.size);
  CTSetPictID(tab, 143, 142, 144, 145, 146, 147, 148, 149);
  return tab;
}

SInt16 TrackTabPress(DialogRef, CTAB_DATA* tabs, DialogItemIndex, EventRecord* event, SInt16 shown) {
  SInt16 part = -1;
  CTMouseDown(tabs, event, &part);
  const SInt16 now = CTGetCurSel(tabs);
  return now == shown ? -1 : now;
}

void UpdateTabbedDialog(DialogRef d, CTAB_DATA* tabs, void (*pageUpdate)(DialogRef)) {
  WindowRef w = GetDialogWindow(d);
  BeginUpdate(w);
  Set_Content_Color(d);
  if (tabs) CTUpdate(tabs);
  DrawDialog(d);
  if (pageUpdate) pageUpdate(d);
  EndUpdate(w);
}

void DrawLabel(DialogRef d, DialogItemIndex item, const std::string& text) {
  if (!d) return;
  Rect r = ItemRect(d, item);
  if (r.right <= r.left) return;
  // Line breaks written "\n" in the ini become carriage returns.
  char buf[256];
  const std::size_t n = std::min(text.size(), sizeof buf - 1);
  std::memcpy(buf, text.data(), n);
  buf[n] = 0;
  SetKaigyou(buf, int(n + 1));
  Str255 p;
  pstr::set(p, sizeof p, buf);
  tb::PortSaver keep(GetDialogPort(d));
  Use_Main_Font();
  Draw_String_User_Rect(d, p, &r, kDrawLeft, 0, true);
}

DialogFont FontOf(const char* key) {
  DialogFont f{setFType, Style(setFFace), setFSize};
  UInt8 face = UInt8(f.face);
  Get_Font_Data2(key, &f.id, &face, &f.size, IniFileName);
  f.face = Style(face);
  return f;
}

CLIST_DATA* NewOneColumnList(DialogRef d, DialogItemIndex item, SInt16 rowHeight) {
  Rect r = ItemRect(d, item);
  if (r.right <= r.left) return nullptr;
  const SInt16 width = CLOneColumnWidth(r);
  CLIST_DATA* list = CLNew(GetDialogWindow(d), &r, Point{rowHeight, width}, false, true, false);
  if (!list) return nullptr;
  const DialogFont f = FontOf("LIST=");
  CLSetFont(list, &f.id, &f.face, &f.size);
  Str255 none = {0};
  CLAddColumn(list, none, width, kCLNoHeader);
  return list;
}

void AppendRow(CLIST_DATA* list, const std::string& text) {
  if (!list) return;
  Str255 p;
  pstr::set(p, sizeof p, text);
  CLSetCellOne(list, Cell{CLGetCount(list), 0}, p);
}

std::string RowText(CLIST_DATA* list, SInt16 row, SInt16 column) {
  if (!list) return {};
  Str255 p = {0};
  SInt16 len = sizeof p - 1;
  if (CLGetCellOne(list, p, &len, Cell{row, column}) < 0) return {};
  return std::string(reinterpret_cast<const char*>(p + 1), p[0]);
}

SInt16 SelectedRow(CLIST_DATA* list) {
  Cell c{0, 0};
  if (list && CLGetSelect(list, &c, true)) return c.v;
  return -1;
}

void Redraw(CLIST_DATA* list) {
  if (list) CLUpdate(list, nullptr, 1);
}

}  // namespace mondlg

short Get_Font_Data2(const char* key, SInt16* font, UInt8* face, SInt16* size, const char* file) {
  char value[256] = "";
  if (!Load_File_To_CstringEx("[FONT]", key, value, sizeof value, file)) return 0;
  std::string_view rest(value);
  std::string_view fields[3];
  for (std::string_view& field : fields) {
    const std::size_t comma = rest.find(',');
    field = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  auto number = [](std::string_view field, int* out) {
    return !field.empty() && std::sscanf(std::string(field).c_str(), "%d", out) == 1;
  };
  if (!fields[0].empty()) {
    Str255 name;
    pstr::set(name, sizeof name, fields[0]);
    GetFNum(name, font);
  }
  int n = 0;
  if (number(fields[1], &n)) *face = UInt8(n & 0xFF);
  if (number(fields[2], &n) && n > 0 && n < 128) *size = SInt16(n);
  return 1;
}

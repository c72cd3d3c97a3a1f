// Reading and setting dialog items, and the small drawing calls the
// programs' dialogs are drawn with, each inside the dialog's own port.
#include "506Q_Lib/DialogItems.h"

#include <string_view>

#include "506Q_Lib/Bridge.h"
#include "toolbox/controls.h"

namespace {

bool item_rect(DialogRef dialog, DialogItemIndex item, Rect* rect, DialogItemType* kind = nullptr) {
  if (!dialog || item < 1 || item > CountDITL(dialog)) return false;
  DialogItemType k = 0;
  Handle h = nullptr;
  GetDialogItem(dialog, item, &k, &h, rect);
  if (kind) *kind = k;
  return true;
}

void frame_rect(DialogRef dialog, const Rect* rect, Pattern* (*pattern)(Pattern*)) {
  if (!dialog || !rect) return;
  tb::PortSaver port(GetDialogPort(dialog));
  PenState pen;
  GetPenState(&pen);
  PenNormal();
  Pattern pat;
  PenPat(pattern(&pat));
  FrameRect(rect);
  SetPenState(&pen);
}

void frame_disabled_user_item(DialogRef dialog, DialogItemIndex item, Pattern* (*pattern)(Pattern*)) {
  Rect r;
  DialogItemType kind;
  if (!item_rect(dialog, item, &r, &kind) || kind != (userItem | itemDisable)) return;
  frame_rect(dialog, &r, pattern);
}

void line(short h1, short v1, short h2, short v2) {
  MoveTo(h1, v1);
  LineTo(h2, v2);
}

}  // namespace

void Get_Dialog_Item_Handle(DialogRef dialog, DialogItemIndex item, Handle* handle) {
  if (!handle) return;
  *handle = nullptr;
  if (!dialog) return;
  DialogItemType kind;
  Rect r;
  GetDialogItem(dialog, item, &kind, handle, &r);
}

void Get_Dialog_Item_Rect(DialogRef dialog, DialogItemIndex item, Rect* rect) {
  if (!rect) return;
  *rect = Rect{};
  item_rect(dialog, item, rect);
}

ControlRef Item_Control(DialogRef dialog, DialogItemIndex item) {
  ControlRef control = nullptr;
  if (!dialog || GetDialogItemAsControl(dialog, item, &control) != noErr) return nullptr;
  return control;
}

short Get_Item_Value(DialogRef dialog, DialogItemIndex item) {
  ControlRef control = Item_Control(dialog, item);
  return control ? GetControlValue(control) : 0;
}

void Set_Item_Value(DialogRef dialog, DialogItemIndex item, short value) {
  if (ControlRef control = Item_Control(dialog, item)) SetControlValue(control, value);
}

void Hilite_Item(DialogRef dialog, DialogItemIndex item, Boolean enabled) {
  if (ControlRef control = Item_Control(dialog, item)) HiliteControl(control, enabled ? 0 : 255);
}

short Invert_Check_Item(DialogRef dialog, DialogItemIndex item) {
  ControlRef control = Item_Control(dialog, item);
  if (!control) return 0;
  const SInt16 value = static_cast<SInt16>((GetControlValue(control) + 1) % 2);
  SetControlValue(control, value);
  return value;
}

void Invert_Button_Item(DialogRef dialog, DialogItemIndex item) {
  ControlRef control = Item_Control(dialog, item);
  if (!control) return;
  tb::PortSaver port(GetDialogPort(dialog));
  HiliteControl(control, kControlButtonPart);
  Force_Update_Window();
  UInt32 end;
  Delay(10, &end);
  HiliteControl(control, kControlNoPart);
  Force_Update_Window();
}

Boolean Alert_Answer_Key(DialogRef dialog, const EventRecord* event, DialogItemIndex* item) {
  if (!event || !item || event->what != keyDown) return false;
  const UInt8 key = UInt8((event->message & keyCodeMask) >> 8);
  const DialogItemIndex answer = key == kVK_Return || key == kVK_ANSI_KeypadEnter ? 1 : key == kVK_Escape ? 2 : 0;
  if (!answer) return false;
  Invert_Button_Item(dialog, answer);
  *item = answer;
  return true;
}

void Clear_Dialog_Rect_Area(DialogRef dialog, const Rect* rect) {
  if (!dialog || !rect) return;
  tb::PortSaver port(GetDialogPort(dialog));
  EraseRect(rect);
}

void Clear_Dialog_Item_Area(DialogRef dialog, DialogItemIndex item) {
  Rect r;
  if (item_rect(dialog, item, &r)) Clear_Dialog_Rect_Area(dialog, &r);
}

void Draw_Dialog_Default_Button(DialogRef dialog, DialogItemIndex) {
  if (dialog) SetDialogDefaultItem(dialog, 1);
}

void Draw_Setup_Frame_Rect(DialogRef dialog, const Rect* rect) { frame_rect(dialog, rect, GetQDGlobalsGray); }
void Draw_Setup_Frame_Rect_B(DialogRef dialog, const Rect* rect) { frame_rect(dialog, rect, GetQDGlobalsBlack); }

void Draw_Setup_Frame_Item(DialogRef dialog, DialogItemIndex item) {
  frame_disabled_user_item(dialog, item, GetQDGlobalsGray);
}

void Draw_Setup_Frame_Item_B(DialogRef dialog, DialogItemIndex item) {
  frame_disabled_user_item(dialog, item, GetQDGlobalsBlack);
}

void Draw_Group_Frame_Rect(DialogRef dialog, const Rect* rect) {
  if (!dialog || !rect) return;
  tb::PortSaver port(GetDialogPort(dialog));
  PenState pen;
  GetPenState(&pen);
  RGBColor fore;
  GetForeColor(&fore);
  PenNormal();
  const short t = rect->top, l = rect->left, b = rect->bottom, r = rect->right;
  RGBColor grey;
  SetRGBColor(&grey, 0x8888, 0x8888, 0x8888);
  RGBForeColor(&grey);
  MoveTo(l, t);
  LineTo(short(r - 1), t);
  LineTo(short(r - 1), short(b - 1));
  LineTo(l, short(b - 1));
  LineTo(l, t);
  RGBColor white;
  SetRGBColor(&white, 0xFFFF, 0xFFFF, 0xFFFF);
  RGBForeColor(&white);
  line(short(l + 1), short(t + 1), short(r - 2), short(t + 1));
  line(r, t, r, b);
  line(r, b, l, b);
  line(short(l + 1), short(b - 2), short(l + 1), short(t + 1));
  RGBForeColor(&fore);
  SetPenState(&pen);
}

void Draw_Group_Frame_Item(DialogRef dialog, DialogItemIndex item) {
  Rect r;
  if (item_rect(dialog, item, &r)) Draw_Group_Frame_Rect(dialog, &r);
}

void Draw_Rect_Pict(DialogRef dialog, const Rect* rect, SInt16 pictID) {
  if (!dialog || !rect) return;
  PicHandle pic = GetPicture(pictID);
  if (!pic) return;
  tb::PortSaver port(GetDialogPort(dialog));
  DrawPicture(pic, rect);
}

void Draw_Item_Pict(DialogRef dialog, DialogItemIndex item, SInt16 pictID) {
  Rect r;
  if (item_rect(dialog, item, &r)) Draw_Rect_Pict(dialog, &r, pictID);
}

void Draw_String_User_StringArea(DialogRef dialog, ConstStr255Param text, const Rect* rect,
                                 short hStyle, short vStyle, short clear) {
  if (!dialog || !text || !rect) return;
  tb::PortSaver port(GetDialogPort(dialog));
  FontInfo info;
  GetFontInfo(&info);
  const short a = info.ascent, d = info.descent;
  const std::string_view all = pstr::view(text);
  const short width = TextWidth(all.data(), 0, static_cast<short>(all.size()));
  const short areaWidth = static_cast<short>(rect->right - rect->left);
  auto left_of = [&](short w) -> short {
    if (hStyle == 1) return static_cast<short>(rect->left + (areaWidth - w) / 2);
    if (hStyle == 3) return static_cast<short>(rect->left + areaWidth - w);
    return static_cast<short>(rect->left + 2);
  };
  if (clear) {
    const Rect area{rect->top, rect->left, static_cast<short>(rect->top + a + d),
                    static_cast<short>(rect->left + width + 4)};
    EraseRect(&area);
  }
  if (all.find('\r') == std::string_view::npos) {
    short baseline;
    if (vStyle == 4)
      baseline = static_cast<short>(rect->top + a);
    else if (vStyle == 5)
      baseline = static_cast<short>(rect->bottom - d);
    else
      baseline = static_cast<short>(rect->top + (rect->bottom - rect->top - (a + d)) / 2 + a);
    MoveTo(left_of(width), baseline);
    DrawText(all.data(), 0, static_cast<short>(all.size()));
    return;
  }
  // Lines are taken from the caller's text as it stands: it is never split
  // in place.
  short baseline = static_cast<short>(rect->top + a);
  std::string_view rest = all;
  for (int n = 0; n < 4; ++n) {
    const std::size_t cr = rest.find('\r');
    const std::string_view one = rest.substr(0, cr);
    const short w = TextWidth(one.data(), 0, static_cast<short>(one.size()));
    MoveTo(left_of(w), baseline);
    DrawText(one.data(), 0, static_cast<short>(one.size()));
    if (cr == std::string_view::npos) break;
    rest.remove_prefix(cr + 1);
    baseline = static_cast<short>(baseline + a + d);
  }
}

void SetRGBColor(RGBColor* color, UInt16 red, UInt16 green, UInt16 blue) {
  if (!color) return;
  color->red = red;
  color->green = green;
  color->blue = blue;
}

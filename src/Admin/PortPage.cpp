// The printer port page and its hardware values, straight into the
// settings tables of port k (variables from 0x1100 + 0x100 * k).
#include "Admin/PortPage.h"

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupWindow.h"
#include "common/Context.h"
#include "common/IniFile.h"

namespace {

UInt16 base(short k) { return UInt16(0x1100 + 0x100 * k); }

// A missing setting: its item hidden, its place framed in grey.
void mark_missing(DialogRef d, short item) {
  Rect r;
  Get_Dialog_Item_Rect(d, item, &r);
  HideDialogItem(d, item);
  InsetRect(&r, -3, -3);
  Draw_Setup_Frame_Rect(d, &r);
}

struct Field {
  short item, label;
  UInt16 offset;
  bool number;
};
constexpr Field kFields[] = {{7, 6, 0x01, false},  {9, 8, 0x02, false},  {13, 12, 0x03, false}, {15, 14, 0x04, false},
                             {19, 18, 0x05, true}, {21, 20, 0x07, true}, {23, 22, 0x08, true}};

void popups(DialogRef d, short k, UInt16 first, int count) {
  for (int i = 0; i < count; ++i) Set_Popup_From_Enum(d, short(5 + 2 * i), UInt16(base(k) + first + i));
}
short popups_back(DialogRef d, short k, UInt16 first, int count) {
  for (int i = 0; i < count; ++i) Set_Popup_To_Enum(d, short(5 + 2 * i), UInt16(base(k) + first + i));
  return 1;
}

}  // namespace

void Setup_PrnPort_Message(DialogRef d) {
  struct C {
    short item;
    const char* key;
  };
  constexpr C kCaptions[] = {{6, "BOJSTRING="},  {12, "BOJSTRING="},  {8, "EOJSTRING="},   {14, "EOJSTRING="},
                             {11, "NORMAL_CONV="}, {16, "PRINT_TYPE="}, {18, "TAB_SIZE="},   {20, "PAGE_WIDTH="},
                             {22, "PAGE_LENGTH="}, {24, "CHAR="},      {25, "CHAR="},       {26, "LINE="},
                             {28, "KANJI_CONV="}};
  for (const C& c : kCaptions) Set_String_To_Item(d, c.item, c.key, "[LABEL]", IniFileName);
}

void Setup_PrnPort_Set_PortInfo(DialogRef d, short k) {
  const UInt16 b = base(k);
  for (const Field& f : kFields) {
    const UInt16 var = UInt16(b + f.offset);
    char shown[256] = "";
    if (!get_context_by_varid(var) || (!f.number && (context_show_varid(var, shown, sizeof shown) < 0 || !shown[0]))) {
      mark_missing(d, f.item);
      continue;
    }
    if (f.number) Set_Editbox_From_Int(d, f.item, var);
    else Set_Editbox_From_CtrlStr(d, f.item, var);
  }
  if (Set_Popup_From_Enum(d, 17, UInt16(b + 0x06)) <= 0) Hilite_Item(d, 17, false);
  const bool serial = get_context_by_varid(UInt16(b + 0x30)) != nullptr;
  const bool parallel = get_context_by_varid(UInt16(b + 0x20)) || get_context_by_varid(UInt16(b + 0x21)) ||
                        get_context_by_varid(UInt16(b + 0x22));
  if ((TypeBit & 0x0010) && (serial || parallel))
    Set_String_To_Item(d, 29, serial ? "SIO_DETAIL=" : "PIO_DETAIL=", "[BUTTON]", IniFileName);
  else
    HideDialogItem(d, 29);
  Setup_PrnPort_Message(d);
}

short Setup_PrnPort_Get_PortInfo(DialogRef d, short k) {
  const UInt16 b = base(k);
  auto take = [&](const Field& f) {
    const UInt16 var = UInt16(b + f.offset);
    const short r = f.number ? Set_Editbox_To_Int(d, f.item, var) : Set_Editbox_To_CtrlStr(d, f.item, var);
    if (r >= 1) {
      Setup_Error_Message(d, f.label);
      return false;
    }
    return true;
  };
  for (int i = 0; i < 4; ++i)
    if (!take(kFields[i])) return 0;
  Set_Popup_To_Enum(d, 17, UInt16(b + 0x06));
  for (int i = 4; i < 7; ++i)
    if (!take(kFields[i])) return 0;
  return 1;
}

void Load_Value_PPort_Para(DialogRef d, short k) {
  popups(d, k, 0x20, 3);
  if (!get_context_by_varid(UInt16(base(k) + 0x22))) {
    HideDialogItem(d, 8);
    HideDialogItem(d, 9);
  }
  Set_String_To_Item(d, 4, "PORT_TYPE=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 6, "PORT_MODE=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 8, "SELECT_LEVEL=", "[LABEL]", IniFileName);
}
short Get_Value_PPort_Para(DialogRef d, short k) { return popups_back(d, k, 0x20, 3); }

void Load_Value_PPort_Seri(DialogRef d, short k) {
  popups(d, k, 0x30, 6);
  if (!get_context_by_varid(UInt16(base(k) + 0x34))) {
    HideDialogItem(d, 12);
    HideDialogItem(d, 13);
  }
  constexpr const char* kKeys[] = {"SPEED=", "DATA_BIT=", "PARITY_BIT=", "STOP_BIT=", "HARD_FLOW=", "SOFT_FLOW="};
  for (int i = 0; i < 6; ++i) Set_String_To_Item(d, short(4 + 2 * i), kKeys[i], "[LABEL]", IniFileName);
}
short Get_Value_PPort_Seri(DialogRef d, short k) { return popups_back(d, k, 0x30, 6); }

// The printer port page and its hardware values, straight into the
// settings tables of port k (variables from 0x1100 + 0x100 * k).
#include "Admin/PortPage.h"

#include <cstring>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "Admin/SetupWindow.h"
#include "common/AppWindows.h"
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

// Fills pop-ups 5, 7, ... from the port's enumerations; the number of
// menu items of the one at index `asked`.
short popups(DialogRef d, short k, UInt16 first, int count, int asked) {
  short items = 0;
  for (int i = 0; i < count; ++i) {
    const short n = Set_Popup_From_Enum(d, short(5 + 2 * i), UInt16(base(k) + first + i));
    if (i == asked) items = n;
  }
  return items;
}
short popups_back(DialogRef d, short k, UInt16 first, int count) {
  for (int i = 0; i < count; ++i) Set_Popup_To_Enum(d, short(5 + 2 * i), UInt16(base(k) + first + i));
  return 1;
}

// The port shown: the title of tab index looked up in the box's port list;
// -1 when there is no such tab.
short port_of_tab(SInt16 index) {
  if (!gclData || index < 0) return -1;
  Str255 title;
  if (CTGetTitle(gclData, index, title) < 0) return -1;
  char name[256];
  std::memcpy(name, title + 1, title[0]);
  name[title[0]] = 0;
  short number = 0;
  return short(GetPortNum(sPortList, iPortWidth, name, &number, kPortListSize) - 1);
}
short shown_port() { return gclData ? port_of_tab(CTGetCurSel(gclData)) : -1; }

bool serial(short k) { return get_context_by_varid(UInt16(base(k) + 0x30)) != nullptr; }

SInt16 gOpenSub = 0;  // the sub-dialog now open
short gSubPort = 0;

}  // namespace

Boolean PPort_show_dialog = 0;

void Setup_PrnPort_Setup(DialogRef d) {
  for (short item : {10, 27})
    SetDialogItem(d, item, userItem | itemDisable, reinterpret_cast<Handle>(Draw_Setup_Frame_Item), nullptr);
}

void Setup_PrnPort_Load_Value(DialogRef d) {
  const short k = shown_port();
  if (k >= 0) Setup_PrnPort_Set_PortInfo(d, k);
}

Boolean Setup_PrnPort_Get_Value(DialogRef d) {
  const short k = port_of_tab(setupTabOldSelect);
  return k < 0 || Setup_PrnPort_Get_PortInfo(d, k) == 1;
}

void Setup_PrnPort_Update_Value(DialogRef d) { Setup_PrnPort_Message(d); }

Boolean Setup_PrnPort_Item_Select(DialogRef d, EventRecord*, DialogItemIndex item) {
  if (item != 29) return false;
  const short k = shown_port();
  if (k >= 0) Open_Sub_Dialog(d, serial(k) ? kPortSeriDialogID : kPortParaDialogID, k);
  return false;
}

void Update_Sub_Dialog(DialogRef d, SInt16 id) {
  if (id != kPortParaDialogID && id != kPortSeriDialogID) return;
  SetDialogDefaultItem(d, 1);
}

Boolean Handle_Sub_Dialog_Filter(DialogRef d, EventRecord* e, DialogItemIndex* item) {
  // Return, Enter and Escape are the sub-dialog's buttons.
  return Sub_Dialog_Frame_Event(d, e, item, &PPort_show_dialog,
                                [](DialogRef dialog) { Update_Sub_Dialog(dialog, gOpenSub); });
}

short PPort_Para_Item_Select(DialogRef d, DialogItemIndex item, short k) {
  return item == 1 ? Get_Value_PPort_Para(d, k) : 0;
}
short PPort_Seri_Item_Select(DialogRef d, DialogItemIndex item, short k) {
  return item == 1 ? Get_Value_PPort_Seri(d, k) : 0;
}

short Handle_Sub_Dialog_Event(DialogRef d, SInt16 id, DialogItemIndex item, short k) {
  if (id == kPortParaDialogID) return PPort_Para_Item_Select(d, item, k);
  if (id == kPortSeriDialogID) return PPort_Seri_Item_Select(d, item, k);
  return 0;
}

short Open_Sub_Dialog(DialogRef, SInt16 id, short k) {
  if (id != kPortParaDialogID && id != kPortSeriDialogID) return 0;
  const SInt16 outerId = gOpenSub;
  const short outerPort = gSubPort;
  gOpenSub = id;
  gSubPort = k;
  PPort_show_dialog = 1;
  const short result = Run_Setup_Sub_Dialog(
      id, id == kPortParaDialogID ? "PIO=" : "SIO=",
      [](DialogRef d) {
        if (gOpenSub == kPortParaDialogID)
          Load_Value_PPort_Para(d, gSubPort);
        else
          Load_Value_PPort_Seri(d, gSubPort);
      },
      [](DialogRef d) { return Handle_Sub_Dialog_Event(d, gOpenSub, 1, gSubPort); }, Handle_Sub_Dialog_Filter);
  gOpenSub = outerId;
  gSubPort = outerPort;
  return result;
}

void Setup_PrnPort_Message(DialogRef d) {
  SettingsFont font(d);
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
  if (popups(d, k, 0x20, 3, 2) <= 0) {  // no select level
    HideDialogItem(d, 8);
    HideDialogItem(d, 9);
  }
  Set_String_To_Item(d, 4, "PORT_TYPE=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 6, "PORT_MODE=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 8, "SELECT_LEVEL=", "[LABEL]", IniFileName);
}
short Get_Value_PPort_Para(DialogRef d, short k) { return popups_back(d, k, 0x20, 3); }

void Load_Value_PPort_Seri(DialogRef d, short k) {
  if (popups(d, k, 0x30, 6, 4) <= 0) {  // no hardware flow control
    HideDialogItem(d, 12);
    HideDialogItem(d, 13);
  }
  constexpr const char* kKeys[] = {"SPEED=", "DATA_BIT=", "PARITY_BIT=", "STOP_BIT=", "HARD_FLOW=", "SOFT_FLOW="};
  for (int i = 0; i < 6; ++i) Set_String_To_Item(d, short(4 + 2 * i), kKeys[i], "[LABEL]", IniFileName);
}
short Get_Value_PPort_Seri(DialogRef d, short k) { return popups_back(d, k, 0x30, 6); }

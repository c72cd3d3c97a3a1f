// The wireless dialog of the General page: network mode, network name,
// channel, WEP mode, key index and the key as 13 masked two-digit fields.
#include <algorithm>
#include <cstring>
#include <string>

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "common/Context.h"
#include "common/IniFile.h"
#include "toolbox/controls.h"
#include "toolbox/menus.h"

namespace {

constexpr UInt16 kMode = 12304, kSsid = 12305, kChannel = 12306, kWep = 12308, kKeyIndex = 12312, kKey = 12313;

struct WIRELESS_MODE {
  short wirelessMode;
  char essID[256];
  char channel[256];
  Boolean wepUse;
  short inputID;
  char keyIndex[256];
  short wOrgLeng;
  char wOrgKeyBuff[256];
  short wLeng[13];
  char wKeyPassBuff[13][8];
};
WIRELESS_MODE wLessInfo{};

std::string popup_text(DialogRef d, short item) {
  ControlRef c = Item_Control(d, item);
  if (!c) return {};
  MenuRef m = GetControlPopupMenuHandle(c);
  if (!m) return {};
  Str255 t;
  GetMenuItemText(m, GetControlValue(c), t);
  return std::string(reinterpret_cast<char*>(t + 1), t[0]);
}

short Get_Wireless_Mode(DialogRef d, short item) {
  const std::string t = popup_text(d, item);
  if (t == "Ad hoc" || t == "Ad hoc 1") return 1;
  if (t.rfind("Infra", 0) == 0) return 3;
  return 2;
}

// 0 off, 5 bytes for a 40-bit key, 13 for a 104-bit one.
int wep_bytes(DialogRef d) {
  const std::string t = popup_text(d, 31);
  if (t.rfind("64", 0) == 0 || t.rfind("YES", 0) == 0) return 5;
  if (t.rfind("128", 0) == 0) return 13;
  return 0;
}

void show(DialogRef d, short item, bool on) {
  if (on)
    ShowDialogItem(d, item);
  else
    HideDialogItem(d, item);
}

// The field a mode shows read-only: the name in mode 1, the channel in
// mode 3, none in mode 2.
short read_only_item(short mode) { return mode == 1 ? 11 : mode == 3 ? 12 : 0; }

// A read-only field's grey frame, one 3-pixel step outside it (or the
// frame's place erased).
void frame_read_only(DialogRef d, short item, bool draw) {
  if (!item) return;
  Rect r;
  Get_Dialog_Item_Rect(d, item, &r);
  if (r.left >= 16384) r.left = SInt16(r.left - 16384), r.right = SInt16(r.right - 16384);
  InsetRect(&r, -3, -3);
  if (draw) {
    Draw_Setup_Frame_Rect(d, &r);
  } else {
    InsetRect(&r, -1, -1);
    Clear_Dialog_Rect_Area(d, &r);
  }
}

// The mode's two labels, grey where the mode shows the field read-only.
void Draw_Wireless_Message(DialogRef d, short mode) {
  Draw_Color_Label(d, 6, "[LABEL]", "WL_SSID=", mode == 1);
  Draw_Color_Label(d, 8, "[LABEL]", "WL_CHANNEL=", mode == 3);
}

// The name and channel fields a mode shows: read-only (grey) the name in
// mode 1, the channel in mode 3; editable the others.
void show_mode_fields(DialogRef d, short mode) {
  show(d, 7, mode != 1);
  show(d, 11, mode == 1);
  show(d, 9, mode != 3);
  show(d, 12, mode == 3);
}

// The fields of the current mode from the kept name and channel; with
// update only what a redraw of the dialog leaves black or unframed.
void Review_Wireless_Mode_String(DialogRef d, bool update) {
  const short mode = wLessInfo.wirelessMode;
  if (!update) {
    show_mode_fields(d, mode);
    Draw_Color_String(d, 7, wLessInfo.essID, false);
    Draw_Color_String(d, 9, wLessInfo.channel, false);
  }
  if (mode == 1) Draw_Color_String(d, 11, wLessInfo.essID, true);
  if (mode == 3) Draw_Color_String(d, 12, wLessInfo.channel, true);
  frame_read_only(d, read_only_item(mode), true);
  Draw_Wireless_Message(d, mode);
}

void show_wep(DialogRef d) {
  const int bytes = wep_bytes(d);
  wLessInfo.wepUse = bytes != 0;
  show(d, 13, bytes != 0);
  for (short i = 0; i < 13; ++i) show(d, short(14 + i), i < bytes);
  show(d, 27, bytes == 13);
  show(d, 28, bytes == 13);
  const bool index = bytes != 0 && Check_Context_Data(kKeyIndex);
  show(d, 29, index);
  show(d, 30, index);
  if (index) Set_Item_Text(d, 30, wLessInfo.keyIndex);
}

// A mode's fields from the settings.
void Wireless_Mode_String(DialogRef d, short mode) {
  wLessInfo.wirelessMode = mode;
  show_mode_fields(d, mode);
  Set_Editbox_From_String_Color(d, 7, kSsid, false);
  Set_Editbox_From_String_Color(d, 11, kSsid, true);
  Set_Editbox_From_Int_Color(d, 9, kChannel, false);
  Set_Editbox_From_Int_Color(d, 12, kChannel, true);
  Get_Context_String(kSsid, wLessInfo.essID);
  Get_Context_Int(kChannel, wLessInfo.channel);
  frame_read_only(d, read_only_item(mode), true);
  Draw_Wireless_Message(d, mode);
}

void Chenge_Wireless_Mode(DialogRef d) {
  const short mode = Get_Wireless_Mode(d, 5);
  if (mode == wLessInfo.wirelessMode) return;
  if (wLessInfo.wirelessMode != 1) Get_Item_Text(d, 7, wLessInfo.essID, sizeof wLessInfo.essID);
  if (wLessInfo.wirelessMode != 3) Get_Item_Text(d, 9, wLessInfo.channel, sizeof wLessInfo.channel);
  frame_read_only(d, read_only_item(wLessInfo.wirelessMode), false);
  wLessInfo.wirelessMode = mode;
  Review_Wireless_Mode_String(d, false);
}

void Chenge_Use_WEP_Item(DialogRef d) {
  if (wLessInfo.wepUse && Check_Context_Data(kKeyIndex))
    Get_Item_Text(d, 30, wLessInfo.keyIndex, sizeof wLessInfo.keyIndex);
  show_wep(d);
}

void Get_Password_From_Context() {
  std::memset(WireLesspass, 0, sizeof WireLesspass);
  std::memset(WLessPassBuff, 0, sizeof WLessPassBuff);
  WLessPass = MaxWLesspass = 0;
  CONTEXT_ENTRY* e = get_context_by_varid(kKey);
  if (!e) return;
  auto f = context_field(e);
  static const char hex[] = "0123456789ABCDEF";
  const std::size_t n = f.empty() ? 0 : std::min<std::size_t>(f.size() - 1, 13);
  for (std::size_t i = 0; i < n; ++i) {
    WLessPassBuff[2 * i] = hex[f[i] >> 4];
    WLessPassBuff[2 * i + 1] = hex[f[i] & 15];
  }
  WLessPass = short(2 * n);
  MaxWLesspass = short(2 * n);
  WireLesspass[0] = UInt8(WLessPass);
  std::memcpy(WireLesspass + 1, WLessPassBuff, std::size_t(WLessPass));
}

void Load_Value_Wireless_Setup(DialogRef d) {
  wLessInfo = WIRELESS_MODE{};
  Set_String_To_Item(d, 4, "WL_MODE=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 10, "WL_USE_WEP=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 13, "WL_WEP_KEY=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 29, "WL_KEY_INDEX=", "[LABEL]", IniFileName);
  Set_Popup_From_Enum(d, 5, kMode);
  Get_Password_From_Context();
  // The key as the box holds it, beside the fields' typed digits.
  wLessInfo.wOrgLeng = WLessPass;
  std::memcpy(wLessInfo.wOrgKeyBuff, WLessPassBuff, sizeof wLessInfo.wOrgKeyBuff);
  Set_Popup_From_Enum(d, 31, kWep);
  for (short i = 0; i < 13; ++i) {
    const short have = std::max<short>(0, std::min<short>(2, short(WLessPass - 2 * i)));
    std::memcpy(wLessInfo.wKeyPassBuff[i], WLessPassBuff + 2 * i, std::size_t(have));
    wLessInfo.wLeng[i] = have;
    // As many asterisks as the field holds digits: what it shows is what
    // OK stores.
    Set_Item_Text(d, short(14 + i), std::string(std::size_t(have), '*').c_str());
  }
  Get_Context_Int(kKeyIndex, wLessInfo.keyIndex);
  Wireless_Mode_String(d, Get_Wireless_Mode(d, 5));
  show_wep(d);
}

short Get_Value_Wireless_Setup(DialogRef d) {
  Set_Popup_To_Enum(d, 5, kMode);
  const short mode = Get_Wireless_Mode(d, 5);
  if (mode != 1) {
    Get_Item_Text(d, 7, wLessInfo.essID, sizeof wLessInfo.essID);
    if (Set_Editbox_To_String(d, 7, kSsid) != 0) return Setup_Error_Message(d, 6), 0;
  }
  if (mode != 3) {
    Get_Item_Text(d, 9, wLessInfo.channel, sizeof wLessInfo.channel);
    if (Set_Editbox_To_Int(d, 9, kChannel) != 0) return Setup_Error_Message(d, 8), 0;
  }
  Set_Popup_To_Enum(d, 31, kWep);
  const bool wep = wep_bytes(d) != 0;
  if (wep && Check_Context_Data(kKeyIndex)) {
    Get_Item_Text(d, 30, wLessInfo.keyIndex, sizeof wLessInfo.keyIndex);
    if (Set_Editbox_To_Int(d, 30, kKeyIndex) != 0) return Setup_Error_Message(d, 29), 0;
  }
  if (wep) {
    char key[27] = {0};
    std::size_t n = 0;
    for (short i = 0; i < 13; ++i)
      for (short k = 0; k < wLessInfo.wLeng[i] && k < 2; ++k) key[n++] = wLessInfo.wKeyPassBuff[i][k];
    if (Check_Wepkey(kKey, key) == 2) return Setup_Error_Message(d, 13), 0;
  }
  return 1;
}

// The key field that has the keyboard takes the keys, however it got it.
void follow_focus(DialogRef d) {
  const DialogItemIndex focus = GetDialogKeyboardFocusItem(d);
  if (focus >= 14 && focus <= 26) {
    wLessInfo.inputID = focus;
    SetPassFlag = 104;
  } else {
    SetPassFlag = 99;
  }
}

Boolean Handle_Wireless_Setup_Filter(DialogRef d, EventRecord* e, DialogItemIndex* item) {
  // The dialog repaints itself on every update: the mode's grey texts and
  // frame are drawn over what the items draw.
  static Boolean repaint = 1;
  if (Sub_Dialog_Frame_Event(d, e, item, &repaint, [](DialogRef dd) { Review_Wireless_Mode_String(dd, true); }))
    return true;
  if (e->what != keyDown && e->what != autoKey) return false;
  follow_focus(d);
  if (SetPassFlag == 104) {
    const int i = wLessInfo.inputID - 14;
    Password_Input_Filter(d, e, 0, 2, wLessInfo.wKeyPassBuff[i], &wLessInfo.wLeng[i]);
  }
  return false;
}

void item_hit(DialogRef d, DialogItemIndex item) {
  if (item == 5) {
    Chenge_Wireless_Mode(d);
  } else if (item == 31) {
    Chenge_Use_WEP_Item(d);
  } else if (item >= 14 && item <= 26) {
    SelectDialogItemText(d, item, 32767, 32767);
  }
  follow_focus(d);
}

}  // namespace

short Open_Wireless_Setup_Dialog() {
  const short r = Run_Setup_Sub_Dialog(153, "WIRELESS=", Load_Value_Wireless_Setup, Get_Value_Wireless_Setup,
                                       Handle_Wireless_Setup_Filter, item_hit);
  SetPassFlag = 99;
  return r;
}

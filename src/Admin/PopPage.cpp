// The POP page and the account detail dialog: values go straight into the
// settings tables (the page when it is left, the dialog on OK).
#include "Admin/PopPage.h"

#include <cstdio>
#include <cstring>

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/MainWindow.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "Admin/SetupWindow.h"
#include "common/Context.h"
#include "common/IniFile.h"
#include "toolbox/controls.h"

namespace {

constexpr UInt16 kVarPopUse = 0x2001, kVarInterval = 0x2005, kVarTimeZone = 0x2002;
// The account behind button item 17-20; 0 for any other item.
UInt16 user_base(short item) { return item >= 17 && item <= 20 ? UInt16(0x2100 * (item - 16)) : 0; }
// Reception is switched only on boxes offering TCP/IP or AppleTalk.
bool pop_switchable() { return (TypeBit & 0x0001) || (TypeBit & 0x0004); }

void on_off(DialogRef d, short user) {
  const UInt16 base = UInt16(0x2100 * user);
  Set_Item_Text(d, short(12 + user), Get_Context_Enable(UInt16(base + 1)) ? "ON" : "OFF");
}

// The account button the open account or detail dialog is for.
short gAccountItem = 0;
// The account dialog while it is open: its password field is masked, the
// detail dialog's fields are not.
DialogRef gUserDialog = nullptr;

int password_flag(DialogRef d) { return d == gUserDialog ? Masked_Focus_Flag(d, 11, 103) : 99; }

void user_captions(DialogRef d) {
  struct C {
    short item;
    const char *section, *key;
  };
  constexpr C kCaptions[] = {{5, "[BUTTON]", "USERCHECK="},  {6, "[LABEL]", "POPSERVER="},
                             {8, "[LABEL]", "POPLOGIN="},    {10, "[LABEL]", "POPPASSWORD="},
                             {12, "[LABEL]", "POPPORTNUM="}, {14, "[BUTTON]", "DETAIL="}};
  for (const C& c : kCaptions) Set_String_To_Item(d, c.item, c.key, c.section, IniFileName);
}

}  // namespace

Boolean POP_Detail_show_dialog = 0;

Boolean Handle_POP_Detail_Filter(DialogRef d, EventRecord* e, DialogItemIndex* item) {
  if (Sub_Dialog_Frame_Event(d, e, item, &POP_Detail_show_dialog, nullptr)) return true;
  if (e->what == keyDown || e->what == autoKey) {
    SetPassFlag = password_flag(d);
    // Masked keys go on to the field as stars; Return, Enter and Escape
    // are the buttons.
    if (SetPassFlag == 103 && Password_Input_Filter(d, e, 0, MaxPOPUpass, PUserPassBuff, &PUserPass) != 1) return false;
  }
  return Sub_Dialog_Button_Key(d, e, item);
}

void Load_Value_POP_USER(DialogRef d, short item) {
  const UInt16 u = user_base(item);
  if (!u) return;
  Set_Checkbox_From_EnumEnable(d, 4, UInt16(u + 1));
  Set_Editbox_From_String(d, 7, UInt16(u + 2));
  Set_Editbox_From_String(d, 9, UInt16(u + 4));
  Set_Editbox_From_String(d, 11, UInt16(u + 5));
  Set_Editbox_From_Int(d, 13, UInt16(u + 3));
  user_captions(d);
}

short Get_Value_POP_USER(DialogRef d, short item) {
  const UInt16 u = user_base(item);
  if (!u) return 1;
  Set_Checkbox_To_EnumEnable(d, 4, UInt16(u + 1));
  short label = 0;
  if (Set_Editbox_To_String(d, 7, UInt16(u + 2)) != 0)
    label = 6;
  else if (Set_Editbox_To_String(d, 9, UInt16(u + 4)) != 0)
    label = 8;
  else if (Check_password(PUserPassBuff) == 0)
    label = 10;
  else if (Set_Editbox_To_String(d, 11, UInt16(u + 5)) != 0)
    label = 10;
  else if (Set_Editbox_To_Int(d, 13, UInt16(u + 3)) != 0)
    label = 12;
  if (!label) return 1;
  Setup_Error_Message(d, label);
  return 0;
}

namespace {

void account_item(DialogRef d, DialogItemIndex hit) {
  if (hit == 4) {
    Toggle_Item(d, 4);
  } else if (hit == 14) {
    SetPassFlag = 99;
    Open_POP_Detail_Dialog(d, gAccountItem);
  } else if (hit == 11) {
    SelectDialogItemText(d, 11, PUserPass, PUserPass);
  }
  SetPassFlag = password_flag(d);
  SetDialogDefaultItem(d, 1);
}

}  // namespace

short Open_POP_USER_Dialog(DialogRef, short item) {
  if (!user_base(item)) return 0;
  char title[16];
  std::snprintf(title, sizeof title, "USER%d=", item - 16);
  const short outer = gAccountItem;
  gAccountItem = item;
  POP_Detail_show_dialog = 1;
  SetPassFlag = 99;
  const short result = Run_Setup_Sub_Dialog(
      kPopUserDialogID, title,
      [](DialogRef d) {
        gUserDialog = d;
        Load_Value_POP_USER(d, gAccountItem);
      },
      [](DialogRef d) { return Get_Value_POP_USER(d, gAccountItem); }, Handle_POP_Detail_Filter, account_item,
      [](DialogRef) { gUserDialog = nullptr; });
  gAccountItem = outer;
  // The page has no masked field of its own.
  SetPassFlag = 99;
  return result;
}

void Setup_POP_Setup(DialogRef d) {
  SetDialogItem(d, 21, userItem | itemDisable, reinterpret_cast<Handle>(Draw_Setup_Frame_Item), nullptr);
}

void Setup_POP_Message(DialogRef d) {
  SettingsFont font(d);
  struct C {
    short item;
    const char *section, *key;
  };
  constexpr C kCaptions[] = {{7, "[BUTTON]", "POP_USE="},   {8, "[LABEL]", "MAILRECEIVE="}, {10, "[LABEL]", "MINUTE="},
                             {11, "[LABEL]", "TIMEZONE="},  {17, "[BUTTON]", "USER1="},     {18, "[BUTTON]", "USER2="},
                             {19, "[BUTTON]", "USER3="},    {20, "[BUTTON]", "USER4="},     {22, "[LABEL]", "USERSETUP="}};
  for (const C& c : kCaptions) Set_String_To_Item(d, c.item, c.key, c.section, IniFileName);
}

void Setup_POP_Load_Value(DialogRef d) {
  if (Check_Context_Data(kVarPopUse)) {
    if (!pop_switchable()) Set_Item_Value(d, 6, 1);
    else Set_Checkbox_From_EnumEnable(d, 6, kVarPopUse);
  } else if (Check_Context_Data(kVarInterval)) {
    HideDialogItem(d, 6);
    HideDialogItem(d, 7);
  }
  Set_Editbox_From_Int(d, 9, kVarInterval);
  Set_Editbox_From_String(d, 12, kVarTimeZone);
  for (short u = 1; u <= 4; ++u) on_off(d, u);
  Setup_POP_Message(d);
}

Boolean Setup_POP_Get_Value(DialogRef d) {
  if (pop_switchable()) Set_Checkbox_To_EnumEnable(d, 6, kVarPopUse);
  if (Set_Editbox_To_Int(d, 9, kVarInterval) != 0) {
    Setup_Error_Message(d, 8);
    return false;
  }
  if (Set_Editbox_To_String(d, 12, kVarTimeZone) != 0) {
    Setup_Error_Message(d, 11);
    return false;
  }
  return true;
}

Boolean Setup_POP_Item_Select(DialogRef d, EventRecord*, DialogItemIndex item) {
  if (item == 6) {
    Toggle_Item(d, 6);
    return true;
  }
  if (item >= 17 && item <= 20) {
    Open_POP_USER_Dialog(d, item);
    on_off(d, short(item - 16));
    return true;
  }
  return false;
}

void Load_Value_POP_Detail(DialogRef d, short item) {
  const UInt16 u = user_base(item);
  if (!u) return;
  // The filter group's frame; its title (item 13) is drawn over it.
  SetDialogItem(d, 12, userItem | itemDisable, reinterpret_cast<Handle>(Draw_Setup_Frame_Item), nullptr);
  for (auto [box, var] : {std::pair<short, UInt16>{4, UInt16(u + 7)}, {6, UInt16(u + 8)}}) {
    CONTEXT_ENTRY* e = get_context_by_varid(var);
    if (!e) {
      Hilite_Item(d, box, false);
      continue;
    }
    Set_Item_Value(d, box, context_read(e) == 1 ? 1 : 0);
  }
  Set_Editbox_From_Int(d, 9, UInt16(u + 11));
  Set_Editbox_From_String(d, 11, UInt16(u + 12));
  Set_String_To_Item(d, 5, "APOP=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 7, "RECEIVE_DELETE=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 8, "MAILLIMIT=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 10, "KBYTE=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 13, "FILTER=", "[LABEL]", IniFileName);
}

short Get_Value_POP_Detail(DialogRef d, short item) {
  const UInt16 u = user_base(item);
  if (!u) return 1;
  for (auto [box, var] : {std::pair<short, UInt16>{4, UInt16(u + 7)}, {6, UInt16(u + 8)}})
    if (CONTEXT_ENTRY* e = get_context_by_varid(var)) context_write(e, UInt8(Get_Item_Value(d, box) ? 1 : 0));
  if (Set_Editbox_To_Int(d, 9, UInt16(u + 11)) != 0) {
    Setup_Error_Message(d, 8);
    return 0;
  }
  if (Set_Editbox_To_String(d, 11, UInt16(u + 12)) != 0) {
    Setup_Error_Message(d, 13);
    return 0;
  }
  return 1;
}

short Open_POP_Detail_Dialog(DialogRef, short item) {
  const short outer = gAccountItem;
  gAccountItem = item;
  POP_Detail_show_dialog = 1;
  const short r = Run_Setup_Sub_Dialog(
      kPopDetailDialogID, "DETAIL=", [](DialogRef d) { Load_Value_POP_Detail(d, gAccountItem); },
      [](DialogRef d) { return Get_Value_POP_Detail(d, gAccountItem); }, Handle_POP_Detail_Filter,
      [](DialogRef d, DialogItemIndex i) {
        if (i == 4 || i == 6) Toggle_Item(d, short(i));
      });
  gAccountItem = outer;
  POP_Detail_show_dialog = 1;
  Main_Window_Update();
  return r;
}

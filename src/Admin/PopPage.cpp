// The POP page and the account detail dialog: values go straight into the
// settings tables (the page when it is left, the dialog on OK).
#include "Admin/PopPage.h"

#include <cstring>

#include "Admin/AdminApp.h"
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

short gDetailItem = 0;

}  // namespace

void Setup_POP_Setup(DialogRef d) { (void)d; }

void Setup_POP_Message(DialogRef d) {
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
    // The account dialog is not part of this program yet; the account's
    // state is shown again as the table holds it.
    on_off(d, short(item - 16));
    return true;
  }
  return false;
}

void Load_Value_POP_Detail(DialogRef d, short item) {
  const UInt16 u = user_base(item);
  if (!u) return;
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
  gDetailItem = item;
  return Run_Setup_Sub_Dialog(
      kPopDetailDialogID, "DETAIL=", [](DialogRef d) { Load_Value_POP_Detail(d, gDetailItem); },
      [](DialogRef d) { return Get_Value_POP_Detail(d, gDetailItem); }, nullptr,
      [](DialogRef d, DialogItemIndex i) {
        if (i == 4 || i == 6) Toggle_Item(d, short(i));
      });
}

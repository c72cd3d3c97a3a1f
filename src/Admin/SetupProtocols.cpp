// The SNMP, AppleTalk and NetBIOS pages.
#include <cstring>

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "Admin/SetupWindow.h"
#include "common/Context.h"
#include "common/IniFile.h"
#include "toolbox/controls.h"

// ---- SNMP ---------------------------------------------------------------------

namespace {

void Setup_Snmp_Message(DialogRef d) {
  SettingsFont font(d);
  static const struct {
    short item;
    const char* key;
  } labels[] = {{6, "AUTHENTIC_COMMUNITY="}, {8, "TRAP_COMMUNITY="}, {10, "TRAP_ADDRESS="}, {12, "SYSCONTACT="},
                {14, "SYSNAME="},           {16, "SYSLOCATION="},    {18, "DEFAULT_TTL="}};
  for (const auto& l : labels) Set_String_To_Item(d, l.item, l.key, "[LABEL]", IniFileName);
  Set_String_To_Item(d, 21, "ENABLE_TRAP=", "[BUTTON]", IniFileName);
}

}  // namespace

void Setup_Snmp_Setup(DialogRef d) {
  DrawGroup(d, &gSetFont, 22, 23, "[LABEL]", "MIB_II=", IniFileName);
}

void Setup_Snmp_Update_Value(DialogRef d) {
  Setup_Snmp_Setup(d);
  Setup_Snmp_Message(d);
}

Boolean Setup_Snmp_Item_Select(DialogRef d, EventRecord*, DialogItemIndex item) {
  if (item != 20) return 0;
  Toggle_Item(d, 20);
  return 1;
}

void Setup_Snmp_Load_Value(DialogRef d) {
  Set_Editbox_From_String(d, 7, 274);
  SetPassFlag = 101;
  SelectDialogItemText(d, 7, 32767, 32767);
  Set_Editbox_From_String(d, 9, 275);
  Set_Editbox_From_Int(d, 11, 276);
  Set_Editbox_From_String(d, 13, 289);
  Set_Editbox_From_String(d, 15, 290);
  Set_Editbox_From_String(d, 17, 291);
  if (Set_Editbox_From_Int(d, 19, 293) < 0) {
    HideDialogItem(d, 18);
    HideDialogItem(d, 19);
  }
  if (CONTEXT_ENTRY* e = get_context_by_varid(294))
    Set_Item_Value(d, 20, context_read(e) == 1 ? 1 : 0);
  else
    Hilite_Item(d, 20, 0);
  Setup_Snmp_Message(d);
}

Boolean Setup_Snmp_Get_Value(DialogRef d) {
  if (!Check_password(CommunityPassBuff)) return Setup_Error_Message(d, 6), 0;
  static const struct {
    short item;
    UInt16 var;
    bool number;
    short label;
  } fields[] = {{7, 274, false, 6},   {9, 275, false, 8},   {11, 276, true, 10},
                {13, 289, false, 12}, {15, 290, false, 14}, {17, 291, false, 16}};
  for (const auto& f : fields) {
    const short r = f.number ? Set_Editbox_To_Int(d, f.item, f.var) : Set_Editbox_To_String(d, f.item, f.var);
    if (r != 0) return Setup_Error_Message(d, f.label), 0;
  }
  if (Check_Context_Data(293) && Set_Editbox_To_Int(d, 19, 293) != 0) return Setup_Error_Message(d, 18), 0;
  if (CONTEXT_ENTRY* e = get_context_by_varid(294)) context_write(e, UInt8(Get_Item_Value(d, 20) ? 1 : 2));
  return 1;
}

// ---- AppleTalk ----------------------------------------------------------------

namespace {

UInt16 talk_name(short port) { return UInt16(4369 + 256 * (port - 1)); }
UInt16 talk_type(short port) { return UInt16(4388 + 256 * (port - 1)); }

void talk_load(DialogRef d, short port) {
  Set_Editbox_From_String(d, 9, talk_name(port));
  if (Check_Context_Data(talk_type(port))) {
    ShowDialogItem(d, 14);
    ShowDialogItem(d, 15);
    Set_Popup_From_Enum(d, 15, talk_type(port));
  } else {
    HideDialogItem(d, 14);
    HideDialogItem(d, 15);
  }
}

// The printer type is stored only once the name was taken.
short talk_store(DialogRef d, short port) {
  if (const short r = Set_Editbox_To_String(d, 9, talk_name(port))) return r;
  Set_Popup_To_Enum(d, 15, talk_type(port));
  return 0;
}

constexpr PORT_ITEMS kTalkPorts{11, 8, talk_load, talk_store};

void Setup_Etalk_Message(DialogRef d) {
  SettingsFont font(d);
  Set_String_To_Item(d, 7, "TALK_USE=", "[BUTTON]", IniFileName);
  for (auto [item, key] : {std::pair<short, const char*>{8, "TALK_PORT="}, {12, "TALK_ZONE="}, {14, "TALK_PS="},
                           {10, "PORTNAME="}})
    Set_String_To_Item(d, item, key, "[LABEL]", IniFileName);
}

}  // namespace

void Setup_EtherTalk_Load_Value(DialogRef d) {
  HideDialogItem(d, 6);
  HideDialogItem(d, 7);
  if (Check_Context_Data(770)) {
    Set_Editbox_From_String(d, 13, 770);
  } else {
    HideDialogItem(d, 12);
    HideDialogItem(d, 13);
  }
  int flags[kSetupPortMax] = {0};
  for (short k = 0; k < iPortMax && k < kSetupPortMax; ++k) flags[k] = Check_Context_Data(talk_name(k + 1));
  Set_Popup_PortListEx(d, 11, sPortList, iPortMax, iPortWidth, flags);
  if (iPortMax < 2) {
    HideDialogItem(d, 10);
    HideDialogItem(d, 11);
  }
  Setup_Etalk_Set_PortInfo(d);
  Setup_Etalk_Message(d);
}

Boolean Setup_EtherTalk_Get_Value(DialogRef d) {
  if (Set_Editbox_To_String(d, 13, 770) != 0) return Setup_Error_Message(d, 12), 0;
  return Setup_Etalk_Get_PortInfo(d) == 1 ? 1 : 0;
}

Boolean Setup_EtherTalk_Item_Select(DialogRef d, EventRecord*, DialogItemIndex item) {
  if (item != 11) return 0;
  Setup_Etalk_Change_PortInfo(d);
  return 1;
}

void Setup_Etalk_Set_PortInfo(DialogRef d) { Set_Port_Items(d, kTalkPorts); }
short Setup_Etalk_Get_PortInfo(DialogRef d) { return Get_Port_Items(d, kTalkPorts); }
short Setup_Etalk_Change_PortInfo(DialogRef d) { return Change_Port_Items(d, kTalkPorts); }

void Setup_ETalk_Update_Value(DialogRef) {}

// ---- NetBIOS ------------------------------------------------------------------

namespace {

struct BeuiField {
  short item;
  UInt16 var;
  char* backup;
  short label;
  const char* key;  // the label's text
};
BeuiField beui_fields[] = {{9, 1027, gBeuiBackup.mnStr, 8, "NB_MACHINE_NAME="},
                           {11, 1026, gBeuiBackup.wgStr, 10, "WORKGROUP="},
                           {13, 1028, gBeuiBackup.cmStr, 12, "COMMENT="}};

void Setup_NetBEUI_Message(DialogRef d) {
  SettingsFont font(d);
  Set_String_To_Item(d, 7, "NB_USE=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 8, "NB_MACHINE_NAME=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 10, "WORKGROUP=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 12, "COMMENT=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 15, "NBT_USE=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 17, "BMS_USR=", "[BUTTON]", IniFileName);
}

void Setup_NetBEUI_Hilite_Item(DialogRef d, bool on) {
  if (Check_Context_Data(1029))
    Hilite_Item(d, 16, on);
  else
    for (short item : {14, 15, 16, 17}) HideDialogItem(d, item);
}

void show_nbt(DialogRef d) {
  for (short item : {14, 15, 16, 17}) {
    if (Check_Context_Data(1029))
      ShowDialogItem(d, item);
    else
      HideDialogItem(d, item);
  }
}

}  // namespace

void Setup_NetBEUI_Load_Value(DialogRef d) {
  if (!(TypeBit & 0x5))
    Set_Item_Value(d, 6, 1);
  else
    Set_Checkbox_From_EnumEnable(d, 6, 1025);
  for (BeuiField& f : beui_fields) {
    if (f.backup[0]) {
      Set_Item_Text(d, f.item, f.backup);
    } else {
      Set_Editbox_From_String(d, f.item, f.var);
      Get_Item_Text(d, f.item, f.backup, 256);
    }
  }
  show_nbt(d);
  if (Check_Context_Data(1029)) {
    Set_Checkbox_From_EnumEnable(d, 14, 1029);
    Set_Checkbox_From_EnumEnable(d, 16, 1030);
  }
  Setup_NetBEUI_Message(d);
  Setup_NetBEUI_Hilite_Item(d, Get_Context_Enable(1029) || Get_Context_Enable(1025));
  Setup_NetBEUI_Update_Value(d);
}

void Setup_NetBEUI_Update_Value(DialogRef d) {
  const bool off = Get_Item_Value(d, 6) == 0 && Get_Item_Value(d, 14) == 0;
  {
    SettingsFont font(d);
    Set_String_To_Item(d, 7, "NB_USE=", "[BUTTON]", IniFileName);
    Set_String_To_Item(d, 15, "NBT_USE=", "[BUTTON]", IniFileName);
    Set_String_To_Item(d, 17, "BMS_USR=", "[BUTTON]", IniFileName);
    for (BeuiField& f : beui_fields) Draw_Color_Label(d, f.label, "[LABEL]", f.key, off);
  }
  for (BeuiField& f : beui_fields) {
    if (off) {
      HideDialogItem(d, f.item);
      Draw_ReadOnly_Value(d, f.item, f.backup);
    } else {
      ShowDialogItem(d, f.item);
    }
  }
}

Boolean Setup_NetBEUI_Item_Select(DialogRef d, EventRecord*, DialogItemIndex item) {
  switch (item) {
    case 16: Toggle_Item(d, 16); return 0;
    case 6:
    case 14:
      Toggle_Item(d, item);
      show_nbt(d);
      for (BeuiField& f : beui_fields) Get_Item_Text(d, f.item, f.backup, 256);
      Setup_NetBEUI_Hilite_Item(d, Get_Item_Value(d, 6) || Get_Item_Value(d, 14));
      Setup_NetBEUI_Update_Value(d);
      return 1;
    default: return 0;
  }
}

Boolean Setup_NetBEUI_Get_Value(DialogRef d) {
  if (TypeBit & 0x5) Set_Checkbox_To_EnumEnable(d, 6, 1025);
  const bool on = Get_Item_Value(d, 6) || Get_Item_Value(d, 14);
  // With both off a failed field is passed over: its value is not in use.
  for (BeuiField& f : beui_fields)
    if (Set_Editbox_To_String(d, f.item, f.var) != 0 && on) return Setup_Error_Message(d, f.label), 0;
  if (Check_Context_Data(1029)) {
    Set_Checkbox_To_EnumEnable(d, 14, 1029);
    if (Get_Item_Value(d, 14)) Set_Checkbox_To_EnumEnable(d, 16, 1030);
  }
  if (on)
    for (BeuiField& f : beui_fields) Get_Item_Text(d, f.item, f.backup, 256);
  return 1;
}

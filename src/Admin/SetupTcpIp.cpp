// The TCP/IP page: TCP/IP in use, the fixed address, mask and gateway,
// DHCP, and the DNS, IP filter and WINS sub-dialogs.
#include <cstring>

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "Admin/SetupWindow.h"
#include "common/IniFile.h"
#include "toolbox/controls.h"

IP_ADDR_INFO gIpBackup{};
NET_BEUI_INFO gBeuiBackup{};

void Clear_Setup_Page_Backups() {
  gIpBackup = IP_ADDR_INFO{};
  gBeuiBackup = NET_BEUI_INFO{};
}

namespace {

struct AddrField {
  short item;
  UInt16 var;
  char* backup;
  short label;
  const char* key;  // the label's text
};
AddrField addr_fields[] = {{9, 258, gIpBackup.ipAddr, 8, "IPADDRESS="},
                           {13, 259, gIpBackup.smAddr, 12, "SUBNETMASK="},
                           {15, 260, gIpBackup.gwAddr, 14, "GATEWAY="}};

bool tcp_off(DialogRef d) { return Check_Context_Data(257) && Get_Item_Value(d, 6) == 0; }

void backup_from_items(DialogRef d) {
  for (AddrField& f : addr_fields) Get_Item_Text(d, f.item, f.backup, 256);
}
void items_from_backup(DialogRef d) {
  for (AddrField& f : addr_fields) Set_Item_Text(d, f.item, f.backup);
}

void Setup_TcpIp_Message(DialogRef d) {
  SettingsFont font(d);
  const char* f = IniFileName;
  Set_String_To_Item(d, 7, "TCP_USE=", "[BUTTON]", f);
  Set_String_To_Item(d, 8, "IPADDRESS=", "[LABEL]", f);
  Set_String_To_Item(d, 12, "SUBNETMASK=", "[LABEL]", f);
  Set_String_To_Item(d, 14, "GATEWAY=", "[LABEL]", f);
  Set_String_To_Item(d, 16, "DHCP=", "[BUTTON]", f);
  Set_String_To_Item(d, 17, "RARP=", "[BUTTON]", f);
  Set_String_To_Item(d, 19, "BANNER=", "[BUTTON]", f);
  Set_String_To_Item(d, 20, "DNS=", "[BUTTON]", f);
  Set_String_To_Item(d, 22, "ACCESS=", "[BUTTON]", f);
  Set_String_To_Item(d, 23, "WINS=", "[BUTTON]", f);
}

void Setup_TcpIp_Hilite_Item(DialogRef d) {
  const Boolean on = !tcp_off(d);
  for (short item : {20, 22, 23}) Hilite_Item(d, item, on);
}

// The banner box of each printer port.
UInt16 banner_var(short port) { return UInt16(4361 + 256 * (port - 1)); }
void banner_load(DialogRef d, short port) {
  if (Set_Checkbox_From_EnumYes(d, 18, banner_var(port)) == 2)
    for (short item : {21, 18, 19}) HideDialogItem(d, item);
}
short banner_store(DialogRef d, short port) {
  Set_Checkbox_To_EnumYes(d, 18, banner_var(port));
  return 0;
}
constexpr PORT_ITEMS kBannerPorts{21, 0, banner_load, banner_store};

// ---- Sub-dialogs -----------------------------------------------------------

void Load_Value_TcpIp_DNS_Detail(DialogRef d) {
  const char* f = IniFileName;
  Set_String_To_Item(d, 4, "DNS_DOMAIN=", "[LABEL]", f);
  Set_String_To_Item(d, 6, "DNSADDR_P=", "[LABEL]", f);
  Set_String_To_Item(d, 8, "DNSADDR_S=", "[LABEL]", f);
  if (Check_Context_Data(59907)) {
    Set_Editbox_From_String(d, 5, 59907);
  } else {
    HideDialogItem(d, 4);
    HideDialogItem(d, 5);
  }
  Set_Editbox_From_Int(d, 7, 265);
  Set_Editbox_From_Int(d, 9, 266);
}

short Get_Value_TcpIp_DNS_Detail(DialogRef d) {
  if (Check_Context_Data(59907) && Set_Editbox_To_String(d, 5, 59907) != 0) return Setup_Error_Message(d, 4), 0;
  if (Set_Editbox_To_Int(d, 7, 265) != 0) return Setup_Error_Message(d, 6), 0;
  if (Set_Editbox_To_Int(d, 9, 266) != 0) return Setup_Error_Message(d, 8), 0;
  return 1;
}

void Load_Value_TcpIp_IPFilter_Detail(DialogRef d) {
  Set_String_To_Item(d, 4, "IPFILTER_SET=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 6, "IPFILTER_AREA=", "[LABEL]", IniFileName);
  Set_Popup_From_Enum(d, 5, 320);
  for (short i = 0; i < 8; ++i) Set_Editbox_From_Int(d, short(8 + 2 * i), UInt16(321 + i));
}

void Load_Value_TcpIp_WINS_Detail(DialogRef d) {
  Set_String_To_Item(d, 4, "WINSADDR_P=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 6, "WINSADDR_S=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 8, "WINSSCOPE=", "[LABEL]", IniFileName);
  Set_Editbox_From_Int(d, 5, 269);
  Set_Editbox_From_Int(d, 7, 270);
  Set_Editbox_From_String(d, 9, 271);
}

short Get_Value_TcpIp_WINS_Detail(DialogRef d) {
  if (Set_Editbox_To_Int(d, 5, 269) != 0) return Setup_Error_Message(d, 4), 0;
  if (Set_Editbox_To_Int(d, 7, 270) != 0) return Setup_Error_Message(d, 6), 0;
  if (Set_Editbox_To_String(d, 9, 271) != 0) return Setup_Error_Message(d, 8), 0;
  return 1;
}

// The sub-dialog open (152 DNS, 154 IP filter, 164 WINS) and its redraw.
short Tcpip_Detail_Type = 0;
Boolean Flag_Redraw_dialog = 0;

ModalFilterUPP g_tcpipSubFilterProc = nullptr;

Boolean Handle_TcpIp_Sub_Filter(DialogRef d, EventRecord* e, DialogItemIndex* item) {
  return Sub_Dialog_Frame_Event(d, e, item, &Flag_Redraw_dialog, nullptr);
}

void Open_TcpIp_Sub_Dialog(short item) {
  Flag_Redraw_dialog = 1;
  g_tcpipSubFilterProc = NewModalFilterUPP(Handle_TcpIp_Sub_Filter);
  switch (item) {
    case 20:
      Tcpip_Detail_Type = 152;
      Run_Setup_Sub_Dialog(152, "DNS=", Load_Value_TcpIp_DNS_Detail, Get_Value_TcpIp_DNS_Detail, g_tcpipSubFilterProc);
      break;
    case 22:
      Tcpip_Detail_Type = 154;
      Run_Setup_Sub_Dialog(154, "ACCESS=", Load_Value_TcpIp_IPFilter_Detail, Get_Value_TcpIp_IPFilter_Detail,
                           g_tcpipSubFilterProc);
      break;
    case 23:
      Tcpip_Detail_Type = 164;
      Run_Setup_Sub_Dialog(164, "WINS=", Load_Value_TcpIp_WINS_Detail, Get_Value_TcpIp_WINS_Detail,
                           g_tcpipSubFilterProc);
      break;
    default: break;
  }
  DisposeModalFilterUPP(g_tcpipSubFilterProc);
  g_tcpipSubFilterProc = nullptr;
  Tcpip_Detail_Type = 0;
}

}  // namespace

short Get_Value_TcpIp_IPFilter_Detail(DialogRef d) {
  Set_Popup_To_Enum(d, 5, 320);
  // Both fields of a range are stored before either result is looked at.
  for (short i = 0; i < 4; ++i) {
    const short a = Set_Editbox_To_Int(d, short(8 + 4 * i), UInt16(321 + 2 * i));
    const short b = Set_Editbox_To_Int(d, short(10 + 4 * i), UInt16(322 + 2 * i));
    if (a != 0 || b != 0) return Setup_Error_Message(d, 6), 0;
  }
  return 1;
}

void Setup_TcpIp_Load_Value(DialogRef d) {
  bool inUse = true;
  if (Check_Context_Data(257)) {
    inUse = Set_Checkbox_From_EnumEnable(d, 6, 257) != 0;
  } else {
    HideDialogItem(d, 6);
    HideDialogItem(d, 7);
  }
  if (!setupTbl.ipx_flag && !setupTbl.talk_flag && !setupTbl.netb_flag) {
    HideDialogItem(d, 6);
    HideDialogItem(d, 7);
    inUse = true;
  }
  if (Check_Context_Data(262)) {
    Set_Checkbox_From_EnumEnable(d, 11, 262);
    Hilite_Item(d, 11, inUse);
  } else {
    HideDialogItem(d, 11);
    HideDialogItem(d, 16);
  }
  Set_Checkbox_From_EnumEnable(d, 10, 261);
  HideDialogItem(d, 10);
  HideDialogItem(d, 17);
  for (AddrField& f : addr_fields) {
    if (f.backup[0]) {
      Set_Item_Text(d, f.item, f.backup);
    } else {
      Set_Editbox_From_Int(d, f.item, f.var);
      Get_Item_Text(d, f.item, f.backup, 256);
    }
  }
  for (short item : {21, 18, 19, 22}) HideDialogItem(d, item);
  if ((!Check_Context_Data(269) && !Check_Context_Data(270)) || std::strncmp(Setup_Model(), "QSV-E", 5) == 0)
    HideDialogItem(d, 23);
  if (Check_Context_Data(59907))
    ShowDialogItem(d, 20);
  else
    HideDialogItem(d, 20);
  Setup_TcpIp_Message(d);
  Setup_TcpIp_Hilite_Item(d);
  Setup_TcpIp_Update_Value(d);
}

void Setup_TcpIp_Update_Value(DialogRef d) {
  const bool grey = tcp_off(d) || Get_Item_Value(d, 11) != 0;
  {
    SettingsFont font(d);
    Set_String_To_Item(d, 7, "TCP_USE=", "[BUTTON]", IniFileName);
    Set_String_To_Item(d, 16, "DHCP=", "[BUTTON]", IniFileName);
    for (AddrField& f : addr_fields) Draw_Color_Label(d, f.label, "[LABEL]", f.key, grey);
  }
  for (AddrField& f : addr_fields) {
    if (!grey) {
      ShowDialogItem(d, f.item);
    } else {
      HideDialogItem(d, f.item);
      Draw_ReadOnly_Value(d, f.item, f.backup);
    }
  }
}

Boolean Setup_TcpIp_Item_Select(DialogRef d, EventRecord*, DialogItemIndex item) {
  switch (item) {
    case 6: {
      Toggle_Item(d, 6);
      if (Get_Item_Value(d, 6) == 0 && !Get_Context_Enable(769)) {
        Str255 text, empty = {0};
        Get_Ini_Text(text, "[STATIC]", "CAUTIOTCPIP=", 24);
        // Alert 607: Yes is item 2, No item 1.
        if (Set_Alert_Dialog_Items_YesNo(607, 0, text, empty, empty, empty) == 1) Set_Item_Value(d, 6, 1);
      }
      Set_Popup_PortList(d, 21, sPortList, iPortMax, iPortWidth);
      if (iPortMax <= 1) HideDialogItem(d, 21);
      if (Check_Context_Data(320))
        ShowDialogItem(d, 22);
      else
        HideDialogItem(d, 22);
      if (Get_Item_Value(d, 6)) {
        Hilite_Item(d, 11, 1);
        if (Get_Item_Value(d, 11) == 0)
          items_from_backup(d);
        else
          backup_from_items(d);
      } else {
        Hilite_Item(d, 11, 0);
        backup_from_items(d);
      }
      Setup_TcpIp_Hilite_Item(d);
      Setup_TcpIp_Update_Value(d);
      return 1;
    }
    case 10:
    case 11:
      Toggle_Item(d, item);
      if (Get_Item_Value(d, item) == 0)
        items_from_backup(d);
      else
        backup_from_items(d);
      Setup_TcpIp_Hilite_Item(d);
      Setup_TcpIp_Update_Value(d);
      return 1;
    case 20:
    case 22:
    case 23: Open_TcpIp_Sub_Dialog(short(item)); return 0;
    case 21: Setup_TcpIp_Change_PortInfo(d); return 1;
    case 18: Toggle_Item(d, 18); return 1;
    default: return 0;
  }
}

Boolean Setup_TcpIp_Get_Value(DialogRef d) {
  // Box 6 is stored whenever the page shows it (also on a NetBIOS-only box).
  if ((TypeBit & 0x6) || setupTbl.netb_flag) Set_Checkbox_To_EnumEnable(d, 6, 257);
  // While the values are shown read-only the items may be hidden; their
  // texts are still the last typed ones.
  if (Set_Editbox_To_Int(d, 9, 258) != 0) return Setup_Error_Message(d, 8), 0;
  Set_Checkbox_To_EnumEnable(d, 10, 261);
  Set_Checkbox_To_EnumEnable(d, 11, 262);
  if (Set_Editbox_To_Int(d, 13, 259) != 0) return Setup_Error_Message(d, 12), 0;
  if (Set_Editbox_To_Int(d, 15, 260) != 0) return Setup_Error_Message(d, 14), 0;
  Setup_TcpIp_Get_PortInfo(d);
  if (Get_Item_Value(d, 11) == 0) backup_from_items(d);
  return 1;
}

void Setup_TcpIp_Set_PortInfo(DialogRef d) { Set_Port_Items(d, kBannerPorts); }
short Setup_TcpIp_Get_PortInfo(DialogRef d) {
  Get_Port_Items(d, kBannerPorts);  // a check box cannot be refused
  return 1;
}
short Setup_TcpIp_Change_PortInfo(DialogRef d) { return Change_Port_Items(d, kBannerPorts); }

// The NetWare page: IPX in use, the print server name, the frame type, the
// mode (remote printer or print server), the queue name per port, and the
// remote-printer, print-server and NDS sub-dialogs.
#include <cstring>

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "Admin/SetupWindow.h"
#include "common/Context.h"
#include "common/IniFile.h"
#include "toolbox/controls.h"
#include "toolbox/menus.h"

namespace {

UInt16 queue_var(short port) { return UInt16(4368 + 256 * (port - 1)); }

void Setup_NetWare_Message(DialogRef d) {
  SettingsFont font(d);
  Set_String_To_Item(d, 7, "IPX_USE=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 8, "NW_MACHINE_NAME=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 10, "PACKET_TYPE=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 12, "MODE=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 17, "PORT_NAME=", "[LABEL]", IniFileName);
}

short mode_of(DialogRef d) { return Get_Item_Value(d, 13) == 2 ? 2 : 1; }

short Setup_NetWare_Label_Change(DialogRef d, Boolean) {
  const short mode = mode_of(d);
  if (mode == 1) {
    ShowDialogItem(d, 14);
    HideDialogItem(d, 15);
  } else {
    ShowDialogItem(d, 15);
    HideDialogItem(d, 14);
  }
  if (Check_Context_Data(540) && mode == 2)
    ShowDialogItem(d, 16);
  else
    HideDialogItem(d, 16);
  return mode;
}

void fill_ports(DialogRef d) {
  Set_Popup_PortList(d, 18, sPortList, iPortMax, iPortWidth);
  if (iPortMax < 2) HideDialogItem(d, 18);
}

void queue_load(DialogRef d, short port) { Set_Editbox_From_String(d, 19, queue_var(port)); }
short queue_store(DialogRef d, short port) { return Set_Editbox_To_String(d, 19, queue_var(port)); }
constexpr PORT_ITEMS kQueuePorts{18, 17, queue_load, queue_store};

// ---- Sub-dialogs -----------------------------------------------------------

void load_rows(DialogRef d, UInt16 first) {
  for (short i = 0; i < 8; ++i) Set_Editbox_From_String(d, short(12 + i), UInt16(first + i));
}

short store_rows(DialogRef d, UInt16 first) {
  for (short i = 0; i < 8; ++i)
    if (Set_Editbox_To_String(d, short(12 + i), UInt16(first + i)) != 0) return Setup_Error_Message(d, short(4 + i)), 0;
  return 1;
}

void Setup_NetWare_RPrinter_Message(DialogRef d) {
  Set_String_To_Item(d, 21, "CONNECT_PSERV=", "[LABEL]", IniFileName);
  Fit_Group_Title(d, 21);
  Set_String_To_Item(d, 22, "TIMEOUT=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 24, "SEC=", "[LABEL]", IniFileName);
}

// The two grey frames of a sub-dialog; its group label (item 21) comes
// after the first in the item list, so it is drawn over it.
void frame_items(DialogRef d, short second) {
  for (short item : {short(20), second})
    SetDialogItem(d, item, userItem | itemDisable, reinterpret_cast<Handle>(Draw_Setup_Frame_Item), nullptr);
}

void Load_Value_NetWare_RPrinter(DialogRef d) {
  frame_items(d, 25);
  Setup_NetWare_RPrinter_Message(d);
  Set_Editbox_From_Int(d, 23, 553);
  load_rows(d, 545);
}

short Get_Value_NetWare_RPrinter(DialogRef d) {
  if (Set_Editbox_To_Int(d, 23, 553) != 0) return Setup_Error_Message(d, 22), 0;
  return store_rows(d, 545);
}

void Setup_NetWare_PServer_Message(DialogRef d) {
  Set_String_To_Item(d, 21, "CONNECT_FSERV=", "[LABEL]", IniFileName);
  Fit_Group_Title(d, 21);
  Set_String_To_Item(d, 22, "PASSWORD=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 24, "POLLING=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 26, "SEC=", "[LABEL]", IniFileName);
}

void Load_Value_NetWare_PServer(DialogRef d) {
  frame_items(d, 27);
  Setup_NetWare_PServer_Message(d);
  Set_Editbox_From_String(d, 23, 538);
  Set_Editbox_From_Int(d, 25, 539);
  load_rows(d, 529);
}

short Get_Value_NetWare_PServer(DialogRef d) {
  if (Set_Editbox_To_String(d, 23, 538) != 0) return Setup_Error_Message(d, 22), 0;
  if (!Check_password(ServerPassBuff)) return Setup_Error_Message(d, 22), 0;
  if (Set_Editbox_To_Int(d, 25, 539) != 0) return Setup_Error_Message(d, 24), 0;
  return store_rows(d, 529);
}

// The sub-dialog open (138, 139 or 162) and its redraw.
short NetWare_Detail_Type = 0;
Boolean Flag_show_dialog = 0;

Boolean Handle_NetWare_Detail_Filter(DialogRef d, EventRecord* e, DialogItemIndex* item) {
  if (Sub_Dialog_Frame_Event(d, e, item, &Flag_show_dialog, nullptr)) return true;
  if (NetWare_Detail_Type == 139 && (e->what == keyDown || e->what == autoKey)) {
    SetPassFlag = Masked_Focus_Flag(d, 23, 102);
    if (SetPassFlag == 102) Password_Input_Filter(d, e, 0, MaxSerpass, ServerPassBuff, &ServerPass);
  }
  return false;
}

void pserver_item(DialogRef d, DialogItemIndex item) {
  if (item == 23) SelectDialogItemText(d, 23, 32767, 32767);
  SetPassFlag = Masked_Focus_Flag(d, 23, 102);
}

void Setup_NetWare_NDS_Message(DialogRef d) {
  Set_String_To_Item(d, 4, "BINDERY=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 6, "NDS_TREE=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, 8, "NDS_CONTEXT=", "[LABEL]", IniFileName);
}

void Load_Value_NetWare_NDS(DialogRef d) {
  Setup_NetWare_NDS_Message(d);
  Set_Popup_From_Enum(d, 5, 540);
  Set_Editbox_From_String(d, 7, 541);
  Set_Editbox_From_String(d, 9, 542);
}

short Get_Value_NetWare_NDS(DialogRef d) {
  Set_Popup_To_Enum(d, 5, 540);
  if (Set_Editbox_To_String(d, 7, 541) != 0) return Setup_Error_Message(d, 6), 0;
  if (Set_Editbox_To_String(d, 9, 542) != 0) return Setup_Error_Message(d, 8), 0;
  return 1;
}

ModalFilterUPP g_netwareSubFilterProc = nullptr;

void Open_NetWare_Detail_Dialog(short item) {
  Flag_show_dialog = 1;
  g_netwareSubFilterProc = NewModalFilterUPP(Handle_NetWare_Detail_Filter);
  switch (item) {
    case 14:
      NetWare_Detail_Type = 138;
      Run_Setup_Sub_Dialog(138, "RPRINTER=", Load_Value_NetWare_RPrinter, Get_Value_NetWare_RPrinter,
                           g_netwareSubFilterProc);
      break;
    case 15:
      NetWare_Detail_Type = 139;
      Run_Setup_Sub_Dialog(139, "BINDERY=", Load_Value_NetWare_PServer, Get_Value_NetWare_PServer,
                           g_netwareSubFilterProc, pserver_item);
      SetPassFlag = 99;
      break;
    case 16:
      NetWare_Detail_Type = 162;
      Run_Setup_Sub_Dialog(162, "NDS=", Load_Value_NetWare_NDS, Get_Value_NetWare_NDS, g_netwareSubFilterProc);
      break;
    default: break;
  }
  DisposeModalFilterUPP(g_netwareSubFilterProc);
  g_netwareSubFilterProc = nullptr;
  NetWare_Detail_Type = 0;
}

}  // namespace

void Setup_NetWare_Load_Value(DialogRef d) {
  if (!(TypeBit & 0x5))
    Set_Item_Value(d, 6, 1);
  else
    Set_Checkbox_From_EnumEnable(d, 6, 513);
  Set_Editbox_From_String(d, 9, 514);
  Set_Popup_From_Enum(d, 11, 515);
  // The mode pop-up: its two items from the ini.
  if (ControlRef c = Item_Control(d, 13)) {
    if (MenuRef m = GetControlPopupMenuHandle(c)) {
      DeleteMenuItems(m, 1, CountMenuItems(m));
      Str255 r, p;
      Get_Ini_Text(r, "[BUTTON]", "RPRINTER=", 0, "Remote Printer");
      Get_Ini_Text(p, "[BUTTON]", "PSERVER=", 0, "Print Server");
      static const UInt8 blank[] = {1, ' '};
      AppendMenu(m, blank);
      SetMenuItemText(m, 1, r);
      AppendMenu(m, blank);
      SetMenuItemText(m, 2, p);
      SetControlMinimum(c, 1);
      SetControlMaximum(c, 2);
    }
    char mode[256] = "";
    context_show_varid(516, mode, sizeof mode);
    SetControlValue(c, mode[0] == 'P' ? 2 : 1);
  }
  Set_String_To_Item(d, 16, "NDS_SET=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 14, "RPRINTER_DETAIL=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 15, "BINDERY=", "[BUTTON]", IniFileName);
  fill_ports(d);
  Setup_NetWare_Set_PortName(d);
  Setup_NetWare_Label_Change(d, 0);
  Setup_NetWare_Message(d);
}

Boolean Setup_NetWare_Item_Select(DialogRef d, EventRecord*, DialogItemIndex item) {
  switch (item) {
    case 6: {
      Toggle_Item(d, 6);
      Setup_NetWare_Label_Change(d, 0);
      // The queue name as typed stays, and so does the port it is for: the
      // refilled pop-up goes back to the port shown.
      fill_ports(d);
      if (ControlRef popup = Item_Control(d, 18); popup && GetControlReference(popup) >= 1)
        Select_Popup_Port(d, 18, short(GetControlReference(popup)));
      return 1;
    }
    case 13: Setup_NetWare_Label_Change(d, 0); return 1;
    case 14:
    case 15:
    case 16: Open_NetWare_Detail_Dialog(short(item)); return 1;
    case 18: Setup_NetWare_Change_PortName(d); return 1;
    default: return 0;
  }
}

Boolean Setup_NetWare_Get_Value(DialogRef d) {
  if (TypeBit & 0x5) Set_Checkbox_To_EnumEnable(d, 6, 513);
  if (Set_Editbox_To_String(d, 9, 514) != 0) return Setup_Error_Message(d, 8), 0;
  Set_Popup_To_Enum(d, 11, 515);
  char msg[kCtxMessageSize];
  context_set_varid(516, mode_of(d) == 1 ? "RPRINTER" : "PSERVER", msg, sizeof msg);
  return Get_Port_Items(d, kQueuePorts);
}

void Setup_NetWare_Update_Value(DialogRef) {}

void Setup_NetWare_Set_PortName(DialogRef d) { Set_Port_Items(d, kQueuePorts); }
short Setup_NetWare_Change_PortName(DialogRef d) { return Change_Port_Items(d, kQueuePorts); }

// Giving a print box found over TCP/IP without an address its IPv4
// address: the dialog, the checks of the typed address, the "SET IP_ADDR:"
// request by Ethernet address, and storing the address in the box's own
// settings.
#include "Admin/IpSetup.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/DeviceCommand.h"
#include "Admin/MainWindow.h"
#include "Admin/SetupBind.h"
#include "common/Context.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "toolbox/windows.h"

namespace {

constexpr SInt16 kIpDialog = 149;
constexpr short kAddressItem = 5;
constexpr UInt16 kVarIpAddress = 258;

void pstr_to_c(ConstStr255Param p, char* out) {
  std::memcpy(out, p + 1, p[0]);
  out[p[0]] = 0;
}

void message(const char* key, short fallbackItem) {
  Str255 text;
  Get_Ini_Text(text, "[STATIC]", key, fallbackItem);
  Str255 empty = {0};
  Set_Alert_Dialog_Items(kAlertMessage, 2, text, empty, empty, empty);
}

}  // namespace

short Connection_Error_Alert() {
  Str255 text;
  Get_Ini_Text(text, "[STATIC]", "COMMU=", 15);
  Str255 empty = {0};
  return Set_Alert_Dialog_Items(kAlertCommError, 2, text, empty, empty, empty);
}

short Check_IPAddress(PBOXinfo* box) {
  if (!box) return 0;
  if (box->pbi_ip_addr != 0 || box->protocol_Type_Num != PBOX_PROTO_TCPIP) return 1;
  Str255 text;
  Get_Ini_Text(text, "[STATIC]", "IPINPUT=", 4);
  Str255 empty = {0};
  short item = Set_Alert_Dialog_Items_YesNo(kAlertQuestion, 0, text, empty, empty, empty);
  if (item != 1) return item;  // the command itself does not run
  Set_Ip_Address(box);
  return 2;
}

short Check_Same_Addr_In_PBOX(UInt32 addr, const PBOXinfo* box) {
  if (addr == 0) return 1;
  PBOXinfo* other = FindPBOXbyIPAddr(Get_Pbox_Table(), PboxTblMax, addr);
  if (!other || other == box ||
      (box && std::memcmp(other->pbi_nodeaddr, box->pbi_nodeaddr, sizeof box->pbi_nodeaddr) == 0))
    return 1;
  message("IPALREADY=", 20);
  return 0;
}

short Check_Setup_Ip_Addr(DialogRef d, const PBOXinfo* box, UInt32* addr) {
  char text[256];
  Get_Item_Text(d, kAddressItem, text, sizeof text);
  *addr = StrToIPAddr(text);
  if (*addr == 0) {
    Str255 label;
    Get_Ini_Text(label, "[LABEL]", "IPADDRESS=", 4);
    char l[256];
    pstr_to_c(label, l);
    Setup_Label_Error_Message(l);
    return 0;
  }
  return Check_Same_Addr_In_PBOX(*addr, box);
}

Boolean Setup_IpAddr_Filter(DialogRef d, EventRecord* event, DialogItemIndex* item) {
  if (event->what != keyDown && event->what != autoKey) return false;
  const UInt8 code = static_cast<UInt8>((event->message & keyCodeMask) >> 8);
  const char ch = static_cast<char>(event->message & charCodeMask);
  switch (code) {
    case 0x35:
      Invert_Button_Item(d, 2);
      *item = 2;
      return true;
    case 0x33: case 0x7B: case 0x7C: return false;
    case 0x24: case 0x4C:
      Invert_Button_Item(d, 1);
      *item = 1;
      return true;
    default: break;
  }
  if ((ch >= '0' && ch <= '9') || ch == '.') return false;
  SysBeep(1);
  *item = 0;
  event->what = nullEvent;
  return false;
}

short Set_Ip_Address(PBOXinfo* box) {
  if (!box) return 0;
  if (box->pbi_ip_addr != 0) {
    message("IPOLD=", 13);
    return 0;
  }
  DialogRef d = GetNewDialog(kIpDialog, nullptr, reinterpret_cast<WindowRef>(-1));
  if (!d) return 0;
  Set_String_To_Item(d, 1, "OK=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 2, "CANCEL=", "[BUTTON]", IniFileName);
  Str255 p0, p1, p2, p3;
  Get_Ini_Text(p0, "[TITLE]", "IPSETUP=", 4);
  // The window is titled in the language of its texts, as the program's
  // other dialogs, not by its item list's English.
  SetWTitle(GetDialogWindow(d), p0);
  Get_Ini_Text(p1, "[LABEL]", "IPADDRESS=", 4);
  Get_Ini_Text(p2, "[LABEL]", "ENADDRESS=", 4);
  char mac[20];
  mactoa(box->pbi_nodeaddr, mac);
  p3[0] = static_cast<UInt8>(std::strlen(mac));
  std::memcpy(p3 + 1, mac, p3[0]);
  ParamText(p0, p1, p2, p3);
  SetDialogDefaultItem(d, 1);
  ShowWindow(GetDialogWindow(d));
  SelectDialogItemText(d, kAddressItem, 0, 32767);
  UInt32 addr = 0;
  DialogItemIndex item = 0;
  for (;;) {
    ModalDialog(Setup_IpAddr_Filter, &item);
    if (item == 1 && Check_Setup_Ip_Addr(d, box, &addr) == 1) break;
    if (item == 2) break;
  }
  char typed[256];
  Get_Item_Text(d, kAddressItem, typed, sizeof typed);
  DisposeDialog(d);
  if (item == 2) return 0;

  Set_Watch_Cursor();
  const short sent = SetIPAddrToPBOX(box, addr);
  Set_Arrow_Cursor();
  if (sent != 0) {
    Connection_Error_Alert();
    return 1;
  }
  box->pbi_ip_addr = addr;
  if (!Allocate_Setup_Memory()) {
    Dispose_Setup_Memory();
    return 1;
  }
  Set_Watch_Cursor();
  short r = GetPBOXInfo(box);
  if (r == 0) {
    char msg[kCtxMessageSize];
    // The box keeps its address from now on: no address server may replace it.
    for (UInt16 var : {UInt16(261), UInt16(262)})
      if (CONTEXT_ENTRY* e = get_context_by_varid(var)) context_set(e, "DISABLE", msg, sizeof msg);
    context_set_varid(kVarIpAddress, typed, msg, sizeof msg);
    r = PutPBOXInfo(box);
  }
  Set_Arrow_Cursor();
  if (r == 0) {
    Str255 text;
    Get_Ini_Text(text, "[STATIC]", "IPSET=", 4);
    admin::Check_Reset(box, text);
  } else {
    Connection_Error_Alert();
  }
  Dispose_Setup_Memory();
  return 1;
}

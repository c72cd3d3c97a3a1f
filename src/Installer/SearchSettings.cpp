// The search settings dialog of page 151: the broadcast list the search
// sends its probes to, on one TCP/IP tab. It is movable modal: while it is
// open the wizard takes no clicks. OK and Apply hand the settings to the
// wizard; Cancel puts back the state of the last Apply (or of the opening).
#include <cstdio>
#include <cstring>

#include "506Q_Lib/DialogItems.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "FanctionLib/CList.h"
#include "FanctionLib/ConfigDialog.h"
#include "FanctionLib/CTab.h"
#include "Installer/InstApp.h"
#include "Installer/InstWindows.h"
#include "Installer/WizardPages.h"
#include "Monitor/MonitorConfig.h"
#include "toolbox/quickdraw.h"
#include "toolbox/resources.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

namespace {

constexpr SInt16 kSettingsDialogID = 300, kTcpPageID = 301;
constexpr SInt16 kFrameHeight = 243, kTitleHeight = 16, kRowHeight = 15;
constexpr int kBroadcastRows = kBroadcastMax - 1;
enum : DialogItemIndex { kOK = 1, kCancel = 2, kApply = 3, kTabs = 4 };
enum : DialogItemIndex { kAddress = 6, kBroadList = 7, kAdd = 8, kDelete = 9, kGroup = 10 };

// The dialog, its tab control and its pages (the frame), then its own.
struct CONFIG_WND_INFO : CONFIG_FRAME {
  DialogRef ownerDlg;
  std::string fileSpec;  // the message file
  CONFIGURATION dConfigData;  // the whole record, so soundOpt survives
  CONFIGURATION dBackConf;
  CLIST_DATA* broadList;
  SETUPINFO* broadData;  // the list edited: EnvInfo
  CLIST_DATA* zoneList;  // the AppleTalk page's, never made here
  Boolean checkFlag;
  Boolean using_;
};

CONFIG_WND_INFO confData;
SETUPINFO backEnv{};
Boolean gStatus = 0;  // the list changed since the page last gave its values

std::string text(const char* section, const char* key) { return Message_Text(section, key); }

void alert(const char* key) {
  Set_Alert_Dialog_Items(kAlertNote, 2, confData.fileSpec.c_str(), text("[ERROR]", key).c_str());
}

SInt16 selectedRow() { return Page_List_Selected(confData.broadList); }

void appendRow(CLIST_DATA* list, const std::string& t) {
  Set_Page_List_Text(list, CLGetCount(list), 0, tb::CharPrefix(t, kBroadcastEntry - 1));
}

bool sameRecord(const CONFIGURATION& a, const CONFIGURATION& b) {
  UInt8 pa[kConfigurationSize], pb[kConfigurationSize];
  PackConfiguration(a, pa);
  PackConfiguration(b, pb);
  return std::memcmp(pa, pb, sizeof pa) == 0;
}

bool sameList(const SETUPINFO& a, const SETUPINFO& b) {
  if (a.tcp_count != b.tcp_count) return false;
  for (int i = 0; i < std::clamp<int>(a.tcp_count, 0, kBroadcastMax); ++i)
    if (std::strncmp(a.broadcast[i], b.broadcast[i], kBroadcastEntry) != 0) return false;
  return true;
}

void Set_Config_Result(DialogRef, const CONFIGURATION& config) { instTbl.monConfig = config; }

// ---- page 301 ----

int Build_Broadcast_List(CLIST_DATA* list, int count, const SETUPINFO& info) {
  for (int n = 1; n < std::min(count, kBroadcastMax); ++n) {
    char entry[kBroadcastEntry + 1] = {};
    std::memcpy(entry, info.broadcast[n], kBroadcastEntry);
    appendRow(list, entry);
  }
  return 1;
}

void Setup_TCP_Load_Value(DialogRef d) {
  Set_Item_Enabled(d, kDelete, false);
  if (!confData.broadList) {
    confData.broadList = Create_Page_List(d, kBroadList, kRowHeight, 1, 0);
    if (confData.broadList) Build_Broadcast_List(confData.broadList, EnvInfo.tcp_count, EnvInfo);
  } else {
    CLShow(confData.broadList, true);
  }
  Set_Dialog_Item_Message(d, 5, "[LABEL]", "TCPIP_00=");
  Set_Dialog_Item_Message(d, kAdd, "[BUTTON]", "ADD=");
  Set_Dialog_Item_Message(d, kDelete, "[BUTTON]", "DEL=");
  Set_Dialog_Item_Message(d, 11, "[LABEL]", "TCPIP_01=");
}

void Handle_Add_List(DialogRef d) {
  CLIST_DATA* list = confData.broadList;
  if (!list) return;
  const std::string address = Normal_Broadcast_Address(Page_Item_Text(d, kAddress));
  if (address.empty()) return alert("MESSAGE_21=");
  for (SInt16 r = 0; r < CLGetCount(list); ++r)
    if (Page_List_Text(list, r, 0) == address) return alert("MESSAGE_23=");
  if (CLGetCount(list) >= kBroadcastRows) return alert("MESSAGE_22=");
  CLClearSelect(list, nullptr);
  appendRow(list, address);
  CLSort(list, 0, 0);
  Cell found{0, 0};
  Str255 p;
  pstr::set(p, sizeof p, address);
  if (CLSearch(list, &found, p, true)) CLSetSelect(list, found, true, false);
  CLSelectScroll(list);
  Set_Page_Item_Text(d, kAddress, "");
  CLUpdate(list, nullptr, 0);
  gStatus = 1;
}

void deleteRow() {
  CLIST_DATA* list = confData.broadList;
  const SInt16 row = selectedRow();
  if (!list || row < 0) return;
  Delete_Page_List_Row(list, row);
  CLUpdate(list, nullptr, 0);
  gStatus = 1;
}

Boolean Handle_TCP_Select_Item(DialogRef d, EventRecord* event, DialogItemIndex item) {
  switch (item) {
    case kAdd: Handle_Add_List(d); break;
    case kDelete: deleteRow(); break;
    case kBroadList:
      if (confData.broadList && event && event->what == mouseDown) {
        Cell cell{0, 0};
        SInt16 sortPart = -1;
        CLMouseDown(confData.broadList, event, &cell, &sortPart, false);
      }
      break;
    default: return false;
  }
  Set_Item_Enabled(d, kDelete, selectedRow() >= 0);
  return true;
}

// The list into the broadcast list, when it changed: entry 0 stays the
// configured broadcast address.
Boolean Setup_TCP_Get_Value(DialogRef) {
  if (!gStatus) return 1;
  SETUPINFO info{};
  iptoa(UInt32(confData.dConfigData.brAddr), info.broadcast[0]);
  int count = 1;
  if (CLIST_DATA* list = confData.broadList)
    for (SInt16 r = 0; r < CLGetCount(list) && count < kBroadcastMax; ++r)
      std::snprintf(info.broadcast[count++], kBroadcastEntry, "%s", Page_List_Text(list, r, 0).c_str());
  info.tcp_count = count;
  EnvInfo = info;
  return 1;
}

void Setup_TCP_Update(DialogRef d) {
  Draw_Group_Frame_Item(d, kGroup);
  if (confData.broadList) CLUpdate(confData.broadList, nullptr, 0);
}

// ---- the dialog ----

// The page of the selected tab (the only one, TCP/IP).
const CONF_TAB_CELL* pageCell() {
  const CONFIG_PAGE& page = confData.fanction[0];
  return page.enable ? &page.cellData : nullptr;
}

// The page's values, gathered as when the page is left.
Boolean pageValues(DialogRef d) {
  const CONF_TAB_CELL* cell = pageCell();
  return !cell || !cell->dlg_get_value || cell->dlg_get_value(d);
}

void Exit_Config_Dialog(DialogRef d) {
  if (confData.broadList) CLDispose(confData.broadList);
  if (confData.tabData) CTDispose(confData.tabData);
  if (d) inst::Close_Usr_Dialog(d);
  inst::Window_Select_Mode(nullptr);
  confData = CONFIG_WND_INFO{};
  gStatus = 0;
}

void Load_Config_Dialog(DialogRef d) {
  const CONFIG_PAGE& page = confData.fanction[0];
  ShortenDITL(d, CountDITL(d) - 4);
  if (Handle items = GetResource('DITL', page.contID)) AppendDITL(d, items, overlayDITL);
  if (page.cellData.dlg_setup) page.cellData.dlg_setup(d);
  if (page.cellData.dlg_load_value) page.cellData.dlg_load_value(d);
}

void updateApply(DialogRef d) {
  const bool same = sameRecord(confData.dConfigData, confData.dBackConf) && sameList(EnvInfo, backEnv);
  Set_Item_Enabled(d, kApply, !same);
}

}  // namespace

short Build_Config_Tab(CONFIG_FRAME* frame) {
  if (!frame || !frame->dlg) return 0;
  DialogRef d = frame->dlg;
  Rect item = Dialog_Item_Rect(d, kTabs);
  const Rect area{item.bottom, item.left, SInt16(item.bottom + kFrameHeight), item.right};
  frame->tabData = CTNew(GetDialogWindow(d), &item, &area, kTitleHeight, false, 0xFFFFFF, true);
  if (!frame->tabData) return 0;
  const FONT_DATA font = Message_Font("TAB=");
  const SInt16 id = SInt16(font.fontID), size = SInt16(font.fSize);
  const UInt8 face = UInt8(font.styleID);
  CTSetFont(confData.tabData, &id, &face, &size);
  const RGBColor ink = Font_Color_RGB(font.foreClrID);
  CTSetColor(confData.tabData, &ink, &ink);
  CTSetPictID(confData.tabData, 143, 142, 144, 145, 146, 147, 148, 149);
  // One tab, for the TCP/IP page; the AppleTalk page has no tab here.
  const std::string tabTitle = text("[TAB]", "TAB01=");
  Str255 title;
  pstr::set(title, sizeof title, tb::CharPrefix(tabTitle, 255));
  CTAdd(frame->tabData, title, -1);
  CONFIG_PAGE& page = frame->fanction[0];
  page.enable = 1;
  page.contID = kTcpPageID;
  std::snprintf(page.contName, sizeof page.contName, "%s", tabTitle.c_str());
  Set_Config_Function(&page.cellData, kTcpPageID);
  return 1;
}

void Set_Config_Function(CONF_TAB_CELL* cell, SInt16 pageID) {
  if (!cell) return;
  *cell = CONF_TAB_CELL{};
  if (pageID == kTcpPageID)
    *cell = {nullptr, Handle_TCP_Select_Item, Setup_TCP_Load_Value, Setup_TCP_Get_Value, Setup_TCP_Update};
}

short Delete_Config_Dialog(CONFIG_FRAME* frame, short) {
  if (!frame || !frame->dlg) return 0;
  gStatus = 1;
  const short r = pageValues(frame->dlg) ? 1 : 0;
  gStatus = 0;
  if (r == 1 && confData.broadList) CLShow(confData.broadList, false);
  return r;
}

short Handle_Config_Window_Active(DialogRef d, EventRecord*) {
  // The list follows its window's highlight, as the dialog's controls do.
  if (confData.broadList && d == confData.dlg) CLEnable(confData.broadList, IsWindowHilited(GetDialogWindow(d)));
  return 1;
}

std::string Normal_Broadcast_Address(const std::string& typed) {
  unsigned parts[4] = {};
  int n = 0;
  std::size_t digits = 0;
  for (char ch : typed) {
    if (ch >= '0' && ch <= '9') {
      // Leading zeros are allowed; a value past 255 is not.
      parts[n] = parts[n] * 10 + unsigned(ch - '0');
      if (parts[n] > 255) return {};
      ++digits;
    } else if (ch == '.' && digits > 0 && n < 3) {
      ++n;
      digits = 0;
    } else {
      return {};
    }
  }
  if (n != 3 || digits == 0) return {};
  const UInt32 addr = (UInt32(parts[0]) << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
  // 0.0.0.0 is the value that stands for "no address".
  if (addr == 0) return {};
  char out[16];
  iptoa(addr, out);
  return out;
}

void Close_Configuration() {
  if (!confData.dlg) return;
  confData.dConfigData = confData.dBackConf;
  EnvInfo = backEnv;
  Exit_Config_Dialog(confData.dlg);
}

short Open_Configuration(DialogRef owner, const char* messageFile, const CONFIGURATION* config) {
  if (confData.using_ || !config) return 0;
  confData = CONFIG_WND_INFO{};
  confData.using_ = 1;
  confData.broadData = &EnvInfo;
  confData.ownerDlg = owner;
  confData.fileSpec = messageFile ? messageFile : "";
  confData.dConfigData = confData.dBackConf = *config;
  backEnv = EnvInfo;
  gStatus = 0;
  Str255 title;
  pstr::set(title, sizeof title, tb::CharPrefix(text("[TITLE]", "TCPIP="), 255));
  DialogRef d = inst::Open_Usr_Dialog(kSettingsDialogID, title[0] ? title : nullptr, Handle_Config_Select_Item, nullptr,
                                      Handle_Config_Update_Value, Handle_Config_Window_Active, nullptr,
                                      Handle_Config_Key_Input, nullptr);
  if (!d) {
    confData = CONFIG_WND_INFO{};
    return 0;
  }
  confData.dlg = d;
  inst::Set_Usr_Window_RefCon(d, &confData);
  SetDialogDefaultItem(d, kOK);
  SetPortDialogPort(d);
  Build_Config_Tab(&confData);
  Set_Dialog_Item_Message(d, kOK, "[BUTTON]", "OK=");
  Set_Dialog_Item_Message(d, kCancel, "[BUTTON]", "CANCEL=");
  Set_Dialog_Item_Message(d, kApply, "[BUTTON]", "APPLY=");
  Set_Item_Enabled(d, kApply, false);
  Load_Config_Dialog(d);
  inst::Window_Select_Mode(d);
  ShowWindow(GetDialogWindow(d));
  SelectWindow(GetDialogWindow(d));
  tb::TraceNote("install", "search settings opened");
  return 1;
}

Boolean Handle_Config_Select_Item(DialogRef d, EventRecord* event, DialogItemIndex item) {
  tb::TraceNote("install", "search settings item %d", item);
  switch (item) {
    case kOK:
      gStatus = 1;
      if (!pageValues(d)) return true;
      if (!sameRecord(confData.dConfigData, confData.dBackConf))
        Set_Config_Result(confData.ownerDlg, confData.dConfigData);
      Exit_Config_Dialog(d);
      return true;
    case kCancel:
      confData.dConfigData = confData.dBackConf;
      EnvInfo = backEnv;
      Exit_Config_Dialog(d);
      return true;
    case kApply:
      Set_Config_Result(confData.ownerDlg, confData.dConfigData);
      confData.dBackConf = confData.dConfigData;
      backEnv = EnvInfo;
      Set_Item_Enabled(d, kApply, false);
      return true;
    case kTabs: {
      SInt16 pushed = -1;
      const SInt16 before = confData.tabData ? CTGetCurSel(confData.tabData) : -1;
      if (confData.tabData && event && CTMouseDown(confData.tabData, event, &pushed) == 1 && pushed != before) {
        // Leaving a page gathers its values; a page that refuses stays.
        if (Delete_Config_Dialog(&confData, before) == 1)
          Load_Config_Dialog(d);
        else
          CTSetCurSel(confData.tabData, before, true);
      }
      return true;
    }
    default: {
      const CONF_TAB_CELL* cell = pageCell();
      const Boolean taken = cell && cell->dlg_item_select ? cell->dlg_item_select(d, event, item) : false;
      pageValues(d);
      gStatus = 0;
      updateApply(d);
      return taken;
    }
  }
}

short Handle_Config_Update_Value(DialogRef d, EventRecord*) {
  inst::Draw_Dialog_Update(d, [](DialogRef dialog) {
    if (confData.tabData) CTUpdate(confData.tabData);
    if (const CONF_TAB_CELL* cell = pageCell(); cell && cell->dlg_update) cell->dlg_update(dialog);
  });
  return 1;
}

Boolean Handle_Config_Key_Input(DialogRef d, EventRecord* event) {
  const int code = (event->message & keyCodeMask) >> 8;
  const char ch = char(event->message & charCodeMask);
  if (code == 36 || code == 76 || code == 53) {
    const DialogItemIndex item = code == 53 ? kCancel : kOK;
    Flash_Button(d, item);
    Handle_Config_Select_Item(d, event, item);
    return false;
  }
  if (code == 47 || code == 51 || (code >= 123 && code <= 126) || (ch >= '0' && ch <= '9') || ch == '.') return true;
  SysBeep(1);
  return false;
}

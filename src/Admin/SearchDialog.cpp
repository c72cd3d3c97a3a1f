// The search-configuration dialog on the tabbed frame: three pages over the
// search configuration (ConfigData) and the broadcast list (EnvInfo), both
// edited in place and put back from the copies taken at opening when the
// user cancels. OK saves only the record that changed.
#include "Admin/SearchDialog.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/SearchConfig.h"
#include "Admin/SetupBind.h"
#include "common/AppFonts.h"
#include "common/AppMenus.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "common/PrefFile.h"
#include "common/StrConv.h"
#include "OT/NBPLookup.h"
#include "toolbox/controls.h"
#include "toolbox/gestalt.h"
#include "toolbox/textencoding.h"
#include "toolbox/windows.h"

CONF_DLG_INFO configTbl{};
SInt16 tabOldSelect = 0;
SInt16 OldZSelect = 0;
char (*ConZoneNameSet)[kZoneEntrySize] = nullptr;

namespace {

// The dialog's buffers, allocated while it is open.
UInt8* mainzone = nullptr;
// The configuration record as it is and as it was, packed for comparing.
UInt8* pConfigData = nullptr;
UInt8* pConfigBackup = nullptr;
CONFIGURATION backConf{};
SETUPINFO backEnv{};

// Systems from this version always search over TCP/IP and have no
// AppleTalk page.
constexpr SInt32 kNoAppleTalkSystem = 0x1060;

enum : DialogItemIndex {
  kTcpCheck = 5, kTcpCheckLabel = 6, kTcpAddress = 7, kTcpHidden1 = 8, kTcpHidden2 = 9, kTcpList = 10,
  kTcpAdd = 11, kTcpDelete = 12, kTcpGroup = 13, kTcpListLabel = 14,
};
enum : DialogItemIndex {
  kDdpCheck = 5, kDdpCheckLabel = 6, kDdpList = 7, kDdpEvery = 8, kDdpEveryLabel = 9, kDdpChosen = 10,
  kDdpGroup = 11, kDdpChosenLabel = 12,
};
enum : DialogItemIndex {
  kPollLabel0 = 5, kPollLabel = 6, kPollField = 7, kWaitLabel0 = 8, kWaitLabel = 9, kWaitField = 10,
  kRetryLabel = 11, kRetryField = 12, kCommGroup = 13, kCommLabel = 14,
};

SInt32 system_version() {
  SInt32 v = 0;
  if (Gestalt(gestaltSystemVersion, &v) != noErr) return 0;
  return v;
}
bool has_appletalk_page() { return system_version() < kNoAppleTalkSystem; }

void item_text(DialogRef d, DialogItemIndex item, Str255 out) {
  out[0] = 0;
  Handle h = nullptr;
  DialogItemType kind = 0;
  Rect r;
  GetDialogItem(d, item, &kind, &h, &r);
  if (h) GetDialogItemText(h, out);
}
void set_item_text(DialogRef d, DialogItemIndex item, const char* text) {
  Handle h = nullptr;
  DialogItemType kind = 0;
  Rect r;
  GetDialogItem(d, item, &kind, &h, &r);
  if (!h) return;
  Str255 p;
  pstr::set(p, sizeof p, text);
  SetDialogItemText(h, p);
}
void caption(DialogRef d, DialogItemIndex item, const char* section, const char* key) {
  Set_String_To_Item(d, item, key, section, IniFileName);
}

void ini_alert(const char* key, const char* fallback) {
  Str255 text;
  Get_Ini_Text(text, "[STATIC]", key, 0, fallback);
  Str255 empty = {0};
  Set_Alert_Dialog_Items(kAlertCommError, 2, text, empty, empty, empty);
}

CLIST_DATA* Create_ListBox(DialogRef d, DialogItemIndex item) {
  Rect r;
  Get_Dialog_Item_Rect(d, item, &r);
  CLIST_DATA* list = CLNew(GetDialogWindow(d), &r, Point{15, CLOneColumnWidth(r)}, false, true, false);
  if (!list) return nullptr;
  FONT_DATA font{};
  std::strcpy(font.fName, "Geneva");
  font.fSize = 10;
  Get_Font_Infomation("LIST=", &font);
  const SInt16 id = SInt16(font.fontID);
  const Style face = Style(font.styleID);
  const SInt16 size = SInt16(font.fSize ? font.fSize : 10);
  CLSetFont(list, &id, &face, &size);
  Str255 none = {0};
  CLAddColumn(list, none, CLOneColumnWidth(r), kCLNoHeader | kCLSortText);
  return list;
}

void append_row(CLIST_DATA* list, const char* text) {
  Str255 p;
  pstr::set(p, sizeof p, text);
  CLSetCellOne(list, Cell{CLGetCount(list), 0}, p);
}
std::string row_text(CLIST_DATA* list, SInt16 row) {
  Str255 p = {0};
  SInt16 len = sizeof p - 1;
  if (CLGetCellOne(list, p, &len, Cell{row, 0}) < 0) return {};
  return std::string(reinterpret_cast<const char*>(p + 1), p[0]);
}
SInt16 selected_row(CLIST_DATA* list) {
  Cell c{0, 0};
  if (list && CLGetSelect(list, &c, true)) return c.v;
  return -1;
}

void Build_Zone_List(DialogRef d) {
  configTbl.zoneList = Create_ListBox(d, kDdpList);
  if (!configTbl.zoneList) return;
  OldZSelect = 0;
  const int count = std::atoi(ConZoneNameSet[0]);
  for (int n = 1; n <= count && n < kZoneNameMax; ++n) {
    // Shown as the language's encoding reads it; the zone is taken from
    // the table by its row, as the network named it.
    const std::string_view zone(ConZoneNameSet[n], strnlen(ConZoneNameSet[n], kZoneEntrySize));
    append_row(configTbl.zoneList, tb::TextFromEncoding(zone, GetApplicationTextEncoding()).c_str());
    if (std::strncmp(ConZoneNameSet[n], ConfigData.SearchZoneName, kZoneNameSize) == 0) OldZSelect = SInt16(n - 1);
  }
}

void select_zone_row() {
  if (!configTbl.zoneList || CLGetCount(configTbl.zoneList) == 0) return;
  CLSetSelect(configTbl.zoneList, Cell{OldZSelect, 0}, true, true);
}

void Allocate_Config_Memory_Release() {
  delete[] mainzone;
  mainzone = nullptr;
  delete[] ConZoneNameSet;
  ConZoneNameSet = nullptr;
  delete[] pConfigData;
  pConfigData = nullptr;
  delete[] pConfigBackup;
  pConfigBackup = nullptr;
}

bool Allocate_Config_Memory() {
  mainzone = new (std::nothrow) UInt8[kZoneBufferSize]();
  ConZoneNameSet = new (std::nothrow) char[kZoneNameMax][kZoneEntrySize]();
  pConfigData = new (std::nothrow) UInt8[kConfigRecordSize]();
  pConfigBackup = new (std::nothrow) UInt8[kConfigRecordSize]();
  if (mainzone && ConZoneNameSet && pConfigData && pConfigBackup) return true;
  Allocate_Config_Memory_Release();
  return false;
}

const CONF_TAB_CELL* page_cell(SInt16 tab) {
  if (!configTbl.tabData) return nullptr;
  Str255 title;
  if (CTGetTitle(configTbl.tabData, tab, title) < 0) return nullptr;
  const short i = Get_Config_Fanction(&configTbl, title);
  return i < 0 ? nullptr : &configTbl.fanction[i].cellData;
}

bool changed(const CONFIGURATION& a, const CONFIGURATION& b) {
  Pack_Config_Record(a, std::span<UInt8, kConfigRecordSize>(pConfigData, kConfigRecordSize));
  Pack_Config_Record(b, std::span<UInt8, kConfigRecordSize>(pConfigBackup, kConfigRecordSize));
  return std::memcmp(pConfigData, pConfigBackup, kConfigRecordSize) != 0;
}
bool changed(const SETUPINFO& a, const SETUPINFO& b) { return std::memcmp(&a, &b, sizeof a) != 0; }

}  // namespace

// ---- The dialog --------------------------------------------------------------

CONF_DLG_INFO* Get_Config_Table() {
  if (configTbl.using_) return nullptr;
  if (!Allocate_Config_Memory()) return nullptr;
  configTbl.using_ = 1;
  return &configTbl;
}

DialogRef Get_Open_Config_Dialog() { return configTbl.using_ ? configTbl.dlg : nullptr; }

short Open_Configuration() {
  CONF_DLG_INFO* record = Get_Config_Table();
  if (!record) return 0;
  backConf = ConfigData;
  backEnv = EnvInfo;
  Str255 title = {0};
  Load_File_To_PascalEx("[TITLE]", "ENVIRONMENT=", title, 256, IniFileName);
  DialogRef d = admin::Open_Usr_Dialog(kConfigDialogID, title[0] ? title : nullptr, Handle_Config_Select_Item,
                                       nullptr, Handle_Config_Dialog_Update, Handle_Config_Window_Active,
                                       nullptr, Handle_Config_Key_Input, nullptr);
  if (!d) {
    configTbl = CONF_DLG_INFO{};
    Allocate_Config_Memory_Release();
    return 0;
  }
  record->dlg = d;
  record->closeFlag = 0;
  Set_Content_Color(d);
  SetDialogDefaultItem(d, kConfigOK);
  Set_Usr_Window_RefCon(d, static_cast<CONFIG_FRAME*>(record));
  tabOldSelect = 0;
  Create_Config_Tab(record);
  caption(d, kConfigOK, "[BUTTON]", "OK=");
  caption(d, kConfigCancel, "[BUTTON]", "CANCEL=");
  Load_Config_Dialog(record);
  Window_Select_Mode(d);
  ShowWindow(GetDialogWindow(d));
  Setup_Menu_Status();
  return 1;
}

short Build_Config_Tab(CONFIG_FRAME* frame) {
  auto* record = static_cast<CONF_DLG_INFO*>(frame);
  if (!record || !record->dlg) return 0;
  const bool appleTalk = has_appletalk_page();
  Rect item;
  Get_Dialog_Item_Rect(record->dlg, kConfigTabItem, &item);
  const Rect tabs{item.top, item.left, SInt16(item.top + 230), item.right};
  // The selected tab stands on the page frame, as in the settings window.
  const Rect page{SInt16(item.top + CTFrontTabHeight(143)), item.left, SInt16(item.top + 230), item.right};
  record->tabData = CTNew(GetDialogWindow(record->dlg), &tabs, &page, 16, false, 0xFFFFFF, true);
  if (!record->tabData) return 0;
  Set_Config_Tab_Look(record->tabData);
  struct Page {
    const char* title;
    SInt16 id;
    bool shown;
  };
  const Page pages[] = {{"TCP/IP", kConfigPageTcp, true},
                        {"AppleTalk", kConfigPageDdp, appleTalk},
                        {"Timeout", kConfigPageTimeout, true}};
  int n = 0;
  for (const Page& p : pages) {
    if (!p.shown) continue;
    Str255 title;
    pstr::set(title, sizeof title, p.title);
    CTAdd(record->tabData, title, -1);
    CONFIG_PAGE& cp = record->fanction[n++];
    cp.enable = 1;
    cp.contID = p.id;
    std::snprintf(cp.contName, sizeof cp.contName, "%s", p.title);
    Set_Config_Function(&cp.cellData, p.id);
  }
  return 1;
}

void Set_Config_Function(CONF_TAB_CELL* cell, SInt16 pageID) {
  if (!cell) return;
  *cell = CONF_TAB_CELL{};
  switch (pageID) {
    case kConfigPageTcp:
      *cell = {nullptr, Config_TCP_Select_Item, Setup_TCP_Load_Value, Setup_TCP_Get_Value, Setup_TCP_Update};
      break;
    case kConfigPageDdp:
      *cell = {nullptr, Config_DDP_Select_Item, Setup_DDP_Load_Value, Setup_DDP_Get_Value, Setup_DDP_Update};
      break;
    case kConfigPageTimeout:
      *cell = {nullptr, Config_Common_Select_Item, Setup_Common_Load_Value, Setup_Common_Get_Value,
               Setup_Common_Update};
      break;
    default: break;
  }
}

short Delete_Config_Dialog(CONFIG_FRAME* frame, short tabIndex) {
  auto* record = static_cast<CONF_DLG_INFO*>(frame);
  if (!record) return 0;
  DialogRef d = record->dlg;
  // The tab index names the page by its place, which moves when the
  // AppleTalk page is left out.
  const CONF_TAB_CELL* cell = page_cell(tabIndex);
  if (!cell || !cell->dlg_get_value) return 0;
  const short r = cell->dlg_get_value(d) ? 1 : 0;
  if (cell->dlg_get_value == Setup_TCP_Get_Value && r == 1 && record->broadList) CLShow(record->broadList, false);
  if (cell->dlg_get_value == Setup_DDP_Get_Value && record->zoneList) CLShow(record->zoneList, false);
  return r;
}

Boolean Handle_Config_Select_Item(DialogRef d, EventRecord* event, DialogItemIndex item) {
  switch (item) {
    case kConfigOK: Exit_Config_Dialog(d, 1); return true;
    case kConfigCancel: Exit_Config_Dialog(d, 0); return true;
    case kConfigTabItem:
      Handle_Config_Tab_Select(d, event, item);
      if (configTbl.tabData) tabOldSelect = CTGetCurSel(configTbl.tabData);
      return true;
    default:
      if (const CONF_TAB_CELL* cell = page_cell(tabOldSelect); cell && cell->dlg_item_select)
        return cell->dlg_item_select(d, event, item);
      return true;
  }
}

short Handle_Config_Dialog_Update(DialogRef d, EventRecord*) {
  WindowRef w = GetDialogWindow(d);
  BeginUpdate(w);
  Set_Content_Color(d);
  if (configTbl.tabData) CTUpdate(configTbl.tabData);
  DrawDialog(d);
  EndUpdate(w);
  if (configTbl.broadList) CLShow(configTbl.broadList, false);
  if (const CONF_TAB_CELL* cell = page_cell(tabOldSelect); cell && cell->dlg_update) cell->dlg_update(d);
  return 1;
}

short Exit_Config_Dialog(DialogRef d, short isUpload) {
  if (isUpload == 0) {
    ConfigData = backConf;
    EnvInfo = backEnv;
  } else {
    const CONF_TAB_CELL* cell = page_cell(tabOldSelect);
    if (cell && cell->dlg_get_value && !cell->dlg_get_value(d)) return 0;
    if (ConfigData.Protocol_1 == 0 && (!has_appletalk_page() || ConfigData.Protocol_2 == 0)) {
      ini_alert("PROTO=", "A valid protocol is not selected.");
      return 0;
    }
    if (changed(ConfigData, backConf)) {
      Set_Configuration();
      Set_Ftp_Configuration();
    }
    if (changed(EnvInfo, backEnv)) Save_Status_Data(&EnvInfo);
  }
  Close_Config_Dialog(d);
  return 1;
}

void Close_Config_Dialog(DialogRef d) {
  if (configTbl.broadList) CLDispose(configTbl.broadList);
  if (configTbl.zoneList) CLDispose(configTbl.zoneList);
  if (configTbl.tabData) CTDispose(configTbl.tabData);
  if (d) Close_Usr_Dialog(d);
  configTbl = CONF_DLG_INFO{};
  Window_Select_Mode(nullptr);
  Allocate_Config_Memory_Release();
  Setup_Menu_Status();
}

short Str_To_Num(ConstStr255Param text, long* number, long max, long min) {
  if (!text || !number) return 0;
  // More digits than any field takes is out of range, never an overflow.
  if (text[0] > 5) return 0;
  long v = 0;
  for (int i = 1; i <= text[0]; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    v = v * 10 + (text[i] - '0');
  }
  *number = v;
  return min <= v && v <= max ? 1 : 0;
}

short DisplayZones(UInt8* buffer, char (*names)[kZoneEntrySize]) {
  if (!buffer || !names) return -1;
  OSStatus err = 0;
  std::memset(buffer, 0, kZoneBufferSize);
  const short count = ZIP_GetZone(buffer, kZoneBufferSize, ZIP_ZONE_LIST, &err, false);
  if (err < 0) {
    std::snprintf(names[0], kZoneEntrySize, "Error in getting zones : %d\n", int(err));
    return -1;
  }
  // Only as many zones as the table holds; the rest are not offered.
  return ZIP_ZoneNameSet(std::span<const UInt8>(buffer, kZoneBufferSize), count, names, kZoneNameMax);
}

// ---- TCP/IP page -------------------------------------------------------------

void Setup_TCP_Load_Value(DialogRef d) {
  if (has_appletalk_page()) {
    Set_Item_Value(d, kTcpCheck, ConfigData.Protocol_1 ? 1 : 0);
  } else {
    HideDialogItem(d, kTcpCheck);
    HideDialogItem(d, kTcpCheckLabel);
  }
  HideDialogItem(d, kTcpHidden1);
  HideDialogItem(d, kTcpHidden2);
  Hilite_Item(d, kTcpDelete, false);
  if (!configTbl.broadList) {
    configTbl.broadList = Create_ListBox(d, kTcpList);
    const int count = EnvInfo.tcp_count > kBroadcastMax ? kBroadcastMax : EnvInfo.tcp_count;
    if (configTbl.broadList)
      for (int n = 1; n < count; ++n) {
        char entry[kBroadcastTextSize + 1];
        std::memcpy(entry, EnvInfo.broadcast[n], kBroadcastTextSize);
        entry[kBroadcastTextSize] = 0;
        append_row(configTbl.broadList, entry);
      }
  } else {
    CLShow(configTbl.broadList, true);
  }
  if (configTbl.broadList) CLClearSelect(configTbl.broadList, nullptr);
  caption(d, kTcpCheckLabel, "[CONFIGTAB]", "PROTOCOL1=");
  caption(d, kTcpHidden2, "[BUTTON]", "DISCARD=");
  caption(d, kTcpAdd, "[BUTTON]", "ADD=");
  caption(d, kTcpDelete, "[BUTTON]", "DELETE=");
  caption(d, kTcpListLabel, "[LABEL]", "BROADCAST=");
  Fit_Group_Title(d, kTcpListLabel);
}

Boolean Config_TCP_Select_Item(DialogRef d, EventRecord* event, DialogItemIndex item) {
  CLIST_DATA* list = configTbl.broadList;
  switch (item) {
    case kTcpList:
      if (list) {
        Handle_List_Select(d, event, item, list);
        Hilite_Item(d, kTcpDelete, selected_row(list) >= 0);
      }
      break;
    case kTcpAdd: {
      if (!list) break;
      Str255 typed;
      item_text(d, kTcpAddress, typed);
      char text[256];
      std::memcpy(text, typed + 1, typed[0]);
      text[typed[0]] = 0;
      const UInt32 addr = StrToIPAddr(text);
      if (addr == 0) {
        Setup_Error_Message(d, kTcpListLabel);
        break;
      }
      char dotted[16];
      iptoa(addr, dotted);
      bool present = false;
      for (SInt16 r = 0; r < CLGetCount(list); ++r) present = present || row_text(list, r) == dotted;
      if (present) {
        ini_alert("IPALREADY=", "The address is in the list already.");
      } else if (CLGetCount(list) >= kBroadcastListMax) {
        ini_alert("LISTMAX=", "The list holds no more addresses.");
      } else {
        append_row(list, dotted);
        CLUpdate(list, nullptr, 0);
      }
      break;
    }
    case kTcpDelete: {
      const SInt16 row = selected_row(list);
      if (row >= 0) {
        CLDelRow(list, 1, row);
        CLUpdate(list, nullptr, 0);
      }
      Hilite_Item(d, kTcpDelete, false);
      break;
    }
    case kTcpCheck:
    case kTcpHidden1: Set_Item_Value(d, item, Get_Item_Value(d, item) ? 0 : 1); break;
    default: break;
  }
  return true;
}

Boolean Setup_TCP_Get_Value(DialogRef d) {
  SETUPINFO info{};
  iptoa(ConfigData.brAddr, info.broadcast[0]);
  int count = 1;
  if (CLIST_DATA* list = configTbl.broadList) {
    for (SInt16 r = 0; r < CLGetCount(list) && count < kBroadcastMax; ++r) {
      const std::string t = row_text(list, r);
      std::snprintf(info.broadcast[count++], kBroadcastTextSize, "%s", t.c_str());
    }
  } else {
    info = EnvInfo;
    count = EnvInfo.tcp_count;
  }
  info.tcp_count = count;
  EnvInfo = info;
  ConfigData.Protocol_1 = has_appletalk_page() ? (Get_Item_Value(d, kTcpCheck) ? 1 : 0) : 1;
  return true;
}

void Setup_TCP_Update(DialogRef d) {
  if (configTbl.broadList) {
    CLShow(configTbl.broadList, true);
    CLUpdate(configTbl.broadList, nullptr, 0);
  }
  Draw_Group_Frame_Item(d, kTcpGroup);
  caption(d, kTcpListLabel, "[LABEL]", "BROADCAST=");
}

// ---- AppleTalk page ----------------------------------------------------------

namespace {
void ddp_enable(DialogRef d, bool on) {
  Hilite_Item(d, kDdpEvery, on);
  Hilite_Item(d, kDdpChosen, on);
  const bool listOn = on && Get_Item_Value(d, kDdpChosen) == 1;
  if (configTbl.zoneList) {
    CLEnable(configTbl.zoneList, listOn);
    if (listOn) select_zone_row();
  }
}
}  // namespace

void Setup_DDP_Load_Value(DialogRef d) {
  if (!configTbl.zoneList) {
    if (DisplayZones(mainzone, ConZoneNameSet) < 0) return;
    Build_Zone_List(d);
  } else {
    CLShow(configTbl.zoneList, true);
  }
  Set_Item_Value(d, kDdpCheck, ConfigData.Protocol_2 ? 1 : 0);
  Set_Item_Value(d, kDdpChosen, ConfigData.choiceNetworkzone == 1 ? 1 : 0);
  Set_Item_Value(d, kDdpEvery, ConfigData.choiceNetworkzone == 1 ? 0 : 1);
  ddp_enable(d, ConfigData.Protocol_2 != 0);
  caption(d, kDdpCheckLabel, "[CONFIGTAB]", "PROTOCOL2=");
  caption(d, kDdpEveryLabel, "[CONFIGTAB]", "ZONENOTUSE=");
  caption(d, kDdpChosenLabel, "[CONFIGTAB]", "ZONEUSE=");
}

Boolean Config_DDP_Select_Item(DialogRef d, EventRecord* event, DialogItemIndex item) {
  switch (item) {
    case kDdpList:
      if (configTbl.zoneList) Handle_List_Select(d, event, item, configTbl.zoneList);
      break;
    case kDdpCheck:
      Set_Item_Value(d, kDdpCheck, Get_Item_Value(d, kDdpCheck) ? 0 : 1);
      ddp_enable(d, Get_Item_Value(d, kDdpCheck) == 1);
      break;
    case kDdpEvery:
      Set_Item_Value(d, kDdpEvery, 1);
      Set_Item_Value(d, kDdpChosen, 0);
      if (configTbl.zoneList) CLEnable(configTbl.zoneList, false);
      break;
    case kDdpChosen:
      Set_Item_Value(d, kDdpChosen, 1);
      Set_Item_Value(d, kDdpEvery, 0);
      if (configTbl.zoneList) CLEnable(configTbl.zoneList, true);
      select_zone_row();
      break;
    default: break;
  }
  return true;
}

Boolean Setup_DDP_Get_Value(DialogRef d) {
  ConfigData.Protocol_2 = Get_Item_Value(d, kDdpCheck) ? 1 : 0;
  if (Get_Item_Value(d, kDdpEvery) == 1) {
    ConfigData.choiceNetworkzone = 0;
  } else {
    ConfigData.choiceNetworkzone = 1;
    const SInt16 row = selected_row(configTbl.zoneList);
    if (row >= 0 && row + 1 < kZoneNameMax) {
      std::snprintf(ConfigData.SearchZoneName, kZoneNameSize, "%s", ConZoneNameSet[row + 1]);
      OldZSelect = row;
    }
  }
  return true;
}

void Setup_DDP_Update(DialogRef d) {
  if (configTbl.zoneList) CLUpdate(configTbl.zoneList, nullptr, 0);
  Draw_Group_Frame_Item(d, kDdpGroup);
  caption(d, kDdpCheckLabel, "[CONFIGTAB]", "PROTOCOL2=");
}

// ---- Timeout page ------------------------------------------------------------

Boolean Config_Common_Select_Item(DialogRef, EventRecord*, DialogItemIndex) { return true; }

void Setup_Common_Load_Value(DialogRef d) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", int(ConfigData.pollTime));
  set_item_text(d, kPollField, text);
  std::snprintf(text, sizeof text, "%u", unsigned(ConfigData.rcvWait / 1000));
  set_item_text(d, kWaitField, text);
  std::snprintf(text, sizeof text, "%d", int(ConfigData.retry));
  set_item_text(d, kRetryField, text);
  Setup_Common_Update(d);
}

Boolean Setup_Common_Get_Value(DialogRef d) {
  Str255 text;
  long v = 0;
  item_text(d, kPollField, text);
  if (!Str_To_Num(text, &v, 180, 20)) {
    Setup_Error_Message(d, kPollLabel);
    return false;
  }
  ConfigData.pollTime = SInt16(v);
  item_text(d, kWaitField, text);
  if (!Str_To_Num(text, &v, 60, 1)) {
    Setup_Error_Message(d, kWaitLabel);
    return false;
  }
  ConfigData.rcvWait = UInt16(v * 1000);
  item_text(d, kRetryField, text);
  if (!Str_To_Num(text, &v, 5, 1)) {
    Setup_Error_Message(d, kRetryLabel);
    return false;
  }
  ConfigData.retry = SInt16(v);
  return true;
}

void Setup_Common_Update(DialogRef d) {
  caption(d, kPollLabel0, "[LABEL]", "PRN_SEARCH=");
  caption(d, kPollLabel, "[LABEL]", "POLLINGTIME=");
  caption(d, kWaitLabel0, "[LABEL]", "DATA_COM=");
  caption(d, kWaitLabel, "[LABEL]", "TIMEOUTSET=");
  caption(d, kRetryLabel, "[LABEL]", "RETRY=");
  caption(d, kCommLabel, "[LABEL]", "COMM_ERROR=");
  Draw_Group_Frame_Item(d, kCommGroup);
}

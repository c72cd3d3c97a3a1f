// The search set-up dialog over its own two-page tab strip (the tabbed
// frame of the foundation belongs to the option dialog beneath it).
#include "Monitor/SearchSetup.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "common/AppFonts.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "common/TextFormat.h"
#include "Monitor/DialogUtil.h"
#include "Monitor/MonitorApp.h"
#include "Monitor/MonitorConfig.h"
#include "Monitor/OptionDialog.h"
#include "Monitor/StatusText.h"
#include "OT/PBoxTable.h"
#include "toolbox/gestalt.h"
#include "toolbox/resources.h"
#include "toolbox/textedit.h"
#include "toolbox/textencoding.h"
#include "toolbox/windows.h"

BROADCAST_WND_INFO gBroadInfo[kBroadTableSize];
SETUPINFO backEnv{};
ZONESET ConZoneNameSet[kZoneSetMax];
UInt8* mainzone = nullptr;
SInt16 NowZSelect = -1;

namespace {

using namespace mondlg;

// Systems from 10.6 on search over TCP/IP always and have no AppleTalk.
constexpr SInt32 kNoAppleTalkSystem = 0x1060;
constexpr DialogItemIndex kFrameItems = 3, kTabItem = 3;

enum : DialogItemIndex {
  kTcpAddress = 4,
  kTcpList = 5,
  kTcpAdd = 6,
  kTcpDelete = 7,
  kTcpGroup = 8,
  kTcpTitle = 9,
  kTcpCheck = 10,
  kTcpLabel = 11,
};
enum : DialogItemIndex {
  kDdpList = 4,
  kDdpEvery = 5,
  kDdpEveryLabel = 6,
  kDdpChosen = 7,
  kDdpChosenLabel = 8,
  kDdpGroup = 9,
  kDdpCheck = 10,
  kDdpLabel = 11,
};

bool before_106() {
  SInt32 v = 0;
  return Gestalt(gestaltSystemVersion, &v) == noErr && v < kNoAppleTalkSystem;
}

BROADCAST_WND_INFO* rec_of(DialogRef d) { return Get_Broadcast_Info(d); }

// The monitor's one-button alert with a text of the monitor's own ini.
void alert(const std::string& text) {
  Str255 p;
  pstr::set(p, sizeof p, text);
  Set_Alert_Dialog_Items(603, 2, p, nullptr, nullptr, nullptr);
}

bool same_list(const SETUPINFO& a, const SETUPINFO& b) {
  if (a.tcp_count != b.tcp_count) return false;
  const int n = std::clamp<int>(a.tcp_count, 0, kBroadcastMax);
  for (int k = 0; k < n; ++k)
    if (std::strncmp(a.broadcast[k], b.broadcast[k], kBroadcastEntry) != 0) return false;
  return true;
}

const CONF_TAB_CELL* page_cell(BROADCAST_WND_INFO* rec, SInt16 tab) {
  if (tab < 0 || tab > 1 || rec->sconfInfo[tab].enable != 1) return nullptr;
  return &rec->sconfInfo[tab].cellData;
}

void SubLoad_Config_Dialog(BROADCAST_WND_INFO* rec, SInt16 tab) {
  const CONF_TAB_CELL* cell = page_cell(rec, tab);
  if (!cell) return;
  const DialogItemIndex count = CountDITL(rec->dlg);
  if (count > kFrameItems) ShortenDITL(rec->dlg, DialogItemIndex(count - kFrameItems));
  if (Handle items = GetResource('DITL', rec->sconfInfo[tab].contID)) AppendDITL(rec->dlg, items, overlayDITL);
  if (cell->dlg_setup) cell->dlg_setup(rec->dlg);
  if (cell->dlg_load_value) cell->dlg_load_value(rec->dlg);
}

// ---- TCP/IP page ---------------------------------------------------------

void Setup_TCP_Load_Value(DialogRef d) {
  BROADCAST_WND_INFO* rec = rec_of(d);
  if (!rec) return;
  if (before_106()) {
    Set_Item_Value(d, kTcpCheck, rec->configData.Protocol_1 ? 1 : 0);
  } else {
    HideDialogItem(d, kTcpCheck);
    HideDialogItem(d, kTcpLabel);
  }
  SetDimmed(d, kTcpDelete, true);
  if (!rec->broadCList) {
    rec->broadCList = NewOneColumnList(d, kTcpList, 15);
    const int count = std::clamp<int>(EnvInfo.tcp_count, 0, kBroadcastMax);
    for (int k = 1; k < count; ++k)
      AppendRow(rec->broadCList, std::string(EnvInfo.broadcast[k], strnlen(EnvInfo.broadcast[k], kBroadcastEntry)));
  } else {
    CLShow(rec->broadCList, true);
  }
  Set_String_To_Item(d, kTcpAdd, "BTN_REG=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, kTcpDelete, "BTN_DEL=", "[BUTTON]", IniFileName);
}

void Add_Value_BCast_List(BROADCAST_WND_INFO* rec, DialogRef d) {
  CLIST_DATA* list = rec->broadCList;
  if (!list) return;
  const std::string typed = ItemText(d, kTcpAddress);
  SInt16 selStart = SInt16(typed.size()), selEnd = selStart;
  if (TEHandle te = GetDialogTextEditHandle(d); te && GetDialogKeyboardFocusItem(d) == kTcpAddress) {
    selStart = (**te).selStart;
    selEnd = (**te).selEnd;
  }
  auto refuse = [&](const std::string& text) {
    alert(text);
    SelectDialogItemText(d, kTcpAddress, selStart, selEnd);
  };
  const UInt32 addr = StrToIPAddr(typed.c_str());
  if (addr == 0 || typed.find("..") != std::string::npos) {
    refuse(Ini_Text("[ERR]", "ERROR03=", "The address is not valid.", MonFileName));
    return;
  }
  char dotted[16];
  iptoa(addr, dotted);
  Str255 p;
  pstr::set(p, sizeof p, dotted);
  Cell found{0, 0};
  if (CLSearch(list, &found, p, false)) {
    const std::string format = Ini_Text("[ERR]", "ERROR02=", "%s is in the list already.", MonFileName);
    char text[256];
    if (Format_Strings(text, sizeof text, format.c_str(), {dotted}) < 0) std::snprintf(text, sizeof text, "%s", dotted);
    refuse(text);
    return;
  }
  if (CLGetCount(list) >= kBroadListMax) {
    refuse(Ini_Text("[ERR]", "ERROR01=", "The list is full.", MonFileName));
    return;
  }
  AppendRow(list, dotted);
  Redraw(list);
}

Boolean Config_TCP_Select_Item(DialogRef d, EventRecord* event, DialogItemIndex item) {
  BROADCAST_WND_INFO* rec = rec_of(d);
  if (!rec) return true;
  switch (item) {
    case kTcpList:
      Handle_List_Select(d, event, item, rec->broadCList);
      SetDimmed(d, kTcpDelete, SelectedRow(rec->broadCList) < 0);
      break;
    case kTcpAdd: Add_Value_BCast_List(rec, d); break;
    case kTcpDelete:
      if (const SInt16 row = SelectedRow(rec->broadCList); row >= 0) {
        CLDelRow(rec->broadCList, 1, row);
        Redraw(rec->broadCList);
      }
      SetDimmed(d, kTcpDelete, true);
      break;
    case kTcpCheck:
    case kTcpLabel:
      if (before_106()) Set_Item_Value(d, kTcpCheck, Get_Item_Value(d, kTcpCheck) ? 0 : 1);
      break;
    default: break;
  }
  return true;
}

Boolean Setup_TCP_Get_Value(DialogRef d) {
  BROADCAST_WND_INFO* rec = rec_of(d);
  if (!rec) return true;
  rec->configData.Protocol_1 = before_106() ? (Get_Item_Value(d, kTcpCheck) ? 1 : 0) : 1;
  if (!rec->broadCList) return true;
  SETUPINFO info{};
  iptoa(UInt32(ConfigData.brAddr), info.broadcast[0]);
  const SInt16 rows = std::min<SInt16>(CLGetCount(rec->broadCList), kBroadcastMax - 1);
  for (SInt16 k = 0; k < rows; ++k) {
    const std::string text = RowText(rec->broadCList, k);
    std::memcpy(info.broadcast[k + 1], text.data(), std::min(text.size(), kBroadcastEntry - 1));
  }
  info.tcp_count = rows + 1;
  EnvInfo = info;
  return true;
}

void Setup_TCP_Update(DialogRef d) {
  BROADCAST_WND_INFO* rec = rec_of(d);
  if (!rec) return;
  Redraw(rec->broadCList);
  Draw_Group_Frame_Item(d, kTcpGroup);
  DrawLabel(d, kTcpTitle, Ini_Text("[GROUP]", "GRP_BROAD="));
  if (before_106()) DrawLabel(d, kTcpLabel, Ini_Text("[CONFIGTAB]", "PROTOCOL1="));
}

// ---- AppleTalk page ------------------------------------------------------

void select_zone(BROADCAST_WND_INFO* rec) {
  if (rec->zoneCList && NowZSelect >= 0 && NowZSelect < CLGetCount(rec->zoneCList))
    CLSetSelect(rec->zoneCList, Cell{NowZSelect, 0}, true, false);
}

void Build_Zone_CList(BROADCAST_WND_INFO* rec) {
  CLIST_DATA* list = rec->zoneCList;
  if (!list) return;
  if (CLGetCount(list) > 0) CLDelRow(list, CLGetCount(list), 0);
  NowZSelect = -1;
  const int n = std::clamp(std::atoi(ConZoneNameSet[0]), 0, kZoneSetMax - 1);
  for (int i = 0; i < n; ++i) {
    // Shown as the language's encoding reads it; the zone is taken from
    // the table by its row, as the network named it.
    const std::string_view zone(ConZoneNameSet[i + 1], strnlen(ConZoneNameSet[i + 1], sizeof(ZONESET)));
    AppendRow(list, tb::TextFromEncoding(zone, GetApplicationTextEncoding()));
    if (std::strncmp(ConZoneNameSet[i + 1], rec->configData.SearchZoneName, sizeof rec->configData.SearchZoneName) == 0)
      NowZSelect = SInt16(i);
  }
}

void zone_choice(BROADCAST_WND_INFO* rec, DialogRef d, bool chosen) {
  Set_Item_Value(d, kDdpEvery, chosen ? 0 : 1);
  Set_Item_Value(d, kDdpChosen, chosen ? 1 : 0);
  if (!rec->zoneCList) return;
  CLEnable(rec->zoneCList, chosen);
  if (chosen) select_zone(rec);
}

void Setup_DDP_Load_Value(DialogRef d) {
  BROADCAST_WND_INFO* rec = rec_of(d);
  if (!rec) return;
  Set_Item_Value(d, kDdpCheck, rec->configData.Protocol_2 ? 1 : 0);
  std::memset(ConZoneNameSet, 0, sizeof ConZoneNameSet);
  // The radio buttons say what the settings hold even without a zone list,
  // so that OK never turns "every zone" into a chosen zone by itself.
  bool zones = false;
  if (IsUseProtocol()) {
    if (DisplayZones(mainzone, ConZoneNameSet) < 0) {
      delete[] mainzone;
      mainzone = nullptr;
    } else {
      zones = true;
    }
  }
  if (zones) {
    if (!rec->zoneCList)
      rec->zoneCList = NewOneColumnList(d, kDdpList, 15);
    else
      CLShow(rec->zoneCList, true);
    Build_Zone_CList(rec);
  }
  zone_choice(rec, d, rec->configData.choiceNetworkzone == 1);
}

Boolean Config_DDP_Select_Item(DialogRef d, EventRecord* event, DialogItemIndex item) {
  BROADCAST_WND_INFO* rec = rec_of(d);
  if (!rec) return true;
  switch (item) {
    case kDdpList: Handle_List_Select(d, event, item, rec->zoneCList); break;
    case kDdpEvery:
    case kDdpEveryLabel:
      zone_choice(rec, d, false);
      Redraw(rec->zoneCList);
      break;
    case kDdpChosen:
    case kDdpChosenLabel:
      zone_choice(rec, d, true);
      Redraw(rec->zoneCList);
      break;
    case kDdpCheck:
    case kDdpLabel: Set_Item_Value(d, kDdpCheck, Get_Item_Value(d, kDdpCheck) ? 0 : 1); break;
    default: break;
  }
  return true;
}

Boolean Setup_DDP_Get_Value(DialogRef d) {
  BROADCAST_WND_INFO* rec = rec_of(d);
  if (!rec) return true;
  CONFIGURATION& c = rec->configData;
  c.Protocol_2 = Get_Item_Value(d, kDdpCheck) ? 1 : 0;
  if (Get_Item_Value(d, kDdpEvery) == 0) {
    c.choiceNetworkzone = 1;
    if (const SInt16 row = SelectedRow(rec->zoneCList); row >= 0 && row + 1 < kZoneSetMax) {
      const std::string_view zone(ConZoneNameSet[row + 1], strnlen(ConZoneNameSet[row + 1], sizeof(ZONESET)));
      std::memset(c.SearchZoneName, 0, sizeof c.SearchZoneName);
      std::memcpy(c.SearchZoneName, zone.data(), std::min(zone.size(), sizeof c.SearchZoneName - 1));
      NowZSelect = row;
    }
  } else {
    c.choiceNetworkzone = 0;
  }
  return true;
}

void Setup_DDP_Update(DialogRef d) {
  BROADCAST_WND_INFO* rec = rec_of(d);
  if (!rec) return;
  Redraw(rec->zoneCList);
  Draw_Group_Frame_Item(d, kDdpGroup);
  DrawLabel(d, kDdpChosenLabel, Ini_Text("[CONFIGTAB]", "ZONEUSE="));
  DrawLabel(d, kDdpEveryLabel, Ini_Text("[CONFIGTAB]", "ZONENOTUSE="));
  DrawLabel(d, kDdpLabel, Ini_Text("[CONFIGTAB]", "PROTOCOL2="));
}

// ---- Frame -----------------------------------------------------------------

void SubSet_Config_Function(CONF_TAB_CELL* cell, SInt16 pageID) {
  *cell = CONF_TAB_CELL{};
  if (pageID == kBroadPageTcp)
    *cell = {nullptr, Config_TCP_Select_Item, Setup_TCP_Load_Value, Setup_TCP_Get_Value, Setup_TCP_Update};
  else if (pageID == kBroadPageDdp)
    *cell = {nullptr, Config_DDP_Select_Item, Setup_DDP_Load_Value, Setup_DDP_Get_Value, Setup_DDP_Update};
}

void SubBuild_Config_Tab(BROADCAST_WND_INFO* rec) {
  rec->confTab = NewSettingsTabs(rec->dlg, kTabItem, 250);
  if (!rec->confTab) return;
  struct Page {
    const char* title;
    SInt16 id;
  };
  const Page pages[2] = {{"TCP/IP", kBroadPageTcp}, {"AppleTalk", kBroadPageDdp}};
  const int shown = before_106() ? 2 : 1;
  for (int i = 0; i < shown; ++i) {
    Str255 title;
    pstr::set(title, sizeof title, pages[i].title);
    CTAdd(rec->confTab, title, -1);
    SCONF_PAGE& p = rec->sconfInfo[i];
    p.enable = 1;
    p.contID = pages[i].id;
    std::snprintf(p.contName, sizeof p.contName, "%s", pages[i].title);
    SubSet_Config_Function(&p.cellData, pages[i].id);
  }
  CTSetCurSel(rec->confTab, 0, false);
  CTShow(rec->confTab, true);
}

void Handle_SubConfig_Tab_Select(BROADCAST_WND_INFO* rec, EventRecord* event) {
  DialogRef d = rec->dlg;
  if (!rec->confTab || !event) return;
  // The tab control reads the mouse in the dialog's port.
  tb::PortSaver keep(GetDialogPort(d));
  const SInt16 old = rec->confOldSelect;
  const SInt16 now = TrackTabPress(d, rec->confTab, kTabItem, event, old);
  if (now < 0) return;
  const CONF_TAB_CELL* cell = page_cell(rec, old);
  if (cell && cell->dlg_get_value && !cell->dlg_get_value(d)) {
    CTSetCurSel(rec->confTab, old, true);
    return;
  }
  if (old == 0 && rec->broadCList) CLShow(rec->broadCList, false);
  if (old == 1 && rec->zoneCList) {
    if (CLGetCount(rec->zoneCList) > 0) CLDelRow(rec->zoneCList, CLGetCount(rec->zoneCList), 0);
    CLShow(rec->zoneCList, false);
  }
  rec->confOldSelect = now;
  SubLoad_Config_Dialog(rec, now);
  InvalidateAll(d);
}

void Free_Broadcast_Table(BROADCAST_WND_INFO* rec) {
  rec->dlg = nullptr;
  rec->broadCList = nullptr;
  rec->zoneCList = nullptr;
  rec->confTab = nullptr;
  delete[] mainzone;
  mainzone = nullptr;
  rec->using_ = 0;
}

}  // namespace

// ---- Interface ----------------------------------------------------------------

BROADCAST_WND_INFO* Get_Broadcast_Info(DialogRef dlg) {
  if (!dlg) return nullptr;
  for (auto& r : gBroadInfo)
    if (r.using_ == 1 && r.dlg == dlg) return &r;
  return nullptr;
}

BROADCAST_WND_INFO* Get_Broadcast_Table(DialogRef ownerDlg, const CONFIGURATION* configData) {
  if (!configData) return nullptr;
  for (auto& r : gBroadInfo) {
    if (r.using_ == 1 || r.dlg) continue;
    if (!mainzone) mainzone = new (std::nothrow) UInt8[kZoneBufferBytes]();
    if (!mainzone) return nullptr;
    r = BROADCAST_WND_INFO{};
    r.configData = r.backData = *configData;
    r.ownerDlg = ownerDlg;
    r.using_ = 1;
    return &r;
  }
  return nullptr;
}

Boolean Open_Broadcast_Setup_Dialog(DialogRef dlgPtr, const CONFIGURATION* configData) {
  BROADCAST_WND_INFO* rec = Get_Broadcast_Table(dlgPtr, configData);
  if (!rec) return false;
  const DialogFont f = FontOf("BROADFONT=");
  rec->fontID = f.id;
  rec->fontFace = f.face;
  rec->fontSize = f.size;
  backEnv = EnvInfo;
  Str255 title;
  pstr::set(title, sizeof title, Ini_Text("[TITLE]", "BROAD=", "Search Settings"));
  DialogRef d = Open_Usr_Dialog(kBroadDialogID, title, Handle_Broadcast_Select_Item, Handle_Broadcast_Window_Update,
                                nullptr, Handle_Broadcast_Window_Active, nullptr, Handle_Broadcast_Key_Input);
  if (!d) {
    Free_Broadcast_Table(rec);
    return false;
  }
  rec->dlg = d;
  Set_Content_Color(d);
  SetDialogDefaultItem(d, 1);
  Set_Usr_Window_RefCon(d, rec);
  {
    tb::PortSaver keep(GetDialogPort(d));
    TextFont(rec->fontID);
    TextFace(rec->fontFace);
    TextSize(rec->fontSize);
  }
  SubBuild_Config_Tab(rec);
  rec->confOldSelect = 0;
  SubLoad_Config_Dialog(rec, 0);
  Set_String_To_Item(d, 1, "OK=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 2, "CANCEL=", "[BUTTON]", IniFileName);
  Window_Select_Mode(d);
  ShowWindow(GetDialogWindow(d));
  SelectWindow(GetDialogWindow(d));
  return true;
}

Boolean Exit_Broadcast_Dialog(DialogRef dlgPtr, short isUpload) {
  BROADCAST_WND_INFO* rec = Get_Broadcast_Info(dlgPtr);
  if (!rec) return false;
  if (isUpload == 1) {
    const CONF_TAB_CELL* cell = page_cell(rec, rec->confOldSelect);
    if (cell && cell->dlg_get_value && !cell->dlg_get_value(dlgPtr)) return false;
    if (rec->configData.Protocol_1 == 0 && (!before_106() || rec->configData.Protocol_2 == 0)) {
      alert(Ini_Text("[LABEL]", "STC_PROTO=", "Choose a protocol."));
      return false;
    }
    if (!Setup_SubConfiguration(rec->ownerDlg, &rec->configData, 1)) return false;
    Setup_Public_SubConfig(rec->ownerDlg, &rec->configData, 1);
    if (!same_list(EnvInfo, backEnv)) Save_Broadcast_Data(&EnvInfo);
  } else {
    // Leaving the TCP/IP page replaced the list in memory already; a
    // cancelled dialog changes nothing.
    EnvInfo = backEnv;
  }
  if (rec->broadCList) CLDispose(rec->broadCList);
  if (rec->zoneCList) CLDispose(rec->zoneCList);
  if (rec->confTab) CTDispose(rec->confTab);
  Close_Usr_Dialog(dlgPtr);
  Free_Broadcast_Table(rec);
  Window_Select_Mode(nullptr);
  return true;
}

short DisplayZones(UInt8* buffer, char (*zoneSet)[kZoneNameEntry]) {
  if (!zoneSet) return -1;
  if (!buffer) {
    std::snprintf(zoneSet[0], kZoneNameEntry, "Error in getting zones : %d\n", -108);
    return -1;
  }
  OSStatus err = 0;
  std::memset(buffer, 0, kZoneBufferBytes);
  const short count = ZIP_GetZone(buffer, kZoneBufferBytes, ZIP_ZONE_LIST, &err, false);
  if (err < 0 || count < 0) {
    std::snprintf(zoneSet[0], kZoneNameEntry, "Error in getting zones : %d\n", int(err < 0 ? err : count));
    return -1;
  }
  return ZIP_ZoneNameSet(std::span<const UInt8>(buffer, kZoneBufferBytes), count, zoneSet, kZoneSetMax) > 0 ? 1 : 0;
}

Boolean Handle_Broadcast_Select_Item(DialogRef dlg, EventRecord* event, DialogItemIndex item) {
  BROADCAST_WND_INFO* rec = rec_of(dlg);
  if (!rec) return true;
  switch (item) {
    case 1: Exit_Broadcast_Dialog(dlg, 1); return true;
    case 2: Exit_Broadcast_Dialog(dlg, 0); return true;
    case kTabItem: Handle_SubConfig_Tab_Select(rec, event); return true;
    default:
      if (const CONF_TAB_CELL* cell = page_cell(rec, rec->confOldSelect); cell && cell->dlg_item_select)
        return cell->dlg_item_select(dlg, event, item);
      return true;
  }
}

short Handle_Broadcast_Window_Update(DialogRef dlg, EventRecord*) {
  BROADCAST_WND_INFO* rec = rec_of(dlg);
  const CONF_TAB_CELL* cell = rec ? page_cell(rec, rec->confOldSelect) : nullptr;
  UpdateTabbedDialog(dlg, rec ? rec->confTab : nullptr, cell ? cell->dlg_update : nullptr);
  return 1;
}

short Handle_Broadcast_Window_Active(DialogRef dlg, EventRecord* event) {
  Handle_Window_Active(dlg, event);
  return 1;
}

Boolean Handle_Broadcast_Key_Input(DialogRef dlg, EventRecord* event) {
  if (!event || (event->what != keyDown && event->what != autoKey)) return true;
  const UInt8 key = UInt8((event->message & keyCodeMask) >> 8);
  const char ch = char(event->message & charCodeMask);
  if (key == kVK_Escape) {
    Invert_Button_Item(dlg, 2);
    Exit_Broadcast_Dialog(dlg, 0);
    return false;
  }
  if (key == kVK_Return || key == kVK_ANSI_KeypadEnter) {
    Invert_Button_Item(dlg, 1);
    Exit_Broadcast_Dialog(dlg, 1);
    return false;
  }
  if (key == kVK_Delete || (ch >= '0' && ch <= '9') || ch == '.' || (key >= 0x7B && key <= 0x7E)) return true;
  SysBeep(1);
  return false;
}

// The option dialog on the tabbed frame: one page (401) with the printer
// list, fed by two searches (TCP/IP and AppleTalk) that run in the status
// windows' idle step and restart when asked, the old one ended first.
#include "Monitor/OptionDialog.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "common/AppFonts.h"
#include "common/AppMenus.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "Monitor/DetailsDialog.h"
#include "Monitor/DialogUtil.h"
#include "Monitor/MonitorApp.h"
#include "Monitor/MonitorConfig.h"
#include "Monitor/SearchSetup.h"
#include "Monitor/StatusData.h"
#include "Monitor/StatusSearch.h"
#include "Monitor/StatusText.h"
#include "Monitor/StatusWindow.h"
#include "toolbox/clock.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

namespace {

using namespace mondlg;

// The records of the option dialogs open now.
std::vector<CONFIG_WND_INFO*> gOpen;

CONFIG_WND_INFO* rec_of(DialogRef d) { return Get_Config_Info(d); }

bool same_config(const CONFIGURATION& a, const CONFIGURATION& b) {
  std::array<UInt8, kConfigurationSize> pa{}, pb{};
  PackConfiguration(a, pa);
  PackConfiguration(b, pb);
  return pa == pb;
}

bool same_printer(const PBOXinfo& a, const PBOXinfo& b) {
  std::array<UInt8, kPBOXinfoPackedSize> pa{}, pb{};
  PackPBOXinfo(a, pa);
  PackPBOXinfo(b, pb);
  return pa == pb;
}

// The status-sharing file is named by the Ethernet address and the search
// finds boxes by their IP address: a change of either is another printer.
bool other_printer(const PBOXinfo& a, const PBOXinfo& b) {
  return a.pbi_ip_addr != b.pbi_ip_addr || std::memcmp(a.pbi_nodeaddr, b.pbi_nodeaddr, 6) != 0;
}

void Setup_Data_Change_Check(CONFIG_WND_INFO* rec) {
  const bool changed = !same_config(rec->configData, rec->backData) || !same_printer(rec->printData, rec->oldPrintData);
  SetDimmed(rec->dlg, kConfigApply, !changed);
}

PBOXinfo* row_entry(CONFIG_WND_INFO* rec, SInt16 row) {
  if (!rec->pservList || row < 0 || !rec->pboxTbl) return nullptr;
  const long index = CLGetReference(rec->pservList, row);
  if (index < 0 || index >= PboxTblMax) return nullptr;
  return &rec->pboxTbl[index];
}

void details_button(CONFIG_WND_INFO* rec) { SetDimmed(rec->dlg, kOptDetails, SelectedRow(rec->pservList) < 0); }

// The one place a search's running flag changes.
void set_searching(CONFIG_WND_INFO* rec, bool udp, bool on, const char* why) {
  UInt8& send = udp ? rec->udpSend : rec->ddpSend;
  if (send != UInt8(on))
    tb::TraceState("option", udp ? "tcpip-search" : "appletalk-search", rec, send ? "running" : "idle",
                   on ? "running" : "idle", why);
  send = on ? 1 : 0;
}

// A record made free: no search runs for it any more.
void clear_record(CONFIG_WND_INFO* rec, const char* why) {
  set_searching(rec, true, false, why);
  set_searching(rec, false, false, why);
  *rec = CONFIG_WND_INFO{};
}

// One protocol's search: started on a cleared context when that context
// has ended.
void start_search(CONFIG_WND_INFO* rec, bool udp) {
  JCPEPInfo* ctx = udp ? rec->udpConf : rec->ddpConf;
  UInt8& restart = udp ? rec->bUdpNeedKillIOEvent : rec->bDdpNeedKillIOEvent;
  const UInt8 on = udp ? rec->configData.Protocol_1 : rec->configData.Protocol_2;
  if (on != 1 || !ctx || !JCP_IsTerminated(ctx)) return;
  JCP_ClearContext(ctx);
  restart = 0;
  const bool started = SearchPBOX(&rec->configData, ctx, rec->pboxTbl, SInt16(PboxTblMax),
                                  udp ? PBOX_PROTO_TCPIP : PBOX_PROTO_ATALK) != 0;
  set_searching(rec, udp, started, started ? "started" : "could not start");
  if (started) (udp ? rec->udpTick : rec->ddpTick) = TickCount();
}

void Get_Search_Data(CONFIG_WND_INFO* rec) {
  if (rec->udpSend == 1 && rec->udpConf) {
    rec->bUdpNeedKillIOEvent = 1;
    JCP_KillIOEvent(rec->udpConf);
  }
  if (rec->ddpSend == 1 && rec->ddpConf) {
    rec->bDdpNeedKillIOEvent = 1;
    JCP_KillIOEvent(rec->ddpConf);
  }
  start_search(rec, true);
  start_search(rec, false);
}

// One protocol's idle step: drive the search until it has timed out and
// ended; a restart waits for the old search's end.
void Get_Search_Result(CONFIG_WND_INFO* rec, bool udp) {
  JCPEPInfo* ctx = udp ? rec->udpConf : rec->ddpConf;
  const UInt8 send = udp ? rec->udpSend : rec->ddpSend;
  UInt8& restart = udp ? rec->bUdpNeedKillIOEvent : rec->bDdpNeedKillIOEvent;
  const UInt8 on = udp ? rec->configData.Protocol_1 : rec->configData.Protocol_2;
  if (send != 1 || on != 1 || !ctx) return;
  if (!restart) {
    JCP_PendingLoop(ctx);
    if ((ctx->isTimeout || ctx->isComplete) && JCP_IsTerminated(ctx)) set_searching(rec, udp, false, "over");
  } else if (JCP_IsTerminated(ctx)) {
    set_searching(rec, udp, false, "ended for a restart");
    start_search(rec, udp);
  }
}

void Free_Config_Table(CONFIG_WND_INFO* rec) {
  // Dialogs opened from this one go with it.
  if (rec->detailsTbl && rec->detailsTbl->dlg) Exit_Details_Dialog(rec->detailsTbl->dlg, 0);
  for (auto& b : gBroadInfo)
    if (b.using_ == 1 && b.dlg && b.ownerDlg == rec->dlg) Exit_Broadcast_Dialog(b.dlg, 0);
  delete rec->detailsTbl;
  delete[] rec->pboxTbl;
  // A search may still be closing its endpoint: its context is freed by
  // the reaper once it has ended, never under its notifier.
  for (JCPEPInfo** ctx : {&rec->udpConf, &rec->ddpConf}) {
    if (!*ctx) continue;
    Forget_Search_Table(*ctx);
    Retire_Request_Context(*ctx);
  }
  clear_record(rec, "closed");
}

// ---- Page 401 --------------------------------------------------------------

void Setup_Status_Load_Value(DialogRef d) {
  CONFIG_WND_INFO* rec = rec_of(d);
  if (!rec) return;
  Set_String_To_Item(d, kOptSearch, "BTN_BROAD=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, kOptSetup, "BTN_CNF=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, kOptDetails, "BTN_DETAILS=", "[BUTTON]", IniFileName);
  SetDimmed(d, kOptDetails, true);
  if (!rec->pservList) {
    const Rect r = ItemRect(d, kOptList);
    rec->pservList = CLNew(GetDialogWindow(d), &r, Point{15, 130}, false, true, false);
    if (rec->pservList) {
      const DialogFont f = FontOf("LIST=");
      CLSetFont(rec->pservList, &f.id, &f.face, &f.size);
      CLSetHeaderPictID(rec->pservList, 130, 130, 129);
      for (const char* key : {"COL01=", "COL02=", "COL03="}) {
        Str255 title;
        pstr::set(title, sizeof title, Ini_Text("[COLUMN]", key, "???"));
        CLAddColumn(rec->pservList, title, 130, kCLSortText);
      }
    }
    InitPBOXtable(rec->pboxTbl, SInt16(PboxTblMax));
    Set_Print_List_Value(rec);
  } else {
    CLShow(rec->pservList, true);
  }
  details_button(rec);
}

void Setup_Status_Update(DialogRef d) {
  CONFIG_WND_INFO* rec = rec_of(d);
  if (!rec) return;
  Rect frame = ItemRect(d, kOptList);
  InsetRect(&frame, -1, -1);
  Draw_Setup_Frame_Rect_B(d, &frame);
  Redraw(rec->pservList);
  DrawLabel(d, kOptHelp, Ini_Text("[LABEL]", "STC_INFO2="));
}

Boolean Handle_Status_Select_Item(DialogRef d, EventRecord* event, DialogItemIndex item) {
  CONFIG_WND_INFO* rec = rec_of(d);
  if (!rec) return true;
  switch (item) {
    case kOptSearch:
      SetDimmed(d, kOptDetails, true);
      rec->psCount = 0;
      InitPBOXtable(rec->pboxTbl, SInt16(PboxTblMax));
      Set_Print_List_Value(rec);
      break;
    case kOptSetup: Open_Broadcast_Setup_Dialog(d, &rec->configData); break;
    case kOptDetails:
      if (PBOXinfo* entry = row_entry(rec, SelectedRow(rec->pservList))) {
        const PBOXinfo printer = *entry;
        Get_Monitor_Config(&printer, &rec->configData);
        Open_Details_Setup_Dialog(d, rec->detailsTbl, &printer);
      }
      break;
    case kOptList:
      Handle_List_Select(d, event, item, rec->pservList);
      details_button(rec);
      break;
    default: break;
  }
  return true;
}

Boolean Setup_Status_Get_Value(DialogRef d) {
  CONFIG_WND_INFO* rec = rec_of(d);
  if (!rec) return true;
  if (const PBOXinfo* entry = row_entry(rec, SelectedRow(rec->pservList))) rec->printData = *entry;
  return true;
}

void Setup_Base_Setup(CONFIG_WND_INFO* rec) {
  Set_String_To_Item(rec->dlg, kConfigOK, "OK=", "[BUTTON]", IniFileName);
  Set_String_To_Item(rec->dlg, kConfigCancel, "CANCEL=", "[BUTTON]", IniFileName);
  Set_String_To_Item(rec->dlg, kConfigApply, "APPLI=", "[MACSTR]", IniFileName);
  SetDimmed(rec->dlg, kConfigApply, true);
}

}  // namespace

// ---- Frame hooks (the names the tabbed frame calls) ---------------------------

short Build_Config_Tab(CONFIG_FRAME* frame) {
  auto* rec = static_cast<CONFIG_WND_INFO*>(frame);
  if (!rec || !rec->dlg) return 0;
  rec->tabData = NewSettingsTabs(rec->dlg, kConfigTabItem, 225);
  if (!rec->tabData) return 0;
  const std::string title = Ini_Text("[TAB]", "TAB04=", "Printer");
  Str255 p;
  pstr::set(p, sizeof p, title);
  CTAdd(rec->tabData, p, -1);
  CONFIG_PAGE& page0 = rec->fanction[0];
  page0.enable = 1;
  page0.contID = kOptionPage;
  std::snprintf(page0.contName, sizeof page0.contName, "%s", title.c_str());
  Set_Config_Function(&page0.cellData, kOptionPage);
  return 1;
}

void Set_Config_Function(CONF_TAB_CELL* cell, SInt16 pageID) {
  if (!cell) return;
  *cell = CONF_TAB_CELL{};
  if (pageID == kOptionPage)
    *cell = {nullptr, Handle_Status_Select_Item, Setup_Status_Load_Value, Setup_Status_Get_Value, Setup_Status_Update};
}

short Delete_Config_Dialog(CONFIG_FRAME* frame, short tabIndex) {
  auto* rec = static_cast<CONFIG_WND_INFO*>(frame);
  if (!rec || tabIndex != 0) return 0;
  const short r = Setup_Status_Get_Value(rec->dlg) ? 1 : 0;
  if (rec->pservList) CLShow(rec->pservList, false);
  return r;
}

Boolean Handle_Config_Select_Item(DialogRef d, EventRecord* event, DialogItemIndex item) {
  CONFIG_WND_INFO* rec = rec_of(d);
  if (!rec) return true;
  DialogRef owner = rec->ownerDlg;
  switch (item) {
    case kConfigOK:
      rec->checkFlag = 1;
      if (!Setup_Status_Get_Value(d)) return true;
      if (rec->printData.pbi_inuse == 1) {
        if (Set_Status_Print(owner, &rec->printData, 1)) {
          if (other_printer(rec->oldPrintData, rec->printData)) Delete_Stat_Com_Data(&rec->oldPrintData);
          Setup_Configuration(owner, &rec->configData, 1);
        }
        Save_Status_DataEx(&rec->printData);
        Set_Config_Data(&rec->printData, &rec->configData, 1);
      } else {
        Setup_Configuration(owner, &rec->configData, 1);
      }
      Exit_Config_Dialog(rec);
      return true;
    case kConfigCancel:
      if (rec->printData.pbi_inuse == 1) Set_Status_Print(owner, &rec->printData, 0);
      Get_Monitor_Config(&rec->oldPrintData, &rec->configData);
      Setup_Configuration(owner, &rec->configData, 1);
      Exit_Config_Dialog(rec);
      return true;
    case kConfigApply:
      rec->checkFlag = 1;
      if (!Setup_Status_Get_Value(d)) return true;
      if (Set_Status_Print(owner, &rec->printData, 2)) {
        // The window stops publishing the printer it leaves: its sharing
        // file would otherwise stay behind, showing a state that no
        // longer changes.
        if (rec->printData.pbi_inuse == 1 && other_printer(rec->oldPrintData, rec->printData))
          Delete_Stat_Com_Data(&rec->oldPrintData);
        Setup_Configuration(owner, &rec->configData, 1);
      }
      rec->oldPrintData = rec->printData;
      rec->backData = rec->configData;
      SetDimmed(d, kConfigApply, true);
      return true;
    case kConfigTabItem: Handle_Config_Tab_Select(d, event, item); return true;
    default: {
      rec->checkFlag = 0;
      const CONF_TAB_CELL& cell = rec->fanction[0].cellData;
      if (cell.dlg_item_select) cell.dlg_item_select(d, event, item);
      // The item may have closed the dialog (never here, but the record
      // says so when it did).
      if (rec->dlg != d) return true;
      const Boolean r = cell.dlg_get_value ? cell.dlg_get_value(d) : true;
      Setup_Data_Change_Check(rec);
      return r;
    }
  }
}

short Handle_Config_Window_Update(DialogRef d, EventRecord*) {
  CONFIG_WND_INFO* rec = rec_of(d);
  UpdateTabbedDialog(d, rec ? rec->tabData : nullptr, rec ? rec->fanction[0].cellData.dlg_update : nullptr);
  return 1;
}

// ---- Interface ----------------------------------------------------------------

CONFIG_WND_INFO* Get_Config_Info(DialogRef dlg) {
  if (!dlg) return nullptr;
  for (CONFIG_WND_INFO* r : gOpen)
    if (r->using_ == 1 && r->dlg == dlg) return r;
  return nullptr;
}

Boolean Get_Config_Table(CONFIG_WND_INFO* rec, DialogRef parentPtr, const CONFIGURATION* configData,
                         const PBOXinfo* printData) {
  if (!rec || !configData || !printData || rec->using_ == 1) return false;
  clear_record(rec, "claimed");
  rec->ownerDlg = parentPtr;
  rec->configData = rec->backData = *configData;
  rec->printData = rec->oldPrintData = *printData;
  rec->oldPIpAddr = printData->pbi_ip_addr;
  rec->detailsTbl = new (std::nothrow) DETAILS_WND_INFO{};
  rec->pboxTbl = new (std::nothrow) PBOXinfo[PboxTblMax]();
  rec->udpConf = new (std::nothrow) JCPEPInfo{};
  rec->ddpConf = new (std::nothrow) JCPEPInfo{};
  if (!rec->detailsTbl || !rec->pboxTbl || !rec->udpConf || !rec->ddpConf) {
    delete rec->detailsTbl;
    delete[] rec->pboxTbl;
    delete rec->udpConf;
    delete rec->ddpConf;
    clear_record(rec, "out of memory");
    return false;
  }
  InitPBOXtable(rec->pboxTbl, SInt16(PboxTblMax));
  rec->using_ = 1;
  return true;
}

Boolean Open_Configuration(CONFIG_WND_INFO* rec, DialogRef parentPtr, const CONFIGURATION* configData,
                           const PBOXinfo* printData) {
  if (!Get_Config_Table(rec, parentPtr, configData, printData)) return false;
  Str255 title;
  pstr::set(title, sizeof title, Ini_Text("[TITLE]", "OPTION=", "Options"));
  DialogRef d = Open_Usr_Dialog(kOptionDialogID, title, Handle_Config_Select_Item, Handle_Config_Window_Update, nullptr,
                                Handle_Config_Window_Active, nullptr, Handle_Config_Key_Input);
  if (!d) {
    Free_Config_Table(rec);
    return false;
  }
  rec->dlg = d;
  gOpen.push_back(rec);
  Set_Content_Color(d);
  SetDialogDefaultItem(d, kConfigOK);
  Set_Usr_Window_RefCon(d, static_cast<CONFIG_FRAME*>(rec));
  {
    tb::PortSaver keep(GetDialogPort(d));
    Use_Main_Font();
  }
  Create_Config_Tab(rec);
  Setup_Base_Setup(rec);
  Load_Config_Dialog(rec);
  ShowWindow(GetDialogWindow(d));
  SelectWindow(GetDialogWindow(d));
  Setup_Menu_Status();
  return true;
}

void Exit_Config_Dialog(CONFIG_WND_INFO* rec) {
  if (!rec || rec->using_ != 1) return;
  DialogRef d = rec->dlg;
  if (rec->pservList) CLDispose(rec->pservList);
  rec->pservList = nullptr;
  if (rec->tabData) CTDispose(rec->tabData);
  rec->tabData = nullptr;
  for (CLIST_DATA* list : {rec->popupDList, rec->popupEList})
    if (list) CLDispose(list);
  Free_Config_Table(rec);
  std::erase(gOpen, rec);
  if (d) Close_Usr_Dialog(d);
  Setup_Menu_Status();
}

void Update_Config_Window_Info(CONFIG_WND_INFO* rec) {
  if (!rec || rec->using_ != 1 || !rec->dlg) return;
  Get_Search_Result(rec, true);
  Get_Search_Result(rec, false);
  int sum = 0;
  if (rec->configData.Protocol_1 == 1 && rec->udpConf) sum += rec->udpConf->found;
  if (rec->configData.Protocol_2 == 1 && rec->ddpConf) sum += rec->ddpConf->found;
  // The list is rebuilt when the hits have changed, not on every pass.
  if (sum > 0 && sum != rec->psCount) {
    rec->psCount = SInt16(std::min(sum, 0x7FFF));
    Build_Printer_List(rec);
    Redraw(rec->pservList);
    details_button(rec);
  }
}

void Set_Print_List_Value(CONFIG_WND_INFO* rec) {
  if (!rec) return;
  if (rec->pservList && CLGetCount(rec->pservList) > 0) CLDelRow(rec->pservList, CLGetCount(rec->pservList), 0);
  Redraw(rec->pservList);
  Get_Search_Data(rec);
}

void Build_Printer_List(CONFIG_WND_INFO* rec) {
  CLIST_DATA* list = rec ? rec->pservList : nullptr;
  if (!list || !rec->pboxTbl) return;
  if (CLGetCount(list) > 0) CLDelRow(list, CLGetCount(list), 0);
  CLClearSelect(list, nullptr);
  // psCount counts hits, and a box answering twice counts twice: never walk
  // past the table.
  const int walk = std::min<int>(rec->psCount, PboxTblMax);
  SInt16 select = -1;
  for (int i = 0; i < walk; ++i) {
    const PBOXinfo& box = rec->pboxTbl[i];
    if (!box.pbi_inuse) continue;
    const SInt16 row = CLGetCount(list);
    const std::string name = PBOXNameText(box);
    char ip[20], mac[24];
    iptoa(box.pbi_ip_addr, ip);
    mactoa(box.pbi_nodeaddr, mac);
    const char* texts[3] = {name.c_str(), ip, mac};
    for (SInt16 c = 0; c < 3; ++c) {
      Str255 p;
      pstr::set(p, sizeof p, texts[c]);
      CLSetCellOne(list, Cell{row, c}, p);
    }
    CLSetReference(list, row, i);
    if (select < 0 && box.pbi_ip_addr == rec->printData.pbi_ip_addr) select = row;
  }
  if (select >= 0) CLSetSelect(list, Cell{select, 0}, true, false);
}

Boolean Setup_SubConfiguration(DialogRef dlg, const CONFIGURATION* configData, short exitFlag) {
  CONFIG_WND_INFO* rec = Get_Config_Info(dlg);
  if (!rec || !configData || exitFlag == 0) return false;
  rec->configData = *configData;
  rec->backData = *configData;
  return true;
}

Boolean Setup_Public_SubConfig(DialogRef dlg, const CONFIGURATION* configData, short exitFlag) {
  CONFIG_WND_INFO* rec = Get_Config_Info(dlg);
  if (!rec || !configData || exitFlag == 0) return false;
  return Setup_Public_Config(rec->ownerDlg, configData, 1) != 0;
}

CONFIGURATION* Get_Config_Data(DialogRef dlg) {
  CONFIG_WND_INFO* rec = Get_Config_Info(dlg);
  return rec ? &rec->configData : nullptr;
}

CONFIGURATION* Get_Backup_Data(DialogRef dlg) {
  CONFIG_WND_INFO* rec = Get_Config_Info(dlg);
  return rec ? &rec->backData : nullptr;
}

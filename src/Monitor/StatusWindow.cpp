// The status-window table, opening, pages, keys, the views after a poll
// and closing.
#include "Monitor/StatusWindow.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <list>
#include <string>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "common/AppFonts.h"
#include "common/AppMenus.h"
#include "common/IniFile.h"
#include "common/PrefFile.h"
#include "common/StrConv.h"
#include "Monitor/FtpPage.h"
#include "Monitor/MonitorApp.h"
#include "Monitor/MonitorConfig.h"
#include "Monitor/OptionDialog.h"
#include "Monitor/StartupFiles.h"
#include "Monitor/StatusData.h"
#include "Monitor/StatusDisplay.h"
#include "Monitor/StatusDraw.h"
#include "Monitor/StatusText.h"
#include "Monitor/StatusViews.h"
#include "OT/FTPSend.h"
#include "OT/JCPSearch.h"
#include "toolbox/dialogs.h"
#include "toolbox/resources.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

STATUS_WND_INFO StatusTbl[8];

const STAT_IMAGE gStatAnime[kStatImageRows] = {
    {0, 150, 0, 0},   {1, 151, 0, 0},   {2, 151, 0, 0},   {3, 151, 0, 0},   {4, 151, 0, 0},   {5, 151, 0, 0},
    {6, 151, 0, 0},   {7, 152, 0, 3},   {8, 152, 0, 3},   {9, 153, 0, 3},   {10, 157, 0, 3},  {11, 158, 0, 3},
    {12, 151, 0, 0},  {13, 151, 0, 0},  {14, 151, 0, 0},  {15, 151, 0, 0},  {16, 151, 0, 0},  {17, 151, 0, 0},
    {18, 151, 0, 0},  {19, 151, 0, 0},  {20, 151, 0, 0},  {21, 151, 0, 0},  {22, 151, 0, 0},  {23, 151, 0, 0},
    {24, 151, 0, 0},  {25, 151, 0, 0},  {26, 151, 0, 0},  {27, 162, 0, 3},  {28, 151, 0, 0},  {29, 151, 0, 0},
    {30, 151, 0, 0},  {9, 154, 1, 3},   {9, 155, 2, 3},   {9, 156, 3, 3},   {11, 159, 1, 3},  {11, 160, 2, 3},
    {11, 161, 3, 3},
};

namespace {

STAT_IMAGE* gImage = nullptr;  // the table built at start-up
std::list<JCPEPInfo*> gDying;  // cancelled contexts not yet ended

bool option_dialog_open(PSTATUS_WND_INFO* base) {
  auto* rec = static_cast<STATUS_WND_INFO*>(base);
  return rec->confData && rec->confData->using_ == 1;
}

const StatusPollHooks kHooks = {
    option_dialog_open,
    Status_Animate,
    Status_Window_View,
    Error_Window_View,
    [](PSTATUS_WND_INFO* r) { Status_Window_View(r); },
};

STATUS_WND_INFO* record_of(DialogRef dlg) {
  if (!dlg) return nullptr;
  for (auto& r : StatusTbl)
    if (r.dlg == dlg) return &r;
  return nullptr;
}

// The window's FTP send window, null when none is open.
DialogRef send_window_of(const STATUS_WND_INFO* rec) {
  for (const SEND_WND_INFO& slot : SendTbl)
    if (slot.using_ == 1 && slot.ownerDlg == rec->dlg && slot.dlg) return slot.dlg;
  return nullptr;
}

// The record whose status window, consumables window, option dialog or
// FTP send window the dialog is.
STATUS_WND_INFO* family_of(DialogRef dlg) {
  if (!dlg) return nullptr;
  for (auto& r : StatusTbl) {
    if (!r.dlg) continue;
    if (r.dlg == dlg || r.sumData.dlg == dlg || send_window_of(&r) == dlg) return &r;
    if (r.confData && r.confData->using_ == 1 && r.confData->dlg == dlg) return &r;
  }
  return nullptr;
}

// The window of the family that holds the status window while it stands:
// the consumables window, the option dialog or the FTP send window (only
// one of them can be open, the status window takes no press meanwhile).
DialogRef holder_of(const STATUS_WND_INFO* rec) {
  if (rec->sumData.dlg) return rec->sumData.dlg;
  if (rec->confData && rec->confData->using_ == 1 && rec->confData->dlg) return rec->confData->dlg;
  return send_window_of(rec);
}

// The window title of Algorithms 2.5; false when no "STMON=" text exists
// (the title then comes from 'STR#' 129).
bool build_title(const PBOXinfo& pbox, Str255 out) {
  char base[256] = "";
  const bool fromIni = Load_File_To_CstringEx("[MACSTR]", "STMON=", base, sizeof base, IniFileName) != 0;
  std::string title = base;
  if (!fromIni) {
    Str255 s{};
    GetIndString(s, 129, 1);
    title = pstr::str(s);
  }
  char addr[24] = "";
  if (pbox.protocol_Type_Num == PBOX_PROTO_TCPIP && pbox.pbi_ip_addr != 0)
    iptoa(pbox.pbi_ip_addr, addr);
  else if (pbox.protocol_Type_Num != PBOX_PROTO_TCPIP && pbox.pbi_inuse)
    mactoa(pbox.pbi_nodeaddr, addr);
  if (addr[0]) {
    title += " - " + PBOXNameText(pbox) + "(" + addr + ")";
  }
  pstr::set(out, 256, std::string_view(title.data(), tb::CharCutLength(title, 255)));
  return fromIni;
}

// A window without a place of its own steps right and down by a title
// bar's height from where its dialog opens, until it covers no other status
// window whole (every window opens at the same place: two printers opened
// together lay exactly on each other), as far as the screen allows.
void place_clear_of_others(const STATUS_WND_INFO* rec) {
  const WindowRef w = GetDialogWindow(rec->dlg);
  SInt32 step = 20;
  GetThemeMetric(kThemeMetricTitleBarHeight, &step);
  BitMap screen;
  GetQDGlobalsScreenBits(&screen);
  Rect start{}, content{};
  GetWindowBounds(w, kWindowStructureRgn, &start);
  GetWindowBounds(w, kWindowContentRgn, &content);
  const auto coversOne = [&](const Rect& place) {
    for (const auto& r : StatusTbl) {
      if (&r == rec || !r.dlg) continue;
      Rect other{}, common{};
      GetWindowBounds(GetDialogWindow(r.dlg), kWindowStructureRgn, &other);
      SectRect(&place, &other, &common);
      if (EqualRect(&common, &other)) return true;
    }
    return false;
  };
  for (int n = 0; n < kStatusWindowMax; ++n) {
    const SInt16 d = SInt16(n * step);
    Rect place = start;
    OffsetRect(&place, d, d);
    if (place.bottom > screen.bounds.bottom || place.right > screen.bounds.right) return;
    if (coversOne(place)) continue;
    if (d) MoveWindow(w, SInt16(content.left + d), SInt16(content.top + d), false);
    return;
  }
}

void kill_context(JCPEPInfo*& ctx) {
  if (!ctx) return;
  JCP_KillIOEvent(ctx);
  gDying.push_back(ctx);
  ctx = nullptr;
}

// ---- Pages --------------------------------------------------------------

struct PageDef {
  SInt16 id;
  const char* key;
  const char* fallback;
};
constexpr PageDef kPages[3] = {{kPageStatus, "TAB01=", "Status"},
                               {kPageDetail, "TAB02=", "Information"},
                               {kPageFtp, "TAB03=", "FTP"}};

// The page of the current tab, found by its title: the item list appended
// after the window's four items, then its setup and load callbacks.
void Load_Status_Dialog(STATUS_WND_INFO* rec) {
  if (!rec->tabData) return;
  Str255 title;
  if (CTGetTitle(rec->tabData, CTGetCurSel(rec->tabData), title) < 0) return;
  const short index = Get_Status_Fanction(rec, title);
  if (index < 0) return;
  const CONFIG_PAGE& page = rec->fanction[index];
  ShortenDITL(rec->dlg, SInt16(CountDITL(rec->dlg) - 4));
  Handle items = GetResource('DITL', page.contID);
  if (items) AppendDITL(rec->dlg, items, overlayDITL);
  rec->activePage = page.contID;
  if (page.cellData.dlg_setup) page.cellData.dlg_setup(rec->dlg);
  if (page.cellData.dlg_load_value) page.cellData.dlg_load_value(rec->dlg);
  Load_Page(rec);
}

void Build_Status_Tab(STATUS_WND_INFO* rec) {
  if (!Create_Status_Tab(rec)) return;
  int built = 0;
  for (const PageDef& p : kPages) {
    const std::string text = Ini_Text("[TAB]", p.key, p.fallback);
    Str255 title;
    pstr::set(title, sizeof title, text);
    if (CTAdd(rec->tabData, title, -1) < 0) continue;
    CONFIG_PAGE& page = rec->fanction[built++];
    Set_Status_Function(&page.cellData, p.id);
    page.enable = 1;
    page.contID = p.id;
    Copy_Text(page.contName, sizeof page.contName, text);
  }
  if (built == 3) CTSetCurSel(rec->tabData, 0, false);
  CTShow(rec->tabData, true);
}

void Handle_Status_Tab_Select(STATUS_WND_INFO* rec, EventRecord* event) {
  if (!rec->tabData) return;
  const SInt16 before = CTGetCurSel(rec->tabData);
  SInt16 part = 0;
  CTMouseDown(rec->tabData, event, &part);
  const SInt16 after = CTGetCurSel(rec->tabData);
  if (after == before || after < 0) return;
  Main_Change_Page(rec, before);
  if (before == 2) Hide_Ftp_Lists(rec);
  Load_Status_Dialog(rec);
  Rect all;
  InvalWindowRect(GetDialogWindow(rec->dlg), GetPortBounds(GetWindowPort(GetDialogWindow(rec->dlg)), &all));
}

// ---- Dialog handlers ----------------------------------------------------

Boolean Handle_Main_Select_Item(DialogRef dlg, EventRecord* event, DialogItemIndex item) {
  STATUS_WND_INFO* rec = record_of(dlg);
  if (!rec) return false;
  switch (item) {
    case 1:
      if (rec->confData) Open_Configuration(rec->confData, dlg, &rec->configData, &rec->pbox);
      return true;
    case 2:
      Exit_Status_Dialog(dlg);
      if (Get_Status_Open_Count() == 0) All_Done_Proc();
      return true;
    case 3:
      CollapseWindow(GetDialogWindow(dlg), true);
      return true;
    case 4: Handle_Status_Tab_Select(rec, event); return true;
    default:
      for (const CONFIG_PAGE& page : rec->fanction)
        if (page.enable == 1 && page.contID == rec->activePage && page.cellData.dlg_item_select)
          return page.cellData.dlg_item_select(dlg, event, item);
      return true;
  }
}

Boolean Handle_Status_Key_Input(DialogRef dlg, EventRecord* event) {
  const UInt8 key = UInt8((event->message & keyCodeMask) >> 8);
  if (key == kVK_Escape) {
    Invert_Button_Item(dlg, 2);
    Handle_Main_Select_Item(dlg, event, 2);
    return false;
  }
  if (key == kVK_Return || key == kVK_ANSI_KeypadEnter) {
    Invert_Button_Item(dlg, 1);
    Handle_Main_Select_Item(dlg, event, 1);
    return false;
  }
  return true;
}

short Handle_Status_Window_Update(DialogRef dlg, EventRecord*) {
  STATUS_WND_INFO* rec = record_of(dlg);
  WindowRef w = GetDialogWindow(dlg);
  BeginUpdate(w);
  Set_Content_Color(dlg);
  Use_Main_Font();
  if (rec && rec->tabData) CTUpdate(rec->tabData);
  DrawDialog(dlg);
  if (rec) Draw_Page(rec);
  EndUpdate(w);
  return 1;
}

short Handle_Status_Window_Active(DialogRef dlg, EventRecord* event) {
  Handle_Window_Active(dlg, event);
  STATUS_WND_INFO* rec = record_of(dlg);
  if (!rec) return 1;
  // What changed while the window was behind shows at once: a send window
  // that closed gives Options and Close back without waiting for a poll.
  if (rec->activePage == kPageFtp) {
    Page_Button_Check(rec);
    Load_Ftp_Page(rec);
    return 1;
  }
  Draw_Page(rec);
  Page_Button_Check(rec);
  if (rec->activePage == kPageStatus) Setup_Main_Load_Value(dlg);
  return 1;
}

}  // namespace

short Handle_Status_Window_Close(DialogRef dlg, EventRecord*) {
  Exit_Status_Dialog(dlg);
  if (Get_Status_Open_Count() == 0) All_Done_Proc();
  return 1;
}

// ---- Table --------------------------------------------------------------

void Init_Status_Table() {
  for (auto& r : StatusTbl) r.using_ = 0;
}

STATUS_WND_INFO* Get_Status_Table() {
  for (int i = 0; i < kStatusWindowMax; ++i) {
    STATUS_WND_INFO& r = StatusTbl[i];
    if (r.using_ == 1 || r.dlg) continue;
    r = STATUS_WND_INFO{};
    r.using_ = 1;
    r.controlID = SInt16(kFirstControl + i);
    r.jcpStat = new JCPEPInfo{};
    r.jcpInfo = new JCPEPInfo{};
    r.hooks = &kHooks;
    r.confData = new (std::nothrow) CONFIG_WND_INFO{};
    r.fSelectSpecs = new (std::nothrow) FSS_LIST{};
    Status_Sound_Prepare(&r);
    return &r;
  }
  return nullptr;
}

void Free_Status_Table(STATUS_WND_INFO* rec) {
  if (!rec) return;
  kill_context(rec->jcpStat);
  kill_context(rec->jcpInfo);
  if (rec->confData && rec->confData->using_ == 1) Exit_Config_Dialog(rec->confData);
  delete rec->confData;
  delete rec->fSelectSpecs;
  Status_Sound_Dispose(rec);
  *rec = STATUS_WND_INFO{};
}

void Reap_Request_Contexts(bool all) {
  for (auto it = gDying.begin(); it != gDying.end();) {
    if (JCP_IsTerminated(*it) == 0 && all) {
      for (int i = 0; i < 400 && JCP_IsTerminated(*it) == 0; ++i) {
        EventRecord e;
        WaitNextEvent(0, &e, 1, nullptr);
      }
    }
    if (JCP_IsTerminated(*it) != 0 || all) {
      // A context that never ended by shut-down is left to the process's
      // end rather than freed under a pending notifier.
      if (JCP_IsTerminated(*it) != 0) delete *it;
      it = gDying.erase(it);
    } else {
      ++it;
    }
  }
}

STATUS_WND_INFO* Search_Status_Table(const PBOXinfo* pbox) {
  for (auto& r : StatusTbl)
    if (r.dlg && r.pbox.pbi_hash == pbox->pbi_hash &&
        std::memcmp(r.pbox.pbi_nodeaddr, pbox->pbi_nodeaddr, 6) == 0)
      return &r;
  return nullptr;
}

STATUS_WND_INFO* Get_ControlID_Dialog(SInt16 ctrl) {
  for (auto& r : StatusTbl)
    if (r.dlg && r.controlID == ctrl) return &r;
  return nullptr;
}

DialogRef Get_Window_Dialog(SInt16 ctrl) {
  STATUS_WND_INFO* r = Get_ControlID_Dialog(ctrl);
  return r ? r->dlg : nullptr;
}

SInt16 Get_Window_Control_ByGPort(WindowRef window) {
  for (auto& r : StatusTbl)
    if (r.dlg && GetDialogWindow(r.dlg) == window) return r.controlID;
  return -1;
}

short Get_Status_Open_Count() {
  short n = 0;
  for (auto& r : StatusTbl)
    if (r.dlg) ++n;
  return n;
}
namespace {
STATUS_WND_INFO* checked_window() { return Get_ControlID_Dialog(Get_Window_Control(Get_Check_Window_Menu())); }
}  // namespace

short Get_Config_Open_Count() {
  STATUS_WND_INFO* rec = checked_window();
  return rec && rec->confData && rec->confData->using_ == 1 ? 1 : 0;
}

short Get_Ftp_Open_Count() {
  STATUS_WND_INFO* rec = checked_window();
  return rec && Do_Ftp_Dialog_Open(rec->dlg) ? 1 : 0;
}

void Update_Status_Window(EventRecord*) {
  for (auto& r : StatusTbl)
    if (r.using_ == 1 && r.dlg && Update_Status_Window_Info(&r) == 0) Update_Config_Window_Info(r.confData);
  Update_Send_Window();
  Reap_Request_Contexts(false);
}

void Retire_Request_Context(JCPEPInfo*& ctx) { kill_context(ctx); }

STATUS_WND_INFO* Page_Record(DialogRef dlg) {
  const void* ref = dlg ? Get_Usr_Window_RefCon(dlg) : nullptr;
  // Another dialog's reference is no status window's record.
  for (auto& r : StatusTbl)
    if (&r == ref && r.dlg == dlg) return &r;
  return nullptr;
}

short Create_Status_Tab(STATUS_WND_INFO* rec) {
  if (!rec || !rec->dlg) return 0;
  Rect item;
  Get_Dialog_Item_Rect(rec->dlg, 4, &item);
  const Rect tabs{item.top, item.left, SInt16(item.top + 260), item.right};
  const Rect page{SInt16(item.top + 20), item.left, SInt16(item.top + 260), item.right};
  rec->tabData = CTNew(GetDialogWindow(rec->dlg), &tabs, &page, 16, false, 0xFFFFFF, true);
  if (!rec->tabData) return 0;
  Set_Config_Tab_Look(rec->tabData);
  return 1;
}

void Set_Status_Function(CONF_TAB_CELL* cell, SInt16 pageID) {
  if (!cell) return;
  *cell = CONF_TAB_CELL{};
  switch (pageID) {
    case kPageStatus: *cell = {nullptr, Status_Main_Select_Item, Setup_Main_Load_Value, nullptr, nullptr}; break;
    case kPageDetail: *cell = {nullptr, Status_Detail_Select_Item, Setup_Detail_Load_Value, nullptr, nullptr}; break;
    case kPageFtp: *cell = {Setup_Ftp_Update, Status_Ftp_Select_Item, Setup_Ftp_Load_Value, nullptr, nullptr}; break;
    default: break;
  }
}

short Get_Status_Fanction(STATUS_WND_INFO* rec, ConstStr255Param title) {
  if (!rec || !title) return -1;
  for (short i = 0; i < 3; ++i) {
    const CONFIG_PAGE& page = rec->fanction[i];
    if (page.enable != 1) continue;
    const std::size_t have = strnlen(page.contName, sizeof page.contName - 1);
    if (have >= title[0] && std::memcmp(page.contName, title + 1, title[0]) == 0) return i;
  }
  return -1;
}

short Set_Status_Print(DialogRef dlg, const PBOXinfo* pbox, short mode) {
  STATUS_WND_INFO* rec = record_of(dlg);
  if (!rec || !pbox) return 0;
  std::array<UInt8, kPBOXinfoPackedSize> was{}, now{};
  PackPBOXinfo(rec->pbox, was);
  PackPBOXinfo(*pbox, now);
  const bool differs = was != now;
  if (mode > 0) rec->pbox = *pbox;
  if (mode < 2) rec->using_ = 1;
  Str255 title;
  if (rec->pbox.pbi_inuse == 1 && build_title(rec->pbox, title)) {
    SetWTitle(GetDialogWindow(dlg), title);
    const short pos = Get_Menu_Namber(rec->controlID);
    if (pos >= 0) Dispose_Window_Menu(pos);
    Delete_Window_Tbl(rec->controlID);
    Append_Window_Tbl(rec->controlID, Append_Window_Menu(GetDialogWindow(dlg), 1));
  }
  // The display starts again only for a window that watches another
  // printer now.
  if (differs && mode > 0) {
    rec->statUpTick = rec->infoUpTick = 0;
    rec->info = VEMOINFO{};
    rec->nic = NICINFO{};
    rec->saved = StatusMemory{};
    // The power state was the other printer's: the new one starts from no
    // data, as a new window does.
    rec->sleepCheck = 0;
    Set_Power_State(rec, 0, "printer changed");
    Get_First_Status(rec, 1);
    Page_Button_Check(rec);
    Invalidate_Page(rec);
  }
  return 1;
}

short Setup_Configuration(DialogRef dlg, const CONFIGURATION* config, short flag) {
  STATUS_WND_INFO* rec = record_of(dlg);
  if (!rec || !config || flag == 0) return 0;
  rec->configData = *config;
  return 1;
}

short Setup_Public_Config(DialogRef dlg, const CONFIGURATION* config, short flag) {
  STATUS_WND_INFO* rec = record_of(dlg);
  if (!rec || !config || flag == 0) return 0;
  if (config->Protocol_1 != 1 && config->Protocol_2 != 1) return 1;
  rec->configData.Protocol_1 = config->Protocol_1;
  rec->configData.Protocol_2 = config->Protocol_2;
  rec->configData.choiceNetworkzone = config->choiceNetworkzone;
  std::memcpy(rec->configData.SearchZoneName, config->SearchZoneName, sizeof config->SearchZoneName);
  rec->backConfData = rec->configData;
  return 1;
}

// ---- Opening and closing ----------------------------------------------------

short Open_Status_Window(const UInt8* record, std::size_t size) {
  PBOXinfo pbox{};
  UInt8 oldVersion = 0;
  const SInt32 mode = Open_Infomation_File(&pbox, std::span<const UInt8>(record, size), &oldVersion);
  if (STATUS_WND_INFO* open = Search_Status_Table(&pbox)) {
    Get_SubDlg_Table(open->dlg);
    return 1;
  }
  STATUS_WND_INFO* rec = Get_Status_Table();
  if (!rec) {
    tb::TraceRefusal("monitor", "no free status window");
    return 0;
  }
  rec->pbox = pbox;
  First_Get_Font_Data();
  rec->configData.oldVerCompati = oldVersion;
  Get_Monitor_Config(&rec->pbox, &rec->configData);
  Str255 title;
  build_title(rec->pbox, title);
  rec->dlg = Open_Usr_Dialog(kStatusDialogID, title, Handle_Main_Select_Item, Handle_Status_Window_Update, nullptr,
                             Handle_Status_Window_Active, Handle_Status_Window_Close, Handle_Status_Key_Input);
  if (!rec->dlg) {
    Free_Status_Table(rec);
    return 0;
  }
  Set_Content_Color(rec->dlg);
  SetDialogDefaultItem(rec->dlg, 1);
  const short item = Append_Window_Menu(GetDialogWindow(rec->dlg), 1);
  Append_Window_Tbl(rec->controlID, item);
  Get_First_Status(rec, mode);
  Set_Usr_Window_RefCon(rec->dlg, rec);
  Set_Status_Machine_Info(rec->dlg);
  Build_Status_Tab(rec);
  Load_Status_Dialog(rec);
  if (rec->configData.monitorOption & 1)
    MoveWindow(GetDialogWindow(rec->dlg), SInt16(rec->configData.windowH), SInt16(rec->configData.windowV), false);
  else
    place_clear_of_others(rec);
  if (rec->configData.activeErrWin == 0) {
    rec->showWindow = 0;
    ShowWindow(GetDialogWindow(rec->dlg));
    SelectWindow(GetDialogWindow(rec->dlg));
  } else {
    rec->showWindow = 1;
  }
  return 1;
}

void Exit_Status_Dialog(DialogRef dlg) {
  STATUS_WND_INFO* rec = record_of(dlg);
  if (!rec) return;
  Exit_Consum_Dialog(&rec->sumData);
  WindowRef w = GetDialogWindow(dlg);
  if (rec->configData.monitorOption & 1) {
    Rect bounds;
    GetWindowBounds(w, kWindowContentRgn, &bounds);
    rec->configData.windowH = UInt16(bounds.left);
    rec->configData.windowV = UInt16(bounds.top);
  }
  ConfigData = rec->configData;
  if (rec->pbox.pbi_inuse) Set_Config_Data(&rec->pbox, &rec->configData, 1);
  Set_Configuration();
  if (rec->pbox.pbi_inuse) {
    Save_Status_DataEx(&rec->pbox);
    Save_Status_Data(&rec->pbox);
  }
  Delete_Stat_Com_Data(&rec->pbox);
  // A transfer to this window's printer ends with the window.
  for (SEND_WND_INFO& slot : SendTbl)
    if (slot.using_ && slot.ownerDlg == dlg) FTP_Cancel_Send(&slot);
  if (rec->confData && rec->confData->using_ == 1) Exit_Config_Dialog(rec->confData);
  Dispose_Ftp_Lists(rec);
  if (rec->tabData) CTDispose(rec->tabData);
  rec->tabData = nullptr;
  Dispose_Page_Views(rec);
  const short pos = Get_Menu_Namber(rec->controlID);
  Close_Usr_Dialog(dlg);
  if (pos >= 0) Dispose_Window_Menu(pos);
  Delete_Window_Tbl(rec->controlID);
  Free_Status_Table(rec);
}

short Close_All_Status_Window() {
  short closed = 0;
  for (auto& r : StatusTbl)
    if (r.using_ == 1 && r.dlg) {
      Exit_Status_Dialog(r.dlg);
      closed = 1;
    }
  return closed;
}

void Menu_Exit_Status_Window(SInt16 ctrl) {
  if (DialogRef d = Get_Window_Dialog(ctrl)) Handle_Status_Window_Close(d, nullptr);
}

void Menu_Show_Status_Window(SInt16 ctrl) {
  STATUS_WND_INFO* rec = Get_ControlID_Dialog(ctrl);
  if (!rec) return;
  Show_Status_Whole(rec);
  Bring_Status_Forward(rec);
}

void Show_Status_Whole(STATUS_WND_INFO* rec) {
  if (!rec || !rec->dlg) return;
  const WindowRef w = GetDialogWindow(rec->dlg);
  rec->showWindow = 0;
  // A window its Hide button tucked away to its title bar is brought back
  // whole, as a hidden one is.
  CollapseWindow(w, false);
  ShowWindow(w);
}

void Bring_Status_Forward(STATUS_WND_INFO* rec) {
  if (!rec || !rec->dlg) return;
  SelectWindow(GetDialogWindow(rec->dlg));
  if (const DialogRef holder = holder_of(rec)) SelectWindow(GetDialogWindow(holder));
  // A movable-modal dialog stays in front of every other window.
  if (OpenMovableDlg) SelectWindow(GetDialogWindow(OpenMovableDlg));
}

void Menu_Hide_Status_Window(SInt16 ctrl) {
  STATUS_WND_INFO* rec = Get_ControlID_Dialog(ctrl);
  if (!rec) return;
  rec->showWindow = 1;
  Exit_Consum_Dialog(&rec->sumData);
  HideWindow(GetDialogWindow(rec->dlg));
}

short Get_SubDlg_Table(DialogRef dlg) {
  if (OpenMovableDlg) return dlg == OpenMovableDlg ? 1 : 0;
  STATUS_WND_INFO* rec = family_of(dlg);
  if (!rec) return 0;
  const WindowRef status = GetDialogWindow(rec->dlg);
  if (dlg == rec->dlg) {
    // The window that holds the status window comes forward instead, and
    // the status window takes no press while it stands.
    if (holder_of(rec)) {
      Bring_Status_Forward(rec);
      return 0;
    }
    if (FrontWindow() == status && IsWindowVisible(status)) return 1;
    if (rec->showWindow || !IsWindowVisible(status)) Menu_Show_Status_Window(rec->controlID);
    SelectWindow(status);
    return 1;
  }
  // A window of the family comes forward with its status window right
  // behind it.
  if (FrontWindow() != GetDialogWindow(dlg)) {
    SelectWindow(status);
    SelectWindow(GetDialogWindow(dlg));
  }
  return 1;
}

// ---- Texts and views ------------------------------------------------------

void Get_First_Status(STATUS_WND_INFO* rec, SInt32 mode) {
  VEMOSTATUSSET& v = rec->viewData;
  v.ErrID = 0;
  v.IconID = 150;
  if (mode == 0 || mode == 1) {
    v.statusID = -1;
    const char* mes = mode == 0 ? "MESSAGE" : "MESSAGE00";
    const char* com = mode == 0 ? "COMMENT" : "COMMENT00";
    // The keys are length-prefixed, as the display fill keeps them.
    std::memset(v.mesKey, 0, sizeof v.mesKey);
    std::memset(v.comKey, 0, sizeof v.comKey);
    v.mesKey[0] = UInt8(std::strlen(mes));
    v.comKey[0] = UInt8(std::strlen(com));
    std::memcpy(v.mesKey + 1, mes, v.mesKey[0]);
    std::memcpy(v.comKey + 1, com, v.comKey[0]);
  }
  Get_Status_Image(150, nullptr, &rec->statImg);
  // The values of a printer that has not answered: no trays, no count.
  VEMOINFO blank{};
  blank.SubPageNum = 65535;
  FirstMessage(&blank, Display_Key(v.mesKey).c_str(), v.messageStr, &v.mesLine);
  FirstComment(Display_Key(v.comKey).c_str(), v.commentStr);
  Get_Memory_Bar(&blank, v.szMemory, &v.memory);
  GetSendBar(&blank, v.szData, &v.data, v.szGrada);
  GetCopies(&blank, &v.SubPageNum, &v.copies);
  GetPaperSize(&blank, v.szSize, &v.paper, &v.margin);
  GetDpiSize(&blank, &v.SubDpiX, &v.SubDpiY);
  v.powerIcon = 0;
}

void Status_Window_View(PSTATUS_WND_INFO* base) {
  auto* rec = static_cast<STATUS_WND_INFO*>(base);
  // An unchanged reply that moved the power state changes what the page
  // shows too (an asleep printer's values give way to "? x ? dpi").
  if (rec->decodeResult != 0 || rec->infoFlag != 0 || rec->powerCheck != rec->sleepCheck) {
    rec->sleepCheck = rec->powerCheck;
    GetDispStat(rec);
    if (rec->activePage == kPageStatus) {
      if (rec->sumData.using_) {
        if (rec->info.PopStat == kPopSleep || rec->info.MainStsErr == 5)
          Exit_Consum_Dialog(&rec->sumData);
        else
          Refresh_Consum_Printer_Info(&rec->sumData, &rec->info);
      }
      Invalidate_Page(rec);
    } else if (rec->activePage == kPageDetail) {
      GetDispInfo(rec);
    }
  }
  Page_Button_Check(rec);
  Status_Popup_Decision(rec, rec->info.PopStat);
}

void Error_Window_View(PSTATUS_WND_INFO* base) {
  auto* rec = static_cast<STATUS_WND_INFO*>(base);
  Status_Popup_Decision(rec, kPopCommError);
  // The next answer counts as new whatever it holds.
  rec->saved = StatusMemory{};
  rec->sleepCheck = 8;
  Set_Power_State(rec, 8, "printer lost");
  Get_Error_Status(rec);
  Draw_Error_Status(rec);
  if (rec->activePage == kPageStatus) Invalidate_Page(rec);
}

void Get_Status_Image(SInt16 iconId, const VEMOINFO*, STAT_IMAGE* picture) {
  picture->iconNo = iconId;
  picture->animeCnt = iconId >= 152 && iconId <= 162 ? 3 : 0;
}

short Initialize_Status_Image() {
  delete[] gImage;
  gImage = new (std::nothrow) STAT_IMAGE[kStatImageRows]();
  return gImage ? 1 : 0;
}

void Build_Status_Image() {
  if (!gImage) return;
  int n = 0;
  for (const STAT_IMAGE& row : gStatAnime)
    if (row.iconNo > 149) gImage[n++] = row;
}

void Dispose_Status_Image() {
  delete[] gImage;
  gImage = nullptr;
}

const STAT_IMAGE* Find_Status_Image(SInt32 statNo, SInt32 typeNo) {
  if (!gImage) return nullptr;
  for (int i = 0; i < kStatImageRows; ++i)
    if (gImage[i].iconNo > 149 && gImage[i].statNo == statNo && gImage[i].typeNo == typeNo) return &gImage[i];
  return nullptr;
}

// The settings dialog (500): two tabbed pages, "TCP/IP" (the broadcast
// list: Add, Delete) and "Timeout" (the search wait and the retry count),
// with OK, Cancel and their checks. Both pages are checked on OK, whichever
// is in view, so a bad value typed on one page is never saved from the
// other.
#include <cstdio>
#include <cstring>
#include <string>

#include "506Q_Lib/DialogItems.h"
#include "common/AppFonts.h"
#include "common/StrConv.h"
#include "common/TextFormat.h"
#include "FanctionLib/ConfigDialog.h"
#include "filetransfer/Upcaster.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/quickdraw.h"
#include "toolbox/resources.h"
#include "toolbox/trace.h"

namespace upc {

namespace {

constexpr DialogItemIndex kOK = 1, kCancel = 2, kTabs = 3;
constexpr short kFrameItems = 3;
// TCP/IP page.
constexpr DialogItemIndex kAddrEntry = 4, kAddrList = 5, kAdd = 6, kDelete = 7, kTcpFrame = 8, kTcpLabel = 9;
// Timeout page.
constexpr DialogItemIndex kSearchLabel = 4, kWaitLabel = 5, kWaitEntry = 6, kRetryLabel = 7, kRetryEntry = 8,
                          kTimeoutFrame = 9, kCommLabel = 10;
constexpr int kListMax = 16;

struct CONFIG_DATA {
  DialogRef dlg;
  CTAB_DATA* tab;
  CLIST_DATA* list;
  SInt16 configPage;  // the page in view: 501 or 502
  // The Timeout page's texts as last typed, checked again on OK.
  Str255 waitText;
  Str255 retryText;
  Boolean timeoutSeen;
  Boolean inUse;
};

CONFIG_DATA confData{};
CONFIGURATION backConf{};
BROAD_DATA backEnv{};
Boolean gStatus = 0;

std::string item_text(DialogItemIndex item) {
  Handle h = nullptr;
  Get_Dialog_Item_Handle(confData.dlg, item, &h);
  Str255 text = {0};
  if (h) GetDialogItemText(h, text);
  return pstr::str(text);
}

void set_item_text(DialogItemIndex item, const std::string& text) {
  Handle h = nullptr;
  Get_Dialog_Item_Handle(confData.dlg, item, &h);
  Str255 t;
  pstr::set(t, sizeof t, text);
  if (h) SetDialogItemText(h, t);
}

void set_caption(DialogItemIndex item, const char* section, const char* key, const char* fallback) {
  Str255 text;
  Get_Ini_Text(text, section, key, 0, fallback);
  ControlRef control = nullptr;
  if (GetDialogItemAsControl(confData.dlg, item, &control) == noErr && control)
    SetControlTitle(control, text);
  else
    set_item_text(item, pstr::str(text));
}

void enable(DialogItemIndex item, bool on) {
  ControlRef control = nullptr;
  if (GetDialogItemAsControl(confData.dlg, item, &control) == noErr && control) HiliteControl(control, on ? 0 : 255);
}

// The input message: the format of [STATIC] "INPUT=" applied to the label.
void Setup_Error_Message(DialogItemIndex labelItem) {
  Str255 format;
  Get_Ini_Text(format, "[STATIC]", "INPUT=", 22, "Enter %s correctly.");
  const std::string label = item_text(labelItem);
  char text[512];
  std::string f = pstr::str(format);
  if (Format_Strings(text, sizeof text, f.c_str(), {label.c_str()}) < 0) std::snprintf(text, sizeof text, "%s", f.c_str());
  Str255 message;
  pstr::set(message, sizeof message, text);
  Set_Alert_Dialog_Items(kAlertInput, 2, message);
}

void list_message(const char* key) {
  Str255 text;
  Get_Ini_Text(text, "[STATIC]", key, 0, "");
  Set_Alert_Dialog_Items(kAlertList, 2, text);
}

// Digits only, a non-digit ends and fails the number; -1 when it fails.
long parse_number(const std::string& text) {
  if (text.empty() || text.size() > 9) return -1;
  long n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

// ---- TCP/IP page -------------------------------------------------------------

void Setup_TCP_Load_Value() {
  enable(kDelete, false);
  if (!confData.list) {
    Rect r;
    Get_Dialog_Item_Rect(confData.dlg, kAddrList, &r);
    confData.list = CLNew(GetDialogWindow(confData.dlg), &r, Point{15, CLOneColumnWidth(r)}, false, true, false);
    if (confData.list) {
      // No header: the first address is the list's top row.
      CLAddColumn(confData.list, reinterpret_cast<const UInt8*>("\0"), CLOneColumnWidth(r), kCLSortText | kCLNoHeader);
      CLEnableHeader(confData.list, false);
      for (UInt32 i = 1; i < EnvInfo.tcp_count && i < UInt32(kBroadcastMax); ++i) {
        char text[kBroadcastTextSize + 1];
        std::memcpy(text, EnvInfo.broadcast[i], kBroadcastTextSize);
        text[kBroadcastTextSize] = 0;
        Str255 t;
        pstr::set(t, sizeof t, text);
        CLSetCellOne(confData.list, Cell{static_cast<SInt16>(i - 1), 0}, t);
      }
    }
  } else {
    CLShow(confData.list, true);
  }
  set_caption(kAdd, "[BUTTON]", "ADD=", "Add");
  set_caption(kDelete, "[BUTTON]", "DELETE=", "Delete");
  set_caption(kTcpLabel, "[LABEL]", "BROADCAST=", "Broadcast");
}

// The list back into EnvInfo: entry 0 the configured address, then the rows.
Boolean Setup_TCP_Get_Value() {
  BROAD_DATA env{};
  std::snprintf(env.broadcast[0], kBroadcastTextSize, "%s", Dotted(ConfigData.brAddr).c_str());
  UInt32 count = 1;
  if (confData.list) {
    SInt16 rows = CLGetCount(confData.list);
    for (SInt16 r = 0; r < rows && count < UInt32(kBroadcastMax); ++r) {
      Str255 t;
      SInt16 len = sizeof t;
      if (CLGetCellOne(confData.list, t, &len, Cell{r, 0}) != 0 && len <= 0) continue;
      pstr::toC(env.broadcast[count], kBroadcastTextSize, t);
      ++count;
    }
  }
  env.tcp_count = count;
  EnvInfo = env;
  return 1;
}

void tcp_add() {
  const std::string typed = item_text(kAddrEntry);
  const UInt32 addr = Parse_IPv4(typed.c_str());
  if (addr == 0) {
    Setup_Error_Message(kTcpLabel);
    return;
  }
  // The address goes in as parsed, so the list and the file hold one form
  // of it whatever was typed around it.
  const std::string dotted = Dotted(addr);
  SInt16 rows = confData.list ? CLGetCount(confData.list) : 0;
  for (SInt16 r = 0; r < rows; ++r) {
    Str255 t;
    SInt16 len = sizeof t;
    CLGetCellOne(confData.list, t, &len, Cell{r, 0});
    char text[64];
    pstr::toC(text, sizeof text, t);
    if (Parse_IPv4(text) == addr) {
      list_message("IPALREADY=");
      return;
    }
  }
  if (rows >= kListMax) {
    list_message("LISTMAX=");
    return;
  }
  Str255 t;
  pstr::set(t, sizeof t, dotted);
  CLSetCellOne(confData.list, Cell{rows, 0}, t);
  set_item_text(kAddrEntry, "");
  tb::PortSaver port(GetDialogPort(confData.dlg));
  CLUpdate(confData.list, nullptr, 1);
}

void tcp_delete() {
  if (!confData.list) return;
  Cell cell{0, 0};
  if (!CLGetSelect(confData.list, &cell, true)) return;
  CLDelRow(confData.list, 1, cell.v);
  CLClearSelect(confData.list, nullptr);
  enable(kDelete, false);
  tb::PortSaver port(GetDialogPort(confData.dlg));
  CLUpdate(confData.list, nullptr, 1);
}

// ---- Timeout page --------------------------------------------------------------

void Setup_Timeout_Load_Value() {
  char text[16];
  std::snprintf(text, sizeof text, "%d", int(static_cast<SInt16>(ConfigData.rcvWait)));
  set_item_text(kWaitEntry, confData.timeoutSeen ? pstr::str(confData.waitText) : text);
  std::snprintf(text, sizeof text, "%d", int(ConfigData.retry));
  set_item_text(kRetryEntry, confData.timeoutSeen ? pstr::str(confData.retryText) : text);
  set_caption(kSearchLabel, "[LABEL]", "PRN_SEARCH=", "");
  set_caption(kWaitLabel, "[LABEL]", "MACTIMEOUT=", "Wait");
  set_caption(kRetryLabel, "[LABEL]", "RETRY=", "Retries");
  set_caption(kCommLabel, "[LABEL]", "COMM_ERROR=", "");
  confData.timeoutSeen = 1;
  pstr::set(confData.waitText, sizeof confData.waitText, item_text(kWaitEntry));
  pstr::set(confData.retryText, sizeof confData.retryText, item_text(kRetryEntry));
}

// Checks the kept texts: 0 for a good pair (stored), else the label item of
// the bad one.
DialogItemIndex timeout_check(bool store) {
  const long wait = parse_number(pstr::str(confData.waitText));
  if (wait < 300 || wait > 10000) return kWaitLabel;
  const long retry = parse_number(pstr::str(confData.retryText));
  if (store) ConfigData.rcvWait = static_cast<UInt16>(wait);
  if (retry < 1 || retry > 5) return kRetryLabel;
  if (store) ConfigData.retry = static_cast<SInt16>(retry);
  return 0;
}

Boolean Setup_Timeout_Get_Value() {
  if (confData.configPage == kConfigPageTimeout) {
    pstr::set(confData.waitText, sizeof confData.waitText, item_text(kWaitEntry));
    pstr::set(confData.retryText, sizeof confData.retryText, item_text(kRetryEntry));
  }
  DialogItemIndex bad = timeout_check(true);
  if (bad && gStatus) {
    Setup_Error_Message(bad);
    return 0;
  }
  return 1;
}

Boolean Handle_TCP_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item) {
  if (item == kAddrList && confData.list && event) {
    tb::PortSaver port(GetDialogPort(dialog));
    Cell cell{0, 0};
    SInt16 sortPart = 0;
    CLMouseDown(confData.list, event, &cell, &sortPart, false);
    Cell sel{0, 0};
    if (CLGetSelect(confData.list, &sel, true)) enable(kDelete, true);
  } else if (item == kAdd) {
    tcp_add();
  } else if (item == kDelete) {
    tcp_delete();
  }
  return 0;
}

Boolean Handle_Timeout_Select_Item(DialogRef, EventRecord*, DialogItemIndex) { return 0; }

// The tab strip over item 3, the pages' frame below it.
void Build_Config_Tab(DialogRef dialog) {
  Rect tabRect;
  Get_Dialog_Item_Rect(dialog, kTabs, &tabRect);
  // The frame starts where the selected tab ends, so that the tab stands on it.
  Rect frame{static_cast<SInt16>(tabRect.top + CTFrontTabHeight(143)), tabRect.left,
             static_cast<SInt16>(tabRect.bottom + 170), tabRect.right};
  confData.tab = CTNew(GetDialogWindow(dialog), &tabRect, &frame, 16, false, 0xFFFFFF, true);
  if (confData.tab) {
    Set_Config_Tab_Look(confData.tab);
    Str255 t;
    Get_Ini_Text(t, "[CONFIGTAB]", "TAB01=", 0, "TCP/IP");
    CTAdd(confData.tab, t, 0);
    Get_Ini_Text(t, "[CONFIGTAB]", "TAB02=", 0, "Timeout");
    CTAdd(confData.tab, t, 1);
    CTSetCurSel(confData.tab, 0, false);
    CTShow(confData.tab, true);
  }
}

// The page whose tab has this title: its index (0 TCP/IP, 1 Timeout), -1
// for none.
short Get_Config_Fanction(ConstStr255Param title) {
  const char* keys[2] = {"TAB01=", "TAB02="};
  for (short i = 0; i < 2; ++i) {
    Str255 t;
    Get_Ini_Text(t, "[CONFIGTAB]", keys[i], 0, i == 0 ? "TCP/IP" : "Timeout");
    if (title && title[0] && t[0] >= title[0] && std::memcmp(t + 1, title + 1, title[0]) == 0) return i;
  }
  return -1;
}

// ---- Pages ---------------------------------------------------------------------

void Setup_TCP_Update(DialogRef dialog) {
  Draw_Group_Frame_Item(dialog, kTcpFrame);
  if (confData.list) CLUpdate(confData.list, nullptr, 1);
}

void Setup_Timeout_Update(DialogRef dialog) { Draw_Group_Frame_Item(dialog, kTimeoutFrame); }

void draw_page() {
  if (!confData.dlg) return;
  tb::PortSaver port(GetDialogPort(confData.dlg));
  if (confData.configPage == kConfigPageTCP)
    Setup_TCP_Update(confData.dlg);
  else
    Setup_Timeout_Update(confData.dlg);
}

void load_page(SInt16 page) {
  ShortenDITL(confData.dlg, static_cast<DialogItemIndex>(CountDITL(confData.dlg) - kFrameItems));
  const SInt16 saved = CurResFile();
  UseResFile(Appl_Rsrc_Fork_No);
  Handle items = GetResource('DITL', page);
  UseResFile(saved);
  if (items) AppendDITL(confData.dlg, items, overlayDITL);
  confData.configPage = page;
  if (page == kConfigPageTCP)
    Setup_TCP_Load_Value();
  else
    Setup_Timeout_Load_Value();
  tb::PortSaver port(GetDialogPort(confData.dlg));
  DrawDialog(confData.dlg);
  draw_page();
}

// The page being left takes its values; 0 keeps it.
short Delete_Config_Dialog() {
  if (confData.configPage == kConfigPageTCP) {
    Setup_TCP_Get_Value();
    if (confData.list) CLShow(confData.list, false);
    return 1;
  }
  gStatus = 0;
  Setup_Timeout_Get_Value();
  return 1;
}

void Exit_Config_Dialog() {
  if (confData.list) CLDispose(confData.list);
  if (confData.tab) CTDispose(confData.tab);
  DialogRef dlg = confData.dlg;
  confData = CONFIG_DATA{};
  if (OpenMovableDlg == dlg) Window_Select_Mode(nullptr);
  if (dlg) Close_Usr_Dialog(dlg);
}

short Setup_Config_Update_Value(DialogRef dialog, EventRecord*) {
  BeginUpdate(GetDialogWindow(dialog));
  Set_Content_Color(dialog);
  // The strip and the pages' frame first: the page's items lie on it.
  if (confData.tab) CTUpdate(confData.tab);
  DrawDialog(dialog);
  draw_page();
  EndUpdate(GetDialogWindow(dialog));
  return 1;
}

void do_ok() {
  gStatus = 1;
  Boolean ok = confData.configPage == kConfigPageTCP ? Setup_TCP_Get_Value() : Setup_Timeout_Get_Value();
  gStatus = 0;
  if (!ok) return;
  // The other page too: a bad value typed there shows on its own page.
  if (confData.configPage == kConfigPageTCP && confData.timeoutSeen) {
    if (DialogItemIndex bad = timeout_check(false)) {
      Delete_Config_Dialog();
      load_page(kConfigPageTimeout);
      if (confData.tab) CTSetCurSel(confData.tab, 1, true);
      Setup_Error_Message(bad);
      return;
    }
    timeout_check(true);
  }
  UInt8 now[kFtpConfigSize], before[kFtpConfigSize];
  Pack_Ftp_Config(ConfigData, std::span<UInt8, kFtpConfigSize>(now, kFtpConfigSize));
  Pack_Ftp_Config(backConf, std::span<UInt8, kFtpConfigSize>(before, kFtpConfigSize));
  if (std::memcmp(now, before, kFtpConfigSize) != 0) Set_Configuration();
  if (std::memcmp(&EnvInfo, &backEnv, sizeof EnvInfo) != 0) Save_Status_Data(&EnvInfo);
  Exit_Config_Dialog();
}

void do_cancel() {
  ConfigData = backConf;
  EnvInfo = backEnv;
  Exit_Config_Dialog();
}

}  // namespace

DialogRef Config_Dialog() { return confData.inUse ? confData.dlg : nullptr; }
SInt16 Config_Page() { return confData.configPage; }
CLIST_DATA* Config_List() { return confData.list; }

short Open_Configuration() {
  if (confData.inUse) return 0;
  // A transfer window or an outcome alert holds the lock: the dialog would
  // take the lock over and, closing, free the window behind while that one
  // still stands.
  if (OpenMovableDlg) {
    SysBeep(1);
    return 0;
  }
  confData = CONFIG_DATA{};
  backConf = ConfigData;
  backEnv = EnvInfo;
  Str255 title;
  Get_Ini_Text(title, "[TITLE]", "ENVIRONMENT=", 0, "Settings");
  DialogRef dialog =
      Open_Usr_Dialog(kConfigDialogID, title, upc::Handle_Config_Select_Item, Setup_Config_Update_Value, nullptr, Handle_Window_Active, nullptr,
                      upc::Handle_Config_Key_Input);
  if (!dialog) return 0;
  confData.inUse = 1;
  confData.dlg = dialog;
  Set_Usr_Window_RefCon(dialog, &confData);
  Set_Dialog_Font(dialog, 1);
  SetDialogDefaultItem(dialog, kOK);

  Build_Config_Tab(dialog);
  set_caption(kOK, "[BUTTON]", "OK=", "OK");
  set_caption(kCancel, "[BUTTON]", "CANCEL=", "Cancel");
  load_page(kConfigPageTCP);
  Window_Select_Mode(dialog);
  ShowWindow(GetDialogWindow(dialog));
  return 1;
}

void Close_Configuration() {
  if (confData.inUse) do_cancel();
}

short Config_Select_Tab(short index) {
  if (!confData.inUse) return 0;
  const SInt16 page = index == 0 ? kConfigPageTCP : kConfigPageTimeout;
  if (page == confData.configPage) return 1;
  if (!Delete_Config_Dialog()) {
    if (confData.tab) CTSetCurSel(confData.tab, confData.configPage == kConfigPageTCP ? 0 : 1, true);
    return 0;
  }
  load_page(page);
  if (confData.tab) CTSetCurSel(confData.tab, index, true);
  return 1;
}

Boolean Handle_Config_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item) {
  if (!confData.inUse || dialog != confData.dlg) return false;
  switch (item) {
    case kOK: do_ok(); return true;
    case kCancel: do_cancel(); return true;
    case kTabs: {
      if (!confData.tab || !event) return true;
      SInt16 pushed = -1;
      tb::PortSaver port(GetDialogPort(dialog));
      if (CTMouseDown(confData.tab, event, &pushed) == 1 && pushed >= 0) {
        Str255 title;
        CTGetTitle(confData.tab, pushed, title);
        short page = Get_Config_Fanction(title);
        if (page >= 0) Config_Select_Tab(page);
      }
      return true;
    }
    default: break;
  }
  if (confData.configPage == kConfigPageTCP) {
    Handle_TCP_Select_Item(dialog, event, item);
    gStatus = 0;
    Setup_TCP_Get_Value();
  } else {
    Handle_Timeout_Select_Item(dialog, event, item);
    gStatus = 0;
    Setup_Timeout_Get_Value();
  }
  return true;
}

Boolean Handle_Config_Key_Input(DialogRef dialog, EventRecord* event) {
  if (!event) return false;
  const UInt8 key = static_cast<UInt8>((event->message & keyCodeMask) >> 8);
  const char c = static_cast<char>(event->message & charCodeMask);
  if (key == kVK_Return || key == kVK_ANSI_KeypadEnter) {
    Invert_Button_Item(dialog, kOK);
    upc::Handle_Config_Select_Item(dialog, event, kOK);
    return false;
  }
  if (key == kVK_Escape) {
    Invert_Button_Item(dialog, kCancel);
    upc::Handle_Config_Select_Item(dialog, event, kCancel);
    return false;
  }
  if (key == 47 || key == 51 || (c >= '0' && c <= '9') || c == '.' || (key >= 123 && key <= 126)) return true;
  SysBeep(1);
  return false;
}

}  // namespace upc

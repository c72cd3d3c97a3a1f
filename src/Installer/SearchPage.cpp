// Page 151: the print boxes on the network, found by the socket JCP client
// on its worker thread and listed live while the search runs, so the user
// can pick the printer the monitor will watch. The found-box table is
// written by the worker's notifier and read by the event loop, both under
// one lock; a search is stopped and its worker joined before the page is
// left and before the program ends. Also the polling service of the search
// module.
#include <cstring>
#include <memory>

#include "common/StrConv.h"
#include "FanctionLib/CList.h"
#include "Installer/InstApp.h"
#include "Installer/JCPSocket.h"
#include "Installer/WizardPages.h"
#include "OT/JCPPacket.h"
#include "toolbox/clock.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"

namespace {

enum : DialogItemIndex { kPrinterList = 7, kRefGo = 8, kRefSetup = 9 };
constexpr UInt16 kSearchPort = 19541, kOldSearchPort = 9;
constexpr UInt16 kRuleNumber = 38150;
constexpr UInt32 kSearchTimeoutMs = 3000;
constexpr SInt16 kColumnWidth = 150, kRowHeight = 15;

enum : int { kMethodUDP = 2, kMethodDDP = 3 };

struct CONFIG_FANCTION {
  Boolean udpSend = 0;
  UInt32 udpTick = 0;
  std::unique_ptr<JCP_SOCKET_CONTEXT> jcudpConf;
  Boolean bUdpNeedKillIOEvent = 0;
  // An AppleTalk search never runs here: its context stays unmade and its
  // flags clear.
  Boolean ddpSend = 0;
  UInt32 ddpTick = 0;
  std::unique_ptr<JCP_SOCKET_CONTEXT> jcddpConf;
  Boolean bDdpNeedKillIOEvent = 0;
  SInt16 psCount = 0;  // 0 while searches may start
  PBOXinfo* pboxTbl = nullptr;
  Boolean checkFlag = 0;
  UInt32 timeCntUp = 0;
  Boolean using_ = 0;
};

// The search worker writes into the found table under the lock: both are
// made before the search record, so at an exit from inside a dialog (the
// system's quit request) the record's end, which waits for the worker, comes
// before theirs.
std::unique_ptr<PBOXinfo[]> gFoundBoxes;
std::mutex gTableLock;
// What the notifier registers into; set before a search starts.
PBOXinfo* gNotifyTable = nullptr;
short gNotifyMax = 0;

CONFIG_FANCTION mFancTbl;

// The search record's states, as its three flags hold them.
enum class SearchState { Released, Claimed, Searching, Restarting };

const char* stateName(SearchState s) {
  switch (s) {
    case SearchState::Released: return "released";
    case SearchState::Claimed: return "claimed";
    case SearchState::Searching: return "searching";
    case SearchState::Restarting: return "restarting";
  }
  return "?";
}

SearchState searchState() {
  if (!mFancTbl.using_) return SearchState::Released;
  if (!mFancTbl.udpSend) return SearchState::Claimed;
  return mFancTbl.bUdpNeedKillIOEvent ? SearchState::Restarting : SearchState::Searching;
}

// The one place the record's flags change.
void moveSearch(SearchState to, const char* why) {
  const SearchState from = searchState();
  mFancTbl.using_ = to != SearchState::Released;
  mFancTbl.udpSend = to == SearchState::Searching || to == SearchState::Restarting;
  mFancTbl.bUdpNeedKillIOEvent = to == SearchState::Restarting;
  if (to == SearchState::Searching && from != SearchState::Searching) mFancTbl.udpTick = TickCount();
  tb::TraceState("install", "search", &mFancTbl, stateName(from), stateName(to), why);
}
// The search settings: the monitor record's first 63 bytes, kept whole.
using MONITOR_CONFIG = CONFIGURATION;
MONITOR_CONFIG mConfTbl{};  // taken from the set-up whenever a search starts

void SearchNotifier(JCP_SOCKET_CONTEXT* ctx, void* data, UInt32*, int status) {
  if (status != kJCPFound || !data) return;
  const UInt8* b = static_cast<const UInt8*>(data);
  if (be::get16(b) != 2 || be::get16(b + 2) != kRuleNumber) {
    tb::TraceRefusal("jcp", "search reply of another kind or rule");
    return;
  }
  jcp_reply reply{};
  UnpackJcpReply(std::span<const UInt8>(b, kJCPSearchReplyLength), reply);
  std::lock_guard<std::mutex> hold(gTableLock);
  if (gNotifyTable && UDPRegisterPBOX(gNotifyTable, gNotifyMax, &reply, PBOX_PROTO_TCPIP) > 0) ++ctx->foundCount;
}

int SearchPBOX(JCP_SOCKET_CONTEXT* ctx, PBOXinfo* table, short max, int method, UInt16 port) {
  if (!ctx) return 0;
  {
    std::lock_guard<std::mutex> hold(gTableLock);
    gNotifyTable = table;
    gNotifyMax = max;
  }
  if (method == kMethodDDP) return 0;
  if (method != kMethodUDP) return 1;
  UInt32 targets[kJCPMaxTargets];
  int n = 0;
  const int count = std::clamp<int>(EnvInfo.tcp_count, 0, kBroadcastMax);
  for (int i = 0; i < count; ++i) {
    char text[kBroadcastEntry + 1] = {};
    std::memcpy(text, EnvInfo.broadcast[i], kBroadcastEntry);
    const UInt32 addr = StrToIPAddr(text);
    // An entry that is no address would send to 0.0.0.0, this very host.
    if (addr == 0) {
      tb::TraceRefusal("jcp", "broadcast entry %d is no address", i);
      continue;
    }
    targets[n++] = addr;
  }
  JCP_Set_RuleNumber(ctx, kRuleNumber);
  JCP_Set_PortNumber(ctx, port);
  JCP_Set_Broadcast(ctx, targets, n);
  return JCP_Search(ctx, kSearchTimeoutMs, 1, SearchNotifier) == 0 ? 1 : 0;
}

// A fresh context for the next search; the old one's worker has ended.
JCP_SOCKET_CONTEXT* clearContext() {
  mFancTbl.jcudpConf.reset(new (std::nothrow) JCP_SOCKET_CONTEXT);
  return mFancTbl.jcudpConf.get();
}

void Get_Search_Data() {
  if (mFancTbl.psCount != 0) return;
  if (!mFancTbl.jcudpConf || JCP_IsTerminated(mFancTbl.jcudpConf.get())) {
    JCP_SOCKET_CONTEXT* ctx = clearContext();
    // The search always asks on the new port: an old box chosen before
    // must not hide every new box from the next search.
    const bool started = SearchPBOX(ctx, mFancTbl.pboxTbl, kFoundBoxMax, kMethodUDP, kSearchPort);
    moveSearch(started ? SearchState::Searching : SearchState::Claimed, started ? "started" : "not started");
  }
}

int Open_Search_Printer(PBOXinfo* table) {
  if (mFancTbl.using_) return 0;
  moveSearch(SearchState::Claimed, "page shown");
  mFancTbl.psCount = 0;
  mFancTbl.pboxTbl = table;
  Get_NameCheck_Info();
  Get_Search_Data();
  return 1;
}

void Start_Search_Printer() {
  if (!mFancTbl.using_) return;
  if (mFancTbl.udpSend && mFancTbl.jcudpConf) {
    // The new search starts when the end of this one is seen.
    moveSearch(SearchState::Restarting, "search again");
    JCP_Abort_Search(mFancTbl.jcudpConf.get());
    return;
  }
  Get_Search_Data();
}

// Before each search the list forgets the last one's boxes, on screen too,
// so that a search that finds nothing, or cannot start, shows an empty list.
void clearFound() {
  std::lock_guard<std::mutex> hold(gTableLock);
  if (gFoundBoxes) std::memset(static_cast<void*>(gFoundBoxes.get()), 0, sizeof(PBOXinfo) * kFoundBoxMax);
  if (instTbl.printList) {
    CLDelRow(instTbl.printList, 0, 0);
    CLUpdate(instTbl.printList, nullptr, 0);
  }
  instTbl.psCount = 0;
}

std::string macText(const UInt8* mac) {
  char b[24];
  std::snprintf(b, sizeof b, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return b;
}

SInt16 selectedRow() { return Page_List_Selected(instTbl.printList); }

void nextCaption(DialogRef d) { Set_Dialog_Item_Message(d, 1, "[BUTTON]", selectedRow() >= 0 ? "NEXT=" : "SKIP="); }

CLIST_DATA* makePrinterList(DialogRef d) {
  CLIST_DATA* list = Create_Page_List(d, kPrinterList, kRowHeight, 3, kColumnWidth);
  if (!list) return nullptr;
  for (const char* key : {"COL00=", "COL01=", "COL02="}) {
    Str255 title;
    pstr::set(title, sizeof title, tb::CharPrefix(Message_Text("[COLUMN]", key), 255));
    CLAddColumn(list, title, kColumnWidth, kCLSortText);
  }
  CLSetHeaderPictID(list, 133, 133, 132);
  return list;
}

int Get_Search_Printer() {
  if (!mFancTbl.using_) return -1;
  SInt16 found = 0;
  if (mFancTbl.udpSend && mFancTbl.jcudpConf) {
    if (JCP_IsTerminated(mFancTbl.jcudpConf.get())) {
      const bool again = mFancTbl.bUdpNeedKillIOEvent;
      moveSearch(SearchState::Claimed, again ? "aborted" : "ended");
      if (again) Get_Search_Data();
    }
    if (mFancTbl.jcudpConf) found = mFancTbl.jcudpConf->foundCount.load();
  }
  return found;
}

// Closes every search: the worker is asked to stop and waited for.
void stopSearches() {
  mFancTbl.psCount = 0;
  if (mFancTbl.jcudpConf) {
    if (mFancTbl.udpSend) moveSearch(SearchState::Restarting, "page left");
    JCP_Abort_Search(mFancTbl.jcudpConf.get());
    JCP_Join(mFancTbl.jcudpConf.get());
  }
  if (mFancTbl.using_) moveSearch(SearchState::Released, "page left");
}

void leavePage() {
  Close_Configuration();
  stopSearches();
  if (instTbl.printList) CLShow(instTbl.printList, false);
}

}  // namespace

std::mutex& Found_Box_Lock() { return gTableLock; }

int Build_Printer_List(const PBOXinfo* table, int count, int newCount) {
  CLIST_DATA* list = instTbl.printList;
  if (!list || !table) return 0;
  const int start = CLGetCount(list);
  int added = 0;
  bool changed = false;
  for (int i = 0; i < count && i < start + newCount && table[i].pbi_inuse; ++i) {
    const PBOXinfo& e = table[i];
    const std::string mac = macText(e.pbi_nodeaddr);
    char ip[16];
    iptoa(e.pbi_ip_addr, ip);
    SInt16 row = -1;
    for (SInt16 r = 0; r < CLGetCount(list) && row < 0; ++r)
      if (Page_List_Text(list, r, 2) == mac) row = r;
    if (row >= 0) {
      if (Page_List_Text(list, row, 1) != ip) {
        Set_Page_List_Text(list, row, 1, ip);
        changed = true;
      }
      continue;
    }
    row = CLGetCount(list);
    Set_Page_List_Text(list, row, 0, PBOXNameText(e));
    Set_Page_List_Text(list, row, 1, ip);
    Set_Page_List_Text(list, row, 2, mac);
    CLSetReference(list, row, i);
    ++added;
  }
  if (added || changed) CLUpdate(list, nullptr, 0);
  return added;
}

namespace {

// One refresh: the rows of the boxes found so far.
void Update_Search_Info() {
  const int found = Get_Search_Printer();
  if (found <= 0) return;
  int added;
  {
    std::lock_guard<std::mutex> hold(gTableLock);
    added = Build_Printer_List(mFancTbl.pboxTbl, kFoundBoxMax, found);
  }
  if (added) {
    instTbl.psCount = CLGetCount(instTbl.printList);
    tb::TraceNote("install", "printer list: %d rows", int(instTbl.psCount));
  }
}

}  // namespace

void Update_Search_Printer() {
  if (instTbl.activePage != kPageMonSearch || !instTbl.dlg || !mFancTbl.using_) return;
  Update_Search_Info();
}

void Close_Search_Printer() {
  Close_Configuration();
  stopSearches();
  if (instTbl.printList) CLDispose(instTbl.printList);
  instTbl.printList = nullptr;
  mFancTbl.jcudpConf.reset();
}

bool Printer_Selected() { return selectedRow() >= 0; }

short Setup_MonSearch_Load_Value(DialogRef d) {
  Set_Common_Buttons(d);
  if (!gFoundBoxes) gFoundBoxes.reset(new PBOXinfo[kFoundBoxMax]());
  instTbl.pboxTbl = gFoundBoxes.get();
  if (!instTbl.printList)
    instTbl.printList = makePrinterList(d);
  else
    CLShow(instTbl.printList, true);
  clearFound();
  mConfTbl = instTbl.monConfig;
  Open_Search_Printer(instTbl.pboxTbl);
  Set_Dialog_Item_Message(d, 4, "[BIT_LABEL]", "MONREF_TITLE=");
  Set_Dialog_Item_Message(d, 5, "[BIT_LABEL]", "MONREF_CONTENTS=");
  Set_Dialog_Item_Message(d, 6, "[LABEL]", "MONREF_00=");
  Set_Dialog_Item_Message(d, kRefGo, "[BUTTON]", "REFGO=");
  Set_Dialog_Item_Message(d, kRefSetup, "[BUTTON]", "REFSETUP=");
  nextCaption(d);
  return 1;
}

Boolean Setup_MonSearch_Item_Select(DialogRef d, EventRecord* event, DialogItemIndex item) {
  switch (item) {
    case kRefGo:
      clearFound();
      mConfTbl = instTbl.monConfig;
      tb::TraceNote("install", "search again");
      Start_Search_Printer();
      break;
    case kRefSetup: Open_Configuration(d, instData.messSpec.c_str(), &instTbl.monConfig); break;
    case kPrinterList:
      if (instTbl.printList && event && event->what == mouseDown) {
        Cell cell{0, 0};
        SInt16 sortPart = -1;
        CLMouseDown(instTbl.printList, event, &cell, &sortPart, false);
        CLUpdate(instTbl.printList, nullptr, 0);
      }
      break;
    default: return false;
  }
  nextCaption(d);
  return true;
}

short Setup_MonSearch_Back_Value(DialogRef) {
  leavePage();
  instTbl.activePage = kPageMonitor;
  return 1;
}

short Setup_MonSearch_Next_Value(DialogRef) {
  leavePage();
  const SInt16 row = selectedRow();
  instTbl.pbox = PBOXinfo{};
  if (row >= 0) {
    const long ref = CLGetReference(instTbl.printList, row);
    std::lock_guard<std::mutex> hold(gTableLock);
    if (ref >= 0 && ref < kFoundBoxMax) instTbl.pbox = instTbl.pboxTbl[ref];
  }
  if (!instTbl.pbox.pbi_inuse) {
    instTbl.activePage = kPageFinish;
    return 1;
  }
  char ip[16];
  iptoa(instTbl.pbox.pbi_ip_addr, ip);
  tb::TraceNote("install", "printer chosen: %s", ip);
  Get_Monitor_Config(instTbl.instFolder, &instTbl.pbox, &instTbl.monConfig);
  instTbl.activePage = kPageMonEvent;
  return 1;
}

short Setup_MonSearch_Update_Value(DialogRef) {
  if (instTbl.printList) CLUpdate(instTbl.printList, nullptr, 1);
  return 1;
}

// ---- polling ----

namespace {

void CommandNotifier(JCP_SOCKET_CONTEXT* ctx, void*, UInt32*, int status) {
  if (status != kJCPTimedOut) return;
  if (ctx->retryCount.load() < UInt16(std::max<SInt16>(mConfTbl.retry, 0))) {
    JCP_Retry_Command(ctx);
    ++ctx->retryCount;
  }
}

}  // namespace

int PollToPBOX(const PBOXinfo* pbox) {
  if (!pbox) return -1;
  std::unique_ptr<JCP_SOCKET_CONTEXT> ctx(new (std::nothrow) JCP_SOCKET_CONTEXT);
  if (!ctx) return -1;
  JCP_Set_PortNumber(ctx.get(), mConfTbl.oldVerCompati == 1 ? kOldSearchPort : kSearchPort);
  UInt8 answer[256];
  UInt32 length = sizeof answer;
  const int r = JCP_Get_Command(ctx.get(), pbox->pbi_ip_addr, "POLLING", 7, nullptr, 0, answer, &length,
                                kSearchTimeoutMs, 0, CommandNotifier);
  if (r < 0) return r;
  return ctx->state.load() == kJCPDone ? 0 : r;
}

// The print-box search: one probe to each address of the broadcast list,
// replies collected until the search's own time-out, and a watch that
// gives the search up after 360 ticks. The tool keeps its own model filter
// (the names its resources list) and its own rule for a box found twice:
// one entry per Ethernet address, the first answer kept.
#include <cstring>
#include <string>
#include <vector>

#include "common/StrConv.h"
#include "filetransfer/Upcaster.h"
#include "toolbox/clock.h"
#include "toolbox/resources.h"
#include "toolbox/trace.h"

namespace upc {

namespace {

constexpr short kSearchCondition = 4;
constexpr UInt32 kSearchWatchTicks = 360;
constexpr std::size_t kMachineTypeSize = sizeof(jcp_reply{}.jcpr_machine_type);

PBOXinfo* g_pbox = nullptr;
short g_pboxMax = 0;

struct ModelFilter {
  bool on = false;
  std::vector<std::string> names;
};
ModelFilter gFilter;

const char* searchName(UInt8 state) { return state == kSearchWaiting ? "waiting" : state ? "searching" : "idle"; }

void setSearching(FTP_DLG_INFO* rec, UInt8 on, const char* why) {
  if (rec->searching == on) return;
  tb::TraceState("upcaster", "search", rec, searchName(rec->searching), searchName(on), why);
  rec->searching = on;
}

}  // namespace

void Clear_Ftp_Record(FTP_DLG_INFO* rec, const char* why) {
  setSearching(rec, 0, why);
  *rec = FTP_DLG_INFO{};
}

void Get_NameCheck_Info() {
  gFilter = ModelFilter{};
  Handle h = GetResource('SPPT', 128);
  if (!h || !*h) return;
  ACTIVE_MACHINE_NAME head{};
  const Size n = GetHandleSize(h);
  UnpackNameCheck(std::span<const UInt8>(reinterpret_cast<const UInt8*>(*h), n > 0 ? std::size_t(n) : 0), head);
  gFilter.on = head.name_chk == 1;
  for (SInt16 i = 1; i <= head.name_cnt; ++i) {
    Str255 name = {0};
    GetIndString(name, static_cast<SInt16>(head.str_res_id), i);
    // A list shorter than its count gives empty names; they are no names,
    // never a prefix that would let every box through.
    if (name[0] > 0) gFilter.names.push_back(pstr::str(name));
  }
}

short Chk_Active_Machine_Name(const UInt8* machineType) {
  if (!gFilter.on) return 1;
  if (!machineType) return 0;
  for (const std::string& name : gFilter.names)
    if (name.size() <= kMachineTypeSize && std::memcmp(machineType, name.data(), name.size()) == 0) return 1;
  return 0;
}

short RegisterPBOX(PBOXinfo* table, short max, const jcp_reply* reply) {
  if (!table || !reply || max <= 0) return 0;
  if (!Chk_Active_Machine_Name(reply->jcpr_machine_type)) return 0;
  PBOXinfo* slot = nullptr;
  for (short i = 0; i < max; ++i) {
    PBOXinfo& e = table[i];
    // The first answer of a box wins, whatever it answered and on however
    // many of the targets.
    if (e.pbi_inuse && std::memcmp(e.pbi_nodeaddr, reply->jcpr_nodeaddr, sizeof e.pbi_nodeaddr) == 0) return 0;
    if (!e.pbi_inuse && !slot) slot = &e;
  }
  if (!slot) {
    tb::TraceRefusal("upcaster", "the table of %d print boxes is full", int(max));
    return 0;
  }
  *slot = PBOXinfo{};
  TakePBOXReply(*slot, *reply);
  slot->pbi_inuse = 1;
  slot->pbi_hash = GetPBOXHash(reply->jcpr_machine_type, reply->jcpr_nodeaddr);
  slot->protocol_Type_Num = PBOX_PROTO_TCPIP;
  return 1;
}

short SearchPBOX(JCPEPInfo* context, PBOXinfo* table, short max) {
  if (!context || !table) return 0;
  g_pbox = table;
  g_pboxMax = max;
  UInt32 count = EnvInfo.tcp_count < 1 ? 1 : EnvInfo.tcp_count;
  if (count > UInt32(kBroadcastMax)) count = kBroadcastMax;
  std::vector<UInt32> addrs;
  for (UInt32 i = 0; i < count; ++i) {
    char text[kBroadcastTextSize + 1];
    std::memcpy(text, EnvInfo.broadcast[i], kBroadcastTextSize);
    text[kBroadcastTextSize] = 0;
    // Entry 0 is the configured broadcast address itself (the limited
    // broadcast reads as 255.255.255.255).
    UInt32 a = i == 0 ? ConfigData.brAddr : Parse_IPv4(text);
    if (a) addrs.push_back(a);
  }
  if (addrs.empty()) return 0;
  JCP_ClearContext(context);
  if (JCP_UDP_SetSearch(context, addrs.data(), static_cast<short>(addrs.size()), JCP_UDP_PORT) != 0) return 0;
  return JCP_Search(context, kSearchCondition, ConfigData.rcvWait, SearchNotifier, true) == 0 ? 1 : 0;
}

void SearchNotifier(JCPEPInfo* context, void* reply, void*, short status) {
  if (!context || status != JCP_NOTIFY_FOUND || !reply) return;
  const auto* r = static_cast<const jcp_reply*>(reply);
  // Only a search answer (00 02 95 06), never a probe's echo.
  if (r->jcpr_chk != 2 || r->jcpr_rule != JCP_SEARCH_RULE) return;
  if (RegisterPBOX(g_pbox, g_pboxMax, r)) context->found++;
}

void Get_Search_Data(FTP_DLG_INFO* rec) {
  if (!rec || !rec->using_) return;
  if (rec->found == 0 && !rec->searching) {
    InitPBOXtable(rec->pboxTbl, kPboxMax);
    bool started = SearchPBOX(rec->jcp, rec->pboxTbl, kPboxMax) == 1;
    rec->searchTick = TickCount();
    setSearching(rec, started ? 1 : 0, started ? "started" : "could not start");
  }
  Show_Search_Table(rec);
}

void PServer_Search_Result() {
  FTP_DLG_INFO* rec = &ftpData;
  if (!rec->using_ || !rec->searching || !rec->jcp) return;
  JCP_PendingLoop(rec->jcp);
  if (rec->searching == kSearchWaiting) {
    if (!JCP_IsTerminated(rec->jcp)) return;
    setSearching(rec, 0, "the last search's endpoint closed");
    Get_Search_Data(rec);
    return;
  }
  const bool ended = rec->jcp->isTimeout;
  if (!ended && TickCount() - rec->searchTick <= kSearchWatchTicks) return;
  // Ended, or given up by the watch: either way the boxes that answered
  // are shown.
  rec->found = rec->jcp->found;
  if (!JCP_IsTerminated(rec->jcp)) JCP_KillIOEvent(rec->jcp);
  setSearching(rec, 0, ended ? "time-out" : "watch");
  Show_Search_Table(rec);
}

void Search_PServer() { PServer_Search_Result(); }

void Stop_Search(FTP_DLG_INFO* rec, const char* why) {
  if (!rec || !rec->searching || !rec->jcp) return;
  if (!JCP_IsTerminated(rec->jcp)) JCP_KillIOEvent(rec->jcp);
  setSearching(rec, 0, why);
}

void Search_Again(FTP_DLG_INFO* rec) {
  if (!rec || !rec->using_ || !rec->jcp) return;
  Stop_Search(rec, "searched again");
  rec->found = 0;
  // The context's endpoint closes asynchronously; a search begun on it now
  // would forget that endpoint, left open with its notices still coming to
  // the context.
  if (!JCP_IsTerminated(rec->jcp)) {
    setSearching(rec, kSearchWaiting, "the last search's endpoint is closing");
    Show_Search_Table(rec);
    return;
  }
  Get_Search_Data(rec);
}

}  // namespace upc

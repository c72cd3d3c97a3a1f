// The print-box search: one probe to each address of the broadcast list,
// replies collected until the search's own time-out, and a watch that
// gives the search up after 360 ticks.
#include <cstring>
#include <vector>

#include "filetransfer/Upcaster.h"
#include "toolbox/clock.h"
#include "toolbox/trace.h"

namespace upc {

namespace {

constexpr short kSearchCondition = 4;
constexpr UInt32 kSearchWatchTicks = 360;

PBOXinfo* g_pbox = nullptr;
short g_pboxMax = 0;

void setSearching(FTP_DLG_INFO* rec, UInt8 on, const char* why) {
  if (rec->searching == on) return;
  tb::TraceState("upcaster", "search", rec, rec->searching ? "searching" : "idle", on ? "searching" : "idle", why);
  rec->searching = on;
}

}  // namespace

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
  *context = JCPEPInfo{};
  if (JCP_UDP_SetSearch(context, addrs.data(), static_cast<short>(addrs.size()), JCP_UDP_PORT) != 0) return 0;
  return JCP_Search(context, kSearchCondition, ConfigData.rcvWait, SearchNotifier, true) == 0 ? 1 : 0;
}

void SearchNotifier(JCPEPInfo* context, void* reply, void*, short status) {
  if (!context || status != JCP_NOTIFY_FOUND || !reply) return;
  const auto* r = static_cast<const jcp_reply*>(reply);
  // Only a search answer (00 02 95 06), never a probe's echo.
  if (r->jcpr_chk != 2 || r->jcpr_rule != JCP_SEARCH_RULE) return;
  if (UDPRegisterPBOX(g_pbox, g_pboxMax, r, PBOX_PROTO_TCPIP)) context->found++;
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

}  // namespace upc

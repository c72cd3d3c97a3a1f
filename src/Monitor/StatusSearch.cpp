// The monitor's search for print boxes over UDP or AppleTalk.
#include "Monitor/StatusSearch.h"

#include <cstring>
#include <vector>

#include "common/AppGlobals.h"
#include "common/StrConv.h"
#include "toolbox/resources.h"

namespace {

constexpr UInt16 kSearchPort = 19541;
constexpr short kSearchCondition = 4;
constexpr SInt16 kTypeListID = 132;

// The table each running search registers into: every option dialog has
// its own, and two may search at once.
struct Binding {
  const JCPEPInfo* ctx;
  PBOXinfo* table;
  short size;
};
std::vector<Binding> gBindings;

void bind(const JCPEPInfo* ctx, PBOXinfo* table, short size) {
  for (Binding& b : gBindings)
    if (b.ctx == ctx) {
      b.table = table;
      b.size = size;
      return;
    }
  gBindings.push_back({ctx, table, size});
}

const Binding* binding_of(const JCPEPInfo* ctx) {
  for (const Binding& b : gBindings)
    if (b.ctx == ctx) return &b;
  return nullptr;
}

}  // namespace

void Forget_Search_Table(const JCPEPInfo* ctx) {
  std::erase_if(gBindings, [ctx](const Binding& b) { return b.ctx == ctx; });
}

SInt32 SearchPBOX(const CONFIGURATION* config, JCPEPInfo* ctx, PBOXinfo* table, short size, short protocol) {
  if (!ctx) return 0;
  bind(ctx, table, size);
  if (protocol == PBOX_PROTO_TCPIP) {
    std::vector<UInt32> addrs;
    int count = std::clamp<int>(EnvInfo.tcp_count, 0, kBroadcastMax);
    for (int k = 0; k < count; ++k) {
      char text[kBroadcastEntry + 1] = {};
      std::memcpy(text, EnvInfo.broadcast[k], kBroadcastEntry);
      addrs.push_back(StrToIPAddr(text));
    }
    if (JCP_UDP_SetSearch(ctx, addrs.data(), short(addrs.size()), kSearchPort) != 0) return 1;
    JCP_Search(ctx, kSearchCondition, 1000, SearchNotifier, true);
    return 1;
  }
  if (protocol == PBOX_PROTO_ATALK) {
    if (!IsUseProtocol()) return 0;
    char zone[sizeof config->SearchZoneName + 1] = "*";
    if (config->choiceNetworkzone) {
      std::memcpy(zone, config->SearchZoneName, sizeof config->SearchZoneName);
      zone[sizeof config->SearchZoneName] = '\0';
    }
    Str255 type = {0};
    SInt16 saved = CurResFile();
    UseResFile(Appl_Rsrc_Fork_No);
    GetIndString(type, kTypeListID, 1);
    UseResFile(saved);
    char typeText[33] = "CTRLJCP1";
    if (type[0]) {
      std::size_t n = std::min<std::size_t>(type[0], 32);
      std::memcpy(typeText, type + 1, n);
      typeText[n] = '\0';
    }
    if (JCP_DDP_SetSearch(ctx, zone, typeText, "=") != 0) return 1;
    JCP_Search(ctx, kSearchCondition, 2000, SearchNotifier, true);
  }
  return 1;
}

void SearchNotifier(JCPEPInfo* ctx, void* reply, void* data, short status) {
  if (!ctx || status != JCP_NOTIFY_FOUND || !reply) return;
  const jcp_reply* r = static_cast<const jcp_reply*>(reply);
  if (r->jcpr_chk != 2 || r->jcpr_rule != JCP_SEARCH_RULE) return;
  const Binding* b = binding_of(ctx);
  if (!b || !b->table) return;
  short stored = 0;
  if (ctx->protocolType == JCP_PROTO_UDP) {
    stored = UDPRegisterPBOX(b->table, b->size, r, PBOX_PROTO_TCPIP);
  } else if (data) {
    // The lookup row of the sender: its address too, so that the box can
    // be asked later.
    const NBPAddrTable* row = static_cast<const NBPAddrTable*>(data);
    PBOXAddrBlock addr{row->network, row->node, row->socket};
    PBOXEntityName entity{};
    std::memcpy(entity.objStr, row->object, sizeof entity.objStr);
    std::memcpy(entity.typeStr, row->type, sizeof entity.typeStr);
    std::memcpy(entity.zoneStr, row->zone, sizeof entity.zoneStr);
    stored = RegisterPBOX(b->table, b->size, r, &entity, addr, PBOX_PROTO_ATALK);
  }
  if (stored) ctx->found++;
}

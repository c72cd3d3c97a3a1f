// The JCP search (see JCPSearch.h): probes to a list of UDP addresses, or
// a name lookup and a probe to every box it finds over AppleTalk, and the
// replies handed to the caller's notifier.
#include "OT/JCPSearch.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "toolbox/memory.h"
#include "toolbox/trace.h"

namespace {

// Datagrams read in one receive step at most, so that a flood cannot hold
// the program in a notifier; the poll step reads on.
constexpr int kMaxReadsPerStep = 256;

bool isOpen(const EPInfo* ep) { return JCP_EndpointOpen(ep); }

void notifyCaller(JCPEPInfo* ctx, void* data, void* extra, short status) {
  if (ctx->NotifyProcPtr) ctx->NotifyProcPtr(ctx, data, extra, status);
}

// Replies over UDP or over AppleTalk: each whole one goes to the caller,
// over AppleTalk with the sender as a row of its own (its DDP address, no
// entity name).
void searchReceive(JCPEPInfo* ctx) {
  EPInfo* ep = JCP_ActiveEndpoint(ctx);
  for (int i = 0; i < kMaxReadsPerStep && isOpen(ep) && !JCP_IsEnding(ctx); ++i) {
    UInt32 len = 0;
    const UInt8* data = nullptr;
    JCPSender from;
    const SInt32 quietSince = ep->prevTick;
    if (JCP_ReadDatagram(ctx, &data, &len, &from) != kOTNoError) return;
    std::span<const UInt8> d(data, len);
    if (!IsJcpReply(d)) {
      // Only a reply is news: junk, or a reply cut short, must neither
      // keep a search alive nor stand for a box.
      ep->prevTick = quietSince;
      if (tb::TraceOn("jcp"))
        tb::TraceRefusal("jcp", "search: %u bytes from %s are not a whole search reply", unsigned(len),
                         JCP_SenderText(ctx->protocolType, from).c_str());
      continue;
    }
    jcp_reply reply;
    UnpackJcpReply(d, reply);
    if (ctx->protocolType != JCP_PROTO_DDP) {
      notifyCaller(ctx, &reply, nullptr, JCP_NOTIFY_FOUND);
      continue;
    }
    NBPAddrTable row{};
    row.addrType = from.ddp.fAddressType;
    row.network = from.ddp.fNetwork;
    row.node = from.ddp.fNodeID;
    row.socket = from.ddp.fSocket;
    row.ddpType = from.ddp.fDDPType;
    notifyCaller(ctx, &reply, &row, JCP_NOTIFY_FOUND);
  }
}

void searchSend(JCPEPInfo* ctx) {
  UDPAddInfo& u = ctx->protocol.udp;
  UDPEPInfo* ep = &u.udpEPInfo;
  if (!isOpen(&ep->epi) || u.broadcastIdx >= u.broadcastNum || u.broadcastIdx < 0) return;
  std::array<UInt8, kJcpProbeSize> probe;
  PackJcpProbe(UInt16(ctx->conditionNo), probe);
  UInt32 to = u.broadcastIpAddr[u.broadcastIdx];
  OSStatus r = UDP_Snd(ep, to, ep->remotePort, probe.data(), probe.size());
  if (r == kOTLookErr) {
    OT_RcvUDErr(&ep->epi);
    r = UDP_Snd(ep, to, ep->remotePort, probe.data(), probe.size());
  }
  // A send held up by flow control goes to the same address again.
  if (r != kOTFlowErr) ++u.broadcastIdx;
}

// Probes over AppleTalk: every row the name lookup found, once, or (a
// search started on one DDP address) that address. The DDP type is the one
// the context's remote address holds.
void ddpSearchSend(JCPEPInfo* ctx) {
  DDPAddInfo& d = ctx->protocol.ddp;
  DDPEPInfo* ep = &d.ddpEPInfo;
  if (!isOpen(&ep->epi)) return;
  std::array<UInt8, kJcpProbeSize> probe;
  PackJcpProbe(UInt16(ctx->conditionNo), probe);
  auto send = [&](UInt16 net, UInt8 node, UInt8 socket) {
    UInt8 type = ep->remoteAddr.fDDPType;
    OSStatus r = DDP_Snd(ep, net, node, socket, type, probe.data(), probe.size());
    if (r == kOTLookErr) {
      OT_RcvUDErr(&ep->epi);
      r = DDP_Snd(ep, net, node, socket, type, probe.data(), probe.size());
    }
    return r;
  };
  if (!ep->nbpComplete) {
    if (!ep->sndComplete && send(ep->remoteAddr.fNetwork, ep->remoteAddr.fNodeID, ep->remoteAddr.fSocket) != kOTFlowErr)
      ep->sndComplete = 1;
    return;
  }
  SInt16 cnt = std::max<SInt16>(d.nbpAddrTableCnt, 0);
  for (int sent = 0; d.curLookupIdx < UInt32(cnt) && sent < kMaxReadsPerStep && isOpen(&ep->epi); ++sent) {
    const NBPAddrTable& row = d.nbpAddrTable[d.curLookupIdx];
    // A send held up by flow control goes to the same row again.
    if (send(row.network, row.node, row.socket) == kOTFlowErr) return;
    ++d.curLookupIdx;
  }
  if (d.curLookupIdx >= UInt32(cnt)) {
    JCP_FreeRows(ctx);
    ep->sndComplete = 1;
  }
}

// Splits object:type@zone; a missing or empty part takes its default.
void splitEntity(const DDPNBPAddress& a, std::string& object, std::string& type, std::string& zone) {
  const char* text = reinterpret_cast<const char*>(a.fNBPNameBuffer);
  std::string_view e(text, strnlen(text, sizeof a.fNBPNameBuffer));
  std::size_t colon = e.find(':');
  std::size_t at = e.find('@', colon == std::string_view::npos ? 0 : colon + 1);
  std::string_view obj = e.substr(0, std::min(colon, at));
  std::string_view typ = colon == std::string_view::npos ? std::string_view() : e.substr(colon + 1, at - colon - 1);
  std::string_view zon = at == std::string_view::npos ? std::string_view() : e.substr(at + 1);
  object = obj.empty() ? "=" : std::string(obj);
  type = typ.empty() ? "CTRLJCP1" : std::string(typ);
  zone = zon.empty() ? "*" : std::string(zon);
}

// The AppleTalk search: the name lookup, then a probe to every row found.
OSStatus lookupThenProbe(JCPEPInfo* ctx, UInt32 timeoutMs, Boolean async) {
  DDPAddInfo& d = ctx->protocol.ddp;
  NBPEPInfo* nbp = &d.nbpEPInfo;
  if (NBP_IsActive(nbp) || isOpen(&d.ddpEPInfo.epi)) return kOTOutStateErr;
  std::string object, type, zone;
  splitEntity(d.nbpAddress, object, type, zone);
  JCP_FreeRows(ctx);
  JCP_SetState(ctx, JCP_STATE_RUNNING, "name lookup");
  d.ddpEPInfo.nbpComplete = 0;
  d.ddpEPInfo.sndComplete = 0;
  nbp->NotifyProcPtr = &NBPNotifyProc;
  nbp->ref = ctx;
  OSStatus err = 0;
  short count = 0;
  NBPAddrTable* rows =
      NBP_LookupName(nbp, object.c_str(), type.c_str(), zone.c_str(), timeoutMs, &err, &count, async);
  if (err != kOTNoError) {
    if (rows) DisposePtr(reinterpret_cast<Ptr>(rows));
    return err;
  }
  if (async) return kOTNoError;
  if (!rows || count <= 0) {
    // The lookup has waited the whole time-out and found nobody.
    if (rows) DisposePtr(reinterpret_cast<Ptr>(rows));
    ctx->isTimeout = 1;
    JCP_Report(ctx);
    return kOTNoError;
  }
  d.nbpAddrTable = rows;
  d.nbpAddrTableCnt = count;
  d.curLookupIdx = 0;
  DDPNextSearch(ctx);
  if (!ctx->isComplete) JCP_WaitComplete(ctx);
  return d.ddpEPInfo.epi.err;
}

// The search's steps in the exchange.
void sendStep(JCPEPInfo* ctx) {
  if (ctx->protocolType == JCP_PROTO_UDP)
    searchSend(ctx);
  else if (ctx->protocolType == JCP_PROTO_DDP)
    ddpSearchSend(ctx);
  else if (ctx->protocolType == JCP_PROTO_NBP)
    NBP_SndLookup(&ctx->protocol.ddp.nbpEPInfo);
}

void receiveStep(JCPEPInfo* ctx) {
  // The lookup's own notifier reads its answers.
  if (ctx->protocolType == JCP_PROTO_UDP || ctx->protocolType == JCP_PROTO_DDP) searchReceive(ctx);
}

// The probes of the rows the name lookup has delivered since.
void pendingRows(JCPEPInfo* ctx) {
  const DDPAddInfo& d = ctx->protocol.ddp;
  if (d.curLookupIdx < UInt32(std::max<SInt16>(d.nbpAddrTableCnt, 0)) && d.nbpEPInfo.sndComplete) DDPNextSearch(ctx);
}

constexpr JCPSteps kSearchSteps{sendStep, receiveStep, pendingRows, kJCPOverallLimitFactor};

}  // namespace

short JCP_UDP_SetSearch(JCPEPInfo* ctx, const UInt32* addrs, short count, UInt16 port) {
  if (!ctx) return short(kOTBadDataErr);
  UDPAddInfo& u = ctx->protocol.udp;
  short n = std::clamp<short>(count, 0, kJCPMaxTargets);
  if (!addrs) n = 0;
  for (short i = 0; i < n; ++i) u.broadcastIpAddr[i] = addrs[i];
  u.broadcastNum = n;
  u.broadcastIdx = 0;
  u.udpEPInfo.epi.protocol = OT_PROTO_UDP;
  u.udpEPInfo.remotePort = port;
  ctx->protocolType = JCP_PROTO_UDP;
  return 0;
}

short JCP_DDP_SetSearch(JCPEPInfo* ctx, const char* zone, const char* type, const char* object) {
  if (!ctx) return short(kOTBadDataErr);
  DDPNBPAddress& target = ctx->protocol.ddp.nbpAddress;
  std::string_view parts[3] = {object ? object : "", type ? type : "", zone ? zone : ""};
  // Each name of an entity holds at most 32 characters; a longer one would
  // never match and must not run past the send buffer.
  for (std::string_view p : parts)
    if (p.size() > kJCPEntityPartMax) return short(kOTBadDataErr);
  NBPEPInfo& n = ctx->protocol.ddp.nbpEPInfo;
  std::string text = std::string(parts[0]) + ":" + std::string(parts[1]) + "@" + std::string(parts[2]);
  std::memset(n.sndBuf, 0, sizeof n.sndBuf);
  std::memcpy(n.sndBuf, text.data(), text.size());
  n.sndBufLen = UInt32(text.size());
  // The send buffer makes way for the lookup packet; the entity stays here.
  target = DDPNBPAddress{};
  target.fAddressType = kOTDDPNBPAddressType;
  std::memcpy(target.fNBPNameBuffer, text.data(), text.size());
  n.sndComplete = 0;
  n.epi.protocol = OT_PROTO_NBP;
  ctx->protocolType = JCP_PROTO_NBP;
  return 0;
}

short DDPNextSearch(JCPEPInfo* ctx) {
  if (!ctx) return 0;
  DDPAddInfo& d = ctx->protocol.ddp;
  DDPEPInfo& ddp = d.ddpEPInfo;
  // The probing endpoint was opened for this search and has closed again.
  if (ddp.nbpComplete && !isOpen(&ddp.epi) && !JCP_IsOpening(ctx)) return 1;
  if (d.curLookupIdx < UInt32(std::max<SInt16>(d.nbpAddrTableCnt, 0))) {
    ctx->protocolType = JCP_PROTO_DDP;
    ddp.epi.protocol = OT_PROTO_DDP;
    ddp.sndComplete = 0;
    if (ddp.nbpComplete) {
      // Open already: the rows go out from here, or from the bind.
      if (isOpen(&ddp.epi)) SndData(ctx);
      return 1;
    }
    // The probes run with the lookup's time-out and mode.
    ddp.nbpComplete = 1;
    ddp.epi.prevCallFunc = 0;
    ddp.epi.prevTick = 0;
    ddp.epi.timeout = d.nbpEPInfo.epi.timeout;
    OSStatus r = JCP_OpenActive(ctx, d.nbpEPInfo.epi.bAsync);
    if (r != kOTNoError && !isOpen(&ddp.epi) && !JCP_IsOpening(ctx) && !ctx->isComplete) {
      // Nothing can be probed: the search ends as one that found nothing.
      ddp.epi.err = r;
      ctx->isTimeout = 1;
      JCP_Finish(ctx, &ddp.epi);
    }
    return 1;
  }
  JCP_FreeRows(ctx);
  ddp.sndComplete = 1;
  return 0;
}

void NBPNotifyProc(NBPEPInfo* nbp, NBPAddrTable* row, void* ref, SInt16 status) {
  auto* ctx = static_cast<JCPEPInfo*>(ref);
  if (!ctx || nbp != &ctx->protocol.ddp.nbpEPInfo) return;
  DDPAddInfo& d = ctx->protocol.ddp;
  if (status == NBP_NOTIFY_ROW) {
    if (!row || JCP_IsEnding(ctx) || ctx->isComplete) return;
    // The row joins those waiting for their probe (lost when there is no
    // room, as the lookup itself loses it).
    SInt16 cnt = std::max<SInt16>(d.nbpAddrTableCnt, 0);
    NBPAddrTable* table = NBP_GrowTable(d.nbpAddrTable, cnt);
    if (!table) return;
    d.nbpAddrTable = table;
    d.nbpAddrTable[cnt] = *row;
    d.nbpAddrTableCnt = SInt16(cnt + 1);
    DDPNextSearch(ctx);
    return;
  }
  // The lookup has ended: it ends the search when no probe went out (it
  // found nobody before the time-out), or when the probes ended before it.
  if (ctx->state == JCP_STATE_LOOKUP_ENDING || (ctx->protocolType == JCP_PROTO_NBP && !ctx->isComplete))
    JCP_Report(ctx);
}

OSStatus JCP_Search(JCPEPInfo* ctx, short conditionNo, UInt32 timeoutMs, JCPNotifyProcPtr notify, Boolean async) {
  if (!ctx || !notify || !JCP_ActiveEndpoint(ctx)) return kOTBadDataErr;
  JCP_BeginExchange(ctx, JCP_CMD_SEARCH, &kSearchSteps, notify, timeoutMs);
  ctx->conditionNo = conditionNo;
  ctx->found = 0;
  if (ctx->protocolType == JCP_PROTO_NBP) return lookupThenProbe(ctx, timeoutMs, async);
  if (ctx->protocolType == JCP_PROTO_DDP) {
    // One DDP address: a single probe to the remote address.
    ctx->protocol.ddp.ddpEPInfo.nbpComplete = 0;
    ctx->protocol.ddp.ddpEPInfo.sndComplete = 0;
  }
  return JCP_RunExchange(ctx, async);
}

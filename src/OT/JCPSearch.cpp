// The JCP search and the request context it shares with the command
// exchange: opening the endpoint, the probe, the poll step that gathers
// replies and the end sequence that closes it.
#include "OT/JCPSearch.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "OT/JCPCommand.h"
#include "toolbox/memory.h"
#include "toolbox/clock.h"
#include "toolbox/pump.h"
#include "toolbox/trace.h"

namespace {

// Datagrams read in one receive step at most, so that a flood cannot hold
// the program in a notifier; the poll step reads on.
constexpr int kMaxReadsPerStep = 256;
// Longest wait of one pass of a synchronous request; the pump wakes at once
// when the endpoint has data.
constexpr int kSyncWaitMs = 5;
// Unbind attempts while events keep arriving on a closing endpoint.
constexpr int kMaxUnbindTries = 8;

bool isOpen(const EPInfo* ep) { return ep && ep->epRef != kOTInvalidEndpointRef; }

void notifyCaller(JCPEPInfo* ctx, void* data, void* extra, short status) {
  if (ctx->NotifyProcPtr) ctx->NotifyProcPtr(ctx, data, extra, status);
}

void freeRows(JCPEPInfo* ctx) {
  DDPAddInfo& d = ctx->protocol.ddp;
  if (d.nbpAddrTable) DisposePtr(reinterpret_cast<Ptr>(d.nbpAddrTable));
  d.nbpAddrTable = nullptr;
  d.nbpAddrTableCnt = 0;
  d.curLookupIdx = 0;
}

// The end of a request: the endpoint is closed and the caller hears the
// outcome. Nothing touches the context after the caller's notifier, which
// may start the request again (a resend) or end the caller's interest.
void report(JCPEPInfo* ctx) {
  freeRows(ctx);
  ctx->isComplete = 1;
  short status = JCP_NOTIFY_ERROR;
  if (ctx->isSuccess && !ctx->isTimeout)
    status = JCP_NOTIFY_SUCCESS;
  else if (ctx->isTimeout)
    status = JCP_NOTIFY_TIMEOUT;
  JCP_SetState(ctx, JCP_STATE_IDLE,
               status == JCP_NOTIFY_SUCCESS   ? "reported: success"
               : status == JCP_NOTIFY_TIMEOUT ? "reported: time-out"
                                              : "reported: error");
  notifyCaller(ctx, ctx->rcvLargeBuf, &ctx->rcvLargeBufLen, status);
}

void finish(JCPEPInfo* ctx, EPInfo* ep) {
  if (isOpen(ep)) {
    OT_CloseEndpoint(ep);
    ep->epRef = kOTInvalidEndpointRef;
  }
  // An AppleTalk search ends once its name lookup has ended too (the caller
  // may free the context as soon as it hears the end); the lookup's end
  // then reports.
  NBPEPInfo* nbp = &ctx->protocol.ddp.nbpEPInfo;
  if (ctx->protocolType == JCP_PROTO_DDP && NBP_IsActive(nbp)) {
    JCP_SetState(ctx, JCP_STATE_LOOKUP_ENDING, "probes closed; the name lookup still runs");
    NBP_KillIOEvent(nbp);
    return;
  }
  report(ctx);
}

void unbindComplete(JCPEPInfo* ctx, EPInfo* ep) {
  // A second unbind-complete (the event after a direct run) finds the
  // endpoint closed already.
  if (!isOpen(ep)) return;
  finish(ctx, ep);
}

void flushComplete(JCPEPInfo* ctx, EPInfo* ep) {
  if (!isOpen(ep)) return;
  for (int tries = 0; tries < kMaxUnbindTries; ++tries) {
    OSStatus r = OT_Unbind(ep);
    if (r == kOTLookErr) {
      // An event arrived after the flush: take it, then try again.
      OTResult ev = OTLook(ep->epRef);
      if (ev == T_UDERR) {
        OT_RcvUDErr(ep);
      } else if (ev == T_DATA || ev == T_EXDATA) {
        OT_KillIOEvent(ep);
        if (!ep->bAsync) continue;
        return;  // the new flush completes as its own event
      }
      continue;
    }
    if (r != kOTNoError) {
      // Not bound (any more): nothing to wait for.
      unbindComplete(ctx, ep);
    }
    // Otherwise the unbind-complete event (or, synchronous, the caller's
    // direct run) closes.
    return;
  }
  unbindComplete(ctx, ep);
}

void openComplete(JCPEPInfo* ctx, EPInfo* ep, OTResult result, void* cookie) {
  const bool killed = ctx->state == JCP_STATE_OPEN_KILLED;
  if (result != kOTNoError || !cookie) {
    JCP_SetState(ctx, ep->bAsync ? JCP_STATE_CLOSING : JCP_STATE_IDLE, "open failed");
    ep->err = result != kOTNoError ? result : kOTBadReferenceErr;
    // An endpoint that never opened cannot end by itself; report it.
    if (ep->bAsync) {
      ctx->isTimeout = 0;
      ctx->isSuccess = 0;
      finish(ctx, ep);
    }
    return;
  }
  ep->epRef = static_cast<EndpointRef>(cookie);
  if (killed) {
    JCP_SetState(ctx, JCP_STATE_CLOSING, "opened after it was ended");
    ctx->isSuccess = 0;
    finish(ctx, ep);
    return;
  }
  JCP_SetState(ctx, JCP_STATE_RUNNING, "opened");
  // Data events reach the notifier in both modes, so that the wait of a
  // synchronous request wakes for them.
  OTInstallNotifier(ep->epRef, g_endpointNotifyProcJCP, ctx);
  OSStatus r = OTSetNonBlocking(ep->epRef);
  if (r == kOTNoError) r = ep->bAsync ? OTSetAsynchronous(ep->epRef) : OTSetSynchronous(ep->epRef);
  if (r != kOTNoError) {
    ep->err = r;
    ctx->isSuccess = 0;
    finish(ctx, ep);
    return;
  }
  r = OT_Bind(ep);
  if (r != kOTNoError) {
    ctx->isSuccess = 0;
    finish(ctx, ep);
  }
}

void bindComplete(JCPEPInfo* ctx, EPInfo* ep, OTResult result) {
  if (!isOpen(ep)) {
    ep->err = -1;
    return;
  }
  if (result != kOTNoError) {
    ep->err = result;
    ctx->isSuccess = 0;
    finish(ctx, ep);
    return;
  }
  ctx->isSuccess = 0;
  SndData(ctx);
  // A search with no target sends nothing; it still listens, so that the
  // poll step counts its quiet time and it ends.
  if (ctx->cmdType == JCP_CMD_SEARCH && isOpen(ep) && ep->prevCallFunc != OT_FUNC_SNDUDATA) RcvData(ctx);
}

// Reads one datagram into the endpoint's receive buffer (a datagram longer
// than the buffer keeps its first part; the endpoint layer drops the rest).
OSStatus readDatagram(UDPEPInfo* ep, UInt32* len, UInt32* addr = nullptr, UInt16* port = nullptr) {
  OTFlags flags = 0;
  *len = sizeof ep->rcvBuf;
  OSStatus r = UDP_Rcv(ep, addr, port, ep->rcvBuf, len, &flags);
  if (r == kOTLookErr) {
    OT_RcvUDErr(&ep->epi);
    *len = sizeof ep->rcvBuf;
    flags = 0;
    r = UDP_Rcv(ep, addr, port, ep->rcvBuf, len, &flags);
  }
  if (r != kOTNoError) return r;
  if (*len > sizeof ep->rcvBuf) *len = sizeof ep->rcvBuf;
  return kOTNoError;
}

OSStatus readDDPDatagram(DDPEPInfo* ep, UInt32* len, DDPAddress* from) {
  OTFlags flags = 0;
  *len = sizeof ep->rcvBuf;
  OSStatus r = DDP_Rcv(ep, from, ep->rcvBuf, len, &flags);
  if (r == kOTLookErr) {
    OT_RcvUDErr(&ep->epi);
    *len = sizeof ep->rcvBuf;
    flags = 0;
    r = DDP_Rcv(ep, from, ep->rcvBuf, len, &flags);
  }
  if (r != kOTNoError) return r;
  if (*len > sizeof ep->rcvBuf) *len = sizeof ep->rcvBuf;
  return kOTNoError;
}

void searchReceive(JCPEPInfo* ctx) {
  UDPEPInfo* ep = &ctx->protocol.udp.udpEPInfo;
  for (int i = 0; i < kMaxReadsPerStep && isOpen(&ep->epi) && !JCP_IsEnding(ctx); ++i) {
    UInt32 len = 0;
    UInt32 addr = 0;
    UInt16 port = 0;
    const SInt32 quietSince = ep->epi.prevTick;
    if (readDatagram(ep, &len, &addr, &port) != kOTNoError) return;
    std::span<const UInt8> d(ep->rcvBuf, len);
    if (!IsJcpReply(d)) {
      // Only a reply is news: junk must not keep a search alive.
      ep->epi.prevTick = quietSince;
      if (tb::TraceOn("jcp"))
        tb::TraceRefusal("jcp", "search: %u bytes from %s are not a search reply", unsigned(len),
                         JCP_SenderText(JCP_PROTO_UDP, JCPSender{addr, port, {}}).c_str());
      continue;
    }
    // A reply cut short reads as zero bytes beyond what came.
    jcp_reply reply;
    UnpackJcpReply(d, reply);
    notifyCaller(ctx, &reply, nullptr, JCP_NOTIFY_FOUND);
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
    freeRows(ctx);
    ep->sndComplete = 1;
  }
}

void ddpSearchReceive(JCPEPInfo* ctx) {
  DDPEPInfo* ep = &ctx->protocol.ddp.ddpEPInfo;
  for (int i = 0; i < kMaxReadsPerStep && isOpen(&ep->epi) && !JCP_IsEnding(ctx); ++i) {
    DDPAddress from{};
    UInt32 len = 0;
    const SInt32 quietSince = ep->epi.prevTick;
    if (readDDPDatagram(ep, &len, &from) != kOTNoError) return;
    std::span<const UInt8> d(ep->rcvBuf, len);
    if (!IsJcpReply(d)) {
      ep->epi.prevTick = quietSince;
      if (tb::TraceOn("jcp"))
        tb::TraceRefusal("jcp", "search: %u bytes from %s are not a search reply", unsigned(len),
                         JCP_SenderText(JCP_PROTO_DDP, JCPSender{0, 0, from}).c_str());
      continue;
    }
    jcp_reply reply;
    UnpackJcpReply(d, reply);
    // The sender as a row of its own: its DDP address, no entity name.
    NBPAddrTable row{};
    row.addrType = from.fAddressType;
    row.network = from.fNetwork;
    row.node = from.fNodeID;
    row.socket = from.fSocket;
    row.ddpType = from.fDDPType;
    notifyCaller(ctx, &reply, &row, JCP_NOTIFY_FOUND);
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
  freeRows(ctx);
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
    report(ctx);
    return kOTNoError;
  }
  d.nbpAddrTable = rows;
  d.nbpAddrTableCnt = count;
  d.curLookupIdx = 0;
  DDPNextSearch(ctx);
  if (!ctx->isComplete) JCP_WaitComplete(ctx);
  return d.ddpEPInfo.epi.err;
}

}  // namespace

std::string JCP_SenderText(SInt16 protocolType, const JCPSender& from) {
  char text[32];
  if (protocolType == JCP_PROTO_UDP)
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", unsigned(from.ipAddr >> 24), unsigned(from.ipAddr >> 16 & 0xFF),
                  unsigned(from.ipAddr >> 8 & 0xFF), unsigned(from.ipAddr & 0xFF), unsigned(from.port));
  else
    std::snprintf(text, sizeof text, "%u.%u:%u", unsigned(from.ddp.fNetwork), unsigned(from.ddp.fNodeID),
                  unsigned(from.ddp.fSocket));
  return text;
}

const char* JCP_StateName(SInt16 state) {
  switch (state) {
    case JCP_STATE_IDLE: return "idle";
    case JCP_STATE_OPENING: return "opening";
    case JCP_STATE_OPEN_KILLED: return "opening, ended";
    case JCP_STATE_RUNNING: return "running";
    case JCP_STATE_CLOSING: return "closing";
    case JCP_STATE_LOOKUP_ENDING: return "closing, lookup ending";
    default: return "?";
  }
}

void JCP_SetState(JCPEPInfo* ctx, SInt16 to, const char* why) {
  assert(to >= JCP_STATE_IDLE && to <= JCP_STATE_LOOKUP_ENDING);
  if (ctx->state == to) return;
  tb::TraceState("jcp", "context", ctx, JCP_StateName(ctx->state), JCP_StateName(to), why);
  ctx->state = to;
}

OSStatus JCP_ReadDatagram(JCPEPInfo* ctx, const UInt8** data, UInt32* len, JCPSender* from) {
  *data = nullptr;
  *len = 0;
  JCPSender scratch{};
  if (!from) from = &scratch;
  *from = JCPSender{};
  OSStatus r = kOTBadDataErr;
  if (ctx->protocolType == JCP_PROTO_UDP) {
    UDPEPInfo* ep = &ctx->protocol.udp.udpEPInfo;
    r = readDatagram(ep, len, &from->ipAddr, &from->port);
    if (r == kOTNoError) *data = ep->rcvBuf;
  } else if (ctx->protocolType == JCP_PROTO_DDP) {
    DDPEPInfo* ep = &ctx->protocol.ddp.ddpEPInfo;
    r = readDDPDatagram(ep, len, &from->ddp);
    if (r == kOTNoError) *data = ep->rcvBuf;
  }
  return r;
}

EPInfo* JCP_ActiveEndpoint(JCPEPInfo* ctx) {
  if (!ctx) return nullptr;
  switch (ctx->protocolType) {
    case JCP_PROTO_UDP: return &ctx->protocol.udp.udpEPInfo.epi;
    case JCP_PROTO_DDP: return &ctx->protocol.ddp.ddpEPInfo.epi;
    case JCP_PROTO_NBP: return &ctx->protocol.ddp.nbpEPInfo.epi;
    default: return nullptr;
  }
}

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
      finish(ctx, &ddp.epi);
    }
    return 1;
  }
  freeRows(ctx);
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
    report(ctx);
}

OSStatus JCP_OpenActive(JCPEPInfo* ctx, Boolean async) {
  EPInfo* ep = JCP_ActiveEndpoint(ctx);
  if (!ep) return kOTBadDataErr;
  if (!g_endpointNotifyProcJCP) g_endpointNotifyProcJCP = NewOTNotifyUPP(EndpointNotifierProc);
  ep->bAsync = async;
  JCP_SetState(ctx, async ? JCP_STATE_OPENING : JCP_STATE_RUNNING, "opening the endpoint");
  OSStatus r = OT_OpenEndpoint(ep, ep->protocol, g_endpointNotifyProcJCP, ctx, async);
  if (r != kOTNoError) {
    JCP_SetState(ctx, JCP_STATE_IDLE, "open refused");
    return r;
  }
  if (!async) {
    EndpointNotifierProc(ctx, T_OPENCOMPLETE, kOTNoError, ep->epRef);
    if (isOpen(ep) && !ctx->isComplete) EndpointNotifierProc(ctx, T_BINDCOMPLETE, kOTNoError, nullptr);
  }
  return ep->err;
}

void JCP_WaitComplete(JCPEPInfo* ctx) {
  while (!ctx->isComplete) {
    OSStatus r = JCP_PendingLoop(ctx);
    if (ctx->isComplete) break;
    // Nothing is left that could complete the request (a caller cleared
    // isComplete without starting a resend).
    if (r == kOTBadDataErr && !isOpen(JCP_ActiveEndpoint(ctx))) break;
    tb::Pump(kSyncWaitMs);
  }
}

OSStatus JCP_Search(JCPEPInfo* ctx, short conditionNo, UInt32 timeoutMs, JCPNotifyProcPtr notify, Boolean async) {
  if (!ctx || !notify) return kOTBadDataErr;
  EPInfo* ep = JCP_ActiveEndpoint(ctx);
  if (!ep) return kOTBadDataErr;
  ctx->conditionNo = conditionNo;
  ctx->NotifyProcPtr = notify;
  ctx->cmdType = JCP_CMD_SEARCH;
  ctx->isTimeout = 0;
  ctx->isComplete = 0;
  ctx->isSuccess = 0;
  ctx->found = 0;
  ep->prevCallFunc = 0;
  ep->prevTick = 0;  // quiet time counts from this search's first datagram
  ctx->startTick = TickCount();
  ep->timeout = SInt32(std::min<UInt32>(timeoutMs, 0x7FFFFFFF));
  if (ctx->protocolType == JCP_PROTO_NBP) return lookupThenProbe(ctx, timeoutMs, async);
  if (ctx->protocolType == JCP_PROTO_DDP) {
    // One DDP address: a single probe to the remote address.
    ctx->protocol.ddp.ddpEPInfo.nbpComplete = 0;
    ctx->protocol.ddp.ddpEPInfo.sndComplete = 0;
  }
  OSStatus r = JCP_OpenActive(ctx, async);
  if (r != kOTNoError && !isOpen(ep) && !ctx->isComplete && !JCP_IsOpening(ctx)) return r;
  if (!async) JCP_WaitComplete(ctx);
  return ep->err;
}

OSStatus JCP_PendingLoop(JCPEPInfo* ctx) {
  EPInfo* ep = JCP_ActiveEndpoint(ctx);
  if (!ep) return kOTBadDataErr;
  // Rows the lookup delivered wait for their probes.
  const DDPAddInfo& d = ctx->protocol.ddp;
  if (ctx->cmdType == JCP_CMD_SEARCH && !JCP_IsEnding(ctx) && d.curLookupIdx < UInt32(std::max<SInt16>(d.nbpAddrTableCnt, 0)) &&
      d.nbpEPInfo.sndComplete) {
    DDPNextSearch(ctx);
    ep = JCP_ActiveEndpoint(ctx);
  }
  if (!isOpen(ep)) return kOTBadDataErr;
  if (ep->prevCallFunc != 7 && ep->prevCallFunc != 9) return ep->err;
  if (JCP_IsEnding(ctx)) return ep->err;
  const UInt32 limit = MilliToTick(UInt32(std::max<SInt32>(ep->timeout, 0)));
  const bool quiet = UInt32(GetSpentTime(ep)) > limit;
  if (quiet || TickCount() - ctx->startTick > limit * kJCPOverallLimitFactor) {
    tb::TraceNote("jcp", "context@%p: %s", static_cast<void*>(ctx),
                  quiet ? "no reply within the time-out" : "the overall limit has passed");
    ctx->isTimeout = 1;
    SInt32 err = ep->err;
    JCP_KillIOEvent(ctx);
    return err;
  }
  if (ep->err == kOTFlowErr) {
    if (ep->prevCallFunc == 7)
      SndData(ctx);
    else
      RcvData(ctx);
  } else {
    SndData(ctx);
    if (isOpen(ep) && !JCP_IsEnding(ctx)) RcvData(ctx);
  }
  return ep->err;
}

void JCP_KillIOEvent(JCPEPInfo* ctx) {
  EPInfo* ep = JCP_ActiveEndpoint(ctx);
  if (!ep) return;
  NBPEPInfo* nbp = &ctx->protocol.ddp.nbpEPInfo;
  if (ctx->protocolType == JCP_PROTO_NBP) {
    // Only the name lookup runs; its end is the search's.
    if (NBP_IsActive(nbp) && !JCP_IsEnding(ctx)) {
      JCP_SetState(ctx, JCP_STATE_CLOSING, "ended during the name lookup");
      NBP_KillIOEvent(nbp);
    }
    return;
  }
  if (ctx->protocolType == JCP_PROTO_DDP && NBP_IsActive(nbp)) NBP_KillIOEvent(nbp);
  if (JCP_IsOpening(ctx)) {
    JCP_SetState(ctx, JCP_STATE_OPEN_KILLED, "ended while opening");
    return;
  }
  if (!isOpen(ep) || JCP_IsEnding(ctx)) return;
  JCP_SetState(ctx, JCP_STATE_CLOSING, ctx->isTimeout ? "timed out" : "ended");
  OT_KillIOEvent(ep);
  if (!ep->bAsync) {
    flushComplete(ctx, ep);
    unbindComplete(ctx, ep);
  }
}

short JCP_IsTerminated(JCPEPInfo* ctx) {
  if (!ctx) return 1;
  if (JCP_IsOpening(ctx)) return 0;
  return !isOpen(&ctx->protocol.udp.udpEPInfo.epi) && !isOpen(&ctx->protocol.ddp.ddpEPInfo.epi) &&
                 !NBP_IsActive(&ctx->protocol.ddp.nbpEPInfo)
             ? 1
             : 0;
}

short GetEPInfo(JCPEPInfo* ctx, EPInfo** udp, EPInfo** ddp, EPInfo** nbp, EPInfo** active) {
  if (!ctx || !udp || !ddp || !nbp || !active) return -2;
  *udp = &ctx->protocol.udp.udpEPInfo.epi;
  *ddp = &ctx->protocol.ddp.ddpEPInfo.epi;
  *nbp = &ctx->protocol.ddp.nbpEPInfo.epi;
  *active = JCP_ActiveEndpoint(ctx);
  if (ctx->protocolType != JCP_PROTO_UDP && ctx->protocolType != JCP_PROTO_DDP &&
      ctx->protocolType != JCP_PROTO_NBP)
    return -1;
  if (!*udp || !*ddp || !*nbp || !*active) return -2;
  return 0;
}

void SndData(JCPEPInfo* ctx) {
  if (!ctx) return;
  switch (ctx->cmdType) {
    case JCP_CMD_SEARCH:
      if (ctx->protocolType == JCP_PROTO_UDP)
        searchSend(ctx);
      else if (ctx->protocolType == JCP_PROTO_DDP)
        ddpSearchSend(ctx);
      else if (ctx->protocolType == JCP_PROTO_NBP)
        NBP_SndLookup(&ctx->protocol.ddp.nbpEPInfo);
      break;
    case JCP_CMD_GET: GetLargeData(ctx); break;
    case JCP_CMD_SET: SetLargeData(ctx); break;
    default: break;
  }
}

void RcvData(JCPEPInfo* ctx) {
  if (!ctx || JCP_IsEnding(ctx)) return;
  if (ctx->cmdType == JCP_CMD_SEARCH) {
    // The lookup's own notifier reads its answers.
    if (ctx->protocolType == JCP_PROTO_UDP)
      searchReceive(ctx);
    else if (ctx->protocolType == JCP_PROTO_DDP)
      ddpSearchReceive(ctx);
    return;
  }
  JCP_CommandReceive(ctx);
}

void EndpointNotifierProc(void* context, OTEventCode code, OTResult result, void* cookie) {
  auto* ctx = static_cast<JCPEPInfo*>(context);
  EPInfo* ep = JCP_ActiveEndpoint(ctx);
  if (!ep) return;
  switch (code) {
    case T_OPENCOMPLETE: openComplete(ctx, ep, result, cookie); break;
    case T_BINDCOMPLETE: bindComplete(ctx, ep, result); break;
    case T_DATA:
    case T_EXDATA: RcvData(ctx); break;
    case T_UDERR:
      if (isOpen(ep)) OT_RcvUDErr(ep);
      break;
    case OT_FLUSH_COMPLETE: flushComplete(ctx, ep); break;
    case T_UNBINDCOMPLETE: unbindComplete(ctx, ep); break;
    default: break;
  }
}

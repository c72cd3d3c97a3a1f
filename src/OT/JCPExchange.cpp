// The life of a JCP request's endpoint (see JCPExchange.h): the open and
// bind, the notifier's events, the poll step with its time-outs, and the end
// sequence that flushes, unbinds, closes and reports.
#include "OT/JCPExchange.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

#include "toolbox/clock.h"
#include "toolbox/memory.h"
#include "toolbox/pump.h"
#include "toolbox/trace.h"

namespace {

// Longest wait of one pass of a synchronous request; the pump wakes at once
// when the endpoint has data.
constexpr int kSyncWaitMs = 5;
// Unbind attempts while events keep arriving on a closing endpoint.
constexpr int kMaxUnbindTries = 8;
// The queue of received datagrams asked for (the host may cap it): a burst
// of replies, a box's repeats or a stranger's, must not push the one
// awaited out of the queue before it is read.
constexpr UInt32 kReceiveQueueBytes = 4u << 20;

bool isOpen(const EPInfo* ep) { return JCP_EndpointOpen(ep); }

// An asynchronous endpoint hears of it as T_OPTMGMTCOMPLETE, which needs
// nothing more.
void askForReceiveQueue(EPInfo* ep) {
  UInt32 words[5] = {kOTFourByteOptionSize, XTI_GENERIC, XTI_RCVBUF, 0, kReceiveQueueBytes};
  TOptMgmt req{};
  req.opt = TNetbuf{sizeof words, sizeof words, reinterpret_cast<UInt8*>(words)};
  req.flags = T_NEGOTIATE;
  OTOptionManagement(ep->epRef, &req, nullptr);
}

void unbindComplete(JCPEPInfo* ctx, EPInfo* ep) {
  // A second unbind-complete (the event after a direct run) finds the
  // endpoint closed already.
  if (!isOpen(ep)) return;
  JCP_Finish(ctx, ep);
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
      JCP_Finish(ctx, ep);
    }
    return;
  }
  ep->epRef = static_cast<EndpointRef>(cookie);
  if (killed) {
    JCP_SetState(ctx, JCP_STATE_CLOSING, "opened after it was ended");
    ctx->isSuccess = 0;
    JCP_Finish(ctx, ep);
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
    JCP_Finish(ctx, ep);
    return;
  }
  askForReceiveQueue(ep);
  r = OT_Bind(ep);
  if (r != kOTNoError) {
    ctx->isSuccess = 0;
    JCP_Finish(ctx, ep);
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
    JCP_Finish(ctx, ep);
    return;
  }
  ctx->isSuccess = 0;
  SndData(ctx);
  // A request with nothing to send (a search with no target) still
  // listens, so that the poll step counts its quiet time and it ends.
  if (isOpen(ep) && ep->prevCallFunc != OT_FUNC_SNDUDATA) RcvData(ctx);
}

// Reads one datagram into the endpoint's receive buffer (a datagram longer
// than the buffer keeps its first part; the endpoint layer drops the rest).
OSStatus readDatagram(UDPEPInfo* ep, UInt32* len, UInt32* addr, UInt16* port) {
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

}  // namespace

void JCP_FreeRows(JCPEPInfo* ctx) {
  DDPAddInfo& d = ctx->protocol.ddp;
  if (d.nbpAddrTable) DisposePtr(reinterpret_cast<Ptr>(d.nbpAddrTable));
  d.nbpAddrTable = nullptr;
  d.nbpAddrTableCnt = 0;
  d.curLookupIdx = 0;
}

// Nothing touches the context after the caller's notifier, which may start
// the request again (a resend) or end the caller's interest.
void JCP_Report(JCPEPInfo* ctx) {
  JCP_FreeRows(ctx);
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
  if (ctx->NotifyProcPtr) ctx->NotifyProcPtr(ctx, ctx->rcvLargeBuf, &ctx->rcvLargeBufLen, status);
}

void JCP_Finish(JCPEPInfo* ctx, EPInfo* ep) {
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
  JCP_Report(ctx);
}

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

void JCP_ClearContext(JCPEPInfo* ctx) {
  JCP_SetState(ctx, JCP_STATE_IDLE, "cleared for a new request");
  *ctx = JCPEPInfo{};
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
  ctx->rcvArmed = r == kOTNoDataErr;
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

void JCP_BeginTry(JCPEPInfo* ctx) {
  EPInfo* ep = JCP_ActiveEndpoint(ctx);
  ctx->isComplete = 0;
  ctx->isTimeout = 0;
  ctx->startTick = TickCount();
  ctx->rcvArmed = 0;
  if (!ep) return;
  ep->prevCallFunc = 0;
  ep->prevTick = 0;  // quiet time counts from this try's first datagram
}

void JCP_BeginExchange(JCPEPInfo* ctx, SInt16 cmdType, const JCPSteps* steps, JCPNotifyProcPtr notify,
                       UInt32 timeoutMs) {
  ctx->NotifyProcPtr = notify;
  ctx->cmdType = cmdType;
  ctx->steps = steps;
  ctx->isSuccess = 0;
  JCP_BeginTry(ctx);
  if (EPInfo* ep = JCP_ActiveEndpoint(ctx)) ep->timeout = SInt32(std::min<UInt32>(timeoutMs, 0x7FFFFFFF));
}

OSStatus JCP_OpenActive(JCPEPInfo* ctx, Boolean async) {
  EPInfo* ep = JCP_ActiveEndpoint(ctx);
  if (!ep) return kOTBadDataErr;
  if (!g_endpointNotifyProcJCP) g_endpointNotifyProcJCP = NewOTNotifyUPP(EndpointNotifierProc);
  ep->bAsync = async;
  ctx->rcvArmed = 0;  // a new endpoint is read once before its notifier is relied on
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
    // Datagrams a receive step left for its next turn (its last read took
    // one) are read at once: sleeping on them would let a burst fill the
    // socket's queue and push the box's answer out.
    const EPInfo* ep = JCP_ActiveEndpoint(ctx);
    const bool left = isOpen(ep) && !JCP_IsEnding(ctx) && ep->prevCallFunc == OT_FUNC_RCVUDATA && ep->err == kOTNoError;
    tb::Pump(left ? 0 : kSyncWaitMs);
  }
}

OSStatus JCP_RunExchange(JCPEPInfo* ctx, Boolean async) {
  EPInfo* ep = JCP_ActiveEndpoint(ctx);
  if (!ep) return kOTBadDataErr;
  OSStatus r = JCP_OpenActive(ctx, async);
  if (r != kOTNoError && !isOpen(ep) && !ctx->isComplete && !JCP_IsOpening(ctx)) return r;
  if (!async) JCP_WaitComplete(ctx);
  return ep->err;
}

OSStatus JCP_PendingLoop(JCPEPInfo* ctx) {
  EPInfo* ep = JCP_ActiveEndpoint(ctx);
  if (!ep) return kOTBadDataErr;
  if (ctx->steps && ctx->steps->poll && !JCP_IsEnding(ctx)) {
    ctx->steps->poll(ctx);
    ep = JCP_ActiveEndpoint(ctx);  // the user's step may have moved it on
  }
  if (!isOpen(ep)) return kOTBadDataErr;
  if (ep->prevCallFunc != 7 && ep->prevCallFunc != 9) return ep->err;
  if (JCP_IsEnding(ctx)) return ep->err;
  const UInt32 limit = MilliToTick(UInt32(std::max<SInt32>(ep->timeout, 0)));
  const bool quiet = UInt32(GetSpentTime(ep)) > limit;
  // A command's try lasts its time-out at most, however the box answers
  // (one that always says more follows, or never closes), so that the whole
  // exchange ends within the time-out and the resends its caller allows. A
  // search lives on while boxes keep answering, up to its overall limit.
  const UInt32 lasted = TickCount() - ctx->startTick;
  const UInt32 factor = ctx->steps ? ctx->steps->overallLimitFactor : 0;
  const bool over = factor ? lasted > limit * factor : lasted >= std::max<UInt32>(limit, 1);
  if (quiet || over) {
    tb::TraceNote("jcp", "context@%p: %s", static_cast<void*>(ctx),
                  quiet ? "no reply within the time-out" : "the request has run its whole time");
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
    // A notifier-driven endpoint that has been read empty tells of its next
    // datagram itself: looking again would only find the socket empty.
    if (isOpen(ep) && !JCP_IsEnding(ctx) && !(ep->bAsync && ctx->rcvArmed)) RcvData(ctx);
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
  if (ctx->protocolType != JCP_PROTO_UDP && ctx->protocolType != JCP_PROTO_DDP && ctx->protocolType != JCP_PROTO_NBP)
    return -1;
  if (!*udp || !*ddp || !*nbp || !*active) return -2;
  return 0;
}

void SndData(JCPEPInfo* ctx) {
  if (ctx && ctx->steps && ctx->steps->send) ctx->steps->send(ctx);
}

void RcvData(JCPEPInfo* ctx) {
  if (!ctx || JCP_IsEnding(ctx)) return;
  if (ctx->steps && ctx->steps->receive) ctx->steps->receive(ctx);
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

#include "OT/FTPClient.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/pump.h"

namespace {

constexpr UInt32 kRcvLength = 16384;
// The reply text keeps one byte for its terminating NUL.
constexpr UInt32 kReplyRoom = kFTPLargeBufSize - 1;

bool usable(const FTPEPInfo* ctx) { return ctx && ctx->protocolType == FTP_PROTO_TCP; }

EPInfo* endpointOf(FTPEPInfo* ctx) { return &ctx->protocol.tcp.epi; }

bool hardResult(OSStatus r) { return r != kOTNoError && r != kOTNoDataErr && r != kOTLookErr; }

// Resets what an open starts from, for both kinds of connection.
void prepareOpen(FTPEPInfo* ctx, UInt32 ipAddr, UInt16 port, UInt32 timeoutMs, OTNotifyProcPtr notifier) {
  ctx->protocolType = FTP_PROTO_TCP;
  // A context opened again keeps one notifier handle rather than leaking one
  // per open.
  if (!ctx->uppEndpoint) ctx->uppEndpoint = NewOTNotifyUPP(notifier);
  EPInfo* ep = endpointOf(ctx);
  ep->prevCallFunc = OT_FUNC_NONE;
  ep->timeout = static_cast<SInt32>(timeoutMs);
  FTP_TCP_SetRemote(ctx, ipAddr, port);
  ctx->protocol.tcp.rcvBufLen = 0;
}

// The endpoint reference arrives with open-complete; the connection then
// runs non-blocking in the mode it was opened in, and binds.
void openComplete(FTPEPInfo* ctx, OTResult result, void* cookie) {
  EPInfo* ep = endpointOf(ctx);
  ep->epRef = static_cast<EndpointRef>(cookie);
  if (!ep->epRef) {
    ep->err = -1;
    ctx->isComplete = 1;
    return;
  }
  if (result != kOTNoError) {
    ep->err = result;
    OT_CloseEndpoint(ep);
    ep->epRef = nullptr;
    ctx->isComplete = 1;
    return;
  }
  OTSetNonBlocking(ep->epRef);
  if (ep->bAsync)
    OTSetAsynchronous(ep->epRef);
  else
    OTSetSynchronous(ep->epRef);
  OT_Bind(ep);
}

void unbindComplete(FTPEPInfo* ctx) {
  EPInfo* ep = endpointOf(ctx);
  if (ep->epRef) OT_CloseEndpoint(ep);
  ep->epRef = nullptr;
  ctx->isComplete = 1;
}

// The box has ended its side. An orderly release leaves our side open for
// sending until we release it too, which an unbind needs.
void peerReleased(FTPEPInfo* ctx) {
  EPInfo* ep = endpointOf(ctx);
  if (!ep->epRef) return;
  OT_RcvOrderlyDisconnect(ep);
  if (OTGetEndpointState(ep->epRef) == T_INREL) OT_SndOrderlyDisconnect(ep);
  OT_Unbind(ep);
}

void peerDisconnected(FTPEPInfo* ctx) {
  EPInfo* ep = endpointOf(ctx);
  if (!ep->epRef) return;
  OT_RcvDisconnect(ep);
  OT_Unbind(ep);
}

// The events both connections treat alike; false for the others.
bool commonEvent(FTPEPInfo* ctx, OTEventCode code, OTResult result, void* cookie) {
  EPInfo* ep = endpointOf(ctx);
  switch (code) {
    case T_OPENCOMPLETE: openComplete(ctx, result, cookie); return true;
    case T_DATA:
    case T_EXDATA: RcvData(ctx); return true;
    case T_DISCONNECT:
    case T_RESET: peerDisconnected(ctx); return true;
    case T_ORDREL: peerReleased(ctx); return true;
    case T_DISCONNECTCOMPLETE:
    case OT_FLUSH_COMPLETE:
      if (ep->epRef) OT_Unbind(ep);
      return true;
    case T_UNBINDCOMPLETE: unbindComplete(ctx); return true;
    default: return false;
  }
}

// A bind that failed, or a first call that failed hard, ends the connection:
// it closes through its unbind, and the owner sees it closed.
void abandon(FTPEPInfo* ctx) {
  EPInfo* ep = endpointOf(ctx);
  if (!ep->epRef) return;
  if (OT_Unbind(ep) != kOTNoError) unbindComplete(ctx);
}

void bindComplete(FTPEPInfo* ctx, OTResult result, void (*firstStep)(FTPEPInfo*)) {
  EPInfo* ep = endpointOf(ctx);
  ctx->isSuccess = 0;
  if (!ep->epRef) {
    ep->err = -1;
    return;
  }
  if (result != kOTNoError) {
    ep->err = result;
    abandon(ctx);
    return;
  }
  firstStep(ctx);
}

// Waits, running the network, until the endpoint has closed or the
// connection's time-out has passed.
bool waitClosed(FTPEPInfo* ctx) {
  EPInfo* ep = endpointOf(ctx);
  const UInt64 limit = UInt64(TickToMilli(MilliToTick(static_cast<UInt32>(std::max<SInt32>(ep->timeout, 0))))) * 1000;
  const UInt64 start = tb::MonotonicMicros();
  while (ep->epRef) {
    if (tb::MonotonicMicros() - start >= limit) break;
    tb::Pump(5);
  }
  return ep->epRef == nullptr;
}

// Unbinds an idle endpoint. A call that has just come in to a listener
// holds the unbind up until it is taken: it is taken and refused first, or
// the listener would accept it while it waits to close.
void unbindIdle(FTPEPInfo* ctx) {
  EPInfo* ep = endpointOf(ctx);
  TCPEPInfo* t = &ctx->protocol.tcp;
  for (int i = 0; i < 4 && OT_Unbind(ep) == kOTLookErr; ++i) {
    if (TCP_Listen(t, t->localIpAddr, t->localPort) != kOTNoError) break;
    OT_SndDisconnect(ep);
  }
}

OTNotifyProcPtr notifierOf(const FTPEPInfo* ctx) {
  return ctx->dataConnect ? ftpDEndpointNotifierProc : ftpEndpointNotifierProc;
}

OTResult sendCommand(FTPEPInfo* ctx, SInt16 cmdType, const char* cmd, UInt32 cmdLen, const void* data,
                     UInt32 dataLen) {
  if (!usable(ctx)) return kOTBadDataErr;
  if ((cmdLen && !cmd) || (dataLen && !data)) return kOTBadDataErr;
  ctx->isComplete = 0;
  ctx->rcvOffset = 0;
  ctx->isTimeout = 0;
  ctx->sndOffset = 0;
  ctx->rcvLargeBuf[0] = 0;
  ctx->rcvLargeBufLen = 0;
  ctx->cmdType = cmdType;

  UInt32 keep = std::min<UInt32>(cmdLen, kFTPCmdSize - 1);
  if (keep) std::memcpy(ctx->cmd, cmd, keep);
  ctx->cmd[keep] = 0;
  ctx->sndLargeBufLen = std::min<UInt32>(dataLen, kFTPLargeBufSize);
  // The data is often read into sndLargeBuf itself.
  if (ctx->sndLargeBufLen) std::memmove(ctx->sndLargeBuf, data, ctx->sndLargeBufLen);

  if (dataLen) return TCP_Snd(&ctx->protocol.tcp, data, dataLen, 0);
  return TCP_Snd(&ctx->protocol.tcp, cmd, cmdLen, 0);
}

// Appends received reply text, keeping the newest bytes when it would not
// fit, and tells whether a line end came with it.
void collectReply(FTPEPInfo* ctx, const UInt8* bytes, UInt32 n) {
  // The line end is looked for before anything is cut: it may straddle two
  // reads, and a read longer than the room loses its first bytes.
  UInt32 had = std::min<UInt32>(ctx->rcvLargeBufLen, kReplyRoom);
  bool lineEnd = n && had && ctx->rcvLargeBuf[had - 1] == '\r' && bytes[0] == '\n';
  for (UInt32 i = 0; i + 1 < n && !lineEnd; ++i) lineEnd = bytes[i] == '\r' && bytes[i + 1] == '\n';
  if (n > kReplyRoom) {
    bytes += n - kReplyRoom;
    n = kReplyRoom;
  }
  UInt32 len = had;
  if (len + n > kReplyRoom) {
    UInt32 drop = len + n - kReplyRoom;
    std::memmove(ctx->rcvLargeBuf, ctx->rcvLargeBuf + drop, len - drop);
    len -= drop;
  }
  std::memcpy(ctx->rcvLargeBuf + len, bytes, n);
  len += n;
  ctx->rcvLargeBuf[len] = 0;
  ctx->rcvLargeBufLen = len;
  ctx->rcvOffset = len;
  if (lineEnd) {
    ctx->isSuccess = 1;
    ctx->ackWait = 1;
  }
}

std::vector<FTPEPInfo*>& keptContexts() {
  static std::vector<FTPEPInfo*> kept;
  return kept;
}

bool endpointGone(FTPEPInfo* ctx) {
  EPInfo* ep = endpointOf(ctx);
  if (!ep->epRef) return true;
  // Closed behind our back (Open Transport shut down): nothing can call its
  // notifier any more.
  if (OTGetEndpointState(ep->epRef) == kOTBadReferenceErr) {
    ep->epRef = nullptr;
    return true;
  }
  return false;
}

void dispose(FTPEPInfo* ctx) {
  if (ctx->uppEndpoint) DisposeOTNotifyUPP(ctx->uppEndpoint);
  DisposePtr(reinterpret_cast<Ptr>(ctx));
}

}  // namespace

OSStatus Ftp_Protocol(FTPEPInfo* ctx, UInt32 ipAddr, UInt16 port, UInt32 timeoutMs, FTPNotifyProcPtr callback,
                      Boolean async) {
  if (!ctx || (ctx->protocolType != 0 && ctx->protocolType != FTP_PROTO_TCP)) return kOTBadDataErr;
  if (endpointOf(ctx)->epRef) return kOTBadDataErr;  // still open
  prepareOpen(ctx, ipAddr, port, timeoutMs, ftpEndpointNotifierProc);
  ctx->cmdType = FTP_CMD_CONTROL;
  ctx->dataConnect = 0;
  ctx->NotifyProcPtr = callback;
  ctx->rcvLargeBufLen = ctx->rcvOffset = 0;
  ctx->sndLargeBufLen = ctx->sndOffset = 0;
  std::memset(ctx->cmd, 0, sizeof ctx->cmd);
  std::memset(ctx->sndLargeBuf, 0, sizeof ctx->sndLargeBuf);
  std::memset(ctx->rcvLargeBuf, 0, sizeof ctx->rcvLargeBuf);
  ctx->isSuccess = ctx->ackWait = ctx->isTimeout = ctx->isComplete = 0;
  OSStatus r = OT_OpenEndpoint(endpointOf(ctx), OT_PROTO_TCP, ctx->uppEndpoint, ctx, async);
  if (r != kOTNoError) {
    ctx->isComplete = 1;
  } else if (!async) {
    // A synchronous open runs the same steps the notifier would.
    EPInfo* ep = endpointOf(ctx);
    ftpEndpointNotifierProc(ctx, T_OPENCOMPLETE, kOTNoError, ep->epRef);
    if (ep->epRef) ftpEndpointNotifierProc(ctx, T_BINDCOMPLETE, ep->err, nullptr);
  }
  return kOTNoError;
}

OSStatus FtpData_Protocol(FTPEPInfo* ctx, UInt32 ipAddr, UInt16 port, UInt32 timeoutMs,
                          FTPNotifyProcPtr callback, Boolean async) {
  if (!ctx || (ctx->protocolType != 0 && ctx->protocolType != FTP_PROTO_TCP)) return kOTBadDataErr;
  if (endpointOf(ctx)->epRef) return kOTBadDataErr;  // the previous connection is still open
  prepareOpen(ctx, ipAddr, port, timeoutMs, ftpDEndpointNotifierProc);
  ctx->cmdType = FTP_CMD_DATA;
  ctx->dataConnect = 1;
  if (callback) ctx->NotifyProcPtr = callback;
  // The flags of the previous file's connection must not pass for this one's.
  ctx->isSuccess = ctx->ackWait = ctx->isComplete = 0;
  ctx->lportPort = 0;
  OSStatus r = OT_OpenEndpoint(endpointOf(ctx), OT_PROTO_TCP, ctx->uppEndpoint, ctx, async);
  if (r != kOTNoError) {
    ctx->isComplete = 1;
  } else if (!async) {
    EPInfo* ep = endpointOf(ctx);
    ftpDEndpointNotifierProc(ctx, T_OPENCOMPLETE, kOTNoError, ep->epRef);
    if (ep->epRef) ftpDEndpointNotifierProc(ctx, T_BINDCOMPLETE, ep->err, nullptr);
  }
  return kOTNoError;
}

void FTP_TCP_SetRemote(FTPEPInfo* ctx, UInt32 ipAddr, UInt16 port) {
  if (!ctx) return;
  ctx->protocol.tcp.remoteIpAddr = ipAddr;
  ctx->protocol.tcp.remotePort = port;
  ctx->protocolType = FTP_PROTO_TCP;
}

short GetFtpEPInfo(FTPEPInfo* ctx, EPInfo** epInfo, TCPEPInfo** tcpInfo) {
  if (!ctx) return -2;
  if (ctx->protocolType != FTP_PROTO_TCP) return -1;
  if (epInfo) *epInfo = endpointOf(ctx);
  if (tcpInfo) *tcpInfo = &ctx->protocol.tcp;
  return 0;
}

OTResult FTP_Get_Command(FTPEPInfo* ctx, const char* cmd, UInt32 cmdLen, const void* data, UInt32 dataLen) {
  return sendCommand(ctx, FTP_CMD_CONTROL, cmd, cmdLen, data, dataLen);
}

OTResult FTP_Set_Command(FTPEPInfo* ctx, const char* cmd, UInt32 cmdLen, const void* data, UInt32 dataLen) {
  return sendCommand(ctx, FTP_CMD_DATA, cmd, cmdLen, data, dataLen);
}

void RcvData(FTPEPInfo* ctx) {
  if (!usable(ctx)) return;
  TCPEPInfo* t = &ctx->protocol.tcp;
  // Read until nothing is left: the next data event comes only after a read
  // has found the connection empty.
  bool lookedAgain = false;
  for (;;) {
    if (!t->epi.epRef) return;
    std::memset(t->rcvBuf, 0, sizeof t->rcvBuf);
    UInt32 len = kRcvLength;
    OTFlags flags = 0;
    OTResult r = TCP_Rcv(t, t->rcvBuf, &len, &flags);
    if (r == kOTLookErr && !lookedAgain) {
      lookedAgain = true;
      continue;
    }
    if (r <= 0 || len == 0) return;
    if (ctx->cmdType == FTP_CMD_CONTROL) collectReply(ctx, t->rcvBuf, len);
  }
}

void GetConnectData(FTPEPInfo* ctx) {
  if (!usable(ctx)) return;
  TCPEPInfo* t = &ctx->protocol.tcp;
  t->localPort = t->iAddr.fPort;
  t->localIpAddr = OT_GetMyIpAddress();
  OSStatus r = TCP_Connect(t, t->remoteIpAddr, t->remotePort);
  if (hardResult(r)) {
    OT_RcvDisconnect(&t->epi);
    abandon(ctx);
  }
  ctx->ackWait = 0;
}

void GetListenData(FTPEPInfo* ctx) {
  if (!usable(ctx)) return;
  TCPEPInfo* t = &ctx->protocol.tcp;
  ctx->lportPort = t->iAddr.fPort;
  OSStatus r = TCP_Listen(t, OT_GetMyIpAddress(), ctx->lportPort);
  if (hardResult(r)) {
    OT_SndDisconnect(&t->epi);
    abandon(ctx);
  }
  ctx->ackWait = 0;
}

void ftpEndpointNotifierProc(void* context, OTEventCode code, OTResult result, void* cookie) {
  auto* ctx = static_cast<FTPEPInfo*>(context);
  if (!usable(ctx)) return;
  if (commonEvent(ctx, code, result, cookie)) return;
  EPInfo* ep = endpointOf(ctx);
  switch (code) {
    case T_BINDCOMPLETE: bindComplete(ctx, result, GetConnectData); break;
    case T_CONNECT:
      if (ep->epRef && TCP_RcvConnect(&ctx->protocol.tcp) == kOTLookErr) {
        // Refused: the disconnect waits to be taken.
        peerDisconnected(ctx);
      }
      break;
    default: break;
  }
}

void ftpDEndpointNotifierProc(void* context, OTEventCode code, OTResult result, void* cookie) {
  auto* ctx = static_cast<FTPEPInfo*>(context);
  if (!usable(ctx)) return;
  if (commonEvent(ctx, code, result, cookie)) return;
  EPInfo* ep = endpointOf(ctx);
  switch (code) {
    case T_BINDCOMPLETE:
      bindComplete(ctx, result, GetListenData);
      // A bind that refused the address reports port 0: nothing could call.
      if (ep->epRef && result == kOTNoError && ctx->lportPort == 0) abandon(ctx);
      break;
    case T_LISTEN: {
      if (!ep->epRef) break;
      TCPEPInfo* t = &ctx->protocol.tcp;
      OSStatus r = TCP_Listen(t, t->localIpAddr, t->localPort);
      if (!hardResult(r)) r = TCP_Accept(t);
      if (hardResult(r)) OT_SndDisconnect(ep);
      break;
    }
    case T_ACCEPTCOMPLETE: ctx->isSuccess = 1; break;
    default: break;
  }
}

void FTP_KillIOEvent(FTPEPInfo* ctx) {
  if (!usable(ctx)) return;
  EPInfo* ep = endpointOf(ctx);
  if (!ep->epRef) return;
  OT_KillIOEvent(ep);
  if (!ep->bAsync) {
    OTNotifyProcPtr notifier = notifierOf(ctx);
    notifier(ctx, T_DISCONNECTCOMPLETE, kOTNoError, nullptr);
    notifier(ctx, T_UNBINDCOMPLETE, kOTNoError, nullptr);
  }
}

short FTP_Disconnect(FTPEPInfo* ctx) {
  if (!usable(ctx)) return 1;
  EPInfo* ep = endpointOf(ctx);
  if (!ep->epRef) return 1;
  OSStatus released = OT_SndOrderlyDisconnect(ep);
  OTNotifyProcPtr notifier = notifierOf(ctx);
  if (!ep->bAsync) {
    notifier(ctx, T_DISCONNECTCOMPLETE, kOTNoError, nullptr);
    notifier(ctx, T_UNBINDCOMPLETE, kOTNoError, nullptr);
    return ep->epRef ? 0 : 1;
  }
  if (released != kOTNoError) {
    // Not connected (a listener nobody called, a call still being dialled):
    // there is no peer to wait for, so it ends at once.
    OTResult state = OTGetEndpointState(ep->epRef);
    if (state == T_OUTCON || state == T_INCON)
      OT_SndDisconnect(ep);
    else if (state == T_IDLE)
      unbindIdle(ctx);
  }
  if (waitClosed(ctx)) return 1;
  OT_KillIOEvent(ep);
  if (!ep->epRef) return 1;
  notifier(ctx, T_DISCONNECTCOMPLETE, kOTNoError, nullptr);
  if (waitClosed(ctx)) return 1;
  notifier(ctx, T_UNBINDCOMPLETE, kOTNoError, nullptr);
  if (waitClosed(ctx)) return 1;
  return 0;
}

OTResult Start_FTP_Data(FTPEPInfo* ctx, FILE_INFO_DATA* file) {
  if (!usable(ctx) || !file) return kOTBadDataErr;
  if (file->sendSize >= file->fileSize) return 0;
  SInt16 ref = 0;
  if (FSpOpenDF(&file->fileSpec, fsRdPerm, &ref) != noErr) return -1;
  UInt8* piece = ctx->sndLargeBuf;
  SInt32 count = static_cast<SInt32>(std::min<UInt32>(kFTPLargeBufSize, file->fileSize - file->sendSize));
  OSErr err = SetFPos(ref, fsFromStart, static_cast<SInt32>(file->sendSize));
  if (err == noErr) {
    err = FSRead(ref, &count, piece);
    if (err == eofErr) err = noErr;
  }
  FSClose(ref);
  // A file that has become shorter than it was when taken cannot be sent
  // as announced.
  if (err != noErr || count <= 0) return -1;
  OTResult r = FTP_Set_Command(ctx, "", 0, piece, static_cast<UInt32>(count));
  if (r == kOTNoDataErr) return 0;
  if (r < 0) return r;
  file->sendSize += static_cast<UInt32>(r);
  return r;
}

void iptoport(UInt32 ipAddr, char* buf) {
  if (!buf) return;
  std::snprintf(buf, 16, "%u,%u,%u,%u", (ipAddr >> 24) & 0xFF, (ipAddr >> 16) & 0xFF, (ipAddr >> 8) & 0xFF,
                ipAddr & 0xFF);
}

void FTP_Release_Context(FTPEPInfo* ctx) {
  if (!ctx) return;
  if (endpointGone(ctx)) {
    dispose(ctx);
    return;
  }
  keptContexts().push_back(ctx);
}

int FTP_Reap_Contexts() {
  auto& kept = keptContexts();
  std::erase_if(kept, [](FTPEPInfo* ctx) {
    if (!endpointGone(ctx)) return false;
    dispose(ctx);
    return true;
  });
  return static_cast<int>(kept.size());
}

void FTP_Release_All_Contexts() {
  auto& kept = keptContexts();
  for (FTPEPInfo* ctx : kept) {
    EPInfo* ep = endpointOf(ctx);
    if (ep->epRef) OT_CloseEndpoint(ep);
    ep->epRef = nullptr;
    dispose(ctx);
  }
  kept.clear();
}

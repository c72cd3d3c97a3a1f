// The FTP client's transport: the control connection to the box's port 21
// and the active-mode data connection, each an endpoint of its own with its
// notifier, reply reading and quiet-time checks. The command sequence that
// drives them is the send window's.
#include "OT/FTPClient.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/iobuf.h"
#include "toolbox/memory.h"
#include "toolbox/pump.h"
#include "toolbox/trace.h"

struct FTPFilePiece {
  FSSpec spec;
  SInt16 ref;    // the file, open for reading
  UInt32 at;     // file offset of buf[0]; the file's mark is at + len
  UInt32 len;    // bytes read into buf
  UInt32 room;   // size of buf
  UInt8 buf[1];  // room bytes
};

namespace {

constexpr UInt32 kRcvLength = 16384;
// Reads one RcvData makes at most; what is left is taken in a later pass.
constexpr int kReadsPerStep = 4;
// The reply text keeps one byte for its terminating NUL.
constexpr UInt32 kReplyRoom = kFTPLargeBufSize - 1;

bool usable(const FTPEPInfo* ctx) { return ctx && ctx->protocolType == FTP_PROTO_TCP; }

EPInfo* endpointOf(FTPEPInfo* ctx) { return &ctx->protocol.tcp.epi; }

bool hardResult(OSStatus r) { return r != kOTNoError && r != kOTNoDataErr && r != kOTLookErr; }

bool sameFile(const FSSpec& a, const FSSpec& b) {
  return a.vRefNum == b.vRefNum && a.parID == b.parID && std::memcmp(a.name, b.name, a.name[0] + 1u) == 0;
}

void closeFile(FTPEPInfo* ctx) {
  FTPFilePiece* p = ctx->piece;
  if (!p) return;
  FSClose(p->ref);
  DisposePtr(reinterpret_cast<Ptr>(p));
  ctx->piece = nullptr;
}

// Connections that had more to read than one step takes. They are read on
// from the next pass of the loop, not from this one: a peer that streams
// faster than we read would otherwise keep one pass going as long as it
// liked. A context leaves the list when it closes or is released, so the
// list never holds a freed one.
std::vector<FTPEPInfo*>& unread() {
  static std::vector<FTPEPInfo*> list;
  return list;
}
bool gReadQueued = false;

void readOnLater(FTPEPInfo* ctx) {
  auto& list = unread();
  if (std::find(list.begin(), list.end(), ctx) == list.end()) list.push_back(ctx);
  if (gReadQueued) return;
  gReadQueued = true;
  tb::DeferToNextPass([] {
    gReadQueued = false;
    std::vector<FTPEPInfo*> now;
    now.swap(unread());
    for (FTPEPInfo* c : now) RcvData(c);
  });
}

void forgetUnread(FTPEPInfo* ctx) { std::erase(unread(), ctx); }

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
  // A data connection listens only where the box reaches us (by default
  // this computer's own address), never on every interface.
  InetHost host = kOTAnyInetAddress;
  if (ctx->dataConnect) host = ctx->listenIpAddr ? ctx->listenIpAddr : OT_GetMyIpAddress();
  OT_BindAt(ep, host);
}

void unbindComplete(FTPEPInfo* ctx) {
  EPInfo* ep = endpointOf(ctx);
  if (ep->epRef) OT_CloseEndpoint(ep);
  ep->epRef = nullptr;
  ctx->isComplete = 1;
  forgetUnread(ctx);
}

// Closes the endpoint at once, without the unbind's round through the
// notifier: nothing is left to say to the peer.
void closeNow(FTPEPInfo* ctx) {
  closeFile(ctx);
  unbindComplete(ctx);
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
  // A reply still streaming in goes on being followed; what counts is what
  // completes from here.
  ctx->reply.code[0] = 0;
  ctx->reply.replies = 0;
  ctx->reply.refused = 0;

  UInt32 keep = std::min<UInt32>(cmdLen, kFTPCmdSize - 1);
  if (keep) std::memcpy(ctx->cmd, cmd, keep);
  ctx->cmd[keep] = 0;
  ctx->sndLargeBufLen = std::min<UInt32>(dataLen, kFTPLargeBufSize);
  // The data is often read into sndLargeBuf itself.
  if (ctx->sndLargeBufLen) std::memmove(ctx->sndLargeBuf, data, ctx->sndLargeBufLen);

  if (dataLen) return TCP_Snd(&ctx->protocol.tcp, data, dataLen, 0);
  return TCP_Snd(&ctx->protocol.tcp, cmd, cmdLen, 0);
}

bool threeDigits(const char* c) {
  return c[0] >= '0' && c[0] <= '9' && c[1] >= '0' && c[1] <= '9' && c[2] >= '0' && c[2] <= '9';
}

void replyCompleted(FTPReplyTrack& t, const char* code) {
  std::memcpy(t.code, code, 3);
  t.code[3] = 0;
  if (t.replies < 0xFFFF) t.replies++;
  if (code[0] == '4' || code[0] == '5') t.refused = 1;
}

// A line has ended. "ddd text" ends a reply; "ddd-text" opens a
// multi-line one, whose lines are its text, whatever they begin with,
// until "ddd text" with the same code.
void replyLineEnded(FTPReplyTrack& t) {
  bool coded = t.headLen >= 3 && threeDigits(t.head);
  char sep = t.headLen >= 4 ? t.head[3] : ' ';
  if (sep == '\r') sep = ' ';  // "226\r\n"
  if (t.inMulti) {
    if (coded && sep == ' ' && std::memcmp(t.head, t.open, 3) == 0) {
      t.inMulti = 0;
      replyCompleted(t, t.open);
    }
    return;
  }
  if (!coded) {
    if (t.headLen) tb::TraceRefusal("ftp", "reply line without a code ignored");
    return;
  }
  if (sep == '-') {
    std::memcpy(t.open, t.head, 3);
    t.inMulti = 1;
  } else if (sep == ' ') {
    replyCompleted(t, t.head);
  }
}

void trackReply(FTPReplyTrack& t, const UInt8* bytes, UInt32 n) {
  for (UInt32 i = 0; i < n; ++i) {
    if (bytes[i] == '\n') {
      replyLineEnded(t);
      t.headLen = 0;
    } else if (t.headLen < sizeof t.head) {
      t.head[t.headLen++] = static_cast<char>(bytes[i]);
    }
  }
}

// Appends received reply text, keeping the newest bytes when it would not
// fit, and tells whether a line end came with it.
void collectReply(FTPEPInfo* ctx, const UInt8* bytes, UInt32 n) {
  trackReply(ctx->reply, bytes, n);
  // The line end is looked for before anything is cut: it may straddle two
  // reads, and a read longer than the room loses its first bytes.
  UInt32 had = std::min<UInt32>(ctx->rcvLargeBufLen, kReplyRoom);
  bool lineEnd = n && had && ctx->rcvLargeBuf[had - 1] == '\r' && bytes[0] == '\n';
  for (UInt32 i = 0; i + 1 < n && !lineEnd; ++i) lineEnd = bytes[i] == '\r' && bytes[i + 1] == '\n';
  UInt32 len = had;
  tb::AppendKeepNewest(std::span<UInt8>(ctx->rcvLargeBuf, kReplyRoom), len, std::span<const UInt8>(bytes, n));
  ctx->rcvLargeBuf[len] = 0;
  ctx->rcvLargeBufLen = len;
  ctx->rcvOffset = len;
  if (lineEnd) {
    ctx->isSuccess = 1;
    ctx->ackWait = 1;
  }
}

struct Kept {
  FTPEPInfo* ctx;
  UInt32 deadline;  // tick after which a peer that has not closed is cut off
};

std::vector<Kept>& keptContexts() {
  static std::vector<Kept> kept;
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
  closeFile(ctx);
  forgetUnread(ctx);
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
  ctx->reply = FTPReplyTrack{};
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
  ctx->refusedCalls = 0;
  closeFile(ctx);  // the previous file's, had it not gone whole
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
  // The next data event comes only after a read has found the connection
  // empty: a step that stops before that comes back on its own.
  bool lookedAgain = false;
  for (int reads = 0;; ++reads) {
    if (!t->epi.epRef) return;
    if (reads == kReadsPerStep) {
      readOnLater(ctx);
      return;
    }
    std::memset(t->rcvBuf, 0, sizeof t->rcvBuf);
    UInt32 len = kRcvLength;
    OTFlags flags = 0;
    OTResult r = TCP_Rcv(t, t->rcvBuf, &len, &flags);
    if (r == kOTLookErr && !lookedAgain) {
      lookedAgain = true;
      --reads;
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
  // The address the listener is bound to is the one the box must call.
  UInt32 host = t->iAddr.fHost ? t->iAddr.fHost : OT_GetMyIpAddress();
  OSStatus r = TCP_Listen(t, host, ctx->lportPort);
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
  if (code == T_DISCONNECTCOMPLETE && ctx->refusedCalls) {
    ctx->refusedCalls--;  // a stranger's call was refused; the listener waits on
    return;
  }
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
      // Only the box may deliver the file's connection: a call from any
      // other address is refused, and the listener goes on waiting.
      if (r == kOTNoError && t->iAddr.fHost != t->remoteIpAddr) {
        char from[16], box[16];
        OTInetHostToString(t->iAddr.fHost, from);
        OTInetHostToString(t->remoteIpAddr, box);
        tb::TraceRefusal("ftp", "data call from %s refused: the box is %s", from, box);
        if (OT_SndDisconnect(ep) == kOTNoError && ep->bAsync) ctx->refusedCalls++;
        break;
      }
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
  closeFile(ctx);
  OSStatus released = OT_SndOrderlyDisconnect(ep);
  if (!ep->bAsync) {
    OTNotifyProcPtr notifier = notifierOf(ctx);
    notifier(ctx, T_DISCONNECTCOMPLETE, kOTNoError, nullptr);
    notifier(ctx, T_UNBINDCOMPLETE, kOTNoError, nullptr);
    return ep->epRef ? 0 : 1;
  }
  // Our side is released: the peer's release closes the endpoint through
  // the notifier (T_ORDREL), or the reaper cuts it off. Nothing here waits
  // for the peer.
  if (released == kOTNoError && OTGetEndpointState(ep->epRef) == T_OUTREL) return 0;
  // Not connected (a listener nobody called, a call still being dialled, a
  // connection the peer has ended): nothing is left to wait for.
  closeNow(ctx);
  return 1;
}

OTResult Start_FTP_Data(FTPEPInfo* ctx, FILE_INFO_DATA* file) {
  if (!usable(ctx) || !file) return kOTBadDataErr;
  if (file->sendSize >= file->fileSize) {
    closeFile(ctx);
    return 0;
  }
  FTPFilePiece* p = ctx->piece;
  // Another file, or a position the piece does not hold: start afresh.
  if (p && (!sameFile(p->spec, file->fileSpec) || file->sendSize < p->at || file->sendSize > p->at + p->len)) {
    closeFile(ctx);
    p = nullptr;
  }
  if (!p) {
    SInt16 ref = 0;
    if (FSpOpenDF(&file->fileSpec, fsRdPerm, &ref) != noErr) return -1;
    UInt32 room = static_cast<UInt32>(std::min<UInt32>(kFTPPieceSize, file->fileSize));
    p = reinterpret_cast<FTPFilePiece*>(NewPtr(static_cast<Size>(offsetof(FTPFilePiece, buf) + room)));
    OSErr err = p ? SetFPos(ref, fsFromStart, static_cast<SInt32>(file->sendSize)) : OSErr(memFullErr);
    if (err != noErr) {
      FSClose(ref);
      DisposePtr(reinterpret_cast<Ptr>(p));
      return -1;
    }
    p->spec = file->fileSpec;
    p->ref = ref;
    p->at = file->sendSize;
    p->len = 0;
    p->room = room;
    ctx->piece = p;
  }
  if (file->sendSize == p->at + p->len) {
    // Everything read has gone: the next piece follows at the file's mark.
    SInt32 count = static_cast<SInt32>(std::min<UInt32>(p->room, file->fileSize - file->sendSize));
    OSErr err = FSRead(p->ref, &count, p->buf);
    // A file that has become shorter than it was when taken cannot be sent
    // as announced.
    if ((err != noErr && err != eofErr) || count <= 0) {
      closeFile(ctx);
      return -1;
    }
    p->at = file->sendSize;
    p->len = static_cast<UInt32>(count);
  }
  ctx->isComplete = 0;
  ctx->isTimeout = 0;
  ctx->cmdType = FTP_CMD_DATA;
  UInt32 off = file->sendSize - p->at;
  // Straight from the piece: no copy on the way to the socket.
  OTResult r = TCP_SndInPlace(&ctx->protocol.tcp, p->buf + off, p->len - off, 0);
  if (r == kOTNoDataErr) return 0;
  if (r < 0) return r;
  file->sendSize += static_cast<UInt32>(r);
  if (file->sendSize >= file->fileSize) closeFile(ctx);
  return r;
}

FTPPiecesResult Send_FTP_Pieces(FTPEPInfo* ctx, FILE_INFO_DATA* file, UInt32 budget, UInt32* dataTick,
                                UInt32 stallTicks) {
  UInt32 sent = 0;
  while (file->sendSize < file->fileSize) {
    if (sent >= budget) {
      tb::Defer([] {});
      return kFTPPiecesGoOn;
    }
    OTResult r = Start_FTP_Data(ctx, file);
    if (r > 0) {
      *dataTick = TickCount();
      sent += static_cast<UInt32>(r);
      continue;
    }
    // Nothing taken now: the kernel's buffer is full, or not yet writable;
    // the loop wakes when it drains.
    if (r == 0 || r == kOTFlowErr) return TickCount() - *dataTick > stallTicks ? kFTPPiecesStalled : kFTPPiecesGoOn;
    return r == -1 ? kFTPPiecesUnreadable : kFTPPiecesGone;
  }
  tb::Defer([] {});
  return kFTPPiecesGoOn;
}

void iptoport(UInt32 ipAddr, char* buf) {
  if (!buf) return;
  std::snprintf(buf, 16, "%u,%u,%u,%u", (ipAddr >> 24) & 0xFF, (ipAddr >> 16) & 0xFF, (ipAddr >> 8) & 0xFF,
                ipAddr & 0xFF);
}

UInt32 FTP_Local_Address(FTPEPInfo* ctx) {
  if (!usable(ctx) || !endpointOf(ctx)->epRef) return 0;
  InetAddress local{};
  TBind bound{{sizeof local, 0, reinterpret_cast<UInt8*>(&local)}, 0};
  if (OTGetProtocolAddress(endpointOf(ctx)->epRef, &bound, nullptr) != kOTNoError || bound.addr.len < sizeof local)
    return 0;
  return local.fHost;
}

Boolean FTP_Reply_Completed(const FTPEPInfo* ctx, const char* code) {
  if (!usable(ctx) || !code || !ctx->reply.replies) return 0;
  return std::strncmp(ctx->reply.code, code, 3) == 0;
}

Boolean FTP_Reply_Refused(const FTPEPInfo* ctx) { return usable(ctx) && ctx->reply.refused; }

Boolean FTP_Reply_Holds(const FTPEPInfo* ctx, const char* code) {
  if (!usable(ctx) || !code || ctx->reply.inMulti) return 0;
  const UInt32 len = std::min<UInt32>(ctx->rcvLargeBufLen, kReplyRoom);
  const std::string_view text(reinterpret_cast<const char*>(ctx->rcvLargeBuf), len);
  return text.find(code) != std::string_view::npos || FTP_Reply_Completed(ctx, code);
}

void FTP_Release_Context(FTPEPInfo* ctx) {
  if (!ctx) return;
  closeFile(ctx);
  if (endpointGone(ctx)) {
    dispose(ctx);
    return;
  }
  SInt32 timeout = std::max<SInt32>(endpointOf(ctx)->timeout, 0);
  keptContexts().push_back(Kept{ctx, TickCount() + 2 * MilliToTick(static_cast<UInt32>(timeout))});
}

int FTP_Reap_Contexts() {
  auto& kept = keptContexts();
  const UInt32 now = TickCount();
  std::erase_if(kept, [now](const Kept& k) {
    if (!endpointGone(k.ctx)) {
      if (static_cast<SInt32>(now - k.deadline) < 0) return false;
      // The peer never closed its side: cut it off.
      EPInfo* ep = endpointOf(k.ctx);
      tb::TraceNote("ftp", "connection %p: the peer did not close in time; aborted", static_cast<void*>(k.ctx));
      OTResult state = OTGetEndpointState(ep->epRef);
      if (state >= T_OUTCON) OT_SndDisconnect(ep);
      closeNow(k.ctx);
    }
    dispose(k.ctx);
    return true;
  });
  return static_cast<int>(kept.size());
}

void FTP_Release_All_Contexts() {
  auto& kept = keptContexts();
  for (const Kept& k : kept) {
    closeNow(k.ctx);
    dispose(k.ctx);
  }
  kept.clear();
}

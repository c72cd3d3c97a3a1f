// One JCP command exchange with a print box: the request and its payload
// sent in acknowledged blocks, the reply gathered block by block into the
// caller's buffer.
#include "OT/JCPCommand.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>

#include "toolbox/iobuf.h"
#include "toolbox/trace.h"

namespace {

constexpr char kSetIpCommand[] = "SET IP_ADDR:";
constexpr std::size_t kSetIpLen = sizeof kSetIpCommand - 1;
constexpr int kMaxReadsPerStep = 64;

bool isOpen(const EPInfo* ep) { return JCP_EndpointOpen(ep); }

// Sends one request block: over UDP as long as it is, over AppleTalk always
// as a full 510-byte datagram. The next request may go out only after the
// box has answered this one.
void sendRequest(JCPEPInfo* ctx, const jcp_client& head, const UInt8* data) {
  std::array<UInt8, kJcpClientMaxSize> buf{};
  PackJcpClient(head, std::span<UInt8, kJcpClientHeadSize>(buf.data(), kJcpClientHeadSize));
  if (head.jcpc_size) std::memcpy(buf.data() + kJcpClientHeadSize, data, head.jcpc_size);
  OSStatus r;
  if (ctx->protocolType == JCP_PROTO_DDP) {
    DDPEPInfo* ep = &ctx->protocol.ddp.ddpEPInfo;
    const DDPAddress& to = ep->remoteAddr;
    r = DDP_Snd(ep, to.fNetwork, to.fNodeID, to.fSocket, to.fDDPType, buf.data(), kJcpClientMaxSize);
    if (r == kOTLookErr) {
      OT_RcvUDErr(&ep->epi);
      r = DDP_Snd(ep, to.fNetwork, to.fNodeID, to.fSocket, to.fDDPType, buf.data(), kJcpClientMaxSize);
    }
  } else {
    UDPEPInfo* ep = &ctx->protocol.udp.udpEPInfo;
    UInt32 len = UInt32(kJcpClientHeadSize + head.jcpc_size);
    r = UDP_Snd(ep, ep->remoteIpAddr, ep->remotePort, buf.data(), len);
    if (r == kOTLookErr) {
      OT_RcvUDErr(&ep->epi);
      r = UDP_Snd(ep, ep->remoteIpAddr, ep->remotePort, buf.data(), len);
    }
  }
  // A request that did not go out is sent again by the next send step.
  if (r == kOTNoError) {
    ctx->ackWait = 0;
    ctx->sentCond = head.jcpc_cond;
  }
}

jcp_client requestHead(const JCPEPInfo* ctx) {
  jcp_client c{};
  c.jcpc_rule = 1;
  std::memcpy(c.jcpc_cmd, ctx->cmd, kJcpCmdSize);
  return c;
}

// The request cannot be sent when the endpoint is gone; the caller sees
// the end through the notifier.
void endWithError(JCPEPInfo* ctx) {
  ctx->isSuccess = 0;
  JCP_KillIOEvent(ctx);
}

// Takes a reply's data block at the receive offset; the total taken must
// fit the receive buffer too. Nothing is copied when either does not.
bool takeBlock(JCPEPInfo* ctx, std::span<const UInt8> block) {
  if (ctx->rcvLargeBufLen + block.size() > kJCPLargeBufSize) return false;
  if (!tb::WriteBounded(ctx->rcvLargeBuf, ctx->rcvOffset, block)) return false;
  ctx->rcvLargeBufLen += UInt32(block.size());
  assert(ctx->rcvLargeBufLen <= kJCPLargeBufSize);
  return true;
}

bool isSetIp(const JCPEPInfo* ctx) {
  return ctx->cmdLen >= kSetIpLen && std::memcmp(ctx->cmd, kSetIpCommand, kSetIpLen) == 0;
}

// A request to every host rather than to one: the limited broadcast, or a
// directed one (host part all ones).
bool isBroadcast(UInt32 ip) { return ip == 0xFFFFFFFFu || (ip & 0xFFu) == 0xFFu; }

// Replies come only from where the request went: over UDP the box's
// address and port, over AppleTalk its network, node and socket. A
// "SET IP_ADDR:" sent by broadcast reaches a box whose address is not
// known yet (it is being set), so its answer is taken from any host on
// the port asked.
bool fromTheBox(const JCPEPInfo* ctx, const JCPSender& from) {
  if (ctx->protocolType == JCP_PROTO_DDP) {
    const DDPAddress& to = ctx->protocol.ddp.ddpEPInfo.remoteAddr;
    return from.ddp.fNetwork == to.fNetwork && from.ddp.fNodeID == to.fNodeID && from.ddp.fSocket == to.fSocket;
  }
  const UDPEPInfo& ep = ctx->protocol.udp.udpEPInfo;
  if (from.port != ep.remotePort) return false;
  return from.ipAddr == ep.remoteIpAddr || (isBroadcast(ep.remoteIpAddr) && isSetIp(ctx));
}

// Takes one reply; false when it is dropped (the trace says why), so that
// it does not count as the box's answer in the quiet time either.
bool handleReply(JCPEPInfo* ctx, std::span<const UInt8> d) {
  if (d.empty()) return false;
  // Our own "SET IP_ADDR:" broadcast coming back.
  if (ctx->protocolType == JCP_PROTO_UDP && isSetIp(ctx) && d.size() >= 4 + kSetIpLen &&
      std::memcmp(d.data() + 4, kSetIpCommand, kSetIpLen) == 0) {
    tb::TraceRefusal("jcp", "command: our own SET IP_ADDR: request coming back");
    return false;
  }
  jcp_server h;
  // A head cut short would read as a last, empty block; it is dropped.
  if (!UnpackJcpServer(d, h)) {
    tb::TraceRefusal("jcp", "command: a reply of %zu bytes has no full head", d.size());
    return false;
  }
  // The size may claim neither more than came nor more than a block holds.
  if (h.jcps_size > kJcpServerMaxData || h.jcps_size > d.size() - kJcpServerHeadSize) {
    tb::TraceRefusal("jcp", "command: a reply claims %u data bytes, %zu came", unsigned(h.jcps_size),
                     d.size() - kJcpServerHeadSize);
    return false;
  }
  // No request is waiting for an answer: a stray or a repeated reply.
  if (ctx->ackWait) {
    tb::TraceRefusal("jcp", "command: a reply with no request waiting (repeated?)");
    return false;
  }
  std::span<const UInt8> block = d.subspan(kJcpServerHeadSize, h.jcps_size);

  if (ctx->cmdType == JCP_CMD_GET) {
    if (h.jcps_offset != UInt16(ctx->sndOffset)) {
      tb::TraceRefusal("jcp", "GET: a reply for offset %u, offset %u was asked", unsigned(h.jcps_offset),
                       unsigned(ctx->sndOffset));
      return false;
    }
    // While the closing request waits, only the end answers it.
    if (ctx->isSuccess && h.jcps_chk != JCP_COND_END) {
      tb::TraceRefusal("jcp", "GET: a data reply to the closing request");
      return false;
    }
    ctx->conditionNo = SInt16(h.jcps_cond);
    if (h.jcps_chk == JCP_COND_END) {
      JCP_KillIOEvent(ctx);
      return true;
    }
    if (!takeBlock(ctx, block)) {
      tb::TraceRefusal("jcp", "GET: a block of %zu bytes would pass the end of the receive buffer", block.size());
      endWithError(ctx);
      return true;
    }
    ctx->rcvOffset = h.jcps_cond != 0 ? ctx->rcvOffset + h.jcps_size : 0;
    ctx->ackWait = 1;
    GetLargeData(ctx);
    return true;
  }

  if (ctx->cmdType == JCP_CMD_SET) {
    if (h.jcps_chk != ctx->sentCond) {
      tb::TraceRefusal("jcp", "SET: a reply to cond %u, cond %u was sent", unsigned(h.jcps_chk),
                       unsigned(ctx->sentCond));
      return false;
    }
    ctx->conditionNo = SInt16(h.jcps_cond);
    if (h.jcps_chk == JCP_COND_END) {
      JCP_KillIOEvent(ctx);
      return true;
    }
    // The box's data of a SET lands at the start each time while the
    // length adds up; the length must still fit the buffer.
    if (!takeBlock(ctx, block)) {
      tb::TraceRefusal("jcp", "SET: a block of %zu bytes would pass the end of the receive buffer", block.size());
      endWithError(ctx);
      return true;
    }
    // An offset beyond the data asks for nothing more than an empty block.
    ctx->sndOffset = std::min<UInt32>(h.jcps_offset, ctx->sndLargeBufLen);
    ctx->ackWait = 1;
    SetLargeData(ctx);
    return true;
  }
  return false;
}

void receiveStep(JCPEPInfo* ctx) {
  EPInfo* ep = JCP_ActiveEndpoint(ctx);
  for (int i = 0; i < kMaxReadsPerStep && !JCP_IsEnding(ctx) && isOpen(ep); ++i) {
    const UInt8* d = nullptr;
    UInt32 len = 0;
    JCPSender from;
    // Only the box's accepted answer is news: anything else leaves the
    // quiet time running.
    const SInt32 quietSince = ep->prevTick;
    if (JCP_ReadDatagram(ctx, &d, &len, &from) != kOTNoError) return;
    if (!fromTheBox(ctx, from)) {
      ep->prevTick = quietSince;
      if (tb::TraceOn("jcp"))
        tb::TraceRefusal("jcp", "command: %u bytes from %s, not the box", unsigned(len),
                         JCP_SenderText(ctx->protocolType, from).c_str());
      continue;
    }
    if (!handleReply(ctx, std::span<const UInt8>(d, len))) ep->prevTick = quietSince;
  }
}

void sendStep(JCPEPInfo* ctx) {
  if (ctx->cmdType == JCP_CMD_GET)
    GetLargeData(ctx);
  else if (ctx->cmdType == JCP_CMD_SET)
    SetLargeData(ctx);
}

constexpr JCPSteps kCommandSteps{sendStep, receiveStep, nullptr, 0};

}  // namespace

short JCP_UDP_SetRemote(JCPEPInfo* ctx, UInt32 ipAddr, UInt16 port) {
  if (!ctx) return short(kOTBadDataErr);
  UDPEPInfo& ep = ctx->protocol.udp.udpEPInfo;
  ep.remoteIpAddr = ipAddr;
  ep.remotePort = port;
  ep.epi.protocol = OT_PROTO_UDP;
  ctx->protocolType = JCP_PROTO_UDP;
  return 0;
}

short JCP_DDP_SetRemote(JCPEPInfo* ctx, UInt16 network, UInt8 node, UInt8 socket, UInt8 ddpType) {
  if (!ctx) return short(kOTBadDataErr);
  DDPEPInfo& ep = ctx->protocol.ddp.ddpEPInfo;
  ep.remoteAddr = {};
  ep.remoteAddr.fAddressType = kOTDDPAddressType;
  ep.remoteAddr.fNetwork = network;
  ep.remoteAddr.fNodeID = node;
  ep.remoteAddr.fSocket = socket;
  ep.remoteAddr.fDDPType = ddpType;
  ep.sndComplete = 0;
  ep.epi.protocol = OT_PROTO_DDP;
  ctx->protocolType = JCP_PROTO_DDP;
  return 0;
}

short JCP_SetRemoteFromPBOX(JCPEPInfo* ctx, short protocol, const PBOXinfo* box, UInt16 port, UInt8 ddpType) {
  if (!ctx || !box) return short(kOTBadDataErr);
  switch (protocol) {
    case JCP_PROTO_UDP: return JCP_UDP_SetRemote(ctx, box->pbi_ip_addr, port);
    case JCP_PROTO_DDP:
      return JCP_DDP_SetRemote(ctx, box->ddpABlock.aNet, box->ddpABlock.aNode, box->ddpABlock.aSocket, ddpType);
    default: return short(kOTBadDataErr);
  }
}

OSStatus JCP_GetCommand(JCPEPInfo* ctx, const void* cmd, UInt32 cmdLen, const void* data, UInt32 dataLen,
                        UInt32 timeoutMs, JCPNotifyProcPtr notify, Boolean async) {
  if (!ctx) return kOTBadDataErr;
  ctx->cmdType = JCP_CMD_GET;
  return SendCommand(ctx, cmd, cmdLen, data, dataLen, timeoutMs, notify, async);
}

OSStatus JCP_SetCommand(JCPEPInfo* ctx, const void* cmd, UInt32 cmdLen, const void* data, UInt32 dataLen,
                        UInt32 timeoutMs, JCPNotifyProcPtr notify, Boolean async) {
  if (!ctx) return kOTBadDataErr;
  ctx->cmdType = JCP_CMD_SET;
  return SendCommand(ctx, cmd, cmdLen, data, dataLen, timeoutMs, notify, async);
}

OSStatus SendCommand(JCPEPInfo* ctx, const void* cmd, UInt32 cmdLen, const void* data, UInt32 dataLen,
                     UInt32 timeoutMs, JCPNotifyProcPtr notify, Boolean async) {
  EPInfo* ep = JCP_ActiveEndpoint(ctx);
  if (!ctx || !notify || !ep) return kOTBadDataErr;
  if (ctx->protocolType != JCP_PROTO_UDP && ctx->protocolType != JCP_PROTO_DDP) return kOTBadDataErr;
  if (isOpen(ep) || JCP_IsOpening(ctx)) return kOTOutStateErr;
  if (cmdLen > kJcpCmdSize || dataLen > kJCPLargeBufSize || (cmdLen && !cmd) || (dataLen && !data))
    return kOTBadDataErr;
  JCP_BeginExchange(ctx, ctx->cmdType, &kCommandSteps, notify, timeoutMs);
  ctx->ackWait = 1;
  ctx->conditionNo = 1;
  ctx->retryCnt = 0;
  ctx->rcvOffset = 0;
  ctx->sndOffset = 0;
  ctx->sentCond = 0;
  std::memset(ctx->cmd, 0, sizeof ctx->cmd);
  if (cmdLen) std::memcpy(ctx->cmd, cmd, cmdLen);
  ctx->cmdLen = UInt16(cmdLen);
  ctx->sndLargeBufLen = dataLen;
  std::memset(ctx->sndLargeBuf, 0, sizeof ctx->sndLargeBuf);
  if (dataLen) std::memcpy(ctx->sndLargeBuf, data, dataLen);
  std::memset(ctx->rcvLargeBuf, 0, sizeof ctx->rcvLargeBuf);
  ctx->rcvLargeBufLen = 0;
  OSStatus r = JCP_RunExchange(ctx, async);
  // What an exchange that did not end well brought is no reply: a box that
  // never closed it, or whose blocks passed the buffer, has not sent a table.
  if (!async && ctx->isComplete && !(ctx->isSuccess && !ctx->isTimeout) && ctx->rcvLargeBufLen) {
    tb::TraceRefusal("jcp", "command: %u bytes of an exchange that did not succeed are dropped",
                     unsigned(ctx->rcvLargeBufLen));
    ctx->rcvLargeBufLen = 0;
  }
  return r;
}

void GetLargeData(JCPEPInfo* ctx) {
  if (!ctx || !ctx->ackWait) return;
  if (!isOpen(JCP_ActiveEndpoint(ctx))) return;
  jcp_client c = requestHead(ctx);
  c.jcpc_offset = UInt16(ctx->rcvOffset);
  ctx->sndOffset = ctx->rcvOffset;
  if (ctx->conditionNo == 0) {
    c.jcpc_cond = JCP_COND_END;
    c.jcpc_size = 0;
    ctx->isSuccess = 1;
  } else {
    c.jcpc_cond = c.jcpc_offset != 0 ? JCP_COND_NEXT : JCP_COND_FIRST;
  }
  sendRequest(ctx, c, nullptr);
}

void SetLargeData(JCPEPInfo* ctx) {
  if (!ctx || !ctx->ackWait) return;
  if (!isOpen(JCP_ActiveEndpoint(ctx))) return;
  jcp_client c = requestHead(ctx);
  c.jcpc_size = 0;
  const UInt8* data = nullptr;
  if (ctx->conditionNo != 0) {
    UInt32 off = std::min(ctx->sndOffset, ctx->sndLargeBufLen);
    c.jcpc_cond = off != 0 ? JCP_COND_NEXT : JCP_COND_FIRST;
    c.jcpc_offset = UInt16(off);
    c.jcpc_size = UInt16(std::min<UInt32>(ctx->sndLargeBufLen - off, kJcpClientMaxData));
    data = ctx->sndLargeBuf + off;
  } else {
    c.jcpc_cond = JCP_COND_END;
    c.jcpc_offset = 0;
    ctx->isSuccess = 1;
  }
  sendRequest(ctx, c, data);
}

OSStatus JCP_Resending(JCPEPInfo* ctx) {
  EPInfo* ep = JCP_ActiveEndpoint(ctx);
  if (!ctx || !ep || !ctx->NotifyProcPtr) return kOTBadDataErr;
  if (ctx->protocolType != JCP_PROTO_UDP && ctx->protocolType != JCP_PROTO_DDP) return kOTBadDataErr;
  if (isOpen(ep) || JCP_IsOpening(ctx)) return kOTOutStateErr;
  // Offsets and buffers stay: the request for the current offset goes out
  // again.
  JCP_BeginTry(ctx);
  ctx->ackWait = 1;
  OSStatus r = JCP_OpenActive(ctx, ep->bAsync);
  if (r != kOTNoError && !isOpen(ep) && !JCP_IsOpening(ctx)) return r;
  return ep->err;
}

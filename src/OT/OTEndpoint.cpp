// The endpoint records and the thin Open Transport wrappers the JCP, name
// lookup and FTP clients share; each wrapper notes the call, its result and
// its time so the clients can measure their quiet times.
#include "OT/OTEndpoint.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "toolbox/clock.h"

OTNotifyUPP g_endpointNotifyProcJCP = nullptr;
OTNotifyUPP g_mapperNotityprocJCP = nullptr;
OTNotifyUPP g_endpointNotifyProcNBP = nullptr;
OTNotifyUPP g_mapperNotityprocDDP = nullptr;

// The wrappers reach the protocol's own record from its header, so every
// record must begin with it.
static_assert(std::is_standard_layout_v<UDPEPInfo> && offsetof(UDPEPInfo, epi) == 0);
static_assert(std::is_standard_layout_v<TCPEPInfo> && offsetof(TCPEPInfo, epi) == 0);
static_assert(std::is_standard_layout_v<DDPEPInfo> && offsetof(DDPEPInfo, epi) == 0);
static_assert(std::is_standard_layout_v<NBPEPInfo> && offsetof(NBPEPInfo, epi) == 0);
static_assert(sizeof(NBPAddrTable) == 110);
static_assert(sizeof(DDPAddress) == 8);
static_assert(sizeof(DDPNBPAddress) == 114);

namespace {

// Stamps are never 0, which means "not yet stamped".
void stamp(EPInfo* ep) {
  UInt32 now = TickCount();
  ep->prevTick = static_cast<SInt32>(now ? now : 1);
}

OSStatus record(EPInfo* ep, SInt16 func, OSStatus result) {
  ep->prevCallFunc = func;
  ep->err = result;
  return result;
}

TNetbuf netbuf(void* buf, std::size_t maxlen, std::size_t len = 0) {
  return TNetbuf{static_cast<OTByteCount>(maxlen), static_cast<OTByteCount>(len), static_cast<UInt8*>(buf)};
}

const char* configurationOf(SInt16 protocol) {
  switch (protocol) {
    case OT_PROTO_UDP: return "udp";
    case OT_PROTO_TCP: return "tcp";
    case OT_PROTO_DDP:
    case OT_PROTO_NBP: return "ddp";
    default: return nullptr;
  }
}

// A datagram longer than the receive buffer is cut, never handed out as two:
// its tail must not pass for a datagram of its own.
void dropRestOfDatagram(EndpointRef ref, OTFlags* flags) {
  if (!flags || !(*flags & T_MORE)) return;
  UInt8 scratch[512];
  TUnitData ud{};
  ud.udata = netbuf(scratch, sizeof scratch);
  OTFlags more = T_MORE;
  while (more & T_MORE) {
    more = 0;
    if (OTRcvUData(ref, &ud, &more) != kOTNoError) break;
  }
}

}  // namespace

OSStatus OT_Init() { return InitOpenTransport(); }

void OT_Deinit() {
  for (OTNotifyUPP* upp :
       {&g_endpointNotifyProcJCP, &g_mapperNotityprocJCP, &g_endpointNotifyProcNBP, &g_mapperNotityprocDDP}) {
    if (*upp) DisposeOTNotifyUPP(*upp);
    *upp = nullptr;
  }
  CloseOpenTransport();
}

OSStatus OT_OpenEndpoint(EPInfo* ep, SInt16 protocol, OTNotifyUPP notifier, void* cookie, Boolean async) {
  if (!ep) return kOTBadDataErr;
  ep->protocol = protocol;
  const char* name = configurationOf(protocol);
  if (!name) {
    ep->err = kOTBadDataErr;
    return ep->err;
  }
  ep->bAsync = async ? 1 : 0;
  OSStatus result;
  if (async) {
    result = OTAsyncOpenEndpoint(OTCreateConfiguration(name), 0, nullptr, notifier, cookie);
  } else {
    ep->epRef = OTOpenEndpoint(OTCreateConfiguration(name), 0, nullptr, &result);
  }
  // A configuration the toolbox does not have ("ddp" before OT_Init
  // registered it) is a protocol this layer cannot open.
  if (result == kOTBadNameErr) result = kOTBadDataErr;
  ep->err = result;
  return result;
}

OSStatus OT_CloseEndpoint(EPInfo* ep) {
  if (!ep) return kOTBadDataErr;
  ep->err = OTCloseProvider(ep->epRef);
  return ep->err;
}

void OT_InitInetAddress(InetAddress* addr, InetPort port, InetHost host) { OTInitInetAddress(addr, port, host); }

OSStatus OT_Bind(EPInfo* ep) { return OT_BindAt(ep, kOTAnyInetAddress); }

OSStatus OT_BindAt(EPInfo* ep, InetHost host) {
  if (!ep) return kOTBadDataErr;
  switch (ep->protocol) {
    case OT_PROTO_UDP: {
      auto* u = reinterpret_cast<UDPEPInfo*>(ep);
      OT_InitInetAddress(&u->iAddr, 0, host);
      ep->tBind.addr = netbuf(&u->iAddr, sizeof u->iAddr, sizeof u->iAddr);
      break;
    }
    case OT_PROTO_TCP: {
      auto* t = reinterpret_cast<TCPEPInfo*>(ep);
      OT_InitInetAddress(&t->iAddr, 0, host);
      ep->tBind.addr = netbuf(&t->iAddr, sizeof t->iAddr, sizeof t->iAddr);
      break;
    }
    case OT_PROTO_DDP:
    case OT_PROTO_NBP: {
      DDPAddress* a = ep->protocol == OT_PROTO_DDP ? &reinterpret_cast<DDPEPInfo*>(ep)->localAddr
                                                   : &reinterpret_cast<NBPEPInfo*>(ep)->localAddr;
      *a = DDPAddress{kOTDDPAddressType, 0, 0, 0, UInt8(ep->protocol == OT_PROTO_DDP ? 0 : 2), 0};
      ep->tBind.addr = netbuf(a, sizeof *a, sizeof *a);
      break;
    }
    default:
      return record(ep, OT_FUNC_BIND, kOTBadDataErr);
  }
  ep->tBind.qlen = 1;
  return record(ep, OT_FUNC_BIND, OTBind(ep->epRef, &ep->tBind, &ep->tBind));
}

OSStatus OT_Unbind(EPInfo* ep) {
  if (!ep) return kOTBadDataErr;
  return record(ep, OT_FUNC_UNBIND, OTUnbind(ep->epRef));
}

OSStatus OT_SndDisconnect(EPInfo* ep) {
  if (!ep) return kOTBadDataErr;
  return record(ep, OT_FUNC_SNDDISCONNECT, OTSndDisconnect(ep->epRef, nullptr));
}

OSStatus OT_SndOrderlyDisconnect(EPInfo* ep) {
  if (!ep) return kOTBadDataErr;
  return record(ep, OT_FUNC_SNDORDERLYDISCONNECT, OTSndOrderlyDisconnect(ep->epRef));
}

OSStatus OT_RcvDisconnect(EPInfo* ep) {
  if (!ep) return kOTBadDataErr;
  return record(ep, OT_FUNC_RCVDISCONNECT, OTRcvDisconnect(ep->epRef, nullptr));
}

OSStatus OT_RcvOrderlyDisconnect(EPInfo* ep) {
  if (!ep) return kOTBadDataErr;
  return record(ep, OT_FUNC_RCVORDERLYDISCONNECT, OTRcvOrderlyDisconnect(ep->epRef));
}

OSStatus OT_KillIOEvent(EPInfo* ep) {
  if (!ep || !ep->epRef) return kOTNoError;
  ep->err = OTIoctl(ep->epRef, I_FLUSH, reinterpret_cast<void*>(static_cast<std::uintptr_t>(FLUSHRW)));
  return ep->err;
}

OSStatus OT_RcvUDErr(EPInfo* ep) {
  if (!ep) return kOTBadDataErr;
  if (OTLook(ep->epRef) != T_UDERR) return kOTNoError;
  UInt8 addr[32];
  UInt8 opt[32];
  TUDErr ud{};
  ud.addr = netbuf(addr, sizeof addr);
  ud.opt = netbuf(opt, sizeof opt);
  ep->err = OTRcvUDErr(ep->epRef, &ud);
  return ep->err;
}

void OT_SetTimeout(EPInfo* ep, SInt32 milliseconds) {
  if (ep) ep->timeout = milliseconds;
}

InetHost OT_GetMyIpAddress() {
  InetInterfaceInfo info;
  if (OTInetGetInterfaceInfo(&info, kDefaultInetInterface) != kOTNoError) return 0;
  return info.fAddress;
}

SInt32 GetSpentTime(EPInfo* ep) {
  if (!ep) return 0;
  if (ep->prevTick == 0) {
    stamp(ep);
    return 0;
  }
  return static_cast<SInt32>(TickCount() - static_cast<UInt32>(ep->prevTick));
}

// Exact: a floating-point ms / 1000 x 60 lands a tick short for some values
// (2050 ms would give 122).
UInt32 MilliToTick(UInt32 milliseconds) { return static_cast<UInt32>(UInt64(milliseconds) * 60 / 1000); }

// Past about 828 days of ticks the milliseconds no longer fit; they stay at
// the largest value rather than wrap to a short time.
UInt32 TickToMilli(UInt32 ticks) {
  return static_cast<UInt32>(std::min<UInt64>(UInt64(ticks) * 1000 / 60, 0xFFFFFFFFu));
}

short ExtractPStr(short index, std::span<const UInt8> list, short count, Str255 dest) {
  if (index < 1 || !dest) return -1;
  std::size_t pos = 0;
  for (short i = 1;; ++i) {
    if (count != -1 && i > count) return -1;
    if (pos >= list.size() || list[pos] == 0) return -1;
    std::size_t len = list[pos];
    if (list.size() - pos - 1 < len) return -1;  // the string runs past the list
    if (i == index) {
      std::memcpy(dest, list.data() + pos, len + 1);
      return 0;
    }
    pos += len + 1;
  }
}

OSStatus UDP_Snd(UDPEPInfo* ep, UInt32 ipAddr, UInt16 port, const void* data, UInt32 len) {
  if (!ep) return kOTBadDataErr;
  if (len > sizeof ep->sndBuf || (len && !data)) return record(&ep->epi, OT_FUNC_SNDUDATA, kOTBadDataErr);
  // The data is often built in sndBuf itself.
  if (len) std::memmove(ep->sndBuf, data, len);
  ep->sndBufLen = len;
  OT_InitInetAddress(&ep->iAddr, port, ipAddr);
  ep->unitData = TUnitData{};
  ep->unitData.addr = netbuf(&ep->iAddr, sizeof ep->iAddr, sizeof ep->iAddr);
  ep->unitData.udata = netbuf(ep->sndBuf, sizeof ep->sndBuf, len);
  OSStatus r = record(&ep->epi, OT_FUNC_SNDUDATA, OTSndUData(ep->epi.epRef, &ep->unitData));
  if (r == kOTNoError) stamp(&ep->epi);
  return r;
}

OSStatus UDP_Rcv(UDPEPInfo* ep, UInt32* ipAddr, UInt16* port, void* buf, UInt32* len, OTFlags* flags) {
  if (!ep) return kOTBadDataErr;
  if (!buf || !len) return record(&ep->epi, OT_FUNC_RCVUDATA, kOTBadDataErr);
  OTFlags f = 0;
  ep->unitData = TUnitData{};
  ep->unitData.addr = netbuf(&ep->iAddr, sizeof ep->iAddr);
  ep->unitData.udata = netbuf(buf, *len);
  OSStatus r = record(&ep->epi, OT_FUNC_RCVUDATA, OTRcvUData(ep->epi.epRef, &ep->unitData, &f));
  if (r != kOTNoError) {
    *len = 0;
    if (flags) *flags = 0;
    return r;
  }
  dropRestOfDatagram(ep->epi.epRef, &f);
  *len = ep->unitData.udata.len;
  if (ipAddr) *ipAddr = ep->unitData.addr.len ? ep->iAddr.fHost : 0;
  if (port) *port = ep->unitData.addr.len ? ep->iAddr.fPort : 0;
  if (flags) *flags = f;
  if (buf != ep->rcvBuf) {
    ep->rcvBufLen = std::min<UInt32>(*len, sizeof ep->rcvBuf);
    std::memmove(ep->rcvBuf, buf, ep->rcvBufLen);
  } else {
    ep->rcvBufLen = *len;
  }
  stamp(&ep->epi);
  return r;
}

OSStatus DDP_Snd(DDPEPInfo* ep, UInt16 network, UInt8 node, UInt8 socket, UInt8 ddpType, const void* data,
                 UInt32 len) {
  if (!ep) return kOTBadDataErr;
  OSStatus r;
  if (len > sizeof ep->sndBuf || (len && !data)) {
    r = record(&ep->epi, OT_FUNC_SNDUDATA, kOTBadDataErr);
  } else {
    if (len) std::memmove(ep->sndBuf, data, len);
    ep->sndBufLen = len;
    ep->remoteAddr = DDPAddress{kOTDDPAddressType, network, node, socket, ddpType, 0};
    ep->unitData = TUnitData{};
    ep->unitData.addr = netbuf(&ep->remoteAddr, sizeof ep->remoteAddr, sizeof ep->remoteAddr);
    ep->unitData.udata = netbuf(ep->sndBuf, sizeof ep->sndBuf, len);
    r = record(&ep->epi, OT_FUNC_SNDUDATA, OTSndUData(ep->epi.epRef, &ep->unitData));
  }
  stamp(&ep->epi);
  return r;
}

OSStatus DDP_Rcv(DDPEPInfo* ep, DDPAddress* from, void* buf, UInt32* len, OTFlags* flags) {
  if (!ep) return kOTBadDataErr;
  if (!buf || !len) return record(&ep->epi, OT_FUNC_RCVUDATA, kOTBadDataErr);
  DDPAddress sender{};
  OTFlags f = 0;
  ep->unitData = TUnitData{};
  ep->unitData.addr = netbuf(&sender, sizeof sender);
  ep->unitData.udata = netbuf(buf, *len);
  OSStatus r = record(&ep->epi, OT_FUNC_RCVUDATA, OTRcvUData(ep->epi.epRef, &ep->unitData, &f));
  ep->unitData.addr = TNetbuf{};
  if (r != kOTNoError) {
    *len = 0;
    if (flags) *flags = 0;
    return r;
  }
  dropRestOfDatagram(ep->epi.epRef, &f);
  *len = ep->unitData.udata.len;
  if (from) *from = sender;
  if (flags) *flags = f;
  if (buf != ep->rcvBuf) {
    ep->rcvBufLen = std::min<UInt32>(*len, sizeof ep->rcvBuf);
    std::memmove(ep->rcvBuf, buf, ep->rcvBufLen);
  } else {
    ep->rcvBufLen = *len;
  }
  stamp(&ep->epi);
  return r;
}

OSStatus TCP_Connect(TCPEPInfo* ep, UInt32 ipAddr, UInt16 port) {
  if (!ep) return kOTBadDataErr;
  ep->remoteIpAddr = ipAddr;
  ep->remotePort = port;
  OT_InitInetAddress(&ep->iAddr, port, ipAddr);
  ep->tCall = TCall{};
  ep->tCall.addr = netbuf(&ep->iAddr, sizeof ep->iAddr, sizeof ep->iAddr);
  OSStatus r = record(&ep->epi, OT_FUNC_CONNECT, OTConnect(ep->epi.epRef, &ep->tCall, nullptr));
  stamp(&ep->epi);
  return r;
}

OSStatus TCP_RcvConnect(TCPEPInfo* ep) {
  if (!ep) return kOTBadDataErr;
  ep->tCall = TCall{};
  ep->tCall.addr = netbuf(&ep->iAddr, sizeof ep->iAddr);
  OSStatus r = record(&ep->epi, OT_FUNC_RCVCONNECT, OTRcvConnect(ep->epi.epRef, &ep->tCall));
  stamp(&ep->epi);
  return r;
}

OSStatus TCP_Listen(TCPEPInfo* ep, UInt32 ipAddr, UInt16 port) {
  if (!ep) return kOTBadDataErr;
  ep->localIpAddr = ipAddr;
  ep->localPort = port;
  ep->tCall = TCall{};
  ep->tCall.addr = netbuf(&ep->iAddr, sizeof ep->iAddr);
  OSStatus r = record(&ep->epi, OT_FUNC_LISTEN, OTListen(ep->epi.epRef, &ep->tCall));
  stamp(&ep->epi);
  return r;
}

OSStatus TCP_Accept(TCPEPInfo* ep) {
  if (!ep) return kOTBadDataErr;
  OSStatus r = record(&ep->epi, OT_FUNC_ACCEPT, OTAccept(ep->epi.epRef, ep->epi.epRef, &ep->tCall));
  stamp(&ep->epi);
  return r;
}

OTResult TCP_Snd(TCPEPInfo* ep, const void* data, UInt32 len, OTFlags flags) {
  if (!ep) return kOTBadDataErr;
  OTResult r;
  if (len && !data) {
    r = record(&ep->epi, OT_FUNC_SND, kOTBadDataErr);
  } else {
    // One call moves at most a buffer's worth; like any partial send, the
    // caller sends the rest.
    UInt32 n = std::min<UInt32>(len, sizeof ep->sndBuf);
    if (n) std::memmove(ep->sndBuf, data, n);
    ep->sndBufLen = n;
    r = record(&ep->epi, OT_FUNC_SND, OTSnd(ep->epi.epRef, ep->sndBuf, n, flags));
  }
  stamp(&ep->epi);
  return r;
}

OTResult TCP_SndInPlace(TCPEPInfo* ep, const void* data, UInt32 len, OTFlags flags) {
  if (!ep) return kOTBadDataErr;
  OTResult r = record(&ep->epi, OT_FUNC_SND,
                      len && !data ? kOTBadDataErr : OTSnd(ep->epi.epRef, const_cast<void*>(data), len, flags));
  stamp(&ep->epi);
  return r;
}

OTResult TCP_Rcv(TCPEPInfo* ep, void* buf, UInt32* len, OTFlags* flags) {
  if (!ep) return kOTBadDataErr;
  if (!buf || !len) return record(&ep->epi, OT_FUNC_RCV, kOTBadDataErr);
  OTFlags f = 0;
  OTResult r = record(&ep->epi, OT_FUNC_RCV, OTRcv(ep->epi.epRef, buf, *len, &f));
  if (flags) *flags = f;
  if (r <= 0) {
    *len = 0;
    return r;
  }
  *len = static_cast<UInt32>(r);
  if (buf != ep->rcvBuf) {
    ep->rcvBufLen = std::min<UInt32>(*len, sizeof ep->rcvBuf);
    std::memmove(ep->rcvBuf, buf, ep->rcvBufLen);
  } else {
    ep->rcvBufLen = *len;
  }
  stamp(&ep->epi);
  return r;
}

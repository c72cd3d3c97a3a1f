// AppleTalk name lookup of print boxes: the lookup packet sent as a DDP
// datagram, the table of boxes that answered, and the own zone and zone
// list.
#include "OT/NBPLookup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include "toolbox/clock.h"
#include "toolbox/memory.h"
#include "toolbox/pump.h"
#include "toolbox/trace.h"

UInt8 nbp::transID = 0;

namespace {

// Lookups whose asynchronous open has not completed yet, and those of them
// that were ended meanwhile.
std::unordered_set<const NBPEPInfo*> gOpening;
std::unordered_set<const NBPEPInfo*> gKillOnOpen;
// Lookups with an open endpoint: a read step deferred to the next pump
// runs only for a record still among them.
std::unordered_set<const NBPEPInfo*> gLive;

// How long a synchronous lookup lets the event loop run between reads.
constexpr int kSyncPollMs = 5;
// Fixed part of a lookup packet and of a tuple (before the names).
constexpr std::size_t kNBPHeader = 2;
constexpr std::size_t kTupleHead = 5;  // network, node, socket, enumerator

TNetbuf netbuf(void* buf, std::size_t maxlen, std::size_t len = 0) {
  return TNetbuf{static_cast<OTByteCount>(maxlen), static_cast<OTByteCount>(len), static_cast<UInt8*>(buf)};
}

void stamp(EPInfo* ep) {
  UInt32 now = TickCount();
  ep->prevTick = static_cast<SInt32>(now ? now : 1);
}

bool isOpen(const NBPEPInfo* ep) { return ep->epi.epRef != kOTInvalidEndpointRef; }

void freeTable(NBPEPInfo* ep) {
  if (ep->nbpAddrTable) DisposePtr(reinterpret_cast<Ptr>(ep->nbpAddrTable));
  ep->nbpAddrTable = nullptr;
  ep->nbpAddrTableCnt = 0;
}

SInt16 endStatus(const NBPEPInfo* ep) {
  if (ep->isSuccess && !ep->isTimeout) return NBP_NOTIFY_SUCCESS;
  return ep->isTimeout ? NBP_NOTIFY_TIMEOUT : NBP_NOTIFY_ERROR;
}

// Closes the endpoint and, for an asynchronous lookup, tells the owner. The
// owner may free the record from its callback, so nothing touches it after.
void finish(NBPEPInfo* ep) {
  gLive.erase(ep);
  if (isOpen(ep)) OT_CloseEndpoint(&ep->epi);
  ep->epi.epRef = kOTInvalidEndpointRef;
  ep->isComplete = 1;
  if (!ep->epi.bAsync) return;
  freeTable(ep);
  if (ep->NotifyProcPtr) ep->NotifyProcPtr(ep, nullptr, ep->ref, endStatus(ep));
}

// Sends the lookup packet, with the own address the bind gave.
void sendLookup(NBPEPInfo* ep) {
  be::put16(ep->sndBuf + 2, ep->localAddr.fNetwork);
  ep->sndBuf[4] = ep->localAddr.fNodeID;
  ep->sndBuf[5] = ep->localAddr.fSocket;
  DDPAddress& to = ep->remoteAddr;
  to = DDPAddress{kOTDDPAddressType, 0, NBP_BROADCAST_NODE, NBP_NIS_SOCKET, NBP_DDP_TYPE, 0};
  std::size_t nameLen = strnlen(reinterpret_cast<const char*>(ep->remoteNBPAddress.fNBPNameBuffer),
                                sizeof ep->remoteNBPAddress.fNBPNameBuffer);
  ep->unitData = TUnitData{};
  ep->unitData.addr = netbuf(&ep->remoteNBPAddress, sizeof ep->remoteNBPAddress, sizeof(DDPAddress) + nameLen);
  ep->unitData.udata = netbuf(ep->sndBuf, sizeof ep->sndBuf, ep->sndBufLen);
  OSStatus r = OTSndUData(ep->epi.epRef, &ep->unitData);
  if (r == kOTLookErr) {
    OT_RcvUDErr(&ep->epi);
    r = OTSndUData(ep->epi.epRef, &ep->unitData);
  }
  ep->epi.prevCallFunc = OT_FUNC_SNDUDATA;
  ep->epi.err = r;
  stamp(&ep->epi);
  if (r == kOTNoError) ep->sndComplete = 1;
}

// Reads one datagram into rcvBuf; false when none was read.
bool readDatagram(NBPEPInfo* ep, EndpointRef ref, UInt32& len) {
  len = 0;
  if (!ref) return false;
  std::memset(&ep->remoteNBPAddress, 0, sizeof ep->remoteNBPAddress);
  ep->unitData = TUnitData{};
  ep->unitData.addr = netbuf(&ep->remoteNBPAddress, sizeof ep->remoteNBPAddress);
  ep->unitData.udata = netbuf(ep->rcvBuf, sizeof ep->rcvBuf);
  OTFlags flags = 0;
  OSStatus r = OTRcvUData(ref, &ep->unitData, &flags);
  if (r == kOTLookErr) {
    OT_RcvUDErr(&ep->epi);
    flags = 0;
    r = OTRcvUData(ref, &ep->unitData, &flags);
  }
  if (r != kOTNoError) return false;
  len = ep->unitData.udata.len;
  ep->rcvBufLen = len;
  // A datagram too long for the buffer is not an answer; its rest is
  // dropped so that it cannot pass for a datagram of its own.
  if (flags & T_MORE) {
    UInt8 scratch[512];
    TUnitData rest{};
    rest.udata = netbuf(scratch, sizeof scratch);
    OTFlags more = T_MORE;
    while (more & T_MORE) {
      more = 0;
      if (OTRcvUData(ref, &rest, &more) != kOTNoError) break;
    }
    len = 0;
  }
  return true;
}

// Copies one length-prefixed name of a tuple; false when it is longer than
// 32 bytes or runs past the datagram.
bool takeName(const UInt8* data, UInt32 len, std::size_t& pos, UInt8 (&out)[34]) {
  if (pos >= len) return false;
  std::size_t n = data[pos];
  if (n > kNBPMaxNameLength || len - pos - 1 < n) return false;
  std::memset(out, 0, sizeof out);
  out[0] = UInt8(n);
  std::memcpy(out + 1, data + pos + 1, n);
  pos += 1 + n;
  return true;
}

// Adds the reply in rcvBuf as a row; false when it is not one.
bool addRow(NBPEPInfo* ep, UInt32 len) {
  const UInt8* d = ep->rcvBuf;
  if (len < kNBPHeader + kTupleHead || (d[0] >> 4) != NBP_FUNC_REPLY || (d[0] & 0x0F) == 0) {
    tb::TraceRefusal("nbp", "lookup@%p: %u bytes are not a lookup reply", static_cast<void*>(ep), unsigned(len));
    return false;
  }
  // An answer to another lookup (an earlier one, or another program's)
  // names boxes this one did not ask for.
  if (d[1] != ep->sndBuf[1]) {
    tb::TraceRefusal("nbp", "lookup@%p: a reply to lookup %u, this one is %u", static_cast<void*>(ep), unsigned(d[1]),
                     unsigned(ep->sndBuf[1]));
    return false;
  }
  NBPAddrTable row{};
  row.addrType = ep->unitData.addr.len >= sizeof(OTAddressType) ? ep->remoteNBPAddress.fAddressType : 0;
  row.network = be::get16(d + 2);
  row.node = d[4];
  row.socket = d[5];
  row.ddpType = NBP_DDP_TYPE;
  std::size_t pos = kNBPHeader + kTupleHead;
  if (!takeName(d, len, pos, row.object) || !takeName(d, len, pos, row.type) || !takeName(d, len, pos, row.zone))
    return false;

  SInt16 cnt = std::max<SInt16>(ep->nbpAddrTableCnt, 0);
  NBPAddrTable* table = NBP_GrowTable(ep->nbpAddrTable, cnt);
  if (!table) {
    tb::TraceRefusal("nbp", "lookup@%p: no room for row %d", static_cast<void*>(ep), int(cnt) + 1);
    return false;
  }
  ep->nbpAddrTable = table;
  ep->nbpAddrTable[cnt] = row;
  ep->nbpAddrTableCnt = SInt16(cnt + 1);
  return true;
}

// Handles what keeps an unbind from going through, so the flush can be
// tried again.
void takePendingEvent(NBPEPInfo* ep) {
  OTResult ev = OTLook(ep->epi.epRef);
  if (ev == T_UDERR) {
    OT_RcvUDErr(&ep->epi);
  } else if (ev == T_DATA) {
    UInt32 len;
    while (readDatagram(ep, ep->epi.epRef, len)) {
    }
  }
}

// Reads the answers waiting, a bounded number per step. The data event
// comes once until a read finds nothing, so a step that stops short has
// the next pump read on.
void readStep(NBPEPInfo* ep) {
  UInt32 len;
  for (int i = 0; i < kNBPMaxReadsPerStep; ++i) {
    if (!isOpen(ep) || ep->isComplete || !readDatagram(ep, ep->epi.epRef, len)) return;
    if (!addRow(ep, len)) continue;
    if (ep->epi.bAsync && ep->NotifyProcPtr)
      ep->NotifyProcPtr(ep, &ep->nbpAddrTable[ep->nbpAddrTableCnt - 1], ep->ref, NBP_NOTIFY_ROW);
  }
  gLive.insert(ep);
  EndpointRef ref = ep->epi.epRef;
  tb::DeferToNextPass([ep, ref] {
    if (gLive.count(ep) && ep->epi.epRef == ref) readStep(ep);
  });
}

bool validName(const char* s) { return s && std::strlen(s) <= kNBPMaxNameLength; }

UInt8* putName(UInt8* p, std::string_view s) {
  *p++ = UInt8(s.size());
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

}  // namespace

void nbp::EndpointNotifierProc(void* context, OTEventCode code, OTResult result, void* cookie) {
  auto* ep = static_cast<NBPEPInfo*>(context);
  if (!ep) return;
  switch (code) {
    case T_OPENCOMPLETE: {
      gOpening.erase(ep);
      bool killed = gKillOnOpen.erase(ep) != 0;
      if (cookie) ep->epi.epRef = static_cast<EndpointRef>(cookie);
      if (!isOpen(ep) || result != kOTNoError || killed) {
        if (result != kOTNoError) ep->epi.err = result;
        finish(ep);
        return;
      }
      OTSetNonBlocking(ep->epi.epRef);
      if (ep->epi.bAsync)
        OTSetAsynchronous(ep->epi.epRef);
      else
        OTSetSynchronous(ep->epi.epRef);
      if (OT_Bind(&ep->epi) != kOTNoError) finish(ep);
      break;
    }
    case T_BINDCOMPLETE:
      if (!isOpen(ep)) {
        ep->epi.err = -1;
        return;
      }
      if (result != kOTNoError) {
        ep->epi.err = result;
        finish(ep);
        return;
      }
      ep->isSuccess = 0;
      sendLookup(ep);
      break;
    case T_DATA:
    case T_EXDATA:
      readStep(ep);
      break;
    case OT_FLUSH_COMPLETE: {
      if (!isOpen(ep)) return;
      OSStatus r = OT_Unbind(&ep->epi);
      if (r == kOTLookErr) {
        takePendingEvent(ep);
        OT_KillIOEvent(&ep->epi);
        if (!ep->epi.bAsync) nbp::EndpointNotifierProc(ep, OT_FLUSH_COMPLETE, kOTNoError, nullptr);
      } else if (r != kOTNoError || !ep->epi.bAsync) {
        // Not bound (kOTOutStateErr), or synchronous: no completion follows.
        nbp::EndpointNotifierProc(ep, T_UNBINDCOMPLETE, r, nullptr);
      }
      break;
    }
    case T_UNBINDCOMPLETE:
      finish(ep);
      break;
    default:
      break;
  }
}

NBPAddrTable* NBP_LookupName(NBPEPInfo* ep, const char* object, const char* type, const char* zone,
                             UInt32 timeoutMs, OSStatus* err, short* count, Boolean async) {
  OSStatus scratchErr;
  short scratchCount;
  if (!err) err = &scratchErr;
  if (!count) count = &scratchCount;
  *err = 0;
  *count = 0;
  if (!ep) {
    *err = -1;
    return nullptr;
  }
  if (!g_endpointNotifyProcNBP) g_endpointNotifyProcNBP = NewOTNotifyUPP(&nbp::EndpointNotifierProc);
  // A lookup still running on this record is not left behind unowned.
  if (NBP_IsActive(ep)) {
    *err = kOTStateChangeErr;
    return nullptr;
  }
  ep->epi.protocol = OT_PROTO_NBP;
  ep->sndComplete = 0;
  ep->isSuccess = ep->isTimeout = ep->isComplete = 0;
  freeTable(ep);

  if (!validName(object) || !validName(type) || !validName(zone)) {
    *err = kOTBadDataErr;
    return nullptr;
  }
  char ownZone[kNBPMaxNameLength + 1] = "*";
  std::string_view zoneUsed = zone;
  if (zoneUsed == "*") {
    UInt8 buf[64] = {};
    OSStatus zerr = 0;
    short n = ZIP_GetZone(buf, sizeof buf, ZIP_OWN_ZONE, &zerr, false);
    if (zerr != kOTNoError) {
      *err = zerr;
      return nullptr;
    }
    if (n > 0 && buf[0] > 0 && buf[0] <= kNBPMaxNameLength) {
      std::memcpy(ownZone, buf + 1, buf[0]);
      ownZone[buf[0]] = '\0';
    }
    zoneUsed = ownZone;
  }

  // The entity text, object:type@zone, first in the send buffer and then in
  // the destination record.
  std::string_view obj = object, typ = type;
  std::size_t entityLen = obj.size() + typ.size() + zoneUsed.size() + 2;
  char* entity = reinterpret_cast<char*>(ep->sndBuf);
  std::memset(ep->sndBuf, 0, sizeof ep->sndBuf);
  std::memcpy(entity, obj.data(), obj.size());
  entity[obj.size()] = ':';
  std::memcpy(entity + obj.size() + 1, typ.data(), typ.size());
  entity[obj.size() + 1 + typ.size()] = '@';
  std::memcpy(entity + obj.size() + typ.size() + 2, zoneUsed.data(), zoneUsed.size());
  ep->sndBufLen = UInt32(entityLen);
  ep->remoteNBPAddress = DDPNBPAddress{};
  ep->remoteNBPAddress.fAddressType = kOTDDPNBPAddressType;
  ep->remoteNBPAddress.fNodeID = NBP_BROADCAST_NODE;
  ep->remoteNBPAddress.fSocket = NBP_NIS_SOCKET;
  ep->remoteNBPAddress.fDDPType = NBP_DDP_TYPE;
  std::memcpy(ep->remoteNBPAddress.fNBPNameBuffer, entity, entityLen);

  // The lookup packet; the own address (bytes 2-5) is filled in once bound.
  nbp::transID = UInt8(nbp::transID + 1);
  if (nbp::transID == 0) nbp::transID = 1;
  UInt8 function = zoneUsed == "*" ? NBP_FUNC_LKUP : NBP_FUNC_BRRQ;
  std::memset(ep->sndBuf, 0, sizeof ep->sndBuf);
  ep->sndBuf[0] = UInt8(function << 4 | 1);
  ep->sndBuf[1] = nbp::transID;
  UInt8* p = ep->sndBuf + kNBPHeader + kTupleHead;
  p = putName(p, obj);
  p = putName(p, typ);
  p = putName(p, zoneUsed);
  ep->sndBufLen = UInt32(p - ep->sndBuf);

  ep->epi.prevCallFunc = OT_FUNC_NONE;
  ep->epi.prevTick = 0;
  OT_SetTimeout(&ep->epi, SInt32(std::min<UInt32>(timeoutMs, 0x7FFFFFFF)));
  ep->epi.epRef = kOTInvalidEndpointRef;
  OSStatus r = OT_OpenEndpoint(&ep->epi, OT_PROTO_NBP, g_endpointNotifyProcNBP, ep, async);
  if (r != kOTNoError) {
    if (isOpen(ep)) OT_CloseEndpoint(&ep->epi);
    ep->epi.epRef = kOTInvalidEndpointRef;
    *err = r;
    return nullptr;
  }
  if (async) {
    gOpening.insert(ep);
    return nullptr;
  }

  nbp::EndpointNotifierProc(ep, T_OPENCOMPLETE, kOTNoError, ep->epi.epRef);
  if (isOpen(ep)) nbp::EndpointNotifierProc(ep, T_BINDCOMPLETE, ep->epi.err, nullptr);
  if (!isOpen(ep)) {
    *err = ep->epi.err ? ep->epi.err : kOTBadDataErr;
    return nullptr;
  }
  // The clock is read before every datagram, so a flood cannot stretch the
  // lookup past its time-out; a full batch lets the loop run between.
  UInt32 limit = MilliToTick(timeoutMs);
  while (UInt32(GetSpentTime(&ep->epi)) <= limit) {
    int read = 0;
    UInt32 len;
    while (read < kNBPMaxReadsPerStep && UInt32(GetSpentTime(&ep->epi)) <= limit &&
           readDatagram(ep, ep->epi.epRef, len)) {
      addRow(ep, len);
      ++read;
    }
    tb::Pump(read ? 0 : kSyncPollMs);
  }
  OT_Unbind(&ep->epi);
  OT_CloseEndpoint(&ep->epi);
  ep->epi.epRef = kOTInvalidEndpointRef;
  ep->isComplete = 1;
  *count = ep->nbpAddrTableCnt;
  NBPAddrTable* rows = ep->nbpAddrTable;
  // The rows are the caller's now.
  ep->nbpAddrTable = nullptr;
  ep->nbpAddrTableCnt = 0;
  return rows;
}

short NBP_RcvAddress(NBPEPInfo* ep, EndpointRef ref) {
  if (!ep) return 0;
  UInt32 len;
  if (!readDatagram(ep, ref, len) || !addRow(ep, len)) return 0;
  if (ep->epi.bAsync && ep->NotifyProcPtr)
    ep->NotifyProcPtr(ep, &ep->nbpAddrTable[ep->nbpAddrTableCnt - 1], ep->ref, NBP_NOTIFY_ROW);
  return 1;
}

void NBP_SndLookup(NBPEPInfo* ep) {
  if (!ep || !isOpen(ep) || ep->sndComplete || ep->isComplete || ep->epi.prevCallFunc != OT_FUNC_SNDUDATA) return;
  sendLookup(ep);
}

void NBP_KillIOEvent(NBPEPInfo* ep) {
  if (!ep) return;
  if (gOpening.count(ep)) {
    gKillOnOpen.insert(ep);
    return;
  }
  if (!isOpen(ep)) return;
  OT_KillIOEvent(&ep->epi);
  if (!ep->epi.bAsync) nbp::EndpointNotifierProc(ep, OT_FLUSH_COMPLETE, kOTNoError, nullptr);
}

NBPAddrTable* NBP_GrowTable(NBPAddrTable* table, SInt16 count) {
  if (count < 0 || count == 0x7FFF) return nullptr;
  // Rows in use fill the table exactly at 16, 32, 64, ...
  const bool full = !table || count == 0 || (count >= kNBPTableStep && (count & (count - 1)) == 0);
  if (!full) return table;
  std::size_t rows = std::max<std::size_t>(kNBPTableStep, std::size_t(count) * 2);
  auto* grown = reinterpret_cast<NBPAddrTable*>(NewPtrClear(Size(rows * sizeof(NBPAddrTable))));
  if (!grown) return nullptr;
  if (table && count) std::memcpy(grown, table, std::size_t(count) * sizeof(NBPAddrTable));
  if (table) DisposePtr(reinterpret_cast<Ptr>(table));
  return grown;
}

bool NBP_IsActive(const NBPEPInfo* ep) { return ep && (isOpen(ep) || gOpening.count(ep) != 0); }

// ---------------------------------------------------------------------------
// Zones.

namespace {

struct ZIPRequest {
  ATSvcRef ref;
  TNetbuf buf;
  short flag;
  OSStatus* err;
};

void endRequest(ZIPRequest* req, OSStatus word) {
  *req->err = word;
  if (req->ref) OTCloseProvider(req->ref);
  DisposePtr(reinterpret_cast<Ptr>(req));
}

}  // namespace

short CntZoneList(const UInt8* list, long length) {
  if (!list || length <= 0) return 0;
  short n = 0;
  long pos = 0;
  while (pos < length) {
    long len = list[pos];
    if (pos + 1 + len > length) break;
    if (len > 0 && n < 0x7FFF) ++n;
    pos += 1 + len;
  }
  return n;
}

short ZIP_ZoneNameSet(std::span<const UInt8> list, short count, char (*names)[kZoneNameEntry], int entries) {
  if (!names || entries < 1) return 0;
  short kept = 0;
  for (short i = 1; i <= count && kept < entries - 1; ++i) {
    Str255 name;
    if (ExtractPStr(i, list, count, name) != 0) break;
    const std::size_t n = std::min<std::size_t>(name[0], kZoneNameEntry - 1);
    ++kept;
    std::memcpy(names[kept], name + 1, n);
    names[kept][n] = 0;
  }
  std::snprintf(names[0], kZoneNameEntry, "%d", int(kept));
  return kept;
}

short ZIP_GetZone(UInt8* buffer, long size, short flag, OSStatus* err, Boolean async) {
  OSStatus scratch;
  if (!err) err = &scratch;
  if (!buffer || size <= 0) {
    *err = kOTBadDataErr;
    return 0;
  }
  auto* req = reinterpret_cast<ZIPRequest*>(NewPtrClear(sizeof(ZIPRequest)));
  if (!req) {
    *err = -1;
    return 0;
  }
  req->buf = netbuf(buffer, std::size_t(std::min<long>(size, 0x7FFFFFFF)));
  req->flag = flag;
  req->err = err;

  if (async) {
    OSStatus r = OTAsyncOpenAppleTalkServices(kDefaultAppleTalkServicesPath, 0, &ATalkSvcNotify, req);
    if (r != kOTNoError) {
      endRequest(req, r);
      return 0;
    }
    *err = ZIP_PENDING;
    return 0;
  }

  OSStatus r = kOTNoError;
  req->ref = OTOpenAppleTalkServices(kDefaultAppleTalkServicesPath, 0, &r);
  if (!req->ref) {
    endRequest(req, r ? r : kOTBadReferenceErr);
    return 0;
  }
  if (flag == ZIP_OWN_ZONE)
    r = OTATalkGetMyZone(req->ref, &req->buf);
  else if (flag == ZIP_ZONE_LIST)
    r = OTATalkGetZoneList(req->ref, &req->buf);
  else
    r = ZIP_BAD_FLAG_ERR;
  short count = r == kOTNoError ? CntZoneList(buffer, long(req->buf.len)) : 0;
  endRequest(req, r);
  return count;
}

void ATalkSvcNotify(void* context, OTEventCode code, OTResult result, void* cookie) {
  auto* req = static_cast<ZIPRequest*>(context);
  if (!req) return;
  switch (code) {
    case T_OPENCOMPLETE: {
      req->ref = static_cast<ATSvcRef>(cookie);
      if (result != kOTNoError || !req->ref) {
        endRequest(req, result ? result : kOTBadReferenceErr);
        return;
      }
      OSStatus r;
      if (req->flag == ZIP_OWN_ZONE)
        r = OTATalkGetMyZone(req->ref, &req->buf);
      else if (req->flag == ZIP_ZONE_LIST)
        r = OTATalkGetZoneList(req->ref, &req->buf);
      else
        r = kOTBadDataErr;
      // A request refused at once has no completion to wait for.
      if (r != kOTNoError) endRequest(req, r);
      break;
    }
    case T_GETMYZONECOMPLETE:
    case T_GETZONELISTCOMPLETE:
      endRequest(req, result == kOTNoError ? CntZoneList(req->buf.buf, long(req->buf.len)) : result);
      break;
    default:
      break;
  }
}

// The poll step of a status window: requests on the window's own
// contexts, replies into the decoder, the power state, a lost printer.
#include "Monitor/StatusPoll.h"

#include <cstring>
#include <string>

#include "Monitor/StatusData.h"
#include "toolbox/clock.h"
#include "toolbox/trace.h"

namespace {

constexpr const char kChannel[] = "monitor";

enum class Request { Status, Info };

const char* requestName(Request r) { return r == Request::Status ? "status request" : "information request"; }

// The one place a request's outstanding flag changes.
void setSending(PSTATUS_WND_INFO* rec, Request r, SInt16 to, const char* why) {
  SInt16& flag = r == Request::Status ? rec->sendStat : rec->sendInfo;
  if (flag == to) return;
  tb::TraceState(kChannel, requestName(r), rec, flag ? "sent" : "idle", to ? "sent" : "idle", why);
  flag = to;
}

bool contextBusy(const JCPEPInfo* ctx) { return ctx->state != JCP_STATE_IDLE; }

long sendRequest(JCPEPInfo* ctx, const PBOXinfo* pbox, short protocol, UInt16 port, const char* argument, void* buffer,
                 long size, Boolean async) {
  if (!ctx || !pbox || contextBusy(ctx)) return -1;
  short kind;
  if (protocol == PBOX_PROTO_ATALK) {
    if (!IsUseProtocol()) return -1;
    kind = JCP_PROTO_DDP;
  } else if (protocol == PBOX_PROTO_TCPIP) {
    kind = JCP_PROTO_UDP;
  } else {
    return -1;
  }
  short r = JCP_SetRemoteFromPBOX(ctx, kind, pbox, port, JCP_DDP_TYPE);
  if (r != 0) return r;
  std::string command = std::string("GET STATUS:") + argument;
  OSStatus sent = JCP_GetCommand(ctx, command.c_str(), UInt32(command.size() + 1), nullptr, 0, kRequestTimeoutMs,
                                 CommandNotifier, async);
  if (sent < 0) return sent;
  if (async) return 0;
  return GetStatusReceveData(ctx, buffer, size);
}

// A request's state in the window record.
struct Half {
  Request kind;
  SInt16& sending;
  UInt32& upTick;
  JCPEPInfo* ctx;
  std::size_t room;
};

// The step common to both requests once the interval test is done: take
// a complete reply, or count the wait and declare the printer lost.
void collect(PSTATUS_WND_INFO* rec, Half h, UInt32 now, UInt32 waitLimit) {
  JCPEPInfo* ctx = h.ctx;
  if (!h.sending || !ctx) return;
  // The exchange's own step (time-outs, resends) runs on the loop too.
  if (!ctx->isComplete || JCP_IsOpening(ctx)) JCP_PendingLoop(ctx);
  // The closing request marks the exchange a success as it goes out; a box
  // that then never answers it ends the exchange by time-out, and what it
  // sent before is no reply.
  if (ctx->isComplete && ctx->isSuccess && !ctx->isTimeout) {
    setSending(rec, h.kind, 0, "reply complete");
    std::vector<UInt8> buf(h.room, 0);
    long n = GetStatusReceveData(ctx, buf.data(), long(buf.size()));
    GetStatusInfo(rec, buf.data(), std::size_t(n), buf.size());
    rec->monitorOpen = 0;
    if (rec->hooks) {
      auto view = h.kind == Request::Status ? rec->hooks->statusView : rec->hooks->infoView;
      if (view) view(rec);
    }
    return;
  }
  if (now - h.upTick < waitLimit) return;
  if (ctx->retryCnt >= 2) {
    JCP_KillIOEvent(ctx);
    // A try that timed out in this very pass reports its time-out only once
    // its endpoint has closed, after the count below is back at 0: the
    // notifier would send the cancelled request again, and nothing would
    // ever end that one (no request goes out while it runs).
    ctx->NotifyProcPtr = nullptr;
    setSending(rec, h.kind, 0, "printer lost");
    ctx->retryCnt = 0;
    rec->monitorOpen = 1;
    if (rec->hooks && rec->hooks->errorView) rec->hooks->errorView(rec);
    return;
  }
  h.upTick = now;
  ++ctx->retryCnt;
  tb::TraceNote(kChannel, "%s: wait restarted (%u)", requestName(h.kind), unsigned(ctx->retryCnt));
}

bool askable(const PSTATUS_WND_INFO* rec) {
  if (!rec->pbox.pbi_inuse) return false;
  if (rec->pbox.protocol_Type_Num == PBOX_PROTO_TCPIP && rec->pbox.pbi_ip_addr == 0) return false;
  return true;
}

int step(PSTATUS_WND_INFO* rec, Half h) {
  const UInt32 now = TickCount();
  const UInt32 interval = UInt32(rec->configData.statUpdate) * 60 / 1000;
  const UInt32 waitLimit = UInt32(rec->configData.statUpdate) * 300 / 1000;
  if (now - h.upTick > interval) {
    if (!askable(rec)) return 0;
    bool wanted = h.kind == Request::Status || rec->activePage == kPageDetail;
    if (!h.sending && wanted) {
      const char* arg = h.kind == Request::Status ? Status_Argument(&rec->pbox) : Info_Argument(&rec->pbox);
      OSStatus r = h.kind == Request::Status ? GetStatusData(rec, arg) : GetInfoData(rec, arg);
      // A send that fails leaves the request idle (for the information
      // request too: no lost-printer view for a printer never asked).
      if (r >= 0) {
        h.upTick = now;
        setSending(rec, h.kind, 1, arg);
      } else {
        tb::TraceRefusal(kChannel, "%s not sent (%ld)", requestName(h.kind), long(r));
      }
    }
  }
  collect(rec, h, now, waitLimit);
  return 1;
}

}  // namespace

UInt16 Request_Port(const CONFIGURATION* config) { return config->oldVerCompati == 1 ? kJcpPortOld : kJcpPortNew; }

const char* Status_Argument(const PBOXinfo* pbox) {
  char model[8];
  GetVemoplexType(model, pbox->pbi_machine_type);
  return (std::strncmp(model, "QSV-D", 5) == 0 || std::strncmp(model, "QSV-E", 5) == 0) ? "QSV-D STAT" : "PLUM7 STAT";
}

const char* Info_Argument(const PBOXinfo* pbox) {
  char model[8];
  GetVemoplexType(model, pbox->pbi_machine_type);
  return std::strncmp(model, "QSV-A", 5) == 0 ? "PLUM7 INFO" : "IRIS INFO";
}

long GetPortStatus(JCPEPInfo* ctx, const PBOXinfo* pbox, short protocol, UInt16 port, const char* argument,
                   void* buffer, long size, Boolean async) {
  return sendRequest(ctx, pbox, protocol, port, argument, buffer, size, async);
}

long GetPortInfo(JCPEPInfo* ctx, const PBOXinfo* pbox, short protocol, UInt16 port, const char* argument, void* buffer,
                 long size, Boolean async) {
  return sendRequest(ctx, pbox, protocol, port, argument, buffer, size, async);
}

OSStatus GetStatusData(PSTATUS_WND_INFO* rec, const char* argument) {
  return OSStatus(GetPortStatus(rec->jcpStat, &rec->pbox, rec->pbox.protocol_Type_Num, Request_Port(&rec->configData),
                                argument, nullptr, 0, true));
}

OSStatus GetInfoData(PSTATUS_WND_INFO* rec, const char* argument) {
  return OSStatus(GetPortInfo(rec->jcpInfo, &rec->pbox, rec->pbox.protocol_Type_Num, Request_Port(&rec->configData),
                              argument, nullptr, 0, true));
}

long GetStatusReceveData(JCPEPInfo* ctx, void* buffer, long size) {
  if (!ctx || ctx->rcvLargeBufLen == 0 || size <= 0) return 0;
  long n = std::min<long>(size, long(std::min<UInt32>(ctx->rcvLargeBufLen, kJCPLargeBufSize)));
  std::memcpy(buffer, ctx->rcvLargeBuf, std::size_t(n));
  std::memset(ctx->rcvLargeBuf, 0, sizeof ctx->rcvLargeBuf);
  ctx->rcvLargeBufLen = 0;
  return n;
}

void CommandNotifier(JCPEPInfo* ctx, void*, void*, short status) {
  if (status == JCP_NOTIFY_TIMEOUT && ctx->retryCnt <= 1) {
    JCP_Resending(ctx);
    ctx->isComplete = 0;
    ctx->retryCnt++;
  }
}

int GetStatusInfo(PSTATUS_WND_INFO* rec, UInt8* reply, std::size_t received, std::size_t room) {
  UInt16 len = 0;
  short kind = ChkRecvCmd(reply, received, &len);
  std::size_t start = ReplyDataStart(kind);
  switch (kind) {
    case kReplyPlum7Stat:
    case kReplyQsvDStat: {
      std::span<UInt8> data(reply + start, room - start);
      if (!Set_Macintosh_Memory(data)) return 0;
      if (kind == kReplyPlum7Stat) Convert_Status(data);
      // Published before decoding, while the volatile bytes still stand.
      if (len != 0) Save_Stat_Com_Data(&rec->pbox, data, len, kind);
      rec->decodeResult = GetVemoStatus(data, &rec->info, &rec->saved, &rec->nic);
      // An unchanged status still moves the power state: a printer that
      // stays asleep reaches the state that shows no data.
      Set_Power_State(rec, Get_Power_Info(&rec->info, rec->powerCheck), "status reply");
      return 1;
    }
    case kReplyPlum7Info:
      rec->infoFlag = 0;
      GetPlum7Info(reply + start, len, &rec->netInfo, &rec->infoFlag);
      return 1;
    case kReplyIrisInfo:
      rec->infoFlag = 0;
      GetIrisInfo(reply + start, len, &rec->netInfo, &rec->infoFlag);
      return 1;
    default: tb::TraceRefusal(kChannel, "reply of kind %d not decoded", kind); return 0;
  }
}

SInt16 Get_Power_Info(const VEMOINFO* info, SInt16 power) {
  const bool on = info->IcRg == 1 && info->MainPower == 1;
  const bool asleep = info->IcRg == 0 && info->MainPower == 2;
  switch (power) {
    case 0: return on ? 3 : asleep ? 5 : 4;
    case 1:
    case 3: return on ? power : 2;
    case 5:
    case 8: return asleep ? power : 7;
    case 2:
    case 4:
    case 7: return on ? 1 : asleep ? 8 : power;
    default: return 0;
  }
}

bool Power_Shows_Data(SInt16 power) { return power != 0 && power != 5 && power != 8; }

void Set_Power_State(PSTATUS_WND_INFO* rec, SInt16 to, const char* why) {
  if (rec->powerCheck == to) return;
  if (tb::TraceOn(kChannel)) {
    const std::string from = "power " + std::to_string(rec->powerCheck), now = "power " + std::to_string(to);
    tb::TraceState(kChannel, "power state", rec, from.c_str(), now.c_str(), why);
  }
  rec->powerCheck = to;
}

int Get_Printer_Status(PSTATUS_WND_INFO* rec) {
  return step(rec, Half{Request::Status, rec->sendStat, rec->statUpTick, rec->jcpStat, kStatusReplyBuffer});
}

int Get_Printer_Info(PSTATUS_WND_INFO* rec) {
  return step(rec, Half{Request::Info, rec->sendInfo, rec->infoUpTick, rec->jcpInfo, kInfoReplyBuffer});
}

int Update_Status_Window_Info(PSTATUS_WND_INFO* rec) {
  const StatusPollHooks* h = rec->hooks;
  if (h && h->optionDialogOpen && h->optionDialogOpen(rec)) return 0;
  Get_Printer_Status(rec);
  if (h && h->animate) h->animate(rec);
  Get_Printer_Info(rec);
  return 1;
}

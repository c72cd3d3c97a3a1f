// The device command layer: each command builds its text (and the address
// payload), picks the transport from the box's record and the port from the
// search configuration, runs one synchronous exchange in a context of its
// own and copies the reply where the caller needs it.
#include "Admin/DeviceCommand.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/SearchConfig.h"
#include "common/Context.h"
#include "common/StrConv.h"
#include "OT/JCPCommand.h"
#include "OT/OTEndpoint.h"
#include "toolbox/resources.h"
#include "toolbox/trace.h"

namespace {

constexpr UInt32 kUdpSearchTimeout = 1000;
constexpr UInt32 kDdpSearchTimeout = 2000;
constexpr short kSearchCondition = 4;
constexpr std::size_t kPayloadSize = 12;

// The box table the running searches register into.
PBOXinfo* gSearchTable = nullptr;
short gSearchTableSize = 0;

struct Exchange {
  std::unique_ptr<JCPEPInfo> ctx;
  short error = 0;
};

// A command that ends without a result says why on the trace: the callers
// only show "Could not communicate with the print server." for any of them.
short refuse(const char* command, const char* why, short result = -1) {
  tb::TraceRefusal("jcp", "%s: %s", command, why);
  return result;
}

// A cleared context aimed at the box; error -1 without memory or a usable
// transport, or the remote-setting result.
Exchange open_exchange(const PBOXinfo* box, const char* command) {
  Exchange ex;
  if (!box) {
    ex.error = refuse(command, "no box");
    return ex;
  }
  ex.ctx.reset(new (std::nothrow) JCPEPInfo{});
  if (!ex.ctx) {
    ex.error = refuse(command, "no memory for the request context");
    return ex;
  }
  short protocol;
  if (box->protocol_Type_Num == PBOX_PROTO_TCPIP) {
    protocol = JCP_PROTO_UDP;
  } else if (box->protocol_Type_Num == PBOX_PROTO_ATALK && IsUseProtocol()) {
    protocol = JCP_PROTO_DDP;
  } else {
    ex.ctx.reset();
    ex.error = refuse(command, "the box's protocol is not usable");
    return ex;
  }
  short r = JCP_SetRemoteFromPBOX(ex.ctx.get(), protocol, box, Command_Port(), JCP_DDP_TYPE);
  if (r != 0) {
    ex.ctx.reset();
    ex.error = refuse(command, "the box's address cannot be set as the remote", r);
  }
  return ex;
}

// The text and, for the address commands, 01 06, the Ethernet address and
// an IPv4 address. Returns the length, 0 when the text does not fit.
std::size_t build_command(UInt8 (&field)[kCommandFieldSize], const char* text, const PBOXinfo* box = nullptr,
                          UInt32 ip = 0) {
  std::memset(field, 0, sizeof field);
  const std::size_t n = std::strlen(text);
  const std::size_t need = n + (box ? kPayloadSize : 1);
  if (need > kCommandFieldSize) return 0;
  std::memcpy(field, text, n);
  if (!box) return n;
  field[n] = 0x01;
  field[n + 1] = 0x06;
  std::memcpy(field + n + 2, box->pbi_nodeaddr, 6);
  be::put32(field + n + 8, ip);
  return n + kPayloadSize;
}

OSStatus run_get(JCPEPInfo* ctx, const UInt8* cmd, std::size_t len) {
  return JCP_GetCommand(ctx, cmd, static_cast<UInt32>(len), nullptr, 0, ConfigData.rcvWait, CommandNotifier, false);
}

// Reads one table into buf (16384 bytes); the length, 0 when empty.
UInt32 read_table(JCPEPInfo* ctx, const char* text, Ptr buf) {
  UInt8 field[kCommandFieldSize];
  std::size_t len = build_command(field, text);
  run_get(ctx, field, len);
  UInt32 got = ctx->rcvLargeBufLen > kSetupBufferSize ? UInt32(kSetupBufferSize) : ctx->rcvLargeBufLen;
  if (got && buf) std::memcpy(buf, ctx->rcvLargeBuf, got);
  return buf ? got : 0;
}

// Polls while the box answers busy, at most kPollLimit times.
short poll_while_busy(const PBOXinfo* box, const char* command) {
  for (int i = 0; i < kPollLimit; ++i) {
    short r = PollToPBOX(box);
    if (r != 1) return r;
  }
  return refuse(command, "the box was still busy (or silent) after every POLLING");
}

void copy_backup() {
  if (pEEPData && pEEPBackup && wEEPDataSize) std::memcpy(pEEPBackup, pEEPData, wEEPDataSize);
}

}  // namespace

UInt16 Command_Port() { return ConfigData.oldVerCompati == 1 ? JCP_UDP_PORT_OLD : JCP_UDP_PORT; }

short InitNetwork() { return OT_Init() == 0 ? 1 : 0; }
void DeinitNetwork() { OT_Deinit(); }

short SearchPBOX(JCPEPInfo* context, PBOXinfo* table, short tableSize, short protocol, UInt16 port) {
  if (!context) return 0;
  gSearchTable = table;
  gSearchTableSize = tableSize;
  if (protocol == PBOX_PROTO_TCPIP) {
    const int count = EnvInfo.tcp_count < 1 ? 1 : (EnvInfo.tcp_count > kBroadcastMax ? kBroadcastMax : EnvInfo.tcp_count);
    std::vector<UInt32> addrs(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      char text[kBroadcastTextSize + 1];
      std::memcpy(text, EnvInfo.broadcast[i], kBroadcastTextSize);
      text[kBroadcastTextSize] = 0;
      addrs[static_cast<std::size_t>(i)] = StrToIPAddr(text);
    }
    if (JCP_UDP_SetSearch(context, addrs.data(), static_cast<short>(count), port) != 0) return 0;
    JCP_Search(context, kSearchCondition, kUdpSearchTimeout, SearchNotifier, true);
    return 1;
  }
  if (protocol == PBOX_PROTO_ATALK) {
    if (!IsUseProtocol()) return 0;
    const char* zone = ConfigData.choiceNetworkzone && ConfigData.SearchZoneName[0] ? ConfigData.SearchZoneName : "*";
    Str255 type;
    const SInt16 saved = CurResFile();
    UseResFile(Appl_Rsrc_Fork_No);
    GetIndString(type, kStrNbpType, 1);
    UseResFile(saved);
    char typeText[256];
    std::memcpy(typeText, type + 1, type[0]);
    typeText[type[0]] = 0;
    if (JCP_DDP_SetSearch(context, zone, typeText[0] ? typeText : "CTRLJCP1", "=") != 0) return 0;
    JCP_Search(context, kSearchCondition, kDdpSearchTimeout, SearchNotifier, true);
    return 1;
  }
  return 1;
}

void SearchNotifier(JCPEPInfo* context, void* reply, void* data, short status) {
  if (!context || status != JCP_NOTIFY_FOUND || !reply) return;
  const jcp_reply* r = static_cast<const jcp_reply*>(reply);
  // The search hands over decoded fields: the check word and the rule.
  if (r->jcpr_chk != 2 || r->jcpr_rule != JCP_SEARCH_RULE) return;
  short stored = 0;
  if (context->protocolType == JCP_PROTO_UDP) {
    stored = UDPRegisterPBOX(gSearchTable, gSearchTableSize, r, PBOX_PROTO_TCPIP);
    if (!stored && gSearchTable) {
      // A box already listed from an earlier UDP reply: its status, address
      // and name are refreshed, so the list never shows a stale status.
      const UInt16 h = GetPBOXHash(r->jcpr_machine_type, r->jcpr_nodeaddr);
      for (short i = 0; i < gSearchTableSize; ++i) {
        PBOXinfo& e = gSearchTable[i];
        if (e.pbi_inuse && e.pbi_hash == h && std::memcmp(e.pbi_nodeaddr, r->jcpr_nodeaddr, 6) == 0 &&
            e.protocol_Type_Num == PBOX_PROTO_TCPIP && Chk_Active_Machine_Name(r->jcpr_machine_type)) {
          e.pbi_status = r->jcpr_status;
          e.pbi_ip_addr = r->jcpr_ip_addr;
          std::memcpy(e.pbi_machine_name, r->jcpr_machine_name, sizeof e.pbi_machine_name);
          stored = 1;
          break;
        }
      }
    }
  } else if (context->protocolType == JCP_PROTO_DDP || context->protocolType == JCP_PROTO_NBP) {
    if (!data) return;
    // The sender's row of the name lookup, decoded in host order: its
    // AppleTalk address and its entity name.
    const NBPAddrTable* row = static_cast<const NBPAddrTable*>(data);
    PBOXAddrBlock addr{};
    addr.aNet = row->network;
    addr.aNode = row->node;
    addr.aSocket = row->socket;
    PBOXEntityName entity{};
    std::memcpy(entity.objStr, row->object, sizeof entity.objStr);
    std::memcpy(entity.typeStr, row->type, sizeof entity.typeStr);
    std::memcpy(entity.zoneStr, row->zone, sizeof entity.zoneStr);
    stored = RegisterPBOX(gSearchTable, gSearchTableSize, r, &entity, addr, PBOX_PROTO_ATALK);
  }
  if (stored) context->found++;
}

void CommandNotifier(JCPEPInfo* context, void*, void*, short status) {
  if (!context || status != JCP_NOTIFY_TIMEOUT) return;
  if (context->retryCnt < ConfigData.retry) {
    JCP_Resending(context);
    context->isComplete = 0;
    context->retryCnt++;
  }
}

short PollToPBOX(const PBOXinfo* box) {
  Exchange ex = open_exchange(box, "POLLING");
  if (!ex.ctx) return ex.error;
  UInt8 field[kCommandFieldSize];
  std::size_t len = build_command(field, "POLLING");
  run_get(ex.ctx.get(), field, len);
  return ex.ctx->conditionNo;
}

short GetPBOXInfo(const PBOXinfo* box) {
  Exchange ex = open_exchange(box, "GET CONTEXT");
  if (!ex.ctx) return ex.error;
  UInt32 n = read_table(ex.ctx.get(), "GET CONTEXT", pContextData);
  if (n == 0) return refuse("GET CONTEXT", "no table came back");
  if (n < sizeof(CONTEXT_ENTRY)) return refuse("GET CONTEXT", "the reply holds no whole entry: no settings table");
  wContextSize = static_cast<UInt16>(n);
  n = read_table(ex.ctx.get(), "GET ENUM_DATA", pEnumData);
  if (n == 0) return refuse("GET ENUM_DATA", "no table came back");
  wEnumSize = static_cast<UInt16>(n);
  n = read_table(ex.ctx.get(), "GET EEP_DATA", pEEPData);
  if (n == 0) return refuse("GET EEP_DATA", "no image came back");
  wEEPDataSize = static_cast<UInt16>(n);
  wEnumWidth = static_cast<UInt16>(GetStringArrayWidth(pEnumData, 16, wEnumSize));
  copy_backup();
  return 0;
}

short PutPBOXInfo(const PBOXinfo* box) {
  constexpr const char* kSave = "SAVE EEP_DATA";
  if (!pEEPData || wEEPDataSize == 0) return refuse(kSave, "no settings image to send");
  Exchange ex = open_exchange(box, kSave);
  if (!ex.ctx) return ex.error;
  UInt8 field[kCommandFieldSize];
  std::size_t len = build_command(field, kSave);
  JCP_SetCommand(ex.ctx.get(), field, static_cast<UInt32>(len), pEEPData, wEEPDataSize, ConfigData.rcvWait,
                 CommandNotifier, false);
  const bool answered = ex.ctx->rcvLargeBufLen != 0;
  ex.ctx.reset();
  if (!answered) return refuse(kSave, "the box never answered");
  return poll_while_busy(box, kSave);
}

short GetPBOXDefault(const PBOXinfo* box) {
  constexpr const char* kDefault = "SET DEFAULT";
  Exchange ex = open_exchange(box, kDefault);
  if (!ex.ctx) return ex.error;
  // The factory image replaces the user's only once the box has taken the
  // request: a failure leaves the image and its backup as they were, so the
  // window still knows what was changed and offers to save it.
  std::vector<UInt8> image(kSetupBufferSize);
  const UInt32 n = read_table(ex.ctx.get(), kDefault, reinterpret_cast<Ptr>(image.data()));
  ex.ctx.reset();
  if (n == 0) return refuse(kDefault, "no image came back");
  const short result = poll_while_busy(box, kDefault);
  if (result != 0) return result;
  if (!pEEPData) return refuse(kDefault, "no settings image to replace");
  std::memcpy(pEEPData, image.data(), n);
  wEEPDataSize = static_cast<UInt16>(n);
  copy_backup();
  return 0;
}

long GetPortList(const PBOXinfo* box, void* buffer, long bufferSize) {
  Exchange ex = open_exchange(box, "GET PORT_NAME");
  if (!ex.ctx) return ex.error;
  UInt8 field[kCommandFieldSize];
  std::size_t len = build_command(field, "GET PORT_NAME");
  run_get(ex.ctx.get(), field, len);
  long n = static_cast<long>(ex.ctx->rcvLargeBufLen);
  if (n > bufferSize) n = bufferSize;
  if (n > 0 && buffer) std::memcpy(buffer, ex.ctx->rcvLargeBuf, static_cast<std::size_t>(n));
  return buffer ? n : 0;
}

long GetPortStatus(const PBOXinfo* box, const char* portName, void* buffer, long bufferSize) {
  char text[kCommandFieldSize + 1];
  const int w = std::snprintf(text, sizeof text, "GET STATUS:%s", portName ? portName : "");
  if (w < 0 || static_cast<std::size_t>(w) + 1 > kCommandFieldSize) return -1;
  Exchange ex = open_exchange(box, "GET STATUS:");
  if (!ex.ctx) return ex.error;
  UInt8 field[kCommandFieldSize];
  std::size_t len = build_command(field, text);
  run_get(ex.ctx.get(), field, len);
  long n = static_cast<long>(ex.ctx->rcvLargeBufLen);
  if (n > bufferSize) n = bufferSize;
  if (n > 0 && buffer) std::memcpy(buffer, ex.ctx->rcvLargeBuf, static_cast<std::size_t>(n));
  return buffer ? n : 0;
}

short SetIPAddrToPBOX(const PBOXinfo* box, UInt32 ipAddr) {
  if (!box) return -1;
  std::unique_ptr<JCPEPInfo> ctx(new (std::nothrow) JCPEPInfo{});
  if (!ctx) return -1;
  short r;
  if (box->protocol_Type_Num == PBOX_PROTO_TCPIP) {
    // The box has no usable address yet: the request goes to the broadcast
    // address, and only the box with this Ethernet address takes it.
    r = JCP_UDP_SetRemote(ctx.get(), ConfigData.brAddr, Command_Port());
  } else if (box->protocol_Type_Num == PBOX_PROTO_ATALK && IsUseProtocol()) {
    r = JCP_SetRemoteFromPBOX(ctx.get(), JCP_PROTO_DDP, box, Command_Port(), JCP_DDP_TYPE);
  } else {
    return -1;
  }
  if (r != 0) return r;
  UInt8 field[kCommandFieldSize];
  std::size_t len = build_command(field, "SET IP_ADDR:", box, ipAddr);
  JCP_SetCommand(ctx.get(), field, static_cast<UInt32>(len), nullptr, 0, ConfigData.rcvWait, CommandNotifier, false);
  if (!ctx->isSuccess) return -1;
  return ctx->conditionNo;
}

OSStatus ExecCmdToPBOX(const PBOXinfo* box, const char* command) {
  if (!command) return -1;
  Exchange ex = open_exchange(box, command);
  if (!ex.ctx) return ex.error;
  UInt8 field[kCommandFieldSize];
  std::size_t len = build_command(field, command, box, box->pbi_ip_addr);
  if (len == 0) return -1;
  OSStatus r = run_get(ex.ctx.get(), field, len);
  if (r == 0 && !ex.ctx->isSuccess) r = -1;
  return r;
}

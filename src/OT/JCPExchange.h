// The JCP request context and the life of its endpoint, shared by the
// search and the command transfer: one JCPEPInfo carries one search or one
// command from its start, through the open, bind, send and receive steps,
// the poll step and the end sequence, to the notifier's end status. What
// each kind of request sends and takes in is its user's: the user hands its
// steps over when the request begins, and the exchange names none of them.
#pragma once

#include <string>

#include "OT/JCPPacket.h"
#include "OT/NBPLookup.h"
#include "OT/OTEndpoint.h"
#include "toolbox/types.h"

struct JCPEPInfo;

// What a kind of request does at the exchange's steps, handed over when a
// request begins (JCP_BeginExchange) and kept for its resends.
struct JCPSteps {
  // The next probes or request block, when one may go out.
  void (*send)(JCPEPInfo* context);
  // The datagrams waiting on the active endpoint.
  void (*receive)(JCPEPInfo* context);
  // Work of the user's own that the poll step runs first (null: none), such
  // as the probes of rows a name lookup has delivered since.
  void (*poll)(JCPEPInfo* context);
  // How long a try may last however the peer answers, in time-outs: a
  // search lives on while boxes keep answering, up to this many; 0 (a
  // command): one time-out from the try's start.
  UInt32 overallLimitFactor;
};

// The caller's notifier: (context, data, extra, status). Status 1 hands over
// one search reply (a jcp_reply, valid during the call only; extra null
// over UDP, the sender's 110-byte row over AppleTalk); the end statuses hand
// over rcvLargeBuf and a pointer to rcvLargeBufLen.
using JCPNotifyProcPtr = void (*)(JCPEPInfo* context, void* data, void* extra, short status);

enum : short {
  JCP_NOTIFY_SUCCESS = 0,
  JCP_NOTIFY_FOUND = 1,
  JCP_NOTIFY_TIMEOUT = 2,
  JCP_NOTIFY_ERROR = 3,
};

enum : SInt16 {
  JCP_CMD_SEARCH = 1,
  JCP_CMD_GET = 2,
  JCP_CMD_SET = 3,
};

// protocolType of a context.
enum : SInt16 {
  JCP_PROTO_UDP = 0,
  JCP_PROTO_DDP = 2,
  JCP_PROTO_NBP = 3,  // AppleTalk name lookup, then DDP
};

constexpr int kJCPMaxTargets = 17;
constexpr std::size_t kJCPLargeBufSize = 16384;

struct UDPAddInfo {
  UDPEPInfo udpEPInfo;
  UInt32 broadcastIpAddr[kJCPMaxTargets];
  SInt16 broadcastNum;
  SInt16 broadcastIdx;
};

// The AppleTalk side of a context: the DDP endpoint that carries probes and
// commands, and the name-lookup endpoint that finds the boxes.
struct DDPAddInfo {
  DDPEPInfo ddpEPInfo;
  NBPEPInfo nbpEPInfo;
  DDPNBPAddress nbpAddress;    // the entity searched for (object:type@zone)
  NBPAddrTable* nbpAddrTable;  // rows the lookup found and not yet probed
  SInt16 nbpAddrTableCnt;
  UInt32 curLookupIdx;  // next row to probe
};

struct JCPEPInfo {
  // The UDP and the AppleTalk endpoints lie side by side rather than
  // overlaid: each is read only through its own member.
  struct {
    UDPAddInfo udp;
    DDPAddInfo ddp;
  } protocol;
  JCPNotifyProcPtr NotifyProcPtr;
  const JCPSteps* steps;  // the user's steps of the request under way
  SInt16 protocolType;
  SInt16 cmdType;
  SInt16 conditionNo;
  UInt16 found;
  UInt16 retryCnt;
  UInt8 cmd[kJcpCmdSize];
  UInt8 sndLargeBuf[kJCPLargeBufSize];
  UInt32 sndLargeBufLen;
  UInt32 sndOffset;
  UInt8 rcvLargeBuf[kJCPLargeBufSize];
  UInt32 rcvLargeBufLen;
  UInt32 rcvOffset;
  Boolean isSuccess;
  Boolean isTimeout;
  Boolean ackWait;
  Boolean isComplete;

  // Where the endpoint's life stands (JCP_STATE_*), so that a context is
  // never reported terminated while an open is under way and never
  // reported twice. Changed only through JCP_SetState.
  SInt16 state;
  UInt16 cmdLen;     // bytes of cmd in use (the text and any payload)
  UInt16 sentCond;   // jcpc_cond of the request last sent
  UInt32 startTick;  // when this try began: the overall limit counts from here
  // The last read of the active endpoint found nothing: on an asynchronous
  // endpoint the next datagram comes as T_DATA, so the poll step need not
  // look for it.
  Boolean rcvArmed;
};

// The life of a request's endpoint, beside the transfer flags.
enum : SInt16 {
  JCP_STATE_IDLE = 0,           // nothing under way (never started, or reported)
  JCP_STATE_OPENING = 1,        // an asynchronous open has not completed yet
  JCP_STATE_OPEN_KILLED = 2,    // ended while opening: closes once the open completes
  JCP_STATE_RUNNING = 3,        // open: probes or requests go out, replies come in
  JCP_STATE_CLOSING = 4,        // the end sequence has begun
  JCP_STATE_LOOKUP_ENDING = 5,  // the probes have ended; the name lookup's end reports
};

// The one place a context's state changes; traced on the "jcp" channel
// with the reason.
void JCP_SetState(JCPEPInfo* context, SInt16 to, const char* why);
const char* JCP_StateName(SInt16 state);
// An asynchronous open has not completed yet.
inline bool JCP_IsOpening(const JCPEPInfo* c) {
  return c->state == JCP_STATE_OPENING || c->state == JCP_STATE_OPEN_KILLED;
}
// The end sequence has begun: nothing more is taken in.
inline bool JCP_IsEnding(const JCPEPInfo* c) {
  return c->state == JCP_STATE_CLOSING || c->state == JCP_STATE_LOOKUP_ENDING;
}
inline bool JCP_EndpointOpen(const EPInfo* ep) { return ep && ep->epRef != kOTInvalidEndpointRef; }
// A search that runs this many times its time-out ends, whatever arrives:
// a peer that answers just often enough cannot keep it alive for ever. A
// command's try ends once its time-out has passed since it began, however
// the box answers (see JCP_PendingLoop).
constexpr UInt32 kJCPOverallLimitFactor = 8;

// The start of every search and command: the kind of request with its
// user's steps, the caller's notifier, the transfer flags cleared, and a
// first try begun with the time-out (ms) on the active endpoint.
void JCP_BeginExchange(JCPEPInfo* context, SInt16 cmdType, const JCPSteps* steps, JCPNotifyProcPtr notify,
                       UInt32 timeoutMs);
// A new try of the same request (the start, or a resend): not complete, not
// timed out, the quiet time and the overall limit counting from now.
void JCP_BeginTry(JCPEPInfo* context);
// Opens the active endpoint of a begun exchange; a synchronous one then
// runs until its end has been reported (and any resend its notifier made).
// The open's refusal, or the endpoint's err.
OSStatus JCP_RunExchange(JCPEPInfo* context, Boolean async);

OSStatus JCP_PendingLoop(JCPEPInfo* context);
void JCP_KillIOEvent(JCPEPInfo* context);
short JCP_IsTerminated(JCPEPInfo* context);
short GetEPInfo(JCPEPInfo* context, EPInfo** udp, EPInfo** ddp, EPInfo** nbp, EPInfo** active);
// The send and receive steps: the ones the request's user handed over (the
// search's probes and replies, or the command's requests and replies).
void SndData(JCPEPInfo* context);
void RcvData(JCPEPInfo* context);
void EndpointNotifierProc(void* context, OTEventCode code, OTResult result, void* cookie);

// The endpoint a context's protocolType uses (null for one it cannot use).
EPInfo* JCP_ActiveEndpoint(JCPEPInfo* context);
// Opens the active endpoint with the JCP notifier (synchronous: opened and
// bound on return); the open's refusal, or the endpoint's err.
OSStatus JCP_OpenActive(JCPEPInfo* context, Boolean async);
// The wait of a synchronous request: polls and pumps until it is complete.
void JCP_WaitComplete(JCPEPInfo* context);
// Ends a request whose endpoint is gone or never opened: closes what is
// open and reports (once the name lookup has ended too).
void JCP_Finish(JCPEPInfo* context, EPInfo* ep);
// Reports the end to the caller's notifier with the status its flags give.
void JCP_Report(JCPEPInfo* context);
// Frees the rows of a name lookup that are still waiting for their probes.
void JCP_FreeRows(JCPEPInfo* context);
// Clears a context for a new request, as a fresh allocation would; the
// caller has seen its last request end (JCP_IsTerminated).
void JCP_ClearContext(JCPEPInfo* context);

// Who sent a datagram: over UDP its address and port, over AppleTalk its
// DDP address.
struct JCPSender {
  UInt32 ipAddr;
  UInt16 port;
  DDPAddress ddp;
};
// Reads one datagram on the active endpoint into its receive buffer; the
// sender comes back through from when it is given.
OSStatus JCP_ReadDatagram(JCPEPInfo* context, const UInt8** data, UInt32* len, JCPSender* from = nullptr);
// "a.b.c.d:port" over UDP, "net.node:socket" over AppleTalk (for the trace).
std::string JCP_SenderText(SInt16 protocolType, const JCPSender& from);

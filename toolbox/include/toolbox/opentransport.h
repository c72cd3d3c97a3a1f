// Open Transport: endpoints over non-blocking host sockets.
//
// Configurations "udp" (datagrams) and "tcp" (connections) are built in;
// further datagram configurations plug in through the family interface of
// the toolbox's private opentransport_family.h.
//
// Notifiers run only from tb::Pump (the event loop, nested loops and busy
// waits that pump), never from another thread and never inside the call that
// caused them: completions of asynchronous calls are queued with tb::Defer,
// socket events are noticed by the pump's descriptor watches.
//
// Internet addresses are kept in host byte order (127.0.0.1 is 0x7F000001);
// ports are the ports the programs name. Destinations are checked against the
// loopback confinement and ports go through the port map (toolbox/netconfig.h).
#pragma once

#include "toolbox/types.h"

using OTResult = SInt32;
using OTEventCode = UInt32;
using OTFlags = UInt32;
using OTOpenFlags = UInt32;
using OTByteCount = UInt32;
using OTSequence = SInt32;
using OTReason = SInt32;
using OTAddressType = UInt16;
using InetPort = UInt16;
using InetHost = UInt32;
using OTClientContextPtr = void*;

// Providers (endpoints and any other service) are opaque.
struct OTProvider;
using ProviderRef = OTProvider*;
using EndpointRef = ProviderRef;
inline constexpr EndpointRef kOTInvalidEndpointRef = nullptr;
inline constexpr ProviderRef kOTInvalidProviderRef = nullptr;

struct OTConfiguration;
using OTConfigurationRef = OTConfiguration*;

// Notifier: (context given at install, event, result, cookie).
using OTNotifyProcPtr = void (*)(void* contextPtr, OTEventCode code, OTResult result, void* cookie);
using OTNotifyUPP = OTNotifyProcPtr;

// ---------------------------------------------------------------------------
// Error codes.
enum : OTResult {
  kOTNoError = 0,
  kOTBadAddressErr = -3150,
  kOTBadOptionErr = -3151,
  kOTAccessErr = -3152,
  kOTBadReferenceErr = -3153,
  kOTNoAddressErr = -3154,
  kOTOutStateErr = -3155,
  kOTBadSequenceErr = -3156,
  kOTSysErrorErr = -3157,
  kOTLookErr = -3158,
  kOTBadDataErr = -3159,
  kOTBufferOverflowErr = -3160,
  kOTFlowErr = -3161,
  kOTNoDataErr = -3162,
  kOTNoDisconnectErr = -3163,
  kOTNoUDErrErr = -3164,
  kOTBadFlagErr = -3165,
  kOTNoReleaseErr = -3166,
  kOTNotSupportedErr = -3167,
  kOTStateChangeErr = -3168,
  kOTNoStructureTypeErr = -3169,
  kOTBadNameErr = -3170,
  kOTBadQLenErr = -3171,
  kOTAddressBusyErr = -3172,
  kOTIndOutErr = -3173,
  kOTProviderMismatchErr = -3174,
  kOTResQLenErr = -3175,
  kOTResAddressErr = -3176,
  kOTQFullErr = -3177,
  kOTProtocolErr = -3178,
  kOTBadSyncErr = -3179,
  kOTCanceledErr = -3180,
  kOTNotFoundErr = -3201,
  // Host errors: -3199 minus the classic (BSD) error number.
  kENOMEMErr = -3211,
  kEINVALErr = -3221,
  kEPIPEErr = -3231,
  kEMSGSIZEErr = -3239,
  kEADDRINUSEErr = -3247,
  kEADDRNOTAVAILErr = -3248,
  kENETDOWNErr = -3249,
  kENETUNREACHErr = -3250,
  kECONNABORTEDErr = -3252,
  kECONNRESETErr = -3253,
  kENOBUFSErr = -3254,
  kENOTCONNErr = -3256,
  kETIMEDOUTErr = -3259,
  kECONNREFUSEDErr = -3260,
  kEHOSTDOWNErr = -3263,
  kEHOSTUNREACHErr = -3264,
};

// ---------------------------------------------------------------------------
// Notifier events.
enum : OTEventCode {
  T_LISTEN = 0x0001,
  T_CONNECT = 0x0002,
  T_DATA = 0x0004,
  T_EXDATA = 0x0008,
  T_DISCONNECT = 0x0010,
  T_UDERR = 0x0040,
  T_ORDREL = 0x0080,
  T_GODATA = 0x0100,
  T_PASSCON = 0x1000,
  T_RESET = 0x2000,

  T_BINDCOMPLETE = 0x20000001,
  T_UNBINDCOMPLETE = 0x20000002,
  T_ACCEPTCOMPLETE = 0x20000003,
  T_DISCONNECTCOMPLETE = 0x20000005,
  T_OPTMGMTCOMPLETE = 0x20000006,
  T_OPENCOMPLETE = 0x20000007,

  // A stream ioctl completes as this code plus the low byte of its command
  // (a flush: 0x21000005).
  kStreamIoctlEvent = 0x21000000,
};

// Endpoint states.
enum : OTResult {
  T_UNINIT = 0,
  T_UNBND = 1,
  T_IDLE = 2,
  T_OUTCON = 3,
  T_INCON = 4,
  T_DATAXFER = 5,
  T_OUTREL = 6,
  T_INREL = 7,
};

// Receive and send flags.
enum : OTFlags { T_MORE = 0x0001, T_EXPEDITED = 0x0002 };

// Stream ioctl: flush the read and/or write queue.
enum : UInt32 { I_FLUSH = 0x5305 };
enum : UInt32 { FLUSHR = 1, FLUSHW = 2, FLUSHRW = 3 };

// InitOpenTransportInContext flag.
enum : UInt32 { kInitOTForApplicationMask = 1 };

// Service types in TEndpointInfo.
enum : UInt32 { T_COTS = 1, T_COTS_ORD = 2, T_CLTS = 3 };

// ---------------------------------------------------------------------------
// Records.

// A counted buffer: maxlen is the room the caller gives, len what is used.
struct TNetbuf {
  OTByteCount maxlen;
  OTByteCount len;
  UInt8* buf;
};

struct TBind {
  TNetbuf addr;
  OTByteCount qlen;
};

struct TUnitData {
  TNetbuf addr;
  TNetbuf opt;
  TNetbuf udata;
};

struct TUDErr {
  TNetbuf addr;
  TNetbuf opt;
  SInt32 error;
};

struct TCall {
  TNetbuf addr;
  TNetbuf opt;
  TNetbuf udata;
  OTSequence sequence;
};

struct TDiscon {
  TNetbuf udata;
  OTReason reason;
  OTSequence sequence;
};

struct TEndpointInfo {
  SInt32 addr;     // size of an address record
  SInt32 options;  // size of the options
  SInt32 tsdu;     // largest datagram (0: a byte stream)
  SInt32 etsdu;    // expedited data (-2: none)
  SInt32 connect;  // data with a connect (-2: none)
  SInt32 discon;   // data with a disconnect (-2: none)
  UInt32 servtype;
  UInt32 flags;
};

// The address family of Internet addresses.
enum : OTAddressType { kOTInetAddressType = 2 };

struct InetAddress {
  OTAddressType fAddressType;  // kOTInetAddressType
  InetPort fPort;
  InetHost fHost;
  UInt8 fUnused[8];
};

inline constexpr InetHost kOTAnyInetAddress = 0;
enum : SInt32 { kDefaultInetInterface = -1 };

struct InetInterfaceInfo {
  InetHost fAddress;
  InetHost fNetmask;
  InetHost fBroadcastAddr;
  InetHost fDefaultGatewayAddr;
  InetHost fDNSAddr;
  UInt16 fVersion;
  UInt16 fHWAddrLen;
  UInt8* fHWAddr;
  UInt32 fIfMTU;
  char fDomainName[256];
};

// AppleTalk address records (the "ddp" configuration): a DDP address, and
// one that carries an NBP entity text after it (114 bytes in all).
enum : OTAddressType {
  kOTDDPAddressType = 0x0100,
  kOTDDPNBPAddressType = 0x0101,
  kOTNBPAddressType = 0x0102,
};

struct DDPAddress {
  OTAddressType fAddressType;
  UInt16 fNetwork;
  UInt8 fNodeID;
  UInt8 fSocket;
  UInt8 fDDPType;
  UInt8 fPad;
};

struct DDPNBPAddress {
  OTAddressType fAddressType;
  UInt16 fNetwork;
  UInt8 fNodeID;
  UInt8 fSocket;
  UInt8 fDDPType;
  UInt8 fPad;
  UInt8 fNBPNameBuffer[106];
};

// ---------------------------------------------------------------------------
// Set-up.
OSStatus InitOpenTransport();
void CloseOpenTransport();
OSStatus InitOpenTransportInContext(UInt32 flags, OTClientContextPtr* outClientContext);
void CloseOpenTransportInContext(OTClientContextPtr clientContext);

// A configuration names the protocol ("udp", "tcp", "ddp"); opening an
// endpoint takes the configuration over and disposes of it.
OTConfigurationRef OTCreateConfiguration(const char* path);
void OTDestroyConfiguration(OTConfigurationRef config);

// Synchronous open: the endpoint at once (null and *err set on failure).
EndpointRef OTOpenEndpoint(OTConfigurationRef config, OTOpenFlags oflag, TEndpointInfo* info, OSStatus* err);
EndpointRef OTOpenEndpointInContext(OTConfigurationRef config, OTOpenFlags oflag, TEndpointInfo* info, OSStatus* err,
                                    OTClientContextPtr clientContext);
// Asynchronous open: the notifier is installed, the endpoint is asynchronous,
// and its reference arrives as the cookie of T_OPENCOMPLETE.
OSStatus OTAsyncOpenEndpoint(OTConfigurationRef config, OTOpenFlags oflag, TEndpointInfo* info, OTNotifyUPP proc,
                             void* contextPtr);
OSStatus OTAsyncOpenEndpointInContext(OTConfigurationRef config, OTOpenFlags oflag, TEndpointInfo* info,
                                      OTNotifyUPP proc, void* contextPtr, OTClientContextPtr clientContext);
OSStatus OTCloseProvider(ProviderRef ref);

OTNotifyUPP NewOTNotifyUPP(OTNotifyProcPtr proc);
void DisposeOTNotifyUPP(OTNotifyUPP upp);
OSStatus OTInstallNotifier(ProviderRef ref, OTNotifyUPP proc, void* contextPtr);
void OTRemoveNotifier(ProviderRef ref);

// Modes. Synchronous calls complete before they return; asynchronous ones
// report their completion event later. Non-blocking calls return
// kOTNoDataErr or kOTFlowErr instead of waiting.
OSStatus OTSetSynchronous(ProviderRef ref);
OSStatus OTSetAsynchronous(ProviderRef ref);
OSStatus OTSetBlocking(ProviderRef ref);
OSStatus OTSetNonBlocking(ProviderRef ref);
Boolean OTIsSynchronous(ProviderRef ref);
Boolean OTIsBlocking(ProviderRef ref);

// Option management. The options buffer is a run of TOption records, each
// starting on a 4-byte boundary (OTOptionNext), fields in host order. Three
// options are known, each with a 4-byte value and negotiated before or
// after the bind: INET_IP / IP_REUSEADDR (T_YES or T_NO) lets a later bind
// take a local address still held by an ended connection; INET_TCP /
// TCP_NODELAY (T_YES or T_NO) sends small writes at once instead of holding
// them until the peer acknowledges what went before (a one-byte end mark
// after a file would otherwise wait for the peer's delayed acknowledgement);
// XTI_GENERIC / XTI_SNDBUF (bytes, 0 for the system's choice) asks for a
// send buffer of at least that size on a TCP endpoint: the host keeps its
// own growing buffer unless it lets a fixed one be larger than that grows
// to; XTI_GENERIC / XTI_RCVBUF (bytes, 0 for the system's choice) asks for a
// queue of received datagrams of that size on a UDP (or DDP) endpoint, as
// far as the host's cap lets it, never below the host's own. T_NEGOTIATE
// sets it,
// T_CURRENT reads it; other flags give kOTBadFlagErr. ret gets the request's
// options back with their status and value (kOTBufferOverflowErr when its
// buffer is too small) and, in flags, the worst status of them: an unknown
// option is T_NOTSUPPORT and does not fail the call. A malformed buffer is
// kOTBadOptionErr. Asynchronous endpoints report the result with
// T_OPTMGMTCOMPLETE, the cookie being ret.
struct TOptMgmt {
  TNetbuf opt;
  OTFlags flags;
};
using OTXTILevel = UInt32;
using OTXTIName = UInt32;
struct TOption {
  UInt32 len;  // of the whole record, header included
  OTXTILevel level;
  OTXTIName name;
  UInt32 status;
  UInt32 value[1];
};
enum : UInt32 { kOTOptionHeaderSize = 16, kOTFourByteOptionSize = 20 };
enum : OTFlags { T_NEGOTIATE = 0x0004, T_CHECK = 0x0008, T_DEFAULT = 0x0010, T_CURRENT = 0x0080 };
enum : UInt32 {
  T_SUCCESS = 0x0020,
  T_FAILURE = 0x0040,
  T_PARTSUCCESS = 0x0080,
  T_READONLY = 0x0100,
  T_NOTSUPPORT = 0x0200,
};
enum : UInt32 { T_NO = 0, T_YES = 1 };
enum : OTXTILevel { INET_IP = 0, INET_TCP = 6, XTI_GENERIC = 0xFFFF };
enum : OTXTIName { IP_REUSEADDR = 4, XTI_SNDBUF = 0x1001, XTI_RCVBUF = 0x1002 };
// The old platform's name and value, which the host's <netinet/tcp.h>
// defines alike.
#ifndef TCP_NODELAY
#define TCP_NODELAY 1
#endif
OSStatus OTOptionManagement(EndpointRef ref, TOptMgmt* req, TOptMgmt* ret);

// Binding. reqAddr null or with an empty address binds "any" on a port the
// system picks; the bound address comes back in retAddr (which may be the
// same record). qlen > 0 makes a connection endpoint a listener.
OSStatus OTBind(EndpointRef ref, TBind* reqAddr, TBind* retAddr);
OSStatus OTUnbind(EndpointRef ref);

// Datagrams.
OSStatus OTSndUData(EndpointRef ref, TUnitData* udata);
OSStatus OTRcvUData(EndpointRef ref, TUnitData* udata, OTFlags* flags);
OSStatus OTRcvUDErr(EndpointRef ref, TUDErr* uderr);

// Connections. A listening endpoint accepts a call onto itself (worker ==
// listener) and is the connection from then on.
OSStatus OTConnect(EndpointRef ref, TCall* sndCall, TCall* rcvCall);
OSStatus OTRcvConnect(EndpointRef ref, TCall* call);
OSStatus OTListen(EndpointRef ref, TCall* call);
OSStatus OTAccept(EndpointRef listener, EndpointRef worker, TCall* call);
OTResult OTSnd(EndpointRef ref, void* buf, OTByteCount nbytes, OTFlags flags);
OTResult OTRcv(EndpointRef ref, void* buf, OTByteCount nbytes, OTFlags* flags);
OSStatus OTSndDisconnect(EndpointRef ref, TCall* call);
OSStatus OTRcvDisconnect(EndpointRef ref, TDiscon* discon);
OSStatus OTSndOrderlyDisconnect(EndpointRef ref);
OSStatus OTRcvOrderlyDisconnect(EndpointRef ref);

// The event a call is waiting to have consumed (or T_DATA when data is
// waiting), 0 when none; a negative error for a bad reference.
OTResult OTLook(EndpointRef ref);
OTResult OTGetEndpointState(EndpointRef ref);
// The endpoint's local address (a connection's real one, once connected)
// and its peer's (empty unless connected); either record may be null.
OSStatus OTGetProtocolAddress(EndpointRef ref, TBind* boundAddr, TBind* peerAddr);

// I_FLUSH with FLUSHR, FLUSHW or FLUSHRW discards what is queued.
SInt32 OTIoctl(ProviderRef ref, UInt32 cmd, void* data);

// Internet addresses.
void OTInitInetAddress(InetAddress* addr, InetPort port, InetHost host);
// Index 0 (or kDefaultInetInterface) is this computer's own address: the
// interface of the default route; TOOLBOX_MYIP overrides it, and it is
// 127.0.0.1 while the network is confined to loopback.
OSStatus OTInetGetInterfaceInfo(InetInterfaceInfo* info, SInt32 index);
// Dotted-quad text to a host and back (out needs 16 bytes).
OSStatus OTInetStringToHost(const char* str, InetHost* host);
void OTInetHostToString(InetHost host, char* str);

namespace tb {

// Test hook: at most this many bytes are accepted by one OTSnd (0: no cap).
void OTSetSendCap(OTByteCount cap);
// Number of open providers (for leak checks in tests).
int OTOpenProviderCount();

}  // namespace tb

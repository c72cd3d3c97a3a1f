// Endpoint records and the thin wrappers over Open Transport that the JCP,
// name-lookup and FTP clients are built from. Each wrapper leaves behind in
// the record which operation ran last (prevCallFunc), what it returned (err)
// and, for data movement, when (prevTick); the clients' time-outs are quiet
// times measured from that stamp.
#pragma once

#include <cstddef>
#include <span>

#include "toolbox/opentransport.h"
#include "toolbox/types.h"

// Protocols of an endpoint record.
enum : SInt16 {
  OT_PROTO_UDP = 0,
  OT_PROTO_TCP = 1,
  OT_PROTO_DDP = 2,
  OT_PROTO_NBP = 3,  // DDP used for the NBP name lookup
};

// prevCallFunc: the wrapper that ran last (0 after a reset).
enum : SInt16 {
  OT_FUNC_NONE = 0,
  OT_FUNC_BIND = 1,
  OT_FUNC_UNBIND = 2,
  OT_FUNC_CONNECT = 3,
  OT_FUNC_RCVCONNECT = 4,
  OT_FUNC_LISTEN = 5,
  OT_FUNC_ACCEPT = 6,
  OT_FUNC_SNDUDATA = 7,
  OT_FUNC_SND = 8,
  OT_FUNC_RCVUDATA = 9,
  OT_FUNC_RCV = 10,
  OT_FUNC_SNDDISCONNECT = 11,
  OT_FUNC_SNDORDERLYDISCONNECT = 12,
  OT_FUNC_RCVDISCONNECT = 13,
  OT_FUNC_RCVORDERLYDISCONNECT = 14,
};

// The stream-ioctl event that tells a flush has completed.
inline constexpr OTEventCode OT_FLUSH_COMPLETE = kStreamIoctlEvent | (I_FLUSH & 0xFF);  // 0x21000005

// The header of every endpoint record.
struct EPInfo {
  EndpointRef epRef;  // 0 when closed
  Boolean bAsync;     // 1: notifier-driven
  SInt16 protocol;    // OT_PROTO_*
  TBind tBind;        // bind request and result
  SInt16 prevCallFunc;
  SInt32 err;
  SInt32 prevTick;  // tick of the last data movement; 0: not yet stamped
  SInt32 timeout;   // milliseconds
};

constexpr std::size_t kUDPBufSize = 2048;
constexpr std::size_t kTCPBufSize = 16384;
constexpr std::size_t kDDPSndBufSize = 2048;
constexpr std::size_t kDDPRcvBufSize = 8192;
constexpr std::size_t kNBPSndBufSize = 256;
constexpr std::size_t kNBPRcvBufSize = 14080;

struct UDPEPInfo {
  EPInfo epi;
  UInt8 sndBuf[kUDPBufSize];
  UInt32 sndBufLen;
  UInt8 rcvBuf[kUDPBufSize];
  UInt32 rcvBufLen;
  UInt32 remoteIpAddr;
  UInt16 remotePort;
  InetAddress iAddr;  // the address record of bind, send and receive
  TUnitData unitData;
};

struct TCPEPInfo {
  EPInfo epi;
  UInt8 sndBuf[kTCPBufSize];
  UInt32 sndBufLen;
  UInt8 rcvBuf[kTCPBufSize];
  UInt32 rcvBufLen;
  UInt32 remoteIpAddr;
  UInt16 remotePort;
  UInt32 localIpAddr;
  UInt16 localPort;
  InetAddress iAddr;  // the address record of bind, connect, listen and accept
  TCall tCall;
};

struct DDPEPInfo {
  EPInfo epi;
  UInt8 sndBuf[kDDPSndBufSize];
  UInt32 sndBufLen;
  UInt8 rcvBuf[kDDPRcvBufSize];
  UInt32 rcvBufLen;
  DDPAddress localAddr;   // bind request and result
  DDPAddress remoteAddr;  // the target of the last send
  TUnitData unitData;
  Boolean sndComplete;
  Boolean nbpComplete;
};

// One answer of a name lookup (110 bytes as the lookup keeps them): the
// entity's address and its object, type and zone as length-prefixed names
// of up to 32 characters.
struct NBPAddrTable {
  UInt16 addrType;
  UInt16 network;
  UInt8 node;
  UInt8 socket;
  UInt8 ddpType;
  UInt8 zero;
  UInt8 object[34];
  UInt8 type[34];
  UInt8 zone[34];
};

struct NBPEPInfo;
// (record, the new row or null, the owner's reference, status)
using NBPNotifyProcPtr = void (*)(NBPEPInfo* ep, NBPAddrTable* row, void* ref, SInt16 status);

struct NBPEPInfo {
  EPInfo epi;
  UInt8 sndBuf[kNBPSndBufSize];  // the entity text, then the lookup packet
  UInt32 sndBufLen;
  UInt8 rcvBuf[kNBPRcvBufSize];
  UInt32 rcvBufLen;
  DDPAddress localAddr;
  DDPAddress remoteAddr;
  TUnitData unitData;
  Boolean sndComplete;  // lookup packet sent
  Boolean nbpComplete;
  DDPNBPAddress remoteNBPAddress;
  NBPNotifyProcPtr NotifyProcPtr;
  Boolean isSuccess;
  Boolean isTimeout;
  Boolean isComplete;
  NBPAddrTable* nbpAddrTable;
  SInt16 nbpAddrTableCnt;
  void* ref;
};

// The notifier entry points of the JCP endpoint, the JCP name-lookup
// mapper, the NBP endpoint and the DDP mapper: made by their clients on
// first use, released by OT_Deinit.
extern OTNotifyUPP g_endpointNotifyProcJCP;
extern OTNotifyUPP g_mapperNotityprocJCP;
extern OTNotifyUPP g_endpointNotifyProcNBP;
extern OTNotifyUPP g_mapperNotityprocDDP;

OSStatus OT_Init();
void OT_Deinit();

// protocol 0-3; an unknown one gives -3159 (kOTBadDataErr) with nothing
// opened. Synchronous: epRef set at once. Asynchronous: the reference comes
// with T_OPENCOMPLETE to the notifier, with cookie as its context.
OSStatus OT_OpenEndpoint(EPInfo* ep, SInt16 protocol, OTNotifyUPP notifier, void* cookie, Boolean async);
OSStatus OT_CloseEndpoint(EPInfo* ep);  // the caller clears epRef
void OT_InitInetAddress(InetAddress* addr, InetPort port, InetHost host);

// Binds to "any" local address with queue length 1; the bound address comes
// back in the same record (iAddr, or localAddr for DDP).
OSStatus OT_Bind(EPInfo* ep);
// The same on one local Internet address (UDP and TCP; DDP binds as
// OT_Bind does).
OSStatus OT_BindAt(EPInfo* ep, InetHost host);
OSStatus OT_Unbind(EPInfo* ep);
OSStatus OT_SndDisconnect(EPInfo* ep);
OSStatus OT_SndOrderlyDisconnect(EPInfo* ep);
OSStatus OT_RcvDisconnect(EPInfo* ep);
OSStatus OT_RcvOrderlyDisconnect(EPInfo* ep);
// Flushes both queues of an open endpoint; asynchronous endpoints then get
// OT_FLUSH_COMPLETE.
OSStatus OT_KillIOEvent(EPInfo* ep);
// After kOTLookErr: takes a pending unit-data error, if that is what waits.
OSStatus OT_RcvUDErr(EPInfo* ep);
void OT_SetTimeout(EPInfo* ep, SInt32 milliseconds);
InetHost OT_GetMyIpAddress();

// Ticks since the last data stamp; an unstamped record is stamped now and
// gives 0.
SInt32 GetSpentTime(EPInfo* ep);
UInt32 MilliToTick(UInt32 milliseconds);
UInt32 TickToMilli(UInt32 ticks);

// Copies the index-th (from 1) length-prefixed string of a packed list,
// length byte included, into dest. -1 when the list ends first: at a zero
// length byte, after count strings (count -1: no limit), or at the end of
// its bytes.
short ExtractPStr(short index, std::span<const UInt8> list, short count, Str255 dest);

OSStatus UDP_Snd(UDPEPInfo* ep, UInt32 ipAddr, UInt16 port, const void* data, UInt32 len);
OSStatus UDP_Rcv(UDPEPInfo* ep, UInt32* ipAddr, UInt16* port, void* buf, UInt32* len, OTFlags* flags);
OSStatus DDP_Snd(DDPEPInfo* ep, UInt16 network, UInt8 node, UInt8 socket, UInt8 ddpType, const void* data,
                 UInt32 len);
OSStatus DDP_Rcv(DDPEPInfo* ep, DDPAddress* from, void* buf, UInt32* len, OTFlags* flags);

OSStatus TCP_Connect(TCPEPInfo* ep, UInt32 ipAddr, UInt16 port);
OSStatus TCP_RcvConnect(TCPEPInfo* ep);
OSStatus TCP_Listen(TCPEPInfo* ep, UInt32 ipAddr, UInt16 port);
OSStatus TCP_Accept(TCPEPInfo* ep);
// Bytes sent (at most 16384 per call; the caller sends the rest) or an error.
OTResult TCP_Snd(TCPEPInfo* ep, const void* data, UInt32 len, OTFlags flags);
// TCP_Snd straight from the caller's bytes, of any length, with no copy
// kept in sndBuf (bulk data); code 8, stamped.
OTResult TCP_SndInPlace(TCPEPInfo* ep, const void* data, UInt32 len, OTFlags flags);
// Bytes received through len (0 when nothing came) and as the result, or an
// error.
OTResult TCP_Rcv(TCPEPInfo* ep, void* buf, UInt32* len, OTFlags* flags);

// One JCP command exchange with one print box: the command text (and any
// payload) with up to 16384 bytes of data each way, in blocks that the box
// acknowledges one by one.
#pragma once

#include "OT/JCPExchange.h"
#include "OT/PBoxTable.h"

// The DDP type of JCP commands over AppleTalk.
enum : UInt8 { JCP_DDP_TYPE = 0xA1 };

short JCP_UDP_SetRemote(JCPEPInfo* context, UInt32 ipAddr, UInt16 port);
short JCP_DDP_SetRemote(JCPEPInfo* context, UInt16 network, UInt8 node, UInt8 socket, UInt8 ddpType);
short JCP_SetRemoteFromPBOX(JCPEPInfo* context, short protocol, const PBOXinfo* box, UInt16 port, UInt8 ddpType);

// cmd holds cmdLen bytes (the text and any payload, at most 80); data holds
// dataLen bytes (at most 16384). Longer ones are refused with -3159. Each
// try lasts the time-out at most, whatever the box sends. A synchronous
// command returns once it has ended (after the resends its notifier made);
// the reply lies in rcvLargeBuf, rcvLargeBufLen bytes, only when it ended
// well: otherwise rcvLargeBufLen is 0.
OSStatus JCP_GetCommand(JCPEPInfo* context, const void* cmd, UInt32 cmdLen, const void* data, UInt32 dataLen,
                        UInt32 timeoutMs, JCPNotifyProcPtr notify, Boolean async);
OSStatus JCP_SetCommand(JCPEPInfo* context, const void* cmd, UInt32 cmdLen, const void* data, UInt32 dataLen,
                        UInt32 timeoutMs, JCPNotifyProcPtr notify, Boolean async);
OSStatus SendCommand(JCPEPInfo* context, const void* cmd, UInt32 cmdLen, const void* data, UInt32 dataLen,
                     UInt32 timeoutMs, JCPNotifyProcPtr notify, Boolean async);
void GetLargeData(JCPEPInfo* context);
void SetLargeData(JCPEPInfo* context);
OSStatus JCP_Resending(JCPEPInfo* context);

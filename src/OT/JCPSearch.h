// The JCP search: a request context (JCPExchange.h) aimed at a list of UDP
// addresses or an AppleTalk entity probes every target and hands each
// search reply to the caller's notifier until it has been quiet for its
// time-out.
#pragma once

#include "OT/JCPExchange.h"

// The longest object, type or zone name of an AppleTalk entity.
constexpr std::size_t kJCPEntityPartMax = 32;

short JCP_UDP_SetSearch(JCPEPInfo* context, const UInt32* addrs, short count, UInt16 port);
short JCP_DDP_SetSearch(JCPEPInfo* context, const char* zone, const char* type, const char* object);
OSStatus JCP_Search(JCPEPInfo* context, short conditionNo, UInt32 timeoutMs, JCPNotifyProcPtr notify, Boolean async);
short DDPNextSearch(JCPEPInfo* context);
// The name lookup's callback: each row found is probed.
void NBPNotifyProc(NBPEPInfo* nbp, NBPAddrTable* row, void* ref, SInt16 status);

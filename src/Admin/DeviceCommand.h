// Every conversation of the program with a print box: starting a search,
// and one synchronous JCP exchange per device command.
#pragma once

#include <cstddef>

#include "OT/JCPSearch.h"
#include "OT/PBoxTable.h"

// "POLLING" is repeated at most this often while a box answers busy; a box
// still busy after that is reported as a communication error.
constexpr int kPollLimit = 60;
// The command field of a request, the text and the address payload.
constexpr std::size_t kCommandFieldSize = 80;

short InitNetwork();
void DeinitNetwork();
short SearchPBOX(JCPEPInfo* context, PBOXinfo* table, short tableSize, short protocol, UInt16 port);
short PollToPBOX(const PBOXinfo* box);
short GetPBOXInfo(const PBOXinfo* box);
short PutPBOXInfo(const PBOXinfo* box);
short GetPBOXDefault(const PBOXinfo* box);
long GetPortList(const PBOXinfo* box, void* buffer, long bufferSize);
// -1 when the port name does not fit the command field.
long GetPortStatus(const PBOXinfo* box, const char* portName, void* buffer, long bufferSize);
short SetIPAddrToPBOX(const PBOXinfo* box, UInt32 ipAddr);
OSStatus ExecCmdToPBOX(const PBOXinfo* box, const char* command);
void SearchNotifier(JCPEPInfo* context, void* reply, void* data, short status);
void CommandNotifier(JCPEPInfo* context, void* reply, void* data, short status);
// The JCP port of every command: 9 for boxes of the old version.
UInt16 Command_Port();

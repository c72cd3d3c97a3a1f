// Status polling: each watched printer is asked for its status at the
// interval its settings give and, while its detail page is shown, for its
// information; replies are collected without blocking and decoded, and a
// printer that stops answering is shown as lost until it answers again.
// All timing is TickCount compared on each pass of the event loop.
#pragma once

#include <cstddef>

#include "Monitor/MonitorTypes.h"
#include "Monitor/ReplyDecode.h"
#include "OT/JCPCommand.h"
#include "OT/PBoxTable.h"

constexpr std::size_t kStatusReplyBuffer = 1024;
constexpr std::size_t kInfoReplyBuffer = 8000;
constexpr UInt32 kRequestTimeoutMs = 1000;
constexpr UInt16 kJcpPortNew = 19541;
constexpr UInt16 kJcpPortOld = 9;
// Pages of a status window: the status page and the detail page.
enum : SInt16 { kPageStatus = 301, kPageDetail = 302 };

struct PSTATUS_WND_INFO;

// What the window around the poll does at its moments; any may be null.
struct StatusPollHooks {
  bool (*optionDialogOpen)(PSTATUS_WND_INFO* rec);  // no polling while it stands
  void (*animate)(PSTATUS_WND_INFO* rec);           // status animation and sound steps
  void (*statusView)(PSTATUS_WND_INFO* rec);        // after a complete reply
  void (*errorView)(PSTATUS_WND_INFO* rec);         // the printer does not answer
  void (*infoView)(PSTATUS_WND_INFO* rec);          // after an information reply
};

// The request and decoding state of one status window. The window's own
// record builds on it.
struct PSTATUS_WND_INFO {
  SInt16 sendStat = 0, sendInfo = 0;  // 1 while a request is outstanding
  UInt32 statUpTick = 0, infoUpTick = 0;
  JCPEPInfo* jcpStat = nullptr;  // the window's own request contexts
  JCPEPInfo* jcpInfo = nullptr;
  PBOXinfo pbox{};
  SInt16 monitorOpen = 0;  // 1 after the communication-error view
  SInt16 powerCheck = 0;   // the power state (0 before any reply)
  SInt16 sleepCheck = 0;   // the power state at the last view
  CONFIGURATION configData{};
  SInt16 activePage = kPageStatus;

  VEMOINFO info{};
  NICINFO nic{};
  StatusMemory saved{};
  int decodeResult = 0;
  NETINFO netInfo{};
  UInt8 infoFlag = 0;
  const StatusPollHooks* hooks = nullptr;
};

// One poll step; 0 while the option dialog is open, else 1.
int Update_Status_Window_Info(PSTATUS_WND_INFO* rec);
// The status and information halves of the step: 0 when the printer
// cannot be asked (no IP address over IP, or no box), else 1.
int Get_Printer_Status(PSTATUS_WND_INFO* rec);
int Get_Printer_Info(PSTATUS_WND_INFO* rec);

// The request arguments by model text.
const char* Status_Argument(const PBOXinfo* pbox);
const char* Info_Argument(const PBOXinfo* pbox);
// The JCP port of a printer's settings.
UInt16 Request_Port(const CONFIGURATION* config);

OSStatus GetStatusData(PSTATUS_WND_INFO* rec, const char* argument);
OSStatus GetInfoData(PSTATUS_WND_INFO* rec, const char* argument);
// "GET STATUS:" + argument on a context: -1 when it is missing or busy, or
// AppleTalk is asked for and not usable; else the error of setting the
// remote address; else the send's result (asynchronous: 0), or,
// synchronously, the bytes copied into buffer (at most size).
long GetPortStatus(JCPEPInfo* ctx, const PBOXinfo* pbox, short protocol, UInt16 port, const char* argument,
                   void* buffer, long size, Boolean async);
long GetPortInfo(JCPEPInfo* ctx, const PBOXinfo* pbox, short protocol, UInt16 port, const char* argument, void* buffer,
                 long size, Boolean async);
// Takes at most size received bytes and clears the receive buffer.
long GetStatusReceveData(JCPEPInfo* ctx, void* buffer, long size);
// The notifier: a time-out is resent while retryCnt is 1 or less.
void CommandNotifier(JCPEPInfo* ctx, void* data, void* extra, short status);
// Hands a complete reply of `received` bytes (in a buffer of `room`
// bytes) to the decoding, and a status reply on to the power state; 1 when
// its kind was known.
int GetStatusInfo(PSTATUS_WND_INFO* rec, UInt8* reply, std::size_t received, std::size_t room);

// The power state after a status reply, from the decoded state and the
// power state before it: on (IcRg 1, MainPower 1), asleep (IcRg 0,
// MainPower 2) or neither move it by the table; 0 is the state before any
// reply and after the communication-error view.
SInt16 Get_Power_Info(const VEMOINFO* info, SInt16 power);
// States 0, 5 and 8 count as no data: the page shows no values and
// disables what needs them.
bool Power_Shows_Data(SInt16 power);
// The one place the power state changes.
void Set_Power_State(PSTATUS_WND_INFO* rec, SInt16 to, const char* why);

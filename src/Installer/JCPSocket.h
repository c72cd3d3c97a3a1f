// The installer's own JCP client on datagram sockets and threads: a search
// for print boxes, and GET and SET command exchanges with one box. One
// request lives in one JCP_SOCKET_CONTEXT, which the caller owns; the
// client reports through the caller's notifier and the context's state.
//
// Threads: a search always receives on a worker thread, a command exchange
// on a worker when started asynchronously, else on the caller's thread. The
// worker alone owns and closes its socket; an abort only changes the state.
// The worker stays joinable: the next request on the context, and the
// context's destruction, wait for it, so a context is never freed or reused
// under a running worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "toolbox/types.h"

struct JCP_SOCKET_CONTEXT;

// Notifier statuses.
enum : int {
  kJCPFinished = 0,  // a command exchange ended in order (data, &final length)
  kJCPFound = 1,     // one search reply accepted (the reply buffer, no length)
  kJCPTimedOut = 2,  // a command exchange timed out; the state is already 3
  kJCPFailed = 3,    // a command exchange failed (socket error or overflow)
};

// Request states.
enum : int { kJCPArmed = 0, kJCPRunning = 1, kJCPDone = 2, kJCPError = 3 };
// Request modes.
enum : int { kJCPSearch = 1, kJCPGet = 2, kJCPSet = 3 };

using JCP_NOTIFIER = void (*)(JCP_SOCKET_CONTEXT* ctx, void* data, UInt32* length, int status);

constexpr int kJCPMaxTargets = 17;
constexpr UInt32 kJCPDataMax = 65536;
constexpr UInt32 kJCPReplyMax = 2048;
constexpr UInt32 kJCPPacketMax = 2050;
constexpr UInt32 kJCPProbeLength = 88;
constexpr UInt32 kJCPDataPacketLength = 510;
constexpr UInt32 kJCPSearchReplyLength = 72;  // the least a search reply must carry

struct JCP_SOCKET_CONTEXT {
  JCP_SOCKET_CONTEXT() = default;
  // Waits for a worker still running (after asking it to stop).
  ~JCP_SOCKET_CONTEXT();
  JCP_SOCKET_CONTEXT(const JCP_SOCKET_CONTEXT&) = delete;
  JCP_SOCKET_CONTEXT& operator=(const JCP_SOCKET_CONTEXT&) = delete;

  int socket = -1;
  UInt32 timerStart = 0;  // monotonic milliseconds of the last send
  bool timerStarted = false;
  UInt32 timeout = 0;  // 0: never times out
  UInt8 inlineFlag = 0;
  UInt16 localPort = 0;
  UInt8 packet[kJCPPacketMax] = {};
  UInt32 packetLength = 0;
  UInt8 reply[kJCPReplyMax] = {};
  UInt32 replyLength = 0;
  UInt16 port = 19541;
  UInt16 rule = 38150;
  UInt32 targets[kJCPMaxTargets] = {};
  SInt16 targetCount = 0;
  UInt32 remoteAddress = 0;
  char command[80] = {};
  UInt8 sendData[kJCPDataMax] = {};
  UInt32 sendLength = 0;
  UInt32 sendOffset = 0;
  UInt8 recvData[kJCPDataMax] = {};
  UInt32 recvCapacity = kJCPDataMax;
  UInt32 received = 0;
  std::atomic<int> state{kJCPArmed};
  int mode = 0;
  JCP_NOTIFIER notifier = nullptr;
  std::atomic<SInt16> foundCount{0};
  std::atomic<UInt16> retryCount{0};
  void* userData = nullptr;  // the caller's, untouched by the client

  // The worker of the current request; true while it runs.
  std::thread worker;
  std::atomic<bool> workerRunning{false};
};

// Setters; a null context does nothing. At most 17 targets are kept.
void JCP_Set_Broadcast(JCP_SOCKET_CONTEXT* ctx, const UInt32* addrs, int count);
void JCP_Set_PortNumber(JCP_SOCKET_CONTEXT* ctx, UInt16 port);
void JCP_Set_RuleNumber(JCP_SOCKET_CONTEXT* ctx, UInt16 rule);

// Starts a search: probes to every target (or one to 255.255.255.255 with
// none), replies handed to the notifier with status 1 on the worker. async
// 1: returns 0 once started; otherwise when it has ended. -1 for a missing
// context or notifier or a worker that cannot start, else a negative errno.
int JCP_Search(JCP_SOCKET_CONTEXT* ctx, UInt32 timeoutMs, int async, JCP_NOTIFIER notifier);
// True for a null context, or when the request is no longer running and its
// worker has ended (the context may then be reused or freed).
bool JCP_IsTerminated(JCP_SOCKET_CONTEXT* ctx);
// Asks a running request to stop (state 2); the worker closes its socket.
void JCP_Abort_Search(JCP_SOCKET_CONTEXT* ctx);
// Waits until the context's worker has ended.
void JCP_Join(JCP_SOCKET_CONTEXT* ctx);

// A GET exchange. outLength holds the out buffer's capacity on entry and the
// bytes copied on return; without it nothing is copied. Returns -1 for a
// missing context, notifier or command, else JCP_Command_Process's result.
int JCP_Get_Command(JCP_SOCKET_CONTEXT* ctx, UInt32 remote, const char* cmd, int cmdLength, const void* sendData,
                    UInt32 sendLength, void* out, UInt32* outLength, UInt32 timeoutMs, int async,
                    JCP_NOTIFIER notifier);
// A SET exchange: a negative result of JCP_Command_Process, else the state.
int JCP_Set_Command(JCP_SOCKET_CONTEXT* ctx, UInt32 remote, const char* cmd, int cmdLength, const void* sendData,
                    UInt32 sendLength, UInt32 timeoutMs, int async, JCP_NOTIFIER notifier);
void JCP_Init_Command(JCP_SOCKET_CONTEXT* ctx, UInt32 remote, const char* cmd, int cmdLength, const void* sendData,
                      UInt32 sendLength, UInt32 timeoutMs, int async, JCP_NOTIFIER notifier);
// Runs a prepared exchange: -1 or a negative errno on failure; else the
// receive capacity field (the final length after an inline GET).
int JCP_Command_Process(JCP_SOCKET_CONTEXT* ctx);
// From a notifier's status-2 call: send the last packet again.
void JCP_Retry_Command(JCP_SOCKET_CONTEXT* ctx);

// Internal steps, public for the tests.
void JCP_Create_Command(JCP_SOCKET_CONTEXT* ctx, int opcode);

// Datagram layer.
int UDP_Open(JCP_SOCKET_CONTEXT* ctx, int broadcast);
int UDP_Send(JCP_SOCKET_CONTEXT* ctx, UInt32 addr, UInt16 port, const void* data, UInt32 length);
int UDP_Recv(JCP_SOCKET_CONTEXT* ctx, UInt32* from, UInt16* fromPort, void* buf, UInt32* length);
int UDP_Close(JCP_SOCKET_CONTEXT* ctx);
void iptoaddr(UInt32 addr, char* text, std::size_t size);
void iptoa_with_port(UInt32 addr, UInt16 port, char* text, std::size_t size);
UInt32 NET_GetMyIpAddressFor(UInt32 addr);

// Milliseconds of the monotonic clock (or of the test clock).
UInt32 current_timer();

namespace jcpsock {
// Tests replace the clock (milliseconds); nullptr restores the monotonic one.
void SetClockForTest(UInt32 (*clock)());
}  // namespace jcpsock

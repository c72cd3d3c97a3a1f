// The installer's JCP client on datagram sockets (see JCPSocket.h).
#include "Installer/JCPSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "toolbox/netconfig.h"
#include "toolbox/trace.h"

namespace {

constexpr UInt16 kProbeCond = 4;
constexpr UInt16 kReplyChk = 2;
constexpr UInt16 kEndChk = 3;
constexpr UInt32 kGetBlock = 512;
constexpr UInt32 kSetBlock = 422;
constexpr UInt32 kHead = 88;      // where a request's send data (jcpc_data) begins
constexpr UInt32 kReplyHead = 8;  // where a reply's data (jcps_data) begins
constexpr char kSetIpAddr[] = "SET IP_ADDR:";
constexpr std::size_t kSetIpAddrLen = 12;

std::atomic<UInt32 (*)()> gClock{nullptr};

UInt32 monotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return UInt32(UInt64(ts.tv_sec) * 1000u + UInt64(ts.tv_nsec) / 1000000u);
}

UInt16 get16(const UInt8* p) { return UInt16((p[0] << 8) | p[1]); }
void put16(UInt8* p, UInt32 v) {
  p[0] = UInt8(v >> 8);
  p[1] = UInt8(v);
}

int negErrno() { return errno > 0 ? -errno : -1; }

const char* stateName(int s) {
  switch (s) {
    case kJCPArmed: return "armed";
    case kJCPRunning: return "running";
    case kJCPDone: return "finished";
    case kJCPError: return "failed";
  }
  return "?";
}

// Every change of a request's state goes through here (the trace shows it).
void setState(JCP_SOCKET_CONTEXT* ctx, int to, const char* why) {
  int from = ctx->state.exchange(to);
  if (from != to) tb::TraceState("jcp", "sockjcp", ctx, stateName(from), stateName(to), why);
}

// Changes the state only from `from`; false when it held something else.
bool moveState(JCP_SOCKET_CONTEXT* ctx, int from, int to, const char* why) {
  int expected = from;
  if (!ctx->state.compare_exchange_strong(expected, to)) return false;
  tb::TraceState("jcp", "sockjcp", ctx, stateName(from), stateName(to), why);
  return true;
}

void idleSleep() {
  timespec ts{0, 100 * 1000};
  nanosleep(&ts, nullptr);
}

void start_timer(JCP_SOCKET_CONTEXT* ctx, UInt32 at) {
  ctx->timerStart = at;
  ctx->timerStarted = true;
}
void reset_timer(JCP_SOCKET_CONTEXT* ctx) {
  ctx->timerStart = 0;
  ctx->timerStarted = false;
}
bool check_timeout(JCP_SOCKET_CONTEXT* ctx) {
  return ctx->timerStarted && ctx->timeout != 0 && UInt32(current_timer() - ctx->timerStart) > ctx->timeout;
}

// 1 when readable within 50 ms, 0 when nothing came, a negative errno.
int socket_select(JCP_SOCKET_CONTEXT* ctx) {
  if (ctx->socket < 0 || ctx->socket >= FD_SETSIZE) return -1;
  fd_set set;
  FD_ZERO(&set);
  FD_SET(ctx->socket, &set);
  timeval tv{0, 50000};
  int r = select(ctx->socket + 1, &set, nullptr, nullptr, &tv);
  if (r < 0) return errno == EINTR ? 0 : negErrno();
  return r > 0 ? 1 : 0;
}

// 1 when the socket can take a datagram within 50 ms, 0 when not yet, a
// negative errno. Kept for a developer's use; the exchanges never wait to send.
[[maybe_unused]] int socket_send_select(JCP_SOCKET_CONTEXT* ctx) {
  if (ctx->socket < 0 || ctx->socket >= FD_SETSIZE) return -1;
  fd_set set;
  FD_ZERO(&set);
  FD_SET(ctx->socket, &set);
  timeval tv{0, 50000};
  int r = select(ctx->socket + 1, nullptr, &set, nullptr, &tv);
  if (r < 0) return errno == EINTR ? 0 : negErrno();
  return r > 0 ? 1 : 0;
}

// Every broadcast address, limited or directed, has its lowest bit set; so
// do some hosts, which only costs them the broadcast permission.
bool mayBroadcast(UInt32 addr) { return (addr & 1u) != 0; }
// Replies to a broadcast come from anyone; those to one box only from it.
bool isBroadcast(UInt32 addr) { return (addr & 0xFFu) == 0xFFu; }

void joinWorker(JCP_SOCKET_CONTEXT* ctx) {
  if (ctx->worker.joinable() && ctx->worker.get_id() != std::this_thread::get_id()) ctx->worker.join();
}

// ---- search ----

void JCP_Search_Thread(JCP_SOCKET_CONTEXT* ctx) {
  for (;;) {
    int s = ctx->state.load();
    if (s == kJCPDone || s == kJCPError) break;
    if (s == kJCPArmed) {
      idleSleep();
      continue;
    }
    if (check_timeout(ctx)) {
      moveState(ctx, kJCPRunning, kJCPDone, "time-out");
      break;
    }
    ctx->replyLength = kJCPReplyMax;
    UInt32 from = 0;
    UInt16 fromPort = 0;
    int n = UDP_Recv(ctx, &from, &fromPort, ctx->reply, &ctx->replyLength);
    if (n == 0) {
      idleSleep();
      continue;
    }
    if (n < 0) {
      moveState(ctx, kJCPRunning, kJCPError, "receive failed");
      break;
    }
    if (UInt32(n) < 4 || get16(ctx->reply) != kReplyChk || get16(ctx->reply + 2) != ctx->rule) continue;
    if (UInt32(n) < kJCPSearchReplyLength) {
      tb::TraceRefusal("jcp", "search reply of %d bytes (fewer than %u)", n, kJCPSearchReplyLength);
      continue;
    }
    if (ctx->state.load() == kJCPRunning) ctx->notifier(ctx, ctx->reply, nullptr, kJCPFound);
  }
  UDP_Close(ctx);
  ctx->workerRunning.store(false);
}

// ---- commands ----

int JCP_Command_Send(JCP_SOCKET_CONTEXT* ctx, int opcode) {
  JCP_Create_Command(ctx, opcode);
  int r = UDP_Send(ctx, ctx->remoteAddress, ctx->port, ctx->packet, ctx->packetLength);
  if (r <= 0) {
    setState(ctx, kJCPError, "send failed");
    return r < 0 ? r : -1;
  }
  return r;
}

// A reply of the exchange: 0 nothing came, negative failure, else the byte
// count with the next opcode chosen (0 when the exchange has ended).
int JCP_Command_Recv(JCP_SOCKET_CONTEXT* ctx, int* next) {
  *next = 0;
  ctx->replyLength = kJCPReplyMax;
  UInt32 from = 0;
  UInt16 fromPort = 0;
  int n = UDP_Recv(ctx, &from, &fromPort, ctx->reply, &ctx->replyLength);
  if (n <= 0) {
    if (n < 0) setState(ctx, kJCPError, "receive failed");
    return n;
  }
  if (!isBroadcast(ctx->remoteAddress) && (from != ctx->remoteAddress || fromPort != tb::MapPort(ctx->port))) {
    tb::TraceRefusal("jcp", "reply from %u.%u.%u.%u:%u, not the box", from >> 24, (from >> 16) & 255, (from >> 8) & 255,
                     from & 255, fromPort);
    return 0;
  }
  if (UInt32(n) < kReplyHead) {
    tb::TraceRefusal("jcp", "command reply of %d bytes", n);
    return 0;
  }
  const UInt8* r = ctx->reply;
  if (get16(r) == kEndChk) {
    moveState(ctx, kJCPRunning, kJCPDone, "end reply");
    if (ctx->mode == kJCPGet && ctx->recvCapacity == kJCPDataMax && ctx->received)
      ctx->recvCapacity = ctx->received;  // ended without a last-block mark: what came
    return n;
  }
  if (std::strncmp(ctx->command, kSetIpAddr, kSetIpAddrLen) == 0 && UInt32(n) >= kReplyHead + kSetIpAddrLen &&
      std::memcmp(r + kReplyHead, kSetIpAddr, kSetIpAddrLen) == 0) {
    moveState(ctx, kJCPRunning, kJCPDone, "address echoed");
    return n;
  }
  int result = n;
  UInt32 size = std::min<UInt32>(get16(r + 6), UInt32(n) - kReplyHead);
  if (size > 0) {
    UInt32 room = ctx->recvCapacity > ctx->received ? ctx->recvCapacity - ctx->received : 0;
    UInt32 take = std::min(size, room);
    if (take < size) {
      tb::TraceRefusal("jcp", "%u bytes past the receive capacity", size - take);
      result = -1;
    }
    std::memcpy(ctx->recvData + ctx->received, r + kReplyHead, take);
    ctx->received += take;
    *next = 2;
    if (ctx->mode == kJCPGet && get16(r + 2) == 0) {
      ctx->recvCapacity = ctx->received;
      ctx->received = 0;
      *next = 3;
    }
  } else {
    *next = 3;
  }
  if (ctx->mode == kJCPSet) {
    ctx->sendOffset = std::min<UInt32>(get16(r + 4), ctx->sendLength);
    *next = ctx->sendOffset < ctx->sendLength ? 2 : 3;
  }
  if (result < 0) setState(ctx, kJCPError, "receive overflow");
  return result;
}

// The resend's result when the notifier asked for one, else 0: the time-out
// has been reported and the exchange ends.
int JCP_Timeout_Process(JCP_SOCKET_CONTEXT* ctx) {
  setState(ctx, kJCPError, "time-out");
  ctx->notifier(ctx, ctx->recvData, &ctx->recvCapacity, kJCPTimedOut);
  if (ctx->state.load() != kJCPRunning) return 0;
  int r = UDP_Send(ctx, ctx->remoteAddress, ctx->port, ctx->packet, ctx->packetLength);
  if (r <= 0) setState(ctx, kJCPError, "resend failed");
  return r;
}

void commandLoop(JCP_SOCKET_CONTEXT* ctx) {
  int last = 0;
  bool timedOut = false;
  bool failed = false;
  for (;;) {
    int s = ctx->state.load();
    if (s == kJCPDone) break;
    if (s == kJCPError) {
      failed = true;
      break;
    }
    if (s == kJCPArmed) {
      if (!ctx->inlineFlag) idleSleep();
      continue;
    }
    if (check_timeout(ctx)) {
      last = JCP_Timeout_Process(ctx);
      if (last <= 0) {
        setState(ctx, kJCPError, "time-out");
        timedOut = true;
        break;
      }
      continue;
    }
    int next = 0;
    last = JCP_Command_Recv(ctx, &next);
    if (last == 0) {
      if (!ctx->inlineFlag) idleSleep();
      continue;
    }
    if (last < 0) {
      failed = true;
      break;
    }
    if (ctx->state.load() != kJCPRunning) break;
    if (JCP_Command_Send(ctx, next) <= 0) {
      failed = true;
      break;
    }
  }
  UDP_Close(ctx);
  if (!timedOut) ctx->notifier(ctx, ctx->recvData, &ctx->recvCapacity, failed || last < 0 ? kJCPFailed : kJCPFinished);
}

void JCP_Command_Thread(JCP_SOCKET_CONTEXT* ctx) {
  commandLoop(ctx);
  ctx->workerRunning.store(false);
}

bool startWorker(JCP_SOCKET_CONTEXT* ctx, void (*body)(JCP_SOCKET_CONTEXT*)) {
  ctx->workerRunning.store(true);
  try {
    ctx->worker = std::thread(body, ctx);
  } catch (...) {
    ctx->workerRunning.store(false);
    return false;
  }
  return true;
}

}  // namespace

JCP_SOCKET_CONTEXT::~JCP_SOCKET_CONTEXT() {
  int s = state.load();
  if (s == kJCPRunning || s == kJCPArmed) setState(this, kJCPDone, "context freed");
  joinWorker(this);
  if (socket >= 0) ::close(socket);
}

void jcpsock::SetClockForTest(UInt32 (*clock)()) { gClock.store(clock); }

UInt32 current_timer() {
  auto c = gClock.load();
  return c ? c() : monotonicMs();
}

void JCP_Set_Broadcast(JCP_SOCKET_CONTEXT* ctx, const UInt32* addrs, int count) {
  if (!ctx) return;
  int n = std::clamp(count, 0, kJCPMaxTargets);
  if (addrs) std::copy_n(addrs, n, ctx->targets);
  ctx->targetCount = SInt16(addrs ? n : 0);
}
void JCP_Set_PortNumber(JCP_SOCKET_CONTEXT* ctx, UInt16 port) {
  if (ctx) ctx->port = port;
}
void JCP_Set_RuleNumber(JCP_SOCKET_CONTEXT* ctx, UInt16 rule) {
  if (ctx) ctx->rule = rule;
}

void JCP_Join(JCP_SOCKET_CONTEXT* ctx) {
  if (ctx) joinWorker(ctx);
}

bool JCP_IsTerminated(JCP_SOCKET_CONTEXT* ctx) {
  return !ctx || (ctx->state.load() != kJCPRunning && !ctx->workerRunning.load());
}

void JCP_Abort_Search(JCP_SOCKET_CONTEXT* ctx) {
  if (ctx) moveState(ctx, kJCPRunning, kJCPDone, "abort");
}

int JCP_Search(JCP_SOCKET_CONTEXT* ctx, UInt32 timeoutMs, int async, JCP_NOTIFIER notifier) {
  if (!ctx || !notifier) return -1;
  JCP_Abort_Search(ctx);
  joinWorker(ctx);
  ctx->notifier = notifier;
  ctx->timeout = timeoutMs;
  setState(ctx, kJCPArmed, "search");
  ctx->mode = kJCPSearch;
  ctx->foundCount.store(0);
  reset_timer(ctx);
  if (int r = UDP_Open(ctx, 1); r < 0) return r;
  std::memset(ctx->packet, 0, sizeof ctx->packet);
  put16(ctx->packet, kProbeCond);
  put16(ctx->packet + 2, ctx->rule);
  ctx->packetLength = kJCPProbeLength;
  if (!startWorker(ctx, JCP_Search_Thread)) {
    UDP_Close(ctx);
    return -1;
  }
  int count = std::clamp<int>(ctx->targetCount, 0, kJCPMaxTargets);
  for (int i = 0; i < std::max(count, 1); ++i) {
    UInt32 to = count == 0 ? 0xFFFFFFFFu : ctx->targets[i];
    int r = UDP_Send(ctx, to, ctx->port, ctx->packet, ctx->packetLength);
    if (r < 0) {
      setState(ctx, kJCPError, "probe not sent");
      if (async != 1) joinWorker(ctx);
      return r;
    }
  }
  moveState(ctx, kJCPArmed, kJCPRunning, "probes sent");
  if (async != 1) joinWorker(ctx);
  return 0;
}

void JCP_Init_Command(JCP_SOCKET_CONTEXT* ctx, UInt32 remote, const char* cmd, int cmdLength, const void* sendData,
                      UInt32 sendLength, UInt32 timeoutMs, int async, JCP_NOTIFIER notifier) {
  if (!ctx || !cmd) return;
  if (ctx->state.load() == kJCPRunning) setState(ctx, kJCPDone, "replaced");
  joinWorker(ctx);
  if (ctx->socket >= 0) UDP_Close(ctx);
  ctx->notifier = notifier;
  ctx->remoteAddress = remote == 0 ? 0xFFFFFFFFu : remote;
  setState(ctx, kJCPArmed, "command");
  ctx->retryCount.store(0);
  ctx->timeout = timeoutMs;
  reset_timer(ctx);
  ctx->sendOffset = 0;
  ctx->received = 0;
  std::memset(ctx->command, 0, sizeof ctx->command);
  std::memcpy(ctx->command, cmd, std::clamp<std::size_t>(cmdLength < 0 ? 0 : cmdLength, 0, sizeof ctx->command));
  std::memset(ctx->sendData, 0, sizeof ctx->sendData);
  ctx->sendLength = sendData ? std::min(sendLength, kJCPDataMax) : 0;
  if (ctx->sendLength) std::memcpy(ctx->sendData, sendData, ctx->sendLength);
  std::memset(ctx->recvData, 0, sizeof ctx->recvData);
  ctx->recvCapacity = kJCPDataMax;
  ctx->inlineFlag = async == 0 ? 1 : 0;
}

int JCP_Command_Process(JCP_SOCKET_CONTEXT* ctx) {
  if (!ctx || !ctx->notifier) return -1;
  // Read before the worker starts: from then on the worker owns the receive
  // fields, and an early answer may already be changing them.
  const UInt32 capacity = ctx->recvCapacity;
  if (int r = UDP_Open(ctx, mayBroadcast(ctx->remoteAddress) ? 1 : 0); r < 0) return r;
  if (!ctx->inlineFlag && !startWorker(ctx, JCP_Command_Thread)) {
    UDP_Close(ctx);
    return -1;
  }
  if (int r = JCP_Command_Send(ctx, 1); r <= 0) {
    // The worker sees the failed state, closes the socket and reports it.
    if (ctx->inlineFlag) UDP_Close(ctx);
    return r < 0 ? r : -1;
  }
  moveState(ctx, kJCPArmed, kJCPRunning, "first packet sent");
  if (!ctx->inlineFlag) return int(capacity);
  commandLoop(ctx);
  return ctx->state.load() == kJCPError ? -1 : int(ctx->recvCapacity);
}

int JCP_Get_Command(JCP_SOCKET_CONTEXT* ctx, UInt32 remote, const char* cmd, int cmdLength, const void* sendData,
                    UInt32 sendLength, void* out, UInt32* outLength, UInt32 timeoutMs, int async,
                    JCP_NOTIFIER notifier) {
  if (!ctx || !notifier || !cmd) return -1;
  JCP_Init_Command(ctx, remote, cmd, cmdLength, sendData, sendLength, timeoutMs, async, notifier);
  ctx->mode = kJCPGet;
  int r = JCP_Command_Process(ctx);
  if (outLength) {
    UInt32 copied = 0;
    // Only an ended exchange's data are the caller's to read.
    if (r >= 1 && out && JCP_IsTerminated(ctx)) {
      copied = std::min(*outLength, ctx->recvCapacity);
      std::memcpy(out, ctx->recvData, copied);
    }
    *outLength = copied;
  }
  return r;
}

int JCP_Set_Command(JCP_SOCKET_CONTEXT* ctx, UInt32 remote, const char* cmd, int cmdLength, const void* sendData,
                    UInt32 sendLength, UInt32 timeoutMs, int async, JCP_NOTIFIER notifier) {
  if (!ctx || !notifier || !cmd) return -1;
  JCP_Init_Command(ctx, remote, cmd, cmdLength, sendData, sendLength, timeoutMs, async, notifier);
  ctx->mode = kJCPSet;
  int r = JCP_Command_Process(ctx);
  return r < 0 ? r : ctx->state.load();
}

void JCP_Retry_Command(JCP_SOCKET_CONTEXT* ctx) {
  if (ctx) moveState(ctx, kJCPError, kJCPRunning, "retry");
}

void JCP_Create_Command(JCP_SOCKET_CONTEXT* ctx, int opcode) {
  std::memset(ctx->packet, 0, kJCPDataPacketLength);
  put16(ctx->packet, UInt16(opcode));
  put16(ctx->packet + 2, 1);
  std::memcpy(ctx->packet + 4, ctx->command, sizeof ctx->command);
  UInt32 offset = 0, size = 0;
  bool withData = false;
  if (ctx->mode == kJCPSet) {
    if (opcode == 1 || opcode == 2) {
      offset = opcode == 1 ? 0 : ctx->sendOffset;
      size = std::min(ctx->sendLength - std::min(offset, ctx->sendLength), kSetBlock);
      withData = ctx->sendOffset != ctx->sendLength;
    }
  } else if (opcode == 1) {
    size = kGetBlock;
  } else if (opcode == 2) {
    offset = ctx->received & 0xFFFF;
    size = std::min(kJCPDataMax - offset, kGetBlock);
  }
  put16(ctx->packet + 84, offset);
  put16(ctx->packet + 86, size);
  ctx->packetLength = kHead;
  if (withData) {
    std::memcpy(ctx->packet + kHead, ctx->sendData + offset, size);
    ctx->packetLength = kJCPDataPacketLength;
  }
}

// ---- datagram layer ----

int UDP_Open(JCP_SOCKET_CONTEXT* ctx, int broadcast) {
  if (!ctx || ctx->socket >= 0) return -1;
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return negErrno();
  int on = 1;
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  // Confined to loopback, the socket stays there too.
  sin.sin_addr.s_addr = htonl(tb::NetLoopbackOnly() ? INADDR_LOOPBACK : INADDR_ANY);
  sin.sin_port = htons(ctx->localPort);
  if ((broadcast && setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) < 0) ||
      bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) < 0) {
    int e = negErrno();
    ::close(fd);
    return e;
  }
  ctx->socket = fd;
  return 0;
}

int UDP_Send(JCP_SOCKET_CONTEXT* ctx, UInt32 addr, UInt16 port, const void* data, UInt32 length) {
  if (!ctx || ctx->socket < 0 || !data) return -1;
  UInt32 to = addr;
  if (!tb::ConfineDestination(to)) {
    tb::TraceRefusal("jcp", "destination outside loopback while confined");
    return -EHOSTUNREACH;
  }
  char text[16];
  iptoaddr(to, text, sizeof text);
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = inet_addr(text);
  sin.sin_port = htons(tb::MapPort(port));
  // The wait is timed from before the send: once the datagram is out, the
  // answer (or the clock) may move before this thread runs again.
  const UInt32 sentAt = current_timer();
  ssize_t n;
  do {
    n = sendto(ctx->socket, data, length, 0, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return negErrno();
  start_timer(ctx, sentAt);
  return int(n);
}

int UDP_Recv(JCP_SOCKET_CONTEXT* ctx, UInt32* from, UInt16* fromPort, void* buf, UInt32* length) {
  if (!ctx || ctx->socket < 0 || !buf || !length) return -1;
  int r = socket_select(ctx);
  if (r <= 0) return r;
  sockaddr_in sin{};
  socklen_t len = sizeof sin;
  ssize_t n = recvfrom(ctx->socket, buf, *length, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sin), &len);
  if (n < 0) return errno == EAGAIN || errno == EINTR ? 0 : negErrno();
  if (n == 0) return 0;
  *length = UInt32(n);
  if (from) *from = ntohl(sin.sin_addr.s_addr);
  if (fromPort) *fromPort = ntohs(sin.sin_port);
  return int(n);
}

int UDP_Close(JCP_SOCKET_CONTEXT* ctx) {
  if (!ctx || ctx->socket < 0) return -1;
  int r = ::close(ctx->socket);
  ctx->socket = -1;
  return r < 0 ? negErrno() : r;
}

void iptoaddr(UInt32 addr, char* text, std::size_t size) {
  std::snprintf(text, size, "%u.%u.%u.%u", addr >> 24, (addr >> 16) & 255, (addr >> 8) & 255, addr & 255);
}

void iptoa_with_port(UInt32 addr, UInt16 port, char* text, std::size_t size) {
  std::snprintf(text, size, "%u,%u,%u,%u,%u,%u", addr >> 24, (addr >> 16) & 255, (addr >> 8) & 255, addr & 255,
                port >> 8, port & 255);
}

UInt32 NET_GetMyIpAddressFor(UInt32 addr) {
  UInt32 to = addr;
  if (!tb::ConfineDestination(to)) return 0;
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = htonl(to);
  sin.sin_port = htons(19540);
  UInt32 mine = 0;
  socklen_t len = sizeof sin;
  if (connect(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len) == 0)
    mine = ntohl(sin.sin_addr.s_addr);
  ::close(fd);
  return mine;
}

// Open Transport over non-blocking sockets: the endpoint record and its
// state, the UDP and TCP configurations and the datagram families that
// plug in, socket events turned into notifier calls run from the pump, and
// the calls programs make on an endpoint.
#include "toolbox/opentransport.h"

#include <arpa/inet.h>
#include <errno.h>
#include <ifaddrs.h>
#include <linux/errqueue.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>

#include "opentransport_family.h"
#include "toolbox/iobuf.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"
#include "toolbox/trace.h"

struct OTConfiguration {
  std::string name;
};

SInt32 OTProvider::Ioctl(UInt32, void*) { return kEINVALErr; }

// ---------------------------------------------------------------------------
// Open providers and notifier delivery.
namespace {

std::unordered_map<const OTProvider*, UInt64>& openProviders() {
  // Never destroyed: endpoints may still close at exit.
  static auto& m = *new std::unordered_map<const OTProvider*, UInt64>;
  return m;
}
UInt64 gNextSerial = 1;
OTByteCount gSendCap = 0;

std::map<std::string, tb::ot::DatagramFamilyFactory>& datagramConfigs() {
  static std::map<std::string, tb::ot::DatagramFamilyFactory> m;
  return m;
}

}  // namespace

void tb::ot::RegisterProvider(OTProvider* p) {
  p->serial = gNextSerial++;
  openProviders()[p] = p->serial;
}

bool tb::ot::IsOpen(const OTProvider* p) { return p && openProviders().count(p) != 0; }

bool tb::ot::IsOpen(const OTProvider* p, UInt64 serial) {
  auto it = openProviders().find(p);
  return it != openProviders().end() && it->second == serial;
}

void tb::ot::Notify(OTProvider* p, OTEventCode code, OTResult result, void* cookie) {
  if (p->notifier) p->notifier(p->context, code, result, cookie);
}

void tb::ot::NotifyLater(OTProvider* p, OTEventCode code, OTResult result, void* cookie,
                         std::function<bool()> gate) {
  UInt64 serial = p->serial;
  tb::Defer([p, serial, code, result, cookie, gate = std::move(gate)] {
    if (!IsOpen(p, serial)) return;
    if (gate && !gate()) return;
    // The gate may have closed the provider through nothing but its own
    // bookkeeping; check again before calling out.
    if (!IsOpen(p, serial)) return;
    Notify(p, code, result, cookie);
  });
}

OTResult tb::ot::ErrnoToOT(int err) {
  switch (err) {
    case 0: return kOTNoError;
    case EACCES:
    case EPERM: return kOTAccessErr;
    case EADDRINUSE: return kOTAddressBusyErr;
    case EADDRNOTAVAIL: return kOTBadAddressErr;
    case ENOMEM: return kENOMEMErr;
    case EINVAL: return kEINVALErr;
    case EPIPE: return kEPIPEErr;
    case EMSGSIZE: return kEMSGSIZEErr;
    case ENETDOWN: return kENETDOWNErr;
    case ENETUNREACH: return kENETUNREACHErr;
    case ECONNABORTED: return kECONNABORTEDErr;
    case ECONNRESET: return kECONNRESETErr;
    case ENOBUFS: return kENOBUFSErr;
    case ENOTCONN: return kENOTCONNErr;
    case ETIMEDOUT: return kETIMEDOUTErr;
    case ECONNREFUSED: return kECONNREFUSEDErr;
    case EHOSTDOWN: return kEHOSTDOWNErr;
    case EHOSTUNREACH: return kEHOSTUNREACHErr;
    default: return kOTSysErrorErr;
  }
}

void tb::ot::RegisterDatagramConfiguration(const char* name, DatagramFamilyFactory factory) {
  if (name && factory) datagramConfigs()[name] = factory;
}

bool tb::ot::ReadInetAddress(const TNetbuf& nb, InetAddress& out) {
  // Type, port and host are what an Internet address needs; the padding is
  // optional.
  constexpr std::size_t kNeeded = offsetof(InetAddress, fUnused);
  if (!nb.buf || nb.len < kNeeded) return false;
  out = InetAddress{};
  std::memcpy(&out, nb.buf, std::min<std::size_t>(nb.len, sizeof out));
  return out.fAddressType == kOTInetAddressType;
}

void tb::ot::WriteInetAddress(TNetbuf* nb, InetHost host, InetPort port) {
  if (!nb) return;
  if (!nb->buf || nb->maxlen < sizeof(InetAddress)) {
    nb->len = 0;
    return;
  }
  InetAddress a{};
  OTInitInetAddress(&a, port, host);
  std::memcpy(nb->buf, &a, sizeof a);
  nb->len = sizeof a;
}

// ---------------------------------------------------------------------------
// Internet datagrams ("udp").
namespace {

using tb::ot::DatagramFamily;
using tb::ot::ErrnoToOT;
using tb::ot::NotifyLater;

sockaddr_in hostAddr(InetHost host, UInt16 realPort) {
  sockaddr_in s{};
  s.sin_family = AF_INET;
  s.sin_port = htons(realPort);
  s.sin_addr.s_addr = htonl(host);
  return s;
}
InetHost hostOf(const sockaddr_in& s) { return ntohl(s.sin_addr.s_addr); }
UInt16 portOf(const sockaddr_in& s) { return ntohs(s.sin_port); }

// The local address for a bind request of an Internet endpoint. Confined
// to loopback, every endpoint, datagram or connection, is reachable only
// from this machine: "any" becomes 127.0.0.1 and another local address is
// refused. (A datagram endpoint bound so still takes what boxes on loopback
// send it; only broadcasts to 127.255.255.255 pass it by, and the programs
// send those, they never wait for one.)
OTResult inetBindAddress(const TNetbuf* req, sockaddr_in& out) {
  out = hostAddr(kOTAnyInetAddress, 0);
  if (req && req->len != 0) {
    InetAddress a;
    if (!tb::ot::ReadInetAddress(*req, a)) return kOTBadAddressErr;
    out = hostAddr(a.fHost, a.fPort ? tb::MapPort(a.fPort) : 0);
  }
  if (!tb::NetLoopbackOnly()) return kOTNoError;
  const InetHost host = hostOf(out);
  if (host == kOTAnyInetAddress) {
    out.sin_addr.s_addr = htonl(0x7F000001);
    return kOTNoError;
  }
  return (host >> 24) == 127 ? kOTNoError : kOTBadAddressErr;
}

void inetReport(const sockaddr_in& s, TNetbuf* out) {
  tb::ot::WriteInetAddress(out, hostOf(s), tb::UnmapPort(portOf(s)));
}

// A destination the programs name, checked against the confinement and
// moved onto its real port.
OTResult inetDestination(const TNetbuf& addr, sockaddr_in& out) {
  InetAddress a;
  if (!tb::ot::ReadInetAddress(addr, a)) return kOTBadAddressErr;
  InetHost host = a.fHost;
  if (host == 0 || a.fPort == 0) return kOTBadAddressErr;
  if (!tb::ConfineDestination(host)) return kOTBadAddressErr;
  out = hostAddr(host, tb::MapPort(a.fPort));
  return kOTNoError;
}

class InetDatagrams final : public DatagramFamily {
 public:
  std::size_t MaxDatagram() const override { return 65507; }
  OTResult BindAddress(const TNetbuf* req, sockaddr_in& out) override { return inetBindAddress(req, out); }
  void ReportAddress(const sockaddr_in& host, TNetbuf* out) override { inetReport(host, out); }
  OTResult Destinations(const TNetbuf& addr, const sockaddr_in&, std::vector<sockaddr_in>& dests,
                        std::vector<UInt8>&) override {
    sockaddr_in d;
    OTResult r = inetDestination(addr, d);
    if (r == kOTNoError) dests.push_back(d);
    return r;
  }
  bool Received(std::span<const UInt8>, const sockaddr_in& from, TNetbuf* addr, std::size_t& dataOffset) override {
    inetReport(from, addr);
    dataOffset = 0;
    return true;
  }
  void Describe(TEndpointInfo& info) const override {
    info = TEndpointInfo{sizeof(InetAddress), 0, 65507, -2, -2, -2, T_CLTS, 0};
  }
};

// ---------------------------------------------------------------------------
// Endpoints.

enum class Kind { Datagram, Stream };

struct Endpoint final : OTProvider {
  Kind kind = Kind::Datagram;
  std::unique_ptr<DatagramFamily> family;  // datagram endpoints

  int fd = -1;  // the datagram socket, the listening socket or the connection
  int watch = 0;
  OTResult state = T_UNBND;
  OTByteCount qlen = 0;  // > 0: a listener
  sockaddr_in local{};
  sockaddr_in peer{};

  // Asynchronous completions not yet delivered; socket events wait for
  // them so a notifier never hears of data before its bind or accept.
  int held = 0;
  // T_DATA is told once per readable edge; a read that finds nothing re-arms.
  bool dataArmed = true;
  // While T_DATA is told and not yet read out, the peer's end or reset is
  // told as T_DATA once more (the reader then meets it after the data), so
  // a connection that breaks while the program is not reading is heard of.
  bool endWoken = false;
  // The event a call must take before others may go on (T_LISTEN, T_CONNECT,
  // T_DISCONNECT, T_ORDREL, T_UDERR); 0 when none.
  OTEventCode look = 0;
  bool flowBlocked = false;  // a send met kOTFlowErr: T_GODATA once writable
  bool sendPending = false;  // a send was only partly taken: wake when writable
  OTReason discReason = 0;
  bool reuseAddr = false;  // IP_REUSEADDR negotiated
  bool noDelay = false;    // TCP_NODELAY negotiated
  UInt32 sendBuffer = 0;   // XTI_SNDBUF negotiated (0: the host's own)
  UInt32 recvBuffer = 0;   // XTI_RCVBUF negotiated (0: the host's own)

  // A listener's call between OTListen and OTAccept.
  int callFd = -1;
  sockaddr_in callPeer{};
  OTSequence sequence = 0;

  // Datagrams: a unit-data error waiting for OTRcvUDErr, and a datagram
  // handed out in pieces (T_MORE).
  bool haveUDErr = false;
  sockaddr_in udErrAddr{};
  SInt32 udErrCode = 0;
  std::vector<UInt8> rx;
  std::size_t rxOff = 0;
  std::size_t rxEnd = 0;
  std::vector<UInt8> rxAddr;

  void Shutdown() override;
  SInt32 Ioctl(UInt32 cmd, void* data) override;
  void ModesChanged() override;
};

const char* stateName(OTResult s) {
  switch (s) {
    case T_UNINIT: return "uninit";
    case T_UNBND: return "unbound";
    case T_IDLE: return "idle";
    case T_OUTCON: return "outgoing-connect";
    case T_INCON: return "incoming-connect";
    case T_DATAXFER: return "data-transfer";
    case T_OUTREL: return "outgoing-release";
    case T_INREL: return "incoming-release";
    default: return "?";
  }
}

const char* eventName(OTEventCode e) {
  switch (e) {
    case 0: return "none";
    case T_LISTEN: return "T_LISTEN";
    case T_CONNECT: return "T_CONNECT";
    case T_DATA: return "T_DATA";
    case T_EXDATA: return "T_EXDATA";
    case T_DISCONNECT: return "T_DISCONNECT";
    case T_UDERR: return "T_UDERR";
    case T_ORDREL: return "T_ORDREL";
    case T_GODATA: return "T_GODATA";
    default: return "?";
  }
}

// The endpoint's state changes here and nowhere else, so the trace shows
// its whole history.
void setState(Endpoint& ep, OTResult to) {
  if (ep.state == to) return;
  tb::TraceState("ot", "endpoint", &ep, stateName(ep.state), stateName(to));
  ep.state = to;
}

// Likewise the event a call must take first.
void setLook(Endpoint& ep, OTEventCode to) {
  if (ep.look == to) return;
  tb::TraceState("ot", "endpoint-look", &ep, eventName(ep.look), eventName(to));
  ep.look = to;
}

Endpoint* endpointOf(ProviderRef ref) {
  if (!tb::ot::IsOpen(ref)) return nullptr;
  return dynamic_cast<Endpoint*>(ref);
}

bool listening(const Endpoint& ep) {
  return ep.kind == Kind::Stream && ep.qlen > 0 && (ep.state == T_IDLE || ep.state == T_INCON);
}

void onSocket(Endpoint* ep, UInt64 serial, short revents);

// Asks the pump for exactly what can produce an event now: readable for
// data, calls and releases while the notifier may hear them; writable only
// while a connect or a send is in progress.
void updateWatch(Endpoint& ep) {
  if (ep.fd < 0) {
    if (ep.watch) tb::UnwatchFD(ep.watch);
    ep.watch = 0;
    return;
  }
  if (!ep.watch) {
    Endpoint* self = &ep;
    UInt64 serial = ep.serial;
    ep.watch = tb::WatchFD(ep.fd, 0, [self, serial](int, short revents) { onSocket(self, serial, revents); });
  }
  short ev = 0;
  bool hearing = ep.notifier && ep.held == 0;
  if (ep.kind == Kind::Datagram) {
    if (hearing && ep.look == 0 && ep.dataArmed && ep.state == T_IDLE) ev |= POLLIN;
  } else if (ep.state == T_OUTCON) {
    if (ep.look == 0) ev |= POLLOUT;
  } else if (listening(ep)) {
    if (hearing && ep.look == 0 && ep.callFd < 0) ev |= POLLIN;
  } else if (ep.state == T_DATAXFER || ep.state == T_OUTREL) {
    if (hearing && ep.look == 0 && ep.dataArmed) ev |= POLLIN;
    if (hearing && ep.look == 0 && !ep.dataArmed && !ep.endWoken) ev |= POLLRDHUP;
  }
  if ((ep.flowBlocked || ep.sendPending) && ep.state != T_OUTCON) ev |= POLLOUT;
  tb::SetWatchEvents(ep.watch, ev);
}

void closeSocket(Endpoint& ep, bool abortive = false) {
  if (ep.watch) tb::UnwatchFD(ep.watch);
  ep.watch = 0;
  if (ep.fd >= 0) {
    if (abortive) {
      linger l{1, 0};
      setsockopt(ep.fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    close(ep.fd);
  }
  ep.fd = -1;
  ep.flowBlocked = false;
  ep.sendPending = false;
  ep.dataArmed = true;
  ep.endWoken = false;
}

void abortCall(Endpoint& ep) {
  if (ep.callFd < 0) return;
  linger l{1, 0};
  setsockopt(ep.callFd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  close(ep.callFd);
  ep.callFd = -1;
}

void Endpoint::Shutdown() {
  closeSocket(*this);
  abortCall(*this);
}

void Endpoint::ModesChanged() { updateWatch(*this); }

// How long a socket call waits for readiness: an endpoint in blocking mode
// waits as long as it takes, a non-blocking one not at all.
int waitMs(const Endpoint& ep) { return ep.blocking ? -1 : 0; }

// Waits (blocking mode only) until the socket is ready.
void waitFor(int fd, short events) {
  pollfd p{fd, events, 0};
  while (poll(&p, 1, -1) < 0 && errno == EINTR) {
  }
}

bool readyNow(int fd, short events) {
  pollfd p{fd, events, 0};
  return poll(&p, 1, 0) > 0 && p.revents != 0;
}

// Reports an event a call has found: it becomes the look event, and the
// notifier hears of it from the next pump unless a call has taken it first.
void raiseLater(Endpoint& ep, OTEventCode code, OTResult result = kOTNoError) {
  setLook(ep, code);
  updateWatch(ep);
  Endpoint* self = &ep;
  NotifyLater(&ep, code, result, nullptr, [self, code] { return self->look == code; });
}

// Takes one entry of the socket's error queue as the pending unit-data error.
bool takeUDErr(Endpoint& ep) {
  if (ep.fd < 0) return false;
  sockaddr_in dst{};
  alignas(cmsghdr) char control[512];
  char data[1];
  iovec iov{data, sizeof data};
  msghdr m{};
  m.msg_name = &dst;
  m.msg_namelen = sizeof dst;
  m.msg_iov = &iov;
  m.msg_iovlen = 1;
  m.msg_control = control;
  m.msg_controllen = sizeof control;
  if (recvmsg(ep.fd, &m, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return false;
  SInt32 code = kOTSysErrorErr;
  for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c)) {
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) {
      sock_extended_err ee;
      std::memcpy(&ee, CMSG_DATA(c), sizeof ee);
      code = ErrnoToOT(static_cast<int>(ee.ee_errno));
    }
  }
  ep.haveUDErr = true;
  ep.udErrAddr = dst;
  ep.udErrCode = code;
  setLook(ep, T_UDERR);
  return true;
}

void dropPartialDatagram(Endpoint& ep) {
  ep.rxOff = ep.rxEnd = 0;
  ep.rxAddr.clear();
}

enum class Peek { Nothing, Data, End, Reset };

Peek peekStream(Endpoint& ep) {
  char b;
  ssize_t n = recv(ep.fd, &b, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n > 0) return Peek::Data;
  if (n == 0) return Peek::End;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return Peek::Nothing;
  ep.discReason = ErrnoToOT(errno);
  return Peek::Reset;
}

// The result of a finished connect attempt: 0, or an error for a refused one.
// Returns false while it is still in progress.
bool connectResult(Endpoint& ep, int& err) {
  if (!readyNow(ep.fd, POLLOUT)) return false;
  socklen_t len = sizeof err;
  err = 0;
  if (getsockopt(ep.fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) err = errno;
  if (err == EINPROGRESS || err == EALREADY) return false;
  if (err == 0) {
    // Writable without an error can still be a connection that died at once.
    sockaddr_in p{};
    socklen_t pl = sizeof p;
    if (getpeername(ep.fd, reinterpret_cast<sockaddr*>(&p), &pl) < 0) err = ECONNREFUSED;
  }
  return true;
}

// Looks at the socket, so OTLook and the calls that wait on an event see
// what a notifier would hear. What it finds is still told to the notifier
// unless a call takes it first: the look has taken an error from the socket,
// which the pump can no longer see.
void refresh(Endpoint& ep) {
  if (ep.fd < 0 || ep.look != 0) return;
  if (ep.kind == Kind::Datagram) {
    if (!ep.haveUDErr) takeUDErr(ep);
    return;
  }
  if (ep.state == T_OUTCON) {
    int err;
    if (connectResult(ep, err)) {
      if (err == 0) {
        raiseLater(ep, T_CONNECT);
      } else {
        ep.discReason = ErrnoToOT(err);
        raiseLater(ep, T_DISCONNECT, ep.discReason);
      }
    }
  } else if (listening(ep)) {
    if (ep.callFd < 0 && readyNow(ep.fd, POLLIN)) raiseLater(ep, T_LISTEN);
  } else if (ep.state == T_DATAXFER || ep.state == T_OUTREL) {
    Peek p = peekStream(ep);
    if (p == Peek::End) raiseLater(ep, T_ORDREL);
    if (p == Peek::Reset) raiseLater(ep, T_DISCONNECT, ep.discReason);
  }
}

void onSocket(Endpoint* ep, UInt64 serial, short revents) {
  if (!tb::ot::IsOpen(ep, serial)) return;
  std::vector<OTEventCode> events;

  if (ep->kind == Kind::Datagram) {
    bool udErr = (revents & POLLERR) && !ep->haveUDErr && takeUDErr(*ep);
    if ((revents & POLLERR) && !udErr && !ep->haveUDErr) {
      // An error with nothing queued: take it, or the pump would wake for it
      // again and again.
      int e = 0;
      socklen_t el = sizeof e;
      getsockopt(ep->fd, SOL_SOCKET, SO_ERROR, &e, &el);
    }
    if (udErr) {
      events.push_back(T_UDERR);
    } else if ((revents & POLLIN) && ep->look == 0 && ep->dataArmed && ep->held == 0) {
      char b;
      ssize_t n = recv(ep->fd, &b, 1, MSG_PEEK | MSG_DONTWAIT);
      if (n >= 0) {
        ep->dataArmed = false;
        events.push_back(T_DATA);
      } else if (errno != EAGAIN && errno != EWOULDBLOCK && !ep->haveUDErr && takeUDErr(*ep)) {
        events.push_back(T_UDERR);
      }
    }
  } else if (ep->state == T_OUTCON) {
    int err;
    if (ep->look == 0 && connectResult(*ep, err)) {
      if (err == 0) {
        setLook(*ep, T_CONNECT);
      } else {
        ep->discReason = ErrnoToOT(err);
        setLook(*ep, T_DISCONNECT);
      }
      events.push_back(ep->look);
    }
  } else if (listening(*ep)) {
    if ((revents & POLLIN) && ep->look == 0 && ep->callFd < 0) {
      setLook(*ep, T_LISTEN);
      events.push_back(T_LISTEN);
    }
  } else if (ep->state == T_DATAXFER || ep->state == T_OUTREL) {
    if ((revents & (POLLRDHUP | POLLHUP | POLLERR)) && ep->look == 0 && !ep->dataArmed && !ep->endWoken &&
        ep->held == 0) {
      ep->endWoken = true;
      events.push_back(T_DATA);
    } else if ((revents & (POLLIN | POLLHUP | POLLERR)) && ep->look == 0 && ep->dataArmed && ep->held == 0) {
      switch (peekStream(*ep)) {
        case Peek::Data:
          ep->dataArmed = false;
          events.push_back(T_DATA);
          break;
        case Peek::End:
          setLook(*ep, T_ORDREL);
          events.push_back(T_ORDREL);
          break;
        case Peek::Reset:
          setLook(*ep, T_DISCONNECT);
          events.push_back(T_DISCONNECT);
          break;
        case Peek::Nothing:
          break;
      }
    }
  }
  if ((revents & (POLLOUT | POLLERR | POLLHUP)) && ep->state != T_OUTCON) {
    if (ep->flowBlocked) events.push_back(T_GODATA);
    ep->flowBlocked = false;
    ep->sendPending = false;
  }
  updateWatch(*ep);

  for (OTEventCode code : events) {
    if (!tb::ot::IsOpen(ep, serial)) return;
    OTResult result = code == T_DISCONNECT ? ep->discReason : kOTNoError;
    tb::ot::Notify(ep, code, result, nullptr);
  }
}

// Drains what has arrived (a read flush).
void flushRead(Endpoint& ep) {
  if (ep.kind == Kind::Datagram) {
    dropPartialDatagram(ep);
    if (ep.fd >= 0) {
      char buf[2048];
      while (recv(ep.fd, buf, sizeof buf, MSG_DONTWAIT) >= 0 || errno == EINTR) {
      }
      while (takeUDErr(ep)) {
      }
    }
    ep.haveUDErr = false;
    if (ep.look == T_UDERR) setLook(ep, 0);
    ep.dataArmed = true;
  } else if (ep.fd >= 0 && (ep.state == T_DATAXFER || ep.state == T_OUTREL)) {
    char buf[4096];
    // Stops at the end of the stream, which stays to be reported.
    while (recv(ep.fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
    }
    ep.dataArmed = true;
    ep.endWoken = false;
  }
}

SInt32 Endpoint::Ioctl(UInt32 cmd, void* data) {
  if (cmd != I_FLUSH) return kEINVALErr;
  auto what = static_cast<UInt32>(reinterpret_cast<std::uintptr_t>(data));
  if (what & ~UInt32(FLUSHRW) || what == 0) return kEINVALErr;
  if (what & FLUSHR) flushRead(*this);
  updateWatch(*this);
  if (async) NotifyLater(this, kStreamIoctlEvent | (cmd & 0xFF), kOTNoError, data);
  return kOTNoError;
}

// Marks an asynchronous completion as outstanding until its event is
// delivered (see Endpoint::held).
void completeLater(Endpoint& ep, OTEventCode code, OTResult result, void* cookie) {
  ep.held++;
  Endpoint* self = &ep;
  NotifyLater(&ep, code, result, cookie, [self] {
    self->held--;
    updateWatch(*self);
    return true;
  });
}

std::unique_ptr<Endpoint> makeEndpoint(OTConfigurationRef config, OSStatus& err) {
  err = kOTNoError;
  if (!config) {
    err = kOTBadNameErr;
    return nullptr;
  }
  std::string name = config->name;
  delete config;
  auto ep = std::make_unique<Endpoint>();
  if (name == "tcp") {
    ep->kind = Kind::Stream;
    return ep;
  }
  if (name == "udp") {
    ep->family = std::make_unique<InetDatagrams>();
    return ep;
  }
  auto it = datagramConfigs().find(name);
  if (it == datagramConfigs().end()) {
    err = kOTBadNameErr;
    return nullptr;
  }
  ep->family = it->second();
  if (!ep->family) {
    err = kENOMEMErr;
    return nullptr;
  }
  return ep;
}

void describe(const Endpoint& ep, TEndpointInfo* info) {
  if (!info) return;
  if (ep.family)
    ep.family->Describe(*info);
  else
    *info = TEndpointInfo{sizeof(InetAddress), 0, 0, -2, -2, -2, T_COTS_ORD, 0};
}

// A number from a file of /proc/sys (the field-th of its line), or fallback.
long sysValue(const char* path, int field, long fallback) {
  std::ifstream in(path);
  long v = fallback;
  for (int i = 0; i <= field && in >> v; ++i) {
  }
  return in ? v : fallback;
}

// A send buffer of at least want bytes. The host grows a stream's buffer by
// itself up to tcp_wmem's largest value, and a fixed size ends that growth:
// one is set only when the host's cap (which it doubles) gives more.
void applySendBuffer(int fd, UInt32 want) {
  if (want == 0) return;
  const long grows = sysValue("/proc/sys/net/ipv4/tcp_wmem", 2, 4 << 20);
  const long cap = sysValue("/proc/sys/net/core/wmem_max", 0, 212992);
  const long size = std::min<long>(want, cap);
  if (2 * size <= grows) return;
  const int v = int(std::min<long>(size, 0x7FFFFFFF));
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &v, sizeof v);
}

// A datagram socket's queue of want bytes, as far as the host's cap lets
// it (a burst of datagrams beyond its queue is dropped by the host before
// anyone reads it); never smaller than the host's own. The host doubles
// what it is given.
void applyReceiveBuffer(int fd, UInt32 want) {
  if (want == 0) return;
  const long cap = sysValue("/proc/sys/net/core/rmem_max", 0, 212992);
  const long deflt = sysValue("/proc/sys/net/core/rmem_default", 0, 212992);
  const long size = std::min<long>(want, cap);
  if (2 * size <= deflt) return;
  const int v = int(std::min<long>(size, 0x7FFFFFFF));
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &v, sizeof v);
}

// The endpoint's negotiated options onto its socket (a new one, or the
// bound one when they change).
void applyOptions(int fd, const Endpoint& ep) {
  const int reuse = ep.reuseAddr ? 1 : 0;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  if (ep.kind != Kind::Stream) {
    applyReceiveBuffer(fd, ep.recvBuffer);
    return;
  }
  const int noDelay = ep.noDelay ? 1 : 0;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
  applySendBuffer(fd, ep.sendBuffer);
}

int newSocket(Kind kind) {
  int fd = socket(AF_INET, (kind == Kind::Datagram ? SOCK_DGRAM : SOCK_STREAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  if (kind == Kind::Datagram) {
    // Probes go to broadcast addresses; errors for datagrams that could not
    // be delivered come back as unit-data errors.
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    setsockopt(fd, IPPROTO_IP, IP_RECVERR, &one, sizeof one);
  }
  return fd;
}

void fillCall(TCall* call, const sockaddr_in& peer, OTSequence seq) {
  if (!call) return;
  inetReport(peer, &call->addr);
  call->opt.len = 0;
  call->udata.len = 0;
  call->sequence = seq;
}

}  // namespace

// ---------------------------------------------------------------------------
// Set-up and providers.

namespace tb::ot {
void RegisterAppleTalk();  // appletalk.cpp: the "ddp" configuration
}

OSStatus InitOpenTransport() {
  tb::ot::RegisterAppleTalk();
  return kOTNoError;
}

void CloseOpenTransport() {
  std::vector<OTProvider*> all;
  for (auto& [p, serial] : openProviders()) all.push_back(const_cast<OTProvider*>(p));
  for (OTProvider* p : all) OTCloseProvider(p);
}

OSStatus InitOpenTransportInContext(UInt32, OTClientContextPtr* outClientContext) {
  if (outClientContext) *outClientContext = nullptr;
  return InitOpenTransport();
}

void CloseOpenTransportInContext(OTClientContextPtr) { CloseOpenTransport(); }

OTConfigurationRef OTCreateConfiguration(const char* path) {
  if (!path) return nullptr;
  // Only the protocol name matters ("tcp", or a path ending in it).
  std::string s(path);
  auto cut = s.find_last_of(",:");
  if (cut != std::string::npos) s = s.substr(cut + 1);
  return new OTConfiguration{s};
}

void OTDestroyConfiguration(OTConfigurationRef config) { delete config; }

EndpointRef OTOpenEndpoint(OTConfigurationRef config, OTOpenFlags, TEndpointInfo* info, OSStatus* err) {
  OSStatus e;
  auto ep = makeEndpoint(config, e);
  if (err) *err = e;
  if (!ep) return kOTInvalidEndpointRef;
  describe(*ep, info);
  Endpoint* p = ep.release();
  tb::ot::RegisterProvider(p);
  return p;
}

EndpointRef OTOpenEndpointInContext(OTConfigurationRef config, OTOpenFlags oflag, TEndpointInfo* info, OSStatus* err,
                                    OTClientContextPtr) {
  return OTOpenEndpoint(config, oflag, info, err);
}

OSStatus OTAsyncOpenEndpoint(OTConfigurationRef config, OTOpenFlags, TEndpointInfo* info, OTNotifyUPP proc,
                             void* contextPtr) {
  if (!proc) {
    delete config;
    return kEINVALErr;
  }
  OSStatus e;
  auto ep = makeEndpoint(config, e);
  if (!ep) return e;
  describe(*ep, info);
  Endpoint* p = ep.release();
  tb::ot::RegisterProvider(p);
  p->notifier = proc;
  p->context = contextPtr;
  p->async = true;
  NotifyLater(p, T_OPENCOMPLETE, kOTNoError, p);
  return kOTNoError;
}

OSStatus OTAsyncOpenEndpointInContext(OTConfigurationRef config, OTOpenFlags oflag, TEndpointInfo* info,
                                      OTNotifyUPP proc, void* contextPtr, OTClientContextPtr) {
  return OTAsyncOpenEndpoint(config, oflag, info, proc, contextPtr);
}

OSStatus OTCloseProvider(ProviderRef ref) {
  if (!tb::ot::IsOpen(ref)) return kOTBadReferenceErr;
  ref->Shutdown();
  openProviders().erase(ref);
  delete ref;
  return kOTNoError;
}

OTNotifyUPP NewOTNotifyUPP(OTNotifyProcPtr proc) { return proc; }
void DisposeOTNotifyUPP(OTNotifyUPP) {}

OSStatus OTInstallNotifier(ProviderRef ref, OTNotifyUPP proc, void* contextPtr) {
  if (!tb::ot::IsOpen(ref)) return kOTBadReferenceErr;
  ref->notifier = proc;
  ref->context = contextPtr;
  ref->ModesChanged();
  return kOTNoError;
}

void OTRemoveNotifier(ProviderRef ref) {
  if (!tb::ot::IsOpen(ref)) return;
  ref->notifier = nullptr;
  ref->context = nullptr;
  ref->ModesChanged();
}

namespace {
OSStatus setMode(ProviderRef ref, bool* field, bool value) {
  if (!tb::ot::IsOpen(ref)) return kOTBadReferenceErr;
  *field = value;
  ref->ModesChanged();
  return kOTNoError;
}
}  // namespace

OSStatus OTSetSynchronous(ProviderRef ref) { return tb::ot::IsOpen(ref) ? setMode(ref, &ref->async, false) : kOTBadReferenceErr; }
OSStatus OTSetAsynchronous(ProviderRef ref) { return tb::ot::IsOpen(ref) ? setMode(ref, &ref->async, true) : kOTBadReferenceErr; }
OSStatus OTSetBlocking(ProviderRef ref) { return tb::ot::IsOpen(ref) ? setMode(ref, &ref->blocking, true) : kOTBadReferenceErr; }
OSStatus OTSetNonBlocking(ProviderRef ref) { return tb::ot::IsOpen(ref) ? setMode(ref, &ref->blocking, false) : kOTBadReferenceErr; }
Boolean OTIsSynchronous(ProviderRef ref) { return tb::ot::IsOpen(ref) && !ref->async; }
Boolean OTIsBlocking(ProviderRef ref) { return tb::ot::IsOpen(ref) && ref->blocking; }

// ---------------------------------------------------------------------------
// Binding.

OSStatus OTBind(EndpointRef ref, TBind* reqAddr, TBind* retAddr) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->state != T_UNBND) return kOTOutStateErr;

  sockaddr_in want{};
  const TNetbuf* reqNb = reqAddr ? &reqAddr->addr : nullptr;
  OTResult r = ep->family ? ep->family->BindAddress(reqNb, want) : inetBindAddress(reqNb, want);
  OTByteCount qlen = reqAddr && ep->kind == Kind::Stream ? reqAddr->qlen : 0;

  int fd = -1;
  if (r == kOTNoError) {
    fd = newSocket(ep->kind);
    if (fd < 0) r = ErrnoToOT(errno);
  }
  if (fd >= 0) applyOptions(fd, *ep);
  bool refused = false;
  if (r == kOTNoError && bind(fd, reinterpret_cast<sockaddr*>(&want), sizeof want) < 0) {
    r = ErrnoToOT(errno);
    refused = true;
  }
  if (r == kOTNoError && qlen > 0 && listen(fd, static_cast<int>(std::min<OTByteCount>(qlen, 128))) < 0)
    r = ErrnoToOT(errno);
  sockaddr_in bound{};
  socklen_t bl = sizeof bound;
  if (r == kOTNoError && getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &bl) < 0) r = ErrnoToOT(errno);

  if (r != kOTNoError) {
    if (fd >= 0) close(fd);
    // A local address the host refuses (in use, privileged) leaves the
    // endpoint bound to nothing: port 0 is reported, which is how callers
    // tell it apart, and an unbind lets them try another port.
    if (refused) {
      setState(*ep, T_IDLE);
      ep->local = hostAddr(hostOf(want), 0);
      ep->qlen = 0;
      setLook(*ep, 0);
    }
    if (retAddr) {
      sockaddr_in none = hostAddr(hostOf(want), 0);
      if (ep->family)
        ep->family->ReportAddress(none, &retAddr->addr);
      else
        inetReport(none, &retAddr->addr);
      retAddr->qlen = 0;
    }
  } else {
    ep->fd = fd;
    ep->local = bound;
    ep->qlen = qlen;
    setState(*ep, T_IDLE);
    setLook(*ep, 0);
    ep->dataArmed = true;
    if (retAddr) {
      if (ep->family)
        ep->family->ReportAddress(bound, &retAddr->addr);
      else
        inetReport(bound, &retAddr->addr);
      retAddr->qlen = qlen;
    }
  }
  if (ep->async) {
    if (r == kOTNoError)
      completeLater(*ep, T_BINDCOMPLETE, r, retAddr);
    else
      NotifyLater(ep, T_BINDCOMPLETE, r, retAddr);
    updateWatch(*ep);
    return kOTNoError;
  }
  updateWatch(*ep);
  return r;
}

OSStatus OTUnbind(EndpointRef ref) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->state != T_IDLE) return kOTOutStateErr;
  refresh(*ep);
  if (ep->look != 0) return kOTLookErr;
  closeSocket(*ep);
  abortCall(*ep);
  dropPartialDatagram(*ep);
  ep->haveUDErr = false;
  ep->qlen = 0;
  setState(*ep, T_UNBND);
  if (ep->async) NotifyLater(ep, T_UNBINDCOMPLETE, kOTNoError, nullptr);
  return kOTNoError;
}

// ---------------------------------------------------------------------------
// Datagrams.

OSStatus OTSndUData(EndpointRef ref, TUnitData* udata) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->kind != Kind::Datagram) return kOTNotSupportedErr;
  if (!udata) return kOTBadDataErr;
  if (ep->state != T_IDLE || ep->fd < 0) return kOTOutStateErr;
  if (ep->look == T_UDERR) return kOTLookErr;
  if (udata->udata.len > ep->family->MaxDatagram() || (udata->udata.len > 0 && !udata->udata.buf))
    return kOTBadDataErr;

  std::vector<sockaddr_in> dests;
  std::vector<UInt8> header;
  OTResult r = ep->family->Destinations(udata->addr, ep->local, dests, header);
  if (r != kOTNoError) return r;

  std::vector<UInt8> packet;
  const UInt8* out = udata->udata.buf;
  std::size_t outLen = udata->udata.len;
  if (!header.empty()) {
    packet = header;
    if (outLen) packet.insert(packet.end(), out, out + outLen);
    out = packet.data();
    outLen = packet.size();
  }
  for (const sockaddr_in& d : dests) {
    tb::IoResult io = tb::SocketRetry(ep->fd, POLLOUT, waitMs(*ep), [&] {
      return sendto(ep->fd, out, outLen, MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&d), sizeof d);
    });
    if (io.ok()) continue;
    if (io.wouldBlock()) {
      ep->flowBlocked = true;
      updateWatch(*ep);
      return kOTFlowErr;
    }
    // An earlier datagram's delivery error is reported on this call.
    if (!ep->haveUDErr && takeUDErr(*ep)) {
      raiseLater(*ep, T_UDERR);
      return kOTLookErr;
    }
    return ErrnoToOT(io.err);
  }
  return kOTNoError;
}

namespace {
OSStatus handOutDatagram(Endpoint& ep, TUnitData* udata, OTFlags* flags) {
  std::size_t left = ep.rxEnd - ep.rxOff;
  std::size_t k = std::min<std::size_t>(left, udata->udata.buf ? udata->udata.maxlen : 0);
  if (k) std::memcpy(udata->udata.buf, ep.rx.data() + ep.rxOff, k);
  udata->udata.len = static_cast<OTByteCount>(k);
  udata->opt.len = 0;
  if (udata->addr.buf && udata->addr.maxlen >= ep.rxAddr.size() && !ep.rxAddr.empty()) {
    std::memcpy(udata->addr.buf, ep.rxAddr.data(), ep.rxAddr.size());
    udata->addr.len = static_cast<OTByteCount>(ep.rxAddr.size());
  } else {
    udata->addr.len = 0;
  }
  ep.rxOff += k;
  if (ep.rxOff < ep.rxEnd) {
    if (flags) *flags |= T_MORE;
  } else {
    dropPartialDatagram(ep);
  }
  return kOTNoError;
}
}  // namespace

OSStatus OTRcvUData(EndpointRef ref, TUnitData* udata, OTFlags* flags) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->kind != Kind::Datagram) return kOTNotSupportedErr;
  if (!udata) return kOTBadDataErr;
  if (flags) *flags = 0;
  if (ep->state != T_IDLE || ep->fd < 0) return kOTOutStateErr;
  if (ep->look == T_UDERR) return kOTLookErr;
  if (ep->rxEnd > ep->rxOff) return handOutDatagram(*ep, udata, flags);

  ep->rx.resize(65536 + ep->family->HeaderRoom());
  int errors = 0;
  for (;;) {
    sockaddr_in from{};
    socklen_t fl = sizeof from;
    tb::IoResult io = tb::SocketRetry(ep->fd, POLLIN, waitMs(*ep), [&] {
      fl = sizeof from;
      return recvfrom(ep->fd, ep->rx.data(), ep->rx.size(), MSG_DONTWAIT | MSG_TRUNC,
                      reinterpret_cast<sockaddr*>(&from), &fl);
    });
    if (!io.ok()) {
      if (io.wouldBlock()) {
        ep->dataArmed = true;
        updateWatch(*ep);
        return kOTNoDataErr;
      }
      if (!ep->haveUDErr && takeUDErr(*ep)) {
        raiseLater(*ep, T_UDERR);
        return kOTLookErr;
      }
      // The error may have been the socket's only news; look once more.
      if (++errors > 1) return ErrnoToOT(io.err);
      continue;
    }
    ssize_t n = io.n;
    std::size_t got = std::min<std::size_t>(static_cast<std::size_t>(n), ep->rx.size());
    // Write the sender into a scratch record first, so a short caller
    // record gets nothing rather than a piece.
    InetAddress scratch[8];
    TNetbuf addr{sizeof scratch, 0, reinterpret_cast<UInt8*>(scratch)};
    std::size_t offset = 0;
    if (!ep->family->Received(std::span<const UInt8>(ep->rx.data(), got), from, &addr, offset) || offset > got)
      continue;
    ep->rxAddr.assign(addr.buf, addr.buf + addr.len);
    ep->rxOff = offset;
    ep->rxEnd = got;
    return handOutDatagram(*ep, udata, flags);
  }
}

OSStatus OTRcvUDErr(EndpointRef ref, TUDErr* uderr) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->kind != Kind::Datagram) return kOTNotSupportedErr;
  if (!ep->haveUDErr && !takeUDErr(*ep)) return kOTNoUDErrErr;
  if (uderr) {
    ep->family->ReportAddress(ep->udErrAddr, &uderr->addr);
    uderr->opt.len = 0;
    uderr->error = ep->udErrCode;
  }
  ep->haveUDErr = false;
  if (ep->look == T_UDERR) setLook(*ep, 0);
  if (takeUDErr(*ep))
    raiseLater(*ep, T_UDERR);
  else
    updateWatch(*ep);
  return kOTNoError;
}

// ---------------------------------------------------------------------------
// Connections.

OSStatus OTConnect(EndpointRef ref, TCall* sndCall, TCall* rcvCall) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->kind != Kind::Stream) return kOTNotSupportedErr;
  if (ep->state != T_IDLE) return kOTOutStateErr;
  if (ep->look != 0 && ep->look != T_LISTEN) return kOTLookErr;
  if (!sndCall) return kOTBadAddressErr;
  sockaddr_in dest;
  OTResult r = inetDestination(sndCall->addr, dest);
  if (r != kOTNoError) return r;

  if (ep->qlen > 0) {
    // An endpoint bound with a queue may still dial out; a host socket
    // cannot do both, so the listening socket gives way to one on the same
    // local address (any port if that is refused).
    closeSocket(*ep);
    ep->qlen = 0;
    setLook(*ep, 0);
    int fd = newSocket(Kind::Stream);
    if (fd < 0) return ErrnoToOT(errno);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, reinterpret_cast<sockaddr*>(&ep->local), sizeof ep->local) < 0) {
      sockaddr_in any = hostAddr(hostOf(ep->local), 0);
      bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    }
    ep->fd = fd;
  }
  if (ep->fd < 0) {
    // The connection of an earlier call is gone; a fresh socket takes its place.
    ep->fd = newSocket(Kind::Stream);
    if (ep->fd < 0) return ErrnoToOT(errno);
  }
  if (connect(ep->fd, reinterpret_cast<sockaddr*>(&dest), sizeof dest) < 0 && errno != EINPROGRESS) {
    int e = errno;
    closeSocket(*ep);
    return ErrnoToOT(e);
  }
  ep->peer = dest;
  setState(*ep, T_OUTCON);
  setLook(*ep, 0);
  if (ep->blocking && !ep->async) {
    waitFor(ep->fd, POLLOUT);
    int err;
    while (!connectResult(*ep, err)) waitFor(ep->fd, POLLOUT);
    if (err != 0) {
      closeSocket(*ep);
      setState(*ep, T_IDLE);
      return ErrnoToOT(err);
    }
    setState(*ep, T_DATAXFER);
    ep->dataArmed = true;
    ep->endWoken = false;
    fillCall(rcvCall, ep->peer, 0);
    updateWatch(*ep);
    return kOTNoError;
  }
  updateWatch(*ep);
  return kOTNoDataErr;
}

OSStatus OTRcvConnect(EndpointRef ref, TCall* call) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->kind != Kind::Stream) return kOTNotSupportedErr;
  if (ep->state != T_OUTCON) return kOTOutStateErr;
  for (;;) {
    refresh(*ep);
    if (ep->look == T_DISCONNECT) return kOTLookErr;
    if (ep->look == T_CONNECT) break;
    if (!ep->blocking) return kOTNoDataErr;
    waitFor(ep->fd, POLLOUT);
  }
  setLook(*ep, 0);
  setState(*ep, T_DATAXFER);
  ep->dataArmed = true;
  ep->endWoken = false;
  fillCall(call, ep->peer, 0);
  updateWatch(*ep);
  return kOTNoError;
}

OSStatus OTListen(EndpointRef ref, TCall* call) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->kind != Kind::Stream) return kOTNotSupportedErr;
  if (!listening(*ep)) return kOTOutStateErr;
  if (ep->state == T_INCON) return kOTNoDataErr;  // one call at a time
  if (ep->look != 0 && ep->look != T_LISTEN) return kOTLookErr;
  for (;;) {
    sockaddr_in peer{};
    socklen_t pl = sizeof peer;
    tb::IoResult io = tb::SocketRetry(ep->fd, POLLIN, waitMs(*ep), [&] {
      pl = sizeof peer;
      return ssize_t(accept4(ep->fd, reinterpret_cast<sockaddr*>(&peer), &pl, SOCK_NONBLOCK | SOCK_CLOEXEC));
    });
    if (io.ok()) {
      int c = int(io.n);
      ep->callFd = c;
      ep->callPeer = peer;
      ep->sequence++;
      setState(*ep, T_INCON);
      setLook(*ep, 0);
      fillCall(call, peer, ep->sequence);
      updateWatch(*ep);
      return kOTNoError;
    }
    // A caller that gave up before we took it: take the next.
    if (io.err == ECONNABORTED) continue;
    OTResult r = io.wouldBlock() ? kOTNoDataErr : ErrnoToOT(io.err);
    if (ep->look == T_LISTEN) setLook(*ep, 0);
    updateWatch(*ep);
    return r;
  }
}

OSStatus OTAccept(EndpointRef listener, EndpointRef worker, TCall* call) {
  Endpoint* ep = endpointOf(listener);
  if (!ep) return kOTBadReferenceErr;
  if (ep->kind != Kind::Stream) return kOTNotSupportedErr;
  if (worker != listener) return endpointOf(worker) ? kOTNotSupportedErr : kOTBadReferenceErr;
  if (ep->state != T_INCON || ep->callFd < 0) return kOTOutStateErr;
  if (call && call->sequence != ep->sequence) return kOTBadSequenceErr;

  // The listener becomes the connection: its listening socket goes away.
  closeSocket(*ep);
  ep->fd = ep->callFd;
  ep->callFd = -1;
  ep->peer = ep->callPeer;
  ep->qlen = 0;
  setState(*ep, T_DATAXFER);
  setLook(*ep, 0);
  ep->dataArmed = true;
  ep->endWoken = false;
  if (ep->async) completeLater(*ep, T_ACCEPTCOMPLETE, kOTNoError, worker);
  updateWatch(*ep);
  return kOTNoError;
}

OTResult OTSnd(EndpointRef ref, void* buf, OTByteCount nbytes, OTFlags) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->kind != Kind::Stream) return kOTNotSupportedErr;
  if (ep->look == T_DISCONNECT) return kOTLookErr;
  if (ep->state != T_DATAXFER && ep->state != T_INREL) return kOTOutStateErr;
  if (nbytes == 0) return 0;
  if (!buf) return kOTBadDataErr;

  const auto* p = static_cast<const UInt8*>(buf);
  OTByteCount total = 0;
  while (total < nbytes) {
    OTByteCount want = nbytes - total;
    if (gSendCap) want = std::min(want, gSendCap);
    tb::IoResult io = tb::SocketRetry(ep->fd, POLLOUT, waitMs(*ep),
                                      [&] { return send(ep->fd, p + total, want, MSG_DONTWAIT | MSG_NOSIGNAL); });
    if (io.ok()) {
      total += static_cast<OTByteCount>(io.n);
      if (!ep->blocking) break;
      continue;
    }
    if (io.wouldBlock()) {
      if (total > 0) break;
      ep->flowBlocked = true;
      updateWatch(*ep);
      return kOTFlowErr;
    }
    ep->discReason = ErrnoToOT(io.err);
    raiseLater(*ep, T_DISCONNECT, ep->discReason);
    return kOTLookErr;
  }
  if (total < nbytes) {
    ep->sendPending = true;
    updateWatch(*ep);
  }
  return static_cast<OTResult>(total);
}

OTResult OTRcv(EndpointRef ref, void* buf, OTByteCount nbytes, OTFlags* flags) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->kind != Kind::Stream) return kOTNotSupportedErr;
  if (flags) *flags = 0;
  if (ep->look == T_DISCONNECT || ep->look == T_ORDREL) return kOTLookErr;
  if (ep->state != T_DATAXFER && ep->state != T_OUTREL) return kOTOutStateErr;
  if (nbytes == 0) return 0;
  if (!buf) return kOTBadDataErr;
  tb::IoResult io =
      tb::SocketRetry(ep->fd, POLLIN, waitMs(*ep), [&] { return recv(ep->fd, buf, nbytes, MSG_DONTWAIT); });
  if (io.n > 0) return static_cast<OTResult>(io.n);
  if (io.n == 0) {
    raiseLater(*ep, T_ORDREL);
    return kOTLookErr;
  }
  if (io.wouldBlock()) {
    ep->dataArmed = true;
    ep->endWoken = false;
    updateWatch(*ep);
    return kOTNoDataErr;
  }
  ep->discReason = ErrnoToOT(io.err);
  raiseLater(*ep, T_DISCONNECT, ep->discReason);
  return kOTLookErr;
}

OSStatus OTSndDisconnect(EndpointRef ref, TCall*) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->kind != Kind::Stream) return kOTNotSupportedErr;
  switch (ep->state) {
    case T_OUTCON:
    case T_DATAXFER:
    case T_OUTREL:
    case T_INREL:
      closeSocket(*ep, true);
      break;
    case T_INCON:
      abortCall(*ep);  // the listener stays and listens on
      break;
    default:
      return kOTOutStateErr;
  }
  setState(*ep, T_IDLE);
  setLook(*ep, 0);
  if (ep->async) NotifyLater(ep, T_DISCONNECTCOMPLETE, kOTNoError, nullptr);
  updateWatch(*ep);
  return kOTNoError;
}

OSStatus OTRcvDisconnect(EndpointRef ref, TDiscon* discon) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->kind != Kind::Stream) return kOTNotSupportedErr;
  refresh(*ep);
  if (ep->look != T_DISCONNECT) return kOTNoDisconnectErr;
  if (discon) {
    discon->udata.len = 0;
    discon->reason = ep->discReason;
    discon->sequence = 0;
  }
  closeSocket(*ep);
  setState(*ep, T_IDLE);
  setLook(*ep, 0);
  return kOTNoError;
}

OSStatus OTSndOrderlyDisconnect(EndpointRef ref) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->kind != Kind::Stream) return kOTNotSupportedErr;
  if (ep->look == T_DISCONNECT) return kOTLookErr;
  if (ep->state == T_DATAXFER) {
    shutdown(ep->fd, SHUT_WR);
    setState(*ep, T_OUTREL);
    ep->sendPending = ep->flowBlocked = false;
    updateWatch(*ep);
    return kOTNoError;
  }
  if (ep->state == T_INREL) {
    shutdown(ep->fd, SHUT_WR);
    closeSocket(*ep);
    setState(*ep, T_IDLE);
    return kOTNoError;
  }
  return kOTOutStateErr;
}

OSStatus OTRcvOrderlyDisconnect(EndpointRef ref) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (ep->kind != Kind::Stream) return kOTNotSupportedErr;
  refresh(*ep);
  if (ep->look == T_DISCONNECT) return kOTLookErr;
  if (ep->look != T_ORDREL) return kOTNoReleaseErr;
  setLook(*ep, 0);
  if (ep->state == T_DATAXFER) {
    setState(*ep, T_INREL);
    updateWatch(*ep);
    return kOTNoError;
  }
  if (ep->state == T_OUTREL) {
    closeSocket(*ep);
    setState(*ep, T_IDLE);
    return kOTNoError;
  }
  return kOTOutStateErr;
}

OTResult OTLook(EndpointRef ref) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  refresh(*ep);
  if (ep->look != 0) return static_cast<OTResult>(ep->look);
  if (ep->fd < 0) return 0;
  if (ep->kind == Kind::Datagram) {
    if (ep->state != T_IDLE) return 0;
    if (ep->rxEnd > ep->rxOff) return T_DATA;
    char b;
    return recv(ep->fd, &b, 1, MSG_PEEK | MSG_DONTWAIT) >= 0 ? OTResult(T_DATA) : 0;
  }
  if (ep->state == T_DATAXFER || ep->state == T_OUTREL) {
    // Counted, not peeked: a peek would take a reset that came meanwhile.
    int queued = 0;
    return ioctl(ep->fd, FIONREAD, &queued) == 0 && queued > 0 ? OTResult(T_DATA) : 0;
  }
  return 0;
}

OSStatus OTGetProtocolAddress(EndpointRef ref, TBind* boundAddr, TBind* peerAddr) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  sockaddr_in local = ep->local;
  socklen_t len = sizeof local;
  // A connection bound to "any" has its real local address only now.
  if (ep->fd >= 0) getsockname(ep->fd, reinterpret_cast<sockaddr*>(&local), &len);
  bool connected = ep->kind == Kind::Stream && ep->state >= T_DATAXFER;
  sockaddr_in peer = connected ? ep->peer : sockaddr_in{};
  for (auto [bind, addr] : {std::pair{boundAddr, &local}, std::pair{peerAddr, &peer}}) {
    if (!bind) continue;
    if (ep->family)
      ep->family->ReportAddress(*addr, &bind->addr);
    else
      inetReport(*addr, &bind->addr);
    bind->qlen = 0;
  }
  return kOTNoError;
}

OTResult OTGetEndpointState(EndpointRef ref) {
  Endpoint* ep = endpointOf(ref);
  return ep ? ep->state : kOTBadReferenceErr;
}

SInt32 OTIoctl(ProviderRef ref, UInt32 cmd, void* data) {
  if (!tb::ot::IsOpen(ref)) return kOTBadReferenceErr;
  return ref->Ioctl(cmd, data);
}

// ---------------------------------------------------------------------------
// Internet addresses.

void OTInitInetAddress(InetAddress* addr, InetPort port, InetHost host) {
  if (!addr) return;
  *addr = InetAddress{};
  addr->fAddressType = kOTInetAddressType;
  addr->fPort = port;
  addr->fHost = host;
}

namespace {

bool parseDotted(const char* s, InetHost& out) {
  in_addr a{};
  if (!s || inet_pton(AF_INET, s, &a) != 1) return false;
  out = ntohl(a.s_addr);
  return true;
}

// The interface that carries the default route, from the kernel's table.
std::string defaultRouteInterface() {
  std::ifstream f("/proc/net/route");
  std::string line;
  std::getline(f, line);  // heading
  while (std::getline(f, line)) {
    std::istringstream in(line);
    std::string iface, dest, gateway;
    unsigned flags = 0;
    if (!(in >> iface >> dest >> gateway >> std::hex >> flags)) continue;
    if (dest == "00000000" && (flags & 1)) return iface;
  }
  return {};
}

bool interfaceAddress(const std::string& wanted, InetHost& addr, InetHost& mask) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) < 0) return false;
  bool found = false;
  for (ifaddrs* i = list; i && !found; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
    bool loop = i->ifa_flags & IFF_LOOPBACK;
    if (wanted.empty() ? loop : wanted != i->ifa_name) continue;
    addr = ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    mask = i->ifa_netmask ? ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr) : 0;
    found = true;
  }
  freeifaddrs(list);
  return found;
}

}  // namespace

OSStatus OTInetGetInterfaceInfo(InetInterfaceInfo* info, SInt32 index) {
  if (!info) return kOTBadDataErr;
  if (index != 0 && index != kDefaultInetInterface) return kOTNotFoundErr;
  *info = InetInterfaceInfo{};
  InetHost addr = 0x7F000001;
  InetHost mask = 0xFF000000;
  InetHost chosen;
  if (parseDotted(std::getenv("TOOLBOX_MYIP"), chosen)) {
    addr = chosen;
    mask = 0;
  } else if (!tb::NetLoopbackOnly()) {
    std::string iface = defaultRouteInterface();
    InetHost a, m;
    // Without a default route, any interface that is up and not loopback.
    if (interfaceAddress(iface, a, m)) {
      addr = a;
      mask = m;
    }
  }
  info->fAddress = addr;
  info->fNetmask = mask;
  info->fBroadcastAddr = mask ? (addr | ~mask) : 0;
  info->fVersion = 1;
  return kOTNoError;
}

OSStatus OTInetStringToHost(const char* str, InetHost* host) {
  InetHost h;
  if (!host || !parseDotted(str, h)) return kOTBadAddressErr;
  *host = h;
  return kOTNoError;
}

void OTInetHostToString(InetHost host, char* str) {
  if (!str) return;
  std::snprintf(str, 16, "%u.%u.%u.%u", (host >> 24) & 0xFF, (host >> 16) & 0xFF, (host >> 8) & 0xFF, host & 0xFF);
}

// ---------------------------------------------------------------------------
// Option management (address reuse, no delay and the send buffer are known).

namespace {

// Worst first, as the overall result reports it.
UInt32 worseStatus(UInt32 a, UInt32 b) {
  for (UInt32 s : {UInt32(T_NOTSUPPORT), UInt32(T_READONLY), UInt32(T_FAILURE), UInt32(T_PARTSUCCESS)})
    if (a == s || b == s) return s;
  return T_SUCCESS;
}

OTResult manageOptions(Endpoint& ep, const TOptMgmt& req, TOptMgmt* ret) {
  if (req.flags != T_NEGOTIATE && req.flags != T_CURRENT) return kOTBadFlagErr;
  if (req.opt.len > 0 && !req.opt.buf) return kOTBadOptionErr;
  std::vector<UInt8> out(req.opt.buf, req.opt.buf + req.opt.len);
  UInt32 overall = T_SUCCESS;
  bool reuse = ep.reuseAddr, noDelay = ep.noDelay;
  UInt32 sendBuffer = ep.sendBuffer, recvBuffer = ep.recvBuffer;
  for (std::size_t off = 0; off < out.size();) {
    if (out.size() - off < kOTOptionHeaderSize) return kOTBadOptionErr;
    TOption head;
    std::memcpy(&head, out.data() + off, kOTOptionHeaderSize);
    if (head.len < kOTOptionHeaderSize || head.len > out.size() - off) return kOTBadOptionErr;
    UInt32 status = T_NOTSUPPORT;
    bool* flag = head.level == INET_IP && head.name == IP_REUSEADDR                              ? &reuse
                 : head.level == INET_TCP && head.name == TCP_NODELAY && ep.kind == Kind::Stream ? &noDelay
                                                                                                 : nullptr;
    UInt32* size = head.level != XTI_GENERIC                              ? nullptr
                   : head.name == XTI_SNDBUF && ep.kind == Kind::Stream   ? &sendBuffer
                   : head.name == XTI_RCVBUF && ep.kind == Kind::Datagram ? &recvBuffer
                                                                          : nullptr;
    if (size) {
      if (head.len != kOTFourByteOptionSize) return kOTBadOptionErr;
      UInt32 value;
      std::memcpy(&value, out.data() + off + kOTOptionHeaderSize, sizeof value);
      if (req.flags == T_NEGOTIATE) *size = value;
      std::memcpy(out.data() + off + kOTOptionHeaderSize, size, sizeof *size);
      status = T_SUCCESS;
    } else if (flag) {
      if (head.len != kOTFourByteOptionSize) return kOTBadOptionErr;
      UInt32 value;
      std::memcpy(&value, out.data() + off + kOTOptionHeaderSize, sizeof value);
      if (req.flags == T_NEGOTIATE) {
        if (value != T_YES && value != T_NO) return kOTBadOptionErr;
        *flag = value == T_YES;
      }
      value = *flag ? T_YES : T_NO;
      std::memcpy(out.data() + off + kOTOptionHeaderSize, &value, sizeof value);
      status = T_SUCCESS;
    }
    std::memcpy(out.data() + off + offsetof(TOption, status), &status, sizeof status);
    overall = worseStatus(overall, status);
    off += (head.len + 3u) & ~3u;
  }
  if (ret) {
    if (out.size() > ret->opt.maxlen || (!out.empty() && !ret->opt.buf)) return kOTBufferOverflowErr;
    if (!out.empty()) std::memcpy(ret->opt.buf, out.data(), out.size());
    ret->opt.len = static_cast<OTByteCount>(out.size());
    ret->flags = overall;
  }
  const bool changed =
      reuse != ep.reuseAddr || noDelay != ep.noDelay || sendBuffer != ep.sendBuffer || recvBuffer != ep.recvBuffer;
  ep.reuseAddr = reuse;
  ep.noDelay = noDelay;
  ep.sendBuffer = sendBuffer;
  ep.recvBuffer = recvBuffer;
  // Already bound: the socket takes them now.
  if (changed && ep.fd >= 0) applyOptions(ep.fd, ep);
  return kOTNoError;
}

}  // namespace

OSStatus OTOptionManagement(EndpointRef ref, TOptMgmt* req, TOptMgmt* ret) {
  Endpoint* ep = endpointOf(ref);
  if (!ep) return kOTBadReferenceErr;
  if (!req) return kOTBadOptionErr;
  OTResult r = manageOptions(*ep, *req, ret);
  if (ep->async) {
    NotifyLater(ep, T_OPTMGMTCOMPLETE, r, ret);
    return kOTNoError;
  }
  return r;
}

// ---------------------------------------------------------------------------

void tb::OTSetSendCap(OTByteCount cap) { gSendCap = cap; }
int tb::OTOpenProviderCount() { return static_cast<int>(openProviders().size()); }

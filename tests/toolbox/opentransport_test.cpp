// Open Transport over loopback: UDP and TCP endpoints, asynchronous calls
// and their events, confinement, the port map, slow readers, releases and
// closing inside a notifier.
#include "toolbox/opentransport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"

using testsupport::ScopedEnv;

namespace {

constexpr InetHost kLoop = 0x7F000001;

struct Events {
  std::vector<OTEventCode> codes;
  std::vector<OTResult> results;
  EndpointRef opened = kOTInvalidEndpointRef;
  std::function<void(OTEventCode)> onEvent;
  int count(OTEventCode c) const { return static_cast<int>(std::count(codes.begin(), codes.end(), c)); }
  bool has(OTEventCode c) const { return count(c) > 0; }
};

void Record(void* ctx, OTEventCode code, OTResult result, void* cookie) {
  auto* e = static_cast<Events*>(ctx);
  e->codes.push_back(code);
  e->results.push_back(result);
  if (code == T_OPENCOMPLETE) e->opened = static_cast<EndpointRef>(cookie);
  if (e->onEvent) e->onEvent(code);
}

using testsupport::PumpUntil;
void PumpFor(int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) tb::Pump(5);
}

struct Addr {
  InetAddress a{};
  TBind bind{};
  explicit Addr(InetHost host = 0, InetPort port = 0, OTByteCount qlen = 0) {
    OTInitInetAddress(&a, port, host);
    bind.addr = TNetbuf{sizeof a, host || port ? OTByteCount(sizeof a) : 0, reinterpret_cast<UInt8*>(&a)};
    bind.qlen = qlen;
  }
  TNetbuf& nb() { return bind.addr; }
};

EndpointRef OpenSync(const char* cfg) {
  OSStatus err = -1;
  EndpointRef ep = OTOpenEndpoint(OTCreateConfiguration(cfg), 0, nullptr, &err);
  EXPECT_EQ(err, kOTNoError);
  EXPECT_EQ(OTSetNonBlocking(ep), kOTNoError);
  return ep;
}

EndpointRef OpenAsync(const char* cfg, Events& ev) {
  EXPECT_EQ(OTAsyncOpenEndpoint(OTCreateConfiguration(cfg), 0, nullptr, &Record, &ev), kOTNoError);
  EXPECT_TRUE(PumpUntil([&] { return ev.opened != nullptr; }));
  OTSetNonBlocking(ev.opened);
  return ev.opened;
}

// Binds and returns the bound address as reported.
InetAddress BindSync(EndpointRef ep, InetHost host, InetPort port = 0, OTByteCount qlen = 0) {
  Addr req(host, port, qlen);
  EXPECT_EQ(OTBind(ep, &req.bind, &req.bind), kOTNoError);
  return req.a;
}

OSStatus SendTo(EndpointRef ep, InetHost host, InetPort port, const std::string& data) {
  Addr to(host, port);
  TUnitData ud{};
  ud.addr = to.nb();
  ud.udata = TNetbuf{OTByteCount(data.size()), OTByteCount(data.size()),
                     reinterpret_cast<UInt8*>(const_cast<char*>(data.data()))};
  return OTSndUData(ep, &ud);
}

struct Datagram {
  OSStatus err;
  std::string data;
  InetAddress from;
  OTFlags flags;
};
Datagram Receive(EndpointRef ep, std::size_t room = 2048) {
  Datagram d{};
  std::vector<UInt8> buf(room);
  TUnitData ud{};
  ud.addr = TNetbuf{sizeof d.from, 0, reinterpret_cast<UInt8*>(&d.from)};
  ud.udata = TNetbuf{OTByteCount(room), 0, buf.data()};
  d.err = OTRcvUData(ep, &ud, &d.flags);
  if (d.err == kOTNoError) d.data.assign(reinterpret_cast<char*>(buf.data()), ud.udata.len);
  return d;
}

// A port nobody listens on, held for the test: bound on 127.0.0.1 so no
// other process can take it on every address meanwhile, but neither
// listening (TCP) nor taking datagrams from anyone (UDP: connected to a
// peer that never sends), so a call or datagram to it on another loopback
// address is refused.
class HeldPort {
 public:
  explicit HeldPort(int type) : fd_(socket(AF_INET, type | SOCK_CLOEXEC, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(kLoop);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t l = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &l);
    port_ = ntohs(a.sin_port);
    if (type == SOCK_DGRAM) {
      sockaddr_in nobody = a;
      nobody.sin_port = htons(1);
      connect(fd_, reinterpret_cast<sockaddr*>(&nobody), sizeof nobody);
    }
  }
  ~HeldPort() { close(fd_); }
  HeldPort(const HeldPort&) = delete;
  HeldPort& operator=(const HeldPort&) = delete;
  InetPort port() const { return port_; }

 private:
  int fd_;
  InetPort port_ = 0;
};

class OpenTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    tb::ReloadNetConfig();
    InitOpenTransport();
  }
  void TearDown() override {
    CloseOpenTransport();
    EXPECT_EQ(tb::OTOpenProviderCount(), 0);
    tb::OTSetSendCap(0);
    tb::ReloadNetConfig();
  }
};

// A connected pair of TCP endpoints: a client and a listener that accepted
// onto itself. Both have recorders installed.
struct Pair {
  Events cev, lev;
  EndpointRef client = nullptr, server = nullptr;
  InetAddress clientAddr{}, serverAddr{};
};
void Connect(Pair& p, InetHost host) {
  p.server = OpenAsync("tcp", p.lev);
  p.client = OpenAsync("tcp", p.cev);
  Addr lreq(host, 0, 1);
  ASSERT_EQ(OTBind(p.server, &lreq.bind, &lreq.bind), kOTNoError);
  Addr creq;
  ASSERT_EQ(OTBind(p.client, &creq.bind, &creq.bind), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return p.lev.has(T_BINDCOMPLETE) && p.cev.has(T_BINDCOMPLETE); }));
  p.serverAddr = lreq.a;
  p.clientAddr = creq.a;
  TCall call{};
  ASSERT_EQ(OTListen(p.server, &call), kOTNoDataErr);

  Addr dest(host, p.serverAddr.fPort);
  TCall snd{};
  snd.addr = dest.nb();
  ASSERT_EQ(OTConnect(p.client, &snd, nullptr), kOTNoDataErr);
  ASSERT_TRUE(PumpUntil([&] { return p.lev.has(T_LISTEN) && p.cev.has(T_CONNECT); }));

  InetAddress caller{};
  call.addr = TNetbuf{sizeof caller, 0, reinterpret_cast<UInt8*>(&caller)};
  ASSERT_EQ(OTListen(p.server, &call), kOTNoError);
  EXPECT_EQ(caller.fPort, p.clientAddr.fPort);
  EXPECT_EQ(OTGetEndpointState(p.server), T_INCON);
  ASSERT_EQ(OTAccept(p.server, p.server, &call), kOTNoError);
  ASSERT_EQ(OTRcvConnect(p.client, nullptr), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return p.lev.has(T_ACCEPTCOMPLETE); }));
  EXPECT_EQ(OTGetEndpointState(p.server), T_DATAXFER);
  EXPECT_EQ(OTGetEndpointState(p.client), T_DATAXFER);
}

std::string ReadAll(EndpointRef ep, std::size_t want) {
  std::string got;
  char buf[65536];
  PumpUntil([&] {
    OTFlags f;
    OTResult n;
    while ((n = OTRcv(ep, buf, sizeof buf, &f)) > 0) got.append(buf, n);
    return got.size() >= want || n == kOTLookErr;
  });
  return got;
}

}  // namespace

TEST_F(OpenTransport, UdpBindsEphemeralPortAndReportsSender) {
  EndpointRef a = OpenSync("udp");
  EndpointRef b = OpenSync("udp");
  InetAddress ab = BindSync(a, 0x7F000015);
  InetAddress bb = BindSync(b, kOTAnyInetAddress);
  EXPECT_EQ(ab.fAddressType, kOTInetAddressType);
  EXPECT_EQ(ab.fHost, 0x7F000015u);
  EXPECT_NE(ab.fPort, 0);
  EXPECT_NE(bb.fPort, 0);
  EXPECT_EQ(OTGetEndpointState(a), T_IDLE);

  EXPECT_EQ(Receive(a).err, kOTNoDataErr);
  ASSERT_EQ(SendTo(b, 0x7F000015, ab.fPort, "probe"), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return OTLook(a) == T_DATA; }));
  Datagram d = Receive(a);
  ASSERT_EQ(d.err, kOTNoError);
  EXPECT_EQ(d.data, "probe");
  EXPECT_EQ(d.from.fPort, bb.fPort);
  EXPECT_EQ(d.flags, 0u);
  EXPECT_EQ(Receive(a).err, kOTNoDataErr);

  EXPECT_EQ(OTBind(a, nullptr, nullptr), kOTOutStateErr);
  EXPECT_EQ(OTUnbind(a), kOTNoError);
  EXPECT_EQ(OTGetEndpointState(a), T_UNBND);
  EXPECT_EQ(Receive(a).err, kOTOutStateErr);
}

TEST_F(OpenTransport, LongDatagramComesInPiecesWithMoreFlag) {
  EndpointRef a = OpenSync("udp");
  EndpointRef b = OpenSync("udp");
  InetAddress ab = BindSync(a, 0x7F000016);
  BindSync(b, 0);
  std::string big(1000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7);
  ASSERT_EQ(SendTo(b, 0x7F000016, ab.fPort, big), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return OTLook(a) == T_DATA; }));
  std::string got;
  Datagram d = Receive(a, 400);
  ASSERT_EQ(d.err, kOTNoError);
  EXPECT_EQ(d.flags & T_MORE, T_MORE);
  got += d.data;
  d = Receive(a, 400);
  EXPECT_EQ(d.flags & T_MORE, T_MORE);
  got += d.data;
  d = Receive(a, 400);
  EXPECT_EQ(d.flags & T_MORE, 0u);
  got += d.data;
  EXPECT_EQ(got, big);
  EXPECT_EQ(Receive(a).err, kOTNoDataErr);
}

TEST_F(OpenTransport, AsyncOpenAndBindCompleteFromThePumpInOrder) {
  Events ev;
  ASSERT_EQ(OTAsyncOpenEndpoint(OTCreateConfiguration("udp"), 0, nullptr, &Record, &ev), kOTNoError);
  EXPECT_TRUE(ev.codes.empty());  // never from inside the call
  ASSERT_TRUE(PumpUntil([&] { return ev.opened != nullptr; }));
  EXPECT_TRUE(OTIsSynchronous(ev.opened) == 0);
  Addr req;
  ASSERT_EQ(OTBind(ev.opened, &req.bind, &req.bind), kOTNoError);
  EXPECT_EQ(ev.codes.size(), 1u);
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_BINDCOMPLETE); }));
  EXPECT_NE(req.a.fPort, 0);
  ASSERT_EQ(OTIoctl(ev.opened, I_FLUSH, reinterpret_cast<void*>(FLUSHRW)), kOTNoError);
  ASSERT_EQ(OTUnbind(ev.opened), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_UNBINDCOMPLETE); }));
  std::vector<OTEventCode> want{T_OPENCOMPLETE, T_BINDCOMPLETE, 0x21000005, T_UNBINDCOMPLETE};
  EXPECT_EQ(ev.codes, want);

  // A refused bind completes with its error and reports port 0.
  Events ev2;
  EndpointRef other = OpenAsync("udp", ev2);
  InetAddress held = BindSync(OpenSync("udp"), 0x7F000017);
  Addr clash(0x7F000017, held.fPort);
  ASSERT_EQ(OTBind(other, &clash.bind, &clash.bind), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev2.has(T_BINDCOMPLETE); }));
  EXPECT_EQ(ev2.results.back(), kOTAddressBusyErr);
  EXPECT_EQ(clash.a.fPort, 0);
  // Bound to nothing: no traffic, but an unbind makes room for another try.
  EXPECT_EQ(OTGetEndpointState(other), T_IDLE);
  EXPECT_EQ(SendTo(other, kLoop, 9, "x"), kOTOutStateErr);
  EXPECT_EQ(OTUnbind(other), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev2.has(T_UNBINDCOMPLETE); }));
  Addr bad;
  bad.a.fAddressType = 99;
  bad.bind.addr.len = sizeof bad.a;
  ASSERT_EQ(OTBind(other, &bad.bind, nullptr), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev2.count(T_BINDCOMPLETE) == 2; }));
  EXPECT_EQ(ev2.results.back(), kOTBadAddressErr);
  EXPECT_EQ(OTGetEndpointState(other), T_UNBND);
}

TEST_F(OpenTransport, DataEventOncePerEdgeRearmedByEmptyRead) {
  Events ev;
  EndpointRef a = OpenAsync("udp", ev);
  Addr req(0x7F000018);
  OTBind(a, &req.bind, &req.bind);
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_BINDCOMPLETE); }));
  EndpointRef b = OpenSync("udp");
  BindSync(b, 0);

  ASSERT_EQ(SendTo(b, 0x7F000018, req.a.fPort, "one"), kOTNoError);
  ASSERT_EQ(SendTo(b, 0x7F000018, req.a.fPort, "two"), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_DATA); }));
  PumpFor(50);
  EXPECT_EQ(ev.count(T_DATA), 1);
  EXPECT_EQ(Receive(a).data, "one");
  PumpFor(30);
  EXPECT_EQ(ev.count(T_DATA), 1);  // read without reaching "no data": no new edge
  EXPECT_EQ(Receive(a).data, "two");
  EXPECT_EQ(Receive(a).err, kOTNoDataErr);
  ASSERT_EQ(SendTo(b, 0x7F000018, req.a.fPort, "three"), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev.count(T_DATA) == 2; }));

  // Flushing drops what is queued and re-arms as well.
  ASSERT_EQ(SendTo(b, 0x7F000018, req.a.fPort, "four"), kOTNoError);
  PumpFor(30);
  ASSERT_EQ(OTIoctl(a, I_FLUSH, reinterpret_cast<void*>(FLUSHRW)), kOTNoError);
  EXPECT_EQ(Receive(a).err, kOTNoDataErr);
  ASSERT_EQ(SendTo(b, 0x7F000018, req.a.fPort, "five"), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev.count(T_DATA) == 3; }));
  EXPECT_EQ(Receive(a).data, "five");
}

TEST_F(OpenTransport, UndeliverableDatagramBecomesUnitDataError) {
  Events ev;
  EndpointRef a = OpenAsync("udp", ev);
  Addr req;
  OTBind(a, &req.bind, &req.bind);
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_BINDCOMPLETE); }));
  HeldPort held(SOCK_DGRAM);
  InetPort closed = held.port();
  ASSERT_EQ(SendTo(a, 0x7F000019, closed, "x"), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return OTLook(a) == T_UDERR; }));
  EXPECT_EQ(SendTo(a, 0x7F000019, closed, "y"), kOTLookErr);
  EXPECT_EQ(Receive(a).err, kOTLookErr);
  EXPECT_EQ(OTUnbind(a), kOTLookErr);

  InetAddress where{};
  UInt8 opt[32];
  TUDErr ud{};
  ud.addr = TNetbuf{sizeof where, 0, reinterpret_cast<UInt8*>(&where)};
  ud.opt = TNetbuf{sizeof opt, 0, opt};
  ASSERT_EQ(OTRcvUDErr(a, &ud), kOTNoError);
  EXPECT_EQ(where.fHost, 0x7F000019u);
  EXPECT_EQ(where.fPort, closed);
  EXPECT_EQ(ud.error, kECONNREFUSEDErr);
  EXPECT_EQ(OTRcvUDErr(a, &ud), kOTNoUDErrErr);
  EXPECT_EQ(Receive(a).err, kOTNoDataErr);
  EXPECT_EQ(OTUnbind(a), kOTNoError);
}

TEST_F(OpenTransport, ConfinementKeepsEndpointsOnLoopbackAndRedirectsBroadcast) {
  ScopedEnv net("TOOLBOX_NET", "loopback");
  tb::ReloadNetConfig();
  Events ev;
  EndpointRef a = OpenAsync("udp", ev);
  Addr req;
  OTBind(a, &req.bind, &req.bind);
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_BINDCOMPLETE); }));
  // Bound to "any", datagram and connection endpoints alike land on
  // loopback; another local address is refused.
  EXPECT_EQ(req.a.fHost, kLoop);
  for (const char* kind : {"udp", "tcp"}) {
    EndpointRef e = OpenSync(kind);
    Addr far(0x0A000001);
    EXPECT_EQ(OTBind(e, &far.bind, &far.bind), kOTBadAddressErr) << kind;
    OTCloseProvider(e);
  }
  EXPECT_EQ(SendTo(a, 0x0A000001, 9, "probe"), kOTBadAddressErr);
  EXPECT_EQ(SendTo(a, 0xC0A80101, 19541, "probe"), kOTBadAddressErr);
  EXPECT_EQ(SendTo(a, 0x7F000001, 0, "probe"), kOTBadAddressErr);
  PumpFor(30);
  EXPECT_FALSE(ev.has(T_UDERR));  // nothing went out to fail

  // The limited broadcast reaches listeners on the loopback broadcast
  // address.
  EndpointRef rcv = OpenSync("udp");
  InetAddress rb = BindSync(rcv, 0x7FFFFFFF);
  ASSERT_EQ(SendTo(a, 0xFFFFFFFF, rb.fPort, "all"), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return OTLook(rcv) == T_DATA; }));
  EXPECT_EQ(Receive(rcv).data, "all");

  Events cev;
  EndpointRef c = OpenAsync("tcp", cev);
  Addr any;
  OTBind(c, &any.bind, &any.bind);
  ASSERT_TRUE(PumpUntil([&] { return cev.has(T_BINDCOMPLETE); }));
  EXPECT_EQ(any.a.fHost, kLoop);
  Addr far(0x0A000001, 21);
  TCall call{};
  call.addr = far.nb();
  EXPECT_EQ(OTConnect(c, &call, nullptr), kOTBadAddressErr);
  EXPECT_EQ(OTGetEndpointState(c), T_IDLE);
  PumpFor(30);
  EXPECT_FALSE(cev.has(T_DISCONNECT));
  EXPECT_FALSE(cev.has(T_CONNECT));
}

TEST_F(OpenTransport, PortMapBindsAndReachesRealPortsButReportsNamedOnes) {
  // The real port 20 stand-in is a plain socket's own port, the real port
  // 9 one held meanwhile on another address than the endpoint binds.
  int raw = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl(kLoop);
  ASSERT_EQ(bind(raw, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
  socklen_t fl = sizeof from;
  getsockname(raw, reinterpret_cast<sockaddr*>(&from), &fl);
  HeldPort held(SOCK_DGRAM);
  InetPort realJcp = held.port();
  InetPort realFtpData = ntohs(from.sin_port);
  std::string map = "9:" + std::to_string(realJcp) + ",20:" + std::to_string(realFtpData);
  ScopedEnv env("TOOLBOX_PORTMAP", map.c_str());
  tb::ReloadNetConfig();

  EndpointRef box = OpenSync("udp");
  InetAddress bound = BindSync(box, 0x7F00001A, 9);
  EXPECT_EQ(bound.fPort, 9);  // the programs see the port they named

  // The plain socket on the real port 20 stand-in talks to the real port 9 one.
  sockaddr_in to = from;
  to.sin_addr.s_addr = htonl(0x7F00001A);
  to.sin_port = htons(realJcp);
  ASSERT_EQ(sendto(raw, "hi", 2, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 2);
  ASSERT_TRUE(PumpUntil([&] { return OTLook(box) == T_DATA; }));
  Datagram d = Receive(box);
  EXPECT_EQ(d.data, "hi");
  EXPECT_EQ(d.from.fPort, 20);

  // And an endpoint sending to port 9 reaches the real port.
  EndpointRef client = OpenSync("udp");
  BindSync(client, 0);
  ASSERT_EQ(SendTo(client, 0x7F00001A, 9, "again"), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return OTLook(box) == T_DATA; }));
  EXPECT_EQ(Receive(box).data, "again");
  close(raw);
}

TEST_F(OpenTransport, TcpListenerAcceptsOntoItselfAndEventsComeInOrder) {
  Pair p;
  Connect(p, 0x7F00001B);
  std::vector<OTEventCode> lwant{T_OPENCOMPLETE, T_BINDCOMPLETE, T_LISTEN, T_ACCEPTCOMPLETE};
  std::vector<OTEventCode> cwant{T_OPENCOMPLETE, T_BINDCOMPLETE, T_CONNECT};
  EXPECT_EQ(p.lev.codes, lwant);
  EXPECT_EQ(p.cev.codes, cwant);

  char hello[] = "hello";
  EXPECT_EQ(OTSnd(p.client, hello, 5, 0), 5);
  ASSERT_TRUE(PumpUntil([&] { return p.lev.has(T_DATA); }));
  char buf[16];
  OTFlags f;
  EXPECT_EQ(OTRcv(p.server, buf, sizeof buf, &f), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(OTRcv(p.server, buf, sizeof buf, &f), kOTNoDataErr);
  EXPECT_EQ(OTSnd(p.server, hello, 5, 0), 5);
  ASSERT_TRUE(PumpUntil([&] { return p.cev.has(T_DATA); }));
  EXPECT_EQ(p.lev.count(T_DATA), 1);

  // Wrong calls in the wrong states.
  EXPECT_EQ(OTListen(p.server, nullptr), kOTOutStateErr);
  EXPECT_EQ(OTUnbind(p.server), kOTOutStateErr);
  EXPECT_EQ(OTSndUData(p.server, nullptr), kOTNotSupportedErr);
  EXPECT_EQ(OTRcvOrderlyDisconnect(p.server), kOTNoReleaseErr);
  EXPECT_EQ(OTRcvDisconnect(p.server, nullptr), kOTNoDisconnectErr);
}

TEST_F(OpenTransport, PartialSendsAgainstSlowReaderLoseNothing) {
  Pair p;
  Connect(p, 0x7F00001C);
  std::vector<UInt8> chunk(1 << 20);
  std::string sent;
  bool partial = false, flow = false;
  std::size_t seq = 0;
  while (!flow && sent.size() < (64u << 20)) {
    for (auto& c : chunk) c = UInt8(seq++ * 31 + 7);
    OTResult n = OTSnd(p.client, chunk.data(), OTByteCount(chunk.size()), 0);
    if (n == kOTFlowErr) {
      flow = true;
      break;
    }
    ASSERT_GT(n, 0);
    if (std::size_t(n) < chunk.size()) partial = true;
    sent.append(reinterpret_cast<char*>(chunk.data()), n);
    seq -= chunk.size() - n;
  }
  EXPECT_TRUE(partial);
  EXPECT_TRUE(flow);
  // The reader drains; flow control lifts and the writer hears so.
  std::string got = ReadAll(p.server, sent.size());
  ASSERT_TRUE(PumpUntil([&] { return p.cev.has(T_GODATA); }));
  EXPECT_EQ(got.size(), sent.size());
  EXPECT_TRUE(got == sent);

  tb::OTSetSendCap(10000);
  EXPECT_EQ(OTSnd(p.client, chunk.data(), 16384, 0), 10000);
}

TEST_F(OpenTransport, OrderlyReleaseComesOnlyAfterTheLastData) {
  Pair p;
  Connect(p, 0x7F00001D);
  char req[] = "request";
  ASSERT_EQ(OTSnd(p.client, req, 7, 0), 7);
  ASSERT_EQ(OTSndOrderlyDisconnect(p.client), kOTNoError);
  EXPECT_EQ(OTGetEndpointState(p.client), T_OUTREL);
  EXPECT_EQ(OTSnd(p.client, req, 7, 0), kOTOutStateErr);

  ASSERT_TRUE(PumpUntil([&] { return p.lev.has(T_DATA); }));
  EXPECT_FALSE(p.lev.has(T_ORDREL));
  char buf[32];
  OTFlags f;
  EXPECT_EQ(OTRcv(p.server, buf, sizeof buf, &f), 7);
  EXPECT_EQ(OTRcv(p.server, buf, sizeof buf, &f), kOTLookErr);
  EXPECT_EQ(OTLook(p.server), T_ORDREL);
  ASSERT_EQ(OTRcvOrderlyDisconnect(p.server), kOTNoError);
  EXPECT_EQ(OTGetEndpointState(p.server), T_INREL);
  PumpFor(20);
  EXPECT_FALSE(p.lev.has(T_ORDREL));  // taken by the call before the pump told it

  char reply[] = "reply";
  ASSERT_EQ(OTSnd(p.server, reply, 5, 0), 5);
  ASSERT_EQ(OTSndOrderlyDisconnect(p.server), kOTNoError);
  EXPECT_EQ(OTGetEndpointState(p.server), T_IDLE);
  EXPECT_EQ(ReadAll(p.client, 5), "reply");
  ASSERT_TRUE(PumpUntil([&] { return p.cev.has(T_ORDREL); }));
  ASSERT_EQ(OTRcvOrderlyDisconnect(p.client), kOTNoError);
  EXPECT_EQ(OTGetEndpointState(p.client), T_IDLE);

  ASSERT_EQ(OTUnbind(p.client), kOTNoError);
  ASSERT_EQ(OTUnbind(p.server), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return p.cev.has(T_UNBINDCOMPLETE) && p.lev.has(T_UNBINDCOMPLETE); }));
}

TEST_F(OpenTransport, AbortiveDisconnectAndRefusedConnect) {
  Pair p;
  Connect(p, 0x7F00001E);
  ASSERT_EQ(OTSndDisconnect(p.client, nullptr), kOTNoError);
  EXPECT_EQ(OTGetEndpointState(p.client), T_IDLE);
  ASSERT_TRUE(PumpUntil([&] { return p.cev.has(T_DISCONNECTCOMPLETE) && p.lev.has(T_DISCONNECT); }));
  EXPECT_EQ(p.lev.results.back(), kECONNRESETErr);
  char b[4];
  EXPECT_EQ(OTSnd(p.server, b, 4, 0), kOTLookErr);
  TDiscon dis{};
  ASSERT_EQ(OTRcvDisconnect(p.server, &dis), kOTNoError);
  EXPECT_EQ(dis.reason, kECONNRESETErr);
  EXPECT_EQ(OTGetEndpointState(p.server), T_IDLE);
  EXPECT_EQ(OTSnd(p.server, b, 4, 0), kOTOutStateErr);

  // The same endpoint dials again: nobody listens there.
  HeldPort held(SOCK_STREAM);
  Addr dead(0x7F00001E, held.port());
  TCall call{};
  call.addr = dead.nb();
  ASSERT_EQ(OTConnect(p.client, &call, nullptr), kOTNoDataErr);
  ASSERT_TRUE(PumpUntil([&] { return p.cev.has(T_DISCONNECT); }));
  EXPECT_EQ(p.cev.results.back(), kECONNREFUSEDErr);
  EXPECT_EQ(OTRcvConnect(p.client, nullptr), kOTLookErr);
  ASSERT_EQ(OTRcvDisconnect(p.client, nullptr), kOTNoError);
  EXPECT_EQ(OTUnbind(p.client), kOTNoError);
}

// However the reader stands when the peer resets, its notifier hears of it
// without another read's luck: after the data it has read out, while data
// it was told of lies unread (told once more, and the reset follows the
// data), and after a look that found the reset first.
TEST_F(OpenTransport, APeersResetIsHeardWhateverTheReaderWasDoing) {
  enum class Reader { ReadOut, DataUnread, LookedFirst };
  for (Reader r : {Reader::ReadOut, Reader::DataUnread, Reader::LookedFirst}) {
    SCOPED_TRACE(int(r));
    Pair p;
    Connect(p, 0x7F00001E);
    char b[64];
    OTFlags f;
    char data[] = "partial reply";
    ASSERT_EQ(OTSnd(p.server, data, 13, 0), 13);
    ASSERT_TRUE(PumpUntil([&] { return p.cev.has(T_DATA); }));
    if (r != Reader::DataUnread) {
      EXPECT_EQ(OTRcv(p.client, b, sizeof b, &f), 13);
      EXPECT_EQ(OTRcv(p.client, b, sizeof b, &f), kOTNoDataErr);
    }
    ASSERT_EQ(OTSndDisconnect(p.server, nullptr), kOTNoError);
    if (r == Reader::LookedFirst) {
      // The look sees the reset before any pump has.
      ASSERT_TRUE(PumpUntil([&] { return OTLook(p.client) != 0; }));
      EXPECT_EQ(OTLook(p.client), T_DISCONNECT);
    }
    if (r == Reader::DataUnread) {
      ASSERT_TRUE(PumpUntil([&] { return p.cev.count(T_DATA) == 2; })) << "the reset woke no reader";
      EXPECT_EQ(OTRcv(p.client, b, sizeof b, &f), 13) << "the data came before the reset";
      EXPECT_EQ(OTRcv(p.client, b, sizeof b, &f), kOTLookErr);
    }
    ASSERT_TRUE(PumpUntil([&] { return p.cev.has(T_DISCONNECT); })) << "the reset was not told";
    EXPECT_EQ(p.cev.results.back(), kECONNRESETErr);
    EXPECT_EQ(p.cev.count(T_DISCONNECT), 1);
    ASSERT_EQ(OTRcvDisconnect(p.client, nullptr), kOTNoError);
    EXPECT_EQ(OTGetEndpointState(p.client), T_IDLE);
    OTCloseProvider(p.client);
    OTCloseProvider(p.server);
  }
}

TEST_F(OpenTransport, ClosingInsideTheNotifierAndStaleReferences) {
  Events ev;
  EndpointRef a = OpenAsync("udp", ev);
  Addr req;
  OTBind(a, &req.bind, &req.bind);
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_BINDCOMPLETE); }));
  ev.onEvent = [&](OTEventCode c) {
    if (c == T_DATA) OTCloseProvider(a);
  };
  EndpointRef b = OpenSync("udp");
  BindSync(b, 0);
  ASSERT_EQ(SendTo(b, 0x7F000001, req.a.fPort, "bye"), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_DATA); }));
  PumpFor(20);
  EXPECT_EQ(OTLook(a), kOTBadReferenceErr);
  EXPECT_EQ(OTCloseProvider(a), kOTBadReferenceErr);

  // Events already queued for a closed endpoint are dropped.
  Events ev2;
  EndpointRef c = OpenAsync("udp", ev2);
  OTBind(c, nullptr, nullptr);
  OTCloseProvider(c);
  PumpFor(20);
  EXPECT_FALSE(ev2.has(T_BINDCOMPLETE));

  OSStatus err = 0;
  EXPECT_EQ(OTOpenEndpoint(OTCreateConfiguration("xyz"), 0, nullptr, &err), kOTInvalidEndpointRef);
  EXPECT_EQ(err, kOTBadNameErr);
  EXPECT_EQ(OTAsyncOpenEndpoint(OTCreateConfiguration("udp"), 0, nullptr, nullptr, nullptr), kEINVALErr);
}

TEST_F(OpenTransport, OwnAddressAndDottedText) {
  InetInterfaceInfo info;
  {
    ScopedEnv net("TOOLBOX_NET", "loopback");
    ScopedEnv ip("TOOLBOX_MYIP", nullptr);
    tb::ReloadNetConfig();
    ASSERT_EQ(OTInetGetInterfaceInfo(&info, kDefaultInetInterface), kOTNoError);
    EXPECT_EQ(info.fAddress, kLoop);
  }
  {
    ScopedEnv ip("TOOLBOX_MYIP", "127.0.0.9");
    ASSERT_EQ(OTInetGetInterfaceInfo(&info, 0), kOTNoError);
    EXPECT_EQ(info.fAddress, 0x7F000009u);
  }
  EXPECT_EQ(OTInetGetInterfaceInfo(&info, 3), kOTNotFoundErr);

  InetHost h = 0;
  EXPECT_EQ(OTInetStringToHost("192.168.1.10", &h), kOTNoError);
  EXPECT_EQ(h, 0xC0A8010Au);
  char text[16];
  OTInetHostToString(h, text);
  EXPECT_STREQ(text, "192.168.1.10");
  for (const char* bad : {"", "1.2.3", "256.1.1.1", "a.b.c.d", "1.2.3.4 "})
    EXPECT_EQ(OTInetStringToHost(bad, &h), kOTBadAddressErr) << bad;
}

TEST_F(OpenTransport, EndpointBoundWithQueueMayDialOutFromItsPort) {
  Events lev, cev;
  EndpointRef l = OpenAsync("tcp", lev);
  EndpointRef c = OpenAsync("tcp", cev);
  Addr lreq(0x7F00001F, 0, 1), creq(0x7F00001F, 0, 1);
  OTBind(l, &lreq.bind, &lreq.bind);
  OTBind(c, &creq.bind, &creq.bind);
  ASSERT_TRUE(PumpUntil([&] { return lev.has(T_BINDCOMPLETE) && cev.has(T_BINDCOMPLETE); }));
  Addr dest(0x7F00001F, lreq.a.fPort);
  TCall snd{};
  snd.addr = dest.nb();
  ASSERT_EQ(OTConnect(c, &snd, nullptr), kOTNoDataErr);
  ASSERT_TRUE(PumpUntil([&] { return lev.has(T_LISTEN) && cev.has(T_CONNECT); }));
  InetAddress caller{};
  TCall call{};
  call.addr = TNetbuf{sizeof caller, 0, reinterpret_cast<UInt8*>(&caller)};
  ASSERT_EQ(OTListen(l, &call), kOTNoError);
  EXPECT_EQ(caller.fPort, creq.a.fPort);
  EXPECT_EQ(OTRcvConnect(c, nullptr), kOTNoError);
}

// Address reuse as the print client negotiates it before each bind: a new
// connection may take the local port of one that just ended (TIME_WAIT).
TEST_F(OpenTransport, AddressReuseNegotiatedSynchronouslyAndAsynchronously) {
  struct Opts {
    UInt32 words[10] = {};
    TOptMgmt req{}, ret{};
    UInt32 back[10] = {};
    // One reuse option, then (when asked) one the layer does not know.
    Opts(OTFlags flags, UInt32 value, bool unknown = false) {
      UInt32 reuse[5] = {kOTFourByteOptionSize, INET_IP, IP_REUSEADDR, 0, value};
      UInt32 other[5] = {kOTFourByteOptionSize, INET_IP, 99, 0, 1};
      std::memcpy(words, reuse, sizeof reuse);
      std::memcpy(words + 5, other, sizeof other);
      req.opt = TNetbuf{sizeof words, unknown ? 40u : 20u, reinterpret_cast<UInt8*>(words)};
      req.flags = flags;
      ret.opt = TNetbuf{sizeof back, 0, reinterpret_cast<UInt8*>(back)};
    }
  };
  constexpr InetHost kHost = 0x7F000019;

  // Synchronous: the answer comes back at once, with statuses and values.
  EndpointRef first = OpenSync("tcp");
  Opts yes(T_NEGOTIATE, T_YES, true);
  ASSERT_EQ(OTOptionManagement(first, &yes.req, &yes.ret), kOTNoError);
  EXPECT_EQ(yes.ret.opt.len, 40u);
  EXPECT_EQ(yes.back[3], T_SUCCESS);
  EXPECT_EQ(yes.back[8], T_NOTSUPPORT);
  EXPECT_EQ(yes.ret.flags, T_NOTSUPPORT);  // the worst of them
  Opts now(T_CURRENT, T_NO);
  ASSERT_EQ(OTOptionManagement(first, &now.req, &now.ret), kOTNoError);
  EXPECT_EQ(now.back[4], T_YES);
  EXPECT_EQ(now.ret.flags, T_SUCCESS);
  // Refusals change nothing.
  Opts shortRet(T_NEGOTIATE, T_NO), cut(T_NEGOTIATE, T_NO);
  shortRet.ret.opt.maxlen = 16;
  cut.words[0] = 12;
  EXPECT_EQ(OTOptionManagement(first, &shortRet.req, &shortRet.ret), kOTBufferOverflowErr);
  EXPECT_EQ(OTOptionManagement(first, &cut.req, &cut.ret), kOTBadOptionErr);
  ASSERT_EQ(OTOptionManagement(first, &now.req, &now.ret), kOTNoError);
  EXPECT_EQ(now.back[4], T_YES);

  // The first connection ends from our side, leaving its port in TIME_WAIT.
  InetAddress local = BindSync(first, kHost);
  Events lev;
  EndpointRef listener = OpenAsync("tcp", lev);
  InetAddress served = BindSync(listener, kHost, 0, 1);
  Addr dest(kHost, served.fPort);
  TCall snd{};
  snd.addr = dest.nb();
  OTConnect(first, &snd, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return lev.has(T_LISTEN); }));
  TCall call{};
  ASSERT_EQ(OTListen(listener, &call), kOTNoError);
  ASSERT_EQ(OTAccept(listener, listener, &call), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] {
    OTRcvConnect(first, nullptr);
    return OTGetEndpointState(first) == T_DATAXFER;
  }));
  OTCloseProvider(first);
  ASSERT_TRUE(PumpUntil([&] { return lev.has(T_ORDREL); }));
  OTCloseProvider(listener);
  PumpFor(20);

  // Without reuse the port is still taken...
  EndpointRef plain = OpenSync("tcp");
  Addr again(kHost, local.fPort);
  EXPECT_EQ(OTBind(plain, &again.bind, &again.bind), kOTAddressBusyErr);
  OTCloseProvider(plain);

  // ...with it negotiated asynchronously, the completion comes from the
  // pump and the bind it leads to takes the port.
  Events ev;
  EndpointRef next = OpenAsync("tcp", ev);
  Opts asyncYes(T_NEGOTIATE, T_YES);
  ASSERT_EQ(OTOptionManagement(next, &asyncYes.req, &asyncYes.ret), kOTNoError);
  EXPECT_FALSE(ev.has(T_OPTMGMTCOMPLETE));
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_OPTMGMTCOMPLETE); }));
  EXPECT_EQ(ev.results.back(), kOTNoError);
  EXPECT_EQ(asyncYes.ret.flags, T_SUCCESS);
  Addr reuse(kHost, local.fPort);
  ASSERT_EQ(OTBind(next, &reuse.bind, &reuse.bind), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_BINDCOMPLETE); }));
  EXPECT_EQ(ev.results.back(), kOTNoError);
  EXPECT_EQ(reuse.a.fPort, local.fPort);
  // A refused negotiation completes with its error too.
  Opts bad(T_DEFAULT, T_YES);
  ASSERT_EQ(OTOptionManagement(next, &bad.req, &bad.ret), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev.count(T_OPTMGMTCOMPLETE) == 2; }));
  EXPECT_EQ(ev.results.back(), kOTBadFlagErr);
  OTCloseProvider(next);
}

// No delay and the send buffer, as the print client negotiates them beside
// address reuse: known for TCP endpoints, before and after the bind; a
// datagram endpoint supports neither, but takes the queue of received
// datagrams the JCP client asks for, which a TCP endpoint does not.
TEST_F(OpenTransport, EachKindOfEndpointTakesItsOwnOptions) {
  auto negotiate = [](EndpointRef ep, OTFlags flags, UInt32 value, UInt32* status, OTXTILevel level = INET_TCP,
                      OTXTIName name = TCP_NODELAY) {
    UInt32 words[5] = {kOTFourByteOptionSize, level, name, 0, value}, back[5] = {};
    TOptMgmt req{TNetbuf{sizeof words, sizeof words, reinterpret_cast<UInt8*>(words)}, flags};
    TOptMgmt ret{TNetbuf{sizeof back, 0, reinterpret_cast<UInt8*>(back)}, 0};
    EXPECT_EQ(OTOptionManagement(ep, &req, &ret), kOTNoError);
    *status = back[3];
    return back[4];
  };
  UInt32 status = 0;
  EndpointRef tcp = OpenSync("tcp");
  EXPECT_EQ(negotiate(tcp, T_CURRENT, T_YES, &status), T_NO);
  EXPECT_EQ(negotiate(tcp, T_NEGOTIATE, T_YES, &status), T_YES);
  EXPECT_EQ(status, T_SUCCESS);
  BindSync(tcp, 0x7F000019);
  EXPECT_EQ(negotiate(tcp, T_CURRENT, T_NO, &status), T_YES);
  EXPECT_EQ(negotiate(tcp, T_NEGOTIATE, T_NO, &status), T_NO);
  EXPECT_EQ(negotiate(tcp, T_CURRENT, 0, &status, XTI_GENERIC, XTI_SNDBUF), 0u);
  EXPECT_EQ(negotiate(tcp, T_NEGOTIATE, 8u << 20, &status, XTI_GENERIC, XTI_SNDBUF), 8u << 20);
  EXPECT_EQ(status, T_SUCCESS);
  EXPECT_EQ(negotiate(tcp, T_CURRENT, 0, &status, XTI_GENERIC, XTI_SNDBUF), 8u << 20);
  negotiate(tcp, T_NEGOTIATE, 4u << 20, &status, XTI_GENERIC, XTI_RCVBUF);
  EXPECT_EQ(status, T_NOTSUPPORT);
  OTCloseProvider(tcp);
  EndpointRef udp = OpenSync("udp");
  negotiate(udp, T_NEGOTIATE, T_YES, &status);
  EXPECT_EQ(status, T_NOTSUPPORT);
  negotiate(udp, T_NEGOTIATE, 8u << 20, &status, XTI_GENERIC, XTI_SNDBUF);
  EXPECT_EQ(status, T_NOTSUPPORT);
  EXPECT_EQ(negotiate(udp, T_NEGOTIATE, 4u << 20, &status, XTI_GENERIC, XTI_RCVBUF), 4u << 20);
  EXPECT_EQ(status, T_SUCCESS);
  BindSync(udp, 0x7F000019);
  EXPECT_EQ(negotiate(udp, T_CURRENT, 0, &status, XTI_GENERIC, XTI_RCVBUF), 4u << 20);
  OTCloseProvider(udp);
}

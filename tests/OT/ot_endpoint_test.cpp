// The endpoint wrappers: tick conversions, time stamps and quiet times,
// oversized data, the event order of datagram and TCP endpoints, and their
// release.
#include "OT/OTEndpoint.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"

namespace {

bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    tb::Pump(10);
  }
  return true;
}

class Endpoints : public ::testing::Test {
 protected:
  void SetUp() override {
    tb::ReloadNetConfig();
    ASSERT_EQ(OT_Init(), kOTNoError);
    tb::UseVirtualClock(true);
  }
  void TearDown() override {
    OT_Deinit();
    EXPECT_EQ(tb::OTOpenProviderCount(), 0);
    tb::UseVirtualClock(false);
  }
};

template <class T>
std::unique_ptr<T> Cleared() {
  auto p = std::make_unique<T>();
  std::memset(p.get(), 0, sizeof(T));
  return p;
}

// A synchronous, non-blocking endpoint bound the way the clients bind.
template <class T>
std::unique_ptr<T> OpenBound(SInt16 protocol) {
  auto r = Cleared<T>();
  EXPECT_EQ(OT_OpenEndpoint(&r->epi, protocol, nullptr, nullptr, 0), kOTNoError);
  OTSetNonBlocking(r->epi.epRef);
  EXPECT_EQ(OT_Bind(&r->epi), kOTNoError);
  return r;
}

void NoCall(void*, OTEventCode, OTResult, void*) {}

}  // namespace

TEST(EndpointArithmetic, MilliToTickAndBackAreExactAndTruncate) {
  struct {
    UInt32 ms, ticks;
  } toTicks[] = {{0, 0}, {16, 0}, {17, 1}, {50, 3}, {1000, 60}, {3000, 180}, {2050, 123}, {4294967295u, 257698037}};
  for (auto c : toTicks) EXPECT_EQ(MilliToTick(c.ms), c.ticks) << c.ms;
  struct {
    UInt32 ticks, ms;
  } toMs[] = {{0, 0}, {1, 16}, {60, 1000}, {180, 3000}, {969, 16150}, {4294967295u, 4294967295u}};
  for (auto c : toMs) EXPECT_EQ(TickToMilli(c.ticks), c.ms) << c.ticks;
}

TEST(EndpointArithmetic, ExtractPStrStopsAtZeroCountAndListEnd) {
  const UInt8 zones[] = {3, 'o', 'n', 'e', 3, 't', 'w', 'o', 0, 5, 'l', 'a', 't', 'e', 'r'};
  std::span<const UInt8> list(zones);
  Str255 out;
  struct {
    short index, count;
    std::size_t len;
    short result;
    const char* text;
  } cases[] = {
      {1, -1, sizeof zones, 0, "one"}, {2, -1, sizeof zones, 0, "two"}, {2, 1, sizeof zones, -1, nullptr},
      {3, -1, sizeof zones, -1, nullptr},  // the zero length byte ends the list
      {1, 0, sizeof zones, -1, nullptr},   {0, -1, sizeof zones, -1, nullptr},
      {1, -1, 0, -1, nullptr},             // empty list
      {1, -1, 3, -1, nullptr},             // the first string runs past the bytes given
      {2, -1, 5, -1, nullptr},
  };
  for (auto c : cases) {
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(ExtractPStr(c.index, list.first(c.len), c.count, out), c.result) << c.index << "/" << c.count;
    if (c.text) {
      EXPECT_EQ(pstr::str(out), c.text);
    }
  }
}

TEST_F(Endpoints, OpenRefusesUnknownProtocolAndLeavesTheRecord) {
  auto u = Cleared<UDPEPInfo>();
  auto marker = reinterpret_cast<EndpointRef>(0x1234);
  u->epi.epRef = marker;
  for (SInt16 proto : {SInt16(4), SInt16(-1)}) {
    EXPECT_EQ(OT_OpenEndpoint(&u->epi, proto, &NoCall, nullptr, 1), kOTBadDataErr);
    EXPECT_EQ(u->epi.epRef, marker);
    EXPECT_EQ(u->epi.err, kOTBadDataErr);
  }
  EXPECT_EQ(tb::OTOpenProviderCount(), 0);
  u->epi.epRef = nullptr;
  u->epi.protocol = 7;
  EXPECT_EQ(OT_Bind(&u->epi), kOTBadDataErr);
  EXPECT_EQ(u->epi.prevCallFunc, OT_FUNC_BIND);
}

TEST_F(Endpoints, GetSpentTimeStampsAFreshRecord) {
  auto u = Cleared<UDPEPInfo>();
  EXPECT_EQ(GetSpentTime(&u->epi), 0);
  EXPECT_NE(u->epi.prevTick, 0);
  tb::AdvanceTicks(42);
  EXPECT_EQ(GetSpentTime(&u->epi), 42);
}

TEST_F(Endpoints, DatagramStampsOnlyOnSuccessAndQuietTimeIsNotExtendedByFailedPolls) {
  auto a = OpenBound<UDPEPInfo>(OT_PROTO_UDP);
  auto b = OpenBound<UDPEPInfo>(OT_PROTO_UDP);
  EXPECT_EQ(a->epi.prevCallFunc, OT_FUNC_BIND);
  EXPECT_EQ(a->epi.prevTick, 0);  // bind never stamps
  ASSERT_NE(b->iAddr.fPort, 0);
  InetPort bPort = b->iAddr.fPort;
  InetPort aPort = a->iAddr.fPort;

  UInt8 buf[kUDPBufSize];
  UInt32 len = sizeof buf;
  UInt32 from;
  UInt16 port;
  OTFlags flags;
  EXPECT_EQ(UDP_Rcv(b.get(), &from, &port, buf, &len, &flags), kOTNoDataErr);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(b->epi.prevCallFunc, OT_FUNC_RCVUDATA);
  EXPECT_EQ(b->epi.prevTick, 0);

  EXPECT_EQ(UDP_Snd(a.get(), 0x0A000001, 9, "x", 1), kOTBadAddressErr);
  EXPECT_EQ(a->epi.prevTick, 0);
  std::memcpy(a->sndBuf, "probe", 5);  // built in place, as the clients do
  ASSERT_EQ(UDP_Snd(a.get(), 0x7F000001, bPort, a->sndBuf, 5), kOTNoError);
  EXPECT_EQ(a->epi.prevCallFunc, OT_FUNC_SNDUDATA);
  EXPECT_EQ(a->sndBufLen, 5u);
  EXPECT_EQ(GetSpentTime(&a->epi), 0);

  tb::AdvanceTicks(30);
  ASSERT_TRUE(PumpUntil([&] { return OTLook(b->epi.epRef) == T_DATA; }));
  len = sizeof buf;
  ASSERT_EQ(UDP_Rcv(b.get(), &from, &port, buf, &len, &flags), kOTNoError);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "probe");
  EXPECT_EQ(port, aPort);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b->rcvBuf), b->rcvBufLen), "probe");
  EXPECT_EQ(GetSpentTime(&b->epi), 0);
  EXPECT_EQ(GetSpentTime(&a->epi), 30);

  // A time-out of 1000 ms is 60 quiet ticks; failed polls do not extend it.
  OT_SetTimeout(&b->epi, 1000);
  tb::AdvanceTicks(50);
  len = sizeof buf;
  EXPECT_EQ(UDP_Rcv(b.get(), &from, &port, buf, &len, &flags), kOTNoDataErr);
  tb::AdvanceTicks(11);
  EXPECT_GT(GetSpentTime(&b->epi), SInt32(MilliToTick(b->epi.timeout)));
}

TEST_F(Endpoints, OversizedDataIsRefusedOrCutNeverSplit) {
  auto a = OpenBound<UDPEPInfo>(OT_PROTO_UDP);
  std::vector<UInt8> big(3000, 'A');
  EXPECT_EQ(UDP_Snd(a.get(), 0x7F000001, 9, big.data(), UInt32(big.size())), kOTBadDataErr);
  EXPECT_EQ(a->epi.err, kOTBadDataErr);

  // A box that sends more than the buffer holds: the tail, which could be
  // made to look like a reply, is dropped with it.
  int raw = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(0x7F000001);
  to.sin_port = htons(a->iAddr.fPort);
  std::memcpy(big.data() + 2048, "\x00\x02\x95\x06", 4);
  ASSERT_EQ(sendto(raw, big.data(), big.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 3000);
  close(raw);
  ASSERT_TRUE(PumpUntil([&] { return OTLook(a->epi.epRef) == T_DATA; }));
  UInt8 buf[kUDPBufSize];
  UInt32 len = sizeof buf;
  OTFlags flags = 0;
  ASSERT_EQ(UDP_Rcv(a.get(), nullptr, nullptr, buf, &len, &flags), kOTNoError);
  EXPECT_EQ(len, 2048u);
  EXPECT_EQ(flags & T_MORE, T_MORE);
  len = sizeof buf;
  EXPECT_EQ(UDP_Rcv(a.get(), nullptr, nullptr, buf, &len, &flags), kOTNoDataErr);
}

TEST_F(Endpoints, LookErrorOnSendIsClearedByRcvUDErrAndTheSendRepeated) {
  auto a = OpenBound<UDPEPInfo>(OT_PROTO_UDP);
  auto gone = OpenBound<UDPEPInfo>(OT_PROTO_UDP);
  InetPort deadPort = gone->iAddr.fPort;
  OT_Unbind(&gone->epi);
  ASSERT_EQ(UDP_Snd(a.get(), 0x7F000001, deadPort, "x", 1), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return OTLook(a->epi.epRef) == T_UDERR; }));
  EXPECT_EQ(UDP_Snd(a.get(), 0x7F000001, deadPort, "y", 1), kOTLookErr);
  EXPECT_EQ(OT_RcvUDErr(&a->epi), kOTNoError);
  EXPECT_EQ(UDP_Snd(a.get(), 0x7F000001, deadPort, "y", 1), kOTNoError);
  // Nothing pending: nothing taken.
  auto quiet = OpenBound<UDPEPInfo>(OT_PROTO_UDP);
  EXPECT_EQ(OT_RcvUDErr(&quiet->epi), kOTNoError);
}

// The shared endpoint life of the datagram clients, driven by the notifier.
namespace {
struct UdpClient {
  UDPEPInfo* ep;
  std::vector<OTEventCode> events;
  InetPort target = 0;
  std::string got;
};
void UdpLife(void* ctx, OTEventCode code, OTResult, void* cookie) {
  auto* c = static_cast<UdpClient*>(ctx);
  c->events.push_back(code);
  switch (code) {
    case T_OPENCOMPLETE:
      c->ep->epi.epRef = static_cast<EndpointRef>(cookie);
      OTSetNonBlocking(c->ep->epi.epRef);
      OTSetAsynchronous(c->ep->epi.epRef);
      OT_Bind(&c->ep->epi);
      break;
    case T_BINDCOMPLETE:
      UDP_Snd(c->ep, 0x7F000001, c->target, "ping", 4);
      break;
    case T_DATA: {
      UInt8 buf[kUDPBufSize];
      UInt32 len = sizeof buf;
      UInt32 from;
      UInt16 port;
      OTFlags f;
      while ((len = sizeof buf, UDP_Rcv(c->ep, &from, &port, buf, &len, &f)) == kOTNoError)
        c->got.append(reinterpret_cast<char*>(buf), len);
      OT_KillIOEvent(&c->ep->epi);
      break;
    }
    case OT_FLUSH_COMPLETE:
      OT_Unbind(&c->ep->epi);
      break;
    case T_UNBINDCOMPLETE:
      OT_CloseEndpoint(&c->ep->epi);
      c->ep->epi.epRef = nullptr;
      break;
  }
}
}  // namespace

TEST_F(Endpoints, AsynchronousDatagramLifeRunsInItsEventOrder) {
  auto echo = OpenBound<UDPEPInfo>(OT_PROTO_UDP);
  auto rec = Cleared<UDPEPInfo>();
  UdpClient c{rec.get(), {}, echo->iAddr.fPort, {}};
  ASSERT_EQ(OT_OpenEndpoint(&rec->epi, OT_PROTO_UDP, &UdpLife, &c, 1), kOTNoError);
  EXPECT_EQ(rec->epi.bAsync, 1);
  EXPECT_EQ(rec->epi.epRef, nullptr);  // arrives with open-complete
  ASSERT_TRUE(PumpUntil([&] { return OTLook(echo->epi.epRef) == T_DATA; }));
  EXPECT_EQ(rec->epi.prevCallFunc, OT_FUNC_SNDUDATA);

  UInt8 buf[64];
  UInt32 len = sizeof buf, from;
  UInt16 port;
  OTFlags f;
  ASSERT_EQ(UDP_Rcv(echo.get(), &from, &port, buf, &len, &f), kOTNoError);
  ASSERT_EQ(UDP_Snd(echo.get(), from, port, "pong", 4), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return rec->epi.epRef == nullptr && !c.events.empty(); }));
  std::vector<OTEventCode> want{T_OPENCOMPLETE, T_BINDCOMPLETE, T_DATA, OT_FLUSH_COMPLETE, T_UNBINDCOMPLETE};
  EXPECT_EQ(c.events, want);
  EXPECT_EQ(c.got, "pong");
}

// An FTP-style data listener and a client dialling it, both asynchronous.
namespace {
struct Conn {
  TCPEPInfo* ep;
  bool listener;
  InetPort target = 0;
  std::vector<OTEventCode> events;
  std::vector<OSStatus> results;
  std::string got;
};
void TcpLife(void* ctx, OTEventCode code, OTResult, void* cookie) {
  auto* c = static_cast<Conn*>(ctx);
  EPInfo* epi = &c->ep->epi;
  c->events.push_back(code);
  switch (code) {
    case T_OPENCOMPLETE:
      epi->epRef = static_cast<EndpointRef>(cookie);
      OTSetNonBlocking(epi->epRef);
      OT_Bind(epi);
      break;
    case T_BINDCOMPLETE:
      c->ep->localPort = c->ep->iAddr.fPort;
      if (c->listener)
        c->results.push_back(TCP_Listen(c->ep, OT_GetMyIpAddress(), c->ep->localPort));
      else
        c->results.push_back(TCP_Connect(c->ep, 0x7F000001, c->target));
      break;
    case T_LISTEN:
      c->results.push_back(TCP_Listen(c->ep, OT_GetMyIpAddress(), c->ep->localPort));
      c->results.push_back(TCP_Accept(c->ep));
      break;
    case T_CONNECT:
      c->results.push_back(TCP_RcvConnect(c->ep));
      c->results.push_back(TCP_Snd(c->ep, "file data", 9, 0));
      OT_SndOrderlyDisconnect(epi);
      break;
    case T_DATA: {
      UInt8 buf[64];
      for (;;) {
        UInt32 len = sizeof buf;
        OTFlags f;
        OTResult r = TCP_Rcv(c->ep, buf, &len, &f);
        if (r <= 0) break;
        c->got.append(reinterpret_cast<char*>(buf), len);
      }
      break;
    }
    case T_ORDREL:
      OT_RcvOrderlyDisconnect(epi);
      if (c->listener) OT_SndOrderlyDisconnect(epi);
      OT_Unbind(epi);
      break;
    case T_UNBINDCOMPLETE:
      OT_CloseEndpoint(epi);
      epi->epRef = nullptr;
      break;
  }
}
}  // namespace

TEST_F(Endpoints, ListenerAcceptsOntoItselfAndBothSidesCloseInOrder) {
  auto lrec = Cleared<TCPEPInfo>();
  auto crec = Cleared<TCPEPInfo>();
  Conn l{lrec.get(), true, 0, {}, {}, {}};
  Conn c{crec.get(), false, 0, {}, {}, {}};
  ASSERT_EQ(OT_OpenEndpoint(&lrec->epi, OT_PROTO_TCP, &TcpLife, &l, 1), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return lrec->localPort != 0; }));
  EXPECT_EQ(lrec->epi.prevCallFunc, OT_FUNC_LISTEN);
  EXPECT_EQ(lrec->epi.err, kOTNoDataErr);
  EXPECT_NE(lrec->epi.prevTick, 0);  // listen stamps always
  EXPECT_EQ(lrec->localIpAddr, 0x7F000001u);

  // The client was bound with a queue too, as every endpoint is; it still dials.
  c.target = lrec->localPort;
  ASSERT_EQ(OT_OpenEndpoint(&crec->epi, OT_PROTO_TCP, &TcpLife, &c, 1), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return lrec->epi.epRef == nullptr && crec->epi.epRef == nullptr; }));

  std::vector<OTEventCode> lwant{T_OPENCOMPLETE, T_BINDCOMPLETE, T_LISTEN, T_ACCEPTCOMPLETE,
                                 T_DATA,         T_ORDREL,       T_UNBINDCOMPLETE};
  std::vector<OTEventCode> cwant{T_OPENCOMPLETE, T_BINDCOMPLETE, T_CONNECT, T_ORDREL, T_UNBINDCOMPLETE};
  EXPECT_EQ(l.events, lwant);
  EXPECT_EQ(c.events, cwant);
  std::vector<OSStatus> lres{kOTNoDataErr, kOTNoError, kOTNoError};
  std::vector<OSStatus> cres{kOTNoDataErr, kOTNoError, 9};
  EXPECT_EQ(l.results, lres);
  EXPECT_EQ(c.results, cres);
  EXPECT_EQ(l.got, "file data");
  EXPECT_EQ(crec->remotePort, lrec->localPort);
  EXPECT_EQ(crec->sndBufLen, 9u);
}

TEST_F(Endpoints, TcpSendMovesAtMostOneBufferPerCall) {
  auto l = OpenBound<TCPEPInfo>(OT_PROTO_TCP);
  auto c = OpenBound<TCPEPInfo>(OT_PROTO_TCP);
  EXPECT_EQ(TCP_Listen(l.get(), 0, l->iAddr.fPort), kOTNoDataErr);
  EXPECT_EQ(TCP_Connect(c.get(), 0x7F000001, l->localPort), kOTNoDataErr);
  EXPECT_EQ(c->epi.prevCallFunc, OT_FUNC_CONNECT);
  ASSERT_TRUE(PumpUntil([&] { return OTLook(c->epi.epRef) == T_CONNECT && OTLook(l->epi.epRef) == T_LISTEN; }));
  ASSERT_EQ(TCP_RcvConnect(c.get()), kOTNoError);
  ASSERT_EQ(TCP_Listen(l.get(), 0, l->localPort), kOTNoError);
  ASSERT_EQ(TCP_Accept(l.get()), kOTNoError);

  std::vector<UInt8> data(20000, 'z');
  OTResult n = TCP_Snd(c.get(), data.data(), UInt32(data.size()), 0);
  EXPECT_GT(n, 0);
  EXPECT_LE(n, OTResult(kTCPBufSize));
  EXPECT_EQ(c->sndBufLen, std::min<UInt32>(kTCPBufSize, 20000));

  EXPECT_EQ(OT_SndDisconnect(&c->epi), kOTNoError);
  EXPECT_EQ(c->epi.prevCallFunc, OT_FUNC_SNDDISCONNECT);
  // What arrived before the reset is still read first.
  UInt8 buf[4096];
  UInt32 len;
  OTResult r;
  SInt32 stamped = l->epi.prevTick;
  ASSERT_TRUE(PumpUntil([&] {
    len = sizeof buf;
    tb::AdvanceTicks(1);
    r = TCP_Rcv(l.get(), buf, &len, nullptr);
    if (r > 0) stamped = l->epi.prevTick;
    return r == kOTLookErr;
  }));
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(l->epi.prevTick, stamped);  // the failed read left the stamp
  EXPECT_EQ(OTLook(l->epi.epRef), T_DISCONNECT);
  EXPECT_EQ(OT_RcvDisconnect(&l->epi), kOTNoError);
  EXPECT_EQ(l->epi.prevCallFunc, OT_FUNC_RCVDISCONNECT);
}

TEST_F(Endpoints, DeinitReleasesAllFourNotifierHandlesAndClosesEndpoints) {
  g_endpointNotifyProcJCP = NewOTNotifyUPP(&NoCall);
  g_mapperNotityprocJCP = NewOTNotifyUPP(&NoCall);
  g_endpointNotifyProcNBP = NewOTNotifyUPP(&NoCall);
  g_mapperNotityprocDDP = NewOTNotifyUPP(&NoCall);
  auto u = OpenBound<UDPEPInfo>(OT_PROTO_UDP);
  OT_Deinit();
  EXPECT_EQ(g_endpointNotifyProcJCP, nullptr);
  EXPECT_EQ(g_mapperNotityprocJCP, nullptr);
  EXPECT_EQ(g_endpointNotifyProcNBP, nullptr);
  EXPECT_EQ(g_mapperNotityprocDDP, nullptr);
  EXPECT_EQ(tb::OTOpenProviderCount(), 0);
}

TEST_F(Endpoints, OwnAddressIsLoopbackWhenConfined) {
  testsupport::ScopedEnv net("TOOLBOX_NET", "loopback");
  testsupport::ScopedEnv ip("TOOLBOX_MYIP", nullptr);
  tb::ReloadNetConfig();
  EXPECT_EQ(OT_GetMyIpAddress(), 0x7F000001u);
  InetAddress a;
  OT_InitInetAddress(&a, 21, 0x7F000002);
  EXPECT_EQ(a.fAddressType, kOTInetAddressType);
  EXPECT_EQ(a.fPort, 21);
  EXPECT_EQ(a.fHost, 0x7F000002u);
}

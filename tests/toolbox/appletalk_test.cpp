// The AppleTalk emulation: its configuration file, DDP endpoints and their
// wire format, refused addresses, dynamic sockets and the zone services.
#include "toolbox/appletalk.h"

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
#include "toolbox/pump.h"

using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// A network of this process's own: unicast addresses differ from those of
// tests running side by side. The emulator's tests take their numbers from
// locked blocks below 10000; these stay above them.
UInt16 PrivateNetwork() { return UInt16(0x8000 + getpid() % 0x7E00); }

using testsupport::PumpUntil;

struct Events {
  std::vector<OTEventCode> codes;
  std::vector<OTResult> results;
  std::vector<void*> cookies;
  bool has(OTEventCode c) const { return std::find(codes.begin(), codes.end(), c) != codes.end(); }
};

void Record(void* ctx, OTEventCode code, OTResult result, void* cookie) {
  auto* e = static_cast<Events*>(ctx);
  e->codes.push_back(code);
  e->results.push_back(result);
  e->cookies.push_back(cookie);
}

class AppleTalk : public ::testing::Test {
 protected:
  void SetUp() override {
    net = PrivateNetwork();
    Configure("network = " + std::to_string(net) + "\nnode = 7\nport-base = " + std::to_string(base) + "\n");
    InitOpenTransport();
  }
  void TearDown() override {
    CloseOpenTransport();
    EXPECT_EQ(tb::OTOpenProviderCount(), 0);
    env.reset();
    tb::ReloadAppleTalkConfig();
  }
  void Configure(const std::string& text) {
    WriteFile(dir / "appletalk.conf", text);
    env.reset();
    env = std::make_unique<ScopedEnv>("TOOLBOX_APPLETALK_CONF", (dir / "appletalk.conf").c_str());
    tb::ReloadAppleTalkConfig();
  }

  EndpointRef Open() {
    OSStatus err = -1;
    EndpointRef ep = OTOpenEndpoint(OTCreateConfiguration("ddp"), 0, nullptr, &err);
    EXPECT_EQ(err, kOTNoError);
    if (ep) OTSetNonBlocking(ep);
    return ep;
  }
  DDPAddress Bind(EndpointRef ep, DDPAddress want, OSStatus expect = kOTNoError) {
    TBind b{};
    b.addr = TNetbuf{sizeof want, sizeof want, reinterpret_cast<UInt8*>(&want)};
    EXPECT_EQ(OTBind(ep, &b, &b), expect);
    return want;
  }
  OSStatus Send(EndpointRef ep, DDPAddress to, const std::string& data) {
    TUnitData ud{};
    ud.addr = TNetbuf{sizeof to, sizeof to, reinterpret_cast<UInt8*>(&to)};
    ud.udata = TNetbuf{OTByteCount(data.size()), OTByteCount(data.size()),
                       reinterpret_cast<UInt8*>(const_cast<char*>(data.data()))};
    return OTSndUData(ep, &ud);
  }
  // Waits for one datagram; err kOTNoDataErr when none came.
  struct Got {
    OSStatus err = kOTNoDataErr;
    DDPAddress from{};
    std::string data;
  };
  Got Receive(EndpointRef ep, int ms = 2000) {
    Got g;
    PumpUntil(
        [&] {
          UInt8 buf[1024];
          TUnitData ud{};
          ud.addr = TNetbuf{sizeof g.from, 0, reinterpret_cast<UInt8*>(&g.from)};
          ud.udata = TNetbuf{sizeof buf, 0, buf};
          OTFlags f = 0;
          g.err = OTRcvUData(ep, &ud, &f);
          if (g.err == kOTNoError) g.data.assign(reinterpret_cast<char*>(buf), ud.udata.len);
          return g.err != kOTNoDataErr;
        },
        ms);
    return g;
  }

  TempDir dir;
  std::unique_ptr<ScopedEnv> env;
  UInt16 net = 0;
  UInt16 base = 30000;
};

DDPAddress Ddp(UInt16 net, UInt8 node, UInt8 socket, UInt8 type = 0) {
  return DDPAddress{kOTDDPAddressType, net, node, socket, type, 0};
}

// A raw UDP socket standing where a DDP socket maps to.
int RawSocket(UInt32 host, UInt16 port, bool shared = false) {
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int one = 1;
  if (shared) setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  timeval tv{2, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(host);
  EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << std::strerror(errno);
  return s;
}

UInt32 NodeHost(UInt16 net, UInt8 node) { return (0x7Fu << 24) | (UInt32(net) << 8) | node; }

}  // namespace

TEST_F(AppleTalk, ConfigurationFileWithBadLinesIgnored) {
  Configure(
      "# comment\n"
      "network = 0x1234\n"
      "node = 254\n"             // out of range: default stays
      "port-base = 40000\n"
      "myzone =  Sales # 2  \n"  // a '#' inside a name is part of it
      "zone = Sales # 2\n"
      "zone = " + std::string(33, 'x') + "\n"  // too long
      "zone = Engineering\n"
      "colour = blue\n"
      "no equals sign\n");
  tb::AppleTalkSettings s = tb::AppleTalkConfig();
  EXPECT_EQ(s.network, 0x1234);
  EXPECT_EQ(s.node, 1);
  EXPECT_EQ(s.portBase, 40000);
  EXPECT_EQ(s.myZone, "Sales # 2");
  EXPECT_EQ(s.zones, (std::vector<std::string>{"Sales # 2", "Engineering"}));

  // A zoned network without a list lists its own zone; no file at all is a
  // network without zones.
  Configure("myzone = Lab\n");
  EXPECT_EQ(tb::AppleTalkConfig().zones, std::vector<std::string>{"Lab"});
  env.reset();
  env = std::make_unique<ScopedEnv>("TOOLBOX_APPLETALK_CONF", (dir / "missing.conf").c_str());
  tb::ReloadAppleTalkConfig();
  EXPECT_EQ(tb::AppleTalkConfig().myZone, "*");
  EXPECT_TRUE(tb::AppleTalkConfig().zones.empty());
  env.reset();
  ScopedEnv xdg("XDG_CONFIG_HOME", "/somewhere");
  EXPECT_EQ(tb::AppleTalkConfigPath(), "/somewhere/vemo/appletalk.conf");
}

TEST_F(AppleTalk, EndpointsExchangeDatagramsWithSenderAndType) {
  EndpointRef a = Open();
  EndpointRef b = Open();
  DDPAddress ab = Bind(a, Ddp(0, 0, 0));  // any: own network and node, a dynamic socket
  DDPAddress bb = Bind(b, Ddp(net, 9, 40));
  EXPECT_EQ(ab.fAddressType, kOTDDPAddressType);
  EXPECT_EQ(ab.fNetwork, net);
  EXPECT_EQ(ab.fNodeID, 7);
  EXPECT_GE(ab.fSocket, 128);
  EXPECT_EQ(bb.fNodeID, 9);
  EXPECT_EQ(bb.fSocket, 40);

  ASSERT_EQ(Send(a, Ddp(0, 9, 40, 0xA1), "hello"), kOTNoError);  // network 0: this one
  Got g = Receive(b);
  ASSERT_EQ(g.err, kOTNoError);
  EXPECT_EQ(g.data, "hello");
  EXPECT_EQ(g.from.fAddressType, kOTDDPAddressType);
  EXPECT_EQ(g.from.fNetwork, net);
  EXPECT_EQ(g.from.fNodeID, 7);
  EXPECT_EQ(g.from.fSocket, ab.fSocket);
  EXPECT_EQ(g.from.fDDPType, 0xA1);

  // The NBP form of an address is sent to its DDP part.
  DDPNBPAddress nbpTo{kOTDDPNBPAddressType, net, 7, ab.fSocket, 2, 0, {}};
  TUnitData ud{};
  char data[] = "x";
  ud.addr = TNetbuf{sizeof nbpTo, sizeof nbpTo, reinterpret_cast<UInt8*>(&nbpTo)};
  ud.udata = TNetbuf{1, 1, reinterpret_cast<UInt8*>(data)};
  ASSERT_EQ(OTSndUData(b, &ud), kOTNoError);
  g = Receive(a);
  EXPECT_EQ(g.data, "x");
  EXPECT_EQ(g.from.fDDPType, 2);
}

TEST_F(AppleTalk, BoundTypeFiltersWhatComesAndSetsWhatGoes) {
  EndpointRef nbp = Open();
  EndpointRef any = Open();
  DDPAddress nb = Bind(nbp, Ddp(0, 0, 0, 2));
  DDPAddress ab = Bind(any, Ddp(0, 0, 0, 0));
  EXPECT_EQ(nb.fDDPType, 2);
  ASSERT_EQ(Send(any, Ddp(0, 7, nb.fSocket, 0xA1), "wrong type"), kOTNoError);
  ASSERT_EQ(Send(any, Ddp(0, 7, nb.fSocket, 2), "nbp"), kOTNoError);
  Got g = Receive(nbp);
  EXPECT_EQ(g.data, "nbp");
  EXPECT_EQ(Receive(nbp, 100).err, kOTNoDataErr);

  // Bound to type 2, it sends type 2 whatever the destination says.
  ASSERT_EQ(Send(nbp, Ddp(0, 7, ab.fSocket, 0xA1), "reply"), kOTNoError);
  g = Receive(any);
  EXPECT_EQ(g.data, "reply");
  EXPECT_EQ(g.from.fDDPType, 2);
}

TEST_F(AppleTalk, WireFormatBroadcastAndForeignPackets) {
  EndpointRef ep = Open();
  DDPAddress me = Bind(ep, Ddp(0, 0, 0));
  // Node 255 is the loopback broadcast at the socket's port.
  int listener = RawSocket(0x7FFFFFFF, UInt16(base + 2), true);
  ASSERT_EQ(Send(ep, Ddp(0, 255, 2, 2), "lookup"), kOTNoError);
  UInt8 buf[1024];
  sockaddr_in from{};
  ssize_t n;
  do {  // tests side by side broadcast on the same port from other networks
    socklen_t fl = sizeof from;
    n = recvfrom(listener, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fl);
  } while (n >= 0 && ntohl(from.sin_addr.s_addr) != NodeHost(net, 7));
  ASSERT_EQ(n, 8);
  EXPECT_EQ(buf[0], 0xDD);
  EXPECT_EQ(buf[1], 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf + 2), 6), "lookup");
  EXPECT_EQ(ntohl(from.sin_addr.s_addr), NodeHost(net, 7));
  EXPECT_EQ(ntohs(from.sin_port), base + me.fSocket);
  close(listener);

  // Datagrams without the mark, too short, or from a port outside the DDP
  // sockets are dropped; a well-formed one from a raw peer gets through.
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(UInt16(base + me.fSocket));
  to.sin_addr.s_addr = htonl(NodeHost(net, 7));
  int outsider = RawSocket(NodeHost(net, 20), 0);
  int peer = RawSocket(NodeHost(net, 20), UInt16(base + 30));
  const UInt8 noMark[] = {0xDE, 0, 'a'};
  const UInt8 tooShort[] = {0xDD};
  const UInt8 good[] = {0xDD, 0x42, 'o', 'k'};
  sendto(peer, noMark, sizeof noMark, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  sendto(peer, tooShort, sizeof tooShort, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  sendto(outsider, good, sizeof good, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  sendto(peer, good, sizeof good, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  Got g = Receive(ep);
  ASSERT_EQ(g.err, kOTNoError);
  EXPECT_EQ(g.data, "ok");
  EXPECT_EQ(g.from.fNodeID, 20);
  EXPECT_EQ(g.from.fSocket, 30);
  EXPECT_EQ(g.from.fDDPType, 0x42);
  EXPECT_EQ(Receive(ep, 100).err, kOTNoDataErr);
  close(outsider);
  close(peer);
}

TEST_F(AppleTalk, RefusedAddressesAndSizes) {
  EndpointRef ep = Open();
  Bind(ep, Ddp(0, 0, 0));
  struct Case {
    DDPAddress to;
    OSStatus want;
  } cases[] = {
      {Ddp(0, 0, 10), kOTBadAddressErr},        // node 0
      {Ddp(0, 7, 0), kOTBadAddressErr},         // socket 0
      {Ddp(0, 7, 255), kOTBadAddressErr},       // socket 255
      {Ddp(0xFF00, 7, 10), kOTBadAddressErr},   // a start-up network
      {DDPAddress{kOTInetAddressType, 0, 7, 10, 0, 0}, kOTBadAddressErr},
  };
  for (const Case& c : cases) EXPECT_EQ(Send(ep, c.to, "x"), c.want) << int(c.to.fNodeID) << "/" << int(c.to.fSocket);
  EXPECT_EQ(Send(ep, Ddp(0, 7, 10), std::string(kDDPMaxData + 1, 'x')), kOTBadDataErr);

  // A socket in use, a node DDP does not give to hosts, a short record.
  EndpointRef a = Open();
  EndpointRef b = Open();
  Bind(a, Ddp(0, 0, 50));
  DDPAddress refused = Bind(b, Ddp(0, 0, 50), kOTAddressBusyErr);
  EXPECT_EQ(refused.fSocket, 0);
  EXPECT_EQ(OTUnbind(b), kOTNoError);
  Bind(b, Ddp(0, 255, 0), kOTBadAddressErr);
  UInt8 shortRec[4] = {1, 0, 0, 0};
  TBind req{};
  req.addr = TNetbuf{sizeof shortRec, sizeof shortRec, shortRec};
  EXPECT_EQ(OTBind(b, &req, nullptr), kOTBadAddressErr);
}

TEST_F(AppleTalk, DynamicSocketsAreHandedOutInTurn) {
  EndpointRef ep = Open();
  UInt8 first = Bind(ep, Ddp(0, 0, 0)).fSocket;
  ASSERT_EQ(OTUnbind(ep), kOTNoError);
  UInt8 second = Bind(ep, Ddp(0, 0, 0)).fSocket;
  EXPECT_NE(first, second);
  EXPECT_GE(second, 128);
}

TEST_F(AppleTalk, AsyncEndpointEventsAndUndeliverableDatagram) {
  Events ev;
  ASSERT_EQ(OTAsyncOpenEndpoint(OTCreateConfiguration("ddp"), 0, nullptr, &Record, &ev), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_OPENCOMPLETE); }));
  auto ep = static_cast<EndpointRef>(ev.cookies[0]);
  OTSetNonBlocking(ep);
  DDPAddress me{};
  TBind b{};
  b.addr = TNetbuf{sizeof me, 0, reinterpret_cast<UInt8*>(&me)};
  ASSERT_EQ(OTBind(ep, nullptr, &b), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_BINDCOMPLETE); }));
  EXPECT_EQ(me.fNodeID, 7);

  ASSERT_EQ(Send(ep, Ddp(0, 7, me.fSocket, 0xA1), "self"), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_DATA); }));
  EXPECT_EQ(Receive(ep).data, "self");
  EXPECT_EQ(Receive(ep, 0).err, kOTNoDataErr);  // re-arms the events

  // Nobody at the target: a unit-data error naming it.
  ASSERT_EQ(Send(ep, Ddp(0, 7, 99), "lost"), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_UDERR); }));
  DDPAddress target{};
  TUDErr err{};
  err.addr = TNetbuf{sizeof target, 0, reinterpret_cast<UInt8*>(&target)};
  ASSERT_EQ(OTRcvUDErr(ep, &err), kOTNoError);
  EXPECT_EQ(target.fNodeID, 7);
  EXPECT_EQ(target.fSocket, 99);
  EXPECT_EQ(err.error, kECONNREFUSEDErr);
}

TEST_F(AppleTalk, ServicesGiveOwnZoneAndZoneList) {
  Configure("myzone = Sales\nzone = Engineering\nzone = Sales\nzone = Z\n");
  OSStatus err = -1;
  ATSvcRef svc = OTOpenAppleTalkServices(kDefaultAppleTalkServicesPath, 0, &err);
  ASSERT_EQ(err, kOTNoError);
  UInt8 buf[64];
  TNetbuf nb{sizeof buf, 0, buf};
  ASSERT_EQ(OTATalkGetMyZone(svc, &nb), kOTNoError);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), nb.len), "\x05Sales");
  nb = TNetbuf{sizeof buf, 0, buf};
  ASSERT_EQ(OTATalkGetZoneList(svc, &nb), kOTNoError);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), nb.len), "\x0B" "Engineering\x05Sales\x01Z");

  // Too little room: the whole names that fit, and the overflow.
  nb = TNetbuf{15, 0, buf};
  EXPECT_EQ(OTATalkGetZoneList(svc, &nb), kOTBufferOverflowErr);
  EXPECT_EQ(nb.len, 12u);
  nb = TNetbuf{3, 0, buf};
  EXPECT_EQ(OTATalkGetMyZone(svc, &nb), kOTBufferOverflowErr);
  EXPECT_EQ(nb.len, 0u);
  EXPECT_EQ(OTATalkGetMyZone(svc, nullptr), kOTBadDataErr);
  OTCloseProvider(svc);
  EXPECT_EQ(OTATalkGetMyZone(svc, &nb), kOTBadReferenceErr);

  // A network without zones: the own zone is "*" and the list is empty.
  Configure("");
  svc = OTOpenAppleTalkServices(nullptr, 0, &err);
  nb = TNetbuf{sizeof buf, 0, buf};
  ASSERT_EQ(OTATalkGetMyZone(svc, &nb), kOTNoError);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), nb.len), "\x01*");
  nb = TNetbuf{sizeof buf, 0, buf};
  ASSERT_EQ(OTATalkGetZoneList(svc, &nb), kOTNoError);
  EXPECT_EQ(nb.len, 0u);
  OTCloseProvider(svc);
}

TEST_F(AppleTalk, AsyncServicesCompleteThroughTheNotifier) {
  Configure("myzone = Lab\nzone = Lab\nzone = Office\n");
  Events ev;
  ASSERT_EQ(OTAsyncOpenAppleTalkServices(nullptr, 0, &Record, &ev), kOTNoError);
  EXPECT_TRUE(ev.codes.empty());  // never inside the call
  ASSERT_TRUE(PumpUntil([&] { return ev.has(T_OPENCOMPLETE); }));
  auto svc = static_cast<ATSvcRef>(ev.cookies[0]);
  UInt8 zone[40], list[40];
  TNetbuf z{sizeof zone, 0, zone}, l{sizeof list, 0, list};
  ASSERT_EQ(OTATalkGetMyZone(svc, &z), kOTNoError);
  ASSERT_EQ(OTATalkGetZoneList(svc, &l), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ev.codes.size() == 3; }));
  EXPECT_EQ(ev.codes[1], T_GETMYZONECOMPLETE);
  EXPECT_EQ(ev.cookies[1], &z);
  EXPECT_EQ(ev.codes[2], T_GETZONELISTCOMPLETE);
  EXPECT_EQ(ev.results[2], kOTNoError);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(list), l.len), "\x03Lab\x06Office");

  // Closed before the completion is told: nothing more is heard.
  ASSERT_EQ(OTATalkGetMyZone(svc, &z), kOTNoError);
  OTCloseProvider(svc);
  tb::Pump(0);
  EXPECT_EQ(ev.codes.size(), 3u);
  EXPECT_EQ(OTAsyncOpenAppleTalkServices(nullptr, 0, nullptr, nullptr), kEINVALErr);
}

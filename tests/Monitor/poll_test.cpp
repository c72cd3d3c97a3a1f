// Status polling against emulated print boxes, on the virtual clock: the
// interval and wait limit, the request per model, resends, a printer that
// goes silent shows lost and then recovers, information only on the detail
// page, a box of the old version on port 9, a box over AppleTalk.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "atalk_harness.h"
#include "Monitor/StatusPoll.h"
#include "pboxemu/emulator.h"
#include "settle.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"

namespace {

struct Views {
  int status = 0, error = 0, info = 0;
};
Views* gViews = nullptr;

const StatusPollHooks kHooks = {
    nullptr,
    nullptr,
    [](PSTATUS_WND_INFO*) { ++gViews->status; },
    [](PSTATUS_WND_INFO*) { ++gViews->error; },
    [](PSTATUS_WND_INFO*) { ++gViews->info; },
};

class Polling : public ::testing::Test {
 protected:
  Polling() : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()), home_("HOME", dir_.path().c_str()) {
    tb::ReloadNetConfig();
    OT_Init();
    tb::UseVirtualClock(true);
    gViews = &views;
    rec.jcpStat = &stat_;
    rec.jcpInfo = &info_;
    rec.hooks = &kHooks;
    rec.configData.statUpdate = 1000;  // 60 ticks, waits of 300
  }
  ~Polling() override {
    for (JCPEPInfo* c : {&stat_, &info_}) {
      JCP_KillIOEvent(c);
      testsupport::PumpUntil([c] { return JCP_IsTerminated(c) != 0; }, 2000);
    }
    emu.Stop();
    gViews = nullptr;
    tb::UseVirtualClock(false);
    OT_Deinit();
    tb::ReloadNetConfig();
  }

  void Start() {
    std::string err;
    ASSERT_TRUE(emu.Start(&err)) << err;
  }

  // The record of emulated box i, as a search would have registered it.
  void Watch(int i) {
    PBOXinfo& b = rec.pbox;
    b = PBOXinfo{};
    b.pbi_inuse = 1;
    b.pbi_hash = 1;
    auto type = emu.BoxMachineType(i);
    std::memcpy(b.pbi_machine_type, type.data(), 16);
    auto mac = emu.BoxMac(i);
    std::memcpy(b.pbi_nodeaddr, mac.data(), 6);
    b.pbi_ip_addr = emu.BoxAddress(i);
    b.pbi_socket = emu.BoxPort(i);
    b.protocol_Type_Num = PBOX_PROTO_TCPIP;
  }

  // Passes of the event loop, each after the exchange went quiet, the clock
  // moving step ticks between them.
  void Run(int passes, UInt32 step) {
    for (int i = 0; i < passes; ++i) {
      ASSERT_TRUE(ottest::Settle(emu, [this] { Update_Status_Window_Info(&rec); }));
      tb::AdvanceTicks(step);
    }
    ASSERT_TRUE(ottest::Settle(emu, [this] { Update_Status_Window_Info(&rec); }));
  }

  int Requests(int box, const std::string& text) {
    int n = 0;
    for (const auto& r : emu.Requests(box))
      n += r.kind == pboxemu::RequestRecord::Command && r.cond == 1 && r.command == text;
    return n;
  }

  testsupport::ScopedEnv ports_;
  testsupport::TempDir dir_;
  testsupport::ScopedEnv home_;
  pboxemu::Emulator emu;
  JCPEPInfo stat_{}, info_{};
  PSTATUS_WND_INFO rec;
  Views views;
};

std::array<UInt8, 16> Type(const char* text, UInt8 sub = 0x50) {
  std::array<UInt8, 16> t{};
  std::memcpy(t.data(), text, std::strlen(text));
  t[15] = sub;
  return t;
}

}  // namespace

TEST_F(Polling, IntervalRequestsPerModelAndDecoding) {
  struct Case {
    const char* type;
    const char* status;
    const char* info;
    int icType;
  };
  const Case cases[] = {
      {"VEMOPLEX[C]", "GET STATUS:PLUM7 STAT", "GET STATUS:IRIS INFO", 2},
      {"VEMOPLEX[DII]", "GET STATUS:QSV-D STAT", "GET STATUS:IRIS INFO", 5},
      {"VEMOPLEX[E]", "GET STATUS:QSV-D STAT", "GET STATUS:IRIS INFO", 5},
      {"VEMOPLEX  QSV-B", "GET STATUS:PLUM7 STAT", "GET STATUS:IRIS INFO", 1},
      {"VEMOPLEX-OLD", "GET STATUS:PLUM7 STAT", "GET STATUS:PLUM7 INFO", 0},
  };
  for (const Case& c : cases) {
    pboxemu::BoxSpec d;
    d.hasMachineType = true;
    d.machineType = Type(c.type);
    emu.AddBox(d);
  }
  Start();
  for (int i = 0; i < int(std::size(cases)); ++i) {
    SCOPED_TRACE(cases[i].type);
    rec = PSTATUS_WND_INFO{};
    rec.jcpStat = &stat_;
    rec.jcpInfo = &info_;
    rec.hooks = &kHooks;
    rec.configData.statUpdate = 1000;
    rec.activePage = kPageDetail;
    views = {};
    Watch(i);
    tb::AdvanceTicks(61);
    Run(0, 0);
    EXPECT_EQ(views.status, 1);
    EXPECT_EQ(views.info, 1);
    EXPECT_EQ(Requests(i, cases[i].status), 1);
    EXPECT_EQ(Requests(i, cases[i].info), 1);
    EXPECT_EQ(rec.info.IcType, cases[i].icType);
    EXPECT_EQ(rec.info.MainReady, 1);
    EXPECT_EQ(rec.decodeResult, 0x11);
    EXPECT_EQ(rec.netInfo.pMac[5], emu.BoxMac(i)[5]);
    // Nothing more until more than the interval has passed.
    Run(6, 10);
    EXPECT_EQ(Requests(i, cases[i].status), 1);
    Run(1, 1);
    EXPECT_EQ(Requests(i, cases[i].status), 2);
  }
  // A new state shows on the next cycle, and the status bytes are published.
  emu.SetPrinterState(0, pboxemu::PrinterState::PaperOut);
  rec = PSTATUS_WND_INFO{};
  rec.jcpStat = &stat_;
  rec.jcpInfo = &info_;
  rec.configData.statUpdate = 1000;
  Watch(0);
  tb::AdvanceTicks(61);
  Run(0, 0);
  EXPECT_EQ(rec.info.MSPaperOut, 16);
  const char* home = std::getenv("HOME");
  ASSERT_NE(home, nullptr);
  auto mac = emu.BoxMac(0);
  char file[32];
  std::snprintf(file, sizeof file, "V%02X%02X%02X%02X%02X%02X.vsf", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(home) / "MONITOR-STATUS" / file));
}

TEST_F(Polling, InformationOnlyOnTheDetailPage) {
  emu.AddBox();
  Start();
  Watch(0);
  rec.activePage = kPageStatus;
  tb::AdvanceTicks(61);
  Run(5, 61);
  EXPECT_EQ(Requests(0, "GET STATUS:IRIS INFO"), 0);
  EXPECT_GE(views.status, 5);
  rec.activePage = kPageDetail;
  Run(0, 0);
  EXPECT_EQ(Requests(0, "GET STATUS:IRIS INFO"), 1);
  EXPECT_EQ(views.info, 1);
}

// A printer that goes silent, or that answers and then never answers the
// closing request, is lost after the wait limit (a time-out is no reply, even
// one that ends the exchange); it recovers when it answers again.
TEST_F(Polling, SilentPrinterIsLostThenRecovers) {
  emu.AddBox();
  Start();
  Watch(0);
  tb::AdvanceTicks(61);
  Run(0, 0);
  ASSERT_EQ(views.status, 1);
  int blocks = 0;  // data requests of one exchange
  for (const auto& r : emu.Requests(0)) blocks += r.kind == pboxemu::RequestRecord::Command && r.cond != 3;
  struct Case {
    const char* name;
    bool atTheClose;
    int asks;  // the lost request and the notifier's resends of the opening request
  };
  for (const Case& c : {Case{"silent", false, 3}, Case{"silent at the close", true, 1}}) {
    SCOPED_TRACE(c.name);
    const Views before = views;
    const int asked = Requests(0, "GET STATUS:PLUM7 STAT");
    if (c.atTheClose) {
      pboxemu::FaultSpec close;
      close.mode = pboxemu::Fault::Drop;
      close.skip = blocks;
      emu.SetFault(0, close);
    } else {
      emu.SetPrinterState(0, pboxemu::PrinterState::Lost);
    }
    Run(7, 10);  // the next request goes out
    UInt32 sent = rec.statUpTick;
    int passes = 0;
    while (views.error == before.error && passes++ < 100) Run(1, 10);
    ASSERT_EQ(views.error, before.error + 1);
    EXPECT_EQ(views.status, before.status);
    EXPECT_EQ(rec.monitorOpen, 1);
    EXPECT_GE(TickCount() - sent, 300u);  // not before the wait limit
    // And the next cycle's, which goes out at once.
    EXPECT_EQ(Requests(0, "GET STATUS:PLUM7 STAT"), asked + c.asks + 1);

    emu.ClearFaults();
    emu.SetPrinterState(0, pboxemu::PrinterState::CoverOpen);
    passes = 0;
    while (views.status == before.status && passes++ < 50) Run(1, 10);
    // A resend's answer may be followed at once by the next cycle's, as the
    // interval counts from the send.
    EXPECT_GE(views.status, before.status + 1);
    EXPECT_EQ(rec.monitorOpen, 0);
    EXPECT_EQ(rec.info.MainStsErr, 2);
    EXPECT_EQ(views.error, before.error + 1);
    emu.SetPrinterState(0, pboxemu::PrinterState::Ready);
    Run(7, 10);
  }

  // With an interval of 600 ms the wait limit (180 ticks) ends as the last
  // try times out: the window declares the printer lost while that try's
  // time-out is still to be reported, and the report must not send the
  // cancelled request again (nothing would ever end it, and no request
  // would go out again).
  rec.configData.statUpdate = 600;
  const Views before = views;
  emu.SetPrinterState(0, pboxemu::PrinterState::Lost);
  for (int passes = 0; views.error == before.error && passes < 20; ++passes) Run(1, 180);
  ASSERT_EQ(views.error, before.error + 1);
  emu.SetPrinterState(0, pboxemu::PrinterState::Ready);
  for (int passes = 0; views.status == before.status && passes < 20; ++passes) Run(1, 180);
  EXPECT_GT(views.status, before.status);
  EXPECT_EQ(rec.monitorOpen, 0);
}

// A send that cannot go out (no address) leaves the window idle, never lost.
TEST_F(Polling, UnaskablePrintersAreNotPolled) {
  emu.AddBox();
  Start();
  Watch(0);
  rec.activePage = kPageDetail;
  rec.pbox.pbi_ip_addr = 0;
  tb::AdvanceTicks(61);
  Run(20, 61);
  EXPECT_EQ(views.status + views.error + views.info, 0);
  EXPECT_EQ(emu.MonitorRequests(0), 0);
  Watch(0);
  rec.pbox.protocol_Type_Num = 7;  // neither IP nor AppleTalk: the send fails
  rec.pbox.pbi_ip_addr = 0x7F000001;
  Run(20, 61);
  EXPECT_EQ(views.error, 0);
  EXPECT_EQ(rec.sendStat + rec.sendInfo, 0);
}

TEST_F(Polling, OldVersionBoxOnPort9) {
  pboxemu::BoxSpec d;
  d.oldVersion = true;
  emu.AddBox(d);
  Start();
  Watch(0);
  rec.configData.oldVerCompati = 1;
  EXPECT_EQ(Request_Port(&rec.configData), 9);
  tb::AdvanceTicks(61);
  Run(0, 0);
  EXPECT_EQ(views.status, 1);
  EXPECT_EQ(rec.info.MainReady, 1);
}

TEST_F(Polling, BoxOverAppleTalk) {
  atalktest::AppleTalkEnv at;
  pboxemu::BoxSpec d;
  d.appleTalk = true;
  d.hasMachineType = true;
  d.machineType = Type("VEMOPLEX[DII]");
  emu.AddBox(d);
  Start();
  Watch(0);
  rec.pbox.protocol_Type_Num = PBOX_PROTO_ATALK;
  rec.pbox.pbi_ip_addr = 0;
  rec.pbox.ddpABlock = {emu.BoxNetwork(0), emu.BoxNode(0), emu.BoxDdpSocket(0)};
  rec.activePage = kPageDetail;
  emu.SetPrinterState(0, pboxemu::PrinterState::Printing);
  tb::AdvanceTicks(61);
  Run(0, 0);
  EXPECT_EQ(views.status, 1);
  EXPECT_EQ(views.info, 1);
  EXPECT_EQ(rec.info.MainStsBas, 1);
  EXPECT_EQ(rec.info.SubSendData, 1500000u);
  EXPECT_EQ(rec.netInfo.bTcpExt, 1);  // the level-5 walk
}

// The monitor's print-box search against emulated boxes: the broadcast list
// over UDP, and AppleTalk hits registered with the address they answer on.
#include <gtest/gtest.h>

#include <cstring>

#include "atalk_harness.h"
#include "common/AppGlobals.h"
#include "Monitor/StatusSearch.h"
#include "OT/JCPCommand.h"
#include "pboxemu/emulator.h"
#include "settle.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"

namespace {

class Search : public ::testing::Test {
 protected:
  Search() : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()) {
    tb::ReloadNetConfig();
    OT_Init();
    tb::UseVirtualClock(true);
    InitPBOXtable(table, 8);
  }
  ~Search() override {
    JCP_KillIOEvent(&ctx);
    testsupport::PumpUntil([this] { return JCP_IsTerminated(&ctx) != 0; }, 2000);
    emu.Stop();
    tb::UseVirtualClock(false);
    OT_Deinit();
    tb::ReloadNetConfig();
  }
  void RunToEnd() {
    for (int i = 0; i < 40 && !JCP_IsTerminated(&ctx); ++i) {
      ottest::Settle(emu, [this] {
        if (!ctx.isComplete || JCP_IsOpening(&ctx)) JCP_PendingLoop(&ctx);
      });
      tb::AdvanceTicks(10);
    }
  }
  testsupport::ScopedEnv ports_;
  pboxemu::Emulator emu;
  JCPEPInfo ctx{};
  PBOXinfo table[8];
  CONFIGURATION config{};
};

}  // namespace

TEST_F(Search, BroadcastListOverUdp) {
  emu.AddBoxes(3);
  std::string err;
  ASSERT_TRUE(emu.Start(&err)) << err;
  EnvInfo = SETUPINFO{};
  EnvInfo.tcp_count = 1;
  std::strcpy(EnvInfo.broadcast[0], "255.255.255.255");
  ASSERT_EQ(SearchPBOX(&config, &ctx, table, 8, PBOX_PROTO_TCPIP), 1);
  RunToEnd();
  EXPECT_EQ(ctx.found, 3);
  int listed = 0;
  for (const PBOXinfo& b : table) listed += b.pbi_inuse && b.protocol_Type_Num == PBOX_PROTO_TCPIP;
  EXPECT_EQ(listed, 3);
  EXPECT_EQ(SearchPBOX(&config, nullptr, table, 8, PBOX_PROTO_TCPIP), 0);
}

TEST_F(Search, AppleTalkHitsKeepTheirAddress) {
  atalktest::AppleTalkEnv at;
  pboxemu::BoxSpec d;
  d.appleTalk = true;
  emu.AddBox(d);
  std::string err;
  ASSERT_TRUE(emu.Start(&err)) << err;
  ASSERT_EQ(SearchPBOX(&config, &ctx, table, 8, PBOX_PROTO_ATALK), 1);
  RunToEnd();
  ASSERT_EQ(ctx.found, 1);
  EXPECT_EQ(table[0].protocol_Type_Num, PBOX_PROTO_ATALK);
  EXPECT_EQ(table[0].ddpABlock.aNet, emu.BoxNetwork(0));
  EXPECT_EQ(table[0].ddpABlock.aNode, emu.BoxNode(0));
  EXPECT_EQ(table[0].ddpABlock.aSocket, emu.BoxDdpSocket(0));
}

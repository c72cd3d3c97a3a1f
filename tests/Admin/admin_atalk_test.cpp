// The search and the commands over AppleTalk: boxes found by name lookup in
// the configured zone are listed, and commands reach them over DDP.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/DeviceCommand.h"
#include "Admin/MainWindow.h"
#include "Admin/SearchConfig.h"
#include "common/Context.h"
#include "admin_harness.h"
#include "atalk_harness.h"
#include "pboxemu/emulator.h"
#include "settle.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"
#include "toolbox/resources.h"

namespace {

using admintest::Bundle;

class AdminAppleTalk : public ::testing::Test {
 protected:
  AdminAppleTalk() : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()) {
    tb::ReloadNetConfig();
    tb::UseVirtualClock(true);
  }
  ~AdminAppleTalk() override {
    DeinitMain();
    emu.Stop();
    tb::UseVirtualClock(false);
    tb::ResetResources();
    tb::ReloadNetConfig();
  }

  testsupport::ScopedEnv ports_;
  atalktest::AppleTalkEnv env{"myzone = Sales\nzone = Sales\nzone = Lab\n"};
  pboxemu::Emulator emu;
};

TEST_F(AdminAppleTalk, BoxesOfTheZoneAreListedAndAnswerCommandsOverDdp) {
  tb::ResetResources();
  Appl_Rsrc_Fork_No = tb::OpenApplicationResources(Bundle() + "/Contents/Resources/VEMO-ADMIN.rsrc");
  ASSERT_GE(Appl_Rsrc_Fork_No, 0);
  std::strcpy(IniFileName, (Bundle() + "/Contents/Resources/English/Admin.ini").c_str());
  ConfigData = CONFIGURATION{500, 1, 60, 0x7FFFFFFFu, 0, 0, 1, 1, "Sales"};
  Get_NameCheck_Info();
  for (const char* zone : {"Sales", "Sales", "Lab"}) {
    pboxemu::BoxSpec d;
    d.appleTalk = true;
    d.zone = zone;
    d.name = std::string("AT ") + zone + std::to_string(emu.BoxCount());
    emu.AddBox(d);
  }
  std::string err;
  ASSERT_TRUE(emu.Start(&err)) << err;
  ASSERT_EQ(Open_Main_Window(), 1);
  for (int i = 0; i < 6; ++i) {
    ottest::Settle(emu, [] { Update_Main_Dialog(); });
    tb::AdvanceTicks(31);
  }
  ottest::Settle(emu, [] { Update_Main_Dialog(); });
  ASSERT_EQ(CLGetCount(mainTbl.pservList), 2);  // only the boxes of zone Sales
  PBOXinfo* box = reinterpret_cast<PBOXinfo*>(CLGetReference(mainTbl.pservList, 0));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->protocol_Type_Num, PBOX_PROTO_ATALK);
  EXPECT_NE(box->ddpABlock.aNode, 0);

  auto clock = ottest::SettledClock(emu);
  EXPECT_EQ(PollToPBOX(box), 0);
  EXPECT_EQ(ExecCmdToPBOX(box, "EXEC PRINT DIAGNOSTIC:"), 0);
  int printed = 0;
  for (int i = 0; i < emu.BoxCount(); ++i) printed += emu.Executed(i, "EXEC PRINT DIAGNOSTIC:");
  EXPECT_EQ(printed, 1);
}

// A box of the chosen zone on another network, behind the router: found,
// listed with its own network number, commanded, and its settings read and
// saved over DDP.
TEST_F(AdminAppleTalk, ABoxOnAnotherNetworkIsFoundCommandedAndSaved) {
  tb::ResetResources();
  Appl_Rsrc_Fork_No = tb::OpenApplicationResources(Bundle() + "/Contents/Resources/VEMO-ADMIN.rsrc");
  ASSERT_GE(Appl_Rsrc_Fork_No, 0);
  std::strcpy(IniFileName, (Bundle() + "/Contents/Resources/English/Admin.ini").c_str());
  ConfigData = CONFIGURATION{500, 1, 60, 0x7FFFFFFFu, 0, 0, 1, 1, "Lab"};
  Get_NameCheck_Info();
  pboxemu::BoxSpec far, near;
  far.appleTalk = near.appleTalk = true;
  far.zone = "Lab";
  far.name = "AT far";
  far.atNetwork = UInt16(env.net + 1);
  near.zone = "Sales";
  near.name = "AT near";
  emu.AddBox(far);
  emu.AddBox(near);
  std::string err;
  ASSERT_TRUE(emu.Start(&err)) << err;
  ASSERT_EQ(emu.BoxNetwork(0), env.net + 1);
  ASSERT_EQ(Open_Main_Window(), 1);
  for (int i = 0; i < 6; ++i) {
    ottest::Settle(emu, [] { Update_Main_Dialog(); });
    tb::AdvanceTicks(31);
  }
  ottest::Settle(emu, [] { Update_Main_Dialog(); });
  ASSERT_EQ(CLGetCount(mainTbl.pservList), 1);
  PBOXinfo* box = reinterpret_cast<PBOXinfo*>(CLGetReference(mainTbl.pservList, 0));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->ddpABlock.aNet, env.net + 1);

  auto clock = ottest::SettledClock(emu);
  EXPECT_EQ(ExecCmdToPBOX(box, "EXEC PRINT DIAGNOSTIC:"), 0);
  EXPECT_EQ(emu.Executed(0, "EXEC PRINT DIAGNOSTIC:"), 1);
  EXPECT_EQ(emu.Executed(1, "EXEC PRINT DIAGNOSTIC:"), 0);
  ASSERT_EQ(Allocate_Setup_Memory(), 1);
  ASSERT_EQ(GetPBOXInfo(box), 0);
  pEEPData[10] ^= 0x5A;
  EXPECT_EQ(PutPBOXInfo(box), 0);
  EXPECT_EQ(emu.Image(0)[10], UInt8(pEEPData[10]));
  Dispose_Setup_Memory();
  // Every command request crossed DDP as a whole 510-byte datagram.
  int commands = 0;
  for (const auto& r : emu.Requests(0))
    if (r.kind == pboxemu::RequestRecord::Command) {
      ++commands;
      EXPECT_EQ(r.length, 510u) << r.command;
    }
  EXPECT_GT(commands, 4);
}

}  // namespace

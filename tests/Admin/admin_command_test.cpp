// The device command layer against emulated print boxes on loopback.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/DeviceCommand.h"
#include "Admin/SearchConfig.h"
#include "admin_harness.h"
#include "common/Context.h"
#include "pboxemu/emulator.h"
#include "settle.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"
#include "toolbox/trace.h"

namespace {

class AdminCommand : public ::testing::Test {
 protected:
  AdminCommand() : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()) {
    tb::ReloadNetConfig();
    InitNetwork();
    tb::UseVirtualClock(true);
    ConfigData = CONFIGURATION{500, 1, 60, 0x7FFFFFFFu, 0, 1, 0, 0, "*"};
    Allocate_Setup_Memory();
  }
  ~AdminCommand() override {
    emu.Stop();
    Dispose_Setup_Memory();
    tb::UseVirtualClock(false);
    DeinitNetwork();
    tb::ReloadNetConfig();
  }

  // Box n as a search would have listed it.
  PBOXinfo box(int n) { return admintest::BoxInfo(emu, n); }

  void start(int boxes = 1, pboxemu::BoxSpec desc = {}) {
    emu.AddBoxes(boxes, desc);
    std::string err;
    ASSERT_TRUE(emu.Start(&err)) << err;
  }

  int count(int n, const std::string& command) {
    int c = 0;
    for (const auto& r : emu.Requests(n)) c += r.kind == pboxemu::RequestRecord::Command && r.command == command && r.cond == 1;
    return c;
  }

  testsupport::ScopedEnv ports_;
  pboxemu::Emulator emu;
};

TEST_F(AdminCommand, ReadingCommandsFillTheTables) {
  start();
  auto clock = ottest::SettledClock(emu);
  PBOXinfo b = box(0);
  ASSERT_EQ(GetPBOXInfo(&b), 0);
  const auto s = emu.Settings(0);
  EXPECT_EQ(wContextSize, s.context.size());
  EXPECT_EQ(wEnumSize, s.enums.size());
  EXPECT_EQ(wEnumWidth, 16);
  ASSERT_EQ(wEEPDataSize, s.image.size());
  EXPECT_EQ(std::memcmp(pEEPData, s.image.data(), wEEPDataSize), 0);
  EXPECT_EQ(std::memcmp(pEEPBackup, pEEPData, wEEPDataSize), 0);

  UInt8 ports[320];
  long n = GetPortList(&b, ports, sizeof ports);
  ASSERT_GT(n, 0);
  EXPECT_EQ(GetPortMax(ports, 32, n), 2);
  char text[2048];
  EXPECT_GT(GetPortStatus(&b, "PORT1", text, sizeof text), 2);
  // A port name that would overrun the command field is refused unsent.
  EXPECT_EQ(GetPortStatus(&b, std::string(70, 'P').c_str(), text, sizeof text), -1);
  EXPECT_EQ(PollToPBOX(&b), 0);
}

TEST_F(AdminCommand, PortListsOfTwoAndNinePorts) {
  pboxemu::BoxSpec nine;
  nine.ports = 9;
  emu.AddBox();
  start(1, nine);
  auto clock = ottest::SettledClock(emu);
  for (int i : {0, 1}) {
    PBOXinfo b = box(i);
    UInt8 ports[320];
    const long n = GetPortList(&b, ports, sizeof ports);
    EXPECT_EQ(GetPortMax(ports, 32, n), i ? 9 : 2) << i;
  }
}

TEST_F(AdminCommand, SavePollsWhileBusyAndDefaultsReturnTheImage) {
  start();
  auto clock = ottest::SettledClock(emu);
  PBOXinfo b = box(0);
  ASSERT_EQ(GetPBOXInfo(&b), 0);
  pEEPData[10] ^= 0x5A;
  emu.SetBusyAfterSave(0, 2);
  EXPECT_EQ(PutPBOXInfo(&b), 0);
  EXPECT_EQ(count(0, "POLLING"), 3);
  EXPECT_EQ(emu.Image(0)[10], UInt8(pEEPData[10]));

  emu.SetBusyAfterSave(0, 0);
  EXPECT_EQ(GetPBOXDefault(&b), 0);
  EXPECT_EQ(std::memcmp(pEEPData, emu.Settings(0).image.data(), wEEPDataSize), 0);
  EXPECT_EQ(std::memcmp(pEEPBackup, pEEPData, wEEPDataSize), 0);

  // A box busy for ever: the polls stop and a failure is reported.
  emu.SetBusyAfterSave(0, -1);
  emu.ClearLog();
  EXPECT_EQ(PutPBOXInfo(&b), -1);
  EXPECT_EQ(count(0, "POLLING"), kPollLimit);
}

// A failed save or reset names its cause on the trace, and a failed reset
// leaves the image and its backup as they were.
TEST_F(AdminCommand, FailedWritesSayWhyAndAFailedResetChangesNothing) {
  start();
  auto clock = ottest::SettledClock(emu);
  PBOXinfo b = box(0);
  ASSERT_EQ(GetPBOXInfo(&b), 0);
  pEEPData[10] ^= 0x5A;
  const std::vector<UInt8> edited(pEEPData, pEEPData + wEEPDataSize);
  const std::vector<UInt8> backup(pEEPBackup, pEEPBackup + wEEPDataSize);
  pboxemu::FaultSpec drop;
  drop.mode = pboxemu::Fault::Drop;
  struct Case {
    const char* what;
    short (*command)(const PBOXinfo*);
    bool silent;
    const char* reason;
  };
  const Case cases[] = {
      {"silent save", PutPBOXInfo, true, "SAVE EEP_DATA: the box never answered"},
      {"save busy for ever", PutPBOXInfo, false, "SAVE EEP_DATA: the box was still busy"},
      {"silent reset", GetPBOXDefault, true, "SET DEFAULT: no image came back"},
      {"reset busy for ever", GetPBOXDefault, false, "SET DEFAULT: the box was still busy"},
  };
  testsupport::ScopedEnv trace("TOOLBOX_TRACE", "jcp");
  tb::ReloadTraceChannels();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.silent)
      emu.SetFault(0, drop);
    else
      emu.SetBusyAfterSave(0, -1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.command(&b), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(c.reason), std::string::npos);
    emu.ClearFaults();
    emu.SetBusyAfterSave(0, 0);
    EXPECT_EQ(std::vector<UInt8>(pEEPData, pEEPData + wEEPDataSize), edited);
    EXPECT_EQ(std::vector<UInt8>(pEEPBackup, pEEPBackup + wEEPDataSize), backup);
  }
}

TEST_F(AdminCommand, ExecutedCommandsAndThePortOfOldBoxes) {
  start(1);
  auto clock = ottest::SettledClock(emu);
  PBOXinfo b = box(0);
  EXPECT_EQ(ExecCmdToPBOX(&b, "EXEC PRINT DIAGNOSTIC:"), 0);
  EXPECT_EQ(ExecCmdToPBOX(&b, "EXEC REBOOT SYSTEM:"), 0);
  EXPECT_EQ(emu.Executed(0, "EXEC PRINT DIAGNOSTIC:"), 1);
  EXPECT_EQ(emu.Executed(0, "EXEC REBOOT SYSTEM:"), 1);
  // Configured for boxes of the old version, commands go to port 9, where
  // this box does not listen: no answer.
  ConfigData.oldVerCompati = 1;
  ConfigData.retry = 0;
  EXPECT_NE(ExecCmdToPBOX(&b, "EXEC PRINT DIAGNOSTIC:"), 0);
  EXPECT_EQ(emu.Executed(0, "EXEC PRINT DIAGNOSTIC:"), 1);
}

TEST_F(AdminCommand, ARestartedBoxIsAwayForAWhileThenBackWithItsSettings) {
  start();
  auto clock = ottest::SettledClock(emu);
  emu.SetRestartTime(0, 600);
  PBOXinfo b = box(0);
  ASSERT_EQ(GetPBOXInfo(&b), 0);
  pEEPData[12] ^= 0x33;
  ASSERT_EQ(PutPBOXInfo(&b), 0);
  const UInt8 saved = UInt8(pEEPData[12]);
  EXPECT_EQ(ExecCmdToPBOX(&b, "EXEC REBOOT SYSTEM:"), 0);
  ConfigData.retry = 0;
  EXPECT_EQ(PollToPBOX(&b), 1);  // no answer while it restarts
  tb::AdvanceTicks(600);
  EXPECT_EQ(PollToPBOX(&b), 0);
  ASSERT_EQ(GetPBOXInfo(&b), 0);
  EXPECT_EQ(UInt8(pEEPData[12]), saved);
}

TEST_F(AdminCommand, OldVersionBoxesAnswerOnPortNine) {
  pboxemu::BoxSpec old;
  old.oldVersion = true;
  start(1, old);
  auto clock = ottest::SettledClock(emu);
  ConfigData.oldVerCompati = 1;
  PBOXinfo b = box(0);
  EXPECT_EQ(PollToPBOX(&b), 0);
  EXPECT_EQ(ExecCmdToPBOX(&b, "EXEC PRINT DIAGNOSTIC:"), 0);
  EXPECT_EQ(emu.Executed(0, "EXEC PRINT DIAGNOSTIC:"), 1);
}

TEST_F(AdminCommand, SilenceEndsAfterTheConfiguredResends) {
  start();
  auto clock = ottest::SettledClock(emu);
  PBOXinfo b = box(0);
  pboxemu::FaultSpec silent;
  silent.mode = pboxemu::Fault::Drop;
  emu.SetFault(0, silent);
  for (short retry : {0, 2}) {
    ConfigData.retry = retry;
    emu.ClearLog();
    EXPECT_EQ(GetPBOXInfo(&b), -1) << retry;
    EXPECT_EQ(count(0, "GET CONTEXT"), 1 + retry);
    EXPECT_EQ(PollToPBOX(&b), 1);  // no answer keeps the starting word
  }
}

TEST_F(AdminCommand, SetIpAddressIsTakenOnlyByTheBoxWithThatEthernetAddress) {
  pboxemu::BoxSpec bare;
  bare.noAddress = true;
  start(2, bare);
  auto clock = ottest::SettledClock(emu);
  ConfigData.brAddr = 0x7FFFFFFFu;  // 127.255.255.255
  PBOXinfo b = box(1);
  b.pbi_ip_addr = 0;
  const UInt32 wanted = emu.BoxAddress(1);
  EXPECT_EQ(SetIPAddrToPBOX(&b, wanted), 0);
  EXPECT_EQ(emu.ReportedAddress(1), wanted);
  EXPECT_EQ(emu.ReportedAddress(0), 0u);
  bool broadcast = false;
  for (const auto& r : emu.Requests(1)) broadcast |= r.broadcast && r.command == "SET IP_ADDR:";
  EXPECT_TRUE(broadcast);
}

}  // namespace

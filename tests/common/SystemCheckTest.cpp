// The system check under several Gestalt answers.
#include <gtest/gtest.h>

#include "common/AppGlobals.h"
#include "common/SystemCheck.h"
#include "stub_host.h"
#include "toolbox/gestalt.h"

namespace {

class SystemCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    tb::ResetGestalt();
    testhost::Reset();
  }
  void TearDown() override {
    tb::ResetGestalt();
    testhost::Reset();
  }
};

}  // namespace

TEST_F(SystemCheck, SystemVersionClasses) {
  const std::pair<SInt32, SInt16> cases[] = {
      {0x1049, 112}, {0x1040, 112}, {0x0B00, 112}, {0x0AFF, 96}, {0x0A00, 96},
      {0x0922, 64},  {0x0900, 64},  {0x0860, 48},  {0x0755, 32}, {0x0700, 32},
      {0x06FF, 16},  {0, 16},
  };
  for (auto [version, expected] : cases) {
    tb::SetGestalt(gestaltSystemVersion, version);
    EXPECT_EQ(isSystemVer(), expected) << std::hex << version;
  }
  tb::RemoveGestalt(gestaltSystemVersion);
  EXPECT_EQ(isSystemVer(), -1);
}

TEST_F(SystemCheck, ProcessorClassesAndAppleEvents) {
  const std::pair<SInt32, SInt16> cases[] = {
      {0x10C, 3}, {0x108, 2}, {4, 1}, {1, 1}, {0, 1}, {5, 0}, {0x101, 0}, {0x10D, 0},
  };
  for (auto [cpu, expected] : cases) {
    tb::SetGestalt(gestaltNativeCPUtype, cpu);
    EXPECT_EQ(isCPUType(), expected) << std::hex << cpu;
  }
  tb::RemoveGestalt(gestaltNativeCPUtype);
  EXPECT_EQ(isCPUType(), -1);

  EXPECT_EQ(isAppleEvent(), 1);
  tb::RemoveGestalt(gestaltAppleEventsAttr);
  EXPECT_EQ(isAppleEvent(), 0);
}

TEST_F(SystemCheck, SysCheckAddsBothClasses) {
  struct Case {
    SInt32 cpu, version;  // -1: the selector is undefined
    SInt16 sysCheck, result;
  };
  const Case cases[] = {
      {0x10C, 0x1040, 115, 112},
      {0x108, 0x0922, 66, 64},
      {-1, 0x1049, 112, 112},   // unknown processor adds 0
      {0x10C, -1, 3, -1},       // unknown system adds nothing
      {-1, -1, 0, -1},
  };
  for (const Case& c : cases) {
    if (c.cpu < 0)
      tb::RemoveGestalt(gestaltNativeCPUtype);
    else
      tb::SetGestalt(gestaltNativeCPUtype, c.cpu);
    if (c.version < 0)
      tb::RemoveGestalt(gestaltSystemVersion);
    else
      tb::SetGestalt(gestaltSystemVersion, c.version);
    sysCheck = 999;
    EXPECT_EQ(System_Check(), c.result);
    EXPECT_EQ(sysCheck, c.sysCheck);
  }
}

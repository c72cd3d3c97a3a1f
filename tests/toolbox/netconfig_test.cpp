// The loopback confinement and the port map.
#include <gtest/gtest.h>

#include "test_support.h"
#include "toolbox/netconfig.h"

using testsupport::ScopedEnv;

TEST(NetConfig, LoopbackConfinementRefusesOtherHostsAndRewritesBroadcast) {
  ScopedEnv net("TOOLBOX_NET", "loopback");
  tb::ReloadNetConfig();
  struct Case {
    UInt32 in;
    bool allowed;
    UInt32 out;
  } cases[] = {
      {0x7F000001, true, 0x7F000001},  {0x7F0A0B0C, true, 0x7F0A0B0C},
      {0xFFFFFFFF, true, 0x7FFFFFFF},  {0xC0A80001, false, 0xC0A80001},
      {0x0A000001, false, 0x0A000001}, {0x00000000, false, 0},
  };
  for (auto c : cases) {
    UInt32 a = c.in;
    EXPECT_EQ(tb::ConfineDestination(a), c.allowed) << std::hex << c.in;
    EXPECT_EQ(a, c.out);
  }
  ScopedEnv off("TOOLBOX_NET", nullptr);
  tb::ReloadNetConfig();
  UInt32 a = 0xC0A80001;
  EXPECT_TRUE(tb::ConfineDestination(a));
}

TEST(NetConfig, PortMapBothWaysIgnoringMalformedItems) {
  ScopedEnv map("TOOLBOX_PORTMAP", "9:10009,21:10021,bad,70000:1,20:x,515:10515");
  tb::ReloadNetConfig();
  EXPECT_EQ(tb::MapPort(9), 10009);
  EXPECT_EQ(tb::MapPort(21), 10021);
  EXPECT_EQ(tb::MapPort(515), 10515);
  EXPECT_EQ(tb::MapPort(20), 20);
  EXPECT_EQ(tb::MapPort(19541), 19541);
  EXPECT_EQ(tb::UnmapPort(10021), 21);
  EXPECT_EQ(tb::UnmapPort(4000), 4000);
}

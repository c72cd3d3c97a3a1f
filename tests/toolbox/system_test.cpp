// The machine's names, the debugger line, the Core Foundation version, the
// help-tag flag.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "test_support.h"
#include "toolbox/bundle.h"
#include "toolbox/gestalt.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"
#include "toolbox/system.h"

namespace {

std::string systemString(SInt16 id) {
  StringHandle h = GetString(id);
  return h ? pstr::str(*h) : "<none>";
}

TEST(SystemStrings, ComputerAndOwnerNames) {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_EQ(systemString(kComputerNameStrID), host);
  std::string gecos = getpwuid(getuid())->pw_gecos;
  EXPECT_EQ(systemString(kOwnerNameStrID), gecos.substr(0, gecos.find(',')));
  EXPECT_EQ(GetString(-16000), nullptr);  // not a system string

  {
    testsupport::ScopedEnv name{"TOOLBOX_COMPUTER_NAME", ""};
    testsupport::ScopedEnv owner{"TOOLBOX_OWNER_NAME", "Hanako Yamada"};
    EXPECT_EQ(systemString(kComputerNameStrID), "");
    EXPECT_EQ(systemString(kOwnerNameStrID), "Hanako Yamada");
    // Set from inside wins; a long name is cut before a character that
    // would not fit whole (254 bytes, then a 3-byte character).
    tb::SetSystemString(kComputerNameStrID, std::string(254, 'a') + "\xE3\x81\x82");
    EXPECT_EQ(systemString(kComputerNameStrID), std::string(254, 'a'));
    tb::SetSystemString(kComputerNameStrID, std::nullopt);
    EXPECT_EQ(systemString(kComputerNameStrID), "");
  }
}

TEST(SystemStrings, DebugStrWritesALine) {
  testing::internal::CaptureStderr();
  DebugStr(reinterpret_cast<const unsigned char*>("\x05oops!"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "oops!\n");
}

TEST(SystemStrings, CoreFoundationVersionFollowsTheSystemVersion) {
  struct {
    SInt32 sysv;
    double cf;
  } cases[] = {{0x1049, 400}, {0x1060, 500}, {0x1075, 600}, {0x1080, 700}, {0x1090, 800}, {0x10B0, 900}};
  for (const auto& c : cases) {
    tb::SetGestalt(gestaltSystemVersion, c.sysv);
    EXPECT_EQ(kCFCoreFoundationVersionNumber, c.cf) << std::hex << c.sysv;
  }
  tb::SetCoreFoundationVersion(744);
  EXPECT_EQ(kCFCoreFoundationVersionNumber, 744);
  tb::SetCoreFoundationVersion(0);
  tb::ResetGestalt();
  EXPECT_EQ(kCFCoreFoundationVersionNumber, 400);

  EXPECT_FALSE(HMAreHelpTagsDisplayed());
  HMSetHelpTagsDisplayed(true);
  EXPECT_TRUE(HMAreHelpTagsDisplayed());
  HMSetHelpTagsDisplayed(false);
}

}  // namespace

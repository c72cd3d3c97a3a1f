// The device settings window against emulated boxes of each model: the
// tabs, page changes a page refuses, leaving with and without changes (the
// box's image compared byte by byte), factory settings, the keys by mode;
// and the pages' rules that decide what is stored, driven by clicks and
// typing.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/AdminState.h"
#include "Admin/SearchDialog.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "Admin/SetupWindow.h"
#include "admin_harness.h"
#include "common/Context.h"
#include "pboxemu/emulator.h"
#include "settle.h"
#include "test_support.h"
#include "toolbox/testdriver.h"

namespace {

using pboxemu::Model;

class SetupWindow : public admintest::SetupWindowTest {
 protected:
  std::vector<std::string> tabs() { return admintest::SetupTabTitles(); }
  void click_tab(SInt16 index) {
    ASSERT_TRUE(admintest::ClickSetupTab(index));
    pump();
  }
  std::string page() {
    SETUP_PAGE* p = Current_Setup_Page();
    return p ? p->contName : "";
  }
  std::size_t requests(int n) { return emu.Requests(n).size(); }
  // OK, the save question answered OK and the restart question No: the
  // window closes and box n holds its image of `before` with the values set.
  void saveAndExpect(int n, const pboxemu::SettingsBlocks& before,
                     std::initializer_list<std::pair<UInt16, const char*>> values) {
    tb::LoadScriptText(
        "wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 1\n"
        "wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 2\n");
    click(1);
    EXPECT_FALSE(tb::ScriptRunning());
    EXPECT_EQ(Get_Open_Setup_Dialog(), nullptr);
    EXPECT_EQ(emu.Executed(n, "EXEC REBOOT SYSTEM:"), 0);
    admintest::Tables t(before);
    char msg[64];
    for (auto [var, value] : values) ASSERT_EQ(context_set_varid(var, value, msg, sizeof msg), 0) << var;
    EXPECT_EQ(emu.Image(n), t.image());
  }
};

TEST_F(SetupWindow, TabsPerModelAndAnUnchangedOkSendsNothing) {
  auto clock = ottest::SettledClock(emu);
  const std::vector<std::vector<std::string>> want = {
      {"General", "TCP/IP"},
      {"General", "TCP/IP", "AppleTalk", "NetBIOS", "SMTP"},
      {"General", "TCP/IP", "AppleTalk", "NetBIOS", "SNMP", "SMTP"},
      {"General", "TCP/IP", "SNMP", "SMTP"},
  };
  for (int n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    ASSERT_NE(open(n), nullptr);
    EXPECT_EQ(tabs(), want[n]);
    EXPECT_EQ(page(), "General");
    EXPECT_EQ(Get_Setup_Open(), 1);
    // Every page shown once, then OK: the image did not change, so nothing
    // goes to the box.
    for (SInt16 t = 1; t < SInt16(want[n].size()); ++t) {
      click_tab(t);
      EXPECT_EQ(page(), want[n][t]);
    }
    const std::size_t before = requests(n);
    click(1);
    EXPECT_EQ(Get_Open_Setup_Dialog(), nullptr);
    EXPECT_EQ(requests(n), before);
    EXPECT_EQ(emu.Image(n), emu.Settings(n).image);
  }
}

TEST_F(SetupWindow, ARefusedTabChangeKeepsTheOldTab) {
  auto clock = ottest::SettledClock(emu);
  ASSERT_NE(open(2), nullptr);
  click_tab(1);
  ASSERT_EQ(page(), "TCP/IP");
  retype(9, "10.0.0.300");
  tb::LoadScriptText("wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 1\n");
  click_tab(4);
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(page(), "TCP/IP");
  EXPECT_EQ(CTGetCurSel(gclData), 1);
  EXPECT_EQ(text(9), "10.0.0.300");  // the page was not reloaded
  // OK refuses too in administrator mode; Cancel discards.
  tb::LoadScriptText("wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 1\n");
  click(1);
  EXPECT_NE(Get_Open_Setup_Dialog(), nullptr);
  const std::size_t before = requests(2);
  click(2);
  EXPECT_EQ(Get_Open_Setup_Dialog(), nullptr);
  EXPECT_EQ(requests(2), before);
}

TEST_F(SetupWindow, ChangesOnTwoPagesReachTheBoxAndNothingElse) {
  auto clock = ottest::SettledClock(emu);
  ASSERT_NE(open(2), nullptr);
  pboxemu::SettingsBlocks expect = emu.Settings(2);
  click_tab(1);
  retype(13, "255.255.0.0");
  click_tab(3);
  ASSERT_EQ(page(), "NetBIOS");
  retype(11, "OFFICE");
  saveAndExpect(2, expect, {{259, "255.255.0.0"}, {1026, "OFFICE"}});
}

TEST_F(SetupWindow, SmtpPageIsWrittenBackWhenTheWindowIsLeft) {
  auto clock = ottest::SettledClock(emu);
  ASSERT_NE(open(2), nullptr);
  pboxemu::SettingsBlocks expect = emu.Settings(2);
  click_tab(5);
  ASSERT_EQ(page(), "SMTP");
  click(6);   // SMTP on
  click(10);  // printer mail on
  retype(14, "mail.example.org");
  retype(22, "99999999");
  // A port out of range: its label's message, and the window stays.
  tb::LoadScriptText("wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 1\n");
  click(1);
  EXPECT_FALSE(tb::ScriptRunning());
  ASSERT_NE(Get_Open_Setup_Dialog(), nullptr);
  retype(22, "587");
  saveAndExpect(2, expect, {{0x2801, "ENABLE"}, {0xEA10, "ENABLE"}, {0xEA11, "mail.example.org"}, {0xEA15, "587"}});
}

TEST_F(SetupWindow, FactorySettingsThroughTheAlert) {
  auto clock = ottest::SettledClock(emu);
  ASSERT_NE(open(2), nullptr);
  // The first button abandons.
  tb::LoadScriptText("wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 1\n");
  click(3);
  EXPECT_NE(Get_Open_Setup_Dialog(), nullptr);
  auto sent = [&] {
    int c = 0;
    for (const auto& r : emu.Requests(2)) c += r.command == "SET DEFAULT";
    return c;
  };
  EXPECT_EQ(sent(), 0);
  tb::LoadScriptText(
      "wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 2\n"
      "wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 2\n");
  click(3);
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(Get_Open_Setup_Dialog(), nullptr);
  EXPECT_GT(sent(), 0);
}

// A request the box never answers changes nothing: the window still knows
// what the user changed, and OK asks to save it.
TEST_F(SetupWindow, AFailedFactorySettingsKeepsTheEdits) {
  auto clock = ottest::SettledClock(emu);
  ASSERT_NE(open(3), nullptr);
  pboxemu::SettingsBlocks expect = emu.Settings(3);
  retype(16, "HALL");
  click_tab(1);
  pboxemu::FaultSpec silent;
  silent.mode = pboxemu::Fault::Silent;
  emu.SetFault(3, silent);
  // Yes to the defaults, then the message that the box did not answer.
  tb::LoadScriptText(
      "wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 2\n"
      "wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 1\n");
  click(3);
  EXPECT_FALSE(tb::ScriptRunning());
  emu.ClearFaults();
  ASSERT_NE(Get_Open_Setup_Dialog(), nullptr);
  click_tab(0);
  EXPECT_EQ(text(16), "HALL");
  saveAndExpect(3, expect, {{4369, "HALL"}});
}

TEST_F(SetupWindow, ReturnByModeAndAuthority) {
  auto clock = ottest::SettledClock(emu);
  // User mode: Return does nothing, OK is dimmed; Escape still leaves.
  gbAdminMode = 0;
  ASSERT_NE(open(1), nullptr);
  tb::PressNamedKey("Return");
  pump();
  EXPECT_NE(Get_Open_Setup_Dialog(), nullptr);
  tb::PressNamedKey("Escape");
  pump();
  EXPECT_EQ(Get_Open_Setup_Dialog(), nullptr);
  // Administrator mode: Return is OK.
  gbAdminMode = 1;
  ASSERT_NE(open(1), nullptr);
  tb::PressNamedKey("Return");
  pump();
  EXPECT_EQ(Get_Open_Setup_Dialog(), nullptr);
}

// A window that comes back to the front takes its controls back: the about
// box dims the window behind it, and once it is gone the settings window's
// and the search dialog's buttons answer again.
TEST_F(SetupWindow, ButtonsComeBackWhenTheirWindowIsInFrontAgain) {
  auto clock = ottest::SettledClock(emu);
  struct Case {
    const char* what;
    bool settings;
  };
  for (const Case& c : {Case{"settings", true}, Case{"search", false}}) {
    SCOPED_TRACE(c.what);
    DialogRef d = c.settings ? open(2) : Open_Configuration() == 1 ? Get_Open_Config_Dialog() : nullptr;
    ASSERT_NE(d, nullptr);
    pump();
    ControlRef cancel = Item_Control(d, 2);
    EXPECT_TRUE(IsControlActive(cancel));
    admintest::ScriptChecks().push_back([cancel] { EXPECT_FALSE(IsControlActive(cancel)); });
    tb::LoadScriptText("wait-window \"About VEMO-ADMIN\"\nwait 5\ncheck\nkey Return\n");
    tb::AdvanceClock(60);
    ASSERT_TRUE(tb::ChooseMenuItem(128, 1));
    pump();
    EXPECT_FALSE(tb::ScriptRunning());
    EXPECT_TRUE(admintest::ScriptChecks().empty());
    EXPECT_TRUE(IsControlActive(cancel));
    if (c.settings)
      Close_Setup_Dialog(d);
    else
      Close_Config_Dialog(d);
    pump();
  }
}

}  // namespace

// Menus and commands from the language file: the bar as the file builds
// it, the rules that enable items, the search switches, the web-page
// document and the status monitor's launch record.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/DeviceCommand.h"
#include "Admin/MainWindow.h"
#include "Admin/SearchConfig.h"
#include "admin_harness.h"
#include "pboxemu/emulator.h"
#include "settle.h"
#include "suite/SuiteNames.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/menus.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"
#include "toolbox/recorder.h"
#include "toolbox/resources.h"

namespace {

namespace fs = std::filesystem;

using admintest::Bundle;

class AdminMenus : public ::testing::Test {
 protected:
  AdminMenus() : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()) {}

  void SetUp() override {
    // A suite of the test's own, so the program's folder can take files.
    fs::create_directories(dir / "suite/VEMO-ADMIN.app/Contents/MacOS");
    testsupport::WriteFile(dir / "suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN", "");
    tb::SetApplicationPath((dir / "suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN").string());
    ASSERT_NO_FATAL_FAILURE(admintest::LoadForLoopbackSearch(60));
    ASSERT_EQ(Install_Menu(), 1);
    pboxemu::BoxSpec c, a;
    c.name = "Box C";
    a.model = pboxemu::Model::QSV_A;
    a.name = "Box A";
    emu.AddBox(c);
    emu.AddBox(a);
    std::string err;
    ASSERT_TRUE(emu.Start(&err)) << err;
    ASSERT_EQ(Open_Main_Window(), 1);
    for (int i = 0; i < 4; ++i) {
      ottest::Settle(emu, [] { Update_Main_Dialog(); });
      tb::AdvanceTicks(31);
    }
    ottest::Settle(emu, [] { Update_Main_Dialog(); });
    ASSERT_EQ(CLGetCount(mainTbl.pservList), 2);
  }
  void TearDown() override {
    admintest::EndProgram(emu);
    tb::SetApplicationPath("");
  }

  void select(const char* name) {
    CLClearSelect(mainTbl.pservList, nullptr);
    for (SInt16 r = 0; r < CLGetCount(mainTbl.pservList); ++r) {
      Str255 s;
      SInt16 len = 255;
      CLGetCellOne(mainTbl.pservList, s, &len, Cell{r, 1});
      if (std::string(reinterpret_cast<char*>(s + 1), s[0]) == name)
        CLSetSelect(mainTbl.pservList, Cell{r, 0}, true, false);
    }
    Setup_Menu_Status();
  }
  static bool enabled(SInt16 menu, short item) { return IsMenuItemEnabled(GetMenuHandle(menu), MenuItemIndex(item)); }

  testsupport::TempDir dir;
  testsupport::ScopedEnv ports_;
  pboxemu::Emulator emu;
};

TEST_F(AdminMenus, TheBarAndItsEnableRules) {
  ASSERT_TRUE(GetMenuHandle(128) && GetMenuHandle(129) && GetMenuHandle(132));
  EXPECT_EQ(CountMenuItems(GetMenuHandle(129)), 3);  // Search Again, a divider, Quit
  Str255 text;
  GetMenuItemText(GetMenuHandle(131), 4, text);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text + 1), text[0]), "Restart Print Server...");
  CharParameter key = 0;
  GetItemCmd(GetMenuHandle(129), 3, &key);
  EXPECT_EQ(key, 'Q');

  Setup_Menu_Status();
  EXPECT_TRUE(enabled(129, 1));
  EXPECT_FALSE(enabled(130, 1));  // the system status needs one selected box
  EXPECT_FALSE(enabled(131, 4));
  select("Box C");
  EXPECT_TRUE(enabled(130, 1));
  EXPECT_TRUE(enabled(131, 4));  // QSV-C may be restarted
  select("Box A");
  EXPECT_TRUE(enabled(130, 1));
  EXPECT_FALSE(enabled(131, 4));  // QSV-A never, whatever its capability byte
  // The monitor's program is not beside this suite: its item is off.
  EXPECT_FALSE(enabled(130, 2));
}

TEST_F(AdminMenus, SearchSwitchesAreSavedAndTheWebPageOpens) {
  ConfigData.Protocol_2 = 0;
  EXPECT_EQ(admin::Execution_Internal_Fanction(admin::kCmdDdp), 0);
  EXPECT_EQ(ConfigData.Protocol_2, 1);
  const std::string prefs = tb::PreferencesFolderPath() + "/" + suite::kAdminPrefsName;
  EXPECT_TRUE(fs::exists(prefs));

  select("Box C");
  tb::ClearRecords();
  admin::Click_Menu_Bar_Item(130, 3);
  const fs::path page = dir / "suite/Server Home Page";
  EXPECT_EQ(testsupport::ReadFile(page), admin::Home_Page_Text(emu.BoxAddress(0)));
  EXPECT_NE(admin::Home_Page_Text(0x0A00000C).find("http://10.0.0.12/index.htm\">\r</HEAD>\r</HTML>\r"),
            std::string::npos);
  for (int i = 0; i < 50 && tb::RecordedOpenedDocuments().empty(); ++i) tb::Pump(2);
  const auto opened = tb::RecordedOpenedDocuments();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(fs::path(opened[0]).filename(), "Server Home Page");
}

TEST_F(AdminMenus, TheMonitorGetsTheLaunchRecordWithTheOldPortAndTheLanguage) {
  const fs::path monitor = dir / "suite/VEMO-MONITOR.app/Contents";
  testsupport::WriteFile(monitor / "PkgInfo", "APPLVMxm");
  testsupport::WriteFile(monitor / "MacOS/VEMO-MONITOR",
                         "#!/bin/sh\nprintf '%s' \"$VEMO_LAUNCH_EVENT\" > \"$ADMIN_TEST_MONITOR_OUT.tmp\"\n"
                         "mv \"$ADMIN_TEST_MONITOR_OUT.tmp\" \"$ADMIN_TEST_MONITOR_OUT\"\n");
  fs::permissions(monitor / "MacOS/VEMO-MONITOR", fs::perms::owner_all);
  testsupport::ScopedEnv out("ADMIN_TEST_MONITOR_OUT", (dir / "monitor.hex").c_str());
  std::strcpy(languStr, "Japanese:");
  ConfigData.oldVerCompati = 1;
  select("Box C");
  EXPECT_TRUE(enabled(130, 2));
  admin::Click_Menu_Bar_Item(130, 2);
  const std::string hex = testsupport::AwaitFile(dir / "monitor.hex");
  std::string event;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) event.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
  const auto at = event.find("Box C");
  ASSERT_NE(at, std::string::npos);
  const std::string record = event.substr(at - 4, 436);
  ASSERT_EQ(record.size(), 436u);
  EXPECT_EQ(be::get16(record.data() + 62), 9);
  EXPECT_STREQ(record.c_str() + 180, "Japanese:");
}

}  // namespace

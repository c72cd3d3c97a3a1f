// The search-configuration dialog driven as the user drives it: tabs
// clicked, fields typed, buttons pressed; what OK saves and Cancel leaves.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/SearchConfig.h"
#include "Admin/SearchDialog.h"
#include "admin_harness.h"
#include "atalk_harness.h"
#include "common/AppWindows.h"
#include "common/PrefFile.h"
#include "drawn_text.h"
#include "suite/SuiteNames.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/events.h"
#include "toolbox/files.h"
#include "toolbox/gestalt.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"

namespace {

namespace fs = std::filesystem;
using admintest::Bundle;

class SearchDialog : public ::testing::Test {
 protected:
  SearchDialog() : config_("XDG_CONFIG_HOME", (home_ / "config").c_str()) {}

  void SetUp() override {
    // A suite of the test's own: "ConfigData" is written beside the bundle.
    fs::create_directories(home_ / "suite/VEMO-ADMIN.app/Contents/MacOS");
    testsupport::WriteFile(home_ / "suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN", "");
    tb::SetApplicationPath((home_ / "suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN").string());
    tb::ResetResources();
    Appl_Rsrc_Fork_No = tb::OpenApplicationResources(Bundle() + "/Contents/Resources/VEMO-ADMIN.rsrc");
    ASSERT_GE(Appl_Rsrc_Fork_No, 0);
    std::strcpy(IniFileName, (Bundle() + "/Contents/Resources/English/Admin.ini").c_str());
    fs::create_directories(tb::PreferencesFolderPath());
    tb::UseVirtualClock(true);
    OpenMode = 1;
    ConfigData = CONFIGURATION{3000, 2, 60, 0xFFFFFFFFu, 0, 1, 1, 0, "Sales"};
    EnvInfo = SETUPINFO{};
    EnvInfo.tcp_count = 2;
    std::strcpy(EnvInfo.broadcast[0], "255.255.255.255");
    std::strcpy(EnvInfo.broadcast[1], "192.168.1.10");
  }
  void TearDown() override {
    if (DialogRef d = Get_Open_Config_Dialog()) Close_Config_Dialog(d);
    FlushEvents(everyEvent, 0);
    tb::ResetGestalt();
    tb::UseVirtualClock(false);
    tb::ResetResources();
    tb::SetApplicationPath("");
  }

  DialogRef Open() {
    EXPECT_EQ(Open_Configuration(), 1);
    return Get_Open_Config_Dialog();
  }
  static void Run() {
    EventRecord e;
    for (int n = 0; n < 100 && GetNextEvent(everyEvent, &e); ++n)
      if (Handle_Dialog_Event(&e) != 1) Handle_Window_Event(&e);
  }
  void ClickTab(SInt16 idx) {
    CTAB_DATA* ct = configTbl.tabData;
    SInt16 h = ct->tabRect.left;
    for (SInt16 i = ct->visTabNo; i < idx; ++i) h = SInt16(h + ctab::GetTab(ct, i)->width);
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(configTbl.dlg), Point{SInt16(ct->tabRect.top + 20), SInt16(h + 5)}));
    Run();
  }
  void Press(DialogItemIndex item) {
    EventRecord e{};
    e.what = mouseDown;
    Handle_Config_Select_Item(configTbl.dlg, &e, item);
  }
  void SetText(DialogItemIndex item, const char* text) {
    Handle h = nullptr;
    DialogItemType kind;
    Rect r;
    GetDialogItem(configTbl.dlg, item, &kind, &h, &r);
    ASSERT_NE(h, nullptr);
    Str255 p;
    pstr::set(p, sizeof p, text);
    SetDialogItemText(h, p);
  }
  // Runs what, with a Return waiting for an alert; true when an alert took it.
  template <class F>
  static bool Alerted(F what) {
    FlushEvents(everyEvent, 0);
    tb::PressNamedKey("Return");
    what();
    EventRecord e;
    const bool taken = !EventAvail(keyDownMask, &e);
    FlushEvents(everyEvent, 0);
    return taken;
  }
  std::vector<std::string> Rows(CLIST_DATA* list) {
    std::vector<std::string> out;
    for (SInt16 r = 0; r < CLGetCount(list); ++r) {
      Str255 p;
      SInt16 len = sizeof p - 1;
      CLGetCellOne(list, p, &len, Cell{r, 0});
      out.emplace_back(reinterpret_cast<char*>(p + 1), p[0]);
    }
    return out;
  }
  fs::path ConfigDataFile() { return home_ / "suite" / suite::kConfigDataName; }
  std::string PrefBytes() {
    std::string all;
    for (auto& f : fs::directory_iterator(tb::PreferencesFolderPath())) all += testsupport::ReadFile(f.path());
    return all + "|" + (fs::exists(ConfigDataFile()) ? testsupport::ReadFile(ConfigDataFile()) : "");
  }

  testsupport::TempDir home_;
  testsupport::ScopedEnv config_;
};

TEST_F(SearchDialog, TabsFollowTheSystemVersion) {
  struct Case {
    SInt32 sysv;
    std::vector<std::string> titles;
  };
  for (const Case& c : {Case{0x1049, {"TCP/IP", "AppleTalk", "Timeout"}}, Case{0x1060, {"TCP/IP", "Timeout"}}}) {
    tb::SetGestalt(gestaltSystemVersion, c.sysv);
    DialogRef d = Open();
    ASSERT_NE(d, nullptr);
    // A second dialog is refused while one is open.
    EXPECT_EQ(Open_Configuration(), 0);
    std::vector<std::string> titles;
    for (SInt16 i = 0; i < CTGetCount(configTbl.tabData); ++i) {
      Str255 t;
      CTGetTitle(configTbl.tabData, i, t);
      titles.emplace_back(reinterpret_cast<char*>(t + 1), t[0]);
    }
    EXPECT_EQ(titles, c.titles) << std::hex << c.sysv;
    // On the newer systems TCP/IP is always searched: no check box for it.
    EXPECT_EQ(tb::ClickDialogItem(d, 5), c.sysv < 0x1060);
    FlushEvents(everyEvent, 0);
    EXPECT_EQ(Exit_Config_Dialog(d, 0), 1);
    EXPECT_EQ(Get_Open_Config_Dialog(), nullptr);
  }
}

// Every page's texts can be read whole, and a click anywhere on a drawn tab
// (its top row, middle and bottom row) shows its page; a click just above
// the strip or right of the last tab changes nothing.
TEST_F(SearchDialog, EveryTabAnswersAClickAnywhereOnItsDrawnTab) {
  testsupport::DrawnTextReport report;
  DialogRef d = Open();
  ASSERT_NE(d, nullptr);
  WindowRef w = GetDialogWindow(d);
  auto tabs = testsupport::ClickTargets(d);
  std::erase_if(tabs, [](auto& t) { return t.kind != testsupport::ClickTarget::Kind::kTab; });
  ASSERT_EQ(tabs.size(), 3u);
  EXPECT_EQ(tabs[0].title, "TCP/IP");
  auto click = [&](Point at) {
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(tb::ClickInWindow(w, at));
    Run();
  };
  auto middle = [](const Rect& r, SInt16 v) { return Point{v, SInt16((r.left + r.right) / 2)}; };
  // A tab as drawn now (a selected tab is drawn taller).
  auto tab = [&](std::size_t i) {
    auto now = testsupport::ClickTargets(d);
    return now.size() > i ? now[i].rect : Rect{};
  };
  for (std::size_t i = 0; i < tabs.size(); ++i) {
    for (int row = 0; row < 3; ++row) {
      const Rect other = tab(i == 0 ? 1 : 0);
      click(middle(other, SInt16((other.top + other.bottom) / 2)));
      const Rect r = tab(i);
      const SInt16 v = row == 0 ? r.top : row == 1 ? SInt16((r.top + r.bottom) / 2) : SInt16(r.bottom - 1);
      click(middle(r, v));
      EXPECT_EQ(CTGetCurSel(configTbl.tabData), SInt16(i)) << "tab " << i << " at y " << v;
    }
    const Rect r = tab(i);
    Rect all;
    InvalWindowRect(w, GetPortBounds(GetWindowPort(w), &all));
    Run();
    EXPECT_EQ(testsupport::JoinLines(testsupport::WindowTextFaults(w)), "") << "page " << i;
    click(middle(tabs.back().rect, SInt16(r.top - 1)));
    click(Point{SInt16((r.top + r.bottom) / 2), SInt16(tabs.back().rect.right + 2)});
    EXPECT_EQ(CTGetCurSel(configTbl.tabData), SInt16(i));
  }
}

TEST_F(SearchDialog, TimeoutFieldsAreCheckedAndSixtySecondsReachTheTransferTool) {
  DialogRef d = Open();
  ClickTab(2);
  ASSERT_EQ(configTbl.fanction[2].contID, kConfigPageTimeout);
  EXPECT_EQ(tb::DialogItemText(d, 7), "60");
  EXPECT_EQ(tb::DialogItemText(d, 10), "3");
  EXPECT_EQ(tb::DialogItemText(d, 12), "2");
  struct Case {
    const char *poll, *wait, *retry;
  };
  // Each refused: the alert, the dialog open, nothing written.
  const std::string before = PrefBytes();
  for (const Case& c : {Case{"19", "5", "2"}, Case{"181", "5", "2"}, Case{"60", "0", "2"}, Case{"60", "61", "2"},
                        Case{"60", "999999", "2"}, Case{"60", "4a", "2"}, Case{"60", "5", "0"}, Case{"60", "5", "6"}}) {
    SetText(7, c.poll);
    SetText(10, c.wait);
    SetText(12, c.retry);
    EXPECT_TRUE(Alerted([&] { EXPECT_EQ(Exit_Config_Dialog(d, 1), 0); })) << c.poll << " " << c.wait << " " << c.retry;
    EXPECT_EQ(Get_Open_Config_Dialog(), d);
  }
  EXPECT_EQ(PrefBytes(), before);
  SetText(7, "180");
  SetText(10, "60");
  SetText(12, "5");
  EXPECT_FALSE(Alerted([&] { EXPECT_EQ(Exit_Config_Dialog(d, 1), 1); }));
  EXPECT_EQ(ConfigData.pollTime, 180);
  EXPECT_EQ(ConfigData.rcvWait, 60000);
  EXPECT_EQ(ConfigData.retry, 5);
  // The transfer tool's record has the time-out capped at its limit.
  SInt16 ref = Open_Ftp_Pref_File();
  ASSERT_GE(ref, 0);
  Handle h = Get1Resource('CNFG', 128);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(be::get16(*h), 5000);
  CloseResFile(ref);
  // The list did not change: no "ConfigData" written.
  EXPECT_FALSE(fs::exists(ConfigDataFile()));
}

TEST_F(SearchDialog, AddressesAreNormalisedAndTheListIsBounded) {
  DialogRef d = Open();
  CLIST_DATA* list = configTbl.broadList;
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Rows(list), std::vector<std::string>{"192.168.1.10"});
  struct Case {
    const char* typed;
    bool alert;
  };
  for (const Case& c : {Case{"192.168.001.010", true}, Case{"300.1.1.1", true}, Case{"not an address", true},
                        Case{"010.0.0.1", false}}) {
    SetText(7, c.typed);
    EXPECT_EQ(Alerted([&] { Press(11); }), c.alert) << c.typed;
  }
  EXPECT_EQ(Rows(list), (std::vector<std::string>{"192.168.1.10", "10.0.0.1"}));
  for (int n = 2; n < 16; ++n) {
    SetText(7, ("10.0.1." + std::to_string(n)).c_str());
    EXPECT_FALSE(Alerted([&] { Press(11); })) << n;
  }
  ASSERT_EQ(CLGetCount(list), 16);
  SetText(7, "10.0.2.1");
  EXPECT_TRUE(Alerted([&] { Press(11); }));
  EXPECT_EQ(CLGetCount(list), 16);
  // Delete takes the selected row.
  CLSetSelect(list, Cell{0, 0}, true, false);
  Press(12);
  EXPECT_EQ(CLGetCount(list), 15);
  EXPECT_EQ(Rows(list).front(), "10.0.0.1");
  EXPECT_EQ(Exit_Config_Dialog(d, 1), 1);
  EXPECT_EQ(EnvInfo.tcp_count, 16);
  EXPECT_STREQ(EnvInfo.broadcast[0], "255.255.255.255");
  EXPECT_STREQ(EnvInfo.broadcast[1], "10.0.0.1");
  const std::string saved = testsupport::ReadFile(ConfigDataFile());
  EXPECT_EQ(saved.find("UDP00=10.0.0.1\r\n"), std::string("[SYSTEM]\r\n").size()) << saved;
  EXPECT_NE(saved.find("UDP14=10.0.1.15\r\n"), std::string::npos);
}

TEST_F(SearchDialog, CancelAfterEditsOnTwoPagesRestoresBothAndWritesNothing) {
  Set_Configuration();
  Save_Status_Data(&EnvInfo);
  const std::string before = PrefBytes();
  const CONFIGURATION conf = ConfigData;
  const SETUPINFO env = EnvInfo;
  DialogRef d = Open();
  SetText(7, "10.1.1.1");
  Press(11);
  ClickTab(2);
  ASSERT_EQ(CTGetCurSel(configTbl.tabData), 2);
  SetText(7, "120");
  ClickTab(1);  // leaving the page takes its values
  EXPECT_EQ(ConfigData.pollTime, 120);
  EXPECT_EQ(EnvInfo.tcp_count, 3);
  EXPECT_EQ(Exit_Config_Dialog(d, 0), 1);
  EXPECT_EQ(std::memcmp(&ConfigData, &conf, sizeof conf), 0);
  EXPECT_EQ(std::memcmp(&EnvInfo, &env, sizeof env), 0);
  EXPECT_EQ(PrefBytes(), before);
}

TEST_F(SearchDialog, NoTransportChosenKeepsTheDialogOpen) {
  DialogRef d = Open();
  Press(5);  // TCP/IP off
  ClickTab(1);
  Press(5);  // AppleTalk off
  EXPECT_TRUE(Alerted([&] { EXPECT_EQ(Exit_Config_Dialog(d, 1), 0); }));
  EXPECT_EQ(Get_Open_Config_Dialog(), d);
  Press(5);
  EXPECT_EQ(Exit_Config_Dialog(d, 1), 1);
  EXPECT_EQ(ConfigData.Protocol_1, 0);
  EXPECT_EQ(ConfigData.Protocol_2, 1);
}

// The zone list as the network gives it: none, as many as the table
// holds, and more than that (the first 31 kept); the configured zone
// selected when the user chooses one zone.
TEST_F(SearchDialog, ZoneListKeepsThirtyOneZones) {
  for (int zones : {0, 31, 40}) {
    std::string conf = "myzone = Zone 1\n";
    for (int z = 1; z <= zones; ++z) conf += "zone = Zone " + std::to_string(z) + "\n";
    if (zones == 0) conf = "";
    atalktest::AppleTalkEnv env(conf);
    std::strcpy(ConfigData.SearchZoneName, "Zone 3");
    ConfigData.choiceNetworkzone = 0;
    DialogRef d = Open();
    ClickTab(1);
    ASSERT_NE(configTbl.zoneList, nullptr) << zones;
    const std::vector<std::string> rows = Rows(configTbl.zoneList);
    ASSERT_EQ(rows.size(), size_t(std::min(zones, 31))) << zones;
    if (zones) {
      EXPECT_EQ(rows.back(), "Zone " + std::to_string(std::min(zones, 31)));
    }
    EXPECT_EQ(std::atoi(ConZoneNameSet[0]), std::min(zones, 31));
    if (zones >= 5) {
      Press(10);  // one zone: the configured one selected, then another chosen
      Cell c{0, 0};
      ASSERT_TRUE(CLGetSelect(configTbl.zoneList, &c, true));
      EXPECT_EQ(c.v, 2);
      CLSetSelect(configTbl.zoneList, Cell{2, 0}, false, false);
      CLSetSelect(configTbl.zoneList, Cell{4, 0}, true, false);
      EXPECT_EQ(Exit_Config_Dialog(d, 1), 1);
      EXPECT_STREQ(ConfigData.SearchZoneName, "Zone 5");
      EXPECT_EQ(ConfigData.choiceNetworkzone, 1);
    } else {
      EXPECT_EQ(Exit_Config_Dialog(d, 0), 1);
    }
  }
}

TEST(SearchDialogNumbers, StrToNumTakesOnlyShortDigitStrings) {
  struct Case {
    const char* text;
    short ok;
    long value;
  };
  for (const Case& c : {Case{"", 1, 0}, Case{"60", 1, 60}, Case{"00060", 1, 60}, Case{"000060", 0, -1},
                        Case{"99999999999999999999", 0, -1}, Case{"6 0", 0, -1}, Case{"-1", 0, -1}}) {
    Str255 p;
    pstr::set(p, sizeof p, c.text);
    long v = -1;
    EXPECT_EQ(Str_To_Num(p, &v, 60, 0), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

}  // namespace

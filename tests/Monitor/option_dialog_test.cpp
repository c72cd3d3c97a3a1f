// The option dialog and the search set-up dialog in process, against three
// emulated boxes: the live list, the restart, the files OK, Apply and
// Cancel leave, the broadcast list's rules and "Brdadr", the zone list and
// both sides of the system-version switch.
#include <map>

#include "dialogs_harness.h"
#include "Monitor/OptionDialog.h"
#include "Monitor/SearchSetup.h"
#include "Monitor/StatusData.h"
#include "toolbox/appletalk.h"

namespace montest {
namespace {

using OptionDialog = MonitorDialogs;

TEST_F(OptionDialog, ChoosesAmongThreeBoxesAndEachButtonLeavesItsFiles) {
  StartBoxes(3);
  STATUS_WND_INFO* win = OpenWindow(0);
  ASSERT_NE(win, nullptr);
  const PBOXinfo a = Box(0), b = Box(1), c3 = Box(2);
  ASSERT_TRUE(RunUntil([&] { return fs::exists(SharingFile(a)); })) << "the window publishes box A";

  CONFIG_WND_INFO* c = OpenOptions(win);
  ASSERT_TRUE(WaitForRows(c, 3));
  EXPECT_EQ(Names(c), (std::vector<std::string>{"Office A", "Office B", "Office C"}));
  // Each row: the box's address and Ethernet address; the watched box is
  // selected; nothing to apply yet.
  for (int i = 0; i < 3; ++i) {
    const auto names = Rows(c->pservList, 0);
    const auto row = std::find(names.begin(), names.end(), "Office " + std::string(1, char('A' + i))) - names.begin();
    char ip[20], mac[24];
    iptoa(Box(i).pbi_ip_addr, ip);
    mactoa(Box(i).pbi_nodeaddr, mac);
    EXPECT_EQ(Rows(c->pservList, 1)[row], ip);
    EXPECT_EQ(Rows(c->pservList, 2)[row], mac);
  }
  Cell sel{0, 0};
  ASSERT_TRUE(CLGetSelect(c->pservList, &sel, true));
  EXPECT_EQ(Rows(c->pservList)[sel.v], "Office A");
  EXPECT_TRUE(mondlg::IsDimmed(c->dlg, kConfigApply));
  EXPECT_FALSE(mondlg::IsDimmed(c->dlg, kOptDetails));

  // A row reaches across the list past its three columns: a press at its
  // right end chooses it, and it is highlighted there.
  {
    Rect body;
    CLGetRect(c->pservList, &body, false, false, false);
    const Point end{SInt16(body.top + 15 + 7), SInt16(body.right - 3)};
    ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(c->dlg), end));
    ASSERT_TRUE(RunUntil([&] { return CLGetSelect(c->pservList, &(sel = Cell{0, 0}), true) && sel.v == 1; }));
    for (int n = 0; n < 3; ++n) Pass();
    tb::PortSaver port(GetDialogPort(c->dlg));
    RGBColor shown;
    GetCPixel(end.h, end.v, &shown);
    EXPECT_EQ(shown.blue >> 8, c->pservList->defColor.rgbBkHilite.blue >> 8);
    EXPECT_EQ(shown.red >> 8, c->pservList->defColor.rgbBkHilite.red >> 8);
  }
  Choose(c, "Office A");

  // Search again while the search runs: the list empties, the running
  // search ends first, and a new one finds the boxes again.
  const int probes = emu.Probes(0);
  EventRecord e = Away();
  Handle_Config_Select_Item(c->dlg, &e, kOptSearch);
  EXPECT_TRUE(Rows(c->pservList).empty());
  EXPECT_TRUE(mondlg::IsDimmed(c->dlg, kOptDetails));
  ASSERT_TRUE(WaitForRows(c, 3));
  EXPECT_GT(emu.Probes(0), probes);
  EXPECT_EQ(c->bUdpNeedKillIOEvent, 0);

  const auto before = SuiteFiles();
  // Cancel: the window keeps its printer and nothing beside the bundle
  // changes.
  Choose(c, "Office B");
  EXPECT_FALSE(mondlg::IsDimmed(c->dlg, kConfigApply));
  Click(c->dlg, kConfigCancel);
  EXPECT_EQ(win->confData->using_, 0);
  EXPECT_EQ(win->pbox.pbi_ip_addr, a.pbi_ip_addr);
  EXPECT_EQ(SuiteFiles(), before);
  EXPECT_TRUE(fs::exists(SharingFile(a)));

  // Apply: the window watches box B from now; its old sharing file goes,
  // no file beside the bundle is written, Apply dims again.
  c = OpenOptions(win);
  ASSERT_TRUE(WaitForRows(c, 3));
  Choose(c, "Office B");
  Click(c->dlg, kConfigApply);
  EXPECT_EQ(win->pbox.pbi_ip_addr, b.pbi_ip_addr);
  EXPECT_FALSE(fs::exists(SharingFile(a)));
  EXPECT_TRUE(mondlg::IsDimmed(c->dlg, kConfigApply));
  EXPECT_EQ(SuiteFiles(), before);
  EXPECT_NE(tb::FindDialogByTitle("Status Monitor - Office B(" + std::string([&] {
                                    char t[20];
                                    iptoa(b.pbi_ip_addr, t);
                                    return std::string(t);
                                  }()) +
                                  ")"),
            nullptr);

  // OK with box C: the window's printer, box B's sharing file removed,
  // box C's status-data and settings files written.
  // (The window does not poll while its option dialog stands: box B's
  // file is laid there as its first poll would.)
  testsupport::WriteFile(SharingFile(b), "status of box B");
  Choose(c, "Office C");
  const PBOXinfo chosen = c->printData;
  const CONFIGURATION settings = c->configData;
  Click(c->dlg, kConfigOK);
  EXPECT_EQ(win->confData->using_, 0);
  EXPECT_EQ(win->pbox.pbi_ip_addr, c3.pbi_ip_addr);
  EXPECT_FALSE(fs::exists(SharingFile(b)));
  auto after = SuiteFiles();
  EXPECT_EQ(after["VEMOMON-" + MacText(emu.BoxMac(2))], Packed(chosen));
  EXPECT_EQ(StoredSettings(chosen), Bytes(settings));
  after.erase("VEMOMON-" + MacText(emu.BoxMac(2)));
  after.erase(Settings_File_Name(chosen.pbi_nodeaddr));
  EXPECT_EQ(after, before);
}

TEST_F(OptionDialog, WithBothProtocolsOffNothingIsSearchedAndASecondOpenIsRefused) {
  StartBoxes(1);
  STATUS_WND_INFO* win = OpenWindow(0);
  ASSERT_NE(win, nullptr);
  win->configData.Protocol_1 = win->configData.Protocol_2 = 0;
  CONFIG_WND_INFO* c = OpenOptions(win);
  EXPECT_FALSE(Open_Configuration(c, win->dlg, &win->configData, &win->pbox));
  EXPECT_EQ(tb::DialogCount(), 2);
  testsupport::PumpUntil(
      [] {
        Pass();
        return false;
      },
      1500);
  EXPECT_EQ(c->udpSend, 0);
  EXPECT_EQ(c->ddpSend, 0);
  EXPECT_TRUE(Rows(c->pservList).empty());
  EXPECT_EQ(emu.Probes(0), 0);
  // Hits count refreshes too: a count past the table's end walks no further.
  c->psCount = 0x7FFF;
  Build_Printer_List(c);
  EXPECT_TRUE(Rows(c->pservList).empty());
  // The status window stops polling while its option dialog stands.
  const int asked = emu.MonitorRequests(0);
  testsupport::PumpUntil(
      [] {
        Pass();
        return false;
      },
      500);
  EXPECT_EQ(emu.MonitorRequests(0), asked);
}

// ---- Search set-up -----------------------------------------------------------

class SearchSetup : public MonitorDialogs {
 protected:
  void SetUp() override {
    MonitorDialogs::SetUp();
    StartBoxes(1);
    win = OpenWindow(0);
    ASSERT_NE(win, nullptr);
  }
  BROADCAST_WND_INFO* OpenSetup() {
    c = OpenOptions(win);
    Click(c->dlg, kOptSetup);
    BROADCAST_WND_INFO* b = Get_Broadcast_Info(OpenMovableDlg);
    EXPECT_NE(b, nullptr);
    return b;
  }
  void ClickTab(BROADCAST_WND_INFO* b, SInt16 idx) { ClickTabOf(b->confTab, b->dlg, idx); }
  std::string AddAddress(BROADCAST_WND_INFO* b, const char* text) {
    mondlg::SetItemText(b->dlg, 4, text);
    EventRecord e = Away();
    return Alert([&] { Handle_Broadcast_Select_Item(b->dlg, &e, 6); });
  }
  fs::path Brdadr() { return suite() / "Brdadr"; }

  STATUS_WND_INFO* win = nullptr;
  CONFIG_WND_INFO* c = nullptr;
};

TEST_F(SearchSetup, AddressesAreCheckedBeforeTheyJoinTheList) {
  BROADCAST_WND_INFO* b = OpenSetup();
  ASSERT_NE(b, nullptr);
  struct Case {
    const char* typed;
    const char* alert;  // empty: added
  };
  const Case cases[] = {
      {"10.0.0.1", ""},
      {"10.0.0.01", "10.0.0.1 is in the list already."},
      {"10.1..2", "Enter a valid IP address."},
      {"0.0.0.0", "Enter a valid IP address."},
      {"300.1.1.1", "Enter a valid IP address."},
      {"192.168.001.020", ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.typed);
    EXPECT_EQ(AddAddress(b, k.typed), k.alert);
    EXPECT_EQ(mondlg::ItemText(b->dlg, 4), k.typed) << "the typed text stays";
  }
  EXPECT_EQ(Rows(b->broadCList), (std::vector<std::string>{"10.0.0.1", "192.168.1.20"}));
  for (int i = 2; i < kBroadListMax; ++i) EXPECT_EQ(AddAddress(b, ("10.9.9." + std::to_string(i)).c_str()), "");
  EXPECT_EQ(AddAddress(b, "10.8.8.8"), "The list holds 16 addresses already.");
  EXPECT_EQ(Rows(b->broadCList).size(), std::size_t(kBroadListMax));

  // Only digits, '.', Delete and the arrows reach the field.
  const int beeps = tb::Beeps();
  EventRecord key{};
  key.what = keyDown;
  key.message = (UInt32(tb::KeyCodeForChar('a')) << 8) | 'a';
  EXPECT_FALSE(Handle_Broadcast_Key_Input(b->dlg, &key));
  EXPECT_EQ(tb::Beeps(), beeps + 1);
  key.message = (UInt32(tb::KeyCodeForChar('7')) << 8) | '7';
  EXPECT_TRUE(Handle_Broadcast_Key_Input(b->dlg, &key));
}

TEST_F(SearchSetup, BrdadrIsRewrittenOnlyWhenTheListChanged) {
  EnvInfo.tcp_count = 3;
  std::strcpy(EnvInfo.broadcast[1], "10.1.1.1");
  std::strcpy(EnvInfo.broadcast[2], "10.2.2.2");
  const SETUPINFO start = EnvInfo;
  testsupport::WriteFile(Brdadr(), "as the user left it");

  // Cancel after the TCP/IP page was left for the AppleTalk page: the list
  // in memory is back as it was, the file untouched.
  BROADCAST_WND_INFO* b = OpenSetup();
  ASSERT_NE(b, nullptr);
  EventRecord e = Away();
  CLSetSelect(b->broadCList, Cell{0, 0}, true, false);
  Handle_Broadcast_Select_Item(b->dlg, &e, 7);
  ClickTab(b, 1);
  EXPECT_EQ(b->confOldSelect, 1);
  EXPECT_EQ(EnvInfo.tcp_count, 2);
  Click(b->dlg, 2);
  EXPECT_EQ(Get_Broadcast_Info(b->dlg), nullptr);
  EXPECT_EQ(std::memcmp(&EnvInfo, &start, sizeof start), 0);
  EXPECT_EQ(testsupport::ReadFile(Brdadr()), "as the user left it");

  // OK with the list as it was: not written.
  b = OpenSetup();
  Click(b->dlg, 1);
  EXPECT_EQ(testsupport::ReadFile(Brdadr()), "as the user left it");

  // OK after deleting the first address: rewritten, numbered from UDP00.
  Click(c->dlg, kOptSetup);
  b = Get_Broadcast_Info(OpenMovableDlg);
  ASSERT_NE(b, nullptr);
  CLSetSelect(b->broadCList, Cell{0, 0}, true, false);
  Handle_Broadcast_Select_Item(b->dlg, &e, 7);
  Click(b->dlg, 1);
  EXPECT_EQ(testsupport::ReadFile(Brdadr()), "[SYSTEM]\r\nUDP00=10.2.2.2\r\n");
  EXPECT_EQ(EnvInfo.tcp_count, 2);
}

TEST_F(SearchSetup, TheSystemVersionDecidesTheAppleTalkPage) {
  struct Case {
    SInt32 sysv;
    int tabs;
    UInt8 protocol1;  // after OK with the TCP/IP box unticked and AppleTalk on
  };
  const Case cases[] = {{0x105F, 2, 0}, {0x1060, 1, 1}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.sysv);
    tb::SetGestalt(gestaltSystemVersion, k.sysv);
    win->configData.Protocol_1 = 1;
    win->configData.Protocol_2 = 1;
    BROADCAST_WND_INFO* b = OpenSetup();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(CTGetCount(b->confTab), k.tabs);
    Set_Item_Value(b->dlg, 10, 0);
    Click(b->dlg, 1);
    EXPECT_EQ(c->configData.Protocol_1, k.protocol1);
    EXPECT_EQ(c->backData.Protocol_1, k.protocol1);
    EXPECT_EQ(win->configData.Protocol_1, k.protocol1);
    Click(c->dlg, kConfigCancel);
  }
  // Before 10.6, no protocol at all is refused with its alert.
  tb::SetGestalt(gestaltSystemVersion, 0x1050);
  win->configData.Protocol_2 = 0;
  BROADCAST_WND_INFO* b = OpenSetup();
  ASSERT_NE(b, nullptr);
  Set_Item_Value(b->dlg, 10, 0);
  EXPECT_EQ(Alert([&] { Exit_Broadcast_Dialog(b->dlg, 1); }), "Choose at least one protocol to search with.");
  EXPECT_EQ(Get_Broadcast_Info(b->dlg), b);
}

TEST_F(SearchSetup, TheZoneListKeepsTheFirst31Zones) {
  for (int zones : {0, 31, 40}) {
    SCOPED_TRACE(zones);
    std::string conf = "network = " + std::to_string(1 + getpid() % 0xFE00) + "\nnode = 7\n";
    conf += zones ? "myzone = Zone 01\n" : "myzone = *\n";
    for (int z = 1; z <= zones; ++z) conf += "zone = Zone " + std::string(z < 10 ? "0" : "") + std::to_string(z) + "\n";
    testsupport::WriteFile(dir_.path() / "atalk.conf", conf);
    testsupport::ScopedEnv atalk("TOOLBOX_APPLETALK_CONF", (dir_.path() / "atalk.conf").c_str());
    tb::ReloadAppleTalkConfig();
    win->configData.choiceNetworkzone = 1;
    std::strcpy(win->configData.SearchZoneName, "Zone 05");
    BROADCAST_WND_INFO* b = OpenSetup();
    ASSERT_NE(b, nullptr);
    ClickTab(b, 1);
    const auto rows = Rows(b->zoneCList);
    ASSERT_EQ(rows.size(), std::size_t(std::min(zones, 31)));
    if (zones) {
      EXPECT_EQ(rows.front(), "Zone 01");
      EXPECT_EQ(rows.back(), zones == 31 || zones == 40 ? "Zone 31" : rows.back());
      Cell sel{0, 0};
      ASSERT_TRUE(CLGetSelect(b->zoneCList, &sel, true));
      EXPECT_EQ(rows[sel.v], "Zone 05");
    }
    EXPECT_EQ(Get_Item_Value(b->dlg, 7), 1) << "the chosen zone's button";
    // The "every zone" choice survives OK.
    Click(b->dlg, 5);
    Click(b->dlg, 1);
    EXPECT_EQ(c->configData.choiceNetworkzone, 0);
    Click(c->dlg, kConfigCancel);
  }
}

}  // namespace
}  // namespace montest

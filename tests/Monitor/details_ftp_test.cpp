// The details dialog and the FTP page in process: the interval's limits
// and alert, events moved on and off, Apply then Cancel, the login item
// following the setting; three files sent through the status window's FTP
// page to the emulated box and to a real FTP server, a cancelled and a
// stalled transfer.
#include <functional>

#include "dialogs_harness.h"
#include "Monitor/DetailsDialog.h"
#include "Monitor/FtpPage.h"
#include "Monitor/MonitorLogin.h"
#include "Monitor/OptionDialog.h"
#include "Monitor/StatusDisplay.h"
#include "Monitor/StatusDraw.h"
#include "toolbox/navigation.h"
#include "vsftpd_server.h"

namespace montest {
namespace {

TEST(DetailsInterval, OnlyDigitsFrom500To15000) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {{"500", true},  {"15000", true},  {"3000", true},
                        {"499", false}, {"15001", false}, {"", false},
                        {"1e3", false}, {" 600", false},  {"99999999999999", false},
                        {"-500", false}};
  for (const Case& c : cases) EXPECT_EQ(Interval_Text_Valid(c.text, nullptr), c.valid) << c.text;
}

class Details : public MonitorDialogs {
 protected:
  void SetUp() override {
    MonitorDialogs::SetUp();
    // A language file that names ten events: only eight can be stored.
    std::string ini = testsupport::ReadFile(IniFileName);
    const auto at = ini.find("POPCNT=8");
    ASSERT_NE(at, std::string::npos);
    ini.replace(at, 8, "POPCNT=10");
    ini += "POP08=Ninth\r\nPOP09=Tenth\r\n";
    testsupport::WriteFile(dir_.path() / "Popmon.ini", ini);
    std::snprintf(IniFileName, sizeof IniFileName, "%s", (dir_.path() / "Popmon.ini").c_str());
    // The start-up program the login item names.
    testsupport::WriteFile(
        suite() / "VEMO-MONITOR.app/Contents/VEMO-MONITOR Startup.app/Contents/MacOS/VEMO-MONITOR Startup", "");
    StartBoxes(1);
    win = OpenWindow(0);
    ASSERT_NE(win, nullptr);
    c = OpenOptions(win);
    ASSERT_TRUE(WaitForRows(c, 1));
    Choose(c, "Office A");
    Click(c->dlg, kOptDetails);
    d = Get_Details_Info(OpenMovableDlg);
    ASSERT_NE(d, nullptr);
  }
  void ClickTab(SInt16 idx) { ClickTabOf(d->confTab, d->dlg, idx); }
  // A press on the event's row of the list in item `item`.
  void Select(DialogItemIndex item, CLIST_DATA* list, const std::string& name) {
    const auto rows = Rows(list);
    const auto at = std::find(rows.begin(), rows.end(), name);
    ASSERT_NE(at, rows.end()) << name;
    const Rect r = mondlg::ItemRect(d->dlg, item);
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(
        tb::ClickInWindow(GetDialogWindow(d->dlg),
                          Point{SInt16(r.top + CLGetCellHeight(list) * (at - rows.begin()) + 8), SInt16(r.left + 20)}));
    for (int n = 0; n < 5; ++n) Pass();
  }
  CONFIGURATION Stored() {
    CONFIGURATION out{};
    const std::string bytes = StoredSettings(win->pbox);
    EXPECT_TRUE(
        UnpackConfiguration(std::span<const UInt8>(reinterpret_cast<const UInt8*>(bytes.data()), bytes.size()), out));
    return out;
  }
  bool LoginItemListed() {
    FSSpec app{};
    Get_Startup_App_Spec(&app);
    return Get_Login_Preferences(&app) >= 0;
  }

  STATUS_WND_INFO* win = nullptr;
  CONFIG_WND_INFO* c = nullptr;
  DETAILS_WND_INFO* d = nullptr;
};

TEST_F(Details, EventsMoveIntoThePopUpFlagsAndApplyStoresThem) {
  // Eight events of the ten named; the default settings arm 5 to 7.
  EXPECT_EQ(Rows(d->popupDList),
            (std::vector<std::string>{"Printing", "Waiting", "Ready", "Power saving", "In use at the panel"}));
  EXPECT_EQ(Rows(d->popupEList).size(), 3u);
  EXPECT_TRUE(mondlg::IsDimmed(d->dlg, 5));
  Select(7, d->popupDList, "Printing");
  EXPECT_FALSE(mondlg::IsDimmed(d->dlg, 5));
  Click(d->dlg, 5);
  Select(10, d->popupEList, "Communication error");
  Click(d->dlg, 6);
  EXPECT_EQ(Rows(d->popupEList).back(), "Printing");
  EXPECT_EQ(Rows(d->popupDList).back(), "Communication error");
  EXPECT_EQ(c->configData.popupFlag, 0xC1);
  EXPECT_FALSE(mondlg::IsDimmed(d->dlg, 3));
  Click(d->dlg, 3);
  EXPECT_EQ(Stored().popupFlag, 0xC1);
  EXPECT_EQ(win->configData.popupFlag, 0xC1);
  EXPECT_TRUE(mondlg::IsDimmed(d->dlg, 3));
}

TEST_F(Details, TheIntervalIsCheckedApplyThenCancelKeepsWhatWasApplied) {
  ClickTab(1);
  ASSERT_EQ(d->confOldSelect, 1);
  // A bad interval: alert, the page and the dialog stay.
  for (const char* bad : {"499", "15001", "", "1e3"}) {
    SCOPED_TRACE(bad);
    mondlg::SetItemText(d->dlg, 5, bad);
    EXPECT_EQ(Alert([&] { Appli_Dialog_Data(d->dlg); }), "Enter an interval from 500 to 15000 ms.");
    EXPECT_EQ(Alert([&] { Exit_Details_Dialog(d->dlg, 1); }), "Enter an interval from 500 to 15000 ms.");
    EXPECT_EQ(Get_Details_Info(d->dlg), d);
  }
  {
    const CTAB_DATA* ct = d->confTab;
    FlushEvents(everyEvent, 0);
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(
        tb::ClickInWindow(GetDialogWindow(d->dlg), Point{SInt16(ct->tabRect.top + 20), SInt16(ct->tabRect.left + 10)}));
    tb::PressNamedKey("Return");
    for (int n = 0; n < 5; ++n) Pass();
    EXPECT_EQ(tb::ParamTextValue(0), "Enter an interval from 500 to 15000 ms.");
  }
  EXPECT_EQ(d->confOldSelect, 1);

  // Apply: the settings file, "Alias Data" and the login item follow.
  mondlg::SetItemText(d->dlg, 5, "15000");
  Click(d->dlg, 10);
  Click(d->dlg, 3);
  EXPECT_EQ(Stored().statUpdate, 15000);
  EXPECT_EQ(Stored().StartupFlag, 1);
  const std::string entry = "VEMOMON-" + MacText(emu.BoxMac(0));
  EXPECT_NE(testsupport::ReadFile(suite() / "Alias Data").find(entry), std::string::npos);
  EXPECT_TRUE(LoginItemListed());
  EXPECT_EQ(testsupport::ReadFile(suite() / entry).size(), kPBOXRecordFileSize);

  // A change, then Cancel: the working copy goes back to what Apply stored.
  const std::string applied = StoredSettings(win->pbox);
  Click(d->dlg, 17);
  EXPECT_NE(c->configData.soundOpt, c->backData.soundOpt);
  Click(d->dlg, 2);
  EXPECT_EQ(Get_Details_Info(d->dlg), nullptr);
  EXPECT_EQ(Bytes(c->configData), applied);
  EXPECT_EQ(StoredSettings(win->pbox), applied);

  // Start at login off for the only printer: the login item goes.
  Click(c->dlg, kOptDetails);
  d = Get_Details_Info(OpenMovableDlg);
  ASSERT_NE(d, nullptr);
  ClickTab(1);
  Click(d->dlg, 9);
  Click(d->dlg, 1);
  EXPECT_EQ(testsupport::ReadFile(suite() / "Alias Data").find(entry), std::string::npos);
  EXPECT_FALSE(LoginItemListed());
}

// ---- FTP page ------------------------------------------------------------------

class FtpPage : public MonitorDialogs {
 protected:
  void Open(int boxes = 1) {
    StartBoxes(boxes, true);
    win = OpenWindow(0);
    ASSERT_NE(win, nullptr);
    ASSERT_TRUE(RunUntil([&] { return win->powerCheck != 0; })) << "the printer answers";
    ClickTabOf(win->tabData, win->dlg, 2, 19);
    ASSERT_EQ(win->activePage, kPageFtp);
  }
  std::vector<std::string> Choose(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<std::string> paths;
    for (const auto& [name, bytes] : files) {
      testsupport::WriteFile(dir_.path() / "out" / name, bytes);
      paths.push_back((dir_.path() / "out" / name).string());
    }
    tb::AnswerNextChooser(paths);
    EventRecord e = Away();
    Status_Ftp_Select_Item(win->dlg, &e, kFtpSelect);
    return paths;
  }
  // Send, confirmed; the text the transfer ends with.
  std::string SendAndWait(const std::function<void()>& during = {}, int ms = 30000) {
    EventRecord e = Away();
    EXPECT_EQ(Alert([&] { Status_Ftp_Select_Item(win->dlg, &e, kFtpSend); }), "Send the chosen files to the printer?");
    // While it sends, the window can be neither closed nor set up, and the
    // program not quit.
    EXPECT_TRUE(Do_Ftp_Dialog_Open(win->dlg));
    EXPECT_TRUE(mondlg::IsDimmed(win->dlg, 1) && mondlg::IsDimmed(win->dlg, 2));
    EXPECT_FALSE(IsMenuCommandEnabled(nullptr, kHICommandQuit));
    ParamText(testsupport::P(""), testsupport::P(""), testsupport::P(""), testsupport::P(""));
    RunUntil(
        [&] {
          if (during) during();
          return !Do_Ftp_Dialog_Open(win->dlg) && !tb::ParamTextValue(0).empty();
        },
        ms);
    EXPECT_TRUE(IsMenuCommandEnabled(nullptr, kHICommandQuit));
    return tb::ParamTextValue(0);
  }
  STATUS_WND_INFO* win = nullptr;
};

TEST_F(FtpPage, ThreeFilesArriveWholeAndMoveToTheSentList) {
  Open();
  const std::vector<std::pair<std::string, std::string>> files = {
      {"one.prn", RandomBytes(1 << 20, 21)}, {"two.ps", "x"}, {"three.pcl", RandomBytes(5 * 16384 + 7, 23)}};
  // Choosing none first: both lists empty, Send dimmed.
  tb::CancelNextChooser();
  EventRecord e = Away();
  Status_Ftp_Select_Item(win->dlg, &e, kFtpSelect);
  EXPECT_TRUE(Rows(win->fSelectList).empty());
  EXPECT_TRUE(mondlg::IsDimmed(win->dlg, kFtpSend));
  Choose(files);
  EXPECT_EQ(Rows(win->fSelectList), (std::vector<std::string>{"one.prn", "two.ps", "three.pcl"}));
  EXPECT_EQ(mondlg::ItemText(win->dlg, kFtpFolder), "out");
  EXPECT_FALSE(mondlg::IsDimmed(win->dlg, kFtpSend));
  // Declining the confirmation sends nothing and gives the buttons back.
  EXPECT_EQ(ClickAnswering(win->dlg, kFtpSend, "Escape"), "Send the chosen files to the printer?");
  EXPECT_EQ(Get_Ftp_Open_Count(), 0);
  EXPECT_FALSE(mondlg::IsDimmed(win->dlg, kFtpSelect));
  EXPECT_FALSE(mondlg::IsDimmed(win->dlg, kFtpSend));

  EXPECT_EQ(SendAndWait(), "All files were sent.");
  // The window, in front again, gives its buttons back at once (the clicks
  // put the clock under the test's hand: no poll comes between).
  const UInt32 polled = win->statUpTick;
  for (int n = 0; n < 5; ++n) Pass();
  EXPECT_EQ(win->statUpTick, polled);
  EXPECT_FALSE(mondlg::IsDimmed(win->dlg, 1));
  EXPECT_FALSE(mondlg::IsDimmed(win->dlg, 2));
  EXPECT_FALSE(mondlg::IsDimmed(win->dlg, kFtpSelect));
  EXPECT_TRUE(mondlg::IsDimmed(win->dlg, kFtpSend)) << "nothing left to send";
  EXPECT_TRUE(Rows(win->fSelectList).empty());
  EXPECT_EQ(Rows(win->fSendList), (std::vector<std::string>{"one.prn", "two.ps", "three.pcl"}));
  const auto got = emu.Ftp().Files(0);
  ASSERT_EQ(got.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(got[i].name, files[i].first);
    EXPECT_TRUE(std::string(got[i].data.begin(), got[i].data.end()) == files[i].second) << files[i].first;
  }
  // Choosing again clears the sent list.
  Choose({{"four.prn", "4"}});
  EXPECT_TRUE(Rows(win->fSendList).empty());
  // More files than the list shows: it scrolls up and down only, its
  // column leaving room for the bar.
  std::vector<std::pair<std::string, std::string>> many;
  for (int i = 0; i < 13; ++i) many.push_back({"file" + std::to_string(i) + ".prn", "x"});
  Choose(many);
  for (int n = 0; n < 3; ++n) Pass();
  EXPECT_TRUE(win->fSelectList->vScroll && IsControlVisible(win->fSelectList->vScroll));
  EXPECT_FALSE(win->fSelectList->hScroll && IsControlVisible(win->fSelectList->hScroll));
}

TEST_F(FtpPage, ACancelledAndAStalledTransferSayHowTheyEnded) {
  Open();
  Choose({{"big.prn", RandomBytes(16 << 20, 24)}});
  EXPECT_EQ(SendAndWait([&] {
              for (SEND_WND_INFO& slot : SendTbl)
                if (slot.using_ && slot.ownerDlg == win->dlg && slot.fileData.sendSize > 0 &&
                    slot.sendResult == FTP_SEND_RUNNING)
                  FTP_Cancel_Send(&slot);
            }),
            "Sending was cancelled.");

  // The box never connects for the data: the transfer stalls, and fails
  // once 15 minutes have passed on the virtual clock.
  pboxemu::FtpFaultSpec fault;
  fault.mode = pboxemu::FtpFault::NoDial;
  fault.command = "STOR";
  emu.Ftp().SetFault(0, fault);
  Choose({{"small.prn", "abc"}});
  tb::UseVirtualClock(true);
  bool advanced = false;
  EXPECT_EQ(SendAndWait([&] {
              for (SEND_WND_INFO& slot : SendTbl)
                if (!advanced && slot.using_ && slot.ownerDlg == win->dlg && slot.dataConnect) {
                  tb::AdvanceTicks(kFTPStallTicks + 60);
                  advanced = true;
                }
            }),
            "The files could not be sent.");
  EXPECT_TRUE(advanced);
}

// One command during another. While a window the status window owns
// stands (its consumables window, its option dialog and the dialogs opened
// over that, its send window against a box that stalls), every way of
// bringing the status window forward (a press on it or on one of its
// buttons, its Window-menu item, File > Show by menu and by Command-O, a
// pop-up event) brings that window forward over it instead, and the status
// window's own commands (its buttons, Command-W, Command-H) do nothing.
// What happens is only what the owned window does: a stalled transfer sent
// nothing twice and reports no file as sent.
TEST_F(FtpPage, OneCommandDuringAnother) {
  Open(2);
  STATUS_WND_INFO* other = OpenWindow(1);
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(FirstAnswer(other));
  const WindowRef status = GetDialogWindow(win->dlg), otherStatus = GetDialogWindow(other->dlg);
  // Side by side, as a user would drag them.
  MoveWindow(otherStatus, 540, 60, false);
  // Passes until every event queued was taken (a window brought forward
  // queues activates and updates ahead of the next input).
  auto pass = [] {
    EventRecord e;
    for (int n = 0; n < 5 || (n < 100 && EventAvail(everyEvent, &e)); ++n) Pass();
  };
  auto press = [&](WindowRef w) {
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(tb::ClickInWindow(w, Point{5, 5}));
    pass();
  };
  auto choose = [&](SInt16 menu, MenuItemIndex item) {
    ASSERT_TRUE(tb::ChooseMenuItem(menu, item));
    pass();
  };
  auto command = [&](char c) {
    press(status);  // its Window-menu item takes the check mark
    tb::PressKey(UInt8(c), tb::KeyCodeForChar(c), cmdKey);
    pass();
  };
  // (Closing the option dialog enters the window at the menu's end.)
  auto windowItem = [&] { return MenuItemIndex(Get_Menu_Namber(win->controlID) + 1); };
  SEND_WND_INFO* sending = nullptr;
  auto open_options = [&] {
    ClickTabOf(win->tabData, win->dlg, 0, 19);
    CONFIG_WND_INFO* c = OpenOptions(win);
    EXPECT_TRUE(WaitForRows(c, 2));
    return c;
  };
  // A movable-modal dialog opened by the option dialog's button, both
  // cancelled.
  auto over_options = [&](DialogItemIndex button) {
    CONFIG_WND_INFO* c = open_options();
    MonitorDialogs::Choose(c, "Office A");
    Click(c->dlg, button);
    return std::vector<DialogRef>{OpenMovableDlg, c->dlg};
  };
  auto close_over_options = [&] {
    Click(OpenMovableDlg, 2);
    Click(win->confData->dlg, kConfigCancel);
  };
  struct Case {
    const char* what;
    std::function<std::vector<DialogRef>()> open;  // front to back, the status window last
    std::vector<DialogItemIndex> buttons;          // the status window's, pressed in turn
    bool holdsMenu;  // Close and Hide of the File menu wait for it (not so for the consumables window)
    std::function<void()> close;
  };
  const Case cases[] = {
      {"consumables",
       [&] {
         ClickTabOf(win->tabData, win->dlg, 0, 19);
         Click(win->dlg, 30);
         return std::vector<DialogRef>{win->sumData.dlg};
       },
       {1, 30},
       false,
       [&] { Click(win->sumData.dlg, 1); }},
      {"options",
       [&] { return std::vector<DialogRef>{open_options()->dlg}; },
       {1, 2, 30},
       true,
       [&] {
         Click(win->confData->dlg, kConfigCancel);
         EXPECT_EQ(win->pbox.pbi_ip_addr, Box(0).pbi_ip_addr) << "the printer kept";
       }},
      {"details over the options", [&] { return over_options(kOptDetails); }, {1, 2, 30}, true, close_over_options},
      {"search settings over the options",
       [&] { return over_options(kOptSetup); },
       {1, 2, 30},
       true,
       close_over_options},
      {"send window",
       [&]() -> std::vector<DialogRef> {
         ClickTabOf(win->tabData, win->dlg, 2, 19);
         // The box never connects for the first file's data: the send
         // window stays open.
         pboxemu::FtpFaultSpec fault;
         fault.mode = pboxemu::FtpFault::NoDial;
         fault.command = "STOR";
         fault.count = 1;
         emu.Ftp().SetFault(0, fault);
         emu.Ftp().ClearLog();
         Choose({{"one.prn", "1"}, {"two.prn", "2"}});
         EventRecord e = Away();
         EXPECT_EQ(Alert([&] { Status_Ftp_Select_Item(win->dlg, &e, kFtpSend); }),
                   "Send the chosen files to the printer?");
         for (SEND_WND_INFO& s : SendTbl)
           if (s.using_ && s.ownerDlg == win->dlg) sending = &s;
         EXPECT_TRUE(RunUntil([&] { return sending && sending->dataConnect; }));
         return {sending ? sending->dlg : nullptr};
       },
       {1, 2, kFtpSend, kFtpSelect},
       true,
       [&] {
         // One job, one STOR for the first file; nothing reached the box
         // and nothing is listed or reported as sent.
         int stors = 0;
         for (const std::string& line : emu.Ftp().Commands(0)) stors += line.rfind("STOR ", 0) == 0;
         EXPECT_EQ(stors, 1);
         EXPECT_EQ(
             std::count_if(std::begin(SendTbl), std::end(SendTbl), [](const SEND_WND_INFO& s) { return s.using_; }), 1);
         EXPECT_EQ(Rows(win->fSelectList), (std::vector<std::string>{"one.prn", "two.prn"}));
         ParamText(testsupport::P(""), testsupport::P(""), testsupport::P(""), testsupport::P(""));
         Click(sending->dlg, 1);
         ASSERT_TRUE(RunUntil([&] { return !Do_Ftp_Dialog_Open(win->dlg) && OpenMovableDlg; }));
         EXPECT_EQ(tb::ParamTextValue(0), "Sending was cancelled.");
         Click(OpenMovableDlg, 1);
         EXPECT_TRUE(RunUntil([] { return OpenMovableDlg == nullptr; }));
         EXPECT_TRUE(Rows(win->fSendList).empty());
         EXPECT_TRUE(emu.Ftp().Files(0).empty() || !emu.Ftp().Files(0)[0].complete);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    press(status);
    std::vector<DialogRef> stack = c.open();
    ASSERT_FALSE(stack.empty());
    for (DialogRef d : stack) ASSERT_NE(d, nullptr);
    for (std::size_t i = 0; i < stack.size(); ++i)
      MoveWindow(GetDialogWindow(stack[i]), SInt16(60 + 40 * i), SInt16(420 + 20 * i), false);
    std::vector<WindowRef> order;
    for (DialogRef d : stack) order.push_back(GetDialogWindow(d));
    order.push_back(status);
    auto expectOrder = [&](const std::string& way) {
      WindowRef w = FrontWindow();
      for (WindowRef want : order) {
        EXPECT_EQ(w, want) << way;
        w = GetNextWindow(w);
      }
      EXPECT_TRUE(IsWindowVisible(status)) << way;
      EXPECT_NE(win->dlg, nullptr) << way;
    };
    // A press on a status window whose owned window stands beeps.
    auto refused = [&](const std::function<void()>& act) {
      const int beeps = tb::Beeps();
      act();
      EXPECT_GT(tb::Beeps(), beeps);
    };
    std::vector<std::pair<std::string, std::function<void()>>> ways = {
        {"a press on the window", [&] { refused([&] { press(status); }); }},
        {"its Window-menu item", [&] { choose(kOptionMenuID, windowItem()); }},
        {"File > Show",
         [&] {
           refused([&] { press(status); });  // its Window-menu item takes the check mark
           choose(kFileMenuID, 1);
         }},
        {"Command-O", [&] { command('O'); }},
        {"a pop-up event",
         [&] {
           // The change to ready pops the window up (its event armed).
           win->configData.popupFlag |= 0x04;
           Change_Port_Status(win, kPopBusy);
           Change_Port_Status(win, kPopReady);
         }},
    };
    if (c.holdsMenu) {
      ways.emplace_back("Command-W", [&] { command('W'); });
      ways.emplace_back("Command-H", [&] { command('H'); });
    }
    for (DialogItemIndex item : c.buttons)
      ways.emplace_back("its button " + std::to_string(item), [&, item] {
        refused([&] {
          tb::AdvanceClock(GetDblTime() + 1);
          EXPECT_TRUE(tb::ClickDialogItem(win->dlg, item));
          pass();
        });
      });
    for (const auto& [way, act] : ways) {
      // The other printer's window comes in front first (a movable-modal
      // dialog keeps it behind).
      press(otherStatus);
      act();
      pass();
      expectOrder(way);
    }
    c.close();
    EXPECT_EQ(OpenMovableDlg, nullptr);
  }
  press(status);
  choose(kFileMenuID, 2);
  EXPECT_FALSE(IsWindowVisible(status));
  choose(kOptionMenuID, windowItem());
  EXPECT_TRUE(IsWindowVisible(status));
  EXPECT_EQ(FrontWindow(), status);
}

TEST_F(FtpPage, TheSameFilesReachARealFtpServer) {
  testsupport::VsftpdServer server;
  std::string why;
  if (!server.Start(&why)) GTEST_SKIP() << "real FTP server not available: " << why;
  testsupport::ScopedEnv ports("TOOLBOX_PORTMAP",
                               (pboxemu::PrivatePortMap() + ",21:" + std::to_string(server.Port())).c_str());
  tb::ReloadNetConfig();
  Open();
  // The window's printer is the server's address from here.
  win->pbox.pbi_ip_addr = 0x7F000001;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"one.prn", RandomBytes(1 << 20, 31)}, {"two.ps", "y"}, {"three.pcl", RandomBytes(5 * 16384 + 7, 33)}};
  Choose(files);
  EXPECT_EQ(SendAndWait(), "All files were sent.");
  for (const auto& [name, bytes] : files)
    EXPECT_TRUE(testsupport::ReadFile(server.UploadFolder() / name) == bytes) << name;
}

}  // namespace
}  // namespace montest

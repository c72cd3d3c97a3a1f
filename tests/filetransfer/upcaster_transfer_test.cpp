// The search, the queue and the transfers, headless with the virtual clock
// against emulated boxes over loopback (and a real FTP server): three boxes
// found, two selected and sent to bottom row first, the file whole at each
// box in turn; a refused login, a stall and a cancel each end with their
// alert and no box keeping a file it did not get whole; the quit question
// while sending. Then the tool's own loop driven by clicks, keys and menu
// choices: the settings' tab strip, a key pressed as a send fails, the
// models listed and each box once, and a box that streams without end.
#include <chrono>
#include <functional>
#include <random>
#include <set>

#include "506Q_Lib/DialogItems.h"
#include "drawn_text.h"
#include "FanctionLib/CList.h"
#include "hostile_peer.h"
#include "OT/OTEndpoint.h"
#include "pboxemu/emulator.h"
#include "pboxemu/ftp_server.h"
#include "toolbox/clock.h"
#include "toolbox/navigation.h"
#include "toolbox/netconfig.h"
#include "toolbox/opentransport.h"
#include "toolbox/pictures.h"
#include "toolbox/pump.h"
#include "toolbox/testdriver.h"
#include "upcaster_fixture.h"
#include "vsftpd_server.h"

namespace {

using namespace upctest;

std::vector<std::pair<UInt16, std::string>> gOutcomes;

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(rng());
  return s;
}

bool Loop(const std::function<bool()>& done, int ms = 20000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    upc::Idle_Steps();
    tb::Pump(2);
  }
  return true;
}

class TransferTest : public UpcasterTest {
 protected:
  void SetUp() override {
    UpcasterTest::SetUp();
    ports_ = std::make_unique<testsupport::ScopedEnv>(
        "TOOLBOX_PORTMAP", (pboxemu::PrivatePortMap() + "," + pboxemu::FtpPortMap()).c_str());
    tb::ReloadNetConfig();
    ASSERT_EQ(OT_Init(), kOTNoError);
    tb::UseVirtualClock(true);
    upc::Get_NameCheck_Info();
    ConfigData.rcvWait = 500;
    gOutcomes.clear();
    upc::Set_Outcome_Proc([](UInt16 result, ConstStr255Param text) { gOutcomes.push_back({result, pstr::str(text)}); });
  }
  void TearDown() override {
    for (upc::SEND_SLOT& slot : upc::SendTbl)
      if (slot.using_) {
        upc::Exit_TCPftp_Dialog(&slot);
        slot = upc::SEND_SLOT{};
      }
    if (upc::ftpData.using_) {
      if (upc::ftpData.dlg) Close_Usr_Dialog(upc::ftpData.dlg);
      upc::ftpData.dlg = nullptr;
      upc::Free_Ftp_Table();
    }
    Loop([] { return FTP_Reap_Contexts() == 0; }, 5000);
    FTP_Release_All_Contexts();
    upc::Set_Outcome_Proc(nullptr);
    upc::All_Done = 0;
    tb::OTSetSendCap(0);
    OT_Deinit();
    tb::UseVirtualClock(false);
    emu_.Stop();
    ports_.reset();
    tb::ReloadNetConfig();
    UpcasterTest::TearDown();
  }

  void StartBoxes(int n, bool ftp = true) {
    std::vector<pboxemu::BoxSpec> boxes(n);
    for (int i = 0; i < n; ++i) boxes[i].name = "Box " + std::to_string(i);
    StartBoxes(boxes, ftp);
  }
  void StartBoxes(const std::vector<pboxemu::BoxSpec>& boxes, bool ftp = true) {
    for (const pboxemu::BoxSpec& d : boxes) emu_.AddBox(d);
    if (ftp) emu_.Ftp().Enable();
    std::string err;
    ASSERT_TRUE(emu_.Start(&err)) << err;
  }

  // Opens the main window and runs its search to the end.
  void OpenAndSearch(int expect) {
    ConfigData.brAddr = 0x7FFFFFFFu;
    ASSERT_EQ(upc::Open_File_Transfer(), 1);
    ASSERT_TRUE(Loop([&] { return upc::ftpData.jcp->found >= expect; }));
    tb::AdvanceClock(60);
    ASSERT_TRUE(Loop([] { return !upc::ftpData.searching; }));
  }

  int BoxOf(UInt32 addr) {
    for (int i = 0; i < emu_.BoxCount(); ++i)
      if (emu_.BoxAddress(i) == addr) return i;
    return -1;
  }

  std::string RowAddress(SInt16 row) {
    Str255 t;
    SInt16 len = sizeof t;
    CLGetCellOne(upc::ftpData.printerList, t, &len, Cell{row, 1});
    return pstr::str(t);
  }

  FSSpec MakeFile(const std::string& name, const std::string& bytes) {
    testsupport::WriteFile(dir_ / name, bytes);
    FSSpec fss{};
    EXPECT_EQ(tb::PathToSpec((dir_ / name).string(), &fss), noErr);
    return fss;
  }

  // Queues the file for the rows and runs the queue until its alert,
  // noting the boxes in the order their transfers opened.
  std::vector<int> SendTo(std::initializer_list<SInt16> rows, const FSSpec& file) {
    CLClearSelect(upc::ftpData.printerList, nullptr);
    for (SInt16 r : rows) CLSetSelect(upc::ftpData.printerList, Cell{r, 0}, true, false);
    upc::Set_Send_File(file);
    EXPECT_EQ(upc::Check_Send_Status(upc::ftpData.dlg), 1);
    upc::Handle_Ftp_Select_Item(upc::ftpData.dlg, nullptr, 1);
    std::vector<int> order;
    UInt32 last = 0;
    const std::size_t before = gOutcomes.size();
    EXPECT_TRUE(Loop([&] {
      if (upc::SendTbl[0].using_ && upc::SendTbl[0].pbi_ip_addr != last) {
        last = upc::SendTbl[0].pbi_ip_addr;
        order.push_back(BoxOf(last));
      }
      return gOutcomes.size() > before;
    }, 60000));
    return order;
  }

  std::unique_ptr<testsupport::ScopedEnv> ports_;
  pboxemu::Emulator emu_;
};

TEST_F(TransferTest, FindsThreeBoxesAndSendsToTheSelectedOnesBottomRowFirst) {
  StartBoxes(3);
  OpenAndSearch(3);
  ASSERT_EQ(CLGetCount(upc::ftpData.printerList), 3);
  // Send is dimmed until a file is chosen and a row selected.
  CLClearSelect(upc::ftpData.printerList, nullptr);
  upc::Set_Send_File(MakeFile("first.prn", "x"));
  EXPECT_EQ(upc::Check_Send_Status(upc::ftpData.dlg), 0);

  const std::string bytes = RandomBytes(300 * 1024 + 7, 1);
  const FSSpec file = MakeFile("job.prn", bytes);
  const int top = BoxOf(upc::Parse_IPv4(RowAddress(0).c_str()));
  const int bottom = BoxOf(upc::Parse_IPv4(RowAddress(2).c_str()));
  EXPECT_EQ(SendTo({0, 2}, file), (std::vector<int>{bottom, top}));
  ASSERT_EQ(gOutcomes.size(), 1u);  // one alert, after the last
  EXPECT_EQ(gOutcomes[0].first, upc::kSendDone);
  EXPECT_EQ(gOutcomes[0].second, "The file was sent.");
  for (int box : {top, bottom}) {
    auto files = emu_.Ftp().Files(box);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "job.prn");
    EXPECT_TRUE(files[0].complete);
    EXPECT_TRUE(std::string(files[0].data.begin(), files[0].data.end()) == bytes);
    EXPECT_EQ(emu_.Ftp().Commands(box),
              (std::vector<std::string>{"USER user", "PASS fern", "CWD lp", "TYPE I",
                                        emu_.Ftp().Commands(box)[4], "STOR job.prn"}));
  }
  EXPECT_TRUE(emu_.Ftp().Files(3 - top - bottom).empty());

  // Then all three in turn, the file whole at each.
  emu_.Ftp().ClearLog();
  EXPECT_EQ(SendTo({0, 1, 2}, file).size(), 3u);
  for (int box = 0; box < 3; ++box) {
    auto files = emu_.Ftp().Files(box);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].complete && std::string(files[0].data.begin(), files[0].data.end()) == bytes);
  }
}

TEST_F(TransferTest, RefusalStallAndCancelEachEndWithTheirAlertAndNoWholeFile) {
  StartBoxes(3);
  OpenAndSearch(3);
  const FSSpec file = MakeFile("big.prn", RandomBytes(24u << 20, 2));
  const UInt32 row0 = upc::Parse_IPv4(RowAddress(0).c_str());
  const int box0 = BoxOf(row0);

  // A refused login: the failure alert, the queue stops (row 1 never opens).
  pboxemu::FtpFaultSpec refuse;
  refuse.mode = pboxemu::FtpFault::ErrorReply;
  refuse.command = "PASS";
  refuse.code = 530;
  emu_.Ftp().SetFault(box0, refuse);
  gOutcomes.clear();
  SendTo({0}, file);
  ASSERT_EQ(gOutcomes.size(), 1u);
  EXPECT_EQ(gOutcomes[0].first, upc::kSendFailed);
  EXPECT_EQ(gOutcomes[0].second, "The file could not be sent.");
  EXPECT_TRUE(emu_.Ftp().Files(box0).empty());

  // A box that never calls back after STOR: failed once 600 ticks pass.
  pboxemu::FtpFaultSpec nodial;
  nodial.mode = pboxemu::FtpFault::NoDial;
  nodial.command = "STOR";
  emu_.Ftp().SetFault(box0, nodial);
  gOutcomes.clear();
  CLClearSelect(upc::ftpData.printerList, nullptr);
  CLSetSelect(upc::ftpData.printerList, Cell{0, 0}, true, false);
  upc::Ftp_Send_File(&upc::ftpData);
  ASSERT_TRUE(Loop([] { return upc::SendTbl[0].using_ && upc::SendTbl[0].cmdNum == 8; }));
  tb::AdvanceClock(590);
  Loop([] { return false; }, 100);
  EXPECT_TRUE(gOutcomes.empty());
  tb::AdvanceClock(20);
  ASSERT_TRUE(Loop([] { return !gOutcomes.empty(); }));
  EXPECT_EQ(gOutcomes[0].first, upc::kSendFailed);
  EXPECT_TRUE(emu_.Ftp().Files(box0).empty());

  // Cancel in the data phase: the cancel alert, the box keeps no whole file.
  emu_.Ftp().ClearFaults();
  tb::OTSetSendCap(64 * 1024);
  gOutcomes.clear();
  upc::Ftp_Send_File(&upc::ftpData);
  ASSERT_TRUE(Loop([] { return upc::SendTbl[0].using_ && upc::SendTbl[0].fileData.info.sendSize > 0; }));
  EventRecord click{};
  // Cancel is the transfer window's item 1.
  DialogRef sendWindow = upc::SendTbl[0].dlg;
  ASSERT_TRUE(sendWindow);
  auto* entry = Search_Window_Data(sendWindow, nullptr);
  ASSERT_TRUE(entry);
  entry->usrWin.usrDialog.Handle_Item_Select(sendWindow, &click, 1);
  ASSERT_TRUE(Loop([] { return !gOutcomes.empty(); }));
  EXPECT_EQ(gOutcomes[0].first, upc::kSendCancelled);
  EXPECT_EQ(gOutcomes[0].second, "Sending was cancelled.");
  Loop([&] { return !emu_.Ftp().Files(box0).empty(); }, 3000);
  for (const auto& f : emu_.Ftp().Files(box0)) EXPECT_FALSE(f.complete);
}

TEST_F(TransferTest, QuitQuestionWhileSendingKeepsOrEndsTheTransfer) {
  StartBoxes(1);
  OpenAndSearch(1);
  tb::OTSetSendCap(64 * 1024);
  const FSSpec file = MakeFile("big.prn", RandomBytes(16u << 20, 3));
  CLSetSelect(upc::ftpData.printerList, Cell{0, 0}, true, false);
  upc::Set_Send_File(file);
  upc::Ftp_Send_File(&upc::ftpData);
  ASSERT_TRUE(Loop([] { return upc::SendTbl[0].using_ && upc::SendTbl[0].fileData.info.sendSize > 0; }));
  EventRecord esc{};
  esc.what = keyDown;
  esc.message = (kVK_Escape << 8) | 0x1B;
  // Return does nothing; Escape asks, and Cancel keeps everything.
  esc.message = (kVK_Return << 8) | '\r';
  EXPECT_FALSE(upc::Handle_Ftp_Key_Input(upc::ftpData.dlg, &esc));
  EXPECT_TRUE(gAlerts.empty());
  esc.message = (kVK_Escape << 8) | 0x1B;
  gAlertAnswer = 2;
  upc::Handle_Ftp_Key_Input(upc::ftpData.dlg, &esc);
  ASSERT_EQ(gAlerts.size(), 1u);
  EXPECT_EQ(gAlerts[0].id, kAlertQuestion);
  EXPECT_EQ(gAlerts[0].text, "Are you sure you want to exit?");
  EXPECT_FALSE(upc::All_Done);
  EXPECT_TRUE(upc::SendTbl[0].using_);
  // OK: the transfer ends, nothing reported as sent, the program quits.
  gAlertAnswer = 1;
  upc::Handle_Ftp_Key_Input(upc::ftpData.dlg, &esc);
  EXPECT_TRUE(upc::All_Done);
  EXPECT_FALSE(upc::SendTbl[0].using_);
  EXPECT_FALSE(upc::ftpData.using_);
  EXPECT_TRUE(gOutcomes.empty());
  Loop([&] { return !emu_.Ftp().Files(0).empty(); }, 3000);
  for (const auto& f : emu_.Ftp().Files(0)) EXPECT_FALSE(f.complete);
}

TEST_F(TransferTest, RealFtpServerGetsTheFileWhole) {
  testsupport::VsftpdServer server;
  std::string why;
  if (!server.Start(&why)) GTEST_SKIP() << "real FTP server not available: " << why;
  testsupport::ScopedEnv ports("TOOLBOX_PORTMAP", ("21:" + std::to_string(server.Port())).c_str());
  tb::ReloadNetConfig();
  const std::string bytes = RandomBytes(3u << 20, 4);
  const FSSpec file = MakeFile("real.prn", bytes);
  ASSERT_EQ(upc::Open_Tcp_Dialog(nullptr, 0, 0x7F000001u, &file, 1), 1);
  // Without the main window a transfer that ends well tells nothing; one
  // that fails still does.
  ASSERT_TRUE(Loop([] { return !upc::SendTbl[0].using_; }, 60000));
  EXPECT_TRUE(gOutcomes.empty());
  EXPECT_TRUE(testsupport::ReadFile(server.UploadFolder() / "real.prn") == bytes);
}

}  // namespace

namespace {

TEST_F(TransferTest, WatchKeepsWhatAnsweredAndSilentOrUnreadableEndsFail) {
  StartBoxes(3);
  // A wait longer than the watch: the watch ends the search and the boxes
  // that answered are listed all the same.
  ConfigData.rcvWait = 8000;
  ConfigData.brAddr = 0x7FFFFFFFu;
  ASSERT_EQ(upc::Open_File_Transfer(), 1);
  ASSERT_TRUE(Loop([] { return upc::ftpData.jcp->found >= 3; }));
  tb::AdvanceClock(361);
  ASSERT_TRUE(Loop([] { return !upc::ftpData.searching; }));
  EXPECT_EQ(CLGetCount(upc::ftpData.printerList), 3);
  // Search again empties the list at once and fills it when it ends.
  upc::Handle_Ftp_Select_Item(upc::ftpData.dlg, nullptr, 11);
  EXPECT_EQ(CLGetCount(upc::ftpData.printerList), 0);
  EXPECT_TRUE(upc::ftpData.searching);
  ASSERT_TRUE(Loop([] { return upc::ftpData.jcp->found >= 3; }));
  tb::AdvanceClock(361);
  ASSERT_TRUE(Loop([] { return !upc::ftpData.searching; }));
  EXPECT_EQ(CLGetCount(upc::ftpData.printerList), 3);

  struct Case {
    const char* what;
    bool silent;       // the greeting never ends its line
    bool exists;       // the file can be read
    std::string bytes;
    UInt16 result;
  } cases[] = {
      {"no greeting", true, true, "data", upc::kSendFailed},
      {"unreadable file", false, false, "", upc::kSendFailed},
      {"empty file", false, true, "", upc::kSendDone},
  };
  const UInt32 box = emu_.BoxAddress(0);
  for (const Case& c : cases) {
    emu_.Ftp().ClearFaults();
    emu_.Ftp().ClearLog();
    if (c.silent) {
      pboxemu::FtpFaultSpec silent;
      silent.mode = pboxemu::FtpFault::NoLineEnd;
      silent.command = "";
      emu_.Ftp().SetFault(0, silent);
    }
    FSSpec fss{};
    if (c.exists)
      fss = MakeFile("case.prn", c.bytes);
    else
      tb::PathToSpec((dir_ / "missing.prn").string(), &fss);
    ASSERT_EQ(upc::Open_Tcp_Dialog(nullptr, 0, box, &fss, 1), 1) << c.what;
    upc::SEND_SLOT& slot = upc::SendTbl[0];
    gOutcomes.clear();
    if (c.silent) {
      ASSERT_TRUE(Loop([&] { return emu_.Ftp().Sessions(0) >= 1 && slot.connect; })) << c.what;
      Loop([] { return false; }, 100);
      tb::AdvanceClock(180);
      Loop([] { return false; }, 100);
      EXPECT_TRUE(slot.using_) << c.what;
      tb::AdvanceClock(1);
    }
    ASSERT_TRUE(Loop([&] { return !gOutcomes.empty(); })) << c.what;
    EXPECT_EQ(gOutcomes[0].first, c.result) << c.what;
    EXPECT_FALSE(slot.using_) << c.what;
    auto files = emu_.Ftp().Files(0);
    EXPECT_EQ(files.size(), c.result == upc::kSendDone ? 1u : 0u) << c.what;
  }
}

}  // namespace

// ---- The program as a person uses it ------------------------------------------
//
// The tool's own loop (Handle_One_Event) takes queued clicks, keys and menu
// choices; the outcome alerts are the real movable alerts, and only the
// modal questions are answered by the test in place of the user.

namespace {

constexpr Point kSelectButton{50, 300};
constexpr Point kSendButton{315, 300};

class ProgramTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    upc::Set_Outcome_Proc(nullptr);
    upc::Install_Menu();
    upc::First_Get_Font_Data();
  }
  void TearDown() override {
    if (DialogRef d = upc::Config_Dialog()) upc::Handle_Config_Select_Item(d, nullptr, 2);
    // The outcome alerts and anything else still open.
    while (Win_Que_Base) {
      WindowRef w = reinterpret_cast<USR_WINDOW_QUEUE*>(Win_Que_Base)->wndPtr;
      if (upc::ftpData.dlg && w == GetDialogWindow(upc::ftpData.dlg)) break;
      Close_Usr_Window(w);
    }
    TransferTest::TearDown();
  }

  // One pass of the tool's loop; the processor time it took is noted.
  void Turn() {
    const auto start = hostile::ThreadCpuTime();
    upc::Handle_One_Event(&upc::Event_Rec);
    longest_ = std::max(longest_, hostile::ThreadCpuTime() - start);
  }
  bool RunUntil(const std::function<bool()>& done, int ms = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      Turn();
    }
    return true;
  }
  void Turns(int n) {
    for (int i = 0; i < n; ++i) Turn();
  }
  long LongestTurnMs() const { return long(std::chrono::duration_cast<std::chrono::milliseconds>(longest_).count()); }

  WindowRef Main() const { return GetDialogWindow(upc::ftpData.dlg); }
  static std::string Title(WindowRef w) {
    if (!w) return "";
    Str255 t;
    GetWTitle(w, t);
    return pstr::str(t);
  }

  // The window opens and its first search runs to its end.
  void OpenWindow(int expect) {
    ConfigData.brAddr = 0x7FFFFFFFu;
    ASSERT_EQ(upc::Open_File_Transfer(), 1);
    RunToSearchEnd(expect);
  }
  void RunToSearchEnd(int expect) {
    ASSERT_TRUE(RunUntil([&] { return upc::ftpData.jcp->found >= expect; }));
    ASSERT_TRUE(emu_.Settle());
    Turns(5);
    tb::AdvanceClock(60);
    ASSERT_TRUE(RunUntil([] { return !upc::ftpData.searching; }));
  }
  // Select... answered with a file of the test's folder.
  void ChooseFile(const std::string& name) {
    MakeFile(name, "job");
    tb::AnswerNextChooser({(dir_ / name).string()});
    tb::ClickInWindow(Main(), kSelectButton);
    ASSERT_TRUE(RunUntil([&] { return tb::DialogItemText(upc::ftpData.dlg, 4) == name; }));
  }

  // After any dialog: the main window is in front and takes a click (Select
  // chooses another file), a key (Escape asks the quit question, answered
  // Cancel) and a menu command (Settings opens its dialog; Escape closes it).
  void ExpectMainWindowAnswers() {
    ASSERT_EQ(FrontWindow(), Main());
    ChooseFile("again.prn");
    gAlerts.clear();
    gAlertAnswer = 2;
    tb::PressNamedKey("Escape");
    ASSERT_TRUE(RunUntil([] { return !gAlerts.empty(); }));
    EXPECT_EQ(gAlerts[0].text, "Are you sure you want to exit?");
    EXPECT_FALSE(upc::All_Done);
    gAlerts.clear();
    gAlertAnswer = 1;
    ASSERT_TRUE(tb::ChooseMenuItem(129, 3));
    ASSERT_TRUE(RunUntil([] { return upc::Config_Dialog() != nullptr; }));
    tb::PressNamedKey("Escape");
    ASSERT_TRUE(RunUntil([] { return upc::Config_Dialog() == nullptr; }));
    EXPECT_EQ(FrontWindow(), Main());
  }

  std::chrono::nanoseconds longest_{};
};

// The lines a column of the dialog crosses from the tab strip's top down to
// above the default button's ring: each run of pixels darker than the
// background counts once.
int linesDown(DialogRef d, short x) {
  Rect strip, ok;
  Get_Dialog_Item_Rect(d, 3, &strip);
  Get_Dialog_Item_Rect(d, 1, &ok);
  int lines = 0;
  bool in = false;
  for (int y = strip.top; y < ok.top - 6; ++y) {
    UInt8 r, g, b;
    tb::UnpackPixel(tb::PortPixel(GetDialogPort(d), x, y), r, g, b);
    const bool dark = r < 0xC0 && g < 0xC0 && b < 0xC0;
    lines += dark && !in;
    in = dark;
  }
  return lines;
}

TEST_F(ProgramTest, SettingsOpenWithTheirTabStripDrawn) {
  StartBoxes(1);
  OpenWindow(1);
  ASSERT_TRUE(tb::ChooseMenuItem(129, 3));
  ASSERT_TRUE(RunUntil([] { return upc::Config_Dialog() != nullptr; }));
  Turns(5);
  DialogRef d = upc::Config_Dialog();
  Rect strip;
  Get_Dialog_Item_Rect(d, 3, &strip);
  // The tab titles are on the screen before anything is clicked.
  EXPECT_TRUE(testsupport::DarkInkIn(GetDialogPort(d), strip));
  // One frame holds the page, its top and bottom edge a line each, right of
  // the buttons where nothing else is drawn (the page's group frame lies on
  // the tab strip's frame, not a few pixels beside it).
  EXPECT_EQ(linesDown(d, 330), 2);
  // The Timeout tab lies somewhere right of the first: the first click on
  // it shows its page, with the record's values.
  for (short h = SInt16(strip.left + 10); h < strip.right && upc::Config_Page() != kConfigPageTimeout; h += 10) {
    ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(d), Point{SInt16((strip.top + strip.bottom) / 2), h}));
    Turns(3);
  }
  ASSERT_EQ(upc::Config_Page(), kConfigPageTimeout);
  EXPECT_EQ(tb::DialogItemText(d, 6), std::to_string(ConfigData.rcvWait));
  EXPECT_TRUE(testsupport::DarkInkIn(GetDialogPort(d), strip));
  EXPECT_EQ(linesDown(d, 330), 2);
  tb::PressNamedKey("Escape");
  ASSERT_TRUE(RunUntil([] { return upc::Config_Dialog() == nullptr; }));
  ExpectMainWindowAnswers();
  // Quit with them open: they close as Cancel closes them, their tab strip
  // and list freed with their record.
  ASSERT_TRUE(tb::ChooseMenuItem(129, 3));
  ASSERT_TRUE(RunUntil([] { return upc::Config_Dialog() != nullptr; }));
  ASSERT_TRUE(tb::ChooseMenuItem(129, 1));
  ASSERT_TRUE(RunUntil([] { return upc::All_Done; }));
  EXPECT_EQ(upc::Config_Dialog(), nullptr);
  EXPECT_EQ(upc::Config_List(), nullptr);
  EXPECT_EQ(OpenMovableDlg, nullptr);
}

TEST_F(ProgramTest, EscapeAsASendFailsGoesToTheFailureAlert) {
  StartBoxes(1);
  pboxemu::FtpFaultSpec silent;
  silent.mode = pboxemu::FtpFault::NoLineEnd;
  silent.command = "";
  emu_.Ftp().SetFault(0, silent);
  OpenWindow(1);
  ChooseFile("job.prn");
  tb::ClickInWindow(Main(), kSendButton);
  ASSERT_TRUE(RunUntil([&] { return upc::SendTbl[0].connect && emu_.Ftp().Sessions(0) >= 1; }));
  Turns(5);
  // The settings wait for the transfer window: opened over it, they took
  // its lock, and closed, let the main window take clicks under it.
  DialogRef sending = upc::SendTbl[0].dlg;
  ASSERT_TRUE(tb::ChooseMenuItem(129, 3));
  Turns(5);
  EXPECT_EQ(upc::Config_Dialog(), nullptr);
  EXPECT_EQ(OpenMovableDlg, sending);
  // The greeting never ends; Escape comes with the tick that fails it.
  tb::AdvanceClock(181);
  tb::PressNamedKey("Escape");
  Turns(5);
  EXPECT_TRUE(gAlerts.empty()) << gAlerts[0].text;
  ASSERT_FALSE(upc::All_Done);
  WindowRef alert = FrontWindow();
  ASSERT_NE(alert, Main());
  EXPECT_EQ(Title(alert), "Send File");
  EXPECT_EQ(tb::ParamTextValue(0), "The file could not be sent.");
  // It keeps the keyboard, the mouse and the settings until it is answered.
  tb::PressNamedKey("Escape");
  tb::ClickInWindow(Main(), kSelectButton);
  ASSERT_TRUE(tb::ChooseMenuItem(129, 3));
  Turns(5);
  EXPECT_TRUE(gAlerts.empty());
  EXPECT_EQ(FrontWindow(), alert);
  EXPECT_EQ(upc::Config_Dialog(), nullptr);
  tb::PressNamedKey("Return");
  ASSERT_TRUE(RunUntil([&] { return FrontWindow() == Main(); }));
  ExpectMainWindowAnswers();
}

TEST_F(ProgramTest, ListHoldsOneRowPerBoxOfTheListedModels) {
  // B3 and C4 are one box to the tool: the same Ethernet address.
  const std::pair<const char*, pboxemu::Model> kinds[] = {{"C0", pboxemu::Model::QSV_C},
                                                          {"E1", pboxemu::Model::QSV_E},
                                                          {"F2", pboxemu::Model::Foreign},
                                                          {"B3", pboxemu::Model::QSV_B},
                                                          {"C4", pboxemu::Model::QSV_C}};
  std::vector<pboxemu::BoxSpec> boxes(std::size(kinds));
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    boxes[i].name = kinds[i].first;
    boxes[i].model = kinds[i].second;
    boxes[i].hasMac = i >= 3;
    boxes[i].mac = {0x00, 0x80, 0x92, 0x11, 0x22, 0x33};
  }
  StartBoxes(boxes, false);
  // C0 echoes each probe before it answers, and is asked twice: by the
  // broadcast and by its own address.
  pboxemu::FaultSpec echo;
  echo.mode = pboxemu::Fault::Echo;
  echo.command = false;
  emu_.SetFault(0, echo);
  upc::EnvInfo.tcp_count = 2;
  std::snprintf(upc::EnvInfo.broadcast[1], kBroadcastTextSize, "%s", upc::Dotted(emu_.BoxAddress(0)).c_str());

  struct Case {
    const char* what;
    bool shipped;  // the tool's own resources, else these:
    UInt8 filter;
    UInt8 count;
    std::vector<std::string> names;
    std::vector<std::string> rows;  // "B3|C4": either of the two
  } cases[] = {
      {"shipped list", true, 0, 0, {}, {"B3|C4", "C0", "E1"}},
      {"own list", false, 1, 2, {"OTHERBOX", "VEMOPLEX[C]"}, {"C0", "C4", "F2"}},
      {"count beyond the list", false, 1, 3, {"VEMOPLEX[E]"}, {"E1"}},
      {"no names", false, 1, 0, {"VEMOPLEX"}, {}},
      {"filter off", false, 0, 0, {}, {"B3|C4", "C0", "E1", "F2"}},
  };
  bool first = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Resources of the test's own over the tool's: the filter record and the
    // string list it names.
    SInt16 ref = -1;
    if (!c.shipped) {
      std::string list{0, char(c.names.size())};
      for (const std::string& n : c.names) list += char(n.size()) + n;
      testsupport::WriteResourceFile(dir_ / "models.rsrc",
                                     {testsupport::Resource('SPPT', 128, {c.filter, 0, 0, c.count, 0x01, 0x2C}),
                                      testsupport::Resource('STR#', 300, list)});
      FSSpec fss = testsupport::FileSpecOf(dir_ / "models.rsrc");
      ref = FSpOpenResFile(&fss, fsRdPerm);
      ASSERT_GE(ref, 0);
    }
    upc::Get_NameCheck_Info();
    if (ref >= 0) CloseResFile(ref);
    UseResFile(Appl_Rsrc_Fork_No);
    if (first) {
      OpenWindow(0);
      first = false;
    } else {
      tb::ClickInWindow(Main(), Point{315, 60});  // Search again
      Turns(2);
      EXPECT_EQ(CLGetCount(upc::ftpData.printerList), 0);
      RunToSearchEnd(0);
    }
    std::vector<std::string> rows;
    for (SInt16 r = 0; r < CLGetCount(upc::ftpData.printerList); ++r) {
      Str255 t;
      SInt16 len = sizeof t;
      CLGetCellOne(upc::ftpData.printerList, t, &len, Cell{r, 0});
      std::string name = pstr::str(t);
      const bool either = std::find(c.rows.begin(), c.rows.end(), "B3|C4") != c.rows.end();
      rows.push_back(either && (name == "B3" || name == "C4") ? "B3|C4" : name);
    }
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, c.rows);
  }
  // Search again pressed three times while the search runs: each search's
  // endpoint closes before the next begins (none is left open, forgotten
  // by the context), and the last lists every box once.
  const int providers = tb::OTOpenProviderCount();
  for (int i = 0; i < 3; ++i) {
    tb::ClickInWindow(Main(), Point{315, 60});
    Turns(2);
    EXPECT_NE(upc::ftpData.searching, 0) << i;
  }
  EXPECT_EQ(CLGetCount(upc::ftpData.printerList), 0);
  RunToSearchEnd(0);
  EXPECT_EQ(tb::OTOpenProviderCount(), providers);
  EXPECT_EQ(CLGetCount(upc::ftpData.printerList), 4);
  ExpectMainWindowAnswers();
}

TEST_F(ProgramTest, TableKeepsTheFirst128Boxes) {
  std::vector<pboxemu::BoxSpec> boxes(130);
  for (std::size_t i = 0; i < boxes.size(); ++i) boxes[i].name = "Box " + std::to_string(i);
  StartBoxes(boxes, false);
  OpenWindow(128);
  EXPECT_EQ(upc::ftpData.found, 128);
  EXPECT_EQ(CLGetCount(upc::ftpData.printerList), 128);
  ExpectMainWindowAnswers();
}

TEST_F(ProgramTest, BoxStreamingAnEndlessLineNeverHoldsTheLoop) {
  StartBoxes(1, false);
  constexpr UInt64 kLine = 32u << 20;
  hostile::Streamer streamer(emu_.BoxAddress(0), tb::MapPort(21), kLine);
  ASSERT_TRUE(streamer.ok());
  OpenWindow(1);
  ChooseFile("job.prn");
  longest_ = {};
  tb::ClickInWindow(Main(), kSendButton);
  ASSERT_TRUE(RunUntil([&] { return streamer.Sent() == kLine; }, 120000));
  EXPECT_LT(LongestTurnMs(), 100);
  // No line end, so no greeting: the transfer fails as any silent box's.
  tb::AdvanceClock(181);
  ASSERT_TRUE(RunUntil([&] { return FrontWindow() != Main() && !upc::SendTbl[0].using_; }));
  EXPECT_EQ(tb::ParamTextValue(0), "The file could not be sent.");
  EXPECT_LT(LongestTurnMs(), 100);
  tb::PressNamedKey("Return");
  ASSERT_TRUE(RunUntil([&] { return FrontWindow() == Main(); }));
  ExpectMainWindowAnswers();
}

// Every window of the tool as a person meets it, in English and Japanese:
// the main window before and after a file and a box are chosen, the file
// chooser, the send window, each outcome alert, the settings' two pages
// with their messages, and the quit question. At each stop no text may be
// drawn outside its window, cut or shortened; every button a framework
// dialog draws enabled takes a click at its centre as its own item (the
// click only recorded), each drawn tab shows its page; a modal alert is
// answered by a click at the centre of its button. The tour goes on by
// clicks at the centres of what is drawn.
using testsupport::ClickTarget;
using Kind = ClickTarget::Kind;
DialogItemIndex gReached = 0;

Rect ItemRect(DialogRef d, DialogItemIndex item) {
  Rect r{};
  Get_Dialog_Item_Rect(d, item, &r);
  return r;
}

class UpcTour : public ProgramTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    std::snprintf(IniFileName, sizeof IniFileName, "%s",
                  (Bundle() + "/Contents/Resources/" + GetParam() + "/ftpup.ini").c_str());
    upc::Install_Menu();
    upc::First_Get_Font_Data();
    upc::Set_Alert_Answer(nullptr);
    // "stop NAME ITEM": the modal window in front (an alert, the chooser)
    // is a stop, answered by a click at the centre of its item (0: Escape).
    tb::RegisterScriptCommand("stop", [this](const std::vector<std::string>& w, std::string*) {
      WindowRef front = FrontWindow();
      // Up, and drawn by the loop that runs it.
      if (Get_Usr_Window_Data(front) || ++modalPasses_ < 4) return tb::ScriptResult::kAgain;
      modalPasses_ = 0;
      Look(w.at(1), front);
      const DialogItemIndex answer = DialogItemIndex(std::stoi(w.at(2)));
      if (answer == 0) tb::PressNamedKey("Escape");
      for (const ClickTarget& t : testsupport::ClickTargets(GetDialogFromWindow(front)))
        if (answer && t.kind == Kind::kButton && t.item == answer) tb::ClickInWindow(front, t.centre());
      return tb::ScriptResult::kDone;
    });
  }

  void Look(const std::string& stop, WindowRef w) {
    stops_.insert(stop);
    // What a field holds is the user's and may be drawn while an alert
    // covers it, but lies in its window and its rectangle; every label,
    // caption and message shows whole.
    const testsupport::TextRules rules{.exempt = [](const tb::DrawnText& t) {
      const bool field = t.source == tb::TextSource::kEditText || t.source == tb::TextSource::kTextEdit;
      return field && !t.shortened && !(t.cut & (tb::kOutsideWindow | tb::kOffScreen | tb::kOutsideFrame));
    }};
    for (const std::string& f : testsupport::WindowTextFaults(w, rules)) faults_.insert(stop + ": " + f);
    if (tb::DrawnTexts(w).empty()) faults_.insert(stop + ": nothing drawn");
  }
  // The framework dialog in front as a stop.
  void Visit(const std::string& stop) {
    WindowRef w = FrontWindow();
    // Drawn: its buttons show.
    RunUntil([&] { return !tb::DrawnTexts(w).empty(); }, 5000);
    Turns(3);
    Look(stop, w);
    WINDOW_USR_DATA* data = Get_Usr_Window_Data(w);
    ASSERT_TRUE(data && data->isDialog) << stop;
    const auto targets = testsupport::ClickTargets(GetDialogFromWindow(w));
    USR_DIALOG& handlers = data->usrDlg->usrDialog;
    const UsrItemSelectProc own = handlers.Handle_Item_Select;
    handlers.Handle_Item_Select = [](DialogRef, EventRecord*, DialogItemIndex item) -> Boolean {
      gReached = item;
      return true;
    };
    for (const ClickTarget& t : targets) {
      if (t.kind != Kind::kButton) continue;
      gReached = 0;
      Click(w, t.centre());
      EXPECT_EQ(gReached, t.item) << stop << ": '" << t.title << "'";
    }
    handlers.Handle_Item_Select = own;
    SInt16 page = kConfigPageTCP;
    for (const ClickTarget& t : targets) {
      if (t.kind != Kind::kTab) continue;
      Click(w, t.centre());
      EXPECT_EQ(upc::Config_Page(), page) << stop << ": tab '" << t.title << "'";
      Look(stop + ", page " + t.title, w);
      ++page;
    }
    if (page > kConfigPageTCP + 1) Click(w, targets.front().centre());
  }
  // The front alert's message stands beside its icon, which is drawn: the
  // text is not set in from the left for an icon that is not there.
  void ExpectTextBesideItsIcon(const std::string& stop) {
    WindowRef w = FrontWindow();
    DialogRef d = GetDialogFromWindow(w);
    const Rect icon = ItemRect(d, 4);
    const std::string shot = (dir_ / "alert.png").string();
    ASSERT_EQ(tb::SaveWindowPNG(w, shot.c_str()), noErr);
    const auto image = testsupport::ReadPNG(shot);
    ASSERT_TRUE(image);
    Rect content;
    GetWindowBounds(w, kWindowContentRgn, &content);
    const int top = image->height - (content.bottom - content.top);
    const int left = (image->width - (content.right - content.left)) / 2;
    int marked = 0;
    for (int y = icon.top; y < icon.bottom; ++y)
      for (int x = icon.left; x < icon.right; ++x) marked += testsupport::RgbAt(*image, left + x, top + y)[0] < 200;
    EXPECT_GT(marked, 50) << stop << ": no icon drawn beside the message";
    for (const tb::DrawnText& t : tb::DrawnTexts(w))
      if (t.source == tb::TextSource::kStaticText) {
        EXPECT_GE(t.shown.left, icon.right) << stop << ": " << t.text;
        EXPECT_LT(t.shown.left, icon.right + 20) << stop << ": " << t.text;
      }
  }
  void Click(WindowRef w, Point at) {
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(tb::ClickInWindow(w, at));
    Turns(3);
  }
  // A click at the centre of the front dialog's button, which acts; a
  // modal it brings is the stop named, answered by its item.
  void Press(DialogItemIndex item, const std::string& modal = "", int answer = 0) {
    if (!modal.empty()) tb::LoadScriptText("stop \"" + modal + "\" " + std::to_string(answer) + "\n");
    WindowRef w = FrontWindow();
    for (const ClickTarget& t : testsupport::ClickTargets(GetDialogFromWindow(w)))
      if (t.kind == Kind::kButton && t.item == item) {
        Click(w, t.centre());
        if (!modal.empty()) {
          EXPECT_TRUE(RunUntil([] { return !tb::ScriptRunning(); }, 5000)) << modal;
        }
        return;
      }
    ADD_FAILURE() << "item " << item << " is not drawn enabled";
  }
  void Type(DialogItemIndex item, const std::string& text) {
    DialogRef d = GetDialogFromWindow(FrontWindow());
    Handle h = nullptr;
    Get_Dialog_Item_Handle(d, item, &h);
    Str255 t;
    pstr::set(t, sizeof t, text);
    SetDialogItemText(h, t);
  }

  testsupport::DrawnTextReport report_;
  std::set<std::string> stops_, faults_;
  int modalPasses_ = 0;
};

TEST_P(UpcTour, EveryWindowReadsWholeAndEveryClickActs) {
  StartBoxes(2);
  OpenWindow(2);
  Visit("main window");
  Press(3, "file chooser", 0);
  ChooseFile("quarterly-report-of-the-sales-division.prn");
  Click(Main(), Point{SInt16(ItemRect(upc::ftpData.dlg, 8).top + 24), 100});
  ASSERT_EQ(CLGetSelectCount(upc::ftpData.printerList), 1);
  Visit("main window, a file and a box chosen");

  // A send the box never takes the data of, cancelled; one that fails; one
  // that ends.
  pboxemu::FtpFaultSpec stall;
  stall.mode = pboxemu::FtpFault::NoDial;
  stall.command = "STOR";
  emu_.Ftp().SetFault(0, stall);
  emu_.Ftp().SetFault(1, stall);
  for (const char* outcome : {"cancelled", "failed", "sent"}) {
    Press(1);
    ASSERT_TRUE(RunUntil([] { return upc::SendTbl[0].using_ && upc::SendTbl[0].dlg; }));
    Turns(5);
    const std::string sent = outcome;
    if (sent == "cancelled") {
      Visit("Send File");
      Press(1);
    } else if (sent == "failed") {
      tb::AdvanceClock(upc::kReplyTicks + 1);
    }
    ASSERT_TRUE(RunUntil([&] { return !upc::SendTbl[0].using_ && FrontWindow() != Main(); })) << outcome;
    Visit(std::string("the alert of a send ") + outcome);
    ExpectTextBesideItsIcon(outcome);
    Press(1);
    ASSERT_TRUE(RunUntil([&] { return FrontWindow() == Main(); }));
    emu_.Ftp().ClearFaults();
  }

  // Settings: each page, a wrong address, one added and added again, a
  // wait out of range.
  ASSERT_TRUE(tb::ChooseMenuItem(129, 3));
  ASSERT_TRUE(RunUntil([] { return upc::Config_Dialog() != nullptr; }));
  Visit("Settings");
  Type(4, "1.2.3");
  Press(6, "the input alert, an address", 1);
  Type(4, "10.0.0.1");
  Press(6);
  Type(4, "010.0.0.1");
  Press(6, "the address alert", 1);
  Click(GetDialogWindow(upc::Config_Dialog()), Point{SInt16(ItemRect(upc::Config_Dialog(), 5).top + 7), 60});
  Visit("Settings, an address chosen");
  for (const ClickTarget& t : testsupport::ClickTargets(upc::Config_Dialog()))
    if (t.kind == Kind::kTab && upc::Config_Page() == kConfigPageTCP) Click(FrontWindow(), t.centre());
  ASSERT_EQ(upc::Config_Page(), kConfigPageTimeout);
  Type(6, "299");
  Press(1, "the input alert, a wait", 1);
  Press(2);
  ASSERT_EQ(upc::Config_Dialog(), nullptr);

  // Quit: the question declined, then confirmed.
  Press(2, "the quit question, declined", 2);
  EXPECT_FALSE(upc::All_Done);
  Press(2, "the quit question", 1);
  EXPECT_TRUE(upc::All_Done);

  EXPECT_EQ(testsupport::JoinLines({faults_.begin(), faults_.end()}), "") << GetParam();
  std::string list;
  for (const std::string& s : stops_) list += (list.empty() ? "" : "; ") + s;
  std::printf("stops (%s): %s\n", GetParam(), list.c_str());
  EXPECT_EQ(stops_.size(), 18u);
}

INSTANTIATE_TEST_SUITE_P(Languages, UpcTour, ::testing::Values("English", "Japanese"),
                         [](const ::testing::TestParamInfo<const char*>& p) { return std::string(p.param); });

}  // namespace

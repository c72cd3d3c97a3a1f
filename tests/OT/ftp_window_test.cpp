// The send window end to end, headless: opened by the host for its files,
// driven by the program's event loop and idle step against the emulated
// box, cancelled with its button, and ending in the outcome alert.
#include <cstring>

#include "common/AppWindows.h"
#include "ftp_harness.h"
#include "stub_host.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox/windows.h"

namespace ftptest {
namespace {

struct PStr {
  Str255 s;
  explicit PStr(std::string_view t) { pstr::set(s, sizeof s, t); }
  operator const unsigned char*() const { return s; }
};

const char* const kAllSent = "All files were sent.";
const char* const kFailed = "The files could not be sent.";
const char* const kCancelled = "Sending was cancelled.";

class FtpWindowTest : public FtpTest {
 protected:
  void SetUp() override {
    FtpTest::SetUp();
    testhost::Reset();
    tb::ResetResources();
    ASSERT_GT(tb::OpenApplicationResources(FTP_WINDOW_TEST_RSRC), 0);
    tb::ResetEventState();
    testsupport::WriteFile(dir_ / "lang.ini",
                           "[BUTTON]\nOK=Fine\nCANCEL=Stop\n"
                           "[LABEL]\nSTC_NAME=File:\nSTC_NUM=Files:\nSTC_TRANS=Sent:\n"
                           "[TITLE]\nFTP=Send files\n");
    testsupport::WriteFile(dir_ / "monitor.ini",
                           std::string("[STRING]\nFTP=FTP send\nSTRING02=") + kAllSent + "\nSTRING03=" + kFailed +
                               "\nSTRING04=" + kCancelled + "\n");
    std::snprintf(IniFileName, sizeof IniFileName, "%s", (dir_ / "lang.ini").c_str());
    std::snprintf(MonFileName, sizeof MonFileName, "%s", (dir_ / "monitor.ini").c_str());
  }
  void TearDown() override {
    FtpTest::TearDown();
    while (Win_Que_Base) Close_Usr_Window(static_cast<USR_WINDOW_QUEUE*>(Win_Que_Base->q_body)->wndPtr);
    OpenMovableDlg = nullptr;
    tb::DisposeAllWindows();
    tb::ResetResources();
    tb::ResetEventState();
  }

  // One pass of the program's loop: every queued event through the two
  // dispatch stages, then the idle step.
  static void Pass() {
    EventRecord e;
    while (GetNextEvent(everyEvent, &e))
      if (Handle_Dialog_Event(&e) != 1) Handle_Window_Event(&e);
    Update_Send_Window();
  }
  static DialogRef Window() { return tb::FindDialogByTitle("FTP send"); }
  static DialogRef Alert() { return tb::FindDialogByTitle("Send files"); }
  bool RunUntilAlert(int ms = 20000) { return PumpUntil([] { return Alert() != nullptr; }, ms, Pass); }

  // Whether the alert's text item shows message as its first text (the
  // other three empty): it looks as that item of a fresh alert that holds
  // the text itself.
  static bool AlertSays(const std::string& message) {
    DialogRef alert = Alert();
    DialogRef ref = GetNewDialog(612, nullptr, nullptr);
    if (!alert || !ref) return false;
    DialogItemType kind;
    Handle h;
    Rect r;
    GetDialogItem(ref, 3, &kind, &h, &r);
    SetDialogItemText(h, PStr(message + "|||"));
    GrafPtr saved;
    GetPort(&saved);
    for (DialogRef d : {alert, ref}) {
      SetPortDialogPort(d);
      BackColor(whiteColor);
      EraseRect(&r);
      DrawDialog(d);
    }
    SetPort(saved);
    bool same = true;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        same = same && tb::PortPixel(GetDialogPort(alert), x, y) == tb::PortPixel(GetDialogPort(ref), x, y);
    DisposeDialog(ref);
    return same;
  }

  DialogPtr OwnerWith(int n, const std::vector<FSSpec>& files) {
    DialogPtr owner = reinterpret_cast<DialogPtr>(Owner(n));
    stubhost::SetFiles(owner, files);
    return owner;
  }
};

TEST_F(FtpWindowTest, ThreeFilesAreSentAndTheAlertSaysSo) {
  StartBox();
  std::vector<std::string> bytes = {Bytes(70000, 31), Bytes(10, 32), Bytes(40000, 33)};
  DialogPtr owner = OwnerWith(1, {MakeFile("a.prn", bytes[0]), MakeFile("b.prn", bytes[1]), MakeFile("c.prn", bytes[2])});
  size_t menusBefore = testhost::host().appliMenuFlags.size();
  ASSERT_EQ(Open_Tcp_Dialog(owner, box_, 3), 1);
  DialogRef dlg = Window();
  ASSERT_NE(dlg, nullptr);
  EXPECT_TRUE(IsWindowVisible(GetDialogWindow(dlg)));
  EXPECT_EQ(tb::DialogItemText(dlg, 1), "Stop");
  EXPECT_GT(testhost::host().appliMenuFlags.size(), menusBefore);  // the menus were brought up to date
  EXPECT_EQ(Do_Ftp_Dialog_Open(owner), 1);

  ASSERT_TRUE(RunUntilAlert());
  EXPECT_EQ(Window(), nullptr);
  EXPECT_TRUE(AlertSays(kAllSent));
  EXPECT_EQ(Do_Ftp_Dialog_Open(owner), 0);
  auto got = emu_.Ftp().Files(0);
  ASSERT_EQ(got.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::string(got[i].data.begin(), got[i].data.end()) == bytes[i]);
  EXPECT_EQ(stubhost::Lists(owner)->sent, (std::vector<std::string>{"a.prn", "b.prn", "c.prn"}));
  EXPECT_TRUE(stubhost::Lists(owner)->toSend.empty());

  // The alert's button closes it.
  ASSERT_TRUE(tb::ClickDialogItem(Alert(), 1));
  Pass();
  EXPECT_EQ(Alert(), nullptr);
}

TEST_F(FtpWindowTest, CancelInTheDataPhaseClosesBothConnections) {
  StartBox();
  DialogPtr owner = OwnerWith(1, {MakeFile("big.prn", Bytes(8 << 20, 34))});
  ASSERT_EQ(Open_Tcp_Dialog(owner, box_, 1), 1);
  SEND_WND_INFO* slot = Get_Send_Data_Table(Window());
  ASSERT_NE(slot, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return slot->fileData.sendSize > 0; }, 10000, Pass));
  ASSERT_TRUE(tb::ClickDialogItem(Window(), 1));
  ASSERT_TRUE(RunUntilAlert());
  EXPECT_EQ(Window(), nullptr);
  EXPECT_TRUE(AlertSays(kCancelled));
  EXPECT_TRUE(PumpUntil([&] { return emu_.Ftp().OpenConnections(0) == 0; }));
  ASSERT_EQ(emu_.Ftp().Files(0).size(), 1u);
  EXPECT_FALSE(emu_.Ftp().Files(0)[0].complete);
  EXPECT_TRUE(stubhost::Lists(owner)->sent.empty());
}

TEST_F(FtpWindowTest, EmptyFileShowsTheFailure) {
  StartBox();
  DialogPtr owner = OwnerWith(1, {MakeFile("empty.prn", "")});
  ASSERT_EQ(Open_Tcp_Dialog(owner, box_, 1), 1);
  ASSERT_TRUE(RunUntilAlert());
  EXPECT_TRUE(AlertSays(kFailed));
  EXPECT_EQ(Window(), nullptr);
}

TEST_F(FtpWindowTest, ErrorReplyShowsTheFailure) {
  pboxemu::FtpFaultSpec f;
  f.mode = pboxemu::FtpFault::ErrorReply;
  f.command = "STOR";
  f.code = 553;
  emu_.Ftp().SetFault(-1, f);
  StartBox();
  DialogPtr owner = OwnerWith(1, {MakeFile("a.prn", "data")});
  ASSERT_EQ(Open_Tcp_Dialog(owner, box_, 1), 1);
  ASSERT_TRUE(RunUntilAlert());
  EXPECT_TRUE(AlertSays(kFailed));
  EXPECT_TRUE(stubhost::Lists(owner)->sent.empty());
}

TEST_F(FtpWindowTest, NinthWindowIsRefused) {
  for (int i = 0; i < kSendTableSize; ++i)
    ASSERT_EQ(Open_Tcp_Dialog(OwnerWith(i, {MakeFile("f" + std::to_string(i), "x")}), 0x7F000001, 1), 1) << i;
  int dialogs = tb::DialogCount();
  EXPECT_EQ(Open_Tcp_Dialog(OwnerWith(9, {MakeFile("f9", "x")}), 0x7F000001, 1), 0);
  EXPECT_EQ(tb::DialogCount(), dialogs);
}

TEST_F(FtpWindowTest, BarFillsItsShareOfTheItem) {
  DialogPtr owner = OwnerWith(1, {MakeFile("a.prn", "data")});
  ASSERT_EQ(Open_Tcp_Dialog(owner, 0x7F000001, 1), 1);
  DialogRef dlg = Window();
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(dlg, 8, &kind, &h, &r);
  const int width = r.right - r.left;
  const int y = (r.top + r.bottom) / 2;
  auto pixel = [&](int x, int yy) { return tb::PortPixel(GetDialogPort(dlg), x, yy); };
  const UInt32 blue = tb::PackPixel(0, 0, 255), white = tb::PackPixel(255, 255, 255), black = tb::PackPixel(0, 0, 0);
  for (short percent : {0, 37, 100, 150}) {
    Draw_Send_Byte_Bar(dlg, 8, percent);
    int filled = width * std::min<int>(percent, 100) / 100;
    int blues = 0;
    for (int x = r.left; x < r.right; ++x) blues += pixel(x, y) == blue;
    EXPECT_EQ(blues, filled) << percent;
    EXPECT_EQ(pixel(r.right - 1, y), percent >= 100 ? blue : white);
    EXPECT_EQ(pixel(r.left - 1, y), black);
    EXPECT_EQ(pixel(r.right, r.top - 1), black);
  }
}

TEST_F(FtpWindowTest, UpdateRedrawsTheSizeText) {
  DialogPtr owner = OwnerWith(1, {MakeFile("a.prn", Bytes(3000, 35))});
  ASSERT_EQ(Open_Tcp_Dialog(owner, 0x7F000001, 1), 1);
  DialogRef dlg = Window();
  SEND_WND_INFO* slot = Get_Send_Data_Table(dlg);
  ASSERT_NE(slot, nullptr);
  Draw_Send_Data(slot);
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(dlg, 7, &kind, &h, &r);
  auto inked = [&] {
    RGBColor back;
    GetPortBackColor(GetDialogPort(dlg), &back);
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (tb::PortPixel(GetDialogPort(dlg), x, y) != tb::PixelOf(back)) return true;
    return false;
  };
  EXPECT_TRUE(inked());
  Rect all;
  GetWindowPortBounds(GetDialogWindow(dlg), &all);
  InvalWindowRect(GetDialogWindow(dlg), &all);
  EventRecord e;
  while (GetNextEvent(everyEvent, &e))
    if (Handle_Dialog_Event(&e) != 1) Handle_Window_Event(&e);
  EXPECT_TRUE(inked());
  EXPECT_EQ(pstr::str(slot->percentStr), "0.00 Byte / 2.92 KB ( 0 % )");
}

}  // namespace
}  // namespace ftptest

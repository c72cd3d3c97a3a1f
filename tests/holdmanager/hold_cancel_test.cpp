// The cancel matrix: each command that runs under the progress dialog,
// started from the window as a person starts it (a folder's rename from the
// Options dialog, whose Apply keeps it open under the progress dialog),
// against a box that stalls, answers slowly, resets in the middle of a
// reply or vanishes, then ended by Escape, a click on Cancel,
// Command-period, Command-Q or the progress window's close box. The
// program runs on its own idle timer under its event loop, as it does for
// a person. Whatever the timing: nothing crashes, clicks on the windows
// under the progress dialog and the About command wait for it, the program
// says the command stopped or failed, no partial file is left, and the
// window answers afterwards (or the program has quit cleanly).
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "drawn_text.h"
#include "hold_program_fixture.h"
#include "holdmanager/HoldConfigDlg.h"
#include "holdmanager/HoldControls.h"
#include "toolbox/drawntext.h"
#include "toolbox/navigation.h"

namespace {

namespace fs = std::filesystem;

enum class Command { Refresh, Rename, Move, Print, Delete, Download, Upload, RenameFolder };
enum class End { Escape, CancelButton, CommandPeriod, CommandQ, CloseBox };

// What the box does to the command: a fault of its held-job service or of
// its line-printer daemon.
struct BoxFault {
  const char* name;
  pboxemu::HoldFaultSpec hold;
  pboxemu::LpdFaultSpec lpd;
  // The command the fault holds the program in when it is not the one
  // started: the wait for the box to file an upload.
  UInt16 heldIn = 0;
};

struct Case {
  Command command;
  BoxFault fault;
  End end;
};

constexpr std::size_t kUploadBytes = 1u << 20;

const char* commandName(Command c) {
  switch (c) {
    case Command::Refresh: return "DeletesAJobThenTheListIsRead";
    case Command::Rename: return "RenamesAJob";
    case Command::Move: return "MovesAJob";
    case Command::Print: return "PrintsAJob";
    case Command::Delete: return "DeletesTwoJobs";
    case Command::Download: return "DownloadsAJob";
    case Command::Upload: return "UploadsAFile";
    case Command::RenameFolder: return "RenamesAFolderWithApply";
  }
  return "";
}

const char* endName(End e) {
  switch (e) {
    case End::Escape: return "PressesEscape";
    case End::CancelButton: return "ClicksCancel";
    case End::CommandPeriod: return "PressesCommandPeriod";
    case End::CommandQ: return "QuitsWithCommandQ";
    case End::CloseBox: return "ClosesTheProgressWindow";
  }
  return "";
}

// The request code the box's faults hit: the command's own, the change
// number that starts the refresh after a delete.
int codeOf(Command c) {
  switch (c) {
    case Command::Refresh: return VFMP_CHANGE;
    case Command::Rename: return CMD_RENAME;
    case Command::Move: return CMD_MOVE;
    case Command::Print: return CMD_PRINT;
    case Command::Delete: return CMD_DELETE;
    case Command::Download: return CMD_DOWNLOAD;
    case Command::Upload: return 0;
    case Command::RenameFolder: return CMD_FOLDER_RENAME;
  }
  return 0;
}

std::vector<BoxFault> holdFaults(Command c) {
  using pboxemu::HoldFault;
  const int code = codeOf(c);
  // A delete of two jobs meets the fault at its second request; a
  // download in the middle of its data.
  const int skip = c == Command::Delete ? 1 : 0;
  const UInt32 cut = c == Command::Download ? 40000 : 2;
  std::vector<BoxFault> out = {
      {"BoxStopsAnswering", {HoldFault::Silent, code, skip}, {}},
      {"BoxStallsMidReply", {HoldFault::Stall, code, skip, -1, 0, cut}, {}},
      {"BoxAnswersSlowly", {HoldFault::Late, code, skip, -1, 0, 0, 180}, {}},
      {"BoxResetsMidReply", {HoldFault::Reset, code, skip, -1, 0, cut}, {}},
      {"BoxVanishes", {HoldFault::Gone, code, skip}, {}},
  };
  // The commands of more than one request stall at each.
  if (c == Command::Delete) out.push_back({"BoxStopsAnsweringAtTheFirstJob", {HoldFault::Silent, code, 0}, {}});
  if (c == Command::Refresh) out.push_back({"BoxStopsAnsweringTheListItself", {HoldFault::Silent, VFMP_LIST}, {}});
  return out;
}

std::vector<BoxFault> lpdFaults() {
  using pboxemu::HoldFault;
  using pboxemu::LpdFault;
  // The daemon's five answers: to the queue, the data file's head, the
  // data, the control file's head, the control file.
  return {
      {"BoxSilentAtTheQueue", {}, {LpdFault::NoAck, 1}},
      {"BoxSilentAtTheDataFileHead", {}, {LpdFault::NoAck, 2}},
      {"BoxNeverAcknowledgesTheData", {}, {LpdFault::NoAck, 3}},
      {"BoxSilentAtTheControlFileHead", {}, {LpdFault::NoAck, 4}},
      {"BoxSilentAtTheControlFile", {}, {LpdFault::NoAck, 5}},
      {"BoxAnswersSlowly", {}, {LpdFault::LateAck, 3, 180}},
      {"BoxResetsMidData", {}, {LpdFault::ResetMid, 1, 0, 0, 300000}},
      {"BoxResetsInsteadOfAcknowledging", {}, {LpdFault::HangUpAtAck, 3}},
      {"BoxVanishesMidData", {}, {LpdFault::Gone, 1, 0, 0, 300000}},
      // The file went whole; the box never answers the wait for it to be filed.
      {"BoxStopsAnsweringOnceTheFileIsSent", {HoldFault::Silent}, {}, CMD_REFRESH},
  };
}

// Every command meets every fault with every end.
std::vector<Case> cases() {
  std::vector<Case> out;
  for (Command c : {Command::Upload, Command::Refresh, Command::Rename, Command::Move, Command::Print, Command::Delete,
                    Command::Download, Command::RenameFolder})
    for (const BoxFault& f : c == Command::Upload ? lpdFaults() : holdFaults(c))
      for (End e : {End::Escape, End::CancelButton, End::CommandPeriod, End::CommandQ, End::CloseBox})
        out.push_back({c, f, e});
  return out;
}

// The program on its own timer with one box of two jobs, and the commands
// started as a person starts them.
class CommandTest : public holdtest::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (HasFatalFailure()) return;
    std::vector<pboxemu::HeldJob> jobs;
    for (const char* name : {"plan.txt", "notes.txt"}) {
      pboxemu::HeldJob j;
      j.folder = 1;
      j.name = name;
      j.owner = "alice";
      j.size = 200000;
      jobs.push_back(j);
    }
    StartWithOneBox(jobs);
    if (HasFatalFailure()) return;
    RunOnOwnTimer();
  }

  void Click(DialogRef d, DialogItemIndex item) {
    ASSERT_TRUE(tb::ClickDialogItem(d, item)) << item;
    Pass();
    Pass();
  }
  void ShowTab(int tab) {
    if (M()->curTab != tab) ChangeTabPage(M()->dialog, M()->curTab, tab);
    ASSERT_TRUE(LoopUntilIdle());
  }
  // A click on a row of a list with a header (18-pixel rows); shift adds
  // it. What the click starts (the job's information) is let end.
  void ClickRow(DialogItemIndex list, int row, EventModifiers mods = 0) {
    const Rect r = ItemRectOf(M()->dialog, list);
    ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(M()->dialog),
                                  Point{SInt16(r.top + 18 + 18 * row + 9), SInt16(r.left + 40)}, mods));
    ASSERT_TRUE(LoopUntilIdle());
  }
  void AnswerYes() {
    ASSERT_TRUE(FrontSubDlg() && FrontSubDlg()->id == kMsgDlgID);
    tb::PressNamedKey("Return");
    Pass();
  }

  // The command started as a person starts it; the box turns faulty
  // (arm) just before the last key or click.
  void Start(Command c, const std::function<void()>& arm) {
    switch (c) {
      case Command::Refresh:
      case Command::Delete:
        ShowTab(2);
        ClickRow(kT1HMList, 0);
        if (c == Command::Delete) ClickRow(kT1HMList, 1, shiftKey);
        Click(M()->dialog, kT1Delete);
        arm();
        AnswerYes();
        return;
      case Command::Rename:
        ShowTab(2);
        ClickRow(kT1HMList, 0);
        Click(M()->dialog, kT1Rename);
        arm();
        tb::PressNamedKey("Return");
        return;
      case Command::Move: {
        ShowTab(2);
        ClickRow(kT1HMList, 0);
        Click(M()->dialog, kT1Move);
        ASSERT_TRUE(FrontSubDlg() && FrontSubDlg()->id == kMovDlgID);
        DialogRef d = FrontSubDlg()->dialog;
        const Rect r = ItemRectOf(d, 3);
        ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(d), Point{SInt16(r.top + 18 + 9), SInt16(r.left + 30)}));
        Pass();
        arm();
        Click(d, 4);
        return;
      }
      case Command::Print:
        ShowTab(1);
        ClickRow(kT0List, 0);
        Click(M()->dialog, kT0Print);
        arm();
        tb::PressNamedKey("Return");
        return;
      case Command::Download:
        ShowTab(1);
        ClickRow(kT0List, 0);
        tb::AnswerNextChooser({(downloads() / "saved.prn").string()});
        arm();
        Click(M()->dialog, kT0Download);
        return;
      case Command::RenameFolder: {
        // From the Options dialog's folder page; Apply keeps the dialog
        // open under the progress dialog.
        Click(M()->dialog, kItemOptions);
        ASSERT_NE(ConfigDialog(), nullptr);
        DialogRef d = ConfigDialog()->dialog;
        const Rect strip = ItemRectOf(d, 1);
        for (short x = short(strip.left + 2); x < strip.right && CfgDlgPage(ConfigDialog()) != 2; x += 4) {
          tb::ClickInWindow(GetDialogWindow(d), Point{short(strip.top + 15), x});
          Pass();
        }
        ASSERT_EQ(CfgDlgPage(ConfigDialog()), 2);
        const Rect list = ItemRectOf(d, 6);
        ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(d), Point{SInt16(list.top + 18 + 9), SInt16(list.left + 30)}));
        Pass();
        SubFieldFocus(ConfigDialog(), 9, true);
        tb::PressKey('a', tb::KeyCodeForChar('a'), cmdKey);
        tb::TypeText("Plans");
        Pass();
        arm();
        Click(d, 4);
        return;
      }
      case Command::Upload:
        ShowTab(2);
        testsupport::WriteFile(upload(), std::string(kUploadBytes, 'u'));
        tb::AnswerNextChooser({upload().string()});
        Click(M()->dialog, kT1Select);
        Click(M()->dialog, kT1Upload);
        arm();
        AnswerYes();
        return;
    }
  }

  void EndIt(End e) {
    DialogRef progress = GetPrgDlgPtr();
    ASSERT_NE(progress, nullptr);
    switch (e) {
      case End::Escape: tb::PressNamedKey("Escape"); break;
      case End::CancelButton: ASSERT_TRUE(tb::ClickDialogItem(progress, 2)); break;
      case End::CommandPeriod: tb::PressKey('.', tb::KeyCodeForChar('.'), cmdKey); break;
      case End::CommandQ: tb::PressKey('q', tb::KeyCodeForChar('q'), cmdKey); break;
      case End::CloseBox: {
        Rect box;
        ASSERT_EQ(GetWindowBounds(GetDialogWindow(progress), kWindowCloseBoxRgn, &box), noErr);
        tb::ClickAt(Point{SInt16((box.top + box.bottom) / 2), SInt16((box.left + box.right) / 2)});
        break;
      }
    }
  }

  // What the program says when a command stopped or failed.
  std::set<std::string> stoppedOrFailed() {
    std::set<std::string> out;
    for (int n : {1, 2, 3, 4, 5, 6, 7, 253, 254, 255}) {
      char key[16];
      std::snprintf(key, sizeof key, "STR%03d=", n);
      out.insert(HoldIniText("MESSAGE", key));
    }
    return out;
  }

  // A job list the command's end emptied shows no row either.
  void ExpectNoRowOfAnEmptiedList() {
    if (M()->curTab == 3) return;
    CLIST_DATA* list = M()->curTab == 1 ? M()->tab0File : M()->tab1HMFile;
    if (CLGetCount(list) > 0) return;
    const Rect r = ItemRectOf(M()->dialog, DialogItemIndex(M()->curTab == 1 ? int(kT0List) : int(kT1HMList)));
    for (const tb::DrawnText& t : tb::DrawnTexts(GetDialogWindow(M()->dialog))) {
      Rect both;
      if (t.source == tb::TextSource::kListCell && !(t.cut & tb::kPaintedOver) && SectRect(&t.shown, &r, &both))
        ADD_FAILURE() << "the emptied job list still shows " << t.text;
    }
    // Nor does a button for a job stand ready.
    for (DialogItemIndex i : M()->curTab == 1 ? std::vector<DialogItemIndex>{kT0Print, kT0Download}
                                              : std::vector<DialogItemIndex>{kT1Rename, kT1Delete, kT1Info, kT1Move})
      EXPECT_FALSE(IsControlActive(Item(i))) << "item " << i;
  }

  // The text of the message box in front, or "" when none is.
  std::string MessageShown() {
    SUB_DLG* d = FrontSubDlg();
    return d && d->id == kMsgDlgID ? tb::DialogItemText(d->dialog, 2) : "";
  }

  testsupport::DrawnTextReport report_;
  fs::path downloads() {
    fs::create_directories(dir_.path() / "downloads");
    return dir_.path() / "downloads";
  }
  fs::path upload() { return dir_.path() / "up.bin"; }
};

class CancelMatrix : public CommandTest, public ::testing::WithParamInterface<Case> {};

// A connection the box ends or resets in the middle of a command ends it as
// soon as it happens (well within a second, the clock moving a tick a
// pass), with the message of a lost connection, nothing half done, and the
// window answering afterwards: a download cut off in its reply, an upload
// cut off in its data or reset instead of the data's acknowledgement.
TEST_F(CommandTest, ALostConnectionEndsTheCommandAtOnceWithItsMessage) {
  using pboxemu::HoldFault;
  using pboxemu::LpdFault;
  const struct {
    const char* what;
    Command command;
    pboxemu::HoldFaultSpec hold;
    pboxemu::LpdFaultSpec lpd;
    const char* message;
  } cases[] = {
      {"the box resets in the reply",
       Command::Download,
       {HoldFault::Reset, CMD_DOWNLOAD, 0, -1, 0, 3000},
       {},
       "STR004="},
      {"the box resets before the reply", Command::Download, {HoldFault::Reset, CMD_DOWNLOAD}, {}, "STR004="},
      {"the daemon resets in the data", Command::Upload, {}, {LpdFault::ResetMid, 1, 0, 0, 300000}, "STR003="},
      {"the daemon hangs up in the data", Command::Upload, {}, {LpdFault::CloseMid, 1, 0, 0, 300000}, "STR003="},
      {"the daemon resets instead of acknowledging the data",
       Command::Upload,
       {},
       {LpdFault::HangUpAtAck, 3},
       "STR003="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    UInt32 armed = 0;
    Start(c.command, [&] {
      emu_.Hold().SetFault(0, c.hold);
      emu_.Hold().SetLpdFault(0, c.lpd);
      armed = TickCount();
    });
    if (HasFatalFailure()) return;
    ASSERT_TRUE(Loop([&] { return M()->eng.current == 0 && !M()->eng.progress; }, 20000)) << "the command goes on";
    EXPECT_LE(TickCount() - armed, 60u) << "the command waited for more than the lost connection";
    const std::string want = HoldIniText("MESSAGE", c.message);
    EXPECT_EQ(MessageShown(), want);
    EXPECT_EQ(M()->statusText, want);
    EXPECT_EQ(GetPrgDlgPtr(), nullptr);
    // Nothing half done: no part of the download beside the chosen name;
    // no job of the upload filed, and its file still listed to send again.
    EXPECT_TRUE(fs::is_empty(downloads()));
    for (const auto& j : emu_.Hold().Jobs(0)) EXPECT_NE(j.name, "up.bin");
    if (c.command == Command::Upload) {
      EXPECT_EQ(CLGetCount(M()->tab1PCFile), 1);
    }
    emu_.Hold().SetFault(0, {});
    emu_.Hold().SetLpdFault(0, {});
    tb::PressNamedKey("Return");
    ASSERT_TRUE(Loop([&] { return MessageShown().empty(); }, 2000));
    ExpectMainWindowLive();
    if (HasFatalFailure()) return;
    // The next case starts from an empty local list.
    if (c.command == Command::Upload) {
      ClickRow(kT1PCList, 0);
      Click(M()->dialog, kT1Remove);
      ASSERT_EQ(CLGetCount(M()->tab1PCFile), 0);
    }
  }
}

TEST_P(CancelMatrix, NothingIsLeftHalfDoneAndTheWindowAnswers) {
  const Case& c = GetParam();
  const UInt16 command = c.command == Command::Refresh ? UInt16(CMD_DELETE) : UInt16(codeOf(c.command));
  const int ownCommand = c.command == Command::Upload ? int(CMD_UPLOAD) : int(command);
  const std::size_t jobsBefore = emu_.Hold().Jobs(0).size();
  Start(c.command, [&] {
    emu_.Hold().SetFault(0, c.fault.hold);
    emu_.Hold().SetLpdFault(0, c.fault.lpd);
  });
  if (HasFatalFailure()) return;
  // The progress dialog stands in front while the box keeps the command
  // waiting (a reset may have ended it already).
  ASSERT_TRUE(Loop([&] { return GetPrgDlgPtr() != nullptr || M()->eng.current == 0; }));
  const int heldIn = c.fault.heldIn ? c.fault.heldIn : c.command == Command::Refresh ? int(CMD_REFRESH) : ownCommand;
  ASSERT_TRUE(Loop([&] { return !GetPrgDlgPtr() || M()->eng.current == heldIn; }));
  for (int i = 0; i < 20 && GetPrgDlgPtr(); ++i) Pass();
  if (GetPrgDlgPtr()) {
    WindowRef main = GetDialogWindow(M()->dialog);
    EXPECT_EQ(FrontWindow(), GetDialogWindow(GetPrgDlgPtr()));
    EXPECT_FALSE(IsWindowHilited(main));
    EXPECT_EQ(M()->eng.current, heldIn);
    // A press on the main window, its close box too, only brings the
    // progress dialog back.
    tb::ClickDialogItem(M()->dialog, kItemOptions);
    Pass();
    EXPECT_EQ(ConfigDialog() != nullptr, c.command == Command::RenameFolder);
    // The Options dialog under it neither cancels nor closes.
    if (SUB_DLG* cfg = ConfigDialog()) {
      tb::ClickDialogItem(cfg->dialog, 3);
      Pass();
      Rect box;
      ASSERT_EQ(GetWindowBounds(GetDialogWindow(cfg->dialog), kWindowCloseBoxRgn, &box), noErr);
      tb::ClickAt(Point{SInt16((box.top + box.bottom) / 2), SInt16((box.left + box.right) / 2)});
      Pass();
      EXPECT_EQ(ConfigDialog(), cfg) << "the Options dialog closed under the progress dialog";
      EXPECT_EQ(FrontWindow(), GetDialogWindow(GetPrgDlgPtr()));
    }
    Rect box;
    ASSERT_EQ(GetWindowBounds(main, kWindowCloseBoxRgn, &box), noErr);
    tb::ClickAt(Point{SInt16((box.top + box.bottom) / 2), SInt16((box.left + box.right) / 2)});
    Pass();
    ASSERT_NE(M(), nullptr) << "the main window closed under the progress dialog";
    EXPECT_NE(GetPrgDlgPtr(), nullptr);
    // The menu's About waits for the command too.
    tb::ChooseMenuItem(1000, 1);
    Pass();
    EXPECT_EQ(GetFrontDialog(), GetPrgDlgPtr()) << "About opened over the progress dialog";
    EXPECT_EQ(FrontWindow(), GetDialogWindow(GetPrgDlgPtr()));
  }
  if (GetPrgDlgPtr()) {
    EndIt(c.end);
  } else {
    // The box's reset ended the command first: the person's key or click
    // reaches whatever is in front now.
    EXPECT_NE(std::string(c.fault.name).find("Reset"), std::string::npos) << "the command ended by itself";
    if (c.end == End::CommandQ) tb::PressKey('q', tb::KeyCodeForChar('q'), cmdKey);
  }
  ASSERT_TRUE(Loop([&] { return !M() || (!GetPrgDlgPtr() && M()->eng.current == 0); }, 10000))
      << "the command did not end";

  // No partial file: nothing of the download beside the chosen name, and
  // the box files no job of the upload that is not whole.
  EXPECT_TRUE(fs::is_empty(downloads())) << fs::directory_iterator(downloads())->path();
  bool uploaded = false;
  for (const auto& j : emu_.Hold().Jobs(0)) {
    if (j.name == "up.bin") {
      EXPECT_EQ(j.data.size(), kUploadBytes);
      uploaded = true;
    }
  }
  if (c.command == Command::Upload) {
    EXPECT_LE(emu_.Hold().Jobs(0).size(), jobsBefore + 1);
  }

  if (c.end == End::CommandQ) {
    EXPECT_EQ(M(), nullptr) << "Command-Q did not quit";
    return;
  }
  ASSERT_NE(M(), nullptr);
  // A failure the box caused is told in a message box, which OK closes.
  if (SUB_DLG* d = FrontSubDlg(); d && d->id == kMsgDlgID) {
    EXPECT_EQ(stoppedOrFailed().count(tb::DialogItemText(d->dialog, 2)), 1u) << tb::DialogItemText(d->dialog, 2);
    tb::PressNamedKey("Return");
    ASSERT_TRUE(Loop([] { return !FrontSubDlg() || FrontSubDlg()->id != kMsgDlgID; }, 2000));
  }
  EXPECT_EQ(stoppedOrFailed().count(M()->statusText), 1u) << "the status line says: " << M()->statusText;
  // Apply left the Options dialog open, and it answers.
  if (c.command == Command::RenameFolder) {
    ASSERT_NE(ConfigDialog(), nullptr);
    EXPECT_EQ(FrontWindow(), GetDialogWindow(ConfigDialog()->dialog));
    Click(ConfigDialog()->dialog, 3);
    EXPECT_EQ(ConfigDialog(), nullptr);
  }
  ExpectNoRowOfAnEmptiedList();
  // Nothing is lost: a file the box does not have stays in the list to
  // send again, and one that left the list is on the box. (A daemon that
  // files the job without its last answer has it while it stays listed.)
  if (c.command == Command::Upload) {
    const int listed = CLGetCount(M()->tab1PCFile);
    if (!uploaded) {
      EXPECT_EQ(listed, 1);
    }
    if (listed == 0) {
      EXPECT_TRUE(uploaded);
    }
  }
  emu_.Hold().SetFault(0, {});
  emu_.Hold().SetLpdFault(0, {});
  ExpectMainWindowLive();
}

void PrintTo(const Case& c, std::ostream* os) {
  *os << commandName(c.command) << ", " << c.fault.name << ", " << endName(c.end);
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, CancelMatrix, ::testing::ValuesIn(cases()), [](const auto& info) {
  const Case& c = info.param;
  return std::string(commandName(c.command)) + "_" + c.fault.name + "_" + endName(c.end);
});

}  // namespace

// The sub-dialogs opened from the program's main window against an
// emulated box: the window's buttons open them for the rows selected in its
// lists, a refusal of the box reaches the user through the message box, and
// the Options button opens the configuration dialog on the window's settings;
// the names a box holds, in each language, through the lists and dialogs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>

#include "box_names.h"
#include "drawn_text.h"
#include "FanctionLib/CList.h"
#include "hold_harness.h"
#include "hold_program_fixture.h"
#include "holdmanager/HoldApp.h"
#include "holdmanager/HoldConfigDlg.h"
#include "holdmanager/HoldDialogs.h"
#include "holdmanager/HoldMainWnd.h"
#include "holdmanager/Thumbnail.h"
#include "toolbox/bundle.h"
#include "toolbox/carbonevents.h"
#include "toolbox/menus.h"
#include "toolbox/navigation.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"

namespace {

namespace fs = std::filesystem;

class HoldWindowDialogs : public holdtest::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (HasFatalFailure()) return;
    pboxemu::HeldJob j;
    j.folder = 1;
    j.name = "plan.txt";
    j.owner = "alice";
    j.size = 2048;
    j.pages = 3;
    std::vector<UInt32> ids;
    StartWithOneBox({j}, &ids);
    if (!ids.empty()) job_ = ids[0];
  }

  void TearDown() override {
    if (M() && !HasFatalFailure()) ExpectMainWindowLive();
    while (SUB_DLG* d = FrontSubDlg()) CloseSubDlg(d, d->id);
    tb::ClearChooserAnswers();
    ProgramTest::TearDown();
  }

  bool Drive(const std::function<bool()>& done, int ms = 15000) { return Loop(done, ms); }
  bool Idle() { return LoopUntilIdle(); }
  void Click(DialogRef d, DialogItemIndex item) {
    ASSERT_TRUE(tb::ClickDialogItem(d, item)) << item;
    Pass();
    Pass();
  }
  // The job's row selected in a tab's list (the buttons follow).
  void SelectRow(int tab, CLIST_DATA* list) {
    if (M()->curTab != tab) ChangeTabPage(M()->dialog, M()->curTab, tab);
    ASSERT_TRUE(Drive([&] { return M()->curTab == tab && CLGetCount(list) > 0 && M()->eng.current == 0; }));
    CLSetSelect(list, Cell{0, 0}, true, true);
    ChangeBtnState(M(), M()->tab0Info, false, 0);
  }
  // A click on the configuration dialog's tab strip where the page's tab is.
  void ClickConfigTab(int page) {
    DialogRef d = ConfigDialog()->dialog;
    const Rect r = ItemRectOf(d, 1);
    for (SInt16 x = SInt16(r.left + 2); x < r.right && CfgDlgPage(ConfigDialog()) != page; x = SInt16(x + 4)) {
      tb::ClickInWindow(GetDialogWindow(d), Point{SInt16(r.top + 15), x});
      Pass();
    }
    ASSERT_EQ(CfgDlgPage(ConfigDialog()), page);
  }
  pboxemu::HeldJob Job() {
    for (auto& j : emu_.Hold().Jobs(0))
      if (j.id == job_) return j;
    return {};
  }

  UInt32 job_ = 0;
};

TEST_F(HoldWindowDialogs, TheWindowsButtonsOpenTheDialogsForTheSelectedJob) {
  // Second tab: rename, information with the page thumbnail.
  SelectRow(2, M()->tab1HMFile);
  Click(M()->dialog, kT1Rename);
  ASSERT_TRUE(FrontSubDlg() && FrontSubDlg()->id == kRenDlgID);
  EXPECT_EQ(SubFieldText(SubDlgField(FrontSubDlg(), 2)), "plan.txt");
  SubFieldFocus(FrontSubDlg(), 2, true);
  tb::TypeText("plan-v2.txt");
  Pass();
  tb::PressNamedKey("Return");
  ASSERT_TRUE(Idle());
  EXPECT_EQ(Job().name, "plan-v2.txt");
  EXPECT_EQ(SubDlgCount(), 0);
  ExpectMainWindowLive();

  SelectRow(2, M()->tab1HMFile);
  Click(M()->dialog, kT1Info);
  ASSERT_TRUE(InfoDialogOpen());
  ASSERT_TRUE(Idle());
  EXPECT_EQ(CLGetCount(M()->tab0Info), 6) << "the window's detail page is filled too";
  {
    // The dialog's own detail list starts at its top: no empty header band.
    DialogRef info = FrontSubDlg()->dialog;
    const Rect list = ItemRectOf(info, 6);
    EXPECT_TRUE(testsupport::DarkInkIn(GetDialogPort(info), Rect{SInt16(list.top + 1), SInt16(list.left + 2),
                                                                 SInt16(list.top + 15), SInt16(list.left + 60)}))
        << "the first row";
  }
  tb::PressNamedKey("Escape");
  Pass();
  EXPECT_FALSE(InfoDialogOpen());
  ExpectMainWindowLive();

  // A refused information request: its message, and OK closes the dialog too.
  emu_.Hold().SetFault(0, {pboxemu::HoldFault::Result, CMD_INFO, 0, 1, 254});
  SelectRow(2, M()->tab1HMFile);
  Click(M()->dialog, kT1Info);
  ASSERT_TRUE(Drive([] { return FrontSubDlg() && FrontSubDlg()->id == kMsgDlgID; }));
  Click(FrontSubDlg()->dialog, 4);
  EXPECT_FALSE(InfoDialogOpen());
  EXPECT_EQ(SubDlgCount(), 0);
  ExpectMainWindowLive();

  // First tab: print, then download into a chosen file.
  SelectRow(1, M()->tab0File);
  Click(M()->dialog, kT0Print);
  ASSERT_TRUE(FrontSubDlg() && FrontSubDlg()->id == kPrnDlgID);
  tb::PressNamedKey("Return");
  ASSERT_TRUE(Idle());
  EXPECT_EQ(emu_.Hold().Requests(0).back()[2], 6);
  ExpectMainWindowLive();
  const std::string target = (dir_.path() / "plan.prn").string();
  tb::AnswerNextChooser({target});
  Click(M()->dialog, kT0Download);
  ASSERT_TRUE(Idle());
  EXPECT_EQ(fs::file_size(target), 2048u);
  ExpectMainWindowLive();

  // A refusal of the box shows its message; OK closes it.
  emu_.Hold().SetFault(0, {pboxemu::HoldFault::Result, CMD_PRINT, 0, 1, 254});
  Click(M()->dialog, kT0Print);
  tb::PressNamedKey("Return");
  ASSERT_TRUE(Drive([] { return FrontSubDlg() && FrontSubDlg()->id == kMsgDlgID; }));
  EXPECT_EQ(tb::DialogItemText(FrontSubDlg()->dialog, 2), "The print server refused the request.");
  Click(FrontSubDlg()->dialog, 4);
  EXPECT_EQ(SubDlgCount(), 0);
  ExpectMainWindowLive();

  // Back on the second tab: move to the other folder.
  SelectRow(2, M()->tab1HMFile);
  Click(M()->dialog, kT1Move);
  ASSERT_TRUE(FrontSubDlg() && FrontSubDlg()->id == kMovDlgID);
  DialogRef d = FrontSubDlg()->dialog;
  Rect r;
  DialogItemType kind;
  Handle h;
  GetDialogItem(d, 3, &kind, &h, &r);
  ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(d), Point{SInt16(r.top + 18 + 9), SInt16(r.left + 30)}));
  Pass();
  Click(d, 4);
  ASSERT_TRUE(Idle());
  EXPECT_EQ(Job().folder, 2u);
  ExpectMainWindowLive();

  // Two files chosen and uploaded into the folder the tab shows.
  std::vector<std::string> files = {(dir_.path() / "a.txt").string(), (dir_.path() / "b.txt").string()};
  for (auto& f : files) testsupport::WriteFile(f, "held text " + f);
  tb::AnswerNextChooser(files);
  Click(M()->dialog, kT1Select);
  ASSERT_EQ(CLGetCount(M()->tab1PCFile), 2);
  ChangeBtnState(M(), M()->tab0Info, false, 0);
  Click(M()->dialog, kT1Upload);
  ASSERT_TRUE(FrontSubDlg() && FrontSubDlg()->id == kMsgDlgID);
  Click(FrontSubDlg()->dialog, 3);  // Yes
  ASSERT_TRUE(Drive([&] { return emu_.Hold().LprSessions(0).size() == 2 && M()->eng.current == 0; }, 20000));
  // The box files "hold_N" into its N-th folder by name: here the folder's id.
  int uploaded = 0;
  for (auto& j : emu_.Hold().Jobs(0))
    uploaded += UInt32(M()->folderValue[1]) == j.folder && (j.name == "a.txt" || j.name == "b.txt");
  EXPECT_EQ(uploaded, 2);
  ExpectMainWindowLive();

  // Options: the window's settings; Apply keeps the dialog open.
  Click(M()->dialog, kItemOptions);
  ASSERT_TRUE(ConfigDialog());
  EXPECT_EQ(M()->cfgDlg, ConfigDialog());
  SubFieldFocus(ConfigDialog(), 12, true);
  tb::TypeText("60");
  Pass();
  IdleSubDlg();
  Click(ConfigDialog()->dialog, 4);
  EXPECT_EQ(M()->config.ulTimeOut, 60u);
  ASSERT_TRUE(ConfigDialog());
  Click(ConfigDialog()->dialog, 3);
  EXPECT_EQ(ConfigDialog(), nullptr);
  EXPECT_EQ(M()->cfgDlg, nullptr);
}

// A folder renamed from the configuration dialog, confirmed with OK (the
// dialog closes before the rename's progress dialog opens) and with Apply
// (the dialog stays under it): afterwards the window answers again.
TEST_F(HoldWindowDialogs, AFolderRenameConfirmedWithOKOrApplyLeavesTheWindowAnswering) {
  for (const bool ok : {true, false}) {
    SCOPED_TRACE(ok ? "OK" : "Apply");
    Click(M()->dialog, kItemOptions);
    ASSERT_TRUE(ConfigDialog());
    ClickConfigTab(2);
    SubFieldFocus(ConfigDialog(), 9, true);
    tb::TypeText(ok ? "Plans" : "Drafts");
    Pass();
    Click(ConfigDialog()->dialog, ok ? 2 : 4);
    ASSERT_TRUE(Idle());
    bool renamed = false;
    for (auto& f : emu_.Hold().Folders(0)) renamed = renamed || f.name == (ok ? "1_Plans" : "1_Drafts");
    EXPECT_TRUE(renamed);
    if (!ok) {
      ASSERT_TRUE(ConfigDialog());
      EXPECT_EQ(FrontWindow(), GetDialogWindow(ConfigDialog()->dialog));
      tb::PressNamedKey("Escape");
      ASSERT_TRUE(Drive([] { return ConfigDialog() == nullptr; }));
    }
    EXPECT_EQ(ConfigDialog(), nullptr);
    ExpectMainWindowLive();
  }
}

// The preview's page buttons: a press released inside one turns to the
// first, previous, next or last page, whose picture is fetched; a disabled
// button and a press released outside leave the page as it is.
TEST_F(HoldWindowDialogs, ThePreviewsPageButtonsTurnThePages) {
  // A click on the job's row shows its details and its first page.
  const Rect list = ItemRectOf(M()->dialog, kT0List);
  ASSERT_TRUE(
      tb::ClickInWindow(GetDialogWindow(M()->dialog), Point{SInt16(list.top + 18 + 9), SInt16(list.left + 40)}));
  ASSERT_TRUE(Drive([&] { return CLGetCount(M()->tab0Info) == 6 && M()->eng.current == 0; }));
  auto pageRow = [&] {
    Str255 t;
    SInt16 len = sizeof t;
    CLGetCellOne(M()->tab0Info, t, &len, Cell{2, 1});
    return std::string(reinterpret_cast<char*>(t + 1), t[0]);
  };
  ASSERT_EQ(pageRow(), "1 / 3");
  const struct {
    DialogItemIndex button;
    const char* page;
  } presses[] = {{kT0Next, "2 / 3"}, {kT0Last, "3 / 3"},  {kT0Next, "3 / 3"},
                 {kT0Prev, "2 / 3"}, {kT0First, "1 / 3"}, {kT0Prev, "1 / 3"}};
  for (const auto& p : presses) {
    ASSERT_TRUE(tb::ClickDialogItem(M()->dialog, p.button));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(pageRow(), p.page) << "after button " << p.button;
  }
  // Pressed on Next, released outside it.
  const Rect next = ItemRectOf(M()->dialog, kT0Next);
  Point in{SInt16((next.top + next.bottom) / 2), SInt16((next.left + next.right) / 2)};
  Point out{SInt16(next.bottom + 40), in.h};
  {
    tb::PortSaver saver(GetDialogPort(M()->dialog));
    LocalToGlobal(&in);
    LocalToGlobal(&out);
  }
  tb::MouseDownAt(in);
  tb::MouseUpAt(out);
  ASSERT_TRUE(Idle());
  EXPECT_EQ(pageRow(), "1 / 3");
  // Each page's picture was asked for once (the page follows the job's id).
  std::vector<int> pages;
  for (auto& r : emu_.Hold().Requests(0))
    if (r.size() > 16 && r[2] == CMD_THUMBNAIL) pages.push_back(r[15] << 8 | r[16]);
  EXPECT_EQ(pages, (std::vector<int>{1, 2, 3}));

  // No page turns while a command runs, one of a dialog's here: the buttons
  // are off and drawn so, and come back when it has ended.
  emu_.Hold().SetFault(0, {pboxemu::HoldFault::Silent});
  Click(M()->dialog, kT0Print);
  tb::PressNamedKey("Return");
  Pass();
  ASSERT_EQ(M()->eng.current, CMD_PRINT);
  for (const PAGE_BTN& b : gMainDlgBtn) EXPECT_EQ(b.state, kPageBtnDisabled) << b.index;
  EXPECT_FALSE(testsupport::DarkInkIn(GetDialogPort(M()->dialog), next)) << "Next drawn as off";
  tb::PressNamedKey("Escape");
  ASSERT_TRUE(Idle());
  EXPECT_EQ(gMainDlgBtn[kPageNext].state, kPageBtnNormal);
  emu_.Hold().SetFault(0, {});
}

// Every name of the shared table, as the box holds it, through the program
// in each language, in a job of its client's language code and in one of a
// code the program does not know: the held-job list (name and owner), the
// information, the Rename field, what Rename sends (the box's own bytes for
// a name left as it was, which reads as before once listed again; a new
// name in the job's language's encoding, else the program's, or refused),
// the name proposed for a
// download, and the job and source names of an upload's control file (a
// file name the encoding cannot hold refused).
class HoldNames : public holdtest::ProgramTest, public ::testing::WithParamInterface<testsupport::BoxLanguage> {
 protected:
  void SetUp() override {
    tb::SetSystemLanguage(GetParam() == testsupport::kJapanese ? "ja" : "en");
    ProgramTest::SetUp();
  }
  void TearDown() override {
    while (SUB_DLG* d = FrontSubDlg()) CloseSubDlg(d, d->id);
    tb::ClearChooserAnswers();
    ProgramTest::TearDown();
    tb::SetSystemLanguage("");
  }
  void Click(DialogRef d, DialogItemIndex item) {
    ASSERT_TRUE(tb::ClickDialogItem(d, item)) << item;
    Pass();
    Pass();
  }
  void Retype(short field, const std::string& text) {
    SubFieldFocus(FrontSubDlg(), field, true);
    tb::PressKey('a', tb::KeyCodeForChar('a'), cmdKey);
    tb::TypeText(text);
    Pass();
  }
  // The row of a job (by its id on the box) selected in a list of the tab.
  void Select(int tab, CLIST_DATA* list, UInt32 id) {
    if (M()->curTab != tab) ChangeTabPage(M()->dialog, M()->curTab, tab);
    ASSERT_TRUE(Loop([&] { return M()->curTab == tab && M()->eng.current == 0 && CLGetCount(list) > 0; }));
    CLClearSelect(list, nullptr);
    for (SInt16 r = 0; r < CLGetCount(list); ++r)
      if (const auto* j = reinterpret_cast<const JOB_ENTRY*>(CLGetReference(list, r)))
        if (UInt32(j->jobId[0] << 24 | j->jobId[1] << 16 | j->jobId[2] << 8 | j->jobId[3]) == id)
          CLSetSelect(list, Cell{r, 0}, true, true);
    ChangeBtnState(M(), M()->tab0Info, false, 0);
  }
  std::string SelectedText(CLIST_DATA* list, SInt16 col) {
    Cell c{0, 0};
    if (!CLGetSelect(list, &c, true)) return "(none selected)";
    Str255 t;
    SInt16 len = sizeof t;
    CLGetCellOne(list, t, &len, Cell{c.v, col});
    return pstr::str(t);
  }
  pboxemu::HeldJob Held(UInt32 id) {
    for (auto& j : emu_.Hold().Jobs(0))
      if (j.id == id) return j;
    return {};
  }
  bool MessageUp() {
    return Loop([] { return FrontSubDlg() && FrontSubDlg()->id == kMsgDlgID; }, 3000);
  }
  static std::string CellText(CLIST_DATA* list, SInt16 row, SInt16 col) {
    Str255 t;
    SInt16 len = sizeof t;
    CLGetCellOne(list, t, &len, Cell{row, col});
    return pstr::str(t);
  }
  testsupport::DrawnTextReport report_;
};

TEST_P(HoldNames, ReadAndGoBackInTheLanguagesEncoding) {
  const int lang = GetParam();
  const auto& names = testsupport::BoxNames();
  // Each name twice: as its client's job lists it, with that client's
  // language code, and with a code the program does not know, which reads
  // in the program's own language.
  struct Listed {
    const testsupport::BoxName* n;
    bool own;  // with its client's code
    std::string shown;
  };
  std::vector<Listed> listed;
  std::vector<pboxemu::HeldJob> jobs;
  for (const auto& n : names)
    for (bool own : {true, false}) {
      pboxemu::HeldJob j;
      j.folder = 1, j.name = n.held, j.owner = n.held, j.size = 100, j.language = UInt8(own ? n.client : 14);
      jobs.push_back(j);
      listed.push_back({&n, own, own ? n.meant : n.shown[lang]});
    }
  std::vector<UInt32> ids;
  StartWithOneBox(jobs, &ids);
  ASSERT_EQ(ids.size(), listed.size());
  for (std::size_t i = 0; i < listed.size(); ++i) {
    const testsupport::BoxName& n = *listed[i].n;
    const std::string& shown = listed[i].shown;
    SCOPED_TRACE(std::string(n.what) + (listed[i].own ? ", in its client's language" : ", in no known language"));
    Select(1, M()->tab0File, ids[i]);
    EXPECT_EQ(SelectedText(M()->tab0File, 0), shown);
    EXPECT_EQ(SelectedText(M()->tab0File, 1), shown);
    UInt8 proposed[258];
    JOB_ENTRY job{};
    ASSERT_TRUE(gHoldHost.firstFileJob(&job));
    Get_Download_FileName(job.name, proposed, LangCodeEncoding(job.lang, gTextEncoding));
    EXPECT_EQ(pstr::str(proposed), shown + ".prn");

    // The information: the dialog's and the window's detail page.
    Select(2, M()->tab1HMFile, ids[i]);
    Click(M()->dialog, kT1Info);
    ASSERT_TRUE(LoopUntilIdle());
    ASSERT_TRUE(InfoDialogOpen());
    Pass();  // drawn
    long drawn = 0;
    for (const tb::DrawnText& t : tb::DrawnTexts(GetDialogWindow(FrontSubDlg()->dialog))) drawn += t.text == shown;
    EXPECT_EQ(drawn, 2) << "name and owner";
    for (SInt16 row : {0, 1}) EXPECT_EQ(CellText(M()->tab0Info, row, 1), shown) << row;
    tb::PressNamedKey("Escape");
    Pass();

    // Only the owner changed: the name goes back as the box's bytes, and
    // reads as before once listed again.
    Click(M()->dialog, kT1Rename);
    ASSERT_TRUE(FrontSubDlg() && FrontSubDlg()->id == kRenDlgID);
    EXPECT_EQ(SubFieldText(SubDlgField(FrontSubDlg(), 2)), shown);
    EXPECT_EQ(SubFieldText(SubDlgField(FrontSubDlg(), 4)), shown);
    Retype(4, "owner");
    tb::PressNamedKey("Return");
    ASSERT_TRUE(LoopUntilIdle());
    EXPECT_EQ(Held(ids[i]).name, n.held);
    EXPECT_EQ(Held(ids[i]).owner, "owner");
    Select(2, M()->tab1HMFile, ids[i]);
    EXPECT_EQ(SelectedText(M()->tab1HMFile, 0), shown);

    // A new name: in the job's language's encoding, else the program's, or
    // refused with the name's message; it reads as typed once listed again.
    Click(M()->dialog, kT1Rename);
    Retype(2, n.typed);
    tb::PressNamedKey("Return");
    const std::optional<std::string>& written = listed[i].own ? n.writtenForClient[lang] : n.written[lang];
    if (written) {
      ASSERT_TRUE(LoopUntilIdle());
      EXPECT_EQ(Held(ids[i]).name, *written);
      Select(2, M()->tab1HMFile, ids[i]);
      EXPECT_EQ(SelectedText(M()->tab1HMFile, 0), n.typed);
    } else {
      ASSERT_TRUE(MessageUp());
      EXPECT_EQ(tb::DialogItemText(FrontSubDlg()->dialog, 2).substr(0, 20),
                HoldIniText("MESSAGE", "STR301=").substr(0, 20));
      tb::PressNamedKey("Return");
      Pass();
      ASSERT_TRUE(FrontSubDlg() && FrontSubDlg()->id == kRenDlgID);
      tb::PressNamedKey("Escape");
      Pass();
      EXPECT_EQ(Held(ids[i]).name, n.held);
    }
    EXPECT_EQ(SubDlgCount(), 0);
  }

  // Files named as typed: those the encoding holds go out in one upload,
  // their names in it; then one it cannot hold is refused before anything
  // more is sent.
  std::vector<std::string> sendable, refused;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string path = (dir_.path() / names[i].typed).string();
    testsupport::WriteFile(path, std::to_string(i));
    (names[i].written[lang] ? sendable : refused).push_back(path);
  }
  for (const auto* files : {&sendable, &refused}) {
    tb::AnswerNextChooser(*files);
    Click(M()->dialog, kT1Select);
    ChangeBtnState(M(), M()->tab0Info, false, 0);
    Click(M()->dialog, kT1Upload);
    ASSERT_TRUE(MessageUp());
    if (files == &refused) break;
    Click(FrontSubDlg()->dialog, 3);  // Yes
    ASSERT_TRUE(
        Loop([&] { return emu_.Hold().LprSessions(0).size() == sendable.size() && M()->eng.current == 0; }, 20000));
  }
  EXPECT_EQ(tb::DialogItemText(FrontSubDlg()->dialog, 2).substr(0, 20),
            HoldIniText("MESSAGE", "STR301=").substr(0, 20));
  for (const pboxemu::LprSession& session : emu_.Hold().LprSessions(0)) {
    const testsupport::BoxName& n =
        names[std::size_t(std::stoi(std::string(session.data.begin(), session.data.end())))];
    SCOPED_TRACE(n.what);
    EXPECT_NE(session.control.find("\nJ" + *n.written[lang] + "\n"), std::string::npos) << session.control;
    EXPECT_NE(session.control.find("\nN" + *n.written[lang] + "\n"), std::string::npos);
  }
  EXPECT_EQ(emu_.Hold().LprSessions(0).size(), sendable.size());
}

INSTANTIATE_TEST_SUITE_P(Languages, HoldNames, ::testing::Values(testsupport::kEnglish, testsupport::kJapanese),
                         [](const ::testing::TestParamInfo<testsupport::BoxLanguage>& p) {
                           return std::string(p.param == testsupport::kJapanese ? "Japanese" : "English");
                         });

}  // namespace

// Every window of the held-job manager as a person meets it, in English and
// in Japanese: the main window's three pages in the states a user brings
// them to, the job dialogs, the options' two pages, the progress dialogs,
// the questions and messages, the choosers and the about box. At each stop
// no text may be drawn outside its window, cut or shortened; every button a
// sub-dialog draws enabled takes a click at its centre as its own item and
// each drawn tab shows its page, the selected one standing on the page's
// frame. The tour itself goes from window to window by clicks at the centre
// of what is drawn, and every button and tab the main window ever draws
// enabled is clicked so somewhere in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "drawn_text.h"
#include "FanctionLib/CTab.h"
#include "hold_program_fixture.h"
#include "toolbox/finder.h"
#include "toolbox/navigation.h"
#include "toolbox/recorder.h"

namespace {

using testsupport::ClickTarget;
using Kind = ClickTarget::Kind;

short gReached = 0;  // the item a sub-dialog's press reached
class Tour;
Tour* gTour = nullptr;

class Tour : public holdtest::ProgramTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    tb::SetSystemLanguage(GetParam() == std::string("Japanese") ? "ja" : "");
    ProgramTest::SetUp();
    gTour = this;
  }
  void TearDown() override {
    tb::SetSystemLanguage("");
    tb::ClearChooserAnswers();
    ProgramTest::TearDown();
  }

  // A window's texts as a person reads them. What a field holds is the
  // user's and may scroll in its view, but lies in its window and its
  // rectangle; every label, caption and message shows whole.
  void Look(const std::string& stop, WindowRef w) {
    if (std::find(stops_.begin(), stops_.end(), stop) == stops_.end()) stops_.push_back(stop);
    const testsupport::TextRules rules{.exempt = [](const tb::DrawnText& t) {
      const bool field = t.source == tb::TextSource::kEditText || t.source == tb::TextSource::kTextEngine;
      return field && !t.shortened && !(t.cut & (tb::kOutsideWindow | tb::kOffScreen | tb::kOutsideFrame));
    }};
    for (const std::string& f : testsupport::WindowTextFaults(w, rules)) faults_.insert(stop + ": " + f);
    if (tb::DrawnTexts(w).empty()) faults_.insert(stop + ": nothing drawn");
    if (M() && w == GetDialogWindow(M()->dialog))
      for (const ClickTarget& t : testsupport::ClickTargets(M()->dialog)) targets_.insert(MainKey(t));
    // The selected tab of the main window and of the options stands on its
    // page's frame.
    CTAB_DATA* tabs = nullptr;
    if (M() && w == GetDialogWindow(M()->dialog)) tabs = M()->tab;
    if (ConfigDialog() && w == GetDialogWindow(ConfigDialog()->dialog)) tabs = CfgDlgTabs(ConfigDialog());
    if (tabs && tabs->frameRect) {
      const std::string standing = testsupport::TabAboveItsFrame(
          GetDialogFromWindow(w), CTGetCurSel(tabs) - tabs->visTabNo, tabs->frameRect->top);
      if (!standing.empty()) faults_.insert(stop + ": " + standing);
    }
  }
  std::string MainKey(const ClickTarget& t) {
    if (t.kind == Kind::kTab) return "tab '" + t.title + "'";
    return (t.item > kMainItemCount ? "page " + std::to_string(M()->curTab) + " " : std::string()) + "item " +
           std::to_string(t.item) + " '" + t.title + "'";
  }

  // A click at the centre of a button the main window draws enabled.
  // A window just given back by a dialog may take a few turns of the loop
  // to come to the front and draw its buttons live again.
  void Press(DialogItemIndex item) {
    std::optional<ClickTarget> target;
    Loop(
        [&] {
          for (const ClickTarget& t : testsupport::ClickTargets(M()->dialog))
            if (t.kind == Kind::kButton && t.item == item) target = t;
          return target.has_value();
        },
        3000);
    if (!target) {
      ControlRef c = nullptr;
      GetDialogItemAsControl(M()->dialog, item, &c);
      ADD_FAILURE() << "page " << M()->curTab << " item " << item << " is not drawn enabled (control "
                    << (c && IsControlActive(c) ? "active" : "inactive") << ", window "
                    << (IsWindowHilited(GetDialogWindow(M()->dialog)) ? "in front" : "behind") << ", command "
                    << M()->eng.current << ")";
      return;
    }
    pressed_.insert(MainKey(*target));
    ClickAt(GetDialogWindow(M()->dialog), target->centre());
  }
  // The main window's tab (from 0) at the centre of what is drawn; its
  // page shows and has read its lists.
  void PressTab(int index) {
    int i = 0;
    for (const ClickTarget& t : testsupport::ClickTargets(M()->dialog))
      if (t.kind == Kind::kTab && i++ == index) {
        pressed_.insert(MainKey(t));
        ClickAt(GetDialogWindow(M()->dialog), t.centre());
      }
    ASSERT_TRUE(Loop([&] { return M()->curTab == index + 1 && M()->eng.current == 0; })) << "tab " << index;
  }
  void ClickAt(WindowRef w, Point at) {
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(tb::ClickInWindow(w, at));
    Pass();
    Pass();
  }
  // A click on a row of one of the main window's lists.
  void ClickRow(DialogItemIndex list, int row) {
    const Rect r = ItemRectOf(M()->dialog, list);
    ClickAt(GetDialogWindow(M()->dialog), Point{SInt16(r.top + 18 * (row + 1) + 9), SInt16(r.left + 40)});
  }

  // The front sub-dialog as a stop: looked at, each button clicked at its
  // centre reaching its item (and nothing else: the press is only
  // recorded), each tab showing its page.
  SUB_DLG* Visit(const std::string& stop, short id) {
    Pass();  // drawn
    SUB_DLG* d = FrontSubDlg();
    EXPECT_TRUE(d && d->id == id) << stop;
    if (!d || d->id != id) return nullptr;
    Look(stop, GetDialogWindow(d->dialog));
    const auto targets = testsupport::ClickTargets(d->dialog);
    const auto own = d->mouseDown;
    d->mouseDown = [](SUB_DLG* s, const EventRecord* ev) { gReached = short(MouseDownSubDlg(ev, s, s->id)); };
    for (const ClickTarget& t : targets) {
      if (t.kind != Kind::kButton) continue;
      gReached = 0;
      ClickAt(GetDialogWindow(d->dialog), t.centre());
      EXPECT_EQ(gReached, t.item) << stop << ": '" << t.title << "'";
    }
    d->mouseDown = own;
    int page = 0;
    for (const ClickTarget& t : targets) {
      if (t.kind != Kind::kTab) continue;
      ClickAt(GetDialogWindow(d->dialog), t.centre());
      EXPECT_EQ(CfgDlgPage(d), ++page) << stop << ": tab '" << t.title << "'";
      Look(stop + ", page " + std::to_string(page), GetDialogWindow(d->dialog));
    }
    if (page > 1) ClickAt(GetDialogWindow(d->dialog), targets.front().centre());
    return d;
  }
  // A click at the centre of a sub-dialog's button, which then acts.
  void Answer(short item) {
    SUB_DLG* d = FrontSubDlg();
    ASSERT_NE(d, nullptr);
    for (const ClickTarget& t : testsupport::ClickTargets(d->dialog))
      if (t.kind == Kind::kButton && t.item == item) return ClickAt(GetDialogWindow(d->dialog), t.centre());
    ADD_FAILURE() << "dialog " << d->id << " draws no enabled item " << item;
  }
  bool MessageUp() {
    return Loop([] { return FrontSubDlg() && FrontSubDlg()->id == kMsgDlgID; }, 5000);
  }
  // A one-button dialog of the window (progress, about) as a stop, left by
  // a click at the centre of its button.
  void VisitOneButton(const std::string& stop, DialogRef d, DialogItemIndex button) {
    ASSERT_NE(d, nullptr) << stop;
    Pass();  // drawn
    Look(stop, GetDialogWindow(d));
    const auto targets = testsupport::ClickTargets(d);
    ASSERT_EQ(targets.size(), 1u) << stop;
    EXPECT_EQ(targets[0].item, button) << stop;
    ClickAt(GetDialogWindow(d), targets[0].centre());
  }
  // The chooser a click brings up (it runs its own loop, in which the
  // idle source looks at it), as a stop, left with Escape.
  void VisitChooser(const std::string& stop, DialogItemIndex opener) {
    chooser_ = stop;
    chooserPasses_ = 0;
    for (const ClickTarget& t : testsupport::ClickTargets(M()->dialog))
      if (t.kind == Kind::kButton && t.item == opener) {
        pressed_.insert(MainKey(t));
        tb::AdvanceClock(GetDblTime() + 1);
        ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(M()->dialog), t.centre()));
      }
    tb::SetIdleEventSource(+[] {
      if (!GetDlgHandlers(FrontWindow()) && !gTour->chooser_.empty()) {
        gTour->Look(gTour->chooser_, FrontWindow());
        gTour->chooserTexts_ = tb::DrawnTexts(FrontWindow());
        gTour->chooser_.clear();
        tb::PressNamedKey("Escape");
      } else if ((gTour->chooser_.empty() && GetDlgHandlers(FrontWindow())) || ++gTour->chooserPasses_ > 5000) {
        QuitApplicationEventLoop();
      }
      return false;
    });
    RunApplicationEventLoop();
    tb::SetIdleEventSource(nullptr);
    EXPECT_TRUE(chooser_.empty()) << stop << " did not come up";
    chooser_.clear();
    Pass();
  }
  // The program's idle step once the search has waited long enough: the
  // pop-up opens there, and stands until the click.
  void OpenThePopUpByItself() {
    ASSERT_TRUE(tb::PopupItemRect(Item(kItemDevice), 1, &popupItem_));
    tb::AdvanceTicks(91);
    tb::SetIdleEventSource(+[] { return gTour->WhileThePopUpStandsOpen(); });
    IdleEventMainDlg();
    tb::SetIdleEventSource(nullptr);
  }
  // The pop-up that opened by itself, seen from its own loop: it stands open
  // for 20 passes of two seconds in all while the pointer moves over its
  // item and off it; then a click on the box's item.
  bool WhileThePopUpStandsOpen() {
    if (tb::ShownMenu() != GetControlPopupMenuHandle(Item(kItemDevice))) return false;
    const Point on{SInt16((popupItem_.top + popupItem_.bottom) / 2), SInt16((popupItem_.left + popupItem_.right) / 2)};
    if (++popupPasses_ < 20) {
      tb::AdvanceTicks(6);
      tb::MoveMouseTo(popupPasses_ % 2 ? on : Point{SInt16(on.v + 80), on.h});
      return false;
    }
    tb::AdvanceClock(GetDblTime() + 1);
    tb::ClickAt(on);
    return true;
  }
  // How many texts drawn in a window read text, or hold it.
  static long Drawn(WindowRef w, const std::string& text) {
    const auto drawn = tb::DrawnTexts(w);
    return std::count_if(drawn.begin(), drawn.end(), [&](const tb::DrawnText& t) { return t.text == text; });
  }
  static long Contains(WindowRef w, const std::string& text) {
    const auto drawn = tb::DrawnTexts(w);
    return std::count_if(drawn.begin(), drawn.end(),
                         [&](const tb::DrawnText& t) { return t.text.find(text) != std::string::npos; });
  }
  std::string PageRow() {
    Str255 t;
    SInt16 len = sizeof t;
    CLGetCellOne(M()->tab0Info, t, &len, Cell{2, 1});
    return std::string(reinterpret_cast<char*>(t + 1), t[0]);
  }

  testsupport::DrawnTextReport report_;  // before any window opens
  std::vector<std::string> stops_;
  std::set<std::string> faults_, targets_, pressed_;
  std::string chooser_;  // the chooser stop awaited
  std::vector<tb::DrawnText> chooserTexts_;  // what the last chooser drew
  int chooserPasses_ = 0;
  Rect popupItem_{};  // the Printer pop-up's item, as its menu shows it
  int popupPasses_ = 0;
};

TEST_P(Tour, EveryWindowReadsWholeAndEveryClickActs) {
  const std::string main = "main window";
  auto job = [](UInt32 folder, const char* name, const char* owner, UInt16 pages, bool listed = false) {
    pboxemu::HeldJob j;
    j.folder = folder, j.name = name, j.owner = owner, j.pages = pages, j.size = 2048, j.listed = listed;
    j.thumbnails = pages > 0;
    return j;
  };
  pboxemu::BoxSpec spec;
  spec.hasMachineType = true;
  spec.machineType = holdtest::holdMachineType(0x23);
  emu_.AddBox(spec);
  auto& h = emu_.Hold();
  h.Enable();
  // A Japanese client's names (a job's, its owner's and a folder's), held
  // in the language's encoding with the client's language code: they read
  // whole in either language, and a new name goes back in that encoding.
  const std::string quote = "日本語.txt", owner = "山田", sales = "2_営業", renamed = "日本語 2.txt";
  auto japanese = [](auto held) {
    held.language = 18;
    return held;
  };
  h.AddFolder(0, {1, "1_Design", 0, 0});
  h.AddFolder(0, japanese(pboxemu::HeldFolder{2, "2_\x89\x63\x8B\xC6", 0, 0}));
  for (const auto& j :
       {job(1, "plan.txt", "alice", 3), japanese(job(1, "\x93\xFA\x96\x7B\x8C\xEA.txt", "\x8E\x52\x93\x63", 0)),
        job(2, "budget.xls", "bob", 1), job(1, "queued.prn", "carol", 1, true), job(1, "Delta", "dan", 1, true),
        job(1, "alpha", "al", 1, true), job(1, "charlie", "cy", 1, true), job(1, "Beta", "bea", 1, true)})
    h.AddJob(0, j);
  std::string err;
  ASSERT_TRUE(emu_.Start(&err)) << err;

  // The window as it opens, and the Printer pop-up that opens by itself once
  // the box is found: with no input at all, it stays open while time passes
  // and the pointer moves over it, until a click chooses the box, whose
  // folders and jobs are then read.
  ASSERT_EQ(HoldStartup(), 1);
  WindowRef w = GetDialogWindow(M()->dialog);
  Pass();
  Look(main + ", searching", w);
  ASSERT_TRUE(Loop([&] { return PopupCount(kItemDevice) == 1; }, 15000, kClockStill));
  OpenThePopUpByItself();
  EXPECT_GE(popupPasses_, 20) << "the pop-up did not stay open";
  EXPECT_EQ(tb::ShownMenu(), nullptr);
  EXPECT_EQ(M()->deviceAddr, emu_.BoxAddress(0));
  ASSERT_TRUE(Loop([&] { return M()->eng.current == 0 && CLGetCount(M()->tab0File) == 2; }));
  EXPECT_EQ(PopupCount(kT0Folder), 2);
  Look(main + ", Print / Download", w);
  EXPECT_EQ(Drawn(w, quote), 1) << "the Japanese name drawn whole";
  EXPECT_EQ(Drawn(w, owner), 1);

  // First page: a job with pages, its preview turned; one without; the
  // preview off; a refresh that takes its time, stopped.
  ClickRow(kT0List, 0);
  ASSERT_TRUE(Loop([&] { return CLGetCount(M()->tab0Info) == 6 && M()->eng.current == 0; }));
  const Rect next = ItemRectOf(M()->dialog, kT0Next);
  ClickAt(w, Point{SInt16((next.top + next.bottom) / 2), SInt16((next.left + next.right) / 2)});
  ASSERT_TRUE(LoopUntilIdle());
  EXPECT_EQ(PageRow(), "2 / 3");
  Look(main + ", Print / Download, a job's second page", w);
  Press(kT0PreviewCheck);
  Look(main + ", Print / Download, no preview", w);
  Press(kT0PreviewCheck);
  ClickRow(kT0List, 1);
  ASSERT_TRUE(LoopUntilIdle());
  Look(main + ", Print / Download, a job without pages", w);
  EXPECT_EQ(Drawn(w, quote), 2) << "in the list and on the detail page";
  EXPECT_EQ(Drawn(w, owner), 2);
  h.SetFault(0, {pboxemu::HoldFault::Silent});
  Press(kT0Renew);
  ASSERT_TRUE(Loop([&] { return M()->eng.current == CMD_REFRESH; }));
  Look(main + ", Print / Download, reading", w);
  Press(kT0Renew);  // Stop
  ASSERT_TRUE(LoopUntilIdle());
  h.SetFault(0, {});
  Press(kT0Renew);
  ASSERT_TRUE(Loop([&] { return M()->eng.current == 0 && CLGetCount(M()->tab0File) == 2; }));

  // Print: a refused number of copies, then a print the box is slow to
  // take, stopped from its progress dialog.
  ClickRow(kT0List, 0);
  ASSERT_TRUE(LoopUntilIdle());
  Press(kT0Print);
  Visit("Print", kPrnDlgID);
  SubFieldFocus(FrontSubDlg(), 3, true);
  tb::TypeText("0");
  Answer(24);
  ASSERT_TRUE(MessageUp());
  Visit("message, copies refused", kMsgDlgID);
  Answer(4);
  h.SetFault(0, {pboxemu::HoldFault::Silent});
  SubFieldFocus(FrontSubDlg(), 3, true);
  tb::TypeText("2");
  Answer(24);
  ASSERT_TRUE(Loop([&] { return GetPrgDlgPtr() != nullptr; }));
  VisitOneButton("progress, print", GetPrgDlgPtr(), 2);
  ASSERT_TRUE(LoopUntilIdle());
  Look(main + ", Print / Download, a print stopped", w);
  h.SetFault(0, {});

  // Download: the save chooser, proposing the Japanese job's name as a
  // local (UTF-8) name; then a download into a file.
  ClickRow(kT0List, 1);
  ASSERT_TRUE(LoopUntilIdle());
  VisitChooser("download chooser", kT0Download);
  EXPECT_TRUE(std::any_of(chooserTexts_.begin(), chooserTexts_.end(),
                          [](const tb::DrawnText& t) { return t.text == "日本語_txt.prn"; }));
  ClickRow(kT0List, 0);
  ASSERT_TRUE(LoopUntilIdle());
  tb::AnswerNextChooser({(dir_.path() / "plan.prn").string()});
  h.SetFault(0, {pboxemu::HoldFault::Silent});
  Press(kT0Download);
  ASSERT_TRUE(Loop([&] { return GetPrgDlgPtr() != nullptr; }));
  VisitOneButton("progress, download", GetPrgDlgPtr(), 2);
  h.SetFault(0, {});
  ASSERT_TRUE(LoopUntilIdle());
  // A download that ends is a text document of the program's.
  tb::AnswerNextChooser({(dir_.path() / "plan.prn").string()});
  Press(kT0Download);
  ASSERT_TRUE(LoopUntilIdle());
  FSSpec saved{};
  FInfo info{};
  ASSERT_EQ(tb::PathToSpec((dir_.path() / "plan.prn").string(), &saved), noErr);
  ASSERT_EQ(FSpGetFInfo(&saved, &info), noErr);
  EXPECT_EQ(info.fdType, OSType('TEXT'));
  EXPECT_EQ(info.fdCreator, OSType('VMxh'));

  // Second page: local files chosen and one removed; the job dialogs.
  PressTab(1);
  Look(main + ", Edit / Upload", w);
  VisitChooser("upload chooser", kT1Select);
  std::vector<std::string> files;
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    files.push_back((dir_.path() / name).string());
    testsupport::WriteFile(files.back(), std::string("text of ") + name);
  }
  tb::AnswerNextChooser(files);
  Press(kT1Select);
  ASSERT_EQ(CLGetCount(M()->tab1PCFile), 3);
  ClickRow(kT1PCList, 2);
  Press(kT1Remove);
  ASSERT_EQ(CLGetCount(M()->tab1PCFile), 2);
  ClickRow(kT1HMList, 0);
  Look(main + ", Edit / Upload, files and a job chosen", w);

  Press(kT1Rename);
  Visit("Rename", kRenDlgID);
  SubFieldFocus(FrontSubDlg(), 2, true);
  tb::PressNamedKey("Delete");
  Answer(5);
  ASSERT_TRUE(MessageUp());
  Visit("message, no job name", kMsgDlgID);
  Answer(4);
  Answer(6);
  Press(kT1Info);
  ASSERT_TRUE(LoopUntilIdle());
  Visit("Information", kInfDlgID);
  Answer(7);
  // The Japanese client's job in the job dialogs.
  ClickRow(kT1HMList, 1);
  Press(kT1Rename);
  if (SUB_DLG* d = Visit("Rename, a Japanese client's job", kRenDlgID)) {
    EXPECT_EQ(SubFieldText(SubDlgField(d, 2)), quote);
    EXPECT_EQ(SubFieldText(SubDlgField(d, 4)), owner);
    EXPECT_EQ(Drawn(GetDialogWindow(d->dialog), quote), 1);
  }
  // A new name, first while the box does not answer: the progress dialog
  // names it; then taken, in the job's encoding, and listed as typed.
  for (bool slow : {true, false}) {
    if (!slow) {
      ClickRow(kT1HMList, 1);
      Press(kT1Rename);
    }
    SubFieldFocus(FrontSubDlg(), 2, true);
    tb::TypeText(renamed);
    Pass();
    h.SetFault(0, {slow ? pboxemu::HoldFault::Silent : pboxemu::HoldFault::None});
    Answer(5);
    if (!slow) break;
    ASSERT_TRUE(Loop([&] { return GetPrgDlgPtr() != nullptr; }));
    Pass();
    EXPECT_EQ(Contains(GetDialogWindow(GetPrgDlgPtr()), renamed), 1);
    VisitOneButton("progress, rename", GetPrgDlgPtr(), 2);
    ASSERT_TRUE(LoopUntilIdle());
  }
  ASSERT_TRUE(LoopUntilIdle());
  const auto jobs = h.Jobs(0);
  EXPECT_TRUE(std::any_of(jobs.begin(), jobs.end(), [](const pboxemu::HeldJob& j) {
    return j.name == "\x93\xFA\x96\x7B\x8C\xEA 2.txt" && j.owner == "\x8E\x52\x93\x63" && j.language == 18;
  }));
  ClickRow(kT1HMList, 1);
  EXPECT_EQ(Drawn(w, renamed), 1);
  Press(kT1Info);
  ASSERT_TRUE(LoopUntilIdle());
  if (SUB_DLG* d = Visit("Information, a Japanese client's job", kInfDlgID)) {
    EXPECT_EQ(Drawn(GetDialogWindow(d->dialog), renamed), 1);
    EXPECT_EQ(Drawn(GetDialogWindow(d->dialog), owner), 1);
  }
  Answer(7);
  Press(kT1Move);
  if (SUB_DLG* d = Visit("Move", kMovDlgID)) {
    EXPECT_EQ(Drawn(GetDialogWindow(d->dialog), sales), 1) << "a Japanese client's folder";
    EXPECT_EQ(Contains(GetDialogWindow(d->dialog), renamed), 1) << "the job's name in its label";
  }
  Answer(5);
  Press(kT1Delete);
  ASSERT_TRUE(MessageUp());
  if (SUB_DLG* d = Visit("question, delete one job", kMsgDlgID)) {
    EXPECT_EQ(Contains(GetDialogWindow(d->dialog), renamed), 1);
  }
  Answer(4);

  // The upload: asked for, then stopped while the box is slow to take it.
  Press(kT1Upload);
  ASSERT_TRUE(MessageUp());
  Visit("question, upload", kMsgDlgID);
  h.SetLpdFault(0, {pboxemu::LpdFault::NoAck, 2});
  Answer(3);
  ASSERT_TRUE(Loop([&] { return GetPrgDlgPtr() != nullptr; }));
  VisitOneButton("progress, upload", GetPrgDlgPtr(), 2);
  ASSERT_TRUE(LoopUntilIdle());
  h.SetLpdFault(0, {});

  // The box's list changed: its question, answered Yes.
  h.SetFault(0, {pboxemu::HoldFault::Result, 0, 0, 1, 253});
  Press(kT1Renew);
  ASSERT_TRUE(MessageUp());
  Visit("question, the list changed", kMsgDlgID);
  Answer(3);
  ASSERT_TRUE(Loop([&] { return M()->eng.current == 0 && CLGetCount(M()->tab1HMFile) == 2; }));

  // Third page.
  PressTab(2);
  Press(kT2Renew);
  ASSERT_TRUE(LoopUntilIdle());
  Look(main + ", Job List", w);
  // The box's job list, sorted by name without case.
  std::vector<std::string> order;
  for (SInt16 row = 0; row < CLGetCount(M()->tab2Job); ++row) {
    Str255 t;
    SInt16 len = sizeof t;
    CLGetCellOne(M()->tab2Job, t, &len, Cell{row, 0});
    order.push_back(pstr::str(t));
  }
  EXPECT_EQ(order, (std::vector<std::string>{"alpha", "Beta", "charlie", "Delta", "queued.prn"}));
  PressTab(0);

  // Options: a refused address, one added and deleted, a time-out changed
  // and applied.
  Press(kItemOptions);
  SUB_DLG* cfg = Visit("Options", kCfgDlgID);
  ASSERT_NE(cfg, nullptr);
  Answer(7);
  ASSERT_TRUE(MessageUp());
  Visit("message, no address", kMsgDlgID);
  Answer(4);
  SubFieldFocus(cfg, 6, true);
  tb::TypeText("10.1.2.3");
  Answer(7);
  Look("Options, an address added", GetDialogWindow(cfg->dialog));
  Answer(9);
  SubFieldFocus(cfg, 12, true);
  tb::TypeText("60");
  Pass();
  Answer(4);
  EXPECT_EQ(M()->config.ulTimeOut, 60u);
  Answer(3);

  // About, Help, a new search, Exit.
  ASSERT_TRUE(tb::ChooseMenuItem(1000, 1));
  ASSERT_TRUE(Loop([&] { return GetFrontDialog() != M()->dialog; }, 2000));
  VisitOneButton("About", GetFrontDialog(), 6);
  EXPECT_EQ(GetFrontDialog(), M()->dialog);
  tb::ClearRecords();
  Press(kItemHelp);
  EXPECT_EQ(tb::RecordedOpenedDocuments().size(), 1u);
  {
    // Without a desktop opener the page is there but cannot be opened:
    // the message does not say it is missing.
    testsupport::ScopedEnv path("PATH", dir_.path().c_str());
    tb::SetFinderMode(tb::FinderMode::kRun);
    Press(kItemHelp);
    tb::SetFinderMode(tb::FinderMode::kAuto);
    ASSERT_TRUE(MessageUp());
    EXPECT_EQ(tb::DialogItemText(FrontSubDlg()->dialog, 2), HoldIniText("MESSAGE", "STR315="));
    Visit("message, help without an opener", kMsgDlgID);
    Answer(4);
  }
  Press(kItemBrowse);
  ASSERT_TRUE(Loop([&] { return PopupCount(kItemDevice) == 1; }));
  Look(main + ", searching again", w);
  Press(kItemExit);
  EXPECT_EQ(M(), nullptr) << "Exit did not close the window";

  EXPECT_EQ(testsupport::JoinLines({faults_.begin(), faults_.end()}), "") << GetParam();
  std::set<std::string> missed;
  for (const std::string& t : targets_)
    if (!pressed_.count(t)) missed.insert(t);
  EXPECT_EQ(testsupport::JoinLines({missed.begin(), missed.end()}), "") << "drawn enabled, never clicked";
  std::string list;
  for (const std::string& s : stops_) list += (list.empty() ? "" : "; ") + s;
  std::printf("stops (%s): %s\n", GetParam(), list.c_str());
}

// Every message and question the program shows, and every text of its
// progress dialogs, filled with the longest values the program puts in
// them (a job's name is cut to 32 characters), in the box that shows it,
// whose buttons take their clicks at their centres.
TEST_P(Tour, EveryMessageAndProgressTextReadsWhole) {
  ASSERT_EQ(HoldStartup(), 1);
  const UInt8 longName[] = "\x2FQuarterly report of the sales division 2026.txt";
  char cut[40] = {};
  MakeShortJobName(cut, longName, true, 32);
  const auto fill = [&](std::string text) {
    for (const auto& [conversion, value] : {std::pair{"%s", std::string(cut)}, std::pair{"%d", std::string("9999")}})
      for (std::size_t at; (at = text.find(conversion)) != std::string::npos;) text.replace(at, 2, value);
    return text;
  };
  struct Shown {
    const char* section;
    std::string key;
    int type;  // 1 a message, 6 a question
  };
  std::vector<Shown> shown;
  for (int n = 1; n < 1000; ++n) {
    char key[16];
    std::snprintf(key, sizeof key, "STR%03d=", n);
    if (!HoldIniText("MESSAGE", key).empty()) shown.push_back({"MESSAGE", key, n == 253 ? 6 : 1});
  }
  for (const char* key : {"STC_UPLOAD_CHK1=", "STC_UPLOAD_CHK2=", "STC_DELETE=", "STC_DELETES="})
    shown.push_back({"LABEL", key, 6});
  ASSERT_GT(shown.size(), 20u);
  for (const Shown& m : shown) {
    ASSERT_EQ(OpenMsgDlg(HoldIniText("MESSAGE", "TITLE=").c_str(), fill(HoldIniText(m.section, m.key.c_str())).c_str(),
                         m.type, nullptr, 0, 0, 0),
              1);
    Visit(m.key, kMsgDlgID);
    Answer(m.type == 1 ? 4 : 3);
  }
  const struct {
    UInt16 command;
    const char* section;
    const char* key;
  } progress[] = {{CMD_DELETE, "LABEL", "STC_IC_DELETE="}, {CMD_RENAME, "LABEL", "STC_IC_RENAME="},
                  {CMD_PRINT, "LABEL", "STC_IC_PRINT="},   {CMD_DOWNLOAD, "LABEL", "STC_IC_DOWNLOAD="},
                  {CMD_MOVE, "LABEL", "STC_IC_MOVE="},     {CMD_UPLOAD, "LABEL", "STC_IC_UPLOAD="},
                  {CMD_UPLOAD, "MESSAGE", "STR313="}};
  for (const auto& p : progress) {
    ASSERT_EQ(OpenPrgDlg(p.command), 1);
    const std::string info = HoldIniText(p.section, p.key);
    SetProgressDlgStrings(fill(info), "1023.99 KB / 1023.99 KB (100%)", 100);
    Pass();
    Look(std::string("progress, ") + p.key, GetDialogWindow(GetPrgDlgPtr()));
    ClosePrgDlg();
  }
  EXPECT_EQ(testsupport::JoinLines({faults_.begin(), faults_.end()}), "") << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Languages, Tour, ::testing::Values("English", "Japanese"),
                         [](const ::testing::TestParamInfo<const char*>& p) { return std::string(p.param); });

}  // namespace

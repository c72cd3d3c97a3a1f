// Every window of the monitor as a person meets it, in English and in
// Japanese: a tour opens each window, dialog, tab page and alert the
// program has, and the tests look at each stop: every text the program asks
// of its language files is in them; nothing is drawn outside its window,
// cut or shortened; a click at the centre of each drawn tab and enabled
// button acts.
#include <cstring>
#include <regex>
#include <set>

#include "common/IniFile.h"
#include "dialogs_harness.h"
#include "drawn_text.h"
#include "Monitor/DetailsDialog.h"
#include "Monitor/FtpPage.h"
#include "Monitor/SearchSetup.h"
#include "settle.h"
#include "toolbox/trace.h"

namespace montest {
namespace {

// A stop: its name, its window and the window's tab strip (null for none).
using Stop = std::function<void(const std::string& name, WindowRef window, CTAB_DATA* tabs)>;

// The visitor of the stop a script line reaches inside a modal loop, and
// the button that answers the modal there.
Stop* gStop = nullptr;
DialogItemIndex gAnswer = 1;
DialogItemIndex gReached = 0;  // the item a held press reached

class Tour : public MonitorDialogs, public testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    MonitorDialogs::SetUp();
    InsertMenu(GetMenu(kAppleMenuID), 0);
    // The alert sound where the program finds it beside its bundle.
    fs::create_directories(suite() / "VEMO-MONITOR.app/Contents/Resources/SOUND");
    fs::copy_file(MONITOR_SOUND, suite() / "VEMO-MONITOR.app/Contents/Resources/SOUND/BEEP.WAV");
    std::snprintf(SoundFName, sizeof SoundFName, "::Resources:SOUND:BEEP.WAV");
    // "tour-stop NAME": the front window is a stop (a modal alert or the
    // about box, which run their own loop), answered by a click at the
    // centre of its answer button as drawn.
    tb::RegisterScriptCommand("tour-stop", [](const std::vector<std::string>& w, std::string* e) {
      if (w.size() != 2 || !gStop) {
        *e = "usage: tour-stop NAME";
        return tb::ScriptResult::kFailed;
      }
      WindowRef modal = FrontWindow();
      if (Get_Usr_Window_Data(modal)) {
        ADD_FAILURE() << w[1] << ": no modal window came up";
        return tb::ScriptResult::kDone;
      }
      (*gStop)(w[1], modal, nullptr);
      for (const testsupport::ClickTarget& t : testsupport::ClickTargets(GetDialogFromWindow(modal)))
        if (t.kind == testsupport::ClickTarget::Kind::kButton && t.item == gAnswer) {
          tb::ClickInWindow(modal, t.centre());
          return tb::ScriptResult::kDone;
        }
      ADD_FAILURE() << w[1] << ": no button " << gAnswer << " drawn";
      tb::PressNamedKey("Escape");
      return tb::ScriptResult::kDone;
    });
  }
  void TearDown() override {
    gStop = nullptr;
    MonitorDialogs::TearDown();
    SoundFName[0] = 0;
  }

  void UseLanguage(const std::string& language) {
    for (auto [name, file] : {std::pair{IniFileName, "Popmon.ini"}, std::pair{MonFileName, "Monitor.ini"}})
      std::snprintf(name, kAppFileNameSize, "%s", (Bundle() + "/Contents/Resources/" + language + "/" + file).c_str());
  }

  // Runs what with the modal it raises visited as a stop, then answered
  // by its button `answer`.
  void Modal(const std::string& name, const std::function<void()>& what, DialogItemIndex answer = 1) {
    gAnswer = answer;
    tb::LoadScriptText("wait 3\ntour-stop \"" + name + "\"\n");
    what();
    Drain();
  }
  void Choose(std::initializer_list<const char*> names) {
    std::vector<std::string> paths;
    for (const char* name : names) {
      testsupport::WriteFile(dir_.path() / "out" / name, name);
      paths.push_back((dir_.path() / "out" / name).string());
    }
    tb::AnswerNextChooser(paths);
    Click(win->dlg, kFtpSelect);
  }
  SEND_WND_INFO* Sending() {
    for (SEND_WND_INFO& s : SendTbl)
      if (s.using_ && s.ownerDlg == win->dlg) return &s;
    return nullptr;
  }
  // The outcome alert of a send that ended, visited and closed.
  void Outcome(const std::string& name, const Stop& at) {
    ASSERT_TRUE(RunUntil([&] { return !Sending() && OpenMovableDlg; }, kBound)) << name;
    at(name, GetDialogWindow(OpenMovableDlg), nullptr);
    Click(OpenMovableDlg, 1);
  }

  // Every stop of the tour, each once.
  void Visit(const Stop& visit) {
    gStop = const_cast<Stop*>(&visit);
    // A stop is looked at once all it queued is drawn.
    const Stop at = [&](const std::string& name, WindowRef window, CTAB_DATA* tabs) {
      Drain();
      visit(name, window, tabs);
    };
    tb::SetGestalt(gestaltSystemVersion, 0x1050);  // the AppleTalk page too
    // Time moves only when the tour moves it (a press's double-click gap,
    // a stall, a lost printer), so a loaded machine meets the same states.
    tb::UseVirtualClock(true);
    StartBoxes(2, true);
    // A box whose values make the status page's longest texts: a gigabyte
    // of held-job memory, 324 megabytes of it in use.
    pboxemu::PrinterStatus busy =
        pboxemu::StatusForState(pboxemu::PrinterState::Ready, pboxemu::IcTypeForMachineType(emu.BoxMachineType(0)));
    busy.s[50] = 1024 >> 8, busy.s[51] = 1024 & 0xFF, busy.s[52] = 700 >> 8, busy.s[53] = 700 & 0xFF;
    emu.SetPrinterStatus(0, busy);
    win = OpenWindow(0);
    ASSERT_NE(win, nullptr);
    ASSERT_TRUE(RunUntil([&] { return win->powerCheck != 0; }, kBound));
    const WindowRef status = GetDialogWindow(win->dlg);
    const std::string page[3] = {"status window, Status page", "status window, Information page",
                                 "status window, FTP page"};
    for (SInt16 i : {0, 1, 2}) {
      ClickTabOf(win->tabData, win->dlg, i, 19);
      at(page[i], status, win->tabData);
    }

    // The FTP page before, during and after a send.
    Choose({"one.prn", "two.prn"});
    at(page[2] + ", files chosen", status, win->tabData);
    pboxemu::FtpFaultSpec stall;
    stall.mode = pboxemu::FtpFault::NoDial;
    stall.command = "STOR";
    emu.Ftp().SetFault(0, stall);
    Modal(
        "the send confirmation, declined", [&] { Click(win->dlg, kFtpSend); }, 2);
    ASSERT_EQ(Sending(), nullptr);
    Modal("the send confirmation", [&] { Click(win->dlg, kFtpSend); });
    ASSERT_TRUE(RunUntil([&] { return Sending() && Sending()->dataConnect; }, kBound));
    at("Sending Files", GetDialogWindow(Sending()->dlg), nullptr);
    at(page[2] + ", sending", status, win->tabData);
    Click(Sending()->dlg, 1);
    Outcome("the alert of a cancelled send", at);
    Modal("the send confirmation", [&] { Click(win->dlg, kFtpSend); });
    ASSERT_TRUE(RunUntil([&] { return Sending() && Sending()->dataConnect; }, kBound));
    Drain();
    tb::AdvanceTicks(kFTPStallTicks + 60);
    Outcome("the alert of a failed send", at);
    emu.Ftp().ClearFaults();
    Modal("the send confirmation", [&] { Click(win->dlg, kFtpSend); });
    Outcome("the alert of a finished send", at);
    at(page[2] + ", files sent", status, win->tabData);

    ClickTabOf(win->tabData, win->dlg, 0, 19);
    Click(win->dlg, 30);
    at("Consumables", GetDialogWindow(win->sumData.dlg), nullptr);
    Click(win->sumData.dlg, 1);

    CONFIG_WND_INFO* c = OpenOptions(win);
    ASSERT_TRUE(RunUntil([&] { return Rows(c->pservList).size() == 2; }, kBound));
    at("Options", GetDialogWindow(c->dlg), c->tabData);
    Click(c->dlg, kOptSetup);
    BROADCAST_WND_INFO* b = Get_Broadcast_Info(OpenMovableDlg);
    ASSERT_NE(b, nullptr);
    at("Search Settings, TCP/IP page", GetDialogWindow(b->dlg), b->confTab);
    for (const char* typed : {"1..2.3.4", "10.1.1.1", "10.1.1.1"}) {
      mondlg::SetItemText(b->dlg, 4, typed);
      if (typed[1] == '.' || mondlg::RowText(b->broadCList, 0) == typed)
        Modal(std::string("the address alert for ") + typed, [&] { Click(b->dlg, 6); });
      else
        Click(b->dlg, 6);
    }
    ClickTabOf(b->confTab, b->dlg, 1);
    at("Search Settings, AppleTalk page", GetDialogWindow(b->dlg), b->confTab);
    Click(b->dlg, 2);
    MonitorDialogs::Choose(c, "Office A");
    Click(c->dlg, kOptDetails);
    DETAILS_WND_INFO* d = Get_Details_Info(OpenMovableDlg);
    ASSERT_NE(d, nullptr);
    at("Details, Event page", GetDialogWindow(d->dlg), d->confTab);
    ClickTabOf(d->confTab, d->dlg, 1);
    at("Details, Other page", GetDialogWindow(d->dlg), d->confTab);
    mondlg::SetItemText(d->dlg, 5, "1");
    Modal("the interval alert", [&] { Click(d->dlg, 1); });
    Click(d->dlg, 2);
    Click(c->dlg, kConfigCancel);

    // Tucked away by its Hide button (collapsed to its title bar), the
    // window comes back whole, in front and with its sound when its lost
    // printer pops it up, and hides when the printer answers again.
    Click(win->dlg, kHide);
    ASSERT_TRUE(IsWindowCollapsed(status));
    tb::ClearRecordedSounds();
    emu.SetPrinterState(0, pboxemu::PrinterState::Lost);
    for (int i = 0; i < 20 && win->monitorOpen != 1; ++i) {
      tb::AdvanceTicks(UInt32(win->configData.statUpdate) * 300 / 1000 + 1);
      for (int n = 0; n < 5; ++n) Pass();
    }
    ASSERT_EQ(win->monitorOpen, 1);
    Drain();
    EXPECT_TRUE(Whole(status, "popped up"));
    EXPECT_EQ(tb::RecordedSounds().played, 1);
    for (SInt16 i : {0, 1}) {
      ClickTabOf(win->tabData, win->dlg, i, 19);
      at(page[i] + ", printer lost", status, win->tabData);
    }
    Modal("About", [&] { ASSERT_TRUE(tb::ChooseMenuItem(kAppleMenuID, 1)); });
    emu.SetPrinterState(0, pboxemu::PrinterState::Ready);
    ASSERT_TRUE(AnsweredAgain());
    EXPECT_FALSE(IsWindowVisible(status));

    // Hidden, it comes back from the Window menu; collapsed, by each way a
    // person has of bringing a window back.
    ASSERT_TRUE(tb::ChooseMenuItem(kOptionMenuID, 1));
    Drain();
    EXPECT_TRUE(Whole(status, "chosen from the Window menu while hidden"));
    const auto titleCentre = [&] {
      Rect bar{};
      GetWindowBounds(status, kWindowTitleBarRgn, &bar);
      return Point{SInt16((bar.top + bar.bottom) / 2), SInt16((bar.left + bar.right) / 2)};
    };
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"its collapse box",
         [&] {
           Rect box{};
           GetWindowBounds(status, kWindowCollapseBoxRgn, &box);
           tb::ClickAt(Point{SInt16((box.top + box.bottom) / 2), SInt16((box.left + box.right) / 2)});
         }},
        {"Show Status (Command-O)", [] { tb::PressKey('o', tb::KeyCodeForChar('o'), cmdKey); }},
        {"the Window menu", [] { ASSERT_TRUE(tb::ChooseMenuItem(kOptionMenuID, 1)); }},
        {"a double-click on its title",
         [&] {
           // One press leaves it as it is: that is a drag of its title bar.
           tb::ClickAt(titleCentre());
           for (int n = 0; n < 5; ++n) Pass();
           EXPECT_TRUE(IsWindowCollapsed(status)) << "after one press on its title";
           tb::ClickAt(titleCentre());
         }},
    };
    for (const auto& [way, act] : ways) {
      Click(win->dlg, kHide);
      ASSERT_TRUE(IsWindowCollapsed(status)) << way;
      tb::AdvanceClock(GetDblTime() + 1);
      act();
      Drain();
      EXPECT_TRUE(Whole(status, way));
    }

    // A second printer's window opens where it covers the first one in
    // part at most, and the first, brought forward from the Window menu,
    // draws its default button's ring as the active window's.
    STATUS_WND_INFO* second = OpenWindow(1);
    ASSERT_NE(second, nullptr);
    const WindowRef other = GetDialogWindow(second->dlg);
    Drain();
    Rect first{}, next{}, common{};
    GetWindowBounds(status, kWindowStructureRgn, &first);
    GetWindowBounds(other, kWindowStructureRgn, &next);
    SectRect(&first, &next, &common);
    EXPECT_FALSE(EqualRect(&common, &first)) << "the second window covers the first whole";
    at("status window of a second printer", other, second->tabData);
    EXPECT_FALSE(RingDrawnActive(win->dlg)) << "the window behind draws its ring as the active one's";
    ASSERT_TRUE(tb::ChooseMenuItem(kOptionMenuID, 1));
    Drain();
    EXPECT_TRUE(Whole(status, "chosen from the Window menu behind another"));
  }

  // Whether the default button's ring is drawn in the active window's black.
  static bool RingDrawnActive(DialogRef d) {
    Rect ring = mondlg::ItemRect(d, 1);
    InsetRect(&ring, -4, -4);
    // The port's pixels are blue, green, red and an unused byte, high to low.
    const UInt32 p = tb::PortPixel(GetDialogPort(d), ring.left + 1, (ring.top + ring.bottom) / 2);
    return (p >> 24) < 0x40 && (p >> 16 & 0xFF) < 0x40 && (p >> 8 & 0xFF) < 0x40;
  }

  // Whether the window's printer, lost, answered again, and no request
  // sent while it was lost waits any more: those time out as the clock
  // moves on, and a new one the box takes is answered in real time.
  bool AnsweredAgain() {
    const auto answered = [&] {
      return win->monitorOpen == 0 && win->powerCheck != 0 && win->sendStat == 0 && win->sendInfo == 0;
    };
    for (int i = 0; i < 100 && !answered(); ++i) {
      tb::AdvanceTicks(61);
      EXPECT_TRUE(ottest::Settle(
          emu, [] { Pass(); }, kBound));
    }
    Drain();
    return answered();
  }
  // Whether the window shows whole and in front, its default button's
  // ring drawn as the active window's.
  static testing::AssertionResult Whole(WindowRef w, const std::string& how) {
    if (!IsWindowVisible(w)) return testing::AssertionFailure() << how << ": hidden";
    if (IsWindowCollapsed(w)) return testing::AssertionFailure() << how << ": collapsed to its title bar";
    if (FrontWindow() != w) return testing::AssertionFailure() << how << ": behind another window";
    if (!RingDrawnActive(GetDialogFromWindow(w)))
      return testing::AssertionFailure() << how << ": its default button's ring drawn inactive";
    return testing::AssertionSuccess();
  }
  static constexpr DialogItemIndex kHide = 3;

  // Passes until every event queued was taken and every request a window
  // sent to a box that answers was answered (on the virtual clock a reply
  // that comes late in real time must not count as one that never came).
  static void Drain() {
    RunUntil(
        [] {
          // (A window whose option dialog stands polls no more meanwhile.)
          for (STATUS_WND_INFO& w : StatusTbl)
            if (w.using_ == 1 && w.monitorOpen == 0 && (w.sendStat || w.sendInfo) && !w.hooks->optionDialogOpen(&w))
              return false;
          return true;
        },
        kBound);
    EventRecord e;
    for (int n = 0; n < 5 || (n < 100 && EventAvail(everyEvent, &e)); ++n) Pass();
  }
  // Bounds for waits on loopback traffic: a loaded machine may take long.
  static constexpr int kBound = 60000;

  // The page's items (those after the item the tab strip stands over) that
  // reach out of the page frame or onto its edges, one line each.
  static std::string ItemsOutsideThePageFrame(DialogRef d, CTAB_DATA* tabs) {
    const Rect& f = *tabs->frameRect;
    // The frame's edges are drawn in bands inside its rectangle: a few
    // pixels at the sides, nine at the bottom.
    const Rect inside{f.top, SInt16(f.left + 3), SInt16(f.bottom - 9), SInt16(f.right - 3)};
    std::string out;
    DialogItemIndex first = 0;
    for (DialogItemIndex i = 1; i <= CountDITL(d); ++i) {
      Rect r = mondlg::ItemRect(d, i);
      if (!first) {
        if (PtInRect(Point{SInt16(tabs->tabRect.top + 5), SInt16(tabs->tabRect.left + 5)}, &r))
          first = DialogItemIndex(i + 1);
        continue;
      }
      if (r.left >= 8192 || EmptyRect(&r)) continue;  // hidden, or no place
      Rect common;
      SectRect(&r, &inside, &common);
      if (!EqualRect(&common, &r))
        out += "item " + std::to_string(i) + " at (" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
               std::to_string(r.right) + "," + std::to_string(r.bottom) + ")\n";
    }
    EXPECT_NE(first, 0) << "no item under the tab strip";
    return out;
  }

  // The stop's window as a person reads and clicks it: no text outside the
  // window, cut or shortened; every enabled button and drawn tab of the
  // window in front answers a click at its centre (a button reaches its
  // dialog's command for its item, held there; a tab shows its page).
  static void LookAndClick(const std::string& name, WindowRef window, CTAB_DATA* tabs) {
    SCOPED_TRACE(name);
    testsupport::TextRules rules;
    rules.allowShortenedListCells = false;
    rules.exempt = [window](const tb::DrawnText& t) {
      // A scrolling view's last line shows in part; the rest scrolls in.
      if (t.source == tb::TextSource::kTextEdit && !(t.cut & tb::kOutsideWindow) && !t.shortened) return true;
      // A field filled while its page was being laid out, drawn again
      // whole since.
      if (t.cut != tb::kCutByClip || !EmptyRect(&t.shown)) return false;
      for (const tb::DrawnText& now : tb::DrawnTexts(window))
        if (now.text == t.text && now.item == t.item && now.cut == 0) return true;
      return false;
    };
    EXPECT_FALSE(tb::DrawnTexts(window).empty()) << "nothing drawn";
    EXPECT_EQ(testsupport::JoinLines(testsupport::WindowTextFaults(window, rules)), "");
    if (tabs) {
      EXPECT_EQ(ItemsOutsideThePageFrame(GetDialogFromWindow(window), tabs), "");
      EXPECT_EQ(testsupport::TabAboveItsFrame(GetDialogFromWindow(window), CTGetCurSel(tabs) - tabs->visTabNo,
                                              tabs->frameRect->top),
                "");
    }
    WINDOW_USR_DATA* data = Get_Usr_Window_Data(window);
    if (window != FrontWindow() || !data || !data->isDialog) return;
    auto click = [&](Point at) {
      tb::AdvanceClock(GetDblTime() + 1);
      ASSERT_TRUE(tb::ClickInWindow(window, at));
      Drain();
    };
    const auto targets = testsupport::ClickTargets(GetDialogFromWindow(window));
    USR_DIALOG& handlers = data->usrDlg->usrDialog;
    for (const testsupport::ClickTarget& t : targets) {
      if (t.kind != testsupport::ClickTarget::Kind::kButton) continue;
      const UsrItemSelectProc held = handlers.Handle_Item_Select;
      gReached = 0;
      handlers.Handle_Item_Select = [](DialogRef, EventRecord*, DialogItemIndex item) -> Boolean {
        gReached = item;
        return true;
      };
      click(t.centre());
      handlers.Handle_Item_Select = held;
      EXPECT_EQ(gReached, t.item) << "button " << t.title;
    }
    std::vector<Point> tabCentres;
    for (const testsupport::ClickTarget& t : targets)
      if (t.kind == testsupport::ClickTarget::Kind::kTab) tabCentres.push_back(t.centre());
    if (tabCentres.empty()) return;
    ASSERT_NE(tabs, nullptr);
    const SInt16 shown = CTGetCurSel(tabs);
    for (SInt16 i = 0; i < SInt16(tabCentres.size()); ++i) {
      click(tabCentres[std::size_t(i)]);
      EXPECT_EQ(CTGetCurSel(tabs), i) << "tab " << i;
    }
    if (shown >= 0 && shown < SInt16(tabCentres.size())) click(tabCentres[std::size_t(shown)]);
  }

  STATUS_WND_INFO* win = nullptr;
};

// The texts the tour asked for, as the "ini" trace names them: each
// "[SECTION]KEY=" with the file it was looked for in, found or not.
struct Asked {
  std::set<std::string> missing;                        // "[SECTION]KEY= of File.ini"
  std::set<std::pair<std::string, std::string>> found;  // key, the file's path
};
Asked AskedTexts(const std::string& trace) {
  static const std::regex kLine(R"(\[ini\] (read|missing) (\[[A-Z0-9_]+\])([A-Za-z0-9_?]+=) in (.*/(\w+\.ini))\n)");
  Asked out;
  for (std::sregex_iterator it(trace.begin(), trace.end(), kLine), end; it != end; ++it) {
    const std::smatch& m = *it;
    if (m[1] == "read")
      out.found.insert({m[2].str() + m[3].str(), m[4].str()});
    else
      out.missing.insert(m[2].str() + m[3].str() + " of " + m[5].str());
  }
  return out;
}

// Words a translation keeps: protocol, code, paper and file names, the
// menu's own names; besides these only numbers, single characters and
// blanks may read the same in both languages.
bool KeptInEveryLanguage(std::string value) {
  while (!value.empty() && (value.back() == ':' || value.back() == ' ')) value.pop_back();
  static const std::set<std::string> kNames = {
      "A3",   "A4",   "A5",  "B4",     "B5",  "ISO-2022-JP", "Shift_JIS", "UTF-8",        "SSID",          "BSSID",
      "DHCP", "WINS", "DNS", "MIB-II", "FTP", "OK",          "Apple",     "MONITOR Data", "MONITOR-STATUS"};
  static const std::regex kNumber(R"(-?[0-9]+)");
  return value.size() <= 1 || kNames.contains(value) || std::regex_match(value, kNumber);
}

TEST_P(Tour, EveryTextAskedForIsInTheLanguagesFiles) {
  testsupport::ScopedEnv trace("TOOLBOX_TRACE", "ini");
  tb::ReloadTraceChannels();
  const std::string language = GetParam();
  UseLanguage(language);
  std::set<std::string> stops;
  testing::internal::CaptureStderr();
  Visit([&](const std::string& name, WindowRef, CTAB_DATA*) { stops.insert(name); });
  const std::string got = testing::internal::GetCapturedStderr();
  tb::ReloadTraceChannels();
  EXPECT_EQ(stops.size(), 25u);
  Asked asked = AskedTexts(got);
  // Lists read up to their first missing key end there by design.
  std::erase_if(asked.missing, [](const std::string& k) { return k.rfind("[COMBO]COM", 0) == 0; });
  EXPECT_TRUE(asked.missing.empty()) << language << ": " << testing::PrintToString(asked.missing);
  // And each is in the language: a text that reads as the English one is
  // left untranslated.
  if (language == "English") return;
  std::set<std::string> untranslated;
  for (const auto& [key, path] : asked.found) {
    const std::size_t at = path.rfind("/" + language + "/");
    ASSERT_NE(at, std::string::npos) << path;
    const std::string english = std::string(path).replace(at + 1, language.size(), "English");
    const std::string section = key.substr(0, key.find(']') + 1), name = key.substr(section.size());
    char mine[512], theirs[512];
    ASSERT_TRUE(Load_File_To_CstringEx(section.c_str(), name.c_str(), mine, sizeof mine, path.c_str())) << key;
    if (Load_File_To_CstringEx(section.c_str(), name.c_str(), theirs, sizeof theirs, english.c_str()) &&
        std::strcmp(mine, theirs) == 0 && !KeptInEveryLanguage(mine))
      untranslated.insert(key + " \"" + mine + "\"");
  }
  EXPECT_GT(asked.found.size(), 100u);  // the trace was read
  EXPECT_TRUE(untranslated.empty()) << language << ": " << testing::PrintToString(untranslated);
}

TEST_P(Tour, EveryWindowReadsWholeAndAnswersClicks) {
  testsupport::DrawnTextReport report;
  UseLanguage(GetParam());
  Visit([](const std::string& name, WindowRef window, CTAB_DATA* tabs) {
    LookAndClick(name, window, tabs);
    if (name != "About") return;
    // The program's icon fills the about box's icon area.
    CIconHandle icon = GetCIcon(128);
    ASSERT_NE(icon, nullptr);
    const Rect bounds = (**icon).iconBounds, area = mondlg::ItemRect(GetDialogFromWindow(window), 2);
    DisposeCIcon(icon);
    EXPECT_EQ(bounds.right - bounds.left, area.right - area.left);
    EXPECT_EQ(bounds.bottom - bounds.top, area.bottom - area.top);
  });
}

// The information text as a person scrolls it, with the monitor's
// refreshes in between: the bar and the text always agree, the thumb
// dragged past either end of its track leaves both at that end, and the
// arrows and the wheel never scroll past the last page.
TEST_P(Tour, TheInformationTextStaysWhereItWasScrolled) {
  UseLanguage(GetParam());
  tb::UseVirtualClock(true);
  StartBoxes(1, true);
  win = OpenWindow(0);
  ASSERT_NE(win, nullptr);
  ASSERT_TRUE(RunUntil([&] { return win->powerCheck != 0; }, kBound));
  ClickTabOf(win->tabData, win->dlg, 1, 19);
  CEDIT_DATA* view = win->textData;
  ASSERT_NE(view, nullptr);
  ControlRef bar = view->vScroll;
  ASSERT_TRUE(RunUntil([&] { return GetControlMaximum(bar) > 4; }, kBound));
  Drain();
  const SInt16 max = GetControlMaximum(bar);
  const WindowRef w = GetDialogWindow(win->dlg);
  const auto global = [&](Point local) {
    Rect c;
    GetWindowBounds(w, kWindowContentRgn, &c);
    return Point{SInt16(c.top + local.v), SInt16(c.left + local.h)};
  };
  const auto mid = [](const Rect& r) { return Point{SInt16((r.top + r.bottom) / 2), SInt16((r.left + r.right) / 2)}; };
  const auto part = [&](ControlPartCode p) {
    Rect r{0, 0, 0, 0};
    EXPECT_TRUE(tb::ScrollBarPartRect(bar, p, &r)) << p;
    return r;
  };
  Rect barRect;
  GetControlBounds(bar, &barRect);
  const auto expectAt = [&](int line, const std::string& after) {
    Rect d, v;
    CTEGetDestRect(view, &d);
    CTEGetViewRect(view, &v);
    EXPECT_EQ(GetControlValue(bar), line) << after;
    EXPECT_EQ((v.top - d.top) / CTEGetLineHeight(view), line) << after << ": the text";
    // The thumb stands where the value puts it: at the top for the first
    // line, at the end of the track for the last.
    const Rect thumb = part(kControlIndicatorPart);
    if (line == 0) {
      EXPECT_EQ(thumb.top, barRect.top) << after;
    } else if (line == max) {
      EXPECT_GT(thumb.top, (barRect.top + barRect.bottom) / 2 - 40) << after;
    }
  };
  const auto act = [&](const std::function<void()>& input) {
    tb::AdvanceClock(GetDblTime() + 1);
    input();
    for (int n = 0; n < 5; ++n) Pass();
  };
  // The monitor asks for the information again (about every 2 s) and
  // shows the answer.
  const auto refresh = [&] {
    const UInt32 before = win->infoUpTick;
    tb::AdvanceTicks(UInt32(win->configData.statUpdate) * 60 / 1000 + 1);
    ASSERT_TRUE(RunUntil([&] { return win->infoUpTick != before && win->sendInfo == 0; }, kBound));
    Drain();
  };
  const Point inText = mid(view->rect), belowWindow = global(Point{SInt16(barRect.bottom + 400), barRect.left});
  struct Step {
    const char* what;
    std::function<void()> input;
    int line;
  } const steps[] = {
      {"the thumb dragged past the end", [&] { tb::DragFromTo(global(mid(part(kControlIndicatorPart))), belowWindow); },
       max},
      {"a refresh", [&] { refresh(); }, max},
      {"the up arrow", [&] { tb::ClickAt(global(mid(part(kControlUpButtonPart)))); }, max - 1},
      {"a refresh", [&] { refresh(); }, max - 1},
      {"the down arrow", [&] { tb::ClickAt(global(mid(part(kControlDownButtonPart)))); }, max},
      {"the down arrow at the end", [&] { tb::ClickAt(global(mid(part(kControlDownButtonPart)))); }, max},
      {"the wheel up", [&] { tb::TurnWheelAt(global(inText), -3); }, max - 3},
      {"a refresh", [&] { refresh(); }, max - 3},
      {"the wheel down past the end", [&] { tb::TurnWheelAt(global(inText), 10); }, max},
      {"the thumb dragged past the top",
       [&] {
         tb::DragFromTo(global(mid(part(kControlIndicatorPart))), global(Point{-300, barRect.left}));
       },
       0},
      {"a refresh", [&] { refresh(); }, 0},
  };
  for (const Step& s : steps) {
    act(s.input);
    expectAt(s.line, s.what);
  }
}

// Every drum size the decoding can give (codes 0 to 7 of the oldest
// controller, 0 to 15 of the others, the consumables window reading the
// latter's names for both) has its text, and every paper size the status
// page names the consumables window names alike.
TEST_P(Tour, EveryDrumAndPaperSizeHasItsText) {
  UseLanguage(GetParam());
  const auto text = [](const char* section, const std::string& key) {
    char value[256] = "";
    Load_File_To_CstringEx(section, key.c_str(), value, sizeof value, MonFileName);
    return std::string(value);
  };
  std::set<std::string> missing;
  for (const auto& [prefix, codes] : {std::pair{"SIZEA", 8}, std::pair{"SIZEB", 16}})
    for (int code = 0; code < codes; ++code) {
      char key[16];
      std::snprintf(key, sizeof key, "%s%02d=", prefix, code);
      if (text("[DETAIL]", key).empty()) missing.insert(std::string("[DETAIL]") + key);
    }
  for (int code = 1; code < 128; ++code) {
    char key[16];
    std::snprintf(key, sizeof key, "SIZE%03d=", code);
    if (text("[DETAIL]", key) != text("[PAPER]", key))
      missing.insert(std::string(key) + " \"" + text("[DETAIL]", key) + "\" / \"" + text("[PAPER]", key) + "\"");
  }
  EXPECT_TRUE(missing.empty()) << GetParam() << ": " << testing::PrintToString(missing);
}

INSTANTIATE_TEST_SUITE_P(Languages, Tour, testing::Values("English", "Japanese"));

}  // namespace
}  // namespace montest

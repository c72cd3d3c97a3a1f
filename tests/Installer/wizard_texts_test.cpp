// Every window of the installer as a person meets it, in English and in
// Japanese: each page of the wizard, the search settings, the folder
// chooser and the alerts, walked by the installer's own event loop in this
// process, so that the toolbox's drawn-text report sees all they draw. No
// text may be drawn outside its window, cut or shortened (the install path
// aside, which is shortened in its middle); each tool's memo takes the
// lines it has; a selected row of a one-column list is highlighted across
// the list, and the list grows its vertical scroll bar alone; the pages'
// pictures fill their items; alerts are titled as the wizard is and the
// application menu's About stands disabled; and every tab and enabled
// button drawn is clicked at its centre somewhere in the walk, and the
// installer takes the click.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/IniFile.h"
#include "drawn_text.h"
#include "FanctionLib/CList.h"
#include "Installer/InstApp.h"
#include "Installer/InstWindows.h"
#include "Installer/WizardPages.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/menus.h"
#include "toolbox/netconfig.h"
#include "toolbox/pictures.h"
#include "toolbox/testdriver.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::ScopedEnv;
using R = tb::ScriptResult;

// What the walk saw, filled by its script commands.
struct Seen {
  std::vector<std::string> faults;  // "<window>: <text fault>"
  std::set<std::string> targets;    // "<window> item N": drawn, enabled, to be clicked
  std::set<std::string> pressed;    // the same, clicked at their centre
  std::vector<std::regex> answers;  // the trace line each click must bring, in order
  std::vector<std::string> lines;   // memos and paths not drawn as they should be
  int memos = 0, paths = 0;         // how many were looked at
  std::set<std::string> windows;    // every window checked
  std::string messages;             // the message file of the language walked
};
Seen gSeen;

// The window a person sees in front: a wizard page, the search settings,
// an alert or the folder chooser.
std::string windowName(WindowRef w) {
  DialogRef d = w ? GetDialogFromWindow(w) : nullptr;
  if (!d) return "chooser";
  if (d == instTbl.dlg) return "page " + std::to_string(instTbl.activePage);
  return inst::Get_Usr_Window_RefCon(d) ? "settings" : "alert";
}

// The install folder's path is shortened in its middle to fit its line.
bool installPath(const tb::DrawnText& t) {
  return t.source == tb::TextSource::kStaticText && t.shortened && t.cut == 0 && t.full.ends_with("/VEMOPLEX");
}

std::vector<tb::DrawnText> itemTexts(WindowRef w, DialogItemIndex item) {
  std::vector<tb::DrawnText> out;
  for (const tb::DrawnText& t : tb::DrawnTexts(w))
    if (t.item == item && t.source == tb::TextSource::kStaticText && !t.text.empty()) out.push_back(t);
  return out;
}

std::string titleOf(WindowRef w) {
  Str255 t = {0};
  GetWTitle(w, t);
  return std::string(reinterpret_cast<const char*>(t + 1), t[0]);
}

// The item a page draws its picture in, 0 for a page without one.
DialogItemIndex pictureItem(const std::string& page) {
  static const std::pair<const char*, DialogItemIndex> kPictures[] = {
      {"page 141", 7}, {"page 146", 7}, {"page 150", 9}, {"page 145", 6}};
  for (const auto& [name, item] : kPictures)
    if (page == name) return item;
  return 0;
}

void lookAtPicture(WindowRef w, const std::string& page, DialogItemIndex item) {
  const Rect r = Dialog_Item_Rect(GetDialogFromWindow(w), item);
  if (PicHandle pic = GetPicture(129)) {
    Rect frame;
    QDGetPictureBounds(pic, &frame);
    if (frame.right - frame.left != r.right - r.left || frame.bottom - frame.top != r.bottom - r.top)
      gSeen.lines.push_back(page + ": the picture is " + std::to_string(frame.right - frame.left) + " x " +
                            std::to_string(frame.bottom - frame.top) + " for an item of " +
                            std::to_string(r.right - r.left) + " x " + std::to_string(r.bottom - r.top));
  }
  std::set<UInt32> colours;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) colours.insert(tb::PortPixel(GetWindowPort(w), x, y) >> 8);
  if (colours.size() < 16)
    gSeen.lines.push_back(page + ": the picture shows " + std::to_string(colours.size()) + " colours");
}

void registerCommands() {
  // check: the texts of the window in front, and what a click can reach.
  tb::RegisterScriptCommand("check", [](const std::vector<std::string>&, std::string*) {
    WindowRef w = FrontWindow();
    const std::string name = windowName(w);
    gSeen.windows.insert(name);
    testsupport::TextRules rules;
    rules.exempt = installPath;
    for (const std::string& f : testsupport::WindowTextFaults(w, rules)) gSeen.faults.push_back(name + ": " + f);
    std::set<std::string> captions;
    if (DialogRef d = GetDialogFromWindow(w))
      for (const auto& t : testsupport::ClickTargets(d)) {
        DialogItemIndex item = t.item;
        if (!item) item = DialogItemIndex(FindDialogItem(d, t.centre()) + 1);
        gSeen.targets.insert(name + " item " + std::to_string(item));
        captions.insert(t.title);
      }
    // The application menu's About stands disabled (it has nothing to
    // show); an alert is titled as the wizard is; a page's picture fills
    // its item and is a picture (more than a few colours), not a plain
    // rectangle.
    const std::string about = "the application menu's About is enabled";
    if (MenuRef apple = GetMenuHandle(128);
        apple && IsMenuItemEnabled(apple, 1) &&
        std::find(gSeen.lines.begin(), gSeen.lines.end(), about) == gSeen.lines.end())
      gSeen.lines.push_back(about);
    if (name == "alert" && instTbl.dlg && titleOf(w) != titleOf(GetDialogWindow(instTbl.dlg)))
      gSeen.lines.push_back("an alert titled '" + titleOf(w) + "'");
    if (const DialogItemIndex picture = pictureItem(name)) lookAtPicture(w, name, picture);
    // A text that tells the user which button to click names one the
    // window shows ("Click Next to ...", 「次へ」をクリック).
    static const std::regex click("Click (.+?) to |\xE3\x80\x8C(.+?)\xE3\x80\x8D\xE3\x82\x92\xE3\x82\xAF");
    for (const tb::DrawnText& t : tb::DrawnTexts(w))
      for (std::sregex_iterator m(t.text.begin(), t.text.end(), click), end; m != end; ++m) {
        const std::string named = (*m)[1].matched ? (*m)[1].str() : (*m)[2].str();
        if (!captions.count(named) && !captions.count(named + "...") && !captions.count(named + "\xE2\x80\xA6"))
          gSeen.lines.push_back(name + ": '" + t.text + "' names no button it shows");
      }
    return R::kDone;
  });
  // press N: a click at the centre of item N as drawn (a tab: the item its
  // strip belongs to), which must be a target of the window in front.
  tb::RegisterScriptCommand("press", [](const std::vector<std::string>& words, std::string* error) {
    WindowRef w = FrontWindow();
    DialogRef d = w ? GetDialogFromWindow(w) : nullptr;
    const std::string name = windowName(w);
    if (!d || words.size() != 2) return *error = "press N, on a dialog", R::kFailed;
    const int want = std::atoi(words[1].c_str());
    for (const auto& t : testsupport::ClickTargets(d)) {
      const DialogItemIndex reached = DialogItemIndex(FindDialogItem(d, t.centre()) + 1);
      if ((t.item ? t.item : reached) != want) continue;
      if (reached != want)
        return *error = name + " item " + words[1] + ": its centre reaches item " + std::to_string(reached), R::kFailed;
      gSeen.pressed.insert(name + " item " + words[1]);
      const std::string n = words[1];
      gSeen.answers.emplace_back(name == "alert"      ? "\\[install\\] alert [0-9]+ answered " + n
                                 : name == "settings" ? "\\[install\\] search settings item " + n
                                                      : "\\[install\\] " + name + " item " + n);
      tb::ClickInWindow(w, t.centre());
      return R::kDone;
    }
    return *error = name + " shows no enabled item " + words[1], R::kFailed;
  });
  // memo ROW: the lines the Description draws for tool ROW, against the
  // lines of its memo.
  tb::RegisterScriptCommand("memo", [](const std::vector<std::string>& words, std::string*) {
    char key[16];
    std::snprintf(key, sizeof key, "MEMO_%02d=", std::atoi(words.at(1).c_str()));
    char memo[kIniLineMax + 1] = "";
    Load_File_To_CstringEx("[APR]", key, memo, sizeof memo, gSeen.messages.c_str());
    int lines = 1;
    for (const char* p = std::strstr(memo, "\\n"); p; p = std::strstr(p + 2, "\\n")) ++lines;
    const std::size_t drawn = itemTexts(FrontWindow(), 8).size();
    ++gSeen.memos;
    if (drawn != std::size_t(lines))
      gSeen.lines.push_back(std::string(key) + " " + std::to_string(lines) + " lines drawn on " +
                            std::to_string(drawn));
    return R::kDone;
  });
  // hilite ITEM...: the selected row of each one-column list ITEM of the
  // window in front is highlighted across the list, up to its frame or its
  // scroll bar.
  tb::RegisterScriptCommand("hilite", [](const std::vector<std::string>& words, std::string*) {
    WindowRef w = FrontWindow();
    DialogRef d = GetDialogFromWindow(w);
    // The port's pixels are blue, green, red and an unused byte, high to low.
    const auto highlight = [](UInt32 p) { return p >> 24 > 150 && (p >> 8 & 0xFF) < 100; };
    for (std::size_t i = 1; i < words.size(); ++i) {
      const Rect r = Dialog_Item_Rect(d, DialogItemIndex(std::atoi(words[i].c_str())));
      const std::string list = windowName(w) + " list " + words[i];
      int y = r.top + 1;
      while (y < r.bottom && !highlight(tb::PortPixel(GetWindowPort(w), r.left + 2, y))) ++y;
      if (y == r.bottom) {
        gSeen.lines.push_back(list + ": no row highlighted");
        continue;
      }
      // Right of the row's end lies the list's frame or its scroll bar, never the white of the list.
      int x = r.right - 2;
      while (x > r.left && tb::PortPixel(GetWindowPort(w), x, y) >> 8 == 0xFFFFFF) --x;
      if (x < r.right - 2)
        gSeen.lines.push_back(list + ": the highlight ends at " + std::to_string(x + 1) +
                              ", short of the list's edge " + std::to_string(r.right));
    }
    return R::kDone;
  });
  // bars ITEM WHICH: the scroll bars list ITEM of the window in front shows
  // ("vertical", "horizontal", "vertical and horizontal", "none").
  tb::RegisterScriptCommand("bars", [](const std::vector<std::string>& words, std::string*) {
    WindowRef w = FrontWindow();
    const Rect r = Dialog_Item_Rect(GetDialogFromWindow(w), DialogItemIndex(std::atoi(words.at(1).c_str())));
    std::string want;
    for (std::size_t i = 2; i < words.size(); ++i) want += (want.empty() ? "" : " ") + words[i];
    const std::string shown = testsupport::ScrollBarsOver(w, r);
    if (shown != want)
      gSeen.lines.push_back(windowName(w) + " list " + words[1] + ": " + shown + " scroll bars, not " + want);
    return R::kDone;
  });
  // rows: waits until the printer list shows every box (20 s at most).
  tb::RegisterScriptCommand("rows", [](const std::vector<std::string>&, std::string* error) {
    static auto since = std::chrono::steady_clock::now();
    static bool waiting = false;
    if (!waiting) since = std::chrono::steady_clock::now();
    waiting = !(instTbl.printList && CLGetCount(instTbl.printList) >= 2);
    if (waiting && std::chrono::steady_clock::now() - since > std::chrono::seconds(20)) {
      waiting = false;
      return *error = "the search listed no boxes", R::kFailed;
    }
    return waiting ? R::kAgain : R::kDone;
  });
  // path: the install folder shows on one line, its middle left out.
  tb::RegisterScriptCommand("path", [](const std::vector<std::string>&, std::string*) {
    const auto texts = itemTexts(FrontWindow(), 7);
    ++gSeen.paths;
    if (texts.size() != 1 || !texts[0].shortened || !texts[0].text.ends_with("/VEMOPLEX") ||
        texts[0].text.front() != '/')
      gSeen.lines.push_back("the install path on " + std::to_string(texts.size()) +
                            " lines: " + (texts.empty() ? "" : testsupport::DescribeText(texts[0])));
    return R::kDone;
  });
}

struct Walk {
  const char* language;
  std::string choose;     // on the language page
  std::string unpressed;  // the one target its end leaves unclicked
  std::string end;        // from the last page
};
void PrintTo(const Walk& walk, std::ostream* os) { *os << walk.language; }

class WizardTexts : public ::testing::TestWithParam<Walk> {
 protected:
  WizardTexts() {
    const fs::path built = fs::path(std::getenv("VEMO_BUILD_DIR")) / "disc";
    EXPECT_EQ(std::system(("cp -a '" + built.string() + "' '" + (dir / "disc").string() + "'").c_str()), 0);
    const fs::path bundle = dir / "disc/vemoplexinstall.app";
    tb::SetMainBundlePath(bundle.string());
    tb::SetApplicationPath((bundle / "Contents/MacOS/vemoplexinstall").string());
    gSeen = Seen{};
    gSeen.messages = (bundle / "Contents/Resources" / GetParam().language / "MESSAGE.INI").string();
    for (int i = 0; i < 2; ++i) emu.AddBox();
    std::string err;
    EXPECT_TRUE(emu.Start(&err)) << err;
    tb::ReloadNetConfig();
    tb::ReloadTraceChannels();
    // The ticks stand still, so no caret blinks into a report of texts cut
    // by the clip it redraws through (the search's time is its own).
    tb::UseVirtualClock(true);
  }
  ~WizardTexts() override {
    tb::UseVirtualClock(false);
    emu.Stop();
  }

  // The installer's run with the script, its trace in trace.txt.
  void run(const std::string& script) {
    registerCommands();
    tb::LoadScriptText(script);
    std::fflush(stderr);
    const int saved = dup(2);
    const int file = open((dir / "trace.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, 2);
    close(file);
    Run_Installer();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
  }

  testsupport::TempDir dir;
  ScopedEnv home{"HOME", (dir / "home").c_str()};
  ScopedEnv trace{"TOOLBOX_TRACE", "install"};
  ScopedEnv ports{"TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()};
  pboxemu::Emulator emu;
  testsupport::DrawnTextReport report;
};

// Clicks in the wizard at a point of its content (lists, rows, fields).
std::string at(int x, int y) {
  return "click-window \"VEMOPLEX Installer\" " + std::to_string(x) + " " + std::to_string(y) + "\nwait 3\n";
}
// The page's buttons: Cancel, its alert's Cancel; Back and Next again.
const std::string kCancelKept = "press 2\nwait 3\ncheck\npress 2\nwait 3\n";
const std::string kBackAndOn = "press 3\nwait 3\npress 1\nwait 3\n";
const std::string kNext = "press 1\nwait 3\ncheck\n";
const std::string kSearch = "rows\nwait 3\n";
const std::string kClearField = "key Delete\nkey Delete\nkey Delete\nkey Delete\nkey Delete\nkey Delete\n";

TEST_P(WizardTexts, EveryWindowReadsWholeAndEveryButtonTakesItsClick) {
  const Walk& walk = GetParam();
  // An install path of more than a hundred characters.
  fs::path folder = dir.path();
  for (const char* name : {"Programs", "Printing", "Office tools", "Second floor", "Print servers", "Installed"})
    folder /= name;
  fs::create_directories(folder);
  // Addresses enough for the list's vertical scroll bar.
  std::string manyAddresses;
  for (int i = 101; i <= 111; ++i) manyAddresses += "type 127.0.0." + std::to_string(i) + "\npress 8\nwait 3\n";
  const std::string script =
      "wait-window \"VEMOPLEX Installer\"\nwait 3\ncheck\n" + kCancelKept + walk.choose + kNext +  // 141
      kBackAndOn + kCancelKept + kNext +                                                           // 146
      kBackAndOn + kCancelKept + kNext +                                                           // 142
      at(20, 104) + "memo 0\n" + at(150, 122) + "memo 1\n" + at(150, 140) + "memo 2\n" + at(150, 104) + kBackAndOn +
      kCancelKept + kNext +                                                           // 147
      "chooser-answer \"" + folder.string() + "\"\npress 6\nwait 3\npath\ncheck\n" +  // 143: a long path
      "press 6\nwait-window \"Choose a Folder\"\nwait 3\ncheck\nclick-window \"Choose a Folder\" 300 260\nwait 5\n" +
      kBackAndOn + kCancelKept + kNext +                                                             // 143
      kBackAndOn + kCancelKept + "press 1\nwait 2\ncheck\nwait 20\ncheck\n" +                        // 148, 144
      "press 8\nwait 3\ncheck\npress 7\nwait 3\n" + kCancelKept + kNext +                            // 149
      "press 8\npress 7\n" + kBackAndOn + kCancelKept + "press 1\nwait 3\n" + kSearch + "check\n" +  // 150
      "press 8\n" + kSearch + "press 9\nwait 3\ncheck\npress 4\nwait 3\n" +           // 151, its settings:
      "type 1.2.3\npress 8\nwait 3\ncheck\npress 1\nwait 3\n" + kClearField +         // a bad address,
      "type 127.0.0.77\npress 8\nwait 3\ncheck\nhilite 7\npress 9\nwait 3\n" +        // one added, deleted,
      "type 127.0.0.78\npress 8\nwait 3\npress 3\nwait 3\ncheck\n" + manyAddresses +  // applied, more added,
      "bars 7 vertical\nhilite 7\npress 2\nwait 3\n" +                                // cancelled
      "press 9\nwait 3\npress 1\nwait 3\n" + at(100, 104) + "check\n" + "press 3\nwait 3\npress 1\nwait 3\n" + kSearch +
      at(100, 104) + kCancelKept + kNext +  // 151
      at(100, 114) + "press 13\nwait 3\n" + at(400, 114) + "press 14\nwait 3\ncheck\nhilite 7 10\n" +
      "press 3\nwait 3\n" + kSearch + at(100, 104) + "press 1\nwait 3\n" + kCancelKept + kNext +  // 152
      "press 7\npress 9\npress 11\npress 13\n" + at(240, 213) + kClearField + "type 1\npress 1\nwait 3\ncheck\n" +
      "press 1\nwait 3\n" + kClearField + "type 3000\n" + kBackAndOn + kCancelKept + kNext +  // 153
      "press 3\nwait 3\n" + walk.end;                                                         // 145
  run(script);
  const std::string trace = ReadFile(dir / "trace.txt");
  EXPECT_EQ(testsupport::JoinLines(gSeen.faults), "");
  for (const char* w : {"page 141", "page 146", "page 142", "page 147", "page 143", "page 148", "page 144", "page 149",
                        "page 150", "page 151", "page 152", "page 153", "page 145", "settings", "alert", "chooser"})
    EXPECT_TRUE(gSeen.windows.count(w)) << w;
  // Every button drawn enabled was clicked, and the installer took each click.
  std::set<std::string> missed;
  for (const std::string& t : gSeen.targets)
    if (!gSeen.pressed.count(t) && t != walk.unpressed) missed.insert(t);
  EXPECT_EQ(testsupport::JoinLines({missed.begin(), missed.end()}), "");
  std::size_t from = 0;
  for (const std::regex& answer : gSeen.answers) {
    std::smatch m;
    std::string rest = trace.substr(from);
    ASSERT_TRUE(std::regex_search(rest, m, answer)) << "a click went unanswered after:\n" << trace.substr(0, from);
    from += std::size_t(m.position(0) + m.length(0));
  }
  EXPECT_EQ(testsupport::JoinLines(gSeen.lines), "");
  EXPECT_EQ(gSeen.memos, 3);
  EXPECT_EQ(gSeen.paths, 1);
}

// English ends with Finish; Japanese, chosen on the language page, with
// Cancel on the last page and OK in its question.
INSTANTIATE_TEST_SUITE_P(Languages, WizardTexts,
                         ::testing::Values(Walk{"English", "", "", "press 1\nwait 3\npress 1\nwait 3\n"},
                                           Walk{"Japanese", at(300, 117), "page 145 item 1",
                                                "press 2\nwait 3\ncheck\npress 1\nwait 3\n"}),
                         [](const auto& info) { return std::string(info.param.language); });

}  // namespace

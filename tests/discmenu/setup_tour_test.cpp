// The disc start menu as a person meets it, in English and in Japanese:
// the real program's run in this process, walked by a script through every
// screen (main menu, sub-menu, languages) and both of its alerts, so that
// the toolbox's drawn-text report sees all it draws. No text may be drawn
// outside the window, cut or painted over; each button, under the mouse,
// changes only itself and keeps its label readable on its picture; and each
// button drawn is clicked at its centre somewhere in the walk, and acts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "discmenu/setup/Autorun.h"
#include "drawn_text.h"
#include "test_support.h"
#include "toolbox/bundle.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/recorder.h"
#include "toolbox/testdriver.h"
#include "toolbox/windows.h"

namespace {

namespace fs = std::filesystem;
using R = tb::ScriptResult;

struct Target {
  std::string kind;  // "button", "entry", "language", "exit", "back", "languages"
  int index = 0;
  std::string label;
  Rect area;     // everything it draws
  Rect clickAt;  // what is drawn to click: the picture
  std::string name() const {
    return kind + (kind == "button" || kind == "entry" || kind == "language" ? " " + std::to_string(index) : "") +
           (label.empty() ? "" : " '" + label + "'");
  }
};

// What the walk saw, filled by its script commands.
struct Seen {
  std::vector<std::string> faults;  // "<window>: <what>"
  std::set<std::string> windows;
  std::set<std::string> targets, pressed;  // "<window>: <target>"
  std::vector<std::string> titles;         // the alerts' window titles
  // The effect the last click is to have, looked at by the next command.
  std::string pending, pendingWhere;
  SInt16 screenBefore = 0;
  std::size_t launches = 0, opened = 0;
};
Seen gSeen;

bool menuInFront() { return autoWndPtr && FrontWindow() == GetDialogWindow(autoWndPtr); }

std::string screenName();

std::string windowName() {
  if (!menuInFront()) {
    DialogRef d = GetDialogFromWindow(FrontWindow());
    int buttons = 0;
    for (const auto& t : d ? testsupport::ClickTargets(d) : std::vector<testsupport::ClickTarget>{})
      buttons += t.kind == testsupport::ClickTarget::Kind::kButton;
    return std::string(buttons == 1 ? "error alert" : "quit question") + " over the " + screenName();
  }
  return screenName();
}

std::string screenName() {
  switch (gActivePNum) {
    case kScreenLanguage: return "language screen";
    case kScreenMain: return std::string("main menu (") + gAutorunInfo.langName + ")";
    case kScreenSubMenu: return std::string("sub-menu (") + gAutorunInfo.langName + ")";
    default: return "screen " + std::to_string(gActivePNum);
  }
}

// An alert's buttons are the same over whichever screen it stands.
std::string alertKind(const std::string& name) { return name.substr(0, name.find(" over ")); }

Rect unionOf(const Rect& a, const Rect& b) {
  Rect r;
  UnionRect(&a, &b, &r);
  return r;
}

// The screen's own buttons, then the fixed ones it draws. A button's area
// is its picture and its label in both looks (the highlighted one in its
// own font, moved by `shift`), each drawn with its shadow.
std::vector<Target> screenTargets() {
  std::vector<Target> out;
  tb::PortSaver saved(GetDialogPort(autoWndPtr));
  auto entries = [&](const MENU_DATA* table, short count, const char* kind, const MENU_FONT(&fonts)[2], short shift) {
    for (short i = 0; i < count; ++i) {
      const MENU_DATA& e = table[i];
      if (!e.enable) continue;
      Rect area = unionOf(e.btnRect, e.strRect);
      for (int k = 0; k < 2; ++k) {
        const short by = k ? shift : 0;
        area = unionOf(area, Label_Bounds(e.label, &e.strRect, &fonts[k], by, by));
        area = unionOf(area,
                       Label_Bounds(e.label, &e.strRect, &fonts[k], short(fonts[k].dx + by), short(fonts[k].dy + by)));
      }
      out.push_back({kind, i, pstr::str(e.label), area, e.btnRect});
    }
  };
  MENU_FONT fonts[2];
  if (gActivePNum == kScreenLanguage)
    for (short i = 0; i < gLangCount; ++i)
      if (gLangTbl[i].normal) out.push_back({"language", i, gLangTbl[i].name, gLangTbl[i].rect, gLangTbl[i].rect});
  if (gActivePNum == kScreenMain) {
    Get_Menu_Font(&gAutorunInfo.menuFile, "SUP_ADD=", &fonts[0]);
    Get_Menu_Font(&gAutorunInfo.menuFile, "SUP_ADDS=", &fonts[1]);
    entries(iContents, kMainMenuSlots, "button", fonts, -1);
  }
  if (gActivePNum == kScreenSubMenu) {
    Get_Sub_Menu_Font(false, &fonts[0]);
    Get_Sub_Menu_Font(true, &fonts[1]);
    entries(iManual, kSubMenuActive, "entry", fonts, 0);
  }
  const char* fixed[] = {"exit", "back", "languages"};
  for (short slot = 0; slot < 3; ++slot)
    if (Fixed_Button_Drawn(slot)) out.push_back({fixed[slot], 0, "", gCommonTbl[slot].rect, gCommonTbl[slot].rect});
  return out;
}

Point centre(const Rect& r) { return Point{short((r.top + r.bottom) / 2), short((r.left + r.right) / 2)}; }

void moveTo(Point local) {
  Rect content;
  GetWindowBounds(GetDialogWindow(autoWndPtr), kWindowContentRgn, &content);
  tb::MoveMouseTo(Point{short(content.top + local.v), short(content.left + local.h)});
}

std::vector<UInt32> pixels() {
  CGrafPtr port = GetDialogPort(autoWndPtr);
  std::vector<UInt32> out;
  for (int y = 0; y < tb::PortHeight(port); ++y)
    for (int x = 0; x < tb::PortWidth(port); ++x) out.push_back(tb::PortPixel(port, x, y));
  return out;
}

// The smallest rectangle holding every pixel that differs; empty when none.
Rect changed(const std::vector<UInt32>& before, const std::vector<UInt32>& after) {
  const int w = tb::PortWidth(GetDialogPort(autoWndPtr));
  Rect r{0, 0, 0, 0};
  for (std::size_t i = 0; i < std::min(before.size(), after.size()); ++i) {
    if (before[i] == after[i]) continue;
    const Rect p{short(i / w), short(i % w), short(i / w + 1), short(i % w + 1)};
    r = EmptyRect(&r) ? p : unionOf(r, p);
  }
  return r;
}

std::string text(const Rect& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}

double luminance(UInt8 r, UInt8 g, UInt8 b) {
  auto lin = [](UInt8 c) {
    const double v = c / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b);
}

// How well a main-menu button's label in the given state reads on its
// picture: the contrast of the label's colour with the picture at the
// button's left, where no letter lies.
double labelContrast(const Target& t, bool selected) {
  MENU_FONT font;
  {
    tb::PortSaver saved(GetDialogPort(autoWndPtr));
    Get_Menu_Font(&gAutorunInfo.menuFile, selected ? "SUP_ADDS=" : "SUP_ADD=", &font);
  }
  UInt8 r, g, b;
  tb::UnpackPixel(tb::PortPixel(GetDialogPort(autoWndPtr), t.clickAt.left + 6, centre(t.clickAt).v), r, g, b);
  const double under = luminance(r, g, b);
  const double label = luminance(UInt8(font.fore.red >> 8), UInt8(font.fore.green >> 8), UInt8(font.fore.blue >> 8));
  return (std::max(under, label) + 0.05) / (std::min(under, label) + 0.05);
}

// The effect the last click was to have.
void settle() {
  if (gSeen.pending.empty()) return;
  const std::string want = gSeen.pending, where = gSeen.pendingWhere;
  gSeen.pending.clear();
  std::string got;
  const auto launches = tb::RecordedLaunches();
  const auto opened = tb::RecordedOpenedDocuments();
  if (want == "alert") {
    if (menuInFront()) got = "no alert";
  } else if (want.starts_with("launch:")) {
    if (launches.size() != gSeen.launches + 1 || launches.back().path.find(want.substr(7)) == std::string::npos)
      got = std::to_string(launches.size() - gSeen.launches) + " launches";
  } else if (want.starts_with("open:")) {
    if (opened.size() != gSeen.opened + 1 || !opened.back().ends_with(want.substr(5)))
      got = std::to_string(opened.size() - gSeen.opened) + " documents opened";
  } else if (want == "stays") {
    if (!menuInFront() || gActivePNum != gSeen.screenBefore || launches.size() != gSeen.launches ||
        opened.size() != gSeen.opened)
      got = "the menu changed, now " + windowName();
  } else if (!menuInFront() || windowName().rfind(want, 0) != 0) {
    got = windowName();
  }
  if (!got.empty()) gSeen.faults.push_back(where + ": expected " + want + ", got " + got);
}

// hovers: the mouse on each button of the screen in turn, straight from
// one to the next, and off them again.
struct Hovers {
  std::vector<Target> targets;
  std::vector<UInt32> rest;
  std::size_t at = 0;
  int phase = 0;
};
Hovers gHovers;

R hovers() {
  Hovers& h = gHovers;
  const std::string where = windowName();
  auto fault = [&](const std::string& f) { gSeen.faults.push_back(where + ": " + f); };
  switch (h.phase) {
    case 0:
      h = Hovers{screenTargets(), {}, 0, 1};
      moveTo(Point{2, 2});
      return R::kAgain;
    case 1:
      h.rest = pixels();
      for (const Target& t : h.targets) {
        gSeen.targets.insert(where + ": " + t.name());
        if (t.kind == "button" && labelContrast(t, false) < 4.5)
          fault(t.name() + ": its label reads poorly on its picture");
      }
      h.phase = 2;
      if (!h.targets.empty()) moveTo(centre(h.targets[0].clickAt));
      return R::kAgain;
    case 2:
      if (h.at < h.targets.size()) {
        const Target& t = h.targets[h.at];
        Rect allowed = t.area;
        InsetRect(&allowed, -4, -4);
        const Rect diff = changed(h.rest, pixels());
        const Rect spread = unionOf(diff, allowed);
        if (EmptyRect(&diff))
          fault(t.name() + ": looks the same under the mouse");
        else if (!EqualRect(&spread, &allowed))
          fault(t.name() + " under the mouse: the window changed in " + text(diff) + ", beyond the button's " +
                text(allowed));
        if (t.kind == "button" && labelContrast(t, true) < 4.5)
          fault(t.name() + ": its label reads poorly on its picture under the mouse");
        if (++h.at < h.targets.size()) {
          moveTo(centre(h.targets[h.at].clickAt));
          return R::kAgain;
        }
        moveTo(Point{2, 2});
        return R::kAgain;
      }
      if (Rect diff = changed(h.rest, pixels()); !EmptyRect(&diff))
        fault("the mouse off the buttons, the window still differs in " + text(diff));
      h = Hovers{};
      return R::kDone;
  }
  return R::kDone;
}

void registerCommands() {
  // check: the texts of the window in front.
  tb::RegisterScriptCommand("check", [](const std::vector<std::string>&, std::string*) {
    settle();
    WindowRef w = FrontWindow();
    const std::string name = windowName();
    gSeen.windows.insert(name);
    for (const std::string& f : testsupport::WindowTextFaults(w)) gSeen.faults.push_back(name + ": " + f);
    // Each button that has a label shows it.
    if (menuInFront())
      for (const Target& t : screenTargets()) {
        bool shown = t.label.empty() || t.kind == "language";
        for (const tb::DrawnText& d : tb::DrawnTexts(w)) shown = shown || d.text == t.label;
        if (!shown) gSeen.faults.push_back(name + ": " + t.name() + " shows no label");
      }
    if (!menuInFront()) {
      Str255 title;
      GetWTitle(w, title);
      gSeen.titles.push_back(pstr::str(title));
      for (const auto& t : testsupport::ClickTargets(GetDialogFromWindow(w)))
        gSeen.targets.insert(alertKind(name) + ": item " + std::to_string(t.item));
    }
    return R::kDone;
  });
  tb::RegisterScriptCommand("hovers", [](const std::vector<std::string>&, std::string*) {
    settle();
    return hovers();
  });
  // press KIND [INDEX] EFFECT: a click at the centre of the button as drawn
  // (on an alert, item INDEX), and what it is to do.
  tb::RegisterScriptCommand("press", [](const std::vector<std::string>& words, std::string* error) {
    settle();
    const std::string name = windowName();
    const bool indexed = words.size() == 4;
    const std::string kind = words.at(1);
    const int index = indexed ? std::atoi(words[2].c_str()) : 0;
    gSeen.pending = words.back();
    gSeen.launches = tb::RecordedLaunches().size();
    gSeen.opened = tb::RecordedOpenedDocuments().size();
    if (!menuInFront()) {
      DialogRef d = GetDialogFromWindow(FrontWindow());
      for (const auto& t : testsupport::ClickTargets(d))
        if (t.item == index) {
          gSeen.pressed.insert(alertKind(name) + ": item " + std::to_string(index));
          gSeen.pendingWhere = name + " item " + std::to_string(index);
          tb::ClickInWindow(FrontWindow(), t.centre());
          return R::kDone;
        }
      return *error = name + " shows no item " + words[2], R::kFailed;
    }
    gSeen.screenBefore = gActivePNum;
    for (const Target& t : screenTargets())
      if (t.kind == kind && t.index == index) {
        gSeen.pressed.insert(name + ": " + t.name());
        gSeen.pendingWhere = name + " " + t.name();
        tb::ClickInWindow(GetDialogWindow(autoWndPtr), centre(t.clickAt));
        return R::kDone;
      }
    return *error = name + " draws no " + kind, R::kFailed;
  });
}

struct Walk {
  const char* language;  // the system's
  const char* own;       // the language screen's button of it, and of the other
  const char* other;
  // Effects of the clicks whose targets differ by language: the main menu's
  // third button, the sub-menu's first two entries.
  const char* button2;
  const char* entry0;
  const char* entry1;
};
void PrintTo(const Walk& walk, std::ostream* os) { *os << walk.language; }

class SetupTour : public ::testing::TestWithParam<Walk> {
 protected:
  SetupTour() {
    const fs::path built = fs::path(std::getenv("VEMO_BUILD_DIR")) / "disc";
    EXPECT_EQ(std::system(("cp -a '" + built.string() + "' '" + (dir / "disc").string() + "'").c_str()), 0);
    // The programs the menu starts end at once; the Japanese manual is
    // missing, so its entries bring the error alert.
    for (const char* program : {"vemoplexinstall", "vemomanual"}) {
      const fs::path exe = dir / "disc" / (std::string(program) + ".app/Contents/MacOS") / program;
      fs::remove(exe);
      testsupport::WriteFile(exe, "#!/bin/sh\nexit 0\n");
      fs::permissions(exe, fs::perms::owner_all);
    }
    fs::remove(dir / "disc/Manuals/Japanese/index.html");
    const fs::path bundle = dir / "disc/setup.app";
    tb::SetMainBundlePath(bundle.string());
    tb::SetApplicationPath((bundle / "Contents/MacOS/setup").string());
    tb::SetSystemLanguage(GetParam().language);
    gSeen = Seen{};
    tb::UseVirtualClock(true);
  }
  ~SetupTour() override {
    tb::UseVirtualClock(false);
    tb::SetSystemLanguage("");
  }

  testsupport::TempDir dir;
  testsupport::ScopedEnv home{"HOME", (dir / "home").c_str()};
  testsupport::DrawnTextReport report;
};

TEST_P(SetupTour, EveryScreenReadsWholeAndEveryButtonActs) {
  const Walk& walk = GetParam();
  const std::string p = "wait 2\n";
  // A click that brings an alert: its texts, then its button that keeps
  // the menu as it was (OK of the error, No of the quit question).
  auto alertOr = [&](const std::string& press, const char* effect, const char* keep = "1") {
    const std::string e = effect;
    return press + " " + e + "\n" + p + (e == "alert" ? "check\npress item " + std::string(keep) + " stays\n" + p : "");
  };
  const std::string quitAsked = alertOr("press exit", "alert", "2");
  const std::string script =
      "wait-window VEMOPLEX\ncheck\nhovers\n"  // main menu
      "press button 1 sub-menu\n" +
      p + "check\nhovers\n" +  // sub-menu
      alertOr("press entry 0", walk.entry0) + alertOr("press entry 1", walk.entry1) +
      "press entry 2 launch:vemomanual.app\n" + p + quitAsked + "press back main\n" + p +
      "press button 0 launch:vemoplexinstall.app\n" + p + alertOr("press button 2", walk.button2) +
      "press languages language\n" + p + "check\nhovers\n" + quitAsked +  // language screen
      "press back main\n" + p + "press languages language\n" + p + "press language " + walk.other + " main\n" + p +
      "check\n" +  // the other language's main menu
      "press languages language\n" + p + "press language " + walk.own + " main\n" + p + quitAsked +
      "press exit alert\n" + p + "press item 1 quit\n";  // the quit question: No, then Yes
  registerCommands();
  tb::LoadScriptText(script);
  EXPECT_EQ(Run_Setup(), 0);
  if (gSeen.pending == "quit") gSeen.pending = gQuitFlag ? "" : "quit";
  EXPECT_EQ(gSeen.pending, "") << "the last click did not quit";
  EXPECT_EQ(testsupport::JoinLines(gSeen.faults), "");
  const std::string own = std::string(" (") + (walk.own[0] == '0' ? "English" : "Japanese") + ")";
  for (const std::string& w :
       std::vector<std::string>{"main menu (English)", "main menu (Japanese)", "language screen", "sub-menu" + own,
                                "error alert over the sub-menu" + own, "quit question over the main menu" + own,
                                "quit question over the sub-menu" + own, "quit question over the language screen"})
    EXPECT_TRUE(gSeen.windows.count(w)) << w;
  std::vector<std::string> missed;
  std::set_difference(gSeen.targets.begin(), gSeen.targets.end(), gSeen.pressed.begin(), gSeen.pressed.end(),
                      std::back_inserter(missed));
  EXPECT_EQ(testsupport::JoinLines(missed), "");
  // The alerts carry the menu's own title, the same in every language.
  for (const std::string& title : gSeen.titles) EXPECT_EQ(title, "VEMOPLEX");
}

INSTANTIATE_TEST_SUITE_P(Languages, SetupTour,
                         ::testing::Values(Walk{"en", "0", "1", "open:Manuals/English/index.html",
                                                "open:Manuals/English/index.html", "alert"},
                                           Walk{"ja", "1", "0", "alert", "alert", "open:Manuals/English/index.html"}),
                         [](const auto& info) {
                           return std::string(info.param.language) == "en" ? "English" : "Japanese";
                         });

}  // namespace

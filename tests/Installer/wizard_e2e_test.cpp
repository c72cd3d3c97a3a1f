// The real installer from a copy of the build's disc, driven by scripts:
// the language page, licence, tools, the folder chooser (answered, and on
// screen then cancelled), the check, the copy and the end page in English;
// and, started by a stand-in disc menu with a launch event naming Japanese,
// the same without the language page.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/LaunchEvents.h"
#include "test_support.h"
#include "toolbox/files.h"
#include "toolbox/pictures.h"
#include "toolbox/processes.h"
#include "toolbox/quickdraw.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::ReadPNG;
using testsupport::ScopedEnv;
using testsupport::WriteFile;

const std::string kTitle = "\"VEMOPLEX Installer\"";

std::string clickAt(int x, int y) {
  return "click-window " + kTitle + " " + std::to_string(x) + " " + std::to_string(y) + "\nwait 3\n";
}
// The same click queued by where it lands on the screen (the wizard's
// content starts at 40, 40): for a click right after an alert, which is
// titled as the wizard, so that it reaches the wizard once the alert has
// taken its key and gone.
std::string clickWizardAt(int x, int y) {
  return "click " + std::to_string(x + 40) + " " + std::to_string(y + 40) + "\nwait 3\n";
}
// kTick toggles the first tool row (VEMO-ADMIN), kTickMonitor the second
// (VEMO-MONITOR) and kTickHold the third (VemoHoldManager), both ticked at
// first.
const std::string kNext = clickAt(500, 355), kCancel = clickAt(400, 355), kBack = clickAt(300, 355),
                  kTick = clickAt(20, 104), kTickMonitor = clickAt(20, 122), kTickHold = clickAt(20, 140);

using Shot = std::optional<tb::Image>;
// The box around every pixel that differs between two shots of one size,
// from row top down; empty when none does.
Rect changed(const tb::Image& a, const tb::Image& b, int top = 0) {
  Rect box{SInt16(a.height), SInt16(a.width), 0, 0};
  for (int y = top; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      if (a.pixels[std::size_t(y * a.width + x)] != b.pixels[std::size_t(y * a.width + x)])
        box = Rect{SInt16(std::min<int>(box.top, y)), SInt16(std::min<int>(box.left, x)),
                   SInt16(std::max<int>(box.bottom, y + 1)), SInt16(std::max<int>(box.right, x + 1))};
  return box;
}
// After the copy: Next on the administrator-mode page, the answer no on the
// monitor's set-up page and its Next.
const std::string kModeAndNoMonitor = kNext + clickAt(300, 224) + kNext;

class Wizard : public ::testing::Test {
 protected:
  Wizard() {
    const char* build = std::getenv("VEMO_BUILD_DIR");
    fs::create_directories(dir / "home");
    fs::create_directories(dir / "pick");
    std::string cmd = std::string("cp -a ") + build + "/disc " + (dir / "disc").string();
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    exe = dir / "disc/vemoplexinstall.app/Contents/MacOS/vemoplexinstall";
  }
  // Runs the installer with the script; its trace of item hits in trace.txt.
  int run(const std::string& script) {
    WriteFile(dir / "script.txt", script);
    ScopedEnv s("TOOLBOX_SCRIPT", (dir / "script.txt").c_str());
    ScopedEnv t("TOOLBOX_TRACE", "install");
    ScopedEnv a("TOOLBOX_APP_PATH", exe.c_str());
    return testsupport::RunProgramErrTo({exe.string()}, dir / "trace.txt");
  }
  std::vector<std::string> hits() {
    std::vector<std::string> out;
    for (const auto& line : testsupport::ReadLines(dir / "trace.txt"))
      if (line.rfind("[install] page ", 0) == 0) out.push_back(line.substr(15));
    return out;
  }

  testsupport::TempDir dir;
  ScopedEnv home{"HOME", (dir / "home").c_str()};
  // Tests of this binary run side by side: each has its own preferences
  // and its own program sockets, so no launch event reaches another
  // test's installer.
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").c_str()};
  ScopedEnv runtime{"XDG_RUNTIME_DIR", (dir / "run").c_str()};
  fs::path exe;
};

TEST_F(Wizard, EnglishThroughEveryPageIntoAChosenFolder) {
  const std::string script = "wait-window " + kTitle + "\n" + kNext +  // 141 English, preselected
                             kBack + kNext +                           // 146 Back leads to 141 again
                             kNext + kNext +                           // 146, licence agreed
                             "screenshot " + (dir / "tools.png").string() + "\n" + clickAt(150, 250) + "screenshot " +
                             (dir / "below.png").string() + "\n" + kTickMonitor +
                             kTickHold +                      // 147: the monitor and the held-job
                             "key Return\nwait 3\n" +         // manager unticked, nothing ticked:
                                                              // Return does nothing
                             kNext +                          // nor does the disabled Next
                             kTick + kBack + kNext + kNext +  // the tick survives Back
                             "chooser-answer " + (dir / "pick").string() + "\n" + clickAt(480, 170) + kNext + kBack +
                             kNext +                       // 148 back to 143 and on
                             kNext +                       // 148 Install: the copy runs
                             "wait 20\n" + kNext + kNext;  // 149 administrator mode, 145 Finish
  ASSERT_EQ(run(script), 0) << ReadFile(dir / "trace.txt");
  EXPECT_EQ(hits(), (std::vector<std::string>{"141 item 1", "146 item 3", "141 item 1", "146 item 1", "142 item 1",
                                              "147 item 7", "147 item 7", "147 item 7", "147 item 7", "147 item 3",
                                              "142 item 1", "147 item 1", "143 item 6", "143 item 1", "148 item 3",
                                              "143 item 1", "148 item 1", "149 item 1", "145 item 1"}))
      << ReadFile(dir / "trace.txt");
  // The tools as they came: each row's tick drawn from its icon, the
  // monitor and the held-job manager ticked (a stroke of the check mark),
  // the administration program not (the empty box).
  const Shot shot = ReadPNG(dir / "tools.png");
  ASSERT_TRUE(shot);
  // Window content coordinates; the window's content starts at (40, 40).
  auto at = [&](int x, int y) { return testsupport::RgbAt(*shot, x + 40, y + 40); };
  EXPECT_EQ(at(26, 105), (std::array<int, 3>{255, 255, 255}));  // VEMO-ADMIN
  EXPECT_EQ(at(26, 123), (std::array<int, 3>{30, 90, 200}));    // VEMO-MONITOR
  EXPECT_EQ(at(26, 141), (std::array<int, 3>{30, 90, 200}));    // VemoHoldManager
  // The group frame is etched: a grey line with a white one inside it.
  EXPECT_EQ(at(100, 5), (std::array<int, 3>{0x88, 0x88, 0x88}));
  EXPECT_EQ(at(100, 6), (std::array<int, 3>{255, 255, 255}));
  EXPECT_EQ(at(5, 100), (std::array<int, 3>{0x88, 0x88, 0x88}));
  // The first row comes selected (its highlight, right of the name) with
  // its Description; a click below the rows selects none, and the
  // Description says nothing.
  const Shot below = ReadPNG(dir / "below.png");
  ASSERT_TRUE(below);
  auto inked = [&](const tb::Image& image, Rect r) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) n += testsupport::RgbAt(image, x + 40, y + 40)[0] < 128;
    return n;
  };
  const Rect firstName{96, 150, 113, 260}, description{95, 300, 300, 545};
  EXPECT_GT(inked(*shot, firstName), 1000);
  EXPECT_GT(inked(*shot, description), 100);
  EXPECT_EQ(inked(*below, firstName), 0);
  EXPECT_EQ(inked(*below, description), 0);
  const fs::path install = dir / "pick/VEMOPLEX";
  EXPECT_EQ(ReadFile(install / "ReadMe.txt"), ReadFile(dir / "disc/TOOL/English/ReadMe.txt"));
  EXPECT_TRUE(fs::exists(install / "VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN"));
  EXPECT_TRUE(fs::is_symlink(dir / "pick/VEMO-ADMIN.app"));
  EXPECT_FALSE(fs::exists(dir / "home/VEMOPLEX"));
}

TEST_F(Wizard, ChooserCancelledKeepsTheWizardDrawnAndAlertKeysFlashTheirButton) {
  // Choose... clicked at once after Next, before the new page was drawn:
  // the chooser opens over a wizard that still has to be drawn, stays a
  // moment and is cancelled. Behind it and after it the wizard must look as
  // when the page is shown afresh (its title bar aside, dimmed behind).
  const std::string wizard = "window-shot " + kTitle + " ";
  const std::string script =
      "wait-window " + kTitle + "\n" + kNext + kNext + kNext +  // to the tools
      "click-window " + kTitle + " 500 355\nclick-window " + kTitle + " 480 170\n" +
      "wait-window \"Choose a Folder\"\nwait 3\n" + wizard + (dir / "behind.png").string() +
      "\nclick-window \"Choose a Folder\" 300 260\nwait 5\n" + wizard + (dir / "after.png").string() + "\n" + kBack +
      kNext + wizard + (dir / "fresh.png").string() + "\n" +
      // Cancel's question: Escape presses its Cancel, later Return its OK;
      // each shot is taken while the key's button is shown pressed.
      kCancel + "window-shot " + kTitle + " " + (dir / "alert.png").string() + "\nkey Escape\nwindow-shot " + kTitle +
      " " + (dir / "escape.png").string() + "\nwait 3\n" + clickWizardAt(400, 355) + "key Return\nwindow-shot " +
      kTitle + " " + (dir / "return.png").string() + "\nwait 3\n";
  ASSERT_EQ(run(script), 0) << ReadFile(dir / "trace.txt");
  EXPECT_EQ(hits(), (std::vector<std::string>{"141 item 1", "146 item 1", "142 item 1", "147 item 1", "143 item 6",
                                              "143 item 3", "147 item 1", "143 item 2", "143 item 2"}));
  const Shot behind = ReadPNG(dir / "behind.png"), after = ReadPNG(dir / "after.png"),
             fresh = ReadPNG(dir / "fresh.png");
  ASSERT_TRUE(behind && after && fresh);
  for (auto [shot, top] : {std::pair{&*behind, 20}, {&*after, 0}}) {
    const Rect redrawn = changed(*shot, *fresh, top);
    EXPECT_TRUE(EmptyRect(&redrawn)) << top << ": " << redrawn.top << " " << redrawn.left << " " << redrawn.bottom
                                     << " " << redrawn.right;
  }

  // Only the button the key stands for changes, drawn pressed (the shots
  // hold the alert's 20-pixel title bar above its items).
  const Shot alert = ReadPNG(dir / "alert.png"), escape = ReadPNG(dir / "escape.png"),
             pressed = ReadPNG(dir / "return.png");
  ASSERT_TRUE(alert && escape && pressed);
  for (auto [shot, button] : {std::pair{&*escape, Rect{145, 240, 165, 315}}, {&*pressed, Rect{145, 330, 165, 405}}}) {
    const Rect box = changed(*alert, *shot);
    ASSERT_FALSE(EmptyRect(&box));
    Rect outside = button;
    InsetRect(&outside, -5, -5);
    Rect both;
    SectRect(&box, &outside, &both);
    EXPECT_TRUE(EqualRect(&both, &box)) << box.top << " " << box.left << " " << box.bottom << " " << box.right;
  }
  EXPECT_FALSE(fs::exists(dir / "home/VEMOPLEX"));
}

TEST_F(Wizard, CancelAsksAndEscapeConfirmsNothing) {
  // Escape on the licence asks; the alert's Escape answers Cancel, so the
  // wizard stays; the File menu's Quit then asks again and Return quits.
  const std::string script = "wait-window " + kTitle + "\n" + kNext + kNext +
                             "key Escape\nwait 3\nkey Escape\nwait 3\n" + clickWizardAt(500, 355) +
                             "menu 129 1\nwait 3\nkey Return\nwait 3\n";
  ASSERT_EQ(run(script), 0) << ReadFile(dir / "trace.txt");
  EXPECT_EQ(hits(), (std::vector<std::string>{"141 item 1", "146 item 1", "142 item 2", "142 item 1"}));
  EXPECT_FALSE(fs::exists(dir / "home/VEMOPLEX"));
}

TEST_F(Wizard, WithoutAppleEventsNoWizardOpensAndTheFileMenuQuits) {
  // No open event can arrive: the menu bar alone, and Quit asks nothing.
  ScopedEnv gestalt("TOOLBOX_GESTALT", "evnt=-");
  ASSERT_EQ(run("wait 10\nmenu 129 1\nwait 3\n"), 0) << ReadFile(dir / "trace.txt");
  EXPECT_TRUE(hits().empty());
  EXPECT_EQ(ReadFile(dir / "trace.txt").find("alert"), std::string::npos);
}

TEST_F(Wizard, LaunchEventFromTheDiscMenuNamesTheLanguage) {
  // The stand-in disc menu: the launch event's text is "-l" and the
  // language folder, length-prefixed. The language page is skipped and
  // Back on the welcome page is hidden, so the first click there does
  // nothing.
  WriteFile(dir / "script.txt", "wait-window " + kTitle + "\n" + kBack + kNext + kNext + kTick + kNext + kNext + kNext +
                                    "wait 20\n" + kModeAndNoMonitor + kNext);
  ScopedEnv s("TOOLBOX_SCRIPT", (dir / "script.txt").c_str());
  const std::string option = "\x0a-lJapanese";
  FSSpec app;
  ASSERT_EQ(tb::PathToSpec(exe.string(), &app), noErr);
  ProcessSerialNumber psn{};
  ASSERT_EQ(SendAppliCommand(&app, option.data(), Size(option.size()), 'VMxi', kSuiteEventClass, kSuiteLaunchEventID,
                             'TEXT', 'VMxi', &psn),
            noErr);
  const pid_t pid = pid_t(psn.lowLongOfPSN);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (kill(pid, 0) == 0 && waitpid(pid, nullptr, WNOHANG) == 0 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const fs::path install = dir / "home/VEMOPLEX";
  EXPECT_EQ(ReadFile(install / "ReadMe.txt"), ReadFile(dir / "disc/TOOL/Japanese/ReadMe.txt"));
  EXPECT_TRUE(fs::exists(install / "VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN"));
  EXPECT_TRUE(fs::exists(install / "VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR"));  // ticked from the start
}

}  // namespace

namespace {

TEST_F(Wizard, CopyFailuresNamedInWordsAndTheProgramsMissingAreNotSetUp) {
  // Japanese by a double click on the second language (a double click is
  // Next), the administration program ticked, and a copy inside its bundle
  // failing; then English with the default ticks and the disk full at the
  // monitor. The alert names each file and its cause in words; the program
  // that did not arrive whole gets no set-up page, and the end page does not
  // call the installation complete.
  const std::string row = "click-window " + kTitle + " 300 117\n";
  const std::string no = clickWizardAt(300, 224);  // page 150's answer no
  struct Case {
    const char* fail;
    std::string script, alert, finish, missing;
    std::vector<std::string> pages;  // from the Install button on
    const char* language;
  };
  const Case cases[] = {
      {"2:5",
       row + row + "wait 3\n" + kNext + kNext + kTick + kNext + kNext,
       "alert 602: 次のファイルをインストールできませんでした:\rVEMO-ADMIN.app: ディスクの読み書きができませんでした",
       "finish: インストールは完了していません。一部のファイルをインストールできませんでした。",
       "VEMO-ADMIN.app",
       {"148 item 1", "150 item 8", "150 item 1", "145 item 1"},
       "Japanese"},
      {"5:28",
       kNext + kNext + kNext + kNext + kNext,
       "alert 602: These files could not be installed:\rVEMO-MONITOR.app: the disk is full",
       "finish: The installation is not complete: some files could not be installed.",
       "VEMO-MONITOR.app",
       {"148 item 1", "145 item 1"},
       "English"},
  };
  for (const Case& c : cases) {
    ScopedEnv fail("TOOLBOX_FAIL_COPY_AFTER", c.fail);
    fs::remove_all(dir / "home/VEMOPLEX");
    const bool monitorAsked = c.pages.size() > 2;
    ASSERT_EQ(run("wait-window " + kTitle + "\n" + c.script + kNext + "wait 20\nkey Return\nwait 5\n" +
                  (monitorAsked ? no + kNext : clickWizardAt(500, 355)) + (monitorAsked ? kNext : "")),
              0)
        << ReadFile(dir / "trace.txt");
    const std::string trace = ReadFile(dir / "trace.txt");
    EXPECT_NE(trace.find(c.alert), std::string::npos) << trace;
    EXPECT_NE(trace.find(c.finish), std::string::npos) << trace;
    const std::vector<std::string> all = hits();
    ASSERT_GE(all.size(), c.pages.size());
    EXPECT_EQ(std::vector<std::string>(all.end() - std::ptrdiff_t(c.pages.size()), all.end()), c.pages) << trace;
    EXPECT_FALSE(fs::exists(dir / "home/VEMOPLEX" / c.missing));
    EXPECT_EQ(ReadFile(dir / "home/VEMOPLEX/ReadMe.txt"), ReadFile(dir / "disc/TOOL" / c.language / "ReadMe.txt"));
  }
}

}  // namespace

namespace {

TEST_F(Wizard, WithoutLanguageFileTheBundleLanguageAndTheCopyListTitle) {
  fs::remove(dir / "disc/vemoplexinstall.app/Contents/MacOS/Language.INI");
  const fs::path list = dir / "disc/vemoplexinstall.app/Contents/Resources/COPYFILE.INI";
  std::string text = ReadFile(list);
  text.replace(text.find("INSTNAME=VEMOPLEX Installer"), 27, "INSTNAME=Setup From List");
  WriteFile(list, text);
  // A licence longer than its view, which then has a bar to scroll it.
  const fs::path licence = dir / "disc/vemoplexinstall.app/Contents/Resources/English/LICENSE.TXT";
  std::string longer;
  for (int i = 0; i < 40; ++i) longer += "Line " + std::to_string(i) + " of the licence.\n";
  WriteFile(licence, longer);
  const std::string title = "\"Setup From List\"";
  const std::string down = "click-window " + title + " 537 241\nwait 2\n";
  ASSERT_EQ(run("wait-window " + title + "\nclick-window " + title + " 300 355\nwait 3\nclick-window " + title +
                " 500 355\nwait 3\nscreenshot " + (dir / "top.png").string() + "\n" + down + down + down +
                "screenshot " + (dir / "scrolled.png").string() + "\nmenu 129 1\nwait 3\nkey Return\nwait 3\n"),
            0)
      << ReadFile(dir / "trace.txt");
  // Back is hidden on the first page; Next leads to the licence.
  EXPECT_EQ(hits(), (std::vector<std::string>{"146 item 1", "142 item 8", "142 item 8", "142 item 8"}));
  EXPECT_NE(ReadFile(dir / "trace.txt").find("alert 602: Quit the installer?"), std::string::npos);
  // The bar's arrows moved the text: the view's first lines differ.
  auto rows = [&](const char* file) {
    const Shot shot = ReadPNG(dir / file);
    std::vector<UInt32> out;
    if (shot)
      for (int y = 62 + 40; y < 100 + 40; ++y)
        for (int x = 17 + 40; x < 300 + 40; ++x) out.push_back(shot->pixels[std::size_t(y * shot->width + x)]);
    return out;
  };
  const auto top = rows("top.png"), scrolled = rows("scrolled.png");
  ASSERT_FALSE(top.empty());
  EXPECT_NE(top, scrolled);
}

}  // namespace

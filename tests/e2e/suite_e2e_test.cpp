// Every program of the suite that has a window, started from the build the
// way a user starts it, each driven by a script: ending by the system's quit
// request with the screen written at exit and its sockets on loopback,
// every tab strip of the suite shown in English and Japanese, its titles
// whole in their tabs, and every file it reads at start replaced in turn by
// what else may stand at its name.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/dialogs.h"
#include "toolbox/files.h"
#include "toolbox/icons.h"
#include "toolbox/pictures.h"
#include "toolbox/quickdraw.h"
#include "toolbox/resources.h"
#include "toolbox_fixture.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testsupport::ScopedEnv;
using testsupport::WriteFile;

const fs::path kBuild = std::getenv("VEMO_BUILD_DIR") ? std::getenv("VEMO_BUILD_DIR") : ".";

struct Program {
  const char* path;    // below the build folder
  const char* window;  // the title of the window it opens first
  const char* onQuit;  // script lines that answer a quit question, if it asks one
  bool searches;       // it searches for boxes on its own: a datagram socket is open
  const char* search;  // script lines that start a search anew, where one ends soon
};

// clang-format off
const Program kPrograms[] = {
    {"suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN", "VEMO-ADMIN [ User Mode ]",
     "wait-window VEMO-ADMIN 20000\nkey Return\n", true, "key r cmd\n"},
    {"suite/VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR", "Status Monitor", "", false, ""},
    {"suite/VemoHoldManager.app/Contents/MacOS/VemoHoldManager", "VemoHoldManager", "", true, ""},
    {"suite/upcaster.app/Contents/MacOS/upcaster", "upcaster", "", true, ""},
    {"disc/vemoplexinstall.app/Contents/MacOS/vemoplexinstall", "VEMOPLEX Installer", "", false, ""},
    {"disc/setup.app/Contents/MacOS/setup", "VEMOPLEX", "", false, ""},
};
// clang-format on

// The local addresses of the process's Internet sockets ("udp
// 127.0.0.1:4321"), as the system's socket tables list those of its
// descriptors.
std::vector<std::string> boundAddresses(pid_t pid) {
  const fs::path proc = "/proc/" + std::to_string(pid);
  std::set<std::string> inodes;
  std::error_code ec;
  for (const fs::directory_entry& fd : fs::directory_iterator(proc / "fd", ec)) {
    const std::string link = fs::read_symlink(fd.path(), ec).string();
    if (link.starts_with("socket:[")) inodes.insert(link.substr(8, link.size() - 9));
  }
  std::vector<std::string> out;
  for (const char* table : {"udp", "tcp", "udp6", "tcp6"}) {
    std::ifstream in(proc / "net" / table);
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line)) {
      std::istringstream row(line);
      std::string slot, local, field, inode;
      row >> slot >> local;
      for (int i = 0; i < 7; ++i) row >> field;  // remote, state, queues, timers, retransmits, uid, time-out
      row >> inode;
      if (!inodes.contains(inode)) continue;
      const std::size_t colon = local.find(':');
      const unsigned port = unsigned(std::stoul(local.substr(colon + 1), nullptr, 16));
      std::string host = local.substr(0, colon);
      if (host.size() == 8) {  // IPv4, in the machine's byte order
        const std::uint32_t a = ntohl(std::uint32_t(std::stoul(host, nullptr, 16)));
        host = std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 255) + "." + std::to_string(a >> 8 & 255) +
               "." + std::to_string(a & 255);
      }
      out.push_back(std::string(table) + " " + host + ":" + std::to_string(port));
    }
  }
  return out;
}

// One run's surroundings: a fresh home and settings folder, the language,
// and the script (tour.txt) the program follows.
struct Sandbox {
  explicit Sandbox(const char* language) : lang("TOOLBOX_LANG", language) {}
  void Script(const std::string& text) const { WriteFile(dir / "tour.txt", text); }
  testsupport::TempDir dir;
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").c_str()};
  ScopedEnv home{"HOME", (dir / "home").c_str()};
  ScopedEnv lang;
  ScopedEnv script{"TOOLBOX_SCRIPT", (dir / "tour.txt").c_str()};
};

// Starts the program with its standard error on a pipe, in the environment
// given (this process's by default); once the script has logged "ready",
// sends SIGTERM as the system does at shut-down; watch, when given, looks at
// the process before and after. A program still running 20 seconds later,
// or without its "ready" a minute after its start, is killed, as the system
// would. The exit status (128 + a signal that ended it), or -1.
int runUntilReadyThenTerminate(const fs::path& exe, std::string* err,
                               const std::function<void(pid_t, bool sent)>& watch = {}, char* const* envp = environ) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], 2);
  char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv, envp);
  posix_spawn_file_actions_destroy(&fa);
  close(fds[1]);
  bool sent = false;
  auto killAt = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  char buf[512];
  ssize_t n = 1;
  while (rc == 0 && n > 0) {
    pollfd in{fds[0], POLLIN, 0};
    if (poll(&in, 1, 1000) == 0) {
      if (std::chrono::steady_clock::now() > killAt) kill(pid, SIGKILL);
      continue;
    }
    if ((n = read(fds[0], buf, sizeof buf)) <= 0) break;
    err->append(buf, std::size_t(n));
    if (!sent && err->find("ready") != std::string::npos) {
      if (watch) watch(pid, false);
      sent = kill(pid, SIGTERM) == 0;
      if (watch) watch(pid, true);
      killAt = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    }
  }
  close(fds[0]);
  return rc == 0 ? testsupport::WaitExit(pid) : -1;
}

TEST(SuiteEndToEnd, EachProgramQuitBySystemRequestEndsCleanlyAndWritesItsScreen) {
  for (const Program& p : kPrograms) {
    SCOPED_TRACE(p.path);
    const Sandbox box("en");
    const fs::path shot = box.dir / "exit.png";
    ScopedEnv screenshot("TOOLBOX_SCREENSHOT", shot.c_str());
    box.Script("wait-window \"" + std::string(p.window) + "\" 20000\n" + p.search + "wait 3\nlog ready\n" + p.onQuit);
    std::string err;
    // Confined to loopback, every socket it opens is bound there; one that
    // searches is looked at once its search is out.
    std::vector<std::string> sockets;
    const auto lookAtSockets = [&](pid_t pid, bool sent) {
      for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5); !sent;) {
        sockets = boundAddresses(pid);
        const bool datagram = std::ranges::any_of(sockets, [](const std::string& s) { return s.starts_with("udp"); });
        if (datagram || !p.searches || std::chrono::steady_clock::now() > end) break;
        usleep(2000);
      }
    };
    EXPECT_EQ(runUntilReadyThenTerminate(kBuild / p.path, &err, lookAtSockets), 0) << err;
    if (p.searches) {
      EXPECT_TRUE(std::ranges::any_of(sockets, [](const std::string& s) { return s.starts_with("udp "); }))
          << "no search under way";
    }
    for (const std::string& s : sockets)
      EXPECT_TRUE(s.find(" 127.") != std::string::npos) << s << " is not on loopback";

    const auto image = testsupport::ReadPNG(shot);
    if (!image) {
      ADD_FAILURE() << "no screen written at exit\n" << err;
      continue;
    }
    // The menu bar, drawn at exit with the fonts of its titles: the right
    // end bare, the program's name in dark ink at the left.
    EXPECT_EQ(testsupport::RgbAt(*image, image->width - 5, 5)[0], 0xF2);
    int ink = 0;
    for (int y = 2; y < 16; ++y)
      for (int x = 10; x < 100; ++x) ink += testsupport::RgbAt(*image, x, y)[0] < 0x60;
    EXPECT_GT(ink, 20);
  }
}

TEST(SuiteEndToEnd, ProgramInAModalDialogSleepsThereAndEndsOnTheSystemQuitRequest) {
  struct Case {
    const char* path;
    const char* window;
    const char* open;  // script lines that leave it in a modal dialog
  };
  // clang-format off
  const Case kCases[] = {
      // The alert that asks whether to quit.
      {"disc/vemoplexinstall.app/Contents/MacOS/vemoplexinstall", "VEMOPLEX Installer", "menu 129 1\n"},
      // The About dialog. Its own quit asks first; from inside a dialog it
      // cannot ask.
      {"suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN", "VEMO-ADMIN [ User Mode ]", "menu 128 1\n"},
  };
  // clang-format on
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    const Sandbox box("en");
    // The program ends from inside its dialog: what the dialog's callers
    // hold is never given back.
    ScopedEnv leaks("ASAN_OPTIONS", "detect_leaks=0");
    const fs::path shot = box.dir / "exit.png";
    ScopedEnv screenshot("TOOLBOX_SCREENSHOT", shot.c_str());
    box.Script("wait-window \"" + std::string(c.window) + "\" 20000\nwait 3\n" + c.open + "wait 3\nlog ready\n");
    std::string err;
    // Processor seconds used in a second in the dialog, and in half a second
    // after the request (which ends the program a little later).
    double idle = -1, afterTerm = -1;
    auto termSent = std::chrono::steady_clock::now();
    const int status = runUntilReadyThenTerminate(kBuild / c.path, &err, [&](pid_t pid, bool sent) {
      if (sent) {
        termSent = std::chrono::steady_clock::now();
        afterTerm = testsupport::CpuSecondsOver(pid, 0.5);
      } else {
        idle = testsupport::CpuSecondsOver(pid, 1.0);
      }
    });
    EXPECT_EQ(status, 0) << err;
    EXPECT_TRUE(idle >= 0 && idle < 0.3) << idle;
    EXPECT_TRUE(afterTerm >= 0 && afterTerm < 0.2) << afterTerm;
    EXPECT_LT(std::chrono::steady_clock::now() - termSent, std::chrono::seconds(10));
    EXPECT_NE(err.find("the quit request found the program in a loop that cannot take it"), std::string::npos) << err;
    EXPECT_TRUE(fs::exists(shot)) << err;
  }
}

TEST(SuiteEndToEnd, EachMainWindowCollapsesByItsBoxAndComesBackWholeByASecondClick) {
  struct Case {
    const char* path;
    const char* window;
    const char* lock;  // script lines that stand a movable dialog over the window, if the program has one
    int lockBeeps;     // the beeps a click on the window's box then gives
  };
  // clang-format off
  const std::string next = "click-window \"VEMOPLEX Installer\" 500 355\nwait 3\n";
  const std::string toSearchSettings = next + next + next + next + next + next + "wait 20\n" + next +
                                       "click-window \"VEMOPLEX Installer\" 230 295\n";
  const Case kCases[] = {
      {"suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN", "VEMO-ADMIN [ User Mode ]", "menu 131 3\n", 1},
      {"suite/VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR", "Status Monitor", "click-window \"Status Monitor\" 70 315\n", 1},
      // A press on a window under a dialog brings the dialog forward instead.
      {"suite/VemoHoldManager.app/Contents/MacOS/VemoHoldManager", "VemoHoldManager", "click-window VemoHoldManager 364 398\n", 0},
      {"suite/upcaster.app/Contents/MacOS/upcaster", "upcaster", "menu File Settings...\n", 1},
      {"disc/vemoplexinstall.app/Contents/MacOS/vemoplexinstall", "VEMOPLEX Installer", toSearchSettings.c_str(), 1},
      {"disc/setup.app/Contents/MacOS/setup", "VEMOPLEX", nullptr, 0},
  };
  // clang-format on
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    const Sandbox box("en");
    fs::create_directories(box.dir.path() / "home");
    ScopedEnv leaks("ASAN_OPTIONS", "detect_leaks=0");
    const std::string w = "\"" + std::string(c.window) + "\"";
    const fs::path collapsed = box.dir / "collapsed.png", whole = box.dir / "whole.png";
    const auto clickBox = [&](const std::string& expect) {
      return "click-box " + w + " collapse\nwait 3\nexpect-collapsed " + w + " " + expect + "\n";
    };
    std::string script = "wait-window " + w + " 20000\nwait 3\n" + clickBox("yes") + "window-shot " + w + " " +
                         collapsed.string() + "\n" + clickBox("no") + "window-shot " + w + " " + whole.string() +
                         "\nexpect-beeps 0\n";
    // With a movable dialog over it, the window is inactive: its box is not
    // drawn, and a click where it stood is refused as any click there is.
    if (c.lock) script += c.lock + ("wait 5\n" + clickBox("no")) + "expect-beeps " + std::to_string(c.lockBeeps) + "\n";
    box.Script(script + "exit 0\n");
    std::string err;
    const int status = testsupport::RunProgram({(kBuild / c.path).string()}, &err);
    EXPECT_EQ(status, 0) << err;
    if (status != 0) continue;
    // Collapsed, the window is its title bar and the border around it.
    const auto shut = testsupport::ReadPNG(collapsed), open = testsupport::ReadPNG(whole);
    if (!shut || !open) {
      ADD_FAILURE() << "no window shot";
      continue;
    }
    EXPECT_EQ(shut->height, 22);
    EXPECT_EQ(shut->width, open->width);
    EXPECT_GT(open->height, 100);
  }
}

// A window's tab strips as the shot shows them: each tab is found by the
// fill of the tab pictures (the selected tab's and the others'), and its
// title is whole when it keeps off the tab's top border and a row of fill
// stays clear below it, inside the part of the tab that shows (the page
// frame covers the tab's foot).
struct TabProbe {
  int tabs = 0;
  std::string cut;  // "x..x rows y..y of fill, ink y..y" for each cut tab
};

TabProbe probeTabs(const tb::Image& im) {
  using RGB = std::array<int, 3>;
  auto fill = [&](int x, int y) {
    const RGB c = testsupport::RgbAt(im, x, y);
    return c == RGB{0xFF, 0xF0, 0xA0} || c == RGB{0xB0, 0xC0, 0xD0};
  };
  auto ink = [&](int x, int y) {
    const RGB c = testsupport::RgbAt(im, x, y);
    return !fill(x, y) && c != RGB{0x20, 0x40, 0x80} && c[0] + c[1] + c[2] < 480;
  };
  TabProbe probe;
  for (int y = 0; y < im.height;) {
    // A band of rows that hold tab fill.
    auto fillIn = [&](int row) {
      int n = 0;
      for (int x = 0; x < im.width; ++x) n += fill(x, row);
      return n;
    };
    if (fillIn(y) < 6) {
      ++y;
      continue;
    }
    int bottom = y;
    while (bottom + 1 < im.height && fillIn(bottom + 1) >= 6) ++bottom;
    // Each run of columns with fill in the band is one tab (a border
    // column parts two tabs).
    for (int x = 0; x < im.width;) {
      auto filled = [&](int col) {
        for (int row = y; row <= bottom; ++row)
          if (fill(col, row)) return true;
        return false;
      };
      if (!filled(x)) {
        ++x;
        continue;
      }
      const int left = x;
      while (x < im.width && filled(x)) ++x;
      int top = bottom, foot = y, inkTop = bottom + 1, inkFoot = y - 1;
      for (int row = y; row <= bottom; ++row)
        for (int col = left; col < x; ++col) {
          if (fill(col, row)) top = std::min(top, row), foot = std::max(foot, row);
          if (ink(col, row)) inkTop = std::min(inkTop, row), inkFoot = std::max(inkFoot, row);
        }
      // A title cut at its head runs over the tab's top border.
      bool overBorder = false;
      for (int col = left; col < x && top > 0; ++col) overBorder = overBorder || ink(col, top - 1);
      ++probe.tabs;
      if (inkFoot - inkTop < 4 || overBorder || inkFoot >= foot)
        probe.cut += std::to_string(left) + ".." + std::to_string(x) + " rows " + std::to_string(top) + ".." +
                     std::to_string(foot) + " of fill, ink " + std::to_string(inkTop) + ".." + std::to_string(inkFoot) +
                     "\n";
    }
    y = bottom + 1;
  }
  return probe;
}

struct Shot {
  std::string window;
  int tabs;
};

struct TabCase {
  const char* path;
  const char* lang;
  std::string script;  // with "SHOT n" where window shot n is taken
  std::vector<Shot> shots;
};

// Runs each case's program by its script, ended by the script (its windows
// still open), and probes every shot's tabs.
void checkTabStrips(const std::vector<TabCase>& cases) {
  for (const TabCase& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " in " + c.lang);
    const Sandbox box(c.lang);
    const fs::path& dir = box.dir.path();
    fs::create_directories(dir / "home");
    ScopedEnv leaks("ASAN_OPTIONS", "detect_leaks=0");
    std::string script = c.script;
    for (std::size_t n = 0; n < c.shots.size(); ++n) {
      const std::string mark = "SHOT " + std::to_string(n) + "\n";
      const auto at = script.find(mark);
      ASSERT_NE(at, std::string::npos) << mark;
      script.replace(at, mark.size(),
                     "wait-window \"" + c.shots[n].window + "\" 20000\nwait 5\nwindow-shot \"" + c.shots[n].window +
                         "\" " + (dir / (std::to_string(n) + ".png")).string() + "\n");
    }
    box.Script(script + "exit 0\n");
    std::string err;
    ASSERT_EQ(testsupport::RunProgram({(kBuild / c.path).string()}, &err), 0) << err;
    for (std::size_t n = 0; n < c.shots.size(); ++n) {
      SCOPED_TRACE(c.shots[n].window);
      const auto image = testsupport::ReadPNG(dir / (std::to_string(n) + ".png"));
      ASSERT_TRUE(image);
      const TabProbe probe = probeTabs(*image);
      EXPECT_EQ(probe.tabs, c.shots[n].tabs);
      EXPECT_EQ(probe.cut, "");
    }
  }
}

TEST(SuiteEndToEnd, MonitorTabTitlesFitTheirTabs) {
  // The status window, its Options dialog (Options), and the search
  // settings that dialog opens (Search Settings...).
  const std::string path = "suite/VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR";
  auto tour = [](const std::string& status, const std::string& options) {
    return "SHOT 0\nclick-window \"" + status + "\" 70 315\nSHOT 1\nclick-window \"" + options + "\" 218 215\nSHOT 2\n";
  };
  checkTabStrips({
      {path.c_str(),
       "en",
       tour("Status Monitor", "Options"),
       {{"Status Monitor", 3}, {"Options", 1}, {"Search Settings", 2}}},
      {path.c_str(), "ja", tour("ステータスモニタ", "設定"), {{"ステータスモニタ", 3}, {"設定", 1}, {"検索設定", 2}}},
  });
}

TEST(SuiteEndToEnd, AdministrationSearchSettingsTabTitlesFitTheirTabs) {
  const std::string path = "suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN";
  auto tour = [](const std::string& main) { return "wait-window \"" + main + "\" 20000\nmenu 131 3\nSHOT 0\n"; };
  checkTabStrips({
      {path.c_str(), "en", tour("VEMO-ADMIN [ User Mode ]"), {{"Search Settings", 3}}},
      {path.c_str(), "ja", tour("VEMO-ADMIN [ ユーザーモード ]"), {{"検索の設定", 3}}},
  });
}

TEST(SuiteEndToEnd, HeldJobManagerTabTitlesFitTheirTabs) {
  // The main window and its Options dialog (Options...).
  const std::string path = "suite/VemoHoldManager.app/Contents/MacOS/VemoHoldManager";
  const std::string tour = "SHOT 0\nclick-window VemoHoldManager 364 398\nSHOT 1\n";
  checkTabStrips({
      {path.c_str(), "en", tour, {{"VemoHoldManager", 3}, {"Options", 2}}},
      {path.c_str(), "ja", tour, {{"VemoHoldManager", 3}, {"オプション", 2}}},
  });
}

TEST(SuiteEndToEnd, InstallerSearchSettingsTabTitlesFitTheirTabs) {
  // Through the wizard with the tools as they stand ticked, the copy, then
  // the printer page's settings button.
  const std::string path = "disc/vemoplexinstall.app/Contents/MacOS/vemoplexinstall";
  const std::string title = "\"VEMOPLEX Installer\"";
  auto click = [&](int x, int y) {
    return "click-window " + title + " " + std::to_string(x) + " " + std::to_string(y) + "\nwait 3\n";
  };
  const std::string next = click(500, 355);
  const std::string toPrinters = next + next + next + next + next + next + "wait 20\n" + next;
  const std::string start = "wait-window " + title + " 20000\n";
  checkTabStrips({
      {path.c_str(), "en", start + toPrinters + click(230, 295) + "SHOT 0\n", {{"Search Settings", 1}}},
      {path.c_str(), "ja", start + click(300, 117) + toPrinters + click(230, 295) + "SHOT 0\n", {{"検索の設定", 1}}},
  });
}

}  // namespace

namespace {

class AlertIcons : public testsupport::ToolboxFixture {};

TEST_F(AlertIcons, EveryProgramsAlertShowsTheStopNoteOrCautionIcon) {
  // Each alert of each program as it opens: the picture in its icon item
  // must be the system's stop, note or caution icon, as the alert's role
  // asks (messages a note, questions and refusals a caution, failures to
  // reach a box a stop).
  struct Alerts {
    const char* rsrc;
    std::vector<std::pair<short, short>> icons;  // alert, icon id
  };
  const Alerts programs[] = {
      {"suite/VEMO-ADMIN.app/Contents/Resources/VEMO-ADMIN.rsrc",
       {{601, kNoteIcon}, {602, kCautionIcon}, {603, kStopIcon}, {604, kCautionIcon}, {607, kCautionIcon}}},
      {"suite/VEMO-MONITOR.app/Contents/Resources/VEMO-MONITOR.rsrc",
       {{601, kNoteIcon}, {602, kCautionIcon}, {603, kCautionIcon}, {605, kCautionIcon}, {612, kNoteIcon}}},
      {"suite/upcaster.app/Contents/Resources/upcaster.rsrc",
       {{601, kCautionIcon}, {602, kCautionIcon}, {603, kNoteIcon}}},
      {"disc/vemoplexinstall.app/Contents/Resources/vemoplexinstall.rsrc", {{602, kCautionIcon}, {603, kNoteIcon}}},
      {"disc/setup.app/Contents/Resources/setup.rsrc", {{602, kCautionIcon}}},
  };
  for (const Alerts& program : programs) {
    FSSpec spec;
    ASSERT_EQ(tb::PathToSpec((kBuild / program.rsrc).string(), &spec), noErr) << program.rsrc;
    const SInt16 file = FSpOpenResFile(&spec, fsRdPerm);
    ASSERT_NE(file, -1) << program.rsrc;
    UseResFile(file);
    for (auto [id, icon] : program.icons) {
      SCOPED_TRACE(std::string(program.rsrc) + " alert " + std::to_string(id));
      DialogRef d = GetNewDialog(id, nullptr, reinterpret_cast<WindowRef>(-1));
      ASSERT_TRUE(d);
      ShowWindow(GetDialogWindow(d));
      SetPortDialogPort(d);
      DrawDialog(d);
      Rect at{};
      for (DialogItemIndex i = 1; i <= CountDITL(d); ++i) {
        DialogItemType kind;
        Handle h;
        Rect r;
        GetDialogItem(d, i, &kind, &h, &r);
        if ((kind & 127) == kIconDialogItem) at = r;
      }
      ASSERT_FALSE(EmptyRect(&at)) << "no icon item";
      // The port's pixels against each alert icon laid on white: the one
      // it matches (nearly every pixel within a few levels).
      short matched = -1;
      for (short kind : {kStopIcon, kNoteIcon, kCautionIcon}) {
        const auto want = tb::AlertIconImage(kind);
        ASSERT_TRUE(want && want->width == at.right - at.left && want->height == at.bottom - at.top);
        int same = 0;
        for (int y = 0; y < want->height; ++y)
          for (int x = 0; x < want->width; ++x) {
            const std::size_t p = std::size_t(y * want->width + x);
            const int a = want->alpha.empty() ? 255 : want->alpha[p];
            UInt8 r, g, b, sr, sg, sb;
            tb::UnpackPixel(want->pixels[p], r, g, b);
            tb::UnpackPixel(tb::PortPixel(GetDialogPort(d), at.left + x, at.top + y), sr, sg, sb);
            auto over = [&](int c) { return (c * a + 255 * (255 - a)) / 255; };
            same += std::abs(over(r) - sr) <= 8 && std::abs(over(g) - sg) <= 8 && std::abs(over(b) - sb) <= 8;
          }
        if (same * 100 >= want->width * want->height * 95) matched = kind;
      }
      EXPECT_EQ(matched, icon);
      DisposeDialog(d);
    }
    CloseResFile(file);
  }
}

}  // namespace

// ---- Files read at start that are not what they seem -------------------------

namespace {

// One program run among others side by side: its environment, and what came
// of it.
struct Launch {
  std::string exe;
  std::vector<std::string> env;  // NAME=value, the whole of it
  int status = -1;
  double toWindow = -1;      // seconds from its start to the script's "ready"
  double toEnd = -1;         // and to its end
  long long bytesRead = -1;  // what it had read by then
  std::string err;
};

// The bytes a running process has read so far (rchar), -1 when unknown.
long long bytesReadBy(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/io");
  std::string key;
  long long value;
  while (in >> key >> value)
    if (key == "rchar:") return value;
  return -1;
}

// Runs the launches as runUntilReadyThenTerminate does, `parallel` at a time.
void runSideBySide(std::vector<Launch>& launches, int parallel) {
  std::atomic<std::size_t> next = 0;
  std::vector<std::thread> workers;
  for (int w = 0; w < parallel; ++w)
    workers.emplace_back([&] {
      for (std::size_t i; (i = next++) < launches.size();) {
        Launch& l = launches[i];
        std::vector<char*> envp;
        for (std::string& e : l.env) envp.push_back(e.data());
        envp.push_back(nullptr);
        const auto start = std::chrono::steady_clock::now();
        const auto since = [&] {
          return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
        l.status = runUntilReadyThenTerminate(
            l.exe, &l.err,
            [&](pid_t pid, bool sent) {
              if (sent) return;
              l.toWindow = since();
              l.bytesRead = bytesReadBy(pid);
            },
            envp.data());
        l.toEnd = since();
      }
    });
  for (std::thread& w : workers) w.join();
}

// What an item of a folder tree is, links not followed; a folder's time
// and size change with its names and are left out. The home and runtime
// folders start empty and belong to the program.
struct Item {
  mode_t mode = 0;
  off_t size = 0;
  std::int64_t mtime = 0;
  std::string target;
  bool operator==(const Item&) const = default;
};

std::map<std::string, Item> snapshot(const fs::path& root) {
  std::map<std::string, Item> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const std::string name = it->path().lexically_relative(root).string();
    if (name == "home" || name == "run" || name == "tour.txt") {
      it.disable_recursion_pending();
      continue;
    }
    struct stat st;
    if (lstat(it->path().c_str(), &st) != 0) continue;
    Item item{st.st_mode, S_ISDIR(st.st_mode) ? 0 : st.st_size,
              S_ISDIR(st.st_mode) ? 0 : std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, ""};
    if (S_ISLNK(st.st_mode)) item.target = fs::read_symlink(it->path(), ec).string();
    out[name] = item;
  }
  return out;
}

// A program and the files it reads at start, below a sandbox laid out as
// the build is (suite/, disc/) with its settings folder (config/).
struct StartFiles {
  std::string exe;
  std::string window;
  std::string onQuit;
  std::vector<std::string> reads;
  std::vector<std::string> own;  // what it may write (some of them it reads too)
  // Files without which it ends at once, without a window, as it should.
  std::vector<std::string> needed = {};
  // Its preference file, which it makes anew where no file stands at the name.
  std::string remade = {};
};

// The printer the monitor opens at start: the pointer file names its
// status-data file.
const char kStatusName[] = "VEMOMON-00;80;92;0A;0B;0C";

std::string statusRecord() {
  std::string r(184, '\0');
  r[0] = 1;                              // in use
  r[3] = 1;                              // hash
  std::memcpy(&r[4], "Front desk", 10);  // name
  std::memcpy(&r[36], "QSV-D", 5);       // model text
  std::memcpy(&r[56], "\x00\x80\x92\x0A\x0B\x0C", 6);
  std::memcpy(&r[62], "\x4C\x55", 2);          // JCP port 19541
  std::memcpy(&r[66], "\x7F\x00\x00\x01", 4);  // 127.0.0.1
  r[179] = 2;                                  // found over TCP/IP
  return r;
}

// The bundle of exe mirrored into the sandbox (folders made, every file a
// link to the build's), the shared files beside it and the settings.
void layOut(const fs::path& box, const std::string& exe) {
  const fs::path bundle = fs::path(exe).parent_path().parent_path().parent_path();
  for (const auto& e : fs::recursive_directory_iterator(kBuild / bundle)) {
    const fs::path at = box / bundle / fs::relative(e.path(), kBuild / bundle);
    if (e.is_directory())
      fs::create_directories(at);
    else
      fs::create_symlink(e.path(), at);
  }
  std::string pointer(256, '\0');
  pointer[0] = char(sizeof kStatusName - 1);
  std::memcpy(&pointer[1], kStatusName, sizeof kStatusName - 1);
  WriteFile(box / "suite/MONITOR Data", pointer);
  WriteFile(box / "suite" / kStatusName, statusRecord());
  WriteFile(box / "suite/Brdadr", "[SYSTEM]\r\nUDP00=127.0.0.1\r\n");
  WriteFile(box / "suite/ConfigData", "[SYSTEM]\r\nUDP00=127.0.0.1\r\n");
  WriteFile(box / "config/vemo/appletalk.conf",
            "network = " + std::to_string(pboxemu::PrivateAppleTalkNetwork()) + "\n");
  fs::create_directories(box / "home");
  fs::create_directories(box / "run");
}

Launch launchIn(const fs::path& box, const StartFiles& p) {
  WriteFile(box / "tour.txt", "wait-window \"" + p.window + "\" 25000\nwait 3\nlog ready\n" + p.onQuit);
  const std::map<std::string, std::string> own = {
      {"XDG_CONFIG_HOME", (box / "config").string()}, {"HOME", (box / "home").string()},
      {"XDG_RUNTIME_DIR", (box / "run").string()},    {"TOOLBOX_SCRIPT", (box / "tour.txt").string()},
      {"TOOLBOX_APP_PATH", (box / p.exe).string()},   {"TOOLBOX_LANG", "en"},
      {"TOOLBOX_PORTMAP", pboxemu::PrivatePortMap()},
  };
  Launch l;
  l.exe = (box / p.exe).string();
  for (char** e = environ; *e; ++e) {
    const std::string var = *e;
    const std::string name = var.substr(0, var.find('='));
    if (!own.contains(name) && name != "TOOLBOX_SCREENSHOT" && name != "TOOLBOX_APPLETALK_CONF") l.env.push_back(var);
  }
  for (const auto& [name, value] : own) l.env.push_back(name + "=" + value);
  return l;
}

}  // namespace

TEST(SuiteEndToEnd, FilesReadAtStartThatAreNotWhatTheySeemNeitherHoldNorChangeTheProgram) {
  const std::string prefs = "config/vemo/Preferences";
  const std::string admin = "suite/VEMO-ADMIN.app/Contents/", monitor = "suite/VEMO-MONITOR.app/Contents/",
                    hold = "suite/VemoHoldManager.app/Contents/", upc = "suite/upcaster.app/Contents/",
                    inst = "disc/vemoplexinstall.app/Contents/", setup = "disc/setup.app/Contents/";
  std::vector<StartFiles> programs = {
      {admin + "MacOS/VEMO-ADMIN",
       "VEMO-ADMIN [ User Mode ]",
       "wait-window VEMO-ADMIN 20000\nkey Return\n",
       {admin + "PkgInfo", admin + "Resources/English/Admin.ini", admin + "Resources/en.lproj/Localizable.strings",
        prefs + "/VEMO-ADMIN Preferences", prefs + "/VEMO-ADMIN Mode", "suite/ConfigData",
        "config/vemo/appletalk.conf"},
       {prefs, prefs + "/VEMO-ADMIN Preferences"},
       {},
       prefs + "/VEMO-ADMIN Preferences"},
      {monitor + "MacOS/VEMO-MONITOR",
       "Status Monitor*",
       "",
       {monitor + "PkgInfo", monitor + "Resources/English/Monitor.ini", monitor + "Resources/English/Popmon.ini",
        monitor + "Resources/SOUND/BEEP.WAV", monitor + "Resources/en.lproj/Localizable.strings",
        prefs + "/VEMO-MONITOR Preferences", "suite/MONITOR Data", "suite/" + std::string(kStatusName),
        "suite/VEMO-MONITOR-00;80;92;0A;0B;0C", "suite/Brdadr", "config/vemo/appletalk.conf"},
       {prefs, prefs + "/VEMO-MONITOR Preferences", "suite/MONITOR Data", "suite/" + std::string(kStatusName),
        "suite/VEMO-MONITOR-00;80;92;0A;0B;0C"},
       {},
       prefs + "/VEMO-MONITOR Preferences"},
      {hold + "MacOS/VemoHoldManager",
       "VemoHoldManager",
       "",
       {hold + "PkgInfo", hold + "Resources/English/Hmgstr.ini", hold + "Resources/Holdmng.ini",
        hold + "Resources/Logo.bmp", hold + "Resources/en.lproj/Localizable.strings", prefs + "/VemoHoldManagerPrefs"},
       {prefs, prefs + "/VemoHoldManagerPrefs"}},
      {upc + "MacOS/upcaster",
       "upcaster",
       "",
       {upc + "PkgInfo", upc + "Resources/English/ftpup.ini", upc + "Resources/en.lproj/Localizable.strings",
        prefs + "/upcaster Preferences", "suite/ConfigData"},
       {prefs, prefs + "/upcaster Preferences"},
       {},
       prefs + "/upcaster Preferences"},
      {inst + "MacOS/vemoplexinstall", "VEMOPLEX Installer", "", {inst + "PkgInfo", inst + "MacOS/Language.INI"}, {}},
      {setup + "MacOS/setup",
       "VEMOPLEX",
       "",
       {setup + "PkgInfo", setup + "Resources/UserLangu.ini"},
       {},
       {setup + "Resources/UserLangu.ini", setup + "Resources/pictures/cont.bmp",
        setup + "Resources/pictures/cont2.bmp"}},
  };
  // Every picture and menu file of the disc menu's.
  for (const auto& e : fs::recursive_directory_iterator(kBuild / setup / "Resources"))
    if (e.path().extension() == ".bmp" || e.path().filename() == "MENU.INI")
      programs.back().reads.push_back(fs::relative(e.path(), kBuild).string());

  // New files are the user's own.
  const mode_t mask = 027;
  const mode_t savedMask = umask(mask);
  std::vector<std::unique_ptr<testsupport::TempDir>> boxes;
  auto sandbox = [&](const StartFiles& p) {
    boxes.push_back(std::make_unique<testsupport::TempDir>());
    layOut(boxes.back()->path(), p.exe);
    return boxes.back()->path();
  };

  // Each program as built, twice: how long it takes to its window here and
  // now, and the good files it makes.
  std::vector<Launch> clean;
  std::vector<fs::path> cleanBox;
  for (int round = 0; round < 2; ++round)
    for (const StartFiles& p : programs) {
      cleanBox.push_back(sandbox(p));
      clean.push_back(launchIn(cleanBox.back(), p));
    }
  runSideBySide(clean, 4);
  std::map<std::string, double> slowest;
  for (std::size_t i = 0; i < clean.size(); ++i) {
    const StartFiles& p = programs[i % programs.size()];
    ASSERT_EQ(clean[i].status, 0) << p.exe << "\n" << clean[i].err;
    ASSERT_GE(clean[i].toWindow, 0) << p.exe << "\n" << clean[i].err;
    slowest[p.exe] = std::max(slowest[p.exe], clean[i].toWindow);
  }

  struct Case {
    const StartFiles* program;
    std::string file;
    testsupport::Hostile kind;
    fs::path box;
    std::map<std::string, Item> before;
  };
  std::vector<Case> cases;
  std::vector<Launch> runs;
  for (std::size_t i = 0; i < programs.size(); ++i) {
    const StartFiles& p = programs[i];
    for (const std::string& file : p.reads) {
      const std::string good = testsupport::ReadFile(cleanBox[i] / file);
      for (testsupport::Hostile kind : testsupport::kHostileKinds) {
        const fs::path box = sandbox(p);
        testsupport::MakeHostile(box / file, kind, good);
        cases.push_back({&p, file, kind, box, snapshot(box)});
        runs.push_back(launchIn(box, p));
      }
    }
  }
  runSideBySide(runs, 4);
  umask(savedMask);

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const Launch& r = runs[i];
    SCOPED_TRACE(c.program->exe + " with " + c.file + " " + testsupport::HostileName(c.kind));
    EXPECT_EQ(r.status, 0) << r.err;
    // A picture too long is read for what its header names; a text file too
    // long is none.
    const bool unreadable = c.kind != testsupport::Hostile::Oversize || c.file.ends_with(".ini");
    if (unreadable && std::ranges::find(c.program->needed, c.file) != c.program->needed.end()) {
      EXPECT_EQ(r.toWindow, -1) << "a window without a file it needs\n" << r.err;
      EXPECT_LT(r.toEnd, slowest[c.program->exe] + 2.0);
    } else {
      EXPECT_GE(r.toWindow, 0) << "no window\n" << r.err;
      EXPECT_LT(r.toWindow, slowest[c.program->exe] + 2.0);
      // Nothing read without end, nor a gigabyte file to its end.
      EXPECT_TRUE(r.bytesRead >= 0 && r.bytesRead < (64 << 20)) << r.bytesRead;
    }
    // Only its own files change, and what it writes is a regular file of
    // its own, whatever stood at the name before.
    const auto after = snapshot(c.box);
    if (c.file == c.program->remade && c.kind != testsupport::Hostile::Directory) {
      EXPECT_TRUE(after.contains(c.file) && S_ISREG(after.at(c.file).mode)) << "not made anew";
    }
    std::set<std::string> names;
    for (const auto& [name, item] : c.before) names.insert(name);
    for (const auto& [name, item] : after) names.insert(name);
    for (const std::string& name : names) {
      const auto was = c.before.find(name), is = after.find(name);
      if (was != c.before.end() && is != after.end() && was->second == is->second) continue;
      if (std::ranges::find(c.program->own, name) == c.program->own.end()) {
        ADD_FAILURE() << name << " changed";
        continue;
      }
      if (is == after.end()) {
        EXPECT_TRUE(S_ISREG(was->second.mode)) << name << " removed";
        continue;
      }
      if (S_ISDIR(is->second.mode) && was == c.before.end()) {
        EXPECT_EQ(is->second.mode & 07777, 0777 & ~mask) << name;
        continue;
      }
      EXPECT_TRUE(S_ISREG(is->second.mode)) << name;
      EXPECT_EQ(is->second.mode & 07777, 0666 & ~mask) << name;
    }
  }
}

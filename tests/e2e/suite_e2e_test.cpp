// Every program of the suite that has a window, started from the build the
// way a user starts it, each driven by a script: ending by the system's quit
// request with the screen written at exit.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "test_support.h"
#include "toolbox/pictures.h"

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
};

// clang-format off
const Program kPrograms[] = {
    {"suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN", "VEMO-ADMIN [ User Mode ]",
     "wait-window VEMO-ADMIN 20000\nkey Return\n"},
    {"suite/VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR", "Status Monitor", ""},
    {"suite/VemoHoldManager.app/Contents/MacOS/VemoHoldManager", "VemoHoldManager", ""},
    {"suite/upcaster.app/Contents/MacOS/upcaster", "upcaster", ""},
    {"disc/vemoplexinstall.app/Contents/MacOS/vemoplexinstall", "VEMOPLEX Installer", ""},
    {"disc/setup.app/Contents/MacOS/setup", "VEMOPLEX", ""},
};
// clang-format on

// Starts the program with its standard error on a pipe; once the script has
// logged "ready", sends SIGTERM as the system does at shut-down. The exit
// status (128 + a signal that ended it), or -1.
int runUntilReadyThenTerminate(const fs::path& exe, std::string* err) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], 2);
  char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&fa);
  close(fds[1]);
  bool sent = false;
  char buf[512];
  ssize_t n;
  while (rc == 0 && (n = read(fds[0], buf, sizeof buf)) > 0) {
    err->append(buf, std::size_t(n));
    if (!sent && err->find("ready") != std::string::npos) sent = kill(pid, SIGTERM) == 0;
  }
  close(fds[0]);
  return rc == 0 ? testsupport::WaitExit(pid) : -1;
}

TEST(SuiteEndToEnd, EachProgramQuitBySystemRequestEndsCleanlyAndWritesItsScreen) {
  for (const Program& p : kPrograms) {
    SCOPED_TRACE(p.path);
    testsupport::TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
    ScopedEnv home("HOME", (dir / "home").c_str());
    ScopedEnv lang("TOOLBOX_LANG", "en");
    const fs::path shot = dir / "exit.png";
    ScopedEnv screenshot("TOOLBOX_SCREENSHOT", shot.c_str());
    WriteFile(dir / "tour.txt", "wait-window \"" + std::string(p.window) + "\" 20000\nwait 3\nlog ready\n" + p.onQuit);
    ScopedEnv script("TOOLBOX_SCRIPT", (dir / "tour.txt").c_str());
    std::string err;
    EXPECT_EQ(runUntilReadyThenTerminate(kBuild / p.path, &err), 0) << err;

    const std::string png = testsupport::ReadFile(shot);
    const auto image = tb::DecodePNG(std::span<const UInt8>(reinterpret_cast<const UInt8*>(png.data()), png.size()));
    if (!image) {
      ADD_FAILURE() << "no screen written at exit\n" << err;
      continue;
    }
    // The menu bar, drawn at exit with the fonts of its titles: the right
    // end bare, the program's name in dark ink at the left.
    auto rgb = [&](int x, int y) {
      return reinterpret_cast<const UInt8*>(&image->pixels[std::size_t(y * image->width + x)]);
    };
    EXPECT_EQ(rgb(image->width - 5, 5)[1], 0xF2);
    int ink = 0;
    for (int y = 2; y < 16; ++y)
      for (int x = 10; x < 100; ++x) ink += rgb(x, y)[1] < 0x60;
    EXPECT_GT(ink, 20);
  }
}

}  // namespace

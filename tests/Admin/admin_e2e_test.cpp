// The real VEMO-ADMIN, driven by a script, against the emulator's command
// line program in a process of its own: the boxes of the scene are listed,
// and the status monitor (a stand-in that keeps what it was handed) is
// started with the launch record of the selected box.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "admin_harness.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/pictures.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

std::string dotted(UInt32 a) {
  char text[20];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
  return text;
}

std::string unhex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

TEST(AdminEndToEnd, ListsTheBoxesAndStartsTheMonitorForTheSelectedOne) {
  const std::string build = std::getenv("VEMO_BUILD_DIR");
  testsupport::TempDir dir;
  testsupport::ScopedEnv ports("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str());

  // A suite of its own: the real program (through links) and a stand-in
  // monitor that writes down the launch event it was started with.
  const fs::path real = fs::path(build) / "suite/VEMO-ADMIN.app/Contents";
  const fs::path admin = dir / "suite/VEMO-ADMIN.app/Contents";
  fs::create_directories(admin / "MacOS");
  fs::create_symlink(real / "MacOS/VEMO-ADMIN", admin / "MacOS/VEMO-ADMIN");
  fs::create_directory_symlink(real / "Resources", admin / "Resources");
  WriteFile(admin / "PkgInfo", "APPLVMxa");
  const fs::path monitor = dir / "suite/VEMO-MONITOR.app/Contents";
  WriteFile(monitor / "PkgInfo", "APPLVMxm");
  WriteFile(monitor / "MacOS/VEMO-MONITOR",
            "#!/bin/sh\nprintf '%s' \"$VEMO_LAUNCH_EVENT\" > \"$ADMIN_TEST_MONITOR_OUT.tmp\"\n"
            "mv \"$ADMIN_TEST_MONITOR_OUT.tmp\" \"$ADMIN_TEST_MONITOR_OUT\"\n");
  fs::permissions(monitor / "MacOS/VEMO-MONITOR", fs::perms::owner_all);
  testsupport::ScopedEnv out("ADMIN_TEST_MONITOR_OUT", (dir / "monitor.hex").c_str());

  // Five boxes of every kind the list shows differently, and one the model
  // filter refuses.
  WriteFile(dir / "scene.txt",
            "box C \"Office C\" 0\nbox E \"Reception E\" 1\nbox B \"Studio B\" 7\n"
            "box A \"Basement A\" 0 old\nbox C \"New box\" 0 noaddress\nbox foreign \"Not ours\" 0\n");
  const UInt32 base = pboxemu::PickBaseAddress();
  // The emulator lists its boxes once it serves them: the search must not
  // go out before, however slowly a loaded machine starts it.
  pid_t emu = testsupport::SpawnProgram(
      {build + "/tools/pbox-emu/pbox-emu", "--scene", (dir / "scene.txt").string(), "--base", dotted(base)},
      (dir / "emu.out").string());
  ASSERT_GT(emu, 0);
  if (testsupport::WaitForLines(dir / "emu.out", 5).size() < 5) {
    kill(emu, SIGTERM);
    testsupport::WaitExit(emu);
    FAIL() << "the emulator did not start";
  }

  const std::string title = "\"VEMO-ADMIN [ User Mode ]\"";
  WriteFile(dir / "tour.txt", "wait-window " + title +
                                  "\n"
                                  "sleep 2500\n"
                                  "window-shot " +
                                  title + " " + (dir / "list.png").string() +
                                  "\n"
                                  "click-window " +
                                  title +
                                  " 200 69\n"
                                  "wait 5\n"
                                  "menu 130 2\n"
                                  "wait 5\n"
                                  "sleep 500\n"
                                  // The rows come in the order the boxes
                                  // answered, and the old box takes no
                                  // command on the new port: sorted by
                                  // model, the third row is "Office C".
                                  "click-window " +
                                  title + " 250 50\nwait 5\n" +
                                  admintest::MainWindowAnswersLines("VEMO-ADMIN [ User Mode ]", 2) +
                                  admintest::kQuitByKeyLines);
  testsupport::ScopedEnv script("TOOLBOX_SCRIPT", (dir / "tour.txt").c_str());
  // Preferences of its own: no mode file, so the program runs in user mode.
  testsupport::ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
  testsupport::ScopedEnv app("TOOLBOX_APP_PATH", (admin / "MacOS/VEMO-ADMIN").c_str());
  pid_t program = testsupport::SpawnProgram({(admin / "MacOS/VEMO-ADMIN").string()});
  ASSERT_GT(program, 0);
  const int status = testsupport::WaitExit(program);
  kill(emu, SIGTERM);
  testsupport::WaitExit(emu);
  ASSERT_EQ(status, 0);

  // The list: an icon and dark text on each of the five rows, nothing on a
  // sixth (the foreign box is not listed).
  const std::string png = ReadFile(dir / "list.png");
  auto image = tb::DecodePNG(std::span<const UInt8>(reinterpret_cast<const UInt8*>(png.data()), png.size()));
  ASSERT_TRUE(image);
  auto rgb = [&](int x, int y) {
    const UInt8* p = reinterpret_cast<const UInt8*>(&image->pixels[std::size_t(y * image->width + x)]);
    return std::array<int, 3>{p[1], p[2], p[3]};
  };
  const int top = image->height - 360;  // the title bar above the content
  auto row_has_ink = [&](int row, int x0, int x1) {
    const int y0 = top + 60 + 18 * row;
    for (int y = y0 + 2; y < y0 + 16; ++y)
      for (int x = x0; x < x1; ++x) {
        auto c = rgb(x, y);
        if (c[0] < 0x90 && c[1] < 0x90 && c[2] < 0x90) return true;
      }
    return false;
  };
  for (int row = 0; row < 5; ++row) {
    EXPECT_TRUE(row_has_ink(row, 6, 20)) << "icon of row " << row;
    EXPECT_TRUE(row_has_ink(row, 155, 290)) << "name of row " << row;
  }
  EXPECT_FALSE(row_has_ink(5, 6, 290));

  // The launch record the monitor got: the first row's box, the JCP port,
  // no language ("*").
  // The stand-in runs on its own: wait for it to write.
  const std::string event = unhex(testsupport::AwaitFile(dir / "monitor.hex"));
  // The first row is the box whose reply came first, not always the first
  // box of the scene (the old box answers its own search, which can come
  // back before the others): the record must be that of whichever box with
  // an address it names, its address the box's own.
  const char* const kNames[] = {"Office C", "Reception E", "Studio B", "Basement A"};
  std::size_t at = std::string::npos;
  UInt32 index = 0;
  for (UInt32 i = 0; i < 4 && at == std::string::npos; ++i) {
    at = event.find(kNames[i]);
    index = i;
  }
  ASSERT_NE(at, std::string::npos) << "the record names a listed box with an address";
  ASSERT_GE(at, 4u);
  const std::string record = event.substr(at - 4, 436);
  ASSERT_EQ(record.size(), 436u);
  EXPECT_EQ(record[0], 1);
  EXPECT_EQ(UInt8(record[62]), 0x4C);  // 19541
  EXPECT_EQ(UInt8(record[63]), 0x55);
  EXPECT_EQ(be::get32(record.data() + 66), base + index);
  EXPECT_EQ(be::get16(record.data() + 178), 2);
  EXPECT_STREQ(record.c_str() + 180, "*");
}

TEST(AdminEndToEnd, TheSystemsQuitRequestAsksFirst) {
  const std::string build = std::getenv("VEMO_BUILD_DIR");
  testsupport::TempDir dir;
  testsupport::ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
  // The quit question is an alert titled like the program; Escape keeps the
  // program running, Return lets it end.
  WriteFile(dir / "tour.txt",
            "wait-window \"VEMO-ADMIN [ User Mode ]\"\n"
            "log ready\n"
            "wait-window VEMO-ADMIN 20000\n"
            "key Escape\n"
            "wait 5\n"
            "log refused\n"
            "wait-window VEMO-ADMIN 20000\n"
            "key Return\n");
  testsupport::ScopedEnv script("TOOLBOX_SCRIPT", (dir / "tour.txt").c_str());
  const std::string exe = build + "/suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN";
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], 2);
  char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&fa);
  close(fds[1]);
  std::string seen;
  char buf[512];
  ssize_t n;
  bool sentFirst = false, sentSecond = false;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) {
    seen.append(buf, std::size_t(n));
    if (!sentFirst && seen.find("ready") != std::string::npos) {
      kill(pid, SIGTERM);
      sentFirst = true;
    }
    if (!sentSecond && seen.find("refused") != std::string::npos) {
      kill(pid, SIGTERM);
      sentSecond = true;
    }
  }
  close(fds[0]);
  EXPECT_EQ(testsupport::WaitExit(pid), 0) << seen;
  EXPECT_TRUE(sentSecond) << seen;
}

}  // namespace

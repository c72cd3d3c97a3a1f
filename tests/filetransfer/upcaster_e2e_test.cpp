// The real upcaster, driven by a script, against the emulator's command-line
// program in a process of its own: the boxes are found, the chosen file is
// sent to the first row's box, the outcome alert shows, and the quit
// question ends the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "pboxemu/emulator.h"
#include "pboxemu/ftp_server.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

TEST(UpcasterEndToEnd, FindsTheBoxesSendsTheFileAndQuits) {
  const std::string build = std::getenv("VEMO_BUILD_DIR");
  testsupport::TempDir dir;
  testsupport::ScopedEnv ports("TOOLBOX_PORTMAP", (pboxemu::PrivatePortMap() + "," + pboxemu::FtpPortMap()).c_str());

  // A suite of its own, so "ConfigData" is the test's.
  const fs::path real = fs::path(build) / "suite/upcaster.app/Contents";
  const fs::path app = dir / "suite/upcaster.app/Contents";
  fs::create_directories(app / "MacOS");
  fs::create_symlink(real / "MacOS/upcaster", app / "MacOS/upcaster");
  fs::create_directory_symlink(real / "Resources", app / "Resources");
  testsupport::WriteFile(app / "PkgInfo", "APPLVMxf");
  fs::create_directories(dir / "received");
  std::string bytes(200 * 1024 + 3, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 131 + i / 7);
  testsupport::WriteFile(dir / "job.prn", bytes);

  pid_t emu = testsupport::SpawnProgram({build + "/tools/pbox-emu/pbox-emu", "--count", "3", "--base", "127.0.0.10",
                                         "--ftp", (dir / "received").string()},
                                        (dir / "emu.out").string());
  ASSERT_GT(emu, 0);
  // The emulator lists its boxes once it serves them.
  if (testsupport::WaitForLines(dir / "emu.out", 3).size() < 3) {
    kill(emu, SIGTERM);
    testsupport::WaitExit(emu);
    FAIL() << "the emulator did not start";
  }

  testsupport::WriteFile(dir / "tour.txt",
                         "wait-window \"upcaster\"\n"
                         "sleep 3500\n"
                         "window-shot \"upcaster\" " + (dir / "list.png").string() + "\n"
                         "chooser-answer " + (dir / "job.prn").string() + "\n"
                         "click-window \"upcaster\" 300 50\n"
                         "wait 5\n"
                         "click-window \"upcaster\" 300 315\n"
                         "wait-window \"Send File\"\n"
                         "key Return\n"
                         "wait 5\n"
                         "key Escape\n"
                         "wait 5\n"
                         "key Return\n");
  testsupport::ScopedEnv script("TOOLBOX_SCRIPT", (dir / "tour.txt").c_str());
  testsupport::ScopedEnv path("TOOLBOX_APP_PATH", (app / "MacOS/upcaster").c_str());
  pid_t program = testsupport::SpawnProgram({(app / "MacOS/upcaster").string()});
  ASSERT_GT(program, 0);
  const int status = testsupport::WaitExit(program);
  kill(emu, SIGTERM);
  testsupport::WaitExit(emu);
  ASSERT_EQ(status, 0);

  // The first row's box has the file whole, and no other box has one.
  std::vector<fs::path> got;
  for (const auto& e : fs::directory_iterator(dir / "received")) got.push_back(e.path());
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].filename().string().substr(got[0].filename().string().find('-') + 1), "job.prn");
  EXPECT_TRUE(testsupport::ReadFile(got[0]) == bytes);
}

}  // namespace

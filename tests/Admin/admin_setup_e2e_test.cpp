// The real VEMO-ADMIN in administrator mode, driven by a script, edits an
// emulated box's settings: the printer name on the General page and the
// gateway on the TCP/IP page, OK, the save question confirmed and the
// restart question declined; the box's image then holds the new values and
// nothing else changed. The system's quit request in the middle of a
// command on a box gone silent ends the program cleanly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/AdminMode.h"
#include "admin_harness.h"
#include "common/Context.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/resources.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testsupport::WriteFile;

// A folder of the test's own, private ports, and administrator mode: the
// mode file the installer would write.
class AdminSetupEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    tb::ResetResources();
    Appl_Rsrc_Fork_No = tb::OpenApplicationResources(admintest::Bundle() + "/Contents/Resources/VEMO-ADMIN.rsrc");
    ASSERT_GE(Appl_Rsrc_Fork_No, 0);
    Str255 modeName;
    GetIndString(modeName, kStrFileNames, 2);
    Set_Administrator(modeName, kAdminCreator, true);
    tb::ResetResources();
  }

  const std::string build = std::getenv("VEMO_BUILD_DIR");
  testsupport::TempDir dir;
  testsupport::ScopedEnv ports{"TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()};
  testsupport::ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").c_str()};
};

TEST_F(AdminSetupEndToEnd, TheSettingsWindowWritesTwoPagesToTheBox) {
  pboxemu::Emulator emu(pboxemu::PickBaseAddress());
  pboxemu::BoxSpec spec;
  spec.model = pboxemu::Model::QSV_E;
  spec.name = "Front desk";
  emu.AddBox(spec);
  std::string err;
  ASSERT_TRUE(emu.Start(&err)) << err;
  const pboxemu::SettingsBlocks before = emu.Settings(0);

  const std::string settings = "\"Print Server Settings\"";
  WriteFile(dir / "tour.txt",
            "wait-window VEMO-ADMIN\n"
            "sleep 2500\n"
            "click-window VEMO-ADMIN 200 69\n"
            "wait 5\n"
            "menu 132 1\n"
            "wait-window " +
                settings +
                " 10000\n"

                "click-item " +
                settings +
                " 16\n"
                "key a cmd\n"
                "type HALL-PRINTER\n"
                "wait 5\n"
                "click-window " +
                settings +
                " 100 28\n"
                "wait 5\n"
                "click-item " +
                settings +
                " 15\n"
                "key a cmd\n"
                "type 127.0.0.254\n"
                "wait 5\n"

                "click-item " +
                settings +
                " 1\n"
                "sleep 1000\n"

                "key Return\n"  // save the settings: yes
                "sleep 1500\n"
                "key Escape\n"  // restart now: no
                "sleep 500\n" +
                admintest::MainWindowAnswersLines("VEMO-ADMIN") + admintest::kQuitByKeyLines);
  testsupport::ScopedEnv script("TOOLBOX_SCRIPT", (dir / "tour.txt").c_str());
  const std::string exe = build + "/suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN";
  ASSERT_EQ(testsupport::RunProgram({exe}), 0);
  EXPECT_EQ(emu.Executed(0, "EXEC REBOOT SYSTEM:"), 0);

  // The factory image with the two values set is what the box holds.
  pboxemu::SettingsBlocks expect = before;
  admintest::PointTablesAt(expect);
  char msg[64];
  ASSERT_EQ(context_set_varid(4369, "HALL-PRINTER", msg, sizeof msg), 0);
  ASSERT_EQ(context_set_varid(260, "127.0.0.254", msg, sizeof msg), 0);
  admintest::ClearTables();
  const std::vector<UInt8> got = emu.Image(0);
  ASSERT_EQ(got.size(), expect.image.size());
  for (std::size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(got[i], expect.image[i]) << "byte " << i << " of the box's image";
  emu.Stop();
}

// Quitting with the settings window open, after it was opened and closed
// twice: the program ends cleanly, with nothing of the window's tab strip
// left behind for the leak checker.
TEST_F(AdminSetupEndToEnd, QuittingWithTheSettingsWindowOpenLeavesNothingBehind) {
  pboxemu::Emulator emu(pboxemu::PickBaseAddress());
  emu.AddBox(pboxemu::BoxSpec{});
  std::string err;
  ASSERT_TRUE(emu.Start(&err)) << err;
  const std::string open = "wait-window VEMO-ADMIN\nsleep 2500\n" + admintest::MainWindowAnswersLines("VEMO-ADMIN") +
                           admintest::MainWindowAnswersLines("VEMO-ADMIN");
  WriteFile(dir / "tour.txt", open +
                                  "click-window VEMO-ADMIN 200 69\nwait 5\nmenu 132 1\n"
                                  "wait-window \"Print Server Settings\" 10000\n" +
                                  admintest::kQuitByKeyLines);
  testsupport::ScopedEnv script("TOOLBOX_SCRIPT", (dir / "tour.txt").c_str());
  std::string out;
  EXPECT_EQ(testsupport::RunProgram({build + "/suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN"}, &out), 0);
  EXPECT_EQ(out.find("LeakSanitizer"), std::string::npos) << out;
  emu.Stop();
}

// The system's quit request (SIGTERM) while a command waits on a box that
// has gone silent: the program ends at once with status 0, and the
// sanitizers, which end a run with another status, find nothing.
TEST_F(AdminSetupEndToEnd, QuitRequestInTheMiddleOfEachCommandEndsCleanly) {
  struct Moment {
    const char* command;  // the command the box leaves unanswered
    std::string lines;    // what brings it, with the first box selected
  };
  const std::string settings = "menu 132 1\nwait-window \"Print Server Settings\" 10000\n";
  const Moment moments[] = {
      {"GET CONTEXT", "menu 132 1\n"},
      {"GET EEP_DATA", "menu 132 1\n"},
      {"SAVE EEP_DATA", settings + "click-item \"Print Server Settings\" 16\nkey a cmd\ntype HALL\nwait 5\n" +
                            "click-item \"Print Server Settings\" 1\nsleep 1000\nkey Return\n"},
      {"EXEC REBOOT SYSTEM:", "menu 131 4\nsleep 1000\nkey Return\n"},
  };
  for (const Moment& m : moments) {
    SCOPED_TRACE(m.command);
    pboxemu::Emulator emu(pboxemu::PickBaseAddress());
    pboxemu::BoxSpec box;
    box.model = pboxemu::Model::QSV_E;
    emu.AddBox(box);
    pboxemu::FaultSpec silent;
    silent.mode = pboxemu::Fault::Silent;
    silent.search = false;
    silent.onlyCommand = m.command;
    emu.SetFault(0, silent);
    std::string err;
    ASSERT_TRUE(emu.Start(&err)) << err;
    WriteFile(dir / "tour.txt", "wait-window VEMO-ADMIN\nsleep 2500\nclick-window VEMO-ADMIN 200 69\nwait 5\n" +
                                    m.lines + "sleep 60000\n");
    testsupport::ScopedEnv script("TOOLBOX_SCRIPT", (dir / "tour.txt").c_str());
    const std::string exe = build + "/suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN";
    const int errFd = open((dir / "err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, errFd, 2);
    char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    close(errFd);
    const auto asked = [&] {
      for (const pboxemu::RequestRecord& r : emu.Requests(0))
        if (r.kind == pboxemu::RequestRecord::Command && r.command == m.command) return true;
      return false;
    };
    for (int i = 0; i < 300 && !asked(); ++i) usleep(100000);
    EXPECT_TRUE(asked()) << "the command never went out";
    usleep(200000);
    kill(pid, SIGTERM);
    // A program that no longer ends by itself is ended, and the row fails.
    int status = 0, waited = 0;
    while (waitpid(pid, &status, WNOHANG) == 0 && ++waited < 300) usleep(100000);
    if (waited == 300) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << testsupport::ReadFile(dir / "err.txt");
    emu.Stop();
  }
}

}  // namespace

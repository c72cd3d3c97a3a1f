// The copy engine on a copy of the build's disc into a home folder of the
// test's own, and on small copy lists made for one rule each.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "Installer/CopyEngine.h"
#include "test_support.h"
#include "toolbox/fileservices.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

int run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void tick(TOOL_DATA* tools, int row, const char* name, bool on) {
  std::strncpy(tools[row].cToolName, name, sizeof tools[row].cToolName - 1);
  tools[row].bEnable = on;
}

// Steps until the engine ends; a copy that never ends fails the test.
CopyEngine::Step runToEnd(CopyEngine& engine, int* steps = nullptr) {
  for (int i = 0; i < 1000; ++i) {
    auto s = engine.Copy_Preparation();
    if (steps) *steps = i + 1;
    if (s != CopyEngine::Step::More) return s;
  }
  ADD_FAILURE() << "the copy did not end";
  return CopyEngine::Step::More;
}

class DiscCopy : public ::testing::Test {
 protected:
  DiscCopy() {
    const char* build = std::getenv("VEMO_BUILD_DIR");
    disc = dir / "disc";
    home = dir / "home";
    fs::create_directories(home);
    EXPECT_EQ(run({"/bin/cp", "-a", std::string(build) + "/disc", disc.string()}), 0);
    contents = disc / "vemoplexinstall.app/Contents";
  }
  ~DiscCopy() override {
    tb::FailCopyAfter(-1, 0);
    tb::SetReadOnlyFolders({});
  }
  CopySetup setup(const char* lang = "English") {
    return CopySetup{(contents / "MacOS").string(), lang, (contents / "Resources/COPYFILE.INI").string(), home.string(),
                     "VEMOPLEX"};
  }
  CopyEngine::Step install(const char* lang = "English", CopyEngine** out = nullptr, bool monitor = false) {
    std::memset(tools, 0, sizeof tools);
    // The tools as the message file lists them; the held-job manager left out.
    count = 3;
    tick(tools, 0, "VEMO-ADMIN", true);
    tick(tools, 1, "VEMO-MONITOR", monitor);
    tick(tools, 2, "VemoHoldManager", false);
    engine = std::make_unique<CopyEngine>(setup(lang), tools, &count);
    engine->onFile = [this](const std::string& name, int number, int total) {
      shown.push_back(name);
      numbers.push_back({number, total});
    };
    if (out) *out = engine.get();
    return runToEnd(*engine);
  }

  testsupport::TempDir dir;
  fs::path disc, home, contents;
  TOOL_DATA tools[kToolMax] = {};
  SInt16 count = 0;
  std::unique_ptr<CopyEngine> engine;
  std::vector<std::string> shown;
  std::vector<std::pair<int, int>> numbers;  // each file's number, of how many
};

TEST_F(DiscCopy, TickedProgramsArriveWholeAndRun) {
  ASSERT_EQ(install("Japanese", nullptr, true), CopyEngine::Step::Done);
  EXPECT_EQ(engine->totalCount(), 4);
  EXPECT_TRUE(engine->failures().empty());
  // The file-transfer tool comes with the administration program.
  EXPECT_EQ(shown, (std::vector<std::string>{"VEMO-ADMIN.app", "upcaster.app", "VEMO-MONITOR.app", "ReadMe.txt"}));
  // Each file is counted before it is copied, so the progress bar is full
  // at the last.
  EXPECT_EQ(numbers, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
  EXPECT_EQ(Install_Bar_Width(200, numbers.back().first, numbers.back().second), 200);
  const fs::path app = home / "VEMOPLEX/VEMO-ADMIN.app";
  EXPECT_EQ(ReadFile(home / "VEMOPLEX/ReadMe.txt"), ReadFile(disc / "TOOL/Japanese/ReadMe.txt"));
  // Whole: every file of both bundles, byte for byte, the programs (and the
  // monitor's start-up program inside its bundle) executable.
  for (const char* bundle : {"VEMO-ADMIN.app", "upcaster.app", "VEMO-MONITOR.app"}) {
    for (auto& e : fs::recursive_directory_iterator(disc / "TOOL" / bundle)) {
      fs::path rel = fs::relative(e.path(), disc / "TOOL" / bundle);
      ASSERT_TRUE(fs::exists(home / "VEMOPLEX" / bundle / rel)) << rel;
      if (e.is_regular_file()) {
        EXPECT_EQ(ReadFile(e.path()), ReadFile(home / "VEMOPLEX" / bundle / rel)) << rel;
      }
    }
  }
  EXPECT_EQ(access((app / "Contents/MacOS/VEMO-ADMIN").c_str(), X_OK), 0);
  EXPECT_EQ(access((home / "VEMOPLEX/VEMO-MONITOR.app/Contents/VEMO-MONITOR Startup.app/Contents/MacOS/"
                           "VEMO-MONITOR Startup")
                       .c_str(),
                   X_OK),
            0);
  EXPECT_EQ(engine->monitorFolder(), (home / "VEMOPLEX").string());
  // The shortcuts beside the install folder.
  EXPECT_EQ(engine->shortcuts(), (std::vector<OSErr>{0, 0}));
  ASSERT_TRUE(fs::is_symlink(home / "VEMO-ADMIN.app"));
  EXPECT_EQ(fs::read_symlink(home / "VEMO-ADMIN.app"), app);
  EXPECT_EQ(fs::read_symlink(home / "VEMO-MONITOR.app"), home / "VEMOPLEX/VEMO-MONITOR.app");

  // The installed program starts from where it was put and quits.
  WriteFile(dir / "quit.txt", "wait-window \"VEMO-ADMIN [ User Mode ]\"\nmenu 129 3\nwait 5\nkey Return\n");
  testsupport::ScopedEnv script("TOOLBOX_SCRIPT", (dir / "quit.txt").c_str());
  testsupport::ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
  testsupport::ScopedEnv appPath("TOOLBOX_APP_PATH", (app / "Contents/MacOS/VEMO-ADMIN").c_str());
  EXPECT_EQ(run({(home / "VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN").string()}), 0);
}

TEST_F(DiscCopy, ReinstallReplacesAndAFailedReplaceKeepsTheOldProgram) {
  ASSERT_EQ(install(), CopyEngine::Step::Done);
  const fs::path app = home / "VEMOPLEX/VEMO-ADMIN.app";
  // As from a read-only disc, and with a file the new copy does not have.
  WriteFile(app / "Contents/Resources/stale.txt", "old");
  for (auto& e : fs::recursive_directory_iterator(app))
    if (!e.is_symlink()) chmod(e.path().c_str(), 0555);
  WriteFile(disc / "TOOL/English/ReadMe.txt", "second edition");
  ASSERT_EQ(install(), CopyEngine::Step::Done);
  EXPECT_TRUE(engine->failures().empty());
  EXPECT_FALSE(fs::exists(app / "Contents/Resources/stale.txt"));
  EXPECT_EQ(ReadFile(home / "VEMOPLEX/ReadMe.txt"), "second edition");
  EXPECT_TRUE(fs::status(app / "Contents/MacOS/VEMO-ADMIN").permissions() != fs::perms::none);

  // A third install whose copy fails inside the bundle.
  WriteFile(app / "Contents/Resources/marker.txt", "installed before");
  const std::string exe = ReadFile(app / "Contents/MacOS/VEMO-ADMIN");
  tb::FailCopyAfter(2, EIO);
  ASSERT_EQ(install(), CopyEngine::Step::Done);
  ASSERT_EQ(engine->failures().size(), 1u);
  EXPECT_EQ(engine->failures()[0], (CopyFailure{"VEMO-ADMIN.app", "VEMO-ADMIN", ioErr}));
  EXPECT_FALSE(engine->toolComplete("VEMO-ADMIN"));
  EXPECT_EQ(ReadFile(app / "Contents/Resources/marker.txt"), "installed before");
  EXPECT_EQ(ReadFile(app / "Contents/MacOS/VEMO-ADMIN"), exe);
  for (auto& e : fs::directory_iterator(home / "VEMOPLEX"))  // no half copy left beside it
    EXPECT_TRUE(e.path().filename() == "VEMO-ADMIN.app" || e.path().filename() == "upcaster.app" ||
                e.path().filename() == "ReadMe.txt")
        << e.path();
}

TEST_F(DiscCopy, RefusedFolderStopsAndTheNextAttemptStartsOver) {
  tb::SetReadOnlyFolders({home.string()});
  CopyEngine* e = nullptr;
  ASSERT_EQ(install("English", &e), CopyEngine::Step::Refused);
  EXPECT_EQ(e->folderResult(), -5000);
  EXPECT_EQ(e->copied(), 0);
  tb::SetReadOnlyFolders({});
  ASSERT_EQ(runToEnd(*e), CopyEngine::Step::Done);
  EXPECT_EQ(e->copied(), 3);
  EXPECT_TRUE(fs::exists(home / "VEMOPLEX/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN"));
}

// Copy lists made for one rule each, over a small source tree.
class CopyRules : public ::testing::Test {
 protected:
  CopyRules() {
    exe = dir / "disc/inst.app/Contents/MacOS";
    fs::create_directories(exe);
    for (int i = 0; i < 60; ++i) WriteFile(dir / "disc/SRC" / ("f" + std::to_string(i)), std::to_string(i));
    WriteFile(dir / "disc/SRC/Deutsch/liesmich", "de");
    fs::create_directories(dir / "home");
  }
  CopyEngine make(const std::string& list) {
    WriteFile(dir / "COPYFILE.INI", list);
    return CopyEngine(
        CopySetup{exe.string(), "Deutsch", (dir / "COPYFILE.INI").string(), (dir / "home").string(), "Inst:Sub"}, tools,
        &count);
  }
  std::string files(const char* section, int n, const char* target = "") {
    std::string s = std::string(section) + "\n";
    for (int i = 0; i < n; ++i) {
      char line[80];
      std::snprintf(line, sizeof line, "FILE_%03d=f%d;::::SRC;%s\n", i, i, target);
      s += line;
    }
    return s;
  }
  testsupport::TempDir dir;
  fs::path exe;
  TOOL_DATA tools[kToolMax] = {};
  SInt16 count = 0;
};

TEST_F(CopyRules, CountingAndEndingOfEveryShapeOfList) {
  struct Case {
    const char* what;
    int adminFiles;  // keys in [FILE_ADMIN]
    bool adminTicked;
    bool stranger;  // a tool no section names, ticked
    int total;
    int maxSteps;
  } cases[] = {
      {"51 keys count and copy 50", 51, true, false, 50, 52},
      {"nothing to copy ends at once", 0, true, false, 0, 1},
      {"an unticked tool copies nothing", 5, false, false, 0, 1},
      {"an unknown tool is skipped", 2, true, true, 2, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::memset(tools, 0, sizeof tools);
    count = 0;
    tick(tools, count++, "VEMO-ADMIN", c.adminTicked);
    if (c.stranger) tick(tools, count++, "SomethingElse", true);
    fs::remove_all(dir / "home/Inst");
    auto engine =
        make("[FOLDER]\nINSTALL=Inst\n" + files("[FILE_ADMIN]", c.adminFiles, ":deep:er") + "[FILE_COMMON]\n");
    int steps = 0;
    ASSERT_EQ(runToEnd(engine, &steps), CopyEngine::Step::Done);
    EXPECT_EQ(engine.totalCount(), c.total);
    EXPECT_LE(steps, c.maxSteps);
    EXPECT_TRUE(engine.failures().empty());
    int copied = 0;
    if (fs::exists(dir / "home/Inst/Sub/deep/er"))
      for ([[maybe_unused]] auto& e : fs::directory_iterator(dir / "home/Inst/Sub/deep/er")) ++copied;
    EXPECT_EQ(copied, c.total);
    EXPECT_STREQ(tools[count - 1].cToolName, "FILE_COMMON");
  }
  // Twenty tools: no room for the common tool.
  std::memset(tools, 0, sizeof tools);
  for (count = 0; count < kToolMax; ++count) tick(tools, count, "VemoHoldManager", false);
  auto full = make(files("[FILE_COMMON]", 3));
  ASSERT_EQ(runToEnd(full), CopyEngine::Step::Done);
  EXPECT_EQ(full.totalCount(), 0);
}

TEST_F(CopyRules, LanguageSourcesFailuresAndShortcuts) {
  count = 0;
  tick(tools, count++, "VEMO-ADMIN", true);
  tick(tools, count++, "VEMO-MONITOR", true);
  tick(tools, count++, "VemoHoldManager", true);
  fs::create_directories(dir / "home/Inst/Sub/f2");  // a real folder where a shortcut would go
  auto engine = make(
      "[FILE_ADMIN]\nFILE_000=f1;::::SRC;\nFILE_001=missing;::::SRC;\n"
      "[FILE_MONITOR]\nFILE_000=liesmich;::::SRC:@LAN:ignored;:mon\n"
      "[FILE_FILE]\nFILE_000=f2;::::SRC;:hold\n"
      "[SHORTCUT]\nICON_000=f1;\nICON_001=liesmich;:mon\nICON_002=f2;:hold\n");
  ASSERT_EQ(runToEnd(engine), CopyEngine::Step::Done);
  EXPECT_EQ(engine.totalCount(), 4);
  EXPECT_EQ(engine.failures(), (std::vector<CopyFailure>{{"missing", "VEMO-ADMIN", fnfErr}}));
  EXPECT_FALSE(engine.toolComplete("VEMO-ADMIN"));
  EXPECT_TRUE(engine.toolComplete("VEMO-MONITOR"));
  EXPECT_EQ(ReadFile(dir / "home/Inst/Sub/mon/liesmich"), "de");
  EXPECT_EQ(engine.monitorFolder(), (dir / "home/Inst/Sub/mon").string());
  // Row 0's link beside the install folder, row 1's in it; row 2's place is
  // held by a real folder, which is kept, and the shortcuts end there.
  EXPECT_EQ(engine.shortcuts(), (std::vector<OSErr>{0, 0, -2}));
  EXPECT_TRUE(fs::is_symlink(dir / "home/Inst/f1"));
  EXPECT_TRUE(fs::is_symlink(dir / "home/Inst/Sub/liesmich"));
  EXPECT_TRUE(fs::is_directory(dir / "home/Inst/Sub/f2"));

  // A missing ICON_ entry for the first ticked row stops every shortcut.
  std::memset(tools, 0, sizeof tools);
  count = 0;
  tick(tools, count++, "VEMO-ADMIN", true);
  fs::remove_all(dir / "home/Inst");
  auto none = make("[FILE_ADMIN]\nFILE_000=f1;::::SRC;\n[SHORTCUT]\nICON_001=f1;\n");
  ASSERT_EQ(runToEnd(none), CopyEngine::Step::Done);
  EXPECT_TRUE(none.shortcuts().empty());
}

TEST(CopyHelpers, PartialPathsBarWidthsAndSections) {
  struct Path {
    const char* partial;
    const char* want;
  } paths[] = {
      {"", "/a/b/c"},
      {":", "/a/b/c"},
      {":x", "/a/b/c/x"},
      {"::x", "/a/b/x"},
      {"::::TOOL:English", "/TOOL/English"},
      {"x:y", "/a/b/c/x/y"},
      {":x::y", "/a/b/c/y"},
  };
  for (const auto& p : paths) EXPECT_EQ(Resolve_Partial_Path("/a/b/c", p.partial), p.want) << p.partial;
  struct Bar {
    int width, done, total, want;
  } bars[] = {{200, 0, 0, 0}, {200, 1, 0, 200}, {200, 1, 3, 66}, {200, 3, 3, 200}, {200, 2, 400, 0}, {10, 5, 4, 10}};
  for (const auto& b : bars) EXPECT_EQ(Install_Bar_Width(b.width, b.done, b.total), b.want);
  EXPECT_STREQ(Tool_Section("VEMO-ADMIN"), "[FILE_ADMIN]");
  EXPECT_STREQ(Tool_Section("VEMO-MONITOR X"), "[FILE_MONITOR]");
  EXPECT_STREQ(Tool_Section("VemoHoldManager"), "[FILE_FILE]");
  EXPECT_STREQ(Tool_Section("FILE_COMMON"), "[FILE_COMMON]");
  EXPECT_EQ(Tool_Section("VEMO-ADMI"), nullptr);
}

// Entries without their folders (no ';' at all, or one) split with the
// missing folders empty; fields are cut to their 31 bytes.
TEST(CopyHelpers, EntriesOfEveryShapeSplit) {
  testsupport::TempDir dir;
  const std::string list = (dir / "COPYFILE.INI").string();
  const std::string longName(40, 'n');
  WriteFile(list, "[FILE_ADMIN]\r\nFILE_000=only\r\nFILE_001=n;::SRC\r\nFILE_002=n;src;:dst\r\nFILE_003=" + longName +
                      ";;\r\n");
  struct Entry {
    const char* key;
    std::string name, org, inst;
  } entries[] = {{"FILE_000=", "only", "", ""},
                 {"FILE_001=", "n", "::SRC", ""},
                 {"FILE_002=", "n", "src", ":dst"},
                 {"FILE_003=", std::string(31, 'n'), "", ""}};
  for (const auto& e : entries) {
    FILE_DATA fd;
    ASSERT_EQ(Get_File_Name("[FILE_ADMIN]", e.key, list.c_str(), &fd), 1) << e.key;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fd.fName + 1), fd.fName[0]), e.name) << e.key;
    EXPECT_STREQ(fd.orgFolder, e.org.c_str()) << e.key;
    EXPECT_STREQ(fd.instFolder, e.inst.c_str()) << e.key;
  }
}

}  // namespace

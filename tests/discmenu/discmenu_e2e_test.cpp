// The real programs of the disc and the monitor's start-up, each started in
// a process of its own from a fixture tree: setup driven by a script
// (screens, hover, the installer started in the chosen language by a
// stand-in that keeps its launch event, a document opened, the quit
// question), vemomanual by the system language, VEMO-MONITOR Startup as its
// autostart entry runs it.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "test_support.h"
#include "toolbox/files.h"
#include "toolbox/loginitems.h"
#include "toolbox/pictures.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::WriteFile;

int run(const std::vector<std::string>& args, const fs::path& cwd = {}) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string unhex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// A stand-in program that writes down the launch event it was started with.
void standIn(const fs::path& bundle, const char* code, const std::string& exe, const fs::path& out) {
  WriteFile(bundle / "Contents/PkgInfo", code);
  WriteFile(bundle / "Contents/MacOS" / exe, "#!/bin/sh\nprintf '%s' \"$VEMO_LAUNCH_EVENT\" > '" + out.string() +
                                                 ".tmp'\nmv '" + out.string() + ".tmp' '" + out.string() + "'\n");
  fs::permissions(bundle / "Contents/MacOS" / exe, fs::perms::owner_all);
}

struct Shot {
  std::optional<tb::Image> image;
  int left = 0, top = 0;
  explicit Shot(const fs::path& p) {
    const std::string png = ReadFile(p);
    image = tb::DecodePNG(std::span<const UInt8>(reinterpret_cast<const UInt8*>(png.data()), png.size()));
    if (image) {
      left = (image->width - 640) / 2;
      top = image->height - 440;
    }
  }
  // The colour at a point of the window's content.
  std::array<int, 3> at(int x, int y) const {
    const UInt8* p = reinterpret_cast<const UInt8*>(&image->pixels[std::size_t((top + y) * image->width + left + x)]);
    return {p[1], p[2], p[3]};
  }
};

const fs::path kBuild = std::getenv("VEMO_BUILD_DIR") ? std::getenv("VEMO_BUILD_DIR") : ".";

TEST(DiscEndToEnd, MenuScreensHoverInstallDocumentAndQuit) {
  testsupport::TempDir dir;
  const fs::path disc = dir / "disc";
  const fs::path app = disc / "setup.app/Contents";
  fs::create_directories(app / "MacOS");
  fs::copy_file(kBuild / "disc/setup.app/Contents/MacOS/setup", app / "MacOS/setup");
  fs::create_directory_symlink(kBuild / "disc/setup.app/Contents/Resources", app / "Resources");
  WriteFile(app / "PkgInfo", "APPLVMxs");
  // The installer stand-in (the real one is not built yet).
  standIn(disc / "vemoplexinstall.app", "APPLVMxi", "vemoplexinstall", dir / "installer.hex");
  WriteFile(disc / "Manuals/English/index.html", "<p>manual</p>");
  WriteFile(disc / "Manuals/Japanese/index.html", "<p>manual</p>");

  const std::string w = "VEMOPLEX";
  auto shot = [&](const char* name) { return "window-shot " + w + " " + (dir / name).string() + "\n"; };
  WriteFile(dir / "tour.txt", "wait-window " + w + "\n" + shot("main.png") + "move-window " + w + " 300 130\nwait 3\n" +
                                  shot("hover.png") +
                                  "expect-cursor 151\n"
                                  "move-window " +
                                  w +
                                  " 20 20\nwait 3\nexpect-cursor 0\n"
                                  // Back to the languages, Japanese chosen, then install.
                                  "click-window " +
                                  w + " 170 410\nwait 3\n" + shot("lang.png") + "click-window " + w +
                                  " 440 210\nwait 3\n"
                                  "click-window " +
                                  w +
                                  " 300 130\nwait 3\nsleep 200\n"
                                  // The manuals' sub-menu, the English manual opened.
                                  "click-window " +
                                  w + " 300 200\nwait 3\n" + shot("sub.png") + "click-window " + w +
                                  " 165 135\nwait 3\n"
                                  // The exit button asks; No keeps the menu, Yes quits.
                                  "click-window " +
                                  w +
                                  " 570 410\nwait 3\n"
                                  "screenshot " +
                                  (dir / "quit.png").string() +
                                  "\nexpect-beeps 1\nkey Escape\nwait 3\n"
                                  "click-window " +
                                  w + " 570 410\nwait 3\nkey Return\n");
  ScopedEnv script("TOOLBOX_SCRIPT", (dir / "tour.txt").c_str());
  ScopedEnv lang("TOOLBOX_LANG", "en");
  ScopedEnv record("TOOLBOX_RECORD_FILE", (dir / "record.txt").c_str());
  ASSERT_EQ(run({(app / "MacOS/setup").string()}), 0);

  // The main menu: the buttons' picture, then the one under the mouse in
  // its selected picture; the language screen's buttons; the sub-menu's
  // document icons.
  Shot main(dir / "main.png"), hover(dir / "hover.png"), langs(dir / "lang.png"), sub(dir / "sub.png");
  ASSERT_TRUE(main.image && hover.image && langs.image && sub.image);
  EXPECT_EQ(main.at(215, 135), (std::array<int, 3>{30, 50, 140}));
  EXPECT_EQ(hover.at(215, 135), (std::array<int, 3>{230, 180, 30}));
  EXPECT_EQ(hover.at(215, 205), (std::array<int, 3>{30, 50, 140}));
  EXPECT_EQ(main.at(560, 410), (std::array<int, 3>{160, 0, 0}));     // exit
  EXPECT_EQ(langs.at(130, 190), (std::array<int, 3>{20, 60, 200}));  // English
  EXPECT_EQ(langs.at(370, 190), (std::array<int, 3>{190, 20, 40}));  // Japanese
  EXPECT_EQ(sub.at(160, 145), (std::array<int, 3>{90, 90, 90}));     // a document icon

  // The installer got the launch event with the chosen language.
  const std::string event = unhex(testsupport::AwaitFile(dir / "installer.hex"));
  EXPECT_NE(event.find("JCevapop"), std::string::npos);
  EXPECT_NE(event.find("\x0a-lJapanese"), std::string::npos);
  EXPECT_NE(event.find("VMxi"), std::string::npos);
  // The manual went to the desktop's opener.
  const std::string rec = ReadFile(dir / "record.txt");
  EXPECT_NE(rec.find("open\t" + (disc / "Manuals/Japanese/index.html").string()), std::string::npos) << rec;
}

TEST(DiscEndToEnd, ManualOpenerOpensTheManualOfTheSystemLanguage) {
  testsupport::TempDir dir;
  const fs::path disc = dir / "disc";
  const fs::path app = disc / "vemomanual.app/Contents";
  fs::create_directories(app / "MacOS");
  fs::copy_file(kBuild / "disc/vemomanual.app/Contents/MacOS/vemomanual", app / "MacOS/vemomanual");
  fs::create_directory_symlink(kBuild / "disc/vemomanual.app/Contents/Resources", app / "Resources");
  WriteFile(disc / "Manuals/English/index.html", "en");
  WriteFile(disc / "Manuals/Japanese/index.html", "ja");
  struct Case {
    const char* lang;
    const char* manual;
  } cases[] = {{"ja_JP.UTF-8", "Japanese"}, {"en_GB", "English"}, {"de_DE", "English"}, {"ja", nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lang);
    if (!c.manual) fs::remove(disc / "Manuals/Japanese/index.html");
    fs::remove(dir / "record.txt");
    ScopedEnv lang("TOOLBOX_LANG", c.lang);
    ScopedEnv record("TOOLBOX_RECORD_FILE", (dir / "record.txt").c_str());
    ASSERT_EQ(run({(app / "MacOS/vemomanual").string()}), 0);
    std::vector<std::string> opened;
    if (fs::exists(dir / "record.txt"))
      for (const std::string& line : testsupport::ReadLines(dir / "record.txt"))
        if (line.rfind("open\t", 0) == 0) opened.push_back(line.substr(5));
    if (c.manual)
      EXPECT_EQ(opened, std::vector<std::string>{(disc / "Manuals" / c.manual / "index.html").string()});
    else
      EXPECT_TRUE(opened.empty());
  }
}

TEST(DiscEndToEnd, MonitorStartupAsTheAutostartEntryRunsIt) {
  testsupport::TempDir dir;
  const fs::path monitor = dir / "suite/VEMO-MONITOR.app";
  const fs::path startup = monitor / "Contents/VEMO-MONITOR Startup.app";
  const fs::path built = kBuild / "suite/VEMO-MONITOR.app/Contents/VEMO-MONITOR Startup.app/Contents";
  fs::create_directories(startup / "Contents/MacOS");
  fs::copy_file(built / "MacOS/VEMO-MONITOR Startup", startup / "Contents/MacOS/VEMO-MONITOR Startup");
  fs::copy_file(built / "PkgInfo", startup / "Contents/PkgInfo");
  standIn(monitor, "APPLVMxm", "VEMO-MONITOR", dir / "monitor.hex");

  // Registered as the installer registers it, then run as the desktop runs
  // an autostart entry: its Exec line, from the home folder, with nothing
  // telling the program where it lies.
  ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
  ASSERT_EQ(tb::AddLoginItemPath(startup.string(), false), noErr);
  std::string exec;
  for (const auto& entry : fs::directory_iterator(dir / "config/autostart"))
    for (const std::string& line : testsupport::ReadLines(entry.path()))
      if (line.rfind("Exec=", 0) == 0) exec = line.substr(5);
  ASSERT_FALSE(exec.empty());
  // The desktop-entry quoting: one quoted program path.
  ASSERT_EQ(exec.front(), '"');
  const std::string program = exec.substr(1, exec.rfind('"') - 1);
  EXPECT_EQ(fs::path(program), startup / "Contents/MacOS/VEMO-MONITOR Startup");
  ScopedEnv noPath("TOOLBOX_APP_PATH", nullptr);
  ASSERT_EQ(run({program}, dir / ""), 0);
  const std::string event = unhex(testsupport::AwaitFile(dir / "monitor.hex"));
  EXPECT_NE(event.find("JCevapop"), std::string::npos);
  EXPECT_NE(event.find("VMxm"), std::string::npos);
  const auto at = event.find("Alias Data");
  ASSERT_NE(at, std::string::npos);
  // The item is the ten bytes alone: its length field says 10, and no
  // length byte comes before the text.
  ASSERT_GE(at, 4u);
  EXPECT_EQ(event.substr(at - 4, 4), std::string("\0\0\0\x0a", 4));

  // No monitor: nothing started, the program still ends normally.
  fs::remove(monitor / "Contents/MacOS/VEMO-MONITOR");
  fs::remove(dir / "monitor.hex");
  ASSERT_EQ(run({program}, dir / ""), 0);
  usleep(100 * 1000);
  EXPECT_FALSE(fs::exists(dir / "monitor.hex"));
}

}  // namespace

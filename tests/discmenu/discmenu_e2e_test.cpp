// The real programs of the disc and the monitor's start-up, each started in
// a process of its own from a fixture tree: setup driven by a script
// (screens, hover, the real installer started in the chosen language, a
// document opened, the quit question), vemomanual by the system language,
// VEMO-MONITOR Startup as its autostart entry runs it, starting the real
// monitor against emulated print boxes.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "OT/PBoxTable.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/files.h"
#include "toolbox/loginitems.h"
#include "toolbox/pictures.h"
#include "toolbox/quickdraw.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::WriteFile;

// Runs the program with its standard error on a pipe read to its end, so
// that the call returns once every program it started (which inherit the
// pipe) has ended too; the exit status of the program itself.
int run(const std::vector<std::string>& args, std::string* err, const fs::path& cwd = {}) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  char buf[512];
  ssize_t n;
  while (rc == 0 && (n = read(fds[0], buf, sizeof buf)) > 0) err->append(buf, std::size_t(n));
  close(fds[0]);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct Shot {
  std::optional<tb::Image> image;
  int left = 0, top = 0;
  explicit Shot(const fs::path& p) : image(testsupport::ReadPNG(p)) {
    if (image) {
      left = (image->width - 640) / 2;
      top = image->height - 440;
    }
  }
  // The colour at a point of the window's content.
  std::array<int, 3> at(int x, int y) const { return testsupport::RgbAt(*image, left + x, top + y); }
};

// How well the letters on a 160 x 60 button at (left, top) of the window
// match the word drawn in bold Geneva 20 in its middle, from 0 to 1: the
// lesser of the share of the word's solid pixels that show a letter on the
// button, and the share of the button's clear letter pixels that lie on
// the word. A letter pixel is one away from the button's own colour,
// inside its rim.
double wordShown(const Shot& shot, int left, int top, const char* word) {
  const int w = 160, h = 60;
  tb::OwnedGWorld world(w, h);
  if (!shot.image || !world.get()) return 0;
  tb::PortSaver saved(world.get());
  short geneva = 0;
  GetFNum(testsupport::PStr("Geneva"), &geneva);
  TextFont(geneva);
  TextFace(bold);
  TextSize(20);
  FontInfo fi;
  GetFontInfo(&fi);
  const short len = short(std::strlen(word));
  MoveTo(short((w - TextWidth(word, 0, len)) / 2), short((h - fi.ascent - fi.descent) / 2 + fi.ascent));
  DrawText(word, 0, len);
  const auto fill = shot.at(left + 6, top + 6);
  int solid = 0, solidShown = 0, clear = 0, clearOnWord = 0;
  for (int y = 4; y < h - 4; ++y)
    for (int x = 4; x < w - 4; ++x) {
      UInt8 r, g, b;
      tb::UnpackPixel(tb::PortPixel(world.get(), x, y), r, g, b);
      const auto p = shot.at(left + x, top + y);
      const int away = std::abs(p[0] - fill[0]) + std::abs(p[1] - fill[1]) + std::abs(p[2] - fill[2]);
      if (r < 64) solid++, solidShown += away > 100;
      if (away > 300) clear++, clearOnWord += r < 250;
    }
  return solid && clear ? std::min(double(solidShown) / solid, double(clearOnWord) / clear) : 0;
}

const fs::path kBuild = std::getenv("VEMO_BUILD_DIR") ? std::getenv("VEMO_BUILD_DIR") : ".";

TEST(DiscEndToEnd, MenuScreensHoverInstallDocumentAndQuit) {
  testsupport::TempDir dir;
  const fs::path disc = dir / "disc";
  ASSERT_EQ(std::system(("cp -a '" + (kBuild / "disc").string() + "' '" + disc.string() + "'").c_str()), 0);
  const fs::path app = disc / "setup.app/Contents";
  ScopedEnv home("HOME", (dir / "home").c_str());
  ScopedEnv runtime("XDG_RUNTIME_DIR", (dir / "run").c_str());
  // The installer the menu starts follows a script of its own: past the
  // welcome page, then the File menu's Quit, whose question it traces.
  const std::string inst = "\"VEMOPLEX Installer\"";
  WriteFile(dir / "install.txt", "wait-window " + inst + " 20000\nclick-window " + inst +
                                     " 500 355\nwait 3\nmenu 129 1\nwait 3\nkey Return\nwait 3\n");
  ScopedEnv instScript("TOOLBOX_SCRIPT_VMxi", (dir / "install.txt").c_str());
  ScopedEnv trace("TOOLBOX_TRACE", "install");

  const std::string w = "VEMOPLEX";
  auto shot = [&](const char* name) { return "window-shot " + w + " " + (dir / name).string() + "\n"; };
  WriteFile(dir / "tour.txt", "wait-window " + w + "\n" + shot("main.png") + "move-window " + w + " 300 130\nwait 3\n" +
                                  shot("hover.png") +
                                  "expect-cursor 151\n"
                                  "move-window " +
                                  w + " 20 20\nwait 3\nexpect-cursor 0\n" +
                                  // The manuals' sub-menu: its first entry highlighted and
                                  // left again, the mouse back where it came in; Back.
                                  "click-window " + w + " 300 200\nwait 3\n" + shot("sub-en.png") + "move-window " + w +
                                  " 230 135\nwait 3\nmove-window " + w + " 300 200\nwait 3\n" +
                                  shot("sub-en-again.png") + "click-window " + w + " 60 410\nwait 3\n" +
                                  // Back to the languages, Japanese chosen, then install.
                                  "click-window " + w + " 170 410\nwait 3\n" + shot("lang.png") + "move-window " + w +
                                  " 200 210\nwait 3\n" + shot("lang-en.png") + "move-window " + w +
                                  " 440 210\nwait 3\n" + shot("lang-ja.png") + "click-window " + w +
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
  std::string err;
  ASSERT_EQ(run({(app / "MacOS/setup").string()}, &err), 0) << err;

  // The main menu: the buttons' picture, then the one under the mouse in
  // its selected picture; the language screen's buttons; the sub-menu's
  // document icons.
  Shot main(dir / "main.png"), hover(dir / "hover.png"), langs(dir / "lang.png"), sub(dir / "sub.png");
  ASSERT_TRUE(main.image && hover.image && langs.image && sub.image);
  EXPECT_EQ(main.at(215, 135), (std::array<int, 3>{30, 50, 140}));
  EXPECT_EQ(hover.at(215, 135), (std::array<int, 3>{30, 90, 210}));
  EXPECT_EQ(hover.at(215, 205), (std::array<int, 3>{30, 50, 140}));
  EXPECT_EQ(main.at(560, 410), (std::array<int, 3>{160, 0, 0}));     // exit
  EXPECT_EQ(langs.at(130, 190), (std::array<int, 3>{20, 60, 200}));  // English
  EXPECT_EQ(langs.at(370, 190), (std::array<int, 3>{190, 20, 40}));  // Japanese
  EXPECT_EQ(sub.at(155, 135), (std::array<int, 3>{90, 90, 90}));     // a document icon's edge
  EXPECT_EQ(sub.at(160, 145), (std::array<int, 3>{255, 255, 255}));  // and its paper
  // Each language's button names its language, in both its looks: the
  // letters on it are those of the word drawn in the menu's bold font.
  Shot langEn(dir / "lang-en.png"), langJa(dir / "lang-ja.png");
  ASSERT_TRUE(langEn.image && langJa.image);
  for (const auto& [shot, left, word] : {std::tuple{&langs, 120, "English"},
                                         {&langEn, 120, "English"},
                                         {&langs, 360, "日本語"},
                                         {&langJa, 360, "日本語"}})
    EXPECT_GT(wordShown(*shot, left, 180, word), 0.8) << word << " at " << left;
  // An entry drawn normal again after its highlight (in bold) looks as it
  // did before it was ever highlighted.
  Shot subEn(dir / "sub-en.png"), subEnAgain(dir / "sub-en-again.png");
  ASSERT_TRUE(subEn.image && subEnAgain.image);
  int differ = 0;
  for (std::size_t i = 0; i < subEn.image->pixels.size(); ++i)
    differ += subEn.image->pixels[i] != subEnAgain.image->pixels[i];
  EXPECT_EQ(differ, 0);

  // The real installer took the language from the launch event: no
  // language page, the welcome page first, its quit question in Japanese.
  std::vector<std::string> pages;
  for (std::size_t at = err.find("[install] page "); at != std::string::npos; at = err.find("[install] page ", at + 1))
    pages.push_back(err.substr(at + 15, err.find('\n', at) - at - 15));
  EXPECT_EQ(pages, std::vector<std::string>{"146 item 1"}) << err;
  EXPECT_NE(err.find("alert 602: インストーラを終了しますか？"), std::string::npos) << err;
  EXPECT_EQ(err.find("script:"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir / "home/VEMOPLEX"));
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
    std::string err;
    ASSERT_EQ(run({(app / "MacOS/vemomanual").string()}, &err), 0);
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

TEST(DiscEndToEnd, MonitorStartupAsTheAutostartEntryStartsTheMonitorWithItsPrinters) {
  testsupport::TempDir dir;
  ScopedEnv ports("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str());
  ScopedEnv runtime("XDG_RUNTIME_DIR", (dir / "run").c_str());
  ScopedEnv home("HOME", (dir / "home").c_str());
  ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
  pboxemu::Emulator emu;
  for (const char* name : {"Office A", "Office B"}) {
    pboxemu::BoxSpec spec;
    spec.name = name;
    emu.AddBox(spec);
  }
  std::string why;
  ASSERT_TRUE(emu.Start(&why)) << why;

  // The real monitor in a suite of its own, the start-up program inside its
  // bundle, the alias file naming both boxes' status files.
  const fs::path suite = dir / "suite", monitor = suite / "VEMO-MONITOR.app/Contents";
  const fs::path real = kBuild / "suite/VEMO-MONITOR.app/Contents";
  const fs::path startup = monitor / "VEMO-MONITOR Startup.app";
  fs::create_directories(monitor / "MacOS");
  fs::create_directories(startup / "Contents/MacOS");
  fs::create_directories(dir / "home");
  fs::create_symlink(real / "MacOS/VEMO-MONITOR", monitor / "MacOS/VEMO-MONITOR");
  fs::create_directory_symlink(real / "Resources", monitor / "Resources");
  WriteFile(monitor / "PkgInfo", "APPLVMxm");
  fs::copy_file(real / "VEMO-MONITOR Startup.app/Contents/MacOS/VEMO-MONITOR Startup",
                startup / "Contents/MacOS/VEMO-MONITOR Startup");
  fs::copy_file(real / "VEMO-MONITOR Startup.app/Contents/PkgInfo", startup / "Contents/PkgInfo");
  std::string alias = "[ALIAS]\r\n", script;
  for (int i = 0; i < 2; ++i) {
    PBOXinfo b{};
    b.pbi_inuse = 1;
    const auto mac = emu.BoxMac(i);
    std::memcpy(b.pbi_nodeaddr, mac.data(), 6);
    const auto type = emu.BoxMachineType(i);
    std::memcpy(b.pbi_machine_type, type.data(), 16);
    b.pbi_hash = GetPBOXHash(b.pbi_machine_type, b.pbi_nodeaddr);
    const std::string name = i ? "Office B" : "Office A";
    std::memcpy(b.pbi_machine_name, name.data(), name.size());
    b.pbi_ip_addr = emu.BoxAddress(i);
    b.pbi_socket = emu.BoxPort(i);
    b.protocol_Type_Num = PBOX_PROTO_TCPIP;
    std::array<UInt8, kPBOXinfoPackedSize> packed{};
    PackPBOXinfo(b, packed);
    char file[40];
    std::snprintf(file, sizeof file, "VEMOMON-%02X;%02X;%02X;%02X;%02X;%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    WriteFile(suite / file, std::string(packed.begin(), packed.end()) + std::string(4, '\0'));
    alias += "ALIAS0" + std::to_string(i) + "=" + file + "\r\n";
    const UInt32 a = emu.BoxAddress(i);
    const std::string title = "\"Status Monitor - " + name + "(" + std::to_string(a >> 24) + "." +
                              std::to_string((a >> 16) & 255) + "." + std::to_string((a >> 8) & 255) + "." +
                              std::to_string(a & 255) + ")\"";
    script += "wait-window " + title + " 20000\nwindow-shot " + title + " " +
              (dir / ("box" + std::to_string(i) + ".png")).string() + "\n";
  }
  WriteFile(suite / "Alias Data", alias);
  // The start-up program runs no event loop: the script is the monitor's.
  WriteFile(dir / "monitor.txt", script + "menu 129 5\n");
  ScopedEnv drive("TOOLBOX_SCRIPT", (dir / "monitor.txt").c_str());

  // Registered as the installer registers it, then run as the desktop runs
  // an autostart entry: its Exec line, from the home folder, with nothing
  // telling the program where it lies.
  ASSERT_EQ(tb::AddLoginItemPath(startup.string(), false), noErr);
  std::string exec;
  for (const auto& entry : fs::directory_iterator(dir / "config/autostart"))
    for (const std::string& line : testsupport::ReadLines(entry.path()))
      if (line.rfind("Exec=", 0) == 0) exec = line.substr(5);
  // The desktop-entry quoting: one quoted program path.
  ASSERT_TRUE(exec.size() > 2 && exec.front() == '"') << exec;
  const std::string program = exec.substr(1, exec.rfind('"') - 1);
  EXPECT_EQ(fs::path(program), startup / "Contents/MacOS/VEMO-MONITOR Startup");
  ScopedEnv noPath("TOOLBOX_APP_PATH", nullptr);
  std::string err;
  ASSERT_EQ(run({program}, &err, dir / "home"), 0) << err;
  // Both printers' windows were open; the monitor's script ran to its end.
  EXPECT_TRUE(fs::exists(dir / "box0.png") && fs::exists(dir / "box1.png")) << err;
  EXPECT_EQ(err.find("script:"), std::string::npos) << err;

  // No monitor: nothing started, the program ends normally with its line.
  fs::remove(monitor / "MacOS/VEMO-MONITOR");
  err.clear();
  ASSERT_EQ(run({program}, &err, dir / "home"), 0);
  EXPECT_EQ(err, "VEMO-MONITOR Startup: the monitor is not installed beside this program\n");
  emu.Stop();
}

}  // namespace

// The real installer from a copy of the build's disc against four emulated
// print boxes (one of them of the old version), driven by scripts through
// the administrator-mode page and the monitor's set-up; then the files it
// wrote, byte for byte, and the programs that own them reading them: the
// administration program starts in the mode chosen, and the monitor's login
// item brings up the monitor watching the printer chosen. Every program on
// the disc is installed and started once from the install folder, and each
// works with the boxes.

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/pictures.h"
#include "toolbox/resources.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::WriteFile;

const std::string kTitle = "\"VEMOPLEX Installer\"";
const std::string kSettings = "\"Search Settings\"";

std::string clickAt(int x, int y, const std::string& title = kTitle) {
  return "click-window " + title + " " + std::to_string(x) + " " + std::to_string(y) + "\nwait 3\n";
}
const std::string kNext = clickAt(500, 355), kBack = clickAt(300, 355);
const std::string kTickAdmin = clickAt(20, 104), kTickMonitor = clickAt(20, 122), kTickHold = clickAt(20, 140);
// Page 149's radio buttons, page 151's name column header (the list comes
// sorted by it: a click turns the order, a second turns it back), first and
// second rows and buttons, page 152's first not-armed event and ">>", page
// 153's login box and interval.
const std::string kAdminMode = clickAt(100, 114), kUserMode = clickAt(100, 139);
const std::string kSortByName = clickAt(100, 89) + clickAt(100, 89), kTopPrinter = clickAt(100, 104),
                  kFirstPrinter = clickAt(100, 125), kSearchAgain = clickAt(80, 295), kOpenSettings = clickAt(230, 295);
const std::string kFirstEvent = clickAt(100, 114), kArm = clickAt(280, 160);
const std::string kLoginBox = clickAt(48, 148), kInterval = clickAt(240, 213);
// The settings dialog's Add, Apply, Cancel and OK.
const std::string kAdd = clickAt(320, 115, kSettings), kApply = clickAt(170, 315, kSettings),
                  kCancel = clickAt(260, 315, kSettings), kOK = clickAt(350, 315, kSettings);
const std::string kClearInterval = "key Delete\nkey Delete\nkey Delete\nkey Delete\nkey Delete\n";
// Up to the printer page: language, welcome, licence, tools (as ticked
// before), folder, check, the copy.
const std::string kToCopy = kNext + kNext + kNext;
const std::string kCopy = kNext + kNext + kNext + "wait 20\n";

std::string dotted(UInt32 a) {
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." + std::to_string((a >> 8) & 255) + "." +
         std::to_string(a & 255);
}

std::string macText(const std::array<UInt8, 6>& m) {
  char b[24];
  std::snprintf(b, sizeof b, "%02X;%02X;%02X;%02X;%02X;%02X", m[0], m[1], m[2], m[3], m[4], m[5]);
  return b;
}

std::vector<UInt8> bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<UInt8> resourceOf(const fs::path& file, ResType type, SInt16 id) {
  const std::string image = ReadFile(file);
  std::vector<tb::ResourceEntry> entries;
  if (tb::ParseResourceFile(std::span<const UInt8>(reinterpret_cast<const UInt8*>(image.data()), image.size()),
                            entries) != noErr)
    return {};
  for (const auto& e : entries)
    if (e.type == type && e.id == id) return e.data;
  return {};
}

const char* const kNames[] = {"Office C", "Reception E", "Studio B", "Archive A"};
constexpr int kHoldBox = 2, kOldBox = 3;

class MonitorSetup : public ::testing::Test {
 protected:
  MonitorSetup() {
    const char* build = std::getenv("VEMO_BUILD_DIR");
    fs::create_directories(dir / "home");
    std::string cmd = std::string("cp -a ") + build + "/disc " + (dir / "disc").string();
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    exe = dir / "disc/vemoplexinstall.app/Contents/MacOS/vemoplexinstall";
    for (const char* name : kNames) {
      pboxemu::BoxSpec box;
      box.name = name;
      // The third box keeps jobs for the held-job manager, which lists only
      // boxes that say they can.
      if (box.name == "Studio B") {
        box.hasMachineType = true;
        std::memcpy(box.machineType.data(), "VEMOPLEX[C]", 11);
        box.machineType[15] = 0x23;
      }
      // The last is of the old version and answers the new search as well.
      box.oldVersion = box.answersNewSearch = box.name == "Archive A";
      emu.AddBox(box);
    }
    emu.Hold().Enable();
    emu.Hold().AddFolder(kHoldBox, {1, "1_Design", 0, 0});
    pboxemu::HeldJob job;
    job.folder = 1;
    job.name = "plan.txt";
    job.owner = "alice";
    emu.Hold().AddJob(kHoldBox, job);
    std::string err;
    EXPECT_TRUE(emu.Start(&err)) << err;
  }
  ~MonitorSetup() override { emu.Stop(); }

  // Runs the installer with the script; its trace in trace.txt.
  int install(const std::string& script) {
    WriteFile(dir / "script.txt", "wait-window " + kTitle + "\n" + script);
    ScopedEnv s("TOOLBOX_SCRIPT", (dir / "script.txt").c_str());
    ScopedEnv t("TOOLBOX_TRACE", "install");
    ScopedEnv a("TOOLBOX_APP_PATH", exe.c_str());
    return testsupport::RunProgramErrTo({exe.string()}, dir / "trace.txt");
  }
  std::string trace() { return ReadFile(dir / "trace.txt"); }
  int count(const std::string& line) {
    int n = 0;
    for (const auto& l : testsupport::ReadLines(dir / "trace.txt")) n += l == line;
    return n;
  }
  // The box the trace says was chosen.
  int chosenBox() {
    for (int b = 0; b < emu.BoxCount(); ++b)
      if (count("[install] printer chosen: " + dotted(emu.BoxAddress(b))) > 0) return b;
    return -1;
  }
  // An installed program of the install folder ("VEMO-ADMIN" is
  // "VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN") run by script; its exit
  // status.
  int runInstalled(const std::string& program, const std::string& script) {
    WriteFile(dir / "program.txt", script);
    ScopedEnv s("TOOLBOX_SCRIPT", (dir / "program.txt").c_str());
    const fs::path exe = dir / "home/VEMOPLEX" / (program + ".app") / "Contents/MacOS" / program;
    return testsupport::RunProgram({exe.string()});
  }
  // The administration program in the window titled so: it lists the boxes
  // its search finds (the shot in admin.png) and quits by its menu.
  int adminStartsAs(const std::string& title) {
    return runInstalled("VEMO-ADMIN", "wait-window " + title + " 20000\nsleep 3500\nwindow-shot " + title + " " +
                                          (dir / "admin.png").string() + "\nmenu 129 3\nwait 5\nkey Return\nwait 5\n");
  }
  // The rows of a list in a window shot that show anything but white, from
  // the row at top (each height pixels high) down to the first blank one,
  // looking between x0 and x1.
  int listedRows(const fs::path& shotFile, int x0, int x1, int top, int height) {
    const auto shot = testsupport::ReadPNG(shotFile);
    if (!shot) return -1;
    int rows = 0;
    for (bool ink = true; ink && top + (rows + 1) * height <= shot->height; rows += ink) {
      ink = false;
      for (int y = top + rows * height; y < top + (rows + 1) * height && !ink; ++y)
        for (int x = x0; x < x1 && !ink; ++x) {
          ink = testsupport::RgbAt(*shot, x, y) != std::array<int, 3>{255, 255, 255};
        }
    }
    return rows;
  }

  testsupport::TempDir dir;
  ScopedEnv home{"HOME", (dir / "home").c_str()};
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").c_str()};
  ScopedEnv runtime{"XDG_RUNTIME_DIR", (dir / "run").c_str()};
  ScopedEnv ports{"TOOLBOX_PORTMAP", (pboxemu::PrivatePortMap() + "," + pboxemu::HoldPortMap()).c_str()};
  pboxemu::Emulator emu;
  fs::path exe;
};

TEST_F(MonitorSetup, WholeInstallationThenEveryProgramWorksAndReadsWhatItWrote) {
  // Every tool ticked. The broadcast list gets the second box's address;
  // user mode is chosen, left through Back and replaced by administrator
  // mode; the first not-armed event is armed; the monitor starts at login
  // every 2000 ms.
  const std::string second = dotted(emu.BoxAddress(1));
  const std::string script = kToCopy + kTickAdmin + kCopy +                                    // every tool ticked
                             kUserMode + kNext + kBack + kAdminMode + kNext +                  // 149, 150, 149
                             kNext + "sleep 2500\nwait 3\n" +                                  // 150 yes: the search
                             kOpenSettings + "type " + second + "\n" + kAdd + kOK +            // 151 settings
                             kSearchAgain + "sleep 2500\nwait 3\n" + kFirstPrinter + kNext +   // again, chosen
                             kFirstEvent + kArm + kNext +                                      // 152
                             kLoginBox + kInterval + kClearInterval + "type 2000\n" + kNext +  // 153 writes
                             kNext;                                                            // 145 Finish
  ASSERT_EQ(install(script), 0) << trace();
  EXPECT_EQ(count("[install] administrator mode 0"), 1) << trace();
  EXPECT_EQ(count("[install] administrator mode 1"), 1);
  EXPECT_EQ(count("[install] printer list: 4 rows"), 2) << trace();
  EXPECT_EQ(count("[install] search again"), 1);
  const int box = chosenBox();
  ASSERT_GE(box, 0) << trace();
  // The probes: the broadcast entry to every box, and once the second box's
  // address is listed, to that box as well.
  for (int b = 0; b < emu.BoxCount(); ++b) {
    bool broadcast = false, direct = false;
    for (const auto& r : emu.Requests(b))
      if (r.kind == pboxemu::RequestRecord::Probe) (r.broadcast ? broadcast : direct) = true;
    EXPECT_TRUE(broadcast) << b;
    EXPECT_EQ(direct, b == 1) << b;
  }

  // The files, byte for byte.
  const fs::path prefs = dir / "config/vemo/Preferences";
  const std::vector<UInt8> mode = resourceOf(prefs / "VEMO-ADMIN Mode", 'ADMN', 128);
  ASSERT_EQ(mode.size(), 16u);
  EXPECT_EQ(std::vector<UInt8>(mode.begin(), mode.begin() + 5), (std::vector<UInt8>{0x06, 0x13, 0x06, 0x61, 0x15}));
  EXPECT_EQ(mode[15], 0);
  // 2000 ms, the limited broadcast, 3 resends, 8 events with 0 and 5 to 7 armed,
  // at login, TCP/IP, no zone, the sound.
  const std::vector<UInt8> record = {0x07, 0xD0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 3, 0, 0, 0, 0, 8, 0,
                                     0xE1, 0,    1, 0, 0,    0,    0,    0,    1, 0, 0, 0, 0, 0, 0, 0,
                                     0,    0,    0, 0, 0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0,
                                     0,    0,    0, 0, 0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 1};
  ASSERT_EQ(record.size(), 64u);
  const std::string mac = macText(emu.BoxMac(box));
  const fs::path folder = dir / "home/VEMOPLEX";
  for (const fs::path& f : {prefs / "VEMO-MONITOR Preferences", folder / ("VEMO-MONITOR-" + mac)}) {
    EXPECT_EQ(resourceOf(f, 'CNFG', 128), record) << f;
    EXPECT_EQ(resourceOf(f, 'PVER', 128).size(), 256u) << f;
    EXPECT_FALSE(resourceOf(f, 'TMPL', 128).empty()) << f;
    EXPECT_FALSE(resourceOf(f, 'TMPL', 130).empty()) << f;
  }
  std::string pointer = "\x19VEMOMON-" + mac;
  pointer.resize(256, '\0');
  EXPECT_EQ(ReadFile(folder / "MONITOR Data"), pointer);
  const std::string status = ReadFile(folder / ("VEMOMON-" + mac));
  ASSERT_EQ(status.size(), 184u);
  const std::vector<UInt8> s = bytes(status);
  EXPECT_EQ(s[0], 1);
  const std::string name = kNames[box];
  EXPECT_EQ(status.substr(4, 32), name + std::string(32 - name.size(), '\0'));
  const auto type = emu.BoxMachineType(box);
  EXPECT_EQ(std::vector<UInt8>(s.begin() + 36, s.begin() + 52), std::vector<UInt8>(type.begin(), type.end()));
  const auto boxMac = emu.BoxMac(box);
  EXPECT_EQ(std::vector<UInt8>(s.begin() + 56, s.begin() + 62), std::vector<UInt8>(boxMac.begin(), boxMac.end()));
  EXPECT_EQ(be::get32(s.data() + 66), emu.BoxAddress(box));
  EXPECT_EQ(be::get16(s.data() + 178), 2);
  EXPECT_EQ(status.substr(180), std::string(4, '\0'));
  EXPECT_EQ(ReadFile(folder / "Alias Data"), "[ALIAS]\r\nALIAS00=VEMOMON-" + mac + "\r\n");
  EXPECT_EQ(ReadFile(folder / "Brdadr"), "[SYSTEM]\r\nUDP00=" + second + "\r\n");

  // The login item: an autostart entry whose Exec quotes the path with its
  // blank and which is not disabled.
  std::string entry;
  for (const auto& f : fs::directory_iterator(dir / "config/autostart")) entry += ReadFile(f.path());
  const std::string startup = (folder /
                               "VEMO-MONITOR.app/Contents/VEMO-MONITOR Startup.app/Contents/MacOS/"
                               "VEMO-MONITOR Startup")
                                  .string();
  EXPECT_NE(entry.find("Exec=\"" + startup + "\""), std::string::npos) << entry;
  EXPECT_EQ(entry.find("Hidden=true"), std::string::npos) << entry;

  // Each program, started from the install folder, works with the boxes:
  // the administration program, in administrator mode, and the
  // file-transfer tool list them; the held-job manager lists the jobs of
  // the box that keeps some.
  EXPECT_EQ(adminStartsAs("VEMO-ADMIN"), 0);
  EXPECT_GE(listedRows(dir / "admin.png", 155, 290, 81, 18), 3);
  EXPECT_EQ(runInstalled("upcaster", "wait-window upcaster\nsleep 3500\nwindow-shot upcaster " +
                                         (dir / "upcaster.png").string() + "\nmenu 129 1\n"),
            0);
  EXPECT_GE(listedRows(dir / "upcaster.png", 25, 100, 136, 15), 3);
  EXPECT_EQ(
      runInstalled("VemoHoldManager",
                   "wait-window VemoHoldManager\nsleep 4000\npopup-item VemoHoldManager 3 1\nsleep 1500\nkey q cmd\n"),
      0);
  EXPECT_GE(emu.Hold().Requests(kHoldBox).size(), 2u);
  for (const char* link : {"VEMO-ADMIN.app", "VEMO-MONITOR.app", "VemoHoldManager.app"})
    EXPECT_EQ(fs::read_symlink(dir / "home" / link), folder / link) << link;

  // Started as the desktop starts the login item, the start-up program
  // brings up the monitor, whose status window watches the chosen box.
  emu.ClearLog();
  WriteFile(dir / "monitor.txt", "wait-window \"Status Monitor - " + name + "(" + dotted(emu.BoxAddress(box)) +
                                     ")\" 20000\nsleep 1000\nlog watching\nexit 0\n");
  std::string err;
  {
    ScopedEnv s("TOOLBOX_SCRIPT", (dir / "monitor.txt").c_str());
    EXPECT_EQ(testsupport::RunProgram({startup}, &err), 0);
  }
  EXPECT_NE(err.find("script: watching"), std::string::npos) << err;
  int polled = 0;
  for (const auto& r : emu.Requests(box)) polled += r.kind == pboxemu::RequestRecord::Command;
  EXPECT_GT(polled, 0);

  // A second installation of the administration program alone, in user
  // mode: it then starts in user mode; the monitor's files stay.
  ASSERT_EQ(install(kToCopy + kTickAdmin + kTickMonitor + kTickHold + kCopy + kUserMode + kNext + kNext), 0) << trace();
  EXPECT_EQ(adminStartsAs("\"VEMO-ADMIN [ User Mode ]\""), 0);
  EXPECT_TRUE(fs::exists(folder / "MONITOR Data"));
}

TEST_F(MonitorSetup, ThePrinterListShowsWhatTheLastSearchFound) {
  // Every box answers the first search, not the second, then again. The
  // fourth search cannot start (its second address lies outside the
  // loopback the tests are held to). After each, the list shows what that
  // search found; a click where a row stood chooses nothing, and Next skips
  // the monitor's set-up.
  pboxemu::FaultSpec silentOnce;
  silentOnce.mode = pboxemu::Fault::Silent;
  silentOnce.skip = 1;
  silentOnce.count = 1;
  silentOnce.command = false;
  emu.SetFault(-1, silentOnce);
  const struct Step {
    std::string action;
    const char* shot;
    int rows;
  } steps[] = {
      {"sleep 2500\nwait 3\n", "found.png", 4},
      {kSearchAgain + "sleep 3500\nwait 3\n", "none.png", 0},
      {kSearchAgain + "sleep 2500\nwait 3\n", "again.png", 4},
      {kOpenSettings + "type 10.1.2.3\n" + kAdd + kOK + kSearchAgain + "sleep 500\nwait 3\n", "failed.png", 0},
  };
  std::string script = kToCopy + kTickHold + kCopy + kNext;
  for (const Step& s : steps) script += s.action + "window-shot " + kTitle + " " + (dir / s.shot).string() + "\n";
  ASSERT_EQ(install(script + kFirstPrinter + kNext + kNext), 0) << trace();
  for (const Step& s : steps) EXPECT_EQ(listedRows(dir / s.shot, 30, 160, 118, 15), s.rows) << s.shot;
  EXPECT_EQ(trace().find("printer chosen"), std::string::npos) << trace();
  EXPECT_EQ(count("[install] page 151 item 1"), 1);
  EXPECT_EQ(count("[install] page 145 item 1"), 1) << trace();
}

TEST_F(MonitorSetup, SearchSettingsRulesOldBoxAndTheIntervalCheck) {
  // Only the monitor is installed. The search is started again while it
  // runs: it is aborted, and the new one starts once its end is seen. The
  // old box, first by name, is chosen; Back from the events page and Search
  // again still find every box. In the settings: a letter is refused with a
  // beep, a bad and a repeated address with their alerts; the address with
  // leading zeros is listed in its normal form and applied; fifteen more
  // fill the list, a seventeenth is refused, and Cancel puts back the
  // applied list. The interval 499 is refused, 15000 with leading zeros
  // taken. Then no at login: "Alias Data" lists nothing. The message file
  // gives the lists and the tab their own fonts, which they are drawn in.
  const fs::path messages = dir / "disc/vemoplexinstall.app/Contents/Resources/English/MESSAGE.INI";
  std::string text = ReadFile(messages);
  for (auto [from, to] : {std::pair{"LIST=Geneva,12,NORMAL,BLACK,WHITE", "LIST=Geneva,12,ITALIC,BLUE,WHITE"},
                          {"TAB=Geneva,12,NORMAL,BLACK,WHITE", "TAB=Geneva,12,BOLD,RED,WHITE"}}) {
    ASSERT_NE(text.find(from), std::string::npos) << from;
    text.replace(text.find(from), std::strlen(from), to);
  }
  WriteFile(messages, text);
  std::string fill;  // fifteen more addresses: sixteen in the list
  for (int i = 1; i <= 15; ++i) fill += "type 10.0.0." + std::to_string(i) + "\n" + kAdd;
  const std::string script =
      kToCopy + kTickHold + kCopy + kNext + kSearchAgain + "sleep 2500\nwait 3\n" +  // 150 yes, 151 at once again
      kSortByName + kTopPrinter + kNext + kBack + "sleep 2500\nwait 3\n" +           // the old box, back
      kSearchAgain + "sleep 2500\nwait 3\n" +                                        // and again
      kOpenSettings + "type a\nwait 3\nexpect-beeps 1\n" +                           // the key filter
      "type 256.1.1.1\n" + kAdd + "key Return\nwait 3\n" +                           // MESSAGE_21
      "key Delete\nkey Delete\nkey Delete\nkey Delete\nkey Delete\nkey Delete\nkey Delete\nkey Delete\nkey Delete\n" +
      "type 010.001.002.003\n" + kAdd + "type 10.1.2.3\n" + kAdd + "key Return\nwait 3\n" +  // MESSAGE_23
      kApply + "key Delete\nkey Delete\nkey Delete\nkey Delete\nkey Delete\nkey Delete\nkey Delete\nkey Delete\n" +
      fill + "type 10.0.0.16\n" + kAdd + "key Return\nwait 3\n" +  // a 17th: MESSAGE_22
      "window-shot " + kSettings + " " + (dir / "settings.png").string() + "\n" + kCancel + kFirstPrinter + kNext +
      kNext +                                                                       // 151, 152
      kInterval + kClearInterval + "type 499\n" + kNext + "key Return\nwait 3\n" +  // MESSAGE_24, stays
      kClearInterval + "type 0000015000\n" + kNext + kNext;
  ASSERT_EQ(install(script), 0) << trace();
  const std::string t = trace();
  EXPECT_NE(t.find("alert 603: The address is not valid."), std::string::npos) << t;
  EXPECT_NE(t.find("alert 603: The address is already in the list."), std::string::npos) << t;
  EXPECT_NE(t.find("alert 603: The list is full."), std::string::npos) << t;
  EXPECT_NE(t.find("alert 603: The polling interval must be a number from 500 to 15000."), std::string::npos) << t;
  EXPECT_EQ(count("[install] page 153 item 1"), 2);
  EXPECT_EQ(count("[install] search again"), 2);
  EXPECT_NE(t.find("searching -> restarting (search again)"), std::string::npos) << t;
  const auto aborted = t.find("restarting -> claimed (aborted)");
  ASSERT_NE(aborted, std::string::npos) << t;
  EXPECT_NE(t.find("claimed -> searching (started)", aborted), std::string::npos) << t;
  EXPECT_NE(t.find("[install] printer list: 4 rows", aborted), std::string::npos) << t;
  // After the old box was chosen, the search still asks on the new port:
  // Back to the printer page, and Search again there, list every box.
  const auto old = t.find("[install] printer chosen: " + dotted(emu.BoxAddress(kOldBox)));
  ASSERT_NE(old, std::string::npos) << t;
  const auto back = t.find("[install] printer list: 4 rows", old);
  ASSERT_NE(back, std::string::npos) << t;
  EXPECT_NE(t.find("[install] printer list: 4 rows", t.find("[install] search again", back)), std::string::npos) << t;
  const int box = chosenBox();
  ASSERT_GE(box, 0) << t;
  const fs::path folder = dir / "home/VEMOPLEX";
  const std::string mac = macText(emu.BoxMac(box));
  EXPECT_EQ(ReadFile(folder / "Brdadr"), "[SYSTEM]\r\nUDP00=10.1.2.3\r\n");
  EXPECT_EQ(ReadFile(folder / "Alias Data"), "[ALIAS]\r\n");
  EXPECT_FALSE(fs::exists(dir / "config/autostart"));
  const std::vector<UInt8> record = resourceOf(folder / ("VEMO-MONITOR-" + mac), 'CNFG', 128);
  ASSERT_EQ(record.size(), 64u);
  EXPECT_EQ(be::get16(record.data()), 15000);
  EXPECT_FALSE(fs::exists(dir / "config/vemo/Preferences/VEMO-ADMIN Mode"));
  // The tab's title in red, the list's rows in blue.
  const auto shot = testsupport::ReadPNG(dir / "settings.png");
  ASSERT_TRUE(shot);
  int red = 0, blue = 0;
  for (int y = 0; y < shot->height; ++y)
    for (int x = 0; x < shot->width; ++x) {
      const auto [r, g, b] = testsupport::RgbAt(*shot, x, y);
      red += r > 220 && g < 40 && b < 40;
      blue += r < 40 && g < 40 && b > 220;
    }
  EXPECT_GT(red, 10);
  EXPECT_GT(blue, 100);
}

}  // namespace

// The real VEMO-MONITOR, started as the administration program, the login
// and the user start it, driven by a script against emulated print boxes:
// the windows each launch path opens, what the status page shows, and the
// files a quit leaves.
#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/StrConv.h"
#include "dialogs_harness.h"
#include "Monitor/StatusData.h"
#include "OT/PBoxTable.h"
#include "pboxemu/emulator.h"
#include "suite/SuiteNames.h"
#include "test_support.h"
#include "toolbox/appleevents.h"
#include "toolbox/pictures.h"

namespace {

namespace fs = std::filesystem;
using montest::MacText;
using testsupport::ReadFile;
using testsupport::WriteFile;

// The launch event 'JCev'/'apop' for the monitor with one text item.
AppleEvent launchEvent(const std::string& text) {
  const OSType sig = 'VMxm';
  AEAddressDesc target;
  AECreateDesc(typeApplSignature, &sig, 4, &target);
  AppleEvent event;
  AECreateAppleEvent('JCev', 'apop', &target, kAutoGenerateReturnID, kAnyTransactionID, &event);
  AEDescList list;
  AECreateList(nullptr, 0, false, &list);
  AEPutPtr(&list, 1, typeChar, text.data(), Size(text.size()));
  AEPutParamDesc(&event, 'VMxm', &list);
  AEDisposeDesc(&list);
  AEDisposeDesc(&target);
  return event;
}

// The event flattened as VEMO_LAUNCH_EVENT carries it, in hex; the event is
// disposed of.
std::string hexOf(AppleEvent event) {
  std::string flat;
  tb::FlattenAppleEvent(&event, &flat);
  AEDisposeDesc(&event);
  std::string hex;
  char two[3];
  for (unsigned char c : flat) {
    std::snprintf(two, sizeof two, "%02x", c);
    hex += two;
  }
  return hex;
}

std::string launchEventHex(const std::string& text) { return hexOf(launchEvent(text)); }

// A core event addressed to the monitor by its signature.
AppleEvent monitorEvent(AEEventID id) {
  const OSType sig = 'VMxm';
  AEAddressDesc target;
  AECreateDesc(typeApplSignature, &sig, 4, &target);
  AppleEvent event;
  AECreateAppleEvent(kCoreEventClass, id, &target, kAutoGenerateReturnID, kAnyTransactionID, &event);
  AEDisposeDesc(&target);
  return event;
}

// The quit event the system sends the monitor at shut-down.
AppleEvent quitEvent() { return monitorEvent(kAEQuitApplication); }

// Sends the event to the running monitor without waiting for a reply; the
// event is disposed of.
void sendEvent(AppleEvent event) {
  AppleEvent reply;
  AEInitializeDesc(&reply);
  EXPECT_EQ(AESend(&event, &reply, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), noErr);
  AEDisposeDesc(&event);
}

// The open-documents event, which opens the printers of "Alias Data".
std::string openDocumentsHex() { return hexOf(monitorEvent(kAEOpenDocuments)); }

class MonitorProgram : public ::testing::Test {
 protected:
  MonitorProgram()
      : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()),
        home_("HOME", (dir_ / "home").c_str()),
        config_("XDG_CONFIG_HOME", (dir_ / "home/.config").c_str()),
        runtime_("XDG_RUNTIME_DIR", (dir_ / "run").c_str()) {
    const fs::path real = fs::path(std::getenv("VEMO_BUILD_DIR")) / "suite/VEMO-MONITOR.app/Contents";
    fs::create_directories(contents() / "MacOS");
    fs::create_directories(dir_ / "home");
    fs::create_symlink(real / "MacOS/VEMO-MONITOR", exe());
    fs::create_directory_symlink(real / "Resources", contents() / "Resources");
    WriteFile(contents() / "PkgInfo", "APPLVMxm");
  }
  ~MonitorProgram() override { emu.Stop(); }

  fs::path suite() const { return dir_ / "suite"; }
  fs::path contents() const { return suite() / "VEMO-MONITOR.app/Contents"; }
  fs::path exe() const { return contents() / "MacOS/VEMO-MONITOR"; }

  void StartBoxes(int n) { montest::StartOffices(emu, n); }
  PBOXinfo Box(int i) const { return montest::OfficeBox(emu, i); }

  std::string Title(int i) const {
    char ip[16];
    iptoa(emu.BoxAddress(i), ip);
    return "\"Status Monitor - Office " + std::string(1, char('A' + i)) + "(" + ip + ")\"";
  }

  // The 436-byte record the administration program sends.
  std::string LaunchRecord(int i) const {
    std::array<UInt8, kPBOXinfoPackedSize> packed{};
    PackPBOXinfo(Box(i), packed);
    std::string record(reinterpret_cast<const char*>(packed.data()), packed.size());
    std::string language(kLaunchLanguageSize, '\0');
    language[0] = '*';
    return record + language;
  }

  // A status-data file beside the bundles for box i; its name.
  std::string StatusFile(int i) const {
    std::array<UInt8, kPBOXinfoPackedSize> packed{};
    PackPBOXinfo(Box(i), packed);
    const std::string name = "VEMOMON-" + MacText(emu.BoxMac(i));
    WriteFile(suite() / name, std::string(reinterpret_cast<const char*>(packed.data()), packed.size()) +
                                  std::string(4, '\0'));
    return name;
  }

  // Runs the program with the script; its exit status and standard error.
  // onOutput sees the standard error read so far after each read.
  int Run(const std::string& script, const char* launchHex, std::string* err,
          const std::function<void(const std::string&)>& onOutput = {}) {
    WriteFile(dir_ / "tour.txt", script);
    testsupport::ScopedEnv s("TOOLBOX_SCRIPT", (dir_ / "tour.txt").c_str());
    testsupport::ScopedEnv app("TOOLBOX_APP_PATH", exe().c_str());
    std::optional<testsupport::ScopedEnv> launch;
    if (launchHex) launch.emplace("VEMO_LAUNCH_EVENT", launchHex);
    else unsetenv("VEMO_LAUNCH_EVENT");
    return testsupport::RunProgram({exe().string()}, err, {}, onOutput);
  }

  testsupport::TempDir dir_;
  // Apple events find this test's programs only.
  testsupport::ScopedEnv ports_, home_, config_, runtime_;
  pboxemu::Emulator emu;
};

// The colour at a point of a window's content in a window shot whose
// content is `contentHeight` high (the title bar lies above it).
std::array<int, 3> Probe(const std::optional<tb::Image>& image, int contentHeight, int x, int y) {
  if (!image) return {-1, -1, -1};
  return testsupport::RgbAt(*image, x, image->height - contentHeight + y);
}

TEST_F(MonitorProgram, TheLaunchRecordOpensTheBoxsWindowAndQuitWritesItsFiles) {
  StartBoxes(1);
  const std::string shot = (dir_ / "status.png").string();
  const std::string hex = launchEventHex(LaunchRecord(0));
  // The status-sharing file the held-job manager reads, while the window
  // watches.
  const fs::path shared = dir_ / "home" / suite::kStatusFolderName / Stat_Com_File_Name(emu.BoxMac(0).data());
  bool sharedWhileOpen = false;
  std::string err;
  const int status = Run("wait-window " + Title(0) +
                             " 10000\n"
                             "sleep 1500\n"
                             "window-shot " +
                             Title(0) + " " + shot +
                             "\n"
                             "log watching\n"
                             "sleep 200\n"
                             "menu 129 5\n",
                         hex.c_str(), &err, [&](const std::string& out) {
                           if (out.find("watching") != std::string::npos) sharedWhileOpen |= fs::exists(shared);
                         });
  ASSERT_EQ(status, 0) << err;
  EXPECT_TRUE(sharedWhileOpen);
  EXPECT_FALSE(fs::exists(shared)) << "deleted when the window closed";

  // The status page: the ready picture, green, in its frame.
  const auto c = Probe(testsupport::ReadPNG(shot), 340, 28, 48);
  EXPECT_LT(c[0], 90) << c[0] << "," << c[1] << "," << c[2];
  EXPECT_GT(c[1], 130);

  // Quitting saved the program's preferences, the printer's settings, its
  // status-data file and the pointer file naming it.
  EXPECT_TRUE(fs::exists(dir_ / "home/.config/vemo/Preferences" / suite::kMonitorPrefsName));
  const std::string mac = MacText(emu.BoxMac(0));
  EXPECT_TRUE(fs::exists(suite() / ("VEMO-MONITOR-" + mac)));
  EXPECT_EQ(fs::file_size(suite() / ("VEMOMON-" + mac)), kPBOXRecordFileSize);
  EXPECT_NE(ReadFile(suite() / "MONITOR Data").find("VEMOMON-" + mac), std::string::npos);
}

// The status page's picture for each state of the printer.
TEST_F(MonitorProgram, TheStatusPictureFollowsThePrinter) {
  StartBoxes(1);
  const std::string hex = launchEventHex(LaunchRecord(0));
  using RGB = std::array<int, 3>;
  const RGB green{40, 160, 70}, grey{150, 150, 150}, red{210, 40, 40}, white{255, 255, 255};
  const RGB segment{20, 20, 20}, place{235, 240, 235};
  struct Case {
    pboxemu::PrinterState state;
    const char* what;
    RGB picture, errorIcon;  // the picture's ground, the mark left of the message
    RGB copies;              // the top of the counter's last place ("12" copies, or blank)
    bool powered;            // the power icon shows
    bool consumables;        // the consumables button is enabled (black caption)
  };
  const Case cases[] = {{pboxemu::PrinterState::Ready, "ready", green, white, segment, true, true},
                        {pboxemu::PrinterState::PaperOut, "paper out", green, red, segment, true, true},
                        {pboxemu::PrinterState::Sleeping, "sleeping", green, white, place, false, false},
                        {pboxemu::PrinterState::Lost, "lost", grey, white, place, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emu.SetPrinterState(0, c.state);
    const std::string shot = (dir_ / "state.png").string();
    std::string err;
    ASSERT_EQ(Run("wait-window " + Title(0) + " 10000\n"
                  "sleep 4000\n"
                  "window-shot " + Title(0) + " " + shot + "\n"
                  "menu 129 5\n",
                  hex.c_str(), &err),
              0)
        << err;
    const auto image = testsupport::ReadPNG(shot);
    ASSERT_TRUE(image);
    EXPECT_EQ(Probe(image, 340, 28, 48), c.picture);
    EXPECT_EQ(Probe(image, 340, 113, 53), c.errorIcon);  // below the first letter's baseline
    EXPECT_EQ(Probe(image, 340, 156, 165), c.copies);
    EXPECT_EQ(Probe(image, 340, 23, 135) == (RGB{40, 170, 60}), c.powered);
    int black = 0;
    for (int y = 248; y < 258; ++y)
      for (int x = 330; x < 410; ++x) black += Probe(image, 340, x, y)[0] < 80;
    EXPECT_EQ(black > 10, c.consumables) << black;
  }
}

// The consumables button opens one window over the status window; a second
// press adds none. The box's master is full and its one tray 8/10 full.
TEST_F(MonitorProgram, TheConsumablesWindowShowsTheBoxsGauges) {
  StartBoxes(1);
  const std::string hex = launchEventHex(LaunchRecord(0));
  const std::string shot = (dir_ / "consumables.png").string();
  std::string err;
  ASSERT_EQ(Run("wait-window " + Title(0) +
                    " 10000\n"
                    "sleep 1500\n"
                    "click-item " +
                    Title(0) +
                    " 30\n"
                    "wait-window \"Consumables\" 5000\n"
                    "click-item " +
                    Title(0) +
                    " 30\n"
                    "sleep 500\n"
                    "window-shot \"Consumables\" " +
                    shot +
                    "\n"
                    "click-item \"Consumables\" 1\n"
                    "menu 129 5\n",
                hex.c_str(), &err),
            0)
      << err;
  using RGB = std::array<int, 3>;
  const RGB green{40, 160, 70}, grey{200, 200, 200}, white{255, 255, 255};
  const auto image = testsupport::ReadPNG(shot);
  EXPECT_EQ(Probe(image, 328, 205, 46), green) << "master gauge, full";
  EXPECT_EQ(Probe(image, 328, 190, 106), green) << "tray gauge, 8/10";
  EXPECT_EQ(Probe(image, 328, 205, 106), grey) << "tray gauge, the empty part";
  EXPECT_EQ(Probe(image, 328, 285, 150), white) << "the remaining panel";
}

// The information page: its text drawn in the view, the pop-up over it,
// and the save button: cancelled it gives back what the chooser handed
// over (the program's clean end under the leak checker shows it), answered
// it writes the text where the chooser says.
TEST_F(MonitorProgram, TheInformationPageShowsAndSavesTheText) {
  StartBoxes(1);
  const std::string hex = launchEventHex(LaunchRecord(0));
  const std::string shot = (dir_ / "info.png").string();
  const std::string saved = (dir_ / "info.txt").string();
  std::string err;
  ASSERT_EQ(Run("wait-window " + Title(0) +
                    " 10000\n"
                    "sleep 1500\n"
                    "click-window " +
                    Title(0) +
                    " 90 17\n"
                    "sleep 1500\n"
                    "window-shot " +
                    Title(0) + " " + shot +
                    "\n"
                    "chooser-cancel\n"
                    "click-item " +
                    Title(0) +
                    " 7\n"
                    "sleep 200\n"
                    "log cancelled\n"
                    "chooser-answer " +
                    saved +
                    "\n"
                    "click-item " +
                    Title(0) +
                    " 7\n"
                    "menu 129 5\n",
                hex.c_str(), &err),
            0)
      << err;
  EXPECT_NE(err.find("cancelled"), std::string::npos);
  const std::string text = ReadFile(saved);
  EXPECT_EQ(text.rfind("****", 0), 0u) << text;
  EXPECT_NE(text.find("Printer Information"), std::string::npos);
  EXPECT_LE(text.size(), 16000u);
  // Dark pixels of text inside the view, none in its empty right part.
  const auto image = testsupport::ReadPNG(shot);
  ASSERT_TRUE(image);
  int dark = 0;
  for (int y = 75; y < 260; ++y)
    for (int x = 25; x < 200; ++x) dark += Probe(image, 340, x, y)[0] < 100;
  EXPECT_GT(dark, 200);
  int popup = 0;  // the choice's name in the pop-up above the view
  for (int y = 42; y < 58; ++y)
    for (int x = 25; x < 60; ++x) popup += Probe(image, 340, x, y)[0] < 100;
  EXPECT_GT(popup, 5);
  EXPECT_EQ(Probe(image, 340, 380, 250), (std::array<int, 3>{255, 255, 255}));
}

// The administration program's "status monitor" command starts the real
// monitor for the selected box. The user hides its window; the box runs
// out of paper and comes back, which pops the window up with the sound;
// the monitor's quit leaves the printer's files.
TEST_F(MonitorProgram, TheAdministrationProgramStartsTheMonitorThatWatchesTheBox) {
  StartBoxes(1);
  const fs::path real = fs::path(std::getenv("VEMO_BUILD_DIR")) / "suite/VEMO-ADMIN.app/Contents";
  const fs::path admin = suite() / "VEMO-ADMIN.app/Contents";
  fs::create_directories(admin / "MacOS");
  fs::create_symlink(real / "MacOS/VEMO-ADMIN", admin / "MacOS/VEMO-ADMIN");
  fs::create_directory_symlink(real / "Resources", admin / "Resources");
  WriteFile(admin / "PkgInfo", "APPLVMxa");

  // Each program its own script: the administration program selects the
  // box, starts the monitor and quits; the monitor watches.
  const std::string adminTitle = "\"VEMO-ADMIN [ User Mode ]\"";
  WriteFile(dir_ / "admin.txt", "wait-window " + adminTitle +
                                    "\n"
                                    "sleep 2500\n"
                                    "click-window " +
                                    adminTitle +
                                    " 200 69\n"
                                    "wait 5\n"
                                    "menu 130 2\n"
                                    "wait 5\n"
                                    "sleep 500\n"
                                    "menu 129 3\n"
                                    "wait 5\n"
                                    "key Return\n");
  WriteFile(dir_ / "monitor.txt", "wait-window " + Title(0) +
                                      " 20000\n"
                                      "sleep 1000\n"
                                      "menu 129 2\n"
                                      "log monitor-hidden\n"
                                      "sleep 4000\n"
                                      "log paper-out-seen\n"
                                      "wait-window " +
                                      Title(0) +
                                      " 10000\n"
                                      "expect-sounds played 1\n"
                                      "log monitor-done\n"
                                      "menu 129 5\n");
  testsupport::ScopedEnv adminScript("TOOLBOX_SCRIPT_VMxa", (dir_ / "admin.txt").c_str());
  testsupport::ScopedEnv monitorScript("TOOLBOX_SCRIPT_VMxm", (dir_ / "monitor.txt").c_str());
  testsupport::ScopedEnv app("TOOLBOX_APP_PATH", (admin / "MacOS/VEMO-ADMIN").c_str());
  unsetenv("VEMO_LAUNCH_EVENT");

  // Both programs write to one pipe; it ends when both have ended.
  bool paperOut = false, back = false;
  std::string out;
  const int status =
      testsupport::RunProgram({(admin / "MacOS/VEMO-ADMIN").string()}, &out, {}, [&](const std::string& seen) {
        if (!paperOut && seen.find("monitor-hidden") != std::string::npos) {
          emu.SetPrinterState(0, pboxemu::PrinterState::PaperOut);
          paperOut = true;
        }
        if (!back && seen.find("paper-out-seen") != std::string::npos) {
          emu.SetPrinterState(0, pboxemu::PrinterState::Ready);
          back = true;
        }
      });
  EXPECT_EQ(status, 0) << out;
  EXPECT_TRUE(back) << out;
  EXPECT_NE(out.find("monitor-done"), std::string::npos) << out;
  EXPECT_EQ(out.find("script: line"), std::string::npos) << out;  // no step failed

  const std::string mac = MacText(emu.BoxMac(0));
  EXPECT_TRUE(fs::exists(suite() / ("VEMO-MONITOR-" + mac)));
  EXPECT_EQ(fs::file_size(suite() / ("VEMOMON-" + mac)), kPBOXRecordFileSize);
  EXPECT_NE(ReadFile(suite() / "MONITOR Data").find("VEMOMON-" + mac), std::string::npos);
}

// However it is started, on a system that installs the open-application
// handler (0x1049) and on one that does not (0x1080), the monitor reaches
// its loop and opens what it was asked for; above 0x107F the default
// printer opens on the loop's sixth pass unless a launch event came first.
TEST_F(MonitorProgram, EachLaunchPathOpensItsWindowsOnEverySystem) {
  StartBoxes(3);
  // The alias file lists the first and third printers; the pointer file
  // names the second, the default printer.
  WriteFile(suite() / "Alias Data", "[ALIAS]\r\nALIAS00=" + StatusFile(0) + "\r\nALIAS01=" + StatusFile(2) + "\r\n");
  const std::string second = StatusFile(1);
  const fs::path defaultSettings = suite() / ("VEMO-MONITOR-" + MacText(emu.BoxMac(1)));
  const std::string record = launchEventHex(LaunchRecord(0)), alias = launchEventHex("Alias Data");

  struct Case {
    const char* what;
    const char* system;
    std::string launch;  // empty: started by hand
    std::vector<int> windows;
    const char* rule;  // how the five-pass rule ends; null where it does not run
  };
  const char* kNoLaunch = "5 passes -> done (sixth pass, no launch event: the default printer opens)";
  const char* kLaunched = "5 passes -> done (sixth pass, a launch event came)";
  const Case cases[] = {
      {"by hand", "0x1049", "", {1}, nullptr},
      {"by hand", "0x1080", "", {1}, kNoLaunch},
      {"launch record", "0x1049", record, {0}, nullptr},
      {"launch record", "0x1080", record, {0}, kLaunched},
      {"alias data", "0x1049", alias, {0, 2}, nullptr},
      {"alias data", "0x1080", alias, {0, 2}, kLaunched},
      // The open-documents event is no launch event: the default printer
      // joins the listed ones.
      {"open documents", "0x1080", openDocumentsHex(), {0, 2, 1}, kNoLaunch},
      {"unusable launch text", "0x1049", launchEventHex(""), {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " at " + c.system);
    testsupport::ScopedEnv system("TOOLBOX_GESTALT", (std::string("sysv=") + c.system).c_str());
    testsupport::ScopedEnv trace("TOOLBOX_TRACE", "monitor");
    // Every quit names the last printer closed here: name the second again.
    WriteFile(suite() / "MONITOR Data", std::string(1, char(second.size())) + second + std::string(1, '\0'));
    fs::remove(defaultSettings);
    std::string script;
    // (Bounds for a loaded machine, not waits: each ends when its window
    // stands.)
    for (int w : c.windows) script += "wait-window " + Title(w) + " 60000\n";
    if (c.windows.empty()) script += "wait-window \"Status Monitor\" 60000\n";
    // Past the sixth pass of the loop, counted in passes (a loaded machine
    // makes fewer of them in a second): the default printer has opened or
    // never will.
    script += "wait 8\nmenu 129 5\n";
    std::string err;
    EXPECT_EQ(Run(script, c.launch.empty() ? nullptr : c.launch.c_str(), &err), 0) << err;
    const bool opensDefault = std::find(c.windows.begin(), c.windows.end(), 1) != c.windows.end();
    EXPECT_EQ(fs::exists(defaultSettings), opensDefault);
    if (c.rule) {
      EXPECT_NE(err.find("five-pass rule"), std::string::npos) << err;
      EXPECT_NE(err.find("4 passes -> 5 passes"), std::string::npos) << err;
      EXPECT_NE(err.find(c.rule), std::string::npos) << err;
    } else {
      EXPECT_EQ(err.find("five-pass rule"), std::string::npos) << err;
    }
  }
}

// The application menu's Quit stands disabled while an option dialog is
// open; once it is closed Quit closes the windows and ends the program.
TEST_F(MonitorProgram, QuitWaitsWhileTheOptionDialogStands) {
  StartBoxes(1);
  const std::string hex = launchEventHex(LaunchRecord(0));
  std::string err;
  ASSERT_EQ(Run("wait-window " + Title(0) + " 10000\n" +
                    "sleep 500\n"
                    "click-item " +
                    Title(0) + " 1\n" +
                    "wait-window Options 5000\n"
                    "menu -16500 1\n"
                    "sleep 500\n"
                    "wait-window Options 1000\n"
                    "log quit-refused\n"
                    "click-item Options 2\n"
                    "wait-window " +
                    Title(0) + " 5000\n" +
                    "menu -16500 1\n"
                    "sleep 3000\n"
                    "log still-running\n"
                    "menu 129 5\n",
                hex.c_str(), &err),
            0)
      << err;
  EXPECT_NE(err.find("quit-refused"), std::string::npos) << err;
  EXPECT_EQ(err.find("still-running"), std::string::npos) << err;
  EXPECT_EQ(err.find("script: line"), std::string::npos) << err;
  // The quit closed the window, which saved its printer's settings.
  EXPECT_TRUE(fs::exists(suite() / ("VEMO-MONITOR-" + MacText(emu.BoxMac(0)))));
}

// The system's quit (its shut-down, which SIGTERM stands for) in the middle
// of a command: whatever stands (the details dialog over the searching
// option dialog, the send confirmation, a transfer the box stalls), the
// program closes its windows, writes the printer's files and ends cleanly,
// with no sanitizer report; the stalled file is not reported as sent.
TEST_F(MonitorProgram, TheSystemsQuitDuringACommandEndsCleanly) {
  testsupport::ScopedEnv ports("TOOLBOX_PORTMAP", (pboxemu::PrivatePortMap() + "," + pboxemu::FtpPortMap()).c_str());
  montest::StartOffices(emu, 1, true);
  WriteFile(dir_ / "one.prn", std::string(100000, 'x'));
  const std::string hex = launchEventHex(LaunchRecord(0));
  const std::string window = Title(0), start = "wait-window " + window + " 10000\nsleep 800\n";
  // The FTP tab, then Select (item 12) and Send (item 5).
  const std::string send = start + "click-window " + window + " 168 25\nsleep 300\nchooser-answer " +
                           (dir_ / "one.prn").string() + "\nclick-item " + window + " 12\nsleep 300\nclick-item " +
                           window + " 5\nwait-window VEMO-MONITOR 5000\n";
  struct Case {
    const char* what;
    std::string script;
    bool stall;  // the box never connects for the file's data
  };
  const Case cases[] = {
      {"details over the option dialog",
       start + "click-item " + window + " 1\nwait-window Options 5000\nsleep 1500\nclick-item Options 8\nsleep 500\n",
       false},
      {"the send confirmation", send + "sleep 300\n", false},
      {"a stalled transfer", send + "click-item VEMO-MONITOR 1\nwait-window \"Sending Files\" 5000\nsleep 500\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emu.Ftp().ClearFaults();
    if (c.stall) {
      pboxemu::FtpFaultSpec stall;
      stall.mode = pboxemu::FtpFault::NoDial;
      stall.command = "STOR";
      emu.Ftp().SetFault(0, stall);
    }
    fs::remove(suite() / "MONITOR Data");
    bool quit = false;
    std::string err;
    const int status = Run(c.script + "log quit-now\nsleep 5000\nlog still-running\nexit 9\n", hex.c_str(), &err,
                           [&](const std::string& out) {
                             if (quit || out.find("quit-now") == std::string::npos) return;
                             quit = true;
                             sendEvent(quitEvent());
                           });
    EXPECT_EQ(status, 0) << err;
    EXPECT_TRUE(quit) << err;
    EXPECT_EQ(err.find("still-running"), std::string::npos) << err;
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
    EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
    EXPECT_EQ(err.find("script: line"), std::string::npos) << err;
    EXPECT_NE(ReadFile(suite() / "MONITOR Data").find("VEMOMON-" + MacText(emu.BoxMac(0))), std::string::npos);
    for (const auto& f : emu.Ftp().Files(0)) EXPECT_FALSE(f.complete) << f.name;
  }
}

// Eight windows are all there are: a ninth printer handed to the running
// monitor opens nothing (its settings file is never made).
TEST_F(MonitorProgram, ANinthPrinterIsRefused) {
  StartBoxes(9);
  std::string alias = "[ALIAS]\r\n";
  for (int i = 0; i < 8; ++i) alias += "ALIAS0" + std::to_string(i) + "=" + StatusFile(i) + "\r\n";
  WriteFile(suite() / "Alias Data", alias);
  std::string script;
  for (int i = 0; i < 8; ++i) script += "wait-window " + Title(i) + " 20000\n";
  // The program quits when the test has seen the refusal (or at last by
  // itself), however long a loaded machine takes to hand the event over.
  script += "log eight-open\nsleep 60000\nmenu 129 5\n";
  const std::string hex = launchEventHex("Alias Data");
  testsupport::ScopedEnv trace("TOOLBOX_TRACE", "monitor");
  bool sent = false, quit = false;
  std::string err;
  const int status = Run(script, hex.c_str(), &err, [&](const std::string& out) {
    if (!sent && out.find("eight-open") != std::string::npos) {
      sendEvent(launchEvent(LaunchRecord(8)));
      sent = true;
    }
    if (sent && !quit && out.find("no free status window") != std::string::npos) {
      sendEvent(quitEvent());
      quit = true;
    }
  });
  EXPECT_EQ(status, 0) << err;
  EXPECT_TRUE(sent);
  EXPECT_NE(err.find("no free status window"), std::string::npos);
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(fs::exists(suite() / ("VEMO-MONITOR-" + MacText(emu.BoxMac(i))))) << i;
  EXPECT_FALSE(fs::exists(suite() / ("VEMO-MONITOR-" + MacText(emu.BoxMac(8)))));
}

// The status window's options button opens the option dialog in the real
// program: its search lists the box (text in the list's first row), and
// Cancel leaves the program watching as before.
TEST_F(MonitorProgram, TheOptionsButtonOpensTheLiveSearch) {
  StartBoxes(1);
  const std::string hex = launchEventHex(LaunchRecord(0));
  const std::string shot = (dir_ / "options.png").string();
  std::string err;
  ASSERT_EQ(Run("wait-window " + Title(0) +
                    " 10000\n"
                    "sleep 1000\n"
                    "click-item " +
                    Title(0) +
                    " 1\n"
                    "wait-window Options 5000\n"
                    "sleep 2500\n"
                    "window-shot Options " +
                    shot +
                    "\n"
                    "click-item Options 2\n"
                    "sleep 500\n"
                    "wait-window " +
                    Title(0) +
                    " 5000\n"
                    "menu 129 5\n",
                hex.c_str(), &err),
            0)
      << err;
  const auto image = testsupport::ReadPNG(shot);
  // The watched box's row is there and selected (the selection's blue).
  int blue = 0;
  for (int y = 92; y < 104; ++y)
    for (int x = 24; x < 150; x += 2) {
      const auto c = Probe(image, 280, x, y);
      blue += c[2] > 150 && c[0] < 80;
    }
  EXPECT_GT(blue, 100) << "the box's row, selected";
}

}  // namespace

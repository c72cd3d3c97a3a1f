// Set-up shared by the tests that run the whole program in this process:
// the bundle's resources, private ports, its own cache and configuration
// folders, the virtual clock, and the emulated boxes; the program's own
// event loop driven by queued input; and the check that the main window
// still answers after a dialog or a command has ended.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include "FanctionLib/CList.h"
#include "holdmanager/HoldApp.h"
#include "holdmanager/HoldConfigDlg.h"
#include "holdmanager/HoldDialogs.h"
#include "holdmanager/HoldMainWnd.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/bundle.h"
#include "toolbox/carbonevents.h"
#include "toolbox/clock.h"
#include "toolbox/controls.h"
#include "toolbox/menus.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"
#include "toolbox/quickdraw.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox/windows.h"

namespace holdtest {

inline std::array<UInt8, 16> holdMachineType(UInt8 capability) {
  std::array<UInt8, 16> t{};
  std::memcpy(t.data(), "VEMOPLEX[C]", 11);
  t[15] = capability;
  return t;
}

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest()
      : ports_("TOOLBOX_PORTMAP", (pboxemu::PrivatePortMap() + "," + pboxemu::HoldPortMap()).c_str()),
        cache_("XDG_CACHE_HOME", dir_.path().string().c_str()),
        config_("XDG_CONFIG_HOME", (dir_.path() / "config").string().c_str()) {
    tb::ReloadNetConfig();
  }
  ~ProgramTest() override { tb::ReloadNetConfig(); }

  void SetUp() override {
    const std::filesystem::path bundle =
        std::filesystem::path(std::getenv("VEMO_BUILD_DIR")) / "suite/VemoHoldManager.app";
    tb::SetApplicationPath((bundle / "Contents/MacOS/VemoHoldManager").string());
    tb::SetMainBundlePath(bundle.string());
    OpenResources();
    tb::UseVirtualClock(true);
    tb::AdvanceTicks(600);
  }
  void OpenResources() {
    const std::filesystem::path bundle =
        std::filesystem::path(std::getenv("VEMO_BUILD_DIR")) / "suite/VemoHoldManager.app";
    tb::ResetResources();
    ASSERT_GT(tb::OpenApplicationResources((bundle / "Contents/Resources/VemoHoldManager.rsrc").string().c_str()), 0);
  }
  // Quit, and start again with what the program saved.
  void Restart() {
    QuitHoldManager();
    HoldShutdown();
    OpenResources();
    ASSERT_EQ(HoldStartup(), 1);
  }

  void TearDown() override {
    if (GetMainDlgData()) QuitHoldManager();
    HoldShutdown();
    tb::UseVirtualClock(false);
    emu_.Stop();
    tb::SetApplicationPath("");
    tb::SetMainBundlePath("");
    tb::ResetResources();
  }

  // The clock stands still while the first search waits for the box's
  // reply: the pop-up opens by itself 90 ticks after the search began, and
  // a reply that came later than that in passes (a loaded machine) would
  // find it opened before the test's release at the box was queued.
  static constexpr UInt32 kClockStill = 0;

  MAIN_DLG_DATA* M() { return GetMainDlgData(); }
  ControlRef Item(DialogItemIndex i) { return GetItemControl(M()->dialog, i); }

  // From now on the program's own idle timer steps it, as when it runs.
  void RunOnOwnTimer() {
    ASSERT_EQ(HoldInstallIdleTimer(), 1);
    ownTimer_ = true;
  }

  // The queued input taken by the program's own event loop, then the idle
  // timer's step (its own timer's, once installed), the clock ticks on
  // (one a pass unless told otherwise), until done().
  bool Loop(const std::function<bool()>& done, int ms = 15000, UInt32 ticks = 1) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      tb::SetIdleEventSource(+[] {
        QuitApplicationEventLoop();
        return false;
      });
      RunApplicationEventLoop();
      tb::SetIdleEventSource(nullptr);
      tb::Pump(1);
      if (!ownTimer_) IdleEventMainDlg();
      tb::AdvanceTicks(ticks);
      if (done()) return true;
      if (std::chrono::steady_clock::now() > end) return false;
    }
  }
  void Pass() {
    Loop([] { return true; });
  }
  bool LoopUntilIdle() {
    return Loop([&] { return M()->eng.current == 0 && !M()->eng.progress; });
  }

  // After a dialog or a command has ended: nothing is left above the main
  // window, which is in front and active, and it takes a click (Options
  // opens the configuration dialog, whose Cancel closes it), a key (it
  // reaches the window's own key handler) and a menu command (About opens
  // the about box, Return closes it).
  void ExpectMainWindowLive() {
    ASSERT_NE(M(), nullptr);
    ASSERT_TRUE(LoopUntilIdle());
    WindowRef main = GetDialogWindow(M()->dialog);
    ASSERT_EQ(FrontWindow(), main);
    ASSERT_EQ(GetFrontDialog(), M()->dialog);
    EXPECT_EQ(GetCountdDlg(), 1);
    EXPECT_EQ(SubDlgCount(), 0);
    EXPECT_EQ(GetPrgDlgPtr(), nullptr);
    EXPECT_TRUE(IsWindowHilited(main));

    ASSERT_TRUE(IsControlActive(Item(kItemOptions)));
    ASSERT_TRUE(tb::ClickDialogItem(M()->dialog, kItemOptions));
    ASSERT_TRUE(Loop([] { return ConfigDialog() != nullptr; }, 2000)) << "the click on Options was not taken";
    ASSERT_TRUE(tb::ClickDialogItem(ConfigDialog()->dialog, 3));
    ASSERT_TRUE(Loop([] { return ConfigDialog() == nullptr; }, 2000));
    EXPECT_EQ(FrontWindow(), main);

    static int keys;
    keys = 0;
    const DlgKeyDownProc own = M()->handlers.keyDown;
    M()->handlers.keyDown = +[](EventRecord* e, DialogRef) -> Boolean {
      keys += char(e->message & charCodeMask) == 'k';
      return true;
    };
    tb::PressKey('k', tb::KeyCodeForChar('k'));
    Loop([] { return keys > 0; }, 2000);
    M()->handlers.keyDown = own;
    EXPECT_EQ(keys, 1) << "the key did not reach the main window";

    ASSERT_TRUE(tb::ChooseMenuItem(1000, 1));
    ASSERT_TRUE(Loop([&] { return GetFrontDialog() != M()->dialog; }, 2000)) << "About was not taken";
    EXPECT_NE(FrontWindow(), main);
    tb::PressNamedKey("Return");
    ASSERT_TRUE(Loop([&] { return GetFrontDialog() == M()->dialog; }, 2000));
    EXPECT_EQ(FrontWindow(), main);
    EXPECT_EQ(GetCountdDlg(), 1);
  }

  // Two boxes the program lists, one it does not (capability without
  // 0x20), with two folders ("1_Design", "2_Sales") and jobs on the first;
  // jobs more on request. newer: the listed boxes are of the newer kind,
  // which lists one folder's jobs at a time.
  void StartBoxes(int extraJobs = 0, bool newer = false, UInt32 designId = 1, UInt32 salesId = 2) {
    for (UInt8 cap : {UInt8(newer ? 0xA3 : 0x23), UInt8(newer ? 0xA3 : 0x23), UInt8(0x03)}) {
      pboxemu::BoxSpec spec;
      spec.hasMachineType = true;
      spec.machineType = holdMachineType(cap);
      emu_.AddBox(spec);
    }
    auto& h = emu_.Hold();
    h.Enable();
    h.SetNewer(0, newer);
    h.AddFolder(0, {salesId, "2_Sales", 0, 0});
    h.AddFolder(0, {designId, "1_Design", 0, 0});
    for (int i = 0; i < 3 + extraJobs; ++i) {
      pboxemu::HeldJob j;
      j.folder = i == 1 ? salesId : designId;
      j.name = i == 0 ? "見積書.pdf" : "report-" + std::to_string(i);
      j.owner = "alice";
      j.size = 1536;
      h.AddJob(0, j);
    }
    std::string err;
    ASSERT_TRUE(emu_.Start(&err)) << err;
  }

  // Idle steps (the timer's work) with the network served, until done().
  // ticks: the virtual clock's step per pass.
  bool Drive(const std::function<bool()>& done, int ms = 15000, UInt32 ticks = 0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      tb::Pump(1);
      tb::AdvanceTicks(ticks);
      IdleEventMainDlg();
    }
    return true;
  }

  // One box the program lists, with the folders "1_Design" and "2_Sales"
  // and the jobs given (their ids in *ids); the program started, the box
  // chosen in the pop-up that opens by itself, its jobs listed.
  void StartWithOneBox(const std::vector<pboxemu::HeldJob>& jobs, std::vector<UInt32>* ids = nullptr) {
    pboxemu::BoxSpec spec;
    spec.hasMachineType = true;
    spec.machineType = holdMachineType(0x23);
    emu_.AddBox(spec);
    auto& h = emu_.Hold();
    h.Enable();
    h.AddFolder(0, {1, "1_Design", 0, 0});
    h.AddFolder(0, {2, "2_Sales", 0, 0});
    for (const pboxemu::HeldJob& j : jobs) {
      const UInt32 id = h.AddJob(0, j);
      if (ids) ids->push_back(id);
    }
    std::string err;
    ASSERT_TRUE(emu_.Start(&err)) << err;
    ASSERT_EQ(HoldStartup(), 1);
    ASSERT_TRUE(Loop([&] { return PopupCount(kItemDevice) == 1; }, 15000, kClockStill));
    Rect r;
    ASSERT_TRUE(tb::PopupItemRect(Item(kItemDevice), 1, &r));
    tb::AdvanceTicks(91);
    tb::MouseUpAt(Point{SInt16((r.top + r.bottom) / 2), SInt16((r.left + r.right) / 2)});
    IdleEventMainDlg();
    ASSERT_TRUE(Loop([&] { return M()->eng.current == 0 && CLGetCount(M()->tab0File) == int(jobs.size()); }));
  }

  int PopupCount(DialogItemIndex i) {
    ControlRef c = Item(i);
    return c ? CountMenuItems(GetControlPopupMenuHandle(c)) : -1;
  }

  // Starts the program, finds the boxes and chooses the first by the
  // pop-up that opens by itself.
  void StartAndChooseFirstBox() {
    ASSERT_EQ(HoldStartup(), 1);
    ASSERT_TRUE(Drive([&] { return PopupCount(kItemDevice) == 2; }));
    Rect r;
    ASSERT_TRUE(tb::PopupItemRect(Item(kItemDevice), 1, &r));
    const Point at{SInt16((r.top + r.bottom) / 2), SInt16((r.left + r.right) / 2)};
    tb::AdvanceTicks(91);
    tb::MouseUpAt(at);
    IdleEventMainDlg();
    ASSERT_EQ(M()->deviceAddr, emu_.BoxAddress(0));
    ASSERT_TRUE(Drive([&] { return M()->eng.current == 0 && CLGetCount(M()->tab0File) > 0; }));
  }

  testsupport::TempDir dir_;
  testsupport::ScopedEnv ports_, cache_, config_;
  pboxemu::Emulator emu_;
  bool ownTimer_ = false;
};

// A program test that, whatever the test did, checks the window it leaves
// answers.
class LiveProgramTest : public ProgramTest {
 protected:
  void TearDown() override {
    if (M() && !HasFatalFailure()) ExpectMainWindowLive();
    ProgramTest::TearDown();
  }
};

}  // namespace holdtest

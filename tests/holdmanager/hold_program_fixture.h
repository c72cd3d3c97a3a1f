// Set-up shared by the tests that run the whole program in this process:
// the bundle's resources, private ports, its own cache and configuration
// folders, the virtual clock, and the emulated boxes; the program's own
// event loop driven by queued input; and the check that the main window
// still answers after a dialog or a command has ended.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "holdmanager/HoldApp.h"
#include "holdmanager/HoldConfigDlg.h"
#include "holdmanager/HoldDialogs.h"
#include "holdmanager/HoldMainWnd.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/bundle.h"
#include "toolbox/carbonevents.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"

namespace holdtest {

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
    tb::ResetResources();
    ASSERT_GT(tb::OpenApplicationResources((bundle / "Contents/Resources/VemoHoldManager.rsrc").string().c_str()), 0);
    tb::UseVirtualClock(true);
    tb::AdvanceTicks(600);
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

  MAIN_DLG_DATA* M() { return GetMainDlgData(); }
  ControlRef Item(DialogItemIndex i) { return GetItemControl(M()->dialog, i); }

  // The queued input taken by the program's own event loop, then the idle
  // timer's step, the clock a tick on, until done().
  bool Loop(const std::function<bool()>& done, int ms = 15000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      tb::SetIdleEventSource(+[] {
        QuitApplicationEventLoop();
        return false;
      });
      RunApplicationEventLoop();
      tb::SetIdleEventSource(nullptr);
      tb::Pump(1);
      IdleEventMainDlg();
      tb::AdvanceTicks(1);
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

  testsupport::TempDir dir_;
  testsupport::ScopedEnv ports_, cache_, config_;
  pboxemu::Emulator emu_;
};

}  // namespace holdtest

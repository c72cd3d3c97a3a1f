// Set-up shared by the tests that run the whole program in this process:
// the bundle's resources, private ports, its own cache and configuration
// folders, the virtual clock, and the emulated boxes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "holdmanager/HoldApp.h"
#include "holdmanager/HoldMainWnd.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/bundle.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"
#include "toolbox/resources.h"

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

  testsupport::TempDir dir_;
  testsupport::ScopedEnv ports_, cache_, config_;
  pboxemu::Emulator emu_;
};

}  // namespace holdtest

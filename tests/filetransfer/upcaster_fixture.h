// Shared set-up of the file-transfer tool's tests: the built bundle's
// resources and English ini, a suite folder of the test's own (for
// "ConfigData"), and the modal alerts answered and recorded.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "filetransfer/Upcaster.h"
#include "test_support.h"
#include "toolbox/files.h"
#include "toolbox/resources.h"

namespace upctest {

namespace fs = std::filesystem;

inline std::string Bundle() {
  const char* build = std::getenv("VEMO_BUILD_DIR");
  return std::string(build ? build : ".") + "/suite/upcaster.app";
}

struct Alert {
  SInt16 id;
  std::string text;
};
inline std::vector<Alert> gAlerts;
inline short gAlertAnswer = 1;

class UpcasterTest : public ::testing::Test {
 protected:
  // Each test has its own preferences: tests of one binary run in parallel.
  UpcasterTest()
      : config_("XDG_CONFIG_HOME", (dir_ / "config").c_str()),
        app_("TOOLBOX_APP_PATH", (dir_ / "suite/upcaster.app/Contents/MacOS/upcaster").c_str()) {}

  void SetUp() override {
    fs::create_directories(dir_ / "suite/upcaster.app/Contents/MacOS");
    testsupport::WriteFile(dir_ / "suite/upcaster.app/Contents/MacOS/upcaster", "");
    tb::ResetResources();
    Appl_Rsrc_Fork_No = tb::OpenApplicationResources(Bundle() + "/Contents/Resources/upcaster.rsrc");
    ASSERT_GE(Appl_Rsrc_Fork_No, 0);
    std::snprintf(IniFileName, sizeof IniFileName, "%s", (Bundle() + "/Contents/Resources/English/ftpup.ini").c_str());
    prefs_ = tb::PreferencesFolderPath();
    fs::create_directories(prefs_);
    fs::remove(PrefPath());
    gAlerts.clear();
    gAlertAnswer = 1;
    upc::Set_Alert_Answer([](SInt16 id, const std::string& text) -> short {
      gAlerts.push_back({id, text});
      return gAlertAnswer;
    });
    ConfigData = CONFIGURATION{2500, 5, 3, 0x7FFFFFFFu, 0};
    upc::EnvInfo = BROAD_DATA{};
    upc::EnvInfo.tcp_count = 1;
    std::strcpy(upc::EnvInfo.broadcast[0], "127.255.255.255");
  }
  void TearDown() override {
    upc::Set_Alert_Answer(nullptr);
    tb::ResetResources();
  }

  fs::path PrefPath() const { return fs::path(prefs_) / "upcaster Preferences"; }
  fs::path ConfigDataPath() const { return dir_ / "suite/ConfigData"; }

  testsupport::TempDir dir_;
  testsupport::ScopedEnv config_;
  testsupport::ScopedEnv app_;
  std::string prefs_;
};

}  // namespace upctest

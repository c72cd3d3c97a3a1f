// The program as a login item, through the program's own lookup of its
// item (the stub host's does what the status monitor's does).
#include <gtest/gtest.h>

#include <filesystem>

#include "common/LoginPref.h"
#include "stub_host.h"
#include "test_support.h"
#include "toolbox/files.h"
#include "toolbox/loginitems.h"

using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace {

class LoginPref : public ::testing::Test {
 protected:
  void SetUp() override {
    testhost::Reset();
    program_ = (dir_.path() / "Apps/Monitor.app/Contents/MacOS/Monitor").string();
    WriteFile(program_, "#!/bin/sh\n");
    fs::permissions(program_, fs::perms::owner_all);
    ASSERT_EQ(tb::PathToSpec(program_, &spec_), noErr);
  }
  void TearDown() override { testhost::Reset(); }

  std::vector<std::string> Paths() {
    std::vector<LoginItem> items;
    EXPECT_EQ(LIAECopyLoginItems(&items), noErr);
    std::vector<std::string> out;
    for (const LoginItem& i : items) out.push_back(i.path);
    return out;
  }

  TempDir dir_;
  ScopedEnv config_{"XDG_CONFIG_HOME", (dir_.path() / "config").c_str()};
  const std::string autostart_ = (dir_.path() / "config/autostart").string();
  std::string program_;
  FSSpec spec_{};
};

}  // namespace

TEST_F(LoginPref, AddedTwiceAppearsOnceAndRemovedOnce) {
  const std::string foreign = autostart_ + "/aaa-editor.desktop";
  const std::string foreignText =
      "[Desktop Entry]\nType=Application\nName=Editor\nExec=/usr/bin/editor --daemon\n";
  WriteFile(foreign, foreignText);

  EXPECT_EQ(Set_Login_Preferences_Ex(&spec_, true), -1);
  EXPECT_EQ(Set_Login_Preferences_Ex(&spec_, true), 1);  // found behind the foreign entry
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/usr/bin/editor", program_}));
  EXPECT_EQ(testhost::host().loginPrefsCalls, 2);

  EXPECT_EQ(Set_Login_Preferences_Ex(&spec_, false), 1);
  EXPECT_EQ(Paths(), std::vector<std::string>{"/usr/bin/editor"});
  EXPECT_EQ(Set_Login_Preferences_Ex(&spec_, false), -1);  // nothing left to remove
  EXPECT_EQ(Paths(), std::vector<std::string>{"/usr/bin/editor"});
  EXPECT_EQ(ReadFile(foreign), foreignText);
}

TEST_F(LoginPref, AnotherProgramsEntryForTheSameProgramIsLeftAlone) {
  // Made by hand, not by us: it names the program but is not ours to remove.
  const std::string other = autostart_ + "/monitor-by-hand.desktop";
  const std::string text = "[Desktop Entry]\nType=Application\nExec=" + program_ + "\n";
  WriteFile(other, text);
  EXPECT_EQ(Set_Login_Preferences_Ex(&spec_, false), 0);
  EXPECT_EQ(Set_Login_Preferences_Ex(&spec_, true), 0);  // listed already: nothing added
  EXPECT_EQ(Paths(), std::vector<std::string>{program_});
  EXPECT_EQ(ReadFile(other), text);
}

TEST_F(LoginPref, TheProgramsLookupDecides) {
  testhost::host().onLoginPreferences = [](const FSSpec*) { return SInt32{-1}; };
  Set_Login_Preferences_Ex(&spec_, true);
  testhost::host().onLoginPreferences = {};
  EXPECT_EQ(Paths().size(), 1u);
  // An index the program reports that names no item removes nothing.
  testhost::host().onLoginPreferences = [](const FSSpec*) { return SInt32{5}; };
  EXPECT_EQ(Set_Login_Preferences_Ex(&spec_, false), 5);
  EXPECT_EQ(Paths().size(), 1u);
  EXPECT_EQ(Set_Login_Preferences_Ex(nullptr, true), -1);
  EXPECT_EQ(testhost::host().loginPrefsCalls, 2);
}

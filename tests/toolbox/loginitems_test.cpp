// Login items as autostart entries: adding, listing, removing, foreign
// entries and awkward names.
#include "toolbox/loginitems.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"
#include "toolbox/files.h"

using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace {

class LoginItems : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedEnv config{"XDG_CONFIG_HOME", (dir.path() / "config").c_str()};
  std::string autostart = (dir.path() / "config" / "autostart").string();

  // A program bundle as the installer leaves it.
  std::string makeProgram(const std::string& name) {
    std::string b = (dir.path() / "Apps" / (name + ".app")).string();
    WriteFile(b + "/Contents/MacOS/" + name, "#!/bin/sh\n");
    fs::permissions(b + "/Contents/MacOS/" + name, fs::perms::owner_all);
    return b;
  }

  std::vector<LoginItem> list() {
    std::vector<LoginItem> items;
    EXPECT_EQ(LIAECopyLoginItems(&items), noErr);
    return items;
  }

  long indexOf(const std::string& path) {
    auto items = list();
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i].path == path) return static_cast<long>(i);
    return -1;
  }
};

}  // namespace

TEST_F(LoginItems, AddedTwiceAppearsOnceAndRemovesByIndex) {
  EXPECT_TRUE(list().empty());  // no folder yet
  std::string monitor = makeProgram("VEMO-MONITOR Startup");
  FSSpec fss;
  ASSERT_EQ(tb::PathToSpec(monitor, &fss), noErr);
  ASSERT_EQ(LIAEAddRefAtEnd(&fss, false), noErr);
  ASSERT_EQ(LIAEAddRefAtEnd(&fss, false), noErr);
  auto items = list();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].path, monitor);
  EXPECT_TRUE(items[0].ours);

  // The entry runs the program inside the bundle, quoted for its blank.
  std::string entry = ReadFile(items[0].file);
  EXPECT_NE(entry.find("Exec=\"" + monitor + "/Contents/MacOS/VEMO-MONITOR Startup\"\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("Hidden=false\n"), std::string::npos);

  // Removing an index that is not there changes nothing.
  EXPECT_EQ(LIAERemove(1), paramErr);
  EXPECT_EQ(LIAERemove(-1), paramErr);
  EXPECT_EQ(list().size(), 1u);
  EXPECT_EQ(LIAERemove(indexOf(monitor)), noErr);
  EXPECT_TRUE(list().empty());
  EXPECT_EQ(indexOf(monitor), -1);

  FSSpec missing;
  tb::PathToSpec((dir.path() / "Apps" / "Gone.app").string(), &missing);
  EXPECT_EQ(LIAEAddRefAtEnd(&missing, false), fnfErr);
  EXPECT_TRUE(list().empty());
}

TEST_F(LoginItems, ForeignEntriesAreListedButNeverTouched) {
  std::string foreign = "[Desktop Entry]\nType=Application\nName=Mail\nExec=/usr/bin/mail-notify --quiet %u\n";
  WriteFile(autostart + "/mail.desktop", foreign);
  WriteFile(autostart + "/zz-deleted.desktop", "[Desktop Entry]\nExec=/usr/bin/old\nHidden=true\n");
  WriteFile(autostart + "/notes.txt", "not an entry");
  std::string admin = makeProgram("Admin");
  ASSERT_EQ(tb::AddLoginItemPath(admin, false), noErr);

  auto items = list();
  ASSERT_EQ(items.size(), 2u);  // byte order of the file names: "mail" < "vemo-Admin"
  EXPECT_EQ(items[0].path, "/usr/bin/mail-notify");
  EXPECT_FALSE(items[0].ours);
  EXPECT_EQ(items[1].path, admin);
  EXPECT_EQ(LIAERemove(0), permErr);
  EXPECT_EQ(ReadFile(autostart + "/mail.desktop"), foreign);
  EXPECT_EQ(LIAERemove(1), noErr);
  EXPECT_EQ(list().size(), 1u);
  EXPECT_TRUE(fs::exists(autostart + "/mail.desktop"));

  // An entry of another program that already starts the same file counts as
  // the item: nothing is added.
  std::string exe = admin + "/Contents/MacOS/Admin";
  WriteFile(autostart + "/by-hand.desktop", "[Desktop Entry]\nExec=" + exe + "\n");
  ASSERT_EQ(tb::AddLoginItemPath(exe, false), noErr);
  EXPECT_EQ(list().size(), 2u);
}

TEST_F(LoginItems, AwkwardNamesSurviveTheDesktopEntryRules) {
  for (std::string name : {"Two  Spaces", "quote\"back\\slash", "dollar$ and 100%", "tab\there"}) {
    std::string program = makeProgram(name);
    ASSERT_EQ(tb::AddLoginItemPath(program, false), noErr) << name;
    EXPECT_NE(indexOf(program), -1) << name;
    // The same entry read as another program's (by its Exec= alone) names
    // the program inside the bundle.
    auto items = list();
    std::string file = items[static_cast<std::size_t>(indexOf(program))].file;
    std::string text = ReadFile(file);
    std::string stripped;
    for (std::size_t pos = 0; pos < text.size();) {
      std::size_t nl = text.find('\n', pos);
      std::string line = text.substr(pos, nl - pos);
      if (line.rfind("X-Vemo", 0) != 0) stripped += line + "\n";
      pos = nl + 1;
    }
    WriteFile(autostart + "/foreign.desktop", stripped);
    auto again = list();
    bool found = false;
    for (const LoginItem& it : again)
      if (it.file == autostart + "/foreign.desktop") found = it.path == program + "/Contents/MacOS/" + name;
    EXPECT_TRUE(found) << name << "\n" << stripped;
    fs::remove(autostart + "/foreign.desktop");
  }
  EXPECT_EQ(list().size(), 4u);
}

TEST_F(LoginItems, ListingFailuresCanBeInjected) {
  std::string admin = makeProgram("Admin");
  ASSERT_EQ(tb::AddLoginItemPath(admin, false), noErr);
  tb::FailLoginItemListings(2);
  std::vector<LoginItem> items;
  EXPECT_EQ(LIAECopyLoginItems(&items), ioErr);
  EXPECT_EQ(LIAERemove(0), ioErr);  // a failed listing removes nothing
  EXPECT_EQ(LIAECopyLoginItems(&items), noErr);
  EXPECT_EQ(items.size(), 1u);
}

// The login window's preference list (older systems) and the login items
// (newer systems) are two views of one list of XDG autostart entries.
#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"
#include "toolbox/cfpreferences.h"
#include "toolbox/files.h"
#include "toolbox/loginitems.h"

using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace {

const CFStringRef kKey = CFSTR("AutoLaunchedApplicationDictionary");
const CFStringRef kApp = CFSTR("loginwindow");

class LoginWindow : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedEnv config{"XDG_CONFIG_HOME", (dir.path() / "config").c_str()};

  void TearDown() override { tb::ResetPreferences(); }

  std::string makeProgram(const std::string& name) {
    std::string b = (dir.path() / (name + ".app")).string();
    WriteFile(b + "/Contents/MacOS/" + name, "#!/bin/sh\n");
    fs::permissions(b + "/Contents/MacOS/" + name, fs::perms::owner_all);
    return b;
  }

  // The preference list as the monitor reads it: the index of the entry
  // whose "Path" is path, -1 when none or unreadable.
  static long prefIndex(const std::string& path) {
    CFPreferencesSynchronize(kApp, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    auto list = static_cast<CFArrayRef>(
        CFPreferencesCopyValue(kKey, kApp, kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    if (!list) return -1;
    CFStringRef want = CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8);
    long found = -1;
    for (CFIndex i = 0; i < CFArrayGetCount(list) && found < 0; ++i) {
      auto d = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(list, i));
      auto p = static_cast<CFStringRef>(CFDictionaryGetValue(d, CFSTR("Path")));
      if (p && CFStringCompare(p, want, kCFCompareLocalized) == kCFCompareEqualTo) found = i;
    }
    CFRelease(want);
    CFRelease(list);
    return found;
  }

  // Listing (append a {Hide, Path} entry) or unlisting (remove at index)
  // through the preference list, as the monitor changes it.
  static Boolean prefChange(const std::string& path, bool list, long index) {
    auto old = static_cast<CFArrayRef>(
        CFPreferencesCopyValue(kKey, kApp, kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    if (!old) {
      CFMutableArrayRef empty = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
      CFPreferencesSetValue(kKey, empty, kApp, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
      CFRelease(empty);
      CFPreferencesSynchronize(kApp, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
      old = static_cast<CFArrayRef>(
          CFPreferencesCopyValue(kKey, kApp, kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    }
    CFMutableArrayRef copy = CFArrayCreateMutableCopy(nullptr, 0, old);
    if (list) {
      CFStringRef p = CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8);
      const void* keys[] = {CFSTR("Hide"), CFSTR("Path")};
      const void* values[] = {kCFBooleanFalse, p};
      CFDictionaryRef entry = CFDictionaryCreate(nullptr, keys, values, 2, &kCFTypeDictionaryKeyCallBacks,
                                                 &kCFTypeDictionaryValueCallBacks);
      CFArrayAppendValue(copy, entry);
      CFRelease(entry);
      CFRelease(p);
    } else {
      CFArrayRemoveValueAtIndex(copy, index);
    }
    CFPreferencesSetValue(kKey, copy, kApp, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    Boolean ok = CFPreferencesSynchronize(kApp, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    CFRelease(copy);
    CFRelease(old);
    return ok;
  }

  static std::vector<std::string> itemPaths() {
    std::vector<LoginItem> items;
    EXPECT_EQ(LIAECopyLoginItems(&items), noErr);
    std::vector<std::string> out;
    for (const auto& it : items) out.push_back(it.path);
    return out;
  }
  // Every entry at the same index in both views.
  static void expectSameList() {
    std::vector<std::string> paths = itemPaths();
    for (std::size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(prefIndex(paths[i]), long(i)) << paths[i];
    auto list = static_cast<CFArrayRef>(
        CFPreferencesCopyValue(kKey, kApp, kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(CFArrayGetCount(list), CFIndex(paths.size()));
    CFRelease(list);
  }
};

TEST_F(LoginWindow, BothViewsShowTheSameEntries) {
  std::string monitor = makeProgram("VEMO-MONITOR Startup"), helper = makeProgram("Helper");
  EXPECT_EQ(prefIndex(monitor), -1);  // an empty list, not an unreadable one
  auto empty = static_cast<CFArrayRef>(CFPreferencesCopyValue(kKey, kApp, nullptr, nullptr));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(CFArrayGetCount(empty), 0);
  CFRelease(empty);

  // Listed through the preference list: an autostart entry appears.
  ASSERT_TRUE(prefChange(monitor, true, -1));
  EXPECT_EQ(itemPaths(), std::vector<std::string>{monitor});
  EXPECT_EQ(prefIndex(monitor), 0);

  // Listed through the login items; and another program's own entry.
  FSSpec spec;
  ASSERT_EQ(tb::PathToSpec(helper, &spec), noErr);
  ASSERT_EQ(LIAEAddRefAtEnd(&spec, false), noErr);
  WriteFile(dir.path() / "config/autostart/aaa-other.desktop",
            "[Desktop Entry]\nType=Application\nName=Other\nExec=/usr/bin/other\n");
  ASSERT_EQ(itemPaths().size(), 3u);
  expectSameList();

  // Unlisted through the preference list: its entry goes; the others stay.
  ASSERT_TRUE(prefChange(monitor, false, prefIndex(monitor)));
  EXPECT_EQ(itemPaths(), (std::vector<std::string>{"/usr/bin/other", helper}));
  expectSameList();
  // Another program's entry is never removed (and the change says so).
  EXPECT_FALSE(prefChange("", false, prefIndex("/usr/bin/other")));
  EXPECT_EQ(itemPaths().size(), 2u);
  expectSameList();
}

TEST_F(LoginWindow, AFailedReadLosesNothing) {
  std::string monitor = makeProgram("Monitor");
  ASSERT_TRUE(prefChange(monitor, true, -1));
  // The list cannot be read once: the caller stores an empty array and
  // reads again, as for a missing value. The entry it never saw stays.
  tb::FailLoginItemListings(1);
  std::string other = makeProgram("Other");
  ASSERT_TRUE(prefChange(other, true, -1));
  EXPECT_EQ(itemPaths().size(), 2u);
  expectSameList();
}

}  // namespace

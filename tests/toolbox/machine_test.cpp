// Gestalt, the bundle's localised strings, the system language and script.
#include <gtest/gtest.h>

#include <cstring>

#include "test_support.h"
#include "toolbox/bundle.h"
#include "toolbox/gestalt.h"
#include "toolbox/script.h"

using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(Gestalt, DefaultsOverridesAndUnknownSelectors) {
  ScopedEnv env("TOOLBOX_GESTALT", nullptr);
  tb::ResetGestalt();
  SInt32 v = 0;
  ASSERT_EQ(Gestalt(gestaltSystemVersion, &v), noErr);
  EXPECT_EQ(v, 0x1049);
  ASSERT_EQ(Gestalt(gestaltNativeCPUtype, &v), noErr);
  EXPECT_EQ(v, 0x10C);
  EXPECT_EQ(Gestalt(gestaltAppleEventsAttr, &v), noErr);
  EXPECT_EQ(Gestalt('zzzz', &v), gestaltUndefSelectorErr);
  EXPECT_EQ(Gestalt(gestaltSystemVersion, nullptr), paramErr);

  tb::SetGestalt(gestaltSystemVersion, 0x0922);
  tb::RemoveGestalt(gestaltNativeCPUtype);
  ASSERT_EQ(Gestalt(gestaltSystemVersion, &v), noErr);
  EXPECT_EQ(v, 0x0922);
  EXPECT_EQ(Gestalt(gestaltNativeCPUtype, &v), gestaltUndefSelectorErr);
  tb::ResetGestalt();
  ASSERT_EQ(Gestalt(gestaltNativeCPUtype, &v), noErr);
  EXPECT_EQ(v, 0x10C);
}

TEST(Gestalt, EnvironmentTableSkipsMalformedItems) {
  ScopedEnv env("TOOLBOX_GESTALT", "sysv=0x1040,cput=264,evnt=-,junk,qtim=zz,abc=1,xyzw=-5");
  tb::ResetGestalt();
  SInt32 v = 0;
  ASSERT_EQ(Gestalt(gestaltSystemVersion, &v), noErr);
  EXPECT_EQ(v, 0x1040);
  ASSERT_EQ(Gestalt(gestaltNativeCPUtype, &v), noErr);
  EXPECT_EQ(v, 264);
  EXPECT_EQ(Gestalt(gestaltAppleEventsAttr, &v), gestaltUndefSelectorErr);
  ASSERT_EQ(Gestalt(gestaltQuickTime, &v), noErr);  // "zz" is not a number: default kept
  EXPECT_EQ(v, 0x07608000);
  ASSERT_EQ(Gestalt('xyzw', &v), noErr);
  EXPECT_EQ(v, -5);
  ScopedEnv none("TOOLBOX_GESTALT", nullptr);
  tb::ResetGestalt();
}

namespace {

class BundleStrings : public ::testing::Test {
 protected:
  TempDir dir;
  std::string bundle = (dir.path() / "Prog.app").string();
  void SetUp() override {
    std::string res = bundle + "/Contents/Resources/";
    WriteFile(res + "en.lproj/Localizable.strings",
              "# the path format of the ini files\n"
              "LANGUAGE_PATH = :English:%s\n"
              "ONLY_EN = english only\n");
    WriteFile(res + "ja.lproj/Localizable.strings",
              "\xEF\xBB\xBF// Japanese\r\n"
              "LANGUAGE_PATH = :Japanese:%s\r\n"
              "QUOTED = \"  kept blanks = and \\\"quotes\\\"  \";\r\n"
              "\"KEY WITH = SIGN\" = odd\r\n"
              "CUT = \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\r\n");
    WriteFile(res + "zh_TW.lproj/Localizable.strings", "LANGUAGE_PATH = :TChinese:%s\n");
    WriteFile(res + "ja.lproj/Other.strings", "LANGUAGE_PATH = from another table\n");
    tb::SetMainBundlePath(bundle);
  }
  void TearDown() override {
    tb::SetMainBundlePath("");
    tb::SetSystemLanguage("");
  }
};

}  // namespace

TEST_F(BundleStrings, LookupByLanguageWithFallbacks) {
  struct Case {
    const char* lang;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"ja", "LANGUAGE_PATH", ":Japanese:%s"},
      {"ja_JP", "LANGUAGE_PATH", ":Japanese:%s"},  // region folder missing: the language's
      {"zh_TW", "LANGUAGE_PATH", ":TChinese:%s"},
      {"zh_CN", "LANGUAGE_PATH", ":English:%s"},  // no Chinese folder for the region: English
      {"fr", "LANGUAGE_PATH", ":English:%s"},
      {"ja", "ONLY_EN", "english only"},
      {"ja", "QUOTED", "  kept blanks = and \"quotes\"  "},
      {"ja", "KEY WITH = SIGN", "odd"},
      {"ja", "MISSING", "MISSING"},  // the key itself
      {"en", "# the path format of the ini files", "# the path format of the ini files"},
  };
  for (const Case& c : cases) {
    tb::SetSystemLanguage(c.lang);
    EXPECT_EQ(tb::LocalizedString(c.key), c.expected) << c.lang << " " << c.key;
  }
  tb::SetSystemLanguage("ja");
  EXPECT_EQ(tb::LocalizedString("LANGUAGE_PATH", nullptr, "Other"), "from another table");
  EXPECT_EQ(tb::LocalizedString("MISSING", "fallback"), "fallback");
  tb::SetMainBundlePath((dir.path() / "Nowhere.app").string());
  EXPECT_EQ(tb::LocalizedString("LANGUAGE_PATH"), "LANGUAGE_PATH");
}

TEST_F(BundleStrings, CoreFoundationCallsCutOnCharacterBoundaries) {
  tb::SetSystemLanguage("ja");
  CFStringRef s = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("LANGUAGE_PATH"), CFSTR("LANGUAGE_PATH"),
                                              nullptr);
  char buf[256];
  ASSERT_TRUE(CFStringGetCString(s, buf, sizeof buf, CFStringGetSystemEncoding()));
  EXPECT_STREQ(buf, ":Japanese:%s");
  CFRelease(s);

  // Three characters of three bytes each; 8 bytes of room hold two of them.
  s = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("CUT"), nullptr, nullptr);
  std::memset(buf, 'x', sizeof buf);
  EXPECT_FALSE(CFStringGetCString(s, buf, 8, kCFStringEncodingUTF8));
  EXPECT_STREQ(buf, "\xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_FALSE(CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingASCII));
  CFRelease(s);

  s = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("NOPE"), nullptr, nullptr);
  ASSERT_TRUE(CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8));
  EXPECT_STREQ(buf, "NOPE");
  CFRelease(s);
  EXPECT_EQ(CFSTR("same"), CFSTR("same"));
  CFRelease(CFSTR("same"));  // constants outlive a release
  EXPECT_EQ(tb::CFStringText(CFSTR("same")), "same");
}

TEST(Bundle, ProgramFilesFindTheirBundle) {
  TempDir dir;
  std::string b = (dir.path() / "Monitor.app").string();
  WriteFile(b + "/Contents/MacOS/Monitor", "");
  EXPECT_EQ(tb::BundleOfProgram(b + "/Contents/MacOS/Monitor"), b);
  EXPECT_EQ(tb::BundleOfProgram(b + "/"), b);
  EXPECT_EQ(tb::BundleOfProgram((dir.path() / "loose").string()), "");
  EXPECT_EQ(tb::BundleOfProgram(b + "/Contents/Resources/x"), "");
}

TEST(SystemLanguage, FromTheLocaleWithOverrides) {
  struct Case {
    const char* all;
    const char* messages;
    const char* lang;
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, "ja_JP.UTF-8", "ja_JP"},
      {"de_DE@euro", nullptr, "ja_JP.UTF-8", "de_DE"},
      {nullptr, "fr", "ja_JP.UTF-8", "fr"},
      {"C", nullptr, "ja_JP.UTF-8", "en"},
      {nullptr, nullptr, "POSIX", "en"},
      {nullptr, nullptr, nullptr, "en"},
      {nullptr, nullptr, "zh-tw", "zh_TW"},
  };
  ScopedEnv over("TOOLBOX_LANG", nullptr);
  for (const Case& c : cases) {
    ScopedEnv a("LC_ALL", c.all), m("LC_MESSAGES", c.messages), l("LANG", c.lang);
    EXPECT_EQ(tb::SystemLanguage(), c.expected) << (c.lang ? c.lang : "-");
  }
  ScopedEnv l("LANG", "ja_JP.UTF-8");
  {
    ScopedEnv t("TOOLBOX_LANG", "ko");
    EXPECT_EQ(tb::SystemLanguage(), "ko");
  }
  tb::SetSystemLanguage("it");
  EXPECT_EQ(tb::SystemLanguage(), "it");
  tb::SetSystemLanguage("");
}

TEST(ScriptManager, LanguageAndScriptOfTheSystem) {
  struct Case {
    const char* lang;
    long langCode;
    long script;
  };
  const Case cases[] = {
      {"en_US", 0, smRoman}, {"ja", 11, smJapanese}, {"zh_TW", 19, smTradChinese}, {"zh_HK", 19, smTradChinese},
      {"zh_CN", 33, smSimpChinese}, {"zh", 33, smSimpChinese}, {"ko_KR", 23, smKorean}, {"de", 2, smRoman},
      {"nb_NO", 9, smRoman}, {"ru", 32, smCyrillic}, {"pl", 25, smCentralEuroRoman}, {"xx", 0, smRoman},
  };
  for (const Case& c : cases) {
    tb::SetSystemLanguage(c.lang);
    EXPECT_EQ(GetScriptVariable(smSystemScript, smScriptLang), c.langCode) << c.lang;
    EXPECT_EQ(GetScriptManagerVariable(smSysScript), c.script) << c.lang;
  }
  tb::SetSystemLanguage("ja");
  EXPECT_EQ(SetScriptVariable(smSystemScript, smScriptAppFond, 1024), noErr);
  EXPECT_EQ(GetScriptVariable(smJapanese, smScriptAppFond), 1024);
  EXPECT_EQ(SetScriptVariable(smSystemScript, smScriptLang, 3), paramErr);
  tb::SetSystemLanguage("");
}

// Fonts and colours from ini values, the language path format from the
// bundle, and the bounded formatter that fills such formats.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <utility>

#include "common/AppFonts.h"
#include "common/AppGlobals.h"
#include "common/TextFormat.h"
#include "stub_host.h"
#include "test_support.h"
#include "toolbox/bundle.h"
#include "toolbox/files.h"
#include "toolbox/fonts.h"

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// A port to draw in, current for the test's lifetime.
class Port {
 public:
  Port() {
    Rect r = {0, 0, 20, 20};
    NewGWorld(&world_, 32, &r, nullptr, nullptr, 0);
    GetGWorld(&saved_, &dev_);
    SetGWorld(world_, nullptr);
  }
  ~Port() {
    SetGWorld(saved_, dev_);
    DisposeGWorld(world_);
  }

 private:
  GWorldPtr world_ = nullptr;
  CGrafPtr saved_ = nullptr;
  GDHandle dev_ = nullptr;
};

FONT_DATA Prefilled() {
  FONT_DATA f;
  std::memset(&f, 0, sizeof f);
  std::strcpy(f.fName, "before");
  f.fSize = 99;
  f.styleID = 77;
  f.foreClrID = 55;
  f.backClrID = 66;
  return f;
}

short FontNumber(const char* name) {
  Str255 p;
  pstr::set(p, sizeof p, name);
  short n = -1;
  GetFNum(p, &n);
  return n;
}

}  // namespace

TEST(FontValues, ValuesSplitWithDefaultsAndExactWords) {
  Port port;
  const short defSize = GetDefFontSize();
  struct Case {
    const char* value;
    const char* name;
    UInt16 size;
    const char* style;
    UInt16 styleID;  // 77: left as it was
    UInt16 fore;     // 55: left as it was
    UInt16 back;     // 66: left as it was
  };
  const Case cases[] = {
      {"Osaka,12,BOLD,RED,WHITE", "Osaka", 12, "BOLD", 1, 2, 7},
      {"Geneva", "Geneva", static_cast<UInt16>(defSize), "NORMAL", 0, 0, 7},
      {"Geneva,10,bold", "Geneva", 10, "bold", 77, 0, 7},     // words are upper case
      {"Osaka,,BOLD", "Osaka", 0, "NORMAL", 0, 0, 7},         // the size field reads BOLD
      {"Arial,9,EXTEND,LIGHT_BLUE,VIOLET,extra", "Arial", 9, "EXTEND", 64, 5, 6},
      {"Times,14,CONDENSE,green,YELLOW", "Times", 14, "CONDENSE", 32, 55, 3},
      {" Geneva,-3,SHADOW", " Geneva", 0, "SHADOW", 16, 0, 7},  // blanks kept; no negative size
      {"Geneva,999999", "Geneva", 32767, "NORMAL", 0, 0, 7},    // held at what a port takes
  };
  for (const Case& c : cases) {
    FONT_DATA f = Prefilled();
    EXPECT_EQ(Get_Font_Data(c.value, &f), 1);
    EXPECT_EQ(Get_Font_Details(&f), 1);
    EXPECT_STREQ(f.fName, c.name) << c.value;
    EXPECT_EQ(f.fSize, c.size) << c.value;
    EXPECT_STREQ(f.fStyle, c.style) << c.value;
    EXPECT_EQ(f.styleID, c.styleID) << c.value;
    EXPECT_EQ(f.foreClrID, c.fore) << c.value;
    EXPECT_EQ(f.backClrID, c.back) << c.value;
    EXPECT_EQ(f.fontID, static_cast<UInt16>(FontNumber(c.name))) << c.value;
  }
  // What the colour indexes stand for; an index past the words is black.
  for (auto [index, rgb] : {std::pair{UInt16(2), RGBColor{65535, 0, 0}},
                            {UInt16(5), RGBColor{0, 65535, 65535}},
                            {UInt16(7), RGBColor{65535, 65535, 65535}},
                            {UInt16(8), RGBColor{0, 0, 0}}}) {
    const RGBColor c = Font_Color_RGB(index);
    EXPECT_EQ(std::tuple(c.red, c.green, c.blue), std::tuple(rgb.red, rgb.green, rgb.blue)) << index;
  }
}

TEST(FontValues, EmptyValueIsTheSystemFontAndLongFieldsAreCut) {
  Port port;
  FONT_DATA f = Prefilled();
  Get_Font_Data("", &f);
  Get_Font_Details(&f);
  EXPECT_EQ(f.fontID, 0);
  EXPECT_EQ(f.fSize, static_cast<UInt16>(GetDefFontSize()));
  EXPECT_STREQ(f.fStyle, "NORMAL");

  // A name of 200 two-byte characters keeps 63 of them (126 bytes); a long
  // style word keeps 31 bytes.
  std::string name;
  for (int i = 0; i < 200; ++i) name += "\xC3\xA9";
  std::string value = name + ",10," + std::string(40, 'S') + ",BLACK," + std::string(300, 'W');
  Get_Font_Data(value.c_str(), &f);
  EXPECT_EQ(std::strlen(f.fName), 126u);
  EXPECT_EQ(std::strlen(f.fStyle), 31u);
  EXPECT_EQ(std::strlen(f.backColor), 127u);
}

TEST(FontValues, MetricsAreTheRecordsFontAndThePortIsResetAfterwards) {
  Port port;
  FONT_DATA plain = Prefilled();
  Get_Font_Data("Geneva,0", &plain);  // size 0: the default size
  Get_Font_Details(&plain);

  FONT_DATA big = Prefilled();
  Get_Font_Data("Geneva,36,BOLD", &big);
  Get_Font_Details(&big);
  EXPECT_GT(big.fInfo.ascent, plain.fInfo.ascent);

  // Whatever the port held before, the record's font is measured.
  TextFont(FontNumber("Courier"));
  TextFace(italic);
  TextSize(40);
  FONT_DATA again = Prefilled();
  Get_Font_Data("Geneva,0", &again);
  Get_Font_Details(&again);
  EXPECT_EQ(again.fInfo.ascent, plain.fInfo.ascent);
  EXPECT_EQ(again.fInfo.descent, plain.fInfo.descent);
  EXPECT_EQ(again.fInfo.widMax, plain.fInfo.widMax);

  CGrafPtr current;
  GDHandle dev;
  GetGWorld(&current, &dev);
  EXPECT_EQ(GetPortTextFont(current), 0);
  EXPECT_EQ(GetPortTextFace(current), 0);
  EXPECT_EQ(GetPortTextSize(current), 0);
}

class FontIni : public ::testing::Test {
 protected:
  void SetUp() override {
    testhost::Reset();
    WriteFile(dir_ / "App.app/Contents/MacOS/App", "");
    WriteFile(dir_ / "App.app/Contents/Resources/English.ini",
              "[TITLE]\r\nMAIN=Main\r\n[FONT]\r\nMAIN=Osaka,12,BOLD,RED,WHITE\r\nTAB=Geneva,9\r\n"
              "EMPTY=\r\n[OTHER]\r\nLIST=Times,20\r\n");
    WriteFile(dir_ / "Other.ini", "[FONT]\nLIST=Courier,11,ITALIC,BLUE,GREEN\n");
    tb::SetApplicationPath((dir_ / "App.app/Contents/MacOS/App").string());
    std::strcpy(IniFileName, "::Resources:English.ini");
  }
  void TearDown() override {
    tb::SetApplicationPath("");
    testhost::Reset();
  }
  TempDir dir_;
  Port port_;
};

TEST_F(FontIni, KeysOfTheLanguageIniOrOfAGivenFile) {
  FONT_DATA f = Prefilled();
  EXPECT_EQ(Get_Font_Infomation("MAIN=", &f), 1);
  EXPECT_STREQ(f.fName, "Osaka");
  EXPECT_EQ(f.fSize, 12);
  EXPECT_EQ(f.styleID, 1);
  EXPECT_EQ(f.foreClrID, kFontRed);
  EXPECT_EQ(f.backClrID, kFontWhite);

  f = Prefilled();
  EXPECT_EQ(Get_Font_Infomation("TAB=", &f), 1);
  EXPECT_STREQ(f.fName, "Geneva");
  EXPECT_EQ(f.fSize, 9);

  f = Prefilled();
  Get_Font_Infomation("EMPTY=", &f);  // an empty value: the system font
  EXPECT_EQ(f.fontID, 0);
  EXPECT_STREQ(f.fStyle, "NORMAL");

  // A key of another section, or missing, leaves the record as it was.
  for (const char* key : {"LIST=", "NONE=", "TITLE="}) {
    f = Prefilled();
    EXPECT_EQ(Get_Font_Infomation(key, &f), 1);
    EXPECT_STREQ(f.fName, "before") << key;
    EXPECT_EQ(f.fSize, 99) << key;
  }

  const std::string other = (dir_ / "Other.ini").string();
  f = Prefilled();
  EXPECT_EQ(Get_Font_Infomation("LIST=", &f, other.c_str()), 1);
  EXPECT_STREQ(f.fName, "Courier");
  EXPECT_EQ(f.styleID, italic);
  EXPECT_EQ(f.foreClrID, kFontBlue);
  EXPECT_EQ(f.backClrID, kFontGreen);

  // Without a language ini nothing is read.
  IniFileName[0] = '\0';
  f = Prefilled();
  Get_Font_Infomation("MAIN=", &f);
  EXPECT_STREQ(f.fName, "before");
}

TEST(LanguagePath, FromTheBundleOrTheKeyItself) {
  TempDir dir;
  const std::string bundle = (dir.path() / "Prog.app").string();
  WriteFile(bundle + "/Contents/Resources/en.lproj/Localizable.strings",
            "LANGUAGE_PATH = ::Resources:English.lproj:%s.ini\n");
  WriteFile(bundle + "/Contents/Resources/ja.lproj/Localizable.strings",
            "LANGUAGE_PATH = ::Resources:\xE6\x97\xA5\xE6\x9C\xAC.lproj:%s.ini\n");
  tb::SetMainBundlePath(bundle);
  tb::SetSystemLanguage("en");
  char out[256];
  EXPECT_EQ(Get_Localize_Strings(out, sizeof out), 1);
  EXPECT_STREQ(out, "::Resources:English.lproj:%s.ini");
  char path[kAppFileNameSize];
  EXPECT_EQ(Format_Strings(path, sizeof path, out, {"Admin"}), 35);
  EXPECT_STREQ(path, "::Resources:English.lproj:Admin.ini");

  // Too small a buffer: cut on a character boundary, reported.
  tb::SetSystemLanguage("ja");
  char small[16];
  EXPECT_EQ(Get_Localize_Strings(small, sizeof small), 0);
  EXPECT_STREQ(small, "::Resources:\xE6\x97\xA5");
  EXPECT_EQ(Get_Localize_Strings(nullptr, 10), 0);

  // No bundle: the key itself.
  tb::SetMainBundlePath((dir.path() / "None.app").string());
  EXPECT_EQ(Get_Localize_Strings(out, sizeof out), 1);
  EXPECT_STREQ(out, "LANGUAGE_PATH");
  tb::SetMainBundlePath("");
  tb::SetSystemLanguage("");
}

TEST(TextFormat, OnlyTheExpectedConversions) {
  struct Case {
    const char* format;
    int result;
    const char* text;
  };
  const Case cases[] = {
      {"Start '%s' after installed.", 29, "Start 'Prog' after installed."},
      {"%s%%", 5, "Prog%"},
      {"plain", 5, "plain"},
      {"%s and %s", -1, ""},      // more conversions than arguments
      {"%d items", -1, ""},       // another conversion
      {"%n", -1, ""},
      {"100%", -1, ""},           // a lone % at the end
      {"%-20s", -1, ""},          // flags and widths are not taken either
  };
  for (const Case& c : cases) {
    char out[64] = "x";
    EXPECT_EQ(Format_Strings(out, sizeof out, c.format, {"Prog"}), c.result) << c.format;
    EXPECT_STREQ(out, c.text) << c.format;
  }
  // Cut to the buffer on a character boundary; the result tells the whole length.
  char out[8];
  EXPECT_EQ(Format_Strings(out, sizeof out, "ab%s", {"\xE6\x97\xA5\xE6\x9C\xAC"}), 8);
  EXPECT_STREQ(out, "ab\xE6\x97\xA5");
  EXPECT_EQ(Count_String_Conversions("%s:%s%%"), 2);
  EXPECT_EQ(Count_String_Conversions(nullptr), -1);
}

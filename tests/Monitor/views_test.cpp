// The status page's texts: the message wrapped at word breaks into two
// lines with an ellipsis, and the ink names and drum size of the printer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/AppGlobals.h"
#include "Monitor/StatusViews.h"
#include "toolbox/quickdraw.h"
#include "toolbox_fixture.h"

namespace {

class StatusTexts : public testsupport::ToolboxFixture {
 protected:
  void SetUp() override {
    ToolboxFixture::SetUp();
    std::snprintf(MonFileName, sizeof MonFileName, "%s/English/Monitor.ini", MONITOR_LANG_DIR);
    std::snprintf(IniFileName, sizeof IniFileName, "%s/English/Popmon.ini", MONITOR_LANG_DIR);
    const Rect r{0, 0, 100, 400};
    window_ = NewCWindow(nullptr, &r, nullptr, false, 0, kFirstWindowOfClass, false, 0);
    SetPortWindowPort(window_);
    TextSize(12);
  }
  void TearDown() override {
    MonFileName[0] = IniFileName[0] = 0;
    ToolboxFixture::TearDown();
  }
  WindowRef window_ = nullptr;
};

TEST_F(StatusTexts, TheMessageWrapsIntoTwoLinesAtWordBreaks) {
  const std::string word = "paper ";
  const short room = TextWidth("paper paper paper", 0, 17);
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } const cases[] = {
      {"paper paper", {"paper paper"}},
      {"paper paper paper paper", {"paper paper paper", "paper"}},
      {"Out of\rpaper", {"Out of", "paper"}},
      {"", {""}},
  };
  for (const Case& c : cases) EXPECT_EQ(Text_Rect_Lines(c.text, room, 2), c.lines) << c.text;

  // More than two lines' worth: the second is cut with an ellipsis and fits.
  std::string longText;
  for (int i = 0; i < 12; ++i) longText += word;
  const auto lines = Text_Rect_Lines(longText, room, 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "paper paper paper");
  EXPECT_NE(lines[1].find("\xE2\x80\xA6"), std::string::npos) << lines[1];
  EXPECT_LE(TextWidth(lines[1].data(), 0, short(lines[1].size())), room);
  // A single word wider than the room stays whole on its line.
  EXPECT_EQ(Text_Rect_Lines("paperpaperpaperpaper", short(room / 2), 2).size(), 1u);
}

TEST_F(StatusTexts, InkNamesAndDrumSizeFollowTheDrums) {
  struct Case {
    SInt32 drums;
    UInt8 icType, size0, colour0, colour1;
    const char *ink1, *ink2, *drum;
  } const cases[] = {
      {0, 4, 0, 0, 0, "None", "", "Drum Size: None"},
      {1, 4, 2, 1, 0, "Ink : Black", "", "Drum Size: A4"},
      {1, 0, 1, 2, 0, "Ink : Red", "", "Drum Size: B4"},
      {2, 4, 0, 3, 99, "Ink1 : Blue", "Ink2 :  ", "Drum Size: A3"},
  };
  for (const Case& c : cases) {
    VEMOINFO info{};
    info.CmDrmNum = c.drums;
    info.IcType = c.icType;
    info.pDrm[0].DrmSiz = c.size0;
    info.pDrm[0].DrmCol = c.colour0;
    info.pDrm[1].DrmCol = c.colour1;
    std::string a, b;
    Ink_Name_Texts(info, &a, &b);
    EXPECT_EQ(a, c.ink1);
    EXPECT_EQ(b, c.ink2);
    EXPECT_EQ(Drum_Size_Text(info), c.drum) << c.drums;
  }
}

}  // namespace

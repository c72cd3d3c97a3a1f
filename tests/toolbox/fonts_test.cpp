// Text: font numbers, metrics, widths and styles, drawing, truncation.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "toolbox/fonts.h"
#include "toolbox_fixture.h"

namespace {

const UInt32 kWhite = tb::PackPixel(0xFF, 0xFF, 0xFF);

std::string P(const unsigned char* s) { return pstr::str(s); }

using testsupport::PStr;

using testsupport::Canvas;

TEST(Fonts, NumbersByName) {
  struct Case {
    const char* name;
    short num;
  } cases[] = {{"Geneva", 3}, {"geneva", 3}, {"Helvetica", 21}, {"Times", 20},
               {"Osaka", 16384}, {"Arial", 1024}, {"No Such Font Anywhere", 0}, {"", 0}};
  for (const auto& c : cases) {
    short n = -1;
    GetFNum(PStr(c.name), &n);
    EXPECT_EQ(n, c.num) << c.name;
  }
  // A family the host has gets a number of its own, stable on a second ask.
  short serif = 0, again = 0;
  GetFNum(PStr("DejaVu Serif"), &serif);
  GetFNum(PStr("DejaVu Serif"), &again);
  EXPECT_GE(serif, 2048);
  EXPECT_EQ(serif, again);
  Str255 name;
  GetFontName(serif, name);
  EXPECT_EQ(P(name), "DejaVu Serif");
  GetFontName(applFont, name);
  EXPECT_EQ(P(name), "Geneva");
  EXPECT_EQ(GetDefFontSize(), 12);
  EXPECT_NE(tb::FontFileFor(16384, 0).find("CJK"), std::string::npos);
  EXPECT_NE(tb::FontFileFor(3, 0).find("DejaVu"), std::string::npos);
}

TEST(Fonts, MetricsAreStableAndScale) {
  Canvas c(10, 10);
  TextFont(0);
  TextSize(12);
  FontInfo a, b;
  GetFontInfo(&a);
  GetFontInfo(&b);
  EXPECT_EQ(a.ascent, b.ascent);
  EXPECT_GT(a.ascent, a.descent);
  EXPECT_GT(a.descent, 0);
  EXPECT_GT(a.widMax, 0);
  EXPECT_GE(a.leading, 0);
  EXPECT_GE(a.ascent + a.descent, 12);
  EXPECT_LE(a.ascent + a.descent, 16);
  TextSize(24);
  GetFontInfo(&b);
  EXPECT_NEAR(b.ascent, 2 * a.ascent, 2);
  TextSize(0);  // the default size
  GetFontInfo(&b);
  EXPECT_EQ(b.ascent, a.ascent);
}

TEST(Fonts, WidthsAddUpAndFollowStyles) {
  Canvas c(10, 10);
  TextFont(3);
  TextSize(12);
  PStr hello("Hello");
  short plain = StringWidth(hello);
  EXPECT_GT(plain, 20);
  int sum = 0;
  for (char ch : std::string("Hello")) sum += CharWidth(ch);
  EXPECT_EQ(plain, sum);
  EXPECT_EQ(TextWidth("xxHelloxx", 2, 5), plain);
  struct Case {
    Style face;
    int cmp;  // sign of (styled - plain)
  } cases[] = {{bold, 1}, {extend, 1}, {outline, 1}, {shadow, 1}, {condense, -1}, {italic, 0}, {underline, 0}};
  for (const auto& k : cases) {
    TextFace(k.face);
    short w = StringWidth(hello);
    EXPECT_EQ((w > plain) - (w < plain), k.cmp) << int(k.face);
  }
  TextFace(extend);
  EXPECT_EQ(StringWidth(hello), plain + 5);
  TextFace(normal);
}

TEST(Fonts, DrawStringInksAtTheBaselineAndMovesThePen) {
  Canvas c(200, 40);
  TextFont(0);
  TextSize(12);
  FontInfo fi;
  GetFontInfo(&fi);
  PStr text("Hambur");
  short w = StringWidth(text);
  MoveTo(10, 25);
  DrawString(text);
  Point pen;
  GetPen(&pen);
  EXPECT_EQ(pen.h, 10 + w);
  EXPECT_EQ(pen.v, 25);
  int inside = c.ink(10, 25 - fi.ascent, 10 + w + 1, 25 + fi.descent);
  EXPECT_GT(inside, 40);
  EXPECT_EQ(c.ink(), inside);
  EXPECT_EQ(c.ink(0, 27, 200, 40), 0);  // no descenders in this word
}

TEST(Fonts, UnderlineDrawsBelowTheBaseline) {
  Canvas c(100, 30);
  TextFace(underline);
  MoveTo(5, 15);
  DrawString(PStr("mm"));
  TextFace(normal);
  int below = c.ink(0, 16, 100, 30);
  short w;
  {
    w = StringWidth(PStr("mm"));
  }
  EXPECT_GE(below, w);
}

TEST(Fonts, BoldHasMoreInkThanPlain) {
  Canvas c(200, 60);
  MoveTo(5, 20);
  DrawString(PStr("Settings"));
  int plain = c.ink(0, 0, 200, 30);
  TextFace(bold);
  MoveTo(5, 50);
  DrawString(PStr("Settings"));
  TextFace(normal);
  EXPECT_GT(c.ink(0, 30, 200, 60), plain);
}

TEST(Fonts, JapaneseDrawsInLatinFontsToo) {
  Canvas c(200, 40);
  TextFont(3);  // Geneva has no kanji: they come from a CJK face
  TextSize(14);
  PStr text("日本語");
  short w = StringWidth(text);
  EXPECT_GE(w, 3 * 12);
  MoveTo(5, 25);
  DrawString(text);
  EXPECT_GT(c.ink(), 60);
  // Each character has ink in its own cell.
  int x = 5;
  for (const char* ch : {"日", "本", "語"}) {
    short cw = StringWidth(PStr(ch));
    EXPECT_GT(c.ink(x, 0, x + cw, 40), 10) << ch;
    x += cw;
  }
  short osaka;
  GetFNum(PStr("Osaka"), &osaka);
  TextFont(osaka);
  EXPECT_GT(StringWidth(text), 0);
  TextFont(0);
}

TEST(Fonts, Utf8IsNeverSplitAndBadBytesAreSafe) {
  Canvas c(100, 30);
  const char* text = "日本";  // 6 bytes
  short one = TextWidth(text, 0, 3);
  EXPECT_EQ(TextWidth(text, 0, 4), one);  // a cut character counts for nothing
  EXPECT_EQ(TextWidth(text, 0, 5), one);
  EXPECT_EQ(tb::Utf8BoundaryPrefix(reinterpret_cast<const unsigned char*>(text), 5), 3u);
  const char bad[] = "a\xFF\xC0z\xE3";
  EXPECT_GT(TextWidth(bad, 0, 4), TextWidth("az", 0, 2));
  MoveTo(2, 20);
  DrawText(bad, 0, 5);
  DrawText(nullptr, 0, 5);
  DrawText(bad, 0, -3);
  EXPECT_EQ(TextWidth(bad, -1, 2), 0);
}

TEST(Fonts, TextIsClippedAndSrcCopyFillsTheBackground) {
  Canvas c(100, 30);
  Rect clip{0, 0, 30, 20};
  ClipRect(&clip);
  MoveTo(5, 20);
  DrawString(PStr("WWWWWWWW"));
  EXPECT_GT(c.ink(0, 0, 20, 30), 0);
  EXPECT_EQ(c.ink(20, 0, 100, 30), 0);
  Rect all{0, 0, 30, 100};
  ClipRect(&all);
  EraseRect(&all);
  RGBColor grey{0x8000, 0x8000, 0x8000};
  RGBBackColor(&grey);
  TextMode(srcCopy);
  MoveTo(5, 20);
  DrawString(PStr("i"));
  TextMode(srcOr);
  RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
  RGBBackColor(&white);
  EXPECT_EQ(c.at(5, 19), tb::PackPixel(0x80, 0x80, 0x80));
}

TEST(Fonts, TruncateAtTheEndAndInTheMiddle) {
  Canvas c(10, 10);
  PStr s("Print box in the second floor");
  short full = StringWidth(s);
  Str255 t;
  pstr::copy(t, sizeof t, s);
  EXPECT_EQ(TruncString(full, t, truncEnd), notTruncated);
  EXPECT_EQ(P(t), P(s));
  EXPECT_EQ(TruncString(full / 2, t, truncEnd), truncated);
  EXPECT_LE(StringWidth(t), full / 2);
  EXPECT_EQ(P(t).substr(0, 5), "Print");
  EXPECT_EQ(P(t).substr(P(t).size() - 3), "\xE2\x80\xA6");
  pstr::copy(t, sizeof t, s);
  EXPECT_EQ(TruncString(full / 2, t, truncMiddle), truncated);
  EXPECT_LE(StringWidth(t), full / 2);
  EXPECT_EQ(P(t).substr(0, 3), "Pri");
  EXPECT_EQ(P(t).substr(P(t).size() - 3), "oor");
  EXPECT_NE(P(t).find("\xE2\x80\xA6"), std::string::npos);
  pstr::copy(t, sizeof t, s);
  EXPECT_EQ(TruncString(1, t, truncEnd), truncErr);  // not even the ellipsis fits
  EXPECT_EQ(P(t), P(s));
}

TEST(Fonts, TruncationKeepsCharactersAndBuffersWhole) {
  Canvas c(10, 10);
  PStr jp("日本語のテキストです");
  Str255 t;
  pstr::copy(t, sizeof t, jp);
  ASSERT_EQ(TruncString(StringWidth(jp) / 2, t, truncEnd), truncated);
  std::string r = P(t);
  EXPECT_EQ(r.size() % 3, 0u);  // whole three-byte characters plus the ellipsis
  EXPECT_EQ(tb::Utf8BoundaryPrefix(t + 1, t[0]), t[0]);
  // A full 255-byte string still ends up within its 255 bytes.
  Str255 longest;
  pstr::set(longest, sizeof longest, std::string(255, 'i'));
  EXPECT_EQ(TruncString(StringWidth(longest) - 1, longest, truncEnd), truncated);
  EXPECT_LE(longest[0], 255);
  // TruncText never writes past the text it was given.
  char buf[8] = {'a', 'b', 'X', 'X', 'X', 'X', 'X', 'X'};
  short len = 2;
  EXPECT_EQ(TruncText(3, buf, &len, truncEnd), truncErr);
  EXPECT_EQ(len, 2);
  EXPECT_EQ(buf[2], 'X');
  char mid[] = "abcdefghijklmnop";
  len = 16;
  EXPECT_EQ(TruncText(TextWidth(mid, 0, 16) / 2, mid, &len, truncMiddle), truncated);
  EXPECT_LT(len, 16);
  EXPECT_EQ(mid[0], 'a');
  EXPECT_EQ(mid[len - 1], 'p');
}

TEST(Fonts, GlyphsDrawnAgainComeFromTheCache) {
  Canvas c(100, 20);
  MoveTo(0, 15);
  DrawString(PStr("cache"));
  auto before = tb::GetGlyphCacheStats();
  MoveTo(0, 15);
  DrawString(PStr("cache"));
  auto after = tb::GetGlyphCacheStats();
  EXPECT_EQ(after.misses, before.misses);
  EXPECT_GE(after.hits, before.hits + 5);
}

}  // namespace

// Strings and script text utilities: text encodings and CFString
// conversions under every encoding number the programs pass, cuts on
// character boundaries, titles and menu texts from strings,
// byte types and word breaks of UTF-8 text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "toolbox/cfstring.h"
#include "toolbox/fonts.h"
#include "toolbox/menus.h"
#include "toolbox/quickdraw.h"
#include "toolbox/script.h"
#include "toolbox/textencoding.h"
#include "toolbox/windows.h"
#include "toolbox_fixture.h"

namespace {

using testsupport::PStr;

// "Aé日本😀" and a stray continuation byte: 1, 2, 3, 3, 4 and 1 bytes.
const std::string kMixed = "A\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80\x80";

// What the names table of the programs' tests does not reach: strings
// take the same conversions, a character written as a near one (a yen
// sign as a backslash) counts as one the encoding cannot hold, UTF-8 and
// the system encoding keep every byte, other encodings are refused.
TEST(TextEncodingTest, StringsConvertAndRefuseAsTheService) {
  const std::string sjis = "\x93\xFA\x96\x7B", nihongo = "\xE6\x97\xA5\xE6\x9C\xAC";  // 日本
  CFStringRef s = CFStringCreateWithPascalString(nullptr, PStr(sjis), kCFStringEncodingMacJapanese);
  EXPECT_EQ(tb::CFStringText(s), nihongo);
  Str255 p;
  EXPECT_TRUE(CFStringGetPascalString(s, p, sizeof p, kCFStringEncodingMacJapanese));
  EXPECT_EQ(pstr::str(p), sjis);
  char c[8] = "x";
  EXPECT_FALSE(CFStringGetCString(s, c, sizeof c, kCFStringEncodingMacRoman));
  EXPECT_EQ(c[0], '\0');
  CFRelease(s);
  std::string out = "untouched";
  EXPECT_FALSE(tb::TextToEncoding("\xC2\xA5", kTextEncodingMacJapanese, &out));
  EXPECT_EQ(out, "untouched");
  for (CFStringEncoding e : {CFStringEncoding(kCFStringEncodingUTF8), CFStringGetSystemEncoding()}) {
    CFStringRef k = CFStringCreateWithCString(nullptr, kMixed.c_str(), e);
    EXPECT_TRUE(CFStringGetPascalString(k, p, sizeof p, e));
    EXPECT_EQ(pstr::str(p), kMixed);
    CFRelease(k);
  }
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "x", 0x0500), nullptr);
  EXPECT_EQ(CFStringCreateWithCString(nullptr, kMixed.c_str(), kCFStringEncodingASCII), nullptr);
  CFStringRef ascii = CFStringCreateWithCString(nullptr, "plain", kCFStringEncodingASCII);
  EXPECT_FALSE(CFStringGetCString(ascii, c, sizeof c, 0x0500));
  CFRelease(ascii);
}

// A cut at a byte limit never splits a character of the encoding in use;
// a byte that starts no character is one of its own.
TEST(TextEncodingTest, CutsFallOnCharacterBoundaries) {
  const std::string aez = "a\xC3\xA9z\xE2\x82\xAC";  // a é z €
  const std::string aej = "a\xC3\xA9\xE6\x97\xA5";   // a é 日
  const std::string junk = "\x80\x80\x80\x80\x80";
  const std::string sjis = "\x93\xFA\x96\x7B.txt";  // two CJK characters in the Japanese encoding
  const std::string meme = "\x83\x81\x83\x81";      // trail bytes that are lead bytes too
  struct Case {
    std::string text;
    std::size_t max;
    TextEncoding encoding;
    std::size_t want;
  } cases[] = {
      {aez, 100, kCFStringEncodingUTF8, 7},   {aez, 2, kCFStringEncodingUTF8, 1},
      {aez, 3, kCFStringEncodingUTF8, 3},     {aez, 5, kCFStringEncodingUTF8, 4},
      {aez, 6, kCFStringEncodingUTF8, 4},     {aej, 1, kCFStringEncodingUTF8, 1},
      {aej, 2, kCFStringEncodingUTF8, 1},     {aej, 5, kCFStringEncodingUTF8, 3},
      {aej, 0, kCFStringEncodingUTF8, 0},     {junk, 2, kCFStringEncodingUTF8, 2},
      {aej, 5, kTextEncodingMacJapanese, 3},  // UTF-8 whatever the encoding
      {sjis, 3, kTextEncodingMacJapanese, 2}, {sjis, 5, kTextEncodingMacJapanese, 5},
      {sjis, 3, kTextEncodingMacRoman, 3},    {meme, 3, kTextEncodingMacJapanese, 2},
      {meme, 1, kTextEncodingMacJapanese, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tb::CharCutLength(c.text, c.max, c.encoding), c.want) << c.max << " " << c.encoding;
    EXPECT_EQ(tb::CharPrefix(c.text, c.max, c.encoding).size(), c.want);
  }
  EXPECT_EQ(tb::CharByteCount(aez, 1), 2u);
  EXPECT_EQ(tb::CharByteCount(aez, 4), 3u);
  EXPECT_EQ(tb::CharByteCount(junk, 0), 1u);
  EXPECT_EQ(tb::CharByteCount(sjis, 2, kTextEncodingMacJapanese), 2u);
  EXPECT_EQ(tb::CharByteCount("\x93", 0, kTextEncodingMacJapanese), 1u);  // cut short by the end
  EXPECT_EQ(tb::CharByteCount(aez, 9), 0u);
}

TEST(CFStringTest, CharactersLengthsAndCuts) {
  CFStringRef s = CFStringCreateWithCString(nullptr, kMixed.c_str(), kCFStringEncodingUTF8);
  // A, é, 日, 本, the surrogate pair of 😀, and U+FFFD for the stray byte.
  const std::vector<UniChar> want = {0x41, 0xE9, 0x65E5, 0x672C, 0xD83D, 0xDE00, 0xFFFD};
  ASSERT_EQ(CFStringGetLength(s), CFIndex(want.size()));
  std::vector<UniChar> got(want.size() + 2, 0x1234);
  CFStringGetCharacters(s, CFRangeMake(0, CFIndex(want.size())), got.data());
  EXPECT_EQ(std::vector<UniChar>(got.begin(), got.begin() + long(want.size())), want);
  EXPECT_EQ(got[want.size()], 0x1234);  // nothing written past the range
  CFStringGetCharacters(s, CFRangeMake(5, 10), got.data());  // clipped to the string
  EXPECT_EQ(got[0], 0xDE00);
  EXPECT_EQ(got[1], 0xFFFD);
  EXPECT_EQ(got[2], 0x65E5);  // left as it was

  // From characters: the same text, the stray byte now U+FFFD; an unpaired
  // surrogate becomes U+FFFD too.
  CFStringRef u = CFStringCreateWithCharacters(nullptr, want.data(), CFIndex(want.size()));
  EXPECT_EQ(tb::CFStringText(u), kMixed.substr(0, kMixed.size() - 1) + "\xEF\xBF\xBD");
  const UniChar lone[] = {0x41, 0xD800, 0x42};
  CFStringRef l = CFStringCreateWithCharacters(nullptr, lone, 3);
  EXPECT_EQ(tb::CFStringText(l), "A\xEF\xBF\xBD" "B");

  // Cuts never split a character: 4 bytes of room hold "Aé" (3 bytes).
  char c[5];
  EXPECT_FALSE(CFStringGetCString(s, c, sizeof c, kCFStringEncodingUTF8));
  EXPECT_EQ(std::string(c), "A\xC3\xA9");
  unsigned char p[6];
  EXPECT_FALSE(CFStringGetPascalString(s, p, sizeof p, kCFStringEncodingUTF8));
  EXPECT_EQ(pstr::str(p), "A\xC3\xA9");
  // A Pascal string never takes more than 255 bytes.
  CFStringRef big = tb::NewCFString(std::string(300, 'x'));
  std::vector<unsigned char> wide(400);
  EXPECT_FALSE(CFStringGetPascalString(big, wide.data(), CFIndex(wide.size()), kCFStringEncodingUTF8));
  EXPECT_EQ(wide[0], 255);

  // UTF-16 bytes with a byte-order mark.
  const UniChar bom[] = {0xFEFF, 0x65E5, 0x0041};
  CFStringRef b = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(bom), sizeof bom,
                                          kCFStringEncodingUnicode, true);
  EXPECT_EQ(tb::CFStringText(b), "\xE6\x97\xA5" "A");

  // Compare by units, case folding on request.
  CFStringRef a1 = CFSTR("apple"), a2 = CFStringCreateWithCString(nullptr, "Apple", 0);
  EXPECT_EQ(CFStringCompare(a1, a2, 0), kCFCompareGreaterThan);
  EXPECT_EQ(CFStringCompare(a1, a2, kCFCompareCaseInsensitive), kCFCompareEqualTo);
  for (CFStringRef r : {s, u, l, big, b, a2}) CFRelease(r);
}

TEST(CFStringTest, WindowTitlesAndMenuTextsFromStrings) {
  tb::ResetMenus();
  Rect r{100, 100, 200, 300};
  WindowRef w = NewCWindow(nullptr, &r, PStr(""), true, documentProc, kFirstWindowOfClass, true, 0);
  CFStringRef title = CFStringCreateWithCString(nullptr, "\xE4\xBF\x9D\xE7\x95\x99 jobs", kCFStringEncodingMacJapanese);
  EXPECT_EQ(SetWindowTitleWithCFString(w, title), noErr);
  Str255 t;
  GetWTitle(w, t);
  EXPECT_EQ(pstr::str(t), "\xE4\xBF\x9D\xE7\x95\x99 jobs");
  CFStringRef copy = nullptr;
  EXPECT_EQ(CopyWindowTitleAsCFString(w, &copy), noErr);
  EXPECT_EQ(CFStringCompare(copy, title, 0), kCFCompareEqualTo);
  // A title beyond 255 bytes is cut on a character: 85 three-byte
  // characters fit, the 86th does not.
  std::string longTitle;
  for (int i = 0; i < 90; ++i) longTitle += "\xE6\x97\xA5";
  CFStringRef lt = tb::NewCFString(longTitle);
  SetWindowTitleWithCFString(w, lt);
  GetWTitle(w, t);
  EXPECT_EQ(t[0], 255);
  EXPECT_EQ(SetWindowTitleWithCFString(nullptr, title), paramErr);

  // The About item and a separator on top of a menu, as command ids; the
  // texts are literal (no metacharacters).
  MenuRef m = NewMenu(1000, PStr("Apple"));
  AppendMenu(m, PStr("Other"));
  EXPECT_EQ(InsertMenuItemTextWithCFString(m, CFSTR(""), 0, kMenuItemAttrSeparator, 0), noErr);
  EXPECT_EQ(InsertMenuItemTextWithCFString(m, CFSTR("About/A;(x"), 0, 0, kHICommandAbout), noErr);
  ASSERT_EQ(CountMenuItems(m), 3);
  MenuCommand cmd = 0;
  GetMenuItemCommandID(m, 1, &cmd);
  EXPECT_EQ(cmd, kHICommandAbout);
  Str255 it;
  GetMenuItemText(m, 1, it);
  EXPECT_EQ(pstr::str(it), "About/A;(x");
  EXPECT_FALSE(IsMenuItemEnabled(m, 2));  // the separator
  MenuItemIndex added = 0;
  EXPECT_EQ(AppendMenuItemTextWithCFString(m, title, 0, 'dev1', &added), noErr);
  EXPECT_EQ(added, 4);
  EXPECT_EQ(SetMenuItemTextWithCFString(m, 3, title), noErr);
  CFStringRef back = nullptr;
  EXPECT_EQ(CopyMenuItemTextAsCFString(m, 3, &back), noErr);
  EXPECT_EQ(tb::CFStringText(back), tb::CFStringText(title));
  CFRelease(back);
  EXPECT_EQ(CopyMenuItemTextAsCFString(m, 9, &back), paramErr);
  EXPECT_EQ(back, nullptr);
  EXPECT_EQ(SetMenuItemTextWithCFString(m, 9, title), paramErr);
  for (CFStringRef s : {title, copy, lt}) CFRelease(s);
  DisposeMenu(m);
  DisposeWindow(w);
  tb::ResetMenus();
}

TEST(ScriptText, ByteTypesAtEveryPositionOfMixedText) {
  // kMixed plus an over-long form (C0 80) and a lead byte cut short by the
  // NUL: both are single bytes.
  const std::string text = kMixed + "\xC0\x80" "z\xE6\x97";
  const std::vector<short> want = {
      smSingleByte,                                            // A
      smFirstByte, smLastByte,                                 // é
      smFirstByte, smMiddleByte, smLastByte,                   // 日
      smFirstByte, smMiddleByte, smLastByte,                   // 本
      smFirstByte, smMiddleByte, smMiddleByte, smLastByte,     // 😀
      smSingleByte,                                            // stray 80
      smSingleByte, smSingleByte,                              // C0 80
      smSingleByte,                                            // z
      smSingleByte, smSingleByte,                              // E6 97 then NUL
  };
  ASSERT_EQ(text.size(), want.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    EXPECT_EQ(CharacterByteType(text.c_str(), short(i), smJapanese), want[i]) << "offset " << i;
    EXPECT_EQ(CharByte(text.c_str(), short(i)), want[i]) << "offset " << i;
  }
  EXPECT_EQ(CharacterByteType(nullptr, 0, smRoman), smSingleByte);
  KeyScript(smKeyDisableKybdSwitch);  // accepted, nothing happens
}

// Word pieces of a text, cut where FindWordBreaks says.
std::vector<std::string> pieces(const std::string& t, BreakTablePtr table) {
  std::vector<std::string> out;
  for (short at = 0; at < short(t.size());) {
    OffsetTable o;
    FindWordBreaks(t.data(), short(t.size()), at, true, table, o, smSystemScript);
    EXPECT_EQ(o[0].offFirst, at);
    if (o[0].offSecond <= at) break;
    out.push_back(t.substr(std::size_t(at), std::size_t(o[0].offSecond - at)));
    at = o[0].offSecond;
  }
  return out;
}

TEST(ScriptText, WordBreaksForLatinAndJapanese) {
  using V = std::vector<std::string>;
  struct Case {
    std::string text;
    V line, select;
  };
  const Case cases[] = {
      {"No preview  here", {"No ", "preview  ", "here"}, {"No", " ", "preview", "  ", "here"}},
      // Between any two CJK characters, and between CJK and Latin, but not
      // before a small kana or the long vowel mark.
      {"\xE3\x83\x97\xE3\x83\xAC\xE3\x83\x93\xE3\x83\xA5\xE3\x83\xBC\xE3\x81\xAA\xE3\x81\x97",
       {"\xE3\x83\x97", "\xE3\x83\xAC", "\xE3\x83\x93\xE3\x83\xA5\xE3\x83\xBC", "\xE3\x81\xAA", "\xE3\x81\x97"},
       {"\xE3\x83\x97", "\xE3\x83\xAC", "\xE3\x83\x93", "\xE3\x83\xA5", "\xE3\x83\xBC", "\xE3\x81\xAA",
        "\xE3\x81\x97"}},
      // Not before closing brackets and stops, not after an opening bracket:
      // は「例」です。 as は, 「例」, で, す。
      {"\xE3\x81\xAF\xE3\x80\x8C\xE4\xBE\x8B\xE3\x80\x8D\xE3\x81\xA7\xE3\x81\x99\xE3\x80\x82",
       {"\xE3\x81\xAF", "\xE3\x80\x8C\xE4\xBE\x8B\xE3\x80\x8D", "\xE3\x81\xA7", "\xE3\x81\x99\xE3\x80\x82"},
       {"\xE3\x81\xAF", "\xE3\x80\x8C", "\xE4\xBE\x8B", "\xE3\x80\x8D", "\xE3\x81\xA7", "\xE3\x81\x99",
        "\xE3\x80\x82"}},
      {"PDF\xE6\x96\x87\xE6\x9B\xB8 ok",
       {"PDF", "\xE6\x96\x87", "\xE6\x9B\xB8 ", "ok"},
       {"PDF", "\xE6\x96\x87", "\xE6\x9B\xB8", " ", "ok"}},
      // Invalid bytes are characters of their own and never split.
      {"a\xE6\x97 b\x80", {"a\xE6\x97 ", "b\x80"}, {"a\xE6\x97", " ", "b\x80"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(pieces(c.text, kLineBreakTable), c.line);
    EXPECT_EQ(pieces(c.text, nullptr), c.select);
  }
  // An offset inside a character finds that character's word; the
  // trailing edge finds the word before.
  const std::string jp = "\xE6\x97\xA5\xE6\x9C\xAC";
  OffsetTable o;
  FindWordBreaks(jp.data(), short(jp.size()), 4, true, kLineBreakTable, o, smJapanese);
  EXPECT_EQ(o[0].offFirst, 3);
  EXPECT_EQ(o[0].offSecond, 6);
  FindWordBreaks(jp.data(), short(jp.size()), 3, false, kLineBreakTable, o, smJapanese);
  EXPECT_EQ(o[0].offFirst, 0);
  EXPECT_EQ(o[0].offSecond, 3);
  EXPECT_TRUE(tb::IsLineBreakAt(reinterpret_cast<const unsigned char*>(jp.data()), jp.size(), 3));
  EXPECT_FALSE(tb::IsLineBreakAt(reinterpret_cast<const unsigned char*>(jp.data()), jp.size(), 2));
}

TEST(ScriptText, StyledLineBreakFitsWordsThenCharacters) {
  testsupport::Canvas canvas(400, 50);
  ASSERT_NE(canvas.get(), nullptr);
  TextSize(12);
  auto width = [](const std::string& s) { return Fixed(TextWidth(s.data(), 0, short(s.size()))) << 16; };

  struct Case {
    std::string text;
    std::string fits;  // the room is this text's width plus a pixel
    long start;
    bool first;
    StyledLineBreakCode code;
    long offset;
  };
  const std::string latin = "The quick brown fox";
  const std::string jp = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x96\x87";  // 日本語の文
  const Case cases[] = {
      {latin, latin, 0, true, smBreakOverflow, 19},
      {latin, "The quick b", 0, true, smBreakWord, 10},   // "The quick " with its blank hanging
      {latin, "The quick", 0, true, smBreakWord, 10},     // the blank hangs past the width
      {latin, "brown f", 10, true, smBreakWord, 16},      // a run starting inside the text
      {latin, "Th", 0, true, smBreakChar, 2},             // no word fits: cut after what fits
      {latin, "Th", 0, false, smBreakWord, 0},            // not first on the line: nothing fits
      {latin, "", 0, true, smBreakChar, 1},               // at least one character
      {jp, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", 0, true, smBreakWord, 9},
      {jp, "\xE6\x97\xA5\xE6\x9C\xAC", 3, true, smBreakWord, 9},  // from the second character
      {jp, "", 0, true, smBreakChar, 3},  // never half a character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + " / " + c.fits);
    Fixed room = width(c.fits) + (1 << 16);
    long off = c.first ? 1 : 0;
    EXPECT_EQ(StyledLineBreak(c.text.data(), long(c.text.size()), c.start, long(c.text.size()), 0, &room, &off),
              c.code);
    EXPECT_EQ(off, c.offset);
    if (c.code == smBreakOverflow) {
      EXPECT_EQ(room, 1 << 16);
    }
  }
}

}  // namespace

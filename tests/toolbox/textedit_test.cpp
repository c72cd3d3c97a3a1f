// TextEdit: layout and wrapping, typing UTF-8, deleting and moving by
// characters, selection by click, double click and Shift, the clipboard, the
// size limit, drawing and the caret.
#include <gtest/gtest.h>

#include <string>

#include "toolbox/clock.h"
#include "toolbox/events.h"
#include "toolbox/scrap.h"
#include "toolbox/textedit.h"
#include "toolbox_fixture.h"

namespace {

// An offscreen port, current while the fixture lives, and one record on it.
class TE : public testsupport::ToolboxFixture {
 protected:
  void SetUp() override {
    ToolboxFixture::SetUp();
    TextFont(systemFont);
    TextSize(12);
  }
  void TearDown() override {
    if (te_) TEDispose(te_);
    ToolboxFixture::TearDown();
  }
  TEHandle make(Rect dest, Rect view) {
    te_ = TENew(&dest, &view);
    return te_;
  }
  TEHandle make(Rect both = Rect{10, 10, 190, 290}) { return make(both, both); }
  std::string text() const { return std::string(*(**te_).hText, std::size_t((**te_).teLength)); }
  void type(std::string_view s) {
    for (char c : s) TEKey(static_cast<unsigned char>(c), te_);
  }
  int ink(Rect r) const { return canvas_.ink(r); }
  short width(std::string_view s) const { return TextWidth(s.data(), 0, short(s.size())); }

  testsupport::Canvas canvas_{300, 200};
  TEHandle te_ = nullptr;
};

TEST_F(TE, LinesBreakAtReturnsAndWrapAtSpaces) {
  const short w = width("aaaa bbbb");
  // Room for "aaaa bbbb" but not for the next word.
  make(Rect{0, 0, 100, short(w + 2)});
  struct Case {
    std::string text;
    short lines;
    std::vector<short> starts;
  } cases[] = {
      {"", 0, {0}},
      {"abc", 1, {0, 3}},
      {"abc\r", 1, {0, 4}},  // no line is counted after a final return
      {"abc\rd", 2, {0, 4, 5}},
      {"\r\r", 2, {0, 1, 2}},
      {"aaaa bbbb cccc", 2, {0, 10, 14}},  // the space stays at the end of the first line
      {"aaaa bbbb\rcc", 2, {0, 10, 12}},
  };
  for (const auto& c : cases) {
    TESetText(c.text.data(), long(c.text.size()), te_);
    EXPECT_EQ((**te_).nLines, c.lines) << c.text;
    for (std::size_t i = 0; i < c.starts.size(); ++i)
      EXPECT_EQ(tb::TELineStart(te_, short(i)), c.starts[i]) << c.text << " line " << i;
    EXPECT_EQ((**te_).selStart, short(c.text.size()));
  }
  // A word wider than the line is broken between characters; CJK text
  // breaks anywhere, never inside a character.
  std::string wide(40, 'x');
  TESetText(wide.data(), long(wide.size()), te_);
  EXPECT_GT((**te_).nLines, 1);
  std::string cjk;
  for (int i = 0; i < 30; ++i) cjk += "\xE6\x97\xA5";  // U+65E5
  TESetText(cjk.data(), long(cjk.size()), te_);
  EXPECT_GT((**te_).nLines, 1);
  for (short l = 0; l <= (**te_).nLines; ++l) EXPECT_EQ(tb::TELineStart(te_, l) % 3, 0);
  // Lines break only at returns when crOnly is negative.
  (**te_).crOnly = -1;
  TECalText(te_);
  EXPECT_EQ((**te_).nLines, 1);
  // Japanese wraps, at widths of four characters and more, with no line starting with a stop, a
  // closing bracket or a small kana, and none ending with an opening bracket.
  const std::string jp =
      "\xE3\x81\x93\xE3\x82\x8C\xE3\x81\xAF\xE3\x80\x8C\xE4\xBE\x8B\xE3\x80\x8D\xE3\x81\xA7"
      "\xE3\x81\x99\xE3\x80\x82\xE3\x81\xA1\xE3\x82\x87\xE3\x81\xA3\xE3\x81\xA8\xE3\x80\x81"
      "\xEF\xBC\x88\xE6\x97\xA5\xEF\xBC\x89\xE3\x80\x82";  // これは「例」です。ちょっと、（日）。
  const std::vector<std::string> noStart = {"\xE3\x80\x82", "\xE3\x80\x81", "\xE3\x80\x8D",
                                            "\xEF\xBC\x89", "\xE3\x82\x87", "\xE3\x81\xA3"};
  const std::vector<std::string> noEnd = {"\xE3\x80\x8C", "\xEF\xBC\x88"};
  for (int kanji = 4; kanji <= 9; ++kanji) {
    TEDispose(te_);
    make(Rect{0, 0, 100, short(kanji * width("\xE6\x97\xA5") + 1)});
    TESetText(jp.data(), long(jp.size()), te_);
    EXPECT_GT((**te_).nLines, 1) << kanji;
    for (short l = 1; l < (**te_).nLines; ++l) {
      const std::size_t at = std::size_t(tb::TELineStart(te_, l));
      for (const std::string& c : noStart) EXPECT_NE(jp.compare(at, c.size(), c), 0) << kanji << " line " << l;
      for (const std::string& c : noEnd) EXPECT_NE(jp.compare(at - c.size(), c.size(), c), 0) << kanji << " line " << l;
    }
  }
}

TEST_F(TE, TypingUtf8ByteByByteAndDeletingWholeCharacters) {
  make();
  TEActivate(te_);
  type("ab\xC3\xA9\xE6\x97\xA5z");  // a b é 日 z
  EXPECT_EQ(text(), "ab\xC3\xA9\xE6\x97\xA5z");
  // A lead byte alone inserts nothing until its character is complete.
  TEKey(0xE6, te_);
  EXPECT_EQ((**te_).teLength, 8);
  TEKey(0x97, te_);
  TEKey(0xA5, te_);
  EXPECT_EQ((**te_).teLength, 11);

  struct Step {
    CharParameter key;
    EventModifiers mods;
    std::string text;
    short selStart, selEnd;
  } steps[] = {
      {kBackspaceCharCode, 0, "ab\xC3\xA9\xE6\x97\xA5z", 8, 8},    // removes 日 (3 bytes)
      {kLeftArrowCharCode, 0, "ab\xC3\xA9\xE6\x97\xA5z", 7, 7},    // over z
      {kLeftArrowCharCode, 0, "ab\xC3\xA9\xE6\x97\xA5z", 4, 4},    // over 日
      {kLeftArrowCharCode, shiftKey, "ab\xC3\xA9\xE6\x97\xA5z", 2, 4},  // Shift extends over é
      {kBackspaceCharCode, 0, "ab\xE6\x97\xA5z", 2, 2},            // deletes the selection
      {kDeleteCharCode, 0, "abz", 2, 2},                            // forward delete: 日
      {kRightArrowCharCode, 0, "abz", 3, 3},
      {kRightArrowCharCode, 0, "abz", 3, 3},                        // stops at the end
      {kHomeCharCode, 0, "abz", 0, 0},
      {kEndCharCode, shiftKey, "abz", 0, 3},
      {kRightArrowCharCode, 0, "abz", 3, 3},                        // collapses to the end
      {kEnterCharCode, 0, "abz", 3, 3},                             // no text for control keys
  };
  for (const auto& s : steps) {
    tb::TEKeyWithModifiers(s.key, s.mods, te_);
    EXPECT_EQ(text(), s.text) << "key " << s.key;
    EXPECT_EQ((**te_).selStart, s.selStart) << "key " << s.key;
    EXPECT_EQ((**te_).selEnd, s.selEnd) << "key " << s.key;
  }
  // Stray bytes become the characters of their numbers, as valid UTF-8.
  TESetText("", 0, te_);
  TEKey(0xA9, te_);      // a continuation byte with nothing before it
  TEKey(0xC3, te_);      // a lead byte cut short by 'x'
  TEKey('x', te_);
  TEKey(0xFF, te_);
  EXPECT_EQ(text(), "\xC2\xA9\xC3\x83x\xC3\xBF");
}

TEST_F(TE, UpAndDownKeepTheColumn) {
  make();
  TESetText("abcdef\rab\rabcdef", 16, te_);
  TESetSelect(4, 4, te_);
  TEKey(kDownArrowCharCode, te_);
  EXPECT_EQ((**te_).selStart, 9);  // the end of the short line
  TEKey(kDownArrowCharCode, te_);
  EXPECT_EQ((**te_).selStart, 12);
  TEKey(kDownArrowCharCode, te_);
  EXPECT_EQ((**te_).selStart, 16);
  TEKey(kUpArrowCharCode, te_);
  TEKey(kUpArrowCharCode, te_);
  TEKey(kUpArrowCharCode, te_);
  EXPECT_EQ((**te_).selStart, 0);
}

TEST_F(TE, SelectionStaysOnCharacterBoundaries) {
  make();
  const std::string s = "a\xC3\xA9\xE6\x97\xA5";  // a é 日: boundaries 0 1 3 6
  TESetText(s.data(), long(s.size()), te_);
  struct Case {
    long a, b;
    short s, e;
  } cases[] = {{2, 5, 1, 3}, {5, 2, 1, 3}, {-4, 99, 0, 6}, {4, 4, 3, 3}, {6, 1, 1, 6}};
  for (const auto& c : cases) {
    TESetSelect(c.a, c.b, te_);
    EXPECT_EQ((**te_).selStart, c.s) << c.a << "," << c.b;
    EXPECT_EQ((**te_).selEnd, c.e) << c.a << "," << c.b;
  }
}

TEST_F(TE, SizeLimitCutsOnCharacterBoundaries) {
  make();
  std::string big(kTEMaxLength - 1, 'a');
  big += "\xC3\xA9";  // é would end one byte past the limit
  TESetText(big.data(), long(big.size()), te_);
  EXPECT_EQ((**te_).teLength, kTEMaxLength - 1);
  TEKey('b', te_);
  EXPECT_EQ((**te_).teLength, kTEMaxLength);
  TEKey('c', te_);  // full: nothing more goes in
  EXPECT_EQ((**te_).teLength, kTEMaxLength);
  TESetSelect(0, 0, te_);
  TEInsert("\xE6\x97\xA5", 3, te_);
  EXPECT_EQ((**te_).teLength, kTEMaxLength);
  EXPECT_EQ(text().substr(0, 2), "aa");
}

TEST_F(TE, ClipboardCutCopyPaste) {
  make();
  TESetText("hello world", 11, te_);
  TESetSelect(0, 5, te_);
  TECopy(te_);
  std::string got;
  ASSERT_TRUE(tb::GetScrapText(&got));
  EXPECT_EQ(got, "hello");
  TESetSelect(6, 11, te_);
  TECut(te_);
  EXPECT_EQ(text(), "hello ");
  TEPaste(te_);
  TEPaste(te_);
  EXPECT_EQ(text(), "hello worldworld");
  // Text from elsewhere: 'utxt' only, with LF line ends.
  ClearCurrentScrap();
  ScrapRef scrap;
  GetCurrentScrap(&scrap);
  const UInt16 u[] = {'x', '\n', 0x65E5};
  ASSERT_EQ(PutScrapFlavor(scrap, kScrapFlavorTypeUnicode, 0, sizeof u, u), noErr);
  TESetSelect(0, 16, te_);
  TEPaste(te_);
  EXPECT_EQ(text(), "x\r\xE6\x97\xA5");
}

TEST_F(TE, ScrapReferencesGoStaleWhenCleared) {
  ScrapRef old;
  GetCurrentScrap(&old);
  ClearCurrentScrap();
  EXPECT_EQ(PutScrapFlavor(old, 'TEXT', 0, 1, "a"), badScrapRefErr);
  ScrapRef now;
  GetCurrentScrap(&now);
  EXPECT_EQ(PutScrapFlavor(now, 'TEXT', 0, 3, "abc"), noErr);
  EXPECT_EQ(PutScrapFlavor(now, 'TEXT', 0, 1, "x"), duplicateScrapFlavorErr);
  char buf[2];
  Size n = sizeof buf;
  EXPECT_EQ(GetScrapFlavorData(now, 'TEXT', &n, buf), noErr);
  EXPECT_EQ(n, 2);  // never more than the caller's buffer
  EXPECT_EQ(GetScrapFlavorSize(now, 'PICT', &n), noTypeErr);
}

TEST_F(TE, ClicksPlaceSelectAndExtend) {
  make();
  TESetText("one two three", 13, te_);
  TEActivate(te_);
  const short top = (**te_).destRect.top, left = (**te_).destRect.left;
  auto at = [&](std::string_view prefix) { return Point{short(top + 5), short(left + width(prefix))}; };
  TEClick(at("one t"), false, te_);
  EXPECT_EQ((**te_).selStart, 5);
  EXPECT_EQ((**te_).selEnd, 5);
  // A second click at the same place soon after selects the word.
  tb::AdvanceTicks(5);
  TEClick(at("one t"), false, te_);
  EXPECT_EQ((**te_).selStart, 4);
  EXPECT_EQ((**te_).selEnd, 7);
  // Shift extends from the anchor.
  tb::AdvanceTicks(120);
  TEClick(at("o"), false, te_);
  TEClick(at("one two th"), true, te_);
  EXPECT_EQ((**te_).selStart, 1);
  EXPECT_EQ((**te_).selEnd, 10);
  // Past the end of the text: the end; below the last line: the last line.
  tb::AdvanceTicks(120);
  TEClick(Point{short(top + 100), 280}, false, te_);
  EXPECT_EQ((**te_).selStart, 13);
  // The caret position and the click position agree.
  for (short off : {0, 3, 8, 13}) EXPECT_EQ(tb::TEPointToOffset(te_, tb::TEOffsetToPoint(te_, off)), off);
}

TEST_F(TE, DrawsInsideTheViewAndScrolls) {
  make(Rect{20, 20, 200, 200}, Rect{20, 20, 60, 200});  // three lines show
  const std::string lines = "AAAA\rBBBB\rCCCC\rDDDD\rEEEE";
  TESetText(lines.data(), long(lines.size()), te_);
  Rect all{0, 0, 200, 300};
  EraseRect(&all);
  TEUpdate(&all, te_);
  EXPECT_GT(ink(Rect{20, 20, 60, 200}), 0);
  EXPECT_EQ(ink(Rect{60, 0, 200, 300}), 0);  // nothing outside the view
  EXPECT_EQ(ink(Rect{0, 0, 20, 300}), 0);
  const int before = ink(Rect{20, 20, 60, 200});
  TEScroll(0, short(-2 * (**te_).lineHeight), te_);
  EXPECT_EQ((**te_).destRect.top, 20 - 2 * (**te_).lineHeight);
  EXPECT_GT(ink(Rect{20, 20, 60, 200}), 0);
  EXPECT_NE(ink(Rect{20, 20, 60, 200}), before);
  EXPECT_EQ(ink(Rect{60, 0, 200, 300}), 0);
}

TEST_F(TE, CaretBlinksOnIdleWhileActive) {
  make();
  TESetText("ab", 2, te_);
  TEActivate(te_);
  Point p = tb::TEOffsetToPoint(te_, 2);
  Rect caret{p.v, short(p.h - 1), short(p.v + (**te_).lineHeight), p.h};
  // Just after a change the caret shows, and stays until the caret time passes.
  TEKey('c', te_);
  p = tb::TEOffsetToPoint(te_, 3);
  caret = Rect{p.v, short(p.h - 1), short(p.v + (**te_).lineHeight), p.h};
  EXPECT_GT(ink(caret), 0);
  TEIdle(te_);
  EXPECT_GT(ink(caret), 0);
  tb::AdvanceTicks(GetCaretTime());
  TEIdle(te_);
  EXPECT_EQ(ink(caret), 0);
  tb::AdvanceTicks(GetCaretTime());
  TEIdle(te_);
  EXPECT_GT(ink(caret), 0);
  TEDeactivate(te_);
  EXPECT_EQ(ink(caret), 0);
  tb::AdvanceTicks(GetCaretTime());
  TEIdle(te_);
  EXPECT_EQ(ink(caret), 0);
}

TEST_F(TE, AutoScrollKeepsTheCaretInASingleLineView) {
  Rect r{10, 10, 30, 80};
  make(r, r);
  (**te_).crOnly = -1;
  EXPECT_EQ(TEFeatureFlag(teFAutoScroll, teBitSet, te_), 0);
  EXPECT_EQ(TEFeatureFlag(teFAutoScroll, teBitTest, te_), 1);
  TEActivate(te_);
  type("the quick brown fox jumps over the lazy dog");
  EXPECT_EQ((**te_).nLines, 1);
  EXPECT_LT((**te_).destRect.left, r.left);
  Point caret = tb::TEOffsetToPoint(te_, (**te_).selStart);
  EXPECT_GE(caret.h, r.left);
  EXPECT_LT(caret.h, r.right);
  TEKey(kHomeCharCode, te_);
  EXPECT_EQ((**te_).destRect.left, r.left);  // back, but never past the start
}

TEST_F(TE, AlignmentPlacesLines) {
  make(Rect{0, 0, 100, 200});
  TESetText("ab", 2, te_);
  const short w = width("ab");
  struct Case {
    short just;
    short left;
  } cases[] = {{teFlushLeft, 0}, {teCenter, short((200 - w) / 2)}, {teFlushRight, short(200 - w)}};
  for (const auto& c : cases) {
    TESetAlignment(c.just, te_);
    EXPECT_EQ(tb::TEOffsetToPoint(te_, 0).h, c.left) << c.just;
  }
}

}  // namespace

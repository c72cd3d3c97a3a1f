// The text engine in a modal form driven by injected keys and clicks (one
// single-line and one multi-line field, a filter doing the Command keys as
// the programs do), its layout kept right by edits, bytes that are not
// UTF-8, the look on screen, and Unicode label drawing.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "toolbox/carbonevents.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/fonts.h"
#include "toolbox/memory.h"
#include "toolbox/pictures.h"
#include "toolbox/resources.h"
#include "toolbox/scrap.h"
#include "toolbox/testdriver.h"
#include "toolbox/textengine.h"
#include "toolbox/unicodetext.h"
#include "toolbox_fixture.h"

namespace {

std::vector<TXNObject> gFields;

// The form's filter: a press focuses the field under it and is handed to
// it (and then left to the dialog, which must not take it twice); Command
// keys edit the focused field; Escape cancels. Return is the dialog's.
Boolean FormFilter(DialogRef d, EventRecord* e, DialogItemIndex* item) {
  WindowRef w = GetDialogWindow(d);
  TXNObject focused = tb::TXNFocusedObject(w);
  if (e->what == mouseDown) {
    Point local = e->where;
    SetPortDialogPort(d);
    GlobalToLocal(&local);
    for (TXNObject f : gFields) {
      Rect view;
      TXNGetViewRect(f, &view);
      view.right = short(view.right + 16);
      if (!PtInRect(local, &view)) continue;
      if (focused && focused != f) TXNFocus(focused, false);
      TXNFocus(f, true);
      TXNClick(f, e);
      break;
    }
    return false;
  }
  if (e->what != keyDown && e->what != autoKey) return false;
  const char c = char(e->message & charCodeMask);
  if ((e->message & keyCodeMask) >> 8 == kVK_Escape) {
    *item = 2;
    return true;
  }
  if (!(e->modifiers & cmdKey) || !focused) return false;
  switch (c | 0x20) {
    case 'a': TXNSelectAll(focused); break;
    case 'c': TXNCopy(focused); break;
    case 'v': TXNPaste(focused); break;
    case 'x': TXNCut(focused); break;
    case 'z':
      if (e->modifiers & shiftKey) TXNRedo(focused);
      else TXNUndo(focused);
      break;
    default: break;
  }
  return false;  // left to the dialog too: it must not edit a second time
}

class TextEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    tb::ResetResources();
    ASSERT_GT(tb::OpenApplicationResources(DIALOGS_TEST_RSRC), 0);
    tb::UseVirtualClock(true);
    tb::ResetEventState();
    TXNMacOSPreferredFontDescription font{UInt32(systemFont), 12 << 16, kTXNSystemDefaultEncoding, 0};
    ASSERT_EQ(TXNInitTextension(&font, 1, 0), noErr);
    d_ = GetNewDialog(170, nullptr, kFirstWindowOfClass);
    ASSERT_NE(d_, nullptr);
    SetDialogDefaultItem(d_, 1);
    one_ = field(3, kTXNSingleLineOnlyMask);
    many_ = field(4, kTXNDrawGrowIconMask | kTXNWantHScrollBarMask | kTXNWantVScrollBarMask);
    gFields = {one_, many_};
  }
  void TearDown() override {
    gFields.clear();
    TXNTerminateTextension();
    tb::DisposeAllWindows();
    tb::ResetResources();
    tb::ResetEventState();
    tb::UseVirtualClock(false);
  }

  // A field as the forms make one: on the item's rectangle made 1000 pixels
  // wider, then bound to the rectangle, text set to " " and then emptied.
  TXNObject field(DialogItemIndex n, TXNFrameOptions options) {
    DialogItemType kind;
    Handle h;
    Rect r;
    GetDialogItem(d_, n, &kind, &h, &r);
    Rect wide = r;
    wide.right = short(wide.right + 1000);
    TXNObject o = nullptr;
    TXNFrameID id = 0;
    EXPECT_EQ(TXNNewObject(nullptr, GetDialogWindow(d_), &wide, options, kTXNTextEditStyleFrameType,
                           kTXNTextensionFile, kTXNSystemDefaultEncoding, &o, &id, nullptr),
              noErr);
    TXNSetFrameBounds(o, r.top, r.left, r.bottom, r.right, id);
    TXNActivate(o, id, kScrollBarsAlwaysActive);
    TXNSetData(o, kTXNTextData, " ", 1, kTXNStartOffset, kTXNEndOffset);
    TXNSetData(o, kTXNTextData, "", 0, kTXNStartOffset, kTXNEndOffset);
    return o;
  }

  // Runs the modal loop over everything queued, ended by an Escape.
  DialogItemIndex run() {
    tb::PressNamedKey("Escape");
    DialogItemIndex item = 0;
    ModalDialog(FormFilter, &item);
    return item;
  }
  Point global(Point local) {
    SetPortDialogPort(d_);
    LocalToGlobal(&local);
    return local;
  }
  // A point in the middle of the line, before the character at byte offset.
  Point at(TXNObject o, std::size_t offset) {
    Point p = tb::TXNBytePoint(o, offset);
    p.v = short(p.v + 6);
    return p;
  }
  void click(TXNObject o, std::size_t offset, EventModifiers mods = 0) {
    tb::ClickInWindow(GetDialogWindow(d_), at(o, offset), mods);
    tb::AdvanceClock(GetDblTime() + 1);
  }
  void key(const char* name, EventModifiers mods = 0, int times = 1) {
    for (int i = 0; i < times; ++i) ASSERT_TRUE(tb::PressNamedKey(name, mods)) << name;
  }
  void cmd(char c, EventModifiers more = 0) { tb::PressKey(UInt8(c), tb::KeyCodeForChar(c), cmdKey | more); }

  static std::string data(TXNObject o, TXNDataType type) {
    Handle h = nullptr;
    EXPECT_EQ(TXNGetDataEncoded(o, kTXNStartOffset, kTXNEndOffset, &h, type), noErr);
    std::string s(*h, std::size_t(GetHandleSize(h)));
    DisposeHandle(h);
    return s;
  }
  static std::string selected(TXNObject o) {
    TXNOffset a, b;
    TXNGetSelection(o, &a, &b);
    Handle h = nullptr;
    EXPECT_EQ(TXNGetDataEncoded(o, a, b, &h, kTXNTextData), noErr);
    std::string s(*h, std::size_t(GetHandleSize(h)));
    DisposeHandle(h);
    return s;
  }
  static std::string clipboard() {
    std::string s;
    tb::GetScrapText(&s);
    return s;
  }
  static std::u16string utf16(TXNObject o) {
    std::string b = data(o, kTXNUnicodeTextData);
    std::u16string u(b.size() / 2, u'\0');
    std::memcpy(u.data(), b.data(), u.size() * 2);
    return u;
  }

  DialogRef d_ = nullptr;
  TXNObject one_ = nullptr;
  TXNObject many_ = nullptr;
};

TEST_F(TextEngine, SingleLineFieldTypingSelectionClipboardUndo) {
  click(one_, 0);
  tb::TypeText("Hello w\xC3\xB6rld");  // UTF-8 arrives a byte per key
  key("Left", shiftKey, 5);
  cmd('c');
  key("End");
  cmd('v');
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(tb::TXNFocusedObject(GetDialogWindow(d_)), one_);
  EXPECT_EQ(clipboard(), "w\xC3\xB6rld");
  EXPECT_EQ(tb::TXNText(one_), "Hello w\xC3\xB6rldw\xC3\xB6rld");  // pasted once, not twice

  // Undo takes back the paste, redo puts it back; the run of typing is one
  // edit, and backspace removes a whole character.
  cmd('z');
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(tb::TXNText(one_), "Hello w\xC3\xB6rld");
  cmd('z', shiftKey);
  cmd('z');
  cmd('z');
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(tb::TXNText(one_), "");
  cmd('z', shiftKey);
  key("End");
  key("Left", 0, 3);
  key("Delete");
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(tb::TXNText(one_), "Hello wrld");

  // Select all and cut; a line break pasted into one line is a space, and
  // Return is the dialog's default button rather than a line break.
  cmd('a');
  cmd('x');
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(tb::TXNText(one_), "");
  EXPECT_EQ(clipboard(), "Hello wrld");
  tb::PutScrapText("a\r\nb\nc");
  cmd('v');
  tb::PressNamedKey("Return");
  DialogItemIndex item = 0;
  ModalDialog(FormFilter, &item);
  EXPECT_EQ(item, 1);
  EXPECT_EQ(tb::TXNText(one_), "a b c");
  EXPECT_EQ(tb::TXNLineCount(one_), 1);

  // Read back byte for byte, as 'TEXT' and as 'utxt'; offsets count UTF-16.
  const std::string bytes = "K\xC3\xB6ln \xF0\x9F\x98\x80 \xE6\x97\xA5";
  ASSERT_EQ(TXNSetData(one_, kTXNTextData, bytes.data(), bytes.size(), kTXNStartOffset, kTXNEndOffset), noErr);
  EXPECT_EQ(data(one_, kTXNTextData), bytes);
  EXPECT_EQ(utf16(one_), u"K\u00F6ln \U0001F600 \u65E5");
  TXNSetSelection(one_, 5, 7);
  EXPECT_EQ(selected(one_), "\xF0\x9F\x98\x80");
  const std::u16string set = u"\u6771\u4EAC \U0001F600!";
  TXNSetData(one_, kTXNUnicodeTextData, set.data(), set.size() * 2, kTXNStartOffset, kTXNEndOffset);
  EXPECT_EQ(tb::TXNText(one_), "\xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80!");
  EXPECT_FALSE(TXNCanUndo(one_));  // setting the text is not an edit
}

TEST_F(TextEngine, MultiLineFieldJapaneseWrappingDragShiftAndDoubleClick) {
  click(one_, 0);
  click(many_, 0);  // the focus moves
  const std::string jp = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x96\x87\xE7\xAB\xA0";  // 日本語の文章
  std::string typed;
  for (int i = 0; i < 6; ++i) typed += jp;
  tb::TypeText(typed);
  tb::PressNamedKey("Return");  // a line break here, not the default button
  tb::TypeText("one two three");
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(tb::TXNFocusedObject(GetDialogWindow(d_)), many_);
  EXPECT_EQ(tb::TXNText(many_), typed + "\r" + "one two three");

  // Lines break between Japanese characters, each within the view.
  Rect view;
  TXNGetViewRect(many_, &view);
  const auto starts = tb::TXNLineStarts(many_);
  ASSERT_GE(starts.size(), 3u);
  for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
    EXPECT_EQ(starts[i] % 3, 0u) << "line " << i << " starts inside a character";
    if (starts[i + 1] <= typed.size()) {
      Point end = tb::TXNBytePoint(many_, starts[i + 1] - 3);
      EXPECT_LE(end.h + 12, view.right) << "line " << i;
    }
  }

  // A drag selects from the press to the release, across lines.
  const std::size_t from = 3, to = starts[1] + 6;
  tb::DragFromTo(global(at(many_, from)), global(at(many_, to)));
  tb::AdvanceClock(GetDblTime() + 1);
  cmd('c');
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(clipboard(), typed.substr(from, to - from));

  // Shift-click extends; a double click takes a word.
  const std::size_t two = typed.size() + 5;
  click(many_, typed.size() + 1);
  click(many_, typed.size() + 11, shiftKey);
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(selected(many_), "one two th");
  tb::ClickInWindow(GetDialogWindow(d_), at(many_, two));
  tb::ClickInWindow(GetDialogWindow(d_), at(many_, two));
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(selected(many_), "two");
  // One press handed on by the filter and then the dialog is one click.
  tb::AdvanceClock(GetDblTime() + 1);
  click(many_, two + 1);
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(selected(many_), "");

  // Shift with the arrows, and typing over a selection, undone in one step.
  key("Left", shiftKey, 2);
  tb::TypeText("\xE3\x81\x82");  // あ
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(tb::TXNText(many_), typed + "\rone\xE3\x81\x82wo three");
  cmd('z');
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(tb::TXNText(many_), typed + "\rone two three");

  // Characters of a text-input event: Home, End and Shift-Left act as keys,
  // a letter with Command and Shift is typed.
  tb::TXNTypeText(many_, "\x01<\x04>");
  tb::TXNTypeText(many_, "\x1C", shiftKey);
  tb::TXNTypeText(many_, "Z", cmdKey | shiftKey);
  EXPECT_EQ(tb::TXNText(many_), "<" + typed + "\rone two threeZ");
}

OSStatus QuitOnEscape(EventHandlerCallRef, EventRef e, void*) {
  UInt32 code = 0;
  GetEventParameter(e, kEventParamKeyCode, typeUInt32, nullptr, sizeof code, nullptr, &code);
  if (code != kVK_Escape) return eventNotHandledErr;
  QuitApplicationEventLoop();
  return noErr;
}

TEST_F(TextEngine, TextInputOfTheCarbonLoopReachesTheFocusedObject) {
  const EventTypeSpec keys[] = {{kEventClassKeyboard, kEventRawKeyDown}};
  EventHandlerRef handler = nullptr;
  ASSERT_EQ(InstallWindowEventHandler(GetDialogWindow(d_), NewEventHandlerUPP(QuitOnEscape), 1, keys, nullptr,
                                      &handler),
            noErr);
  TXNFocus(many_, true);
  tb::TypeText("\xE6\x97\xA5\xE6\x9C\xAC ok");  // 日本: one key event per character
  key("Left", shiftKey, 2);
  tb::TypeText("!");
  tb::PressNamedKey("Escape");
  RunApplicationEventLoop();
  EXPECT_EQ(tb::TXNText(many_), "\xE6\x97\xA5\xE6\x9C\xAC !");
  RemoveEventHandler(handler);
}

TEST_F(TextEngine, ScrollingALongText) {
  std::string text;
  for (int i = 1; i <= 120; ++i) text += "Line " + std::to_string(i) + "\r";
  TXNSetData(many_, kTXNTextData, text.data(), text.size(), kTXNStartOffset, kTXNEndOffset);
  TXNSetSelection(many_, 0, 0);
  const int lines = tb::TXNLineCount(many_);
  EXPECT_EQ(lines, 121);  // the empty line after the last break
  ControlRef bar = tb::TXNScrollBar(many_);
  ASSERT_NE(bar, nullptr);
  Rect view;
  TXNGetViewRect(many_, &view);
  const int shown = tb::TXNFirstVisibleLine(many_) + 0;
  EXPECT_EQ(shown, 0);
  const int maxTop = GetControl32BitMaximum(bar);
  EXPECT_GT(maxTop, 100);

  click(many_, 0);
  key("End");
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(tb::TXNFirstVisibleLine(many_), maxTop);
  EXPECT_EQ(GetControl32BitValue(bar), maxTop);
  key("PageUp");
  key("Up", 0, 2);
  EXPECT_EQ(run(), 2);
  const int afterPage = tb::TXNFirstVisibleLine(many_);
  EXPECT_LT(afterPage, maxTop);
  EXPECT_EQ(GetControl32BitValue(bar), afterPage);

  // The bar's arrows step a line, its thumb dragged to the top shows line 0.
  Rect up, thumb;
  ASSERT_TRUE(tb::ScrollBarPartRect(bar, kControlUpButtonPart, &up));
  tb::ClickInWindow(GetDialogWindow(d_), Point{short(up.top + 4), short(up.left + 4)});
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(tb::TXNFirstVisibleLine(many_), afterPage - 1);
  ASSERT_TRUE(tb::ScrollBarPartRect(bar, kControlIndicatorPart, &thumb));
  const Point grip{short((thumb.top + thumb.bottom) / 2), short((thumb.left + thumb.right) / 2)};
  tb::DragFromTo(global(grip), global(Point{short(view.top - 50), grip.h}));
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(tb::TXNFirstVisibleLine(many_), 0);
  EXPECT_EQ(tb::TXNText(many_), text);
  // The wheel over the text moves it as the arrows do, in a modal loop too.
  tb::TurnWheelAt(global(Point{short(view.top + 10), short(view.left + 10)}), 5);
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(tb::TXNFirstVisibleLine(many_), 5);
  EXPECT_EQ(GetControl32BitValue(bar), 5);

  // Texts far longer than the port's coordinates reach: the end of 4,000
  // lines, and the end of one line of 8,000 characters, still show.
  CGrafPtr port = GetWindowPort(GetDialogWindow(d_));
  std::string longer;
  for (int i = 1; i <= 4000; ++i) longer += "Row " + std::to_string(i) + "\r";
  longer += "last";
  TXNSetData(many_, kTXNTextData, longer.data(), longer.size(), kTXNStartOffset, kTXNEndOffset);
  EXPECT_GT(tb::TXNFirstVisibleLine(many_), 3980);
  EXPECT_EQ(tb::TXNFirstVisibleLine(many_), GetControl32BitMaximum(bar));
  Point caret = tb::TXNBytePoint(many_, longer.size() - 4);
  EXPECT_TRUE(testsupport::DarkInkIn(port, Rect{caret.v, caret.h, short(caret.v + 15), short(caret.h + 20)}));
  const std::string line(8000, 'm');
  TXNFocus(one_, true);
  TXNSetData(one_, kTXNTextData, line.data(), line.size(), kTXNStartOffset, kTXNEndOffset);
  tb::TXNTypeText(one_, "END");
  caret = tb::TXNBytePoint(one_, line.size());
  Rect v1;
  TXNGetViewRect(one_, &v1);
  EXPECT_TRUE(PtInRect(caret, &v1));
  EXPECT_TRUE(testsupport::DarkInkIn(port, Rect{v1.top, caret.h, v1.bottom, short(std::min<int>(caret.h + 30, v1.right))}));
}

// Editing lays out and draws only from the changed line on; whatever the
// edits, the lines must come out as a fresh layout of the same text, and
// the view as a full drawing of it.
TEST_F(TextEngine, EditsKeepTheLayoutOfAFreshObject) {
  const char* pieces[] = {"word ", "a ", "longerword ", "\r", "\xE6\x97\xA5\xE6\x9C\xAC", "\xE3\x81\x82",
                          "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", "  ", "\xFF"};
  std::mt19937 rng(20);
  TXNFocus(many_, true);
  Rect frame{300, 10, 400, 200};
  TXNObject fresh = nullptr;
  ASSERT_EQ(TXNNewObject(nullptr, GetDialogWindow(d_), &frame, kTXNWantVScrollBarMask, kTXNTextEditStyleFrameType,
                         kTXNTextensionFile, 0, &fresh, nullptr, nullptr),
            noErr);
  TXNSetFrameBounds(fresh, 40, 205, 240, 395, 0);
  CGrafPtr port = GetWindowPort(GetDialogWindow(d_));
  Rect view;
  TXNGetViewRect(many_, &view);
  auto pixels = [&] {
    std::vector<UInt32> v;
    for (int y = view.top; y < view.bottom; ++y)
      for (int x = view.left; x < view.right; ++x) v.push_back(tb::PortPixel(port, x, y));
    return v;
  };
  for (int step = 0; step < 400; ++step) {
    const std::string now = tb::TXNText(many_);
    const TXNOffset units = TXNOffset(utf16(many_).size());
    const TXNOffset a = units ? TXNOffset(rng() % (units + 1)) : 0;
    const TXNOffset b = std::min<TXNOffset>(units, a + (rng() % 4 == 0 ? rng() % 30 : 0));
    TXNSetSelection(many_, a, b);
    if (rng() % 3 == 0) {
      EventRecord e{keyDown, kBackspaceCharCode, TickCount(), {0, 0}, 0};
      TXNKeyDown(many_, &e);
    } else {
      const std::string p = pieces[rng() % std::size(pieces)];
      if (p == "\xFF") TXNSetData(many_, kTXNTextData, p.data(), 1, a, b);  // kept as it is
      else tb::TXNTypeText(many_, p);
    }
    const std::string text = tb::TXNText(many_);
    TXNSetData(fresh, kTXNTextData, text.data(), text.size(), kTXNStartOffset, kTXNEndOffset);
    ASSERT_EQ(tb::TXNLineStarts(many_), tb::TXNLineStarts(fresh)) << "after step " << step;
    if (step % 20 == 0) {
      const auto drawn = pixels();
      TXNDraw(many_, nullptr);
      ASSERT_EQ(drawn, pixels()) << "after step " << step;
    }
  }
  TXNDeleteObject(fresh);
}

TEST_F(TextEngine, BytesThatAreNotUTF8AreKeptShownAndNeverSplit) {
  const std::string bytes = "a\xFF\xE3\x81" "b\xC0\x80";
  TXNSetData(many_, kTXNTextData, bytes.data(), bytes.size(), kTXNStartOffset, kTXNEndOffset);
  EXPECT_EQ(tb::TXNText(many_), bytes);
  EXPECT_EQ(utf16(many_), u"a\uFFFD\uFFFD\uFFFDb\uFFFD\uFFFD");
  // Each such byte is a character: the arrows step over it, backspace
  // takes it whole, and what is typed stays valid UTF-8.
  TXNFocus(many_, true);
  TXNSetSelection(many_, 0, 0);
  tb::TXNTypeText(many_, "\x81z");
  for (int i = 0; i < 3; ++i) {
    EventRecord right{keyDown, kRightArrowCharCode, TickCount(), {0, 0}, 0};
    TXNKeyDown(many_, &right);
  }
  EventRecord back{keyDown, kBackspaceCharCode, TickCount(), {0, 0}, 0};
  TXNKeyDown(many_, &back);
  EXPECT_EQ(tb::TXNText(many_), "\xEF\xBF\xBDza\xFF\x81" "b\xC0\x80");
  const std::u16string lone = u"x\xD800y";
  TXNSetData(one_, kTXNUnicodeTextData, lone.data(), lone.size() * 2, kTXNStartOffset, kTXNEndOffset);
  EXPECT_EQ(tb::TXNText(one_), "x\xEF\xBF\xBDy");
  // The replacement character is drawn.
  TXNDraw(many_, nullptr);
  Rect view;
  TXNGetViewRect(many_, &view);
  view.bottom = short(view.top + 16);
  EXPECT_TRUE(testsupport::DarkInkIn(GetWindowPort(GetDialogWindow(d_)), view));
}

TEST_F(TextEngine, ScreenshotShowsTextColourSelectionAndHiddenText) {
  TXNSetData(one_, kTXNTextData, "Probe", 5, kTXNStartOffset, kTXNEndOffset);
  TXNFocus(one_, true);
  TXNSelectAll(one_);
  const std::string two = "grey text\rsecond line";
  TXNSetData(many_, kTXNTextData, two.data(), two.size(), kTXNStartOffset, kTXNEndOffset);
  RGBColor grey{0x8888, 0x8888, 0x8888};
  TXNTypeAttributes colour{kTXNQDFontColorAttribute, kTXNQDFontColorAttributeSize, {&grey}};
  EXPECT_EQ(TXNSetTypeAttributes(many_, 1, &colour, kTXNStartOffset, kTXNEndOffset), noErr);
  TXNBackground bg{kTXNBackgroundTypeRGB, {0xFFFF, 0xFFFF, 0xDDDD}};
  EXPECT_EQ(TXNSetBackground(many_, &bg), noErr);
  TXNDraw(one_, nullptr);
  TXNDraw(many_, nullptr);

  const auto dir = std::filesystem::path(::testing::TempDir()) / "textengine";
  std::filesystem::create_directories(dir);
  auto shoot = [&] {
    const std::string path = (dir / "screen.png").string();
    EXPECT_EQ(tb::SaveScreenshot(path.c_str()), noErr);
    std::string png = testsupport::ReadFile(path);
    return *tb::DecodePNG(std::span(reinterpret_cast<const UInt8*>(png.data()), png.size()));
  };
  Rect content;
  GetWindowBounds(GetDialogWindow(d_), kWindowContentRgn, &content);
  auto count = [&](const tb::Image& img, Rect r, auto pred) {
    int n = 0;
    for (int v = r.top; v < r.bottom; ++v)
      for (int h = r.left; h < r.right; ++h) {
        UInt8 cr, cg, cb;
        tb::UnpackPixel(img.pixels[std::size_t(content.top + v) * std::size_t(img.width) + std::size_t(content.left + h)],
                        cr, cg, cb);
        n += pred(cr, cg, cb);
      }
    return n;
  };
  Rect v1, v2;
  TXNGetViewRect(one_, &v1);
  TXNGetViewRect(many_, &v2);
  const Rect firstLine{v2.top, v2.left, short(v2.top + 14), v2.right};
  tb::Image img = shoot();
  // Dark text on the selection's colour in the focused field.
  EXPECT_GT(count(img, v1, [](int r, int g, int b) { return r < 0x60 && g < 0x60 && b < 0x60; }), 20);
  EXPECT_GT(count(img, v1, [](int r, int g, int b) { return r == 0xB5 && g == 0xD5 && b == 0xFF; }), 100);
  // Grey text, nothing darker, on the background colour.
  EXPECT_GT(count(img, firstLine, [](int r, int g, int) { return r == g && r >= 0x88 && r < 0xD0; }), 10);
  EXPECT_EQ(count(img, v2, [](int r, int g, int b) { return r < 0x80 && g < 0x80 && b < 0x80; }), 0);
  EXPECT_GT(count(img, v2, [](int r, int g, int b) { return r == 0xFF && g == 0xFF && b == 0xDD; }), 1000);

  // An empty destination hides the text.
  TXNLongRect none{v2.top, v2.left, v2.top, v2.left};
  TXNSetRectBounds(many_, nullptr, &none, true);
  img = shoot();
  EXPECT_EQ(count(img, v2, [](int r, int g, int b) { return !(r == 0xFF && g == 0xFF && b == 0xDD); }), 0);
  EventRecord k{keyDown, 'x', TickCount(), {0, 0}, 0};
  TXNKeyDown(many_, &k);
  EXPECT_EQ(tb::TXNText(many_), two);
}

TEST_F(TextEngine, UnicodeLabelsDrawAndMeasure) {
  ATSUFontID geneva = 0, none = 0;
  EXPECT_EQ(ATSUFindFontFromName("Geneva", 6, kFontFamilyName, kFontNoPlatformCode, kFontNoScriptCode,
                                 kFontNoLanguageCode, &geneva),
            noErr);
  EXPECT_EQ(ATSUFindFontFromName("No Such Family 123", 18, kFontFullName, kFontNoPlatformCode,
                                 kFontNoScriptCode, kFontNoLanguageCode, &none),
            kATSUInvalidFontErr);
  ATSUStyle big = nullptr, small = nullptr;
  ASSERT_EQ(ATSUCreateStyle(&big), noErr);
  ASSERT_EQ(ATSUCreateStyle(&small), noErr);
  Fixed size14 = 14 << 16, size9 = 9 << 16, huge = 9999 << 16;
  ATSUAttributeTag tags[] = {kATSUFontTag, kATSUSizeTag};
  ByteCount sizes[] = {sizeof(ATSUFontID), sizeof(Fixed)};
  ATSUAttributeValuePtr values[] = {&geneva, &size14};
  EXPECT_EQ(ATSUSetAttributes(big, 2, tags, sizes, values), noErr);
  values[1] = &size9;
  EXPECT_EQ(ATSUSetAttributes(small, 2, tags, sizes, values), noErr);
  values[1] = &huge;
  EXPECT_EQ(ATSUSetAttributes(small, 2, tags, sizes, values), kATSUInvalidAttributeValueErr);

  // "Name 名前" in one style, then its two words in two.
  const std::u16string label = u"Name \u540D\u524D";
  const std::string utf8 = "Name \xE5\x90\x8D\xE5\x89\x8D";
  Rect r{0, 0, 60, 300};
  testsupport::Canvas canvas(300, 60);
  GWorldPtr world = canvas.get();
  ASSERT_NE(world, nullptr);
  EraseRect(&r);
  ATSUTextLayout one = nullptr, two = nullptr;
  UniCharCount all = label.size();
  ASSERT_EQ(ATSUCreateTextLayoutWithTextPtr(reinterpret_cast<const UniChar*>(label.data()), 0, all, all, 1, &all,
                                            &big, &one),
            noErr);
  Rect image;
  ASSERT_EQ(ATSUMeasureTextImage(one, kATSUFromTextBeginning, kATSUToTextEnd, 10 << 16, 30 << 16, &image), noErr);
  TextFont(short(geneva));
  TextSize(14);
  EXPECT_EQ(image.right - image.left, TextWidth(utf8.data(), 0, short(utf8.size())));
  EXPECT_EQ(image.left, 10);
  EXPECT_LT(image.top, 30);
  EXPECT_GT(image.bottom, 30);
  TextFont(systemFont);
  TextSize(12);
  ASSERT_EQ(ATSUDrawText(one, kATSUFromTextBeginning, kATSUToTextEnd, 10 << 16, 30 << 16), noErr);
  EXPECT_TRUE(testsupport::DarkInkIn(world, image));
  EXPECT_TRUE(testsupport::DarkInkIn(world, Rect{image.top, short(image.right - 12), image.bottom, image.right}));
  EXPECT_FALSE(testsupport::DarkInkIn(world, Rect{0, short(image.right + 2), 60, 300}));
  EXPECT_EQ(GetPortTextSize(world), 12);  // the port's own settings are back

  UniCharCount runs[] = {5, 2};
  ATSUStyle styles[] = {small, big};
  ASSERT_EQ(ATSUCreateTextLayoutWithTextPtr(reinterpret_cast<const UniChar*>(label.data()), 0, all, all, 2, runs,
                                            styles, &two),
            noErr);
  Rect mixed, word;
  ATSUMeasureTextImage(two, kATSUFromTextBeginning, kATSUToTextEnd, 0, 0, &mixed);
  ATSUMeasureTextImage(two, 5, 2, 0, 0, &word);
  EXPECT_LT(mixed.right, image.right - image.left);
  TextFont(short(geneva));
  TextSize(14);
  EXPECT_EQ(word.right, TextWidth(utf8.data(), 5, 6));
  EXPECT_EQ(ATSUMeasureTextImage(two, 5, 9, 0, 0, &word), kATSUInvalidTextRangeErr);

  // A lone surrogate is the replacement character.
  const std::u16string broken = u"A\xDC00";
  ATSUTextLayout three = nullptr;
  UniCharCount n = broken.size();
  ASSERT_EQ(ATSUCreateTextLayoutWithTextPtr(reinterpret_cast<const UniChar*>(broken.data()), 0, n, n, 1, &n, &big,
                                            &three),
            noErr);
  ATSUMeasureTextImage(three, kATSUFromTextBeginning, kATSUToTextEnd, 0, 0, &word);
  TextFont(short(geneva));
  TextSize(14);
  EXPECT_EQ(word.right, TextWidth("A\xEF\xBF\xBD", 0, 4));
  for (ATSUTextLayout l : {one, two, three}) EXPECT_EQ(ATSUDisposeTextLayout(l), noErr);
  EXPECT_EQ(ATSUDisposeStyle(big), noErr);
  EXPECT_EQ(ATSUDisposeStyle(small), noErr);
  EXPECT_EQ(ATSUDisposeStyle(small), kATSUInvalidStyleErr);
}

}  // namespace

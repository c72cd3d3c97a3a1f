// The text-view control: its scroll bars and their layout, wrapping inside
// the view, the bounded text read-out, and scrolling by arrows, pages and
// the thumb.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>

#include "FanctionLib/CEdit.h"
#include "test_support.h"
#include "toolbox/gestalt.h"
#include "toolbox/testdriver.h"
#include "toolbox_fixture.h"

namespace {

using testsupport::P;

const RGBColor kDialogGrey{0xDDDD, 0xDDDD, 0xDDDD};
const UInt32 kGrey = tb::PackPixel(0xDD, 0xDD, 0xDD);
constexpr SInt16 kLine = 14;

// n lines "line 1" ... "line n" separated by carriage returns.
std::string Lines(int n) {
  std::string s;
  for (int i = 1; i <= n; ++i) s += (i > 1 ? "\r" : "") + ("line " + std::to_string(i));
  return s;
}

class TextViewTest : public testsupport::ToolboxFixture {
 protected:
  TextViewTest() : ToolboxFixture(Clock::kReal) {}
  void SetUp() override {
    ToolboxFixture::SetUp();
    w_ = NewTestWindow(Rect{100, 100, 400, 500}, "View", &kDialogGrey);
    ASSERT_NE(w_, nullptr);
  }
  void TearDown() override {
    if (ce_) CEDispose(ce_);
    ToolboxFixture::TearDown();
  }
  // A view over (20, 20)-(220, 118): 98 pixels, seven lines, high. The
  // host's usual set-up follows.
  CEDIT_DATA* make(Boolean h, Boolean v, Boolean frame = false) {
    SetPortWindowPort(w_);
    ce_ = CENew(w_, &rect_, nullptr, nullptr, h, v, frame);
    if (ce_) {
      CTESetLineHeight(ce_, kLine);
      CTEFeatureFlag(ce_, teFAutoScroll, teBitSet);
      CTESetAlignment(ce_, teFlushLeft);
    }
    return ce_;
  }
  // New text and, as the host's update handler then does, the view drawn.
  void set(const std::string& text, bool ex = false) {
    ex ? CTESetTextEx(ce_, text.data(), SInt32(text.size())) : CTESetText(ce_, text.data(), SInt32(text.size()));
    CEUpdate(ce_);
  }
  Rect dest() {
    Rect r;
    CTEGetDestRect(ce_, &r);
    return r;
  }
  Rect view() {
    Rect r;
    CTEGetViewRect(ce_, &r);
    return r;
  }
  UInt32 px(int h, int v) const { return tb::PortPixel(GetWindowPort(w_), h, v); }
  bool inkIn(const Rect& r) const { return testsupport::DarkInkIn(GetWindowPort(w_), r); }
  Point global(Point local) const {
    Rect content;
    GetWindowBounds(w_, kWindowContentRgn, &content);
    return Point{SInt16(content.top + local.v), SInt16(content.left + local.h)};
  }
  static Point mid(const Rect& r) { return Point{SInt16((r.top + r.bottom) / 2), SInt16((r.left + r.right) / 2)}; }
  // A press taken from the queue and given to the view, as a host does.
  void pressOn(Point local) {
    tb::MouseDownAt(global(local));
    EventRecord ev{};
    ASSERT_TRUE(GetNextEvent(mDownMask, &ev));
    Point cell{5, 5};
    SInt16 sortPart = 3;
    EXPECT_EQ(CEMouseDown(ce_, &ev, &cell, &sortPart, 0), 0);
    EXPECT_EQ(cell.h, -1);
    EXPECT_EQ(cell.v, -1);
    EXPECT_EQ(sortPart, -1);
    Drain();
  }

  const Rect rect_{20, 20, 118, 220};
  WindowRef w_ = nullptr;
  CEDIT_DATA* ce_ = nullptr;
};

TEST_F(TextViewTest, NullAndMissingParts) {
  SInt32 len = 4;
  char buf[4];
  EXPECT_EQ(CTEGetText(nullptr, buf, &len), -1);
  EXPECT_EQ(CTEGetLine(nullptr), -1);
  EXPECT_EQ(CTESetTextVScroll(nullptr), -1);
  EXPECT_EQ(CTEGetTextWidth(nullptr), 0);
  EXPECT_EQ(CEMouseDown(nullptr, nullptr, nullptr, nullptr, 0), 0);
  CTESetText(nullptr, "x", 1);
  CEUpdate(nullptr, nullptr, true);
  CEUpdate(nullptr);
  CEDispose(nullptr);
  ASSERT_NE(make(false, true), nullptr);
  EXPECT_EQ(CTESetTextHScroll(ce_), -3);  // no horizontal bar
  EXPECT_EQ(CTEGetTextWidth(ce_), 0);     // no text
  EXPECT_EQ(CTEGetLine(ce_), 0);
  ControlRef h = nullptr, v = nullptr;
  CEGetScrollHandle(ce_, &h, &v);
  EXPECT_EQ(v, nullptr);  // only when both bars exist
}

TEST_F(TextViewTest, ShortTextWithoutBars) {
  ASSERT_NE(make(false, true), nullptr);
  set("Hello");
  EXPECT_EQ(CTEGetLine(ce_), 1);
  EXPECT_FALSE(ce_->vScrShow);
  // No bar needed: five pixels of margin on the right, and the laid-out
  // height counts one line more than the text has.
  EXPECT_EQ(dest().right, rect_.right - 5);
  EXPECT_EQ(dest().left, rect_.left + 5);
  EXPECT_EQ(dest().bottom, rect_.top + 2 * kLine + 5);
  const Rect v = view();
  EXPECT_TRUE(EqualRect(&v, &rect_));
  EXPECT_EQ(GetControlMaximum(ce_->vScroll), 0);
  EXPECT_TRUE(inkIn(Rect{20, 25, 34, 120}));
}

TEST_F(TextViewTest, VerticalBarLayout) {
  ASSERT_NE(make(false, true), nullptr);
  struct Case {
    int lines;
    bool show;    // vScrShow: the text at least as tall as the view
    bool needed;  // the view gives the bar its room
  };
  // Seven lines are exactly as tall as the view (98 pixels).
  const Case cases[] = {{5, false, false}, {6, false, false}, {7, true, true}, {20, true, true}};
  for (const Case& c : cases) {
    set(Lines(c.lines));
    ASSERT_EQ(CTEGetLine(ce_), c.lines);
    EXPECT_EQ(bool(ce_->vScrShow), c.show) << c.lines;
    EXPECT_EQ(view().right, c.needed ? rect_.right - 15 : rect_.right) << c.lines;
    // Wrapped lines end 20 pixels inside the view with the bar, 5 without.
    EXPECT_EQ(dest().right, c.needed ? rect_.right - 20 : rect_.right - 5) << c.lines;
    EXPECT_EQ(dest().bottom, rect_.top + (c.lines + 1) * kLine + 5) << c.lines;
    EXPECT_EQ(GetControlMaximum(ce_->vScroll), std::max(0, c.lines - 7 + 1)) << c.lines;
    EXPECT_EQ(GetControlValue(ce_->vScroll), 0);
  }
  Rect bar;
  GetControlBounds(ce_->vScroll, &bar);
  EXPECT_EQ(bar.left, rect_.right - 15);
  EXPECT_EQ(bar.bottom, rect_.bottom);
}

TEST_F(TextViewTest, LongParagraphsWrapInsideTheView) {
  ASSERT_NE(make(false, true), nullptr);
  std::string para;
  for (int i = 0; i < 40; ++i) para += "word ";
  set(para);
  EXPECT_GT(CTEGetLine(ce_), 3);
  for (SInt16 line = 0; line < CTEGetLine(ce_); ++line) {
    const SInt16 s = tb::TELineStart(ce_->hTEdit, line), e = tb::TELineStart(ce_->hTEdit, SInt16(line + 1));
    SetPortWindowPort(w_);
    EXPECT_LE(TextWidth(para.data(), s, SInt16(e - s)) - CharWidth(' '), rect_.right - 20 - (rect_.left + 5));
  }
}

TEST_F(TextViewTest, BothBarsForWideAndTallText) {
  ASSERT_NE(make(true, true), nullptr);
  std::string text = Lines(10) + "\r" + std::string(60, 'W');
  set(text);
  const SInt16 w = CTEGetTextWidth(ce_);
  ASSERT_GT(w, rect_.right - rect_.left);
  EXPECT_TRUE(ce_->hScrShow);
  EXPECT_TRUE(ce_->vScrShow);
  EXPECT_EQ(dest().right, w + rect_.left + 10);  // not wrapped
  EXPECT_EQ(CTEGetLine(ce_), 11);
  EXPECT_EQ(view().right, rect_.right - 15);
  EXPECT_EQ(view().bottom, rect_.bottom - 15);
  EXPECT_EQ(GetControlMaximum(ce_->hScroll), w + rect_.left + 10 - rect_.right);
  // The corner between the bars is cleared to white.
  EXPECT_EQ(px(rect_.right - 7, rect_.bottom - 7), tb::PackPixel(0xFF, 0xFF, 0xFF));
  Rect hb, vb;
  GetControlBounds(ce_->hScroll, &hb);
  GetControlBounds(ce_->vScroll, &vb);
  EXPECT_EQ(hb.right, rect_.right - 15);
  EXPECT_EQ(vb.bottom, rect_.bottom - 15);
  if (const char* build = std::getenv("VEMO_BUILD_DIR")) {
    const std::filesystem::path shot = std::filesystem::path(build) / "screenshots" / "text_view.png";
    std::filesystem::create_directories(shot.parent_path());
    EXPECT_EQ(tb::SaveWindowPNG(w_, shot.c_str()), noErr);
  }
}

TEST_F(TextViewTest, UnwrappedVariant) {
  ASSERT_NE(make(true, true), nullptr);
  const std::string text = "short\r" + std::string(50, 'x');
  set(text, true);
  const SInt16 w = CTEGetTextWidth(ce_);
  EXPECT_EQ(dest().left, rect_.left);
  EXPECT_EQ(dest().right, w + rect_.left + 10);
  EXPECT_EQ(dest().bottom, rect_.top + 3 * kLine);
  EXPECT_EQ(CTEGetLine(ce_), 2);
  EXPECT_EQ(view().bottom, rect_.bottom - 15);  // only the horizontal bar
  EXPECT_EQ(view().right, rect_.right);
  // Six short lines fit the view, but not once the horizontal bar takes its
  // room: the vertical bar follows.
  set(Lines(5) + "\r" + std::string(50, 'x'), true);
  EXPECT_EQ(view().right, rect_.right - 15);
  EXPECT_EQ(view().bottom, rect_.bottom - 15);
}

TEST_F(TextViewTest, GetTextIsBoundedByTheCallersRoom) {
  ASSERT_NE(make(false, true), nullptr);
  set("0123456789");
  char buf[16];
  std::memset(buf, '#', sizeof buf);
  SInt32 len = sizeof buf;
  EXPECT_EQ(CTEGetText(ce_, buf, &len), 10);
  EXPECT_EQ(len, 10);
  EXPECT_EQ(std::string(buf, 11), "0123456789#");
  std::memset(buf, '#', sizeof buf);
  len = 4;
  EXPECT_EQ(CTEGetText(ce_, buf, &len), 10);  // the whole text's length
  EXPECT_EQ(len, 4);
  EXPECT_EQ(std::string(buf, 5), "0123#");
  set("a\xC3\xA9z");  // a two-byte character across the limit is left out
  len = 2;
  EXPECT_EQ(CTEGetText(ce_, buf, &len), 4);
  EXPECT_EQ(len, 1);
}

TEST_F(TextViewTest, TextWidthIsTheLongestLine) {
  ASSERT_NE(make(false, true), nullptr);
  set("ab\r\r\rabcdef\rabc");
  SetPortWindowPort(w_);
  EXPECT_EQ(CTEGetTextWidth(ce_), StringWidth(P("abcdef")));
  const SInt16 size = 24;
  CTESetFont(ce_, nullptr, nullptr, &size);
  SInt16 font, got;
  UInt8 face;
  CTEGetFont(ce_, &font, &face, &got);
  EXPECT_EQ(got, 24);
  EXPECT_GT(CTEGetTextWidth(ce_), StringWidth(P("abcdef")));
}

TEST_F(TextViewTest, ArrowsAndPagesScroll) {
  ASSERT_NE(make(true, true), nullptr);
  set(Lines(60) + "\r" + std::string(80, 'W'));
  ControlRef v = ce_->vScroll, h = ce_->hScroll;
  const SInt16 top = dest().top;
  const SInt16 vmax = GetControlMaximum(v);
  struct Case {
    ControlRef bar;
    ControlPartCode part;
    SInt16 value;
  };
  const SInt16 page = SInt16(view().right - view().left);
  const Case cases[] = {
      {v, kControlDownButtonPart, 1},  {v, kControlPageDownPart, 15}, {v, kControlPageUpPart, 1},
      {v, kControlUpButtonPart, 0},    {v, kControlUpButtonPart, 0},  {v, kControlIndicatorPart, 0},
      {h, kControlPageDownPart, page}, {h, kControlDownButtonPart, SInt16(page + 1)},
  };
  for (const Case& c : cases) {
    cedit::DragScrollProc(c.bar, c.part);
    EXPECT_EQ(GetControlValue(c.bar), c.value) << c.part;
  }
  EXPECT_EQ(dest().top, top);
  EXPECT_EQ(dest().left, rect_.left + 5 - (page + 1));
  for (int i = 0; i < 10; ++i) cedit::DragScrollProc(v, kControlPageDownPart);
  EXPECT_EQ(GetControlValue(v), vmax);
  EXPECT_EQ(dest().top, top - vmax * kLine);
  // A click on the down arrow, through the host's mouse handler.
  cedit::DragScrollProc(v, kControlPageUpPart);
  const SInt16 before = GetControlValue(v);
  Rect down;
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlDownButtonPart, &down));
  pressOn(mid(down));
  EXPECT_EQ(GetControlValue(v), before + 1);

  // The wheel over the view scrolls it as the arrows do, the text with the
  // bar (a line a turn, a pixel sideways); it stops at the ends and leaves
  // a hidden view and what lies outside the view alone.
  const Point inView = mid(view()), outside{SInt16(rect_.bottom + 30), 100};
  struct Turn {
    Point at;
    SInt16 lines;
    bool horizontal, shown;
    SInt16 v, h;
  } const turns[] = {
      {inView, -3, false, true, SInt16(before - 2), SInt16(page + 1)},
      {inView, -100, false, true, 0, SInt16(page + 1)},
      {inView, 2, false, true, 2, SInt16(page + 1)},
      {inView, 100, false, true, vmax, SInt16(page + 1)},
      {inView, -4, true, true, vmax, SInt16(page - 3)},
      {outside, -5, false, true, vmax, SInt16(page - 3)},
      {inView, -5, false, false, vmax, SInt16(page - 3)},
  };
  for (const Turn& t : turns) {
    CEShow(ce_, t.shown);
    tb::TurnWheelAt(global(t.at), t.lines, t.horizontal);
    Drain();
    EXPECT_EQ(GetControlValue(v), t.v) << t.lines;
    EXPECT_EQ(GetControlValue(h), t.h) << t.lines;
    EXPECT_EQ(dest().top, top - t.v * kLine);
  }
}

TEST_F(TextViewTest, PinningAfterThumbTracking) {
  ASSERT_NE(make(false, true), nullptr);
  set(Lines(40));
  ControlRef v = ce_->vScroll;
  SetControlMaximum(v, 30);
  struct Case {
    SInt16 start, oldPt, newPt, delta, tracked, expect;
  };
  const Case cases[] = {
      {10, 50, 90, 100, 25, 30},  // forward past the maximum: the maximum
      {10, 50, 60, 100, 18, 18},  // forward within the range: as tracked
      {10, 50, 20, 100, 3, 0},    // back past the minimum: the minimum
      {10, 50, 45, 100, 6, 6},
      {0, 50, 40, 0, 2, 0},       // ratio 0: a backward drag from the minimum
      {5, 50, 40, 0, 2, 2},
      {5, 50, 90, 0, 9, 9},
  };
  for (const Case& c : cases) {
    SetControlValue(v, c.tracked);
    CETrackControlAlignment(v, c.start, c.oldPt, c.newPt, c.delta);
    EXPECT_EQ(GetControlValue(v), c.expect) << c.start << " " << c.newPt;
  }
}

TEST_F(TextViewTest, ThumbRatioIsMeasuredByProbing) {
  ASSERT_NE(make(false, true), nullptr);
  // A text a little taller than the view: its thumb, as long as the part in
  // view, covers the bar's middle, where the probes start.
  set(Lines(10));
  ControlRef v = ce_->vScroll;
  Rect thumb;
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlIndicatorPart, &thumb));
  const int span = (rect_.bottom - 33) - rect_.top;
  const int travel = span - (thumb.bottom - thumb.top);
  const int max = GetControlMaximum(v);
  // The probes halve their step down to 2 pixels, so each end of the
  // thumb is found within a few pixels.
  const int kProbeSlack = 6;
  ASSERT_GT(travel, kProbeSlack);
  EXPECT_GE(ce_->dvPerPoint, max * 100 / (travel + kProbeSlack));
  EXPECT_LE(ce_->dvPerPoint, max * 100 / (travel - kProbeSlack));
  // A bar the probes cannot meet leaves the result alone.
  HideControl(v);
  SInt16 result = 77;
  CFindScrollIndicatorSize(v, rect_.top, rect_.bottom, SInt16(rect_.right - 8), 0, 33, false, &result);
  EXPECT_EQ(result, 77);
  // Without arrows the whole bar is the track.
  ShowControl(v);
  tb::SetGestalt(gestaltSystemVersion, 0x1070);
  CCalcScrollIndicatorRect(ce_);
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlIndicatorPart, &thumb));
  const int whole = rect_.bottom - rect_.top - (thumb.bottom - thumb.top);
  EXPECT_GE(ce_->dvPerPoint, max * 100 / (whole + kProbeSlack));
  EXPECT_LE(ce_->dvPerPoint, max * 100 / std::max(1, whole - kProbeSlack));
  tb::ResetGestalt();
}

TEST_F(TextViewTest, DraggingTheThumbPastTheEndScrollsToTheLastLine) {
  ASSERT_NE(make(false, true), nullptr);
  set(Lines(40));
  ControlRef v = ce_->vScroll;
  const SInt16 top = dest().top;
  Rect thumb;
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlIndicatorPart, &thumb));
  const Point from = mid(thumb);
  tb::MouseDownAt(global(from));
  tb::MoveMouseTo(global(Point{SInt16(from.v + 40), from.h}));
  tb::MoveMouseTo(global(Point{290, from.h}));
  tb::MouseUpAt(global(Point{290, from.h}));
  EventRecord ev{};
  ASSERT_TRUE(GetNextEvent(mDownMask, &ev));
  EXPECT_EQ(CEMouseDown(ce_, &ev), 0);
  EXPECT_EQ(GetControlValue(v), GetControlMaximum(v));
  EXPECT_EQ(dest().top, top - GetControlMaximum(v) * kLine);
  // The last line is in view.
  EXPECT_LE(dest().top + CTEGetLine(ce_) * kLine, view().bottom + kLine);
  // A host bringing the range up to date (as the monitor does at every
  // refresh) leaves the bar with the text; the up arrow then scrolls back.
  const SInt16 scrolled = dest().top;
  EXPECT_EQ(CTESetTextVScroll(ce_), 1);
  EXPECT_EQ(GetControlValue(v), GetControlMaximum(v));
  EXPECT_EQ(dest().top, scrolled);
  cedit::DragScrollProc(v, kControlUpButtonPart);
  EXPECT_EQ(GetControlValue(v), GetControlMaximum(v) - 1);
  EXPECT_EQ(dest().top, scrolled + kLine);
}

TEST_F(TextViewTest, DrawingHidingAndTheFrame) {
  ASSERT_NE(make(false, true, true), nullptr);
  set("Hello");
  EXPECT_EQ(px(rect_.left - 1, rect_.top + 10), tb::PackPixel(0, 0, 0));  // the frame
  EXPECT_TRUE(inkIn(Rect{20, 25, 34, 120}));
  CEShow(ce_, false);
  EXPECT_FALSE(IsControlVisible(ce_->vScroll));
  EXPECT_EQ(px(rect_.left - 1, rect_.top + 10), kGrey);
  EXPECT_FALSE(inkIn(Rect{20, 25, 34, 120}));
  CEUpdate(ce_, nullptr, true);  // nothing while hidden
  EXPECT_FALSE(inkIn(Rect{20, 25, 34, 120}));
  CEShow(ce_, true);
  EXPECT_TRUE(inkIn(Rect{20, 25, 34, 120}));
  // A click in the text only redraws it.
  pressOn(Point{40, 60});
  EXPECT_TRUE(inkIn(Rect{20, 25, 34, 120}));
  // With an update region, the view is added to it.
  tb::OwnedRgn rgn;
  CEUpdate(ce_, rgn, false);
  Rect b;
  GetRegionBounds(rgn, &b);
  const Rect v = view();
  EXPECT_TRUE(EqualRect(&b, &v));
  CEHiliteScrollBar(ce_, true);
  EXPECT_EQ(GetControlHilite(ce_->vScroll), 255);
  CEHiliteVScrollBar(ce_, false);
  EXPECT_EQ(GetControlHilite(ce_->vScroll), 0);
}

}  // namespace

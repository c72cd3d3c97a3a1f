// The tab control: adding and deleting tabs, their layout, the selection,
// clicks on the tabs, and the spin buttons when the tabs overflow.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "FanctionLib/CTab.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/memory.h"
#include "toolbox/pump.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox_fixture.h"

namespace {

using testsupport::P;

UInt32 Px(UInt8 r, UInt8 g, UInt8 b) { return tb::PackPixel(r, g, b); }

// The pictures' colours, so a probe tells what was drawn where.
const UInt32 kMagenta = Px(0xFF, 0x00, 0xFF);  // transparent in the tab pictures
constexpr UInt32 kTransparent = 0xFF00FF;
const UInt32 kTabEdge = Px(0x20, 0x40, 0x80);
const UInt32 kFrontBody = Px(0xFF, 0xF0, 0xA0);
const UInt32 kBackBody = Px(0xB0, 0xC0, 0xD0);
const UInt32 kFrameEdge = Px(0x40, 0x40, 0x40);
const UInt32 kFrameInside = Px(0xFF, 0xFF, 0xFF);
const RGBColor kDialogGrey{0xDDDD, 0xDDDD, 0xDDDD};
const UInt32 kGrey = Px(0xDD, 0xDD, 0xDD);
// Spin pictures, by index into pictID.
const UInt32 kSpinColor[8] = {0, 0, 0, Px(0xE0, 0, 0), Px(0, 0xA0, 0), Px(0, 0, 0xE0), Px(0xFF, 0x80, 0),
                              Px(0x80, 0, 0x80)};

enum : SInt16 { kFront = 200, kBack, kFrame, kSpinLeRe, kSpinLpRe, kSpinLeRp, kSpinLdRe, kSpinLeRd, kWideBack, kTall };

// A tab background: edges on the left, top and right, 2 x 2 transparent top
// corners.
std::vector<UInt8> TabPicture(int w, int h, UInt32 body) {
  std::vector<UInt32> px(std::size_t(w) * h, body);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      UInt32& p = px[std::size_t(y) * w + x];
      if (y == 0 || x == 0 || x == w - 1) p = kTabEdge;
      if (y < 2 && (x < 2 || x >= w - 2)) p = kMagenta;
    }
  return *tb::MakePictData(tb::EncodePNG(px.data(), w * 4, w, h));
}

std::vector<UInt8> SolidPicture(int w, int h, UInt32 color) {
  std::vector<UInt32> px(std::size_t(w) * h, color);
  return *tb::MakePictData(tb::EncodePNG(px.data(), w * 4, w, h));
}

// The nine-part frame: a one-pixel edge around a white inside.
std::vector<UInt8> FramePicture() {
  const int n = 30;
  std::vector<UInt32> px(n * n, kFrameInside);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x)
      if (y == 0 || x == 0 || y == n - 1 || x == n - 1) px[y * n + x] = kFrameEdge;
  return *tb::MakePictData(tb::EncodePNG(px.data(), n * 4, n, n));
}

PicHandle PictureHandle(const std::vector<UInt8>& data) {
  Handle h = NewHandle(Size(data.size()));
  std::memcpy(*h, data.data(), data.size());
  return reinterpret_cast<PicHandle>(h);
}

class TabTest;
TabTest* gFixture = nullptr;

// The steps of one held press on the spin button: before each further
// pass of the tracking, the clock moves on and the mouse goes somewhere.
struct Step {
  UInt32 ticks;
  Point at;  // local
};
struct SpinRun {
  std::vector<Step> steps;
  std::size_t next = 0;
  std::vector<SInt16> vis;    // visTabNo after each pass
  std::vector<SInt16> state;  // spinState after each pass
};
SpinRun gRun;

class TabTest : public testsupport::ToolboxFixture {
 protected:
  void SetUp() override {
    ToolboxFixture::SetUp();
    gFixture = this;
    gRun = SpinRun{};
    std::vector<tb::ResourceEntry> entries;
    auto add = [&](SInt16 id, std::vector<UInt8> data) { entries.push_back(testsupport::Resource('PICT', id, data)); };
    add(kFront, TabPicture(30, 24, kFrontBody));
    add(kBack, TabPicture(30, 22, kBackBody));
    add(kFrame, FramePicture());
    for (int i = 3; i < 8; ++i) add(SInt16(kFront + i), SolidPicture(28, 14, kSpinColor[i]));
    add(kWideBack, TabPicture(45, 22, kBackBody));
    add(kTall, TabPicture(30, 40, kFrontBody));
    ASSERT_GT(testsupport::OpenResourcesAsApplication(dir_ / "Tabs.rsrc", entries), 0);

    // The dialog's background, as its host sets it before making the control.
    w_ = NewTestWindow(Rect{100, 100, 400, 500}, "Tabs", &kDialogGrey);
    ASSERT_NE(w_, nullptr);
  }
  void TearDown() override {
    if (ct_) CTDispose(ct_);
    ToolboxFixture::TearDown();
    gFixture = nullptr;
  }

  // A control over the strip (20, 20)-(300, 44) and the frame
  // (10, 44)-(310, 200), with the test pictures.
  CTAB_DATA* make(Boolean useRgn = true, Boolean ids = true) {
    const Rect tabs{20, 20, 44, 300};
    const Rect frame{44, 10, 200, 310};
    ct_ = CTNew(w_, &tabs, &frame, 0, useRgn, kTransparent, true);
    if (ct_ && ids) CTSetPictID(ct_, kFront, kBack, kFrame, kSpinLeRe, kSpinLpRe, kSpinLeRp, kSpinLdRe, kSpinLeRd);
    return ct_;
  }
  void addTabs(int n, const char* stem = "Tab") {
    for (int i = 0; i < n; ++i) CTAdd(ct_, P((std::string(stem) + std::to_string(i)).c_str()), -1);
  }

  // The layout width of a tab with this title on 30-pixel pictures.
  short widthOf(const char* title) {
    SetPortWindowPort(w_);
    TextFont(ct_->defFont.txFont);
    TextFace(ct_->defFont.txFace);
    TextSize(ct_->defFont.txSize);
    return short(StringWidth(P(title)) + 20);
  }
  short leftOf(SInt16 idx) {
    short x = ct_->tabRect.left;
    for (SInt16 i = ct_->visTabNo; i < idx; ++i) x = short(x + ctab::GetTab(ct_, i)->width);
    return x;
  }

  // The window as PNG, beside the build (for a person to look at) or in
  // the test's folder.
  std::filesystem::path screenshot(const char* name) {
    const char* build = std::getenv("VEMO_BUILD_DIR");
    const std::filesystem::path shot = build ? std::filesystem::path(build) / "screenshots" / name : dir_ / name;
    std::filesystem::create_directories(shot.parent_path());
    EXPECT_EQ(tb::SaveWindowPNG(w_, shot.c_str()), noErr);
    return shot;
  }

  UInt32 px(int h, int v) const { return tb::PortPixel(GetWindowPort(w_), h, v); }
  Point global(Point local) const {
    Rect content;
    GetWindowBounds(w_, kWindowContentRgn, &content);
    return Point{SInt16(content.top + local.v), SInt16(content.left + local.h)};
  }
  // A press at a local point, taken from the queue as a program takes it.
  EventRecord press(Point local) {
    tb::MouseDownAt(global(local));
    EventRecord ev{};
    EXPECT_TRUE(GetNextEvent(mDownMask, &ev));
    return ev;
  }
  // A click given to the control: the press, and the release after it.
  SInt16 click(Point local, SInt16* pushed = nullptr) {
    EventRecord ev = press(local);
    SInt16 part = -2;
    SInt16 r = CTMouseDown(ct_, &ev, &part);
    tb::MouseUpAt(global(local));
    Drain();
    if (pushed) *pushed = part;
    return r;
  }
  // A held press on the spin button following gRun.steps.
  void holdSpin(Point local) {
    ct_->spinProc = [](ControlRef c, ControlPartCode part) {
      ctab::DragSpinProc(c, part);
      auto* ct = reinterpret_cast<CTAB_DATA*>(GetControlReference(c));
      gRun.vis.push_back(ct->visTabNo);
      gRun.state.push_back(ct->spinState);
      if (gRun.next < gRun.steps.size()) {
        const Step s = gRun.steps[gRun.next++];
        tb::AdvanceTicks(s.ticks);
        tb::MoveMouseTo(gFixture->global(s.at));
        tb::Defer([] {});
      }
    };
    EventRecord ev = press(local);
    EXPECT_EQ(CTMouseDown(ct_, &ev, nullptr), 0);
    Drain();
  }
  Point spinRight() const {
    return Point{SInt16(ct_->spinRect.top + 7), SInt16(ct_->spinRect.right - 4)};
  }
  Point spinLeft() const {
    return Point{SInt16(ct_->spinRect.top + 7), SInt16(ct_->spinRect.left + 4)};
  }

  WindowRef w_ = nullptr;
  CTAB_DATA* ct_ = nullptr;
};

// --- the record and its tabs --------------------------------------------------------

TEST_F(TabTest, NewControlIsEmpty) {
  ASSERT_NE(make(), nullptr);
  EXPECT_EQ(CTGetCount(ct_), 0);
  EXPECT_EQ(CTGetCurSel(ct_), 0);
  EXPECT_EQ(CTGetPrevSel(ct_), -1);
  EXPECT_EQ(ct_->spinState, -1);
  EXPECT_FALSE(ct_->bIsSpinBtnShow);
  CTUpdate(ct_);
  EXPECT_EQ(px(30, 30), kGrey);  // no tabs: the strip is not drawn
  // The strip is kept inside the frame, less 10 pixels on each side.
  const Rect tabs{20, 0, 50, 400};
  const Rect frame{44, 10, 200, 310};
  CTAB_DATA* other = CTNew(w_, &tabs, &frame, 0, true, kTransparent, false);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->tabRect.left, 20);
  EXPECT_EQ(other->tabRect.right, 300);
  EXPECT_EQ(other->spinRect.left, 272);
  EXPECT_EQ(other->spinRect.top, 36);
  CTDispose(other);
  EXPECT_EQ(CTNew(w_, &tabs, nullptr, 0, true, 0, true), nullptr);  // the frame is required
}

TEST_F(TabTest, NullRecordAnswers) {
  Str255 s;
  EXPECT_EQ(CTAdd(nullptr, P("x"), -1), -1);
  EXPECT_EQ(CTGetCount(nullptr), -1);
  EXPECT_EQ(CTGetCurSel(nullptr), -1);
  EXPECT_EQ(CTGetPrevSel(nullptr), -1);
  EXPECT_EQ(CTGetTitle(nullptr, 0, s), -1);
  EXPECT_EQ(CTSetTitle(nullptr, 0, P("x")), -1);
  EXPECT_EQ(CTGetReference(nullptr, 0), -1);
  EXPECT_EQ(CTGetFont(nullptr, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(CTHitTest(nullptr, Point{0, 0}), -1);
  Rect r;
  EXPECT_EQ(CTGetRect(nullptr, &r, true), -1);
  CTDel(nullptr, 0);
  CTSetCurSel(nullptr, 0, true);
  CTUpdate(nullptr);
  CTDispose(nullptr);
}

TEST_F(TabTest, AddNeedsTheTabPictures) {
  ASSERT_NE(make(true, false), nullptr);
  EXPECT_EQ(CTAdd(ct_, P("One"), -1), -2);
  EXPECT_EQ(CTGetCount(ct_), 0);
  CTSetPictID(ct_, kFront, -1, kFrame, -1, -1, -1, -1, -1);
  EXPECT_EQ(CTAdd(ct_, P("One"), -1), -2);
  CTSetPictID(ct_, kFront, kBack, kFrame, -1, -1, -1, -1, -1);
  EXPECT_EQ(CTAdd(ct_, P("One"), -1), 1);
}

TEST_F(TabTest, AddInsertsOrAppendsAndSelectsTheFirstTab) {
  ASSERT_NE(make(), nullptr);
  struct Case {
    const char* title;
    SInt16 idx;
    SInt16 count;
  };
  const Case cases[] = {{"B", -1, 1}, {"D", 5, 2}, {"A", 0, 3}, {"C", 2, 4}, {"E", 4, 5}};
  for (const Case& c : cases) {
    EXPECT_EQ(CTAdd(ct_, P(c.title), c.idx), c.count) << c.title;
    EXPECT_EQ(CTGetCurSel(ct_), 0);
  }
  std::string order;
  Str255 t;
  for (SInt16 i = 0; i < CTGetCount(ct_); ++i) {
    EXPECT_EQ(CTGetTitle(ct_, i, t), 1);
    order += pstr::str(t);
  }
  EXPECT_EQ(order, "ABCDE");
  EXPECT_EQ(CTGetTitle(ct_, 5, t), -2);
  EXPECT_EQ(CTGetTitle(ct_, -1, t), -2);
  EXPECT_EQ(ctab::GetTab(ct_, 0)->state, 0);
  EXPECT_EQ(ctab::GetTab(ct_, 3)->state, 1);
}

TEST_F(TabTest, LayoutWidths) {
  ASSERT_NE(make(), nullptr);
  CTAdd(ct_, P(""), -1);
  EXPECT_EQ(ctab::GetTab(ct_, 0)->width, 20);  // two caps of a 30-pixel picture
  CTAdd(ct_, P("General"), -1);
  const short general = widthOf("General");
  EXPECT_EQ(ctab::GetTab(ct_, 1)->width, general);
  // A shorter title keeps the layout width.
  EXPECT_EQ(CTSetTitle(ct_, 1, P("G")), 1);
  EXPECT_EQ(ctab::GetTab(ct_, 1)->width, general);
  Rect frame;
  QDGetPictureBounds(ctab::GetTab(ct_, 1)->hPic[1], &frame);
  EXPECT_EQ(frame.right, widthOf("G"));
  // Front and back of different widths: the larger one lays out.
  CTSetPictID(ct_, kFront, kWideBack, kFrame, kSpinLeRe, kSpinLpRe, kSpinLeRp, kSpinLdRe, kSpinLeRd);
  CTAdd(ct_, P("Wide"), -1);
  EXPECT_EQ(ctab::GetTab(ct_, 2)->width, widthOf("Wide") + 10);
}

TEST_F(TabTest, DeleteKeepsTheSelectionInRange) {
  ASSERT_NE(make(), nullptr);
  addTabs(4);
  struct Case {
    SInt16 select, del;
    SInt16 count, curSel;
    const char* first;
  };
  // Deleting moves the selection to the tab that took the deleted one's
  // place; deleting the last tab leaves another selection alone, and
  // deleting the selected last tab selects the new last one.
  const Case cases[] = {
      {2, 1, 3, 1, "Tab0"},  // selects the tab now at 1 (Tab2)
      {0, 2, 2, 0, "Tab0"},  // the last tab, not selected
      {1, 1, 1, 0, "Tab0"},  // the selected last tab
      {0, 7, 1, 0, "Tab0"},  // out of range: nothing
      {0, 0, 0, 0, ""},
  };
  for (const Case& c : cases) {
    CTSetCurSel(ct_, c.select, false);
    CTDel(ct_, c.del);
    EXPECT_EQ(CTGetCount(ct_), c.count) << c.del;
    EXPECT_EQ(CTGetCurSel(ct_), c.curSel) << c.del;
    Str255 t{};
    CTGetTitle(ct_, 0, t);
    EXPECT_EQ(pstr::str(t), c.first);
  }
  EXPECT_EQ(ct_->list, nullptr);
}

TEST_F(TabTest, SettersAndGettersCheckTheirIndex) {
  ASSERT_NE(make(), nullptr);
  addTabs(2);
  EXPECT_EQ(CTSetTitle(ct_, 2, P("x")), -2);
  EXPECT_EQ(CTSetTitle(ct_, 1, P("Second")), 6);
  CTSetReference(ct_, 1, 0x1234);
  CTSetReference(ct_, 9, 0x99);
  EXPECT_EQ(CTGetReference(ct_, 1), 0x1234);
  EXPECT_EQ(CTGetReference(ct_, 0), 0);
  EXPECT_EQ(CTGetReference(ct_, 2), -2);
  ct_->pictID[kCTPictBack] = -1;
  EXPECT_EQ(CTGetReference(ct_, 1), -2);  // both tab pictures are required
  ct_->pictID[kCTPictBack] = kBack;

  const SInt16 size = 18;
  const UInt8 face = bold;
  CTSetFontOne(ct_, 0, nullptr, &face, nullptr);
  CTSetFont(ct_, nullptr, nullptr, &size);
  // One tab's font, then every tab's size.
  SInt16 f, sz;
  UInt8 fc;
  CTGetFontOne(ct_, 0, &f, &fc, &sz);
  EXPECT_TRUE(fc == bold && sz == 18);
  CTGetFontOne(ct_, 1, &f, &fc, &sz);
  EXPECT_TRUE(fc == 0 && sz == 18);
  const RGBColor red{0xFFFF, 0, 0};
  CTSetColor(ct_, &red, nullptr);  // every tab, the back colour kept
  EXPECT_EQ(ctab::GetTab(ct_, 1)->color.rgbStrFront.red, 0xFFFF);
  EXPECT_EQ(ctab::GetTab(ct_, 1)->color.rgbStrBack.red, 0);
  Rect r;
  EXPECT_EQ(CTGetRect(ct_, &r, true), 0);  // the strip and the frame together
  EXPECT_TRUE(r.top == 20 && r.left == 10 && r.bottom == 200 && r.right == 310);
}

TEST_F(TabTest, Search) {
  ASSERT_NE(make(), nullptr);
  for (const char* t : {"Status", "Popup", "Screen", "popup", ""}) CTAdd(ct_, P(t), -1);
  struct Case {
    SInt16 from;
    const char* want;
    Boolean bCase;
    Boolean found;
    SInt16 at;
  };
  const Case cases[] = {
      {0, "Status", true, false, 0},  // index 0 finds nothing, whatever the titles
      {0, "STATUS", false, false, 0},
      {1, "Status", true, false, 1},  // the first tab is never a match
      {1, "popup", true, true, 3},
      {1, "POPUP", false, true, 1},
      {2, "Popup", false, true, 3},   // from the third tab on
      {4, "Status", false, false, 4},
      {1, "", false, false, 1},       // an empty text never matches without case
      {1, "", true, true, 4},
      {5, "Status", true, false, 5},  // out of range
      {-1, "Status", true, false, -1},
  };
  for (const Case& c : cases) {
    SInt16 idx = c.from;
    EXPECT_EQ(CTSearch(ct_, &idx, P(c.want), c.bCase), c.found) << c.want << " from " << c.from;
    EXPECT_EQ(idx, c.at) << c.want << " from " << c.from;
  }
  EXPECT_FALSE(CTSearch(ct_, nullptr, P("Status"), true));
}

// --- mouse ----------------------------------------------------------------------------

TEST_F(TabTest, ClicksSelectTabs) {
  ASSERT_NE(make(), nullptr);
  addTabs(3);
  CTSetCurSel(ct_, 0, true);
  const SInt16 mid = 32;
  SInt16 pushed;
  EXPECT_EQ(click(Point{mid, SInt16(leftOf(2) + 5)}, &pushed), 1);
  EXPECT_EQ(pushed, 2);
  EXPECT_EQ(CTGetCurSel(ct_), 2);
  EXPECT_EQ(CTGetPrevSel(ct_), 0);
  // The selected tab again: 1, nothing changes.
  EXPECT_EQ(click(Point{mid, SInt16(leftOf(2) + 5)}, &pushed), 1);
  EXPECT_EQ(CTGetPrevSel(ct_), 0);
  // Below the tabs, and on a traced corner: nothing hit.
  EXPECT_EQ(click(Point{48, SInt16(leftOf(1) + 5)}, &pushed), 0);
  EXPECT_EQ(pushed, -1);
  EXPECT_EQ(click(Point{20, leftOf(1)}, &pushed), 0);
  EXPECT_EQ(CTGetCurSel(ct_), 2);
  EXPECT_EQ(CTHitTest(ct_, global(Point{20, leftOf(1)})), -1);
  EXPECT_EQ(CTHitTest(ct_, global(Point{22, leftOf(1)})), 1);
  EXPECT_EQ(CTHitTest(ct_, global(Point{mid, SInt16(leftOf(0) + 3)})), 0);
  // A hidden control takes no clicks.
  CTShow(ct_, false);
  EXPECT_EQ(click(Point{mid, SInt16(leftOf(0) + 5)}, &pushed), 0);
  EXPECT_EQ(CTGetCurSel(ct_), 2);
}

TEST_F(TabTest, RectangularRegionsHitTheCorners) {
  ASSERT_NE(make(false), nullptr);
  addTabs(2);
  EXPECT_EQ(CTHitTest(ct_, global(Point{20, leftOf(1)})), 1);
}

// --- the spin button ----------------------------------------------------------------------

TEST_F(TabTest, SpinButtonAppearsOnOverflowAndStays) {
  ASSERT_NE(make(), nullptr);
  const int avail = ct_->tabRect.right - ct_->tabRect.left;
  int total = 0;
  int n = 0;
  // Tabs that just fit: no button.
  while (total + widthOf(("Tab" + std::to_string(n)).c_str()) <= avail) {
    total += widthOf(("Tab" + std::to_string(n)).c_str());
    CTAdd(ct_, P(("Tab" + std::to_string(n)).c_str()), -1);
    ++n;
  }
  CTUpdate(ct_);
  EXPECT_EQ(ct_->spinState, -1);
  EXPECT_FALSE(ct_->bIsSpinBtnShow);
  EXPECT_EQ(GetControlMaximum(ct_->hScroll), 0);
  // One more overflows: right arrow only.
  CTAdd(ct_, P("More"), -1);
  EXPECT_EQ(GetControlMaximum(ct_->hScroll), 1);
  EXPECT_EQ(ct_->spinState, kCTPictSpinLdRe);
  EXPECT_TRUE(ct_->bIsSpinBtnShow);
  CTUpdate(ct_);
  EXPECT_EQ(px(ct_->spinRect.left + 3, ct_->spinRect.top + 3), kSpinColor[kCTPictSpinLdRe]);
  // Removing tabs keeps the button.
  CTDel(ct_, CTGetCount(ct_) - 1);
  CTDel(ct_, CTGetCount(ct_) - 1);
  EXPECT_TRUE(ct_->bIsSpinBtnShow);
  EXPECT_EQ(GetControlMaximum(ct_->hScroll), 1);
}

TEST_F(TabTest, HoldingTheRightArrowRepeatsByTicks) {
  ASSERT_NE(make(), nullptr);
  addTabs(30);
  CTUpdate(ct_);
  ASSERT_EQ(GetControlMaximum(ct_->hScroll), 1);
  const Point right = spinRight(), left = spinLeft();
  const Point off{SInt16(ct_->spinRect.top - 20), right.h};
  gRun.steps = {
      {20, right},  // pass 1: 20 ticks after the first step, not yet
      {1, right},   // pass 2: 21 ticks, the second step
      {1, right},   // pass 3: 1 tick, not yet
      {1, right},   // pass 4: 2 ticks, a step
      {2, right},   // pass 5: a step
      {5, left},    // pass 6: the other half does nothing
      {5, off},     // pass 7: off the button, the repeat stops
      {0, right},   // pass 8: back on, a step at once
      {1, right},   // pass 9: the long first delay again
  };
  holdSpin(right);
  const std::vector<SInt16> vis{1, 1, 2, 2, 3, 4, 4, 4, 5, 5};
  ASSERT_EQ(gRun.vis.size(), gRun.steps.size() + 1);
  EXPECT_EQ(std::vector<SInt16>(gRun.vis.begin(), gRun.vis.end()), vis);
  EXPECT_EQ(gRun.state[0], kCTPictSpinLeRp);  // pushed right while stepping
  EXPECT_EQ(ct_->visTabNo, 5);                // pass 9 did not step
  EXPECT_EQ(ct_->spinPushedBtn, 0);
  EXPECT_EQ(ct_->spinState, kCTPictSpinLeRe);  // both arrows once released
  EXPECT_EQ(GetControlMaximum(ct_->hScroll), 2);
  EXPECT_EQ(px(ct_->spinRect.left + 3, ct_->spinRect.top + 3), kSpinColor[kCTPictSpinLeRe]);
  EXPECT_FALSE(IsControlVisible(ct_->hScroll));
  screenshot("tab_strip_scrolled.png");
}

TEST_F(TabTest, DisabledArrowsShowAndDoNotScroll) {
  ASSERT_NE(make(), nullptr);
  addTabs(30);
  CTUpdate(ct_);
  gRun.steps = {{30, spinLeft()}};
  holdSpin(spinLeft());
  EXPECT_EQ(ct_->visTabNo, 0);
  ASSERT_FALSE(gRun.state.empty());
  EXPECT_EQ(gRun.state[0], kCTPictSpinLdRe);
  // Scrolled to the end, the right arrow is the disabled one.
  for (int i = 0; i < 40 && GetControlMaximum(ct_->hScroll) != 3; ++i) {
    gRun = SpinRun{};
    holdSpin(spinRight());
  }
  ASSERT_EQ(GetControlMaximum(ct_->hScroll), 3);
  const SInt16 end = ct_->visTabNo;
  gRun = SpinRun{};
  gRun.steps = {{30, spinRight()}};
  holdSpin(spinRight());
  EXPECT_EQ(ct_->visTabNo, end);
  EXPECT_EQ(gRun.state[0], kCTPictSpinLeRd);
  // The left arrow brings the tabs back, never past the first.
  for (int i = 0; i < 40 && ct_->visTabNo > 0; ++i) {
    gRun = SpinRun{};
    holdSpin(spinLeft());
  }
  EXPECT_EQ(ct_->visTabNo, 0);
  EXPECT_EQ(GetControlMaximum(ct_->hScroll), 1);
}

TEST_F(TabTest, ScrollPositionNeverLeavesTheTabs) {
  ASSERT_NE(make(), nullptr);
  addTabs(12);
  // Scrolled right, then most tabs removed: the strip still shows a tab,
  // and the stale arrows cannot scroll before the first tab.
  ct_->visTabNo = 8;
  CTAdjustScrollBar(ct_);
  while (CTGetCount(ct_) > 2) CTDel(ct_, CTGetCount(ct_) - 1);
  EXPECT_EQ(ct_->visTabNo, 1);
  for (int i = 0; i < 3; ++i) {
    gRun = SpinRun{};
    holdSpin(spinLeft());
  }
  EXPECT_EQ(ct_->visTabNo, 0);
  for (int i = 0; i < 3; ++i) {
    gRun = SpinRun{};
    holdSpin(spinRight());
  }
  EXPECT_LE(ct_->visTabNo, 1);
}

TEST_F(TabTest, SelectingATabUnderTheSpinButtonScrollsIt) {
  ASSERT_NE(make(), nullptr);
  addTabs(12);
  ASSERT_EQ(GetControlMaximum(ct_->hScroll), 1);
  // The tab that lies under the spin button.
  SInt16 under = -1;
  for (SInt16 i = 0; i < CTGetCount(ct_); ++i)
    if (leftOf(i) < ct_->spinRect.right && leftOf(i) + ctab::GetTab(ct_, i)->width > ct_->spinRect.left) {
      under = i;
      break;
    }
  ASSERT_GT(under, 0);
  CTSetCurSel(ct_, under, true);
  EXPECT_GT(ct_->visTabNo, 0);
  EXPECT_LE(leftOf(under) + ctab::GetTab(ct_, under)->width, ct_->spinRect.left);
  // A tab left of the first visible one is selected without scrolling back.
  const SInt16 vis = ct_->visTabNo;
  CTSetCurSel(ct_, 0, true);
  EXPECT_EQ(ct_->visTabNo, vis);
  EXPECT_EQ(CTGetCurSel(ct_), 0);
}

// --- pictures and drawing --------------------------------------------------------------

TEST_F(TabTest, PicToRgnTracesTheOpaquePixels) {
  // Row 0: T O O T; row 1: O T T T (T transparent).
  const UInt32 t = Px(0x12, 0x34, 0x56), o = Px(0, 0, 0);
  UInt32 pixels[8] = {t, o, o, t, o, t, t, t};
  std::vector<UInt8> data = *tb::MakePictData(tb::EncodePNG(pixels, 16, 4, 2));
  PicHandle pic = PictureHandle(data);
  tb::OwnedRgn rgn;
  EXPECT_EQ(ctab::PicToRgn(0, pic, 0x123456, rgn), 0);
  struct Probe {
    SInt16 h, v;
    bool in;
  };
  const Probe probes[] = {
      {0, 0, false}, {1, 0, true}, {2, 0, true},
      {3, 0, true},   // a run starting on the row's last pixel stays
      {0, 1, true}, {1, 1, false}, {3, 1, false},
      {4, 0, false}, {0, 2, false},  // nothing outside the picture
  };
  for (const Probe& p : probes) EXPECT_EQ(bool(PtInRgn(Point{p.v, p.h}, rgn)), p.in) << p.h << "," << p.v;
  // Nothing to trace: 0, the region untouched.
  SetEmptyRgn(rgn);
  EXPECT_EQ(ctab::PicToRgn(0, nullptr, 0, rgn), 0);
  EXPECT_TRUE(EmptyRgn(rgn));
  EXPECT_EQ(ctab::PicToRgn(999, nullptr, 0, rgn), -1);
  const char junk[] = "not a picture";
  PicHandle bad = PictureHandle(std::vector<UInt8>(junk, junk + sizeof junk));
  EXPECT_EQ(ctab::PicToRgn(0, bad, 0, rgn), -2);
  EXPECT_TRUE(EmptyRgn(rgn));
  EXPECT_EQ(ctab::PicToRgn(kFront, nullptr, kTransparent, rgn), 0);
  EXPECT_FALSE(PtInRgn(Point{0, 0}, rgn));
  EXPECT_TRUE(PtInRgn(Point{5, 5}, rgn));
  KillPicture(pic);
  KillPicture(bad);
}

TEST_F(TabTest, StripAndFramePixels) {
  ASSERT_NE(make(), nullptr);
  for (const char* t : {"General", "Network", "Mail"}) CTAdd(ct_, P(t), -1);
  CTSetCurSel(ct_, 1, true);
  const int top = ct_->tabRect.top;
  const int l0 = leftOf(0), l1 = leftOf(1), l2 = leftOf(2);
  const int r2 = l2 + ctab::GetTab(ct_, 2)->width;
  struct Probe {
    const char* what;
    int h, v;
    UInt32 color;
  };
  const Probe probes[] = {
      {"unselected body", l0 + 4, top + 18, kBackBody},
      {"selected body", l1 + 4, top + 18, kFrontBody},
      {"selected edge", l1, top + 10, kTabEdge},
      {"traced corner", l0, top, kGrey},
      {"traced corner of the selected tab", l1 + 1, top + 1, kGrey},
      {"below an unselected tab", l0 + 4, top + 23, kGrey},
      {"right of the tabs", r2 + 5, top + 10, kGrey},
      {"frame corner", 10, 44, kFrameEdge},
      // The frame picture's white inside is the window's colour (no white
      // band between the frame and a grey page).
      {"frame inside", 15, 120, kGrey},
      {"frame right edge", 309, 120, kFrameEdge},
      {"frame top under an unselected tab", l0 + 4, 44, kFrameEdge},
      {"gap under the selected tab", l1 + 4, 44, kGrey},
      {"frame left edge", 10, 120, kFrameEdge},
      {"frame bottom edge", 150, 199, kFrameEdge},
      {"frame bottom-left corner", 10, 199, kFrameEdge},
      {"frame bottom-right corner", 309, 199, kFrameEdge},
      {"frame inside above the bottom edge", 150, 198, kGrey},
  };
  for (const Probe& p : probes) EXPECT_EQ(px(p.h, p.v), p.color) << p.what;
  // The title is drawn in the tab.
  bool ink = false;
  for (int v = top; v < top + 24; ++v)
    for (int h = l1 + 10; h < l1 + ctab::GetTab(ct_, 1)->width - 10; ++h) {
      UInt8 r, g, b;
      tb::UnpackPixel(px(h, v), r, g, b);
      ink = ink || (r < 0x60 && g < 0x60 && b < 0x60);
    }
  EXPECT_TRUE(ink);

  // A pixel-probe screenshot of the strip.
  const std::filesystem::path shot = screenshot("tab_strip.png");
  const auto img = testsupport::ReadPNG(shot);
  ASSERT_TRUE(img.has_value());
  Rect content, frame;
  GetWindowBounds(w_, kWindowContentRgn, &content);
  GetWindowBounds(w_, kWindowStructureRgn, &frame);
  const int dx = content.left - frame.left, dy = content.top - frame.top;
  auto shotPx = [&](int h, int v) { return img->pixels[std::size_t(v + dy) * img->width + (h + dx)]; };
  EXPECT_EQ(shotPx(l1 + 4, top + 18), kFrontBody);
  EXPECT_EQ(shotPx(l0 + 4, top + 18), kBackBody);
  EXPECT_EQ(shotPx(l1 + 4, 44), kGrey);
}

TEST_F(TabTest, FrameHasNoGapWhenTheSelectionIsScrolledAway) {
  ASSERT_NE(make(), nullptr);
  addTabs(12);
  CTSetCurSel(ct_, 0, false);
  ct_->visTabNo = 2;
  CTAdjustScrollBar(ct_);
  CTUpdate(ct_);
  for (int h = 20; h < 290; h += 7) EXPECT_EQ(px(h, 44), kFrameEdge) << h;
  // Scrolled back, the gap is under the first tab again.
  ct_->visTabNo = 0;
  CTUpdate(ct_);
  EXPECT_EQ(px(leftOf(0) + 4, 44), kGrey);
  // The strip shows the first tab again where the third one was.
  EXPECT_EQ(px(leftOf(0) + 4, 38), kFrontBody);
}

TEST_F(TabTest, TallPicturesAreCutAtThirtyPixels) {
  ASSERT_NE(make(), nullptr);
  // Moved away from the frame so that nothing else draws below the strip.
  ct_->frameRect->top = 150;
  CTSetPictID(ct_, kTall, kBack, kFrame, kSpinLeRe, kSpinLpRe, kSpinLeRp, kSpinLdRe, kSpinLeRd);
  CTAdd(ct_, P("Tall"), -1);
  CTUpdate(ct_);
  EXPECT_EQ(px(leftOf(0) + 4, 20 + 29), kFrontBody);
  EXPECT_EQ(px(leftOf(0) + 4, 20 + 30), kGrey);
}

TEST_F(TabTest, HidingErasesAndShowingRedraws) {
  ASSERT_NE(make(), nullptr);
  addTabs(2);
  CTUpdate(ct_);
  ASSERT_EQ(px(leftOf(0) + 4, 38), kFrontBody);
  CTShow(ct_, false);
  EXPECT_EQ(px(leftOf(0) + 4, 38), kGrey);
  EXPECT_EQ(px(10, 44), kGrey);
  CTShow(ct_, true);
  EXPECT_EQ(px(leftOf(0) + 4, 38), kFrontBody);
  EXPECT_EQ(px(10, 44), kFrameEdge);
  // Resizing moves the strip, the frame and the spin button.
  const Rect spin = ct_->spinRect;
  CTResize(ct_, 5, 10, 20, 30);
  EXPECT_EQ(ct_->tabRect.left, 25);
  EXPECT_EQ(ct_->tabRect.right, 325);
  EXPECT_EQ(ct_->frameRect->bottom, 240);
  EXPECT_EQ(ct_->spinRect.left, spin.left + 25);
  EXPECT_EQ(ct_->spinRect.top, spin.top + 10);
}

TEST_F(TabTest, DeletingTabsRepaintsWhatTheyCovered) {
  ASSERT_NE(make(), nullptr);
  addTabs(3);
  CTUpdate(ct_);
  const int l2 = leftOf(2);
  ASSERT_EQ(px(l2 + 4, 38), kBackBody);
  CTDel(ct_, 2);
  CTUpdate(ct_);
  EXPECT_EQ(px(l2 + 4, 38), kGrey);
}

}  // namespace

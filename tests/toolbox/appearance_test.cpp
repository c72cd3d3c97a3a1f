// The theme's edit-text frame and cursors, and dragging a grey outline.
#include <gtest/gtest.h>

#include "toolbox/appearance.h"
#include "toolbox/display.h"
#include "toolbox/events.h"
#include "toolbox/testdriver.h"
#include "toolbox/windows.h"
#include "toolbox_fixture.h"

namespace {

struct Appearance : testsupport::ToolboxFixture {
  Appearance() : ToolboxFixture(Clock::kReal) {}
};

TEST_F(Appearance, EditTextFrameActiveAndInactive) {
  WindowRef w = NewTestWindow(Rect{100, 100, 200, 300}, "Frames");
  SetPortWindowPort(w);
  const RGBColor red{0xFFFF, 0, 0};
  RGBForeColor(&red);
  PenSize(3, 3);
  Rect field{20, 20, 40, 120};
  ASSERT_EQ(DrawThemeEditTextFrame(&field, kThemeStateActive), noErr);
  Rect other{60, 20, 80, 120};
  ASSERT_EQ(DrawThemeEditTextFrame(&other, kThemeStateInactive), noErr);
  CGrafPtr port = GetWindowPort(w);
  EXPECT_EQ(tb::PortPixel(port, 19, 30), tb::PackPixel(0x55, 0x55, 0x55));   // just outside, left
  EXPECT_EQ(tb::PortPixel(port, 70, 40), tb::PackPixel(0x55, 0x55, 0x55));   // bottom edge
  EXPECT_EQ(tb::PortPixel(port, 70, 20), tb::PackPixel(0xFF, 0xFF, 0xFF));   // inside untouched
  EXPECT_EQ(tb::PortPixel(port, 19, 70), tb::PackPixel(0xAA, 0xAA, 0xAA));   // inactive
  // The port's own pen and colour are as they were.
  RGBColor now;
  GetForeColor(&now);
  EXPECT_EQ(now.red, 0xFFFF);
  EXPECT_EQ(now.green, 0);
  PenState pen;
  GetPenState(&pen);
  EXPECT_EQ(pen.pnSize.h, 3);

  struct {
    ThemeCursor theme;
    OSStatus err;
    int id;
  } cursors[] = {{kThemeIBeamCursor, noErr, iBeamCursor},
                 {kThemeArrowCursor, noErr, 0},
                 {99, themeBadCursorIndexErr, 0}};
  for (const auto& c : cursors) {
    EXPECT_EQ(SetThemeCursor(c.theme), c.err);
    EXPECT_EQ(tb::CurrentCursorID(), c.id) << c.theme;
  }
  InitCursor();
}

int gSteps = 0;
bool gOutlineSeen = false;
int gRow = 0;  // global y of the outline's top edge
void onStep() {
  ++gSteps;
  // The outline is drawn over the screen, dotted dark grey.
  tb::CompositeScreen();
  for (int x = 0; x < 640; ++x)
    if (tb::ScreenPixel(x, gRow) == tb::PackPixel(0x20, 0x20, 0x20)) gOutlineSeen = true;
}

TEST_F(Appearance, DragGrayRgnFollowsTheMouseWithinItsLimits) {
  WindowRef w = NewTestWindow(Rect{100, 100, 300, 500}, "Divider");
  SetPortWindowPort(w);
  // A divider 4 pixels wide at x = 200..204 of the window, dragged sideways
  // between x = 150 and 300.
  tb::OwnedRgn rgn;
  Rect bar{10, 200, 190, 204};
  RectRgn(rgn, &bar);
  Rect limit{0, 150, 200, 300};
  Rect slop{-50, 100, 250, 450};
  struct {
    short toH, toV;
    short axis;
    long result;
  } cases[] = {
      // From x = 202, y = 100.
      {240, 50, hAxisOnly, 38},                    // right by 38, the vertical move ignored
      {400, 50, hAxisOnly, 97},                    // past the limit: held at 299
      {120, 95, hAxisOnly, -52 & 0xFFFF},          // left past the limit: held at 150
      {230, 120, noConstraint, (20L << 16) | 28},  // both ways
      {230, 120, vAxisOnly, 20L << 16},
      {600, 100, hAxisOnly, long(0x80008000)},     // released outside the slop
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.toH << "," << c.toV << " axis " << c.axis);
    Point from{100, 202}, to{c.toV, c.toH};
    LocalToGlobal(&from);
    LocalToGlobal(&to);
    tb::DragFromTo(from, to, 0, 4);
    EventRecord ev;
    ASSERT_TRUE(WaitNextEvent(mDownMask, &ev, 0, nullptr));
    Point start = ev.where;
    GlobalToLocal(&start);
    gSteps = 0;
    gOutlineSeen = false;
    gRow = from.v - 90;
    EXPECT_EQ(DragGrayRgn(rgn, start, &limit, &slop, c.axis, onStep), c.result);
    EXPECT_GE(gSteps, 1);
    if (c.axis == hAxisOnly) {
      EXPECT_TRUE(gOutlineSeen);
    }
    EventRecord up;
    EXPECT_FALSE(GetNextEvent(mUpMask, &up));  // the release was the drag's
  }
  // Gone once the drag ends.
  gOutlineSeen = false;
  onStep();
  EXPECT_FALSE(gOutlineSeen);
}

}  // namespace

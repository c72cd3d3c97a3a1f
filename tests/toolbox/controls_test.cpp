// Controls: values and ranges, dimming and activation, hiding and moving,
// scroll-bar parts and thumbs, titles, and tracking with held arrows and
// pages.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "test_support.h"
#include "toolbox/controls.h"
#include "toolbox/gestalt.h"
#include "toolbox/memory.h"
#include "toolbox/pictures.h"
#include "toolbox/pump.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox_fixture.h"

namespace {

using testsupport::P;

UInt32 Px(UInt8 r, UInt8 g, UInt8 b) { return tb::PackPixel(r, g, b); }
const UInt32 kWhitePx = Px(0xFF, 0xFF, 0xFF);
const UInt32 kFacePx = Px(0xF2, 0xF2, 0xF2);
const UInt32 kPressedPx = Px(0x3A, 0x6E, 0xC8);
const UInt32 kFramePx = Px(0x60, 0x60, 0x60);
const UInt32 kDimFramePx = Px(0xB8, 0xB8, 0xB8);
const UInt32 kTrackPx = Px(0xE4, 0xE4, 0xE4);
const UInt32 kThumbPx = Px(0x8C, 0x8C, 0x96);
const UInt32 kInkPx = Px(0x20, 0x20, 0x20);

// Everything a test's action procedure sees.
struct ActionLog {
  std::vector<ControlPartCode> parts;
  std::vector<Point> mice;
  int holdFor = 0;  // passes during which the button stays held
  void (*onCall)(ControlRef, ControlPartCode) = nullptr;
};
ActionLog gLog;

// Records the call and, while the test wants the button held, gives the
// pump some work so the tracking loop goes round again (a headless press
// otherwise ends as soon as no input is waiting).
void LogAction(ControlRef c, ControlPartCode part) {
  gLog.parts.push_back(part);
  Point p;
  GetMouse(&p);
  gLog.mice.push_back(p);
  if (gLog.onCall) gLog.onCall(c, part);
  if (int(gLog.parts.size()) < gLog.holdFor) tb::Defer([] {});
}

class ControlsTest : public testsupport::ToolboxFixture {
 protected:
  ControlsTest() : ToolboxFixture(Clock::kReal) {}
  void SetUp() override {
    ToolboxFixture::SetUp();
    gLog = ActionLog{};
    w_ = NewTestWindow(Rect{100, 100, 400, 500}, "Controls");
    ASSERT_NE(w_, nullptr);
  }

  UInt32 px(int h, int v) const { return tb::PortPixel(GetWindowPort(w_), h, v); }
  Point global(Point local) const {
    Rect content;
    GetWindowBounds(w_, kWindowContentRgn, &content);
    return Point{SInt16(content.top + local.v), SInt16(content.left + local.h)};
  }
  // Whether text (or any dark ink) was drawn in the rectangle.
  bool darkIn(const Rect& r) const { return testsupport::DarkInkIn(GetWindowPort(w_), r, 0x80); }
  static Point mid(const Rect& r) { return Point{SInt16((r.top + r.bottom) / 2), SInt16((r.left + r.right) / 2)}; }

  // The program's side of a click: takes the press from the queue and
  // tracks the control from where it landed.
  ControlPartCode track(ControlRef c, ControlActionUPP action) {
    EventRecord ev;
    if (!GetNextEvent(mDownMask, &ev)) return -1;
    Point local = ev.where;
    SetPortWindowPort(w_);
    GlobalToLocal(&local);
    return TrackControl(c, local, action);
  }
  ControlPartCode pressHere(ControlRef c, Point local, ControlActionUPP action) {
    tb::MouseDownAt(global(local));
    return track(c, action);
  }

  ControlRef make(SInt16 procID, Rect r, const char* title = "", SInt16 value = 0, SInt16 min = 0,
                  SInt16 max = 0) {
    return NewControl(w_, &r, P(title), true, value, min, max, procID, 0);
  }
  ControlRef vbar(SInt16 max = 100, SInt16 value = 0) {
    ControlRef c = make(scrollBarProc, Rect{10, 300, 210, 316}, "v", value, 0, max);
    return c;
  }

  WindowRef w_ = nullptr;
};

// --- drawing ---------------------------------------------------------------------

TEST_F(ControlsTest, ValuesClampToTheRange) {
  struct Case {
    SInt16 proc, min, max, set, want;
  } cases[] = {
      {scrollBarProc, 0, 10, 11, 10},  {scrollBarProc, 0, 10, -1, 0}, {scrollBarProc, 5, 10, 7, 7},
      {checkBoxProc, 0, 1, 2, 2},      {checkBoxProc, 0, 1, 3, 2},    {radioButProc, 0, 1, 2, 1},
      {kControlProgressBarProc, 0, 100, 150, 100},
  };
  for (const Case& k : cases) {
    ControlRef c = make(k.proc, Rect{10, 10, 30, 200}, "x", 0, k.min, k.max);
    SetControlValue(c, k.set);
    EXPECT_EQ(GetControlValue(c), k.want) << k.proc << " set " << k.set;
    DisposeControl(c);
  }
  ControlRef bar = vbar(100, 80);
  SetControlMaximum(bar, 50);
  EXPECT_EQ(GetControlValue(bar), 50);
  SetControlMinimum(bar, 60);  // above the maximum: the range closes on it
  EXPECT_EQ(GetControlMinimum(bar), 60);
  EXPECT_EQ(GetControlMaximum(bar), 60);
  EXPECT_EQ(GetControlValue(bar), 60);
  SetControl32BitMaximum(bar, 100000);
  SetControl32BitValue(bar, 99999);
  EXPECT_EQ(GetControl32BitValue(bar), 99999);
  EXPECT_EQ(GetControlValue(bar), 32767);  // the 16-bit view saturates
}

TEST_F(ControlsTest, FlashAndDimming) {
  ControlRef b = make(pushButProc, Rect{10, 10, 30, 90}, "OK");
  HiliteControl(b, kControlButtonPart);
  EXPECT_EQ(GetControlHilite(b), kControlButtonPart);
  EXPECT_EQ(px(12, 20), kPressedPx);
  HiliteControl(b, 0);
  EXPECT_EQ(px(12, 20), kFacePx);
  HiliteControl(b, kControlInactivePart);
  EXPECT_FALSE(IsControlActive(b));
  EXPECT_EQ(px(50, 10), kDimFramePx);
  EXPECT_EQ(TestControl(b, Point{20, 50}), kControlNoPart);
  HiliteControl(b, 0);
  EXPECT_TRUE(IsControlActive(b));
  EXPECT_EQ(px(50, 10), kFramePx);

  // A title of its own colour: grey ink, and the button still answers.
  ControlRef c = make(checkBoxProc, Rect{40, 10, 56, 120}, "Grey words", 0, 0, 1);
  ControlFontStyleRec style;
  style.flags = kControlUseForeColorMask;
  style.foreColor = RGBColor{0x8888, 0x8888, 0x8888};
  EXPECT_EQ(SetControlFontStyle(c, &style), noErr);
  const Rect title{40, 30, 56, 120};
  EXPECT_FALSE(testsupport::DarkInkIn(GetWindowPort(w_), title, 0x80));
  EXPECT_TRUE(testsupport::DarkInkIn(GetWindowPort(w_), title, 0x90));
  EXPECT_TRUE(IsControlActive(c));
  EXPECT_EQ(pressHere(c, Point{48, 16}, nullptr), kControlCheckBoxPart);
  style.flags = 0;
  SetControlFontStyle(c, &style);
  EXPECT_TRUE(darkIn(title));
}

TEST_F(ControlsTest, RootDeactivationDimsAndRestoresOwnStates) {
  ControlRef ok = make(pushButProc, Rect{10, 10, 30, 90}, "OK");
  ControlRef send = make(pushButProc, Rect{10, 100, 30, 180}, "Send");
  HiliteControl(send, kControlInactivePart);
  ControlRef root = nullptr;
  ASSERT_EQ(GetRootControl(w_, &root), noErr);
  ASSERT_NE(root, nullptr);
  DeactivateControl(root);
  EXPECT_FALSE(IsControlActive(ok));
  EXPECT_EQ(GetControlHilite(ok), 0);  // its own state is kept
  EXPECT_EQ(px(50, 10), kDimFramePx);
  ControlRef found = nullptr;
  EXPECT_EQ(FindControl(Point{20, 50}, w_, &found), kControlNoPart);
  ActivateControl(root);
  EXPECT_TRUE(IsControlActive(ok));
  EXPECT_FALSE(IsControlActive(send));  // dimmed by the program, stays so
  EXPECT_EQ(px(50, 10), kFramePx);
  EXPECT_EQ(px(140, 10), kDimFramePx);
  EXPECT_EQ(FindControl(Point{20, 50}, w_, &found), kControlButtonPart);
  EXPECT_EQ(found, ok);
}

TEST_F(ControlsTest, HidingErasesAndMovingRedraws) {
  ControlRef b = make(pushButProc, Rect{10, 10, 30, 90}, "OK");
  HideControl(b);
  EXPECT_FALSE(IsControlVisible(b));
  EXPECT_EQ(px(12, 20), kWhitePx);  // erased
  EXPECT_TRUE(IsWindowUpdatePending(w_));
  ControlRef found = nullptr;
  EXPECT_EQ(FindControl(Point{20, 50}, w_, &found), kControlNoPart);
  MoveControl(b, 200, 100);
  ShowControl(b);
  EXPECT_EQ(px(202, 110), kFacePx);
  SizeControl(b, 40, 10);
  Rect r;
  GetControlBounds(b, &r);
  EXPECT_TRUE(r.left == 200 && r.top == 100 && r.right == 240 && r.bottom == 110);
}

TEST_F(ControlsTest, DisposedAndStaleControlsAreIgnored) {
  ControlRef b = make(pushButProc, Rect{10, 10, 30, 90}, "OK", 0, 0, 1);
  EXPECT_EQ(tb::ControlCount(w_), 2);  // with the root
  DisposeControl(b);
  EXPECT_EQ(tb::ControlCount(w_), 1);
  EXPECT_EQ(GetControlValue(b), 0);
  SetControlValue(b, 1);
  HiliteControl(b, 10);
  EXPECT_EQ(TrackControl(b, Point{0, 0}, nullptr), kControlNoPart);
  ControlRef c = make(pushButProc, Rect{10, 10, 30, 90}, "OK");
  DisposeWindow(w_);
  EXPECT_EQ(GetControlOwner(c), nullptr);
  Draw1Control(c);
  w_ = nullptr;
  EXPECT_EQ(NewControl(nullptr, nullptr, nullptr, true, 0, 0, 0, pushButProc, 0), nullptr);
  Rect r{0, 0, 10, 10};
  EXPECT_EQ(NewControl(w_, &r, P(""), true, 0, 0, 0, 9999, 0), nullptr);  // unknown proc id
}

// --- scroll bars -------------------------------------------------------------------

TEST_F(ControlsTest, ScrollBarPartsVerticalAndHorizontal) {
  ControlRef v = vbar(100, 0);
  ControlRef h = make(scrollBarProc, Rect{250, 10, 266, 210}, "h", 100, 0, 100);
  // vertical 10..210: track 10..177, up arrow 177..194, down arrow 194..210
  struct Case {
    ControlRef c;
    Point p;
    ControlPartCode want;
  } cases[] = {
      {v, {12, 308}, kControlIndicatorPart}, {v, {150, 308}, kControlPageDownPart},
      {v, {180, 308}, kControlUpButtonPart}, {v, {200, 308}, kControlDownButtonPart},
      {v, {5, 308}, kControlNoPart},         {v, {100, 320}, kControlNoPart},
      // horizontal 10..210, value at the maximum: the thumb is at the right
      {h, {258, 170}, kControlIndicatorPart}, {h, {258, 20}, kControlPageUpPart},
      {h, {258, 180}, kControlUpButtonPart},  {h, {258, 205}, kControlDownButtonPart},
  };
  for (const Case& k : cases)
    EXPECT_EQ(TestControl(k.c, k.p), k.want) << "at " << k.p.v << "," << k.p.h;
  SetControlValue(v, 50);
  EXPECT_EQ(TestControl(v, Point{12, 308}), kControlPageUpPart);
  // the thumb is drawn where it is hit
  Rect thumb;
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlIndicatorPart, &thumb));
  EXPECT_EQ(px(308, mid(thumb).v), kThumbPx);
  EXPECT_EQ(TestControl(v, mid(thumb)), kControlIndicatorPart);
  // an empty range has no thumb and no page parts
  SetControlMaximum(v, 0);
  EXPECT_EQ(TestControl(v, Point{50, 308}), kControlNoPart);
  EXPECT_EQ(TestControl(v, Point{200, 308}), kControlDownButtonPart);
  // inactive bars answer nothing
  HiliteControl(h, kControlInactivePart);
  EXPECT_EQ(TestControl(h, Point{258, 205}), kControlNoPart);
}

TEST_F(ControlsTest, ViewSizeGivesProportionalThumbs) {
  ControlRef v = vbar(100, 0);
  Rect small, big;
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlIndicatorPart, &small));
  SetControlViewSize(v, 100);  // half of what there is to see
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlIndicatorPart, &big));
  EXPECT_EQ(small.bottom - small.top, 16);
  EXPECT_EQ(big.bottom - big.top, (200 - 33) / 2);
  SetControlValue(v, 100);
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlIndicatorPart, &big));
  EXPECT_EQ(big.bottom, 210 - 33);
}

TEST_F(ControlsTest, BarsFollowTheSystemVersionGestaltReports) {
  ControlRef v = vbar(100, 100);
  Rect thumb;
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlIndicatorPart, &thumb));
  EXPECT_EQ(thumb.bottom, 210 - 33);
  // From 10.7 on the bars have no arrows: the track is the whole bar.
  tb::SetGestalt(gestaltSystemVersion, 0x1070);
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlIndicatorPart, &thumb));
  EXPECT_EQ(thumb.bottom, 210);
  Rect up;
  EXPECT_FALSE(tb::ScrollBarPartRect(v, kControlUpButtonPart, &up));
  EXPECT_EQ(TestControl(v, Point{180, 308}), kControlPageUpPart);
  tb::SetGestalt(gestaltSystemVersion, 0x106F);
  EXPECT_EQ(TestControl(v, Point{180, 308}), kControlUpButtonPart);
  tb::ResetGestalt();
}

TEST_F(ControlsTest, TitlesAndErasingUseTheWindowsLook) {
  const RGBColor grey{0xDDDD, 0xDDDD, 0xDDDD};
  SetWindowContentColor(w_, &grey);
  ControlRef b = make(checkBoxProc, Rect{10, 10, 26, 200}, "A rather long title", 0, 0, 1);
  SetControlTitleWithCFString(b, CFSTR("Short"));
  Str255 t;
  GetControlTitle(b, t);
  EXPECT_EQ(pstr::view(t), "Short");
  EXPECT_FALSE(darkIn(Rect{10, 90, 26, 200}));  // nothing of the old title left
  EXPECT_EQ(px(150, 18), Px(0xDD, 0xDD, 0xDD));
  HideControl(b);
  EXPECT_EQ(px(17, 18), Px(0xDD, 0xDD, 0xDD));
  // A title longer than a Str255 is cut on a character boundary.
  std::string longer(254, 'x');
  longer += "\xC3\xA9";  // one two-byte character across the limit
  CFStringRef cf = CFStringCreateWithCString(nullptr, longer.c_str(), kCFStringEncodingUTF8);
  SetControlTitleWithCFString(b, cf);
  CFRelease(cf);
  GetControlTitle(b, t);
  EXPECT_EQ(t[0], 254);
}

TEST_F(ControlsTest, ArrowHeldCallsTheActionOnEveryPass) {
  ControlRef v = vbar(100, 0);
  SetControlAction(v, &LogAction);
  gLog.holdFor = 5;
  gLog.onCall = [](ControlRef c, ControlPartCode part) {
    if (part == kControlDownButtonPart) SetControlValue(c, SInt16(GetControlValue(c) + 1));
  };
  Rect down;
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlDownButtonPart, &down));
  EXPECT_EQ(pressHere(v, mid(down), kControlUseOwnAction), kControlDownButtonPart);
  EXPECT_EQ(gLog.parts, std::vector<ControlPartCode>(5, kControlDownButtonPart));
  EXPECT_EQ(GetControlValue(v), 5);
  // the procedure reads the mouse in the window's coordinates
  EXPECT_EQ(gLog.mice[0].v, mid(down).v);
  EXPECT_EQ(gLog.mice[0].h, mid(down).h);
  EXPECT_EQ(GetControlHilite(v), 0);  // pressed look gone
}

TEST_F(ControlsTest, PageHeldStopsWhenTheThumbReachesTheMouse) {
  ControlRef v = vbar(100, 0);
  SetControlViewSize(v, 20);
  gLog.holdFor = 30;
  gLog.onCall = [](ControlRef c, ControlPartCode part) {
    if (part == kControlPageDownPart) SetControlValue(c, SInt16(GetControlValue(c) + 10));
  };
  const Point at{150, 308};
  ASSERT_EQ(TestControl(v, at), kControlPageDownPart);
  EXPECT_EQ(pressHere(v, at, &LogAction), kControlNoPart);  // let go over the thumb
  ASSERT_EQ(gLog.parts.size(), 30u);
  EXPECT_EQ(gLog.parts.front(), kControlPageDownPart);
  EXPECT_EQ(gLog.parts.back(), kControlNoPart);
  EXPECT_EQ(TestControl(v, at), kControlIndicatorPart);
  EXPECT_LT(GetControlValue(v), 100);
}

TEST_F(ControlsTest, ReleasedOutsideReturnsNoPart) {
  ControlRef b = make(pushButProc, Rect{10, 10, 30, 90}, "OK");
  tb::MouseDownAt(global(Point{20, 50}));
  tb::MoveMouseTo(global(Point{100, 200}));
  tb::MouseUpAt(global(Point{100, 200}));
  EXPECT_EQ(track(b, nullptr), kControlNoPart);
  tb::ClickAt(global(Point{20, 50}));
  EXPECT_EQ(track(b, nullptr), kControlButtonPart);
  EXPECT_EQ(GetControlHilite(b), 0);
  ControlRef box = make(checkBoxProc, Rect{40, 10, 56, 120}, "Check", 0, 0, 1);
  tb::ClickAt(global(Point{48, 60}));
  EXPECT_EQ(track(box, nullptr), kControlCheckBoxPart);
  EXPECT_EQ(GetControlValue(box), 0);  // the program toggles it
}

TEST_F(ControlsTest, ThumbDragSetsTheValueLive) {
  ControlRef v = vbar(100, 0);
  Rect thumb;
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlIndicatorPart, &thumb));
  const Point from = mid(thumb);
  // halfway down the travel
  const int travel = (200 - 33) - 16;
  tb::DragFromTo(global(from), global(Point{SInt16(from.v + travel / 2), from.h}));
  EXPECT_EQ(track(v, &LogAction), kControlIndicatorPart);
  EXPECT_NEAR(GetControlValue(v), 50, 1);
  ASSERT_FALSE(gLog.parts.empty());
  EXPECT_EQ(gLog.parts.back(), kControlIndicatorPart);
  // far past the end, and off the bar: exactly the maximum
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlIndicatorPart, &thumb));
  tb::DragFromTo(global(mid(thumb)), global(Point{390, 10}));
  EXPECT_EQ(track(v, nullptr), kControlIndicatorPart);
  EXPECT_EQ(GetControlValue(v), 100);
  ASSERT_TRUE(tb::ScrollBarPartRect(v, kControlIndicatorPart, &thumb));
  EXPECT_EQ(thumb.bottom, 210 - 33);
  // and back before the start: the minimum
  tb::DragFromTo(global(mid(thumb)), global(Point{0, 308}));
  EXPECT_EQ(track(v, nullptr), kControlIndicatorPart);
  EXPECT_EQ(GetControlValue(v), 0);
}

TEST_F(ControlsTest, EmptyTrackingControlCallsTheActionWhateverThePart) {
  // The way the custom controls track their own parts: an empty control
  // far off, shown only while one press is followed.
  const Rect nowhere{-100, -100, -100, -100};
  ControlRef hidden = NewControl(w_, &nowhere, P("h"), false, 0, 0, 0, scrollBarProc, 7);
  ShowControl(hidden);
  gLog.holdFor = 4;
  EXPECT_EQ(pressHere(hidden, Point{50, 50}, &LogAction), kControlNoPart);
  HideControl(hidden);
  EXPECT_EQ(gLog.parts, std::vector<ControlPartCode>(4, kControlNoPart));
  EXPECT_EQ(gLog.mice[0].h, 50);
}

// --- pop-up menu buttons --------------------------------------------------------------

TEST_F(ControlsTest, PopupChoiceThroughAClick) {
  ControlRef pop = make(popupMenuProc, Rect{10, 10, 30, 200}, "", 0, 300, 0);
  ASSERT_NE(pop, nullptr);
  MenuRef m = GetControlPopupMenuHandle(pop);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetMenuID(m), 300);
  EXPECT_EQ(GetControlValue(pop), 0);
  for (const char* t : {"Tray 1", "Tray 2", "Tray 3"}) AppendMenuItemText(m, P(t));
  SetControlMinimum(pop, 1);
  SetControlMaximum(pop, 3);
  SetControlValue(pop, 1);
  Rect item3;
  ASSERT_TRUE(tb::PopupItemRect(pop, 3, &item3));
  tb::MouseDownAt(global(Point{15, 15}));
  tb::MoveMouseTo(mid(item3));
  tb::MouseUpAt(mid(item3));
  EXPECT_EQ(track(pop, nullptr), kControlMenuPart);
  EXPECT_EQ(GetControlValue(pop), 3);
  // dismissed without a choice: nothing changes
  tb::MouseDownAt(global(Point{15, 15}));
  tb::MoveMouseTo(Point{5, 5});
  tb::MouseUpAt(Point{5, 5});
  EXPECT_EQ(track(pop, nullptr), kControlNoPart);
  EXPECT_EQ(GetControlValue(pop), 3);
  // the control shows the chosen item: ink in the box
  EXPECT_TRUE(darkIn(Rect{12, 14, 28, 80}));
}

TEST_F(ControlsTest, PopupDataTagsAndSharedMenus) {
  MenuRef mine = NewMenu(400, P("Mine"));
  AppendMenuItemText(mine, P("One"));
  ControlRef pop = make(popupMenuProc, Rect{10, 10, 30, 200}, "", 0, 301, 0);
  ASSERT_EQ(SetControlData(pop, 0, kControlPopupButtonMenuHandleTag, sizeof mine, &mine), noErr);
  EXPECT_EQ(GetControlPopupMenuHandle(pop), mine);
  SInt16 id = 0;
  ASSERT_EQ(GetControlData(pop, 0, kControlPopupButtonMenuIDTag, sizeof id, &id, nullptr), noErr);
  EXPECT_EQ(id, 400);
  EXPECT_EQ(SetControlData(pop, 0, kControlPopupButtonMenuHandleTag, 2, &mine), errDataSizeMismatch);
  EXPECT_EQ(SetControlData(pop, 0, 'zzzz', 4, &id), errDataNotSupported);
  DisposeControl(pop);
  EXPECT_EQ(CountMenuItems(mine), 1);  // the program's menu outlives the control
  DisposeMenu(mine);
}

// --- user panes and focus --------------------------------------------------------------

struct PaneLog {
  int draws = 0;
  std::vector<bool> activations;
  std::vector<ControlFocusPart> focusAsked;
  ControlPartCode focused = 0;
};
PaneLog gPane;

void PaneDraw(ControlRef, SInt16) { ++gPane.draws; }
ControlPartCode PaneHit(ControlRef c, Point p) {
  Rect r;
  GetControlBounds(c, &r);
  return PtInRect(p, &r) ? 1 : 0;
}
ControlPartCode PaneTrack(ControlRef, Point, ControlActionUPP) { return 42; }
void PaneActivate(ControlRef, Boolean on) { gPane.activations.push_back(on); }
ControlPartCode PaneFocus(ControlRef, ControlFocusPart part) {
  gPane.focusAsked.push_back(part);
  if (part == 100)
    gPane.focused = 100;
  else if (part == kControlFocusNextPart || part == kControlFocusPrevPart)
    gPane.focused = gPane.focused ? 0 : 100;
  else
    gPane.focused = 0;
  return gPane.focused;
}

TEST_F(ControlsTest, UserPaneProceduresAndKeyboardFocus) {
  gPane = PaneLog{};
  ControlRef pane = nullptr;
  Rect r{50, 50, 80, 250};
  ASSERT_EQ(CreateUserPaneControl(w_, &r, kControlSupportsFocus | kControlWantsActivate, &pane), noErr);
  auto draw = NewControlUserPaneDrawUPP(&PaneDraw);
  auto hit = NewControlUserPaneHitTestUPP(&PaneHit);
  auto trk = NewControlUserPaneTrackingUPP(&PaneTrack);
  auto act = NewControlUserPaneActivateUPP(&PaneActivate);
  auto foc = NewControlUserPaneFocusUPP(&PaneFocus);
  ASSERT_EQ(SetControlData(pane, 0, kControlUserPaneDrawProcTag, sizeof draw, &draw), noErr);
  ASSERT_EQ(SetControlData(pane, 0, kControlUserPaneHitTestProcTag, sizeof hit, &hit), noErr);
  ASSERT_EQ(SetControlData(pane, 0, kControlUserPaneActivateProcTag, sizeof act, &act), noErr);
  ASSERT_EQ(SetControlData(pane, 0, kControlUserPaneFocusProcTag, sizeof foc, &foc), noErr);
  EXPECT_GE(gPane.draws, 1);
  const int draws = gPane.draws;
  DrawControls(w_);
  EXPECT_EQ(gPane.draws, draws + 1);

  ControlRef found = nullptr;
  EXPECT_EQ(FindControl(Point{60, 60}, w_, &found), 1);
  EXPECT_EQ(found, pane);
  ASSERT_EQ(SetControlData(pane, 0, kControlUserPaneTrackingProcTag, sizeof trk, &trk), noErr);
  EXPECT_EQ(TrackControl(pane, Point{60, 60}, nullptr), 42);

  ControlRef root = nullptr;
  GetRootControl(w_, &root);
  DeactivateControl(root);
  ActivateControl(root);
  EXPECT_EQ(gPane.activations, (std::vector<bool>{false, true}));

  EXPECT_EQ(SetKeyboardFocus(w_, pane, 100), noErr);
  ControlRef focus = nullptr;
  GetKeyboardFocus(w_, &focus);
  EXPECT_EQ(focus, pane);
  EXPECT_EQ(SetKeyboardFocus(w_, pane, kControlFocusNextPart), errCouldntSetFocus);  // toggled off
  GetKeyboardFocus(w_, &focus);
  EXPECT_EQ(focus, nullptr);
  SetKeyboardFocus(w_, pane, 100);
  EXPECT_EQ(ClearKeyboardFocus(w_), noErr);
  GetKeyboardFocus(w_, &focus);
  EXPECT_EQ(focus, nullptr);
  EXPECT_EQ(gPane.focusAsked.back(), kControlFocusNoPart);

  ControlRef button = make(pushButProc, Rect{10, 10, 30, 90}, "OK");
  EXPECT_EQ(SetKeyboardFocus(w_, button, 100), errControlDoesntSupportFocus);
}

TEST_F(ControlsTest, EmbeddedControlsFollowTheirContainer) {
  ControlRef pane = nullptr;
  Rect r{50, 50, 150, 250};
  ASSERT_EQ(CreateUserPaneControl(w_, &r, kControlSupportsEmbedding, &pane), noErr);
  ControlRef b = make(pushButProc, Rect{60, 60, 80, 140}, "In");
  ASSERT_EQ(EmbedControl(b, pane), noErr);
  ControlRef plain = nullptr;
  ASSERT_EQ(CreateUserPaneControl(w_, &r, 0, &plain), noErr);
  EXPECT_EQ(EmbedControl(b, plain), errControlIsNotEmbedder);
  EXPECT_EQ(EmbedControl(pane, b), errControlIsNotEmbedder);
  MoveControl(pane, 60, 60);
  Rect got;
  GetControlBounds(b, &got);
  EXPECT_EQ(got.left, 70);
  EXPECT_EQ(got.top, 70);
  HideControl(pane);
  EXPECT_FALSE(IsControlVisible(b));
  ShowControl(pane);
  DeactivateControl(pane);
  EXPECT_FALSE(IsControlActive(b));
  ActivateControl(pane);
  DisposeControl(pane);
  EXPECT_EQ(GetControlOwner(b), nullptr);  // went with its container
}

// --- resources -------------------------------------------------------------------------

class ControlResources : public ControlsTest {
 protected:
  void SetUp() override {
    ControlsTest::SetUp();
    tb::ResetResources();
    std::vector<tb::ResourceEntry> entries;
    auto cntl = [&](SInt16 id, Rect r, SInt16 value, SInt16 max, SInt16 min, SInt16 proc, const std::string& title) {
      std::vector<UInt8> d(22);
      be::put16(&d[0], UInt16(r.top));
      be::put16(&d[2], UInt16(r.left));
      be::put16(&d[4], UInt16(r.bottom));
      be::put16(&d[6], UInt16(r.right));
      be::put16(&d[8], UInt16(value));
      d[10] = 1;
      be::put16(&d[12], UInt16(max));
      be::put16(&d[14], UInt16(min));
      be::put16(&d[16], UInt16(proc));
      be::put32(&d[18], 0xCAFE);
      d.push_back(UInt8(title.size()));
      d.insert(d.end(), title.begin(), title.end());
      entries.push_back(testsupport::Resource('CNTL', id, d));
    };
    // A 4 x 2 picture and icon: red left, blue right.
    UInt32 px[8];
    for (int i = 0; i < 8; ++i) px[i] = (i % 4) < 2 ? Px(0xFF, 0, 0) : Px(0, 0, 0xFF);
    const std::vector<UInt8> png = tb::EncodePNG(px, 16, 4, 2);
    entries.push_back(testsupport::Resource('PICT', 128, *tb::MakePictData(png)));
    entries.push_back(testsupport::Resource('cicn', 129, *tb::MakeCIconData(png)));
    cntl(160, Rect{10, 10, 30, 200}, 0, 0, 160, popupMenuProc, "");
    cntl(161, Rect{40, 10, 56, 200}, 1, 1, 0, checkBoxProc, "Box");
    std::vector<UInt8> cut(22, 0);
    cut.push_back(40);  // a title longer than what follows
    entries.push_back(testsupport::Resource('CNTL', 162, cut));
    ASSERT_GT(testsupport::OpenResourcesAsApplication(dir_ / "App.rsrc", entries), 0);
  }
  void TearDown() override {
    ControlsTest::TearDown();
    tb::ResetResources();
  }
  testsupport::TempDir dir_;
};

TEST_F(ControlResources, GetNewControlReadsTheTemplate) {
  ControlRef box = GetNewControl(161, w_);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(GetControlValue(box), 1);
  EXPECT_EQ(GetControlReference(box), 0xCAFE);
  Rect r;
  GetControlBounds(box, &r);
  EXPECT_TRUE(r.top == 40 && r.right == 200);

  // A pop-up's menu (no 'MENU' of that id here) is its own, and is filled
  // afresh each time the control is made again.
  ControlRef pop = GetNewControl(160, w_);
  ASSERT_NE(pop, nullptr);
  MenuRef m = GetControlPopupMenuHandle(pop);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetMenuID(m), 160);
  AppendMenu(m, P(" "));
  SetMenuItemText(m, 1, P("First"));
  SetControlMaximum(pop, 1);
  SetControlValue(pop, 1);
  DisposeControl(pop);
  ControlRef again = GetNewControl(160, w_);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(CountMenuItems(GetControlPopupMenuHandle(again)), 0);

  EXPECT_EQ(GetNewControl(162, w_), nullptr);
  EXPECT_EQ(GetNewControl(999, w_), nullptr);
}

TEST_F(ControlResources, OneOfEachKindOnScreen) {
  ControlRef button = make(pushButProc, Rect{10, 10, 30, 90}, "OK");
  ControlRef check = make(checkBoxProc, Rect{40, 10, 56, 120}, "Check", 1, 0, 1);
  ControlRef radio = make(radioButProc, Rect{60, 10, 76, 120}, "Radio", 1, 0, 1);
  ControlRef mixed = make(checkBoxProc, Rect{40, 250, 56, 360}, "Mixed", 2, 0, 1);
  ControlRef off = make(radioButProc, Rect{60, 250, 76, 360}, "Off", 0, 0, 1);
  ControlRef pop = make(popupMenuProc, Rect{80, 10, 100, 160}, "", 0, 310, 0);
  AppendMenuItemText(GetControlPopupMenuHandle(pop), P("Letter"));
  SetControlMaximum(pop, 1);
  SetControlValue(pop, 1);
  ControlRef vbarC = make(scrollBarProc, Rect{10, 370, 200, 386}, "v", 0, 0, 10);
  ControlRef hbarC = make(scrollBarProc, Rect{210, 10, 226, 200}, "h", 10, 0, 10);
  ControlRef progress = make(kControlProgressBarProc, Rect{110, 10, 122, 110}, "", 25, 0, 100);
  ControlRef sep = make(kControlSeparatorLineProc, Rect{130, 10, 132, 200});
  ControlRef pane = nullptr;
  Rect paneRect{140, 10, 160, 60};
  CreateUserPaneControl(w_, &paneRect, 0, &pane);
  ControlRef pic = make(kControlPictureProc, Rect{10, 200, 30, 240}, "", 128);
  ControlRef ico = make(kControlIconProc, Rect{40, 200, 60, 240}, "", 129);
  for (ControlRef c : {button, check, radio, mixed, off, pop, vbarC, hbarC, progress, sep, pane, pic, ico}) ASSERT_NE(c, nullptr);

  // Drawn again over a cleared window, as an update would.
  SetPortWindowPort(w_);
  Rect all;
  GetWindowPortBounds(w_, &all);
  EraseRect(&all);
  DrawControls(w_);
  const std::string shot = (dir_ / "controls.png").string();
  ASSERT_EQ(tb::SaveWindowPNG(w_, shot.c_str()), noErr);
  const std::string bytes = testsupport::ReadFile(shot);
  auto img = tb::DecodePNG(std::span<const UInt8>(reinterpret_cast<const UInt8*>(bytes.data()), bytes.size()));
  ASSERT_TRUE(img);
  // The content lies below the title bar, inside the frame.
  Rect content, frame;
  GetWindowBounds(w_, kWindowContentRgn, &content);
  GetWindowBounds(w_, kWindowStructureRgn, &frame);
  auto at = [&](int h, int v) {
    return img->pixels[std::size_t((content.top - frame.top + v) * img->width + (content.left - frame.left + h))];
  };
  EXPECT_EQ(at(12, 20), kFacePx);                 // button face
  EXPECT_EQ(at(11 + 6, 40 + 8), kInkPx);          // check mark
  EXPECT_EQ(at(11 + 6, 60 + 8), kInkPx);          // radio dot
  EXPECT_EQ(at(11, 40 + 8), kFramePx);            // the box's frame
  EXPECT_TRUE(darkIn(Rect{40, 30, 56, 60}));      // the title
  EXPECT_EQ(at(251 + 6, 40 + 8), kInkPx);         // mixed dash
  EXPECT_EQ(at(251 + 6, 60 + 8), kWhitePx);       // radio off
  EXPECT_EQ(at(50, 10), kFramePx);                // button top edge
  EXPECT_TRUE(darkIn(Rect{84, 16, 96, 80}));      // the pop-up's item
  EXPECT_EQ(at(20, 116), kPressedPx);             // a quarter of the progress bar
  EXPECT_EQ(at(80, 116), kTrackPx);
  EXPECT_EQ(at(100, 130), kFramePx);              // separator
  EXPECT_EQ(at(201, 12), Px(0xFF, 0, 0));         // picture: red left
  EXPECT_EQ(at(238, 28), Px(0, 0, 0xFF));         // blue right
  EXPECT_EQ(at(201, 42), Px(0xFF, 0, 0));         // icon
  Rect thumb;
  ASSERT_TRUE(tb::ScrollBarPartRect(vbarC, kControlIndicatorPart, &thumb));
  EXPECT_EQ(thumb.top, 10);
  EXPECT_EQ(at(378, mid(thumb).v), kThumbPx);
  ASSERT_TRUE(tb::ScrollBarPartRect(hbarC, kControlIndicatorPart, &thumb));
  EXPECT_EQ(thumb.right, 200 - 33);
  EXPECT_EQ(at(mid(thumb).h, 218), kThumbPx);
}

}  // namespace

// The Window Manager: activation and order, update events and regions,
// window parts, dragging, growing and zooming, titles, and the screen.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "test_support.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/display.h"
#include "toolbox/events.h"
#include "toolbox/lists.h"
#include "toolbox/memory.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox/textengine.h"
#include "toolbox/windows.h"
#include "toolbox_fixture.h"

namespace {

struct Got {
  EventKind what;
  WindowRef window;
  bool active;
};

struct WindowsTest : testsupport::ToolboxFixture {
  WindowsTest() : ToolboxFixture(Clock::kReal) {}

  static WindowRef make(const char* title, short left, short top, short w = 200, short h = 120,
                        short proc = zoomDocProc, bool visible = true) {
    Str255 t;
    pstr::set(t, sizeof t, title);
    Rect r{top, left, short(top + h), short(left + w)};
    return NewCWindow(nullptr, &r, t, visible, proc, kFirstWindowOfClass, true, 0);
  }

  // Takes the activate events waiting, in order.
  static std::vector<Got> activates() {
    std::vector<Got> out;
    EventRecord ev;
    while (GetNextEvent(activMask, &ev))
      out.push_back({ev.what, reinterpret_cast<WindowRef>(ev.message), bool(ev.modifiers & activeFlag)});
    return out;
  }

  // Answers every update event the way a program does.
  static std::vector<WindowRef> serveUpdates() {
    std::vector<WindowRef> out;
    EventRecord ev;
    while (GetNextEvent(updateMask, &ev)) {
      auto w = reinterpret_cast<WindowRef>(ev.message);
      out.push_back(w);
      BeginUpdate(w);
      EndUpdate(w);
    }
    return out;
  }
};

TEST_F(WindowsTest, ActivationFollowsTheFrontWindow) {
  WindowRef a = make("A", 50, 60);
  auto got = activates();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0].what == activateEvt && got[0].window == a && got[0].active);
  EXPECT_TRUE(IsWindowHilited(a));

  WindowRef b = make("B", 100, 100);
  got = activates();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(got[0].window == a && !got[0].active);  // the deactivate comes first
  EXPECT_TRUE(got[1].window == b && got[1].active);
  EXPECT_FALSE(IsWindowHilited(a));

  SelectWindow(a);
  got = activates();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(got[0].window == b && got[1].window == a);
  EXPECT_TRUE(GetWindowList() == a && GetNextWindow(a) == b && GetNextWindow(b) == nullptr);

  SelectWindow(a);  // already in front: nothing new
  EXPECT_TRUE(activates().empty());

  HideWindow(a);
  got = activates();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(!got[0].active && got[1].window == b);
  EXPECT_EQ(FrontWindow(), b);

  // A disposed window is not told anything; the next one is activated.
  ShowWindow(a);
  activates();
  DisposeWindow(a);
  got = activates();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0].window == b && got[0].active);
  DisposeWindow(b);
  EXPECT_EQ(FrontWindow(), nullptr);
  EXPECT_TRUE(activates().empty());
}

TEST_F(WindowsTest, OrderingCallsPlaceWindowsAsAsked) {
  WindowRef a = make("A", 10, 40);
  WindowRef b = make("B", 20, 50);
  WindowRef c = make("C", 30, 60);  // order: C B A
  SendBehind(c, a);                 // B A C
  EXPECT_TRUE(GetWindowList() == b && GetNextWindow(b) == a && GetNextWindow(a) == c);
  BringToFront(c);  // C B A
  EXPECT_EQ(FrontWindow(), c);
  SendBehind(c, nullptr);  // B A C
  EXPECT_EQ(FrontWindow(), b);
  Str255 t;
  pstr::set(t, sizeof t, "Back");
  Rect r{100, 100, 150, 150};
  WindowRef d = NewCWindow(nullptr, &r, t, true, documentProc, nullptr, false, 7);
  EXPECT_EQ(GetNextWindow(c), d);  // made behind the others
}

TEST_F(WindowsTest, UpdateEventsRecurUntilTheRegionIsEmptied) {
  WindowRef w = make("W", 40, 60, 100, 80, documentProc, false);
  EventRecord ev;
  EXPECT_FALSE(EventAvail(updateMask, &ev));  // hidden windows get none
  ShowWindow(w);
  activates();
  ASSERT_TRUE(GetNextEvent(updateMask, &ev));
  EXPECT_EQ(reinterpret_cast<WindowRef>(ev.message), w);
  ASSERT_TRUE(GetNextEvent(updateMask, &ev));  // not handled: comes again
  BeginUpdate(w);
  EXPECT_FALSE(EventAvail(updateMask, &ev));
  EndUpdate(w);
  EXPECT_FALSE(EventAvail(updateMask, &ev));

  Rect r{10, 10, 20, 20};
  InvalWindowRect(w, &r);
  EXPECT_TRUE(IsWindowUpdatePending(w));
  ValidWindowRect(w, &r);
  EXPECT_FALSE(IsWindowUpdatePending(w));
  InvalWindowRect(w, &r);
  EXPECT_EQ(serveUpdates(), std::vector<WindowRef>{w});

  // Outside the window: nothing to update.
  Rect outside{500, 500, 600, 600};
  InvalWindowRect(w, &outside);
  EXPECT_FALSE(EventAvail(updateMask, &ev));
}

TEST_F(WindowsTest, DrawingBetweenBeginAndEndUpdateStaysInTheInvalidPart) {
  WindowRef w = make("W", 40, 60, 100, 80);
  serveUpdates();
  Rect r{10, 10, 20, 30};
  InvalWindowRect(w, &r);
  BeginUpdate(w);
  SetPortWindowPort(w);
  Rect all;
  GetWindowPortBounds(w, &all);
  PaintRect(&all);
  EndUpdate(w);
  const UInt32 black = tb::PackPixel(0, 0, 0), white = tb::PackPixel(255, 255, 255);
  EXPECT_EQ(tb::PortPixel(GetWindowPort(w), 15, 12), black);
  EXPECT_EQ(tb::PortPixel(GetWindowPort(w), 50, 50), white);
  // After the update everything may be drawn again.
  PaintRect(&all);
  EXPECT_EQ(tb::PortPixel(GetWindowPort(w), 50, 50), black);
}

TEST_F(WindowsTest, FindWindowNamesEveryPart) {
  WindowRef back = make("Back", 100, 100, 300, 200, zoomDocProc);
  WindowRef front = make("Front", 300, 250, 200, 150, documentProc);
  Rect c, t, close, zoom, collapse, grow;
  GetWindowBounds(back, kWindowContentRgn, &c);
  GetWindowBounds(back, kWindowTitleBarRgn, &t);
  EXPECT_EQ(c.top - t.bottom, 0);
  EXPECT_EQ(tb::TitleBarHeight(back), t.bottom - t.top);
  SelectWindow(back);
  GetWindowBounds(back, kWindowCloseBoxRgn, &close);
  GetWindowBounds(back, kWindowZoomBoxRgn, &zoom);
  GetWindowBounds(back, kWindowCollapseBoxRgn, &collapse);
  GetWindowBounds(back, kWindowGrowRgn, &grow);
  auto mid = [](const Rect& r) { return Point{short((r.top + r.bottom) / 2), short((r.left + r.right) / 2)}; };

  struct Case {
    Point p;
    WindowPartCode part;
    WindowRef window;
  } cases[] = {
      {{5, 300}, inMenuBar, nullptr},
      {mid(close), inGoAway, back},
      {mid(zoom), inZoomOut, back},
      {mid(collapse), inCollapseBox, back},
      {{short(t.top + 5), short((t.left + t.right) / 2)}, inDrag, back},
      {{short(c.top + 10), short(c.left + 10)}, inContent, back},
      {mid(grow), inGrow, back},
      {{700, 1000}, inDesk, nullptr},
  };
  for (const Case& k : cases) {
    WindowRef hit = reinterpret_cast<WindowRef>(1);
    EXPECT_EQ(FindWindow(k.p, &hit), k.part) << k.p.h << "," << k.p.v;
    EXPECT_EQ(hit, k.window) << k.p.h << "," << k.p.v;
  }
  // Where the two overlap, the front one is hit; an inactive window's boxes
  // are only its drag region.
  SelectWindow(front);
  WindowRef hit = nullptr;
  EXPECT_EQ(FindWindow(Point{280, 320}, &hit), inContent);
  EXPECT_EQ(hit, front);
  EXPECT_EQ(FindWindow(mid(close), &hit), inDrag);
  EXPECT_EQ(hit, back);
  // A plain box has neither title nor boxes.
  WindowRef box = make("Box", 600, 500, 100, 100, dBoxProc);
  Rect s;
  GetWindowBounds(box, kWindowStructureRgn, &s);
  EXPECT_EQ(FindWindow(Point{short(s.top + 1), short(s.left + 50)}, &hit), inDesk);
  EXPECT_EQ(GetWindowBounds(box, kWindowTitleBarRgn, &s), paramErr);
}

TEST_F(WindowsTest, DragWindowMovesByTheMouseAndStaysOnScreen) {
  WindowRef back = make("Back", 100, 100);
  WindowRef front = make("Front", 400, 300);
  activates();
  serveUpdates();
  ASSERT_TRUE(tb::DragWindowBy(back, 50, 30));
  EventRecord ev;
  ASSERT_TRUE(WaitNextEvent(everyEvent, &ev, 0, nullptr));
  ASSERT_EQ(ev.what, mouseDown);
  WindowRef hit;
  ASSERT_EQ(FindWindow(ev.where, &hit), inDrag);
  ASSERT_EQ(hit, back);
  BitMap screen;
  GetQDGlobalsScreenBits(&screen);
  DragWindow(hit, ev.where, &screen.bounds);
  Rect c;
  GetWindowBounds(back, kWindowContentRgn, &c);
  EXPECT_EQ(c.left, 150);
  EXPECT_EQ(c.top, 130);
  EXPECT_EQ(FrontWindow(), back);  // selected by the drag
  EXPECT_FALSE(GetNextEvent(mUpMask, &ev));  // the release was the drag's

  // Far past the screen's corner: the mouse is held inside the bounds, so
  // the title bar stays reachable.
  tb::DragWindowBy(front, 3000, 3000);
  ASSERT_TRUE(WaitNextEvent(everyEvent & ~activMask & ~updateMask, &ev, 0, nullptr));
  DragWindow(front, ev.where, &screen.bounds);
  Rect t;
  GetWindowBounds(front, kWindowTitleBarRgn, &t);
  EXPECT_LT(t.top, screen.bounds.bottom);
  EXPECT_LT(t.left, screen.bounds.right);
  tb::DragWindowBy(front, -3000, -3000);
  ASSERT_TRUE(WaitNextEvent(mDownMask, &ev, 0, nullptr));
  DragWindow(front, ev.where, &screen.bounds);
  GetWindowBounds(front, kWindowTitleBarRgn, &t);
  EXPECT_GE(t.top, GetMBarHeight());
  EXPECT_GT(t.right, 0);

  // With Command held the window moves without coming to the front.
  SelectWindow(back);
  Rect ft;
  GetWindowBounds(front, kWindowTitleBarRgn, &ft);
  Point from{short(ft.top + 8), short((ft.left + ft.right) / 2)};
  tb::DragFromTo(from, Point{short(from.v + 10), short(from.h + 10)}, cmdKey);
  ASSERT_TRUE(WaitNextEvent(mDownMask, &ev, 0, nullptr));
  DragWindow(front, ev.where, &screen.bounds);
  EXPECT_EQ(FrontWindow(), back);
}

TEST_F(WindowsTest, CloseBoxCountsOnlyAReleaseInsideIt) {
  WindowRef w = make("W", 100, 100);
  Rect close;
  GetWindowBounds(w, kWindowCloseBoxRgn, &close);
  Point in{short(close.top + 3), short(close.left + 3)};
  tb::ClickAt(in);
  EventRecord ev;
  ASSERT_TRUE(GetNextEvent(mDownMask, &ev));
  EXPECT_TRUE(TrackGoAway(w, ev.where));
  tb::DragFromTo(in, Point{300, 400});
  ASSERT_TRUE(GetNextEvent(mDownMask, &ev));
  EXPECT_FALSE(TrackGoAway(w, ev.where));
}

TEST_F(WindowsTest, GrowWindowReportsTheClampedSize) {
  WindowRef w = make("W", 100, 100, 400, 300);
  Rect grow;
  GetWindowBounds(w, kWindowGrowRgn, &grow);
  Point p{short(grow.top + 5), short(grow.left + 5)};
  tb::DragFromTo(p, Point{short(p.v + 40), short(p.h - 350)});
  EventRecord ev;
  ASSERT_TRUE(GetNextEvent(mDownMask, &ev));
  Rect limits{150, 300, 2000, 2000};
  long size = GrowWindow(w, ev.where, &limits);
  EXPECT_EQ(size & 0xFFFF, 300);     // held at the minimum width
  EXPECT_EQ(size >> 16, 340);        // height followed the mouse
  SizeWindow(w, short(size & 0xFFFF), short(size >> 16), true);
  Rect pb;
  GetWindowPortBounds(w, &pb);
  EXPECT_EQ(pb.right - pb.left, 300);
  EXPECT_EQ(pb.bottom - pb.top, 340);
  // No movement: no new size.
  tb::ClickAt(p);
  ASSERT_TRUE(GetNextEvent(mDownMask, &ev));
  EXPECT_EQ(GrowWindow(w, ev.where, &limits), 0);
}

TEST_F(WindowsTest, ZoomGoesToTheStandardStateAndBack) {
  WindowRef w = make("W", 100, 100, 200, 100);
  serveUpdates();
  Rect std;
  GetWindowStandardState(w, &std);
  EXPECT_GE(std.top, GetMBarHeight());
  ZoomWindow(w, inZoomOut, true);
  Rect c;
  GetWindowBounds(w, kWindowContentRgn, &c);
  EXPECT_EQ(c.left, std.left);
  EXPECT_EQ(c.right, std.right);
  EXPECT_EQ(serveUpdates().size(), 1u);  // zooming redraws the window
  Rect zoom;
  GetWindowBounds(w, kWindowZoomBoxRgn, &zoom);
  WindowRef hit;
  EXPECT_EQ(FindWindow(Point{short(zoom.top + 2), short(zoom.left + 2)}, &hit), inZoomIn);
  ZoomWindow(w, inZoomIn, true);
  GetWindowBounds(w, kWindowContentRgn, &c);
  EXPECT_EQ(c.left, 100);
  EXPECT_EQ(c.right, 300);
}

TEST_F(WindowsTest, LongTitlesAreCutAndGoneWindowsIgnoreCalls) {
  WindowRef w = make("Title", 100, 100);
  Str255 title, longTitle;
  pstr::set(longTitle, sizeof longTitle, std::string(300, 'x'));
  SetWTitle(w, longTitle);
  GetWTitle(w, title);
  EXPECT_EQ(title[0], 255);
  EXPECT_EQ(GetWindowFromPort(GetWindowPort(w)), w);
  EXPECT_EQ(GetWindowFromPort(tb::GetScreenPort()), nullptr);
  EXPECT_EQ(CollapseWindow(w, true), noErr);
  EXPECT_TRUE(IsWindowCollapsed(w));
  SetWRefCon(w, 1234);
  DisposeWindow(w);
  EXPECT_EQ(GetWRefCon(w), 0);
  EXPECT_FALSE(IsWindowVisible(w));
  DisposeWindow(w);
}

TEST_F(WindowsTest, GetMouseIsLocalToTheCurrentPort) {
  WindowRef w = make("W", 100, 200);
  tb::MoveMouseTo(Point{250, 130});
  SetPortWindowPort(w);
  Point p;
  GetMouse(&p);
  EXPECT_EQ(p.h, 30);
  EXPECT_EQ(p.v, 50);
}

TEST_F(WindowsTest, TheScreenShowsWindowsFrontOverBack) {
  WindowRef back = make("Back", 100, 100, 300, 200);
  WindowRef front = make("Front", 200, 150, 300, 200);
  auto fill = [](WindowRef w, UInt8 r, UInt8 g, UInt8 b) {
    SetPortWindowPort(w);
    RGBColor c{UInt16(r * 257), UInt16(g * 257), UInt16(b * 257)};
    RGBForeColor(&c);
    Rect all;
    GetWindowPortBounds(w, &all);
    PaintRect(&all);
  };
  fill(back, 255, 0, 0);
  fill(front, 0, 0, 255);
  tb::CompositeScreen();
  EXPECT_EQ(tb::ScreenPixel(110, 110), tb::PackPixel(255, 0, 0));
  EXPECT_EQ(tb::ScreenPixel(250, 250), tb::PackPixel(0, 0, 255));
  SelectWindow(back);
  tb::CompositeScreen();
  EXPECT_EQ(tb::ScreenPixel(250, 250), tb::PackPixel(255, 0, 0));
  HideWindow(back);
  tb::CompositeScreen();
  EXPECT_EQ(tb::ScreenPixel(250, 250), tb::PackPixel(0, 0, 255));
  EXPECT_NE(tb::ScreenPixel(110, 110), tb::PackPixel(255, 0, 0));

  testsupport::TempDir dir;
  ASSERT_EQ(tb::SaveScreenPNG((dir / "screen.png").c_str()), noErr);
  EXPECT_EQ(testsupport::ReadFile(dir / "screen.png").substr(1, 3), "PNG");
}

TEST_F(WindowsTest, WindowsFromWindResources) {
  tb::ResourceEntry wind;
  wind.type = 'WIND';
  wind.id = 128;
  // bounds 50,60,150,260; documentProc; visible; close box; refCon 99;
  // title "Res"; centred on the screen.
  wind.data = {0, 50, 0, 60, 0, 150, 1, 4, 0, 0, 0, 1, 0, 1, 0, 0, 0, 99, 3, 'R', 'e', 's', 0x28, 0x0A};
  testsupport::TempDir dir;
  ASSERT_GT(testsupport::OpenResourcesAsApplication(dir / "app.rsrc", {wind}), 0);
  WindowRef w = GetNewCWindow(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(w, nullptr);
  Str255 t;
  GetWTitle(w, t);
  EXPECT_TRUE(pstr::view(t) == "Res" && GetWRefCon(w) == 99 && IsWindowVisible(w));
  Rect c;
  GetWindowBounds(w, kWindowContentRgn, &c);
  EXPECT_EQ(c.right - c.left, 200);
  EXPECT_EQ((c.left + c.right) / 2, tb::ScreenWidth() / 2);
  EXPECT_EQ(GetNewCWindow(129, nullptr, kFirstWindowOfClass), nullptr);
  tb::ResetResources();
}

}  // namespace

namespace {
void countDisposal(WindowRef) {}

[[noreturn]] void exitWithAWindowOpen() {
  tb::InitDisplay();
  tb::AddWindowDisposeHook(countDisposal);
  Rect r{40, 40, 140, 240};
  Str255 title;
  pstr::set(title, sizeof title, "Left open");
  WindowRef w = NewCWindow(nullptr, &r, title, true, documentProc, kFirstWindowOfClass, true, 0);
  // A dialog with a button, a control, a list and a text object left open
  // too: their managers' tables are reached while the windows go.
  static const unsigned char items[] = {0x00, 0x00, 0, 0, 0, 0, 0, 10, 0, 10, 0, 30, 0, 80, 4, 2, 'O', 'K'};
  Handle h = NewHandle(sizeof items);
  std::memcpy(*h, items, sizeof items);
  Rect dr{200, 40, 300, 240};
  NewColorDialog(nullptr, &dr, title, true, movableDBoxProc, kFirstWindowOfClass, false, 0, h);
  Rect cr{10, 10, 30, 90};
  NewControl(w, &cr, title, true, 0, 0, 1, pushButProc, 0);
  Rect lr{40, 10, 90, 90};
  ListBounds lb{0, 0, 3, 1};
  LNew(&lr, &lb, Point{16, 80}, 0, w, true, false, false, true);
  Rect tr{10, 100, 90, 190};
  TXNObject obj = nullptr;
  TXNNewObject(nullptr, w, &tr, 0, kTXNTextEditStyleFrameType, kTXNTextFile, kTXNSystemDefaultEncoding, &obj, nullptr,
               nullptr);
  std::exit(0);
}
}  // namespace

// A program may call exit() with windows open: the display disposes them from
// its exit handler, and the hooks and descriptor tables they reach must still
// be alive then, whenever they were first used.
TEST(WindowsAtExit, OpenWindowsAreDisposedSafelyByTheExitHandler) {
  EXPECT_EXIT(exitWithAWindowOpen(), ::testing::ExitedWithCode(0), "");
}

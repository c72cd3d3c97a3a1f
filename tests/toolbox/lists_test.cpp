// List Manager: the row store the list control keeps its rows in, and the
// drawing text list with its scroll bar (the system status window's).
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/lists.h"
#include "toolbox/memory.h"
#include "toolbox/testdriver.h"
#include "toolbox_fixture.h"

namespace {

std::string CellText(ListHandle l, SInt16 row) {
  char buf[64];
  SInt16 len = sizeof buf;
  LGetCell(buf, &len, Cell{row, 0}, l);
  return std::string(buf, std::size_t(len));
}

void SetText(ListHandle l, SInt16 row, const std::string& s) {
  LSetCell(s.data(), SInt16(s.size()), Cell{row, 0}, l);
}

class Lists : public testsupport::ToolboxFixture {
 protected:
  void SetUp() override {
    ToolboxFixture::SetUp();
    w_ = NewTestWindow(Rect{80, 80, 380, 480}, "Status");
    ASSERT_NE(w_, nullptr);
  }
  void TearDown() override {
    LDispose(list_);
    ToolboxFixture::TearDown();
  }
  // The status window's list: (20, 20)-(180, 300), one column, rows 16
  // high, a vertical scroll bar.
  ListHandle textList() {
    const Rect view{20, 20, 180, 300};
    const ListBounds bounds{0, 0, 0, 1};
    list_ = LNew(&view, &bounds, Point{16, 280}, 0, w_, true, false, false, true);
    return list_;
  }
  Point global(Point local) const {
    Rect content;
    GetWindowBounds(w_, kWindowContentRgn, &content);
    return Point{SInt16(content.top + local.v), SInt16(content.left + local.h)};
  }
  Boolean click(Point local, EventModifiers mods = 0) {
    tb::ClickAt(global(local), mods);
    EventRecord ev;
    EXPECT_TRUE(GetNextEvent(mDownMask, &ev));
    SetPortWindowPort(w_);
    Point p = ev.where;
    GlobalToLocal(&p);
    const Boolean r = LClick(p, ev.modifiers, list_);
    Drain();
    return r;
  }
  UInt32 px(int h, int v) const { return tb::PortPixel(GetWindowPort(w_), h, v); }
  bool inkIn(const Rect& r) const { return testsupport::DarkInkIn(GetWindowPort(w_), r); }
  int selectedCount() {
    int n = 0;
    Cell c{0, 0};
    while (LGetSelect(true, &c, list_)) {
      ++n;
      c.v = SInt16(c.v + 1);
    }
    return n;
  }

  WindowRef w_ = nullptr;
  ListHandle list_ = nullptr;
};

TEST_F(Lists, RowsAndCellData) {
  textList();
  ListBounds b;
  EXPECT_EQ(GetListDataBounds(list_, &b)->bottom, 0);
  EXPECT_EQ(LAddRow(3, 0, list_), 0);
  SetText(list_, 0, "zero");
  SetText(list_, 1, "one");
  SetText(list_, 2, "two");
  EXPECT_EQ(GetHandleSize(GetListDataHandle(list_)), 10);
  // inserting moves the rows below
  EXPECT_EQ(LAddRow(1, 1, list_), 1);
  EXPECT_EQ(CellText(list_, 0), "zero");
  EXPECT_EQ(CellText(list_, 1), "");
  EXPECT_EQ(CellText(list_, 2), "one");
  // past the end: at the end
  EXPECT_EQ(LAddRow(2, 99, list_), 4);
  EXPECT_EQ(GetListDataBounds(list_, &b)->bottom, 6);
  // a cell grows, shrinks and empties in place
  SetText(list_, 2, "one, longer");
  SetText(list_, 0, "0");
  EXPECT_EQ(CellText(list_, 2), "one, longer");
  EXPECT_EQ(CellText(list_, 3), "two");
  EXPECT_EQ(GetHandleSize(GetListDataHandle(list_)), 1 + 11 + 3);
  // reading is bounded by the room given
  char small[3];
  SInt16 len = sizeof small;
  LGetCell(small, &len, Cell{2, 0}, list_);
  EXPECT_EQ(len, 3);
  len = 10;
  LGetCell(small, &len, Cell{9, 0}, list_);
  EXPECT_EQ(len, 0);
  // deleting
  LDelRow(2, 1, list_);
  EXPECT_EQ(CellText(list_, 1), "two");
  EXPECT_EQ(GetHandleSize(GetListDataHandle(list_)), 1 + 3);
  LDelRow(0, 0, list_);
  EXPECT_EQ(GetListDataBounds(list_, &b)->bottom, 0);
  EXPECT_EQ(GetHandleSize(GetListDataHandle(list_)), 0);
  // cells outside the list are ignored
  SetText(list_, 0, "x");
  LDelRow(1, 5, list_);
  LDelRow(1, -1, list_);
}

TEST_F(Lists, SelectionAndLastClick) {
  textList();
  LAddRow(6, 0, list_);
  LSetSelect(true, Cell{2, 0}, list_);
  LSetSelect(true, Cell{4, 0}, list_);
  Cell c{0, 0};
  ASSERT_TRUE(LGetSelect(true, &c, list_));
  EXPECT_EQ(c.v, 2);
  c.v = 3;
  ASSERT_TRUE(LGetSelect(true, &c, list_));
  EXPECT_EQ(c.v, 4);
  c.v = 5;
  EXPECT_FALSE(LGetSelect(true, &c, list_));
  EXPECT_EQ(c.v, 5);
  c.v = 4;
  EXPECT_TRUE(LGetSelect(false, &c, list_));
  // the flags move with their rows
  LDelRow(1, 0, list_);
  c = Cell{0, 0};
  LGetSelect(true, &c, list_);
  EXPECT_EQ(c.v, 1);
  // only one at a time
  SetListSelectionFlags(list_, lOnlyOne);
  LSetSelect(true, Cell{0, 0}, list_);
  EXPECT_EQ(selectedCount(), 1);
  // the last click and its time
  EXPECT_EQ(GetListClickTime(list_), 0);
  Cell last{3, 0};
  SetListLastClick(list_, &last);
  SetListClickTime(list_, 77);
  EXPECT_EQ(LLastClick(list_).v, 3);
  EXPECT_EQ(GetListClickTime(list_), 77);
  LAddRow(2, 0, list_);
  EXPECT_EQ(LLastClick(list_).v, 5);
  LDelRow(1, 5, list_);
  EXPECT_EQ(LLastClick(list_).v, -1);
}

TEST_F(Lists, DrawingModeActivationAndSizes) {
  textList();
  EXPECT_FALSE(GetListFlags(list_) & lDrawingModeOff);
  LSetDrawingMode(false, list_);
  EXPECT_TRUE(GetListFlags(list_) & lDrawingModeOff);
  SetListFlags(list_, 0);  // the drawing mode is not for SetListFlags to change
  EXPECT_TRUE(GetListFlags(list_) & lDrawingModeOff);
  LSetDrawingMode(true, list_);
  EXPECT_TRUE(GetListActive(list_));
  LActivate(false, list_);
  EXPECT_FALSE(GetListActive(list_));
  EXPECT_EQ(GetControlHilite(GetListVerticalScrollBar(list_)), kControlInactivePart);
  EXPECT_EQ(GetListHorizontalScrollBar(list_), nullptr);
  LSize(200, 100, list_);  // the bar follows the view
  Rect view, bar;
  GetListViewBounds(list_, &view);
  EXPECT_TRUE(view.right == 220 && view.bottom == 120);
  GetControlBounds(GetListVerticalScrollBar(list_), &bar);
  EXPECT_TRUE(bar.left == 220 && bar.bottom == 121);
  // a null list is ignored everywhere
  LSetCell("x", 1, Cell{0, 0}, nullptr);
  EXPECT_EQ(GetListRefCon(nullptr), 0);
  LDispose(nullptr);
}

TEST_F(Lists, TextListDrawsItsCellsAndScrolls) {
  textList();
  LAddRow(30, 0, list_);
  for (int r = 0; r < 30; ++r) SetText(list_, SInt16(r), "line " + std::to_string(r));
  LUpdate(nullptr, list_);
  EXPECT_TRUE(inkIn(Rect{20, 20, 36, 100}));
  EXPECT_TRUE(inkIn(Rect{164, 20, 180, 100}));  // row 9, the last in view
  ControlRef bar = GetListVerticalScrollBar(list_);
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(IsControlVisible(bar));
  EXPECT_EQ(GetControlMaximum(bar), 20);
  // the down arrow scrolls a row, the page area a view less one row
  Rect arrow;
  ASSERT_TRUE(tb::ScrollBarPartRect(bar, kControlDownButtonPart, &arrow));
  EXPECT_FALSE(click(Point{SInt16((arrow.top + arrow.bottom) / 2), SInt16((arrow.left + arrow.right) / 2)}));
  ListBounds visible;
  EXPECT_EQ(GetListVisibleCells(list_, &visible)->top, 1);
  EXPECT_EQ(GetControlValue(bar), 1);
  Rect page;
  ASSERT_TRUE(tb::ScrollBarPartRect(bar, kControlPageDownPart, &page));
  click(Point{SInt16(page.bottom - 2), SInt16((page.left + page.right) / 2)});
  EXPECT_EQ(GetListVisibleCells(list_, &visible)->top, 10);
  // the thumb, all the way down
  Rect thumb;
  ASSERT_TRUE(tb::ScrollBarPartRect(bar, kControlIndicatorPart, &thumb));
  tb::DragFromTo(global(Point{SInt16((thumb.top + thumb.bottom) / 2), SInt16((thumb.left + thumb.right) / 2)}),
                 global(Point{290, 310}));
  EventRecord ev;
  ASSERT_TRUE(GetNextEvent(mDownMask, &ev));
  SetPortWindowPort(w_);
  Point p = ev.where;
  GlobalToLocal(&p);
  LClick(p, 0, list_);
  EXPECT_EQ(GetListVisibleCells(list_, &visible)->top, 20);
  LScroll(0, -100, list_);
  EXPECT_EQ(GetListVisibleCells(list_, &visible)->top, 0);
  // The wheel over the list (or its bar) moves it a row a line, to its ends;
  // elsewhere in the window nothing moves.
  struct Turn {
    Point at;
    SInt16 lines;
    int top;
  } const turns[] = {{Point{100, 100}, 3, 3},
                     {Point{100, 290}, 2, 5},
                     {Point{250, 100}, 4, 5},
                     {Point{100, 100}, -9, 0},
                     {Point{100, 100}, 40, 20}};
  for (const Turn& t : turns) {
    tb::TurnWheelAt(global(t.at), t.lines);
    Drain();
    EXPECT_EQ(GetListVisibleCells(list_, &visible)->top, t.top) << t.lines;
    EXPECT_EQ(GetControlValue(bar), t.top);
  }
  LScroll(0, -100, list_);
  // emptied, the list erases what it showed
  LDelRow(0, 0, list_);
  EXPECT_FALSE(inkIn(Rect{20, 20, 180, 300}));
  EXPECT_EQ(GetControlMaximum(bar), 0);
}

TEST_F(Lists, ClicksSelectCells) {
  textList();
  LAddRow(8, 0, list_);
  for (int r = 0; r < 8; ++r) SetText(list_, SInt16(r), "row " + std::to_string(r));
  EXPECT_FALSE(click(Point{28, 50}));  // row 0
  Cell c{0, 0};
  EXPECT_TRUE(LGetSelect(false, &c, list_));
  EXPECT_EQ(LLastClick(list_).v, 0);
  // the selected row is painted in the highlight colour
  EXPECT_EQ(px(250, 22), tb::PackPixel(0x3A, 0x6E, 0xC8));
  EXPECT_TRUE(click(Point{28, 52}));  // a double-click
  tb::AdvanceTicks(100);
  click(Point{28 + 16 * 3, 50}, shiftKey);
  EXPECT_EQ(selectedCount(), 4);
  tb::AdvanceTicks(100);
  click(Point{28 + 16 * 1, 50}, cmdKey);
  EXPECT_EQ(selectedCount(), 3);
  tb::AdvanceTicks(100);
  click(Point{28 + 16 * 5, 50});
  EXPECT_EQ(selectedCount(), 1);
  EXPECT_EQ(px(250, 22), tb::PackPixel(0xFF, 0xFF, 0xFF));
  // a press dragged down moves the selection with the mouse
  tb::AdvanceTicks(100);
  tb::DragFromTo(global(Point{28, 50}), global(Point{28 + 16 * 2, 50}));
  EventRecord ev;
  ASSERT_TRUE(GetNextEvent(mDownMask, &ev));
  SetPortWindowPort(w_);
  Point p = ev.where;
  GlobalToLocal(&p);
  LClick(p, 0, list_);
  c = Cell{0, 0};
  ASSERT_TRUE(LGetSelect(true, &c, list_));
  EXPECT_EQ(c.v, 2);
  EXPECT_EQ(selectedCount(), 1);
  // below the last row: the selection goes
  tb::AdvanceTicks(100);
  click(Point{170, 50});
  EXPECT_EQ(selectedCount(), 0);
}

void NothingDrawn(SInt16 message, Boolean, Rect*, Cell, SInt16, SInt16, ListHandle list) {
  if (message == lDrawMsg) SetListRefCon(list, GetListRefCon(list) + 1);
}

TEST_F(Lists, ACustomDefinitionIsTheOnlyOneThatDraws) {
  // The window is painted grey first: a list that draws nothing leaves it.
  SetPortWindowPort(w_);
  const RGBColor grey{0x8080, 0x8080, 0x8080};
  RGBForeColor(&grey);
  Rect all{0, 0, 300, 400};
  PaintRect(&all);
  const Rect view{20, 20, 180, 300};
  const ListBounds bounds{0, 0, 1, 1};
  ListDefSpec def{};
  def.defType = kListDefUserProcType;
  def.u.userProc = NothingDrawn;
  ASSERT_EQ(CreateCustomList(&view, &bounds, Point{16, 280}, &def, w_, true, false, false, false, &list_), noErr);
  LAddRow(5, 0, list_);
  SetText(list_, 0, "bytes that are not text");
  LSetSelect(true, Cell{0, 0}, list_);
  LUpdate(nullptr, list_);
  EXPECT_GT(GetListRefCon(list_), 0);  // the definition was asked
  for (int v = 15; v < 190; v += 7)
    for (int h = 15; h < 310; h += 11) ASSERT_EQ(px(h, v), tb::PackPixel(0x80, 0x80, 0x80)) << h << "," << v;
  // while drawing is off it is not even asked
  SetListRefCon(list_, 0);
  LSetDrawingMode(false, list_);
  SetText(list_, 1, "more");
  LUpdate(nullptr, list_);
  EXPECT_EQ(GetListRefCon(list_), 0);
}

TEST_F(Lists, DisposingAfterTheWindowIsSafe) {
  textList();
  LAddRow(3, 0, list_);
  SetText(list_, 0, "x");
  tb::DisposeAllWindows();
  LSetCell("y", 1, Cell{0, 0}, list_);
  LUpdate(nullptr, list_);
  LDispose(list_);
  list_ = nullptr;
}

}  // namespace

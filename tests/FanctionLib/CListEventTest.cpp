// The list control driven by injected mouse and key events.
#include "clist_fixture.h"

namespace cltest {
namespace {

class ListEvents : public ListFixture {
 protected:
  // 30 rows under four columns: both bars are needed. The view is then
  // (20, 20)-(205, 405), the header 18 high and VC 10.
  void fill(int rows = 30, Boolean multi = true) {
    make(multi);
    addColumns();
    for (int r = 0; r < rows; ++r)
      setRow(r, {"row" + std::to_string(r), std::to_string(rows - r), std::to_string(r) + " KB", "1/1/2004"});
  }
  Point header(int h) const { return Point{29, SInt16(h)}; }
  Rect part(ControlRef bar, ControlPartCode p) {
    Rect r{0, 0, 0, 0};
    EXPECT_TRUE(tb::ScrollBarPartRect(bar, p, &r));
    return r;
  }
  static Point mid(const Rect& r) { return Point{SInt16((r.top + r.bottom) / 2), SInt16((r.left + r.right) / 2)}; }
  int V() const { return clist::ScrollV(cl_); }
  int H() const { return clist::ScrollH(cl_); }
};

TEST_F(ListEvents, Layout) {
  fill();
  const Rect view = clist::ViewRect(cl_);
  EXPECT_TRUE(view.right == 405 && view.bottom == 205);
  EXPECT_EQ(CLGetVisibleCount(cl_), 10);
  EXPECT_EQ(GetControlMaximum(cl_->vScroll), 21);  // 31 platform rows less 10
  EXPECT_EQ(GetControlMaximum(cl_->hScroll), 440 + 15 - 400);
  Rect b;
  GetControlBounds(cl_->vScroll, &b);
  EXPECT_TRUE(b.top == 38 && b.left == 405 && b.bottom == 205 && b.right == 421);  // below the header
  GetControlBounds(cl_->hScroll, &b);
  EXPECT_TRUE(b.top == 205 && b.right == 405 && b.bottom == 221);  // the classic bars reach one pixel further
}

TEST_F(ListEvents, ClickSelectsAndReportsTheCell) {
  fill();
  Cell cell{9, 9};
  EXPECT_FALSE(click(rowPoint(3), 0, &cell));
  EXPECT_TRUE(cell.v == 3 && cell.h == 0);
  EXPECT_EQ(selectedRows(), std::vector<int>{3});
  tb::AdvanceTicks(100);
  click(rowPoint(5));
  EXPECT_EQ(selectedRows(), std::vector<int>{5});
  EXPECT_EQ(CLGetSelectCount(cl_), 1);
  // a click on the selected row changes nothing
  tb::AdvanceTicks(100);
  click(rowPoint(5));
  EXPECT_EQ(selectedRows(), std::vector<int>{5});
  // below the last row: the selection is cleared and the cell is (0, 0)
  CLDelRow(cl_, 27, 3);
  tb::AdvanceTicks(100);
  click(rowPoint(0));
  tb::AdvanceTicks(100);
  EXPECT_FALSE(click(Point{150, 100}, 0, &cell));
  EXPECT_TRUE(cell.v == 0 && cell.h == 0);
  EXPECT_TRUE(selectedRows().empty());
}

TEST_F(ListEvents, ShiftAndCommandSelection) {
  fill();
  click(rowPoint(2));
  tb::AdvanceTicks(100);
  click(rowPoint(5), shiftKey);
  EXPECT_EQ(selectedRows(), (std::vector<int>{2, 3, 4, 5}));
  // the anchor stays: a shift-click above it runs from the anchor upwards
  tb::AdvanceTicks(100);
  click(rowPoint(0), shiftKey);
  EXPECT_EQ(selectedRows(), (std::vector<int>{0, 1, 2}));
  tb::AdvanceTicks(100);
  click(rowPoint(7), cmdKey);
  EXPECT_EQ(selectedRows(), (std::vector<int>{0, 1, 2, 7}));
  tb::AdvanceTicks(100);
  click(rowPoint(1), cmdKey);
  EXPECT_EQ(selectedRows(), (std::vector<int>{0, 2, 7}));
  // the command-click moved the anchor
  tb::AdvanceTicks(100);
  click(rowPoint(3), shiftKey);
  EXPECT_EQ(selectedRows(), (std::vector<int>{1, 2, 3}));
  // a plain click starts again
  tb::AdvanceTicks(100);
  click(rowPoint(8));
  EXPECT_EQ(selectedRows(), std::vector<int>{8});
}

TEST_F(ListEvents, SingleSelectionIgnoresShiftAndCommand) {
  fill(30, false);
  click(rowPoint(2));
  tb::AdvanceTicks(100);
  click(rowPoint(5), shiftKey);
  EXPECT_EQ(selectedRows(), std::vector<int>{5});
  tb::AdvanceTicks(100);
  click(rowPoint(6), cmdKey);
  EXPECT_EQ(selectedRows(), std::vector<int>{6});
  EXPECT_FALSE(key('a', cmdKey));
}

TEST_F(ListEvents, DoubleClicks) {
  fill();
  EXPECT_FALSE(click(rowPoint(4)));
  // the second click, 3 pixels away and within the double-click time
  Point p = rowPoint(4);
  p.h = SInt16(p.h + 3);
  EXPECT_TRUE(click(p));
  // a third click right after starts afresh
  EXPECT_FALSE(click(p));
  EXPECT_TRUE(click(p));
  // too late
  tb::AdvanceTicks(100);
  EXPECT_FALSE(click(p));
  tb::AdvanceTicks(GetDblTime());
  EXPECT_FALSE(click(p));
  // too far: 5 pixels is outside the box
  tb::AdvanceTicks(100);
  click(p);
  Point far = p;
  far.h = SInt16(far.h + 5);
  EXPECT_FALSE(click(far));
  // a command-click never counts, nor a click on a row not selected
  tb::AdvanceTicks(100);
  click(p);
  EXPECT_FALSE(click(p, cmdKey));
  tb::AdvanceTicks(100);
  click(rowPoint(1));
  EXPECT_FALSE(click(rowPoint(2)));
}

TEST_F(ListEvents, DisabledRowsRefuseClicks) {
  fill();
  CCELL_DATA rec{};
  SInt16 len = sizeof rec;
  CLGetCell(cl_, &rec, &len, Cell{3, 0});
  rec.flag[0] = 1;
  Cell cell{9, 9};
  EXPECT_FALSE(click(rowPoint(3), 0, &cell));
  EXPECT_EQ(cell.v, -1);
  EXPECT_TRUE(selectedRows().empty());
  // nor can they be selected otherwise
  CLSetSelect(cl_, Cell{3, 0}, true, true);
  CLAllSelect(cl_);
  EXPECT_EQ(CLGetSelectCount(cl_), 29);
  // disabling the whole list deselects it
  CLEnable(cl_, false);
  EXPECT_EQ(CLGetSelectCount(cl_), 0);
  EXPECT_FALSE(cl_->bEnableHeader);
  EXPECT_EQ(GetControlHilite(cl_->vScroll), kControlInactivePart);
  tb::AdvanceTicks(100);
  EXPECT_FALSE(click(rowPoint(1)));
  EXPECT_EQ(CLGetSelectCount(cl_), 0);
  CLEnable(cl_, true);
  tb::AdvanceTicks(100);
  click(rowPoint(1));
  EXPECT_EQ(selectedRows(), std::vector<int>{1});
}

TEST_F(ListEvents, ARowCutAtTheBottomScrollsIntoView) {
  fill();
  // Row 9 shows only its top 5 pixels.
  const Point cut{202, 60};
  ASSERT_TRUE(clist::IsNeedScroll(cl_, Cell{9, 0}));
  click(cut);
  EXPECT_EQ(selectedRows(), std::vector<int>{9});
  EXPECT_EQ(V(), 1);
  // with the vertical bar disabled the click changes nothing
  CLSetScrollValue(cl_, 0, 0);
  CLEnableScrollBar(cl_, false);
  tb::AdvanceTicks(100);
  EXPECT_FALSE(click(cut));
  EXPECT_EQ(selectedRows(), std::vector<int>{9});
  EXPECT_EQ(V(), 0);
}

TEST_F(ListEvents, Keys) {
  fill();
  // Down on a list never clicked selects row 0.
  EXPECT_TRUE(key(kDownArrowCharCode));
  EXPECT_EQ(selectedRows(), std::vector<int>{0});
  EXPECT_TRUE(key(kDownArrowCharCode));
  EXPECT_EQ(selectedRows(), std::vector<int>{1});
  EXPECT_TRUE(key(kUpArrowCharCode));
  EXPECT_FALSE(key(kUpArrowCharCode));  // at the top
  EXPECT_EQ(selectedRows(), std::vector<int>{0});
  // moving down far enough scrolls
  for (int i = 0; i < 12; ++i) key(kDownArrowCharCode);
  EXPECT_EQ(selectedRows(), std::vector<int>{12});
  EXPECT_GT(V(), 0);
  EXPECT_LE(V(), 12);
  EXPECT_GE(V() + CLGetVisibleCount(cl_) - 2, 12);
  // Home, End, page keys
  EXPECT_TRUE(key(kHomeCharCode));
  EXPECT_EQ(V(), 0);
  EXPECT_FALSE(key(kPageUpCharCode));  // already at the top
  EXPECT_TRUE(key(kPageDownCharCode));
  EXPECT_EQ(V(), 8);  // VC 10 less 2 with the header
  EXPECT_TRUE(key(kPageUpCharCode));
  EXPECT_EQ(V(), 0);
  EXPECT_TRUE(key(kEndCharCode));
  EXPECT_EQ(V(), 21);
  EXPECT_FALSE(key(kPageDownCharCode));
  // Down on the last row
  CLClearSelect(cl_, nullptr);
  CLSetSelect(cl_, Cell{29, 0}, true, false);
  EXPECT_FALSE(key(kDownArrowCharCode));
  EXPECT_EQ(selectedRows(), std::vector<int>{29});
  // Up with the selection at the top
  CLSetSelect(cl_, Cell{29, 0}, false, false);
  CLSetSelect(cl_, Cell{0, 0}, true, false);
  EXPECT_FALSE(key(kUpArrowCharCode));
  // "a" is taken and changes nothing; command-A selects all
  EXPECT_TRUE(key('a'));
  EXPECT_EQ(selectedRows(), std::vector<int>{0});
  EXPECT_TRUE(key('a', cmdKey));
  EXPECT_EQ(CLGetSelectCount(cl_), 30);
  // left and right scroll the horizontal bar by a row height
  EXPECT_TRUE(key(kRightArrowCharCode));
  EXPECT_EQ(H(), 18);
  EXPECT_TRUE(key(kLeftArrowCharCode));
  EXPECT_EQ(H(), 0);
  EXPECT_FALSE(key('x'));
  EXPECT_FALSE(key(kReturnCharCode));
}

TEST_F(ListEvents, UpAndDownFollowTheLastSelectedRow) {
  fill();
  CLSetSelect(cl_, Cell{3, 0}, true, false);
  CLSetSelect(cl_, Cell{6, 0}, true, false);
  EXPECT_TRUE(key(kDownArrowCharCode));
  EXPECT_EQ(selectedRows(), std::vector<int>{7});
  CLSetSelect(cl_, Cell{2, 0}, true, false);
  EXPECT_TRUE(key(kUpArrowCharCode));
  EXPECT_EQ(selectedRows(), std::vector<int>{6});
}

TEST_F(ListEvents, ScrollBarsScrollTheList) {
  fill();
  tb::ClickAt(global(mid(part(cl_->vScroll, kControlDownButtonPart))));
  pressed();
  EXPECT_EQ(V(), 1);
  tb::ClickAt(global(mid(part(cl_->vScroll, kControlPageDownPart))));
  pressed();
  EXPECT_EQ(V(), 9);
  tb::ClickAt(global(mid(part(cl_->vScroll, kControlUpButtonPart))));
  pressed();
  EXPECT_EQ(V(), 8);
  // the thumb, dragged to the end of the track
  const Rect thumb = part(cl_->vScroll, kControlIndicatorPart);
  tb::DragFromTo(global(mid(thumb)), global(Point{215, 412}));
  pressed();
  EXPECT_EQ(V(), 21);
  // the horizontal bar moves by a row height, a page by the cell width
  tb::ClickAt(global(mid(part(cl_->hScroll, kControlDownButtonPart))));
  pressed();
  EXPECT_EQ(H(), 18);
  tb::ClickAt(global(mid(part(cl_->hScroll, kControlPageDownPart))));
  pressed();
  EXPECT_EQ(H(), GetControlMaximum(cl_->hScroll));
  // a disabled bar does not react
  CLEnableScrollBar(cl_, false);
  tb::ClickAt(global(mid(part(cl_->vScroll, kControlUpButtonPart))));
  pressed();
  EXPECT_EQ(V(), 21);
  // nor does the corner between the bars
  CLEnableScrollBar(cl_, true);
  tb::ClickAt(global(Point{212, 412}));
  EXPECT_FALSE(pressed());

  // The wheel over the list moves it as the arrows do (a row a line,
  // sideways a row height), from wherever the loop takes its input; it
  // stops at the ends, and outside the list or on a disabled bar nothing
  // moves.
  CLSetScrollValue(cl_, 0, 0);
  const Point inList{100, 200}, outside{300, 200};
  struct Turn {
    Point at;
    SInt16 lines;
    bool horizontal, enabled;
    int v, h;
  } const turns[] = {
      {inList, 3, false, true, 3, 0},     {inList, -1, false, true, 2, 0}, {inList, -40, false, true, 0, 0},
      {inList, 40, false, true, 21, 0},   {inList, 1, true, true, 21, 18}, {outside, -5, false, true, 21, 18},
      {inList, -5, false, false, 21, 18},
  };
  for (const Turn& t : turns) {
    CLEnableScrollBar(cl_, t.enabled);
    tb::TurnWheelAt(global(t.at), t.lines, t.horizontal);
    Drain();
    EXPECT_EQ(V(), t.v) << t.lines;
    EXPECT_EQ(H(), t.h) << t.lines;
  }
  CLEnableScrollBar(cl_, true);
}

TEST_F(ListEvents, HeaderClickSorts) {
  fill(12);
  SInt16 sortPart = 9;
  // column 1 holds 12 down to 1: ascending puts row 11 first
  EXPECT_FALSE(click(header(200), 0, nullptr, &sortPart));
  EXPECT_EQ(sortPart, 1);
  EXPECT_EQ(text(0, 0), "row11");
  EXPECT_EQ(text(11, 0), "row0");
  EXPECT_EQ(cl_->curSortPart, 1);
  EXPECT_EQ(cl_->sortStatus, 0);
  EXPECT_EQ(cl_->part, -1);
  // again: the direction reverses
  tb::AdvanceTicks(100);
  click(header(200), 0, nullptr, &sortPart);
  EXPECT_EQ(sortPart, 1);
  EXPECT_EQ(cl_->sortStatus, 1);
  EXPECT_EQ(text(0, 0), "row0");
  // another column sorts in the same direction
  tb::AdvanceTicks(100);
  click(header(60), 0, nullptr, &sortPart);
  EXPECT_EQ(sortPart, 0);
  EXPECT_EQ(cl_->sortStatus, 1);
  EXPECT_EQ(text(0, 0), "row9");  // text order, descending
  // released outside the button: nothing sorts
  tb::AdvanceTicks(100);
  tb::DragFromTo(global(header(200)), global(Point{120, 200}));
  pressed(nullptr, &sortPart);
  EXPECT_EQ(sortPart, -1);
  EXPECT_EQ(cl_->curSortPart, 0);
  EXPECT_EQ(cl_->part, -1);
  // header clicks with "header only" do not sort either
  tb::AdvanceTicks(100);
  click(header(200), 0, nullptr, &sortPart, true);
  EXPECT_EQ(sortPart, -1);
  EXPECT_EQ(cl_->curSortPart, 0);
  // nor while the header is disabled
  CLEnableHeader(cl_, false);
  tb::AdvanceTicks(100);
  click(header(200), 0, nullptr, &sortPart);
  EXPECT_EQ(sortPart, -1);
}

TEST_F(ListEvents, HeaderOnlyLeavesTheSelectionAlone) {
  fill();
  click(rowPoint(2));
  tb::AdvanceTicks(100);
  click(rowPoint(5), 0, nullptr, nullptr, true);
  EXPECT_EQ(selectedRows(), std::vector<int>{2});
  // but still reports a double-click
  tb::AdvanceTicks(100);
  EXPECT_FALSE(click(rowPoint(2), 0, nullptr, nullptr, true));
  EXPECT_TRUE(click(rowPoint(2), 0, nullptr, nullptr, true));
}

TEST_F(ListEvents, DividersResizeColumns) {
  fill();
  EXPECT_TRUE(CLIsHeaderMovable(cl_, Point{29, 168}));
  EXPECT_TRUE(CLIsHeaderMovable(cl_, Point{29, 174}));
  EXPECT_FALSE(CLIsHeaderMovable(cl_, Point{29, 175}));
  EXPECT_FALSE(CLIsHeaderMovable(cl_, Point{60, 170}));
  // dragging column 0's divider right widens it
  tb::DragFromTo(global(Point{29, 170}), global(Point{29, 200}));
  EXPECT_FALSE(pressed());
  EXPECT_EQ(CLGetColumnWidth(cl_, 0), 180);
  EXPECT_EQ(cl_->divide, 0);
  // to the left it stops at 25 pixels
  tb::AdvanceTicks(100);
  tb::DragFromTo(global(Point{29, 200}), global(Point{29, 5}));
  pressed();
  EXPECT_EQ(CLGetColumnWidth(cl_, 0), 25);
  // the horizontal bar follows the content
  EXPECT_EQ(GetControlMaximum(cl_->hScroll), 0);
  // a double-click fits the column to its widest text
  tb::AdvanceTicks(100);
  click(Point{29, 45});
  click(Point{29, 45});
  const int fitted = CLGetColumnWidth(cl_, 0);
  EXPECT_GT(fitted, 40);
  EXPECT_LT(fitted, 100);
  EXPECT_FALSE(CLIsHeaderMovable(cl_, Point{29, 168}));
  // a disabled header has no dividers
  CLEnableHeader(cl_, false);
  EXPECT_FALSE(CLIsHeaderMovable(cl_, Point{29, SInt16(20 + fitted)}));
}

TEST_F(ListEvents, BarsComeAndGoWithTheirNeed) {
  make();
  CLAddColumn(cl_, P("A"), 150, 0);
  CLAddColumn(cl_, P("B"), 150, 0);
  for (int r = 0; r < 30; ++r) setRow(r, {"x"});
  EXPECT_TRUE(IsControlVisible(cl_->vScroll));
  EXPECT_FALSE(IsControlVisible(cl_->hScroll));
  Rect view = clist::ViewRect(cl_);
  EXPECT_EQ(view.right, 405);
  EXPECT_EQ(view.bottom, 220);
  // all rows fitting: both bars gone and the view as large as the control
  CLDelRow(cl_, 28, 2);
  EXPECT_FALSE(IsControlVisible(cl_->vScroll));
  EXPECT_FALSE(IsControlVisible(cl_->hScroll));
  view = clist::ViewRect(cl_);
  EXPECT_EQ(view.right, 420);
  EXPECT_EQ(view.bottom, 220);
  // always shown: they stay
  CLDispose(cl_);
  make(true, true);
  CLAddColumn(cl_, P("A"), 150, 0);
  setRow(0, {"x"});
  EXPECT_TRUE(IsControlVisible(cl_->vScroll));
  EXPECT_TRUE(IsControlVisible(cl_->hScroll));
  EXPECT_EQ(GetControlHilite(cl_->vScroll), kControlInactivePart);
}

TEST_F(ListEvents, SelectScrollBringsTheSelectionIntoView) {
  fill();
  CLSetSelect(cl_, Cell{25, 0}, true, false);
  CLSelectScroll(cl_);
  const int n = (200 - 18 - 15) / 18;
  EXPECT_EQ(V(), 25 - n + 1);
  CLClearSelect(cl_, nullptr);
  CLSetSelect(cl_, Cell{2, 0}, true, false);
  CLSelectScroll(cl_);
  EXPECT_EQ(V(), 2);
  CLSelectScroll(cl_);
  EXPECT_EQ(V(), 2);
}

TEST_F(ListEvents, ResizeMovesEverything) {
  fill();
  Rect r{30, 30, 330, 530};
  CLResize(cl_, &r);
  Rect b;
  GetControlBounds(cl_->vScroll, &b);
  EXPECT_EQ(b.left, 515);
  EXPECT_EQ(b.top, 48);
  EXPECT_EQ(clist::CellWidth(cl_), 500);
  // the content fits the new width: the horizontal bar goes
  EXPECT_FALSE(IsControlVisible(cl_->hScroll));
  EXPECT_EQ(CLGetVisibleCount(cl_), (300 - 18) / 18 + 1);
  Rect got;
  EXPECT_EQ(CLGetRect(cl_, &got, false, false, false), 0);
  EXPECT_EQ(got.top, 48);
  EXPECT_EQ(got.right, 515);
  EXPECT_EQ(got.bottom, 330);
  CLSetColumnHeight(cl_, 24);
  GetControlBounds(cl_->vScroll, &b);
  EXPECT_EQ(b.top, 54);
}

// A list without a header, ten rows high, as the settings dialogs' address
// lists: each row added and selected (the Add buttons' way), and each row
// the Down key goes to, shows whole, and the view leaves room only for the
// bars that show.
TEST_F(ListEvents, ANewRowAndTheDownKeyScrollTheRowWholeIntoView) {
  const Rect r{105, 25, 255, 250};
  cl_ = CLNew(w_, &r, Point{15, 209}, false, true, false);
  CLAddColumn(cl_, P(""), 209, SInt16(kCLNoHeader | kCLSortText));
  auto whole = [&](int row) {
    Rect cell, view = clist::ViewRect(cl_);
    clist::GetCellRect(cl_, Cell{SInt16(row), 0}, &cell);
    return cell.top >= view.top && cell.bottom <= view.bottom;
  };
  for (int i = 1; i <= 16; ++i) {
    CLClearSelect(cl_, nullptr);
    char t[32];
    std::snprintf(t, sizeof t, "10.0.0.%03d", i);
    CLSetCellOne(cl_, Cell{SInt16(CLGetCount(cl_)), 0}, P(t));
    CLSort(cl_, 0, 0);
    CLSetSelect(cl_, Cell{SInt16(i - 1), 0}, true, false);
    CLSelectScroll(cl_);
    EXPECT_TRUE(whole(i - 1)) << i << " rows, V " << V();
    const Rect view = clist::ViewRect(cl_);
    EXPECT_EQ(view.bottom, r.bottom) << i;  // no horizontal bar
    EXPECT_EQ(view.right, r.right - (i > 10 ? 15 : 0)) << i;
  }
  CLSetScrollValue(cl_, 0, 0);
  CLClearSelect(cl_, nullptr);
  for (int row = 0; row < 16; ++row) {
    EventRecord e{};
    e.what = keyDown;
    e.message = kDownArrowCharCode | (0x7D << 8);
    CLKeyDown(cl_, &e, kDownArrowCharCode);
    EXPECT_TRUE(whole(row)) << "down to " << row << ", V " << V();
  }
}

}  // namespace
}  // namespace cltest

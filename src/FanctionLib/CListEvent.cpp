// The list control's behaviour: clicks on rows, header buttons, dividers
// and scroll bars, double-clicks, keys, selection, the scroll bars' layout,
// resizing and showing.
#include <cstring>

#include "FanctionLib/CListPriv.h"
#include "toolbox/clock.h"
#include "toolbox/fonts.h"
#include "toolbox/gestalt.h"

using namespace clist;

namespace {

// The last click, for double-clicks.
WindowRef oldWPtr = nullptr;
UInt32 oldTime = 0;
Point oldLocalPt{0, 0};  // global coordinates
Rect BarBounds(ControlRef bar) {
  Rect r{0, 0, 0, 0};
  if (bar) GetControlBounds(bar, &r);
  return r;
}

tb::OwnedRgn RectToRgn(const Rect& r) {
  tb::OwnedRgn rgn;
  RectRgn(rgn, &r);
  return rgn;
}

void AddRect(RgnHandle rgn, const Rect& r) {
  if (!rgn) return;
  tb::OwnedRgn piece = RectToRgn(r);
  UnionRgn(rgn, piece, rgn);
}

int DataRows(const CLIST_DATA* cl) { return std::max(0, PlatformRows(cl) - RowShift(cl)); }

bool IsSelected(const CLIST_DATA* cl, int dataRow) {
  Cell c{SInt16(dataRow + RowShift(cl)), 0};
  return dataRow >= 0 && LGetSelect(false, &c, cl->hList);
}

// Selects a data row that holds a record whose first cell is enabled.
bool SelectRow(CLIST_DATA* cl, int dataRow, RgnHandle rgn) {
  CCELL_DATA rec;
  if (dataRow < 0 || !GetRecord(cl, dataRow + RowShift(cl), &rec) || CellDisabled(rec, 0)) return false;
  LSetSelect(true, Cell{SInt16(dataRow + RowShift(cl)), 0}, cl->hList);
  Rect r;
  GetCellRect(cl, Cell{SInt16(dataRow), 0}, &r);
  AddRect(rgn, r);
  return true;
}

// The data row of the last click (0 before any).
int AnchorRow(const CLIST_DATA* cl) { return std::max(0, LLastClick(cl->hList).v - RowShift(cl)); }

// Column i's divider box and button in the dialog's coordinates.
Rect DividerBox(const CLIST_DATA* cl, int i) {
  const int x = cl->rect.left - ScrollH(cl) + ColumnsBefore(cl, i + 1);
  return Rect{cl->rect.top, SInt16(x - 5), SInt16(cl->rect.top + HeaderHeight(cl)), SInt16(x + 5)};
}
Rect ButtonBox(const CLIST_DATA* cl, int i) {
  const int x = cl->rect.left - ScrollH(cl) + ColumnsBefore(cl, i);
  return Rect{cl->rect.top, SInt16(std::clamp(x, -32768, 32767)), SInt16(cl->rect.top + HeaderHeight(cl)),
              SInt16(std::clamp(x + ColumnWidth(cl, i), -32768, 32767))};
}

}  // namespace

// --- Geometry ------------------------------------------------------------------

SInt16 CLGetVisibleCount(CLIST_DATA* clData) {
  if (!clData) return -1;
  if (!clData->hList) return -2;
  const Rect view = ViewRect(clData);
  const int rowH = RowHeight(clData);
  if (rowH <= 0) return 0;
  const int viewH = view.bottom - view.top;
  if (HeaderShown(clData)) return SInt16((viewH - HeaderHeight(clData)) / rowH + 1);
  return SInt16(viewH / rowH);
}

void clist::GetCellRect(CLIST_DATA* clData, Cell cell, Rect* rect) {
  if (!rect) return;
  *rect = Rect{0, 0, 0, 0};
  if (!HasList(clData)) return;
  const Rect view = ViewRect(clData);
  const int rowH = RowHeight(clData);
  const int top = view.top + HeaderHeight(clData) + (cell.v - ScrollV(clData)) * rowH;
  *rect = Rect{SInt16(std::clamp(top, -32768, 32767)), view.left, SInt16(std::clamp(top + rowH, -32768, 32767)),
               SInt16(view.left + CellWidth(clData))};
}

void clist::PtToCell(CLIST_DATA* clData, Point pt, Cell* cell, Boolean* isEnable) {
  if (isEnable) *isEnable = false;
  if (!HasList(clData) || !cell) return;
  const Rect view = ViewRect(clData);
  const int rowH = RowHeight(clData);
  if (rowH <= 0) return;
  const int x = pt.h - view.left, y = pt.v - view.top;
  // A row reaches across the view, as its highlight does, past narrow
  // columns.
  const int h = HeaderHeight(clData), viewH = view.bottom - view.top,
            width = std::max<int>(ContentWidth(clData), view.right - view.left);
  const int rows = PlatformRows(clData);
  // A row cut by the bottom of the view can be hit too: a click on it
  // scrolls it into view.
  for (int i = 0; h + i * rowH < viewH && i < rows; ++i) {
    const int top = h + i * rowH;
    if (y >= top && y < top + rowH && x >= 0 && x < width) {
      *cell = Cell{SInt16(i + ScrollV(clData)), 0};
      if (isEnable) *isEnable = i + ScrollV(clData) < DataRows(clData);
      return;
    }
  }
}

Boolean clist::IsNeedScroll(CLIST_DATA* clData, Cell cell) {
  if (!HasList(clData)) return false;
  const Rect view = ViewRect(clData);
  return (cell.v - ScrollV(clData) + 1) * RowHeight(clData) + HeaderHeight(clData) > view.bottom - view.top;
}

void clist::GetScrollRect(CLIST_DATA* clData, SInt16 mod, Rect* hRect, Rect* vRect) {
  if (!clData) return;
  const Rect& r = clData->rect;
  if (vRect)
    *vRect = Rect{SInt16(r.top + HeaderHeight(clData)), SInt16(r.right - kBar),
                  SInt16(mod == 33 ? r.bottom : r.bottom - kBar), SInt16(r.right + 1)};
  if (hRect) {
    SInt32 sysv = 0;
    if (Gestalt(gestaltSystemVersion, &sysv) != noErr) sysv = 0;
    *hRect = Rect{SInt16(r.bottom - kBar), r.left, SInt16(sysv > 0x106F ? r.bottom : r.bottom + 1),
                  SInt16(mod == 18 ? r.right : r.right - kBar)};
  }
}

void clist::SetScrollShape(CLIST_DATA* clData, SInt16 mod) {
  if (!clData || !clData->vScroll || !clData->hScroll) return;
  Rect hR, vR;
  GetScrollRect(clData, mod, &hR, &vR);
  SetControlBounds(clData->hScroll, &hR);
  SetControlBounds(clData->vScroll, &vR);
  if (!clData->bShow) return;
  bool showH = true, showV = true;
  switch (mod) {
    case 18: showV = false; break;
    case 33: showH = false; break;
    case 34: showH = showV = false; break;
    default: break;
  }
  SetControlVisibility(clData->hScroll, showH, true);
  SetControlVisibility(clData->vScroll, showV, true);
}

void CSetControlViewSize(CLIST_DATA* clData) {
  if (!clData) return;
  const Rect h = BarBounds(clData->hScroll), v = BarBounds(clData->vScroll);
  SetControlViewSize(clData->hScroll, h.right - h.left);
  const int rowH = clData->hList ? RowHeight(clData) : 0;
  SetControlViewSize(clData->vScroll, rowH > 0 ? (v.bottom - v.top) / rowH : 0);
}

void CLResize(CLIST_DATA* clData, const Rect* resizeRect) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || !cl->vScroll || !cl->hScroll || !resizeRect) return;
  if (cl->bShow && !EqualRect(resizeRect, &cl->rect)) {
    Rect oldR = cl->rect, newR = *resizeRect;
    InsetRect(&oldR, -1, -1);
    InsetRect(&newR, -1, -1);
    tb::OwnedRgn gone = RectToRgn(oldR), now = RectToRgn(newR);
    DiffRgn(gone, now, gone);
    WithPort(cl->parPort, [&] {
      RGBColor back;
      GetBackColor(&back);
      RGBBackColor(&cl->anyColor[0]);
      EraseRgn(gone);
      RGBBackColor(&back);
    });
  }
  cl->rect = *resizeRect;
  Rect view = cl->rect;
  if (BarVisible(cl->vScroll)) view.right = SInt16(view.right - kBar);
  if (BarVisible(cl->hScroll)) view.bottom = SInt16(view.bottom - kBar);
  SetListViewBounds(cl->hList, &view);
  LCellSize(Point{SInt16(RowHeight(cl)), SInt16(cl->rect.right - cl->rect.left)}, cl->hList);
  Rect hR, vR;
  GetScrollRect(cl, 17, &hR, &vR);
  SetControlBounds(cl->hScroll, &hR);
  SetControlBounds(cl->vScroll, &vR);
  CSetDrawingMode(cl->hList, 0);
  CLAdjustScrollBar(cl, 1);
  CSetDrawingMode(cl->hList, 2);
  CLUpdate(cl, nullptr, 1);
}

void CLShow(CLIST_DATA* clData, Boolean bShow) {
  CLIST_DATA* cl = clData;
  if (!cl) return;
  // A list that does not show has no place on screen: what lies in its
  // rectangle (the next page's items, or nothing it ever drew) is another's.
  const bool wasShown = cl->bShow;
  cl->bShow = bShow;
  if (bShow) {
    CLAdjustScrollBar(cl, 0);
    if (cl->bAlwaysShowScroll) {
      ShowControl(cl->vScroll);
      ShowControl(cl->hScroll);
    }
    CLUpdate(cl, nullptr, 1);
  } else {
    HideControl(cl->vScroll);
    HideControl(cl->hScroll);
    if (wasShown && cl->parPort) {
      Rect r = cl->rect;
      InsetRect(&r, -1, -1);
      WithPort(cl->parPort, [&] { EraseRect(&r); });
    }
  }
}

void CLGetScrollValue(CLIST_DATA* clData, SInt16* x, SInt16* y) {
  if (!clData) return;
  if (x) *x = SInt16(ScrollH(clData));
  if (y) *y = SInt16(ScrollV(clData));
}

void CLSetScrollValue(CLIST_DATA* clData, SInt16 x, SInt16 y) {
  if (!clData) return;
  SetControlValue(clData->hScroll, x);
  SetControlValue(clData->vScroll, y);
}

void CLSelectScroll(CLIST_DATA* clData) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl)) return;
  Cell c{0, 0};
  if (!CLGetSelect(cl, &c, true)) return;
  const int rowH = RowHeight(cl);
  if (rowH <= 0) return;
  const int bodyH = cl->rect.bottom - cl->rect.top - HeaderHeight(cl) - (BarVisible(cl->hScroll) ? kBar : 0);
  const int n = bodyH / rowH;
  const int r = c.v, V = ScrollV(cl);
  int newV = V;
  if (r >= V && V + n > r) return;
  if (r >= V)
    newV = r - n + 1;
  else
    newV = r;
  CLSetScrollValue(cl, SInt16(ScrollH(cl)), SInt16(newV));
}

Boolean CLIsHeaderMovable(CLIST_DATA* clData, Point pt) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || !cl->bEnableHeader || !HeaderShown(cl) || !PtInRect(pt, &cl->rect)) return false;
  for (int i = 0; i < ColumnCount(cl); ++i) {
    const Rect box = DividerBox(cl, i);
    if (PtInRect(pt, &box)) return true;
  }
  return false;
}

// --- Selection -----------------------------------------------------------------

void clist::SetLastClick(CLIST_DATA* clData, Cell cell) {
  if (!HasList(clData)) return;
  Cell c{SInt16(cell.v + RowShift(clData)), cell.h};
  SetListLastClick(clData->hList, &c);
  // Click time 0 means "never clicked".
  SetListClickTime(clData->hList, SInt32(std::max<UInt32>(TickCount(), 1)));
}

void CLSetSelect(CLIST_DATA* clData, Cell cell, Boolean visible, Boolean redraw) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || cell.v < 0 || cell.h < 0 || cell.h >= ColumnCount(cl)) return;
  CCELL_DATA rec;
  if (!GetRecord(cl, cell.v + RowShift(cl), &rec) || CellDisabled(rec, cell.h)) return;
  LSetSelect(visible, Cell{SInt16(cell.v + RowShift(cl)), 0}, cl->hList);
  const int V = ScrollV(cl), VC = CLGetVisibleCount(cl);
  if (redraw && cell.v >= V && cell.v <= V + VC - (HeaderShown(cl) ? 2 : 1)) {
    Rect r;
    GetCellRect(cl, cell, &r);
    tb::OwnedRgn rgn = RectToRgn(r);
    CLUpdate(cl, rgn, 0);
  }
}

Boolean CLGetSelect(CLIST_DATA* clData, Cell* cell, Boolean next) {
  if (!HasList(clData) || !cell) return false;
  const int shift = RowShift(clData);
  if (!next) return IsSelected(clData, cell->v);
  Cell c{SInt16(std::max<int>(cell->v, 0) + shift), 0};
  if (!LGetSelect(true, &c, clData->hList)) return false;
  *cell = Cell{SInt16(c.v - shift), 0};
  return true;
}

SInt16 CLGetSelectCount(CLIST_DATA* clData) {
  if (!clData) return -1;
  if (!clData->hList) return -2;
  int count = 0;
  Cell c{0, 0};
  while (LGetSelect(true, &c, clData->hList)) {
    ++count;
    c.v = SInt16(c.v + 1);
    c.h = 0;
  }
  return SInt16(count);
}

void CLClearSelect(CLIST_DATA* clData, RgnHandle updateRgn) {
  if (!HasList(clData)) return;
  if (updateRgn) SetEmptyRgn(updateRgn);
  Cell c{0, 0};
  while (LGetSelect(true, &c, clData->hList)) {
    LSetSelect(false, c, clData->hList);
    Rect r;
    GetCellRect(clData, Cell{SInt16(c.v - RowShift(clData)), 0}, &r);
    AddRect(updateRgn, r);
    c.v = SInt16(c.v + 1);
  }
}

void CLAllSelect(CLIST_DATA* clData) {
  if (!HasList(clData)) return;
  for (int r = 0; r < DataRows(clData); ++r) SelectRow(clData, r, nullptr);
  CLUpdate(clData, nullptr, 0);
}

void CLEnable(CLIST_DATA* clData, Boolean bEnable) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl)) return;
  const int rows = PlatformRows(cl), cols = ColumnCount(cl);
  for (int p = 0; p < rows; ++p) {
    CCELL_DATA rec;
    if (!GetRecord(cl, p, &rec) || !rec.flag) continue;
    for (int c = 0; c < cols; ++c) rec.flag[c] = bEnable ? 0 : 1;
    if (!bEnable) LSetSelect(false, Cell{SInt16(p), 0}, cl->hList);
  }
  CLEnableHeader(cl, bEnable);
  CLEnableScrollBar(cl, bEnable);
}

void CLEnableHeader(CLIST_DATA* clData, Boolean bEnable) {
  if (clData) clData->bEnableHeader = bEnable;
}

void CLEnableScrollBar(CLIST_DATA* clData, Boolean bEnable) {
  if (!clData) return;
  HiliteControl(clData->vScroll, bEnable ? 0 : kControlInactivePart);
  HiliteControl(clData->hScroll, bEnable ? 0 : kControlInactivePart);
  clData->bEnableHScroll = clData->bEnableVScroll = bEnable;
}

// --- Scroll bars and tracking ----------------------------------------------------

void clist::DragScrollProc(ControlRef hCtrl, ControlPartCode part) {
  CLIST_DATA* cl = OwnerOf(hCtrl);
  if (!HasList(cl)) return;
  Str255 title;
  GetControlTitle(hCtrl, title);
  const bool vertical = title[0] > 0 && title[1] == 'v';
  const int k = HeaderShown(cl) ? 2 : 1;
  const int page = std::max(1, CLGetVisibleCount(cl) - k);
  int step = 0;
  switch (part) {
    case kControlUpButtonPart: step = vertical ? -1 : -RowHeight(cl); break;
    case kControlDownButtonPart: step = vertical ? 1 : RowHeight(cl); break;
    case kControlPageUpPart: step = vertical ? -page : -CellWidth(cl); break;
    case kControlPageDownPart: step = vertical ? page : CellWidth(cl); break;
    default: return;
  }
  const SInt16 before = GetControlValue(hCtrl);
  SetControlValue(hCtrl, SInt16(std::clamp(before + step, -32768, 32767)));
  if (GetControlValue(hCtrl) != before) CLUpdate(cl, nullptr, vertical ? 0 : 1);
}

void clist::DragDividerProc(ControlRef hCtrl, ControlPartCode) {
  CLIST_DATA* cl = OwnerOf(hCtrl);
  if (!HasList(cl) || !cl->header.width || cl->divide < 0 || cl->divide >= cl->header.num) return;
  Point m;
  GetMouse(&m);
  const int min = GetControlMinimum(hCtrl);
  // A column is never narrower than 25 pixels.
  const int x = std::max(m.h + ScrollH(cl), min + 25);
  if (x == GetControlValue(hCtrl)) return;
  SetControlValue(hCtrl, SInt16(std::clamp(x, -32768, 32767)));
  const int right = std::max<int>(GetControlValue(hCtrl), min + 25);
  cl->header.width[cl->divide] = SInt16(std::min(right - (cl->rect.left + ColumnsBefore(cl, cl->divide)), 32767));
  CSetDrawingMode(cl->hList, 0);
  CLAdjustScrollBar(cl, 1);
  CSetDrawingMode(cl->hList, 2);
  CLUpdate(cl, nullptr, 1);
}

void clist::DragBtnProc(ControlRef hCtrl, ControlPartCode) {
  CLIST_DATA* cl = OwnerOf(hCtrl);
  if (!HasList(cl)) return;
  const int col = GetControlValue(hCtrl);
  Point m;
  GetMouse(&m);
  const Rect box = ButtonBox(cl, col);
  cl->part = PtInRect(m, &box) ? SInt16(col) : SInt16(-1);
  CLUpdateHeader(cl);
}

void CLAdjustColumnWidth(CLIST_DATA* clData) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || !cl->header.width || cl->divide < 0 || cl->divide >= cl->header.num) return;
  const int d = cl->divide;
  int widest = 0;
  for (int p = 1; p < PlatformRows(cl); ++p) {
    CCELL_DATA rec;
    if (!GetRecord(cl, p, &rec)) continue;
    int w = MeasuredWidth(cl, CellText(rec, d), rec.font ? rec.font[d] : cl->defFont) + 10;
    if (d == 0 && rec.icon.type != kCLIconNone) w += rec.icon.width + 5;
    widest = std::max(widest, w);
  }
  if (widest == 0) return;
  cl->header.width[d] = SInt16(std::min(widest, 32767));
  CSetDrawingMode(cl->hList, 0);
  CLAdjustScrollBar(cl, 1);
  CSetDrawingMode(cl->hList, 2);
  CLUpdate(cl, nullptr, 1);
}

// --- Events ----------------------------------------------------------------------

Boolean CLMouseDown(CLIST_DATA* clData, const EventRecord* evt, Cell* cell, SInt16* sortPart, Boolean headerOnly) {
  CLIST_DATA* cl = clData;
  if (cell) *cell = Cell{-1, -1};
  if (sortPart) *sortPart = -1;
  if (!HasList(cl) || !cl->vScroll || !cl->hScroll || !evt) return false;

  // 1. The point in the dialog's coordinates.
  Point pt = evt->where;
  WithPort(cl->parPort, [&] { GlobalToLocal(&pt); });

  // 2. The scroll bars and the corner between them.
  const Rect hR = BarBounds(cl->hScroll), vR = BarBounds(cl->vScroll);
  const bool vShown = BarVisible(cl->vScroll), hShown = BarVisible(cl->hScroll);
  if (vShown && hShown) {
    const Rect corner{hR.top, vR.left, hR.bottom, vR.right};
    if (PtInRect(pt, &corner)) return false;
  }
  if (vShown && PtInRect(pt, &vR)) {
    CLMouseDownByScrollBar(cl, pt, evt->modifiers, 0);
    return false;
  }
  if (hShown && PtInRect(pt, &hR)) {
    CLMouseDownByScrollBar(cl, pt, evt->modifiers, 1);
    return false;
  }
  if (headerOnly == kCLScrollOnly) return false;

  // 3. The row under the point.
  const bool shift = (evt->modifiers & shiftKey) != 0;
  const bool command = (evt->modifiers & cmdKey) != 0;
  Cell hit{0, 0};
  Boolean rowHit = false;
  PtToCell(cl, pt, &hit, &rowHit);
  if (rowHit) {
    const bool vDisabled = !cl->bEnableVScroll || GetControlHilite(cl->vScroll) == kControlInactivePart;
    CCELL_DATA rec;
    if (vDisabled && IsNeedScroll(cl, hit)) return false;
    if (!GetRecord(cl, hit.v + RowShift(cl), &rec)) return false;
    if (CellDisabled(rec, hit.h)) return false;
  }

  // 4. Double-click: the same selected row (or the header), soon, close by.
  const bool selected = rowHit && IsSelected(cl, hit.v);
  WindowRef window = GetWindowFromPort(cl->parPort);
  bool dbl = false;
  if (!(rowHit && !selected) && !command) {
    dbl = evt->when < oldTime + GetDblTime() && window == oldWPtr && evt->where.h >= oldLocalPt.h - 5 &&
          evt->where.h < oldLocalPt.h + 5 && evt->where.v >= oldLocalPt.v - 5 && evt->where.v < oldLocalPt.v + 5;
  }

  Boolean result = false;
  bool done = false;
  // 5. The header: dividers, then buttons.
  if (cl->bEnableHeader && HeaderShown(cl)) {
    for (int i = 0; i < ColumnCount(cl) && !done; ++i) {
      const Rect divider = DividerBox(cl, i);
      if (PtInRect(pt, &divider)) {
        cl->divide = SInt16(i);
        if (dbl) {
          CLAdjustColumnWidth(cl);
        } else {
          const Rect view = ViewRect(cl);
          SetControlMinimum(cl->hCtrl, SInt16(cl->rect.left + ColumnsBefore(cl, i)));
          SetControlMaximum(cl->hCtrl, SInt16(std::min(view.right + ScrollH(cl), 32767)));
          SetControlValue(cl->hCtrl, SInt16(pt.h + ScrollH(cl)));
          SetControlReference(cl->hCtrl, reinterpret_cast<long>(cl));
          ShowControl(cl->hCtrl);
          TrackControl(cl->hCtrl, pt, cl->divProc);
          HideControl(cl->hCtrl);
        }
        done = true;
        break;
      }
      const Rect button = ButtonBox(cl, i);
      if (!headerOnly && PtInRect(pt, &button)) {
        const bool wasSorted = i == cl->curSortPart;
        cl->part = SInt16(i);
        SetControlMinimum(cl->hCtrl, 0);
        SetControlMaximum(cl->hCtrl, SInt16(i));
        SetControlValue(cl->hCtrl, SInt16(i));
        SetControlReference(cl->hCtrl, reinterpret_cast<long>(cl));
        ShowControl(cl->hCtrl);
        TrackControl(cl->hCtrl, pt, cl->btnProc);
        HideControl(cl->hCtrl);
        if (cl->part != -1) {
          if (sortPart) *sortPart = SInt16(i);
          CLSort(cl, SInt16(i), wasSorted ? 1 : 0);
          CLUpdate(cl, nullptr, 0);
        }
        cl->part = -1;
        CLUpdateHeader(cl);
        done = true;
      }
    }
  }

  // 6. and 7. The body.
  if (!done) {
    if (headerOnly) {
      result = dbl;
    } else if (rowHit) {
      if (selected && !command) {
        result = dbl;
      } else {
        tb::OwnedRgn rgn;
        if (cl->bMultiSel && shift) {
          CLClearSelect(cl, rgn);
          const int a = AnchorRow(cl);
          for (int r = std::min<int>(a, hit.v); r <= std::max<int>(a, hit.v); ++r) SelectRow(cl, r, rgn);
        } else if (cl->bMultiSel && command) {
          const Cell p{SInt16(hit.v + RowShift(cl)), 0};
          LSetSelect(!selected, p, cl->hList);
          Rect r;
          GetCellRect(cl, hit, &r);
          r.bottom = SInt16(r.bottom + 2 * RowHeight(cl));
          AddRect(rgn, r);
        } else {
          CLClearSelect(cl, rgn);
          SelectRow(cl, hit.v, rgn);
        }
        if (IsNeedScroll(cl, hit)) {
          SetControlValue(cl->vScroll, SInt16(ScrollV(cl) + 1));
          const Rect whole = ViewRect(cl);
          RectRgn(rgn, &whole);
        }
        CLUpdate(cl, rgn, 0);
        result = dbl;
      }
    } else {
      tb::OwnedRgn rgn;
      CLClearSelect(cl, rgn);
      CLUpdate(cl, rgn, 0);
      result = false;
    }
  }

  // 8. Remember this click.
  oldWPtr = window;
  oldTime = dbl ? 0 : evt->when;  // a double-click does not start another
  oldLocalPt = evt->where;
  if (rowHit && !(cl->bMultiSel && shift)) SetLastClick(cl, hit);
  if (cell) *cell = rowHit ? hit : Cell{0, 0};
  return result;
}

Boolean CLKeyDown(CLIST_DATA* clData, const EventRecord* evt, SInt16 charCode) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || !cl->vScroll || !cl->hScroll || !evt) return false;
  const UInt8 ch = UInt8(charCode & 0xFF);

  // 1. Command-A selects everything in a list that allows it.
  if ((evt->modifiers & cmdKey) && (ch == 'a' || ch == 'A')) {
    if (!cl->bMultiSel) return false;
    CLAllSelect(cl);
    return true;
  }
  // 2. The keys the list takes.
  switch (ch) {
    case 'a':
    case kLeftArrowCharCode:
    case kRightArrowCharCode:
    case kUpArrowCharCode:
    case kDownArrowCharCode:
    case kPageUpCharCode:
    case kPageDownCharCode:
    case kHomeCharCode:
    case kEndCharCode:
      break;
    default:
      return false;
  }

  // 3. Where the keys start from.
  const Rect view = ViewRect(cl);
  const int h = HeaderHeight(cl), rowH = RowHeight(cl), VC = CLGetVisibleCount(cl);
  const int excess = (h - rowH + VC * rowH > view.bottom - view.top) ? 1 : 0;
  const int count = DataRows(cl);
  Cell first{0, 0};
  const bool anySelected = CLGetSelect(cl, &first, true);
  if (anySelected && ch == kUpArrowCharCode && first.v == 0) return false;
  if (anySelected && ch == kDownArrowCharCode && first.v == count - 1) return false;
  int ref = anySelected ? first.v : AnchorRow(cl);

  tb::OwnedRgn rgn;
  // 4. Up and Down start from the last selected row.
  if (ch == kUpArrowCharCode || ch == kDownArrowCharCode) {
    int last = -1;
    Cell c{0, 0};
    while (CLGetSelect(cl, &c, true)) {
      last = c.v;
      c.v = SInt16(c.v + 1);
    }
    CLClearSelect(cl, rgn);
    ref = last >= 0 ? last : AnchorRow(cl);
  }

  // 5. The key.
  Boolean result = true;
  bool whole = false;
  int r = ref;
  const int V = ScrollV(cl), H = ScrollH(cl);
  const int k = HeaderShown(cl) ? 2 : 1;
  switch (ch) {
    case kHomeCharCode:
      CLSetScrollValue(cl, SInt16(H), 0);
      whole = true;
      break;
    case kEndCharCode:
      CLSetScrollValue(cl, SInt16(H), SInt16(std::min(count, 32767)));
      whole = true;
      break;
    case kPageUpCharCode:
      if (V <= GetControlMinimum(cl->vScroll)) {
        return false;
      }
      CLSetScrollValue(cl, SInt16(H), SInt16(V - VC + k));
      whole = true;
      break;
    case kPageDownCharCode:
      if (V >= GetControlMaximum(cl->vScroll)) {
        return false;
      }
      CLSetScrollValue(cl, SInt16(H), SInt16(V + VC - k));
      whole = true;
      break;
    case kLeftArrowCharCode:
      DragScrollProc(cl->hScroll, kControlUpButtonPart);
      break;
    case kRightArrowCharCode:
      DragScrollProc(cl->hScroll, kControlDownButtonPart);
      break;
    case kUpArrowCharCode:
      r = ref - 1;
      if (r < 0) {
        r = 0;
        result = false;
      }
      break;
    case kDownArrowCharCode:
      if (ref == 0 && GetListClickTime(cl->hList) == 0)
        r = 0;
      else
        r = ref + 1;
      if (r > count - 1) {
        r = count - 1;
        result = false;
      }
      break;
    default:
      break;
  }
  if ((ch == kUpArrowCharCode || ch == kDownArrowCharCode) && r >= 0) {
    SelectRow(cl, r, nullptr);
    SetLastClick(cl, Cell{SInt16(r), 0});
  }

  // 6. The row the key went to comes into view.
  if ((ch == kUpArrowCharCode || ch == kDownArrowCharCode || ch == 'a') && r >= 0) {
    const int v = ScrollV(cl);
    bool inView = true;
    int newV = v;
    if (r < v) {
      inView = false;
      newV = r;
    } else if (HeaderShown(cl)) {
      inView = VC + v - excess > r + 1;
      if (!inView) newV = r - VC - excess + 2;
    } else {
      // With or without columns: the rows v .. v + VC - 1 show whole.
      inView = VC + v - excess > r;
      if (!inView) newV = r + excess - VC + 1;
    }
    if (inView) {
      Rect rr;
      GetCellRect(cl, Cell{SInt16(r), 0}, &rr);
      AddRect(rgn, rr);
    } else {
      CLSetScrollValue(cl, SInt16(ScrollH(cl)), SInt16(std::clamp(newV, -32768, 32767)));
      whole = true;
    }
  }

  // 7. Redraw.
  if (whole) {
    CLUpdate(cl, nullptr, 0);
  } else if (ch != kLeftArrowCharCode && ch != kRightArrowCharCode) {
    CLUpdate(cl, rgn, 0);
  }
  return result;
}

// List Manager: cells of bytes kept back to back in one handle, with a
// selection flag per cell, drawn through the list's definition (the
// standard text one, or a program's own).
#include "toolbox/lists.h"

#include <algorithm>
#include <set>
#include <vector>

#include "drawntext_internal.h"
#include "toolbox/carbonevents.h"
#include "toolbox/clock.h"
#include "toolbox/fonts.h"
#include "toolbox/memory.h"

struct ListRec {
  Rect view{};
  CGrafPtr port = nullptr;
  WindowRef window = nullptr;
  Point indent{};
  Point cellSize{};
  Point visibleTopLeft{};  // first row (v) and column (h) shown
  ControlRef vScroll = nullptr;
  ControlRef hScroll = nullptr;
  SInt8 selFlags = 0;
  Boolean active = true;
  UInt32 listFlags = lDoVAutoscroll;
  SInt32 clikTime = 0;
  Point clikLoc{};
  Cell lastClick{-1, -1};
  ListSRefCon refCon = 0;
  int rows = 0;
  int cols = 0;
  Handle cells = nullptr;            // every cell's data, row by row
  std::vector<SInt32> offsets;       // rows * cols + 1 start offsets
  std::vector<UInt8> selected;       // rows * cols flags
  bool drawing = true;
  bool standard = true;              // the standard text definition
  ListDefUPP def = nullptr;
  EventHandlerRef wheel = nullptr;  // on the window, while the list has bars
};

namespace {

std::set<ListRec*>& liveLists() {
  // Never destroyed, for the windows disposed at exit (see dialogs.cpp).
  static auto& s = *new std::set<ListRec*>;
  return s;
}
bool live(ListHandle l) { return l && liveLists().count(l); }

bool inList(const ListRec* l, Cell c) { return c.h >= 0 && c.v >= 0 && c.h < l->cols && c.v < l->rows; }
int indexOf(const ListRec* l, Cell c) { return c.v * l->cols + c.h; }

int viewWidth(const ListRec* l) { return std::max(0, l->view.right - l->view.left); }
int viewHeight(const ListRec* l) { return std::max(0, l->view.bottom - l->view.top); }
// Rows and columns that show at least in part.
int shownRows(const ListRec* l) {
  return l->cellSize.v > 0 ? (viewHeight(l) + l->cellSize.v - 1) / l->cellSize.v : 0;
}
int shownCols(const ListRec* l) {
  return l->cellSize.h > 0 ? (viewWidth(l) + l->cellSize.h - 1) / l->cellSize.h : 0;
}
// The largest first row (column) that still fills the view.
int maxTopRow(const ListRec* l) {
  const int whole = l->cellSize.v > 0 ? viewHeight(l) / l->cellSize.v : 0;
  return std::max(0, l->rows - std::max(1, whole));
}
int maxLeftCol(const ListRec* l) {
  const int whole = l->cellSize.h > 0 ? viewWidth(l) / l->cellSize.h : 0;
  return std::max(0, l->cols - std::max(1, whole));
}

bool canDraw(const ListRec* l) {
  return l->drawing && l->window && IsValidPort(l->port) && IsWindowVisible(l->window);
}

Rect cellRect(const ListRec* l, Cell c) {
  Rect r;
  r.left = SInt16(l->view.left + (c.h - l->visibleTopLeft.h) * l->cellSize.h);
  r.top = SInt16(l->view.top + (c.v - l->visibleTopLeft.v) * l->cellSize.v);
  r.right = SInt16(r.left + l->cellSize.h);
  r.bottom = SInt16(r.top + l->cellSize.v);
  return r;
}

// The standard definition: the cell's bytes as text in the port's font,
// the selected cells in the highlight colour.
void standardDraw(ListRec* l, Cell c, const Rect& r, bool selected) {
  const RGBColor hilite{0x3A3A, 0x6E6E, 0xC8C8};
  const RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
  RGBColor fore, back;
  GetForeColor(&fore);
  GetBackColor(&back);
  if (selected) {
    RGBForeColor(&hilite);
    PaintRect(&r);
    RGBForeColor(&white);
  } else {
    EraseRect(&r);
  }
  const int i = indexOf(l, c);
  const SInt32 off = l->offsets[i];
  const SInt32 len = l->offsets[i + 1] - off;
  if (len > 0) {
    FontInfo fi;
    GetFontInfo(&fi);
    MoveTo(SInt16(r.left + l->indent.h), SInt16(r.top + (l->cellSize.v + fi.ascent - fi.descent) / 2));
    tb::DrawnTextScope tag(tb::TextSource::kListCell, &r);
    DrawText(*l->cells + off, 0, SInt16(std::min<SInt32>(len, 32767)));
  }
  RGBForeColor(&fore);
  RGBBackColor(&back);
}

// Runs body with the list's port current and drawing clipped to the view.
template <typename F>
void inView(ListRec* l, F body) {
  tb::PortSaver saved(l->port);
  tb::OwnedRgn oldClip;
  GetClip(oldClip);
  tb::OwnedRgn clip;
  RectRgn(clip, &l->view);
  SectRgn(clip, oldClip, clip);
  SetClip(clip);
  body();
  SetClip(oldClip);
}

void drawOne(ListRec* l, Cell c) {
  const Rect r = cellRect(l, c);
  const bool sel = l->selected[indexOf(l, c)] != 0;
  if (l->standard) {
    standardDraw(l, c, r, sel);
  } else if (l->def) {
    Rect copy = r;
    const SInt32 off = l->offsets[indexOf(l, c)];
    const SInt32 len = l->offsets[indexOf(l, c) + 1] - off;
    l->def(lDrawMsg, sel, &copy, c, SInt16(std::min<SInt32>(off, 32767)), SInt16(std::min<SInt32>(len, 32767)), l);
  }
}

// Draws what of the view meets the region (the whole view for null).
void drawView(ListRec* l, RgnHandle rgn) {
  if (!canDraw(l)) return;
  inView(l, [&] {
    const int top = l->visibleTopLeft.v, left = l->visibleTopLeft.h;
    for (int v = top; v < std::min(l->rows, top + shownRows(l)); ++v)
      for (int h = left; h < std::min(l->cols, left + shownCols(l)); ++h) {
        const Cell c{SInt16(v), SInt16(h)};
        const Rect r = cellRect(l, c);
        if (!rgn || RectInRgn(&r, rgn)) drawOne(l, c);
      }
    if (l->standard) {
      // The part of the view below and right of the last cells.
      const int usedW = std::max(0, std::min(l->cols - left, shownCols(l))) * l->cellSize.h;
      const int usedH = std::max(0, std::min(l->rows - top, shownRows(l))) * l->cellSize.v;
      Rect right = l->view, below = l->view;
      right.left = SInt16(std::min<int>(l->view.right, l->view.left + usedW));
      below.top = SInt16(std::min<int>(l->view.bottom, l->view.top + usedH));
      if (!EmptyRect(&right) && (!rgn || RectInRgn(&right, rgn))) EraseRect(&right);
      if (!EmptyRect(&below) && (!rgn || RectInRgn(&below, rgn))) EraseRect(&below);
    }
  });
}

void drawCellIfShown(ListRec* l, Cell c) {
  if (!canDraw(l) || !inList(l, c)) return;
  if (c.v < l->visibleTopLeft.v || c.v >= l->visibleTopLeft.v + shownRows(l)) return;
  if (c.h < l->visibleTopLeft.h || c.h >= l->visibleTopLeft.h + shownCols(l)) return;
  inView(l, [&] { drawOne(l, c); });
}

void fitBars(ListRec* l) {
  if (l->vScroll) {
    SetControlMaximum(l->vScroll, SInt16(std::min(maxTopRow(l), 32767)));
    SetControlValue(l->vScroll, l->visibleTopLeft.v);
    SetControlViewSize(l->vScroll, l->cellSize.v > 0 ? viewHeight(l) / l->cellSize.v : 0);
  }
  if (l->hScroll) {
    SetControlMaximum(l->hScroll, SInt16(std::min(maxLeftCol(l), 32767)));
    SetControlValue(l->hScroll, l->visibleTopLeft.h);
    SetControlViewSize(l->hScroll, l->cellSize.h > 0 ? viewWidth(l) / l->cellSize.h : 0);
  }
}

void placeBars(ListRec* l) {
  const Rect& v = l->view;
  if (l->vScroll) {
    Rect r{SInt16(v.top - 1), v.right, SInt16(v.bottom + 1), SInt16(v.right + 16)};
    SetControlBounds(l->vScroll, &r);
  }
  if (l->hScroll) {
    Rect r{v.bottom, SInt16(v.left - 1), SInt16(v.bottom + 16), SInt16(v.right + 1)};
    SetControlBounds(l->hScroll, &r);
  }
}

// Keeps the first shown row and column inside what can be scrolled to.
void clampScroll(ListRec* l) {
  l->visibleTopLeft.v = SInt16(std::clamp<int>(l->visibleTopLeft.v, 0, maxTopRow(l)));
  l->visibleTopLeft.h = SInt16(std::clamp<int>(l->visibleTopLeft.h, 0, maxLeftCol(l)));
}

void afterShapeChange(ListRec* l) {
  clampScroll(l);
  fitBars(l);
  drawView(l, nullptr);
}

void scrollTo(ListRec* l, int row, int col) {
  const Point before = l->visibleTopLeft;
  l->visibleTopLeft.v = SInt16(std::clamp(row, 0, maxTopRow(l)));
  l->visibleTopLeft.h = SInt16(std::clamp(col, 0, maxLeftCol(l)));
  fitBars(l);
  if (before.v != l->visibleTopLeft.v || before.h != l->visibleTopLeft.h) drawView(l, nullptr);
}

// The scroll bars' action: arrows move one cell, page areas a view less
// one cell.
void barAction(ControlRef bar, ControlPartCode part) {
  ListRec* l = nullptr;
  for (ListRec* each : liveLists())
    if (bar && (each->vScroll == bar || each->hScroll == bar)) l = each;
  if (!l) return;
  const bool vertical = bar == l->vScroll;
  const int page = std::max(1, (vertical ? (l->cellSize.v > 0 ? viewHeight(l) / l->cellSize.v : 1)
                                         : (l->cellSize.h > 0 ? viewWidth(l) / l->cellSize.h : 1)) - 1);
  int step = 0;
  switch (part) {
    case kControlUpButtonPart: step = -1; break;
    case kControlDownButtonPart: step = 1; break;
    case kControlPageUpPart: step = -page; break;
    case kControlPageDownPart: step = page; break;
    default: return;
  }
  if (vertical)
    scrollTo(l, l->visibleTopLeft.v + step, l->visibleTopLeft.h);
  else
    scrollTo(l, l->visibleTopLeft.v, l->visibleTopLeft.h + step);
}

// The wheel over the list or its bars scrolls it as the arrows would.
OSStatus wheelOverList(EventHandlerCallRef, EventRef e, void* data) {
  auto* l = static_cast<ListRec*>(data);
  if (!live(l) || !l->window) return eventNotHandledErr;
  Rect area = l->view;
  for (ControlRef bar : {l->vScroll, l->hScroll}) {
    Rect b;
    if (bar && IsControlVisible(bar)) UnionRect(&area, GetControlBounds(bar, &b), &area);
  }
  int lines = 0;
  bool horizontal = false;
  if (!tb::WheelOverArea(e, l->window, area, &lines, &horizontal)) return eventNotHandledErr;
  tb::ScrollBarByLines(horizontal ? l->hScroll : l->vScroll, lines, barAction);
  return noErr;
}

void replaceData(ListRec* l, int index, const void* data, SInt32 len) {
  const SInt32 start = l->offsets[index];
  const SInt32 oldLen = l->offsets[index + 1] - start;
  const SInt32 total = l->offsets.back();
  const SInt32 delta = len - oldLen;
  if (delta > 0) {
    SetHandleSize(l->cells, total + delta);
    if (MemError() != noErr) return;
  }
  char* base = *l->cells;
  if (delta != 0) std::memmove(base + start + len, base + start + oldLen, std::size_t(total - start - oldLen));
  if (len > 0) std::memcpy(base + start, data, std::size_t(len));
  if (delta < 0) SetHandleSize(l->cells, total + delta);
  if (delta != 0)
    for (std::size_t k = std::size_t(index) + 1; k < l->offsets.size(); ++k) l->offsets[k] += delta;
}

// A window going away takes its controls and port with it: its lists stop
// drawing and forget them.
void forgetWindow(WindowRef w) {
  for (ListRec* l : liveLists())
    if (l->window == w) {
      l->window = nullptr;
      l->port = nullptr;
      l->vScroll = nullptr;
      l->hScroll = nullptr;
      l->wheel = nullptr;  // went with the window's handlers
    }
}

ListHandle makeList(const Rect* rView, const ListBounds* dataBounds, Point cSize, WindowRef w, Boolean drawIt,
                    Boolean scrollHoriz, Boolean scrollVert, bool standard, ListDefUPP def) {
  if (!rView || !w || !GetWindowPort(w)) return nullptr;
  static const bool hooked = (tb::AddWindowDisposeHook(&forgetWindow), true);
  (void)hooked;
  auto* l = new ListRec;
  l->view = *rView;
  l->window = w;
  l->port = GetWindowPort(w);
  l->standard = standard;
  l->def = def;
  l->drawing = drawIt != 0;
  if (!l->drawing) l->listFlags |= lDrawingModeOff;
  l->rows = dataBounds ? std::max(0, dataBounds->bottom - dataBounds->top) : 0;
  l->cols = dataBounds ? std::max(0, dataBounds->right - dataBounds->left) : 0;
  l->cells = NewHandle(0);
  l->offsets.assign(std::size_t(l->rows * l->cols + 1), 0);
  l->selected.assign(std::size_t(l->rows * l->cols), 0);
  FontInfo fi{};
  {
    tb::PortSaver saved(l->port);
    GetFontInfo(&fi);
  }
  l->cellSize.h = cSize.h > 0 ? cSize.h : SInt16(l->cols > 0 ? viewWidth(l) / l->cols : viewWidth(l));
  l->cellSize.v = cSize.v > 0 ? cSize.v : SInt16(std::max(1, fi.ascent + fi.descent + fi.leading));
  l->indent = Point{fi.ascent, 5};
  liveLists().insert(l);
  const Rect nowhere{0, 0, 0, 0};
  if (scrollVert) {
    l->vScroll = NewControl(w, &nowhere, reinterpret_cast<const unsigned char*>("\0"), false, 0, 0, 0,
                            scrollBarProc, 0);
  }
  if (scrollHoriz) {
    l->hScroll = NewControl(w, &nowhere, reinterpret_cast<const unsigned char*>("\0"), false, 0, 0, 0,
                            scrollBarProc, 0);
  }
  placeBars(l);
  fitBars(l);
  if (l->vScroll) SetControlVisibility(l->vScroll, true, false);
  if (l->hScroll) SetControlVisibility(l->hScroll, true, false);
  if (l->vScroll || l->hScroll) {
    static const EventTypeSpec kWheel{kEventClassMouse, kEventMouseWheelMoved};
    InstallWindowEventHandler(w, wheelOverList, 1, &kWheel, l, &l->wheel);
  }
  if (l->def) {
    Rect none{};
    l->def(lInitMsg, false, &none, Cell{0, 0}, 0, 0, l);
  }
  return l;
}

}  // namespace

ListHandle LNew(const Rect* rView, const ListBounds* dataBounds, Point cSize, SInt16, WindowRef theWindow,
                Boolean drawIt, Boolean, Boolean scrollHoriz, Boolean scrollVert) {
  return makeList(rView, dataBounds, cSize, theWindow, drawIt, scrollHoriz, scrollVert, true, nullptr);
}

OSStatus CreateCustomList(const Rect* rView, const ListBounds* dataBounds, Point cellSize, const ListDefSpec* theSpec,
                          WindowRef theWindow, Boolean drawIt, Boolean, Boolean scrollHoriz, Boolean scrollVert,
                          ListHandle* outList) {
  if (!outList) return paramErr;
  *outList = nullptr;
  const bool standard = !theSpec || theSpec->defType == kListDefStandardTextType;
  ListHandle l = makeList(rView, dataBounds, cellSize, theWindow, drawIt, scrollHoriz, scrollVert, standard,
                          standard ? nullptr : theSpec->u.userProc);
  if (!l) return paramErr;
  *outList = l;
  return noErr;
}

void LDispose(ListHandle l) {
  if (!live(l)) return;
  if (l->def) {
    Rect none{};
    l->def(lCloseMsg, false, &none, Cell{0, 0}, 0, 0, l);
  }
  liveLists().erase(l);
  if (l->wheel) RemoveEventHandler(l->wheel);
  DisposeControl(l->vScroll);
  DisposeControl(l->hScroll);
  DisposeHandle(l->cells);
  delete l;
}

SInt16 LAddRow(SInt16 count, SInt16 rowNum, ListHandle l) {
  if (!live(l) || count <= 0) return 0;
  if (l->rows + count > 32767) count = SInt16(32767 - l->rows);
  if (count <= 0) return 0;
  const int at = std::clamp<int>(rowNum, 0, l->rows);
  const std::size_t pos = std::size_t(at * l->cols);
  const SInt32 start = l->offsets[pos];
  l->offsets.insert(l->offsets.begin() + std::ptrdiff_t(pos), std::size_t(count * l->cols), start);
  l->selected.insert(l->selected.begin() + std::ptrdiff_t(pos), std::size_t(count * l->cols), 0);
  l->rows += count;
  if (l->lastClick.v >= at) l->lastClick.v = SInt16(l->lastClick.v + count);
  afterShapeChange(l);
  return SInt16(at);
}

void LDelRow(SInt16 count, SInt16 rowNum, ListHandle l) {
  if (!live(l)) return;
  int from = rowNum, n = count;
  if (count == 0) {
    from = 0;
    n = l->rows;
  }
  if (from < 0 || from >= l->rows || n <= 0) return;
  n = std::min(n, l->rows - from);
  const std::size_t a = std::size_t(from * l->cols), b = std::size_t((from + n) * l->cols);
  const SInt32 start = l->offsets[a], end = l->offsets[b];
  const SInt32 total = l->offsets.back();
  if (end > start) {
    std::memmove(*l->cells + start, *l->cells + end, std::size_t(total - end));
    SetHandleSize(l->cells, total - (end - start));
  }
  l->offsets.erase(l->offsets.begin() + std::ptrdiff_t(a), l->offsets.begin() + std::ptrdiff_t(b));
  for (std::size_t k = a; k < l->offsets.size(); ++k) l->offsets[k] -= end - start;
  l->selected.erase(l->selected.begin() + std::ptrdiff_t(a), l->selected.begin() + std::ptrdiff_t(b));
  l->rows -= n;
  if (l->lastClick.v >= from + n)
    l->lastClick.v = SInt16(l->lastClick.v - n);
  else if (l->lastClick.v >= from)
    l->lastClick = Cell{-1, -1};
  afterShapeChange(l);
}

void LSetCell(const void* dataPtr, SInt16 dataLen, Cell theCell, ListHandle l) {
  if (!live(l) || !inList(l, theCell)) return;
  const SInt32 len = dataPtr ? std::max<SInt16>(dataLen, 0) : 0;
  replaceData(l, indexOf(l, theCell), dataPtr, len);
  drawCellIfShown(l, theCell);
}

void LGetCell(void* dataPtr, SInt16* dataLen, Cell theCell, ListHandle l) {
  if (!dataLen) return;
  if (!live(l) || !inList(l, theCell) || !dataPtr || *dataLen <= 0) {
    *dataLen = 0;
    return;
  }
  const int i = indexOf(l, theCell);
  const SInt32 len = std::min<SInt32>(l->offsets[i + 1] - l->offsets[i], *dataLen);
  if (len > 0) std::memcpy(dataPtr, *l->cells + l->offsets[i], std::size_t(len));
  *dataLen = SInt16(len);
}

void LSetSelect(Boolean setIt, Cell theCell, ListHandle l) {
  if (!live(l) || !inList(l, theCell)) return;
  UInt8& flag = l->selected[indexOf(l, theCell)];
  if (flag == (setIt ? 1 : 0)) return;
  if (setIt && (l->selFlags & lOnlyOne)) {
    for (int k = 0; k < l->rows * l->cols; ++k)
      if (l->selected[k]) {
        l->selected[k] = 0;
        drawCellIfShown(l, Cell{SInt16(k / l->cols), SInt16(k % l->cols)});
      }
  }
  flag = setIt ? 1 : 0;
  drawCellIfShown(l, theCell);
}

Boolean LGetSelect(Boolean next, Cell* theCell, ListHandle l) {
  if (!theCell || !live(l)) return false;
  if (!next) return inList(l, *theCell) && l->selected[indexOf(l, *theCell)];
  if (theCell->v < 0 || theCell->h < 0) *theCell = Cell{std::max<SInt16>(theCell->v, 0), 0};
  for (int k = theCell->v * l->cols + std::min<int>(theCell->h, l->cols); k < l->rows * l->cols; ++k)
    if (l->selected[k]) {
      *theCell = Cell{SInt16(k / l->cols), SInt16(k % l->cols)};
      return true;
    }
  return false;
}

Cell LLastClick(ListHandle l) { return live(l) ? l->lastClick : Cell{-1, -1}; }

void LSetDrawingMode(Boolean drawIt, ListHandle l) {
  if (!live(l)) return;
  l->drawing = drawIt != 0;
  if (l->drawing)
    l->listFlags &= ~UInt32(lDrawingModeOff);
  else
    l->listFlags |= lDrawingModeOff;
}

void LDraw(Cell theCell, ListHandle l) {
  if (live(l)) drawCellIfShown(l, theCell);
}

void LUpdate(RgnHandle theRgn, ListHandle l) {
  if (!live(l)) return;
  drawView(l, theRgn);
  if (canDraw(l)) {
    if (l->vScroll) Draw1Control(l->vScroll);
    if (l->hScroll) Draw1Control(l->hScroll);
  }
}

void LActivate(Boolean act, ListHandle l) {
  if (!live(l)) return;
  l->active = act != 0;
  const ControlPartCode hilite = act ? 0 : kControlInactivePart;
  if (l->vScroll) HiliteControl(l->vScroll, hilite);
  if (l->hScroll) HiliteControl(l->hScroll, hilite);
}

void LScroll(SInt16 dCols, SInt16 dRows, ListHandle l) {
  if (live(l)) scrollTo(l, l->visibleTopLeft.v + dRows, l->visibleTopLeft.h + dCols);
}

void LRect(Rect* cellRect_, Cell theCell, ListHandle l) {
  if (!cellRect_) return;
  if (!live(l) || !inList(l, theCell)) {
    *cellRect_ = Rect{0, 0, 0, 0};
    return;
  }
  *cellRect_ = cellRect(l, theCell);
}

void LCellSize(Point cSize, ListHandle l) {
  if (!live(l)) return;
  l->cellSize.h = std::max<SInt16>(cSize.h, 0);
  l->cellSize.v = std::max<SInt16>(cSize.v, 0);
  afterShapeChange(l);
}

void LSize(SInt16 listWidth, SInt16 listHeight, ListHandle l) {
  if (!live(l)) return;
  l->view.right = SInt16(l->view.left + std::max<SInt16>(listWidth, 0));
  l->view.bottom = SInt16(l->view.top + std::max<SInt16>(listHeight, 0));
  placeBars(l);
  afterShapeChange(l);
}

Boolean LClick(Point pt, EventModifiers modifiers, ListHandle l) {
  if (!live(l)) return false;
  tb::PortSaver saved(l->port);
  for (ControlRef bar : {l->vScroll, l->hScroll}) {
    if (!bar) continue;
    const ControlPartCode part = TestControl(bar, pt);
    if (part == kControlNoPart) continue;
    if (part == kControlIndicatorPart) {
      TrackControl(bar, pt, nullptr);
      if (bar == l->vScroll)
        scrollTo(l, GetControlValue(bar), l->visibleTopLeft.h);
      else
        scrollTo(l, l->visibleTopLeft.v, GetControlValue(bar));
    } else {
      TrackControl(bar, pt, barAction);
    }
    return false;
  }
  if (!PtInRect(pt, &l->view) || l->cellSize.h <= 0 || l->cellSize.v <= 0) {
    return false;
  }
  auto cellAt = [&](Point p) {
    return Cell{SInt16((p.v - l->view.top) / l->cellSize.v + l->visibleTopLeft.v),
                SInt16((p.h - l->view.left) / l->cellSize.h + l->visibleTopLeft.h)};
  };
  const Cell hit = cellAt(pt);
  const UInt32 now = TickCount();
  const bool dbl = inList(l, hit) && hit.v == l->lastClick.v && hit.h == l->lastClick.h &&
                   now - UInt32(l->clikTime) <= GetDblTime();
  const bool onlyOne = (l->selFlags & lOnlyOne) != 0;
  const bool extend = (modifiers & shiftKey) && !onlyOne && !(l->selFlags & lNoExtend) && inList(l, l->lastClick);
  const bool toggle = (modifiers & cmdKey) && !onlyOne;
  auto clearAll = [&] {
    for (int k = 0; k < l->rows * l->cols; ++k)
      if (l->selected[k]) LSetSelect(false, Cell{SInt16(k / l->cols), SInt16(k % l->cols)}, l);
  };
  Cell clicked = hit;
  if (!inList(l, hit)) {
    if (!extend && !toggle && !(l->selFlags & lNoNilHilite)) clearAll();
  } else if (toggle) {
    LSetSelect(!l->selected[indexOf(l, hit)], hit, l);
  } else if (extend) {
    const Cell a = l->lastClick;
    for (int v = std::min(a.v, hit.v); v <= std::max(a.v, hit.v); ++v)
      for (int h = std::min(a.h, hit.h); h <= std::max(a.h, hit.h); ++h) LSetSelect(true, Cell{SInt16(v), SInt16(h)}, l);
  } else {
    // A plain press selects the cell under the mouse while the button is
    // held.
    Cell current = hit;
    clearAll();
    LSetSelect(true, current, l);
    auto follow = [&] {
      Point p;
      GetMouse(&p);
      if (!PtInRect(p, &l->view)) return;
      const Cell c = cellAt(p);
      if (!inList(l, c) || (c.v == current.v && c.h == current.h)) return;
      LSetSelect(false, current, l);
      current = c;
      LSetSelect(true, current, l);
    };
    while (StillDown()) follow();
    WaitMouseUp();
    follow();  // where the button was let go
    clicked = current;
  }
  if (inList(l, clicked) && !extend) l->lastClick = clicked;
  l->clikTime = dbl ? 0 : SInt32(now);
  l->clikLoc = pt;
  return dbl;
}

Rect* GetListViewBounds(ListHandle l, Rect* view) {
  if (view) *view = live(l) ? l->view : Rect{0, 0, 0, 0};
  return view;
}
void SetListViewBounds(ListHandle l, const Rect* view) {
  if (!live(l) || !view) return;
  l->view = *view;
  placeBars(l);
  clampScroll(l);
  fitBars(l);
}
CGrafPtr GetListPort(ListHandle l) { return live(l) ? l->port : nullptr; }
void SetListPort(ListHandle l, CGrafPtr port) {
  if (live(l)) l->port = port;
}
Point* GetListCellSize(ListHandle l, Point* size) {
  if (size) *size = live(l) ? l->cellSize : Point{0, 0};
  return size;
}
ListBounds* GetListVisibleCells(ListHandle l, ListBounds* visible) {
  if (!visible) return visible;
  if (!live(l)) {
    *visible = Rect{0, 0, 0, 0};
    return visible;
  }
  visible->top = l->visibleTopLeft.v;
  visible->left = l->visibleTopLeft.h;
  visible->bottom = SInt16(std::min(l->rows, l->visibleTopLeft.v + shownRows(l)));
  visible->right = SInt16(std::min(l->cols, l->visibleTopLeft.h + shownCols(l)));
  return visible;
}
ListBounds* GetListDataBounds(ListHandle l, ListBounds* bounds) {
  if (bounds) *bounds = live(l) ? Rect{0, 0, SInt16(l->rows), SInt16(l->cols)} : Rect{0, 0, 0, 0};
  return bounds;
}
DataHandle GetListDataHandle(ListHandle l) { return live(l) ? l->cells : nullptr; }
ControlRef GetListVerticalScrollBar(ListHandle l) { return live(l) ? l->vScroll : nullptr; }
ControlRef GetListHorizontalScrollBar(ListHandle l) { return live(l) ? l->hScroll : nullptr; }
Boolean GetListActive(ListHandle l) { return live(l) && l->active; }
SInt32 GetListClickTime(ListHandle l) { return live(l) ? l->clikTime : 0; }
void SetListClickTime(ListHandle l, SInt32 time) {
  if (live(l)) l->clikTime = time;
}
Point* GetListClickLocation(ListHandle l, Point* click) {
  if (click) *click = live(l) ? l->clikLoc : Point{0, 0};
  return click;
}
void SetListLastClick(ListHandle l, Cell* lastClick) {
  if (live(l) && lastClick) l->lastClick = *lastClick;
}
ListSRefCon GetListRefCon(ListHandle l) { return live(l) ? l->refCon : 0; }
void SetListRefCon(ListHandle l, ListSRefCon refCon) {
  if (live(l)) l->refCon = refCon;
}
UInt32 GetListFlags(ListHandle l) { return live(l) ? l->listFlags : 0; }
void SetListFlags(ListHandle l, UInt32 listFlags) {
  if (!live(l)) return;
  // The drawing mode is LSetDrawingMode's to change.
  l->listFlags = (listFlags & ~UInt32(lDrawingModeOff)) | (l->listFlags & lDrawingModeOff);
}
SInt8 GetListSelectionFlags(ListHandle l) { return live(l) ? l->selFlags : 0; }
void SetListSelectionFlags(ListHandle l, SInt8 selectionFlags) {
  if (live(l)) l->selFlags = selectionFlags;
}

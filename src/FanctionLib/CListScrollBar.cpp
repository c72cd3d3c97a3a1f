// The list control's scroll bars: their ranges, layout and visibility
// from the content, and clicks on them. Programs whose scroll bars behave
// differently bring their own versions of these two operations and leave
// this module out.
#include "FanctionLib/CListPriv.h"

using namespace clist;

namespace {

// Keeps CLAdjustScrollBar from resizing from inside its own resize.
Boolean bRecursive = 1;

// The view is the list's rectangle less the bars that show.
bool ViewMissesTheBars(const CLIST_DATA* cl) {
  const Rect view = ViewRect(cl);
  return view.right != cl->rect.right - (BarVisible(cl->vScroll) ? kBar : 0) ||
         view.bottom != cl->rect.bottom - (BarVisible(cl->hScroll) ? kBar : 0);
}

// The last value the thumb's tracking drew.
SInt16 gThumbDrawn = 0;
void LiveThumb(ControlRef bar, ControlPartCode) {
  CLIST_DATA* cl = OwnerOf(bar);
  if (!HasList(cl) || GetControlValue(bar) == gThumbDrawn) return;
  gThumbDrawn = GetControlValue(bar);
  CLUpdate(cl, nullptr, bar == cl->hScroll ? 1 : 0);
}

}  // namespace

void CLAdjustScrollBar(CLIST_DATA* clData, Boolean isDrawScrollBar) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || !cl->vScroll || !cl->hScroll) return;
  const int VC = CLGetVisibleCount(cl);
  if (VC < 0) return;
  const int n = VC + (NoHeaderColumns(cl) ? 1 : 0);
  const int rows = PlatformRows(cl);
  const bool vWasShown = BarVisible(cl->vScroll), hWasShown = BarVisible(cl->hScroll);

  const bool vNeeded = n < rows;
  if (!vNeeded) {
    HiliteControl(cl->vScroll, kControlInactivePart);
    SetControlMaximum(cl->vScroll, 0);
  } else {
    if (cl->bEnableVScroll) HiliteControl(cl->vScroll, 0);
    SetControlMaximum(cl->vScroll, SInt16(std::min(rows - n, 32767)));
  }
  int vNeed = vNeeded ? 1 : 2;
  if (cl->bAlwaysShowScroll) vNeed = 0;

  int contentW = 0;
  if (cl->flag) {
    contentW = ContentWidth(cl);
  } else {
    for (int p = 0; p < rows; ++p) {
      CCELL_DATA rec;
      if (!GetRecord(cl, p, &rec)) continue;
      int w = MeasuredWidth(cl, CellText(rec, 0), rec.font ? rec.font[0] : cl->defFont) + 10;
      if (rec.icon.type != kCLIconNone) w += rec.icon.width;
      contentW = std::max(contentW, w);
    }
  }
  if (vNeeded || cl->bAlwaysShowScroll) contentW += kBar;

  const int cellW = CellWidth(cl);
  const bool hNeeded = contentW > cellW;
  if (!hNeeded) {
    HiliteControl(cl->hScroll, kControlInactivePart);
    SetControlMaximum(cl->hScroll, 0);
  } else {
    if (cl->bEnableHScroll) HiliteControl(cl->hScroll, 0);
    SetControlMaximum(cl->hScroll, SInt16(std::min(contentW - cellW, 32767)));
  }
  int hNeed = hNeeded ? 0x10 : 0x20;
  if (cl->bAlwaysShowScroll) hNeed = 0;

  if (!cl->bAlwaysShowScroll) {
    SetScrollShape(cl, SInt16(hNeed + vNeed));
  } else {
    Rect hR, vR;
    GetScrollRect(cl, 0, &hR, &vR);
    if (GetControlMaximum(cl->hScroll) == 0) hR.bottom = SInt16(hR.bottom - 1);
    SetControlBounds(cl->hScroll, &hR);
    SetControlBounds(cl->vScroll, &vR);
  }
  if (cl->bShow && isDrawScrollBar) {
    Draw1Control(cl->vScroll);
    Draw1Control(cl->hScroll);
  }
  CSetControlViewSize(cl);

  // A bar that came or went changes the view: lay the list out again, until
  // the view leaves room for just the bars shown (the new view can make a
  // bar unneeded again: a wider cell needs no horizontal bar).
  if (!cl->bAlwaysShowScroll && bRecursive && cl->bShow) {
    bool changed = vWasShown != vNeeded || hWasShown != hNeeded;
    for (int pass = 0; pass < 3 && (changed || ViewMissesTheBars(cl)); ++pass) {
      bRecursive = 0;
      const Rect r = cl->rect;
      CLResize(cl, &r);
      bRecursive = 1;
      changed = false;
    }
  }
}

void CLMouseDownByScrollBar(CLIST_DATA* clData, Point localPt, EventModifiers, SInt16 whichScrollBar) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl)) return;
  ControlRef bar = cl->hScroll;
  if (whichScrollBar == 1 && !cl->bEnableHScroll) return;
  if (whichScrollBar == 0) {
    if (!cl->bEnableVScroll) return;
    bar = cl->vScroll;
  }
  const ControlPartCode part = TestControl(bar, localPt);
  if (part == kControlNoPart) return;
  if (part == kControlIndicatorPart) {
    // The list follows the thumb while it moves.
    const SInt16 before = GetControlValue(bar);
    gThumbDrawn = before;
    TrackControl(bar, localPt, LiveThumb);
    if (GetControlValue(bar) != gThumbDrawn) CLUpdate(cl, nullptr, whichScrollBar != 0);
  } else {
    TrackControl(bar, localPt, cl->scrProc);
  }
}

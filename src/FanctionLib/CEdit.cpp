// The scrolling text view: layout of the text and its two bars, tracking
// of the bars, and drawing.
#include "FanctionLib/CEdit.h"

#include <algorithm>
#include <cstring>

#include "toolbox/gestalt.h"
#include "toolbox/memory.h"

using namespace cedit;

namespace {

// Gestalt's system version from which scroll bars have no arrows.
constexpr SInt32 kArrowlessSystem = 0x106F;
// Pixels the two arrows take from a bar's track, where there are arrows.
constexpr SInt16 kArrowMargin = 33;

SInt16 Clamp16(long v) { return SInt16(std::clamp<long>(v, -32768, 32767)); }

Rect R(long left, long top, long right, long bottom) {
  return Rect{Clamp16(top), Clamp16(left), Clamp16(bottom), Clamp16(right)};
}

TERec& Te(CEDIT_DATA* ce) { return **ce->hTEdit; }
long Lines(CEDIT_DATA* ce) { return Te(ce).nLines; }
long LineHeight(CEDIT_DATA* ce) { return std::max<long>(1, Te(ce).lineHeight); }
// The laid-out height always counts one line more than the text has.
long LaidOutHeight(CEDIT_DATA* ce) { return (Lines(ce) + 1) * LineHeight(ce); }
long Width(const Rect& r) { return long(r.right) - r.left; }
long Height(const Rect& r) { return long(r.bottom) - r.top; }

bool IsVertical(ControlRef bar) {
  Str255 title;
  GetControlTitle(bar, title);
  return title[0] >= 1 && title[1] == 'v';
}

// Scrolls the text by a change of a bar's value and redraws the view.
void ScrollBy(CEDIT_DATA* ce, ControlRef bar, long oldVal, long newVal) {
  if (oldVal == newVal) return;
  if (IsVertical(bar)) {
    TEScroll(0, Clamp16(LineHeight(ce) * (oldVal - newVal)), ce->hTEdit);
  } else {
    TEScroll(Clamp16(oldVal - newVal), 0, ce->hTEdit);
  }
  CEUpdate(ce, nullptr, ce->isFrame);
}

CEDIT_DATA* OwnerOf(ControlRef bar) {
  auto* ce = reinterpret_cast<CEDIT_DATA*>(GetControlReference(bar));
  if (!ce || (ce->vScroll != bar && ce->hScroll != bar) || !ce->hTEdit) return nullptr;
  return ce;
}

// The wheel over a shown view scrolls it as its bars' arrows would.
OSStatus WheelOverView(EventHandlerCallRef, EventRef e, void* data) {
  auto* ce = static_cast<CEDIT_DATA*>(data);
  int lines = 0;
  bool horizontal = false;
  if (!ce->hTEdit || !ce->bShow || !tb::WheelOverArea(e, GetWindowFromPort(ce->parPort), ce->rect, &lines, &horizontal))
    return eventNotHandledErr;
  tb::ScrollBarByLines(horizontal ? ce->hScroll : ce->vScroll, lines, ce->scrProc);
  return noErr;
}

// A text laid out anew starts at its left edge: so does the horizontal bar.
void AtTextStart(CEDIT_DATA* ce) {
  if (ce->hScroll) SetControlValue(ce->hScroll, 0);
}

// The last steps of both layouts: the view less the bars that are needed,
// the corner between two bars cleared, the text laid out, the bars'
// ratios measured.
void FinishLayout(CEDIT_DATA* ce, bool vNeeded, bool hNeeded) {
  Rect view = ce->rect;
  if (vNeeded) view.right = SInt16(view.right - kCEBarWidth);
  if (hNeeded) view.bottom = SInt16(view.bottom - kCEBarWidth);
  Te(ce).viewRect = view;
  if (vNeeded && hNeeded) {
    const Rect corner{SInt16(ce->rect.bottom - kCEBarWidth), SInt16(ce->rect.right - kCEBarWidth), ce->rect.bottom,
                      ce->rect.right};
    CTEClear(ce, &corner);
  }
  TECalText(ce->hTEdit);
  CCalcScrollIndicatorRect(ce);
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation and disposal

CEDIT_DATA* CENew(WindowRef dlg, const Rect* iRect, const Rect* vRect, const Rect* dRect, Boolean isHScroll,
                  Boolean isVScroll, Boolean isFrame) {
  auto* ce = reinterpret_cast<CEDIT_DATA*>(NewPtrClear(sizeof(CEDIT_DATA)));
  if (!ce) return nullptr;
  if (!CECreate(ce, dlg, iRect, vRect, dRect, isHScroll, isVScroll, isFrame)) {
    DisposePtr(reinterpret_cast<Ptr>(ce));
    return nullptr;
  }
  return ce;
}

CEDIT_DATA* CECreate(CEDIT_DATA* ceData, WindowRef dlg, const Rect* iRect, const Rect*, const Rect*,
                     Boolean isHScroll, Boolean isVScroll, Boolean isFrame) {
  if (!ceData || !dlg || !iRect || !GetWindowPort(dlg)) return nullptr;
  std::memset(ceData, 0, sizeof *ceData);
  CEDIT_DATA* ce = ceData;
  CGrafPtr port = GetWindowPort(dlg);
  const Rect& in = *iRect;

  Rect text = in;
  if (isVScroll) text.right = SInt16(text.right - kCEBarWidth);
  if (isHScroll) text.bottom = SInt16(text.bottom - kCEBarWidth);
  // The text record draws in the port that is current when it is made.
  WithPort(port, [&] { ce->hTEdit = TENew(&text, &text); });
  if (!ce->hTEdit) return nullptr;

  ce->orgPort = tb::ClonePort(port);
  if (!ce->orgPort) {
    TEDispose(ce->hTEdit);
    ce->hTEdit = nullptr;
    return nullptr;
  }
  WithPort(ce->orgPort, [] {
    RGBBackColor(&rgbWhite);
    RGBForeColor(&rgbBlack);
  });

  const long self = reinterpret_cast<long>(ce);
  if (isVScroll) {
    static const unsigned char kV[2] = {1, 'v'};
    const Rect r = R(in.right - kCEBarWidth, in.top, in.right + 1, isHScroll ? in.bottom - kCEBarWidth : in.bottom);
    ce->vScroll = NewControl(dlg, &r, kV, true, 0, 0, 0, scrollBarProc, self);
    if (ce->vScroll) SetControlViewSize(ce->vScroll, Height(r));
    ce->vScrShow = 0;
  }
  if (isHScroll) {
    static const unsigned char kH[2] = {1, 'h'};
    const Rect r = R(in.left, in.bottom - kCEBarWidth, isVScroll ? in.right - kCEBarWidth : in.right, in.bottom + 1);
    ce->hScroll = NewControl(dlg, &r, kH, true, 0, 0, 0, scrollBarProc, self);
    if (ce->hScroll) SetControlViewSize(ce->hScroll, Width(r));
    ce->hScrShow = 0;
  }
  ce->isVScroll = isVScroll && ce->vScroll;
  ce->isHScroll = isHScroll && ce->hScroll;
  ce->isFrame = isFrame;
  ce->scrProc = NewControlActionUPP(DragScrollProc);
  ce->parPort = port;
  ce->rect = in;
  static const EventTypeSpec kWheel{kEventClassMouse, kEventMouseWheelMoved};
  InstallWindowEventHandler(dlg, WheelOverView, 1, &kWheel, ce, &ce->wheel);

  CEShow(ce, true);
  ce->defFont = FONT_SET{GetPortTextFont(ce->orgPort), GetPortTextFace(ce->orgPort), GetPortTextSize(ce->orgPort)};
  ce->defColor = TECOLOR_SET{rgbWhite, rgbKorvaBlue, rgbWhite, rgbBlack, rgbWhite, rgbGray};
  return ce;
}

void CEDestroy(CEDIT_DATA* ceData) {
  if (!ceData) return;
  if (ceData->wheel) RemoveEventHandler(ceData->wheel);
  ceData->wheel = nullptr;
  if (ceData->hTEdit) {
    TEDispose(ceData->hTEdit);
    ceData->hTEdit = nullptr;
    if (ceData->scrProc) DisposeControlActionUPP(ceData->scrProc);
    ceData->scrProc = ceData->divProc = ceData->btnProc = nullptr;
  }
  // The private port goes with the view rather than staying behind.
  if (ceData->orgPort) tb::DisposePort(ceData->orgPort);
  ceData->orgPort = nullptr;
}

void CEDispose(CEDIT_DATA* ceData) {
  if (!ceData) return;
  CEDestroy(ceData);
  DisposePtr(reinterpret_cast<Ptr>(ceData));
}

// ---------------------------------------------------------------------------
// Text

void CTESetText(CEDIT_DATA* ceData, const void* data, SInt32 dataSize) {
  if (!ceData || !ceData->hTEdit) return;
  CEDIT_DATA* ce = ceData;
  TESetText(data, std::max<SInt32>(0, dataSize), ce->hTEdit);
  const Rect v = ce->rect;
  const long w = CTEGetTextWidth(ce);

  const bool textWide = w > Width(v) && ce->isHScroll;
  long right = textWide ? w + v.left + 10 : v.right - 5;
  long bottom = v.bottom - 5;
  if (LaidOutHeight(ce) > Height(v) && ce->isVScroll) {
    bottom = LaidOutHeight(ce) + v.top + 5;
    if (!textWide) right = v.right - 20;
  }
  Te(ce).destRect = R(v.left + 5, v.top, right, bottom);
  Te(ce).viewRect = ce->rect;
  TECalText(ce->hTEdit);
  AtTextStart(ce);
  CTESetTextVScroll(ce);
  CTESetTextHScroll(ce);

  const Rect view = Te(ce).viewRect;
  const bool vNeeded = LaidOutHeight(ce) > Height(view) && ce->isVScroll;
  CTEResizeVScroll(ce);
  const bool hNeeded = w > Width(view) && ce->isHScroll;
  CTEResizeHScroll(ce);

  right = hNeeded ? w + v.left + 10 : vNeeded ? v.right - 20 : v.right - 5;
  Te(ce).destRect = R(v.left + 5, v.top, right, LaidOutHeight(ce) + v.top + 5);
  FinishLayout(ce, vNeeded, hNeeded);
}

void CTESetTextEx(CEDIT_DATA* ceData, const void* data, SInt32 dataSize) {
  if (!ceData || !ceData->hTEdit) return;
  CEDIT_DATA* ce = ceData;
  TESetText(data, std::max<SInt32>(0, dataSize), ce->hTEdit);
  Rect v = ce->rect;
  const long w = CTEGetTextWidth(ce);
  // The lines are counted unwrapped, not as the previous text's width
  // would wrap them.
  Te(ce).destRect = R(v.left, v.top, w + v.left + 10, v.bottom);
  TECalText(ce->hTEdit);
  AtTextStart(ce);
  const Rect dest = R(v.left, v.top, w + v.left + 10, v.top + LaidOutHeight(ce));
  Te(ce).destRect = dest;

  bool vNeeded = false, hNeeded = false;
  if (v.bottom < dest.bottom && ce->isVScroll) {
    vNeeded = true;
    v.right = SInt16(v.right - kCEBarWidth);
  }
  if (v.right < dest.right && ce->isHScroll) {
    hNeeded = true;
    v.bottom = SInt16(v.bottom - kCEBarWidth);
  }
  // The horizontal bar may have taken the room the last lines needed.
  if (!vNeeded && v.bottom < dest.bottom && ce->isVScroll) {
    vNeeded = true;
    v.right = SInt16(v.right - kCEBarWidth);
  }
  Te(ce).viewRect = v;
  TECalText(ce->hTEdit);
  CTESetTextVScroll(ce);
  CTESetTextHScroll(ce);

  const Rect view = Te(ce).viewRect;
  vNeeded = vNeeded || (LaidOutHeight(ce) > Height(view) && ce->isVScroll);
  CTEResizeVScroll(ce);
  hNeeded = hNeeded || (w > Width(view) && ce->isHScroll);
  CTEResizeHScroll(ce);
  FinishLayout(ce, vNeeded, hNeeded);
}

SInt32 CTEGetText(CEDIT_DATA* ceData, void* data, SInt32* dataLen) {
  if (!ceData) return -1;
  if (!ceData->hTEdit) return 0;
  const SInt32 length = Te(ceData).teLength;
  CharsHandle text = TEGetText(ceData->hTEdit);
  if (!dataLen) return length;
  // The caller's length is the room in its buffer: never more is written.
  const SInt32 room = data ? std::max<SInt32>(0, *dataLen) : 0;
  std::size_t n = std::size_t(std::min(room, length));
  const auto* src = text && *text ? reinterpret_cast<const unsigned char*>(*text) : nullptr;
  if (!src) n = 0;
  if (n < std::size_t(length) && src) n = tb::Utf8BoundaryPrefix(src, n);
  if (n) std::memcpy(data, src, n);
  *dataLen = SInt32(n);
  return length;
}

SInt16 CTEGetTextWidth(CEDIT_DATA* ceData) {
  if (!ceData || !ceData->hTEdit) return 0;
  CEDIT_DATA* ce = ceData;
  CharsHandle text = TEGetText(ce->hTEdit);
  const SInt32 n = Te(ce).teLength;
  if (!text || !*text || n <= 0) return 0;
  const char* t = *text;
  long widest = 0;
  WithPort(ce->orgPort ? ce->orgPort : ce->parPort, [&] {
    TextFont(Te(ce).txFont);
    TextFace(Te(ce).txFace);
    TextSize(Te(ce).txSize);
    SInt32 start = 0;
    while (start < n) {
      SInt32 end = start;
      while (end < n && t[end] != '\r') ++end;
      if (end > start) widest = std::max<long>(widest, TextWidth(t, SInt16(start), SInt16(end - start)));
      start = end + 1;
    }
  });
  return Clamp16(widest);
}

// ---------------------------------------------------------------------------
// Accessors

CGrafPtr CTEGetInPort(CEDIT_DATA* ceData) {
  return ceData && ceData->hTEdit ? Te(ceData).inPort : nullptr;
}

void CTEGetFont(CEDIT_DATA* ceData, SInt16* txFont, UInt8* txFace, SInt16* txSize) {
  if (!ceData || !ceData->hTEdit) return;
  if (txFont) *txFont = Te(ceData).txFont;
  if (txFace) *txFace = Te(ceData).txFace;
  if (txSize) *txSize = Te(ceData).txSize;
}

void CTESetFont(CEDIT_DATA* ceData, const SInt16* txFont, const UInt8* txFace, const SInt16* txSize) {
  if (!ceData || !ceData->hTEdit) return;
  CEDIT_DATA* ce = ceData;
  if (txFont) {
    ce->defFont.txFont = *txFont;
    Te(ce).txFont = *txFont;
    if (ce->orgPort) SetPortTextFont(ce->orgPort, *txFont);
  }
  if (txFace) {
    ce->defFont.txFace = *txFace;
    Te(ce).txFace = *txFace;
    if (ce->orgPort) SetPortTextFace(ce->orgPort, *txFace);
  }
  if (txSize) {
    ce->defFont.txSize = *txSize;
    Te(ce).txSize = *txSize;
    if (ce->orgPort) SetPortTextSize(ce->orgPort, *txSize);
  }
}

SInt16 CTEGetLine(CEDIT_DATA* ceData) {
  if (!ceData) return -1;
  return ceData->hTEdit ? Te(ceData).nLines : SInt16(-2);
}

SInt16 CTEGetLineHeight(CEDIT_DATA* ceData) {
  if (!ceData) return -1;
  return ceData->hTEdit ? Te(ceData).lineHeight : SInt16(-2);
}

SInt16 CTESetLineHeight(CEDIT_DATA* ceData, SInt16 height) {
  if (!ceData) return -1;
  if (!ceData->hTEdit) return -2;
  Te(ceData).lineHeight = height;
  return height;
}

SInt16 CTEGetViewRect(CEDIT_DATA* ceData, Rect* rect) {
  if (!ceData) return -1;
  if (!ceData->hTEdit) return -2;
  if (rect) *rect = Te(ceData).viewRect;
  return 0;
}

SInt16 CTESetViewRect(CEDIT_DATA* ceData, const Rect* rect) {
  if (!ceData) return -1;
  if (!ceData->hTEdit) return -2;
  if (rect) Te(ceData).viewRect = *rect;
  return 0;
}

SInt16 CTEGetDestRect(CEDIT_DATA* ceData, Rect* rect) {
  if (!ceData) return -1;
  if (!ceData->hTEdit) return -2;
  if (rect) *rect = Te(ceData).destRect;
  return 0;
}

SInt16 CTESetDestRect(CEDIT_DATA* ceData, const Rect* rect) {
  if (!ceData) return -1;
  if (!ceData->hTEdit) return -2;
  if (rect) Te(ceData).destRect = *rect;
  return 0;
}

SInt16 CTEFeatureFlag(CEDIT_DATA* ceData, SInt16 feature, SInt16 action) {
  if (!ceData) return -1;
  if (!ceData->hTEdit) return -2;
  return TEFeatureFlag(feature, action, ceData->hTEdit);
}

void CTESetAlignment(CEDIT_DATA* ceData, SInt16 just) {
  if (ceData && ceData->hTEdit) TESetAlignment(just, ceData->hTEdit);
}

void CEShowVScroll(CEDIT_DATA* ceData, Boolean bShow) {
  if (!ceData || !ceData->vScroll) return;
  bShow ? ShowControl(ceData->vScroll) : HideControl(ceData->vScroll);
}

void CEShowHScroll(CEDIT_DATA* ceData, Boolean bShow) {
  if (!ceData || !ceData->hScroll) return;
  bShow ? ShowControl(ceData->hScroll) : HideControl(ceData->hScroll);
}

void CEDrawVScroll(CEDIT_DATA* ceData) {
  if (ceData && ceData->vScroll) Draw1Control(ceData->vScroll);
}

void CEDrawHScroll(CEDIT_DATA* ceData) {
  if (ceData && ceData->hScroll) Draw1Control(ceData->hScroll);
}

void CEHiliteVScrollBar(CEDIT_DATA* ceData, Boolean bHilite) {
  if (ceData && ceData->vScroll) HiliteControl(ceData->vScroll, bHilite ? kControlInactivePart : kControlNoPart);
}

void CEHiliteHScrollBar(CEDIT_DATA* ceData, Boolean bHilite) {
  if (ceData && ceData->hScroll) HiliteControl(ceData->hScroll, bHilite ? kControlInactivePart : kControlNoPart);
}

void CEHiliteScrollBar(CEDIT_DATA* ceData, Boolean bHilite) {
  CEHiliteVScrollBar(ceData, bHilite);
  CEHiliteHScrollBar(ceData, bHilite);
}

void CEGetScrollHandle(CEDIT_DATA* ceData, ControlRef* hScroll, ControlRef* vScroll) {
  if (!ceData || !ceData->hScroll || !ceData->vScroll) return;
  if (hScroll) *hScroll = ceData->hScroll;
  if (vScroll) *vScroll = ceData->vScroll;
}

SInt16 CTESetTextVScroll(CEDIT_DATA* ceData) {
  if (!ceData) return -1;
  if (!ceData->hTEdit) return -2;
  if (!ceData->vScroll) return -3;
  CEDIT_DATA* ce = ceData;
  const long viewH = Height(Te(ce).viewRect);
  // Both bars keep their minimum of 0: a text shorter than the view has
  // nothing to scroll.
  SetControlMaximum(ce->vScroll, Clamp16(std::max<long>(0, Lines(ce) - viewH / LineHeight(ce) + 1)));
  // The bar counts lines, so the view is counted in lines too: a view
  // counted in pixels drew the thumb as if nearly the whole text showed.
  SetControlViewSize(ce->vScroll, std::max<long>(1, viewH / LineHeight(ce)));
  // The value is the line at the view's top: the first for a text just laid
  // out, the one a person scrolled to when a host brings the range up to
  // date (a bar put back to 0 under scrolled text drew its thumb at the top
  // and let the arrows scroll past the end). A range now ending before that
  // line takes the text back with the bar.
  const long shown = std::max<long>(0, (long(Te(ce).viewRect.top) - Te(ce).destRect.top) / LineHeight(ce));
  SetControlValue(ce->vScroll, Clamp16(shown));
  ScrollBy(ce, ce->vScroll, shown, GetControlValue(ce->vScroll));
  ce->vScrShow = viewH <= Lines(ce) * LineHeight(ce);
  return ce->vScrShow;
}

SInt16 CTESetTextHScroll(CEDIT_DATA* ceData) {
  if (!ceData) return -1;
  if (!ceData->hTEdit) return -2;
  if (!ceData->hScroll) return -3;
  CEDIT_DATA* ce = ceData;
  const Rect& dest = Te(ce).destRect;
  const Rect& view = Te(ce).viewRect;
  const long before = GetControlValue(ce->hScroll);
  SetControlMaximum(ce->hScroll, Clamp16(std::max<long>(0, long(dest.right) - view.right)));
  // The text moves sideways only with the bar, so the value is where it
  // stands (0 once a new text is laid out); a shorter range takes both back.
  ScrollBy(ce, ce->hScroll, before, GetControlValue(ce->hScroll));
  ce->hScrShow = view.right <= dest.right;
  return ce->hScrShow;
}

void CTEResizeVScroll(CEDIT_DATA* ceData) {
  if (!ceData || !ceData->vScroll) return;
  const Rect& r = ceData->rect;
  const Rect bar = R(r.right - kCEBarWidth, r.top, r.right, ceData->hScrShow == 1 ? r.bottom - kCEBarWidth : r.bottom);
  SetControlBounds(ceData->vScroll, &bar);
}

void CTEResizeHScroll(CEDIT_DATA* ceData) {
  if (!ceData || !ceData->hScroll) return;
  const Rect& r = ceData->rect;
  const Rect bar = R(r.left, r.bottom - kCEBarWidth, ceData->vScrShow == 1 ? r.right - kCEBarWidth : r.right, r.bottom);
  SetControlBounds(ceData->hScroll, &bar);
}

// ---------------------------------------------------------------------------
// Display

void CEShow(CEDIT_DATA* ceData, Boolean bShow) {
  if (!ceData) return;
  CEDIT_DATA* ce = ceData;
  ce->bShow = bShow;
  if (bShow) {
    if (ce->hScroll && ce->hScrShow) ShowControl(ce->hScroll);
    if (ce->vScroll && ce->vScrShow) ShowControl(ce->vScroll);
    CEUpdate(ce, nullptr, ce->isFrame);
  } else {
    if (ce->hScroll) HideControl(ce->hScroll);
    if (ce->vScroll) HideControl(ce->vScroll);
    Rect r = ce->rect;
    InsetRect(&r, -1, -1);
    WithPort(ce->parPort, [&] { EraseRect(&r); });
  }
}

void CEUpdate(CEDIT_DATA* ceData, RgnHandle updateRgn, Boolean useFrame) {
  if (!ceData || !ceData->hTEdit || !ceData->bShow) return;
  CEDIT_DATA* ce = ceData;
  WithPort(ce->parPort, [&] {
    RGBColor fore, back;
    GetForeColor(&fore);
    GetBackColor(&back);
    RGBForeColor(&rgbBlack);
    RGBBackColor(&rgbWhite);
    if (updateRgn) {
      const Rect view = Te(ce).viewRect;
      tb::OwnedRgn add;
      RectRgn(add, &view);
      UnionRgn(updateRgn, add, updateRgn);
      TEUpdate(&view, ce->hTEdit);
      Rect frame = view;
      InsetRect(&frame, -1, -1);
      FrameRect(&frame);
    } else {
      Rect area = ce->rect;
      if (ce->isVScroll && ce->vScrShow) area.right = SInt16(area.right - kCEBarWidth);
      if (ce->isHScroll && ce->hScrShow) area.bottom = SInt16(area.bottom - kCEBarWidth);
      EraseRect(&area);
      TEUpdate(&area, ce->hTEdit);
      if (useFrame == 1) {
        Rect frame = ce->rect;
        InsetRect(&frame, -1, -1);
        FrameRect(&frame);
      }
    }
    RGBForeColor(&fore);
    RGBBackColor(&back);
  });
  CEDrawVScroll(ce);
  CEDrawHScroll(ce);
}

void CEUpdate(CEDIT_DATA* ceData) {
  if (ceData) CEUpdate(ceData, nullptr, ceData->isFrame);
}

void CTEClear(CEDIT_DATA* ceData, const Rect* rect) {
  if (!ceData || !ceData->bShow || !rect) return;
  WithPort(ceData->parPort, [&] {
    RGBColor back;
    GetBackColor(&back);
    RGBBackColor(&rgbWhite);
    EraseRect(rect);
    RGBBackColor(&back);
  });
  CEDrawVScroll(ceData);
  CEDrawHScroll(ceData);
}

// ---------------------------------------------------------------------------
// Mouse

SInt16 CEMouseDown(CEDIT_DATA* ceData, const EventRecord* evt, Point* cell, SInt16* sortPart, SInt16 headerOnly) {
  if (cell) *cell = Point{-1, -1};
  if (sortPart) *sortPart = -1;
  if (!ceData || !evt) return 0;
  CEDIT_DATA* ce = ceData;
  Point local = evt->where;
  WithPort(ce->parPort, [&] { GlobalToLocal(&local); });
  Rect bounds;
  if (ce->hScroll && PtInRect(local, GetControlBounds(ce->hScroll, &bounds))) {
    CEMouseDownByScrollBar(ce, local, true);
  } else if (ce->vScroll && PtInRect(local, GetControlBounds(ce->vScroll, &bounds))) {
    CEMouseDownByScrollBar(ce, local, false);
  } else if (headerOnly != 1) {
    CEUpdate(ce, nullptr, ce->isFrame);
  }
  return 0;
}

void CEMouseDownByScrollBar(CEDIT_DATA* ceData, Point localPt, Boolean whichScrollBar) {
  if (!ceData || !ceData->hTEdit) return;
  CEDIT_DATA* ce = ceData;
  ControlRef bar = whichScrollBar ? ce->hScroll : ce->vScroll;
  if (!bar) return;
  if (TestControl(bar, localPt) != kControlIndicatorPart) {
    TrackControl(bar, localPt, ce->scrProc);
    return;
  }
  const SInt16 oldVal = GetControlValue(bar);
  TrackControl(bar, localPt, nullptr);
  Point mouse{0, 0};
  WithPort(ce->parPort, [&] { GetMouse(&mouse); });
  if (whichScrollBar) {
    CETrackControlAlignment(bar, oldVal, localPt.h, mouse.h, ce->dhPerPoint);
  } else {
    CETrackControlAlignment(bar, oldVal, localPt.v, mouse.v, ce->dvPerPoint);
  }
  ScrollBy(ce, bar, oldVal, GetControlValue(bar));
}

void CETrackControlAlignment(ControlRef hCtrl, SInt16 oldVal, SInt16 oldPt, SInt16 newPt, SInt16 delta) {
  if (!hCtrl) return;
  const long v = oldVal + (long(newPt) - oldPt) * delta / 100;
  if (newPt >= oldPt) {
    if (v > GetControlMaximum(hCtrl)) SetControlValue(hCtrl, GetControlMaximum(hCtrl));
  } else if (v <= GetControlMinimum(hCtrl)) {
    SetControlValue(hCtrl, GetControlMinimum(hCtrl));
  }
}

void cedit::DragScrollProc(ControlRef hCtrl, ControlPartCode part) {
  CEDIT_DATA* ce = OwnerOf(hCtrl);
  if (!ce || part < kControlUpButtonPart || part > kControlPageDownPart) return;
  const bool vertical = IsVertical(hCtrl);
  const long page = vertical ? kCEPageLines : Width(Te(ce).viewRect);
  long step = 0;
  switch (part) {
    case kControlUpButtonPart: step = -1; break;
    case kControlDownButtonPart: step = 1; break;
    case kControlPageUpPart: step = -page; break;
    default: step = page; break;
  }
  const SInt16 oldVal = GetControlValue(hCtrl);
  SetControlValue(hCtrl, Clamp16(oldVal + step));
  ScrollBy(ce, hCtrl, oldVal, GetControlValue(hCtrl));
}

void CCalcScrollIndicatorRect(CEDIT_DATA* ceData) {
  if (!ceData) return;
  CEDIT_DATA* ce = ceData;
  ce->dvPerPoint = 0;
  ce->dhPerPoint = 0;
  SInt32 system = 0;
  Gestalt(gestaltSystemVersion, &system);
  const SInt16 margin = system > kArrowlessSystem ? 0 : kArrowMargin;
  const Rect& r = ce->rect;
  if (ce->isVScroll && ce->vScrShow)
    CFindScrollIndicatorSize(ce->vScroll, r.top, r.bottom, SInt16(r.right - 8), 0,
                             SInt16(ce->hScrShow == 1 ? margin + kCEBarWidth : margin), false, &ce->dvPerPoint);
  if (ce->isHScroll && ce->hScrShow)
    CFindScrollIndicatorSize(ce->hScroll, r.left, r.right, SInt16(r.bottom - 8), 0,
                             SInt16(ce->vScrShow == 1 ? margin + kCEBarWidth : margin), true, &ce->dhPerPoint);
}

void CFindScrollIndicatorSize(ControlRef hCtrl, SInt16 start, SInt16 end, SInt16 center, SInt16 startMargin,
                              SInt16 endMargin, Boolean isHz, SInt16* result) {
  if (!hCtrl || !result) return;
  auto onThumb = [&](long p) {
    const Point pt = isHz ? Point{center, Clamp16(p)} : Point{Clamp16(p), center};
    return TestControl(hCtrl, pt) == kControlIndicatorPart;
  };
  const long lo = long(start) + startMargin;
  const long hi = long(end) - endMargin;
  const long span = hi - lo;
  // The thumb's near end: move back while on the thumb, on otherwise.
  long step = span / 2;
  long p = lo + step;
  bool hit = false;
  while (step > 1) {
    const bool on = onThumb(p);
    step /= 2;
    if (on) {
      p -= step;
      hit = true;
    } else {
      p += step;
    }
  }
  if (!hit) return;
  // Its far end: on while on the thumb, back otherwise.
  const long first = p;
  step = (hi + first) / 2;
  p = first + step;
  while (step > 1) {
    const bool on = onThumb(p);
    step /= 2;
    p += on ? step : -step;
  }
  const long thumb = p - first;
  const long travel = std::max<long>(1, span - thumb);
  *result = Clamp16(long(GetControlMaximum(hCtrl)) * 100 / travel);
}

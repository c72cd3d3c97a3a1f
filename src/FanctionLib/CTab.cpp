// The tab control's record, its chain of tabs, selection, scrolling by the
// spin button and the mouse. Pictures and drawing are in CTabDraw.cpp.
#include "FanctionLib/CTab.h"

#include <algorithm>
#include <cstring>

#include "toolbox/clock.h"
#include "toolbox/memory.h"

using namespace ctab;

namespace {

// The spin control's maximum says which arrows work.
enum : SInt16 { kSpinNone = 0, kSpinRightOnly = 1, kSpinBoth = 2, kSpinLeftOnly = 3 };

// The long wait before the second auto-repeat step, then the short one.
constexpr UInt32 kFirstRepeatTicks = 20;
constexpr UInt32 kRepeatTicks = 1;

Point ToLocal(CTAB_DATA* ct, Point global) {
  Point p = global;
  WithPort(ct->parPort, [&] { GlobalToLocal(&p); });
  return p;
}

void FreeTabImages(CTAB_LIST* tab) {
  for (int k = 0; k < 2; ++k) {
    if (tab->hPic[k]) KillPicture(tab->hPic[k]);
    if (tab->hRgn[k]) DisposeRgn(tab->hRgn[k]);
    tab->hPic[k] = nullptr;
    tab->hRgn[k] = nullptr;
  }
}

void RebuildTab(CTAB_DATA* ct, SInt16 idx) {
  CTAB_LIST* tab = GetTab(ct, idx);
  if (!tab) return;
  FreeTabImages(tab);
  Str255 title;
  pstr::copy(title, sizeof title, tab->title);
  CreateTabPicture(ct, idx, title);
}

void RebuildAll(CTAB_DATA* ct) {
  for (SInt16 i = 0; i < ct->num; ++i) RebuildTab(ct, i);
}

// A new cleared node linked in before index idx (the head for 0, the end
// for an index out of range).
CTAB_LIST* LinkNewTab(CTAB_DATA* ct, SInt16 idx) {
  auto* node = reinterpret_cast<CTAB_LIST*>(NewPtrClear(sizeof(CTAB_LIST)));
  if (!node) return nullptr;
  CTAB_LIST** link = &ct->list;
  for (SInt16 i = 0; *link && (idx < 0 || i < idx); ++i) link = &(*link)->next;
  node->next = *link;
  *link = node;
  return node;
}

void DisposeChain(CTAB_DATA* ct) {
  // Last tab first, as the chain was built.
  while (ct->list) {
    CTAB_LIST** link = &ct->list;
    while ((*link)->next) link = &(*link)->next;
    FreeTabImages(*link);
    DisposePtr(reinterpret_cast<Ptr>(*link));
    *link = nullptr;
  }
  ct->num = 0;
}

bool ValidIndex(CTAB_DATA* ct, SInt16 idx) { return idx >= 0 && idx < ct->num; }

void ApplyFont(CTAB_LIST* tab, const SInt16* txFont, const UInt8* txFace, const SInt16* txSize) {
  if (txFont) tab->font.txFont = *txFont;
  if (txFace) tab->font.txFace = *txFace;
  if (txSize) tab->font.txSize = *txSize;
}

void ApplyColor(CTAB_LIST* tab, const RGBColor* front, const RGBColor* back) {
  if (front) tab->color.rgbStrFront = *front;
  if (back) tab->color.rgbStrBack = *back;
}

// Titles as NUL-terminated texts (a NUL inside a title ends it, as it
// always did), upper-cased byte by byte when the case does not count.
std::string SearchKey(ConstStr255Param s, bool fold) {
  std::string text(pstr::view(s));
  if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  if (fold)
    for (char& c : text)
      if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------
// Internal chain and geometry

CTAB_LIST* ctab::GetTab(CTAB_DATA* ct, SInt16 idx) {
  if (!ct || idx < 0) return nullptr;
  CTAB_LIST* tab = ct->list;
  for (SInt16 i = 0; tab && i < idx; ++i) tab = tab->next;
  return tab;
}

SInt16 ctab::HitTab(CTAB_DATA* ct, Point local) {
  if (!ct) return -1;
  tb::OwnedRgn placed;
  SInt16 hit = -1;
  SInt16 x = 0;
  SInt16 i = ct->visTabNo;
  for (CTAB_LIST* tab = GetTab(ct, i); tab; tab = tab->next, ++i) {
    RgnHandle rgn = tab->hRgn[tab->state == 0 ? 0 : 1];
    if (rgn) {
      CopyRgn(rgn, placed);
      OffsetRgn(placed, SInt16(ct->tabRect.left + x), ct->tabRect.top);
      if (PtInRgn(local, placed)) {
        hit = i;
        break;
      }
    }
    x = SInt16(x + tab->width);
  }
  return hit;
}

SInt16 ctab::SpinHalfUnderMouse(CTAB_DATA* ct) {
  Point mouse{0, 0};
  WithPort(ct->parPort, [&] { GetMouse(&mouse); });
  const Rect& r = ct->spinRect;
  const SInt16 half = SInt16((r.right - r.left) / 2);
  if (mouse.v < r.top || mouse.v >= r.bottom) return 0;
  if (mouse.h >= r.left && mouse.h < r.left + half) return -1;
  if (mouse.h >= r.right - half && mouse.h < r.right) return 1;
  return 0;
}

// ---------------------------------------------------------------------------
// Creation and disposal

CTAB_DATA* CTNew(WindowRef dlg, const Rect* tabRect, const Rect* frameRect, SInt16 offsetTitleHeight,
                 Boolean bUseTabRgn, UInt32 lTransparent, Boolean visible) {
  auto* ct = reinterpret_cast<CTAB_DATA*>(NewPtrClear(sizeof(CTAB_DATA)));
  if (!ct) return nullptr;
  if (!CTCreate(ct, dlg, tabRect, frameRect, offsetTitleHeight, bUseTabRgn, lTransparent, visible)) {
    DisposePtr(reinterpret_cast<Ptr>(ct));
    return nullptr;
  }
  return ct;
}

CTAB_DATA* CTCreate(CTAB_DATA* ctData, WindowRef dlg, const Rect* tabRect, const Rect* frameRect,
                    SInt16 offsetTitleHeight, Boolean bUseTabRgn, UInt32 lTransparent, Boolean visible) {
  if (!ctData || !dlg || !tabRect || !frameRect || !GetWindowPort(dlg)) return nullptr;
  std::memset(ctData, 0, sizeof *ctData);
  CTAB_DATA* ct = ctData;
  CGrafPtr port = GetWindowPort(dlg);

  ct->orgPort = tb::ClonePort(port);
  if (!ct->orgPort) return nullptr;
  WithPort(ct->orgPort, [] {
    RGBBackColor(&rgbWhite);
    RGBForeColor(&rgbBlack);
  });

  Rect strip = *tabRect;
  strip.left = std::max<SInt16>(tabRect->left, SInt16(frameRect->left + 10));
  strip.right = std::min<SInt16>(tabRect->right, SInt16(frameRect->right - 10));
  ct->spinRect = Rect{SInt16(strip.bottom - kCTSpinHeight), SInt16(strip.right - kCTSpinWidth), strip.bottom,
                      strip.right};

  const Rect nowhere{-100, -100, -100, -100};
  static const unsigned char kH[2] = {1, 'h'};
  ct->hScroll = NewControl(dlg, &nowhere, kH, false, 0, 0, 0, scrollBarProc, reinterpret_cast<long>(ct));
  if (!ct->hScroll) {
    tb::DisposePort(ct->orgPort);
    ct->orgPort = nullptr;
    return nullptr;
  }
  ct->spinProc = NewControlActionUPP(DragSpinProc);

  ct->frameRect = reinterpret_cast<Rect*>(NewPtr(sizeof(Rect)));
  if (!ct->frameRect) {
    DisposeControl(ct->hScroll);
    tb::DisposePort(ct->orgPort);
    ct->hScroll = nullptr;
    ct->orgPort = nullptr;
    return nullptr;
  }
  *ct->frameRect = *frameRect;

  ct->prevSel = -1;
  ct->spinState = -1;
  ct->lTransparent = lTransparent;
  ct->bUseTabRgn = bUseTabRgn;
  ct->offsetTitleHeight = offsetTitleHeight;
  ct->prevVisRgn = NewRgn();
  ct->visTabNo = 0;
  ct->num = 0;
  ct->bIsSpinBtnShow = 0;
  ct->parPort = port;
  ct->tabRect = strip;
  for (SInt16& id : ct->pictID) id = -1;
  GetPortBackColor(port, &ct->anyColor);

  CTShow(ct, visible);

  ct->defFont = FONT_SET{GetPortTextFont(ct->orgPort), GetPortTextFace(ct->orgPort), GetPortTextSize(ct->orgPort)};
  ct->defColor = TCOLOR_SET{rgbBlack, rgbBlack};
  return ct;
}

void CTDestroy(CTAB_DATA* ctData) {
  if (!ctData) return;
  if (ctData->orgPort) tb::DisposePort(ctData->orgPort);
  ctData->orgPort = nullptr;
  DisposeChain(ctData);
  if (ctData->prevVisRgn) DisposeRgn(ctData->prevVisRgn);
  ctData->prevVisRgn = nullptr;
  if (ctData->frameRect) DisposePtr(reinterpret_cast<Ptr>(ctData->frameRect));
  ctData->frameRect = nullptr;
  if (ctData->spinProc) DisposeControlActionUPP(ctData->spinProc);
  ctData->spinProc = nullptr;
}

void CTDispose(CTAB_DATA* ctData) {
  if (!ctData) return;
  CTDestroy(ctData);
  DisposePtr(reinterpret_cast<Ptr>(ctData));
}

// ---------------------------------------------------------------------------
// Tabs

SInt16 CTAdd(CTAB_DATA* ctData, ConstStr255Param str, SInt16 idx) {
  if (!ctData) return -1;
  CTAB_DATA* ct = ctData;
  if (ct->pictID[kCTPictFront] == -1 || ct->pictID[kCTPictBack] == -1) return -2;
  const SInt16 at = ValidIndex(ct, idx) ? idx : -1;
  CTAB_LIST* tab = LinkNewTab(ct, at);
  if (!tab) return -2;
  if (str) pstr::copy(tab->title, sizeof tab->title, str);
  tab->font = ct->defFont;
  tab->color = ct->defColor;
  tab->state = 1;
  ++ct->num;
  const SInt16 where = at == -1 ? SInt16(ct->num - 1) : at;
  Str255 title;
  pstr::copy(title, sizeof title, tab->title);
  CreateTabPicture(ct, where, title);
  CTSetCurSel(ct, 0, false);
  return ct->num;
}

void CTDel(CTAB_DATA* ctData, SInt16 idx) {
  if (!ctData || !ValidIndex(ctData, idx)) return;
  CTAB_DATA* ct = ctData;
  CTAB_LIST** link = &ct->list;
  for (SInt16 i = 0; *link && i < idx; ++i) link = &(*link)->next;
  CTAB_LIST* tab = *link;
  if (!tab) return;
  --ct->num;
  FreeTabImages(tab);
  *link = tab->next;
  // The tab that moved into its place becomes the selection. When the
  // deleted tab was the last one and selected, the new last tab is taken
  // instead, so the selection never points past the end.
  if (idx < ct->num) {
    CTSetCurSel(ct, idx, false);
  } else if (ct->curSel >= ct->num) {
    if (ct->num > 0) {
      CTSetCurSel(ct, SInt16(ct->num - 1), false);
    } else {
      ct->curSel = 0;
    }
  }
  // Nor may the scroll position lie past the last tab.
  if (ct->visTabNo >= ct->num) {
    ct->visTabNo = SInt16(std::max(0, ct->num - 1));
    CTAdjustScrollBar(ct);
  }
  DisposePtr(reinterpret_cast<Ptr>(tab));
}

SInt16 CTSetTitle(CTAB_DATA* ctData, SInt16 idx, ConstStr255Param str) {
  if (!ctData) return -1;
  if (!ValidIndex(ctData, idx)) return -2;
  CTAB_LIST* tab = GetTab(ctData, idx);
  if (!tab) return -3;
  if (str) pstr::copy(tab->title, sizeof tab->title, str);
  RebuildTab(ctData, idx);
  CTAdjustScrollBar(ctData);
  return tab->title[0];
}

SInt16 CTGetTitle(CTAB_DATA* ctData, SInt16 idx, Str255 str) {
  if (!ctData) return -1;
  if (!ValidIndex(ctData, idx)) return -2;
  CTAB_LIST* tab = GetTab(ctData, idx);
  if (!tab) return -3;
  if (str) pstr::copy(str, sizeof(Str255), tab->title);
  return tab->title[0];
}

void CTSetFont(CTAB_DATA* ctData, const SInt16* txFont, const UInt8* txFace, const SInt16* txSize) {
  if (!ctData) return;
  if (txFont) ctData->defFont.txFont = *txFont;
  if (txFace) ctData->defFont.txFace = *txFace;
  if (txSize) ctData->defFont.txSize = *txSize;
  for (CTAB_LIST* tab = ctData->list; tab; tab = tab->next) ApplyFont(tab, txFont, txFace, txSize);
  RebuildAll(ctData);
  CTAdjustScrollBar(ctData);
}

void CTSetFontOne(CTAB_DATA* ctData, SInt16 idx, const SInt16* txFont, const UInt8* txFace,
                  const SInt16* txSize) {
  CTAB_LIST* tab = ctData && ValidIndex(ctData, idx) ? GetTab(ctData, idx) : nullptr;
  if (!tab) return;
  ApplyFont(tab, txFont, txFace, txSize);
  RebuildTab(ctData, idx);
  CTAdjustScrollBar(ctData);
}

SInt16 CTGetFont(CTAB_DATA* ctData, SInt16* txFont, UInt8* txFace, SInt16* txSize) {
  if (!ctData) return -1;
  if (txFont) *txFont = ctData->defFont.txFont;
  if (txFace) *txFace = ctData->defFont.txFace;
  if (txSize) *txSize = ctData->defFont.txSize;
  return 0;
}

void CTGetFontOne(CTAB_DATA* ctData, SInt16 idx, SInt16* txFont, UInt8* txFace, SInt16* txSize) {
  CTAB_LIST* tab = ctData && ValidIndex(ctData, idx) ? GetTab(ctData, idx) : nullptr;
  if (!tab) return;
  if (txFont) *txFont = tab->font.txFont;
  if (txFace) *txFace = tab->font.txFace;
  if (txSize) *txSize = tab->font.txSize;
}

void CTSetColor(CTAB_DATA* ctData, const RGBColor* rgbStrFront, const RGBColor* rgbStrBack) {
  if (!ctData) return;
  if (rgbStrFront) ctData->defColor.rgbStrFront = *rgbStrFront;
  if (rgbStrBack) ctData->defColor.rgbStrBack = *rgbStrBack;
  for (CTAB_LIST* tab = ctData->list; tab; tab = tab->next) ApplyColor(tab, rgbStrFront, rgbStrBack);
  RebuildAll(ctData);
  CTAdjustScrollBar(ctData);
}

void CTSetColorOne(CTAB_DATA* ctData, SInt16 idx, const RGBColor* rgbStrFront, const RGBColor* rgbStrBack) {
  CTAB_LIST* tab = ctData && ValidIndex(ctData, idx) ? GetTab(ctData, idx) : nullptr;
  if (!tab) return;
  ApplyColor(tab, rgbStrFront, rgbStrBack);
  RebuildTab(ctData, idx);
  CTAdjustScrollBar(ctData);
}

void CTGetColor(CTAB_DATA* ctData, RGBColor* rgbStrFront, RGBColor* rgbStrBack) {
  if (!ctData) return;
  if (rgbStrFront) *rgbStrFront = ctData->defColor.rgbStrFront;
  if (rgbStrBack) *rgbStrBack = ctData->defColor.rgbStrBack;
}

void CTSetPictID(CTAB_DATA* ctData, SInt16 front, SInt16 back, SInt16 frame, SInt16 spinLeRe, SInt16 spinLpRe,
                 SInt16 spinLeRp, SInt16 spinLdRe, SInt16 spinLeRd) {
  if (!ctData) return;
  const SInt16 ids[8] = {front, back, frame, spinLeRe, spinLpRe, spinLeRp, spinLdRe, spinLeRd};
  std::copy(std::begin(ids), std::end(ids), ctData->pictID);
  RebuildAll(ctData);
  CTAdjustScrollBar(ctData);
}

void CTSetReference(CTAB_DATA* ctData, SInt16 idx, long ref) {
  if (!ctData || ctData->pictID[kCTPictFront] == -1 || ctData->pictID[kCTPictBack] == -1) return;
  if (CTAB_LIST* tab = ValidIndex(ctData, idx) ? GetTab(ctData, idx) : nullptr) tab->ref = ref;
}

long CTGetReference(CTAB_DATA* ctData, SInt16 idx) {
  if (!ctData) return -1;
  if (ctData->pictID[kCTPictFront] == -1 || ctData->pictID[kCTPictBack] == -1) return -2;
  CTAB_LIST* tab = ValidIndex(ctData, idx) ? GetTab(ctData, idx) : nullptr;
  return tab ? tab->ref : -2;
}

SInt16 CTGetCount(CTAB_DATA* ctData) { return ctData ? ctData->num : SInt16(-1); }
SInt16 CTGetCurSel(CTAB_DATA* ctData) { return ctData ? ctData->curSel : SInt16(-1); }
SInt16 CTGetPrevSel(CTAB_DATA* ctData) { return ctData ? ctData->prevSel : SInt16(-1); }

SInt16 CTGetRect(CTAB_DATA* ctData, Rect* rect, Boolean bAll) {
  if (!ctData) return -1;
  if (!rect) return 0;
  if (bAll && ctData->frameRect) {
    UnionRect(&ctData->tabRect, ctData->frameRect, rect);
  } else {
    *rect = ctData->tabRect;
  }
  return 0;
}

void CTAdjustTitlePosY(CTAB_DATA* ctData, SInt16 posY) {
  if (ctData) ctData->adjustPosY = posY;
}

Boolean CTSearch(CTAB_DATA* ctData, SInt16* idx, ConstStr255Param str, Boolean bCase) {
  // A search starts from the second tab at the earliest: index 0 finds
  // nothing, whatever the titles.
  if (!ctData || !idx || !str || *idx < 1 || !ValidIndex(ctData, *idx)) return false;
  const std::string want = SearchKey(str, !bCase);
  SInt16 i = *idx;
  for (CTAB_LIST* tab = GetTab(ctData, i); tab; tab = tab->next, ++i) {
    const std::string have = SearchKey(tab->title, !bCase);
    if (!bCase && (have.empty() || want.empty())) continue;
    if (have == want) {
      *idx = i;
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------
// Selection and scrolling

void CTAdjustScrollBar(CTAB_DATA* ctData) {
  if (!ctData || !ctData->hScroll) return;
  CTAB_DATA* ct = ctData;
  const int avail = ct->tabRect.right - ct->tabRect.left;
  int total = 0;
  bool overflow = false;
  for (CTAB_LIST* tab = GetTab(ct, ct->visTabNo); tab; tab = tab->next) {
    total += tab->width;
    if (total > avail) overflow = true;
  }
  if (overflow) {
    if (ct->visTabNo > 0) {
      SetControlMaximum(ct->hScroll, kSpinBoth);
      ct->spinState = kCTPictSpinLeRe;
    } else {
      SetControlMaximum(ct->hScroll, kSpinRightOnly);
      ct->spinState = kCTPictSpinLdRe;
    }
    SetControlValue(ct->hScroll, 0);
  } else if (ct->bIsSpinBtnShow && ct->visTabNo >= 1) {
    if (total <= avail - (ct->spinRect.right - ct->spinRect.left)) {
      SetControlMaximum(ct->hScroll, kSpinLeftOnly);
      ct->spinState = kCTPictSpinLeRd;
    } else {
      SetControlMaximum(ct->hScroll, kSpinBoth);
      ct->spinState = kCTPictSpinLeRe;
    }
  }
  // Once needed, the button stays.
  if (GetControlMaximum(ct->hScroll) == kSpinNone && ct->visTabNo == 0) {
    ct->bIsSpinBtnShow = 0;
    ct->spinState = -1;
  } else {
    ct->bIsSpinBtnShow = 1;
  }
}

Boolean CTCheckNeedScroll(CTAB_DATA* ctData, SInt16 idx) {
  if (!ctData || !ctData->hScroll || !ValidIndex(ctData, idx)) return false;
  CTAB_DATA* ct = ctData;
  const SInt16 max = GetControlMaximum(ct->hScroll);
  if (max != kSpinRightOnly && max != kSpinBoth) return false;
  tb::OwnedRgn placed;
  tb::OwnedRgn spin;
  RectRgn(spin, &ct->spinRect);
  bool scrolled = false;
  SInt16 x = 0;
  SInt16 i = ct->visTabNo;
  for (CTAB_LIST* tab = GetTab(ct, i); tab; tab = tab->next, ++i) {
    if (RgnHandle rgn = tab->hRgn[tab->state == 0 ? 0 : 1]) {
      CopyRgn(rgn, placed);
      OffsetRgn(placed, SInt16(ct->tabRect.left + x), ct->tabRect.top);
      SectRgn(placed, spin, placed);
      if (!EmptyRgn(placed) && i == idx && ct->visTabNo + 1 < ct->num) {
        ++ct->visTabNo;
        scrolled = true;
        break;
      }
    }
    x = SInt16(x + tab->width);
  }
  return scrolled;
}

void CTSetCurSel(CTAB_DATA* ctData, SInt16 idx, Boolean bDraw) {
  if (!ctData || !ValidIndex(ctData, idx)) return;
  CTAB_DATA* ct = ctData;
  for (SInt16 n = 0; n < ct->num && CTCheckNeedScroll(ct, idx); ++n) {
  }
  ct->prevSel = ct->curSel;
  ct->curSel = idx;
  SInt16 i = 0;
  for (CTAB_LIST* tab = ct->list; tab; tab = tab->next, ++i) tab->state = i == idx ? 0 : 1;
  CTAdjustScrollBar(ct);
  if (bDraw) CTUpdate(ct);
}

// ---------------------------------------------------------------------------
// Mouse

SInt16 CTMouseDown(CTAB_DATA* ctData, const EventRecord* evt, SInt16* pushedPart) {
  if (!ctData || !ctData->hScroll || !ctData->bShow || !evt) return 0;
  CTAB_DATA* ct = ctData;
  if (pushedPart) *pushedPart = -1;
  const Point local = ToLocal(ct, evt->where);
  if (ct->bIsSpinBtnShow && PtInRect(local, &ct->spinRect)) {
    CTMouseDownByScrollBar(ct, local, evt->modifiers);
    return 0;
  }
  const SInt16 hit = HitTab(ct, local);
  if (hit < 0) return 0;
  if (pushedPart) *pushedPart = hit;
  if (hit >= ct->num) return 0;
  if (hit == ct->curSel) return 1;
  CTSetCurSel(ct, hit, true);
  return 1;
}

SInt16 CTHitTest(CTAB_DATA* ctData, Point ptGlobal) {
  if (!ctData) return -1;
  const Point local = ToLocal(ctData, ptGlobal);
  if (ctData->bIsSpinBtnShow && PtInRect(local, &ctData->spinRect)) return -1;
  const SInt16 hit = HitTab(ctData, local);
  return hit < ctData->num ? hit : SInt16(-1);
}

void CTMouseDownByScrollBar(CTAB_DATA* ctData, Point localPt, EventModifiers modifiers) {
  if (!ctData || !ctData->hScroll || !ctData->bShow) return;
  CTAB_DATA* ct = ctData;
  ct->spinPushedBtn = SpinHalfUnderMouse(ct);
  ct->prevTime = 0;
  ct->bIsFirstTime = 1;
  // The control is shown only while it is tracked, so that the tracking
  // calls the spin procedure on every pass; it never draws (empty bounds).
  SetControlVisibility(ct->hScroll, true, false);
  HandleControlClick(ct->hScroll, localPt, modifiers, ct->spinProc);
  SetControlVisibility(ct->hScroll, false, false);
  ct->spinPushedBtn = 0;
  CTAdjustScrollBar(ct);
  CTUpdate(ct);
}

void ctab::DragSpinProc(ControlRef hCtrl, ControlPartCode) {
  auto* ct = reinterpret_cast<CTAB_DATA*>(GetControlReference(hCtrl));
  if (!ct || ct->hScroll != hCtrl) return;
  const SInt16 max = GetControlMaximum(hCtrl);
  const SInt16 half = SpinHalfUnderMouse(ct);
  SInt16 step = 0;
  SInt16 pushedState = -1;
  if (half == 0) {
    ct->prevTime = 0;
    ct->bIsFirstTime = 1;
    CTAdjustScrollBar(ct);
    CTUpdate(ct);
    return;
  }
  if (half == 1) {
    if (max == kSpinLeftOnly) {
      ct->spinState = kCTPictSpinLeRd;
      CTUpdate(ct);
      return;
    }
    if (ct->spinPushedBtn != 1) return;
    step = 1;
    pushedState = kCTPictSpinLeRp;
  } else {
    if (max == kSpinRightOnly) {
      ct->spinState = kCTPictSpinLdRe;
      CTUpdate(ct);
      return;
    }
    if (ct->spinPushedBtn != -1) return;
    step = -1;
    pushedState = kCTPictSpinLpRe;
  }
  // The scroll position stays on a tab, whatever the arrows say.
  const int next = ct->visTabNo + step;
  if (next < 0 || next >= ct->num) return;
  const UInt32 now = TickCount();
  const UInt32 delay = ct->bIsFirstTime ? kFirstRepeatTicks : kRepeatTicks;
  if (ct->prevTime == 0 || now - ct->prevTime > delay) {
    if (ct->prevTime != 0) ct->bIsFirstTime = 0;
    ct->visTabNo = SInt16(next);
    CTAdjustScrollBar(ct);
    ct->spinState = pushedState;
    CTUpdate(ct);
    ct->prevTime = now;
  }
}

// ---------------------------------------------------------------------------
// Display

void CTShow(CTAB_DATA* ctData, Boolean bShow) {
  if (!ctData) return;
  CTAB_DATA* ct = ctData;
  ct->bShow = bShow;
  if (bShow) {
    ct->bIsSpinBtnShow = 1;
    CTAdjustScrollBar(ct);
    CTUpdate(ct);
  } else if (ct->hScroll) {
    ct->bIsSpinBtnShow = 0;
    ct->spinState = -1;
    WithPort(ct->parPort, [&] {
      EraseRect(&ct->tabRect);
      if (ct->frameRect) EraseRect(ct->frameRect);
    });
  }
}

void CTResize(CTAB_DATA* ctData, SInt16 x, SInt16 y, SInt16 dx, SInt16 dy) {
  if (!ctData) return;
  CTAB_DATA* ct = ctData;
  OffsetRect(&ct->tabRect, x, y);
  ct->tabRect.right = SInt16(ct->tabRect.right + dx);
  if (ct->frameRect) {
    OffsetRect(ct->frameRect, x, y);
    ct->frameRect->right = SInt16(ct->frameRect->right + dx);
    ct->frameRect->bottom = SInt16(ct->frameRect->bottom + dy);
  }
  if (ct->hScroll) {
    Rect b;
    GetControlBounds(ct->hScroll, &b);
    MoveControl(ct->hScroll, SInt16(b.left + x + dx), SInt16(b.top + y));
  }
  OffsetRect(&ct->spinRect, SInt16(x + dx), y);
  CTAdjustScrollBar(ct);
}

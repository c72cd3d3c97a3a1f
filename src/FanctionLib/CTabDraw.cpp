// The tab control's images: each tab's two recorded pictures and hit
// regions, the strip composed offscreen and copied through the tabs'
// region, the spin button, and the nine-part page frame.
#include <algorithm>

#include "FanctionLib/CTab.h"
#include "toolbox/drawntext.h"
#include "toolbox/resources.h"

using namespace ctab;

namespace {

using OffscreenWorld = tb::OwnedGWorld;

Rect Sized(const Rect& r) { return Rect{0, 0, SInt16(r.bottom - r.top), SInt16(r.right - r.left)}; }

Rect R(int left, int top, int right, int bottom) {
  return Rect{SInt16(top), SInt16(left), SInt16(bottom), SInt16(right)};
}

void CopyPart(const BitMap* src, const Rect& from, const Rect& to) {
  if (EmptyRect(&from) || EmptyRect(&to)) return;
  CopyBits(src, GetPortBitMapForCopyBits(GetQDGlobalsThePort()), &from, &to, srcCopy, nullptr);
}

// The frame picture's white is the page's: it becomes the window's own
// colour (white in a white window, grey in a grey dialog, where a white
// band would stand between the frame and the page's groups).
void TakeWindowColor(OffscreenWorld& art, const RGBColor& window) {
  PixMapHandle pm = GetGWorldPixMap(art.get());
  if (!pm || GetPixDepth(pm) != 32) return;
  LockPixels(pm);
  auto* base = reinterpret_cast<UInt8*>(GetPixBaseAddr(pm));
  const SInt32 rowBytes = GetPixRowBytes(pm);
  Rect b;
  GetPixBounds(pm, &b);
  const UInt8 rgb[3] = {UInt8(window.red >> 8), UInt8(window.green >> 8), UInt8(window.blue >> 8)};
  for (int y = 0; y < b.bottom - b.top; ++y)
    for (int x = 0; x < b.right - b.left; ++x) {
      UInt8* p = base + std::size_t(y) * rowBytes + std::size_t(x) * 4;
      if (p[1] == 0xFF && p[2] == 0xFF && p[3] == 0xFF) std::copy(rgb, rgb + 3, p + 1);
    }
  UnlockPixels(pm);
}

void PaintWith(const RGBColor& color, const Rect& r) {
  RGBColor saved;
  GetForeColor(&saved);
  RGBForeColor(&color);
  PaintRect(&r);
  RGBForeColor(&saved);
}

// The title's baseline in a tab picture h pixels high. A title the usual
// place would cut, at its head or at the tab's foot (the picture's bottom
// or, where the page frame starts higher, the frame's top edge, which is
// drawn over the tabs), is centred in what shows of the tab instead.
int TitleBaseline(const CTAB_DATA* ct, int h, const FontInfo& info) {
  int shown = h;
  if (ct->frameRect && ct->frameRect->top > ct->tabRect.top)
    shown = std::min(shown, ct->frameRect->top - ct->tabRect.top);
  const int y = (ct->offsetTitleHeight + h + info.ascent - info.descent) / 2 + ct->adjustPosY;
  if (y - info.ascent >= 0 && y + info.descent <= shown) return y;
  return (shown + info.ascent - info.descent) / 2;
}

// Builds picture k of the tab (0 on `front`, 1 on `back`); null when the
// resource or a buffer is missing.
PicHandle BuildOne(CTAB_DATA* ct, CTAB_LIST* tab, int k, ConstStr255Param title) {
  PicHandle src = GetPicture(ct->pictID[k]);
  if (!src) return nullptr;
  Rect frame;
  QDGetPictureBounds(src, &frame);
  const Rect f = Sized(frame);
  PicHandle made = nullptr;
  {
    tb::PortSaver keep;
    OffscreenWorld first(f);
    if (first.get()) {
      SetGWorld(first.get(), nullptr);
      DrawPicture(src, &f);
      TextFont(tab->font.txFont);
      TextFace(tab->font.txFace);
      TextSize(tab->font.txSize);
      const int textW = StringWidth(title);
      const int cap = f.right / 3;
      const int h = f.bottom;
      FontInfo info;
      GetFontInfo(&info);
      const Rect r = R(0, 0, textW + 2 * cap, h);

      OffscreenWorld second(r);
      if (second.get() && !EmptyRect(&r)) {
        SetGWorld(second.get(), nullptr);
        PaintWith(ct->anyColor, r);
        made = OpenPicture(&r);
        if (made) {
          RGBForeColor(&rgbBlack);
          RGBBackColor(&rgbWhite);
          CopyPart(first.bits(), R(0, 0, cap, h), R(0, 0, cap, h));
          CopyPart(first.bits(), R(cap, 0, 2 * cap, h), R(cap, 0, r.right - cap, h));
          TextFont(tab->font.txFont);
          TextFace(tab->font.txFace);
          TextSize(tab->font.txSize);
          RGBForeColor(k == 0 ? &tab->color.rgbStrFront : &tab->color.rgbStrBack);
          MoveTo(SInt16(cap), SInt16(TitleBaseline(ct, h, info)));
          // The whole tab is what the title is drawn for: its frame is where a click selects it.
          tb::DrawnTextScope tag(tb::TextSource::kTabTitle, &r);
          DrawString(title);
          RGBForeColor(&rgbBlack);
          CopyPart(first.bits(), R(2 * cap, 0, 3 * cap, h), R(r.right - cap, 0, r.right, h));
          ClosePicture();
          tab->width = SInt16(std::max<int>(tab->width, r.right - r.left));
        }
      }
    }
  }
  ReleaseResource(reinterpret_cast<Handle>(src));
  return made;
}

}  // namespace

// ---------------------------------------------------------------------------
// Tab pictures and regions

SInt16 CTFrontTabHeight(SInt16 frontPictID) {
  PicHandle pic = GetPicture(frontPictID);
  if (!pic) return kCTStripHeight;
  Rect r;
  QDGetPictureBounds(pic, &r);
  ReleaseResource(reinterpret_cast<Handle>(pic));
  return SInt16(std::clamp<int>(r.bottom - r.top, 1, kCTStripHeight));
}

PicHandle ctab::CreateTabPicture(CTAB_DATA* ct, SInt16 idx, ConstStr255Param title) {
  CTAB_LIST* tab = ct && idx >= 0 && idx < ct->num ? GetTab(ct, idx) : nullptr;
  if (!tab) return nullptr;
  static const unsigned char kEmpty[1] = {0};
  if (!title) title = kEmpty;
  PicHandle last = nullptr;
  for (int k = 0; k < 2; ++k) {
    PicHandle pic = BuildOne(ct, tab, k, title);
    tab->hPic[k] = pic;
    tab->hRgn[k] = nullptr;
    if (!pic) continue;
    last = pic;
    RgnHandle rgn = NewRgn();
    if (ct->bUseTabRgn) {
      PicToRgn(0, pic, ct->lTransparent, rgn);
    } else {
      Rect frame;
      QDGetPictureBounds(pic, &frame);
      RectRgn(rgn, &frame);
    }
    tab->hRgn[k] = rgn;
  }
  return last;
}

SInt16 ctab::PicToRgn(SInt16 id, PicHandle hSrcPic, UInt32 transCol, RgnHandle rgn) {
  PicHandle pic = hSrcPic;
  bool fromResource = false;
  if (id != 0) {
    pic = GetPicture(id);
    if (!pic) return -1;
    fromResource = true;
  } else if (!pic) {
    return 0;
  }
  auto release = [&] {
    if (fromResource) ReleaseResource(reinterpret_cast<Handle>(pic));
  };
  PictInfo info;
  if (GetPictInfo(pic, &info, 0, 0, 0, 0) != noErr) {
    release();
    return -2;
  }
  const int depth = info.depth;
  if (depth != 8 && depth != 16 && depth != 32) {
    release();
    return -3;
  }
  const int w = info.sourceRect.right - info.sourceRect.left;
  const int h = info.sourceRect.bottom - info.sourceRect.top;
  const Rect bounds = R(0, 0, w + 1, h + 1);
  tb::PortSaver keep;
  OffscreenWorld buffer(bounds);
  if (!buffer.get()) {
    release();
    return -4;
  }
  SetGWorld(buffer.get(), nullptr);
  RGBBackColor(&rgbWhite);
  EraseRect(&bounds);
  const Rect dst = R(0, 0, w, h);
  DrawPicture(pic, &dst);
  release();

  // The region covers the picture's own pixels only: the buffer's extra
  // column and row are background, not part of the image.
  RectRgn(rgn, &dst);
  PixMapHandle pm = GetGWorldPixMap(buffer.get());
  LockPixels(pm);
  const auto* base = reinterpret_cast<const UInt8*>(GetPixBaseAddr(pm));
  const SInt32 rowBytes = GetPixRowBytes(pm);
  const int stride = std::max(1, GetPixDepth(pm) / 8);
  // Each pixel is read from its own bytes only, reduced as its depth says.
  auto pixel = [&](int x, int y) -> UInt32 {
    const UInt8* p = base + std::size_t(y) * rowBytes + std::size_t(x) * stride;
    UInt32 word = 0;
    for (int i = 0; i < 4; ++i) word = (word << 8) | (i < stride ? p[i] : 0);
    if (depth == 8) return word >> 24;
    if (depth == 16) return word >> 16;
    return word & 0xFFFFFF;
  };
  tb::OwnedRgn holes;
  tb::OwnedRgn run;
  for (int y = 0; y < h; ++y) {
    int x = 0;
    while (x < w) {
      if (pixel(x, y) != transCol) {
        ++x;
        continue;
      }
      const int start = x;
      while (x + 1 < w && pixel(x + 1, y) == transCol) ++x;
      // A run that begins on the row's last pixel stays in the region.
      if (start != w - 1) {
        SetRectRgn(run, SInt16(start), SInt16(y), SInt16(x + 1), SInt16(y + 1));
        UnionRgn(holes, run, holes);
      }
      ++x;
    }
  }
  DiffRgn(rgn, holes, rgn);
  UnlockPixels(pm);
  return 0;
}

// ---------------------------------------------------------------------------
// Drawing

void ctab::Draw(CGrafPtr port, CTAB_DATA* ct) {
  if (!ct || !port || ct->num < 1 || !ct->bShow) return;
  const Rect b = R(0, 0, ct->tabRect.right - ct->tabRect.left, kCTStripHeight);
  tb::PortSaver keep;
  OffscreenWorld strip(b);
  if (!strip.get()) return;
  SetGWorld(strip.get(), nullptr);
  PaintWith(ct->anyColor, b);

  tb::OwnedRgn tabs;
  tb::OwnedRgn placed;
  tb::OwnedRgn inside;
  tb::OwnedRgn stripRgn;
  RectRgn(stripRgn, &ct->tabRect);
  int x = 0;
  for (CTAB_LIST* tab = GetTab(ct, ct->visTabNo); tab; tab = tab->next) {
    const int k = tab->state == 0 ? 0 : 1;
    if (!tab->hPic[k] || !tab->hRgn[k]) break;
    CopyRgn(tab->hRgn[k], placed);
    OffsetRgn(placed, SInt16(ct->tabRect.left + x), ct->tabRect.top);
    SectRgn(placed, stripRgn, inside);
    if (EmptyRgn(inside)) break;
    // Each picture lies where its region does: at the tab's layout offset.
    Rect frame;
    QDGetPictureBounds(tab->hPic[k], &frame);
    const Rect at = R(x, 0, x + frame.right - frame.left, frame.bottom - frame.top);
    DrawPicture(tab->hPic[k], &at);
    UnionRgn(tabs, placed, tabs);
    x += tab->width;
  }

  SetGWorld(port, nullptr);
  RGBColor savedBack;
  GetBackColor(&savedBack);
  RGBBackColor(&rgbWhite);

  tb::OwnedRgn spin;
  if (ct->spinState != -1) RectRgn(spin, &ct->spinRect);
  tb::OwnedRgn clip;
  DiffRgn(tabs, spin, clip);
  const bool changed = !EqualRgn(clip, ct->prevVisRgn);
  // The old area is painted over before the spin button is drawn, so that
  // a button appearing where tabs were is not painted away.
  if (changed && ct->prevVisRgn) {
    RGBColor savedFore;
    GetForeColor(&savedFore);
    RGBForeColor(&ct->anyColor);
    PaintRgn(ct->prevVisRgn);
    RGBForeColor(&savedFore);
  }
  if (ct->spinState >= 0 && ct->spinState < 8) {
    if (PicHandle pic = GetPicture(ct->pictID[ct->spinState])) {
      DrawPicture(pic, &ct->spinRect);
      ReleaseResource(reinterpret_cast<Handle>(pic));
    }
  }
  const Rect dst = R(ct->tabRect.left, ct->tabRect.top, ct->tabRect.left + b.right, ct->tabRect.top + b.bottom);
  RGBForeColor(&rgbBlack);
  CopyBits(strip.bits(), GetPortBitMapForCopyBits(port), &b, &dst, srcCopy, clip);
  if (changed && ct->prevVisRgn) CopyRgn(clip, ct->prevVisRgn);
  RGBBackColor(&savedBack);
}

void ctab::DrawFrame(CTAB_DATA* ct) {
  if (!ct || ct->pictID[kCTPictFrame] == -1 || !ct->frameRect || !ct->bShow || !ct->parPort) return;
  const Rect& fr = *ct->frameRect;
  const int fl = fr.left, ft = fr.top, frr = fr.right, fb = fr.bottom;

  bool gap = false;
  int gapL = 0, gapR = 0;
  if (ct->visTabNo <= ct->curSel) {
    int left = ct->tabRect.left;
    SInt16 i = ct->visTabNo;
    CTAB_LIST* tab = GetTab(ct, i);
    for (; tab && i < ct->curSel; tab = tab->next, ++i) left += tab->width;
    if (tab) {
      gap = true;
      gapL = left + 1;
      gapR = left + tab->width - 1;
    }
  }

  PicHandle pic = GetPicture(ct->pictID[kCTPictFrame]);
  if (!pic) return;
  Rect pf;
  QDGetPictureBounds(pic, &pf);
  const Rect f = Sized(pf);
  tb::PortSaver keep;
  OffscreenWorld art(f);
  if (!art.get()) {
    ReleaseResource(reinterpret_cast<Handle>(pic));
    return;
  }
  SetGWorld(art.get(), nullptr);
  DrawPicture(pic, &f);
  ReleaseResource(reinterpret_cast<Handle>(pic));
  TakeWindowColor(art, ct->anyColor);

  SetGWorld(ct->parPort, nullptr);
  RGBColor savedBack, savedFore;
  GetBackColor(&savedBack);
  GetForeColor(&savedFore);
  RGBBackColor(&rgbWhite);
  RGBForeColor(&rgbBlack);
  const BitMap* src = art.bits();
  // Every piece stays inside the frame rectangle.
  auto put = [&](const Rect& from, Rect to) {
    if (!SectRect(&to, &fr, &to)) return;
    CopyPart(src, from, to);
  };
  put(R(0, 0, 9, 9), R(fl, ft, fl + 9, ft + 9));
  if (gap) {
    const Rect edge = R(10, 0, 19, 9);
    put(edge, R(fl + 9, ft, std::min(gapL, frr - 10), ft + 9));
    Rect hole = R(gapL, ft, gapR, ft + 9);
    if (SectRect(&hole, &fr, &hole)) PaintWith(ct->anyColor, hole);
    put(edge, R(std::max(gapR, fl + 9), ft, frr - 10, ft + 9));
  } else {
    put(R(10, 0, 19, 9), R(fl + 9, ft, frr - 10, ft + 9));
  }
  put(R(20, 0, 30, 9), R(frr - 10, ft, frr, ft + 9));
  put(R(20, 10, 30, 19), R(frr - 10, ft + 9, frr, fb - 9));
  // The bottom row is nine pixels high: its parts are the picture's last
  // nine rows, so that squeezing ten into nine cannot drop the edge line.
  put(R(20, 21, 30, 30), R(frr - 10, fb - 9, frr, fb));
  put(R(10, 21, 19, 30), R(fl + 10, fb - 9, frr - 10, fb));
  put(R(0, 21, 9, 30), R(fl, fb - 9, fl + 10, fb));
  put(R(0, 10, 9, 19), R(fl, ft + 9, fl + 10, fb - 9));
  RGBBackColor(&savedBack);
  RGBForeColor(&savedFore);
}

void CTUpdate(CTAB_DATA* ctData) {
  if (!ctData || !ctData->bShow) return;
  Draw(ctData->parPort, ctData);
  DrawFrame(ctData);
}

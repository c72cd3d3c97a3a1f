// The list control's drawing: the body composed offscreen and copied in one
// transfer, the header built from a small button picture, the frame.
#include <cstring>
#include <map>
#include <utility>

#include "FanctionLib/CListPriv.h"
#include "toolbox/drawntext.h"
#include "toolbox/fonts.h"
#include "toolbox/memory.h"
#include "toolbox/resources.h"

using namespace clist;

namespace {

// An offscreen world; the previous drawing target is restored by whoever
// set one.
using World = tb::OwnedGWorld;

void SetFont(const FONT_SET& f) {
  TextFont(f.txFont);
  TextFace(f.txFace);
  TextSize(f.txSize);
}

// Fits a title or cell text to room pixels in the current font: the
// platform's truncation, or CutString where that fails.
void FitText(Str255 s, int room) {
  const SInt16 w = SInt16(std::clamp(room, -32768, 32767));
  if (TruncString(w, s, truncEnd) < 0) CutString(s, w);
}

int Baseline(int top, int height) {
  FontInfo fi;
  GetFontInfo(&fi);
  return top + (height + fi.ascent - fi.descent) / 2;
}

// Colour icons by id, loaded once for one drawing and released after it.
class IconCache {
 public:
  ~IconCache() {
    for (auto& [id, icon] : icons_)
      if (icon) DisposeCIcon(icon);
  }
  CIconHandle get(SInt16 id) {
    auto it = icons_.find(id);
    if (it == icons_.end()) it = icons_.emplace(id, GetCIcon(id)).first;
    return it->second;
  }

 private:
  std::map<SInt16, CIconHandle> icons_;
};

// The row with its top at top and the body's left edge at left.
void DrawRow(CLIST_DATA* cl, const CCELL_DATA& rec, int top, bool selected, IconCache& icons, int left = 0) {
  const int rowH = RowHeight(cl);
  const int H = ScrollH(cl) - left;
  const int cols = ColumnCount(cl);
  RGBColor savedFore;
  GetForeColor(&savedFore);
  const SInt16 savedFont = GetPortTextFont(GetQDGlobalsThePort());
  const Style savedFace = GetPortTextFace(GetQDGlobalsThePort());
  const SInt16 savedSize = GetPortTextSize(GetQDGlobalsThePort());

  // Cell backgrounds. The last column's reaches to the body's right edge
  // (the drawing's clip ends it), so a row is highlighted across the list
  // however narrow its columns are.
  int x = -H;
  for (int i = 0; i < cols; ++i) {
    const int w = ColumnWidth(cl, i);
    const int right = i == cols - 1 ? 32767 : x + w;
    const Rect r{SInt16(top), SInt16(std::clamp(x, -32768, 32767)), SInt16(top + rowH),
                 SInt16(std::clamp(right, -32768, 32767))};
    const COLOR_SET* c = rec.color ? &rec.color[i] : &cl->defColor;
    RGBForeColor(CellDisabled(rec, i) ? &c->rgbBkDisable : selected ? &c->rgbBkHilite : &c->rgbBkNormal);
    PaintRect(&r);
    x += w;
  }

  // Icon.
  const bool hasIcon = rec.icon.type != kCLIconNone;
  if (hasIcon) {
    const Rect r{SInt16(top + (rowH - rec.icon.height) / 2), SInt16(5 - H),
                 SInt16(top + (rowH - rec.icon.height) / 2 + rec.icon.height), SInt16(5 - H + rec.icon.width)};
    SInt16 transform = rec.transform;
    if (CellDisabled(rec, 0)) transform |= 0x4001;
    if (selected) transform |= 0x4000;
    if (rec.icon.type == kCLIconResource && rec.icon.id != 0) {
      if (CIconHandle icon = icons.get(rec.icon.id)) PlotCIconHandle(&r, kAlignAbsoluteCenter, transform, icon);
    } else if (rec.icon.type == kCLIconHandle && rec.icon.hdl) {
      PlotIconRef(&r, kAlignAbsoluteCenter, transform, kIconServicesNormalUsageFlag, rec.icon.hdl);
    }
  }

  // Texts.
  auto textColour = [&](int i) {
    const COLOR_SET* c = rec.color ? &rec.color[i] : &cl->defColor;
    RGBForeColor(CellDisabled(rec, i) ? &c->rgbStrDisable : selected ? &c->rgbStrHilite : &c->rgbStrNormal);
  };
  if (cl->flag) {
    tb::OwnedRgn savedClip;
    GetClip(savedClip);
    int colLeft = -H;
    for (int i = 0; i < cols; ++i) {
      const int w = ColumnWidth(cl, i);
      const UInt8* t = CellText(rec, i);
      if (t && t[0]) {
        SetFont(rec.font ? rec.font[i] : cl->defFont);
        textColour(i);
        const bool iconHere = i == 0 && hasIcon;
        const int x0 = colLeft + (iconHere ? rec.icon.width + 10 : 5);
        const int room = iconHere ? w - rec.icon.width - 15 : w - 10;
        Str255 s;
        pstr::copy(s, sizeof s, t);
        FitText(s, room);
        const int tw = StringWidth(s);
        int tx = x0;
        if (cl->flag[i] & kCLAlignRight)
          tx = colLeft + w - tw - 5;
        else if (cl->flag[i] & kCLAlignCenter)
          tx = x0 + (room - tw) / 2;
        const Rect clip{SInt16(top), SInt16(std::clamp(x0, -32768, 32767)), SInt16(top + rowH),
                        SInt16(std::clamp(x0 + w - 10, -32768, 32767))};
        // Within whatever clip the caller set (one cell, for a redraw of it).
        tb::OwnedRgn textClip;
        RectRgn(textClip, &clip);
        SectRgn(textClip, savedClip, textClip);
        SetClip(textClip);
        MoveTo(SInt16(std::clamp(tx, -32768, 32767)), SInt16(Baseline(top, rowH)));
        tb::DrawnTextScope tag(tb::TextSource::kListCell, &clip);
        DrawString(s);
        SetClip(savedClip);
      }
      colLeft += w;
    }
  } else if (const UInt8* t = CellText(rec, 0)) {
    SetFont(rec.font ? rec.font[0] : cl->defFont);
    textColour(0);
    MoveTo(SInt16(hasIcon ? rec.icon.width + 10 - H : 5 - H), SInt16(Baseline(top, rowH)));
    tb::DrawnTextScope tag(tb::TextSource::kListCell);
    DrawString(t);
  }
  TextFont(savedFont);
  TextFace(savedFace);
  TextSize(savedSize);
  RGBForeColor(&savedFore);
}

// The platform rows the body shows: [first, end).
std::pair<int, int> RowsInView(CLIST_DATA* cl) {
  const int V = ScrollV(cl);
  const int VC = CLGetVisibleCount(cl);
  int end = V + VC + (NoHeaderColumns(cl) ? 1 : 0);
  end = std::min(end, PlatformRows(cl));
  if (end - V > VC && HeaderShown(cl)) --end;
  return {V + RowShift(cl), end};
}

// Draws the picture into the world, scaled to it; false when it is missing.
bool DrawPictInto(GWorldPtr world, SInt16 id, const Rect& r) {
  if (id == -1) return false;
  PicHandle pic = GetPicture(id);
  if (!pic) return false;
  SetGWorld(world, nullptr);
  EraseRect(&r);
  DrawPicture(pic, &r);
  ReleaseResource(reinterpret_cast<Handle>(pic));
  return true;
}

// Copies the button's left cap to x and its middle, stretched, from x + 4
// to middleRight, into the header.
void CopyButton(const World& button, const World& header, int x, int middleRight, int h) {
  auto copy = [&](Rect src, int left, int top, int right, int bottom) {
    const Rect dst{SInt16(top), SInt16(left), SInt16(bottom), SInt16(right)};
    if (right <= left || bottom <= top) return;
    CopyBits(button.bits(), header.bits(), &src, &dst, srcCopy, nullptr);
  };
  copy(Rect{0, 0, 4, 4}, x, 0, x + 4, 4);
  copy(Rect{11, 0, 16, 4}, x, h - 4, x + 4, h);
  copy(Rect{5, 0, 10, 4}, x, 4, x + 4, h - 4);
  copy(Rect{0, 5, 16, 9}, x + 4, 0, middleRight, h);
}

// The button's right cap at x.
void CopyRightCap(const World& button, const World& header, int x, int h) {
  auto copy = [&](Rect src, int top, int bottom) {
    const Rect dst{SInt16(top), SInt16(x), SInt16(bottom), SInt16(x + 4)};
    if (bottom <= top) return;
    CopyBits(button.bits(), header.bits(), &src, &dst, srcCopy, nullptr);
  };
  copy(Rect{0, 10, 4, 14}, 0, 4);
  copy(Rect{11, 10, 16, 14}, h - 4, h);
  copy(Rect{5, 10, 10, 14}, 4, h - 4);
}

}  // namespace

// --- Body --------------------------------------------------------------------

void clist::Draw(CLIST_DATA* clData, RgnHandle hUpdateRgn) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || !cl->bShow) return;
  tb::PortSaver savedWorld;
  const Rect& rect = cl->rect;
  const int h = HeaderHeight(cl);
  const bool vShown = BarVisible(cl->vScroll), hShown = BarVisible(cl->hScroll);

  // 1. What the region asks for is cleared first, then the header.
  SetPort(cl->parPort);
  if (hUpdateRgn) {
    tb::OwnedRgn inside;
    RectRgn(inside, &rect);
    SectRgn(inside, hUpdateRgn, inside);
    EraseRgn(inside);
  }
  DrawHeader(cl->parPort, cl, cl->part);

  // 2. The body's buffer.
  const int bodyW = rect.right - rect.left - (vShown ? kBar : 0);
  const int bodyH = rect.bottom - rect.top - (hShown ? kBar : 0) - h;
  {
    World body(bodyW, bodyH);
    if (body.get()) {
      SetGWorld(body.get(), nullptr);
      const Rect all{0, 0, SInt16(bodyH), SInt16(bodyW)};
      RGBBackColor(&cl->anyColor[1]);
      EraseRect(&all);
      TextFont(cl->defFont.txFont);

      // 3. The rows in view.
      const int rowH = RowHeight(cl);
      const auto [first, end] = RowsInView(cl);
      IconCache icons;
      for (int p = first; p < end; ++p) {
        CCELL_DATA rec;
        if (!GetRecord(cl, p, &rec)) continue;
        Cell c{SInt16(p), 0};
        DrawRow(cl, rec, (p - first) * rowH, LGetSelect(false, &c, cl->hList), icons);
      }

      // 7. One transfer to the window, black on white.
      SetPort(cl->orgPort);
      RGBColor fore, back;
      GetForeColor(&fore);
      GetBackColor(&back);
      RGBForeColor(&rgbBlack);
      RGBBackColor(&rgbWhite);
      const Rect dst{SInt16(rect.top + h), rect.left, SInt16(rect.top + h + bodyH), SInt16(rect.left + bodyW)};
      CopyBits(body.bits(), GetPortBitMapForCopyBits(cl->orgPort), &all, &dst, srcCopy, nullptr);
      RGBForeColor(&fore);
      RGBBackColor(&back);
    }
  }

  // 8. The corner between the bars, and 9. the frame.
  SetPort(cl->parPort);
  RGBColor fore, back;
  GetForeColor(&fore);
  GetBackColor(&back);
  if (vShown && hShown) {
    const Rect corner{SInt16(rect.bottom - 14), SInt16(rect.right - 14), SInt16(rect.bottom + 1),
                      SInt16(rect.right + 1)};
    RGBBackColor(&cl->anyColor[0]);
    EraseRect(&corner);
  }
  PenState pen;
  GetPenState(&pen);
  PenNormal();
  RGBForeColor(&cl->anyColor[6]);
  const SInt16 l = SInt16(rect.left - 1), t = SInt16(rect.top - 1), r = rect.right, b = rect.bottom;
  if (vShown && hShown) {
    MoveTo(SInt16(r - 15), b);
    LineTo(l, b);
    LineTo(l, t);
    LineTo(r, t);
    LineTo(r, SInt16(b - 15));
    LineTo(SInt16(r - 15), SInt16(b - 15));
    LineTo(SInt16(r - 15), b);
  } else {
    MoveTo(r, b);
    LineTo(l, b);
    LineTo(l, t);
    LineTo(r, t);
    LineTo(r, b);
  }
  SetPenState(&pen);
  RGBForeColor(&fore);
  RGBBackColor(&back);
}

// --- Header ------------------------------------------------------------------

void clist::DrawHeader(CGrafPtr port, CLIST_DATA* clData, SInt16 push) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || !cl->bShow || !HeaderShown(cl) || !cl->header.width) return;
  if (cl->pictID[0] == -1 || cl->pictID[1] == -1 || cl->pictID[2] == -1) return;
  const int h = cl->header.height;
  const int H = ScrollH(cl);
  const int headerW = cl->rect.right + H - cl->rect.left;
  World mark(256, 256), button(14, 16), header(headerW, h);
  if (!mark.get() || !button.get() || !header.get()) return;
  tb::PortSaver savedWorld;

  const Rect buttonRect{0, 0, 16, 14};
  const UInt8* title = reinterpret_cast<const UInt8*>(cl->header.title);
  const Size titlesSize = title ? GetPtrSize(cl->header.title) : 0;
  Size titleOff = 0;
  int x = 0;
  for (int j = 0; j < cl->header.num; ++j) {
    const int w = cl->header.width[j];
    const SInt16 id = j == push ? cl->pictID[2] : j == cl->curSortPart ? cl->pictID[1] : cl->pictID[0];
    DrawPictInto(button.get(), id, buttonRect);
    CopyButton(button, header, x, x + w - 4, h);

    // The sort mark of the sorted column.
    int markSpace = 0;
    if (j == cl->curSortPart) {
      SInt16 markID = -1;
      if (cl->sortStatus == 0) markID = j == push ? cl->pictID[5] : cl->pictID[4];
      if (cl->sortStatus == 1) markID = j == push ? cl->pictID[7] : cl->pictID[6];
      PicHandle pic = markID != -1 ? GetPicture(markID) : nullptr;
      if (pic) {
        Rect frame;
        QDGetPictureBounds(pic, &frame);
        const int mw = std::clamp(frame.right - frame.left, 0, 256);
        const int mh = std::clamp(frame.bottom - frame.top, 0, 256);
        const Rect src{0, 0, SInt16(mh), SInt16(mw)};
        SetGWorld(mark.get(), nullptr);
        EraseRect(&src);
        DrawPicture(pic, &src);
        ReleaseResource(reinterpret_cast<Handle>(pic));
        const int right = x + w - 4 - 2;
        const Rect dst{SInt16((h - mh) / 2), SInt16(right - mw), SInt16((h - mh) / 2 + mh), SInt16(right)};
        // The mark's white surround lets the button show through.
        CopyBits(mark.bits(), header.bits(), &src, &dst, transparent, nullptr);
        markSpace = mw + 6;
      }
    }

    // The title.
    SetGWorld(header.get(), nullptr);
    Str255 s{0};
    if (title && titleOff < titlesSize) {
      const Size len = std::min<Size>(title[titleOff], titlesSize - titleOff - 1);
      s[0] = UInt8(len);
      std::memcpy(s + 1, title + titleOff + 1, std::size_t(len));
      titleOff += 1 + title[titleOff];
    }
    if (s[0]) {
      SetFont(cl->font ? cl->font[j] : cl->defFont);
      const int room = w - 8 - markSpace;
      FitText(s, room);
      const int tw = StringWidth(s);
      int tx = x + 4;
      if (cl->flag[j] & kCLAlignRight)
        tx = x + w - 4 - markSpace - tw;
      else if (cl->flag[j] & kCLAlignCenter)
        tx = x + 4 + (room - tw) / 2;
      const RGBColor* colour = j == push            ? &cl->anyColor[4]
                               : !cl->bEnableHeader ? &cl->anyColor[5]
                               : j == cl->curSortPart ? &cl->anyColor[3]
                                                      : &cl->anyColor[2];
      RGBForeColor(colour);
      MoveTo(SInt16(std::clamp(tx, -32768, 32767)), SInt16(Baseline(0, h)));
      const Rect button{0, SInt16(std::clamp(x, -32768, 32767)), SInt16(h), SInt16(std::clamp(x + w, -32768, 32767))};
      tb::DrawnTextScope tag(tb::TextSource::kListHeader, &button);
      DrawString(s);
    }

    CopyRightCap(button, header, x + w - 4, h);
    x += w;
  }
  // The rest of the strip: a button without a right end.
  if (x < headerW && DrawPictInto(button.get(), cl->pictID[0], buttonRect)) CopyButton(button, header, x, headerW, h);

  // One copy into the port, clipped to the control.
  SetPort(port);
  const Rect dst{cl->rect.top, SInt16(cl->rect.left - H), SInt16(cl->rect.top + h), cl->rect.right};
  Rect inside;
  if (SectRect(&dst, &cl->rect, &inside)) EraseRect(&inside);
  tb::OwnedRgn mask;
  RectRgn(mask, &cl->rect);
  RGBColor fore, back;
  GetForeColor(&fore);
  GetBackColor(&back);
  RGBForeColor(&rgbBlack);
  RGBBackColor(&rgbWhite);
  const Rect src{0, 0, SInt16(h), SInt16(headerW)};
  CopyBits(header.bits(), GetPortBitMapForCopyBits(port), &src, &dst, srcCopy, mask);
  RGBForeColor(&fore);
  RGBBackColor(&back);
}

// --- Entry points --------------------------------------------------------------

void CLUpdate(CLIST_DATA* clData, RgnHandle updateRgn, SInt16 redrawHeader) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || !cl->vScroll || !cl->hScroll || !cl->bShow) return;
  tb::PortSaver saved(cl->orgPort);
  if (!updateRgn) {
    Rect r;
    CLGetRect(cl, &r, false, true, true);
    tb::OwnedRgn rgn;
    RectRgn(rgn, &r);
    Draw(cl, rgn);
  } else {
    if (HeaderShown(cl) && (redrawHeader == 0 || redrawHeader == 1)) {
      const Rect view = ViewRect(cl);
      const Rect strip{view.top, view.left, SInt16(view.top + HeaderHeight(cl)), view.right};
      tb::OwnedRgn s;
      RectRgn(s, &strip);
      if (redrawHeader == 1)
        UnionRgn(updateRgn, s, updateRgn);
      else
        DiffRgn(updateRgn, s, updateRgn);
    }
    Draw(cl, updateRgn);
  }
  if (BarVisible(cl->vScroll)) Draw1Control(cl->vScroll);
  if (BarVisible(cl->hScroll)) Draw1Control(cl->hScroll);
}

void CLUpdateCell(CLIST_DATA* clData, Cell cell) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || !cl->bShow || cell.h < 0 || cell.h >= ColumnCount(cl) || cell.v < 0) return;
  const auto [first, end] = RowsInView(cl);
  const int p = cell.v + RowShift(cl);
  if (p < first || p >= end) return;
  CCELL_DATA rec;
  if (!GetRecord(cl, p, &rec)) return;
  const Rect& rect = cl->rect;
  const Rect body{SInt16(rect.top + HeaderHeight(cl)), rect.left,
                  SInt16(rect.bottom - (BarVisible(cl->hScroll) ? kBar : 0)),
                  SInt16(rect.right - (BarVisible(cl->vScroll) ? kBar : 0))};
  const int top = body.top + (p - first) * RowHeight(cl);
  const int left = body.left - ScrollH(cl) + ColumnsBefore(cl, cell.h);
  const int right = cell.h == ColumnCount(cl) - 1 ? body.right : left + ColumnWidth(cl, cell.h);
  const Rect place{SInt16(std::clamp(top, -32768, 32767)), SInt16(std::clamp(left, -32768, 32767)),
                   SInt16(std::clamp(top + RowHeight(cl), -32768, 32767)), SInt16(std::clamp(right, -32768, 32767))};
  Rect shown;
  if (!SectRect(&place, &body, &shown)) return;
  // Straight into the window, clipped to the cell: no buffer to compose,
  // since nothing else of the body changes.
  tb::PortSaver saved(cl->orgPort);
  tb::OwnedRgn clip;
  GetClip(clip);
  ClipRect(&shown);
  IconCache icons;
  Cell c{SInt16(p), 0};
  DrawRow(cl, rec, top, LGetSelect(false, &c, cl->hList), icons, body.left);
  SetClip(clip);
}

void CLUpdateHeader(CLIST_DATA* clData) {
  if (HasList(clData) && clData->bShow && HeaderShown(clData)) DrawHeader(clData->parPort, clData, clData->part);
}

SInt16 CLGetRect(CLIST_DATA* clData, Rect* rect, Boolean bIncludeHeader, Boolean bIncludeHScrollBar,
                 Boolean bIncludeVScrollBar) {
  if (!clData) return -1;
  if (!clData->hList) return -2;
  if (!rect) return -4;
  *rect = clData->rect;
  if (!bIncludeHeader) rect->top = SInt16(rect->top + HeaderHeight(clData));
  if (BarVisible(clData->hScroll) && !bIncludeHScrollBar) rect->bottom = SInt16(rect->bottom - kBar);
  if (BarVisible(clData->vScroll) && !bIncludeVScrollBar) rect->right = SInt16(rect->right - kBar);
  return 0;
}

// --- Text helpers --------------------------------------------------------------

namespace {

// Length of the UTF-8 sequence that byte b starts (1 for a byte that
// cannot start one: it stands alone).
int SequenceLength(UInt8 b) {
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 1;
}

// The byte type of text[offset], reading no further than text[len - 1].
// A sequence whose bytes are not all there or not continuation bytes
// counts as single bytes. A lead byte whose continuation lies past the
// end counts as a first byte.
SInt16 ByteType(const UInt8* text, int len, int offset) {
  int i = 0;
  while (i <= offset) {
    const int n = SequenceLength(text[i]);
    int have = 1;
    while (have < n && i + have < len && (text[i + have] & 0xC0) == 0x80) ++have;
    const bool cutByEnd = have < n && i + have >= len;
    if (n > 1 && (have == n || cutByEnd)) {
      if (offset == i) return -1;
      if (offset < i + have) return offset == i + n - 1 ? 1 : 2;
      i += have;
    } else {
      if (offset == i) return 0;
      ++i;
    }
  }
  return 0;
}

}  // namespace

SInt16 CCharcterByteType(const void* text, SInt16 offset) {
  if (!text || offset < 0) return 0;
  return ByteType(static_cast<const UInt8*>(text), offset + 1, offset);
}

SInt16 CutString(StringPtr str, SInt16 width) {
  if (!str) return 0;
  const int n = str[0];
  const UInt8* text = str + 1;
  // A text of 254 or 255 bytes grows past 255 with its "...", so the work
  // is done in a larger buffer and only what fits goes back.
  unsigned char work[260];
  int kept = n;
  int workLen = n;
  std::memcpy(work, text, std::size_t(n));
  SInt16 steps = 0;
  while (kept > 0 && (TextWidth(work, 0, SInt16(workLen)) > width || workLen > 255)) {
    const SInt16 type = ByteType(text, n, kept - 1);
    if (type == 0 || type == -1) {
      --kept;
    } else if (type == 1) {
      int start = kept - 1;
      while (start > 0 && ByteType(text, n, start) != -1) --start;
      if (start == 0) return -1;
      kept = start;
    } else {
      return -2;
    }
    std::memcpy(work + kept, "...", 3);
    workLen = kept + 3;
    ++steps;
  }
  if (steps > 0) {
    str[0] = UInt8(std::min(workLen, 255));
    std::memcpy(str + 1, work, str[0]);
  }
  return steps;
}

void CSetDrawingMode(ListHandle hList, SInt16 sMode) {
  static UInt8 drawingOff = 0;
  if (!hList) return;
  drawingOff = (GetListFlags(hList) & lDrawingModeOff) ? 1 : 0;
  switch (sMode) {
    case 0: LSetDrawingMode(false, hList); break;
    case 1: LSetDrawingMode(true, hList); break;
    case 2: LSetDrawingMode(drawingOff != 0, hList); break;
    default: break;
  }
}

void CSetPortTextFont(CGrafPtr port, SInt16 font) {
  if (IsValidPort(port)) WithPort(port, [&] { TextFont(font); });
}
void CSetPortTextFace(CGrafPtr port, Style face) {
  if (IsValidPort(port)) WithPort(port, [&] { TextFace(face); });
}
void CSetPortTextSize(CGrafPtr port, SInt16 size) {
  if (IsValidPort(port)) WithPort(port, [&] { TextSize(size); });
}
SInt16 CGetPortTextFont(CGrafPtr port) { return IsValidPort(port) ? GetPortTextFont(port) : 0; }
Style CGetPortTextFace(CGrafPtr port) { return IsValidPort(port) ? GetPortTextFace(port) : 0; }
SInt16 CGetPortTextSize(CGrafPtr port) { return IsValidPort(port) ? GetPortTextSize(port) : 0; }

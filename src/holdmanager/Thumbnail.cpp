// The page preview and its page buttons. The buttons are pictures of three
// faces side by side; a press is followed with an empty hidden control so
// the button shows pressed only while the mouse is over it.
#include "holdmanager/Thumbnail.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/GWorldImage.h"
#include "holdmanager/HoldControls.h"
#include "toolbox/fonts.h"
#include "toolbox/textencoding.h"
#include "toolbox/windows.h"

PAGE_BTN gMainDlgBtn[4];
PAGE_BTN gSubDlgBtn[4];

namespace {

GWorldPtr gBtnPict[4] = {};
ControlRef gTrackCtrl = nullptr;
std::string gPreviewText;
short gPreviewFont = 0, gPreviewSize = 12;

constexpr int kStripWidth = 36;
constexpr int kMaxLines = 16;

PAGE_BTN* setOf(int set) { return set == kThumbSetMain ? gMainDlgBtn : set == kThumbSetSub ? gSubDlgBtn : nullptr; }

Rect worldBounds(GWorldPtr w) {
  Rect r{};
  GetPortBounds(w, &r);
  return r;
}

void drawBtnInto(const PAGE_BTN* btn, CGrafPtr port, const Rect& dst) {
  GWorldPtr pic = btn->index < 4 ? gBtnPict[btn->index] : nullptr;
  if (!pic) return;
  Rect src;
  GetPageBtnStateRect(btn, &src);
  if (EmptyRect(&src)) return;
  ColorPortSaver saver(port);
  RGBColor white{0xFFFF, 0xFFFF, 0xFFFF}, black{0, 0, 0};
  RGBBackColor(&white);
  RGBForeColor(&black);
  CopyBits(GetPortBitMapForCopyBits(pic), GetPortBitMapForCopyBits(port), &src, &dst, srcCopy, nullptr);
}

std::size_t utf8Next(const std::string& s, std::size_t i) { return std::min(s.size(), i + tb::CharByteCount(s, i)); }

short widthOf(const std::string& s, std::size_t from, std::size_t to) {
  return TextWidth(s.data(), short(from), short(to - from));
}

// Lines of at most width pixels, broken after blanks or beside a
// character of several bytes (the scripts that break between characters);
// a line with no break point that is still too wide is cut at its end.
std::vector<std::string> breakLines(const std::string& text, int width) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size() && int(lines.size()) < kMaxLines) {
    while (start < text.size() && text[start] == ' ') ++start;
    if (start >= text.size()) break;
    std::size_t lastBreak = std::string::npos, i = start;
    while (i < text.size()) {
      if (text[i] == '\n' || text[i] == '\r') break;
      std::size_t next = utf8Next(text, i);
      if (widthOf(text, start, next) > width) break;
      bool multi = next - i > 1;
      if (text[i] == ' ' || multi) lastBreak = next;
      if (next < text.size() && (static_cast<unsigned char>(text[next]) >= 0x80)) lastBreak = next;
      i = next;
    }
    std::size_t end = i;
    if (i < text.size() && text[i] != '\n' && text[i] != '\r' && lastBreak != std::string::npos && lastBreak > start)
      end = lastBreak;
    if (end == start) end = utf8Next(text, start);  // a character wider than the line stands alone, cut
    std::string line = text.substr(start, end - start);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    while (!line.empty() && widthOf(line, 0, line.size()) > width)
      line.resize(tb::CharCutLength(line, line.size() - 1));
    lines.push_back(line);
    start = end;
    if (start < text.size() && (text[start] == '\n' || text[start] == '\r')) ++start;
  }
  return lines;
}

void drawPreviewText(int W, int H) {
  if (gPreviewText.empty()) return;
  TextFont(gPreviewFont);
  TextSize(gPreviewSize);
  FontInfo fi{};
  GetFontInfo(&fi);
  std::vector<std::string> lines = breakLines(gPreviewText, W - 48);
  const int n = int(lines.size());
  RGBColor black{0, 0, 0};
  RGBForeColor(&black);
  for (int i = 0; i < n; ++i) {
    const std::string& l = lines[std::size_t(i)];
    int lw = widthOf(l, 0, l.size());
    int left = (W - 48 - lw) / 2 + 6;
    double base = (H + fi.ascent - fi.descent) / 2.0 + (i - (n - 1) / 2.0) * (fi.ascent - fi.descent + 6);
    MoveTo(short(left), short(std::trunc(base)));
    DrawText(l.data(), 0, short(l.size()));
  }
}

}  // namespace

int InitThumbnail(DialogRef dialog, int set) {
  PAGE_BTN* btns = setOf(set);
  if (!btns) return 0;
  for (int i = 0; i < 4; ++i)
    if (!gBtnPict[i]) NewGWorldFromPict(&gBtnPict[i], short(128 + i));
  for (int i = 0; i < 4; ++i) btns[i] = PAGE_BTN{dialog, Rect{}, kPageBtnDisabled, UInt16(i)};
  return 1;
}

void DeinitThumbnail() {
  for (auto& p : gBtnPict)
    if (p) DisposeGWorld(p), p = nullptr;
}

void SetThumbnailText(const std::string& text, short font, short size) {
  gPreviewText = text;
  gPreviewFont = font;
  gPreviewSize = size > 0 ? size : 12;
}

void SetPageBtnRect(int index, Point topLeft, Point botRight, int set) {
  PAGE_BTN* btns = setOf(set);
  if (!btns || index < 0 || index > 3) return;
  btns[index].rect = Rect{topLeft.v, topLeft.h, botRight.v, botRight.h};
}

void SetPageBtnState(int index, int state, bool redraw, int set) {
  PAGE_BTN* btns = setOf(set);
  if (!btns || index < 0 || index > 3) return;
  btns[index].state = UInt16(state);
  if (redraw) DrawPageBtn(&btns[index]);
}

void GetPageBtnStateRect(const PAGE_BTN* btn, Rect* rect) {
  *rect = Rect{};
  if (!btn || btn->index > 3 || !gBtnPict[btn->index] || btn->state > kPageBtnDisabled) return;
  Rect b = worldBounds(gBtnPict[btn->index]);
  short third = short((b.right - b.left) / 3);
  *rect = Rect{b.top, short(b.left + third * btn->state), b.bottom, short(b.left + third * (btn->state + 1))};
}

void DrawPageBtn(const PAGE_BTN* btn) {
  if (!btn || !btn->dialog) return;
  drawBtnInto(btn, GetDialogPort(btn->dialog), btn->rect);
}

void MouseDownProc(ControlRef control, ControlPartCode) {
  auto* btn = reinterpret_cast<PAGE_BTN*>(GetControlReference(control));
  if (!btn) return;
  Point pt;
  {
    tb::PortSaver saver(GetDialogPort(btn->dialog));
    GetMouse(&pt);
  }
  UInt16 state = PtInRect(pt, &btn->rect) ? kPageBtnPressed : kPageBtnNormal;
  if (state != btn->state) {
    btn->state = state;
    DrawPageBtn(btn);
  }
}

int TrackPageBtn(DialogRef dialog, short item, Point pt, int index, int set) {
  PAGE_BTN* btns = setOf(set);
  if (!btns || index < 0 || index > 3 || !dialog) return 0;
  PAGE_BTN* btn = &btns[index];
  if (btn->state == kPageBtnDisabled) return 0;
  DialogItemType kind;
  Handle h;
  GetDialogItem(dialog, item, &kind, &h, &btn->rect);
  btn->dialog = dialog;
  WindowRef w = GetDialogWindow(dialog);
  // The tracking control lives only for this press, so it never outlives its window.
  Rect none{-100, -100, -100, -100};
  gTrackCtrl = NewControl(w, &none, reinterpret_cast<const UInt8*>("\0"), false, 0, 0, 0, pushButProc, 0);
  if (!gTrackCtrl) return 0;
  SetControlReference(gTrackCtrl, reinterpret_cast<long>(btn));
  ShowControl(gTrackCtrl);
  btn->state = kPageBtnPressed;
  DrawPageBtn(btn);
  TrackControl(gTrackCtrl, pt, MouseDownProc);
  // The state at the release: the mouse may have left the button in the
  // same move that let it go.
  MouseDownProc(gTrackCtrl, kControlNoPart);
  HideControl(gTrackCtrl);
  DisposeControl(gTrackCtrl);
  gTrackCtrl = nullptr;
  int inside = btn->state == kPageBtnPressed ? 1 : 0;
  btn->state = kPageBtnNormal;
  DrawPageBtn(btn);
  return inside;
}

namespace hold {
Rect ThumbnailPlace(int W, int H, int w, int h) {
  const int aw = W - 48, ah = H - 12;
  // A picture of no size, or no room left for it, is drawn as none.
  if (w <= 0 || h <= 0 || aw < 1 || ah < 1) return Rect{};
  // s = min(aw / w, ah / h), applied in whole numbers so the truncation is exact.
  int sw, sh;
  if (long(aw) * h <= long(ah) * w) {
    sw = aw;
    sh = int(long(h) * aw / w);
  } else {
    sh = ah;
    sw = int(long(w) * ah / h);
  }
  if (sw < 1 || sh < 1) return Rect{};
  int left = (aw - sw) / 2 + 6, top = (ah - sh) / 2 + 6;
  return Rect{short(top), short(left), short(top + sh), short(left + sw)};
}
}  // namespace hold

void DrawThumbnail(DialogRef dialog, GWorldPtr picture, short item, const short btnItems[4], bool textFlag, int set) {
  PAGE_BTN* btns = setOf(set);
  if (!dialog || !btns) return;
  DialogItemType kind;
  Handle h;
  Rect area;
  GetDialogItem(dialog, item, &kind, &h, &area);
  const int W = area.right - area.left, H = area.bottom - area.top;
  if (W <= 0 || H <= 0) return;
  Rect bounds{0, 0, short(H), short(W)};
  GWorldPtr off = nullptr;
  if (NewGWorld(&off, 32, &bounds, nullptr, nullptr, 0) != noErr || !off) return;
  Rect place{};
  if (picture) {
    Rect pb = worldBounds(picture);
    place = hold::ThumbnailPlace(W, H, pb.right - pb.left, pb.bottom - pb.top);
    if (EmptyRect(&place)) picture = nullptr;
  }
  const RGBColor white{0xFFFF, 0xFFFF, 0xFFFF}, black{0, 0, 0}, back = DialogBackColor(dialog);
  {
    tb::PortSaver saver(off);
    RGBBackColor(picture || textFlag ? &white : &back);
    EraseRect(&bounds);
    RGBForeColor(&black);
    FrameRect(&bounds);
    Rect strip{1, short(W - 1 - kStripWidth), short(H - 1), short(W - 1)};
    RGBBackColor(&back);
    EraseRect(&strip);
    for (int i = 0; i < 4; ++i) {
      Rect br;
      GetDialogItem(dialog, btnItems[i], &kind, &h, &br);
      OffsetRect(&br, short(-area.left), short(-area.top));
      drawBtnInto(&btns[i], off, br);
      OffsetRect(&br, area.left, area.top);
      btns[i].rect = br;
    }
    RGBBackColor(&white);
    RGBForeColor(&black);
    if (picture) {
      Rect pb = worldBounds(picture);
      CopyBits(GetPortBitMapForCopyBits(picture), GetPortBitMapForCopyBits(off), &pb, &place, srcCopy, nullptr);
      Rect frame = place;
      InsetRect(&frame, -1, -1);
      FrameRect(&frame);
    } else if (textFlag) {
      drawPreviewText(W, H);
    }
  }
  {
    ColorPortSaver saver(GetDialogPort(dialog));
    RGBBackColor(&white);
    RGBForeColor(&black);
    CopyBits(GetPortBitMapForCopyBits(off), GetPortBitMapForCopyBits(GetDialogPort(dialog)), &bounds, &area, srcCopy,
             nullptr);
  }
  DisposeGWorld(off);
}

void DisposeThumbnail(THUMB_ENTRY* entry) {
  if (entry && entry->picture) {
    DisposeGWorld(entry->picture);
    entry->picture = nullptr;
  }
}

void DisposeThumbnailList(PtrListHead* list) {
  for (int i = 0; auto* t = static_cast<THUMB_ENTRY*>(GetPtrList(*list, i)); ++i) DisposeThumbnail(t);
  ClearPtrList(list);
}

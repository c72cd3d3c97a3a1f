// QuickDraw: ports and offscreen worlds, pen and colours, shapes, clipping
// and CopyBits over 32-bit pixel buffers.
#include "toolbox/quickdraw.h"

#include <cmath>
#include <unordered_set>

#include "drawntext_internal.h"
#include "qd_internal.h"

namespace tb::qd {
namespace {

struct State {
  std::unordered_set<const GrafPort*> ports;
  GrafPort* current = nullptr;
  GrafPort* fallback = nullptr;
  GrafPort* screen = nullptr;
  std::function<void(CGrafPtr)> flush;
  QDErr lastError = noErr;
  GDevice device{0, Rect{0, 0, 768, 1024}};
  GDevice* deviceMaster = &device;
};

State& S() {
  static State s;
  return s;
}

constexpr int kMaxSide = 16384;

HandleSlots<PixMap>& PixMapSlots() {
  static HandleSlots<PixMap> slots;
  return slots;
}

GrafPort* MakePort(std::shared_ptr<Surface> surf) {
  auto* p = new GrafPort();
  p->surf = std::move(surf);
  p->portRect = Rect{0, 0, SInt16(p->surf->height), SInt16(p->surf->width)};
  p->pixMapHandle = PixMapSlots().acquire(&p->pixMap);
  S().ports.insert(p);
  return p;
}

std::shared_ptr<Surface> OwnedSurface(int w, int h) {
  auto s = std::make_shared<Surface>();
  w = std::clamp(w, 0, kMaxSide);
  h = std::clamp(h, 0, kMaxSide);
  s->owned.assign(std::size_t(w) * std::size_t(h), PackPixel(0xFF, 0xFF, 0xFF));
  s->base = s->owned.empty() ? nullptr : s->owned.data();
  s->rowBytes = SInt32(w) * 4;
  s->width = w;
  s->height = h;
  s->vis = Rgn::FromRect(0, 0, w, h);
  return s;
}

}  // namespace

GrafPort* Current() {
  State& s = S();
  if (s.current && Valid(s.current)) return s.current;
  if (!s.fallback) {
    s.fallback = MakePort(OwnedSurface(0, 0));
    s.fallback->ownsSurface = true;
  }
  s.current = s.fallback;
  return s.fallback;
}

bool Valid(const GrafPort* p) { return p && S().ports.count(p); }

void SetQDError(QDErr err) { S().lastError = err; }

Rgn EffectiveClip(const GrafPort* p) {
  const Surface& s = *p->surf;
  if (!s.base || s.width <= 0 || s.height <= 0) return Rgn();
  // The visible region never reaches outside the pixels.
  Rgn vis = Combine(s.vis, Rgn::FromRect(0, 0, s.width, s.height), Op::Sect);
  vis.offset(p->originH, p->originV);
  return Combine(vis, p->clip, Op::Sect);
}

void Touch(GrafPort* p) { ++p->surf->version; }

PixMap* SyncPixMap(GrafPort* p) {
  const Surface& s = *p->surf;
  PixMap& pm = p->pixMap;
  pm.baseAddr = reinterpret_cast<Ptr>(s.base);
  pm.rowBytes = s.rowBytes;
  pm.bounds = Rect{SInt16(p->originV), SInt16(p->originH), SInt16(p->originV + s.height),
                   SInt16(p->originH + s.width)};
  pm.tbPort = p;
  pm.pmVersion = 0;
  pm.pixelType = 16;
  pm.pixelSize = 32;
  pm.cmpCount = 3;
  pm.cmpSize = 8;
  return &pm;
}

void FillShape(GrafPort* p, const Rgn& shape, short mode, const Pattern& pat) {
  if (shape.empty()) return;
  Rgn clip = EffectiveClip(p);
  Rgn area = Combine(shape, clip, Op::Sect);
  if (area.empty()) return;
  Surface& s = *p->surf;
  const UInt32 fore = PixelOf(p->fg), back = PixelOf(p->bg);
  bool solid = true, clear = true;
  for (UInt8 b : pat.pat) {
    solid = solid && b == 0xFF;
    clear = clear && b == 0;
  }
  if (tb::detail::DrawnTextOn()) {
    // What hides a text beneath: a copy mode, or a uniform pattern whose
    // mode puts one colour everywhere.
    const bool hides = mode == patCopy || mode == notPatCopy || (solid && (mode == patOr || mode == patBic)) ||
                       (clear && (mode == notPatOr || mode == notPatBic));
    if (hides) tb::detail::NotePainted(p, area);
  }
  const int oh = p->originH, ov = p->originV;
  auto every = [&](auto op) {
    ForEachSpanIn(area, kMinCoord * 4, kMinCoord * 4, kMaxCoord * 4, kMaxCoord * 4, [&](int y, int x0, int x1) {
      int by = y - ov;
      UInt32* row = s.row(by);
      UInt8 bits = pat.pat[by & 7];
      for (int x = x0; x < x1; ++x) {
        int bx = x - oh;
        op(row[bx], ((bits >> (7 - (bx & 7))) & 1) != 0);
      }
    });
  };
  if (solid || clear) {
    // A uniform pattern: every pixel of the shape gets the same treatment.
    bool on = solid;
    const UInt32* value = nullptr;
    bool invert = false;
    switch (mode) {
      case patOr: if (on) value = &fore; break;
      case patXor: invert = on; break;
      case patBic: if (on) value = &back; break;
      case notPatCopy: value = on ? &back : &fore; break;
      case notPatOr: if (!on) value = &fore; break;
      case notPatXor: invert = !on; break;
      case notPatBic: if (!on) value = &back; break;
      default: value = on ? &fore : &back; break;
    }
    if (!value && !invert) return;
    ForEachSpanIn(area, kMinCoord * 4, kMinCoord * 4, kMaxCoord * 4, kMaxCoord * 4, [&](int y, int x0, int x1) {
      UInt32* row = s.row(y - ov);
      if (value) {
        std::fill(row + (x0 - oh), row + (x1 - oh), *value);
      } else {
        for (int x = x0 - oh; x < x1 - oh; ++x) row[x] = InvertPixel(row[x]);
      }
    });
    Touch(p);
    return;
  }
  switch (mode) {
    case patOr: every([&](UInt32& d, bool on) { if (on) d = fore; }); break;
    case patXor: every([&](UInt32& d, bool on) { if (on) d = InvertPixel(d); }); break;
    case patBic: every([&](UInt32& d, bool on) { if (on) d = back; }); break;
    case notPatCopy: every([&](UInt32& d, bool on) { d = on ? back : fore; }); break;
    case notPatOr: every([&](UInt32& d, bool on) { if (!on) d = fore; }); break;
    case notPatXor: every([&](UInt32& d, bool on) { if (!on) d = InvertPixel(d); }); break;
    case notPatBic: every([&](UInt32& d, bool on) { if (!on) d = back; }); break;
    default: every([&](UInt32& d, bool on) { d = on ? fore : back; }); break;
  }
  Touch(p);
}

}  // namespace tb::qd

using namespace tb::qd;
using tb::PackPixel;
using tb::PixelOf;

// ---------------------------------------------------------------------------
// Ports for the other managers

namespace tb {

CGrafPtr NewPort(short width, short height) {
  GrafPort* p = MakePort(OwnedSurface(width, height));
  p->ownsSurface = true;
  return p;
}

CGrafPtr NewPortOverBuffer(void* base, SInt32 rowBytes, short width, short height) {
  auto s = std::make_shared<Surface>();
  GrafPort* p = MakePort(s);
  p->ownsSurface = true;
  RebindPortBuffer(p, base, rowBytes, width, height);
  p->portRect = Rect{0, 0, SInt16(s->height), SInt16(s->width)};
  return p;
}

static void FollowNewSize(const std::shared_ptr<Surface>& surf) {
  for (const GrafPort* cp : S().ports) {
    auto* q = const_cast<GrafPort*>(cp);
    if (q->surf != surf) continue;
    q->portRect.bottom = SInt16(q->portRect.top + surf->height);
    q->portRect.right = SInt16(q->portRect.left + surf->width);
  }
}

void ResizePort(CGrafPtr port, short width, short height) {
  if (!Valid(port)) return;
  Surface& s = *port->surf;
  if (s.owned.empty() && s.base) return;  // someone else's pixels: RebindPortBuffer
  int w = std::clamp<int>(width, 0, kMaxSide), h = std::clamp<int>(height, 0, kMaxSide);
  std::vector<UInt32> fresh(std::size_t(w) * std::size_t(h), PackPixel(0xFF, 0xFF, 0xFF));
  for (int y = 0; y < std::min(h, s.height); ++y)
    std::copy_n(s.row(y), std::min(w, s.width), fresh.data() + std::size_t(y) * w);
  s.owned = std::move(fresh);
  s.base = s.owned.empty() ? nullptr : s.owned.data();
  s.width = w;
  s.height = h;
  s.rowBytes = w * 4;
  s.vis = Rgn::FromRect(0, 0, w, h);
  ++s.version;
  FollowNewSize(port->surf);
}

void RebindPortBuffer(CGrafPtr port, void* base, SInt32 rowBytes, short width, short height) {
  if (!Valid(port)) return;
  Surface& s = *port->surf;
  int w = std::clamp<int>(width, 0, kMaxSide), h = std::clamp<int>(height, 0, kMaxSide);
  if (!base || rowBytes < w * 4) w = h = 0;
  s.owned.clear();
  s.base = static_cast<UInt32*>(w && h ? base : nullptr);
  s.rowBytes = rowBytes;
  s.width = w;
  s.height = h;
  s.vis = Rgn::FromRect(0, 0, w, h);
  ++s.version;
  FollowNewSize(port->surf);
}

CGrafPtr ClonePort(CGrafPtr port) {
  if (!Valid(port)) return nullptr;
  auto* p = new GrafPort(*port);
  p->ownsSurface = false;
  p->isGWorld = false;
  p->pixMapHandle = PixMapSlots().acquire(&p->pixMap);
  S().ports.insert(p);
  return p;
}

void DisposePort(CGrafPtr port) {
  State& st = S();
  if (!Valid(port) || port == st.fallback) return;
  if (port->ownsSurface) {
    if (tb::detail::DrawnTextOn()) tb::detail::NoteSurfaceGone(port->surf.get());
    // Clones keep the surface alive but must not draw into pixels that go
    // away with their owner.
    Surface& s = *port->surf;
    s.owned.clear();
    s.owned.shrink_to_fit();
    s.base = nullptr;
    s.width = s.height = 0;
    s.vis = Rgn();
  }
  st.ports.erase(port);
  PixMapSlots().release(port->pixMapHandle);
  if (st.current == port) st.current = nullptr;
  if (st.screen == port) st.screen = nullptr;
  delete port;
}

void SetPortGlobalOrigin(CGrafPtr port, Point topLeft) {
  if (Valid(port)) port->surf->globalTopLeft = topLeft;
}
Point GetPortGlobalOrigin(CGrafPtr port) { return Valid(port) ? port->surf->globalTopLeft : Point{0, 0}; }
void SetPortOwner(CGrafPtr port, void* owner) {
  if (Valid(port)) port->owner = owner;
}
void* GetPortOwner(CGrafPtr port) { return Valid(port) ? port->owner : nullptr; }
bool IsGWorld(CGrafPtr port) { return Valid(port) && port->isGWorld; }
short PortWidth(CGrafPtr port) { return Valid(port) ? short(port->surf->width) : 0; }
short PortHeight(CGrafPtr port) { return Valid(port) ? short(port->surf->height) : 0; }
UInt64 PortPixelsVersion(CGrafPtr port) { return Valid(port) ? port->surf->version : 0; }
UInt32 PortPixel(CGrafPtr port, int x, int y) {
  if (!Valid(port)) return 0;
  const Surface& s = *port->surf;
  if (!s.base || x < 0 || y < 0 || x >= s.width || y >= s.height) return 0;
  return s.row(y)[x];
}

void SetScreenPort(CGrafPtr port) {
  S().screen = Valid(port) ? port : nullptr;
  if (S().screen) {
    S().device.gdRect = Rect{0, 0, SInt16(port->surf->height), SInt16(port->surf->width)};
  }
}
CGrafPtr GetScreenPort() { return Valid(S().screen) ? S().screen : nullptr; }
void SetFlushHook(std::function<void(CGrafPtr)> hook) { S().flush = std::move(hook); }

}  // namespace tb

// ---------------------------------------------------------------------------
// The current port

void GetPort(GrafPtr* port) {
  if (port) *port = Current();
}
void SetPort(GrafPtr port) {
  // A port that was never made (or is gone) is refused rather than drawn into.
  if (Valid(port)) S().current = port;
}
void MacSetPort(GrafPtr port) { SetPort(port); }
GrafPtr GetQDGlobalsThePort() { return Current(); }

void SetOrigin(short h, short v) {
  GrafPort* p = Current();
  int w = p->portRect.right - p->portRect.left, ht = p->portRect.bottom - p->portRect.top;
  int dh = h - p->portRect.left, dv = v - p->portRect.top;
  p->originH += dh;
  p->originV += dv;
  p->portRect = Rect{v, h, SInt16(v + ht), SInt16(h + w)};
}

void GlobalToLocal(Point* pt) {
  if (!pt) return;
  GrafPort* p = Current();
  pt->h = SInt16(pt->h - p->surf->globalTopLeft.h + p->originH);
  pt->v = SInt16(pt->v - p->surf->globalTopLeft.v + p->originV);
}
void LocalToGlobal(Point* pt) {
  if (!pt) return;
  GrafPort* p = Current();
  pt->h = SInt16(pt->h + p->surf->globalTopLeft.h - p->originH);
  pt->v = SInt16(pt->v + p->surf->globalTopLeft.v - p->originV);
}

Rect* GetPortBounds(CGrafPtr port, Rect* rect) {
  if (rect) *rect = Valid(port) ? port->portRect : Rect{0, 0, 0, 0};
  return rect;
}
void SetPortBounds(CGrafPtr port, const Rect* rect) {
  if (Valid(port) && rect) port->portRect = *rect;
}

RgnHandle GetPortVisibleRegion(CGrafPtr port, RgnHandle rgn) {
  if (!Valid(port) || !Impl(rgn)) return rgn;
  Rgn vis = port->surf->vis;
  vis.offset(port->originH, port->originV);
  Assign(rgn, std::move(vis));
  return rgn;
}
void SetPortVisibleRegion(CGrafPtr port, RgnHandle rgn) {
  if (!Valid(port) || !Impl(rgn)) return;
  Rgn vis = RgnOf(rgn);
  vis.offset(-port->originH, -port->originV);
  port->surf->vis = std::move(vis);
}
RgnHandle GetPortClipRegion(CGrafPtr port, RgnHandle rgn) {
  if (Valid(port) && Impl(rgn)) Assign(rgn, port->clip);
  return rgn;
}
void SetPortClipRegion(CGrafPtr port, RgnHandle rgn) {
  if (Valid(port) && Impl(rgn)) port->clip = RgnOf(rgn);
}
const BitMap* GetPortBitMapForCopyBits(CGrafPtr port) {
  if (!Valid(port)) return nullptr;
  return SyncPixMap(port);
}
PixMapHandle GetPortPixMap(CGrafPtr port) {
  if (!Valid(port)) return nullptr;
  SyncPixMap(port);
  return port->pixMapHandle;
}
void GetPortForeColor(CGrafPtr port, RGBColor* color) {
  if (Valid(port) && color) *color = port->fg;
}
void GetPortBackColor(CGrafPtr port, RGBColor* color) {
  if (Valid(port) && color) *color = port->bg;
}
Point* GetPortPenLocation(CGrafPtr port, Point* pt) {
  if (Valid(port) && pt) *pt = port->pnLoc;
  return pt;
}
Boolean IsValidPort(CGrafPtr port) { return Valid(port); }

void QDFlushPortBuffer(CGrafPtr port, RgnHandle) {
  if (S().flush && Valid(port)) S().flush(port);
}

BitMap* GetQDGlobalsScreenBits(BitMap* bits) {
  if (!bits) return bits;
  if (CGrafPtr screen = tb::GetScreenPort()) {
    *bits = *SyncPixMap(screen);
  } else {
    *bits = BitMap{nullptr, 0, S().device.gdRect, nullptr};
  }
  return bits;
}

static Pattern* FillPat(Pattern* pat, UInt8 even, UInt8 odd) {
  if (pat)
    for (int i = 0; i < 8; ++i) pat->pat[i] = (i & 1) ? odd : even;
  return pat;
}
Pattern* GetQDGlobalsBlack(Pattern* pat) { return FillPat(pat, 0xFF, 0xFF); }
Pattern* GetQDGlobalsWhite(Pattern* pat) { return FillPat(pat, 0x00, 0x00); }
Pattern* GetQDGlobalsGray(Pattern* pat) { return FillPat(pat, 0xAA, 0x55); }
Pattern* GetQDGlobalsLightGray(Pattern* pat) { return FillPat(pat, 0x88, 0x22); }
Pattern* GetQDGlobalsDarkGray(Pattern* pat) { return FillPat(pat, 0x77, 0xDD); }
GDHandle GetMainDevice() { return &S().deviceMaster; }
GDHandle GetGDevice() { return &S().deviceMaster; }

// ---------------------------------------------------------------------------
// Offscreen worlds

QDErr NewGWorld(GWorldPtr* offscreen, short pixelDepth, const Rect* boundsRect, CTabHandle, GDHandle,
                GWorldFlags) {
  if (!offscreen) return paramErr;
  *offscreen = nullptr;
  QDErr err = noErr;
  switch (pixelDepth) {
    case 0: case 1: case 2: case 4: case 8: case 16: case 32: break;
    default: err = cDepthErr;
  }
  if (!err && !boundsRect) err = paramErr;
  int w = 0, h = 0;
  if (!err) {
    w = boundsRect->right - boundsRect->left;
    h = boundsRect->bottom - boundsRect->top;
    if (w <= 0 || h <= 0) err = paramErr;
    else if (w > kMaxSide || h > kMaxSide) err = memFullErr;
  }
  if (err) {
    SetQDError(err);
    return err;
  }
  GrafPort* p = MakePort(OwnedSurface(w, h));
  p->ownsSurface = true;
  p->isGWorld = true;
  p->originH = boundsRect->left;
  p->originV = boundsRect->top;
  p->portRect = *boundsRect;
  *offscreen = p;
  SetQDError(noErr);
  return noErr;
}

void DisposeGWorld(GWorldPtr offscreen) {
  if (Valid(offscreen) && offscreen->isGWorld) tb::DisposePort(offscreen);
}

void GetGWorld(CGrafPtr* port, GDHandle* gdh) {
  if (port) *port = Current();
  if (gdh) *gdh = &S().deviceMaster;
}
void SetGWorld(CGrafPtr port, GDHandle) { SetPort(port); }

static GrafPort* PortOfPixMap(PixMapHandle pm) {
  if (!pm || !*pm) return nullptr;
  GrafPort* p = (*pm)->tbPort;
  return Valid(p) ? p : nullptr;
}
PixMapHandle GetGWorldPixMap(GWorldPtr offscreen) { return GetPortPixMap(offscreen); }
Boolean LockPixels(PixMapHandle pm) { return PortOfPixMap(pm) != nullptr; }
void UnlockPixels(PixMapHandle) {}
Ptr GetPixBaseAddr(PixMapHandle pm) {
  GrafPort* p = PortOfPixMap(pm);
  return p ? SyncPixMap(p)->baseAddr : nullptr;
}
SInt32 GetPixRowBytes(PixMapHandle pm) {
  GrafPort* p = PortOfPixMap(pm);
  return p ? SyncPixMap(p)->rowBytes : 0;
}
Rect* GetPixBounds(PixMapHandle pm, Rect* bounds) {
  if (!bounds) return bounds;
  GrafPort* p = PortOfPixMap(pm);
  *bounds = p ? SyncPixMap(p)->bounds : Rect{0, 0, 0, 0};
  return bounds;
}
short GetPixDepth(PixMapHandle pm) { return PortOfPixMap(pm) ? 32 : 0; }
QDErr QDError() { return S().lastError; }

// ---------------------------------------------------------------------------
// Pen and colours

void PenNormal() {
  GrafPort* p = Current();
  p->pnSize = Point{1, 1};
  p->pnMode = patCopy;
  GetQDGlobalsBlack(&p->pnPat);
}
void PenSize(short width, short height) { Current()->pnSize = Point{height, width}; }
void PenMode(short mode) { Current()->pnMode = mode; }
void PenPat(const Pattern* pat) {
  if (pat) Current()->pnPat = *pat;
}
void BackPat(const Pattern* pat) {
  if (pat) Current()->bkPat = *pat;
}
void GetPenState(PenState* state) {
  if (!state) return;
  GrafPort* p = Current();
  *state = PenState{p->pnLoc, p->pnSize, p->pnMode, p->pnPat};
}
void SetPenState(const PenState* state) {
  if (!state) return;
  GrafPort* p = Current();
  p->pnLoc = state->pnLoc;
  p->pnSize = state->pnSize;
  p->pnMode = state->pnMode;
  p->pnPat = state->pnPat;
}
void GetPen(Point* pt) {
  if (pt) *pt = Current()->pnLoc;
}
void MoveTo(short h, short v) { Current()->pnLoc = Point{v, h}; }
void Move(short dh, short dv) {
  GrafPort* p = Current();
  p->pnLoc.h = SInt16(p->pnLoc.h + dh);
  p->pnLoc.v = SInt16(p->pnLoc.v + dv);
}

void LineTo(short h, short v) {
  GrafPort* p = Current();
  int x0 = p->pnLoc.h, y0 = p->pnLoc.v, x1 = h, y1 = v;
  p->pnLoc = Point{v, h};
  int pw = p->pnSize.h, ph = p->pnSize.v;
  if (pw <= 0 || ph <= 0) return;
  // The pen's rectangle hangs below and to the right of each point of the
  // line; the shape it sweeps is convex, so every row is one run.
  int top = std::min(y0, y1), bottom = std::max(y0, y1) + ph;
  std::vector<int> lo(std::size_t(bottom - top), INT32_MAX), hi(std::size_t(bottom - top), INT32_MIN);
  auto stamp = [&](int x, int y) {
    for (int r = y; r < y + ph; ++r) {
      auto i = std::size_t(r - top);
      lo[i] = std::min(lo[i], x);
      hi[i] = std::max(hi[i], x + pw);
    }
  };
  int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  int x = x0, y = y0;
  for (;;) {
    stamp(x, y);
    if (x == x1 && y == y1) break;
    int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
  Rgn shape;
  for (int r = top; r < bottom; ++r) {
    auto i = std::size_t(r - top);
    if (lo[i] < hi[i]) {
      Span s{lo[i], hi[i]};
      shape.appendBand(r, r + 1, &s, 1);
    }
  }
  shape.finish();
  FillShape(p, shape, p->pnMode, p->pnPat);
}
void Line(short dh, short dv) {
  Point at = Current()->pnLoc;
  LineTo(SInt16(at.h + dh), SInt16(at.v + dv));
}

void RGBForeColor(const RGBColor* color) {
  if (color) Current()->fg = *color;
}
void RGBBackColor(const RGBColor* color) {
  if (color) Current()->bg = *color;
}
void GetForeColor(RGBColor* color) {
  if (color) *color = Current()->fg;
}
void GetBackColor(RGBColor* color) {
  if (color) *color = Current()->bg;
}
static RGBColor OldColor(SInt32 c) {
  switch (c) {
    case whiteColor: return {0xFFFF, 0xFFFF, 0xFFFF};
    case yellowColor: return {0xFC00, 0xF37D, 0x052F};
    case magentaColor: return {0xF2D7, 0x0856, 0x84EC};
    case redColor: return {0xDD6B, 0x08C2, 0x06A2};
    case cyanColor: return {0x0241, 0xAB54, 0xEAFF};
    case greenColor: return {0x0000, 0x8000, 0x11B0};
    case blueColor: return {0x0000, 0x0000, 0xD400};
    default: return {0, 0, 0};
  }
}
void ForeColor(SInt32 color) { Current()->fg = OldColor(color); }
void BackColor(SInt32 color) { Current()->bg = OldColor(color); }

void GetCPixel(short h, short v, RGBColor* color) {
  if (!color) return;
  GrafPort* p = Current();
  UInt32 px = tb::PortPixel(p, h - p->originH, v - p->originV);
  UInt8 r, g, b;
  tb::UnpackPixel(px, r, g, b);
  *color = RGBColor{UInt16(r * 0x101), UInt16(g * 0x101), UInt16(b * 0x101)};
}
void SetCPixel(short h, short v, const RGBColor* color) {
  if (!color) return;
  GrafPort* p = Current();
  if (!EffectiveClip(p).contains(h, v)) return;
  p->surf->row(v - p->originV)[h - p->originH] = PixelOf(*color);
  Touch(p);
}

// ---------------------------------------------------------------------------
// Rectangles and points

void MacSetRect(Rect* r, short left, short top, short right, short bottom) {
  if (r) *r = Rect{top, left, bottom, right};
}
void OffsetRect(Rect* r, short dh, short dv) {
  if (!r) return;
  r->left = SInt16(r->left + dh);
  r->right = SInt16(r->right + dh);
  r->top = SInt16(r->top + dv);
  r->bottom = SInt16(r->bottom + dv);
}
void InsetRect(Rect* r, short dh, short dv) {
  if (!r) return;
  r->left = SInt16(r->left + dh);
  r->right = SInt16(r->right - dh);
  r->top = SInt16(r->top + dv);
  r->bottom = SInt16(r->bottom - dv);
  if (r->left >= r->right || r->top >= r->bottom) *r = Rect{0, 0, 0, 0};
}
Boolean SectRect(const Rect* a, const Rect* b, Rect* dst) {
  if (!a || !b) return false;
  Rect r{std::max(a->top, b->top), std::max(a->left, b->left), std::min(a->bottom, b->bottom),
         std::min(a->right, b->right)};
  bool ok = r.left < r.right && r.top < r.bottom;
  if (dst) *dst = ok ? r : Rect{0, 0, 0, 0};
  return ok;
}
void UnionRect(const Rect* a, const Rect* b, Rect* dst) {
  if (!a || !b || !dst) return;
  *dst = Rect{std::min(a->top, b->top), std::min(a->left, b->left), std::max(a->bottom, b->bottom),
              std::max(a->right, b->right)};
}
Boolean EqualRect(const Rect* a, const Rect* b) {
  return a && b && a->top == b->top && a->left == b->left && a->bottom == b->bottom && a->right == b->right;
}
Boolean EmptyRect(const Rect* r) { return !r || r->left >= r->right || r->top >= r->bottom; }
Boolean PtInRect(Point pt, const Rect* r) {
  return r && pt.h >= r->left && pt.h < r->right && pt.v >= r->top && pt.v < r->bottom;
}
void Pt2Rect(Point a, Point b, Rect* dst) {
  if (dst) *dst = Rect{std::min(a.v, b.v), std::min(a.h, b.h), std::max(a.v, b.v), std::max(a.h, b.h)};
}
void AddPt(Point src, Point* dst) {
  if (dst) *dst = Point{SInt16(dst->v + src.v), SInt16(dst->h + src.h)};
}
void SubPt(Point src, Point* dst) {
  if (dst) *dst = Point{SInt16(dst->v - src.v), SInt16(dst->h - src.h)};
}
Boolean EqualPt(Point a, Point b) { return a.h == b.h && a.v == b.v; }

// ---------------------------------------------------------------------------
// Shapes

namespace {

Rgn RectShape(const Rect* r) { return r ? Rgn::FromRect(r->left, r->top, r->right, r->bottom) : Rgn(); }

// Rows of a rectangle with its corners rounded by an ellipse of ow x oh
// (an oval when the ellipse is the rectangle's size).
Rgn RoundShape(const Rect* r, int ow, int oh) {
  Rgn out;
  if (!r || r->left >= r->right || r->top >= r->bottom) return out;
  int w = r->right - r->left, h = r->bottom - r->top;
  ow = std::clamp(ow, 0, w);
  oh = std::clamp(oh, 0, h);
  if (ow < 2 || oh < 2) return RectShape(r);
  double rx = ow / 2.0, ry = oh / 2.0;
  for (int y = r->top; y < r->bottom; ++y) {
    double cy = y + 0.5;
    double dy = 0;  // distance into the corner's ellipse, 0 in the straight part
    if (cy < r->top + ry) dy = r->top + ry - cy;
    else if (cy > r->bottom - ry) dy = cy - (r->bottom - ry);
    int inset = 0;
    if (dy > 0) {
      double t = 1.0 - (dy * dy) / (ry * ry);
      double dx = t > 0 ? rx * std::sqrt(t) : 0.0;
      inset = int(std::lround(rx - dx));
    }
    Span s{r->left + inset, r->right - inset};
    out.appendBand(y, y + 1, &s, 1);
  }
  out.finish();
  return out;
}

Rgn Frame(const Rgn& shape, const GrafPort* p) {
  return Combine(shape, Inset(shape, p->pnSize.h, p->pnSize.v), Op::Diff);
}

Rgn FrameOf(const Rect* r, int ow, int oh, bool oval, const GrafPort* p) {
  if (!r) return Rgn();
  Rgn outer = oval ? RoundShape(r, r->right - r->left, r->bottom - r->top) : RoundShape(r, ow, oh);
  Rect in = *r;
  in.left = SInt16(in.left + p->pnSize.h);
  in.right = SInt16(in.right - p->pnSize.h);
  in.top = SInt16(in.top + p->pnSize.v);
  in.bottom = SInt16(in.bottom - p->pnSize.v);
  if (in.left >= in.right || in.top >= in.bottom) return outer;
  Rgn inner = oval ? RoundShape(&in, in.right - in.left, in.bottom - in.top)
                   : RoundShape(&in, ow - 2 * p->pnSize.h, oh - 2 * p->pnSize.v);
  return Combine(outer, inner, Op::Diff);
}

void Paint(const Rgn& shape) {
  GrafPort* p = Current();
  FillShape(p, shape, p->pnMode, p->pnPat);
}
void Erase(const Rgn& shape) {
  GrafPort* p = Current();
  FillShape(p, shape, patCopy, p->bkPat);
}
void Invert(const Rgn& shape) {
  Pattern black;
  GetQDGlobalsBlack(&black);
  FillShape(Current(), shape, patXor, black);
}
void Fill(const Rgn& shape, const Pattern* pat) {
  if (pat) FillShape(Current(), shape, patCopy, *pat);
}
void FramePen(const Rgn& frame) {
  GrafPort* p = Current();
  if (p->pnSize.h <= 0 || p->pnSize.v <= 0) return;
  FillShape(p, frame, p->pnMode, p->pnPat);
}
Rgn OvalShape(const Rect* r) { return r ? RoundShape(r, r->right - r->left, r->bottom - r->top) : Rgn(); }

}  // namespace

void FrameRect(const Rect* r) {
  if (r) FramePen(FrameOf(r, 0, 0, false, Current()));
}
void PaintRect(const Rect* r) { Paint(RectShape(r)); }
void EraseRect(const Rect* r) { Erase(RectShape(r)); }
void InvertRect(const Rect* r) { Invert(RectShape(r)); }
void FillRect(const Rect* r, const Pattern* pat) { Fill(RectShape(r), pat); }

void FrameOval(const Rect* r) {
  if (r) FramePen(FrameOf(r, 0, 0, true, Current()));
}
void PaintOval(const Rect* r) { Paint(OvalShape(r)); }
void EraseOval(const Rect* r) { Erase(OvalShape(r)); }
void InvertOval(const Rect* r) { Invert(OvalShape(r)); }
void FillOval(const Rect* r, const Pattern* pat) { Fill(OvalShape(r), pat); }

void FrameRoundRect(const Rect* r, short ow, short oh) {
  if (r) FramePen(FrameOf(r, ow, oh, false, Current()));
}
void PaintRoundRect(const Rect* r, short ow, short oh) { Paint(RoundShape(r, ow, oh)); }
void EraseRoundRect(const Rect* r, short ow, short oh) { Erase(RoundShape(r, ow, oh)); }
void InvertRoundRect(const Rect* r, short ow, short oh) { Invert(RoundShape(r, ow, oh)); }
void FillRoundRect(const Rect* r, short ow, short oh, const Pattern* pat) { Fill(RoundShape(r, ow, oh), pat); }

void FrameRgn(RgnHandle rgn) {
  if (Impl(rgn)) FramePen(Frame(RgnOf(rgn), Current()));
}
void PaintRgn(RgnHandle rgn) {
  if (Impl(rgn)) Paint(RgnOf(rgn));
}
void EraseRgn(RgnHandle rgn) {
  if (Impl(rgn)) Erase(RgnOf(rgn));
}
void InvertRgn(RgnHandle rgn) {
  if (Impl(rgn)) Invert(RgnOf(rgn));
}
void FillRgn(RgnHandle rgn, const Pattern* pat) {
  if (Impl(rgn)) Fill(RgnOf(rgn), pat);
}

// ---------------------------------------------------------------------------
// Clipping

void ClipRect(const Rect* r) {
  if (r) Current()->clip = RectShape(r);
}
void SetClip(RgnHandle rgn) {
  if (Impl(rgn)) Current()->clip = RgnOf(rgn);
}
void GetClip(RgnHandle rgn) {
  if (Impl(rgn)) Assign(rgn, Current()->clip);
}

// ---------------------------------------------------------------------------
// CopyBits

namespace {

struct Image32 {
  const UInt8* base = nullptr;
  SInt32 rowBytes = 0;
  Rect bounds{};
  GrafPort* port = nullptr;
};

bool Resolve(const BitMap* bm, Image32& out) {
  if (!bm) return false;
  if (bm->tbPort) {
    if (!Valid(bm->tbPort)) return false;
    // The caller's BitMap may be an old copy: take the pixels as they are now.
    const PixMap* pm = SyncPixMap(bm->tbPort);
    out = Image32{reinterpret_cast<const UInt8*>(pm->baseAddr), pm->rowBytes, pm->bounds, bm->tbPort};
  } else {
    out = Image32{reinterpret_cast<const UInt8*>(bm->baseAddr), bm->rowBytes, bm->bounds, nullptr};
  }
  int w = out.bounds.right - out.bounds.left, h = out.bounds.bottom - out.bounds.top;
  return out.base && w > 0 && h > 0 && out.rowBytes >= w * 4;
}

}  // namespace

void CopyBits(const BitMap* src, const BitMap* dst, const Rect* srcRect, const Rect* dstRect, short mode,
              RgnHandle maskRgn) {
  Image32 s, d;
  if (!srcRect || !dstRect || !Resolve(src, s) || !Resolve(dst, d)) return;
  const int sw = srcRect->right - srcRect->left, sh = srcRect->bottom - srcRect->top;
  const int dw = dstRect->right - dstRect->left, dh = dstRect->bottom - dstRect->top;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;

  Rgn area = Rgn::FromRect(std::max<int>(dstRect->left, d.bounds.left), std::max<int>(dstRect->top, d.bounds.top),
                           std::min<int>(dstRect->right, d.bounds.right),
                           std::min<int>(dstRect->bottom, d.bounds.bottom));
  if (d.port) area = Combine(area, EffectiveClip(d.port), Op::Sect);
  if (maskRgn) {
    if (!Impl(maskRgn)) return;
    area = Combine(area, RgnOf(maskRgn), Op::Sect);
  }
  if (area.empty()) return;
  if (tb::detail::DrawnTextOn()) {
    const int cm = mode & ~ditherCopy;
    tb::detail::NoteCopied(s.port, d.port, *srcRect, *dstRect, maskRgn ? &RgnOf(maskRgn) : nullptr,
                           cm == srcCopy || cm == notSrcCopy);
  }

  // The source rows that will be read, copied aside first when they share
  // memory with the destination.
  const int ssw = s.bounds.right - s.bounds.left, ssh = s.bounds.bottom - s.bounds.top;
  std::vector<UInt32> copy;
  const UInt8* sbase = s.base;
  SInt32 srow = s.rowBytes;
  const UInt8* dEnd = d.base + std::ptrdiff_t(d.rowBytes) * (d.bounds.bottom - d.bounds.top);
  const UInt8* sEnd = s.base + std::ptrdiff_t(s.rowBytes) * ssh;
  if (s.base < dEnd && d.base < sEnd) {
    copy.resize(std::size_t(ssw) * ssh);
    for (int y = 0; y < ssh; ++y)
      std::memcpy(copy.data() + std::size_t(y) * ssw, s.base + std::ptrdiff_t(y) * s.rowBytes, std::size_t(ssw) * 4);
    sbase = reinterpret_cast<const UInt8*>(copy.data());
    srow = ssw * 4;
  }

  const int m = mode & ~ditherCopy;
  GrafPort* colours = d.port ? d.port : Current();
  const UInt32 back = PixelOf(colours->bg), fore = PixelOf(colours->fg);
  const UInt32 rgb = PackPixel(0xFF, 0xFF, 0xFF);
  const bool scaled = sw != dw || sh != dh;
  // Source column for each destination column (nearest pixel).
  std::vector<int> colMap;
  if (scaled) {
    colMap.resize(std::size_t(dw));
    for (int i = 0; i < dw; ++i) colMap[std::size_t(i)] = srcRect->left + int((std::int64_t(i) * sw) / dw);
  }
  auto rows = [&](auto op) {
    ForEachSpanIn(area, kMinCoord * 4, kMinCoord * 4, kMaxCoord * 4, kMaxCoord * 4, [&](int y, int x0, int x1) {
      int sy = srcRect->top + int((std::int64_t(y - dstRect->top) * sh) / dh);
      if (sy < s.bounds.top || sy >= s.bounds.bottom) return;
      const auto* srow32 = reinterpret_cast<const UInt32*>(sbase + std::ptrdiff_t(sy - s.bounds.top) * srow);
      auto* drow32 = reinterpret_cast<UInt32*>(const_cast<UInt8*>(d.base) + std::ptrdiff_t(y - d.bounds.top) * d.rowBytes);
      const int sl = s.bounds.left, dl = d.bounds.left;
      // Only source columns inside the source's bounds are read.
      if (!scaled) {
        int shift = srcRect->left - dstRect->left;
        int a = std::max(x0, s.bounds.left - shift), b = std::min(x1, s.bounds.right - shift);
        if (m == srcCopy) {
          if (a < b) std::memcpy(drow32 + (a - dl), srow32 + (a + shift - sl), std::size_t(b - a) * 4);
          return;
        }
        for (int x = a; x < b; ++x) op(drow32[x - dl], srow32[x + shift - sl] & rgb);
      } else {
        const int* cols = colMap.data();
        for (int x = x0; x < x1; ++x) {
          int sx = cols[x - dstRect->left];
          if (sx >= s.bounds.left && sx < s.bounds.right) op(drow32[x - dl], srow32[sx - sl] & rgb);
        }
      }
    });
  };
  const UInt32 clearPx = back & rgb;
  // Anything but white counts as the source's "black" in the Boolean modes.
  switch (m) {
    case transparent: rows([&](UInt32& dp, UInt32 sp) { if (sp != clearPx) dp = sp; }); break;
    case srcOr: rows([&](UInt32& dp, UInt32 sp) { if (sp != rgb) dp = sp; }); break;
    case srcXor: rows([&](UInt32& dp, UInt32 sp) { if (sp != rgb) dp = InvertPixel(dp); }); break;
    case srcBic: rows([&](UInt32& dp, UInt32 sp) { if (sp != rgb) dp = back; }); break;
    case notSrcCopy: rows([&](UInt32& dp, UInt32 sp) { dp = InvertPixel(sp); }); break;
    case notSrcOr: rows([&](UInt32& dp, UInt32 sp) { if (sp == rgb) dp = fore; }); break;
    case notSrcXor: rows([&](UInt32& dp, UInt32 sp) { if (sp == rgb) dp = InvertPixel(dp); }); break;
    case notSrcBic: rows([&](UInt32& dp, UInt32 sp) { if (sp == rgb) dp = back; }); break;
    default: rows([&](UInt32& dp, UInt32 sp) { dp = sp; }); break;
  }
  if (d.port) Touch(d.port);
}

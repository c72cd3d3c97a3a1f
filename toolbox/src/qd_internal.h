// Internals shared by the QuickDraw sources (quickdraw.cpp, regions.cpp,
// fonts.cpp, pictures.cpp). Not part of the toolbox's interface.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "toolbox/quickdraw.h"

namespace tb::qd {

// Coordinates of the open plane, as far as 16-bit rectangles reach.
constexpr int kMinCoord = -32768;
constexpr int kMaxCoord = 32767;

struct Span {
  int x0;
  int x1;  // exclusive
};

// A set of pixels as horizontal bands; each band covers rows [y0, y1) with
// the same sorted, disjoint, non-touching spans. Bands are sorted, do not
// overlap, and neighbours with equal spans are merged, so equal sets have
// equal representations.
class Rgn {
 public:
  struct Band {
    int y0;
    int y1;
    std::uint32_t first;  // index into spans
    std::uint32_t count;
  };

  Rgn() = default;
  static Rgn FromRect(int left, int top, int right, int bottom);
  static Rgn Open() { return FromRect(kMinCoord, kMinCoord, kMaxCoord, kMaxCoord); }

  bool empty() const { return bands_.empty(); }
  const std::vector<Band>& bands() const { return bands_; }
  const std::vector<Span>& spans() const { return spans_; }
  // Bounding box; all zero when empty.
  int left() const { return left_; }
  int top() const { return top_; }
  int right() const { return right_; }
  int bottom() const { return bottom_; }
  bool isRect() const { return bands_.size() == 1 && bands_[0].count == 1; }
  bool contains(int x, int y) const;
  bool intersectsRect(int left, int top, int right, int bottom) const;
  void offset(int dx, int dy);
  bool operator==(const Rgn& o) const;

  // Building, band by band from top to bottom. Spans of one call must be
  // sorted and disjoint; touching or empty spans are fine.
  void appendBand(int y0, int y1, const Span* spans, std::size_t n);
  void finish();  // recomputes the bounding box

 private:
  std::vector<Band> bands_;
  std::vector<Span> spans_;
  int left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
};

enum class Op { Union, Sect, Diff, Xor };
Rgn Combine(const Rgn& a, const Rgn& b, Op op);
// Shrinks (d > 0) or grows (d < 0) every side.
Rgn Inset(const Rgn& r, int dh, int dv);
// The spans of r in row y (empty when none).
std::span<const Span> RowSpans(const Rgn& r, int y);

// Calls fn(y, x0, x1) for every run of pixels of r inside the rectangle,
// row by row from the top.
template <class Fn>
void ForEachSpanIn(const Rgn& r, int left, int top, int right, int bottom, Fn&& fn) {
  for (const auto& b : r.bands()) {
    if (b.y1 <= top) continue;
    if (b.y0 >= bottom) break;
    int ya = std::max(b.y0, top), yb = std::min(b.y1, bottom);
    for (int y = ya; y < yb; ++y) {
      for (std::uint32_t i = 0; i < b.count; ++i) {
        const Span& s = r.spans()[b.first + i];
        int xa = std::max(s.x0, left), xb = std::min(s.x1, right);
        if (xa < xb) fn(y, xa, xb);
      }
    }
  }
}

// Master pointers for handles. A slot outlives what it points to (it is
// cleared and later reused), so a handle used after its object was disposed
// reads null instead of freed memory.
template <class T>
class HandleSlots {
 public:
  T** acquire(T* p) {
    T** h;
    if (!free_.empty()) {
      h = free_.back();
      free_.pop_back();
    } else {
      slots_.push_back(nullptr);
      h = &slots_.back();
    }
    *h = p;
    return h;
  }
  void release(T** h) {
    if (!h) return;
    *h = nullptr;
    free_.push_back(h);
  }

 private:
  std::deque<T*> slots_;
  std::vector<T**> free_;
};

// The Region behind a RgnHandle.
struct RegionImpl : MacRegion {
  MacRegion** handle;
  Rgn rgn;
  void sync();  // updates rgnBBox from rgn
};
// Null for a null or unknown handle.
RegionImpl* Impl(RgnHandle h);
Rgn& RgnOf(RgnHandle h);  // an empty region for a bad handle
void Assign(RgnHandle h, Rgn r);

// Pixels that one or more ports draw into.
struct Surface {
  std::vector<UInt32> owned;
  UInt32* base = nullptr;
  SInt32 rowBytes = 0;  // bytes
  int width = 0;
  int height = 0;
  Rgn vis;  // buffer coordinates
  Point globalTopLeft{0, 0};
  UInt64 version = 0;
  UInt32* row(int y) const {
    return reinterpret_cast<UInt32*>(reinterpret_cast<UInt8*>(base) + std::ptrdiff_t(y) * rowBytes);
  }
};

}  // namespace tb::qd

struct GrafPort {
  std::shared_ptr<tb::qd::Surface> surf;
  bool ownsSurface = false;  // the port the pixels were made for
  bool isGWorld = false;
  int originH = 0;  // local coordinates of the buffer's top-left pixel
  int originV = 0;
  Rect portRect{};
  tb::qd::Rgn clip = tb::qd::Rgn::Open();  // local coordinates
  PixMap pixMap{};
  PixMap** pixMapHandle = nullptr;

  Point pnLoc{0, 0};
  Point pnSize{1, 1};
  SInt16 pnMode = patCopy;
  Pattern pnPat{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
  Pattern bkPat{{0, 0, 0, 0, 0, 0, 0, 0}};
  RGBColor fg{0, 0, 0};
  RGBColor bg{0xFFFF, 0xFFFF, 0xFFFF};

  short txFont = 0;
  Style txFace = 0;
  short txMode = srcOr;
  short txSize = 0;

  void* owner = nullptr;
};

namespace tb::qd {

GrafPort* Current();  // never null
bool Valid(const GrafPort* p);
// The port's drawable area in local coordinates: buffer ∩ visible ∩ clip.
Rgn EffectiveClip(const GrafPort* p);
void Touch(GrafPort* p);  // the pixels changed
// Refreshes and returns the port's PixMap from its surface.
PixMap* SyncPixMap(GrafPort* p);

// Fills the shape (local coordinates, already clipped by the caller or not)
// in the port with a pattern mode, fore and back colours of the port.
void FillShape(GrafPort* p, const Rgn& shape, short mode, const Pattern& pat);
// Blends a colour with 8-bit coverage into a pixel.
inline UInt32 Blend(UInt32 dst, UInt32 src, unsigned a) {
  if (a >= 255) return src;
  if (a == 0) return dst;
  UInt8 dr, dg, db, sr, sg, sb;
  UnpackPixel(dst, dr, dg, db);
  UnpackPixel(src, sr, sg, sb);
  auto mix = [a](unsigned d, unsigned s) { return UInt8((s * a + d * (255 - a) + 127) / 255); };
  return PackPixel(mix(dr, sr), mix(dg, sg), mix(db, sb));
}
inline UInt32 InvertPixel(UInt32 v) { return v ^ PackPixel(0xFF, 0xFF, 0xFF); }
void SetQDError(QDErr err);

}  // namespace tb::qd

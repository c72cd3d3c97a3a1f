// Regions as bands of spans, and the region calls of QuickDraw.
#include <algorithm>
#include <unordered_set>

#include "qd_internal.h"
#include "toolbox/invariant.h"

namespace tb::qd {

Rgn Rgn::FromRect(int left, int top, int right, int bottom) {
  Rgn r;
  if (left < right && top < bottom) {
    Span s{left, right};
    r.appendBand(top, bottom, &s, 1);
    r.finish();
  }
  return r;
}

void Rgn::appendBand(int y0, int y1, const Span* spans, std::size_t n) {
  if (y0 >= y1) return;
  // Every lookup and combination relies on bands sorted top to bottom and
  // spans sorted left to right.
  TB_INVARIANT(bands_.empty() || bands_.back().y1 <= y0);
  // Normalise: drop empty spans and join touching ones.
  std::size_t start = spans_.size();
  for (std::size_t i = 0; i < n; ++i) {
    TB_INVARIANT(i == 0 || spans[i - 1].x0 <= spans[i].x0);
    if (spans[i].x0 >= spans[i].x1) continue;
    if (spans_.size() > start && spans_.back().x1 >= spans[i].x0) {
      spans_.back().x1 = std::max(spans_.back().x1, spans[i].x1);
    } else {
      spans_.push_back(spans[i]);
    }
  }
  std::uint32_t count = std::uint32_t(spans_.size() - start);
  if (count == 0) return;
  if (!bands_.empty()) {
    Band& last = bands_.back();
    if (last.y1 == y0 && last.count == count &&
        std::equal(spans_.begin() + last.first, spans_.begin() + last.first + count,
                   spans_.begin() + start,
                   [](const Span& a, const Span& b) { return a.x0 == b.x0 && a.x1 == b.x1; })) {
      last.y1 = y1;
      spans_.resize(start);
      return;
    }
  }
  bands_.push_back(Band{y0, y1, std::uint32_t(start), count});
}

void Rgn::finish() {
  if (bands_.empty()) {
    left_ = top_ = right_ = bottom_ = 0;
    spans_.clear();
    return;
  }
  top_ = bands_.front().y0;
  bottom_ = bands_.back().y1;
  left_ = kMaxCoord * 4;
  right_ = kMinCoord * 4;
  for (const auto& b : bands_) {
    left_ = std::min(left_, spans_[b.first].x0);
    right_ = std::max(right_, spans_[b.first + b.count - 1].x1);
  }
}

bool Rgn::contains(int x, int y) const {
  for (auto s : RowSpans(*this, y))
    if (x >= s.x0 && x < s.x1) return true;
  return false;
}

bool Rgn::intersectsRect(int left, int top, int right, int bottom) const {
  bool hit = false;
  for (const auto& b : bands_) {
    if (b.y1 <= top) continue;
    if (b.y0 >= bottom) break;
    for (std::uint32_t i = 0; i < b.count && !hit; ++i) {
      const Span& s = spans_[b.first + i];
      hit = s.x0 < right && s.x1 > left;
    }
    if (hit) return true;
  }
  return false;
}

void Rgn::offset(int dx, int dy) {
  for (auto& b : bands_) {
    b.y0 += dy;
    b.y1 += dy;
  }
  for (auto& s : spans_) {
    s.x0 += dx;
    s.x1 += dx;
  }
  if (!bands_.empty()) {
    left_ += dx;
    right_ += dx;
    top_ += dy;
    bottom_ += dy;
  }
}

bool Rgn::operator==(const Rgn& o) const {
  if (bands_.size() != o.bands_.size()) return false;
  for (std::size_t i = 0; i < bands_.size(); ++i) {
    const Band &a = bands_[i], &b = o.bands_[i];
    if (a.y0 != b.y0 || a.y1 != b.y1 || a.count != b.count) return false;
    for (std::uint32_t k = 0; k < a.count; ++k) {
      const Span &sa = spans_[a.first + k], &sb = o.spans_[b.first + k];
      if (sa.x0 != sb.x0 || sa.x1 != sb.x1) return false;
    }
  }
  return true;
}

std::span<const Span> RowSpans(const Rgn& r, int y) {
  const auto& bands = r.bands();
  auto it = std::upper_bound(bands.begin(), bands.end(), y,
                             [](int v, const Rgn::Band& b) { return v < b.y1; });
  if (it == bands.end() || it->y0 > y) return {};
  return std::span<const Span>(r.spans().data() + it->first, it->count);
}

namespace {

// One-dimensional boolean operation of two normalised span lists.
void Combine1D(std::span<const Span> a, std::span<const Span> b, Op op, std::vector<Span>& out) {
  out.clear();
  std::size_t i = 0, j = 0;
  bool inA = false, inB = false, inOut = false;
  int start = 0;
  auto eval = [op](bool x, bool y) {
    switch (op) {
      case Op::Union: return x || y;
      case Op::Sect: return x && y;
      case Op::Diff: return x && !y;
      case Op::Xor: return x != y;
    }
    return false;
  };
  // Walk every span boundary in order.
  while (i < a.size() * 2 || j < b.size() * 2) {
    int xa = i < a.size() * 2 ? ((i & 1) ? a[i / 2].x1 : a[i / 2].x0) : INT32_MAX;
    int xb = j < b.size() * 2 ? ((j & 1) ? b[j / 2].x1 : b[j / 2].x0) : INT32_MAX;
    int x = std::min(xa, xb);
    if (xa == x) {
      inA = !inA;
      ++i;
    }
    if (xb == x) {
      inB = !inB;
      ++j;
    }
    bool now = eval(inA, inB);
    if (now != inOut) {
      if (now) {
        start = x;
      } else if (start < x) {
        out.push_back(Span{start, x});
      }
      inOut = now;
    }
  }
}

}  // namespace

Rgn Combine(const Rgn& a, const Rgn& b, Op op) {
  // Quick answers.
  if (op == Op::Sect && (a.empty() || b.empty())) return Rgn();
  if (a.empty()) return (op == Op::Diff) ? Rgn() : b;
  if (b.empty()) return a;
  if (op == Op::Sect && a.isRect() && b.isRect()) {
    return Rgn::FromRect(std::max(a.left(), b.left()), std::max(a.top(), b.top()),
                         std::min(a.right(), b.right()), std::min(a.bottom(), b.bottom()));
  }
  std::vector<int> ys;
  ys.reserve((a.bands().size() + b.bands().size()) * 2);
  for (const auto& band : a.bands()) {
    ys.push_back(band.y0);
    ys.push_back(band.y1);
  }
  for (const auto& band : b.bands()) {
    ys.push_back(band.y0);
    ys.push_back(band.y1);
  }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  Rgn out;
  std::vector<Span> row;
  std::size_t ia = 0, ib = 0;
  const auto& ba = a.bands();
  const auto& bb = b.bands();
  for (std::size_t k = 0; k + 1 < ys.size(); ++k) {
    int y0 = ys[k], y1 = ys[k + 1];
    while (ia < ba.size() && ba[ia].y1 <= y0) ++ia;
    while (ib < bb.size() && bb[ib].y1 <= y0) ++ib;
    std::span<const Span> sa, sb;
    if (ia < ba.size() && ba[ia].y0 <= y0)
      sa = std::span<const Span>(a.spans().data() + ba[ia].first, ba[ia].count);
    if (ib < bb.size() && bb[ib].y0 <= y0)
      sb = std::span<const Span>(b.spans().data() + bb[ib].first, bb[ib].count);
    if (sa.empty() && sb.empty()) continue;
    Combine1D(sa, sb, op, row);
    out.appendBand(y0, y1, row.data(), row.size());
  }
  out.finish();
  return out;
}

Rgn Inset(const Rgn& r, int dh, int dv) {
  if (r.empty()) return r;
  // Horizontal: move every span's ends.
  Rgn h;
  std::vector<Span> row;
  for (const auto& b : r.bands()) {
    row.clear();
    for (std::uint32_t i = 0; i < b.count; ++i) {
      Span s = r.spans()[b.first + i];
      s.x0 += dh;
      s.x1 -= dh;
      if (s.x0 < s.x1) row.push_back(s);
    }
    // Growing can make spans overlap; appendBand joins sorted overlapping spans.
    h.appendBand(b.y0, b.y1, row.data(), row.size());
  }
  h.finish();
  if (dv == 0) return h;
  // Vertical: a row stays (shrinking) when every row within dv of it is in,
  // or is added (growing) when any row within |dv| is in.
  int n = dv > 0 ? dv : -dv;
  Rgn acc = h;
  for (int d = 1; d <= n; ++d) {
    Rgn up = h, down = h;
    up.offset(0, -d);
    down.offset(0, d);
    Op op = dv > 0 ? Op::Sect : Op::Union;
    acc = Combine(Combine(acc, up, op), down, op);
  }
  return acc;
}

void RegionImpl::sync() {
  auto clamp16 = [](int v) { return SInt16(std::clamp(v, kMinCoord, kMaxCoord)); };
  rgnBBox = Rect{clamp16(rgn.top()), clamp16(rgn.left()), clamp16(rgn.bottom()), clamp16(rgn.right())};
  rgnSize = UInt16(std::min<std::size_t>(10 + rgn.spans().size() * 4 + rgn.bands().size() * 4, 0xFFFF));
}

namespace {
std::unordered_set<const RegionImpl*>& Live() {
  static std::unordered_set<const RegionImpl*> live;
  return live;
}
HandleSlots<MacRegion>& Slots() {
  static HandleSlots<MacRegion> slots;
  return slots;
}
}  // namespace

RegionImpl* Impl(RgnHandle h) {
  if (!h || !*h) return nullptr;
  auto* impl = static_cast<RegionImpl*>(*h);
  return Live().count(impl) ? impl : nullptr;
}

Rgn& RgnOf(RgnHandle h) {
  static Rgn empty;
  RegionImpl* impl = Impl(h);
  if (!impl) {
    empty = Rgn();
    return empty;
  }
  return impl->rgn;
}

void Assign(RgnHandle h, Rgn r) {
  if (RegionImpl* impl = Impl(h)) {
    impl->rgn = std::move(r);
    impl->sync();
  }
}

RgnHandle NewRegion() {
  auto* impl = new RegionImpl();
  impl->handle = Slots().acquire(impl);
  impl->sync();
  Live().insert(impl);
  return impl->handle;
}

void DeleteRegion(RgnHandle h) {
  RegionImpl* impl = Impl(h);
  if (!impl) return;
  Live().erase(impl);
  Slots().release(impl->handle);
  delete impl;
}

}  // namespace tb::qd

using namespace tb::qd;

RgnHandle NewRgn() { return tb::qd::NewRegion(); }
void DisposeRgn(RgnHandle rgn) { tb::qd::DeleteRegion(rgn); }

void CopyRgn(RgnHandle src, RgnHandle dst) {
  if (Impl(src) && Impl(dst) && src != dst) Assign(dst, RgnOf(src));
}
void SetEmptyRgn(RgnHandle rgn) { Assign(rgn, Rgn()); }
void SetRectRgn(RgnHandle rgn, short left, short top, short right, short bottom) {
  Assign(rgn, Rgn::FromRect(left, top, right, bottom));
}
void RectRgn(RgnHandle rgn, const Rect* r) {
  if (r) SetRectRgn(rgn, r->left, r->top, r->right, r->bottom);
}
void OffsetRgn(RgnHandle rgn, short dh, short dv) {
  if (RegionImpl* impl = Impl(rgn)) {
    impl->rgn.offset(dh, dv);
    impl->sync();
  }
}
void InsetRgn(RgnHandle rgn, short dh, short dv) {
  if (Impl(rgn)) Assign(rgn, Inset(RgnOf(rgn), dh, dv));
}

static void Binary(RgnHandle a, RgnHandle b, RgnHandle dst, Op op) {
  if (!Impl(a) || !Impl(b) || !Impl(dst)) return;
  Rgn r = Combine(Impl(a)->rgn, Impl(b)->rgn, op);
  Assign(dst, std::move(r));
}
void SectRgn(RgnHandle a, RgnHandle b, RgnHandle dst) { Binary(a, b, dst, Op::Sect); }
void UnionRgn(RgnHandle a, RgnHandle b, RgnHandle dst) { Binary(a, b, dst, Op::Union); }
void DiffRgn(RgnHandle a, RgnHandle b, RgnHandle dst) { Binary(a, b, dst, Op::Diff); }
void XorRgn(RgnHandle a, RgnHandle b, RgnHandle dst) { Binary(a, b, dst, Op::Xor); }

Boolean PtInRgn(Point pt, RgnHandle rgn) {
  RegionImpl* impl = Impl(rgn);
  return impl && impl->rgn.contains(pt.h, pt.v);
}
Boolean RectInRgn(const Rect* r, RgnHandle rgn) {
  RegionImpl* impl = Impl(rgn);
  return impl && r && impl->rgn.intersectsRect(r->left, r->top, r->right, r->bottom);
}
Boolean EqualRgn(RgnHandle a, RgnHandle b) {
  RegionImpl *ia = Impl(a), *ib = Impl(b);
  return ia && ib && ia->rgn == ib->rgn;
}
Boolean EmptyRgn(RgnHandle rgn) {
  RegionImpl* impl = Impl(rgn);
  return !impl || impl->rgn.empty();
}
Rect* GetRegionBounds(RgnHandle rgn, Rect* bounds) {
  if (!bounds) return bounds;
  RegionImpl* impl = Impl(rgn);
  *bounds = impl ? impl->rgnBBox : Rect{0, 0, 0, 0};
  return bounds;
}
Boolean IsRegionRectangular(RgnHandle rgn) {
  RegionImpl* impl = Impl(rgn);
  return impl && impl->rgn.isRect();
}

OSErr BitMapToRegion(RgnHandle rgn, const BitMap* bits) {
  if (!Impl(rgn) || !bits) return paramErr;
  if (bits->tbPort && Valid(bits->tbPort)) bits = tb::qd::SyncPixMap(bits->tbPort);
  int w = bits->bounds.right - bits->bounds.left;
  int h = bits->bounds.bottom - bits->bounds.top;
  if (w <= 0 || h <= 0 || !bits->baseAddr) {
    Assign(rgn, Rgn());
    return noErr;
  }
  if (bits->rowBytes < SInt32(w) * 4) return paramErr;
  // The first byte of a pixel is not part of its colour.
  const UInt32 white = tb::PackPixel(0xFF, 0xFF, 0xFF);
  Rgn out;
  std::vector<Span> row;
  for (int y = 0; y < h; ++y) {
    const auto* px = reinterpret_cast<const UInt32*>(bits->baseAddr + std::ptrdiff_t(y) * bits->rowBytes);
    row.clear();
    int x = 0;
    while (x < w) {
      while (x < w && (px[x] & white) == white) ++x;
      int s = x;
      while (x < w && (px[x] & white) != white) ++x;
      if (s < x) row.push_back(Span{bits->bounds.left + s, bits->bounds.left + x});
    }
    out.appendBand(bits->bounds.top + y, bits->bounds.top + y + 1, row.data(), row.size());
  }
  out.finish();
  Assign(rgn, std::move(out));
  return noErr;
}

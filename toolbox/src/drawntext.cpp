// The drawn-text report: each text drawn is kept with the pixels it went
// into (a window's, an offscreen world's, or a picture recorded on one), in
// the pixels' own coordinates, together with what of its ink should show
// (inside the pixels and the clip) and what does (also inside the visible
// region, less what was painted over since). Copies and pictures carry the
// texts of their source along; a window's texts are also logged as they
// land.
#include "toolbox/drawntext.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

#include "drawntext_internal.h"
#include "toolbox/display.h"

using namespace tb::qd;

namespace tb::detail {
bool gDrawnTextOn = false;
}

namespace {

constexpr unsigned kInkLevel = 96;  // coverage from which a glyph's pixel counts as ink
constexpr std::size_t kMaxPerSurface = 4096;
constexpr std::size_t kMaxLog = 65536;
constexpr std::size_t kMaxShortened = 64;

struct Entry {
  std::string text;
  std::string full;
  tb::TextSource source = tb::TextSource::kDirect;
  short item = 0;
  bool shortened = false;
  WindowRef window = nullptr;
  // Coordinates of the pixels the entry lives in (buffer, or a picture's
  // frame with its top-left at 0, 0).
  Rgn box, ink, frame;
  Rgn expected;  // what of the ink should show
  Rgn visible;   // what of it does
  UInt16 cut = 0;
};

struct PictureTexts {
  UInt64 hash = 0;
  Rect frame{};  // at 0, 0
  std::vector<Entry> entries;
};

struct Scope {
  tb::TextSource source = tb::TextSource::kDirect;
  Rect frame{};
  bool hasFrame = false;
  short item = 0;
  bool shortened = false;
};

struct Report {
  std::unordered_map<const Surface*, std::vector<Entry>> live;
  std::unordered_map<const void*, PictureTexts> pictures;
  std::deque<tb::DrawnText> log;
  std::deque<std::pair<std::string, std::string>> shortened;  // (full, shortened), newest last
};

Report& R() {
  static Report& r = *new Report;  // outlives the windows disposed at exit
  return r;
}
Scope gScope;

Rgn FromRect(const Rect& r) { return Rgn::FromRect(r.left, r.top, r.right, r.bottom); }
Rgn Offset(Rgn r, int dx, int dy) {
  r.offset(dx, dy);
  return r;
}
Rect Bounds(const Rgn& r) {
  auto c = [](int v) { return SInt16(std::clamp(v, kMinCoord, kMaxCoord)); };
  return Rect{c(r.top()), c(r.left()), c(r.bottom()), c(r.right())};
}
bool Covers(const Rgn& outer, const Rgn& inner) { return Combine(inner, outer, Op::Diff).empty(); }

UInt64 Hash(std::span<const UInt8> bytes) {
  UInt64 h = 1469598103934665603ull;
  for (UInt8 b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

bool Usable(const GrafPort* p) { return Valid(p) && p->surf && p->surf->base; }
Rgn PixelsOf(const GrafPort* p) { return Rgn::FromRect(0, 0, p->surf->width, p->surf->height); }
Rgn ClipOf(const GrafPort* p) { return Offset(p->clip, -p->originH, -p->originV); }
Rgn VisOf(const GrafPort* p) { return Combine(p->surf->vis, PixelsOf(p), Op::Sect); }

// Maps regions from one rectangle onto another: by offset when the sizes
// agree, else by bounds.
struct Mapping {
  Rect from, to;
  bool scaled() const {
    return from.right - from.left != to.right - to.left || from.bottom - from.top != to.bottom - to.top;
  }
  int x(int v) const {
    const int fw = from.right - from.left, tw = to.right - to.left;
    return to.left + int((std::int64_t(v - from.left) * tw) / std::max(fw, 1));
  }
  int y(int v) const {
    const int fh = from.bottom - from.top, th = to.bottom - to.top;
    return to.top + int((std::int64_t(v - from.top) * th) / std::max(fh, 1));
  }
  Rgn operator()(const Rgn& r) const {
    if (r.empty()) return r;
    if (!scaled()) return Offset(r, to.left - from.left, to.top - from.top);
    return Rgn::FromRect(x(r.left()), y(r.top()), x(r.right()), y(r.bottom()));
  }
};

tb::DrawnText Snapshot(const Entry& e, const GrafPort* p, WindowRef window) {
  tb::DrawnText d;
  d.text = e.text;
  d.full = e.full;
  d.window = window;
  d.source = e.source;
  d.item = e.item;
  d.shortened = e.shortened;
  d.cut = e.cut;
  const int ox = p->originH, oy = p->originV;
  d.box = Bounds(Offset(e.box, ox, oy));
  d.ink = Bounds(Offset(e.ink, ox, oy));
  d.frame = Bounds(Offset(e.frame, ox, oy));
  d.shown = Bounds(Offset(e.visible, ox, oy));
  if (window) {
    const Point g = p->surf->globalTopLeft;
    Rgn screen = Rgn::FromRect(-g.h, -g.v, tb::ScreenWidth() - g.h, tb::ScreenHeight() - g.v);
    if (!Covers(screen, Combine(e.ink, PixelsOf(p), Op::Sect))) d.cut |= tb::kOffScreen;
  }
  return d;
}

WindowRef WindowOf(GrafPort* p) { return p->isGWorld ? nullptr : GetWindowFromPort(p); }

// Puts an entry into p's pixels: the same words in the same place as a live
// entry take its place, keeping what of it showed.
void Land(GrafPort* p, Entry e) {
  Report& r = R();
  e.window = WindowOf(p);
  auto& v = r.live[p->surf.get()];
  for (auto it = v.begin(); it != v.end(); ++it) {
    if (it->text == e.text && it->source == e.source && it->box == e.box) {
      e.visible = Combine(Combine(it->visible, e.visible, Op::Union), e.expected, Op::Sect);
      v.erase(it);
      break;
    }
  }
  if (v.size() >= kMaxPerSurface) v.erase(v.begin());
  if (!p->isGWorld) {
    if (r.log.size() >= kMaxLog) r.log.pop_front();
    r.log.push_back(Snapshot(e, p, e.window));
  }
  v.push_back(std::move(e));
}

// Lands entries whose coordinates are those of `from` in dst at `to` (local
// coordinates of dst), cut by dst's pixels, clip and mask; text that came
// from an offscreen world or a picture cut by its edge counts as clipped.
void Transfer(const std::vector<Entry>& entries, const Rect& from, GrafPort* dst, const Rect& to, const Rgn* mask) {
  const int ox = dst->originH, oy = dst->originV;
  const Rect toB{SInt16(to.top - oy), SInt16(to.left - ox), SInt16(to.bottom - oy), SInt16(to.right - ox)};
  const Mapping map{from, toB};
  const Rgn pixels = PixelsOf(dst);
  Rgn area = Combine(Combine(FromRect(toB), pixels, Op::Sect), ClipOf(dst), Op::Sect);
  if (mask) area = Combine(area, Offset(*mask, -ox, -oy), Op::Sect);
  const Rgn shows = Combine(area, VisOf(dst), Op::Sect);
  const Rgn source = FromRect(from);
  for (const Entry& s : entries) {
    if (!s.ink.intersectsRect(from.left, from.top, from.right, from.bottom)) continue;
    Entry e = s;
    e.cut = UInt16(s.cut & ~tb::kOutsideWindow);
    if (s.cut & tb::kOutsideWindow) e.cut |= tb::kCutByClip;
    e.box = map(s.box);
    e.ink = map(s.ink);
    Rgn frame = map(s.frame);
    Rgn frameShown = Combine(frame, area, Op::Sect);
    e.frame = frameShown.empty()
                  ? frame
                  : Rgn::FromRect(frameShown.left(), frameShown.top(), frameShown.right(), frameShown.bottom());
    if (!Covers(pixels, e.ink)) e.cut |= tb::kOutsideWindow;
    const Rgn brought = map(Combine(s.expected, source, Op::Sect));
    if (!Covers(source, s.expected) || !Covers(area, Combine(brought, pixels, Op::Sect))) e.cut |= tb::kCutByClip;
    e.expected = Combine(brought, area, Op::Sect);
    e.visible = Combine(map(Combine(s.visible, source, Op::Sect)), shows, Op::Sect);
    Land(dst, std::move(e));
  }
}

}  // namespace

namespace tb::detail {

void AddInk(Rgn& ink, const UInt8* coverage, int w, int h, int x, int y) {
  if (!coverage || w <= 0 || h <= 0) return;
  Rgn glyph;
  std::vector<Span> spans;
  for (int row = 0; row < h; ++row) {
    spans.clear();
    const UInt8* c = coverage + std::size_t(row) * w;
    for (int i = 0; i < w;) {
      if (c[i] < kInkLevel) {
        ++i;
        continue;
      }
      const int start = i;
      while (i < w && c[i] >= kInkLevel) ++i;
      spans.push_back(Span{x + start, x + i});
    }
    glyph.appendBand(y + row, y + row + 1, spans.data(), spans.size());
  }
  glyph.finish();
  ink = Combine(ink, glyph, Op::Union);
}

void NoteDrawnText(GrafPort* p, std::string_view text, const Rect& box, const Rgn& ink) {
  if (!Usable(p) || ink.empty()) return;
  Report& r = R();
  const int ox = p->originH, oy = p->originV;
  Entry e;
  e.text = std::string(text);
  e.source = gScope.source;
  e.item = gScope.item;
  e.shortened = gScope.shortened;
  for (auto it = r.shortened.rbegin(); it != r.shortened.rend(); ++it) {
    const std::size_t at = e.text.find(it->second);
    if (at == std::string::npos) continue;
    e.shortened = true;
    e.full = e.text;
    e.full.replace(at, it->second.size(), it->first);
    break;
  }
  e.box = Offset(FromRect(box), -ox, -oy);
  e.ink = Offset(ink, -ox, -oy);
  e.frame = gScope.hasFrame ? Offset(FromRect(gScope.frame), -ox, -oy) : e.box;
  const Rgn inPixels = Combine(e.ink, PixelsOf(p), Op::Sect);
  if (!(inPixels == e.ink)) e.cut |= tb::kOutsideWindow;
  e.expected = Combine(inPixels, ClipOf(p), Op::Sect);
  if (!(e.expected == inPixels)) e.cut |= tb::kCutByClip;
  if (gScope.hasFrame && !Covers(e.frame, e.ink)) e.cut |= tb::kOutsideFrame;
  e.visible = Combine(e.expected, VisOf(p), Op::Sect);
  Land(p, std::move(e));
}

void NoteUndrawnText(GrafPort* p, std::string_view text, const Rect& box) {
  if (!Usable(p) || text.empty()) return;
  Entry e;
  e.text = std::string(text);
  e.source = gScope.source;
  e.item = gScope.item;
  e.box = e.ink = Offset(FromRect(box), -p->originH, -p->originV);
  e.frame = gScope.hasFrame ? Offset(FromRect(gScope.frame), -p->originH, -p->originV) : e.box;
  e.cut = tb::kNotDrawn;
  Land(p, std::move(e));
}

void NotePainted(GrafPort* p, const Rgn& area) {
  if (!Usable(p) || area.empty()) return;
  auto found = R().live.find(p->surf.get());
  if (found == R().live.end()) return;
  const Rgn hit = Offset(area, -p->originH, -p->originV);
  auto& v = found->second;
  std::erase_if(v, [&](Entry& e) {
    if (!e.ink.intersectsRect(hit.left(), hit.top(), hit.right(), hit.bottom())) return false;
    const Rgn inPixels = Combine(e.ink, PixelsOf(p), Op::Sect);
    if (!inPixels.empty() && Covers(hit, inPixels)) return true;
    e.visible = Combine(e.visible, hit, Op::Diff);
    return false;
  });
}

void NoteCopied(GrafPort* src, GrafPort* dst, const Rect& srcRect, const Rect& dstRect, const Rgn* mask, bool opaque) {
  if (!Usable(dst)) return;
  std::vector<Entry> carried;
  if (Usable(src)) {
    auto found = R().live.find(src->surf.get());
    if (found != R().live.end()) carried = found->second;  // dst may be src
  }
  if (opaque) {
    Rgn area = Combine(FromRect(dstRect), EffectiveClip(dst), Op::Sect);
    if (mask) area = Combine(area, *mask, Op::Sect);
    NotePainted(dst, area);
  }
  if (carried.empty()) return;
  const Rect from{SInt16(srcRect.top - src->originV), SInt16(srcRect.left - src->originH),
                  SInt16(srcRect.bottom - src->originV), SInt16(srcRect.right - src->originH)};
  Transfer(carried, from, dst, dstRect, mask);
}

void NotePictureClosed(GrafPort* p, const void* pic, std::span<const UInt8> bytes, const Rect& frame) {
  if (!Usable(p) || !pic) return;
  Report& r = R();
  r.pictures.erase(pic);
  auto found = r.live.find(p->surf.get());
  if (found == r.live.end()) return;
  const int fx = frame.left - p->originH, fy = frame.top - p->originV;
  const Rgn inside = Rgn::FromRect(fx, fy, fx + frame.right - frame.left, fy + frame.bottom - frame.top);
  PictureTexts made;
  for (const Entry& s : found->second) {
    if (!s.ink.intersectsRect(inside.left(), inside.top(), inside.right(), inside.bottom())) continue;
    Entry e = s;
    if (!Covers(inside, s.expected)) e.cut |= tb::kCutByClip;
    e.expected = Offset(Combine(s.expected, inside, Op::Sect), -fx, -fy);
    e.visible = Offset(Combine(s.visible, inside, Op::Sect), -fx, -fy);
    e.box = Offset(s.box, -fx, -fy);
    e.ink = Offset(s.ink, -fx, -fy);
    e.frame = Offset(s.frame, -fx, -fy);
    made.entries.push_back(std::move(e));
  }
  if (made.entries.empty()) return;
  made.hash = Hash(bytes);
  made.frame = Rect{0, 0, SInt16(frame.bottom - frame.top), SInt16(frame.right - frame.left)};
  r.pictures.emplace(pic, std::move(made));
}

void NotePictureDrawn(GrafPort* p, const void* pic, std::span<const UInt8> bytes, const Rect& dst) {
  if (!Usable(p)) return;
  auto found = R().pictures.find(pic);
  if (found == R().pictures.end()) return;
  if (found->second.hash != Hash(bytes)) {  // the handle now holds another picture
    R().pictures.erase(found);
    return;
  }
  const PictureTexts picture = found->second;  // drawing may record into this picture again
  Transfer(picture.entries, picture.frame, p, dst, nullptr);
}

void NotePictureGone(const void* pic) { R().pictures.erase(pic); }

void NoteSurfaceGone(const Surface* surface) { R().live.erase(surface); }

void NoteShortened(std::string_view full, std::string_view shortened) {
  auto& q = R().shortened;
  if (shortened.empty()) return;
  if (q.size() >= kMaxShortened) q.pop_front();
  q.emplace_back(std::string(full), std::string(shortened));
}

TextSource CurrentTextSource() { return gScope.source; }
short CurrentTextItem() { return gScope.item; }

}  // namespace tb::detail

namespace tb {

const char* TextSourceName(TextSource source) {
  switch (source) {
    case TextSource::kDirect: return "text";
    case TextSource::kStaticText: return "static text";
    case TextSource::kEditText: return "edit text";
    case TextSource::kTextEdit: return "text box";
    case TextSource::kControlTitle: return "control title";
    case TextSource::kListCell: return "list cell";
    case TextSource::kListHeader: return "list header";
    case TextSource::kTabTitle: return "tab title";
    case TextSource::kTextEngine: return "text field";
    case TextSource::kUnicodeText: return "unicode text";
    case TextSource::kMenu: return "menu";
    case TextSource::kWindowTitle: return "window title";
    case TextSource::kChooser: return "chooser";
  }
  return "text";
}

std::string DescribeTextCut(UInt16 cut) {
  static const std::pair<UInt16, const char*> kNames[] = {
      {kCutByClip, "cut by the clip"}, {kOutsideWindow, "outside the window"}, {kOffScreen, "off the screen"},
      {kPaintedOver, "painted over"},  {kNotDrawn, "not drawn (did not fit)"}, {kOutsideFrame, "outside its rectangle"},
  };
  std::string out;
  for (const auto& [bit, name] : kNames) {
    if (!(cut & bit)) continue;
    if (!out.empty()) out += ", ";
    out += name;
  }
  return out;
}

void StartDrawnTextReport() {
  StopDrawnTextReport();
  detail::gDrawnTextOn = true;
}

void StopDrawnTextReport() {
  detail::gDrawnTextOn = false;
  Report& r = R();
  r.live.clear();
  r.pictures.clear();
  r.log.clear();
  r.shortened.clear();
}

bool DrawnTextReportOn() { return detail::gDrawnTextOn; }

std::vector<DrawnText> DrawnTexts(WindowRef window) {
  std::vector<DrawnText> out;
  for (WindowRef w = GetWindowList(); w; w = GetNextWindow(w)) {
    if (window && w != window) continue;
    GrafPort* port = GetWindowPort(w);
    if (!Usable(port)) continue;
    auto found = R().live.find(port->surf.get());
    if (found == R().live.end()) continue;
    for (const Entry& e : found->second) {
      DrawnText d = Snapshot(e, port, w);
      if (!Covers(e.visible, e.expected)) d.cut |= kPaintedOver;
      out.push_back(std::move(d));
    }
  }
  return out;
}

std::vector<DrawnText> DrawnTextLog(WindowRef window) {
  std::vector<DrawnText> out;
  for (const DrawnText& d : R().log)
    if (!window || d.window == window) out.push_back(d);
  return out;
}

void ClearDrawnTextLog() { R().log.clear(); }

DrawnTextScope::DrawnTextScope(TextSource source, const Rect* frame, short item, bool shortened)
    : saved_{gScope.source, gScope.frame, gScope.hasFrame, gScope.item, gScope.shortened} {
  gScope.source = source;
  gScope.hasFrame = frame != nullptr;
  gScope.frame = frame ? *frame : Rect{};
  gScope.item = item;
  gScope.shortened = shortened;
}

DrawnTextScope::~DrawnTextScope() {
  gScope = Scope{saved_.source, saved_.frame, saved_.hasFrame, saved_.item, saved_.shortened};
}

}  // namespace tb

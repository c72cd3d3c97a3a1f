// Window Manager: the window list in front-to-back order, each window's
// port, pixels and frame, its parts found, dragged, grown and zoomed, the
// update regions, and the screen composed from the windows.
#include "toolbox/windows.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <vector>

#include "display_backend.h"
#include "screen_internal.h"
#include "toolbox/clock.h"
#include "toolbox/display.h"
#include "toolbox/drawntext.h"
#include "toolbox/memory.h"
#include "toolbox/menus.h"

#if __has_include("toolbox/resources.h")
#include "toolbox/resources.h"
#define TB_HAVE_RESOURCES 1
#endif

struct WindowRecord {
  CGrafPtr port = nullptr;
  short procID = documentProc;
  bool goAway = false;
  bool visible = false;
  bool hilited = false;
  bool collapsed = false;
  bool zoomed = false;  // in the standard (zoomed-out) state
  bool inUpdate = false;
  bool stdStateSet = false;
  short kind = kApplicationWindowKind;
  long refCon = 0;
  Str255 title{};
  RGBColor content{0xFFFF, 0xFFFF, 0xFFFF};
  Point origin{0, 0};  // global top-left of the content
  short width = 0;
  short height = 0;
  RgnHandle updateRgn = nullptr;  // buffer coordinates (0, 0 = top-left pixel)
  RgnHandle savedVis = nullptr;
  Rect stdState{};
  Rect userState{};
  // The frame, drawn once per change of its look and copied at every
  // composite.
  CGrafPtr framePort = nullptr;
  bool frameDirty = true;
  WindowPartCode pressed = 0;
  UInt64 frameVersion = 1;
  // Tells the compositor a new window from one that stood at the same
  // address before it.
  UInt64 serial = 0;
};

namespace {

constexpr short kTitleBar = 20;
constexpr short kBoxSize = 12;
constexpr short kGrowBox = 15;

struct PendingActivate {
  WindowRecord* window;
  bool active;
};

// The last press on a title bar that moved nothing: a second press there
// soon after is the second click of a double-click.
struct TitleClick {
  WindowRecord* window = nullptr;
  UInt32 releasedAt = 0;
  Point where{};
};

struct WMState {
  std::vector<WindowRecord*> windows;  // front to back
  TitleClick titleClick;
  WindowRecord* active = nullptr;
  std::deque<PendingActivate> activates;
  UInt64 orderVersion = 1;
  bool haveOutline = false;
  Rect outline{};
  bool suspended = false;  // another program of the desktop has the keyboard
};

WMState& wm() {
  static WMState& s = *new WMState;
  return s;
}

bool isWindow(WindowRef w) {
  if (!w) return false;
  auto& v = wm().windows;
  return std::find(v.begin(), v.end(), w) != v.end();
}

// --- frame geometry --------------------------------------------------------

bool hasTitleBar(const WindowRecord* w) {
  switch (w->procID) {
    case dBoxProc:
    case plainDBox:
    case altDBoxProc:
      return false;
    default:
      return true;
  }
}
bool isDocument(const WindowRecord* w) { return hasTitleBar(w) && w->procID != movableDBoxProc; }
bool hasGrow(const WindowRecord* w) { return w->procID == documentProc || w->procID == zoomDocProc; }
bool hasZoom(const WindowRecord* w) { return w->procID == zoomDocProc || w->procID == zoomNoGrow; }
bool hasCollapse(const WindowRecord* w) { return isDocument(w); }

short borderOf(const WindowRecord* w) { return w->procID == dBoxProc ? 3 : 1; }
short shadowOf(const WindowRecord* w) { return w->procID == altDBoxProc ? 2 : 0; }
short titleOf(const WindowRecord* w) { return hasTitleBar(w) ? kTitleBar : 0; }

Rect contentRect(const WindowRecord* w) {
  return Rect{w->origin.v, w->origin.h, SInt16(w->origin.v + w->height),
              SInt16(w->origin.h + w->width)};
}

Rect structureRect(const WindowRecord* w) {
  Rect c = contentRect(w);
  short b = borderOf(w), s = shadowOf(w), t = titleOf(w);
  if (w->collapsed) c.bottom = c.top;
  return Rect{SInt16(c.top - b - t), SInt16(c.left - b), SInt16(c.bottom + b + s),
              SInt16(c.right + b + s)};
}

Rect titleBarRect(const WindowRecord* w) {
  Rect s = structureRect(w);
  short b = borderOf(w);
  return Rect{SInt16(s.top + b), SInt16(s.left + b), SInt16(s.top + b + titleOf(w)),
              SInt16(s.right - b - shadowOf(w))};
}

Rect boxAt(const Rect& title, short left) {
  short top = SInt16(title.top + (kTitleBar - kBoxSize) / 2);
  return Rect{top, left, SInt16(top + kBoxSize), SInt16(left + kBoxSize)};
}
Rect closeBoxRect(const WindowRecord* w) {
  Rect t = titleBarRect(w);
  return boxAt(t, SInt16(t.left + 8));
}
Rect collapseBoxRect(const WindowRecord* w) {
  Rect t = titleBarRect(w);
  return boxAt(t, SInt16(t.right - 8 - kBoxSize));
}
Rect zoomBoxRect(const WindowRecord* w) {
  Rect t = titleBarRect(w);
  short right = hasCollapse(w) ? SInt16(t.right - 8 - kBoxSize - 6) : SInt16(t.right - 8);
  return boxAt(t, SInt16(right - kBoxSize));
}
Rect growBoxRect(const WindowRecord* w) {
  Rect c = contentRect(w);
  return Rect{SInt16(c.bottom - kGrowBox), SInt16(c.right - kGrowBox), c.bottom, c.right};
}

bool inRect(Point p, const Rect& r) {
  return p.v >= r.top && p.v < r.bottom && p.h >= r.left && p.h < r.right;
}

// --- ports -------------------------------------------------------------------

void fillBuffer(WindowRecord* w, const Rect& bufferRect) {
  tb::PortSaver save;
  SetPort(w->port);
  Rect pr;
  GetPortBounds(w->port, &pr);
  Rect r = bufferRect;
  OffsetRect(&r, pr.left, pr.top);
  RGBColor oldBack;
  GetBackColor(&oldBack);
  RGBBackColor(&w->content);
  EraseRect(&r);
  RGBBackColor(&oldBack);
}

// The frame's version tells the compositor (the window's part of the
// screen is put together again).
void markFrame(WindowRecord* w) {
  w->frameDirty = true;
  ++w->frameVersion;
}

// The order's version tells the compositor to look at what changed place.
void orderChanged() { ++wm().orderVersion; }

// Activation follows the frontmost visible window: the old one is told it
// is deactivated, the new one that it is activated.
// While the program is in the background no window is active.
void reconsiderFront() {
  WindowRecord* front = wm().suspended ? nullptr : FrontWindow();
  if (front == wm().active) return;
  if (wm().active) {
    wm().active->hilited = false;
    markFrame(wm().active);
    wm().activates.push_back({wm().active, false});
  }
  if (front) {
    front->hilited = true;
    markFrame(front);
    wm().activates.push_back({front, true});
  }
  wm().active = front;
}

void invalidateAll(WindowRecord* w) {
  SetRectRgn(w->updateRgn, 0, 0, w->width, w->height);
}

void placeBehind(WindowRecord* w, WindowRef behind) {
  auto& v = wm().windows;
  v.erase(std::remove(v.begin(), v.end(), w), v.end());
  if (behind == kFirstWindowOfClass) {
    v.insert(v.begin(), w);
  } else if (!behind || !isWindow(behind)) {
    v.push_back(w);
  } else {
    v.insert(std::find(v.begin(), v.end(), behind) + 1, w);
  }
  orderChanged();
}

Rect defaultStdState(const WindowRecord* w) {
  Rect s = tb::ScreenBounds();
  short top = SInt16(GetMBarHeight() + borderOf(w) + titleOf(w) + 2);
  return Rect{top, SInt16(s.left + 3), SInt16(s.bottom - 3), SInt16(s.right - 3)};
}

// --- frame drawing -----------------------------------------------------------

RGBColor rgb(UInt8 r, UInt8 g, UInt8 b) { return RGBColor{UInt16(r * 257), UInt16(g * 257), UInt16(b * 257)}; }

void paint(const Rect& r, const RGBColor& c) {
  RGBForeColor(&c);
  PaintRect(&r);
}
void frame(const Rect& r, const RGBColor& c) {
  RGBForeColor(&c);
  FrameRect(&r);
}

void drawBox(const Rect& r, WindowPartCode part, bool pressed) {
  paint(r, pressed ? rgb(0x60, 0x60, 0x60) : rgb(0xF4, 0xF4, 0xF4));
  frame(r, rgb(0x50, 0x50, 0x50));
  RGBColor mark = pressed ? rgb(0xFF, 0xFF, 0xFF) : rgb(0x50, 0x50, 0x50);
  RGBForeColor(&mark);
  if (part == inZoomOut) {
    Rect in = Rect{SInt16(r.top + 3), SInt16(r.left + 3), SInt16(r.bottom - 5), SInt16(r.right - 5)};
    FrameRect(&in);
  } else if (part == inCollapseBox) {
    MoveTo(SInt16(r.left + 3), SInt16(r.top + 5));
    LineTo(SInt16(r.right - 4), SInt16(r.top + 5));
    MoveTo(SInt16(r.left + 3), SInt16(r.top + 6));
    LineTo(SInt16(r.right - 4), SInt16(r.top + 6));
  }
}

// Draws the frame into the window's frame buffer, in coordinates where the
// structure's top-left is (0, 0).
void renderFrame(WindowRecord* w) {
  Rect s = structureRect(w);
  short sw = SInt16(s.right - s.left), sh = SInt16(s.bottom - s.top);
  if (!w->framePort) {
    w->framePort = tb::NewPort(sw, sh);
  } else if (tb::PortWidth(w->framePort) != sw || tb::PortHeight(w->framePort) != sh) {
    tb::ResizePort(w->framePort, sw, sh);
  }
  tb::PortSaver save;
  SetPort(w->framePort);
  PenNormal();
  const short dh = SInt16(-s.left), dv = SInt16(-s.top);
  auto local = [&](Rect r) {
    OffsetRect(&r, dh, dv);
    return r;
  };
  const short b = borderOf(w), sd = shadowOf(w);
  Rect all{0, 0, sh, sw};
  Rect body{0, 0, SInt16(sh - sd), SInt16(sw - sd)};
  if (sd) {
    paint(all, rgb(0xFF, 0xFF, 0xFF));
    Rect shadow = body;
    OffsetRect(&shadow, sd, sd);
    paint(shadow, rgb(0x30, 0x30, 0x30));
  }
  paint(body, rgb(0xFF, 0xFF, 0xFF));
  frame(body, rgb(0x40, 0x40, 0x40));
  if (b == 3) {
    Rect inner = body;
    InsetRect(&inner, 1, 1);
    frame(inner, rgb(0xE0, 0xE0, 0xE0));
    InsetRect(&inner, 1, 1);
    frame(inner, rgb(0x40, 0x40, 0x40));
  }
  if (!hasTitleBar(w)) return;

  Rect t = local(titleBarRect(w));
  paint(t, w->hilited ? rgb(0xD6, 0xD6, 0xD6) : rgb(0xEE, 0xEE, 0xEE));
  RGBColor line = rgb(0xA0, 0xA0, 0xA0);
  RGBForeColor(&line);
  MoveTo(t.left, SInt16(t.bottom - 1));
  LineTo(SInt16(t.right - 1), SInt16(t.bottom - 1));

  short textLeft = SInt16(t.left + 8), textRight = SInt16(t.right - 8);
  if (w->hilited) {
    if (w->goAway) {
      Rect r = local(closeBoxRect(w));
      drawBox(r, inGoAway, w->pressed == inGoAway);
      textLeft = SInt16(r.right + 8);
    }
    if (hasCollapse(w)) {
      Rect r = local(collapseBoxRect(w));
      drawBox(r, inCollapseBox, w->pressed == inCollapseBox);
      textRight = SInt16(r.left - 8);
    }
    if (hasZoom(w)) {
      Rect r = local(zoomBoxRect(w));
      drawBox(r, inZoomOut, w->pressed == inZoomOut || w->pressed == inZoomIn);
      textRight = SInt16(r.left - 8);
    }
  } else {
    if (w->goAway) textLeft = SInt16(t.left + 8 + kBoxSize + 8);
    if (hasCollapse(w)) textRight = SInt16(t.right - 8 - kBoxSize - 8);
    if (hasZoom(w)) textRight = SInt16(zoomBoxRect(w).left + dh - 8);
  }
  // The title is centred in the bar, cut to the room between the boxes.
  if (w->title[0] && textRight > textLeft) {
    TextFont(systemFont);
    TextSize(12);
    TextFace(normal);
    Str255 text;
    pstr::copy(text, sizeof text, w->title);
    TruncString(SInt16(textRight - textLeft), text, truncEnd);
    short width = StringWidth(text);
    short centre = SInt16((t.left + t.right) / 2);
    short left = SInt16(std::clamp<int>(centre - width / 2, textLeft, std::max<int>(textLeft, textRight - width)));
    FontInfo fi;
    GetFontInfo(&fi);
    short base = SInt16(t.top + (kTitleBar - 1 + fi.ascent - fi.descent) / 2);
    RGBColor ink = w->hilited ? rgb(0, 0, 0) : rgb(0x90, 0x90, 0x90);
    RGBForeColor(&ink);
    MoveTo(left, base);
    tb::DrawnTextScope tag(tb::TextSource::kWindowTitle);
    DrawString(text);
  }
  RGBColor black = rgb(0, 0, 0);
  RGBForeColor(&black);
}

void ensureFrame(WindowRecord* w) {
  if (w->frameDirty || !w->framePort) {
    renderFrame(w);
    w->frameDirty = false;
  }
}

void drawOutline(UInt32* fb, int stride, int fw, int fh, const Rect& r) {
  const UInt32 ink = tb::PackPixel(0x20, 0x20, 0x20);
  auto put = [&](int x, int y) {
    if (x >= 0 && y >= 0 && x < fw && y < fh && ((x + y) & 1) == 0) fb[std::size_t(y) * stride + x] = ink;
  };
  for (int x = r.left; x < r.right; ++x) {
    put(x, r.top);
    put(x, r.bottom - 1);
  }
  for (int y = r.top; y < r.bottom; ++y) {
    put(r.left, y);
    put(r.right - 1, y);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// The Event Manager's side

bool tb::detail::NextActivateEvent(EventRecord* ev, bool remove) {
  auto& q = wm().activates;
  if (q.empty()) return false;
  PendingActivate a = q.front();
  if (remove) q.pop_front();
  ev->what = activateEvt;
  ev->message = reinterpret_cast<unsigned long>(a.window);
  ev->when = TickCount();
  ev->where = GlobalMouse();
  ev->modifiers = EventModifiers((GetCurrentKeyModifiers() & ~activeFlag) | (a.active ? activeFlag : 0));
  return true;
}

bool tb::detail::NextUpdateEvent(EventRecord* ev) {
  for (WindowRecord* w : wm().windows) {
    if (!w->visible || w->collapsed || w->inUpdate || EmptyRgn(w->updateRgn)) continue;
    Rect box;
    GetRegionBounds(w->updateRgn, &box);
    Rect all{0, 0, w->height, w->width};
    Rect hit;
    if (!SectRect(&box, &all, &hit)) {
      SetEmptyRgn(w->updateRgn);
      continue;
    }
    ev->what = updateEvt;
    ev->message = reinterpret_cast<unsigned long>(w);
    ev->when = TickCount();
    ev->where = GlobalMouse();
    ev->modifiers = GetCurrentKeyModifiers();
    return true;
  }
  return false;
}

Point tb::detail::GlobalToCurrentLocal(Point global) {
  GlobalToLocal(&global);
  return global;
}

UInt64 tb::detail::WindowsVersion() {
  UInt64 v = wm().orderVersion * 1000003u;
  for (WindowRecord* w : wm().windows) {
    if (!w->visible) continue;
    v = v * 31 + w->frameVersion;
    v = v * 31 + tb::PortPixelsVersion(w->port);
    v = v * 31 + (UInt64(UInt16(w->origin.h)) << 16 | UInt16(w->origin.v));
  }
  if (wm().haveOutline) {
    v = v * 31 + UInt64(UInt16(wm().outline.left)) * 7 + UInt16(wm().outline.top) * 11 +
        UInt16(wm().outline.right) * 13 + UInt16(wm().outline.bottom) * 17;
  }
  return v;
}

void tb::detail::BlitPort(UInt32* fb, int stride, int fw, int fh, CGrafPtr port, int x, int y, int maxW, int maxH,
                          const Rect& clip) {
  PixMapHandle pm = GetPortPixMap(port);
  if (!pm || !*pm) return;
  const char* base = (**pm).baseAddr;
  const SInt32 rowBytes = (**pm).rowBytes;
  const int w = std::min<int>(tb::PortWidth(port), maxW);
  const int h = std::min<int>(tb::PortHeight(port), maxH);
  const int left = std::max({x, 0, int(clip.left)}), top = std::max({y, 0, int(clip.top)});
  const int right = std::min({x + w, fw, int(clip.right)}), bottom = std::min({y + h, fh, int(clip.bottom)});
  if (right <= left || bottom <= top || !base) return;
  for (int row = top; row < bottom; ++row) {
    std::memcpy(fb + std::size_t(row) * stride + left,
                base + std::size_t(row - y) * rowBytes + std::size_t(left - x) * 4, std::size_t(right - left) * 4);
  }
}

void tb::detail::CompositeWindows(UInt32* fb, int stride, int fw, int fh, const Rect& clip) {
  const UInt32 desk = tb::PackPixel(0x6E, 0x7F, 0x96);
  const int left = std::max(0, int(clip.left)), right = std::min(fw, int(clip.right));
  for (int y = std::max(0, int(clip.top)); y < std::min(fh, int(clip.bottom)) && left < right; ++y)
    std::fill(fb + std::size_t(y) * stride + left, fb + std::size_t(y) * stride + right, desk);
  auto& v = wm().windows;
  for (auto it = v.rbegin(); it != v.rend(); ++it) {
    WindowRecord* w = *it;
    if (!w->visible) continue;
    ensureFrame(w);
    Rect s = structureRect(w);
    tb::detail::BlitPort(fb, stride, fw, fh, w->framePort, s.left, s.top, s.right - s.left, s.bottom - s.top, clip);
    if (!w->collapsed)
      tb::detail::BlitPort(fb, stride, fw, fh, w->port, w->origin.h, w->origin.v, w->width, w->height, clip);
  }
  if (wm().haveOutline) drawOutline(fb, stride, fw, fh, wm().outline);
}

void tb::detail::WindowsDamage(Rect* damage) {
  struct Shown {
    UInt64 serial;
    Rect frame, content;
    UInt64 frameVersion, pixels;
  };
  static auto& last = *new std::vector<Shown>;
  std::vector<Shown> now;
  for (WindowRecord* w : wm().windows)
    if (w->visible)
      now.push_back({w->serial, structureRect(w), w->collapsed ? Rect{} : contentRect(w), w->frameVersion,
                     tb::PortPixelsVersion(w->port)});
  Rect d{0, 0, 0, 0};
  const auto add = [&d](const Rect& r) { tb::detail::AddToBounds(&d, r); };
  const auto in = [](const std::vector<Shown>& v, UInt64 serial) {
    return std::any_of(v.begin(), v.end(), [serial](const Shown& s) { return s.serial == serial; });
  };
  // A window's frame where it stood and where it stands.
  const auto bothFrames = [&](UInt64 serial) {
    for (const std::vector<Shown>* v : {&last, &now})
      for (const Shown& o : *v)
        if (o.serial == serial) add(o.frame);
  };
  // A point of the screen shows another window only where a window came,
  // went, moved or changed its place in the order among those that stayed:
  // only their frames, old and new, are put together again.
  std::size_t i = 0, j = 0;
  for (;;) {
    while (i < now.size() && !in(last, now[i].serial)) add(now[i++].frame);
    while (j < last.size() && !in(now, last[j].serial)) add(last[j++].frame);
    if (i == now.size() || j == last.size()) break;
    const Shown &a = now[i++], &b = last[j++];
    if (a.serial != b.serial || !EqualRect(&a.frame, &b.frame) || !EqualRect(&a.content, &b.content)) {
      bothFrames(a.serial);
      bothFrames(b.serial);
      continue;
    }
    if (a.frameVersion != b.frameVersion) add(a.frame);
    if (a.pixels != b.pixels) add(a.content);
  }
  last.swap(now);
  *damage = d;
}

void tb::detail::WindowsShownRects(std::vector<Rect>* out) {
  for (WindowRecord* w : wm().windows)
    if (w->visible) out->push_back(structureRect(w));
  if (wm().haveOutline) {
    const Rect& r = wm().outline;
    out->push_back(Rect{r.top, r.left, SInt16(r.top + 1), r.right});
    out->push_back(Rect{SInt16(r.bottom - 1), r.left, r.bottom, r.right});
    out->push_back(Rect{r.top, r.left, r.bottom, SInt16(r.left + 1)});
    out->push_back(Rect{r.top, SInt16(r.right - 1), r.bottom, r.right});
  }
}

bool tb::detail::ApplicationSuspended() { return wm().suspended; }

void tb::detail::SetApplicationActive(bool active) {
  if (wm().suspended == !active) return;
  wm().suspended = !active;
  reconsiderFront();
}

// ---------------------------------------------------------------------------
// Making windows

WindowRef NewCWindow(void*, const Rect* bounds, ConstStr255Param title, Boolean visible, short procID,
                     WindowRef behind, Boolean goAwayFlag, long refCon) {
  if (!bounds) return nullptr;
  tb::InitDisplay();
  auto* w = new WindowRecord;
  static UInt64 serials = 0;
  w->serial = ++serials;
  w->procID = procID;
  w->goAway = goAwayFlag && hasTitleBar(w);
  w->refCon = refCon;
  pstr::copy(w->title, sizeof w->title, title);
  w->origin = Point{bounds->top, bounds->left};
  w->width = SInt16(std::max(1, bounds->right - bounds->left));
  w->height = SInt16(std::max(1, bounds->bottom - bounds->top));
  w->port = tb::NewPort(w->width, w->height);
  if (!w->port) {
    delete w;
    return nullptr;
  }
  tb::SetPortOwner(w->port, w);
  tb::SetPortGlobalOrigin(w->port, w->origin);
  w->updateRgn = NewRgn();
  w->savedVis = NewRgn();
  w->userState = contentRect(w);
  fillBuffer(w, Rect{0, 0, w->height, w->width});
  // The content is invalid until the program first draws it.
  invalidateAll(w);
  placeBehind(w, behind);
  if (visible) {
    w->visible = true;
    reconsiderFront();
  }
  SetPort(w->port);
  return w;
}

WindowRef NewWindow(void* storage, const Rect* bounds, ConstStr255Param title, Boolean visible,
                    short procID, WindowRef behind, Boolean goAwayFlag, long refCon) {
  return NewCWindow(storage, bounds, title, visible, procID, behind, goAwayFlag, refCon);
}

WindowRef GetNewCWindow(short windowID, void* storage, WindowRef behind) {
#ifdef TB_HAVE_RESOURCES
  Handle h = GetResource('WIND', windowID);
  if (!h || !*h) return nullptr;
  const Size size = GetHandleSize(h);
  // bounds (8), procID (2), visible (2), goAway (2), refCon (4), title
  // (length-prefixed), then an optional position code.
  if (size < 19) return nullptr;
  const UInt8* p = reinterpret_cast<const UInt8*>(*h);
  Rect bounds{SInt16(be::get16(p)), SInt16(be::get16(p + 2)), SInt16(be::get16(p + 4)),
              SInt16(be::get16(p + 6))};
  short procID = SInt16(be::get16(p + 8));
  bool visible = be::get16(p + 10) != 0;
  bool goAway = be::get16(p + 12) != 0;
  long refCon = SInt32(be::get32(p + 14));
  Str255 title;
  std::size_t len = std::min<std::size_t>(p[18], std::size_t(size - 19));
  title[0] = UInt8(len);
  std::memcpy(title + 1, p + 19, len);
  std::size_t posAt = 19 + len;
  if (posAt % 2) ++posAt;
  if (std::size_t(size) >= posAt + 2) {
    const UInt16 pos = be::get16(p + posAt);
    const Rect screen = tb::ScreenBounds();
    const short w = SInt16(bounds.right - bounds.left), hgt = SInt16(bounds.bottom - bounds.top);
    const short top = SInt16(GetMBarHeight() + kTitleBar + 1);
    const short avail = SInt16(screen.bottom - top);
    short left = SInt16((screen.right - w) / 2), newTop = bounds.top;
    if (pos == 0x280A) newTop = SInt16(top + (avail - hgt) / 2);        // centred on the screen
    else if (pos == 0x300A) newTop = SInt16(top + (avail - hgt) / 3);   // alert position
    if (pos == 0x280A || pos == 0x300A) {
      bounds = Rect{std::max(newTop, top), std::max<short>(left, 0), 0, 0};
      bounds.bottom = SInt16(bounds.top + hgt);
      bounds.right = SInt16(bounds.left + w);
    }
  }
  return NewCWindow(storage, &bounds, title, visible, procID, behind, goAway, refCon);
#else
  (void)windowID;
  (void)storage;
  (void)behind;
  return nullptr;
#endif
}

WindowRef GetNewWindow(short windowID, void* storage, WindowRef behind) {
  return GetNewCWindow(windowID, storage, behind);
}

namespace {
std::vector<tb::WindowDisposeHook>& disposeHooks() {
  // Never destroyed: windows are disposed at exit, after static destructors
  // of tables made later than the exit handler have already run.
  static auto& hooks = *new std::vector<tb::WindowDisposeHook>;
  return hooks;
}
}  // namespace

void tb::AddWindowDisposeHook(WindowDisposeHook hook) {
  auto& v = disposeHooks();
  if (hook && std::find(v.begin(), v.end(), hook) == v.end()) v.push_back(hook);
}

void DisposeWindow(WindowRef w) {
  if (!isWindow(w)) return;
  for (tb::WindowDisposeHook hook : disposeHooks()) hook(w);
  if (!isWindow(w)) return;
  auto& v = wm().windows;
  v.erase(std::remove(v.begin(), v.end(), w), v.end());
  auto& q = wm().activates;
  q.erase(std::remove_if(q.begin(), q.end(), [&](const PendingActivate& a) { return a.window == w; }),
          q.end());
  // A disposed window is not told it was deactivated.
  if (wm().active == w) wm().active = nullptr;
  if (wm().titleClick.window == w) wm().titleClick = TitleClick{};
  tb::DisposePort(w->port);
  if (w->framePort) tb::DisposePort(w->framePort);
  DisposeRgn(w->updateRgn);
  DisposeRgn(w->savedVis);
  delete w;
  orderChanged();
  reconsiderFront();
}

void CloseWindow(WindowRef w) { DisposeWindow(w); }

// ---------------------------------------------------------------------------
// Order and visibility

WindowRef FrontWindow() {
  for (WindowRecord* w : wm().windows)
    if (w->visible) return w;
  return nullptr;
}

WindowRef FrontNonFloatingWindow() { return FrontWindow(); }

WindowRef GetWindowList() { return wm().windows.empty() ? nullptr : wm().windows.front(); }

WindowRef GetNextWindow(WindowRef w) {
  auto& v = wm().windows;
  auto it = std::find(v.begin(), v.end(), w);
  if (it == v.end() || ++it == v.end()) return nullptr;
  return *it;
}

void ShowWindow(WindowRef w) {
  if (!isWindow(w) || w->visible) return;
  w->visible = true;
  // A window shown again is drawn anew, as the platform always asked.
  invalidateAll(w);
  orderChanged();
  reconsiderFront();
}

void HideWindow(WindowRef w) {
  if (!isWindow(w) || !w->visible) return;
  w->visible = false;
  orderChanged();
  if (wm().active == w) {
    w->hilited = false;
    markFrame(w);
    wm().activates.push_back({w, false});
    wm().active = nullptr;
  }
  reconsiderFront();
}

void ShowHide(WindowRef w, Boolean showFlag) {
  if (showFlag)
    ShowWindow(w);
  else
    HideWindow(w);
}

Boolean IsWindowVisible(WindowRef w) { return isWindow(w) && w->visible; }
Boolean IsValidWindowPtr(WindowRef w) { return isWindow(w); }

void SelectWindow(WindowRef w) {
  if (!isWindow(w)) return;
  placeBehind(w, kFirstWindowOfClass);
  reconsiderFront();
}

void BringToFront(WindowRef w) { SelectWindow(w); }

void SendBehind(WindowRef w, WindowRef behind) {
  if (!isWindow(w) || w == behind) return;
  placeBehind(w, behind);
  reconsiderFront();
}

void HiliteWindow(WindowRef w, Boolean fHilite) {
  if (!isWindow(w) || w->hilited == bool(fHilite)) return;
  w->hilited = fHilite;
  markFrame(w);
}

Boolean IsWindowHilited(WindowRef w) { return isWindow(w) && w->hilited; }

OSStatus CollapseWindow(WindowRef w, Boolean collapse) {
  if (!isWindow(w)) return paramErr;
  if (!hasCollapse(w)) return -5600;  // errWindowDoesNotHaveProxy: not collapsable
  if (w->collapsed == bool(collapse)) return noErr;
  w->collapsed = collapse;
  if (!collapse) invalidateAll(w);
  markFrame(w);
  return noErr;
}

Boolean IsWindowCollapsed(WindowRef w) { return isWindow(w) && w->collapsed; }
Boolean IsWindowCollapsable(WindowRef w) { return isWindow(w) && hasCollapse(w); }

// ---------------------------------------------------------------------------
// Geometry

void MoveWindow(WindowRef w, short h, short v, Boolean front) {
  if (!isWindow(w)) return;
  if (w->origin.h != h || w->origin.v != v) {
    w->origin = Point{v, h};
    tb::SetPortGlobalOrigin(w->port, w->origin);
    orderChanged();
  }
  if (front) SelectWindow(w);
}

void SizeWindow(WindowRef w, short width, short height, Boolean fUpdate) {
  if (!isWindow(w)) return;
  width = std::max<short>(width, 1);
  height = std::max<short>(height, 1);
  if (width == w->width && height == w->height) return;
  const short oldW = w->width, oldH = w->height;
  tb::ResizePort(w->port, width, height);
  w->width = width;
  w->height = height;
  // What the window gained is painted in its content colour and, when
  // asked, redrawn by the program.
  if (width > oldW) fillBuffer(w, Rect{0, oldW, height, width});
  if (height > oldH) fillBuffer(w, Rect{oldH, 0, height, width});
  if (fUpdate) {
    tb::OwnedRgn add;
    if (width > oldW) {
      SetRectRgn(add, oldW, 0, width, height);
      UnionRgn(w->updateRgn, add, w->updateRgn);
    }
    if (height > oldH) {
      SetRectRgn(add, 0, oldH, width, height);
      UnionRgn(w->updateRgn, add, w->updateRgn);
    }
  }
  markFrame(w);
  orderChanged();
}

Rect* GetWindowPortBounds(WindowRef w, Rect* bounds) {
  if (!bounds) return nullptr;
  if (!isWindow(w)) {
    *bounds = Rect{0, 0, 0, 0};
    return bounds;
  }
  return GetPortBounds(w->port, bounds);
}

OSStatus GetWindowBounds(WindowRef w, WindowRegionCode code, Rect* r) {
  if (!isWindow(w) || !r) return paramErr;
  switch (code) {
    case kWindowStructureRgn:
      *r = structureRect(w);
      return noErr;
    case kWindowContentRgn:
      *r = contentRect(w);
      return noErr;
    case kWindowTitleBarRgn:
    case kWindowDragRgn:
      if (!hasTitleBar(w)) return paramErr;
      *r = titleBarRect(w);
      return noErr;
    case kWindowCloseBoxRgn:
      if (!w->goAway) return paramErr;
      *r = closeBoxRect(w);
      return noErr;
    case kWindowZoomBoxRgn:
      if (!hasZoom(w)) return paramErr;
      *r = zoomBoxRect(w);
      return noErr;
    case kWindowCollapseBoxRgn:
      if (!hasCollapse(w)) return paramErr;
      *r = collapseBoxRect(w);
      return noErr;
    case kWindowGrowRgn:
      if (!hasGrow(w)) return paramErr;
      *r = growBoxRect(w);
      return noErr;
    default:
      return paramErr;
  }
}

OSStatus SetWindowBounds(WindowRef w, WindowRegionCode code, const Rect* r) {
  if (!isWindow(w) || !r) return paramErr;
  Rect c = *r;
  if (code == kWindowStructureRgn) {
    Rect s = structureRect(w), cr = contentRect(w);
    c.top = SInt16(c.top + (cr.top - s.top));
    c.left = SInt16(c.left + (cr.left - s.left));
    c.bottom = SInt16(c.bottom - (s.bottom - cr.bottom));
    c.right = SInt16(c.right - (s.right - cr.right));
  } else if (code != kWindowContentRgn) {
    return paramErr;
  }
  MoveWindow(w, c.left, c.top, false);
  SizeWindow(w, SInt16(c.right - c.left), SInt16(c.bottom - c.top), true);
  return noErr;
}

Rect* GetWindowStandardState(WindowRef w, Rect* rect) {
  if (!rect) return nullptr;
  if (!isWindow(w)) {
    *rect = Rect{0, 0, 0, 0};
    return rect;
  }
  *rect = w->stdStateSet ? w->stdState : defaultStdState(w);
  return rect;
}

void SetWindowStandardState(WindowRef w, const Rect* rect) {
  if (!isWindow(w) || !rect) return;
  w->stdState = *rect;
  w->stdStateSet = true;
}

Rect* GetWindowUserState(WindowRef w, Rect* rect) {
  if (!rect) return nullptr;
  *rect = isWindow(w) ? w->userState : Rect{0, 0, 0, 0};
  return rect;
}

void SetWindowUserState(WindowRef w, const Rect* rect) {
  if (isWindow(w) && rect) w->userState = *rect;
}

RgnHandle GetWindowVisibleRegion(WindowRef w, RgnHandle rgn) {
  if (!rgn) return rgn;
  SetEmptyRgn(rgn);
  if (!isWindow(w) || !w->visible || w->collapsed) return rgn;
  Rect c = contentRect(w);
  RectRgn(rgn, &c);
  tb::OwnedRgn cover;
  Rect bar{0, 0, SInt16(GetMBarHeight()), tb::ScreenWidth()};
  RectRgn(cover, &bar);
  DiffRgn(rgn, cover, rgn);
  for (WindowRecord* o : wm().windows) {
    if (o == w) break;
    if (!o->visible) continue;
    Rect s = structureRect(o);
    RectRgn(cover, &s);
    DiffRgn(rgn, cover, rgn);
  }
  Rect pr;
  GetPortBounds(w->port, &pr);
  OffsetRgn(rgn, SInt16(pr.left - w->origin.h), SInt16(pr.top - w->origin.v));
  return rgn;
}

// ---------------------------------------------------------------------------
// Titles, reference values, kinds, colours, ports

void SetWTitle(WindowRef w, ConstStr255Param title) {
  if (!isWindow(w)) return;
  pstr::copy(w->title, sizeof w->title, title);
  markFrame(w);
}

void GetWTitle(WindowRef w, Str255 title) {
  if (!title) return;
  if (!isWindow(w)) {
    title[0] = 0;
    return;
  }
  pstr::copy(title, sizeof(Str255), w->title);
}

OSStatus SetWindowTitleWithCFString(WindowRef w, CFStringRef title) {
  if (!isWindow(w) || !tb::IsCFString(title)) return paramErr;
  CFStringGetPascalString(title, w->title, sizeof w->title, kCFStringEncodingUTF8);
  markFrame(w);
  return noErr;
}

OSStatus CopyWindowTitleAsCFString(WindowRef w, CFStringRef* title) {
  if (!title) return paramErr;
  *title = nullptr;
  if (!isWindow(w)) return paramErr;
  *title = tb::NewCFString(pstr::str(w->title));
  return noErr;
}

void SetWRefCon(WindowRef w, long data) {
  if (isWindow(w)) w->refCon = data;
}
long GetWRefCon(WindowRef w) { return isWindow(w) ? w->refCon : 0; }
short GetWindowKind(WindowRef w) { return isWindow(w) ? w->kind : 0; }
void SetWindowKind(WindowRef w, short kind) {
  if (isWindow(w)) w->kind = kind;
}

OSStatus SetWindowContentColor(WindowRef w, const RGBColor* color) {
  if (!isWindow(w) || !color) return paramErr;
  w->content = *color;
  return noErr;
}

OSStatus GetWindowContentColor(WindowRef w, RGBColor* color) {
  if (!isWindow(w) || !color) return paramErr;
  *color = w->content;
  return noErr;
}

CGrafPtr GetWindowPort(WindowRef w) { return isWindow(w) ? w->port : nullptr; }

WindowRef GetWindowFromPort(CGrafPtr port) {
  if (!port || !IsValidPort(port)) return nullptr;
  auto* w = static_cast<WindowRecord*>(tb::GetPortOwner(port));
  return isWindow(w) ? w : nullptr;
}

void SetPortWindowPort(WindowRef w) {
  if (isWindow(w)) SetPort(w->port);
}

OSStatus GetThemeMetric(ThemeMetric metric, SInt32* value) {
  if (!value) return paramErr;
  switch (metric) {
    case kThemeMetricScrollBarWidth:
      *value = 16;
      return noErr;
    case kThemeMetricSmallScrollBarWidth:
      *value = 11;
      return noErr;
    case kThemeMetricResizeControlHeight:
      *value = kGrowBox;
      return noErr;
    case kThemeMetricTitleBarHeight:
      *value = kTitleBar;
      return noErr;
    default:
      return paramErr;
  }
}

// ---------------------------------------------------------------------------
// Hit testing and tracking

WindowPartCode FindWindow(Point pt, WindowRef* window) {
  if (window) *window = nullptr;
  tb::InitDisplay();
  const Rect screen = tb::ScreenBounds();
  if (pt.v >= screen.top && pt.v < screen.top + GetMBarHeight() && pt.h >= screen.left &&
      pt.h < screen.right)
    return inMenuBar;
  for (WindowRecord* w : wm().windows) {
    if (!w->visible) continue;
    Rect s = structureRect(w);
    if (!inRect(pt, s)) continue;
    if (!w->collapsed && inRect(pt, contentRect(w))) {
      if (window) *window = w;
      return hasGrow(w) && inRect(pt, growBoxRect(w)) ? inGrow : inContent;
    }
    if (!hasTitleBar(w)) return inDesk;  // the frame of a plain box does nothing
    if (window) *window = w;
    if (inRect(pt, titleBarRect(w)) && w->hilited) {
      if (w->goAway && inRect(pt, closeBoxRect(w))) return inGoAway;
      if (hasZoom(w) && inRect(pt, zoomBoxRect(w))) return w->zoomed ? inZoomIn : inZoomOut;
      if (hasCollapse(w) && inRect(pt, collapseBoxRect(w))) return inCollapseBox;
    }
    return inDrag;
  }
  return inDesk;
}

namespace {

// Follows the mouse while the button is held; step gets each position.
// Returns the position at the release.
template <typename Step>
Point trackMouse(Point start, Step step) {
  Point p = start;
  while (StillDown()) {
    Point now = tb::detail::GlobalMouse();
    if (now.h != p.h || now.v != p.v) {
      p = now;
      step(p);
    }
  }
  WaitMouseUp();
  p = tb::detail::GlobalMouse();
  step(p);
  return p;
}

Boolean trackBoxPart(WindowRecord* w, Point pt, WindowPartCode part, const Rect& box) {
  bool inside = inRect(pt, box);
  w->pressed = inside ? part : 0;
  markFrame(w);
  trackMouse(pt, [&](Point p) {
    bool now = inRect(p, box);
    if (now != inside) {
      inside = now;
      w->pressed = inside ? part : 0;
      markFrame(w);
      tb::detail::DisplayIdle();
    }
  });
  w->pressed = 0;
  markFrame(w);
  return inside;
}

}  // namespace

namespace {

bool secondClickOnTitle(WindowRecord* w, Point pt) {
  const TitleClick& last = wm().titleClick;
  return last.window == w && TickCount() - last.releasedAt <= GetDblTime() && std::abs(pt.h - last.where.h) <= 4 &&
         std::abs(pt.v - last.where.v) <= 4;
}

}  // namespace

void DragWindow(WindowRef w, Point startPt, const Rect* boundsRect) {
  if (!isWindow(w)) return;
  // A double-click on the title bar of a window collapsed to it brings the
  // window back whole, as its collapse box does.
  if (w->collapsed && secondClickOnTitle(w, startPt)) {
    wm().titleClick = TitleClick{};
    WaitMouseUp();
    CollapseWindow(w, false);
    if (!(GetCurrentKeyModifiers() & cmdKey)) SelectWindow(w);
    return;
  }
  Rect limit = boundsRect ? *boundsRect : tb::ScreenBounds();
  // The mouse stays a little inside the limits, and never above the menu
  // bar, so the title bar can always be reached again.
  InsetRect(&limit, 4, 4);
  limit.top = std::max<SInt16>(limit.top, SInt16(GetMBarHeight() + 4));
  if (limit.bottom <= limit.top || limit.right <= limit.left) limit = tb::ScreenBounds();
  auto clampPt = [&](Point p) {
    p.h = std::clamp<SInt16>(p.h, limit.left, SInt16(limit.right - 1));
    p.v = std::clamp<SInt16>(p.v, limit.top, SInt16(limit.bottom - 1));
    return p;
  };
  const Point start = clampPt(startPt);
  const Rect s0 = structureRect(w);
  Point last = start;
  wm().haveOutline = true;
  wm().outline = s0;
  trackMouse(start, [&](Point p) {
    last = clampPt(p);
    wm().outline = s0;
    OffsetRect(&wm().outline, SInt16(last.h - start.h), SInt16(last.v - start.v));
    tb::detail::ScreenChanged();
  });
  wm().haveOutline = false;
  tb::detail::ScreenChanged();
  short dh = SInt16(last.h - start.h), dv = SInt16(last.v - start.v);
  // Whatever the limits, the title bar does not go under the menu bar.
  if (s0.top + dv < GetMBarHeight()) dv = SInt16(std::min<int>(0, GetMBarHeight() - s0.top));
  if (dh || dv) MoveWindow(w, SInt16(w->origin.h + dh), SInt16(w->origin.v + dv), false);
  wm().titleClick = dh || dv ? TitleClick{} : TitleClick{w, TickCount(), startPt};
  if (!(GetCurrentKeyModifiers() & cmdKey)) SelectWindow(w);
}

long DragGrayRgn(RgnHandle theRgn, Point startPt, const Rect* limitRect, const Rect* slopRect, short axis,
                 DragGrayRgnUPP actionProc) {
  Rect bounds;
  if (!theRgn || !GetRegionBounds(theRgn, &bounds)) return long(0x80008000);
  // Work in global coordinates, where the outline is drawn over the screen.
  Point origin{0, 0};
  LocalToGlobal(&origin);
  auto toGlobal = [&](Rect r) {
    OffsetRect(&r, origin.h, origin.v);
    return r;
  };
  const Rect limit = limitRect ? toGlobal(*limitRect) : tb::ScreenBounds();
  const Point start{SInt16(startPt.v + origin.v), SInt16(startPt.h + origin.h)};
  const Rect outline0 = toGlobal(bounds);
  short dh = 0, dv = 0;
  auto offsetFor = [&](Point p) {
    if (limit.right > limit.left) p.h = std::clamp<SInt16>(p.h, limit.left, SInt16(limit.right - 1));
    if (limit.bottom > limit.top) p.v = std::clamp<SInt16>(p.v, limit.top, SInt16(limit.bottom - 1));
    dh = axis == vAxisOnly ? 0 : SInt16(p.h - start.h);
    dv = axis == hAxisOnly ? 0 : SInt16(p.v - start.v);
  };
  wm().haveOutline = true;
  wm().outline = outline0;
  tb::detail::ScreenChanged();
  Point last = trackMouse(start, [&](Point p) {
    offsetFor(p);
    wm().outline = outline0;
    OffsetRect(&wm().outline, dh, dv);
    tb::detail::ScreenChanged();
    if (actionProc) actionProc();
  });
  wm().haveOutline = false;
  tb::detail::ScreenChanged();
  if (slopRect && !inRect(last, toGlobal(*slopRect))) return long(0x80008000);
  return long((UInt32(UInt16(dv)) << 16) | UInt16(dh));
}

Boolean TrackGoAway(WindowRef w, Point pt) {
  if (!isWindow(w) || !w->goAway) return false;
  return trackBoxPart(w, pt, inGoAway, closeBoxRect(w));
}

Boolean TrackBox(WindowRef w, Point pt, WindowPartCode part) {
  if (!isWindow(w)) return false;
  if (part == inCollapseBox && hasCollapse(w)) return trackBoxPart(w, pt, part, collapseBoxRect(w));
  if ((part == inZoomIn || part == inZoomOut) && hasZoom(w))
    return trackBoxPart(w, pt, part, zoomBoxRect(w));
  return false;
}

long GrowWindow(WindowRef w, Point startPt, const Rect* sizeRect) {
  Rect r;
  if (!ResizeWindow(w, startPt, sizeRect, &r)) return 0;
  return (long(r.bottom - r.top) << 16) | long(r.right - r.left);
}

Boolean ResizeWindow(WindowRef w, Point startPt, const Rect* limits, Rect* newContentRect) {
  if (!isWindow(w)) return false;
  const Rect screen = tb::ScreenBounds();
  const short minW = limits ? std::max<short>(limits->left, 1) : 64;
  const short minH = limits ? std::max<short>(limits->top, 1) : 64;
  const short maxW = limits ? std::max<short>(limits->right, minW) : screen.right;
  const short maxH = limits ? std::max<short>(limits->bottom, minH) : screen.bottom;
  short nw = w->width, nh = w->height;
  const short b = borderOf(w), t = titleOf(w);
  wm().haveOutline = true;
  auto outlineFor = [&] {
    wm().outline = Rect{SInt16(w->origin.v - b - t), SInt16(w->origin.h - b),
                        SInt16(w->origin.v + nh + b), SInt16(w->origin.h + nw + b)};
    tb::detail::ScreenChanged();
  };
  outlineFor();
  trackMouse(startPt, [&](Point p) {
    nw = SInt16(std::clamp<int>(w->width + (p.h - startPt.h), minW, maxW));
    nh = SInt16(std::clamp<int>(w->height + (p.v - startPt.v), minH, maxH));
    outlineFor();
  });
  wm().haveOutline = false;
  tb::detail::ScreenChanged();
  if (newContentRect)
    *newContentRect = Rect{w->origin.v, w->origin.h, SInt16(w->origin.v + nh), SInt16(w->origin.h + nw)};
  return nw != w->width || nh != w->height;
}

void ZoomWindow(WindowRef w, WindowPartCode part, Boolean front) {
  if (!isWindow(w)) return;
  Rect target;
  if (part == inZoomOut) {
    if (!w->zoomed) w->userState = contentRect(w);
    GetWindowStandardState(w, &target);
    w->zoomed = true;
  } else if (part == inZoomIn) {
    target = w->userState;
    w->zoomed = false;
  } else {
    return;
  }
  if (target.right <= target.left || target.bottom <= target.top) return;
  MoveWindow(w, target.left, target.top, false);
  SizeWindow(w, SInt16(target.right - target.left), SInt16(target.bottom - target.top), false);
  fillBuffer(w, Rect{0, 0, w->height, w->width});
  invalidateAll(w);
  markFrame(w);
  if (front) SelectWindow(w);
}

void DrawGrowIcon(WindowRef w) {
  if (!isWindow(w) || !hasGrow(w)) return;
  tb::PortSaver save;
  SetPort(w->port);
  Rect pr;
  GetPortBounds(w->port, &pr);
  Rect box{SInt16(pr.top + w->height - kGrowBox), SInt16(pr.left + w->width - kGrowBox),
           SInt16(pr.top + w->height), SInt16(pr.left + w->width)};
  PenState ps;
  GetPenState(&ps);
  PenNormal();
  paint(box, rgb(0xEE, 0xEE, 0xEE));
  frame(box, rgb(0x80, 0x80, 0x80));
  if (w->hilited) {
    RGBColor ink = rgb(0x70, 0x70, 0x70);
    RGBForeColor(&ink);
    for (int i = 4; i <= 10; i += 3) {
      MoveTo(SInt16(box.right - 3), SInt16(box.bottom - i));
      LineTo(SInt16(box.right - i), SInt16(box.bottom - 3));
    }
  }
  RGBColor black = rgb(0, 0, 0);
  RGBForeColor(&black);
  SetPenState(&ps);
}

Boolean SystemClick(const EventRecord*, WindowRef) { return false; }

// ---------------------------------------------------------------------------
// Update regions

namespace {

// Local rectangle -> buffer rectangle.
Rect toBuffer(WindowRecord* w, Rect r) {
  Rect pr;
  GetPortBounds(w->port, &pr);
  OffsetRect(&r, SInt16(-pr.left), SInt16(-pr.top));
  return r;
}

// Adds to (add) or takes from the window's update region a rectangle or a
// region in the window's local coordinates (the update region is kept in
// buffer coordinates).
OSStatus changeUpdate(WindowRef w, const Rect* rect, RgnHandle region, bool add) {
  if (!isWindow(w) || (!rect && !region)) return paramErr;
  tb::OwnedRgn area;
  if (rect) {
    Rect r = toBuffer(w, *rect);
    RectRgn(area, &r);
  } else {
    Rect pr;
    GetPortBounds(w->port, &pr);
    CopyRgn(region, area);
    OffsetRgn(area, SInt16(-pr.left), SInt16(-pr.top));
  }
  if (add)
    UnionRgn(w->updateRgn, area, w->updateRgn);
  else
    DiffRgn(w->updateRgn, area, w->updateRgn);
  return noErr;
}

}  // namespace

OSStatus InvalWindowRect(WindowRef w, const Rect* bounds) { return changeUpdate(w, bounds, nullptr, true); }
OSStatus InvalWindowRgn(WindowRef w, RgnHandle region) { return changeUpdate(w, nullptr, region, true); }
OSStatus ValidWindowRect(WindowRef w, const Rect* bounds) { return changeUpdate(w, bounds, nullptr, false); }
OSStatus ValidWindowRgn(WindowRef w, RgnHandle region) { return changeUpdate(w, nullptr, region, false); }

void BeginUpdate(WindowRef w) {
  if (!isWindow(w) || w->inUpdate) return;
  GetPortVisibleRegion(w->port, w->savedVis);
  Rect pr;
  GetPortBounds(w->port, &pr);
  tb::OwnedRgn vis;
  CopyRgn(w->updateRgn, vis);
  OffsetRgn(vis, pr.left, pr.top);
  SectRgn(vis, w->savedVis, vis);
  SetPortVisibleRegion(w->port, vis);
  SetEmptyRgn(w->updateRgn);
  w->inUpdate = true;
}

void EndUpdate(WindowRef w) {
  if (!isWindow(w) || !w->inUpdate) return;
  SetPortVisibleRegion(w->port, w->savedVis);
  w->inUpdate = false;
}

Boolean IsWindowUpdatePending(WindowRef w) { return isWindow(w) && !EmptyRgn(w->updateRgn); }

// ---------------------------------------------------------------------------

WindowRef tb::FindWindowByTitle(std::string_view title) {
  for (WindowRecord* w : wm().windows)
    if (pstr::view(w->title) == title) return w;
  return nullptr;
}

OSErr tb::SaveWindowPNG(WindowRef w, const char* path) {
  if (!isWindow(w) || !path) return paramErr;
  ensureFrame(w);
  Rect s = structureRect(w);
  const int sw = s.right - s.left, sh = s.bottom - s.top;
  std::vector<UInt32> pixels(std::size_t(sw) * sh);
  tb::detail::BlitPort(pixels.data(), sw, sw, sh, w->framePort, 0, 0, sw, sh);
  if (!w->collapsed)
    tb::detail::BlitPort(pixels.data(), sw, sw, sh, w->port, w->origin.h - s.left, w->origin.v - s.top, w->width,
                         w->height);
  return tb::WritePNG(path, pixels.data(), sw * 4, sw, sh);
}

short tb::TitleBarHeight(WindowRef w) { return isWindow(w) ? titleOf(w) : 0; }

void tb::DisposeAllWindows() {
  while (!wm().windows.empty()) DisposeWindow(wm().windows.front());
  wm().activates.clear();
  wm().active = nullptr;
}

int tb::WindowCount() { return int(wm().windows.size()); }

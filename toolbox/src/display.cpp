// The screen's framebuffer and its backend: headless, or an X window that
// shows the menu bar and the windows of the framebuffer on the desktop and
// turns the X server's mouse and keys into events.
#include "toolbox/display.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "display_backend.h"
#include "screen_internal.h"
#include "toolbox/clock.h"
#include "toolbox/menus.h"
#include "toolbox/windows.h"

namespace {

struct DisplayState {
  bool inited = false;
  bool headless = true;
  short width = 1024;
  short height = 768;
  std::vector<UInt32> fb;
  CGrafPtr port = nullptr;
  std::unique_ptr<tb::detail::DisplayBackend> backend;
  UInt64 changes = 1;
  UInt64 presented = 0;
  // What the backend was last given stood on these counts.
  UInt64 presentedChanges = 0;
  UInt64 presentedMenus = 0;
  Rect presentedMenusBounds{};
  std::string shotAtExit;
  bool presenting = false;
  // When the last frame went out, and when one drawn since is due (0: none
  // is waiting).
  UInt64 lastFrame = 0;
  UInt64 frameDue = 0;
};

// A screen shows a frame per refresh: what is drawn within one refresh goes
// out together at its end, not piece by piece, so that a program answering
// the network between two drawings does not wait for each to be sent.
constexpr UInt64 kFrameMicros = 16000;

DisplayState& ds() {
  static DisplayState& s = *new DisplayState;
  return s;
}

void parseSize(const char* text, short* w, short* h) {
  if (!text || !*text) return;
  int a = 0, b = 0;
  if (std::sscanf(text, "%dx%d", &a, &b) == 2 && a >= 320 && b >= 240 && a <= 8192 && b <= 8192) {
    *w = short(a);
    *h = short(b);
  }
}

UInt64 sceneVersion() {
  return ds().changes * 0x9E3779B97F4A7C15ull + tb::detail::WindowsVersion() * 1000003u +
         tb::detail::MenusVersion();
}

// The desktop names the program by its front window, else by its own name.
std::string frontTitle() {
  if (WindowRef front = FrontWindow()) {
    Str255 title;
    GetWTitle(front, title);
    if (title[0]) return pstr::str(title);
  }
  const char* name = program_invocation_short_name;
  return name && *name ? name : "toolbox";
}

Rect wholeScreen() { return Rect{0, 0, ds().height, ds().width}; }

void composite(const Rect& clip = wholeScreen()) {
  auto& d = ds();
  tb::detail::CompositeWindows(d.fb.data(), d.width, d.width, d.height, clip);
  tb::detail::CompositeMenus(d.fb.data(), d.width, d.width, d.height);
}

// Immediately: the frame goes out even within a refresh that already
// showed one.
void present(bool immediately = false) {
  auto& d = ds();
  if (!d.backend || d.presenting) return;
  UInt64 v = sceneVersion();
  if (v == d.presented) {
    d.frameDue = 0;
    return;
  }
  const UInt64 now = tb::MonotonicMicros();
  if (!immediately && now < d.lastFrame + kFrameMicros) {
    d.frameDue = d.lastFrame + kFrameMicros;
    return;
  }
  d.lastFrame = now;
  d.frameDue = 0;
  d.presenting = true;  // drawing frames must not come back here
  // Only the part of the screen the windows and menus changed is put
  // together and looked over again (a progress bar drawn, a dialog come or
  // gone, the bar's items dimmed, a menu pulled down or put away): the rest
  // stands as it was shown. An outline dragged may cross anything, so the
  // whole screen is.
  const Rect screen = wholeScreen();
  Rect dirty = screen, damage;
  const UInt64 menus = tb::detail::MenusVersion();
  tb::detail::WindowsDamage(&damage);
  const Rect menusNow = tb::detail::MenusBounds();
  if (menus != d.presentedMenus)
    for (const Rect& r : {d.presentedMenusBounds, menusNow}) tb::detail::AddToBounds(&damage, r);
  if (d.changes == d.presentedChanges) SectRect(&damage, &screen, &dirty);
  d.presentedChanges = d.changes;
  d.presentedMenus = menus;
  d.presentedMenusBounds = menusNow;
  composite(dirty);
  std::vector<Rect> shown;
  tb::detail::WindowsShownRects(&shown);
  tb::detail::MenusShownRects(&shown);
  // The menu's state first: a menu pulled down moves nothing on the
  // desktop.
  d.backend->holdPointer(tb::detail::MenuOpen());
  d.backend->present(d.fb.data(), d.width, d.width, d.height, shown, dirty);
  d.backend->setTitle(frontTitle());
  d.presented = sceneVersion();
  d.presenting = false;
}

// At exit: the screenshot asked for, then the windows go, while QuickDraw's
// tables and the fonts (made before this was registered, so torn down after
// it) still work.
void atExit() {
  auto& d = ds();
  if (!d.shotAtExit.empty() && tb::SaveScreenPNG(d.shotAtExit.c_str()) != noErr)
    std::fprintf(stderr, "toolbox: cannot write the screenshot %s\n", d.shotAtExit.c_str());
  tb::DisposeAllWindows();
}

}  // namespace

void tb::InitDisplay() {
  auto& d = ds();
  if (d.inited) return;
  d.inited = true;
  parseSize(std::getenv("TOOLBOX_SCREEN"), &d.width, &d.height);
  d.fb.assign(std::size_t(d.width) * d.height, tb::PackPixel(0x6E, 0x7F, 0x96));
  d.port = tb::NewPortOverBuffer(d.fb.data(), SInt32(d.width) * 4, d.width, d.height);
  tb::SetScreenPort(d.port);
  tb::SetFlushHook([](CGrafPtr) { tb::FlushDisplay(); });

  const char* headless = std::getenv("TOOLBOX_HEADLESS");
  const char* display = std::getenv("DISPLAY");
  const bool wantHeadless = (headless && *headless && std::string(headless) != "0") || !display || !*display;
  if (!wantHeadless) {
    std::string why;
    d.backend = tb::detail::MakeX11Backend(d.width, d.height, &why);
    if (!d.backend) std::fprintf(stderr, "toolbox: no X11 display (%s); running headless\n", why.c_str());
  }
  d.headless = !d.backend;

  if (const char* shot = std::getenv("TOOLBOX_SCREENSHOT"); shot && *shot) d.shotAtExit = shot;
  DisposeRgn(NewRgn());
  tb::detail::InitFonts();
  std::atexit(atExit);
}

bool tb::DisplayIsHeadless() {
  InitDisplay();
  return ds().headless;
}

short tb::ScreenWidth() {
  InitDisplay();
  return ds().width;
}
short tb::ScreenHeight() {
  InitDisplay();
  return ds().height;
}
Rect tb::ScreenBounds() {
  InitDisplay();
  return Rect{0, 0, ds().height, ds().width};
}

CGrafPtr tb::CompositeScreen() {
  InitDisplay();
  composite();
  return ds().port;
}

UInt32 tb::ScreenPixel(int h, int v) {
  InitDisplay();
  if (h < 0 || v < 0 || h >= ds().width || v >= ds().height) return 0;
  return ds().fb[std::size_t(v) * ds().width + h];
}

OSErr tb::SaveScreenPNG(const char* path) {
  if (!path) return paramErr;
  InitDisplay();
  composite();
  return tb::WritePNG(path, ds().fb.data(), SInt32(ds().width) * 4, ds().width, ds().height);
}

void tb::FlushDisplay() {
  if (!ds().inited) return;
  // A program's own flush asks for its drawing to be seen now (a button's
  // flash, a progress shown before a long piece of work): no refresh waits.
  present(true);
}

// ---------------------------------------------------------------------------

void tb::detail::DisplayIdle() {
  InitDisplay();
  auto& d = ds();
  if (!d.backend) return;
  d.backend->poll();
  present();
}

SInt64 tb::detail::MicrosToDisplayFrame() {
  const auto& d = ds();
  if (!d.frameDue) return -1;
  const UInt64 now = tb::MonotonicMicros();
  return d.frameDue > now ? SInt64(d.frameDue - now) : 0;
}

void tb::detail::DisplayFrameIfDue() {
  if (ds().frameDue && tb::MonotonicMicros() >= ds().frameDue) present();
}

bool tb::detail::DisplayHasLiveInput() { return ds().backend && ds().backend->live(); }

void tb::detail::DisplayBeep() {
  if (ds().backend) ds().backend->beep();
}

void tb::detail::DisplaySetCursor(int kind) {
  if (ds().backend) ds().backend->setCursor(kind);
}

void tb::detail::ScreenChanged() { ++ds().changes; }

void tb::detail::DisplayOwnClipboard() {
  if (ds().backend) ds().backend->ownClipboard();
}

tb::detail::DisplayBackend::Clipboard tb::detail::DisplayClipboardText(std::string* text) {
  if (!ds().backend) return DisplayBackend::Clipboard::kLocal;
  return ds().backend->clipboardText(text);
}

Point tb::detail::PlaceOnDesktop(const Rect& content, const std::vector<Rect>& taken, const Rect& area, short gap,
                                 const Point* from) {
  auto areaOf = [](const Rect& a, const Rect& b) {
    const long w = std::min<long>(a.right, b.right) - std::max<long>(a.left, b.left);
    const long h = std::min<long>(a.bottom, b.bottom) - std::max<long>(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
  };
  // The best places lie against an edge of the area or beside what is
  // taken, on any of its sides; a program that stands already may also
  // stay in one direction and move in the other.
  std::vector<long> xs{long(area.left) - content.left, long(area.right) - content.right};
  std::vector<long> ys{long(area.top) - content.top, long(area.bottom) - content.bottom};
  if (from) {
    xs.push_back(from->h);
    ys.push_back(from->v);
  }
  for (const Rect& t : taken) {
    xs.push_back(long(t.right) + gap - content.left);
    xs.push_back(long(t.left) - gap - content.right);
    ys.push_back(long(t.bottom) + gap - content.top);
    ys.push_back(long(t.top) - gap - content.bottom);
  }
  const long size = long(content.right - content.left) * (content.bottom - content.top);
  // What falls outside the area cannot be reached at all, what covers
  // another program can be raised: the first counts before the second. A
  // program that stands already keeps as near as it can to where the
  // person last saw it, before it keeps clear of the others.
  using Rank = std::tuple<long, long, long, long, long>;
  std::optional<Rank> best;
  for (long dy : ys) {
    for (long dx : xs) {
      if (std::abs(dx) > 16000 || std::abs(dy) > 16000) continue;
      const Rect r{SInt16(content.top + dy), SInt16(content.left + dx), SInt16(content.bottom + dy),
                   SInt16(content.right + dx)};
      const long out = size - areaOf(r, area);
      long over = 0;
      for (const Rect& t : taken)
        over +=
            areaOf(r, Rect{SInt16(t.top - gap), SInt16(t.left - gap), SInt16(t.bottom + gap), SInt16(t.right + gap)});
      const long way = from ? std::abs(dx - from->h) + std::abs(dy - from->v) : 0;
      const Rank rank{out, from ? way : over, from ? over : 0, dy, dx};
      if (!best || rank < *best) best = rank;
    }
  }
  if (!best) return from ? *from : Point{SInt16(ys[0]), SInt16(xs[0])};
  return Point{SInt16(std::get<3>(*best)), SInt16(std::get<4>(*best))};
}

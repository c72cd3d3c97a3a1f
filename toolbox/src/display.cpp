// The screen's framebuffer and its backend: headless, or one X window that
// shows the framebuffer and turns the X server's mouse and keys into
// events.
#include "toolbox/display.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "display_backend.h"
#include "screen_internal.h"
#include "toolbox/clock.h"
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
  std::string shotAtExit;
  bool presenting = false;
};

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

void composite() {
  auto& d = ds();
  tb::detail::CompositeWindows(d.fb.data(), d.width, d.width, d.height);
  tb::detail::CompositeMenus(d.fb.data(), d.width, d.width, d.height);
}

void present(bool force) {
  auto& d = ds();
  if (!d.backend || d.presenting) return;
  UInt64 v = sceneVersion();
  if (!force && v == d.presented) return;
  d.presenting = true;  // drawing frames must not come back here
  composite();
  d.backend->present(d.fb.data(), d.width, d.width, d.height);
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
  present(false);
}

// ---------------------------------------------------------------------------

void tb::detail::DisplayIdle() {
  InitDisplay();
  auto& d = ds();
  if (!d.backend) return;
  d.backend->poll();
  present(false);
}

bool tb::detail::DisplayHasLiveInput() { return ds().backend && ds().backend->live(); }

void tb::detail::DisplayBeep() {
  if (ds().backend) ds().backend->beep();
}

void tb::detail::DisplaySetCursor(int kind) {
  if (ds().backend) ds().backend->setCursor(kind);
}

void tb::detail::ScreenChanged() { ++ds().changes; }

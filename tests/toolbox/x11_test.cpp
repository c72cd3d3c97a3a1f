// The X11 display under a real X server: a small program (this test binary
// started again under xvfb-run) opens a window, is clicked and typed at
// through X events sent by a second X client, and the result is read back
// from the X server's screen.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef TB_HAVE_X11
#include <unistd.h>

#include "toolbox/carbonevents.h"
#include "toolbox/clock.h"
#include "toolbox/display.h"
#include "toolbox/events.h"
#include "toolbox/windows.h"

// X11 calls its cursor type Cursor too.
#define Cursor XCursor
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#undef Cursor

namespace {

// The probe runs before the tests when the parent asks for it, and ends the
// process with its verdict (0 when everything came through).
int fail(const char* what) {
  std::fprintf(stderr, "x11 probe: %s\n", what);
  return 1;
}

Window findByName(Display* d, Window parent, const char* name) {
  Window root, up, *kids = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, parent, &root, &up, &kids, &n)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < n && !found; ++i) {
    char* wn = nullptr;
    if (XFetchName(d, kids[i], &wn) && wn) {
      if (std::string(wn) == name) found = kids[i];
      XFree(wn);
    }
    if (!found) found = findByName(d, kids[i], name);
  }
  if (kids) XFree(kids);
  return found;
}

// Runs the event loop for at most ms, giving each event (null events too)
// to on(); stops when on() returns true.
template <typename F>
bool loopUntil(int ms, F on) {
  const UInt64 end = tb::MonotonicMicros() + UInt64(ms) * 1000;
  while (tb::MonotonicMicros() < end) {
    EventRecord ev;
    WaitNextEvent(everyEvent, &ev, 2, nullptr);
    if (ev.what == updateEvt) {
      auto w = reinterpret_cast<WindowRef>(ev.message);
      BeginUpdate(w);
      EndUpdate(w);
    }
    if (on(ev)) return true;
  }
  return false;
}

void sendButton(Display* d, Window w, int type, int x, int y) {
  XEvent e{};
  e.xbutton.type = type;
  e.xbutton.display = d;
  e.xbutton.window = w;
  e.xbutton.root = DefaultRootWindow(d);
  e.xbutton.x = x;
  e.xbutton.y = y;
  e.xbutton.button = Button1;
  e.xbutton.same_screen = True;
  e.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
  XSendEvent(d, w, True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &e);
  XFlush(d);
}

void sendKey(Display* d, Window w, KeySym sym, unsigned state) {
  XEvent e{};
  e.xkey.type = KeyPress;
  e.xkey.display = d;
  e.xkey.window = w;
  e.xkey.root = DefaultRootWindow(d);
  e.xkey.keycode = XKeysymToKeycode(d, sym);
  e.xkey.state = state;
  e.xkey.same_screen = True;
  XSendEvent(d, w, True, KeyPressMask, &e);
  XFlush(d);
}

// Text input of the Carbon loop: the UTF-16 units and the key's bytes.
struct Typed {
  std::u16string units;
  UInt32 keyBytes = 0;
  bool timedOut = false;
};

OSStatus onText(EventHandlerCallRef, EventRef e, void* user) {
  auto* t = static_cast<Typed*>(user);
  UInt32 size = 0;
  GetEventParameter(e, kEventParamTextInputSendText, typeUnicodeText, nullptr, 0, &size, nullptr);
  std::u16string u(size / 2, u'\0');
  GetEventParameter(e, kEventParamTextInputSendText, typeUnicodeText, nullptr, size, nullptr, u.data());
  t->units += u;
  EventRef key = nullptr;
  GetEventParameter(e, kEventParamTextInputSendKeyboardEvent, typeEventRef, nullptr, sizeof key, nullptr, &key);
  GetEventParameter(key, kEventParamKeyMacCharCodes, typeChar, nullptr, 0, &t->keyBytes, nullptr);
  QuitApplicationEventLoop();
  return noErr;
}

const char* typeJapanese(Display* d, Window screen, WindowRef win) {
  // The highest key code gets the Unicode key symbol of U+65E5.
  int minCode = 0, maxCode = 0;
  XDisplayKeycodes(d, &minCode, &maxCode);
  KeySym sym = 0x01000000 | 0x65E5;
  XChangeKeyboardMapping(d, maxCode, 1, &sym, 1);
  XSync(d, False);
  XEvent e{};
  e.xkey.type = KeyPress;
  e.xkey.display = d;
  e.xkey.window = screen;
  e.xkey.root = DefaultRootWindow(d);
  e.xkey.keycode = unsigned(maxCode);
  e.xkey.same_screen = True;
  XSendEvent(d, screen, True, KeyPressMask, &e);
  XFlush(d);

  Typed typed;
  const EventTypeSpec text{kEventClassTextInput, kEventTextInputUnicodeForKeyEvent};
  EventHandlerRef h = nullptr;
  InstallWindowEventHandler(win, onText, 1, &text, &typed, &h);
  EventLoopTimerRef limit = nullptr;
  InstallEventLoopTimer(GetCurrentEventLoop(), 5.0, 0, +[](EventLoopTimerRef, void* user) {
    static_cast<Typed*>(user)->timedOut = true;
    QuitApplicationEventLoop();
  }, &typed, &limit);
  RunApplicationEventLoop();
  RemoveEventLoopTimer(limit);
  RemoveEventHandler(h);
  if (typed.timedOut) return "the Japanese key never arrived";
  if (typed.units != u"\u65E5" || typed.keyBytes != 3) return "the Japanese key did not come as one whole character";
  return nullptr;
}

int runProbe() {
  if (tb::DisplayIsHeadless()) return fail("the display came up headless");
  Str255 title;
  pstr::set(title, sizeof title, "Probe");
  Rect bounds{100, 120, 300, 420};
  WindowRef win = NewCWindow(nullptr, &bounds, title, true, documentProc, kFirstWindowOfClass, true, 0);
  if (!win) return fail("no window");

  Display* d = XOpenDisplay(nullptr);
  if (!d) return fail("the second client cannot connect");
  Window screen = 0;
  // The toolbox's window carries the program's name.
  loopUntil(5000, [&](const EventRecord&) {
    screen = findByName(d, DefaultRootWindow(d), program_invocation_short_name);
    XWindowAttributes a;
    return screen && XGetWindowAttributes(d, screen, &a) && a.map_state == IsViewable;
  });
  if (!screen) return fail("the screen window never appeared");

  // A click in the window's content.
  sendButton(d, screen, ButtonPress, 200, 150);
  sendButton(d, screen, ButtonRelease, 200, 150);
  EventRecord down{};
  if (!loopUntil(5000, [&](const EventRecord& ev) {
        if (ev.what != mouseDown) return false;
        down = ev;
        return true;
      }))
    return fail("the click never arrived");
  WindowRef hit = nullptr;
  if (FindWindow(down.where, &hit) != inContent || hit != win) return fail("the click missed the window");
  if (down.where.h != 200 || down.where.v != 150) return fail("the click came at the wrong place");
  if (!loopUntil(2000, [](const EventRecord& ev) { return ev.what == mouseUp; }))
    return fail("the release never arrived");

  // Control-Q is Command-Q.
  sendKey(d, screen, XK_q, ControlMask);
  EventRecord key{};
  if (!loopUntil(5000, [&](const EventRecord& ev) {
        if (ev.what != keyDown) return false;
        key = ev;
        return true;
      }))
    return fail("the key never arrived");
  if ((key.message & charCodeMask) != 'q' || ((key.message & keyCodeMask) >> 8) != 0x0C ||
      !(key.modifiers & cmdKey))
    return fail("the key came wrong");
  sendKey(d, screen, XK_Return, 0);
  if (!loopUntil(5000, [&](const EventRecord& ev) {
        return ev.what == keyDown && (ev.message & 0xFF) == 13 && ((ev.message >> 8) & 0xFF) == 0x24;
      }))
    return fail("Return did not come as Return");

  // A Japanese character from a key mapped to it reaches the Carbon loop
  // as one key event carrying the whole character.
  if (const char* why = typeJapanese(d, screen, win)) return fail(why);

  // The program answers by painting the window; the X server shows it.
  SetPortWindowPort(win);
  RGBColor red{0xFFFF, 0, 0};
  RGBForeColor(&red);
  Rect all;
  GetWindowPortBounds(win, &all);
  PaintRect(&all);
  bool shown = loopUntil(5000, [&](const EventRecord&) {
    XImage* img = XGetImage(d, screen, 200, 150, 1, 1, AllPlanes, ZPixmap);
    if (!img) return false;
    unsigned long px = XGetPixel(img, 0, 0);
    XDestroyImage(img);
    return px == 0xFF0000;
  });
  XCloseDisplay(d);
  if (!shown) return fail("the red window never reached the X server");
  return 0;
}

struct ProbeOnStart {
  ProbeOnStart() {
    if (std::getenv("TOOLBOX_X11_PROBE")) {
      int rc = runProbe();
      std::fflush(nullptr);
      _exit(rc);
    }
  }
} probeOnStart;

}  // namespace
#endif

TEST(X11Display, AProgramIsClickedAndTypedAtThroughX) {
#ifndef TB_HAVE_X11
  GTEST_SKIP() << "the toolbox was built without X11";
#else
  if (std::system("command -v xvfb-run >/dev/null 2>&1 && command -v Xvfb >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps installs it)";
  const std::string cmd =
      "env -u TOOLBOX_HEADLESS -u TOOLBOX_SCRIPT -u TOOLBOX_SCREENSHOT TOOLBOX_X11_PROBE=1 "
      "xvfb-run -a -s '-screen 0 1280x1024x24' /proc/" +
      std::to_string(getpid()) + "/exe 2>&1";
  // The probe binary is this one; /proc/<pid>/exe names it while we run.
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  const int status = pclose(p);
  EXPECT_EQ(status, 0) << out;
#endif
}

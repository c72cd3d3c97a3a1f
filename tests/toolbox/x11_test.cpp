// The X11 display under a real X server: a small program (this test binary
// started again on an Xvfb of the test's own) opens a window, is clicked
// and typed at through X events sent by a second X client, and the result
// is read back from the X server's screen (also what is drawn behind a
// window in front, which must stay behind it); it stands there named for
// the desktop and shaped to its window; a menu it opens while another
// client has the keyboard leaves the pointer to the desktop until the
// keyboard comes back; and a large text goes through the clipboard both
// ways.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef TB_HAVE_X11
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <vector>

#include "test_support.h"
#include "toolbox/carbonevents.h"
#include "toolbox/clock.h"
#include "toolbox/display.h"
#include "toolbox/events.h"
#include "toolbox/menus.h"
#include "toolbox/scrap.h"
#include "toolbox/windows.h"

// X11 calls its cursor type Cursor too.
#define Cursor XCursor
#include <X11/keysym.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef Cursor

extern char** environ;

namespace {

// The probe runs before the tests when the parent asks for it, and ends the
// process with its verdict (0 when everything came through).
int fail(const char* what) {
  std::fprintf(stderr, "x11 probe: %s\n", what);
  return 1;
}

// The top-level window whose _NET_WM_PID is pid.
Window findByPid(Display* d, Window parent, long pid) {
  Window root, up, *kids = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, parent, &root, &up, &kids, &n)) return 0;
  const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
  Window found = 0;
  for (unsigned i = 0; i < n && !found; ++i) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, kids[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success &&
        data && count == 1 && *reinterpret_cast<long*>(data) == pid)
      found = kids[i];
    if (data) XFree(data);
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

// Runs a command (another X client) while the event loop goes on, so that
// the program can answer it; its standard output, or nullopt when it failed.
std::optional<std::string> whileLooping(std::vector<std::string> args, const std::string& input = "") {
  char inName[] = "/tmp/x11-probe-in-XXXXXX", outName[] = "/tmp/x11-probe-out-XXXXXX";
  const int in = mkstemp(inName), out = mkstemp(outName);
  if (in < 0 || out < 0) return std::nullopt;
  if (write(in, input.data(), input.size()) != ssize_t(input.size())) return std::nullopt;
  lseek(in, 0, SEEK_SET);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in, 0);
  posix_spawn_file_actions_adddup2(&fa, out, 1);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int status = -1;
  if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0) {
    loopUntil(20000, [&](const EventRecord&) { return waitpid(pid, &status, WNOHANG) == pid; });
    if (waitpid(pid, &status, WNOHANG) == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
  }
  posix_spawn_file_actions_destroy(&fa);
  close(in);
  close(out);
  std::ifstream f(outName, std::ios::binary);
  std::stringstream text;
  text << f.rdbuf();
  unlink(inName);
  unlink(outName);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return text.str();
}

// Whether another client holds the pointer: taking it fails.
bool pointerHeld(Display* d) {
  const int taken = XGrabPointer(d, DefaultRootWindow(d), False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None,
                                 None, CurrentTime);
  if (taken == GrabSuccess) XUngrabPointer(d, CurrentTime);
  XSync(d, False);
  return taken == AlreadyGrabbed;
}

// A menu the program opens by itself while another client has the
// keyboard, followed by a timer that runs inside the menu's own loop.
struct MenuInBackground {
  Display* d = nullptr;
  Window screen = 0;
  WindowRef win = nullptr;
  enum { kBehind, kBack, kDone } step = kBehind;
  const char* fault = nullptr;
  UInt64 deadline = 0;
};

void endMenu(MenuInBackground& m, const char* fault) {
  m.fault = fault;
  m.step = MenuInBackground::kDone;
  sendKey(m.d, m.screen, XK_Escape, 0);
}

// The menu stands on the screen, left to the desktop's pointer; then the
// keyboard comes back and the menu takes the pointer, as one opened by a
// click does.
void followMenu(EventLoopTimerRef, void* user) {
  auto& m = *static_cast<MenuInBackground*>(user);
  if (m.step == MenuInBackground::kDone || !tb::ShownMenu()) return;
  if (tb::MonotonicMicros() > m.deadline) {
    endMenu(m, m.step == MenuInBackground::kBehind ? "the menu never reached the X server"
                                                   : "the menu did not take the pointer once the keyboard came back");
    return;
  }
  if (m.step == MenuInBackground::kBehind) {
    XImage* img = XGetImage(m.d, m.screen, 200, 200, 40, 10, AllPlanes, ZPixmap);
    int menu = 0;
    for (int y = 0; img && y < img->height; ++y)
      for (int x = 0; x < img->width; ++x) menu += XGetPixel(img, x, y) == 0xFAFAFA;
    if (img) XDestroyImage(img);
    if (menu < 100) return;
    if (pointerHeld(m.d)) return endMenu(m, "a menu opened in the background took the pointer from the desktop");
    XSetInputFocus(m.d, m.screen, RevertToPointerRoot, CurrentTime);
    XSync(m.d, False);
    m.step = MenuInBackground::kBack;
  } else if (IsWindowHilited(m.win) && pointerHeld(m.d)) {
    endMenu(m, nullptr);
  }
}

const char* menuInBackground(Display* d, Window screen, WindowRef win) {
  // Another client's window takes the keyboard from the program.
  Window other = XCreateSimpleWindow(d, DefaultRootWindow(d), 1200, 900, 20, 20, 0, 0, 0);
  XMapWindow(d, other);
  XSetInputFocus(d, screen, RevertToPointerRoot, CurrentTime);
  XSync(d, False);
  if (!loopUntil(5000, [&](const EventRecord&) { return IsWindowHilited(win); }))
    return "the keyboard given to the program did not activate its window";
  XSetInputFocus(d, other, RevertToPointerRoot, CurrentTime);
  XSync(d, False);
  if (!loopUntil(5000, [&](const EventRecord&) { return !IsWindowHilited(win); }))
    return "the keyboard given to another client did not deactivate the window";
  Str255 title, items;
  pstr::set(title, sizeof title, "Probe");
  pstr::set(items, sizeof items, "One;Two");
  MenuRef menu = NewMenu(200, title);
  AppendMenu(menu, items);
  MenuInBackground m{d, screen, win};
  m.deadline = tb::MonotonicMicros() + 10'000'000;
  EventLoopTimerRef timer = nullptr;
  InstallEventLoopTimer(GetCurrentEventLoop(), 0, 0.02, followMenu, &m, &timer);
  const long chosen = PopUpMenuSelect(menu, 200, 200, 1);
  RemoveEventLoopTimer(timer);
  DisposeMenu(menu);
  XDestroyWindow(d, other);
  XSync(d, False);
  if (m.step != MenuInBackground::kDone) return "the menu closed by itself";
  if (m.fault) return m.fault;
  if (chosen != 0) return "Escape chose from the menu";
  // Where the menu stood, the window under it shows again.
  const auto under = [&] {
    XImage* img = XGetImage(d, screen, 210, 205, 1, 1, AllPlanes, ZPixmap);
    const unsigned long px = img ? XGetPixel(img, 0, 0) : 0;
    if (img) XDestroyImage(img);
    return px;
  };
  if (!loopUntil(5000, [&](const EventRecord&) { return under() == 0xFFFFFF; }))
    return "the menu put away stayed on the screen";
  return nullptr;
}

// A text far larger than one request can carry, lines ended the
// platform's way here and the desktop's way there, goes out to another
// client and comes back from one.
const char* clipboardBothWays() {
  if (std::system("command -v xclip >/dev/null 2>&1") != 0) return nullptr;
  std::string ours, theirs;
  for (int i = 0; ours.size() < 600000; ++i) {
    ours += "line " + std::to_string(i) + " 日本\r";
    theirs += "line " + std::to_string(i) + " 日本\n";
  }
  tb::PutScrapText(ours);
  const auto read = whileLooping({"xclip", "-o", "-selection", "clipboard", "-t", "UTF8_STRING"});
  if (!read || *read != theirs) return "a large copy did not reach another client whole";
  // xclip stays behind to answer one request, then ends; a text of more
  // than a megabyte it hands over in pieces.
  const std::string other = "another " + theirs + theirs;
  if (!whileLooping({"xclip", "-i", "-selection", "clipboard", "-loops", "1"}, other))
    return "xclip could not take the clipboard";
  std::string pasted;
  if (!tb::GetScrapText(&pasted) || pasted != other) return "a large text another client copied was not pasted whole";
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
  // The program's window carries its process, its name as its class and
  // the front window's title.
  loopUntil(5000, [&](const EventRecord&) {
    screen = findByPid(d, DefaultRootWindow(d), long(getpid()));
    XWindowAttributes a;
    return screen && XGetWindowAttributes(d, screen, &a) && a.map_state == IsViewable;
  });
  if (!screen) return fail("the screen window never appeared");
  XClassHint cls{};
  char* name = nullptr;
  const bool named = XGetClassHint(d, screen, &cls) && cls.res_class &&
                     std::string(cls.res_class) == program_invocation_short_name && XFetchName(d, screen, &name) &&
                     name && std::string(name) == "Probe";
  if (cls.res_name) XFree(cls.res_name);
  if (cls.res_class) XFree(cls.res_class);
  if (name) XFree(name);
  if (!named) return fail("the screen window is not named for the desktop");

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

  if (const char* why = menuInBackground(d, screen, win)) return fail(why);

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
  if (!shown) return fail("the red window never reached the X server");
  // Only what was drawn into goes out again, and a window in front stays in
  // front of what is drawn behind it: the back window painted blue under a
  // small green one.
  Rect frontBounds{140, 180, 200, 260};
  WindowRef front = NewCWindow(nullptr, &frontBounds, title, true, plainDBox, kFirstWindowOfClass, false, 0);
  if (!front) return fail("no second window");
  SetPortWindowPort(front);
  RGBColor green{0, 0xFFFF, 0};
  RGBForeColor(&green);
  GetWindowPortBounds(front, &all);
  PaintRect(&all);
  unsigned long sleeping = 0;
  auto pixelAt = [&](int x, int y) {
    XImage* one = XGetImage(d, screen, x, y, 1, 1, AllPlanes, ZPixmap);
    const unsigned long px = one ? XGetPixel(one, 0, 0) : 0;
    if (one) XDestroyImage(one);
    return px;
  };
  if (!loopUntil(5000, [&](const EventRecord&) { return pixelAt(220, 160) == 0x00FF00; }))
    return fail("the window in front never reached the X server");
  SetPortWindowPort(win);
  RGBColor blue{0, 0, 0xFFFF};
  RGBForeColor(&blue);
  GetWindowPortBounds(win, &all);
  PaintRect(&all);
  if (!loopUntil(5000, [&](const EventRecord&) { return pixelAt(400, 250) == 0x0000FF; }))
    return fail("the window drawn into again never reached the X server");
  if (pixelAt(220, 160) != 0x00FF00) return fail("what was drawn behind a window came out in front of it");
  // A window that moves, goes behind, comes forward, hides, shows again or
  // gives way to a new one at its place: what each point shows reaches the
  // X server, though only the part of the screen that changed is sent.
  const auto paintNew = [&](const RGBColor& c) {
    WindowRef w = NewCWindow(nullptr, &frontBounds, title, true, plainDBox, kFirstWindowOfClass, false, 0);
    SetPortWindowPort(w);
    RGBForeColor(&c);
    GetWindowPortBounds(w, &all);
    PaintRect(&all);
    return w;
  };
  const RGBColor yellow{0xFFFF, 0xFFFF, 0};
  const struct {
    std::function<void()> act;
    unsigned long at220, at340;  // the pixels at (220, 160) and (340, 160)
    const char* fault;
  } steps[] = {
      {[&] { MoveWindow(front, 300, 140, false); }, 0x0000FF, 0x00FF00, "a moved window left itself behind"},
      {[&] { SelectWindow(win); }, 0x0000FF, 0x0000FF, "a window brought forward stayed behind"},
      {[&] { SelectWindow(front); }, 0x0000FF, 0x00FF00, "a window brought forward again stayed behind"},
      {[&] { HideWindow(front); }, 0x0000FF, 0x0000FF, "a hidden window still showed"},
      {[&] { ShowWindow(front); }, 0x0000FF, 0x00FF00, "a window shown again did not show"},
      {[&] {
         DisposeWindow(front);
         front = paintNew(yellow);
       },
       0xFFFF00, 0x0000FF, "a window made where another was disposed did not show"},
  };
  for (const auto& step : steps) {
    step.act();
    if (!loopUntil(5000, [&](const EventRecord&) {
          return pixelAt(220, 160) == step.at220 && pixelAt(340, 160) == step.at340;
        }))
      return fail(step.fault);
  }
  // Two drawings within one refresh of the screen: the second is held to
  // the refresh's end and reaches the X server while the program sleeps on
  // (looked at from a timer a tenth of a second into the sleep).
  SetPortWindowPort(front);
  GetWindowPortBounds(front, &all);
  for (const RGBColor& c : {blue, green}) {
    RGBForeColor(&c);
    PaintRect(&all);
    EventRecord shown;
    WaitNextEvent(0, &shown, 0, nullptr);
  }
  std::function<void()> look = [&] { sleeping = pixelAt(220, 160); };
  EventLoopTimerRef lookTimer = nullptr;
  InstallEventLoopTimer(
      GetCurrentEventLoop(), 0.1, 0, +[](EventLoopTimerRef, void* f) { (*static_cast<std::function<void()>*>(f))(); },
      &look, &lookTimer);
  EventRecord slept;
  WaitNextEvent(0, &slept, 30, nullptr);
  RemoveEventLoopTimer(lookTimer);
  if (sleeping != 0x00FF00)
    return fail("a drawing held to the screen's refresh did not go out while the program slept");
  // A program's own flush shows its drawing at once, within a refresh that
  // already showed one, though the program then neither pumps nor sleeps.
  RGBForeColor(&blue);
  PaintRect(&all);
  WaitNextEvent(0, &slept, 0, nullptr);
  RGBForeColor(&red);
  PaintRect(&all);
  QDFlushPortBuffer(GetWindowPort(front), nullptr);
  for (int i = 0; i < 100 && pixelAt(220, 160) != 0xFF0000; ++i) usleep(10000);
  if (pixelAt(220, 160) != 0xFF0000) return fail("a drawing the program flushed did not go out at once");
  DisposeWindow(front);
  // Beside the window the desktop shows: the screen is shaped to it.
  XImage* img = XGetImage(d, DefaultRootWindow(d), 60, 500, 1, 1, AllPlanes, ZPixmap);
  const unsigned long beside = img ? XGetPixel(img, 0, 0) : 0;
  if (img) XDestroyImage(img);
  XCloseDisplay(d);
  if (beside == 0xFF0000 || beside == 0x6E7F96) return fail("the screen covers the desktop beside the window");
  if (const char* why = clipboardBothWays()) return fail(why);
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
  if (std::system("command -v Xvfb >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps installs it)";
  // A server of the test's own: xvfb-run's -a picks a number by looking,
  // which a test started at the same moment can take too, and the probe
  // then typed on another test's desktop.
  std::string display;
  const int xvfb = testsupport::StartXvfb("1280x1024x24", &display);
  ASSERT_GT(xvfb, 0) << "Xvfb did not start";
  const std::string cmd =
      "env -u TOOLBOX_HEADLESS -u TOOLBOX_SCRIPT -u TOOLBOX_SCREENSHOT TOOLBOX_X11_PROBE=1 DISPLAY=" + display +
      " /proc/" + std::to_string(getpid()) + "/exe 2>&1";
  // The probe binary is this one; /proc/<pid>/exe names it while we run.
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  const int status = pclose(p);
  kill(xvfb, SIGTERM);
  testsupport::WaitExit(xvfb);
  EXPECT_EQ(status, 0) << out;
#endif
}

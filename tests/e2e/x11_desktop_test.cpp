// Three programs of the suite on a real desktop (Xvfb with the openbox window
// manager), two started together and a third later, used by X input alone
// (xdotool, through the XTest extension, and the window manager's own
// moves); what they do is read back from the X server only: its screen, the
// windows' geometry, properties and shapes, who holds the pointer, and the
// clipboard through xclip, another X client. The held-job manager among
// them finds an emulated box while it stands in the background.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "pboxemu/emulator.h"
#include "pboxemu/hold_server.h"
#include "test_support.h"

#ifdef TB_HAVE_X11
#include "toolbox/clock.h"
#include "toolbox/quickdraw.h"

// X11 calls its cursor and region types as the toolbox does.
#define Cursor XCursor
#define Region XRegion
#include <X11/extensions/shape.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef Cursor
#undef Region

namespace {

namespace fs = std::filesystem;
using testsupport::ScopedEnv;

const fs::path kBuild = std::getenv("VEMO_BUILD_DIR") ? std::getenv("VEMO_BUILD_DIR") : ".";
constexpr unsigned long kDesktop = 0x305070;  // the root window's colour here
// The frames' title bars, active and inactive.
constexpr unsigned long kActiveTitle = 0xD6D6D6, kInactiveTitle = 0xEEEEEE;
constexpr unsigned long kThumb = 0x8C8C96;  // a scroll bar's thumb
constexpr unsigned long kMenu = 0xFAFAFA;   // the ground of a menu pulled down

// Polls cond until it holds or the time is up (generous: sanitizer builds
// on a loaded machine start slowly).
bool waitUntil(const std::function<bool()>& cond, int seconds = 60) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    usleep(20000);
  }
  return true;
}

// A command's standard output and whether it ended well.
bool run(const std::string& command, std::string* out = nullptr) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return false;
  std::string text;
  char buf[512];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) text.append(buf, n);
  if (out) *out = text;
  return pclose(p) == 0;
}

struct Area {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
  bool within(const Area& o) const { return left >= o.left && top >= o.top && right <= o.right && bottom <= o.bottom; }
  bool apart(const Area& o) const { return right <= o.left || o.right <= left || bottom <= o.top || o.bottom <= top; }
  bool operator==(const Area&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Area& a) {
  return o << a.left << "," << a.top << " to " << a.right << "," << a.bottom;
}

// An X server of its own with a window manager, ended with the object. The
// window manager leaves the keyboard where it is when a program starts, as
// desktops that keep a new program from taking it while the person types
// elsewhere do; its configuration is written in dir.
class Desktop {
 public:
  explicit Desktop(const fs::path& dir) {
    xvfb_ = testsupport::StartXvfb("1600x960x24", &name_);
    if (xvfb_ <= 0) return;
    display_.emplace("DISPLAY", name_.c_str());
    d_ = XOpenDisplay(name_.c_str());
    if (!d_) return;
    root_ = DefaultRootWindow(d_);
    XSetWindowBackground(d_, root_, kDesktop);
    XClearWindow(d_, root_);
    XFlush(d_);
    std::vector<std::string> wm{"/usr/bin/env", "openbox", "--sm-disable"};
    std::string rc = testsupport::ReadFile("/etc/xdg/openbox/rc.xml");
    if (const auto at = rc.find("<focusNew>yes</focusNew>"); at != std::string::npos) {
      rc.replace(at, std::strlen("<focusNew>yes</focusNew>"), "<focusNew>no</focusNew>");
      testsupport::WriteFile(dir / "openbox.xml", rc);
      wm.insert(wm.end(), {"--config-file", (dir / "openbox.xml").string()});
    }
    wm_ = testsupport::SpawnProgram(wm);
    const Atom check = atom("_NET_SUPPORTING_WM_CHECK");
    ready_ = waitUntil([&] { return property(root_, check, XA_WINDOW).size() == 1; });
  }
  ~Desktop() {
    for (int pid : programs_) stop(pid, SIGKILL);
    if (d_) XCloseDisplay(d_);
    stop(wm_);
    stop(xvfb_);
  }
  bool ready() const { return ready_; }
  Display* d() const { return d_; }

  // Starts a program of the build with this desktop.
  int start(const fs::path& exe) {
    const int pid = testsupport::SpawnProgram({exe.string()});
    if (pid > 0) programs_.push_back(pid);
    return pid;
  }

  Atom atom(const char* name) const { return XInternAtom(d_, name, False); }

  std::vector<long> property(Window w, Atom name, Atom type) const {
    Atom actual;
    int format;
    unsigned long n = 0, after;
    unsigned char* data = nullptr;
    std::vector<long> out;
    if (XGetWindowProperty(d_, w, name, 0, 64, False, type, &actual, &format, &n, &after, &data) == Success && data &&
        format == 32)
      out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + n);
    if (data) XFree(data);
    return out;
  }

  std::string text(Window w, const char* name) const {
    XTextProperty tp{};
    std::string out;
    if (XGetTextProperty(d_, w, &tp, atom(name)) && tp.value) out.assign(reinterpret_cast<char*>(tp.value), tp.nitems);
    if (tp.value) XFree(tp.value);
    return out;
  }

  // The viewable window of a process (its _NET_WM_PID), at any depth
  // below the window manager's frames.
  Window windowOf(long pid, Window parent = 0) const {
    if (!parent) parent = root_;
    Window r, up, *kids = nullptr;
    unsigned n = 0;
    Window found = 0;
    if (!XQueryTree(d_, parent, &r, &up, &kids, &n)) return 0;
    for (unsigned i = 0; i < n && !found; ++i) {
      const auto p = property(kids[i], atom("_NET_WM_PID"), XA_CARDINAL);
      XWindowAttributes a;
      if (p.size() == 1 && p[0] == pid && XGetWindowAttributes(d_, kids[i], &a) && a.map_state == IsViewable)
        found = kids[i];
      else if (parent == root_)
        found = windowOf(pid, kids[i]);
    }
    if (kids) XFree(kids);
    return found;
  }

  // Where a window's top-left stands on the desktop.
  std::pair<int, int> origin(Window w) const {
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(d_, w, root_, 0, 0, &x, &y, &child);
    return {x, y};
  }

  // What a program says it shows, for the next one that looks for a place
  // (empty when it says nothing).
  Area published(Window w) const {
    const auto v = property(w, atom("_VEMO_TOOLBOX_AREA"), XA_CARDINAL);
    if (v.size() != 4) return {};
    return Area{int(v[0]), int(v[1]), int(v[0] + v[2]), int(v[1] + v[3])};
  }

  // The window manager's work area of the current desktop.
  Area workArea() const {
    const auto v = property(root_, atom("_NET_WORKAREA"), XA_CARDINAL);
    if (v.size() < 4) return {};
    return Area{int(v[0]), int(v[1]), int(v[0] + v[2]), int(v[1] + v[3])};
  }

  Window focus() const {
    Window f = 0;
    int revert = 0;
    XGetInputFocus(d_, &f, &revert);
    return f;
  }

  // What of the desktop the window shows (its shape), in root coordinates.
  Area shown(Window w) const {
    Bool bShaped = False, cShaped = False;
    int bx = 0, by = 0, cx, cy;
    unsigned bw = 0, bh = 0, cw, ch;
    int x = 0, y = 0;
    Window child;
    if (!XShapeQueryExtents(d_, w, &bShaped, &bx, &by, &bw, &bh, &cShaped, &cx, &cy, &cw, &ch) || !bShaped ||
        !XTranslateCoordinates(d_, w, root_, 0, 0, &x, &y, &child))
      return {};
    return Area{x + bx, y + by, x + bx + int(bw), y + by + int(bh)};
  }

  // Writes the screen as PNG (for a person looking into a failure).
  void save(const fs::path& file) const {
    XImage* img = shot();
    if (!img) return;
    std::vector<UInt32> px(std::size_t(img->width) * img->height);
    for (int y = 0; y < img->height; ++y)
      for (int x = 0; x < img->width; ++x) {
        const unsigned long p = XGetPixel(img, x, y);
        px[std::size_t(y) * img->width + x] = tb::PackPixel(UInt8(p >> 16), UInt8(p >> 8), UInt8(p));
      }
    tb::WritePNG(file.c_str(), px.data(), SInt32(img->width) * 4, img->width, img->height);
    XDestroyImage(img);
  }

  // The pixels of an area of the screen, row by row.
  std::vector<unsigned long> pixels(const Area& a) const {
    std::vector<unsigned long> out;
    if (a.empty()) return out;
    XImage* img =
        XGetImage(d_, root_, a.left, a.top, unsigned(a.right - a.left), unsigned(a.bottom - a.top), AllPlanes, ZPixmap);
    for (int y = 0; img && y < img->height; ++y)
      for (int x = 0; x < img->width; ++x) out.push_back(XGetPixel(img, x, y));
    if (img) XDestroyImage(img);
    return out;
  }

  // Whether a client holds the pointer: this one cannot take it.
  bool pointerHeld() const {
    const int taken =
        XGrabPointer(d_, root_, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    if (taken == GrabSuccess) XUngrabPointer(d_, CurrentTime);
    XSync(d_, False);
    return taken == AlreadyGrabbed;
  }

  // The screen as the X server shows it.
  XImage* shot() const {
    XWindowAttributes a;
    XGetWindowAttributes(d_, root_, &a);
    return XGetImage(d_, root_, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
  }

 private:
  // Ends a process of ours: the programs at once (one may be asking
  // whether to quit), the server and the window manager when asked to.
  static void stop(int pid, int sig = SIGTERM) {
    if (pid <= 0) return;
    kill(pid, sig);
    int status = 0;
    if (!waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10)) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
  }
  int xvfb_ = -1, wm_ = -1;
  std::vector<int> programs_;
  std::string name_;
  std::optional<ScopedEnv> display_;
  ScopedEnv live_{"TOOLBOX_HEADLESS", "0"};
  Display* d_ = nullptr;
  Window root_ = 0;
  bool ready_ = false;
};

// Pixels of a colour inside an area of the screen.
int count(XImage* img, const Area& a, unsigned long colour) {
  int n = 0;
  for (int y = std::max(a.top, 0); y < std::min(a.bottom, img->height); ++y)
    for (int x = std::max(a.left, 0); x < std::min(a.right, img->width); ++x) n += XGetPixel(img, x, y) == colour;
  return n;
}

}  // namespace
#endif

TEST(X11Display, ProgramsStandApartStayOnTheDesktopAndAreUsedByXInputAlone) {
#ifndef TB_HAVE_X11
  GTEST_SKIP() << "the toolbox was built without X11";
#else
  if (!run("command -v Xvfb && command -v openbox && command -v xdotool && command -v xclip"))
    GTEST_SKIP() << "Xvfb, openbox, xdotool or xclip is missing (scripts/install-deps installs them)";
  const testsupport::TempDir dir;
  const ScopedEnv home("HOME", dir.path().c_str());
  const ScopedEnv config("XDG_CONFIG_HOME", (dir.path() / "config").c_str());
  const ScopedEnv lang("TOOLBOX_LANG", "en");
  // A box that holds jobs, whose answers to a search wait for this test's
  // clock: the held-job manager finds it when the test says so.
  const ScopedEnv ports("TOOLBOX_PORTMAP", (pboxemu::PrivatePortMap() + "," + pboxemu::HoldPortMap()).c_str());
  struct VirtualClock {
    VirtualClock() { tb::UseVirtualClock(true); }
    ~VirtualClock() { tb::UseVirtualClock(false); }
  } clock;
  pboxemu::Emulator emu;
  pboxemu::BoxSpec spec;
  spec.hasMachineType = true;
  std::memcpy(spec.machineType.data(), "VEMOPLEX[C]", 11);
  spec.machineType[15] = 0x23;
  emu.AddBox(spec);
  emu.Hold().Enable();
  emu.Hold().AddFolder(0, {1, "1_Design", 0, 0});
  constexpr UInt32 kAnswerLate = 60;
  pboxemu::FaultSpec late;
  late.mode = pboxemu::Fault::Late;
  late.ticks = kAnswerLate;
  late.command = false;
  emu.SetFault(0, late);
  std::string err;
  ASSERT_TRUE(emu.Start(&err)) << err;
  Desktop desk(dir.path());
  ASSERT_TRUE(desk.ready()) << "no X server with a window manager";
  // VEMO_X11_SHOTS=folder keeps the screen as it was at the end.
  struct KeepScreen {
    const Desktop& desk;
    ~KeepScreen() {
      if (const char* to = std::getenv("VEMO_X11_SHOTS")) desk.save(fs::path(to) / "x11-desktop.png");
    }
  } keep{desk};

  struct Started {
    const char* exe;
    const char* name;
    const char* title;  // of its first window
    int pid = -1;
    Window win = 0;
    Area area;
  };
  // The first two start together, the third once they stand.
  Started programs[] = {
      {"suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN", "VEMO-ADMIN", "VEMO-ADMIN [ User Mode ]", -1, 0, {}},
      {"suite/VemoHoldManager.app/Contents/MacOS/VemoHoldManager", "VemoHoldManager", "VemoHoldManager", -1, 0, {}},
      {"suite/VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR", "VEMO-MONITOR", "Status Monitor", -1, 0, {}},
  };
  // What a program says it shows is what the desktop shows of it, where
  // the window manager put it.
  auto current = [&](const Started& p) {
    const Area shown = desk.shown(p.win);
    return !shown.empty() && desk.published(p.win) == shown;
  };
  // Each stands on the desktop named for the window manager: its class,
  // its process, the front window's title, and nothing to maximise it;
  // clear of those started before or with it.
  auto standing = [&](Started& p) {
    SCOPED_TRACE(p.name);
    ASSERT_TRUE(waitUntil([&] {
      p.win = desk.windowOf(p.pid);
      return p.win && desk.text(p.win, "_NET_WM_NAME") == p.title;
    })) << "no window titled "
        << p.title;
    XClassHint cls{};
    ASSERT_TRUE(XGetClassHint(desk.d(), p.win, &cls));
    EXPECT_STREQ(cls.res_class, p.name);
    XFree(cls.res_name);
    XFree(cls.res_class);
    std::vector<long> actions;
    ASSERT_TRUE(waitUntil([&] {
      actions = desk.property(p.win, desk.atom("_NET_WM_ALLOWED_ACTIONS"), XA_ATOM);
      return !actions.empty();
    }));
    for (const char* maximise : {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT"})
      EXPECT_EQ(std::count(actions.begin(), actions.end(), long(desk.atom(maximise))), 0) << maximise;
    ASSERT_TRUE(waitUntil([&] { return current(p); }))
        << "it says it shows " << desk.published(p.win) << " where it shows " << desk.shown(p.win);
    p.area = desk.shown(p.win);
    EXPECT_TRUE(p.area.within(desk.workArea())) << p.area;
    for (const Started& other : programs) {
      if (&other != &p && other.win) {
        EXPECT_TRUE(p.area.apart(other.area)) << "over " << other.name;
      }
    }
  };
  programs[0].pid = desk.start(kBuild / programs[0].exe);
  programs[1].pid = desk.start(kBuild / programs[1].exe);
  for (int i : {0, 1}) {
    standing(programs[i]);
    if (HasFatalFailure()) return;
  }

  // Both on one screenshot, the desktop between them, each with its menu
  // bar.
  const Area& a = programs[0].area;
  const Area& b = programs[1].area;
  const int gapX = a.right <= b.left ? (a.right + b.left) / 2 : b.right <= a.left ? (b.right + a.left) / 2 : -1;
  const int gapY = a.bottom <= b.top ? (a.bottom + b.top) / 2 : b.bottom <= a.top ? (b.bottom + a.top) / 2 : -1;
  const int betweenX = gapX >= 0 ? gapX : std::max(a.left, b.left) + 30;
  const int betweenY = gapY >= 0 ? gapY : std::max(a.top, b.top) + 30;
  unsigned long between = 0, bars[2] = {};
  // Once both have drawn.
  waitUntil([&] {
    XImage* img = desk.shot();
    if (!img) return false;
    between = XGetPixel(img, betweenX, betweenY);
    for (int i = 0; i < 2; ++i) bars[i] = XGetPixel(img, programs[i].area.left + 3, programs[i].area.top + 3);
    XDestroyImage(img);
    return between == kDesktop && bars[0] == 0xF2F2F2 && bars[1] == 0xF2F2F2;
  });
  EXPECT_EQ(between, kDesktop) << "no desktop between the programs";
  for (int i = 0; i < 2; ++i) EXPECT_EQ(bars[i], 0xF2F2F2UL) << programs[i].name << ": no menu bar";

  // How a program's windows look: active (1), inactive (0), or neither
  // yet (-1).
  auto titles = [&](const Started& p) {
    XImage* now = desk.shot();
    const Area at = desk.shown(p.win);
    const int on = now ? count(now, at, kActiveTitle) : 0;
    const int off = now ? count(now, at, kInactiveTitle) : 0;
    if (now) XDestroyImage(now);
    return on > 2000 && off < 500 ? 1 : on < 500 && off > 2000 ? 0 : -1;
  };
  const Started& admin = programs[0];
  int ox = 0, oy = 0;
  std::tie(ox, oy) = desk.origin(admin.win);
  // Places on the administration program's screen (its menu bar's titles,
  // the dialog centred on it) as the desktop has them.
  auto at = [&](int x, int y) { return " mousemove " + std::to_string(ox + x) + " " + std::to_string(oy + y); };
  // Below its menu bar and above its main window: the desktop, unless a
  // menu is pulled down there.
  auto menuShown = [&] {
    XImage* px = XGetImage(desk.d(), DefaultRootWindow(desk.d()), ox + 300, oy + 30, 1, 1, AllPlanes, ZPixmap);
    const bool shown = px && XGetPixel(px, 0, 0) != kDesktop;
    if (px) XDestroyImage(px);
    return shown;
  };

  // The held-job manager, started in the background (the window manager
  // leaves the keyboard where it is), finds its box while the person works
  // in the administration program: it shows the box in its device pop-up
  // but does not open the pop-up by itself there, so the person's mouse
  // stays theirs and a click on the program they use reaches it. Brought
  // forward, the held-job manager opens the pop-up, and the box chosen
  // there by the keyboard is asked for its held jobs.
  const Started& hold = programs[1];
  // How much of a menu pulled down the held-job manager shows.
  auto holdMenu = [&] {
    XImage* now = desk.shot();
    const int menu = now ? count(now, desk.shown(hold.win), kMenu) : 0;
    if (now) XDestroyImage(now);
    return menu;
  };
  run("xdotool windowactivate " + std::to_string(admin.win));
  ASSERT_TRUE(waitUntil([&] { return desk.focus() == admin.win && titles(hold) == 0; }));
  // The pop-up would open by itself 1.5 s (by the program's own clock)
  // after the search began: the box answers once both programs' searches
  // have been quiet for longer than that.
  std::size_t heard = 0;
  auto lastHeard = std::chrono::steady_clock::now();
  ASSERT_TRUE(waitUntil([&] {
    const auto now = std::chrono::steady_clock::now();
    std::set<UInt16> searchers;
    const auto requests = emu.Requests(0);
    for (const pboxemu::RequestRecord& r : requests)
      if (r.kind == pboxemu::RequestRecord::Probe) searchers.insert(r.fromPort);
    if (requests.size() != heard) {
      heard = requests.size();
      lastHeard = now;
    }
    return searchers.size() >= 2 && now - lastHeard > std::chrono::milliseconds(1600);
  })) << "the programs did not search";
  const Area holdShown = desk.shown(hold.win);
  const std::vector<unsigned long> searching = desk.pixels(holdShown);
  const int menuBefore = holdMenu();
  tb::AdvanceTicks(kAnswerLate + 1);
  ASSERT_TRUE(waitUntil([&] { return desk.pixels(holdShown) != searching; })) << "the box found did not show";
  EXPECT_LT(holdMenu(), menuBefore + 300) << "the held-job manager opened its pop-up in the background";
  EXPECT_FALSE(desk.pointerHeld()) << "the held-job manager in the background holds the desktop's mouse";
  run("xdotool" + at(268, 8) + " click 1");
  EXPECT_TRUE(waitUntil(menuShown)) << "a click on the front program's menu did not reach it";
  run("xdotool key Escape");
  EXPECT_TRUE(waitUntil([&] { return !menuShown(); }));
  run("xdotool windowactivate " + std::to_string(hold.win));
  EXPECT_TRUE(waitUntil([&] { return holdMenu() > menuBefore + 1000; }))
      << "brought forward, the held-job manager did not open its device pop-up";
  run("xdotool key Down Return");
  EXPECT_TRUE(waitUntil([&] { return !emu.Hold().Requests(0).empty(); }))
      << "the box chosen from the pop-up was not asked for its held jobs";

  // The keyboard given to one program by the window manager leaves the
  // other's windows looking inactive, and back again.
  for (int front : {1, 0}) {
    const Started& p = programs[front];
    run("xdotool windowactivate " + std::to_string(p.win));
    EXPECT_TRUE(waitUntil([&] { return titles(p) == 1 && titles(programs[1 - front]) == 0; }))
        << p.name << " given the keyboard: its window active, the other's inactive";
  }

  // In the administration program (now in front): a menu opened by a
  // click closes at a click beside it, which reaches no other program;
  // one chosen by two clicks opens the search settings, whose address field takes a text
  // typed and hands it to another client, and takes one another client
  // copied; the list of addresses it fills scrolls under the wheel.
  run("xdotool" + at(268, 8) + " click 1");
  EXPECT_TRUE(waitUntil(menuShown)) << "a click on a menu's title did not open it";
  run("xdotool mousemove " + std::to_string((programs[1].area.left + programs[1].area.right) / 2) + " " +
      std::to_string((programs[1].area.top + programs[1].area.bottom) / 2) + " click 1");
  EXPECT_TRUE(waitUntil([&] { return !menuShown(); })) << "a click beside the open menu did not close it";
  EXPECT_EQ(titles(programs[1]), 0) << "the click that closed the menu reached the other program";
  run("xdotool" + at(268, 8) + " click 1");
  run("xdotool" + at(310, 65) + " click 1");
  ASSERT_TRUE(waitUntil([&] { return desk.text(admin.win, "_NET_WM_NAME") == "Search Settings"; }))
      << "Setup > Search Settings... did not open by two clicks";
  auto clipboard = [&](const std::string& want) {
    return waitUntil([&] {
      std::string got;
      return XGetSelectionOwner(desk.d(), desk.atom("CLIPBOARD")) == admin.win &&
             run("timeout 5 xclip -o -selection clipboard", &got) && got == want;
    });
  };
  run("xdotool" + at(414, 361) + " click 1 type 10.9.8.7");
  run("xdotool key ctrl+a ctrl+c");
  EXPECT_TRUE(clipboard("10.9.8.7")) << "a text copied from the field did not reach another client";
  run("printf 127.0.0.42 | xclip -i -selection clipboard >/dev/null 2>&1");
  run("xdotool key ctrl+a ctrl+v ctrl+a ctrl+c");
  EXPECT_TRUE(clipboard("127.0.0.42")) << "a text another client copied was not pasted";
  for (int i = 1; i <= 12; ++i) {
    run("xdotool key ctrl+a type 10.0.0." + std::to_string(i));
    run("xdotool" + at(556, 363) + " click 1");
  }
  // The list's scroll thumb: where it starts in the bar (-1: none yet).
  auto thumbTop = [&] {
    int top = -1;
    if (XImage* bar =
            XGetImage(desk.d(), DefaultRootWindow(desk.d()), ox + 484, oy + 375, 1, 100, AllPlanes, ZPixmap)) {
      for (int y = 0; y < 100 && top < 0; ++y)
        if (XGetPixel(bar, 0, y) == kThumb) top = y;
      XDestroyImage(bar);
    }
    return top;
  };
  int start = -1;
  ASSERT_TRUE(waitUntil([&] { return (start = thumbTop()) >= 0; })) << "the addresses did not fill the list";
  run("xdotool" + at(414, 430) + " click 5 click 5");
  EXPECT_TRUE(waitUntil([&] { return thumbTop() > start; }, 20)) << "the wheel did not scroll the list";
  run("xdotool key Escape");
  ASSERT_TRUE(waitUntil([&] { return desk.text(admin.win, "_NET_WM_NAME") == admin.title; }))
      << "Escape did not close the search settings";

  // The third program, started while the administration program has the
  // keyboard, stands clear of the other two; from its first look on, the
  // program that has the keyboard looks active and only that one.
  Started& monitor = programs[2];
  monitor.pid = desk.start(kBuild / monitor.exe);
  standing(monitor);
  if (HasFatalFailure()) return;
  auto looks = [&](const Started& p) {
    XImage* now = desk.shot();
    const int on = now ? count(now, desk.shown(p.win), kActiveTitle) : 0;
    if (now) XDestroyImage(now);
    return on > 2000 ? 1 : on < 500 ? 0 : -1;
  };
  auto lookFollowsKeyboard = [&] {
    return waitUntil([&] {
      const Window focus = desk.focus();
      return std::all_of(std::begin(programs), std::end(programs),
                         [&](const Started& p) { return looks(p) == (p.win == focus ? 1 : 0); });
    });
  };
  EXPECT_TRUE(lookFollowsKeyboard()) << "the look of the programs does not follow the keyboard";
  for (const Started& p : programs) EXPECT_TRUE(current(p)) << p.name;

  // A dialog that would stand partly off the desktop brings its program
  // back inside, moved no further than it must, and there it stays once
  // the dialog is gone.
  const Area work = desk.workArea();
  int mx = 0, my = 0;
  std::tie(mx, my) = desk.origin(monitor.win);
  run("xdotool mousemove " + std::to_string(mx + 130) + " " + std::to_string(my + 374) + " click 1");
  ASSERT_TRUE(waitUntil([&] { return desk.text(monitor.win, "_NET_WM_NAME") == "Options" && current(monitor); }))
      << "the monitor's Options did not open where it says it is";
  {
    const Area shown = desk.shown(monitor.win);
    const auto [x, y] = desk.origin(monitor.win);
    // The dialog's extent on the program's own screen, wherever it stands.
    const Area own{shown.left - x, shown.top - y, shown.right - x, shown.bottom - y};
    ASSERT_FALSE((Area{own.left + mx, own.top + my, own.right + mx, own.bottom + my}.within(work)))
        << "the dialog would have stood on the desktop where the program was";
    EXPECT_TRUE(shown.within(work)) << shown;
    EXPECT_EQ(x, std::clamp(mx, work.left - own.left, work.right - own.right));
    EXPECT_EQ(y, std::clamp(my, work.top - own.top, work.bottom - own.bottom));
    mx = x;
    my = y;
  }
  run("xdotool key Escape");
  EXPECT_TRUE(waitUntil([&] { return desk.text(monitor.win, "_NET_WM_NAME") == monitor.title && current(monitor); }));
  EXPECT_EQ(desk.origin(monitor.win), std::pair(mx, my)) << "the program moved again when the dialog closed";

  // Moved by the window manager (Alt and a drag), the program says where
  // it stands now.
  run("xdotool mousemove " + std::to_string(mx + 30) + " " + std::to_string(my + 8) + " keydown alt mousedown 1");
  EXPECT_TRUE(waitUntil([&] {
    run("xdotool mousemove_relative 2 1");
    return desk.origin(monitor.win) != std::pair(mx, my);
  })) << "the window manager did not move the program";
  run("xdotool mouseup 1 keyup alt");
  EXPECT_TRUE(waitUntil([&] { return current(monitor); }))
      << "moved, it says it shows " << desk.published(monitor.win) << " where it shows " << desk.shown(monitor.win);
  std::tie(mx, my) = desk.origin(monitor.win);

  // A window dragged by its title bar off the desktop's foot: nothing moves
  // while the button is held, then the program comes up just enough.
  run("xdotool mousemove " + std::to_string(mx + 270) + " " + std::to_string(my + 46) + " mousedown 1");
  EXPECT_TRUE(waitUntil([&] {
    run("xdotool mousemove_relative 0 20");
    return desk.shown(monitor.win).bottom > work.bottom + 40;
  })) << "the window's outline did not follow the drag";
  const Area dragged = desk.shown(monitor.win);
  run("xdotool mousemove_relative 0 5");
  EXPECT_TRUE(waitUntil([&] { return desk.shown(monitor.win) != dragged; }));
  EXPECT_EQ(desk.origin(monitor.win), std::pair(mx, my)) << "the program moved while the button was held";
  EXPECT_TRUE(current(monitor)) << "the program asked to move while the button was held";
  run("xdotool mouseup 1");
  EXPECT_TRUE(waitUntil([&] { return current(monitor) && desk.shown(monitor.win).bottom == work.bottom; }))
      << "the dropped window was not brought back to the desktop's foot";
  EXPECT_EQ(desk.origin(monitor.win).first, mx) << "the program moved sideways too";

  // Minimised, a program takes no place on the desktop; back, it does.
  run("xdotool windowminimize " + std::to_string(monitor.win));
  EXPECT_TRUE(waitUntil([&] { return desk.published(monitor.win).empty(); }))
      << "a minimised program still says what it shows";
  run("xdotool windowactivate " + std::to_string(monitor.win));
  EXPECT_TRUE(waitUntil([&] { return current(monitor); })) << "back on the desktop, it does not say so";
  for (const Started& p : programs) EXPECT_TRUE(current(p)) << p.name;
  EXPECT_TRUE(lookFollowsKeyboard()) << "back on the desktop, the look of the programs does not follow the keyboard";
#endif
}

// The X11 display: the program's screen as one X window on the person's
// desktop, shaped to what the program shows (the menu bar's titles, its
// windows, a menu pulled down) so that the desktop and other programs are
// seen, and clicked, around them; placed where other programs are not; named
// for the window manager by the front window. Mouse, wheel and keys come
// back as toolbox events, the keyboard focus as activation, and the
// program's scrap is the desktop's clipboard.
#include "display_backend.h"

#ifdef TB_HAVE_X11

#include <poll.h>
#include <unistd.h>
#include <X11/cursorfont.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include <X11/Xatom.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "input_internal.h"
#include "toolbox/clock.h"
#include "toolbox/pump.h"
#include "toolbox/trace.h"
#include "utf8_internal.h"

namespace {

struct KeyMapEntry {
  KeySym sym;
  UInt8 code;
  UInt8 ch;  // 0: the character comes from the key's text
};

// Keys whose virtual key code and character do not follow from the text.
const KeyMapEntry kSpecialKeys[] = {
    {XK_Return, 0x24, 13},      {XK_KP_Enter, 0x4C, 3},    {XK_Escape, 0x35, 27},
    {XK_BackSpace, 0x33, 8},    {XK_Tab, 0x30, 9},         {XK_ISO_Left_Tab, 0x30, 9},
    {XK_Delete, 0x75, 127},     {XK_KP_Delete, 0x75, 127}, {XK_Home, 0x73, 1},
    {XK_KP_Home, 0x73, 1},      {XK_End, 0x77, 4},         {XK_KP_End, 0x77, 4},
    {XK_Prior, 0x74, 11},       {XK_KP_Prior, 0x74, 11},   {XK_Next, 0x79, 12},
    {XK_KP_Next, 0x79, 12},     {XK_Left, 0x7B, 28},       {XK_KP_Left, 0x7B, 28},
    {XK_Right, 0x7C, 29},       {XK_KP_Right, 0x7C, 29},   {XK_Up, 0x7E, 30},
    {XK_KP_Up, 0x7E, 30},       {XK_Down, 0x7D, 31},       {XK_KP_Down, 0x7D, 31},
    {XK_Help, 0x72, 5},         {XK_Insert, 0x72, 5},      {XK_F1, 0x7A, 16},
    {XK_F2, 0x78, 16},          {XK_F3, 0x63, 16},         {XK_F4, 0x76, 16},
    {XK_F5, 0x60, 16},          {XK_F6, 0x61, 16},         {XK_F7, 0x62, 16},
    {XK_F8, 0x64, 16},          {XK_F9, 0x65, 16},         {XK_F10, 0x6D, 16},
    {XK_F11, 0x67, 16},         {XK_F12, 0x6F, 16},        {XK_KP_Decimal, 0x41, 0},
    {XK_KP_Multiply, 0x43, 0},  {XK_KP_Add, 0x45, 0},      {XK_KP_Divide, 0x4B, 0},
    {XK_KP_Subtract, 0x4E, 0},  {XK_KP_Equal, 0x51, 0},    {XK_KP_0, 0x52, 0},
    {XK_KP_1, 0x53, 0},         {XK_KP_2, 0x54, 0},        {XK_KP_3, 0x55, 0},
    {XK_KP_4, 0x56, 0},         {XK_KP_5, 0x57, 0},        {XK_KP_6, 0x58, 0},
    {XK_KP_7, 0x59, 0},         {XK_KP_8, 0x5B, 0},        {XK_KP_9, 0x5C, 0},
};

// Texts larger than this are neither offered nor taken whole through the
// clipboard: a paste of more is refused rather than cut.
constexpr std::size_t kClipboardLimit = 16u << 20;
// How long another program may take to answer a paste, or to take the next
// piece of a large copy, before it is given up.
constexpr int kClipboardWaitMs = 2000;
constexpr UInt64 kTransferIdleMicros = 10'000'000;
constexpr int kWheelLines = 3;
// The gap kept between programs placed side by side.
constexpr short kPlacementGap = 16;

// Requests from a client that vanished meanwhile (a requestor window gone,
// say) fail without ending the program, as Xlib's default handler would.
int onXError(Display*, XErrorEvent* e) {
  tb::TraceRefusal("x11", "X error %d on request %d.%d", int(e->error_code), int(e->request_code), int(e->minor_code));
  return 0;
}

// The clipboard's line ends are LF on the desktop and CR in the scrap.
std::string toDesktopText(const std::string& text, bool latin1) {
  std::string out;
  out.reserve(text.size());
  const auto* t = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    auto [cp, len] = tb::utf8::Decode(t, text.size(), i);
    if (cp == '\r') {
      cp = '\n';
      if (i + 1 < text.size() && t[i + 1] == '\n') ++len;
    }
    if (latin1)
      out.push_back(cp <= 0xFF ? char(cp) : '?');
    else if (cp == '\n')
      out.push_back('\n');
    else
      out.append(text, i, len);
    i += len;
  }
  return out;
}

std::string fromLatin1(const std::string& text) {
  std::string out;
  for (unsigned char c : text) tb::utf8::Append(out, c);
  return out;
}

// A large copy another program takes in pieces (the INCR protocol).
struct Transfer {
  Window requestor;
  Atom property;
  Atom type;
  std::string data;
  std::size_t sent = 0;
  bool done = false;  // the last piece (an empty one) went
  UInt64 lastMove = 0;
};

class X11Backend : public tb::detail::DisplayBackend {
 public:
  X11Backend(Display* dpy, int width, int height) : dpy_(dpy), width_(width), height_(height) {}

  bool start(std::string* error) {
    XSetErrorHandler(onXError);
    const int screen = DefaultScreen(dpy_);
    root_ = RootWindow(dpy_, screen);
    Visual* visual = DefaultVisual(dpy_, screen);
    const int depth = DefaultDepth(dpy_, screen);
    if (visual->c_class != TrueColor || depth < 24) {
      *error = "the X server's default visual is not 24-bit true colour";
      return false;
    }
    int shapeEvent = 0, shapeError = 0;
    if (!XShapeQueryExtension(dpy_, &shapeEvent, &shapeError)) {
      *error = "the X server has no SHAPE extension";
      return false;
    }
    shift(visual->red_mask, &rShift_, &rBits_);
    shift(visual->green_mask, &gShift_, &gBits_);
    shift(visual->blue_mask, &bShift_, &bBits_);
    internAtoms();

    XSetWindowAttributes attrs{};
    attrs.background_pixel = BlackPixel(dpy_, screen);
    attrs.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                       KeyReleaseMask | StructureNotifyMask | FocusChangeMask | PropertyChangeMask;
    win_ = XCreateWindow(dpy_, root_, 0, 0, unsigned(width_), unsigned(height_), 0, depth, InputOutput, visual,
                         CWBackPixel | CWEventMask, &attrs);
    // Nothing shows until the program does: the shape starts empty.
    XShapeCombineRectangles(dpy_, win_, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    nameForTheDesktop();
    Bool supported = False;
    XkbSetDetectableAutoRepeat(dpy_, True, &supported);

    pixels_.assign(std::size_t(width_) * height_, 0);
    shown_.assign(std::size_t(width_) * height_, 0xFFFFFFFFu);
    image_ = XCreateImage(dpy_, visual, unsigned(depth), ZPixmap, 0, reinterpret_cast<char*>(pixels_.data()),
                          unsigned(width_), unsigned(height_), 32, width_ * 4);
    if (!image_ || image_->bits_per_pixel != 32) {
      *error = "the X server does not take 32-bit images";
      return false;
    }
    gc_ = XCreateGC(dpy_, win_, 0, nullptr);
    cursors_[0] = XCreateFontCursor(dpy_, XC_left_ptr);
    cursors_[1] = XCreateFontCursor(dpy_, XC_xterm);
    cursors_[2] = XCreateFontCursor(dpy_, XC_crosshair);
    cursors_[3] = XCreateFontCursor(dpy_, XC_plus);
    cursors_[4] = XCreateFontCursor(dpy_, XC_watch);
    XDefineCursor(dpy_, win_, cursors_[0]);
    long maxRequest = XExtendedMaxRequestSize(dpy_);
    if (maxRequest == 0) maxRequest = XMaxRequestSize(dpy_);
    // A property written in one request; larger texts go in pieces.
    pieceSize_ = std::clamp<std::size_t>(std::size_t(maxRequest) * 4 - 1024, 4096, 256u << 10);
    started_ = tb::MonotonicMicros();
    // The program looks active only once the window manager gives it the
    // keyboard, from its first look on: one started while another program
    // is in use stays in the background. Without a window manager the
    // keyboard follows the pointer, into this program too.
    Window focus = None;
    int revert = 0;
    XGetInputFocus(dpy_, &focus, &revert);
    active_ = focus == PointerRoot;
    if (!active_) tb::detail::SetApplicationActive(false);
    XFlush(dpy_);
    watch_ = tb::WatchGuard(ConnectionNumber(dpy_), tb::kReadable, [this](int, short) { read(); });
    return true;
  }

  ~X11Backend() override {
    watch_.reset();
    if (image_) {
      image_->data = nullptr;  // the pixels are ours
      XDestroyImage(image_);
    }
    if (gc_) XFreeGC(dpy_, gc_);
    if (win_) XDestroyWindow(dpy_, win_);
    XCloseDisplay(dpy_);
  }

  void present(const UInt32* fb, int stride, int width, int height, const std::vector<Rect>& shown,
               const Rect& dirty) override {
    if (width != width_ || height != height_) return;
    int top = height, bottom = -1, left = width, right = -1;
    const int from = std::max(0, int(dirty.left)), to = std::min(width, int(dirty.right));
    for (int y = std::max(0, int(dirty.top)); y < std::min(height, int(dirty.bottom)) && from < to; ++y) {
      const UInt32* src = fb + std::size_t(y) * stride;
      UInt32* seen = shown_.data() + std::size_t(y) * width;
      if (std::memcmp(src + from, seen + from, std::size_t(to - from) * 4) == 0) continue;
      int x0 = from, x1 = to - 1;
      while (src[x0] == seen[x0]) ++x0;
      while (src[x1] == seen[x1]) --x1;
      UInt32* out = pixels_.data() + std::size_t(y) * width;
      for (int x = x0; x <= x1; ++x) {
        seen[x] = src[x];
        out[x] = convert(src[x]);
      }
      top = std::min(top, y);
      bottom = y;
      left = std::min(left, x0);
      right = std::max(right, x1);
    }
    if (bottom >= 0 && mapped_)
      XPutImage(dpy_, win_, gc_, image_, left, top, left, top, unsigned(right - left + 1), unsigned(bottom - top + 1));
    if (!sameRects(shown, shape_)) {
      shape_ = shown;
      reshape();
      refit_ = placed_;
    }
    standOnDesktop(shown.size() > 1);
    settle();
  }

  void setTitle(const std::string& title) override {
    if (title == title_) return;
    title_ = title;
    XTextProperty text{};
    char* list[] = {const_cast<char*>(title.c_str())};
    if (Xutf8TextListToTextProperty(dpy_, list, 1, XStdICCTextStyle, &text) >= Success) {
      XSetWMName(dpy_, win_, &text);
      XSetWMIconName(dpy_, win_, &text);
      XFree(text.value);
    }
    for (Atom a : {atom_[kNetWmName], atom_[kNetWmIconName]})
      XChangeProperty(dpy_, win_, a, atom_[kUtf8String], 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(title.data()), int(title.size()));
    XFlush(dpy_);
  }

  void holdPointer(bool hold) override {
    menuOpen_ = hold;
    // A program in the background never takes the person's mouse from the
    // program they use: a menu it opens there (by itself) holds the pointer
    // only once the keyboard comes back to it.
    const bool take = hold && mapped_ && active_;
    if (take == grabbed_) return;
    if (take) {
      grabbed_ = XGrabPointer(dpy_, win_, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                              GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
    } else {
      XUngrabPointer(dpy_, CurrentTime);
      grabbed_ = false;
    }
    settle();
  }

  // What Xlib has already read (it reads while waiting for replies too):
  // no call on the connection, since the pump polls it on every pass and
  // the watch reads what comes.
  void poll() override {
    while (XEventsQueued(dpy_, QueuedAlready)) {
      XEvent ev;
      XNextEvent(dpy_, &ev);
      handle(ev);
    }
    standOnDesktop(false);
    if (!transfers_.empty()) dropStalledTransfers();
    settle();
  }

  void beep() override {
    XBell(dpy_, 0);
    XFlush(dpy_);
  }

  // Programs set the cursor on every idle pass: only a change goes to the
  // server.
  void setCursor(int kind) override {
    if (kind < 0 || kind > 4) kind = 0;
    if (kind == cursorShown_) return;
    cursorShown_ = kind;
    XDefineCursor(dpy_, win_, cursors_[kind]);
    XFlush(dpy_);
  }

  bool live() const override { return true; }

  void ownClipboard() override {
    // The time of the input that asked for the copy, as the selection rules
    // want; without any input yet, the server's time now.
    ownTime_ = lastTime_ ? lastTime_ : serverTime();
    XSetSelectionOwner(dpy_, atom_[kClipboard], win_, ownTime_);
    owned_ = XGetSelectionOwner(dpy_, atom_[kClipboard]) == win_;
    if (!owned_) tb::TraceRefusal("x11", "the clipboard could not be taken");
    settle();
  }

  Clipboard clipboardText(std::string* text) override {
    if (owned_) return Clipboard::kLocal;
    const Window owner = XGetSelectionOwner(dpy_, atom_[kClipboard]);
    if (owner == None) return Clipboard::kEmpty;
    for (Atom target : {atom_[kUtf8String], Atom(XA_STRING)}) {
      XDeleteProperty(dpy_, win_, atom_[kPaste]);
      XConvertSelection(dpy_, atom_[kClipboard], target, atom_[kPaste], win_, lastTime_ ? lastTime_ : CurrentTime);
      XEvent ev;
      if (!waitFor(
              [&](const XEvent& e) {
                return e.type == SelectionNotify && e.xselection.requestor == win_ &&
                       e.xselection.selection == atom_[kClipboard] && e.xselection.target == target;
              },
              &ev)) {
        tb::TraceRefusal("x11", "the clipboard's owner did not answer");
        return Clipboard::kEmpty;
      }
      if (ev.xselection.property == None) continue;  // not in this form
      Atom type = None;
      std::string got;
      if (!readProperty(atom_[kPaste], &got, &type)) return Clipboard::kEmpty;
      if (type == atom_[kIncr] && !readPieces(&got, &type)) return Clipboard::kEmpty;
      *text = type == XA_STRING ? fromLatin1(got) : got;
      return Clipboard::kText;
    }
    return Clipboard::kEmpty;
  }

 private:
  enum AtomIndex {
    kWmDelete,
    kClipboard,
    kUtf8String,
    kTargets,
    kTimestamp,
    kIncr,
    kText,
    kTextPlainUtf8,
    kNetWmName,
    kNetWmIconName,
    kNetWmPid,
    kNetWmWindowType,
    kNetWmWindowTypeNormal,
    kNetWmWindowTypeDesktop,
    kNetWmWindowTypeDock,
    kNetWorkarea,
    kNetCurrentDesktop,
    kMotifWmHints,
    kWmState,
    kArea,
    kPaste,
    kTime,
    kAtomCount
  };

  void internAtoms() {
    static const char* const names[kAtomCount] = {
        "WM_DELETE_WINDOW",
        "CLIPBOARD",
        "UTF8_STRING",
        "TARGETS",
        "TIMESTAMP",
        "INCR",
        "TEXT",
        "text/plain;charset=utf-8",
        "_NET_WM_NAME",
        "_NET_WM_ICON_NAME",
        "_NET_WM_PID",
        "_NET_WM_WINDOW_TYPE",
        "_NET_WM_WINDOW_TYPE_NORMAL",
        "_NET_WM_WINDOW_TYPE_DESKTOP",
        "_NET_WM_WINDOW_TYPE_DOCK",
        "_NET_WORKAREA",
        "_NET_CURRENT_DESKTOP",
        "_MOTIF_WM_HINTS",
        "WM_STATE",
        "_VEMO_TOOLBOX_AREA",
        "_VEMO_TOOLBOX_PASTE",
        "_VEMO_TOOLBOX_TIME",
    };
    XInternAtoms(dpy_, const_cast<char**>(names), kAtomCount, False, atom_);
  }

  // The program's name as its class, its process, the front window's
  // title (setTitle), a fixed size that is neither maximised nor resized,
  // and no frame of the window manager's: the windows have their own.
  void nameForTheDesktop() {
    const char* name = program_invocation_short_name;
    std::string program = name && *name ? name : "toolbox";
    XClassHint cls{program.data(), program.data()};
    XWMHints wmHints{};
    wmHints.flags = InputHint | StateHint;
    wmHints.input = True;
    wmHints.initial_state = NormalState;
    XSizeHints size{};
    size.flags = PMinSize | PMaxSize;
    size.min_width = size.max_width = width_;
    size.min_height = size.max_height = height_;
    XSetWMProperties(dpy_, win_, nullptr, nullptr, nullptr, 0, &size, &wmHints, &cls);
    setTitle(program);
    const long pid = long(getpid());
    XChangeProperty(dpy_, win_, atom_[kNetWmPid], XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XChangeProperty(dpy_, win_, atom_[kNetWmWindowType], XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&atom_[kNetWmWindowTypeNormal]), 1);
    // Motif hints: functions (move, minimise, close) and decorations (none).
    const long motif[5] = {1 | 2, 4 | 8 | 32, 0, 0, 0};
    XChangeProperty(dpy_, win_, atom_[kMotifWmHints], atom_[kMotifWmHints], 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(motif), 5);
    XSetWMProtocols(dpy_, win_, &atom_[kWmDelete], 1);
  }

  static bool sameRects(const std::vector<Rect>& a, const std::vector<Rect>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const Rect& x, const Rect& y) {
             return x.top == y.top && x.left == y.left && x.bottom == y.bottom && x.right == y.right;
           });
  }

  // The bounds of what shows (the shape, cut to the screen).
  Rect contentBounds() const {
    Rect c{0, 0, 0, 0};
    for (const Rect& shown : shape_)
      tb::detail::AddToBounds(
          &c, Rect{SInt16(std::max<int>(shown.top, 0)), SInt16(std::max<int>(shown.left, 0)),
                   SInt16(std::min<int>(shown.bottom, height_)), SInt16(std::min<int>(shown.right, width_))});
    return c;
  }

  void reshape() {
    std::vector<XRectangle> rects;
    for (const Rect& r : shape_) {
      const int l = std::max<int>(r.left, 0), t = std::max<int>(r.top, 0);
      const int rr = std::min<int>(r.right, width_), b = std::min<int>(r.bottom, height_);
      if (rr > l && b > t)
        rects.push_back(
            XRectangle{short(l), short(t), static_cast<unsigned short>(rr - l), static_cast<unsigned short>(b - t)});
    }
    XShapeCombineRectangles(dpy_, win_, ShapeBounding, 0, 0, rects.data(), int(rects.size()), ShapeSet, Unsorted);
    if (placed_ && !hidden_) writeArea();
  }

  // What this program shows, in the desktop's coordinates, for the next
  // program that looks for a place. It follows every move and change of
  // shape, and is withdrawn while the program is hidden (minimised, or on
  // another of the desktop's workspaces).
  void writeArea() {
    const Rect c = contentBounds();
    const long area[4] = {origin_.h + c.left, origin_.v + c.top, c.right - c.left, c.bottom - c.top};
    XChangeProperty(dpy_, win_, atom_[kArea], XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(area), 4);
  }

  bool readLongs(Window w, Atom property, Atom type, long* out, unsigned long want, unsigned long* got) {
    Atom actual = None;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    *got = 0;
    if (XGetWindowProperty(dpy_, w, property, 0, long(want), False, type, &actual, &format, &n, &after, &data) !=
        Success)
      return false;
    if (actual == type && format == 32 && data) {
      *got = std::min(n, want);
      std::memcpy(out, data, *got * sizeof(long));
    }
    if (data) XFree(data);
    return *got > 0;
  }

  // The window among w and its descendants (two levels: the window
  // manager's frame holds the program's window) that has the property.
  Window findWith(Window w, Atom property, int depth) {
    int count = 0;
    Atom* props = XListProperties(dpy_, w, &count);
    bool has = false;
    for (int i = 0; i < count && !has; ++i) has = props[i] == property;
    if (props) XFree(props);
    if (has || depth == 0) return has ? w : None;
    Window rootOut = None, parent = None, *kids = nullptr;
    unsigned n = 0;
    Window found = None;
    if (XQueryTree(dpy_, w, &rootOut, &parent, &kids, &n)) {
      for (unsigned i = 0; i < n && !found; ++i) found = findWith(kids[i], property, depth - 1);
      if (kids) XFree(kids);
    }
    return found;
  }

  // Where the other programs of the desktop stand: what another program of
  // this toolbox shows (also one placed but not yet on the screen), else
  // the frame of every program window the window manager shows, less the
  // desktop's own and its panels.
  std::vector<Rect> takenOnDesktop() {
    std::vector<Rect> taken;
    Window rootOut = None, parent = None, *kids = nullptr;
    unsigned n = 0;
    if (!XQueryTree(dpy_, root_, &rootOut, &parent, &kids, &n)) return taken;
    for (unsigned i = 0; i < n; ++i) {
      if (kids[i] == win_) continue;
      long area[4];
      unsigned long got = 0;
      if (Window ours = findWith(kids[i], atom_[kArea], 2)) {
        if (ours != win_ && readLongs(ours, atom_[kArea], XA_CARDINAL, area, 4, &got) && got == 4 && area[2] > 0 &&
            area[3] > 0)
          taken.push_back(Rect{SInt16(area[1]), SInt16(area[0]), SInt16(area[1] + area[3]), SInt16(area[0] + area[2])});
        continue;
      }
      XWindowAttributes a;
      if (!XGetWindowAttributes(dpy_, kids[i], &a) || a.map_state != IsViewable || a.override_redirect) continue;
      const Window client = findWith(kids[i], atom_[kWmState], 2);
      if (!client) continue;
      long types[8];
      if (readLongs(client, atom_[kNetWmWindowType], XA_ATOM, types, 8, &got)) {
        const bool desk = std::any_of(types, types + got, [&](long t) {
          return Atom(t) == atom_[kNetWmWindowTypeDesktop] || Atom(t) == atom_[kNetWmWindowTypeDock];
        });
        if (desk) continue;
      }
      const int b = a.border_width;
      taken.push_back(Rect{SInt16(a.y), SInt16(a.x), SInt16(a.y + a.height + 2 * b), SInt16(a.x + a.width + 2 * b)});
    }
    if (kids) XFree(kids);
    return taken;
  }

  Rect workArea() {
    XWindowAttributes a;
    XGetWindowAttributes(dpy_, root_, &a);
    Rect area{0, 0, SInt16(a.height), SInt16(a.width)};
    long desktop = 0, geometry[4];
    unsigned long got = 0;
    readLongs(root_, atom_[kNetCurrentDesktop], XA_CARDINAL, &desktop, 1, &got);
    std::vector<long> all(std::size_t(4 * (desktop + 1)));
    if (desktop >= 0 && desktop < 64 &&
        readLongs(root_, atom_[kNetWorkarea], XA_CARDINAL, all.data(), all.size(), &got) && got >= all.size()) {
      std::copy_n(all.end() - 4, 4, geometry);
      if (geometry[2] > 0 && geometry[3] > 0)
        area = Rect{SInt16(geometry[1]), SInt16(geometry[0]), SInt16(geometry[1] + geometry[3]),
                    SInt16(geometry[0] + geometry[2])};
    }
    return area;
  }

  // Finds the program's place, says so for the programs that come after
  // (the server held meanwhile, so two programs started together do not
  // take the same place), and shows it.
  void place() {
    placed_ = true;
    Rect content = contentBounds();
    if (content.right <= content.left) content = Rect{0, 0, 20, 200};
    XGrabServer(dpy_);
    const Point at = tb::detail::PlaceOnDesktop(content, takenOnDesktop(), workArea(), kPlacementGap);
    XSizeHints size{};
    size.flags = USPosition | PPosition | PMinSize | PMaxSize;
    size.x = at.h;
    size.y = at.v;
    size.min_width = size.max_width = width_;
    size.min_height = size.max_height = height_;
    XSetWMNormalHints(dpy_, win_, &size);
    moveTo(at);
    XUngrabServer(dpy_);
    XMapWindow(dpy_, win_);
    windowShown_ = true;
  }

  // A window or dialog opened later (or a window dropped) that stands
  // partly off the work area brings the whole program back inside, its
  // windows kept where they are on its screen: no further than it must,
  // and of the places as near, the one that covers least of the other
  // programs. Never under the person's hand: while a button is held or a
  // menu is open it waits.
  void keepInside() {
    if (hidden_) return;  // until it shows again
    refit_ = false;
    const Rect content = contentBounds();
    if (content.right <= content.left) return;
    const Rect area = workArea();
    if (origin_.h + content.left >= area.left && origin_.v + content.top >= area.top &&
        origin_.h + content.right <= area.right && origin_.v + content.bottom <= area.bottom)
      return;
    XGrabServer(dpy_);
    const Point at = tb::detail::PlaceOnDesktop(content, takenOnDesktop(), area, kPlacementGap, &origin_);
    if (at.h != origin_.h || at.v != origin_.v) {
      tb::TraceNote("x11", "moved from %d,%d to %d,%d to keep what shows inside the work area", origin_.h, origin_.v,
                    at.h, at.v);
      moveTo(at);
    }
    XUngrabServer(dpy_);
  }

  // Where the window manager is asked to put the program, said at once
  // for the programs placed meanwhile; moved() corrects it from where the
  // window really goes.
  void moveTo(Point at) {
    origin_ = at;
    XMoveWindow(dpy_, win_, at.h, at.v);
    writeArea();
  }

  bool held() const { return buttonDown_ || menuOpen_; }

  // The program stands on the desktop once it shows a window, or after a
  // while with its menu bar alone; standing, it is kept inside the work
  // area when what shows changed.
  void standOnDesktop(bool showsWindow) {
    if (!placed_ && (showsWindow || tb::MonotonicMicros() - started_ > 2'000'000))
      place();
    else if (refit_ && !held())
      keepInside();
  }

  // Xlib reads the events that come while it waits for a reply: they are
  // taken on the pump's next pass, which must not sleep first, since the
  // connection has nothing left to read.
  void settle() {
    XFlush(dpy_);
    if (XEventsQueued(dpy_, QueuedAlready)) tb::Wake();
  }

  // Everything the server has sent, read from the connection.
  void read() {
    while (XPending(dpy_)) {
      XEvent ev;
      XNextEvent(dpy_, &ev);
      handle(ev);
    }
  }

  // Waits (at most kClipboardWaitMs) for the event match accepts, handling
  // every other event as it comes.
  template <typename Match>
  bool waitFor(Match match, XEvent* out) {
    const UInt64 end = tb::MonotonicMicros() + UInt64(kClipboardWaitMs) * 1000;
    for (;;) {
      while (XPending(dpy_)) {
        XNextEvent(dpy_, out);
        if (match(*out)) return true;
        handle(*out);
      }
      const UInt64 now = tb::MonotonicMicros();
      if (now >= end) return false;
      pollfd p{ConnectionNumber(dpy_), POLLIN, 0};
      ::poll(&p, 1, int((end - now) / 1000) + 1);
    }
  }

  // The server's time now: the time stamp of a property change of our own.
  Time serverTime() {
    XChangeProperty(dpy_, win_, atom_[kTime], XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent ev;
    if (waitFor(
            [&](const XEvent& e) {
              return e.type == PropertyNotify && e.xproperty.window == win_ && e.xproperty.atom == atom_[kTime];
            },
            &ev))
      return ev.xproperty.time;
    return CurrentTime;
  }

  // Reads (and deletes) a property of our window that another program
  // wrote: its bytes and type. False when it is missing or too large.
  bool readProperty(Atom property, std::string* out, Atom* type) {
    out->clear();
    long offset = 0;
    for (;;) {
      int format = 0;
      unsigned long n = 0, after = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(dpy_, win_, property, offset, 1 << 16, False, AnyPropertyType, type, &format, &n, &after,
                             &data) != Success)
        return false;
      const std::size_t bytes = format == 8 ? n : format == 16 ? n * 2 : n * sizeof(long);
      if (data && format == 8) out->append(reinterpret_cast<const char*>(data), bytes);
      if (data) XFree(data);
      if (*type == None) return false;
      if (out->size() + after > kClipboardLimit) {
        tb::TraceRefusal("x11", "a pasted text of more than %zu bytes is refused", kClipboardLimit);
        XDeleteProperty(dpy_, win_, property);
        return false;
      }
      if (after == 0) break;
      offset += long(n * std::size_t(format) / 32);
    }
    XDeleteProperty(dpy_, win_, property);
    return true;
  }

  // A large text the other program hands over in pieces: each piece is
  // taken and its property deleted for the next, until an empty one.
  bool readPieces(std::string* out, Atom* type) {
    out->clear();
    for (;;) {
      XEvent ev;
      if (!waitFor(
              [&](const XEvent& e) {
                return e.type == PropertyNotify && e.xproperty.window == win_ && e.xproperty.atom == atom_[kPaste] &&
                       e.xproperty.state == PropertyNewValue;
              },
              &ev)) {
        tb::TraceRefusal("x11", "a large paste stopped coming");
        return false;
      }
      std::string piece;
      if (!readProperty(atom_[kPaste], &piece, type)) return false;
      if (piece.empty()) return true;
      if (out->size() + piece.size() > kClipboardLimit) {
        tb::TraceRefusal("x11", "a pasted text of more than %zu bytes is refused", kClipboardLimit);
        return false;
      }
      out->append(piece);
    }
  }

  // Another program asks for the clipboard in some form.
  void answer(const XSelectionRequestEvent& req) {
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = dpy_;
    reply.xselection.requestor = req.requestor;
    reply.xselection.selection = req.selection;
    reply.xselection.target = req.target;
    reply.xselection.time = req.time;
    reply.xselection.property = None;
    const Atom property = req.property != None ? req.property : req.target;
    std::string text;
    const bool ours = owned_ && req.selection == atom_[kClipboard] &&
                      (req.time == CurrentTime || req.time >= ownTime_) && tb::detail::LocalScrapText(&text);
    if (ours && req.target == atom_[kTargets]) {
      const Atom targets[] = {atom_[kTargets],       atom_[kTimestamp], atom_[kUtf8String],
                              atom_[kTextPlainUtf8], atom_[kText],      XA_STRING};
      XChangeProperty(dpy_, req.requestor, property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(targets), int(std::size(targets)));
      reply.xselection.property = property;
    } else if (ours && req.target == atom_[kTimestamp]) {
      const long t = long(ownTime_);
      XChangeProperty(dpy_, req.requestor, property, XA_INTEGER, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&t), 1);
      reply.xselection.property = property;
    } else if (ours && (req.target == atom_[kUtf8String] || req.target == atom_[kTextPlainUtf8] ||
                        req.target == atom_[kText] || req.target == XA_STRING)) {
      const bool latin1 = req.target == XA_STRING;
      const Atom type = latin1 ? XA_STRING : req.target == atom_[kTextPlainUtf8] ? req.target : atom_[kUtf8String];
      std::string data = toDesktopText(text, latin1);
      if (data.size() > pieceSize_) {
        const long size = long(data.size());
        XSelectInput(dpy_, req.requestor, PropertyChangeMask);
        XChangeProperty(dpy_, req.requestor, property, atom_[kIncr], 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&size), 1);
        transfers_.push_back(Transfer{req.requestor, property, type, std::move(data), 0, false, tb::MonotonicMicros()});
      } else {
        XChangeProperty(dpy_, req.requestor, property, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
      }
      reply.xselection.property = property;
    }
    XSendEvent(dpy_, req.requestor, False, 0, &reply);
    XFlush(dpy_);
  }

  // The requestor deleted the last piece: the next one, or an empty one
  // to end.
  void nextPiece(const XPropertyEvent& p) {
    for (auto it = transfers_.begin(); it != transfers_.end(); ++it) {
      if (it->requestor != p.window || it->property != p.atom) continue;
      if (it->done) {
        endTransfer(it);
        return;
      }
      const std::size_t n = std::min(pieceSize_, it->data.size() - it->sent);
      XChangeProperty(dpy_, it->requestor, it->property, it->type, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(it->data.data() + it->sent), int(n));
      it->sent += n;
      it->done = n == 0;
      it->lastMove = tb::MonotonicMicros();
      if (it->done) endTransfer(it);
      XFlush(dpy_);
      return;
    }
  }

  void endTransfer(std::vector<Transfer>::iterator it) {
    const Window w = it->requestor;
    transfers_.erase(it);
    if (std::none_of(transfers_.begin(), transfers_.end(), [&](const Transfer& t) { return t.requestor == w; }))
      XSelectInput(dpy_, w, NoEventMask);
  }

  void dropStalledTransfers() {
    const UInt64 now = tb::MonotonicMicros();
    for (std::size_t i = transfers_.size(); i-- > 0;) {
      if (now - transfers_[i].lastMove < kTransferIdleMicros) continue;
      tb::TraceRefusal("x11", "a large copy was not taken further; given up");
      endTransfer(transfers_.begin() + long(i));
    }
  }

  static void shift(unsigned long mask, int* s, int* bits) {
    *s = 0;
    *bits = 0;
    while (mask && !(mask & 1)) {
      mask >>= 1;
      ++*s;
    }
    while (mask & 1) {
      mask >>= 1;
      ++*bits;
    }
  }

  UInt32 convert(UInt32 px) const {
    // QuickDraw keeps pixels as the bytes 0, red, green, blue.
    UInt8 bytes[4];
    std::memcpy(bytes, &px, 4);
    const UInt8 r = bytes[1], g = bytes[2], b = bytes[3];
    return (UInt32(r >> (8 - rBits_)) << rShift_) | (UInt32(g >> (8 - gBits_)) << gShift_) |
           (UInt32(b >> (8 - bBits_)) << bShift_);
  }

  static UInt16 modifiersOf(unsigned state) {
    using namespace tb::input;
    UInt16 m = 0;
    if (state & ShiftMask) m |= kShift;
    if (state & LockMask) m |= kAlphaLock;
    if (state & ControlMask) m |= kCmd;  // Control stands for Command
    if (state & Mod1Mask) m |= kOption;
    if (state & Mod4Mask) m |= kControl;
    return m;
  }

  void handle(XEvent& ev) {
    switch (ev.type) {
      case Expose:
        if (ev.xexpose.count == 0) {
          mapped_ = true;
          XPutImage(dpy_, win_, gc_, image_, 0, 0, 0, 0, unsigned(width_), unsigned(height_));
          XFlush(dpy_);
        }
        break;
      case MapNotify: shown(ev.xmap.window, true); break;
      case UnmapNotify: shown(ev.xunmap.window, false); break;
      case ReparentNotify:
        if (ev.xreparent.window == win_) follow(ev.xreparent.parent);
        break;
      case ConfigureNotify:
        if ((ev.xconfigure.window == win_ || ev.xconfigure.window == frame_) && placed_) moved();
        break;
      case ButtonPress:
      case ButtonRelease:
        lastTime_ = ev.xbutton.time;
        button(ev.xbutton, ev.type == ButtonPress);
        break;
      case MotionNotify:
        lastTime_ = ev.xmotion.time;
        buttonDown_ = (ev.xmotion.state & Button1Mask) != 0;
        tb::SetModifierState(modifiersOf(ev.xmotion.state));
        tb::PostMouseMove(Point{SInt16(ev.xmotion.y), SInt16(ev.xmotion.x)});
        break;
      case MappingNotify:
        // Another client changed the keyboard: read its symbols again.
        XRefreshKeyboardMapping(&ev.xmapping);
        break;
      case KeyPress:
      case KeyRelease:
        lastTime_ = ev.xkey.time;
        key(ev.xkey, ev.type == KeyPress);
        break;
      case FocusIn:
      case FocusOut: focus(ev.xfocus, ev.type == FocusIn); break;
      case SelectionRequest: answer(ev.xselectionrequest); break;
      case SelectionClear:
        if (ev.xselectionclear.selection == atom_[kClipboard]) owned_ = false;
        break;
      case PropertyNotify:
        if (ev.xproperty.state == PropertyDelete && ev.xproperty.window != win_) nextPiece(ev.xproperty);
        break;
      case ClientMessage:
        if (Atom(ev.xclient.data.l[0]) == atom_[kWmDelete]) {
          // Closing the program's window is the Quit command of the
          // application menu.
          tb::RunMenuCommand(tb::input::kQuitCommand);
        }
        break;
      default:
        break;
    }
  }

  // The window manager (or a person moving the whole program) put the
  // screen elsewhere. Where it stands is asked of the server each time:
  // the events tell where the window stands in its parent, and the window
  // manager's frame moves without one for this window.
  void moved() {
    int x = 0, y = 0;
    Window child = None;
    if (!XTranslateCoordinates(dpy_, win_, root_, 0, 0, &x, &y, &child)) return;
    if (x == origin_.h && y == origin_.v) return;
    origin_ = Point{SInt16(y), SInt16(x)};
    if (!hidden_) writeArea();
  }

  // The window manager put the window into a frame of its own (or back on
  // the root): the frame's moves are this program's moves.
  void follow(Window parent) {
    Window top = parent;
    while (top != root_ && top != None) {
      Window rootOut = None, up = None, *kids = nullptr;
      unsigned n = 0;
      if (!XQueryTree(dpy_, top, &rootOut, &up, &kids, &n)) break;
      if (kids) XFree(kids);
      if (up == root_) break;
      top = up;
    }
    if (frame_ != None && frame_ != top) XSelectInput(dpy_, frame_, NoEventMask);
    frame_ = top != root_ ? top : None;
    // A new frame counts as shown until it is seen unmapped: the window
    // manager shows it right after it took the window in.
    frameShown_ = true;
    if (frame_ != None) XSelectInput(dpy_, frame_, StructureNotifyMask);
    if (placed_) reconsiderShown();
  }

  // The window, or the frame that holds it, mapped or unmapped.
  void shown(Window w, bool mapped) {
    if (w == win_) {
      mapped_ = windowShown_ = mapped;
    } else if (w == frame_ && frame_ != None) {
      frameShown_ = mapped;
    } else {
      return;
    }
    if (placed_) reconsiderShown();
  }

  // An unmapped program (minimised, on another workspace) takes no place
  // on the desktop; shown again, it says where it stands now.
  void reconsiderShown() {
    hidden_ = !(windowShown_ && frameShown_);
    if (hidden_) {
      XDeleteProperty(dpy_, win_, atom_[kArea]);
    } else {
      moved();
      writeArea();
    }
  }

  void button(const XButtonEvent& b, bool press) {
    const UInt16 mods = modifiersOf(b.state);
    tb::SetModifierState(mods);
    const Point where{SInt16(b.y), SInt16(b.x)};
    if (b.button == Button1) {
      buttonDown_ = press;
      tb::PostMouse(press ? tb::input::kMouseDown : tb::input::kMouseUp, where, mods);
    } else if (press && b.button >= 4 && b.button <= 7) {
      // The wheel: buttons 4 and 5 turn it up and down, 6 and 7 left and
      // right; a notch scrolls three lines, as elsewhere on the desktop.
      tb::PostWheel(where, SInt16(b.button == 4 || b.button == 6 ? -kWheelLines : kWheelLines), b.button >= 6);
    }
    // The middle and right buttons mean nothing here.
  }

  // The keyboard given to another program of the desktop deactivates the
  // front window, as the platform's suspend did; coming back activates
  // it. Focus moved by grabs (the window manager's keys, a menu) or
  // following the pointer into or out of this window does not count.
  void focus(const XFocusChangeEvent& f, bool in) {
    if (f.mode == NotifyGrab || f.mode == NotifyUngrab) return;
    if (f.detail == NotifyInferior || f.detail == NotifyPointer || f.detail == NotifyPointerRoot ||
        f.detail == NotifyDetailNone)
      return;
    active_ = in;
    tb::detail::SetApplicationActive(in);
    holdPointer(menuOpen_);
  }

  void key(XKeyEvent& k, bool press) {
    const UInt16 mods = modifiersOf(k.state);
    tb::SetModifierState(mods);
    const unsigned kc = k.keycode & 0xFF;
    if (!press) {
      down_[kc] = false;
      return;  // key-up events are not posted, as the platform's default mask had it
    }
    const bool repeat = down_[kc];
    down_[kc] = true;
    // The character is the key's text without Control (which stands for
    // Command and would otherwise turn letters into control codes).
    XKeyEvent plain = k;
    plain.state &= ~unsigned(ControlMask);
    char text[8] = {};
    KeySym sym = NoSymbol;
    int n = XLookupString(&plain, text, sizeof text, &sym, nullptr);
    const UInt16 what = repeat ? tb::input::kAutoKey : tb::input::kKeyDown;
    for (const KeyMapEntry& e : kSpecialKeys) {
      if (e.sym != sym) continue;
      UInt8 ch = e.ch ? e.ch : (n > 0 ? UInt8(text[0]) : 0);
      tb::PostKey(what, ch, e.code, mods);
      return;
    }
    char32_t cp = unicodeOf(sym);
    if (cp == 0 && n > 0) cp = UInt8(text[0]);  // Latin-1 from the server's own table
    if (cp == 0) return;  // modifier keys alone
    if (cp < 0x80) {
      tb::PostKey(what, UInt8(cp), tb::KeyCodeForChar(char(cp)), mods);
    } else {
      // One key event for the whole character, however many bytes it takes.
      std::string utf8;
      tb::utf8::Append(utf8, cp);
      tb::PostKeyText(what, utf8, 0x7F, mods);
    }
  }

  // The character of a key symbol: Latin-1 symbols are their own code,
  // Unicode symbols carry theirs, and the kana symbols are JIS X 0201's
  // half-width katakana.
  static char32_t unicodeOf(KeySym sym) {
    if ((sym >= 0x20 && sym <= 0x7E) || (sym >= 0xA0 && sym <= 0xFF)) return char32_t(sym);
    if ((sym & 0xFF000000) == 0x01000000) {
      char32_t cp = char32_t(sym & 0x00FFFFFF);
      return cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF) ? cp : 0;
    }
    if (sym >= 0x4A1 && sym <= 0x4DF) return char32_t(0xFF61 + (sym - 0x4A1));
    return 0;
  }

  Display* dpy_;
  int width_;
  int height_;
  Window root_ = None;
  Window win_ = None;
  GC gc_ = nullptr;
  XImage* image_ = nullptr;
  Atom atom_[kAtomCount] = {};
  Cursor cursors_[5] = {};
  int cursorShown_ = 0;         // defined at the start
  std::vector<UInt32> pixels_;  // as the X server takes them
  std::vector<UInt32> shown_;   // what was last sent, as QuickDraw keeps it
  int rShift_ = 16, gShift_ = 8, bShift_ = 0, rBits_ = 8, gBits_ = 8, bBits_ = 8;
  bool mapped_ = false;
  bool placed_ = false;
  bool hidden_ = false;  // unmapped after it was placed
  bool windowShown_ = false;
  bool frameShown_ = true;
  bool refit_ = false;  // what shows changed since it was last kept inside
  bool grabbed_ = false;
  bool menuOpen_ = false;
  bool active_ = true;  // the desktop gives this program the keyboard
  bool buttonDown_ = false;
  Window frame_ = None;  // the window manager's frame around the window
  UInt64 started_ = 0;
  Point origin_{0, 0};       // the screen's top-left on the desktop
  std::vector<Rect> shape_;  // what shows, in screen coordinates
  std::string title_;
  bool owned_ = false;  // the clipboard is ours
  Time ownTime_ = CurrentTime;
  Time lastTime_ = CurrentTime;  // of the last input
  std::size_t pieceSize_ = 4096;
  std::vector<Transfer> transfers_;
  bool down_[256] = {};
  tb::WatchGuard watch_;
};

}  // namespace

std::unique_ptr<tb::detail::DisplayBackend> tb::detail::MakeX11Backend(int width, int height,
                                                                       std::string* error) {
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    if (error) *error = "cannot open the X display";
    return nullptr;
  }
  auto backend = std::make_unique<X11Backend>(dpy, width, height);
  std::string why;
  if (!backend->start(&why)) {
    if (error) *error = why;
    return nullptr;
  }
  return backend;
}

#else

std::unique_ptr<tb::detail::DisplayBackend> tb::detail::MakeX11Backend(int, int, std::string* error) {
  if (error) *error = "built without X11";
  return nullptr;
}

#endif

// The X11 display: one X window as large as the screen, showing the
// composited framebuffer; mouse and keys come back as toolbox events.
#include "display_backend.h"

#ifdef TB_HAVE_X11

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

#include <cstring>
#include <string>
#include <vector>

#include "input_internal.h"
#include "utf8_internal.h"
#include "toolbox/pump.h"

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

class X11Backend : public tb::detail::DisplayBackend {
 public:
  X11Backend(Display* dpy, int width, int height) : dpy_(dpy), width_(width), height_(height) {}

  bool start(std::string* error) {
    const int screen = DefaultScreen(dpy_);
    Visual* visual = DefaultVisual(dpy_, screen);
    const int depth = DefaultDepth(dpy_, screen);
    if (visual->c_class != TrueColor || depth < 24) {
      *error = "the X server's default visual is not 24-bit true colour";
      return false;
    }
    shift(visual->red_mask, &rShift_, &rBits_);
    shift(visual->green_mask, &gShift_, &gBits_);
    shift(visual->blue_mask, &bShift_, &bBits_);

    XSetWindowAttributes attrs{};
    attrs.background_pixel = BlackPixel(dpy_, screen);
    attrs.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                       KeyPressMask | KeyReleaseMask | StructureNotifyMask | FocusChangeMask;
    win_ = XCreateWindow(dpy_, RootWindow(dpy_, screen), 0, 0, unsigned(width_), unsigned(height_), 0,
                         depth, InputOutput, visual, CWBackPixel | CWEventMask, &attrs);
    const char* name = program_invocation_short_name;
    XStoreName(dpy_, win_, name && *name ? name : "toolbox");
    XSizeHints hints{};
    hints.flags = PMinSize | PMaxSize;
    hints.min_width = hints.max_width = width_;
    hints.min_height = hints.max_height = height_;
    XSetWMNormalHints(dpy_, win_, &hints);
    wmDelete_ = XInternAtom(dpy_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(dpy_, win_, &wmDelete_, 1);
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
    XMapWindow(dpy_, win_);
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

  void present(const UInt32* fb, int stride, int width, int height) override {
    if (width != width_ || height != height_) return;
    int top = height, bottom = -1, left = width, right = -1;
    for (int y = 0; y < height; ++y) {
      const UInt32* src = fb + std::size_t(y) * stride;
      UInt32* seen = shown_.data() + std::size_t(y) * width;
      if (std::memcmp(src, seen, std::size_t(width) * 4) == 0) continue;
      int x0 = 0, x1 = width - 1;
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
    if (bottom < 0 || !mapped_) return;
    XPutImage(dpy_, win_, gc_, image_, left, top, left, top, unsigned(right - left + 1),
              unsigned(bottom - top + 1));
    XFlush(dpy_);
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

 private:
  // Everything the server has sent, read from the connection.
  void read() {
    while (XPending(dpy_)) {
      XEvent ev;
      XNextEvent(dpy_, &ev);
      handle(ev);
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
      case MapNotify:
        mapped_ = true;
        break;
      case ButtonPress:
      case ButtonRelease:
        if (ev.xbutton.button != Button1) break;  // the wheel and other buttons mean nothing here
        tb::SetModifierState(modifiersOf(ev.xbutton.state));
        tb::PostMouse(ev.type == ButtonPress ? tb::input::kMouseDown : tb::input::kMouseUp,
                      Point{SInt16(ev.xbutton.y), SInt16(ev.xbutton.x)}, modifiersOf(ev.xbutton.state));
        break;
      case MotionNotify:
        tb::SetModifierState(modifiersOf(ev.xmotion.state));
        tb::PostMouseMove(Point{SInt16(ev.xmotion.y), SInt16(ev.xmotion.x)});
        break;
      case MappingNotify:
        // Another client changed the keyboard: read its symbols again.
        XRefreshKeyboardMapping(&ev.xmapping);
        break;
      case KeyPress:
      case KeyRelease:
        key(ev.xkey, ev.type == KeyPress);
        break;
      case ClientMessage:
        if (Atom(ev.xclient.data.l[0]) == wmDelete_) {
          // Closing the screen is the Quit command of the application menu.
          tb::RunMenuCommand(tb::input::kQuitCommand);
        }
        break;
      default:
        break;
    }
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
  Window win_ = 0;
  GC gc_ = nullptr;
  XImage* image_ = nullptr;
  Atom wmDelete_ = 0;
  Cursor cursors_[5] = {};
  int cursorShown_ = 0;         // defined at the start
  std::vector<UInt32> pixels_;  // as the X server takes them
  std::vector<UInt32> shown_;   // what was last sent, as QuickDraw keeps it
  int rShift_ = 16, gShift_ = 8, bShift_ = 0, rBits_ = 8, gBits_ = 8, bBits_ = 8;
  bool mapped_ = false;
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

// Menu Manager: menu records from resources or built at run time, the menu
// bar and open menus drawn onto the screen, mouse tracking, Command keys,
// pop-up menus and the application menu's commands.
#include "toolbox/menus.h"

#include <errno.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "drawntext_internal.h"
#include "events_internal.h"
#include "input_internal.h"
#include "screen_internal.h"
#include "toolbox/appleevents.h"
#include "toolbox/display.h"
#include "toolbox/memory.h"
#include "toolbox/processes.h"
#include "toolbox/testdriver.h"

#if __has_include("toolbox/resources.h")
#include "toolbox/resources.h"
#define TB_HAVE_RESOURCES 1
#endif

namespace {

struct MenuItem {
  std::string text;  // bytes as given (UTF-8), at most 255
  UInt8 icon = 0;
  CharParameter cmd = 0;
  CharParameter mark = 0;
  Style style = 0;
  bool enabled = true;
  MenuCommand command = 0;
  bool divider() const { return !text.empty() && text[0] == '-'; }
};

}  // namespace

struct MenuRecord {
  MenuID id = 0;
  Str255 title{};
  std::vector<MenuItem> items;
  bool enabled = true;
  bool fromResource = false;
};

namespace {

constexpr short kBarHeight = 20;
constexpr short kItemHeight = 18;
constexpr short kDividerHeight = 8;
constexpr short kTitlePad = 9;
constexpr short kBarLeft = 8;

struct Open {
  MenuRecord* menu = nullptr;
  Rect rect{};
  int hilite = 0;
};

struct MMState {
  std::vector<MenuRecord*> all;    // every live menu
  std::vector<MenuRecord*> bar;    // the program's menus, left to right
  std::vector<MenuRecord*> hier;   // menus inserted for pop-ups and submenus
  MenuRecord* appMenu = nullptr;
  MenuRecord* helpMenu = nullptr;
  MenuID hilited = 0;
  Open open;
  UInt64 version = 1;
  CGrafPtr barPort = nullptr;
  UInt64 barDrawn = 0;
  short barUsed = 0;  // where the last title ends, as last drawn
  CGrafPtr menuPort = nullptr;
  UInt64 menuDrawn = 0;
  tb::MenuCommandHandler handler = nullptr;
};

MMState& mm() {
  static MMState& s = *new MMState;
  return s;
}

// The version tells the compositor to put the bar and the open menu
// together again, where they stood and where they stand.
void changed() { ++mm().version; }

bool isMenu(MenuRef m) {
  return m && std::find(mm().all.begin(), mm().all.end(), m) != mm().all.end();
}

MenuItem* itemOf(MenuRef m, int item) {
  if (!isMenu(m) || item < 1 || item > int(m->items.size())) return nullptr;
  return &m->items[std::size_t(item - 1)];
}

std::string appName() {
  const char* n = program_invocation_short_name;
  return (n && *n) ? std::string(n) : std::string("Application");
}

MenuRecord* appMenu() {
  if (!mm().appMenu) {
    auto* m = new MenuRecord;
    m->id = kApplicationMenuID;
    pstr::set(m->title, sizeof m->title, appName());
    MenuItem quit;
    quit.text = "Quit " + appName();
    if (quit.text.size() > 255) quit.text.resize(255);
    quit.cmd = 'Q';
    quit.command = kHICommandQuit;
    m->items.push_back(quit);
    mm().all.push_back(m);
    mm().appMenu = m;
  }
  return mm().appMenu;
}

// The menus of the bar in the order they are shown.
std::vector<MenuRecord*> barMenus() {
  std::vector<MenuRecord*> v;
  v.push_back(appMenu());
  v.insert(v.end(), mm().bar.begin(), mm().bar.end());
  if (mm().helpMenu) v.push_back(mm().helpMenu);
  return v;
}

MenuRecord* findMenu(MenuID id) {
  for (MenuRecord* m : barMenus())
    if (m->id == id) return m;
  for (MenuRecord* m : mm().hier)
    if (m->id == id) return m;
  return nullptr;
}

// --- text and geometry ------------------------------------------------------

// Measuring needs a port; the screen's fallback port serves.
struct MeasurePort {
  tb::PortSaver save;
  MeasurePort() {
    tb::InitDisplay();
    if (CGrafPtr s = tb::GetScreenPort()) SetPort(s);
  }
};

bool isLogo(const MenuRecord* m) { return m->title[0] == 1 && m->title[1] == 0x14; }

short titleWidth(const MenuRecord* m) {
  if (isLogo(m)) return 14 + 2 * kTitlePad;
  TextFont(systemFont);
  TextSize(12);
  TextFace(m == mm().appMenu ? bold : normal);
  short w = StringWidth(m->title);
  TextFace(normal);
  return SInt16(w + 2 * kTitlePad);
}

bool titleRectOf(const MenuRecord* target, Rect* r) {
  MeasurePort mp;
  short x = kBarLeft;
  for (MenuRecord* m : barMenus()) {
    short w = titleWidth(m);
    if (m == target) {
      *r = Rect{0, x, kBarHeight, SInt16(x + w)};
      return true;
    }
    x = SInt16(x + w);
  }
  return false;
}

std::string markText(CharParameter mark) {
  if (mark == checkMark) return "\xE2\x9C\x93";    // check mark
  if (mark == diamondMark) return "\xE2\x97\x86";  // diamond
  if (mark > 0 && mark < 0x20) return "";
  if (mark >= 0x20 && mark < 0x80) return std::string(1, char(mark));
  return "";
}

std::string cmdText(CharParameter cmd) {
  if (cmd <= 0x20 || cmd >= 0x7F) return "";
  return std::string("Ctrl+") + char(std::toupper(cmd));
}

short itemHeight(const MenuItem& it) { return it.divider() ? kDividerHeight : kItemHeight; }

short menuWidth(const MenuRecord* m, short atLeast = 0) {
  MeasurePort mp;
  TextFont(systemFont);
  TextSize(12);
  int w = 0;
  for (const MenuItem& it : m->items) {
    if (it.divider()) continue;
    TextFace(it.style);
    int tw = TextWidth(it.text.data(), 0, short(it.text.size()));
    TextFace(normal);
    std::string c = cmdText(it.cmd);
    if (!c.empty()) tw += 24 + TextWidth(c.data(), 0, short(c.size()));
    w = std::max(w, tw);
  }
  return SInt16(std::max<int>(std::clamp(w + 22 + 16, 100, 600), atLeast));
}

short menuHeight(const MenuRecord* m) {
  int h = 4;
  for (const MenuItem& it : m->items) h += itemHeight(it);
  return SInt16(std::min(h, 30000));
}

// The menu's rectangle with its top-left at (left, top), kept on screen,
// at least atLeast wide.
Rect placeMenu(const MenuRecord* m, short top, short left, short atLeast = 0) {
  const Rect s = tb::ScreenBounds();
  short w = menuWidth(m, atLeast), h = menuHeight(m);
  if (left + w > s.right) left = SInt16(s.right - w);
  if (left < s.left) left = s.left;
  if (top + h > s.bottom) top = SInt16(std::max<int>(kBarHeight, s.bottom - h));
  if (top < kBarHeight) top = kBarHeight;
  return Rect{top, left, SInt16(top + h), SInt16(left + w)};
}

Rect itemRectIn(const MenuRecord* m, const Rect& menuRect, int item) {
  short y = SInt16(menuRect.top + 2);
  for (int i = 1; i <= int(m->items.size()); ++i) {
    short h = itemHeight(m->items[std::size_t(i - 1)]);
    if (i == item) return Rect{y, menuRect.left, SInt16(y + h), menuRect.right};
    y = SInt16(y + h);
  }
  return Rect{0, 0, 0, 0};
}

int itemAt(const MenuRecord* m, const Rect& menuRect, Point p) {
  if (p.h < menuRect.left || p.h >= menuRect.right) return 0;
  for (int i = 1; i <= int(m->items.size()); ++i) {
    Rect r = itemRectIn(m, menuRect, i);
    if (p.v >= r.top && p.v < r.bottom) return i;
  }
  return 0;
}

bool choosable(const MenuRecord* m, int item) {
  if (!m->enabled || item < 1 || item > int(m->items.size())) return false;
  const MenuItem& it = m->items[std::size_t(item - 1)];
  return it.enabled && !it.divider();
}

// A pop-up menu placed so that item popUpItem lies at (top, left), at
// least as wide as the box it opens from.
Rect popUpRect(const MenuRecord* m, short top, short left, short popUpItem, short boxWidth) {
  const int anchor = std::clamp<int>(popUpItem, 1, std::max<int>(1, int(m->items.size())));
  const Rect first = itemRectIn(m, Rect{0, 0, 0, menuWidth(m, boxWidth)}, anchor);
  return placeMenu(m, SInt16(top - first.top), left, boxWidth);
}

// --- drawing -----------------------------------------------------------------

RGBColor rgb(UInt8 r, UInt8 g, UInt8 b) { return RGBColor{UInt16(r * 257), UInt16(g * 257), UInt16(b * 257)}; }

void paint(const Rect& r, const RGBColor& c) {
  RGBForeColor(&c);
  PaintRect(&r);
}

void drawTextAt(const std::string& text, short h, short v, const RGBColor& c) {
  RGBForeColor(&c);
  MoveTo(h, v);
  tb::DrawnTextScope tag(tb::TextSource::kMenu);
  DrawText(text.data(), 0, short(std::min<std::size_t>(text.size(), 255)));
}

void renderBar() {
  const short w = tb::ScreenWidth();
  if (!mm().barPort) mm().barPort = tb::NewPort(w, kBarHeight);
  tb::PortSaver save;
  SetPort(mm().barPort);
  PenNormal();
  paint(Rect{0, 0, kBarHeight, w}, rgb(0xF2, 0xF2, 0xF2));
  RGBColor line = rgb(0x90, 0x90, 0x90);
  RGBForeColor(&line);
  MoveTo(0, kBarHeight - 1);
  LineTo(SInt16(w - 1), kBarHeight - 1);
  TextFont(systemFont);
  TextSize(12);
  FontInfo fi;
  GetFontInfo(&fi);
  const short base = SInt16((kBarHeight - 1 + fi.ascent - fi.descent) / 2);
  short x = kBarLeft;
  for (MenuRecord* m : barMenus()) {
    short tw = titleWidth(m);
    Rect r{0, x, SInt16(kBarHeight - 1), SInt16(x + tw)};
    const bool hl = mm().hilited == m->id;
    if (hl) paint(r, rgb(0x2A, 0x5C, 0xAA));
    RGBColor ink = hl ? rgb(0xFF, 0xFF, 0xFF) : (m->enabled ? rgb(0, 0, 0) : rgb(0x99, 0x99, 0x99));
    if (isLogo(m)) {
      Rect logo{SInt16(base - 11), SInt16(x + kTitlePad + 1), SInt16(base + 1), SInt16(x + kTitlePad + 13)};
      RGBForeColor(&ink);
      PaintOval(&logo);
    } else {
      TextFace(m == mm().appMenu ? bold : normal);
      drawTextAt(pstr::str(m->title), SInt16(x + kTitlePad), base, ink);
      TextFace(normal);
    }
    x = SInt16(x + tw);
  }
  mm().barUsed = std::min<short>(SInt16(x + kBarLeft), w);
  RGBColor black = rgb(0, 0, 0);
  RGBForeColor(&black);
}

void renderMenu(const Open& o) {
  const MenuRecord* m = o.menu;
  const short w = SInt16(o.rect.right - o.rect.left), h = SInt16(o.rect.bottom - o.rect.top);
  if (!mm().menuPort)
    mm().menuPort = tb::NewPort(w, h);
  else
    tb::ResizePort(mm().menuPort, w, h);
  tb::PortSaver save;
  SetPort(mm().menuPort);
  PenNormal();
  paint(Rect{0, 0, h, w}, rgb(0xFA, 0xFA, 0xFA));
  RGBColor edge = rgb(0x70, 0x70, 0x70);
  RGBForeColor(&edge);
  Rect all{0, 0, h, w};
  FrameRect(&all);
  TextFont(systemFont);
  TextSize(12);
  FontInfo fi;
  GetFontInfo(&fi);
  for (int i = 1; i <= int(m->items.size()); ++i) {
    const MenuItem& it = m->items[std::size_t(i - 1)];
    Rect r = itemRectIn(m, o.rect, i);
    OffsetRect(&r, SInt16(-o.rect.left), SInt16(-o.rect.top));
    if (it.divider()) {
      RGBColor line = rgb(0xC8, 0xC8, 0xC8);
      RGBForeColor(&line);
      short y = SInt16((r.top + r.bottom) / 2);
      MoveTo(SInt16(r.left + 1), y);
      LineTo(SInt16(r.right - 2), y);
      continue;
    }
    const bool on = choosable(m, i);
    const bool hl = on && i == o.hilite;
    if (hl) paint(Rect{r.top, SInt16(r.left + 1), r.bottom, SInt16(r.right - 1)}, rgb(0x2A, 0x5C, 0xAA));
    RGBColor ink = hl ? rgb(0xFF, 0xFF, 0xFF) : (on ? rgb(0, 0, 0) : rgb(0x99, 0x99, 0x99));
    const short base = SInt16(r.top + (kItemHeight + fi.ascent - fi.descent) / 2 - 1);
    std::string mark = markText(it.mark);
    if (!mark.empty()) drawTextAt(mark, SInt16(r.left + 5), base, ink);
    TextFace(it.style);
    drawTextAt(it.text, SInt16(r.left + 20), base, ink);
    TextFace(normal);
    std::string c = cmdText(it.cmd);
    if (!c.empty()) {
      short cw = TextWidth(c.data(), 0, short(c.size()));
      drawTextAt(c, SInt16(r.right - 10 - cw), base, ink);
    }
  }
  RGBColor black = rgb(0, 0, 0);
  RGBForeColor(&black);
}

// --- item text parsing ---------------------------------------------------

// One item of AppendMenu's text, with its metacharacters taken out.
MenuItem parseItem(std::string_view s) {
  MenuItem it;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    const bool hasNext = i + 1 < s.size();
    switch (c) {
      case '^':
        if (hasNext) it.icon = UInt8(s[++i]);
        break;
      case '!':
        if (hasNext) it.mark = CharParameter(UInt8(s[++i]));
        break;
      case '<':
        if (hasNext) {
          switch (s[++i]) {
            case 'B': it.style |= bold; break;
            case 'I': it.style |= italic; break;
            case 'U': it.style |= underline; break;
            case 'O': it.style |= outline; break;
            case 'S': it.style |= shadow; break;
            default: break;
          }
        }
        break;
      case '/':
        if (hasNext) it.cmd = CharParameter(UInt8(s[++i]));
        break;
      case '(':
        it.enabled = false;
        break;
      default:
        it.text.push_back(c);
    }
  }
  if (it.divider()) it.enabled = false;
  return it;
}

std::vector<MenuItem> parseItems(ConstStr255Param data) {
  std::vector<MenuItem> out;
  std::string_view all = pstr::view(data);
  std::size_t start = 0;
  for (std::size_t i = 0; i <= all.size(); ++i) {
    if (i == all.size() || all[i] == ';' || all[i] == '\r') {
      out.push_back(parseItem(all.substr(start, i - start)));
      start = i + 1;
    }
  }
  return out;
}

void insertItems(MenuRef m, std::vector<MenuItem> items, int after) {
  if (!isMenu(m)) return;
  std::size_t at = std::size_t(std::clamp(after, 0, int(m->items.size())));
  m->items.insert(m->items.begin() + long(at), items.begin(), items.end());
  changed();
}

// --- tracking ----------------------------------------------------------------

void openMenu(MenuRecord* m, const Rect& rect, int hilite) {
  mm().open.menu = m;
  mm().open.rect = rect;
  mm().open.hilite = hilite;
  changed();
}

void closeMenu() {
  if (!mm().open.menu) return;
  mm().open = Open{};
  changed();
}

// A menu opens on a press and is chosen from by the release (press, drag,
// release), or opens on a click and stays open until the next click
// chooses an item or dismisses it, as on the desktops of today. A press
// that the pointer leaves by more than this many pixels before its release
// is a drag.
constexpr int kClickSlop = 4;

// What lies under the pointer while a menu is open.
enum class Spot { kItem, kMenu, kOpener, kElsewhere };  // kItem: a choosable item

// The menu being chosen from: the bar's menus, or one pop-up menu.
struct Chooser {
  std::function<void(Point)> follow;  // shows what the pointer asks for; sets item
  std::function<Spot(Point)> spot;
  std::function<bool(Point)> sameOpener;  // a press there closes the menu again (its title, its box)
  std::function<void(int)> sideways;      // Left and Right: the menu beside (the bar's)
  MenuRecord* menu = nullptr;             // the menu open now
  Rect rect{};                            // where it is
  int item = 0;                           // the choosable item hilited, 0 none
};

enum class Press { kOpening, kToggle, kInMenu, kStray };
enum class End { kChosen, kOpen, kDismissed };

bool farFrom(Point a, Point b) { return std::abs(a.h - b.h) > kClickSlop || std::abs(a.v - b.v) > kClickSlop; }

void hilite(Chooser& c, int item) {
  c.item = item;
  if (mm().open.menu && mm().open.hilite != item) {
    mm().open.hilite = item;
    changed();
  }
}

// Follows the button from a press at from to its release: what the
// release means. A click (no drag) on what opened the menu leaves it open,
// or closes it when it was open already; a release on an item chooses it,
// one back on what opened the menu leaves it open.
End held(Chooser& c, Point from, Press kind) {
  Point p = from;
  bool far = false;
  c.follow(p);
  while (StillDown()) {
    const Point now = tb::detail::GlobalMouse();
    if (now.h == p.h && now.v == p.v) continue;
    p = now;
    far = far || farFrom(p, from);
    c.follow(p);
  }
  WaitMouseUp();
  p = tb::detail::GlobalMouse();
  far = far || farFrom(p, from);
  c.follow(p);
  if (!far && kind == Press::kOpening) return End::kOpen;
  if (!far && kind == Press::kToggle) return End::kDismissed;
  switch (c.spot(p)) {
    case Spot::kItem: return End::kChosen;
    // A drag that ends on a dimmed item or a divider chooses nothing, as on
    // the platform; a click on one leaves the menu open.
    case Spot::kMenu: return kind == Press::kInMenu ? End::kOpen : End::kDismissed;
    case Spot::kOpener: return End::kOpen;
    default: return End::kDismissed;
  }
}

// The choosable item rows away from the one hilited (the first or last
// when none is), for the arrow keys.
int itemBeside(const MenuRecord* m, int from, int rows) {
  const int n = int(m->items.size());
  int at = from;
  if (at == 0) at = rows > 0 ? 0 : n + 1;
  for (int i = at + rows; i >= 1 && i <= n; i += rows)
    if (choosable(m, i)) return i;
  return from;
}

// The menu stays open: the pointer hilites, the next press chooses (on an
// item), closes (on what opened it, or anywhere else, the press going no
// further) or, in the bar, opens another menu; Up and Down move through
// the items, Return chooses, Escape closes. The loop pumps as every wait
// does (network, timers, scripts, the display). Headless, with nothing
// left to give input (no person, no script, nothing queued), it closes; so
// it does when the desktop gives the keyboard to another program.
End open(Chooser& c) {
  int quiet = 0;
  Point last = tb::detail::GlobalMouse();
  const bool suspended = tb::detail::ApplicationSuspended();
  for (;;) {
    EventRecord ev;
    const bool live = tb::detail::DisplayHasLiveInput();
    const bool got =
        tb::detail::WaitEvent(mDownMask | mUpMask | keyDownMask | autoKeyMask, &ev, live ? 1000000 : 10000, nullptr);
    // A click in another program of the desktop takes the keyboard away:
    // the menu closes, as menus there do.
    if (!suspended && tb::detail::ApplicationSuspended()) return End::kDismissed;
    if (!got) {
      const Point now = tb::detail::GlobalMouse();
      if (now.h != last.h || now.v != last.v) {
        last = now;
        quiet = 0;
        c.follow(now);
      } else if (!live && !tb::ScriptRunning() && tb::QueuedEventCount() == 0 && ++quiet >= 3) {
        return End::kDismissed;
      }
      continue;
    }
    quiet = 0;
    last = ev.where;
    switch (ev.what) {
      case mouseDown:
        switch (c.spot(ev.where)) {
          case Spot::kItem:
          case Spot::kMenu: return held(c, ev.where, Press::kInMenu);
          case Spot::kOpener: return held(c, ev.where, c.sameOpener(ev.where) ? Press::kToggle : Press::kOpening);
          default:
            // The press only closes the menu; its release goes with it.
            while (StillDown()) {
            }
            WaitMouseUp();
            return End::kDismissed;
        }
      case mouseUp:
        // A release whose press came before the menu opened.
        c.follow(ev.where);
        if (c.spot(ev.where) == Spot::kItem) return End::kChosen;
        break;
      default: {
        const UInt8 ch = UInt8(ev.message & charCodeMask), code = UInt8((ev.message & keyCodeMask) >> 8);
        if (ch == kEscapeCharCode || code == kVK_Escape || ((ev.modifiers & cmdKey) && ch == '.'))
          return End::kDismissed;
        if (ch == kReturnCharCode || ch == kEnterCharCode) return c.item ? End::kChosen : End::kDismissed;
        if (ch == kUpArrowCharCode || ch == kDownArrowCharCode)
          hilite(c, itemBeside(c.menu, c.item, ch == kUpArrowCharCode ? -1 : 1));
        if ((ch == kLeftArrowCharCode || ch == kRightArrowCharCode) && c.sideways)
          c.sideways(ch == kLeftArrowCharCode ? -1 : 1);
        break;
      }
    }
  }
}

// One menu session from a press at start (or none: a menu opened without a
// press waits for a click): the item chosen, 0 none.
int choose(Chooser& c, Point start) {
  End end = End::kOpen;
  EventRecord next;
  if (tb::detail::ButtonTaken()) {
    end = held(c, start, Press::kOpening);
  } else if (EventAvail(mDownMask | mUpMask, &next) && next.what == mouseUp) {
    // A release still queued: the press that belongs to it came before.
    end = held(c, next.where, Press::kStray);
  } else {
    c.follow(tb::detail::GlobalMouse());
  }
  while (end == End::kOpen) end = open(c);
  closeMenu();
  return end == End::kChosen ? c.item : 0;
}

// Sends a command of the application menu to its handler.
long runAppCommand(MenuRecord* m, int item) {
  HiliteMenu(0);
  tb::RunMenuCommand(m->items[std::size_t(item - 1)].command);
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// For the compositor

UInt64 tb::detail::MenusVersion() { return mm().version; }
bool tb::detail::MenuOpen() { return mm().open.menu != nullptr; }

void tb::detail::CompositeMenus(UInt32* fb, int stride, int fw, int fh) {
  if (!mm().barPort || mm().barDrawn != mm().version) {
    renderBar();
    if (mm().open.menu) renderMenu(mm().open);
    mm().barDrawn = mm().version;
  }
  tb::detail::BlitPort(fb, stride, fw, fh, mm().barPort, 0, 0);
  if (mm().open.menu) {
    const Rect& r = mm().open.rect;
    // A soft shadow to the right and below.
    const UInt32 shade = tb::PackPixel(0x50, 0x50, 0x50);
    for (int y = r.top + 3; y < r.bottom + 3 && y < fh; ++y)
      for (int x = r.left + 3; x < r.right + 3 && x < fw; ++x)
        if (y >= 0 && x >= 0 && (x >= r.right || y >= r.bottom)) fb[std::size_t(y) * stride + x] = shade;
    tb::detail::BlitPort(fb, stride, fw, fh, mm().menuPort, r.left, r.top);
  }
}

Rect tb::detail::MenusBounds() {
  Rect r{0, 0, kBarHeight, tb::ScreenWidth()};
  if (mm().open.menu) {
    const Rect& m = mm().open.rect;
    const Rect shaded{m.top, m.left, SInt16(m.bottom + 3), SInt16(m.right + 3)};
    UnionRect(&r, &shaded, &r);
  }
  return r;
}

void tb::detail::MenusShownRects(std::vector<Rect>* out) {
  out->push_back(Rect{0, 0, kBarHeight, mm().barUsed});
  if (const Rect& r = mm().open.rect; mm().open.menu)
    out->push_back(Rect{r.top, r.left, SInt16(r.bottom + 3), SInt16(r.right + 3)});
}

// ---------------------------------------------------------------------------
// Menus

MenuRef NewMenu(MenuID menuID, ConstStr255Param menuTitle) {
  auto* m = new MenuRecord;
  m->id = menuID;
  pstr::copy(m->title, sizeof m->title, menuTitle);
  mm().all.push_back(m);
  return m;
}

MenuRef GetMenu(short resourceID) {
  for (MenuRecord* m : mm().all)
    if (m->fromResource && m->id == resourceID) return m;
#ifdef TB_HAVE_RESOURCES
  Handle h = GetResource('MENU', resourceID);
  if (!h || !*h) return nullptr;
  const Size size = GetHandleSize(h);
  const UInt8* p = reinterpret_cast<const UInt8*>(*h);
  // id, width, height, definition, filler (2 bytes each), enable flags (4),
  // title; then each item: text, icon, key, mark, style; a 0 ends the list.
  if (size < 15) return nullptr;
  std::size_t pos = 14;
  auto pstring = [&](std::string& out) {
    if (pos >= std::size_t(size)) return false;
    std::size_t len = p[pos];
    if (pos + 1 + len > std::size_t(size)) return false;
    out.assign(reinterpret_cast<const char*>(p + pos + 1), len);
    pos += 1 + len;
    return true;
  };
  std::string title;
  if (!pstring(title)) return nullptr;
  Str255 t;
  pstr::set(t, sizeof t, title);
  MenuRef m = NewMenu(MenuID(resourceID), t);
  m->fromResource = true;
  const UInt32 flags = be::get32(p + 10);
  m->enabled = flags & 1;
  while (pos < std::size_t(size) && p[pos] != 0) {
    MenuItem it;
    if (!pstring(it.text) || pos + 4 > std::size_t(size)) break;
    it.icon = p[pos];
    it.cmd = p[pos + 1];
    it.mark = p[pos + 2];
    it.style = p[pos + 3];
    pos += 4;
    const std::size_t n = m->items.size() + 1;
    it.enabled = n > 31 || (flags >> n) & 1;
    if (it.divider()) it.enabled = false;
    m->items.push_back(it);
  }
  return m;
#else
  return nullptr;
#endif
}

void DisposeMenu(MenuRef m) {
  if (!isMenu(m) || m == mm().appMenu || m == mm().helpMenu) return;
  auto drop = [m](std::vector<MenuRecord*>& v) { v.erase(std::remove(v.begin(), v.end(), m), v.end()); };
  drop(mm().bar);
  drop(mm().hier);
  drop(mm().all);
  if (mm().open.menu == m) mm().open = Open{};
  delete m;
  changed();
}

void AppendMenu(MenuRef m, ConstStr255Param data) {
  if (isMenu(m)) insertItems(m, parseItems(data), int(m->items.size()));
}
void MacAppendMenu(MenuRef m, ConstStr255Param data) { AppendMenu(m, data); }

void InsertMenuItem(MenuRef m, ConstStr255Param itemString, short afterItem) {
  insertItems(m, parseItems(itemString), afterItem);
}

OSStatus AppendMenuItemText(MenuRef m, ConstStr255Param s) {
  if (!isMenu(m)) return paramErr;
  MenuItem it;
  it.text = pstr::str(s);
  if (it.divider()) it.enabled = false;
  insertItems(m, {it}, int(m->items.size()));
  return noErr;
}

OSStatus InsertMenuItemText(MenuRef m, ConstStr255Param s, MenuItemIndex afterItem) {
  if (!isMenu(m)) return paramErr;
  MenuItem it;
  it.text = pstr::str(s);
  if (it.divider()) it.enabled = false;
  insertItems(m, {it}, afterItem);
  return noErr;
}

void DeleteMenuItem(MenuRef m, short item) {
  if (!itemOf(m, item)) return;
  m->items.erase(m->items.begin() + (item - 1));
  changed();
}

void DeleteMenuItems(MenuRef m, MenuItemIndex first, UInt32 count) {
  if (!itemOf(m, first)) return;
  std::size_t from = first - 1;
  std::size_t n = std::min<std::size_t>(count, m->items.size() - from);
  m->items.erase(m->items.begin() + long(from), m->items.begin() + long(from + n));
  changed();
}

UInt16 CountMenuItems(MenuRef m) { return isMenu(m) ? UInt16(m->items.size()) : 0; }
short CountMItems(MenuRef m) { return short(CountMenuItems(m)); }
void AppendResMenu(MenuRef, ResType) {}

void SetMenuItemText(MenuRef m, short item, ConstStr255Param s) {
  MenuItem* it = itemOf(m, item);
  if (!it) return;
  const bool wasDivider = it->divider();
  it->text = pstr::str(s);
  if (wasDivider && !it->divider()) it->enabled = true;
  changed();
}

namespace {

// A string's text as an item text: at most 255 bytes, cut on a character.
std::string itemTextOf(CFStringRef text) {
  Str255 p;
  CFStringGetPascalString(text, p, sizeof p, kCFStringEncodingUTF8);
  return pstr::str(p);
}

OSStatus insertCF(MenuRef m, CFStringRef text, int after, MenuItemAttributes attrs, MenuCommand command) {
  if (!isMenu(m) || (!tb::IsCFString(text) && !(attrs & kMenuItemAttrSeparator))) return paramErr;
  MenuItem it;
  it.text = (attrs & kMenuItemAttrSeparator) ? std::string("-") : itemTextOf(text);
  it.command = command;
  it.enabled = !(attrs & kMenuItemAttrDisabled) && !it.divider();
  insertItems(m, {it}, std::clamp(after, 0, int(m->items.size())));
  return noErr;
}

}  // namespace

OSStatus SetMenuItemTextWithCFString(MenuRef m, MenuItemIndex item, CFStringRef text) {
  MenuItem* it = itemOf(m, item);
  if (!it || !tb::IsCFString(text)) return paramErr;
  const bool wasDivider = it->divider();
  it->text = itemTextOf(text);
  if (wasDivider && !it->divider()) it->enabled = true;
  changed();
  return noErr;
}

OSStatus CopyMenuItemTextAsCFString(MenuRef m, MenuItemIndex item, CFStringRef* text) {
  if (!text) return paramErr;
  *text = nullptr;
  MenuItem* it = itemOf(m, item);
  if (!it) return paramErr;
  *text = tb::NewCFString(it->text);
  return noErr;
}

OSStatus AppendMenuItemTextWithCFString(MenuRef m, CFStringRef text, MenuItemAttributes attrs, MenuCommand command,
                                        MenuItemIndex* outNewItem) {
  const int after = isMenu(m) ? int(m->items.size()) : 0;
  OSStatus err = insertCF(m, text, after, attrs, command);
  if (outNewItem) *outNewItem = err == noErr ? MenuItemIndex(after + 1) : 0;
  return err;
}

OSStatus InsertMenuItemTextWithCFString(MenuRef m, CFStringRef text, MenuItemIndex afterItem, MenuItemAttributes attrs,
                                        MenuCommand command) {
  return insertCF(m, text, afterItem, attrs, command);
}

OSStatus SetMenuTitleWithCFString(MenuRef m, CFStringRef title) {
  if (!isMenu(m) || !tb::IsCFString(title)) return paramErr;
  CFStringGetPascalString(title, m->title, sizeof m->title, kCFStringEncodingUTF8);
  changed();
  return noErr;
}

void GetMenuItemText(MenuRef m, short item, Str255 s) {
  if (!s) return;
  MenuItem* it = itemOf(m, item);
  pstr::set(s, sizeof(Str255), it ? std::string_view(it->text) : std::string_view());
}

void SetItemCmd(MenuRef m, short item, CharParameter c) {
  if (MenuItem* it = itemOf(m, item)) {
    it->cmd = c;
    changed();
  }
}
void GetItemCmd(MenuRef m, short item, CharParameter* c) {
  if (!c) return;
  MenuItem* it = itemOf(m, item);
  *c = it ? it->cmd : 0;
}
void SetItemMark(MenuRef m, short item, CharParameter mark) {
  if (MenuItem* it = itemOf(m, item)) {
    it->mark = mark;
    changed();
  }
}
void GetItemMark(MenuRef m, short item, CharParameter* mark) {
  if (!mark) return;
  MenuItem* it = itemOf(m, item);
  *mark = it ? it->mark : 0;
}
void CheckMenuItem(MenuRef m, short item, Boolean checked) { SetItemMark(m, item, checked ? checkMark : noMark); }
void CheckItem(MenuRef m, short item, Boolean checked) { CheckMenuItem(m, item, checked); }
void SetItemStyle(MenuRef m, short item, StyleParameter style) {
  if (MenuItem* it = itemOf(m, item)) {
    it->style = Style(style);
    changed();
  }
}

namespace {
void setEnabled(MenuRef m, MenuItemIndex item, bool on) {
  if (!isMenu(m)) return;
  if (item == 0) {
    m->enabled = on;
  } else if (MenuItem* it = itemOf(m, item)) {
    it->enabled = on;
  } else {
    return;
  }
  changed();
}
}  // namespace

void EnableMenuItem(MenuRef m, MenuItemIndex item) { setEnabled(m, item, true); }
void DisableMenuItem(MenuRef m, MenuItemIndex item) { setEnabled(m, item, false); }
void EnableItem(MenuRef m, short item) { setEnabled(m, MenuItemIndex(item), true); }
void DisableItem(MenuRef m, short item) { setEnabled(m, MenuItemIndex(item), false); }

Boolean IsMenuItemEnabled(MenuRef m, MenuItemIndex item) {
  if (!isMenu(m)) return false;
  if (item == 0) return m->enabled;
  MenuItem* it = itemOf(m, item);
  return it && it->enabled && m->enabled;
}

OSStatus SetMenuItemCommandID(MenuRef m, MenuItemIndex item, MenuCommand id) {
  MenuItem* it = itemOf(m, item);
  if (!it) return -5621;  // menuItemNotFoundErr
  it->command = id;
  return noErr;
}

OSStatus GetMenuItemCommandID(MenuRef m, MenuItemIndex item, MenuCommand* id) {
  MenuItem* it = itemOf(m, item);
  if (!it || !id) return -5621;
  *id = it->command;
  return noErr;
}

OSStatus GetIndMenuItemWithCommandID(MenuRef m, MenuCommand id, UInt32 index, MenuRef* outMenu,
                                     MenuItemIndex* outIndex) {
  std::vector<MenuRecord*> where;
  if (m) {
    if (!isMenu(m)) return paramErr;
    where.push_back(m);
  } else {
    where = barMenus();
    where.insert(where.end(), mm().hier.begin(), mm().hier.end());
  }
  UInt32 seen = 0;
  for (MenuRecord* menu : where) {
    for (std::size_t i = 0; i < menu->items.size(); ++i) {
      if (menu->items[i].command != id || ++seen < std::max<UInt32>(index, 1)) continue;
      if (outMenu) *outMenu = menu;
      if (outIndex) *outIndex = MenuItemIndex(i + 1);
      return noErr;
    }
  }
  return -5622;  // menuCommandNotFoundErr... kept as the item-not-found family
}

void EnableMenuCommand(MenuRef m, MenuCommand id) {
  MenuRef found = nullptr;
  MenuItemIndex item = 0;
  if (GetIndMenuItemWithCommandID(m, id, 1, &found, &item) == noErr) EnableMenuItem(found, item);
}

void DisableMenuCommand(MenuRef m, MenuCommand id) {
  MenuRef found = nullptr;
  MenuItemIndex item = 0;
  if (GetIndMenuItemWithCommandID(m, id, 1, &found, &item) == noErr) DisableMenuItem(found, item);
}

Boolean IsMenuCommandEnabled(MenuRef m, MenuCommand id) {
  MenuRef found = nullptr;
  MenuItemIndex item = 0;
  return GetIndMenuItemWithCommandID(m, id, 1, &found, &item) == noErr && IsMenuItemEnabled(found, item);
}

MenuID GetMenuID(MenuRef m) { return isMenu(m) ? m->id : 0; }

void SetMenuTitle(MenuRef m, ConstStr255Param title) {
  if (!isMenu(m)) return;
  pstr::copy(m->title, sizeof m->title, title);
  changed();
}

void GetMenuTitle(MenuRef m, Str255 title) {
  if (!title) return;
  if (!isMenu(m)) {
    title[0] = 0;
    return;
  }
  pstr::copy(title, sizeof(Str255), m->title);
}

// ---------------------------------------------------------------------------
// The bar

void InsertMenu(MenuRef m, MenuID beforeID) {
  if (!isMenu(m) || m == mm().appMenu || m == mm().helpMenu) return;
  if (beforeID == hierMenu) {
    if (std::find(mm().hier.begin(), mm().hier.end(), m) == mm().hier.end()) mm().hier.push_back(m);
    return;
  }
  auto& bar = mm().bar;
  if (std::find(bar.begin(), bar.end(), m) != bar.end()) return;
  // A menu whose id is already in the bar is not inserted twice.
  for (MenuRecord* b : bar)
    if (b->id == m->id) return;
  auto at = std::find_if(bar.begin(), bar.end(), [&](MenuRecord* b) { return b->id == beforeID; });
  bar.insert(at, m);
  changed();
}

void MacInsertMenu(MenuRef m, MenuID beforeID) { InsertMenu(m, beforeID); }

void DeleteMenu(MenuID id) {
  auto drop = [id](std::vector<MenuRecord*>& v) {
    v.erase(std::remove_if(v.begin(), v.end(), [id](MenuRecord* m) { return m->id == id; }), v.end());
  };
  drop(mm().bar);
  drop(mm().hier);
  if (mm().hilited == id) mm().hilited = 0;
  changed();
}

MenuRef GetMenuHandle(MenuID id) { return findMenu(id); }
MenuRef GetMenuRef(MenuID id) { return findMenu(id); }

void ClearMenuBar() {
  mm().bar.clear();
  mm().hier.clear();
  mm().hilited = 0;
  changed();
}

void DrawMenuBar() { changed(); }
void InvalMenuBar() { changed(); }

MenuBarHandle GetNewMBar(short menuBarID) {
#ifdef TB_HAVE_RESOURCES
  Handle h = GetResource('MBAR', menuBarID);
  if (!h || !*h || GetHandleSize(h) < 2) return nullptr;
  const UInt8* p = reinterpret_cast<const UInt8*>(*h);
  std::size_t count = std::min<std::size_t>(be::get16(p), std::size_t(GetHandleSize(h) - 2) / 2);
  Handle bar = NewHandleClear(Size(2 + 2 * count));
  if (!bar) return nullptr;
  UInt8* out = reinterpret_cast<UInt8*>(*bar);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const short id = SInt16(be::get16(p + 2 + 2 * i));
    if (!GetMenu(id)) continue;
    be::put16(out + 2 + 2 * kept++, UInt16(id));
  }
  be::put16(out, UInt16(kept));
  return bar;
#else
  (void)menuBarID;
  return nullptr;
#endif
}

void SetMenuBar(MenuBarHandle h) {
  if (!h || !*h || GetHandleSize(h) < 2) return;
  const UInt8* p = reinterpret_cast<const UInt8*>(*h);
  std::size_t count = std::min<std::size_t>(be::get16(p), std::size_t(GetHandleSize(h) - 2) / 2);
  std::vector<MenuRecord*> bar;
  for (std::size_t i = 0; i < count; ++i) {
    const MenuID id = MenuID(be::get16(p + 2 + 2 * i));
    MenuRecord* found = nullptr;
    for (MenuRecord* m : mm().all)
      if (m->id == id && m != mm().appMenu && m != mm().helpMenu) found = found ? found : m;
    if (found && std::find(bar.begin(), bar.end(), found) == bar.end()) bar.push_back(found);
  }
  mm().bar = bar;
  changed();
}

MenuBarHandle GetMenuBar() {
  Handle h = NewHandleClear(Size(2 + 2 * mm().bar.size()));
  if (!h) return nullptr;
  UInt8* out = reinterpret_cast<UInt8*>(*h);
  be::put16(out, UInt16(mm().bar.size()));
  for (std::size_t i = 0; i < mm().bar.size(); ++i) be::put16(out + 2 + 2 * i, UInt16(mm().bar[i]->id));
  return h;
}

short GetMBarHeight() { return kBarHeight; }

void HiliteMenu(MenuID id) {
  if (id != 0 && !findMenu(id)) id = 0;
  if (mm().hilited == id) return;
  mm().hilited = id;
  changed();
}

long MenuSelect(Point start) {
  tb::InitDisplay();
  HiliteMenu(0);
  Chooser c;
  const auto titleAt = [](Point p) -> MenuRecord* {
    if (p.v < 0 || p.v >= kBarHeight) return nullptr;
    for (MenuRecord* m : barMenus()) {
      Rect r;
      if (titleRectOf(m, &r) && p.h >= r.left && p.h < r.right) return m;
    }
    return nullptr;
  };
  const auto show = [&c](MenuRecord* m) {
    c.menu = m;
    HiliteMenu(m->id);
    Rect t;
    titleRectOf(m, &t);
    c.rect = placeMenu(m, kBarHeight, t.left);
    openMenu(m, c.rect, 0);
    c.item = 0;
  };
  c.follow = [&](Point p) {
    if (p.v >= 0 && p.v < kBarHeight) {
      MenuRecord* under = titleAt(p);
      if (under && under != c.menu) show(under);
      hilite(c, 0);
    } else if (c.menu) {
      const int at = PtInRect(p, &c.rect) ? itemAt(c.menu, c.rect, p) : 0;
      hilite(c, choosable(c.menu, at) ? at : 0);
    }
  };
  c.spot = [&](Point p) {
    if (p.v >= 0 && p.v < kBarHeight) return Spot::kOpener;
    if (!c.menu || !PtInRect(p, &c.rect)) return Spot::kElsewhere;
    return choosable(c.menu, itemAt(c.menu, c.rect, p)) ? Spot::kItem : Spot::kMenu;
  };
  c.sameOpener = [&](Point p) { return titleAt(p) == c.menu; };
  c.sideways = [&](int by) {
    const std::vector<MenuRecord*> bar = barMenus();
    const auto at = std::find(bar.begin(), bar.end(), c.menu);
    if (at == bar.end()) return;
    show(bar[std::size_t((at - bar.begin() + long(bar.size()) + by) % long(bar.size()))]);
  };
  const int item = choose(c, start);
  if (!c.menu || !item) {
    HiliteMenu(0);
    return 0;
  }
  if (c.menu == mm().appMenu) return runAppCommand(c.menu, item);
  return (long(c.menu->id) << 16) | item;
}

long MenuKey(CharParameter ch) {
  const int key = std::toupper(UInt8(ch));
  if (key <= 0x20) return 0;
  std::vector<MenuRecord*> order = barMenus();
  // The program's menus first, right to left; the application menu last.
  std::rotate(order.begin(), order.begin() + 1, order.end());
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    MenuRecord* m = *it;
    if (m == mm().appMenu) continue;
    for (std::size_t i = 0; i < m->items.size(); ++i) {
      if (m->items[i].cmd && std::toupper(UInt8(m->items[i].cmd)) == key && choosable(m, int(i + 1))) {
        HiliteMenu(m->id);
        return (long(m->id) << 16) | long(i + 1);
      }
    }
  }
  MenuRecord* app = appMenu();
  for (std::size_t i = 0; i < app->items.size(); ++i)
    if (std::toupper(UInt8(app->items[i].cmd)) == key && choosable(app, int(i + 1)))
      return runAppCommand(app, int(i + 1));
  return 0;
}

UInt32 MenuEvent(const EventRecord* event) {
  if (!event || (event->what != keyDown && event->what != autoKey) || !(event->modifiers & cmdKey)) return 0;
  return UInt32(MenuKey(CharParameter(event->message & charCodeMask)));
}

long PopUpMenuSelect(MenuRef m, short top, short left, short popUpItem) {
  return tb::PopUpMenuSelectFrom(m, top, left, popUpItem, Rect{0, 0, 0, 0});
}

long tb::PopUpMenuSelectFrom(MenuRef m, short top, short left, short popUpItem, const Rect& box) {
  if (!isMenu(m) || m->items.empty()) return 0;
  tb::InitDisplay();
  Chooser c;
  c.menu = m;
  c.rect = popUpRect(m, top, left, popUpItem, SInt16(std::max(0, box.right - box.left)));
  openMenu(m, c.rect, 0);
  c.follow = [&](Point p) {
    const int at = PtInRect(p, &c.rect) ? itemAt(m, c.rect, p) : 0;
    hilite(c, choosable(m, at) ? at : 0);
  };
  c.spot = [&](Point p) {
    if (PtInRect(p, &c.rect)) return choosable(m, itemAt(m, c.rect, p)) ? Spot::kItem : Spot::kMenu;
    return PtInRect(p, &box) ? Spot::kOpener : Spot::kElsewhere;
  };
  c.sameOpener = [](Point) { return true; };
  const int item = choose(c, tb::detail::GlobalMouse());
  return item ? ((long(m->id) << 16) | item) : 0;
}

namespace {
bool gHelpTags = false;
}

OSStatus HMSetHelpTagsDisplayed(Boolean inDisplayTags) {
  gHelpTags = inDisplayTags != 0;
  return noErr;
}

Boolean HMAreHelpTagsDisplayed() { return gHelpTags; }

OSStatus HMGetHelpMenu(MenuRef* outMenu, MenuItemIndex* outFirst) {
  if (!mm().helpMenu) {
    auto* m = new MenuRecord;
    m->id = kHMHelpMenuID;
    pstr::set(m->title, sizeof m->title, "Help");
    MenuItem tags;
    tags.text = "Show Help Tags";
    m->items.push_back(tags);
    mm().all.push_back(m);
    mm().helpMenu = m;
    changed();
  }
  if (outMenu) *outMenu = mm().helpMenu;
  if (outFirst) *outFirst = MenuItemIndex(mm().helpMenu->items.size() + 1);
  return noErr;
}

short OpenDeskAcc(ConstStr255Param) { return 0; }

// ---------------------------------------------------------------------------

bool tb::RunMenuCommand(MenuCommand command) {
  if (!command) return false;
  if (mm().handler && mm().handler(command)) return true;
  if (command != kHICommandQuit) return false;
  // Quit asks the program itself to quit, as the platform did: the
  // 'aevt'/'quit' event reaches its own handler through its event loop.
  ProcessSerialNumber self{0, kCurrentProcess};
  AEAddressDesc target{};
  AppleEvent quit{};
  bool sent = false;
  if (AECreateDesc(typeProcessSerialNumber, &self, sizeof self, &target) == noErr) {
    if (AECreateAppleEvent(kCoreEventClass, kAEQuitApplication, &target, kAutoGenerateReturnID,
                           kAnyTransactionID, &quit) == noErr) {
      sent = AESend(&quit, nullptr, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr) == noErr;
      AEDisposeDesc(&quit);
    }
    AEDisposeDesc(&target);
  }
  return sent;
}

void tb::SetMenuCommandHandler(MenuCommandHandler handler) { mm().handler = handler; }
tb::MenuCommandHandler tb::GetMenuCommandHandler() { return mm().handler; }

bool tb::MenuTitleRect(MenuID id, Rect* r) {
  MenuRecord* m = nullptr;
  for (MenuRecord* b : barMenus())
    if (b->id == id) m = b;
  return m && r && titleRectOf(m, r);
}

bool tb::MenuItemRect(MenuID id, MenuItemIndex item, Rect* r) {
  Rect t;
  if (!r || !MenuTitleRect(id, &t)) return false;
  MenuRecord* m = findMenu(id);
  if (!m || item < 1 || item > m->items.size()) return false;
  *r = itemRectIn(m, placeMenu(m, kBarHeight, t.left), item);
  return true;
}

bool tb::PopUpItemRect(MenuRef m, short top, short left, short popUpItem, MenuItemIndex item, Rect* r, short boxWidth) {
  if (!isMenu(m) || !r || item < 1 || item > m->items.size()) return false;
  *r = itemRectIn(m, popUpRect(m, top, left, popUpItem, boxWidth), item);
  return true;
}

MenuRef tb::ShownMenu() { return mm().open.menu; }

MenuID tb::HilitedMenu() { return mm().hilited; }

void tb::ResetMenus() {
  std::vector<MenuRecord*> all = mm().all;
  for (MenuRecord* m : all) delete m;
  mm().all.clear();
  mm().bar.clear();
  mm().hier.clear();
  mm().appMenu = nullptr;
  mm().helpMenu = nullptr;
  mm().hilited = 0;
  mm().open = Open{};
  changed();
}

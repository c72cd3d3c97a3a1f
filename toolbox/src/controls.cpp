// Control Manager: the control records of each window in their embedding
// tree, their plain look drawn with QuickDraw, scroll-bar and pop-up
// geometry, activation and hiliting, and the tracking of a click on each
// kind of control.
#include "toolbox/controls.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_set>
#include <vector>

#include "controls_internal.h"
#include "drawntext_internal.h"
#include "toolbox/gestalt.h"
#include "toolbox/memory.h"
#include "toolbox/resources.h"

namespace {

enum class Kind { kRoot, kButton, kCheckBox, kRadio, kScrollBar, kPopup, kProgress, kSeparator, kUserPane,
                  kPicture, kIcon };

}  // namespace

struct ControlRecord {
  WindowRef window = nullptr;
  ControlRecord* parent = nullptr;
  std::vector<ControlRecord*> children;
  Kind kind = Kind::kRoot;
  SInt16 procID = 0;
  Rect bounds{0, 0, 0, 0};
  Str255 title{};
  SInt32 value = 0;
  SInt32 min = 0;
  SInt32 max = 0;
  SInt32 viewSize = 0;
  UInt8 hilite = 0;
  bool visible = true;
  bool enabled = true;
  bool useWindowFont = false;
  bool ownInk = false;  // the title's own colour (SetControlFontStyle)
  RGBColor ink{};
  bool tracks = true;  // pictures and icons of the no-track kinds answer at once
  long refCon = 0;
  ControlActionUPP action = nullptr;
  // pop-up menu button
  MenuRef menu = nullptr;
  bool ownsMenu = false;
  SInt16 labelWidth = 0;
  // icon
  CIconHandle icon = nullptr;
  // user pane
  UInt32 features = 0;
  ControlUserPaneDrawUPP drawProc = nullptr;
  ControlUserPaneHitTestUPP hitProc = nullptr;
  ControlUserPaneTrackingUPP trackProc = nullptr;
  ControlUserPaneActivateUPP activateProc = nullptr;
  ControlUserPaneFocusUPP focusProc = nullptr;
};

namespace {

struct WindowControls {
  ControlRecord* root = nullptr;
  ControlRecord* focus = nullptr;
};

struct Registry {
  std::unordered_set<ControlRecord*> live;
  std::map<WindowRef, WindowControls> windows;
  // Owned pop-up menus and how many live pop-ups use each.
  std::map<MenuRef, int> menuUsers;
};

Registry& reg() {
  // Never destroyed, for the windows disposed at exit (see dialogs.cpp).
  static Registry& r = *new Registry;
  return r;
}

bool live(ControlRef c) { return c && reg().live.count(c); }
bool windowAlive(WindowRef w) { return w && GetWindowPort(w) != nullptr; }

// --- geometry helpers --------------------------------------------------------

short width(const Rect& r) { return short(r.right - r.left); }
short height(const Rect& r) { return short(r.bottom - r.top); }
bool inside(Point p, const Rect& r) { return p.h >= r.left && p.h < r.right && p.v >= r.top && p.v < r.bottom; }
Rect rect(int top, int left, int bottom, int right) {
  return Rect{SInt16(top), SInt16(left), SInt16(bottom), SInt16(right)};
}

// --- the look ---------------------------------------------------------------------

RGBColor rgb(UInt8 r, UInt8 g, UInt8 b) { return RGBColor{UInt16(r * 257), UInt16(g * 257), UInt16(b * 257)}; }
const RGBColor kInk = rgb(0x20, 0x20, 0x20);
const RGBColor kDimInk = rgb(0xA0, 0xA0, 0xA0);
const RGBColor kFrame = rgb(0x60, 0x60, 0x60);
const RGBColor kDimFrame = rgb(0xB8, 0xB8, 0xB8);
const RGBColor kFace = rgb(0xF2, 0xF2, 0xF2);
const RGBColor kWhite = rgb(0xFF, 0xFF, 0xFF);
const RGBColor kPressedFace = rgb(0x3A, 0x6E, 0xC8);
const RGBColor kBoxPressed = rgb(0xC8, 0xC8, 0xD0);
const RGBColor kTrack = rgb(0xE4, 0xE4, 0xE4);
const RGBColor kThumb = rgb(0x8C, 0x8C, 0x96);
const RGBColor kThumbPressed = rgb(0x5A, 0x5A, 0x66);
const RGBColor kArrowPressed = rgb(0xB0, 0xB0, 0xB8);
const RGBColor kProgressFill = rgb(0x3A, 0x6E, 0xC8);

// The scroll bar keeps both arrows together at its far end; this many
// pixels of its length belong to them, the rest is the thumb's track.
// Systems from 10.7 on have bars without arrows, and the programs measure
// the bars by the version Gestalt reports, so the look follows it.
constexpr int kArrowsLength = 33;
constexpr int kEndArrow = 16;
constexpr int kMinThumb = 16;

void paint(const Rect& r, const RGBColor& c) {
  RGBForeColor(&c);
  PaintRect(&r);
}
void frame(const Rect& r, const RGBColor& c) {
  RGBForeColor(&c);
  FrameRect(&r);
}

// Saves the current port and the window port's drawing state, makes the
// window's port current, and puts everything back when it goes.
class DrawScope {
 public:
  explicit DrawScope(WindowRef w) {
    port_ = GetWindowPort(w);
    if (!port_) return;
    SetPort(port_);
    GetPenState(&pen_);
    GetForeColor(&fg_);
    GetBackColor(&bg_);
    font_ = GetPortTextFont(port_);
    face_ = GetPortTextFace(port_);
    size_ = GetPortTextSize(port_);
    mode_ = GetPortTextMode(port_);
    GetClip(clip_);
    PenNormal();
  }
  ~DrawScope() {
    if (port_) {
      SetPort(port_);
      SetPenState(&pen_);
      RGBForeColor(&fg_);
      RGBBackColor(&bg_);
      TextFont(font_);
      TextFace(face_);
      TextSize(size_);
      TextMode(mode_);
      SetClip(clip_);
    }
  }
  DrawScope(const DrawScope&) = delete;
  DrawScope& operator=(const DrawScope&) = delete;
  bool ok() const { return port_ != nullptr; }
  // The window's own font, as it was when the scope began.
  short font() const { return font_; }
  Style face() const { return face_; }
  short size() const { return size_; }

 private:
  tb::PortSaver saved_;  // the caller's port, current again after the rest is put back
  CGrafPtr port_ = nullptr;
  PenState pen_{};
  RGBColor fg_{}, bg_{};
  short font_ = 0, size_ = 0, mode_ = 0;
  Style face_ = 0;
  tb::OwnedRgn clip_;
};

bool ownActive(const ControlRecord* c) { return c->hilite != kControlInactivePart; }

bool effectiveActive(const ControlRecord* c) {
  for (; c; c = c->parent)
    if (!ownActive(c)) return false;
  return true;
}

bool effectiveEnabled(const ControlRecord* c) {
  for (; c; c = c->parent)
    if (!c->enabled) return false;
  return true;
}

bool effectiveVisible(const ControlRecord* c) {
  for (; c; c = c->parent)
    if (!c->visible) return false;
  return true;
}

bool dimmed(const ControlRecord* c) { return !effectiveActive(c) || !effectiveEnabled(c); }

// A check box also holds the mixed value 2, whatever its maximum.
SInt32 upperLimit(const ControlRecord* c) {
  return c->kind == Kind::kCheckBox ? std::max<SInt32>(c->max, kControlCheckBoxMixedValue) : c->max;
}

void useTitleFont(const ControlRecord* c, const DrawScope& scope) {
  if (c->useWindowFont) {
    TextFont(scope.font());
    TextFace(scope.face());
    TextSize(scope.size());
  } else {
    TextFont(systemFont);
    TextFace(normal);
    TextSize(12);
  }
  TextMode(srcOr);
}

// Draws text with its left at h, centred vertically in [top, bottom), cut
// to maxWidth pixels.
void drawLabel(const unsigned char* text, int h, int top, int bottom, int maxWidth, const RGBColor& color) {
  if (!text || text[0] == 0 || maxWidth <= 0) return;
  Str255 s;
  pstr::copy(s, sizeof s, text);
  if (StringWidth(s) > maxWidth) TruncString(short(maxWidth), s, smTruncEnd);
  FontInfo fi;
  GetFontInfo(&fi);
  const int base = top + (bottom - top - (fi.ascent + fi.descent)) / 2 + fi.ascent;
  RGBForeColor(&color);
  MoveTo(short(h), short(base));
  DrawString(s);
}

void drawCentredLabel(const unsigned char* text, const Rect& r, const RGBColor& color) {
  if (!text || text[0] == 0) return;
  Str255 s;
  pstr::copy(s, sizeof s, text);
  const int room = width(r) - 8;
  if (StringWidth(s) > room) TruncString(short(std::max(room, 0)), s, smTruncEnd);
  drawLabel(s, r.left + (width(r) - StringWidth(s)) / 2, r.top, r.bottom, width(r), color);
}

enum class Dir { kUp, kDown, kLeft, kRight };

// A small solid triangle centred at (cx, cy).
void triangle(int cx, int cy, Dir dir, const RGBColor& color) {
  RGBForeColor(&color);
  for (int i = 0; i < 4; ++i) {
    const int half = (dir == Dir::kUp || dir == Dir::kLeft) ? i : 3 - i;
    const int along = i - 2;
    if (dir == Dir::kUp || dir == Dir::kDown) {
      MoveTo(short(cx - half), short(cy + along));
      LineTo(short(cx + half), short(cy + along));
    } else {
      MoveTo(short(cx + along), short(cy - half));
      LineTo(short(cx + along), short(cy + half));
    }
  }
}

// --- scroll bar geometry ---------------------------------------------------------

struct BarGeometry {
  bool vertical = false;
  Rect up{}, down{}, track{}, thumb{};
  bool hasTrack = false;
  bool hasThumb = false;
  int trackStart = 0, trackLength = 0, thumbLength = 0;  // along the bar
};

// Rectangle along the bar from a to b (bar coordinates along its axis).
Rect along(const Rect& b, bool vertical, int from, int to) {
  return vertical ? rect(from, b.left, to, b.right) : rect(b.top, from, b.bottom, to);
}

bool barsHaveArrows() {
  SInt32 version = 0;
  return Gestalt('sysv', &version) != noErr || version < 0x1070;
}

BarGeometry barGeometry(const ControlRecord* c) {
  BarGeometry g;
  const Rect& b = c->bounds;
  g.vertical = height(b) > width(b);
  const int start = g.vertical ? b.top : b.left;
  const int end = g.vertical ? b.bottom : b.right;
  const int length = end - start;
  if (length <= 0 || width(b) <= 0 || height(b) <= 0) return g;
  const int arrows = barsHaveArrows() ? kArrowsLength : 0;
  if (arrows && length < arrows) {
    g.up = along(b, g.vertical, start, start + length / 2);
    g.down = along(b, g.vertical, start + length / 2, end);
    return g;
  }
  if (arrows) {
    g.up = along(b, g.vertical, end - arrows, end - kEndArrow);
    g.down = along(b, g.vertical, end - kEndArrow, end);
  }
  g.trackStart = start;
  g.trackLength = length - arrows;
  if (g.trackLength <= 0) return g;
  g.hasTrack = true;
  g.track = along(b, g.vertical, start, end - arrows);
  const SInt64 range = SInt64(c->max) - c->min;
  if (range <= 0 || g.trackLength < kMinThumb || dimmed(c)) return g;
  SInt64 thumb = kMinThumb;
  if (c->viewSize > 0) thumb = SInt64(g.trackLength) * c->viewSize / (range + c->viewSize);
  thumb = std::clamp<SInt64>(thumb, kMinThumb, g.trackLength);
  g.thumbLength = int(thumb);
  const SInt64 travel = g.trackLength - thumb;
  const SInt64 pos = start + (travel * (SInt64(c->value) - c->min)) / range;
  g.thumb = along(b, g.vertical, int(pos), int(pos + thumb));
  g.hasThumb = true;
  return g;
}

ControlPartCode barPartAt(const ControlRecord* c, Point p) {
  if (!inside(p, c->bounds)) return kControlNoPart;
  const BarGeometry g = barGeometry(c);
  if (inside(p, g.up)) return kControlUpButtonPart;
  if (inside(p, g.down)) return kControlDownButtonPart;
  if (!g.hasThumb) return kControlNoPart;
  if (inside(p, g.thumb)) return kControlIndicatorPart;
  const int at = g.vertical ? p.v : p.h;
  const int thumbStart = g.vertical ? g.thumb.top : g.thumb.left;
  return at < thumbStart ? kControlPageUpPart : kControlPageDownPart;
}

// --- pop-up geometry ------------------------------------------------------------

// The box that shows the current item (right of the title's label area).
Rect popupBox(const ControlRecord* c) {
  Rect r = c->bounds;
  if (c->title[0] && c->labelWidth > 0) r.left = SInt16(std::min<int>(r.right, r.left + c->labelWidth + 4));
  return r;
}

void currentPopupText(const ControlRecord* c, Str255 out) {
  out[0] = 0;
  if (!c->menu) return;
  const int n = CountMenuItems(c->menu);
  if (c->value >= 1 && c->value <= n)
    GetMenuItemText(c->menu, short(c->value), out);
  else
    GetMenuTitle(c->menu, out);
}

// --- drawing -----------------------------------------------------------------------

const RGBColor& titleInk(const ControlRecord* c) { return c->ownInk ? c->ink : kInk; }

void drawButton(const ControlRecord* c, const DrawScope& scope) {
  const Rect& r = c->bounds;
  const bool dim = dimmed(c);
  const bool pressed = !dim && c->hilite == kControlButtonPart;
  const short radius = short(std::min<int>(10, height(r)));
  const RGBColor face = pressed ? kPressedFace : kFace;
  RGBForeColor(&face);
  PaintRoundRect(&r, radius, radius);
  const RGBColor& edge = dim ? kDimFrame : kFrame;
  RGBForeColor(&edge);
  FrameRoundRect(&r, radius, radius);
  useTitleFont(c, scope);
  drawCentredLabel(c->title, r, dim ? kDimInk : pressed ? kWhite : titleInk(c));
}

constexpr int kBoxSize = 12;

void drawCheckOrRadio(const ControlRecord* c, const DrawScope& scope) {
  const Rect& r = c->bounds;
  const bool dim = dimmed(c);
  const bool pressed = !dim && c->hilite != 0 && c->hilite != kControlInactivePart;
  const int top = r.top + (height(r) - kBoxSize) / 2;
  const Rect box = rect(top, r.left + 1, top + kBoxSize, r.left + 1 + kBoxSize);
  const RGBColor& fill = pressed ? kBoxPressed : kWhite;
  const RGBColor& edge = dim ? kDimFrame : kFrame;
  const RGBColor& mark = dim ? kDimInk : kInk;
  if (c->kind == Kind::kCheckBox) {
    paint(box, fill);
    frame(box, edge);
    if (c->value == kControlCheckBoxCheckedValue) {
      RGBForeColor(&mark);
      PenSize(2, 2);
      MoveTo(short(box.left + 2), short(box.top + 5));
      LineTo(short(box.left + 4), short(box.top + 8));
      LineTo(short(box.left + 8), short(box.top + 2));
      PenNormal();
    } else if (c->value == kControlCheckBoxMixedValue) {
      paint(rect(box.top + 5, box.left + 3, box.top + 7, box.right - 3), mark);
    }
  } else {
    RGBForeColor(&fill);
    PaintOval(&box);
    RGBForeColor(&edge);
    FrameOval(&box);
    if (c->value != 0) {
      Rect dot = box;
      InsetRect(&dot, 3, 3);
      RGBForeColor(&mark);
      PaintOval(&dot);
    }
  }
  useTitleFont(c, scope);
  const int textLeft = box.right + 6;
  drawLabel(c->title, textLeft, r.top, r.bottom, r.right - textLeft, dim ? kDimInk : titleInk(c));
}

void drawScrollBar(const ControlRecord* c) {
  const Rect& b = c->bounds;
  if (width(b) <= 0 || height(b) <= 0) return;
  const BarGeometry g = barGeometry(c);
  const bool dim = dimmed(c);
  const RGBColor& edge = dim ? kDimFrame : kFrame;
  paint(b, kTrack);
  auto arrow = [&](const Rect& r, ControlPartCode part, Dir dir) {
    if (width(r) <= 0 || height(r) <= 0) return;
    paint(r, !dim && c->hilite == part ? kArrowPressed : kFace);
    frame(r, edge);
    triangle((r.left + r.right) / 2, (r.top + r.bottom) / 2, dir, dim ? kDimInk : kInk);
  };
  arrow(g.up, kControlUpButtonPart, g.vertical ? Dir::kUp : Dir::kLeft);
  arrow(g.down, kControlDownButtonPart, g.vertical ? Dir::kDown : Dir::kRight);
  if (g.hasThumb) {
    Rect t = g.thumb;
    InsetRect(&t, g.vertical ? 3 : 0, g.vertical ? 0 : 3);
    InsetRect(&t, g.vertical ? 0 : 1, g.vertical ? 1 : 0);
    const RGBColor& fill = c->hilite == kControlIndicatorPart ? kThumbPressed : kThumb;
    RGBForeColor(&fill);
    PaintRoundRect(&t, 8, 8);
  }
  frame(b, edge);
}

void drawPopup(const ControlRecord* c, const DrawScope& scope) {
  const Rect& r = c->bounds;
  const bool dim = dimmed(c);
  const bool pressed = !dim && c->hilite != 0 && c->hilite != kControlInactivePart;
  useTitleFont(c, scope);
  const Rect box = popupBox(c);
  if (box.left > r.left)
    drawLabel(c->title, r.left, r.top, r.bottom, box.left - r.left - 4, dim ? kDimInk : titleInk(c));
  if (width(box) <= 0 || height(box) <= 0) return;
  const RGBColor& face = pressed ? kBoxPressed : kFace;
  RGBForeColor(&face);
  PaintRoundRect(&box, 8, 8);
  const RGBColor& edge = dim ? kDimFrame : kFrame;
  RGBForeColor(&edge);
  FrameRoundRect(&box, 8, 8);
  Str255 text;
  currentPopupText(c, text);
  const int arrowRoom = 18;
  drawLabel(text, box.left + 8, box.top, box.bottom, width(box) - 8 - arrowRoom, dim ? kDimInk : kInk);
  if (width(box) > arrowRoom) triangle(box.right - 10, (box.top + box.bottom) / 2 + 1, Dir::kDown, dim ? kDimInk : kInk);
}

void drawProgress(const ControlRecord* c) {
  const Rect& r = c->bounds;
  if (width(r) <= 2 || height(r) <= 2) return;
  const bool dim = dimmed(c);
  paint(r, kTrack);
  const SInt64 range = SInt64(c->max) - c->min;
  if (range > 0) {
    Rect inner = r;
    InsetRect(&inner, 1, 1);
    const SInt64 filled = SInt64(width(inner)) * (SInt64(c->value) - c->min) / range;
    inner.right = SInt16(inner.left + filled);
    if (filled > 0) paint(inner, dim ? kDimFrame : kProgressFill);
  }
  frame(r, dim ? kDimFrame : kFrame);
}

void drawSeparator(const ControlRecord* c) {
  const Rect& r = c->bounds;
  if (width(r) <= 0 || height(r) <= 0) return;
  const RGBColor& dark = dimmed(c) ? kDimFrame : kFrame;
  if (height(r) > width(r)) {
    paint(rect(r.top, r.left, r.bottom, r.left + 1), dark);
    if (width(r) > 1) paint(rect(r.top, r.left + 1, r.bottom, r.left + 2), kWhite);
  } else {
    paint(rect(r.top, r.left, r.top + 1, r.right), dark);
    if (height(r) > 1) paint(rect(r.top + 1, r.left, r.top + 2, r.right), kWhite);
  }
}

void drawPicture(const ControlRecord* c) {
  if (PicHandle pic = GetPicture(short(c->value))) DrawPicture(pic, &c->bounds);
}

void drawIcon(ControlRecord* c) {
  if (!c->icon) c->icon = GetCIcon(short(c->value));
  if (!c->icon) return;
  const IconTransformType t = dimmed(c) ? kTransformDisabled
                              : (c->hilite == kControlIconPart) ? kTransformSelected : kTransformNone;
  PlotCIconHandle(&c->bounds, 0, t, c->icon);
}

void drawTree(ControlRecord* c, const DrawScope& scope, RgnHandle only);

void drawSelf(ControlRecord* c, const DrawScope& scope) {
  tb::detail::DefaultTextScope tag(tb::TextSource::kControlTitle, &c->bounds);
  switch (c->kind) {
    case Kind::kButton:
      drawButton(c, scope);
      break;
    case Kind::kCheckBox:
    case Kind::kRadio:
      drawCheckOrRadio(c, scope);
      break;
    case Kind::kScrollBar:
      drawScrollBar(c);
      break;
    case Kind::kPopup:
      drawPopup(c, scope);
      break;
    case Kind::kProgress:
      drawProgress(c);
      break;
    case Kind::kSeparator:
      drawSeparator(c);
      break;
    case Kind::kPicture:
      drawPicture(c);
      break;
    case Kind::kIcon:
      drawIcon(c);
      break;
    case Kind::kUserPane:
      if (c->drawProc) {
        // The program's procedure draws in the window's port; what it
        // changes there stays inside this scope.
        c->drawProc(c, kControlNoPart);
      }
      break;
    case Kind::kRoot:
      break;
  }
}

void drawTree(ControlRecord* c, const DrawScope& scope, RgnHandle only) {
  if (!c->visible) return;
  if (c->kind != Kind::kRoot && (!only || RectInRgn(&c->bounds, only))) {
    drawSelf(c, scope);
    PenNormal();
  }
  // Work on a copy: a drawing procedure may dispose or add controls.
  const std::vector<ControlRecord*> kids = c->children;
  for (ControlRecord* k : kids)
    if (live(k)) drawTree(k, scope, only);
}

// Redraws the control (and what it holds) when it can be seen.
void redraw(ControlRecord* c) {
  if (!live(c) || !effectiveVisible(c) || !windowAlive(c->window)) return;
  DrawScope scope(c->window);
  if (scope.ok()) drawTree(c, scope, nullptr);
}

// Erases the control's area in the window's content colour.
void eraseBounds(ControlRecord* c) {
  DrawScope scope(c->window);
  if (!scope.ok()) return;
  RGBColor content;
  if (GetWindowContentColor(c->window, &content) == noErr) RGBBackColor(&content);
  EraseRect(&c->bounds);
}

// Erases the control's area and asks the program to redraw what lay under it.
void eraseArea(ControlRecord* c) {
  if (!windowAlive(c->window) || width(c->bounds) <= 0 || height(c->bounds) <= 0) return;
  eraseBounds(c);
  InvalWindowRect(c->window, &c->bounds);
}

// --- the hierarchy ------------------------------------------------------------------

ControlRecord* rootOf(WindowRef w, bool make) {
  if (!windowAlive(w)) return nullptr;
  // A window's controls go with it.
  static const bool hooked = (tb::AddWindowDisposeHook(&KillControls), true);
  (void)hooked;
  auto it = reg().windows.find(w);
  if (it != reg().windows.end() && it->second.root) return it->second.root;
  if (!make) return nullptr;
  auto* root = new ControlRecord;
  root->window = w;
  root->kind = Kind::kRoot;
  root->bounds = rect(-32767, -32767, 32767, 32767);
  root->features = kControlSupportsEmbedding;
  reg().live.insert(root);
  reg().windows[w].root = root;
  return root;
}

bool isContainer(const ControlRecord* c) {
  return c->kind == Kind::kRoot || (c->kind == Kind::kUserPane && (c->features & kControlSupportsEmbedding));
}

void detach(ControlRecord* c) {
  if (!c->parent) return;
  auto& v = c->parent->children;
  v.erase(std::remove(v.begin(), v.end(), c), v.end());
  c->parent = nullptr;
}

void releaseMenu(ControlRecord* c) {
  if (!c->menu || !c->ownsMenu) {
    c->menu = nullptr;
    return;
  }
  auto it = reg().menuUsers.find(c->menu);
  if (it != reg().menuUsers.end() && --it->second <= 0) {
    reg().menuUsers.erase(it);
    // A menu the program has since put into the menu list is its own now.
    if (GetMenuHandle(GetMenuID(c->menu)) != c->menu) DisposeMenu(c->menu);
  }
  c->menu = nullptr;
  c->ownsMenu = false;
}

void destroy(ControlRecord* c) {
  const std::vector<ControlRecord*> kids = c->children;
  for (ControlRecord* k : kids)
    if (live(k)) destroy(k);
  detach(c);
  auto it = reg().windows.find(c->window);
  if (it != reg().windows.end()) {
    if (it->second.focus == c) it->second.focus = nullptr;
    if (it->second.root == c) it->second.root = nullptr;
  }
  releaseMenu(c);
  if (c->icon) DisposeCIcon(c->icon);
  reg().live.erase(c);
  delete c;
}

template <typename F>
void forEachIn(ControlRecord* c, F&& f) {
  f(c);
  const std::vector<ControlRecord*> kids = c->children;
  for (ControlRecord* k : kids)
    if (live(k)) forEachIn(k, f);
}

tb::detail::ControlActivityObserver gActivityObserver = nullptr;

// Changes a control's own activity, telling the user panes whose
// activity changes with it and redrawing.
void setActivity(ControlRecord* c, bool active) {
  if (ownActive(c) == active) return;
  std::vector<std::pair<ControlRecord*, bool>> before;
  forEachIn(c, [&](ControlRecord* k) { before.emplace_back(k, effectiveActive(k)); });
  c->hilite = active ? 0 : kControlInactivePart;
  for (auto& [k, was] : before) {
    if (!live(k)) continue;
    const bool now = effectiveActive(k);
    if (now != was && k->activateProc) k->activateProc(k, Boolean(now));
  }
  const WindowRef window = c->window;
  redraw(c);
  if (gActivityObserver && windowAlive(window)) gActivityObserver(window);
}

Kind kindOf(SInt16 procID) {
  if (procID == pushButProc || procID == (pushButProc | useWFont) || procID == kControlPushButtonProc)
    return Kind::kButton;
  if (procID == checkBoxProc || procID == (checkBoxProc | useWFont) || procID == kControlCheckBoxProc)
    return Kind::kCheckBox;
  if (procID == radioButProc || procID == (radioButProc | useWFont) || procID == kControlRadioButtonProc)
    return Kind::kRadio;
  switch (procID >> 4) {
    case scrollBarProc >> 4:
    case kControlScrollBarProc >> 4:
      return Kind::kScrollBar;
    case popupMenuProc >> 4:
    case kControlPopupButtonProc >> 4:
      return Kind::kPopup;
    case kControlProgressBarProc >> 4:
      return Kind::kProgress;
    case kControlSeparatorLineProc >> 4:
      return Kind::kSeparator;
    case kControlUserPaneProc >> 4:
      return Kind::kUserPane;
    case kControlPictureProc >> 4:
      return Kind::kPicture;
    case kControlIconProc >> 4:
      return Kind::kIcon;
    default:
      return Kind::kRoot;  // unknown
  }
}

void attachPopupMenu(ControlRecord* c, MenuID id) {
  if (MenuRef m = GetMenuHandle(id)) {
    c->menu = m;
    return;
  }
  MenuRef m = GetMenu(id);
  if (!m) m = NewMenu(id, reinterpret_cast<const unsigned char*>(""));
  if (!m) return;
  c->menu = m;
  c->ownsMenu = true;
  ++reg().menuUsers[m];
}

// Applies a new range and value, clamped; redraws when the look changed.
void setRange(ControlRecord* c, SInt32 min, SInt32 max, SInt32 value) {
  if (max < min) max = min;
  const SInt32 oldMin = c->min, oldMax = c->max, oldValue = c->value;
  c->min = min;
  c->max = max;
  c->value = std::clamp(value, min, upperLimit(c));
  if (c->min != oldMin || c->max != oldMax || c->value != oldValue) redraw(c);
}

// --- tracking -------------------------------------------------------------------------

ControlPartCode hitPart(ControlRecord* c, Point p) {
  switch (c->kind) {
    case Kind::kButton:
      return inside(p, c->bounds) ? kControlButtonPart : kControlNoPart;
    case Kind::kCheckBox:
    case Kind::kRadio:
      return inside(p, c->bounds) ? kControlCheckBoxPart : kControlNoPart;
    case Kind::kScrollBar:
      return barPartAt(c, p);
    case Kind::kPopup:
      return inside(p, c->bounds) ? kControlMenuPart : kControlNoPart;
    case Kind::kPicture:
      return inside(p, c->bounds) ? kControlPicturePart : kControlNoPart;
    case Kind::kIcon:
      return inside(p, c->bounds) ? kControlIconPart : kControlNoPart;
    case Kind::kUserPane:
      if (c->hitProc) return c->hitProc(c, p);
      return kControlNoPart;
    case Kind::kProgress:
    case Kind::kSeparator:
    case Kind::kRoot:
      return kControlNoPart;
  }
  return kControlNoPart;
}

bool usable(ControlRecord* c) { return effectiveVisible(c) && effectiveActive(c) && effectiveEnabled(c); }

void setHilite(ControlRecord* c, UInt8 h) {
  if (c->hilite == h) return;
  c->hilite = h;
  redraw(c);
}

ControlPartCode trackThumb(ControlRecord* c, Point start, ControlActionUPP action) {
  BarGeometry g = barGeometry(c);
  if (!g.hasThumb) return kControlNoPart;
  const int grab = (g.vertical ? start.v - g.thumb.top : start.h - g.thumb.left);
  const SInt64 travel = g.trackLength - g.thumbLength;
  const SInt64 range = SInt64(c->max) - c->min;
  setHilite(c, kControlIndicatorPart);
  auto follow = [&](Point p) {
    if (travel <= 0) return;
    const SInt64 pos = std::clamp<SInt64>((g.vertical ? p.v : p.h) - grab - g.trackStart, 0, travel);
    // Round to the nearest value so the thumb lands where it was let go.
    const SInt32 v = SInt32(c->min + (pos * range * 2 + travel) / (travel * 2));
    if (v != c->value) {
      c->value = std::clamp(v, c->min, c->max);
      redraw(c);
    }
    if (action) action(c, kControlIndicatorPart);
  };
  Point p = start;
  for (;;) {
    follow(p);
    if (!live(c) || !StillDown()) break;
    GetMouse(&p);
  }
  if (!live(c)) return kControlNoPart;
  WaitMouseUp();  // the release belongs to the tracking
  GetMouse(&p);
  follow(p);
  if (!live(c)) return kControlNoPart;
  setHilite(c, 0);
  return kControlIndicatorPart;
}

ControlPartCode trackPopup(ControlRecord* c) {
  if (!c->menu || CountMenuItems(c->menu) == 0) return kControlNoPart;
  Rect box = popupBox(c);
  Point topLeft{box.top, box.left};
  LocalToGlobal(&topLeft);
  OffsetRect(&box, SInt16(topLeft.h - box.left), SInt16(topLeft.v - box.top));
  const int n = CountMenuItems(c->menu);
  const short current = short(c->value >= 1 && c->value <= n ? c->value : 1);
  setHilite(c, kControlMenuPart);
  const long choice = tb::PopUpMenuSelectFrom(c->menu, topLeft.v, topLeft.h, current, box);
  if (!live(c)) return kControlNoPart;
  setHilite(c, 0);
  const int item = int(choice & 0xFFFF);
  if (choice == 0 || item < 1) return kControlNoPart;
  if (item != c->value) {
    c->value = item;
    if (c->max < item) c->max = item;
    redraw(c);
  }
  return kControlMenuPart;
}

ControlPartCode trackParts(ControlRecord* c, Point start, ControlActionUPP action) {
  const ControlPartCode part = hitPart(c, start);
  const UInt8 oldHilite = c->hilite;
  if (part != kControlNoPart && !c->tracks) return part;
  Point p = start;
  ControlPartCode now = part;
  for (;;) {
    now = (part != kControlNoPart && hitPart(c, p) == part) ? part : ControlPartCode(kControlNoPart);
    if (part != kControlNoPart) setHilite(c, UInt8(now));
    if (action) action(c, now);
    if (!live(c) || !StillDown()) break;
    GetMouse(&p);
  }
  if (!live(c)) return kControlNoPart;
  WaitMouseUp();
  GetMouse(&p);
  now = (part != kControlNoPart && hitPart(c, p) == part) ? part : ControlPartCode(kControlNoPart);
  if (part != kControlNoPart) setHilite(c, oldHilite);
  return now;
}

void changeFocus(WindowRef w, ControlRecord* to, ControlFocusPart part, OSErr* err);

}  // namespace

// ---------------------------------------------------------------------------
// Making and disposing

ControlRef NewControl(WindowRef owner, const Rect* bounds, ConstStr255Param title, Boolean visible, SInt16 value,
                      SInt16 min, SInt16 max, SInt16 procID, long refCon) {
  const Kind kind = kindOf(procID);
  if (kind == Kind::kRoot || !bounds) return nullptr;
  ControlRecord* root = rootOf(owner, true);
  if (!root) return nullptr;
  auto* c = new ControlRecord;
  c->window = owner;
  c->kind = kind;
  c->procID = procID;
  c->bounds = *bounds;
  pstr::copy(c->title, sizeof c->title, title);
  c->visible = visible;
  c->refCon = refCon;
  if (kind == Kind::kButton || kind == Kind::kCheckBox || kind == Kind::kRadio)
    c->useWindowFont = procID < 16 && (procID & useWFont);
  else if (kind == Kind::kPopup)
    c->useWindowFont = (procID & popupUseWFont) != 0;
  switch (kind) {
    case Kind::kPopup: {
      c->labelWidth = max;
      attachPopupMenu(c, MenuID(min));
      const int n = c->menu ? CountMenuItems(c->menu) : 0;
      c->min = 1;
      c->max = std::max(n, 1);
      c->value = n > 0 ? 1 : 0;
      if (n == 0) c->min = c->max = 0;
      break;
    }
    case Kind::kPicture:
    case Kind::kIcon:
      c->value = value;
      c->tracks = (procID & 1) == 0;
      break;
    case Kind::kUserPane:
      c->features = UInt32(UInt16(value));
      break;
    default:
      c->min = min;
      c->max = std::max(min, max);
      c->value = std::clamp<SInt32>(value, c->min, upperLimit(c));
      break;
  }
  reg().live.insert(c);
  c->parent = root;
  root->children.push_back(c);
  redraw(c);
  return c;
}

ControlRef GetNewControl(SInt16 resourceID, WindowRef owner) {
  Handle h = GetResource('CNTL', resourceID);
  if (!h || !*h) return nullptr;
  const Size size = GetHandleSize(h);
  // bounds (4 x i16), value, visible (a byte and a filler), max, min,
  // procID (i16 each), refCon (i32), title (length-prefixed)
  constexpr Size kFixed = 22;
  if (size < kFixed + 1) return nullptr;
  const auto* p = reinterpret_cast<const UInt8*>(*h);
  const std::size_t titleLen = p[kFixed];
  if (Size(kFixed + 1 + titleLen) > size) return nullptr;
  Rect r{SInt16(be::get16(p)), SInt16(be::get16(p + 2)), SInt16(be::get16(p + 4)), SInt16(be::get16(p + 6))};
  Str255 title;
  title[0] = UInt8(titleLen);
  if (titleLen) std::memcpy(title + 1, p + kFixed + 1, titleLen);
  return NewControl(owner, &r, title, p[10] != 0, SInt16(be::get16(p + 8)), SInt16(be::get16(p + 14)),
                    SInt16(be::get16(p + 12)), SInt16(be::get16(p + 16)), SInt32(be::get32(p + 18)));
}

OSStatus CreatePushButtonControl(WindowRef window, const Rect* bounds, ConstStr255Param title,
                                 ControlRef* outControl) {
  if (!outControl) return paramErr;
  *outControl = NewControl(window, bounds, title, true, 0, 0, 1, kControlPushButtonProc, 0);
  return *outControl ? noErr : paramErr;
}

OSStatus CreateUserPaneControl(WindowRef window, const Rect* bounds, UInt32 features, ControlRef* outControl) {
  if (!outControl) return paramErr;
  *outControl = NewControl(window, bounds, nullptr, true, SInt16(features & 0xFFFF), 0, 0, kControlUserPaneProc, 0);
  return *outControl ? noErr : paramErr;
}

OSStatus CreateSeparatorControl(WindowRef window, const Rect* bounds, ControlRef* outControl) {
  if (!outControl) return paramErr;
  *outControl = NewControl(window, bounds, nullptr, true, 0, 0, 0, kControlSeparatorLineProc, 0);
  return *outControl ? noErr : paramErr;
}

void DisposeControl(ControlRef c) {
  if (!live(c)) return;
  if (c->kind == Kind::kRoot) {
    const std::vector<ControlRecord*> kids = c->children;
    for (ControlRecord* k : kids)
      if (live(k)) DisposeControl(k);
    return;
  }
  if (effectiveVisible(c)) eraseArea(c);
  destroy(c);
}

void KillControls(WindowRef window) {
  auto it = reg().windows.find(window);
  if (it == reg().windows.end()) return;
  if (ControlRecord* root = it->second.root) destroy(root);
  reg().windows.erase(window);
}

// ---------------------------------------------------------------------------
// Hierarchy

OSErr CreateRootControl(WindowRef window, ControlRef* outControl) {
  ControlRecord* root = rootOf(window, true);
  if (outControl) *outControl = root;
  return root ? OSErr(noErr) : OSErr(errNoRootControl);
}

OSErr GetRootControl(WindowRef window, ControlRef* outControl) { return CreateRootControl(window, outControl); }

OSErr EmbedControl(ControlRef c, ControlRef container) {
  if (!live(c) || !live(container)) return errUnknownControl;
  if (c->kind == Kind::kRoot || c->window != container->window || !isContainer(container))
    return errControlIsNotEmbedder;
  for (ControlRecord* up = container; up; up = up->parent)
    if (up == c) return errControlIsNotEmbedder;  // into itself
  detach(c);
  c->parent = container;
  container->children.push_back(c);
  redraw(c);
  return noErr;
}

WindowRef GetControlOwner(ControlRef c) { return live(c) ? c->window : nullptr; }

// ---------------------------------------------------------------------------
// Values

SInt32 GetControl32BitValue(ControlRef c) { return live(c) ? c->value : 0; }
SInt32 GetControl32BitMinimum(ControlRef c) { return live(c) ? c->min : 0; }
SInt32 GetControl32BitMaximum(ControlRef c) { return live(c) ? c->max : 0; }

void SetControl32BitValue(ControlRef c, SInt32 value) {
  if (live(c)) setRange(c, c->min, c->max, value);
}
void SetControl32BitMinimum(ControlRef c, SInt32 min) {
  if (live(c)) setRange(c, min, std::max(min, c->max), c->value);
}
void SetControl32BitMaximum(ControlRef c, SInt32 max) {
  if (live(c)) setRange(c, std::min(c->min, max), max, c->value);
}

static SInt16 clamp16(SInt32 v) { return SInt16(std::clamp<SInt32>(v, -32768, 32767)); }

SInt16 GetControlValue(ControlRef c) { return clamp16(GetControl32BitValue(c)); }
void SetControlValue(ControlRef c, SInt16 value) { SetControl32BitValue(c, value); }
SInt16 GetControlMinimum(ControlRef c) { return clamp16(GetControl32BitMinimum(c)); }
void SetControlMinimum(ControlRef c, SInt16 min) { SetControl32BitMinimum(c, min); }
SInt16 GetControlMaximum(ControlRef c) { return clamp16(GetControl32BitMaximum(c)); }
void SetControlMaximum(ControlRef c, SInt16 max) { SetControl32BitMaximum(c, max); }

SInt32 GetControlViewSize(ControlRef c) { return live(c) ? c->viewSize : 0; }
void SetControlViewSize(ControlRef c, SInt32 viewSize) {
  if (!live(c)) return;
  viewSize = std::max<SInt32>(viewSize, 0);
  if (viewSize == c->viewSize) return;
  c->viewSize = viewSize;
  if (c->kind == Kind::kScrollBar) redraw(c);
}

void SetControlTitle(ControlRef c, ConstStr255Param title) {
  if (!live(c)) return;
  Str255 t;
  pstr::copy(t, sizeof t, title);
  if (pstr::equal(t, c->title)) return;
  pstr::copy(c->title, sizeof c->title, t);
  // A shorter title leaves nothing of the longer one behind.
  if (effectiveVisible(c) && c->kind != Kind::kUserPane && windowAlive(c->window)) eraseBounds(c);
  redraw(c);
}

OSErr SetControlFontStyle(ControlRef c, const ControlFontStyleRec* style) {
  if (!live(c)) return errUnknownControl;
  const bool own = style && (style->flags & kControlUseForeColorMask);
  const RGBColor ink = own ? style->foreColor : RGBColor{};
  if (own == c->ownInk && (!own || (ink.red == c->ink.red && ink.green == c->ink.green && ink.blue == c->ink.blue)))
    return noErr;
  c->ownInk = own;
  c->ink = ink;
  // The title is drawn over what is there: the old ink must go first.
  if (effectiveVisible(c) && c->kind != Kind::kUserPane && windowAlive(c->window)) eraseBounds(c);
  redraw(c);
  return noErr;
}

OSStatus SetControlTitleWithCFString(ControlRef c, CFStringRef title) {
  if (!live(c)) return errUnknownControl;
  const std::string text = tb::CFStringText(title);
  Str255 t;
  const std::size_t n = tb::Utf8BoundaryPrefix(reinterpret_cast<const unsigned char*>(text.data()),
                                               std::min<std::size_t>(text.size(), 255));
  pstr::set(t, sizeof t, std::string_view(text.data(), n));
  SetControlTitle(c, t);
  return noErr;
}

void GetControlTitle(ControlRef c, Str255 title) {
  if (!title) return;
  if (!live(c)) {
    title[0] = 0;
    return;
  }
  pstr::copy(title, sizeof(Str255), c->title);
}

long GetControlReference(ControlRef c) { return live(c) ? c->refCon : 0; }
void SetControlReference(ControlRef c, long data) {
  if (live(c)) c->refCon = data;
}
void SetControlAction(ControlRef c, ControlActionUPP action) {
  if (live(c)) c->action = action == kControlUseOwnAction ? nullptr : action;
}
ControlActionUPP GetControlAction(ControlRef c) { return live(c) ? c->action : nullptr; }

namespace {

// Where a tag's data lives in the record, and its size.
struct TagSlot {
  void* data;
  Size size;
};

bool tagSlot(ControlRecord* c, ResType tag, TagSlot* slot) {
  if (c->kind == Kind::kUserPane) {
    switch (tag) {
      case kControlUserPaneDrawProcTag:
        *slot = {&c->drawProc, sizeof c->drawProc};
        return true;
      case kControlUserPaneHitTestProcTag:
        *slot = {&c->hitProc, sizeof c->hitProc};
        return true;
      case kControlUserPaneTrackingProcTag:
        *slot = {&c->trackProc, sizeof c->trackProc};
        return true;
      case kControlUserPaneActivateProcTag:
        *slot = {&c->activateProc, sizeof c->activateProc};
        return true;
      case kControlUserPaneFocusProcTag:
        *slot = {&c->focusProc, sizeof c->focusProc};
        return true;
      default:
        return false;
    }
  }
  if (c->kind == Kind::kPopup && tag == kControlPopupButtonMenuHandleTag) {
    *slot = {&c->menu, sizeof c->menu};
    return true;
  }
  return false;
}

}  // namespace

OSErr SetControlData(ControlRef c, ControlPartCode, ResType tag, Size size, const void* data) {
  if (!live(c)) return errUnknownControl;
  if (!data) return paramErr;
  if (c->kind == Kind::kPopup && tag == kControlPopupButtonMenuIDTag) {
    if (size != Size(sizeof(SInt16))) return errDataSizeMismatch;
    SInt16 id;
    std::memcpy(&id, data, sizeof id);
    releaseMenu(c);
    attachPopupMenu(c, id);
    redraw(c);
    return noErr;
  }
  TagSlot slot;
  if (!tagSlot(c, tag, &slot)) return errDataNotSupported;
  if (size != slot.size) return errDataSizeMismatch;
  if (c->kind == Kind::kPopup) {
    MenuRef m;
    std::memcpy(&m, data, sizeof m);
    SetControlPopupMenuHandle(c, m);
    return noErr;
  }
  std::memcpy(slot.data, data, std::size_t(size));
  if (tag == kControlUserPaneDrawProcTag) redraw(c);
  return noErr;
}

OSErr GetControlData(ControlRef c, ControlPartCode, ResType tag, Size bufferSize, void* buffer, Size* actualSize) {
  if (!live(c)) return errUnknownControl;
  if (c->kind == Kind::kPopup && tag == kControlPopupButtonMenuIDTag) {
    const SInt16 id = c->menu ? GetMenuID(c->menu) : 0;
    if (actualSize) *actualSize = sizeof id;
    if (!buffer || bufferSize < Size(sizeof id)) return buffer ? OSErr(errDataSizeMismatch) : OSErr(noErr);
    std::memcpy(buffer, &id, sizeof id);
    return noErr;
  }
  TagSlot slot;
  if (!tagSlot(c, tag, &slot)) return errDataNotSupported;
  if (actualSize) *actualSize = slot.size;
  if (!buffer) return noErr;
  if (bufferSize < slot.size) return errDataSizeMismatch;
  std::memcpy(buffer, slot.data, std::size_t(slot.size));
  return noErr;
}

OSErr GetControlDataSize(ControlRef c, ControlPartCode part, ResType tag, Size* size) {
  return GetControlData(c, part, tag, 0, nullptr, size);
}

MenuRef GetControlPopupMenuHandle(ControlRef c) { return live(c) && c->kind == Kind::kPopup ? c->menu : nullptr; }

void SetControlPopupMenuHandle(ControlRef c, MenuRef menu) {
  if (!live(c) || c->kind != Kind::kPopup || menu == c->menu) return;
  releaseMenu(c);
  c->menu = menu;
  redraw(c);
}

// ---------------------------------------------------------------------------
// State

void HiliteControl(ControlRef c, ControlPartCode part) {
  if (!live(c)) return;
  const UInt8 h = UInt8(std::clamp<int>(part, 0, 255));
  const bool wasActive = ownActive(c);
  const bool nowActive = h != kControlInactivePart;
  if (wasActive != nowActive) {
    setActivity(c, nowActive);
    if (nowActive) setHilite(c, h);
    return;
  }
  setHilite(c, h);
}

UInt16 GetControlHilite(ControlRef c) { return live(c) ? c->hilite : 0; }

OSErr ActivateControl(ControlRef c) {
  if (!live(c)) return errUnknownControl;
  setActivity(c, true);
  return noErr;
}

OSErr DeactivateControl(ControlRef c) {
  if (!live(c)) return errUnknownControl;
  setActivity(c, false);
  return noErr;
}

Boolean IsControlActive(ControlRef c) { return live(c) && effectiveActive(c); }

OSStatus EnableControl(ControlRef c) {
  if (!live(c)) return errUnknownControl;
  if (!c->enabled) {
    c->enabled = true;
    redraw(c);
  }
  return noErr;
}

OSStatus DisableControl(ControlRef c) {
  if (!live(c)) return errUnknownControl;
  if (c->enabled) {
    c->enabled = false;
    redraw(c);
  }
  return noErr;
}

Boolean IsControlEnabled(ControlRef c) { return live(c) && effectiveEnabled(c); }

OSErr SetControlVisibility(ControlRef c, Boolean visible, Boolean draw) {
  if (!live(c)) return errUnknownControl;
  if (c->kind == Kind::kRoot || bool(visible) == c->visible) return noErr;
  if (!visible) {
    const bool seen = effectiveVisible(c);
    c->visible = false;
    if (seen && draw) {
      c->visible = true;  // erase with the area it covered
      eraseArea(c);
      c->visible = false;
    }
    return noErr;
  }
  c->visible = true;
  if (draw) redraw(c);
  return noErr;
}

void ShowControl(ControlRef c) { SetControlVisibility(c, true, true); }
void HideControl(ControlRef c) { SetControlVisibility(c, false, true); }
Boolean IsControlVisible(ControlRef c) { return live(c) && effectiveVisible(c); }

// ---------------------------------------------------------------------------
// Geometry

void SetControlBounds(ControlRef c, const Rect* bounds) {
  if (!live(c) || !bounds || c->kind == Kind::kRoot) return;
  if (std::memcmp(bounds, &c->bounds, sizeof(Rect)) == 0) return;
  const bool seen = effectiveVisible(c);
  if (seen) eraseArea(c);
  const int dh = bounds->left - c->bounds.left;
  const int dv = bounds->top - c->bounds.top;
  c->bounds = *bounds;
  if (dh || dv) {
    const std::vector<ControlRecord*> kids = c->children;
    for (ControlRecord* k : kids) {
      Rect r = k->bounds;
      OffsetRect(&r, short(dh), short(dv));
      k->bounds = r;
      forEachIn(k, [&](ControlRecord* g) {
        if (g != k) OffsetRect(&g->bounds, short(dh), short(dv));
      });
    }
  }
  if (seen) redraw(c);
}

void MoveControl(ControlRef c, SInt16 h, SInt16 v) {
  if (!live(c)) return;
  Rect r = c->bounds;
  OffsetRect(&r, short(h - r.left), short(v - r.top));
  SetControlBounds(c, &r);
}

void SizeControl(ControlRef c, SInt16 w, SInt16 h) {
  if (!live(c)) return;
  Rect r = c->bounds;
  r.right = SInt16(r.left + w);
  r.bottom = SInt16(r.top + h);
  SetControlBounds(c, &r);
}

Rect* GetControlBounds(ControlRef c, Rect* bounds) {
  if (!bounds) return nullptr;
  *bounds = live(c) ? c->bounds : Rect{0, 0, 0, 0};
  return bounds;
}

// ---------------------------------------------------------------------------
// Drawing

void tb::detail::SetControlActivityObserver(ControlActivityObserver observer) { gActivityObserver = observer; }

void Draw1Control(ControlRef c) { redraw(c); }
void DrawOneControl(ControlRef c) { redraw(c); }

void DrawControls(WindowRef window) { UpdateControls(window, nullptr); }

void UpdateControls(WindowRef window, RgnHandle region) {
  ControlRecord* root = rootOf(window, false);
  if (!root) return;
  DrawScope scope(window);
  if (scope.ok()) drawTree(root, scope, region);
}

// ---------------------------------------------------------------------------
// Mouse

ControlPartCode TestControl(ControlRef c, Point p) {
  if (!live(c) || !usable(c)) return kControlNoPart;
  return hitPart(c, p);
}

namespace {

// The deepest visible control under the point, the last drawn first.
ControlRecord* controlAt(ControlRecord* c, Point p) {
  for (auto it = c->children.rbegin(); it != c->children.rend(); ++it) {
    ControlRecord* k = *it;
    if (!k->visible) continue;
    if (ControlRecord* inner = controlAt(k, p)) return inner;
    if (inside(p, k->bounds) && k->kind != Kind::kSeparator) return k;
  }
  return nullptr;
}

}  // namespace

ControlPartCode FindControl(Point p, WindowRef window, ControlRef* control) {
  if (control) *control = nullptr;
  ControlRecord* root = rootOf(window, false);
  if (!root || !root->visible) return kControlNoPart;
  ControlRecord* c = controlAt(root, p);
  if (!c || !usable(c)) return kControlNoPart;
  const ControlPartCode part = hitPart(c, p);
  if (part == kControlNoPart) return kControlNoPart;
  if (control) *control = c;
  return part;
}

ControlRef FindControlUnderMouse(Point where, WindowRef window, SInt16* part) {
  if (part) *part = kControlNoPart;
  ControlRecord* root = rootOf(window, false);
  if (!root) return nullptr;
  ControlRecord* c = controlAt(root, where);
  if (c && part && usable(c)) *part = hitPart(c, where);
  return c;
}

ControlPartCode TrackControl(ControlRef c, Point startPoint, ControlActionUPP action) {
  if (!live(c) || !usable(c) || !windowAlive(c->window)) return kControlNoPart;
  if (action == kControlUseOwnAction) action = c->action;
  // GetMouse (here and in the action procedure) answers in the window's
  // coordinates while the tracking runs.
  tb::PortSaver saved(GetWindowPort(c->window));
  ControlPartCode result = kControlNoPart;
  if (c->kind == Kind::kUserPane && c->trackProc) {
    result = c->trackProc(c, startPoint, action);
  } else if (c->kind == Kind::kPopup) {
    if (hitPart(c, startPoint) != kControlNoPart) result = trackPopup(c);
  } else if (c->kind == Kind::kScrollBar && hitPart(c, startPoint) == kControlIndicatorPart) {
    result = trackThumb(c, startPoint, action);
  } else {
    result = trackParts(c, startPoint, action);
  }
  return result;
}

ControlPartCode HandleControlClick(ControlRef c, Point where, EventModifiers, ControlActionUPP action) {
  if (!live(c) || !usable(c)) return kControlNoPart;
  if (c->kind == Kind::kUserPane && (c->features & kControlGetsFocusOnClick) && c->focusProc) {
    OSErr err = noErr;
    changeFocus(c->window, c, kControlFocusNextPart, &err);
    if (!live(c)) return kControlNoPart;
  }
  return TrackControl(c, where, action);
}

// ---------------------------------------------------------------------------
// Keyboard focus

namespace {

void changeFocus(WindowRef w, ControlRecord* to, ControlFocusPart part, OSErr* err) {
  if (!to && !reg().windows.count(w)) return;  // nothing of this window has the focus
  auto& wc = reg().windows[w];
  ControlRecord* from = wc.focus;
  if (from && from != to && live(from)) {
    wc.focus = nullptr;
    if (from->focusProc) from->focusProc(from, kControlFocusNoPart);
  }
  if (!to) {
    wc.focus = nullptr;
    return;
  }
  if (!to->focusProc) {
    if (wc.focus == to) wc.focus = nullptr;
    *err = errControlDoesntSupportFocus;
    return;
  }
  const ControlPartCode got = to->focusProc(to, part);
  if (!live(to)) {
    *err = errCouldntSetFocus;
    return;
  }
  reg().windows[w].focus = got != kControlFocusNoPart ? to : nullptr;
  if (got == kControlFocusNoPart && part != kControlFocusNoPart) *err = errCouldntSetFocus;
}

}  // namespace

OSErr SetKeyboardFocus(WindowRef window, ControlRef control, ControlFocusPart part) {
  if (!windowAlive(window)) return paramErr;
  if (control && (!live(control) || control->window != window)) return errUnknownControl;
  OSErr err = noErr;
  if (!control) {
    changeFocus(window, nullptr, kControlFocusNoPart, &err);
    return noErr;
  }
  changeFocus(window, control, part, &err);
  return err;
}

OSErr GetKeyboardFocus(WindowRef window, ControlRef* control) {
  if (!control) return paramErr;
  *control = nullptr;
  auto it = reg().windows.find(window);
  if (it != reg().windows.end() && live(it->second.focus)) *control = it->second.focus;
  return noErr;
}

OSErr ClearKeyboardFocus(WindowRef window) { return SetKeyboardFocus(window, nullptr, kControlFocusNoPart); }

// ---------------------------------------------------------------------------

bool tb::ScrollBarByLines(ControlRef c, int lines, ControlActionUPP action) {
  if (!live(c) || c->kind != Kind::kScrollBar || !usable(c) || !windowAlive(c->window) || c->max <= c->min)
    return false;
  if (!action) action = c->action;
  if (!action || action == kControlUseOwnAction) return false;
  tb::PortSaver saved(GetWindowPort(c->window));
  const ControlPartCode part = lines < 0 ? kControlUpButtonPart : kControlDownButtonPart;
  for (int i = std::abs(lines); i > 0 && live(c); --i) {
    const SInt32 before = c->value;
    action(c, part);
    if (!live(c) || c->value == before) break;
  }
  return true;
}

ControlRef tb::ScrollBarWithActionAt(WindowRef window, Point local) {
  ControlRef c = nullptr;
  if (!FindControl(local, window, &c) || !c || c->kind != Kind::kScrollBar) return nullptr;
  return c->action && c->action != kControlUseOwnAction ? c : nullptr;
}

bool tb::ScrollBarPartRect(ControlRef c, ControlPartCode part, Rect* r) {
  if (!live(c) || c->kind != Kind::kScrollBar || !r) return false;
  const BarGeometry g = barGeometry(c);
  Rect found{0, 0, 0, 0};
  switch (part) {
    case kControlUpButtonPart:
      found = g.up;
      break;
    case kControlDownButtonPart:
      found = g.down;
      break;
    case kControlIndicatorPart:
      if (!g.hasThumb) return false;
      found = g.thumb;
      break;
    case kControlPageUpPart:
    case kControlPageDownPart: {
      if (!g.hasThumb) return false;
      found = g.track;
      if (part == kControlPageUpPart)
        (g.vertical ? found.bottom : found.right) = g.vertical ? g.thumb.top : g.thumb.left;
      else
        (g.vertical ? found.top : found.left) = g.vertical ? g.thumb.bottom : g.thumb.right;
      break;
    }
    default:
      return false;
  }
  if (found.right <= found.left || found.bottom <= found.top) return false;
  *r = found;
  return true;
}

bool tb::PopupItemRect(ControlRef c, MenuItemIndex item, Rect* r) {
  if (!live(c) || c->kind != Kind::kPopup || !c->menu || !r || !windowAlive(c->window)) return false;
  const Rect box = popupBox(c);
  Point topLeft{box.top, box.left};
  {
    tb::PortSaver saved(GetWindowPort(c->window));
    LocalToGlobal(&topLeft);
  }
  const int n = CountMenuItems(c->menu);
  const short current = short(c->value >= 1 && c->value <= n ? c->value : 1);
  return tb::PopUpItemRect(c->menu, topLeft.v, topLeft.h, current, item, r, SInt16(box.right - box.left));
}

int tb::ControlCount(WindowRef window) {
  ControlRecord* root = rootOf(window, false);
  if (!root) return 0;
  int n = 0;
  forEachIn(root, [&](ControlRecord*) { ++n; });
  return n;
}

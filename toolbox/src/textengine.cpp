// The text engine: editable text objects with their line layout, drawing,
// caret and selection, editing on character boundaries, UTF-16 offsets,
// scroll bars and keyboard focus.
#include "toolbox/textengine.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <unordered_map>
#include <vector>

#include "drawntext_internal.h"
#include "input_internal.h"
#include "textengine_internal.h"
#include "toolbox/carbonevents.h"
#include "toolbox/clock.h"
#include "toolbox/fonts.h"
#include "toolbox/memory.h"
#include "toolbox/scrap.h"
#include "toolbox/script.h"
#include "utf8_internal.h"

struct OpaqueTXNObject {
  WindowRef window = nullptr;
  CGrafPtr port = nullptr;
  TXNFrameID frameID = 0;
  TXNFrameOptions options = 0;
  bool singleLine = false;

  Rect frame{};
  Rect view{};
  TXNLongRect dest{};

  std::string text;                  // UTF-8 bytes, as set
  std::vector<std::size_t> starts;   // first byte of each laid-out line (at least one)
  std::size_t selStart = 0, selEnd = 0;
  std::size_t anchor = 0;            // the fixed end while a selection is extended
  bool extending = false;

  short font = systemFont;
  short size = 12;
  Style face = 0;
  TextEncoding encoding = 0;
  RGBColor color{0, 0, 0};
  RGBColor background{0xFFFF, 0xFFFF, 0xFFFF};
  short lineHeight = 15;
  short ascent = 12;

  // Widths of characters in the current font.
  std::array<short, 128> ascii{};
  std::unordered_map<char32_t, short> wide;

  int topLine = 0;   // multi-line: first line shown
  int scrollH = 0;   // single-line: pixels scrolled to the left

  bool focused = false;
  bool barsAlwaysActive = false;
  ControlRef vBar = nullptr;
  ControlRef hBar = nullptr;

  // What the view shows now, so that a change redraws only the lines it
  // touched: the first line shown, the selection drawn, and the first byte
  // edited since (SIZE_MAX: none).
  bool drawnValid = false;
  int drawnTop = 0;
  std::size_t drawnSelStart = 0, drawnSelEnd = 0;
  std::size_t dirty = SIZE_MAX;

  bool caretOn = false;
  UInt32 caretTime = 0;
  std::string pending;  // bytes of a character typed one event at a time

  // Double clicks and a press handed on twice.
  UInt32 clickTime = 0;
  std::size_t clickOffset = SIZE_MAX;
  Point clickPoint{0, 0};
  bool lastPressSeen = false;
  EventRecord lastPress{};
  UInt64 lastPressSerial = 0;

  struct Edit {
    std::size_t pos;
    std::string removed, inserted;
    std::size_t selStart, selEnd;  // before the edit
    int kind;                      // 0 other, 1 typing, 2 deleting backwards, 3 deleting forwards
  };
  std::vector<Edit> undo, redo;
  bool coalesce = false;
};

namespace {

using tb::utf8::Decode;

constexpr short kBar = 16;
constexpr std::size_t kMaxUndo = 100;
constexpr std::size_t kMaxUndoBytes = std::size_t(8) << 20;  // beyond that the oldest edits go
const RGBColor kHilite{0xB5B5, 0xD5D5, 0xFFFF};
const char kReplacement[] = "\xEF\xBF\xBD";

struct Engine {
  TXNMacOSPreferredFontDescription defaults{systemFont, 12 << 16, 0, 0};
  std::vector<TXNObject> objects;
  std::map<WindowRef, TXNObject> focus;
  TXNFrameID nextID = 1;
};

Engine& eng() {
  // Never destroyed, for the windows disposed at exit (see dialogs.cpp).
  static Engine& e = *new Engine;
  return e;
}

bool valid(TXNObject o) {
  if (!o) return false;
  const auto& v = eng().objects;
  return std::find(v.begin(), v.end(), o) != v.end();
}

// The window is still there (objects outliving their window stay inert).
bool alive(TXNObject o) { return valid(o) && o->port && IsValidPort(o->port) && GetWindowPort(o->window) == o->port; }

// ---------------------------------------------------------------------------
// Characters

struct Char {
  char32_t cp;     // what is shown: U+FFFD for a byte that starts no sequence
  std::size_t len;
};

Char charAt(const std::string& t, std::size_t i) {
  auto [cp, len] = Decode(reinterpret_cast<const unsigned char*>(t.data()), t.size(), i);
  if (len == 1 && cp >= 0x80) cp = 0xFFFD;
  return {cp, len};
}

bool isBreak(char32_t c) { return c == '\r' || c == '\n'; }
bool isBlank(char32_t c) { return c == ' ' || c == '\t' || c == 0x3000; }
bool isCJK(char32_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x2FFFF);
}
bool isWordChar(char32_t c) {
  if (c < 0x80) return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  return !isBlank(c) && c != 0xFFFD && !isCJK(c);
}

// ---------------------------------------------------------------------------
// The object's port and font, current for a while.

class Scope {
 public:
  explicit Scope(TXNObject o) : o_(o) {
    ok_ = alive(o);
    if (!ok_) return;
    SetPort(o->port);
    font_ = GetPortTextFont(o->port);
    face_ = GetPortTextFace(o->port);
    size_ = GetPortTextSize(o->port);
    GetForeColor(&fore_);
    GetBackColor(&back_);
    TextFont(o->font);
    TextFace(o->face);
    TextSize(o->size);
  }
  ~Scope() {
    if (ok_) {
      TextFont(font_);
      TextFace(face_);
      TextSize(size_);
      RGBForeColor(&fore_);
      RGBBackColor(&back_);
    }
  }
  bool ok() const { return ok_; }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  tb::PortSaver saved_;  // the caller's port, current again after the rest is put back
  TXNObject o_;
  bool ok_ = false;
  short font_ = 0, size_ = 0;
  Style face_ = 0;
  RGBColor fore_{}, back_{};
};

// Width of one character; the object's font must be current. Tabs and
// line ends shown on a single line take four and one space's width.
short widthOf(TXNObject o, char32_t cp) {
  if (cp < 128) {
    short& w = o->ascii[cp];
    if (w < 0) {
      if (cp == '\t') w = short(4 * widthOf(o, ' '));
      else if (isBreak(cp)) w = widthOf(o, ' ');
      else {
        char c = char(cp);
        w = TextWidth(&c, 0, 1);
      }
    }
    return w;
  }
  auto it = o->wide.find(cp);
  if (it != o->wide.end()) return it->second;
  std::string s;
  tb::utf8::Append(s, cp);
  short w = TextWidth(s.data(), 0, short(s.size()));
  if (o->wide.size() > 4096) o->wide.clear();
  o->wide.emplace(cp, w);
  return w;
}

void fontChanged(TXNObject o) {
  o->ascii.fill(-1);
  o->wide.clear();
  Scope s(o);
  if (!s.ok()) return;
  FontInfo fi;
  GetFontInfo(&fi);
  o->ascent = fi.ascent;
  o->lineHeight = short(std::max(1, fi.ascent + fi.descent + fi.leading));
}

// ---------------------------------------------------------------------------
// Geometry

bool destEmpty(TXNObject o) { return o->dest.right <= o->dest.left || o->dest.bottom <= o->dest.top; }
int wrapWidth(TXNObject o) { return int(o->dest.right - o->dest.left); }
int visibleLines(TXNObject o) {
  return std::max(1, (o->view.bottom - o->view.top) / std::max<int>(1, o->lineHeight));
}
int lineCount(TXNObject o) { return int(o->starts.size()); }
std::size_t lineStart(TXNObject o, int line) {
  return line >= lineCount(o) ? o->text.size() : o->starts[std::size_t(std::max(0, line))];
}
// End of the line's shown text: before its line break.
std::size_t lineEnd(TXNObject o, int line) {
  std::size_t end = lineStart(o, line + 1);
  if (!o->singleLine && end > lineStart(o, line) && isBreak(char32_t(o->text[end - 1]))) --end;
  return end;
}
bool wrappedLine(TXNObject o, int line) {
  return line + 1 < lineCount(o) && lineEnd(o, line) == lineStart(o, line + 1);
}
int lineOf(TXNObject o, std::size_t offset) {
  auto it = std::upper_bound(o->starts.begin(), o->starts.end(), offset);
  return std::max(0, int(it - o->starts.begin()) - 1);
}

// Where line 0's top left is drawn; far outside the port's coordinates for
// a long text scrolled far, so kept wide until a point is made.
struct Origin {
  int h, v;
};
Origin origin(TXNObject o) {
  return {o->dest.left - (o->singleLine ? o->scrollH : 0), o->dest.top - (o->singleLine ? 0 : o->topLine * o->lineHeight)};
}
short px(long v) { return short(std::clamp<long>(v, -32000, 32000)); }

int widthBetween(TXNObject o, std::size_t from, std::size_t to) {
  int x = 0;
  for (std::size_t i = from; i < to;) {
    Char c = charAt(o->text, i);
    x += widthOf(o, c.cp);
    i += c.len;
  }
  return x;
}

// Caret position (local; v the line's top) before the byte offset.
Point pointOf(TXNObject o, std::size_t offset) {
  int line = lineOf(o, offset);
  const Origin org = origin(o);
  std::size_t s = lineStart(o, line);
  return Point{px(long(org.v) + long(line) * o->lineHeight), px(long(org.h) + widthBetween(o, s, std::max(s, offset)))};
}

std::size_t offsetAt(TXNObject o, Point pt) {
  const Origin org = origin(o);
  int line = pt.v < org.v ? 0 : (pt.v - org.v) / o->lineHeight;
  line = std::clamp(line, 0, lineCount(o) - 1);
  std::size_t s = lineStart(o, line), e = lineEnd(o, line);
  int x = org.h;
  std::size_t last = s;
  for (std::size_t i = s; i < e;) {
    Char c = charAt(o->text, i);
    int w = widthOf(o, c.cp);
    if (pt.h < x + (w + 1) / 2) return i;
    x += w;
    last = i;
    i += c.len;
  }
  // Past the end of a wrapped line: before its last character, so the caret
  // stays on the line clicked.
  return wrappedLine(o, line) && e > s ? last : e;
}

// ---------------------------------------------------------------------------
// Layout

// The start of the line after the one starting at start (the text's size
// when it is the last).
std::size_t nextLine(TXNObject o, std::size_t start) {
  const std::string& t = o->text;
  const std::size_t n = t.size();
  if (o->singleLine) return n;
  const int width = wrapWidth(o);
  int x = 0;
  std::size_t breakAt = SIZE_MAX;
  char32_t prev = 0;
  for (std::size_t i = start; i < n;) {
    Char c = charAt(t, i);
    if (isBreak(c.cp)) return i + c.len;
    if (i > start && tb::IsLineBreakBetween(prev, c.cp)) breakAt = i;
    const int w = widthOf(o, c.cp);
    if (!isBlank(c.cp) && i > start && x + w > width) return breakAt != SIZE_MAX ? breakAt : i;
    x += w;
    prev = c.cp;
    i += c.len;
  }
  return n;
}

bool endsWithBreak(TXNObject o) {
  return !o->singleLine && !o->text.empty() && isBreak(char32_t(o->text.back()));
}

void layoutAll(TXNObject o) {
  Scope s(o);
  o->drawnValid = false;
  o->starts.assign(1, 0);
  const std::size_t n = o->text.size();
  for (std::size_t at = 0; at < n;) {
    std::size_t next = nextLine(o, at);
    if (next >= n) break;
    o->starts.push_back(next);
    at = next;
  }
  if (endsWithBreak(o) && o->starts.back() != n) o->starts.push_back(n);
}

// After [pos, pos + removed) became inserted bytes: lays out again from the
// line before the change until a line starts where an old one did.
void layoutChange(TXNObject o, std::size_t pos, std::size_t removed, std::size_t inserted) {
  Scope s(o);
  if (!s.ok() || o->starts.empty()) return layoutAll(o);
  const std::vector<std::size_t> old = std::move(o->starts);
  const long delta = long(inserted) - long(removed);
  auto it = std::upper_bound(old.begin(), old.end(), pos);
  std::size_t first = std::size_t(std::max<long>(0, long(it - old.begin()) - 2));
  o->starts.assign(old.begin(), old.begin() + long(first) + 1);
  const std::size_t n = o->text.size();
  const std::size_t changedEnd = pos + inserted;
  std::size_t k = first + 1;  // old lines not yet passed
  for (std::size_t at = o->starts.back(); at < n;) {
    std::size_t next = nextLine(o, at);
    if (next >= n) break;
    if (next > changedEnd) {
      // The old line that starts here (in old offsets) and all after it stand.
      const std::size_t oldAt = std::size_t(long(next) - delta);
      while (k < old.size() && old[k] < oldAt) ++k;
      if (k < old.size() && old[k] == oldAt && old[k] > pos + removed) {
        for (; k < old.size(); ++k) o->starts.push_back(std::size_t(long(old[k]) + delta));
        if (o->starts.back() > n) o->starts.pop_back();
        return;
      }
    }
    o->starts.push_back(next);
    at = next;
  }
  if (endsWithBreak(o) && o->starts.back() != n) o->starts.push_back(n);
}

// ---------------------------------------------------------------------------
// Scroll bars

void syncBars(TXNObject o) {
  if (!o->vBar || !alive(o)) return;
  const int maxTop = std::max(0, lineCount(o) - visibleLines(o));
  o->topLine = std::clamp(o->topLine, 0, maxTop);
  SetControl32BitMaximum(o->vBar, maxTop);
  SetControlViewSize(o->vBar, visibleLines(o));
  SetControl32BitValue(o->vBar, o->topLine);
  const bool active = o->barsAlwaysActive || o->focused;
  if (active && !IsControlActive(o->vBar)) ActivateControl(o->vBar);
  if (!active && IsControlActive(o->vBar)) DeactivateControl(o->vBar);
  if (o->hBar) {
    if (active && !IsControlActive(o->hBar)) ActivateControl(o->hBar);
    if (!active && IsControlActive(o->hBar)) DeactivateControl(o->hBar);
  }
}

void placeBars(TXNObject o) {
  const Rect& f = o->frame;
  if (o->vBar) {
    Rect r{f.top, short(f.right - kBar), short(f.bottom - (o->hBar ? kBar - 1 : 0)), f.right};
    SetControlBounds(o->vBar, &r);
  }
  if (o->hBar) {
    Rect r{short(f.bottom - kBar), f.left, f.bottom, short(f.right - (o->vBar ? kBar - 1 : 0))};
    SetControlBounds(o->hBar, &r);
  }
}

void setFrame(TXNObject o, const Rect& frame) {
  o->frame = frame;
  o->view = frame;
  if (o->vBar) o->view.right = short(std::max<int>(o->view.left, o->view.right - kBar));
  if (o->hBar) o->view.bottom = short(std::max<int>(o->view.top, o->view.bottom - kBar));
  o->dest = TXNLongRect{o->view.top, o->view.left, o->view.bottom, o->view.right};
  placeBars(o);
}

// ---------------------------------------------------------------------------
// Drawing

// Draws text[from, to) from x on the baseline, the part that meets box.
void drawRun(TXNObject o, std::size_t from, std::size_t to, int x, int baseline, const Rect& box) {
  // Valid text goes to the font layer as it is; a byte that starts no
  // sequence shows as the replacement character, and tabs and line ends
  // as room. What lies well outside the box (a long line scrolled far) is
  // passed over.
  const std::string& t = o->text;
  // A field is a field whatever holds it (a dialog item, a user pane).
  tb::DrawnTextScope tag(tb::TextSource::kTextEngine, &o->view, tb::detail::CurrentTextItem());
  constexpr int kOverhang = 16;
  while (from < to) {
    Char c = charAt(t, from);
    const int w = widthOf(o, c.cp);
    if (x + w >= box.left - kOverhang) break;
    x += w;
    from += c.len;
  }
  int xe = x;
  for (std::size_t end = from; end < to;) {
    if (xe > box.right + kOverhang) {
      to = end;
      break;
    }
    Char c = charAt(t, end);
    xe += widthOf(o, c.cp);
    end += c.len;
  }
  MoveTo(px(x), px(baseline));
  std::size_t runStart = from;
  auto flush = [&](std::size_t end) {
    while (runStart < end) {
      std::size_t len = std::min<std::size_t>(end - runStart, 4096);
      len = tb::Utf8BoundaryPrefix(reinterpret_cast<const unsigned char*>(t.data()) + runStart, len);
      if (len == 0) len = end - runStart;
      DrawText(t.data() + runStart, 0, short(len));
      runStart += len;
    }
  };
  for (std::size_t i = from; i < to;) {
    Char c = charAt(t, i);
    const bool special = c.cp == 0xFFFD && c.len == 1 ? true : (c.cp == '\t' || isBreak(c.cp));
    if (special) {
      flush(i);
      if (c.cp == 0xFFFD) {
        DrawText(kReplacement, 0, 3);
      } else {
        Move(widthOf(o, c.cp), 0);
      }
      runStart = i + c.len;
    }
    i += c.len;
  }
  flush(to);
}

void drawCaret(TXNObject o) {
  Point p = pointOf(o, o->selStart);
  RGBColor black{0, 0, 0};
  RGBForeColor(&black);
  PenNormal();
  MoveTo(p.h, p.v);
  LineTo(p.h, short(p.v + o->lineHeight - 1));
}

// Draws the part of the view that meets area (local coordinates).
void drawArea(TXNObject o, const Rect& area) {
  Scope s(o);
  if (!s.ok() || !IsWindowVisible(o->window)) return;
  Rect box;
  if (!SectRect(&area, &o->view, &box)) return;
  tb::OwnedRgn saved;
  GetClip(saved);
  tb::OwnedRgn clip;
  RectRgn(clip, &box);
  SectRgn(clip, saved, clip);
  SetClip(clip);
  RGBBackColor(&o->background);
  EraseRect(&box);
  if (!destEmpty(o)) {
    const Origin org = origin(o);
    const bool hilite = o->focused && o->selStart != o->selEnd;
    int first = std::max(0, (box.top - org.v) / o->lineHeight);
    for (int line = first; line < lineCount(o); ++line) {
      const int top = org.v + line * o->lineHeight;
      if (top >= box.bottom) break;
      const std::size_t ls = lineStart(o, line), le = lineEnd(o, line);
      if (hilite && o->selEnd > ls && o->selStart <= le && !(o->selStart == le && wrappedLine(o, line))) {
        const std::size_t a = std::max(ls, o->selStart), b = std::min(le, o->selEnd);
        Rect sel{px(top), px(long(org.h) + widthBetween(o, ls, a)), px(top + o->lineHeight),
                 px(long(org.h) + widthBetween(o, ls, b))};
        if (o->selEnd > le && !o->singleLine) sel.right = std::max(sel.right, o->view.right);
        RGBBackColor(&kHilite);
        EraseRect(&sel);
        RGBBackColor(&o->background);
      }
      if (le > ls) {
        RGBForeColor(&o->color);
        drawRun(o, ls, le, org.h, top + o->ascent, box);
      }
    }
    if (o->focused && o->selStart == o->selEnd && o->caretOn) drawCaret(o);
  }
  SetClip(saved);
}

void noteDrawn(TXNObject o) {
  o->drawnValid = true;
  o->drawnTop = o->topLine;
  o->drawnSelStart = o->selStart;
  o->drawnSelEnd = o->selEnd;
  o->dirty = SIZE_MAX;
}

void drawAll(TXNObject o) {
  drawArea(o, o->view);
  noteDrawn(o);
  if (alive(o)) {
    if (o->vBar) Draw1Control(o->vBar);
    if (o->hBar) Draw1Control(o->hBar);
  }
}

// ---------------------------------------------------------------------------
// Keeping the caret in view

std::size_t movingEnd(TXNObject o) {
  return (o->extending && o->anchor == o->selStart) ? o->selEnd : o->selStart;
}

void showCaret(TXNObject o) {
  if (destEmpty(o)) return;
  Scope s(o);
  const std::size_t at = movingEnd(o);
  if (o->singleLine) {
    const int x = widthBetween(o, 0, at);
    const int room = std::max(1, o->view.right - o->dest.left - 1);
    const int total = widthBetween(o, 0, o->text.size());
    if (x - o->scrollH > room) o->scrollH = x - room + std::min(room / 3, 24);
    if (x < o->scrollH) o->scrollH = std::max(0, x - std::min(room / 3, 24));
    o->scrollH = std::clamp(o->scrollH, 0, std::max(0, total - room));
    if (x - o->scrollH > room) o->scrollH = x - room;
    return;
  }
  const int line = lineOf(o, at);
  const int shown = visibleLines(o);
  if (line < o->topLine) o->topLine = line;
  else if (line >= o->topLine + shown) o->topLine = line - shown + 1;
  o->topLine = std::clamp(o->topLine, 0, std::max(0, lineCount(o) - shown));
}

// After anything that moved the caret or changed the text: the caret
// shows and is kept in view, and what changed is drawn again. Without
// scrolling, that is the lines from the one before the first edit or
// selection end that moved; after an edit, down to the view's bottom (the
// lines below may have moved), else to the last line the selection touched.
void changed(TXNObject o) {
  o->caretOn = true;
  o->caretTime = TickCount();
  showCaret(o);
  syncBars(o);
  if (!o->drawnValid || o->singleLine || o->topLine != o->drawnTop) {
    drawArea(o, o->view);
  } else {
    Scope s(o);
    const std::size_t n = o->text.size();
    const std::size_t lo = std::min({o->drawnSelStart, o->selStart, o->dirty, n});
    const int first = std::max(0, lineOf(o, lo) - 1);
    const Origin org = origin(o);
    Rect area = o->view;
    area.top = short(std::clamp(org.v + first * o->lineHeight, -32000, 32000));
    if (o->dirty == SIZE_MAX) {
      const std::size_t hi = std::min(std::max(o->drawnSelEnd, o->selEnd), n);
      area.bottom = short(std::clamp(org.v + (lineOf(o, hi) + 1) * o->lineHeight, -32000, 32000));
    }
    drawArea(o, area);
  }
  noteDrawn(o);
}

// ---------------------------------------------------------------------------
// Editing

std::size_t prevChar(TXNObject o, std::size_t offset) {
  if (offset == 0) return 0;
  std::size_t i = lineStart(o, lineOf(o, offset - 1));
  std::size_t last = i;
  while (i < offset) {
    last = i;
    i += charAt(o->text, i).len;
  }
  return last;
}
std::size_t nextChar(TXNObject o, std::size_t offset) {
  return offset >= o->text.size() ? o->text.size() : offset + charAt(o->text, offset).len;
}
// The character boundary at or before offset.
std::size_t boundary(TXNObject o, std::size_t offset) {
  offset = std::min(offset, o->text.size());
  if (offset == 0 || offset == o->text.size()) return offset;
  std::size_t p = prevChar(o, offset);
  return nextChar(o, p) == offset ? offset : p;
}

void replace(TXNObject o, std::size_t pos, std::size_t removed, std::string_view bytes) {
  o->text.replace(pos, removed, bytes);
  o->dirty = std::min(o->dirty, pos);
  layoutChange(o, pos, removed, bytes.size());
  o->selStart = o->selEnd = pos + bytes.size();
  o->extending = false;
}

// A user's edit: replaces the selection (or the range given), remembered
// for undo.
void edit(TXNObject o, std::size_t pos, std::size_t end, std::string_view bytes, int kind) {
  if (pos == end && bytes.empty()) return;
  auto& u = o->undo;
  o->redo.clear();
  const bool joins = o->coalesce && !u.empty() && u.back().kind == kind && kind != 0 &&
                     ((kind == 1 && pos == end && u.back().pos + u.back().inserted.size() == pos) ||
                      (kind == 2 && bytes.empty() && end == u.back().pos && u.back().inserted.empty()) ||
                      (kind == 3 && bytes.empty() && pos == u.back().pos && u.back().inserted.empty()));
  if (joins) {
    auto& e = u.back();
    if (kind == 1) e.inserted += bytes;
    else if (kind == 2) {
      e.removed.insert(0, o->text, pos, end - pos);
      e.pos = pos;
    } else {
      e.removed.append(o->text, pos, end - pos);
    }
  } else {
    u.push_back({pos, o->text.substr(pos, end - pos), std::string(bytes), o->selStart, o->selEnd, kind});
    if (u.size() > kMaxUndo) u.erase(u.begin());
  }
  std::size_t held = 0;
  for (const auto& e : u) held += e.removed.size() + e.inserted.size();
  while (u.size() > 1 && held > kMaxUndoBytes) {
    held -= u.front().removed.size() + u.front().inserted.size();
    u.erase(u.begin());
  }
  o->coalesce = kind != 0;
  replace(o, pos, end - pos, bytes);
}

// What may be pasted or typed in one piece: line ends as the object takes them.
std::string cleanLines(TXNObject o, std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c == '\r' && i + 1 < in.size() && in[i + 1] == '\n') continue;
    if (c == '\n' || c == '\r') out += o->singleLine ? ' ' : '\r';
    else out += c;
  }
  return out;
}

// A character typed a byte at a time is inserted once whole; a byte that
// cannot belong to one is typed as the replacement character.
void typeBytes(TXNObject o, std::string_view bytes) {
  if (bytes.empty()) return;
  edit(o, o->selStart, o->selEnd, bytes, 1);
}

void flushPending(TXNObject o) {
  if (o->pending.empty()) return;
  std::string out;
  for (std::size_t i = 0; i < o->pending.size(); ++i) out += kReplacement;
  o->pending.clear();
  typeBytes(o, out);
}

void setSelection(TXNObject o, std::size_t a, std::size_t b) {
  a = boundary(o, a);
  b = boundary(o, b);
  o->selStart = std::min(a, b);
  o->selEnd = std::max(a, b);
  o->extending = false;
  o->coalesce = false;
}

// Moves the caret, or with extend the selection's moving end.
void moveTo(TXNObject o, std::size_t target, bool extend) {
  if (extend) {
    if (!o->extending) {
      o->anchor = target < o->selStart ? o->selEnd : o->selStart;
      o->extending = true;
    }
    o->selStart = std::min(o->anchor, target);
    o->selEnd = std::max(o->anchor, target);
  } else {
    o->selStart = o->selEnd = target;
    o->extending = false;
  }
  o->coalesce = false;
}

void wordAt(TXNObject o, std::size_t at, std::size_t* s, std::size_t* e) {
  const std::string& t = o->text;
  auto word = [&](std::size_t i) { return i < t.size() && isWordChar(charAt(t, i).cp); };
  if (!word(at) && at > 0 && word(prevChar(o, at))) at = prevChar(o, at);
  if (!word(at)) {
    *s = at;
    *e = (at < t.size() && !isBreak(charAt(t, at).cp)) ? nextChar(o, at) : at;
    return;
  }
  std::size_t a = at, b = at;
  while (a > 0 && word(prevChar(o, a))) a = prevChar(o, a);
  while (word(b)) b = nextChar(o, b);
  *s = a;
  *e = b;
}

// UTF-16 units <-> bytes.
std::size_t unitsOf(TXNObject o, std::size_t bytes) {
  std::size_t u = 0;
  for (std::size_t i = 0; i < bytes && i < o->text.size();) {
    Char c = charAt(o->text, i);
    u += c.cp >= 0x10000 ? 2 : 1;
    i += c.len;
  }
  return u;
}
std::size_t bytesOf(TXNObject o, TXNOffset units) {
  std::size_t u = 0, i = 0;
  while (i < o->text.size() && u < units) {
    Char c = charAt(o->text, i);
    u += c.cp >= 0x10000 ? 2 : 1;
    if (u > units) break;  // inside a pair: the character's start
    i += c.len;
  }
  return i;
}

std::vector<UniChar> toUTF16(TXNObject o, std::size_t from, std::size_t to) {
  std::vector<UniChar> out;
  for (std::size_t i = from; i < to;) {
    Char c = charAt(o->text, i);
    if (c.cp >= 0x10000) {
      out.push_back(UniChar(0xD800 + ((c.cp - 0x10000) >> 10)));
      out.push_back(UniChar(0xDC00 + ((c.cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(UniChar(c.cp));
    }
    i += c.len;
  }
  return out;
}

void barAction(ControlRef bar, ControlPartCode part) {
  auto o = reinterpret_cast<TXNObject>(GetControlReference(bar));
  if (!valid(o) || !part) return;
  const int page = std::max(1, visibleLines(o) - 1);
  int top = o->topLine;
  switch (part) {
    case kControlUpButtonPart: --top; break;
    case kControlDownButtonPart: ++top; break;
    case kControlPageUpPart: top -= page; break;
    case kControlPageDownPart: top += page; break;
    default: top = GetControl32BitValue(bar); break;  // the thumb
  }
  top = std::clamp(top, 0, std::max(0, lineCount(o) - visibleLines(o)));
  if (top == o->topLine && part != kControlIndicatorPart) return;
  o->topLine = top;
  SetControl32BitValue(bar, top);
  drawArea(o, o->view);
}

// A key that is not a character of text (and plain ASCII): false when it
// does nothing here.
bool actOnKey(TXNObject o, unsigned char c, bool shift) {
  const std::size_t moving = movingEnd(o);
  const bool sel = o->selStart != o->selEnd;
  switch (c) {
    case kBackspaceCharCode:
      if (sel) edit(o, o->selStart, o->selEnd, {}, 0);
      else if (o->selStart > 0) edit(o, prevChar(o, o->selStart), o->selStart, {}, 2);
      break;
    case kDeleteCharCode:
      if (sel) edit(o, o->selStart, o->selEnd, {}, 0);
      else if (o->selStart < o->text.size()) edit(o, o->selStart, nextChar(o, o->selStart), {}, 3);
      break;
    case kLeftArrowCharCode:
      if (!shift && sel) moveTo(o, o->selStart, false);
      else moveTo(o, prevChar(o, shift ? moving : o->selStart), shift);
      break;
    case kRightArrowCharCode:
      if (!shift && sel) moveTo(o, o->selEnd, false);
      else moveTo(o, nextChar(o, shift ? moving : o->selEnd), shift);
      break;
    case kUpArrowCharCode:
    case kDownArrowCharCode:
    case kPageUpCharCode:
    case kPageDownCharCode: {
      const bool up = c == kUpArrowCharCode || c == kPageUpCharCode;
      const bool page = c == kPageUpCharCode || c == kPageDownCharCode;
      const std::size_t from = shift ? moving : (up ? o->selStart : o->selEnd);
      const int line = lineOf(o, from);
      const int step = page ? std::max(1, visibleLines(o) - 1) : 1;
      std::size_t target;
      if (o->singleLine || (up && line == 0)) {
        target = up ? 0 : o->text.size();
      } else if (!up && line + 1 >= lineCount(o)) {
        target = o->text.size();
      } else {
        Point p = pointOf(o, from);
        const int to = std::clamp(line + (up ? -step : step), 0, lineCount(o) - 1);
        p.v = short(p.v + (to - line) * o->lineHeight);
        if (page) o->topLine += to - line;
        target = offsetAt(o, p);
      }
      moveTo(o, target, shift);
      break;
    }
    case kHomeCharCode:
      moveTo(o, 0, shift);
      break;
    case kEndCharCode:
      moveTo(o, o->text.size(), shift);
      break;
    case kReturnCharCode:
      if (o->singleLine) return false;
      typeBytes(o, "\r");
      break;
    case kTabCharCode:
      if (o->singleLine) return false;
      typeBytes(o, "\t");
      break;
    default:
      if (c < 0x20) return false;  // Enter, Escape and other control characters
      typeBytes(o, std::string(1, char(c)));
      break;
  }
  return true;
}

// A turn of the wheel no handler took, over a multi-line object of the
// window with a vertical bar, scrolls it as the bar's arrows would.
OSStatus takeWheel(EventRef e, WindowRef w) {
  for (TXNObject o : eng().objects) {
    int lines = 0;
    bool horizontal = false;
    if (o->window != w || !o->vBar || !tb::WheelOverArea(e, w, o->frame, &lines, &horizontal)) continue;
    if (!horizontal) tb::ScrollBarByLines(o->vBar, lines);
    return noErr;
  }
  return eventNotHandledErr;
}

// Text input no handler took goes to the window's focused object, as typed.
OSStatus takeTextInput(EventRef e, WindowRef w) {
  TXNObject o = tb::TXNFocusedObject(w);
  if (!o) return eventNotHandledErr;
  UInt32 size = 0;
  if (GetEventParameter(e, kEventParamTextInputSendText, typeUnicodeText, nullptr, 0, &size, nullptr) != noErr)
    return eventNotHandledErr;
  std::vector<std::uint16_t> units(size / 2);
  if (!units.empty())
    GetEventParameter(e, kEventParamTextInputSendText, typeUnicodeText, nullptr, UInt32(units.size() * 2), nullptr,
                      units.data());
  UInt32 mods = 0;
  EventRef key = nullptr;
  if (GetEventParameter(e, kEventParamTextInputSendKeyboardEvent, typeEventRef, nullptr, sizeof key, nullptr, &key) ==
          noErr &&
      key)
    GetEventParameter(key, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof mods, nullptr, &mods);
  tb::TXNTypeText(o, tb::utf8::FromUTF16(units.data(), units.size()), EventModifiers(mods));
  return noErr;
}

void unfocusOthers(TXNObject o) {
  auto& f = eng().focus;
  auto it = f.find(o->window);
  if (it != f.end() && it->second != o && valid(it->second)) {
    TXNObject other = it->second;
    other->focused = false;
    other->extending = false;
    flushPending(other);
    syncBars(other);
    drawAll(other);
  }
  f[o->window] = o;
}

}  // namespace

// ---------------------------------------------------------------------------

OSStatus TXNInitTextension(const TXNMacOSPreferredFontDescription* defaults, ItemCount count, TXNInitOptions) {
  if (defaults && count > 0) eng().defaults = defaults[0];
  return noErr;
}

void TXNTerminateTextension() {
  while (!eng().objects.empty()) TXNDeleteObject(eng().objects.back());
  eng().defaults = TXNMacOSPreferredFontDescription{systemFont, 12 << 16, 0, 0};
}

OSStatus TXNNewObject(const FSSpec* file, WindowRef window, const Rect* frame, TXNFrameOptions options,
                      TXNFrameType, TXNFileType, TXNPermanentTextEncodingType encoding, TXNObject* object,
                      TXNFrameID* frameID, TXNObjectRefcon) {
  if (!object) return paramErr;
  *object = nullptr;
  if (file || !window || !frame || !GetWindowPort(window)) return paramErr;
  // (Again for each object: tests may reset the event defaults.)
  tb::SetDefaultEventHandler(kEventClassTextInput, kEventTextInputUnicodeForKeyEvent, takeTextInput);
  tb::SetDefaultEventHandler(kEventClassMouse, kEventMouseWheelMoved, takeWheel);
  auto o = new OpaqueTXNObject;
  o->window = window;
  o->port = GetWindowPort(window);
  o->options = options;
  o->singleLine = (options & kTXNSingleLineOnlyMask) != 0;
  o->frameID = eng().nextID++;
  o->encoding = encoding;
  const auto& d = eng().defaults;
  o->font = short(d.fontID);
  o->size = short(d.pointSize > 0 ? std::clamp(d.pointSize >> 16, 1, 512) : 12);
  o->face = d.fontStyle;
  o->starts.assign(1, 0);
  eng().objects.push_back(o);
  if (!o->singleLine) {
    // Scroll bars belong to the window like any control; their value is
    // the first line shown.
    Rect none{0, 0, 0, 0};
    if (options & kTXNWantVScrollBarMask) o->vBar = NewControl(window, &none, nullptr, true, 0, 0, 0, kControlScrollBarLiveProc, 0);
    if (options & kTXNWantHScrollBarMask) o->hBar = NewControl(window, &none, nullptr, true, 0, 0, 0, kControlScrollBarLiveProc, 0);
    if (o->vBar) {
      SetControlReference(o->vBar, long(reinterpret_cast<std::intptr_t>(o)));
      SetControlAction(o->vBar, barAction);
    }
  }
  setFrame(o, *frame);
  fontChanged(o);
  syncBars(o);
  *object = o;
  if (frameID) *frameID = o->frameID;
  return noErr;
}

void TXNDeleteObject(TXNObject o) {
  if (!valid(o)) return;
  auto& f = eng().focus;
  for (auto it = f.begin(); it != f.end();) it = it->second == o ? f.erase(it) : std::next(it);
  if (alive(o)) {
    if (o->vBar) DisposeControl(o->vBar);
    if (o->hBar) DisposeControl(o->hBar);
  }
  auto& v = eng().objects;
  v.erase(std::find(v.begin(), v.end(), o));
  delete o;
}

void TXNSetFrameBounds(TXNObject o, SInt32 top, SInt32 left, SInt32 bottom, SInt32 right, TXNFrameID) {
  if (!valid(o)) return;
  auto c = [](SInt32 v) { return short(std::clamp<SInt32>(v, -32000, 32000)); };
  setFrame(o, Rect{c(top), c(left), c(bottom), c(right)});
  layoutAll(o);
  showCaret(o);
  syncBars(o);
}

void TXNSetRectBounds(TXNObject o, const Rect* viewRect, const TXNLongRect* destRect, Boolean update) {
  if (!valid(o)) return;
  if (viewRect) o->view = *viewRect;
  if (destRect) o->dest = *destRect;
  layoutAll(o);
  if (!destEmpty(o)) showCaret(o);
  syncBars(o);
  if (update) drawAll(o);
}

void TXNGetViewRect(TXNObject o, Rect* viewRect) {
  if (valid(o) && viewRect) *viewRect = o->view;
}

OSStatus TXNActivate(TXNObject o, TXNFrameID, TXNScrollBarState state) {
  if (!valid(o)) return kTXNInvalidTXNObjectErr;
  o->barsAlwaysActive = state != 0;
  syncBars(o);
  return noErr;
}

void TXNFocus(TXNObject o, Boolean becomingFocused) {
  if (!valid(o)) return;
  if (becomingFocused) {
    unfocusOthers(o);
    o->focused = true;
    o->caretOn = true;
    o->caretTime = TickCount();
  } else {
    flushPending(o);
    o->focused = false;
    o->extending = false;
    auto& f = eng().focus;
    auto it = f.find(o->window);
    if (it != f.end() && it->second == o) f.erase(it);
  }
  syncBars(o);
  drawAll(o);
}

OSStatus TXNSetData(TXNObject o, TXNDataType type, const void* data, ByteCount size, TXNOffset start,
                    TXNOffset end) {
  if (!valid(o)) return kTXNInvalidTXNObjectErr;
  if (size > 0 && !data) return paramErr;
  std::string bytes;
  if (type == kTXNTextData) {
    if (size) bytes.assign(static_cast<const char*>(data), size);
  } else if (type == kTXNUnicodeTextData) {
    if (size) bytes = tb::utf8::FromUTF16(static_cast<const std::uint16_t*>(data), size / sizeof(UniChar));
  } else {
    return kTXNUnsupportedDataTypeErr;
  }
  flushPending(o);
  std::size_t a, b;
  if (start == kTXNUseCurrentSelection) {
    a = o->selStart;
    b = o->selEnd;
  } else {
    a = bytesOf(o, start);
    b = bytesOf(o, std::max(start, end));
  }
  o->text.replace(a, b - a, bytes);
  layoutAll(o);
  o->selStart = o->selEnd = a + bytes.size();
  o->extending = false;
  o->undo.clear();
  o->redo.clear();
  o->coalesce = false;
  if (o->singleLine) o->scrollH = 0;
  showCaret(o);
  syncBars(o);
  drawAll(o);
  return noErr;
}

OSStatus TXNGetDataEncoded(TXNObject o, TXNOffset start, TXNOffset end, Handle* data, TXNDataType encoding) {
  if (!data) return paramErr;
  *data = nullptr;
  if (!valid(o)) return kTXNInvalidTXNObjectErr;
  std::size_t a = bytesOf(o, start), b = bytesOf(o, std::max(start, end));
  Handle h = nullptr;
  if (encoding == kTXNTextData) {
    h = NewHandle(Size(b - a));
    if (h && b > a) std::memcpy(*h, o->text.data() + a, b - a);
  } else if (encoding == kTXNUnicodeTextData) {
    std::vector<UniChar> u = toUTF16(o, a, b);
    h = NewHandle(Size(u.size() * sizeof(UniChar)));
    if (h && !u.empty()) std::memcpy(*h, u.data(), u.size() * sizeof(UniChar));
  } else {
    return kTXNUnsupportedDataTypeErr;
  }
  if (!h) return memFullErr;
  *data = h;
  return noErr;
}

OSStatus TXNGetData(TXNObject o, TXNOffset start, TXNOffset end, Handle* data) {
  return TXNGetDataEncoded(o, start, end, data, kTXNUnicodeTextData);
}

OSStatus TXNGetFontDefaults(TXNObject o, ItemCount* count, TXNMacOSPreferredFontDescription* defaults) {
  if (!valid(o)) return kTXNInvalidTXNObjectErr;
  if (!count) return paramErr;
  if (defaults && *count >= 1) defaults[0] = {UInt32(UInt16(o->font)), Fixed(o->size) << 16, o->encoding, o->face};
  *count = 1;
  return noErr;
}

OSStatus TXNSetFontDefaults(TXNObject o, ItemCount count, const TXNMacOSPreferredFontDescription* defaults) {
  if (!valid(o)) return kTXNInvalidTXNObjectErr;
  if (count == 0 || !defaults) return paramErr;
  o->font = short(defaults[0].fontID);
  if (defaults[0].pointSize > 0) o->size = short(std::clamp(defaults[0].pointSize >> 16, 1, 512));
  o->face = defaults[0].fontStyle;
  o->encoding = defaults[0].encoding;
  fontChanged(o);
  layoutAll(o);
  showCaret(o);
  syncBars(o);
  return noErr;
}

OSStatus TXNSetTypeAttributes(TXNObject o, ItemCount count, const TXNTypeAttributes* attrs, TXNOffset, TXNOffset) {
  if (!valid(o)) return kTXNInvalidTXNObjectErr;
  if (count > 0 && !attrs) return paramErr;
  OSStatus result = noErr;
  bool font = false;
  for (ItemCount i = 0; i < count; ++i) {
    const TXNTypeAttributes& a = attrs[i];
    switch (a.tag) {
      case kTXNQDFontNameAttribute: {
        auto name = static_cast<const unsigned char*>(a.data.dataPtr);
        short num = 0;
        if (name) GetFNum(name, &num);
        Str255 back;
        GetFontName(num, back);
        // GetFNum answers 0 for an unknown name as for the system font.
        if (!name || (num == 0 && !(name[0] == back[0] && std::memcmp(name + 1, back + 1, name[0]) == 0))) {
          result = paramErr;
          break;
        }
        o->font = num;
        font = true;
        break;
      }
      case kTXNQDFontFamilyIDAttribute:
        o->font = short(a.data.dataValue);
        font = true;
        break;
      case kTXNQDFontSizeAttribute:
        if (Fixed(a.data.dataValue) > 0) o->size = short(std::clamp(Fixed(a.data.dataValue) >> 16, 1, 512));
        font = true;
        break;
      case kTXNQDFontStyleAttribute:
        o->face = Style(a.data.dataValue);
        font = true;
        break;
      case kTXNQDFontColorAttribute:
        if (a.data.dataPtr) o->color = *static_cast<const RGBColor*>(a.data.dataPtr);
        else result = paramErr;
        break;
      case kTXNTextEncodingAttribute:
        o->encoding = a.data.dataValue;
        break;
      default:
        result = paramErr;
        break;
    }
  }
  if (font) {
    fontChanged(o);
    layoutAll(o);
    showCaret(o);
    syncBars(o);
  }
  drawAll(o);
  return result;
}

OSStatus TXNSetBackground(TXNObject o, const TXNBackground* bg) {
  if (!valid(o)) return kTXNInvalidTXNObjectErr;
  if (!bg || bg->bgType != kTXNBackgroundTypeRGB) return paramErr;
  o->background = bg->bg;
  return noErr;
}

void TXNClick(TXNObject o, const EventRecord* e) {
  if (!valid(o) || !e || !alive(o)) return;
  // The same press handed on twice (a dialog filter, then the dialog) is
  // taken once: a new press is a new mouse-down taken from the queue.
  const UInt64 serial = tb::MouseDownsTaken();
  if (o->lastPressSeen && o->lastPressSerial == serial && o->lastPress.when == e->when &&
      o->lastPress.where.h == e->where.h && o->lastPress.where.v == e->where.v &&
      o->lastPress.modifiers == e->modifiers)
    return;
  o->lastPressSeen = true;
  o->lastPress = *e;
  o->lastPressSerial = serial;

  Scope s(o);
  Point local = e->where;
  GlobalToLocal(&local);
  for (ControlRef bar : {o->vBar, o->hBar}) {
    Rect r;
    if (bar && PtInRect(local, GetControlBounds(bar, &r))) {
      if (IsControlActive(bar)) TrackControl(bar, local, bar == o->vBar ? barAction : nullptr);
      return;
    }
  }
  if (destEmpty(o) || !PtInRect(local, &o->view)) return;
  flushPending(o);
  const std::size_t at = offsetAt(o, local);
  const bool extend = (e->modifiers & shiftKey) != 0;
  const bool dbl = !extend && o->clickOffset == at && e->when - o->clickTime <= GetDblTime() &&
                   std::abs(local.h - o->clickPoint.h) <= 4 && std::abs(local.v - o->clickPoint.v) <= 4;
  std::size_t ws = at, we = at;
  if (dbl) {
    wordAt(o, at, &ws, &we);
    o->selStart = ws;
    o->selEnd = we;
    o->extending = false;
    o->coalesce = false;
  } else {
    moveTo(o, at, extend);
    if (!extend) {
      o->anchor = at;
    }
  }
  o->clickTime = e->when;
  o->clickOffset = dbl ? SIZE_MAX : at;
  o->clickPoint = local;
  changed(o);
  // Follow the mouse while the button is held, and to where it was let go.
  const std::size_t anchor = o->extending ? o->anchor : at;
  for (;;) {
    const bool down = StillDown();
    Point m;
    GetMouse(&m);
    std::size_t ps = o->selStart, pe = o->selEnd;
    std::size_t now = offsetAt(o, m);
    if (dbl) {
      std::size_t a, b;
      wordAt(o, now, &a, &b);
      o->selStart = std::min(ws, a);
      o->selEnd = std::max(we, b);
    } else if (now != at || o->extending) {
      o->anchor = anchor;
      o->extending = true;
      o->selStart = std::min(anchor, now);
      o->selEnd = std::max(anchor, now);
    }
    if (ps != o->selStart || pe != o->selEnd) changed(o);
    if (!down) break;
  }
  if (o->selStart == o->selEnd) o->extending = false;
}

void TXNKeyDown(TXNObject o, const EventRecord* e) {
  if (!valid(o) || !e || !alive(o) || destEmpty(o)) return;
  if (e->modifiers & cmdKey) return;
  Scope s(o);
  const unsigned char c = static_cast<unsigned char>(e->message & charCodeMask);
  const bool shift = (e->modifiers & shiftKey) != 0;
  if (c >= 0x80) {
    std::string& p = o->pending;
    if ((c & 0xC0) == 0x80 && !p.empty()) {
      p += char(c);
    } else {
      flushPending(o);
      if (c >= 0xC2 && c <= 0xF4) p += char(c);
      else typeBytes(o, kReplacement);
    }
    if (!p.empty()) {
      const unsigned lead = static_cast<unsigned char>(p[0]);
      const std::size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
      if (p.size() < want) return;
      auto [cp, len] = Decode(reinterpret_cast<const unsigned char*>(p.data()), p.size(), 0);
      (void)cp;
      if (len == p.size()) {
        std::string whole = std::move(p);
        p.clear();
        typeBytes(o, whole);
      } else {
        flushPending(o);
      }
    }
    return changed(o);
  }
  flushPending(o);
  if (actOnKey(o, c, shift)) changed(o);
}

void TXNIdle(TXNObject o) {
  if (!valid(o) || !o->focused || o->selStart != o->selEnd || destEmpty(o)) return;
  const UInt32 now = TickCount();
  if (now - o->caretTime < GetCaretTime()) return;
  o->caretTime = now;
  o->caretOn = !o->caretOn;
  Scope s(o);
  if (!s.ok()) return;
  Point p = pointOf(o, o->selStart);
  drawArea(o, Rect{p.v, short(p.h - 1), short(p.v + o->lineHeight), short(p.h + 1)});
}

void TXNDraw(TXNObject o, GWorldPtr) {
  if (valid(o)) drawAll(o);
}

void TXNUpdate(TXNObject o) { TXNDraw(o, nullptr); }

void TXNAdjustCursor(TXNObject o, RgnHandle) {
  if (!valid(o) || !alive(o)) return;
  Scope s(o);
  Point m;
  GetMouse(&m);
  if (!destEmpty(o) && PtInRect(m, &o->view)) {
    if (CursHandle beam = GetCursor(iBeamCursor)) SetCursor(*beam);
  } else {
    Cursor arrow;
    SetCursor(GetQDGlobalsArrow(&arrow));
  }
}

OSStatus TXNCopy(TXNObject o) {
  if (!valid(o)) return kTXNInvalidTXNObjectErr;
  flushPending(o);
  if (o->selStart == o->selEnd) return noErr;
  tb::PutScrapText(std::string_view(o->text).substr(o->selStart, o->selEnd - o->selStart));
  return noErr;
}

OSStatus TXNCut(TXNObject o) {
  if (!valid(o)) return kTXNInvalidTXNObjectErr;
  TXNCopy(o);
  if (o->selStart == o->selEnd) return noErr;
  edit(o, o->selStart, o->selEnd, {}, 0);
  changed(o);
  return noErr;
}

OSStatus TXNPaste(TXNObject o) {
  if (!valid(o)) return kTXNInvalidTXNObjectErr;
  flushPending(o);
  std::string text;
  if (!tb::GetScrapText(&text)) return noErr;
  edit(o, o->selStart, o->selEnd, cleanLines(o, text), 0);
  changed(o);
  return noErr;
}

void TXNSelectAll(TXNObject o) {
  if (!valid(o)) return;
  flushPending(o);
  setSelection(o, 0, o->text.size());
  changed(o);
}

OSStatus TXNSetSelection(TXNObject o, TXNOffset start, TXNOffset end) {
  if (!valid(o)) return kTXNInvalidTXNObjectErr;
  flushPending(o);
  setSelection(o, bytesOf(o, start), bytesOf(o, end));
  changed(o);
  return noErr;
}

void TXNGetSelection(TXNObject o, TXNOffset* start, TXNOffset* end) {
  if (!valid(o)) return;
  if (start) *start = TXNOffset(unitsOf(o, o->selStart));
  if (end) *end = TXNOffset(unitsOf(o, o->selEnd));
}

void TXNUndo(TXNObject o) {
  if (!valid(o)) return;
  flushPending(o);
  if (o->undo.empty()) return;
  auto e = std::move(o->undo.back());
  o->undo.pop_back();
  replace(o, e.pos, e.inserted.size(), e.removed);
  o->selStart = e.selStart;
  o->selEnd = e.selEnd;
  o->redo.push_back(std::move(e));
  o->coalesce = false;
  changed(o);
}

void TXNRedo(TXNObject o) {
  if (!valid(o) || o->redo.empty()) return;
  auto e = std::move(o->redo.back());
  o->redo.pop_back();
  replace(o, e.pos, e.removed.size(), e.inserted);
  o->undo.push_back(std::move(e));
  o->coalesce = false;
  changed(o);
}

Boolean TXNCanUndo(TXNObject o) { return valid(o) && (!o->undo.empty() || !o->pending.empty()); }
Boolean TXNCanRedo(TXNObject o) { return valid(o) && !o->redo.empty(); }

// ---------------------------------------------------------------------------

namespace tb {

std::string TXNText(TXNObject o) { return valid(o) ? o->text : std::string(); }

void TXNTypeText(TXNObject o, std::string_view utf8, EventModifiers modifiers) {
  if (!valid(o) || !alive(o) || destEmpty(o) || utf8.empty()) return;
  Scope s(o);
  flushPending(o);
  // Whole characters are typed whatever the modifiers (a byte that starts
  // no sequence as the replacement character); the moving and deleting
  // keys among them act as keys.
  std::string run;
  const auto* b = reinterpret_cast<const unsigned char*>(utf8.data());
  for (std::size_t i = 0; i < utf8.size();) {
    auto [cp, len] = Decode(b, utf8.size(), i);
    if (len == 1 && cp >= 0x80) {
      run += kReplacement;
    } else if (cp < 0x20 || cp == 0x7F) {
      typeBytes(o, run);
      run.clear();
      actOnKey(o, static_cast<unsigned char>(cp), (modifiers & shiftKey) != 0);
    } else {
      run.append(utf8.substr(i, len));
    }
    i += len;
  }
  typeBytes(o, run);
  changed(o);
}

TXNObject TXNFocusedObject(WindowRef w) {
  auto& f = eng().focus;
  auto it = f.find(w);
  return it != f.end() && valid(it->second) ? it->second : nullptr;
}

int TXNLineCount(TXNObject o) { return valid(o) ? lineCount(o) : 0; }
int TXNFirstVisibleLine(TXNObject o) { return valid(o) ? o->topLine : 0; }

Point TXNBytePoint(TXNObject o, std::size_t byteOffset) {
  if (!valid(o)) return Point{0, 0};
  Scope s(o);
  return pointOf(o, std::min(byteOffset, o->text.size()));
}

std::vector<std::size_t> TXNLineStarts(TXNObject o) { return valid(o) ? o->starts : std::vector<std::size_t>(); }

ControlRef TXNScrollBar(TXNObject o) { return valid(o) ? o->vBar : nullptr; }

namespace txn {

bool RouteKey(WindowRef w, const EventRecord& e) {
  TXNObject o = TXNFocusedObject(w);
  if (!o || (e.modifiers & cmdKey)) return false;
  TXNKeyDown(o, &e);
  return true;
}

bool RouteClick(WindowRef w, const EventRecord& e) {
  TXNObject o = TXNFocusedObject(w);
  if (!o || !alive(o)) return false;
  Point local = e.where;
  {
    Scope s(o);
    GlobalToLocal(&local);
  }
  if (!PtInRect(local, &o->frame)) return false;
  TXNClick(o, &e);
  return true;
}

void RouteIdle(WindowRef w) {
  if (TXNObject o = TXNFocusedObject(w)) {
    TXNIdle(o);
    TXNAdjustCursor(o, nullptr);
  }
}

bool FocusedTakesReturn(WindowRef w) {
  TXNObject o = TXNFocusedObject(w);
  return o && !o->singleLine && !destEmpty(o);
}

void DrawWindowObjects(WindowRef w) {
  for (TXNObject o : eng().objects)
    if (o->window == w) drawAll(o);
}

}  // namespace txn
}  // namespace tb

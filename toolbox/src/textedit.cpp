// TextEdit: one text laid out into lines wrapped to a rectangle, drawn,
// edited by character, selected and scrolled, with the clipboard.
#include "toolbox/textedit.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "drawntext_internal.h"
#include "toolbox/clock.h"
#include "toolbox/fonts.h"
#include "toolbox/memory.h"
#include "toolbox/scrap.h"
#include "toolbox/script.h"
#include "utf8_internal.h"

namespace {

// What the toolbox keeps beside the public record.
struct TEPrivate {
  std::vector<short> lineStarts{0};  // nLines + 1 entries, the last teLength
  bool autoScroll = false;
  std::string pending;  // bytes of a character typed one byte at a time
  short anchor = -1;    // the fixed end of a selection being extended
  bool wordMode = false;
};

TEPrivate& priv(TEHandle te) { return *static_cast<TEPrivate*>((**te).tbPrivate); }
bool valid(TEHandle te) { return te && *te && (**te).tbPrivate; }

const UInt8* textOf(TEHandle te) {
  Handle h = (**te).hText;
  return h && *h ? reinterpret_cast<const UInt8*>(*h) : nullptr;
}

// ---------------------------------------------------------------------------
// Characters. The same rule as text drawing: a valid UTF-8 sequence is one
// character, any other byte a character of its own.

std::size_t charLen(const UInt8* t, std::size_t n, std::size_t i) { return tb::utf8::Decode(t, n, i).second; }

char32_t codeAt(const UInt8* t, std::size_t n, std::size_t i) { return tb::utf8::Decode(t, n, i).first; }

std::string encode(char32_t cp) {
  std::string out;
  tb::utf8::Append(out, cp);
  return out;
}

bool isWordChar(char32_t cp) {
  if (cp < 0x80) return (cp >= '0' && cp <= '9') || (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') || cp == '_';
  return cp != 0xA0 && cp != 0x3000;  // letters of other scripts; not the wide spaces
}

// ---------------------------------------------------------------------------
// Drawing state: the record's port current with the record's font, both
// put back afterwards.
class PortScope {
 public:
  explicit PortScope(TEHandle te) {
    port_ = (**te).inPort;
    if (!port_ || !IsValidPort(port_)) {
      port_ = nullptr;
      return;
    }
    SetPort(port_);
    font_ = GetPortTextFont(port_);
    face_ = GetPortTextFace(port_);
    size_ = GetPortTextSize(port_);
    TextFont((**te).txFont);
    TextFace((**te).txFace);
    TextSize((**te).txSize);
  }
  ~PortScope() {
    if (port_) {
      TextFont(font_);
      TextFace(face_);
      TextSize(size_);
    }
  }
  bool ok() const { return port_ != nullptr; }
  PortScope(const PortScope&) = delete;
  PortScope& operator=(const PortScope&) = delete;

 private:
  tb::PortSaver saved_;  // the caller's port, current again after the rest is put back
  GrafPtr port_ = nullptr;
  short font_ = 0, size_ = 0;
  Style face_ = 0;
};

// Width of t[from, to) in the current port's font. TextWidth counts in
// shorts, so long runs are measured in pieces cut on character boundaries.
short widthOf(const UInt8* t, std::size_t from, std::size_t to) {
  long total = 0;
  while (from < to) {
    std::size_t n = to - from;
    if (n > 1024) n = tb::Utf8BoundaryPrefix(t + from, 1024);
    total += TextWidth(t + from, 0, short(n));
    from += n;
  }
  return short(std::min<long>(total, 32767));
}

// ---------------------------------------------------------------------------
// Layout

bool endsWithCR(TEHandle te) {
  const TERec& r = **te;
  return r.teLength > 0 && textOf(te)[r.teLength - 1] == '\r';
}

// The last line the caret can stand on: an empty line after a final
// carriage return (or in an empty text) is one past the counted lines.
short lastCaretLine(TEHandle te) {
  const TERec& r = **te;
  if (r.nLines == 0 || endsWithCR(te)) return r.nLines;
  return short(r.nLines - 1);
}

short lineStartOf(TEHandle te, short line) {
  const auto& ls = priv(te).lineStarts;
  if (line < 0) return 0;
  if (std::size_t(line) >= ls.size()) return (**te).teLength;
  return ls[std::size_t(line)];
}

// End of a line's visible text: before its carriage return.
short lineEndOf(TEHandle te, short line) {
  if (line >= (**te).nLines) return (**te).teLength;
  short end = lineStartOf(te, short(line + 1));
  if (end > lineStartOf(te, line) && textOf(te)[end - 1] == '\r') --end;
  return end;
}

void layout(TEHandle te) {
  TERec& r = **te;
  TEPrivate& p = priv(te);
  Handle h = r.hText;
  Size have = h ? GetHandleSize(h) : 0;
  r.teLength = short(std::clamp<Size>(have, 0, kTEMaxLength));
  const UInt8* t = textOf(te);
  const std::size_t n = std::size_t(r.teLength);
  p.lineStarts.assign(1, 0);
  PortScope scope(te);
  if (scope.ok()) {
    FontInfo fi;
    GetFontInfo(&fi);
    r.fontAscent = fi.ascent;
  }
  const int width = r.destRect.right - r.destRect.left;
  const bool wrap = r.crOnly >= 0 && scope.ok();
  std::vector<std::size_t> starts;
  std::vector<short> widths;
  std::vector<bool> chance;  // a break may come before the character
  short ascii[128];
  std::fill(std::begin(ascii), std::end(ascii), short(-1));
  std::size_t i = 0;
  while (i < n) {
    // One paragraph: up to and including its carriage return.
    std::size_t end = i;
    while (end < n && t[end] != '\r') end += charLen(t, n, end);
    if (wrap) {
      starts.clear();
      widths.clear();
      for (std::size_t k = i; k < end; k += charLen(t, n, k)) {
        starts.push_back(k);
        const std::size_t len = charLen(t, n, k);
        if (len == 1 && t[k] < 0x80) {
          // Plain ASCII comes up often enough to measure once per layout.
          short& w = ascii[t[k]];
          if (w < 0) w = widthOf(t, k, k + 1);
          widths.push_back(w);
        } else {
          widths.push_back(widthOf(t, k, k + len));
        }
      }
      std::size_t lineFirst = 0;  // index into starts
      long x = 0;
      std::size_t breakAfter = 0;  // index of the first character after a break chance; 0 none
      char32_t prev = 0;
      chance.assign(starts.size(), false);
      for (std::size_t c = 0; c < starts.size(); ++c) {
        char32_t cp = codeAt(t, n, starts[c]);
        // The script's line rule: after blanks, around CJK characters, and
        // never before a closing mark or after an opening one.
        chance[c] = c > 0 && tb::IsLineBreakBetween(prev, cp);
        if (chance[c] && c > lineFirst) breakAfter = c;
        prev = cp;
        if (cp == ' ' || cp == '\t') {
          x += widths[c];  // blanks hang past the line's end
          continue;
        }
        if (x + widths[c] > width && c > lineFirst) {
          std::size_t next = breakAfter > lineFirst ? breakAfter : c;
          p.lineStarts.push_back(short(starts[next]));
          lineFirst = next;
          breakAfter = 0;
          x = 0;
          for (std::size_t k = next; k < c; ++k) x += widths[k];
          for (std::size_t k = next + 1; k <= c; ++k)
            if (chance[k]) breakAfter = k;
        }
        x += widths[c];
      }
    }
    i = end < n ? end + 1 : end;
    p.lineStarts.push_back(short(i));
  }
  if (p.lineStarts.size() > 1 && p.lineStarts.back() != short(n)) p.lineStarts.push_back(short(n));
  r.nLines = short(std::min<std::size_t>(p.lineStarts.size() - 1, 32767));
  r.selStart = std::clamp<short>(r.selStart, 0, r.teLength);
  r.selEnd = std::clamp<short>(r.selEnd, r.selStart, r.teLength);
}

short lineOf(TEHandle te, short offset) {
  const TERec& r = **te;
  if (offset >= r.teLength) return lastCaretLine(te);
  const auto& ls = priv(te).lineStarts;
  auto it = std::upper_bound(ls.begin(), ls.end(), offset);
  return short(std::max<long>(0, long(it - ls.begin()) - 1));
}

short lineLeft(TEHandle te, short line) {
  const TERec& r = **te;
  if (r.just == teFlushDefault || r.just == teFlushLeft) return r.destRect.left;
  const UInt8* t = textOf(te);
  short s = lineStartOf(te, line), e = lineEndOf(te, line);
  while (e > s && t[e - 1] == ' ') --e;
  short w = widthOf(t, std::size_t(s), std::size_t(e));
  int room = (r.destRect.right - r.destRect.left) - w;
  if (r.just == teCenter) return short(r.destRect.left + room / 2);
  return short(r.destRect.right - w);
}

// Offsets of the character boundaries of [from, to).
short prevBoundary(TEHandle te, short offset) {
  if (offset <= 0) return 0;
  const UInt8* t = textOf(te);
  const std::size_t n = std::size_t((**te).teLength);
  std::size_t i = std::size_t(lineStartOf(te, lineOf(te, short(offset - 1))));
  if (i >= std::size_t(offset)) i = 0;
  std::size_t last = i;
  while (i < std::size_t(offset)) {
    last = i;
    i += charLen(t, n, i);
  }
  return short(last);
}

short nextBoundary(TEHandle te, short offset) {
  const short n = (**te).teLength;
  if (offset >= n) return n;
  return short(offset + short(charLen(textOf(te), std::size_t(n), std::size_t(offset))));
}

short boundaryAtOrBefore(TEHandle te, short offset) {
  offset = std::clamp<short>(offset, 0, (**te).teLength);
  if (offset == 0 || offset == (**te).teLength) return offset;
  short prev = prevBoundary(te, offset);
  return nextBoundary(te, prev) == offset ? offset : prev;
}

Point offsetToPoint(TEHandle te, short offset) {
  const TERec& r = **te;
  short line = lineOf(te, offset);
  short start = lineStartOf(te, line);
  Point pt;
  pt.v = short(r.destRect.top + line * r.lineHeight);
  pt.h = short(lineLeft(te, line) + widthOf(textOf(te), std::size_t(start), std::size_t(std::max(start, offset))));
  return pt;
}

short pointToOffset(TEHandle te, Point pt) {
  const TERec& r = **te;
  if (r.teLength == 0) return 0;
  short line = r.lineHeight > 0 ? short((pt.v - r.destRect.top) / r.lineHeight) : 0;
  if (pt.v < r.destRect.top) line = 0;
  line = std::clamp<short>(line, 0, lastCaretLine(te));
  short start = lineStartOf(te, line);
  short end = lineEndOf(te, line);
  // A line broken by wrapping ends before its last character, so the caret
  // does not jump to the next line.
  if (line + 1 < r.nLines && end == lineStartOf(te, short(line + 1))) end = prevBoundary(te, end);
  const UInt8* t = textOf(te);
  const std::size_t n = std::size_t(r.teLength);
  int x = lineLeft(te, line);
  for (std::size_t i = std::size_t(start); i < std::size_t(end);) {
    std::size_t len = charLen(t, n, i);
    int w = widthOf(t, i, i + len);
    if (pt.h < x + (w + 1) / 2) return short(i);
    x += w;
    i += len;
  }
  return end;
}

Rect caretRect(TEHandle te) {
  const TERec& r = **te;
  Point p = offsetToPoint(te, r.selStart);
  return Rect{p.v, short(p.h - 1), short(p.v + r.lineHeight), p.h};
}

// ---------------------------------------------------------------------------
// Drawing

const RGBColor kHilite{0xB5B5, 0xD5D5, 0xFFFF};

void drawArea(TEHandle te, const Rect& want) {
  TERec& r = **te;
  Rect area;
  if (!SectRect(&want, &r.viewRect, &area)) return;
  PortScope scope(te);
  if (!scope.ok()) return;
  tb::OwnedRgn saved;
  GetClip(saved);
  tb::OwnedRgn clip;
  RectRgn(clip, &area);
  SectRgn(clip, saved, clip);
  SetClip(clip);
  EraseRect(&area);
  tb::detail::DefaultTextScope tag(tb::TextSource::kTextEdit, &r.viewRect);
  const UInt8* t = textOf(te);
  const bool hilite = r.active && r.selStart != r.selEnd;
  short first = r.lineHeight > 0 ? short(std::max(0, (area.top - r.destRect.top) / r.lineHeight)) : 0;
  for (short line = first; line < r.nLines; ++line) {
    short top = short(r.destRect.top + line * r.lineHeight);
    if (top >= area.bottom) {
      // A static text's lines that fall below its box are lost to the
      // reader (an edit item's are only scrolled out of view).
      if (tb::detail::DrawnTextOn() && tb::detail::CurrentTextSource() == tb::TextSource::kStaticText &&
          area.bottom >= r.viewRect.bottom) {
        for (; line < r.nLines; ++line) {
          short s = lineStartOf(te, line), e = lineEndOf(te, line);
          if (e <= s) continue;
          short lt = short(r.destRect.top + line * r.lineHeight), left = lineLeft(te, line);
          Rect box{lt, left, short(lt + r.lineHeight), short(left + widthOf(t, std::size_t(s), std::size_t(e)))};
          tb::detail::NoteUndrawnText(tb::qd::Current(), std::string_view(reinterpret_cast<const char*>(t) + s, e - s),
                                      box);
        }
      }
      break;
    }
    short s = lineStartOf(te, line), e = lineEndOf(te, line);
    short left = lineLeft(te, line);
    if (hilite && r.selEnd > s && r.selStart <= e) {
      short a = std::max(s, r.selStart), b = std::min(e, r.selEnd);
      Rect sel{top, short(left + widthOf(t, std::size_t(s), std::size_t(a))), short(top + r.lineHeight),
               short(left + widthOf(t, std::size_t(s), std::size_t(b)))};
      // A selection running on past the line's end covers the rest of it.
      if (r.selEnd > e) sel.right = std::max<short>(sel.right, r.destRect.right);
      RGBColor back;
      GetBackColor(&back);
      RGBBackColor(&kHilite);
      EraseRect(&sel);
      RGBBackColor(&back);
    }
    if (e > s) {
      MoveTo(left, short(top + r.fontAscent));
      DrawText(t, s, short(e - s));
    }
  }
  if (r.active && r.selStart == r.selEnd && r.caretState) {
    Rect c = caretRect(te);
    PenState ps;
    GetPenState(&ps);
    PenNormal();
    MoveTo(c.left, c.top);
    LineTo(c.left, short(c.bottom - 1));
    SetPenState(&ps);
  }
  SetClip(saved);
}

void redraw(TEHandle te) { drawArea(te, (**te).viewRect); }

// Keeps the caret (the selection's moving end) inside the view.
void selView(TEHandle te) {
  TERec& r = **te;
  TEPrivate& p = priv(te);
  short moving = (p.anchor >= 0 && p.anchor == r.selStart) ? r.selEnd : r.selStart;
  Point pt = offsetToPoint(te, moving);
  const Rect& v = r.viewRect;
  int dh = 0, dv = 0;
  const int margin = std::min(8, std::max(0, (v.right - v.left) / 4));
  if (pt.h < v.left) dh = v.left - pt.h + margin;
  else if (pt.h >= v.right) dh = v.right - 1 - pt.h - margin;
  // Never leave empty room at the left of the text.
  if (r.destRect.left + dh > v.left) dh = std::max(0, v.left - r.destRect.left);
  if (pt.v < v.top) dv = v.top - pt.v;
  else if (pt.v + r.lineHeight > v.bottom) dv = v.bottom - (pt.v + r.lineHeight);
  if (dh || dv) {
    OffsetRect(&r.destRect, short(dh), short(dv));
  }
}

void changed(TEHandle te) {
  PortScope scope(te);
  TERec& r = **te;
  r.caretState = 1;
  r.caretTime = long(TickCount());
  if (priv(te).autoScroll) selView(te);
  r.selRect = caretRect(te);
  redraw(te);
}

// Replaces [from, to) with bytes, keeping within the size limit; the caret
// goes behind the inserted text.
void replaceRange(TEHandle te, short from, short to, std::string_view bytes) {
  TERec& r = **te;
  from = std::clamp<short>(from, 0, r.teLength);
  to = std::clamp<short>(to, from, r.teLength);
  std::size_t room = std::size_t(kTEMaxLength - (r.teLength - (to - from)));
  std::size_t n = std::min(bytes.size(), room);
  if (n < bytes.size())
    n = tb::Utf8BoundaryPrefix(reinterpret_cast<const unsigned char*>(bytes.data()), n);
  Handle h = r.hText;
  const Size oldLen = r.teLength;
  const Size newLen = oldLen - (to - from) + Size(n);
  std::string tail;
  if (oldLen > to) tail.assign(reinterpret_cast<const char*>(textOf(te)) + to, std::size_t(oldLen - to));
  SetHandleSize(h, newLen);
  if (MemError() != noErr) return;
  char* d = *h;
  if (n) std::memcpy(d + from, bytes.data(), n);
  if (!tail.empty()) std::memcpy(d + from + n, tail.data(), tail.size());
  r.teLength = short(newLen);
  r.selStart = r.selEnd = short(from + short(n));
  priv(te).anchor = -1;
  layout(te);
}

void deleteSelection(TEHandle te) {
  TERec& r = **te;
  if (r.selStart != r.selEnd) replaceRange(te, r.selStart, r.selEnd, {});
}

// Inserts a whole character's bytes in place of the selection.
void typeChar(TEHandle te, std::string_view bytes) {
  TERec& r = **te;
  replaceRange(te, r.selStart, r.selEnd, bytes);
}

// Bytes held back for a character still being typed go in as the
// characters of the same numbers when the rest never comes.
void flushPending(TEHandle te) {
  std::string& pend = priv(te).pending;
  if (pend.empty()) return;
  std::string out;
  for (unsigned char c : pend) out += encode(c);
  pend.clear();
  typeChar(te, out);
}

short wordStart(TEHandle te, short offset) {
  const UInt8* t = textOf(te);
  const std::size_t n = std::size_t((**te).teLength);
  while (offset > 0) {
    short p = prevBoundary(te, offset);
    if (!isWordChar(codeAt(t, n, std::size_t(p)))) break;
    offset = p;
  }
  return offset;
}

short wordEnd(TEHandle te, short offset) {
  const UInt8* t = textOf(te);
  const short n = (**te).teLength;
  while (offset < n && isWordChar(codeAt(t, std::size_t(n), std::size_t(offset)))) offset = nextBoundary(te, offset);
  return offset;
}

// The word (or the single other character) at offset.
void wordAt(TEHandle te, short offset, short* s, short* e) {
  const UInt8* t = textOf(te);
  const short n = (**te).teLength;
  if (offset < n && isWordChar(codeAt(t, std::size_t(n), std::size_t(offset)))) {
    *s = wordStart(te, offset);
    *e = wordEnd(te, offset);
  } else if (offset > 0 && isWordChar(codeAt(t, std::size_t(n), std::size_t(prevBoundary(te, offset))))) {
    *s = wordStart(te, offset);
    *e = offset;
  } else {
    *s = offset;
    *e = nextBoundary(te, offset);
    if (offset < n && t[offset] == '\r') *e = offset;
  }
}

void select(TEHandle te, short anchor, short moving) {
  TERec& r = **te;
  r.selStart = std::min(anchor, moving);
  r.selEnd = std::max(anchor, moving);
}

}  // namespace

// ---------------------------------------------------------------------------

void TEInit() {}

TEHandle TENew(const Rect* destRect, const Rect* viewRect) {
  if (!destRect || !viewRect) return nullptr;
  Handle h = NewHandleClear(sizeof(TERec));
  if (!h) return nullptr;
  auto te = reinterpret_cast<TEHandle>(h);
  TERec& r = **te;
  r.destRect = *destRect;
  r.viewRect = *viewRect;
  r.hText = NewHandle(0);
  if (!r.hText) {
    DisposeHandle(h);
    return nullptr;
  }
  r.tbPrivate = new TEPrivate;
  GrafPtr port = nullptr;
  GetPort(&port);
  r.inPort = port;
  r.txFont = port ? GetPortTextFont(port) : 0;
  r.txFace = port ? GetPortTextFace(port) : 0;
  r.txSize = port ? GetPortTextSize(port) : 12;
  r.txMode = srcOr;
  r.just = teFlushDefault;
  FontInfo fi{12, 3, 12, 0};
  if (port) GetFontInfo(&fi);
  r.fontAscent = fi.ascent;
  r.lineHeight = short(fi.ascent + fi.descent + fi.leading);
  if (r.lineHeight <= 0) r.lineHeight = 1;
  r.selRect = Rect{r.destRect.top, r.destRect.left, short(r.destRect.top + r.lineHeight), r.destRect.left};
  return te;
}

TEHandle TEStyleNew(const Rect* destRect, const Rect* viewRect) { return TENew(destRect, viewRect); }

void TEDispose(TEHandle te) {
  if (!valid(te)) return;
  delete static_cast<TEPrivate*>((**te).tbPrivate);
  (**te).tbPrivate = nullptr;
  DisposeHandle((**te).hText);
  DisposeHandle(reinterpret_cast<Handle>(te));
}

void TESetText(const void* text, long length, TEHandle te) {
  if (!valid(te)) return;
  if (length < 0 || (length > 0 && !text)) length = 0;
  std::size_t n = std::size_t(std::min<long>(length, kTEMaxLength));
  if (n < std::size_t(length)) n = tb::Utf8BoundaryPrefix(static_cast<const unsigned char*>(text), n);
  TERec& r = **te;
  SetHandleSize(r.hText, Size(n));
  if (MemError() != noErr) return;
  if (n) std::memcpy(*r.hText, text, n);
  r.teLength = short(n);
  r.selStart = r.selEnd = short(n);
  priv(te).pending.clear();
  priv(te).anchor = -1;
  layout(te);
}

CharsHandle TEGetText(TEHandle te) { return valid(te) ? (**te).hText : nullptr; }

void TECalText(TEHandle te) {
  if (valid(te)) layout(te);
}

void TEUpdate(const Rect* rUpdate, TEHandle te) {
  if (!valid(te) || !rUpdate) return;
  drawArea(te, *rUpdate);
}

void TEScroll(short dh, short dv, TEHandle te) {
  if (!valid(te) || (!dh && !dv)) return;
  OffsetRect(&(**te).destRect, dh, dv);
  redraw(te);
}

short TEFeatureFlag(short feature, short action, TEHandle te) {
  if (!valid(te)) return 0;
  if (feature != teFAutoScroll) return 0;
  bool& flag = priv(te).autoScroll;
  short old = flag ? 1 : 0;
  if (action == teBitSet) flag = true;
  else if (action == teBitClear) flag = false;
  return old;
}

void TESetAlignment(short just, TEHandle te) {
  if (valid(te)) (**te).just = just;
}

void TEKey(CharParameter key, TEHandle te) { tb::TEKeyWithModifiers(key, 0, te); }

void tb::TEKeyWithModifiers(CharParameter key, EventModifiers mods, TEHandle te) {
  if (!valid(te)) return;
  PortScope scope(te);
  TERec& r = **te;
  TEPrivate& p = priv(te);
  const unsigned char c = static_cast<unsigned char>(key);
  const bool shift = (mods & shiftKey) != 0;

  if (c >= 0x80) {
    // A byte that cannot be part of a sequence here stands for the
    // character of its number, stored as UTF-8 so the text stays valid.
    std::string& pend = p.pending;
    if ((c & 0xC0) == 0x80 && pend.empty()) {
      typeChar(te, encode(c));
      return changed(te);
    }
    if ((c & 0xC0) != 0x80) {
      flushPending(te);
      if (c < 0xC2 || c > 0xF4) {
        typeChar(te, encode(c));
        return changed(te);
      }
    }
    pend += char(c);
    const unsigned lead = static_cast<unsigned char>(pend[0]);
    const std::size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (pend.size() < want) return;
    const auto* b = reinterpret_cast<const UInt8*>(pend.data());
    if (charLen(b, pend.size(), 0) == pend.size()) {
      std::string whole = pend;
      pend.clear();
      typeChar(te, whole);
    } else {
      flushPending(te);
    }
    return changed(te);
  }
  flushPending(te);

  auto moveTo = [&](short target) {
    if (shift) {
      if (p.anchor < 0) p.anchor = (target < r.selStart) ? r.selEnd : r.selStart;
      select(te, p.anchor, target);
    } else {
      p.anchor = -1;
      r.selStart = r.selEnd = target;
    }
  };
  // With a selection, the keys move from its moving end.
  const short moving = (p.anchor >= 0 && p.anchor == r.selStart) ? r.selEnd : r.selStart;
  switch (c) {
    case kBackspaceCharCode:
      if (r.selStart != r.selEnd) deleteSelection(te);
      else if (r.selStart > 0) replaceRange(te, prevBoundary(te, r.selStart), r.selStart, {});
      break;
    case kDeleteCharCode:
      if (r.selStart != r.selEnd) deleteSelection(te);
      else if (r.selStart < r.teLength) replaceRange(te, r.selStart, nextBoundary(te, r.selStart), {});
      break;
    case kLeftArrowCharCode:
      if (!shift && r.selStart != r.selEnd) moveTo(r.selStart);
      else moveTo(prevBoundary(te, shift ? moving : r.selStart));
      break;
    case kRightArrowCharCode:
      if (!shift && r.selStart != r.selEnd) moveTo(r.selEnd);
      else moveTo(nextBoundary(te, shift ? moving : r.selEnd));
      break;
    case kUpArrowCharCode:
    case kDownArrowCharCode: {
      short from = shift ? moving : (c == kUpArrowCharCode ? r.selStart : r.selEnd);
      short line = lineOf(te, from);
      short target;
      if (c == kUpArrowCharCode && line == 0) {
        target = 0;
      } else if (c == kDownArrowCharCode && line >= lastCaretLine(te)) {
        target = r.teLength;
      } else {
        Point pt = offsetToPoint(te, from);
        pt.v = short(pt.v + (c == kUpArrowCharCode ? -r.lineHeight : r.lineHeight));
        target = pointToOffset(te, pt);
      }
      moveTo(target);
      break;
    }
    case kHomeCharCode:
      moveTo(0);
      break;
    case kEndCharCode:
      moveTo(r.teLength);
      break;
    case kReturnCharCode:
      typeChar(te, "\r");
      break;
    case kTabCharCode:
      typeChar(te, "\t");
      break;
    default:
      if (c < 0x20) return;  // other control characters have no text
      typeChar(te, std::string(1, char(c)));
      break;
  }
  changed(te);
}

void TEClick(Point pt, Boolean extend, TEHandle te) {
  if (!valid(te)) return;
  PortScope scope(te);
  TERec& r = **te;
  TEPrivate& p = priv(te);
  flushPending(te);
  const UInt32 now = TickCount();
  short offset = pointToOffset(te, pt);
  const bool dbl = !extend && r.clickLoc == offset && now - UInt32(r.clickTime) <= GetDblTime() &&
                   std::abs(pt.h - r.selPoint.h) <= 4 && std::abs(pt.v - r.selPoint.v) <= 4;
  short anchorS = offset, anchorE = offset;
  if (dbl) {
    wordAt(te, offset, &anchorS, &anchorE);
    p.wordMode = true;
    p.anchor = -1;
    r.selStart = anchorS;
    r.selEnd = anchorE;
  } else if (extend) {
    if (p.anchor < 0) p.anchor = offset < r.selStart ? r.selEnd : r.selStart;
    p.wordMode = false;
    select(te, p.anchor, offset);
  } else {
    p.wordMode = false;
    p.anchor = offset;
    r.selStart = r.selEnd = offset;
  }
  r.clickTime = long(now);
  r.clickLoc = offset;
  r.selPoint = pt;
  changed(te);

  // Follow the mouse (in the record's port, current here) while the
  // button is held.
  while (StillDown()) {
    Point m;
    GetMouse(&m);
    short at = pointToOffset(te, m);
    short s = r.selStart, e = r.selEnd;
    if (p.wordMode) {
      short ws, we;
      wordAt(te, at, &ws, &we);
      r.selStart = std::min(anchorS, ws);
      r.selEnd = std::max(anchorE, we);
    } else {
      select(te, p.anchor, at);
    }
    if (s != r.selStart || e != r.selEnd) {
      if (p.autoScroll) selView(te);
      redraw(te);
    }
  }
  if (p.wordMode) p.anchor = -1;
}

void TEIdle(TEHandle te) {
  if (!valid(te)) return;
  TERec& r = **te;
  if (!r.active || r.selStart != r.selEnd) return;
  const UInt32 now = TickCount();
  if (now - UInt32(r.caretTime) < GetCaretTime()) return;
  r.caretTime = long(now);
  r.caretState = r.caretState ? 0 : 1;
  PortScope scope(te);
  Rect c = caretRect(te);
  drawArea(te, c);
}

void TEActivate(TEHandle te) {
  if (!valid(te) || (**te).active) return;
  (**te).active = 1;
  (**te).caretState = 1;
  (**te).caretTime = long(TickCount());
  redraw(te);
}

void TEDeactivate(TEHandle te) {
  if (!valid(te) || !(**te).active) return;
  flushPending(te);
  (**te).active = 0;
  (**te).caretState = 0;
  redraw(te);
}

void TESetSelect(long selStart, long selEnd, TEHandle te) {
  if (!valid(te)) return;
  flushPending(te);
  TERec& r = **te;
  short a = boundaryAtOrBefore(te, short(std::clamp<long>(selStart, 0, r.teLength)));
  short b = boundaryAtOrBefore(te, short(std::clamp<long>(selEnd, 0, r.teLength)));
  r.selStart = std::min(a, b);
  r.selEnd = std::max(a, b);
  priv(te).anchor = -1;
  r.caretState = 1;
  r.caretTime = long(TickCount());
  if (r.active) redraw(te);
}

void TEDelete(TEHandle te) {
  if (!valid(te)) return;
  flushPending(te);
  deleteSelection(te);
  changed(te);
}

void TEInsert(const void* text, long length, TEHandle te) {
  if (!valid(te) || !text || length <= 0) return;
  flushPending(te);
  TERec& r = **te;
  const short s = r.selStart, e = r.selEnd;
  const short before = r.teLength;
  std::string_view bytes(static_cast<const char*>(text), std::size_t(std::min<long>(length, kTEMaxLength)));
  replaceRange(te, s, s, bytes);
  const short added = short(r.teLength - before);
  r.selStart = short(s + added);
  r.selEnd = short(e + added);
  changed(te);
}

void TECopy(TEHandle te) {
  if (!valid(te)) return;
  flushPending(te);
  const TERec& r = **te;
  if (r.selStart == r.selEnd) return;
  tb::PutScrapText(std::string_view(reinterpret_cast<const char*>(textOf(te)) + r.selStart,
                                    std::size_t(r.selEnd - r.selStart)));
}

void TECut(TEHandle te) {
  if (!valid(te)) return;
  TECopy(te);
  deleteSelection(te);
  changed(te);
}

void TEPaste(TEHandle te) {
  if (!valid(te)) return;
  flushPending(te);
  std::string text;
  if (!tb::GetScrapText(&text)) return;
  // Lines end with a carriage return here, whatever the clipboard had.
  std::string clean;
  clean.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    clean += text[i] == '\n' ? '\r' : text[i];
  }
  TERec& r = **te;
  replaceRange(te, r.selStart, r.selEnd, clean);
  changed(te);
}

short tb::TEBoundaryAtOrBefore(TEHandle te, long offset) {
  if (!valid(te)) return 0;
  return boundaryAtOrBefore(te, short(std::clamp<long>(offset, 0, (**te).teLength)));
}

short tb::TELineStart(TEHandle te, short line) { return valid(te) ? lineStartOf(te, line) : 0; }

Point tb::TEOffsetToPoint(TEHandle te, short offset) {
  if (!valid(te)) return Point{0, 0};
  PortScope scope(te);
  return offsetToPoint(te, std::clamp<short>(offset, 0, (**te).teLength));
}

short tb::TEPointToOffset(TEHandle te, Point pt) {
  if (!valid(te)) return 0;
  PortScope scope(te);
  return pointToOffset(te, pt);
}

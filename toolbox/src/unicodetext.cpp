// Unicode labels: styles, layouts of UTF-16 text in style runs, measured
// and drawn in the current port through the font layer.
#include "toolbox/unicodetext.h"

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "drawntext_internal.h"
#include "toolbox/fonts.h"
#include "utf8_internal.h"

struct OpaqueATSUStyle {
  short font = systemFont;
  short size = 12;
  bool hasColor = false;
  RGBColor color{0, 0, 0};
};

struct OpaqueATSUTextLayout {
  std::vector<UniChar> text;  // the layout's range only
  UniCharArrayOffset offset = 0;
  struct Run {
    UniCharCount length;
    ATSUStyle style;
  };
  std::vector<Run> runs;
};

namespace {

std::unordered_set<ATSUStyle>& styles() {
  static std::unordered_set<ATSUStyle> s;
  return s;
}
std::unordered_set<ATSUTextLayout>& layouts() {
  static std::unordered_set<ATSUTextLayout> s;
  return s;
}

// A style disposed while a layout still names it draws as a new style would.
const OpaqueATSUStyle& styleOf(ATSUStyle s) {
  static const OpaqueATSUStyle plain;
  return styles().count(s) ? *s : plain;
}

// The port's text settings, put back when done.
class PortText {
 public:
  PortText() {
    GetPort(&port_);
    ok_ = port_ != nullptr;
    if (!ok_) return;
    font_ = GetPortTextFont(port_);
    size_ = GetPortTextSize(port_);
    face_ = GetPortTextFace(port_);
    GetForeColor(&fore_);
  }
  ~PortText() {
    if (!ok_) return;
    TextFont(font_);
    TextSize(size_);
    TextFace(face_);
    RGBForeColor(&fore_);
  }
  bool ok() const { return ok_; }
  void use(const OpaqueATSUStyle& s) {
    TextFont(s.font);
    TextSize(s.size);
    TextFace(0);
    RGBForeColor(s.hasColor ? &s.color : &fore_);
  }
  PortText(const PortText&) = delete;
  PortText& operator=(const PortText&) = delete;

 private:
  GrafPtr port_ = nullptr;
  bool ok_ = false;
  short font_ = 0, size_ = 0;
  Style face_ = 0;
  RGBColor fore_{};
};

// A piece of a run: its style and its text as UTF-8.
struct Piece {
  const OpaqueATSUStyle* style;
  std::string utf8;
};

OSStatus pieces(ATSUTextLayout l, UniCharArrayOffset start, UniCharCount length, std::vector<Piece>* out) {
  if (!layouts().count(l)) return kATSUInvalidTextLayoutErr;
  const std::size_t n = l->text.size();
  std::size_t from = start == kATSUFromTextBeginning ? 0 : start - std::min<std::size_t>(start, l->offset);
  if (start != kATSUFromTextBeginning && (start < l->offset || from > n)) return kATSUInvalidTextRangeErr;
  std::size_t to = length == kATSUToTextEnd ? n : from + length;
  if (to > n || to < from) return kATSUInvalidTextRangeErr;
  std::size_t at = 0;
  for (const auto& r : l->runs) {
    const std::size_t a = std::max(at, from), b = std::min(at + r.length, to);
    if (a < b) out->push_back({&styleOf(r.style), tb::utf8::FromUTF16(l->text.data() + a, b - a)});
    at += r.length;
  }
  return noErr;
}

// Text longer than the font layer takes at once goes in pieces cut on
// character boundaries.
template <typename F>
void inChunks(const std::string& s, F f) {
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = std::min<std::size_t>(s.size() - i, 16384);
    n = std::max<std::size_t>(1, tb::Utf8BoundaryPrefix(reinterpret_cast<const unsigned char*>(s.data()) + i, n));
    f(s.data() + i, short(n));
    i += n;
  }
}

short fixedToPixels(ATSUTextMeasurement v) { return short(std::clamp(v >> 16, -32000, 32000)); }

}  // namespace

OSStatus ATSUCreateStyle(ATSUStyle* style) {
  if (!style) return paramErr;
  *style = new OpaqueATSUStyle;
  styles().insert(*style);
  return noErr;
}

OSStatus ATSUDisposeStyle(ATSUStyle style) {
  if (!styles().erase(style)) return kATSUInvalidStyleErr;
  delete style;
  return noErr;
}

OSStatus ATSUSetAttributes(ATSUStyle style, ItemCount count, const ATSUAttributeTag tags[], const ByteCount sizes[],
                           const ATSUAttributeValuePtr values[]) {
  if (!styles().count(style)) return kATSUInvalidStyleErr;
  if (count > 0 && (!tags || !sizes || !values)) return paramErr;
  for (ItemCount i = 0; i < count; ++i) {
    if (!values[i]) return kATSUInvalidAttributeValueErr;
    switch (tags[i]) {
      case kATSUFontTag: {
        if (sizes[i] < sizeof(ATSUFontID)) return kATSUInvalidAttributeValueErr;
        ATSUFontID id = *static_cast<const ATSUFontID*>(values[i]);
        if (id > 0x7FFF) return kATSUInvalidFontErr;
        style->font = short(id);
        break;
      }
      case kATSUSizeTag: {
        if (sizes[i] < sizeof(Fixed)) return kATSUInvalidAttributeValueErr;
        Fixed f = *static_cast<const Fixed*>(values[i]);
        if (f < (1 << 16) || f > (512 << 16)) return kATSUInvalidAttributeValueErr;
        style->size = short((f + 0x8000) >> 16);
        break;
      }
      case kATSUColorTag:
        if (sizes[i] < sizeof(RGBColor)) return kATSUInvalidAttributeValueErr;
        style->color = *static_cast<const RGBColor*>(values[i]);
        style->hasColor = true;
        break;
      default:
        return kATSUInvalidAttributeTagErr;
    }
  }
  return noErr;
}

OSStatus ATSUFindFontFromName(const void* name, ByteCount length, FontNameCode, FontPlatformCode, FontScriptCode,
                              FontLanguageCode, ATSUFontID* font) {
  if (!font || (!name && length)) return paramErr;
  *font = 0;
  if (length == 0 || length > 255) return kATSUInvalidFontErr;
  Str255 p;
  p[0] = UInt8(length);
  std::copy_n(static_cast<const unsigned char*>(name), length, p + 1);
  short num = 0;
  GetFNum(p, &num);
  if (num == 0) {
    // Font number 0 is also the answer for an unknown name: only the
    // system font's own name means it.
    Str255 sys;
    GetFontName(0, sys);
    if (!std::equal(p, p + p[0] + 1, sys)) return kATSUInvalidFontErr;
  }
  *font = ATSUFontID(UInt16(num));
  return noErr;
}

OSStatus ATSUCreateTextLayoutWithTextPtr(ConstUniCharArrayPtr text, UniCharArrayOffset offset, UniCharCount length,
                                         UniCharCount totalLength, ItemCount numberOfRuns,
                                         const UniCharCount runLengths[], ATSUStyle styleList[],
                                         ATSUTextLayout* layout) {
  if (!layout) return paramErr;
  *layout = nullptr;
  if ((!text && totalLength) || offset > totalLength || length > totalLength - offset) return kATSUInvalidTextRangeErr;
  if (numberOfRuns > 0 && (!runLengths || !styleList)) return paramErr;
  auto l = new OpaqueATSUTextLayout;
  if (length) l->text.assign(text + offset, text + offset + length);
  l->offset = offset;
  UniCharCount covered = 0;
  for (ItemCount i = 0; i < numberOfRuns && covered < length; ++i) {
    UniCharCount n = runLengths[i] == kATSUToTextEnd ? length - covered : std::min(runLengths[i], length - covered);
    if (!styles().count(styleList[i])) {
      delete l;
      return kATSUInvalidStyleErr;
    }
    l->runs.push_back({n, styleList[i]});
    covered += n;
  }
  // Text the runs leave out takes the last run's style (or a plain one).
  if (covered < length) l->runs.push_back({length - covered, l->runs.empty() ? nullptr : l->runs.back().style});
  layouts().insert(l);
  *layout = l;
  return noErr;
}

OSStatus ATSUDisposeTextLayout(ATSUTextLayout layout) {
  if (!layouts().erase(layout)) return kATSUInvalidTextLayoutErr;
  delete layout;
  return noErr;
}

OSStatus ATSUDrawText(ATSUTextLayout layout, UniCharArrayOffset start, UniCharCount length, ATSUTextMeasurement x,
                      ATSUTextMeasurement y) {
  std::vector<Piece> ps;
  if (OSStatus err = pieces(layout, start, length, &ps)) return err;
  PortText pt;
  if (!pt.ok()) return paramErr;
  if (x != kATSUUseGrafPortPenLoc && y != kATSUUseGrafPortPenLoc) MoveTo(fixedToPixels(x), fixedToPixels(y));
  tb::detail::DefaultTextScope tag(tb::TextSource::kUnicodeText, nullptr);
  for (const Piece& p : ps) {
    pt.use(*p.style);
    inChunks(p.utf8, [](const char* s, short n) { DrawText(s, 0, n); });
  }
  return noErr;
}

OSStatus ATSUMeasureTextImage(ATSUTextLayout layout, UniCharArrayOffset start, UniCharCount length,
                              ATSUTextMeasurement x, ATSUTextMeasurement y, Rect* image) {
  if (!image) return paramErr;
  std::vector<Piece> ps;
  if (OSStatus err = pieces(layout, start, length, &ps)) return err;
  PortText pt;
  if (!pt.ok()) return paramErr;
  Point pen{0, 0};
  if (x == kATSUUseGrafPortPenLoc || y == kATSUUseGrafPortPenLoc) GetPen(&pen);
  const int left = x == kATSUUseGrafPortPenLoc ? pen.h : fixedToPixels(x);
  const int base = y == kATSUUseGrafPortPenLoc ? pen.v : fixedToPixels(y);
  int width = 0, ascent = 0, descent = 0;
  for (const Piece& p : ps) {
    pt.use(*p.style);
    FontInfo fi;
    GetFontInfo(&fi);
    ascent = std::max<int>(ascent, fi.ascent);
    descent = std::max<int>(descent, fi.descent);
    inChunks(p.utf8, [&](const char* s, short n) { width += TextWidth(s, 0, n); });
  }
  auto c = [](int v) { return short(std::clamp(v, -32000, 32000)); };
  *image = Rect{c(base - ascent), c(left), c(base + descent), c(left + width)};
  return noErr;
}

// Text through FreeType, with fonts found by fontconfig.
//
// Widths are whole pixels per character taken from the unhinted outlines,
// so measuring and drawing agree and the numbers do not depend on hinting
// settings. Styles follow the old rules: bold, outline, shadow and extend
// widen every character, condense narrows it; bold and italic use the
// family's own faces when the host has them and are synthesised otherwise.
#include "toolbox/fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H

#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <unordered_map>

#include "drawntext_internal.h"
#include "qd_internal.h"
#include "screen_internal.h"
#include "utf8_internal.h"

using namespace tb::qd;

namespace {

constexpr int kDefaultSize = 12;
constexpr int kMaxSize = 512;
constexpr std::size_t kMaxCachedGlyphs = 16384;

// Font numbers the programs know by name, and the host family each stands
// for when the host has no family of that name.
struct Family {
  short num;
  const char* name;
  const char* substitute;
};
constexpr Family kFamilies[] = {
    {systemFont, "System", "DejaVu Sans"},
    {2, "New York", "DejaVu Serif"},
    {3, "Geneva", "DejaVu Sans"},
    {4, "Monaco", "DejaVu Sans Mono"},
    {20, "Times", "DejaVu Serif"},
    {21, "Helvetica", "DejaVu Sans"},
    {22, "Courier", "DejaVu Sans Mono"},
    {1024, "Arial", "DejaVu Sans"},
    {16384, "Osaka", "Noto Sans CJK JP"},
};
constexpr short kApplFontIs = 3;      // the application font is Geneva
constexpr short kFirstHostFamily = 2048;
const char* const kFallbackFamilies[] = {"DejaVu Sans", "Noto Sans CJK JP"};

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

struct FaceRef {
  FT_Face face = nullptr;
  bool synthBold = false;
  bool synthItalic = false;
};

struct Glyph {
  int advance = 0;  // whole pixels, before style extras
  int left = 0;     // bitmap position relative to the pen on the baseline
  int top = 0;
  int width = 0;
  int height = 0;
  std::vector<UInt8> coverage;
};

struct GlyphKey {
  FT_Face face;
  int size;
  unsigned index;
  bool bold;
  bool italic;
  bool operator==(const GlyphKey& o) const {
    return face == o.face && size == o.size && index == o.index && bold == o.bold && italic == o.italic;
  }
};
struct GlyphKeyHash {
  std::size_t operator()(const GlyphKey& k) const {
    std::size_t h = std::hash<const void*>()(k.face);
    h = h * 31 + std::size_t(k.size);
    h = h * 31 + k.index;
    return h * 4 + (k.bold ? 2 : 0) + (k.italic ? 1 : 0);
  }
};

class Fonts {
 public:
  static Fonts& get() {
    static Fonts f;
    return f;
  }

  bool ok() const { return lib_ != nullptr; }

  short numberFor(std::string_view name) {
    if (name.empty()) return 0;
    std::string lname = Lower(name);
    for (const auto& f : kFamilies)
      if (Lower(f.name) == lname) return f.num;
    if (lname == "application") return applFont;
    for (const auto& [num, fam] : hostFamilies_)
      if (Lower(fam) == lname) return num;
    // Any family the host really has gets a number of its own.
    std::string found = matchFamily(std::string(name));
    if (found.empty() || Lower(found) != lname) return 0;
    short num = short(kFirstHostFamily + hostFamilies_.size());
    if (num < kFirstHostFamily) return 0;  // out of numbers
    hostFamilies_.emplace(num, found);
    return num;
  }

  std::string nameFor(short num) {
    if (num == applFont) num = kApplFontIs;
    for (const auto& f : kFamilies)
      if (f.num == num) return f.name;
    auto it = hostFamilies_.find(num);
    return it != hostFamilies_.end() ? it->second : std::string();
  }

  // The host family that a font number draws with.
  std::string hostFamily(short num) {
    if (num == applFont) num = kApplFontIs;
    for (const auto& f : kFamilies) {
      if (f.num != num) continue;
      // A host that has the real family uses it.
      std::string found = matchFamily(f.name);
      return (!found.empty() && Lower(found) == Lower(f.name)) ? found : f.substitute;
    }
    auto it = hostFamilies_.find(num);
    return it != hostFamilies_.end() ? it->second : kFamilies[0].substitute;
  }

  const FaceRef& primary(short num, Style face) {
    bool b = face & bold, i = face & italic;
    auto key = std::make_tuple(num, b, i);
    auto it = primaries_.find(key);
    if (it != primaries_.end()) return it->second;
    FaceRef ref = open(hostFamily(num), b, i, 0);
    if (!ref.face) ref = open(kFallbackFamilies[0], b, i, 0);
    return primaries_[key] = ref;
  }

  // The face that draws code point cp for the given primary face.
  std::pair<FaceRef, unsigned> faceFor(const FaceRef& prim, Style style, char32_t cp) {
    if (prim.face) {
      unsigned gi = FT_Get_Char_Index(prim.face, cp);
      if (gi) return {prim, gi};
    }
    bool b = style & bold, i = style & italic;
    auto key = std::make_tuple(cp, b, i);
    auto it = fallbacks_.find(key);
    if (it == fallbacks_.end()) {
      FaceRef found;
      for (const char* fam : kFallbackFamilies) {
        FaceRef r = open(fam, b, i, 0);
        if (r.face && FT_Get_Char_Index(r.face, cp)) {
          found = r;
          break;
        }
      }
      if (!found.face) found = open("", b, i, cp);
      if (found.face && !FT_Get_Char_Index(found.face, cp)) found = FaceRef{};
      it = fallbacks_.emplace(key, found).first;
    }
    if (it->second.face) return {it->second, FT_Get_Char_Index(it->second.face, cp)};
    return {prim, 0};  // the font's own "missing" shape
  }

  bool activate(FT_Face face, int size) {
    auto key = std::make_pair(face, size);
    auto it = sizes_.find(key);
    if (it == sizes_.end()) {
      FT_Size sz = nullptr;
      if (FT_New_Size(face, &sz)) return false;
      FT_Activate_Size(sz);
      if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(size))) return false;
      it = sizes_.emplace(key, sz).first;
    }
    return FT_Activate_Size(it->second) == 0;
  }

  const Glyph& glyph(const FaceRef& ref, unsigned index, int size) {
    GlyphKey key{ref.face, size, index, ref.synthBold, ref.synthItalic};
    auto it = glyphs_.find(key);
    if (it != glyphs_.end()) {
      ++stats_.hits;
      return it->second;
    }
    ++stats_.misses;
    if (glyphs_.size() >= kMaxCachedGlyphs) glyphs_.clear();
    Glyph g;
    render(ref, index, size, g);
    return glyphs_.emplace(key, std::move(g)).first->second;
  }

  tb::GlyphCacheStats stats() const { return stats_; }

  std::string fileOf(FT_Face face) const {
    for (const auto& [k, f] : faces_)
      if (f == face) return k.first;
    return {};
  }

 private:
  Fonts() {
    if (FT_Init_FreeType(&lib_)) lib_ = nullptr;
    // Fontconfig keeps its configuration until FcFini; releasing it at exit
    // keeps leak checkers quiet.
    if (FcInit()) std::atexit(FcFini);
  }

  std::string matchFamily(const std::string& name) {
    auto it = familyMatches_.find(name);
    if (it != familyMatches_.end()) return it->second;
    std::string result;
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult res;
    FcPattern* m = FcFontMatch(nullptr, pat, &res);
    FcChar8* fam = nullptr;
    if (m && FcPatternGetString(m, FC_FAMILY, 0, &fam) == FcResultMatch && fam)
      result = reinterpret_cast<const char*>(fam);
    if (m) FcPatternDestroy(m);
    FcPatternDestroy(pat);
    familyMatches_[name] = result;
    return result;
  }

  // A face of the family (or, with an empty family, any face that has cp).
  FaceRef open(const std::string& family, bool b, bool i, char32_t cp) {
    auto key = std::make_tuple(family, b, i, cp);
    auto it = opened_.find(key);
    if (it != opened_.end()) return it->second;
    FaceRef ref;
    if (lib_) {
      FcPattern* pat = FcPatternCreate();
      if (!family.empty()) FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
      FcPatternAddInteger(pat, FC_WEIGHT, b ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
      FcPatternAddInteger(pat, FC_SLANT, i ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
      FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
      if (cp) {
        FcCharSet* cs = FcCharSetCreate();
        FcCharSetAddChar(cs, cp);
        FcPatternAddCharSet(pat, FC_CHARSET, cs);
        FcCharSetDestroy(cs);
      }
      FcConfigSubstitute(nullptr, pat, FcMatchPattern);
      FcDefaultSubstitute(pat);
      FcResult res;
      FcPattern* m = FcFontMatch(nullptr, pat, &res);
      FcChar8* file = nullptr;
      int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
      if (m && FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch && file) {
        FcPatternGetInteger(m, FC_INDEX, 0, &index);
        FcPatternGetInteger(m, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(m, FC_SLANT, 0, &slant);
        ref.face = load(reinterpret_cast<const char*>(file), index);
        ref.synthBold = ref.face && b && weight < FC_WEIGHT_DEMIBOLD;
        ref.synthItalic = ref.face && i && slant == FC_SLANT_ROMAN;
      }
      if (m) FcPatternDestroy(m);
      FcPatternDestroy(pat);
    }
    opened_[key] = ref;
    return ref;
  }

  FT_Face load(const std::string& file, int index) {
    auto key = std::make_pair(file, index);
    auto it = faces_.find(key);
    if (it != faces_.end()) return it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(lib_, file.c_str(), index, &face) || !FT_IS_SCALABLE(face)) {
      if (face) FT_Done_Face(face);
      face = nullptr;
    }
    faces_[key] = face;
    return face;
  }

  void render(const FaceRef& ref, unsigned index, int size, Glyph& g) {
    if (!ref.face || !activate(ref.face, size)) return;
    if (FT_Load_Glyph(ref.face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP)) return;
    FT_GlyphSlot slot = ref.face->glyph;
    g.advance = int(std::lround(double(slot->linearHoriAdvance) / 65536.0));
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return;
    if (ref.synthItalic) {
      FT_Matrix shear{0x10000, 0x3666, 0, 0x10000};  // about 12 degrees
      FT_Outline_Transform(&slot->outline, &shear);
    }
    if (ref.synthBold) FT_Outline_EmboldenXY(&slot->outline, 48, 0);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL)) return;
    const FT_Bitmap& bm = slot->bitmap;
    if (bm.pixel_mode != FT_PIXEL_MODE_GRAY || bm.width == 0 || bm.rows == 0) return;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = int(bm.width);
    g.height = int(bm.rows);
    g.coverage.resize(std::size_t(g.width) * g.height);
    for (int y = 0; y < g.height; ++y) {
      const unsigned char* src = bm.pitch >= 0 ? bm.buffer + std::ptrdiff_t(y) * bm.pitch
                                               : bm.buffer + std::ptrdiff_t(g.height - 1 - y) * -bm.pitch;
      std::memcpy(g.coverage.data() + std::size_t(y) * g.width, src, std::size_t(g.width));
    }
  }

  FT_Library lib_ = nullptr;
  std::map<std::pair<std::string, int>, FT_Face> faces_;
  std::map<std::pair<FT_Face, int>, FT_Size> sizes_;
  std::map<std::tuple<std::string, bool, bool, char32_t>, FaceRef> opened_;
  std::map<std::tuple<short, bool, bool>, FaceRef> primaries_;
  std::map<std::tuple<char32_t, bool, bool>, FaceRef> fallbacks_;
  std::map<std::string, std::string> familyMatches_;
  std::map<short, std::string> hostFamilies_;
  std::unordered_map<GlyphKey, Glyph, GlyphKeyHash> glyphs_;
  tb::GlyphCacheStats stats_{0, 0};
};

// ---------------------------------------------------------------------------
// UTF-8

using tb::utf8::Decode;

// ---------------------------------------------------------------------------
// Measuring and drawing in a port

struct TextStyle {
  short font;
  Style face;
  int size;
  int extra;  // pixels added to every character's advance
  const FaceRef* prim;
};

TextStyle StyleOf(const GrafPort* p) {
  TextStyle s;
  s.font = p->txFont;
  s.face = p->txFace;
  s.size = p->txSize <= 0 ? kDefaultSize : std::min<int>(p->txSize, kMaxSize);
  s.prim = &Fonts::get().primary(s.font, s.face);
  s.extra = (s.face & shadow) ? 2 : (s.face & outline) ? 1 : 0;
  if (s.face & extend) s.extra += 1;
  if (s.face & condense) s.extra -= 1;
  if ((s.face & bold) && s.prim->synthBold) s.extra += 1;
  return s;
}

struct Placed {
  const Glyph* glyph;
  int advance;
};

Placed Place(const TextStyle& st, char32_t cp) {
  auto [ref, index] = Fonts::get().faceFor(*st.prim, st.face, cp);
  const Glyph& g = Fonts::get().glyph(ref, index, st.size);
  return {&g, std::max(0, g.advance + st.extra)};
}

int Measure(const TextStyle& st, const unsigned char* t, std::size_t n) {
  n = tb::Utf8BoundaryPrefix(t, n);
  int w = 0;
  for (std::size_t i = 0; i < n;) {
    auto [cp, len] = Decode(t, n, i);
    i += len;
    w += Place(st, cp).advance;
  }
  return w;
}

void Metrics(const TextStyle& st, FontInfo* info) {
  *info = FontInfo{0, 0, 0, 0};
  FT_Face f = st.prim->face;
  if (!f || !f->units_per_EM) return;
  double scale = double(st.size) / f->units_per_EM;
  int asc = int(std::lround(f->ascender * scale));
  int desc = int(std::lround(-f->descender * scale));
  int height = int(std::lround(f->height * scale));
  info->ascent = SInt16(asc);
  info->descent = SInt16(desc);
  info->leading = SInt16(std::max(0, height - asc - desc));
  info->widMax = SInt16(std::max(0, int(std::lround(f->max_advance_width * scale)) + st.extra));
}

// Blends a coverage bitmap (w x h at x, y in local coordinates) in colour.
void Blit(GrafPort* p, const Rgn& clip, const UInt8* cov, int w, int h, int x, int y, UInt32 colour, short mode) {
  Surface& s = *p->surf;
  ForEachSpanIn(clip, x, y, x + w, y + h, [&](int yy, int x0, int x1) {
    UInt32* row = s.row(yy - p->originV);
    const UInt8* c = cov + std::size_t(yy - y) * w;
    for (int xx = x0; xx < x1; ++xx) {
      unsigned a = c[xx - x];
      if (!a) continue;
      UInt32& d = row[xx - p->originH];
      d = mode == srcXor ? (a >= 128 ? InvertPixel(d) : d) : Blend(d, colour, a);
    }
  });
}

// The hollow (outline) or shadowed form of a glyph: a coverage image one
// pixel larger on the left and top and two on the right and bottom.
std::vector<UInt8> Styled(const Glyph& g, bool withShadow, int& w, int& h) {
  w = g.width + 3;
  h = g.height + 3;
  std::vector<UInt8> grown(std::size_t(w) * h, 0), out(std::size_t(w) * h, 0);
  auto at = [&](int x, int y) -> unsigned {
    if (x < 0 || y < 0 || x >= g.width || y >= g.height) return 0;
    return g.coverage[std::size_t(y) * g.width + x];
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned m = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) m = std::max(m, at(x - 1 + dx, y - 1 + dy));
      grown[std::size_t(y) * w + x] = UInt8(m);
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned v = grown[std::size_t(y) * w + x];
      if (withShadow && x > 0 && y > 0) v = std::max<unsigned>(v, grown[std::size_t(y - 1) * w + x - 1]);
      unsigned inner = at(x - 1, y - 1);
      out[std::size_t(y) * w + x] = UInt8(v > inner ? v - inner : 0);
    }
  return out;
}

void Draw(const unsigned char* t, std::size_t n) {
  n = tb::Utf8BoundaryPrefix(t, n);
  GrafPort* p = Current();
  TextStyle st = StyleOf(p);
  const int x0 = p->pnLoc.h, base = p->pnLoc.v;
  int x = x0;
  Rgn clip = EffectiveClip(p);
  const UInt32 fore = tb::PixelOf(p->fg), back = tb::PixelOf(p->bg);
  const short mode = p->txMode;
  const UInt32 ink = mode == srcBic ? back : fore;
  if (mode == srcCopy && n) {
    FontInfo fi;
    Metrics(st, &fi);
    int w = Measure(st, t, n);
    Rgn box = Combine(Rgn::FromRect(x0, base - fi.ascent, x0 + w, base + fi.descent), clip, Op::Sect);
    Pattern none{};
    FillShape(p, box, patCopy, none);
  }
  bool drawn = false;
  // The report wants the ink even where the clip leaves nothing to draw.
  const bool report = tb::detail::DrawnTextOn();
  Rgn inked;
  for (std::size_t i = 0; i < n;) {
    auto [cp, len] = Decode(t, n, i);
    i += len;
    Placed pl = Place(st, cp);
    const Glyph& g = *pl.glyph;
    if ((report || !clip.empty()) && !g.coverage.empty()) {
      if (st.face & (outline | shadow)) {
        int w, h;
        std::vector<UInt8> cov = Styled(g, st.face & shadow, w, h);
        Blit(p, clip, cov.data(), w, h, x + g.left - 1, base - g.top - 1, ink, mode);
        if (report) tb::detail::AddInk(inked, cov.data(), w, h, x + g.left - 1, base - g.top - 1);
      } else {
        Blit(p, clip, g.coverage.data(), g.width, g.height, x + g.left, base - g.top, ink, mode);
        if (report) tb::detail::AddInk(inked, g.coverage.data(), g.width, g.height, x + g.left, base - g.top);
      }
      drawn = drawn || !clip.empty();
    }
    x += pl.advance;
  }
  if ((st.face & underline) && x > x0) {
    FontInfo fi;
    Metrics(st, &fi);
    int y = base + std::max(1, fi.descent / 2);
    std::vector<UInt8> line(std::size_t(x - x0), 255);
    Blit(p, clip, line.data(), x - x0, 1, x0, y, ink, mode);
    if (report) tb::detail::AddInk(inked, line.data(), x - x0, 1, x0, y);
    drawn = true;
  }
  p->pnLoc.h = SInt16(std::clamp(x, kMinCoord, kMaxCoord));
  if (drawn || mode == srcCopy) Touch(p);
  if (report && n) {
    FontInfo fi;
    Metrics(st, &fi);
    const Rect box{SInt16(std::clamp(base - fi.ascent, kMinCoord, kMaxCoord)), SInt16(x0),
                   SInt16(std::clamp(base + fi.descent, kMinCoord, kMaxCoord)), p->pnLoc.h};
    tb::detail::NoteDrawnText(p, std::string_view(reinterpret_cast<const char*>(t), n), box, inked);
  }
}

std::string_view Bytes(const void* buf, short first, short count) {
  if (!buf || first < 0 || count <= 0) return {};
  return std::string_view(static_cast<const char*>(buf) + first, std::size_t(count));
}

const unsigned char* U(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

const char kEllipsis[] = "\xE2\x80\xA6";
constexpr std::size_t kEllipsisLen = 3;

// Shortens text (n bytes) to fit width with an ellipsis, writing at most cap
// bytes into out. Returns the result code.
short Truncate(const TextStyle& st, const unsigned char* t, std::size_t n, int width, TruncCode where,
               std::string& out, std::size_t cap) {
  if (Measure(st, t, n) <= width && n <= cap) {
    out.assign(reinterpret_cast<const char*>(t), n);
    return notTruncated;
  }
  int ew = Measure(st, reinterpret_cast<const unsigned char*>(kEllipsis), kEllipsisLen);
  if (ew > width || cap < kEllipsisLen) return truncErr;
  // Character boundaries and running widths from the start.
  std::vector<std::size_t> bounds{0};
  std::vector<int> widths{0};
  for (std::size_t i = 0; i < n;) {
    auto [cp, len] = Decode(t, n, i);
    i += len;
    bounds.push_back(i);
    widths.push_back(widths.back() + Place(st, cp).advance);
  }
  const std::size_t chars = bounds.size() - 1;
  const int room = width - ew;
  const std::size_t byteRoom = cap - kEllipsisLen;
  std::size_t head = 0, tail = 0;  // characters kept at each end
  auto fits = [&](std::size_t h, std::size_t t) {
    return h + t <= chars && widths[h] + (widths[chars] - widths[chars - t]) <= room &&
           bounds[h] + (n - bounds[chars - t]) <= byteRoom;
  };
  if (where == truncMiddle) {
    // Grow both ends, the narrower one first, while they fit.
    for (;;) {
      bool front = widths[head] <= widths[chars] - widths[chars - tail];
      if (fits(head + front, tail + !front)) {
        head += front;
        tail += !front;
      } else if (fits(head + !front, tail + front)) {
        head += !front;
        tail += front;
      } else {
        break;
      }
    }
  } else {
    while (fits(head + 1, 0)) ++head;
  }
  out.assign(reinterpret_cast<const char*>(t), bounds[head]);
  out.append(kEllipsis, kEllipsisLen);
  out.append(reinterpret_cast<const char*>(t) + bounds[chars - tail], n - bounds[chars - tail]);
  return truncated;
}

}  // namespace

// ---------------------------------------------------------------------------

void GetFNum(ConstStr255Param name, short* familyID) {
  if (!familyID) return;
  *familyID = name ? Fonts::get().numberFor(pstr::view(name)) : 0;
}
void GetFontName(short familyID, Str255 name) {
  if (name) pstr::set(name, 256, Fonts::get().nameFor(familyID));
}
short GetSysFont() { return systemFont; }
short GetAppFont() { return applFont; }
short GetDefFontSize() { return kDefaultSize; }

void TextFont(short font) { Current()->txFont = font; }
void TextFace(StyleParameter face) { Current()->txFace = Style(face & 0x7F); }
void TextSize(short size) { Current()->txSize = size; }
void TextMode(short mode) { Current()->txMode = mode; }
short GetPortTextFont(CGrafPtr port) { return Valid(port) ? port->txFont : 0; }
Style GetPortTextFace(CGrafPtr port) { return Valid(port) ? port->txFace : 0; }
short GetPortTextSize(CGrafPtr port) { return Valid(port) ? port->txSize : 0; }
short GetPortTextMode(CGrafPtr port) { return Valid(port) ? port->txMode : 0; }
void SetPortTextFont(CGrafPtr port, short font) {
  if (Valid(port)) port->txFont = font;
}
void SetPortTextFace(CGrafPtr port, StyleParameter face) {
  if (Valid(port)) port->txFace = Style(face & 0x7F);
}
void SetPortTextSize(CGrafPtr port, short size) {
  if (Valid(port)) port->txSize = size;
}
void SetPortTextMode(CGrafPtr port, short mode) {
  if (Valid(port)) port->txMode = mode;
}

void GetFontInfo(FontInfo* info) {
  if (info) Metrics(StyleOf(Current()), info);
}

short TextWidth(const void* textBuf, short firstByte, short byteCount) {
  std::string_view s = Bytes(textBuf, firstByte, byteCount);
  int w = Measure(StyleOf(Current()), U(s), s.size());
  return short(std::min(w, 32767));
}
short StringWidth(ConstStr255Param s) { return s ? TextWidth(s + 1, 0, s[0]) : 0; }
short CharWidth(short ch) {
  unsigned char b = UInt8(ch);
  return TextWidth(&b, 0, 1);
}

void DrawText(const void* textBuf, short firstByte, short byteCount) {
  std::string_view s = Bytes(textBuf, firstByte, byteCount);
  Draw(U(s), s.size());
}
void DrawString(ConstStr255Param s) {
  if (s) Draw(s + 1, s[0]);
}
void DrawChar(short ch) {
  unsigned char b = UInt8(ch);
  Draw(&b, 1);
}

short TruncString(short width, Str255 theString, TruncCode truncWhere) {
  if (!theString) return truncErr;
  std::string out;
  short r = Truncate(StyleOf(Current()), theString + 1, theString[0], width, truncWhere, out, 255);
  if (r == truncated) {
    if (tb::detail::DrawnTextOn()) tb::detail::NoteShortened(pstr::view(theString), out);
    pstr::set(theString, 256, out);
  }
  return r;
}

short TruncText(short width, Ptr textPtr, short* length, TruncCode truncWhere) {
  if (!textPtr || !length || *length < 0) return truncErr;
  std::string out;
  // The result must fit where the text was.
  short r = Truncate(StyleOf(Current()), reinterpret_cast<const unsigned char*>(textPtr), std::size_t(*length), width,
                     truncWhere, out, std::size_t(*length));
  if (r == truncated) {
    if (tb::detail::DrawnTextOn()) tb::detail::NoteShortened(std::string_view(textPtr, std::size_t(*length)), out);
    std::memcpy(textPtr, out.data(), out.size());
    *length = short(out.size());
  }
  return r;
}

namespace tb {

std::string FontFileFor(short font, Style face) {
  const FaceRef& ref = Fonts::get().primary(font, face);
  return ref.face ? Fonts::get().fileOf(ref.face) : std::string();
}

GlyphCacheStats GetGlyphCacheStats() { return Fonts::get().stats(); }

void detail::InitFonts() { Fonts::get(); }

std::size_t Utf8BoundaryPrefix(const unsigned char* text, std::size_t len) {
  std::size_t i = 0;
  while (i < len) {
    // A sequence cut by the end of the buffer is left out.
    unsigned c = text[i];
    std::size_t want = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 1;
    if (want > 1 && i + want > len) {
      bool continues = true;
      for (std::size_t k = i + 1; k < len; ++k) continues = continues && (text[k] & 0xC0) == 0x80;
      if (continues) return i;
    }
    i += Decode(text, len, i).second;
  }
  return len;
}

}  // namespace tb

// Fonts and label drawing of the disc start menu: the seven-field font
// value of its menu files, colour words and r,g,b colours, labels of one or
// several lines.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/AppFonts.h"
#include "discmenu/setup/Autorun.h"
#include "toolbox/fonts.h"

namespace {

struct NamedColour {
  const char* word;
  RGBColor colour;
};
constexpr NamedColour kColours[] = {
    {"BLACK", {0, 0, 0}},          {"BLUE", {0, 0, 65535}},          {"RED", {65535, 0, 0}},
    {"YELLOW", {65535, 65535, 0}}, {"GREEN", {0, 65535, 0}},         {"LIGHT_BLUE", {0, 65535, 65535}},
    {"VIOLET", {65535, 0, 65535}}, {"WHITE", {65535, 65535, 65535}},
};

// The current port's font, face, size and colour, put back at the end.
struct TextState {
  short font = GetPortTextFont(GetQDGlobalsThePort());
  Style face = GetPortTextFace(GetQDGlobalsThePort());
  short size = GetPortTextSize(GetQDGlobalsThePort());
  RGBColor fore;
  TextState() { GetForeColor(&fore); }
  ~TextState() {
    TextFont(font);
    TextFace(face);
    TextSize(size);
    RGBForeColor(&fore);
  }
};

void useFont(const MENU_FONT* font) {
  TextFont(font->fontID);
  TextFace(font->style);
  TextSize(font->size);
}

// The lines of a label, CR-separated.
template <typename F>
void forEachLine(ConstStr255Param label, F f) {
  std::string_view text = pstr::view(label);
  int index = 0;
  while (true) {
    const std::size_t cr = text.find('\r');
    f(index++, text.substr(0, cr));
    if (cr == std::string_view::npos) break;
    text.remove_prefix(cr + 1);
  }
}

int lineCount(ConstStr255Param label) {
  int n = 0;
  forEachLine(label, [&](int, std::string_view) { ++n; });
  return n;
}

}  // namespace

bool Color_Word(const char* word, RGBColor* colour) {
  for (const auto& c : kColours)
    if (std::strcmp(word, c.word) == 0) {
      *colour = c.colour;
      return true;
    }
  return false;
}

bool Color_Numbers(const char* text, RGBColor* colour) {
  long v[3];
  const char* p = text;
  for (int i = 0; i < 3; ++i) {
    char* end = nullptr;
    v[i] = std::strtol(p, &end, 10);
    if (end == p || v[i] < 0 || v[i] > 255) return false;
    p = end;
    if (i < 2) {
      if (*p != ',') return false;
      ++p;
    }
  }
  while (*p == ' ') ++p;
  if (*p) return false;
  *colour = RGBColor{UInt16(v[0] * 256), UInt16(v[1] * 256), UInt16(v[2] * 256)};
  return true;
}

void Get_Menu_Font(const FSSpec* menuFile, const char* key, MENU_FONT* font) {
  *font = MENU_FONT{0, 12, normal, 0, 0, {0, 0, 0}, {65535, 65535, 65535}, {}};
  char value[512];
  if (Read_Ini(menuFile, "[FONT]", key, value, sizeof value)) {
    char* fields[7] = {};
    int n = 0;
    char* p = value;
    while (n < 7) {
      fields[n++] = p;
      char* comma = std::strchr(p, ',');
      if (!comma) break;
      *comma = '\0';
      p = comma + 1;
    }
    if (n > 0 && fields[0][0]) {
      Str255 name;
      pstr::set(name, sizeof name, fields[0]);
      GetFNum(name, &font->fontID);
    }
    if (n > 1 && std::atoi(fields[1]) > 0 && std::atoi(fields[1]) < 200) font->size = short(std::atoi(fields[1]));
    if (n > 2) {
      const int bits = Font_Style_Bits(fields[2]);
      if (bits >= 0) font->style = Style(bits);
    }
    if (n > 3) font->dx = short(std::clamp(std::atoi(fields[3]), -50, 50));
    if (n > 4) font->dy = short(std::clamp(std::atoi(fields[4]), -50, 50));
    if (n > 5) Color_Word(fields[5], &font->fore);
    if (n > 6) Color_Word(fields[6], &font->back);
  }
  TextState keep;
  useFont(font);
  GetFontInfo(&font->info);
}

Rect Label_Rect(ConstStr255Param label, Point pos, const MENU_FONT* font) {
  TextState keep;
  useFont(font);
  short width = 0;
  forEachLine(label, [&](int, std::string_view line) {
    width = std::max<short>(width, TextWidth(line.data(), 0, short(line.size())));
  });
  const short lineHeight = short(font->info.ascent + font->info.descent);
  return Rect{pos.v, pos.h, short(pos.v + lineHeight * lineCount(label)), short(pos.h + width)};
}

void Draw_Label(ConstStr255Param label, const Rect* rect, const MENU_FONT* font, const RGBColor* colour, short dh,
                short dv) {
  if (!label || label[0] == 0) return;
  TextState keep;
  useFont(font);
  RGBForeColor(colour);
  const short step = short(font->info.ascent + font->info.descent);
  const bool several = lineCount(label) > 1;
  forEachLine(label, [&](int index, std::string_view line) {
    const short base = several ? short(rect->top + step * (index + 1)) : short(rect->top + font->info.ascent);
    MoveTo(short(rect->left + dh), short(base + dv));
    DrawText(line.data(), 0, short(line.size()));
  });
}

Rect Label_Bounds(ConstStr255Param label, const Rect* rect, const MENU_FONT* font, short dh, short dv) {
  const Rect text = Label_Rect(label, Point{rect->top, rect->left}, font);
  const int lines = lineCount(label);
  const int step = font->info.ascent + font->info.descent;
  // Several lines start one line lower than one line does (Draw_Label).
  const int bottom = lines > 1 ? rect->top + step * lines + font->info.descent : rect->top + step;
  const int top = lines > 1 ? rect->top + step - font->info.ascent : rect->top;
  const int slack = font->size / 4 + 1;
  return Rect{short(top + dv), short(text.left + dh - slack), short(bottom + dv), short(text.right + dh + slack)};
}

// Fonts and colours of the windows from the language ini file's "[FONT]"
// section, and the language ini file's path format from the bundle.
#include "common/AppFonts.h"

#include <cstring>
#include <iterator>
#include <string_view>

#include "506Q_Lib/DialogItems.h"
#include "common/AppGlobals.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "toolbox/bundle.h"
#include "toolbox/fonts.h"
#include "toolbox/textencoding.h"

namespace {

constexpr const char* kStyleWords[] = {"NORMAL", "BOLD", "ITALIC", "UNDERLINE",
                                       "OUTLINE", "SHADOW", "CONDENSE", "EXTEND"};
constexpr int kStyleBits[] = {0, 1, 2, 4, 8, 16, 32, 64};
constexpr const char* kColorWords[] = {"BLACK", "BLUE", "RED", "YELLOW",
                                       "GREEN", "LIGHT_BLUE", "VIOLET", "WHITE"};
constexpr RGBColor kColors[] = {{0, 0, 0},     {0, 0, 65535},     {65535, 0, 0},     {65535, 65535, 0},
                                {0, 65535, 0}, {0, 65535, 65535}, {65535, 0, 65535}, {65535, 65535, 65535}};
static_assert(std::size(kColors) == std::size(kColorWords));

// Copies text into a field of N bytes, cut on a character boundary.
template <std::size_t N>
void set_field(char (&field)[N], std::string_view text) {
  std::size_t n = tb::CharCutLength(text, N - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

// The size field as a decimal number the way the old reader took it:
// leading blanks, an optional sign, digits; anything else reads 0. A
// negative size is 0 and a size beyond what a port takes is held there.
UInt16 parse_size(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 32767) value = 32767;
  }
  return negative ? 0 : static_cast<UInt16>(value);
}

}  // namespace

int Font_Style_Bits(const char* word) {
  if (!word) return -1;
  for (std::size_t i = 0; i < std::size(kStyleWords); ++i)
    if (std::strcmp(word, kStyleWords[i]) == 0) return kStyleBits[i];
  return -1;
}

int Font_Color_Index(const char* word) {
  if (!word) return -1;
  for (std::size_t i = 0; i < std::size(kColorWords); ++i)
    if (std::strcmp(word, kColorWords[i]) == 0) return static_cast<int>(i);
  return -1;
}

RGBColor Font_Color_RGB(UInt16 index) { return index < std::size(kColors) ? kColors[index] : kColors[0]; }

short Get_Font_Data(const char* value, FONT_DATA* font) {
  if (!font) return 1;
  std::string_view fields[5];
  int count = 0;
  std::string_view rest = value ? value : "";
  while (count < 5 && !rest.empty()) {
    std::size_t start = rest.find_first_not_of(',');
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    std::size_t end = rest.find(',');
    fields[count++] = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
  }
  if (count == 0) {
    Str255 name;
    GetFontName(GetSysFont(), name);
    set_field(font->fName, pstr::view(name));
  } else {
    set_field(font->fName, fields[0]);
  }
  font->fSize = count > 1 ? parse_size(fields[1]) : static_cast<UInt16>(GetDefFontSize());
  set_field(font->fStyle, count > 2 ? fields[2] : "NORMAL");
  set_field(font->foreColor, count > 3 ? fields[3] : "BLACK");
  set_field(font->backColor, count > 4 ? fields[4] : "WHITE");
  return 1;
}

short Get_Font_Details(FONT_DATA* font) {
  if (!font) return 1;
  Str255 name;
  pstr::set(name, sizeof name, font->fName);
  short number = 0;
  GetFNum(name, &number);
  font->fontID = static_cast<UInt16>(number);
  if (int bits = Font_Style_Bits(font->fStyle); bits >= 0) font->styleID = static_cast<UInt16>(bits);
  if (int index = Font_Color_Index(font->foreColor); index >= 0)
    font->foreClrID = static_cast<UInt16>(index);
  if (int index = Font_Color_Index(font->backColor); index >= 0)
    font->backClrID = static_cast<UInt16>(index);
  // The metrics are those of this font, face and size whatever the port
  // held before: 0 stands for the system font, plain and the default size.
  TextFont(static_cast<short>(font->fontID));
  TextFace(static_cast<StyleParameter>(font->styleID));
  TextSize(static_cast<short>(font->fSize));
  GetFontInfo(&font->fInfo);
  TextFont(0);
  TextFace(0);
  TextSize(0);
  return 1;
}

short Get_Font_Infomation(const char* key, FONT_DATA* font, const char* file) {
  if (!key || !font) return 1;
  char value[kIniLineMax + 1];
  if (Load_File_To_CstringEx("[FONT]", key, value, sizeof value, file ? file : IniFileName) == 1) {
    Get_Font_Data(value, font);
    Get_Font_Details(font);
  }
  return 1;
}

short Get_Localize_Strings(char* out, std::size_t size) {
  if (!out || size == 0) return 0;
  CFStringRef text = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("LANGUAGE_PATH"),
                                                 CFSTR("LANGUAGE_PATH"), nullptr);
  CFIndex limit = static_cast<CFIndex>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size);
  Boolean ok = CFStringGetCString(text, out, limit, CFStringGetSystemEncoding());
  CFRelease(text);
  return ok ? 1 : 0;
}

void DrawGroup(DialogRef dialog, const FONT_DATA* font, DialogItemIndex groupItem, DialogItemIndex titleItem,
               const char* section, const char* key, const char* iniFile) {
  if (!dialog) return;
  Draw_Group_Frame_Item(dialog, groupItem);
  Rect area;
  Str255 title;
  if (titleItem < 1 || titleItem > CountDITL(dialog)) return;
  Get_Dialog_Item_Rect(dialog, titleItem, &area);
  if (Load_File_To_PascalEx(section, key, title, sizeof title, iniFile) != 1) return;
  CGrafPtr port = GetDialogPort(dialog);
  const short oldFont = GetPortTextFont(port);
  const Style oldFace = GetPortTextFace(port);
  const short oldSize = GetPortTextSize(port);
  if (font) {
    SetPortTextFont(port, static_cast<short>(font->fontID));
    SetPortTextFace(port, static_cast<StyleParameter>(font->styleID));
    SetPortTextSize(port, static_cast<short>(font->fSize));
  }
  Draw_String_User_StringArea(dialog, title, &area, 0, 0, 1);
  SetPortTextFont(port, oldFont);
  SetPortTextFace(port, oldFace);
  SetPortTextSize(port, oldSize);
}

// The extra menu commands of a menu-definition text file: each item's
// title, program, options, icon and shortcut read from its lines.
#include "common/MenuCommand.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "506Q_Lib/AppLocation.h"
#include "common/AppGlobals.h"
#include "common/AppMenus.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "toolbox/files.h"
#include "toolbox/textencoding.h"

MENUINFO MeInfo[kMenuInfoMenus][kMenuInfoItems];

namespace {

constexpr std::size_t kLineMax = 127;

// The file's POSIX path: MonFileName as a full path, or as a name relative
// to the running program's folder.
bool menu_file_path(std::string* path) {
  const std::size_t len = strnlen(MonFileName, sizeof MonFileName);
  if (len == 0 || len == sizeof MonFileName) return false;
  if (MonFileName[0] == '/') {
    *path = MonFileName;
    return true;
  }
  if (len > 255) return false;
  FSSpec app, fss;
  if (GetAppLocation(&app) != noErr) return false;
  Str255 name;
  pstr::set(name, sizeof name, MonFileName);
  if (FSMakeFSSpec(app.vRefNum, app.parID, name, &fss) != noErr) return false;
  return tb::SpecToPath(fss, *path) == noErr;
}

// The file's lines without their line ends (CR, LF or CRLF), each cut to
// kLineMax bytes on a character boundary.
bool read_lines(const std::string& path, std::vector<std::string>* lines) {
  std::string data;
  if (tb::ReadLocalFile(path, tb::kTextFileMax, data) != noErr) return false;
  std::size_t pos = 0;
  while (pos < data.size()) {
    std::size_t end = data.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = data.size();
    std::string_view line(data.data() + pos, end - pos);
    lines->emplace_back(line.substr(0, tb::CharCutLength(line, kLineMax)));
    pos = end;
    if (pos < data.size() && data[pos] == '\r') ++pos;
    if (pos < data.size() && data[pos] == '\n') ++pos;
  }
  return true;
}

template <std::size_t N>
void set_field(char (&field)[N], std::string_view text) {
  std::size_t n = tb::CharCutLength(text, N - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

SInt32 parse_icon(const std::string& text) {
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<SInt32>(value);
}

void read_title(MENUINFO* info, const std::string& line) {
  char title[kLineMax + 1];
  DeleteTitleFlag(title, line.c_str(), "MENU_STR=", sizeof title);
  char clean[kLineMax + 1];
  DeleteAnd(clean, title);
  pstr::set(info->cTotalMen, sizeof info->cTotalMen, clean);
}

}  // namespace

void CommandMenu(short menu, short item) {
  if (menu < 0 || menu >= kMenuInfoMenus || item < 0 || item >= kMenuInfoItems) return;
  MENUINFO* info = &MeInfo[menu][item];
  const std::string key(info->cPopMen, strnlen(info->cPopMen, sizeof info->cPopMen));
  if (key.find("---") != std::string::npos) {
    pstr::set(info->cTotalMen, sizeof info->cTotalMen, "---");
    return;
  }
  if (key.empty()) return;
  std::string path;
  std::vector<std::string> lines;
  if (!menu_file_path(&path) || !read_lines(path, &lines)) return;

  static constexpr const char* kFieldKeys[] = {"EXEC=", "OPTION=", "ICON=", "TYPE=", "SHORT="};
  std::size_t k = 0;
  while (k < lines.size()) {
    if (lines[k++].find(key) == std::string::npos) continue;
    if (k >= lines.size()) break;
    read_title(info, lines[k++]);
    // The optional lines, in their fixed order: a line is tested against
    // each key still to come; one that matches none ends the description
    // and is looked at again as a possible key line.
    std::size_t next = 0;
    while (k < lines.size() && next < std::size(kFieldKeys)) {
      const std::string& line = lines[k];
      std::size_t at = std::string::npos;
      std::size_t field = next;
      for (; field < std::size(kFieldKeys); ++field)
        if ((at = line.find(kFieldKeys[field])) != std::string::npos) break;
      if (field == std::size(kFieldKeys)) break;
      const std::string value = line.substr(at + std::strlen(kFieldKeys[field]));
      switch (field) {
        case 0: set_field(info->cExec, value); break;
        case 1: set_field(info->cOption, value); break;
        case 2: info->iIcon = parse_icon(value); break;
        case 3: set_field(info->cType, value); break;
        default: {
          // One byte holds the shortcut: a character beyond ASCII gives none.
          const unsigned char c = value.empty() ? 0 : static_cast<unsigned char>(value[0]);
          info->cShortCut[0] = c < 0x80 ? static_cast<char>(c) : '\0';
          info->cShortCut[1] = '\0';
        }
      }
      next = field + 1;
      ++k;
    }
  }
}

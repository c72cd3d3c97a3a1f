// Language choice: "Language.INI" beside the executable, the language list
// of page 141, the message file of the chosen language and the folders of
// the installation.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "common/IniFile.h"
#include "Installer/InstApp.h"
#include "toolbox/bundle.h"
#include "toolbox/cfstring.h"
#include "toolbox/files.h"
#include "toolbox/script.h"

namespace {

void copyBounded(char* out, std::size_t size, std::string_view text) {
  std::string_view cut = tb::Utf8Prefix(text, size - 1);
  std::memcpy(out, cut.data(), cut.size());
  out[cut.size()] = 0;
}

std::string trimLine(std::string line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  while (!line.empty() && (line.front() == '\r' || line.front() == '\n')) line.erase(line.begin());
  return line;
}

}  // namespace

int Load_File_To_Cstring(char* value, std::size_t size, const char* key, const char* section, const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  std::string all((std::istreambuf_iterator<char>(in)), {});
  // Lines end in CR, LF, CR LF or LF CR alike: split at either and drop
  // the empty pieces.
  bool inSection = false;
  std::size_t keyLen = std::strlen(key);
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t end = all.find_first_of("\r\n", start);
    std::string line = trimLine(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (line.size() > std::size_t(kIniLineMax)) line.resize(kIniLineMax);
    if (!line.empty()) {
      if (line[0] == '[') {
        if (inSection) return 0;
        inSection = line.rfind(section, 0) == 0;
      } else if (inSection && line.compare(0, keyLen, key) == 0) {
        copyBounded(value, size, std::string_view(line).substr(keyLen));
        return 1;
      }
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return 0;
}

int Get_System_Language(char* name, std::size_t size, const char* languageFile) {
  long code = GetScriptVariable(smSystemScript, smScriptLang);
  char key[32];
  std::snprintf(key, sizeof key, "LANG_%02ld=", code);
  if (!Load_File_To_Cstring(name, size, key, "[SYSLANG]", languageFile) &&
      !Load_File_To_Cstring(name, size, "DEFAULT=", "[SYSLANG]", languageFile))
    copyBounded(name, size, "English");
  bool known = (code >= 0 && code <= 14) || code == 17 || code == 19 || (code >= 21 && code <= 23) || code == 25 ||
               (code >= 31 && code <= 33) || code == 81;
  return known ? int(code) : -1;
}

int Build_Language_Data(INST_DLG_INFO* tbl) {
  std::string file = Exe_Relative(LanguFileName);
  int rows = 0;
  for (int i = 0; i < kLangMax; ++i) {
    char key[16], value[kIniLineMax + 1] = {};
    std::snprintf(key, sizeof key, "Lang%02d=", i);
    if (!Load_File_To_Cstring(value, sizeof value, key, "[Language]", file.c_str())) break;
    std::string v(value);
    auto semi = v.find(';');
    LANG_DATA& d = tbl->langData[i];
    copyBounded(d.cLanguage, sizeof d.cLanguage, v.substr(0, semi));
    copyBounded(d.cDir, sizeof d.cDir, semi == std::string::npos ? "" : v.substr(semi + 1));
    ++rows;
  }
  if (tbl->langList) {
    LAddRow(SInt16(rows), 0, tbl->langList);
    for (int i = 0; i < rows; ++i)
      LSetCell(tbl->langData[i].cLanguage, SInt16(std::strlen(tbl->langData[i].cLanguage)), Cell{SInt16(i), 0},
               tbl->langList);
  }
  return 1;
}

int Set_Install_Infomation(const char* languageDir, ALL_INST_INFO* info) {
  info->rootSpec = Exe_Relative("");
  info->toolFolderSpec = Resolve_Partial_Path(info->rootSpec, ":::TOOL");
  info->copyFSpec = Resolve_Partial_Path(info->rootSpec, "::Resources:COPYFILE.INI");
  info->languFolderSpec = languageDir ? languageDir : "";
  if (!info->languFolderSpec.empty())
    info->messSpec = Resolve_Partial_Path(info->rootSpec, "::Resources:" + info->languFolderSpec + ":MESSAGE.INI");
  else
    info->messSpec = info->rootSpec + "/MESSAGE.INI";
  char install[256] = "";
  Load_File_To_CstringEx("[FOLDER]", "INSTALL=", install, sizeof install, info->copyFSpec.c_str());
  info->instName = install;
  const char* home = std::getenv("HOME");
  info->instParent = home && *home == '/' ? home : "/";
  return 1;
}

int Set_Language_Infomation(const char* languageDir) {
  instData = ALL_INST_INFO{};
  return Set_Install_Infomation(languageDir, &instData);
}

short Get_Localize_Strings(char* out, std::size_t size) {
  CFStringRef text =
      CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("LANGUAGE_PATH"), CFSTR("LANGUAGE_PATH"), nullptr);
  Boolean ok =
      CFStringGetCString(text, out, CFIndex(std::min<std::size_t>(size, 0x7FFFFFFF)), CFStringGetSystemEncoding());
  CFRelease(text);
  return ok ? 1 : 0;
}

int Get_Active_Language() {
  char dir[256] = "";
  Get_Localize_Strings(dir, sizeof dir);
  // The bundle's strings may name no language at all ("LANGUAGE_PATH"
  // comes back as the key): English is on every disc.
  if (std::strcmp(dir, "LANGUAGE_PATH") == 0 || dir[0] == 0) std::strcpy(dir, "English");
  return Set_Install_Infomation(dir, &instData);
}

std::string Message_Text(const char* section, const char* key) {
  char value[kIniLineMax + 1] = "";
  if (!Load_File_To_CstringEx(section, key, value, sizeof value, instData.messSpec.c_str())) return "";
  std::string out;
  for (std::size_t i = 0; value[i]; ++i) {
    if (value[i] == '\\' && value[i + 1] == 'n') {
      out += '\r';
      ++i;
    } else {
      out += value[i];
    }
  }
  return out;
}

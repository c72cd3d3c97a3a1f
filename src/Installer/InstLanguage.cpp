// Language choice: "Language.INI" beside the executable, the language list
// of page 141, the message file of the chosen language and the folders of
// the installation.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "common/AppFonts.h"
#include "common/IniFile.h"
#include "Installer/InstApp.h"
#include "toolbox/bundle.h"
#include "toolbox/catalog.h"
#include "toolbox/cfstring.h"
#include "toolbox/files.h"
#include "toolbox/fileservices.h"
#include "toolbox/script.h"
#include "toolbox/textencoding.h"

namespace {

void copyBounded(char* out, std::size_t size, std::string_view text) {
  std::string_view cut = tb::CharPrefix(text, size - 1);
  std::memcpy(out, cut.data(), cut.size());
  out[cut.size()] = 0;
}

// Entry n of the language file's "[Language]" list, "LangNN=name;folder":
// the name and, after the first ';', the folder (none without a ';').
// Nothing past the last entry.
struct LanguageEntry {
  std::string name, folder;
  bool hasFolder;
};
std::optional<LanguageEntry> languageEntry(const std::string& file, int n) {
  char key[16], value[kIniLineMax + 1] = {};
  std::snprintf(key, sizeof key, "Lang%02d=", n);
  if (!Load_File_To_Cstring(value, sizeof value, key, "[Language]", file.c_str())) return std::nullopt;
  const std::string v(value);
  const auto semi = v.find(';');
  if (semi == std::string::npos) return LanguageEntry{v, "", false};
  return LanguageEntry{v.substr(0, semi), v.substr(semi + 1), true};
}

std::string trimLine(std::string line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  while (!line.empty() && (line.front() == '\r' || line.front() == '\n')) line.erase(line.begin());
  return line;
}

}  // namespace

namespace {

// The key's value after the section's heading; with sectionEnd the next
// heading ends the search. 1 found, 0 not.
int findKey(char* value, std::size_t size, const char* key, const char* section, const char* path, bool sectionEnd,
            std::size_t* copied) {
  if (!value || size == 0 || !key || !section || !path) return 0;
  std::string all;
  if (tb::ReadLocalFile(path, tb::kTextFileMax, all) != noErr) return 0;
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
        if (inSection && sectionEnd) return 0;
        inSection = inSection || line.rfind(section, 0) == 0;
      } else if (inSection && line.compare(0, keyLen, key) == 0) {
        copyBounded(value, size, std::string_view(line).substr(keyLen));
        if (copied) *copied = std::strlen(value);
        return 1;
      }
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return 0;
}

}  // namespace

int Load_File_To_Cstring(char* value, std::size_t size, const char* key, const char* section, const char* path) {
  return findKey(value, size, key, section, path, true, nullptr);
}

int Get_Text_Data(char* value, std::size_t* length, const char* section, const char* key, const char* path) {
  if (!length) return 0;
  std::size_t capacity = *length;
  *length = 0;
  if (capacity == 0) return 0;
  return findKey(value, capacity, key, section, path, false, length);
}

std::string Load_File_Only_FSSpec(const FSSpec& spec, bool whole) {
  FSSpec item = spec;
  if (!whole) {
    // The folder that holds the item: its own file spec from the parent's id.
    CInfoPBRec pb{};
    Str255 name = {0};
    pb.dirInfo.ioNamePtr = name;
    pb.dirInfo.ioVRefNum = spec.vRefNum;
    pb.dirInfo.ioDrDirID = spec.parID;
    pb.dirInfo.ioFDirIndex = -1;
    if (PBGetCatInfoSync(&pb) != noErr || FSMakeFSSpec(spec.vRefNum, pb.dirInfo.ioDrParID, name, &item) != noErr)
      return "";
  }
  std::string path;
  return tb::FullPath(item, path) == noErr || !path.empty() ? path : "";
}

int Set_Default_Infomation() {
  const std::string file = Exe_Relative("Language.INI");
  char name[64] = "";
  if (!Load_File_To_Cstring(name, sizeof name, "DEFAULT=", "[SYSLANG]", file.c_str())) return 0;
  // The language's folder is the one its list entry names, else the name.
  std::string dir = name;
  for (int i = 0; i < kLangMax; ++i) {
    const auto entry = languageEntry(file, i);
    if (!entry) break;
    if (entry->hasFolder && entry->name == name) {
      dir = entry->folder;
      break;
    }
  }
  if (dir.empty() || dir.find_first_of(":/") != std::string::npos || dir == "." || dir == "..") return 0;
  return Set_Language_Infomation(dir.c_str());
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
    const auto entry = languageEntry(file, i);
    if (!entry) break;
    LANG_DATA& d = tbl->langData[i];
    copyBounded(d.cLanguage, sizeof d.cLanguage, entry->name);
    copyBounded(d.cDir, sizeof d.cDir, entry->folder);
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

std::string INSTALL_INFO::instFolderSpec() const {
  std::string name = instName;
  // A colon partial path names folders inside the parent.
  while (!name.empty() && name[0] == ':') name.erase(0, 1);
  for (char& c : name)
    if (c == ':') c = '/';
  return instParent == "/" ? "/" + name : instParent + "/" + name;
}

int Set_Language_Infomation(const char* languageDir) {
  instData = ALL_INST_INFO{};
  return Set_Install_Infomation(languageDir, &instData);
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

// The two ini readers: one over the whole file read through the File
// Manager for the dialogs, one line by line over a POSIX path.
#include "common/IniFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "506Q_Lib/AppLocation.h"
#include "common/StrConv.h"
#include "toolbox/dialogs.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"

namespace {

bool is_line_end(char c) { return c == '\r' || c == '\n'; }

// Where the line that starts at p ends: its first CR, LF or NUL, or end.
const char* line_end(const char* p, const char* end) {
  while (p < end && !is_line_end(*p) && *p != '\0') ++p;
  return p;
}

// Copies a NUL-terminated value into out when it is shorter than size.
int copy_if_fits(const char* value, std::size_t len, char* out, int size) {
  if (size <= 0 || len >= static_cast<std::size_t>(size)) return 0;
  std::memcpy(out, value, len);
  out[len] = '\0';
  return 1;
}

// Sets a length-prefixed string of at most max bytes.
void set_pascal(StringPtr out, const char* value, std::size_t max) {
  std::size_t n = tb::CharCutLength(std::string_view(value), std::min<std::size_t>(max, 255));
  out[0] = static_cast<unsigned char>(n);
  if (n) std::memcpy(out + 1, value, n);
}

// Reader B's lines: cut at CR or LF, empty lines dropped, lines longer than
// kIniLineMax consumed whole and reported as too long.
template <typename GetByte>
class LineReader {
 public:
  explicit LineReader(GetByte get) : get_(get) {}
  // False at the end of the data.
  bool next(std::string_view& line, bool& tooLong) {
    for (;;) {
      std::size_t n = 0;
      tooLong = false;
      int c;
      while ((c = get_()) != EOF && c != '\r' && c != '\n') {
        if (n < sizeof buf_) buf_[n++] = static_cast<char>(c);
        else tooLong = true;
      }
      if (n == 0 && !tooLong) {
        if (c == EOF) return false;
        continue;  // the second half of a CRLF or LFCR, or a blank line
      }
      line = std::string_view(buf_, n);
      return true;
    }
  }

 private:
  GetByte get_;
  char buf_[kIniLineMax];
};

template <typename GetByte>
int reader_b(GetByte get, char* out, const char* key, const char* section, int outSize) {
  if (!out || !key || !section) return 0;
  const std::string_view k(key);
  const std::string_view s(section);
  LineReader<GetByte> lines(get);
  std::string_view line;
  bool tooLong;
  bool inSection = false;
  while (lines.next(line, tooLong)) {
    if (tooLong) continue;
    if (!inSection) {
      inSection = line.find(s) != std::string_view::npos;
      continue;
    }
    if (line.substr(0, k.size()) != k) continue;
    std::string_view value = line.substr(k.size());
    // A key passed without its "=" still names the whole key.
    if (!k.empty() && k.back() != '=') {
      if (value.empty() || value.front() != '=') continue;
      value.remove_prefix(1);
    }
    return copy_if_fits(value.data(), value.size(), out, outSize);
  }
  return 0;
}

// The file spec of an ini file: a full POSIX path, or a name relative to the
// running program's folder.
bool make_ini_spec(const char* fileName, FSSpec* fss) {
  if (!fileName || !*fileName) return false;
  if (fileName[0] == '/') return tb::PathToSpec(fileName, fss) == noErr;
  if (std::strlen(fileName) > 255) return false;
  FSSpec app;
  if (GetAppLocation(&app) != noErr) return false;
  Str255 name;
  pstr::set(name, sizeof name, fileName);
  return FSMakeFSSpec(app.vRefNum, app.parID, name, fss) == noErr;
}

}  // namespace

const char* FindCRLF(const char* text, const char* end) {
  for (const char* p = text; p < end; ++p) {
    if (*p == '\0') return nullptr;
    if (is_line_end(*p)) return p;
  }
  return end;
}

const char* SkiptoNextLine(const char* text, const char* end) {
  const char* p = FindCRLF(text, end);
  if (!p || p == end) return nullptr;
  while (p < end && is_line_end(*p)) ++p;
  return p;
}

int GetFileDataFromBuffer(const char* data, std::size_t len, const char* section, const char* key,
                          char* out, int size) {
  if ((!data && len) || !section || !key || !out) return 0;
  const std::string_view all(data ? data : "", len);
  const std::size_t at = all.find(section);
  if (at == std::string_view::npos) return -1;
  const char* end = data + len;
  const std::size_t keyLen = std::strlen(key);
  const char* p = data + at;
  for (;;) {
    p = SkiptoNextLine(p, end);
    if (!p || p == end) return 0;
    if (*p == '[') return -1;
    if (static_cast<std::size_t>(end - p) >= keyLen && std::memcmp(p, key, keyLen) == 0) break;
  }
  const std::size_t lineLen = static_cast<std::size_t>(line_end(p, end) - p);
  if (size <= 0 || lineLen >= static_cast<std::size_t>(size)) return -1;
  std::memcpy(out, p, lineLen);
  out[lineLen] = '\0';
  return static_cast<int>(lineLen);
}

int GetFileData(const char* section, const char* key, char* out, int size, const FSSpec* fss) {
  std::string path, data;
  // A file larger than any text file is one there is no memory for.
  if (!fss || tb::SpecToPath(*fss, path) != noErr || tb::ReadLocalFile(path, tb::kTextFileMax, data) != noErr) return 0;
  return GetFileDataFromBuffer(data.data(), data.size(), section, key, out, size);
}

int Get_File_To_CstringEx(const char* section, const char* key, char* out, int size,
                          const FSSpec* fss) {
  char line[kIniLineMax + 1];
  if (GetFileData(section, key, line, sizeof line, fss) < 1) return 0;
  char value[kIniLineMax + 1];
  int n = DeleteTitleFlag(value, line, key, sizeof value);
  return copy_if_fits(value, static_cast<std::size_t>(n), out, size);
}

int Get_CFile_To_CstringEx(const char* section, const char* key, char* out, int size,
                           const char* fileName) {
  FSSpec fss;
  const int found = make_ini_spec(fileName, &fss) ? Get_File_To_CstringEx(section, key, out, size, &fss) : 0;
  // A text the program asks for and no language file holds shows as a
  // blank or a fallback: the "ini" channel names it, and each text found.
  tb::TraceNote("ini", "%s %s%s in %s", found == 1 ? "read" : "missing", section, key, fileName ? fileName : "(none)");
  return found;
}

int Load_File_To_CstringEx(const char* section, const char* key, char* out, int size,
                           const char* fileName) {
  return Get_CFile_To_CstringEx(section, key, out, size, fileName) == 1 ? 1 : 0;
}

int Load_File_To_PascalEx(const char* section, const char* key, StringPtr out, int size,
                          const char* fileName) {
  if (!out || size < 1) return 0;
  char value[kIniLineMax + 1];
  if (Get_CFile_To_CstringEx(section, key, value, sizeof value, fileName) != 1) return 0;
  set_pascal(out, value, static_cast<std::size_t>(size - 1));
  return 1;
}

int Load_File_To_PascalEx2(StringPtr out, const char* key, const char* section,
                           const char* fileName) {
  return Load_File_To_PascalEx(section, key, out, sizeof(Str255), fileName);
}

int Load_Buffer_To_Cstring(const char* data, std::size_t len, char* out, const char* key,
                           const char* section, int outSize) {
  if (!data && len) return 0;
  std::size_t pos = 0;
  auto get = [&]() -> int {
    return pos < len ? static_cast<unsigned char>(data[pos++]) : EOF;
  };
  return reader_b(get, out, key, section, outSize);
}

int Load_File_To_Cstring(char* out, const char* key, const char* section, const char* path,
                         int outSize) {
  std::string data;
  if (!path || tb::ReadLocalFile(path, tb::kTextFileMax, data) != noErr) return 0;
  return Load_Buffer_To_Cstring(data.data(), data.size(), out, key, section, outSize);
}

int Load_File_To_Pascal(Str255 out, const char* key, const char* section, const char* path) {
  if (!out) return 0;
  char value[kIniLineMax + 1];
  if (Load_File_To_Cstring(value, key, section, path, sizeof value) != 1) return 0;
  set_pascal(out, value, 255);
  return 1;
}

int DeleteTitleFlag(char* out, const char* line, const char* key, std::size_t outSize) {
  if (!out || outSize == 0) return 0;
  if (!key) key = "";
  std::string kept;
  for (const char* p = line ? line : ""; *p; ++p) {
    if (*key && *p == *key) {
      ++key;
      continue;
    }
    kept += *p;
  }
  const std::size_t w = tb::CharCutLength(kept, outSize - 1);
  std::memcpy(out, kept.data(), w);
  out[w] = '\0';
  return static_cast<int>(w);
}

int SetKaigyou(char* text, int length) {
  if (!text || length <= 0) return 1;
  int lines = 1;
  int w = 0;
  for (int r = 0; r < length;) {
    if (text[r] == '\\' && r + 1 < length && text[r + 1] == 'n') {
      text[w++] = '\r';
      r += 2;
      ++lines;
    } else {
      text[w++] = text[r++];
    }
  }
  if (w < length) text[w] = '\0';
  return lines;
}

short Set_String_To_Item(DialogRef dialog, DialogItemIndex item, const char* key,
                         const char* section, const char* fileName) {
  if (!dialog) return 0;
  DialogItemType kind = 0;
  Handle handle = nullptr;
  Rect box;
  GetDialogItem(dialog, item, &kind, &handle, &box);
  const bool control = kind == kButtonDialogItem || kind == kCheckBoxDialogItem ||
                       kind == kRadioButtonDialogItem ||
                       kind == (kButtonDialogItem | itemDisable) ||
                       kind == (kCheckBoxDialogItem | itemDisable) ||
                       kind == (kRadioButtonDialogItem | itemDisable);
  const bool text = kind == kStaticTextDialogItem || kind == kEditTextDialogItem ||
                    kind == (kStaticTextDialogItem | itemDisable);
  if (!control && !text) return 0;
  Str255 value;
  if (Load_File_To_PascalEx(section, key, value, sizeof value, fileName) != 1)
    pstr::set(value, sizeof value, "???");
  if (control) {
    ControlRef c = nullptr;
    if (GetDialogItemAsControl(dialog, item, &c) == noErr) SetControlTitle(c, value);
  } else {
    SetDialogItemText(handle, value);
  }
  return 1;
}

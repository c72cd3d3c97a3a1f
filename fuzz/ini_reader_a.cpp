// Reader A over a fuzzed ini file: the whole-file reader the dialogs use,
// through a full path, through a file spec, into C and length-prefixed strings,
// and over the same bytes in memory. Input: one byte choosing the output
// size (its low bits) and a lookup that reads the file (its high bits),
// then the file.
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/IniFile.h"
#include "fuzz_support.h"
#include "ini_queries.h"
#include "toolbox/files.h"

namespace {

constexpr char kFill = '#';

// A found value is a NUL-terminated text inside the buffer without a line
// end; a lookup that finds nothing leaves the buffer as it was.
void CheckOut(int found, const std::vector<char>& out, int size, const char* what) {
  if (found < 1) {
    fuzz::Check(std::all_of(out.begin(), out.end(), [](char c) { return c == kFill; }), what);
    return;
  }
  const std::size_t room = static_cast<std::size_t>(std::max(size, 0));
  const char* end = static_cast<const char*>(std::memchr(out.data(), '\0', std::min(room, out.size())));
  fuzz::Check(end != nullptr, what);
  for (const char* c = out.data(); c < end; ++c) fuzz::Check(*c != '\r' && *c != '\n', what);
}

void CheckPascal(int found, const Str255 p, int size, const char* what) {
  if (found != 1) {
    fuzz::Check(p[0] == 0xEE, what);  // untouched
    return;
  }
  fuzz::Check(p[0] <= std::min(size - 1, 255), what);
  for (int i = 1; i <= p[0]; ++i) fuzz::Check(p[i] != '\r' && p[i] != '\n', what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::ScratchFile file("Fuzz.ini");
  fuzz::Cursor in(data, size);
  const std::uint8_t selector = in.U8();
  const int outSize = fuzz::IniOutSize(selector);
  const std::span<const std::uint8_t> bytes = in.Rest();
  file.Write(bytes);

  FSSpec fss;
  fuzz::Check(tb::PathToSpec(file.path(), &fss) == noErr, "a file spec of the scratch file");

  const std::vector<fuzz::IniQuery> queries = fuzz::IniQueries(bytes);
  for (std::size_t i = 0; i < queries.size(); ++i) {
    const fuzz::IniQuery& q = queries[i];
    const char* s = q.section.c_str();
    const char* k = q.key.c_str();
    std::vector<char> mem(static_cast<std::size_t>(std::max(outSize, 1)), kFill);
    const int lineMem = GetFileDataFromBuffer(reinterpret_cast<const char*>(bytes.data()), bytes.size(), s, k,
                                              mem.data(), outSize);
    if (lineMem > 0) fuzz::Check(std::strlen(mem.data()) == std::size_t(lineMem), "GetFileData length");
    // An empty key matches an empty line, whose length is 0 like "not found".
    if (!q.key.empty()) CheckOut(lineMem > 0, mem, outSize, "GetFileData");
    if (!fuzz::IniThroughFile(i, selector, queries.size())) continue;

    // The line itself from the file: the same answer.
    std::vector<char> out(mem.size(), kFill);
    const int lineFile = GetFileData(s, k, out.data(), outSize, &fss);
    fuzz::Check(lineMem == lineFile && mem == out, "GetFileData from the file and from memory agree");

    std::fill(out.begin(), out.end(), kFill);
    int found = Get_File_To_CstringEx(s, k, out.data(), outSize, &fss);
    CheckOut(found, out, outSize, "Get_File_To_CstringEx");

    std::vector<char> byName(out.size(), kFill);
    int foundByName = Load_File_To_CstringEx(s, k, byName.data(), outSize, file.path().c_str());
    fuzz::Check(foundByName == found && byName == out, "the full-path reader agrees with the reader given a file spec");

    Str255 p;
    p[0] = 0xEE;
    int pf = Load_File_To_PascalEx(s, k, p, outSize, file.path().c_str());
    CheckPascal(pf, p, outSize, "Load_File_To_PascalEx");
    p[0] = 0xEE;
    pf = Load_File_To_PascalEx2(p, k, s, file.path().c_str());
    CheckPascal(pf, p, sizeof(Str255), "Load_File_To_PascalEx2");

    // What the programs do with a message text next: "\n" pairs become
    // line breaks.
    if (found == 1) {
      int len = static_cast<int>(std::strlen(out.data()));
      int lines = SetKaigyou(out.data(), len);
      fuzz::Check(lines >= 1 && lines <= len / 2 + 1, "SetKaigyou line count");
    }
  }
  return 0;
}

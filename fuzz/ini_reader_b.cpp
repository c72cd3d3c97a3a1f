// Reader B over a fuzzed ini file: the line reader for files named by a
// POSIX path, into C and length-prefixed strings, and over the same bytes
// in memory. Input: one byte choosing the output size (its low bits) and
// a lookup that reads the file (its high bits), then the file.
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/IniFile.h"
#include "fuzz_support.h"
#include "ini_queries.h"

namespace {

constexpr char kFill = '#';

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::ScratchFile file("Fuzz.ini");
  fuzz::Cursor in(data, size);
  const std::uint8_t selector = in.U8();
  const int outSize = fuzz::IniOutSize(selector);
  const std::span<const std::uint8_t> bytes = in.Rest();
  file.Write(bytes);

  const std::vector<fuzz::IniQuery> queries = fuzz::IniQueries(bytes);
  for (std::size_t i = 0; i < queries.size(); ++i) {
    const fuzz::IniQuery& q = queries[i];
    const char* s = q.section.c_str();
    const char* k = q.key.c_str();
    std::vector<char> mem(static_cast<std::size_t>(std::max(outSize, 1)), kFill);
    const int found = Load_Buffer_To_Cstring(reinterpret_cast<const char*>(bytes.data()), bytes.size(),
                                             mem.data(), k, s, outSize);
    if (found == 1) {
      const char* end = static_cast<const char*>(std::memchr(mem.data(), '\0', std::size_t(std::max(outSize, 0))));
      fuzz::Check(end != nullptr, "Load_Buffer_To_Cstring terminates its value inside the buffer");
      fuzz::Check(std::size_t(end - mem.data()) <= kIniLineMax, "a value fits one line");
      for (const char* c = mem.data(); c < end; ++c)
        fuzz::Check(*c != '\r' && *c != '\n', "no line end in a value");
    } else {
      fuzz::Check(found == 0, "Load_Buffer_To_Cstring result");
      fuzz::Check(std::all_of(mem.begin(), mem.end(), [](char c) { return c == kFill; }),
                  "nothing found leaves the buffer as it was");
    }
    if (!fuzz::IniThroughFile(i, selector, queries.size())) continue;

    std::vector<char> out(mem.size(), kFill);
    const int foundFile = Load_File_To_Cstring(out.data(), k, s, file.path().c_str(), outSize);
    fuzz::Check(foundFile == found && mem == out, "the file and memory readers agree");

    Str255 p;
    p[0] = 0xEE;
    int pf = Load_File_To_Pascal(p, k, s, file.path().c_str());
    if (pf == 1) {
      for (int j = 1; j <= p[0]; ++j) fuzz::Check(p[j] != '\r' && p[j] != '\n', "no line end in a value");
    } else {
      fuzz::Check(p[0] == 0xEE, "Load_File_To_Pascal leaves its output when nothing is found");
    }
  }
  return 0;
}

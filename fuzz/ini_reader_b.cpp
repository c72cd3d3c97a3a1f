// Reader B over a fuzzed ini file: the line reader for files named by a
// POSIX path, into C and length-prefixed strings, and over the same bytes
// in memory. Input: one byte choosing the output size, then the file.
#include <algorithm>
#include <cstring>
#include <vector>

#include "IniFile.h"
#include "fuzz_support.h"
#include "ini_queries.h"

namespace {

constexpr char kFill = '#';

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::ScratchFile file("Fuzz.ini");
  fuzz::Cursor in(data, size);
  const int outSize = fuzz::IniOutSize(in.U8());
  const std::span<const std::uint8_t> bytes = in.Rest();
  file.Write(bytes);

  for (const fuzz::IniQuery& q : fuzz::IniQueries(bytes)) {
    const char* s = q.section.c_str();
    const char* k = q.key.c_str();
    std::vector<char> out(static_cast<std::size_t>(std::max(outSize, 1)), kFill);
    int found = Load_File_To_Cstring(out.data(), k, s, file.path().c_str(), outSize);
    if (found == 1) {
      const char* end = static_cast<const char*>(std::memchr(out.data(), '\0', std::size_t(std::max(outSize, 0))));
      fuzz::Check(end != nullptr, "Load_File_To_Cstring terminates its value inside the buffer");
      fuzz::Check(std::size_t(end - out.data()) <= kIniLineMax, "a value fits one line");
      for (const char* c = out.data(); c < end; ++c)
        fuzz::Check(*c != '\r' && *c != '\n', "no line end in a value");
    } else {
      fuzz::Check(found == 0, "Load_File_To_Cstring result");
      fuzz::Check(std::all_of(out.begin(), out.end(), [](char c) { return c == kFill; }),
                  "nothing found leaves the buffer as it was");
    }

    std::vector<char> mem(out.size(), kFill);
    int foundMem = Load_Buffer_To_Cstring(reinterpret_cast<const char*>(bytes.data()), bytes.size(), mem.data(),
                                          k, s, outSize);
    fuzz::Check(foundMem == found && mem == out, "the file and memory readers agree");

    Str255 p;
    p[0] = 0xEE;
    int pf = Load_File_To_Pascal(p, k, s, file.path().c_str());
    if (pf == 1) {
      for (int i = 1; i <= p[0]; ++i) fuzz::Check(p[i] != '\r' && p[i] != '\n', "no line end in a value");
    } else {
      fuzz::Check(p[0] == 0xEE, "Load_File_To_Pascal leaves its output when nothing is found");
    }
  }
  return 0;
}

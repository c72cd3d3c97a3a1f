// The section and key pairs both ini targets look up: those the programs'
// language files use, odd ones (a key without its "=", an empty key), and
// one pair taken from the fuzzed file itself so that the fuzzer reaches the
// paths behind a match without guessing names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace fuzz {

struct IniQuery {
  std::string section;
  std::string key;
};

// The pair taken from the file comes first.
inline std::vector<IniQuery> IniQueries(std::span<const std::uint8_t> file) {
  std::vector<IniQuery> q;
  const char* p = reinterpret_cast<const char*>(file.data());
  const std::size_t n = file.size();
  auto stop = [](char c) { return c == '\0' || c == '\r' || c == '\n'; };
  for (std::size_t i = 0; i < n; ++i) {
    if (p[i] != '[') continue;
    std::size_t j = i;
    while (j < n && !stop(p[j]) && p[j] != ']' && j - i < 64) ++j;
    if (j >= n || p[j] != ']') continue;
    std::string section(p + i, j + 1 - i);
    // The key: the next line's text up to its "=".
    std::size_t k = j + 1;
    while (k < n && p[k] != '\0' && !(p[k] == '\r' || p[k] == '\n')) ++k;
    while (k < n && (p[k] == '\r' || p[k] == '\n')) ++k;
    std::size_t e = k;
    while (e < n && !stop(p[e]) && p[e] != '=' && e - k < 32) ++e;
    std::string key(p + k, e - k);
    if (e < n && p[e] == '=') key += '=';
    q.push_back({section, key});
    break;
  }
  for (const IniQuery& fixed : std::initializer_list<IniQuery>{
           {"[BUTTON]", "OK="}, {"[BUTTON]", "CANCEL="}, {"[TITLE]", "MAIN="}, {"[S]", "K="},
           {"[S]", "K"}, {"[S]", ""}, {"", "K="}, {"[MESSAGE]", "MSG01="}})
    q.push_back(fixed);
  return q;
}

// Reading the file again for every pair would make each input slow; the
// file readers parse what they read like the readers over memory, so the
// pairs the programs' calls go through are: the one from the file and one
// of the fixed ones, by the selector.
inline bool IniThroughFile(std::size_t index, std::uint8_t selector, std::size_t count) {
  return index == 0 || index == 1 + (selector >> 4) % (count - 1);
}

// Output sizes a caller may give (by the selector's low bits): the buffers the programs use and the
// edges around a value's length.
inline int IniOutSize(std::uint8_t selector) {
  static const int kSizes[] = {0, 1, 2, 3, 5, 8, 16, 32, 33, 64, 256, 1024, 1025};
  return kSizes[(selector & 0x0F) % (sizeof kSizes / sizeof kSizes[0])];
}

}  // namespace fuzz

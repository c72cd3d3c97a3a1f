// UTF-8 as the toolbox reads and writes it. A byte that starts no
// well-formed sequence (a stray or cut-short one, an overlong form, a
// surrogate, anything past U+10FFFF) stands for the character of its own
// number, so that no text is ever refused or lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace tb::utf8 {

// The character at t[i] (i < n) and its length in bytes.
inline std::pair<char32_t, std::size_t> Decode(const unsigned char* t, std::size_t n, std::size_t i) {
  unsigned c = t[i];
  if (c < 0x80) return {c, 1};
  std::size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
  if (len == 0 || i + len > n) return {c, 1};
  char32_t cp = c & (0xFF >> (len + 1));
  for (std::size_t k = 1; k < len; ++k) {
    unsigned cc = t[i + k];
    if ((cc & 0xC0) != 0x80) return {c, 1};
    cp = (cp << 6) | (cc & 0x3F);
  }
  bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
  if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {c, 1};
  return {cp, len};
}

// Appends the encoding of cp (at most U+10FFFF).
inline void Append(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// UTF-16 (host byte order) as UTF-8; a lone surrogate becomes U+FFFD.
inline std::string FromUTF16(const std::uint16_t* s, std::size_t n) {
  std::string out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    Append(out, c);
  }
  return out;
}

}  // namespace tb::utf8

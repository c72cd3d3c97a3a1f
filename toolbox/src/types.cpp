// Conversions between C and Pascal strings.
#include "toolbox/types.h"

void c2pstr(char* s) {
  std::size_t n = strnlen(s, 255);
  std::memmove(s + 1, s, n);
  s[0] = static_cast<char>(n);
}

void p2cstr(unsigned char* s) {
  std::size_t n = s[0];
  std::memmove(s, s + 1, n);
  s[n] = 0;
}

void CopyCStringToPascal(const char* src, Str255 dst) {
  pstr::set(dst, sizeof(Str255), std::string_view(src, strnlen(src, 255)));
}

void CopyPascalStringToC(ConstStr255Param src, char* dst) { pstr::toC(dst, 256, src); }

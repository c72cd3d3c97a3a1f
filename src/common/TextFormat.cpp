// Filling texts from ini and bundle files used as formats, taking only the
// conversions expected, so a stray one can never read a missing argument.
#include "common/TextFormat.h"

#include <cstring>
#include <string>

#include "common/StrConv.h"
#include "toolbox/textencoding.h"

int Count_String_Conversions(const char* format) {
  if (!format) return -1;
  int count = 0;
  for (const char* p = format; *p; ++p) {
    if (*p != '%') continue;
    if (p[1] == 's') {
      ++count;
    } else if (p[1] != '%') {
      return -1;
    }
    ++p;
  }
  return count;
}

int Format_Strings(char* out, std::size_t size, const char* format,
                   std::initializer_list<const char*> args) {
  const int conversions = Count_String_Conversions(format);
  if (conversions < 0 || static_cast<std::size_t>(conversions) > args.size()) {
    if (out && size) out[0] = '\0';
    return -1;
  }
  std::string text;
  const char* const* next = args.begin();
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      text += *p;
      continue;
    }
    ++p;
    if (*p == '%') {
      text += '%';
    } else {
      const char* arg = *next++;
      if (arg) text += arg;
    }
  }
  if (out && size) {
    std::size_t n = tb::CharCutLength(text, size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
  }
  return static_cast<int>(text.size());
}

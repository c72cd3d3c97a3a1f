// Text and number conversions on the caller's buffer: hexadecimal, decimal
// and binary digits, IPv4 and Ethernet addresses, byte swaps.
#include "common/StrConv.h"

namespace {

const UInt16 kWordPowers[] = {10000, 1000, 100, 10};
const UInt32 kDwordPowers[] = {1000000000u, 100000000u, 10000000u, 1000000u, 100000u,
                               10000u,      1000u,      100u,      10u};

// Counts how often each power fits by subtraction, skipping leading zero
// counts; the remainder after the last power is always written.
template <typename T, std::size_t N>
char* to_decimal(T value, const T (&powers)[N], char* out) {
  bool started = false;
  for (T power : powers) {
    int count = 0;
    while (value >= power) {
      value = static_cast<T>(value - power);
      ++count;
    }
    if (count || started) {
      *out++ = ctoa(count);
      started = true;
    }
  }
  *out++ = ctoa(static_cast<int>(value));
  return out;
}

template <typename T>
char* to_hex(T value, int digits, char* out) {
  for (int i = digits - 1; i >= 0; --i) *out++ = ctox(static_cast<int>(value >> (i * 4)));
  return out;
}

template <typename T>
char* to_binary(T value, int bits, char* out) {
  for (int i = bits - 1; i >= 0; --i) *out++ = ((value >> i) & 1) ? '1' : '0';
  return out;
}

template <typename T>
const char* from_hex(const char* text, T* out) {
  T v = 0;
  int d;
  while ((d = xtoc(static_cast<unsigned char>(*text))) >= 0) {
    v = static_cast<T>((v << 4) | static_cast<T>(d));
    ++text;
  }
  *out = v;
  return text;
}

template <typename T>
const char* from_decimal(const char* text, T* out) {
  T v = 0;
  int d;
  while ((d = atoc(static_cast<unsigned char>(*text))) >= 0) {
    v = static_cast<T>(v * 10u + static_cast<unsigned>(d));
    ++text;
  }
  *out = v;
  return text;
}

}  // namespace

UInt16 bswap(UInt16 w) { return static_cast<UInt16>((w >> 8) | (w << 8)); }

UInt32 wswap(UInt32 d) {
  return (d >> 24) | ((d >> 8) & 0x0000FF00u) | ((d << 8) & 0x00FF0000u) | (d << 24);
}

int xtoc(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char ctox(int v) { return "0123456789ABCDEF"[v & 0x0F]; }

int atoc(int c) { return (c >= '0' && c <= '9') ? c - '0' : -1; }

char ctoa(int v) { return static_cast<char>('0' + v); }

char* btox(UInt8 b, char* out) { return to_hex(b, 2, out); }
char* wtox(UInt16 w, char* out) { return to_hex(w, 4, out); }
char* dtox(UInt32 d, char* out) { return to_hex(d, 8, out); }
char* wtoa(UInt16 w, char* out) { return to_decimal(w, kWordPowers, out); }
char* dtoa(UInt32 d, char* out) { return to_decimal(d, kDwordPowers, out); }
char* btob(UInt8 b, char* out) { return to_binary(b, 8, out); }
char* wtob(UInt16 w, char* out) { return to_binary(w, 16, out); }
char* dtob(UInt32 d, char* out) { return to_binary(d, 32, out); }

char* iptoa(UInt32 addr, char* out) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out = wtoa(static_cast<UInt16>((addr >> shift) & 0xFF), out);
    if (shift) *out++ = '.';
  }
  *out = '\0';
  return out;
}

char* mactoa(const UInt8* mac, char* out) {
  for (int i = 0; i < 6; ++i) {
    if (i) *out++ = ':';
    out = btox(mac[i], out);
  }
  *out = '\0';
  return out;
}

const char* xtow(const char* text, UInt16* out) { return from_hex(text, out); }
const char* xtod(const char* text, UInt32* out) { return from_hex(text, out); }
const char* atow(const char* text, UInt16* out) { return from_decimal(text, out); }
const char* atod(const char* text, UInt32* out) { return from_decimal(text, out); }

const char* skip_space(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  return text;
}

const char* skip_string(const char* text) {
  while (*text && *text != ' ' && *text != '\t') ++text;
  return text;
}

UInt32 StrToIPAddr(const char* text) {
  if (!text) return 0;
  UInt32 addr = 0;
  for (int part = 0; part < 4; ++part) {
    // Read the part here rather than with atow: a 16-bit accumulator would
    // wrap, and 65539 must not pass as 3.
    unsigned value = 0;
    int d;
    while ((d = atoc(static_cast<unsigned char>(*text))) >= 0) {
      value = value * 10 + static_cast<unsigned>(d);
      if (value > 255) return 0;
      ++text;
    }
    addr = (addr << 8) + value;
    if (part < 3) {
      if (text[0] != '.' || text[1] == '.') return 0;
      ++text;
    } else if (*text != '\0') {
      return 0;
    }
  }
  return addr;
}

// The device settings tables a print box sends: finding a setting by its
// variable id, reading and writing its value in the settings image, parsing
// typed text into it and formatting it for display, all bounded by the
// blocks as received.
#include "common/Context.h"

#include <algorithm>
#include <cstring>

#include "common/StrConv.h"
#include "toolbox/textencoding.h"

namespace {

const char kSyntaxError[] = "Syntax Error.";
const char kOutOfRange[] = "Out of range.";
const char kUnclosedQuote[] = "Syntax error.";
const char kTooLong[] = "String too long.";
const char kNoSelection[] = "No such selection.";

bool is_string_type(char t) {
  return t == 'E' || t == 'F' || t == 'J' || t == 'X' || t == 'P';
}

// Width of the value of a known kind in the image; 0 for unknown letters.
std::size_t value_width(const CONTEXT_ENTRY* e) {
  switch (e->type) {
    case 'B':
    case 'N':
      return 1;
    case 'W':
      return 2;
    case 'L':
    case 'I':
      return 4;
    default:
      return is_string_type(e->type) ? get_ctx_max(e) : 0;
  }
}

int fail(int result, const char* text, char* msg, std::size_t msgSize) {
  if (msg && msgSize) {
    std::size_t n = std::min(std::strlen(text), msgSize - 1);
    std::memcpy(msg, text, n);
    msg[n] = '\0';
  }
  return result;
}

// ctx_strval, also telling whether any digit was read.
const char* read_number(const char* p, SInt32* out, bool* anyDigit) {
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  bool hex = false;
  if (p[0] == '0' && p[1] == 'x') {
    hex = true;
    p += 2;
  } else if (*p == '$') {
    hex = true;
    ++p;
  }
  // Held at the 32-bit limit so that huge numbers stay out of every range.
  const std::int64_t limit = negative ? 0x80000000LL : 0x7FFFFFFFLL;
  std::int64_t value = 0;
  bool any = false;
  for (;;) {
    unsigned char c = static_cast<unsigned char>(*p);
    int d = hex ? xtoc(c) : atoc(c);
    if (d < 0) break;
    value = std::min<std::int64_t>(value * (hex ? 16 : 10) + d, limit);
    any = true;
    ++p;
  }
  *out = static_cast<SInt32>(negative ? -value : value);
  if (anyDigit) *anyDigit = any;
  return p;
}

// ctx_stoc, also telling whether an escape was cut short.
const char* read_char(const char* p, UInt8* out, bool* complete) {
  *complete = false;
  if (!*p) return p;
  if (*p != '\\') {
    *out = static_cast<UInt8>(*p);
    *complete = true;
    return p + 1;
  }
  ++p;
  unsigned char c = static_cast<unsigned char>(*p);
  if (!c) return p;
  static const char kLetters[] = "btnvfr";
  if (const char* l = std::strchr(kLetters, c)) {
    *out = static_cast<UInt8>(8 + (l - kLetters));
    *complete = true;
    return p + 1;
  }
  if (c == 'x') {
    ++p;
    int hi = xtoc(static_cast<unsigned char>(*p));
    if (hi < 0) return p;
    ++p;
    int lo = xtoc(static_cast<unsigned char>(*p));
    if (lo < 0) return p;
    *out = static_cast<UInt8>(hi * 16 + lo);
    *complete = true;
    return p + 1;
  }
  *out = c;
  *complete = true;
  return p + 1;
}

// Display text into a bounded buffer: each unit goes in whole or, once one
// does not fit, nothing more goes in.
class Display {
 public:
  Display(char* out, std::size_t size) : p_(out), room_(size - 1) {}
  void put(const char* s, std::size_t n) {
    if (n == 0) return;
    if (full_ || n > room_) {
      full_ = true;
      return;
    }
    std::memcpy(p_, s, n);
    p_ += n;
    room_ -= n;
  }
  void put(char c) { put(&c, 1); }
  void byte(UInt8 b) {
    char unit[4];
    put(unit, static_cast<std::size_t>(ctx_show_ascii(b, unit) - unit));
  }
  // Text of unknown origin, cut on a character boundary.
  void text(std::string_view s) {
    std::size_t n = tb::CharCutLength(s, room_);
    put(s.data(), n);
  }
  void finish() { *p_ = '\0'; }

 private:
  char* p_;
  std::size_t room_;
  bool full_ = false;
};

void store_c_string(std::span<UInt8> field, const char* text) {
  std::size_t n = tb::CharCutLength(std::string_view(text), field.size() - 1);
  if (n) std::memcpy(field.data(), text, n);
  field[n] = 0;
}

// The most characters a length-prefixed field of this size can hold.
std::size_t pascal_room(std::span<UInt8> field) { return std::min<std::size_t>(field.size() - 1, 255); }

int set_number(const CONTEXT_ENTRY* e, const char* text, char* msg, std::size_t msgSize) {
  SInt32 value;
  bool any;
  read_number(text, &value, &any);
  // An entry without a single digit is not a number; storing it as 0 would
  // silently change the setting.
  if (!any) return fail(kCtxSyntaxError, kSyntaxError, msg, msgSize);
  SInt32 lo = get_ctx_min(e);
  SInt32 hi = get_ctx_max(e);
  // A byte field cannot hold more than 255, whatever limit the box gives.
  if (e->type == 'B') hi = std::min<SInt32>(hi, 0xFF);
  if (value < lo || value > hi) return fail(kCtxOutOfRange, kOutOfRange, msg, msgSize);
  context_write_value(e, static_cast<UInt32>(value));
  return kCtxStored;
}

int set_address(std::span<UInt8> field, const char* text, char* msg, std::size_t msgSize) {
  UInt32 addr = 0;
  const char* p = text;
  for (int part = 0; part < 4; ++part) {
    SInt32 value;
    p = read_number(p, &value, nullptr);
    if (value < 0 || value > 255) return fail(kCtxOutOfRange, kOutOfRange, msg, msgSize);
    addr = (addr << 8) + static_cast<UInt32>(value);
    if (part < 3) {
      if (p[0] != '.' || p[1] == '.') return fail(kCtxSyntaxError, kSyntaxError, msg, msgSize);
      ++p;
    }
  }
  be::put32(field.data(), addr);
  return kCtxStored;
}

int set_selection(const CONTEXT_ENTRY* e, std::span<UInt8> field, const char* text, char* msg,
                  std::size_t msgSize) {
  int lo = get_ctx_min(e);
  int hi = get_ctx_max(e);
  int number = find_enum(text, lo);
  // The stored index is one byte; a selection it cannot hold is not offered.
  if (number < 0 || number < lo || number > hi || number - lo > 0xFF)
    return fail(kCtxNoSelection, kNoSelection, msg, msgSize);
  field[0] = static_cast<UInt8>(number - lo);
  return kCtxStored;
}

int set_pascal(std::span<UInt8> field, const char* text, char* msg, std::size_t msgSize) {
  const char* p = text;
  bool quoted = *p == '"';
  if (quoted) ++p;
  const std::size_t room = pascal_room(field);
  UInt8 chars[255];
  std::size_t count = 0;
  while (*p && !(quoted && *p == '"')) {
    if (count >= room) return fail(kCtxTooLong, kTooLong, msg, msgSize);
    bool complete;
    p = read_char(p, &chars[count], &complete);
    // A broken escape has no byte to store.
    if (!complete) return fail(kCtxSyntaxError, kSyntaxError, msg, msgSize);
    ++count;
  }
  if (quoted && *p != '"') return fail(kCtxOutOfRange, kUnclosedQuote, msg, msgSize);
  field[0] = static_cast<UInt8>(count);
  if (count) std::memcpy(field.data() + 1, chars, count);
  return kCtxStored;
}

}  // namespace

CONTEXT_ENTRY* get_context_by_varid(UInt16 varid) {
  if (!pContextData) return nullptr;
  const std::size_t size = wContextSize;
  for (std::size_t off = 0; off + sizeof(CONTEXT_ENTRY) <= size; off += sizeof(CONTEXT_ENTRY)) {
    auto* e = reinterpret_cast<CONTEXT_ENTRY*>(pContextData + off);
    if (e->type == 'z') break;
    if (get_ctx_varid(e) == varid) return e;
  }
  return nullptr;
}

char get_ctx_type(const CONTEXT_ENTRY* e) { return e ? e->type : '\0'; }
UInt16 get_ctx_offset(const CONTEXT_ENTRY* e) { return e ? be::get16(e->offset) : 0; }
UInt16 get_ctx_varid(const CONTEXT_ENTRY* e) { return e ? be::get16(e->varid) : 0; }
UInt16 get_ctx_min(const CONTEXT_ENTRY* e) { return e ? be::get16(e->min) : 0; }
UInt16 get_ctx_max(const CONTEXT_ENTRY* e) { return e ? be::get16(e->max) : 0; }

std::span<UInt8> context_field(const CONTEXT_ENTRY* e) {
  if (!e || !pEEPData) return {};
  std::size_t width = value_width(e);
  std::size_t offset = get_ctx_offset(e);
  if (width == 0 || offset > wEEPDataSize || wEEPDataSize - offset < width) return {};
  return {reinterpret_cast<UInt8*>(pEEPData) + offset, width};
}

char* get_enum_by_number(int number) {
  if (number < 1 || !pEnumData || wEnumWidth == 0) return nullptr;
  std::size_t off = static_cast<std::size_t>(number - 1) * wEnumWidth;
  if (off >= wEnumSize) return nullptr;
  return pEnumData + off;
}

std::string_view get_enum_name(int number) {
  char* name = get_enum_by_number(number);
  if (!name) return {};
  std::size_t off = static_cast<std::size_t>(name - pEnumData);
  std::size_t span = std::min<std::size_t>(wEnumWidth, wEnumSize - off);
  return {name, strnlen(name, span)};
}

int find_enum(const char* name, int first) {
  if (!name) return -1;
  std::string_view wanted(name);
  for (int n = std::max(first, 1);; ++n) {
    if (!get_enum_by_number(n)) return -1;
    std::string_view have = get_enum_name(n);
    if (have.empty()) return -1;
    if (have == wanted) return n;
  }
}

std::intptr_t context_read(const CONTEXT_ENTRY* e) {
  if (!e) return 0;
  if (value_width(e) == 0 && !is_string_type(e->type)) return get_ctx_offset(e);
  std::span<UInt8> f = context_field(e);
  if (f.empty()) return 0;
  switch (e->type) {
    case 'B':
    case 'N':
      return f[0];
    case 'W':
      return be::get16(f.data());
    case 'L':
    case 'I':
      return be::get32(f.data());
    default:
      return reinterpret_cast<std::intptr_t>(f.data());
  }
}

int context_write_value(const CONTEXT_ENTRY* e, UInt32 value) {
  if (!e) return -1;
  if (value_width(e) == 0 && !is_string_type(e->type)) return 0;
  if (is_string_type(e->type)) return -1;
  std::span<UInt8> f = context_field(e);
  if (f.empty()) return -1;
  switch (e->type) {
    case 'B':
    case 'N':
      f[0] = static_cast<UInt8>(value);
      break;
    case 'W':
      be::put16(f.data(), static_cast<UInt16>(value));
      break;
    default:
      be::put32(f.data(), value);
      break;
  }
  return 0;
}

int context_write(const CONTEXT_ENTRY* e, const char* text) {
  if (!e || !text || !is_string_type(e->type)) return -1;
  std::span<UInt8> f = context_field(e);
  if (f.empty()) return -1;
  if (e->type != 'P') {
    store_c_string(f, text);
    return 0;
  }
  std::size_t n = tb::CharCutLength(std::string_view(text), pascal_room(f));
  f[0] = static_cast<UInt8>(n);
  if (n) std::memcpy(f.data() + 1, text, n);
  return 0;
}

int context_set(const CONTEXT_ENTRY* e, const char* text, char* msg, std::size_t msgSize) {
  if (!e) return -1;
  if (value_width(e) == 0 && !is_string_type(e->type)) return kCtxStored;
  std::span<UInt8> f = context_field(e);
  if (f.empty()) return -1;
  if (!text) text = "";
  switch (e->type) {
    case 'B':
    case 'W':
    case 'L':
      return set_number(e, text, msg, msgSize);
    case 'I':
      return set_address(f, text, msg, msgSize);
    case 'N':
      return set_selection(e, f, text, msg, msgSize);
    case 'P':
      return set_pascal(f, text, msg, msgSize);
    default:
      store_c_string(f, text);
      return kCtxStored;
  }
}

int context_show(const CONTEXT_ENTRY* e, char* out, std::size_t outSize) {
  if (!e || !out || outSize == 0) return -1;
  Display d(out, outSize);
  if (value_width(e) == 0 && !is_string_type(e->type)) {
    d.finish();  // nothing to show for an unknown kind, but never garbage
    return 0;
  }
  std::span<UInt8> f = context_field(e);
  if (f.empty()) return -1;
  char number[16];
  switch (e->type) {
    case 'B':
    case 'W':
    case 'L':
      d.put(number, static_cast<std::size_t>(dtoa(static_cast<UInt32>(context_read(e)), number) - number));
      break;
    case 'I':
      d.put(number, static_cast<std::size_t>(iptoa(be::get32(f.data()), number) - number));
      break;
    case 'N':
      d.text(get_enum_name(get_ctx_min(e) + f[0]));
      break;
    case 'X': {
      d.put('"');
      std::size_t n = strnlen(reinterpret_cast<const char*>(f.data()), f.size());
      for (std::size_t i = 0; i < n; ++i) d.put('*');
      d.put('"');
      break;
    }
    case 'P': {
      d.put('"');
      std::size_t n = std::min<std::size_t>(f[0], f.size() - 1);
      for (std::size_t i = 0; i < n; ++i) d.byte(f[1 + i]);
      d.put('"');
      break;
    }
    default: {
      d.put('"');
      std::size_t n = strnlen(reinterpret_cast<const char*>(f.data()), f.size());
      for (std::size_t i = 0; i < n; ++i) d.byte(f[i]);
      d.put('"');
      break;
    }
  }
  d.finish();
  return 0;
}

int context_set_varid(UInt16 varid, const char* text, char* msg, std::size_t msgSize) {
  CONTEXT_ENTRY* e = get_context_by_varid(varid);
  return e ? context_set(e, text, msg, msgSize) : -1;
}

int context_show_varid(UInt16 varid, char* out, std::size_t outSize) {
  CONTEXT_ENTRY* e = get_context_by_varid(varid);
  return e ? context_show(e, out, outSize) : -1;
}

const char* ctx_strval(const char* text, SInt32* out) { return read_number(text, out, nullptr); }

const char* ctx_stoc(const char* text, UInt8* out) {
  bool complete;
  UInt8 c = *out;
  const char* p = read_char(text, &c, &complete);
  if (complete) *out = c;
  return p;
}

char* ctx_show_ascii(UInt8 b, char* out) {
  static const char kLetters[] = "btnvfr";
  if (b == '"' || b == '\\') {
    *out++ = '\\';
    *out++ = static_cast<char>(b);
  } else if (b >= 0x20 && b <= 0x7E) {
    *out++ = static_cast<char>(b);
  } else if (b >= 8 && b <= 13) {
    *out++ = '\\';
    *out++ = kLetters[b - 8];
  } else {
    *out++ = '\\';
    *out++ = 'x';
    out = btox(b, out);
  }
  return out;
}

int GetStringArrayWidth(const char* text, int limit, std::size_t avail) {
  if (!text || limit <= 0) return 0;
  const std::size_t end = std::min<std::size_t>(static_cast<std::size_t>(limit), avail);
  std::size_t n = 0;
  while (n < end && text[n]) ++n;
  while (n < end && !text[n]) ++n;
  return static_cast<int>(n);
}

int GetStringArrayWidth(const char* text, int limit) {
  return GetStringArrayWidth(text, limit, static_cast<std::size_t>(limit > 0 ? limit : 0));
}

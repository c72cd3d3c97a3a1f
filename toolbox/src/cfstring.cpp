// Core Foundation strings: UTF-8 text, converted from and to a language's
// encoding at the edges, with the UTF-16 view computed when asked.
#include "toolbox/cfstring.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "cf_internal.h"
#include "toolbox/textencoding.h"
#include "utf8_internal.h"

struct OpaqueCFString {
  UInt32 magic;
  int refs;
  bool constant;
  std::string text;
};

namespace {

constexpr UInt32 kStringMagic = 'CFst';
constexpr char32_t kReplacement = 0xFFFD;

struct Constants {
  std::mutex lock;
  std::map<std::string, OpaqueCFString*> strings;
};

// Never destroyed: constant strings stay valid until the very end.
Constants& constants() {
  static Constants& c = *new Constants;
  return c;
}

OpaqueCFString* newString(std::string text, bool constant) {
  return new OpaqueCFString{kStringMagic, 1, constant, std::move(text)};
}

// Other CF objects (the bundle) start with their own magic number too.
UInt32 magicOf(CFTypeRef cf) {
  UInt32 m = 0;
  std::memcpy(&m, cf, sizeof m);
  return m;
}

bool live(CFStringRef s) { return s && magicOf(s) == kStringMagic; }

// The encodings a string takes text in and gives it out in.
bool known(CFStringEncoding e) { return e == kCFStringEncodingUTF8 || tb::IsScriptEncoding(e); }

bool isAscii(std::string_view t) {
  return std::all_of(t.begin(), t.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Text in encoding as a new string's text; false when refused.
bool import(std::string_view t, CFStringEncoding e, std::string* out) {
  if (known(e)) {
    *out = tb::TextFromEncoding(t, e);
    return true;
  }
  if (e != kCFStringEncodingASCII || !isAscii(t)) return false;
  *out = std::string(t);
  return true;
}

// The text in encoding as it fits in room bytes, for the C and Pascal
// forms; true when the whole text fits. A text the encoding cannot hold
// gives nothing.
bool exportText(CFStringRef s, CFStringEncoding e, std::size_t room, std::string* out) {
  out->clear();
  if (!live(s)) return false;
  std::string t;
  if (e == kCFStringEncodingASCII) {
    if (!isAscii(s->text)) return false;
    t = s->text;
  } else if (!known(e) || !tb::TextToEncoding(s->text, e, &t)) {
    return false;
  }
  const std::size_t n = tb::CharCutLength(t, room, e);
  *out = t.substr(0, n);
  return n == t.size();
}

}  // namespace

std::u16string tb::Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* b = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    auto [cp, len] = tb::utf8::Decode(b, text.size(), i);
    // Decode reads a stray byte as the character of its number; here it is
    // the replacement character, as it draws.
    if (len == 1 && b[i] >= 0x80) cp = kReplacement;
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += char16_t(0xD800 + (cp >> 10));
      out += char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      out += char16_t(cp);
    }
  }
  return out;
}

std::string tb::Utf16ToUtf8(std::u16string_view u) {
  std::string out;
  out.reserve(u.size() * 3);
  for (std::size_t i = 0; i < u.size(); ++i) {
    char32_t c = u[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = kReplacement;
    }
    tb::utf8::Append(out, c);
  }
  return out;
}

CFStringRef tb::ConstantCFString(const char* text) {
  Constants& c = constants();
  std::lock_guard g(c.lock);
  std::string t = text ? text : "";
  auto it = c.strings.find(t);
  if (it != c.strings.end()) return it->second;
  OpaqueCFString* str = newString(t, true);
  c.strings.emplace(t, str);
  return str;
}

CFStringRef tb::NewCFString(std::string text) { return newString(std::move(text), false); }

std::string tb::CFStringText(CFStringRef s) { return live(s) ? s->text : std::string(); }

bool tb::IsCFString(CFTypeRef cf) { return cf && magicOf(cf) == kStringMagic; }

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
  std::string t;
  if (!cStr || !import(cStr, encoding, &t)) return nullptr;
  return newString(std::move(t), false);
}

CFStringRef CFStringCreateWithPascalString(CFAllocatorRef, ConstStr255Param pStr, CFStringEncoding encoding) {
  std::string t;
  if (!pStr || !import(std::string_view(reinterpret_cast<const char*>(pStr + 1), pStr[0]), encoding, &t))
    return nullptr;
  return newString(std::move(t), false);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars) {
  if (numChars < 0 || (!chars && numChars > 0)) return nullptr;
  std::u16string_view u(reinterpret_cast<const char16_t*>(chars), std::size_t(numChars));
  return newString(tb::Utf16ToUtf8(u), false);
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes, CFStringEncoding encoding,
                                    Boolean isExternalRepresentation) {
  if (numBytes < 0 || (!bytes && numBytes > 0)) return nullptr;
  if (encoding == kCFStringEncodingUnicode) {
    std::u16string u(std::size_t(numBytes) / 2, u'\0');
    if (!u.empty()) std::memcpy(u.data(), bytes, u.size() * 2);
    if (isExternalRepresentation && !u.empty() && u[0] == 0xFEFF) u.erase(0, 1);
    return newString(tb::Utf16ToUtf8(u), false);
  }
  std::string t;
  if (!import(std::string_view(reinterpret_cast<const char*>(bytes), std::size_t(numBytes)), encoding, &t))
    return nullptr;
  return newString(std::move(t), false);
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef s) { return live(s) ? newString(s->text, false) : nullptr; }

Boolean CFStringGetCString(CFStringRef s, char* buffer, CFIndex bufferSize, CFStringEncoding encoding) {
  if (!buffer || bufferSize <= 0) return false;
  std::string cut;
  bool whole = exportText(s, encoding, std::size_t(bufferSize - 1), &cut);
  if (!cut.empty()) std::memcpy(buffer, cut.data(), cut.size());
  buffer[cut.size()] = '\0';
  return whole;
}

Boolean CFStringGetPascalString(CFStringRef s, StringPtr buffer, CFIndex bufferSize, CFStringEncoding encoding) {
  if (!buffer || bufferSize <= 0) return false;
  std::string cut;
  bool whole = exportText(s, encoding, std::size_t(std::min<CFIndex>(bufferSize - 1, 255)), &cut);
  buffer[0] = static_cast<unsigned char>(cut.size());
  if (!cut.empty()) std::memcpy(buffer + 1, cut.data(), cut.size());
  return whole;
}

const char* CFStringGetCStringPtr(CFStringRef s, CFStringEncoding encoding) {
  // Only where the bytes are the same in the encoding asked for.
  if (!live(s) || !known(encoding) || (encoding != kCFStringEncodingUTF8 && !isAscii(s->text))) return nullptr;
  return s->text.c_str();
}

CFIndex CFStringGetLength(CFStringRef s) { return live(s) ? CFIndex(tb::Utf8ToUtf16(s->text).size()) : 0; }

void CFStringGetCharacters(CFStringRef s, CFRange range, UniChar* buffer) {
  if (!live(s) || !buffer || range.location < 0 || range.length <= 0) return;
  std::u16string u = tb::Utf8ToUtf16(s->text);
  if (std::size_t(range.location) >= u.size()) return;
  std::size_t n = std::min(u.size() - std::size_t(range.location), std::size_t(range.length));
  std::memcpy(buffer, u.data() + range.location, n * sizeof(UniChar));
}

UniChar CFStringGetCharacterAtIndex(CFStringRef s, CFIndex idx) {
  if (!live(s) || idx < 0) return 0;
  std::u16string u = tb::Utf8ToUtf16(s->text);
  return std::size_t(idx) < u.size() ? u[std::size_t(idx)] : 0;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
  if (length < 0) return 0;
  if (encoding == kCFStringEncodingUnicode) return length * 2;
  return length * 3;  // a UTF-16 unit is at most 3 UTF-8 bytes (a pair makes 4 from 2)
}

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFOptionFlags options) {
  std::u16string ua = live(a) ? tb::Utf8ToUtf16(a->text) : std::u16string();
  std::u16string ub = live(b) ? tb::Utf8ToUtf16(b->text) : std::u16string();
  if (options & kCFCompareCaseInsensitive) {
    auto fold = [](std::u16string& u) {
      for (char16_t& c : u)
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    };
    fold(ua);
    fold(ub);
  }
  int r = ua.compare(ub);
  return r < 0 ? kCFCompareLessThan : r > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

CFStringEncoding CFStringGetSystemEncoding() { return kCFStringEncodingUTF8; }

Boolean CFStringIsEncodingAvailable(CFStringEncoding e) {
  return known(e) || e == kCFStringEncodingASCII || e == kCFStringEncodingUnicode;
}

CFTypeRef CFRetain(CFTypeRef cf) {
  if (tb::detail::RetainCollection(cf)) return cf;
  if (tb::IsCFString(cf)) {
    auto* s = const_cast<OpaqueCFString*>(static_cast<const OpaqueCFString*>(cf));
    if (!s->constant) ++s->refs;
  }
  return cf;
}

void CFRelease(CFTypeRef cf) {
  if (tb::detail::ReleaseCollection(cf)) return;
  if (!tb::IsCFString(cf)) return;
  auto* s = const_cast<OpaqueCFString*>(static_cast<const OpaqueCFString*>(cf));
  if (s->constant) return;
  if (--s->refs == 0) {
    s->magic = 0;
    delete s;
  }
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
  if (CFIndex n = tb::detail::CollectionRetainCount(cf); n >= 0) return n;
  if (!tb::IsCFString(cf)) return 0;
  const auto* s = static_cast<const OpaqueCFString*>(cf);
  return s->constant ? 0x7FFFFFFF : s->refs;
}

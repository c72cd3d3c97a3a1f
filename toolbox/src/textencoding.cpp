// Text encodings over the host's iconv: a language's text as the program's
// UTF-8 and back, and character boundaries in both.
#include "toolbox/textencoding.h"

#include <iconv.h>

#include <array>
#include <cerrno>

#include "toolbox/bundle.h"
#include "toolbox/script.h"
#include "utf8_internal.h"

namespace {

// The iconv name of a script encoding; null for UTF-8 (and numbers taken as it).
const char* iconvName(TextEncoding e) {
  switch (e) {
    case kTextEncodingMacRoman: return "MACINTOSH";
    case kTextEncodingMacJapanese: return "CP932";
    case kTextEncodingMacChineseTrad: return "CP950";
    case kTextEncodingMacKorean: return "CP949";
    case kTextEncodingMacChineseSimp: return "GBK";
    default: return nullptr;
  }
}

// A byte that begins a two-byte character of the encoding.
bool isLeadByte(TextEncoding e, unsigned char c) {
  switch (e) {
    case kTextEncodingMacJapanese: return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case kTextEncodingMacChineseTrad:
    case kTextEncodingMacKorean:
    case kTextEncodingMacChineseSimp: return c >= 0x81 && c <= 0xFE;
    default: return false;
  }
}

const unsigned char* bytesOf(std::string_view t) { return reinterpret_cast<const unsigned char*>(t.data()); }

bool isWellFormedUtf8(std::string_view t) {
  const unsigned char* b = bytesOf(t);
  for (std::size_t i = 0; i < t.size();) {
    const std::size_t len = tb::utf8::Decode(b, t.size(), i).second;
    if (len == 1 && b[i] >= 0x80) return false;
    i += len;
  }
  return true;
}

// Whether text counts in UTF-8 under encoding: the encoding is UTF-8, or
// the bytes are well-formed UTF-8 as a whole.
bool readsAsUtf8(std::string_view text, TextEncoding e) { return !iconvName(e) || isWellFormedUtf8(text); }

// One converter per direction and encoding for each thread that converts
// (iconv keeps state, so it is not shared between threads).
class Converters {
 public:
  ~Converters() {
    for (Slot& s : slots_)
      if (s.used) iconv_close(s.cd);
  }
  // The converter, reset to its initial state; null when the host has none.
  iconv_t get(TextEncoding e, bool toUtf8) {
    for (Slot& s : slots_)
      if (s.used && s.encoding == e && s.toUtf8 == toUtf8) return reset(s.cd);
    for (Slot& s : slots_) {
      if (s.used) continue;
      iconv_t cd = toUtf8 ? iconv_open("UTF-8", iconvName(e)) : iconv_open(iconvName(e), "UTF-8");
      if (cd == iconv_t(-1)) return nullptr;
      s = Slot{true, e, toUtf8, cd};
      return cd;
    }
    return nullptr;
  }

 private:
  struct Slot {
    bool used = false;
    TextEncoding encoding = 0;
    bool toUtf8 = false;
    iconv_t cd{};
  };
  static iconv_t reset(iconv_t cd) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return cd;
  }
  std::array<Slot, 10> slots_{};
};

iconv_t converter(TextEncoding e, bool toUtf8) {
  thread_local Converters converters;
  return converters.get(e, toUtf8);
}

// Runs cd over the whole input into out. At a sequence it cannot convert
// the step stops; onBad decides: true skips one byte (the caller has
// written its stand-in), false ends the conversion as failed.
template <typename OnBad>
bool convert(iconv_t cd, std::string_view in, std::string* out, OnBad onBad) {
  char* src = const_cast<char*>(in.data());
  std::size_t left = in.size();
  std::array<char, 256> buf;
  while (left > 0) {
    char* dst = buf.data();
    std::size_t room = buf.size();
    const std::size_t r = iconv(cd, &src, &left, &dst, &room);
    out->append(buf.data(), std::size_t(dst - buf.data()));
    if (r != std::size_t(-1) || errno == E2BIG) continue;
    if (!onBad()) return false;
    ++src;
    --left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = buf.data();
  std::size_t room = buf.size();
  iconv(cd, nullptr, nullptr, &dst, &room);
  out->append(buf.data(), std::size_t(dst - buf.data()));
  return true;
}

}  // namespace

TextEncoding GetApplicationTextEncoding() {
  switch (tb::ScriptOfLanguage(tb::LocalizationLanguage())) {
    case smJapanese: return kTextEncodingMacJapanese;
    case smTradChinese: return kTextEncodingMacChineseTrad;
    case smKorean: return kTextEncodingMacKorean;
    case smSimpChinese: return kTextEncodingMacChineseSimp;
    default: return kTextEncodingMacRoman;
  }
}

bool tb::IsScriptEncoding(TextEncoding encoding) { return iconvName(encoding) != nullptr; }

TextEncoding tb::ReadingEncoding(std::string_view bytes, TextEncoding encoding) {
  return readsAsUtf8(bytes, encoding) ? TextEncoding(kCFStringEncodingUTF8) : encoding;
}

std::string tb::ConvertFromEncoding(std::string_view bytes, TextEncoding encoding) {
  if (!iconvName(encoding)) return std::string(bytes);
  std::string out;
  iconv_t cd = converter(encoding, true);
  if (!cd) {
    // Without a converter only ASCII is certain; the rest stands for U+FFFD.
    for (unsigned char c : bytes) c < 0x80 ? out += char(c) : out += "\xEF\xBF\xBD";
    return out;
  }
  convert(cd, bytes, &out, [&] {
    out += "\xEF\xBF\xBD";
    return true;
  });
  return out;
}

std::string tb::TextFromEncoding(std::string_view bytes, TextEncoding encoding) {
  return ConvertFromEncoding(bytes, ReadingEncoding(bytes, encoding));
}

bool tb::TextToEncoding(std::string_view text, TextEncoding encoding, std::string* out) {
  if (!out) return false;
  if (!iconvName(encoding)) {
    *out = std::string(text);
    return true;
  }
  iconv_t cd = converter(encoding, false);
  std::string bytes;
  if (!cd || !convert(cd, text, &bytes, [] { return false; })) return false;
  // A character iconv writes as a near one (a yen sign as a backslash) is
  // one the encoding cannot hold: what is written must read back the same.
  if (TextFromEncoding(bytes, encoding) != text) return false;
  *out = std::move(bytes);
  return true;
}

std::size_t tb::CharByteCount(std::string_view text, std::size_t i, TextEncoding encoding) {
  if (i >= text.size()) return 0;
  if (readsAsUtf8(text, encoding)) return tb::utf8::Decode(bytesOf(text), text.size(), i).second;
  return isLeadByte(encoding, bytesOf(text)[i]) && i + 1 < text.size() ? 2 : 1;
}

std::size_t tb::CharCutLength(std::string_view text, std::size_t max, TextEncoding encoding) {
  if (text.size() <= max) return text.size();
  const unsigned char* b = bytesOf(text);
  if (readsAsUtf8(text, encoding)) {
    // A character split by the cut starts at most three bytes before it;
    // continuation bytes with no start before them are characters of their own.
    for (std::size_t back = 1; back <= 3 && back <= max; ++back) {
      const std::size_t i = max - back;
      if ((b[i] & 0xC0) == 0x80) continue;
      return i + tb::utf8::Decode(b, text.size(), i).second > max ? i : max;
    }
    return max;
  }
  // A trail byte may look like a lead byte, so the characters are counted from the start.
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t n = isLeadByte(encoding, b[i]) && i + 1 < text.size() ? 2 : 1;
    if (i + n > max) break;
    i += n;
  }
  return i;
}

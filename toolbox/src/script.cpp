// Script Manager: variables from the system language, and the byte types
// and word breaks of UTF-8 text.
#include "toolbox/script.h"

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "toolbox/bundle.h"
#include "toolbox/fonts.h"
#include "utf8_internal.h"

namespace {

struct LangInfo {
  const char* code;
  LangCode lang;
  ScriptCode script;
};

constexpr LangInfo kLanguages[] = {
    {"en", 0, smRoman},      {"fr", 1, smRoman},        {"de", 2, smRoman},
    {"it", 3, smRoman},      {"nl", 4, smRoman},        {"sv", 5, smRoman},
    {"es", 6, smRoman},      {"da", 7, smRoman},        {"pt", 8, smRoman},
    {"no", 9, smRoman},      {"nb", 9, smRoman},        {"nn", 9, smRoman},
    {"he", 10, smHebrew},    {"ja", 11, smJapanese},    {"ar", 12, smArabic},
    {"fi", 13, smRoman},     {"el", 14, smGreek},       {"is", 15, smRoman},
    {"mt", 16, smRoman},     {"tr", 17, smRoman},       {"hr", 18, smCentralEuroRoman},
    {"ur", 20, smArabic},    {"hi", 21, smDevanagari},  {"th", 22, smThai},
    {"ko", 23, smKorean},    {"lt", 24, smCentralEuroRoman}, {"pl", 25, smCentralEuroRoman},
    {"hu", 26, smCentralEuroRoman}, {"et", 27, smCentralEuroRoman}, {"lv", 28, smCentralEuroRoman},
    {"fa", 31, smArabic},    {"ru", 32, smCyrillic},    {"ro", 37, smCentralEuroRoman},
    {"cs", 38, smCentralEuroRoman}, {"sk", 39, smCentralEuroRoman}, {"sl", 40, smCentralEuroRoman},
    {"id", 81, smRoman},
};

constexpr LangCode kTradChinese = 19;
constexpr LangCode kSimpChinese = 33;

bool traditionalChineseRegion(const std::string& language) {
  auto sep = language.find('_');
  if (sep == std::string::npos) return false;
  std::string region = language.substr(sep + 1);
  return region == "TW" || region == "HK" || region == "MO";
}

std::string baseLanguage(const std::string& language) { return language.substr(0, language.find('_')); }

struct Fonts {
  std::map<SInt16, long> sysFond, appFond;
};
Fonts& fonts() {
  static Fonts f;
  return f;
}

SInt16 concreteScript(SInt16 script) {
  if (script == smSystemScript || script == smCurrentScript) return tb::ScriptOfLanguage(tb::SystemLanguage());
  return script;
}

}  // namespace

LangCode tb::LanguageCodeOf(const std::string& language) {
  std::string base = baseLanguage(language);
  if (base == "zh") return traditionalChineseRegion(language) ? kTradChinese : kSimpChinese;
  for (const LangInfo& l : kLanguages)
    if (base == l.code) return l.lang;
  return 0;
}

ScriptCode tb::ScriptOfLanguage(const std::string& language) {
  std::string base = baseLanguage(language);
  if (base == "zh") return traditionalChineseRegion(language) ? smTradChinese : smSimpChinese;
  for (const LangInfo& l : kLanguages)
    if (base == l.code) return l.script;
  return smRoman;
}

long GetScriptVariable(SInt16 script, SInt16 selector) {
  SInt16 s = concreteScript(script);
  switch (selector) {
    case smScriptLang:
      if (s == concreteScript(smSystemScript)) return tb::LanguageCodeOf(tb::SystemLanguage());
      for (const LangInfo& l : kLanguages)
        if (l.script == s) return l.lang;
      return s == smTradChinese ? kTradChinese : s == smSimpChinese ? kSimpChinese : 0;
    case smScriptSysFond: {
      auto it = fonts().sysFond.find(s);
      return it == fonts().sysFond.end() ? 0 : it->second;
    }
    case smScriptAppFond: {
      auto it = fonts().appFond.find(s);
      return it == fonts().appFond.end() ? 1 : it->second;
    }
    default:
      return 0;
  }
}

OSErr SetScriptVariable(SInt16 script, SInt16 selector, long value) {
  SInt16 s = concreteScript(script);
  if (selector == smScriptSysFond) {
    fonts().sysFond[s] = value;
    return noErr;
  }
  if (selector == smScriptAppFond) {
    fonts().appFond[s] = value;
    return noErr;
  }
  return paramErr;
}

long GetScriptManagerVariable(SInt16 selector) {
  if (selector == smSysScript || selector == smKeyScript) return tb::ScriptOfLanguage(tb::SystemLanguage());
  return 0;
}

// ---------------------------------------------------------------------------
// Byte types and word breaks on UTF-8.

namespace {

using tb::utf8::Decode;

// Characters that a line may be cut before and after, as the CJK scripts
// break between any two of them.
bool isCJK(char32_t c) {
  return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF);
}

bool isBlank(char32_t c) { return c == ' ' || c == '\t'; }

// Where each character of text[0..len) starts; a byte that is no valid
// sequence is a character of its own.
struct Chars {
  std::vector<std::size_t> start;  // start offsets, then len
  std::vector<char32_t> code;
};

Chars charsOf(const unsigned char* t, std::size_t len) {
  Chars c;
  for (std::size_t i = 0; i < len;) {
    auto [cp, n] = Decode(t, len, i);
    c.start.push_back(i);
    c.code.push_back(cp);
    i += n;
  }
  c.start.push_back(len);
  return c;
}

// What a Japanese line may not start with: closing brackets and quotes,
// the stops and marks that follow a word, the iteration marks, the long
// vowel mark and the small kana.
bool noLineStart(char32_t c) {
  static constexpr std::u32string_view kClosers =
      U")]},.:;?!%\u3001\u3002\uFF0C\uFF0E\u30FB\uFF1A\uFF1B\uFF1F\uFF01\uFF09\uFF3D\uFF5D\u300D\u300F"
      U"\u3011\u3015\u3009\u300B\u3017\u3019\u301F\u2019\u201D\u2026\u2025\u30FC\u309D\u309E\u30FD\u30FE"
      U"\u3005\u303B\u30A0\u301C\uFF05\uFF61\uFF63\uFF64\uFF65\uFF70\u203C\u2047\u2048\u2049";
  // Small hiragana and katakana: ぁぃぅぇぉっゃゅょゎゕゖ, ァィゥェォッャュョヮヵヶ, ㇰ-ㇿ, ｧ-ｯ.
  static constexpr std::u32string_view kSmallKana =
      U"\u3041\u3043\u3045\u3047\u3049\u3063\u3083\u3085\u3087\u308E\u3095\u3096"
      U"\u30A1\u30A3\u30A5\u30A7\u30A9\u30C3\u30E3\u30E5\u30E7\u30EE\u30F5\u30F6";
  return kClosers.find(c) != std::u32string_view::npos || kSmallKana.find(c) != std::u32string_view::npos ||
         (c >= 0x31F0 && c <= 0x31FF) || (c >= 0xFF67 && c <= 0xFF6F);
}

// What a line may not end with: opening brackets and quotes.
bool noLineEnd(char32_t c) {
  static constexpr std::u32string_view kOpeners =
      U"([{\uFF08\uFF3B\uFF5B\u300C\u300E\u3010\u3014\u3008\u300A\u3016\u3018\u301D\u2018\u201C\uFF62";
  return kOpeners.find(c) != std::u32string_view::npos;
}

// Break rule between two characters (line rule): after blanks and around
// CJK characters, but never before what may not start a line nor after
// what may not end one.
bool lineBreakBetween(char32_t before, char32_t after) {
  if (isBlank(after) || noLineStart(after) || noLineEnd(before)) return false;
  return isBlank(before) || isCJK(before) || isCJK(after);
}

// The class of a character for the word-selection rule.
int selectClass(char32_t c) { return isBlank(c) ? 0 : isCJK(c) ? 2 : 1; }

}  // namespace

short CharacterByteType(const void* textBuf, short textOffset, ScriptCode) {
  if (!textBuf || textOffset < 0) return smSingleByte;
  const auto* t = static_cast<const unsigned char*>(textBuf);
  const std::size_t off = std::size_t(textOffset);
  // Decode reads a continuation byte only after a valid one, so the look
  // past textOffset stays inside the character that holds it.
  const std::size_t limit = off + 4;
  std::size_t i = 0;
  for (;;) {
    std::size_t n = Decode(t, limit, i).second;
    if (i + n > off) {
      if (n == 1) return smSingleByte;
      if (off == i) return smFirstByte;
      return off == i + n - 1 ? smLastByte : smMiddleByte;
    }
    i += n;
  }
}

short CharByte(const void* textBuf, short textOffset) { return CharacterByteType(textBuf, textOffset, smSystemScript); }

void KeyScript(short) {}

bool tb::IsLineBreakBetween(char32_t before, char32_t after) { return lineBreakBetween(before, after); }

bool tb::IsLineBreakAt(const unsigned char* t, std::size_t len, std::size_t pos) {
  if (!t || pos == 0 || pos >= len) return false;
  // The characters either side of pos; pos inside a character is no break.
  std::size_t i = 0;
  char32_t before = 0;
  while (i < pos) {
    auto [cp, n] = Decode(t, len, i);
    before = cp;
    i += n;
  }
  if (i != pos) return false;
  return lineBreakBetween(before, Decode(t, len, pos).first);
}

void FindWordBreaks(const void* textPtr, short textLength, short offset, Boolean leadingEdge, BreakTablePtr breaks,
                    OffsetTable offsets, ScriptCode) {
  if (!offsets) return;
  for (int k = 0; k < 3; ++k) offsets[k] = OffPair{0, 0};
  if (!textPtr || textLength <= 0) return;
  const auto* t = static_cast<const unsigned char*>(textPtr);
  const Chars c = charsOf(t, std::size_t(textLength));
  const std::size_t count = c.code.size();
  // The character that holds offset (or the one before it).
  std::size_t at = std::size_t(std::clamp<int>(offset, 0, textLength));
  std::size_t k = std::size_t(std::upper_bound(c.start.begin(), c.start.end() - 1, at) - c.start.begin()) - 1;
  if (!leadingEdge && c.start[k] == at && k > 0) --k;
  if (k >= count) k = count - 1;
  auto breakBefore = [&](std::size_t j) {  // between character j-1 and j
    if (breaks) return lineBreakBetween(c.code[j - 1], c.code[j]);
    const int a = selectClass(c.code[j - 1]), b = selectClass(c.code[j]);
    return a != b || a == 2;
  };
  std::size_t first = k, last = k + 1;
  while (first > 0 && !breakBefore(first)) --first;
  while (last < count && !breakBefore(last)) ++last;
  offsets[0] = OffPair{short(c.start[first]), short(c.start[last])};
}

StyledLineBreakCode StyledLineBreak(const void* textPtr, long textLen, long textStart, long textEnd, long,
                                    Fixed* textWidth, long* textOffset) {
  if (!textPtr || !textWidth || !textOffset || textLen <= 0 || textStart < 0 || textStart >= textEnd) {
    if (textOffset) *textOffset = textStart;
    return smBreakOverflow;
  }
  textEnd = std::min(textEnd, textLen);
  if (textStart >= textEnd) {
    *textOffset = textStart;
    return smBreakOverflow;
  }
  const bool startsLine = *textOffset != 0;
  const auto* t = static_cast<const unsigned char*>(textPtr);
  const std::size_t len = std::size_t(textLen);
  const Fixed room = *textWidth;
  Fixed used = 0;
  std::size_t lastBreak = 0;  // 0: none yet
  std::size_t fitEnd = std::size_t(textStart);
  char32_t prev = 0;
  for (std::size_t i = std::size_t(textStart); i < std::size_t(textEnd);) {
    auto [cp, n] = Decode(t, len, i);
    if (i > std::size_t(textStart) && lineBreakBetween(prev, cp)) lastBreak = i;
    const Fixed cw = Fixed(TextWidth(t + i, 0, short(n))) << 16;
    if (!isBlank(cp) && used + cw > room) {
      if (lastBreak) {
        *textOffset = long(lastBreak);
        return smBreakWord;
      }
      if (!startsLine) {
        *textOffset = textStart;
        return smBreakWord;
      }
      *textOffset = long(fitEnd > std::size_t(textStart) ? fitEnd : i + n);
      return smBreakChar;
    }
    used += cw;
    i += n;
    fitEnd = i;
    prev = cp;
  }
  *textWidth = room - used;
  *textOffset = textEnd;
  return smBreakOverflow;
}

// Script Manager variables from the system language.
#include "toolbox/script.h"

#include <map>
#include <string>

#include "toolbox/bundle.h"

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

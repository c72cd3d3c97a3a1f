// Script Manager: the system script and language, taken from the system
// language of bundle.h (the locale, or the test override).
//
// Language codes: en 0, fr 1, de 2, it 3, nl 4, sv 5, es 6, da 7, pt 8,
// no/nb/nn 9, he 10, ja 11, ar 12, fi 13, el 14, is 15, mt 16, tr 17, hr 18,
// zh_TW/zh_HK/zh_MO 19, ur 20, hi 21, th 22, ko 23, lt 24, pl 25, hu 26,
// et 27, lv 28, fa 31, ru 32, zh (other regions) 33, ro 37, cs 38, sk 39,
// sl 40, id 81; any other language counts as English (0).
// Scripts: Japanese 1, traditional Chinese 2, Korean 3, Arabic (ar, fa, ur)
// 4, Hebrew 5, Greek 6, Cyrillic (ru) 7, Devanagari (hi) 9, Thai 21,
// simplified Chinese 25, central European (pl, cs, sk, hu, hr, sl, lt, lv,
// et, ro) 29, else Roman 0. Text itself is UTF-8 whatever the script.
#pragma once

#include <string>

#include "toolbox/files.h"  // ScriptCode, smSystemScript
#include "toolbox/types.h"

using LangCode = SInt16;

enum : SInt16 {
  smCurrentScript = -2,
  smAllScripts = -3,
  smRoman = 0,
  smJapanese = 1,
  smTradChinese = 2,
  smKorean = 3,
  smArabic = 4,
  smHebrew = 5,
  smGreek = 6,
  smCyrillic = 7,
  smDevanagari = 9,
  smThai = 21,
  smSimpChinese = 25,
  smCentralEuroRoman = 29,
};

// Script variable selectors.
enum : SInt16 {
  smScriptSysFond = 12,
  smScriptAppFond = 14,
  smScriptLang = 28,
};
// Script Manager variable selectors.
enum : SInt16 {
  smSysScript = 18,
  smKeyScript = 22,
};

// smScriptLang gives the language code, smScriptSysFond and smScriptAppFond
// the fonts last set for the script (0 and 1 until then); other selectors 0.
// smSystemScript and smCurrentScript name the system script.
long GetScriptVariable(SInt16 script, SInt16 selector);
// Only the two font selectors can be set (for this process); paramErr else.
OSErr SetScriptVariable(SInt16 script, SInt16 selector, long value);
// smSysScript and smKeyScript give the system script; others 0.
long GetScriptManagerVariable(SInt16 selector);

namespace tb {
LangCode LanguageCodeOf(const std::string& language);  // "ja" -> 11
ScriptCode ScriptOfLanguage(const std::string& language);
}  // namespace tb

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

#include <cstddef>
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

// Character byte types, for UTF-8 text whatever the script: a byte that
// is a whole character (ASCII, or a byte that starts no valid sequence) is
// single; the bytes of a multi-byte character are first, middle or last.
enum : short { smSingleByte = 0, smFirstByte = -1, smLastByte = 1, smMiddleByte = 2 };
// The type of the byte at textOffset. Reads the text from textBuf up to the
// end of the character that holds textOffset, and no further: a character
// cut short by the end of the buffer (or by a NUL) is single bytes.
short CharacterByteType(const void* textBuf, short textOffset, ScriptCode script);
short CharByte(const void* textBuf, short textOffset);

// Keyboard scripts do not exist here: KeyScript does nothing.
enum : short { smKeyNextScript = -1, smKeySysScript = -2, smKeySwapScript = -3,
               smKeyDisableKybdSwitch = -13, smKeyEnableKybdSwitch = -14 };
void KeyScript(short code);

// Word breaks. Text is cut for lines between a blank and what follows it,
// and before and after every CJK character (ideographs, kana, Hangul,
// full-width forms, CJK punctuation); a word never ends inside a character.
// Blanks are spaces and tabs; U+3000 counts as CJK.
struct OffPair {
  short offFirst;
  short offSecond;
};
using OffsetTable = OffPair[3];
struct NBreakTable;
using NBreakTablePtr = NBreakTable*;
using BreakTablePtr = NBreakTablePtr;
// Pass as breaks for the line-breaking rule.
inline const NBreakTablePtr kLineBreakTable = reinterpret_cast<NBreakTablePtr>(-1L);

// offsets[0] gets the word that holds the character at offset (leadingEdge)
// or the one before it; offsets[1] and [2] are cleared. With breaks =
// kLineBreakTable (or any table) a word is what a line may be cut into: its
// trailing blanks belong to it. With null, the word-selection rule: a run of
// blanks is a word of its own.
void FindWordBreaks(const void* textPtr, short textLength, short offset, Boolean leadingEdge, BreakTablePtr breaks,
                    OffsetTable offsets, ScriptCode script);

using StyledLineBreakCode = SInt8;
enum : StyledLineBreakCode { smBreakWord = 0, smBreakChar = 1, smBreakOverflow = 2 };
// Finds where a line ends in the run [textStart, textEnd) of the text,
// measured in the current port's font. textWidth is the room left (16.16);
// when the whole run fits it is reduced by the run's width, textOffset is
// textEnd and the result smBreakOverflow. Otherwise textOffset is the last
// word break that fits (trailing blanks may hang past the width) and the
// result smBreakWord; when no word fits and textOffset was non-zero on entry
// (the run starts the line), the line is cut after the characters that fit
// (at least one) and the result is smBreakChar; else textOffset = textStart.
StyledLineBreakCode StyledLineBreak(const void* textPtr, long textLen, long textStart, long textEnd, long flags,
                                    Fixed* textWidth, long* textOffset);

namespace tb {
// True when a line may be cut before the byte at pos of text[0..len).
bool IsLineBreakAt(const unsigned char* text, std::size_t len, std::size_t pos);
// The same rule for two neighbouring characters (for layouts that walk the
// text themselves).
bool IsLineBreakBetween(char32_t before, char32_t after);
LangCode LanguageCodeOf(const std::string& language);  // "ja" -> 11
ScriptCode ScriptOfLanguage(const std::string& language);
}  // namespace tb

// Texts from the language ini, with the program's fallbacks.
#include "common/IniText.h"

#include "common/AppGlobals.h"
#include "common/IniFile.h"
#include "toolbox/resources.h"

namespace {

constexpr SInt16 kFallbackTexts = 200;  // 'STR#'

}  // namespace

void Get_Ini_Text(Str255 out, const char* section, const char* key, short fallbackItem, const char* fallback) {
  out[0] = 0;
  if (Load_File_To_PascalEx(section, key, out, 256, IniFileName)) return;
  if (fallbackItem > 0) {
    const SInt16 saved = CurResFile();
    UseResFile(Appl_Rsrc_Fork_No);
    GetIndString(out, kFallbackTexts, fallbackItem);
    UseResFile(saved);
    if (out[0]) return;
  }
  if (fallback) pstr::set(out, 256, fallback);
}

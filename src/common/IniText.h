// The texts a program shows, from its language ini with fallbacks in its
// own resources, for programs that keep no table of their own.
#pragma once

#include "toolbox/types.h"

// The value of key (with its "=") in section of the language ini
// (IniFileName) as a length-prefixed string; where it is missing, item
// fallbackItem of the program's 'STR#' 200 (when above 0), then fallback
// (when given, cut to 255 bytes on a character boundary); else empty. The
// current resource file is kept.
void Get_Ini_Text(Str255 out, const char* section, const char* key, short fallbackItem = 0,
                  const char* fallback = nullptr);

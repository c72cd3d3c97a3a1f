// vemomanual: opens the manual of the user's language. The manual's path is
// the bundle's localised string "MANUAL_PATH", an HFS partial path from the
// program's folder.
#pragma once

#include <cstddef>

namespace vemomanual {

// The bundle's "MANUAL_PATH" in out (at most size bytes with the NUL, cut on
// a character boundary); 1 when it was there and fitted.
short Get_Localize_Strings(char* out, std::size_t size);
// Has the Finder open the manual; 1 when the file exists and was handed
// over. Every failure is silent but for one line on standard error.
short Get_Active_Language();

}  // namespace vemomanual

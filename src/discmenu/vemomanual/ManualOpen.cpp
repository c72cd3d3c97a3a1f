// The manual opener's one action.
#include "discmenu/vemomanual/ManualOpen.h"

#include <cstdio>
#include <cstring>

#include "506Q_Lib/AppLocation.h"
#include "discmenu/FinderLaunch.h"
#include "toolbox/bundle.h"
#include "toolbox/cfstring.h"
#include "toolbox/files.h"

namespace vemomanual {

short Get_Localize_Strings(char* out, std::size_t size) {
  if (!out || size == 0) return 0;
  CFStringRef key = CFSTR("MANUAL_PATH");
  CFStringRef text = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr);
  const Boolean ok = CFStringGetCString(text, out, CFIndex(size), CFStringGetSystemEncoding());
  CFRelease(text);
  // A bundle without the string answers the key itself, which names no file.
  return ok && std::strcmp(out, "MANUAL_PATH") != 0 ? 1 : 0;
}

short Get_Active_Language() {
  char path[256];
  if (!Get_Localize_Strings(path, sizeof path)) {
    std::fprintf(stderr, "vemomanual: the bundle names no manual (MANUAL_PATH)\n");
    return 0;
  }
  FSSpec app, manual;
  if (GetAppLocation(&app) != noErr) return 0;
  Str255 name;
  pstr::set(name, sizeof name, path);
  if (FSMakeFSSpec(app.vRefNum, app.parID, name, &manual) != noErr) {
    std::fprintf(stderr, "vemomanual: no manual at %s\n", path);
    return 0;
  }
  if (FinderLaunch(1, &manual) != noErr) {
    std::fprintf(stderr, "vemomanual: the manual %s could not be opened\n", path);
    return 0;
  }
  return 1;
}

}  // namespace vemomanual

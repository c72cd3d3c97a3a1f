// The monitor's login item through the login window's preference list or
// the login-items service, and the start-up choice that adds or removes it.
#include "Monitor/MonitorLogin.h"

#include <unistd.h>

#include <string>
#include <vector>

#include "common/AppGlobals.h"
#include "common/LoginPref.h"
#include "common/PrefFile.h"
#include "Monitor/StartupFiles.h"
#include "toolbox/cfpreferences.h"
#include "toolbox/files.h"
#include "toolbox/gestalt.h"
#include "toolbox/loginitems.h"
#include "toolbox/trace.h"

namespace {

constexpr SInt32 kLoginItemsSystem = 0x1080;
constexpr int kListAttempts = 10;
constexpr useconds_t kListPause = 10000;

bool loginItemsService() {
  SInt32 version = 0;
  return Gestalt(gestaltSystemVersion, &version) == noErr && version >= kLoginItemsSystem;
}

CFStringRef listKey() { return CFSTR("AutoLaunchedApplicationDictionary"); }
CFStringRef domain() { return CFSTR("loginwindow"); }

CFArrayRef copyList() {
  return static_cast<CFArrayRef>(
      CFPreferencesCopyValue(listKey(), domain(), kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
}

void storeList(CFArrayRef list) {
  CFPreferencesSetValue(listKey(), list, domain(), kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  CFPreferencesSynchronize(domain(), kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
}

// The list, stored empty first when the user has none yet.
CFArrayRef copyOrCreateList() {
  CFPreferencesSynchronize(domain(), kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  if (CFArrayRef list = copyList(); list && CFGetTypeID(list) == CFArrayGetTypeID())
    return list;
  else if (list)
    CFRelease(list);
  CFMutableArrayRef empty = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  storeList(empty);
  CFRelease(empty);
  CFArrayRef list = copyList();
  if (list && CFGetTypeID(list) != CFArrayGetTypeID()) {
    CFRelease(list);
    return nullptr;
  }
  return list;
}

}  // namespace

SInt32 Get_Login_Preferences_Ex(const FSSpec* fSpec) {
  const std::string path = Get_Application_Path(fSpec);
  if (path.empty()) return -1;
  std::vector<LoginItem> items;
  int attempt = 0;
  while (LIAECopyLoginItems(&items) != noErr) {
    if (++attempt == kListAttempts) {
      tb::TraceRefusal("monitor", "the login items cannot be read");
      return -1;
    }
    usleep(kListPause);
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].path.empty()) return -1;
    if (items[i].path == path) return SInt32(i);
  }
  return -1;
}

SInt32 Get_Login_Preferences(const FSSpec* fSpec) {
  if (loginItemsService()) return Get_Login_Preferences_Ex(fSpec);
  const std::string path = Get_Application_Path(fSpec);
  if (path.empty()) return -1;
  CFArrayRef list = copyOrCreateList();
  if (!list) return -1;
  SInt32 found = -1;
  CFStringRef wanted = tb::NewCFString(path);
  for (CFIndex i = 0; i < CFArrayGetCount(list) && found < 0; ++i) {
    auto entry = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(list, i));
    if (CFGetTypeID(entry) != CFDictionaryGetTypeID()) continue;
    auto itemPath = static_cast<CFStringRef>(CFDictionaryGetValue(entry, CFSTR("Path")));
    if (itemPath && CFGetTypeID(itemPath) == CFStringGetTypeID() &&
        CFStringCompare(itemPath, wanted, kCFCompareLocalized) == kCFCompareEqualTo)
      found = SInt32(i);
  }
  CFRelease(wanted);
  CFRelease(list);
  return found;
}

SInt32 Set_Login_Preferences(const FSSpec* fSpec, short newSetting) {
  const SInt32 index = Get_Login_Preferences(fSpec);
  if ((index >= 0) == (newSetting != 0)) return index;
  if (loginItemsService()) return Set_Login_Preferences_Ex(fSpec, newSetting != 0);
  const std::string path = Get_Application_Path(fSpec);
  if (path.empty()) return index;
  CFArrayRef list = newSetting ? copyOrCreateList() : copyList();
  if (!list) return index;
  CFMutableArrayRef changed = CFArrayCreateMutableCopy(nullptr, 0, list);
  if (newSetting) {
    const void* keys[] = {CFSTR("Hide"), CFSTR("Path")};
    CFStringRef p = tb::NewCFString(path);
    const void* values[] = {kCFBooleanFalse, p};
    CFDictionaryRef entry =
        CFDictionaryCreate(nullptr, keys, values, 2, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFArrayAppendValue(changed, entry);
    CFRelease(entry);
    CFRelease(p);
  } else {
    CFArrayRemoveValueAtIndex(changed, index);
  }
  storeList(changed);
  CFRelease(changed);
  CFRelease(list);
  return index;
}

OSErr Get_Startup_App_Spec(FSSpec* spec) {
  FSSpec app;
  if (const OSErr err = tb::GetApplicationSpec(&app); err != noErr) return err;
  Str255 name;
  CopyCStringToPascal("::VEMO-MONITOR Startup.app", name);
  return FSMakeFSSpec(app.vRefNum, app.parID, name, spec);
}

SInt32 Set_Startup_Data(const PBOXinfo* pbox, short add) {
  Save_Startup_Data(pbox, add);
  FSSpec app{};
  const OSErr err = Get_Startup_App_Spec(&app);
  if (err != noErr && err != fnfErr) {
    tb::TraceRefusal("monitor", "no start-up program to list");
    return 1;
  }
  if (add) {
    Set_Login_Preferences(&app, 1);
  } else {
    // Other printers still start at login while the file lists one.
    if (Read_Startup_Data().empty()) Set_Login_Preferences(&app, 0);
  }
  return 1;
}

// The program as the user's login item.
#include "common/LoginPref.h"

#include "common/AppGlobals.h"
#include "toolbox/loginitems.h"

SInt32 Set_Login_Preferences_Ex(const FSSpec* appSpec, Boolean newSetting) {
  if (!appSpec) return -1;
  const SInt32 index = Get_Login_Preferences(appSpec);
  if (!newSetting) {
    if (index >= 0) LIAERemove(index);
  } else if (index < 0) {
    LIAEAddRefAtEnd(appSpec, false);
  }
  return index;
}

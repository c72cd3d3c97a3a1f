// The program as a login item of the user (started at log-in), through the
// toolbox's login items.
#pragma once

#include "toolbox/types.h"

// Asks the program's Get_Login_Preferences for the index of the login item
// that names appSpec (-1 none). With newSetting false that item is removed
// when there is one; with true, the program's path is added at the end when
// there is none (not hidden). Returns the index found.
SInt32 Set_Login_Preferences_Ex(const FSSpec* appSpec, Boolean newSetting);

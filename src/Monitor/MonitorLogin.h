// The monitor's login item: the start-up program inside the monitor's
// bundle, listed while some printer is to be watched from login. Before
// system 0x1080 the login window's preference list is used, from it on the
// login-items service; both reach the user's autostart entries.
#pragma once

#include "OT/PBoxTable.h"
#include "toolbox/types.h"

// Index (from 0) of the login item whose path is the program's; -1 when it
// has none or the list cannot be read.
SInt32 Get_Login_Preferences(const FSSpec* fSpec);
// The same over the login-items service: the list is read up to 10 times,
// 10 ms apart; an entry without a path ends the search with -1.
SInt32 Get_Login_Preferences_Ex(const FSSpec* fSpec);
// Lists the program (newSetting 1) or removes it (0); nothing changes when
// it is already so. The index found before the change (-1 none).
SInt32 Set_Login_Preferences(const FSSpec* fSpec, short newSetting);
// Rewrites "Alias Data" with or without the printer, then lists the start-up
// program as a login item when adding, or removes it when no printer is
// left in the file. 1.
SInt32 Set_Startup_Data(const PBOXinfo* pbox, short add);
// The start-up program "::VEMO-MONITOR Startup.app" beside the program's
// own file.
OSErr Get_Startup_App_Spec(FSSpec* spec);

// Windows and dialogs of the program that commands open but that are not
// built yet: each says so in a message and changes nothing.
#pragma once

#include "OT/PBoxTable.h"

short Open_System_Window(PBOXinfo* box);
short Open_Setup_Window(PBOXinfo* box);
short Set_Ip_Address(PBOXinfo* box);
// 1 when the box may be commanded; a box found over TCP/IP without an
// address is asked about (IpSetup.cpp) and the command does not run.
short Check_IPAddress(PBOXinfo* box);
// 1 administrator mode, 0 user mode; read once at start-up.
short Get_Setup_Mode();
// Non-zero while the settings window is open.
short Get_Setup_Open();
short Get_System_Open();

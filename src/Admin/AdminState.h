// The program's state as its menus and main window ask for it: whether the
// settings window or a system status window is open, and the
// administrator/user mode.
#pragma once

// 1 administrator mode, 0 user mode, as the mode file says (user mode
// without one); gbAdminMode is set to it. Read each time it is asked.
short Get_Setup_Mode();
// Non-zero while the settings window is open.
short Get_Setup_Open();
// Non-zero while a system status window is open.
short Get_System_Open();

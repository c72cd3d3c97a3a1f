// Whether the settings and system status windows are open, and the mode
// query, which reads the administrator/user mode file.
#include "Admin/AdminState.h"

#include "Admin/AdminApp.h"
#include "Admin/AdminMode.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupWindow.h"
#include "Admin/SystemStatus.h"
#include "toolbox/resources.h"

short Get_Setup_Open() { return Get_Open_Setup_Dialog() ? 1 : 0; }
short Get_System_Open() { return Get_System_Open_Count() > 0 ? 1 : 0; }

short Get_Setup_Mode() {
  Str255 name;
  const SInt16 saved = CurResFile();
  UseResFile(Appl_Rsrc_Fork_No);
  GetIndString(name, kStrFileNames, 2);
  const short mode = Get_Administrator(saved, name);
  gbAdminMode = mode ? 1 : 0;
  return mode;
}

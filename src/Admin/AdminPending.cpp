// Whether the settings and system status windows are open, and the mode
// query, which reads the administrator/user mode file.
#include "Admin/AdminPending.h"

#include "Admin/AdminApp.h"
#include "Admin/AdminMode.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupWindow.h"
#include "Admin/SystemStatus.h"
#include "toolbox/resources.h"

namespace {

short gSetupMode = -1;

}  // namespace

short Get_Setup_Open() { return Get_Open_Setup_Dialog() ? 1 : 0; }
short Get_System_Open() { return Get_System_Open_Count() > 0 ? 1 : 0; }

short Get_Setup_Mode() {
  if (gSetupMode < 0) {
    Str255 name;
    const SInt16 saved = CurResFile();
    UseResFile(Appl_Rsrc_Fork_No);
    GetIndString(name, kStrFileNames, 2);
    gSetupMode = Get_Administrator(saved, name);
    gbAdminMode = gSetupMode ? 1 : 0;
  }
  return gSetupMode;
}

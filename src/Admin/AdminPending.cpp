// The windows the menus open that this program does not have yet (the
// settings window, the system status window, the IP set-up and the search
// configuration): their commands say so and change nothing. The mode query
// reads the administrator/user mode file.
#include "Admin/AdminPending.h"

#include "Admin/AdminApp.h"
#include "Admin/AdminMode.h"
#include "toolbox/resources.h"

namespace {

short gSetupMode = -1;

short not_yet() {
  Str255 text;
  Get_Ini_Text(text, "[STATIC]", "NOTYET=", 0, "This window is not available in this version.");
  Str255 empty = {0};
  Set_Alert_Dialog_Items(kAlertMessage, 2, text, empty, empty, empty);
  return 0;
}

}  // namespace

short Open_System_Window(PBOXinfo*) { return not_yet(); }
short Open_Setup_Window(PBOXinfo*) { return not_yet(); }
short Get_Setup_Open() { return 0; }
short Get_System_Open() { return 0; }

short Get_Setup_Mode() {
  if (gSetupMode < 0) {
    Str255 name;
    const SInt16 saved = CurResFile();
    UseResFile(Appl_Rsrc_Fork_No);
    GetIndString(name, kStrFileNames, 2);
    gSetupMode = Get_Administrator(saved, name);
  }
  return gSetupMode;
}

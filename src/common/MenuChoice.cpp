// The menu dispatch and the status monitor's menu rule (a program with
// menus of another shape leaves this module out).
#include "common/AppGlobals.h"
#include "common/AppMenus.h"
#include "toolbox/menus.h"

void Handle_Menu_Choice(long menuChoice) {
  if (menuChoice == 0) return;
  const SInt16 menuID = static_cast<SInt16>((menuChoice >> 16) & 0xFFFF);
  const short item = static_cast<short>(menuChoice & 0xFFFF);
  HiliteMenu(menuID);
  switch (menuID) {
    case kAppleMenuID:
      Handle_Apple_Menu(item);
      break;
    case kFileMenuID:
      Handle_File_Menu(item);
      break;
    case kOptionMenuID:
      Handle_Option_Menu(item);
      break;
    default:
      break;
  }
  HiliteMenu(0);
}

void Handle_Apple_Menu(short item) {
  if (item == 1) {
    Open_About_Dialog();
    return;
  }
  MenuRef menu = GetMenuHandle(kAppleMenuID);
  if (!menu) return;
  Str255 name;
  GetMenuItemText(menu, item, name);
  OpenDeskAcc(name);
}

void Setup_Menu_Status() {
  const short enable = Get_Status_Open_Count() > 0 && Get_Config_Open_Count() == 0 &&
                       Get_Ftp_Open_Count() == 0;
  for (short item : {2, 3, 5}) Menu_Select_Enable(kFileMenuID, item, enable);
  AppliMenu_Select_Enable(enable);
  InvalMenuBar();
}

// vemomanual: opens the manual of the user's language and ends; no window,
// no event loop.
#include "discmenu/vemomanual/ManualEvents.h"
#include "discmenu/vemomanual/ManualOpen.h"
#include "toolbox/events.h"
#include "toolbox/resources.h"

int main() {
  FlushEvents(everyEvent, 0);
  InitCursor();
  vemomanual::Initialize_Variables();
  vemomanual::Install_Handlers_And_Menus();
  vemomanual::Get_Active_Language();
  CloseResFile(CurResFile());
  return 0;
}

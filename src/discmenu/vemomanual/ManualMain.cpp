// vemomanual: opens the manual of the user's language and ends; no window,
// no event loop.
#include "discmenu/vemomanual/ManualOpen.h"
#include "toolbox/appleevents.h"
#include "toolbox/events.h"
#include "toolbox/gestalt.h"
#include "toolbox/memory.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"

namespace {

Boolean gQuit = false;

OSErr quitHandler(const AppleEvent*, AppleEvent*, SRefCon) {
  gQuit = true;
  return noErr;
}

}  // namespace

int main() {
  FlushEvents(everyEvent, 0);
  InitCursor();
  SInt32 answer = 0;
  if (Gestalt('evnt', &answer) == noErr)
    AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, NewAEEventHandlerUPP(quitHandler), 0, false);
  if (MenuBarHandle bar = GetNewMBar(128)) {
    SetMenuBar(bar);
    DisposeHandle(reinterpret_cast<Handle>(bar));
    DrawMenuBar();
  }
  vemomanual::Get_Active_Language();
  CloseResFile(CurResFile());
  return 0;
}

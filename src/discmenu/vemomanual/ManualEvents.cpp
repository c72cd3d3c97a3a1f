// The manual opener's menus and event handling, which a build that keeps
// the program open runs.
#include "discmenu/vemomanual/ManualEvents.h"

#include "toolbox/appleevents.h"
#include "toolbox/events.h"
#include "toolbox/gestalt.h"
#include "toolbox/memory.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"
#include "toolbox/windows.h"

namespace vemomanual {

Boolean gQuitFlag = false;
Boolean gHasWNE = true;

namespace {

constexpr short kAppleMenu = 128;
constexpr short kFileMenu = 129;
SInt16 gApplRsrc = 0;

OSErr quitHandler(const AppleEvent*, AppleEvent*, SRefCon) {
  gQuitFlag = true;
  return noErr;
}

}  // namespace

void Initialize_Variables() {
  // Every system this suite runs on has WaitNextEvent; the flag keeps the
  // older loop reachable as the other programs keep it.
  gHasWNE = true;
  gApplRsrc = CurResFile();
}

void Install_Handlers_And_Menus() {
  SInt32 answer = 0;
  if (Gestalt('evnt', &answer) == noErr)
    AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, NewAEEventHandlerUPP(quitHandler), 0, false);
  if (MenuBarHandle bar = GetNewMBar(128)) {
    SetMenuBar(bar);
    DisposeHandle(reinterpret_cast<Handle>(bar));
    DrawMenuBar();
  }
}

void Handle_Menu_Choice(long choice) {
  const short menu = short((choice >> 16) & 0xFFFF);
  const short item = short(choice & 0xFFFF);
  if (menu == kAppleMenu) {
    if (MenuRef apple = GetMenuHandle(kAppleMenu)) {
      Str255 name;
      GetMenuItemText(apple, item, name);
      OpenDeskAcc(name);
    }
  } else if (menu == kFileMenu && item == 1) {
    gQuitFlag = true;
  }
  HiliteMenu(0);
}

bool Event_Loop_Step(UInt32 sleep) {
  EventRecord event;
  Boolean got;
  if (gHasWNE) {
    got = WaitNextEvent(everyEvent, &event, sleep, nullptr);
  } else {
    SystemTask();
    got = GetNextEvent(everyEvent, &event);
  }
  if (!got) return false;
  switch (event.what) {
    case mouseDown: {
      WindowRef window = nullptr;
      if (FindWindow(event.where, &window) == inMenuBar) Handle_Menu_Choice(MenuSelect(event.where));
      break;
    }
    case keyDown:
    case autoKey:
      if (event.modifiers & cmdKey) Handle_Menu_Choice(MenuKey(char(event.message & charCodeMask)));
      break;
    case kHighLevelEvent: AEProcessAppleEvent(&event); break;
    default: break;
  }
  return true;
}

}  // namespace vemomanual

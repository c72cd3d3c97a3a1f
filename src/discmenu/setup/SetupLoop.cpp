// The disc start menu's run: reads its menus, opens the window on the
// first screen and runs the event loop until the user quits.
#include "discmenu/setup/Autorun.h"
#include "toolbox/appleevents.h"
#include "toolbox/events.h"
#include "toolbox/memory.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"
#include "toolbox/windows.h"

namespace {

OSErr quitHandler(const AppleEvent*, AppleEvent*, SRefCon) {
  gQuitFlag = true;
  return noErr;
}

void installMenus() {
  MenuBarHandle bar = GetNewMBar(128);
  if (!bar) return;
  SetMenuBar(bar);
  DisposeHandle(reinterpret_cast<Handle>(bar));
  DrawMenuBar();
}

void menuChoice(long choice) {
  const short menu = short(choice >> 16);
  const short item = short(choice & 0xFFFF);
  if (menu == 129 && item == 1 && Autorun_Quit_Asked()) gQuitFlag = true;
  HiliteMenu(0);
}

void clickDown(const EventRecord& event) {
  WindowRef window = nullptr;
  const WindowPartCode part = FindWindow(event.where, &window);
  const bool ours = autoWndPtr && window == GetDialogWindow(autoWndPtr);
  switch (part) {
    case inMenuBar: menuChoice(MenuSelect(event.where)); break;
    case inDrag:
      if (ours) {
        Rect limit{-32000, -32000, 32000, 32000};
        DragWindow(window, event.where, &limit);
      }
      break;
    case inGoAway:
      // The close box quits without asking.
      if (ours && TrackGoAway(window, event.where)) gQuitFlag = true;
      break;
    case inCollapseBox:
      if (ours && TrackBox(window, event.where, part)) CollapseWindow(window, !IsWindowCollapsed(window));
      break;
    case inContent:
      if (ours) {
        SetPortDialogPort(autoWndPtr);
        Point local = event.where;
        GlobalToLocal(&local);
        Handle_Autorun_Select_Item(local);
      }
      break;
    default: break;
  }
}

void handleEvent(const EventRecord& event) {
  switch (event.what) {
    case mouseDown: clickDown(event); break;
    case keyDown:
    case autoKey:
      if (event.modifiers & cmdKey) menuChoice(MenuKey(char(event.message & charCodeMask)));
      break;
    case updateEvt:
      if (autoWndPtr && reinterpret_cast<WindowRef>(event.message) == GetDialogWindow(autoWndPtr)) {
        WindowRef w = GetDialogWindow(autoWndPtr);
        BeginUpdate(w);
        Handle_Autorun_Window_Update();
        EndUpdate(w);
      }
      break;
    case kHighLevelEvent: AEProcessAppleEvent(&event); break;
    default: break;
  }
}

}  // namespace

int Run_Setup() {
  gQuitFlag = false;
  FlushEvents(everyEvent, 0);
  InitCursor();
  Initialize_Variables();
  AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, NewAEEventHandlerUPP(quitHandler), 0, false);
  installMenus();
  // Without its settings file or its two backgrounds the program ends at
  // once, by the same way out as a quit.
  if (Get_Autorun_Start_Infomation() && Initialize_GWorld() && Open_Main_Window()) {
    while (!gQuitFlag) {
      EventRecord event;
      WaitNextEvent(everyEvent, &event, 5, nullptr);
      handleEvent(event);
      if (!gQuitFlag && autoWndPtr) {
        if (setDialogUpdate) Handle_Autorun_Window_Update();
        Handle_Autorun_Window_Active();
      }
    }
    DisposeDialog(autoWndPtr);
    autoWndPtr = nullptr;
  }
  Dispose_All_GWorld();
  // Everything loaded from the program's own resources goes with the file.
  CloseResFile(CurResFile());
  return 0;
}

// The installer's dialog framework over the shared window table.
#include "Installer/InstWindows.h"

#include "Installer/InstApp.h"
#include "toolbox/appleevents.h"
#include "toolbox/menus.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

namespace inst {

namespace {

const USR_DIALOG* handlersOf(WindowRef window) {
  const WINDOW_USR_DATA* data = Get_Usr_Window_Data(window);
  return data && data->isDialog ? &data->usrDlg->usrDialog : nullptr;
}

// Still a framework dialog: a handler may have closed it.
bool stillOpen(DialogRef dialog) { return dialog && Search_Window_Data(dialog, nullptr); }

void arrowCursor() {
  Cursor arrow;
  SetCursor(GetQDGlobalsArrow(&arrow));
}

}  // namespace

DialogRef Open_Usr_Dialog(SInt16 dialogID, ConstStr255Param title, UsrItemSelectProc itemSelect,
                          UsrDialogProc windowSelect, UsrDialogProc windowUpdate, UsrDialogProc windowActive,
                          UsrDialogProc windowClose, UsrKeyInputProc keyInput, UsrDialogProc windowResize) {
  DialogRef dialog =
      ::Open_Usr_Dialog(dialogID, title, itemSelect, windowUpdate, windowSelect, windowActive, windowClose, keyInput);
  if (!dialog) return nullptr;
  if (USR_WINDOW_QUEUE* entry = Search_Window_Data(dialog, nullptr))
    entry->usrWin.usrDialog.Handle_Window_Resize = windowResize;
  return dialog;
}

short MovableDlg_Is_Open(WindowRef window) {
  return OpenMovableDlg && window != GetDialogWindow(OpenMovableDlg) ? 1 : 0;
}

void Update_Window(EventRecord* event) {
  WindowRef window = reinterpret_cast<WindowRef>(event->message);
  if (const USR_DIALOG* h = handlersOf(window); h && h->Handle_Window_Update) {
    h->Handle_Window_Update(GetDialogFromWindow(window), event);
    return;
  }
  if (DialogRef dialog = GetDialogFromWindow(window)) {
    Draw_Dialog_Update(dialog, nullptr);
    return;
  }
  BeginUpdate(window);
  EndUpdate(window);
}

void Draw_Dialog_Update(DialogRef dialog, void (*draw)(DialogRef)) {
  WindowRef window = GetDialogWindow(dialog);
  GrafPtr saved;
  GetPort(&saved);
  SetPortDialogPort(dialog);
  BeginUpdate(window);
  DrawDialog(dialog);
  if (draw) draw(dialog);
  EndUpdate(window);
  SetPort(saved);
}

short Handle_Dialog_Event(EventRecord* event) {
  if (!event || !FrontWindow() || !IsDialogEvent(event)) return 0;
  switch (event->what) {
    case keyDown:
    case autoKey: {
      // Command keys are menu commands, never typing.
      if (event->what == keyDown && (event->modifiers & cmdKey)) return 0;
      DialogRef front = GetDialogFromWindow(FrontWindow());
      const USR_DIALOG* h = handlersOf(FrontWindow());
      if (front && h && h->Handle_Key_Input && !h->Handle_Key_Input(front, event)) return 0;
      // A key handler may have closed its dialog.
      if (front && h && !stillOpen(front)) return 0;
      break;
    }
    case updateEvt: {
      WindowRef window = reinterpret_cast<WindowRef>(event->message);
      if (!handlersOf(window)) return 0;
      Update_Window(event);
      return 1;
    }
    case mouseDown: {
      // While a movable modal dialog is open, a click in another dialog's
      // content is refused: the page under it must not change.
      WindowRef window = nullptr;
      if (FindWindow(event->where, &window) == inContent && window && MovableDlg_Is_Open(window)) {
        SysBeep(1);
        return 1;
      }
      break;
    }
    case activateEvt: {
      WindowRef window = reinterpret_cast<WindowRef>(event->message);
      const USR_DIALOG* h = handlersOf(window);
      if (h && h->Handle_Window_Active && !h->Handle_Window_Active(GetDialogFromWindow(window), event)) return 0;
      break;
    }
    default: break;
  }
  arrowCursor();
  DialogRef hit = nullptr;
  DialogItemIndex item = 0;
  if (!DialogSelect(event, &hit, &item) || !hit) return 0;
  const USR_DIALOG* h = handlersOf(GetDialogWindow(hit));
  if (!h || !h->Handle_Item_Select) return 0;
  return h->Handle_Item_Select(hit, event, item) ? 1 : 0;
}

void Handle_Window_Event(EventRecord* event) {
  switch (event->what) {
    case keyDown:
      if (event->modifiers & cmdKey) Handle_Menu_Choice(MenuKey(char(event->message & charCodeMask)));
      break;
    case mouseDown: {
      WindowRef window = nullptr;
      switch (FindWindow(event->where, &window)) {
        case inMenuBar: Handle_Menu_Choice(MenuSelect(event->where)); break;
        case inSysWindow: SystemClick(event, window); break;
        case inDrag:
          if (MovableDlg_Is_Open(window)) {
            SysBeep(1);
          } else {
            BitMap screen;
            GetQDGlobalsScreenBits(&screen);
            DragWindow(window, event->where, &screen.bounds);
          }
          break;
        case inGoAway:
          if (TrackGoAway(window, event->where)) Application_Exit_Function();
          break;
        case inCollapseBox:
          if (MovableDlg_Is_Open(window))
            SysBeep(1);
          else if (TrackBox(window, event->where, inCollapseBox))
            CollapseWindow(window, !IsWindowCollapsed(window));
          break;
        default: break;
      }
      break;
    }
    case updateEvt: Update_Window(event); break;
    case kHighLevelEvent: AEProcessAppleEvent(event); break;
    default: break;
  }
}

}  // namespace inst

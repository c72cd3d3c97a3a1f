// The program's hooks into the window framework, its first dispatch stage,
// and its alerts with captions from the language ini.
#include <cstring>

#include "506Q_Lib/AppFiles.h"
#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/MainWindow.h"
#include "Admin/SearchDialog.h"
#include "Admin/SetupWindow.h"
#include "common/AppAlerts.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "toolbox/dialogs.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"
#include "toolbox/windows.h"

namespace {

WindowRef event_window(const EventRecord* event) { return reinterpret_cast<WindowRef>(event->message); }

UInt8 key_code(const EventRecord* event) { return static_cast<UInt8>((event->message & keyCodeMask) >> 8); }

bool in_main_window(const EventRecord* event) {
  DialogRef main = Get_Open_Main_Dialog();
  if (!main) return false;
  WindowRef window = nullptr;
  FindWindow(event->where, &window);
  return window && window == GetDialogWindow(main);
}

// The reversed alerts (604-607): item 1 is the cancelling button, so
// Return, Enter and Escape all answer it.
Boolean reversed_alert_filter(DialogRef dialog, EventRecord* event, DialogItemIndex* item) {
  if (event && item && event->what == keyDown && key_code(event) == kVK_Escape) {
    Invert_Button_Item(dialog, 1);
    *item = 1;
    return true;
  }
  return Handle_CancelAlert_Filter(dialog, event, item);
}

short show_alert(SInt16 id, short hideItem, ConstStr255Param t0, ConstStr255Param t1, ConstStr255Param t2,
                 ConstStr255Param t3, const char* firstKey, const char* firstFallback, const char* secondKey,
                 const char* secondFallback, DialogItemIndex defaultItem) {
  const bool reversed = id >= 604 && id <= 607;
  const DialogItemIndex first = reversed ? 2 : 1;
  const DialogItemIndex second = reversed ? 1 : 2;
  DialogRef dialog = GetNewDialog(id, nullptr, kFirstWindowOfClass);
  if (!dialog) return 0;
  static const UInt8 kEmpty[1] = {0};
  ParamText(t0 ? t0 : kEmpty, t1 ? t1 : kEmpty, t2 ? t2 : kEmpty, t3 ? t3 : kEmpty);
  auto caption = [&](DialogItemIndex item, const char* key, const char* fallback) {
    Str255 text;
    Get_Ini_Text(text, "[BUTTON]", key, 0, fallback);
    ControlRef control = nullptr;
    if (GetDialogItemAsControl(dialog, item, &control) == noErr && control) SetControlTitle(control, text);
  };
  caption(first, firstKey, firstFallback);
  if (hideItem == 2)
    HideDialogItem(dialog, second);
  else
    caption(second, secondKey, secondFallback);
  SysBeep(1);
  SetDialogDefaultItem(dialog, defaultItem ? defaultItem : first);
  ModalFilterUPP filter = New_Modal_Filter(reversed ? reversed_alert_filter : Handle_Alert_Filter);
  DialogItemIndex hit = 0;
  Show_Modal_Dialog(dialog, filter, &hit);
  Dispose_Modal_Filter(filter);
  DisposeDialog(dialog);
  return hit;
}

}  // namespace

void Set_Watch_Cursor() { SetCursor(&g_qdWatch); }
void Set_Arrow_Cursor() {
  Cursor arrow;
  SetCursor(GetQDGlobalsArrow(&arrow));
}

short Set_Alert_Dialog_Items(SInt16 id, short hideItem, ConstStr255Param t0, ConstStr255Param t1,
                             ConstStr255Param t2, ConstStr255Param t3) {
  return show_alert(id, hideItem, t0, t1, t2, t3, "OK=", "OK", "CANCEL=", "Cancel", 0);
}

short Set_Alert_Dialog_Items_YesNo(SInt16 id, short hideItem, ConstStr255Param t0, ConstStr255Param t1,
                                   ConstStr255Param t2, ConstStr255Param t3) {
  return show_alert(id, hideItem, t0, t1, t2, t3, "YES=", "Yes", "NO=", "No", 1);
}

Boolean Handle_Alert_Filter(DialogRef dialog, EventRecord* event, DialogItemIndex* item) {
  return Handle_Answer_Alert_Filter(dialog, event, item);
}

short MovableDlg_Is_Open(WindowRef window) {
  if (!OpenMovableDlg) return 0;
  return window && GetDialogFromWindow(window) != OpenMovableDlg ? 1 : 0;
}

void Handle_Content(WindowRef window, EventRecord*) {
  if (window && window != FrontWindow()) SelectWindow(window);
}

void Handle_Window_Close(WindowRef window, EventRecord* event) {
  if (!window || !event) return;
  if (!TrackGoAway(window, event->where)) return;
  const WINDOW_USR_DATA* data = Get_Usr_Window_Data(window);
  if (data && data->isDialog && data->usrDlg->usrDialog.Handle_Window_Close)
    data->usrDlg->usrDialog.Handle_Window_Close(GetDialogFromWindow(window), event);
}

void Handle_Activate(EventRecord* event) {
  Set_Arrow_Cursor();
  if (!event) return;
  WindowRef window = event_window(event);
  // The program's own windows take their controls along as they come to
  // the front or go behind.
  for (DialogRef own : {Get_Open_Main_Dialog(), Get_Open_Setup_Dialog(), Get_Open_Config_Dialog()}) {
    if (!own || window != GetDialogWindow(own)) continue;
    DialogRef hit = nullptr;
    DialogItemIndex item = 0;
    DialogSelect(event, &hit, &item);
    Handle_Window_Active(own, event);
    break;
  }
  Setup_Menu_Status();
}

void Handle_Mouse_Down(EventRecord* event) {
  if (!event) return;
  WindowRef window = nullptr;
  const WindowPartCode part = FindWindow(event->where, &window);
  switch (part) {
    case inMenuBar:
      Handle_Menu_Choice(MenuSelect(event->where));
      return;
    case inSysWindow:
      System_Click(event, window);
      return;
    case inContent:
    case inDrag:
    case inGrow:
    case inGoAway:
    case inZoomIn:
    case inZoomOut:
    case inCollapseBox: break;
    default:
      return;
  }
  if (MovableDlg_Is_Open(window)) {
    SysBeep(1);
    return;
  }
  switch (part) {
    case inContent: Handle_Content(window, event); break;
    case inDrag: {
      Rect bounds = g_qdBitmap.bounds;
      DragWindow(window, event->where, &bounds);
      break;
    }
    case inGrow: {
      const WINDOW_USR_DATA* data = Get_Usr_Window_Data(window);
      if (data && data->isDialog && data->usrDlg->usrDialog.Handle_Window_Resize)
        data->usrDlg->usrDialog.Handle_Window_Resize(GetDialogFromWindow(window), event);
      else
        Handle_Grow_Window(window, event);
      break;
    }
    case inGoAway: Handle_Window_Close(window, event); break;
    case inCollapseBox:
      if (TrackBox(window, event->where, part)) CollapseWindow(window, !IsWindowCollapsed(window));
      break;
    default: Handle_Zoom_Window(window, event, part); break;
  }
}

namespace admin {

DialogRef Open_Usr_Dialog(SInt16 dialogID, ConstStr255Param title, UsrItemSelectProc itemSelect,
                          UsrDialogProc windowSelect, UsrDialogProc windowUpdate, UsrDialogProc windowActive,
                          UsrDialogProc windowClose, UsrKeyInputProc keyInput, UsrDialogProc windowResize) {
  DialogRef dialog = ::Open_Usr_Dialog(dialogID, title, itemSelect, windowUpdate, windowSelect, windowActive,
                                       windowClose, keyInput);
  if (!dialog) return nullptr;
  if (USR_WINDOW_QUEUE* entry = Search_Window_Data(dialog, nullptr)) {
    entry->usrWin.usrDialog.Handle_Window_Select = windowSelect;
    entry->usrWin.usrDialog.Handle_Window_Update = windowUpdate;
    entry->usrWin.usrDialog.Handle_Window_Resize = windowResize;
  }
  return dialog;
}

short Handle_Dialog_Event(EventRecord* event) {
  if (!event || !FrontWindow()) return 0;
  DialogRef hit = nullptr;
  DialogItemIndex item = 0;
  switch (event->what) {
    case nullEvent: {
      if (!in_main_window(event)) {
        if (IsDialogEvent(event)) DialogSelect(event, &hit, &item);
        // The tool bar still drops its hover when the mouse has left.
        if (DialogRef main = Get_Open_Main_Dialog()) Handle_Main_Mouse_Move(main, event);
        return 0;
      }
      DialogRef main = Get_Open_Main_Dialog();
      short r = Handle_Main_Mouse_Move(main, event);
      if (Get_Active_Application()) r = Handle_Main_Column_Cursol(main, event);
      DialogSelect(event, &hit, &item);
      return r;
    }
    case mouseUp:
      if (in_main_window(event)) return Handle_Main_Select_Item2(Get_Open_Main_Dialog(), event);
      return 0;
    case autoKey: {
      // A held key repeats through the dialog's key handler as its first
      // press went: a masked field's filter must see every character the
      // field is given, or the repeats would be typed in clear.
      event->what = keyDown;
      const short r = ::Handle_Dialog_Event(event);
      if (event->what == keyDown) event->what = autoKey;
      return r;
    }
    case osEvt:
    case kHighLevelEvent:
      return 0;
    default:
      // Everything else as every program dispatches it: item clicks,
      // keys, updates and activates to the dialog's handlers.
      return ::Handle_Dialog_Event(event);
  }
}

}  // namespace admin

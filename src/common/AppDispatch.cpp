// The two-stage event dispatch: the framework's dialogs first, then the
// program's own hooks and the framework's plain windows.
#include "common/AppMenus.h"
#include "common/AppWindows.h"
#include "toolbox/appleevents.h"
#include "toolbox/dialogs.h"
#include "toolbox/menus.h"

namespace {

WindowRef event_window(const EventRecord* event) {
  return reinterpret_cast<WindowRef>(event->message);
}

// The handlers of a framework dialog's window; null for any other window.
const USR_DIALOG* dialog_handlers(WindowRef window) {
  const WINDOW_USR_DATA* data = Get_Usr_Window_Data(window);
  return data && data->isDialog ? &data->usrDlg->usrDialog : nullptr;
}

// The handlers of a plain framework window; null for any other window.
const USR_WINDOW* window_handlers(WindowRef window) {
  const WINDOW_USR_DATA* data = Get_Usr_Window_Data(window);
  return data && !data->isDialog ? &data->usrDlg->usrWindow : nullptr;
}

void arrow_cursor() {
  Cursor arrow;
  SetCursor(GetQDGlobalsArrow(&arrow));
}

// A click in the content of the front window when that is a plain
// framework window: its content handler answers whether the click is
// finished. While a movable-modal dialog is open, the program's own
// handler decides (it refuses such clicks).
bool content_click_taken(EventRecord* event) {
  if (OpenMovableDlg) return false;
  WindowRef window = nullptr;
  if (FindWindow(event->where, &window) != inContent || !window || window != FrontWindow())
    return false;
  const USR_WINDOW* h = window_handlers(window);
  return h && h->Handle_Content && h->Handle_Content(window, event);
}

// The last key the first stage gave to a dialog's key handler. The key was
// the dialog's: when the handler closed the dialog, the window now in front
// must not get it a second time in the second stage.
struct DialogKey {
  bool set = false;
  EventRecord event{};
};
DialogKey gDialogKey;

bool same_event(const EventRecord& a, const EventRecord& b) {
  return a.what == b.what && a.message == b.message && a.when == b.when &&
         a.where.h == b.where.h && a.where.v == b.where.v && a.modifiers == b.modifiers;
}

bool key_was_dialogs(const EventRecord* event) {
  return gDialogKey.set && same_event(gDialogKey.event, *event);
}

}  // namespace

short Handle_Dialog_Event(EventRecord* event) {
  gDialogKey.set = false;
  if (!event || !FrontWindow() || !IsDialogEvent(event)) return 0;
  DialogRef hit = nullptr;
  DialogItemIndex item = 0;
  switch (event->what) {
    case mouseDown: {
      if (!DialogSelect(event, &hit, &item) || !hit) return 0;
      const USR_DIALOG* h = dialog_handlers(GetDialogWindow(hit));
      if (!h || !h->Handle_Item_Select) return 0;
      return h->Handle_Item_Select(hit, event, item);
    }
    case keyDown: {
      WindowRef front = FrontWindow();
      DialogRef dialog = GetDialogFromWindow(front);
      const USR_DIALOG* h = dialog_handlers(front);
      if (!dialog || !h || !h->Handle_Key_Input) return 0;
      const EventRecord key = *event;
      // The handler may close its dialog (an alert closing on Return):
      // the key then goes to no dialog at all.
      if (h->Handle_Key_Input(dialog, event) && FrontWindow() == front &&
          dialog_handlers(front) && GetDialogFromWindow(front) == dialog)
        DialogSelect(event, &hit, &item);
      // Noted only now: the handler may have run a loop of its own through
      // this dispatch.
      gDialogKey = DialogKey{true, key};
      return 0;
    }
    case updateEvt: {
      arrow_cursor();
      WindowRef window = event_window(event);
      const USR_DIALOG* h = dialog_handlers(window);
      if (!h) return 0;
      if (h->Handle_Window_Update)
        h->Handle_Window_Update(GetDialogFromWindow(window), event);
      else
        // Nobody else draws it, and an update left pending would come back
        // on every pass: the Dialog Manager draws the items.
        DialogSelect(event, &hit, &item);
      return 1;
    }
    case activateEvt: {
      arrow_cursor();
      WindowRef window = event_window(event);
      const USR_DIALOG* h = dialog_handlers(window);
      if (h && h->Handle_Window_Active) h->Handle_Window_Active(GetDialogFromWindow(window), event);
      return 0;
    }
    case osEvt:
    case kHighLevelEvent:
      return 0;
    default:
      DialogSelect(event, &hit, &item);
      return 0;
  }
}

void Handle_Window_Event(EventRecord* event) {
  if (!event) return;
  switch (event->what) {
    case mouseDown:
      if (!content_click_taken(event)) Handle_Mouse_Down(event);
      break;
    case keyDown:
    case autoKey:
      Handle_Keystroke(event);
      break;
    case updateEvt:
      Handle_Update(event);
      break;
    case activateEvt: {
      WindowRef window = event_window(event);
      const USR_WINDOW* h = window_handlers(window);
      if (h && h->Handle_Window_Active) h->Handle_Window_Active(window, event);
      Handle_Activate(event);
      break;
    }
    case kHighLevelEvent:
      if (event->message == 'aevt' || event->message == 'JCev') Handle_Apple_Event(event);
      break;
    default:
      break;
  }
}

void Handle_Update(EventRecord* event) {
  if (!event || event->what != updateEvt) return;
  WindowRef window = event_window(event);
  if (const USR_DIALOG* h = dialog_handlers(window)) {
    if (h->Handle_Window_Update) h->Handle_Window_Update(GetDialogFromWindow(window), event);
    return;
  }
  if (const USR_WINDOW* h = window_handlers(window)) {
    if (h->Handle_Window_Update) {
      h->Handle_Window_Update(window, event);
    } else {
      BeginUpdate(window);
      EndUpdate(window);
    }
  }
}

void Handle_Keystroke(EventRecord* event) {
  if (!event) return;
  if (event->modifiers & cmdKey) {
    if (event->what != autoKey)
      Handle_Menu_Choice(MenuKey(static_cast<CharParameter>(event->message & charCodeMask)));
    return;
  }
  if (key_was_dialogs(event)) return;
  WindowRef front = FrontWindow();
  const USR_WINDOW* h = window_handlers(front);
  if (h && h->Handle_Key_Input) h->Handle_Key_Input(front, event);
}

short Handle_Grow_Window(WindowRef window, EventRecord* event) {
  const USR_WINDOW* h = window_handlers(window);
  if (h && h->Handle_Window_Resize) h->Handle_Window_Resize(window, event);
  return 1;
}

short Handle_Zoom_Window(WindowRef window, EventRecord* event, WindowPartCode part) {
  const USR_WINDOW* h = window_handlers(window);
  if (h && h->Handle_Window_Zoom) h->Handle_Window_Zoom(window, event, part);
  return 1;
}

void Handle_Apple_Event(EventRecord* event) {
  if (event) AEProcessAppleEvent(event);
}

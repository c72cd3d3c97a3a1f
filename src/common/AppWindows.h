// The window registry and the two-stage event dispatch every event-loop
// program runs on.
//
// A module opens its dialog (or plain window) through the registry, hands
// over its handlers, attaches its own record with Set_Usr_Window_RefCon and
// finds it again in every handler with Get_Usr_Window_RefCon. From then on
// the dispatch routes the window's events to those handlers. The module
// frees its own record itself; the registry frees only what it allocated.
//
// The program's loop gives every event to Handle_Dialog_Event and, unless
// that answered 1, to Handle_Window_Event.
#pragma once

#include "506Q_Lib/Bridge.h"
#include "common/AppGlobals.h"
#include "common/Queue.h"
#include "toolbox/events.h"
#include "toolbox/windows.h"

// ---- Handlers of a framework dialog -------------------------------------

// An item hit: true finishes the event; anything else lets the same
// mouse-down reach the program's Handle_Mouse_Down too.
using UsrItemSelectProc = Boolean (*)(DialogRef dialog, EventRecord* event, DialogItemIndex item);
// Update, activate, close, select and resize: the result is not used.
using UsrDialogProc = short (*)(DialogRef dialog, EventRecord* event);
// A key for the front dialog: true lets the dialog itself take the key.
using UsrKeyInputProc = Boolean (*)(DialogRef dialog, EventRecord* event);

// The seven handler slots of a dialog; a null slot is skipped. The select
// and resize slots are kept and never called.
struct USR_DIALOG {
  UsrItemSelectProc Handle_Item_Select;
  UsrDialogProc Handle_Window_Select;
  UsrDialogProc Handle_Window_Update;
  UsrDialogProc Handle_Window_Active;
  UsrDialogProc Handle_Window_Close;
  UsrKeyInputProc Handle_Key_Input;
  UsrDialogProc Handle_Window_Resize;
};

// ---- Handlers of a plain framework window ---------------------------------

// Update, activate, close and resize: the result is not used.
using UsrWindowProc = short (*)(WindowRef window, EventRecord* event);
// A key (without the Command key) for the front window; the result is not
// used.
using UsrWindowKeyProc = Boolean (*)(WindowRef window, EventRecord* event);
// A click in the content of the front window: true finishes the event;
// anything else lets the program's Handle_Mouse_Down see it too.
using UsrContentProc = Boolean (*)(WindowRef window, EventRecord* event);
// A click in a zoom box (part inZoomIn or inZoomOut).
using UsrZoomProc = short (*)(WindowRef window, EventRecord* event, WindowPartCode part);

struct USR_WINDOW {
  UsrWindowProc Handle_Window_Update;
  UsrWindowProc Handle_Window_Active;
  UsrWindowProc Handle_Window_Close;
  UsrWindowKeyProc Handle_Key_Input;
  UsrContentProc Handle_Content;
  UsrWindowProc Handle_Window_Resize;
  UsrZoomProc Handle_Window_Zoom;
};

// The handler block of one entry: usrDialog for a dialog, usrWindow for a
// plain window (WINDOW_USR_DATA.isDialog tells which).
union USR_WIN_REC {
  USR_DIALOG usrDialog;
  USR_WINDOW usrWindow;
};

// The reference value of every framework window (its refCon), owned by the
// registry.
struct WINDOW_USR_DATA {
  UInt8 isDialog;       // 1 dialog, 0 plain window
  void* usrData;        // the owning module's record; null until set
  USR_WIN_REC* usrDlg;  // the handler block inside the window's entry
};

// One entry of the table, owned by the registry.
struct USR_WINDOW_QUEUE {
  tag_queue link;       // body: the entry itself
  WindowRef wndPtr;     // the window (a dialog's window for dialogs)
  USR_WIN_REC usrWin;
};

// The table: the first entry's link, null when empty. Entries stand in
// opening order; an entry's position from 0 is its window number.
extern tag_queue* Win_Que_Base;
// The dialog shown as movable-modal now, null when none. While it is set
// the program's mouse-down handler refuses content and drag clicks in any
// other window with a beep.
extern DialogRef OpenMovableDlg;

// ---- The registry --------------------------------------------------------

// Creates dialog dialogID from its resource in front of all windows, sets
// its title (null keeps the resource's) and enters it in the table with
// the handlers, which come in this order: item select, window update,
// window select, window active, window close, key input (the resize slot
// stays null). Null, with nothing left allocated, when memory is short or
// the dialog's resources are missing.
DialogRef Open_Usr_Dialog(SInt16 dialogID, ConstStr255Param title, UsrItemSelectProc itemSelect,
                          UsrDialogProc windowUpdate, UsrDialogProc windowSelect,
                          UsrDialogProc windowActive, UsrDialogProc windowClose,
                          UsrKeyInputProc keyInput);
// The same for a plain window from 'WIND' windowID, its handlers in the
// record's order. The window is shown when the resource says so.
WindowRef Open_Usr_Window(SInt16 windowID, ConstStr255Param title, UsrWindowProc windowUpdate,
                          UsrWindowProc windowActive, UsrWindowProc windowClose,
                          UsrWindowKeyProc keyInput, UsrContentProc content,
                          UsrWindowProc windowResize, UsrZoomProc windowZoom);
// Disposes the dialog and, when it is in the table, its reference record
// and entry. The module's own record stays the caller's. A dialog shown as
// movable-modal ends that mode.
void Close_Usr_Dialog(DialogRef dialog);
// The same for a plain window (a dialog's window given here is closed as
// the dialog).
void Close_Usr_Window(WindowRef window);

// The entry of the window, or null when it is not in the table; windowNo
// (may be null) gets the number of entries before it.
USR_WINDOW_QUEUE* Search_Window_Data(WindowRef window, UInt16* windowNo);
USR_WINDOW_QUEUE* Search_Window_Data(DialogRef dialog, UInt16* windowNo);
// The reference record of a framework window; null for any other window.
WINDOW_USR_DATA* Get_Usr_Window_Data(WindowRef window);

// Stores the module's record with the window; nothing for a null window or
// one that is not in the table.
void Set_Usr_Window_RefCon(WindowRef window, void* record);
void Set_Usr_Window_RefCon(DialogRef dialog, void* record);
// The module's record kept with the window; null when there is none.
void* Get_Usr_Window_RefCon(WindowRef window);
void* Get_Usr_Window_RefCon(DialogRef dialog);
// 1 for a framework dialog; 0 for a plain framework window or a window
// without a reference record.
short Ptr_Is_Dialog(WindowRef window);
short Ptr_Is_Dialog(DialogRef dialog);

// Set_Content_Color, which only wraps the Window Manager, is in the bridge
// (506Q_Lib/Bridge.h, included above), so the bridge's modal dialog can use
// it without depending on the foundation.
// Records the dialog as the open movable-modal dialog; null ends the mode.
void Window_Select_Mode(DialogRef dialog);

// The standard activate handler: the dialog's root control is activated
// when its window is highlighted and deactivated otherwise. The event is
// not used (the handler fits the activate slot). Returns 1.
short Handle_Window_Active(DialogRef dialog, EventRecord* event = nullptr);

// ---- Dispatch ------------------------------------------------------------

// First stage: events of the framework's dialogs to their handlers. 1 when
// the event is finished; otherwise 0 or the item handler's result.
short Handle_Dialog_Event(EventRecord* event);
// Second stage: mouse-down to the program's Handle_Mouse_Down (a click in
// the content of a front plain window to its content handler first),
// key-down to Handle_Keystroke, update to Handle_Update, activate to the
// plain window's activate handler and the program's Handle_Activate,
// high-level events of class 'aevt' and 'JCev' to Handle_Apple_Event.
void Handle_Window_Event(EventRecord* event);
// An update of a framework window goes to its update handler. A plain
// framework window without one is validated so the event does not return.
void Handle_Update(EventRecord* event);
// Command keys (not auto-key repeats) go to the menus through MenuKey and
// Handle_Menu_Choice; other keys to the front plain window's key handler,
// unless the first stage gave the key to a dialog's key handler (which may
// have closed its dialog and so brought the plain window to the front).
void Handle_Keystroke(EventRecord* event);
// Dialogs are neither resized nor zoomed; a plain framework window's
// resize or zoom handler is called. Return 1.
short Handle_Grow_Window(WindowRef window, EventRecord* event);
short Handle_Zoom_Window(WindowRef window, EventRecord* event, WindowPartCode part);
// A high-level event to the Apple Event Manager.
void Handle_Apple_Event(EventRecord* event);

// ---- Start-up ------------------------------------------------------------

// Whether the language ini file (IniFileName) is installed beside the
// program: 1 when it exists or cannot be looked for; otherwise alert 603
// says "Start '<program>' after installed." and the result is 0 (the
// program then ends its start-up).
short Check_Application();

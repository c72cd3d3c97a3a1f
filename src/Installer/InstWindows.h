// The installer's window framework: its dialogs are entered in the shared
// window table (common/AppWindows.h) with their seven handlers in slot
// order, and its loop routes events to them by the installer's own rules,
// which differ from the other programs': key and activate handlers may keep
// an event from the Dialog Manager, and an item handler's answer is the
// answer of the whole dispatch.
//
// Every installer window goes through here: the wizard (140) and the
// search settings dialog. A module opens its dialog with Open_Usr_Dialog,
// attaches its record with Set_Usr_Window_RefCon and finds it again in
// every handler with Get_Usr_Window_RefCon; Close_Usr_Dialog takes it out.
#pragma once

#include "common/AppWindows.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"

namespace inst {

// Opens dialog dialogID from its resource in front, titled (null keeps the
// resource's title), entered in the window table with the handlers in slot
// order: item select, window select, update, activate, close, key input,
// resize (any may be null). Null, with nothing left allocated, when the
// dialog or the table's records cannot be made.
DialogRef Open_Usr_Dialog(SInt16 dialogID, ConstStr255Param title, UsrItemSelectProc itemSelect,
                          UsrDialogProc windowSelect, UsrDialogProc windowUpdate, UsrDialogProc windowActive,
                          UsrDialogProc windowClose, UsrKeyInputProc keyInput, UsrDialogProc windowResize);

// The rest of the registry is the shared one.
using ::Close_Usr_Dialog;
using ::Get_Usr_Window_RefCon;
using ::Set_Usr_Window_RefCon;
using ::Window_Select_Mode;

// 1 while a movable modal dialog is open and window is not that dialog.
short MovableDlg_Is_Open(WindowRef window);

// First stage of a loop pass: events of the front framework dialog. A
// click in another window while a movable modal dialog is open is refused
// with a beep (answer 1). Key
// down and auto-key go to its key handler, whose 0 keeps the key from the
// dialog (answer 0); an update goes to the updated dialog's update handler
// (answer 1); an activate to the dialog's activate handler, whose 0 keeps it
// from the dialog (answer 0). Then the Dialog Manager; an item hit goes to
// the item handler, whose result is the answer.
short Handle_Dialog_Event(EventRecord* event);

// Second stage, run unless the first answered 1: Command keys and the menu
// bar to the menus, system windows, dragging (refused with a beep while
// another movable modal dialog is open), the close box (the program ends),
// updates of other windows, and high-level events to the Apple Event
// Manager.
void Handle_Window_Event(EventRecord* event);

// An update of any window: its own update handler when it is a framework
// window; otherwise it is drawn by the Dialog Manager or just validated,
// so the update does not come back. Used by modal loops as well.
void Update_Window(EventRecord* event);

// A dialog's update handled whole: inside the update bracket, with the
// dialog's port current, the dialog is drawn and then draw runs (when
// given); the caller's port is current again afterwards.
void Draw_Dialog_Update(DialogRef dialog, void (*draw)(DialogRef dialog));

}  // namespace inst

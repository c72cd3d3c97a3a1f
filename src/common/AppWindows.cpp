// The window registry: the table of framework windows, their reference
// records, content colour and the movable-modal mode.
#include "common/AppWindows.h"

#include <new>

#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/quickdraw.h"

tag_queue* Win_Que_Base = nullptr;
DialogRef OpenMovableDlg = nullptr;

namespace {

USR_WINDOW_QUEUE* entry_of(tag_queue* link) { return static_cast<USR_WINDOW_QUEUE*>(link->q_body); }

// Makes the entry and reference record of a new window and enters both;
// false (nothing kept) when memory is short.
bool enter(WindowRef window, UInt8 isDialog, const USR_WIN_REC& handlers) {
  auto* entry = new (std::nothrow) USR_WINDOW_QUEUE{};
  auto* data = new (std::nothrow) WINDOW_USR_DATA{};
  if (!entry || !data) {
    delete entry;
    delete data;
    return false;
  }
  entry->wndPtr = window;
  entry->usrWin = handlers;
  data->isDialog = isDialog;
  data->usrData = nullptr;
  data->usrDlg = &entry->usrWin;
  SetWRefCon(window, reinterpret_cast<long>(data));
  init_que(&entry->link, entry);
  append_que(&Win_Que_Base, &entry->link);
  return true;
}

// Takes the window's entry out of the table and frees it with its
// reference record. Windows not in the table keep their reference value:
// it is not the registry's to free.
void leave(WindowRef window) {
  USR_WINDOW_QUEUE* entry = Search_Window_Data(window, nullptr);
  if (!entry) return;
  delete reinterpret_cast<WINDOW_USR_DATA*>(GetWRefCon(window));
  SetWRefCon(window, 0);
  remove_que(&Win_Que_Base, &entry->link);
  delete entry;
}

WindowRef window_of(DialogRef dialog) { return dialog ? GetDialogWindow(dialog) : nullptr; }

}  // namespace

DialogRef Open_Usr_Dialog(SInt16 dialogID, ConstStr255Param title, UsrItemSelectProc itemSelect,
                          UsrDialogProc windowUpdate, UsrDialogProc windowSelect,
                          UsrDialogProc windowActive, UsrDialogProc windowClose,
                          UsrKeyInputProc keyInput) {
  DialogRef dialog = GetNewDialog(dialogID, nullptr, kFirstWindowOfClass);
  if (!dialog) return nullptr;
  WindowRef window = GetDialogWindow(dialog);
  if (title) SetWTitle(window, title);
  USR_WIN_REC handlers{};
  handlers.usrDialog = USR_DIALOG{itemSelect, windowSelect, windowUpdate, windowActive,
                                  windowClose, keyInput, nullptr};
  if (!enter(window, 1, handlers)) {
    DisposeDialog(dialog);
    return nullptr;
  }
  return dialog;
}

WindowRef Open_Usr_Window(SInt16 windowID, ConstStr255Param title, UsrWindowProc windowUpdate,
                          UsrWindowProc windowActive, UsrWindowProc windowClose,
                          UsrWindowKeyProc keyInput, UsrContentProc content,
                          UsrWindowProc windowResize, UsrZoomProc windowZoom) {
  WindowRef window = GetNewCWindow(windowID, nullptr, kFirstWindowOfClass);
  if (!window) return nullptr;
  if (title) SetWTitle(window, title);
  USR_WIN_REC handlers{};
  handlers.usrWindow = USR_WINDOW{windowUpdate, windowActive, windowClose, keyInput,
                                  content,      windowResize, windowZoom};
  if (!enter(window, 0, handlers)) {
    DisposeWindow(window);
    return nullptr;
  }
  return window;
}

void Close_Usr_Dialog(DialogRef dialog) {
  if (!dialog) return;
  if (OpenMovableDlg == dialog) OpenMovableDlg = nullptr;
  leave(GetDialogWindow(dialog));
  DisposeDialog(dialog);
}

void Close_Usr_Window(WindowRef window) {
  if (!window) return;
  if (DialogRef dialog = GetDialogFromWindow(window)) {
    Close_Usr_Dialog(dialog);
    return;
  }
  leave(window);
  DisposeWindow(window);
}

USR_WINDOW_QUEUE* Search_Window_Data(WindowRef window, UInt16* windowNo) {
  UInt16 n = 0;
  if (window) {
    for (tag_queue* q = Win_Que_Base; q; q = q->q_forw, ++n) {
      if (entry_of(q)->wndPtr == window) {
        if (windowNo) *windowNo = n;
        return entry_of(q);
      }
    }
  }
  if (windowNo) *windowNo = n;
  return nullptr;
}

USR_WINDOW_QUEUE* Search_Window_Data(DialogRef dialog, UInt16* windowNo) {
  return Search_Window_Data(window_of(dialog), windowNo);
}

WINDOW_USR_DATA* Get_Usr_Window_Data(WindowRef window) {
  // The reference value is trusted only for windows in the table: any
  // other window's may be anything.
  if (!Search_Window_Data(window, nullptr)) return nullptr;
  return reinterpret_cast<WINDOW_USR_DATA*>(GetWRefCon(window));
}

void Set_Usr_Window_RefCon(WindowRef window, void* record) {
  if (WINDOW_USR_DATA* data = Get_Usr_Window_Data(window)) data->usrData = record;
}

void Set_Usr_Window_RefCon(DialogRef dialog, void* record) {
  Set_Usr_Window_RefCon(window_of(dialog), record);
}

void* Get_Usr_Window_RefCon(WindowRef window) {
  WINDOW_USR_DATA* data = Get_Usr_Window_Data(window);
  return data ? data->usrData : nullptr;
}

void* Get_Usr_Window_RefCon(DialogRef dialog) { return Get_Usr_Window_RefCon(window_of(dialog)); }

short Ptr_Is_Dialog(WindowRef window) {
  WINDOW_USR_DATA* data = Get_Usr_Window_Data(window);
  return data ? data->isDialog : 0;
}

short Ptr_Is_Dialog(DialogRef dialog) { return Ptr_Is_Dialog(window_of(dialog)); }

void Window_Select_Mode(DialogRef dialog) { OpenMovableDlg = dialog; }

short Handle_Window_Active(DialogRef dialog, EventRecord*) {
  WindowRef window = window_of(dialog);
  if (!window) return 1;
  tb::PortSaver saved(GetWindowPort(window));
  ControlRef root = nullptr;
  if (GetRootControl(window, &root) == noErr && root) {
    if (IsWindowHilited(window))
      ActivateControl(root);
    else
      DeactivateControl(root);
  }
  return 1;
}

// The about box.
#include <cstring>

#include "common/AppAlerts.h"
#include "common/AppWindows.h"
#include "506Q_Lib/DialogItems.h"
#include "common/IniFile.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/fonts.h"

namespace {

constexpr SInt16 kApplicationIconID = 128;

// The root control of a window that is no dialog follows its highlight as
// a dialog's does.
void follow_highlight(WindowRef window) {
  if (!window) return;
  if (DialogRef dialog = GetDialogFromWindow(window)) {
    Handle_Window_Active(dialog);
    return;
  }
  ControlRef root = nullptr;
  if (GetRootControl(window, &root) != noErr || !root) return;
  if (IsWindowHilited(window))
    ActivateControl(root);
  else
    DeactivateControl(root);
}

void redraw(DialogRef dialog) {
  WindowRef window = GetDialogWindow(dialog);
  tb::PortSaver saved;
  BeginUpdate(window);
  Load_Value_About_Setup(dialog, IniFileName);
  SetPortDialogPort(dialog);
  DrawDialog(dialog);
  EndUpdate(window);
}

}  // namespace

void Open_About_Dialog() {
  DialogRef dialog = GetNewDialog(kAboutDialogID, nullptr, kFirstWindowOfClass);
  if (!dialog) return;
  Load_Value_About_Setup(dialog, IniFileName);
  ShowWindow(GetDialogWindow(dialog));
  DialogItemIndex item = 0;
  do {
    ModalDialog(Handle_About_Filter, &item);
  } while (item != 1 && GetDialogWindow(dialog));
  if (GetDialogWindow(dialog)) DisposeDialog(dialog);
}

void Load_Value_About_Setup(DialogRef dialog, const char* iniFile) {
  WindowRef window = dialog ? GetDialogWindow(dialog) : nullptr;
  if (!window) return;
  tb::PortSaver saved;
  Set_Content_Color(dialog);
  SetPortDialogPort(dialog);
  Str255 name;
  pstr::set(name, sizeof name, "Arial");
  short font = 0;
  GetFNum(name, &font);
  TextFont(font);
  TextFace(normal);
  TextSize(13);

  Str255 title;
  if (iniFile && Load_File_To_PascalEx("[TITLE]", "ABOUT=", title, sizeof title, iniFile) == 1)
    SetWTitle(window, title);
  ControlRef button = nullptr;
  if (GetDialogItemAsControl(dialog, 1, &button) == noErr) {
    Str255 ok;
    pstr::set(ok, sizeof ok, "OK");
    SetControlTitle(button, ok);
  }
  // Items 3 to 6 show the texts the program's own item list gives them.
  if (CIconHandle icon = GetCIcon(kApplicationIconID)) {
    Rect area;
    Get_Dialog_Item_Rect(dialog, 2, &area);
    PlotCIconHandle(&area, kAlignAbsoluteCenter, kTransformNone, icon);
    DisposeCIcon(icon);
  }
  SetDialogDefaultItem(dialog, 1);
}

Boolean Handle_About_Filter(DialogRef dialog, EventRecord* event, DialogItemIndex* item) {
  if (!dialog || !event) return false;
  WindowRef about = GetDialogWindow(dialog);
  switch (event->what) {
    case keyDown: {
      const UInt8 key = static_cast<UInt8>((event->message & keyCodeMask) >> 8);
      if (key != kVK_Return && key != kVK_ANSI_KeypadEnter) return false;
      Invert_Button_Item(dialog, 1);
      if (item) *item = 1;
      return true;
    }
    case mouseDown: {
      WindowRef window = nullptr;
      if (FindWindow(event->where, &window) != inDrag) return false;
      if (window == about) {
        BitMap screen;
        GetQDGlobalsScreenBits(&screen);
        DragWindow(about, event->where, &screen.bounds);
      } else {
        SysBeep(1);
      }
      return false;
    }
    case updateEvt: {
      WindowRef window = reinterpret_cast<WindowRef>(event->message);
      if (window == about)
        redraw(dialog);
      else if (Handle_Dialog_Event(event) != 1)
        Handle_Update(event);
      return false;
    }
    case activateEvt:
      follow_highlight(reinterpret_cast<WindowRef>(event->message));
      Handle_Window_Active(dialog);
      return false;
    default:
      return false;
  }
}

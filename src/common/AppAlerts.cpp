// Movable alerts and the confirmation alerts' filter.
#include "common/AppAlerts.h"

#include "common/AppWindows.h"
#include "506Q_Lib/DialogItems.h"
#include "common/IniFile.h"
#include "toolbox/dialogs.h"

namespace {

UInt8 key_code(const EventRecord* event) {
  return static_cast<UInt8>((event->message & keyCodeMask) >> 8);
}

bool is_return_or_enter(UInt8 key) { return key == kVK_Return || key == kVK_ANSI_KeypadEnter; }

void set_caption(DialogRef dialog, DialogItemIndex item, ConstStr255Param caption) {
  ControlRef control = nullptr;
  if (GetDialogItemAsControl(dialog, item, &control) != noErr) return;
  const unsigned char empty[1] = {0};
  SetControlTitle(control, caption ? caption : empty);
}

// A caption from "[BUTTON]", or the fallback when it is missing or empty.
void read_caption(const char* iniFile, const char* key, const char* fallback, Str255 out) {
  if (!iniFile || Load_File_To_PascalEx("[BUTTON]", key, out, sizeof(Str255), iniFile) != 1 ||
      out[0] == 0)
    pstr::set(out, sizeof(Str255), fallback);
}

ALERT_WND_INFO* alert_of(DialogRef dialog) {
  return static_cast<ALERT_WND_INFO*>(Get_Usr_Window_RefCon(dialog));
}

}  // namespace

short Open_Alert_Dialog_Movable(ALERT_WND_INFO* info, SInt16 dialogID, short dialogType,
                                short messageType, const char* iniFile, ConstStr255Param title,
                                ConstStr255Param text1, ConstStr255Param text2,
                                ConstStr255Param text3, ConstStr255Param text4) {
  if (!info || dialogID < kFirstMovableAlertID || dialogID > kLastMovableAlertID) return 0;
  Str255 first, second;
  if (messageType == 2) {
    read_caption(iniFile, "YES=", "OK", first);
    read_caption(iniFile, "NO=", "Cancel", second);
  } else {
    read_caption(iniFile, "OK=", "OK", first);
    read_caption(iniFile, "CANCEL=", "Cancel", second);
  }
  return Create_Alert_Dialog(info, dialogID, dialogType, title, first, second, text1, text2, text3,
                             text4) != 0
             ? 1
             : 0;
}

short Create_Alert_Dialog(ALERT_WND_INFO* info, SInt16 dialogID, short dialogType,
                          ConstStr255Param title, ConstStr255Param caption1,
                          ConstStr255Param caption2, ConstStr255Param text1,
                          ConstStr255Param text2, ConstStr255Param text3, ConstStr255Param text4) {
  if (!info) return 0;
  // One alert per record: a new alert replaces the one still open, and
  // takes its own type and buttons.
  if (info->using_ && info->dlg && Search_Window_Data(info->dlg, nullptr)) Exit_Alert_Dialog(info->dlg);
  info->using_ = 0;
  info->dlg = nullptr;
  Get_Alert_Table(info, dialogID, dialogType, 1, 2);

  DialogRef dialog = Open_Usr_Dialog(dialogID, title, Handle_Alert_Select_Item, Handle_Alert_Window_Update, nullptr,
                                     Handle_Alert_Window_Active, nullptr, Handle_Alert_Key_Input);
  if (!dialog) {
    info->using_ = 0;
    return 0;
  }
  Set_Content_Color(dialog);
  Set_Usr_Window_RefCon(dialog, info);
  info->dlg = dialog;
  Load_Value_Alert_Setup(info, caption1, caption2, text1, text2, text3, text4);
  SysBeep(1);
  SetDialogDefaultItem(dialog, static_cast<DialogItemIndex>(info->defBtnNo));
  Window_Select_Mode(dialog);
  ShowWindow(GetDialogWindow(dialog));
  return 1;
}

short Get_Alert_Table(ALERT_WND_INFO* info, SInt16 dialogID, short dialogType, short defaultButton,
                      short otherButton) {
  if (!info || info->using_) return 0;
  info->dlgID = static_cast<UInt16>(dialogID);
  info->dlgType = static_cast<UInt16>(dialogType);
  info->defBtnNo = static_cast<UInt16>(defaultButton);
  info->othBtnNo = static_cast<UInt16>(otherButton);
  info->using_ = 1;
  return 1;
}

void Load_Value_Alert_Setup(ALERT_WND_INFO* info, ConstStr255Param caption1,
                            ConstStr255Param caption2, ConstStr255Param text1,
                            ConstStr255Param text2, ConstStr255Param text3,
                            ConstStr255Param text4) {
  if (!info || !info->dlg) return;
  const unsigned char empty[1] = {0};
  ParamText(text1 ? text1 : empty, text2 ? text2 : empty, text3 ? text3 : empty,
            text4 ? text4 : empty);
  set_caption(info->dlg, static_cast<DialogItemIndex>(info->defBtnNo), caption1);
  if (info->dlgType == 1)
    HideDialogItem(info->dlg, static_cast<DialogItemIndex>(info->othBtnNo));
  else
    set_caption(info->dlg, static_cast<DialogItemIndex>(info->othBtnNo), caption2);
}

Boolean Handle_Alert_Select_Item(DialogRef dialog, EventRecord*, DialogItemIndex item) {
  if (item != 1 && item != 2) return false;
  Exit_Alert_Dialog(dialog);
  return true;
}

short Handle_Alert_Window_Active(DialogRef dialog, EventRecord* event) { return Handle_Window_Active(dialog, event); }

short Handle_Alert_Window_Update(DialogRef dialog, EventRecord*) {
  if (!dialog) return 1;
  WindowRef window = GetDialogWindow(dialog);
  tb::PortSaver saved;
  BeginUpdate(window);
  Set_Content_Color(dialog);
  SetPortDialogPort(dialog);
  DrawDialog(dialog);
  DrawControls(window);
  EndUpdate(window);
  return 1;
}

Boolean Handle_Alert_Key_Input(DialogRef dialog, EventRecord* event) {
  if (!dialog || !event) return false;
  const ALERT_WND_INFO* info = alert_of(dialog);
  const DialogItemIndex first = info ? static_cast<DialogItemIndex>(info->defBtnNo) : 1;
  const DialogItemIndex second = info ? static_cast<DialogItemIndex>(info->othBtnNo) : 2;
  const UInt8 key = key_code(event);
  DialogItemIndex press = 0;
  if (is_return_or_enter(key))
    press = first;
  else if (key == kVK_Escape && info && info->dlgType == 0)
    press = second;
  if (press) {
    Invert_Button_Item(dialog, press);
    Handle_Alert_Select_Item(dialog, event, press);
  }
  return false;
}

short Exit_Alert_Dialog(DialogRef dialog) {
  if (ALERT_WND_INFO* info = alert_of(dialog)) {
    info->using_ = 0;
    info->dlg = nullptr;
  }
  Close_Usr_Dialog(dialog);
  Window_Select_Mode(nullptr);
  return 1;
}

Boolean Handle_CancelAlert_Filter(DialogRef dialog, EventRecord* event, DialogItemIndex* item) {
  if (!dialog || !event) return false;
  switch (event->what) {
    case keyDown:
      if (!is_return_or_enter(key_code(event))) return false;
      Invert_Button_Item(dialog, 1);
      if (item) *item = 1;
      return true;
    case updateEvt: {
      WindowRef window = reinterpret_cast<WindowRef>(event->message);
      if (window != GetDialogWindow(dialog)) {
        Handle_Update(event);
        return false;
      }
      tb::PortSaver saved;
      BeginUpdate(window);
      Set_Content_Color(dialog);
      SetPortDialogPort(dialog);
      DrawDialog(dialog);
      SetDialogDefaultItem(dialog, 1);
      EndUpdate(window);
      return false;
    }
    default:
      return false;
  }
}

Boolean Handle_Answer_Alert_Filter(DialogRef dialog, EventRecord* event, DialogItemIndex* item) {
  if (!event || !item) return false;
  if (event->what == keyDown) return Alert_Answer_Key(dialog, event, item);
  if (event->what == updateEvt) {
    if (reinterpret_cast<WindowRef>(event->message) == GetDialogWindow(dialog)) {
      BeginUpdate(GetDialogWindow(dialog));
      Set_Content_Color(dialog);
      DrawDialog(dialog);
      EndUpdate(GetDialogWindow(dialog));
      SetDialogDefaultItem(dialog, 1);
    } else {
      Handle_Update(event);
    }
  }
  return false;
}

// Movable alerts that leave the event loop running, the filter of the
// programs' confirmation alerts, and the about box.
//
// Return (key code 0x24) and Enter (0x4C) answer item 1; Escape (0x35)
// answers item 2 where a two-button alert offers it.
#pragma once

#include "common/AppGlobals.h"
#include "toolbox/events.h"

// Movable alerts use dialog resources 610 to 617 only; the about box is
// dialog 200 (1 the button, 2 the icon's area, 3 the program's name, 4 its
// version, 5 and 6 the notice lines).
enum : SInt16 {
  kFirstMovableAlertID = 610,
  kLastMovableAlertID = 617,
  kAboutDialogID = 200,
};

// One movable alert, owned by the caller (usually one per window that may
// raise an alert). Claimed while its alert is open.
struct ALERT_WND_INFO {
  DialogRef dlg;      // the open alert
  UInt16 dlgID;
  UInt16 dlgType;     // 1: one button
  UInt16 defBtnNo;    // 1
  UInt16 othBtnNo;    // 2
  UInt16 resItem;
  UInt16 fontID;
  UInt8 fontFace;
  UInt16 fontSize;
  UInt8 using_;       // 1 while claimed
};

// Opens a movable alert: nothing (0) for a dialog id outside 610..617.
// The captions come from section "[BUTTON]" of iniFile: "YES=" and "NO="
// for message type 2, "OK=" and "CANCEL=" otherwise; a missing or empty
// one is "OK" or "Cancel". 1 when the alert opened.
short Open_Alert_Dialog_Movable(ALERT_WND_INFO* info, SInt16 dialogID, short dialogType,
                                short messageType, const char* iniFile, ConstStr255Param title,
                                ConstStr255Param text1, ConstStr255Param text2,
                                ConstStr255Param text3, ConstStr255Param text4);
// Claims the record, opens the dialog as a framework dialog, fills it,
// beeps, makes the first button the default, enters the movable-modal mode
// and shows it. An alert still open on the record is closed first.
// Non-zero when a dialog was made.
short Create_Alert_Dialog(ALERT_WND_INFO* info, SInt16 dialogID, short dialogType,
                          ConstStr255Param title, ConstStr255Param caption1,
                          ConstStr255Param caption2, ConstStr255Param text1,
                          ConstStr255Param text2, ConstStr255Param text3, ConstStr255Param text4);
// Claims a free record with these values (1); a claimed one is left as it
// is (0).
short Get_Alert_Table(ALERT_WND_INFO* info, SInt16 dialogID, short dialogType, short defaultButton,
                      short otherButton);
// The texts become ^0 to ^3 (a null text is empty); the default button
// gets caption1; with dialog type 1 the other button is hidden, otherwise
// it gets caption2.
void Load_Value_Alert_Setup(ALERT_WND_INFO* info, ConstStr255Param caption1,
                            ConstStr255Param caption2, ConstStr255Param text1,
                            ConstStr255Param text2, ConstStr255Param text3,
                            ConstStr255Param text4);
// The alert's handlers: items 1 and 2 close it (both only close; no answer
// is kept); the update redraws it; Return and Enter press button 1, Escape
// button 2 when the alert has two (dialog type 0). Keys never reach the
// alert's items.
Boolean Handle_Alert_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item);
short Handle_Alert_Window_Update(DialogRef dialog, EventRecord* event = nullptr);
Boolean Handle_Alert_Key_Input(DialogRef dialog, EventRecord* event);
// The alert's controls follow its window's highlight (a movable alert can
// be behind another window while the loop runs).
short Handle_Alert_Window_Active(DialogRef dialog, EventRecord* event);
// Closes the alert, frees its record for the next alert and ends the
// movable-modal mode; returns 1.
short Exit_Alert_Dialog(DialogRef dialog);

// Modal filter of the programs' confirmation alerts: Return or Enter
// flashes button 1 and answers item 1; an update of this alert redraws it
// with item 1 as the default button; an update of another window goes to
// Handle_Update; everything else is left to the modal dialog.
Boolean Handle_CancelAlert_Filter(DialogRef dialog, EventRecord* event, DialogItemIndex* item);
// Modal filter of alerts that are drawn as plain dialogs: Return or Enter
// answers item 1 and Escape item 2 (Alert_Answer_Key); an update of this
// alert redraws it in its content colour with item 1 as the default
// button; an update of another window goes to Handle_Update. A program
// whose alerts work so serves its Handle_Alert_Filter with it.
Boolean Handle_Answer_Alert_Filter(DialogRef dialog, EventRecord* event, DialogItemIndex* item);

// The about box, run modally until its button is pressed.
void Open_About_Dialog();
// Fills the about box: content colour, "Arial" 13, the title from key
// "ABOUT=" of section "[TITLE]" of iniFile, button caption "OK", the
// application icon ('cicn' 128) centred in item 2, item 1 the default.
void Load_Value_About_Setup(DialogRef dialog, const char* iniFile);
// Return or Enter answers item 1; the about box can be dragged, a drag on
// another window beeps; updates and activates are served.
Boolean Handle_About_Filter(DialogRef dialog, EventRecord* event, DialogItemIndex* item);

// The details dialog of one printer, modal over the option dialog: the
// events that pop the printer's status window up (Event page) and the poll
// interval, the hidden window, start at login, the window position and the
// sound (Other page). It edits the option dialog's working settings; Apply
// and OK store them in the printer's files and hand them to the window.
#pragma once

#include "FanctionLib/CList.h"
#include "FanctionLib/CTab.h"
#include "OT/PBoxTable.h"
#include "toolbox/dialogs.h"

enum : SInt16 { kDetailsDialogID = 510, kDetailsPageEvent = 511, kDetailsPageOther = 512 };
// The events the ini may name; popupFlag stores eight of them.
constexpr int kPopupEventMax = 10;
constexpr int kPopupEventStored = 8;
constexpr UInt32 kIntervalMin = 500, kIntervalMax = 15000;

struct SUB_TAB_CELL {
  void (*dlg_setup)(DialogRef dialog);
  Boolean (*dlg_item_select)(DialogRef dialog, EventRecord* event, DialogItemIndex item);
  Boolean (*dlg_key_input)(DialogRef dialog, EventRecord* event);
  void (*dlg_load_value)(DialogRef dialog);
  Boolean (*dlg_get_value)(DialogRef dialog);
  void (*dlg_update)(DialogRef dialog);
};

struct DCONF_PAGE {
  UInt8 enable;
  SInt16 contID;
  Str255 contName;
  SUB_TAB_CELL cellData;
};

struct POPUP_EVENT {
  UInt8 eventFlag;  // 1: armed
  SInt16 eventNo;
  char eventStr[256];
};

struct POPUP_DATA {
  SInt16 eventCnt;
  POPUP_EVENT popupName[kPopupEventMax];
};

struct DETAILS_WND_INFO {
  DialogRef dlg;
  DialogRef ownerDlg;  // the option dialog whose settings copy is edited
  CTAB_DATA* confTab;
  DCONF_PAGE sconfInfo[2];
  SInt16 confOldSelect;
  SInt16 fontID;
  Style fontFace;
  SInt16 fontSize;
  UInt8 checkFlag;  // 1 while a page's values are taken for Apply, OK or a page change
  PBOXinfo printData;
  POPUP_DATA popupData;
  CLIST_DATA* popupDList;  // events off
  CLIST_DATA* popupEList;  // events on
  UInt8 using_;
};

// Takes the record for the printer; false while it is taken.
Boolean Get_Details_Table(DialogRef ownerDlg, DETAILS_WND_INFO* rec, const PBOXinfo* printer);
// Opens the dialog for the printer; false (nothing opens) while one is open.
Boolean Open_Details_Setup_Dialog(DialogRef ownerDlg, DETAILS_WND_INFO* rec, const PBOXinfo* printer);
// ok 1: applies, and stays open when that fails (0); ok 0: the settings
// copy goes back to the last applied one. 1 when closed.
short Exit_Details_Dialog(DialogRef dlg, short ok);
// Takes the page's values and stores them (the alias file and login item,
// the status-data and settings files, the status window); 0 when the page
// refused its values.
short Appli_Dialog_Data(DialogRef dlg);
// Apply enabled exactly when the settings copy differs from the applied
// one; 1 when they differ.
short Setup_Data_Check(DialogRef dlg);
DETAILS_WND_INFO* Get_Details_Info(DialogRef dlg);

// The interval text is digits only, from 500 to 15000.
bool Interval_Text_Valid(const char* text, UInt32* value);

// The option dialog of a status window: a live search over TCP/IP and
// AppleTalk with the window's search settings fills a list of print boxes,
// from which the user chooses the printer the window watches. OK and Apply
// hand the choice and the settings to the window (OK also stores the
// printer's files); Cancel puts the printer's stored settings back. From
// here the search set-up and the details dialogs open.
#pragma once

#include "FanctionLib/ConfigDialog.h"
#include "Monitor/MonitorTypes.h"
#include "OT/JCPSearch.h"
#include "OT/PBoxTable.h"

struct DETAILS_WND_INFO;

enum : SInt16 { kOptionDialogID = 400, kOptionPage = 401 };
enum : DialogItemIndex {
  kOptHelp = 5,
  kOptSearch = 6,
  kOptSetup = 7,
  kOptDetails = 8,
  kOptList = 9,
};

// The event table of a settings page with events; the option dialog has
// none, so its table stays cleared.
struct SETPOPUP {
  UInt8 eventFlag;
  SInt16 eventNo;
  char eventStr[256];
};
struct SET_POPUP_DATA {
  SInt16 eventCnt;
  SETPOPUP popupName[10];
};

struct CONFIG_WND_INFO : CONFIG_FRAME {
  DialogRef ownerDlg;
  CONFIGURATION configData;  // working copy of the window's settings
  CONFIGURATION backData;    // as last applied
  UInt32 oldPIpAddr;         // the printer watched when the dialog opened
  DETAILS_WND_INFO* detailsTbl;
  UInt8 udpSend;  // 1 while the TCP/IP search runs
  UInt32 udpTick;
  JCPEPInfo* udpConf;
  UInt8 bUdpNeedKillIOEvent;  // a new search waits for this one to end
  UInt8 ddpSend;
  UInt32 ddpTick;
  JCPEPInfo* ddpConf;
  UInt8 bDdpNeedKillIOEvent;
  CLIST_DATA* pservList;
  PBOXinfo oldPrintData;  // as last applied
  PBOXinfo printData;     // as chosen now
  SInt16 psCount;
  PBOXinfo* pboxTbl;  // PboxTblMax entries
  SET_POPUP_DATA popupData;
  CLIST_DATA* popupDList;  // lists of an events page: none here
  CLIST_DATA* popupEList;
  ControlRef timeCntUp;  // no role in this dialog
  UInt8 checkFlag;
  UInt8 using_;
};

// False when the record is in use or memory is short.
Boolean Open_Configuration(CONFIG_WND_INFO* confInfo, DialogRef parentPtr, const CONFIGURATION* configData,
                           const PBOXinfo* printData);
Boolean Get_Config_Table(CONFIG_WND_INFO* confInfo, DialogRef parentPtr, const CONFIGURATION* configData,
                         const PBOXinfo* printData);
// Closes the dialog and releases what the record holds.
void Exit_Config_Dialog(CONFIG_WND_INFO* confInfo);
// The idle step of an open dialog: the searches advance and the list
// follows their hits.
void Update_Config_Window_Info(CONFIG_WND_INFO* confInfo);
// The record of an option dialog, null for any other dialog.
CONFIG_WND_INFO* Get_Config_Info(DialogRef dlg);

// With exitFlag non-zero the settings become the dialog's working and
// applied copies; false when dlg is no option dialog or exitFlag is 0.
Boolean Setup_SubConfiguration(DialogRef dlg, const CONFIGURATION* configData, short exitFlag);
// With exitFlag non-zero hands the search part to the dialog's window.
Boolean Setup_Public_SubConfig(DialogRef dlg, const CONFIGURATION* configData, short exitFlag);
CONFIGURATION* Get_Config_Data(DialogRef dlg);
CONFIGURATION* Get_Backup_Data(DialogRef dlg);

// Restarts the searches (the list emptied first): a search still running is
// ended and starts again once it has ended.
void Set_Print_List_Value(CONFIG_WND_INFO* confInfo);
// Rows for the table's first psCount entries in use (never past the table).
void Build_Printer_List(CONFIG_WND_INFO* confInfo);

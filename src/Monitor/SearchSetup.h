// The search set-up dialog, modal over an option dialog: the broadcast
// list of the TCP/IP search (EnvInfo, stored in "Brdadr") and, on systems
// before 10.6, the AppleTalk search and its zone. OK hands the settings to
// the option dialog and its status window and rewrites "Brdadr" when the
// list changed; Cancel leaves everything as it was when the dialog opened.
#pragma once

#include "FanctionLib/ConfigDialog.h"
#include "Monitor/MonitorTypes.h"
#include "OT/NBPLookup.h"

enum : SInt16 { kBroadDialogID = 500, kBroadPageTcp = 501, kBroadPageDdp = 502 };
// Entry 0 of the zone table holds the count, 1 .. 31 the names.
constexpr int kZoneSetMax = 32;
using ZONESET = char[kZoneNameEntry];
constexpr long kZoneBufferBytes = 65536;
constexpr int kBroadTableSize = 8;
constexpr int kBroadListMax = 16;  // addresses the user adds to the configured one

struct SCONF_PAGE {
  UInt8 enable;
  SInt16 contID;
  char contName[256];
  CONF_TAB_CELL cellData;
};

struct BROADCAST_WND_INFO {
  DialogRef dlg;
  DialogRef ownerDlg;
  CTAB_DATA* confTab;
  SCONF_PAGE sconfInfo[2];
  SInt16 confOldSelect;
  CONFIGURATION configData;
  CONFIGURATION backData;
  SInt16 fontID;
  Style fontFace;
  SInt16 fontSize;
  SInt16 oFontID;  // reserved, zero
  Style oFontFace;
  SInt16 oFontSize;
  CLIST_DATA* broadCList;
  SETUPINFO broadData;
  CLIST_DATA* zoneCList;
  UInt8 using_;
};

extern BROADCAST_WND_INFO gBroadInfo[kBroadTableSize];
extern SETUPINFO backEnv;
extern ZONESET ConZoneNameSet[kZoneSetMax];
extern UInt8* mainzone;
extern SInt16 NowZSelect;

// False when no record is free or the dialog cannot be made.
Boolean Open_Broadcast_Setup_Dialog(DialogRef dlgPtr, const CONFIGURATION* configData);
BROADCAST_WND_INFO* Get_Broadcast_Table(DialogRef ownerDlg, const CONFIGURATION* configData);
// isUpload 1 confirms, 0 cancels; false when the dialog stays open.
Boolean Exit_Broadcast_Dialog(DialogRef dlgPtr, short isUpload);
// The dialog's record, null for any other dialog.
BROADCAST_WND_INFO* Get_Broadcast_Info(DialogRef dlg);

// Reads the zone list into zoneSet (entry 0 the count, at most 31 names)
// through the buffer of kZoneBufferBytes: 1 with zones, 0 without, -1 when
// the list cannot be read (entry 0 then says why).
short DisplayZones(UInt8* buffer, char (*zoneSet)[kZoneNameEntry]);

// The frame hooks.
Boolean Handle_Broadcast_Select_Item(DialogRef dlg, EventRecord* event, DialogItemIndex item);
short Handle_Broadcast_Window_Update(DialogRef dlg, EventRecord* event);
short Handle_Broadcast_Window_Active(DialogRef dlg, EventRecord* event);
Boolean Handle_Broadcast_Key_Input(DialogRef dlg, EventRecord* event);

// The main window: the tool bar, the list of found print boxes with their
// status, the status bar, and the repeated search that fills the list.
#pragma once

#include "OT/JCPSearch.h"
#include "OT/PBoxTable.h"
#include "FanctionLib/CList.h"
#include "common/AppFonts.h"
#include "common/AppGlobals.h"

constexpr int kToolMax = 20;

struct TOOL_CONTROL {
  SInt16 toolNum;     // 1-based position; 0 ends the used buttons
  Boolean viewFlag;   // needs a selected box
  SInt16 mouseStat;   // 0x10 over, 0x20 outside
  SInt16 status;      // 1 normal, 2 disabled, 5 pressed
  SInt16 disableIconID, enableIconID, invertIconID;
  char title[32];     // the button's keyword (its ini section)
  Rect ctlRect;
  Boolean using_;
};

struct TOOL_BAR {
  SInt16 toolCnt;
  SInt16 actionNum;  // the button being pressed, -1 none
  TOOL_CONTROL toolData[kToolMax];
  Boolean using_;
};

// The bar and its three panels (the widths are kept beside them).
struct STATUS_DATA {
  Rect statRect;
  short cntWidth;
  Rect cntRect;
  short eNetWidth;
  Rect eNetRect;
  short ipAddrWidth;
  Rect ipAddrRect;
};

struct MAIN_DLG_INFO {
  DialogRef dlg;
  Boolean sendFlag;
  UInt32 pollTick;
  PBOXinfo* pboxTbl;
  UInt16* old_status;  // per table entry: the status the list shows
  SInt16 newCount;
  SInt16 psCount;
  CLIST_DATA* pservList;
  STATUS_DATA statusBar;
  // Three search slots: UDP port 19541, UDP port 9, AppleTalk. Send: a
  // search was started and has not timed out; Tick: its start; Conf: the
  // slot's search context (allocated once); NeedKillIOEvent: the search was
  // aborted and the slot waits for it to end.
  Boolean udpSend, disSend, ddpSend;
  UInt32 udpTick, disTick, ddpTick;
  JCPEPInfo *jcudpConf, *jcdisConf, *jcddpConf;
  Boolean bUdpNeedKillIOEvent, bDisNeedKillIOEvent, bDdpNeedKillIOEvent;
  Boolean using_;
};

extern MAIN_DLG_INFO mainTbl;
extern TOOL_BAR toolBarInfo;
extern FONT_DATA gMFData, gSFData;

short Open_Main_Window();
void Update_Main_Dialog();
void Search_Again_PBOX();
short Set_Print_List_Value(MAIN_DLG_INFO* mInfo);
short Get_PBOX_Select_Count();
PBOXinfo* Get_PBOX_Select_Data();
DialogRef Get_Open_Main_Dialog();
MAIN_DLG_INFO* Get_Open_Main_Tbl();
PBOXinfo* Get_Pbox_Table();
short Handle_Main_Update(DialogRef dialog, EventRecord* event);
void Main_Window_Update();
short Handle_Main_Mouse_Move(DialogRef dialog, EventRecord* event);
short Handle_Main_Column_Cursol(DialogRef dialog, EventRecord* event);
short Handle_Main_Select_Item2(DialogRef dialog, EventRecord* event);
Boolean Handle_Main_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item);
// The tool bar: button `index` pressed, then released and its command run.
Boolean Handle_Main_Tool_Select(DialogRef dialog, int index);
void Handle_Main_Tool_Select2(DialogRef dialog, int index);
void Click_Tool_Item_Number(const char* keyword);
short Build_PrintServer_List(MAIN_DLG_INFO* mInfo, PBOXinfo* table);
void DeinitMain();
// The status icon and the [STATUS] key of a device status.
SInt16 Status_Icon(UInt16 status);
const char* Status_Key(UInt16 status);

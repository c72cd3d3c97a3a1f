// The status windows: a fixed table of eight records, each a dialog with
// three tabbed pages watching one printer; opening from a status-data
// record, the title, pages, keys, the views after each poll, the power
// state, the status picture table and closing with its file writes.
#pragma once

#include <cstddef>

#include "common/AppWindows.h"
#include "FanctionLib/CEdit.h"
#include "FanctionLib/CList.h"
#include "FanctionLib/ConfigDialog.h"
#include "FanctionLib/CTab.h"
#include "Monitor/ConsumWindow.h"
#include "Monitor/MonitorTypes.h"
#include "Monitor/StatusPoll.h"
#include "toolbox/movies.h"

enum : SInt16 { kStatusDialogID = 300, kPageFtp = 303 };

struct CONFIG_WND_INFO;
struct FSS_LIST;

// The window's alert sound, a movie over the bundle's sound file.
struct SOUND_INFO {
  Movie myMovie = nullptr;
  SInt16 myRefNum = -1;
  FSSpec soundSpec{};
  UInt8 status = 0;  // 1 while playing
  UInt8 enable = 0;
};

struct STAT_IMAGE {
  SInt32 statNo, iconNo, typeNo, animeCnt;
};
constexpr int kStatImageRows = 37;
extern const STAT_IMAGE gStatAnime[kStatImageRows];

// One status window; the request and decoding state is the poll's.
struct STATUS_WND_INFO : PSTATUS_WND_INFO {
  DialogRef dlg = nullptr;
  SInt16 prevPage = 0;
  UInt8 showWindow = 0;  // 1 while the window stays hidden
  CONFIGURATION backConfData{};
  CTAB_DATA* tabData = nullptr;
  CONFIG_PAGE fanction[3] = {};  // the pages: status, information, FTP
  UInt8 oldStat[8] = {};
  SOUND_INFO soundData{};
  VEMOSTATUSSET viewData{};
  STAT_IMAGE statImg{};
  SInt16 oldIconID = 0, blinkCnt = 0, animeCnt = 0;
  UInt32 animeTick = 0;
  SInt16 controlID = 0;
  SInt16 activeNum = 0;
  SInt32 portStatus = 0;
  SInt16 bModel = 0;  // model of the printer (not read by this program)
  CONSUM_WND_INFO sumData{};
  CEDIT_DATA* commentData = nullptr;  // the status page's comment
  CEDIT_DATA* textData = nullptr;     // the information page's text
  ControlRef infoPopup = nullptr;     // the information page's choice
  CONFIG_WND_INFO* confData = nullptr;  // the option dialog's record
  FSS_LIST* fSelectSpecs = nullptr;     // files chosen on the FTP page
  CLIST_DATA* fSelectList = nullptr;    // files to send
  CLIST_DATA* fSendList = nullptr;      // files sent
  UInt8 using_ = 0;
};

extern STATUS_WND_INFO StatusTbl[8];

void Init_Status_Table();
STATUS_WND_INFO* Get_Status_Table();
void Free_Status_Table(STATUS_WND_INFO* rec);
STATUS_WND_INFO* Search_Status_Table(const PBOXinfo* pbox);
DialogRef Get_Window_Dialog(SInt16 ctrl);
STATUS_WND_INFO* Get_ControlID_Dialog(SInt16 ctrl);
SInt16 Get_Window_Control_ByGPort(WindowRef window);
void Update_Status_Window(EventRecord* event);

// 1 when a window for the record's printer exists or was opened, 0 when
// all eight records are taken.
short Open_Status_Window(const UInt8* record, std::size_t size);
void Exit_Status_Dialog(DialogRef dlg);
short Close_All_Status_Window();
short Handle_Status_Window_Close(DialogRef dlg, EventRecord* event);
void Menu_Exit_Status_Window(SInt16 ctrl);
// Shows the window whole (hidden or collapsed to its title bar) and brings
// it forward as Bring_Status_Forward does.
void Menu_Show_Status_Window(SInt16 ctrl);
// Shows the window whole, not brought forward: it stays hidden no more
// (showWindow 0) and is expanded when it was collapsed.
void Show_Status_Whole(STATUS_WND_INFO* rec);
void Menu_Hide_Status_Window(SInt16 ctrl);
// Whether a press on the dialog may act (1) or is refused (0), after
// bringing the right window forward: while a movable-modal dialog stands
// only it takes presses; a status window whose consumables window, option
// dialog or send window stands brings that window forward and takes none; a
// window of a status window's family comes forward with the status window
// right behind it.
short Get_SubDlg_Table(DialogRef dlg);
// The status window comes forward with the window that holds it (its
// consumables window, option dialog or send window) in front of it, and an
// open movable-modal dialog in front of all.
void Bring_Status_Forward(STATUS_WND_INFO* rec);
void Get_First_Status(STATUS_WND_INFO* rec, SInt32 mode);
void Status_Window_View(PSTATUS_WND_INFO* rec);
void Error_Window_View(PSTATUS_WND_INFO* rec);
void Get_Status_Image(SInt16 iconId, const VEMOINFO* info, STAT_IMAGE* picture);

short Initialize_Status_Image();
void Build_Status_Image();
void Dispose_Status_Image();
// The status picture row in use for a status number and picture type.
const STAT_IMAGE* Find_Status_Image(SInt32 statNo, SInt32 typeNo);

// Request contexts of closed windows are freed only once they have ended;
// all: wait for every one (at shut-down).
void Reap_Request_Contexts(bool all);
// Ends a request context's work and hands it to the reaper (ctx becomes
// null).
void Retire_Request_Context(JCPEPInfo*& ctx);

// The option dialog's printer for the window: mode above 0 makes it the
// window's printer, mode below 2 marks the record taken; a changed printer
// retitles the window and starts its display again. 0 when dlg is no
// status window.
short Set_Status_Print(DialogRef dlg, const PBOXinfo* pbox, short mode);
// The window takes the settings (flag non-zero); 0 when dlg is no status
// window or flag is 0.
short Setup_Configuration(DialogRef dlg, const CONFIGURATION* config, short flag);
// The window takes the search part of the settings, when they name a
// protocol.
short Setup_Public_Config(DialogRef dlg, const CONFIGURATION* config, short flag);
// The tab control of a window's pages over item 4.
short Create_Status_Tab(STATUS_WND_INFO* rec);
// The callbacks of the page with that id (301, 302, 303); others none.
void Set_Status_Function(CONF_TAB_CELL* cell, SInt16 pageID);
// Index of the first enabled page whose title begins with the tab title's
// text; -1 when none.
short Get_Status_Fanction(STATUS_WND_INFO* rec, ConstStr255Param title);
// The record a status window's page callbacks and the send window's host
// calls are given their window by: the window's own reference, set when it
// opens; null for any other dialog.
STATUS_WND_INFO* Page_Record(DialogRef dlg);

// The FTP page of a status window: the user chooses files, confirms, and
// the FTP send window transfers them to the window's printer one by one,
// each sent file moving from the list of files to send to the list of
// files sent. The monitor is the send window's host: it hands out the next
// file and moves the sent one.
#pragma once

#include "common/AppFonts.h"
#include "FanctionLib/CList.h"
#include "Monitor/StatusWindow.h"
#include "OT/SelectFile.h"

struct FSS_LIST {
  SInt16 fileCount;
  FSSpec specs[kSelectFileMax];
};

enum : DialogItemIndex {
  kFtpSend = 5,
  kFtpInfo = 6,
  kFtpSelectList = 7,
  kFtpSelectFrame = 8,
  kFtpSendList = 9,
  kFtpSendFrame = 10,
  kFtpIcon = 11,
  kFtpSelect = 12,
  kFtpFolder = 13,
  kFtpInfoFrame = 14,
  kFtpSelectTitle = 15,
  kFtpSendTitle = 16,
};

// The page's callbacks, and what they do for the window's record: its
// drawing, and its lists and captions made or shown.
void Setup_Ftp_Update(DialogRef dlg);
void Setup_Ftp_Load_Value(DialogRef dlg);
void Draw_Ftp_Page(STATUS_WND_INFO* rec);
void Load_Ftp_Page(STATUS_WND_INFO* rec);
Boolean Status_Ftp_Select_Item(DialogRef dlg, EventRecord* event, DialogItemIndex item);
// A one-column list over the item, rows 15 high, in the font; null when it
// cannot be made.
CLIST_DATA* File_ListBox(STATUS_WND_INFO* rec, const FONT_DATA* font, DialogItemIndex item);
// One row per chosen file: its name, referring to its spec. 1.
short Build_SelectFile_List(CLIST_DATA* list, const FSS_LIST* specs);
short Handle_File_List_Select(DialogRef dlg, EventRecord* event, DialogItemIndex item, CLIST_DATA* list);
// Page 303's buttons: Select while data are shown, Send also only with
// files chosen and a printer reached over IP; neither while the window's
// send window is open.
void Ftp_Page_Buttons(STATUS_WND_INFO* rec, bool data);
// While the window's send window is open its buttons 1 and 2 (options and
// close) are dimmed: 1; otherwise they are enabled: 0.
short Ftp_Sending_Check(STATUS_WND_INFO* rec);
// The page's lists hidden (leaving the page) and disposed (closing).
void Hide_Ftp_Lists(STATUS_WND_INFO* rec);
void Dispose_Ftp_Lists(STATUS_WND_INFO* rec);

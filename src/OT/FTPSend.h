// Sending a list of files, one after the other, to one print box over FTP:
// up to 8 transfers at once, each advanced one step per pass of the event
// loop by Update_Send_Window (the FTP dialogue as a state machine on the
// reply codes). The files come from the host program's list of files to
// send, one at a time; each file the box has confirmed is moved by the host
// to its list of sent files.
//
// The transfers run with or without their progress window: the window plugs
// its drawing, closing and outcome alert in through FTP_Set_Send_View, and
// without it (tools, tests) those steps are skipped.
#pragma once

#include "common/AppAlerts.h"
#include "common/AppGlobals.h"
#include "OT/FTPClient.h"
#include "OT/FTPDialogue.h"
#include "toolbox/types.h"

constexpr int kSendTableSize = 8;
// A transfer that has not advanced for this long (15 minutes) has failed.
constexpr UInt32 kFTPStallTicks = 54000;

// sendResult of a transfer.
enum : SInt16 {
  FTP_SEND_RUNNING = 0,
  FTP_SEND_DONE = 1,        // every file sent
  FTP_SEND_FAILED = -1,     // failed or stalled
  FTP_SEND_CANCELLED = -2,  // the user cancelled
};

struct SEND_WND_INFO {
  DialogPtr dlg;       // the progress window; 0 when closed (or none)
  DialogPtr ownerDlg;  // the host window that owns the file lists
  UInt32 pbi_ip_addr;  // the print box
  FILE_INFO_DATA fileData;
  Str63 percentStr;     // the size text last drawn
  Boolean draw;         // the last piece was sent and shown; the next step closes the data connection
  Boolean connect;      // the control connection was opened
  Boolean dataConnect;  // between the replies "150" and "226"
  SInt16 cmdNum;        // dialogue state, FTP_STEP_* (1-8)
  UInt32 sendTick;      // tick of the last step that advanced the dialogue
  UInt32 dataTick;      // tick the data phase began, or of its last piece that made progress
  SInt16 sendStat;      // 1 while the control dialogue runs
  FTPEPInfo* ftp;       // control connection
  FTPEPInfo* ftpData;   // data connection
  SInt16 sendResult;    // FTP_SEND_*
  ALERT_WND_INFO alertTbl;  // the outcome alert
  Boolean using_;       // the slot is in use
};

extern SEND_WND_INFO SendTbl[kSendTableSize];

// What the progress window does for a transfer. Every entry may be null.
struct FTP_SEND_VIEW {
  // The size text (null when it has not changed since it was last drawn)
  // and the bar's percentage (0-100).
  void (*drawProgress)(SEND_WND_INFO* slot, ConstStr255Param sizeText, short percent);
  // The labels, the file name and the file count.
  void (*drawLabels)(SEND_WND_INFO* slot);
  // Closes the transfer's window.
  void (*closeWindow)(SEND_WND_INFO* slot);
  // The menus may need to change (a transfer started or ended).
  void (*updateMenus)();
  // Tells the user how a transfer ended (its sendResult); the slot is free
  // again by then.
  void (*showOutcome)(SEND_WND_INFO* slot, SInt16 sendResult);
};
void FTP_Set_Send_View(const FTP_SEND_VIEW* view);

// Claims a free slot for owner, the box's address and the number of files:
// two cleared connection contexts, state 1. Null when all 8 are in use (or
// memory is short).
SEND_WND_INFO* Get_Send_Table(DialogPtr owner, UInt32 ipAddr, UInt16 fileCount);
// The slot whose window is dlg, else null.
SEND_WND_INFO* Get_Send_Data_Table(DialogPtr dlg);
// 1 when a slot in use belongs to owner.
short Do_Ftp_Dialog_Open(DialogPtr owner);
// Takes the next file from the host's list: 1 when there was one (its size
// is 0 when it cannot be read), 0 when the list is empty.
short Get_File_Total_Size(SEND_WND_INFO* slot, FILE_INFO_DATA* file);
// Opens the control connection to the box's port 21; 1 on success.
short Open_Ftp_Protocol(SEND_WND_INFO* slot);
// One step of the FTP dialogue (FTP_Dialogue_Step): 1 when the awaited
// reply code was in the collected text and the step was taken, 0 when not
// yet, -1 when the step could not be taken (a command that could not be
// sent, a file name that cannot be sent, a data connection that could not
// be opened).
short FTP_RcvCommand_async(SEND_WND_INFO* slot);
// One step of the transfer: 1 when every file is sent, -1 when it failed,
// else 0.
short Send_FTP_Command(SEND_WND_INFO* slot);
// The idle step: advances every running transfer, and frees the slot of a
// transfer that has ended and tells its outcome.
void Update_Send_Window();
// Ends a transfer: closes its connections and its window.
short Exit_TCPftp_Dialog(SEND_WND_INFO* slot);
// What Cancel does: ends the transfer as cancelled (the outcome is told in
// the next idle step).
void FTP_Cancel_Send(SEND_WND_INFO* slot);
// Closes the data connection, then the control connection, and releases
// both contexts (a context still closing is released once it has closed).
void Free_Send_Table(SEND_WND_INFO* slot);
void Last_Table_Init(SEND_WND_INFO* slot);
// The size text and the bar: 1 when the file has a size, 0 when it is 0.
short Draw_Send_Data(SEND_WND_INFO* slot);

// ---- The window ----------------------------------------------------------

// Claims a slot and opens the send window (dialog 129) for owner's files:
// titled by "[STRING]" "FTP=" of MonFileName, the first file taken, the
// Cancel caption from "[BUTTON]" "CANCEL=" of IniFileName. 1 when it
// opened, 0 when 8 transfers run already.
short Open_Tcp_Dialog(DialogPtr owner, UInt32 ipAddr, UInt16 fileCount);
// Draws the three labels, the file name and "sent / in the job".
void Setup_TCPftp_Update(SEND_WND_INFO* slot);
// The progress bar in the item: percent (0-100) of it blue from the left,
// the rest white, framed one pixel outside.
void Draw_Send_Byte_Bar(DialogPtr dlg, DialogItemIndex item, short percent);
void Handle_TCPftp_Load_Value(DialogPtr dlg);
short Handle_TCPftp_Window_Update(DialogPtr dlg, EventRecord* event);
short Handle_TCPftp_Window_Active(DialogPtr dlg, EventRecord* event);
// Cancel ends the transfer (the outcome alert follows in the next idle
// step); true for a send window's items.
Boolean Handle_TCPftp_Select_Item(DialogPtr dlg, EventRecord* event, DialogItemIndex item);

// The byte count as text, scaled to "Byte", "KB" or "MB" with two decimals
// ("1.50 KB").
void Size_Scale(UInt64 bytes, StringPtr text);

// ---- What the host program supplies ------------------------------------

// The file specification of the first row of owner's list of files to send;
// 0 when owner has no list or it is empty, else 1.
short Get_FileSpec_FromList(DialogPtr owner, FSSpec* fss);
// Moves the first row of owner's list of files to send to the end of its
// list of sent files, selects it there and redraws both lists.
void Move_FTP_File(DialogPtr owner);

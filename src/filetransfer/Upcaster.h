// upcaster, the file-transfer tool: finds the print boxes on the network,
// lets the user queue one file for several of them and sends it to each in
// turn over FTP. Its settings (the search wait, the retry count and the
// broadcast address) live in its preference file, which the administration
// program writes too; the further search addresses live in "ConfigData"
// beside the bundles, shared with the administration program.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "common/AppGlobals.h"
#include "common/AppWindows.h"
#include "common/BroadcastList.h"
#include "common/IniText.h"
#include "FanctionLib/CList.h"
#include "FanctionLib/CTab.h"
#include "OT/FTPClient.h"
#include "OT/JCPSearch.h"
#include "OT/PBoxTable.h"
#include "toolbox/types.h"

// ---- Shared records --------------------------------------------------------

constexpr OSType kUpcasterCreator = 'VMxf';
constexpr OSType kAdminCreator = 'VMxa';
constexpr std::size_t kFtpConfigSize = 16;
constexpr int kPboxMax = 128;
constexpr int kSlotCount = 8;

// The settings record (FTP_CONFIG), host order.
struct CONFIGURATION {
  UInt16 rcvWait;  // search wait, ms
  SInt16 datWait;  // carried unchanged
  SInt16 retry;    // 1..5, shown and edited only
  UInt32 brAddr;   // the first search target
  UInt8 oldVerCompati;  // carried unchanged
};
using FTP_CONFIG = CONFIGURATION;

struct BROAD_DATA {
  UInt32 tcp_count;  // entries used, entry 0 included
  char broadcast[kBroadcastMax][kBroadcastTextSize];
};

// Resource ids the modules share.
enum : SInt16 {
  kAlertInput = 601,     // OK only
  kAlertQuestion = 602,  // OK / Cancel
  kAlertList = 603,      // OK only
  kAlertOutcome = 612,   // movable, one button
  kConfigDialogID = 500,
  kConfigPageTCP = 501,
  kConfigPageTimeout = 502,
  kMainDialogID = 210,
  kSendDialogID = 130,
  kColumnCursorID = 161,
};

// Settings commands of the File menu.
enum : short { kCmdQuit = 1, kCmdSettings = 255 };

namespace upc {

extern BROAD_DATA EnvInfo;
extern Boolean All_Done;
extern EventRecord Event_Rec;
extern SInt16 setFType, setFFace, setFSize;
extern SInt16 orgFType, orgFFace, orgFSize;

// ---- Start-up and the loop -------------------------------------------------

short Initialize_Variables();
void InitAEStuff();
short Get_Active_Language();
void First_Get_Font_Data();
void Set_Dialog_Font(DialogRef dialog, Boolean useDialogFont);
void Handle_One_Event(EventRecord* event);
// The idle steps of every pass: search, transfers, queue.
void Idle_Steps();
short All_Done_Proc();
// Modal alert 601-603 with ini captions: the item hit. kind 2: OK only.
short Set_Alert_Dialog_Items(SInt16 id, short kind, ConstStr255Param text, ConstStr255Param p1 = nullptr,
                             ConstStr255Param p2 = nullptr, ConstStr255Param p3 = nullptr);
int Run_Upcaster();
// Tests answer the modal alerts through this instead of the user: it gets
// the alert's id and text and returns the item hit.
using AlertAnswerProc = short (*)(SInt16 id, const std::string& text);
void Set_Alert_Answer(AlertAnswerProc proc);

// ---- Settings ----------------------------------------------------------------

void Pack_Ftp_Config(const CONFIGURATION& c, std::span<UInt8, kFtpConfigSize> out);
// False (c unchanged) when fewer than 16 bytes are given.
bool Unpack_Ftp_Config(std::span<const UInt8> bytes, CONFIGURATION& c);
SInt16 Open_Pref_File();
SInt16 Create_Pref_File(const FSSpec* fss);
void Get_Configuration();
OSErr Set_Configuration();
void Get_BroadcastAddr();
std::vector<UInt8> Build_Status_Data(const BROAD_DATA& info);
short Save_Status_Data(const BROAD_DATA* info);
// Four decimals 0..255 separated by dots; text after the fourth number
// ignored; 0 for anything else.
UInt32 Parse_IPv4(const char* text);
std::string Dotted(UInt32 addr);

// The settings dialog (500); 0 (and a beep when another window holds the
// lock of the window table) when it does not open.
short Open_Configuration();
// Closes the settings dialog as its Cancel does (nothing typed is kept or
// written); nothing when it is not open.
void Close_Configuration();
DialogRef Config_Dialog();
Boolean Handle_Config_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item);
Boolean Handle_Config_Key_Input(DialogRef dialog, EventRecord* event);
// Switches the dialog to the page of tab index (0 TCP/IP, 1 Timeout); 0
// when the page being left refuses.
short Config_Select_Tab(short index);
SInt16 Config_Page();
CLIST_DATA* Config_List();

// ---- Search ----------------------------------------------------------------

// The model filter of this tool: 'SPPT' 128 of its resources turns it on
// and counts the names, the items of the string list it names; a missing
// resource turns it off.
void Get_NameCheck_Info();
// 1 when the filter is off or the 16-byte machine type begins with one of
// the names, else 0.
short Chk_Active_Machine_Name(const UInt8* machineType);
// Stores an accepted search reply found over TCP/IP in the first free
// entry: 1 stored, 0 refused by the filter, already held (an entry with the
// same Ethernet address) or no entry free.
short RegisterPBOX(PBOXinfo* table, short max, const jcp_reply* reply);
short SearchPBOX(JCPEPInfo* context, PBOXinfo* table, short max);
void SearchNotifier(JCPEPInfo* context, void* reply, void* extra, short status);
void PServer_Search_Result();
// The poll of every loop pass.
void Search_PServer();

// ---- Main window and queue ---------------------------------------------------

// A new search waits for the last one's endpoint to close.
constexpr UInt8 kSearchWaiting = 2;

struct FTP_DLG_INFO {
  DialogRef dlg;
  FTP_CONFIG conf[2];
  UInt16 found;
  PBOXinfo* pboxTbl;
  CLIST_DATA* printerList;
  UInt8 searching;  // 0 idle, 1 searching, kSearchWaiting
  UInt32 searchTick;
  JCPEPInfo* jcp;
  FSSpec fileSpec;
  UInt8 sendStart;
  UInt16 sendCount;
  UInt32 sendAddr[kPboxMax];
  UInt8 using_;
};
extern FTP_DLG_INFO ftpData;

short Open_File_Transfer();
// Claims the record: the table and the search context; 0 when in use or
// memory is short.
short Get_Ftp_Table();
void Get_Search_Data(FTP_DLG_INFO* rec);
// Ends a running search (its context killed) so that a new one can start;
// nothing when none runs.
void Stop_Search(FTP_DLG_INFO* rec, const char* why);
// A new search: the running one ended first, and the new one begun once the
// context's endpoint has closed (searching is kSearchWaiting until then;
// the idle step begins it).
void Search_Again(FTP_DLG_INFO* rec);
void Show_Search_Table(FTP_DLG_INFO* rec);
short Check_Send_Status(DialogRef dialog);
void Ftp_Send_File(FTP_DLG_INFO* rec);
void Ftp_Send_Start();
short Ftp_Send_Check();
void Ftp_Send_End();
void Update_Send_Window();
void Ftp_Search_Again_PBOX(DialogRef dialog);
// Sets the chosen file (item 4 shows its name).
void Set_Send_File(const FSSpec& fss);
// The quit question; 1 when the user confirmed (the window is closed and
// the program ends).
short Exit_Ftp_Dialog(DialogRef dialog);
void Free_Ftp_Table();
// Makes the record free, as it was before it was claimed: no search runs.
void Clear_Ftp_Record(FTP_DLG_INFO* rec, const char* why);
Boolean Handle_Ftp_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item);
Boolean Handle_Ftp_Key_Input(DialogRef dialog, EventRecord* event);
void Handle_Ftp_Column_Cursol(EventRecord* event);

// ---- One transfer ----------------------------------------------------------

enum : UInt16 { kSendRunning = 0, kSendDone = 1, kSendFailed = 0xFFFF, kSendCancelled = 0xFFFE };
// Time limits, in ticks.
constexpr UInt32 kGreetingTicks = 180;
constexpr UInt32 kDataStallTicks = 600;
// A reply after the greeting that does not come within this many ticks
// fails the transfer: a refusing or silent box never leaves it hanging.
constexpr UInt32 kReplyTicks = 1800;

struct FILE_DATA {
  UInt16 total_cnt;
  UInt16 send_cnt;
  FILE_INFO_DATA info;  // fileSpec, fileSize, sendSize
};

struct SEND_SLOT {
  DialogRef dlg;
  DialogRef ownerDlg;
  UInt8 view;
  UInt32 pbi_ip_addr;
  FSSpec* fileList;
  FILE_DATA fileData;
  Boolean readable;      // the file could be opened
  UInt8 connect;
  UInt8 dataConnect;
  UInt16 cmdNum;
  UInt32 sendTick;
  UInt32 dataTick;
  UInt16 sendStat;
  FTPEPInfo* ftp;
  FTPEPInfo* ftpData;
  UInt16 sendResult;
  Boolean closing;       // the data connection's close was requested
  UInt8 using_;
};
extern SEND_SLOT SendTbl[kSlotCount];
extern UInt16 g_count;

// The control connection's request notifier: a time-out is retried twice.
void CommandNotifier(FTPEPInfo* context, short status);
short Open_Tcp_Dialog(DialogRef owner, UInt8 view, UInt32 ipAddr, const FSSpec* files, UInt16 count);
short Send_FTP_Command(SEND_SLOT* slot);
short FTP_RcvCommand_async(SEND_SLOT* slot);
void Exit_TCPftp_Dialog(SEND_SLOT* slot);
void Cancel_Transfer(SEND_SLOT* slot);
// Makes a slot free, as it was before it was claimed (its transfer has been
// ended with Exit_TCPftp_Dialog).
void Free_Slot(SEND_SLOT* slot);
// Percent of the bar (0..100); a 0-byte file shows 0 until it is sent.
short Send_Percent(const FILE_DATA& file, bool done);
// Tells the outcome (alert 612); tests may replace how it is shown.
using OutcomeProc = void (*)(UInt16 result, ConstStr255Param text);
void Set_Outcome_Proc(OutcomeProc proc);
// Transfers in use.
short Transfers_Open();

// ---- Menus -------------------------------------------------------------------

struct MENU_ITEM_INFO {
  Str63 title;
  char section[64];
  char exec[64];
  char option[64];
  SInt32 icon;
  char type[64];
  UInt8 text[128];
  char shortKey[4];
};
constexpr int kMenuItems = 16;
extern MENU_ITEM_INFO MeInfo[2][kMenuItems];
extern Boolean NotInifile;
extern Boolean MenuChangeAuthority;
short Install_Menu();
void Set_Up_Menu_Bar();
void Handle_Menu_Choice(long choice);
// The command of File menu item (ini menus: "EXEC=CONFIG" gives 255).
short Menu_Command(SInt16 menuID, short item);

}  // namespace upc

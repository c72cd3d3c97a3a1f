// The installer's administrator-mode page and the status monitor's set-up:
// the pages 149 to 153, the search for print boxes behind page 151 with its
// settings dialog, and the monitor's data files that page 153 writes. The
// files are written by the monitor's own modules (Monitor/MonitorConfig.h,
// StatusData.h, StartupFiles.h), pointed at the folder the monitor was
// installed in, and the mode file by the administration program's.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "Monitor/MonitorTypes.h"
#include "OT/PBoxTable.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/types.h"

constexpr int kEventMax = 10;
constexpr int kFoundBoxMax = 128;
constexpr SInt16 kFileNamesID = 136;  // 'STR#': the mode file, the monitor's preference file
constexpr OSType kAdminCreator = 'VMxa';
constexpr OSType kMonitorCreator = 'VMxm';

struct EVENT_DATA {
  Boolean bEnable;      // armed: the monitor pops up on it
  SInt16 iconID;        // 150 + the event's number
  char cEventName[32];  // NUL-terminated
  char cMemo[256];      // not used
};

// ---- the monitor's files (MonitorFiles.cpp) ----

// The installer's own 'CNFG' 128: where the monitor's set-up starts from.
// The user's existing preference file is only replaced when the set-up is
// committed. An empty zone or one beginning with '*' reads as 36 zeros.
void Get_Search_Configuration(CONFIGURATION* config);
// The printer's settings file in the monitor folder loaded into config, or,
// when it has none, made from config. Nothing for a printer not in use.
SInt32 Get_Monitor_Config(const std::string& folder, const PBOXinfo* pbox, CONFIGURATION* config);
// Deletes "Brdadr" and the pointer file ("MONITOR Data") of the folder.
void Delete_Data_File(const std::string& folder);
// The writes that commit the monitor's set-up, in order: its preference
// file (made anew, replaced in one step), the printer's settings file, the
// pointer file (printer in use only), the status-data file, "Alias Data"
// with the login item, "Brdadr" (only with addresses beyond entry 0). Each
// goes on after a failure of the one before; nothing is written without a
// monitor folder.
void Write_Monitor_Setup(const std::string& folder, const PBOXinfo& pbox, const CONFIGURATION& config,
                         const SETUPINFO& broadcast);
// Rewrites "Alias Data" (the printer last when add), then adds the login
// item of the monitor's start-up program when add, or removes it when the
// file lists no printer any more.
SInt32 Set_Startup_Data(const std::string& folder, const PBOXinfo* pbox, const CONFIGURATION* config, short add);
// The start-up program's bundle inside the monitor folder.
std::string Startup_Application_Path(const std::string& folder);
// Adds (1) or removes (0) the application as a login item; nothing when it
// already is (or is not) one. The index found before, or -1.
SInt32 Set_Login_Preferences(const std::string& application, Boolean add);
// 1 when the text (length-prefixed) is all decimal digits, leading zeros
// included (an empty text is 0), and min <= number <= max; else 0 (number
// set only when the digits were read and fit a long).
short Str_To_Num(ConstStr255Param text, long* number, long max, long min);

// ---- item helpers of these pages beside the wizard's (MonitorPages.cpp) ----
ControlRef Page_Item_Control(DialogRef d, DialogItemIndex item);
SInt16 Page_Item_Value(DialogRef d, DialogItemIndex item);
void Set_Page_Item_Value(DialogRef d, DialogItemIndex item, SInt16 value);
// The text of an edit or static item (UTF-8).
std::string Page_Item_Text(DialogRef d, DialogItemIndex item);
// A list control of the pages (font "LIST=" of the message file) in the
// item's rectangle: one column of the whole width, or the columns given.
struct CLIST_DATA* Create_Page_List(DialogRef d, DialogItemIndex item, SInt16 rowHeight, int columns,
                                    SInt16 columnWidth);
// A cell's text (empty for none); a cell set from UTF-8 text, cut to 255
// bytes on a character boundary.
std::string Page_List_Text(struct CLIST_DATA* list, SInt16 row, SInt16 column);
void Set_Page_List_Text(struct CLIST_DATA* list, SInt16 row, SInt16 column, std::string_view text);
// The first selected row, or -1 (also without a list).
SInt16 Page_List_Selected(struct CLIST_DATA* list);
// Deletes the row; the row now at its place, or else the last, is selected.
void Delete_Page_List_Row(struct CLIST_DATA* list, SInt16 row);

// ---- page 149 (ModePage.cpp) ----
short Setup_AdMode_Load_Value(DialogRef d);
Boolean Setup_AdMode_Item_Select(DialogRef d, EventRecord* event, DialogItemIndex item);
short Setup_AdMode_Next_Value(DialogRef d);
short Setup_AdMode_Update_Value(DialogRef d);

// ---- pages 150, 152, 153 (MonitorPages.cpp) ----
short Setup_Monitor_Load_Value(DialogRef d);
Boolean Setup_Monitor_Item_Select(DialogRef d, EventRecord* event, DialogItemIndex item);
short Setup_Monitor_Back_Value(DialogRef d);
short Setup_Monitor_Next_Value(DialogRef d);
short Setup_Monitor_Update_Value(DialogRef d);
short Setup_MonEvent_Load_Value(DialogRef d);
Boolean Setup_MonEvent_Item_Select(DialogRef d, EventRecord* event, DialogItemIndex item);
short Setup_MonEvent_Back_Value(DialogRef d);
short Setup_MonEvent_Next_Value(DialogRef d);
short Setup_MonEvent_Update_Value(DialogRef d);
short Setup_MonOption_Load_Value(DialogRef d);
Boolean Setup_MonOption_Item_Select(DialogRef d, EventRecord* event, DialogItemIndex item);
short Setup_MonOption_Back_Value(DialogRef d);
short Setup_MonOption_Next_Value(DialogRef d);
short Setup_MonOption_Update_Value(DialogRef d);
// The events of "[POPUP]" (at most 10) with their armed state from the
// flags; the number read.
int Build_Event_Data(EVENT_DATA* events, UInt8 popupFlag);
// Events 0 to 7 into the flags (the record keeps 8 bits).
UInt8 Event_Flags(const EVENT_DATA* events, int count, UInt8 popupFlag);
// Disposes the pages' lists (the wizard closes).
void Close_Monitor_Pages();

// ---- page 151 and the search (SearchPage.cpp) ----
short Setup_MonSearch_Load_Value(DialogRef d);
Boolean Setup_MonSearch_Item_Select(DialogRef d, EventRecord* event, DialogItemIndex item);
short Setup_MonSearch_Back_Value(DialogRef d);
short Setup_MonSearch_Next_Value(DialogRef d);
short Setup_MonSearch_Update_Value(DialogRef d);
// Stops a running search and waits for its worker (page left, exit).
void Close_Search_Printer();
// Whether a printer row is selected on page 151.
bool Printer_Selected();
// The list rows added for the table's new entries; rows whose box answers
// from another address get the new address. The table's lock is held.
int Build_Printer_List(const PBOXinfo* table, int count, int newCount);
// The lock that guards the found-box table against the search worker.
std::mutex& Found_Box_Lock();
// "POLLING" to the printer, on the caller's thread, resent as the search
// settings say on a time-out: 0 when it was answered, else negative or the
// exchange's result.
int PollToPBOX(const PBOXinfo* pbox);

// ---- the search settings dialog (SearchSettings.cpp) ----
short Open_Configuration(DialogRef owner, const char* messageFile, const CONFIGURATION* config);
// Closes an open settings dialog as Cancel does (its page is left).
void Close_Configuration();
// Its item and update handlers (the framework's slots).
Boolean Handle_Config_Select_Item(DialogRef d, EventRecord* event, DialogItemIndex item);
short Handle_Config_Update_Value(DialogRef d, EventRecord* event);
// The list follows the window's highlight; 1.
short Handle_Config_Window_Active(DialogRef d, EventRecord* event);
// Its key filter: Return and Enter act as OK, Escape as Cancel (each
// flashed); digits, '.', the delete key and the arrows go on to the
// dialog (true); any other key beeps and is dropped.
Boolean Handle_Config_Key_Input(DialogRef d, EventRecord* event);
// The Add rule: four numbers 0 to 255 joined by single dots, nothing
// after; the address in normal dotted form, or empty when refused.
std::string Normal_Broadcast_Address(const std::string& text);

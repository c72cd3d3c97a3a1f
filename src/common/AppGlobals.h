// What every program supplies to the foundation: the globals and functions
// the library modules use by these fixed names. Each program defines them
// (a program that gives one of these names another meaning keeps that in
// its own namespace); tests/support defines versions for the library tests.
//
// Declared elsewhere because their records live there: the settings tables
// of the selected print box (pContextData, wContextSize, pEnumData,
// wEnumWidth, wEnumSize, pEEPData, wEEPDataSize, pEEPBackup) in Context.h.
// Handle_Menu_Choice is the foundation's own (AppMenus.h); a program with
// menus of another shape brings its own in place of that module.
#pragma once

#include <cstddef>
#include <vector>

#include "toolbox/events.h"
#include "toolbox/types.h"

// The Dialog Manager's names for a dialog and an item number
// (toolbox/dialogs.h declares them alike).
struct DialogRecord;
using DialogRef = DialogRecord*;
using DialogPtr = DialogRef;
using DialogItemIndex = SInt16;

// The program's own settings record. Its fields differ per program, so the
// libraries only pass it by address.
struct CONFIGURATION;
// The tabbed settings dialog's part of a program's configuration-dialog
// record (the dialog, the tab control, the three pages), defined with that
// frame; each program's record is built on it.
struct CONFIG_FRAME;
// One page's callbacks (setup, item select, load value, get value,
// update), defined with the frame.
struct CONF_TAB_CELL;

// ---- Globals -----------------------------------------------------------

// Size of the file-name globals below, with their NUL.
constexpr std::size_t kAppFileNameSize = 512;

// The program's language ini file: a name or partial path relative to the
// program's folder (the bundle's "LANGUAGE_PATH" format applied to the
// program's base name), or a full POSIX path. Fonts, the about box, the
// start-up check and the alerts read their texts from it.
extern char IniFileName[kAppFileNameSize];
// A second text file of the program, named like IniFileName. Its meaning is
// the program's: the status monitor's own ini file (section "[ERR]", the FTP
// send window's "[STRING]" texts); for a program that reads menu commands
// from a menu-definition file (CommandMenu), the path of that file.
extern char MonFileName[kAppFileNameSize];
// Reference number of the program's own resource file (the file current at
// start-up).
extern SInt16 Appl_Rsrc_Fork_No;
// The program's settings record.
extern CONFIGURATION ConfigData;
// The creator code of the preference files the program makes (for example
// 'VMxm', also in the installer, which makes the monitor's files).
extern OSType Pref_File_Creator;
// Processor class plus system class, as System_Check leaves it.
extern SInt16 sysCheck;

// The settings record as stored in the 'CNFG' resource: every field in its
// declared order and width, multi-byte fields big-endian.
std::vector<UInt8> Pack_Configuration(const CONFIGURATION* config);

// ---- Event dispatch ----------------------------------------------------

// A mouse-down that no dialog took (the program finds the window part and
// acts: menu bar, content, drag, close box). The result is not used.
void Handle_Mouse_Down(EventRecord* event);
// Every activate event, after the dialog's own activate handler.
void Handle_Activate(EventRecord* event);
// Modal filter of the program's alerts: Return or Enter answers item 1,
// Escape item 2 (true when it answered); updates of other windows go to
// the window dispatch.
Boolean Handle_Alert_Filter(DialogRef dialog, EventRecord* event, DialogItemIndex* item);

// ---- Menus -------------------------------------------------------------

// Items of the File menu (129) and of the third menu (130).
void Handle_File_Menu(short item);
void Handle_Option_Menu(short item);
// Non-zero enables the application menu's Quit command, zero disables it.
void AppliMenu_Select_Enable(short flag);
// Open status windows, configuration dialogs and FTP send windows, for the
// menu rules (the latter two for the window checked in the window menu).
short Get_Status_Open_Count();
short Get_Config_Open_Count();
short Get_Ftp_Open_Count();

// ---- Tabbed configuration dialog ----------------------------------------

// Makes the tab control and fills the record's pages; non-zero when built.
short Build_Config_Tab(CONFIG_FRAME* record);
// Clears the cell, then fills the callbacks of the page with that item-list
// id; an unknown id leaves them all null.
void Set_Config_Function(CONF_TAB_CELL* cell, SInt16 pageID);
// Validates and takes the values of the page being left (tab index from 0);
// non-zero lets the tab change, 0 keeps the page.
short Delete_Config_Dialog(CONFIG_FRAME* record, short tabIndex);
// The configuration dialog's item handler: 1 OK, 2 Cancel, the rest the
// program's (its result is that of an item-select handler).
Boolean Handle_Config_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item);

// ---- Login items -------------------------------------------------------

// Index of the user's login item whose path is the program's, -1 none.
SInt32 Get_Login_Preferences(const FSSpec* appSpec);

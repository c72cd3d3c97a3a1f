// The installer's own library services beside the shared ones: the
// directory hooks of a folder chooser, shortcut makers, text-view
// rectangles and the routines kept for a developer to call.
#pragma once

#include <cstddef>
#include <string>

#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/lists.h"
#include "toolbox/textedit.h"
#include "toolbox/types.h"

// ---- Directory hooks of a folder dialog ----
// The program makes them at start and lets them go at exit; no dialog of
// its own uses them now.
using FileFilterHook = Boolean (*)(const FSSpec* item);
using DlgItemHook = short (*)(short item, DialogRef dialog, void* data);
using ModalFilterHook = Boolean (*)(DialogRef dialog, EventRecord* event, short* item, void* data);

struct FOLDER_HOOKS {
  FileFilterHook filter;
  DlgItemHook dlgHook;
  ModalFilterHook modalFilter;
};
extern FOLDER_HOOKS gFolderHooks;
void Create_Folder_Hooks();
void Dispose_Folder_Hooks();

// true hides the item: only folders are shown.
Boolean FilterAllFiles(const FSSpec* item);
// Returns the item as it came.
short MyDlgHook(short item, DialogRef dialog, void* data);
// Updates of the program's own windows are drawn by their handlers; the
// event is left to the dialog (false).
Boolean MyModalFilter(DialogRef dialog, EventRecord* event, short* item, void* data);
// Same volume, same folder and the names equal ignoring case.
Boolean SameFile(const FSSpec* a, const FSSpec* b);
// The file spec made again from its own parts, so equal items compare equal.
OSErr MakeCanonFSSpec(FSSpec* spec);
// The user's desktop folder.
OSErr GetDeskFolderSpec(FSSpec* spec);
// Titles the select button 'Select "name"' (the name cut to fit 255 bytes).
void SetSelectButtonName(DialogRef dialog, DialogItemIndex button, ConstStr255Param name);
// Whether a chosen folder may be selected: anything but the desktop folder
// itself.
Boolean ShouldHiliteSelect(const FSSpec* spec);
// Flashes the button for five ticks.
void HitButton(DialogRef dialog, DialogItemIndex button);

// ---- Resources and texts ----

// The four characters as a resource type, the first in the high byte.
OSType ResType_CharToBin(const char* four);
// Rewrites each "@LAN" of the text into "%s", in place, for use as a format
// with the language folder's name.
void SetLanguage(char* text);

// ---- The licence's text view ----
struct CEDIT_DATA;
namespace inst {
// Sets the text of the view (at most length bytes): the text rectangle is
// the view's rectangle less its bars; when the vertical bar turns out not
// to be needed the text takes the bar's room again.
void CTESetText(CEDIT_DATA* view, const char* text, long length);
}  // namespace inst
// The TextEdit record's view or destination rectangle set or read: 0, -1
// without a view, -2 without a TextEdit record.
SInt16 CESetViewRect(CEDIT_DATA* view, const Rect* rect);
SInt16 CESetDestRect(CEDIT_DATA* view, const Rect* rect);
SInt16 CEGetViewRect(CEDIT_DATA* view, Rect* rect);
SInt16 CEGetDestRect(CEDIT_DATA* view, Rect* rect);

// ---- Kept for a developer to call; no flow of the installer uses them ----

namespace inst {
// Traces "OS=0x.. : CPU=0x.. : A=0x.." (system version, processor, 0) and
// returns the processor code.
SInt16 System_Check();
// The installer's system version: always 97.
SInt16 isSystemVer();
}  // namespace inst
// A progress bar in any item: count steps of the item's width over total.
void Draw_Copy_Bar(DialogRef dialog, DialogItemIndex item, int count, int total);
// Asks the Finder to open the item (an open-selection event).
OSErr SendFinderOpenDoc(const FSSpec* item);
// add: the program VEMO-MONITOR beside the installer becomes a login item;
// else its login item is removed. An OSStatus.
OSStatus Set_Startup_File(bool add);
// Removes every login item of ours that starts VEMO-MONITOR.
OSStatus Delete_Startup_Data();
// Writes the broadcast list ("[SYSTEM]", "UDP%02d=<address>") to the file
// "ConfigData" beside the program, as one step. An OSErr.
OSErr Save_Config_Data(const char* const* addresses, int count);
// Copies entry n of the found-box table (count entries) when it is in use:
// 1, else 0 (out unchanged).
struct PBOXinfo;
int Get_Print_Data(const PBOXinfo* table, int count, int n, PBOXinfo* out);
// Moves the list's selection by delta rows (kept inside the list); the row
// now selected, or -1 for an empty list.
short Chenge_List_Select_Cell(ListHandle list, short delta);
// The cell's text into out (at most size bytes with its NUL); its length.
short Get_List_Cell(ListHandle list, Cell cell, char* out, std::size_t size);

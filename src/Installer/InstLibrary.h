// The installer's own library services beside the shared ones: the
// directory hooks of a folder chooser, shortcut makers, text-view
// rectangles and the routines kept for a developer to call.
#pragma once

#include <cstddef>
#include <string>

#include "toolbox/dialogs.h"
#include "toolbox/events.h"
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
// The spec made again from its own parts, so equal items compare equal.
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

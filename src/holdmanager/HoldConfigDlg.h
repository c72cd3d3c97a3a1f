// The configuration dialog: the search addresses, the command time-out and
// the re-search interval on its first page, the renaming of the box's hold
// folders on its second. OK and Apply check the shown page, keep the values
// in the settings record and its file, and start a pending folder rename.
#pragma once

#include <string>

#include "holdmanager/HoldDialogs.h"

// Opens the dialog for the settings record and the box's folders; 1, or 0
// when it could not be made (one at a time).
int OpenCfgDlg(HOLD_CONFIG* config, PtrListHead folders);
// The open configuration dialog, or null.
SUB_DLG* ConfigDialog();
void CloseCfgDlg(SUB_DLG* d);
// Keys outside the fields: nothing (the fields' keys are the dialog's).
bool KeyDownCfgDlg(SUB_DLG* d, const EventRecord* ev);
// The page's checks: 1 valid, 0 after a message (the field's text selected).
int CheckCfgDlg(SUB_DLG* d);
// The dialog's values into the record, then the record into the file.
OSErr SetConfigFromDlg(HOLD_CONFIG* config, SUB_DLG* d);
// The folder list again from the box's folders (after a refresh): the
// selection kept, and on the second page the name field's text selected
// (keepSelection non-zero) or refilled.
void UpdateFolderListCfgDlg(SUB_DLG* d, PtrListHead folders, int keepSelection);
// 0 address, 1 time-out, 2 re-search, 3 folder name; -1 none.
int GetActiveMLTE(SUB_DLG* d);
void ChangeApplyBtnState(SUB_DLG* d, bool on);
void ChangeDelBtnState(SUB_DLG* d);
// The selected folder's name part into the name field.
void SetRenFolderName(SUB_DLG* d);
// The name the box is to hold for the selected folder: its prefix and the
// field's text cut to 16 bytes (the box's own bytes when the text is as it
// was), in the folder's own language or else the program's; empty when
// neither can hold the text.
std::string GetRenFolderName(SUB_DLG* d);
// 1 or 2.
int CfgDlgPage(SUB_DLG* d);
// The dialog's tab control (its pages' frame).
CTAB_DATA* CfgDlgTabs(SUB_DLG* d);

namespace hold {
// Dotted-decimal IPv4: four fields of digits (an empty one counts 0), each
// at most 255, nothing else. 1 with the address (first field in the top
// byte), 0 with 0.
int StrToIPAddr(const char* text, UInt32* addr);
}  // namespace hold

// The wizard's page table and the services its pages share.
//
// Every page has one cell of handlers; Set_Dialog_Event fills the 13 cells
// in page-table order when the wizard opens. The pages of the
// administrator mode (149) and of the monitor set-up and search (150 to
// 153) live in their own files (Installer/MonitorSetup.h declares their
// handlers); nothing else changes the table's shape.
#pragma once

#include <string_view>

#include "common/AppFonts.h"
#include "Installer/InstApp.h"

using PageItemProc = Boolean (*)(DialogRef dialog, EventRecord* event, DialogItemIndex item);
using PageProc = short (*)(DialogRef dialog);

// One page's handlers. Back and next set instTbl.activePage and answer 1
// to change the page, 0 to stay; a null handler does nothing (a null back
// or next keeps the page).
struct SETUP_DLG_CELL {
  SInt16 dlgNum;
  PageProc dlg_setup;
  PageItemProc dlg_item_select;
  PageProc dlg_load_value;
  PageProc dlg_back_value;
  PageProc dlg_next_value;
  PageProc dlg_update;
};

constexpr int kPageCells = 13;
// The row height of every list of the wizard.
constexpr SInt16 kListRowHeight = 18;

void Set_Dialog_Function(SETUP_DLG_CELL* cell, SInt16 page);
// The page's cell, or null.
const SETUP_DLG_CELL* Get_Dialog_Function(SInt16 page);

// The printer search's refresh, once per loop pass.
void Update_Search_Printer();

// ---- Services of the pages ----

// The text on the item, cut to 255 bytes on a character boundary: the
// title of a button, check box or radio button, the text of a static or
// edit text; other items are left alone.
void Set_Page_Item_Text(DialogRef dialog, DialogItemIndex item, std::string_view text);
// The message file's text of the key on the item as Set_Page_Item_Text
// puts it, "\n" made line breaks. A missing key changes nothing.
void Set_Dialog_Item_Message(DialogRef dialog, DialogItemIndex item, const char* section, const char* key);
// The message file's "[FONT]" key read by the shared font reader over the
// system font in plain black on white (what a missing key leaves).
FONT_DATA Message_Font(const char* key);
// The picture stretched over the item's rectangle.
void Draw_Pict_Usr_Item(DialogRef dialog, DialogItemIndex item, SInt16 pictID);
// A one-column list over the item's rectangle (less its scroll bar), rows
// 18 pixels high, in the font of "[FONT]" "LIST=".
ListHandle Create_ListBox(DialogRef dialog, DialogItemIndex item);
// A click inside the item goes to the list, which selects the row under
// it alone; 1 on a double click on the same row, else 0.
short Handle_List_Select(DialogRef dialog, EventRecord* event, DialogItemIndex item, ListHandle list);
// A button shown pressed for 5 ticks (a key that acts as it).
void Flash_Button(DialogRef dialog, DialogItemIndex item);
// Enables (hilite 0) or disables (255) a control item.
void Set_Item_Enabled(DialogRef dialog, DialogItemIndex item, bool on);
// The rectangle of an item.
Rect Dialog_Item_Rect(DialogRef dialog, DialogItemIndex item);
// Next, Cancel and Back captioned from the message file, Back shown, all
// three enabled.
void Set_Common_Buttons(DialogRef dialog);
// Whether the tool list holds a row of that name whose tool is ticked.
bool Tool_Ticked(const char* name);
// Ticked, and the copy brought all of its files: a program that may be set up.
bool Tool_Installed(const char* name);
// Whether the copy left files out.
bool Copy_Incomplete();

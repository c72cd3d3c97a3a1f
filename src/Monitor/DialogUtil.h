// Small helpers the monitor's windows and dialogs share: item values and
// texts, labels, one-column list controls in an item's rectangle, and the
// fonts of the language ini ("name,style,size").
#pragma once

#include <string>

#include "FanctionLib/CList.h"
#include "FanctionLib/CTab.h"
#include "toolbox/dialogs.h"

namespace mondlg {

// Dims (hilite 255) or enables a control item (values go through
// Get_Item_Value and Set_Item_Value of 506Q_Lib/DialogItems.h).
void SetDimmed(DialogRef d, DialogItemIndex item, bool dim);
bool IsDimmed(DialogRef d, DialogItemIndex item);
std::string ItemText(DialogRef d, DialogItemIndex item);
void SetItemText(DialogRef d, DialogItemIndex item, const std::string& text);
Rect ItemRect(DialogRef d, DialogItemIndex item);

// Marks the dialog's whole window for drawing again.
void InvalidateAll(DialogRef d);

// The tab control of a settings dialog over the item's rectangle, `height`
// high with its pages below the strip (the selected tab standing on their
// frame), in the "TAB=" font. Null when it cannot be made.
CTAB_DATA* NewSettingsTabs(DialogRef d, DialogItemIndex item, SInt16 height);
// Tracks a press on the tab strip in the current port: the tab chosen, or
// -1 when the press lies on no drawn tab or chose none but `shown`.
SInt16 TrackTabPress(DialogRef d, CTAB_DATA* tabs, DialogItemIndex item, EventRecord* event, SInt16 shown);

// A tabbed settings dialog's update event: the background, the tab
// control, the items, then the page's own drawing (pageUpdate, when any).
void UpdateTabbedDialog(DialogRef d, CTAB_DATA* tabs, void (*pageUpdate)(DialogRef));

// Draws a text in the item's rectangle on the window's background (left,
// centred vertically; carriage returns break the lines).
void DrawLabel(DialogRef d, DialogItemIndex item, const std::string& text);

// The font of a "[FONT]" key written "name,style,size" (the program's
// window font when the key is missing).
struct DialogFont {
  SInt16 id = 0;
  Style face = 0;
  SInt16 size = 12;
};
DialogFont FontOf(const char* key);

// A list control over the item's rectangle: rows `rowHeight` high, one
// column as wide as the rectangle less the scroll bar's room, without a
// header, in the "LIST=" font. Null when it cannot be made.
CLIST_DATA* NewOneColumnList(DialogRef d, DialogItemIndex item, SInt16 rowHeight);
void AppendRow(CLIST_DATA* list, const std::string& text);
std::string RowText(CLIST_DATA* list, SInt16 row, SInt16 column = 0);
// The first selected row, -1 when none (or no list).
SInt16 SelectedRow(CLIST_DATA* list);
void Redraw(CLIST_DATA* list);

}  // namespace mondlg

// The font of a "[FONT]" key of the file written "name,face,size": each
// field that is there sets its output (a size only from 1 to 127), the
// others are left as they are. 1 when the key was found.
short Get_Font_Data2(const char* key, SInt16* font, UInt8* face, SInt16* size, const char* file);

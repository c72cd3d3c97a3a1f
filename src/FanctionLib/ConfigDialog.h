// The tabbed configuration dialog: one dialog whose first four items (OK,
// Cancel, a third button and the tab control's area) stay, while the items
// of the selected tab's page are appended from the page's item list and
// replaced when the user changes tab.
//
// A program describes each page by an item-list id, a title and five
// callbacks, and supplies Build_Config_Tab, Set_Config_Function,
// Delete_Config_Dialog and Handle_Config_Select_Item (AppGlobals.h). Its
// configuration-dialog record is built on CONFIG_FRAME and attached to the
// dialog (Set_Usr_Window_RefCon) as that frame, so that the frame finds it
// from the dialog.
//
// The frame lives beside the tab control it drives rather than in the
// foundation, which the controls themselves build on.
#pragma once

#include "common/AppGlobals.h"
#include "FanctionLib/CList.h"
#include "FanctionLib/CTab.h"
#include "toolbox/dialogs.h"

// One page's callbacks, in the order the frame knows them. Any may be null.
struct CONF_TAB_CELL {
  void (*dlg_setup)(DialogRef dialog);
  Boolean (*dlg_item_select)(DialogRef dialog, EventRecord* event, DialogItemIndex item);
  void (*dlg_load_value)(DialogRef dialog);
  // True when the page's values are valid and taken.
  Boolean (*dlg_get_value)(DialogRef dialog);
  void (*dlg_update)(DialogRef dialog);
};

struct CONFIG_PAGE {
  UInt8 enable;         // 1 when the page exists
  SInt16 contID;        // the page's item list ('DITL')
  char contName[256];   // the page's title, matched against the tab's
  CONF_TAB_CELL cellData;
};

constexpr int kConfigPageCount = 3;
// Items 1 to 4 are the frame's: OK, Cancel, a third button, the tabs' area.
constexpr DialogItemIndex kConfigFrameItems = 4;
enum : DialogItemIndex { kConfigOK = 1, kConfigCancel = 2, kConfigApply = 3, kConfigTabItem = 4 };

// What the frame uses of a program's configuration-dialog record.
struct CONFIG_FRAME {
  DialogRef dlg;
  CTAB_DATA* tabData;
  CONFIG_PAGE fanction[kConfigPageCount];
};

// Gives a settings window's tab strip the suite's look: the font of key
// "TAB=" of the language ini (size 10 where it gives none) and the strip's
// pictures.
void Set_Config_Tab_Look(CTAB_DATA* tabs);
// Lets the program build the tab control (Build_Config_Tab); when built,
// tab 0 is selected and drawn and the control shown. Returns 1.
short Create_Config_Tab(CONFIG_FRAME* record);
// Shows the page of the selected tab: the dialog cut back to its frame
// items, the page's items appended where their list puts them, then the
// page's setup and load-value callbacks. Nothing when no page matches.
void Load_Config_Dialog(CONFIG_FRAME* record);
// Index of the first enabled page whose title begins with the tab title's
// characters; -1 when none.
short Get_Config_Fanction(CONFIG_FRAME* record, ConstStr255Param title);
// The dialog cut back to its frame items and the item list appended.
// Returns 1.
short Config_Select_Dialog_Page(DialogRef dialog, SInt16 ditlID);
// A press on the tab item: a press on a drawn tab (the tab control alone
// tells which, however high the title) offers the change to the page being
// left (Delete_Config_Dialog), which may refuse it; then the new page is
// shown, or the old tab selected again. A press beside the tabs does
// nothing. Returns 1.
short Handle_Config_Tab_Select(DialogRef dialog, EventRecord* event, DialogItemIndex item);
// Escape answers Cancel (item 2), Return and Enter answer OK (item 1),
// each with its button flashed, through Handle_Config_Select_Item; these
// give 0 (the key is taken). Any other key gives 1, for the dialog.
Boolean Handle_Config_Key_Input(DialogRef dialog, EventRecord* event);
// The dialog's controls active while its window is highlighted, inactive
// otherwise. Returns 1.
short Handle_Config_Window_Active(DialogRef dialog, EventRecord* event = nullptr);
// A press in a page's list: given to the list control when it lies in the
// item's rectangle. True when it completes a double-click on a row.
Boolean Handle_List_Select(DialogRef dialog, EventRecord* event, DialogItemIndex item, CLIST_DATA* list);

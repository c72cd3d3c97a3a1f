// The device settings window: one print box's settings as pages behind
// tabs, one tab per protocol or function the box offers. Each page plugs in
// through a cell of five callbacks; the frame swaps the page's items in and
// out, lets the page being left refuse, and on closing sends the changed
// settings image back.
#pragma once

#include "FanctionLib/CTab.h"
#include "OT/PBoxTable.h"
#include "common/AppFonts.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"

struct SETUP_ICON_CELL {
  void (*dlg_setup)(DialogRef dialog);
  Boolean (*dlg_item_select)(DialogRef dialog, EventRecord* event, DialogItemIndex item);
  void (*dlg_load_value)(DialogRef dialog);
  Boolean (*dlg_get_value)(DialogRef dialog);  // 1 accepted
  void (*dlg_update)(DialogRef dialog);
};

struct SETUP_PAGE {
  Boolean enable;
  SInt16 contID;
  char contName[256];
  SETUP_ICON_CELL cellData;
};

constexpr int kSetupPageRows = 20;
constexpr int kSetupPortMax = 10;
constexpr DialogItemIndex kSetupFrameItems = 5;

struct SETUP_PORT {
  SInt32 type;     // 0 when the port has the serial settings, else 1
  UInt8 name[32];  // length-prefixed
};

struct SETUP_DLG_INFO {
  DialogRef dlg;
  Boolean closeFlag;
  // A copy of the box's entry: a search while the window is open cannot
  // make it edit another box.
  PBOXinfo pbox;
  Boolean tcp_flag, ipx_flag, snmp_flag, talk_flag, netb_flag, nds_flag, trap_flag, smtp_flag, pop3_flag;
  SInt32 pcount;
  SInt32 tcount;
  SETUP_PORT port[kSetupPortMax];
  Boolean using_;
};

extern SETUP_DLG_INFO setupTbl;
extern SETUP_PAGE fancInfo[kSetupPageRows];
extern UInt16 TypeBit;
// The tab selected before the last tab click (the search dialog has its own).
extern SInt16 setupTabOldSelect;
extern CTAB_DATA* gclData;
extern FONT_DATA gSetFont;
// The box's printer-port names as "GET PORT_NAME" answered them.
constexpr long kPortListSize = 320;
extern UInt8 sPortList[kPortListSize];
extern short iPortMax;
extern short iPortWidth;

// The model text of the box being edited ("QSV-A" ...).
const char* Setup_Model();

short Open_Setup_Window(PBOXinfo* pbox);
DialogRef Get_Open_Setup_Dialog();
short Handle_Setup_Update_Value(DialogRef dialog, EventRecord* event);
Boolean Handle_Setup_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item);
Boolean Handle_Setup_Key_Input(DialogRef dialog, EventRecord* event);
short Exit_Setup_Dialog(DialogRef dialog, Boolean isUpload);
short Close_Setup_Dialog(DialogRef dialog);
// The cell of a page number; all slots empty for an unknown one.
SETUP_ICON_CELL Set_Dialog_Function(SInt16 page);
// The current page's row, or null.
SETUP_PAGE* Current_Setup_Page();

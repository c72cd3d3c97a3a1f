// The printer port page: job strings, print type, tab size, page width and
// length of port k, and its parallel or serial hardware values. No tab
// offers the page; it is built and loaded directly.
#pragma once

#include "toolbox/dialogs.h"
#include "toolbox/events.h"

enum : SInt16 { kPortPageID = 135, kPortParaDialogID = 174, kPortSeriDialogID = 175 };

void Setup_PrnPort_Set_PortInfo(DialogRef d, short k);
// 1 accepted, 0 after the message of the first refusal.
short Setup_PrnPort_Get_PortInfo(DialogRef d, short k);
void Setup_PrnPort_Message(DialogRef d);
void Load_Value_PPort_Para(DialogRef d, short k);
short Get_Value_PPort_Para(DialogRef d, short k);
void Load_Value_PPort_Seri(DialogRef d, short k);
short Get_Value_PPort_Seri(DialogRef d, short k);

// The page's cell. The port is the one named by the selected tab's title
// (for get value, the tab selected before the last tab click).
void Setup_PrnPort_Setup(DialogRef d);
Boolean Setup_PrnPort_Item_Select(DialogRef d, EventRecord* e, DialogItemIndex item);
void Setup_PrnPort_Load_Value(DialogRef d);
Boolean Setup_PrnPort_Get_Value(DialogRef d);
void Setup_PrnPort_Update_Value(DialogRef d);

// The port's parallel (174) or serial (175) dialog: OK writes the values
// (1), Cancel nothing (0); any other id opens nothing (0).
extern Boolean PPort_show_dialog;
short Open_Sub_Dialog(DialogRef parent, SInt16 id, short k);
short Handle_Sub_Dialog_Event(DialogRef d, SInt16 id, DialogItemIndex item, short k);
void Update_Sub_Dialog(DialogRef d, SInt16 id);
Boolean Handle_Sub_Dialog_Filter(DialogRef d, EventRecord* e, DialogItemIndex* item);
short PPort_Para_Item_Select(DialogRef d, DialogItemIndex item, short k);
short PPort_Seri_Item_Select(DialogRef d, DialogItemIndex item, short k);

// The POP page of the settings window (reception on or off, interval, time
// zone, the four accounts' state) and the account detail dialog. No tab
// offers the page; it is built and loaded directly.
#pragma once

#include "toolbox/dialogs.h"
#include "toolbox/events.h"

enum : SInt16 { kPopPageID = 168, kPopUserDialogID = 172, kPopDetailDialogID = 173 };

void Setup_POP_Setup(DialogRef d);
Boolean Setup_POP_Item_Select(DialogRef d, EventRecord* e, DialogItemIndex item);
void Setup_POP_Load_Value(DialogRef d);
Boolean Setup_POP_Get_Value(DialogRef d);
void Setup_POP_Message(DialogRef d);
// The account dialog of the account behind button item 17-20 (1 when left
// by an accepted OK), and its detail dialog.
extern Boolean POP_Detail_show_dialog;
short Open_POP_USER_Dialog(DialogRef parent, short item);
void Load_Value_POP_USER(DialogRef d, short item);
short Get_Value_POP_USER(DialogRef d, short item);
Boolean Handle_POP_Detail_Filter(DialogRef d, EventRecord* e, DialogItemIndex* item);
short Open_POP_Detail_Dialog(DialogRef parent, short item);
void Load_Value_POP_Detail(DialogRef d, short item);
short Get_Value_POP_Detail(DialogRef d, short item);

// The printer port page: job strings, print type, tab size, page width and
// length of port k, and its parallel or serial hardware values. No tab
// offers the page; it is built and loaded directly.
#pragma once

#include "toolbox/dialogs.h"

enum : SInt16 { kPortPageID = 135, kPortParaDialogID = 174, kPortSeriDialogID = 175 };

void Setup_PrnPort_Set_PortInfo(DialogRef d, short k);
// 1 accepted, 0 after the message of the first refusal.
short Setup_PrnPort_Get_PortInfo(DialogRef d, short k);
void Setup_PrnPort_Message(DialogRef d);
void Load_Value_PPort_Para(DialogRef d, short k);
short Get_Value_PPort_Para(DialogRef d, short k);
void Load_Value_PPort_Seri(DialogRef d, short k);
short Get_Value_PPort_Seri(DialogRef d, short k);

// The IP address set-up of a box found without an address.
#pragma once

#include "OT/PBoxTable.h"
#include "toolbox/dialogs.h"

// The set-up dialog for a box without an address: 1 when it was left with
// OK (the address then sent, a failure told), 0 when cancelled or when the
// box has an address already (told).
short Set_Ip_Address(PBOXinfo* box);
// 1 when the box may be commanded. A box found over TCP/IP without an
// address is asked about instead: 2 when the set-up dialog was offered,
// else the alert's item; the command does not run.
short Check_IPAddress(PBOXinfo* box);

// Alert 603 with the communication error text; returns the item.
short Connection_Error_Alert();
// 1 when no other found box has the address (or it is 0); else the
// message and 0.
short Check_Same_Addr_In_PBOX(UInt32 addr, const PBOXinfo* box);
// Reads the address field; 1 valid and free, 0 refused (message shown).
short Check_Setup_Ip_Addr(DialogRef d, const PBOXinfo* box, UInt32* addr);
// Digits, "." and the editing keys reach the field; other characters beep.
Boolean Setup_IpAddr_Filter(DialogRef d, EventRecord* event, DialogItemIndex* item);

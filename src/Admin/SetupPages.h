// The pages of the device settings window and their sub-dialogs. Item
// numbers are absolute: a page's first own item is item 6.
#pragma once

#include "toolbox/dialogs.h"
#include "toolbox/events.h"

// The typed texts a page keeps across page changes of one window.
struct IP_ADDR_INFO {
  char ipAddr[256], smAddr[256], gwAddr[256];
};
struct NET_BEUI_INFO {
  char mnStr[256], wgStr[256], cmStr[256];
};
extern IP_ADDR_INFO gIpBackup;
extern NET_BEUI_INFO gBeuiBackup;
void Clear_Setup_Page_Backups();

// Shared drawing: a value shown read-only in grey in the item's place,
// framed 3 pixels outside it.
void Draw_ReadOnly_Value(DialogRef dialog, short item, const char* text);
// Runs a modal sub-dialog in front of all windows: its title from the
// [TITLE] key (none: the resource's), items 1 and 2 captioned OK and
// Cancel, item 3 (when a user item) the default button's outline, then
// load, and the loop: filter first, then Return and Enter answer item 1,
// Escape item 2; every item but Cancel goes to onItem; item 1 then
// collects, and 1 ends the loop (a refused OK keeps what it stored); item 2
// ends it. unload runs before the dialog goes. Returns 1 when left by OK.
short Run_Setup_Sub_Dialog(SInt16 id, const char* titleKey, void (*load)(DialogRef), short (*collect)(DialogRef),
                           ModalFilterProcPtr filter = nullptr, void (*onItem)(DialogRef, DialogItemIndex) = nullptr,
                           void (*unload)(DialogRef) = nullptr);
// What the pages' own sub-dialog filters share. The frame events: a press
// in the dialog's title bar drags it (and sets *redrawFlag), one in another
// window's title bar beeps; the dialog's update paints it, draws it with
// item 1 as default and calls redraw while *redrawFlag is set; other
// windows' updates go to the program. True when the event was taken.
Boolean Sub_Dialog_Frame_Event(DialogRef d, EventRecord* e, DialogItemIndex* item, Boolean* redrawFlag,
                               void (*redraw)(DialogRef));
// Return and Enter answer item 1, Escape item 2, each flashed.
Boolean Sub_Dialog_Button_Key(DialogRef d, const EventRecord* e, DialogItemIndex* item);
// The General page's wireless dialog.
short Open_Wireless_Setup_Dialog();

// General (150)
void Setup_General_Setup(DialogRef d);
Boolean Setup_General_Item_Select(DialogRef d, EventRecord* e, DialogItemIndex item);
void Setup_General_Load_Value(DialogRef d);
Boolean Setup_General_Get_Value(DialogRef d);
void Setup_General_Update_Value(DialogRef d);
// The printer name of the port the pop-up (item 18) shows, in item 16: Set
// loads the port chosen, Get stores the port shown (0 refused, with the
// validation alert), Change stores, then loads the port now chosen.
void Setup_General_Set_PortInfo(DialogRef d);
short Setup_General_Get_PortInfo(DialogRef d);
short Setup_General_Change_PortInfo(DialogRef d);
short Get_Value_General_Detail(DialogRef d);
extern char OldPassBuff[256], NewPassBuff[256], pNewPassBuff[256];
extern short OldPass, NewPass, pNewPass;

// TCP/IP (132)
Boolean Setup_TcpIp_Item_Select(DialogRef d, EventRecord* e, DialogItemIndex item);
void Setup_TcpIp_Load_Value(DialogRef d);
Boolean Setup_TcpIp_Get_Value(DialogRef d);
void Setup_TcpIp_Update_Value(DialogRef d);
// The banner box (item 18) of the port the pop-up (item 21) shows, as the
// General page's port routines; Get always gives 1.
void Setup_TcpIp_Set_PortInfo(DialogRef d);
short Setup_TcpIp_Get_PortInfo(DialogRef d);
short Setup_TcpIp_Change_PortInfo(DialogRef d);
short Get_Value_TcpIp_IPFilter_Detail(DialogRef d);

// NetWare (133)
Boolean Setup_NetWare_Item_Select(DialogRef d, EventRecord* e, DialogItemIndex item);
void Setup_NetWare_Load_Value(DialogRef d);
Boolean Setup_NetWare_Get_Value(DialogRef d);
void Setup_NetWare_Update_Value(DialogRef d);
// The queue name (item 19) of the port the pop-up (item 18) shows: Set
// loads the port chosen; Change stores the port shown (0 refused, the
// pop-up back on it), then loads the one now chosen.
void Setup_NetWare_Set_PortName(DialogRef d);
short Setup_NetWare_Change_PortName(DialogRef d);

// AppleTalk (134), NetBIOS (166), SNMP (165)
Boolean Setup_EtherTalk_Item_Select(DialogRef d, EventRecord* e, DialogItemIndex item);
void Setup_EtherTalk_Load_Value(DialogRef d);
Boolean Setup_EtherTalk_Get_Value(DialogRef d);
void Setup_ETalk_Update_Value(DialogRef d);
// The printer name (item 9) and type (item 15) of the port the pop-up
// (item 11) shows, as the General page's port routines.
void Setup_Etalk_Set_PortInfo(DialogRef d);
short Setup_Etalk_Get_PortInfo(DialogRef d);
short Setup_Etalk_Change_PortInfo(DialogRef d);
Boolean Setup_NetBEUI_Item_Select(DialogRef d, EventRecord* e, DialogItemIndex item);
void Setup_NetBEUI_Load_Value(DialogRef d);
Boolean Setup_NetBEUI_Get_Value(DialogRef d);
void Setup_NetBEUI_Update_Value(DialogRef d);
void Setup_Snmp_Setup(DialogRef d);
Boolean Setup_Snmp_Item_Select(DialogRef d, EventRecord* e, DialogItemIndex item);
void Setup_Snmp_Load_Value(DialogRef d);
Boolean Setup_Snmp_Get_Value(DialogRef d);
void Setup_Snmp_Update_Value(DialogRef d);

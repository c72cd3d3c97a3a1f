// The search-configuration dialog: the TCP/IP page (search over TCP/IP and
// the further broadcast addresses), the AppleTalk page (search over
// AppleTalk, every zone or one chosen zone) and the Timeout page (search
// interval, time-out, resends). OK checks and saves what changed; Cancel
// puts both records back as they were when the dialog opened.
#pragma once

#include <cstddef>

#include "common/AppGlobals.h"
#include "FanctionLib/ConfigDialog.h"

constexpr int kZoneNameMax = 32;          // entry 0 the count, then up to 31 names
constexpr std::size_t kZoneEntrySize = 64;
constexpr long kZoneBufferSize = 5000;
constexpr int kBroadcastListMax = 16;     // further addresses in the list

enum : SInt16 {
  kConfigDialogID = 500,
  kConfigPageTimeout = 501,
  kConfigPageTcp = 502,
  kConfigPageDdp = 503,
};

struct CONF_DLG_INFO : CONFIG_FRAME {
  short closeFlag;
  CLIST_DATA* broadList;
  CLIST_DATA* zoneList;
  short using_;  // 1 while the dialog is open
};

extern CONF_DLG_INFO configTbl;
extern SInt16 tabOldSelect;
extern SInt16 OldZSelect;
// Entry 0 the zone count as decimal text, entries 1.. the zone names.
extern char (*ConZoneNameSet)[kZoneEntrySize];

short Open_Configuration();
CONF_DLG_INFO* Get_Config_Table();
DialogRef Get_Open_Config_Dialog();
short Handle_Config_Dialog_Update(DialogRef dialog, EventRecord* event);
short Exit_Config_Dialog(DialogRef dialog, short isUpload);
void Close_Config_Dialog(DialogRef dialog);
// All characters digits (an empty text is 0), at most five of them, and
// min <= number <= max: 1; else 0.
short Str_To_Num(ConstStr255Param text, long* number, long max, long min);
// Reads the zone list into names (entry 0 the count as text, 1.. the names,
// at most 31 kept) through buffer (kZoneBufferSize bytes). The number of
// zones kept, 0 for none, -1 on an error (entry 0 then says which).
short DisplayZones(UInt8* buffer, char (*names)[kZoneEntrySize]);

// The pages' callbacks.
Boolean Config_TCP_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item);
void Setup_TCP_Load_Value(DialogRef dialog);
Boolean Setup_TCP_Get_Value(DialogRef dialog);
void Setup_TCP_Update(DialogRef dialog);
Boolean Config_DDP_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item);
void Setup_DDP_Load_Value(DialogRef dialog);
Boolean Setup_DDP_Get_Value(DialogRef dialog);
void Setup_DDP_Update(DialogRef dialog);
Boolean Config_Common_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item);
void Setup_Common_Load_Value(DialogRef dialog);
Boolean Setup_Common_Get_Value(DialogRef dialog);
void Setup_Common_Update(DialogRef dialog);

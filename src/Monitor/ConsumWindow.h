// The consumables window of a status window: the master, each drum's ink,
// each tray's paper and each disposal box as gauges, and the drums' sizes
// and ink names. At most one per status window; the polling refreshes it
// and a pop-down or a lost printer closes it.
#pragma once

#include <string>
#include <vector>

#include "Monitor/MonitorTypes.h"
#include "toolbox/dialogs.h"

enum : SInt16 { kConsumDialogID = 351, kConsumRowStep = 20 };

struct CONSUM_WND_INFO {
  DialogRef dlg = nullptr;        // null while closed
  DialogRef parentDlg = nullptr;  // the status window
  SInt16 sumCount = 0;            // papers + disposal boxes + drums + the master
  SInt16 fontID = 0;
  UInt8 fontFace = 0;
  SInt16 fontSize = 12;
  VEMOINFO newPInfo{};
  VEMOINFO PrinterInfo{};  // the state shown
  UInt8 using_ = 0;        // 1 while open
};

// One row of the window as it is drawn: its template items (icon, name,
// gauge, size; 0 where the row has none) moved down row x 20 pixels.
struct ConsumRow {
  DialogItemIndex iconItem, nameItem, gaugeItem, sizeItem;
  SInt16 row;
  SInt16 icon;  // 0 none
  std::string name;
  SInt16 gauge;      // PICT id
  bool unknownText;  // "UNKNOWN=" drawn in the gauge's place
  std::string size;  // "(A4)" of a paper row
};

// The gauge of a remaining level (master, ink, paper) or of a disposal
// box's fill: PICT 200-210 for levels 0-10, 211 for 11 (no reading) with
// the "UNKNOWN=" text. The master's level 15 is 211 without text. Any other
// level has no picture of its own and shows as 11 does.
void Consum_Gauge(int level, bool master, bool fill, SInt16* pict, bool* unknownText);
// The rows of the master/ink column, the paper trays and the disposal
// boxes for a state, with their texts from the monitor's ini files.
std::vector<ConsumRow> Consum_Rows(const VEMOINFO& info);
// The supply icon: 0 (cleared) below IcType 4, 488 when no supply flag is
// set and MainStsErr is not 5, else 486.
SInt16 SetConsumableIcon(const VEMOINFO& info);

// Opens the window for the status dialog with the decoded state; a second
// call while it is open does nothing. 1 opened, 0 not (already open, or
// the dialog's resources are missing).
short ConDlgProc(CONSUM_WND_INFO* rec, DialogRef statusDlg, const VEMOINFO* info, SInt16 ctrl);
// Takes the record for a status window: 0 when it is already in use.
short Get_Consum_Table(CONSUM_WND_INFO* rec, DialogRef statusDlg, const VEMOINFO* info);
// 1 when the new state differs from the one shown in the drums, disposal
// boxes, trays, master or their counts (the window is then redrawn), else 0.
short Refresh_Consum_Printer_Info(DialogRef dlg, const VEMOINFO* info);
short Refresh_Consum_Printer_Info(CONSUM_WND_INFO* rec, const VEMOINFO* info);
// Closes the window (nothing when closed); 1.
short Exit_Consum_Dialog(CONSUM_WND_INFO* rec);
// Draws every value of the window into its port.
void Load_Value_Balance_Setup(CONSUM_WND_INFO* rec, const VEMOINFO* info);

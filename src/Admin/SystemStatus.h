// The system status window of a print box.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "OT/PBoxTable.h"
#include "toolbox/dialogs.h"
#include "toolbox/lists.h"

constexpr int kSystemWindowMax = 8;
constexpr std::size_t kSystemStatusSize = 2048;

struct SYSTEM_WND_INFO {
  DialogRef dlg;
  ListHandle hList;
  // A copy of the box's entry (a search while the window is open cannot
  // make Review ask another box).
  PBOXinfo pbox;
  // The last reply; the text starts at byte 2 and ends at the first NUL.
  UInt8 portStatus[kSystemStatusSize];
  Boolean using_;
};
extern SYSTEM_WND_INFO SystemTbl[kSystemWindowMax];

// Opens the box's status window (or brings its open one to the front);
// 0 when none can be opened (eight open, or no address).
short Open_System_Window(PBOXinfo* box);
short Get_System_Open_Count();
void Update_System_Window_Info(SYSTEM_WND_INFO* s);
// The status list of the window in item 2, with its vertical scroll bar.
void Create_System_Message_List(SYSTEM_WND_INFO* s);
short Exit_System_Dialog(DialogRef d);
// The rows a reply gives: text from byte 2, cut at CR, LF or NUL, blank
// lines skipped, never past size.
void Split_System_Status(const UInt8* status, std::size_t size, std::vector<std::string>& lines);

// The administration program's spine: its globals, start-up steps, the
// Apple-event handlers, the event-loop pass and the framework hooks, the
// alerts with ini captions and a few small utilities of the program.
#pragma once

#include <cstddef>

#include "common/AppGlobals.h"
#include "common/AppWindows.h"
#include "common/IniText.h"
#include "toolbox/appleevents.h"
#include "toolbox/clock.h"
#include "toolbox/events.h"
#include "toolbox/quickdraw.h"

// The program's creator code; also the keyword of its launch event's text.
constexpr OSType kAdminCreator = 'VMxa';
constexpr OSType kMonitorCreator = 'VMxm';

constexpr std::size_t kLanguStrSize = 256;
constexpr std::size_t kSetupBufferSize = 16384;

// Resource ids the program's modules share.
enum : SInt16 {
  kAlertMessage = 601,   // OK only
  kAlertQuestion = 602,  // OK / Cancel, Yes / No
  kAlertCommError = 603,
  kStrNbpType = 132,     // 'STR#': item 1 the NBP type of the boxes
  kStrStatusWindow = 134,
  kStrFileNames = 136,   // 'STR#': 1 prefs, 2 mode, 3 transfer tool, 4 temporary prefs
};

extern char languStr[kLanguStrSize];
extern Boolean OpenMode;
extern Boolean All_Done;
extern Boolean Multifinder_Present;
extern UInt32 Status_Update_Tick;
extern SInt16 PboxTblMax;
extern EventRecord Event_Rec;
extern BitMap g_qdBitmap;
extern Cursor g_qdCursor;
extern Cursor g_qdWatch;
extern Pattern g_qdGrayPat, g_qdWhitePat, g_qdBlackPat;

// ---- Start-up and Apple events -----------------------------------------

// The toolbox, and the program's start-up state: the language file's name,
// no launching event handled yet (mode 1, no language text), not quitting.
short Initialize_App();
namespace admin {
// 1 when the system is 7.0 or later (a failing Gestalt counts as 0).
SInt16 isSystemVer();
}  // namespace admin
short Initialize_Variables();
void User_Globals();
void InitAEStuff();
OSErr AEOpenHandler(const AppleEvent* event, AppleEvent* reply, SRefCon ref);
OSErr AEJCIHandler(const AppleEvent* event, AppleEvent* reply, SRefCon ref);
OSErr AEQuitHandler(const AppleEvent* event, AppleEvent* reply, SRefCon ref);
// The handlers as InitAEStuff installed them (null before).
extern AEEventHandlerUPP g_aeOpenHandler, g_aeJCIOpenHandler, g_aeQuitHandler;
short Get_Active_Language();
void Handle_One_Event(EventRecord* event);
// The whole run (main calls it): start-up, the loop, shut-down.
int Run_Admin();

// ---- Hooks and dispatch ------------------------------------------------

namespace admin {
// This program's first dispatch stage (the main window's hover, cursor and
// tool-bar release ride on null and mouse-up events).
short Handle_Dialog_Event(EventRecord* event);
// The framework's dialog opener with the handlers in slot order, the
// resize slot filled too.
DialogRef Open_Usr_Dialog(SInt16 dialogID, ConstStr255Param title, UsrItemSelectProc itemSelect,
                          UsrDialogProc windowSelect, UsrDialogProc windowUpdate, UsrDialogProc windowActive,
                          UsrDialogProc windowClose, UsrKeyInputProc keyInput, UsrDialogProc windowResize);
}  // namespace admin

void Handle_Content(WindowRef window, EventRecord* event);
void Handle_Window_Close(WindowRef window, EventRecord* event);
short MovableDlg_Is_Open(WindowRef window);
// The first button answers Return and Enter; Escape always answers the
// cancelling button.
short Set_Alert_Dialog_Items(SInt16 id, short hideItem, ConstStr255Param t0, ConstStr255Param t1,
                             ConstStr255Param t2, ConstStr255Param t3);
short Set_Alert_Dialog_Items_YesNo(SInt16 id, short hideItem, ConstStr255Param t0, ConstStr255Param t1,
                                   ConstStr255Param t2, ConstStr255Param t3);
void Set_Watch_Cursor();
void Set_Arrow_Cursor();

// ---- Utilities -----------------------------------------------------------

// Narrows the static text item, a group's title on its frame's edge, to
// the text it holds (in the dialog port's font) and a few pixels, so that
// it clears the edge for its letters only; never widens it.
void Fit_Group_Title(DialogRef dialog, DialogItemIndex item);

short Allocate_Setup_Memory();
void Dispose_Setup_Memory();
UInt8 GetVemoplexType(char* type, const UInt8* machineType);
// The port list a box answers to "GET PORT_NAME": a count byte, then
// entries of `width` bytes, each a NUL-padded name. An entry named "system"
// is no printer port and is skipped wherever it stands. listSize bounds
// every read (the reply's length).
constexpr long kPortListMax = 320;
short GetPortMax(const UInt8* list, short width, long listSize = kPortListMax);
// Copies entry portNo (from 1; width bytes, terminated within nameSize) into
// name; returns how many entries before it are not "system".
short GetPortName(const UInt8* list, short width, short portNo, char* name, std::size_t nameSize,
                  long listSize = kPortListMax);
// Walks every entry, counting those not named "system", up to the first one
// named `name`; *portNo is that entry's number (the count when none
// matched). Returns the entries counted, the matching one included.
short GetPortNum(const UInt8* list, short width, const char* name, short* portNo, long listSize = kPortListMax);
// The entry number (from 1) of printer port `port` (from 1, the entries
// named "system" not counted); 0 when the list has no such port.
short GetPortEntry(const UInt8* list, short width, short port, long listSize = kPortListMax);

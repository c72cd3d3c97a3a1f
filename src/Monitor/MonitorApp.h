// The monitor program's frame: start-up, the Apple-event handlers, the
// loop, its three menus and the table that ties each status window to an
// item of the Window menu.
#pragma once

#include <cstddef>

#include "common/AppGlobals.h"
#include "toolbox/appleevents.h"
#include "toolbox/events.h"
#include "toolbox/windows.h"

constexpr OSType kMonitorCreator = 'VMxm';
constexpr std::size_t kLaunchBufferSize = 600;

// Control numbers of the eight status-window records.
enum : SInt16 { kFirstControl = 160, kLastControl = 167, kStatusWindowMax = 8 };

struct WINDOW_NO {
  SInt16 addWindow;
  char controlID[kStatusWindowMax];
};

extern char SoundFName[kAppFileNameSize];
extern Boolean Multifinder_Present;
extern UInt16 PboxTblMax;
extern EventRecord Event_Rec;
extern Boolean All_Done;
extern Boolean gGetJCEvent;
extern SInt32 gHandleTime;
extern SInt16 setFType, setFSize, setFFace, orgFSize;
extern WINDOW_NO windowTbl;
extern UInt8 NotInifile;

// ---- Start-up and loop ---------------------------------------------------

void Initialize_Variables();
void InitAEStuff();
void Get_Active_Language();
void Install_Menu();
void First_Get_Font_Data();
// The main font (setFType, setFFace, setFSize) on the current port.
void Use_Main_Font();
void Handle_One_Event(EventRecord* event);
// The five-pass rule of one loop pass (systems that install no
// open-application handler).
void Five_Pass_Rule();
short All_Done_Proc();
// main: the whole run.
int Run_Monitor();

OSErr AEOpenHandler(const AppleEvent*, AppleEvent*, SRefCon);
OSErr AEOpenAliasHandler(const AppleEvent*, AppleEvent*, SRefCon);
OSErr AEOpenDataHandler(const AppleEvent*, AppleEvent*, SRefCon);
OSErr AEOpenDocHandler(const AppleEvent*, AppleEvent*, SRefCon);
OSErr AEQuitHandler(const AppleEvent*, AppleEvent*, SRefCon);
// Opens the printers of "Alias Data" (one empty window when none is listed
// and openEmpty is 1); the number opened.
short GetAliasFiles(short openEmpty);
// What a launch event's text asks for (at most 600 bytes are used).
void Open_From_Launch_Text(const UInt8* text, std::size_t size);

// ---- Window-menu table --------------------------------------------------

short Append_Window_Tbl(SInt16 ctrl, short item);
short Delete_Window_Tbl(SInt16 ctrl);
SInt16 Get_Window_Control(short n);
short Get_Menu_Namber(SInt16 ctrl);
short Append_Window_Menu(WindowRef window, short check);
void Dispose_Window_Menu(short pos);
void Set_Menu_Item_String(WindowRef window, short pos);
short Get_Check_Window_Menu();
void Activate_Usr_Window(short n);

// ---- Alerts ---------------------------------------------------------------

short Set_Alert_Dialog_Items(SInt16 dialogId, short buttons, ConstStr255Param text, ConstStr255Param p1,
                             ConstStr255Param p2, ConstStr255Param p3);

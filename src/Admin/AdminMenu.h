// The menu bar and the tool bar's commands, as the language ini describes
// them: five menus of up to 16 items, each naming a command of the program
// by keyword or another program to start.
#pragma once

#include <string>

#include "OT/PBoxTable.h"
#include "toolbox/files.h"
#include "toolbox/types.h"

namespace admin {

constexpr int kMenuCount = 5;
constexpr int kMenuItems = 16;

struct MENUINFO {
  char cSysMen[64];    // item 0: the menu title, length-prefixed
  char cPopMen[64];    // the item's section, in square brackets
  char cExec[256];     // a command keyword, or "<file>;EXE"
  char cOption[64];
  SInt32 iIcon;
  char cType[64];      // "SELECT", "CHECK" or other
  char cTotalMen[64];  // the title, length-prefixed; "---" a divider
  char cShortCut[2];
};

// Tables 0-3 are menus 129-132, table 4 the application menu (128).
extern MENUINFO MeInfo[kMenuCount][kMenuItems];
extern short NotInifile;
extern Boolean gHelpEnable;

// The command numbers of the keywords.
enum : short {
  kCmdAbout = 1,
  kCmdSearch = 2,
  kCmdExit = 3,
  kCmdPrinterStatus = 4,
  kCmdSystemStatus = 5,
  kCmdSetup = 6,
  kCmdReset = 7,
  kCmdPrint = 8,
  kCmdIpSetup = 9,
  kCmdTcp = 10,
  kCmdDdp = 11,
  kCmdEnvironment = 12,
  kCmdHttp = 13,
  kCmdHelp = 14,
};

void CommandMenuEx(short menu, short item, const FSSpec* ini);
void Key_Word_Initalize(const char* list, short menu);
void Set_Up_Menu_Bar();
// The table entry of an item of the menu bar; null for none.
MENUINFO* Find_Menu_Item(SInt16 menuID, short item);
short Click_Menu_Bar_Item(SInt16 menuID, short item);
short Execution_Fanction(const MENUINFO* info);
short Execution_Internal_Fanction(short command);
short Execution_External_Fanction(const MENUINFO* info);
short Check_External_Function(const MENUINFO* info);
// The command number of a command text (keywords matched at its start),
// -1 for none.
short Command_Of(const char* exec);
short Check_Menu_Type(SInt16 menuID, Boolean allowed);
void Check_Menu_Item();
short Menu_Check_Reset_Command();
short Check_Reset(const PBOXinfo* box, ConstStr255Param question);
OSErr Run_External_Application(const FSSpec* fss);
OSErr Run_Status_Monitor(const FSSpec* fss, PBOXinfo* box);
short Menu_Server_Setup_Select();
short Menu_Server_Reset_Select();
short Menu_Test_Print_Select();
short Menu_Browser_Starting_Select();
short Menu_System_Status_Select();
short Not_Fanction();
short All_Done_Proc();
// The web-page document text for a box address.
std::string Home_Page_Text(UInt32 ipAddr);

}  // namespace admin

short Install_Menu();
// The framework's hooks, as this program's menus need them.
void Handle_Menu_Choice(long menuChoice);
void Setup_Menu_Status();
// A menu's title cleaned of its "&" marks.
void FileMenuSetup(const char* title, char* out, std::size_t outSize);
// Flip the check mark of an item (of the help-tags item); the new state.
Boolean Menu_Select_Check(short menuID, short item);
Boolean Menu_Help_Check();

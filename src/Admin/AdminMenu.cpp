// Menus and commands from the language ini.
#include "Admin/AdminMenu.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "506Q_Lib/AppLocation.h"
#include "506Q_Lib/Bridge.h"
#include "Admin/AdminApp.h"
#include "Admin/AdminState.h"
#include "Admin/DeviceCommand.h"
#include "Admin/IpSetup.h"
#include "Admin/MainWindow.h"
#include "Admin/SearchConfig.h"
#include "Admin/SearchDialog.h"
#include "Admin/SetupWindow.h"
#include "Admin/SystemStatus.h"
#include "common/AppMenus.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "common/LaunchEvents.h"
#include "common/PrefFile.h"
#include "common/StrConv.h"
#include "toolbox/appleevents.h"
#include "toolbox/menus.h"
#include "toolbox/processes.h"
#include "toolbox/resources.h"
#include "toolbox/textencoding.h"

namespace admin {

MENUINFO MeInfo[kMenuCount][kMenuItems];
short NotInifile = 0;
Boolean gHelpEnable = 0;

namespace {

constexpr const char* kSections[kMenuCount] = {"[FILE_MENU]", "[STAT_MENU]", "[SETUP_MENU]", "[OPTION_MENU]",
                                               "[HELP_MENU]"};
constexpr SInt16 kMenuIDs[kMenuCount] = {129, 130, 131, 132, 128};

struct Keyword {
  const char* word;
  short command;
};
constexpr Keyword menuComList[] = {
    {"SEARCH", kCmdSearch}, {"EXIT", kCmdExit},    {"PSTAT", kCmdPrinterStatus}, {"SSTAT", kCmdSystemStatus},
    {"JCSETUP", kCmdSetup}, {"RESET", kCmdReset},  {"PRINT", kCmdPrint},         {"IPSETUP", kCmdIpSetup},
    {"TCP", kCmdTcp},       {"DDP", kCmdDdp},      {"ENV", kCmdEnvironment},     {"HTTP", kCmdHttp},
    {"ABOUT", kCmdAbout},   {"APPHELP", kCmdHelp},
};

int table_of(SInt16 menuID) {
  for (int m = 0; m < kMenuCount; ++m)
    if (kMenuIDs[m] == menuID) return m;
  return -1;
}

void set_pstring(char* field, std::size_t size, const char* text) {
  std::size_t n = std::strlen(text);
  if (n > size - 1) n = size - 1;
  if (n > 255) n = 255;
  n = tb::CharCutLength(std::string_view(text), n);
  field[0] = static_cast<char>(n);
  std::memcpy(field + 1, text, n);
}

void copy_cstring(char* field, std::size_t size, const char* text) {
  std::size_t n = tb::CharCutLength(std::string_view(text), size - 1);
  std::memcpy(field, text, n);
  field[n] = 0;
}

// The value of key in the item's section ("" when missing); found tells
// whether the key is there.
bool read_value(const FSSpec* ini, const char* section, const char* key, char* out, std::size_t size) {
  char line[kIniLineMax + 1];
  out[0] = 0;
  if (GetFileData(section, key, line, sizeof line, ini) <= 0) return false;
  copy_cstring(out, size, line + std::strlen(key));
  return true;
}

// The language file: a name or partial path from the program's own
// folder, or a full POSIX path.
bool ini_spec(FSSpec* fss) {
  if (IniFileName[0] == '/') return tb::PathToSpec(IniFileName, fss) == noErr;
  FSSpec app;
  if (GetAppLocation(&app) != noErr) return false;
  Str255 name;
  std::size_t n = std::strlen(IniFileName);
  if (n > 255) return false;
  name[0] = static_cast<UInt8>(n);
  std::memcpy(name + 1, IniFileName, n);
  OSErr err = FSMakeFSSpec(app.vRefNum, app.parID, name, fss);
  return err == noErr;
}

// The program file an external item names (the text before ";"), as a
// name or partial path from the program's own folder.
bool external_spec(const MENUINFO* info, FSSpec* fss) {
  const char* semi = std::strchr(info->cExec, ';');
  if (!semi) return false;
  std::size_t n = static_cast<std::size_t>(semi - info->cExec);
  if (n == 0 || n > 255) return false;
  FSSpec app;
  if (GetAppLocation(&app) != noErr) return false;
  Str255 name;
  name[0] = static_cast<UInt8>(n);
  std::memcpy(name + 1, info->cExec, n);
  return FSMakeFSSpec(app.vRefNum, app.parID, name, fss) == noErr;
}

bool is_external(const MENUINFO* info) { return std::strstr(info->cExec, ";EXE") != nullptr; }

// The creator code of a program file: its Finder information, else the
// bundle's PkgInfo.
OSType creator_of(const FSSpec* fss) {
  FInfo info{};
  if (FSpGetFInfo(fss, &info) == noErr && info.fdCreator != 0 && info.fdCreator != 0x3F3F3F3Fu) return info.fdCreator;
  std::string path;
  if (tb::SpecToPath(*fss, path) != noErr) return 0;
  return tb::CreatorOfProgram(path);
}

OSErr send_launch(const FSSpec* fss, const void* data, Size len) {
  const OSType creator = creator_of(fss);
  ProcessSerialNumber psn{};
  OSErr err = SendAppliCommand(fss, data, len, creator, kSuiteEventClass, kSuiteLaunchEventID, typeChar, creator,
                               &psn);
  if (err == -1) err = SendAppliData(data, len, creator, kSuiteEventClass, kSuiteLaunchEventID, typeChar, creator);
  return err;
}

bool box_reachable(PBOXinfo* box) {
  if (box->protocol_Type_Num != PBOX_PROTO_TCPIP) return true;
  return Check_IPAddress(box) == 1;
}

short confirm_and_exec(const char* key, const char* command) {
  PBOXinfo* box = Get_PBOX_Select_Data();
  if (!box) return 0;
  if (!box_reachable(box)) return 0;
  Str255 text;
  Get_Ini_Text(text, "[STATIC]", key, 14);
  Str255 empty = {0};
  if (Set_Alert_Dialog_Items(kAlertQuestion, 0, text, empty, empty, empty) == 1) {
    Set_Watch_Cursor();
    OSStatus r = ExecCmdToPBOX(box, command);
    Set_Arrow_Cursor();
    if (r != 0) {
      Str255 commu;
      Get_Ini_Text(commu, "[STATIC]", "COMMU=", 15);
      Set_Alert_Dialog_Items(kAlertCommError, 2, commu, empty, empty, empty);
    }
  }
  return 1;
}

}  // namespace

short Command_Of(const char* exec) {
  for (const Keyword& k : menuComList)
    if (std::strncmp(exec, k.word, std::strlen(k.word)) == 0) return k.command;
  return -1;
}

void Key_Word_Initalize(const char* list, short menu) {
  if (!list || menu < 0 || menu >= kMenuCount) return;
  const char* p = list;
  for (int item = 0; item < kMenuItems && *p; ++item) {
    const char* comma = std::strchr(p, ',');
    std::size_t n = comma ? static_cast<std::size_t>(comma - p) : std::strlen(p);
    while (n && (p[n - 1] == ' ' || p[n - 1] == '\r' || p[n - 1] == '\n')) --n;
    while (n && *p == ' ') ++p, --n;
    if (n + 3 > sizeof MeInfo[menu][item].cPopMen) n = sizeof MeInfo[menu][item].cPopMen - 3;
    char* out = MeInfo[menu][item].cPopMen;
    out[0] = '[';
    std::memcpy(out + 1, p, n);
    out[n + 1] = ']';
    out[n + 2] = 0;
    if (!comma) break;
    p = comma + 1;
  }
}

void CommandMenuEx(short menu, short item, const FSSpec* ini) {
  MENUINFO& m = MeInfo[menu][item];
  if (std::strstr(m.cPopMen, "---")) {
    set_pstring(m.cTotalMen, sizeof m.cTotalMen, "---");
    return;
  }
  char value[256];
  char clean[256];
  if (read_value(ini, m.cPopMen, "MENU_STR=", value, sizeof value)) {
    DeleteAnd(clean, value);
    set_pstring(m.cTotalMen, sizeof m.cTotalMen, clean);
  }
  if (read_value(ini, m.cPopMen, "EXEC=", value, sizeof value)) {
    DeleteAnd(clean, value);
    copy_cstring(m.cExec, sizeof m.cExec, clean);
  }
  if (read_value(ini, m.cPopMen, "OPTION=", value, sizeof value)) copy_cstring(m.cOption, sizeof m.cOption, value);
  if (read_value(ini, m.cPopMen, "ICON=", value, sizeof value)) m.iIcon = std::atoi(value);
  if (read_value(ini, m.cPopMen, "TYPE=", value, sizeof value)) copy_cstring(m.cType, sizeof m.cType, value);
  if (read_value(ini, m.cPopMen, "SHORT=", value, sizeof value)) copy_cstring(m.cShortCut, sizeof m.cShortCut, value);
}

void Set_Up_Menu_Bar() {
  if (NotInifile == 1) {
    for (int order = 0; order < kMenuCount; ++order) {
      // The application menu first, then 129-132.
      const int m = order == 0 ? 4 : order - 1;
      Str255 title;
      if (m == 4) {
        title[0] = 1;
        title[1] = 0x14;
      } else {
        std::memcpy(title, MeInfo[m][0].cSysMen, static_cast<UInt8>(MeInfo[m][0].cSysMen[0]) + 1);
      }
      MenuRef menu = NewMenu(kMenuIDs[m], title);
      if (!menu) continue;
      for (int i = 0; i < kMenuItems && MeInfo[m][i].cTotalMen[0]; ++i) {
        const MENUINFO& info = MeInfo[m][i];
        Str255 text;
        std::memcpy(text, info.cTotalMen, static_cast<UInt8>(info.cTotalMen[0]) + 1);
        if (std::memchr(text + 1, '/', text[0])) {
          // Inserted without its slashes, then given its full text, so the
          // slash shows and is not taken as a command-key mark.
          char raw[256], bare[256];
          std::memcpy(raw, text + 1, text[0]);
          raw[text[0]] = 0;
          DeleteSlh(bare, raw);
          Str255 b;
          b[0] = static_cast<UInt8>(std::strlen(bare));
          std::memcpy(b + 1, bare, b[0]);
          AppendMenu(menu, b);
          SetMenuItemText(menu, static_cast<short>(i + 1), text);
        } else {
          AppendMenu(menu, text);
        }
        if (info.cShortCut[0]) SetItemCmd(menu, static_cast<short>(i + 1), info.cShortCut[0]);
        EnableMenuItem(menu, static_cast<MenuItemIndex>(i + 1));
      }
      InsertMenu(menu, 0);
    }
  } else {
    for (SInt16 id = 128; id <= 132; ++id)
      if (MenuRef menu = GetMenu(id)) InsertMenu(menu, 0);
  }
}

MENUINFO* Find_Menu_Item(SInt16 menuID, short item) {
  const int m = table_of(menuID);
  if (m < 0 || item < 1 || item > kMenuItems) return nullptr;
  MENUINFO* info = &MeInfo[m][item - 1];
  return info->cPopMen[0] ? info : nullptr;
}

short Click_Menu_Bar_Item(SInt16 menuID, short item) {
  // The entry is found by its place in the bar, never by a title that a
  // longer title might begin with.
  MENUINFO* info = Find_Menu_Item(menuID, item);
  if (!info) return 0;
  return Execution_Fanction(info);
}

short Execution_Fanction(const MENUINFO* info) {
  if (!info) return 0;
  if (is_external(info)) return Execution_External_Fanction(info);
  return Execution_Internal_Fanction(Command_Of(info->cExec));
}

short Execution_Internal_Fanction(short command) {
  Str255 empty = {0};
  short r = 0;
  switch (command) {
    case kCmdAbout: Open_About_Dialog(); break;
    case kCmdSearch: Search_Again_PBOX(); break;
    case kCmdExit: r = All_Done_Proc(); break;
    case kCmdPrinterStatus: {
      Str255 text;
      set_pstring(reinterpret_cast<char*>(text), sizeof text, "Not Command");
      Set_Alert_Dialog_Items(kAlertQuestion, 2, text, empty, empty, empty);
      break;
    }
    case kCmdSystemStatus: r = Menu_System_Status_Select(); break;
    case kCmdSetup: r = Menu_Server_Setup_Select(); break;
    case kCmdReset: r = Menu_Server_Reset_Select(); break;
    case kCmdPrint: r = Menu_Test_Print_Select(); break;
    case kCmdIpSetup: r = Set_Ip_Address(Get_PBOX_Select_Data()); break;
    case kCmdTcp:
      ConfigData.Protocol_1 = 1;
      Set_Configuration();
      break;
    case kCmdDdp:
      ConfigData.Protocol_2 = 1;
      Set_Configuration();
      break;
    case kCmdEnvironment: r = Open_Configuration(); break;
    case kCmdHttp: r = Menu_Browser_Starting_Select(); break;
    case kCmdHelp:
      gHelpEnable = Menu_Help_Check();
      HMSetHelpTagsDisplayed(gHelpEnable);
      break;
    default: return 0;
  }
  Check_Menu_Item();
  return r;
}

short Check_External_Function(const MENUINFO* info) {
  if (!info || !is_external(info)) return 1;
  FSSpec fss;
  return external_spec(info, &fss) ? 1 : 0;
}

short Execution_External_Fanction(const MENUINFO* info) {
  FSSpec fss;
  if (!external_spec(info, &fss)) return 0;
  PBOXinfo* box = Get_PBOX_Select_Data();
  if (box && std::strcmp(info->cType, "SELECT") == 0) return Run_Status_Monitor(&fss, box);
  return Run_External_Application(&fss);
}

OSErr Run_External_Application(const FSSpec* fss) {
  UInt8 text[256] = {0};
  return send_launch(fss, text, sizeof text);
}

OSErr Run_Status_Monitor(const FSSpec* fss, PBOXinfo* box) {
  if (!fss || !box) return paramErr;
  if (box->protocol_Type_Num == PBOX_PROTO_TCPIP && box->pbi_ip_addr == 0) {
    short r = Check_IPAddress(box);
    if (r != 1) return r;
  }
  box->pbi_socket = Command_Port();
  UInt8 record[kLaunchRecordSize];
  PackLaunchRecord(*box, languStr[0] ? languStr : "*", std::span<UInt8, kLaunchRecordSize>(record, kLaunchRecordSize));
  return send_launch(fss, record, sizeof record);
}

short Check_Menu_Type(SInt16 menuID, Boolean allowed) {
  MenuRef menu = GetMenuHandle(menuID);
  if (!menu) return -1;
  short kind = 0;
  const short n = CountMenuItems(menu);
  for (short item = 1; item <= n; ++item) {
    const MENUINFO* info = Find_Menu_Item(menuID, item);
    if (!info) continue;
    bool enable;
    if (std::strcmp(info->cType, "SELECT") == 0) {
      enable = allowed && Check_External_Function(info);
      kind = 1;
    } else if (std::strcmp(info->cType, "CHECK") == 0) {
      kind = 2;
      continue;
    } else {
      enable = Check_External_Function(info) != 0;
      kind = 3;
    }
    if (static_cast<UInt8>(info->cTotalMen[0]) == 3 && std::memcmp(info->cTotalMen + 1, "---", 3) == 0) continue;
    if (enable)
      EnableMenuItem(menu, static_cast<MenuItemIndex>(item));
    else
      DisableMenuItem(menu, static_cast<MenuItemIndex>(item));
  }
  return kind;
}

void Check_Menu_Item() {
  MenuRef menu = GetMenuHandle(132);
  if (!menu) return;
  if (std::strcmp(MeInfo[3][0].cType, "CHECK") != 0) return;
  CheckMenuItem(menu, 1, ConfigData.Protocol_1);
  CheckMenuItem(menu, 2, ConfigData.Protocol_2);
}

short Menu_Check_Reset_Command() {
  PBOXinfo* box = Get_PBOX_Select_Data();
  if (!box) return 0;
  char type[8];
  const UInt8 cap = GetVemoplexType(type, box->pbi_machine_type);
  return (cap & 0x10) && std::strcmp(type, "QSV-A") != 0 ? 1 : 0;
}

short Check_Reset(const PBOXinfo* box, ConstStr255Param question) {
  Str255 reset;
  Get_Ini_Text(reset, "[STATIC]", "RESET=", 11);
  Str255 empty = {0};
  short item = Set_Alert_Dialog_Items_YesNo(kAlertQuestion, 0, question ? question : empty, reset, empty, empty);
  if (item == 1 && box) {
    Set_Watch_Cursor();
    ExecCmdToPBOX(box, "EXEC REBOOT SYSTEM:");
    Set_Arrow_Cursor();
  }
  return item;
}

short Menu_Server_Setup_Select() {
  PBOXinfo* box = Get_PBOX_Select_Data();
  if (!box || !box_reachable(box)) return 0;
  return Open_Setup_Window(box);
}

short Menu_Server_Reset_Select() { return confirm_and_exec("RESET=", "EXEC REBOOT SYSTEM:"); }
short Menu_Test_Print_Select() { return confirm_and_exec("PRINT=", "EXEC PRINT DIAGNOSTIC:"); }

short Menu_System_Status_Select() {
  PBOXinfo* box = Get_PBOX_Select_Data();
  if (!box || !box_reachable(box)) return 0;
  return Open_System_Window(box);
}

short Not_Fanction() { return 0; }

std::string Home_Page_Text(UInt32 ipAddr) {
  char ip[20];
  iptoa(ipAddr, ip);
  std::string text = "<HTML>\r<HEAD>\r<META HTTP-EQUIV=\"refresh\" CONTENT=\"0;URL=http://";
  text += ip;
  text += "/index.htm\">\r</HEAD>\r</HTML>\r";
  return text;
}

short Menu_Browser_Starting_Select() {
  Set_Arrow_Cursor();
  PBOXinfo* box = Get_PBOX_Select_Data();
  if (!box) return 0;
  FSSpec app, fss;
  if (GetAppLocation(&app) != noErr) return 0;
  // Beside the bundle, with the broadcast list: a document inside the
  // bundle's program folder would be taken for the program itself when the
  // desktop opens it.
  static const UInt8 kName[] = "\x14::::Server Home Page";
  OSErr err = FSMakeFSSpec(app.vRefNum, app.parID, kName, &fss);
  if (err != noErr && err != fnfErr) return 0;
  err = FSpCreate(&fss, 'MSIE', 'TEXT', smSystemScript);
  if (err == dupFNErr) {
    FSpDelete(&fss);
    err = FSpCreate(&fss, 'MSIE', 'TEXT', smSystemScript);
  }
  if (err != noErr) return 0;
  const std::string text = Home_Page_Text(box->pbi_ip_addr);
  SInt16 ref;
  if (FSpOpenDF(&fss, fsWrPerm, &ref) != noErr) return 0;
  SInt32 count = static_cast<SInt32>(text.size());
  FSWrite(ref, &count, text.data());
  FSClose(ref);
  SendOpenDoc(&fss);
  return 0;
}

short All_Done_Proc() {
  Str255 text;
  Get_Ini_Text(text, "[STATIC]", "QUIT=", 0, "Are you sure you want to exit?");
  if (text[0] > 254) text[0] = 254;
  Str255 empty = {0};
  short item = Set_Alert_Dialog_Items(kAlertQuestion, 0, text, empty, empty, empty);
  if (item != 1) return item;
  // Every window of the framework's table, front first.
  while (Win_Que_Base) {
    auto* entry = static_cast<USR_WINDOW_QUEUE*>(Win_Que_Base->q_body);
    WindowRef window = entry ? entry->wndPtr : nullptr;
    if (!window) break;
    if (Ptr_Is_Dialog(window))
      Close_Usr_Dialog(GetDialogFromWindow(window));
    else
      Close_Usr_Window(window);
  }
  All_Done = 1;
  return 1;
}

}  // namespace admin

using namespace admin;

// The menu's title as the language file gives it (already without its key),
// cleaned of its "&" marks.
void FileMenuSetup(const char* title, char* out, std::size_t outSize) { DeleteAnd(out, title, outSize); }

Boolean Menu_Select_Check(short menuID, short item) {
  MenuRef menu = GetMenuHandle(menuID);
  if (!menu || item < 1) return 0;
  CharParameter mark = 0;
  GetItemMark(menu, item, &mark);
  CheckMenuItem(menu, item, mark == 0);
  return mark == 0;
}

// The help-tags item of the application menu carries the check mark.
Boolean Menu_Help_Check() {
  short item = 0;
  for (int i = 0; i < kMenuItems; ++i)
    if (Command_Of(MeInfo[4][i].cExec) == kCmdHelp) item = static_cast<short>(i + 1);
  return item ? Menu_Select_Check(128, item) : 0;
}

short Install_Menu() {
  std::memset(MeInfo, 0, sizeof MeInfo);
  FSSpec ini;
  const bool haveIni = ini_spec(&ini);
  for (int m = 0; m < kMenuCount; ++m) {
    char title[64] = "", list[512] = "";
    if (haveIni) read_value(&ini, kSections[m], "MENU_STR=", title, sizeof title);
    if (haveIni && read_value(&ini, kSections[m], "SUB_MENU=", list, sizeof list)) {
      char clean[64];
      FileMenuSetup(title, clean, sizeof clean);
      set_pstring(MeInfo[m][0].cSysMen, sizeof MeInfo[m][0].cSysMen, clean);
      Key_Word_Initalize(list, static_cast<short>(m));
      NotInifile = 1;
    } else {
      NotInifile = 0;
    }
  }
  if (NotInifile == 1)
    for (int m = 0; m < kMenuCount; ++m)
      for (int i = 0; i < kMenuItems && MeInfo[m][i].cPopMen[0]; ++i)
        CommandMenuEx(static_cast<short>(m), static_cast<short>(i), &ini);
  Set_Up_Menu_Bar();
  Check_Menu_Item();
  DrawMenuBar();
  return 1;
}

void Handle_Menu_Choice(long menuChoice) {
  if (menuChoice == 0) return;
  const SInt16 menuID = static_cast<SInt16>(menuChoice >> 16);
  const short item = static_cast<short>(menuChoice & 0xFFFF);
  HiliteMenu(menuID);
  if (menuID == 128 && item >= 3)
    Open_Desk_Acc(nullptr);
  else
    Click_Menu_Bar_Item(menuID, item);
  HiliteMenu(0);
}

void Setup_Menu_Status() {
  const bool setupOpen = Get_Setup_Open() != 0;
  for (SInt16 id = 129; id <= 132; ++id) {
    if (MenuRef menu = GetMenuHandle(id)) {
      if (setupOpen)
        DisableMenuItem(menu, 0);
      else
        EnableMenuItem(menu, 0);
    }
  }
  const Boolean allowed = Get_PBOX_Select_Count() == 1 && !Get_System_Open() && !setupOpen;
  for (SInt16 id = 129; id <= 132; ++id) Check_Menu_Type(id, allowed);
  if (MenuRef setup = GetMenuHandle(131)) {
    if (Menu_Check_Reset_Command())
      EnableMenuItem(setup, 4);
    else
      DisableMenuItem(setup, 4);
  }
  Check_Menu_Item();
  DrawMenuBar();
}

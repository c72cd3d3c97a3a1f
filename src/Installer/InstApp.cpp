// The installer's start-up, event loop, Apple events, alerts and menus.
// The wizard opens on the first opening event: the system's open event, or
// the disc menu's launch event whose text may name the language.
#include "Installer/InstApp.h"

#include <fcntl.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "506Q_Lib/Bridge.h"
#include "common/AppGlobals.h"
#include "common/IniFile.h"
#include "Installer/InstLibrary.h"
#include "Installer/InstWindows.h"
#include "Installer/WizardPages.h"
#include "toolbox/appleevents.h"
#include "toolbox/files.h"
#include "toolbox/fonts.h"
#include "toolbox/gestalt.h"
#include "toolbox/memory.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

Boolean All_Done = 0;
char LanguFileName[128] = "";
Boolean nonSelectLang = 0;
Boolean copyStart = 0;
INST_DLG_INFO instTbl;
ALL_INST_INFO instData;
SInt16 Appl_Rsrc_Fork_No = 0;
// The per-language message file's name, as the shared font and text services
// know the program's language file.
char IniFileName[kAppFileNameSize] = "MESSAGE.INI";
UInt8 Multifinder_Present = 0;

namespace {

constexpr OSType kInstallerCreator = 'VMxi';
constexpr UInt32 kSleepTicks = 5;
constexpr SInt16 kMenuBarID = 128;
constexpr SInt16 kAppleMenuID = 128;
constexpr SInt16 kFileMenuID = 129;

// The tables the wizard claims while it is open.
std::unique_ptr<LANG_DATA[]> gLangData;
std::unique_ptr<TOOL_DATA[]> gToolData;
CursHandle gWatchCursor = nullptr;

std::string exeFolder() {
  std::string path = tb::ApplicationPath();
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

void pset(Str255 out, std::string_view text) { pstr::set(out, 256, tb::CharPrefix(text, 255)); }

std::string iniText(const char* file, const char* section, const char* key) {
  char value[kIniLineMax + 1] = "";
  Load_File_To_CstringEx(section, key, value, sizeof value, file);
  return value;
}

// The alert now in the modal loop: 604 to 607 take only Return and Enter.
SInt16 gAlertID = 0;

Boolean alertFilter(DialogRef dialog, EventRecord* event, DialogItemIndex* item) {
  if (event->what == updateEvt && reinterpret_cast<WindowRef>(event->message) != GetDialogWindow(dialog)) {
    // The wizard behind the alert is redrawn by its own handler.
    inst::Update_Window(event);
    return false;
  }
  if (event->what != keyDown && event->what != autoKey) return false;
  const int code = (event->message & keyCodeMask) >> 8;
  DialogItemIndex hit = 0;
  if (code == 36 || code == 76) {
    hit = 1;
  } else if (code == 53 && !(gAlertID >= 604 && gAlertID <= 607)) {
    DialogItemType type;
    Handle h;
    Rect r;
    GetDialogItem(dialog, 2, &type, &h, &r);
    // Escape answers Cancel only where the alert shows it.
    if (r.left < 8192) hit = 2;
  }
  if (!hit) return false;
  // The key shows which button it pressed, as a click would.
  Flash_Button(dialog, hit);
  *item = hit;
  return true;
}

OSErr AEOpenHandler(const AppleEvent*, AppleEvent*, SRefCon) {
  if (!instTbl.using_) Open_Main_Window(nullptr);
  return noErr;
}

OSErr AEJCIHandler(const AppleEvent* event, AppleEvent*, SRefCon) {
  AEDescList list;
  AEInitializeDesc(&list);
  OSErr result = errAEEventNotHandled;
  if (AEGetParamDesc(event, kInstallerCreator, typeAEList, &list) == noErr) {
    AEDesc item;
    AEInitializeDesc(&item);
    AEKeyword keyword;
    if (AEGetNthDesc(&list, 1, typeChar, &keyword, &item) == noErr) {
      unsigned char text[256] = {};
      Size n = AEGetDescDataSize(&item);
      if (n > Size(sizeof text)) n = sizeof text;
      if (n > 0) AEGetDescData(&item, text, n);
      // The length byte never counts past what came.
      if (n == 0 || text[0] > n - 1) text[0] = UInt8(n > 0 ? n - 1 : 0);
      if (!instTbl.using_ && Open_Main_Window(text)) result = noErr;
    }
    AEDisposeDesc(&item);
  }
  AEDisposeDesc(&list);
  return result;
}

OSErr AEQuitHandler(const AppleEvent*, AppleEvent*, SRefCon) {
  All_Done = 1;
  return noErr;
}

void InitAEStuff() {
  SInt32 response = 0;
  if (Gestalt('evnt', &response) != noErr) return;
  AEInstallEventHandler(kCoreEventClass, kAEOpenApplication, NewAEEventHandlerUPP(AEOpenHandler), 0, false);
  AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments, NewAEEventHandlerUPP(AEOpenHandler), 0, false);
  AEInstallEventHandler('JCev', 'apop', NewAEEventHandlerUPP(AEJCIHandler), 0, false);
  AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, NewAEEventHandlerUPP(AEQuitHandler), 0, false);
}

void Install_Menu() {
  if (MenuBarHandle bar = GetNewMBar(kMenuBarID)) {
    SetMenuBar(bar);
    DisposeHandle(reinterpret_cast<Handle>(bar));
  }
  if (MenuRef apple = GetMenuHandle(kAppleMenuID)) AppendResMenu(apple, 'DRVR');
  DrawMenuBar();
}

void Initialize_FileName() {
  LanguFileName[0] = 0;
  // Only a file that can be read counts: a folder, a FIFO or a device of
  // that name is no language file.
  tb::UniqueFd file;
  if (tb::OpenLocalFile(exeFolder() + "/Language.INI", O_RDONLY, file) == noErr)
    std::strcpy(LanguFileName, "Language.INI");
}

void User_Globals() {
  InitCursor();
  gWatchCursor = GetCursor(watchCursor);
}

void Initialize_Variables() {
  // Every system the toolbox stands in for has the event call with a sleep.
  Multifinder_Present = 1;
  Appl_Rsrc_Fork_No = CurResFile();
}

void Handle_One_Event(EventRecord* event) {
  if (Multifinder_Present) {
    // While files remain to copy the loop does not sleep: each pass copies one.
    WaitNextEvent(everyEvent, event, copyStart ? 0 : kSleepTicks, nullptr);
  } else {
    SystemTask();
    GetNextEvent(everyEvent, event);
  }
  Setup_File_Copy();
  Update_Search_Printer();
  if (inst::Handle_Dialog_Event(event) != 1) inst::Handle_Window_Event(event);
}

}  // namespace

std::string Exe_Relative(const std::string& partial) {
  if (partial.empty()) return exeFolder();
  if (partial[0] == '/') return partial;
  return Resolve_Partial_Path(exeFolder(), partial[0] == ':' ? partial : ":" + partial);
}

int Analysis_Option(const unsigned char* option, char* language, std::size_t size) {
  language[0] = 0;
  if (!option || option[0] < 1) return 0;
  std::string text(reinterpret_cast<const char*>(option + 1), option[0]);
  if (text.size() >= 3 && (text.compare(0, 3, "-l ") == 0 || text.compare(0, 3, "-L ") == 0)) return 0;
  if (text.size() >= 2 && (text.compare(0, 2, "-l") == 0 || text.compare(0, 2, "-L") == 0)) text.erase(0, 2);
  // The text becomes a folder name in paths: nothing that leaves the
  // Resources folder.
  if (text.find_first_of(std::string(":/\0", 3)) != std::string::npos || text == "." || text == "..") return 0;
  std::string_view cut = tb::CharPrefix(text, std::min<std::size_t>(size - 1, 31));
  std::memcpy(language, cut.data(), cut.size());
  language[cut.size()] = 0;
  return 1;
}

INST_DLG_INFO* Get_Install_Table() {
  if (instTbl.using_ || instTbl.dlg) return nullptr;
  instTbl = INST_DLG_INFO{};
  instTbl.using_ = 1;
  gLangData.reset(new (std::nothrow) LANG_DATA[kLangMax]());
  gToolData.reset(new (std::nothrow) TOOL_DATA[kToolMax]());
  if (!gLangData || !gToolData) {
    gLangData.reset();
    gToolData.reset();
    instTbl.using_ = 0;
    return nullptr;
  }
  instTbl.langData = gLangData.get();
  instTbl.toolData = gToolData.get();
  instTbl.aSetupFlag = 1;
  instTbl.mSetupFlag = 1;
  return &instTbl;
}

DialogRef Get_Open_Install_Dialog() { return instTbl.using_ ? instTbl.dlg : nullptr; }

INST_DLG_INFO* Get_Open_Install_Tbl() { return instTbl.using_ && instTbl.dlg ? &instTbl : nullptr; }

namespace {

// The wizard's title: the language file's, else the copy list's installer
// name, else the program's string.
void wizardTitle(Str255 out) {
  std::string title;
  if (LanguFileName[0]) title = iniText(Exe_Relative(LanguFileName).c_str(), "[TITLE]", "TITLE=");
  if (title.empty()) title = iniText(Exe_Relative("::Resources:COPYFILE.INI").c_str(), "[SYSTEM]", "INSTNAME=");
  out[0] = 0;
  if (title.empty())
    GetIndString(out, 129, 1);
  else
    pset(out, title);
}

}  // namespace

int Open_Main_Window(const unsigned char* option) {
  // A second opening event while the wizard is open is ignored.
  INST_DLG_INFO* tbl = Get_Install_Table();
  if (!tbl) return 0;

  char language[32] = "";
  int named = Analysis_Option(option, language, sizeof language);
  nonSelectLang = (named && language[0]) || LanguFileName[0] == 0;
  SInt16 first = nonSelectLang ? kPageWelcome : kPageLanguage;

  Str255 ptitle = {0};
  wizardTitle(ptitle);
  DialogRef dlg =
      inst::Open_Usr_Dialog(kWizardDialogID, ptitle, Handle_Instwin_Select_Item, nullptr, Handle_Instwin_Update_Value,
                            nullptr, nullptr, Handle_Instwin_Key_Input, nullptr);
  if (!dlg) {
    gLangData.reset();
    gToolData.reset();
    instTbl = INST_DLG_INFO{};
    return 0;
  }
  Set_Content_Color(GetDialogWindow(dlg));
  inst::Set_Usr_Window_RefCon(dlg, tbl);
  tbl->dlg = dlg;
  Set_Dialog_Event();
  ShowWindow(GetDialogWindow(dlg));
  SelectWindow(GetDialogWindow(dlg));

  if (named && language[0]) {
    Set_Language_Infomation(language);
    std::strcpy(tbl->langData[0].cDir, language);
  } else if (LanguFileName[0] == 0) {
    Get_Active_Language();
  }
  tbl->activePage = first;
  Change_Dialog_Page(dlg, first);
  Set_Dialog_Item_Color(dlg);
  return 1;
}

short Set_Alert_Dialog_Items(SInt16 alertID, short kind, const char* textFile, const char* message, const char* param1,
                             const char* param2, const char* param3) {
  tb::TraceNote("install", "alert %d: %s", alertID, message ? message : "");
  DialogRef alert = GetNewDialog(alertID, nullptr, reinterpret_cast<WindowRef>(-1));
  if (!alert) return 1;
  // Titled as the wizard whose question or message it is.
  Str255 title;
  wizardTitle(title);
  SetWTitle(GetDialogWindow(alert), title);
  Str255 text, p1, p2, p3;
  pset(text, message ? message : "");
  pset(p1, param1 ? param1 : "");
  pset(p2, param2 ? param2 : "");
  pset(p3, param3 ? param3 : "");
  ParamText(text, p1, p2, p3);
  const bool swapped = alertID >= 604 && alertID <= 607;
  gAlertID = alertID;
  const DialogItemIndex okItem = swapped ? 2 : 1, cancelItem = swapped ? 1 : 2;
  for (auto [item, key, fallback] : {std::tuple{okItem, "OK=", "OK"}, std::tuple{cancelItem, "CANCEL=", "Cancel"}}) {
    std::string caption = textFile ? iniText(textFile, "[BUTTON]", key) : "";
    Str255 p;
    pset(p, caption.empty() ? fallback : caption);
    DialogItemType type;
    Handle h;
    Rect r;
    GetDialogItem(alert, item, &type, &h, &r);
    if (h) SetControlTitle(reinterpret_cast<ControlRef>(h), p);
  }
  if (kind == 2) HideDialogItem(alert, cancelItem);
  SetDialogDefaultItem(alert, 1);
  SysBeep(1);
  ShowWindow(GetDialogWindow(alert));
  DialogItemIndex hit = 0;
  while (hit != 1 && hit != 2) ModalDialog(NewModalFilterUPP(alertFilter), &hit);
  tb::TraceNote("install", "alert %d answered %d", alertID, hit);
  DisposeDialog(alert);
  if (swapped) hit = hit == 1 ? 2 : 1;
  return hit;
}

void Application_Exit_Function() { All_Done = 1; }

int Get_Font_Data2(const char* key, short* fontNum, short* face, short* size, const char* file) {
  char value[kIniLineMax + 1] = "";
  if (!file || !Load_File_To_CstringEx("[FONT]", key, value, sizeof value, file)) return 0;
  std::string fields[3];
  std::string_view rest(value);
  for (int i = 0; i < 3; ++i) {
    auto comma = rest.find(',');
    fields[i] = std::string(rest.substr(0, comma));
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  if (!fields[0].empty() && fontNum) {
    Str255 name;
    pset(name, fields[0]);
    GetFNum(name, fontNum);
  }
  auto number = [](const std::string& f, short* out) {
    char* end = nullptr;
    long v = std::strtol(f.c_str(), &end, 10);
    if (out && !f.empty() && end != f.c_str() && v >= 0 && v <= 0x7FFF) *out = short(v);
  };
  number(fields[1], face);
  number(fields[2], size);
  return 1;
}

void Set_Dialog_Item_Color(DialogRef dialog) {
  if (!dialog) return;
  RGBColor content;
  if (GetWindowContentColor(GetDialogWindow(dialog), &content) != noErr) return;
  GrafPtr saved;
  GetPort(&saved);
  SetPortDialogPort(dialog);
  RGBBackColor(&content);
  SetPort(saved);
}

bool Confirm_Quit() {
  // The language page comes before any message file: it asks in the
  // language file's words.
  const std::string file = instTbl.activePage == kPageLanguage ? Exe_Relative(LanguFileName) : instData.messSpec;
  const std::string text = instTbl.activePage == kPageLanguage ? iniText(file.c_str(), "[ERROR]", "MESSAGE_01=")
                                                               : Message_Text("[ERROR]", "MESSAGE_03=");
  return Set_Alert_Dialog_Items(kAlertQuestion, 1, file.c_str(), text.c_str()) == 1;
}

void Handle_File_Menu(short item) {
  if (item != 1) return;
  if (!Get_Open_Install_Dialog() || instTbl.activePage == kPageFinish || Confirm_Quit()) Application_Exit_Function();
}

void Handle_Apple_Menu(short item) {
  MenuRef menu = GetMenuHandle(kAppleMenuID);
  if (!menu) return;
  Str255 name;
  GetMenuItemText(menu, item, name);
  if (name[0]) OpenDeskAcc(name);
}

void Handle_Menu_Choice(long choice) {
  const short menu = short(choice >> 16), item = short(choice & 0xFFFF);
  if (menu == kAppleMenuID) {
    Handle_Apple_Menu(item);
  } else if (menu == kFileMenuID) {
    Handle_File_Menu(item);
  }
  HiliteMenu(0);
}

short InitNetwork() { return 1; }

int Run_Installer() {
  Create_Folder_Hooks();
  Initialize_ToolBox();
  InitNetwork();
  Initialize_FileName();
  User_Globals();
  InitAEStuff();
  Initialize_Variables();
  Install_Menu();
  EventRecord event{};
  while (!All_Done) Handle_One_Event(&event);
  if (instTbl.dlg) Close_Main_Dialog(instTbl.dlg);
  // The search worker never outlives the loop.
  Close_Search_Printer();
  gLangData.reset();
  gToolData.reset();
  Dispose_Folder_Hooks();
  // Everything loaded from the program's own resources goes with the file.
  CloseResFile(Appl_Rsrc_Fork_No);
  return 0;
}

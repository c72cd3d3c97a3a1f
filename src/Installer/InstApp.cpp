// The installer's start-up, event loop, Apple events, alerts and menus.
// The wizard opens on the first opening event: the system's open event, or
// the disc menu's launch event whose text may name the language.
#include "Installer/InstApp.h"

#include <cstring>
#include <memory>

#include "506Q_Lib/Bridge.h"
#include "common/IniFile.h"
#include "toolbox/appleevents.h"
#include "toolbox/files.h"
#include "toolbox/gestalt.h"
#include "toolbox/memory.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

Boolean All_Done = 0;
char LanguFileName[128] = "";
Boolean nonSelectLang = 0;
Boolean copyStart = 0;
INST_DLG_INFO instTbl;
ALL_INST_INFO instData;
SInt16 Appl_Rsrc_Fork_No = 0;

namespace {

constexpr OSType kInstallerCreator = 'VMxi';
constexpr UInt32 kSleepTicks = 5;
constexpr SInt16 kMenuBarID = 128;
constexpr SInt16 kAppleMenuID = 128;
constexpr SInt16 kFileMenuID = 129;

// The tables the wizard claims while it is open.
std::unique_ptr<LANG_DATA[]> gLangData;
std::unique_ptr<TOOL_DATA[]> gToolData;

std::string exeFolder() {
  std::string path = tb::ApplicationPath();
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

void pset(Str255 out, std::string_view text) { pstr::set(out, 256, tb::Utf8Prefix(text, 255)); }

std::string iniText(const char* file, const char* section, const char* key) {
  char value[kIniLineMax + 1] = "";
  Load_File_To_CstringEx(section, key, value, sizeof value, file);
  return value;
}

Boolean alertFilter(DialogRef dialog, EventRecord* event, DialogItemIndex* item) {
  if (event->what != keyDown && event->what != autoKey) return false;
  const int code = (event->message & keyCodeMask) >> 8;
  if (code == 36 || code == 76) {
    *item = 1;
    return true;
  }
  if (code == 53) {
    DialogItemType type;
    Handle h;
    Rect r;
    GetDialogItem(dialog, 2, &type, &h, &r);
    // Escape answers Cancel only where the alert shows it.
    if (r.left < 8192) {
      *item = 2;
      return true;
    }
  }
  return false;
}

void handleFileMenu(short item) {
  if (item != 1) return;
  if (!instTbl.dlg || instTbl.activePage == kPageFinish) {
    All_Done = 1;
    return;
  }
  short hit =
      instTbl.activePage == kPageLanguage
          ? Set_Alert_Dialog_Items(kAlertQuestion, 1, Exe_Relative(LanguFileName).c_str(),
                                   iniText(Exe_Relative(LanguFileName).c_str(), "[ERROR]", "MESSAGE_01=").c_str())
          : Set_Alert_Dialog_Items(kAlertQuestion, 1, instData.messSpec.c_str(),
                                   Message_Text("[ERROR]", "MESSAGE_03=").c_str());
  if (hit == 1) All_Done = 1;
}

void handleMenuChoice(long choice) {
  const short menu = short(choice >> 16), item = short(choice & 0xFFFF);
  if (menu == kFileMenuID) handleFileMenu(item);
  HiliteMenu(0);
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
  DrawMenuBar();
}

void handleDialogEvent(EventRecord* event, bool* taken) {
  *taken = false;
  DialogRef dlg = instTbl.dlg;
  if (!dlg || !IsDialogEvent(event)) return;
  if (event->what == keyDown || event->what == autoKey) {
    if (event->modifiers & cmdKey) return;
    if (!Handle_Instwin_Key_Input(dlg, event)) {
      *taken = true;
      return;
    }
  }
  if (event->what == updateEvt && reinterpret_cast<WindowRef>(event->message) == GetDialogWindow(dlg)) {
    Handle_Instwin_Update_Value(dlg, event);
    *taken = true;
    return;
  }
  DialogRef hitDlg = nullptr;
  DialogItemIndex item = 0;
  if (DialogSelect(event, &hitDlg, &item) && hitDlg == dlg) {
    Handle_Instwin_Select_Item(dlg, event, item);
    *taken = true;
  } else {
    *taken = event->what != mouseDown && event->what != kHighLevelEvent;
  }
}

void handleWindowEvent(EventRecord* event) {
  switch (event->what) {
    case keyDown:
      if (event->modifiers & cmdKey) handleMenuChoice(MenuKey(char(event->message & charCodeMask)));
      break;
    case mouseDown: {
      WindowRef w = nullptr;
      switch (FindWindow(event->where, &w)) {
        case inMenuBar: handleMenuChoice(MenuSelect(event->where)); break;
        case inDrag: {
          BitMap screen;
          GetQDGlobalsScreenBits(&screen);
          DragWindow(w, event->where, &screen.bounds);
          break;
        }
        case inGoAway:
          if (TrackGoAway(w, event->where)) All_Done = 1;
          break;
        default: break;
      }
      break;
    }
    case kHighLevelEvent: AEProcessAppleEvent(event); break;
    default: break;
  }
}

void Handle_One_Event(EventRecord* event) {
  // While files remain to copy the loop does not sleep: each pass copies one.
  WaitNextEvent(everyEvent, event, copyStart ? 0 : kSleepTicks, nullptr);
  Setup_File_Copy();
  bool taken = false;
  handleDialogEvent(event, &taken);
  if (!taken) handleWindowEvent(event);
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
  std::string_view cut = tb::Utf8Prefix(text, std::min<std::size_t>(size - 1, 31));
  std::memcpy(language, cut.data(), cut.size());
  language[cut.size()] = 0;
  return 1;
}

int Open_Main_Window(const unsigned char* option) {
  if (instTbl.using_ || instTbl.dlg) return 0;
  instTbl = INST_DLG_INFO{};
  instTbl.using_ = 1;
  gLangData.reset(new LANG_DATA[kLangMax]());
  gToolData.reset(new TOOL_DATA[kToolMax]());
  instTbl.langData = gLangData.get();
  instTbl.toolData = gToolData.get();
  instTbl.aSetupFlag = 1;
  instTbl.mSetupFlag = 1;

  char language[32] = "";
  int named = Analysis_Option(option, language, sizeof language);
  nonSelectLang = (named && language[0]) || LanguFileName[0] == 0;
  SInt16 first = nonSelectLang ? kPageWelcome : kPageLanguage;

  std::string title;
  if (LanguFileName[0]) title = iniText(Exe_Relative(LanguFileName).c_str(), "[TITLE]", "TITLE=");
  if (title.empty()) title = iniText(Exe_Relative("::Resources:COPYFILE.INI").c_str(), "[SYSTEM]", "INSTNAME=");
  Str255 ptitle = {0};
  if (title.empty()) {
    GetIndString(ptitle, 129, 1);
  } else {
    pset(ptitle, title);
  }

  DialogRef dlg = GetNewDialog(kWizardDialogID, nullptr, reinterpret_cast<WindowRef>(-1));
  if (!dlg) {
    instTbl.using_ = 0;
    return 0;
  }
  SetWTitle(GetDialogWindow(dlg), ptitle);
  instTbl.dlg = dlg;
  Set_Dialog_Event();
  ShowWindow(GetDialogWindow(dlg));
  SelectWindow(GetDialogWindow(dlg));

  if (named && language[0]) {
    Set_Language_Infomation(language);
    std::strcpy(instTbl.langData[0].cDir, language);
  } else if (LanguFileName[0] == 0) {
    Get_Active_Language();
  }
  instTbl.activePage = first;
  Change_Dialog_Page(dlg, first);
  return 1;
}

short Set_Alert_Dialog_Items(SInt16 alertID, short kind, const char* textFile, const char* message) {
  tb::TraceNote("install", "alert %d: %s", alertID, message ? message : "");
  DialogRef alert = GetNewDialog(alertID, nullptr, reinterpret_cast<WindowRef>(-1));
  if (!alert) return 1;
  Str255 text, empty = {0};
  pset(text, message ? message : "");
  ParamText(text, empty, empty, empty);
  const bool swapped = alertID >= 604 && alertID <= 607;
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
  DisposeDialog(alert);
  if (swapped) hit = hit == 1 ? 2 : 1;
  return hit;
}

void Application_Exit_Function() { All_Done = 1; }

int Run_Installer() {
  Initialize_ToolBox();
  Appl_Rsrc_Fork_No = CurResFile();
  {
    std::string path = exeFolder() + "/Language.INI";
    FSSpec spec;
    if (tb::PathToSpec(path, &spec) == noErr) std::strcpy(LanguFileName, "Language.INI");
  }
  InitCursor();
  InitAEStuff();
  Install_Menu();
  EventRecord event{};
  while (!All_Done) Handle_One_Event(&event);
  if (instTbl.dlg) Close_Main_Dialog(instTbl.dlg);
  gLangData.reset();
  gToolData.reset();
  // Everything loaded from the program's own resources goes with the file.
  CloseResFile(Appl_Rsrc_Fork_No);
  return 0;
}

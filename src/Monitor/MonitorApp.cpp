// Start-up, the Apple-event handlers, the loop, the menus and the
// Window-menu table of the status monitor.
#include "Monitor/MonitorApp.h"

#include <cstring>
#include <string>
#include <vector>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "common/AppAlerts.h"
#include "common/AppFonts.h"
#include "common/AppMenus.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "common/MenuCommand.h"
#include "common/SystemCheck.h"
#include "common/TextFormat.h"
#include "Monitor/DialogUtil.h"
#include "Monitor/MonitorConfig.h"
#include "Monitor/StartupFiles.h"
#include "Monitor/StatusData.h"
#include "Monitor/StatusText.h"
#include "Monitor/StatusWindow.h"
#include "OT/FTPClient.h"
#include "OT/OTEndpoint.h"
#include "OT/PBoxTable.h"
#include "toolbox/appleevents.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/files.h"
#include "toolbox/fonts.h"
#include "toolbox/gestalt.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

char SoundFName[kAppFileNameSize] = "";
Boolean Multifinder_Present = 1;
UInt16 PboxTblMax = 128;
EventRecord Event_Rec{};
Boolean All_Done = 0;
Boolean gGetJCEvent = 0;
SInt32 gHandleTime = 0;
SInt16 setFType = 0, setFSize = 12, setFFace = 0, orgFSize = 12;
WINDOW_NO windowTbl{};
UInt8 NotInifile = 0;

namespace {

constexpr UInt32 kSleepTicks = 5;
const UInt8 kBlankItem[2] = {1, 'x'};
constexpr SInt32 kNewSystem = 0x107F;
// The language's sub-folder format when the bundle names none.
constexpr char kDefaultLanguagePath[] = "::Resources:English:%s";

SInt32 system_version() {
  SInt32 v = 0;
  if (Gestalt('sysv', &v) != noErr) v = 0;
  return v;
}

// The bytes of a file beside the bundles, at most 600.
std::vector<UInt8> read_beside(const std::string& name) {
  std::vector<UInt8> out;
  if (name.empty()) return out;
  Load_Status_Data(name, out);
  return out;
}

// True while the system's quit request waits in the queue (a high-level
// event carries its id in the place of the mouse).
bool quitRequestPending() {
  EventRecord pending;
  if (!EventAvail(highLevelEventMask, &pending) || pending.message != kCoreEventClass) return false;
  return (UInt32(UInt16(pending.where.v)) << 16 | UInt16(pending.where.h)) == kAEQuitApplication;
}

void open_record(const std::vector<UInt8>& bytes) {
  UInt8 record[kLaunchBufferSize] = {0};
  if (!bytes.empty()) std::memcpy(record, bytes.data(), std::min(bytes.size(), sizeof record));
  Open_Status_Window(record, sizeof record);
}

}  // namespace

// ---- Start-up ---------------------------------------------------------------

void Initialize_Variables() {
  std::memset(IniFileName, 0, sizeof IniFileName);
  std::memset(MonFileName, 0, sizeof MonFileName);
  std::memset(SoundFName, 0, sizeof SoundFName);
  Copy_Text(IniFileName, sizeof IniFileName, "Popmon.ini");
  Copy_Text(MonFileName, sizeof MonFileName, "Monitor.ini");
  Copy_Text(SoundFName, sizeof SoundFName, "SOUND:BEEP.WAV");
  Multifinder_Present = 1;
  Appl_Rsrc_Fork_No = CurResFile();
  PboxTblMax = 128;
  Init_Status_Table();
  Initialize_Status_Image();
  Build_Status_Image();
}

void InitAEStuff() {
  if (!isAppleEvent()) {
    Str255 text;
    CopyCStringToPascal("\rAddAppleEvent", text);
    Set_Alert_Dialog_Items(602, 2, text, nullptr, nullptr, nullptr);
    return;
  }
  if (system_version() <= kNewSystem)
    AEInstallEventHandler(kCoreEventClass, kAEOpenApplication, NewAEEventHandlerUPP(AEOpenHandler), 0, false);
  AEInstallEventHandler(kCoreEventClass, kAEReopenApplication, NewAEEventHandlerUPP(AEOpenAliasHandler), 0, false);
  AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments, NewAEEventHandlerUPP(AEOpenDataHandler), 0, false);
  AEInstallEventHandler('JCev', 'apop', NewAEEventHandlerUPP(AEOpenDocHandler), 0, false);
  AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, NewAEEventHandlerUPP(AEQuitHandler), 0, false);
}

void Get_Active_Language() {
  char format[256] = "";
  if (!Get_Localize_Strings(format, sizeof format) || !format[0])
    Copy_Text(format, sizeof format, kDefaultLanguagePath);
  auto apply = [&](char* out, const char* base) {
    std::memset(out, 0, kAppFileNameSize);
    if (Format_Strings(out, kAppFileNameSize, format, {base}) < 0) Copy_Text(out, kAppFileNameSize, base);
  };
  apply(IniFileName, "Popmon.ini");
  apply(MonFileName, "Monitor.ini");
  Format_Strings(SoundFName, sizeof SoundFName, "::Resources:%s", {"SOUND:BEEP.WAV"});
}

namespace {

struct MenuText {
  const char* key;
  int menu, item;  // item 0: the title
};
constexpr MenuText kMenuKeys[] = {
    {"FILEMENU=", 1, 0}, {"WINDOWMENU=", 2, 0}, {"ABOUT=", 0, 1}, {"OPEN=", 1, 1},
    {"CLOSE=", 1, 2},    {"QUIT=", 1, 3},       {"SEPA=", 1, 4},  {"ALLQUIT=", 1, 5},
};

void Set_Up_Menu_Bar() {
  static const SInt16 kIds[3] = {kAppleMenuID, kFileMenuID, kOptionMenuID};
  for (int m = 0; m < 3; ++m) {
    MenuRef menu = nullptr;
    if (NotInifile) {
      Str255 title;
      if (m == 0) {
        title[0] = 1;
        title[1] = 0x14;
      } else {
        std::memcpy(title, MeInfo[m][0].cSysMen, sizeof MeInfo[m][0].cSysMen);
        if (title[0] > 31) title[0] = 31;
      }
      menu = NewMenu(kIds[m], title);
      if (!menu) continue;
      for (int i = 0; i < kMenuInfoItems; ++i) {
        const UInt8* text = MeInfo[m][i].cTotalMen;
        if (!text[0]) continue;
        char c[256];
        std::memcpy(c, text + 1, text[0]);
        c[text[0]] = 0;
        if (std::strchr(c, '/')) {
          char plain[256];
          DeleteSlh(plain, c);
          const short at = CountMenuItems(menu);
          InsertMenuItem(menu, kBlankItem, at);
          Str255 p;
          CopyCStringToPascal(plain, p);
          SetMenuItemText(menu, at + 1, p);
        } else {
          AppendMenu(menu, text);
        }
        if (MeInfo[m][i].cShortCut[0]) SetItemCmd(menu, CountMenuItems(menu), UInt8(MeInfo[m][i].cShortCut[0]));
      }
      InsertMenu(menu, 0);
      EnableMenuItem(menu, 0);
    } else {
      menu = GetMenu(kIds[m]);
      if (menu) InsertMenu(menu, 0);
    }
    if (menu && m == 0) AppendResMenu(menu, 'DRVR');
  }
  DrawMenuBar();
}

}  // namespace

void Install_Menu() {
  std::memset(MeInfo, 0, sizeof MeInfo);
  NotInifile = 0;
  Str255 scratch;
  if (Load_File_To_PascalEx("[MACSTR]", "APPLEMANU=", scratch, 256, IniFileName)) NotInifile = 1;
  for (const MenuText& k : kMenuKeys) {
    Str255 value;
    if (!Load_File_To_PascalEx("[MACSTR]", k.key, value, 256, IniFileName)) continue;
    NotInifile = 1;
    char c[256], plain[256];
    std::memcpy(c, value + 1, value[0]);
    c[value[0]] = 0;
    DeleteAnd(plain, c);
    // Entry k is item k+1; entry 0's cSysMen holds the title.
    MENUINFO& info = MeInfo[k.menu][k.item == 0 ? 0 : k.item - 1];
    if (k.item == 0) {
      const std::size_t n = std::min<std::size_t>(std::strlen(plain), sizeof info.cSysMen - 1);
      info.cSysMen[0] = char(n);
      std::memcpy(info.cSysMen + 1, plain, n);
    } else {
      CopyCStringToPascal(plain, info.cTotalMen);
    }
  }
  static const char* const kShortCuts[] = {"SCOPEN=", "SCCLOSE=", "SCQUIT="};
  for (int i = 0; i < 3; ++i) {
    char sc[255] = "";
    if (!Load_File_To_CstringEx("[MACSTR]", kShortCuts[i], sc, sizeof sc, IniFileName)) continue;
    NotInifile = 1;
    MeInfo[1][i].cShortCut[0] = sc[0];
  }
  Set_Up_Menu_Bar();
  // The first window opens from the first high-level event: the launch
  // event, the open-application or the open-documents event. The wait lasts
  // only while one is pending: an event no handler takes is dropped (the
  // open-application event above 0x107F, where no handler is installed and
  // the loop's five-pass rule opens the default printer instead).
  for (;;) {
    EventRecord event;
    if (WaitNextEvent(everyEvent, &event, kSleepTicks, nullptr) && event.what == kHighLevelEvent) {
      AEProcessAppleEvent(&event);
      return;
    }
    if (!EventAvail(highLevelEventMask, &event)) return;
  }
}

void First_Get_Font_Data() {
  setFType = 0;
  setFSize = 12;
  UInt8 face = 0;
  Get_Font_Data2("MAIN=", &setFType, &face, &setFSize, IniFileName);
  setFFace = face;
  orgFSize = GetDefFontSize();
}

void Use_Main_Font() {
  TextFont(setFType);
  TextFace(setFFace);
  TextSize(setFSize);
}

// ---- Loop -----------------------------------------------------------------

void Five_Pass_Rule() {
  static const char* const kPasses[] = {"0 passes", "1 pass", "2 passes", "3 passes", "4 passes", "5 passes"};
  if (gHandleTime < 0 || gHandleTime > 5) return;
  if (gHandleTime <= 4) {
    tb::TraceState("monitor", "five-pass rule", &gHandleTime, kPasses[gHandleTime], kPasses[gHandleTime + 1]);
    ++gHandleTime;
    return;
  }
  tb::TraceState(
      "monitor", "five-pass rule", &gHandleTime, kPasses[5], "done",
      gGetJCEvent ? "sixth pass, a launch event came" : "sixth pass, no launch event: the default printer opens");
  gHandleTime = 6;
  if (!gGetJCEvent) AEOpenHandler(nullptr, nullptr, 0);
}

void Handle_One_Event(EventRecord* event) {
  if (Multifinder_Present && system_version() > kNewSystem) Five_Pass_Rule();
  WaitNextEvent(everyEvent, event, kSleepTicks, nullptr);
  Update_Status_Window(event);
  if (Handle_Dialog_Event(event) == 1) return;
  Handle_Window_Event(event);
}

short All_Done_Proc() {
  while (USR_WINDOW_QUEUE* entry = Search_Window_Data(FrontWindow(), nullptr)) {
    if (Ptr_Is_Dialog(FrontWindow()))
      Close_Usr_Dialog(GetDialogFromWindow(FrontWindow()));
    else
      Close_Usr_Window(FrontWindow());
    (void)entry;
  }
  All_Done = 1;
  return 1;
}

int Run_Monitor() {
  Max_Appl_Zone();
  Initialize_ToolBox();
  System_Check();
  Initialize_Variables();
  InitAEStuff();
  Get_Active_Language();
  OT_Init();
  Get_Configuration();
  Get_BroadcastAddr();
  Get_NameCheck_Info();
  Install_Menu();
  First_Get_Font_Data();
  while (!All_Done) Handle_One_Event(&Event_Rec);
  Close_All_Status_Window();
  Reap_Request_Contexts(true);
  // A transfer the quit cancelled leaves its connections closing.
  FTP_Release_All_Contexts();
  Dispose_Status_Image();
  OT_Deinit();
  // Everything loaded from the program's own resources goes with the file.
  CloseResFile(Appl_Rsrc_Fork_No);
  return 0;
}

// ---- Apple events -----------------------------------------------------------

OSErr AEOpenHandler(const AppleEvent*, AppleEvent*, SRefCon) {
  std::vector<UInt8> record;
  const std::vector<UInt8> pointer = read_beside(Pointer_File_Name());
  if (!pointer.empty()) {
    // A length byte, then the name up to its NUL.
    std::string target;
    for (std::size_t i = 1; i < pointer.size() && pointer[i]; ++i) target.push_back(char(pointer[i]));
    record = read_beside(target);
  }
  open_record(record);
  return noErr;
}

OSErr AEOpenAliasHandler(const AppleEvent*, AppleEvent*, SRefCon) { return errAEEventNotHandled; }

short GetAliasFiles(short openEmpty) {
  short opened = 0;
  FSSpec alias;
  if (Monitor_File_Spec(kAliasFileName, &alias)) {
    for (int i = 0; i < kStatusWindowMax; ++i) {
      char key[16], name[256] = "";
      std::snprintf(key, sizeof key, "ALIAS%02d=", i);
      if (!Get_File_To_CstringEx("[ALIAS]", key, name, sizeof name, &alias)) break;
      ++opened;
      open_record(read_beside(name));
    }
  }
  if (openEmpty == 1 && opened == 0) open_record({});
  return opened;
}

OSErr AEOpenDataHandler(const AppleEvent*, AppleEvent*, SRefCon) {
  GetAliasFiles(0);
  return errAEEventNotHandled;
}

void Open_From_Launch_Text(const UInt8* text, std::size_t size) {
  UInt8 buffer[kLaunchBufferSize] = {0};
  if (size > sizeof buffer) size = sizeof buffer;
  if (text && size) std::memcpy(buffer, text, size);
  if (std::memcmp(buffer, kAliasFileName, 10) == 0) {
    GetAliasFiles(1);
    return;
  }
  Open_Status_Window(buffer, sizeof buffer);
}

OSErr AEOpenDocHandler(const AppleEvent* event, AppleEvent*, SRefCon) {
  gGetJCEvent = 1;
  AEDescList list;
  AEInitializeDesc(&list);
  AEDesc item;
  AEInitializeDesc(&item);
  AEKeyword keyword;
  if (AEGetParamDesc(event, kMonitorCreator, typeAEList, &list) == noErr &&
      AEGetNthDesc(&list, 1, typeChar, &keyword, &item) == noErr) {
    std::vector<UInt8> text(std::size_t(std::max<Size>(AEGetDescDataSize(&item), 0)));
    if (!text.empty()) AEGetDescData(&item, text.data(), Size(text.size()));
    Open_From_Launch_Text(text.data(), text.size());
  } else {
    Open_From_Launch_Text(nullptr, 0);
  }
  AEDisposeDesc(&item);
  AEDisposeDesc(&list);
  return errAEEventNotHandled;
}

OSErr AEQuitHandler(const AppleEvent*, AppleEvent*, SRefCon) {
  Close_All_Status_Window();
  All_Done_Proc();
  return noErr;
}

// ---- Window-menu table ------------------------------------------------------

short Append_Window_Tbl(SInt16 ctrl, short item) {
  if (windowTbl.addWindow >= kStatusWindowMax || item < 1 || item > kStatusWindowMax) return 0;
  windowTbl.controlID[item - 1] = char(ctrl);
  windowTbl.addWindow = item;
  return 1;
}

short Delete_Window_Tbl(SInt16 ctrl) {
  if (windowTbl.addWindow <= 0) return 0;
  for (int i = 0; i < kStatusWindowMax; ++i) {
    if (UInt8(windowTbl.controlID[i]) != UInt8(ctrl)) continue;
    for (int j = i; j + 1 < kStatusWindowMax; ++j) windowTbl.controlID[j] = windowTbl.controlID[j + 1];
    windowTbl.controlID[kStatusWindowMax - 1] = 0;
    break;
  }
  --windowTbl.addWindow;
  return 1;
}

SInt16 Get_Window_Control(short n) {
  if (n < 0 || n >= kStatusWindowMax) return -1;
  const SInt16 c = UInt8(windowTbl.controlID[n]);
  return c >= kFirstControl && c <= kLastControl ? c : -1;
}

short Get_Menu_Namber(SInt16 ctrl) {
  for (short i = 0; i < kStatusWindowMax; ++i)
    if (UInt8(windowTbl.controlID[i]) == UInt8(ctrl)) return i;
  return -1;
}

short Append_Window_Menu(WindowRef window, short check) {
  MenuRef menu = GetMenuHandle(kOptionMenuID);
  if (!menu) return 0;
  Str255 title;
  GetWTitle(window, title);
  AppendMenu(menu, kBlankItem);
  const short item = CountMenuItems(menu);
  SetMenuItemText(menu, item, title);
  if (check == 1) Check_Window_Menu(item - 1);
  return item;
}

void Dispose_Window_Menu(short pos) {
  MenuRef menu = GetMenuHandle(kOptionMenuID);
  if (!menu || pos < 0 || pos + 1 > CountMenuItems(menu)) return;
  DeleteMenuItem(menu, pos + 1);
  Check_Window_Menu(1);
}

void Set_Menu_Item_String(WindowRef window, short pos) {
  MenuRef menu = GetMenuHandle(kOptionMenuID);
  if (!menu) return;
  Str255 title;
  GetWTitle(window, title);
  SetMenuItemText(menu, pos + 1, title);
  Check_Window_Menu(pos - 1);
}

short Get_Check_Window_Menu() {
  MenuRef menu = GetMenuHandle(kOptionMenuID);
  if (!menu) return 0;
  for (short i = 1; i <= CountMenuItems(menu); ++i) {
    CharParameter mark = 0;
    GetItemMark(menu, i, &mark);
    if (mark) return i - 1;
  }
  return 0;
}

void Activate_Usr_Window(short n) {
  const SInt16 ctrl = Get_Window_Control(n);
  if (ctrl < 0) return;
  STATUS_WND_INFO* rec = Get_ControlID_Dialog(ctrl);
  if (!rec) return;
  // Chosen from the Window menu, a window collapsed to its title bar comes
  // back whole (unless a movable-modal dialog keeps every other window
  // where it is).
  if (!OpenMovableDlg && IsWindowCollapsed(GetDialogWindow(rec->dlg))) Show_Status_Whole(rec);
  Get_SubDlg_Table(rec->dlg);
}

// ---- Hooks of the framework -------------------------------------------------

void Handle_Mouse_Down(EventRecord* event) {
  WindowRef window = nullptr;
  const WindowPartCode part = FindWindow(event->where, &window);
  auto refused = [&] {
    if (!window) return true;
    DialogRef dlg = GetDialogFromWindow(window);
    return !dlg || Get_SubDlg_Table(dlg) <= 0;
  };
  switch (part) {
    case inMenuBar:
      Setup_Menu_Status();
      Handle_Menu_Choice(MenuSelect(event->where));
      break;
    case inContent:
      if (refused()) SysBeep(1);
      else if (window != FrontWindow()) SelectWindow(window);
      break;
    case inDrag:
      if (refused()) {
        SysBeep(1);
      } else {
        BitMap screen;
        GetQDGlobalsScreenBits(&screen);
        DragWindow(window, event->where, &screen.bounds);
      }
      break;
    case inCollapseBox:
      if (refused())
        SysBeep(1);
      else if (TrackBox(window, event->where, part))
        CollapseWindow(window, !IsWindowCollapsed(window));
      break;
    case inGoAway:
      // A status window closes only when nothing it owns stands.
      if (refused()) {
        SysBeep(1);
      } else if (TrackGoAway(window, event->where)) {
        WINDOW_USR_DATA* data = Get_Usr_Window_Data(window);
        if (data && data->isDialog && data->usrDlg->usrDialog.Handle_Window_Close)
          data->usrDlg->usrDialog.Handle_Window_Close(GetDialogFromWindow(window), event);
      }
      break;
    default:
      break;
  }
}

void Handle_Activate(EventRecord* event) {
  Cursor arrow;
  SetCursor(GetQDGlobalsArrow(&arrow));
  WindowRef window = reinterpret_cast<WindowRef>(event->message);
  const SInt16 ctrl = Get_Window_Control_ByGPort(window);
  if (ctrl < 0) return;
  const short pos = Get_Menu_Namber(ctrl);
  if (pos >= 0) Check_Window_Menu(pos);
  // The File menu's commands act on the checked window: they follow what
  // that window owns now (its keys are taken without a menu update).
  Setup_Menu_Status();
}

Boolean Handle_Alert_Filter(DialogRef dialog, EventRecord* event, DialogItemIndex* item) {
  if (!event || !item) return false;
  // The system's quit (its shut-down, SIGTERM) waits for the program's own
  // loop, which the alert holds: the alert is answered as declined (a
  // one-button notice as read), so the quit handler closes the windows and
  // writes the printers' files, where the toolbox would end the program
  // after a second with nothing written.
  if (quitRequestPending()) {
    ControlRef cancel = nullptr;
    const bool two = GetDialogItemAsControl(dialog, 2, &cancel) == noErr && cancel && IsControlVisible(cancel);
    *item = two ? 2 : 1;
    return true;
  }
  if (event->what == keyDown) return Alert_Answer_Key(dialog, event, item);
  if (event->what == updateEvt && reinterpret_cast<WindowRef>(event->message) != GetDialogWindow(dialog)) {
    Handle_Update(event);
  }
  return false;
}

void Handle_File_Menu(short item) {
  const SInt16 ctrl = Get_Window_Control(Get_Check_Window_Menu());
  switch (item) {
    case 1:
      if (ctrl >= 0) Menu_Show_Status_Window(ctrl);
      break;
    case 2:
      if (ctrl >= 0) Menu_Hide_Status_Window(ctrl);
      break;
    case 3:
      if (ctrl >= 0) Menu_Exit_Status_Window(ctrl);
      break;
    case 5:
      Close_All_Status_Window();
      All_Done_Proc();
      break;
    default:
      break;
  }
}

void Handle_Option_Menu(short item) { Activate_Usr_Window(short(item - 1)); }

void AppliMenu_Select_Enable(short flag) {
  if (flag)
    EnableMenuCommand(nullptr, kHICommandQuit);
  else
    DisableMenuCommand(nullptr, kHICommandQuit);
}

// ---- Alerts -------------------------------------------------------------------

short Set_Alert_Dialog_Items(SInt16 dialogId, short buttons, ConstStr255Param text, ConstStr255Param p1,
                             ConstStr255Param p2, ConstStr255Param p3) {
  const bool reversed = dialogId >= 604 && dialogId <= 607;
  const DialogItemIndex ok = reversed ? 2 : 1, cancel = reversed ? 1 : 2;
  DialogRef dialog = GetNewDialog(dialogId, nullptr, kFirstWindowOfClass);
  if (!dialog) return 0;
  static const UInt8 kEmpty[1] = {0};
  ParamText(text ? text : kEmpty, p1 ? p1 : kEmpty, p2 ? p2 : kEmpty, p3 ? p3 : kEmpty);
  Set_String_To_Item(dialog, ok, "OK=", "[BUTTON]", IniFileName);
  if (buttons == 2)
    HideDialogItem(dialog, cancel);
  else
    Set_String_To_Item(dialog, cancel, "CANCEL=", "[BUTTON]", IniFileName);
  SysBeep(1);
  SetDialogDefaultItem(dialog, ok);
  ModalFilterUPP filter = New_Modal_Filter(reversed ? Handle_CancelAlert_Filter : Handle_Alert_Filter);
  DialogItemIndex hit = 0;
  Show_Modal_Dialog(dialog, filter, &hit);
  Dispose_Modal_Filter(filter);
  DisposeDialog(dialog);
  return hit;
}

// Start-up, the Apple-event handlers, the loop and shut-down.
#include "Admin/AdminApp.h"

#include <cstring>

#include "506Q_Lib/Bridge.h"
#include "Admin/AdminMenu.h"
#include "Admin/AdminState.h"
#include "Admin/DeviceCommand.h"
#include "Admin/MainWindow.h"
#include "Admin/SearchConfig.h"
#include "Admin/SearchDialog.h"
#include "Admin/SetupWindow.h"
#include "Admin/SmtpForm.h"
#include "common/AppFonts.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "common/SystemCheck.h"
#include "common/TextFormat.h"
#include "OT/PBoxTable.h"
#include "toolbox/gestalt.h"
#include "toolbox/resources.h"
#include "toolbox/windows.h"

char IniFileName[kAppFileNameSize] = "Admin.ini";
char MonFileName[kAppFileNameSize] = "";
SInt16 Appl_Rsrc_Fork_No = 0;
OSType Pref_File_Creator = kAdminCreator;
SInt16 sysCheck = 0;

char languStr[kLanguStrSize] = "";
Boolean OpenMode = 1;
Boolean All_Done = 0;
Boolean Multifinder_Present = 1;
UInt32 Status_Update_Tick = 0;
SInt16 PboxTblMax = 128;
EventRecord Event_Rec{};
BitMap g_qdBitmap{};
Cursor g_qdCursor{};
Cursor g_qdWatch{};
Pattern g_qdGrayPat{}, g_qdWhitePat{}, g_qdBlackPat{};

namespace {

constexpr UInt32 kSleepTicks = 5;
// Whether the launching event has been handled: only that one sets the
// language and the mode.
bool gLaunchHandled = false;

void copy_bounded(char* out, std::size_t size, const char* text) {
  std::size_t n = std::strlen(text);
  if (n >= size) n = size - 1;
  std::memcpy(out, text, n);
  out[n] = 0;
}

}  // namespace

namespace admin {
SInt16 isSystemVer() {
  SInt32 version = 0;
  if (Gestalt('sysv', &version) != noErr) version = 0;
  return version >= 0x0700 ? 1 : 0;
}
}  // namespace admin

short Initialize_App() {
  if (!Initialize_ToolBox()) return 0;
  copy_bounded(IniFileName, sizeof IniFileName, "Admin.ini");
  // No launching event has come yet: the first one still decides the
  // language and the mode.
  languStr[0] = 0;
  OpenMode = 1;
  All_Done = 0;
  gLaunchHandled = false;
  return 1;
}

short Initialize_Variables() {
  Multifinder_Present = 1;
  Appl_Rsrc_Fork_No = CurResFile();
  Status_Update_Tick = TickCount();
  PboxTblMax = 128;
  return 1;
}

void User_Globals() {
  GetQDGlobalsScreenBits(&g_qdBitmap);
  GetQDGlobalsArrow(&g_qdCursor);
  if (CursHandle watch = GetCursor(watchCursor)) g_qdWatch = **watch;
  GetQDGlobalsGray(&g_qdGrayPat);
  GetQDGlobalsWhite(&g_qdWhitePat);
  GetQDGlobalsBlack(&g_qdBlackPat);
}

OSErr AEOpenHandler(const AppleEvent*, AppleEvent*, SRefCon) {
  if (gLaunchHandled) return noErr;
  gLaunchHandled = true;
  OpenMode = 1;
  copy_bounded(IniFileName, sizeof IniFileName, "Admin.ini");
  return noErr;
}

OSErr AEJCIHandler(const AppleEvent* event, AppleEvent*, SRefCon) {
  // Only the event that launched the program names the language; a later
  // one (the disc menu or the installer finding the program running) must
  // not prefix the ini path a second time.
  if (gLaunchHandled) return errAEEventNotHandled;
  AEDescList list;
  AEInitializeDesc(&list);
  if (AEGetParamDesc(event, kAdminCreator, typeAEList, &list) == noErr) {
    AEDesc item;
    AEInitializeDesc(&item);
    AEKeyword keyword;
    if (AEGetNthDesc(&list, 1, typeChar, &keyword, &item) == noErr) {
      gLaunchHandled = true;
      char text[kLanguStrSize] = {0};
      Size n = AEGetDescDataSize(&item);
      if (n > static_cast<Size>(sizeof text - 1)) n = sizeof text - 1;
      if (n > 0) AEGetDescData(&item, text, n);
      text[sizeof text - 1] = 0;
      char path[kAppFileNameSize];
      std::size_t t = std::strlen(text);
      copy_bounded(path, sizeof path, text);
      copy_bounded(path + t, sizeof path - t, IniFileName);
      copy_bounded(IniFileName, sizeof IniFileName, path);
      copy_bounded(languStr, sizeof languStr, text);
      OpenMode = 0;
    }
    AEDisposeDesc(&item);
  }
  AEDisposeDesc(&list);
  return errAEEventNotHandled;
}

OSErr AEQuitHandler(const AppleEvent*, AppleEvent*, SRefCon) {
  Str255 text;
  Get_Ini_Text(text, "[STATIC]", "QUIT=", 0, "Are you sure you want to exit?");
  Str255 empty = {0};
  if (Set_Alert_Dialog_Items(kAlertQuestion, 0, text, empty, empty, empty) == 1) {
    All_Done = 1;
    return noErr;
  }
  return -1;
}

AEEventHandlerUPP g_aeOpenHandler = nullptr, g_aeJCIOpenHandler = nullptr, g_aeQuitHandler = nullptr;

void InitAEStuff() {
  if (isAppleEvent()) {
    g_aeOpenHandler = NewAEEventHandlerUPP(AEOpenHandler);
    g_aeJCIOpenHandler = NewAEEventHandlerUPP(AEJCIHandler);
    g_aeQuitHandler = NewAEEventHandlerUPP(AEQuitHandler);
    AEInstallEventHandler(kCoreEventClass, kAEOpenApplication, g_aeOpenHandler, 0, false);
    AEInstallEventHandler('JCev', 'apop', g_aeJCIOpenHandler, 0, false);
    AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, g_aeQuitHandler, 0, false);
  }
  // Everything before the launching event is dropped, so a key pressed
  // while the program starts never reaches a window.
  for (;;) {
    EventRecord event;
    WaitNextEvent(everyEvent, &event, kSleepTicks, nullptr);
    if (event.what == kHighLevelEvent) {
      AEProcessAppleEvent(&event);
      return;
    }
  }
}

short Get_Active_Language() {
  char saved[kAppFileNameSize];
  copy_bounded(saved, sizeof saved, IniFileName);
  char format[256] = "";
  Get_Localize_Strings(format, sizeof format);
  std::memset(IniFileName, 0, sizeof IniFileName);
  // A format that is not one "%s" leaves the plain name.
  if (Format_Strings(IniFileName, sizeof IniFileName, format, {saved}) < 0)
    copy_bounded(IniFileName, sizeof IniFileName, saved);
  return 1;
}

void Handle_One_Event(EventRecord* event) {
  if (Multifinder_Present) {
    WaitNextEvent(everyEvent, event, kSleepTicks, nullptr);
  } else {
    System_Task();
    GetNextEvent(everyEvent, event);
  }
  Update_Main_Dialog();
  if (admin::Handle_Dialog_Event(event) == 1) return;
  Handle_Window_Event(event);
}

int Run_Admin() {
  Max_Appl_Zone();
  Initialize_App();
  if (!admin::isSystemVer()) {
    SysBeep(1);
    return 0;
  }
  Initialize_Variables();
  User_Globals();
  InitAEStuff();
  Get_Active_Language();
  InitNetwork();
  Get_Setup_Mode();
  Get_Configuration();
  Get_BroadcastAddr();
  Install_Menu();
  Get_NameCheck_Info();
  if (Open_Main_Window()) {
    Init_MLTE_Item();
    while (!All_Done) Handle_One_Event(&Event_Rec);
  }
  // A window left open at the quit is closed as its Close closes it, so
  // its tab strip and lists are freed with it.
  if (DialogRef d = Get_Open_Setup_Dialog()) Close_Setup_Dialog(d);
  if (DialogRef d = Get_Open_Config_Dialog()) Close_Config_Dialog(d);
  TextFont(0);
  TextFace(0);
  TextSize(0);
  Check_Configuration();
  Terminate_MLTE_Item();
  DeinitMain();
  DeinitNetwork();
  // Everything loaded from the program's own resources goes with the file.
  CloseResFile(Appl_Rsrc_Fork_No);
  return 0;
}

// Start-up, the Apple-event handlers, one pass of the event loop, the
// framework's hooks, the modal alerts and the dialog font.
#include <cstdio>
#include <cstring>

#include "filetransfer/Upcaster.h"
#include "common/AppAlerts.h"
#include "common/AppFonts.h"
#include "common/IniFile.h"
#include "common/SystemCheck.h"
#include "common/TextFormat.h"
#include "common/StrConv.h"
#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "toolbox/appleevents.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/fonts.h"
#include "toolbox/menus.h"
#include "toolbox/processes.h"
#include "toolbox/resources.h"
#include "toolbox/windows.h"
#include "OT/OTEndpoint.h"

char IniFileName[kAppFileNameSize] = "ftpup";
char MonFileName[kAppFileNameSize] = "";
SInt16 Appl_Rsrc_Fork_No = 0;
OSType Pref_File_Creator = kUpcasterCreator;
SInt16 sysCheck = 0;

namespace upc {

Boolean All_Done = 0;
Boolean Multifinder_Present = 1;
EventRecord Event_Rec{};
SInt16 setFType = 0, setFFace = 0, setFSize = 12;
SInt16 orgFType = 0, orgFFace = 0, orgFSize = 12;

namespace {

constexpr UInt32 kSleepTicks = 5;
AlertAnswerProc gAlertAnswer = nullptr;

OSErr open_app(const AppleEvent*, AppleEvent*, SRefCon) { return noErr; }
OSErr quit_app(const AppleEvent*, AppleEvent*, SRefCon) {
  All_Done = 1;
  return noErr;
}

bool is_active_application() {
  ProcessSerialNumber front{}, me{};
  if (GetFrontProcess(&front) != noErr || GetCurrentProcess(&me) != noErr) return true;
  return std::memcmp(&front, &me, sizeof front) == 0;
}

}  // namespace

void Set_Alert_Answer(AlertAnswerProc proc) { gAlertAnswer = proc; }

short Initialize_Variables() {
  Multifinder_Present = 1;
  Appl_Rsrc_Fork_No = CurResFile();
  return 1;
}

void InitAEStuff() {
  if (!isAppleEvent()) return;
  AEInstallEventHandler(kCoreEventClass, kAEOpenApplication, NewAEEventHandlerUPP(open_app), 0, false);
  AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, NewAEEventHandlerUPP(quit_app), 0, false);
}

short Get_Active_Language() {
  char saved[kAppFileNameSize];
  std::snprintf(saved, sizeof saved, "%s", IniFileName);
  char format[256] = "";
  Get_Localize_Strings(format, sizeof format);
  // A format with anything but one "%s" leaves the text as it stands
  // (the key itself when the bundle has no such string).
  if (Format_Strings(IniFileName, sizeof IniFileName, format, {saved}) < 0)
    std::snprintf(IniFileName, sizeof IniFileName, "%s", format);
  return 1;
}

void First_Get_Font_Data() {
  FONT_DATA font{};
  std::memset(&font, 0, sizeof font);
  font.fontID = 0xFFFF;
  font.styleID = 0xFFFF;
  font.fSize = 0xFFFF;
  Get_Font_Infomation("DLG=", &font);
  setFType = static_cast<SInt16>(font.fontID) < 0 ? 0 : static_cast<SInt16>(font.fontID);
  setFFace = static_cast<SInt16>(font.styleID) < 0 ? 0 : static_cast<SInt16>(font.styleID);
  setFSize = static_cast<SInt16>(font.fSize) < 0 ? 12 : static_cast<SInt16>(font.fSize);
  orgFType = 0;
  orgFFace = 0;
  orgFSize = 12;
}

void Set_Dialog_Font(DialogRef dialog, Boolean useDialogFont) {
  if (!dialog) return;
  tb::PortSaver port(GetDialogPort(dialog));
  if (useDialogFont) {
    TextFont(setFType);
    TextFace(static_cast<Style>(setFFace));
    TextSize(setFSize);
  } else {
    TextFont(orgFType);
    TextFace(static_cast<Style>(orgFFace));
    TextSize(orgFSize);
  }
}

short Set_Alert_Dialog_Items(SInt16 id, short kind, ConstStr255Param text, ConstStr255Param p1, ConstStr255Param p2,
                             ConstStr255Param p3) {
  if (gAlertAnswer) {
    std::string t = text ? pstr::str(text) : std::string();
    return gAlertAnswer(id, t);
  }
  const bool reversed = id >= 604 && id <= 607;
  const DialogItemIndex ok = reversed ? 2 : 1;
  const DialogItemIndex cancel = reversed ? 1 : 2;
  DialogRef dialog = GetNewDialog(id, nullptr, kFirstWindowOfClass);
  if (!dialog) return 0;
  Set_Dialog_Font(dialog, 1);
  static const UInt8 kEmpty[1] = {0};
  ParamText(text ? text : kEmpty, p1 ? p1 : kEmpty, p2 ? p2 : kEmpty, p3 ? p3 : kEmpty);
  auto caption = [&](DialogItemIndex item, const char* key, const char* fallback) {
    Str255 t;
    Get_Ini_Text(t, "[BUTTON]", key, 0, fallback);
    ControlRef control = nullptr;
    if (GetDialogItemAsControl(dialog, item, &control) == noErr && control) SetControlTitle(control, t);
  };
  caption(ok, "OK=", "OK");
  if (kind == 2)
    HideDialogItem(dialog, cancel);
  else
    caption(cancel, "CANCEL=", "Cancel");
  SysBeep(1);
  SetDialogDefaultItem(dialog, ok);
  ShowWindow(GetDialogWindow(dialog));
  DialogItemIndex hit = 0;
  ModalDialog(Handle_Alert_Filter, &hit);
  DisposeDialog(dialog);
  return hit;
}

short All_Done_Proc() {
  // Every window of the table closes, the transfers' first. The settings
  // dialog closes through its own exit, which frees its tab strip and list
  // and clears its record, as a Cancel would.
  Close_Configuration();
  for (SEND_SLOT& slot : SendTbl)
    if (slot.using_) {
      Exit_TCPftp_Dialog(&slot);
      Free_Slot(&slot);
    }
  if (ftpData.using_) {
    if (ftpData.dlg) Close_Usr_Dialog(ftpData.dlg);
    ftpData.dlg = nullptr;
    Free_Ftp_Table();
  }
  while (Win_Que_Base) {
    auto* entry = reinterpret_cast<USR_WINDOW_QUEUE*>(Win_Que_Base);
    WindowRef w = entry->wndPtr;
    if (Ptr_Is_Dialog(w))
      Close_Usr_Dialog(GetDialogFromWindow(w));
    else
      Close_Usr_Window(w);
    if (Win_Que_Base && reinterpret_cast<USR_WINDOW_QUEUE*>(Win_Que_Base)->wndPtr == w) break;
  }
  All_Done = 1;
  return 1;
}

void Idle_Steps() {
  Search_PServer();
  Update_Send_Window();
  Ftp_Send_Start();
}

void Handle_One_Event(EventRecord* event) {
  if (Multifinder_Present == 1) {
    WaitNextEvent(everyEvent, event, kSleepTicks, nullptr);
  } else {
    System_Task();
    GetNextEvent(everyEvent, event);
  }
  Idle_Steps();
  if (event->what == nullEvent && FrontWindow() && is_active_application()) Handle_Ftp_Column_Cursol(event);
  if (Handle_Dialog_Event(event) == 1) return;
  Handle_Window_Event(event);
}

int Run_Upcaster() {
  Max_Appl_Zone();
  if (!Initialize_ToolBox()) return 0;
  sysCheck = System_Check();
  Initialize_Variables();
  InitAEStuff();
  Get_Active_Language();
  OT_Init();
  if (Check_Application()) {
    Get_Configuration();
    Get_BroadcastAddr();
    Get_NameCheck_Info();
    Install_Menu();
    First_Get_Font_Data();
    if (Open_File_Transfer()) {
      while (!All_Done) Handle_One_Event(&Event_Rec);
      // The quit request ends the loop with the windows still open; their
      // records are ours to free before the toolbox takes the windows.
      if (Win_Que_Base) All_Done_Proc();
    }
  }
  TextFont(orgFType);
  TextFace(0);
  TextSize(orgFSize);
  FTP_Release_All_Contexts();
  OT_Deinit();
  CloseResFile(Appl_Rsrc_Fork_No);
  return 0;
}

}  // namespace upc

// ---- The framework's hooks ---------------------------------------------------

Boolean Handle_Alert_Filter(DialogRef dialog, EventRecord* event, DialogItemIndex* item) {
  return Handle_Answer_Alert_Filter(dialog, event, item);
}

void Handle_Activate(EventRecord*) {
  Cursor arrow;
  SetCursor(GetQDGlobalsArrow(&arrow));
}

void Handle_Mouse_Down(EventRecord* event) {
  if (!event) return;
  WindowRef window = nullptr;
  const WindowPartCode part = FindWindow(event->where, &window);
  const bool locked = OpenMovableDlg && window && GetDialogFromWindow(window) != OpenMovableDlg;
  switch (part) {
    case inMenuBar: upc::Handle_Menu_Choice(MenuSelect(event->where)); return;
    case inContent:
      if (locked) {
        SysBeep(1);
        return;
      }
      if (window != FrontWindow()) SelectWindow(window);
      return;
    case inDrag: {
      if (locked) {
        SysBeep(1);
        return;
      }
      BitMap screen;
      GetQDGlobalsScreenBits(&screen);
      Rect bounds = screen.bounds;
      DragWindow(window, event->where, &bounds);
      return;
    }
    case inGoAway:
      if (locked) {
        SysBeep(1);
        return;
      }
      if (TrackGoAway(window, event->where)) upc::All_Done_Proc();
      return;
    case inCollapseBox:
      if (locked) {
        SysBeep(1);
        return;
      }
      if (TrackBox(window, event->where, part)) CollapseWindow(window, !IsWindowCollapsed(window));
      return;
    default: return;
  }
}

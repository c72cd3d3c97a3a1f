// The main window: the list of the print boxes found, the chosen file and
// the buttons Send, Cancel, Select and Search again; and the send queue,
// which opens one transfer after the other from the event loop, the
// bottom-most selected row first.
#include <cstring>
#include <memory>

#include "filetransfer/Upcaster.h"
#include "common/AppAlerts.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "506Q_Lib/DialogItems.h"
#include "OT/SelectFile.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/memory.h"
#include "toolbox/pump.h"
#include "toolbox/quickdraw.h"
#include "toolbox/resources.h"
#include "toolbox/trace.h"

namespace upc {

FTP_DLG_INFO ftpData{};

namespace {

enum : DialogItemIndex {
  kSend = 1,
  kCancel = 2,
  kSelect = 3,
  kFileName = 4,
  kFileFrame = 5,
  kGroupFile = 6,
  kFileLabel = 7,
  kList = 8,
  kGroupList = 9,
  kListLabel = 10,
  kSearchAgain = 11,
};

ALERT_WND_INFO gOutcomeAlert{};
OutcomeProc gOutcome = nullptr;

void set_caption(DialogRef dialog, DialogItemIndex item, const char* section, const char* key, const char* fallback) {
  Str255 text;
  Get_Ini_Text(text, section, key, 0, fallback);
  ControlRef control = nullptr;
  if (GetDialogItemAsControl(dialog, item, &control) == noErr && control) {
    SetControlTitle(control, text);
    return;
  }
  Handle h = nullptr;
  Get_Dialog_Item_Handle(dialog, item, &h);
  if (h) SetDialogItemText(h, text);
}

void enable(DialogRef dialog, DialogItemIndex item, bool on) {
  ControlRef control = nullptr;
  if (GetDialogItemAsControl(dialog, item, &control) == noErr && control) HiliteControl(control, on ? 0 : 255);
}

void create_list(DialogRef dialog) {
  Rect r;
  Get_Dialog_Item_Rect(dialog, kList, &r);
  ftpData.printerList = CLNew(GetDialogWindow(dialog), &r, Point{15, static_cast<short>(r.right - r.left)}, true,
                              false, true);
  if (!ftpData.printerList) return;
  struct Column {
    const char* key;
    SInt16 width;
  };
  constexpr Column kColumns[] = {{"MODEL_NAME=", 90}, {"IP_ADDRESS=", 100}, {"EA_ADDRESS=", 110}};
  for (const Column& c : kColumns) {
    Str255 title = {0};
    Load_File_To_PascalEx("[LABEL]", c.key, title, 256, IniFileName);
    CLAddColumn(ftpData.printerList, title, c.width, kCLSortText);
  }
  CLSetHeaderPictID(ftpData.printerList, 130, 130, 129);
  CLShow(ftpData.printerList, true);
}

void draw_window(DialogRef dialog) {
  tb::PortSaver port(GetDialogPort(dialog));
  Set_Content_Color(dialog);
  DrawDialog(dialog);
  Draw_Setup_Frame_Item(dialog, kFileFrame);
  Draw_Group_Frame_Item(dialog, kGroupFile);
  Draw_Group_Frame_Item(dialog, kGroupList);
  if (ftpData.printerList) CLUpdate(ftpData.printerList, nullptr, 1);
}

short Setup_Ftp_Update_Value(DialogRef dialog, EventRecord*) {
  BeginUpdate(GetDialogWindow(dialog));
  draw_window(dialog);
  EndUpdate(GetDialogWindow(dialog));
  return 1;
}

short Handle_Ftp_Window_Active(DialogRef dialog, EventRecord* event) { return Handle_Window_Active(dialog, event); }

void show_outcome(UInt16 result) {
  const char* key = result == kSendDone ? "STRING02=" : result == kSendFailed ? "STRING03=" : "STRING04=";
  Str255 text;
  Get_Ini_Text(text, "[STRING]", key, 0, "");
  if (gOutcome) {
    gOutcome(result, text);
    return;
  }
  Str255 title;
  Get_Ini_Text(title, "[TITLE]", "FTP=", 0, "upcaster");
  Open_Alert_Dialog_Movable(&gOutcomeAlert, kAlertOutcome, 1, 0, IniFileName, title, text, nullptr, nullptr, nullptr);
}

}  // namespace

void Set_Outcome_Proc(OutcomeProc proc) { gOutcome = proc; }

short Get_Ftp_Table() {
  if (ftpData.using_) return 0;
  Clear_Ftp_Record(&ftpData, "claimed");
  ftpData.pboxTbl = reinterpret_cast<PBOXinfo*>(NewPtrClear(sizeof(PBOXinfo) * kPboxMax));
  ftpData.jcp = reinterpret_cast<JCPEPInfo*>(NewPtrClear(sizeof(JCPEPInfo)));
  if (!ftpData.pboxTbl || !ftpData.jcp) {
    Free_Ftp_Table();
    return 0;
  }
  ftpData.using_ = 1;
  ftpData.conf[0] = ftpData.conf[1] = ConfigData;
  return 1;
}

short Open_File_Transfer() {
  if (!Get_Ftp_Table()) return 0;
  Str255 title;
  Get_Ini_Text(title, "[TITLE]", "FTPDLG=", 0, "upcaster");
  DialogRef dialog = Open_Usr_Dialog(kMainDialogID, title, Handle_Ftp_Select_Item, Setup_Ftp_Update_Value, nullptr, Handle_Ftp_Window_Active, nullptr,
                                     Handle_Ftp_Key_Input);
  if (!dialog) {
    Free_Ftp_Table();
    return 0;
  }
  ftpData.dlg = dialog;
  Set_Usr_Window_RefCon(dialog, &ftpData);
  Set_Dialog_Font(dialog, 1);
  if (!ftpData.printerList) create_list(dialog);
  enable(dialog, kSend, false);
  set_caption(dialog, kSend, "[FTPDLG]", "SEND=", "Send");
  set_caption(dialog, kCancel, "[BUTTON]", "CANCEL=", "Cancel");
  set_caption(dialog, kSelect, "[FTPDLG]", "SELECT=", "Select");
  set_caption(dialog, kFileLabel, "[FTPDLG]", "FILESTATIC=", "");
  set_caption(dialog, kListLabel, "[FTPDLG]", "LISTSTATIC=", "");
  set_caption(dialog, kSearchAgain, "[BUTTON]", "SEARCHYES=", "Search again");
  Get_Search_Data(&ftpData);
  ShowWindow(GetDialogWindow(dialog));
  draw_window(dialog);
  return 1;
}

void Free_Ftp_Table() {
  if (ftpData.jcp && !JCP_IsTerminated(ftpData.jcp)) JCP_KillIOEvent(ftpData.jcp);
  if (ftpData.printerList) CLDispose(ftpData.printerList);
  DisposePtr(reinterpret_cast<Ptr>(ftpData.pboxTbl));
  DisposePtr(reinterpret_cast<Ptr>(ftpData.jcp));
  Clear_Ftp_Record(&ftpData, "freed");
}

void Show_Search_Table(FTP_DLG_INFO* rec) {
  if (!rec || !rec->printerList) return;
  CLDelRow(rec->printerList, 0, 0);
  SInt16 row = 0;
  for (int i = 0; i < kPboxMax && row < rec->found; ++i) {
    const PBOXinfo& box = rec->pboxTbl[i];
    if (!box.pbi_inuse || box.pbi_ip_addr == 0) continue;
    const std::string name = PBOXNameText(box);
    char mac[18];
    mactoa(box.pbi_nodeaddr, mac);
    Str255 text;
    pstr::set(text, sizeof text, name);
    CLSetCellOne(rec->printerList, Cell{row, 0}, text);
    pstr::set(text, sizeof text, Dotted(box.pbi_ip_addr).c_str());
    CLSetCellOne(rec->printerList, Cell{row, 1}, text);
    pstr::set(text, sizeof text, mac);
    CLSetCellOne(rec->printerList, Cell{row, 2}, text);
    CLSetReference(rec->printerList, row, i);
    ++row;
  }
  if (row > 0) CLSetSelect(rec->printerList, Cell{0, 0}, true, false);
  if (rec->dlg) {
    tb::PortSaver port(GetDialogPort(rec->dlg));
    CLUpdate(rec->printerList, nullptr, 1);
    Check_Send_Status(rec->dlg);
  }
}

short Check_Send_Status(DialogRef dialog) {
  if (!dialog) return 0;
  Handle h = nullptr;
  Get_Dialog_Item_Handle(dialog, kFileName, &h);
  Str255 name = {0};
  if (h) GetDialogItemText(h, name);
  bool on = name[0] > 0 && ftpData.printerList && CLGetSelectCount(ftpData.printerList) > 0;
  enable(dialog, kSend, on);
  return on ? 1 : 0;
}

void Set_Send_File(const FSSpec& fss) {
  ftpData.fileSpec = fss;
  if (!ftpData.dlg) return;
  Handle h = nullptr;
  Get_Dialog_Item_Handle(ftpData.dlg, kFileName, &h);
  if (h) SetDialogItemText(h, fss.name);
  Check_Send_Status(ftpData.dlg);
}

void Ftp_Send_File(FTP_DLG_INFO* rec) {
  if (!rec || !rec->printerList || CLGetCount(rec->printerList) == 0) return;
  SInt16 n = CLGetSelectCount(rec->printerList);
  if (n <= 0) return;
  std::memset(rec->sendAddr, 0, sizeof rec->sendAddr);
  UInt16 i = 0;
  Cell cell{0, 0};
  while (i < kPboxMax && CLGetSelect(rec->printerList, &cell, true)) {
    Str255 text;
    SInt16 len = sizeof text;
    CLGetCellOne(rec->printerList, text, &len, Cell{cell.v, 1});
    char ip[32];
    pstr::toC(ip, sizeof ip, text);
    rec->sendAddr[i++] = Parse_IPv4(ip);
    cell.v = static_cast<SInt16>(cell.v + 1);
  }
  rec->sendCount = i;
  rec->sendStart = i > 0 ? 1 : 0;
  // The first transfer opens at the next pass, not after the loop's sleep.
  if (rec->sendStart) tb::Defer([] {});
  tb::TraceNote("upcaster", "queue: %u boxes", unsigned(i));
}

void Ftp_Send_Start() {
  FTP_DLG_INFO* rec = &ftpData;
  if (!rec->using_ || rec->sendCount < 1 || !rec->sendStart) return;
  UInt32 addr = rec->sendAddr[rec->sendCount - 1];
  if (!Open_Tcp_Dialog(rec->dlg, 0, addr, &rec->fileSpec, 1)) return;  // every slot busy: try again later
  rec->sendCount--;
  rec->sendStart = 0;
}

short Ftp_Send_Check() {
  if (!ftpData.using_) return 1;
  if (ftpData.sendCount == 0) return 0;
  ftpData.sendStart = 1;
  tb::Defer([] {});
  return 1;
}

void Ftp_Send_End() {
  if (!ftpData.using_) return;
  ftpData.sendCount = 0;
  ftpData.sendStart = 0;
}

void Update_Send_Window() {
  FTP_Reap_Contexts();
  for (SEND_SLOT& slot : SendTbl) {
    if (!slot.using_) continue;
    if (slot.sendResult == kSendRunning) Send_FTP_Command(&slot);
    // A transfer that has just ended tells it before this pass's event is
    // dispatched: a key pressed as it failed goes to its alert, which keeps
    // the keyboard until it is answered, never to the window behind.
    if (slot.sendResult == kSendRunning) continue;
    UInt16 result = slot.sendResult;
    Free_Slot(&slot);
    if (result == kSendDone) {
      if (Ftp_Send_Check() == 0) {
        show_outcome(kSendDone);
        Ftp_Send_End();
      }
    } else {
      // The queue stops; what is left waits for the next Send.
      ftpData.sendStart = 0;
      show_outcome(result);
    }
  }
}

void Ftp_Search_Again_PBOX(DialogRef dialog) {
  // A search still running ends first; the new one starts on a clean
  // context.
  Stop_Search(&ftpData, "searched again");
  if (ftpData.printerList) {
    CLDelRow(ftpData.printerList, 0, 0);
    tb::PortSaver port(GetDialogPort(dialog));
    CLUpdate(ftpData.printerList, nullptr, 1);
  }
  Search_Again(&ftpData);
}

short Exit_Ftp_Dialog(DialogRef dialog) {
  Str255 text;
  Get_Ini_Text(text, "[STATIC]", "QUIT=", 19, "Are you sure you want to exit?");
  if (Set_Alert_Dialog_Items(kAlertQuestion, 0, text) != 1) return 0;
  // Transfers still running are ended (their boxes keep nothing partial).
  for (SEND_SLOT& slot : SendTbl)
    if (slot.using_) {
      Exit_TCPftp_Dialog(&slot);
      Free_Slot(&slot);
    }
  if (ftpData.printerList) {
    CLDispose(ftpData.printerList);
    ftpData.printerList = nullptr;
  }
  if (dialog) Close_Usr_Dialog(dialog);
  ftpData.dlg = nullptr;
  Free_Ftp_Table();
  All_Done_Proc();
  return 1;
}

Boolean Handle_Ftp_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item) {
  switch (item) {
    case kSend: Ftp_Send_File(&ftpData); break;
    case kCancel: Exit_Ftp_Dialog(dialog); return true;
    case kSelect: {
      auto files = std::make_unique<FSSpec[]>(kSelectFileMax);
      FSSpec folder{};
      if (Get_Select_File_Spec(&folder, files.get()) > 0) Set_Send_File(files[0]);
      Check_Send_Status(dialog);
      break;
    }
    case kList:
      if (ftpData.printerList && event) {
        tb::PortSaver port(GetDialogPort(dialog));
        Cell cell{0, 0};
        SInt16 sortPart = 0;
        CLMouseDown(ftpData.printerList, event, &cell, &sortPart, false);
      }
      Check_Send_Status(dialog);
      break;
    case kSearchAgain: Ftp_Search_Again_PBOX(dialog); break;
    default: Check_Send_Status(dialog); break;
  }
  return true;
}

Boolean Handle_Ftp_Key_Input(DialogRef dialog, EventRecord* event) {
  if (!event) return false;
  const UInt8 key = static_cast<UInt8>((event->message & keyCodeMask) >> 8);
  if (key == kVK_Escape) {
    Invert_Button_Item(dialog, kCancel);
    Exit_Ftp_Dialog(dialog);
    return false;
  }
  if (key == kVK_Return || key == kVK_ANSI_KeypadEnter) return false;
  return true;
}

void Handle_Ftp_Column_Cursol(EventRecord* event) {
  if (!event || !ftpData.dlg || !ftpData.printerList) return;
  if (FrontWindow() != GetDialogWindow(ftpData.dlg)) return;
  tb::PortSaver port(GetDialogPort(ftpData.dlg));
  Point local = event->where;
  GlobalToLocal(&local);
  if (CLIsHeaderMovable(ftpData.printerList, local)) {
    if (CursHandle c = GetCursor(kColumnCursorID)) SetCursor(*c);
  } else {
    Cursor arrow;
    SetCursor(GetQDGlobalsArrow(&arrow));
  }
}

}  // namespace upc

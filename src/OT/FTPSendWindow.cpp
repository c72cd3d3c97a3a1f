// The send window: dialog 129 that shows one transfer's progress, with its
// Cancel button, and the alert that tells how the transfer ended.
#include <cstdio>

#include "common/AppAlerts.h"
#include "common/AppMenus.h"
#include "common/AppWindows.h"
#include "506Q_Lib/DialogItems.h"
#include "OT/DrawUtil.h"
#include "OT/FTPSend.h"
#include "common/IniFile.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/windows.h"

namespace {

enum : DialogItemIndex {
  kItemCancel = 1,
  kItemNameLabel = 2,
  kItemName = 3,
  kItemCountLabel = 4,
  kItemCount = 5,
  kItemSizeLabel = 6,
  kItemSize = 7,
  kItemBar = 8,
};

constexpr SInt16 kSendDialogID = 129;
constexpr SInt16 kOutcomeAlertID = 612;

Rect itemRect(DialogRef dlg, DialogItemIndex item) {
  Rect r{};
  Get_Dialog_Item_Rect(dlg, item, &r);
  return r;
}

// A text of the program's ini file, empty when it is missing.
void iniText(const char* section, const char* key, const char* file, Str255 out) {
  out[0] = 0;
  Load_File_To_PascalEx(section, key, out, sizeof(Str255), file);
}

void drawItemText(DialogRef dlg, DialogItemIndex item, ConstStr255Param text) {
  Rect r = itemRect(dlg, item);
  Draw_String_User_Rect(dlg, text, &r, kDrawLeft, 0, true);
}

void drawProgress(SEND_WND_INFO* slot, ConstStr255Param sizeText, short percent) {
  if (!slot->dlg) return;
  if (sizeText) drawItemText(slot->dlg, kItemSize, sizeText);
  Draw_Send_Byte_Bar(slot->dlg, kItemBar, percent);
}

void closeWindow(SEND_WND_INFO* slot) { Close_Usr_Dialog(slot->dlg); }

void showOutcome(SEND_WND_INFO* slot, SInt16 result) {
  const char* key = result == FTP_SEND_DONE ? "STRING02=" : result == FTP_SEND_CANCELLED ? "STRING04=" : "STRING03=";
  Str255 title;
  Str255 message;
  iniText("[TITLE]", "FTP=", IniFileName, title);
  iniText("[STRING]", key, MonFileName, message);
  const UInt8 none[1] = {0};
  Open_Alert_Dialog_Movable(&slot->alertTbl, kOutcomeAlertID, 1, 1, IniFileName, title, message, none, none, none);
}

const FTP_SEND_VIEW kWindowView{drawProgress, Setup_TCPftp_Update, closeWindow, Setup_Menu_Status, showOutcome};

}  // namespace

short Open_Tcp_Dialog(DialogRef owner, UInt32 ipAddr, UInt16 fileCount) {
  SEND_WND_INFO* slot = Get_Send_Table(owner, ipAddr, fileCount);
  if (!slot) return 0;
  FTP_Set_Send_View(&kWindowView);
  Str255 title;
  iniText("[STRING]", "FTP=", MonFileName, title);
  DialogRef dlg = Open_Usr_Dialog(kSendDialogID, title, Handle_TCPftp_Select_Item, Handle_TCPftp_Window_Update,
                                  nullptr, Handle_TCPftp_Window_Active, nullptr, nullptr);
  if (!dlg) {
    Free_Send_Table(slot);
    Last_Table_Init(slot);
    return 0;
  }
  slot->dlg = dlg;
  Set_Content_Color(dlg);
  Get_File_Total_Size(slot, &slot->fileData);
  Handle_TCPftp_Load_Value(dlg);
  ShowWindow(GetDialogWindow(dlg));
  Setup_Menu_Status();
  return 1;
}

void Setup_TCPftp_Update(SEND_WND_INFO* slot) {
  if (!slot || !slot->dlg) return;
  DialogRef dlg = slot->dlg;
  Str255 text;
  iniText("[LABEL]", "STC_NAME=", IniFileName, text);
  drawItemText(dlg, kItemNameLabel, text);
  drawItemText(dlg, kItemName, slot->fileData.fileSpec.name);
  iniText("[LABEL]", "STC_NUM=", IniFileName, text);
  drawItemText(dlg, kItemCountLabel, text);
  char count[32];
  std::snprintf(count, sizeof count, "%d / %d", slot->fileData.send_cnt, slot->fileData.total_cnt);
  pstr::set(text, sizeof text, count);
  drawItemText(dlg, kItemCount, text);
  iniText("[LABEL]", "STC_TRANS=", IniFileName, text);
  drawItemText(dlg, kItemSizeLabel, text);
}

void Draw_Send_Byte_Bar(DialogRef dlg, DialogItemIndex item, short percent) {
  if (!dlg) return;
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  Rect r = itemRect(dlg, item);
  tb::PortSaver saved(GetDialogPort(dlg));
  PenState pen;
  GetPenState(&pen);
  RGBColor fore;
  RGBColor back;
  GetForeColor(&fore);
  GetBackColor(&back);
  // The blue part reaches the right edge at 100%, however wide the item.
  short filled = static_cast<short>(SInt32(r.right - r.left) * percent / 100);
  Rect blue = r;
  blue.right = static_cast<short>(r.left + filled);
  Rect white = r;
  white.left = blue.right;
  const RGBColor kBlue{0, 0, 65535};
  const RGBColor kWhite{65535, 65535, 65535};
  const RGBColor kBlack{0, 0, 0};
  RGBForeColor(&kBlue);
  PaintRect(&blue);
  RGBForeColor(&kWhite);
  PaintRect(&white);
  Rect frame = r;
  InsetRect(&frame, -1, -1);
  PenNormal();
  RGBForeColor(&kBlack);
  FrameRect(&frame);
  RGBForeColor(&fore);
  RGBBackColor(&back);
  SetPenState(&pen);
}

void Handle_TCPftp_Load_Value(DialogRef dlg) {
  if (!dlg) return;
  ControlRef cancel = nullptr;
  if (GetDialogItemAsControl(dlg, kItemCancel, &cancel) != noErr || !cancel) return;
  Str255 text;
  iniText("[BUTTON]", "CANCEL=", IniFileName, text);
  if (text[0] == 0) pstr::set(text, sizeof text, "Cancel");
  SetControlTitle(cancel, text);
}

short Handle_TCPftp_Window_Update(DialogRef dlg, EventRecord*) {
  SEND_WND_INFO* slot = Get_Send_Data_Table(dlg);
  WindowRef window = GetDialogWindow(dlg);
  BeginUpdate(window);
  Set_Content_Color(dlg);
  if (slot) {
    Setup_TCPftp_Update(slot);
    // The window was erased: the size text goes again even though it has not
    // changed.
    slot->percentStr[0] = 0;
    Draw_Send_Data(slot);
  }
  DrawControls(window);
  EndUpdate(window);
  return 1;
}

short Handle_TCPftp_Window_Active(DialogRef dlg, EventRecord* event) { return Handle_Window_Active(dlg, event); }

Boolean Handle_TCPftp_Select_Item(DialogRef dlg, EventRecord*, DialogItemIndex item) {
  SEND_WND_INFO* slot = Get_Send_Data_Table(dlg);
  if (!slot) return false;
  if (item == kItemCancel) FTP_Cancel_Send(slot);
  return true;
}

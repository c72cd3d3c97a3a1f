// One FTP transfer: one file to one print box, control connection to the
// box's port 21, active-mode data connection the box opens to us, a small
// window with the progress bar and Cancel. Every idle pass steps each open
// transfer once; while a transfer has bytes to send it keeps the loop from
// sleeping, and the file goes in large pieces so the kernel sets the pace.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "506Q_Lib/DialogItems.h"
#include "common/AppFonts.h"
#include "common/StrConv.h"
#include "filetransfer/Upcaster.h"
#include "OT/FTPDialogue.h"
#include "toolbox/clock.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/pump.h"
#include "toolbox/quickdraw.h"
#include "toolbox/trace.h"

namespace upc {

SEND_SLOT SendTbl[kSlotCount];
UInt16 g_count = 0;

namespace {

// A step sends at most this much, so the window still draws and takes its
// events between pieces however fast the box reads.
constexpr UInt32 kStepBudget = 4u << 20;

void comeBackSoon() { tb::Defer([] {}); }

const char* stateName(UInt16 step, UInt16 result) {
  switch (result) {
    case kSendDone: return "done";
    case kSendFailed: return "failed";
    case kSendCancelled: return "cancelled";
    default: return FTP_Step_Name(SInt16(step));
  }
}

// The one place a transfer's dialogue state and outcome change.
void changeState(SEND_SLOT* slot, UInt16 step, UInt16 result, const char* why) {
  if (slot->cmdNum == step && slot->sendResult == result) return;
  tb::TraceState("upcaster", "transfer", slot, stateName(slot->cmdNum, slot->sendResult), stateName(step, result),
                 why);
  slot->cmdNum = step;
  slot->sendResult = result;
}

FTPEPInfo* newContext() { return reinterpret_cast<FTPEPInfo*>(NewPtrClear(sizeof(FTPEPInfo))); }

short fail(SEND_SLOT* slot, const char* why) {
  Exit_TCPftp_Dialog(slot);
  changeState(slot, slot->cmdNum, kSendFailed, why);
  comeBackSoon();
  return -1;
}

void Draw_Send_Byte_Bar(SEND_SLOT* slot, bool done) {
  if (!slot->dlg) return;
  Rect r;
  Get_Dialog_Item_Rect(slot->dlg, 2, &r);
  tb::PortSaver port(GetDialogPort(slot->dlg));
  short percent = Send_Percent(slot->fileData, done);
  Rect fill = r;
  fill.right = static_cast<SInt16>(r.left + (r.right - r.left) * percent / 100);
  Rect rest = r;
  rest.left = fill.right;
  RGBColor blue{0x3000, 0x5000, 0xD000};
  RGBColor black{0, 0, 0};
  RGBForeColor(&blue);
  PaintRect(&fill);
  RGBForeColor(&black);
  EraseRect(&rest);
  FrameRect(&r);
}

Boolean Handle_TCPftp_Select_Item(DialogRef dialog, EventRecord*, DialogItemIndex item) {
  for (SEND_SLOT& slot : SendTbl)
    if (slot.using_ && slot.dlg == dialog) {
      if (item == 1) Cancel_Transfer(&slot);
      return true;
    }
  return false;
}

short update(DialogRef dialog, EventRecord*) {
  BeginUpdate(GetDialogWindow(dialog));
  Set_Content_Color(dialog);
  DrawDialog(dialog);
  EndUpdate(GetDialogWindow(dialog));
  for (SEND_SLOT& slot : SendTbl)
    if (slot.using_ && slot.dlg == dialog) Draw_Send_Byte_Bar(&slot, false);
  return 1;
}

// The file goes out in pieces while the connection takes them.
short sendPieces(SEND_SLOT* slot) {
  switch (Send_FTP_Pieces(slot->ftpData, &slot->fileData.info, kStepBudget, &slot->dataTick, kDataStallTicks)) {
    case kFTPPiecesStalled: return fail(slot, "no data taken for 600 ticks");
    case kFTPPiecesUnreadable: return fail(slot, "the file cannot be read as taken");
    case kFTPPiecesGone: return fail(slot, "the data connection has gone");
    case kFTPPiecesGoOn: break;
  }
  return 0;
}

}  // namespace

void CommandNotifier(FTPEPInfo* context, short status) {
  if (context && status == 2 && context->retryCnt < 2) {
    context->retryCnt++;
    context->isComplete = 0;
  }
}

short Send_Percent(const FILE_DATA& file, bool done) {
  if (file.info.fileSize == 0) return done ? 100 : 0;
  double p = double(file.info.sendSize) * 100.0 / double(file.info.fileSize);
  return static_cast<short>(std::min(100.0, p));
}

short Transfers_Open() {
  short n = 0;
  for (const SEND_SLOT& slot : SendTbl) n += slot.using_ ? 1 : 0;
  return n;
}

short Open_Tcp_Dialog(DialogRef owner, UInt8 view, UInt32 ipAddr, const FSSpec* files, UInt16 count) {
  if (!files || count == 0) return 0;
  SEND_SLOT* slot = nullptr;
  for (SEND_SLOT& s : SendTbl)
    if (!s.using_) {
      slot = &s;
      break;
    }
  if (!slot) return 0;
  FTPEPInfo* ftp = newContext();
  FTPEPInfo* data = newContext();
  auto* list = reinterpret_cast<FSSpec*>(NewPtrClear(static_cast<Size>(sizeof(FSSpec) * count)));
  if (!ftp || !data || !list) {
    DisposePtr(reinterpret_cast<Ptr>(ftp));
    DisposePtr(reinterpret_cast<Ptr>(data));
    DisposePtr(reinterpret_cast<Ptr>(list));
    return 0;
  }
  Free_Slot(slot);
  slot->using_ = 1;
  slot->ownerDlg = owner;
  slot->view = view;
  slot->pbi_ip_addr = ipAddr;
  std::memcpy(list, files, sizeof(FSSpec) * count);
  slot->fileList = list;
  slot->fileData.total_cnt = count;
  slot->fileData.info.fileSpec = list[0];
  slot->ftp = ftp;
  slot->ftpData = data;
  changeState(slot, FTP_STEP_GREETING, kSendRunning, "claimed");
  g_count = 0;

  Str255 title;
  Get_Ini_Text(title, "[STRING]", "FTP=", 0, "upcaster");
  slot->dlg = Open_Usr_Dialog(kSendDialogID, title, Handle_TCPftp_Select_Item, update, nullptr, Handle_Window_Active, nullptr, nullptr);
  if (slot->dlg) {
    Set_Usr_Window_RefCon(slot->dlg, slot);
    Set_Dialog_Font(slot->dlg, 1);
    Set_Content_Color(slot->dlg);
    ControlRef cancel = nullptr;
    Str255 caption;
    Get_Ini_Text(caption, "[BUTTON]", "CANCEL=", 0, "Cancel");
    if (GetDialogItemAsControl(slot->dlg, 1, &cancel) == noErr && cancel) SetControlTitle(cancel, caption);
    Window_Select_Mode(slot->dlg);
    ShowWindow(GetDialogWindow(slot->dlg));
  }

  // The first file: its size when it can be read.
  slot->fileData.send_cnt = 1;
  SInt16 ref = 0;
  if (FSpOpenDF(&slot->fileData.info.fileSpec, fsRdPerm, &ref) == noErr) {
    SInt32 eof = 0;
    if (GetEOF(ref, &eof) == noErr && eof >= 0) {
      slot->fileData.info.fileSize = static_cast<UInt32>(eof);
      slot->readable = 1;
    }
    FSClose(ref);
  }
  slot->fileData.info.sendSize = 0;
  comeBackSoon();
  return 1;
}

short FTP_RcvCommand_async(SEND_SLOT* slot) {
  const FTPStep step =
      FTP_Dialogue_Step(SInt16(slot->cmdNum), {slot->ftp, slot->ftpData, slot->pbi_ip_addr,
                                               &slot->fileData.info.fileSpec, &slot->dataConnect, &slot->dataTick});
  if (step.taken > 0) changeState(slot, UInt16(step.next), kSendRunning, step.why);
  return step.taken;
}

short Send_FTP_Command(SEND_SLOT* slot) {
  if (!slot || !slot->using_ || slot->sendResult != kSendRunning) return 0;
  if (!slot->connect && !slot->dataConnect) {
    // An unreadable file or a name that cannot travel in a command is never
    // reported as sent.
    if (!slot->readable) return fail(slot, "the file cannot be read");
    if (!FTP_Sendable_Name(slot->fileData.info.fileSpec.name)) {
      tb::TraceRefusal("upcaster", "a file name with a line break is never sent");
      return fail(slot, "the file name cannot be sent");
    }
    slot->connect = Ftp_Protocol(slot->ftp, slot->pbi_ip_addr, kFTPControlPort, kFTPConnectTimeoutMs, CommandNotifier,
                                 1) == kOTNoError;
    slot->sendTick = TickCount();
    slot->sendStat = 1;
    Draw_Send_Byte_Bar(slot, false);
    return 0;
  }
  Draw_Send_Byte_Bar(slot, false);
  FTPEPInfo* ftp = slot->ftp;
  if (slot->connect && slot->sendStat == 1) {
    if (ftp->isComplete && slot->cmdNum < FTP_STEP_DATA) return fail(slot, "the control connection has closed");
    if (ftp->isSuccess) {
      if (FTP_Reply_Refused(ftp)) {
        tb::TraceRefusal("upcaster", "the box refused with %s", ftp->reply.code);
        return fail(slot, "the box refused");
      }
      UInt16 before = slot->cmdNum;
      UInt8 wasData = slot->dataConnect;
      short r = FTP_RcvCommand_async(slot);
      if (r < 0) return fail(slot, "a command could not be sent");
      if (slot->cmdNum != before || slot->dataConnect != wasData) slot->sendTick = TickCount();
      else if (slot->cmdNum < FTP_STEP_DATA && TickCount() - slot->sendTick > kReplyTicks)
        return fail(slot, "no reply");
    } else if (TickCount() - slot->sendTick > kGreetingTicks) {
      return fail(slot, "no greeting within 180 ticks");
    }
  }
  FTPEPInfo* data = slot->ftpData;
  FILE_INFO_DATA* file = &slot->fileData.info;
  if (slot->cmdNum == FTP_STEP_DATA && slot->sendResult == kSendRunning) {
    if (!slot->closing) {
      if (!data->isSuccess) {
        if (data->isComplete) return fail(slot, "the data connection closed before the box called");
        if (TickCount() - slot->dataTick > kDataStallTicks) return fail(slot, "the box never called");
        return 0;
      }
      if (file->sendSize < file->fileSize) {
        if (!slot->dataConnect) return fail(slot, "the box ended the transfer early");
        if (data->isComplete) return fail(slot, "the data connection closed early");
        return sendPieces(slot);
      }
      // Every byte went: the orderly close, requested once. Our side is
      // released at once; the box's side, when it is still to come, is
      // left to the reaper, so "226" alone ends the transfer.
      slot->closing = 1;
      g_count = 1;
      slot->dataTick = TickCount();
      if (!FTP_Disconnect(data)) {
        if (FTPEPInfo* closed = newContext()) {
          closed->protocolType = FTP_PROTO_TCP;
          closed->isSuccess = 1;
          closed->isComplete = 1;
          FTP_Release_Context(data);
          slot->ftpData = data = closed;
        }
      }
      data->isComplete = 1;
      comeBackSoon();
      return 0;
    }
    if (data->isComplete && !slot->dataConnect) {
      Draw_Send_Byte_Bar(slot, true);
      Exit_TCPftp_Dialog(slot);
      changeState(slot, slot->cmdNum, kSendDone, "226 and the data connection closed");
      comeBackSoon();
      return 1;
    }
    if (TickCount() - slot->dataTick > kDataStallTicks) return fail(slot, "no 226 within 600 ticks of the close");
  }
  return 0;
}

void Exit_TCPftp_Dialog(SEND_SLOT* slot) {
  if (!slot) return;
  slot->connect = 0;
  slot->dataConnect = 0;
  FTPEPInfo* d = slot->ftpData;
  // A file that did not go whole is aborted, so the box never keeps the
  // part it has as the whole file.
  if (d && d->protocol.tcp.epi.epRef && d->isSuccess && !d->isComplete &&
      slot->fileData.info.sendSize < slot->fileData.info.fileSize)
    OT_SndDisconnect(&d->protocol.tcp.epi);
  for (FTPEPInfo** ctx : {&slot->ftpData, &slot->ftp}) {
    if (!*ctx) continue;
    FTP_Disconnect(*ctx);
    FTP_Release_Context(*ctx);
    *ctx = nullptr;
  }
  DisposePtr(reinterpret_cast<Ptr>(slot->fileList));
  slot->fileList = nullptr;
  if (slot->dlg) {
    if (OpenMovableDlg == slot->dlg) Window_Select_Mode(nullptr);
    Close_Usr_Dialog(slot->dlg);
    slot->dlg = nullptr;
  }
}

void Free_Slot(SEND_SLOT* slot) {
  changeState(slot, 0, kSendRunning, "slot freed");
  *slot = SEND_SLOT{};
}

void Cancel_Transfer(SEND_SLOT* slot) {
  if (!slot || !slot->using_ || slot->sendResult != kSendRunning) return;
  Exit_TCPftp_Dialog(slot);
  changeState(slot, slot->cmdNum, kSendCancelled, "cancelled by the user");
  comeBackSoon();
}

}  // namespace upc

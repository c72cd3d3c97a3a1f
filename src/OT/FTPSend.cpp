// The FTP send sequence: up to eight transfers to one print box, each a
// state machine on the reply codes advanced one step per pass of the event
// loop, and the hand-over of each confirmed file to the host's sent list.
#include "OT/FTPSend.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/pump.h"
#include "toolbox/trace.h"

SEND_WND_INFO SendTbl[kSendTableSize];

namespace {

const FTP_SEND_VIEW* gView = nullptr;

// A step sends at most this many bytes of a file, so the program draws and
// takes its events between them however fast the box reads.
constexpr UInt32 kStepBudget = 1u << 20;

bool stalled(UInt32 since) { return TickCount() - since > kFTPStallTicks; }

// The transfer has more to do at once: the event loop's next wait returns
// without sleeping, so the next step follows straight away.
void comeBackSoon() { tb::Defer([] {}); }

const char* stateName(SInt16 step, SInt16 result) {
  switch (result) {
    case FTP_SEND_DONE: return "done";
    case FTP_SEND_FAILED: return "failed";
    case FTP_SEND_CANCELLED: return "cancelled";
    default: return FTP_Step_Name(step);
  }
}

// The one place a transfer's state (its dialogue step and its outcome)
// changes.
void changeState(SEND_WND_INFO* slot, SInt16 step, SInt16 result, const char* why) {
  if (slot->cmdNum == step && slot->sendResult == result) return;
  tb::TraceState("ftp", "send", slot, stateName(slot->cmdNum, slot->sendResult), stateName(step, result), why);
  slot->cmdNum = step;
  slot->sendResult = result;
}

void setStep(SEND_WND_INFO* slot, SInt16 step, const char* why) { changeState(slot, step, slot->sendResult, why); }

FTPEPInfo* newContext() { return reinterpret_cast<FTPEPInfo*>(NewPtrClear(sizeof(FTPEPInfo))); }

short fail(SEND_WND_INFO* slot, const char* why) {
  Exit_TCPftp_Dialog(slot);
  changeState(slot, slot->cmdNum, FTP_SEND_FAILED, why);
  comeBackSoon();  // the outcome is told in the next step
  return -1;
}

void drawLabels(SEND_WND_INFO* slot) {
  if (gView && gView->drawLabels) gView->drawLabels(slot);
}

void updateMenus() {
  if (gView && gView->updateMenus) gView->updateMenus();
}

// Sends pieces of the file while the connection takes them.
short sendPieces(SEND_WND_INFO* slot) {
  switch (Send_FTP_Pieces(slot->ftpData, &slot->fileData, kStepBudget, &slot->dataTick, kFTPStallTicks)) {
    case kFTPPiecesStalled: return fail(slot, "no data taken for 15 minutes");
    case kFTPPiecesUnreadable: return fail(slot, "the file cannot be read as taken");
    case kFTPPiecesGone: return fail(slot, "the data connection has gone");
    case kFTPPiecesGoOn: break;
  }
  return 0;
}

// The data connection of a file that was not completely sent is aborted, so
// the box never takes the part it has for the whole file.
void abortUnfinishedData(SEND_WND_INFO* slot) {
  FTPEPInfo* d = slot->ftpData;
  if (!d || !d->protocol.tcp.epi.epRef || !d->isSuccess) return;
  if (slot->fileData.sendSize >= slot->fileData.fileSize) return;
  OT_SndDisconnect(&d->protocol.tcp.epi);
}

// Closes the data connection of a completely sent file. A connection that
// would not close in time is left to close on its own; a stand-in tells the
// next steps that it has.
void closeSentData(SEND_WND_INFO* slot) {
  if (FTP_Disconnect(slot->ftpData)) return;
  FTPEPInfo* closed = newContext();
  if (!closed) return;  // the old context stays; the stall limit ends the transfer
  closed->protocolType = FTP_PROTO_TCP;
  closed->isSuccess = 1;
  closed->isComplete = 1;
  FTP_Release_Context(slot->ftpData);
  slot->ftpData = closed;
}

}  // namespace

void FTP_Set_Send_View(const FTP_SEND_VIEW* view) { gView = view; }

SEND_WND_INFO* Get_Send_Table(DialogPtr owner, UInt32 ipAddr, UInt16 fileCount) {
  for (SEND_WND_INFO& slot : SendTbl) {
    if (slot.using_ == 1) continue;
    FTPEPInfo* ftp = newContext();
    FTPEPInfo* data = newContext();
    if (!ftp || !data) {
      DisposePtr(reinterpret_cast<Ptr>(ftp));
      DisposePtr(reinterpret_cast<Ptr>(data));
      return nullptr;
    }
    changeState(&slot, 0, FTP_SEND_RUNNING, "slot claimed");
    slot = SEND_WND_INFO{};
    slot.using_ = 1;
    slot.ownerDlg = owner;
    slot.pbi_ip_addr = ipAddr;
    slot.fileData.total_cnt = fileCount;
    slot.fileData.send_cnt = 0;
    changeState(&slot, FTP_STEP_GREETING, FTP_SEND_RUNNING, "claimed");
    slot.sendTick = 0;
    slot.dataTick = 0;
    slot.ftp = ftp;
    slot.ftpData = data;
    comeBackSoon();  // the first step runs at once, not after the loop's sleep
    return &slot;
  }
  return nullptr;
}

SEND_WND_INFO* Get_Send_Data_Table(DialogPtr dlg) {
  if (!dlg) return nullptr;
  for (SEND_WND_INFO& slot : SendTbl)
    if (slot.dlg == dlg) return &slot;
  return nullptr;
}

short Do_Ftp_Dialog_Open(DialogPtr owner) {
  for (const SEND_WND_INFO& slot : SendTbl)
    if (slot.using_ == 1 && slot.ownerDlg == owner) return 1;
  return 0;
}

short Get_File_Total_Size(SEND_WND_INFO* slot, FILE_INFO_DATA* file) {
  if (!slot || !file) return 0;
  FSSpec fss{};
  if (!Get_FileSpec_FromList(slot->ownerDlg, &fss)) return 0;
  file->send_cnt++;
  file->fileSpec = fss;
  file->fileSize = 0;
  file->sendSize = 0;
  SInt16 ref = 0;
  if (FSpOpenDF(&fss, fsRdPerm, &ref) == noErr) {
    SInt32 eof = 0;
    if (GetEOF(ref, &eof) == noErr && eof > 0) file->fileSize = static_cast<UInt32>(eof);
    FSClose(ref);
  }
  return 1;
}

short Open_Ftp_Protocol(SEND_WND_INFO* slot) {
  if (!slot || !slot->ftp) return 0;
  return Ftp_Protocol(slot->ftp, slot->pbi_ip_addr, kFTPControlPort, kFTPConnectTimeoutMs, nullptr, 1) ==
                 kOTNoError
             ? 1
             : 0;
}

short FTP_RcvCommand_async(SEND_WND_INFO* slot) {
  if (!slot) return 0;
  const FTPStep step = FTP_Dialogue_Step(slot->cmdNum, {slot->ftp, slot->ftpData, slot->pbi_ip_addr,
                                                        &slot->fileData.fileSpec, &slot->dataConnect, &slot->dataTick});
  if (step.taken > 0) setStep(slot, step.next, step.why);
  return step.taken;
}

short Send_FTP_Command(SEND_WND_INFO* slot) {
  if (!slot || slot->using_ != 1 || slot->sendResult != FTP_SEND_RUNNING) return 0;
  FILE_INFO_DATA* file = &slot->fileData;
  if (!Draw_Send_Data(slot)) {
    drawLabels(slot);
    return fail(slot, "the file is empty or cannot be read");
  }
  if (!slot->connect && !slot->dataConnect) {
    slot->connect = Open_Ftp_Protocol(slot) ? 1 : 0;
    slot->sendTick = TickCount();
    slot->sendStat = 1;
    return slot->connect ? 0 : fail(slot, "the control connection cannot be opened");
  }
  if (!slot->connect || slot->sendStat != 1) return 0;

  FTPEPInfo* ftp = slot->ftp;
  // The box closed the control connection, or it never opened.
  if (ftp->isComplete) return fail(slot, "the control connection has closed");
  if (!ftp->isSuccess) return stalled(slot->sendTick) ? fail(slot, "no greeting for 15 minutes") : 0;
  if (FTP_Reply_Refused(ftp)) {
    tb::TraceRefusal("ftp", "the box refused with %s", ftp->reply.code);
    return fail(slot, "the box refused");
  }

  SInt16 state = slot->cmdNum;
  Boolean wasInData = slot->dataConnect;
  short step = FTP_RcvCommand_async(slot);
  if (step < 0) return fail(slot, "a command could not be sent");
  if (slot->cmdNum != state || slot->dataConnect != wasInData) slot->sendTick = TickCount();
  if (slot->cmdNum != FTP_STEP_DATA) return stalled(slot->sendTick) ? fail(slot, "no reply for 15 minutes") : 0;

  // The data phase.
  FTPEPInfo* data = slot->ftpData;
  if (!data->isComplete) {
    if (!data->isSuccess) return stalled(slot->dataTick) ? fail(slot, "the box never called") : 0;
    if (file->sendSize < file->fileSize) {
      // The box may not end the transfer before it has the whole file.
      if (!slot->dataConnect) return fail(slot, "the box ended the transfer early");
      return sendPieces(slot);
    }
    if (!slot->draw) {
      slot->draw = 1;  // 100% is shown first
      comeBackSoon();
      return 0;
    }
    closeSentData(slot);
    slot->draw = 0;
    slot->sendTick = TickCount();  // the box's confirmation is timed from here
    comeBackSoon();  // it may have come while the connection closed
    return 0;
  }
  // The data connection has closed: the file counts once it went whole and
  // the box has confirmed it.
  if (!data->isSuccess || file->sendSize < file->fileSize) return fail(slot, "the data connection closed early");
  if (slot->dataConnect) return stalled(slot->sendTick) ? fail(slot, "no confirmation for 15 minutes") : 0;

  Move_FTP_File(slot->ownerDlg);
  if (file->send_cnt < file->total_cnt && Get_File_Total_Size(slot, file)) {
    if (!Draw_Send_Data(slot)) {
      drawLabels(slot);
      return fail(slot, "the file is empty or cannot be read");
    }
    drawLabels(slot);
    // The next file goes through the same control connection: the dialogue
    // goes on as after "CWD lp".
    std::memcpy(ftp->rcvLargeBuf, "250", 4);
    ftp->rcvLargeBufLen = ftp->rcvOffset = 3;
    setStep(slot, FTP_STEP_CWD, "next file");
    if (FTP_RcvCommand_async(slot) < 0) return fail(slot, "a command could not be sent");
    slot->sendTick = TickCount();
    return 0;
  }
  Exit_TCPftp_Dialog(slot);
  slot->draw = 0;
  changeState(slot, slot->cmdNum, FTP_SEND_DONE, "every file sent");
  comeBackSoon();
  return 1;
}

void Update_Send_Window() {
  FTP_Reap_Contexts();
  for (SEND_WND_INFO& slot : SendTbl) {
    if (slot.using_ != 1) continue;
    if (slot.sendResult == FTP_SEND_RUNNING) {
      Send_FTP_Command(&slot);
      continue;
    }
    SInt16 result = slot.sendResult;
    Last_Table_Init(&slot);
    if (gView && gView->showOutcome) gView->showOutcome(&slot, result);
  }
}

short Exit_TCPftp_Dialog(SEND_WND_INFO* slot) {
  if (!slot) return 0;
  Free_Send_Table(slot);
  if (slot->dlg && gView && gView->closeWindow) gView->closeWindow(slot);
  slot->dlg = nullptr;
  updateMenus();
  return 1;
}

void FTP_Cancel_Send(SEND_WND_INFO* slot) {
  if (!slot) return;
  Exit_TCPftp_Dialog(slot);
  changeState(slot, slot->cmdNum, FTP_SEND_CANCELLED, "cancelled by the user");
  comeBackSoon();
}

void Free_Send_Table(SEND_WND_INFO* slot) {
  if (!slot) return;
  slot->connect = 0;
  slot->dataConnect = 0;
  abortUnfinishedData(slot);
  for (FTPEPInfo** ctx : {&slot->ftpData, &slot->ftp}) {
    if (!*ctx) continue;
    FTP_Disconnect(*ctx);
    FTP_Release_Context(*ctx);
    *ctx = nullptr;
  }
}

void Last_Table_Init(SEND_WND_INFO* slot) {
  if (!slot) return;
  slot->ownerDlg = nullptr;
  slot->pbi_ip_addr = 0;
  slot->fileData = FILE_INFO_DATA{};
  std::memset(slot->percentStr, 0, sizeof slot->percentStr);
  changeState(slot, 0, FTP_SEND_RUNNING, "slot freed");
  slot->using_ = 0;
  slot->draw = slot->connect = slot->dataConnect = 0;
  slot->sendTick = slot->dataTick = 0;
  slot->sendStat = 0;
  updateMenus();
}

void Size_Scale(UInt64 bytes, StringPtr text) {
  static const char* const kUnits[] = {"Byte", "KB", "MB"};
  UInt64 whole = bytes, hundredths = 0;
  int unit = 0;
  while (whole > 1023 && unit < 2) {
    hundredths = (whole % 1024) * 100 / 1024;
    whole /= 1024;
    ++unit;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%llu.%02llu %s", static_cast<unsigned long long>(whole),
                static_cast<unsigned long long>(hundredths), kUnits[unit]);
  pstr::set(text, sizeof(Str255), buf);
}

short Draw_Send_Data(SEND_WND_INFO* slot) {
  if (!slot) return 0;
  const FILE_INFO_DATA& file = slot->fileData;
  UInt64 percent = file.fileSize ? UInt64(file.sendSize) * 100 / file.fileSize : 0;
  Str255 sent;
  Str255 size;
  Size_Scale(file.sendSize, sent);
  Size_Scale(file.fileSize, size);
  char text[sizeof(Str63)];
  std::snprintf(text, sizeof text, "%s / %s ( %llu %% )", pstr::str(sent).c_str(), pstr::str(size).c_str(),
                static_cast<unsigned long long>(percent));
  Str63 now;
  pstr::set(now, sizeof now, text);
  bool changed = !pstr::equal(now, slot->percentStr);
  if (changed) pstr::copy(slot->percentStr, sizeof slot->percentStr, now);
  if (gView && gView->drawProgress)
    gView->drawProgress(slot, changed ? now : nullptr, static_cast<short>(std::min<UInt64>(percent, 100)));
  return file.fileSize ? 1 : 0;
}

#include "OT/FTPSend.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/pump.h"

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

std::string_view collected(const FTPEPInfo* ctx) {
  UInt32 len = std::min<UInt32>(ctx->rcvLargeBufLen, kFTPLargeBufSize - 1);
  return std::string_view(reinterpret_cast<const char*>(ctx->rcvLargeBuf), len);
}

// Codes are looked for anywhere in the text collected since the last
// command, as the boxes' replies have always been read.
bool holds(const FTPEPInfo* ctx, std::string_view code) {
  return collected(ctx).find(code) != std::string_view::npos;
}

bool threeDigits(std::string_view line) {
  return line.size() >= 3 && std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; });
}

// True when the collected text holds a complete reply that refuses (a code
// beginning with 4 or 5). The lines inside a multi-line reply ("220-" up to
// "220 ") are its text, whatever they begin with.
bool refused(const FTPEPInfo* ctx) {
  std::string_view text = collected(ctx);
  std::string_view open;  // code of the multi-line reply being read
  std::size_t pos = 0;
  for (;;) {
    std::size_t end = text.find("\r\n", pos);
    if (end == std::string_view::npos) return false;
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 2;
    if (!open.empty()) {
      if (line.size() >= 4 && line.substr(0, 3) == open && line[3] == ' ') open = {};
      continue;
    }
    if (!threeDigits(line)) continue;
    if (line.size() >= 4 && line[3] == '-') {
      open = line.substr(0, 3);
      continue;
    }
    if (line[0] == '4' || line[0] == '5') return true;
  }
}

bool sendText(FTPEPInfo* ctx, const char* text) {
  UInt32 len = static_cast<UInt32>(std::strlen(text));
  return FTP_Get_Command(ctx, text, len, nullptr, 0) == static_cast<OTResult>(len);
}

// A name that would break the command line it travels in is never sent.
bool sendableName(const FSSpec& fss) {
  for (int i = 1; i <= fss.name[0]; ++i) {
    unsigned char c = fss.name[i];
    if (c == '\r' || c == '\n' || c == 0) return false;
  }
  return true;
}

FTPEPInfo* newContext() { return reinterpret_cast<FTPEPInfo*>(NewPtrClear(sizeof(FTPEPInfo))); }

short fail(SEND_WND_INFO* slot) {
  Exit_TCPftp_Dialog(slot);
  slot->sendResult = FTP_SEND_FAILED;
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
  FILE_INFO_DATA* file = &slot->fileData;
  UInt32 sent = 0;
  while (file->sendSize < file->fileSize) {
    if (sent >= kStepBudget) {
      comeBackSoon();
      break;
    }
    OTResult r = Start_FTP_Data(slot->ftpData, file);
    if (r > 0) {
      slot->dataTick = TickCount();
      sent += static_cast<UInt32>(r);
      continue;
    }
    // Nothing taken now: the connection is full, or not yet writable.
    if (r == 0 || r == kOTFlowErr) {
      if (stalled(slot->dataTick)) return fail(slot);
      break;
    }
    // The file cannot be read, or the connection has gone.
    return fail(slot);
  }
  if (file->sendSize >= file->fileSize) comeBackSoon();  // to show 100% and close
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
    slot = SEND_WND_INFO{};
    slot.using_ = 1;
    slot.ownerDlg = owner;
    slot.pbi_ip_addr = ipAddr;
    slot.fileData.total_cnt = fileCount;
    slot.fileData.send_cnt = 0;
    slot.cmdNum = 1;
    slot.sendTick = 0;
    slot.dataTick = 0;
    slot.sendResult = FTP_SEND_RUNNING;
    slot.ftp = ftp;
    slot.ftpData = data;
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
  if (!slot || !slot->ftp || !slot->ftpData) return 0;
  FTPEPInfo* ftp = slot->ftp;
  char line[kFTPCmdSize];
  switch (slot->cmdNum) {
    case 1:
      if (!holds(ftp, "220")) return 0;
      if (!sendText(ftp, "USER user\r\n")) return -1;
      slot->cmdNum = 2;
      return 1;
    case 2:
      if (!holds(ftp, "331")) return 0;
      if (!sendText(ftp, "PASS fern\r\n")) return -1;
      slot->cmdNum = 3;
      return 1;
    case 3:
      if (!holds(ftp, "230")) return 0;
      if (!sendText(ftp, "CWD lp\r\n")) return -1;
      slot->cmdNum = 4;
      return 1;
    case 4:
      if (!holds(ftp, "250")) return 0;
      if (FtpData_Protocol(slot->ftpData, slot->pbi_ip_addr, kFTPDataPort, kFTPConnectTimeoutMs, nullptr, 1) !=
          kOTNoError)
        return -1;
      if (!sendText(ftp, "TYPE I\r\n")) return -1;
      slot->cmdNum = 5;
      return 1;
    case 5: {
      if (!holds(ftp, "200")) return 0;
      FTPEPInfo* data = slot->ftpData;
      if (data->lportPort == 0) {
        // Still binding; a listener that closed without a port never will.
        return data->isComplete ? -1 : 1;
      }
      char addr[16];
      iptoport(OT_GetMyIpAddress(), addr);
      std::snprintf(line, sizeof line, "PORT %s,%d,%d\r\n", addr, data->lportPort >> 8, data->lportPort & 0xFF);
      if (!sendText(ftp, line)) return -1;
      slot->cmdNum = 6;
      return 1;
    }
    case 6: {
      if (!holds(ftp, "200")) return 0;
      const FSSpec& fss = slot->fileData.fileSpec;
      if (!sendableName(fss)) return -1;
      char name[64];
      pstr::toC(name, sizeof name, fss.name);
      std::snprintf(line, sizeof line, "STOR %s\r\n", name);
      if (!sendText(ftp, line)) return -1;
      slot->cmdNum = 7;
      return 1;
    }
    case 7:
      if (!holds(ftp, "150")) return 0;
      slot->dataConnect = 1;
      // The data phase is timed from its start until a piece goes.
      slot->dataTick = TickCount();
      slot->cmdNum = 8;
      return 1;
    case 8:
      if (!holds(ftp, "226")) return 0;
      slot->dataConnect = 0;
      return 1;
    default:
      return 0;
  }
}

short Send_FTP_Command(SEND_WND_INFO* slot) {
  if (!slot || slot->using_ != 1 || slot->sendResult != FTP_SEND_RUNNING) return 0;
  FILE_INFO_DATA* file = &slot->fileData;
  if (!Draw_Send_Data(slot)) {
    drawLabels(slot);
    return fail(slot);
  }
  if (!slot->connect && !slot->dataConnect) {
    slot->connect = Open_Ftp_Protocol(slot) ? 1 : 0;
    slot->sendTick = TickCount();
    slot->sendStat = 1;
    return slot->connect ? 0 : fail(slot);
  }
  if (!slot->connect || slot->sendStat != 1) return 0;

  FTPEPInfo* ftp = slot->ftp;
  // The box closed the control connection, or it never opened.
  if (ftp->isComplete) return fail(slot);
  if (!ftp->isSuccess) return stalled(slot->sendTick) ? fail(slot) : 0;
  if (refused(ftp)) return fail(slot);

  SInt16 state = slot->cmdNum;
  Boolean wasInData = slot->dataConnect;
  short step = FTP_RcvCommand_async(slot);
  if (step < 0) return fail(slot);
  if (slot->cmdNum != state || slot->dataConnect != wasInData) slot->sendTick = TickCount();
  if (slot->cmdNum != 8) return stalled(slot->sendTick) ? fail(slot) : 0;

  // The data phase.
  FTPEPInfo* data = slot->ftpData;
  if (!data->isComplete) {
    if (!data->isSuccess) return stalled(slot->dataTick) ? fail(slot) : 0;  // the box has not called yet
    if (file->sendSize < file->fileSize) {
      // The box may not end the transfer before it has the whole file.
      if (!slot->dataConnect) return fail(slot);
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
  if (!data->isSuccess || file->sendSize < file->fileSize) return fail(slot);
  if (slot->dataConnect) return stalled(slot->sendTick) ? fail(slot) : 0;

  Move_FTP_File(slot->ownerDlg);
  if (file->send_cnt < file->total_cnt && Get_File_Total_Size(slot, file)) {
    if (!Draw_Send_Data(slot)) {
      drawLabels(slot);
      return fail(slot);
    }
    drawLabels(slot);
    // The next file goes through the same control connection: the dialogue
    // goes on as after "CWD lp".
    std::memcpy(ftp->rcvLargeBuf, "250", 4);
    ftp->rcvLargeBufLen = ftp->rcvOffset = 3;
    slot->cmdNum = 4;
    if (FTP_RcvCommand_async(slot) < 0) return fail(slot);
    slot->sendTick = TickCount();
    return 0;
  }
  Exit_TCPftp_Dialog(slot);
  slot->draw = 0;
  slot->sendResult = FTP_SEND_DONE;
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
  slot->sendResult = FTP_SEND_RUNNING;
  slot->using_ = 0;
  slot->draw = slot->connect = slot->dataConnect = 0;
  slot->cmdNum = 0;
  slot->sendTick = slot->dataTick = 0;
  slot->sendStat = 0;
  updateMenus();
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

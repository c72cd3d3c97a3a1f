// The FTP control dialogue of an upload (see FTPDialogue.h): each step
// waits for its reply code anywhere in the collected text, then sends the
// next command.
#include "OT/FTPDialogue.h"

#include <cstdio>
#include <cstring>

#include "toolbox/clock.h"
#include "toolbox/trace.h"

namespace {

bool sendText(FTPEPInfo* ctx, const char* text) {
  UInt32 len = static_cast<UInt32>(std::strlen(text));
  return FTP_Get_Command(ctx, text, len, nullptr, 0) == static_cast<OTResult>(len);
}

constexpr FTPStep waiting(SInt16 step) { return {0, step, nullptr}; }
constexpr FTPStep failed(SInt16 step) { return {-1, step, nullptr}; }

// The awaited reply came: the command goes, and the dialogue moves on.
FTPStep sendThen(SInt16 step, FTPEPInfo* ctx, const char* text, SInt16 next, const char* why) {
  return sendText(ctx, text) ? FTPStep{1, next, why} : failed(step);
}

}  // namespace

const char* FTP_Step_Name(SInt16 step) {
  static const char* const kNames[] = {"idle", "greeting", "user", "pass", "cwd", "type", "port", "stor", "data"};
  return step >= FTP_STEP_GREETING && step <= FTP_STEP_DATA ? kNames[step] : kNames[0];
}

bool FTP_Sendable_Name(ConstStr255Param name) {
  if (name[0] == 0) return false;
  for (int i = 1; i <= name[0]; ++i)
    if (name[i] == '\r' || name[i] == '\n' || name[i] == 0) return false;
  return true;
}

FTPStep FTP_Dialogue_Step(SInt16 step, const FTPDialogue& d) {
  FTPEPInfo* ftp = d.control;
  if (!ftp || !d.data) return waiting(step);
  char line[kFTPCmdSize];
  switch (step) {
    case FTP_STEP_GREETING:
      if (!FTP_Reply_Holds(ftp, "220")) return waiting(step);
      return sendThen(step, ftp, "USER user\r\n", FTP_STEP_USER, "220");
    case FTP_STEP_USER:
      if (!FTP_Reply_Holds(ftp, "331")) return waiting(step);
      return sendThen(step, ftp, "PASS fern\r\n", FTP_STEP_PASS, "331");
    case FTP_STEP_PASS:
      if (!FTP_Reply_Holds(ftp, "230")) return waiting(step);
      return sendThen(step, ftp, "CWD lp\r\n", FTP_STEP_CWD, "230");
    case FTP_STEP_CWD:
      if (!FTP_Reply_Holds(ftp, "250")) return waiting(step);
      // The data connection listens on the address the box reaches us on,
      // and takes only the box's call.
      d.data->listenIpAddr = FTP_Local_Address(ftp);
      if (FtpData_Protocol(d.data, d.boxAddr, kFTPDataPort, kFTPConnectTimeoutMs, nullptr, 1) != kOTNoError)
        return failed(step);
      return sendThen(step, ftp, "TYPE I\r\n", FTP_STEP_TYPE, "250");
    case FTP_STEP_TYPE: {
      if (!FTP_Reply_Holds(ftp, "200")) return waiting(step);
      // Still binding; a listener that closed without a port never will.
      if (d.data->lportPort == 0) return d.data->isComplete ? failed(step) : FTPStep{1, step, nullptr};
      // The address the listener is bound to.
      char addr[16];
      iptoport(d.data->protocol.tcp.localIpAddr, addr);
      std::snprintf(line, sizeof line, "PORT %s,%u,%u\r\n", addr, unsigned(d.data->lportPort >> 8),
                    unsigned(d.data->lportPort & 0xFF));
      return sendThen(step, ftp, line, FTP_STEP_PORT, "200");
    }
    case FTP_STEP_PORT: {
      if (!FTP_Reply_Holds(ftp, "200")) return waiting(step);
      if (!d.file || !FTP_Sendable_Name(d.file->name)) {
        tb::TraceRefusal("ftp", "a file name that cannot travel in a command line is never sent");
        return failed(step);
      }
      char name[64];
      pstr::toC(name, sizeof name, d.file->name);
      std::snprintf(line, sizeof line, "STOR %s\r\n", name);
      return sendThen(step, ftp, line, FTP_STEP_STOR, "200");
    }
    case FTP_STEP_STOR:
      if (!FTP_Reply_Holds(ftp, "150")) return waiting(step);
      *d.dataPhase = 1;
      *d.dataTick = TickCount();
      return {1, FTP_STEP_DATA, "150"};
    case FTP_STEP_DATA:
      if (!FTP_Reply_Holds(ftp, "226")) return waiting(step);
      if (*d.dataPhase) tb::TraceNote("ftp", "transfer to %p: 226, the box has the file", static_cast<void*>(ftp));
      *d.dataPhase = 0;
      return {1, step, "226"};
    default: return waiting(step);
  }
}

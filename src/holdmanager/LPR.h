// Upload of local files into a hold folder of the print box: one
// line-printer job (RFC 1179) per file over TCP port 515, from a reserved
// local port 721-731, into the queue "hold_N" of the N-th folder by name.
// LPRPrint runs one step per call (as far as the session goes in a few
// milliseconds); the command engine turns its codes into the command's end.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "OT/OTEndpoint.h"
#include "toolbox/types.h"

constexpr UInt16 kLPRPort = 515;
constexpr UInt16 kLPRFirstLocalPort = 721;
constexpr UInt16 kLPRLastLocalPort = 731;
constexpr std::size_t kLPRBlock = 16384;
// The file is read in pieces of four blocks: each read once and sent while
// it is still in the processor's cache (larger pieces read slower here).
constexpr std::size_t kLPRPiece = 4 * kLPRBlock;
// How long one step may go on while the session moves.
constexpr UInt64 kLPRStepMicros = 8000;

// Codes of LPRPrint.
enum : SInt16 {
  LPR_WORKING = 1,
  LPR_NEXT_FILE = 2,
  LPR_ALL_SENT = -85,
  LPR_ERR_TIMEOUT = -86,
  LPR_ERR_OVERRUN = -87,
  LPR_ERR_END_BYTE = -88,
  LPR_ERR_READ_FILE = -92,
  LPR_ERR_OPEN_FILE = -94,
  LPR_ERR_SEND = -96,
  LPR_ERR_OPEN_ENDPOINT = -99,
  LPR_ERR_INCOMPLETE = -100,
  // The daemon answered a step with a non-zero acknowledgement (a refusal).
  LPR_ERR_REFUSED = -101,
};

// Program-wide connection states of the upload's endpoint.
enum : UInt16 { LPR_CONNECTING = 0, LPR_IDLE = 1, LPR_CONNECTED = 2, LPR_CLOSED = 16 };

struct LPR_JOB {
  TCPEPInfo* ep;
  char host[64];
  char queue[32];
  char user[64];
  char jobName[264];
  std::vector<std::string> files;  // full paths, in list order
  UInt32 jobNumber;
  UInt64 fileSize;
  UInt64 bytesSent;
  UInt32 controlLen;
  UInt32 controlSent;
  UInt16 state;
  UInt16 nextState;
  SInt32 progress;
  UInt32 ipAddr;
  UInt16 fileCount;
  UInt16 currentFile;
  UInt32 timeout;  // ms; all ones: none
  UInt8 fileComplete;
  UInt8 timedOut;
  UInt32 timeStamp;
  // The message being sent, and how much of it went (a send the flow
  // control cut short goes on from there).
  std::vector<UInt8> out;
  std::size_t outSent;
  // The piece of the file read and not yet sent, from dataAt on.
  std::vector<UInt8> data;
  std::size_t dataAt;
  std::FILE* file;
  SInt16 failure;  // the code a failed step reported
  // Told from the notifier whenever the connection has news: the daemon
  // answered (the connection, an acknowledgement, its end of the
  // connection) or the socket takes data again. The session that waits on
  // it between two steps can go on at the loop's next turn rather than an
  // idle interval on, so the daemon is not left without data meanwhile.
  void (*answered)(void* cookie);
  void* answeredCookie;
};

extern UInt16 g_lprState;
extern UInt16 gLocalPort;

// Makes the job of an upload: files into queue "hold_<folderValue>" of the
// box. host and user are this computer's name and its owner (either empty
// gives the dotted address). Null when it cannot be made.
LPR_JOB* LPRMakeJob(const std::vector<std::string>& files, int folderValue, UInt32 boxAddr, UInt32 timeoutSeconds,
                    const std::string& hostName, const std::string& ownerName);
void LPRFree(LPR_JOB* job);

// One step: the session goes on from state to state, block after block,
// for at most kLPRStepMicros, waiting within that time for the daemon's
// answers and for the socket to take more; it ends early when a file or
// the job ends. *code gets the step's code, the result is the percent sent
// of the current file.
SInt32 LPRPrint(LPR_JOB* job, SInt16* code);
OSStatus LPRBind(TCPEPInfo* ep, TBind* ret);
void LPRNotifyProc(void* context, OTEventCode code, OTResult result, void* cookie);
OTResult SendEndofFile(LPR_JOB* job);
void LPRClose(LPR_JOB* job);

// The control file of the job's current file.
std::string LPRControlFile(const LPR_JOB* job);
// A value fit for a control-file line: control characters removed, cut to max bytes.
std::string LPRCleanValue(const std::string& v, std::size_t max);

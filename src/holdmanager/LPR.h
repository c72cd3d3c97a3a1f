// Upload of local files into a hold folder of the print box: one
// line-printer job (RFC 1179) per file over TCP port 515, from a reserved
// local port 721-731, into the queue "hold_N" of the N-th folder by name.
// LPRPrint runs one step per call (as far as the session goes in a few
// milliseconds without waiting); the command engine turns its codes into
// the command's end. Nothing here waits on the event loop: a step or a close
// never runs another step inside it, so the job cannot be freed under it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "OT/OTEndpoint.h"
#include "toolbox/cfstring.h"
#include "toolbox/files.h"
#include "toolbox/pump.h"
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
// How long a cancelled connection waits for the daemon's side of its
// orderly release before it is cut off.
constexpr UInt32 kLPRCloseWaitTicks = 30;

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

// The states of an upload (their numbers are those of the design): 0-16
// send one file, EndFile ends its connection and starts the next file or
// finishes.
enum class LprState : UInt16 {
  Start = 0,
  Open = 1,
  Connecting = 2,
  AckWait = 3,
  Job = 4,
  DataHead = 5,
  Data = 6,
  DataCheck = 7,
  DataEnd = 8,
  CtrlHead = 9,
  Ctrl = 10,
  CtrlCheck = 11,
  CtrlEnd = 12,
  Disconnect = 13,
  Closing1 = 14,
  Closing2 = 15,
  Closed = 16,
  Finished = 17,
  EndFile = 18,
};

// The state of the upload's connection, program-wide (g_lprState), as its
// notifier learns it.
enum class LprLink : UInt16 { Connecting = 0, Idle = 1, Connected = 2, Closed = 16 };

// An endpoint record whose endpoint is closed (synchronously) with it.
struct LPREndpointCloser {
  void operator()(TCPEPInfo* ep) const;
};
using LPREndpoint = std::unique_ptr<TCPEPInfo, LPREndpointCloser>;

struct LPR_JOB {
  LPREndpoint ep;  // made at the start of each file, closed at its end
  char host[64] = {};
  char queue[32] = {};
  char user[64] = {};
  char jobName[264] = {};                         // the current file's name (the program's own text)
  TextEncoding encoding = kCFStringEncodingUTF8;  // the box's, for the names the control file gives it
  std::vector<FSSpec> files;  // in list order
  UInt32 jobNumber = 0;
  UInt64 fileSize = 0;
  UInt64 bytesSent = 0;
  UInt32 controlLen = 0;
  UInt32 controlSent = 0;
  LprState state = LprState::Start;
  LprState nextState = LprState::Start;
  SInt32 progress = 0;
  UInt32 ipAddr = 0;
  UInt16 fileCount = 0;
  UInt16 currentFile = 0;
  UInt16 filesSent = 0;  // files the daemon has whole, from the first on
  UInt32 timeout = 0;    // ms; all ones: none
  UInt8 fileComplete = 0;
  UInt8 timedOut = 0;
  UInt32 timeStamp = 0;
  // The message being sent, and how much of it went (a send the flow
  // control cut short goes on from there).
  std::vector<UInt8> out;
  std::size_t outSent = 0;
  // The piece of the file read and not yet sent, from dataAt on.
  std::vector<UInt8> data;
  std::size_t dataAt = 0;
  tb::UniqueFd file;   // the current file, open from its size to its end byte
  SInt16 failure = 0;  // the code a failed step reported
  // A close asked for (LPRClose) waits from closeStart for the daemon's
  // side of the release.
  bool closing = false;
  UInt32 closeStart = 0;
  // Steps and closes running on the job: it is never freed meanwhile.
  int inUse = 0;
  // Told whenever the session can go on at once: the daemon answered (the
  // connection, an acknowledgement, its end of the connection), the socket
  // takes data again, or a step stopped at its time with more to send. The
  // program then brings the next step at the loop's next turn rather than
  // an idle interval on, so the daemon is not left without data.
  void (*wake)(void* cookie) = nullptr;
  void* wakeCookie = nullptr;
};

extern LprLink g_lprState;
extern UInt16 gLocalPort;

// Frees the job (closing its connection and file); never while a step or
// a close runs on it.
void LPRFree(LPR_JOB* job);
struct LPRFreeDeleter {
  void operator()(LPR_JOB* job) const { LPRFree(job); }
};
using LPRJobPtr = std::unique_ptr<LPR_JOB, LPRFreeDeleter>;

// Makes the job of an upload: files into queue "hold_<folderValue>" of the
// box. host and user are this computer's name and its owner (either empty
// gives the dotted address); the job and source names go to the box in
// encoding. Null when it cannot be made.
LPRJobPtr LPRMakeJob(const std::vector<FSSpec>& files, int folderValue, UInt32 boxAddr, UInt32 timeoutSeconds,
                     const std::string& hostName, const std::string& ownerName,
                     TextEncoding encoding = kCFStringEncodingUTF8);

// One step: the session goes on from state to state, block after block,
// for at most kLPRStepMicros, until it has to wait for the daemon or for
// the socket to take more (job->wake then tells when it can go on); it
// ends early when a file or the job ends. *code gets the step's code, the
// result is the percent sent of the current file.
SInt32 LPRPrint(LPR_JOB* job, SInt16* code);
OSStatus LPRBind(TCPEPInfo* ep, TBind* ret);
void LPRNotifyProc(void* context, OTEventCode code, OTResult result, void* cookie);
OTResult SendEndofFile(LPR_JOB* job);
// Ends the connection: after the end of the job the job only reports it
// incomplete; a connection that is up is released in order, and the next
// steps wait at most kLPRCloseWaitTicks for the daemon's side before they
// cut it off and report the file incomplete.
void LPRClose(LPR_JOB* job);

// The control file of the job's current file. Its job and source names are
// the file's name in the job's encoding (kept as it is where the encoding
// cannot hold it; the program refuses such names before an upload).
std::string LPRControlFile(const LPR_JOB* job);
// A value fit for a control-file line: control characters removed, cut to
// max bytes on a character boundary of encoding.
std::string LPRCleanValue(const std::string& v, std::size_t max, TextEncoding encoding = kCFStringEncodingUTF8);

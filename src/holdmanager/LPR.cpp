// Uploading local files into a hold folder over the line-printer protocol,
// one step per call, from a reserved local port.
#include "holdmanager/LPR.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "holdmanager/HoldData.h"
#include "holdmanager/VFMP.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/invariant.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"

LprLink g_lprState = LprLink::Idle;
UInt16 gLocalPort = kLPRFirstLocalPort;

namespace {

OTNotifyUPP gLPRNotifyProc = nullptr;
// Bind statics: the address asked for and returned, the attempts, and
// whether an unbind is to be followed by another bind.
InetAddress gBindAddr;
TBind gBindReq;
int gBindAttempts = 0;
bool gRebinding = false;
// The option buffer of the negotiation: reuse address, no delay, send buffer.
constexpr int kLPROptions = 3;
alignas(4) UInt8 gOptBuf[kLPROptions * kOTFourByteOptionSize];
// The data the socket holds while the program waits for its next step: the
// daemon goes on taking it through the idle interval between two steps.
constexpr UInt32 kLPRSendBuffer = 8u << 20;
TOptMgmt gOptReq, gOptRet;

const char* stateName(LprState s) {
  static const char* names[] = {"start",    "open",        "connecting",   "ack-wait",    "job",     "data-head",
                                "data",     "data-check",  "data-end",     "ctrl-head",   "ctrl",    "ctrl-check",
                                "ctrl-end", "disconnect",  "closing-1",    "closing-2",   "closed",  "finished",
                                "end-file"};
  static_assert(std::size(names) == std::size_t(LprState::EndFile) + 1, "a name for every state");
  const auto i = std::size_t(s);
  return i < std::size(names) ? names[i] : "?";
}

const char* linkName(LprLink s) {
  switch (s) {
    case LprLink::Connecting: return "connecting";
    case LprLink::Idle: return "idle";
    case LprLink::Connected: return "connected";
    case LprLink::Closed: return "closed";
  }
  return "?";
}

void setState(LPR_JOB* job, LprState s, const char* why = nullptr) {
  if (job->state == s) return;
  tb::TraceState("lpr", "upload", job, stateName(job->state), stateName(s), why);
  job->state = s;
}

// The one place the connection's state changes.
void setLink(LprLink s, const char* why) {
  if (g_lprState == s) return;
  tb::TraceState("lpr", "connection", &g_lprState, linkName(g_lprState), linkName(s), why);
  g_lprState = s;
}

bool linkClosed() { return g_lprState == LprLink::Closed; }

// A step or a close in progress on the job.
class InUse {
 public:
  explicit InUse(LPR_JOB* job) : job_(job) { ++job_->inUse; }
  ~InUse() { --job_->inUse; }
  InUse(const InUse&) = delete;
  InUse& operator=(const InUse&) = delete;

 private:
  LPR_JOB* job_;
};

UInt16 nextPort(UInt16 p) { return p == 0 || p >= kLPRLastLocalPort ? kLPRFirstLocalPort : UInt16(p + 1); }

void copyText(char* dest, std::size_t size, const std::string& s) {
  const std::size_t n = tb::CharCutLength(s, size - 1);
  std::memcpy(dest, s.data(), n);
  dest[n] = 0;
}

void nameJob(LPR_JOB* job) {
  copyText(job->jobName, sizeof job->jobName, pstr::str(job->files[job->currentFile].name));
}

std::string nnn(const LPR_JOB* job) {
  char b[8];
  std::snprintf(b, sizeof b, "%03u", unsigned(job->jobNumber % 1000));
  return b;
}

// The host as it goes into file names: no spaces or control characters.
std::string fileHost(const LPR_JOB* job) { return LPRCleanValue(job->host, 31); }

bool timedOut(const LPR_JOB* job) { return TickToMilli(UInt32(GetSpentTime(&job->ep->epi))) > job->timeout; }

void fail(LPR_JOB* job, SInt16* code, SInt16 c) {
  *code = c;
  job->failure = c;
  setState(job, LprState::Disconnect, "failed");
}

// The endpoint closed at once (its notifier never runs for it again).
void closeNow(LPR_JOB* job, const char* why) {
  job->ep.reset();
  setLink(LprLink::Closed, why);
}

void closeFile(LPR_JOB* job) { job->file.reset(); }

// Sends what is left of job->out. A send the flow control refused leaves
// the rest for the next step.
enum class Sent { All, Partly, Failed };
Sent sendOut(LPR_JOB* job) {
  while (job->outSent < job->out.size()) {
    OTResult r =
        TCP_SndInPlace(job->ep.get(), job->out.data() + job->outSent, UInt32(job->out.size() - job->outSent), 0);
    if (r == kOTFlowErr) return Sent::Partly;
    if (r <= 0) return Sent::Failed;
    job->outSent += std::size_t(r);
  }
  return Sent::All;
}

void startMessage(LPR_JOB* job, std::string msg) {
  job->out.assign(msg.begin(), msg.end());
  job->outSent = 0;
}

// ---- the phases of a file's session ----

// Start, Open, Connecting: the endpoint opened, bound and connected by the
// notifier.
void connectPhase(LPR_JOB* job, SInt16* code) {
  TCPEPInfo* ep = job->ep.get();
  switch (job->state) {
    case LprState::Start:
      // The next file's size is known once it is opened.
      job->bytesSent = job->fileSize = job->controlSent = 0;
      job->fileComplete = job->timedOut = 0;
      job->failure = 0;
      [[fallthrough]];
    case LprState::Open:
      ep->remoteIpAddr = job->ipAddr;
      ep->remotePort = kLPRPort;
      ep->epi.timeout = SInt32(job->timeout);
      if (!gLPRNotifyProc) gLPRNotifyProc = NewOTNotifyUPP(LPRNotifyProc);
      setLink(LprLink::Connecting, "open");
      if (OT_OpenEndpoint(&ep->epi, OT_PROTO_TCP, gLPRNotifyProc, job, true) != kOTNoError) {
        *code = LPR_ERR_OPEN_ENDPOINT;
        job->failure = *code;
        setLink(LprLink::Closed, "open failed");
        setState(job, LprState::EndFile, "open failed");
        return;
      }
      setState(job, LprState::Connecting);
      return;
    default:
      if (g_lprState == LprLink::Connected) {
        GetSpentTime(&ep->epi);
        setState(job, LprState::Job, "connected");
      }
      return;
  }
}

// AckWait: any byte goes on to the next state; a non-zero one is the
// daemon's refusal.
void ackWaitPhase(LPR_JOB* job, SInt16* code) {
  UInt8 ack[16];
  UInt32 len = sizeof ack;
  OTFlags flags = 0;
  OTResult r = TCP_Rcv(job->ep.get(), ack, &len, &flags);
  if (r <= 0 || len == 0) return;
  // Read on until nothing is left, which also lets the daemon's end of the
  // connection be reported.
  for (int i = 0; i < 4; ++i) {
    UInt32 more = sizeof ack - 1;
    if (TCP_Rcv(job->ep.get(), ack + 1, &more, &flags) <= 0) break;
  }
  if (ack[0] != 0) {
    tb::TraceRefusal("lpr", "the daemon refused with acknowledgement %u", ack[0]);
    fail(job, code, LPR_ERR_REFUSED);
    return;
  }
  // The acknowledgement of the control file's end byte is what makes the
  // file complete: a daemon that hangs up before it may not have the job.
  if (job->nextState == LprState::Disconnect) {
    job->fileComplete = 1;
    // Said on the program's channel: the moment a person's file has arrived.
    tb::TraceNote("hold", "upload: the daemon has %s whole", job->jobName);
  }
  setState(job, job->nextState, "acknowledged");
}

// Opens the current file and learns its size; false (with the failure
// reported) when it cannot be read.
bool openFile(LPR_JOB* job, SInt16* code) {
  std::string path;
  if (tb::SpecToPath(job->files[job->currentFile], path) != noErr || tb::OpenLocalFile(path, O_RDONLY, job->file)) {
    fail(job, code, LPR_ERR_OPEN_FILE);
    return false;
  }
  struct stat st {};
  if (::fstat(job->file.get(), &st) != 0) {
    closeFile(job);
    fail(job, code, LPR_ERR_READ_FILE);
    return false;
  }
  job->fileSize = UInt64(st.st_size);
  job->data.clear();
  job->dataAt = 0;
  return true;
}

// Job, DataHead, CtrlHead, Ctrl: a message, then the acknowledgement wait
// (the control file itself goes on to its check).
void messagePhase(LPR_JOB* job, SInt16* code) {
  if (job->out.empty() || job->outSent == 0) {
    switch (job->state) {
      case LprState::Job: startMessage(job, std::string(1, '\2') + job->queue + "\n"); break;
      case LprState::DataHead:
        if (!openFile(job, code)) return;
        startMessage(job, "\3" + std::to_string(job->fileSize) + " dfA" + nnn(job) + fileHost(job) + "\n");
        break;
      case LprState::CtrlHead:
        job->controlLen = UInt32(LPRControlFile(job).size());
        job->controlSent = 0;
        startMessage(job, "\2" + std::to_string(job->controlLen) + " cfA" + nnn(job) + fileHost(job) + "\n");
        break;
      default:
        // Sent from where it stopped: a short send loses nothing.
        startMessage(job, LPRControlFile(job).substr(job->controlSent));
        break;
    }
  }
  const std::size_t before = job->outSent;
  const Sent s = sendOut(job);
  if (job->state == LprState::Ctrl) job->controlSent += UInt32(job->outSent - before);
  if (s == Sent::Failed) {
    fail(job, code, LPR_ERR_SEND);
    return;
  }
  if (s == Sent::Partly) return;
  job->out.clear();
  job->outSent = 0;
  switch (job->state) {
    case LprState::Ctrl: setState(job, LprState::CtrlCheck); return;
    case LprState::Job: job->nextState = LprState::DataHead; break;
    case LprState::DataHead: job->nextState = LprState::Data; break;
    default: job->nextState = LprState::Ctrl; break;
  }
  setState(job, LprState::AckWait);
}

// Data, DataCheck: blocks go one after the other while the socket takes
// them; the file is read in order, in large pieces, never past the size
// the daemon was told.
void dataPhase(LPR_JOB* job, SInt16* code) {
  if (job->state == LprState::Data) {
    if (job->dataAt >= job->data.size()) {
      const std::size_t want = std::size_t(std::min<UInt64>(kLPRPiece, job->fileSize - job->bytesSent));
      job->data.resize(want);
      job->dataAt = 0;
      ssize_t n = 0;
      while (want && job->file && (n = ::read(job->file.get(), job->data.data(), want)) < 0 && errno == EINTR) {
      }
      if (n < 0 || !job->file) {
        fail(job, code, LPR_ERR_READ_FILE);
        return;
      }
      job->data.resize(std::size_t(n));
      if (n == 0) {
        // Nothing (more) to send: the job cannot be completed.
        setState(job, LprState::Disconnect, "file ended early");
        return;
      }
    }
    const std::size_t block = std::min(kLPRBlock, job->data.size() - job->dataAt);
    OTResult r = TCP_SndInPlace(job->ep.get(), job->data.data() + job->dataAt, UInt32(block), 0);
    if (r == kOTFlowErr) return;
    if (r <= 0) {
      fail(job, code, LPR_ERR_SEND);
      return;
    }
    job->dataAt += std::size_t(r);
    job->bytesSent += UInt64(r);
    setState(job, LprState::DataCheck);
  }
  if (job->bytesSent < job->fileSize) {
    job->progress = SInt32(job->bytesSent * 100 / job->fileSize);
    setState(job, LprState::Data);
  } else if (job->bytesSent == job->fileSize) {
    setState(job, LprState::DataEnd);
  } else {
    fail(job, code, LPR_ERR_OVERRUN);
  }
}

// DataEnd, CtrlEnd: the end byte of a file, then the acknowledgement wait;
// a send the flow control refused is tried again in the next step.
void endBytePhase(LPR_JOB* job, SInt16* code) {
  const bool data = job->state == LprState::DataEnd;
  if (data) closeFile(job);
  const OTResult r = SendEndofFile(job);
  if (r == kOTFlowErr) return;
  if (r <= 0) {
    fail(job, code, data ? LPR_ERR_SEND : LPR_ERR_END_BYTE);
    return;
  }
  job->nextState = data ? LprState::CtrlHead : LprState::Disconnect;
  setState(job, LprState::AckWait);
}

// Disconnect, Closing1, Closing2, Closed: the orderly release; a close
// asked for (LPRClose) waits for the daemon's side, then cuts it off.
void disconnectPhase(LPR_JOB* job, SInt16* code) {
  TCPEPInfo* ep = job->ep.get();
  switch (job->state) {
    case LprState::Disconnect:
      closeFile(job);
      if (ep && ep->epi.epRef && !linkClosed()) OT_SndOrderlyDisconnect(&ep->epi);
      setState(job, LprState::Closing1);
      return;
    case LprState::Closing1: {
      // Anything the daemon still sends is read, so its release is seen.
      UInt8 junk[64];
      UInt32 len = sizeof junk;
      OTFlags flags = 0;
      if (ep && ep->epi.epRef) TCP_Rcv(ep, junk, &len, &flags);
      setState(job, LprState::Closing2);
      return;
    }
    case LprState::Closing2: setState(job, LprState::Closed); return;
    default:
      if (job->closing && ep && !linkClosed()) {
        if (TickCount() - job->closeStart < kLPRCloseWaitTicks) return;
        if (ep->epi.epRef) OT_SndDisconnect(&ep->epi);
        closeNow(job, "cut off after the close wait");
      }
      if (job->timedOut) *code = LPR_ERR_TIMEOUT;
      setState(job, LprState::EndFile);
      return;
  }
}

// EndFile: the connection ends, then the next file starts or the job ends.
void endFilePhase(LPR_JOB* job, SInt16* code) {
  TCPEPInfo* ep = job->ep.get();
  if (!linkClosed() && ep && ep->epi.epRef) {
    // Bytes the daemon sent after its last acknowledgement stand before
    // its release: read them away (without counting as traffic for the
    // time-out) so that the release is seen.
    UInt8 junk[256];
    OTFlags flags = 0;
    for (int i = 0; i < 16 && OTRcv(ep->epi.epRef, junk, sizeof junk, &flags) > 0; ++i) {
    }
    // A daemon that never ends its side is cut off after the time-out.
    if (!timedOut(job)) return;
    closeNow(job, "the daemon kept its side open");
  }
  closeFile(job);
  job->ep.reset();
  job->out.clear();
  job->outSent = 0;
  job->progress = 100;
  setState(job, LprState::Start, "file done");
  if (job->fileComplete) job->filesSent++;
  // A closed job starts no other file.
  if (job->fileComplete && !job->closing && job->currentFile + 1 < job->fileCount) {
    job->currentFile++;
    job->fileComplete = 0;
    nameJob(job);
    *code = LPR_NEXT_FILE;
  } else if (job->fileComplete && job->currentFile + 1 >= job->fileCount) {
    job->timeStamp = 0;
    setState(job, LprState::Finished, "all sent");
    *code = LPR_ALL_SENT;
  } else {
    *code = LPR_ERR_INCOMPLETE;
  }
  if (gLPRNotifyProc && *code != LPR_NEXT_FILE) {
    DisposeOTNotifyUPP(gLPRNotifyProc);
    gLPRNotifyProc = nullptr;
  }
}

// One state of the session (the daemon's answers are not waited for here).
void lprStep(LPR_JOB* job, SInt16* code) {
  if (job->state == LprState::Finished) {
    *code = LPR_ALL_SENT;
    return;
  }
  if (job->state == LprState::Start && !job->ep) {
    job->ep.reset(new (std::nothrow) TCPEPInfo{});
    if (!job->ep) {
      *code = LPR_ERR_OPEN_ENDPOINT;
      setState(job, LprState::EndFile, "no memory");
      return;
    }
    setLink(LprLink::Connecting, "new file");
  }
  const bool sending = job->state >= LprState::Connecting && job->state <= LprState::CtrlEnd;
  if (sending && !linkClosed() && timedOut(job)) {
    job->timedOut = 1;
    *code = LPR_ERR_TIMEOUT;
    job->failure = LPR_ERR_TIMEOUT;
    LPRClose(job);
    setState(job, LprState::Closed, "time-out");
    return;
  }
  // The connection ended before the file was whole: it could not be made,
  // or the daemon ended or reset it and what was sent did not arrive (as
  // when a send fails).
  if (sending && linkClosed()) {
    fail(job, code, job->state == LprState::Connecting ? LPR_ERR_OPEN_ENDPOINT : LPR_ERR_SEND);
    return;
  }
  if (sending && job->ep->epi.err == kOTFlowErr) {
    // A send the flow control refused waits for the socket to take data again.
    return;
  }
  switch (job->state) {
    case LprState::Start:
    case LprState::Open:
    case LprState::Connecting: connectPhase(job, code); return;
    case LprState::AckWait: ackWaitPhase(job, code); return;
    case LprState::Job:
    case LprState::DataHead:
    case LprState::CtrlHead:
    case LprState::Ctrl: messagePhase(job, code); return;
    case LprState::Data:
    case LprState::DataCheck: dataPhase(job, code); return;
    case LprState::DataEnd:
    case LprState::CtrlEnd: endBytePhase(job, code); return;
    case LprState::CtrlCheck:
      setState(job, job->controlSent < job->controlLen ? LprState::Ctrl : LprState::CtrlEnd);
      return;
    case LprState::Disconnect:
    case LprState::Closing1:
    case LprState::Closing2:
    case LprState::Closed: disconnectPhase(job, code); return;
    case LprState::EndFile: endFilePhase(job, code); return;
    case LprState::Finished: return;
  }
}

void wake(LPR_JOB* job) {
  if (job->wake) job->wake(job->wakeCookie);
}

}  // namespace

void LPREndpointCloser::operator()(TCPEPInfo* ep) const {
  if (!ep) return;
  if (ep->epi.epRef) {
    OTSetSynchronous(ep->epi.epRef);
    OT_CloseEndpoint(&ep->epi);
  }
  delete ep;
}

std::string LPRCleanValue(const std::string& v, std::size_t max, TextEncoding encoding) {
  std::string out;
  for (char c : v) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) continue;
    out += c;
  }
  out.resize(tb::CharCutLength(out, max, encoding));
  return out;
}

std::string LPRControlFile(const LPR_JOB* job) {
  // Values cut to the lengths RFC 1179 allows, with no control characters
  // that could start a line of their own.
  std::string name;
  if (!tb::TextToEncoding(job->jobName, job->encoding, &name)) name = job->jobName;
  const std::string host = LPRCleanValue(job->host, 31), user = LPRCleanValue(job->user, 31),
                    title = LPRCleanValue(name, 99, job->encoding), source = LPRCleanValue(name, 131, job->encoding);
  const std::string df = "dfA" + nnn(job) + fileHost(job);
  return "H" + host + "\nP" + user + "\nJ" + title + "\nf" + df + "\nU" + df + "\nN" + source + "\n";
}

LPRJobPtr LPRMakeJob(const std::vector<FSSpec>& files, int folderValue, UInt32 boxAddr, UInt32 timeoutSeconds,
                     const std::string& hostName, const std::string& ownerName, TextEncoding encoding) {
  if (files.empty() || folderValue < 1) return nullptr;
  LPRJobPtr job(new (std::nothrow) LPR_JOB{});
  if (!job) return nullptr;
  job->files = files;
  job->fileCount = UInt16(std::min<std::size_t>(files.size(), 0xFFFF));
  std::snprintf(job->queue, sizeof job->queue, "hold_%d", folderValue);
  job->ipAddr = boxAddr;
  job->encoding = encoding;
  nameJob(job.get());
  const std::string ip = DottedText(OT_GetMyIpAddress());
  // A name with spaces would not make a file name a daemon takes.
  bool hostUsable = !hostName.empty() && hostName.find(' ') == std::string::npos;
  copyText(job->host, sizeof job->host, hostUsable ? hostName : ip);
  copyText(job->user, sizeof job->user, !hostName.empty() && !ownerName.empty() ? ownerName : ip);
  job->timeout = timeoutSeconds ? timeoutSeconds * 1000 : 0xFFFFFFFFu;
  return job;
}

void LPRFree(LPR_JOB* job) {
  if (!job) return;
  TB_INVARIANT(job->inUse == 0);
  if (job->ep) closeNow(job, "job freed");
  if (gLPRNotifyProc) {
    DisposeOTNotifyUPP(gLPRNotifyProc);
    gLPRNotifyProc = nullptr;
  }
  setLink(LprLink::Idle, "job freed");
  delete job;
}

OSStatus LPRBind(TCPEPInfo* ep, TBind* ret) {
  OT_InitInetAddress(&gBindAddr, gLocalPort, kOTAnyInetAddress);
  gBindReq.addr.buf = reinterpret_cast<UInt8*>(&gBindAddr);
  gBindReq.addr.len = sizeof gBindAddr;
  gBindReq.addr.maxlen = sizeof gBindAddr;
  gBindReq.qlen = 0;
  ret->addr.buf = reinterpret_cast<UInt8*>(&ep->iAddr);
  ret->addr.len = 0;
  ret->addr.maxlen = sizeof ep->iAddr;
  return OTBind(ep->epi.epRef, &gBindReq, ret);
}

namespace {
void bindNow(TCPEPInfo* ep) {
  gBindAttempts++;
  OSStatus r = LPRBind(ep, &ep->epi.tBind);
  if (r != kOTNoError) {
    tb::TraceRefusal("lpr", "bind to local port %u failed (%d)", unsigned(gLocalPort), int(r));
    OT_RcvDisconnect(&ep->epi);
    setLink(LprLink::Closed, "bind failed");
  }
}
}  // namespace

void LPRNotifyProc(void* context, OTEventCode code, OTResult result, void* cookie) {
  auto* job = static_cast<LPR_JOB*>(context);
  if (!job || !job->ep) return;
  TCPEPInfo* ep = job->ep.get();
  EPInfo* epi = &ep->epi;
  switch (code) {
    case T_OPENCOMPLETE: {
      epi->epRef = static_cast<EndpointRef>(cookie);
      if (result != kOTNoError || !epi->epRef) {
        epi->epRef = nullptr;
        setLink(LprLink::Closed, "open failed");
        break;
      }
      OTSetNonBlocking(epi->epRef);
      // Reuse the address, so that a local port an ended connection still
      // holds can be bound again; no delay, so that each end byte goes at
      // once rather than wait for the daemon's delayed acknowledgement of
      // the file before it; a send buffer that outlasts the idle interval.
      const UInt32 options[kLPROptions][3] = {
          {INET_IP, IP_REUSEADDR, T_YES}, {INET_TCP, TCP_NODELAY, T_YES}, {XTI_GENERIC, XTI_SNDBUF, kLPRSendBuffer}};
      for (int i = 0; i < kLPROptions; ++i) {
        const UInt32 words[5] = {kOTFourByteOptionSize, options[i][0], options[i][1], 0, options[i][2]};
        std::memcpy(gOptBuf + i * kOTFourByteOptionSize, words, sizeof words);
      }
      gOptReq.opt = {sizeof gOptBuf, sizeof gOptBuf, gOptBuf};
      gOptReq.flags = T_NEGOTIATE;
      gOptRet.opt = {sizeof gOptBuf, sizeof gOptBuf, gOptBuf};
      gOptRet.flags = 0;
      gBindAttempts = 0;
      gRebinding = false;
      if (OTOptionManagement(epi->epRef, &gOptReq, &gOptRet) != kOTNoError) bindNow(ep);
      break;
    }
    case T_OPTMGMTCOMPLETE: bindNow(ep); break;
    case T_BINDCOMPLETE: {
      UInt16 port = ep->iAddr.fPort;
      if (result == kOTNoError && port != 0) {
        gLocalPort = nextPort(port);
        gBindAttempts = 0;
        gRebinding = false;
        ep->localIpAddr = OT_GetMyIpAddress();
        ep->localPort = port;
        OSStatus r = TCP_Connect(ep, job->ipAddr, kLPRPort);
        if (r != kOTNoError && r != kOTNoDataErr && r != kOTLookErr) OT_RcvDisconnect(epi);
      } else {
        // The port is taken or not ours to take: the next one, or any port
        // after eleven tries.
        gRebinding = true;
        gLocalPort = gBindAttempts >= 11 ? 0 : nextPort(gLocalPort);
        OT_Unbind(epi);
      }
      break;
    }
    case T_UNBINDCOMPLETE:
      if (gRebinding && epi->epRef) {
        gRebinding = false;
        bindNow(ep);
        break;
      }
      if (epi->epRef) OT_CloseEndpoint(epi);
      epi->epRef = nullptr;
      setLink(LprLink::Closed, "unbound");
      break;
    case T_CONNECT:
      TCP_RcvConnect(ep);
      setLink(LprLink::Connected, "connected");
      break;
    case T_GODATA: epi->err = 0; break;
    case T_ORDREL:
      OT_RcvOrderlyDisconnect(epi);
      if (epi->err == 0 && OTGetEndpointState(epi->epRef) == T_INREL) OT_SndOrderlyDisconnect(epi);
      OT_Unbind(epi);
      break;
    case T_DISCONNECT:
    case T_RESET:
      OT_RcvDisconnect(epi);
      OT_Unbind(epi);
      break;
    case T_DISCONNECTCOMPLETE:
    case OT_FLUSH_COMPLETE: OT_Unbind(epi); break;
    default: break;
  }
  wake(job);
}

OTResult SendEndofFile(LPR_JOB* job) {
  UInt8 zero = 0;
  return TCP_Snd(job->ep.get(), &zero, 1, 0);
}

void LPRClose(LPR_JOB* job) {
  if (!job) return;
  InUse use(job);
  if (job->state == LprState::Finished) {
    setState(job, LprState::EndFile, "closed after the end");
    job->fileComplete = 0;
    return;
  }
  if (job->closing) return;
  job->closing = true;
  job->closeStart = TickCount();
  TCPEPInfo* ep = job->ep.get();
  if (ep && ep->epi.epRef && !linkClosed()) {
    // A connection that is up is released in order (the daemon's side is
    // waited for by the next steps); one still being made is cut off.
    if (job->state > LprState::Connecting && job->state < LprState::Closed)
      OT_SndOrderlyDisconnect(&ep->epi);
    else
      closeNow(job, "closed before it was up");
  }
  closeFile(job);
  setState(job, LprState::Closed, "closed");
}

SInt32 LPRPrint(LPR_JOB* job, SInt16* code) {
  *code = LPR_WORKING;
  if (!job) return 0;
  InUse use(job);
  const UInt64 until = tb::MonotonicMicros() + kLPRStepMicros;
  for (;;) {
    const LprState state = job->state;
    const UInt64 moved = job->bytesSent + job->outSent + job->controlSent;
    lprStep(job, code);
    // A file's end and the job's end are the engine's to act on at once.
    if (*code != LPR_WORKING) break;
    // Nothing moved: the session waits for the daemon (the connection, an
    // acknowledgement, its end of the connection) or for the socket to
    // take more, whose news wakes the next step.
    if (job->state == state && job->bytesSent + job->outSent + job->controlSent == moved) break;
    if (tb::MonotonicMicros() >= until) {
      wake(job);
      break;
    }
  }
  return job->progress;
}

// Uploading local files into a hold folder over the line-printer protocol,
// one step per call, from a reserved local port.
#include "holdmanager/LPR.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

#include "holdmanager/HoldData.h"
#include "holdmanager/VFMP.h"
#include "toolbox/clock.h"
#include "toolbox/pump.h"
#include "toolbox/trace.h"

UInt16 g_lprState = LPR_IDLE;
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

constexpr UInt32 kCloseWaitTicks = 30;

const char* stateName(UInt16 s) {
  static const char* names[] = {"start",    "open",        "connecting",   "ack-wait",    "job",     "data-head",
                                "data",     "data-check",  "data-end",     "ctrl-head",   "ctrl",    "ctrl-check",
                                "ctrl-end", "disconnect",  "closing-1",    "closing-2",   "closed",  "finished",
                                "end-file"};
  return s < 19 ? names[s] : "?";
}

void setState(LPR_JOB* job, UInt16 s, const char* why = nullptr) {
  if (job->state == s) return;
  tb::TraceState("lpr", "upload", job, stateName(job->state), stateName(s), why);
  job->state = s;
}

void setLprState(UInt16 s) { g_lprState = s; }

UInt16 nextPort(UInt16 p) { return p == 0 || p >= kLPRLastLocalPort ? kLPRFirstLocalPort : UInt16(p + 1); }

void copyText(char* dest, std::size_t size, const std::string& s) {
  const std::size_t n = Utf8CutLength(s, size - 1);
  std::memcpy(dest, s.data(), n);
  dest[n] = 0;
}

std::string baseName(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string nnn(const LPR_JOB* job) {
  char b[8];
  std::snprintf(b, sizeof b, "%03u", unsigned(job->jobNumber % 1000));
  return b;
}

// The host as it goes into file names: no spaces or control characters.
std::string fileHost(const LPR_JOB* job) { return LPRCleanValue(job->host, 31); }

// Sends what is left of job->out; true when all of it went. A send the flow
// control refused leaves the rest for the next step.
enum class Sent { All, Partly, Failed };
Sent sendOut(LPR_JOB* job) {
  while (job->outSent < job->out.size()) {
    OTResult r = TCP_SndInPlace(job->ep, job->out.data() + job->outSent, UInt32(job->out.size() - job->outSent), 0);
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

void fail(LPR_JOB* job, SInt16* code, SInt16 c) {
  *code = c;
  job->failure = c;
  setState(job, 13, "failed");
}

}  // namespace

std::string LPRCleanValue(const std::string& v, std::size_t max) {
  std::string out;
  for (char c : v) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) continue;
    out += c;
  }
  out.resize(Utf8CutLength(out, max));
  return out;
}

std::string LPRControlFile(const LPR_JOB* job) {
  // Values cut to the lengths RFC 1179 allows, with no control characters
  // that could start a line of their own.
  const std::string host = LPRCleanValue(job->host, 31), user = LPRCleanValue(job->user, 31),
                    title = LPRCleanValue(job->jobName, 99), source = LPRCleanValue(job->jobName, 131);
  const std::string df = "dfA" + nnn(job) + fileHost(job);
  return "H" + host + "\nP" + user + "\nJ" + title + "\nf" + df + "\nU" + df + "\nN" + source + "\n";
}

LPR_JOB* LPRMakeJob(const std::vector<std::string>& files, int folderValue, UInt32 boxAddr, UInt32 timeoutSeconds,
                    const std::string& hostName, const std::string& ownerName) {
  if (files.empty() || folderValue < 1) return nullptr;
  auto* job = new (std::nothrow) LPR_JOB{};
  if (!job) return nullptr;
  job->files = files;
  job->fileCount = UInt16(std::min<std::size_t>(files.size(), 0xFFFF));
  std::snprintf(job->queue, sizeof job->queue, "hold_%d", folderValue);
  job->ipAddr = boxAddr;
  copyText(job->jobName, sizeof job->jobName, baseName(files[0]));
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
  if (job->file) std::fclose(job->file);
  if (job->ep) {
    if (job->ep->epi.epRef) {
      OTSetSynchronous(job->ep->epi.epRef);
      OT_CloseEndpoint(&job->ep->epi);
    }
    delete job->ep;
  }
  if (gLPRNotifyProc) {
    DisposeOTNotifyUPP(gLPRNotifyProc);
    gLPRNotifyProc = nullptr;
  }
  setLprState(LPR_IDLE);
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
    setLprState(LPR_CLOSED);
  }
}
}  // namespace

void LPRNotifyProc(void* context, OTEventCode code, OTResult result, void* cookie) {
  auto* job = static_cast<LPR_JOB*>(context);
  if (!job || !job->ep) return;
  TCPEPInfo* ep = job->ep;
  EPInfo* epi = &ep->epi;
  switch (code) {
    case T_OPENCOMPLETE: {
      epi->epRef = static_cast<EndpointRef>(cookie);
      if (result != kOTNoError || !epi->epRef) {
        epi->epRef = nullptr;
        setLprState(LPR_CLOSED);
        return;
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
      setLprState(LPR_CLOSED);
      break;
    case T_CONNECT:
      TCP_RcvConnect(ep);
      setLprState(LPR_CONNECTED);
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
  if (job->answered) job->answered(job->answeredCookie);
}

OTResult SendEndofFile(LPR_JOB* job) {
  UInt8 zero = 0;
  return TCP_Snd(job->ep, &zero, 1, 0);
}

void LPRClose(LPR_JOB* job) {
  if (!job) return;
  if (job->state == 17) {
    setState(job, 18, "closed after the end");
    job->fileComplete = 0;
    return;
  }
  if (job->ep && job->ep->epi.epRef) {
    if (job->state > 2) {
      OT_SndOrderlyDisconnect(&job->ep->epi);
      // Wait a little for the daemon's side, pumping so the notifier runs.
      // (Bounded in passes too, as a test's clock may stand still.)
      UInt32 start = TickCount();
      for (int pass = 0; pass < 60 && g_lprState != LPR_CLOSED && TickCount() - start < kCloseWaitTicks; ++pass)
        tb::Pump(5);
    }
    if (g_lprState != LPR_CLOSED && job->ep->epi.epRef) OT_SndDisconnect(&job->ep->epi);
  }
  setState(job, 16, "closed");
}

namespace {

// The end byte of a file, then the acknowledgement wait before next; a send
// the flow control refused is tried again in the next state step.
void sendEndByte(LPR_JOB* job, SInt16* code, SInt16 failure, UInt16 next) {
  OTResult r = SendEndofFile(job);
  if (r == kOTFlowErr) return;
  if (r <= 0) {
    fail(job, code, failure);
    return;
  }
  job->nextState = next;
  setState(job, 3);
}

// One state of the session (the daemon's answers are not waited for here).
void lprState(LPR_JOB* job, SInt16* code) {
  if (job->state == 17) {
    *code = LPR_ALL_SENT;
    return;
  }
  if (job->state == 0 && !job->ep) {
    job->ep = new (std::nothrow) TCPEPInfo{};
    if (!job->ep) {
      *code = LPR_ERR_OPEN_ENDPOINT;
      setState(job, 18);
      return;
    }
    setLprState(LPR_CONNECTING);
  }
  TCPEPInfo* ep = job->ep;
  if (job->state <= 12 && g_lprState != LPR_CLOSED && job->state >= 2 &&
      TickToMilli(UInt32(GetSpentTime(&ep->epi))) > job->timeout) {
    job->timedOut = 1;
    *code = LPR_ERR_TIMEOUT;
    job->failure = LPR_ERR_TIMEOUT;
    LPRClose(job);
    setState(job, 16, "time-out");
    return;
  }
  if (job->state >= 2 && job->state <= 12 && g_lprState == LPR_CLOSED) {
    // The daemon ended the connection before the job was whole.
    setState(job, 16, "connection ended");
  }
  switch (job->state) {
    case 0:
      // The next file's size is known once it is opened.
      job->bytesSent = job->fileSize = job->controlSent = 0;
      job->fileComplete = job->timedOut = 0;
      job->failure = 0;
      [[fallthrough]];
    case 1: {
      ep->remoteIpAddr = job->ipAddr;
      ep->remotePort = kLPRPort;
      ep->epi.timeout = SInt32(job->timeout);
      if (!gLPRNotifyProc) gLPRNotifyProc = NewOTNotifyUPP(LPRNotifyProc);
      setLprState(LPR_CONNECTING);
      if (OT_OpenEndpoint(&ep->epi, OT_PROTO_TCP, gLPRNotifyProc, job, true) != kOTNoError) {
        *code = LPR_ERR_OPEN_ENDPOINT;
        job->failure = *code;
        setLprState(LPR_CLOSED);
        setState(job, 18, "open failed");
        break;
      }
      setState(job, 2);
      break;
    }
    case 2:
      if (g_lprState == LPR_CONNECTED) {
        GetSpentTime(&ep->epi);
        setState(job, 4, "connected");
      }
      break;
    case 3: {
      UInt8 ack[16];
      UInt32 len = sizeof ack;
      OTFlags flags = 0;
      OTResult r = TCP_Rcv(ep, ack, &len, &flags);
      if (r > 0 && len > 0) {
        // Read on until nothing is left, which also lets the daemon's end
        // of the connection be reported.
        for (int i = 0; i < 4; ++i) {
          UInt32 more = sizeof ack - 1;
          if (TCP_Rcv(ep, ack + 1, &more, &flags) <= 0) break;
        }
        if (ack[0] != 0) {
          tb::TraceRefusal("lpr", "the daemon refused with acknowledgement %u", ack[0]);
          fail(job, code, LPR_ERR_REFUSED);
          break;
        }
        // The acknowledgement of the control file's end byte is what makes
        // the file complete: a daemon that hangs up before it may not have
        // the job.
        if (job->nextState == 13) job->fileComplete = 1;
        setState(job, job->nextState, "acknowledged");
      }
      break;
    }
    case 4:
    case 5:
    case 9:
    case 10: {
      if (job->out.empty() || job->outSent == 0) {
        if (job->state == 4) {
          startMessage(job, std::string(1, '\2') + job->queue + "\n");
        } else if (job->state == 5) {
          job->file = std::fopen(job->files[job->currentFile].c_str(), "rb");
          if (!job->file) {
            fail(job, code, LPR_ERR_OPEN_FILE);
            break;
          }
          const off_t size = fseeko(job->file, 0, SEEK_END) == 0 ? ftello(job->file) : -1;
          if (size < 0 || fseeko(job->file, 0, SEEK_SET) != 0) {
            fail(job, code, LPR_ERR_READ_FILE);
            break;
          }
          job->fileSize = UInt64(size);
          job->data.clear();
          job->dataAt = 0;
          startMessage(job, "\3" + std::to_string(job->fileSize) + " dfA" + nnn(job) + fileHost(job) + "\n");
        } else if (job->state == 9) {
          job->controlLen = UInt32(LPRControlFile(job).size());
          job->controlSent = 0;
          startMessage(job, "\2" + std::to_string(job->controlLen) + " cfA" + nnn(job) + fileHost(job) + "\n");
        } else {
          // Sent from where it stopped: a short send loses nothing.
          startMessage(job, LPRControlFile(job).substr(job->controlSent));
        }
      }
      std::size_t before = job->outSent;
      Sent s = sendOut(job);
      if (job->state == 10) job->controlSent += UInt32(job->outSent - before);
      if (s == Sent::Failed) {
        fail(job, code, LPR_ERR_SEND);
        break;
      }
      if (s == Sent::Partly) break;
      job->out.clear();
      job->outSent = 0;
      if (job->state == 10) {
        setState(job, 11);
      } else {
        job->nextState = job->state == 4 ? 5 : job->state == 5 ? 6 : 10;
        setState(job, 3);
      }
      break;
    }
    case 6: {
      // Blocks go one after the other while the socket takes them; the
      // file is read in order, in large pieces, never past the size the
      // daemon was told.
      if (job->dataAt >= job->data.size()) {
        const std::size_t want = std::size_t(std::min<UInt64>(kLPRPiece, job->fileSize - job->bytesSent));
        job->data.resize(want);
        job->dataAt = 0;
        const std::size_t n = want && job->file ? std::fread(job->data.data(), 1, want, job->file) : 0;
        job->data.resize(n);
        if (n == 0 && (!job->file || std::ferror(job->file))) {
          fail(job, code, LPR_ERR_READ_FILE);
          break;
        }
        if (n == 0) {
          // Nothing (more) to send: the job cannot be completed.
          setState(job, 13, "file ended early");
          break;
        }
      }
      const std::size_t block = std::min(kLPRBlock, job->data.size() - job->dataAt);
      OTResult r = TCP_SndInPlace(job->ep, job->data.data() + job->dataAt, UInt32(block), 0);
      if (r == kOTFlowErr) break;
      if (r <= 0) {
        fail(job, code, LPR_ERR_SEND);
        break;
      }
      job->dataAt += std::size_t(r);
      job->bytesSent += UInt64(r);
      setState(job, 7);
      [[fallthrough]];
    }
    case 7:
      if (job->bytesSent < job->fileSize) {
        job->progress = SInt32(job->bytesSent * 100 / job->fileSize);
        setState(job, 6);
      } else if (job->bytesSent == job->fileSize) {
        setState(job, 8);
      } else {
        fail(job, code, LPR_ERR_OVERRUN);
      }
      break;
    case 8:
      if (job->file) std::fclose(job->file), job->file = nullptr;
      sendEndByte(job, code, LPR_ERR_SEND, 9);
      break;
    case 11:
      if (job->controlSent < job->controlLen)
        setState(job, 10);
      else
        setState(job, 12);
      break;
    case 12: sendEndByte(job, code, LPR_ERR_END_BYTE, 13); break;
    case 13:
      if (job->file) std::fclose(job->file), job->file = nullptr;
      if (ep->epi.epRef && g_lprState != LPR_CLOSED) OT_SndOrderlyDisconnect(&ep->epi);
      setState(job, 14);
      break;
    case 14: {
      // Anything the daemon still sends is read, so its release is seen.
      UInt8 junk[64];
      UInt32 len = sizeof junk;
      OTFlags flags = 0;
      if (ep->epi.epRef) TCP_Rcv(ep, junk, &len, &flags);
      setState(job, 15);
      break;
    }
    case 15: setState(job, 16); break;
    case 16:
      if (job->timedOut) *code = LPR_ERR_TIMEOUT;
      setState(job, 18);
      break;
    case 18: {
      if (g_lprState != LPR_CLOSED && ep && ep->epi.epRef) {
        // Bytes the daemon sent after its last acknowledgement stand before
        // its release: read them away (without counting as traffic for the
        // time-out) so that the release is seen.
        UInt8 junk[256];
        OTFlags flags = 0;
        for (int i = 0; i < 16 && OTRcv(ep->epi.epRef, junk, sizeof junk, &flags) > 0; ++i) {
        }
        // A daemon that never ends its side is cut off after the time-out.
        if (TickToMilli(UInt32(GetSpentTime(&ep->epi))) <= job->timeout) break;
        OTSetSynchronous(ep->epi.epRef);
        OT_CloseEndpoint(&ep->epi);
        ep->epi.epRef = nullptr;
        setLprState(LPR_CLOSED);
      }
      if (job->file) std::fclose(job->file), job->file = nullptr;
      delete job->ep;
      job->ep = nullptr;
      setState(job, 0, "file done");
      job->out.clear();
      job->outSent = 0;
      if (job->fileComplete && job->currentFile + 1 < job->fileCount) {
        job->currentFile++;
        copyText(job->jobName, sizeof job->jobName, baseName(job->files[job->currentFile]));
        job->progress = 100;
        *code = LPR_NEXT_FILE;
      } else if (job->fileComplete) {
        job->timeStamp = 0;
        job->progress = 100;
        setState(job, 17, "all sent");
        *code = LPR_ALL_SENT;
      } else {
        job->progress = 100;
        *code = LPR_ERR_INCOMPLETE;
      }
      if (gLPRNotifyProc && *code != LPR_NEXT_FILE) {
        DisposeOTNotifyUPP(gLPRNotifyProc);
        gLPRNotifyProc = nullptr;
      }
      break;
    }
    default: break;
  }
}

}  // namespace

SInt32 LPRPrint(LPR_JOB* job, SInt16* code) {
  *code = LPR_WORKING;
  if (!job) return 0;
  const UInt64 until = tb::MonotonicMicros() + kLPRStepMicros;
  for (;;) {
    const UInt16 state = job->state;
    const UInt64 moved = job->bytesSent + job->outSent + job->controlSent;
    lprState(job, code);
    // A file's end and the job's end are the engine's to act on at once.
    if (*code != LPR_WORKING || tb::MonotonicMicros() >= until) break;
    if (job->state != state || job->bytesSent + job->outSent + job->controlSent != moved) continue;
    // Nothing moved: the session waits for the daemon (the connection, an
    // acknowledgement, its end of the connection) or for the socket to take
    // more. Within the step's time that wait is the loop's own, its network
    // work going on meanwhile: the daemon's buffers drain faster than one
    // idle interval, so a step that stopped at a full socket would leave the
    // daemon idle until the next.
    tb::Pump(1);
  }
  return job->progress;
}

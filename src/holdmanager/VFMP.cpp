// The held-job protocol over TCP: request frames built, reply frames
// gathered whole, records cut by a frame's end carried over, and the
// endpoint driven by its notifier.
#include "holdmanager/VFMP.h"

#include <algorithm>
#include <cstring>

#include "toolbox/clock.h"
#include "toolbox/trace.h"

namespace {

// Appends records to a frame being built, refusing to pass its end.
struct FrameWriter {
  std::span<UInt8> out;
  std::size_t pos = 3;
  bool ok = true;

  void record(UInt16 tag, const UInt8* value, std::size_t len) {
    if (!ok || pos + 4 + len > out.size() || len > 0xFFFF) {
      ok = false;
      return;
    }
    out[pos++] = UInt8(tag >> 8);
    out[pos++] = UInt8(tag);
    out[pos++] = UInt8(len >> 8);
    out[pos++] = UInt8(len);
    if (len) std::memcpy(out.data() + pos, value, len);
    pos += len;
  }
  void id(UInt16 tag, const UInt8 (&v)[4]) { record(tag, v, 4); }
  void u8(UInt16 tag, UInt8 v) { record(tag, &v, 1); }
  void u16(UInt16 tag, UInt16 v) {
    UInt8 b[2] = {UInt8(v >> 8), UInt8(v)};
    record(tag, b, 2);
  }
  void u32(UInt16 tag, UInt32 v) {
    UInt8 b[4] = {UInt8(v >> 24), UInt8(v >> 16), UInt8(v >> 8), UInt8(v)};
    record(tag, b, 4);
  }
  void text(UInt16 tag, const Str255 s) { record(tag, s + 1, s[0]); }
};

VFMPFramer gFramer;
// The part of a record that a frame's end cut off.
std::vector<UInt8> gCarry;

const char* stateName(UInt16 s) {
  static const char* names[] = {"opening", "given-up", "send", "wait-resend", "reading", "ended", "closed"};
  return s < 7 ? names[s] : "?";
}

}  // namespace

UInt32 VFMPTimeoutFromSeconds(UInt32 seconds) { return seconds ? seconds * 1000 : 0xFFFFFFFFu; }

int VFMPBuildRequest(UInt8 code, const VFMP_PARAM& p, std::span<UInt8> out) {
  if (out.size() < 3) return -1;
  std::fill(out.begin(), out.end(), 0);
  FrameWriter w{out};
  out[2] = code;
  switch (code) {
    case VFMP_LIST:
    case VFMP_CHANGE:
      // The folder goes as the four bytes it came as: the number 1 on an
      // old box, the folder's own id on a newer one.
      if (p.listKind == 2) w.id(VFMP_TAG_FOLDER_ID, p.listFolder);
      w.u8(VFMP_TAG_LIST_KIND, p.listKind);
      break;
    case VFMP_INFO:
    case VFMP_DELETE:
    case VFMP_DOWNLOAD:
      w.id(VFMP_TAG_JOB_ID, p.jobId);
      w.id(VFMP_TAG_FOLDER_ID, p.folderId);
      break;
    case VFMP_RENAME:
      w.id(VFMP_TAG_JOB_ID, p.jobId);
      w.text(VFMP_TAG_JOB_NAME, p.name);
      w.text(VFMP_TAG_OWNER, p.owner);
      w.u8(VFMP_TAG_LANG, p.langCode);
      w.u8(VFMP_TAG_OS, p.osCode);
      w.id(VFMP_TAG_FOLDER_ID, p.folderId);
      break;
    case VFMP_PRINT:
      w.id(VFMP_TAG_JOB_ID, p.jobId);
      w.u32(VFMP_TAG_PRINT_OPTS, p.printOptions);
      w.u16(VFMP_TAG_PAGES, p.copies);
      w.id(VFMP_TAG_FOLDER_ID, p.folderId);
      break;
    case VFMP_THUMBNAIL:
      w.id(VFMP_TAG_JOB_ID, p.jobId);
      w.u16(VFMP_TAG_PAGE, p.page);
      w.id(VFMP_TAG_FOLDER_ID, p.folderId);
      break;
    case VFMP_FOLDER_RENAME:
      w.id(VFMP_TAG_FOLDER_ID, p.folderId);
      w.text(VFMP_TAG_FOLDER_NAME, p.name);
      w.u8(VFMP_TAG_LANG, p.langCode);
      w.u8(VFMP_TAG_OS, p.osCode);
      break;
    case VFMP_MOVE:
      w.id(VFMP_TAG_FOLDER_ID, p.folderId);
      w.id(VFMP_TAG_JOB_ID, p.jobId);
      w.id(VFMP_TAG_TARGET_FOLDER, p.targetFolderId);
      break;
    default:
      // 7 and 9-15 are reserved, 0, 16 and above 19 unknown: nothing is sent.
      return -1;
  }
  if (!w.ok) return -1;
  std::size_t L = w.pos - 2;
  out[0] = UInt8(L >> 8);
  out[1] = UInt8(L);
  return int(w.pos);
}

OTResult VFMPSendRequest(TCPEPInfo* ep, UInt8 code, const VFMP_PARAM& p) {
  if (!ep) return -1;
  int n = VFMPBuildRequest(code, p, std::span<UInt8>(ep->sndBuf, sizeof ep->sndBuf));
  if (n < 0) return -1;
  if (code == VFMP_LIST || code == VFMP_CHANGE) {
    std::memset(ep->rcvBuf, 0, sizeof ep->rcvBuf);
    ep->rcvBufLen = 0;
  }
  ep->sndBufLen = UInt32(n);
  return TCP_Snd(ep, ep->sndBuf, UInt32(n), 0);
}

bool VFMPFramer::HasFrame() const {
  return Held() >= 4 && Held() >= std::size_t(VFMPGet16(buf_.data() + head_)) + 2;
}

std::span<UInt8> VFMPFramer::Room(std::size_t want) {
  if (head_ == tail_) head_ = tail_ = 0;
  if (buf_.size() - tail_ < want) {
    if (head_) {
      std::memmove(buf_.data(), buf_.data() + head_, Held());
      tail_ -= head_;
      head_ = 0;
    }
    if (buf_.size() - tail_ < want) buf_.resize(tail_ + want);
  }
  return std::span<UInt8>(buf_.data() + tail_, want);
}

void VFMPFramer::Append(std::span<const UInt8> bytes) {
  if (bytes.empty()) return;
  std::memcpy(Room(bytes.size()).data(), bytes.data(), bytes.size());
  Commit(bytes.size());
}

int VFMPFramer::Next(std::span<UInt8> out) {
  if (Held() < 4) return 0;
  std::size_t n = std::size_t(VFMPGet16(buf_.data() + head_)) + 2;
  if (n > out.size()) {
    tb::TraceRefusal("vfmp", "frame of %zu bytes is longer than the %zu-byte buffer", n, out.size());
    Clear();
    return kVFMPFrameTooLong;
  }
  if (Held() < n) return 0;
  std::memcpy(out.data(), buf_.data() + head_, n);
  head_ += n;
  return int(n);
}

std::span<const UInt8> VFMPFramer::NextView(std::size_t max, bool* tooLong) {
  *tooLong = false;
  if (Held() < 4) return {};
  std::size_t n = std::size_t(VFMPGet16(buf_.data() + head_)) + 2;
  if (n > max) {
    tb::TraceRefusal("vfmp", "frame of %zu bytes is longer than the %zu-byte buffer", n, max);
    Clear();
    *tooLong = true;
    return {};
  }
  if (Held() < n) return {};
  std::span<const UInt8> v(buf_.data() + head_, n);
  head_ += n;
  return v;
}

VFMPFramer& VFMPSharedFramer() { return gFramer; }

namespace {
// One read of at most want bytes into the framer's own buffer: what came
// (0 when nothing), or a receive error.
OTResult readInto(TCPEPInfo* ep, std::size_t want) {
  std::span<UInt8> room = gFramer.Room(want);
  UInt32 got = UInt32(room.size());
  OTFlags flags = 0;
  OTResult r = TCP_Rcv(ep, room.data(), &got, &flags);
  if (r < 0) return r;
  if (r == 0) got = 0;
  gFramer.Commit(got);
  return OTResult(got);
}

// Reads until a frame is whole or nothing more has come (so "no frame"
// always means the data was read out, and its arrival will be reported
// again); a few large reads at most, so little is held beyond one frame.
OTResult fillFramer(TCPEPInfo* ep) {
  for (int reads = 0; !gFramer.HasFrame() && reads < 4; ++reads) {
    OTResult r = readInto(ep, 16 * kVFMPRcvBufSize);
    if (r < 0 && r != kOTNoDataErr) return r;
    if (r <= 0) break;
  }
  return 0;
}
}  // namespace

OTResult VFMPRcvMore(TCPEPInfo* ep, std::size_t want) {
  if (!ep) return kOTBadDataErr;
  OTResult r = readInto(ep, want);
  return r == 0 ? kOTNoDataErr : r;
}

OTResult VFMPRcvView(TCPEPInfo* ep, std::span<const UInt8>* frame) {
  *frame = {};
  if (!ep) return kOTBadDataErr;
  OTResult r = fillFramer(ep);
  if (r < 0) return r;
  bool tooLong = false;
  *frame = gFramer.NextView(kVFMPRcvBufSize, &tooLong);
  if (tooLong) return kVFMPFrameTooLong;
  return OTResult(frame->size());
}

OTResult VFMPRcv(TCPEPInfo* ep, UInt8* buf, UInt32* len) {
  if (!ep && !buf && !len) {
    gFramer.Clear();
    return 0;
  }
  if (!ep || !buf || !len) return kOTBadDataErr;
  UInt32 cap = *len;
  *len = 0;
  // A frame already whole is handed out before more is read, so a peer
  // that floods never makes the held bytes grow past one read.
  OTResult rr = fillFramer(ep);
  if (rr < 0) return rr;
  int n = gFramer.Next(std::span<UInt8>(buf, cap));
  if (n < 0) return n;
  *len = UInt32(n);
  return n;
}

int VFMPGetResult(UInt8* dest, std::span<const UInt8> frame) {
  if (frame.size() < 4) return 0;
  int n = (frame.size() >= 8 && VFMPGet16(frame.data() + 4) != 0) ? 8 : 4;
  std::memcpy(dest, frame.data(), std::size_t(n));
  return n;
}

int VEMPAdjustRcv(UInt8* record, std::span<const UInt8> frame, std::size_t* pos) {
  const std::size_t end = frame.size();
  if (*pos >= end) return 0;
  // The header: from the carry, completed from this frame, or read here.
  UInt8 head[4];
  std::size_t have = std::min<std::size_t>(gCarry.size(), 4);
  if (have) std::memcpy(head, gCarry.data(), have);
  while (have < 4 && *pos < end) head[have++] = frame[(*pos)++];
  if (have < 4) {
    gCarry.assign(head, head + have);
    return 0;
  }
  const std::size_t valueLen = VFMPGet16(head + 2);
  std::size_t carriedValue = gCarry.size() > 4 ? gCarry.size() - 4 : 0;
  std::size_t need = valueLen - carriedValue;
  std::size_t avail = end - *pos;
  if (avail < need) {
    // The value goes on in the next frame: keep header and what came.
    std::vector<UInt8> keep(head, head + 4);
    if (carriedValue) keep.insert(keep.end(), gCarry.begin() + 4, gCarry.end());
    keep.insert(keep.end(), frame.begin() + std::ptrdiff_t(*pos), frame.end());
    gCarry.swap(keep);
    *pos = end;
    return 0;
  }
  std::memcpy(record, head, 4);
  if (carriedValue) std::memcpy(record + 4, gCarry.data() + 4, carriedValue);
  if (need) std::memcpy(record + 4 + carriedValue, frame.data() + *pos, need);
  *pos += need;
  gCarry.clear();
  return 1;
}

void VFMPResetCarry() { gCarry.clear(); }
std::size_t VFMPCarryHeld() { return gCarry.size(); }

void VFMPGetParam(UInt8* dest, const UInt8* record) { std::memcpy(dest, record, 4); }

Boolean VFMPIsTimeout(TCPEPInfo* ep, UInt32 ms) {
  if (!ep || ms == 0xFFFFFFFFu) return false;
  return UInt32(GetSpentTime(&ep->epi)) > MilliToTick(ms);
}

void VFMPSetState(VFMP_CMD_INFO* cmd, UInt16 state, const char* why) {
  if (cmd->state == state) return;
  tb::TraceState("vfmp", "command", cmd, stateName(cmd->state), stateName(state), why);
  cmd->state = state;
}

namespace {

void clearOT(TCPEPInfo* ep) { std::memset(&ep->epi, 0, sizeof ep->epi); }

}  // namespace

UInt16 VFMPClose(VFMP_CMD_INFO* cmd, UInt16 error) {
  if (!cmd) return error;
  cmd->error = error;
  TCPEPInfo* ep = cmd->ep;
  bool open = ep && ep->epi.epRef;
  if (open && (cmd->state == VFMP_ST_ENDED || cmd->state == VFMP_ST_CLOSED)) return cmd->state;
  if (open) {
    EndpointRef ref = ep->epi.epRef;
    OTSetSynchronous(ref);
    OTSetNonBlocking(ref);
    if (cmd->sent) OT_SndOrderlyDisconnect(&ep->epi);
    OT_Unbind(&ep->epi);
    OT_CloseEndpoint(&ep->epi);
    clearOT(ep);
  }
  VFMPSetState(cmd, VFMP_ST_CLOSED, "closed");
  return cmd->state;
}

void VFMPNotifyProc(void* context, OTEventCode code, OTResult result, void* cookie) {
  auto* cmd = static_cast<VFMP_CMD_INFO*>(context);
  if (!cmd || !cmd->ep) return;
  TCPEPInfo* ep = cmd->ep;
  EPInfo* epi = &ep->epi;
  switch (code) {
    case T_OPENCOMPLETE:
      epi->epRef = static_cast<EndpointRef>(cookie);
      if (result != kOTNoError || !epi->epRef) {
        if (epi->epRef) OT_CloseEndpoint(epi);
        clearOT(ep);
        if (!cmd->error) cmd->error = VFMP_ERR_NO_MEMORY;
        VFMPSetState(cmd, VFMP_ST_CLOSED, "open failed");
        return;
      }
      OTSetNonBlocking(epi->epRef);
      OT_SetTimeout(epi, SInt32(cmd->timeout));
      OT_Bind(epi);
      break;
    case T_BINDCOMPLETE: {
      if (result != kOTNoError) {
        VFMPSetState(cmd, VFMP_ST_ENDED, "bind failed");
        OT_Unbind(epi);
        break;
      }
      ep->localIpAddr = OT_GetMyIpAddress();
      ep->localPort = ep->iAddr.fPort;
      OSStatus r = TCP_Connect(ep, cmd->ipAddr, kVFMPPort);
      if (r != kOTNoError && r != kOTNoDataErr && r != kOTLookErr) OT_RcvDisconnect(epi);
      break;
    }
    case T_CONNECT:
      TCP_RcvConnect(ep);
      VFMPSetState(cmd, VFMP_ST_SEND, "connected");
      break;
    case T_DISCONNECT:
    case T_RESET:
      VFMPSetState(cmd, VFMP_ST_ENDED, "peer disconnected");
      OT_RcvDisconnect(epi);
      OT_Unbind(epi);
      break;
    case T_ORDREL:
      VFMPSetState(cmd, VFMP_ST_ENDED, "peer released");
      OT_RcvOrderlyDisconnect(epi);
      if (epi->err == 0) OT_SndOrderlyDisconnect(epi);
      OT_Unbind(epi);
      break;
    case T_DISCONNECTCOMPLETE:
    case OT_FLUSH_COMPLETE:
      VFMPSetState(cmd, VFMP_ST_ENDED, "disconnected");
      OT_Unbind(epi);
      break;
    case T_UNBINDCOMPLETE:
      if (epi->epRef) OT_CloseEndpoint(epi);
      clearOT(ep);
      VFMPSetState(cmd, VFMP_ST_CLOSED, "unbound");
      break;
    default: break;
  }
  if (cmd->wake) cmd->wake(cmd->wakeCookie);
}

namespace {
OTNotifyUPP gVFMPNotifyUPP = nullptr;
}

OSStatus VFMPOpen(VFMP_CMD_INFO* cmd) {
  if (!gVFMPNotifyUPP) gVFMPNotifyUPP = NewOTNotifyUPP(VFMPNotifyProc);
  TCPEPInfo* ep = cmd->ep;
  ep->remoteIpAddr = cmd->ipAddr;
  ep->remotePort = kVFMPPort;
  ep->epi.timeout = SInt32(cmd->timeout);
  VFMPSetState(cmd, VFMP_ST_OPENING, "opening");
  return OT_OpenEndpoint(&ep->epi, OT_PROTO_TCP, gVFMPNotifyUPP, cmd, true);
}

bool VFMPCheckTimeout(VFMP_CMD_INFO* cmd) {
  if (cmd->state == VFMP_ST_CLOSED || !cmd->ep || !cmd->ep->epi.epRef) return false;
  if (!VFMPIsTimeout(cmd->ep, cmd->timeout)) return false;
  VFMPClose(cmd, cmd->sent ? VFMP_ERR_TIMEOUT_REPLY : VFMP_ERR_TIMEOUT_CONNECT);
  // The close may have left the rest to the notifier; the error stands.
  if (cmd->state == VFMP_ST_ENDED) {
    cmd->error = cmd->sent ? VFMP_ERR_TIMEOUT_REPLY : VFMP_ERR_TIMEOUT_CONNECT;
  }
  return true;
}

bool VFMPConnectionOver(VFMP_CMD_INFO* cmd) {
  if (cmd->state != VFMP_ST_CLOSED) return false;
  if (!cmd->error && !cmd->replyDone) cmd->error = cmd->sent ? VFMP_ERR_RECEIVE : VFMP_ERR_TIMEOUT_CONNECT;
  return true;
}

void VFMPAdopt(VFMP_CMD_INFO* to, VFMP_CMD_INFO* from) {
  to->ep = from->ep;
  from->ep = nullptr;
  if (!gVFMPNotifyUPP) gVFMPNotifyUPP = NewOTNotifyUPP(VFMPNotifyProc);
  if (to->ep && to->ep->epi.epRef) OTInstallNotifier(to->ep->epi.epRef, gVFMPNotifyUPP, to);
  VFMPSetState(to, VFMP_ST_SEND, "took over an open connection");
  to->sent = 0;
  to->replyDone = 0;
}

void VFMPRelease(VFMP_CMD_INFO* cmd) {
  if (!cmd || !cmd->ep) return;
  if (cmd->ep->epi.epRef) {
    OTSetSynchronous(cmd->ep->epi.epRef);
    OT_CloseEndpoint(&cmd->ep->epi);
  }
  delete cmd->ep;
  cmd->ep = nullptr;
}

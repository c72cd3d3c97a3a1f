// The progress step: the commands started from the sub-dialogs (delete,
// rename, print, download, folder rename, move) run here one step per
// engine call, and the upload is started.
#include "holdmanager/HoldProgress.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "holdmanager/HoldEngine.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"

namespace {

constexpr UInt32 kNextRequestTicks = 60;

// A name the box holds (in the encoding of the language code given with
// it) or a local one (UTF-8).
std::string shortName(const UInt8* name, bool lengthPrefixed, TextEncoding encoding = kCFStringEncodingUTF8) {
  return ShortJobName(name, lengthPrefixed, encoding);
}
TextEncoding encodingOf(const HOLD_ENGINE* e, UInt8 langCode) { return LangCodeEncoding(langCode, e->encoding); }

// What the progress dialog says the command does.
std::string progressInfo(HOLD_ENGINE* e, PRG_REQUEST* req) {
  static const struct {
    UInt16 command;
    const char* key;
  } keys[] = {{CMD_DELETE, "STC_IC_DELETE="}, {CMD_RENAME, "STC_IC_RENAME="}, {CMD_FOLDER_RENAME, "STC_IC_RENAME="},
              {CMD_PRINT, "STC_IC_PRINT="},   {CMD_DOWNLOAD, "STC_IC_DOWNLOAD="}, {CMD_MOVE, "STC_IC_MOVE="}};
  const char* key = "";
  for (auto& k : keys)
    if (k.command == req->command) key = k.key;
  const std::string text = HoldText(e, "LABEL", key);
  if (req->command == CMD_DOWNLOAD) {
    const std::string base = req->path.substr(req->path.find_last_of('/') + 1);
    return HoldFormat(text, {shortName(reinterpret_cast<const UInt8*>(base.c_str()), false)});
  }
  // The names a request sends are in the language it gives them.
  const TextEncoding sent = encodingOf(e, req->cmd.param.langCode);
  if (req->command == CMD_RENAME) return HoldFormat(text, {shortName(req->cmd.param.name, true, sent)});
  // A folder's new name is shown whole: the box takes at most 16 characters.
  if (req->command == CMD_FOLDER_RENAME) return HoldFormat(text, {NameText(req->cmd.param.name, sent)});
  const PRG_JOB* job = req->done < req->jobs.size() ? &req->jobs[req->done] : nullptr;
  return HoldFormat(text, {job ? shortName(job->name, true, encodingOf(e, job->lang)) : "",
                           NameText(req->folderName, encodingOf(e, req->folderLang))});
}

// "12.5 KB / 100 KB (12%)": bytes done of the total and the percentage.
std::string transferText(UInt64 done, UInt64 total, int percent) {
  return HoldFormat("%s (%d%%)", {DataSizeText(done) + " / " + DataSizeText(total), percent});
}

int percentOf(UInt64 done, UInt64 total) { return total ? int(done * 100 / total) : 0; }

void refreshTexts(HOLD_ENGINE* e, PRG_REQUEST* req) {
  const int percent = percentOf(req->received, req->total);
  if (req->command == CMD_DOWNLOAD && req->received) {
    // The texts change only with the percentage, and while the data
    // streams at most once a tick: a step that is not drawn is drawn by
    // the next (a person sees no more, and the drawing would cost the
    // transfer a sixth of its time).
    if (percent == req->shownPercent) return;
    if (percent != 100 && TickCount() == req->shownTick) return;
  }
  req->shownPercent = percent;
  req->shownTick = TickCount();
  const std::string transfer = req->command == CMD_DOWNLOAD ? transferText(req->received, req->total, percent) : "";
  e->view->ProgressTexts(progressInfo(e, req), transfer, percent);
}

// One step of the upload and its texts: the file being sent and how far,
// or, once every file is sent, the wait for the box to file them.
int uploadStep(HOLD_ENGINE* e, SInt32* result) {
  LPR_JOB* job = e->upload.get();
  if (!job) {
    *result = LPR_ERR_INCOMPLETE;
    return 0;
  }
  // The file's text is read before the step: a step can send a whole file
  // and move on to the next, and the file it finished is still named with
  // its own figures, so that no file goes unnamed and no name is shown with
  // another file's sizes. Only that move renames the job, so the text
  // stands for the step's file whatever the step did. It is read from the
  // string file once per file, not at every step (a step comes with every
  // acknowledgement and every time the socket takes data again).
  if (e->uploadSending.empty() || e->uploadSendingName != job->jobName) {
    e->uploadSendingName = job->jobName;
    e->uploadSending = HoldFormat(HoldText(e, "LABEL", "STC_IC_UPLOAD="),
                                  {shortName(reinterpret_cast<const UInt8*>(job->jobName), false)});
  }
  const std::string sending = e->uploadSending;
  SInt16 code = LPR_WORKING;
  LPRPrint(job, &code);
  *result = code;
  // While the data streams, the figures are drawn at most once a tick (as
  // a download's).
  const bool streaming = code == LPR_WORKING && job->bytesSent && job->bytesSent < job->fileSize;
  if (streaming && TickCount() == e->uploadShownTick) return 0;
  e->uploadShownTick = TickCount();
  const int percent = percentOf(job->bytesSent, job->fileSize);
  const std::string transfer = transferText(job->bytesSent, job->fileSize, percent);
  if (code == LPR_NEXT_FILE || code == LPR_ALL_SENT) e->view->ProgressTexts(sending, transfer, percent);
  if (code == LPR_NEXT_FILE) return 0;
  e->view->ProgressTexts(job->state == LprState::Finished ? HoldText(e, "MESSAGE", "STR313=") : sending, transfer,
                         percent);
  return 0;
}

// The request's parameters for the job it is at.
void takeJob(PRG_REQUEST* req) {
  if (req->done >= req->jobs.size()) return;
  const PRG_JOB& j = req->jobs[req->done];
  std::memcpy(req->cmd.param.jobId, j.jobId, 4);
  std::memcpy(req->cmd.param.folderId, j.folderId, 4);
}

void dropPart(PRG_REQUEST* req) {
  if (req->file) {
    std::fclose(req->file);
    req->file = nullptr;
  }
  if (!req->partPath.empty()) std::remove(req->partPath.c_str());
}

// The hidden part file, new: what stood at its name (an earlier part, or
// a link or a pipe planted there) is removed, not written through or
// waited on. Null when it cannot be made.
std::FILE* openPart(const std::string& path) {
  std::remove(path.c_str());
  tb::UniqueFd fd;
  if (tb::OpenLocalFileToWrite(path, O_CREAT | O_EXCL, fd) != noErr) return nullptr;
  std::FILE* f = ::fdopen(fd.get(), "wb");
  if (f) fd.release();
  return f;
}

// A downloaded job is a text document of this program; the type and
// creator go with the hidden part file when it replaces the destination.
void markDownload(const std::string& path) {
  FSSpec fss{};
  FInfo info{};
  if (tb::PathToSpec(path, &fss) != noErr || FSpGetFInfo(&fss, &info) != noErr) return;
  info.fdType = 'TEXT';
  info.fdCreator = 'VMxh';
  FSpSetFInfo(&fss, &info);
}

// Writes the pieces whole (a short write goes on from where it stopped).
bool writeAll(int fd, iovec* iov, int count) {
  while (count > 0) {
    ssize_t n = ::writev(fd, iov, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    while (count > 0 && std::size_t(n) >= iov->iov_len) {
      n -= ssize_t(iov->iov_len);
      ++iov;
      --count;
    }
    if (count > 0) {
      iov->iov_base = static_cast<char*>(iov->iov_base) + n;
      iov->iov_len -= std::size_t(n);
    }
  }
  return true;
}

// The reading step of a download: large reads straight into the receive
// buffer, then every whole frame held taken at once, its job data handed
// from that buffer to the file in one gathered write. Runs a few
// milliseconds at most; when it stops with more to do, the loop is asked
// not to sleep before the next step. Returns true when the command ended.
bool downloadStep(HOLD_ENGINE* e, PRG_REQUEST* req) {
  VFMP_CMD_INFO* rec = &req->cmd;
  refreshTexts(e, req);
  constexpr int kPieces = 256;
  constexpr std::size_t kRead = 1u << 20;
  const int fd = fileno(req->file);
  const UInt64 until = tb::MonotonicMicros() + 8000;
  VFMPFramer& framer = VFMPSharedFramer();
  for (;;) {
    iovec pieces[kPieces];
    int count = 0;
    // What the last frame taken asks for.
    enum { GoOn, Last, Refused, NotReady, Bad } outcome = GoOn;
    UInt8 refusal = 0;
    while (count < kPieces && outcome == GoOn) {
      bool tooLong = false;
      std::span<const UInt8> frame = framer.NextView(kVFMPRcvBufSize, &tooLong);
      if (tooLong) {
        outcome = Bad;
        break;
      }
      if (frame.empty()) break;
      const UInt8* buf = frame.data();
      const std::size_t len = frame.size();
      if (len < 4) continue;
      const UInt8 res = buf[3];
      if (res >= 0xFD) {
        outcome = Refused;
        refusal = res;
        break;
      }
      if (res == VFMP_RES_NOT_READY) {
        outcome = NotReady;
        break;
      }
      if (len >= 8 && VFMPGet16(buf + 4) == VFMP_TAG_DATA) {
        std::size_t n = VFMPGet16(buf + 6);
        if (8 + n > len) {
          tb::TraceRefusal("vfmp", "job data of %zu bytes runs past its %zu-byte frame", n, len);
          outcome = Bad;
          break;
        }
        if (n) pieces[count++] = iovec{const_cast<UInt8*>(buf + 8), n};
        req->received += n;
      }
      if (res == 0) outcome = Last;
    }
    if (outcome == Refused || outcome == Bad) {
      EndPrgCmd(e, outcome == Bad ? SInt32(VFMP_ERR_RECEIVE) : SInt32(refusal));
      return true;
    }
    if (count && !writeAll(fd, pieces, count)) {
      EndPrgCmd(e, VFMP_ERR_FILE_WRITE);
      return true;
    }
    if (count) refreshTexts(e, req);
    if (outcome == Last) {
      rec->replyDone = 1;
      EndPrgCmd(e, 0);
      return true;
    }
    if (outcome == NotReady) {
      VFMPSetState(rec, VFMP_ST_WAIT_RESEND, "not ready");
      req->waitStart = TickCount();
      return false;
    }
    if (count == kPieces) continue;  // more whole frames may be held
    if (tb::MonotonicMicros() >= until) {
      e->view->StepSoon();  // more has come or may have: no wait before the next step
      return false;
    }
    OTResult r = VFMPRcvMore(rec->ep, kRead);
    if (r == kOTNoDataErr) return false;  // its arrival wakes the loop
    if (r < 0) {
      rec->error = VFMP_ERR_RECEIVE;
      return false;
    }
  }
}

}  // namespace

void PrgRequestFree::operator()(PRG_REQUEST* req) const {
  if (!req) return;
  dropPart(req);
  VFMPRelease(&req->cmd);
  delete req;
}

PrgRequestPtr NewPrgRequest() { return PrgRequestPtr(new (std::nothrow) PRG_REQUEST{}); }

bool StartProgressCommand(HOLD_ENGINE* e, HoldCommand command, PrgRequestPtr req) {
  if (!req) {
    EndCommand(e, command, nullptr, VFMP_ERR_NO_MEMORY, 0);
    return false;
  }
  req->command = command;
  req->cmd.wake = HoldStepSoon;
  req->cmd.wakeCookie = e;
  req->cmd.ipAddr = e->boxAddr;
  req->cmd.timeout = VFMPTimeoutFromSeconds(e->timeoutSeconds);
  req->cmd.param.langCode = req->langCode ? req->langCode : e->langCode;
  req->cmd.param.osCode = e->osCode;
  takeJob(req.get());
  req->cmd.ep = new (std::nothrow) TCPEPInfo{};
  if (!req->cmd.ep || VFMPOpen(&req->cmd) != kOTNoError) return false;
  e->running = &req->cmd;
  e->progress = std::move(req);
  e->view->OpenProgress(command);
  StartCommand(e, command, true);
  refreshTexts(e, e->progress.get());
  return true;
}

int ExecPrgCmd(HOLD_ENGINE* e, SInt32* result) {
  if (e->current == CMD_UPLOAD) return uploadStep(e, result);
  PRG_REQUEST* req = e->progress.get();
  if (!req) return 0;
  VFMP_CMD_INFO* rec = &req->cmd;
  if (VFMPCheckTimeout(rec) || VFMPConnectionOver(rec)) {
    *result = rec->error;
    EndPrgCmd(e, rec->error);
    return 1;
  }
  switch (rec->state) {
    case VFMP_ST_SEND: {
      refreshTexts(e, req);
      if (req->command == CMD_DOWNLOAD && !req->file) {
        // The job goes into a hidden file beside the destination, which
        // replaces it only when the whole job has come. It is made before
        // the request goes: the reply is read from its first byte on, not
        // left to pile up while the file is made.
        std::string dir = req->path.substr(0, req->path.find_last_of('/') + 1);
        std::string base = req->path.substr(req->path.find_last_of('/') + 1);
        req->partPath = dir + "." + base + ".part";
        req->file = openPart(req->partPath);
        if (req->file) markDownload(req->partPath);
        if (!req->file) {
          req->partPath.clear();
          EndPrgCmd(e, VFMP_ERR_FILE_WRITE);
          return 0;
        }
      }
      OTResult r = VFMPSendRequest(rec->ep, UInt8(req->command), rec->param);
      if (r <= 0) {
        EndPrgCmd(e, VFMP_ERR_SEND);
        return 0;
      }
      rec->sent = 1;
      rec->replyDone = 0;
      VFMPSetState(rec, VFMP_ST_READING, "sent");
      VFMPRcv(nullptr, nullptr, nullptr);
      VFMPResetCarry();
      break;
    }
    case VFMP_ST_WAIT_RESEND:
      if (TickCount() - req->waitStart > kNextRequestTicks) VFMPSetState(rec, VFMP_ST_SEND, "next request");
      break;
    case VFMP_ST_READING: {
      if (req->command == CMD_DOWNLOAD) {
        if (downloadStep(e, req)) return 0;
        break;
      }
      std::span<const UInt8> frame;
      OTResult r = VFMPRcvView(rec->ep, &frame);
      if (r == kVFMPFrameTooLong) {
        EndPrgCmd(e, VFMP_ERR_RECEIVE);
        return 0;
      }
      if (r < 0) {
        if (r != kOTNoDataErr) rec->error = VFMP_ERR_RECEIVE;
        break;
      }
      if (frame.size() < 4) break;
      // More frames may stand behind this one (see the list reader).
      if (rec->wake) rec->wake(rec->wakeCookie);
      const UInt8 echo = frame[2], res = frame[3];
      if (res >= 0xFD) {
        EndPrgCmd(e, res);
        return 0;
      }
      if (res == VFMP_RES_NOT_READY) {
        VFMPSetState(rec, VFMP_ST_WAIT_RESEND, "not ready");
        req->waitStart = TickCount();
        break;
      }
      if (echo != req->command || res != 0) break;
      const bool queued = req->command == CMD_DELETE || req->command == CMD_MOVE;
      if (queued && ++req->done < req->jobs.size()) {
        // The next job on the same connection, after the wait.
        takeJob(req);
        refreshTexts(e, req);
        VFMPSetState(rec, VFMP_ST_WAIT_RESEND, "next job");
        req->waitStart = TickCount();
        break;
      }
      rec->replyDone = 1;
      if (!queued) refreshTexts(e, req);
      EndPrgCmd(e, 0);
      return 0;
    }
    default: break;
  }
  *result = rec->error;
  return rec->state == VFMP_ST_CLOSED ? 1 : 0;
}

void EndPrgCmd(HOLD_ENGINE* e, SInt32 result) {
  PRG_REQUEST* req = e->progress.get();
  if (!req) return;
  const HoldCommand command = req->command;
  req->result = result;
  if (result == 0 &&
      (command == CMD_DELETE || command == CMD_RENAME || command == CMD_FOLDER_RENAME || command == CMD_MOVE)) {
    // The lists change: the refresh takes this connection over.
    StartCommand(e, CMD_REFRESH, true);
    return;
  }
  if (req->cmd.ep && req->cmd.ep->epi.epRef) VFMPClose(&req->cmd, UInt16(result));
  req->cmd.error = UInt16(result);
  if (command == CMD_DOWNLOAD) {
    if (result == 0 && req->file) {
      // Atomic by the rename; not forced to the disk, as other download
      // tools leave that to the system.
      bool ok = std::fflush(req->file) == 0;
      ok = std::fclose(req->file) == 0 && ok;
      req->file = nullptr;
      if (!ok || std::rename(req->partPath.c_str(), req->path.c_str()) != 0) {
        result = VFMP_ERR_FILE_WRITE;
        req->cmd.error = UInt16(result);
      } else {
        req->partPath.clear();
      }
    }
    dropPart(req);
  }
  VFMPRelease(&req->cmd);
  if (e->running == &req->cmd) e->running = nullptr;
  // Held until the end is told: the end reads the request's record.
  PrgRequestPtr ended = std::move(e->progress);
  EndCommand(e, command, &ended->cmd, UInt16(result), 0);
}

void CancelPrgCmd(HOLD_ENGINE* e) {
  if (e->current == CMD_UPLOAD && e->upload) {
    LPRClose(e->upload.get());
    return;
  }
  if (e->progress) {
    EndPrgCmd(e, VFMP_ERR_NO_MEMORY);
    return;
  }
  // The refresh the dialog goes on to show: after a change on the box (it
  // took the command's connection over) or the wait after an upload.
  if (e->current == CMD_REFRESH) CancelCommand(e);
}

void CancelCommand(HOLD_ENGINE* e) {
  if (!e->current) return;
  // Nothing follows a cancelled command: the wait after an upload, between
  // two of its looks at the box, would otherwise go on without its dialog.
  HoldSetCommands(e, e->previous, e->current, CMD_NONE, "cancelled");
  if (e->current == CMD_UPLOAD || e->progress) {
    CancelPrgCmd(e);
    // A closed upload goes on to its end in its own steps.
    if (e->current == CMD_UPLOAD) CommandPendingLoop(e);
    return;
  }
  if (e->running) {
    VFMPClose(e->running, VFMP_ERR_NO_MEMORY);
    CommandPendingLoop(e);
  }
  if (e->current) EndCommand(e, e->current, nullptr, VFMP_ERR_NO_MEMORY, 0);
}

bool StartUpload(HOLD_ENGINE* e, const std::vector<FSSpec>& files, int folderValue) {
  // A running command (a refresh) ends first, as for a new search: the
  // upload and the wait after it have records of their own.
  CancelCommand(e);
  if (e->current) return false;
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  const char* user = std::getenv("USER");
  LPRJobPtr job = LPRMakeJob(files, folderValue, e->boxAddr, e->timeoutSeconds, host, user ? user : "", e->encoding);
  if (!job) return false;
  // The daemon's answers, the socket's room for more and a step that
  // stopped at its time bring the next step at the loop's next turn instead
  // of an idle interval on.
  job->wake = HoldStepSoon;
  job->wakeCookie = e;
  e->upload = std::move(job);
  e->uploadRemoved = 0;
  e->uploadSending.clear();
  e->view->OpenProgress(CMD_UPLOAD);
  StartCommand(e, CMD_UPLOAD, true);
  return true;
}

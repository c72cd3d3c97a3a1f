// The held-job manager's command engine: one command at a time against the
// print box, advanced in small steps by the idle timer, reporting to the
// window only through HoldView.
#include "holdmanager/HoldEngine.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "common/GWorldImage.h"
#include "holdmanager/HoldProgress.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/fileservices.h"
#include "toolbox/trace.h"

namespace {

constexpr UInt32 kResendTicks = 61;
constexpr UInt32 kUploadWaitMs = 3000;
// A page picture is a small bitmap; a reply that runs past this is no
// thumbnail and is not held.
constexpr std::size_t kThumbnailMax = std::size_t(16) << 20;

// The status texts' numbers while a command runs and when it has ended.
int startNumber(HoldCommand c) {
  switch (c) {
    case CMD_REFRESH: return 1;
    case CMD_INFO:
    case CMD_THUMBNAIL: return 2;
    case CMD_DELETE: return 4;
    case CMD_RENAME: return 5;
    case CMD_PRINT: return 6;
    case CMD_DOWNLOAD: return 7;
    case CMD_FOLDER_RENAME: return 8;
    case CMD_MOVE: return 9;
    case CMD_UPLOAD: return 10;
    case CMD_NONE: break;
  }
  return 0;
}

int endNumber(HoldCommand c) {
  switch (c) {
    case CMD_REFRESH: return 11;
    case CMD_INFO:
    case CMD_THUMBNAIL: return 12;
    case CMD_DELETE: return 17;
    case CMD_RENAME: return 16;
    case CMD_PRINT: return 14;
    case CMD_DOWNLOAD: return 15;
    case CMD_FOLDER_RENAME: return 18;
    case CMD_MOVE: return 19;
    case CMD_UPLOAD: return 20;
    case CMD_NONE: break;
  }
  return 0;
}

// A command sequence as the trace names it: the command running, what it
// followed, what comes after it. The wait after an upload (a refresh that
// follows the upload, always followed by another) is "wait".
std::string sequenceName(HoldCommand previous, HoldCommand current, HoldCommand next) {
  if (previous == CMD_UPLOAD && current == CMD_REFRESH) return "wait";
  std::string s = HoldCommandName(current);
  if (previous && current) s += std::string(" after ") + HoldCommandName(previous);
  if (next) s += next == current ? std::string(" and again") : std::string(" then ") + HoldCommandName(next);
  return s;
}

const char* listKindName(ListKind k) {
  switch (k) {
    case ListKind::None: return "none";
    case ListKind::BoxJobs: return "the box's jobs";
    case ListKind::FolderJobs: return "a folder's jobs";
    case ListKind::Folders: return "the folders";
  }
  return "?";
}

void setStatus(HOLD_ENGINE* e, const char* section, int number, long value = 0) {
  char key[16];
  std::snprintf(key, sizeof key, std::strcmp(section, "MESSAGE") == 0 ? "STR%03d=" : "STR%02d=", number);
  e->view->SetStatus(HoldFormat(HoldText(e, section, key), {value}));
}

// Sends the record's request; a failed or short send ends with error 3.
bool sendRequest(VFMP_CMD_INFO* rec, UInt8 code) {
  VFMP_PARAM& p = rec->param;
  UInt8 frame[kTCPBufSize];
  int want = VFMPBuildRequest(code, p, frame);
  OTResult r = VFMPSendRequest(rec->ep, code, p);
  if (r <= 0 || r != want) {
    VFMPClose(rec, VFMP_ERR_SEND);
    return false;
  }
  rec->sent = 1;
  rec->replyDone = 0;
  rec->code = code;
  VFMPSetState(rec, VFMP_ST_READING, "sent");
  VFMPRcv(nullptr, nullptr, nullptr);
  VFMPResetCarry();
  return true;
}

// Reads one frame for a reader: its length (0 none); a receive failure
// records error 4 (the time-out then ends the command), a frame too long
// for the buffer ends it with 4.
int readFrame(VFMP_CMD_INFO* rec, UInt8* buf) {
  UInt32 len = kVFMPRcvBufSize;
  OTResult r = VFMPRcv(rec->ep, buf, &len);
  if (r == kVFMPFrameTooLong) {
    VFMPClose(rec, VFMP_ERR_RECEIVE);
    return 0;
  }
  if (r < 0) {
    if (r != kOTNoDataErr) rec->error = VFMP_ERR_RECEIVE;
    return 0;
  }
  // A whole frame was taken and more may stand behind it, already read or
  // still in the socket (of which no news comes until it is read out): the
  // next frame is read at the loop's next turn, not an idle interval on.
  if (len && rec->wake) rec->wake(rec->wakeCookie);
  return int(len);
}

// The "not ready" wait and its resend.
void waitToResend(HOLD_ENGINE* e, VFMP_CMD_INFO* rec) {
  VFMPSetState(rec, VFMP_ST_WAIT_RESEND, "not ready");
  e->resendStart = TickCount();
}
bool resendDue(HOLD_ENGINE* e) { return TickCount() - e->resendStart >= kResendTicks; }

// A frame's result: an error ends the exchange and "not ready" sends the
// request again later; true when the frame is to be taken.
bool frameTaken(HOLD_ENGINE* e, VFMP_CMD_INFO* rec, UInt8 result) {
  if (result >= 253) {
    VFMPClose(rec, result);
    return false;
  }
  if (result == VFMP_RES_NOT_READY) {
    waitToResend(e, rec);
    return false;
  }
  return true;
}

// The last frame of a reply answers the request.
void closeIfLast(VFMP_CMD_INFO* rec, UInt8 result) {
  if (result != VFMP_RES_LAST) return;
  rec->replyDone = 1;
  VFMPClose(rec, 0);
}

// One step of a request answered by one reply: the time-out, the send, the
// wait before a resend; each frame read (four bytes at least) goes to
// onFrame. Whether the exchange is over.
template <class OnFrame>
int replyStep(HOLD_ENGINE* e, VFMP_CMD_INFO* rec, UInt8 code, OnFrame&& onFrame) {
  if (VFMPCheckTimeout(rec) || VFMPConnectionOver(rec)) return rec->state == VFMP_ST_CLOSED;
  switch (rec->state) {
    case VFMP_ST_SEND: sendRequest(rec, code); break;
    case VFMP_ST_WAIT_RESEND:
      if (resendDue(e)) VFMPSetState(rec, VFMP_ST_SEND, "resend");
      break;
    case VFMP_ST_READING: {
      UInt8 buf[kVFMPRcvBufSize];
      const int len = readFrame(rec, buf);
      if (len >= 4) onFrame(buf, len);
      break;
    }
    default: break;
  }
  return rec->state == VFMP_ST_CLOSED;
}

void dateFrom(HoldDate* d, const UInt8* v, std::size_t n) {
  if (n < 6) return;
  d->year = UInt16(v[0] << 8 | v[1]);
  d->month = v[2];
  d->day = v[3];
  d->hour = v[4];
  d->minute = v[5];
  d->second = 0;
}

void copyId(UInt8* dest, const UInt8* v, std::size_t n) {
  std::memset(dest, 0, 4);
  std::memcpy(dest, v, std::min<std::size_t>(n, 4));
}

UInt16 val16(const UInt8* v, std::size_t n) { return n >= 2 ? UInt16(v[0] << 8 | v[1]) : n == 1 ? v[0] : 0; }
UInt32 val32(const UInt8* v, std::size_t n) { return n >= 4 ? VFMPGet32(v) : val16(v, n); }

void markFoldersStale(HOLD_ENGINE* e) {
  for (auto& kind : e->folderChangeStale) std::fill(std::begin(kind), std::end(kind), true);
}

void finishList(HOLD_ENGINE* e, VFMP_CMD_INFO* rec) {
  rec->replyDone = 1;
  if (e->listKind == ListKind::Folders && !e->listForUploadWait) {
    // The folders are known: the chosen folder's jobs on the same connection.
    e->listKind = ListKind::FolderJobs;
    e->listPhase = ListPhase::ChangeNumber;
    VFMPSetState(rec, VFMP_ST_SEND, "folders listed");
    return;
  }
  VFMPClose(rec, 0);
}

const UInt8* bytesOf(const std::string& s) { return reinterpret_cast<const UInt8*>(s.data()); }

void clearEntry(HOLD_ENGINE* e) {
  e->entry = JOB_ENTRY{};
  e->folderEntry = FOLDER_ENTRY{};
  e->entryName.clear();
  e->entryOwner.clear();
  e->entryFolderName.clear();
}

void listRecord(HOLD_ENGINE* e, const UInt8* r) {
  const UInt16 tag = VFMPGet16(r);
  const std::size_t n = VFMPGet16(r + 2);
  const UInt8* v = r + 4;
  if (tag > VFMP_TAG_END_ENTRY) return;
  JOB_ENTRY& j = e->entry;
  FOLDER_ENTRY& f = e->folderEntry;
  switch (tag) {
    case VFMP_TAG_JOB_ID1:
    case VFMP_TAG_JOB_ID: copyId(j.jobId, v, n); break;
    case VFMP_TAG_JOB_NAME: e->entryName.assign(reinterpret_cast<const char*>(v), n); break;
    case VFMP_TAG_OWNER: e->entryOwner.assign(reinterpret_cast<const char*>(v), n); break;
    case VFMP_TAG_BYTE05: j.byte05 = n ? v[0] : 0; break;
    case VFMP_TAG_DATE: dateFrom(&j.date, v, n); break;
    case VFMP_TAG_SIZE: j.size = val32(v, n); break;
    case VFMP_TAG_LANG: j.lang = f.lang = n ? v[0] : 0; break;
    case VFMP_TAG_OS: j.os = f.os = n ? v[0] : 0; break;
    case VFMP_TAG_FOLDER_ID:
      copyId(j.folderId, v, n);
      copyId(f.folderId, v, n);
      break;
    case VFMP_TAG_FOLDER_NAME: e->entryFolderName.assign(reinterpret_cast<const char*>(v), n); break;
    case VFMP_TAG_FOLDER_2A: f.attr2A = n ? v[0] : 0; break;
    case VFMP_TAG_FOLDER_2B: f.attr2B = val16(v, n); break;
    case VFMP_TAG_END_ENTRY:
      if (e->listKind == ListKind::Folders) {
        SetPStrFromRecord(f.name, bytesOf(e->entryFolderName), e->entryFolderName.size(),
                          LangCodeEncoding(f.lang, e->encoding));
        AddPtrList(&e->folders, &f, sizeof f);
      } else {
        const TextEncoding own = LangCodeEncoding(j.lang, e->encoding);
        SetPStrFromRecord(j.name, bytesOf(e->entryName), e->entryName.size(), own);
        SetPStrFromRecord(j.owner, bytesOf(e->entryOwner), e->entryOwner.size(), own);
        AddPtrList(e->listKind == ListKind::BoxJobs ? &e->boxJobs : &e->holdJobs, &j, sizeof j);
      }
      clearEntry(e);
      break;
    default: break;
  }
}

// Walks every record of a frame (from byte 4) through the splitter.
template <class F>
void walkFrame(const UInt8* frame, std::size_t len, F&& onRecord) {
  static UInt8 rec[kVFMPMaxRecord];
  std::span<const UInt8> body(frame + 4, len - 4);
  std::size_t pos = 0;
  while (pos < body.size())
    if (VEMPAdjustRcv(rec, body, &pos)) onRecord(rec);
}

void clearListOfKind(HOLD_ENGINE* e, ListKind kind, const UInt8 folder[4]) {
  if (kind == ListKind::Folders)
    ClearPtrList(&e->folders);
  else if (kind == ListKind::BoxJobs)
    ClearPtrList(&e->boxJobs);
  else if (e->newerDevice)
    ClearPtrListFromFolder(&e->holdJobs, folder);
  else
    ClearPtrList(&e->holdJobs);
  e->view->ListChanged(int(kind));
}

void listStep(HOLD_ENGINE* e, VFMP_CMD_INFO* rec) {
  UInt8 buf[kVFMPRcvBufSize];
  int len = readFrame(rec, buf);
  if (len < 4) return;
  const UInt8 code = buf[2], result = buf[3];
  if (!frameTaken(e, rec, result)) return;
  if (e->listPhase == ListPhase::ChangeNumber) {
    bool found = false;
    UInt32 number = 0;
    walkFrame(buf, std::size_t(len), [&](const UInt8* r) {
      if (VFMPGet16(r) == VFMP_TAG_CHANGE) {
        found = true;
        number = val32(r + 4, VFMPGet16(r + 2));
      }
    });
    if (!found) {
      // The record may go on in the next frame; a reply that ends without it is wrong.
      if (result == VFMP_RES_LAST) VFMPClose(rec, VFMP_ERR_RECEIVE);
      return;
    }
    const ListKind kind = e->listKind;
    const int k = int(kind);
    const bool perFolder = e->newerDevice && kind == ListKind::FolderJobs;
    const int slot = e->listFolderSlot;
    bool noSlot = true;
    bool& stale = !perFolder ? e->changeStale[k] : slot >= 0 ? e->folderChangeStale[k][slot] : noSlot;
    UInt32 unstored = 0;
    UInt32& stored = !perFolder ? e->change[k] : slot >= 0 ? e->folderChange[k][slot] : unstored;
    bool sameBox = e->shownMacValid && std::memcmp(e->shownMac, e->boxMac, 6) == 0;
    if (sameBox && !stale && stored == number) {
      tb::TraceNote("vfmp", "%s: current (change %u)", listKindName(kind), number);
      finishList(e, rec);
      return;
    }
    stored = number;
    stale = false;
    // Other folders may now stand at the places the change numbers were
    // kept for.
    if (kind == ListKind::Folders) markFoldersStale(e);
    std::memcpy(e->shownMac, e->boxMac, 6);
    e->shownMacValid = true;
    clearListOfKind(e, kind, rec->param.listFolder);
    e->listPhase = ListPhase::List;
    clearEntry(e);
    sendRequest(rec, VFMP_LIST);
    return;
  }
  if (code != VFMP_LIST) {
    if (result == VFMP_RES_LAST) finishList(e, rec);
    return;
  }
  HoldTakeListFrame(e, std::span<const UInt8>(buf, std::size_t(len)));
  if (result == VFMP_RES_LAST) finishList(e, rec);
}

void endRefresh(HOLD_ENGINE* e) {
  VFMP_CMD_INFO* rec = e->list;
  const int tab = e->view->CurrentTab();
  if (e->listForUploadWait && rec->error == 0) {
    bool empty = GetCountPtrList(e->boxJobs) == 0;
    HoldFreeRecord(e->list);
    e->running = nullptr;
    if (empty) {
      // Every uploaded job is filed: a normal refresh follows.
      e->listForUploadWait = false;
      HoldSetCommands(e, CMD_NONE, CMD_REFRESH, CMD_REFRESH, "the box filed the upload");
      EndCommand(e, CMD_REFRESH, nullptr, 0, 0);
    } else {
      // The wait goes on: the box's own list is asked for again later.
      HoldSetCommands(e, CMD_UPLOAD, CMD_REFRESH, CMD_REFRESH, "the box is still filing");
    }
    return;
  }
  e->listForUploadWait = false;
  UInt16 err = rec->error;
  EndCommand(e, CMD_REFRESH, rec, err, 0);
  HoldFreeRecord(e->list);
  if (e->running == rec) e->running = nullptr;
  if (tab == 1) e->view->RedrawPreview();
}

// The first step of a refresh: what to list, and the connection.
bool startRefresh(HOLD_ENGINE* e) {
  const int tab = e->view->CurrentTab();
  ListKind kind;
  switch (e->previous) {
    case CMD_NONE:
    case CMD_REFRESH:
    case CMD_DELETE:
    case CMD_RENAME:
    case CMD_MOVE: kind = tab == 3 ? ListKind::BoxJobs : ListKind::Folders; break;
    case CMD_FOLDER_RENAME: kind = ListKind::Folders; break;
    case CMD_UPLOAD:
      if (TickToMilli(TickCount() - e->uploadStamp) <= kUploadWaitMs) return false;
      kind = ListKind::BoxJobs;
      e->uploadStamp = TickCount();
      e->listForUploadWait = true;
      break;
    default: return false;
  }
  VFMP_CMD_INFO* rec = HoldNewRecord(e, e->boxAddr);
  if (!rec) {
    EndCommand(e, CMD_REFRESH, nullptr, VFMP_ERR_NO_MEMORY, 0);
    return true;
  }
  e->listKind = kind;
  e->listPhase = ListPhase::ChangeNumber;
  if (e->progress && e->progress->cmd.ep && e->progress->cmd.ep->epi.epRef) {
    // The progress command that just succeeded is still connected.
    VFMPAdopt(rec, &e->progress->cmd);
    e->progress.reset();
  } else {
    e->progress.reset();
    if (!HoldOpenRecord(rec)) {
      EndCommand(e, CMD_REFRESH, nullptr, VFMP_ERR_NO_MEMORY, 0);
      return true;
    }
  }
  e->list = rec;
  e->running = rec;
  return true;
}

bool refreshStep(HOLD_ENGINE* e) {
  if (!e->list) return startRefresh(e);
  VFMP_CMD_INFO* rec = e->list;
  if (VFMPCheckTimeout(rec) || VFMPConnectionOver(rec)) {
    if (rec->state == VFMP_ST_CLOSED || !rec->ep->epi.epRef) endRefresh(e);
    return true;
  }
  switch (rec->state) {
    case VFMP_ST_SEND:
      GetActiveFolderInfo(e, &rec->param, e->listKind);
      sendRequest(rec, e->listPhase == ListPhase::ChangeNumber ? VFMP_CHANGE : VFMP_LIST);
      break;
    case VFMP_ST_WAIT_RESEND:
      if (resendDue(e)) VFMPSetState(rec, VFMP_ST_SEND, "resend");
      break;
    case VFMP_ST_READING: listStep(e, rec); break;
    default: break;
  }
  if (rec->state == VFMP_ST_CLOSED) endRefresh(e);
  return true;
}

void infoRecord(JOB_INFO& i, const UInt8* r, TextEncoding encoding) {
  const UInt16 tag = VFMPGet16(r);
  const std::size_t n = VFMPGet16(r + 2);
  const UInt8* v = r + 4;
  if (tag > VFMP_TAG_FOLDER_ID) return;
  switch (tag) {
    case VFMP_TAG_JOB_ID1:
    case VFMP_TAG_JOB_ID: copyId(i.jobId, v, n); break;
    case VFMP_TAG_JOB_NAME: SetPStrFromRecord(i.name, v, n, encoding); break;
    case VFMP_TAG_OWNER: SetPStrFromRecord(i.owner, v, n, encoding); break;
    case VFMP_TAG_BYTE05: i.byte05 = n ? v[0] : 0; break;
    case VFMP_TAG_DATE: dateFrom(&i.date, v, n); break;
    case VFMP_TAG_PAGES:
      i.pages = val16(v, n);
      i.hasPages = i.pages ? 1 : 0;
      break;
    case VFMP_TAG_SIZE: i.size = val32(v, n); break;
    case VFMP_TAG_PAPER: i.paper = val16(v, n); break;
    case VFMP_TAG_RESOLUTION: i.resolution = val16(v, n); break;
    case VFMP_TAG_0B: std::memcpy(i.b0B, v, std::min<std::size_t>(n, 2)); break;
    case VFMP_TAG_0C: std::memcpy(i.b0C, v, std::min<std::size_t>(n, 2)); break;
    case VFMP_TAG_0D: i.b0D = n ? v[0] : 0; break;
    case VFMP_TAG_HAS_THUMBS: i.hasThumbnails = n ? v[0] : 0; break;
    case VFMP_TAG_FOLDER_ID: copyId(i.folderId, v, n); break;
    default: break;
  }
}

bool startInfo(HOLD_ENGINE* e) {
  if (e->view->InfoDialogFetching()) return false;
  JOB_ENTRY job{};
  if (!e->view->SelectedJob(&job)) {
    EndCommand(e, CMD_INFO, nullptr, VFMP_ERR_NO_MEMORY, 0);
    return true;
  }
  VFMP_CMD_INFO* rec = HoldNewRecord(e, e->boxAddr);
  if (!rec || (std::memcpy(rec->param.jobId, job.jobId, 4), std::memcpy(rec->param.folderId, job.folderId, 4),
               !HoldOpenRecord(rec))) {
    delete rec;
    EndCommand(e, CMD_INFO, nullptr, VFMP_ERR_NO_MEMORY, 0);
    return true;
  }
  e->infoRec = rec;
  e->running = rec;
  e->haveInfo = false;
  e->infoLang = job.lang;
  return true;
}

// Names the thumbnail cache file of the current page, which the fetch
// writes whole when the picture has come.
bool createThumbFile(HOLD_ENGINE* e, UInt16 page) {
  static int serial = 0;
  std::string dir = HoldCacheFolder();
  if (dir.empty()) return false;
  e->thumbPath = dir + "/_thmb" + std::to_string(++serial) + "_" + std::to_string(page);
  e->thumbBytes.clear();
  e->thumbCreated = true;
  return true;
}

bool startThumbnail(HOLD_ENGINE* e) {
  if (e->view->InfoDialogFetching()) return false;
  VFMP_CMD_INFO* rec = e->haveInfo ? HoldNewRecord(e, e->info.ipAddr) : nullptr;
  if (rec) {
    std::memcpy(rec->param.jobId, e->info.jobId, 4);
    std::memcpy(rec->param.folderId, e->info.folderId, 4);
    rec->param.page = e->info.hasPages;
  }
  if (!rec || !createThumbFile(e, rec->param.page) || !HoldOpenRecord(rec)) {
    if (rec && rec->ep == nullptr && !e->thumbCreated) delete rec;
    EndCommand(e, CMD_THUMBNAIL, nullptr, VFMP_ERR_NO_MEMORY, 0);
    return true;
  }
  e->thumbRec = rec;
  e->running = rec;
  return true;
}

void endInfo(HOLD_ENGINE* e) {
  VFMP_CMD_INFO* rec = e->infoRec;
  UInt16 err = rec->error;
  e->running = nullptr;
  if (err == 0 && e->haveInfo) {
    UpdateJobInfo(e, e->info);
    e->view->ShowJobInfo(e->info);
    if (e->view->PreviewOn() && e->info.hasThumbnails == 1 && e->info.pages != 0) {
      HoldFreeRecord(e->infoRec);
      StartCommand(e, CMD_THUMBNAIL, false);
      return;
    }
  }
  EndCommand(e, CMD_INFO, rec, err, 0);
  HoldFreeRecord(e->infoRec);
}

bool infoStep(HOLD_ENGINE* e) {
  if (!e->infoRec) return startInfo(e);
  VFMPGetFileInfo(e, e->infoRec);
  if (e->infoRec->state == VFMP_ST_CLOSED) endInfo(e);
  return true;
}

void endThumbnail(HOLD_ENGINE* e) {
  VFMP_CMD_INFO* rec = e->thumbRec;
  UInt16 err = rec->error;
  e->running = nullptr;
  if (err == 0) err = HoldAddThumbnail(&e->thumbs, e->thumbPath, rec->param.page);
  EndCommand(e, CMD_THUMBNAIL, rec, err, 0);
  HoldFreeRecord(e->thumbRec);
  e->view->RedrawPreview();
}

bool thumbStep(HOLD_ENGINE* e) {
  if (!e->thumbRec) return startThumbnail(e);
  VFMPGetThumbnail(e, e->thumbRec);
  if (e->thumbRec->state == VFMP_ST_CLOSED) endThumbnail(e);
  return true;
}

// The end an upload step's code makes: each file the daemon has whole
// leaves the local list as it goes; all sent starts the wait for the box to
// file the jobs, the progress dialog staying to say so; a failure ends the
// command with its message.
void uploadResult(HOLD_ENGINE* e, SInt16 code) {
  const LPR_JOB* job = e->upload.get();
  while (job && e->uploadRemoved < job->filesSent) e->view->RemoveLocalFile(job->files[e->uploadRemoved++]);
  if (code == LPR_WORKING || code == LPR_NEXT_FILE) return;
  const int files = job ? job->fileCount : 0;
  e->upload.reset();
  if (code == LPR_ALL_SENT) {
    e->uploadCount = files;
    e->uploadStamp = TickCount();
    // The wait for the box to file the jobs, a refresh after it.
    StartCommand(e, CMD_REFRESH, true, CMD_REFRESH);
    setStatus(e, "STRING", 20, e->uploadCount);
    return;
  }
  UInt16 err = VFMP_ERR_NO_MEMORY;
  switch (code) {
    case LPR_ERR_OPEN_ENDPOINT: err = 1; break;
    case LPR_ERR_SEND:
    case LPR_ERR_END_BYTE: err = 3; break;
    case LPR_ERR_OPEN_FILE:
    case LPR_ERR_READ_FILE: err = 5; break;
    case LPR_ERR_OVERRUN:
    case LPR_ERR_REFUSED: err = 255; break;
    case LPR_ERR_TIMEOUT: err = 2; break;
    default: break;
  }
  EndCommand(e, CMD_UPLOAD, nullptr, err, 0);
}

}  // namespace

void HoldTakeListFrame(HOLD_ENGINE* e, std::span<const UInt8> frame) {
  if (frame.size() >= 4) walkFrame(frame.data(), frame.size(), [&](const UInt8* r) { listRecord(e, r); });
}

void HoldTakeInfoFrame(JOB_INFO* info, std::span<const UInt8> frame, TextEncoding encoding) {
  if (frame.size() >= 4) walkFrame(frame.data(), frame.size(), [&](const UInt8* r) { infoRecord(*info, r, encoding); });
}

void HoldStepSoon(void* engine) { static_cast<HOLD_ENGINE*>(engine)->view->StepSoon(); }

VFMP_CMD_INFO* HoldNewRecord(HOLD_ENGINE* e, UInt32 addr) {
  auto* rec = new (std::nothrow) VFMP_CMD_INFO{};
  if (!rec) return nullptr;
  rec->wake = HoldStepSoon;
  rec->wakeCookie = e;
  rec->ipAddr = addr;
  rec->timeout = VFMPTimeoutFromSeconds(e->timeoutSeconds);
  rec->param.langCode = e->langCode;
  rec->param.osCode = e->osCode;
  return rec;
}

bool HoldOpenRecord(VFMP_CMD_INFO*& rec) {
  rec->ep = new (std::nothrow) TCPEPInfo{};
  if (!rec->ep || VFMPOpen(rec) != kOTNoError) {
    VFMPRelease(rec);
    delete rec;
    rec = nullptr;
    return false;
  }
  return true;
}

void HoldFreeRecord(VFMP_CMD_INFO*& rec) {
  if (!rec) return;
  VFMPSetState(rec, VFMP_ST_GIVEN_UP, "record freed");
  VFMPRelease(rec);
  delete rec;
  rec = nullptr;
}

UInt16 HoldAddThumbnail(PtrListHead* thumbs, const std::string& path, UInt16 page) {
  GWorldPtr pic = nullptr;
  FSSpec fss{};
  // A picture the loader cannot take is a reply that went wrong.
  if (tb::PathToSpec(path, &fss) != noErr || NewGWorldFromBMP(&pic, &fss) != noErr || !pic) return VFMP_ERR_RECEIVE;
  THUMB_ENTRY t{};
  t.picture = pic;
  std::snprintf(t.path, sizeof t.path, "%s", path.c_str());
  t.page = page;
  AddPtrList(thumbs, &t, sizeof t);
  return 0;
}

std::string HoldText(const HOLD_ENGINE* e, const char* section, const char* key) {
  return HoldIniString(e->strIni.c_str(), section, key);
}

std::string HoldCacheFolder() {
  std::string base;
  if (const char* x = std::getenv("XDG_CACHE_HOME"); x && *x)
    base = x;
  else if (const char* h = std::getenv("HOME"); h && *h)
    base = std::string(h) + "/.cache";
  else
    return {};
  std::string dir = base + "/vemo";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  // Private: other users never read the box's pages.
  ::chmod(dir.c_str(), 0700);
  return ec ? std::string() : dir;
}

void HoldCacheRemove() {
  std::string dir = HoldCacheFolder();
  if (dir.empty()) return;
  std::error_code ec;
  for (auto& ent : std::filesystem::directory_iterator(dir, ec))
    if (ent.path().filename().string().rfind("_thmb", 0) == 0) std::filesystem::remove(ent.path(), ec);
}

void HoldEngineInit(HOLD_ENGINE* e, HoldView* view, const std::string& strIni) {
  e->view = view;
  e->strIni = strIni;
  HoldMarkListsStale(e);
}

void HoldEngineDispose(HOLD_ENGINE* e) {
  HoldFreeRecord(e->list);
  HoldFreeRecord(e->infoRec);
  HoldFreeRecord(e->thumbRec);
  if (e->progress) EndPrgCmd(e, VFMP_ERR_NO_MEMORY);
  e->upload.reset();
  ClearPtrList(&e->holdJobs);
  ClearPtrList(&e->boxJobs);
  ClearPtrList(&e->folders);
  for (int i = 0; auto* t = static_cast<THUMB_ENTRY*>(GetPtrList(e->thumbs, i)); ++i)
    if (t->picture) DisposeGWorld(t->picture);
  ClearPtrList(&e->thumbs);
  HoldCacheRemove();
  e->running = nullptr;
  HoldSetCommands(e, CMD_NONE, CMD_NONE, CMD_NONE, "disposed");
}

const char* HoldCommandName(HoldCommand c) {
  switch (c) {
    case CMD_NONE: return "idle";
    case CMD_REFRESH: return "refresh";
    case CMD_INFO: return "info";
    case CMD_DELETE: return "delete";
    case CMD_RENAME: return "rename";
    case CMD_PRINT: return "print";
    case CMD_DOWNLOAD: return "download";
    case CMD_THUMBNAIL: return "thumbnail";
    case CMD_FOLDER_RENAME: return "folder-rename";
    case CMD_MOVE: return "move";
    case CMD_UPLOAD: return "upload";
  }
  return "?";
}

void HoldSetCommands(HOLD_ENGINE* e, HoldCommand previous, HoldCommand current, HoldCommand next, const char* why) {
  if (e->previous == previous && e->current == current && e->next == next) return;
  if (tb::TraceOn("hold")) {
    const std::string from = sequenceName(e->previous, e->current, e->next);
    tb::TraceState("hold", "command", e, from.c_str(), sequenceName(previous, current, next).c_str(), why);
  }
  e->previous = previous;
  e->current = current;
  e->next = next;
}

void StartCommand(HOLD_ENGINE* e, HoldCommand command, bool keepButtons, HoldCommand then) {
  HoldSetCommands(e, e->current, command, then, "started");
  e->busy = 1;
  e->view->StepSoon();
  e->view->DrawLogo(1);
  int n = e->previous ? startNumber(e->previous) : 0;
  setStatus(e, "STRING", n ? n : startNumber(command));
  if (command == CMD_INFO && !keepButtons) e->view->ClearThumbnails();
  // Whoever keeps the buttons, no page is turned while a command runs.
  if (!keepButtons)
    e->view->UpdateButtons();
  else
    e->view->UpdatePageButtons();
  if (command == CMD_INFO || command == CMD_THUMBNAIL) e->view->RedrawPreview();
}

bool CommandPendingLoop(HOLD_ENGINE* e) {
  switch (e->current) {
    case CMD_REFRESH: return refreshStep(e);
    case CMD_INFO: return infoStep(e);
    case CMD_THUMBNAIL: return thumbStep(e);
    case CMD_DELETE:
    case CMD_RENAME:
    case CMD_PRINT:
    case CMD_DOWNLOAD:
    case CMD_FOLDER_RENAME:
    case CMD_MOVE: {
      SInt32 result = 0;
      ExecPrgCmd(e, &result);
      return true;
    }
    case CMD_UPLOAD: {
      SInt32 code = LPR_WORKING;
      ExecPrgCmd(e, &code);
      uploadResult(e, SInt16(code));
      return true;
    }
    default: return false;
  }
}

void EndCommand(HOLD_ENGINE* e, HoldCommand command, VFMP_CMD_INFO* rec, UInt16 error, int after) {
  const bool tabChange = (rec && rec->error == VFMP_ERR_TAB_CHANGE) || error == VFMP_ERR_TAB_CHANGE;
  HoldSetCommands(e, e->previous, tabChange ? CMD_NONE : e->next, CMD_NONE,
                  tabChange ? "a tab change"
                  : error   ? "failed"
                            : "ended");
  if (tabChange) {
    if (rec) rec->error = 0;
    e->view->DoPendingTabChange();
    return;
  }
  e->busy = error ? 2 : 0;
  e->view->DrawLogo(e->busy);
  e->view->CloseProgress();
  if (e->view->ConfigDialogOpen()) e->view->ConfigFoldersChanged();
  if (error) {
    if (command == CMD_REFRESH) {
      HoldMarkListsStale(e);
      ClearPtrList(&e->folders);
      ClearPtrList(&e->holdJobs);
      ClearPtrList(&e->boxJobs);
      e->view->ListsCleared();
    }
    setStatus(e, "MESSAGE", error);
    if (error != VFMP_ERR_NO_MEMORY) {
      char key[16];
      std::snprintf(key, sizeof key, "STR%03d=", error);
      std::string text = HoldText(e, "MESSAGE", key);
      bool yesNo = error == 253;
      if (yesNo) {
        setStatus(e, "STRING", 21);
        for (std::size_t at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\n");
      }
      e->view->ShowMessage(HoldText(e, "MESSAGE", "TITLE="), text, yesNo, command);
    }
  } else {
    int n = endNumber(command);
    if (command == CMD_REFRESH && e->previous && e->previous != CMD_REFRESH && endNumber(e->previous))
      n = endNumber(e->previous);
    if (n) setStatus(e, "STRING", n, e->uploadCount);
    if (command == CMD_REFRESH) {
      int tab = e->view->CurrentTab();
      if (tab == 1 || tab == 2) {
        std::vector<std::string> names;
        for (const FOLDER_ENTRY& f : SortFolderList(e->folders)) names.push_back(FolderNameText(f, e->encoding));
        e->view->FillFolderPopup(tab, names, std::max(1, e->view->FolderPopupValue(tab)));
        if (e->previous != CMD_FOLDER_RENAME) e->view->ShowFolderJobs();
      } else if (tab == 3) {
        e->view->ShowFolderJobs();  // the box's own job list, as read
      }
    }
  }
  if (command == CMD_THUMBNAIL && e->thumbCreated && error) {
    std::remove(e->thumbPath.c_str());
  }
  if (command == CMD_THUMBNAIL) e->thumbBytes = {};
  if (command == CMD_THUMBNAIL) e->thumbCreated = false;
  if (after == 0) e->view->UpdateButtons();
  if (after == 1 && e->previous == CMD_UPLOAD) PushUpdateBtn(e);
}

void PushUpdateBtn(HOLD_ENGINE* e) {
  if (e->current) {
    if (e->current == CMD_UPLOAD) {
      CancelPrgCmd(e);
      return;
    }
    if (e->running) VFMPClose(e->running, VFMP_ERR_NO_MEMORY);
    CommandPendingLoop(e);
    return;
  }
  StartCommand(e, CMD_REFRESH, false);
}

int VFMPGetJob(HOLD_ENGINE* e) {
  UInt16 before = e->current;
  refreshStep(e);
  return e->current != before || !e->list ? 1 : 0;
}

int VFMPGetFileInfo(HOLD_ENGINE* e, VFMP_CMD_INFO* rec) {
  return replyStep(e, rec, VFMP_INFO, [&](const UInt8* buf, int len) {
    const UInt8 result = buf[3];
    if (!frameTaken(e, rec, result) || buf[2] != VFMP_INFO) return;
    if (!e->haveInfo) {
      e->info = JOB_INFO{};
      e->info.ipAddr = rec->ipAddr;
      e->info.lang = e->infoLang;
      e->haveInfo = true;
    }
    HoldTakeInfoFrame(&e->info, std::span<const UInt8>(buf, std::size_t(len)),
                      LangCodeEncoding(e->info.lang, e->encoding));
    closeIfLast(rec, result);
  });
}

int VFMPGetThumbnail(HOLD_ENGINE* e, VFMP_CMD_INFO* rec) {
  return replyStep(e, rec, VFMP_THUMBNAIL, [&](const UInt8* buf, int len) {
    const UInt8 code = buf[2], result = buf[3];
    if (code != VFMP_THUMBNAIL && !(len >= 6 && VFMPGet16(buf + 4) == VFMP_TAG_THUMB)) return;
    if (!frameTaken(e, rec, result)) return;
    if (len > 4) {
      // The first record's value, which must lie inside the frame.
      std::size_t n = len >= 8 ? VFMPGet16(buf + 6) : 0;
      if (len < 8 || 8 + n > std::size_t(len)) {
        tb::TraceRefusal("vfmp", "thumbnail record of %zu bytes runs past its %d-byte frame", n, len);
        VFMPClose(rec, VFMP_ERR_RECEIVE);
        return;
      }
      if (n > kThumbnailMax - e->thumbBytes.size()) {
        tb::TraceRefusal("vfmp", "thumbnail passes %zu bytes", kThumbnailMax);
        VFMPClose(rec, VFMP_ERR_RECEIVE);
        return;
      }
      e->thumbBytes.insert(e->thumbBytes.end(), buf + 8, buf + 8 + n);
    }
    if (result == VFMP_RES_LAST) {
      // One new file, written whole or not at all: nothing planted at the
      // name (a link, a pipe) is written through or waited on.
      FSSpec fss{};
      const OSErr named = tb::PathToSpec(e->thumbPath, &fss);
      const bool ok =
          (named == noErr || named == fnfErr) && tb::WriteFileAtomically(fss, e->thumbBytes, 'VMxh', 'THMB') == noErr;
      e->thumbBytes = {};
      if (!ok) {
        VFMPClose(rec, VFMP_ERR_FILE_WRITE);
        return;
      }
    }
    closeIfLast(rec, result);
  });
}

void UpdateJobInfo(HOLD_ENGINE* e, const JOB_INFO& info) {
  const int tab = e->view->CurrentTab();
  if (tab == 3) return;
  int count = GetCountPtrList(e->holdJobs);
  for (int i = count - 1; i >= 0; --i) {
    auto* j = static_cast<JOB_ENTRY*>(GetPtrList(e->holdJobs, i));
    if (!j || std::memcmp(j->jobId, info.jobId, 4) != 0 || std::memcmp(j->folderId, info.folderId, 4) != 0) continue;
    bool changed = std::memcmp(j->name, info.name, info.name[0] + 1u) != 0 ||
                   std::memcmp(j->owner, info.owner, info.owner[0] + 1u) != 0 ||
                   std::memcmp(&j->date, &info.date, sizeof j->date) != 0 || j->byte05 != info.byte05 ||
                   j->size != info.size;
    if (changed) {
      std::memcpy(j->name, info.name, sizeof j->name);
      std::memcpy(j->owner, info.owner, sizeof j->owner);
      j->date = info.date;
      j->byte05 = info.byte05;
      j->size = info.size;
      e->view->JobRowChanged(*j);
    }
    if (tab == 1) e->view->RedrawPreview();
    return;
  }
}

void GetActiveFolderInfo(HOLD_ENGINE* e, VFMP_PARAM* p, ListKind kind) {
  p->listKind = UInt8(kind);
  std::memset(p->listFolder, 0, 4);
  p->listFolder[3] = 1;
  e->listFolderSlot = -1;
  if (kind != ListKind::FolderJobs || !e->newerDevice) return;
  int tab = e->view->CurrentTab();
  std::vector<FOLDER_ENTRY> v = SortFolderList(e->folders);
  int value = std::max(1, e->view->FolderPopupValue(tab == 3 ? 1 : tab));
  if (std::size_t(value) > v.size()) return;
  std::memcpy(p->listFolder, v[std::size_t(value - 1)].folderId, 4);
  if (value <= kHoldFolderSlots) e->listFolderSlot = value - 1;
}

void HoldMarkListsStale(HOLD_ENGINE* e) {
  std::fill(std::begin(e->changeStale), std::end(e->changeStale), true);
  markFoldersStale(e);
}

void MsgDlgResult(HOLD_ENGINE* e, UInt16 command, bool yesNo, int button) {
  if (command == CMD_INFO || command == CMD_THUMBNAIL) {
    e->view->CloseFrontSubDialog();
    return;
  }
  if (yesNo && button == 2) PushUpdateBtn(e);
}

// The command engine: the held-job manager's work with a print box, one
// command at a time, in small steps driven by the idle timer. It reaches
// the window only through HoldView, which the main window implements (and
// tests replace with a recording double).
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "holdmanager/HoldData.h"
#include "holdmanager/HoldLists.h"
#include "holdmanager/LPR.h"
#include "holdmanager/VFMP.h"
#include "toolbox/cfstring.h"
#include "toolbox/quickdraw.h"

struct PRG_REQUEST;
// A progress command's request, owned by whoever holds it: the dialog that
// made it, then the engine while it runs. Freeing it closes its connection
// and removes a download's unfinished part file.
struct PrgRequestFree {
  void operator()(PRG_REQUEST* req) const;
};
using PrgRequestPtr = std::unique_ptr<PRG_REQUEST, PrgRequestFree>;

constexpr int kHoldFolderSlots = 10;

// The engine's commands (the request code where one is sent). The wait
// after an upload is the refresh with the upload as its previous command.
enum HoldCommand : UInt16 {
  CMD_NONE = 0,
  CMD_REFRESH = 1,
  CMD_INFO = 3,
  CMD_DELETE = 4,
  CMD_RENAME = 5,
  CMD_PRINT = 6,
  CMD_DOWNLOAD = 8,
  CMD_THUMBNAIL = 17,
  CMD_FOLDER_RENAME = 18,
  CMD_MOVE = 19,
  CMD_UPLOAD = 20,
};

// What the engine asks of the window.
class HoldView {
 public:
  virtual ~HoldView() = default;
  // 1, 2 or 3.
  virtual int CurrentTab() = 0;
  // The status line: a text already read from the string file.
  virtual void SetStatus(const std::string& text) = 0;
  // A message box whose answer comes back through MsgDlgResult.
  virtual void ShowMessage(const std::string& title, const std::string& text, bool yesNo, UInt16 command) = 0;
  // The buttons for the busy state; the logo for 0 idle, 1 running, 2 failed.
  virtual void UpdateButtons() {}
  // The preview's page buttons alone (a command started that leaves the
  // other buttons to its dialog).
  virtual void UpdatePageButtons() {}
  // A command has started: its first step should come soon, not at the
  // idle timer's next regular call.
  virtual void StepSoon() {}
  virtual void DrawLogo(int /*busy*/) {}
  virtual void RedrawPreview() {}
  virtual void ClearThumbnails() {}
  // A list's display is out of date (kind 1, 2 or 3).
  virtual void ListChanged(int /*kind*/) {}
  // A failed refresh emptied the folders and every job list: the window
  // shows them empty (folder pop-ups included) until the next refresh.
  virtual void ListsCleared() {}
  // The folder pop-up of a tab refilled with names (UTF-8); value from 1.
  virtual void FillFolderPopup(int /*tab*/, const std::vector<std::string>& /*names*/, int /*value*/) {}
  // The tab's remembered folder pop-up value (from 1).
  virtual int FolderPopupValue(int /*tab*/) { return 1; }
  // Show the chosen folder's jobs (after a refresh).
  virtual void ShowFolderJobs() {}
  // The first selected row's job of the current tab; false when none.
  virtual bool SelectedJob(JOB_ENTRY* /*job*/) { return false; }
  virtual bool PreviewOn() { return false; }
  virtual void ShowJobInfo(const JOB_INFO& /*info*/) {}
  virtual void JobRowChanged(const JOB_ENTRY& /*job*/) {}
  // The information dialog fetches thumbnails of its own.
  virtual bool InfoDialogFetching() { return false; }
  virtual void DoPendingTabChange() {}
  virtual void CloseFrontSubDialog() {}
  virtual bool ConfigDialogOpen() { return false; }
  virtual void ConfigFoldersChanged() {}
  // Progress dialog: opened and closed by the engine, texts of the step.
  virtual void OpenProgress(UInt16 /*command*/) {}
  virtual void CloseProgress() {}
  virtual void ProgressTexts(const std::string& /*info*/, const std::string& /*transfer*/, int /*percent*/) {}
  // The upload's local file list: the daemon has this file whole.
  virtual void RemoveLocalFile(const FSSpec& /*file*/) {}
};

// A cached thumbnail page.
struct THUMB_ENTRY {
  GWorldPtr picture;
  char path[256];
  UInt16 page;
};

// What a refresh lists (the kind its requests carry).
enum class ListKind : UInt8 { None = 0, BoxJobs = 1, FolderJobs = 2, Folders = 3 };
// A refresh first asks for a list's change number, then (when it changed)
// for the list.
enum class ListPhase : UInt8 { ChangeNumber = 0, List = 1 };

struct HOLD_ENGINE {
  HoldView* view = nullptr;
  std::string strIni;  // the string file (Hmgstr.ini) the texts come from
  // The command that was running when the current one started, the current
  // one, and the one to go on with when it ends; set only by
  // HoldSetCommands.
  HoldCommand previous = CMD_NONE, current = CMD_NONE, next = CMD_NONE;
  int busy = 0;
  UInt32 boxAddr = 0;
  UInt8 boxMac[6] = {};
  UInt8 shownMac[6] = {};
  bool shownMacValid = false;
  bool newerDevice = false;
  UInt32 timeoutSeconds = 180;
  UInt8 langCode = 1;
  // The program's language: the names of an entry without a known
  // language code of its own are in it.
  TextEncoding encoding = kCFStringEncodingUTF8;
  UInt8 osCode = 122;

  // Command records.
  VFMP_CMD_INFO* list = nullptr;
  ListKind listKind = ListKind::None;
  ListPhase listPhase = ListPhase::ChangeNumber;
  int listFolderSlot = -1;  // the change-number slot of the folder listed (-1 none)
  bool listForUploadWait = false;
  UInt32 listWaitStart = 0;
  VFMP_CMD_INFO* infoRec = nullptr;
  VFMP_CMD_INFO* thumbRec = nullptr;
  std::string thumbPath;
  bool thumbCreated = false;
  // The page picture as it comes, written to thumbPath whole once the
  // last frame is in.
  std::vector<UInt8> thumbBytes;
  VFMP_CMD_INFO* running = nullptr;
  PrgRequestPtr progress;

  // Lists.
  PtrListHead holdJobs = nullptr;   // kinds 2
  PtrListHead boxJobs = nullptr;    // kind 1 (the third tab)
  PtrListHead folders = nullptr;    // kind 3, as listed (SortFolderList: the pop-ups' order)
  PtrListHead thumbs = nullptr;
  JOB_INFO info{};
  bool haveInfo = false;
  UInt8 infoLang = 0;  // the language code of the job whose information is read
  // The entry being read, and its names as the box sent them: they are cut
  // to their fields in the encoding of the entry's language code, which
  // may come after them.
  JOB_ENTRY entry{};
  FOLDER_ENTRY folderEntry{};
  std::string entryName, entryOwner, entryFolderName;

  // Change numbers per kind, and per kind and folder on newer boxes (the
  // folder by its place in the folder list; a folder past the tenth has
  // none and is always listed).
  UInt32 change[4] = {};
  bool changeStale[4] = {true, true, true, true};
  UInt32 folderChange[4][kHoldFolderSlots] = {};
  bool folderChangeStale[4][kHoldFolderSlots] = {};

  // Upload: its job, the files already taken off the local list.
  LPRJobPtr upload;
  UInt16 uploadRemoved = 0;
  UInt32 uploadShownTick = 0;  // when the progress dialog last drew its figures
  // The text naming the file being sent, and the job name it was made for.
  std::string uploadSending, uploadSendingName;
  int uploadCount = 0;
  UInt32 uploadStamp = 0;

  // Time-outs counted by readers for the "not ready" waits.
  UInt32 resendStart = 0;
  UInt32 pendingTab = 0;
};

// Sets the engine up (the view, the string file) and empties it.
void HoldEngineInit(HOLD_ENGINE* e, HoldView* view, const std::string& strIni);
// Frees every record and list (at quit); removes the thumbnail cache.
void HoldEngineDispose(HOLD_ENGINE* e);

// The one place the command sequence changes; traced on channel "hold"
// with each move named (upload -> wait -> refresh).
void HoldSetCommands(HOLD_ENGINE* e, HoldCommand previous, HoldCommand current, HoldCommand next, const char* why);
// The name the trace gives a command ("idle" for none).
const char* HoldCommandName(HoldCommand c);

// Starts command after the one running (which becomes the previous);
// then: the command to go on with when it ends.
void StartCommand(HOLD_ENGINE* e, HoldCommand command, bool keepButtons, HoldCommand then = CMD_NONE);
// One step; true when it worked on a command (the timer then comes back sooner).
bool CommandPendingLoop(HOLD_ENGINE* e);
void EndCommand(HOLD_ENGINE* e, HoldCommand command, VFMP_CMD_INFO* rec, UInt16 error, int after);
void PushUpdateBtn(HOLD_ENGINE* e);
int VFMPGetJob(HOLD_ENGINE* e);
int VFMPGetFileInfo(HOLD_ENGINE* e, VFMP_CMD_INFO* rec);
int VFMPGetThumbnail(HOLD_ENGINE* e, VFMP_CMD_INFO* rec);
void UpdateJobInfo(HOLD_ENGINE* e, const JOB_INFO& info);
// The records of one whole reply frame (from its 4-byte head on) into the
// entries of the list being read (e->listKind), or into a job's
// information; a record cut by the frame's end waits in the splitter's
// carry for the next frame. Names longer than a field are cut on a
// character boundary of the encoding of the entry's language code (for
// the information, the given encoding).
void HoldTakeListFrame(HOLD_ENGINE* e, std::span<const UInt8> frame);
void HoldTakeInfoFrame(JOB_INFO* info, std::span<const UInt8> frame, TextEncoding encoding = kCFStringEncodingUTF8);
// The list request's kind and folder (a newer box's kind 2: the folder at
// the tab's pop-up value); the folder's change-number slot is noted.
void GetActiveFolderInfo(HOLD_ENGINE* e, VFMP_PARAM* p, ListKind kind);
// Every list's change number is forgotten: the next refresh lists them all.
void HoldMarkListsStale(HOLD_ENGINE* e);
// The answer of a message box the engine opened (button 2: Yes / OK).
void MsgDlgResult(HOLD_ENGINE* e, UInt16 command, bool yesNo, int button);

// Brings the engine's next step at the loop's next turn: the wake of its
// records and of the upload (engine: the HOLD_ENGINE).
void HoldStepSoon(void* engine);

// A command record for the box at addr with the engine's time-out and
// codes (null without memory); its endpoint opened (false, the record
// freed and null, when it could not be); a record given up and freed.
VFMP_CMD_INFO* HoldNewRecord(HOLD_ENGINE* e, UInt32 addr);
bool HoldOpenRecord(VFMP_CMD_INFO*& rec);
void HoldFreeRecord(VFMP_CMD_INFO*& rec);

// Loads the page picture a thumbnail reply left at path into the list of
// cached pages: 0, or VFMP_ERR_RECEIVE when the picture cannot be loaded.
UInt16 HoldAddThumbnail(PtrListHead* thumbs, const std::string& path, UInt16 page);

// The private folder of the thumbnail cache, and its removal at quit.
std::string HoldCacheFolder();
void HoldCacheRemove();

// Texts of the string file: [section] key, "" when missing.
std::string HoldText(const HOLD_ENGINE* e, const char* section, const char* key);

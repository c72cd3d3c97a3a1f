// The held-job manager as a program: its globals, the dialog stack and the
// record of the main window, shared by the main window, the sub-dialogs,
// the configuration dialog and the thumbnails. Every dialog's record starts
// with DLG_HANDLERS and is the window's reference constant, so the one
// window event handler (EventLoopX) reaches the dialog's own handlers.
#pragma once

#include <list>
#include <string>
#include <vector>

#include "common/AppFonts.h"
#include "holdmanager/HoldData.h"
#include "holdmanager/HoldEngine.h"
#include "holdmanager/HoldProgress.h"
#include "OT/JCPSearch.h"
#include "OT/PBoxTable.h"
#include "toolbox/carbonevents.h"
#include "toolbox/dialogs.h"
#include "toolbox/icons.h"

struct CLIST_DATA;
struct CTAB_DATA;
struct ICON_LIST;
struct STC_DATA;
struct MAIN_DLG_DATA;

// ---- dialogs and their handlers -------------------------------------------

// Update: draw the dialog. Mouse-down: a press in the dialog's window.
// Key-down: a raw key of the front window; 1 when the dialog took it.
// Activate: the window became active (1) or inactive (0); may be empty.
using DlgUpdateProc = void (*)(DialogRef dialog);
using DlgMouseDownProc = void (*)(EventRecord* event, DialogRef dialog);
using DlgKeyDownProc = Boolean (*)(EventRecord* event, DialogRef dialog);
using DlgActivateProc = void (*)(DialogRef dialog, Boolean active);

struct DLG_HANDLERS {
  DlgUpdateProc update;
  DlgMouseDownProc mouseDown;
  DlgKeyDownProc keyDown;
  DlgActivateProc activate;
};

// The handlers of a dialog: its window's reference constant; null for a
// window that is not one of the program's dialogs.
DLG_HANDLERS* GetDlgHandlers(WindowRef window);

// Installs EventLoopX on the window for command, window update, activated
// and deactivated, raw key down and repeat, and mouse down. The handler
// reference (to remove at close), or null when it could not be installed.
EventHandlerRef InstallWndEvtHandler(WindowRef window);
// The dialog's window made one of the program's: its handlers as the
// window's reference constant, all of its content in its content colour
// (the window was made in its resource's), and EventLoopX installed; the
// handler reference, or null when it could not be installed.
EventHandlerRef BindDialogWindow(DialogRef dialog, DLG_HANDLERS* handlers);
OSStatus EventLoopX(EventHandlerCallRef call, EventRef event, void* data);

// The dialog stack: a dialog is pushed (front one last); null pops the top
// and brings the new top's window to the front.
void SetFrontDialog(DialogRef dialog);
// A dialog that goes away leaves the stack wherever it stands in it (a
// dialog that started a command may lie under the progress dialog); when it
// was the top, the new top comes to the front. The main menu's first menu
// is enabled again once only the main window is left.
void ForgetDialog(DialogRef dialog);
DialogRef GetFrontDialog();
int GetCountdDlg();
DialogRef GetBehindDialog();
DialogRef GetMainDlgPtr();
MAIN_DLG_DATA* GetMainDlgData();

// The idle hook of the front sub-dialog, called at the end of every idle
// step while set.
struct NULL_EVT_HOOK {
  void (*proc)(void* arg);
  void* arg;
};
extern NULL_EVT_HOOK gNullEvtHdlSub;

// Enables (1) or disables (0) the About (which 0) or Quit (which 1) item.
void EnableMenu(int which, int enable);
// Sets the window title from a length-prefixed text unless it reads so.
void SetDialogTitle(DialogRef dialog, ConstStr255Param text);
// The command time-out in ms: seconds x 1000, or -1 (none) for 0.
SInt32 GetTimeoutValue(const HOLD_CONFIG* config);

// ---- the program's globals ------------------------------------------------

constexpr std::size_t kHoldPathSize = 1024;
extern UInt8 gLangCode;
extern UInt32 gTextEncoding;  // of the chosen language row
extern UInt8 gOSCode;
extern char gszIniFileName[kHoldPathSize];  // "::Resources:Holdmng.ini"
extern char gszStrFileName[kHoldPathSize];  // the language's "Hmgstr.ini"
extern FONT_DATA gDefaultFont;
extern IconRef gFolderIcon;
extern SInt16 gZoomBoxWidth;
extern char gszStr00[257];
extern bool gbStartIdleEvent;
extern int gNewFound;

// A length-prefixed copy of a C text (cut to 255 bytes on a character
// boundary), for the calls that take one.
struct PText {
  explicit PText(const char* text);
  operator ConstStr255Param() const { return s; }
  Str255 s;
};
// A text of the string ini ("" when missing); a length-prefixed copy.
std::string HoldIniText(const char* section, const char* key);
void HoldIniPText(const char* section, const char* key, Str255 out);

// ---- the main window ------------------------------------------------------

constexpr int kFoundBoxes = 128;

// Search flags.
enum : UInt16 { SEARCH_NEW = 1, SEARCH_START = 2, SEARCH_RUNNING = 4 };

class MainView;

struct MAIN_DLG_DATA {
  DLG_HANDLERS handlers;
  DialogRef dialog;
  EventHandlerRef evtHandler;
  PBOXinfo found[kFoundBoxes];
  JCPEPInfo* search;
  UInt16 searchFlags;
  bool searchStopping;  // a running search is being ended before the next starts
  UInt32 lastSearch;    // ticks
  HOLD_CONFIG config;
  // The chosen print box.
  UInt32 deviceAddr;
  UInt8 deviceMac[6];
  bool newerDevice;
  bool popupOpened;
  // The command engine; the window is its view.
  HOLD_ENGINE eng;
  MainView* view;
  // Tabs, lists and texts.
  CTAB_DATA* tab;
  SInt16 tabGrowW, tabGrowH;  // what the tab control has grown by
  int curTab;                 // 1, 2 or 3
  int pendingTab;             // a switch waiting for the cancelled command's end (0 none)
  CLIST_DATA* tab0File;
  CLIST_DATA* tab0Info;
  CLIST_DATA* tab1PCFile;
  CLIST_DATA* tab1HMFile;
  CLIST_DATA* tab2Job;
  STC_DATA* stcMain;   // labels of the window's own items
  STC_DATA* stcPage;   // labels of the page shown
  int folderValue[3];  // the folder pop-up's value remembered per tab
  bool listStale[3];   // the tab's list needs refilling
  SInt16 divider;      // where the divider was put (by the user, or from the preferences)
  SInt16 dividerGrow;  // the window's width beyond the design then
  UInt8 bPreview;
  bool dragging;
  // Status line.
  char statusSection[16];
  char statusKey[16];
  long statusValue;
  std::string statusText;
  bool statusRedraw;
  // Thumbnails: the preview's current page and the information dialog's fetch.
  bool thumbBusy;
  void* cfgDlg;                    // the open configuration dialog's record, or null
  std::list<FSSpec> localFiles;    // what the local file list's rows refer to (one each)
  ICON_LIST* icons;                // one reference of each icon the rows show
};

// Refreshes after a sub-dialog changed what the window shows.
void ChangeBtnState(MAIN_DLG_DATA* m, CLIST_DATA* detail, bool thumbnails, int mode);
void SetStatus(DialogRef dialog, const char* section, int number, long value);
void SetDetailFileInfo(const JOB_INFO* info, CLIST_DATA* detail, bool preview);
void SetDetailFileInfoPage(CLIST_DATA* detail, bool preview, bool redraw);
void RedrawMainDlg(MAIN_DLG_DATA* m, int part);
void ChangePreviewMainDlg(MAIN_DLG_DATA* m);
void DrawThumbnailMainDlg(MAIN_DLG_DATA* m);

// ---- start-up, idle step, search and logo -------------------------------------

// The first row whose code equals (case-sensitive), else the end row.
const LANG_CODE_ROW* FindLangCode(const char* code);
// The bundle's "LANGUAGE_CODE"; 1 when it fitted.
int GetLangCodeFromLocalizedString(char* buffer, std::size_t size);

struct ANIME_INFO {
  GWorldPtr world;   // the logo strip, frames 44 pixels wide
  UInt32 interval;   // ms between frames
  UInt32 lastFrame;  // ms
  bool transparent;
  int offset;  // the current frame's left
  int width, height;
};
extern ANIME_INFO gAnimeInfo;
// Loads the logo of [ANIME] in Holdmng.ini; false when it is missing.
bool LoadLogo();
// The frame for the busy state: 1 advances, 2 the last, 0 the first.
void NextLogoFrame(int busy);
void DrawLogo(DialogRef dialog);

// The repeating event-loop timer: installed with no first delay; 1, or 0
// (the routine disposed) when it could not be.
int CreateEventTimer(EventLoopTimerProcPtr routine, EventTimerInterval interval, void* userData,
                     EventLoopTimerUPP* routineOut, EventLoopTimerRef* timerOut);
void DestroyEventTimer(EventLoopTimerUPP routine, EventLoopTimerRef timer);
// The idle timer's interval; how soon it comes back after a step in which
// the command engine worked; and after a command was started (at the
// loop's next turn: a user who confirmed it is not kept waiting for the
// regular call).
constexpr EventTimerInterval kIdleInterval = 0.1;
constexpr EventTimerInterval kIdleWorkedInterval = 0.01;
constexpr EventTimerInterval kIdleStartInterval = 0;
// The next idle step comes after kIdleStartInterval: a command started, a
// connection's news, a step that stopped at its time with more to do. Asked
// for during a step, it stands over the worked interval.
void HoldIdleSoon();
// The idle timer's routine: one idle step, the next one sooner when the
// command engine worked, at once when the step asked for it.
void IdleEventMainDlgX(EventLoopTimerRef timer, void* data);
extern Cursor gCurArrow;
// The held-job protocol's notifier, made once for the program.
extern OTNotifyUPP vfmpNotifyUpp;
// One idle step; true when the command engine worked (the timer then
// comes back after kIdleWorkedInterval).
bool IdleEventMainDlg();
void SearchNotifier(JCPEPInfo* context, void* reply, void* extra, short status);
// A new search from the next idle step on (the Browse button).
void RequestNewSearch(MAIN_DLG_DATA* m);
// The capability byte of a search reply this program lists, or -1.
int HoldReplyCapability(const jcp_reply* reply);

// Program start (1 when the main window stands), the idle timer, the quit
// command (closes the main dialogs, ends the loop) and the shut-down.
int HoldStartup();
int HoldInstallIdleTimer();
void QuitHoldManager();
void HoldShutdown();
// The main window's record is going away.
void MainDlgClosed(MAIN_DLG_DATA* m);
// Program start, loop and shut-down; the exit status.
int HoldManagerMain();
int WriteDebugFile(const char* text, long length, const char* fileName);

// ---- what the sub-dialogs provide to the main window ----------------------

// 1 when the dialog is up. Download: 1 when confirmed, with the request
// (command 8) left in *request for the caller to start.
int OpenRenDlg(MAIN_DLG_DATA* m);
int OpenPrnDlg(MAIN_DLG_DATA* m);
int OpenInfDlg(MAIN_DLG_DATA* m);
int OpenMovDlg(MAIN_DLG_DATA* m);
int OpenDlDlg(MAIN_DLG_DATA* m, PrgRequestPtr* request);
int OpenCfgDlg(MAIN_DLG_DATA* m);
// Message box: type 1 OK only, 6 Yes/No; the callback gets the three
// values and the result (type 1: 1; button 3: 2, button 4: 4).
using MsgDlgCallback = void (*)(long v1, long v2, long v3, int result);
int OpenMsgDlg(const char* title, const char* text, int type, MsgDlgCallback callback, long v1, long v2, long v3);
// Files the user picks for the upload; empty when cancelled.
std::vector<FSSpec> OpenAddDlg();
// The delete context of the hold-file list's selected jobs, or null.
PrgRequestPtr GetDelFileList(MAIN_DLG_DATA* m);
// The configuration dialog's folder list changed (a refresh ended).
void UpdateFolderListCfgDlg(MAIN_DLG_DATA* m);
// The information dialog is fetching thumbnails of its own.
bool InfoDlgFetching();
// Thumbnails of the main window's preview (set 0).
int InitThumbnail(DialogRef dialog, int set);
void DeinitThumbnail();
void SetPageBtnRect(int index, Point topLeft, Point botRight, int set);
void SetPageBtnState(int index, int state, bool redraw, int set);
int TrackPageBtn(DialogRef dialog, DialogItemIndex item, Point where, int index, int set);
void DrawThumbnail(DialogRef dialog, GWorldPtr picture, DialogItemIndex item, const DialogItemIndex buttons[4],
                   bool previewText, int set);

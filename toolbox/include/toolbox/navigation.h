// Navigation Services: choosers for one or several files, a folder, and
// the name and place of a file to save, drawn as a modal window on our
// screen.
//
// A chooser lists one folder: its sub-folders first, then its files, by
// name without regard to case. Names that an FSSpec cannot hold (longer
// than 63 bytes, or with a ':') are not listed, nor are invisible ones
// (starting with '.') unless kNavAllowInvisibleFiles is set. A type list
// keeps the files of those types (a file whose type is unknown, as most
// files here are, stays); a filter procedure may drop any entry. Folders
// open with a double-click, Return or the Open button, "Up" goes to the
// enclosing folder.
//
// While a chooser is up it runs its own event loop: update and activate
// events of the program's windows go to the event procedure (kNavCBEvent)
// so the program can redraw behind it, and are otherwise cleared; clicks
// outside the chooser beep; high-level events wait. The event procedure
// also hears kNavCBStart when the chooser is up, kNavCBUserAction when the
// user has decided and kNavCBTerminate at the end.
//
// The reply's selection is a list of typeFSS items (AEGetNthPtr with
// typeFSS gives each FSSpec): the chosen files in the order shown, the
// chosen folder itself, or the file to save (which need not exist;
// `replacing` tells whether it does).
//
// Tests answer the next chooser with tb::AnswerNextChooser or
// tb::CancelNextChooser instead of operating it. Headless, a chooser that
// nobody answers and that gets no input (and no script is running) is
// cancelled at once, so a program cannot hang on it.
#pragma once

#include <string>
#include <vector>

#include "toolbox/appleevents.h"
#include "toolbox/bundle.h"
#include "toolbox/events.h"
#include "toolbox/files.h"
#include "toolbox/windows.h"

struct NavDialogRecord;  // opaque
using NavDialogRef = NavDialogRecord*;
using NavContext = NavDialogRef;
using NavEventCallbackMessage = SInt32;
using NavUserAction = UInt32;
using NavDialogOptionFlags = UInt32;
using NavFilterModes = SInt16;
using NavMenuItemSpecArrayHandle = Handle;
using CFArrayRef = const void*;
using WindowModality = UInt32;

enum : NavDialogOptionFlags {
  kNavDefaultNavDlogOptions = 0x000000E4,
  kNavNoTypePopup = 0x00000001,
  kNavDontAutoTranslate = 0x00000002,
  kNavDontAddTranslateItems = 0x00000004,
  kNavAllFilesInPopup = 0x00000010,
  kNavAllowStationery = 0x00000020,
  kNavAllowPreviews = 0x00000040,
  kNavAllowMultipleFiles = 0x00000080,
  kNavAllowInvisibleFiles = 0x00000100,
  kNavDontResolveAliases = 0x00000200,
  kNavSelectDefaultLocation = 0x00000400,
  kNavSelectAllReadableItem = 0x00000800,
  kNavSupportPackages = 0x00001000,
  kNavAllowOpenPackages = 0x00002000,
  kNavDontAddRecents = 0x00004000,
  kNavDontUseCustomFrame = 0x00008000,
  kNavDontConfirmReplacement = 0x00010000,
};

enum : NavEventCallbackMessage {
  kNavCBEvent = 0,
  kNavCBCustomize = 1,
  kNavCBStart = 2,
  kNavCBTerminate = 3,
  kNavCBAdjustRect = 4,
  kNavCBNewLocation = 5,
  kNavCBShowDesktop = 6,
  kNavCBSelectEntry = 7,
  kNavCBPopupMenuSelect = 8,
  kNavCBAccept = 9,
  kNavCBCancel = 10,
  kNavCBAdjustPreview = 11,
  kNavCBUserAction = 12,
};

enum : NavUserAction {
  kNavUserActionNone = 0,
  kNavUserActionCancel = 1,
  kNavUserActionOpen = 2,
  kNavUserActionSaveAs = 3,
  kNavUserActionChoose = 4,
};

enum : NavFilterModes { kNavFilteringBrowserList = 0 };
enum : WindowModality { kWindowModalityNone = 0, kWindowModalitySystemModal = 1, kWindowModalityAppModal = 2 };

// What an event procedure is told.
struct NavEventData {
  union {
    EventRecord* event;  // kNavCBEvent
    void* param;
  } eventDataParms;
  SInt16 itemHit;
};

struct NavCBRec {
  UInt16 version;
  NavDialogRef context;
  WindowRef window;  // the chooser's window (null while a test answers)
  Rect customRect;
  Rect previewRect;
  NavEventData eventData;
  NavUserAction userAction;
};
using NavCBRecPtr = NavCBRec*;

// Finder information of a listed entry, for filter procedures.
struct NavFileOrFolderInfo {
  UInt16 version;
  Boolean isFolder;
  Boolean visible;
  OSType fileType;     // files only (0 when unknown)
  OSType fileCreator;  // files only
};

using NavEventProcPtr = void (*)(NavEventCallbackMessage callBackSelector, NavCBRecPtr callBackParms,
                                 void* callBackUD);
using NavObjectFilterProcPtr = Boolean (*)(AEDesc* theItem, void* info, void* callBackUD,
                                           NavFilterModes filterMode);
using NavPreviewProcPtr = Boolean (*)(NavCBRecPtr callBackParms, void* callBackUD);
using NavEventUPP = NavEventProcPtr;
using NavObjectFilterUPP = NavObjectFilterProcPtr;
using NavPreviewUPP = NavPreviewProcPtr;

inline NavEventUPP NewNavEventUPP(NavEventProcPtr p) { return p; }
inline void DisposeNavEventUPP(NavEventUPP) {}
inline NavObjectFilterUPP NewNavObjectFilterUPP(NavObjectFilterProcPtr p) { return p; }
inline void DisposeNavObjectFilterUPP(NavObjectFilterUPP) {}
inline NavPreviewUPP NewNavPreviewUPP(NavPreviewProcPtr p) { return p; }
inline void DisposeNavPreviewUPP(NavPreviewUPP) {}

// The file types a get-file chooser offers (a handle the program makes:
// osTypeCount types follow the header; the count is bounded by the
// handle's size).
struct NavTypeList {
  OSType componentSignature;
  SInt16 reserved;
  SInt16 osTypeCount;
  OSType osType[1];
};
using NavTypeListPtr = NavTypeList*;
using NavTypeListHandle = NavTypeList**;

// Options of the classic calls (NavGetFile, NavPutFile, NavChooseFolder,
// NavChooseFile). location (-1, -1) is the default place.
struct NavDialogOptions {
  UInt16 version;
  NavDialogOptionFlags dialogOptionFlags;
  Point location;
  Str255 clientName;
  Str255 windowTitle;
  Str255 actionButtonLabel;
  Str255 cancelButtonLabel;
  Str255 savedFileName;
  Str255 message;
  UInt32 preferenceKey;
  NavMenuItemSpecArrayHandle popupExtension;
};

// Options of the NavCreate... calls; null strings take the defaults.
struct NavDialogCreationOptions {
  UInt16 version;
  NavDialogOptionFlags optionFlags;
  Point location;
  CFStringRef clientName;
  CFStringRef windowTitle;
  CFStringRef actionButtonLabel;
  CFStringRef cancelButtonLabel;
  CFStringRef saveFileName;
  CFStringRef message;
  UInt32 preferenceKey;
  CFArrayRef popupExtension;
  WindowModality modality;
  WindowRef parentWindow;
};

struct NavReplyRecord {
  UInt16 version;
  Boolean validRecord;
  Boolean replacing;
  Boolean isStationery;
  Boolean translationNeeded;
  AEDescList selection;
  ScriptCode keyScript;
  Handle fileTranslation;
  UInt32 reserved1;
  CFStringRef saveFileName;  // the name typed in a save chooser (released by NavDisposeReply)
  Boolean saveFileExtensionHidden;
};

enum : OSErr { kNavMissingKindStringErr = -5699, kNavInvalidSystemConfigErr = -5696 };

OSErr NavGetDefaultDialogOptions(NavDialogOptions* dialogOptions);
OSStatus NavGetDefaultDialogCreationOptions(NavDialogCreationOptions* outOptions);

// The classic calls run the chooser at once. noErr when the user chose,
// userCanceledErr when not (the reply is then not valid). defaultLocation,
// when given, is a typeFSS descriptor of the folder to show (with
// kNavSelectDefaultLocation: the folder that holds it, with it selected).
OSErr NavGetFile(AEDesc* defaultLocation, NavReplyRecord* reply, NavDialogOptions* dialogOptions,
                 NavEventUPP eventProc, NavPreviewUPP previewProc, NavObjectFilterUPP filterProc,
                 NavTypeListHandle typeList, void* callBackUD);
OSErr NavChooseFile(AEDesc* defaultLocation, NavReplyRecord* reply, NavDialogOptions* dialogOptions,
                    NavEventUPP eventProc, NavPreviewUPP previewProc, NavObjectFilterUPP filterProc,
                    NavTypeListHandle typeList, void* callBackUD);
OSErr NavChooseFolder(AEDesc* defaultLocation, NavReplyRecord* reply, NavDialogOptions* dialogOptions,
                      NavEventUPP eventProc, NavObjectFilterUPP filterProc, void* callBackUD);
OSErr NavPutFile(AEDesc* defaultLocation, NavReplyRecord* reply, NavDialogOptions* dialogOptions,
                 NavEventUPP eventProc, OSType fileType, OSType fileCreator, void* callBackUD);
OSErr NavDisposeReply(NavReplyRecord* reply);

// The NavCreate... family: make, run (modal: returns when the user has
// decided), read the reply, dispose. A dialog disposed from its own event
// procedure goes when the run ends.
OSStatus NavCreateGetFileDialog(const NavDialogCreationOptions* inOptions, NavTypeListHandle inTypeList,
                                NavEventUPP inEventProc, NavPreviewUPP inPreviewProc,
                                NavObjectFilterUPP inFilterProc, void* inClientData, NavDialogRef* outDialog);
OSStatus NavCreatePutFileDialog(const NavDialogCreationOptions* inOptions, OSType inFileType,
                                OSType inFileCreator, NavEventUPP inEventProc, void* inClientData,
                                NavDialogRef* outDialog);
OSStatus NavCreateChooseFolderDialog(const NavDialogCreationOptions* inOptions, NavEventUPP inEventProc,
                                     NavObjectFilterUPP inFilterProc, void* inClientData,
                                     NavDialogRef* outDialog);
OSStatus NavDialogRun(NavDialogRef inDialog);
// The reply of the last run; userCanceledErr after a cancel.
OSStatus NavDialogGetReply(NavDialogRef inDialog, NavReplyRecord* outReply);
NavUserAction NavDialogGetUserAction(NavDialogRef inDialog);
WindowRef NavDialogGetWindow(NavDialogRef inDialog);
void NavDialogDispose(NavDialogRef inDialog);

namespace tb {

// Answers for the coming choosers, one each, in order: the paths the user
// chooses (a save chooser takes the first as the file to save, a folder
// chooser the first as the folder), or a cancel. Paths an FSSpec cannot
// name are left out, as are missing files for an open chooser and missing
// folders; a chooser left with nothing is cancelled. The answer is taken
// without showing the chooser; the event procedure still hears kNavCBStart,
// kNavCBUserAction and kNavCBTerminate.
void AnswerNextChooser(std::vector<std::string> paths);
void CancelNextChooser();
// Answers not yet used.
int PendingChooserAnswers();
void ClearChooserAnswers();

// The chooser on screen (null when none), and where its parts are, global:
// a listed entry by name, the default (Open, Save, Choose) button, Cancel,
// Up, and the name field of a save chooser.
enum class ChooserPart { kDefaultButton, kCancelButton, kUpButton, kNameField };
WindowRef ChooserWindow();
bool ChooserEntryRect(std::string_view name, Rect* r);
bool ChooserPartRect(ChooserPart part, Rect* r);
// The folder the chooser on screen shows, and the name typed in a save
// chooser.
std::string ChooserFolder();
std::string ChooserSaveName();
// Number of choosers run since the start (answered or shown).
int ChoosersRun();

}  // namespace tb

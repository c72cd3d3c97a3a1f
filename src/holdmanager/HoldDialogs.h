// The held-job manager's sub-dialogs: rename, print, information (details
// and page thumbnails), move, the message or question box, and the upload
// and download file choosers. Each is a modeless dialog with its own window
// event handler; one is in front at a time (a message may stand over the
// dialog that asked for it). A dialog that starts a command closes itself,
// then hands its request to the command engine and the progress dialog.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "holdmanager/HoldApp.h"
#include "holdmanager/HoldControls.h"
#include "holdmanager/HoldEngine.h"
#include "toolbox/carbonevents.h"
#include "toolbox/dialogs.h"
#include "toolbox/textengine.h"

struct CLIST_DATA;

// What the dialogs take from the main window (filled from its record when a
// dialog opens; tests fill it directly).
struct HOLD_DLG_HOST {
  HOLD_ENGINE* engine = nullptr;
  HOLD_CONFIG* config = nullptr;
  std::string strIni;  // Hmgstr.ini of the user's language
  short font = 0;      // the program's default font ([FONT] "DEFAULT=")
  std::string fontName;  // its name, for the text fields
  short fontSize = 12;
  UInt32 encoding = 0;  // of the user's language
  // The selected rows of the held-job list (gTab1HMFile), in list order.
  std::function<std::vector<JOB_ENTRY>()> heldSelection;
  // The first selected row of the box's own job list (gTab0File); false
  // when none.
  std::function<bool(JOB_ENTRY*)> firstFileJob;
  // Several rows selected: keep the first only.
  std::function<void()> reduceHeldSelection;
  // The main window's detail page, filled from a job's information.
  std::function<void(const JOB_INFO&)> showDetails;
  // The main window's note that the information dialog fetches thumbnails.
  std::function<void(bool)> thumbnailBusy;
  // The open configuration dialog's note in the main window.
  DialogRef configDlg = nullptr;
};
extern HOLD_DLG_HOST gHoldHost;

// ---- shared --------------------------------------------------------------

// A text field of the program (a one-line field on the text engine in a
// user pane) over a user item of the dialog.
struct SUB_FIELD {
  TXNObject obj = nullptr;
  ControlRef pane = nullptr;
  short item = 0;
  bool enabled = true;
};

enum : short { kRenDlgID = 200, kPrnDlgID = 210, kInfDlgID = 220, kMovDlgID = 230, kCfgDlgID = 240, kMsgDlgID = 270 };

// A sub-dialog's record: the program's handler slots first, as the
// window's reference constant that its window event handler reads.
struct SUB_DLG {
  DLG_HANDLERS handlers{};
  NULL_EVT_HOOK savedHook{};  // the idle hook before this dialog's
  DialogRef dialog = nullptr;
  short id = 0;
  EventHandlerRef handler = nullptr;
  std::vector<SUB_FIELD> fields;
  std::vector<BTN_DATA*> spins;  // spin buttons, two halves each
  STC_DATA* labels = nullptr;    // the labels, drawn by the program
  void (*update)(SUB_DLG*) = nullptr;
  // A press in the window; without one, the item hit goes to select.
  void (*mouseDown)(SUB_DLG*, const EventRecord* ev) = nullptr;
  void (*select)(SUB_DLG*, short item, const EventRecord* ev) = nullptr;
  void (*idle)(SUB_DLG*) = nullptr;
  // The dialog's keys, before the shared ones (Return and Enter for the
  // default button, Escape for the cancel button, Tab between fields, the
  // Command keys of the fields): true when taken.
  bool (*key)(SUB_DLG*, const EventRecord* ev) = nullptr;
  void (*dispose)(SUB_DLG*) = nullptr;
  short defaultItem = 0, cancelItem = 0;
  void* data = nullptr;  // the dialog's own record
};

// The sub-dialog of a dialog (null for another window's).
SUB_DLG* SubDlgOf(DialogRef dialog);
// The front sub-dialog (null when none) and every open one.
SUB_DLG* FrontSubDlg();
int SubDlgCount();
// The program's idle hook while a sub-dialog is open.
void IdleSubDlg();

void ActivateSubDlg(SUB_DLG* d);
// The item a press hits: the dialog's cancel item for a close box released
// inside, 0 for a press that only brought the dialog forward or moved it,
// -1 for a press in another window.
int MouseDownSubDlg(const EventRecord* ev, SUB_DLG* d, short id);
void CloseSubDlg(SUB_DLG* d, short id);
// Closes the dialog as its cancel button does (ending what it runs).
void CancelSubDlg(SUB_DLG* d);
// The text beam over an enabled field among items (first..end), else the arrow.
void ChangeBeamCursorSubDlg(SUB_DLG* d, short first, short end, const short* items);

// Text fields (shared with the configuration dialog).
SUB_FIELD* SubDlgField(SUB_DLG* d, short item);
void SubFieldSetText(SUB_FIELD* f, const std::string& utf8);
std::string SubFieldText(const SUB_FIELD* f);
void SubFieldFocus(SUB_DLG* d, short item, bool selectAll);
short SubFieldFocused(SUB_DLG* d);
void SubFieldEnable(SUB_DLG* d, short item, bool on);
void SubFieldDraw(SUB_DLG* d, const SUB_FIELD* f);
// A spin button of two halves (upItem, upItem + 1) stepping a field by 1
// within min..max; null when it could not be made.
BTN_DATA* AddSubSpin(SUB_DLG* d, short fieldItem, short upItem, UInt16 min, UInt16 max);
// A press on a spin half (its item): tracked, the field stepped.
void SubDlgSpin(SUB_DLG* d, short half);
void SubDlgDrawSpins(SUB_DLG* d);
// The fields and spin buttons disposed (a page that goes, a dialog that closes).
void DisposeSubFields(SUB_DLG* d);
// Makes a dialog from its resource with the window handler installed
// (hidden; the caller shows it). Null when the resource is missing.
SUB_DLG* NewSubDlg(short id);
// Shows the dialog in front of every window.
void ShowSubDlg(SUB_DLG* d);
// Installs the dialog's idle step as the program's idle hook (the one before
// comes back when it closes).
void SetSubDlgIdle(SUB_DLG* d, void (*idle)(SUB_DLG*));
// Adds a field over a user item.
SUB_FIELD* AddSubField(SUB_DLG* d, short item);
// An item's text from Hmgstr.ini: a label's text or a button's title (a
// missing key keeps the resource's text).
struct SUBDLG_ITEM_TEXT {
  short item;
  const char* section;
  const char* key;
};
void SetSubDlgItemTexts(SUB_DLG* d, const SUBDLG_ITEM_TEXT* table, std::size_t count);
template <std::size_t N>
void SetSubDlgItemTexts(SUB_DLG* d, const SUBDLG_ITEM_TEXT (&table)[N]) {
  SetSubDlgItemTexts(d, table, N);
}
// A static item's text as a label of the dialog (in the program's font);
// its text, "" when it has none.
void SetSubDlgLabel(SUB_DLG* d, short item, const std::string& utf8);
std::string SubDlgLabel(SUB_DLG* d, short item);
// A text of Hmgstr.ini; "" when missing.
std::string HoldString(const char* section, const char* key);
// "\n" and "\t" in an ini text as a line break and a tab; a line feed
// as a line break too (a return, as the message box breaks lines).
std::string ExpandEscapes(std::string text);
void SetItemText(DialogRef d, short item, const std::string& utf8);
// A control item's title.
void SetItemTitle(DialogRef d, short item, const std::string& utf8);
// One format conversion (%s or %d) filled; anything else in the text is kept as it is.
std::string FormatOne(const std::string& format, const std::string& value);
// The message box of a refused entry ([MESSAGE] key, its %s or %d filled
// with arg when one is given); the field at item takes the focus again.
void SubDlgMessage(SUB_DLG* d, short item, const char* key, const std::string& arg = {});
// The running program's language code (the engine's; English's before
// there is one).
UInt8 HoldLangCode();
// A list's rows for folders in their order: each folder's name, read in
// its entry's language, beside the folder icon, with its row as reference.
void FillFolderList(CLIST_DATA* list, const std::vector<FOLDER_ENTRY>& folders);

// ---- the dialogs ----------------------------------------------------------

// The main window's entry points (HoldApp.h) take its record, fill
// gHoldHost from it and open these. All return 1 when the dialog is up.
namespace hold {
int OpenRename();
int OpenPrint();
int OpenInformation();
int OpenMove();
// The save chooser for the first selected job of the box's list: 1 with
// the download request (command 8) in *request, 0 when cancelled.
int OpenDownload(PrgRequestPtr* request);
// The delete request for every selected job (null when none is selected
// or the request could not be made); the caller starts it.
PrgRequestPtr DeleteRequest();
// The upload chooser's files (empty when cancelled).
std::vector<FSSpec> ChooseUploadFiles();
// The host record from the main window's.
void BindHost(MAIN_DLG_DATA* m);
}  // namespace hold

// The information dialog drives commands 3 and 17 itself: true while it
// is open (the engine then leaves them to it).
bool InfoDialogOpen();
// The detail rows of a job (name, owner, pages, resolution, paper, size),
// as the detail lists show them.
std::vector<std::pair<std::string, std::string>> DetailRows(const JOB_INFO& info);

// The main window's items, its view of the command engine, and the parts
// of the window the start-up and the idle step call.
#pragma once

#include "holdmanager/HoldApp.h"
#include "holdmanager/HoldControls.h"

// Items of dialog 128.
enum : DialogItemIndex {
  kItemLogo = 1,
  kItemDeviceLabel = 2,
  kItemDevice = 3,
  kItemBrowse = 4,
  kItemTabArea = 5,
  kItemOptions = 6,
  kItemHelp = 7,
  kItemExit = 8,
  kItemCorner = 9,
  kItemStatus = 10,
  kMainItemCount = 10,
};
// First tab (DITL 129).
enum : DialogItemIndex {
  kT0FolderLabel = 11,
  kT0Folder,
  kT0Renew,
  kT0List,
  kT0Preview,
  kT0First,
  kT0Prev,
  kT0Next,
  kT0Last,
  kT0Detail,
  kT0Print,
  kT0Download,
  kT0PreviewCheck,
  kT0Divider,
  kT0FolderIcon,
};
// Second tab (DITL 130).
enum : DialogItemIndex {
  kT1Icon138 = 11,
  kT1FileLabel,
  kT1PCList,
  kT1Select,
  kT1Remove,
  kT1Upload,
  kT1Icon139,
  kT1FolderLabel,
  kT1Folder,
  kT1Renew,
  kT1HMList,
  kT1Rename,
  kT1Delete,
  kT1Info,
  kT1Move,
  kT1FolderIcon,
};
// Third tab (DITL 131).
enum : DialogItemIndex { kT2Label = 11, kT2Renew, kT2List };

constexpr SInt16 kMainWidth = 585, kMainHeight = 439;

// The window as the command engine sees it.
class MainView : public HoldView {
 public:
  explicit MainView(MAIN_DLG_DATA* m) : m_(m) {}
  int CurrentTab() override;
  void SetStatus(const std::string& text) override;
  void ShowMessage(const std::string& title, const std::string& text, bool yesNo, UInt16 command) override;
  void UpdateButtons() override;
  void UpdatePageButtons() override;
  void StepSoon() override;
  void DrawLogo(int busy) override;
  void RedrawPreview() override;
  void ClearThumbnails() override;
  void ListChanged(int kind) override;
  void ListsCleared() override;
  void FillFolderPopup(int tab, const std::vector<std::string>& names, int value) override;
  int FolderPopupValue(int tab) override;
  void ShowFolderJobs() override;
  bool SelectedJob(JOB_ENTRY* job) override;
  bool PreviewOn() override;
  void ShowJobInfo(const JOB_INFO& info) override;
  void JobRowChanged(const JOB_ENTRY& job) override;
  bool InfoDialogFetching() override;
  void DoPendingTabChange() override;
  void CloseFrontSubDialog() override;
  bool ConfigDialogOpen() override;
  void ConfigFoldersChanged() override;
  void OpenProgress(UInt16 command) override;
  void CloseProgress() override;
  void ProgressTexts(const std::string& info, const std::string& transfer, int percent) override;
  void RemoveLocalFile(const FSSpec& file) override;

 private:
  MAIN_DLG_DATA* m_;
};

// Dialog 128 made, laid out from the preferences, its first tab shown; null
// on failure (what was made is disposed).
MAIN_DLG_DATA* CreateMainDlg();
void CloseMainDlg(DialogRef dialog, bool last);
void UpdateMainDlg(DialogRef dialog);
void MouseDownMainDlg(EventRecord* event, DialogRef dialog);
Boolean KeyDownMainDlg(EventRecord* event, DialogRef dialog);

// The device pop-up emptied and everything of the chosen box forgotten (a
// new search: also the pop-up and status line).
void ResetDeviceChoice(MAIN_DLG_DATA* m, bool newSearch);
// The pop-up's entry value (from 1) becomes the device; its lists are read.
void ChooseDevice(MAIN_DLG_DATA* m, int value);
// The mouse is over a movable column divider of the current tab's lists.
bool OverColumnDivider(MAIN_DLG_DATA* m, Point local);
void DrawStatusLine(MAIN_DLG_DATA* m);

// Pages, lists and folders.
struct COLUMN_DEF {
  const char* key;  // [LIST] key of the title
  SInt16 kind;
};
CLIST_DATA* NewCList(DialogRef dialog, const COLUMN_DEF* columns, int count, const UInt16* widths, SInt16 rowHeight,
                     bool header, bool multiple);
struct DLG_ITEM_TEXT {
  DialogItemIndex item;
  const char* section;
  const char* key;
};
void SetDlgItemStrings(DialogRef dialog, const DLG_ITEM_TEXT* table, STC_DATA** list);
void SetDlgItemString(DialogRef dialog, DialogItemIndex item, const char* section, const char* key, STC_DATA** list);
void ChangeTabPage(DialogRef dialog, int oldTab, int newTab);
void ChangeFolder(MAIN_DLG_DATA* m, bool byUser);
void ChangeFolderEx(MAIN_DLG_DATA* m);
void AddFileList(CLIST_DATA* list, const JOB_ENTRY* job, SInt16 row);
void ClearFolderList(MAIN_DLG_DATA* m);
void ClearFileList(MAIN_DLG_DATA* m);
void DeletePCFileFromList(MAIN_DLG_DATA* m, const FSSpec* file);
void ResizeMainDlg(MAIN_DLG_DATA* m, SInt16 width, SInt16 height);
void ResizeTabPage(MAIN_DLG_DATA* m);
void ResizeDivider(MAIN_DLG_DATA* m, SInt16 offset);
void ResizeDlgItem(DialogRef dialog, DialogItemIndex item, SInt16 dh, SInt16 dv, SInt16 dwidth, SInt16 dheight);
void ResizeCList(CLIST_DATA* list, const Rect* rect);
void SelectTab1Item(EventRecord* event, MAIN_DLG_DATA* m, DialogItemIndex item);
void ClearPreview(MAIN_DLG_DATA* m);
void FillFolderMenu(MAIN_DLG_DATA* m, int tab, const std::vector<std::string>& names, int value);
bool FirstSelectedJob(MAIN_DLG_DATA* m, JOB_ENTRY* job);
// The local file list: a row's file leaves it; the files in the order the
// list shows them.
void RemoveLocalFile(MAIN_DLG_DATA* m, int row);
std::vector<FSSpec> LocalFilesInListOrder(MAIN_DLG_DATA* m);
// The divider's limits for the window as it stands.
void DividerLimits(MAIN_DLG_DATA* m, SInt16* low, SInt16* high);

// The progress dialog.
int OpenPrgDlg(UInt16 command);
void ClosePrgDlg();
DialogRef GetPrgDlgPtr();
void SetPrgCmd(PRG_REQUEST* request);
void SetPrgCurrentCmd(UInt16 command);
void SetProgressDlgStrings(const std::string& info, const std::string& transfer, int percent);
void DrawProgressBar(int percent);

// The main window: the device pop-up and Browse at the top, the tabbed
// pages with the five lists, the status line and the logo; its clicks, and
// its view of the command engine.
#include "holdmanager/HoldMainWnd.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "common/GWorldImage.h"
#include "FanctionLib/CList.h"
#include "FanctionLib/CTab.h"
#include "holdmanager/HoldControls.h"
#include "holdmanager/HoldDialogs.h"
#include "holdmanager/HoldLists.h"
#include "holdmanager/Thumbnail.h"
#include "toolbox/catalog.h"
#include "toolbox/cfstring.h"
#include "toolbox/clock.h"
#include "toolbox/datetime.h"
#include "toolbox/icons.h"
#include "toolbox/menus.h"
#include "toolbox/quickdraw.h"
#include "toolbox/resources.h"
#include "toolbox/textencoding.h"
#include "toolbox/windows.h"

namespace {

// The main window's record of a dialog, or null for another dialog.
MAIN_DLG_DATA* mainOf(DialogRef dialog) {
  if (!dialog) return nullptr;
  DLG_HANDLERS* h = GetDlgHandlers(GetDialogWindow(dialog));
  return h && h->update == UpdateMainDlg ? reinterpret_cast<MAIN_DLG_DATA*>(h) : nullptr;
}

void setButtonTitle(DialogRef d, DialogItemIndex item, const char* key) {
  ControlRef c = GetItemControl(d, item);
  if (!c) return;
  Str255 title;
  HoldIniPText("BUTTON", key, title);
  if (!title[0]) return;
  Str255 now;
  GetControlTitle(c, now);
  if (std::memcmp(now, title, title[0] + 1) != 0) SetControlTitle(c, title);
}

}  // namespace

// ---- the engine's view --------------------------------------------------------

int MainView::CurrentTab() { return m_->curTab; }

void MainView::SetStatus(const std::string& text) {
  m_->statusText = text;
  m_->statusKey[0] = 0;
  m_->statusRedraw = true;
}

void MainView::ShowMessage(const std::string& title, const std::string& text, bool yesNo, UInt16 command) {
  auto answer = [](long cmd, long yes, long, int result) {
    MAIN_DLG_DATA* m = GetMainDlgData();
    if (m) MsgDlgResult(&m->eng, UInt16(cmd), yes != 0, result == 2 ? 2 : 1);
  };
  OpenMsgDlg(title.c_str(), text.c_str(), yesNo ? 6 : 1, answer, command, yesNo, 0);
}

void MainView::UpdateButtons() { ChangeBtnState(m_, m_->tab0Info, false, 0); }
void MainView::UpdatePageButtons() { ChangeBtnState(m_, m_->tab0Info, false, 1); }
void MainView::StepSoon() { HoldIdleSoon(); }
void MainView::DrawLogo(int busy) {
  NextLogoFrame(busy);
  ::DrawLogo(m_->dialog);
}
void MainView::RedrawPreview() { DrawThumbnailMainDlg(m_); }
void MainView::ClearThumbnails() { ClearPreview(m_); }
void MainView::ListChanged(int kind) {
  if (kind >= 1 && kind <= 3) m_->listStale[kind - 1] = true;
}
void MainView::ListsCleared() {
  ClearFolderList(m_);
  ClearFileList(m_);
  ClearPreview(m_);
  for (bool& s : m_->listStale) s = true;
}
void MainView::FillFolderPopup(int tab, const std::vector<std::string>& names, int value) {
  FillFolderMenu(m_, tab, names, value);
}
int MainView::FolderPopupValue(int tab) { return tab >= 1 && tab <= 3 ? std::max(1, m_->folderValue[tab - 1]) : 1; }
void MainView::ShowFolderJobs() { ChangeFolder(m_, false); }
bool MainView::SelectedJob(JOB_ENTRY* job) { return FirstSelectedJob(m_, job); }
bool MainView::PreviewOn() { return m_->bPreview != 0; }
void MainView::ShowJobInfo(const JOB_INFO& info) {
  SetDetailFileInfo(&info, m_->tab0Info, m_->bPreview);
  ChangePreviewMainDlg(m_);
}
void MainView::JobRowChanged(const JOB_ENTRY&) { m_->listStale[m_->curTab - 1] = true; }
bool MainView::InfoDialogFetching() { return InfoDlgFetching(); }
void MainView::DoPendingTabChange() {
  const int to = m_->pendingTab;
  m_->pendingTab = 0;
  if (to) ChangeTabPage(m_->dialog, m_->curTab, to);
}
void MainView::CloseFrontSubDialog() {
  DialogRef front = GetFrontDialog();
  if (front && front != m_->dialog) CancelSubDlg(SubDlgOf(front));
}
bool MainView::ConfigDialogOpen() { return m_->cfgDlg != nullptr; }
void MainView::ConfigFoldersChanged() { UpdateFolderListCfgDlg(m_); }
void MainView::OpenProgress(UInt16 command) { OpenPrgDlg(command); }
void MainView::CloseProgress() { ClosePrgDlg(); }
void MainView::ProgressTexts(const std::string& info, const std::string& transfer, int percent) {
  SetProgressDlgStrings(info, transfer, percent);
}
void MainView::RemoveLocalFile(const FSSpec& file) { DeletePCFileFromList(m_, &file); }

// ---- status line ----------------------------------------------------------------

void SetStatus(DialogRef dialog, const char* section, int number, long value) {
  MAIN_DLG_DATA* m = mainOf(dialog);
  if (!m) return;
  if (number == 65535) {
    m->statusText.clear();
    m->statusKey[0] = 0;
  } else if (number == 0) {
    ControlRef pop = GetItemControl(dialog, kItemDevice);
    const int count = pop ? CountMenuItems(GetControlPopupMenuHandle(pop)) : 0;
    m->statusText = HoldFormat(gszStr00, {count});
    m->statusKey[0] = 0;
  } else {
    std::snprintf(m->statusSection, sizeof m->statusSection, "%s", section ? section : "STRING");
    if (std::strcmp(m->statusSection, "MESSAGE") == 0)
      std::snprintf(m->statusKey, sizeof m->statusKey, "STR%03d=", number);
    else
      std::snprintf(m->statusKey, sizeof m->statusKey, "STR%02d=", number);
    m->statusValue = value;
  }
  m->statusRedraw = true;
}

void DrawStatusLine(MAIN_DLG_DATA* m) {
  m->statusRedraw = false;
  if (m->statusKey[0]) {
    std::string text = HoldIniText(m->statusSection, m->statusKey);
    if (std::strcmp(m->statusKey, "STR13=") == 0 || std::strcmp(m->statusKey, "STR20=") == 0)
      text = HoldFormat(text, {m->statusValue});
    m->statusText = text;
  }
  Rect r;
  GetDialogItemRect(m->dialog, kItemStatus, &r);
  if (r.right <= r.left || r.bottom <= r.top) return;
  tb::PortSaver saver(GetDialogPort(m->dialog));
  GWorldPtr world = nullptr;
  Rect local{0, 0, SInt16(r.bottom - r.top), SInt16(r.right - r.left)};
  if (NewGWorld(&world, 32, &local, nullptr, nullptr, 0) != noErr || !world) return;
  {
    tb::PortSaver inWorld(world);
    RGBColor white{0xFFFF, 0xFFFF, 0xFFFF}, black{0, 0, 0}, grey{0x8888, 0x8888, 0x8888};
    RGBBackColor(&white);
    EraseRect(&local);
    RGBForeColor(&grey);
    MoveTo(0, 0);
    LineTo(local.right, 0);
    RGBForeColor(&black);
    TextFont(SInt16(gDefaultFont.fontID));
    TextSize(SInt16(gDefaultFont.fSize ? gDefaultFont.fSize : 12));
    FontInfo fi;
    GetFontInfo(&fi);
    Str255 text;
    SetPStrCut(text, m->statusText);
    TruncString(SInt16(local.right - gZoomBoxWidth - 5), text, truncEnd);
    MoveTo(5, SInt16((local.bottom + fi.ascent - fi.descent) / 2 + 1));
    DrawString(text);
  }
  CopyBits(GetPortBitMapForCopyBits(world), GetPortBitMapForCopyBits(GetDialogPort(m->dialog)), &local, &r, srcCopy,
           nullptr);
  DisposeGWorld(world);
}

// ---- lists, columns and texts ---------------------------------------------------

namespace {

const COLUMN_DEF gTab0File[] = {{"LIST00=", kCLSortText}, {"LIST01=", kCLSortText}, {"LIST02=", kCLSortDate}};
const COLUMN_DEF gTab0Info[] = {{"LIST03=", kCLSortText}, {"LIST04=", kCLSortText}};
const COLUMN_DEF gTab1PCFile[] = {{"LIST05=", kCLSortText},
                                  {"LIST06=", SInt16(kCLSortFileSize | kCLAlignRight)},
                                  {"LIST07=", kCLSortText},
                                  {"LIST08=", kCLSortDate}};
const COLUMN_DEF gTab1HMFile[] = {{"LIST00=", kCLSortText}, {"LIST01=", kCLSortText}, {"LIST02=", kCLSortDate}};
const COLUMN_DEF gTab2Job[] = {{"LIST00=", kCLSortText}, {"LIST01=", kCLSortText}, {"LIST02=", kCLSortDate}};

const DLG_ITEM_TEXT gMainDlgItem[] = {{kItemDeviceLabel, "LABEL", "STC_PRN="}, {kItemBrowse, "BUTTON", "BTN_BROWSE="},
                                      {kItemOptions, "BUTTON", "BTN_OPTION="}, {kItemHelp, "BUTTON", "BTN_HELP="},
                                      {kItemExit, "BUTTON", "BTN_EXIT="},      {-1, nullptr, nullptr}};
const DLG_ITEM_TEXT gMainDlgTab0Item[] = {{kT0FolderLabel, "LABEL", "STC_HOLD="},
                                          {kT0Renew, "BUTTON", "BTN_RENEW="},
                                          {kT0Print, "BUTTON", "BTN_PRN="},
                                          {kT0Download, "BUTTON", "BTN_DOWNLOAD="},
                                          {kT0PreviewCheck, "BUTTON", "CHK_PREVIEW="},
                                          {-1, nullptr, nullptr}};
const DLG_ITEM_TEXT gMainDlgTab1Item[] = {{kT1FileLabel, "LABEL", "STC_FILE="},
                                          {kT1Select, "BUTTON", "BTN_SELECT="},
                                          {kT1Remove, "BUTTON", "BTN_REMOVE="},
                                          {kT1Upload, "BUTTON", "BTN_UPLOAD="},
                                          {kT1FolderLabel, "LABEL", "STC_HOLD="},
                                          {kT1Renew, "BUTTON", "BTN_RENEW="},
                                          {kT1Rename, "BUTTON", "BTN_RENAME="},
                                          {kT1Delete, "BUTTON", "BTN_DELETE="},
                                          {kT1Info, "BUTTON", "BTN_INFO="},
                                          {kT1Move, "BUTTON", "BTN_MOVE="},
                                          {-1, nullptr, nullptr}};
const DLG_ITEM_TEXT gMainDlgTab2Item[] = {
    {kT2Label, "LABEL", "STC_JOB="}, {kT2Renew, "BUTTON", "BTN_RENEW="}, {-1, nullptr, nullptr}};

CLIST_DATA* const* listsOf(MAIN_DLG_DATA* m, int* count) {
  static CLIST_DATA* lists[5];
  lists[0] = m->tab0File;
  lists[1] = m->tab0Info;
  lists[2] = m->tab1PCFile;
  lists[3] = m->tab1HMFile;
  lists[4] = m->tab2Job;
  *count = 5;
  return lists;
}

// The job list of the tab (1 hold-job, 2 hold-file, 3 the box's).
CLIST_DATA* jobListOf(MAIN_DLG_DATA* m, int tab) {
  return tab == 1 ? m->tab0File : tab == 2 ? m->tab1HMFile : m->tab2Job;
}

DialogItemIndex folderPopupOf(int tab) {
  return DialogItemIndex(tab == 1 ? int(kT0Folder) : tab == 2 ? int(kT1Folder) : 0);
}
DialogItemIndex renewOf(int tab) {
  return DialogItemIndex(tab == 1 ? int(kT0Renew) : tab == 2 ? int(kT1Renew) : int(kT2Renew));
}

// The job the detail list shows: its first row's reference, or null.
JOB_INFO* shownJobInfo(const MAIN_DLG_DATA* m) {
  return m->tab0Info && CLGetCount(m->tab0Info) ? reinterpret_cast<JOB_INFO*>(CLGetReference(m->tab0Info, 0)) : nullptr;
}

bool commandBusy(const MAIN_DLG_DATA* m) {
  const UInt16 c = m->eng.current;
  return c == CMD_REFRESH || c == 2 || c == CMD_INFO || c == CMD_THUMBNAIL;
}

void enableItem(DialogRef d, DialogItemIndex item, bool on) {
  ControlRef c = GetItemControl(d, item);
  if (!c) return;
  // The control's own state, whatever its window's: a button turned off
  // while a progress dialog holds the window inactive stays off when the
  // window comes back.
  if (on)
    ActivateControl(c);
  else
    DeactivateControl(c);
}

std::string ptext(const UInt8* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

void cellText(CLIST_DATA* list, SInt16 row, SInt16 col, const std::string& text) {
  Str255 s;
  SetPStrCut(s, text);
  CLSetCellOne(list, Cell{row, col}, s);
}

// The job rows' references: the engine's shared copies, kept alive while a
// row shows them.
std::vector<std::shared_ptr<UInt8[]>> gRowRefs[3];

void refillJobList(MAIN_DLG_DATA* m, int tab) {
  CLIST_DATA* list = jobListOf(m, tab);
  if (!list) return;
  CLDelRow(list, 0, 0);
  auto& refs = gRowRefs[tab - 1];
  refs.clear();
  PtrListHead head = tab == 3 ? m->eng.boxJobs : m->eng.holdJobs;
  UInt8 folderId[4] = {};
  bool filter = false;
  if (tab != 3) {
    const auto folders = SortFolderList(m->eng.folders);
    const int v = m->folderValue[tab - 1];
    if (v < 1 || v > int(folders.size())) return;
    std::memcpy(folderId, folders[std::size_t(v - 1)].folderId, 4);
    filter = true;
  }
  SInt16 row = 0;
  for (int i = 0, n = GetCountPtrList(head); i < n; ++i) {
    auto shared = GetSharedPtrList(head, i);
    const auto* job = reinterpret_cast<const JOB_ENTRY*>(shared.get());
    if (!job || (filter && std::memcmp(job->folderId, folderId, 4) != 0)) continue;
    refs.push_back(shared);
    AddFileList(list, job, row++);
  }
}

}  // namespace

CLIST_DATA* NewCList(DialogRef dialog, const COLUMN_DEF* columns, int count, const UInt16* widths, SInt16 rowHeight,
                     bool header, bool multiple) {
  Rect r{0, 0, 100, 100};
  CLIST_DATA* list = CLNew(GetDialogWindow(dialog), &r, Point{rowHeight, 100}, multiple, false, false);
  if (!list) return nullptr;
  for (int i = 0; i < count; ++i) {
    Str255 title;
    HoldIniPText("LIST", columns[i].key, title);
    CLAddColumn(list, title, SInt16(widths ? widths[i] : 100), SInt16(columns[i].kind | (header ? 0 : kCLNoHeader)));
  }
  CLSetColumnHeight(list, rowHeight);
  if (header) {
    CLSetHeaderPictID(list, 134, 134, 135);
    CLSetHeaderSortPictID(list, 160, 161, 162, 163);
  } else {
    CLSetHeaderPictID(list, 139, 139, 139);
  }
  CLSetSortCase(list, false);
  SInt16 font = SInt16(gDefaultFont.fontID), size = SInt16(gDefaultFont.fSize ? gDefaultFont.fSize : 11);
  Style face = 0;
  CLSetFont(list, &font, &face, &size);
  return list;
}

void SetDlgItemString(DialogRef dialog, DialogItemIndex item, const char* section, const char* key, STC_DATA** list) {
  Str255 text;
  HoldIniPText(section, key, text);
  if (!text[0] || item > CountDITL(dialog)) return;
  DialogItemType type;
  Handle h;
  Rect r;
  GetDialogItem(dialog, item, &type, &h, &r);
  const int kind = type & 127;
  if (kind == kStaticTextDialogItem || kind == kEditTextDialogItem) {
    Str255 font{};
    STCAddList(list, dialog, UInt16(item), font, SInt16(gDefaultFont.fSize ? gDefaultFont.fSize : 12), gTextEncoding,
               text);
    for (STC_DATA* s = *list; s; s = s->next)
      if (!s->next) s->fontID = SInt16(gDefaultFont.fontID);
  } else if (ControlRef c = GetItemControl(dialog, item)) {
    SetControlTitle(c, text);
  }
}

void SetDlgItemStrings(DialogRef dialog, const DLG_ITEM_TEXT* table, STC_DATA** list) {
  for (; table && table->item != -1; ++table) SetDlgItemString(dialog, table->item, table->section, table->key, list);
}

void AddFileList(CLIST_DATA* list, const JOB_ENTRY* job, SInt16 row) {
  const TextEncoding own = LangCodeEncoding(job->lang, gTextEncoding);
  cellText(list, row, 0, NameText(job->name, own));
  cellText(list, row, 1, NameText(job->owner, own));
  cellText(list, row, 2, DateText(job->date));
  CLSetCIconData(list, 128, row, 16, 16);
  CLSetReference(list, row, reinterpret_cast<long>(job));
}

void ClearFolderList(MAIN_DLG_DATA* m) {
  for (int tab = 1; tab <= 2; ++tab) {
    m->folderValue[tab - 1] = 0;
    if (m->curTab == tab)
      if (ControlRef pop = GetItemControl(m->dialog, folderPopupOf(tab))) {
        MenuRef menu = GetControlPopupMenuHandle(pop);
        DeleteMenuItems(menu, 1, CountMenuItems(menu));
        SetControl32BitMaximum(pop, 0);
        SetControl32BitValue(pop, 0);
        Draw1Control(pop);
      }
  }
}

void ClearFileList(MAIN_DLG_DATA* m) {
  for (int tab = 1; tab <= 3; ++tab) {
    if (CLIST_DATA* l = jobListOf(m, tab)) CLDelRow(l, 0, 0);
    gRowRefs[tab - 1].clear();
  }
  if (m->tab0Info) CLDelRow(m->tab0Info, 0, 0);
  // The lists in view are drawn empty at once: an end that opens no message
  // box (a cancel) brings no update that would.
  if (CLIST_DATA* l = jobListOf(m, m->curTab)) CLUpdate(l, nullptr, 0);
  if (m->curTab == 1 && m->tab0Info) CLUpdate(m->tab0Info, nullptr, 0);
}

void FillFolderMenu(MAIN_DLG_DATA* m, int tab, const std::vector<std::string>& names, int value) {
  m->folderValue[tab - 1] = names.empty() ? 0 : std::clamp(value, 1, int(names.size()));
  if (tab != m->curTab) return;
  ControlRef pop = GetItemControl(m->dialog, folderPopupOf(tab));
  if (!pop) return;
  MenuRef menu = GetControlPopupMenuHandle(pop);
  DeleteMenuItems(menu, 1, CountMenuItems(menu));
  for (const std::string& n : names) {
    Str255 s;
    SetPStrCut(s, n);
    AppendMenuItemText(menu, PText(" "));
    SetMenuItemText(menu, CountMenuItems(menu), s);
  }
  SetControl32BitMaximum(pop, SInt32(names.size()));
  SetControl32BitValue(pop, m->folderValue[tab - 1]);
  Draw1Control(pop);
}

void ChangeFolder(MAIN_DLG_DATA* m, bool byUser) {
  const int tab = m->curTab;
  CLIST_DATA* list = jobListOf(m, tab);
  if (!list) return;
  std::vector<std::string> selected;
  Cell c{0, 0};
  while (CLGetSelect(list, &c, true)) {
    const auto* job = reinterpret_cast<const JOB_ENTRY*>(CLGetReference(list, c.v));
    if (job) selected.emplace_back(reinterpret_cast<const char*>(job->jobId), 4);
    c.v++;
  }
  if (tab != 3)
    if (ControlRef pop = GetItemControl(m->dialog, folderPopupOf(tab)))
      if (GetControl32BitValue(pop) >= 1) m->folderValue[tab - 1] = GetControl32BitValue(pop);
  refillJobList(m, tab);
  m->listStale[tab - 1] = false;
  if (byUser) SetStatus(m->dialog, "STRING", 13, CLGetCount(list));
  CLSort(list, list->curSortPart, 0);
  for (SInt16 row = 0; row < CLGetCount(list); ++row) {
    const auto* job = reinterpret_cast<const JOB_ENTRY*>(CLGetReference(list, row));
    if (!job) continue;
    for (const std::string& id : selected)
      if (std::memcmp(job->jobId, id.data(), 4) == 0) CLSetSelect(list, Cell{row, 0}, true, false);
  }
  CLUpdate(list, nullptr, 1);
  ChangeBtnState(m, m->tab0Info, false, 0);
}

void ChangeFolderEx(MAIN_DLG_DATA* m) {
  const int tab = m->curTab;
  ControlRef pop = GetItemControl(m->dialog, folderPopupOf(tab));
  if (!pop) return;
  const int v = GetControl32BitValue(pop);
  if (v != m->folderValue[tab - 1])
    if (CLIST_DATA* list = jobListOf(m, tab)) {
      CLDelRow(list, 0, 0);
      CLUpdate(list, nullptr, 1);
    }
  m->folderValue[tab - 1] = v;
  if (m->eng.current) {
    if (m->eng.running) VFMPClose(m->eng.running, 7);
    CommandPendingLoop(&m->eng);
  } else {
    StartCommand(&m->eng, CMD_REFRESH, false);
  }
}

bool FirstSelectedJob(MAIN_DLG_DATA* m, JOB_ENTRY* job) {
  CLIST_DATA* list = jobListOf(m, m->curTab);
  Cell c{0, 0};
  if (!list || !CLGetSelect(list, &c, true)) return false;
  const auto* ref = reinterpret_cast<const JOB_ENTRY*>(CLGetReference(list, c.v));
  if (!ref) return false;
  *job = *ref;
  return true;
}

void SetDetailFileInfoPage(CLIST_DATA* detail, bool preview, bool redraw) {
  if (!detail || CLGetCount(detail) < 3) return;
  const auto* info = reinterpret_cast<const JOB_INFO*>(CLGetReference(detail, 0));
  if (!info) return;
  const std::string pages = HoldFormat(HoldIniText("INFOMATION", "PAGES="), {long(info->pages)});
  std::string value = pages;
  if (preview && info->hasThumbnails == 1 && info->pages) value = std::to_string(info->hasPages) + " / " + pages;
  cellText(detail, 2, 1, value);
  if (redraw) CLUpdate(detail, nullptr, 0);
}

void SetDetailFileInfo(const JOB_INFO* info, CLIST_DATA* detail, bool preview) {
  if (!detail) return;
  static JOB_INFO shown;
  CLDelRow(detail, 0, 0);
  if (!info) {
    CLUpdate(detail, nullptr, 0);
    return;
  }
  shown = *info;
  if (shown.pages && shown.hasPages == 0) shown.hasPages = 1;
  const char* labels[][2] = {{"INFOMATION", "JOB="},        {"INFOMATION", "OWNER="}, {"INFOMATION", "TOTAL="},
                             {"INFOMATION", "RESOLUTION="}, {"PAPER", "SIZE="},       {"INFOMATION", "DATASIZE="}};
  for (SInt16 row = 0; row < 6; ++row) cellText(detail, row, 0, HoldIniText(labels[row][0], labels[row][1]));
  const TextEncoding own = LangCodeEncoding(info->lang, gTextEncoding);
  cellText(detail, 0, 1, NameText(info->name, own));
  cellText(detail, 1, 1, NameText(info->owner, own));
  char text[300];
  std::snprintf(text, sizeof text, "%d x %d dpi", (info->resolution >> 8) * 10, (info->resolution & 255) * 10);
  cellText(detail, 3, 1, text);
  char key[16];
  std::snprintf(key, sizeof key, "SIZE%03d=", info->paper);
  std::string paper = HoldIniText("PAPER", key);
  if (paper.empty()) {
    paper = HoldFormat("%s %d", {HoldIniText("PAPER", "SIZE\?\?\?="), long(info->paper)});
  }
  cellText(detail, 4, 1, paper);
  cellText(detail, 5, 1, DataSizeText(info->size));
  CLSetReference(detail, 0, reinterpret_cast<long>(&shown));
  SetDetailFileInfoPage(detail, preview, false);
  CLUpdate(detail, nullptr, 0);
}

// ---- buttons ----------------------------------------------------------------------

void ChangeBtnState(MAIN_DLG_DATA* m, CLIST_DATA*, bool thumbnails, int mode) {
  if (!m || !m->dialog) return;
  DialogRef d = m->dialog;
  const bool busy = commandBusy(m);
  const bool running = m->eng.current != 0;
  const bool device = m->deviceAddr != 0;
  Cell c{0, 0};
  const JOB_INFO* info = shownJobInfo(m);
  if (m->curTab == 1) {
    const bool pagesOn = !running && (m->bPreview || thumbnails) && info && info->pages;
    const int page = info ? info->hasPages : 0, last = info ? info->pages : 0;
    SetPageBtnState(0, pagesOn && page > 1 ? 0 : 2, true, 0);
    SetPageBtnState(1, pagesOn && page > 1 ? 0 : 2, true, 0);
    SetPageBtnState(2, pagesOn && page < last ? 0 : 2, true, 0);
    SetPageBtnState(3, pagesOn && page < last ? 0 : 2, true, 0);
  }
  if (mode == 1) return;
  enableItem(d, kItemOptions, !busy);
  if (m->curTab <= 3) {
    const DialogItemIndex renew = renewOf(m->curTab);
    setButtonTitle(d, renew, busy ? "BTN_STOP=" : "BTN_RENEW=");
    enableItem(d, renew, device);
  }
  if (m->curTab == 1) {
    ControlRef pop = GetItemControl(d, kT0Folder);
    enableItem(d, kT0Folder, !busy && pop && GetControl32BitMaximum(pop) > 0);
    const bool job = m->tab0File && CLGetSelect(m->tab0File, &c, true);
    enableItem(d, kT0Print, job && !running);
    enableItem(d, kT0Download, job && !running);
    enableItem(d, kT0PreviewCheck, !busy);
  } else if (m->curTab == 2) {
    const bool local = m->tab1PCFile && CLGetSelect(m->tab1PCFile, &c, true);
    enableItem(d, kT1Remove, local);
    ControlRef pop = GetItemControl(d, kT1Folder);
    enableItem(d, kT1Upload, m->tab1PCFile && CLGetCount(m->tab1PCFile) > 0 && pop && GetControl32BitValue(pop) >= 1);
    enableItem(d, kT1Folder, !busy && pop && GetControl32BitMaximum(pop) > 0);
    c = Cell{0, 0};
    const bool job = m->tab1HMFile && CLGetSelect(m->tab1HMFile, &c, true);
    for (DialogItemIndex i : {kT1Rename, kT1Delete, kT1Info, kT1Move}) enableItem(d, i, job && !running);
  }
}

// ---- pages ---------------------------------------------------------------------------

namespace {

void placeList(MAIN_DLG_DATA* m, CLIST_DATA* list, DialogItemIndex item) {
  if (!list) return;
  Rect r;
  GetDialogItemRect(m->dialog, item, &r);
  ResizeCList(list, &r);
  CLShow(list, true);
}

void showPage(MAIN_DLG_DATA* m) {
  DialogRef d = m->dialog;
  static const DLG_ITEM_TEXT* const tables[] = {gMainDlgTab0Item, gMainDlgTab1Item, gMainDlgTab2Item};
  SetDlgItemStrings(d, tables[m->curTab - 1], &m->stcPage);
  if (m->curTab == 1) {
    placeList(m, m->tab0File, kT0List);
    placeList(m, m->tab0Info, kT0Detail);
    if (ControlRef chk = GetItemControl(d, kT0PreviewCheck)) SetControl32BitValue(chk, m->bPreview);
  } else if (m->curTab == 2) {
    placeList(m, m->tab1PCFile, kT1PCList);
    placeList(m, m->tab1HMFile, kT1HMList);
  } else {
    placeList(m, m->tab2Job, kT2List);
  }
  ResizeTabPage(m);
  if (m->curTab == 1) {
    for (int i = 0; i < 4; ++i) {
      Rect r;
      GetDialogItemRect(d, DialogItemIndex(kT0First + i), &r);
      SetPageBtnRect(i, Point{r.top, r.left}, Point{r.bottom, r.right}, 0);
    }
  }
}

}  // namespace

void ChangeTabPage(DialogRef dialog, int oldTab, int newTab) {
  MAIN_DLG_DATA* m = mainOf(dialog);
  if (!m || newTab < 1 || newTab > 3) return;
  if (m->eng.current) {
    // The running command is cancelled; its end makes the switch.
    if (m->pendingTab) return;
    m->pendingTab = newTab;
    if (m->eng.running) {
      VFMPClose(m->eng.running, VFMP_ERR_TAB_CHANGE);
      CommandPendingLoop(&m->eng);
    } else {
      EndCommand(&m->eng, m->eng.current, nullptr, VFMP_ERR_TAB_CHANGE, 0);
    }
    return;
  }
  (void)oldTab;
  // Nothing is drawn while the page is rebuilt: a list that hides or moves
  // erases its old place, and one never placed stands at the window's
  // top-left, over the device pop-up and its label.
  tb::OwnedRgn visible, none;
  GetPortVisibleRegion(GetDialogPort(dialog), visible);
  Set_Dialog_VisRegion(dialog, none);
  STCDisposeList(&m->stcPage);
  if (CountDITL(dialog) > kMainItemCount) ShortenDITL(dialog, DialogItemIndex(CountDITL(dialog) - kMainItemCount));
  int count = 0;
  CLIST_DATA* const* lists = listsOf(m, &count);
  for (int i = 0; i < count; ++i)
    if (lists[i]) CLShow(lists[i], false);
  m->curTab = newTab;
  if (Handle h = GetResource('DITL', SInt16(128 + newTab))) {
    AppendDITL(dialog, h, 0);
    ReleaseResource(h);
    showPage(m);
  }
  if (m->tab) CTSetCurSel(m->tab, SInt16(newTab - 1), false);
  Set_Dialog_VisRegion(dialog, visible);
  RedrawMainDlg(m, 1);
  ChangeBtnState(m, m->tab0Info, false, 0);
  if (m->deviceAddr) StartCommand(&m->eng, CMD_REFRESH, false);
}

// ---- layout --------------------------------------------------------------------------

void ResizeDlgItem(DialogRef dialog, DialogItemIndex item, SInt16 dh, SInt16 dv, SInt16 dwidth, SInt16 dheight) {
  if (item > CountDITL(dialog)) return;
  DialogItemType type;
  Handle h;
  Rect r;
  GetDialogItem(dialog, item, &type, &h, &r);
  r.left = SInt16(r.left + dh);
  r.right = SInt16(r.right + dh + dwidth);
  r.top = SInt16(r.top + dv);
  r.bottom = SInt16(r.bottom + dv + dheight);
  SetDialogItem(dialog, item, type, h, &r);
  if (ControlRef c = GetItemControl(dialog, item)) {
    MoveControl(c, r.left, r.top);
    SizeControl(c, SInt16(r.right - r.left), SInt16(r.bottom - r.top));
  }
}

void ResizeCList(CLIST_DATA* list, const Rect* rect) {
  if (list && rect) CLResize(list, rect);
}

namespace {

// Where an item of the design (585 x 439) goes for the window's size: the
// item's rectangle of the page's resource, moved and grown.
void placeFromDesign(DialogRef d, DialogItemIndex item, const Rect& design, SInt16 dh, SInt16 dv, SInt16 dw,
                     SInt16 dhh) {
  if (item > CountDITL(d)) return;
  DialogItemType type;
  Handle h;
  Rect r;
  GetDialogItem(d, item, &type, &h, &r);
  Rect n{SInt16(design.top + dv), SInt16(design.left + dh), SInt16(design.bottom + dv + dhh),
         SInt16(design.right + dh + dw)};
  SetDialogItem(d, item, type, h, &n);
  if (ControlRef c = GetItemControl(d, item)) {
    MoveControl(c, n.left, n.top);
    SizeControl(c, SInt16(n.right - n.left), SInt16(n.bottom - n.top));
  }
}

// The design rectangles of a DITL resource.
std::vector<Rect> designRects(SInt16 id) {
  std::vector<Rect> out;
  Handle h = GetResource('DITL', id);
  if (!h) return out;
  const auto* p = reinterpret_cast<const UInt8*>(*h);
  const Size n = GetHandleSize(h);
  if (n < 2) return out;
  const int count = ((p[0] << 8) | p[1]) + 1;
  Size at = 2;
  for (int i = 0; i < count && at + 14 <= n; ++i) {
    auto g = [&](Size o) { return SInt16((p[at + o] << 8) | p[at + o + 1]); };
    out.push_back(Rect{g(4), g(6), g(8), g(10)});
    const int len = p[at + 13];
    at += 14 + len + (len & 1);
  }
  ReleaseResource(h);
  return out;
}

constexpr SInt16 kPageFrameBottom = 375;  // the tab control's page frame, at the design size

SInt16 widthOf(const Rect& r) { return SInt16(r.right - r.left); }

// The window's growth beyond the design.
void growth(DialogRef d, SInt16* dw, SInt16* dh) {
  Rect port;
  GetPortBounds(GetDialogPort(d), &port);
  *dw = SInt16(port.right - port.left - kMainWidth);
  *dh = SInt16(port.bottom - port.top - kMainHeight);
}

// A page item's rectangle in its resource (empty when there is none).
Rect designOf(const std::vector<Rect>& design, DialogItemIndex item) {
  const std::size_t i = std::size_t(item - kMainItemCount - 1);
  return i < design.size() ? design[i] : Rect{};
}

// The divider (the job list's right edge) keeps the job list at least as
// wide as Print and Download beside each other, and the detail list, right
// of the divider's own width, as wide as the Preview check box under it.
void dividerLimits(const std::vector<Rect>& design, SInt16 dw, SInt16* low, SInt16* high) {
  *low = SInt16(designOf(design, kT0List).left + widthOf(designOf(design, kT0Print)) +
                widthOf(designOf(design, kT0Download)) + 6);
  *high = std::max(*low, SInt16(designOf(design, kT0Detail).right + dw - widthOf(designOf(design, kT0PreviewCheck)) -
                                widthOf(designOf(design, kT0Divider))));
}

// Where the divider stands for the window's width: where it was put, moved
// by the width change since (the job list takes it all), within its limits
// (narrower still, the detail side gives up what the list cannot).
SInt16 dividerFor(const MAIN_DLG_DATA* m, const std::vector<Rect>& design, SInt16 dw) {
  SInt16 low, high;
  dividerLimits(design, dw, &low, &high);
  const int put = m->divider > 0 ? m->divider + dw - m->dividerGrow : designOf(design, kT0List).right + dw;
  return SInt16(std::clamp<int>(put, low, high));
}

}  // namespace

void DividerLimits(MAIN_DLG_DATA* m, SInt16* low, SInt16* high) {
  SInt16 dw, dh;
  growth(m->dialog, &dw, &dh);
  dividerLimits(designRects(129), dw, low, high);
}

void ResizeDivider(MAIN_DLG_DATA* m, SInt16 offset) {
  SInt16 dw, dh, low, high;
  growth(m->dialog, &dw, &dh);
  dividerLimits(designRects(129), dw, &low, &high);
  m->divider = std::clamp(offset, low, high);
  m->dividerGrow = dw;
  if (m->curTab == 1) ResizeTabPage(m);
}

void ResizeTabPage(MAIN_DLG_DATA* m) {
  DialogRef d = m->dialog;
  SInt16 dw, dh;
  growth(d, &dw, &dh);
  const auto design = designRects(SInt16(128 + m->curTab));
  auto place = [&](DialogItemIndex item, SInt16 mh, SInt16 mv, SInt16 gw, SInt16 gh) {
    const std::size_t i = std::size_t(item - kMainItemCount - 1);
    if (i < design.size()) placeFromDesign(d, item, design[i], mh, mv, gw, gh);
  };
  auto fitList = [&](CLIST_DATA* list, DialogItemIndex item) {
    Rect r;
    GetDialogItemRect(d, item, &r);
    ResizeCList(list, &r);
  };
  if (m->curTab == 1) {
    place(kT0FolderLabel, 0, 0, 0, 0);
    place(kT0FolderIcon, 0, 0, 0, 0);
    place(kT0Folder, 0, 0, dw, 0);
    place(kT0Renew, dw, 0, 0, 0);
    const SInt16 pos = dividerFor(m, design, dw);
    const SInt16 shift = SInt16(pos - designOf(design, kT0List).right);
    place(kT0List, 0, 0, shift, dh);
    place(kT0Divider, shift, 0, 0, dh);
    for (DialogItemIndex i : {kT0Print, kT0Download, kT0PreviewCheck}) place(i, shift, dh, 0, 0);
    place(kT0Preview, shift, 0, SInt16(dw - shift), dh);
    place(kT0Detail, shift, dh, SInt16(dw - shift), 0);
    for (DialogItemIndex i = kT0First; i <= kT0Last; ++i) place(i, dw, SInt16(dh / 2), 0, 0);
    m->config.usDivider = UInt16(pos);
    fitList(m->tab0File, kT0List);
    fitList(m->tab0Info, kT0Detail);
  } else if (m->curTab == 2) {
    // The page's two lists share its height: the split follows the middle
    // of the page frame.
    Rect area;
    GetDialogItemRect(d, kItemTabArea, &area);
    const SInt16 split = SInt16((area.bottom + kPageFrameBottom + dh) / 2 - (area.bottom + kPageFrameBottom) / 2);
    place(kT1Icon138, 0, 0, 0, 0);
    place(kT1FileLabel, 0, 0, 0, 0);
    place(kT1PCList, 0, 0, dw, split);
    for (DialogItemIndex i : {kT1Select, kT1Remove, kT1Upload}) place(i, dw, 0, 0, 0);
    for (DialogItemIndex i : {kT1Icon139, kT1FolderLabel, kT1FolderIcon}) place(i, 0, split, 0, 0);
    place(kT1Folder, 0, split, dw, 0);
    place(kT1Renew, dw, split, 0, 0);
    place(kT1HMList, 0, split, dw, SInt16(dh - split));
    for (DialogItemIndex i : {kT1Rename, kT1Delete, kT1Info, kT1Move}) place(i, dw, dh, 0, 0);
    fitList(m->tab1PCFile, kT1PCList);
    fitList(m->tab1HMFile, kT1HMList);
  } else {
    place(kT2Label, 0, 0, 0, 0);
    place(kT2Renew, dw, 0, 0, 0);
    place(kT2List, 0, 0, dw, dh);
    fitList(m->tab2Job, kT2List);
  }
}

void ResizeMainDlg(MAIN_DLG_DATA* m, SInt16 width, SInt16 height) {
  width = std::max(width, kMainWidth);
  height = std::max(height, kMainHeight);
  DialogRef d = m->dialog;
  SizeWindow(GetDialogWindow(d), width, height, true);
  const SInt16 dw = SInt16(width - kMainWidth), dh = SInt16(height - kMainHeight);
  const auto design = designRects(128);
  auto place = [&](DialogItemIndex item, SInt16 mh, SInt16 mv, SInt16 gw, SInt16 gh) {
    if (std::size_t(item - 1) < design.size()) placeFromDesign(d, item, design[std::size_t(item - 1)], mh, mv, gw, gh);
  };
  place(kItemDevice, 0, 0, dw, 0);
  place(kItemBrowse, dw, 0, 0, 0);
  place(kItemLogo, 0, dh, 0, 0);
  for (DialogItemIndex i : {kItemOptions, kItemHelp, kItemExit, kItemCorner}) place(i, dw, dh, 0, 0);
  place(kItemStatus, 0, dh, dw, 0);
  place(kItemTabArea, 0, 0, dw, 0);
  if (m->tab) {
    if (m->tabGrowW != dw || m->tabGrowH != dh)
      CTResize(m->tab, 0, 0, SInt16(dw - m->tabGrowW), SInt16(dh - m->tabGrowH));
    m->tabGrowW = dw;
    m->tabGrowH = dh;
  }
  m->config.usWinWidth = UInt16(width);
  m->config.usWinHeight = UInt16(height);
  ResizeTabPage(m);
}

// ---- preview, local files, device --------------------------------------------------

void ClearPreview(MAIN_DLG_DATA* m) {
  DisposeThumbnailList(&m->eng.thumbs);
  DrawThumbnailMainDlg(m);
}

void DrawThumbnailMainDlg(MAIN_DLG_DATA* m) {
  if (!m || m->curTab != 1) return;
  static const DialogItemIndex buttons[4] = {kT0First, kT0Prev, kT0Next, kT0Last};
  GWorldPtr picture = nullptr;
  const JOB_INFO* info = shownJobInfo(m);
  if (m->bPreview && info)
    for (int i = 0, n = GetCountPtrList(m->eng.thumbs); i < n; ++i) {
      auto* t = static_cast<THUMB_ENTRY*>(GetPtrList(m->eng.thumbs, i));
      if (t && t->page == info->hasPages) picture = t->picture;
    }
  DrawThumbnail(m->dialog, picture, kT0Preview, buttons, m->bPreview && m->eng.current != CMD_THUMBNAIL, 0);
}

void ChangePreviewMainDlg(MAIN_DLG_DATA* m) {
  const JOB_INFO* info = shownJobInfo(m);
  bool loaded = false;
  if (info)
    for (int i = 0, n = GetCountPtrList(m->eng.thumbs); i < n; ++i) {
      auto* t = static_cast<THUMB_ENTRY*>(GetPtrList(m->eng.thumbs, i));
      if (t && t->page == info->hasPages && t->picture) loaded = true;
    }
  if (m->bPreview && info && info->hasThumbnails == 1 && info->pages && !loaded && !m->eng.current) {
    StartCommand(&m->eng, CMD_THUMBNAIL, false);
    return;
  }
  ChangeBtnState(m, m->tab0Info, false, 1);
  DrawThumbnailMainDlg(m);
}

namespace {
const FSSpec* localFileOf(MAIN_DLG_DATA* m, int row) {
  return m->tab1PCFile ? reinterpret_cast<const FSSpec*>(CLGetReference(m->tab1PCFile, SInt16(row))) : nullptr;
}
}  // namespace

void RemoveLocalFile(MAIN_DLG_DATA* m, int row) {
  const FSSpec* file = localFileOf(m, row);
  if (!file || row >= CLGetCount(m->tab1PCFile)) return;
  CLDelRow(m->tab1PCFile, 1, SInt16(row));
  m->localFiles.remove_if([file](const FSSpec& f) { return &f == file; });
  CLUpdate(m->tab1PCFile, nullptr, 1);
}

std::vector<FSSpec> LocalFilesInListOrder(MAIN_DLG_DATA* m) {
  std::vector<FSSpec> out;
  for (int row = 0, n = m->tab1PCFile ? CLGetCount(m->tab1PCFile) : 0; row < n; ++row)
    if (const FSSpec* f = localFileOf(m, row)) out.push_back(*f);
  return out;
}

void DeletePCFileFromList(MAIN_DLG_DATA* m, const FSSpec* file) {
  for (int row = 0, n = file && m->tab1PCFile ? CLGetCount(m->tab1PCFile) : 0; row < n; ++row)
    if (const FSSpec* f = localFileOf(m, row); f && std::memcmp(f, file, sizeof *file) == 0) {
      RemoveLocalFile(m, row);
      return;
    }
}

void ResetDeviceChoice(MAIN_DLG_DATA* m, bool newSearch) {
  if (newSearch) {
    std::memset(m->found, 0, sizeof m->found);
    gNewFound = 0;
    if (ControlRef pop = GetItemControl(m->dialog, kItemDevice)) {
      MenuRef menu = GetControlPopupMenuHandle(pop);
      DeleteMenuItems(menu, 1, CountMenuItems(menu));
      SetControlMinimum(pop, 0);
      SetControl32BitMaximum(pop, 0);
      SetControl32BitValue(pop, 0);
      SetMenuTitle(menu, PText(""));
      HiliteControl(pop, kControlInactivePart);
      Draw1Control(pop);
    }
    m->popupOpened = false;
    m->eng.busy = 0;
    gAnimeInfo.offset = 0;
    DrawLogo(m->dialog);
    SetStatus(m->dialog, "STRING", 0, 0);
  }
  ClearFolderList(m);
  ClearFileList(m);
  m->deviceAddr = 0;
  std::memset(m->deviceMac, 0, sizeof m->deviceMac);
  m->eng.boxAddr = 0;
  for (bool& s : m->listStale) s = true;
  ChangeBtnState(m, m->tab0Info, false, 0);
}

void ChooseDevice(MAIN_DLG_DATA* m, int value) {
  int index = 0;
  const PBOXinfo* chosen = nullptr;
  for (const PBOXinfo& p : m->found)
    if (p.pbi_inuse && ++index == value) chosen = &p;
  if (!chosen) return;
  CancelCommand(&m->eng);
  ResetDeviceChoice(m, false);
  ClearPtrList(&m->eng.folders);
  ClearPtrList(&m->eng.holdJobs);
  ClearPtrList(&m->eng.boxJobs);
  m->deviceAddr = chosen->pbi_ip_addr;
  std::memcpy(m->deviceMac, chosen->pbi_nodeaddr, 6);
  m->newerDevice = (chosen->pbi_machine_type[15] & 0x80) != 0;
  m->eng.boxAddr = m->deviceAddr;
  std::memcpy(m->eng.boxMac, m->deviceMac, 6);
  m->eng.newerDevice = m->newerDevice;
  m->eng.timeoutSeconds = m->config.ulTimeOut;
  HoldMarkListsStale(&m->eng);
  StartCommand(&m->eng, CMD_REFRESH, false);
}

bool OverColumnDivider(MAIN_DLG_DATA* m, Point local) {
  CLIST_DATA* lists[2] = {jobListOf(m, m->curTab), m->curTab == 2 ? m->tab1PCFile : nullptr};
  for (CLIST_DATA* l : lists)
    if (l && l->bShow && CLIsHeaderMovable(l, local)) return true;
  if (m->curTab == 1) {
    Rect r;
    GetDialogItemRect(m->dialog, kT0Divider, &r);
    if (PtInRect(local, &r)) return true;
  }
  return false;
}

// ---- clicks --------------------------------------------------------------------------

namespace {

// The system's kind of a document, or the program's own "unknown" text.
std::string kindText(const FSSpec& file) {
  FSRef ref;
  CFStringRef kind = nullptr;
  std::string out;
  if (FSpMakeFSRef(&file, &ref) == noErr && LSCopyKindStringForRef(&ref, &kind) == noErr && kind) {
    char text[256];
    if (CFStringGetCString(kind, text, sizeof text, kCFStringEncodingUTF8)) out = text;
    CFRelease(kind);
  }
  return out.empty() ? HoldIniText("FILE", "UNKNOWN=") : out;
}

// A local file's row: its icon and name, size, kind and date.
void localFileRow(MAIN_DLG_DATA* m, SInt16 row, const FSSpec& f) {
  cellText(m->tab1PCFile, row, 0, ptext(f.name));
  IconRef icon = nullptr;
  if (GetIconRefFromFile(&f, &icon, nullptr) == noErr) {
    // The window keeps one reference of each icon its rows show.
    if (!AddIconList(&m->icons, icon)) ReleaseIconRef(icon);
    CLSetIconHandle(m->tab1PCFile, row, icon, 16, 16, 0);
  }
  CInfoPBRec pb{};
  Str255 name;
  std::memcpy(name, f.name, f.name[0] + 1);
  pb.hFileInfo.ioNamePtr = name;
  pb.hFileInfo.ioVRefNum = f.vRefNum;
  pb.hFileInfo.ioDirID = f.parID;
  UInt64 size = 0;
  std::string date;
  if (PBGetCatInfoSync(&pb) == noErr) {
    size = UInt64(pb.hFileInfo.ioFlLgLen);
    DateTimeRec d;
    SecondsToDate(pb.hFileInfo.ioFlMdDat, &d);
    date = DateText(
        HoldDate{UInt16(d.year), UInt16(d.month), UInt16(d.day), UInt16(d.hour), UInt16(d.minute), UInt16(d.second)});
  }
  cellText(m->tab1PCFile, row, 1, DataSizeText(size));
  cellText(m->tab1PCFile, row, 2, kindText(f));
  cellText(m->tab1PCFile, row, 3, date);
  CLSetReference(m->tab1PCFile, row, reinterpret_cast<long>(&f));
}

void listClick(MAIN_DLG_DATA* m, CLIST_DATA* list, EventRecord* event, bool scrollOnly) {
  if (!list) return;
  Point local = event->where;
  {
    tb::PortSaver saver(GetDialogPort(m->dialog));
    GlobalToLocal(&local);
  }
  for (SInt16 which = 0; which < 2; ++which) {
    ControlRef bar = which == 0 ? list->vScroll : list->hScroll;
    Rect r;
    if (!bar || !IsControlVisible(bar)) continue;
    GetControlBounds(bar, &r);
    if (!PtInRect(local, &r)) continue;
    tb::PortSaver saver(GetDialogPort(m->dialog));
    hold::CLAdjustScrollBar(list, false);
    hold::CLMouseDownByScrollBar(list, local, event->modifiers, which);
    return;
  }
  Cell cell{0, 0};
  SInt16 sort = -1;
  CLMouseDown(list, event, &cell, &sort, scrollOnly ? kCLScrollOnly : false);
  ChangeBtnState(m, m->tab0Info, false, 0);
}

// The help page of the window's language, else the program's own; the
// user is told when neither can be opened.
void openHelp() {
  const HelpOpened own = HoldOpenHelp(gszStrFileName);
  if (own == HelpOpened::Opened) return;
  const HelpOpened program = own == HelpOpened::Missing ? HoldOpenHelp(gszIniFileName) : own;
  if (program == HelpOpened::Opened) return;
  // A page that is there but could not be opened (no program on this
  // computer opens it) is not said to be missing.
  const char* key = program == HelpOpened::Missing ? "STR314=" : "STR315=";
  OpenMsgDlg(HoldIniText("MESSAGE", "TITLE=").c_str(), HoldIniText("MESSAGE", key).c_str(), 1, nullptr, 0, 0, 0);
}

void deleteAnswer(long, long, long, int result) {
  MAIN_DLG_DATA* m = GetMainDlgData();
  if (!m || result != 2) return;
  if (PrgRequestPtr req = GetDelFileList(m)) StartProgressCommand(&m->eng, CMD_DELETE, std::move(req));
}

// The box is to hold each file's name as a job name in the language's
// encoding: a name it cannot hold is refused before anything is sent.
bool uploadNamesFit(const MAIN_DLG_DATA* m) {
  std::string bytes;
  return std::all_of(m->localFiles.begin(), m->localFiles.end(),
                     [&](const FSSpec& f) { return tb::TextToEncoding(pstr::str(f.name), gTextEncoding, &bytes); });
}

void uploadAnswer(long, long, long, int result) {
  MAIN_DLG_DATA* m = GetMainDlgData();
  if (!m || result != 2) return;
  StartUpload(&m->eng, LocalFilesInListOrder(m), m->folderValue[1]);
}

// A folder chosen from the tab's pop-up: a newer box is asked for its jobs.
void folderChosen(MAIN_DLG_DATA* m) {
  if (m->newerDevice)
    ChangeFolderEx(m);
  else
    ChangeFolder(m, true);
}

void clickFirstTab(EventRecord* event, MAIN_DLG_DATA* m, DialogItemIndex item, Point local) {
  const bool running = m->eng.current != 0;
  switch (item) {
    case kT0Folder: folderChosen(m); break;
    case kT0Renew: PushUpdateBtn(&m->eng); break;
    case kT0List: {
      Cell before{0, 0};
      const bool had = CLGetSelect(m->tab0File, &before, true);
      listClick(m, m->tab0File, event, running);
      if (running) break;
      Cell after{0, 0};
      if (CLGetSelect(m->tab0File, &after, true)) {
        if (!had || after.v != before.v) {
          DisposeThumbnailList(&m->eng.thumbs);
          StartCommand(&m->eng, CMD_INFO, false);
        }
      } else {
        SetDetailFileInfo(nullptr, m->tab0Info, m->bPreview);
        ClearPreview(m);
      }
      break;
    }
    case kT0Preview:
    case kT0First:
    case kT0Prev:
    case kT0Next:
    case kT0Last: {
      // The page buttons lie on the preview: the one under the press, if any.
      JOB_INFO* info = shownJobInfo(m);
      for (int i = 0; i < 4 && info; ++i) {
        const DialogItemIndex button = DialogItemIndex(kT0First + i);
        Rect r;
        GetDialogItemRect(m->dialog, button, &r);
        if (!PtInRect(local, &r)) continue;
        if (!TrackPageBtn(m->dialog, button, local, i, 0)) break;
        const int page = i == 0 ? 1 : i == 1 ? info->hasPages - 1 : i == 2 ? info->hasPages + 1 : info->pages;
        info->hasPages = UInt16(std::clamp(page, 1, std::max<int>(1, info->pages)));
        // The page picture is fetched for the engine's copy of the job.
        if (std::memcmp(m->eng.info.jobId, info->jobId, 4) == 0) m->eng.info.hasPages = info->hasPages;
        SetDetailFileInfoPage(m->tab0Info, m->bPreview, true);
        ChangePreviewMainDlg(m);
        break;
      }
      break;
    }
    case kT0Detail: listClick(m, m->tab0Info, event, true); break;
    case kT0Print: OpenPrnDlg(m); break;
    case kT0Download: {
      PrgRequestPtr req;
      if (OpenDlDlg(m, &req) == 1 && req) StartProgressCommand(&m->eng, CMD_DOWNLOAD, std::move(req));
      break;
    }
    case kT0PreviewCheck: {
      m->bPreview = m->bPreview ? 0 : 1;
      m->config.bPreview = m->bPreview;
      if (ControlRef c = GetItemControl(m->dialog, kT0PreviewCheck)) SetControl32BitValue(c, m->bPreview);
      SetDetailFileInfoPage(m->tab0Info, m->bPreview, true);
      ChangePreviewMainDlg(m);
      break;
    }
    case kT0Divider: {
      SInt16 low, high;
      DividerLimits(m, &low, &high);
      Rect div, list;
      GetDialogItemRect(m->dialog, kT0Divider, &div);
      GetDialogItemRect(m->dialog, kT0List, &list);
      m->dragging = true;
      tb::OwnedRgn rgn;
      RectRgn(rgn, &div);
      // The pointer is held where the divider meets its limits; a release
      // outside the window leaves the divider where it was.
      const SInt16 grip = SInt16(local.h - list.right);
      const Rect limit{div.top, SInt16(low + grip), div.bottom, SInt16(high + grip + 1)};
      Rect window;
      GetPortBounds(GetDialogPort(m->dialog), &window);
      const long moved = DragGrayRgn(rgn, local, &limit, &window, hAxisOnly, nullptr);
      m->dragging = false;
      if (moved != long(0x80008000)) {
        ResizeDivider(m, SInt16(list.right + SInt16(moved & 0xFFFF)));
        RedrawMainDlg(m, 1);
      }
      break;
    }
  }
}

}  // namespace

void SelectTab1Item(EventRecord* event, MAIN_DLG_DATA* m, DialogItemIndex item) {
  const bool running = m->eng.current != 0;
  switch (item) {
    case kT1PCList: listClick(m, m->tab1PCFile, event, running); break;
    case kT1Select: {
      for (const FSSpec& f : OpenAddDlg()) {
        bool known = false;
        for (const FSSpec& k : m->localFiles) known = known || std::memcmp(&k, &f, sizeof f) == 0;
        if (known) continue;
        const SInt16 row = CLGetCount(m->tab1PCFile);
        m->localFiles.push_back(f);
        localFileRow(m, row, m->localFiles.back());
        // A row the list could not take leaves no file behind it.
        if (CLGetCount(m->tab1PCFile) <= row) m->localFiles.pop_back();
      }
      // The rows stand in the order the header shows.
      CLSort(m->tab1PCFile, m->tab1PCFile->curSortPart, 0);
      CLUpdate(m->tab1PCFile, nullptr, 1);
      break;
    }
    case kT1Remove: {
      Cell c{0, 0};
      int first = -1;
      while (CLGetSelect(m->tab1PCFile, &c, true)) {
        if (first < 0) first = c.v;
        RemoveLocalFile(m, c.v);
        c = Cell{0, 0};
      }
      const int count = CLGetCount(m->tab1PCFile);
      if (count > 0 && first >= 0) CLSetSelect(m->tab1PCFile, Cell{SInt16(std::min(first, count - 1)), 0}, true, true);
      break;
    }
    case kT1Upload: {
      if (!uploadNamesFit(m)) {
        OpenMsgDlg(HoldIniText("MESSAGE", "TITLE=").c_str(), HoldIniText("MESSAGE", "STR301=").c_str(), 1, nullptr, 0,
                   0, 0);
        break;
      }
      const std::string title = HoldIniText("LABEL", "STC_UPLOAD_TITLE=");
      std::string text;
      if (m->localFiles.size() == 1) {
        char name[40] = {};
        MakeShortJobName(name, m->localFiles.front().name, true, 32);
        text = HoldFormat(HoldIniText("LABEL", "STC_UPLOAD_CHK1="), {name});
      } else {
        text = HoldFormat(HoldIniText("LABEL", "STC_UPLOAD_CHK2="), {long(m->localFiles.size())});
      }
      OpenMsgDlg(title.c_str(), text.c_str(), 6, uploadAnswer, CMD_UPLOAD, 0, 0);
      break;
    }
    case kT1Folder: folderChosen(m); break;
    case kT1Renew: PushUpdateBtn(&m->eng); break;
    case kT1HMList: listClick(m, m->tab1HMFile, event, running); break;
    case kT1Rename: OpenRenDlg(m); break;
    case kT1Delete: {
      const int n = CLGetSelectCount(m->tab1HMFile);
      JOB_ENTRY job{};
      if (n < 1 || !FirstSelectedJob(m, &job)) break;
      const std::string text = n == 1
                                   ? HoldFormat(HoldIniText("LABEL", "STC_DELETE="), {JobShortName(job, gTextEncoding)})
                                   : HoldFormat(HoldIniText("LABEL", "STC_DELETES="), {long(n)});
      OpenMsgDlg(HoldIniText("TITLE", "DELETE=").c_str(), text.c_str(), 6, deleteAnswer, CMD_DELETE, 0, 0);
      break;
    }
    case kT1Info: OpenInfDlg(m); break;
    case kT1Move: OpenMovDlg(m); break;
  }
  ChangeBtnState(m, m->tab0Info, false, 0);
}

void MouseDownMainDlg(EventRecord* event, DialogRef dialog) {
  MAIN_DLG_DATA* m = mainOf(dialog);
  if (!m || !event) return;
  WindowRef window = GetDialogWindow(dialog);
  if (FrontWindow() != window || GetFrontDialog() != dialog) return;
  WindowRef hit = nullptr;
  const WindowPartCode part = FindWindow(event->where, &hit);
  if (hit != window) return;
  static UInt32 lastTitleClick = 0;
  static Point lastTitlePoint{};
  switch (part) {
    case inDrag: {
      if (event->when - lastTitleClick < GetDblTime() && event->where.h == lastTitlePoint.h &&
          event->where.v == lastTitlePoint.v) {
        CollapseWindow(window, true);
        lastTitleClick = 0;
        return;
      }
      lastTitleClick = UInt32(event->when);
      lastTitlePoint = event->where;
      BitMap screen;
      Get_QDGlobals_Screen_Bits(&screen);
      DragWindow(window, event->where, &screen.bounds);
      return;
    }
    case inGrow: {
      Rect limits{kMainHeight, kMainWidth, 32767, 32767};
      const long size = GrowWindow(window, event->where, &limits);
      if (size) {
        ResizeMainDlg(m, SInt16(size & 0xFFFF), SInt16(size >> 16));
        RedrawMainDlg(m, 0);
      }
      return;
    }
    case inGoAway:
      if (TrackGoAway(window, event->where)) CloseMainDlg(dialog, true);
      return;
    case inCollapseBox:
      if (TrackBox(window, event->where, part)) CollapseWindow(window, !IsWindowCollapsed(window));
      return;
    case inContent: break;
    default: return;
  }
  Point local = event->where;
  {
    tb::PortSaver saver(GetDialogPort(dialog));
    GlobalToLocal(&local);
  }
  // The tab strip first: it lies over the tab area's item.
  if (m->tab) {
    Rect area;
    GetDialogItemRect(dialog, kItemTabArea, &area);
    if (PtInRect(local, &area)) {
      SInt16 pushed = -1;
      if (CTMouseDown(m->tab, event, &pushed) && pushed >= 0 && pushed + 1 != m->curTab)
        ChangeTabPage(dialog, m->curTab, pushed + 1);
      return;
    }
  }
  // Lists and user items are found by their rectangles, controls by the Dialog Manager.
  DialogItemIndex item = 0;
  for (DialogItemIndex i = CountDITL(dialog); i >= 1 && !item; --i) {
    Rect r;
    GetDialogItemRect(dialog, i, &r);
    if (PtInRect(local, &r)) item = i;
  }
  if (!item) return;
  if (ControlRef c = GetItemControl(dialog, item)) {
    if (!IsControlActive(c) || !IsControlVisible(c)) return;
    // A person who opened the device pop-up has opened it: it is not opened
    // for them again (the idle step runs while the menu stands, and would
    // open a second one over it).
    if (item == kItemDevice) m->popupOpened = true;
    tb::PortSaver saver(GetDialogPort(dialog));
    if (!TrackControl(c, local, reinterpret_cast<ControlActionUPP>(-1))) return;
  }
  switch (item) {
    case kItemDevice: {
      ControlRef pop = GetItemControl(dialog, kItemDevice);
      if (pop && GetControl32BitValue(pop) >= 1) ChooseDevice(m, GetControl32BitValue(pop));
      return;
    }
    case kItemBrowse:
      CancelCommand(&m->eng);
      RequestNewSearch(m);
      return;
    case kItemOptions: OpenCfgDlg(m); return;
    case kItemHelp: openHelp(); return;
    case kItemExit: CloseMainDlg(dialog, true); return;
  }
  if (item <= kMainItemCount) return;
  if (m->curTab == 1)
    clickFirstTab(event, m, item, local);
  else if (m->curTab == 2)
    SelectTab1Item(event, m, item);
  else if (item == kT2Renew)
    PushUpdateBtn(&m->eng);
  else if (item == kT2List)
    listClick(m, m->tab2Job, event, m->eng.current != 0);
}

Boolean KeyDownMainDlg(EventRecord*, DialogRef) { return false; }

// ---- drawing, making and closing ------------------------------------------------------------

void RedrawMainDlg(MAIN_DLG_DATA* m, int part) {
  WindowRef w = GetDialogWindow(m->dialog);
  Rect r;
  GetPortBounds(GetDialogPort(m->dialog), &r);
  if (part == 1) {
    Rect area;
    GetDialogItemRect(m->dialog, kItemTabArea, &area);
    r.top = area.top;
  }
  tb::PortSaver saver(GetDialogPort(m->dialog));
  EraseRect(&r);
  InvalWindowRect(w, &r);
}

void UpdateMainDlg(DialogRef dialog) {
  MAIN_DLG_DATA* m = mainOf(dialog);
  if (!m) return;
  tb::PortSaver saver(GetDialogPort(dialog));
  DrawDialog(dialog);
  DrawLogo(dialog);
  if (m->tab) CTUpdate(m->tab);
  int count = 0;
  CLIST_DATA* const* lists = listsOf(m, &count);
  for (int i = 0; i < count; ++i)
    if (lists[i] && lists[i]->bShow) CLUpdate(lists[i], nullptr, 1);
  STCDrawList(m->stcMain);
  STCDrawList(m->stcPage);
  if (m->curTab == 1) {
    Rect r;
    GetDialogItemRect(dialog, kT0FolderIcon, &r);
    if (gFolderIcon) PlotIconRef(&r, kAlignNone, kTransformNone, kIconServicesNormalUsageFlag, gFolderIcon);
    DrawThumbnailMainDlg(m);
  } else if (m->curTab == 2) {
    Rect r;
    GetDialogItemRect(dialog, kT1FolderIcon, &r);
    if (gFolderIcon) PlotIconRef(&r, kAlignNone, kTransformNone, kIconServicesNormalUsageFlag, gFolderIcon);
  }
  m->statusRedraw = true;
}

MAIN_DLG_DATA* CreateMainDlg() {
  auto* m = new (std::nothrow) MAIN_DLG_DATA{};
  if (!m) return nullptr;
  m->dialog = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  if (!m->dialog) {
    delete m;
    return nullptr;
  }
  WindowRef w = GetDialogWindow(m->dialog);
  m->handlers.update = UpdateMainDlg;
  m->handlers.mouseDown = MouseDownMainDlg;
  m->handlers.keyDown = KeyDownMainDlg;
  m->evtHandler = BindDialogWindow(m->dialog, &m->handlers);
  if (!m->evtHandler) {
    DisposeDialog(m->dialog);
    delete m;
    return nullptr;
  }
  SetWTitle(w, PText("VemoHoldManager"));
  m->view = new MainView(m);
  HoldEngineInit(&m->eng, m->view, gszStrFileName);
  m->eng.langCode = gLangCode;
  m->eng.osCode = gOSCode;
  m->eng.encoding = gTextEncoding;
  InitConfig();
  GetConfig(&m->config);
  // Every dialog, the questions the window asks included, takes its texts
  // and font from the window's settings.
  hold::BindHost(m);
  m->eng.timeoutSeconds = m->config.ulTimeOut;
  m->bPreview = m->config.bPreview;
  // The stored divider stands where it was for the stored window size.
  m->divider = SInt16(m->config.usDivider);
  m->dividerGrow = SInt16(std::max(0, int(m->config.usWinWidth) - kMainWidth));
  MoveWindow(w, m->config.sWinLeft, m->config.sWinTop, false);
  // Column widths from the preferences, in table order.
  const UInt16* cw = m->config.usColumnWidth;
  m->tab0File = NewCList(m->dialog, gTab0File, 3, cw, 18, true, false);
  m->tab0Info = NewCList(m->dialog, gTab0Info, 2, cw + 3, 16, false, false);
  m->tab1PCFile = NewCList(m->dialog, gTab1PCFile, 4, cw + 5, 18, true, true);
  m->tab1HMFile = NewCList(m->dialog, gTab1HMFile, 3, cw + 9, 18, true, true);
  m->tab2Job = NewCList(m->dialog, gTab2Job, 3, cw + 12, 18, true, false);
  int count = 0;
  CLIST_DATA* const* lists = listsOf(m, &count);
  for (int i = 0; i < count; ++i)
    if (lists[i]) {
      CLSetSortColumn(lists[i], SInt16(m->config.usSortColumn[i]));
      CLSetSortState(lists[i], SInt16(m->config.usSortOrder[i]));
    }
  SetDlgItemStrings(m->dialog, gMainDlgItem, &m->stcMain);
  Rect area;
  GetDialogItemRect(m->dialog, kItemTabArea, &area);
  // The control spans the strip and the page; the page's frame starts
  // where the selected tab ends, so that the tab stands on it.
  const Rect tabs{area.top, area.left, kPageFrameBottom, area.right};
  const Rect frame{SInt16(area.top + CTFrontTabHeight(143)), area.left, kPageFrameBottom, area.right};
  m->tab = CTNew(w, &tabs, &frame, 16, false, 0xFFFFFF, true);
  if (m->tab) {
    const SInt16 font = SInt16(gDefaultFont.fontID), size = SInt16(gDefaultFont.fSize ? gDefaultFont.fSize : 11);
    const UInt8 face = 0;
    CTSetFont(m->tab, &font, &face, &size);
    CTSetPictID(m->tab, 143, 142, 144, 145, 146, 147, 148, 149);
    for (const char* key : {"CALL=", "EDIT=", "JOB="}) {
      Str255 title;
      HoldIniPText("TAB", key, title);
      CTAdd(m->tab, title, -1);
    }
  }
  InitThumbnail(m->dialog, 0);
  m->curTab = 0;
  ChangeTabPage(m->dialog, 0, 1);
  ResizeMainDlg(m, SInt16(m->config.usWinWidth), SInt16(m->config.usWinHeight));
  if (gAnimeInfo.world && gAnimeInfo.transparent) {
    RGBColor back = DialogBackColor(m->dialog);
    ExchangePixelColor(gAnimeInfo.world, 32, &back, Point{SInt16(gAnimeInfo.height - 1), 0});
  }
  m->search = new (std::nothrow) JCPEPInfo{};
  m->eng.busy = 0;
  ShowWindow(w);
  SelectWindow(w);
  return m;
}

void CloseMainDlg(DialogRef dialog, bool last) {
  MAIN_DLG_DATA* m = mainOf(dialog);
  if (!m) return;
  CancelCommand(&m->eng);
  WindowRef w = GetDialogWindow(dialog);
  Rect bounds;
  GetWindowBounds(w, kWindowContentRgn, &bounds);
  m->config.sWinLeft = bounds.left;
  m->config.sWinTop = bounds.top;
  m->config.usWinWidth = UInt16(bounds.right - bounds.left);
  m->config.usWinHeight = UInt16(bounds.bottom - bounds.top);
  int count = 0;
  CLIST_DATA* const* lists = listsOf(m, &count);
  static const int columns[5] = {3, 2, 4, 3, 3};
  int at = 0;
  for (int i = 0; i < count; ++i) {
    for (int c = 0; c < columns[i]; ++c, ++at) {
      const SInt16 width = lists[i] ? CLGetColumnWidth(lists[i], SInt16(c)) : -1;
      if (width > 0) m->config.usColumnWidth[at] = UInt16(width);
    }
    if (lists[i]) {
      m->config.usSortColumn[i] = UInt16(lists[i]->curSortPart);
      m->config.usSortOrder[i] = UInt16(lists[i]->sortStatus);
    }
  }
  m->config.bPreview = m->bPreview;
  SetConfig(m->config);
  if (m->search) {
    // The search's endpoints close now: their news must not reach the
    // context once it is freed.
    EPInfo *udp = nullptr, *ddp = nullptr, *nbp = nullptr, *active = nullptr;
    GetEPInfo(m->search, &udp, &ddp, &nbp, &active);
    for (EPInfo* ep : {udp, ddp, nbp})
      if (ep && ep->epRef) {
        OTSetSynchronous(ep->epRef);
        OT_CloseEndpoint(ep);
        ep->epRef = nullptr;
      }
    delete m->search;
    m->search = nullptr;
  }
  HoldEngineDispose(&m->eng);
  STCDisposeList(&m->stcMain);
  STCDisposeList(&m->stcPage);
  if (m->evtHandler) RemoveEventHandler(m->evtHandler);
  for (auto& refs : gRowRefs) refs.clear();
  if (m->tab) CTDispose(m->tab);
  for (int i = 0; i < count; ++i)
    if (lists[i]) CLDispose(lists[i]);
  DisposeIconList(&m->icons);
  MainDlgClosed(m);
  hold::BindHost(nullptr);
  DisposeDialog(dialog);
  delete m->view;
  delete m;
  if (last) QuitApplicationEventLoop();
}

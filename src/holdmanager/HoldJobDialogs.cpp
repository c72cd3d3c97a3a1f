// The dialogs that act on held jobs: rename, print with its options, move
// to another hold folder, information with page thumbnails, and the
// download and upload choosers. Each builds its request and hands it to
// the command engine after it has closed itself.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

#include <unistd.h>
#include "common/GWorldImage.h"
#include "FanctionLib/CList.h"
#include "holdmanager/HoldDialogs.h"
#include "holdmanager/Thumbnail.h"
#include "toolbox/appearance.h"
#include "toolbox/cfstring.h"
#include "toolbox/clock.h"
#include "toolbox/icons.h"
#include "toolbox/memory.h"
#include "toolbox/menus.h"
#include "toolbox/navigation.h"
#include "toolbox/script.h"
#include "toolbox/textencoding.h"
#include "toolbox/windows.h"

namespace {

constexpr std::size_t kMaxRenameBytes = 128;
constexpr SInt16 kColumnCursor = 161;

PRG_JOB prgJob(const JOB_ENTRY& j) {
  PRG_JOB p{};
  std::memcpy(p.jobId, j.jobId, 4);
  std::memcpy(p.folderId, j.folderId, 4);
  std::memcpy(p.name, j.name, sizeof p.name);
  p.lang = j.lang;
  return p;
}

CLIST_DATA* newList(DialogRef d, short item, short rowHeight) {
  Rect r = ItemRectOf(d, item);
  return CLNew(GetDialogWindow(d), &r, Point{rowHeight, short(r.right - r.left)}, false, true, false);
}

// Runs the request through the engine; false when nothing started.
bool startRequest(HoldCommand command, PrgRequestPtr req) {
  HOLD_ENGINE* e = gHoldHost.engine;
  return e && StartProgressCommand(e, command, std::move(req));
}

// ---- rename ----------------------------------------------------------------

struct REN_REC {
  JOB_ENTRY job{};
};

void SelectRenDlg(SUB_DLG* d, short item, const EventRecord*) {
  if (item == 6) {
    CloseSubDlg(d, kRenDlgID);
    return;
  }
  if (item != 5) return;
  std::string name = SubFieldText(SubDlgField(d, 2)), owner = SubFieldText(SubDlgField(d, 4));
  int check = CheckProhibitionStr(name.data(), int(name.size()));
  if (check == 1) return SubDlgMessage(d, 2, "STR300=");
  if (check == 2) return SubDlgMessage(d, 2, "STR301=");
  if (owner.empty()) return SubDlgMessage(d, 4, "STR303=");
  auto* rec = static_cast<REN_REC*>(d->data);
  // The texts go out in the job's own language, or else the program's (a
  // character neither holds refused); a text left as it was, as the box's
  // own bytes.
  RenameTexts texts;
  switch (RenameJobTexts(name, owner, rec->job, HoldLangCode(), gHoldHost.encoding, kMaxRenameBytes, &texts)) {
    case RenameRefusal::Name: return SubDlgMessage(d, 2, "STR301=");
    case RenameRefusal::Owner: return SubDlgMessage(d, 4, "STR301=");
    case RenameRefusal::None: break;
  }
  PrgRequestPtr req = NewPrgRequest();
  if (req) {
    req->jobs.push_back(prgJob(rec->job));
    pstr::set(req->cmd.param.name, sizeof req->cmd.param.name, texts.name);
    pstr::set(req->cmd.param.owner, sizeof req->cmd.param.owner, texts.owner);
    req->langCode = texts.langCode;
  }
  CloseSubDlg(d, kRenDlgID);
  startRequest(CMD_RENAME, std::move(req));
}

void MouseDownRenDlg(SUB_DLG* d, const EventRecord* ev) {
  int item = MouseDownSubDlg(ev, d, kRenDlgID);
  if (item > 0) SelectRenDlg(d, short(item), ev);
}

// The fields' keys: Return, Enter and Escape are the shared buttons' keys.
bool MLTEKeyDownRenDlg(SUB_DLG*, const EventRecord*) { return false; }

void UpdateRenDlg(SUB_DLG*) {}

void IdleRenDlg(SUB_DLG* d) {
  static const short items[] = {2, 4};
  ChangeBeamCursorSubDlg(d, 0, 1, items);
}

// The dialogs' item texts.
const SUBDLG_ITEM_TEXT gRenDlgItem[] = {
    {1, "LABEL", "STC_NAME="}, {3, "LABEL", "STC_OWNER="}, {5, "BUTTON", "OK="}, {6, "BUTTON", "CANCEL="}};
const SUBDLG_ITEM_TEXT gPrnDlgItem[] = {
    {2, "LABEL", "STC_SHEETS="}, {6, "LABEL", "STC_SUNIT="}, {7, "LABEL", "STC_ROTATION="},
    {8, "BUTTON", "RAD_ON="},    {9, "BUTTON", "RAD_OFF="},  {10, "LABEL", "STC_SECRECY="},
    {11, "BUTTON", "RAD_ON="},   {12, "BUTTON", "RAD_OFF="}, {14, "LABEL", "STC_CONT="},
    {16, "LABEL", "STC_TRAY="},  {18, "LABEL", "STC_SORT="}, {20, "LABEL", "STC_STAPLE="},
    {22, "LABEL", "STC_TAPE="},  {24, "BUTTON", "OK="},      {25, "BUTTON", "CANCEL="}};
const SUBDLG_ITEM_TEXT gInfDlgItem[] = {{7, "BUTTON", "BTN_CLOSE="}};
const SUBDLG_ITEM_TEXT gMovDlgItem[] = {{2, "LABEL", "STC_FOLDER="}, {4, "BUTTON", "OK="}, {5, "BUTTON", "CANCEL="}};
// The information dialog's detail list: column titles and widths.
const struct {
  const char* key;
  short width;
} gInfList[] = {{"LIST03=", 100}, {"LIST04=", 140}};

void titled(SUB_DLG* d, const char* key) {
  std::string t = HoldString("TITLE", key);
  if (t.empty()) return;
  Str255 s;
  pstr::set(s, sizeof s, t);
  SetWTitle(GetDialogWindow(d->dialog), s);
}

void show(SUB_DLG* d) {
  SetDialogDefaultItem(d->dialog, d->defaultItem);
  ShowSubDlg(d);
}

// ---- print -----------------------------------------------------------------

struct PopupKeys {
  short item;
  const char* section;
  const char* prefix;
  int option;
};
constexpr PopupKeys kPopups[] = {{15, "CONTINAUTION", "CONT", 4},
                                 {17, "TRAY", "TRAY", 5},
                                 {19, "SORTER", "SORT", 1},
                                 {21, "STAPLE", "STAPLE", 2},
                                 {23, "TAPE", "TAPE", 3}};

struct PRN_REC {
  JOB_ENTRY job{};
};

// The pop-up's five entries from the ini (the first also its title), its
// range 1..5 and value.
void SetPopupMenuPrnDlg(DialogRef dlg, short item, SInt16 value) {
  const PopupKeys* keys = nullptr;
  for (const PopupKeys& p : kPopups)
    if (p.item == item) keys = &p;
  ControlRef ctl = GetItemControl(dlg, item);
  if (!keys || !ctl) return;
  if (MenuRef menu = GetControlPopupMenuHandle(ctl)) {
    DeleteMenuItems(menu, 1, CountMenuItems(menu));
    for (int i = 0; i < 5; ++i) {
      char key[24];
      std::snprintf(key, sizeof key, "%s%02d=", keys->prefix, i);
      std::string text = HoldString(keys->section, key);
      if (text.empty()) text = std::to_string(i + 1);
      Str255 s;
      pstr::set(s, sizeof s, text);
      AppendMenuItemText(menu, s);
      if (i == 0) SetMenuTitle(menu, s);
    }
  }
  SetControlMinimum(ctl, 1);
  SetControlMaximum(ctl, 5);
  SetControlValue(ctl, std::clamp<SInt16>(value, 1, 5));
}

void setRadio(DialogRef d, short on, short off) {
  SetControlValue(GetItemControl(d, on), 1);
  SetControlValue(GetItemControl(d, off), 0);
}

void SelectPrnDlg(SUB_DLG* d, short item, const EventRecord*) {
  DialogRef dlg = d->dialog;
  switch (item) {
    case 8:
    case 11: setRadio(dlg, item, short(item + 1)); return;
    case 9:
    case 12: setRadio(dlg, item, short(item - 1)); return;
    case 3: return;
    case 4:
    case 5: SubDlgSpin(d, item); return;
    case 25: CloseSubDlg(d, kPrnDlgID); return;
    case 24: break;
    default: return;
  }
  std::string copies = SubFieldText(SubDlgField(d, 3));
  if (!CheckDigit(copies.data(), int(copies.size()), 1, 9999)) return SubDlgMessage(d, 3, "STR302=");
  UInt32 options = 0;
  SetPrnOpt(&options, UInt32(GetControlValue(GetItemControl(dlg, 8))), 0);
  SetPrnOpt(&options, UInt32(GetControlValue(GetItemControl(dlg, 12))), 6);
  for (const PopupKeys& p : kPopups)
    SetPrnOpt(&options, UInt32(std::max<SInt16>(1, GetControlValue(GetItemControl(dlg, p.item))) - 1), p.option);
  auto* rec = static_cast<PRN_REC*>(d->data);
  PrgRequestPtr req = NewPrgRequest();
  if (req) {
    req->jobs.push_back(prgJob(rec->job));
    req->cmd.param.printOptions = options;
    req->cmd.param.copies = UInt16(std::strtoul(copies.c_str(), nullptr, 10));
  }
  CloseSubDlg(d, kPrnDlgID);
  if (req && gHoldHost.config) {
    // Remembered for the next print dialog.
    gHoldHost.config->usCopies = req->cmd.param.copies;
    gHoldHost.config->ulPrnOpt = options;
    SetConfig(*gHoldHost.config);
  }
  startRequest(CMD_PRINT, std::move(req));
}

void MouseDownPrnDlg(SUB_DLG* d, const EventRecord* ev) {
  int item = MouseDownSubDlg(ev, d, kPrnDlgID);
  if (item > 0) SelectPrnDlg(d, short(item), ev);
}

// The copies field's keys: Return, Enter and Escape are the shared buttons' keys.
bool MLTEKeyDownPrnDlg(SUB_DLG*, const EventRecord*) { return false; }

void IdlePrnDlg(SUB_DLG* d) {
  static const short items[] = {3};
  ChangeBeamCursorSubDlg(d, 0, 0, items);
}

void UpdatePrnDlg(SUB_DLG* d) { SubDlgDrawSpins(d); }

// ---- move --------------------------------------------------------------------

struct MOV_REC {
  CLIST_DATA* list = nullptr;
  std::vector<JOB_ENTRY> jobs;
  std::vector<FOLDER_ENTRY> folders;  // in list order (each row's reference is its index)
};

const FOLDER_ENTRY* selectedFolder(MOV_REC* m) {
  Cell c{0, 0};
  if (!m->list || !CLGetSelect(m->list, &c, true)) return nullptr;
  long ref = CLGetReference(m->list, c);
  return ref >= 0 && std::size_t(ref) < m->folders.size() ? &m->folders[std::size_t(ref)] : nullptr;
}

void ChangeMoveDlgBtnState(SUB_DLG* d) {
  auto* m = static_cast<MOV_REC*>(d->data);
  const FOLDER_ENTRY* f = selectedFolder(m);
  bool on = f && !m->jobs.empty() && std::memcmp(f->folderId, m->jobs.front().folderId, 4) != 0;
  ControlRef ok = GetItemControl(d->dialog, 4);
  if (on)
    ActivateControl(ok);
  else
    DeactivateControl(ok);
}

void SelectMovDlg(SUB_DLG* d, short item, const EventRecord* ev) {
  auto* m = static_cast<MOV_REC*>(d->data);
  if (item == 3) {
    Cell cell{0, 0};
    SInt16 sortPart = 0;
    CLMouseDown(m->list, ev, &cell, &sortPart, false);
    ChangeMoveDlgBtnState(d);
    return;
  }
  if (item == 5) return CloseSubDlg(d, kMovDlgID);
  if (item != 4) return;
  const FOLDER_ENTRY* f = selectedFolder(m);
  if (!f) return;
  PrgRequestPtr req = NewPrgRequest();
  if (req) {
    for (const JOB_ENTRY& j : m->jobs) req->jobs.push_back(prgJob(j));
    std::memcpy(req->cmd.param.targetFolderId, f->folderId, 4);
    std::memcpy(req->folderName, f->name, f->name[0] + 1u);
    req->folderLang = f->lang;
  }
  CloseSubDlg(d, kMovDlgID);
  startRequest(CMD_MOVE, std::move(req));
}

bool KeyDownMovDlg(SUB_DLG* d, const EventRecord* ev) {
  const char ch = char(ev->message & charCodeMask);
  if (ch == kReturnCharCode || ch == kEnterCharCode || ch == kEscapeCharCode) return false;
  auto* m = static_cast<MOV_REC*>(d->data);
  CLKeyDown(m->list, ev, ch);
  ChangeMoveDlgBtnState(d);
  return true;
}

void MouseDownMovDlg(SUB_DLG* d, const EventRecord* ev) {
  int item = MouseDownSubDlg(ev, d, kMovDlgID);
  if (item > 0) SelectMovDlg(d, short(item), ev);
}

void UpdateMovDlg(SUB_DLG* d) {
  auto* m = static_cast<MOV_REC*>(d->data);
  CLUpdate(m->list, nullptr, 1);
}

void disposeMov(SUB_DLG* d) {
  auto* m = static_cast<MOV_REC*>(d->data);
  if (m->list) CLDispose(m->list);
  delete m;
}

// ---- information ---------------------------------------------------------------

constexpr short kInfBtnItems[4] = {2, 3, 4, 5};

struct INF_REC {
  CLIST_DATA* list = nullptr;
  JOB_INFO info{};
  bool haveInfo = false;
  HoldCommand command = CMD_NONE;  // information or thumbnail while one runs
  VFMP_CMD_INFO* rec = nullptr;
  PtrListHead thumbs = nullptr;
  std::string thumbPath;
  UInt16 page = 1;
};

INF_REC* gInfo = nullptr;

VFMP_CMD_INFO* openedRecord(UInt32 addr) {
  VFMP_CMD_INFO* rec = HoldNewRecord(gHoldHost.engine, addr);
  return rec && HoldOpenRecord(rec) ? rec : nullptr;
}

bool hasThumbs(const INF_REC* inf) { return inf->haveInfo && inf->info.hasThumbnails == 1 && inf->info.pages != 0; }

THUMB_ENTRY* cachedPage(INF_REC* inf, UInt16 page) {
  for (int i = 0; auto* t = static_cast<THUMB_ENTRY*>(GetPtrList(inf->thumbs, i)); ++i)
    if (t->page == page) return t;
  return nullptr;
}

void updatePageButtons(SUB_DLG* d, INF_REC* inf, bool redraw) {
  const bool on = hasThumbs(inf) && inf->command == 0;
  const bool back = on && inf->page > 1, forward = on && inf->page < inf->info.pages;
  SetPageBtnState(kPageFirst, back ? kPageBtnNormal : kPageBtnDisabled, redraw, kThumbSetSub);
  SetPageBtnState(kPagePrevious, back ? kPageBtnNormal : kPageBtnDisabled, redraw, kThumbSetSub);
  SetPageBtnState(kPageNext, forward ? kPageBtnNormal : kPageBtnDisabled, redraw, kThumbSetSub);
  SetPageBtnState(kPageLast, forward ? kPageBtnNormal : kPageBtnDisabled, redraw, kThumbSetSub);
  (void)d;
}

void DrawThumbnailInfDlg(SUB_DLG* d) {
  INF_REC* inf = static_cast<INF_REC*>(d->data);
  THUMB_ENTRY* t = hasThumbs(inf) ? cachedPage(inf, inf->page) : nullptr;
  DrawThumbnail(d->dialog, t ? t->picture : nullptr, 1, kInfBtnItems, inf->haveInfo && inf->command == 0, kThumbSetSub);
}

void fillDetails(INF_REC* inf) {
  if (!inf->list) return;
  CLDelRow(inf->list, 0, 0);
  JOB_INFO shown = inf->info;
  shown.hasPages = inf->page;
  auto rows = DetailRows(shown);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    Str255 a, b;
    pstr::set(a, sizeof a, rows[i].first);
    pstr::set(b, sizeof b, rows[i].second);
    CLSetCellOne(inf->list, Cell{short(i), 0}, a);
    CLSetCellOne(inf->list, Cell{short(i), 1}, b);
  }
  CLUpdate(inf->list, nullptr, 1);
}

void EndGetThumbnail(SUB_DLG* d, HoldCommand command, UInt16 result) {
  INF_REC* inf = static_cast<INF_REC*>(d->data);
  inf->command = CMD_NONE;
  if (gHoldHost.thumbnailBusy) gHoldHost.thumbnailBusy(false);
  if (gHoldHost.engine) EndCommand(gHoldHost.engine, command, nullptr, result, 0);
  updatePageButtons(d, inf, true);
}

void StartGetTnumbnail(SUB_DLG* d) {
  INF_REC* inf = static_cast<INF_REC*>(d->data);
  inf->command = CMD_THUMBNAIL;
  if (gHoldHost.thumbnailBusy) gHoldHost.thumbnailBusy(true);
  StartCommand(gHoldHost.engine, CMD_THUMBNAIL, true);
  updatePageButtons(d, inf, true);
  DrawThumbnailInfDlg(d);
}

void idleInfo(SUB_DLG* d, INF_REC* inf) {
  HOLD_ENGINE* e = gHoldHost.engine;
  if (!inf->rec) {
    std::vector<JOB_ENTRY> jobs = gHoldHost.heldSelection ? gHoldHost.heldSelection() : std::vector<JOB_ENTRY>{};
    if (jobs.size() > 1 && gHoldHost.reduceHeldSelection) gHoldHost.reduceHeldSelection();
    inf->rec = jobs.empty() ? nullptr : openedRecord(e->boxAddr);
    if (!inf->rec) return EndGetThumbnail(d, CMD_INFO, VFMP_ERR_NO_MEMORY);
    std::memcpy(inf->rec->param.jobId, jobs.front().jobId, 4);
    std::memcpy(inf->rec->param.folderId, jobs.front().folderId, 4);
    e->haveInfo = false;
    e->infoLang = jobs.front().lang;
    return;
  }
  VFMPGetFileInfo(e, inf->rec);
  if (inf->rec->state != VFMP_ST_CLOSED) return;
  const UInt16 err = inf->rec->error;
  HoldFreeRecord(inf->rec);
  if (err == 0 && e->haveInfo) {
    inf->info = e->info;
    inf->haveInfo = true;
    inf->page = 1;
    UpdateJobInfo(e, inf->info);
    fillDetails(inf);
    if (gHoldHost.showDetails) gHoldHost.showDetails(inf->info);
    if (hasThumbs(inf)) return StartGetTnumbnail(d);
  }
  EndGetThumbnail(d, CMD_INFO, err);
  DrawThumbnailInfDlg(d);
}

void idleThumb(SUB_DLG* d, INF_REC* inf) {
  HOLD_ENGINE* e = gHoldHost.engine;
  if (!inf->rec) {
    static int serial = 0;
    // The fetch writes the file whole when the picture has come.
    std::string dir = HoldCacheFolder();
    if (!dir.empty()) inf->thumbPath = dir + "/_thmb" + std::to_string(::getpid()) + "_i" + std::to_string(++serial);
    inf->rec = dir.empty() ? nullptr : openedRecord(inf->info.ipAddr ? inf->info.ipAddr : e->boxAddr);
    if (!inf->rec) {
      EndGetThumbnail(d, CMD_THUMBNAIL, 254);
      DrawThumbnailInfDlg(d);
      return;
    }
    std::memcpy(inf->rec->param.jobId, inf->info.jobId, 4);
    std::memcpy(inf->rec->param.folderId, inf->info.folderId, 4);
    inf->rec->param.page = inf->page;
    e->thumbPath = inf->thumbPath;
    e->thumbBytes.clear();
    e->thumbCreated = false;  // the file is this dialog's
    return;
  }
  e->thumbPath = inf->thumbPath;
  VFMPGetThumbnail(e, inf->rec);
  if (inf->rec->state != VFMP_ST_CLOSED) return;
  UInt16 err = inf->rec->error;
  const UInt16 page = inf->rec->param.page;
  HoldFreeRecord(inf->rec);
  e->thumbBytes = {};
  if (err == 0) err = HoldAddThumbnail(&inf->thumbs, inf->thumbPath, page);
  if (err) std::remove(inf->thumbPath.c_str());
  EndGetThumbnail(d, CMD_THUMBNAIL, err);
  DrawThumbnailInfDlg(d);
}

void IdleInfDlg(SUB_DLG* d) {
  INF_REC* inf = static_cast<INF_REC*>(d->data);
  if (inf->command == CMD_INFO)
    idleInfo(d, inf);
  else if (inf->command == CMD_THUMBNAIL)
    idleThumb(d, inf);
  if (inf->list) {
    Point pt;
    {
      tb::PortSaver saver(GetDialogPort(d->dialog));
      GetMouse(&pt);
    }
    if (CLIsHeaderMovable(inf->list, pt)) {
      if (CursHandle c = GetCursor(kColumnCursor)) SetCursor(*c);
    }
  }
}

void closeInfo(SUB_DLG* d) {
  INF_REC* inf = static_cast<INF_REC*>(d->data);
  if (inf->command) {
    const HoldCommand command = inf->command;
    HoldFreeRecord(inf->rec);
    if (command == CMD_THUMBNAIL) {
      std::remove(inf->thumbPath.c_str());
      if (gHoldHost.engine) gHoldHost.engine->thumbBytes = {};
    }
    EndGetThumbnail(d, command, VFMP_ERR_NO_MEMORY);
  }
  CloseSubDlg(d, kInfDlgID);
}

void SelectInfDlg(SUB_DLG* d, short item, const EventRecord* ev) {
  INF_REC* inf = static_cast<INF_REC*>(d->data);
  if (item == 7) return closeInfo(d);
  if (item == 6) {
    Cell cell{0, 0};
    SInt16 part = 0;
    CLMouseDown(inf->list, ev, &cell, &part, false);
    return;
  }
  if (item != 1) return;
  Point local = ev->where;
  {
    tb::PortSaver saver(GetDialogPort(d->dialog));
    GlobalToLocal(&local);
  }
  for (int b = 0; b < 4; ++b) {
    Rect r = ItemRectOf(d->dialog, kInfBtnItems[b]);
    if (!PtInRect(local, &r)) continue;
    if (!TrackPageBtn(d->dialog, kInfBtnItems[b], local, b, kThumbSetSub)) break;
    const UInt16 pages = inf->info.pages;
    UInt16 page = inf->page;
    switch (b) {
      case kPageFirst: page = 1; break;
      case kPagePrevious: page = UInt16(std::max(1, page - 1)); break;
      case kPageNext: page = UInt16(std::min<int>(pages, page + 1)); break;
      default: page = pages; break;
    }
    inf->page = std::max<UInt16>(1, page);
    fillDetails(inf);
    if (hasThumbs(inf) && !cachedPage(inf, inf->page)) {
      StartGetTnumbnail(d);
    } else {
      updatePageButtons(d, inf, false);
      DrawThumbnailInfDlg(d);
    }
    break;
  }
}

void MouseDownInfDlg(SUB_DLG* d, const EventRecord* ev) {
  int item = MouseDownSubDlg(ev, d, kInfDlgID);
  if (item > 0) SelectInfDlg(d, short(item), ev);
}

void UpdateInfDlg(SUB_DLG* d) {
  INF_REC* inf = static_cast<INF_REC*>(d->data);
  if (inf->list) CLUpdate(inf->list, nullptr, 1);
  DrawThumbnailInfDlg(d);
}

bool KeyDownInfDlg(SUB_DLG* d, const EventRecord* ev) {
  const char ch = char(ev->message & charCodeMask);
  if (ch == kReturnCharCode || ch == kEnterCharCode || ch == kEscapeCharCode) {
    closeInfo(d);
    return true;
  }
  return false;
}

void disposeInf(SUB_DLG* d) {
  INF_REC* inf = static_cast<INF_REC*>(d->data);
  HoldFreeRecord(inf->rec);
  for (int i = 0; auto* t = static_cast<THUMB_ENTRY*>(GetPtrList(inf->thumbs, i)); ++i) {
    DisposeThumbnail(t);
    std::remove(t->path);
  }
  ClearPtrList(&inf->thumbs);
  if (inf->list) CLDispose(inf->list);
  if (gInfo == inf) gInfo = nullptr;
  delete inf;
}

}  // namespace

// ---- opening -------------------------------------------------------------------

int hold::OpenRename() {
  std::vector<JOB_ENTRY> jobs = gHoldHost.heldSelection ? gHoldHost.heldSelection() : std::vector<JOB_ENTRY>{};
  if (jobs.empty()) return 0;
  if (jobs.size() > 1 && gHoldHost.reduceHeldSelection) gHoldHost.reduceHeldSelection();
  SUB_DLG* d = NewSubDlg(kRenDlgID);
  if (!d) return 0;
  auto* rec = new REN_REC{jobs.front()};
  d->data = rec;
  d->select = SelectRenDlg;
  d->mouseDown = MouseDownRenDlg;
  d->key = MLTEKeyDownRenDlg;
  d->update = UpdateRenDlg;
  SetSubDlgIdle(d, IdleRenDlg);
  d->dispose = [](SUB_DLG* s) { delete static_cast<REN_REC*>(s->data); };
  d->defaultItem = 5;
  d->cancelItem = 6;
  titled(d, "RENAME=");
  SetSubDlgItemTexts(d, gRenDlgItem);
  AddSubField(d, 2);
  AddSubField(d, 4);
  const TextEncoding own = LangCodeEncoding(rec->job.lang, gHoldHost.encoding);
  SubFieldSetText(SubDlgField(d, 2), NameText(rec->job.name, own));
  SubFieldSetText(SubDlgField(d, 4), NameText(rec->job.owner, own));
  SubFieldFocus(d, 2, true);
  show(d);
  return 1;
}

int hold::OpenPrint() {
  JOB_ENTRY job{};
  if (!gHoldHost.firstFileJob || !gHoldHost.firstFileJob(&job)) return 0;
  SUB_DLG* d = NewSubDlg(kPrnDlgID);
  if (!d) return 0;
  auto* rec = new PRN_REC{job};
  d->data = rec;
  d->select = SelectPrnDlg;
  d->mouseDown = MouseDownPrnDlg;
  d->key = MLTEKeyDownPrnDlg;
  SetSubDlgIdle(d, IdlePrnDlg);
  d->update = UpdatePrnDlg;
  d->dispose = [](SUB_DLG* s) { delete static_cast<PRN_REC*>(s->data); };
  d->defaultItem = 24;
  d->cancelItem = 25;
  DialogRef dlg = d->dialog;
  titled(d, "PRINT=");
  SetSubDlgLabel(d, 1, FormatOne(HoldString("LABEL", "STC_IF_PRN="), JobShortName(job, gHoldHost.encoding)));
  SetSubDlgItemTexts(d, gPrnDlgItem);
  const HOLD_CONFIG* c = gHoldHost.config;
  const UInt32 opts = c ? c->ulPrnOpt : 0x100;
  AddSubField(d, 3);
  AddSubSpin(d, 3, 4, 1, 9999);
  SubFieldSetText(SubDlgField(d, 3), std::to_string(c ? c->usCopies : 1));
  if (GetPrnOpt(opts, 0) == 1)
    setRadio(dlg, 8, 9);
  else
    setRadio(dlg, 9, 8);
  if (GetPrnOpt(opts, 6) == 1)
    setRadio(dlg, 12, 11);
  else
    setRadio(dlg, 11, 12);
  // The box's capabilities from the status-sharing file; without it every
  // pop-up is offered.
  PrinterCaps caps{};
  const bool read =
      gHoldHost.engine && Get_Printer_Info(gHoldHost.engine->boxMac, &caps, gHoldHost.strIni.c_str()) == noErr;
  auto capBit = [&](const char* key, UInt8 bit) {
    for (const PRINTER_CAP& p : caps)
      if (std::strcmp(p.key, key) == 0) return (p.value & bit) != 0;
    return false;
  };
  for (const PopupKeys& p : kPopups) {
    ControlRef ctl = GetItemControl(dlg, p.item);
    SetPopupMenuPrnDlg(dlg, p.item, SInt16(GetPrnOpt(opts, p.option) + 1));
    bool dim = false;
    if (read) {
      if (p.item == 17) dim = capBit("ID13", 0x20) || capBit("ID38", 0x20);
      if (p.item == 19) dim = !capBit("ID14", 0x08);
      if (p.item == 21) dim = !capBit("ID15", 0x08);
      if (p.item == 23) dim = !capBit("ID49", 0x20);
    }
    if (dim) {
      SetControlValue(ctl, 1);
      DeactivateControl(ctl);
    }
  }
  SubFieldFocus(d, 3, true);
  show(d);
  return 1;
}

int hold::OpenMove() {
  std::vector<JOB_ENTRY> jobs = gHoldHost.heldSelection ? gHoldHost.heldSelection() : std::vector<JOB_ENTRY>{};
  if (jobs.empty() || !gHoldHost.engine) return 0;
  SUB_DLG* d = NewSubDlg(kMovDlgID);
  if (!d) return 0;
  auto* m = new MOV_REC{};
  m->jobs = jobs;
  d->data = m;
  d->select = SelectMovDlg;
  d->mouseDown = MouseDownMovDlg;
  d->key = KeyDownMovDlg;
  d->update = UpdateMovDlg;
  d->dispose = disposeMov;
  d->defaultItem = 4;
  d->cancelItem = 5;
  DialogRef dlg = d->dialog;
  titled(d, "MOVE=");
  SetSubDlgItemTexts(d, gMovDlgItem);
  if (jobs.size() == 1) {
    SetSubDlgLabel(d, 1,
                   FormatOne(HoldString("LABEL", "STC_IF_MOVE="), JobShortName(jobs.front(), gHoldHost.encoding)));
  } else {
    SetSubDlgLabel(d, 1, FormatOne(HoldString("LABEL", "STC_IF_MOVES="), std::to_string(jobs.size())));
  }
  m->list = newList(dlg, 3, 18);
  if (m->list) {
    Str255 none{};
    CLAddColumn(m->list, none, CLOneColumnWidth(ItemRectOf(dlg, 3)), kCLNoHeader | kCLSortText);
    m->folders = SortFolderList(gHoldHost.engine->folders);
    FillFolderList(m->list, m->folders);
  }
  ChangeMoveDlgBtnState(d);
  show(d);
  return 1;
}

int hold::OpenInformation() {
  if (!gHoldHost.engine || gInfo) return 0;
  std::vector<JOB_ENTRY> jobs = gHoldHost.heldSelection ? gHoldHost.heldSelection() : std::vector<JOB_ENTRY>{};
  if (jobs.empty()) return 0;
  SUB_DLG* d = NewSubDlg(kInfDlgID);
  if (!d) return 0;
  auto* inf = new INF_REC{};
  gInfo = inf;
  d->data = inf;
  d->select = SelectInfDlg;
  d->mouseDown = MouseDownInfDlg;
  SetSubDlgIdle(d, IdleInfDlg);
  d->update = UpdateInfDlg;
  d->key = KeyDownInfDlg;
  d->dispose = disposeInf;
  d->defaultItem = 7;
  d->cancelItem = 7;
  titled(d, "INFOMATION=");
  SetSubDlgItemTexts(d, gInfDlgItem);
  inf->list = newList(d->dialog, 6, 16);
  if (inf->list) {
    for (const auto& column : gInfList) {
      Str255 t;
      pstr::set(t, sizeof t, HoldString("LIST", column.key));
      // No header, as the main window's detail page: the list drew an
      // empty band above its first row.
      CLAddColumn(inf->list, t, column.width, kCLSortText | kCLNoHeader);
    }
  }
  InitThumbnail(d->dialog, kThumbSetSub);
  SetThumbnailText(HoldString("LABEL", "STC_PREVIEW="), gHoldHost.font, gHoldHost.fontSize);
  for (int b = 0; b < 4; ++b) {
    Rect r = ItemRectOf(d->dialog, kInfBtnItems[b]);
    SetPageBtnRect(b, Point{r.top, r.left}, Point{r.bottom, r.right}, kThumbSetSub);
  }
  inf->command = CMD_INFO;
  if (gHoldHost.thumbnailBusy) gHoldHost.thumbnailBusy(true);
  StartCommand(gHoldHost.engine, CMD_INFO, true);
  updatePageButtons(d, inf, false);
  show(d);
  return 1;
}

bool InfoDialogOpen() { return gInfo != nullptr; }

int hold::OpenDownload(PrgRequestPtr* request) {
  if (request) request->reset();
  JOB_ENTRY job{};
  if (!gHoldHost.engine || !gHoldHost.firstFileJob || !gHoldHost.firstFileJob(&job)) return 0;
  UInt8 proposed[260] = {};
  Get_Download_FileName(job.name, proposed, LangCodeEncoding(job.lang, gHoldHost.encoding));
  NavDialogCreationOptions opts{};
  NavGetDefaultDialogCreationOptions(&opts);
  opts.optionFlags |= kNavNoTypePopup;
  opts.optionFlags &= ~kNavAllowMultipleFiles;
  std::string name(reinterpret_cast<const char*>(proposed + 1), proposed[0]);
  opts.saveFileName = CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8);
  NavDialogRef nav = nullptr;
  OSStatus err = NavCreatePutFileDialog(&opts, 'TEXT', 'VMxh', nullptr, nullptr, &nav);
  if (opts.saveFileName) CFRelease(opts.saveFileName);
  if (err != noErr || !nav) return 0;
  std::string path;
  if (NavDialogRun(nav) == noErr) {
    NavReplyRecord reply{};
    if (NavDialogGetReply(nav, &reply) == noErr && reply.validRecord) {
      FSSpec fss{};
      AEKeyword key;
      DescType type;
      Size size;
      if (AEGetNthPtr(&reply.selection, 1, typeFSS, &key, &type, &fss, sizeof fss, &size) == noErr)
        tb::SpecToPath(fss, path);
    }
    NavDisposeReply(&reply);
  }
  NavDialogDispose(nav);
  if (path.empty()) return 0;
  PrgRequestPtr req = NewPrgRequest();
  if (!req) {
    EndCommand(gHoldHost.engine, CMD_DOWNLOAD, nullptr, VFMP_ERR_NO_MEMORY, 0);
    return 0;
  }
  req->jobs.push_back(prgJob(job));
  req->path = path;
  req->total = job.size;
  if (request) *request = std::move(req);
  return 1;
}

std::vector<FSSpec> hold::ChooseUploadFiles() {
  std::vector<FSSpec> out;
  NavDialogCreationOptions opts{};
  NavGetDefaultDialogCreationOptions(&opts);
  opts.optionFlags |= kNavNoTypePopup | kNavAllowMultipleFiles;
  Handle h = NewHandleClear(sizeof(NavTypeList) + sizeof(OSType));
  if (!h) return out;
  auto** types = reinterpret_cast<NavTypeListHandle>(h);
  (*types)->componentSignature = 'VMxh';
  (*types)->osTypeCount = 1;
  (*types)->osType[0] = 'TEXT';
  NavDialogRef nav = nullptr;
  if (NavCreateGetFileDialog(&opts, types, nullptr, nullptr, nullptr, nullptr, &nav) == noErr && nav) {
    if (NavDialogRun(nav) == noErr) {
      NavReplyRecord reply{};
      if (NavDialogGetReply(nav, &reply) == noErr && reply.validRecord) {
        long count = 0;
        AECountItems(&reply.selection, &count);
        for (long i = 1; i <= count; ++i) {
          FSSpec fss{};
          AEKeyword key;
          DescType type;
          Size size;
          if (AEGetNthPtr(&reply.selection, i, typeFSS, &key, &type, &fss, sizeof fss, &size) == noErr)
            out.push_back(fss);
        }
      }
      NavDisposeReply(&reply);
    }
    NavDialogDispose(nav);
  }
  DisposeHandle(h);
  return out;
}

PrgRequestPtr hold::DeleteRequest() {
  std::vector<JOB_ENTRY> jobs = gHoldHost.heldSelection ? gHoldHost.heldSelection() : std::vector<JOB_ENTRY>{};
  if (jobs.empty()) return nullptr;
  PrgRequestPtr req = NewPrgRequest();
  if (!req) {
    if (gHoldHost.engine) EndCommand(gHoldHost.engine, CMD_DELETE, nullptr, VFMP_ERR_NO_MEMORY, 0);
    return nullptr;
  }
  for (const JOB_ENTRY& j : jobs) req->jobs.push_back(prgJob(j));
  return req;
}

std::vector<std::pair<std::string, std::string>> DetailRows(const JOB_INFO& info) {
  std::vector<std::pair<std::string, std::string>> rows;
  const TextEncoding own = LangCodeEncoding(info.lang, gHoldHost.encoding);
  rows.emplace_back(HoldString("INFOMATION", "JOB="), NameText(info.name, own));
  rows.emplace_back(HoldString("INFOMATION", "OWNER="), NameText(info.owner, own));
  std::string pages = FormatOne(HoldString("INFOMATION", "PAGES="), std::to_string(info.pages));
  if (info.hasThumbnails == 1 && info.pages) pages = std::to_string(info.hasPages) + " / " + pages;
  rows.emplace_back(HoldString("INFOMATION", "TOTAL="), pages);
  char res[48];
  std::snprintf(res, sizeof res, "%d x %d dpi", (info.resolution >> 8) * 10, (info.resolution & 0xFF) * 10);
  rows.emplace_back(HoldString("INFOMATION", "RESOLUTION="), res);
  char key[16];
  std::snprintf(key, sizeof key, "SIZE%03d=", info.paper % 1000);
  std::string paper = HoldString("PAPER", key);
  if (paper.empty()) paper = HoldString("PAPER", "SIZE?\?\?=") + " " + std::to_string(info.paper);
  rows.emplace_back(HoldString("PAPER", "SIZE="), paper);
  rows.emplace_back(HoldString("INFOMATION", "DATASIZE="), DataSizeText(info.size));
  return rows;
}

// The configuration dialog. Its two pages are item lists appended after
// the four items every page shares (tab area, OK, Cancel, Apply); the texts
// of a page's fields are kept when it is left, so switching back shows what
// was typed. The address and folder lists live as long as the dialog and
// move to their page's place.
#include "holdmanager/HoldConfigDlg.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "FanctionLib/CList.h"
#include "FanctionLib/CTab.h"
#include "toolbox/appearance.h"
#include "toolbox/icons.h"
#include "toolbox/resources.h"
#include "toolbox/textencoding.h"
#include "toolbox/windows.h"

namespace {

constexpr short kTabItem = 1, kOK = 2, kCancel = 3, kApply = 4;
// Page 1.
constexpr short kAddrField = 6, kAdd = 7, kAddrList = 8, kDelete = 9, kTimeField = 12, kTimeSpin = 13,
                kSearchField = 18, kSearchSpin = 19;
// Page 2.
constexpr short kFolderList = 6, kNameField = 9;
constexpr int kMaxAddresses = 16;
constexpr long kSpinMax = 3600;
constexpr long kReSearchMax = 5;

struct SAVED_FIELD {
  std::string text;
  bool saved = false;
  UInt32 selStart = 0, selEnd = 0xFFFFFFFF;
};

struct CFG_REC {
  HOLD_CONFIG* config = nullptr;
  CTAB_DATA* tabs = nullptr;
  CLIST_DATA* addrList = nullptr;
  CLIST_DATA* folderList = nullptr;
  int page = 0;
  SAVED_FIELD saved[4];               // address, time-out, re-search, folder name
  short focus = kTimeField;           // page 1's focused field when it was left
  std::vector<FOLDER_ENTRY> folders;  // in list order
  int pendingRename = -1;             // the folder whose rename is pending
  std::string pendingName;            // as the box is to hold it
  UInt8 pendingLang = 0;              // the language code it goes with
  std::string lastText[4];  // to tell a typed change
};

SUB_DLG* gCfg = nullptr;

// The pages' labels and buttons.
const SUBDLG_ITEM_TEXT gCfgPage1Item[] = {
    {5, "GROUP", "GRP_BROAD="}, {7, "BUTTON", "BTN_ADD="},     {9, "BUTTON", "BTN_DELETE="}, {11, "GROUP", "GRP_TIME="},
    {15, "LABEL", "STC_SEC="},  {17, "GROUP", "GRP_POLLING="}, {21, "LABEL", "STC_POLLING="}};
const SUBDLG_ITEM_TEXT gCfgPage2Item[] = {
    {5, "LABEL", "STC_IF_P2="}, {7, "LABEL", "STC_FOLDER="}, {10, "LABEL", "STC_LIMIT="}};

CFG_REC* rec(SUB_DLG* d) { return static_cast<CFG_REC*>(d->data); }

std::string cellText(CLIST_DATA* list, short row) {
  Str255 s{};
  SInt16 len = sizeof s;
  CLGetCellOne(list, s, &len, Cell{row, 0});
  return pstr::str(s);
}

int fieldIndex(short page, short item) {
  if (page == 1) return item == kAddrField ? 0 : item == kTimeField ? 1 : item == kSearchField ? 2 : -1;
  return item == kNameField ? 3 : -1;
}

short selectedRow(CLIST_DATA* list) {
  Cell c{0, 0};
  return list && CLGetSelect(list, &c, true) ? c.v : short(-1);
}

const FOLDER_ENTRY* selectedFolder(SUB_DLG* d) {
  CFG_REC* r = rec(d);
  short row = selectedRow(r->folderList);
  if (row < 0) return nullptr;
  long ref = CLGetReference(r->folderList, row);
  return ref >= 0 && std::size_t(ref) < r->folders.size() ? &r->folders[std::size_t(ref)] : nullptr;
}

// A folder's name as the box holds it, split at its prefix, and the rest
// as the name field shows it.
struct FolderParts {
  std::string prefix, rest, restText;
  TextEncoding in = kCFStringEncodingUTF8;  // that the whole name reads in
};
FolderParts folderParts(const FOLDER_ENTRY* f) {
  FolderParts p;
  if (!f) return p;
  const std::string name = pstr::str(f->name);
  // The parts read as the whole name does, in the language of the folder's entry.
  p.in = tb::ReadingEncoding(name, LangCodeEncoding(f->lang, gHoldHost.encoding));
  DivideFolderName(name, &p.prefix, &p.rest, p.in);
  p.restText = tb::ConvertFromEncoding(p.rest, p.in);
  return p;
}

// The name the box is to hold for the name field's text, and the language
// code it goes with: the box's own bytes when the text is as it was; else
// the prefix and the text cut to 16 bytes, in the first of the folder's
// own language and the program's that holds them. False when neither does.
bool renFolderBytes(const FOLDER_ENTRY& f, const FolderParts& parts, const std::string& text, std::string* full,
                    UInt8* code) {
  if (text == parts.restText) {
    *full = parts.prefix + parts.rest;
    *code = f.lang;
    return true;
  }
  for (const NameLanguage& l : RenameLanguages(f.lang, HoldLangCode(), gHoldHost.encoding)) {
    std::string prefix, held;
    if (NameBytes(tb::ConvertFromEncoding(parts.prefix, parts.in), parts.prefix, parts.in, l.encoding, 255, &prefix) &&
        tb::TextToEncoding(text, l.encoding, &held)) {
      *full = MakeRenFolderName(prefix, held, l.encoding);
      full->resize(tb::CharCutLength(*full, 255, l.encoding));
      *code = l.code;
      return true;
    }
  }
  return false;
}

// Leaves the shown page: its field texts and selections are kept.
void savePage(SUB_DLG* d) {
  CFG_REC* r = rec(d);
  const short items1[] = {kAddrField, kTimeField, kSearchField};
  auto keep = [&](short item, int idx) {
    SUB_FIELD* f = SubDlgField(d, item);
    if (!f) return;
    r->saved[idx].text = SubFieldText(f);
    r->saved[idx].saved = true;
    TXNGetSelection(f->obj, &r->saved[idx].selStart, &r->saved[idx].selEnd);
  };
  if (r->page == 1) {
    short focused = SubFieldFocused(d);
    if (focused) r->focus = focused;
    for (int i = 0; i < 3; ++i) keep(items1[i], i);
  } else if (r->page == 2) {
    keep(kNameField, 3);
  }
  DisposeSubFields(d);
  STCDisposeList(&d->labels);
}

void restoreField(SUB_DLG* d, short item, int idx, const std::string& initial) {
  CFG_REC* r = rec(d);
  SUB_FIELD* f = AddSubField(d, item);
  if (!f) return;
  SubFieldSetText(f, r->saved[idx].saved ? r->saved[idx].text : initial);
  r->lastText[idx] = SubFieldText(f);
}

void ChangeTabPage(SUB_DLG* d, int page) {
  CFG_REC* r = rec(d);
  DialogRef dlg = d->dialog;
  savePage(d);
  const short count = CountDITL(dlg);
  if (count > 4) ShortenDITL(dlg, short(count - 4));
  if (Handle items = GetResource('DITL', short(page == 1 ? 241 : 242))) {
    AppendDITL(dlg, items, overlayDITL);
    ReleaseResource(items);
  }
  r->page = page;
  if (page == 1) {
    SetSubDlgItemTexts(d, gCfgPage1Item);
    // The group titles as wide as their texts, so the frames show beside them.
    for (int i : {0, 1, 3}) STCAdjustWidth(d->labels, i);
    restoreField(d, kAddrField, 0, "");
    restoreField(d, kTimeField, 1, std::to_string(r->config->ulTimeOut));
    restoreField(d, kSearchField, 2, std::to_string(r->config->ulReSearch));
    AddSubSpin(d, kTimeField, kTimeSpin, 0, kSpinMax);
    // The spin keeps to the range the check accepts (0 to 5 minutes).
    AddSubSpin(d, kSearchField, kSearchSpin, 0, kReSearchMax);
    int idx = fieldIndex(1, r->focus);
    SubFieldFocus(d, r->focus, false);
    if (SUB_FIELD* f = SubDlgField(d, r->focus); f && idx >= 0)
      TXNSetSelection(f->obj, r->saved[idx].selStart, r->saved[idx].selEnd);
    if (r->addrList) {
      Rect lr = ItemRectOf(dlg, kAddrList);
      CLResize(r->addrList, &lr);
      CLShow(r->addrList, true);
    }
    if (r->folderList) CLShow(r->folderList, false);
    ChangeDelBtnState(d);
  } else {
    SetSubDlgItemTexts(d, gCfgPage2Item);
    STCSetAlignment(d->labels, 0, 1);
    if (r->addrList) CLShow(r->addrList, false);
    AddSubField(d, kNameField);
    if (r->folderList) {
      Rect lr = ItemRectOf(dlg, kFolderList);
      CLResize(r->folderList, &lr);
      CLShow(r->folderList, true);
      if (selectedRow(r->folderList) < 0 && CLGetCount(r->folderList) > 0)
        CLSetSelect(r->folderList, Cell{0, 0}, true, false);
    }
    const bool any = r->folderList && !r->folders.empty();
    SubFieldEnable(d, kNameField, any);
    SetRenFolderName(d);
    if (any) {
      SubFieldFocus(d, kNameField, false);
      if (r->saved[3].saved) TXNSetSelection(SubDlgField(d, kNameField)->obj, r->saved[3].selStart, r->saved[3].selEnd);
    }
  }
  // Nothing of the page left is kept: the whole content is drawn again.
  ColorPortSaver saver(GetDialogPort(dlg));
  const RGBColor back = DialogBackColor(dlg);
  RGBBackColor(&back);
  Rect all;
  GetPortBounds(GetDialogPort(dlg), &all);
  EraseRect(&all);
  InvalWindowRect(GetDialogWindow(dlg), &all);
}

void drawGroup(DialogRef dlg, short labelItem, short frameItem) {
  Rect f = ItemRectOf(dlg, frameItem);
  RGBColor grey{0x8888, 0x8888, 0x8888}, black{0, 0, 0};
  RGBForeColor(&grey);
  FrameRect(&f);
  RGBForeColor(&black);
  (void)labelItem;
}

void UpdateCfgDlg(SUB_DLG* d) {
  CFG_REC* r = rec(d);
  DialogRef dlg = d->dialog;
  tb::PortSaver saver(GetDialogPort(dlg));
  if (r->tabs) CTUpdate(r->tabs);
  if (r->page == 1) {
    drawGroup(dlg, 5, 10);
    drawGroup(dlg, 11, 16);
    drawGroup(dlg, 17, 22);
    SubDlgDrawSpins(d);
    if (r->addrList) CLUpdate(r->addrList, nullptr, 1);
  } else if (r->folderList) {
    CLUpdate(r->folderList, nullptr, 1);
  }
  // The items again over the tab control's page, then the labels.
  DrawDialog(dlg);
  STCDrawList(d->labels);
}

void addAddress(SUB_DLG* d) {
  CFG_REC* r = rec(d);
  const std::string text = SubFieldText(SubDlgField(d, kAddrField));
  UInt32 addr = 0;
  if (CLGetCount(r->addrList) >= kMaxAddresses) return SubDlgMessage(d, kAddrField, "STR308=");
  if (text.empty() || !hold::StrToIPAddr(text.c_str(), &addr)) return SubDlgMessage(d, kAddrField, "STR305=");
  if (addr == 0xFFFFFFFFu) return SubDlgMessage(d, kAddrField, "STR307=");
  const std::string norm = DottedText(addr);
  for (short i = 0; i < CLGetCount(r->addrList); ++i)
    if (cellText(r->addrList, i) == norm) return SubDlgMessage(d, kAddrField, "STR304=", norm);
  const short row = CLGetCount(r->addrList);
  Str255 s;
  pstr::set(s, sizeof s, norm);
  CLSetCellOne(r->addrList, Cell{row, 0}, s);
  CLClearSelect(r->addrList, nullptr);
  CLSetSelect(r->addrList, Cell{row, 0}, true, true);
  CLSelectScroll(r->addrList);
  SubFieldFocus(d, kAddrField, true);
  ChangeDelBtnState(d);
  ChangeApplyBtnState(d, true);
  CLUpdate(r->addrList, nullptr, 1);
}

void deleteAddress(SUB_DLG* d) {
  CFG_REC* r = rec(d);
  short row = selectedRow(r->addrList);
  if (row < 0) return;
  CLDelRow(r->addrList, 1, row);
  const short count = CLGetCount(r->addrList);
  CLClearSelect(r->addrList, nullptr);
  if (count > 0) CLSetSelect(r->addrList, Cell{std::min<short>(row, short(count - 1)), 0}, true, false);
  ChangeDelBtnState(d);
  ChangeApplyBtnState(d, true);
  CLUpdate(r->addrList, nullptr, 1);
}

// The pending folder rename's request (taken off the dialog, which may close
// before it starts); null when none is pending or memory is short.
PrgRequestPtr folderRenameRequest(SUB_DLG* d) {
  CFG_REC* r = rec(d);
  if (r->pendingRename < 0 || std::size_t(r->pendingRename) >= r->folders.size() || !gHoldHost.engine) return nullptr;
  const FOLDER_ENTRY& f = r->folders[std::size_t(r->pendingRename)];
  r->pendingRename = -1;
  PrgRequestPtr req = NewPrgRequest();
  if (!req) {
    EndCommand(gHoldHost.engine, CMD_FOLDER_RENAME, nullptr, VFMP_ERR_NO_MEMORY, 0);
    return nullptr;
  }
  std::memcpy(req->cmd.param.folderId, f.folderId, 4);
  pstr::set(req->cmd.param.name, sizeof req->cmd.param.name, r->pendingName);
  req->langCode = r->pendingLang;
  return req;
}

void SelectCfgDlg(SUB_DLG* d, short item, const EventRecord* ev) {
  CFG_REC* r = rec(d);
  DialogRef dlg = d->dialog;
  switch (item) {
    case kTabItem: {
      SInt16 hit = r->tabs ? CTHitTest(r->tabs, ev->where) : -1;
      if (hit < 0 || hit == CTGetCurSel(r->tabs)) return;
      if (!CheckCfgDlg(d)) return;
      CTSetCurSel(r->tabs, hit, true);
      ChangeTabPage(d, hit + 1);
      return;
    }
    case kOK:
    case kApply: {
      if (!CheckCfgDlg(d)) return;
      SetConfigFromDlg(r->config, d);
      PrgRequestPtr rename = folderRenameRequest(d);
      // OK closes the dialog before the rename's progress dialog opens;
      // Apply keeps it open under it.
      if (item == kOK) CloseCfgDlg(d);
      const bool renaming = rename && StartProgressCommand(gHoldHost.engine, CMD_FOLDER_RENAME, std::move(rename));
      if (item == kOK) return;
      gHoldHost.configDlg = dlg;
      if (!renaming) ChangeApplyBtnState(d, false);
      return;
    }
    case kCancel: return CloseCfgDlg(d);
    default: break;
  }
  if (r->page == 1) {
    switch (item) {
      case kAdd: return addAddress(d);
      case kDelete: return deleteAddress(d);
      case kAddrList: {
        Cell cell{0, 0};
        SInt16 part = 0;
        CLMouseDown(r->addrList, ev, &cell, &part, false);
        return ChangeDelBtnState(d);
      }
      case kTimeSpin:
      case kTimeSpin + 1: return SubDlgSpin(d, item);
      case kSearchSpin:
      case kSearchSpin + 1: SubDlgSpin(d, item); return ChangeApplyBtnState(d, true);
      default: return;
    }
  }
  if (item == kFolderList && r->folderList) {
    Cell cell{0, 0};
    SInt16 part = 0;
    CLMouseDown(r->folderList, ev, &cell, &part, false);
    if (selectedRow(r->folderList) >= 0) SetRenFolderName(d);
  }
}

void MouseDownCfgDlg(SUB_DLG* d, const EventRecord* ev) {
  int item = MouseDownSubDlg(ev, d, kCfgDlgID);
  if (item <= 0) return;
  // Page items count from 5000 (first page) or 4000 (second) in the
  // dialog's own numbering; the handler takes the item itself.
  SelectCfgDlg(d, short(item), ev);
}

// A typed change of a field (other than the address entry) enables Apply.
void noteTyping(SUB_DLG* d) {
  CFG_REC* r = rec(d);
  for (SUB_FIELD& f : d->fields) {
    int idx = fieldIndex(short(r->page), f.item);
    if (idx < 0) continue;
    std::string now = SubFieldText(&f);
    if (now == r->lastText[idx]) continue;
    r->lastText[idx] = now;
    if (idx != 0) ChangeApplyBtnState(d, true);
  }
}

bool MLTEKeyDownCfgDlg(SUB_DLG* d, const EventRecord*) {
  noteTyping(d);
  return false;
}

void IdleCfgDlg(SUB_DLG* d) {
  noteTyping(d);
  static const short items[] = {kAddrField, kTimeField, kSearchField, kNameField};
  ChangeBeamCursorSubDlg(d, 0, 3, items);
}

void disposeCfg(SUB_DLG* d) {
  CFG_REC* r = rec(d);
  if (r->tabs) CTDispose(r->tabs);
  if (r->addrList) CLDispose(r->addrList);
  if (r->folderList) CLDispose(r->folderList);
  if (gHoldHost.configDlg == d->dialog) gHoldHost.configDlg = nullptr;
  if (gCfg == d) gCfg = nullptr;
  if (MAIN_DLG_DATA* m = GetMainDlgData(); m && m->cfgDlg == d) m->cfgDlg = nullptr;
  delete r;
}

}  // namespace

namespace hold {
int StrToIPAddr(const char* text, UInt32* addr) {
  if (addr) *addr = 0;
  if (!text || !*text || !((*text >= '0' && *text <= '9') || *text == '.')) return 0;
  UInt32 out = 0;
  int fields = 0;
  const char* p = text;
  for (;;) {
    UInt32 v = 0;
    while (*p >= '0' && *p <= '9') {
      v = v * 10 + UInt32(*p - '0');
      // Past 255 the field is refused, never wrapped back into range.
      if (v > 255) return 0;
      ++p;
    }
    out = (out << 8) | v;
    ++fields;
    if (*p == '.' && fields < 4) {
      ++p;
      continue;
    }
    break;
  }
  if (fields != 4 || *p != '\0') return 0;
  if (addr) *addr = out;
  return 1;
}
}  // namespace hold

SUB_DLG* ConfigDialog() { return gCfg; }

bool KeyDownCfgDlg(SUB_DLG*, const EventRecord*) { return false; }

int CfgDlgPage(SUB_DLG* d) { return d ? rec(d)->page : 0; }
CTAB_DATA* CfgDlgTabs(SUB_DLG* d) { return d ? rec(d)->tabs : nullptr; }

int OpenCfgDlg(HOLD_CONFIG* config, PtrListHead folders) {
  if (gCfg || !config) return 0;
  SUB_DLG* d = NewSubDlg(kCfgDlgID);
  if (!d) return 0;
  auto* r = new (std::nothrow) CFG_REC{};
  if (!r) {
    CloseSubDlg(d, kCfgDlgID);
    return 0;
  }
  r->config = config;
  d->data = r;
  d->select = SelectCfgDlg;
  d->mouseDown = MouseDownCfgDlg;
  d->update = UpdateCfgDlg;
  d->key = MLTEKeyDownCfgDlg;
  d->dispose = disposeCfg;
  d->defaultItem = kOK;
  d->cancelItem = kCancel;
  gCfg = d;
  SetSubDlgIdle(d, IdleCfgDlg);
  DialogRef dlg = d->dialog;
  std::string title = HoldString("TITLE", "OPTION=");
  if (!title.empty()) {
    Str255 s;
    pstr::set(s, sizeof s, title);
    SetWTitle(GetDialogWindow(dlg), s);
  }
  const Rect area = ItemRectOf(dlg, kTabItem);
  const Rect strip{area.top, area.left, short(area.top + kCTStripHeight), area.right};
  // The page frame starts where the selected tab ends (the tab stands on
  // it) and reaches down to above the buttons.
  const Rect frame{short(area.top + CTFrontTabHeight(143)), area.left, short(ItemRectOf(dlg, kOK).top - 15),
                   area.right};
  r->tabs = CTNew(GetDialogWindow(dlg), &strip, &frame, -8, false, 0xFFFFFF, true);
  if (r->tabs) {
    const SInt16 font = gHoldHost.font, size = gHoldHost.fontSize;
    const UInt8 face = 0;
    CTSetFont(r->tabs, &font, &face, &size);
    CTSetPictID(r->tabs, 143, 142, 144, 145, 146, 147, 148, 149);
    for (const char* key : {"PAGE1=", "PAGE2="}) {
      Str255 s;
      pstr::set(s, sizeof s, HoldString("TAB", key));
      CTAdd(r->tabs, s, -1);
    }
    CTSetCurSel(r->tabs, 0, false);
  }
  SetItemTitle(dlg, kOK, HoldString("BUTTON", "OK="));
  SetItemTitle(dlg, kCancel, HoldString("BUTTON", "CANCEL="));
  SetItemTitle(dlg, kApply, HoldString("BUTTON", "BTN_APPLY="));
  // The lists take their page's place when it is shown.
  Rect none{0, 0, 100, 100};
  r->addrList = CLNew(GetDialogWindow(dlg), &none, Point{16, 100}, false, false, false);
  r->folderList = CLNew(GetDialogWindow(dlg), &none, Point{18, 100}, false, false, false);
  Str255 empty{};
  if (r->addrList) {
    CLAddColumn(r->addrList, empty, 140, kCLNoHeader | kCLSortText);
    for (UInt16 i = 1; i < std::min<UInt16>(config->usAddrCount, 17); ++i) {
      Str255 s;
      pstr::set(s, sizeof s, DottedText(config->ulAddr[i]));
      CLSetCellOne(r->addrList, Cell{short(i - 1), 0}, s);
    }
  }
  if (r->folderList) CLAddColumn(r->folderList, empty, 160, kCLNoHeader | kCLSortText);
  UpdateFolderListCfgDlg(d, folders, 254);
  ChangeTabPage(d, 1);
  ChangeApplyBtnState(d, false);
  SetDialogDefaultItem(dlg, kOK);
  ShowSubDlg(d);
  return 1;
}

void CloseCfgDlg(SUB_DLG* d) {
  if (d) CloseSubDlg(d, kCfgDlgID);
}

int CheckCfgDlg(SUB_DLG* d) {
  CFG_REC* r = rec(d);
  if (r->page == 1) {
    const struct {
      short item;
      long max;
      const char* key;
    } checks[] = {{kTimeField, kSpinMax, "STR309="}, {kSearchField, kReSearchMax, "STR310="}};
    for (auto& c : checks) {
      std::string t = SubFieldText(SubDlgField(d, c.item));
      if (!CheckDigit(t.data(), int(t.size()), 0, c.max)) {
        SubDlgMessage(d, c.item, c.key);
        return 0;
      }
    }
    return 1;
  }
  const FOLDER_ENTRY* f = selectedFolder(d);
  if (!f) return 1;
  std::string text = SubFieldText(SubDlgField(d, kNameField));
  int bad = CheckProhibitionStr(text.data(), int(text.size()));
  if (bad) {
    SubDlgMessage(d, kNameField, bad == 1 ? "STR311=" : "STR312=");
    return 0;
  }
  const FolderParts parts = folderParts(f);
  std::string full;
  UInt8 code = 0;
  if (!renFolderBytes(*f, parts, text, &full, &code)) {
    SubDlgMessage(d, kNameField, "STR312=");
    return 0;
  }
  if (full != pstr::str(f->name) && !parts.prefix.empty() && !text.empty()) {
    r->pendingRename = int(f - r->folders.data());
    r->pendingName = full;
    r->pendingLang = code;
  }
  return 1;
}

OSErr SetConfigFromDlg(HOLD_CONFIG* config, SUB_DLG* d) {
  if (!config) return paramErr;
  if (d) {
    CFG_REC* r = rec(d);
    auto value = [&](short item, int idx) {
      std::string t = r->page == 1 ? SubFieldText(SubDlgField(d, item)) : r->saved[idx].text;
      if (r->page != 1 && !r->saved[idx].saved) return idx == 1 ? config->ulTimeOut : config->ulReSearch;
      return UInt32(std::strtoul(t.c_str(), nullptr, 10));
    };
    config->ulTimeOut = value(kTimeField, 1);
    config->ulReSearch = value(kSearchField, 2);
    config->usAddrCount = 1;
    config->ulAddr[0] = 0xFFFFFFFFu;
    const short rows = r->addrList ? std::min<short>(CLGetCount(r->addrList), kMaxAddresses) : 0;
    for (short i = 0; i < rows; ++i) {
      UInt32 a = 0;
      // Each readable row at the next entry: entries and count stay in step.
      if (hold::StrToIPAddr(cellText(r->addrList, i).c_str(), &a)) config->ulAddr[config->usAddrCount++] = a;
    }
    if (gHoldHost.engine) gHoldHost.engine->timeoutSeconds = config->ulTimeOut;
  }
  return SetConfig(*config);
}

void UpdateFolderListCfgDlg(SUB_DLG* d, PtrListHead folders, int keepSelection) {
  if (!d) return;
  CFG_REC* r = rec(d);
  if (!r->folderList) return;
  const short previous = selectedRow(r->folderList);
  CLDelRow(r->folderList, 0, 0);
  r->folders = SortFolderList(folders);
  FillFolderList(r->folderList, r->folders);
  if (previous >= 0 && previous < CLGetCount(r->folderList)) CLSetSelect(r->folderList, Cell{previous, 0}, true, false);
  if (r->page != 2) return;
  CLUpdate(r->folderList, nullptr, 1);
  SubFieldEnable(d, kNameField, !r->folders.empty());
  if (keepSelection)
    SubFieldFocus(d, kNameField, true);
  else
    SetRenFolderName(d);
}

int GetActiveMLTE(SUB_DLG* d) {
  if (!d) return -1;
  return fieldIndex(short(rec(d)->page), SubFieldFocused(d));
}

void ChangeApplyBtnState(SUB_DLG* d, bool on) {
  ControlRef c = GetItemControl(d->dialog, kApply);
  if (on)
    ActivateControl(c);
  else
    DeactivateControl(c);
}

void ChangeDelBtnState(SUB_DLG* d) {
  CFG_REC* r = rec(d);
  if (r->page != 1) return;
  ControlRef c = GetItemControl(d->dialog, kDelete);
  if (selectedRow(r->addrList) >= 0)
    ActivateControl(c);
  else
    DeactivateControl(c);
}

void SetRenFolderName(SUB_DLG* d) {
  SUB_FIELD* f = SubDlgField(d, kNameField);
  if (!f) return;
  const std::string rest = folderParts(selectedFolder(d)).restText;
  SubFieldSetText(f, rest);
  rec(d)->lastText[3] = rest;
  SubFieldDraw(d, f);
}

std::string GetRenFolderName(SUB_DLG* d) {
  const FOLDER_ENTRY* f = selectedFolder(d);
  std::string full;
  UInt8 code = 0;
  return f && renFolderBytes(*f, folderParts(f), SubFieldText(SubDlgField(d, kNameField)), &full, &code)
             ? full
             : std::string();
}

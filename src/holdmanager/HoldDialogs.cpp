// What every sub-dialog shares: making one from its resource with a window
// event handler, the front dialog, the press and key routing (Return and
// Enter for the default button, Escape for the cancel button), the text
// fields on the text engine, the spin halves, closing, and the ini texts.
#include "holdmanager/HoldDialogs.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "FanctionLib/CList.h"
#include "holdmanager/HoldControls.h"
#include "toolbox/appearance.h"
#include "toolbox/clock.h"
#include "toolbox/fonts.h"
#include "toolbox/icons.h"
#include "toolbox/menus.h"
#include "toolbox/windows.h"

HOLD_DLG_HOST gHoldHost;

namespace {

std::vector<SUB_DLG*> gOpen;  // open sub-dialogs, the front one last

constexpr UInt32 kFlashTicks = 8;
constexpr UInt32 kSpinRepeatTicks = 7;

bool isControlItem(DialogRef d, short item) {
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(d, item, &kind, &h, &r);
  return (kind & 0x7F) >= ctrlItem && (kind & 0x7F) < statText;
}

bool itemDisabled(DialogRef d, short item) {
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(d, item, &kind, &h, &r);
  return (kind & itemDisable) != 0;
}

void flash(DialogRef d, short item) {
  ControlRef c = GetItemControl(d, item);
  if (!c || !IsControlActive(c)) return;
  HiliteControl(c, kControlButtonPart);
  UInt32 end;
  Delay(kFlashTicks, &end);
  HiliteControl(c, 0);
}

bool buttonActive(DialogRef d, short item) {
  ControlRef c = GetItemControl(d, item);
  return c && IsControlActive(c);
}

void drawDefaultRing(DialogRef d, short item) {
  if (item <= 0) return;
  Rect r = ItemRectOf(d, item);
  InsetRect(&r, -4, -4);
  tb::PortSaver saver(GetDialogPort(d));
  PenSize(3, 3);
  RGBColor black{0, 0, 0};
  RGBForeColor(&black);
  FrameRoundRect(&r, 16, 16);
  PenNormal();
}

void subUpdate(DialogRef dialog) {
  SUB_DLG* d = SubDlgOf(dialog);
  if (!d) return;
  DrawDialog(d->dialog);
  STCDrawList(d->labels);
  for (const SUB_FIELD& f : d->fields) SubFieldDraw(d, &f);
  if (d->update) d->update(d);
  drawDefaultRing(d->dialog, d->defaultItem);
}

void subActivate(DialogRef dialog, Boolean active) {
  if (SUB_DLG* d = SubDlgOf(dialog); d && active) ActivateSubDlg(d);
}

void subMouseDown(EventRecord* ev, DialogRef dialog) {
  SUB_DLG* d = SubDlgOf(dialog);
  if (!d) return;
  if (d->mouseDown) {
    d->mouseDown(d, ev);
  } else {
    int item = MouseDownSubDlg(ev, d, d->id);
    if (item > 0 && d->select) d->select(d, short(item), ev);
  }
}

Boolean subKeyDown(EventRecord* ev, DialogRef dialog) {
  SUB_DLG* d = SubDlgOf(dialog);
  if (!d) return false;
  const char ch = char(ev->message & charCodeMask);
  const bool command = (ev->modifiers & cmdKey) != 0;
  if (d->key && d->key(d, ev)) return true;
  if (!command && (ch == kReturnCharCode || ch == kEnterCharCode)) {
    if (d->defaultItem && buttonActive(d->dialog, d->defaultItem)) {
      flash(d->dialog, d->defaultItem);
      if (d->select) d->select(d, d->defaultItem, ev);
    }
    return true;
  }
  if (!command && ch == kEscapeCharCode) {
    if (d->cancelItem) {
      flash(d->dialog, d->cancelItem);
      if (d->select) d->select(d, d->cancelItem, ev);
    }
    return true;
  }
  // Tab, the Command keys of a field and what is typed go to the focused
  // field with the text input that follows.
  return false;
}

void idleHook(void* arg) {
  auto* d = static_cast<SUB_DLG*>(arg);
  if (d && d->idle && std::find(gOpen.begin(), gOpen.end(), d) != gOpen.end()) d->idle(d);
}

SUB_FIELD* fieldAt(SUB_DLG* d, Point local) {
  for (SUB_FIELD& f : d->fields) {
    Rect r = ItemRectOf(d->dialog, f.item);
    if (PtInRect(local, &r)) return &f;
  }
  return nullptr;
}

Rect fieldView(DialogRef d, short item) {
  Rect r = ItemRectOf(d, item);
  InsetRect(&r, 3, 3);
  return r;
}

}  // namespace

// ---- texts -----------------------------------------------------------------

void SubDlgMessage(SUB_DLG* d, short item, const char* key, const std::string& arg) {
  std::string text = HoldString("MESSAGE", key);
  if (!arg.empty()) text = FormatOne(text, arg);
  OpenMsgDlg(HoldString("MESSAGE", "TITLE=").c_str(), text.c_str(), 1, nullptr, 0, 0, 0);
  if (d) SubFieldFocus(d, item, true);
}

UInt8 HoldLangCode() { return gHoldHost.engine ? gHoldHost.engine->langCode : 1; }

void FillFolderList(CLIST_DATA* list, const std::vector<FOLDER_ENTRY>& folders) {
  // The system's folder icon, got once.
  static IconRef icon = nullptr;
  if (!icon) GetIconRef(kOnSystemDisk, kSystemIconsCreator, kGenericFolderIcon, &icon);
  for (std::size_t i = 0; i < folders.size(); ++i) {
    Str255 name;
    SetPStrCut(name, FolderNameText(folders[i], gHoldHost.encoding));
    CLSetCellOne(list, Cell{short(i), 0}, name);
    CLSetReference(list, short(i), long(i));
    CLSetIconHandle(list, short(i), icon, 16, 16, 0);
  }
}

std::string HoldString(const char* section, const char* key) {
  return HoldIniString(gHoldHost.strIni.c_str(), section, key);
}

std::string ExpandEscapes(std::string text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == 't' || text[i + 1] == '\\')) {
      out += text[i + 1] == 'n' ? '\r' : text[i + 1] == 't' ? '\t' : '\\';
      ++i;
    } else {
      // A line feed is a line break too: the box's text breaks lines at
      // returns only.
      out += text[i] == '\n' ? '\r' : text[i];
    }
  }
  return out;
}

std::string FormatOne(const std::string& format, const std::string& value) {
  // Only the first %s or %d is filled: a translator's other conversions
  // stay text, never read an argument that is not there.
  std::string out;
  bool done = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      char c = format[i + 1];
      if (c == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (!done && (c == 's' || c == 'd')) {
        out += value;
        done = true;
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

void SetItemText(DialogRef d, short item, const std::string& utf8) {
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(d, item, &kind, &h, &r);
  Str255 s;
  SetPStrCut(s, utf8);
  if (h) SetDialogItemText(h, s);
}

void SetSubDlgItemTexts(SUB_DLG* d, const SUBDLG_ITEM_TEXT* table, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    std::string text = HoldString(table[i].section, table[i].key);
    if (text.empty()) continue;
    if (isControlItem(d->dialog, table[i].item))
      SetItemTitle(d->dialog, table[i].item, text);
    else
      SetSubDlgLabel(d, table[i].item, text);
  }
}

void SetSubDlgLabel(SUB_DLG* d, short item, const std::string& utf8) {
  Str255 text;
  SetPStrCut(text, utf8);
  for (STC_DATA* s = d->labels; s; s = s->next)
    if (s->item == item) {
      pstr::copy(s->text, sizeof s->text, text);
      return;
    }
  Str255 font;
  pstr::set(font, sizeof font, gHoldHost.fontName);
  if (!STCAddList(&d->labels, d->dialog, UInt16(item), font, gHoldHost.fontSize, gHoldHost.encoding, text)) return;
  for (STC_DATA* s = d->labels; s; s = s->next)
    if (!s->next) s->fontID = gHoldHost.font;
  // The label stands for the item's own text, which the Dialog Manager
  // would draw under it in the dialog's font (wrapped, when the label's
  // width was fitted to a narrower text).
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(d->dialog, item, &kind, &h, &r);
  static const UInt8 kNone[1] = {0};
  if ((kind & 0x7F) == statText && h) SetDialogItemText(h, kNone);
}

std::string SubDlgLabel(SUB_DLG* d, short item) {
  for (STC_DATA* s = d ? d->labels : nullptr; s; s = s->next)
    if (s->item == item) return pstr::str(s->text);
  return {};
}

void SetItemTitle(DialogRef d, short item, const std::string& utf8) {
  ControlRef c = GetItemControl(d, item);
  if (!c || utf8.empty()) return;
  Str255 s;
  SetPStrCut(s, utf8);
  SetControlTitle(c, s);
}

// ---- fields ------------------------------------------------------------------

SUB_FIELD* AddSubField(SUB_DLG* d, short item) {
  Rect r = ItemRectOf(d->dialog, item);
  ControlRef pane = nullptr;
  if (CreateUserPaneControl(GetDialogWindow(d->dialog), &r, kControlSupportsEmbedding, &pane) != noErr) return nullptr;
  Str255 font;
  pstr::set(font, sizeof font, gHoldHost.fontName.empty() ? std::string("Geneva") : gHoldHost.fontName);
  TXNObject obj = MLTENew(pane, 2, 3, font, gHoldHost.fontSize, gHoldHost.encoding, false);
  if (!obj) {
    DisposeControl(pane);
    return nullptr;
  }
  d->fields.push_back(SUB_FIELD{obj, pane, item, true});
  return &d->fields.back();
}

void DisposeSubFields(SUB_DLG* d) {
  for (SUB_FIELD& f : d->fields) {
    if (f.obj) MLTEDispose(&f.obj);
    if (f.pane) DisposeControl(f.pane);
  }
  d->fields.clear();
  for (BTN_DATA*& pair : d->spins) DisposeBtnData(&pair, 2);
  d->spins.clear();
}

SUB_FIELD* SubDlgField(SUB_DLG* d, short item) {
  if (!d) return nullptr;
  for (SUB_FIELD& f : d->fields)
    if (f.item == item) return &f;
  return nullptr;
}

void SubFieldSetText(SUB_FIELD* f, const std::string& utf8) {
  if (!f || !f->obj) return;
  MLTESetTextByControl(f->pane, kTXNTextData, utf8.data(), utf8.size());
  Draw1Control(f->pane);
}

std::string SubFieldText(const SUB_FIELD* f) { return f && f->obj ? tb::TXNText(f->obj) : std::string(); }

void SubFieldFocus(SUB_DLG* d, short item, bool selectAll) {
  if (!d) return;
  SUB_FIELD* f = SubDlgField(d, item);
  if (!f || !f->enabled) return;
  // The focus selects the whole text; the caller may set another selection.
  MLTESetKeyboardFocus(GetDialogWindow(d->dialog), f->pane);
  if (selectAll) TXNSelectAll(f->obj);
  Draw1Control(f->pane);
}

short SubFieldFocused(SUB_DLG* d) {
  if (!d) return 0;
  for (const SUB_FIELD& f : d->fields)
    if (MLTEGetFocus(f.pane) == 1) return f.item;
  return 0;
}

void SubFieldEnable(SUB_DLG* d, short item, bool on) {
  SUB_FIELD* f = SubDlgField(d, item);
  if (!f) return;
  f->enabled = on;
  const RGBColor white{0xFFFF, 0xFFFF, 0xFFFF}, grey{0xDDDD, 0xDDDD, 0xDDDD};
  if (!on && MLTEGetFocus(f->pane) == 1) MLTESetKeyboardFocus(GetDialogWindow(d->dialog), nullptr);
  MLTESetEnable(f->pane, on ? &white : &grey, on);
}

void SubFieldDraw(SUB_DLG*, const SUB_FIELD* f) {
  if (f && f->pane) Draw1Control(f->pane);
}

BTN_DATA* AddSubSpin(SUB_DLG* d, short fieldItem, short upItem, UInt16 min, UInt16 max) {
  SUB_FIELD* f = SubDlgField(d, fieldItem);
  if (!f) return nullptr;
  BTN_DATA* pair = NewSpinBtn(d->dialog, f->obj, f->pane, upItem, min, max, kSpinRepeatTicks, 1, gHoldHost.encoding);
  if (pair) d->spins.push_back(pair);
  return pair;
}

void SubDlgSpin(SUB_DLG* d, short half) {
  // The tracking reads the mouse in the dialog's coordinates.
  tb::PortSaver saver(GetDialogPort(d->dialog));
  for (BTN_DATA* pair : d->spins)
    for (int i = 0; i < 2; ++i)
      if (pair[i].item == half) PushSpinBtn(d->dialog, &pair[i]);
}

void SubDlgDrawSpins(SUB_DLG* d) {
  for (BTN_DATA* pair : d->spins) DrawSpinBtn(d->dialog, pair);
}

// ---- the sub-dialog frame ------------------------------------------------------

SUB_DLG* FrontSubDlg() { return gOpen.empty() ? nullptr : gOpen.back(); }
int SubDlgCount() { return int(gOpen.size()); }

void IdleSubDlg() {
  if (gNullEvtHdlSub.proc) gNullEvtHdlSub.proc(gNullEvtHdlSub.arg);
}

SUB_DLG* SubDlgOf(DialogRef dialog) {
  if (!dialog) return nullptr;
  for (SUB_DLG* d : gOpen)
    if (d->dialog == dialog) return d;
  return nullptr;
}

SUB_DLG* NewSubDlg(short id) {
  DialogRef dialog = GetNewDialog(id, nullptr, reinterpret_cast<WindowRef>(-1));
  if (!dialog) return nullptr;
  auto* d = new (std::nothrow) SUB_DLG{};
  if (!d) {
    DisposeDialog(dialog);
    return nullptr;
  }
  d->handlers = DLG_HANDLERS{subUpdate, subMouseDown, subKeyDown, subActivate};
  d->dialog = dialog;
  d->id = id;
  // All of the window in the content colour: a hidden item leaves no other.
  RGBColor content{0xEEEE, 0xEEEE, 0xEEEE};
  SetWindowContentColor(GetDialogWindow(dialog), &content);
  d->handler = BindDialogWindow(dialog, &d->handlers);
  EnableMenu(0, 0);
  gOpen.push_back(d);
  SetFrontDialog(dialog);
  {
    tb::PortSaver saver(GetDialogPort(dialog));
    TextFont(gHoldHost.font);
    TextSize(gHoldHost.fontSize);
  }
  return d;
}

void ShowSubDlg(SUB_DLG* d) {
  WindowRef w = GetDialogWindow(d->dialog);
  ShowWindow(w);
  SelectWindow(w);
}

void SetSubDlgIdle(SUB_DLG* d, void (*idle)(SUB_DLG*)) {
  d->idle = idle;
  d->savedHook = gNullEvtHdlSub;
  gNullEvtHdlSub = NULL_EVT_HOOK{idleHook, d};
}

void ActivateSubDlg(SUB_DLG* d) {
  if (!d) return;
  // The window behind the dialog goes behind the front window, so the
  // dialog and its owner stay together.
  WindowRef w = GetDialogWindow(d->dialog);
  WindowRef after = GetNextWindow(w);
  WindowRef front = FrontWindow();
  if (after && front && after != front && front != w) SendBehind(after, front);
}

int MouseDownSubDlg(const EventRecord* ev, SUB_DLG* d, short id) {
  (void)id;
  if (!d) return -1;
  WindowRef w = nullptr;
  WindowPartCode part = FindWindow(ev->where, &w);
  WindowRef mine = GetDialogWindow(d->dialog);
  if (w != mine) return -1;
  if (part == inDrag) {
    BitMap screen;
    GetQDGlobalsScreenBits(&screen);
    DragWindow(w, ev->where, &screen.bounds);
    return 0;
  }
  if (part == inGoAway) return TrackGoAway(w, ev->where) ? d->cancelItem : 0;
  if (part != inContent) return 0;
  if (FrontWindow() != w) {
    SelectWindow(w);
    return 0;
  }
  Point local = ev->where;
  {
    tb::PortSaver saver(GetDialogPort(d->dialog));
    GlobalToLocal(&local);
  }
  short item = short(FindDialogItem(d->dialog, local) + 1);
  if (item <= 0) return 0;
  if (SUB_FIELD* f = fieldAt(d, local)) {
    if (!f->enabled) return 0;
    TrackControl(f->pane, local, nullptr);
    return f->item;
  }
  if (isControlItem(d->dialog, item)) {
    DialogRef hit = nullptr;
    DialogItemIndex which = 0;
    if (!DialogSelect(ev, &hit, &which) || hit != d->dialog) return 0;
    return which;
  }
  if (itemDisabled(d->dialog, item)) return 0;
  return item;
}

void CloseSubDlg(SUB_DLG* d, short id) {
  (void)id;
  if (!d) return;
  auto it = std::find(gOpen.begin(), gOpen.end(), d);
  if (it == gOpen.end()) return;
  HideWindow(GetDialogWindow(d->dialog));
  gOpen.erase(it);
  if (gNullEvtHdlSub.arg == d) gNullEvtHdlSub = d->savedHook;
  if (d->handler) RemoveEventHandler(d->handler);
  // Off the dialog stack before the dialog's own closing, which may answer
  // a message's caller that closes or opens another dialog.
  ForgetDialog(d->dialog);
  if (d->dispose) d->dispose(d);
  DisposeSubFields(d);
  STCDisposeList(&d->labels);
  DisposeDialog(d->dialog);
  delete d;
  SetThemeCursor(kThemeArrowCursor);
}

void CancelSubDlg(SUB_DLG* d) {
  if (!d) return;
  if (d->cancelItem && d->select)
    d->select(d, d->cancelItem, nullptr);
  else
    CloseSubDlg(d, d->id);
}

void ChangeBeamCursorSubDlg(SUB_DLG* d, short first, short end, const short* items) {
  if (!d) return;
  Point pt;
  {
    tb::PortSaver saver(GetDialogPort(d->dialog));
    GetMouse(&pt);
  }
  for (short i = first; i <= end; ++i) {
    SUB_FIELD* f = SubDlgField(d, items[i]);
    Rect r = fieldView(d->dialog, items[i]);
    if (f && f->enabled && PtInRect(pt, &r)) {
      SetThemeCursor(kThemeIBeamCursor);
      return;
    }
  }
  SetThemeCursor(kThemeArrowCursor);
}

// ---- the message box ----------------------------------------------------------

namespace {

struct MSG_REC {
  int type = 1;
  MsgDlgCallback proc = nullptr;
  long a = 0, b = 0, c = 0;
  int result = 0;
};

void SelectMsgDlg(SUB_DLG* d, short item, const EventRecord*) {
  auto* m = static_cast<MSG_REC*>(d->data);
  if (item != 3 && item != 4) return;
  m->result = m->type == 1 ? 1 : item == 3 ? 2 : 4;
  CloseSubDlg(d, kMsgDlgID);
}

void MouseDownMsgDlg(SUB_DLG* d, const EventRecord* ev) {
  int item = MouseDownSubDlg(ev, d, kMsgDlgID);
  if (item > 0) SelectMsgDlg(d, short(item), ev);
}

// Return and Enter answer the only button, or the first of two.
bool KeyDownMsgDlg(SUB_DLG* d, const EventRecord* ev) {
  const char ch = char(ev->message & charCodeMask);
  if (ch != kReturnCharCode && ch != kEnterCharCode) return false;
  const short item = static_cast<MSG_REC*>(d->data)->type == 1 ? 4 : 3;
  flash(d->dialog, item);
  SelectMsgDlg(d, item, ev);
  return true;
}

void UpdateMsgDlg(SUB_DLG* d) {
  const int type = static_cast<MSG_REC*>(d->data)->type;
  // Item 1 holds the icon: a message's note, a question's caution.
  {
    tb::PortSaver saver(GetDialogPort(d->dialog));
    DialogItemType kind;
    Handle h;
    Rect r;
    GetDialogItem(d->dialog, 1, &kind, &h, &r);
    if (CIconHandle icon = GetCIcon(type == 1 ? kNoteIcon : kCautionIcon)) {
      PlotCIcon(&r, icon);
      DisposeCIcon(icon);
    }
  }
  drawDefaultRing(d->dialog, type == 1 ? 4 : 3);
}

void disposeMsg(SUB_DLG* d) {
  auto* m = static_cast<MSG_REC*>(d->data);
  if (m->proc) m->proc(m->a, m->b, m->c, m->result);
  delete m;
}

}  // namespace

int OpenMsgDlg(const char* titleText, const char* bodyText, int type, MsgDlgCallback proc, long a, long b, long c) {
  const std::string title = titleText ? titleText : "", text = bodyText ? bodyText : "";
  if (title.empty() || text.empty()) return 0;
  SUB_DLG* d = NewSubDlg(kMsgDlgID);
  if (!d) return 0;
  auto* m = new MSG_REC{type, proc, a, b, c, 0};
  d->data = m;
  d->select = SelectMsgDlg;
  d->mouseDown = MouseDownMsgDlg;
  d->key = KeyDownMsgDlg;
  d->update = UpdateMsgDlg;
  d->dispose = disposeMsg;
  Str255 t;
  SetPStrCut(t, title);
  SetWTitle(GetDialogWindow(d->dialog), t);
  SetItemText(d->dialog, 2, ExpandEscapes(text));
  if (type == 1) {
    SetItemTitle(d->dialog, 4, HoldString("BUTTON", "OK="));
    HideDialogItem(d->dialog, 3);
    DeactivateControl(GetItemControl(d->dialog, 3));
    d->defaultItem = 4;
    d->cancelItem = 4;
  } else {
    if (type == 6) {
      SetItemTitle(d->dialog, 3, HoldString("BUTTON", "YES="));
      SetItemTitle(d->dialog, 4, HoldString("BUTTON", "NO="));
    }
    d->defaultItem = 3;
    d->cancelItem = 4;
  }
  SetDialogDefaultItem(d->dialog, d->defaultItem);
  ShowSubDlg(d);
  return 1;
}

// Dialog Manager: item lists parsed from 'DLOG' and 'DITL' resources into
// controls, text and edit items, their drawing and focus ring, the keys and
// clicks of modeless and modal dialogs, and the dialog script commands
// tests drive them with.
#include "toolbox/dialogs.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "controls_internal.h"
#include "events_internal.h"
#include "textengine_internal.h"
#include "toolbox/display.h"
#include "toolbox/drawntext.h"
#include "toolbox/fonts.h"
#include "toolbox/menus.h"
#include "toolbox/pictures.h"
#include "toolbox/resources.h"
#include "toolbox/scrap.h"
#include "toolbox/testdriver.h"

namespace {

// A hidden item's rectangle as GetDialogItem reports it.
constexpr short kHiddenOffset = 16384;
// Pixels around an edit item to its frame, and around a button to the
// default ring.
constexpr short kEditFrame = 3;
constexpr short kRingOutset = 4;
constexpr OSErr kItemNotControlErr = -30601;

struct Item {
  DialogItemType type = 0;  // with itemDisable
  Rect rect{0, 0, 0, 0};    // where it is drawn (not moved when hidden)
  bool hidden = false;
  ControlRef control = nullptr;
  Handle text = nullptr;  // static text, owned
  TEHandle te = nullptr;  // edit text, owned
  UserItemUPP proc = nullptr;
  CIconHandle icon = nullptr;   // owned
  Handle given = nullptr;       // a handle SetDialogItem gave for another kind
  SInt16 resourceID = 0;

  int base() const { return type & 0x7F; }
  bool enabled() const { return !(type & itemDisable); }
  bool isControl() const { return base() >= ctrlItem && base() <= ctrlItem + resCtrl; }
  bool isEdit() const { return base() == editText && te; }
};

}  // namespace

struct DialogRecord {
  WindowRef window = nullptr;
  std::vector<Item> items;
  int focus = -1;  // index of the edit item with the keyboard focus
  DialogItemIndex defaultItem = 0;
  DialogItemIndex cancelItem = 0;
  bool tracksCursor = false;
};

namespace {

struct State {
  std::vector<std::unique_ptr<DialogRecord>> dialogs;
  std::string params[4];
  bool hooked = false;
  bool scripted = false;
};

State& st() {
  // Never destroyed: windows left open at exit are disposed after static
  // destruction has begun, and their dispose hooks reach these tables.
  static State& s = *new State;
  return s;
}

bool isDialog(DialogRef d) {
  if (!d) return false;
  for (const auto& p : st().dialogs)
    if (p.get() == d) return true;
  return false;
}

Item* itemAt(DialogRef d, DialogItemIndex n) {
  if (!isDialog(d) || n < 1 || std::size_t(n) > d->items.size()) return nullptr;
  return &d->items[std::size_t(n - 1)];
}

bool shown(DialogRef d) { return IsWindowVisible(d->window); }

void eraseInContent(DialogRef d, const Rect& r) {
  RGBColor content, back;
  GetWindowContentColor(d->window, &content);
  GetBackColor(&back);
  RGBBackColor(&content);
  EraseRect(&r);
  RGBBackColor(&back);
}

// ---------------------------------------------------------------------------
// Edit items

std::size_t lineHeightOf(TEHandle te) { return std::size_t(std::max<short>((**te).lineHeight, 1)); }

// Edit items follow the port's font as it is now.
void followPortFont(DialogRef d, Item& it) {
  if (!it.te) return;
  CGrafPtr port = GetWindowPort(d->window);
  TERec& r = **it.te;
  const short font = GetPortTextFont(port), size = GetPortTextSize(port);
  const Style face = GetPortTextFace(port);
  if (r.txFont == font && r.txFace == face && r.txSize == size) return;
  r.txFont = font;
  r.txFace = face;
  r.txSize = size;
  tb::PortSaver dp(GetWindowPort(d->window));
  FontInfo fi;
  GetFontInfo(&fi);
  r.lineHeight = short(std::max(1, fi.ascent + fi.descent + fi.leading));
  r.crOnly = (it.rect.bottom - it.rect.top) >= 2 * r.lineHeight ? 0 : -1;
  TECalText(it.te);
}

void placeEdit(Item& it) {
  TERec& r = **it.te;
  r.destRect = it.rect;
  r.viewRect = it.rect;
  r.crOnly = (it.rect.bottom - it.rect.top) >= 2 * short(lineHeightOf(it.te)) ? 0 : -1;
  TECalText(it.te);
}

bool multiLine(const Item& it) { return (**it.te).crOnly >= 0; }

// The focused record is active while its window is shown and highlighted.
void syncActive(DialogRef d) {
  const bool want = shown(d) && IsWindowHilited(d->window);
  for (std::size_t i = 0; i < d->items.size(); ++i) {
    Item& it = d->items[i];
    if (!it.isEdit()) continue;
    const bool on = want && int(i) == d->focus && !it.hidden;
    if (on && !(**it.te).active) {
      tb::PortSaver dp(GetWindowPort(d->window));
      followPortFont(d, it);
      TEActivate(it.te);
    } else if (!on && (**it.te).active) {
      tb::PortSaver dp(GetWindowPort(d->window));
      TEDeactivate(it.te);
    }
  }
}

void setFocus(DialogRef d, int index) {
  if (d->focus == index) return;
  if (d->focus >= 0 && std::size_t(d->focus) < d->items.size() && d->items[std::size_t(d->focus)].te) {
    tb::PortSaver dp(GetWindowPort(d->window));
    TEDeactivate(d->items[std::size_t(d->focus)].te);
  }
  d->focus = index;
  syncActive(d);
}

// The next (or previous) shown edit item after index, wrapping; -1 none.
int nextEdit(DialogRef d, int from, int step) {
  const int n = int(d->items.size());
  for (int k = 1; k <= n; ++k) {
    int i = ((from + step * k) % n + n) % n;
    if (d->items[std::size_t(i)].isEdit() && !d->items[std::size_t(i)].hidden) return i;
  }
  return -1;
}

void focusAndSelectAll(DialogRef d, int index) {
  setFocus(d, index);
  if (index >= 0) {
    tb::PortSaver dp(GetWindowPort(d->window));
    TESetSelect(0, kTEMaxLength, d->items[std::size_t(index)].te);
  }
}

// ---------------------------------------------------------------------------
// Drawing

std::string substituted(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '^' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3') {
      out += st().params[text[i + 1] - '0'];
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string handleText(Handle h) {
  if (!h || !*h) return {};
  return std::string(*h, std::size_t(GetHandleSize(h)));
}

// Static text: wrapped into the rectangle in the port's font, over the
// erased rectangle.
void drawStatic(const Item& it) {
  std::string text = substituted(handleText(it.text));
  Rect r = it.rect;
  TEHandle te = TENew(&r, &r);
  if (!te) return;
  TESetText(text.data(), long(text.size()), te);
  TEUpdate(&r, te);
  TEDispose(te);
}

void drawEdit(DialogRef d, Item& it) {
  followPortFont(d, it);
  Rect frame = it.rect;
  InsetRect(&frame, -kEditFrame, -kEditFrame);
  Rect inside = frame;
  InsetRect(&inside, 1, 1);
  EraseRect(&inside);
  PenState ps;
  GetPenState(&ps);
  PenNormal();
  RGBColor fore, grey{0x8888, 0x8888, 0x8888};
  GetForeColor(&fore);
  if (!it.enabled()) RGBForeColor(&grey);
  FrameRect(&frame);
  RGBForeColor(&fore);
  SetPenState(&ps);
  TEUpdate(&it.rect, it.te);
}

bool ringFor(DialogRef d, Rect* ring) {
  Item* it = itemAt(d, d->defaultItem);
  if (!it || it->hidden || !it->control || !IsControlVisible(it->control)) return false;
  GetControlBounds(it->control, ring);
  InsetRect(ring, -kRingOutset, -kRingOutset);
  return true;
}

void drawRing(DialogRef d) {
  Rect ring;
  if (!ringFor(d, &ring)) return;
  Item* it = itemAt(d, d->defaultItem);
  PenState ps;
  GetPenState(&ps);
  RGBColor fore, grey{0x8888, 0x8888, 0x8888}, black{0, 0, 0};
  GetForeColor(&fore);
  RGBForeColor(IsControlActive(it->control) ? &black : &grey);
  PenNormal();
  PenSize(3, 3);
  FrameRoundRect(&ring, 16, 16);
  RGBForeColor(&fore);
  SetPenState(&ps);
}

void drawItem(DialogRef d, DialogItemIndex n) {
  Item* it = itemAt(d, n);
  if (!it || it->hidden) return;
  if (it->control) {
    tb::DrawnTextScope tag(tb::TextSource::kControlTitle, &it->rect, n);
    Draw1Control(it->control);
    return;
  }
  switch (it->base()) {
    case statText: {
      tb::DrawnTextScope tag(tb::TextSource::kStaticText, &it->rect, n);
      drawStatic(*it);
      break;
    }
    case editText:
      if (it->te) {
        tb::DrawnTextScope tag(tb::TextSource::kEditText, &it->rect, n);
        drawEdit(d, *it);
      }
      break;
    case iconItem:
      if (it->icon) PlotCIcon(&it->rect, it->icon);
      break;
    case picItem:
      // Fetched each time: the program may release the resource meanwhile.
      if (PicHandle pic = GetPicture(it->resourceID)) DrawPicture(pic, &it->rect);
      break;
    case userItem:
      if (it->proc) {
        PenState ps;
        GetPenState(&ps);
        it->proc(d, n);
        SetPort(GetWindowPort(d->window));
        SetPenState(&ps);
      }
      break;
    default:
      break;
  }
}

// Draws one item now, when the dialog shows (with the ring when it is the
// default button).
void redrawItem(DialogRef d, DialogItemIndex n) {
  if (!shown(d)) return;
  tb::PortSaver dp(GetWindowPort(d->window));
  drawItem(d, n);
  if (n == d->defaultItem) drawRing(d);
}

Rect outerRect(DialogRef d, DialogItemIndex n) {
  Item* it = itemAt(d, n);
  Rect r = it->rect;
  if (it->base() == editText) InsetRect(&r, -kEditFrame, -kEditFrame);
  if (n == d->defaultItem) InsetRect(&r, -kRingOutset, -kRingOutset);
  return r;
}

// ---------------------------------------------------------------------------
// Making items

void disposeItem(Item& it) {
  if (it.control) DisposeControl(it.control);
  if (it.te) TEDispose(it.te);
  if (it.text) DisposeHandle(it.text);
  if (it.icon) DisposeCIcon(it.icon);
  it = Item{};
}

// Makes an item in the dialog (its port current).
Item makeItem(DialogRef d, const tb::DialogItemTemplate& t) {
  Item it;
  it.type = t.kind;
  it.rect = t.rect;
  it.resourceID = t.resourceID;
  Str255 title;
  pstr::set(title, sizeof title, t.text);
  switch (it.base()) {
    case ctrlItem + btnCtrl:
    case ctrlItem + chkCtrl:
    case ctrlItem + radCtrl: {
      static const SInt16 procs[] = {pushButProc, checkBoxProc, radioButProc};
      it.control = NewControl(d->window, &it.rect, title, true, 0, 0, 1, procs[it.base() - ctrlItem], 0);
      break;
    }
    case ctrlItem + resCtrl:
      it.control = GetNewControl(t.resourceID, d->window);
      // The item's rectangle places the control.
      if (it.control) SetControlBounds(it.control, &it.rect);
      break;
    case statText:
      PtrToHand(t.text.data(), &it.text, Size(t.text.size()));
      break;
    case editText:
      it.te = TENew(&it.rect, &it.rect);
      if (it.te) {
        TEFeatureFlag(teFAutoScroll, teBitSet, it.te);
        placeEdit(it);
        TESetText(t.text.data(), long(t.text.size()), it.te);
      }
      break;
    case iconItem:
      it.icon = GetCIcon(t.resourceID);
      break;
    default:
      break;
  }
  return it;
}

// Appends items, moved by (dh, dv).
void addItems(DialogRef d, const std::vector<tb::DialogItemTemplate>& list, short dh, short dv) {
  tb::PortSaver dp(GetWindowPort(d->window));
  d->items.reserve(d->items.size() + list.size());
  for (tb::DialogItemTemplate t : list) {
    OffsetRect(&t.rect, dh, dv);
    d->items.push_back(makeItem(d, t));
    if (shown(d)) {
      Rect r = t.rect;
      InsetRect(&r, -kRingOutset, -kRingOutset);
      InvalWindowRect(d->window, &r);
    }
  }
  // The first edit item takes the focus when none has it.
  if (d->focus < 0) {
    int first = nextEdit(d, -1, 1);
    if (first >= 0) focusAndSelectAll(d, first);
  }
}

void onWindowDisposed(WindowRef w);

// The default button's ring takes the look of the button, which follows
// its window's activation: a window brought forward without being drawn
// again (nothing of it was covered) showed the ring of an inactive one.
void onControlActivity(WindowRef w) {
  DialogRef d = GetDialogFromWindow(w);
  if (!d || !shown(d)) return;
  tb::PortSaver dp(GetWindowPort(w));
  drawRing(d);
}

void registerScriptCommands();

DialogRef makeDialog(const Rect& bounds, ConstStr255Param title, bool visible, SInt16 procID, WindowRef behind,
                     bool goAway, SInt32 refCon, UInt16 position, const std::vector<tb::DialogItemTemplate>& items) {
  State& s = st();
  if (!s.hooked) {
    s.hooked = true;
    tb::detail::SetControlActivityObserver(onControlActivity);
    tb::AddWindowDisposeHook(onWindowDisposed);
  }
  registerScriptCommands();
  WindowRef w = NewCWindow(nullptr, &bounds, title, false, procID, behind, goAway, refCon);
  if (!w) return nullptr;
  if (position == 0x280A || position == 0x300A) {
    // Centred, or a third of the way down, below the menu bar.
    const Rect screen = tb::ScreenBounds();
    const short wd = short(bounds.right - bounds.left), h = short(bounds.bottom - bounds.top);
    const short top = short(GetMBarHeight() + tb::TitleBarHeight(w) + 1);
    const short avail = short(screen.bottom - top);
    const short newTop = std::max(short(top + (avail - h) / (position == 0x280A ? 2 : 3)), top);
    MoveWindow(w, std::max<short>(short((screen.right - wd) / 2), 0), newTop, false);
  }
  SetWindowKind(w, kDialogWindowKind);
  s.dialogs.push_back(std::make_unique<DialogRecord>());
  DialogRef d = s.dialogs.back().get();
  d->window = w;
  addItems(d, items, 0, 0);
  if (visible) ShowWindow(w);
  return d;
}

void freeDialog(DialogRef d) {
  auto& v = st().dialogs;
  auto it = std::find_if(v.begin(), v.end(), [&](const auto& p) { return p.get() == d; });
  if (it == v.end()) return;
  std::unique_ptr<DialogRecord> keep = std::move(*it);
  v.erase(it);
  for (Item& item : d->items) disposeItem(item);
}

void onWindowDisposed(WindowRef w) {
  if (DialogRef d = GetDialogFromWindow(w)) freeDialog(d);
}

std::vector<UInt8> handleBytes(Handle h) {
  if (!h || !*h) return {};
  const Size n = GetHandleSize(h);
  return std::vector<UInt8>(reinterpret_cast<UInt8*>(*h), reinterpret_cast<UInt8*>(*h) + n);
}

// ---------------------------------------------------------------------------
// Events

// Flashes a button item, as a press would.
void flash(DialogRef d, DialogItemIndex n) {
  Item* it = itemAt(d, n);
  if (!it || !it->control) return;
  HiliteControl(it->control, kControlButtonPart);
  QDFlushPortBuffer(GetWindowPort(d->window), nullptr);
  Delay(8, nullptr);
  HiliteControl(it->control, 0);
  QDFlushPortBuffer(GetWindowPort(d->window), nullptr);
}

bool usable(DialogRef d, DialogItemIndex n) {
  Item* it = itemAt(d, n);
  return it && !it->hidden && it->enabled() && (!it->control || IsControlActive(it->control));
}

// Pastes the clipboard's text into an edit item; a one-line item takes
// line ends as spaces.
void pasteInto(Item& it) {
  std::string text;
  if (!tb::GetScrapText(&text)) return;
  if (!multiLine(it))
    for (char& c : text)
      if (c == '\r' || c == '\n') c = ' ';
  TEDelete(it.te);
  TEInsert(text.data(), long(text.size()), it.te);
  const short end = (**it.te).selEnd;
  TESetSelect(end, end, it.te);
}

bool handleKey(DialogRef d, const EventRecord& e, DialogItemIndex* itemHit) {
  const unsigned char c = static_cast<unsigned char>(e.message & charCodeMask);
  const UInt8 code = UInt8((e.message & keyCodeMask) >> 8);
  if (e.modifiers & cmdKey) {
    if (d->focus < 0) return false;
    Item& it = d->items[std::size_t(d->focus)];
    tb::PortSaver dp(GetWindowPort(d->window));
    followPortFont(d, it);
    switch (c | 0x20) {
      case 'x':
        TECut(it.te);
        break;
      case 'c':
        TECopy(it.te);
        break;
      case 'v':
        pasteInto(it);
        break;
      case 'a':
        TESetSelect(0, kTEMaxLength, it.te);
        break;
      default:
        break;
    }
    return false;
  }
  if (c == kTabCharCode) {
    int next = nextEdit(d, d->focus, (e.modifiers & shiftKey) ? -1 : 1);
    if (next >= 0) {
      if (next == d->focus) {
        tb::PortSaver dp(GetWindowPort(d->window));
        TESetSelect(0, kTEMaxLength, d->items[std::size_t(next)].te);
      } else {
        focusAndSelectAll(d, next);
      }
    }
    return false;
  }
  if (d->focus < 0) return false;
  Item& it = d->items[std::size_t(d->focus)];
  if (c == kEnterCharCode || c == kEscapeCharCode || code == kVK_Escape) return false;
  if (c == kReturnCharCode && !multiLine(it)) return false;
  tb::PortSaver dp(GetWindowPort(d->window));
  followPortFont(d, it);
  tb::TEKeyWithModifiers(c, e.modifiers, it.te);
  if (!it.enabled()) return false;
  *itemHit = DialogItemIndex(d->focus + 1);
  return true;
}

// The item a press at the local point is for: the item whose control is
// under it, else the last shown item holding it (items later in the list
// lie over earlier ones, as a page's items lie over its frame's).
int itemUnder(DialogRef d, Point local) {
  ControlRef c = nullptr;
  if (FindControl(local, d->window, &c) && c)
    for (std::size_t i = 0; i < d->items.size(); ++i)
      if (d->items[i].control == c && !d->items[i].hidden) return int(i);
  // A disabled user item drawn around other items (a group's frame) takes
  // only the clicks that reach no item inside it.
  int frame = -1;
  for (std::size_t i = d->items.size(); i-- > 0;) {
    const Item& it = d->items[i];
    if (it.hidden || !PtInRect(local, &it.rect)) continue;
    if (it.base() == userItem && !it.enabled()) {
      if (frame < 0) frame = int(i);
      continue;
    }
    // A control item no control answered for is inactive.
    if (it.control) return -1;
    return int(i);
  }
  return frame;
}

bool handleMouse(DialogRef d, const EventRecord& e, DialogItemIndex* itemHit) {
  tb::PortSaver dp(GetWindowPort(d->window));
  Point local = e.where;
  GlobalToLocal(&local);
  const int z = itemUnder(d, local);
  if (z < 0) return false;
  const DialogItemIndex n = DialogItemIndex(z + 1);
  Item& it = d->items[std::size_t(z)];
  if (it.control) {
    if (!TrackControl(it.control, local, kControlUseOwnAction) || !it.enabled()) return false;
    *itemHit = n;
    return true;
  }
  if (it.isEdit()) {
    if (d->focus != z) setFocus(d, z);
    followPortFont(d, it);
    TEClick(local, (e.modifiers & shiftKey) != 0, it.te);
  }
  if (!it.enabled()) return false;
  *itemHit = n;
  return true;
}

void trackCursor(DialogRef d, Point global) {
  if (!d->tracksCursor) return;
  tb::PortSaver dp(GetWindowPort(d->window));
  Point local = global;
  GlobalToLocal(&local);
  const int z = itemUnder(d, local);
  const bool overEdit = z >= 0 && d->items[std::size_t(z)].isEdit();
  if (overEdit) {
    if (CursHandle beam = GetCursor(iBeamCursor)) SetCursor(*beam);
  } else {
    Cursor arrow;
    SetCursor(GetQDGlobalsArrow(&arrow));
  }
}

DialogRef frontDialog() {
  WindowRef w = FrontWindow();
  return w ? GetDialogFromWindow(w) : nullptr;
}

void updateWindowOfDialog(DialogRef d) {
  BeginUpdate(d->window);
  {
    tb::PortSaver dp(GetWindowPort(d->window));
    tb::OwnedRgn area;
    GetPortVisibleRegion(GetWindowPort(d->window), area);
    Rect box;
    GetRegionBounds(area, &box);
    eraseInContent(d, box);
    UpdateDialog(d, area);
    tb::txn::DrawWindowObjects(d->window);
  }
  EndUpdate(d->window);
}

// ---------------------------------------------------------------------------
// Test driving

Point itemCenter(const Item& it) {
  return Point{short((it.rect.top + it.rect.bottom) / 2), short((it.rect.left + it.rect.right) / 2)};
}

bool parseNumber(const std::string& s, long* out) {
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end) return false;
  *out = v;
  return true;
}

void registerScriptCommands() {
  if (st().scripted) return;
  st().scripted = true;
  using W = const std::vector<std::string>&;
  using R = tb::ScriptResult;
  auto dialogItem = [](W w, DialogRef* d, DialogItemIndex* n, std::string* e) {
    long v = 0;
    if (w.size() < 3 || !parseNumber(w[2], &v) || v < 1 || v > 32767) {
      *e = "usage: " + w[0] + " TITLE ITEM ...";
      return false;
    }
    *d = tb::FindDialogByTitle(w[1]);
    if (!*d) {
      *e = "no dialog \"" + w[1] + "\"";
      return false;
    }
    *n = DialogItemIndex(v);
    return true;
  };
  // click-item TITLE ITEM [DX DY]: at the item's centre, or DX DY in from
  // its top-left corner (a row of a list).
  tb::RegisterScriptCommand("click-item", [=](W w, std::string* e) {
    DialogRef d;
    DialogItemIndex n;
    if (!dialogItem(w, &d, &n, e)) return R::kFailed;
    long dx = 0, dy = 0;
    if (w.size() == 5 && parseNumber(w[3], &dx) && parseNumber(w[4], &dy)) {
      Item* it = itemAt(d, n);
      if (it && !it->hidden && shown(d) &&
          tb::ClickInWindow(d->window, Point{short(it->rect.top + dy), short(it->rect.left + dx)}))
        return R::kDone;
      *e = "no shown item " + w[2] + " in \"" + w[1] + "\"";
      return R::kFailed;
    }
    if (w.size() != 3) {
      *e = "usage: click-item TITLE ITEM [DX DY]";
      return R::kFailed;
    }
    if (!tb::ClickDialogItem(d, n)) {
      *e = "no shown item " + w[2] + " in \"" + w[1] + "\"";
      return R::kFailed;
    }
    return R::kDone;
  });
  // wait-item TITLE ITEM [MS]: until the dialog is shown with the item
  // shown and active (a pop-up the program fills and enables later).
  tb::RegisterScriptCommand("wait-item", [=](W w, std::string* e) {
    long ms = 5000, v = 0;
    if (w.size() < 3 || w.size() > 4 || !parseNumber(w[2], &v) || v < 1 || v > 32767 ||
        (w.size() == 4 && !parseNumber(w[3], &ms))) {
      *e = "usage: wait-item TITLE ITEM [MS]";
      return R::kFailed;
    }
    DialogRef d = tb::FindDialogByTitle(w[1]);
    Item* it = d ? itemAt(d, DialogItemIndex(v)) : nullptr;
    if (it && !it->hidden && shown(d) && (!it->control || IsControlActive(it->control))) return R::kDone;
    if (tb::ScriptTimedOut(UInt64(std::max<long>(ms, 0)))) {
      *e = "item " + w[2] + " of \"" + w[1] + "\" was not shown and active";
      return R::kFailed;
    }
    return R::kAgain;
  });
  tb::RegisterScriptCommand("type-item", [=](W w, std::string* e) {
    DialogRef d;
    DialogItemIndex n;
    if (!dialogItem(w, &d, &n, e)) return R::kFailed;
    std::string text;
    for (std::size_t i = 3; i < w.size(); ++i) text += (i > 3 ? " " : "") + w[i];
    if (!tb::TypeIntoDialogItem(d, n, text)) {
      *e = "no shown edit item " + w[2] + " in \"" + w[1] + "\"";
      return R::kFailed;
    }
    return R::kDone;
  });
  tb::RegisterScriptCommand("popup-item", [=](W w, std::string* e) {
    DialogRef d;
    DialogItemIndex n;
    long choice = 0;
    if (!dialogItem(w, &d, &n, e)) return R::kFailed;
    if (w.size() != 4 || !parseNumber(w[3], &choice) || choice < 1 || choice > 32767 ||
        !tb::ChooseDialogPopupItem(d, n, MenuItemIndex(choice))) {
      *e = "usage: popup-item TITLE ITEM MENU-ITEM (a shown pop-up item and one of its menu items)";
      return R::kFailed;
    }
    return R::kDone;
  });
  tb::RegisterScriptCommand("expect-item-text", [=](W w, std::string* e) {
    DialogRef d;
    DialogItemIndex n;
    if (!dialogItem(w, &d, &n, e)) return R::kFailed;
    std::string want;
    for (std::size_t i = 3; i < w.size(); ++i) want += (i > 3 ? " " : "") + w[i];
    std::string got = tb::DialogItemText(d, n);
    if (got != want) {
      *e = "item " + w[2] + " of \"" + w[1] + "\" reads \"" + got + "\", not \"" + want + "\"";
      return R::kFailed;
    }
    return R::kDone;
  });
}

}  // namespace

// ---------------------------------------------------------------------------
// Resource layouts

OSErr tb::ParseItemList(std::span<const UInt8> data, std::vector<DialogItemTemplate>& out) {
  out.clear();
  UInt16 raw = 0;
  if (!be::get16(data, 0, raw)) return paramErr;
  const std::size_t count = raw == 0xFFFF ? 0 : std::size_t(raw) + 1;
  // Every item takes at least 14 bytes.
  if (count > (data.size() - 2) / 14) return paramErr;
  std::vector<DialogItemTemplate> items;
  items.reserve(count);
  std::size_t off = 2;
  for (std::size_t i = 0; i < count; ++i) {
    if (off > data.size() || data.size() - off < 14) return paramErr;
    const UInt8* p = data.data() + off;
    DialogItemTemplate t;
    t.rect = Rect{SInt16(be::get16(p + 4)), SInt16(be::get16(p + 6)), SInt16(be::get16(p + 8)),
                  SInt16(be::get16(p + 10))};
    if (t.rect.bottom < t.rect.top || t.rect.right < t.rect.left) return paramErr;
    t.kind = p[12];
    const std::size_t len = p[13];
    if (data.size() - off - 14 < len) return paramErr;
    const UInt8* body = p + 14;
    t.resourceID = 0;
    switch (t.kind & 0x7F) {
      case ctrlItem + btnCtrl:
      case ctrlItem + chkCtrl:
      case ctrlItem + radCtrl:
      case statText:
      case editText:
        t.text.assign(reinterpret_cast<const char*>(body), len);
        break;
      case ctrlItem + resCtrl:
      case iconItem:
      case picItem:
        if (len < 2) return paramErr;
        t.resourceID = SInt16(be::get16(body));
        break;
      case userItem:
        break;
      default:
        return paramErr;
    }
    items.push_back(std::move(t));
    off += 14 + len + (len & 1);
  }
  out = std::move(items);
  return noErr;
}

OSErr tb::ParseDialogTemplate(std::span<const UInt8> data, DialogTemplate* out) {
  if (!out || data.size() < 21) return paramErr;
  const UInt8* p = data.data();
  DialogTemplate t;
  t.bounds = Rect{SInt16(be::get16(p)), SInt16(be::get16(p + 2)), SInt16(be::get16(p + 4)), SInt16(be::get16(p + 6))};
  if (t.bounds.bottom <= t.bounds.top || t.bounds.right <= t.bounds.left) return paramErr;
  t.procID = SInt16(be::get16(p + 8));
  t.visible = be::get16(p + 10) != 0;
  t.goAway = be::get16(p + 12) != 0;
  t.refCon = SInt32(be::get32(p + 14));
  t.itemsID = SInt16(be::get16(p + 18));
  const std::size_t len = p[20];
  if (data.size() - 21 < len) return paramErr;
  t.title.assign(reinterpret_cast<const char*>(p + 21), len);
  std::size_t at = 21 + len;
  if (at % 2) ++at;
  UInt16 pos = 0;
  t.position = be::get16(data, at, pos) ? pos : 0;
  *out = std::move(t);
  return noErr;
}

// ---------------------------------------------------------------------------
// Making and disposing

DialogRef GetNewDialog(SInt16 dialogID, void*, WindowRef behind) {
  Handle dlog = GetResource('DLOG', dialogID);
  tb::DialogTemplate t;
  if (!dlog || tb::ParseDialogTemplate(handleBytes(dlog), &t) != noErr) return nullptr;
  Handle ditl = GetResource('DITL', t.itemsID);
  std::vector<tb::DialogItemTemplate> items;
  if (!ditl || tb::ParseItemList(handleBytes(ditl), items) != noErr) return nullptr;
  Str255 title;
  pstr::set(title, sizeof title, t.title);
  return makeDialog(t.bounds, title, t.visible, t.procID, behind, t.goAway, t.refCon, t.position, items);
}

DialogRef NewDialog(void*, const Rect* boundsRect, ConstStr255Param title, Boolean visible, SInt16 procID,
                    WindowRef behind, Boolean goAwayFlag, SInt32 refCon, Handle items) {
  if (!boundsRect) return nullptr;
  std::vector<tb::DialogItemTemplate> list;
  if (tb::ParseItemList(handleBytes(items), list) != noErr) return nullptr;
  return makeDialog(*boundsRect, title, visible, procID, behind, goAwayFlag, refCon, 0, list);
}

DialogRef NewColorDialog(void* storage, const Rect* boundsRect, ConstStr255Param title, Boolean visible,
                         SInt16 procID, WindowRef behind, Boolean goAwayFlag, SInt32 refCon, Handle items) {
  return NewDialog(storage, boundsRect, title, visible, procID, behind, goAwayFlag, refCon, items);
}

void DisposeDialog(DialogRef d) {
  if (!isDialog(d)) return;
  WindowRef w = d->window;
  freeDialog(d);
  DisposeWindow(w);
}

WindowRef GetDialogWindow(DialogRef d) { return isDialog(d) ? d->window : nullptr; }

DialogRef GetDialogFromWindow(WindowRef w) {
  if (!w) return nullptr;
  for (const auto& p : st().dialogs)
    if (p->window == w) return p.get();
  return nullptr;
}

CGrafPtr GetDialogPort(DialogRef d) { return isDialog(d) ? GetWindowPort(d->window) : nullptr; }

void SetPortDialogPort(DialogRef d) {
  if (isDialog(d)) SetPort(GetWindowPort(d->window));
}

// ---------------------------------------------------------------------------
// Events

Boolean IsDialogEvent(const EventRecord* e) {
  if (!e) return false;
  // Programs may keep activate events from DialogSelect; the edit items
  // still follow their windows.
  if (e->what == activateEvt)
    for (const auto& p : st().dialogs) syncActive(p.get());
  switch (e->what) {
    case updateEvt:
    case activateEvt:
      return GetDialogFromWindow(reinterpret_cast<WindowRef>(std::uintptr_t(e->message))) != nullptr;
    case mouseDown: {
      WindowRef w = nullptr;
      if (FindWindow(e->where, &w) != inContent) return false;
      return w && w == FrontWindow() && GetDialogFromWindow(w);
    }
    case nullEvent:
    case mouseUp:
    case keyDown:
    case keyUp:
    case autoKey:
      return frontDialog() != nullptr;
    default:
      return false;
  }
}

Boolean DialogSelect(const EventRecord* e, DialogRef* theDialog, DialogItemIndex* itemHit) {
  if (!e) return false;
  DialogItemIndex scratch = 0;
  if (!itemHit) itemHit = &scratch;
  for (const auto& p : st().dialogs) syncActive(p.get());
  DialogRef d = nullptr;
  bool hit = false;
  switch (e->what) {
    case mouseDown: {
      WindowRef w = nullptr;
      if (FindWindow(e->where, &w) != inContent) return false;
      d = GetDialogFromWindow(w);
      if (!d) return false;
      if (tb::txn::RouteClick(d->window, *e)) return false;
      hit = handleMouse(d, *e, itemHit);
      break;
    }
    case keyDown:
    case autoKey:
      d = frontDialog();
      if (!d) return false;
      if (tb::txn::RouteKey(d->window, *e)) return false;
      hit = handleKey(d, *e, itemHit);
      break;
    case updateEvt:
      d = GetDialogFromWindow(reinterpret_cast<WindowRef>(std::uintptr_t(e->message)));
      if (d) updateWindowOfDialog(d);
      return false;
    case activateEvt:
      d = GetDialogFromWindow(reinterpret_cast<WindowRef>(std::uintptr_t(e->message)));
      if (d) syncActive(d);
      return false;
    case nullEvent:
    default:
      d = frontDialog();
      if (!d) return false;
      trackCursor(d, e->where);
      if (d->focus >= 0) {
        tb::PortSaver dp(GetWindowPort(d->window));
        TEIdle(d->items[std::size_t(d->focus)].te);
      }
      tb::txn::RouteIdle(d->window);
      return false;
  }
  if (hit && theDialog) *theDialog = d;
  return hit;
}

void ModalDialog(ModalFilterUPP filter, DialogItemIndex* itemHit) {
  DialogItemIndex scratch = 0;
  if (!itemHit) itemHit = &scratch;
  DialogRef d = frontDialog();
  if (!d) {
    for (WindowRef w = GetWindowList(); w && !d; w = GetNextWindow(w))
      if (IsWindowVisible(w)) d = GetDialogFromWindow(w);
  }
  if (!d) {
    *itemHit = 0;
    return;
  }
  syncActive(d);
  tb::detail::ModalScope modal;
  for (;;) {
    if (!isDialog(d)) {
      // Disposed by the filter or an update handler: nothing is left to run.
      *itemHit = 0;
      return;
    }
    EventRecord e;
    // High-level events wait for the program's own loop: reported here they
    // could only be passed over, and would wake every pass at once.
    WaitNextEvent(EventMask(everyEvent & ~highLevelEventMask), &e, GetCaretTime(), nullptr);
    SetPort(GetWindowPort(d->window));
    DialogItemIndex item = 0;
    if (filter && filter(d, &e, &item)) {
      *itemHit = item;
      return;
    }
    if (!isDialog(d)) continue;
    switch (e.what) {
      case keyDown:
      case autoKey: {
        const unsigned char c = static_cast<unsigned char>(e.message & charCodeMask);
        const UInt8 code = UInt8((e.message & keyCodeMask) >> 8);
        DialogItemIndex answer = 0;
        if (c == kReturnCharCode || c == kEnterCharCode) {
          const bool takesReturn = tb::txn::FocusedTakesReturn(d->window) ||
                                   (d->focus >= 0 && multiLine(d->items[std::size_t(d->focus)]));
          if (!(takesReturn && c == kReturnCharCode))
            answer = d->defaultItem;
        } else if (c == kEscapeCharCode || code == kVK_Escape || ((e.modifiers & cmdKey) && c == '.')) {
          answer = d->cancelItem;
        }
        if (answer && usable(d, answer)) {
          flash(d, answer);
          *itemHit = answer;
          return;
        }
        break;
      }
      case mouseDown: {
        // Only the dialog's content takes presses. Moving the dialog and
        // beeping at other windows is the filters' part: done here as well,
        // a drag would move the dialog twice and a beep sound twice.
        WindowRef w = nullptr;
        if (FindWindow(e.where, &w) != inContent || w != d->window) continue;
        break;
      }
      case updateEvt: {
        WindowRef w = reinterpret_cast<WindowRef>(std::uintptr_t(e.message));
        if (w != d->window) {
          // The filter had its chance to draw it; a dialog draws itself, any
          // other window is left as it is so the loop does not spin on it.
          if (DialogRef other = GetDialogFromWindow(w)) {
            updateWindowOfDialog(other);
          } else {
            BeginUpdate(w);
            EndUpdate(w);
          }
          continue;
        }
        break;
      }
      case activateEvt:
        if (reinterpret_cast<WindowRef>(std::uintptr_t(e.message)) != d->window) continue;
        break;
      case osEvt:
      case diskEvt:
        continue;
      default:
        break;
    }
    DialogRef hitDialog = nullptr;
    if (DialogSelect(&e, &hitDialog, &item) && hitDialog == d) {
      *itemHit = item;
      return;
    }
  }
}

void DrawDialog(DialogRef d) { UpdateDialog(d, nullptr); }

void UpdateDialog(DialogRef d, RgnHandle rgn) {
  if (!isDialog(d)) return;
  syncActive(d);
  tb::PortSaver dp(GetWindowPort(d->window));
  for (std::size_t i = 0; i < d->items.size(); ++i) {
    const DialogItemIndex n = DialogItemIndex(i + 1);
    if (d->items[i].hidden) continue;
    Rect r = outerRect(d, n);
    if (rgn && !RectInRgn(&r, rgn)) continue;
    drawItem(d, n);
  }
  drawRing(d);
}

// ---------------------------------------------------------------------------
// Items

DialogItemIndex CountDITL(DialogRef d) { return isDialog(d) ? DialogItemIndex(d->items.size()) : 0; }

void ShortenDITL(DialogRef d, DialogItemIndex numberItems) {
  if (!isDialog(d) || numberItems <= 0) return;
  const std::size_t keep = d->items.size() - std::min<std::size_t>(std::size_t(numberItems), d->items.size());
  if (d->focus >= int(keep)) setFocus(d, -1);
  for (std::size_t i = d->items.size(); i-- > keep;) {
    if (shown(d) && !d->items[i].hidden) {
      Rect r = outerRect(d, DialogItemIndex(i + 1));
      InvalWindowRect(d->window, &r);
    }
    disposeItem(d->items[i]);
    d->items.pop_back();
  }
  if (std::size_t(std::max<int>(d->defaultItem, 0)) > keep) d->defaultItem = 0;
  if (std::size_t(std::max<int>(d->cancelItem, 0)) > keep) d->cancelItem = 0;
  if (d->focus < 0) {
    int first = nextEdit(d, -1, 1);
    if (first >= 0) focusAndSelectAll(d, first);
  }
}

void AppendDITL(DialogRef d, Handle theHandle, DITLMethod method) {
  if (!isDialog(d)) return;
  std::vector<tb::DialogItemTemplate> list;
  if (tb::ParseItemList(handleBytes(theHandle), list) != noErr || list.empty()) return;
  if (d->items.size() + list.size() > 32767) return;
  short dh = 0, dv = 0;
  if (method != overlayDITL) {
    // Below or to the right of the whole dialog, or of one item.
    Rect ref{0, 0, 0, 0};
    if (method < 0) {
      Item* it = itemAt(d, DialogItemIndex(-method));
      if (!it) return;
      ref = it->rect;
    } else {
      GetWindowPortBounds(d->window, &ref);
    }
    if (method == appendDITLBottom) dv = ref.bottom;
    else dh = ref.right;
    if (method < 0) dv = ref.top;
    Rect port;
    GetWindowPortBounds(d->window, &port);
    short right = port.right, bottom = port.bottom;
    for (const auto& t : list) {
      right = std::max<short>(right, short(t.rect.right + dh));
      bottom = std::max<short>(bottom, short(t.rect.bottom + dv));
    }
    if (right != port.right || bottom != port.bottom)
      SizeWindow(d->window, short(right - port.left), short(bottom - port.top), true);
  }
  addItems(d, list, dh, dv);
}

DialogItemIndexZeroBased FindDialogItem(DialogRef d, Point pt) {
  if (!isDialog(d)) return -1;
  for (std::size_t i = 0; i < d->items.size(); ++i)
    if (!d->items[i].hidden && PtInRect(pt, &d->items[i].rect)) return DialogItemIndexZeroBased(i);
  return -1;
}

void GetDialogItem(DialogRef d, DialogItemIndex n, DialogItemType* type, Handle* item, Rect* box) {
  Item* it = itemAt(d, n);
  if (!it) {
    if (type) *type = 0;
    if (item) *item = nullptr;
    if (box) *box = Rect{0, 0, 0, 0};
    return;
  }
  if (type) *type = it->type;
  if (item) {
    if (it->control) *item = reinterpret_cast<Handle>(it->control);
    else if (it->te) *item = (**it->te).hText;
    else if (it->text) *item = it->text;
    else if (it->base() == userItem) *item = it->proc ? reinterpret_cast<Handle>(it->proc) : it->given;
    else if (it->base() == picItem) *item = reinterpret_cast<Handle>(GetPicture(it->resourceID));
    else if (it->icon) *item = reinterpret_cast<Handle>(it->icon);
    else *item = it->given;
  }
  if (box) {
    *box = it->rect;
    if (it->hidden) OffsetRect(box, kHiddenOffset, 0);
  }
}

void SetDialogItem(DialogRef d, DialogItemIndex n, DialogItemType type, Handle item, const Rect* box) {
  Item* it = itemAt(d, n);
  if (!it) return;
  if ((type & 0x7F) != it->base()) {
    // Another kind altogether: what the old one owned goes, the new one
    // is the caller's.
    const bool hidden = it->hidden;
    const Rect rect = it->rect;
    if (d->focus == n - 1) setFocus(d, -1);
    disposeItem(*it);
    it->hidden = hidden;
    it->rect = rect;
    if ((type & 0x7F) >= ctrlItem && (type & 0x7F) <= ctrlItem + resCtrl) {
      it->given = item;
    } else if ((type & 0x7F) == userItem) {
      it->proc = reinterpret_cast<UserItemUPP>(item);
    } else {
      it->given = item;
    }
  } else if (it->base() == userItem) {
    it->proc = reinterpret_cast<UserItemUPP>(item);
  }
  it->type = type;
  if (box) {
    Rect r = *box;
    // A hidden item's rectangle comes back as GetDialogItem gave it.
    if (it->hidden && r.left >= kHiddenOffset / 2) OffsetRect(&r, -kHiddenOffset, 0);
    if (r.bottom >= r.top && r.right >= r.left) {
      it->rect = r;
      if (it->te) {
        tb::PortSaver dp(GetWindowPort(d->window));
        placeEdit(*it);
      }
    }
  }
}

OSErr GetDialogItemAsControl(DialogRef d, SInt16 n, ControlRef* out) {
  if (out) *out = nullptr;
  Item* it = itemAt(d, n);
  if (!it) return paramErr;
  if (!it->control) return kItemNotControlErr;
  if (out) *out = it->control;
  return noErr;
}

void HideDialogItem(DialogRef d, DialogItemIndex n) {
  Item* it = itemAt(d, n);
  if (!it || it->hidden) return;
  const Rect area = outerRect(d, n);
  if (it->control) HideControl(it->control);
  it->hidden = true;
  if (d->focus == n - 1) {
    int next = nextEdit(d, n - 1, 1);
    if (next >= 0) focusAndSelectAll(d, next);
    else setFocus(d, -1);
  }
  if (shown(d)) {
    tb::PortSaver dp(GetWindowPort(d->window));
    eraseInContent(d, area);
  }
}

void ShowDialogItem(DialogRef d, DialogItemIndex n) {
  Item* it = itemAt(d, n);
  if (!it || !it->hidden) return;
  it->hidden = false;
  if (it->control) ShowControl(it->control);
  if (it->isEdit() && d->focus < 0) focusAndSelectAll(d, n - 1);
  redrawItem(d, n);
}

void GetDialogItemText(Handle item, Str255 text) {
  if (!text) return;
  text[0] = 0;
  if (!item || !*item) return;
  const std::size_t n = std::min<std::size_t>(std::size_t(GetHandleSize(item)), 255);
  const auto* bytes = reinterpret_cast<const unsigned char*>(*item);
  const std::size_t cut = tb::Utf8BoundaryPrefix(bytes, n);
  std::memcpy(text + 1, bytes, cut);
  text[0] = UInt8(cut);
}

void SetDialogItemText(Handle item, ConstStr255Param text) {
  if (!item) return;
  const std::string_view t = pstr::view(text);
  for (const auto& p : st().dialogs) {
    DialogRef d = p.get();
    for (std::size_t i = 0; i < d->items.size(); ++i) {
      Item& it = d->items[i];
      if (it.te && (**it.te).hText == item) {
        tb::PortSaver dp(GetWindowPort(d->window));
        TESetText(t.data(), long(t.size()), it.te);
        redrawItem(d, DialogItemIndex(i + 1));
        return;
      }
      if (it.text == item) {
        SetHandleSize(item, Size(t.size()));
        if (MemError() != noErr) return;
        if (!t.empty()) std::memcpy(*item, t.data(), t.size());
        redrawItem(d, DialogItemIndex(i + 1));
        return;
      }
    }
  }
  // A handle of no dialog: its bytes only.
  SetHandleSize(item, Size(t.size()));
  if (MemError() == noErr && !t.empty()) std::memcpy(*item, t.data(), t.size());
}

void SelectDialogItemText(DialogRef d, DialogItemIndex n, SInt16 strtSel, SInt16 endSel) {
  Item* it = itemAt(d, n);
  if (!it || !it->isEdit() || it->hidden) return;
  setFocus(d, n - 1);
  tb::PortSaver dp(GetWindowPort(d->window));
  TESetSelect(strtSel, endSel, it->te);
}

void ParamText(ConstStr255Param p0, ConstStr255Param p1, ConstStr255Param p2, ConstStr255Param p3) {
  ConstStr255Param ps[4] = {p0, p1, p2, p3};
  for (int i = 0; i < 4; ++i)
    if (ps[i]) st().params[i] = pstr::str(ps[i]);
}

OSErr SetDialogDefaultItem(DialogRef d, DialogItemIndex n) {
  if (!isDialog(d)) return paramErr;
  if (n < 0 || std::size_t(n) > d->items.size()) return paramErr;
  if (n == d->defaultItem) return noErr;
  const DialogItemIndex old = d->defaultItem;
  Rect oldRing;
  const bool hadRing = ringFor(d, &oldRing);
  d->defaultItem = n;
  if (shown(d)) {
    tb::PortSaver dp(GetWindowPort(d->window));
    if (hadRing) {
      eraseInContent(d, oldRing);
      drawItem(d, old);
    }
    drawRing(d);
  }
  return noErr;
}

OSErr SetDialogCancelItem(DialogRef d, DialogItemIndex n) {
  if (!isDialog(d) || n < 0 || std::size_t(n) > d->items.size()) return paramErr;
  d->cancelItem = n;
  return noErr;
}

DialogItemIndex GetDialogDefaultItem(DialogRef d) { return isDialog(d) ? d->defaultItem : 0; }
DialogItemIndex GetDialogCancelItem(DialogRef d) { return isDialog(d) ? d->cancelItem : 0; }

OSErr SetDialogTracksCursor(DialogRef d, Boolean tracks) {
  if (!isDialog(d)) return paramErr;
  d->tracksCursor = tracks;
  return noErr;
}

DialogItemIndex GetDialogKeyboardFocusItem(DialogRef d) {
  return isDialog(d) && d->focus >= 0 ? DialogItemIndex(d->focus + 1) : DialogItemIndex(-1);
}

TEHandle GetDialogTextEditHandle(DialogRef d) {
  return isDialog(d) && d->focus >= 0 ? d->items[std::size_t(d->focus)].te : nullptr;
}

// ---------------------------------------------------------------------------
// Test driving

bool tb::ClickDialogItem(DialogRef d, DialogItemIndex n, EventModifiers mods) {
  Item* it = itemAt(d, n);
  if (!it || it->hidden || !shown(d)) return false;
  return tb::ClickInWindow(d->window, itemCenter(*it), mods);
}

bool tb::TypeIntoDialogItem(DialogRef d, DialogItemIndex n, std::string_view text) {
  Item* it = itemAt(d, n);
  if (!it || it->hidden || !it->isEdit() || !shown(d)) return false;
  // Past the end of the last line, so the caret goes to the end.
  const Point end{short(std::max<int>(it->rect.top, it->rect.bottom - 1)),
                  short(std::max<int>(it->rect.left, it->rect.right - 1))};
  if (!tb::ClickInWindow(d->window, end)) return false;
  tb::TypeText(text);
  return true;
}

bool tb::ChooseDialogPopupItem(DialogRef d, DialogItemIndex n, MenuItemIndex menuItem) {
  Item* it = itemAt(d, n);
  if (!it || it->hidden || !it->control || !shown(d)) return false;
  Rect target;
  if (!tb::PopupItemRect(it->control, menuItem, &target)) return false;
  Rect bounds;
  GetControlBounds(it->control, &bounds);
  Point press{short((bounds.top + bounds.bottom) / 2), short((bounds.left + bounds.right) / 2)};
  {
    tb::PortSaver port(GetWindowPort(d->window));
    LocalToGlobal(&press);
  }
  const Point item{short((target.top + target.bottom) / 2), short((target.left + target.right) / 2)};
  // A click opens the menu (unless it stands open already, opened by the
  // program) and a click on the item chooses it, as a person may: a press
  // dragged to the item would be read as a mere click when the item lies
  // under the press (the moves queued before the release count by their
  // last place only), and the menu would stay open.
  if (!tb::ShownMenu()) tb::ClickAt(press);
  tb::ClickAt(item);
  return true;
}

DialogRef tb::FindDialogByTitle(std::string_view title) {
  for (WindowRef w = GetWindowList(); w; w = GetNextWindow(w)) {
    Str255 t;
    GetWTitle(w, t);
    if (pstr::view(t) != title) continue;
    if (DialogRef d = GetDialogFromWindow(w)) return d;
  }
  return nullptr;
}

std::string tb::DialogItemText(DialogRef d, DialogItemIndex n) {
  Item* it = itemAt(d, n);
  if (!it) return {};
  if (it->control) {
    Str255 t;
    GetControlTitle(it->control, t);
    return pstr::str(t);
  }
  if (it->te) return handleText((**it->te).hText);
  return handleText(it->text);
}

int tb::DialogCount() { return int(st().dialogs.size()); }

std::string tb::ParamTextValue(int index) { return index >= 0 && index < 4 ? st().params[index] : std::string(); }

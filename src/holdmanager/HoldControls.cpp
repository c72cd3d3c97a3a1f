// Text fields on the text engine, static labels, picture and spin buttons
// and the icon list of the held-job manager.
#include "holdmanager/HoldControls.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "holdmanager/HoldApp.h"
#include "holdmanager/HoldMainWnd.h"
#include "toolbox/appearance.h"
#include "toolbox/cfstring.h"
#include "toolbox/clock.h"
#include "toolbox/fonts.h"
#include "toolbox/memory.h"
#include "toolbox/pictures.h"
#include "toolbox/quickdraw.h"
#include "toolbox/scrap.h"
#include "toolbox/script.h"
#include "toolbox/windows.h"

namespace {

constexpr ControlFocusPart kFieldFocusPart = 100;
constexpr int kAllowance = 14;
constexpr ControlPartCode kFieldPart = 5;

// The fields of each window in the order they were made (Tab's order).
std::map<WindowRef, std::vector<MLTE_DATA*>>& fieldsOf() {
  static std::map<WindowRef, std::vector<MLTE_DATA*>> fields;
  return fields;
}

MLTE_DATA* recordOf(ControlRef control) {
  return control ? reinterpret_cast<MLTE_DATA*>(GetControlReference(control)) : nullptr;
}

MLTE_DATA* recordOfObject(TXNObject object) {
  for (auto& [w, list] : fieldsOf())
    for (MLTE_DATA* f : list)
      if (f->object == object) return f;
  return nullptr;
}

void applyDest(MLTE_DATA* f) {
  if (!f->object) return;
  const TXNLongRect dest{f->dest[0], f->dest[1], f->dest[2], f->dest[3]};
  TXNSetRectBounds(f->object, &f->bounds, &dest, false);
}

void selectAllOrNothing(MLTE_DATA* f) {
  if (!f->object) return;
  if (f->active && f->focused)
    TXNSelectAll(f->object);
  else
    TXNSetSelection(f->object, 0, 0);
}

void moveFocus(MLTE_DATA* from, bool backward) {
  auto& list = fieldsOf()[from->window];
  if (list.empty()) return;
  auto it = std::find(list.begin(), list.end(), from);
  const std::size_t n = list.size();
  std::size_t at = it == list.end() ? 0 : std::size_t(it - list.begin());
  for (std::size_t step = 1; step <= n; ++step) {
    MLTE_DATA* next = list[(at + (backward ? n - step : step)) % n];
    if (next->enabled && next->active) {
      MLTESetKeyboardFocus(from->window, next->control);
      return;
    }
  }
}

}  // namespace

// ---- text fields -----------------------------------------------------------------

MLTE_DATA* MLTEGetRecord(ControlRef control) { return recordOf(control); }

TXNObject MLTENew(ControlRef control, SInt16 hShift, SInt16 vShift, ConstStr255Param fontName, SInt16 fontSize,
                  UInt32 encoding, Boolean scrollAllowance) {
  if (!control) return nullptr;
  auto* f = static_cast<MLTE_DATA*>(std::calloc(1, sizeof(MLTE_DATA)));
  if (!f) return nullptr;
  static const ControlUserPaneDrawUPP draw = TPPaneDrawProc;
  static const ControlUserPaneHitTestUPP hit = TPPaneHitTestProc;
  static const ControlUserPaneTrackingUPP track = TPPaneTrackingProc;
  static const ControlUserPaneActivateUPP activate = TPPaneActivateProc;
  static const ControlUserPaneFocusUPP focus = TPPaneFocusProc;
  SetControlData(control, 0, kControlUserPaneDrawProcTag, sizeof draw, &draw);
  SetControlData(control, 0, kControlUserPaneHitTestProcTag, sizeof hit, &hit);
  SetControlData(control, 0, kControlUserPaneTrackingProcTag, sizeof track, &track);
  SetControlData(control, 0, kControlUserPaneActivateProcTag, sizeof activate, &activate);
  SetControlData(control, 0, kControlUserPaneFocusProcTag, sizeof focus, &focus);
  f->control = control;
  f->window = GetControlOwner(control);
  f->port = GetWindowPort(f->window);
  f->active = 1;
  f->enabled = 1;
  f->isDialog = GetDialogFromWindow(f->window) != nullptr;
  f->encoding = encoding;
  GetControlBounds(control, &f->bounds);
  f->frame = f->bounds;
  if (scrollAllowance) f->frame.right += kAllowance;
  f->editFrame = f->frame;
  f->eraseRgn = NewRgn();
  RectRgn(f->eraseRgn, &f->editFrame);
  if (TXNNewObject(nullptr, f->window, &f->bounds,
                   kTXNAlwaysWrapAtViewEdgeMask | kTXNSingleLineOnlyMask | kTXNDisableDragAndDropMask,
                   kTXNTextEditStyleFrameType, kTXNTextensionFile, kTXNSystemDefaultEncoding, &f->object, &f->frameID,
                   nullptr) != noErr) {
    DisposeRgn(f->eraseRgn);
    std::free(f);
    return nullptr;
  }
  const TXNBackground white{kTXNBackgroundTypeRGB, {0xFFFF, 0xFFFF, 0xFFFF}};
  TXNSetBackground(f->object, &white);
  f->dest[0] = f->bounds.top + vShift;
  f->dest[1] = f->bounds.left + hShift;
  f->dest[2] = f->bounds.bottom;
  f->dest[3] = f->bounds.right;
  applyDest(f);
  SetControlReference(control, reinterpret_cast<long>(f));
  MLTESetFont(control, fontName, fontSize, encoding);
  static const EventTypeSpec text{kEventClassTextInput, kEventTextInputUnicodeForKeyEvent};
  InstallWindowEventHandler(f->window, NewEventHandlerUPP(FocusAdvanceOverride), 1, &text, f, &f->keyHandler);
  fieldsOf()[f->window].push_back(f);
  TPActivatePaneText(f, f->active && f->focused);
  return f->object;
}

void MLTEDispose(TXNObject* slot) {
  if (!slot || !*slot) return;
  MLTE_DATA* f = recordOfObject(*slot);
  if (f) {
    auto& list = fieldsOf()[f->window];
    list.erase(std::remove(list.begin(), list.end(), f), list.end());
    if (list.empty()) fieldsOf().erase(f->window);
    if (f->keyHandler) RemoveEventHandler(f->keyHandler);
    if (f->eraseRgn) DisposeRgn(f->eraseRgn);
    SetControlReference(f->control, 0);
    std::free(f);
  }
  TXNDeleteObject(*slot);
  *slot = nullptr;
}

OSStatus MLTESetText(TXNObject object, OSType dataType, const void* data, ByteCount length) {
  if (!object) return paramErr;
  return TXNSetData(object, dataType, data, length, kTXNStartOffset, kTXNEndOffset);
}

OSStatus MLTESetTextByControl(ControlRef control, OSType dataType, const void* data, ByteCount length) {
  if (!control) return -1;
  MLTE_DATA* f = recordOf(control);
  if (!f) return -2;
  return MLTESetText(f->object, dataType, data, length);
}

OSStatus MLTESetInt(TXNObject object, long number) {
  char text[24];
  const int n = std::snprintf(text, sizeof text, "%ld", number);
  return MLTESetText(object, kTXNTextData, text, ByteCount(n));
}

OSStatus MLTESetIntByControl(ControlRef control, long number) {
  if (!control) return -1;
  MLTE_DATA* f = recordOf(control);
  if (!f) return -2;
  return MLTESetInt(f->object, number);
}

OSStatus MLTEGetData(TXNObject object, Handle* data) {
  if (!object || !data) return paramErr;
  return TXNGetData(object, kTXNStartOffset, kTXNEndOffset, data);
}

OSStatus MLTEGetPString(ControlRef control, Str255 text) {
  if (text) text[0] = 0;
  if (!control) return -1;
  MLTE_DATA* f = recordOf(control);
  if (!f) return -2;
  Handle h = nullptr;
  const OSStatus err = MLTEGetData(f->object, &h);
  if (err == noErr && h) UniCharToPString(h, text, f->encoding);
  if (h) DisposeHandle(h);
  return err;
}

long MLTEGetInt(ControlRef control) {
  Str255 text;
  if (MLTEGetPString(control, text) != noErr || text[0] == 0) return 0;
  char c[256];
  std::memcpy(c, text + 1, text[0]);
  c[text[0]] = 0;
  return std::strtol(c, nullptr, 10);
}

SInt16 MLTEGetFocus(ControlRef control) {
  if (!control) return -1;
  MLTE_DATA* f = recordOf(control);
  return f ? f->focused : -2;
}

SInt16 MLTEGetEnable(ControlRef control) {
  if (!control) return -1;
  MLTE_DATA* f = recordOf(control);
  return f ? f->enabled : -2;
}

SInt16 MLTEGetViewRect(ControlRef control, Rect* rect) {
  MLTE_DATA* f = recordOf(control);
  if (!f || !rect) return 0;
  *rect = f->bounds;
  return 1;
}

void MLTESetKeyboardFocus(WindowRef window, ControlRef control) {
  if (!window) return;
  ClearKeyboardFocus(window);
  for (MLTE_DATA* f : fieldsOf()[window])
    if (f->focused) TPPaneFocusProc(f->control, kControlFocusNoPart);
  if (control) SetKeyboardFocus(window, control, kFieldFocusPart);
}

SInt16 MLTESetKeyDownNotifyProc(ControlRef control, MLTEKeyDownNotifyProc proc) {
  if (!control) return -1;
  MLTE_DATA* f = recordOf(control);
  if (!f) return -2;
  f->notify = proc;
  return 0;
}

SInt16 MLTESetEnable(ControlRef control, const RGBColor* background, Boolean enable) {
  if (!control) return -1;
  MLTE_DATA* f = recordOf(control);
  if (!f) return -2;
  if (background) {
    const TXNBackground bg{kTXNBackgroundTypeRGB, *background};
    TXNSetBackground(f->object, &bg);
  }
  if (enable) {
    applyDest(f);
  } else {
    // An empty destination: the text is not drawn while the field is off.
    const TXNLongRect none{f->bounds.top, f->bounds.left, f->bounds.top, f->bounds.left};
    TXNSetRectBounds(f->object, &f->bounds, &none, false);
    TPActivatePaneText(f, false);
    f->active = 0;
  }
  f->enabled = enable ? 1 : 0;
  if (enable) f->active = 1;
  Draw1Control(control);
  return 0;
}

SInt16 MLTESetFont(ControlRef control, ConstStr255Param fontName, SInt16 size, UInt32 encoding) {
  if (!control) return -1;
  MLTE_DATA* f = recordOf(control);
  if (!f) return -2;
  f->encoding = encoding;
  Str255 name{};
  if (fontName) std::memcpy(name, fontName, fontName[0] + 1);
  TXNTypeAttributes attrs[3];
  attrs[0].tag = kTXNQDFontNameAttribute;
  attrs[0].size = kTXNQDFontNameAttributeSize;
  attrs[0].data.dataPtr = name;
  attrs[1].tag = kTXNQDFontSizeAttribute;
  attrs[1].size = kTXNFontSizeAttributeSize;
  attrs[1].data.dataValue = UInt32(std::max<int>(size, 1)) << 16;
  attrs[2].tag = kTXNTextEncodingAttribute;
  attrs[2].size = kTXNTextEncodingAttributeSize;
  attrs[2].data.dataValue = encoding;
  const int first = name[0] ? 0 : 1;
  TXNSetTypeAttributes(f->object, ItemCount(3 - first), attrs + first, kTXNStartOffset, kTXNEndOffset);
  return 0;
}

Boolean UniCharToPString(Handle unicode, Str255 text, UInt32) {
  if (text) text[0] = 0;
  if (!unicode || !text) return 0;
  std::u16string units(std::size_t(GetHandleSize(unicode)) / 2, u'\0');
  if (!units.empty()) std::memcpy(units.data(), *unicode, units.size() * 2);
  SetPStrCut(text, tb::Utf16ToUtf8(units));
  return text[0] ? 1 : 0;
}

void TPActivatePaneText(MLTE_DATA* f, Boolean setActive) {
  if (!f || !f->object) return;
  f->textActive = setActive ? 1 : 0;
  TXNFocus(f->object, setActive);
  TXNActivate(f->object, f->frameID, setActive ? kScrollBarsAlwaysActive : kScrollBarsSyncWithFocus);
}

void TPPaneDrawProc(ControlRef control, SInt16) {
  MLTE_DATA* f = recordOf(control);
  if (!f) return;
  Rect now;
  GetControlBounds(control, &now);
  if (now.top != f->bounds.top || now.left != f->bounds.left || now.bottom != f->bounds.bottom ||
      now.right != f->bounds.right) {
    // The control was moved: everything follows it.
    const int dv = now.top - f->bounds.top, dh = now.left - f->bounds.left;
    const int allowance = f->frame.right - f->bounds.right;
    f->bounds = now;
    f->frame = now;
    f->frame.right = SInt16(f->frame.right + allowance);
    f->editFrame = f->frame;
    RectRgn(f->eraseRgn, &f->editFrame);
    f->dest[0] += dv;
    f->dest[1] += dh;
    f->dest[2] = now.bottom;
    f->dest[3] = now.right;
    TXNSetFrameBounds(f->object, now.top, now.left, now.bottom, now.right, f->frameID);
    if (f->enabled) applyDest(f);
  }
  ColorPortSaver saver(f->port);
  RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
  RGBBackColor(&white);
  EraseRgn(f->eraseRgn);
  if (f->enabled) TXNDraw(f->object, nullptr);
  DrawThemeEditTextFrame(&f->editFrame, f->active ? kThemeStateActive : kThemeStateInactive);
}

ControlPartCode TPPaneHitTestProc(ControlRef control, Point where) {
  MLTE_DATA* f = recordOf(control);
  if (!f || !f->enabled) return 0;
  return PtInRect(where, &f->bounds) ? kFieldPart : 0;
}

ControlPartCode TPPaneTrackingProc(ControlRef control, Point start, ControlActionUPP) {
  MLTE_DATA* f = recordOf(control);
  if (!f || !f->enabled) return 0;
  if (!f->focused) MLTESetKeyboardFocus(f->window, control);
  if (PtInRect(start, &f->bounds)) {
    EventRecord e = *GetCurrentEventRecord();
    e.what = mouseDown;
    TXNClick(f->object, &e);
  }
  return kFieldPart;
}

void TPPaneActivateProc(ControlRef control, Boolean activating) {
  MLTE_DATA* f = recordOf(control);
  if (!f) return;
  f->active = activating ? 1 : 0;
  TPActivatePaneText(f, f->active && f->focused);
  Draw1Control(control);
}

ControlPartCode TPPaneFocusProc(ControlRef control, ControlFocusPart action) {
  MLTE_DATA* f = recordOf(control);
  if (!f) return kControlFocusNoPart;
  if (f->active) {
    if (action == kFieldFocusPart)
      f->focused = 1;
    else if (action == kControlFocusNextPart || action == kControlFocusPrevPart)
      f->focused = f->focused ? 0 : 1;
    else
      f->focused = 0;
    TPActivatePaneText(f, f->active && f->focused);
    selectAllOrNothing(f);
  }
  return ControlPartCode(f->focused ? int(kFieldFocusPart) : int(kControlFocusNoPart));
}

OSStatus FocusAdvanceOverride(EventHandlerCallRef call, EventRef event, void* data) {
  auto* f = static_cast<MLTE_DATA*>(data);
  if (!f || !f->focused) return eventNotHandledErr;
  UniChar text[4] = {};
  UInt32 size = 0;
  GetEventParameter(event, kEventParamTextInputSendText, typeUnicodeText, nullptr, sizeof text, &size, text);
  EventRef key = nullptr;
  GetEventParameter(event, kEventParamTextInputSendKeyboardEvent, typeEventRef, nullptr, sizeof key, nullptr, &key);
  UInt32 mods = 0, code = 0;
  if (key) {
    GetEventParameter(key, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof mods, nullptr, &mods);
    GetEventParameter(key, kEventParamKeyCode, typeUInt32, nullptr, sizeof code, nullptr, &code);
  }
  const UInt32 modMask = cmdKey | shiftKey | optionKey | controlKey;
  const bool command = (mods & modMask) == cmdKey;
  const bool shift = (mods & modMask) == shiftKey;
  const UniChar c = size >= 2 ? text[0] : 0;
  const bool ends = c == 13 || c == 3 || c == 27;
  auto notify = [&]() {
    if (f->notify) f->notify(f->window, f->control, c, f->modified);
  };
  if (!f->enabled) {
    if (c == '\t') {
      moveFocus(f, shift);
      return noErr;
    }
    if (ends) {
      if (f->notify) f->notify(f->window, f->control, c, 0);
      return noErr;
    }
    // Its text is inactive: what is passed on types nothing.
    return CallNextEventHandler(call, event);
  }
  if (c == '\t') {
    moveFocus(f, shift);
    return noErr;
  }
  const bool navigation = c == 1 || c == 4 || c == 11 || c == 12 || (c >= 28 && c <= 31) || code == 0x73 ||
                          code == 0x77 || code == 0x74 || code == 0x79;
  if (navigation) {
    const OSStatus r = CallNextEventHandler(call, event);
    notify();
    return r;
  }
  if (command) {
    switch (c) {
      case 'a':
      case 'A': TXNSelectAll(f->object); break;
      case 'c':
      case 'C': TXNCopy(f->object); break;
      case 'v':
      case 'V':
        TXNPaste(f->object);
        f->modified = 1;
        break;
      case 'x':
      case 'X':
        TXNCut(f->object);
        f->modified = 1;
        break;
      case 'z':
      case 'Z':
        TXNUndo(f->object);
        f->modified = 1;
        break;
      default: return eventNotHandledErr;
    }
    notify();
    return noErr;
  }
  if (ends) {
    notify();
    return noErr;
  }
  f->modified = 1;
  const OSStatus r = CallNextEventHandler(call, event);
  notify();
  return r;
}

// ---- static texts --------------------------------------------------------------------

void STCSetData(STC_DATA* rec, DialogRef dialog, UInt16 item, ConstStr255Param fontName, SInt16 size, UInt32 encoding,
                ConstStr255Param text) {
  if (!rec) return;
  rec->dialog = dialog;
  rec->item = item;
  rec->fontName[0] = 0;
  if (fontName) std::memcpy(rec->fontName, fontName, fontName[0] + 1);
  rec->fontSize = size;
  rec->text[0] = 0;
  if (text) std::memcpy(rec->text, text, text[0] + 1);
  rec->alignment = -1;
  rec->encoding = encoding;
  rec->fontID = 0;
  if (rec->fontName[0]) GetFNum(rec->fontName, &rec->fontID);
}

int STCAddList(STC_DATA** head, DialogRef dialog, UInt16 item, ConstStr255Param fontName, SInt16 size, UInt32 encoding,
               ConstStr255Param text) {
  if (!head) return 0;
  auto* rec = static_cast<STC_DATA*>(std::calloc(1, sizeof(STC_DATA)));
  if (!rec) return 0;
  STCSetData(rec, dialog, item, fontName, size, encoding, text);
  STC_DATA** at = head;
  while (*at) at = &(*at)->next;
  *at = rec;
  return 1;
}

RGBColor DialogBackColor(DialogRef dialog) {
  RGBColor c{0xEEEE, 0xEEEE, 0xEEEE};
  if (dialog) GetWindowContentColor(GetDialogWindow(dialog), &c);
  return c;
}

// The label's lines: [start, end) byte runs of its text. A text wider than
// its item is broken at the language's line breaks into as many lines as
// the item is high enough for; the last of them takes the rest.
namespace {
std::vector<std::pair<long, long>> labelLines(const UInt8* text, SInt16 width, int maxLines) {
  std::vector<std::pair<long, long>> lines;
  const long len = text[0];
  for (long start = 0; start < len;) {
    long end = len;
    if (int(lines.size()) + 1 < maxLines) {
      Fixed room = Fixed(width) << 16;
      end = 1;  // the run starts its line
      StyledLineBreak(text + 1, len, start, len, 0, &room, &end);
      if (end <= start) end = len;
    }
    lines.emplace_back(start, end);
    start = end;
  }
  return lines;
}
}  // namespace

void STCDraw(STC_DATA* rec) {
  if (!rec || !rec->dialog) return;
  Rect r;
  GetDialogItemRect(rec->dialog, rec->item, &r);
  if (r.right <= r.left || r.bottom <= r.top || r.left > 8000) return;
  Rect local{0, 0, SInt16(r.bottom - r.top), SInt16(r.right - r.left)};
  GWorldPtr world = nullptr;
  if (NewGWorld(&world, 32, &local, nullptr, nullptr, 0) != noErr || !world) return;
  CGrafPtr port = GetDialogPort(rec->dialog);
  RGBColor back;
  {
    tb::PortSaver saver(port);
    GetBackColor(&back);
  }
  {
    tb::PortSaver inWorld(world);
    RGBBackColor(&back);
    EraseRect(&local);
    TextFont(rec->fontID);
    TextSize(rec->fontSize > 0 ? rec->fontSize : 12);
    FontInfo fi;
    GetFontInfo(&fi);
    const int lineHeight = std::max(1, fi.ascent + fi.descent + fi.leading);
    // A pixel before a flush-left text: letters such as J reach left of
    // their pen, and the copy into the item would cut them there.
    const SInt16 lead = rec->alignment == 1 ? 0 : 1;
    const auto lines = labelLines(rec->text, SInt16(local.right - lead), std::max(1, local.bottom / lineHeight));
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const auto [start, end] = lines[i];
      const char* line = reinterpret_cast<const char*>(rec->text + 1);
      const SInt16 width = TextWidth(line, SInt16(start), SInt16(end - start));
      MoveTo(rec->alignment == 1 ? SInt16(local.right - width) : lead, SInt16(fi.ascent + int(i) * lineHeight));
      DrawText(line, SInt16(start), SInt16(end - start));
    }
  }
  tb::PortSaver saver(port);
  CopyBits(GetPortBitMapForCopyBits(world), GetPortBitMapForCopyBits(port), &local, &r, srcCopy, nullptr);
  DisposeGWorld(world);
}

void STCDrawList(STC_DATA* head) {
  for (STC_DATA* s = head; s; s = s->next) STCDraw(s);
}

void STCSetAlignment(STC_DATA* head, int index, SInt32 alignment) {
  STC_DATA* s = head;
  for (int i = 0; s && s->next && i < index; ++i) s = s->next;
  if (s) s->alignment = alignment;
}

int STCGetPString(STC_DATA* head, int index, Str255 text) {
  STC_DATA* s = head;
  for (int i = 0; s && i < index; ++i) s = s->next;
  if (!s || !text) return 0;
  std::memcpy(text, s->text, s->text[0] + 1);
  return 1;
}

int STCAdjustWidth(STC_DATA* head, int index) {
  if (!head) return -555;
  STC_DATA* s = head;
  for (int i = 0; s->next && i < index; ++i) s = s->next;
  if (!s->text[0]) return -666;
  SInt16 width = 0;
  {
    tb::PortSaver saver(GetDialogPort(s->dialog));
    TextFont(s->fontID);
    TextSize(s->fontSize > 0 ? s->fontSize : 12);
    width = StringWidth(s->text);
  }
  DialogItemType type;
  Handle h;
  Rect r;
  GetDialogItem(s->dialog, s->item, &type, &h, &r);
  r.right = SInt16(r.left + width + 5);
  SetDialogItem(s->dialog, s->item, type, h, &r);
  return 0;
}

void STCDisposeList(STC_DATA** head) {
  if (!head) return;
  for (STC_DATA* s = *head; s;) {
    STC_DATA* next = s->next;
    std::free(s);
    s = next;
  }
  *head = nullptr;
}

// ---- picture and spin buttons ---------------------------------------------------------

int SetBtnData(DialogRef dialog, BTN_DATA* rec, DialogItemIndex item, SInt16 normal, SInt16 pressed, SInt16 disabled,
               const char* title) {
  if (!dialog || !rec) return -1;
  Rect none{-100, -100, -100, -100};
  rec->control = NewControl(GetDialogWindow(dialog), &none, PText(""), false, 0, 0, 0, 0, reinterpret_cast<long>(rec));
  if (!rec->control) return -1;
  rec->dialog = dialog;
  GetDialogItemRect(dialog, item, &rec->rect);
  rec->normal = normal;
  rec->pressed = pressed;
  rec->disabled = disabled;
  std::snprintf(rec->title, sizeof rec->title, "%s", title ? title : "");
  rec->rgn = NewRgn();
  RectRgn(rec->rgn, &rec->rect);
  rec->item = item;
  rec->state = 0;
  return 0;
}

void DrawBtn(DialogRef dialog, BTN_DATA* rec, GWorldPtr target) {
  if (!dialog || !rec || rec->state > 2) return;
  const SInt16 id = rec->state == 0 ? rec->normal : rec->state == 1 ? rec->pressed : rec->disabled;
  PicHandle pic = GetPicture(id);
  if (!pic) return;
  Rect local{0, 0, SInt16(rec->rect.bottom - rec->rect.top), SInt16(rec->rect.right - rec->rect.left)};
  GWorldPtr world = nullptr;
  if (NewGWorld(&world, 32, &local, nullptr, nullptr, 0) != noErr || !world) return;
  {
    tb::PortSaver inWorld(world);
    RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
    RGBBackColor(&white);
    EraseRect(&local);
    DrawPicture(pic, &local);
  }
  CGrafPtr port = target ? target : GetDialogPort(dialog);
  tb::PortSaver saver(port);
  CopyBits(GetPortBitMapForCopyBits(world), GetPortBitMapForCopyBits(port), &local, &rec->rect, srcCopy, rec->rgn);
  DisposeGWorld(world);
}

BTN_DATA* NewSpinBtn(DialogRef dialog, TXNObject field, ControlRef fieldControl, DialogItemIndex first, UInt16 min,
                     UInt16 max, UInt32 interval, SInt16 step, UInt32 encoding) {
  auto* pair = static_cast<BTN_DATA*>(std::calloc(2, sizeof(BTN_DATA)));
  if (!pair) return nullptr;
  if (SetBtnData(dialog, &pair[0], first, 150, 152, 154, nullptr) != 0 ||
      SetBtnData(dialog, &pair[1], DialogItemIndex(first + 1), 151, 153, 155, nullptr) != 0) {
    DisposeBtnData(&pair, 2);
    return nullptr;
  }
  for (int i = 0; i < 2; ++i) {
    pair[i].step = SInt16(i == 0 ? step : -step);
    pair[i].interval = interval;
    pair[i].min = min;
    pair[i].max = max;
    pair[i].field = field;
    pair[i].fieldControl = fieldControl;
    pair[i].encoding = encoding;
    pair[i].action = NewControlActionUPP(DragSpinBtnProc);
  }
  return pair;
}

void DrawSpinBtn(DialogRef dialog, BTN_DATA* pair) {
  if (!pair) return;
  DrawBtn(dialog, &pair[0], nullptr);
  DrawBtn(dialog, &pair[1], nullptr);
}

void DragSpinBtnProc(ControlRef control, ControlPartCode) {
  auto* b = reinterpret_cast<BTN_DATA*>(GetControlReference(control));
  if (!b) return;
  Point pt;
  Get_Mouse(&pt);
  if (!PtInRect(pt, &b->rect)) {
    if (b->state != 0) {
      b->state = 0;
      DrawBtn(b->dialog, b, nullptr);
    }
    return;
  }
  if (b->state != 1) {
    b->state = 1;
    DrawBtn(b->dialog, b, nullptr);
  }
  if (TickCount() - b->lastChange <= b->interval && b->lastChange) return;
  b->lastChange = TickCount();
  Str255 text;
  MLTEGetPString(b->fieldControl, text);
  char digits[17] = {};
  std::memcpy(digits, text + 1, std::min<int>(text[0], 16));
  long v = std::strtol(digits, nullptr, 10) + b->step;
  v = std::clamp<long>(v, b->min, b->max);
  MLTESetInt(b->field, v);
  Draw1Control(b->fieldControl);
}

int PushSpinBtn(DialogRef dialog, BTN_DATA* half) {
  if (!dialog || !half || half->state == 2) return 0;
  MLTESetKeyboardFocus(GetDialogWindow(dialog), half->fieldControl);
  half->lastChange = 0;
  Rect r = half->rect;
  SetControlBounds(half->control, &r);
  ShowControl(half->control);
  Point start{SInt16((r.top + r.bottom) / 2), SInt16((r.left + r.right) / 2)};
  // One step at the press, then more while the button is held.
  DragSpinBtnProc(half->control, 0);
  while (StillDown()) DragSpinBtnProc(half->control, 0);
  (void)start;
  HideControl(half->control);
  Rect none{-100, -100, -100, -100};
  SetControlBounds(half->control, &none);
  if (half->state == 1) half->state = 0;
  DrawBtn(dialog, half, nullptr);
  MLTE_DATA* f = recordOf(half->fieldControl);
  if (f && f->object) TXNSelectAll(f->object);
  return 1;
}

void DisposeBtnData(BTN_DATA** slot, int count) {
  if (!slot || !*slot) return;
  for (int i = 0; i < count; ++i) {
    BTN_DATA& b = (*slot)[i];
    if (b.rgn) DisposeRgn(b.rgn);
    if (b.control) DisposeControl(b.control);
    b = BTN_DATA{};
  }
  std::free(*slot);
  *slot = nullptr;
}

// ---- dialog items and one-button windows ------------------------------------------

ControlRef GetItemControl(DialogRef dialog, DialogItemIndex item) {
  ControlRef c = nullptr;
  if (!dialog || item < 1 || item > CountDITL(dialog)) return nullptr;
  if (GetDialogItemAsControl(dialog, item, &c) != noErr) return nullptr;
  return c;
}

void GetDialogItemRect(DialogRef dialog, DialogItemIndex item, Rect* rect) {
  *rect = Rect{};
  if (!dialog || item < 1 || item > CountDITL(dialog)) return;
  Get_Dialog_Item_Rect(dialog, item, rect);
}

OneButtonPress TrackOneButtonPress(const EventRecord* event, DialogRef dialog, DialogItemIndex button) {
  WindowRef hit = nullptr;
  const WindowPartCode part = FindWindow(event->where, &hit);
  if (!hit || hit != GetDialogWindow(dialog)) return OneButtonPress::none;
  if (part == inDrag) {
    BitMap screen;
    Get_QDGlobals_Screen_Bits(&screen);
    DragWindow(hit, event->where, &screen.bounds);
    return OneButtonPress::none;
  }
  if (part == inGoAway) return TrackGoAway(hit, event->where) ? OneButtonPress::closeBox : OneButtonPress::none;
  if (part != inContent) return OneButtonPress::none;
  Point local = event->where;
  tb::PortSaver saver(GetDialogPort(dialog));
  GlobalToLocal(&local);
  ControlRef c = GetItemControl(dialog, button);
  const Rect r = ItemRectOf(dialog, button);
  return c && PtInRect(local, &r) && TrackControl(c, local, nullptr) ? OneButtonPress::button : OneButtonPress::none;
}

bool OneButtonKey(const EventRecord* event, DialogRef dialog, DialogItemIndex button) {
  const char c = char(event->message & charCodeMask);
  const bool commandPeriod = c == '.' && (event->modifiers & cmdKey);
  if (c != 13 && c != 3 && c != 27 && !commandPeriod) return false;
  if (ControlRef b = GetItemControl(dialog, button)) {
    HiliteControl(b, kControlButtonPart);
    Delay(8, nullptr);
    HiliteControl(b, 0);
  }
  return true;
}

// ---- icon list ----------------------------------------------------------------------------

int AddIconList(ICON_LIST** head, IconRef icon) {
  if (!head || !icon) return 0;
  ICON_LIST** at = head;
  for (; *at; at = &(*at)->next)
    if ((*at)->icon == icon) return 0;
  auto* node = static_cast<ICON_LIST*>(std::calloc(1, sizeof(ICON_LIST)));
  if (!node) return 0;
  node->icon = icon;
  *at = node;
  return 1;
}

void DisposeIconList(ICON_LIST** head) {
  if (!head) return;
  for (ICON_LIST* n = *head; n;) {
    ICON_LIST* next = n->next;
    if (n->icon) ReleaseIconRef(n->icon);
    std::free(n);
    n = next;
  }
  *head = nullptr;
}

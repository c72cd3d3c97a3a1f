// Carbon Event Manager: typed events, handler chains on the application and
// window targets, the defaults of what no handler takes, and the
// application event loop over the classic queue.
#include "toolbox/carbonevents.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "events_internal.h"
#include "screen_internal.h"
#include "timers_internal.h"
#include "toolbox/cfstring.h"
#include "toolbox/clock.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/pump.h"
#include "toolbox/textengine.h"

namespace {

struct Param {
  EventParamType type;
  std::string bytes;
};

struct Handler;

}  // namespace

struct OpaqueEventRef {
  UInt32 cls;
  UInt32 kind;
  EventTime when;
  int refs;
  std::map<EventParamName, Param> params;
  bool hasRecord = false;  // made from a classic event
  EventRecord record{};
  // A press: the front window when it was made, before any handler ran.
  WindowRef frontAtPress = nullptr;
};

struct OpaqueEventTargetRef {
  WindowRef window;               // null for the application
  OpaqueEventTargetRef* parent;   // the application for a window
  std::vector<std::shared_ptr<Handler>> handlers;  // in install order
};

struct OpaqueEventHandlerCallRef {
  std::vector<std::shared_ptr<Handler>> chain;
  std::size_t next = 0;
  bool defaultRan = false;
  WindowRef window = nullptr;  // the target's window, for the default
};

namespace {

struct Handler {
  EventHandlerUPP proc;
  void* user;
  std::vector<EventTypeSpec> types;
  OpaqueEventTargetRef* target;
  bool removed = false;

  bool wants(const OpaqueEventRef* e) const {
    return std::any_of(types.begin(), types.end(),
                       [e](const EventTypeSpec& t) { return t.eventClass == e->cls && t.eventKind == e->kind; });
  }
};

struct State {
  OpaqueEventTargetRef app{nullptr, nullptr, {}};
  std::map<WindowRef, std::unique_ptr<OpaqueEventTargetRef>> windows;
  std::map<OpaqueEventHandlerRef*, std::shared_ptr<Handler>> live;
  std::map<std::pair<UInt32, UInt32>, tb::DefaultEventHandler> defaults;
  std::vector<bool> quit;      // one flag per running loop, innermost last
  bool quitPending = false;    // asked while no loop ran
  bool menuCommandRan = false;
  EventRef current = nullptr;
  // Double clicks.
  UInt32 lastDownTicks = 0;
  Point lastDownWhere{0, 0};
  UInt32 clickCount = 0;
};

State& st() {
  static State& s = *new State;
  return s;
}

OpaqueEventHandlerRef* refOf(Handler* h) { return reinterpret_cast<OpaqueEventHandlerRef*>(h); }

bool liveEvent(EventRef e) { return e && e->refs > 0; }

EventRef newEvent(UInt32 cls, UInt32 kind) {
  return new OpaqueEventRef{cls, kind, GetCurrentEventTime(), 1, {}, false, {}};
}

template <typename T>
void put(EventRef e, EventParamName name, EventParamType type, const T& value) {
  SetEventParameter(e, name, type, sizeof value, &value);
}

template <typename T>
bool get(EventRef e, EventParamName name, EventParamType type, T* out) {
  return GetEventParameter(e, name, type, nullptr, sizeof *out, nullptr, out) == noErr;
}

std::string textOf(EventRef e, EventParamName name) {
  auto it = e->params.find(name);
  return it == e->params.end() ? std::string() : it->second.bytes;
}

// The user focus: the front window, else the application.
OpaqueEventTargetRef* focusTarget() {
  WindowRef front = FrontWindow();
  return front ? GetWindowEventTarget(front) : &st().app;
}

OSStatus runDefault(EventRef e, WindowRef window);

OSStatus runFrom(OpaqueEventHandlerCallRef& call, EventRef e) {
  while (call.next < call.chain.size()) {
    std::shared_ptr<Handler> h = call.chain[call.next++];
    if (h->removed) continue;
    OSStatus r = h->proc(&call, e, h->user);
    if (r != eventNotHandledErr) return r;
  }
  // A handler that called the next one and then declined must not run the
  // default a second time.
  if (call.defaultRan) return eventNotHandledErr;
  call.defaultRan = true;
  return runDefault(e, call.window);
}

OSStatus dispatch(EventRef e, OpaqueEventTargetRef* target) {
  OpaqueEventHandlerCallRef call;
  call.window = target->window;
  for (OpaqueEventTargetRef* t = target; t; t = t->parent)
    for (auto it = t->handlers.rbegin(); it != t->handlers.rend(); ++it)
      if (!(*it)->removed && (*it)->wants(e)) call.chain.push_back(*it);
  EventRef saved = st().current;
  st().current = e;
  OSStatus r = runFrom(call, e);
  st().current = saved;
  return r;
}

// Commands go to the user focus, then the application.
OSStatus sendCommand(UInt32 attributes, UInt32 id, MenuRef menu, MenuItemIndex item) {
  HICommand cmd{attributes, id, {menu, item}};
  return ProcessHICommand(&cmd);
}

OSStatus sendMenuChoice(long choice) {
  if (!choice) return eventNotHandledErr;
  const MenuID id = MenuID(choice >> 16);
  const MenuItemIndex item = MenuItemIndex(choice & 0xFFFF);
  MenuRef menu = GetMenuHandle(id);
  MenuCommand command = 0;
  GetMenuItemCommandID(menu, item, &command);
  OSStatus r = sendCommand(kHICommandFromMenu, command, menu, item);
  HiliteMenu(0);
  return r;
}

// The application menu's commands (Quit) arrive here while a loop runs.
bool onMenuCommand(MenuCommand command) {
  MenuRef menu = nullptr;
  MenuItemIndex item = 0;
  GetIndMenuItemWithCommandID(GetMenuHandle(kApplicationMenuID), command, 1, &menu, &item);
  st().menuCommandRan = true;
  sendCommand(kHICommandFromMenu, command, menu, item);
  return true;
}

OSErr onQuitAppleEvent(const AppleEvent*, AppleEvent*, SRefCon) {
  sendCommand(0, kHICommandQuit, nullptr, 0);
  return noErr;
}

// The text-input event of a raw key: the character as UTF-16 and the key
// event itself, to the same target.
OSStatus sendTextInput(EventRef key, WindowRef window) {
  const std::u16string u = tb::Utf8ToUtf16(textOf(key, kEventParamKeyMacCharCodes));
  EventRef text = newEvent(kEventClassTextInput, kEventTextInputUnicodeForKeyEvent);
  SetEventParameter(text, kEventParamTextInputSendText, typeUnicodeText, UInt32(u.size() * 2), u.data());
  put(text, kEventParamTextInputSendKeyboardEvent, typeEventRef, key);
  if (window) put(text, kEventParamWindowRef, typeWindowRef, window);
  text->record = key->record;
  text->hasRecord = key->hasRecord;
  OSStatus r = SendEventToEventTarget(text, window ? GetWindowEventTarget(window) : &st().app);
  ReleaseEvent(text);
  return r;
}

// A turn of the wheel no view took: a scroll bar under the pointer that has
// an action procedure of its own moves as its arrows would.
OSStatus wheelOverBar(EventRef e, WindowRef window) {
  if (!window) return eventNotHandledErr;
  Point where{0, 0};
  get(e, kEventParamMouseLocation, typeQDPoint, &where);
  {
    tb::PortSaver port(GetWindowPort(window));
    GlobalToLocal(&where);
  }
  ControlRef bar = tb::ScrollBarWithActionAt(window, where);
  Rect b{0, 0, 0, 0};
  int lines = 0;
  bool horizontal = false;
  if (!bar || !tb::WheelOverArea(e, window, *GetControlBounds(bar, &b), &lines, &horizontal)) return eventNotHandledErr;
  // The wheel of the bar's own direction.
  if ((b.right - b.left > b.bottom - b.top) != horizontal || !tb::ScrollBarByLines(bar, lines))
    return eventNotHandledErr;
  return noErr;
}

OSStatus runDefault(EventRef e, WindowRef window) {
  // A handler may have disposed of the event's window.
  if (window && !IsValidWindowPtr(window)) return eventNotHandledErr;
  auto hook = st().defaults.find({e->cls, e->kind});
  if (hook != st().defaults.end() && hook->second) {
    OSStatus r = hook->second(e, window);
    if (r != eventNotHandledErr) return r;
  }
  switch (e->cls) {
    case kEventClassMouse: {
      if (e->kind == kEventMouseWheelMoved) return wheelOverBar(e, window);
      if (e->kind != kEventMouseDown) break;
      Point where{0, 0};
      get(e, kEventParamMouseLocation, typeQDPoint, &where);
      WindowRef w = nullptr;
      const WindowPartCode part = FindWindow(where, &w);
      if (part == inMenuBar) return sendMenuChoice(MenuSelect(where));
      // The program did any drag or grow itself: only bring the window up,
      // and only when it was behind at the press; a window the handler
      // brought up for a press in the front window (a dialog it opened)
      // stays in front.
      if (w && w == window && w != e->frontAtPress && w != FrontWindow()) {
        SelectWindow(w);
        return noErr;
      }
      break;
    }
    case kEventClassKeyboard:
      if (e->kind == kEventRawKeyDown || e->kind == kEventRawKeyRepeat) return sendTextInput(e, window);
      break;
    case kEventClassTextInput: {
      // The window's focused text object types what nobody else took.
      TXNObject field = window ? tb::TXNFocusedObject(window) : nullptr;
      if (!field || e->kind != kEventTextInputUnicodeForKeyEvent) break;
      const std::string bytes = textOf(e, kEventParamTextInputSendText);
      std::u16string u(bytes.size() / 2, u'\0');
      if (!u.empty()) std::memcpy(u.data(), bytes.data(), u.size() * 2);
      EventRef key = nullptr;
      UInt32 mods = 0;
      if (get(e, kEventParamTextInputSendKeyboardEvent, typeEventRef, &key) && liveEvent(key))
        get(key, kEventParamKeyModifiers, typeUInt32, &mods);
      tb::TXNTypeText(field, tb::Utf16ToUtf8(u), EventModifiers(mods));
      return noErr;
    }
    case kEventClassCommand: {
      HICommand cmd{};
      if (e->kind == kEventCommandProcess && get(e, kEventParamDirectObject, typeHICommand, &cmd) &&
          cmd.commandID == kHICommandQuit) {
        QuitApplicationEventLoop();
        return noErr;
      }
      break;
    }
    default:
      break;
  }
  return eventNotHandledErr;
}

// The Carbon event of a classic one, or null when there is none.
EventRef fromClassic(const EventRecord& ev, const std::string& keyText, OpaqueEventTargetRef** target) {
  EventRef e = nullptr;
  WindowRef w = nullptr;
  *target = &st().app;
  switch (ev.what) {
    case mouseDown:
    case mouseUp: {
      const WindowPartCode part = FindWindow(ev.where, &w);
      if (part == inMenuBar || part == inDesk) w = nullptr;
      e = newEvent(kEventClassMouse, ev.what == mouseDown ? kEventMouseDown : kEventMouseUp);
      put(e, kEventParamMouseLocation, typeQDPoint, ev.where);
      put(e, kEventParamKeyModifiers, typeUInt32, UInt32(ev.modifiers));
      put(e, kEventParamMouseButton, typeMouseButton, EventMouseButton(kEventMouseButtonPrimary));
      if (ev.what == mouseDown) {
        e->frontAtPress = FrontWindow();
        State& s = st();
        const bool again = s.clickCount > 0 && ev.when - s.lastDownTicks <= GetDblTime() &&
                           std::abs(ev.where.h - s.lastDownWhere.h) <= 4 &&
                           std::abs(ev.where.v - s.lastDownWhere.v) <= 4;
        s.clickCount = again ? s.clickCount + 1 : 1;
        s.lastDownTicks = ev.when;
        s.lastDownWhere = ev.where;
      }
      put(e, kEventParamClickCount, typeUInt32, UInt32(st().clickCount));
      break;
    }
    case keyDown:
    case autoKey:
    case keyUp: {
      w = FrontWindow();
      e = newEvent(kEventClassKeyboard, ev.what == keyDown  ? kEventRawKeyDown
                                        : ev.what == autoKey ? kEventRawKeyRepeat
                                                             : kEventRawKeyUp);
      const std::string text = keyText.empty() ? std::string(1, char(ev.message & charCodeMask)) : keyText;
      SetEventParameter(e, kEventParamKeyMacCharCodes, typeChar, UInt32(text.size()), text.data());
      const std::u16string u = tb::Utf8ToUtf16(text);
      SetEventParameter(e, kEventParamKeyUnicodes, typeUnicodeText, UInt32(u.size() * 2), u.data());
      put(e, kEventParamKeyCode, typeUInt32, UInt32((ev.message & keyCodeMask) >> 8));
      put(e, kEventParamKeyModifiers, typeUInt32, UInt32(ev.modifiers));
      break;
    }
    case updateEvt:
    case activateEvt: {
      w = reinterpret_cast<WindowRef>(ev.message);
      if (!IsValidWindowPtr(w)) return nullptr;
      e = newEvent(kEventClassWindow, ev.what == updateEvt            ? kEventWindowUpdate
                                      : (ev.modifiers & activeFlag) ? kEventWindowActivated
                                                                    : kEventWindowDeactivated);
      put(e, kEventParamDirectObject, typeWindowRef, w);
      break;
    }
    default:
      return nullptr;
  }
  if (w) {
    put(e, kEventParamWindowRef, typeWindowRef, w);
    *target = GetWindowEventTarget(w);
  }
  e->hasRecord = true;
  e->record = ev;
  return e;
}

void dispatchClassic(const EventRecord& ev, const std::string& keyText) {
  if (ev.what == kHighLevelEvent) {
    AEProcessAppleEvent(&ev);
    return;
  }
  // A Command key that names an enabled menu item is that item's command.
  if (ev.what == keyDown && (ev.modifiers & cmdKey)) {
    st().menuCommandRan = false;
    const long choice = MenuEvent(&ev);
    if (choice) {
      sendMenuChoice(choice);
      return;
    }
    if (st().menuCommandRan) return;
  }
  OpaqueEventTargetRef* target = nullptr;
  EventRef e = fromClassic(ev, keyText, &target);
  if (!e) return;
  const OSStatus r = dispatch(e, target);
  if (ev.what == updateEvt) {
    // An update nobody drew still has to end, or it would come back forever.
    WindowRef w = reinterpret_cast<WindowRef>(ev.message);
    if (IsValidWindowPtr(w) && IsWindowUpdatePending(w)) {
      BeginUpdate(w);
      DialogRef d = r != noErr ? GetDialogFromWindow(w) : nullptr;
      if (d) UpdateDialog(d, nullptr);
      EndUpdate(w);
    }
  }
  ReleaseEvent(e);
}

void forgetWindow(WindowRef w) {
  auto it = st().windows.find(w);
  if (it == st().windows.end()) return;
  for (auto& h : it->second->handlers) {
    h->removed = true;
    st().live.erase(refOf(h.get()));
  }
  st().windows.erase(it);
}

}  // namespace

// ---------------------------------------------------------------------------
// Events

OSStatus CreateEvent(CFAllocatorRef, UInt32 eventClass, UInt32 eventKind, EventTime when, UInt32, EventRef* outEvent) {
  if (!outEvent) return paramErr;
  *outEvent = newEvent(eventClass, eventKind);
  if (when > 0) (*outEvent)->when = when;
  return noErr;
}

EventRef RetainEvent(EventRef e) {
  if (liveEvent(e)) ++e->refs;
  return e;
}

void ReleaseEvent(EventRef e) {
  if (liveEvent(e) && --e->refs == 0) delete e;
}

UInt32 GetEventClass(EventRef e) { return liveEvent(e) ? e->cls : 0; }
UInt32 GetEventKind(EventRef e) { return liveEvent(e) ? e->kind : 0; }
EventTime GetEventTime(EventRef e) { return liveEvent(e) ? e->when : 0; }

OSStatus SetEventParameter(EventRef e, EventParamName name, EventParamType type, UInt32 size, const void* data) {
  if (!liveEvent(e) || (size > 0 && !data)) return paramErr;
  e->params[name] = Param{type, std::string(static_cast<const char*>(data), size)};
  return noErr;
}

OSStatus GetEventParameter(EventRef e, EventParamName name, EventParamType desiredType, EventParamType* outActualType,
                           UInt32 bufferSize, UInt32* outActualSize, void* outData) {
  if (!liveEvent(e)) return paramErr;
  auto it = e->params.find(name);
  if (it == e->params.end()) return eventParameterNotFoundErr;
  const Param& p = it->second;
  const bool sameWord = (p.type == typeUInt32 || p.type == typeSInt32) &&
                        (desiredType == typeUInt32 || desiredType == typeSInt32);
  if (desiredType != typeWildCard && desiredType != p.type && !sameWord) return errAECoercionFail;
  if (outActualType) *outActualType = desiredType == typeWildCard ? p.type : desiredType;
  if (outActualSize) *outActualSize = UInt32(p.bytes.size());
  if (outData && bufferSize > 0) std::memcpy(outData, p.bytes.data(), std::min<std::size_t>(bufferSize, p.bytes.size()));
  return noErr;
}

Boolean ConvertEventRefToEventRecord(EventRef e, EventRecord* out) {
  if (!out) return false;
  *out = EventRecord{nullEvent, 0, TickCount(), Point{0, 0}, 0};
  if (!liveEvent(e)) return false;
  if (e->hasRecord) {
    *out = e->record;
    return true;
  }
  UInt32 mods = 0;
  get(e, kEventParamKeyModifiers, typeUInt32, &mods);
  out->modifiers = EventModifiers(mods);
  WindowRef w = nullptr;
  switch (e->cls) {
    case kEventClassMouse:
      if (e->kind != kEventMouseDown && e->kind != kEventMouseUp) return false;
      out->what = e->kind == kEventMouseDown ? mouseDown : mouseUp;
      get(e, kEventParamMouseLocation, typeQDPoint, &out->where);
      return true;
    case kEventClassKeyboard: {
      if (e->kind > kEventRawKeyUp) return false;
      out->what = e->kind == kEventRawKeyDown ? keyDown : e->kind == kEventRawKeyRepeat ? autoKey : keyUp;
      UInt32 code = 0;
      get(e, kEventParamKeyCode, typeUInt32, &code);
      const std::string text = textOf(e, kEventParamKeyMacCharCodes);
      out->message = ((code & 0xFF) << 8) | (text.empty() ? 0 : UInt8(text[0]));
      return true;
    }
    case kEventClassTextInput: {
      EventRef key = nullptr;
      if (e->kind == kEventTextInputUnicodeForKeyEvent && get(e, kEventParamTextInputSendKeyboardEvent, typeEventRef, &key))
        return ConvertEventRefToEventRecord(key, out);
      return false;
    }
    case kEventClassWindow:
      if (!get(e, kEventParamDirectObject, typeWindowRef, &w)) return false;
      if (e->kind == kEventWindowUpdate) {
        out->what = updateEvt;
      } else if (e->kind == kEventWindowActivated || e->kind == kEventWindowDeactivated) {
        out->what = activateEvt;
        if (e->kind == kEventWindowActivated) out->modifiers |= activeFlag;
      } else {
        return false;
      }
      out->message = reinterpret_cast<unsigned long>(w);
      return true;
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// Targets and handlers

EventTargetRef GetApplicationEventTarget() { return &st().app; }

EventTargetRef GetWindowEventTarget(WindowRef window) {
  if (!IsValidWindowPtr(window)) return nullptr;
  static const bool hooked = (tb::AddWindowDisposeHook(&forgetWindow), true);
  (void)hooked;
  auto& slot = st().windows[window];
  if (!slot) slot.reset(new OpaqueEventTargetRef{window, &st().app, {}});
  return slot.get();
}

EventTargetRef GetUserFocusEventTarget() { return focusTarget(); }

OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, UInt32 numTypes, const EventTypeSpec* list,
                             void* userData, EventHandlerRef* outRef) {
  if (outRef) *outRef = nullptr;
  if (!target || !handler || (numTypes > 0 && !list)) return paramErr;
  auto h = std::make_shared<Handler>();
  h->proc = handler;
  h->user = userData;
  h->types.assign(list, list + numTypes);
  h->target = target;
  target->handlers.push_back(h);
  st().live[refOf(h.get())] = h;
  if (outRef) *outRef = refOf(h.get());
  return noErr;
}

OSStatus InstallApplicationEventHandler(EventHandlerUPP handler, UInt32 numTypes, const EventTypeSpec* list,
                                        void* userData, EventHandlerRef* outRef) {
  return InstallEventHandler(GetApplicationEventTarget(), handler, numTypes, list, userData, outRef);
}

OSStatus InstallWindowEventHandler(WindowRef window, EventHandlerUPP handler, UInt32 numTypes,
                                   const EventTypeSpec* list, void* userData, EventHandlerRef* outRef) {
  EventTargetRef t = GetWindowEventTarget(window);
  if (!t) {
    if (outRef) *outRef = nullptr;
    return paramErr;
  }
  return InstallEventHandler(t, handler, numTypes, list, userData, outRef);
}

OSStatus RemoveEventHandler(EventHandlerRef ref) {
  auto it = st().live.find(ref);
  if (it == st().live.end()) return paramErr;
  std::shared_ptr<Handler> h = it->second;
  st().live.erase(it);
  h->removed = true;
  auto& list = h->target->handlers;
  list.erase(std::remove(list.begin(), list.end(), h), list.end());
  return noErr;
}

OSStatus CallNextEventHandler(EventHandlerCallRef call, EventRef e) {
  if (!call || !liveEvent(e)) return paramErr;
  return runFrom(*call, e);
}

OSStatus SendEventToEventTarget(EventRef e, EventTargetRef target) {
  if (!liveEvent(e) || !target) return paramErr;
  return dispatch(e, target);
}

OSStatus ProcessHICommand(const HICommand* command) {
  if (!command) return paramErr;
  EventRef e = newEvent(kEventClassCommand, kEventCommandProcess);
  put(e, kEventParamDirectObject, typeHICommand, *command);
  OSStatus r = SendEventToEventTarget(e, focusTarget());
  ReleaseEvent(e);
  return r;
}

// ---------------------------------------------------------------------------
// The loop

void RunApplicationEventLoop() {
  State& s = st();
  if (s.quitPending) {
    s.quitPending = false;
    return;
  }
  // Quit from the application menu and the quit Apple event become the
  // 'quit' command while the loop runs, unless the program handles them.
  tb::MenuCommandHandler savedMenu = tb::GetMenuCommandHandler();
  tb::SetMenuCommandHandler(&onMenuCommand);
  AEEventHandlerUPP existing = nullptr;
  SRefCon ref = 0;
  const bool ownQuitAE =
      AEGetEventHandler(kCoreEventClass, kAEQuitApplication, &existing, &ref, false) != noErr &&
      AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, &onQuitAppleEvent, 0, false) == noErr;

  s.quit.push_back(false);
  const std::size_t level = s.quit.size() - 1;
  while (!s.quit[level]) {
    EventRecord ev;
    std::string text;
    // Timers run inside the wait, which ends when the next one is due.
    if (tb::detail::WaitEvent(everyEvent, &ev, 1000000, &text)) dispatchClassic(ev, text);
  }
  s.quit.pop_back();

  if (ownQuitAE) AERemoveEventHandler(kCoreEventClass, kAEQuitApplication, &onQuitAppleEvent, false);
  tb::SetMenuCommandHandler(savedMenu);
}

void QuitApplicationEventLoop() {
  State& s = st();
  if (s.quit.empty()) {
    s.quitPending = true;
    return;
  }
  s.quit.back() = true;
  // End the wait at once.
  tb::Defer([] {});
}

// ---------------------------------------------------------------------------

void tb::SetDefaultEventHandler(UInt32 eventClass, UInt32 eventKind, DefaultEventHandler handler) {
  st().defaults[{eventClass, eventKind}] = handler;
}

EventRef tb::CurrentDispatchedEvent() { return st().current; }

bool tb::WheelOverArea(EventRef e, WindowRef window, const Rect& area, int* lines, bool* horizontal) {
  if (!liveEvent(e) || e->cls != kEventClassMouse || e->kind != kEventMouseWheelMoved || !IsValidWindowPtr(window))
    return false;
  Point where{0, 0};
  SInt32 delta = 0;
  EventMouseWheelAxis axis = kEventMouseWheelAxisY;
  if (!get(e, kEventParamMouseLocation, typeQDPoint, &where) || !get(e, kEventParamMouseWheelDelta, typeSInt32, &delta))
    return false;
  get(e, kEventParamMouseWheelAxis, typeMouseWheelAxis, &axis);
  {
    tb::PortSaver port(GetWindowPort(window));
    GlobalToLocal(&where);
  }
  if (!PtInRect(where, &area)) return false;
  // The platform counts up (or left) as positive; views scroll down by lines.
  if (lines) *lines = int(-delta);
  if (horizontal) *horizontal = axis == kEventMouseWheelAxisX;
  return true;
}

void tb::detail::DeliverWheel(Point where, SInt16 lines, bool horizontal, EventModifiers mods) {
  WindowRef w = nullptr;
  const WindowPartCode part = FindWindow(where, &w);
  if (!w || part == inMenuBar || part == inDesk) return;
  if ((tb::detail::InModalLoop() && w != FrontWindow()) || tb::detail::MenuOpen()) return;
  EventRef e = newEvent(kEventClassMouse, kEventMouseWheelMoved);
  put(e, kEventParamMouseLocation, typeQDPoint, where);
  put(e, kEventParamMouseWheelAxis, typeMouseWheelAxis,
      EventMouseWheelAxis(horizontal ? kEventMouseWheelAxisX : kEventMouseWheelAxisY));
  put(e, kEventParamMouseWheelDelta, typeSInt32, SInt32(-lines));
  put(e, kEventParamKeyModifiers, typeUInt32, UInt32(mods));
  put(e, kEventParamWindowRef, typeWindowRef, w);
  dispatch(e, GetWindowEventTarget(w));
  ReleaseEvent(e);
}

int tb::EventHandlerCount() { return int(st().live.size()); }

void tb::ResetCarbonEvents() {
  State& s = st();
  for (auto& [ref, h] : s.live) h->removed = true;
  s.live.clear();
  s.app.handlers.clear();
  s.windows.clear();
  s.defaults.clear();
  for (std::size_t i = 0; i < s.quit.size(); ++i) s.quit[i] = true;
  s.quitPending = false;
  s.clickCount = 0;
  tb::detail::ResetTimers();
}

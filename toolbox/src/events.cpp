// Event Manager: the event queue, its masks and the wait that pumps the
// network and Apple events while the program sleeps.
#include "toolbox/events.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>
#include <map>
#include <memory>

#include "events_internal.h"
#include "input_internal.h"
#include "screen_internal.h"
#include "toolbox/clock.h"
#include "toolbox/processes.h"
#include "toolbox/pump.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "utf8_internal.h"

namespace {

// A queued input item. Mouse moves only carry the position; they are kept in
// order with the events so that a tracking loop sees the path of a drag.
// A key event carries its whole character (UTF-8) in text: the classic
// calls hand it out a byte at a time, the Carbon loop takes it whole. A turn
// of the wheel (lines in ev.message) is no event of the classic queue: the
// toolbox delivers it itself when a loop that takes presses reaches it.
struct Item {
  EventRecord ev;
  bool move;
  std::string text;
  bool wheel = false;
  bool horizontal = false;
  bool event() const { return !move && !wheel; }
};

// Old entries are dropped past this many, so a flood of input cannot grow
// the queue without end.
constexpr std::size_t kMaxQueue = 1024;

struct State {
  std::deque<Item> queue;
  Point mouse{0, 0};
  bool button = false;  // as of the events taken so far
  EventModifiers mods = 0;
  UInt8 keysDown[16] = {};
  int beeps = 0;
  int cursor = 0;
  int cursorID = 0;
  tb::EventSource idleSource = nullptr;
  bool scriptLooked = false;  // TOOLBOX_SCRIPT is read at the first event loop pass
  UInt64 mouseDownsTaken = 0;
};

State& st() {
  static State s;
  return s;
}

EventModifiers currentModifiers() {
  EventModifiers m = st().mods & ~(btnState | activeFlag);
  if (!st().button) m |= btnState;
  return m;
}

void fillNull(EventRecord* ev) {
  ev->what = nullEvent;
  ev->message = 0;
  ev->when = TickCount();
  ev->where = st().mouse;
  ev->modifiers = currentModifiers();
}

bool matches(EventMask mask, EventKind what) { return what < 16 && (mask & (1u << what)); }

void push(const Item& item) {
  auto& q = st().queue;
  if (q.size() >= kMaxQueue) q.pop_front();
  q.push_back(item);
}

// Takes in the moves at the front of the queue.
void applyLeadingMoves() {
  auto& q = st().queue;
  while (!q.empty() && q.front().move) {
    st().mouse = q.front().ev.where;
    q.pop_front();
  }
}

void noteTaken(const EventRecord& ev) {
  switch (ev.what) {
    case mouseDown:
      st().mouse = ev.where;
      st().button = true;
      ++st().mouseDownsTaken;
      break;
    case mouseUp:
      st().mouse = ev.where;
      st().button = false;
      break;
    case keyDown:
    case autoKey: {
      UInt8 code = UInt8(ev.message >> 8);
      st().keysDown[code >> 3] |= UInt8(1u << (code & 7));
      break;
    }
    case keyUp: {
      UInt8 code = UInt8(ev.message >> 8);
      st().keysDown[code >> 3] &= UInt8(~(1u << (code & 7)));
      break;
    }
    default:
      break;
  }
}

// Takes the item at i out of the queue, with the moves before it, which
// have happened by the time it is taken.
Item takeAt(std::size_t i) {
  auto& q = st().queue;
  for (std::size_t j = 0; j < i; ++j)
    if (q[j].move) st().mouse = q[j].ev.where;
  Item item = std::move(q[i]);
  q.erase(q.begin() + long(i));
  for (std::size_t j = i; j-- > 0;)
    if (q[j].move) q.erase(q.begin() + long(j));
  return item;
}

bool isKey(EventKind what) { return what == keyDown || what == autoKey || what == keyUp; }

// The queued event that comes first for the mask, by the platform's order:
// activate, then input in arrival order, then updates, then high-level.
// With keyText, a key event is taken with its whole character; without, a
// character of several bytes is handed out as one key event per byte.
bool nextEvent(EventMask mask, EventRecord* ev, bool remove, std::string* keyText = nullptr) {
  if (keyText) keyText->clear();
  if ((mask & activMask) && tb::detail::NextActivateEvent(ev, remove)) return true;

  auto& q = st().queue;
  for (std::size_t i = 0; i < q.size(); ++i) {
    if (q[i].wheel && remove && (mask & mDownMask)) {
      // A loop that takes presses has reached the turn of the wheel: the
      // views under it scroll now.
      const Item wheel = takeAt(i);
      st().mouse = wheel.ev.where;
      tb::detail::DeliverWheel(wheel.ev.where, SInt16(SInt32(wheel.ev.message)), wheel.horizontal, wheel.ev.modifiers);
      // What the views did may have queued or taken input: look again.
      return nextEvent(mask, ev, remove, keyText);
    }
    if (!q[i].event() || !matches(mask, q[i].ev.what)) continue;
    if (remove && !keyText && q[i].text.size() > 1) {
      // The bytes after the first wait as key events of their own.
      std::vector<Item> rest;
      for (std::size_t k = 1; k < q[i].text.size(); ++k) {
        Item b = q[i];
        b.ev.message = (b.ev.message & ~UInt32(charCodeMask)) | UInt8(q[i].text[k]);
        b.text = q[i].text.substr(k, 1);
        rest.push_back(std::move(b));
      }
      q[i].text.resize(1);
      q.insert(q.begin() + long(i) + 1, rest.begin(), rest.end());
    }
    *ev = q[i].ev;
    if (keyText && isKey(ev->what)) *keyText = q[i].text.empty() ? std::string(1, char(ev->message & charCodeMask)) : q[i].text;
    if (remove) {
      takeAt(i);
      noteTaken(*ev);
    }
    return true;
  }

  if ((mask & updateMask) && tb::detail::NextUpdateEvent(ev)) return true;

  if (mask & highLevelEventMask) {
    if (auto peek = tb::HighLevelEventSource()) {
      UInt32 cls = 0, id = 0;
      if (peek(&cls, &id)) {
        ev->what = kHighLevelEvent;
        ev->message = cls;
        ev->when = TickCount();
        ev->where.v = SInt16(UInt16(id >> 16));
        ev->where.h = SInt16(UInt16(id & 0xFFFF));
        ev->modifiers = currentModifiers();
        return true;
      }
    }
  }
  return false;
}

// The script of this program: TOOLBOX_SCRIPT_<creator> before
// TOOLBOX_SCRIPT, so that a test can drive a program and the one it
// launches (which inherits the environment) with a script each.
const char* scriptPath() {
  if (const OSType creator = tb::CurrentCreator()) {
    std::string name = "TOOLBOX_SCRIPT_";
    for (int shift = 24; shift >= 0; shift -= 8) name.push_back(char((creator >> shift) & 0xFF));
    if (const char* own = std::getenv(name.c_str())) return own;
  }
  return std::getenv("TOOLBOX_SCRIPT");
}

// The pump of the Event Manager's waits, each of which a program may sit in
// for good: a quit request left untaken there too long ends the program.
bool pumpInWait(int ms) {
  const bool ran = tb::Pump(ms);
  tb::detail::EndIfQuitUnanswered();
  return ran;
}

// Takes in input and runs ready descriptors without waiting. The event loop
// (not a tracking loop) also lets the test script post its next input once
// the program has taken everything before it.
bool pumpInput(bool fromEventLoop = false) {
  if (fromEventLoop && !st().scriptLooked) {
    st().scriptLooked = true;
    if (const char* path = scriptPath(); path && *path && !tb::LoadScript(path)) {
      std::fprintf(stderr, "script: cannot read %s\n", path);
      std::exit(3);
    }
  }
  // What is ready (network news, due timers) runs before the screen is
  // shown again: what it draws goes out in the same present, and an answer
  // is not left waiting behind one.
  bool ran = pumpInWait(0);
  tb::detail::DisplayIdle();
  if (fromEventLoop && st().idleSource && st().queue.empty()) {
    EventRecord ev;
    if (!tb::detail::NextActivateEvent(&ev, false) && st().idleSource()) ran = true;
  }
  return ran;
}

bool mouseEventPending() {
  for (const Item& it : st().queue)
    if (it.event() && (it.ev.what == mouseDown || it.ev.what == mouseUp)) return true;
  return false;
}

}  // namespace

bool tb::detail::WaitEvent(EventMask mask, EventRecord* event, UInt64 sleepMicros, std::string* keyText) {
  const UInt64 start = tb::MonotonicMicros();
  const UInt64 deadline = start + sleepMicros;

  for (;;) {
    bool ran = pumpInput(true);
    if (nextEvent(mask, event, true, keyText)) return true;
    // Network work or another toolbox descriptor just ran: give the
    // program its idle pass at once.
    if (ran) break;
    const UInt64 now = tb::MonotonicMicros();
    if (tb::VirtualClockOn()) {
      // The virtual clock does not move by waiting; still give peers on
      // loopback a moment to answer.
      if (sleepMicros > 0) tb::Pump(1);
      if (nextEvent(mask, event, true, keyText)) return true;
      break;
    }
    if (now >= deadline) break;
    UInt64 left = deadline - now;
    int ms = int(std::min<UInt64>((left + 999) / 1000, 1000));
    tb::detail::DisplayIdle();
    if (pumpInWait(ms)) {
      if (nextEvent(mask, event, true, keyText)) return true;
      break;
    }
  }
  applyLeadingMoves();
  fillNull(event);
  return false;
}

Boolean WaitNextEvent(EventMask mask, EventRecord* event, UInt32 sleep, void*) {
  EventRecord scratch;
  if (!event) event = &scratch;
  // Sleep times of days mean "until something happens"; cap the arithmetic.
  const UInt64 sleepMicros = UInt64(std::min<UInt32>(sleep, 60u * 60 * 60 * 24)) * 1000000 / 60;
  return tb::detail::WaitEvent(mask, event, sleepMicros, nullptr);
}

Boolean GetNextEvent(EventMask mask, EventRecord* event) {
  EventRecord scratch;
  if (!event) event = &scratch;
  pumpInput(true);
  if (nextEvent(mask, event, true)) return true;
  fillNull(event);
  return false;
}

Boolean EventAvail(EventMask mask, EventRecord* event) {
  EventRecord scratch;
  if (!event) event = &scratch;
  pumpInput();
  if (nextEvent(mask, event, false)) return true;
  fillNull(event);
  return false;
}

void FlushEvents(EventMask whatToFlush, EventMask stopMask) {
  auto& q = st().queue;
  std::deque<Item> kept;
  bool stopped = false;
  for (Item& it : q) {
    if (!stopped && it.event() && matches(stopMask, it.ev.what)) stopped = true;
    // Turns of the wheel go with the presses.
    if (!stopped && !it.move && matches(whatToFlush, it.wheel ? EventKind(mouseDown) : it.ev.what)) continue;
    kept.push_back(it);
  }
  q.swap(kept);
}

OSErr PostEvent(EventKind what, UInt32 message) {
  switch (what) {
    case mouseDown:
    case mouseUp:
    case keyDown:
    case keyUp:
    case autoKey:
    case diskEvt:
    case osEvt:
      break;
    default:
      return -1;  // evtNotEnb: the other kinds are made by their managers
  }
  EventRecord ev{what, message, TickCount(), st().mouse, currentModifiers()};
  push(Item{ev, false, {}});
  return noErr;
}

void SystemTask() { tb::Pump(0); }

void GetMouse(Point* where) {
  if (!where) return;
  // Asked on every idle pass right after the loop's own wait has taken the
  // input in: a pump in between is all the freshness needed. Asked again
  // with no pump since (a tracking loop), it takes the input in itself.
  static UInt64 seen = ~UInt64(0);
  if (tb::PumpCount() == seen) pumpInput();
  seen = tb::PumpCount();
  applyLeadingMoves();
  *where = tb::detail::GlobalToCurrentLocal(st().mouse);
}

Boolean Button() {
  pumpInput();
  bool down = st().button;
  for (const Item& it : st().queue) {
    if (!it.event()) continue;
    if (it.ev.what == mouseDown) down = true;
    if (it.ev.what == mouseUp) down = false;
  }
  return down;
}

Boolean StillDown() {
  bool ran = pumpInput();
  applyLeadingMoves();
  if (!st().button || mouseEventPending()) return false;
  // Input queued behind the press that is not the mouse (a key, say) can
  // only be reached once the press is over.
  const bool mouseNext = !st().queue.empty() && (st().queue.front().move ||
                                                 st().queue.front().ev.what == mouseDown ||
                                                 st().queue.front().ev.what == mouseUp);
  if (!ran && !mouseNext) {
    if (!tb::detail::DisplayHasLiveInput()) {
      // Nobody can let go of a button that only a test pressed: the press
      // ends where the mouse is.
      st().button = false;
      return false;
    }
    // A person holds the button: wait for their next move without spinning.
    pumpInWait(10);
  }
  return true;
}

Boolean WaitMouseUp() {
  if (StillDown()) return true;
  auto& q = st().queue;
  // The release ends the press unless another press came before it.
  for (std::size_t i = 0; i < q.size(); ++i) {
    if (!q[i].event() || (q[i].ev.what != mouseUp && q[i].ev.what != mouseDown)) continue;
    if (q[i].ev.what == mouseUp) {
      EventRecord ev;
      nextEvent(mUpMask, &ev, true);
    }
    break;
  }
  return false;
}

UInt32 GetDblTime() { return 30; }
UInt32 GetCaretTime() { return 30; }

void GetKeys(KeyMap keys) {
  if (!keys) return;
  pumpInput();
  // Byte k / 8, bit k % 8 in memory order, as code that indexes the map
  // byte by byte expects.
  std::memcpy(keys, st().keysDown, sizeof st().keysDown);
}

EventModifiers GetCurrentKeyModifiers() { return currentModifiers(); }

void Delay(UInt32 numTicks, UInt32* finalTicks) {
  if (tb::VirtualClockOn()) {
    tb::AdvanceTicks(numTicks);
    tb::Pump(0);
  } else {
    const UInt64 end = tb::MonotonicMicros() + UInt64(numTicks) * 1000000 / 60;
    for (;;) {
      tb::detail::DisplayIdle();
      UInt64 now = tb::MonotonicMicros();
      if (now >= end) break;
      pumpInWait(int(std::min<UInt64>((end - now + 999) / 1000, 1000)));
    }
  }
  if (finalTicks) *finalTicks = TickCount();
}

void SysBeep(short) {
  ++st().beeps;
  tb::detail::DisplayBeep();
}

// ---------------------------------------------------------------------------
// Cursors. The shapes only matter to a display that shows them, so the
// records hold a plain mask and the kind is what is passed on. Each system
// record carries its kind in its first row, so that a program's copy of one
// (the watch kept in its globals) is still known for what it is.

namespace {

Cursor makeCursor(SInt16 hotV, SInt16 hotH, UInt16 kind) {
  Cursor c{};
  for (int i = 0; i < 16; ++i) {
    c.data[i] = 0;
    c.mask[i] = 0;
  }
  c.data[0] = kind;
  c.hotSpot = Point{hotV, hotH};
  return c;
}

struct CursorSet {
  Cursor arrow = makeCursor(1, 1, 0);
  Cursor cursors[5] = {makeCursor(1, 1, 0), makeCursor(4, 4, 1), makeCursor(7, 7, 2), makeCursor(7, 7, 3),
                       makeCursor(8, 8, 4)};
  Cursor* ptrs[5] = {&cursors[0], &cursors[1], &cursors[2], &cursors[3], &cursors[4]};
  // Cursors read from 'CURS' resources by id. A record never moves once
  // made, so a handle given out stays good; a later GetCursor rereads it.
  struct FromResource {
    Cursor cursor;
    Cursor* ptr;
  };
  std::map<SInt16, std::unique_ptr<FromResource>> resources;
};

CursorSet& cursors() {
  static CursorSet c;
  return c;
}

constexpr std::size_t kCursorBytes = 68;

bool sameCursor(const Cursor& a, const Cursor& b) {
  return std::memcmp(a.data, b.data, sizeof a.data) == 0 && std::memcmp(a.mask, b.mask, sizeof a.mask) == 0 &&
         a.hotSpot.v == b.hotSpot.v && a.hotSpot.h == b.hotSpot.h;
}

// The cursor last set and what it was found to be: programs set the same
// one on every idle pass, and the search below compares whole records.
struct LastCursor {
  bool valid = false;
  Cursor value{};
  int kind = 0, id = 0;
};
LastCursor gLastCursor;

}  // namespace

void InitCursor() { SetCursor(&cursors().arrow); }

void SetCursor(const Cursor* crsr) {
  LastCursor& last = gLastCursor;
  if (crsr && last.valid && sameCursor(*crsr, last.value)) {
    st().cursor = last.kind;
    st().cursorID = last.id;
    tb::detail::DisplaySetCursor(last.kind);
    return;
  }
  int kind = 0, id = 0;
  for (int i = 1; i < 5; ++i)
    if (crsr && (crsr == &cursors().cursors[i] || sameCursor(*crsr, cursors().cursors[i]))) kind = id = i;
  if (crsr && !kind && crsr != &cursors().arrow) {
    // A resource cursor, or a program's copy of one (programs keep copies of
    // the records they use, as the watch in their globals).
    for (const auto& [rid, res] : cursors().resources)
      if (crsr == &res->cursor || sameCursor(*crsr, res->cursor)) id = rid;
  }
  st().cursor = kind;
  st().cursorID = id;
  if (crsr) last = LastCursor{true, *crsr, kind, id};
  tb::detail::DisplaySetCursor(kind);
}

CursHandle GetCursor(SInt16 cursorID) {
  if (cursorID >= iBeamCursor && cursorID <= watchCursor) return &cursors().ptrs[cursorID];
  Handle h = GetResource('CURS', cursorID);
  if (!h || GetHandleSize(h) < static_cast<Size>(kCursorBytes)) return nullptr;
  const auto* b = reinterpret_cast<const UInt8*>(*h);
  auto& slot = cursors().resources[cursorID];
  if (!slot) {
    slot = std::make_unique<CursorSet::FromResource>();
    slot->ptr = &slot->cursor;
  }
  Cursor c{};
  for (int i = 0; i < 16; ++i) {
    c.data[i] = be::get16(b + 2 * i);
    c.mask[i] = be::get16(b + 32 + 2 * i);
  }
  c.hotSpot.v = static_cast<SInt16>(be::get16(b + 64));
  c.hotSpot.h = static_cast<SInt16>(be::get16(b + 66));
  if (!sameCursor(c, slot->cursor)) {
    // A changed record may now be another id's twin.
    slot->cursor = c;
    gLastCursor.valid = false;
  }
  return &slot->ptr;
}

const Cursor* GetQDGlobalsArrow(Cursor* arrow) {
  if (arrow) *arrow = cursors().arrow;
  return &cursors().arrow;
}

void HideCursor() {}
void ShowCursor() {}
void ObscureCursor() {}

// ---------------------------------------------------------------------------

void tb::PostMouse(EventKind what, Point where, EventModifiers mods) {
  st().mods = mods & ~(btnState | activeFlag);
  EventModifiers m = st().mods;
  if (what == mouseUp) m |= btnState;
  push(Item{EventRecord{what, 0, TickCount(), where, m}, false, {}});
}

void tb::PostMouseMove(Point where) {
  auto& q = st().queue;
  // Consecutive moves only matter by their last position.
  if (!q.empty() && q.back().move) {
    q.back().ev.where = where;
    return;
  }
  push(Item{EventRecord{nullEvent, 0, TickCount(), where, 0}, true, {}});
}

void tb::PostWheel(Point where, SInt16 delta, bool horizontal) {
  if (delta == 0) return;
  Item item{EventRecord{nullEvent, UInt32(SInt32(delta)), TickCount(), where, st().mods}, false, {}};
  item.wheel = true;
  item.horizontal = horizontal;
  push(item);
}

void tb::PostKey(EventKind what, UInt8 charCode, UInt8 keyCode, EventModifiers mods) {
  st().mods = mods & ~(btnState | activeFlag);
  EventModifiers m = st().mods;
  if (!st().button) m |= btnState;
  UInt32 message = (UInt32(keyCode) << 8) | charCode;
  push(Item{EventRecord{what, message, TickCount(), st().mouse, m}, false, {}});
}

void tb::PostKeyText(EventKind what, std::string_view text, UInt8 keyCode, EventModifiers mods) {
  st().mods = mods & ~(btnState | activeFlag);
  EventModifiers m = st().mods;
  if (!st().button) m |= btnState;
  const auto* b = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = tb::utf8::Decode(b, text.size(), i).second;
    UInt32 message = (UInt32(keyCode) << 8) | b[i];
    push(Item{EventRecord{what, message, TickCount(), st().mouse, m}, false, std::string(text.substr(i, n))});
    i += n;
  }
}

void tb::SetModifierState(EventModifiers mods) { st().mods = mods & ~(btnState | activeFlag); }

int tb::BeepCount() { return st().beeps; }
void tb::ResetBeepCount() { st().beeps = 0; }
int tb::CurrentCursorKind() { return st().cursor; }
int tb::CurrentCursorID() { return st().cursorID; }
Point tb::detail::GlobalMouse() { return st().mouse; }
bool tb::detail::ButtonTaken() { return st().button; }

void tb::SetIdleEventSource(EventSource source) { st().idleSource = source; }

void tb::ResetEventState() {
  st().queue.clear();
  st().scriptLooked = false;
  st().button = false;
  st().mods = 0;
  st().mouse = Point{0, 0};
  std::fill(std::begin(st().keysDown), std::end(st().keysDown), UInt8(0));
}

int tb::QueuedEventCount() {
  int n = 0;
  for (const Item& it : st().queue)
    if (!it.move) ++n;  // a turn of the wheel is input still to take
  return n;
}

UInt64 tb::MouseDownsTaken() { return st().mouseDownsTaken; }

namespace {
int gModalDepth = 0;
}
tb::detail::ModalScope::ModalScope() { ++gModalDepth; }
tb::detail::ModalScope::~ModalScope() { --gModalDepth; }
bool tb::detail::InModalLoop() { return gModalDepth > 0; }

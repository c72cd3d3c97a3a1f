// Event Manager: one queue of EventRecords fed by the display backend (or
// the test driver), with activate and update events made by the Window
// Manager and high-level events reported by the Apple-event layer.
// WaitNextEvent waits through tb::Pump, so network and Apple-event work runs
// while the program sleeps and wakes it at once.
#pragma once

#include <string_view>

#include "toolbox/types.h"

using EventKind = UInt16;
using EventMask = UInt16;
using EventModifiers = UInt16;

struct EventRecord {
  EventKind what;
  unsigned long message;  // wide enough for the window of update and activate events
  UInt32 when;
  Point where;
  EventModifiers modifiers;
};

enum : EventKind {
  nullEvent = 0,
  mouseDown = 1,
  mouseUp = 2,
  keyDown = 3,
  keyUp = 4,
  autoKey = 5,
  updateEvt = 6,
  diskEvt = 7,
  activateEvt = 8,
  osEvt = 15,
  kHighLevelEvent = 23,
};

enum : EventMask {
  mDownMask = 1 << mouseDown,
  mUpMask = 1 << mouseUp,
  keyDownMask = 1 << keyDown,
  keyUpMask = 1 << keyUp,
  autoKeyMask = 1 << autoKey,
  updateMask = 1 << updateEvt,
  diskMask = 1 << diskEvt,
  activMask = 1 << activateEvt,
  highLevelEventMask = 0x0400,
  osMask = 0x8000,
  everyEvent = 0xFFFF,
};

// Modifier bits. btnState is set while the mouse button is up.
enum : EventModifiers {
  activeFlag = 0x0001,
  btnState = 0x0080,
  cmdKey = 0x0100,
  shiftKey = 0x0200,
  alphaLock = 0x0400,
  optionKey = 0x0800,
  controlKey = 0x1000,
  rightShiftKey = 0x2000,
  rightOptionKey = 0x4000,
  rightControlKey = 0x8000,
};

enum : UInt32 {
  charCodeMask = 0x000000FF,
  keyCodeMask = 0x0000FF00,
};

// Virtual key codes (message bits 8-15 of key events).
enum : UInt8 {
  kVK_Return = 0x24,
  kVK_Tab = 0x30,
  kVK_Space = 0x31,
  kVK_Delete = 0x33,
  kVK_Escape = 0x35,
  kVK_ANSI_Period = 0x2F,
  kVK_ANSI_KeypadEnter = 0x4C,
  kVK_Help = 0x72,
  kVK_Home = 0x73,
  kVK_PageUp = 0x74,
  kVK_ForwardDelete = 0x75,
  kVK_End = 0x77,
  kVK_PageDown = 0x79,
  kVK_LeftArrow = 0x7B,
  kVK_RightArrow = 0x7C,
  kVK_DownArrow = 0x7D,
  kVK_UpArrow = 0x7E,
};

// Character codes that go with the special keys.
enum : UInt8 {
  kHomeCharCode = 1,
  kEnterCharCode = 3,
  kEndCharCode = 4,
  kHelpCharCode = 5,
  kBackspaceCharCode = 8,
  kTabCharCode = 9,
  kPageUpCharCode = 11,
  kPageDownCharCode = 12,
  kReturnCharCode = 13,
  kEscapeCharCode = 27,
  kLeftArrowCharCode = 28,
  kRightArrowCharCode = 29,
  kUpArrowCharCode = 30,
  kDownArrowCharCode = 31,
  kSpaceCharCode = 32,
  kDeleteCharCode = 127,
};

// A high-level event reports its class in message and its id in where:
// where.v holds the id's high 16 bits and where.h its low 16 bits, so the
// two fields read together big-end first give the id back.
inline UInt32 HighLevelEventID(const EventRecord& e) {
  return (UInt32(UInt16(e.where.v)) << 16) | UInt16(e.where.h);
}

// Waits at most sleep ticks for an event of the mask. Returns false with a
// null event when none came. mouseRgn is accepted and not used (no
// mouse-moved events are made).
Boolean WaitNextEvent(EventMask mask, EventRecord* event, UInt32 sleep, void* mouseRgn);
// Takes the next event of the mask without waiting.
Boolean GetNextEvent(EventMask mask, EventRecord* event);
// Looks at the next event of the mask without taking it.
Boolean EventAvail(EventMask mask, EventRecord* event);
// Removes the queued events of whatToFlush, up to (not including) the first
// of stopMask.
void FlushEvents(EventMask whatToFlush, EventMask stopMask);
// Adds an event to the queue (mouse and key kinds, disk, and osEvt).
OSErr PostEvent(EventKind what, UInt32 message);
void SystemTask();

// The mouse, in global coordinates unless a port is current (then in the
// port's local coordinates, as GetMouse always was).
void GetMouse(Point* where);
Boolean Button();
Boolean StillDown();
Boolean WaitMouseUp();
UInt32 GetDblTime();
UInt32 GetCaretTime();
// The keyboard as 128 bits indexed by key code.
using KeyMap = UInt32[4];
void GetKeys(KeyMap keys);
EventModifiers GetCurrentKeyModifiers();

// Waits numTicks ticks (still pumping the network); finalTicks gets the
// tick count at the end. On the virtual clock the wait advances the clock.
void Delay(UInt32 numTicks, UInt32* finalTicks);

void SysBeep(short duration);

// Cursors: 16x16 image and mask with a hot spot. The display shows the
// arrow, the watch, the I-beam and the cross; the rest is the arrow.
// GetCursor gives the system cursors for ids 1 to 4 and the program's
// 'CURS' resource (68 bytes: image, mask, hot spot v and h, big-endian)
// for any other id; the record stays valid for the life of the process.
struct Cursor {
  UInt16 data[16];
  UInt16 mask[16];
  Point hotSpot;
};
using CursPtr = Cursor*;
using CursHandle = Cursor**;
enum : SInt16 { iBeamCursor = 1, crossCursor = 2, plusCursor = 3, watchCursor = 4 };
void InitCursor();
void SetCursor(const Cursor* crsr);
// The shared system cursors (never to be disposed).
CursHandle GetCursor(SInt16 cursorID);
const Cursor* GetQDGlobalsArrow(Cursor* arrow);
void HideCursor();
void ShowCursor();
void ObscureCursor();

namespace tb {

// Events as the backends and the test driver post them. Mouse moves update
// the position without making an event; `where` is global.
void PostMouse(EventKind what, Point where, EventModifiers mods);
void PostMouseMove(Point where);
// A turn of the wheel by delta lines (positive down or right), delivered as
// the mouse-wheel event of carbonevents.h when a loop reaches it.
void PostWheel(Point where, SInt16 delta, bool horizontal);
void PostKey(EventKind what, UInt8 charCode, UInt8 keyCode, EventModifiers mods);
// One key event per character of UTF-8 text (a byte that is no valid
// sequence is a character of its own). The classic calls hand a character
// of several bytes out as one key event per byte; the Carbon event loop
// takes it whole.
void PostKeyText(EventKind what, std::string_view text, UInt8 keyCode, EventModifiers mods);
// The modifier keys held now (the display backend keeps them current).
void SetModifierState(EventModifiers mods);

// The number of SysBeep calls since the start or the last reset.
int BeepCount();
void ResetBeepCount();

// The cursor last set: 0 arrow, or iBeamCursor .. watchCursor.
int CurrentCursorKind();
// The cursor last set by id: 0 the arrow, 1 to 4 the system cursors, else
// the 'CURS' resource id it came from (a copy of that record counts too).
int CurrentCursorID();

// Called once at every WaitNextEvent, before it looks at the queue (the
// test script runs from here). Returns true when it posted input.
using EventSource = bool (*)();
void SetIdleEventSource(EventSource source);

// Drops every queued event and resets the mouse and keyboard; the next
// event loop pass looks at TOOLBOX_SCRIPT again (tests).
void ResetEventState();
// Number of events waiting in the queue.
int QueuedEventCount();

}  // namespace tb

// Carbon Event Manager: event references with typed parameters, handler
// chains on the application and window targets, the application event
// loop and event-loop timers.
//
// The loop takes the classic queue (events.h) and turns each event into a
// Carbon event sent to a target: mouse-downs to the window under the mouse
// (the menu bar and the desk to the application), keys to the front window,
// updates and activates to their window. Every window target's chain goes
// on to the application's. A handler answers noErr (handled) or
// eventNotHandledErr (pass on); CallNextEventHandler runs the rest of the
// chain from inside a handler. What no handler takes gets the default:
// - a mouse-down in the menu bar tracks the menu and sends the chosen item
//   as a command (kEventCommandProcess with an HICommand) to the front
//   window, then the application; in a window it only brings that window to
//   the front (the program has done any drag or grow itself), and only when
//   the window was not in front at the press, so a window that the press's
//   handler opened stays in front;
// - a raw key becomes a text-input event (kEventTextInputUnicodeForKeyEvent)
//   to the same target, carrying the whole character as UTF-16 and the key
//   event; a Command key that matches an enabled menu item is that item's
//   command instead; text input nobody took is typed into the window's
//   focused text object (textengine.h);
// - an update with no handler that drew is validated (dialogs are drawn);
// - a turn of the mouse wheel (kEventMouseWheelMoved) goes to the window
//   under the pointer (only the front window while a modal dialog runs),
//   from whatever loop takes presses when it reaches it in the input, the
//   classic ones too; the scrolling views of the toolbox and the libraries
//   handle it on their window, and what none took moves a scroll bar with
//   an action procedure under the pointer as its arrows would;
// - the 'quit' command ends the loop. The Quit item of the application menu
//   and the 'aevt'/'quit' Apple event (when the program installed no handler
//   of its own) become the 'quit' command.
// High-level events are processed by the loop itself (AEProcessAppleEvent).
//
// Timers run on the toolbox clock (the virtual one in tests) from every
// wait of the toolbox: the event loop, WaitNextEvent and so ModalDialog and
// the choosers, control and menu tracking, Delay and any tb::Pump. A timer
// never runs inside its own callback; waits sleep only until the next one
// is due. Times are seconds (EventTime).
#pragma once

#include "toolbox/appleevents.h"
#include "toolbox/cfstring.h"
#include "toolbox/events.h"
#include "toolbox/menus.h"
#include "toolbox/types.h"
#include "toolbox/windows.h"

using EventTime = double;
using EventTimeout = EventTime;
using EventTimerInterval = EventTime;
constexpr EventTime kEventDurationSecond = 1.0;
constexpr EventTime kEventDurationMillisecond = 0.001;
constexpr EventTime kEventDurationNoWait = 0.0;
constexpr EventTime kEventDurationForever = -1.0;

using EventParamName = OSType;
using EventParamType = OSType;

enum : OSStatus {
  eventAlreadyPostedErr = -9860,
  eventClassInvalidErr = -9862,
  eventInternalErr = -9868,
  eventKindIncorrectErr = -9869,
  eventParameterNotFoundErr = -9870,
  eventNotHandledErr = -9874,
  eventLoopTimedOutErr = -9875,
  eventLoopQuitErr = -9876,
};

// Classes and kinds.
enum : UInt32 {
  kEventClassMouse = 'mous',
  kEventClassKeyboard = 'keyb',
  kEventClassTextInput = 'text',
  kEventClassApplication = 'appl',
  kEventClassMenu = 'menu',
  kEventClassWindow = 'wind',
  kEventClassCommand = 'cmds',
};
enum : UInt32 { kEventMouseDown = 1, kEventMouseUp = 2, kEventMouseWheelMoved = 10 };
enum : UInt32 { kEventRawKeyDown = 1, kEventRawKeyRepeat = 2, kEventRawKeyUp = 3 };
enum : UInt32 { kEventTextInputUnicodeForKeyEvent = 2 };
enum : UInt32 { kEventWindowUpdate = 1, kEventWindowActivated = 5, kEventWindowDeactivated = 6 };
enum : UInt32 { kEventCommandProcess = 1 };

// Parameters and their types.
enum : EventParamName {
  kEventParamDirectObject = '----',
  kEventParamKeyCode = 'kcod',                     // typeUInt32
  kEventParamKeyMacCharCodes = 'kchr',             // typeChar: the character's UTF-8 bytes
  kEventParamKeyModifiers = 'kmod',                // typeUInt32
  kEventParamKeyUnicodes = 'kuni',                 // typeUnicodeText
  kEventParamMouseLocation = 'mloc',               // typeQDPoint, global
  kEventParamMouseButton = 'mbtn',                 // typeMouseButton
  kEventParamClickCount = 'ccnt',                  // typeUInt32
  kEventParamWindowRef = 'wind',                   // typeWindowRef
  kEventParamMouseWheelAxis = 'mwax',              // typeMouseWheelAxis
  kEventParamMouseWheelDelta = 'mwdl',             // typeSInt32: lines, positive up (or left)
  kEventParamTextInputSendText = 'tstx',           // typeUnicodeText
  kEventParamTextInputSendKeyboardEvent = 'tske',  // typeEventRef
};
// typeWildCard, typeChar and typeSInt32 are the Apple-event types.
enum : EventParamType {
  typeUInt32 = 'magn',
  typeUnicodeText = 'utxt',
  typeQDPoint = 'QDpt',
  typeMouseButton = 'mbtn',
  typeWindowRef = 'wind',
  typeHICommand = 'hcmd',
  typeEventRef = 'evrf',
  typeMouseWheelAxis = 'mwax',
};

using EventMouseButton = UInt16;
enum : EventMouseButton { kEventMouseButtonPrimary = 1 };
using EventMouseWheelAxis = UInt16;
enum : EventMouseWheelAxis { kEventMouseWheelAxisX = 0, kEventMouseWheelAxisY = 1 };

// A command from a menu item (or sent by the program).
enum : UInt32 { kHICommandFromMenu = 1 };
struct HICommand {
  UInt32 attributes;
  UInt32 commandID;
  struct {
    MenuRef menuRef;
    MenuItemIndex menuItemIndex;
  } menu;
};

struct EventTypeSpec {
  UInt32 eventClass;
  UInt32 eventKind;
};

struct OpaqueEventRef;
using EventRef = OpaqueEventRef*;
struct OpaqueEventTargetRef;
using EventTargetRef = OpaqueEventTargetRef*;
struct OpaqueEventHandlerRef;
using EventHandlerRef = OpaqueEventHandlerRef*;
struct OpaqueEventHandlerCallRef;
using EventHandlerCallRef = OpaqueEventHandlerCallRef*;
struct OpaqueEventLoopRef;
using EventLoopRef = OpaqueEventLoopRef*;
struct OpaqueEventLoopTimerRef;
using EventLoopTimerRef = OpaqueEventLoopTimerRef*;

using EventHandlerProcPtr = OSStatus (*)(EventHandlerCallRef inHandlerCallRef, EventRef inEvent, void* inUserData);
using EventHandlerUPP = EventHandlerProcPtr;
using EventLoopTimerProcPtr = void (*)(EventLoopTimerRef inTimer, void* inUserData);
using EventLoopTimerUPP = EventLoopTimerProcPtr;

inline EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr p) { return p; }
inline void DisposeEventHandlerUPP(EventHandlerUPP) {}
inline EventLoopTimerUPP NewEventLoopTimerUPP(EventLoopTimerProcPtr p) { return p; }
inline void DisposeEventLoopTimerUPP(EventLoopTimerUPP) {}

// Events. A new event has one reference; RetainEvent/ReleaseEvent count.
OSStatus CreateEvent(CFAllocatorRef alloc, UInt32 eventClass, UInt32 eventKind, EventTime when, UInt32 flags,
                     EventRef* outEvent);
EventRef RetainEvent(EventRef event);
void ReleaseEvent(EventRef event);
UInt32 GetEventClass(EventRef event);
UInt32 GetEventKind(EventRef event);
EventTime GetEventTime(EventRef event);
OSStatus SetEventParameter(EventRef event, EventParamName name, EventParamType type, UInt32 size, const void* data);
// Copies at most bufferSize bytes; outActualSize gets the whole size.
// typeWildCard takes the stored type; typeUInt32 and typeSInt32 stand for
// each other; another type than the stored one is errAECoercionFail.
OSStatus GetEventParameter(EventRef event, EventParamName name, EventParamType desiredType,
                           EventParamType* outActualType, UInt32 bufferSize, UInt32* outActualSize, void* outData);
// The classic form of a mouse, key, text-input, update or activate event;
// false (and a null event) for others.
Boolean ConvertEventRefToEventRecord(EventRef event, EventRecord* outRecord);

// Targets and handlers. A handler is called for the kinds it listed, the
// last installed first.
EventTargetRef GetApplicationEventTarget();
EventTargetRef GetWindowEventTarget(WindowRef window);
EventTargetRef GetUserFocusEventTarget();
OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, UInt32 numTypes,
                             const EventTypeSpec* list, void* userData, EventHandlerRef* outRef);
OSStatus InstallApplicationEventHandler(EventHandlerUPP handler, UInt32 numTypes, const EventTypeSpec* list,
                                        void* userData, EventHandlerRef* outRef);
OSStatus InstallWindowEventHandler(WindowRef window, EventHandlerUPP handler, UInt32 numTypes,
                                   const EventTypeSpec* list, void* userData, EventHandlerRef* outRef);
// Safe from inside the handler itself (it is not called again).
OSStatus RemoveEventHandler(EventHandlerRef handler);
// Runs the rest of the chain (then the default) for the event.
OSStatus CallNextEventHandler(EventHandlerCallRef callRef, EventRef event);
OSStatus SendEventToEventTarget(EventRef event, EventTargetRef target);
// Sends a kEventCommandProcess for the command to the user focus.
OSStatus ProcessHICommand(const HICommand* command);

// The loop.
EventLoopRef GetCurrentEventLoop();
EventLoopRef GetMainEventLoop();
void RunApplicationEventLoop();
// Ends the innermost running loop once the current event is done.
void QuitApplicationEventLoop();
EventTime GetCurrentEventTime();

// Timers. fireDelay from now for the first call, then every interval (0:
// once). The callback may remove the timer or set its next fire time.
OSStatus InstallEventLoopTimer(EventLoopRef loop, EventTimerInterval fireDelay, EventTimerInterval interval,
                               EventLoopTimerUPP proc, void* userData, EventLoopTimerRef* outTimer);
OSStatus RemoveEventLoopTimer(EventLoopTimerRef timer);
// The next call comes nextFire seconds from now (kEventDurationForever:
// not until set again); the interval goes on from there.
OSStatus SetEventLoopTimerNextFireTime(EventLoopTimerRef timer, EventTimerInterval nextFire);

namespace tb {

// What the toolbox does with an event no handler took, for the managers
// that own one (the text engine takes the text input of its focused
// object). Returns noErr when it handled the event.
using DefaultEventHandler = OSStatus (*)(EventRef event, WindowRef window);
void SetDefaultEventHandler(UInt32 eventClass, UInt32 eventKind, DefaultEventHandler handler);

// For the owners of scrolling views: a mouse-wheel event over area (local
// coordinates of the window's port) gives the lines to scroll, positive
// down or right, and whether the wheel is the horizontal one. False when the
// event is no turn of the wheel or lies outside the area.
bool WheelOverArea(EventRef event, WindowRef window, const Rect& area, int* lines, bool* horizontal);

// The event the loop is dispatching now (null between events), and its
// classic record; text handlers read the key event from here.
EventRef CurrentDispatchedEvent();

// Number of installed handlers and timers (tests).
int EventHandlerCount();
int EventLoopTimerCount();
// Removes every handler and timer and ends any loop state (tests).
void ResetCarbonEvents();

}  // namespace tb

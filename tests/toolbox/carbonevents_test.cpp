// Carbon events: the dispatch of each classic event kind to window and
// application handlers with pass-through and defaults, commands from menus
// and Command keys, the quit paths, whole characters as text input, and
// event-loop timers on the virtual clock inside nested waits.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "toolbox/appleevents.h"
#include "toolbox/carbonevents.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/navigation.h"
#include "toolbox/processes.h"
#include "toolbox/pump.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox/textengine.h"

namespace {

using testsupport::PStr;
using Log = std::vector<std::string>;

class CarbonEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    tb::ResetEventState();
    tb::ResetMenus();
    tb::ResetCarbonEvents();
  }
  void TearDown() override {
    tb::ResetCarbonEvents();
    tb::DisposeAllWindows();
    tb::ResetMenus();
    tb::ResetEventState();
    tb::SetIdleEventSource(nullptr);
    tb::UseVirtualClock(false);
  }

  static WindowRef window(const char* title, short top) {
    Rect r{top, 100, short(top + 150), 400};
    return NewCWindow(nullptr, &r, PStr(title), true, documentProc, kFirstWindowOfClass, true, 0);
  }

  // Runs the application loop until every queued event is taken.
  static void runUntilIdle() {
    tb::SetIdleEventSource(+[] {
      QuitApplicationEventLoop();
      return false;
    });
    RunApplicationEventLoop();
    tb::SetIdleEventSource(nullptr);
  }

  // Runs the loop until it ends by itself; false when it had to be ended
  // after many idle passes.
  static bool runUntilQuit() {
    static int passes;
    static bool forced;
    passes = 0;
    forced = false;
    tb::SetIdleEventSource(+[] {
      if (++passes > 2000) {
        forced = true;
        QuitApplicationEventLoop();
      }
      return false;
    });
    RunApplicationEventLoop();
    tb::SetIdleEventSource(nullptr);
    return !forced;
  }
};

// A handler that logs "<name>:<classic kind>" and answers as told.
struct Spy {
  std::string name;
  enum Mode { kHandle, kDecline, kCallNext } mode;
  Log* log;
};

OSStatus spyProc(EventHandlerCallRef call, EventRef e, void* user) {
  auto* s = static_cast<Spy*>(user);
  EventRecord rec;
  ConvertEventRefToEventRecord(e, &rec);
  s->log->push_back(s->name + ":" + std::to_string(rec.what));
  if (s->mode == Spy::kCallNext) return CallNextEventHandler(call, e);
  return s->mode == Spy::kHandle ? OSStatus(noErr) : OSStatus(eventNotHandledErr);
}

// Text input: logs the UTF-16 units and the key event's bytes.
OSStatus textProc(EventHandlerCallRef, EventRef e, void* user) {
  auto* log = static_cast<Log*>(user);
  UInt32 size = 0;
  GetEventParameter(e, kEventParamTextInputSendText, typeUnicodeText, nullptr, 0, &size, nullptr);
  std::u16string u(size / 2, u'\0');
  GetEventParameter(e, kEventParamTextInputSendText, typeUnicodeText, nullptr, size, nullptr, u.data());
  EventRef key = nullptr;
  GetEventParameter(e, kEventParamTextInputSendKeyboardEvent, typeEventRef, nullptr, sizeof key, nullptr, &key);
  char bytes[8] = {};
  UInt32 n = 0;
  GetEventParameter(key, kEventParamKeyMacCharCodes, typeChar, nullptr, sizeof bytes, &n, bytes);
  std::string entry = "text";
  for (char16_t c : u) entry += " " + std::to_string(unsigned(c));
  log->push_back(entry + " /" + std::to_string(n));
  return noErr;
}

TEST_F(CarbonEvents, EachKindReachesWindowThenApplicationThenTheDefault) {
  struct Row {
    const char* name;
    UInt32 cls, kind;
    bool onBack;  // the event goes to the back window (else the front one)
    std::function<void(WindowRef front, WindowRef back)> provoke;
    bool textDefault;  // the default makes a text-input event
    bool frontDefault;  // the default brings the back window up
  };
  const Row rows[] = {
      {"mouse-down", kEventClassMouse, kEventMouseDown, true,
       [](WindowRef, WindowRef back) {
         Rect r;
         GetWindowBounds(back, kWindowContentRgn, &r);
         tb::ClickAt(Point{SInt16(r.bottom - 10), SInt16(r.left + 10)});
       },
       false, true},
      {"raw key", kEventClassKeyboard, kEventRawKeyDown, false, [](WindowRef, WindowRef) { tb::TypeText("k"); },
       true, false},
      {"key repeat", kEventClassKeyboard, kEventRawKeyRepeat, false,
       [](WindowRef, WindowRef) { tb::PostKey(autoKey, 'r', tb::KeyCodeForChar('r'), 0); }, true, false},
      {"update", kEventClassWindow, kEventWindowUpdate, false,
       [](WindowRef front, WindowRef) {
         Rect r;
         GetWindowPortBounds(front, &r);
         InvalWindowRect(front, &r);
       },
       false, false},
      {"activated", kEventClassWindow, kEventWindowActivated, true,
       [](WindowRef, WindowRef back) { SelectWindow(back); }, false, false},
      {"deactivated", kEventClassWindow, kEventWindowDeactivated, false,
       [](WindowRef, WindowRef back) { SelectWindow(back); }, false, false},
  };
  const char* modes[] = {"handle", "decline", "call-next", "none"};
  for (const Row& row : rows) {
    for (int mode = 0; mode < 4; ++mode) {
      SCOPED_TRACE(std::string(row.name) + " / " + modes[mode]);
      WindowRef back = window("Back", 60);
      WindowRef front = window("Front", 260);
      runUntilIdle();  // the opening updates and activates
      ASSERT_EQ(FrontWindow(), front);
      WindowRef target = row.onBack ? back : front;
      Log log;
      Spy win{"win", Spy::Mode(std::min(mode, 2)), &log};
      Spy app{"app", Spy::kDecline, &log};
      EventTypeSpec spec{row.cls, row.kind};
      EventTypeSpec text{kEventClassTextInput, kEventTextInputUnicodeForKeyEvent};
      EventHandlerRef hw = nullptr, ha = nullptr, ht = nullptr;
      if (mode < 3) {
        ASSERT_EQ(InstallWindowEventHandler(target, NewEventHandlerUPP(spyProc), 1, &spec, &win, &hw), noErr);
        ASSERT_EQ(InstallApplicationEventHandler(NewEventHandlerUPP(spyProc), 1, &spec, &app, &ha), noErr);
      }
      InstallWindowEventHandler(target, textProc, 1, &text, &log, &ht);
      row.provoke(front, back);
      runUntilIdle();

      const int classicKind = row.cls == kEventClassMouse      ? mouseDown
                              : row.cls == kEventClassKeyboard ? (row.kind == kEventRawKeyDown ? keyDown : autoKey)
                              : row.kind == kEventWindowUpdate ? updateEvt
                                                               : activateEvt;
      const std::string classic = std::to_string(classicKind);
      Log want;
      if (mode < 3) want.push_back("win:" + classic);
      if (mode == 1 || mode == 2) want.push_back("app:" + classic);
      const bool defaultRuns = mode != 0;
      if (defaultRuns && row.textDefault) want.push_back(std::string("text ") + (row.kind == kEventRawKeyDown ? "107" : "114") + " /1");
      EXPECT_EQ(log, want);
      if (row.frontDefault) {
        EXPECT_EQ(FrontWindow() == back, defaultRuns);
      }
      EXPECT_FALSE(IsWindowUpdatePending(front));  // updates end whoever drew

      for (EventHandlerRef h : {hw, ha, ht}) {
        if (h) {
          EXPECT_EQ(RemoveEventHandler(h), noErr);
        }
      }
      EXPECT_EQ(tb::EventHandlerCount(), 0);
      DisposeWindow(front);
      DisposeWindow(back);
    }
  }
}

// A press in the front window whose handler opens another window (and
// declines the press): the new window stays in front, as a dialog the press
// opened must.
TEST_F(CarbonEvents, AWindowOpenedByAPressInTheFrontWindowStaysInFront) {
  WindowRef front = window("Front", 60);
  runUntilIdle();
  static WindowRef opened;
  opened = nullptr;
  EventTypeSpec spec{kEventClassMouse, kEventMouseDown};
  EventHandlerRef h = nullptr;
  ASSERT_EQ(InstallWindowEventHandler(
                front,
                +[](EventHandlerCallRef, EventRef, void*) -> OSStatus {
                  opened = window("Opened", 300);
                  return eventNotHandledErr;
                },
                1, &spec, nullptr, &h),
            noErr);
  Rect r;
  GetWindowBounds(front, kWindowContentRgn, &r);
  tb::ClickAt(Point{SInt16(r.top + 10), SInt16(r.left + 10)});
  runUntilIdle();
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(FrontWindow(), opened);
  RemoveEventHandler(h);
}

struct CommandLog {
  Log log;
  OSStatus answer = noErr;
};

OSStatus commandProc(EventHandlerCallRef, EventRef e, void* user) {
  auto* c = static_cast<CommandLog*>(user);
  HICommand cmd{};
  EXPECT_EQ(GetEventParameter(e, kEventParamDirectObject, typeHICommand, nullptr, sizeof cmd, nullptr, &cmd), noErr);
  std::string id(4, ' ');
  for (int i = 0; i < 4; ++i) id[std::size_t(i)] = char(cmd.commandID >> (24 - 8 * i));
  c->log.push_back(id + " " + std::to_string(cmd.attributes) + " " +
                   std::to_string(cmd.menu.menuRef ? GetMenuID(cmd.menu.menuRef) : 0) + "/" +
                   std::to_string(cmd.menu.menuItemIndex));
  return c->answer;
}

TEST_F(CarbonEvents, MenuChoicesAndCommandKeysAreCommandsToTheFrontWindowThenTheApplication) {
  MenuRef file = NewMenu(129, PStr("File"));
  AppendMenu(file, PStr("New/N;Open/O"));
  SetMenuItemCommandID(file, 1, 'new ');
  SetMenuItemCommandID(file, 2, 'open');
  InsertMenu(file, 0);
  WindowRef w = window("Main", 60);
  runUntilIdle();
  CommandLog win, app;
  win.answer = eventNotHandledErr;
  const EventTypeSpec spec{kEventClassCommand, kEventCommandProcess};
  InstallWindowEventHandler(w, commandProc, 1, &spec, &win, nullptr);
  InstallApplicationEventHandler(commandProc, 1, &spec, &app, nullptr);
  Log keys;
  const EventTypeSpec text{kEventClassTextInput, kEventTextInputUnicodeForKeyEvent};
  InstallWindowEventHandler(w, textProc, 1, &text, &keys, nullptr);

  ASSERT_TRUE(tb::ChooseMenuItem(129, 2));
  tb::PressKey('n', tb::KeyCodeForChar('n'), cmdKey);
  tb::PressKey('a', tb::KeyCodeForChar('a'), cmdKey);  // no item: a raw key with Command
  runUntilIdle();
  DisableMenuItem(file, 1);
  tb::PressKey('n', tb::KeyCodeForChar('n'), cmdKey);  // disabled: a raw key too
  runUntilIdle();
  const Log want = {"open 1 129/2", "new  1 129/1"};
  EXPECT_EQ(win.log, want);
  EXPECT_EQ(app.log, want);
  EXPECT_EQ(keys, (Log{"text 97 /1", "text 110 /1"}));
  EXPECT_EQ(tb::HilitedMenu(), 0);

  // A window handler may dispose of its window (and so of its handlers)
  // while the command passes on: the application still gets it.
  struct Closer {
    WindowRef w;
    EventHandlerRef self;
  } closer{w, nullptr};
  InstallWindowEventHandler(
      w,
      +[](EventHandlerCallRef, EventRef, void* user) -> OSStatus {
        auto* c = static_cast<Closer*>(user);
        EXPECT_EQ(RemoveEventHandler(c->self), noErr);
        DisposeWindow(c->w);
        return eventNotHandledErr;
      },
      1, &spec, &closer, &closer.self);
  EnableMenuItem(file, 1);
  tb::PressKey('n', tb::KeyCodeForChar('n'), cmdKey);
  runUntilIdle();
  EXPECT_EQ(app.log.back(), "new  1 129/1");
  EXPECT_EQ(win.log.size(), 2u);  // gone with its window
  EXPECT_EQ(tb::EventHandlerCount(), 1);
}

TEST_F(CarbonEvents, QuitItemAndQuitAppleEventBecomeTheQuitCommandThatEndsTheLoop) {
  testsupport::TempDir dir;
  testsupport::ScopedEnv runtime{"XDG_RUNTIME_DIR", (dir.path() / "run").c_str()};
  tb::ResetAppleEvents();
  window("Main", 60);
  runUntilIdle();
  CommandLog app;
  app.answer = eventNotHandledErr;  // the default ends the loop
  const EventTypeSpec spec{kEventClassCommand, kEventCommandProcess};
  InstallApplicationEventHandler(commandProc, 1, &spec, &app, nullptr);

  // Quit from the application menu (its first item), then Command-Q.
  ASSERT_TRUE(tb::ChooseMenuItem(kApplicationMenuID, 1));
  EXPECT_TRUE(runUntilQuit());
  tb::PressKey('q', tb::KeyCodeForChar('q'), cmdKey);
  EXPECT_TRUE(runUntilQuit());
  // The quit Apple event, sent to ourselves.
  ProcessSerialNumber self{0, kCurrentProcess};
  AEAddressDesc target{};
  AppleEvent quit{};
  ASSERT_EQ(AECreateDesc(typeProcessSerialNumber, &self, sizeof self, &target), noErr);
  ASSERT_EQ(AECreateAppleEvent(kCoreEventClass, kAEQuitApplication, &target, kAutoGenerateReturnID,
                               kAnyTransactionID, &quit),
            noErr);
  tb::StartAppleEvents();
  ASSERT_EQ(AESend(&quit, nullptr, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), noErr);
  EXPECT_TRUE(runUntilQuit());
  AEDisposeDesc(&quit);
  AEDisposeDesc(&target);
  const std::string appMenu = std::to_string(kApplicationMenuID);
  EXPECT_EQ(app.log, (Log{"quit 1 " + appMenu + "/1", "quit 1 " + appMenu + "/1", "quit 0 0/0"}));

  // A handled quit does not end the loop; a quit asked before the loop
  // runs ends the next one at once.
  app.answer = noErr;
  tb::PressKey('q', tb::KeyCodeForChar('q'), cmdKey);
  runUntilIdle();
  EXPECT_EQ(app.log.size(), 4u);
  QuitApplicationEventLoop();
  RunApplicationEventLoop();
  tb::ResetAppleEvents();
}

TEST_F(CarbonEvents, TypedTextArrivesAsWholeCharacters) {
  WindowRef w = window("Main", 60);
  runUntilIdle();
  Log log;
  const EventTypeSpec text{kEventClassTextInput, kEventTextInputUnicodeForKeyEvent};
  EventHandlerRef h = nullptr;
  InstallWindowEventHandler(w, textProc, 1, &text, &log, &h);
  // 日本, an emoji (a surrogate pair in one event), a stray byte.
  tb::TypeText("\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80\xFF");
  runUntilIdle();
  EXPECT_EQ(log, (Log{"text 26085 /3", "text 26412 /3", "text 55357 56832 /4", "text 65533 /1"}));

  // With no handler of the program taking it, the window's focused text
  // field types it; arrows act as keys.
  ASSERT_EQ(RemoveEventHandler(h), noErr);
  Rect frame{10, 10, 30, 200};
  TXNObject field = nullptr;
  TXNFrameID id = 0;
  ASSERT_EQ(TXNNewObject(nullptr, w, &frame, kTXNSingleLineOnlyMask, kTXNTextEditStyleFrameType, kTXNTextensionFile,
                         kTXNSystemDefaultEncoding, &field, &id, nullptr),
            noErr);
  TXNFocus(field, true);
  tb::TypeText("\xE6\x97\xA5\xE6\x9C\xAC");
  tb::PressNamedKey("Left");
  tb::TypeText("x");
  runUntilIdle();
  EXPECT_EQ(tb::TXNText(field), "\xE6\x97\xA5x\xE6\x9C\xAC");
  TXNDeleteObject(field);

  // The classic calls still see one key event per byte.
  tb::TypeText("\xE6\x97\xA5" "a");
  std::string bytes;
  EventRecord ev;
  while (GetNextEvent(keyDownMask, &ev)) bytes += char(ev.message & charCodeMask);
  EXPECT_EQ(bytes, "\xE6\x97\xA5" "a");
}

// --- timers -------------------------------------------------------------------------------

struct TimerLog {
  std::vector<UInt32> ticks;
  int depth = 0, deepest = 0;
  std::function<void(EventLoopTimerRef)> then;
};

void timerProc(EventLoopTimerRef t, void* user) {
  auto* l = static_cast<TimerLog*>(user);
  l->ticks.push_back(TickCount());
  l->deepest = std::max(l->deepest, ++l->depth);
  if (l->then) l->then(t);
  --l->depth;
}

TEST_F(CarbonEvents, TimersFireByTheVirtualClockAndReArmFromInside) {
  tb::UseVirtualClock(true);
  const UInt32 t0 = TickCount();
  TimerLog a;
  EventLoopTimerRef ta = nullptr;
  ASSERT_EQ(InstallEventLoopTimer(GetCurrentEventLoop(), 0, 0.1, NewEventLoopTimerUPP(timerProc), &a, &ta), noErr);
  // The second call asks for an early one (0.01 s: the next tick), after
  // which the 0.1 s interval goes on from there.
  a.then = [&](EventLoopTimerRef t) {
    if (a.ticks.size() == 2) SetEventLoopTimerNextFireTime(t, 0.01);
  };
  TimerLog once;
  InstallEventLoopTimer(GetCurrentEventLoop(), 0.25, 0, timerProc, &once, nullptr);
  for (int i = 0; i < 30; ++i) {
    tb::Pump(0);
    tb::AdvanceTicks(1);
  }
  std::vector<UInt32> rel;
  for (UInt32 t : a.ticks) rel.push_back(t - t0);
  EXPECT_EQ(rel, (std::vector<UInt32>{0, 6, 7, 13, 19, 25}));
  ASSERT_EQ(once.ticks.size(), 1u);  // 0.25 s is 15 ticks; then never again
  EXPECT_EQ(once.ticks[0] - t0, 15u);

  // Delay serves timers; a timer that removes itself is not called again.
  a.then = [](EventLoopTimerRef t) { EXPECT_EQ(RemoveEventLoopTimer(t), noErr); };
  Delay(6, nullptr);
  Delay(60, nullptr);
  EXPECT_EQ(a.ticks.size(), 7u);
  EXPECT_EQ(RemoveEventLoopTimer(ta), paramErr);
  EXPECT_EQ(tb::EventLoopTimerCount(), 1);  // the one-shot stays until removed
}

TEST_F(CarbonEvents, ATimerIsNeverReEnteredWhileItsCallbackTracksAPopUp) {
  tb::UseVirtualClock(true);
  MenuRef pop = NewMenu(200, PStr("Devices"));
  AppendMenu(pop, PStr("One;Two"));
  TimerLog a, b;
  UInt32 bInsideA = 0;
  a.then = [&](EventLoopTimerRef) {
    // Both timers are overdue while the pop-up is tracked: the other one
    // runs from the tracking loop, this one does not run again.
    tb::AdvanceTicks(60);
    tb::MouseDownAt(Point{100, 100});
    tb::MouseUpAt(Point{100, 100});
    PopUpMenuSelect(pop, 100, 100, 1);
    bInsideA = UInt32(b.ticks.size());
  };
  InstallEventLoopTimer(GetCurrentEventLoop(), 0, 0.1, timerProc, &a, nullptr);
  InstallEventLoopTimer(GetCurrentEventLoop(), 0.5, 0.1, timerProc, &b, nullptr);
  tb::Pump(0);
  EXPECT_EQ(a.ticks.size(), 1u);
  EXPECT_EQ(a.deepest, 1);
  EXPECT_EQ(bInsideA, 1u);
  DisposeMenu(pop);
}

TEST_F(CarbonEvents, TimersFireInsideModalDialogAndAChooser) {
  tb::ResetResources();
  ASSERT_GT(tb::OpenApplicationResources(DIALOGS_TEST_RSRC), 0);
  tb::UseVirtualClock(true);
  DialogRef d = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  SetDialogDefaultItem(d, 1);
  // The dialog's filter moves the clock a tick per pass; the timer, due
  // after half a second, answers the dialog with Return.
  TimerLog t;
  t.then = [](EventLoopTimerRef) { tb::PressNamedKey("Return"); };
  const UInt32 t0 = TickCount();
  InstallEventLoopTimer(GetCurrentEventLoop(), 0.5, 0, timerProc, &t, nullptr);
  ModalFilterUPP tick = NewModalFilterUPP(+[](DialogRef, EventRecord*, DialogItemIndex*) -> Boolean {
    tb::AdvanceTicks(1);
    return false;
  });
  DialogItemIndex item = 0;
  ModalDialog(tick, &item);
  EXPECT_EQ(item, 1);
  ASSERT_EQ(t.ticks.size(), 1u);
  EXPECT_EQ(t.ticks[0] - t0, 30u);
  DisposeDialog(d);
  tb::ResetResources();

  // The file chooser: the timer runs while it is up and cancels it.
  bool chooserUp = false;
  t.then = [&](EventLoopTimerRef) {
    chooserUp = tb::ChooserWindow() != nullptr;
    tb::PressNamedKey("Escape");
  };
  InstallEventLoopTimer(GetCurrentEventLoop(), 0, 0, timerProc, &t, nullptr);
  NavReplyRecord reply{};
  EXPECT_EQ(NavGetFile(nullptr, &reply, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), userCanceledErr);
  EXPECT_TRUE(chooserUp);
  NavDisposeReply(&reply);
}

}  // namespace

// The window registry and the two-stage dispatch, driven through the
// program's loop with injected input and the stub host.
#include <filesystem>

#include "FrameworkFixture.h"
#include "test_support.h"
#include "toolbox/appleevents.h"
#include "toolbox/files.h"
#include "toolbox/processes.h"
#include "common/AppMenus.h"

using namespace fwtest;

namespace {

std::string EditText(DialogRef d) { return tb::DialogItemText(d, 3); }

UInt16 WindowNo(DialogRef d) {
  UInt16 n = 999;
  EXPECT_NE(Search_Window_Data(d, &n), nullptr);
  return n;
}

TEST_F(Framework, EntriesKeepTheirHandlersInSlotOrderAndTheirRecords) {
  DialogRef d = OpenDialog();
  ASSERT_NE(d, nullptr);
  WindowRef w = GetDialogWindow(d);
  EXPECT_EQ(FrontWindow(), w);
  Str255 title;
  GetWTitle(w, title);
  EXPECT_EQ(pstr::str(title), "Registry");

  USR_WINDOW_QUEUE* entry = Search_Window_Data(d, nullptr);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->wndPtr, w);
  // The opener takes update before select; the slots hold select first.
  const USR_DIALOG& h = entry->usrWin.usrDialog;
  EXPECT_EQ(h.Handle_Item_Select, &ItemSelect);
  EXPECT_EQ(h.Handle_Window_Select, &DialogOther);
  EXPECT_EQ(h.Handle_Window_Update, &DialogUpdate);
  EXPECT_EQ(h.Handle_Window_Active, &DialogActive);
  EXPECT_EQ(h.Handle_Window_Close, &DialogOther);
  EXPECT_EQ(h.Handle_Key_Input, &KeyInput);
  EXPECT_EQ(h.Handle_Window_Resize, nullptr);

  WINDOW_USR_DATA* data = Get_Usr_Window_Data(w);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->isDialog, 1);
  EXPECT_EQ(data->usrDlg, &entry->usrWin);
  EXPECT_EQ(Get_Usr_Window_RefCon(d), nullptr);
  int record = 7;
  Set_Usr_Window_RefCon(d, &record);
  EXPECT_EQ(Get_Usr_Window_RefCon(w), &record);
  EXPECT_EQ(Ptr_Is_Dialog(d), 1);
  Set_Usr_Window_RefCon(static_cast<WindowRef>(nullptr), &record);  // nothing happens

  // A window of someone else's, whatever its reference value, has no
  // record.
  Rect r{300, 300, 400, 400};
  WindowRef other = NewCWindow(nullptr, &r, PStr("Other"), true, documentProc, kFirstWindowOfClass, false, 12345);
  EXPECT_EQ(Ptr_Is_Dialog(other), 0);
  EXPECT_EQ(Get_Usr_Window_RefCon(other), nullptr);
  UInt16 n = 0;
  EXPECT_EQ(Search_Window_Data(other, &n), nullptr);
  EXPECT_EQ(n, 1);  // the entries passed
  Set_Usr_Window_RefCon(other, &record);
  EXPECT_EQ(GetWRefCon(other), 12345);
  DisposeWindow(other);
}

TEST_F(Framework, ClosingADialogRenumbersTheLaterOnesAndEndsOnlyItsOwnModalMode) {
  DialogRef a = OpenDialog(), b = OpenDialog(), c = OpenDialog();
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(WindowNo(a), 0);
  EXPECT_EQ(WindowNo(b), 1);
  EXPECT_EQ(WindowNo(c), 2);
  int recordB = 2;
  Set_Usr_Window_RefCon(b, &recordB);
  // The movable-modal mode ends with its own dialog, not another.
  Window_Select_Mode(a);
  EXPECT_EQ(OpenMovableDlg, a);
  Close_Usr_Dialog(b);
  EXPECT_EQ(OpenMovableDlg, a);
  EXPECT_EQ(count_que(Win_Que_Base), 2);
  EXPECT_EQ(WindowNo(a), 0);
  EXPECT_EQ(WindowNo(c), 1);
  EXPECT_EQ(tb::DialogCount(), 2);
  // The module's record is the module's: untouched.
  EXPECT_EQ(recordB, 2);
  Close_Usr_Dialog(a);
  EXPECT_EQ(OpenMovableDlg, nullptr);
  Close_Usr_Dialog(c);
  EXPECT_EQ(Win_Que_Base, nullptr);
  EXPECT_EQ(tb::DialogCount(), 0);
}

TEST_F(Framework, OpenFailsWholeAndCloseSkipsWhatIsNotInTheTable) {
  const int windows = tb::WindowCount();
  EXPECT_EQ(Open_Usr_Dialog(399, PStr("x"), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(Open_Usr_Window(499, PStr("x"), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(Win_Que_Base, nullptr);
  EXPECT_EQ(tb::WindowCount(), windows);

  DialogRef listed = OpenDialog();
  DialogRef stray = GetNewDialog(300, nullptr, kFirstWindowOfClass);
  ASSERT_TRUE(listed && stray);
  Close_Usr_Dialog(stray);
  EXPECT_EQ(tb::DialogCount(), 1);
  EXPECT_EQ(count_que(Win_Que_Base), 1);
  Close_Usr_Dialog(static_cast<DialogRef>(nullptr));
  Close_Usr_Window(static_cast<WindowRef>(nullptr));
  // A dialog's window given to the plain-window close closes the dialog.
  Close_Usr_Window(GetDialogWindow(listed));
  EXPECT_EQ(Win_Que_Base, nullptr);
  EXPECT_EQ(tb::DialogCount(), 0);
}

TEST_F(Framework, PlainWindowsAreEntriesWithTheirOwnSevenHandlers) {
  DialogRef d = OpenDialog();
  WindowRef w = OpenWindow();
  ASSERT_TRUE(d && w);
  UInt16 n = 9;
  USR_WINDOW_QUEUE* entry = Search_Window_Data(w, &n);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(Ptr_Is_Dialog(w), 0);
  const USR_WINDOW& h = entry->usrWin.usrWindow;
  EXPECT_EQ(h.Handle_Window_Update, &WindowUpdate);
  EXPECT_EQ(h.Handle_Window_Active, &WindowActive);
  EXPECT_EQ(h.Handle_Window_Close, &WindowClose);
  EXPECT_EQ(h.Handle_Key_Input, &WindowKey);
  EXPECT_EQ(h.Handle_Content, &WindowContent);
  EXPECT_EQ(h.Handle_Window_Resize, &WindowResize);
  EXPECT_EQ(h.Handle_Window_Zoom, &WindowZoom);
  int record = 1;
  Set_Usr_Window_RefCon(w, &record);
  EXPECT_EQ(Get_Usr_Window_RefCon(w), &record);
  Close_Usr_Window(w);
  EXPECT_EQ(Search_Window_Data(w, nullptr), nullptr);
  EXPECT_EQ(WindowNo(d), 0);
}

TEST_F(Framework, ContentColourAndTheRootControlFollowTheWindow) {
  DialogRef d = OpenDialog();
  ASSERT_NE(d, nullptr);
  Run();
  WindowRef w = GetDialogWindow(d);
  const RGBColor teal{0x0000, 0x8080, 0x8080};
  SetWindowContentColor(w, &teal);
  GrafPtr before;
  GetPort(&before);
  Set_Content_Color(d);
  GrafPtr after;
  GetPort(&after);
  EXPECT_EQ(before, after);
  EXPECT_EQ(tb::PortPixel(GetWindowPort(w), 2, 2), tb::PackPixel(0, 0x80, 0x80));
  RGBColor back;
  GetPortBackColor(GetWindowPort(w), &back);
  EXPECT_EQ(back.green, teal.green);

  ControlRef check = nullptr;
  ASSERT_EQ(GetDialogItemAsControl(d, 5, &check), noErr);
  EXPECT_EQ(Handle_Window_Active(d), 1);
  EXPECT_TRUE(IsControlActive(check));
  WindowRef front = OpenWindow();
  ASSERT_NE(front, nullptr);
  EXPECT_FALSE(IsWindowHilited(w));
  Handle_Window_Active(d);
  EXPECT_FALSE(IsControlActive(check));
}

// ---- The dispatch ------------------------------------------------------------

// Every kind of event through both stages, with a framework dialog, a
// dialog of someone else's, or no window in front.
TEST_F(Framework, EveryEventKindThroughBothStages) {
  MenuRef file = NewMenu(kFileMenuID, PStr("File"));
  AppendMenu(file, PStr("New/N"));
  InsertMenu(file, 0);
  Answer().keyInput = false;
  DialogRef ours = OpenDialog();
  DialogRef foreign = GetNewDialog(300, nullptr, kFirstWindowOfClass);
  ASSERT_TRUE(ours && foreign);

  enum Front { kOurs, kForeign, kNone };
  auto key = [](char c) { return (UInt32(tb::KeyCodeForChar(c)) << 8) | UInt8(c); };
  struct Case {
    const char* what;
    Front front;
    EventKind kind;
    UInt32 message;  // for updates and activates: 0, filled with the front window
    EventModifiers modifiers;
    short firstStage;
    Strings calls;
    const char* typed;  // the front dialog's edit text afterwards
    std::size_t activates, fileMenuItems;
  } cases[] = {
      {"key kept by the handler", kOurs, keyDown, key('a'), 0, 0, {"key a"}, "", 0, 0},
      {"Command key", kOurs, keyDown, key('n'), cmdKey, 0, {"key n"}, "", 0, 1},
      {"auto-key", kOurs, autoKey, key('b'), 0, 0, {}, "b", 0, 0},
      {"key-up", kOurs, keyUp, key('c'), 0, 0, {}, "", 0, 0},
      {"update", kOurs, updateEvt, 0, 0, 1, {"update"}, "", 0, 0},
      {"activate", kOurs, activateEvt, 0, activeFlag, 0, {"active on"}, "", 1, 0},
      {"null", kOurs, nullEvent, 0, 0, 0, {}, "", 0, 0},
      {"mouse-up", kOurs, mouseUp, 0, 0, 0, {}, "", 0, 0},
      {"operating-system event", kOurs, osEvt, 0, 0, 0, {}, "", 0, 0},
      {"high-level event of another class", kOurs, kHighLevelEvent, 'XXev', 0, 0, {}, "", 0, 0},
      // A dialog the framework does not know gets no key from it.
      {"key, foreign dialog", kForeign, keyDown, key('a'), 0, 0, {}, "", 0, 0},
      {"Command key, foreign dialog", kForeign, keyDown, key('n'), cmdKey, 0, {}, "", 0, 1},
      {"update, foreign dialog", kForeign, updateEvt, 0, 0, 0, {}, "", 0, 0},
      {"activate, foreign dialog", kForeign, activateEvt, 0, activeFlag, 0, {}, "", 1, 0},
      {"key, no window", kNone, keyDown, key('a'), 0, 0, {}, "", 0, 0},
      {"Command key, no window", kNone, keyDown, key('n'), cmdKey, 0, {}, "", 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.front == kNone) {
      HideWindow(GetDialogWindow(ours));
      HideWindow(GetDialogWindow(foreign));
    }
    DialogRef front = c.front == kOurs ? ours : foreign;
    if (c.front != kNone) SelectWindow(GetDialogWindow(front));
    Run();
    for (DialogRef d : {ours, foreign}) {
      DialogItemType kind;
      Handle h;
      Rect r;
      GetDialogItem(d, 3, &kind, &h, &r);
      SetDialogItemText(h, PStr(""));
    }
    Taken();
    testhost::Reset();

    EventRecord e{};
    e.what = c.kind;
    e.message = c.message ? c.message : reinterpret_cast<unsigned long>(GetDialogWindow(front));
    e.modifiers = c.modifiers;
    e.when = TickCount();
    const short first = Handle_Dialog_Event(&e);
    if (first != 1) Handle_Window_Event(&e);
    EXPECT_EQ(first, c.firstStage);
    EXPECT_EQ(Taken(), c.calls);
    if (c.front == kNone) {
      EXPECT_EQ(FrontWindow(), nullptr);
    } else {
      EXPECT_EQ(tb::DialogItemText(front, 3), c.typed);
    }
    EXPECT_EQ(testhost::host().activates.size(), c.activates);
    EXPECT_EQ(testhost::host().fileMenuItems.size(), c.fileMenuItems);
    EXPECT_TRUE(testhost::host().mouseDowns.empty());
  }
  DisposeDialog(foreign);
}

TEST_F(Framework, KeysReachADialogOnlyThroughItsKeyHandler) {
  struct Case {
    const char* what;
    UsrKeyInputProc handler;
    Boolean answer;
    std::string text;
    Strings calls;
  } cases[] = {
      {"no key handler", nullptr, true, "", {}},
      {"handler keeps the key", KeyInput, false, "", {"key a", "key b"}},
      {"handler lets the dialog take it", KeyInput, true, "ab", {"key a", "key b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Answer().keyInput = c.answer;
    DialogRef d = OpenDialog(ItemSelect, DialogUpdate, DialogActive, c.handler);
    ASSERT_NE(d, nullptr);
    Run();
    Taken();
    tb::TypeText("ab");
    Run();
    EXPECT_EQ(EditText(d), c.text);
    EXPECT_EQ(Taken(), c.calls);
    EXPECT_TRUE(testhost::host().mouseDowns.empty());
    Close_Usr_Dialog(d);
  }
}

TEST_F(Framework, AKeyHandlerThatClosesItsDialogGivesTheKeyToNoOtherWindow) {
  // Whatever the handler answers, and whether a dialog or a plain window
  // comes to the front.
  for (Boolean answer : {true, false}) {
    SCOPED_TRACE(answer ? "handler lets the dialog take the key" : "handler keeps the key");
    WindowRef plain = OpenWindow();
    DialogRef behind = OpenDialog();
    Answer().closeOnKey = true;
    Answer().keyInput = answer;
    DialogRef front = OpenDialog(ItemSelect, DialogUpdate, DialogActive, KeyInput);
    ASSERT_TRUE(plain && behind && front);
    Run();
    Taken();
    tb::TypeText("x");
    Run();
    EXPECT_EQ(Search_Window_Data(front, nullptr), nullptr);
    EXPECT_EQ(FrontWindow(), GetDialogWindow(behind));
    EXPECT_EQ(EditText(behind), "");

    Answer().closeOnKey = false;
    front = OpenDialog(ItemSelect, DialogUpdate, DialogActive, KeyInput);
    Close_Usr_Dialog(behind);
    Run();
    Answer().closeOnKey = true;
    Taken();
    tb::TypeText("y");
    Run();
    EXPECT_EQ(FrontWindow(), plain);
    const Strings calls = Taken();
    EXPECT_EQ(calls.front(), "key y");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "wkey y"), 0);
    // The plain window's own keys still reach it.
    tb::TypeText("z");
    Run();
    EXPECT_EQ(Taken(), Strings{"wkey z"});
    Close_Usr_Window(plain);
  }
}

TEST_F(Framework, CommandKeysReachTheMenusFromDialogsAndWindows) {
  MenuRef file = NewMenu(kFileMenuID, PStr("File"));
  AppendMenu(file, PStr("New/N"));
  InsertMenu(file, 0);
  DialogRef d = OpenDialog(ItemSelect, DialogUpdate, DialogActive, nullptr);
  ASSERT_NE(d, nullptr);
  Run();
  tb::PressKey('n', tb::KeyCodeForChar('n'), cmdKey);
  Run();
  EXPECT_EQ(testhost::host().fileMenuItems, std::vector<short>{1});
  EXPECT_EQ(EditText(d), "");

  // An auto-key repeat of a Command key is no command.
  tb::PostKey(autoKey, 'n', tb::KeyCodeForChar('n'), cmdKey);
  Run();
  EXPECT_EQ(testhost::host().fileMenuItems.size(), 1u);

  WindowRef w = OpenWindow();
  ASSERT_NE(w, nullptr);
  Run();
  Taken();
  tb::PressKey('n', tb::KeyCodeForChar('n'), cmdKey);
  tb::TypeText("k");
  Run();
  EXPECT_EQ(testhost::host().fileMenuItems, (std::vector<short>{1, 1}));
  EXPECT_EQ(Taken(), Strings{"wkey k"});
}

TEST_F(Framework, UpdatesAreFinishedByTheFirstStageWithOrWithoutAHandler) {
  for (UsrDialogProc update : {static_cast<UsrDialogProc>(DialogUpdate), static_cast<UsrDialogProc>(nullptr)}) {
    DialogRef d = OpenDialog(ItemSelect, update);
    ASSERT_NE(d, nullptr);
    WindowRef w = GetDialogWindow(d);
    Run();
    Taken();
    Rect all;
    GetWindowPortBounds(w, &all);
    InvalWindowRect(w, &all);
    EventRecord e;
    ASSERT_TRUE(GetNextEvent(updateMask, &e));
    EXPECT_EQ(Handle_Dialog_Event(&e), 1);
    EXPECT_EQ(Taken(), update ? Strings{"update"} : Strings{});
    // Drawn and done: the update does not come back.
    EXPECT_FALSE(IsWindowUpdatePending(w));
    EXPECT_FALSE(EventAvail(updateMask, &e));
    Close_Usr_Dialog(d);
  }
}

TEST_F(Framework, ActivatesReachTheDialogAndTheProgram) {
  DialogRef d = OpenDialog();
  ASSERT_NE(d, nullptr);
  Run();
  EXPECT_EQ(Taken(), (Strings{"active on", "update"}));
  ASSERT_EQ(testhost::host().activates.size(), 1u);
  EXPECT_EQ(reinterpret_cast<WindowRef>(testhost::host().activates[0].message), GetDialogWindow(d));

  // Another framework window in front: the dialog is deactivated, the
  // plain window activated, and the program sees both.
  WindowRef w = OpenWindow();
  ASSERT_NE(w, nullptr);
  Run();
  const Strings calls = Taken();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "active off"), calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "wactive on"), calls.end());
  EXPECT_EQ(testhost::host().activates.size(), 3u);
}

TEST_F(Framework, AnItemHandlerDecidesWhetherTheProgramSeesTheClickToo) {
  for (Boolean finished : {true, false}) {
    SCOPED_TRACE(finished ? "finished" : "not finished");
    testhost::Reset();
    Answer().itemSelect = finished;
    DialogRef d = OpenDialog();
    ASSERT_NE(d, nullptr);
    Run();
    Taken();
    Later();
    ASSERT_TRUE(tb::ClickDialogItem(d, 5));
    Run();
    EXPECT_EQ(Taken(), Strings{"item 5"});
    EXPECT_EQ(testhost::host().mouseDowns.size(), finished ? 0u : 1u);
    Close_Usr_Dialog(d);
  }
  // A dialog without an item handler leaves every click to the program.
  testhost::Reset();
  DialogRef d = OpenDialog(nullptr);
  Run();
  Later();
  tb::ClickDialogItem(d, 5);
  Run();
  EXPECT_EQ(testhost::host().mouseDowns.size(), 1u);
}

TEST_F(Framework, PlainWindowsGetTheirEventsThroughTheSecondStage) {
  WindowRef w = OpenWindow();
  ASSERT_NE(w, nullptr);
  Run();
  EXPECT_EQ(Taken(), (Strings{"wactive on", "wupdate"}));
  EXPECT_EQ(testhost::host().activates.size(), 1u);

  Answer().content = true;
  tb::ClickInWindow(w, Point{20, 20});
  Run();
  EXPECT_EQ(Taken(), Strings{"wcontent"});
  EXPECT_TRUE(testhost::host().mouseDowns.empty());

  Later();
  Answer().content = false;
  tb::ClickInWindow(w, Point{20, 20});
  Run();
  EXPECT_EQ(Taken(), Strings{"wcontent"});
  EXPECT_EQ(testhost::host().mouseDowns.size(), 1u);

  // While a movable-modal dialog is open the program's handler decides.
  Later();
  DialogRef modal = GetNewDialog(300, nullptr, nullptr);
  Window_Select_Mode(modal);
  tb::ClickInWindow(w, Point{20, 20});
  Run();
  EXPECT_EQ(Taken(), Strings{});
  EXPECT_EQ(testhost::host().mouseDowns.size(), 2u);
  Window_Select_Mode(nullptr);
  DisposeDialog(modal);

  EventRecord e{};
  EXPECT_EQ(Handle_Grow_Window(w, &e), 1);
  EXPECT_EQ(Handle_Zoom_Window(w, &e, inZoomOut), 1);
  EXPECT_EQ(Taken(), (Strings{"wresize", "wzoom 8"}));

  // Dialogs are neither resized nor zoomed.
  DialogRef d = OpenDialog();
  Run();
  Taken();
  EXPECT_EQ(Handle_Grow_Window(GetDialogWindow(d), &e), 1);
  EXPECT_EQ(Handle_Zoom_Window(GetDialogWindow(d), &e, inZoomIn), 1);
  EXPECT_EQ(Handle_Grow_Window(nullptr, &e), 1);
  EXPECT_EQ(Taken(), Strings{});

  // A plain window without an update handler is validated all the same.
  WindowRef bare = Open_Usr_Window(400, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(bare, nullptr);
  EXPECT_LT(Run(), 20);
  EXPECT_FALSE(IsWindowUpdatePending(bare));
}

// ---- Apple events --------------------------------------------------------------

int gAppleEvents = 0;
OSErr CountAppleEvent(const AppleEvent*, AppleEvent*, SRefCon) {
  ++gAppleEvents;
  return noErr;
}

TEST_F(Framework, HighLevelEventsOfOtherClassesAreDropped) {
  testsupport::TempDir dir;
  testsupport::ScopedEnv runtime("XDG_RUNTIME_DIR", (dir.path() / "run").c_str());
  tb::ResetAppleEvents();
  tb::SetCurrentCreator('FWts');
  gAppleEvents = 0;
  AEInstallEventHandler('JCev', 'apop', NewAEEventHandlerUPP(CountAppleEvent), 0, false);
  AEInstallEventHandler(kCoreEventClass, typeWildCard, NewAEEventHandlerUPP(CountAppleEvent), 0, false);

  ProcessSerialNumber self{0, kCurrentProcess};
  AEAddressDesc target;
  ASSERT_EQ(AECreateDesc(typeProcessSerialNumber, &self, sizeof self, &target), noErr);
  AppleEvent ev;
  ASSERT_EQ(AECreateAppleEvent('JCev', 'apop', &target, kAutoGenerateReturnID, kAnyTransactionID, &ev), noErr);
  ASSERT_EQ(AESend(&ev, nullptr, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), noErr);

  // The same waiting event reported under a class of no interest: nobody
  // processes it.
  EventRecord foreign{};
  foreign.what = kHighLevelEvent;
  foreign.message = 'XXev';
  Handle_Window_Event(&foreign);
  EXPECT_EQ(gAppleEvents, 0);

  // 'aevt' (the opening event comes first) and 'JCev' are processed.
  EventRecord e;
  for (int i = 0; i < 400 && gAppleEvents < 2; ++i)
    if (WaitNextEvent(everyEvent, &e, 1, nullptr) && Handle_Dialog_Event(&e) != 1) Handle_Window_Event(&e);
  EXPECT_EQ(gAppleEvents, 2);
  AEDisposeDesc(&ev);
  AEDisposeDesc(&target);
  tb::ResetAppleEvents();
}

// ---- The start-up check ---------------------------------------------------------

class StartupCheck : public Framework {
 protected:
  testsupport::TempDir dir;
  void SetUp() override {
    Framework::SetUp();
    std::filesystem::create_directories(dir.path() / "Prog.app/Contents/MacOS");
    testsupport::WriteFile(dir.path() / "Prog.app/Contents/MacOS/Prog", "");
    tb::SetApplicationPath((dir.path() / "Prog.app/Contents/MacOS/Prog").string());
  }
  void TearDown() override {
    tb::SetApplicationPath("");
    Framework::TearDown();
  }
};

TEST_F(StartupCheck, GoesOnWhenTheIniFileIsThereOrCannotBeLookedFor) {
  testsupport::WriteFile(dir.path() / "Prog.app/Contents/Resources/English.lproj/Prog.ini", "[TITLE]\n");
  struct {
    std::string ini;
  } cases[] = {
      {"::Resources:English.lproj:Prog.ini"},
      {"::Resources:english.lproj:prog.ini"},        // another case
      {(dir.path() / "Prog.app/Contents/Resources/English.lproj/Prog.ini").string()},
      {"::Resources:German.lproj:Prog.ini"},         // a missing folder is no missing file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    std::snprintf(IniFileName, sizeof IniFileName, "%s", c.ini.c_str());
    EXPECT_EQ(Check_Application(), 1);
    EXPECT_EQ(tb::Beeps(), 0);
    EXPECT_EQ(tb::DialogCount(), 0);
  }
}

TEST_F(StartupCheck, AMissingIniFileStopsWithTheAlert) {
  std::filesystem::create_directories(dir.path() / "Prog.app/Contents/Resources/English.lproj");
  std::snprintf(IniFileName, sizeof IniFileName, "::Resources:English.lproj:Prog.ini");
  std::string caption, hidden;
  bool message = false;
  testhost::host().onAlertFilter = [&](DialogRef d, EventRecord* e, DialogItemIndex* item) -> Boolean {
    caption = tb::DialogItemText(d, 1);
    message = ShowsText(d, 603, 3, "Start 'Prog' after installed.");
    DialogItemType kind;
    Handle h;
    Rect r;
    GetDialogItem(d, 2, &kind, &h, &r);
    hidden = r.left >= 16384 ? "hidden" : "shown";
    if (e->what == keyDown && ((e->message & keyCodeMask) >> 8) == kVK_Return) {
      *item = 1;
      return true;
    }
    return false;
  };
  tb::PressNamedKey("Return");
  EXPECT_EQ(Check_Application(), 0);
  EXPECT_EQ(tb::Beeps(), 1);
  EXPECT_EQ(caption, "OK");
  EXPECT_EQ(hidden, "hidden");
  EXPECT_TRUE(message);
  EXPECT_GE(testhost::host().alertFilterCalls, 1);
  EXPECT_EQ(tb::DialogCount(), 0);
}

TEST_F(StartupCheck, TheMessageHoldsTheLongestProgramNameWhole) {
  // 63 bytes, the most a file name holds, most of them in two-byte
  // characters.
  std::string name;
  for (int i = 0; i < 30; ++i) name += "\xC3\x9C";
  name += "abc";
  ASSERT_EQ(name.size(), 63u);
  const auto app = dir.path() / "L.app/Contents/MacOS" / name;
  std::filesystem::create_directories(dir.path() / "L.app/Contents/Resources/English.lproj");
  testsupport::WriteFile(app, "");
  tb::SetApplicationPath(app.string());
  std::snprintf(IniFileName, sizeof IniFileName, "::Resources:English.lproj:Prog.ini");
  bool message = false;
  testhost::host().onAlertFilter = [&](DialogRef d, EventRecord* e, DialogItemIndex* item) -> Boolean {
    message = message || ShowsText(d, 603, 3, "Start '" + name + "' after installed.");
    if (e->what != keyDown) return false;
    *item = 1;
    return true;
  };
  tb::PressNamedKey("Return");
  EXPECT_EQ(Check_Application(), 0);
  EXPECT_TRUE(message);
}

}  // namespace

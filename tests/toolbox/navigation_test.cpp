// The file choosers: answered by the test and operated by clicks and keys,
// the listing, saving, folders, filters, and updates of the program's
// windows behind them.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "toolbox/memory.h"
#include "toolbox/navigation.h"
#include "toolbox/testdriver.h"
#include "toolbox_fixture.h"

namespace {

// What the event procedure heard, and what the test wants done at each
// message.
struct Heard {
  std::vector<NavEventCallbackMessage> messages;
  std::vector<EventKind> events;
  std::vector<WindowRef> eventWindows;
  std::function<void(NavEventCallbackMessage, NavCBRecPtr)> then;
};
Heard gHeard;

void Listen(NavEventCallbackMessage what, NavCBRecPtr parms, void*) {
  gHeard.messages.push_back(what);
  if (what == kNavCBEvent && parms && parms->eventData.eventDataParms.event) {
    const EventRecord* ev = parms->eventData.eventDataParms.event;
    gHeard.events.push_back(ev->what);
    gHeard.eventWindows.push_back(reinterpret_cast<WindowRef>(ev->message));
  }
  if (gHeard.then) gHeard.then(what, parms);
}

Point mid(const Rect& r) { return Point{SInt16((r.top + r.bottom) / 2), SInt16((r.left + r.right) / 2)}; }

void ClickEntry(const std::string& name, EventModifiers mods = 0) {
  Rect r;
  ASSERT_TRUE(tb::ChooserEntryRect(name, &r)) << name;
  tb::ClickAt(mid(r), mods);
}
void ClickPart(tb::ChooserPart part) {
  Rect r;
  ASSERT_TRUE(tb::ChooserPartRect(part, &r));
  tb::ClickAt(mid(r));
}

class NavigationTest : public testsupport::ToolboxFixture {
 protected:
  NavigationTest() : ToolboxFixture(Clock::kReal) {}
  void SetUp() override {
    ToolboxFixture::SetUp();
    tb::ClearChooserAnswers();
    gHeard = Heard{};
    for (const char* f : {"a.txt", "b.txt", "c.txt"}) testsupport::WriteFile(dir_ / f, "x");
    testsupport::WriteFile(dir_ / "sub" / "inner.txt", "y");
    testsupport::WriteFile(dir_ / std::string(64, 'n'), "too long a name");
    testsupport::WriteFile(dir_ / "odd:name", "a colon");
    testsupport::WriteFile(dir_ / ".hidden", "h");
  }
  void TearDown() override {
    tb::ClearChooserAnswers();
    ToolboxFixture::TearDown();
  }

  std::string path(const std::string& leaf) const { return (dir_ / leaf).string(); }

  // The selection as paths.
  static std::vector<std::string> paths(const NavReplyRecord& reply) {
    std::vector<std::string> out;
    long n = 0;
    AECountItems(&reply.selection, &n);
    for (long i = 1; i <= n; ++i) {
      FSSpec fss;
      AEKeyword key;
      DescType type;
      Size actual = 0;
      if (AEGetNthPtr(&reply.selection, i, typeFSS, &key, &type, &fss, sizeof fss, &actual) != noErr) continue;
      std::string p;
      tb::SpecToPath(fss, p);
      out.push_back(p);
    }
    return out;
  }

  // Where the chooser starts: this test's folder.
  AEDesc here() {
    FSSpec fss;
    EXPECT_EQ(tb::PathToSpec(dir_.path().string(), &fss), noErr);
    AEDesc d;
    AECreateDesc(typeFSS, &fss, sizeof fss, &d);
    return d;
  }

  // The file chooser run from this test's folder, heard by Listen: its
  // error and the chosen paths.
  struct Outcome {
    OSErr err;
    std::vector<std::string> paths;
  };
  Outcome getFile(NavDialogOptions* o = nullptr, NavObjectFilterUPP filter = nullptr,
                  NavTypeListHandle types = nullptr) {
    AEDesc where = here();
    NavReplyRecord reply;
    Outcome out{NavGetFile(&where, &reply, o, &Listen, nullptr, filter, types, nullptr), {}};
    out.paths = paths(reply);
    NavDisposeReply(&reply);
    AEDisposeDesc(&where);
    return out;
  }
  using Paths = std::vector<std::string>;

  NavDialogOptions options(NavDialogOptionFlags extra = 0) {
    NavDialogOptions o;
    NavGetDefaultDialogOptions(&o);
    o.dialogOptionFlags |= extra;
    return o;
  }
};

// --- answered by the test driver ---------------------------------------------------------

// Every classic call, answered by the driver (an empty answer cancels):
// what it returns, whether the reply is valid, and what it chose.
TEST_F(NavigationTest, AnsweredByTheDriver) {
  enum Call { kGet, kFolder, kPut };
  using Messages = std::vector<NavEventCallbackMessage>;
  struct Case {
    const char* what;
    Call call;
    Paths answer;
    OSErr err;
    Paths chosen;
    bool single = false, replacing = false;
    Messages heard = {};  // empty: run without an event procedure
  } cases[] = {
      {"several files, the unusable left out",
       kGet,
       {path("a.txt"), path("missing.txt"), path(std::string(64, 'n')), path("c.txt")},
       noErr,
       {path("a.txt"), path("c.txt")},
       false,
       false,
       {kNavCBStart, kNavCBUserAction, kNavCBTerminate}},
      // Without kNavAllowMultipleFiles (which the defaults have) only the first counts.
      {"one file only", kGet, {path("b.txt"), path("c.txt")}, noErr, {path("b.txt")}, true},
      {"a cancel", kGet, {}, userCanceledErr, {}},
      {"a folder is no file", kGet, {path("sub")}, userCanceledErr, {}},
      {"a file is no folder", kFolder, {path("a.txt")}, userCanceledErr, {}},
      {"a folder", kFolder, {path("sub")}, noErr, {path("sub")}},
      {"a new file", kPut, {path("new.log")}, noErr, {path("new.log")}},
      {"a file replaced", kPut, {path("a.txt")}, noErr, {path("a.txt")}, false, true},
      {"no such folder to save in", kPut, {path("no/such/folder/x.log")}, userCanceledErr, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gHeard = Heard{};
    if (c.answer.empty())
      tb::CancelNextChooser();
    else
      tb::AnswerNextChooser(c.answer);
    NavDialogOptions o = options();
    if (c.single) o.dialogOptionFlags &= ~kNavAllowMultipleFiles;
    pstr::set(o.savedFileName, sizeof o.savedFileName, "proposed.log");
    NavEventUPP proc = c.heard.empty() ? nullptr : &Listen;
    NavReplyRecord reply;
    const OSErr err = c.call == kGet      ? NavGetFile(nullptr, &reply, &o, proc, nullptr, nullptr, nullptr, nullptr)
                      : c.call == kFolder ? NavChooseFolder(nullptr, &reply, nullptr, proc, nullptr, nullptr)
                                          : NavPutFile(nullptr, &reply, &o, proc, 'TEXT', 'VMxm', nullptr);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(bool(reply.validRecord), err == noErr);
    EXPECT_EQ(paths(reply), c.chosen);
    if (!c.heard.empty()) {
      EXPECT_EQ(gHeard.messages, c.heard);
    }
    if (c.call == kPut && err == noErr) {
      EXPECT_EQ(bool(reply.replacing), c.replacing);
      EXPECT_EQ(tb::CFStringText(reply.saveFileName), std::filesystem::path(c.answer[0]).filename().string());
    }
    if (c.call == kFolder && err == noErr) {
      FSSpec fss;
      AEGetNthPtr(&reply.selection, 1, typeFSS, nullptr, nullptr, &fss, sizeof fss, nullptr);
      EXPECT_EQ(pstr::view(fss.name), "sub");  // the folder itself
    }
    NavDisposeReply(&reply);
    EXPECT_EQ(tb::PendingChooserAnswers(), 0);
  }
}

void DisposeAtTheEnd(NavEventCallbackMessage what, NavCBRecPtr parms, void* ud) {
  auto* reply = static_cast<NavReplyRecord*>(ud);
  if (what == kNavCBUserAction) NavDialogGetReply(parms->context, reply);
  if (what == kNavCBTerminate) NavDialogDispose(parms->context);
}

TEST_F(NavigationTest, CreatedDialogsRunAndReply) {
  NavDialogCreationOptions o;
  ASSERT_EQ(NavGetDefaultDialogCreationOptions(&o), noErr);
  o.optionFlags |= kNavNoTypePopup | kNavAllowMultipleFiles;
  NavDialogRef d = nullptr;
  ASSERT_EQ(NavCreateGetFileDialog(&o, nullptr, &Listen, nullptr, nullptr, nullptr, &d), noErr);
  tb::AnswerNextChooser({path("a.txt"), path("b.txt")});
  ASSERT_EQ(NavDialogRun(d), noErr);
  EXPECT_EQ(NavDialogGetUserAction(d), kNavUserActionOpen);
  NavReplyRecord reply;
  ASSERT_EQ(NavDialogGetReply(d, &reply), noErr);
  EXPECT_EQ(paths(reply).size(), 2u);
  NavDisposeReply(&reply);
  NavDialogDispose(d);

  // The program reads the reply and disposes the dialog from its event
  // procedure; the run ends cleanly all the same.
  o.saveFileName = CFSTR("job.prn");
  ASSERT_EQ(NavCreatePutFileDialog(&o, 'TEXT', 'VMxh', &DisposeAtTheEnd, &reply, &d), noErr);
  tb::AnswerNextChooser({path("job.prn")});
  ASSERT_EQ(NavDialogRun(d), noErr);
  EXPECT_TRUE(reply.validRecord);
  EXPECT_EQ(paths(reply), Paths{path("job.prn")});
  NavDisposeReply(&reply);

  // A classic call disposes its own context; a procedure that tries as
  // well changes nothing.
  NavReplyRecord seen, classic;
  tb::AnswerNextChooser({path("a.txt")});
  ASSERT_EQ(NavGetFile(nullptr, &classic, nullptr, &DisposeAtTheEnd, nullptr, nullptr, nullptr, &seen), noErr);
  EXPECT_EQ(paths(classic), paths(seen));
  NavDisposeReply(&seen);
  NavDisposeReply(&classic);
}

// --- operated through injected input -------------------------------------------------------

TEST_F(NavigationTest, ClicksChooseAFile) {
  gHeard.then = [](NavEventCallbackMessage what, NavCBRecPtr parms) {
    if (what != kNavCBStart) return;
    EXPECT_NE(parms->window, nullptr);
    EXPECT_EQ(tb::ChooserWindow(), parms->window);
    ClickEntry("b.txt");
    ClickPart(tb::ChooserPart::kDefaultButton);
  };
  EXPECT_EQ(getFile().paths, Paths{path("b.txt")});
  EXPECT_EQ(tb::ChooserWindow(), nullptr);
  EXPECT_EQ(tb::WindowCount(), 0);
}

TEST_F(NavigationTest, ListingLeavesOutWhatASpecCannotName) {
  std::vector<std::string> shown;
  gHeard.then = [&](NavEventCallbackMessage what, NavCBRecPtr) {
    if (what != kNavCBStart) return;
    for (const std::string& name : std::vector<std::string>{"sub", "a.txt", ".hidden", "odd:name", std::string(64, 'n')}) {
      Rect r;
      if (tb::ChooserEntryRect(name, &r)) shown.push_back(name);
    }
    tb::PressNamedKey("Escape");
  };
  EXPECT_EQ(getFile().err, userCanceledErr);
  EXPECT_EQ(shown, (Paths{"sub", "a.txt"}));
}

TEST_F(NavigationTest, KeysAndDoubleClicksOpenFoldersAndUpReturns) {
  // sub, a.txt, b.txt, c.txt: Down selects sub, Return opens it; there
  // Down and Return open inner.txt.
  for (const char* k : {"Down", "Return", "Down", "Return"}) tb::PressNamedKey(k);
  EXPECT_EQ(getFile().paths, Paths{path("sub/inner.txt")});

  std::vector<std::string> seen;
  gHeard.then = [&](NavEventCallbackMessage what, NavCBRecPtr) {
    if (what != kNavCBStart) return;
    seen.push_back(tb::ChooserFolder());
    ClickEntry("sub");
    ClickEntry("sub");  // a double-click opens it
    tb::PressNamedKey("Down");  // inner.txt
    tb::PressNamedKey("Return");
  };
  EXPECT_EQ(getFile().paths, Paths{path("sub/inner.txt")});
  EXPECT_EQ(seen, Paths{dir_.path().string()});

  // Up goes back with the folder it left selected.
  gHeard.then = [&](NavEventCallbackMessage what, NavCBRecPtr) {
    if (what != kNavCBStart) return;
    ClickEntry("sub");
    ClickEntry("sub");
    ClickPart(tb::ChooserPart::kUpButton);
    tb::PressNamedKey("Down");  // from sub to a.txt
    tb::PressNamedKey("Return");
  };
  EXPECT_EQ(getFile().paths, Paths{path("a.txt")});
}

TEST_F(NavigationTest, CommandClicksChooseSeveralFiles) {
  gHeard.then = [](NavEventCallbackMessage what, NavCBRecPtr) {
    if (what != kNavCBStart) return;
    ClickEntry("a.txt");
    ClickEntry("c.txt", cmdKey);
    ClickEntry("sub", cmdKey);  // folders do not join a group of files
    ClickPart(tb::ChooserPart::kDefaultButton);
  };
  NavDialogOptions o = options(kNavAllowMultipleFiles);
  EXPECT_EQ(getFile(&o).paths, (Paths{path("a.txt"), path("c.txt")}));
}

TEST_F(NavigationTest, SaveByTypingAndConfirmingTheReplacement) {
  gHeard.then = [](NavEventCallbackMessage what, NavCBRecPtr) {
    if (what != kNavCBStart) return;
    EXPECT_EQ(tb::ChooserSaveName(), "untitled");
    for (int i = 0; i < 8; ++i) tb::PressNamedKey("Delete");
    tb::TypeText("b.txt");
    tb::PressNamedKey("Return");  // asks first
    tb::PressNamedKey("Return");  // and replaces
  };
  AEDesc where = here();
  NavReplyRecord reply;
  ASSERT_EQ(NavPutFile(&where, &reply, nullptr, &Listen, 'TEXT', 'VMxm', nullptr), noErr);
  EXPECT_TRUE(reply.replacing);
  EXPECT_EQ(paths(reply), Paths{path("b.txt")});
  NavDisposeReply(&reply);

  // A name is held to what an FSSpec takes.
  gHeard.then = [&](NavEventCallbackMessage what, NavCBRecPtr) {
    if (what != kNavCBStart) return;
    tb::TypeText(std::string(70, 'z'));
    tb::PressNamedKey("Return");
  };
  tb::ResetBeepCount();
  ASSERT_EQ(NavPutFile(&where, &reply, nullptr, &Listen, 'TEXT', 'VMxm', nullptr), noErr);
  EXPECT_EQ(tb::CFStringText(reply.saveFileName), "untitled" + std::string(55, 'z'));
  EXPECT_FALSE(reply.replacing);
  EXPECT_EQ(tb::BeepCount(), 15);
  NavDisposeReply(&reply);
  AEDisposeDesc(&where);
}

TEST_F(NavigationTest, ChoosingAFolderTakesTheSelectionOrTheFolderShown) {
  AEDesc where = here();
  // The default location selected: the chooser shows its folder with it
  // selected, so Return chooses it.
  tb::PressNamedKey("Return");
  NavDialogOptions o = options(kNavSelectDefaultLocation);
  NavReplyRecord reply;
  ASSERT_EQ(NavChooseFolder(&where, &reply, &o, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(paths(reply), std::vector<std::string>{dir_.path().string()});
  NavDisposeReply(&reply);
  // Showing the folder itself, nothing selected: the folder shown.
  gHeard.then = [](NavEventCallbackMessage what, NavCBRecPtr) {
    if (what != kNavCBStart) return;
    Rect r;
    EXPECT_FALSE(tb::ChooserEntryRect("a.txt", &r));  // files are not listed
    ClickPart(tb::ChooserPart::kDefaultButton);
  };
  ASSERT_EQ(NavChooseFolder(&where, &reply, nullptr, &Listen, nullptr, nullptr), noErr);
  EXPECT_EQ(paths(reply), std::vector<std::string>{dir_.path().string()});
  NavDisposeReply(&reply);
  AEDisposeDesc(&where);
}

Boolean NoB(AEDesc* item, void* info, void*, NavFilterModes) {
  FSSpec fss;
  AEGetDescData(item, &fss, sizeof fss);
  return static_cast<NavFileOrFolderInfo*>(info)->isFolder || pstr::view(fss.name) != "b.txt";
}

TEST_F(NavigationTest, FilterProcedureAndTypeList) {
  // Typed files, where the file system keeps types.
  FSSpec a;
  tb::PathToSpec(path("a.txt"), &a);
  FInfo info{};
  info.fdType = 'JUNK';
  const bool typed = FSpSetFInfo(&a, &info) == noErr && (FSpGetFInfo(&a, &info), info.fdType == 'JUNK');
  Handle h = NewHandleClear(sizeof(NavTypeList) + sizeof(OSType));
  auto list = reinterpret_cast<NavTypeListHandle>(h);
  (**list).osTypeCount = 2;
  (**list).osType[0] = 'TEXT';
  (**list).osType[1] = 'PDF ';
  std::vector<std::string> shown;
  gHeard.then = [&](NavEventCallbackMessage what, NavCBRecPtr) {
    if (what != kNavCBStart) return;
    for (const char* name : {"a.txt", "b.txt", "c.txt", "sub"}) {
      Rect r;
      if (tb::ChooserEntryRect(name, &r)) shown.push_back(name);
    }
    tb::PressNamedKey("Escape");
  };
  getFile(nullptr, &NoB, list);
  EXPECT_EQ(shown, (typed ? Paths{"c.txt", "sub"} : Paths{"a.txt", "c.txt", "sub"}));
  // A count larger than the handle holds reads no further than the handle.
  (**list).osTypeCount = 30000;
  gHeard.then = nullptr;
  tb::CancelNextChooser();
  getFile(nullptr, nullptr, list);
  DisposeHandle(h);
}

TEST_F(NavigationTest, UpdatesOfTheProgramsWindowsReachTheEventProcedure) {
  Rect r{300, 40, 400, 240};
  WindowRef mine = NewCWindow(nullptr, &r, reinterpret_cast<const unsigned char*>("\x04Mine"), true, documentProc,
                              kFirstWindowOfClass, true, 0);
  EventRecord ev;
  while (GetNextEvent(everyEvent, &ev))
    if (ev.what == updateEvt) {
      BeginUpdate(mine);
      EndUpdate(mine);
    }
  int redraws = 0;
  gHeard.then = [&](NavEventCallbackMessage what, NavCBRecPtr parms) {
    if (what == kNavCBStart) {
      Rect all{0, 0, 100, 200};
      InvalWindowRect(mine, &all);  // something the program must redraw
    }
    if (what == kNavCBEvent && parms->eventData.eventDataParms.event->what == updateEvt &&
        reinterpret_cast<WindowRef>(parms->eventData.eventDataParms.event->message) == mine) {
      ++redraws;
      BeginUpdate(mine);
      EndUpdate(mine);
      tb::PressNamedKey("Escape");
    }
  };
  NavReplyRecord reply;
  EXPECT_EQ(NavGetFile(nullptr, &reply, nullptr, &Listen, nullptr, nullptr, nullptr, nullptr), userCanceledErr);
  EXPECT_EQ(redraws, 1);
  // the program's window heard it was deactivated behind the chooser
  ASSERT_FALSE(gHeard.events.empty());
  EXPECT_NE(std::find(gHeard.events.begin(), gHeard.events.end(), activateEvt), gHeard.events.end());
  NavDisposeReply(&reply);
}

TEST_F(NavigationTest, ScriptsAnswerChoosersAndNobodyElseDoes) {
  tb::LoadScriptText("chooser-answer " + path("a.txt") + "\nchooser-cancel\n");
  EventRecord ev;
  for (int i = 0; i < 5 && tb::ScriptRunning(); ++i) WaitNextEvent(everyEvent, &ev, 0, nullptr);
  EXPECT_EQ(tb::PendingChooserAnswers(), 2);
  NavReplyRecord reply;
  EXPECT_EQ(NavGetFile(nullptr, &reply, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), noErr);
  NavDisposeReply(&reply);
  EXPECT_EQ(NavGetFile(nullptr, &reply, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), userCanceledErr);
  NavDisposeReply(&reply);
  // Headless, with nobody left to answer, a chooser cancels without a window.
  EXPECT_EQ(NavChooseFolder(nullptr, &reply, nullptr, nullptr, nullptr, nullptr), userCanceledErr);
  EXPECT_FALSE(reply.validRecord);
  EXPECT_EQ(tb::WindowCount(), 0);
  NavDisposeReply(&reply);
}

}  // namespace

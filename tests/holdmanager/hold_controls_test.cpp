// The held-job manager's own controls: the key routing of its text fields
// through the Carbon loop, spin-button clamping, the static labels, the
// scroll bars' end correction and the "\t" conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/AppFonts.h"
#include "holdmanager/HoldApp.h"
#include "holdmanager/HoldControls.h"
#include "test_support.h"
#include "toolbox/carbonevents.h"
#include "toolbox/clock.h"
#include "toolbox/controls.h"
#include "toolbox/fonts.h"
#include "toolbox/quickdraw.h"
#include "toolbox/scrap.h"
#include "toolbox/testdriver.h"
#include "toolbox/textengine.h"
#include "toolbox_fixture.h"

namespace {

struct Seen {
  ControlRef control;
  UInt16 character;
  bool modified;
};
std::vector<Seen> gSeen;

void notify(WindowRef, ControlRef control, UInt16 character, Boolean modified) {
  gSeen.push_back({control, character, modified != 0});
}

OSStatus quitOnHelp(EventHandlerCallRef, EventRef e, void*) {
  UInt32 code = 0;
  GetEventParameter(e, kEventParamKeyCode, typeUInt32, nullptr, sizeof code, nullptr, &code);
  if (code != kVK_Help) return eventNotHandledErr;
  QuitApplicationEventLoop();
  return noErr;
}

class HoldControls : public testsupport::ToolboxFixture {
 protected:
  void SetUp() override {
    ToolboxFixture::SetUp();
    TXNInitTextension(nullptr, 0, 0);
    w_ = NewTestWindow(Rect{100, 100, 300, 500}, "Fields");
    for (int i = 0; i < 2; ++i) {
      Rect r{SInt16(20 + 30 * i), 20, SInt16(40 + 30 * i), 300};
      ASSERT_EQ(CreateUserPaneControl(w_, &r, kControlSupportsEmbedding, &pane_[i]), noErr);
      obj_[i] = MLTENew(pane_[i], 2, 3, PText("Geneva"), 12, 0, false);
      ASSERT_NE(obj_[i], nullptr);
      MLTESetKeyDownNotifyProc(pane_[i], notify);
    }
    const EventTypeSpec keys{kEventClassKeyboard, kEventRawKeyDown};
    InstallWindowEventHandler(w_, NewEventHandlerUPP(quitOnHelp), 1, &keys, nullptr, &quit_);
    gSeen.clear();
  }
  void TearDown() override {
    RemoveEventHandler(quit_);
    for (auto& o : obj_) MLTEDispose(&o);
    TXNTerminateTextension();
    ToolboxFixture::TearDown();
  }
  // Runs the loop over what was queued.
  void run() {
    tb::PressNamedKey("Help");
    RunApplicationEventLoop();
  }
  std::string text(int i) { return tb::TXNText(obj_[i]); }

  WindowRef w_ = nullptr;
  ControlRef pane_[2] = {};
  TXNObject obj_[2] = {};
  EventHandlerRef quit_ = nullptr;
};

TEST_F(HoldControls, KeyRoutingOfTheTextFields) {
  MLTESetKeyboardFocus(w_, pane_[0]);
  EXPECT_EQ(MLTEGetFocus(pane_[0]), 1);
  tb::TypeText("ab\xE6\x97\xA5\xE6\x9C\xAC");  // ab日本, one key event per character
  tb::PressNamedKey("Left");
  tb::TypeText("X");
  run();
  EXPECT_EQ(text(0), "ab\xE6\x97\xA5X\xE6\x9C\xAC");
  EXPECT_EQ(MLTEGetRecord(pane_[0])->modified, 1);
  Str255 p;
  MLTEGetPString(pane_[0], p);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(p + 1), p[0]), text(0));

  // Return, Enter and Escape reach the dialog's callback, never the text.
  gSeen.clear();
  for (const char* k : {"Return", "Enter", "Escape"}) tb::PressNamedKey(k);
  run();
  ASSERT_EQ(gSeen.size(), 3u);
  EXPECT_EQ(gSeen[0].character, 13);
  EXPECT_EQ(gSeen[1].character, 3);
  EXPECT_EQ(gSeen[2].character, 27);
  EXPECT_EQ(text(0), "ab\xE6\x97\xA5X\xE6\x9C\xAC");

  // Tab moves on (its whole text selected), Shift-Tab back.
  tb::PressNamedKey("Tab");
  run();
  EXPECT_EQ(MLTEGetFocus(pane_[0]), 0);
  EXPECT_EQ(MLTEGetFocus(pane_[1]), 1);
  tb::PressNamedKey("Tab", shiftKey);
  run();
  EXPECT_EQ(MLTEGetFocus(pane_[0]), 1);

  // Command keys: select all, copy, cut, paste, undo; Command-Shift-Z is text.
  tb::PressKey('a', tb::KeyCodeForChar('a'), cmdKey);
  tb::PressKey('c', tb::KeyCodeForChar('c'), cmdKey);
  tb::PressNamedKey("Tab");
  tb::PressKey('v', tb::KeyCodeForChar('v'), cmdKey);
  run();
  EXPECT_EQ(text(1), text(0));
  tb::PressKey('a', tb::KeyCodeForChar('a'), cmdKey);
  tb::PressKey('x', tb::KeyCodeForChar('x'), cmdKey);
  run();
  EXPECT_EQ(text(1), "");
  tb::PressKey('z', tb::KeyCodeForChar('z'), cmdKey);
  run();
  EXPECT_EQ(text(1), text(0));
  tb::PressNamedKey("End");
  tb::PressKey('Z', tb::KeyCodeForChar('z'), cmdKey | shiftKey);
  run();
  EXPECT_EQ(text(1), text(0) + "Z");

  // A disabled field types nothing; Return still reaches the callback,
  // unmodified, and Tab still leaves it.
  const std::string before = text(1);
  MLTESetEnable(pane_[1], nullptr, false);
  EXPECT_EQ(MLTEGetEnable(pane_[1]), 0);
  gSeen.clear();
  tb::TypeText("qq");
  tb::PressNamedKey("Return");
  run();
  EXPECT_EQ(text(1), before);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].character, 13);
  EXPECT_FALSE(gSeen[0].modified);
  MLTESetEnable(pane_[1], nullptr, true);
  MLTESetIntByControl(pane_[1], -42);
  EXPECT_EQ(MLTEGetInt(pane_[1]), -42);
  MLTESetTextByControl(pane_[1], kTXNTextData, "x9", 2);
  EXPECT_EQ(MLTEGetInt(pane_[1]), 0);
  EXPECT_EQ(MLTESetTextByControl(nullptr, kTXNTextData, "", 0), -1);
}

TEST_F(HoldControls, SpinStepsAreClampedAndANonNumberStepsFromZero) {
  BTN_DATA b{};
  b.rect = Rect{20, 310, 31, 323};
  b.field = obj_[0];
  b.fieldControl = pane_[0];
  b.interval = 7;
  b.min = 0;
  b.max = 5;
  Rect none{-100, -100, -100, -100};
  b.control = NewControl(w_, &none, PText(""), false, 0, 0, 0, 0, reinterpret_cast<long>(&b));
  Point inside{25, 315};
  {
    tb::PortSaver saver(GetWindowPort(w_));
    LocalToGlobal(&inside);
  }
  tb::MoveMouseTo(inside);
  const struct {
    const char* start;
    SInt16 step;
    const char* after;
  } cases[] = {{"4", 1, "5"},  {"5", 1, "5"},  {"abc", 1, "1"},
               {"0", -1, "0"}, {"3", -2, "1"}, {"123456789012345678", 1, "5"}};
  tb::PortSaver saver(GetWindowPort(w_));
  for (const auto& c : cases) {
    MLTESetText(obj_[0], kTXNTextData, c.start, std::strlen(c.start));
    b.step = c.step;
    b.lastChange = 0;
    DragSpinBtnProc(b.control, 0);
    EXPECT_EQ(text(0), c.after) << c.start;
    EXPECT_EQ(b.state, 1);
  }
  // Held down, the next step waits for the repeat interval.
  MLTESetText(obj_[0], kTXNTextData, "1", 1);
  b.step = 1;
  b.lastChange = 0;
  DragSpinBtnProc(b.control, 0);
  DragSpinBtnProc(b.control, 0);
  EXPECT_EQ(text(0), "2");
  tb::AdvanceTicks(8);
  DragSpinBtnProc(b.control, 0);
  EXPECT_EQ(text(0), "3");
  DisposeControl(b.control);
}

TEST_F(HoldControls, LabelsTabsAndScrollBarEnds) {
  STC_DATA* list = nullptr;
  EXPECT_EQ(STCAdjustWidth(nullptr, 0), -555);
  ASSERT_EQ(STCAddList(&list, nullptr, 1, PText(""), 12, 0, PText("One")), 1);
  ASSERT_EQ(STCAddList(&list, nullptr, 2, PText(""), 12, 0, PText("")), 1);
  Str255 t;
  EXPECT_EQ(STCGetPString(list, 0, t), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(t + 1), t[0]), "One");
  EXPECT_EQ(STCGetPString(list, 2, t), 0);
  EXPECT_EQ(STCAdjustWidth(list, 1), -666);
  STCSetAlignment(list, 9, 1);  // past the end: the last label
  EXPECT_EQ(list->next->alignment, 1);
  STCDisposeList(&list);
  EXPECT_EQ(list, nullptr);

  const struct {
    const char* in;
    const char* out;
  } tabs[] = {{"\\t", "\t"}, {"a\\tb\\t", "a\tb\t"}, {"\\", "\\"}, {"no tab", "no tab"}};
  for (const auto& c : tabs) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s", c.in);
    const int n = SetTab(buf, int(std::strlen(buf)));
    EXPECT_EQ(std::string(buf, std::size_t(n)), c.out);
  }

  // This program's font record and ini reader.
  const struct {
    const char* style;
    UInt16 face;
  } faces[] = {{"BOLD", 1}, {"ITALIC", 2}, {"EXTEND", 64}, {"Bold", 77}, {"bold", 77}};
  for (const auto& f : faces) {
    FONT_DATA font{};
    std::snprintf(font.fName, sizeof font.fName, "Geneva");
    std::snprintf(font.fStyle, sizeof font.fStyle, "%s", f.style);
    std::snprintf(font.foreColor, sizeof font.foreColor, "RED");
    std::snprintf(font.backColor, sizeof font.backColor, "red");
    font.styleID = 77;
    font.backClrID = 5;
    font.fSize = 14;
    GrafPtr port = nullptr;
    GetPort(&port);
    const short sizeBefore = GetPortTextSize(port);
    EXPECT_EQ(hold::Get_Font_Details(&font), 1);
    EXPECT_EQ(font.styleID, f.face) << f.style;
    EXPECT_EQ(font.foreClrID, 2);
    EXPECT_EQ(font.backClrID, 5);  // not a name of the list
    EXPECT_GT(font.fInfo.ascent, 0);
    EXPECT_EQ(GetPortTextSize(port), sizeBefore);
  }
  const std::string ini = (dir_.path() / "menu.ini").string();
  testsupport::WriteFile(ini, "[MENU]\nFILE=&File && more\nEMPTY=\n");
  Str255 v;
  EXPECT_EQ(hold::Load_File_To_PascalEx2(v, "FILE=", "[MENU]", ini.c_str()), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(v + 1), v[0]), "File  more");
  EXPECT_EQ(hold::Load_File_To_PascalEx2(v, "NONE=", "[MENU]", ini.c_str()), 0);
  EXPECT_EQ(v[0], 0);

  Rect r{10, 380, 150, 396};
  ControlRef bar = NewControl(w_, &r, PText(""), true, 0, 0, 100, scrollBarProc, 0);
  const struct {
    SInt16 before, click, release, tracked;
    SInt32 scale;
    SInt32 expect;
  } ends[] = {
      {90, 50, 70, 97, 100, 100},  // forward past the end: the maximum
      {90, 50, 52, 92, 100, 92},   // within: what the tracking gave
      {10, 50, 30, 3, 100, 0},     // backward to the start: the minimum
      {10, 50, 45, 5, 100, 5},    {0, 50, 50, 0, 0, 0},
  };
  for (const auto& e : ends) {
    SetControl32BitValue(bar, e.tracked);
    CLTrackControlAlignment(bar, e.before, e.click, e.release, e.scale);
    EXPECT_EQ(GetControl32BitValue(bar), e.expect) << e.before << " " << e.release;
  }
  DisposeControl(bar);
}

}  // namespace

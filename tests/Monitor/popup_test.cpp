// The pop-up decision of a status window: which statuses show or hide it,
// and when the alert sound plays (counted by the recording sink).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Monitor/MonitorApp.h"
#include "Monitor/MonitorConfig.h"
#include "Monitor/StatusDraw.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/movies.h"
#include "toolbox/windows.h"
#include "toolbox_fixture.h"

namespace {

class Popup : public testsupport::ToolboxFixture {
 protected:
  void SetUp() override {
    ToolboxFixture::SetUp();
    const Rect r{60, 60, 200, 300};
    static const UInt8 kTitle[] = {6, 'S', 't', 'a', 't', 'u', 's'};
    Handle items = NewHandle(2);  // an empty item list
    (*items)[0] = char(0xFF);
    (*items)[1] = char(0xFF);
    rec.dlg = NewColorDialog(nullptr, &r, kTitle, false, 0, kFirstWindowOfClass, true, 0, items);
    DisposeHandle(items);  // the dialog keeps its own items
    ASSERT_NE(rec.dlg, nullptr);
    ASSERT_EQ(InitializeMove(&rec.soundData), noErr);
    ASSERT_EQ(tb::PathToSpec(MONITOR_SOUND, &rec.soundData.soundSpec), noErr);
    ASSERT_EQ(GetSoundData(&rec.soundData), 1);
    rec.configData.soundOpt = 1;
    tb::ClearRecordedSounds();
  }
  void TearDown() override {
    DisposeSound(&rec.soundData);
    rec.dlg = nullptr;
    ToolboxFixture::TearDown();
  }
  bool Visible() { return IsWindowVisible(GetDialogWindow(rec.dlg)); }

  STATUS_WND_INFO rec;
};

TEST_F(Popup, LatchesShowAndHideTheWindow) {
  struct Step {
    SInt32 status;
    bool visible;
  };
  struct Case {
    const char* what;
    UInt8 flags;
    std::vector<Step> steps;
    int sounds;
  };
  const Case cases[] = {
      {"a lost printer pops up, any answer hides", 0x20, {{1, false}, {8, true}, {6, false}}, 1},
      {"the change to ready pops up and clears the busy latch", 0x05, {{4, true}, {1, true}}, 1},
      {"the busy latch waits for ready", 0x01, {{4, true}, {2, true}, {6, true}, {1, false}}, 1},
      {"unarmed statuses do nothing", 0x20, {{6, false}, {4, false}, {1, false}}, 0},
      {"each pop-up of a hidden window plays once", 0x80, {{6, true}, {1, false}, {6, true}}, 2},
      {"by default supplies out, a printer error and a lost printer pop up, and only they",
       Default_Configuration().popupFlag,
       {{1, false}, {2, false}, {4, false}, {5, true}, {1, false}, {6, true}, {2, false}, {8, true}, {1, false}},
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HideWindow(GetDialogWindow(rec.dlg));
    rec.showWindow = 1;
    rec.portStatus = 0;
    std::memset(rec.oldStat, 0, sizeof rec.oldStat);
    rec.configData.popupFlag = c.flags;
    tb::ClearRecordedSounds();
    for (const Step& s : c.steps) {
      Change_Port_Status(&rec, s.status);
      EXPECT_EQ(Visible(), s.visible) << "status " << s.status;
      EXPECT_EQ(rec.showWindow, s.visible ? 0 : 1) << "status " << s.status;
      // The sound (a quarter second) ends before the next status.
      tb::AdvanceTicks(30);
      SoundLoop(&rec.soundData);
    }
    EXPECT_EQ(tb::RecordedSounds().played, c.sounds);
  }
}

TEST_F(Popup, AVisibleWindowComesForwardSilentlyAndARepeatDoesNothing) {
  rec.configData.popupFlag = 0x80;
  ShowWindow(GetDialogWindow(rec.dlg));
  Change_Port_Status(&rec, 6);
  EXPECT_TRUE(Visible());
  EXPECT_EQ(tb::RecordedSounds().played, 0);

  // The user hides it; the same status again leaves it hidden.
  HideWindow(GetDialogWindow(rec.dlg));
  Change_Port_Status(&rec, 6);
  EXPECT_FALSE(Visible());
  EXPECT_EQ(tb::RecordedSounds().played, 0);

  // Without the sound option a hidden window pops up in silence.
  rec.configData.soundOpt = 0;
  Change_Port_Status(&rec, 1);
  Change_Port_Status(&rec, 6);
  EXPECT_TRUE(Visible());
  EXPECT_EQ(tb::RecordedSounds().played, 0);
}

// The status picture steps through its three frames, and the message
// through its dots, each time more than 30 ticks have passed; a picture
// without frames never moves the dots.
TEST_F(Popup, TheAnimationAdvancesWithTheClock) {
  struct Case {
    SInt16 icon;
    std::vector<std::pair<UInt32, std::pair<SInt16, SInt16>>> steps;  // ticks later: frame, dots
  } const cases[] = {
      {152, {{0, {1, 1}}, {30, {1, 1}}, {1, {2, 2}}, {31, {3, 3}}, {31, {1, 0}}, {100, {2, 1}}}},
      {151, {{0, {1, 0}}, {31, {2, 0}}, {31, {3, 0}}}},
  };
  ShowWindow(GetDialogWindow(rec.dlg));
  rec.activePage = kPageStatus;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.icon);
    rec.viewData.IconID = c.icon;
    rec.oldIconID = 0;
    rec.blinkCnt = 0;
    rec.animeCnt = 1;
    Get_Status_Image(c.icon, &rec.info, &rec.statImg);
    for (const auto& [later, want] : c.steps) {
      tb::AdvanceTicks(later);
      Draw_Main_Animation(&rec);
      EXPECT_EQ(rec.animeCnt, want.first) << "after " << later;
      EXPECT_EQ(rec.blinkCnt, want.second) << "after " << later;
    }
  }
}

TEST(StatusDrawing, HeldJobGaugeAndSizes) {
  struct Case {
    UInt32 total, free;
    SInt16 picture;
  };
  const Case cases[] = {{0, 0, 310},    {100, 100, 310}, {100, 90, 311}, {100, 89, 312},
                        {100, 5, 319},  {100, 0, 320},   {100, 10, 319}, {100, 50, 315}};
  for (const Case& c : cases) EXPECT_EQ(Hold_Gauge_Picture(c.total, c.free), c.picture) << c.total - c.free;
  char text[32];
  Size_Text(2048, text, sizeof text);
  EXPECT_STREQ(text, "2 GB");
  Size_Text(1023, text, sizeof text);
  EXPECT_STREQ(text, "1023 MB");
}

}  // namespace

namespace {

// The Window menu's table: entries in menu order, a ninth refused, later
// entries moving up when one is removed.
TEST(WindowTable, AppendDeleteAndLookups) {
  windowTbl = WINDOW_NO{};
  for (short i = 0; i < 8; ++i) EXPECT_EQ(Append_Window_Tbl(SInt16(160 + i), short(i + 1)), 1);
  EXPECT_EQ(Append_Window_Tbl(160, 9), 0);
  EXPECT_EQ(Get_Window_Control(3), 163);
  EXPECT_EQ(Get_Menu_Namber(165), 5);
  EXPECT_EQ(Delete_Window_Tbl(162), 1);
  EXPECT_EQ(windowTbl.addWindow, 7);
  EXPECT_EQ(Get_Window_Control(2), 163);
  EXPECT_EQ(Get_Window_Control(7), -1);  // the last place cleared
  EXPECT_EQ(Get_Menu_Namber(162), -1);
  EXPECT_EQ(Get_Window_Control(-1), -1);
  EXPECT_EQ(Get_Window_Control(8), -1);
  windowTbl = WINDOW_NO{};
  EXPECT_EQ(Delete_Window_Tbl(160), 0);
}

}  // namespace

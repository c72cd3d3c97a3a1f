// The printer port page and its parallel dialog, loaded directly for a
// port over synthetic settings tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/PortPage.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupWindow.h"
#include "admin_harness.h"
#include "common/Context.h"
#include "FanctionLib/CTab.h"
#include "pboxemu/settings.h"
#include "toolbox/events.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"

namespace {

bool Hidden(DialogRef d, short item) {
  Rect r;
  Get_Dialog_Item_Rect(d, item, &r);
  return r.left >= 16384;
}

class PortPage : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(admintest::LoadForLoopbackSearch(60));
    MenuChangeAuthority = 1;
    gbSetupCancel = 0;
    // Port 1 (k = 1): no second job strings, a serial variable.
    pboxemu::SettingsBuilder b;
    b.String('E', 0x1201, 16, "ESC", "BOJ1");
    b.String('E', 0x1202, 16, "FF", "EOJ1");
    b.Enum(0x1206, {"TEXT", "RAW"}, 1, "PTYP");
    b.Number('B', 0x1205, 8, 1, 16, "TABS");
    b.Number('B', 0x1207, 80, 40, 255, "WIDE");
    b.Number('B', 0x1208, 66, 10, 255, "LONG");
    b.Enum(0x1220, {"ECP", "COMPAT"}, 0, "PTYP");
    b.Enum(0x1221, {"FAST", "SLOW"}, 1, "PMOD");
    // Serial settings without hardware flow control.
    b.Enum(0x1230, {"9600", "19200", "38400"}, 0, "SPD ");
    b.Enum(0x1231, {"7", "8"}, 1, "DATA");
    b.Enum(0x1232, {"NONE", "ODD", "EVEN"}, 0, "PAR ");
    b.Enum(0x1233, {"1", "2"}, 0, "STOP");
    b.Enum(0x1235, {"XON", "NONE"}, 0, "SOFT");
    blocks_ = b.Build();
    admintest::PointTablesAt(blocks_);
  }
  DialogRef Page(UInt16 typeBit) {
    TypeBit = typeBit;
    DialogRef d = admintest::PageDialog(kPortPageID);
    if (d) Setup_PrnPort_Set_PortInfo(d, 1);
    return d;
  }
  void TearDown() override {
    FlushEvents(everyEvent, 0);
    TypeBit = 0;
    admintest::ClearTables();
    DeinitNetwork();
    tb::UseVirtualClock(false);
    tb::ResetResources();
  }
  pboxemu::SettingsBlocks blocks_;
};

TEST_F(PortPage, MissingSettingsAreHiddenAndTheDetailButtonNeedsItsBit) {
  struct Case {
    UInt16 typeBit;
    bool button;
  };
  for (const Case& c : {Case{0x0010, true}, Case{0x0008, false}}) {
    DialogRef d = Page(c.typeBit);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(Hidden(d, 7));
    EXPECT_TRUE(Hidden(d, 13));
    EXPECT_TRUE(Hidden(d, 15));
    EXPECT_EQ(tb::DialogItemText(d, 21), "80");
    EXPECT_EQ(Get_Item_Value(d, 17), 2);
    EXPECT_EQ(!Hidden(d, 29), c.button) << c.typeBit;
    DisposeDialog(d);
  }
}

TEST_F(PortPage, RefusalStopsTheWritesThatFollow) {
  DialogRef d = Page(0x0010);
  Set_Item_Text(d, 19, "4");
  Set_Item_Text(d, 21, "999");
  Set_Item_Text(d, 23, "20");
  tb::PressNamedKey("Return");
  EXPECT_EQ(Setup_PrnPort_Get_PortInfo(d, 1), 0);
  EXPECT_EQ(admintest::Shown(0x1205), "4");
  EXPECT_EQ(admintest::Shown(0x1208), "66");
  Set_Item_Text(d, 21, "100");
  EXPECT_EQ(Setup_PrnPort_Get_PortInfo(d, 1), 1);
  EXPECT_EQ(admintest::Shown(0x1207), "100");
  EXPECT_EQ(admintest::Shown(0x1208), "20");
  DisposeDialog(d);
}

TEST_F(PortPage, ParallelDialogWithoutSelectLevel) {
  DialogRef d = GetNewDialog(kPortParaDialogID, nullptr, reinterpret_cast<WindowRef>(-1));
  ASSERT_NE(d, nullptr);
  Load_Value_PPort_Para(d, 1);
  EXPECT_TRUE(Hidden(d, 8));
  EXPECT_TRUE(Hidden(d, 9));
  EXPECT_EQ(Get_Item_Value(d, 7), 2);
  Set_Item_Value(d, 5, 2);
  EXPECT_EQ(Get_Value_PPort_Para(d, 1), 1);
  EXPECT_EQ(Get_Context_Enum(0x1220), 2);
  DisposeDialog(d);
}

TEST_F(PortPage, TheTabNamesThePortAndTheSerialDialogWritesOnlyOnOk) {
  TypeBit = 0x0018;
  // Port list "system", "P1", "P2": the tab "P2" is the second printer
  // port, k = 1.
  std::memset(sPortList, 0, sizeof sPortList);
  sPortList[0] = 3;
  iPortWidth = 32;
  for (auto [n, name] : {std::pair<int, const char*>{0, "system"}, {1, "P1"}, {2, "P2"}})
    std::strcpy(reinterpret_cast<char*>(sPortList + 1 + 32 * n), name);
  DialogRef d = GetNewDialog(131, nullptr, reinterpret_cast<WindowRef>(-1));
  Rect strip{10, 10, 34, 510}, frame{34, 10, 334, 510};
  gclData = CTNew(GetDialogWindow(d), &strip, &frame, 16, false, 0xFFFFFF, false);
  ASSERT_NE(gclData, nullptr);
  CTSetPictID(gclData, 143, 142, 144, 145, 146, 147, 148, 149);
  CTAdd(gclData, reinterpret_cast<ConstStr255Param>("\x02P2"), -1);
  CTSetCurSel(gclData, 0, false);
  setupTabOldSelect = 0;
  AppendDITL(d, GetResource('DITL', kPortPageID), overlayDITL);
  Setup_PrnPort_Setup(d);
  Setup_PrnPort_Load_Value(d);
  EXPECT_EQ(tb::DialogItemText(d, 21), "80");
  EXPECT_EQ(tb::DialogItemText(d, 29), "Serial Port...");
  // Cancel after a change writes nothing; OK writes the pop-ups.
  tb::LoadScriptText(
      "wait-window \"Serial Port\"\npopup-item \"Serial Port\" 5 3\nclick-item \"Serial Port\" 2\n"
      "wait-window \"Serial Port\"\npopup-item \"Serial Port\" 7 1\nadvance 60\nclick-item \"Serial Port\" 1\n");
  EventRecord e{};
  EXPECT_FALSE(Setup_PrnPort_Item_Select(d, &e, 29));
  EXPECT_EQ(admintest::Shown(0x1230), "9600");
  EXPECT_FALSE(Setup_PrnPort_Item_Select(d, &e, 29));
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(admintest::Shown(0x1231), "7");
  Set_Item_Text(d, 19, "12");
  EXPECT_TRUE(Setup_PrnPort_Get_Value(d));
  EXPECT_EQ(admintest::Shown(0x1205), "12");
  // Without hardware flow control its label and pop-up are hidden.
  DialogRef serial = GetNewDialog(kPortSeriDialogID, nullptr, reinterpret_cast<WindowRef>(-1));
  ASSERT_NE(serial, nullptr);
  Load_Value_PPort_Seri(serial, 1);
  EXPECT_TRUE(Hidden(serial, 12));
  EXPECT_TRUE(Hidden(serial, 13));
  EXPECT_FALSE(Hidden(serial, 15));
  EXPECT_EQ(Open_Sub_Dialog(nullptr, 176, 1), 0);
  DisposeDialog(serial);
  CTDispose(gclData);
  gclData = nullptr;
  DisposeDialog(d);
}

}  // namespace

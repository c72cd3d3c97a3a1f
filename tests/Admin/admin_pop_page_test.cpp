// The POP page and its account detail dialog, loaded directly (no tab
// offers them) over synthetic settings tables.
#include <gtest/gtest.h>

#include <string>

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/PopPage.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupWindow.h"
#include "admin_harness.h"
#include "common/Context.h"
#include "pboxemu/settings.h"
#include "toolbox/events.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"

namespace {

class PopPage : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(admintest::LoadForLoopbackSearch(60));
    admintest::AddDialogCheckCommands();
    MenuChangeAuthority = 1;
    gbSetupCancel = 0;
  }
  void Open(bool withUse, UInt16 typeBit) {
    pboxemu::SettingsBuilder b;
    if (withUse) b.Enum(0x2001, {"ENABLE", "DISABLE"}, 1, "POP ");
    b.Number('B', 0x2005, 10, 1, 60, "INTV");
    b.String('E', 0x2002, 16, "+0900", "TZ  ");
    b.Enum(0x2101, {"ENABLE", "DISABLE"}, 0, "U1  ");
    b.String('E', 0x2102, 32, "pop.example.com", "PSRV");
    b.Number('W', 0x2103, 110, 1, 65535, "PPRT");
    b.String('E', 0x2104, 32, "user", "PLOG");
    b.String('X', 0x2105, 16, pass_.c_str(), "PPAS");
    b.Number('B', 0x2107, 0, 0, 1, "APOP");
    b.Number('B', 0x2108, 1, 0, 1, "DELE");
    b.Number('W', 0x210B, 100, 1, 9999, "SIZE");
    b.String('E', 0x210C, 32, "", "FILT");
    blocks_ = b.Build();
    admintest::PointTablesAt(blocks_);
    TypeBit = typeBit;
    d = admintest::PageDialog(kPopPageID);
    ASSERT_NE(d, nullptr);
    Setup_POP_Load_Value(d);
  }
  void TearDown() override {
    if (d) DisposeDialog(d);
    FlushEvents(everyEvent, 0);
    TypeBit = 0;
    admintest::ClearTables();
    DeinitNetwork();
    tb::UseVirtualClock(false);
    tb::ResetResources();
  }
  // Runs the account dialog of user 1 from its button, driven by script.
  void Account(const std::string& script) {
    tb::LoadScriptText(script);
    EventRecord e{};
    EXPECT_TRUE(Setup_POP_Item_Select(d, &e, 17));
    EXPECT_FALSE(tb::ScriptRunning());
  }
  std::string pass_ = "pw";
  pboxemu::SettingsBlocks blocks_;
  DialogRef d = nullptr;
};

TEST_F(PopPage, UseBoxFollowsTheOfferedTransports) {
  struct Case {
    bool withUse;
    UInt16 typeBit;
    bool boxShown;
    short box;
    std::string stored;  // 2001 after the page is left with the box ticked on
  };
  for (const Case& c : {Case{true, 0x0001, true, 0, "ENABLE"}, Case{true, 0x0000, true, 1, "DISABLE"},
                        Case{false, 0x0001, false, 0, ""}}) {
    Open(c.withUse, c.typeBit);
    Rect r;
    Get_Dialog_Item_Rect(d, 6, &r);
    EXPECT_EQ(r.left < 16384, c.boxShown) << c.typeBit;  // hidden items move far right
    EXPECT_EQ(Get_Item_Value(d, 6), c.box);
    EXPECT_EQ(tb::DialogItemText(d, 9), "10");
    EXPECT_EQ(tb::DialogItemText(d, 12), "+0900");
    EXPECT_EQ(tb::DialogItemText(d, 13), "ON");
    EXPECT_EQ(tb::DialogItemText(d, 14), "OFF");
    Set_Item_Value(d, 6, 1);
    EXPECT_TRUE(Setup_POP_Get_Value(d));
    if (c.withUse) {
      EXPECT_EQ(admintest::Shown(0x2001), c.stored);
    }
    DisposeDialog(d);
    d = nullptr;
  }
}

TEST_F(PopPage, RefusedIntervalKeepsThePageAndWhatCameBefore) {
  Open(true, 0x0001);
  Set_Item_Value(d, 6, 1);
  Set_Item_Text(d, 9, "61");
  Set_Item_Text(d, 12, "+0100");
  tb::PressNamedKey("Return");
  EXPECT_FALSE(Setup_POP_Get_Value(d));
  EXPECT_EQ(admintest::Shown(0x2001), "ENABLE");  // written before the refusal
  EXPECT_EQ(admintest::Shown(0x2005), "10");
  EXPECT_EQ(admintest::Shown(0x2002), "\"+0900\"");
}

TEST_F(PopPage, DetailDialogWritesItsValuesOnOk) {
  Open(true, 0x0001);
  DialogRef detail = GetNewDialog(kPopDetailDialogID, nullptr, reinterpret_cast<WindowRef>(-1));
  ASSERT_NE(detail, nullptr);
  Load_Value_POP_Detail(detail, 17);
  EXPECT_EQ(Get_Item_Value(detail, 4), 0);
  EXPECT_EQ(Get_Item_Value(detail, 6), 1);
  EXPECT_EQ(tb::DialogItemText(detail, 9), "100");
  Set_Item_Value(detail, 4, 1);
  Set_Item_Value(detail, 6, 0);
  Set_Item_Text(detail, 9, "2048");
  Set_Item_Text(detail, 11, "invoice");
  EXPECT_EQ(Get_Value_POP_Detail(detail, 17), 1);
  EXPECT_EQ(admintest::Shown(0x2107), "1");
  EXPECT_EQ(admintest::Shown(0x2108), "0");
  EXPECT_EQ(admintest::Shown(0x210B), "2048");
  EXPECT_EQ(admintest::Shown(0x210C), "\"invoice\"");
  EXPECT_EQ(Get_Value_POP_Detail(detail, 5), 1);  // not an account button: nothing to take
  DisposeDialog(detail);
}

TEST_F(PopPage, AccountDialogKeepsDetailValuesAndMaskedKeysAcrossTheDetailDialog) {
  Open(true, 0x0001);
  // The detail dialog as drawn: the filter group framed in grey, its title
  // over the frame.
  admintest::ScriptChecks().push_back([] {
    DialogRef detail = tb::FindDialogByTitle("Account Details");
    ASSERT_NE(detail, nullptr);
    EXPECT_TRUE(admintest::FramedAt(detail, 12, 0));
    EXPECT_EQ(admintest::InkOf(detail, 13), admintest::Ink::kBlack);
  });
  // Password keys, the detail dialog accepted, more password keys, Cancel.
  Account(
      "wait-window \"POP User 1\"\nclick-item \"POP User 1\" 11\ntype ab\nadvance 60\n"
      "click-item \"POP User 1\" 14\nwait-window \"Account Details\"\nwait 5\ncheck\n"
      "click-item \"Account Details\" 4\n"
      "advance 60\nclick-item \"Account Details\" 1\nwait-window \"POP User 1\"\ntype c\n"
      "expect-item-text \"POP User 1\" 11 *****\nadvance 60\nclick-item \"POP User 1\" 2\n");
  EXPECT_STREQ(PUserPassBuff, "pwabc");
  EXPECT_EQ(admintest::Shown(0x2107), "1");  // the detail dialog wrote it
  auto stored = [] {
    char out[256];
    Get_Context_String(0x2105, out);
    return std::string(out);
  };
  EXPECT_EQ(stored(), "pw");  // Cancel wrote nothing of its own
  EXPECT_EQ(tb::DialogItemText(d, 13), "ON");
  // OK takes the masked password and the rest.
  Account(
      "wait-window \"POP User 1\"\nclick-item \"POP User 1\" 11\ntype z\nadvance 60\n"
      "type-item \"POP User 1\" 13 5\nadvance 60\nclick-item \"POP User 1\" 1\n");
  EXPECT_EQ(stored(), "pwz");
  EXPECT_EQ(admintest::Shown(0x2103), "1105");
}

TEST_F(PopPage, AccountDialogByKeyboardStoresWhatItShows) {
  // The account dialog walked with Tab and Shift-Tab, left with Return: the
  // password typed over, its Delete, its stars, and every field stored.
  Open(true, 0x0001);
  const std::vector<admintest::WalkField> fields = {
      {7, 0x2102, "pop.test"}, {9, 0x2104, "login"}, {11, 0x2105, "secretX\b", "k3y", true}, {13, 0x2103, "995"}};
  Account("wait-window \"POP User 1\"\n" + admintest::WalkScript("POP User 1", fields, 0) + "key Return\n");
  for (const admintest::WalkField& f : fields) {
    char stored[256];
    if (f.var == 0x2103)
      Get_Context_Int(f.var, stored);
    else
      Get_Context_String(f.var, stored);
    EXPECT_EQ(stored, admintest::FinalText(f)) << "variable " << f.var;
  }
}

TEST_F(PopPage, AStoredPasswordWithAControlCharacterIsRefusedBeforeItIsWritten) {
  pass_ = "p\x01";
  Open(true, 0x0001);
  Account(
      "wait-window \"POP User 1\"\ntype-item \"POP User 1\" 7 x\nadvance 60\n"
      "click-item \"POP User 1\" 1\nwait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 1\n"
      "wait-window \"POP User 1\"\nadvance 60\nclick-item \"POP User 1\" 2\n");
  EXPECT_EQ(admintest::Shown(0x2102), "\"pop.example.comx\"");  // written before the refusal
  char stored[256];
  Get_Context_String(0x2105, stored);
  EXPECT_STREQ(stored, "p\x01");
}

}  // namespace

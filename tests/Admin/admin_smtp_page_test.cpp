// The SMTP page loaded directly under the settings window's frame items,
// over synthetic settings tables: the groups without their variables, the
// locked first sender address, the code change, the write-back order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Admin/AdminApp.h"
#include "Admin/SetupBind.h"
#include "Admin/SmtpPage.h"
#include "admin_harness.h"
#include "common/Context.h"
#include "pboxemu/settings.h"
#include "toolbox/controls.h"
#include "toolbox/events.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"

namespace {

std::string P(ConstStr255Param p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

class SmtpPage : public ::testing::Test {
 protected:
  void Build(bool consumables) {
    pboxemu::SettingsBuilder b;
    b.Enum(0x2801, {"ENABLE", "DISABLE"}, 1, "SMTP");
    b.Enum(0xEA02, {"US-ASCII", "ISO-8859-1", "ISO-2022-JP", "SHIFT_JIS"}, 0, "CODE");
    std::vector<UInt16> groups{0xEA10};
    if (consumables) groups.push_back(0xEA20);
    for (UInt16 g : groups) {
      b.Enum(g, {"ENABLE", "DISABLE"}, 1, "MAIL");
      b.String('E', UInt16(g + 1), 64, "smtp.example.com", "SRV ");
      b.String('E', UInt16(g + 2), 64, "reply@example.com", "RPLY");
      b.String('E', UInt16(g + 3), 64, "printserver@", "SND1");
      b.String('E', UInt16(g + 4), 64, "", "SND2");
      b.Number('W', UInt16(g + 5), 25, 1, 65535, "PORT");
      b.Enum(UInt16(g + 6), {"ENABLE", "DISABLE"}, 1, "AUTH");
      b.String('E', UInt16(g + 7), 16, "", "USER");
      b.String('X', UInt16(g + 8), 16, "secret", "APAS");
    }
    blocks_ = b.Build();
    admintest::PointTablesAt(blocks_);
  }
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(admintest::LoadForLoopbackSearch(60));
    MenuChangeAuthority = 1;
    gbSetupCancel = 0;
  }
  void Open(bool consumables = true) {
    Build(consumables);
    Get_SMTP_Infomartion();
    d = admintest::PageDialog(kSmtpPageID);
    ASSERT_NE(d, nullptr);
    Setup_SMTP_Load_ValueEX(d);
  }
  void TearDown() override {
    if (d) DisposeDialog(d);
    FlushEvents(everyEvent, 0);
    admintest::ClearTables();
    DeinitNetwork();
    tb::UseVirtualClock(false);
    tb::ResetResources();
  }
  std::string Show(UInt16 var) {
    char out[256] = "?";
    if (var == 0xEA15 || var == 0xEA25) Get_Context_Int(var, out); else Get_Context_String(var, out);
    return out;
  }
  bool Active(short item) {
    ControlRef c = Item_Control(d, item);
    return c && GetControlHilite(c) != 255;
  }
  Boolean Select(short item, EventModifiers mods = 0) {
    EventRecord e{};
    e.what = mouseDown;
    e.modifiers = mods;
    return Setup_SMTP_Item_SelectEX(d, &e, item);
  }
  pboxemu::SettingsBlocks blocks_;
  DialogRef d = nullptr;
};

TEST_F(SmtpPage, AGroupWithoutItsVariablesIsGreyAndNeverWritten) {
  Open(false);
  EXPECT_EQ(gSmtpMBackup.consEnb, 0);
  Select(6);  // SMTP on
  EXPECT_FALSE(Active(26));
  EXPECT_TRUE(Active(10));
  Select(26);
  EXPECT_EQ(gSmtpMBackup.consEnb, 1);  // the box ticks, but nothing reads or writes the group
  Setup_SMTP_Get_ValueEX(d);
  EXPECT_EQ(Set_SMTP_Infomartion(d), 1);
  EXPECT_EQ(Get_Context_Enable(0x2801), 1);
  // SMTP off turns both boxes off, and on again leaves them off.
  Select(10);
  EXPECT_EQ(Get_Item_Value(d, 10), 1);
  Select(6);
  Select(6);
  EXPECT_EQ(Get_Item_Value(d, 10), 0);
  EXPECT_EQ(Get_Item_Value(d, 26), 0);
}

TEST_F(SmtpPage, FirstSenderAddressIsLockedUntilControlShiftClick) {
  Open();
  Select(6);
  Select(10);
  ASSERT_EQ(Get_Item_Value(d, 10), 1);
  Set_Item_Text(d, 14, "mail.example.org");
  Setup_SMTP_Get_ValueEX(d);
  std::strcpy(reinterpret_cast<char*>(gSmtpMBackup.infoPlace1.text + 1), "changed@");
  gSmtpMBackup.infoPlace1.text[0] = 8;
  EXPECT_EQ(Set_SMTP_Infomartion(d), 1);
  EXPECT_EQ(Show(0xEA11), "mail.example.org");
  EXPECT_EQ(Show(0xEA13), "printserver@");  // locked: not written
  // Control+Shift on the ticked box unlocks it without unticking.
  Select(10, controlKey | shiftKey);
  EXPECT_EQ(gSmtpMBackup.fixFlag, 1);
  EXPECT_EQ(Get_Item_Value(d, 10), 1);
  Set_Item_Text(d, 18, "me@example.org");
  Setup_SMTP_Get_ValueEX(d);
  EXPECT_EQ(Set_SMTP_Infomartion(d), 1);
  EXPECT_EQ(Show(0xEA13), "me@example.org");
}

TEST_F(SmtpPage, CodeChangeReplacesOnlyADefaultSenderAddress) {
  Open();
  ASSERT_STREQ(addrTbl[0].addr, "printserver@");
  ASSERT_STREQ(addrTbl[2].addr, "printserver-jp@");
  struct Case {
    const char* current;
    short to;
    bool replaced;
  };
  for (const Case& c : {Case{"printserver@", 3, true}, Case{"print", 3, true}, Case{"printserver@x.com", 3, false},
                        Case{"other@", 3, false}, Case{"", 3, false}, Case{"printserver@", 1, false}}) {
    gSmtpMBackup.charCode = 1;
    std::strcpy(reinterpret_cast<char*>(gSmtpMBackup.infoPlace1.text + 1), c.current);
    gSmtpMBackup.infoPlace1.text[0] = UInt8(std::strlen(c.current));
    Set_Item_Value(d, 9, c.to);
    EXPECT_EQ(Chenge_Send_Address(d), c.replaced ? 1 : 0) << c.current;
    EXPECT_EQ(P(gSmtpMBackup.infoPlace1.text), c.replaced ? "printserver-jp@" : c.current);
  }
  // A code beyond the address table has no default address.
  gSmtpMBackup.charCode = 31;
  Set_Item_Value(d, 9, 1);
  EXPECT_EQ(Chenge_Send_Address(d), 0);
}

TEST_F(SmtpPage, WriteBackStopsAtTheFirstRejectedValue) {
  Open();
  gSmtpMBackup.smtpProto = 1;
  gSmtpMBackup.infoEnb = 1;
  gSmtpMBackup.consEnb = 1;
  auto set = [](SMTP_FIELD& f, const char* t) {
    f.text[0] = UInt8(std::strlen(t));
    std::memcpy(f.text + 1, t, f.text[0]);
  };
  set(gSmtpMBackup.infoSName, "new.example.com");
  set(gSmtpMBackup.infoPort, "99999999");
  set(gSmtpMBackup.consSName, "cons.example.com");
  tb::PressNamedKey("Return");
  EXPECT_EQ(Set_SMTP_Infomartion(d), 0);
  EXPECT_EQ(Get_Context_Enable(0xEA10), 1);
  EXPECT_EQ(Show(0xEA11), "new.example.com");
  EXPECT_EQ(Show(0xEA15), "25");
  EXPECT_EQ(Show(0xEA21), "smtp.example.com");  // the consumables group comes after
  set(gSmtpMBackup.infoPort, "587");
  EXPECT_EQ(Set_SMTP_Infomartion(d), 1);
  EXPECT_EQ(Show(0xEA15), "587");
  EXPECT_EQ(Show(0xEA21), "cons.example.com");
}

}  // namespace

namespace {

TEST_F(SmtpPage, AuthenticationDialogTakesMaskedKeysAndWritesOnAcceptedOk) {
  Open();
  Select(6);
  Select(10);
  const std::string title = "\"Printer Information Mail Authentication\"";
  // Stars for the stored password; a user name the box refuses (not
  // ASCII) keeps the dialog open with the label's message; then the
  // password grows and shrinks by masked keys, Tab leaves it for the name.
  tb::LoadScriptText("wait-window " + title + "\nexpect-item-text " + title + " 8 ******\n" + "click-item " + title +
                     " 3\ntype-item " + title + " 6 \xC3\xA9\n" + "click-item " + title +
                     " 1\nwait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 1\n" + "wait-window " + title +
                     "\nadvance 60\nclick-item " + title + " 8\ntype xy\nkey Delete\n" + "expect-item-text " + title +
                     " 8 *******\nkey Tab\ntype ab\n" + "click-item " + title + " 1\n");
  EXPECT_FALSE(Select(23));
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(Get_Context_Enable(0xEA16), 1);  // written before the refusal, and again
  char out[256];
  Get_Context_String(0xEA18, out);
  EXPECT_STREQ(out, "secretx");
  Get_Context_String(0xEA17, out);
  EXPECT_STREQ(out, "ab");
  EXPECT_EQ(gAuthenInfo, nullptr);
}

}  // namespace

// The settings page bindings over synthetic settings tables, the device
// password dialog driven by queued input, and the IP address set-up of a box
// without an address against the emulator.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/IpSetup.h"
#include "Admin/MainWindow.h"
#include "Admin/SetupBind.h"
#include "admin_harness.h"
#include "common/Context.h"
#include "common/StrConv.h"
#include "pboxemu/emulator.h"
#include "pboxemu/settings.h"
#include "settle.h"
#include "test_support.h"
#include "toolbox/pump.h"
#include "toolbox/quickdraw.h"
#include "toolbox/testdriver.h"

namespace {

using pboxemu::SettingsBuilder;

using admintest::Tables;

pboxemu::SettingsBlocks sample(const char* password = "abcd") {
  SettingsBuilder b;
  b.Ip(258, 0x0A000001, "IPAD");
  b.Number('B', 293, 64, 1, 255, "TTL ");
  b.String('E', 289, 8, "desk", "CONT");
  b.String('X', 264, 9, password, "PASS");
  b.Enum(257, {"ENABLE", "DISABLE"}, 0, "TCP ");
  b.String('X', 12313, 14, "", "WKEY");
  // An enumeration the box gives a 32-bit value: it names nothing.
  b.Number('I', 300, 0x7FFFFFFF, 1, 2, "WIDE");
  b.Number('I', 301, 0xFFFFFFFF, 2, 2, "WRAP");
  return b.Build();
}

class SetupBind : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(admintest::LoadForLoopbackSearch(60));
    MenuChangeAuthority = 1;
    gbSetupCancel = 0;
    Clear_Pass_Buffer();
    // The IP set-up dialog's item 5 is an edit field the bindings can use.
    dlg = GetNewDialog(149, nullptr, reinterpret_cast<WindowRef>(-1));
    ASSERT_NE(dlg, nullptr);
  }
  void TearDown() override {
    if (dlg) DisposeDialog(dlg);
    DeinitNetwork();
    tb::UseVirtualClock(false);
    tb::ResetResources();
  }
  DialogRef dlg = nullptr;
};

TEST_F(SetupBind, EditFieldsStoreByTheWriteRule) {
  struct Case {
    const char* what;
    UInt16 var;
    bool asString;
    const char* text;
    Boolean authority, cancel;
    short result;
    const char* shown;  // afterwards
  };
  const Case cases[] = {
      {"address stored", 258, false, "10.0.0.9", 1, 0, 0, "10.0.0.9"},
      {"address out of range", 258, false, "10.0.0.300", 1, 0, 2, "10.0.0.1"},
      {"address syntax", 258, false, "10,0.0.1", 1, 0, 1, "10.0.0.1"},
      {"range hidden under Cancel", 258, false, "10.0.0.300", 1, 1, 0, "10.0.0.1"},
      {"range hidden without authority", 293, false, "0", 0, 0, 0, "64"},
      {"number stored", 293, false, "0x0A", 1, 0, 0, "10"},
      {"no entry", 999, false, "1", 1, 0, -1, "?"},
      {"no entry hidden under Cancel", 999, false, "1", 1, 1, 0, "?"},
      {"string stored", 289, true, "hall", 1, 0, 0, "\"hall\""},
      {"string too long", 289, true, "12345678", 1, 0, 2, "\"desk\""},
      {"too long hidden under Cancel", 289, true, "12345678", 1, 1, 0, "\"desk\""},
      {"control character refused even under Cancel", 289, true, "a\tb", 1, 1, 1, "\"desk\""},
      {"string without entry", 999, true, "x", 1, 0, 0, "?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Tables t(sample());
    MenuChangeAuthority = c.authority;
    gbSetupCancel = c.cancel;
    Set_Item_Text(dlg, 5, c.text);
    short r = c.asString ? Set_Editbox_To_String(dlg, 5, c.var) : Set_Editbox_To_Int(dlg, 5, c.var);
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(t.show(c.var), c.shown);
  }
}

TEST_F(SetupBind, LoadingFieldsAndMaskedSecrets) {
  Tables t(sample());
  EXPECT_EQ(Set_Editbox_From_Int(dlg, 5, 258), 0);
  EXPECT_EQ(tb::DialogItemText(dlg, 5), "10.0.0.1");
  EXPECT_EQ(Set_Editbox_From_Int(dlg, 5, 999), -1);
  EXPECT_EQ(tb::DialogItemText(dlg, 5), "10.0.0.1");
  EXPECT_EQ(Set_Editbox_From_String(dlg, 5, 289), 7);  // max - 1
  EXPECT_EQ(tb::DialogItemText(dlg, 5), "desk");

  // The secret shows as asterisks; what is stored is the typed text.
  EXPECT_EQ(Set_Editbox_From_String(dlg, 5, 264), 8);
  EXPECT_EQ(tb::DialogItemText(dlg, 5), "****");
  EXPECT_STREQ(TcpipPassBuff, "abcd");
  EXPECT_EQ(MaxSetpass, 8);
  std::strcpy(TcpipPassBuff, "secret");
  TcpipPass = 6;
  EXPECT_EQ(Set_Editbox_To_String(dlg, 5, 264), 0);
  char stored[256];
  ASSERT_EQ(Get_Context_String(264, stored), 1);
  EXPECT_STREQ(stored, "secret");
  EXPECT_EQ(t.show(264), "\"******\"");
  // Longer than the limit: refused, the old secret kept.
  std::strcpy(TcpipPassBuff, "123456789");
  TcpipPass = 9;
  EXPECT_EQ(Set_Editbox_To_String(dlg, 5, 264), 2);
  ASSERT_EQ(Get_Context_String(264, stored), 1);
  EXPECT_STREQ(stored, "secret");

  // A button's title drawn grey: only its words, the button still answers.
  ShowWindow(GetDialogWindow(dlg));
  for (Boolean grey : {Boolean(1), Boolean(0)}) {
    Draw_Color_String(dlg, 1, "Go", grey);
    Rect title;
    Get_Dialog_Item_Rect(dlg, 1, &title);
    InsetRect(&title, 8, 4);
    EXPECT_EQ(admintest::InkOf(GetDialogPort(dlg), title), grey ? admintest::Ink::kGrey : admintest::Ink::kBlack);
    EXPECT_TRUE(IsControlActive(Item_Control(dlg, 1)));
    EXPECT_EQ(tb::DialogItemText(dlg, 1), "Go");
  }
}

TEST_F(SetupBind, ValuesWithoutControlsAndTheWepKey) {
  Tables t(sample());
  EXPECT_EQ(Get_Context_Enable(257), 1);
  EXPECT_EQ(Get_Context_Enable(300), 0);
  EXPECT_EQ(Get_Context_Enable(301), 0);
  EXPECT_EQ(Set_Context_Enable(257, 0), 0);
  EXPECT_EQ(t.show(257), "DISABLE");
  EXPECT_EQ(Set_Context_Enable(999, 0), 1);
  EXPECT_EQ(Get_Context_Enum(257), 2);
  EXPECT_EQ(Set_Context_Enum(257, 3), 2);
  EXPECT_EQ(Get_Context_Enum(999), -1);
  EXPECT_EQ(Set_Context_StringEx(289, "12345678", 8), 2);
  EXPECT_EQ(Set_Context_StringEx(289, "a\x01", 2), 1);
  EXPECT_EQ(Set_Context_StringEx(289, "lab", 3), 0);
  EXPECT_EQ(t.show(289), "\"lab\"");
  const UInt8 hall[] = {4, 'h', 'a', 'l', 'l'};
  EXPECT_EQ(Set_Context_String(289, hall), 0);
  char text[256];
  short min = -1, max = -1;
  EXPECT_EQ(Get_Context_StringEx(289, text, &min, &max), 1);
  EXPECT_STREQ(text, "hall");
  EXPECT_EQ(max, 7);
  const UInt8 ttl[] = {3, '3', '0', '0'};
  EXPECT_EQ(Set_Context_Int(293, ttl), 2);
  const UInt8 ttlOk[] = {2, '3', '0'};
  EXPECT_EQ(Set_Context_Int(293, ttlOk), 0);
  EXPECT_EQ(t.show(293), "30");
  EXPECT_EQ(Set_Context_Int(999, ttlOk), 255);

  const std::size_t off = get_ctx_offset(get_context_by_varid(12313));
  const std::string key = "0123456789abcdefABCDEF0102";
  EXPECT_EQ(Check_Wepkey(12313, key.c_str()), 1);
  const UInt8 want[14] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xAB, 0xCD, 0xEF, 0x01, 0x02, 0};
  EXPECT_EQ(std::memcmp(&t.image()[off], want, 14), 0);
  // The same key in the other case is unchanged.
  EXPECT_EQ(Check_Wepkey(12313, "0123456789ABCDEFabcdef0102"), 0);
  const std::vector<UInt8> before = t.image();
  EXPECT_EQ(Check_Wepkey(12313, "0123456789abcdefABCDEF010g"), 2);
  EXPECT_EQ(Check_Wepkey(12313, "0123"), 2);  // cut short at the NUL
  EXPECT_EQ(t.image(), before);
  EXPECT_EQ(Check_Wepkey(999, key.c_str()), 0);
  // An image too short for the key's field (tables that disagree): nothing
  // to compare, nothing written.
  wEEPDataSize = UInt16(off);
  EXPECT_EQ(Check_Wepkey(12313, key.c_str()), 0);
  wEEPDataSize = UInt16(t.image().size());

  EXPECT_EQ(Check_password(""), 1);
  EXPECT_EQ(Check_password("a b~"), 1);
  EXPECT_EQ(Check_password("a\x1F"), 0);
}

// The password dialog: queued input runs as the dialog's loop asks for it.
TEST_F(SetupBind, PasswordDialogWithAndWithoutAStoredPassword) {
  {
    Tables t(sample(""));
    MenuChangeAuthority = 0;
    EXPECT_EQ(Open_Input_Password_Dialog(), 1);  // no dialog at all
    EXPECT_EQ(MenuChangeAuthority, 1);
    EXPECT_EQ(tb::DialogCount(), 1);  // only the test's own
  }
  {
    Tables t(sample("abcd"));
    tb::ResetBeepCount();
    tb::LoadScriptText(
        "type-item Password 4 abcX\n"
        "key v cmd\n"                      // swallowed
        "click-item Password 1\n"          // wrong: the alert
        "wait-window VEMO-ADMIN\n"
        "click-item VEMO-ADMIN 1\n"
        "key Delete\n"
        "type-item Password 4 d\n"
        "expect-item-text Password 4 ****\n"
        "click-item Password 1\n");
    EXPECT_EQ(Open_Input_Password_Dialog(), 1);
    EXPECT_FALSE(tb::ScriptRunning());
    EXPECT_STREQ(PassWdChkBuff, "abcd");
    EXPECT_EQ(MaxWdpass, 8);
  }
  {
    // A table without the password: nothing typed passes, only Cancel leaves.
    SettingsBuilder b;
    b.Ip(258, 1);
    Tables t(b.Build());
    tb::LoadScriptText(
        "type-item Password 4 x\n"
        "click-item Password 1\n"
        "wait-window VEMO-ADMIN\n"
        "click-item VEMO-ADMIN 1\n"
        "click-item Password 2\n");
    EXPECT_EQ(Open_Input_Password_Dialog(), 0);
    EXPECT_FALSE(tb::ScriptRunning());
  }
}

TEST_F(SetupBind, PasswordFilterKeys) {
  char buf[256] = {0};
  short len = 0;
  auto key = [&](char c, UInt8 code, EventModifiers mods = 0) {
    EventRecord e{};
    e.what = keyDown;
    e.message = UInt32(code) << 8 | UInt8(c);
    e.modifiers = mods;
    short r = Password_Input_Filter(nullptr, &e, 0, 3, buf, &len);
    return std::make_pair(r, e);
  };
  tb::ResetBeepCount();
  auto [r1, e1] = key('a', 0x00);
  EXPECT_EQ(r1, 0);
  EXPECT_EQ(char(e1.message & 0xFF), '*');
  key('b', 0x0B);
  key('c', 0x08);
  auto [r4, e4] = key('d', 0x02);  // beyond maxLen
  EXPECT_EQ(e4.what, nullEvent);
  EXPECT_EQ(tb::Beeps(), 1);
  auto [r5, e5] = key('v', 0x09, cmdKey);
  EXPECT_EQ(e5.what, nullEvent);
  EXPECT_STREQ(buf, "abc");
  key(8, 0x33);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(key(13, 0x24).first, 1);
  EXPECT_EQ(key(27, 0x35).first, 1);
  key(8, 0x33), key(8, 0x33), key(8, 0x33);  // the third on an empty field beeps
  EXPECT_EQ(len, 0);
  EXPECT_EQ(tb::Beeps(), 2);
}

// ---- IP address set-up against the emulator --------------------------------

class IpSetup : public ::testing::Test {
 protected:
  IpSetup() : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()) {}
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(admintest::LoadForLoopbackSearch(60));
    ASSERT_EQ(Install_Menu(), 1);
    pboxemu::BoxSpec none, other;
    none.noAddress = true;
    emu.AddBox(none);
    emu.AddBox(other);
    std::string err;
    ASSERT_TRUE(emu.Start(&err)) << err;
    ASSERT_EQ(Open_Main_Window(), 1);
    for (int i = 0; i < 3; ++i) {
      ottest::Settle(emu, [] { Update_Main_Dialog(); });
      tb::AdvanceTicks(31);
    }
    ottest::Settle(emu, [] { Update_Main_Dialog(); });
  }
  void TearDown() override { admintest::EndProgram(emu); }
  // Passes of the event loop: the input to the program's dispatch, then
  // its idle step.
  void pump(int passes = 20) {
    EventRecord e;
    for (int i = 0; i < passes; ++i) {
      if (GetNextEvent(everyEvent, &e) && admin::Handle_Dialog_Event(&e) != 1) Handle_Window_Event(&e);
      Update_Main_Dialog();
    }
  }
  int row_of(const PBOXinfo* box) {
    for (SInt16 r = 0; r < CLGetCount(mainTbl.pservList); ++r)
      if (CLGetReference(mainTbl.pservList, r) == reinterpret_cast<long>(box)) return r;
    return -1;
  }
  std::string cell(int row, int column) { return admintest::MainListCell(row, column); }
  // A click on the row, as a person selects a box.
  void select(int row) {
    Rect list;
    CLGetRect(mainTbl.pservList, &list, false, true, true);
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(Get_Open_Main_Dialog()),
                                  Point{SInt16(list.top + 18 * row + 9), SInt16(list.left + 200)}));
    pump();
  }
  std::vector<UInt32> pixels(const Rect& r) { return admintest::PortPixels(GetDialogPort(Get_Open_Main_Dialog()), r); }
  PBOXinfo* find(int n) {
    PBOXinfo* t = Get_Pbox_Table();
    auto mac = emu.BoxMac(n);
    for (short i = 0; t && i < PboxTblMax; ++i)
      if (t[i].pbi_inuse && std::memcmp(t[i].pbi_nodeaddr, mac.data(), 6) == 0) return &t[i];
    return nullptr;
  }
  testsupport::ScopedEnv ports_;
  pboxemu::Emulator emu;
};

TEST_F(IpSetup, ABoxWithoutAddressGetsOneThatIsFreeAndAnswersThere) {
  PBOXinfo* box = find(0);
  ASSERT_NE(box, nullptr);
  ASSERT_EQ(box->pbi_ip_addr, 0u);
  auto clock = ottest::SettledClock(emu);
  const UInt32 taken = emu.BoxAddress(1);
  char takenText[20];
  iptoa(taken, takenText);
  const UInt32 fresh = emu.BoxAddress(1) + 10;
  char freshText[20];
  iptoa(fresh, freshText);

  // Letters beep and insert nothing; the other box's address is refused.
  tb::ResetBeepCount();
  tb::LoadScriptText(std::string("type-item \"IP Address Setup\" 5 1x2\n") +
                     "expect-item-text \"IP Address Setup\" 5 12\n" + "expect-beeps 1\n" +
                     "key Delete\nkey Delete\n" + "type-item \"IP Address Setup\" 5 " + takenText + "\n" +
                     "click-item \"IP Address Setup\" 1\n" + "wait-window VEMO-ADMIN\n" +
                     "click-item VEMO-ADMIN 1\n" + "key Escape\n");
  EXPECT_EQ(Set_Ip_Address(box), 0);
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(emu.Executed(0, "SET IP_ADDR:"), 0);

  // A box whose Ethernet address does not match takes nothing.
  PBOXinfo wrong = *box;
  wrong.pbi_nodeaddr[5] ^= 0xFF;
  tb::LoadScriptText(std::string("type-item \"IP Address Setup\" 5 ") + freshText + "\n" +
                     "click-item \"IP Address Setup\" 1\n" + "wait-window VEMO-ADMIN\n" +
                     "click-item VEMO-ADMIN 1\n");
  EXPECT_EQ(Set_Ip_Address(&wrong), 1);
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(emu.ReportedAddress(0), 0u);

  // The right box takes it, and its own settings hold it with the address
  // servers switched off; the restart question is answered No.
  tb::LoadScriptText(std::string("type-item \"IP Address Setup\" 5 ") + freshText + "\n" +
                     "click-item \"IP Address Setup\" 1\n" + "wait-window VEMO-ADMIN\n" +
                     "click-item VEMO-ADMIN 2\n");
  EXPECT_EQ(Set_Ip_Address(box), 1);
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(emu.ReportedAddress(0), fresh);
  EXPECT_EQ(emu.BoxAddress(0), fresh);
  EXPECT_EQ(box->pbi_ip_addr, fresh);
  pboxemu::SettingsBlocks now = emu.Settings(0);
  now.image = emu.Image(0);
  Tables t(now);
  EXPECT_EQ(t.show(258), freshText);
  EXPECT_EQ(t.show(261), "DISABLE");
  EXPECT_EQ(t.show(262), "DISABLE");

  // Now it has one: only the message.
  tb::LoadScriptText("wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 1\n");
  EXPECT_EQ(Set_Ip_Address(box), 0);
  EXPECT_FALSE(tb::ScriptRunning());
}

// A command on a TCP/IP box without address asks first: No does nothing,
// Yes opens the set-up; in both cases the command itself does not run.
TEST_F(IpSetup, CommandsOnABoxWithoutAddressAskFirst) {
  PBOXinfo* box = find(0);
  ASSERT_NE(box, nullptr);
  auto clock = ottest::SettledClock(emu);
  tb::LoadScriptText("wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 2\n");
  EXPECT_NE(Check_IPAddress(box), 1);
  EXPECT_FALSE(tb::ScriptRunning());
  tb::LoadScriptText(
      "wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 1\n"
      "wait-window \"IP Address Setup\"\nkey Escape\n");
  EXPECT_EQ(Check_IPAddress(box), 2);
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(emu.Executed(0, "SET IP_ADDR:"), 0);
  PBOXinfo* other = find(1);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(Check_IPAddress(other), 1);  // has an address: no question
}

// After the set-up the box's row and the status bar show the address the
// table holds for it.
TEST_F(IpSetup, TheRowAndTheStatusBarShowTheNewAddress) {
  PBOXinfo* box = find(0);
  ASSERT_NE(box, nullptr);
  auto clock = ottest::SettledClock(emu);
  const int row = row_of(box);
  ASSERT_GE(row, 0);
  select(row);
  EXPECT_EQ(cell(row, 3), "0.0.0.0");
  EXPECT_EQ(CLGetIconID(mainTbl.pservList, SInt16(row)), 140);
  const Rect panel = mainTbl.statusBar.ipAddrRect;
  const std::vector<UInt32> before = pixels(panel);
  char fresh[20];
  iptoa(emu.BoxAddress(1) + 10, fresh);
  tb::LoadScriptText(std::string("type-item \"IP Address Setup\" 5 ") + fresh + "\n" +
                     "click-item \"IP Address Setup\" 1\nwait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 2\n");
  EXPECT_EQ(Set_Ip_Address(box), 1);
  EXPECT_FALSE(tb::ScriptRunning());
  pump(5);
  EXPECT_EQ(cell(row, 3), fresh);
  // The icon follows: the box now has a status to show, and the next
  // search, which finds it at its new address, keeps it.
  EXPECT_EQ(CLGetIconID(mainTbl.pservList, SInt16(row)), 141);
  EXPECT_EQ(cell(row, 0), "Ready");
  const int probes = emu.Probes(0);
  tb::AdvanceTicks(60 * 60 + 1);
  pump(200);
  EXPECT_GT(emu.Probes(0), probes);
  EXPECT_EQ(box->pbi_ip_addr, emu.BoxAddress(0));
  EXPECT_EQ(CLGetIconID(mainTbl.pservList, SInt16(row)), 141);
  const std::vector<UInt32> after = pixels(panel);
  EXPECT_NE(after, before);
  // What selecting the row anew draws.
  select(row);
  EXPECT_EQ(pixels(panel), after);
}

}  // namespace

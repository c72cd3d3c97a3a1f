// The settings pages' rules that decide what is stored, driven through the
// open settings window of an emulated box by clicks and typing, one test per
// page.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "Admin/SetupWindow.h"
#include "admin_harness.h"
#include "common/Context.h"
#include "pboxemu/emulator.h"
#include "pboxemu/settings.h"
#include "settle.h"
#include "test_support.h"
#include "toolbox/testdriver.h"

namespace {

using pboxemu::Model;

class SetupPages : public admintest::SetupWindowTest {
 protected:
  void to_tab(const std::string& title) {
    EXPECT_TRUE(admintest::ClickSetupTab(admintest::SetupTabIndex(title))) << "no tab " << title;
    pump();
  }
  bool hidden(short item) {
    DialogItemType k;
    Handle h;
    Rect r;
    GetDialogItem(Get_Open_Setup_Dialog(), item, &k, &h, &r);
    return r.left >= 16384;
  }
  // The window's own update draws the whole page again.
  void redraw() {
    DialogRef d = Get_Open_Setup_Dialog();
    Rect all;
    GetPortBounds(GetDialogPort(d), &all);
    InvalWindowRect(GetDialogWindow(d), &all);
    pump();
  }
  // OK, the save question answered OK and the restart question No: the
  // window closes; what the box then holds, as tables.
  std::unique_ptr<admintest::Tables> save_and_read(int box) {
    answer("12");
    click(1);
    EXPECT_FALSE(tb::ScriptRunning());
    EXPECT_EQ(Get_Open_Setup_Dialog(), nullptr);
    pboxemu::SettingsBlocks now = emu.Settings(box);
    now.image = emu.Image(box);
    return std::make_unique<admintest::Tables>(now);
  }
  void answer(const std::string& items) {  // alerts to come, by item
    std::string s;
    for (char c : items) s += std::string("wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN ") + c + "\n";
    tb::LoadScriptText(s);
  }
};

TEST_F(SetupPages, TcpIp) {
  // The QSV-C box with AppleTalk switched off.
  {
    pboxemu::SettingsBlocks b = emu.Settings(2);
    admintest::PointTablesAt(b);
    char msg[64];
    ASSERT_EQ(context_set_varid(769, "DISABLE", msg, sizeof msg), 0);
    admintest::ClearTables();
    emu.SetSettings(2, b);
  }
  auto clock = ottest::SettledClock(emu);
  // A box that offers TCP/IP alone has no TCP/IP switch.
  open(0);
  to_tab("TCP/IP");
  EXPECT_TRUE(hidden(6));
  EXPECT_TRUE(hidden(7));
  click(2);
  ASSERT_EQ(Get_Open_Setup_Dialog(), nullptr);

  // QSV-E: no WINS button.
  open(3);
  to_tab("TCP/IP");
  EXPECT_TRUE(hidden(23));
  click(2);

  open(2);
  to_tab("TCP/IP");
  EXPECT_FALSE(hidden(23));
  // DHCP on: the three values read-only; off again: the typed texts back.
  retype(13, "255.255.255.0");
  click(11);
  EXPECT_TRUE(hidden(9));
  EXPECT_TRUE(hidden(13));
  EXPECT_STREQ(gIpBackup.smAddr, "255.255.255.0");
  click(11);
  EXPECT_FALSE(hidden(13));
  EXPECT_EQ(text(13), "255.255.255.0");

  // A bad address refuses the page; the mask is not stored in that pass.
  const std::string maskBefore = admintest::Shown(259);
  retype(9, "10.1.2.300");
  answer("1");
  click(1);
  EXPECT_FALSE(tb::ScriptRunning());
  ASSERT_NE(Get_Open_Setup_Dialog(), nullptr);
  EXPECT_EQ(admintest::Shown(259), maskBefore);

  // TCP/IP off while AppleTalk is disabled asks; No keeps it on.
  ASSERT_EQ(Get_Context_Enable(769), 0);
  answer("1");
  click(6);
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(Get_Item_Value(Get_Open_Setup_Dialog(), 6), 1);
  answer("2");
  click(6);
  EXPECT_EQ(Get_Item_Value(Get_Open_Setup_Dialog(), 6), 0);
  EXPECT_TRUE(hidden(9));  // greyed read-only while TCP/IP is off
}

TEST_F(SetupPages, TcpIpFilterRanges) {
  auto clock = ottest::SettledClock(emu);
  open(2);
  to_tab("TCP/IP");
  // The filter dialog's pairs are stored together: a bad first address of
  // range 2 is reported after both fields of range 2 were stored; ranges 3
  // and 4 are not stored in that pass. The refusal keeps the dialog; Cancel
  // leaves it with the stored values.
  tb::LoadScriptText(
      "wait-window \"IP Filter\"\n"
      "click-item \"IP Filter\" 12\nkey a cmd\ntype 1.2.3.300\n"
      "click-item \"IP Filter\" 14\nkey a cmd\ntype 0.0.0.5\n"
      "click-item \"IP Filter\" 16\nkey a cmd\ntype 9.9.9.9\n"
      "click-item \"IP Filter\" 1\n"
      "wait-window VEMO-ADMIN\n"
      "click-item VEMO-ADMIN 1\n"
      "click-item \"IP Filter\" 2\n");
  DialogRef d = Get_Open_Setup_Dialog();
  ShowDialogItem(d, 22);  // the page shows it only after the switch is used
  click(22);
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(admintest::Shown(323 + 1), "0.0.0.5");  // the second field of range 2
  EXPECT_EQ(admintest::Shown(325), "0.0.0.0");      // range 3 untouched
}

TEST_F(SetupPages, GeneralPasswordAndPrinterNames) {
  auto clock = ottest::SettledClock(emu);
  open(1);
  for (short item : {15, 16, 17, 18}) EXPECT_TRUE(hidden(item)) << item;  // QSV-B
  click(2);
  open(3);
  EXPECT_FALSE(hidden(16));  // QSV-E
  EXPECT_EQ(text(16), "PRINTER1");

  // The change dialog: a repeated password that differs is refused, then a
  // match is stored; the box had none, so the current field stays empty.
  tb::LoadScriptText(
      "wait-window \"Change Password\"\n"
      "type-item \"Change Password\" 7 abc\n"
      "type-item \"Change Password\" 9 abd\n"
      "click-item \"Change Password\" 1\n"
      "wait-window VEMO-ADMIN\n"
      "click-item VEMO-ADMIN 1\n"
      "click-item \"Change Password\" 9\n"
      "key Delete\n"
      "type c\n"
      "expect-item-text \"Change Password\" 9 ***\n"
      "click-item \"Change Password\" 1\n");
  click(9);
  EXPECT_FALSE(tb::ScriptRunning());
  char stored[256];
  ASSERT_EQ(Get_Context_String(264, stored), 1);
  EXPECT_STREQ(stored, "abc");
  EXPECT_EQ(text(7), "***");
}

// In Japanese the E box's General page labels its port pop-up in the
// language, and shows the printer name a Japanese client wrote (in the
// language's encoding) as its text; left as it was, it is not taken for a
// text of characters the setting refuses.
class SetupPagesJapanese : public SetupPages {
 protected:
  SetupPagesJapanese() { language_ = "Japanese"; }
};

TEST_F(SetupPagesJapanese, GeneralPortLabelAndAPrinterNameAsTheBoxHoldsIt) {
  {
    pboxemu::SettingsBlocks b = emu.Settings(3);
    admintest::PointTablesAt(b);
    char msg[64];
    ASSERT_EQ(context_set_varid(4369, "\x93\xFA\x96\x7B", msg, sizeof msg), 0) << msg;
    admintest::ClearTables();
    emu.SetSettings(3, b);
  }
  auto clock = ottest::SettledClock(emu);
  open(3);
  EXPECT_EQ(text(17), "ポート");
  EXPECT_EQ(text(16), "日本");
  // OK: nothing changed, so nothing is refused or asked.
  click(1);
  EXPECT_EQ(Get_Open_Setup_Dialog(), nullptr);
}

TEST_F(SetupPages, SnmpCommunityIsTypedBehindAsterisks) {
  auto clock = ottest::SettledClock(emu);
  open(2);
  to_tab("SNMP");
  EXPECT_EQ(text(7), "******");  // "public"
  EXPECT_EQ(SetPassFlag, 101);
  // Keys on the page go into the community's typed text.
  tb::PressNamedKey("Delete");
  tb::TypeText("x");
  pump();
  EXPECT_STREQ(CommunityPassBuff, "publix");
  EXPECT_EQ(text(7), "******");
  to_tab("General");  // collects the page
  char stored[256];
  ASSERT_EQ(Get_Context_String(274, stored), 1);
  EXPECT_STREQ(stored, "publix");
}

TEST_F(SetupPages, NetBiosPassesOverFieldsNotInUse) {
  auto clock = ottest::SettledClock(emu);
  open(2);
  to_tab("NetBIOS");
  // With NetBEUI and NetBIOS over TCP/IP both off, a name too long for its
  // field is passed over, and the next field still stored.
  DialogRef d = Get_Open_Setup_Dialog();
  ASSERT_EQ(Get_Item_Value(d, 6), 1);
  ASSERT_EQ(Get_Item_Value(d, 14), 1);
  retype(9, "A-NAME-FAR-TOO-LONG");
  retype(11, "TEAM");
  click(6);
  click(14);
  EXPECT_TRUE(hidden(9));
  to_tab("General");
  SETUP_PAGE* p = Current_Setup_Page();
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p->contName, "General");
  EXPECT_EQ(admintest::Shown(1026), "\"TEAM\"");
  EXPECT_EQ(admintest::Shown(1027), "\"PBOX\"");
}

TEST_F(SetupPages, WirelessModeAndKeyFields) {
  auto clock = ottest::SettledClock(emu);
  open(3);  // QSV-E: the General page has the wireless button
  ASSERT_FALSE(hidden(14));
  const std::string before = admintest::Shown(12306);
  // Infrastructure: the channel is read-only and not stored; the name is.
  // WEP 128: thirteen key fields of two digits; a third digit beeps; a field
  // with one digit refuses OK with the key's label. Each field starts with
  // the stored key's two digits.
  std::string s =
      "wait-window \"Wireless LAN\"\n"
      "expect-item-text \"Wireless LAN\" 12 " + before + "\n"
      "click-item \"Wireless LAN\" 7\nkey a cmd\ntype HALL\n"
      "popup-item \"Wireless LAN\" 31 3\n";
  const char* digits[] = {"0A", "11", "22", "33", "44", "55", "66", "77", "88", "99", "aa", "BB", "C"};
  for (int i = 0; i < 13; ++i)
    s += "click-item \"Wireless LAN\" " + std::to_string(14 + i) + "\nkey Delete\nkey Delete\ntype " + digits[i] + "\n";
  s += "click-item \"Wireless LAN\" 14\ntype 7\nexpect-beeps 1\n"
       "click-item \"Wireless LAN\" 1\n"
       "wait-window VEMO-ADMIN\nclick-item VEMO-ADMIN 1\n"
       "click-item \"Wireless LAN\" 26\ntype C\n"
       "expect-item-text \"Wireless LAN\" 26 **\n"
       "click-item \"Wireless LAN\" 1\n";
  tb::ResetBeepCount();
  tb::LoadScriptText(s);
  click(14);
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(admintest::Shown(12305), "\"HALL\"");
  EXPECT_EQ(admintest::Shown(12306), before);
  EXPECT_EQ(admintest::Shown(12308), "128bit");
  CONTEXT_ENTRY* key = get_context_by_varid(12313);
  ASSERT_NE(key, nullptr);
  auto f = context_field(key);
  const UInt8 want[14] = {0x0A, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0};
  ASSERT_EQ(f.size(), 14u);
  EXPECT_EQ(std::memcmp(f.data(), want, 14), 0);
}

// A box that offers NetWare alone, in print-server mode, with IPX switched
// off in its image.
pboxemu::SettingsBlocks NetWareOnly() {
  pboxemu::SettingsBuilder b;
  b.String('X', 264, 9, "", "PASS");
  b.Enum(513, {"ENABLE", "DISABLE"}, 1, "IPX ");
  b.String('E', 514, 48, "PSERVER", "NWNM");
  b.Enum(515, {"AUTO", "802.2", "802.3"}, 0, "FRAM");
  b.Enum(516, {"RPRINTER", "PSERVER"}, 1, "MODE");
  b.Enum(540, {"BINDERY", "NDS"}, 0, "BIND");
  b.String('E', 4368, 48, "Q1", "QUEU");
  b.String('E', 4368 + 256, 48, "Q2", "QUEU");
  return b.Build();
}

TEST_F(SetupPages, NetWareOnlyBox) {
  emu.SetSettings(2, NetWareOnly());
  auto clock = ottest::SettledClock(emu);
  open(2);
  EXPECT_EQ(admintest::SetupTabTitles(), (std::vector<std::string>{"General", "NetWare"}));
  to_tab("NetWare");
  DialogRef d = Get_Open_Setup_Dialog();
  EXPECT_EQ(Get_Item_Value(d, 6), 1);  // IPX is the only protocol
  // Print server mode with NDS: the print-server and NDS buttons.
  EXPECT_FALSE(hidden(15));
  EXPECT_FALSE(hidden(16));
  EXPECT_TRUE(hidden(14));
  tb::AdvanceClock(60);
  ASSERT_TRUE(tb::ChooseDialogPopupItem(d, 13, 1));
  pump();
  EXPECT_FALSE(hidden(14));
  EXPECT_TRUE(hidden(15));
  EXPECT_TRUE(hidden(16));
  // A queue name too long for its port keeps the pop-up on the old port.
  retype(19, std::string(50, 'q'));
  answer("1");
  tb::AdvanceClock(60);
  ASSERT_TRUE(tb::ChooseDialogPopupItem(d, 18, 2));
  pump();
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(Get_Item_Value(d, 18), 1);
  retype(19, "LASER");
  auto saved = save_and_read(2);
  admintest::Tables& t = *saved;
  EXPECT_EQ(t.show(513), "DISABLE");  // never stored on a NetWare-only box
  EXPECT_EQ(t.show(516), "RPRINTER");
  EXPECT_EQ(t.show(4368), "\"LASER\"");
}

TEST_F(SetupPages, AppleTalkPrinterNamePerPort) {
  auto clock = ottest::SettledClock(emu);
  open(2);
  to_tab("AppleTalk");
  DialogRef d = Get_Open_Setup_Dialog();
  EXPECT_TRUE(hidden(6));
  EXPECT_EQ(text(9), "PRINTER1");
  EXPECT_EQ(text(13), "*");
  // The name shown is stored for its own port before the next one loads.
  retype(9, "LOBBY");
  tb::AdvanceClock(60);
  ASSERT_TRUE(tb::ChooseDialogPopupItem(d, 11, 2));
  pump();
  EXPECT_EQ(text(9), "PRINTER2");
  EXPECT_EQ(admintest::Shown(4369), "\"LOBBY\"");
  // Too long for its field: the alert, and the pop-up back on port 2.
  retype(9, std::string(40, 'n'));
  answer("1");
  tb::AdvanceClock(60);
  ASSERT_TRUE(tb::ChooseDialogPopupItem(d, 11, 1));
  pump();
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(Get_Item_Value(d, 11), 2);
  EXPECT_EQ(admintest::Shown(4369 + 256), "\"PRINTER2\"");
}

// Box 4 names "system" first in its port list: the port pop-ups offer the
// printer ports alone, and a name goes to the port the user chose.
TEST_F(SetupPages, PortPopupsOfferThePrinterPortsAlone) {
  struct Case {
    bool netwareOnly;
    const char* tab;
    short popup, field;
    UInt16 firstVar;
  };
  const Case cases[] = {{false, "AppleTalk", 11, 9, 4369}, {true, "NetWare", 18, 19, 4368}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tab);
    if (c.netwareOnly) emu.SetSettings(4, NetWareOnly());
    auto clock = ottest::SettledClock(emu);
    open(4);
    to_tab(c.tab);
    DialogRef d = Get_Open_Setup_Dialog();
    MenuRef m = GetControlPopupMenuHandle(Item_Control(d, c.popup));
    ASSERT_NE(m, nullptr);
    std::vector<std::string> names;
    for (MenuItemIndex i = 1; i <= CountMenuItems(m); ++i) {
      Str255 t;
      GetMenuItemText(m, i, t);
      names.emplace_back(reinterpret_cast<char*>(t + 1), t[0]);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"PORT1", "PORT2"}));
    tb::AdvanceClock(60);
    ASSERT_TRUE(tb::ChooseDialogPopupItem(d, c.popup, 2));
    pump();
    retype(c.field, "SECOND");
    auto t = save_and_read(4);
    EXPECT_EQ(t->show(UInt16(c.firstVar + 256)), "\"SECOND\"");
    EXPECT_NE(t->show(c.firstVar), "\"SECOND\"");
  }
}

// The grey and black rule of the pages' labels, as drawn and as redrawn by
// the window's update: grey while the value beside the label is not in use.
TEST_F(SetupPages, LabelsAreGreyWhileTheirValuesAreNotInUse) {
  using admintest::Ink;
  struct Step {
    const char* tab;
    short click;  // 0: none
    std::vector<short> labels;
    Ink ink;
  };
  const std::vector<short> printerLabels{13, 15, 17, 19, 21};
  const Step steps[] = {
      {"TCP/IP", 0, {8, 12, 14}, Ink::kBlack},  {"TCP/IP", 11, {8, 12, 14}, Ink::kGrey},  // DHCP on
      {"TCP/IP", 11, {8, 12, 14}, Ink::kBlack}, {"NetBIOS", 0, {8, 10, 12}, Ink::kBlack},
      {"NetBIOS", 6, {8, 10, 12}, Ink::kBlack},  // NetBIOS over TCP/IP is still on
      {"NetBIOS", 14, {8, 10, 12}, Ink::kGrey}, {"SMTP", 0, {8, 11, 27, 13, 21, 29, 37}, Ink::kGrey},
      {"SMTP", 6, {8, 11, 27}, Ink::kBlack},    {"SMTP", 0, printerLabels, Ink::kGrey},
      {"SMTP", 10, printerLabels, Ink::kBlack},
  };
  auto clock = ottest::SettledClock(emu);
  open(2);
  std::string tab;
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string(s.tab) + " after a click on " + std::to_string(s.click));
    if (tab != s.tab) to_tab(tab = s.tab);
    if (s.click) click(s.click);
    DialogRef d = Get_Open_Setup_Dialog();
    for (int pass = 0; pass < 2; ++pass) {
      for (short item : s.labels) EXPECT_EQ(admintest::InkOf(d, item), s.ink) << "item " << item << " pass " << pass;
      redraw();
    }
  }
  answer("1");
  click(2);
}

// The wireless dialog by mode: the label of the value the mode does not
// edit is grey, and that value is shown grey and framed in its read-only
// place.
TEST_F(SetupPages, WirelessLabelsAndReadOnlyFieldFollowTheMode) {
  using admintest::Ink;
  auto clock = ottest::SettledClock(emu);
  open(3);
  auto expect = [](short greyLabel, short blackLabel, short readOnly) {
    admintest::ScriptChecks().push_back([=] {
      DialogRef w = tb::FindDialogByTitle("Wireless LAN");
      ASSERT_NE(w, nullptr);
      EXPECT_EQ(admintest::InkOf(w, greyLabel), Ink::kGrey);
      EXPECT_EQ(admintest::InkOf(w, blackLabel), Ink::kBlack);
      EXPECT_EQ(admintest::InkOf(w, readOnly), Ink::kGrey);
      EXPECT_TRUE(admintest::FramedAt(w, readOnly, 3));
    });
  };
  expect(8, 6, 12);  // infrastructure: the channel is read-only
  expect(6, 8, 11);  // ad hoc: the network name is
  tb::LoadScriptText(
      "wait-window \"Wireless LAN\"\nwait 5\ncheck\n"
      "popup-item \"Wireless LAN\" 5 1\nwait 5\ncheck\nkey Escape\n");
  click(14);
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_TRUE(admintest::ScriptChecks().empty());
  click(2);
}

// Opened with SMTP on, the two mail check boxes are drawn whole: their
// group titles no longer cover them.
TEST_F(SetupPages, SmtpMailBoxesAreDrawnWhole) {
  pboxemu::SettingsBlocks b = emu.Settings(2);
  admintest::PointTablesAt(b);
  char msg[64];
  for (UInt16 var : {0x2801, 0xEA10, 0xEA20}) ASSERT_EQ(context_set_varid(var, "ENABLE", msg, sizeof msg), 0);
  admintest::ClearTables();
  emu.SetSettings(2, b);
  auto clock = ottest::SettledClock(emu);
  open(2);
  to_tab("SMTP");
  DialogRef d = Get_Open_Setup_Dialog();
  redraw();
  for (short item : {10, 26}) {
    SCOPED_TRACE(item);
    EXPECT_EQ(Get_Item_Value(d, item), 1);
    Rect r;
    Get_Dialog_Item_Rect(d, item, &r);
    // The box: 12 pixels square, one in from the item's left, centred.
    const short top = SInt16(r.top + (r.bottom - r.top - 12) / 2), left = SInt16(r.left + 1);
    CGrafPtr port = GetDialogPort(d);
    // Its top edge right of the left corner, its right edge above the
    // bottom corner: both along their whole length.
    for (short h = SInt16(left + 2); h < left + 11; ++h)
      EXPECT_TRUE(testsupport::DarkInkIn(port, Rect{top, h, SInt16(top + 1), SInt16(h + 1)}, 0x70)) << "top " << h;
    for (short v = SInt16(top + 2); v < top + 11; ++v)
      EXPECT_TRUE(testsupport::DarkInkIn(port, Rect{v, SInt16(left + 11), SInt16(v + 1), SInt16(left + 12)}, 0x70))
          << "right " << v;
  }
  click(2);
}

// The NetWare sub-dialogs' grey frames, each with its group label drawn
// over it.
TEST_F(SetupPages, NetWareSubDialogsAreFramed) {
  emu.SetSettings(2, NetWareOnly());
  auto clock = ottest::SettledClock(emu);
  open(2);
  to_tab("NetWare");
  DialogRef d = Get_Open_Setup_Dialog();
  struct Case {
    short mode, button;  // the mode that shows the button
    const char* title;
    short second;  // the other framed item
  };
  for (const Case& c : {Case{2, 15, "Print Server", 27}, Case{1, 14, "Remote Printer", 25}}) {
    SCOPED_TRACE(c.title);
    tb::AdvanceClock(60);
    ASSERT_TRUE(tb::ChooseDialogPopupItem(d, 13, c.mode));
    pump();
    admintest::ScriptChecks().push_back([&c] {
      DialogRef sub = tb::FindDialogByTitle(c.title);
      ASSERT_NE(sub, nullptr);
      for (short item : {short(20), c.second}) EXPECT_TRUE(admintest::FramedAt(sub, item, 0)) << item;
      EXPECT_EQ(admintest::InkOf(sub, 21), admintest::Ink::kBlack);
    });
    tb::LoadScriptText(std::string("wait-window \"") + c.title + "\"\nwait 5\ncheck\nkey Escape\n");
    click(c.button);
    EXPECT_FALSE(tb::ScriptRunning());
  }
  answer("1");
  click(2);
}

}  // namespace

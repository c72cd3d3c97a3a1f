// Every dialog and page of the program used by the keyboard alone, in the
// running program against emulated boxes: the device settings' pages and
// sub-dialogs, the mail forms, the IP address set-up and each tab of the
// search settings. The fields are walked with Tab (the whole round, then
// typing into each) and Shift-Tab (typing over the masked fields' selected
// stars), masked fields also take Delete, the mail forms' fields the
// clipboard and undo keys, and the dialog is left with Return or Escape.
// What reaches the box is the typed text exactly (nothing on Escape), the
// search settings' files get only the record that changed (nothing on
// Escape), a secret is never drawn but as stars, the restart question asks
// once, and the main window still answers a click, a menu command and a key
// afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Admin/SetupBind.h"
#include "admin_harness.h"
#include "common/BroadcastList.h"
#include "common/Context.h"
#include "common/PrefFile.h"
#include "common/StrConv.h"
#include "pboxemu/emulator.h"
#include "pboxemu/settings.h"
#include "suite/SuiteNames.h"
#include "test_support.h"
#include "toolbox/appletalk.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/files.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"

namespace {

namespace fs = std::filesystem;
using admintest::FinalText;
using admintest::Quoted;
using admintest::WalkField;
using pboxemu::Model;

constexpr const char* kSettings = "Print Server Settings";
constexpr const char* kSearch = "Search Settings";
enum Box { kOffice, kReception, kNetWare, kUnset };
const char* const kBoxNames[] = {"Office C", "Reception E", "NetWare N", "New box"};

struct Walk {
  const char* name;
  Box box;
  const char* tab;
  std::string prepare = "";    // script lines on the page first
  DialogItemIndex button = 0;  // the button opening the sub-dialog; 0: the page itself
  const char* dialog = kSettings;
  std::string ready = "";         // script lines in the dialog first
  DialogItemIndex start = 0;      // clicked first when the keyboard is not there yet
  std::vector<WalkField> fields = {};  // in Tab order, from the one that has the keyboard
  std::string after = "";         // script lines after the walk, before leaving
  // With the box's tables in place: what the prepare lines store once the
  // window is left with OK, and what OK stores besides the fields' texts.
  std::function<void()> prepared = nullptr, stored = nullptr;
  // A dialog of the main window instead: the menu command that opens it
  // for the selected box (then its tab, when it has tabs, is clicked), the
  // lines that leave it by OK, and what OK makes of the search settings.
  std::string menu = "";
  std::string okLines = "key Return\n";
  std::function<void(CONFIGURATION&, SETUPINFO&)> searched = nullptr;
};

void set(UInt16 var, const std::string& text) {
  char msg[kCtxMessageSize];
  ASSERT_EQ(context_set_varid(var, text.c_str(), msg, sizeof msg), 0) << "variable " << var << ": " << msg;
}

const std::string kKey = "0A1B2C3D4E5F60718293A4B5C6";  // the 13 bytes the wireless walk types

std::vector<Walk> walks() {
  const auto ip_range = [](int first) {
    std::vector<WalkField> f;
    for (int i = 0; i < 8; ++i)
      f.push_back({DialogItemIndex(8 + 2 * i), UInt16(321 + i), "127.0.1." + std::to_string(first + i)});
    return f;
  };
  const auto servers = [](UInt16 first, const char* stem) {
    std::vector<WalkField> f;
    for (int i = 0; i < 8; ++i) f.push_back({DialogItemIndex(12 + i), UInt16(first + i), stem + std::to_string(i + 1)});
    return f;
  };
  std::vector<WalkField> wireless = {{7, 0x3011, "LAB"}};
  for (int i = 0; i < 13; ++i) {
    WalkField k{DialogItemIndex(14 + i), 0, kKey.substr(std::size_t(2 * i), 2), "", true};
    if (i == 1) k.typed = k.typed.substr(0, 1) + "X\b" + k.typed.substr(1);  // Delete inside a key field
    if (i == 0) k.over = k.typed, k.typed = "99";                            // typed over its stars
    wireless.push_back(k);
  }
  wireless.push_back({30, 0x3018, "2"});
  std::vector<WalkField> rprinter = servers(545, "rp");
  rprinter.push_back({23, 553, "45"});
  std::vector<WalkField> pserver = servers(529, "fs");
  pserver.push_back({23, 538, "nw\bpass", "Q9", true});
  pserver.push_back({25, 539, "5"});
  const auto smtp_on = [] {
    set(0x2801, "ENABLE");
    set(0xEA10, "ENABLE");
  };

  const auto mail = [](UInt16 first, const std::vector<std::string>& typed) {
    const DialogItemIndex items[] = {5, 7, 9, 13, 15, 17};
    const UInt16 vars[] = {0, 1, 2, 4, 5, 6};
    std::vector<WalkField> f;
    for (std::size_t i = 0; i < typed.size(); ++i) f.push_back({items[i], UInt16(first + vars[i]), typed[i]});
    return f;
  };
  // Command-A and C copy the text; V pastes it in the next field, X cuts,
  // Z takes a paste back.
  std::vector<WalkField> printerMail =
      mail(0xEA19, {"Printer information", "Paper low^a^c", "^v-desk", "a@b^a^xadmin@test", "^v^zSecond", "Sig"});
  printerMail[2].want = "Paper low-desk";
  printerMail[3].want = "admin@test";
  printerMail[4].want = "Second";
  printerMail[5].over = "Room 5";
  std::vector<WalkField> consumMail = mail(0xEA29, {"Toner", "Cyan low", "Desk 3"});
  consumMail[1].over = "Magenta low";

  return {
      {.name = "SnmpPage",
       .box = kOffice,
       .tab = "SNMP",
       .fields = {{7, 274, "s3cretZ\b", "n3w", true},
                  {9, 275, "trapxyz"},
                  {11, 276, "127.0.0.9"},
                  {13, 289, "Admin"},
                  {15, 290, "Hall"},
                  {17, 291, "Floor 2"},
                  {19, 293, "32"}},
       // A held key's repeats go into the secret as its first press did.
       .after = "click-item \"Print Server Settings\" 7\ncall held-z\nkey Tab\n"
                "expect-masked \"Print Server Settings\" 7 4\n",
       .stored = [] { set(274, "n3wz"); }},
      {.name = "TcpIpPage",
       .box = kOffice,
       .tab = "TCP/IP",
       .fields = {{9, 258, "@IP"}, {13, 259, "255.255.0.0"}, {15, 260, "127.0.0.254"}}},
      {.name = "DnsDialog",
       .box = kOffice,
       .tab = "TCP/IP",
       .button = 20,
       .dialog = "DNS Settings",
       .fields = {{5, 59907, "example.test"}, {7, 265, "127.0.0.53"}, {9, 266, "127.0.0.54"}}},
      {.name = "WinsDialog",
       .box = kOffice,
       .tab = "TCP/IP",
       .button = 23,
       .dialog = "WINS Settings",
       .fields = {{5, 269, "127.0.0.41"}, {7, 270, "127.0.0.42"}, {9, 271, "scope"}}},
      // The filter's button shows once TCP/IP was switched off and on again.
      {.name = "IpFilterDialog",
       .box = kOffice,
       .tab = "TCP/IP",
       .prepare = "click-item \"Print Server Settings\" 6\nclick-item \"Print Server Settings\" 6\n",
       .button = 22,
       .dialog = "IP Filter",
       .fields = ip_range(10)},
      {.name = "AppleTalkPage", .box = kOffice, .tab = "AppleTalk", .fields = {{9, 4369, "HALL"}, {13, 770, "Zone 7"}}},
      {.name = "NetBiosPage",
       .box = kOffice,
       .tab = "NetBIOS",
       .fields = {{9, 1027, "PBOX7"}, {11, 1026, "GROUP7"}, {13, 1028, "Comment"}}},
      {.name = "PasswordChangeDialog",
       .box = kOffice,
       .tab = "General",
       .button = 9,
       .dialog = "Change Password",
       .fields = {{5, 0, "pw", "", true}, {7, 0, "abcd\b", "n3w", true}, {9, 0, "abc", "n3w", true}},
       .stored = [] { set(264, "n3w"); }},
      {.name = "SmtpPage",
       .box = kOffice,
       .tab = "SMTP",
       .prepare = "click-item \"Print Server Settings\" 6\nclick-item \"Print Server Settings\" 10\n"
                  "click-item \"Print Server Settings\" 26\n",
       .start = 14,
       .fields = {{14, 0xEA11, "smtp.test"},
                  {16, 0xEA12, "reply@test"},
                  {20, 0xEA14, "second@test"},
                  {22, 0xEA15, "2525"},
                  {30, 0xEA21, "smtp2.test"},
                  {32, 0xEA22, "r2@test"},
                  {34, 0xEA23, "c1@test"},
                  {36, 0xEA24, "c2@test"},
                  {38, 0xEA25, "587"}},
       .stored =
           [] {
             set(0x2801, "ENABLE");
             set(0xEA10, "ENABLE");
             set(0xEA20, "ENABLE");
           }},
      {.name = "SmtpAuthenticationDialog",
       .box = kOffice,
       .tab = "SMTP",
       .prepare = "click-item \"Print Server Settings\" 6\nclick-item \"Print Server Settings\" 10\n",
       .button = 23,
       .dialog = "Printer Information Mail Authentication",
       .ready = "click-item \"Printer Information Mail Authentication\" 3\n",
       .start = 6,
       .fields = {{6, 0xEA17, "mailer"}, {8, 0xEA18, "s3cret", "Y", true}},
       .prepared = smtp_on,
       .stored = [] { set(0xEA16, "ENABLE"); }},
      {.name = "GeneralPage", .box = kReception, .tab = "General", .fields = {{16, 4369, "FRONT-DESK"}}},
      {.name = "WirelessDialog",
       .box = kReception,
       .tab = "General",
       .button = 14,
       .dialog = "Wireless LAN",
       .ready = "popup-item \"Wireless LAN\" 31 3\n",
       .start = 7,
       .fields = wireless,
       .stored =
           [] {
             set(0x3014, "128bit");
             auto f = context_field(get_context_by_varid(0x3019));
             for (std::size_t i = 0; i < 13; ++i) f[i] = UInt8(std::stoi(kKey.substr(2 * i, 2), nullptr, 16));
           }},
      // The queue name typed for the second port stays, for that port, while IPX
      // is switched off and on again.
      {.name = "NetWarePage",
       .box = kNetWare,
       .tab = "NetWare",
       .prepare = "popup-item \"Print Server Settings\" 18 2\n",
       .fields = {{9, 514, "NWBOX"}, {19, 4368 + 256, "QUEUE2"}},
       .after = "click-item \"Print Server Settings\" 6\nclick-item \"Print Server Settings\" 6\n"},
      {.name = "RemotePrinterDialog",
       .box = kNetWare,
       .tab = "NetWare",
       .prepare = "popup-item \"Print Server Settings\" 13 1\n",
       .button = 14,
       .dialog = "Remote Printer",
       .fields = rprinter,
       .prepared = [] { set(516, "RPRINTER"); }},
      {.name = "PrintServerDialog",
       .box = kNetWare,
       .tab = "NetWare",
       .button = 15,
       .dialog = "Print Server",
       .fields = pserver},
      {.name = "NdsDialog",
       .box = kNetWare,
       .tab = "NetWare",
       .button = 16,
       .dialog = "NDS Settings",
       .fields = {{7, 541, "tree"}, {9, 542, "ctx"}}},
      // The second form switched on: Tab reaches all six fields. The
      // subject typed as the language shows it is stored as the box's own.
      {.name = "PrinterMailForm",
       .box = kOffice,
       .tab = "SMTP",
       .prepare = "click-item \"Print Server Settings\" 6\nclick-item \"Print Server Settings\" 10\n",
       .button = 12,
       .dialog = "Printer Information Mail",
       .ready = "click-item \"Printer Information Mail\" 10\n",
       .fields = printerMail,
       .prepared = smtp_on,
       .stored =
           [] {
             set(0xEA19, "Printer Information");
             set(0xEA1C, "ENABLE");
           }},
      // The second form off: Tab goes round the first three fields.
      {.name = "ConsumablesMailForm",
       .box = kOffice,
       .tab = "SMTP",
       .prepare = "click-item \"Print Server Settings\" 6\nclick-item \"Print Server Settings\" 26\n",
       .button = 28,
       .dialog = "Consumables Mail",
       .fields = consumMail,
       .prepared =
           [] {
             set(0x2801, "ENABLE");
             set(0xEA20, "ENABLE");
           }},
      {.name = "IpSetup",
       .box = kUnset,
       .tab = nullptr,
       .dialog = "IP Address Setup",
       .fields = {{5, 258, "@FREE"}},
       .stored =
           [] {
             set(261, "DISABLE");
             set(262, "DISABLE");
           },
       .menu = "131 1",
       .okLines = "key Return\nwait-alert\ncall restart-question\nkey Escape\n"},
      // The search settings, a tab each: an address typed with leading
      // zeros is added as the list shows it. The settings window opened and
      // closed over them leaves them the one window that takes clicks.
      {.name = "SearchTcpIp",
       .box = kReception,
       .tab = "TCP/IP",
       .dialog = kSearch,
       .ready = "menu 132 1\nwait-window \"Print Server Settings\" 10000\nkey Escape\nwait-window \"Search Settings\"\n"
                "click-box \"NetWare N\"\n",
       .fields = {{7, 0, "127.0.3.1", "127.000.3.002"}},
       .after = "click-item \"Search Settings\" 11\n",
       .menu = "131 3",
       .searched =
           [](CONFIGURATION&, SETUPINFO& e) {
             std::snprintf(e.broadcast[e.tcp_count++], kBroadcastTextSize, "%s", "127.0.3.2");
           }},
      {.name = "SearchAppleTalk",
       .box = kOffice,
       .tab = "AppleTalk",
       .dialog = kSearch,
       .after = "click-item \"Search Settings\" 5\nclick-item \"Search Settings\" 10\n",
       .menu = "131 3",
       .searched =
           [](CONFIGURATION& c, SETUPINFO&) {
             c.Protocol_2 = 1;
             c.choiceNetworkzone = 1;
             std::snprintf(c.SearchZoneName, sizeof c.SearchZoneName, "%s", "Zone 1");
           }},
      {.name = "SearchTimeout",
       .box = kOffice,
       .tab = "Timeout",
       .dialog = kSearch,
       .fields = {{7, 0, "90"}, {10, 0, "7"}, {12, 0, "3", "4"}},
       .menu = "131 3",
       .searched =
           [](CONFIGURATION& c, SETUPINFO&) {
             c.pollTime = 90;
             c.rcvWait = 7000;
             c.retry = 4;
           }},
  };
}

// The search settings as their files hold them: the record of the main
// preference file, that of the file-transfer tool's, and the broadcast
// list's text beside the bundles ("" where there is none).
struct SearchFiles {
  std::string record, transfer, list;
};
std::string Packed(const CONFIGURATION& c) {
  UInt8 bytes[kConfigRecordSize];
  Pack_Config_Record(c, bytes);
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

class KeyboardWalk : public admintest::AdminProgramTest, public ::testing::WithParamInterface<std::tuple<int, bool>> {
 protected:
  // A suite of the test's own (the broadcast list is written beside its
  // bundles) and an AppleTalk network of three zones.
  KeyboardWalk() : atalk_("TOOLBOX_APPLETALK_CONF", (home_ / "appletalk.conf").c_str()) {
    testsupport::WriteFile(home_ / "appletalk.conf", "network = " + std::to_string(pboxemu::PrivateAppleTalkNetwork()) +
                                                         "\nnode = 5\nport-base = 30000\nmyzone = Zone 2\n"
                                                         "zone = Zone 1\nzone = Zone 2\nzone = Zone 3\n");
  }
  void SetUp() override {
    admintest::PlaceProgramIn(home_.path());
    tb::ReloadAppleTalkConfig();
    ASSERT_NO_FATAL_FAILURE(AdminProgramTest::SetUp());
    OpenMode = 1;  // started as a person starts it: the broadcast list is kept
    std::vector<pboxemu::BoxSpec> boxes(4);
    const Model models[] = {Model::QSV_C, Model::QSV_E, Model::QSV_B, Model::QSV_C};
    for (int i = 0; i < 4; ++i) {
      boxes[std::size_t(i)].model = models[i];
      boxes[std::size_t(i)].name = kBoxNames[i];
    }
    boxes[kUnset].noAddress = true;
    ASSERT_NO_FATAL_FAILURE(start(boxes));
    // The first box guards its settings with a password.
    pboxemu::SettingsBlocks office = emu.Settings(kOffice);
    admintest::PointTablesAt(office);
    set(264, "pw");
    admintest::ClearTables();
    emu.SetSettings(kOffice, office);
    emu.SetSettings(kNetWare, admintest::NetWareBox());
  }
  void TearDown() override {
    AdminProgramTest::TearDown();
    admintest::PlaceProgramIn("");
  }

  std::string address(Box b) {
    const UInt32 a = emu.BoxAddress(b);
    char text[20];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
    return text;
  }
  // "@IP" the box's address, "@FREE" one no box has.
  std::string resolve(const std::string& text, Box b) {
    if (text == "@FREE") {
      char free[20];
      iptoa(emu.BoxAddress(kOffice) + 10, free);
      return free;
    }
    return text == "@IP" ? address(b) : text;
  }

  static std::string record(SInt16 nameIndex) {
    FSSpec fss;
    std::string out;
    if (!Pref_Name_File_Spec(nameIndex, &fss)) return out;
    const SInt16 ref = FSpOpenResFile(&fss, fsRdPerm);
    if (ref < 0) return out;
    if (Handle h = Get1Resource('CNFG', 128)) out.assign(*h, std::size_t(GetHandleSize(h)));
    CloseResFile(ref);
    UseResFile(Appl_Rsrc_Fork_No);
    return out;
  }
  SearchFiles searchFiles() {
    const fs::path list = home_ / "suite" / suite::kConfigDataName;
    return {record(1), record(3), fs::exists(list) ? testsupport::ReadFile(list) : ""};
  }

  testsupport::TempDir home_;
  testsupport::ScopedEnv atalk_;
};

TEST_P(KeyboardWalk, WhatIsTypedReachesTheBoxAndSecretsShowAsStars) {
  const Walk w = walks()[std::size_t(std::get<0>(GetParam()))];
  const bool ok = std::get<1>(GetParam());
  const bool sub = w.button != 0;
  const bool main = !w.menu.empty();
  const pboxemu::SettingsBlocks before = emu.Settings(w.box);
  const std::string settings = Quoted(kSettings);
  const CONFIGURATION conf = ConfigData;
  const SETUPINFO env = EnvInfo;
  const SearchFiles files = searchFiles();

  std::string s = "click-box " + Quoted(kBoxNames[w.box]) + "\n";
  if (main) {
    s += "menu " + w.menu + "\nwait-window " + Quoted(w.dialog) + "\n";
    if (w.tab) s += "tab " + Quoted(w.tab) + "\n";
  } else {
    s += "menu 132 1\n";
    if (w.box == kOffice) s += "wait-window Password\ntype pw\nexpect-masked Password 4 2\nkey Return\n";
    s += "wait-window " + settings + " 10000\ntab " + Quoted(w.tab) + "\n" + w.prepare;
    if (sub)
      s += "click-item " + settings + " " + std::to_string(w.button) + "\nwait-window " + Quoted(w.dialog) + "\n";
  }
  s += w.ready +
       admintest::WalkScript(w.dialog, w.fields, w.start, [&](const std::string& t) { return resolve(t, w.box); }) +
       w.after;
  if (main) {
    s += ok ? w.okLines : "key Escape\n";
  } else if (ok) {
    if (sub) s += "key Enter\n";
    s += "key Return\nwait-alert\nkey Return\nwait-alert\ncall restart-question\nkey Escape\n";
  } else if (sub) {
    // The sub-dialog is cancelled; the window's OK then saves only what the
    // page itself was given.
    s += "key Escape\nkey Return\n";
    if (w.prepared) s += "wait-alert\nkey Return\nwait-alert\nkey Escape\n";
  } else {
    s += "key Escape\nwait-alert\nkey Return\n";  // the changes discarded
  }
  checks_["held-z"] = [] {
    PostEvent(autoKey, UInt32(tb::KeyCodeForChar('z')) << 8 | 'z');
    return true;
  };
  checks_["restart-question"] = [] {
    const std::string text = tb::ParamTextValue(0) + " " + tb::ParamTextValue(1);
    std::size_t count = 0;
    for (std::size_t at = text.find("Restart the print server now?"); at != std::string::npos;
         at = text.find("Restart the print server now?", at + 1))
      ++count;
    EXPECT_EQ(count, 1u) << text;
    return true;
  };
  ASSERT_NO_FATAL_FAILURE(run(s));
  EXPECT_EQ(Get_Open_Setup_Dialog(), nullptr);
  EXPECT_EQ(Get_Open_Config_Dialog(), nullptr);

  // What reaches the box: the fields' texts and what OK stores besides
  // (a dialog of the main window stores only where it names something).
  pboxemu::SettingsBlocks want = before;
  admintest::PointTablesAt(want);
  const bool saved = main ? ok && w.stored : ok || (sub && w.prepared);
  if (saved && w.prepared) w.prepared();
  if (ok) {
    for (const WalkField& f : w.fields)
      if (f.var) set(f.var, resolve(FinalText(f), w.box));
    if (w.stored) w.stored();
  }
  admintest::ClearTables();
  const std::vector<UInt8> got = emu.Image(w.box);
  ASSERT_EQ(got.size(), want.image.size());
  for (std::size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(got[i], want.image[i]) << "byte " << i << " of the box's image";
  EXPECT_EQ(emu.Executed(w.box, "SAVE EEP_DATA"), saved ? 1 : 0);
  EXPECT_EQ(emu.Executed(w.box, "SET IP_ADDR:"), ok && w.box == kUnset ? 1 : 0);

  // What reaches the search settings' files: only a record that changed,
  // and nothing on Cancel.
  CONFIGURATION wantConf = conf;
  SETUPINFO wantEnv = env;
  if (ok && w.searched) w.searched(wantConf, wantEnv);
  EXPECT_EQ(Packed(ConfigData), Packed(wantConf)) << "the search settings in use";
  EXPECT_EQ(std::memcmp(&EnvInfo, &wantEnv, sizeof env), 0) << "the broadcast list in use";
  SearchFiles wantFiles = files;
  if (Packed(wantConf) != Packed(conf)) {
    wantFiles.record = Packed(wantConf);
    UInt8 transfer[16] = {};
    be::put16(transfer, UInt16(std::min<int>(wantConf.rcvWait, 5000)));
    be::put16(transfer + 2, 5);
    be::put16(transfer + 4, UInt16(wantConf.retry));
    be::put32(transfer + 6, wantConf.brAddr);
    transfer[10] = wantConf.oldVerCompati;
    wantFiles.transfer.assign(reinterpret_cast<const char*>(transfer), sizeof transfer);
  }
  if (std::memcmp(&wantEnv, &env, sizeof env) != 0) {
    const std::vector<UInt8> text = Broadcast_List_Text(wantEnv.broadcast, wantEnv.tcp_count);
    wantFiles.list.assign(text.begin(), text.end());
  }
  const SearchFiles gotFiles = searchFiles();
  EXPECT_EQ(gotFiles.record, wantFiles.record) << "the preference file's record";
  EXPECT_EQ(gotFiles.transfer, wantFiles.transfer) << "the file-transfer tool's record";
  EXPECT_EQ(gotFiles.list, wantFiles.list) << "the broadcast list file";

  ExpectMainWindowAnswers();
}

INSTANTIATE_TEST_SUITE_P(Dialogs, KeyboardWalk,
                         ::testing::Combine(::testing::Range(0, int(walks().size())), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<int, bool>>& p) {
                           return std::string(walks()[std::size_t(std::get<0>(p.param))].name) +
                                  (std::get<1>(p.param) ? "Ok" : "Cancel");
                         });

}  // namespace

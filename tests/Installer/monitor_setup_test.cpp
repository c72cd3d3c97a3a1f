// The monitor set-up's pieces without the wizard: the address and interval
// rules, the event flags, the printer list's rows, the alias file with the
// login item, the files the answer no deletes, and the polling service
// against an emulated box.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FanctionLib/CList.h"
#include "Installer/InstApp.h"
#include "Installer/JCPSocket.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/loginitems.h"
#include "toolbox/netconfig.h"
#include "toolbox_fixture.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::WriteFile;

TEST(MonitorSetupRules, BroadcastAddressesAndIntervals) {
  struct Address {
    const char* typed;
    const char* listed;  // "" refused
  } addresses[] = {
      {"192.168.1.255", "192.168.1.255"},
      {"010.001.002.003", "10.1.2.3"},
      {"255.255.255.255", "255.255.255.255"},
      {"256.1.1.1", ""},
      {"1..2.3", ""},
      {"1.2.3.4x", ""},
      {"1.2.3", ""},
      {"1.2.3.4.5", ""},
      {"0.0.0.0", ""},
      {".1.2.3", ""},
      {"1.2.3.", ""},
      {"", ""},
      {" 1.2.3.4", ""},
      {"99999999999.1.1.1", ""},
  };
  for (const auto& a : addresses) EXPECT_EQ(Normal_Broadcast_Address(a.typed), a.listed) << a.typed;

  struct Interval {
    const char* text;
    short ok;
  } intervals[] = {{"500", 1},
                   {"15000", 1},
                   {"3000", 1},
                   {"499", 0},
                   {"15001", 0},
                   {" 500", 0},
                   {"+500", 0},
                   {"", 0},
                   {"5 00", 0},
                   {"99999999999", 0},
                   // Leading zeros are digits; a value past a long is refused, never wrapped.
                   {"0000000500", 1},
                   {"0000000000000000000000015000", 1},
                   {"000000000015001", 0},
                   {"18446744073709552116", 0},
                   {"9223372036854775807", 0},
                   {"92233720368547758070", 0}};
  for (const auto& i : intervals) {
    long n = -1;
    EXPECT_EQ(Str_To_Num(testsupport::PStr(i.text), &n, 15000, 500), i.ok) << i.text;
  }
}

TEST(MonitorSetupRules, OnlyTheFirstEightEventsAreStored) {
  testsupport::TempDir dir;
  std::string text = "[POPUP]\r\n";
  for (int i = 0; i < 10; ++i) text += "POP_0" + std::to_string(i) + "=Event " + std::to_string(i) + "\r\n";
  text += "POP_10=Never read\r\n";
  WriteFile(dir / "MESSAGE.INI", text);
  instData.messSpec = (dir / "MESSAGE.INI").string();
  EVENT_DATA events[kEventMax];
  ASSERT_EQ(Build_Event_Data(events, 0xFF), 10);
  EXPECT_STREQ(events[9].cEventName, "Event 9");
  EXPECT_EQ(events[9].iconID, 159);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(events[i].bEnable, i < 8) << i;
  // Events 8 and 9 armed and event 0 not: only event 0's bit changes.
  events[0].bEnable = 0;
  events[8].bEnable = events[9].bEnable = 1;
  EXPECT_EQ(Event_Flags(events, 10, 0xFF), 0xFE);
  instData.messSpec.clear();
}

// Row i of the events page arms bit i of the monitor's events, so the page
// names each row as the monitor names that bit, in every language, with
// the monitor's icon.
TEST(MonitorSetupRules, TheEventsPageNamesTheMonitorsOwnEvents) {
  const fs::path src = std::getenv("VEMO_SOURCE_DIR") ? std::getenv("VEMO_SOURCE_DIR") : ".";
  const auto values = [](const fs::path& file, const char* format) {
    std::vector<std::string> out;
    const std::string text = ReadFile(file);
    for (int i = 0;; ++i) {
      char key[16];
      std::snprintf(key, sizeof key, format, i);
      const std::size_t at = text.find(std::string("\n") + key);
      if (at == std::string::npos) break;
      const std::size_t from = at + 1 + std::strlen(key);
      out.push_back(text.substr(from, text.find_first_of("\r\n", from) - from));
    }
    return out;
  };
  for (const char* language : {"English", "Japanese"}) {
    SCOPED_TRACE(language);
    const auto monitor = values(src / "resources/VEMO-MONITOR" / language / "Popmon.ini.in", "POP%02d=");
    EXPECT_EQ(monitor.size(), 8u);
    EXPECT_EQ(values(src / "resources/vemoplexinstall" / language / "MESSAGE.INI", "POP_%02d="), monitor);
  }
  const std::string installer = ReadFile(src / "resources/vemoplexinstall/Installer.r.in");
  const std::string monitor = ReadFile(src / "resources/VEMO-MONITOR/Monitor.r.in");
  for (int id = 150; id < 158; ++id) {
    const std::string line = "resource 'cicn' " + std::to_string(id) + " {";
    const auto picture = [&](const std::string& text) {
      const std::size_t at = text.find(line);
      return at == std::string::npos ? std::string() : text.substr(at, text.find('\n', at) - at);
    };
    EXPECT_FALSE(picture(monitor).empty()) << id;
    EXPECT_EQ(picture(installer), picture(monitor)) << id;
  }
}

class MonitorFolder : public ::testing::Test {
 protected:
  MonitorFolder() {
    WriteFile(folder / "VEMO-MONITOR.app/Contents/VEMO-MONITOR Startup.app/Contents/MacOS/VEMO-MONITOR Startup", "");
  }
  PBOXinfo printer(UInt8 last) {
    PBOXinfo p{};
    p.pbi_inuse = 1;
    const UInt8 mac[6] = {0x00, 0x80, 0x92, 0x0A, 0x0B, last};
    std::memcpy(p.pbi_nodeaddr, mac, 6);
    p.protocol_Type_Num = 2;
    return p;
  }
  std::size_t loginItems() {
    std::vector<LoginItem> items;
    EXPECT_EQ(LIAECopyLoginItems(&items), noErr);
    return items.size();
  }

  testsupport::TempDir dir;
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").c_str()};
  fs::path folder = dir / "VEMOPLEX";
};

TEST_F(MonitorFolder, AliasFileRenumbersAndTheLoginItemFollowsIt) {
  const PBOXinfo a = printer(0x0C), b = printer(0x0D);
  const std::string nameA = "VEMOMON-00;80;92;0A;0B;0C", nameB = "VEMOMON-00;80;92;0A;0B;0D";
  struct Step {
    const PBOXinfo* pbox;
    short add;
    std::string alias;
    std::size_t items;
  } steps[] = {
      {&a, 1, "ALIAS00=" + nameA + "\r\n", 1},
      {&b, 1, "ALIAS00=" + nameA + "\r\nALIAS01=" + nameB + "\r\n", 1},
      {&a, 1, "ALIAS00=" + nameB + "\r\nALIAS01=" + nameA + "\r\n", 1},  // set again: last
      {&a, 0, "ALIAS00=" + nameB + "\r\n", 1},                           // another printer keeps it
      {&b, 0, "", 0},                                                    // the last one goes
  };
  for (const auto& s : steps) {
    Set_Startup_Data(folder.string(), s.pbox, nullptr, s.add);
    EXPECT_EQ(ReadFile(folder / "Alias Data"), "[ALIAS]\r\n" + s.alias);
    EXPECT_EQ(loginItems(), s.items);
  }
}

TEST_F(MonitorFolder, TheAnswerNoDeletesTwoFilesAndOneAddressWritesNoList) {
  for (const char* name : {"Brdadr", "MONITOR Data", "Alias Data", "VEMOMON-00;80;92;0A;0B;0C"})
    WriteFile(folder / name, "old");
  Delete_Data_File(folder.string());
  EXPECT_FALSE(fs::exists(folder / "Brdadr"));
  EXPECT_FALSE(fs::exists(folder / "MONITOR Data"));
  EXPECT_TRUE(fs::exists(folder / "Alias Data"));
  EXPECT_TRUE(fs::exists(folder / "VEMOMON-00;80;92;0A;0B;0C"));

  // A list of entry 0 only leaves "Brdadr" as it was; a printer not in use
  // writes no pointer file; without a folder nothing is written there.
  WriteFile(folder / "Brdadr", "old");
  SETUPINFO list{};
  std::strcpy(list.broadcast[0], "255.255.255.255");
  list.tcp_count = 1;
  CONFIGURATION config{};
  config.statUpdate = 3000;
  PBOXinfo none{};
  Write_Monitor_Setup(folder.string(), none, config, list);
  EXPECT_EQ(ReadFile(folder / "Brdadr"), "old");
  EXPECT_FALSE(fs::exists(folder / "MONITOR Data"));
  EXPECT_TRUE(fs::exists(folder / "VEMOMON-00;00;00;00;00;00"));
  std::strcpy(list.broadcast[1], "10.1.2.3");
  list.tcp_count = 2;
  Write_Monitor_Setup("", printer(0x0C), config, list);
  EXPECT_EQ(ReadFile(folder / "Brdadr"), "old");
  Write_Monitor_Setup(folder.string(), printer(0x0C), config, list);
  EXPECT_EQ(ReadFile(folder / "Brdadr"), "[SYSTEM]\r\nUDP00=10.1.2.3\r\n");
}

class PrinterList : public testsupport::ToolboxFixture {};

TEST_F(PrinterList, RowsAreAddedOnceAndFollowAnAddressChange) {
  WindowRef w = NewTestWindow(Rect{40, 40, 300, 560}, "list");
  const Rect r{10, 10, 200, 500};
  instTbl.printList = CLNew(w, &r, Point{15, 150}, false, true, false);
  ASSERT_TRUE(instTbl.printList);
  for (const char* title : {"Name", "IP", "Ethernet"}) CLAddColumn(instTbl.printList, testsupport::PStr(title), 150, 0);
  PBOXinfo table[kFoundBoxMax] = {};
  for (int i = 0; i < 2; ++i) {
    table[i].pbi_inuse = 1;
    std::memcpy(table[i].pbi_machine_name, i ? "Second" : "First", 6);
    table[i].pbi_nodeaddr[5] = UInt8(i + 1);
    table[i].pbi_ip_addr = 0x7F000001 + UInt32(i);
  }
  auto cell = [](SInt16 row, SInt16 column) {
    Str255 p = {0};
    SInt16 len = sizeof p - 1;
    CLGetCellOne(instTbl.printList, p, &len, Cell{row, column});
    return std::string(reinterpret_cast<const char*>(p + 1), p[0]);
  };
  std::lock_guard<std::mutex> hold(Found_Box_Lock());
  EXPECT_EQ(Build_Printer_List(table, kFoundBoxMax, 2), 2);
  EXPECT_EQ(Build_Printer_List(table, kFoundBoxMax, 2), 0);
  EXPECT_EQ(cell(1, 0), "Second");
  EXPECT_EQ(cell(1, 1), "127.0.0.2");
  EXPECT_EQ(cell(1, 2), "00:00:00:00:00:02");
  EXPECT_EQ(CLGetReference(instTbl.printList, SInt16(1)), 1);
  // The new address is shown at once.
  auto pixels = [&] {
    std::vector<UInt32> out;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) out.push_back(tb::PortPixel(GetWindowPort(w), x, y));
    return out;
  };
  const std::vector<UInt32> before = pixels();
  table[1].pbi_ip_addr = 0x7F000009;
  EXPECT_EQ(Build_Printer_List(table, kFoundBoxMax, 0), 0);
  EXPECT_EQ(CLGetCount(instTbl.printList), 2);
  EXPECT_EQ(cell(1, 1), "127.0.0.9");
  EXPECT_NE(pixels(), before);
  CLDispose(instTbl.printList);
  instTbl.printList = nullptr;
}

TEST_F(PrinterList, ADeletedRowHandsTheSelectionToTheNextOrTheLast) {
  WindowRef w = NewTestWindow(Rect{40, 40, 300, 560}, "list");
  const Rect r{10, 10, 200, 500};
  CLIST_DATA* list = CLNew(w, &r, Point{15, 480}, false, true, false);
  ASSERT_TRUE(list);
  CLAddColumn(list, testsupport::PStr(""), 480, kCLNoHeader | kCLSortText);
  for (SInt16 row = 0; row < 3; ++row) Set_Page_List_Text(list, row, 0, "row " + std::to_string(row));
  EXPECT_EQ(Page_List_Selected(list), -1);
  EXPECT_EQ(Page_List_Selected(nullptr), -1);
  CLSetSelect(list, Cell{1, 0}, true, false);
  Delete_Page_List_Row(list, 1);  // the row behind moves up and is selected
  EXPECT_EQ(Page_List_Selected(list), 1);
  EXPECT_EQ(Page_List_Text(list, 1, 0), "row 2");
  Delete_Page_List_Row(list, 1);  // the last gone: the new last
  EXPECT_EQ(Page_List_Selected(list), 0);
  EXPECT_EQ(Page_List_Text(list, 0, 0), "row 0");
  Delete_Page_List_Row(list, 0);  // none left, none selected
  EXPECT_EQ(CLGetCount(list), 0);
  EXPECT_EQ(Page_List_Selected(list), -1);
  EXPECT_EQ(Page_List_Text(list, 0, 0), "");
  CLDispose(list);
}

TEST(InstallerPolling, ABoxThatAnswersPollingGivesZero) {
  ScopedEnv ports("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str());
  tb::ReloadNetConfig();
  pboxemu::Emulator emu;
  emu.AddBox();
  std::string err;
  ASSERT_TRUE(emu.Start(&err)) << err;
  PBOXinfo box{};
  box.pbi_inuse = 1;
  box.pbi_ip_addr = emu.BoxAddress(0);
  EXPECT_EQ(PollToPBOX(&box), 0);
  EXPECT_EQ(PollToPBOX(nullptr), -1);
  bool polled = false;
  for (const auto& r : emu.Requests(0)) polled = polled || r.command == "POLLING";
  EXPECT_TRUE(polled);
  emu.Stop();
}

}  // namespace

// The settings: the preference file and "ConfigData" read back as written,
// by this tool and by the administration program's own code; the settings
// dialog's checks on both pages, Cancel and OK.
#include <sys/wait.h>

#include <cstdlib>

#include "506Q_Lib/DialogItems.h"
#include "common/PrefFile.h"
#include "FanctionLib/CList.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/memory.h"
#include "toolbox/quickdraw.h"
#include "toolbox/testdriver.h"
#include "upcaster_fixture.h"

namespace {

using namespace upctest;

std::vector<UInt8> ResourceOf(const fs::path& file, ResType type, SInt16 id, bool* present = nullptr) {
  std::vector<tb::ResourceEntry> entries;
  std::string bytes = testsupport::ReadFile(file);
  tb::ParseResourceFile(std::span<const UInt8>(reinterpret_cast<const UInt8*>(bytes.data()), bytes.size()), entries);
  if (present) *present = false;
  for (auto& e : entries)
    if (e.type == type && e.id == id) {
      if (present) *present = true;
      return e.data;
    }
  return {};
}

void SetText(DialogRef dialog, DialogItemIndex item, const char* text) {
  Handle h = nullptr;
  Get_Dialog_Item_Handle(dialog, item, &h);
  ASSERT_TRUE(h) << item;
  Str255 t;
  pstr::set(t, sizeof t, text);
  SetDialogItemText(h, t);
}

class Settings : public UpcasterTest {};

TEST_F(Settings, PreferenceFileRoundTripsAndIsMadeFromTheDefaults) {
  // No file yet: made from the application's own record, creator VMxf, no
  // version resource.
  upc::Get_Configuration();
  EXPECT_EQ(ConfigData.rcvWait, 2500);
  EXPECT_EQ(ConfigData.retry, 3);
  EXPECT_EQ(ConfigData.brAddr, 0xFFFFFFFFu);
  bool pver = true, tmpl = false;
  ResourceOf(PrefPath(), 'PVER', 129, &pver);
  ResourceOf(PrefPath(), 'TMPL', 128, &tmpl);
  EXPECT_FALSE(pver);
  EXPECT_TRUE(tmpl);

  ConfigData = CONFIGURATION{7000, -2, 4, 0x0A0B0CFFu, 1};
  ASSERT_EQ(upc::Set_Configuration(), noErr);
  const std::vector<UInt8> want = {0x1B, 0x58, 0xFF, 0xFE, 0x00, 0x04, 0x0A, 0x0B, 0x0C, 0xFF, 1, 0, 0, 0, 0, 0};
  EXPECT_EQ(ResourceOf(PrefPath(), 'CNFG', 128), want);
  ConfigData = CONFIGURATION{};
  upc::Get_Configuration();
  EXPECT_EQ(ConfigData.rcvWait, 7000);
  EXPECT_EQ(ConfigData.datWait, -2);
  EXPECT_EQ(ConfigData.retry, 4);
  EXPECT_EQ(ConfigData.brAddr, 0x0A0B0CFFu);
  EXPECT_EQ(ConfigData.oldVerCompati, 1);

  // A record too short to hold every field: the application's defaults,
  // nothing read past its end.
  FSSpec fss;
  ASSERT_TRUE(Pref_Name_File_Spec(1, &fss));
  SInt16 ref = FSpOpenResFile(&fss, fsRdWrPerm);
  ASSERT_GE(ref, 0);
  UseResFile(ref);
  if (Handle old = Get1Resource('CNFG', 128)) {
    RemoveResource(old);
    DisposeHandle(old);
  }
  Handle shortRecord = NewHandleClear(8);
  AddResource(shortRecord, 'CNFG', 128, reinterpret_cast<const UInt8*>("\0"));
  WriteResource(shortRecord);
  CloseResFile(ref);
  upc::Get_Configuration();
  EXPECT_EQ(ConfigData.rcvWait, 2500);
  EXPECT_EQ(ConfigData.retry, 3);
}

TEST_F(Settings, FilesWrittenByTheAdministrationProgramAreReadAsTheyStand) {
  const std::string admin = std::string(std::getenv("VEMO_BUILD_DIR")) +
                            "/suite/VEMO-ADMIN.app/Contents/Resources/VEMO-ADMIN.rsrc";
  const std::string cmd = "ASAN_OPTIONS=detect_leaks=0 " + std::string(UPC_ADMIN_WRITER) + " '" + admin + "' 9000 2 0xC0A80AFF 1 10.1.2.255 192.168.7.255";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  upc::Get_Configuration();
  EXPECT_EQ(ConfigData.rcvWait, 5000);  // the administration program caps it
  EXPECT_EQ(ConfigData.datWait, 5);
  EXPECT_EQ(ConfigData.retry, 2);
  EXPECT_EQ(ConfigData.brAddr, 0xC0A80AFFu);
  EXPECT_EQ(ConfigData.oldVerCompati, 1);
  upc::Get_BroadcastAddr();
  ASSERT_EQ(upc::EnvInfo.tcp_count, 3u);
  EXPECT_STREQ(upc::EnvInfo.broadcast[0], "192.168.10.255");
  EXPECT_STREQ(upc::EnvInfo.broadcast[1], "10.1.2.255");
  EXPECT_STREQ(upc::EnvInfo.broadcast[2], "192.168.7.255");
  // Written back by this tool, the administration program's file keeps
  // what this tool does not own.
  ConfigData.retry = 5;
  ASSERT_EQ(upc::Set_Configuration(), noErr);
  bool pver = false;
  ResourceOf(PrefPath(), 'PVER', 129, &pver);
  EXPECT_TRUE(pver);
}

TEST_F(Settings, BroadcastListStopsAtTheFirstGapAndNeverHoldsEntryZero) {
  testsupport::WriteFile(ConfigDataPath(),
                         "[SYSTEM]\r\nUDP00=10.0.0.255\r\nUDP01=10.0.1.255\r\nUDP03=10.0.3.255\r\n");
  upc::Get_BroadcastAddr();
  EXPECT_EQ(upc::EnvInfo.tcp_count, 3u);
  upc::Save_Status_Data(&upc::EnvInfo);
  EXPECT_EQ(testsupport::ReadFile(ConfigDataPath()), "[SYSTEM]\r\nUDP00=10.0.0.255\r\nUDP01=10.0.1.255\r\n");
  // A value too long for an entry is cut, never overrun.
  testsupport::WriteFile(ConfigDataPath(), "[SYSTEM]\r\nUDP00=123.123.123.123xxxxxxxx\r\n");
  upc::Get_BroadcastAddr();
  EXPECT_STREQ(upc::EnvInfo.broadcast[1], "123.123.123.123xxxx");
}

class SettingsDialog : public UpcasterTest {
 protected:
  void SetUp() override {
    UpcasterTest::SetUp();
    testsupport::WriteFile(ConfigDataPath(), "[SYSTEM]\r\nUDP00=10.0.0.255\r\n");
    upc::Get_Configuration();
    upc::Get_BroadcastAddr();
    before_ = testsupport::ReadFile(PrefPath());
    ASSERT_EQ(upc::Open_Configuration(), 1);
    dlg_ = upc::Config_Dialog();
    ASSERT_TRUE(dlg_);
  }
  void TearDown() override {
    if (upc::Config_Dialog()) upc::Handle_Config_Select_Item(upc::Config_Dialog(), nullptr, 2);
    UpcasterTest::TearDown();
  }
  void Press(DialogItemIndex item) { upc::Handle_Config_Select_Item(dlg_, nullptr, item); }
  void Add(const char* text) {
    SetText(dlg_, 4, text);
    Press(6);
  }
  std::string LastAlert() { return gAlerts.empty() ? "" : gAlerts.back().text; }
  int Rows() { return CLGetCount(upc::Config_List()); }

  DialogRef dlg_ = nullptr;
  std::string before_;
};

TEST_F(SettingsDialog, TcpPageRefusesBadDuplicateAndSeventeenthAddresses) {
  struct Case {
    const char* typed;
    const char* alert;  // "" none
    int rows;
  } cases[] = {
      {"10.0.0", "Enter Broadcast address correctly.", 1},
      {"0.0.0.0", "Enter Broadcast address correctly.", 1},
      {"256.1.1.1", "Enter Broadcast address correctly.", 1},
      {"010.0.0.255", "This address is already in the list.", 1},
      {"10.0.1.255xyz", "", 2},
      {"10.0.1.255", "This address is already in the list.", 2},
  };
  for (const Case& c : cases) {
    gAlerts.clear();
    Add(c.typed);
    EXPECT_EQ(LastAlert(), c.alert) << c.typed;
    EXPECT_EQ(Rows(), c.rows) << c.typed;
  }
  // What goes in is the address as parsed.
  Str255 cell;
  SInt16 len = sizeof cell;
  CLGetCellOne(upc::Config_List(), cell, &len, Cell{1, 0});
  EXPECT_EQ(pstr::str(cell), "10.0.1.255");

  for (int i = 2; i < 16; ++i) Add(("10.9.9." + std::to_string(i)).c_str());
  ASSERT_EQ(Rows(), 16);
  gAlerts.clear();
  Add("10.8.8.8");
  EXPECT_EQ(LastAlert(), "The list holds at most 16 addresses.");
  EXPECT_EQ(Rows(), 16);
  // Deleting one makes room again: a click on the fourth row, where it is
  // drawn (the list has no header), chooses it.
  Rect list;
  Get_Dialog_Item_Rect(dlg_, 5, &list);
  Point at{SInt16(list.top + 3 * 15 + 7), SInt16(list.left + 20)};
  {
    tb::PortSaver port(GetDialogPort(dlg_));
    LocalToGlobal(&at);
  }
  tb::ClickAt(at);
  EventRecord press{};
  ASSERT_TRUE(GetNextEvent(mDownMask, &press));
  upc::Handle_Config_Select_Item(dlg_, &press, 5);
  Press(7);
  EXPECT_EQ(Rows(), 15);
  for (short row = 0; row < Rows(); ++row) {
    Str255 text;
    SInt16 size = sizeof text;
    CLGetCellOne(upc::Config_List(), text, &size, Cell{row, 0});
    EXPECT_NE(pstr::str(text), "10.9.9.3") << "the clicked row is the one deleted";
  }
  gAlerts.clear();
  Add("10.8.8.8");
  EXPECT_TRUE(gAlerts.empty());
  EXPECT_EQ(Rows(), 16);
}

TEST_F(SettingsDialog, TimeoutPageNamesTheBadFieldOnOkFromEitherPage) {
  struct Case {
    const char* wait;
    const char* retry;
    const char* alert;
  } cases[] = {
      {"299", "3", "Enter Wait (ms) correctly."},   {"10001", "3", "Enter Wait (ms) correctly."},
      {"3x00", "3", "Enter Wait (ms) correctly."},  {"300", "0", "Enter Retries correctly."},
      {"10000", "6", "Enter Retries correctly."},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(upc::Config_Select_Tab(1), 1);
    SetText(dlg_, 6, c.wait);
    SetText(dlg_, 8, c.retry);
    // In view: OK names the field and the dialog stays.
    gAlerts.clear();
    Press(1);
    ASSERT_EQ(gAlerts.size(), 1u) << c.wait << " " << c.retry;
    EXPECT_EQ(gAlerts[0].id, kAlertInput);
    EXPECT_EQ(gAlerts[0].text, c.alert);
    ASSERT_TRUE(upc::Config_Dialog());
    // From the other page: the Timeout page comes back with the message.
    ASSERT_EQ(upc::Config_Select_Tab(0), 1);
    gAlerts.clear();
    Press(1);
    ASSERT_TRUE(upc::Config_Dialog());
    EXPECT_EQ(upc::Config_Page(), kConfigPageTimeout);
    ASSERT_EQ(gAlerts.size(), 1u);
    EXPECT_EQ(gAlerts[0].text, c.alert);
  }
  EXPECT_EQ(testsupport::ReadFile(PrefPath()), before_);
}

TEST_F(SettingsDialog, CancelRestoresEverythingAndOkWritesOnlyWhatChanged) {
  const CONFIGURATION conf = ConfigData;
  const BROAD_DATA env = upc::EnvInfo;
  const std::string list = testsupport::ReadFile(ConfigDataPath());
  Add("10.7.7.7");
  upc::Config_Select_Tab(1);
  SetText(dlg_, 6, "4000");
  SetText(dlg_, 8, "5");
  Press(7);  // a label: the values are taken at once
  EXPECT_EQ(ConfigData.rcvWait, 4000);
  Press(2);
  EXPECT_FALSE(upc::Config_Dialog());
  EXPECT_EQ(std::memcmp(&ConfigData, &conf, sizeof conf), 0);
  EXPECT_EQ(std::memcmp(&upc::EnvInfo, &env, sizeof env), 0);
  EXPECT_EQ(testsupport::ReadFile(PrefPath()), before_);
  EXPECT_EQ(testsupport::ReadFile(ConfigDataPath()), list);

  // OK without changes writes neither file.
  fs::remove(ConfigDataPath());
  ASSERT_EQ(upc::Open_Configuration(), 1);
  dlg_ = upc::Config_Dialog();
  Press(1);
  EXPECT_FALSE(upc::Config_Dialog());
  EXPECT_FALSE(fs::exists(ConfigDataPath()));
  EXPECT_EQ(testsupport::ReadFile(PrefPath()), before_);

  // OK with changes on both pages writes both; Return is OK.
  ASSERT_EQ(upc::Open_Configuration(), 1);
  dlg_ = upc::Config_Dialog();
  Add("10.7.7.7");
  upc::Config_Select_Tab(1);
  SetText(dlg_, 6, "6000");
  EventRecord ret{};
  ret.what = keyDown;
  ret.message = (kVK_Return << 8) | '\r';
  upc::Handle_Config_Key_Input(dlg_, &ret);
  EXPECT_FALSE(upc::Config_Dialog());
  EXPECT_EQ(testsupport::ReadFile(ConfigDataPath()), "[SYSTEM]\r\nUDP00=10.0.0.255\r\nUDP01=10.7.7.7\r\n");
  ConfigData = CONFIGURATION{};
  upc::Get_Configuration();
  EXPECT_EQ(ConfigData.rcvWait, 6000);
  // The key filter: digits, '.', arrows pass; letters beep and drop.
  ASSERT_EQ(upc::Open_Configuration(), 1);
  EventRecord key{};
  key.what = keyDown;
  key.message = (0x00 << 8) | 'a';
  EXPECT_FALSE(upc::Handle_Config_Key_Input(upc::Config_Dialog(), &key));
  key.message = (0x12 << 8) | '1';
  EXPECT_TRUE(upc::Handle_Config_Key_Input(upc::Config_Dialog(), &key));
}

}  // namespace

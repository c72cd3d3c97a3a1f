// The monitor's files, byte for byte: the settings record and files, the
// broadcast list, the status-data and status-sharing files, the alias and
// pointer files. The program's folder is a temporary bundle tree.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "common/AppGlobals.h"
#include "Monitor/MonitorConfig.h"
#include "Monitor/MonitorLogin.h"
#include "Monitor/ReplyDecode.h"
#include "Monitor/StartupFiles.h"
#include "Monitor/StatusData.h"
#include "pboxemu/monitor_replies.h"
#include "test_support.h"
#include "toolbox/gestalt.h"
#include "toolbox/loginitems.h"
#include "toolbox/resources.h"

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::Resource;
using testsupport::WriteFile;

namespace {

std::vector<UInt8> Packed(const CONFIGURATION& c) { return Pack_Configuration(&c); }

std::vector<UInt8> StrList(std::initializer_list<std::string> items) {
  std::vector<UInt8> d = {0, UInt8(items.size())};
  for (const std::string& s : items) {
    d.push_back(UInt8(s.size()));
    for (char c : s) d.push_back(UInt8(c));  // (a range insert trips a false warning of GCC 12 at -O2)
  }
  return d;
}

std::vector<UInt8> Version(UInt16 v) {
  std::vector<UInt8> d(256, 0);
  be::put16(d.data(), v);
  return d;
}

PBOXinfo Box(UInt8 last, UInt16 socket = 19541) {
  PBOXinfo b{};
  b.pbi_inuse = 1;
  b.pbi_hash = 0x1234;
  std::memcpy(b.pbi_machine_name, "PBOX-1", 6);
  std::memcpy(b.pbi_machine_type, "VEMOPLEX[C]", 11);
  b.pbi_netno = 0x01020304;
  const UInt8 mac[6] = {0x00, 0x80, 0x92, 0x0A, 0x0B, last};
  std::memcpy(b.pbi_nodeaddr, mac, 6);
  b.pbi_socket = socket;
  b.pbi_hopcount = 2;
  b.pbi_ip_addr = 0x7F000105;
  b.pbi_status = 0x0102;
  b.ddpEName.objStr[0] = 3;
  std::memcpy(b.ddpEName.objStr + 1, "Obj", 3);
  b.ddpABlock = {0x1234, 5, 6};
  b.protocol_Type_Num = 2;
  return b;
}

class MonitorFiles : public ::testing::Test {
 protected:
  MonitorFiles() : home_("HOME", (dir_ / "home").c_str()), config_("XDG_CONFIG_HOME", (dir_ / "config").c_str()) {
    fs::create_directories(dir_ / "home");
    WriteFile(dir_ / "VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR", "");
    tb::SetApplicationPath((dir_ / "VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR").string());
    defaults_ = Default_Configuration();
    defaults_.statUpdate = 5000;
    Appl_Rsrc_Fork_No = testsupport::OpenResourcesAsApplication(
        dir_ / "app.rsrc", {Resource('STR#', 136, StrList({"VEMO-MONITOR Preferences"})),
                            Resource('PVER', 128, Version(2)), Resource('CNFG', 128, Packed(defaults_))});
    WriteFile(dir_ / "Popmon.ini", "[MACSTR]\r\nFOLDER=SHARED-STATUS\r\n[MACSTR2]\r\nSDATANAME=MONITOR Data\r\n");
    std::snprintf(IniFileName, sizeof IniFileName, "%s", (dir_ / "Popmon.ini").c_str());
    ConfigData = Default_Configuration();
  }
  ~MonitorFiles() override {
    CloseResFile(Appl_Rsrc_Fork_No);
    Appl_Rsrc_Fork_No = 0;
    tb::SetApplicationPath("");
    IniFileName[0] = 0;
  }
  fs::path Beside(const std::string& name) { return dir_ / name; }

  testsupport::TempDir dir_;
  testsupport::ScopedEnv home_, config_;
  CONFIGURATION defaults_{};
};

}  // namespace

TEST(MonitorRecord, ConfigurationBytes) {
  CONFIGURATION c{};
  c.statUpdate = 0x1388;
  c.brAddr = SInt32(0xC0A801FFu);
  c.retry = -2;
  c.oldVerCompati = 1;
  c.activeErrWin = 2;
  c.popupCount = 8;
  c.popupFlag = 0xA5;
  c.monitorOption = 1;
  c.StartupFlag = 1;
  c.windowH = 0x0102;
  c.windowV = 0x0304;
  c.Protocol_1 = 1;
  c.Protocol_2 = 1;
  c.choiceNetworkzone = 1;
  std::strcpy(c.SearchZoneName, "Zone");
  c.soundOpt = 1;
  std::vector<UInt8> want(64, 0);
  const std::map<int, UInt8> set = {{0, 0x13}, {1, 0x88}, {4, 0xC0}, {5, 0xA8}, {6, 0x01},  {7, 0xFF}, {8, 0xFF},
                                    {9, 0xFE}, {11, 1},   {13, 2},   {14, 8},   {16, 0xA5}, {17, 1},   {18, 1},
                                    {20, 1},   {21, 2},   {22, 3},   {23, 4},   {24, 1},    {25, 1},   {26, 1},
                                    {27, 'Z'}, {28, 'o'}, {29, 'n'}, {30, 'e'}, {63, 1}};
  for (auto [at, v] : set) want[std::size_t(at)] = v;
  EXPECT_EQ(Packed(c), want);
  CONFIGURATION back{};
  ASSERT_TRUE(UnpackConfiguration(want, back));
  EXPECT_EQ(Packed(back), want);
  // A short record reads as the defaults.
  EXPECT_FALSE(UnpackConfiguration(std::span<const UInt8>(want.data(), 63), back));
  EXPECT_EQ(Packed(back), Packed(Default_Configuration()));
  // A zone name that fills its field still ends inside it.
  std::memset(c.SearchZoneName, 'z', sizeof c.SearchZoneName);
  EXPECT_EQ(Packed(c)[62], 0);
}

TEST_F(MonitorFiles, PreferenceFileAndDamagedRecords) {
  Get_Configuration();
  EXPECT_EQ(ConfigData.statUpdate, 5000);  // the program's own record
  // A short 'CNFG' of the same version gives the defaults.
  fs::path pref = dir_ / "config/vemo/Preferences/VEMO-MONITOR Preferences";
  ASSERT_TRUE(fs::exists(pref));
  testsupport::WriteResourceFile(pref,
                                 {Resource('PVER', 128, Version(2)), Resource('CNFG', 128, std::vector<UInt8>(10, 7))});
  Get_Configuration();
  CONFIGURATION want = Default_Configuration();
  std::memcpy(want.SearchZoneName, ConfigData.SearchZoneName, sizeof want.SearchZoneName);  // the own zone
  EXPECT_EQ(Packed(ConfigData), Packed(want));
}

TEST_F(MonitorFiles, PrinterSettingsMerge) {
  PBOXinfo old = Box(0x0C, 9);
  EXPECT_EQ(Settings_File_Name(old.pbi_nodeaddr), "VEMO-MONITOR-00;80;92;0A;0B;0C");
  ConfigData.statUpdate = 1000;
  // A first look creates the file from the program-wide record, with the
  // caller's search part (it names a protocol) and the box's own port.
  CONFIGURATION mine{};
  mine.Protocol_2 = 1;
  std::strcpy(mine.SearchZoneName, "Lab");
  Get_Monitor_Config(&old, &mine);
  EXPECT_EQ(mine.statUpdate, 1000);
  EXPECT_EQ(mine.oldVerCompati, 1);
  EXPECT_EQ(ConfigData.oldVerCompati, 0);  // never leaks into the defaults
  EXPECT_EQ(mine.Protocol_2, 1);
  FSSpec fss;
  ASSERT_TRUE(Monitor_File_Spec(Settings_File_Name(old.pbi_nodeaddr), &fss));
  CONFIGURATION stored{};
  ASSERT_GE(Load_Configuration(&fss, &stored), 0);
  EXPECT_EQ(Packed(stored), Packed(mine));

  // Both protocols off: the file's search part stays; its values win.
  ConfigData.statUpdate = 9000;
  CONFIGURATION none{};
  Get_Monitor_Config(&old, &none);
  EXPECT_EQ(none.statUpdate, 1000);
  EXPECT_EQ(none.Protocol_2, 1);
  EXPECT_STREQ(none.SearchZoneName, "Lab");
  // A new-version box of its own gets port 19541.
  PBOXinfo fresh = Box(0x0D);
  CONFIGURATION f{};
  Get_Monitor_Config(&fresh, &f);
  EXPECT_EQ(f.oldVerCompati, 0);

  // A file of another version is deleted and made anew.
  testsupport::WriteResourceFile(Beside(Settings_File_Name(old.pbi_nodeaddr)),
                                 {Resource('PVER', 128, Version(7)), Resource('CNFG', 128, Packed(defaults_))});
  EXPECT_EQ(Load_Configuration(&fss, &stored), -1);
  EXPECT_FALSE(fs::exists(Beside(Settings_File_Name(old.pbi_nodeaddr))));
  Set_Config_Data(&old, &mine, 1);
  EXPECT_GE(Load_Configuration(&fss, &stored), 0);
  Set_Config_Data(&old, &mine, 0);
  EXPECT_FALSE(fs::exists(Beside(Settings_File_Name(old.pbi_nodeaddr))));
}

TEST_F(MonitorFiles, BroadcastList) {
  ConfigData.brAddr = SInt32(0x7FFFFFFF);
  struct Case {
    const char* file;
    int count;
    const char* last;
  };
  const Case cases[] = {
      {nullptr, 1, "127.255.255.255"},
      {"[SYSTEM]\r\nUDP00=10.0.0.255\r\nUDP01=10.1.0.255\r\nUDP03=10.3.0.255\r\n", 3, "10.1.0.255"},
      {"[SYSTEM]\r\nUDP00=10.0.0.255\r\nUDP01=1234567890123456789012\r\nUDP02=1.2.3.4\r\n", 2, "10.0.0.255"},
      {"[OTHER]\r\nUDP00=10.0.0.255\r\n", 1, "127.255.255.255"},
  };
  for (const Case& c : cases) {
    fs::remove(Beside("Brdadr"));
    if (c.file) WriteFile(Beside("Brdadr"), c.file);
    Get_BroadcastAddr();
    EXPECT_EQ(EnvInfo.tcp_count, c.count) << (c.file ? c.file : "none");
    EXPECT_STREQ(EnvInfo.broadcast[c.count - 1], c.last);
  }
  SETUPINFO full{};
  full.tcp_count = 17;
  std::string want = "[SYSTEM]\r\n";
  for (int k = 0; k < 17; ++k) {
    std::snprintf(full.broadcast[k], kBroadcastEntry, "10.0.%d.255", k);
    if (k)
      want += "UDP" + std::string(k - 1 < 10 ? "0" : "") + std::to_string(k - 1) + "=10.0." + std::to_string(k) +
              ".255\r\n";
  }
  WriteFile(Beside("Brdadr"), want + "UDP16=stale\r\n");
  EXPECT_EQ(Save_Broadcast_Data(&full), 1);
  EXPECT_EQ(ReadFile(Beside("Brdadr")), want);
  Get_BroadcastAddr();
  EXPECT_EQ(EnvInfo.tcp_count, 17);
  EXPECT_STREQ(EnvInfo.broadcast[0], "127.255.255.255");  // entry 0 is never written
  EXPECT_STREQ(EnvInfo.broadcast[16], "10.0.16.255");
}

TEST_F(MonitorFiles, StatusDataFileRoundTrip) {
  PBOXinfo box = Box(0x0C, 9);
  EXPECT_EQ(Status_Data_File_Name(box.pbi_nodeaddr), "VEMOMON-00;80;92;0A;0B;0C");
  EXPECT_EQ(Save_Status_DataEx(&box), 1);
  std::string bytes = ReadFile(Beside("VEMOMON-00;80;92;0A;0B;0C"));
  UInt8 want[kPBOXRecordFileSize];
  PackPBOXRecord(box, want);
  ASSERT_EQ(bytes.size(), kPBOXRecordFileSize);
  EXPECT_EQ(std::memcmp(bytes.data(), want, sizeof want), 0);
  std::vector<UInt8> read;
  ASSERT_TRUE(Load_Status_Data("VEMOMON-00;80;92;0A;0B;0C", read));
  PBOXinfo back{};
  UInt8 oldVersion = 0;
  EXPECT_EQ(Open_Infomation_File(&back, read, &oldVersion), 1);
  EXPECT_EQ(oldVersion, 1);
  UInt8 again[kPBOXRecordFileSize];
  PackPBOXRecord(back, again);
  EXPECT_EQ(std::memcmp(again, want, sizeof want), 0);
  std::vector<UInt8> empty(kPBOXinfoPackedSize, 0);
  EXPECT_EQ(Open_Infomation_File(&back, empty, &oldVersion), 0);
  EXPECT_EQ(back.pbi_inuse, 0);
  EXPECT_EQ(Open_Infomation_File(&back, std::span<const UInt8>(want, 50), &oldVersion), 0);
}

namespace {

// The held-job manager's reading of a status-sharing file: keys by their
// first occurrence in [STATUS].
std::map<std::string, int> ReadShared(const std::string& text) {
  std::map<std::string, int> ids;
  bool inStatus = false;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 2;
    if (!line.empty() && line[0] == '[') inStatus = line == "[STATUS]";
    std::size_t eq = line.find('=');
    if (inStatus && eq != std::string::npos)
      ids.emplace(line.substr(0, eq), std::stoi(line.substr(eq + 1), nullptr, 16));
  }
  return ids;
}

std::vector<UInt8> Realigned(bool plum7, const pboxemu::PrinterStatus& st, std::size_t* dataLen) {
  std::vector<UInt8> reply = pboxemu::StatusReply(plum7, st);
  std::vector<UInt8> buf(1024, 0);
  std::copy(reply.begin(), reply.end(), buf.begin());
  UInt16 len = 0;
  short kind = ChkRecvCmd(buf.data(), reply.size(), &len);
  std::vector<UInt8> data(buf.begin() + 13, buf.end());
  Set_Macintosh_Memory(data);
  if (kind == kReplyPlum7Stat) Convert_Status(data);
  *dataLen = len;
  return data;
}

}  // namespace

TEST_F(MonitorFiles, StatusSharingFile) {
  pboxemu::PrinterStatus st = pboxemu::StatusForState(pboxemu::PrinterState::Ready, 4);
  for (int i = 0; i < 256; ++i) st.s[std::size_t(i)] = UInt8(i * 7);
  st.s[14] = 0x08;
  st.s[15] = 0x08;
  st.s[49] = 0x20;
  struct Case {
    bool plum7;
    std::size_t len;  // 0: as sent
    std::size_t lines;
  };
  for (Case c : {Case{false, 0, 254}, Case{true, 0, 255}, Case{false, 24, 0}, Case{false, 20, 0}, Case{true, 5000, 256},
                 Case{false, 130, 107}}) {
    std::size_t dataLen = 0;
    std::vector<UInt8> data = Realigned(c.plum7, st, &dataLen);
    if (c.len) dataLen = c.len;
    std::string text = Set_Stat_Com_Info(data, dataLen, c.plum7 ? kReplyPlum7Stat : kReplyQsvDStat);
    EXPECT_EQ(text.rfind("[Version]\r\nNIC=NIC 2.10\r\nTOOL=1.1.0 R1\r\n\r\n[STATUS]\r\n", 0), 0u);
    std::map<std::string, int> ids = ReadShared(text);
    EXPECT_EQ(ids.size(), c.lines) << c.plum7 << " " << c.len;
    if (c.lines > 100) {
      EXPECT_EQ(ids.count("ID100"), 1u);
      EXPECT_EQ(ids["ID13"], st.s[13]);
      EXPECT_EQ(ids["ID14"] & 0x08, 0x08);  // sorter
      EXPECT_EQ(ids["ID15"] & 0x08, 0x08);  // stapler
      EXPECT_EQ(ids["ID38"], st.s[38]);
      EXPECT_EQ(ids["ID49"] & 0x20, 0x20);  // tape sorter
    }
  }

  // Written to the shared folder, replaced whole by a shorter text.
  PBOXinfo box = Box(0x0C);
  std::size_t dataLen = 0;
  std::vector<UInt8> data = Realigned(false, st, &dataLen);
  Save_Stat_Com_Data(&box, data, dataLen, kReplyQsvDStat);
  fs::path file = dir_ / "home/SHARED-STATUS/V0080920A0B0C.vsf";
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(ReadShared(ReadFile(file)).size(), 254u);
  Save_Stat_Com_Data(&box, data, 30, kReplyQsvDStat);
  EXPECT_EQ(ReadFile(file), Set_Stat_Com_Info(data, 30, kReplyQsvDStat));
  EXPECT_EQ(Delete_Stat_Com_Data(&box), 1);
  EXPECT_FALSE(fs::exists(file));
  // No file for an empty record.
  PBOXinfo empty{};
  Save_Stat_Com_Data(&empty, data, dataLen, kReplyQsvDStat);
  EXPECT_TRUE(fs::is_empty(dir_ / "home/SHARED-STATUS"));
}

TEST_F(MonitorFiles, AliasAndPointerFiles) {
  PBOXinfo a = Box(1), b = Box(2), c = Box(3);
  auto name = [](const PBOXinfo& p) { return Status_Data_File_Name(p.pbi_nodeaddr); };
  Save_Startup_Data(&a, 1);  // no file yet
  Save_Startup_Data(&b, 1);
  Save_Startup_Data(&c, 1);
  Save_Startup_Data(&b, 1);  // moves to the end
  EXPECT_EQ(ReadFile(Beside("Alias Data")),
            "[ALIAS]\r\nALIAS00=" + name(a) + "\r\nALIAS01=" + name(c) + "\r\nALIAS02=" + name(b) + "\r\n");
  Save_Startup_Data(&c, 0);
  EXPECT_EQ(Read_Startup_Data(), (std::vector<std::string>{name(a), name(b)}));
  Save_Startup_Data(&a, 0);
  Save_Startup_Data(&b, 0);
  EXPECT_EQ(ReadFile(Beside("Alias Data")), "[ALIAS]\r\n");
  // A gap ends the list.
  WriteFile(Beside("Alias Data"), "[ALIAS]\r\nALIAS00=x\r\nALIAS02=y\r\n");
  EXPECT_EQ(Read_Startup_Data(), std::vector<std::string>{"x"});

  EXPECT_EQ(Save_Status_Data(&a), 1);
  std::string ptr = ReadFile(Beside("MONITOR Data"));
  ASSERT_EQ(ptr.size(), kPointerFileSize);
  EXPECT_EQ(UInt8(ptr[0]), name(a).size());
  EXPECT_EQ(ptr.substr(1, name(a).size()), name(a));
  EXPECT_EQ(ptr.find_first_not_of('\0', 1 + name(a).size()), std::string::npos);
}

// The start-up program is listed while "Alias Data" names a printer, through
// either mechanism of the system; a hand-made entry is never touched and the
// list stays unlisted when it cannot be read.
TEST_F(MonitorFiles, TheLoginItemFollowsTheStartupChoice) {
  const fs::path startup = dir_ / "VEMO-MONITOR.app/Contents/VEMO-MONITOR Startup.app";
  WriteFile(startup / "Contents/MacOS/VEMO-MONITOR Startup", "");
  const fs::path autostart = dir_ / "config/autostart";
  const std::string foreignText = "[Desktop Entry]\nType=Application\nExec=/usr/bin/editor\n";
  WriteFile(autostart / "aaa-editor.desktop", foreignText);
  FSSpec app{};
  ASSERT_EQ(Get_Startup_App_Spec(&app), noErr);
  auto listed = [&] {
    std::vector<LoginItem> items;
    LIAECopyLoginItems(&items);
    int n = 0;
    for (const LoginItem& i : items) n += i.path == startup.string();
    return n;
  };
  for (SInt32 system : {0x1049, 0x1080}) {
    SCOPED_TRACE(system);
    tb::SetGestalt(gestaltSystemVersion, system);
    PBOXinfo a = Box(1), b = Box(2);
    EXPECT_EQ(Set_Startup_Data(&a, 1), 1);
    EXPECT_EQ(listed(), 1);
    const SInt32 index = Get_Login_Preferences(&app);
    EXPECT_EQ(index, 1) << "behind the hand-made entry";
    Set_Startup_Data(&a, 1);
    Set_Startup_Data(&b, 1);
    EXPECT_EQ(listed(), 1) << "listing again changes nothing";
    EXPECT_EQ(Set_Login_Preferences(&app, 1), index);
    Set_Startup_Data(&a, 0);
    EXPECT_EQ(listed(), 1) << "another printer still starts at login";
    Set_Startup_Data(&b, 0);
    EXPECT_EQ(listed(), 0);
    EXPECT_EQ(Set_Login_Preferences(&app, 0), -1);
    EXPECT_EQ(ReadFile(autostart / "aaa-editor.desktop"), foreignText);
  }
  // The login-items service is read up to ten times.
  tb::SetGestalt(gestaltSystemVersion, 0x1080);
  Set_Login_Preferences(&app, 1);
  tb::FailLoginItemListings(9);
  EXPECT_EQ(Get_Login_Preferences(&app), 1);
  tb::FailLoginItemListings(10);
  EXPECT_EQ(Get_Login_Preferences(&app), -1);
  tb::FailLoginItemListings(0);
  Set_Login_Preferences(&app, 0);
  tb::ResetGestalt();
  EXPECT_EQ(listed(), 0);
}

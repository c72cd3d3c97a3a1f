// The program's stored records and small utilities: the mode record and its
// file, the search settings record, the file-transfer tool's preference
// file, the broadcast list, the model text and the port list.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/AdminMode.h"
#include "Admin/SearchConfig.h"
#include "suite/SuiteNames.h"
#include "test_support.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/resources.h"

namespace {

using testsupport::PStr;

std::string builtResources() {
  return std::string(std::getenv("VEMO_BUILD_DIR")) + "/suite/VEMO-ADMIN.app/Contents/Resources/VEMO-ADMIN.rsrc";
}

class AdminFiles : public ::testing::Test {
 protected:
  // Each test has a Preferences folder of its own.
  AdminFiles() : config_("XDG_CONFIG_HOME", (home_ / "config").c_str()) {}

  void SetUp() override {
    tb::ResetResources();
    Appl_Rsrc_Fork_No = tb::OpenApplicationResources(builtResources());
    ASSERT_GE(Appl_Rsrc_Fork_No, 0);
    prefs = tb::PreferencesFolderPath();
    std::filesystem::create_directories(prefs);
  }
  void TearDown() override { tb::ResetResources(); }

  // The bytes of resource (type, id) of a resource file.
  std::vector<UInt8> resourceOf(const std::filesystem::path& file, ResType type, SInt16 id) {
    std::vector<tb::ResourceEntry> entries;
    std::string bytes = testsupport::ReadFile(file);
    EXPECT_EQ(tb::ParseResourceFile(std::span<const UInt8>(reinterpret_cast<const UInt8*>(bytes.data()),
                                                           bytes.size()),
                                    entries),
              noErr);
    for (auto& e : entries)
      if (e.type == type && e.id == id) return e.data;
    return {};
  }

  testsupport::TempDir home_;
  testsupport::ScopedEnv config_;
  std::string prefs;
};

TEST(AdminMode, RecordMarksOnlyTheAdministratorCode) {
  ADMIN_MODE a{}, b{}, user{};
  Set_Admin_Mode(true, &a);
  Set_Admin_Mode(true, &b);
  Set_Admin_Mode(false, &user);
  const UInt8 code[5] = {0x06, 0x13, 0x06, 0x61, 0x15};  // the marker masked
  EXPECT_EQ(std::memcmp(a.adminCode, code, 5), 0);
  EXPECT_EQ(std::memcmp(b.adminCode, code, 5), 0);
  EXPECT_EQ(a.reserved[9], 0);
  EXPECT_EQ(Get_Admin_Mode(&a), 1);
  EXPECT_EQ(Get_Admin_Mode(&user), 0);
  // Any flipped bit of the code means user mode; the filler does not count.
  for (int byte = 0; byte < 5; ++byte)
    for (int bit = 0; bit < 8; ++bit) {
      ADMIN_MODE m = a;
      m.adminCode[byte] ^= UInt8(1 << bit);
      EXPECT_EQ(Get_Admin_Mode(&m), 0) << byte << ":" << bit;
    }
  for (int byte = 5; byte < 16; ++byte) {
    ADMIN_MODE m = a;
    reinterpret_cast<UInt8*>(&m)[byte] ^= 0xFF;
    EXPECT_EQ(Get_Admin_Mode(&m), 1) << byte;
  }
  ADMIN_MODE plain{};
  std::memcpy(plain.adminCode, "MAPLE", 5);
  EXPECT_EQ(Get_Admin_Mode(&plain), 0);
}

TEST_F(AdminFiles, ModeFileRoundTripAndDamagedFiles) {
  PStr name(suite::kAdminModeName);
  for (bool mode : {true, false, true}) {
    UseResFile(Appl_Rsrc_Fork_No);
    Set_Administrator(name, kAdminCreator, mode);
    EXPECT_EQ(Get_Administrator(Appl_Rsrc_Fork_No, name), mode ? 1 : 0);
    EXPECT_EQ(CurResFile(), Appl_Rsrc_Fork_No);
  }
  const auto file = std::filesystem::path(prefs) / suite::kAdminModeName;
  // Replaced in one step: nothing of the new file's own name stays behind,
  // and a new file that cannot be made leaves the old mode in place.
  EXPECT_FALSE(std::filesystem::exists(file.string() + ".new"));
  testsupport::WriteFile(file.string() + ".new/in the way", "");
  Set_Administrator(name, kAdminCreator, false);
  EXPECT_EQ(Get_Administrator(Appl_Rsrc_Fork_No, name), 1);
  std::filesystem::remove_all(file.string() + ".new");
  const auto record = resourceOf(file, 'ADMN', 128);
  ASSERT_EQ(record.size(), kAdminModeSize);
  EXPECT_EQ(record[0], 0x06);
  EXPECT_EQ(record[15], 0);

  // A short record, a file without the resource, one that is no resource
  // file at all and no file: user mode, nothing crashes.
  testsupport::WriteResourceFile(file, {testsupport::Resource('ADMN', 128, std::vector<UInt8>{0x06, 0x13, 0x06})});
  EXPECT_EQ(Get_Administrator(Appl_Rsrc_Fork_No, name), 0);
  testsupport::WriteResourceFile(file, {testsupport::Resource('CNFG', 128, std::vector<UInt8>(16))});
  EXPECT_EQ(Get_Administrator(Appl_Rsrc_Fork_No, name), 0);
  testsupport::WriteFile(file, "not a resource file");
  EXPECT_EQ(Get_Administrator(Appl_Rsrc_Fork_No, name), 0);
  std::filesystem::remove(file);
  EXPECT_EQ(Get_Administrator(Appl_Rsrc_Fork_No, name), 0);
}

TEST(AdminConfig, RecordsAreByteExact) {
  CONFIGURATION c{60000, 3, 120, 0x7FFFFFFFu, 1, 1, 0, 1, "Zone A"};
  UInt8 rec[kConfigRecordSize];
  Pack_Config_Record(c, std::span<UInt8, kConfigRecordSize>(rec, kConfigRecordSize));
  const UInt8 head[14] = {0xEA, 0x60, 0x00, 0x03, 0x00, 0x78, 0x7F, 0xFF, 0xFF, 0xFF, 1, 1, 0, 1};
  EXPECT_EQ(std::memcmp(rec, head, 14), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(rec + 14)), "Zone A");
  EXPECT_EQ(rec[50], 0);
  EXPECT_EQ(rec[51], 0);
  CONFIGURATION back{};
  ASSERT_TRUE(Unpack_Config_Record(std::span<const UInt8>(rec, sizeof rec), back));
  EXPECT_EQ(back.rcvWait, 60000);
  EXPECT_EQ(back.pollTime, 120);
  EXPECT_STREQ(back.SearchZoneName, "Zone A");
  // A record cut short changes nothing.
  CONFIGURATION keep{1, 1, 20, 0, 0, 1, 0, 0, "*"};
  EXPECT_FALSE(Unpack_Config_Record(std::span<const UInt8>(rec, 51), keep));
  EXPECT_EQ(keep.pollTime, 20);

  // The file-transfer tool's record: the time-out is held to 5000 ms.
  UInt8 ftp[kFtpConfigSize];
  Pack_Ftp_Config(c, std::span<UInt8, kFtpConfigSize>(ftp, kFtpConfigSize));
  const UInt8 want[16] = {0x13, 0x88, 0, 5, 0, 3, 0x7F, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(ftp, want, 16), 0);

  SETUPINFO info{};
  info.tcp_count = 3;
  std::strcpy(info.broadcast[0], "255.255.255.255");
  std::strcpy(info.broadcast[1], "10.0.0.255");
  std::strcpy(info.broadcast[2], "192.168.1.255");
  const auto text = Build_Status_Data(info);
  EXPECT_EQ(std::string(text.begin(), text.end()), "[SYSTEM]\r\nUDP00=10.0.0.255\r\nUDP01=192.168.1.255\r\n");
}

TEST_F(AdminFiles, FileTransferPreferenceIsMadeFromTheTemplates) {
  ConfigData = CONFIGURATION{60000, 2, 60, 0x7F0000FFu, 0, 1, 0, 0, "*"};
  Set_Ftp_Configuration();
  const auto file = std::filesystem::path(prefs) / suite::kFtpPrefsName;
  const auto cnfg = resourceOf(file, 'CNFG', 128);
  ASSERT_EQ(cnfg.size(), kFtpConfigSize);
  EXPECT_EQ(cnfg[0], 0x13);  // 5000
  EXPECT_EQ(cnfg[1], 0x88);
  EXPECT_EQ(be::get32(cnfg.data() + 6), 0x7F0000FFu);
  EXPECT_EQ(resourceOf(file, 'PVER', 129).size(), 256u);
  EXPECT_FALSE(resourceOf(file, 'TMPL', 128).empty());
  // A file of another version is replaced.
  testsupport::WriteResourceFile(file, {testsupport::Resource('PVER', 129, std::vector<UInt8>{0, 9}),
                                        testsupport::Resource('CNFG', 128, std::vector<UInt8>(16, 0xEE))});
  Set_Ftp_Configuration();
  EXPECT_EQ(resourceOf(file, 'CNFG', 128)[2], 0);
  EXPECT_EQ(be::get16(resourceOf(file, 'PVER', 129).data()), 1);
}

TEST_F(AdminFiles, BroadcastListBesideTheBundles) {
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir / "suite/VEMO-ADMIN.app/Contents/MacOS");
  testsupport::WriteFile(dir / "suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN", "");
  tb::SetApplicationPath((dir / "suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN").string());
  const auto list = dir / "suite" / suite::kConfigDataName;
  // Keys 00 to 03 and 05: the list stops at the first missing key.
  testsupport::WriteFile(list, "[SYSTEM]\r\nUDP00=10.0.0.255\r\nUDP01=10.0.1.255\r\nUDP02=10.0.2.255\r\n"
                               "UDP03=10.0.3.255\r\nUDP05=10.0.5.255\r\n");
  ConfigData.brAddr = 0xFFFFFFFFu;
  Get_BroadcastAddr();
  EXPECT_EQ(EnvInfo.tcp_count, 5);
  EXPECT_STREQ(EnvInfo.broadcast[0], "255.255.255.255");
  EXPECT_STREQ(EnvInfo.broadcast[4], "10.0.3.255");

  // Written back only after a normal start; then exactly as read.
  OpenMode = 0;
  std::strcpy(EnvInfo.broadcast[4], "10.0.9.255");
  Save_Status_Data(&EnvInfo);
  EXPECT_NE(testsupport::ReadFile(list).find("UDP05"), std::string::npos);
  OpenMode = 1;
  Save_Status_Data(&EnvInfo);
  EXPECT_EQ(testsupport::ReadFile(list),
            "[SYSTEM]\r\nUDP00=10.0.0.255\r\nUDP01=10.0.1.255\r\nUDP02=10.0.2.255\r\nUDP03=10.0.9.255\r\n");
  tb::SetApplicationPath("");
}

TEST_F(AdminFiles, AStartByTheLaunchEventUsesAndDeletesItsOwnTemporaryFile) {
  PStr modeName(suite::kAdminModeName);
  UseResFile(Appl_Rsrc_Fork_No);
  Set_Administrator(modeName, kAdminCreator, true);
  std::strcpy(IniFileName, "/nonexistent/Admin.ini");
  OpenMode = 0;
  Get_Configuration();
  const auto temp = std::filesystem::path(prefs) / suite::kAdminTempPrefsName;
  EXPECT_TRUE(std::filesystem::exists(temp));
  EXPECT_EQ(ConfigData.pollTime, 60);  // the program's defaults
  Check_Configuration();
  EXPECT_FALSE(std::filesystem::exists(temp));
  // The installer's mode file is never the one deleted.
  EXPECT_EQ(Get_Administrator(Appl_Rsrc_Fork_No, modeName), 1);
  OpenMode = 1;
  std::filesystem::remove(std::filesystem::path(prefs) / suite::kAdminModeName);
}

TEST(AdminUtil, ModelTextAndPortList) {
  struct Case {
    const char* type;
    const char* model;
    UInt8 capability;
  };
  const Case cases[] = {
      {"VEMOPLEX[E]\0\0\0\0\x50", "QSV-E", 0x50},
      {"VEMOPLEX[C]\0\0\0\0\x10", "QSV-C", 0x10},
      {"VEMOPLEX  QSV-B\x40", "QSV-B", 0x40},
      {"VEMOPLEX  QSV-C\x50", "QSV-A", 0},
  };
  for (const Case& c : cases) {
    char model[8];
    EXPECT_EQ(GetVemoplexType(model, reinterpret_cast<const UInt8*>(c.type)), c.capability) << c.model;
    EXPECT_STREQ(model, c.model);
  }

  auto list = [](std::vector<std::string> names) {
    std::vector<UInt8> l(1 + 32 * names.size());
    l[0] = UInt8(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) std::memcpy(&l[1 + 32 * i], names[i].data(), names[i].size());
    return l;
  };
  for (auto names : {std::vector<std::string>{"system", "A", "B"}, {"A", "B", "system"}}) {
    const auto l = list(names);
    EXPECT_EQ(GetPortMax(l.data(), 32, long(l.size())), 2);
    short no = 0;
    EXPECT_EQ(GetPortNum(l.data(), 32, "B", &no, long(l.size())), 2);
    EXPECT_EQ(no, names[0] == "system" ? 3 : 2);
    char name[40];
    EXPECT_EQ(GetPortName(l.data(), 32, no, name, sizeof name, long(l.size())), 1);
    EXPECT_STREQ(name, "B");
  }
  // A count byte that claims more entries than arrived reads no further.
  auto l = list({"A"});
  l[0] = 200;
  EXPECT_EQ(GetPortMax(l.data(), 32, long(l.size())), 1);
}

}  // namespace

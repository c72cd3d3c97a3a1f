// Preference files: made from the templates, kept or replaced by version,
// saved big-endian, damaged files replaced, and per-printer files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "506Q_Lib/AppLocation.h"
#include "common/PrefFile.h"
#include "stub_globals.h"
#include "test_support.h"
#include "toolbox/files.h"
#include "toolbox/resources.h"

namespace fs = std::filesystem;
using testsupport::FileSpecOf;
using testsupport::Resource;
using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string Version(UInt16 v) {
  std::string s(256, '\0');
  s[0] = static_cast<char>(v >> 8);
  s[1] = static_cast<char>(v);
  return s;
}

std::string Names(std::initializer_list<std::string> items) {
  std::string out(2, '\0');
  out[1] = static_cast<char>(items.size());
  for (const auto& s : items) out += static_cast<char>(s.size()) + s;
  return out;
}

std::vector<tb::ResourceEntry> ReadEntries(const fs::path& p) {
  std::string bytes = ReadFile(p);
  std::vector<tb::ResourceEntry> out;
  EXPECT_EQ(tb::ParseResourceFile(
                std::span(reinterpret_cast<const UInt8*>(bytes.data()), bytes.size()), out),
            noErr);
  return out;
}

const tb::ResourceEntry* Find(const std::vector<tb::ResourceEntry>& es, ResType t, SInt16 id) {
  for (const auto& e : es)
    if (e.type == t && e.id == id) return &e;
  return nullptr;
}

std::string Bytes(Handle h) {
  return h ? std::string(*h, static_cast<std::size_t>(GetHandleSize(h))) : "<missing>";
}

std::string Data(const tb::ResourceEntry* e) {
  return e ? std::string(e->data.begin(), e->data.end()) : "<missing>";
}

// A program with its own resource file and a private Preferences folder.
class PrefFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallApp({Resource('STR#', 136, Names({"Test Prefs", "Test Temp Prefs"}), nullptr),
                Resource('CNFG', 128, "defaults!", "Config"),
                Resource('PVER', 128, Version(3), nullptr, resPurgeable),
                Resource('TMPL', 128, "\x07rcvWaitDWRD", "CNFG"),
                Resource('TMPL', 130, "t130", nullptr)});
  }
  void TearDown() override {
    tb::ResetResources();
    Appl_Rsrc_Fork_No = 0;
  }

  void InstallApp(const std::vector<tb::ResourceEntry>& entries) {
    tb::ResetResources();
    Appl_Rsrc_Fork_No = testsupport::OpenResourcesAsApplication(app, entries);
    ASSERT_GT(Appl_Rsrc_Fork_No, 0);
    appBytes = ReadFile(app);
  }

  // A preference file as an older or other program left it.
  void WritePref(const fs::path& p, const std::vector<tb::ResourceEntry>& entries) {
    testsupport::WriteResourceFile(p, entries);
  }

  TempDir tmp;
  ScopedEnv config{"XDG_CONFIG_HOME", (tmp / "config").c_str()};
  fs::path app = tmp / "App.rsrc";
  fs::path prefs = tmp / "config/vemo/Preferences";
  fs::path main = prefs / "Test Prefs";
  std::string appBytes;
};

TEST_F(PrefFiles, AMissingFileIsMadeFromTheProgramsTemplates) {
  SInt16 ref = Open_Pref_File();
  ASSERT_GT(ref, 0);
  EXPECT_EQ(CurResFile(), ref);
  EXPECT_EQ(Check_Preference_Version(ref), 0);
  CloseResFile(ref);
  auto es = ReadEntries(main);
  ASSERT_EQ(es.size(), 4u);
  EXPECT_EQ(Data(Find(es, 'CNFG', 128)), "defaults!");
  EXPECT_EQ(Find(es, 'CNFG', 128)->name, "Config");
  EXPECT_EQ(Find(es, 'PVER', 128)->attrs, resPurgeable);
  EXPECT_FALSE(Find(es, 'PVER', 128)->hasName);
  EXPECT_EQ(Find(es, 'TMPL', 128)->name, "CNFG");
  EXPECT_EQ(Data(Find(es, 'TMPL', 130)), "t130");
  EXPECT_EQ(Find(es, 'STR#', 136), nullptr);
  FSSpec fss = FileSpecOf(main);
  FInfo info{};
  ASSERT_EQ(FSpGetFInfo(&fss, &info), noErr);
  if (info.fdType != 0x3F3F3F3F) {  // where extended attributes are kept
    EXPECT_EQ(info.fdType, 'pref');
    EXPECT_EQ(info.fdCreator, 'VMxm');
  }
  EXPECT_EQ(ReadFile(app), appBytes);
}

TEST_F(PrefFiles, VersionsDecideWhetherAFileIsKept) {
  struct Case {
    const char* what;
    bool appHasVersion;
    int fileVersion;  // -1: no 'PVER' in the file
    bool kept;
  } cases[] = {
      {"same version", true, 3, true},
      {"other version", true, 2, false},
      {"file without version", true, -1, false},
      {"neither has a version", false, -1, true},
      {"program without version, file 0", false, 0, true},
      {"program without version, file 1", false, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<tb::ResourceEntry> appEntries = {Resource('STR#', 136, Names({"Test Prefs"}), nullptr),
                                                 Resource('CNFG', 128, "defaults!", "Config")};
    if (c.appHasVersion) appEntries.push_back(Resource('PVER', 128, Version(3), nullptr));
    InstallApp(appEntries);
    std::vector<tb::ResourceEntry> file = {Resource('CNFG', 128, "user's", "Config")};
    if (c.fileVersion >= 0)
      file.push_back(Resource('PVER', 128, Version(static_cast<UInt16>(c.fileVersion)), nullptr));
    WritePref(main, file);
    SInt16 ref = Open_Pref_File();
    ASSERT_GT(ref, 0);
    CloseResFile(ref);
    EXPECT_EQ(Data(Find(ReadEntries(main), 'CNFG', 128)), c.kept ? "user's" : "defaults!");
  }
}

TEST_F(PrefFiles, AShortVersionResourceCountsAsZero) {
  WritePref(main, {Resource('PVER', 128, "\x03", nullptr)});
  FSSpec fss = FileSpecOf(main);
  SInt16 ref = FSpOpenResFile(&fss, fsRdPerm);
  ASSERT_GT(ref, 0);
  EXPECT_EQ(Check_Preference_Version(ref), 1);
  EXPECT_EQ(CurResFile(), ref);
  CloseResFile(ref);
}

TEST_F(PrefFiles, SetConfigurationReplacesTheRecordBigEndian) {
  ConfigData = CONFIGURATION{500, 0x1234, 0xC0A80001, 1};
  ASSERT_EQ(Set_Configuration(), noErr);
  EXPECT_EQ(CurResFile(), Appl_Rsrc_Fork_No);
  auto es = ReadEntries(main);
  const auto* c = Find(es, 'CNFG', 128);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Data(c), std::string("\x01\xF4\x12\x34\xC0\xA8\x00\x01\x01", 9));
  EXPECT_EQ(c->name, "Config");
  EXPECT_EQ(es.size(), 4u);
  // The file was closed: opening it again reads the new record.
  ConfigData.rcvWait = 7;
  ASSERT_EQ(Set_Configuration(), noErr);
  EXPECT_EQ(Data(Find(ReadEntries(main), 'CNFG', 128)).substr(0, 2), std::string("\x00\x07", 2));
  EXPECT_EQ(ReadFile(app), appBytes);
}

TEST_F(PrefFiles, ASaveWithoutAFileWritesNothing) {
  // The Preferences folder cannot be made: a plain file stands in its way.
  WriteFile(tmp / "config/vemo", "in the way");
  ConfigData = CONFIGURATION{1, 2, 3, 4};
  EXPECT_EQ(Open_Pref_File(), -1);
  EXPECT_NE(Set_Configuration(), noErr);
  EXPECT_EQ(CurResFile(), Appl_Rsrc_Fork_No);
  EXPECT_EQ(ReadFile(app), appBytes);
  EXPECT_EQ(Bytes(Get1Resource('CNFG', 128)), "defaults!");
}

TEST_F(PrefFiles, WithoutAFileNameNothingIsTouched) {
  InstallApp({Resource('CNFG', 128, "defaults!", "Config")});
  fs::create_directories(prefs);
  EXPECT_EQ(Open_Pref_File(), -1);
  EXPECT_EQ(Temp_Pref_File(), -1);
  EXPECT_NE(Set_Configuration(), noErr);
  EXPECT_TRUE(fs::is_directory(prefs));
  EXPECT_TRUE(fs::is_empty(prefs));
}

TEST_F(PrefFiles, ADamagedFileIsReplacedByTheDefaults) {
  WriteFile(main, "garbage, not a resource file");
  SInt16 ref = Open_Pref_File();
  ASSERT_GT(ref, 0);
  CloseResFile(ref);
  EXPECT_EQ(Data(Find(ReadEntries(main), 'CNFG', 128)), "defaults!");

  const fs::path printer = tmp / "Monitor/Printer-1";
  WriteFile(printer, "garbage");
  FSSpec fss = FileSpecOf(printer);
  EXPECT_EQ(Open_MonitorPref_File(&fss), -1);
  ConfigData = CONFIGURATION{9, 9, 9, 9};
  ASSERT_EQ(Save_Configuration(&fss, &ConfigData), noErr);
  EXPECT_EQ(Data(Find(ReadEntries(printer), 'CNFG', 128)).size(), 9u);
}

TEST_F(PrefFiles, AGoodFileIsNeverReplacedByCreate) {
  WritePref(main,
            {Resource('CNFG', 128, "user's", "Config"), Resource('PVER', 128, Version(3), nullptr)});
  FSSpec fss = FileSpecOf(main);
  EXPECT_EQ(Create_Pref_File(&fss), -1);
  EXPECT_EQ(Data(Find(ReadEntries(main), 'CNFG', 128)), "user's");
  fs::create_directories(prefs / "Folder");
  fss = FileSpecOf(prefs / "Folder");
  EXPECT_EQ(Create_Pref_File(&fss), -1);
  EXPECT_TRUE(fs::is_directory(prefs / "Folder"));
}

TEST_F(PrefFiles, PerPrinterFiles) {
  const fs::path printer = tmp / "Monitor/Printer-1";
  fs::create_directories(printer.parent_path());
  FSSpec fss = FileSpecOf(printer);
  EXPECT_EQ(Open_MonitorPref_File(&fss), -1);  // missing
  EXPECT_FALSE(fs::exists(printer));

  CONFIGURATION record{100, 200, 0x7F000001, 0};
  ASSERT_EQ(Save_Configuration(&fss, &record), noErr);
  EXPECT_EQ(CurResFile(), Appl_Rsrc_Fork_No);
  auto es = ReadEntries(printer);
  EXPECT_EQ(Data(Find(es, 'CNFG', 128)), std::string("\x00\x64\x00\xC8\x7F\x00\x00\x01\x00", 9));
  EXPECT_EQ(es.size(), 4u);

  SInt16 ref = Open_MonitorPref_File(&fss);
  ASSERT_GT(ref, 0);
  CloseResFile(ref);

  record.rcvWait = 1;
  ASSERT_EQ(Save_Configuration(&fss, &record), noErr);
  EXPECT_EQ(Data(Find(ReadEntries(printer), 'CNFG', 128)).substr(0, 2), std::string("\x00\x01", 2));

  WritePref(printer, {Resource('CNFG', 128, "old", nullptr), Resource('PVER', 128, Version(1), nullptr)});
  EXPECT_EQ(Open_MonitorPref_File(&fss), -1);  // outdated: deleted
  EXPECT_FALSE(fs::exists(printer));
  EXPECT_EQ(CurResFile(), Appl_Rsrc_Fork_No);
}

TEST_F(PrefFiles, TheSecondFileSkipsTheVersionCheck) {
  const fs::path temp = prefs / "Test Temp Prefs";
  WritePref(temp, {Resource('CNFG', 128, "older", nullptr), Resource('PVER', 128, Version(1), nullptr)});
  SInt16 ref = Temp_Pref_File();
  ASSERT_GT(ref, 0);
  EXPECT_EQ(Bytes(Get1Resource('CNFG', 128)), "older");
  CloseResFile(ref);
  fs::remove(temp);
  ref = Temp_Pref_File();
  ASSERT_GT(ref, 0);
  EXPECT_EQ(Bytes(Get1Resource('CNFG', 128)), "defaults!");
  CloseResFile(ref);
}

// Makes a folder's entries undeletable: by permissions, or for root by the
// append-only flag (where the file system has one).
bool Undeletable(const fs::path& dir, bool on) {
  if (geteuid() != 0) {
    fs::permissions(dir, on ? fs::perms(0555) : fs::perms(0755));
    return true;
  }
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? (flags | FS_APPEND_FL) : (flags & ~FS_APPEND_FL);
  ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  ::close(fd);
  return ok;
}

TEST_F(PrefFiles, AnOutdatedFileThatCannotBeDeletedGivesNoFile) {
  WritePref(main, {Resource('CNFG', 128, "user's", nullptr), Resource('PVER', 128, Version(1), nullptr)});
  if (!Undeletable(prefs, true)) GTEST_SKIP() << "cannot protect a folder here";
  SInt16 ref = Open_Pref_File();
  ConfigData = CONFIGURATION{1, 2, 3, 4};
  OSErr saved = Set_Configuration();
  Undeletable(prefs, false);
  EXPECT_EQ(ref, -1);
  EXPECT_NE(saved, noErr);
  EXPECT_EQ(Data(Find(ReadEntries(main), 'CNFG', 128)), "user's");
  EXPECT_EQ(CurResFile(), Appl_Rsrc_Fork_No);
  EXPECT_EQ(ReadFile(app), appBytes);
}

TEST(PrefHelpers, ResourceTypesFromText) {
  EXPECT_EQ(ResType_Char_To_Bin("CNFG"), 0x434E4647u);
  EXPECT_EQ(ResType_Char_To_Bin("STR#"), ResType('STR#'));
  EXPECT_EQ(ResType_Char_To_Bin("CNFGX"), ResType('CNFG'));
  EXPECT_EQ(ResType_Char_To_Bin("STR"), ResType('STR '));
  EXPECT_EQ(ResType_Char_To_Bin(""), ResType('    '));
  EXPECT_EQ(ResType_Char_To_Bin(nullptr), 0u);
}

TEST(PrefHelpers, ApplicationPathAndLocation) {
  TempDir tmp;
  WriteFile(tmp / "Prog.app/Contents/MacOS/Prog", "");
  ScopedEnv env("TOOLBOX_APP_PATH", (tmp / "Prog.app/Contents/MacOS/Prog").c_str());
  FSSpec app;
  ASSERT_EQ(GetAppLocation(&app), noErr);
  EXPECT_EQ(pstr::str(app.name), "Prog");
  EXPECT_EQ(Get_Application_Path(&app), (tmp / "Prog.app/Contents/MacOS/Prog").string());
  FSSpec data;
  Str255 name;
  pstr::set(name, sizeof name, "::::ConfigData");
  EXPECT_EQ(FSMakeFSSpec(app.vRefNum, app.parID, name, &data), fnfErr);
  EXPECT_EQ(Get_Application_Path(&data), (tmp / "ConfigData").string());

  std::string deep = tmp.path().string();
  while (deep.size() < 4100) deep += "/" + std::string(200, 'd');
  FSSpec far{};
  far.vRefNum = -1;
  far.parID = tb::DirIDForPath(deep);  // no such folder can exist, but its id can
  pstr::set(far.name, sizeof far.name, "x");
  EXPECT_EQ(Get_Application_Path(&far), "");
  EXPECT_EQ(Get_Application_Path(nullptr), "");
}

}  // namespace

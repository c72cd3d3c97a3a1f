// The File Manager: partial and full paths, bad names, folder ids, the
// program's own place, data forks, creating and renaming, and Finder
// information.
#include "toolbox/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "test_support.h"

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string P(const FSSpec& fss) {
  std::string path;
  EXPECT_EQ(tb::SpecToPath(fss, path), noErr);
  return path;
}

using testsupport::PStr;

bool XattrsWork(const fs::path& dir) {
  std::string probe = (dir / ".xattr-probe").string();
  WriteFile(probe, "");
  bool ok = ::setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
  fs::remove(probe);
  return ok;
}

// A program bundle in a temporary folder, with the shared data file beside it.
class BundleTree : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::path(tmp.path().string());
    WriteFile(root / "Prog.app/Contents/MacOS/Prog", "exe");
    WriteFile(root / "Prog.app/Contents/PkgInfo", "APPLVMxa");
    WriteFile(root / "Prog.app/Contents/Resources/English/Text.ini", "[A]\r");
    WriteFile(root / "ConfigData", "data");
    tb::SetApplicationPath((root / "Prog.app/Contents/MacOS/Prog").string());
    ASSERT_EQ(tb::GetApplicationSpec(&app), noErr);
  }
  void TearDown() override { tb::SetApplicationPath(""); }

  TempDir tmp;
  fs::path root;
  FSSpec app{};
};

TEST_F(BundleTree, PartialPathsFromTheProgramsFolder) {
  EXPECT_EQ(pstr::str(app.name), "Prog");
  const std::string r = root.string();
  struct Case {
    const char* name;
    OSErr err;
    std::string path;  // expected path when a file spec is made
  } cases[] = {
      {"::::ConfigData", noErr, r + "/ConfigData"},
      {"::Resources:English:Text.ini", noErr, r + "/Prog.app/Contents/Resources/English/Text.ini"},
      {"::resources:ENGLISH:text.INI", noErr, r + "/Prog.app/Contents/Resources/English/Text.ini"},
      {"::Resources:English:Missing.ini", fnfErr,
       r + "/Prog.app/Contents/Resources/English/Missing.ini"},
      {"::Resources:Nowhere:Text.ini", dirNFErr, ""},
      {"::PkgInfo:x", dirNFErr, ""},  // a file is no folder
      {"Prog", noErr, r + "/Prog.app/Contents/MacOS/Prog"},
      {":Prog", noErr, r + "/Prog.app/Contents/MacOS/Prog"},
      {"::", noErr, r + "/Prog.app/Contents"},
      {":::", noErr, r + "/Prog.app"},
      {":", noErr, r + "/Prog.app/Contents/MacOS"},
      {"", noErr, r + "/Prog.app/Contents/MacOS"},
      {"::Resources:", noErr, r + "/Prog.app/Contents/Resources"},
      {"::Resources::PkgInfo", noErr, r + "/Prog.app/Contents/PkgInfo"},
      {"Other:ConfigData", nsvErr, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FSSpec fss;
    EXPECT_EQ(FSMakeFSSpec(app.vRefNum, app.parID, PStr(c.name), &fss), c.err);
    if (!c.path.empty()) {
      EXPECT_EQ(P(fss), c.path);
    }
  }
}

TEST_F(BundleTree, FullPathsStartAtTheVolume) {
  std::string hfs = "Linux" + root.string() + "/ConfigData";
  for (char& c : hfs)
    if (c == '/') c = ':';
  FSSpec fss;
  ASSERT_EQ(FSMakeFSSpec(0, 0, PStr(hfs), &fss), noErr);
  EXPECT_EQ(P(fss), (root / "ConfigData").string());
  ASSERT_EQ(FSMakeFSSpec(0, 0, PStr("linux:"), &fss), noErr);
  EXPECT_EQ(fss.parID, fsRtParID);
  EXPECT_EQ(P(fss), "/");
}

TEST_F(BundleTree, BadVolumesFoldersAndNames) {
  FSSpec fss;
  EXPECT_EQ(FSMakeFSSpec(7, app.parID, PStr("Prog"), &fss), nsvErr);
  EXPECT_EQ(FSMakeFSSpec(0, 987654, PStr("Prog"), &fss), dirNFErr);
  EXPECT_EQ(FSMakeFSSpec(0, app.parID, PStr(std::string(40, ':') + "x"), &fss), dirNFErr);
  EXPECT_EQ(FSMakeFSSpec(0, app.parID, PStr(std::string(64, 'n')), &fss), bdNamErr);
  EXPECT_EQ(FSMakeFSSpec(0, app.parID, PStr(std::string(63, 'n')), &fss), fnfErr);
  EXPECT_EQ(fss.name[0], 63);
  EXPECT_EQ(fss.nameTerm, 0);
  EXPECT_EQ(FSMakeFSSpec(0, app.parID, PStr(".."), &fss), bdNamErr);
  // A file spec whose length byte lies is refused, never read past its end.
  FSSpec bad = app;
  bad.name[0] = 200;
  std::string path;
  EXPECT_EQ(tb::SpecToPath(bad, path), bdNamErr);
  SInt16 ref;
  EXPECT_EQ(FSpOpenDF(&bad, fsRdPerm, &ref), bdNamErr);
}

TEST_F(BundleTree, ColonsInLinuxNamesShowAsSlashes) {
  WriteFile(root / "a:b", "x");
  FSSpec fss;
  ASSERT_EQ(tb::PathToSpec((root / "a:b").string(), &fss), noErr);
  EXPECT_EQ(pstr::str(fss.name), "a/b");
  FSSpec again;
  ASSERT_EQ(FSMakeFSSpec(0, fss.parID, PStr("a/b"), &again), noErr);
  EXPECT_EQ(P(again), (root / "a:b").string());
}

TEST_F(BundleTree, FolderIdsAreStableAndNameFolders) {
  SInt32 id = tb::DirIDForPath(root.string() + "/Prog.app/Contents/MacOS/");
  EXPECT_EQ(id, app.parID);
  std::string path;
  ASSERT_TRUE(tb::PathForDirID(id, path));
  EXPECT_EQ(path, root.string() + "/Prog.app/Contents/MacOS");
  FSSpec contents;
  ASSERT_EQ(FSMakeFSSpec(0, app.parID, PStr("::"), &contents), noErr);
  SInt32 cid = 0;
  ASSERT_EQ(tb::GetDirID(contents, &cid), noErr);
  FSSpec macos;
  ASSERT_EQ(FSMakeFSSpec(0, cid, PStr("MacOS"), &macos), noErr);
  SInt32 mid = 0;
  EXPECT_EQ(tb::GetDirID(macos, &mid), noErr);
  EXPECT_EQ(mid, app.parID);
  EXPECT_EQ(tb::GetDirID(app, &mid), dirNFErr);
  EXPECT_FALSE(tb::PathForDirID(424242, path));
}

TEST_F(BundleTree, TheEnvironmentCanNameTheProgram) {
  tb::SetApplicationPath("");
  ScopedEnv env("TOOLBOX_APP_PATH", (root / "ConfigData").c_str());
  FSSpec fss;
  ASSERT_EQ(tb::GetApplicationSpec(&fss), noErr);
  EXPECT_EQ(pstr::str(fss.name), "ConfigData");
}

TEST(Files, DataForkReadWriteAndPositions) {
  TempDir tmp;
  FSSpec fss;
  ASSERT_EQ(tb::PathToSpec((tmp / "data.bin").string(), &fss), fnfErr);
  SInt16 ref;
  EXPECT_EQ(FSpOpenDF(&fss, fsRdPerm, &ref), fnfErr);
  ASSERT_EQ(FSpCreate(&fss, 'VMxa', 'BINA', smSystemScript), noErr);
  EXPECT_EQ(FSpCreate(&fss, 'VMxa', 'BINA', smSystemScript), dupFNErr);

  ASSERT_EQ(FSpOpenDF(&fss, fsRdWrPerm, &ref), noErr);
  SInt32 n = 10;
  ASSERT_EQ(FSWrite(ref, &n, "0123456789"), noErr);
  EXPECT_EQ(n, 10);
  SInt32 eof = 0, pos = 0;
  EXPECT_EQ(GetEOF(ref, &eof), noErr);
  EXPECT_EQ(eof, 10);
  struct {
    SInt16 mode;
    SInt32 off;
    OSErr err;
    SInt32 pos;
  } seeks[] = {
      {fsFromStart, 4, noErr, 4}, {fsFromMark, 2, noErr, 6},    {fsFromLEOF, -1, noErr, 9},
      {fsAtMark, 99, noErr, 9},   {fsFromStart, -1, posErr, 9}, {fsFromStart, 12, eofErr, 10},
      {fsFromLEOF, 0, noErr, 10},
  };
  for (const auto& s : seeks) {
    EXPECT_EQ(SetFPos(ref, s.mode, s.off), s.err);
    ASSERT_EQ(GetFPos(ref, &pos), noErr);
    EXPECT_EQ(pos, s.pos);
  }
  char buf[8] = {};
  ASSERT_EQ(SetFPos(ref, fsFromStart, 7), noErr);
  n = 8;
  EXPECT_EQ(FSRead(ref, &n, buf), eofErr);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(std::string(buf, 3), "789");
  n = 1;
  EXPECT_EQ(FSRead(ref, &n, buf), eofErr);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(SetEOF(ref, 4), noErr);
  EXPECT_EQ(GetFPos(ref, &pos), noErr);
  EXPECT_EQ(pos, 4);
  EXPECT_EQ(FSClose(ref), noErr);
  EXPECT_EQ(FSClose(ref), rfNumErr);
  EXPECT_EQ(ReadFile(tmp / "data.bin"), "0123");

  ASSERT_EQ(FSpOpenDF(&fss, fsRdPerm, &ref), noErr);
  n = 1;
  EXPECT_EQ(FSWrite(ref, &n, "x"), wrPermErr);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(SetEOF(ref, 0), wrPermErr);
  n = 4;
  EXPECT_EQ(FSRead(ref, &n, buf), noErr);
  EXPECT_EQ(FSClose(ref), noErr);
  n = 1;
  EXPECT_EQ(FSRead(ref, &n, buf), rfNumErr);
}

TEST(Files, OnlyRegularFilesAreReadAndNoOpenWaits) {
  // Whatever stands at the name, the open returns at once: a FIFO without a
  // writer, or a device, would hold a blocking open or read for ever. A
  // writer's own open takes no link either: nothing is written through one,
  // nor made at its end.
  TempDir tmp;
  const std::string good = "twelve bytes";
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> make;
    OSErr open;
    OSErr whole;        // a read of at most 16 bytes that refuses more
    std::string bytes;  // what it reads
    std::string start;  // the first 4 bytes, or what there is
    OSErr append = noErr;  // OpenLocalFileToWrite, to append or make
  };
  std::vector<Case> cases = {
      {"a regular file", [&](const fs::path& p) { WriteFile(p, good); }, noErr, noErr, good, "twel"},
      {"a link to one",
       [&](const fs::path& p) {
         WriteFile(p.string() + ".target", good);
         fs::create_symlink(p.string() + ".target", p);
       },
       noErr, noErr, good, "twel", fnfErr},
      {"nothing", [](const fs::path&) {}, fnfErr, fnfErr, "", "", noErr},
  };
  for (testsupport::Hostile kind : testsupport::kHostileKinds) {
    const bool empty = kind == testsupport::Hostile::Empty, longer = kind == testsupport::Hostile::Oversize;
    cases.push_back({testsupport::HostileName(kind),
                     [=](const fs::path& p) { testsupport::MakeHostile(p, kind, good); },
                     empty || longer ? OSErr(noErr) : OSErr(fnfErr),
                     empty    ? OSErr(noErr)
                     : longer ? OSErr(memFullErr)
                              : OSErr(fnfErr),
                     "", longer ? "twel" : "", empty || longer ? OSErr(noErr) : OSErr(fnfErr)});
  }
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path p = tmp / ("f" + std::to_string(n++));
    c.make(p);
    std::string bytes = "old";
    EXPECT_EQ(tb::ReadLocalFile(p.string(), 16, bytes), c.whole);
    EXPECT_EQ(bytes, c.bytes);
    std::vector<UInt8> start{1};
    EXPECT_EQ(tb::ReadLocalFile(p.string(), 4, start, tb::LongerFile::Cut), c.open);
    EXPECT_EQ(std::string(start.begin(), start.end()), c.start);
    FSSpec fss = testsupport::FileSpecOf(p);
    for (SInt8 perm : {fsRdPerm, fsWrPerm, fsRdWrShPerm, fsCurPerm}) {
      SInt16 ref = 0;
      EXPECT_EQ(FSpOpenDF(&fss, perm, &ref), c.open) << int(perm);
      if (ref) FSClose(ref);
    }
    const auto items = [&] { return std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()); };
    const bool made = !fs::exists(fs::symlink_status(p));
    const auto before = items();
    tb::UniqueFd fd;
    const mode_t mask = ::umask(027);
    EXPECT_EQ(tb::OpenLocalFileToWrite(p.string(), O_CREAT | O_APPEND, fd), c.append);
    ::umask(mask);
    EXPECT_EQ(bool(fd), c.append == noErr);
    EXPECT_EQ(items(), before + (made ? 1 : 0));
    if (made) {
      EXPECT_EQ(fs::status(p).permissions(), fs::perms(0640));
    }
  }
}

TEST(Files, CreateDeleteRenameAndFolders) {
  TempDir tmp;
  FSSpec folder;
  ASSERT_EQ(tb::PathToSpec((tmp / "Folder").string(), &folder), fnfErr);
  SInt32 dirID = 0;
  ASSERT_EQ(FSpDirCreate(&folder, smSystemScript, &dirID), noErr);
  EXPECT_EQ(FSpDirCreate(&folder, smSystemScript, &dirID), dupFNErr);
  FSSpec a, b;
  ASSERT_EQ(FSMakeFSSpec(0, dirID, PStr("a"), &a), fnfErr);
  ASSERT_EQ(FSpCreate(&a, 'VMxa', 'TEXT', 0), noErr);
  ASSERT_EQ(FSMakeFSSpec(0, dirID, PStr("b"), &b), fnfErr);
  ASSERT_EQ(FSpCreate(&b, 'VMxa', 'TEXT', 0), noErr);

  EXPECT_EQ(FSpRename(&a, PStr("b")), dupFNErr);
  EXPECT_EQ(FSpRename(&a, PStr(std::string(64, 'c'))), bdNamErr);
  EXPECT_EQ(FSpRename(&a, PStr("x:y")), bdNamErr);
  EXPECT_EQ(FSpRename(&a, PStr("A")), noErr);  // only the case changes
  EXPECT_TRUE(fs::exists(tmp / "Folder/A"));

  EXPECT_EQ(FSpDelete(&folder), fBsyErr);  // not empty
  FSSpec upper;
  ASSERT_EQ(FSMakeFSSpec(0, dirID, PStr("A"), &upper), noErr);
  SInt16 ref;
  ASSERT_EQ(FSpOpenDF(&upper, fsRdPerm, &ref), noErr);
  EXPECT_EQ(FSpDelete(&upper), fBsyErr);  // open here
  EXPECT_EQ(FSClose(ref), noErr);
  EXPECT_EQ(FSpDelete(&upper), noErr);
  EXPECT_EQ(FSpDelete(&upper), fnfErr);
  EXPECT_EQ(FSpDelete(&b), noErr);
  EXPECT_EQ(FSpDelete(&folder), noErr);
  EXPECT_FALSE(fs::exists(tmp / "Folder"));
  EXPECT_EQ(FSpCreate(&a, 'VMxa', 'TEXT', 0), dirNFErr);
  EXPECT_EQ(FSpOpenDF(&folder, fsRdPerm, &ref), fnfErr);
}

TEST(Files, FinderInformation) {
  TempDir tmp;
  WriteFile(tmp / "Prog.app/Contents/PkgInfo", "APPLVMxm");
  WriteFile(tmp / "Prog.app/Contents/MacOS/Prog", "");
  WriteFile(tmp / "Text.INI", "");
  WriteFile(tmp / "other", "");
  struct {
    const char* rel;
    OSErr err;
    OSType type, creator;
  } defaults[] = {
      {"Prog.app", noErr, 'APPL', 'VMxm'},
      {"Prog.app/Contents/MacOS/Prog", noErr, 'APPL', 'VMxm'},
      {"Text.INI", noErr, 'TEXT', 0x3F3F3F3F},
      {"other", noErr, 0x3F3F3F3F, 0x3F3F3F3F},
      {"Prog.app/Contents", fnfErr, 0, 0},
      {"missing", fnfErr, 0, 0},
  };
  for (const auto& d : defaults) {
    SCOPED_TRACE(d.rel);
    FSSpec fss;
    tb::PathToSpec((tmp / d.rel).string(), &fss);
    FInfo info{};
    EXPECT_EQ(FSpGetFInfo(&fss, &info), d.err);
    if (d.err) continue;
    EXPECT_EQ(info.fdType, d.type);
    EXPECT_EQ(info.fdCreator, d.creator);
  }

  FSSpec fss;
  ASSERT_EQ(tb::PathToSpec((tmp / "alias").string(), &fss), fnfErr);
  ASSERT_EQ(FSpCreate(&fss, 'VMxa', 'adrp', smSystemScript), noErr);
  FInfo info{};
  ASSERT_EQ(FSpGetFInfo(&fss, &info), noErr);
  if (!XattrsWork(tmp.path())) GTEST_SKIP() << "no extended attributes here";
  EXPECT_EQ(info.fdType, 'adrp');
  EXPECT_EQ(info.fdCreator, 'VMxa');
  info.fdFlags = kIsAlias | kHasBeenInited;
  ASSERT_EQ(FSpSetFInfo(&fss, &info), noErr);
  FInfo back{};
  ASSERT_EQ(FSpGetFInfo(&fss, &back), noErr);
  EXPECT_EQ(back.fdFlags, 0x8100);
  EXPECT_EQ(back.fdType, 'adrp');
}

TEST(Files, PreferencesFolderIsMadeOnFirstUse) {
  TempDir tmp;
  ScopedEnv env("XDG_CONFIG_HOME", (tmp / "cfg").c_str());
  const fs::path prefs = tmp / "cfg/vemo/Preferences";
  EXPECT_EQ(tb::PreferencesFolderPath(), prefs.string());
  SInt16 vol = 0;
  SInt32 dir = 0;
  ASSERT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vol, &dir),
            noErr);
  EXPECT_FALSE(fs::exists(prefs));
  FSSpec fss;
  ASSERT_EQ(FSMakeFSSpec(vol, dir, PStr("Prefs"), &fss), fnfErr);
  EXPECT_EQ(P(fss), (prefs / "Prefs").string());
  ASSERT_EQ(FSpCreate(&fss, 'VMxm', 'pref', smSystemScript), noErr);
  EXPECT_TRUE(fs::exists(prefs / "Prefs"));

  ScopedEnv env2("XDG_CONFIG_HOME", nullptr);
  ScopedEnv home("HOME", (tmp / "home").c_str());
  EXPECT_EQ(tb::PreferencesFolderPath(), (tmp / "home/.config/vemo/Preferences").string());
  ASSERT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, kCreateFolder, &vol, &dir), noErr);
  EXPECT_TRUE(fs::is_directory(tmp / "home/.config/vemo/Preferences"));
  EXPECT_EQ(FindFolder(kOnSystemDisk, 'zzzz', kCreateFolder, &vol, &dir), fnfErr);
}

}  // namespace

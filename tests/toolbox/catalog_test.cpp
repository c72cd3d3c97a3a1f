// The catalog calls: indexed walks, file references, folder creation and
// calendar texts.
#include "toolbox/catalog.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "test_support.h"
#include "toolbox/datetime.h"
#include "toolbox/fileservices.h"

namespace fs = std::filesystem;
using testsupport::PStr;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

FSSpec SpecOf(const fs::path& p) {
  FSSpec s{};
  EXPECT_EQ(tb::PathToSpec(p.string(), &s), noErr) << p;
  return s;
}

SInt32 DirOf(const fs::path& p) {
  SInt32 id = 0;
  EXPECT_EQ(tb::GetDirID(SpecOf(p), &id), noErr);
  return id;
}

void SetMTime(const fs::path& p, std::time_t t) {
  const struct timespec times[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// A folder holding files, a folder, links to both and a name too long for
// the old catalog call.
class CatalogFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    root = tmp.path();
    WriteFile(root / "b-notes.txt", "hello");
    FSSpec thumb;
    FSMakeFSSpec(0, DirOf(root), PStr("a-page.thmb"), &thumb);
    ASSERT_EQ(FSpCreate(&thumb, 'VMxh', 'THMB', smSystemScript), noErr);
    WriteFile(root / "d-folder/inner.pdf", "%PDF");
    fs::create_symlink("b-notes.txt", root / "e-link");
    fs::create_symlink("d-folder", root / "f-folder-link");
    WriteFile(root / std::string(40, 'z'), "0123456789");
    SetMTime(root / "b-notes.txt", kWhen);
  }

  static constexpr std::time_t kWhen = 1700000000;  // 2023-11-14 22:13:20 UTC
  TempDir tmp;
  fs::path root;
};

TEST_F(CatalogFolder, IndexedWalkListsEveryItemInNameOrder) {
  struct Want {
    std::string name;
    bool folder;
    SInt32 length;
    OSType type;
    bool alias;
  };
  const std::vector<Want> want = {
      {"a-page.thmb", false, 0, 'THMB', false},
      {"b-notes.txt", false, 5, 'TEXT', false},
      {"d-folder", true, 0, 0, false},
      {"e-link", false, 0, 'TEXT', true},         // a link: its target's type, never followed as a folder
      {"f-folder-link", false, 0, 0, true},
      {"", false, 10, 0x3F3F3F3F, false},           // the long name, checked below
  };
  const SInt32 dir = DirOf(root);
  std::size_t i = 0;
  for (;; ++i) {
    CInfoPBRec pb{};
    Str31 name;  // the 32-byte buffer the callers pass
    pb.hFileInfo.ioNamePtr = name;
    pb.hFileInfo.ioVRefNum = 0;
    pb.hFileInfo.ioDirID = dir;
    pb.hFileInfo.ioFDirIndex = SInt16(i + 1);
    OSErr err = PBGetCatInfoSync(&pb);
    if (err != noErr) {
      EXPECT_EQ(err, fnfErr);
      EXPECT_EQ(pb.hFileInfo.ioResult, fnfErr);
      break;
    }
    ASSERT_LT(i, want.size());
    const Want& w = want[i];
    std::string got = pstr::str(name);
    SCOPED_TRACE(got);
    EXPECT_LE(got.size(), 31u);
    if (!w.name.empty()) {
      EXPECT_EQ(got, w.name);
    }
    EXPECT_EQ((pb.hFileInfo.ioFlAttrib & kioFlAttribDirMask) != 0, w.folder);
    EXPECT_EQ(pb.dirInfo.ioDrParID, dir);
    if (w.folder) {
      EXPECT_EQ(pb.dirInfo.ioDrNmFls, 1);
      std::string path;
      ASSERT_TRUE(tb::PathForDirID(pb.dirInfo.ioDrDirID, path));
      EXPECT_EQ(path, (root / "d-folder").string());
      continue;
    }
    EXPECT_EQ(pb.hFileInfo.ioFlLgLen, w.length);
    if (w.type) {
      EXPECT_EQ(pb.hFileInfo.ioFlFndrInfo.fdType, w.type);
    }
    EXPECT_EQ((pb.hFileInfo.ioFlFndrInfo.fdFlags & kIsAlias) != 0, w.alias);
    if (got == "b-notes.txt") {
      EXPECT_EQ(pb.hFileInfo.ioFlMdDat, tb::LocalSecondsFromUnix(kWhen));
      EXPECT_EQ(pb.hFileInfo.ioFlFndrInfo.fdCreator, 0x3F3F3F3Fu);
    }
    if (got == "a-page.thmb") {
      EXPECT_EQ(pb.hFileInfo.ioFlFndrInfo.fdCreator, OSType('VMxh'));
    }
    if (w.name.empty()) {
      // The shortened name still leads to the item.
      EXPECT_NE(got.find('#'), std::string::npos);
      FSSpec back;
      ASSERT_EQ(FSMakeFSSpec(0, dir, name, &back), noErr);
      std::string path;
      tb::SpecToPath(back, path);
      EXPECT_EQ(path, (root / std::string(40, 'z')).string());
    }
  }
  EXPECT_EQ(i, want.size());

  // By name, and the folder itself.
  CInfoPBRec pb{};
  PStr inner(":d-folder:inner.pdf");
  pb.hFileInfo.ioNamePtr = inner;
  pb.hFileInfo.ioDirID = dir;
  ASSERT_EQ(PBGetCatInfoSync(&pb), noErr);
  EXPECT_EQ(pb.hFileInfo.ioFlFndrInfo.fdType, OSType('PDF '));
  EXPECT_EQ(pb.hFileInfo.ioFlParID, DirOf(root / "d-folder"));
  Str63 self;
  pb = CInfoPBRec{};
  pb.dirInfo.ioNamePtr = self;
  pb.dirInfo.ioDrDirID = dir;
  pb.dirInfo.ioFDirIndex = -1;
  ASSERT_EQ(PBGetCatInfoSync(&pb), noErr);
  EXPECT_EQ(pstr::str(self), root.filename().string());
  EXPECT_EQ(pb.dirInfo.ioDrNmFls, want.size());
  pb = CInfoPBRec{};
  pb.hFileInfo.ioDirID = 0x7FFF0000;
  pb.hFileInfo.ioFDirIndex = 1;
  EXPECT_EQ(PBGetCatInfoSync(&pb), dirNFErr);
}

TEST_F(CatalogFolder, ReferencesGiveSizesDatesNamesAndKinds) {
  FSRef ref;
  FSSpec notes = SpecOf(root / "b-notes.txt");
  ASSERT_EQ(FSpMakeFSRef(&notes, &ref), noErr);
  FSCatalogInfo info{};
  HFSUniStr255 name;
  FSSpec back;
  FSRef parent;
  ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoGettableInfo, &info, &name, &back, &parent), noErr);
  EXPECT_EQ(info.dataLogicalSize, 5u);
  EXPECT_EQ(info.nodeFlags & kFSNodeIsDirectoryMask, 0);
  EXPECT_EQ(info.contentModDate.lowSeconds, UInt32(kWhen + tb::kSecondsFrom1904To1970));
  EXPECT_EQ(be::get32(info.finderInfo), OSType('TEXT'));
  EXPECT_EQ(name.length, 11);
  EXPECT_EQ(name.unicode[0], u'b');
  EXPECT_EQ(pstr::str(back.name), "b-notes.txt");
  UInt8 path[1024];
  ASSERT_EQ(FSRefMakePath(&parent, path, sizeof path), noErr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(path)), root.string());
  EXPECT_EQ(FSRefMakePath(&parent, path, 4), paramErr);

  // A name beyond ASCII, and a folder's item count.
  WriteFile(root / "d-folder/報告.txt", "x");
  Boolean isDir = false;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>((root / "d-folder/報告.txt").c_str()), &ref, &isDir), noErr);
  EXPECT_FALSE(isDir);
  ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, &name, nullptr, nullptr), noErr);
  ASSERT_EQ(name.length, 6);
  EXPECT_EQ(name.unicode[0], 0x5831);
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>((root / "d-folder").c_str()), &ref, &isDir), noErr);
  EXPECT_TRUE(isDir);
  ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoValence | kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(info.valence, 2u);
  EXPECT_NE(info.nodeFlags & kFSNodeIsDirectoryMask, 0);
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>((root / "missing").c_str()), &ref, nullptr), fnfErr);

  // Kind texts and default types by extension.
  WriteFile(root / "Manual.PDF", "%PDF");
  WriteFile(root / "data.xyz", "?");
  fs::create_directories(root / "Tool.app/Contents");
  struct Kind {
    const char* leaf;
    OSStatus err;
    const char* kind;
  };
  for (const Kind& k : {Kind{"Manual.PDF", noErr, "PDF document"}, Kind{"b-notes.txt", noErr, "Plain text document"},
                        Kind{"d-folder", noErr, "Folder"}, Kind{"Tool.app", noErr, "Application"},
                        Kind{"e-link", noErr, "Alias"}, Kind{"data.xyz", kLSApplicationNotFoundErr, nullptr}}) {
    SCOPED_TRACE(k.leaf);
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>((root / k.leaf).c_str()), &ref, nullptr), noErr);
    CFStringRef kind = nullptr;
    EXPECT_EQ(LSCopyKindStringForRef(&ref, &kind), k.err);
    if (k.kind) {
      EXPECT_EQ(tb::CFStringText(kind), k.kind);
      CFRelease(kind);
    } else {
      EXPECT_EQ(kind, nullptr);
    }
  }
  FSSpec pdf = SpecOf(root / "Manual.PDF");
  FInfo fi;
  ASSERT_EQ(FSpGetFInfo(&pdf, &fi), noErr);
  EXPECT_EQ(fi.fdType, OSType('PDF '));
}

TEST(Folders, DirCreateAndFlushVol) {
  TempDir tmp;
  const SInt32 dir = DirOf(tmp.path());
  SInt32 made = 0;
  ASSERT_EQ(DirCreate(0, dir, PStr("MONITOR-STATUS"), &made), noErr);
  std::string path;
  ASSERT_TRUE(tb::PathForDirID(made, path));
  EXPECT_EQ(path, (tmp / "MONITOR-STATUS").string());
  const SInt32 status = made;
  EXPECT_EQ(DirCreate(0, dir, PStr("MONITOR-STATUS"), &made), dupFNErr);
  EXPECT_EQ(made, 0);
  EXPECT_EQ(DirCreate(0, dir, PStr(":a:b"), &made), dirNFErr);
  ASSERT_EQ(DirCreate(0, dir, PStr(":MONITOR-STATUS:inner"), nullptr), noErr);
  EXPECT_TRUE(fs::is_directory(tmp / "MONITOR-STATUS/inner"));

  FSSpec f;
  FSMakeFSSpec(0, status, PStr("data"), &f);
  ASSERT_EQ(FSpCreate(&f, 'VMxm', 'TEXT', smSystemScript), noErr);
  SInt16 ref;
  ASSERT_EQ(FSpOpenDF(&f, fsWrPerm, &ref), noErr);
  SInt32 n = 4;
  ASSERT_EQ(FSWrite(ref, &n, "abcd"), noErr);
  EXPECT_EQ(FlushVol(nullptr, 0), noErr);  // with the file open
  ASSERT_EQ(FSClose(ref), noErr);
  EXPECT_EQ(FlushVol(nullptr, kOnSystemDisk), noErr);
  EXPECT_EQ(FlushVol(PStr("Linux:"), 0), noErr);
  EXPECT_EQ(FlushVol(PStr("Other"), 0), nsvErr);
}

void LocalTimeInJapan();

TEST(Dates, CalendarTextsAndZones) {
  struct Case {
    DateTimeRec d;
    UInt32 secs;
    const char* date;
    const char* time;
  };
  const Case cases[] = {
      {{1904, 1, 1, 0, 0, 0, 6}, 0, "1904/01/01", "00:00:00"},  // a Friday
      {{2000, 2, 29, 13, 4, 5, 3}, 3034674245u, "2000/02/29", "13:04:05"},
      {{2026, 12, 9, 7, 5, 9, 4}, 3879644709u, "2026/12/09", "07:05:09"},
      {{2040, 2, 6, 6, 28, 15, 2}, 0xFFFFFFFFu, "2040/02/06", "06:28:15"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date);
    UInt32 s = 1;
    DateToSeconds(&c.d, &s);
    EXPECT_EQ(s, c.secs);
    DateTimeRec back{};
    SecondsToDate(c.secs, &back);
    EXPECT_EQ(std::tie(back.year, back.month, back.day, back.hour, back.minute, back.second, back.dayOfWeek),
              std::tie(c.d.year, c.d.month, c.d.day, c.d.hour, c.d.minute, c.d.second, c.d.dayOfWeek));
    Str255 text;
    DateString(c.secs, shortDate, text, nullptr);
    EXPECT_EQ(pstr::str(text), c.date);
    TimeString(c.secs, true, text, nullptr);
    EXPECT_EQ(pstr::str(text), c.time);
  }
  // Fields out of range carry over; dates outside the range are clamped.
  DateTimeRec carry{2025, 13, 32, 0, 0, 0, 0};
  UInt32 s;
  DateToSeconds(&carry, &s);
  EXPECT_EQ(tb::ShortDateTimeText(s), "2026/02/01, 00:00");
  DateTimeRec early{1900, 1, 1, 0, 0, 0, 0}, late{2100, 1, 1, 0, 0, 0, 0};
  DateToSeconds(&early, &s);
  EXPECT_EQ(s, 0u);
  DateToSeconds(&late, &s);
  EXPECT_EQ(s, 0xFFFFFFFFu);

  // Local time follows the zone in force.
  {
    ScopedEnv tz("TZ", "JST-9");
    ::tzset();
    LocalTimeInJapan();
  }
  ::tzset();
}

void LocalTimeInJapan() {
  UInt32 local = 0, utc = 0;
  ASSERT_EQ(ConvertUTCToLocalTime(3034674245u, &local), noErr);
  EXPECT_EQ(local, 3034674245u + 9 * 3600);
  ASSERT_EQ(ConvertLocalToUTCTime(local, &utc), noErr);
  EXPECT_EQ(utc, 3034674245u);
  UInt32 now;
  GetDateTime(&now);
  EXPECT_EQ(now, tb::LocalSecondsFromUnix(std::time(nullptr)));
  EXPECT_EQ(tb::LocalSecondsFromUnix(0), UInt32(tb::kSecondsFrom1904To1970 + 9 * 3600));
}

}  // namespace

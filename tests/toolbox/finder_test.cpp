// The Finder stand-in, alias records and the catalog search.
#include "toolbox/finder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "test_support.h"
#include "toolbox/aliases.h"
#include "toolbox/appleevents.h"
#include "toolbox/catsearch.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/recorder.h"

using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace {

FSSpec specOf(const fs::path& p) {
  FSSpec s;
  EXPECT_EQ(tb::PathToSpec(p.string(), &s), noErr) << p;
  return s;
}

class Finder : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedEnv record{"TOOLBOX_RECORD_FILE", (dir.path() / "record.txt").c_str()};
  void SetUp() override {
    tb::ClearRecords();
    tb::SetFinderMode(tb::FinderMode::kRecord);
  }
  void TearDown() override { tb::SetFinderMode(tb::FinderMode::kAuto); }

  // The open-selection event as the suite sends it for a document.
  OSErr sendOpenSelection(const fs::path& doc) {
    FSSpec docSpec = specOf(doc), folderSpec = specOf(doc.parent_path());
    AliasHandle docAlias = nullptr, folderAlias = nullptr;
    EXPECT_EQ(NewAlias(nullptr, &folderSpec, &folderAlias), noErr);
    OSErr aliasErr = NewAlias(nullptr, &docSpec, &docAlias);
    if (aliasErr) {
      DisposeHandle(reinterpret_cast<Handle>(folderAlias));
      return aliasErr;
    }
    OSType finder = kFinderSignature;
    AEAddressDesc target;
    AECreateDesc(typeApplSignature, &finder, sizeof finder, &target);
    AppleEvent ev;
    AECreateAppleEvent(kFinderEventClass, kAEOpenSelection, &target, kAutoGenerateReturnID, kAnyTransactionID, &ev);
    auto bytes = [](AliasHandle a) { return GetHandleSize(reinterpret_cast<Handle>(a)); };
    AEPutParamPtr(&ev, keyDirectObject, typeAlias, *folderAlias, bytes(folderAlias));
    AEDescList list;
    AECreateList(nullptr, 0, false, &list);
    AEPutPtr(&list, 1, typeAlias, *docAlias, bytes(docAlias));
    AEPutParamDesc(&ev, keyAEFileSelection, &list);
    OSErr err = AESend(&ev, nullptr, kAENoReply + kAENeverInteract, kAENormalPriority, 120, nullptr, nullptr);
    for (AEDesc* d : {&target, &ev, &list}) AEDisposeDesc(d);
    DisposeHandle(reinterpret_cast<Handle>(docAlias));
    DisposeHandle(reinterpret_cast<Handle>(folderAlias));
    return err;
  }
};

}  // namespace

TEST_F(Finder, OpenSelectionOpensTheDocument) {
  fs::path doc = dir.path() / "Server Home Page";
  WriteFile(doc, "<HTML>\r");
  ASSERT_EQ(sendOpenSelection(doc), noErr);
  EXPECT_EQ(tb::RecordedOpenedDocuments(), std::vector<std::string>{doc.string()});
  auto sent = tb::RecordedAppleEvents();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].targetSignature, OSType('MACS'));
  EXPECT_EQ(sent[0].eventID, AEEventID('sope'));
  EXPECT_EQ(ReadFile(dir.path() / "record.txt"), "send\tFNDR\tsope\tsign:MACS\nopen\t" + doc.string() + "\n");
}

TEST_F(Finder, OpenDocumentsEventWithSpecsAndPrograms) {
  fs::path manual = dir.path() / "manual.pdf";
  WriteFile(manual, "%PDF");
  fs::path app = dir.path() / "Setup.app";
  WriteFile(app / "Contents/MacOS/Setup", "");
  OSType finder = kFinderSignature;
  AEAddressDesc target;
  AECreateDesc(typeApplSignature, &finder, sizeof finder, &target);
  AppleEvent ev;
  AECreateAppleEvent(kCoreEventClass, kAEOpenDocuments, &target, kAutoGenerateReturnID, kAnyTransactionID, &ev);
  AEDescList list;
  AECreateList(nullptr, 0, false, &list);
  FSSpec a = specOf(manual), b = specOf(app);
  AEPutPtr(&list, 0, typeFSS, &a, sizeof a);
  AEPutPtr(&list, 0, typeFSS, &b, sizeof b);
  AEPutParamDesc(&ev, keyDirectObject, &list);
  EXPECT_EQ(AESend(&ev, nullptr, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), noErr);
  EXPECT_EQ(tb::RecordedOpenedDocuments(), std::vector<std::string>{manual.string()});
  auto launches = tb::RecordedLaunches();
  ASSERT_EQ(launches.size(), 1u);  // the program is recorded, not started
  EXPECT_EQ(launches[0].path, app.string());
  EXPECT_EQ(launches[0].psn.lowLongOfPSN, 0u);

  // What the Finder cannot do.
  AEPutParamPtr(&ev, keyDirectObject, typeChar, "/etc/passwd", 11);
  EXPECT_EQ(AESend(&ev, nullptr, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr),
            errAEWrongDataType);
  FSSpec gone;
  EXPECT_EQ(tb::PathToSpec((dir.path() / "nothing-here").string(), &gone), fnfErr);
  AEPutParamPtr(&ev, keyDirectObject, typeFSS, &gone, sizeof gone);
  EXPECT_EQ(AESend(&ev, nullptr, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), fnfErr);
  AppleEvent other;
  AECreateAppleEvent('JCev', 'apop', &target, kAutoGenerateReturnID, kAnyTransactionID, &other);
  EXPECT_EQ(AESend(&other, nullptr, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr),
            errAEEventNotHandled);
  EXPECT_EQ(tb::RecordedOpenedDocuments().size(), 1u);
  for (AEDesc* d : {&target, &ev, &list, &other}) AEDisposeDesc(d);
}

TEST_F(Finder, RecordModeFollowsTheEnvironment) {
  tb::SetFinderMode(tb::FinderMode::kAuto);
  {
    ScopedEnv f("TOOLBOX_FINDER", nullptr), h("TOOLBOX_HEADLESS", "1");
    EXPECT_TRUE(tb::FinderRecordsOnly());
  }
  {
    ScopedEnv f("TOOLBOX_FINDER", "run"), h("TOOLBOX_HEADLESS", "1");
    EXPECT_FALSE(tb::FinderRecordsOnly());
  }
  {
    ScopedEnv f("TOOLBOX_FINDER", "record"), h("TOOLBOX_HEADLESS", nullptr);
    EXPECT_TRUE(tb::FinderRecordsOnly());
  }
  {
    ScopedEnv f("TOOLBOX_FINDER", nullptr), h("TOOLBOX_HEADLESS", nullptr);
    EXPECT_FALSE(tb::FinderRecordsOnly());
  }
}

TEST(Aliases, RecordsResolveAndDamagedOnesAreRefused) {
  TempDir dir;
  fs::path target = dir.path() / "Monitor Data";
  WriteFile(target, "x");
  FSSpec fss = specOf(target);
  FInfo info{};
  info.fdType = 'TEXT';
  info.fdCreator = 'VMxm';
  ASSERT_EQ(FSpSetFInfo(&fss, &info), noErr);
  AliasHandle alias = nullptr;
  ASSERT_EQ(NewAlias(nullptr, &fss, &alias), noErr);
  Handle h = reinterpret_cast<Handle>(alias);
  auto* b = reinterpret_cast<UInt8*>(*h);
  EXPECT_EQ(be::get16(b + 4), GetHandleSize(h));
  EXPECT_EQ(be::get32(b + 18), OSType('VMxm'));

  FSSpec back;
  Boolean changed = true;
  ASSERT_EQ(ResolveAlias(nullptr, alias, &back, &changed), noErr);
  EXPECT_FALSE(changed);
  std::string path;
  tb::SpecToPath(back, path);
  EXPECT_EQ(path, target.string());

  std::string good(*h, static_cast<std::size_t>(GetHandleSize(h)));
  auto damaged = [&](std::size_t at, char value) {
    std::string d = good;
    d[at] = value;
    return d;
  };
  for (std::string bad : {good.substr(0, 23), good.substr(0, good.size() - 1), damaged(6, 'X'), damaged(5, 1),
                          damaged(23, 1), damaged(24, 'r')}) {
    std::string out;
    EXPECT_FALSE(tb::AliasRecordPath(bad.data(), bad.size(), &out));
  }
  fs::remove(target);
  EXPECT_EQ(ResolveAlias(nullptr, alias, &back, &changed), fnfErr);
  DisposeHandle(h);
  FSSpec missing;
  EXPECT_EQ(tb::PathToSpec((dir.path() / "never").string(), &missing), fnfErr);
  EXPECT_EQ(NewAlias(nullptr, &missing, &alias), fnfErr);
}

TEST(CatalogSearch, FirstMatchByCreatorAndTypeOverVolumes) {
  TempDir dir;
  auto tagged = [&](const fs::path& p, OSType type, OSType creator) {
    WriteFile(p, "data");
    FSSpec s = specOf(p);
    FInfo info{};
    info.fdType = type;
    info.fdCreator = creator;
    ASSERT_EQ(FSpSetFInfo(&s, &info), noErr);
  };
  tagged(dir.path() / "v1/a/first", 'pref', 'VMxm');
  tagged(dir.path() / "v1/b/second", 'pref', 'VMxm');
  tagged(dir.path() / "v1/a/other", 'TEXT', 'VMxm');
  tagged(dir.path() / "v2/deep/er/admin", 'pref', 'VMxa');
  WriteFile(dir.path() / "v2/Admin.app/Contents/PkgInfo", "APPLVMxa");
  fs::create_directories(dir.path() / "v2/Admin.app/Contents/MacOS");
  tb::SetSearchVolumes({(dir.path() / "v1").string(), (dir.path() / "v2").string()});

  FSSpec match;
  std::string path;
  ASSERT_EQ(tb::CatSearchFirst(0, 'VMxm', 'pref', &match), noErr);  // 0: the first volume
  tb::SpecToPath(match, path);
  EXPECT_EQ(path, (dir.path() / "v1/a/first").string());
  EXPECT_EQ(tb::CatSearchFirst(-1, 'VMxa', 'pref', &match), eofErr);
  ASSERT_EQ(tb::CatSearchFirst(-2, 'VMxa', 'pref', &match), noErr);
  tb::SpecToPath(match, path);
  EXPECT_EQ(path, (dir.path() / "v2/deep/er/admin").string());
  ASSERT_EQ(tb::CatSearchFirst(-2, 'VMxa', 'APPL', &match), noErr);  // bundles by their PkgInfo
  tb::SpecToPath(match, path);
  EXPECT_EQ(path, (dir.path() / "v2/Admin.app").string());
  EXPECT_EQ(tb::CatSearchFirst(-3, 'VMxa', 'pref', &match), nsvErr);  // ends a walk over the volumes
  EXPECT_EQ(tb::CatSearchFirst(5, 'VMxa', 'pref', &match), nsvErr);

  {
    tb::SetSearchVolumes({});
    EXPECT_EQ(tb::CatSearchFirst(-1, 'VMxa', 'pref', &match), nsvErr);
  }
}

TEST_F(Finder, RunModeHandsDocumentsToTheDesktop) {
  tb::SetFinderMode(tb::FinderMode::kRun);
  fs::path doc = dir.path() / "index.htm";
  WriteFile(doc, "<HTML>");
  // A stand-in for the desktop's opener that tells what it was given.
  fs::path bin = dir.path() / "bin";
  fs::path out = dir.path() / "opened.txt";
  WriteFile(bin / "xdg-open", "#!/bin/sh\necho \"$1|$TOOLBOX_APP_PATH\" > \"" + out.string() + "\"\n");
  fs::permissions(bin / "xdg-open", fs::perms::owner_all);
  {
    ScopedEnv path("PATH", bin.c_str()), app("TOOLBOX_APP_PATH", "/somewhere/Admin.app/Contents/MacOS/Admin");
    ASSERT_EQ(tb::FinderOpenPath(doc.string()), noErr);
    for (int i = 0; i < 2000 && ReadFile(out).find('\n') == std::string::npos; ++i)
      usleep(5000);  // the opener runs on its own
    EXPECT_EQ(ReadFile(out), doc.string() + "|\n");
  }
  ScopedEnv nowhere("PATH", (dir.path() / "empty").c_str());
  EXPECT_EQ(tb::FinderOpenPath(doc.string()), procNotFound);
  EXPECT_EQ(tb::RecordedOpenedDocuments().size(), 2u);
}

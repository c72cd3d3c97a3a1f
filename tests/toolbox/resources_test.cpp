// The Resource Manager: round trips, handles, the search chain, saves,
// read-only files, and damaged or lying files that are refused safely.
#include "toolbox/resources.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

#include "test_support.h"
#include "toolbox/files.h"

namespace fs = std::filesystem;
using testsupport::FileSpecOf;
using testsupport::Resource;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

using testsupport::PStr;

Handle HandleOf(std::string_view bytes) {
  Handle h = NewHandle(static_cast<Size>(bytes.size()));
  if (!bytes.empty()) std::memcpy(*h, bytes.data(), bytes.size());
  return h;
}

std::string Bytes(Handle h) { return std::string(*h, static_cast<std::size_t>(GetHandleSize(h))); }

std::vector<UInt8> Image(const std::vector<tb::ResourceEntry>& entries) {
  std::vector<UInt8> image;
  EXPECT_EQ(tb::BuildResourceFile(entries, image), noErr);
  return image;
}

std::string StrList(std::initializer_list<std::string> items) {
  std::string out(2, '\0');
  out[1] = static_cast<char>(items.size());
  for (const auto& s : items) out += static_cast<char>(s.size()) + s;
  return out;
}

class Resources : public ::testing::Test {
 protected:
  void SetUp() override { tb::ResetResources(); }
  void TearDown() override { tb::ResetResources(); }

  // A program resource file holding the given entries.
  SInt16 OpenApp(const std::vector<tb::ResourceEntry>& entries) {
    auto image = Image(entries);
    WriteFile(tmp / "App.rsrc", std::string(image.begin(), image.end()));
    return tb::OpenApplicationResources((tmp / "App.rsrc").string());
  }

  TempDir tmp;
};

TEST_F(Resources, RoundTripKeepsIdsNamesAttributesAndData) {
  FSSpec fss = FileSpecOf(tmp / "Prefs");
  FSpCreateResFile(&fss, 'VMxm', 'pref', smSystemScript);
  ASSERT_EQ(ResError(), noErr);
  SInt16 ref = FSpOpenResFile(&fss, fsRdWrPerm);
  ASSERT_GT(ref, 0);
  EXPECT_EQ(CurResFile(), ref);

  const std::string longName(255, 'n');
  struct {
    ResType type;
    SInt16 id;
    std::string name;
    std::string data;
    SInt16 attrs;
  } items[] = {
      {'CNFG', 128, "Config", std::string("\x01\x02\x00\x04", 4), 0},
      {'PVER', 128, "", std::string(256, '\0'), resPurgeable},
      {'TMPL', 128, "CNFG", "tmpl", 0},
      {'TMPL', 130, longName, "", resLocked | resPreload},
      {'STR#', -4000, "negative", StrList({"a", "bc"}), 0},
  };
  for (const auto& it : items) {
    AddResource(HandleOf(it.data), it.type, it.id, PStr(it.name));
    ASSERT_EQ(ResError(), noErr);
    Handle h = Get1Resource(it.type, it.id);
    SetResAttrs(h, it.attrs);
    EXPECT_EQ(ResError(), noErr);
  }
  Handle dup = HandleOf("dup");
  AddResource(dup, 'CNFG', 128, PStr(""));
  EXPECT_EQ(ResError(), addResFailed);
  DisposeHandle(dup);
  CloseResFile(ref);
  ASSERT_EQ(ResError(), noErr);
  EXPECT_EQ(CurResFile(), 0);

  ref = FSpOpenResFile(&fss, fsRdPerm);
  ASSERT_GT(ref, 0);
  EXPECT_EQ(Count1Types(), 4);
  EXPECT_EQ(Count1Resources('TMPL'), 2);
  for (const auto& it : items) {
    SCOPED_TRACE(it.id);
    Handle h = Get1Resource(it.type, it.id);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(Bytes(h), it.data);
    SInt16 id;
    ResType type;
    Str255 name;
    GetResInfo(h, &id, &type, name);
    EXPECT_EQ(id, it.id);
    EXPECT_EQ(type, it.type);
    EXPECT_EQ(pstr::str(name), it.name);
    EXPECT_EQ(GetResAttrs(h), it.attrs);
    EXPECT_EQ(HomeResFile(h), ref);
  }
  Handle named = Get1NamedResource('TMPL', PStr("CNFG"));
  EXPECT_EQ(named, Get1Resource('TMPL', 128));
  Str255 s;
  GetIndString(s, -4000, 2);
  EXPECT_EQ(pstr::str(s), "bc");
  CloseResFile(ref);
}

TEST_F(Resources, HandlesStayTheSameWhileLoaded) {
  SInt16 app = OpenApp({Resource('PICT', 200, "picture")});
  ASSERT_GT(app, 0);
  Handle a = GetResource('PICT', 200);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(GetResource('PICT', 200), a);
  ReleaseResource(a);
  Handle b = GetResource('PICT', 200);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Bytes(b), "picture");
  DetachResource(b);
  EXPECT_EQ(HomeResFile(b), -1);
  Handle c = GetResource('PICT', 200);
  EXPECT_NE(c, b);
  EXPECT_EQ(Bytes(b), "picture");  // the detached copy is the caller's
  DisposeHandle(b);
  EXPECT_EQ(GetResource('PICT', 201), nullptr);
  EXPECT_EQ(ResError(), resNotFound);
}

TEST_F(Resources, SearchChainRunsFromTheCurrentFileToTheProgramsFile) {
  SInt16 app = OpenApp({Resource('STR#', 136, StrList({"Main Prefs", "Second Prefs"})),
                        Resource('CNFG', 128, "defaults")});
  ASSERT_GT(app, 0);
  EXPECT_EQ(tb::ApplicationResFile(), app);
  FSSpec fss = FileSpecOf(tmp / "Prefs");
  FSpCreateResFile(&fss, 'VMxm', 'pref', 0);
  SInt16 pref = FSpOpenResFile(&fss, fsRdWrPerm);
  ASSERT_GT(pref, 0);
  AddResource(HandleOf("user"), 'CNFG', 128, nullptr);

  EXPECT_EQ(Bytes(GetResource('CNFG', 128)), "user");
  EXPECT_NE(GetResource('STR#', 136), nullptr);  // found further down the chain
  EXPECT_EQ(Get1Resource('STR#', 136), nullptr);
  EXPECT_EQ(CountResources('CNFG'), 2);
  EXPECT_EQ(Bytes(GetIndResource('CNFG', 2)), "defaults");
  EXPECT_EQ(FSpOpenResFile(&fss, fsRdWrPerm), pref);  // open files are not opened twice

  UseResFile(app);
  EXPECT_EQ(Bytes(GetResource('CNFG', 128)), "defaults");
  UseResFile(12345);
  EXPECT_EQ(ResError(), resFNotFound);
  EXPECT_EQ(CurResFile(), app);

  UseResFile(pref);
  CloseResFile(pref);
  EXPECT_EQ(CurResFile(), app);
  Str255 name;
  GetIndString(name, 136, 2);
  EXPECT_EQ(pstr::str(name), "Second Prefs");
  GetIndString(name, 136, 3);
  EXPECT_EQ(name[0], 0);
  GetIndString(name, 999, 1);
  EXPECT_EQ(name[0], 0);
}

TEST_F(Resources, ReplacingARecordLikeASettingsSave) {
  FSSpec fss = FileSpecOf(tmp / "Prefs");
  FSpCreateResFile(&fss, 'VMxm', 'pref', 0);
  SInt16 ref = FSpOpenResFile(&fss, fsRdWrPerm);
  AddResource(HandleOf("old"), 'CNFG', 128, PStr("Settings"));
  UpdateResFile(ref);
  ASSERT_EQ(ResError(), noErr);

  Handle old = Get1Resource('CNFG', 128);
  SInt16 id;
  ResType type;
  Str255 name;
  GetResInfo(old, &id, &type, name);
  RemoveResource(old);
  ASSERT_EQ(ResError(), noErr);
  DisposeHandle(old);
  Handle fresh = NewHandleClear(6);
  std::memcpy(*fresh, "newrec", 6);
  AddResource(fresh, type, id, name);
  WriteResource(fresh);
  ASSERT_EQ(ResError(), noErr);
  // Written already, before the file is closed.
  std::vector<tb::ResourceEntry> entries;
  auto bytes = ReadFile(tmp / "Prefs");
  ASSERT_EQ(tb::ParseResourceFile(
                std::span(reinterpret_cast<const UInt8*>(bytes.data()), bytes.size()), entries),
            noErr);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(std::string(entries[0].data.begin(), entries[0].data.end()), "newrec");
  EXPECT_EQ(entries[0].name, "Settings");

  // A changed handle released before the write is not lost.
  ChangedResource(fresh);
  std::memcpy(*fresh, "NEWREC", 6);
  ReleaseResource(fresh);
  CloseResFile(ref);
  ref = FSpOpenResFile(&fss, fsRdPerm);
  EXPECT_EQ(Bytes(Get1Resource('CNFG', 128)), "NEWREC");
  CloseResFile(ref);
}

TEST_F(Resources, ReadOnlyFilesTakeNoChanges) {
  SInt16 app = OpenApp({Resource('CNFG', 128, "defaults")});
  const std::string before = ReadFile(tmp / "App.rsrc");
  Handle x = HandleOf("x");
  AddResource(x, 'CNFG', 129, nullptr);
  EXPECT_EQ(ResError(), wrPermErr);
  Handle h = Get1Resource('CNFG', 128);
  RemoveResource(h);
  EXPECT_EQ(ResError(), wrPermErr);
  ChangedResource(h);
  EXPECT_EQ(ResError(), wrPermErr);
  SetResInfo(h, 5, nullptr);
  EXPECT_EQ(ResError(), wrPermErr);
  EXPECT_TRUE(GetResFileAttrs(app) & mapReadOnly);
  CloseResFile(app);
  EXPECT_EQ(ReadFile(tmp / "App.rsrc"), before);
  EXPECT_EQ(CurResFile(), 0);
  AddResource(x, 'CNFG', 129, nullptr);  // no file at all
  EXPECT_EQ(ResError(), addResFailed);
  DisposeHandle(x);
}

TEST_F(Resources, CreatingAndOpeningErrors) {
  FSSpec fss = FileSpecOf(tmp / "missing");
  EXPECT_EQ(FSpOpenResFile(&fss, fsRdPerm), -1);
  EXPECT_EQ(ResError(), fnfErr);
  WriteFile(tmp / "text", "not a resource file at all");
  fss = FileSpecOf(tmp / "text");
  EXPECT_EQ(FSpOpenResFile(&fss, fsRdPerm), -1);
  EXPECT_EQ(ResError(), mapReadErr);
  FSpCreateResFile(&fss, 'VMxa', 'pref', 0);
  EXPECT_EQ(ResError(), dupFNErr);
  EXPECT_EQ(ReadFile(tmp / "text"), "not a resource file at all");
  WriteFile(tmp / "empty", "");
  fss = FileSpecOf(tmp / "empty");
  FSpCreateResFile(&fss, 'VMxa', 'pref', 0);
  EXPECT_EQ(ResError(), noErr);
  SInt16 ref = FSpOpenResFile(&fss, fsRdPerm);
  EXPECT_GT(ref, 0);
  EXPECT_EQ(Count1Types(), 0);
  CloseResFile(ref);
  fss = FileSpecOf(tmp / "gone");
  fs::create_directory(tmp / "gone");
  SInt32 dir = 0;
  ASSERT_EQ(tb::GetDirID(fss, &dir), noErr);
  ASSERT_EQ(FSMakeFSSpec(0, dir, PStr("Prefs"), &fss), fnfErr);
  fs::remove(tmp / "gone");
  FSpCreateResFile(&fss, 'VMxa', 'pref', 0);
  EXPECT_EQ(ResError(), dirNFErr);
}

TEST_F(Resources, WritesKeepTheFinderInformation) {
  FSSpec fss = FileSpecOf(tmp / "Prefs");
  FSpCreateResFile(&fss, 'VMxm', 'pref', 0);
  SInt16 ref = FSpOpenResFile(&fss, fsRdWrPerm);
  AddResource(HandleOf("x"), 'CNFG', 128, nullptr);
  CloseResFile(ref);
  FInfo info{};
  ASSERT_EQ(FSpGetFInfo(&fss, &info), noErr);
  if (info.fdType == 0x3F3F3F3F) GTEST_SKIP() << "no extended attributes here";
  EXPECT_EQ(info.fdType, 'pref');
  EXPECT_EQ(info.fdCreator, 'VMxm');
}

TEST_F(Resources, ProgramResourcesAreFoundBesideTheProgram) {
  auto image = Image({Resource('STR#', 136, StrList({"Prog Prefs"}))});
  WriteFile(tmp / "Prog.app/Contents/Resources/Prog.rsrc", std::string(image.begin(), image.end()));
  WriteFile(tmp / "Prog.app/Contents/MacOS/Prog", "");
  tb::SetApplicationPath((tmp / "Prog.app/Contents/MacOS/Prog").string());
  tb::ResetResources();
  Str255 s;
  GetIndString(s, 136, 1);
  tb::SetApplicationPath("");
  EXPECT_EQ(pstr::str(s), "Prog Prefs");
  EXPECT_EQ(CurResFile(), tb::ApplicationResFile());
  EXPECT_NE(CurResFile(), 0);
}

TEST_F(Resources, StringListsThatLieAreReadSafely) {
  std::string lying = StrList({"one"});
  lying[1] = 3;  // claims three items
  std::string cut = StrList({"abcdef"});
  cut.resize(cut.size() - 2);  // last string runs past the end
  OpenApp({Resource('STR#', 1, lying), Resource('STR#', 2, cut), Resource('STR#', 3, "")});
  Str255 s;
  GetIndString(s, 1, 1);
  EXPECT_EQ(pstr::str(s), "one");
  GetIndString(s, 1, 2);
  EXPECT_EQ(s[0], 0);
  GetIndString(s, 2, 1);
  EXPECT_EQ(s[0], 0);
  GetIndString(s, 3, 1);
  EXPECT_EQ(s[0], 0);
  GetIndString(s, 1, 0);
  EXPECT_EQ(s[0], 0);
}

// ---------------------------------------------------------------------------
// Damaged files

std::vector<UInt8> Sample() {
  return Image({Resource('CNFG', 128, "config", "Config"), Resource('PVER', 128, std::string(16, 'v')),
                Resource('TMPL', 128, "t1", "T"), Resource('TMPL', 130, "t2")});
}

OSErr Parse(const std::vector<UInt8>& image) {
  std::vector<tb::ResourceEntry> out;
  return tb::ParseResourceFile(image, out);
}

TEST(ResourceFormat, EveryTruncationIsRefused) {
  auto image = Sample();
  ASSERT_EQ(Parse(image), noErr);
  for (std::size_t n = 0; n < image.size(); ++n) {
    std::vector<UInt8> cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(Parse(cut), mapReadErr) << "length " << n;
  }
}

TEST(ResourceFormat, LyingFieldsAreRefused) {
  const auto good = Sample();
  const UInt32 mapOff = be::get32(good.data() + 4);
  const UInt32 typeList = mapOff + be::get16(good.data() + mapOff + 24);
  const UInt32 firstRef = typeList + be::get16(good.data() + typeList + 2 + 6);
  struct Fault {
    const char* what;
    std::function<void(std::vector<UInt8>&)> damage;
  } faults[] = {
      {"data offset past end", [](auto& b) { be::put32(b.data(), 0xFFFFFFF0); }},
      {"data length past end", [](auto& b) { be::put32(b.data() + 8, 0x7FFFFFFF); }},
      {"map length past end", [](auto& b) { be::put32(b.data() + 12, 0x7FFFFFFF); }},
      {"map inside data", [&](auto& b) { be::put32(b.data() + 4, be::get32(b.data())); }},
      {"map over the header", [](auto& b) { be::put32(b.data() + 4, 4); }},
      {"type list past map", [&](auto& b) { be::put16(b.data() + mapOff + 24, 0xFFF0); }},
      {"name list past map", [&](auto& b) { be::put16(b.data() + mapOff + 26, 0xFFF0); }},
      {"too many types", [&](auto& b) { be::put16(b.data() + typeList, 0x7FFF); }},
      {"too many references", [&](auto& b) { be::put16(b.data() + typeList + 2 + 4, 0x3FFF); }},
      {"reference list past map", [&](auto& b) { be::put16(b.data() + typeList + 2 + 6, 0xFFF0); }},
      {"name past map", [&](auto& b) { be::put16(b.data() + firstRef + 2, 0x7000); }},
      {"data offset past data", [&](auto& b) { be::put24(b.data() + firstRef + 5, 0xFFFFF0); }},
      {"data length past data",
       [&](auto& b) {
         be::put32(b.data() + 256 + be::get24(b.data() + firstRef + 5), 0x00FFFFFF);
       }},
      {"two references to one block",
       [&](auto& b) {
         be::put24(b.data() + firstRef + 12 + 5, be::get24(b.data() + firstRef + 5));
       }},
      {"duplicate type", [&](auto& b) { be::put32(b.data() + typeList + 2 + 8, 'CNFG'); }},
      {"duplicate id",
       [&](auto& b) {
         UInt32 tmpl = typeList + be::get16(b.data() + typeList + 2 + 16 + 6);
         be::put16(b.data() + tmpl + 12, 128);
       }},
  };
  for (const auto& f : faults) {
    auto bad = good;
    f.damage(bad);
    EXPECT_EQ(Parse(bad), mapReadErr) << f.what;
  }
}

TEST(ResourceFormat, RandomDamageNeverReadsOutsideTheFile) {
  const auto good = Sample();
  std::mt19937 rng(1234);
  int accepted = 0;
  for (int round = 0; round < 4000; ++round) {
    auto bad = good;
    int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) bad[rng() % bad.size()] = static_cast<UInt8>(rng());
    std::vector<tb::ResourceEntry> out;
    OSErr err = tb::ParseResourceFile(bad, out);
    EXPECT_TRUE(err == noErr || err == mapReadErr);
    if (err == noErr) {
      ++accepted;
      std::size_t total = 0;
      for (const auto& e : out) total += e.data.size();
      EXPECT_LE(total, bad.size());
    }
  }
  EXPECT_GT(accepted, 0);  // damage in the reserved bytes or data is harmless
}

TEST(ResourceFormat, EmptyFileAndLimits) {
  auto empty = Image({});
  std::vector<tb::ResourceEntry> out;
  ASSERT_EQ(tb::ParseResourceFile(empty, out), noErr);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(be::get16(empty.data() + be::get32(empty.data() + 4) + 28), 0xFFFF);

  std::vector<UInt8> image;
  EXPECT_EQ(tb::BuildResourceFile({Resource('A   ', 1, ""), Resource('A   ', 1, "")}, image),
            addResFailed);
  auto huge = Resource('BIG ', 1, "");
  huge.data.resize(0x1000000);
  EXPECT_EQ(tb::BuildResourceFile({huge, Resource('BIG ', 2, "x")}, image), addResFailed);
  huge.data.resize(0xFFFFF0);
  EXPECT_EQ(tb::BuildResourceFile({huge, Resource('BIG ', 2, "x")}, image), noErr);
  ASSERT_EQ(tb::ParseResourceFile(image, out), noErr);
  EXPECT_EQ(out.size(), 2u);
}

}  // namespace

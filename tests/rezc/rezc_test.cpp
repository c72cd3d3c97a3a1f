// The resource compiler: each kind's bytes, resource headers, errors by line
// and column, included files, and its command line.
#include "rezc.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "test_support.h"
#include "toolbox/files.h"
#include "toolbox/resources.h"

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

using testsupport::Hex;

// The bytes of the single resource a description makes.
std::string One(const std::string& text, const std::string& path = "test.r") {
  rezc::Result r = rezc::Compile(text, path);
  EXPECT_TRUE(r.ok()) << (r.errors.empty() ? "" : r.errors[0]);
  if (r.entries.size() != 1) return "<" + std::to_string(r.entries.size()) + " resources>";
  return Hex(r.entries[0].data);
}

TEST(Rezc, EachKindLaysOutItsBytes) {
  struct {
    const char* text;
    std::string hex;
  } cases[] = {
      {"resource 'STR#' 1 { \"ab\" \"\" \"c\" }",
       "0003"
       "026162"
       "00"
       "0163"},
      {"resource 'STR#' 1 { }", "0000"},
      {"resource 'PVER' 128 { version 3 }", "0003" + std::string(254 * 2, '0')},
      {"resource 'TMPL' 128 { \"rcvWait\" DWRD \"x\" 'H005' }",
       "077263765761697444575244"
       "0178"
       "48303035"},
      {"resource 'SPPT' 128 { filter on count 3 strings 140 }", "01000003008c"},
      {"resource 'SPPT' 128 { strings 0x8C }", "00000000008c"},
      {"resource 'CNFG' 128 { u8 255 u16 0x1234 u32 'CNFG' i8 -1 i16 -2 i32 -3 }",
       "ff1234434e4647fffffefffffffd"},
      {"resource 'CNFG' 128 { string \"ab\" string \"cd\" 4 }", "616263640000"},
      {"resource 'CNFG' 128 { pstring \"ab\" pstring \"c\" 4 }", "02616201630000"},
      {"resource 'CNFG' 128 { hex \"00 01 fF\\n 10\" zero 2 }", "0001ff100000"},
      {"resource 'CNFG' 128 { string \"\\x41\\t\\\"\\\\\\0\" }", "41092209c00"},  // fixed below
      {"resource 'ADMN' 128 { }", ""},
  };
  cases[10].hex = "4109225c00";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(One(c.text), c.hex);
  }
}

TEST(Rezc, HeadersCarryNamesAttributesAndIds) {
  rezc::Result r = rezc::Compile(
      "resource 'CNFG' -4000 \"Settings\" purgeable locked preload { u8 1 }\n"
      "resource 'CNFG' 32767 protected sysheap { }\n"
      "resource 'STR ' 0 \"\" { string \"x\" }",
      "t.r");
  ASSERT_TRUE(r.ok()) << r.errors[0];
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[0].id, -4000);
  EXPECT_EQ(r.entries[0].name, "Settings");
  EXPECT_TRUE(r.entries[0].hasName);
  EXPECT_EQ(r.entries[0].attrs, resPurgeable | resLocked | resPreload);
  EXPECT_FALSE(r.entries[1].hasName);
  EXPECT_EQ(r.entries[1].attrs, resProtected | resSysHeap);
  EXPECT_EQ(r.entries[2].type, 'STR ');
  EXPECT_TRUE(r.entries[2].hasName);
}

TEST(Rezc, ErrorsNameTheLineAndColumn) {
  struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"resource 'CNFG' 1 { u8 256 }", "t.r:1:24: u8 256 is outside 0..255"},
      {"resource 'CNFG' 1 {\n  i16 40000\n}", "t.r:2:7: i16 40000 is outside -32768..32767"},
      {"resource 'CNFG' 1 { pstring \"abcd\" 4 }", "t.r:1:38: the text is 4 bytes; at most 3 fit"},
      {"resource 'CNFG' 1 { string \"abcde\" 4 }", "wider than 4"},
      {"resource 'CNFG' 1 { float 1 }", "unknown field 'float'"},
      {"resource 'CNFG' 1 { hex \"0g\" }", "'g' is not a hex digit"},
      {"resource 'CNFG' 1 { hex \"012\" }", "hex digits come in pairs"},
      {"resource 'CNFG' 1 { file \"nope.bin\" }", "cannot read file"},
      {"resource 'CNFG' 1 shiny { }", "t.r:1:19: unknown attribute 'shiny'"},
      {"resource 'CNFG' 1 u8 1", "unknown attribute 'u8'"},
      {"resource 'CNFG' 1 \"x\" 5", "expected '{'"},
      {"resource 'CNFG' 1 { u8 1", "found the end of the file"},
      {"resource 'CNFG' 40000 { }", "resource id 40000 is outside -32768..32767"},
      {"resource 'CNF' 1 { }", "expected a resource type"},
      {"resource 'CNFGX' 1 { }", "t.r:1:10: a character constant holds 1 to 4 bytes"},
      {"resource 'CNFG' 1 { }\nresource 'CNFG' 1 { }", "t.r:2:10: 'CNFG' 1 is defined twice"},
      {"data 'CNFG' 1 { }", "t.r:1:1: expected 'resource'"},
      {"resource 'STR#' 1 { \"a\n\" }", "t.r:1:21: unterminated string"},
      {"resource 'STR#' 1 { u8 1 }", "expected a list item (a quoted string)"},
      {"resource 'PVER' 1 { 3 }", "expected 'version <number>'"},
      {"resource 'PVER' 1 { version 3 version 4 }", "unexpected item in 'PVER' resource"},
      {"resource 'TMPL' 1 { \"a\" }", "expected a field type"},
      {"resource 'SPPT' 1 { filter maybe }", "expected filter"},
      {"resource 'SPPT' 1 { names 3 }", "expected 'filter', 'count' or 'strings'"},
      {"resource 'CNFG' 1 { u8 1x }", "bad number"},
      {"resource 'CNFG' 1 { u8 \"\\q\" }", "unknown escape \\q"},
      {"resource 'CNFG' 1 { u8 1 } @", "unexpected character '@'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    rezc::Result r = rezc::Compile(c.text, "t.r");
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.errors[0].find(c.error), std::string::npos) << r.errors[0];
    EXPECT_TRUE(r.entries.empty());
  }
  // Limits of strings, names and lists.
  std::string big(256, 'x');
  for (const std::string& text :
       {"resource 'STR#' 1 { \"" + big + "\" }", "resource 'CNFG' 1 \"" + big + "\" { }",
        "resource 'TMPL' 1 { \"" + big + "\" DWRD }",
        "resource 'CNFG' 1 { pstring \"" + big + "\" }"}) {
    EXPECT_FALSE(rezc::Compile(text, "t.r").ok()) << text.substr(0, 20);
  }
}

TEST(Rezc, IncludedFilesAreDataAndDependencies) {
  TempDir tmp;
  WriteFile(tmp / "pics/logo.png", std::string("\x89PNG\0", 5));
  rezc::Result r = rezc::Compile("resource 'blob' 5 { u8 7 file \"pics/logo.png\" u8 9 }",
                                 (tmp / "prog.r").string());
  ASSERT_TRUE(r.ok()) << r.errors[0];
  EXPECT_EQ(Hex(r.entries[0].data),
            "07"
            "89504e4700"
            "09");
  ASSERT_EQ(r.dependencies.size(), 1u);
  EXPECT_EQ(r.dependencies[0], (tmp / "pics/logo.png").string());
}

TEST(Rezc, TheBuildCompiledTheSample) {
  FSSpec fss;
  ASSERT_EQ(tb::PathToSpec(REZC_SAMPLE, &fss), noErr);
  tb::ResetResources();
  SInt16 ref = FSpOpenResFile(&fss, fsRdPerm);
  ASSERT_GT(ref, 0) << ResError();
  Str255 s;
  GetIndString(s, 136, 2);
  EXPECT_EQ(pstr::str(s), "Sample Temp Prefs");
  Handle cnfg = Get1Resource('CNFG', 128);
  ASSERT_NE(cnfg, nullptr);
  EXPECT_EQ(GetHandleSize(cnfg), 16);
  EXPECT_EQ(be::get32(*cnfg + 6), 0xFFFFFFFFu);
  Handle pver = Get1Resource('PVER', 128);
  ASSERT_NE(pver, nullptr);
  EXPECT_EQ(GetHandleSize(pver), 256);
  EXPECT_EQ(GetResAttrs(pver), resPurgeable);
  Handle blob = Get1Resource('blob', 1);
  ASSERT_NE(blob, nullptr);
  EXPECT_EQ(std::string(*blob, 4), "PNG?");
  CloseResFile(ref);
  tb::ResetResources();
}

int Shell(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Rezc, CommandLine) {
  TempDir tmp;
  const std::string exe = REZC_EXE;
  const std::string in = std::string(REZC_DATA) + "/sample.r";
  const fs::path out = tmp / "out dir.rsrc";
  const fs::path dep = tmp / "out.d";
  ASSERT_EQ(Shell(exe + " --depfile '" + dep.string() + "' '" + in + "' '" + out.string() + "'"),
            0);
  std::string image = ReadFile(out);
  std::vector<tb::ResourceEntry> entries;
  ASSERT_EQ(tb::ParseResourceFile(
                std::span(reinterpret_cast<const UInt8*>(image.data()), image.size()), entries),
            noErr);
  EXPECT_EQ(entries.size(), 6u);
  std::string rule = ReadFile(dep);
  EXPECT_NE(rule.find("out\\ dir.rsrc:"), std::string::npos) << rule;
  EXPECT_NE(rule.find("blob.bin"), std::string::npos) << rule;

  EXPECT_EQ(Shell(exe + " --list '" + out.string() + "' > '" + (tmp / "list").string() + "'"), 0);
  EXPECT_NE(ReadFile(tmp / "list").find("'STR#'    136"), std::string::npos);

  WriteFile(tmp / "bad.r", "resource 'CNFG' 1 { u8 300 }\n");
  const fs::path keep = tmp / "keep.rsrc";
  WriteFile(keep, "old");
  EXPECT_EQ(Shell(exe + " '" + (tmp / "bad.r").string() + "' '" + keep.string() + "' 2> '" +
                  (tmp / "err").string() + "'"),
            1);
  EXPECT_NE(ReadFile(tmp / "err").find("bad.r:1:24: u8 300 is outside 0..255"), std::string::npos);
  EXPECT_EQ(ReadFile(keep), "old");  // a failed build leaves the old output alone
  EXPECT_EQ(Shell(exe + " 2>/dev/null"), 2);
}

}  // namespace

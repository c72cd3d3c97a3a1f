// The installer's pieces without its windows: the launch option, the path
// reader of the language file, the failure alert's text and the traces.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Installer/DebugTrace.h"
#include "Installer/InstApp.h"
#include "test_support.h"

namespace {

using testsupport::WriteFile;

TEST(InstallerParts, LaunchOptionNamesALanguageOrNone) {
  struct Case {
    std::string text;
    int named;
    const char* language;
  } cases[] = {
      {"", 0, ""},
      {"-l", 1, ""},
      {"-l ", 0, ""},
      {"-l English", 0, ""},
      {"-L", 1, ""},
      {"-lEnglish", 1, "English"},
      {"-LJapanese", 1, "Japanese"},
      {"Deutsch", 1, "Deutsch"},
      {"-l..", 0, ""},
      {"-l../x", 0, ""},
      {"a:b", 0, ""},
      {".", 0, ""},
      {std::string(200, 'x'), 1, "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"},
  };
  for (const auto& c : cases) {
    unsigned char option[256] = {UInt8(c.text.size())};
    std::memcpy(option + 1, c.text.data(), c.text.size());
    char language[32] = "junk";
    EXPECT_EQ(Analysis_Option(option, language, sizeof language), c.named) << c.text;
    EXPECT_STREQ(language, c.language) << c.text;
  }
}

TEST(InstallerParts, PathReaderTakesAnyLineEndAndStopsAtTheNextSection) {
  testsupport::TempDir dir;
  const char* body[] = {"[SYSLANG]",  "LANG_00=English",        "XLANG_11=Wrong", "LANG_11=Japanese",
                        "[Language]", "Lang00=English;English", "[Other]",        "DEFAULT=Elsewhere"};
  for (const char* end : {"\n\r", "\r\n", "\n", "\r"}) {
    std::string text;
    for (const char* line : body) text += std::string(line) + end;
    WriteFile(dir / "Language.INI", text.substr(0, text.size() - std::strlen(end)));  // last line unended
    const std::string path = (dir / "Language.INI").string();
    char value[64] = "unchanged";
    EXPECT_EQ(Load_File_To_Cstring(value, sizeof value, "LANG_11=", "[SYSLANG]", path.c_str()), 1);
    EXPECT_STREQ(value, "Japanese");
    EXPECT_EQ(Load_File_To_Cstring(value, sizeof value, "DEFAULT=", "[SYSLANG]", path.c_str()), 0);
    EXPECT_EQ(Load_File_To_Cstring(value, sizeof value, "DEFAULT=", "[Other]", path.c_str()), 1);
    EXPECT_STREQ(value, "Elsewhere");  // the last line keeps its last character
    char small[4];
    EXPECT_EQ(Load_File_To_Cstring(small, sizeof small, "Lang00=", "[Language]", path.c_str()), 1);
    EXPECT_STREQ(small, "Eng");
  }
}

TEST(InstallerParts, FailureTextAndDebugTraces) {
  EXPECT_EQ(Copy_Failure_Text("Failed:\r%s", {"a (-36)", "b (-43)"}), "Failed:\ra (-36)\rb (-43)");
  EXPECT_EQ(Copy_Failure_Text("no format", {"a"}), "These files could not be installed:\ra");
  EXPECT_EQ(Copy_Failure_Text("%d %s", {"a"}), "These files could not be installed:\ra");

  Str255 out;
  Debug_Str_From_Long("label", 42, out);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 1), out[0]), "label : 42");
  std::string longLabel(300, 'L');
  Debug_Str_From_Str(longLabel.c_str(), "v", out);
  EXPECT_EQ(out[0], 255);

  testsupport::TempDir dir;
  testsupport::ScopedEnv state("XDG_STATE_HOME", dir.path().c_str());
  FILE* first = start_debug();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(start_debug(), first);
  struct stat st {};
  ASSERT_EQ(stat((dir / "vemo/VEMO_log.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace

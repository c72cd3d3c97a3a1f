// The ini readers: line ends, sections and keys, values cut to their
// buffers on character boundaries, and hostile files and buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/IniFile.h"
#include "test_support.h"
#include "toolbox/files.h"

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Reader A over exactly sized bytes; "<n>" for a result without a value.
std::string readerA(const std::string& data, const char* section, const char* key, int size = 1024) {
  std::vector<char> bytes(data.begin(), data.end());
  std::vector<char> out(static_cast<std::size_t>(size > 0 ? size : 1), '#');
  int r = GetFileDataFromBuffer(bytes.data(), bytes.size(), section, key, out.data(), size);
  if (r < 1) return "<" + std::to_string(r) + ">";
  EXPECT_EQ(static_cast<std::size_t>(r), std::strlen(out.data()));
  return out.data();
}

std::string readerB(const std::string& data, const char* section, const char* key, int size = 1024) {
  std::vector<char> bytes(data.begin(), data.end());
  std::vector<char> out(static_cast<std::size_t>(size > 0 ? size : 1), '#');
  out.back() = '\0';
  std::string before(out.data());
  if (!Load_Buffer_To_Cstring(bytes.data(), bytes.size(), out.data(), key, section, size)) {
    EXPECT_EQ(before, out.data()) << "output changed although nothing was found";
    return "<none>";
  }
  return out.data();
}

// The same small file with every kind of line end.
std::string withEnds(const std::string& eol, bool finalEol) {
  std::string s = "[BUTTON]" + eol + "OK=Okay" + eol + "CANCEL=Stop" + eol + "[TITLE]" + eol +
                  "MAIN=Main window";
  return finalEol ? s + eol : s;
}

TEST(IniText, FindCRLFAndSkiptoNextLine) {
  const char t[] = "ab\r\n\ncd\0ef\n";
  const char* end = t + sizeof t - 1;
  EXPECT_EQ(FindCRLF(t, end), t + 2);
  EXPECT_EQ(SkiptoNextLine(t, end), t + 5);
  EXPECT_EQ(FindCRLF(t + 5, end), nullptr);  // a NUL comes first
  EXPECT_EQ(SkiptoNextLine(t + 5, end), nullptr);
  EXPECT_EQ(FindCRLF(t, t + 2), t + 2);  // end reached: the end itself
  EXPECT_EQ(SkiptoNextLine(t, t + 2), nullptr);
  EXPECT_EQ(SkiptoNextLine(t, t + 4), t + 4);  // the run reaches the end
}

TEST(IniText, SetKaigyou) {
  struct Case {
    std::string in;
    int length;
    int lines;
    std::string out;  // the whole buffer afterwards
  } cases[] = {
      {"A\\nB", 4, 2, std::string("A\rB\0", 4)},
      {"A\\nB\\n", 6, 3, std::string("A\rB\r\0n", 6)},
      {"no breaks", 9, 1, "no breaks"},
      {"A\\nB", 2, 1, "A\\nB"},  // the pair is cut by the length: left alone
      {"\\\\n", 3, 2, std::string("\\\r\0", 3)},
      {"", 0, 1, ""},
  };
  for (auto c : cases) {
    std::string buf = c.in;
    EXPECT_EQ(SetKaigyou(buf.data(), c.length), c.lines) << c.in;
    EXPECT_EQ(buf, c.out) << c.in;
  }
}

TEST(IniText, DeleteTitleFlag) {
  char out[16];
  EXPECT_EQ(DeleteTitleFlag(out, "TAB=Tabs", "TAB=", sizeof out), 4);
  EXPECT_STREQ(out, "Tabs");
  DeleteTitleFlag(out, "xTyAB=z", "TAB=", sizeof out);  // key characters dropped in order
  EXPECT_STREQ(out, "xyz");
  EXPECT_EQ(DeleteTitleFlag(out, "K=0123456789ABCDEFGH", "K=", sizeof out), 15);
  EXPECT_STREQ(out, "0123456789ABCDE");
  char small[5];
  DeleteTitleFlag(small, "K=ab\xE2\x82\xAC", "K=", sizeof small);  // € would be split
  EXPECT_STREQ(small, "ab");
}

TEST(IniReaderA, LookupRules) {
  const std::string file =
      "[MAIN]\nNOTE=see [BUTTON] below\n"
      "[BUTTON]\r\n\r\nOK=Okay\r\nTAB04=Fourth\r\nTAB=Tab\r\n\r\n[LABEL]\r\nLATE=Later\r\n";
  struct Case {
    const char* section;
    const char* key;
    const char* want;
  } cases[] = {
      {"[MAIN]", "NOTE=", "NOTE=see [BUTTON] below"},
      {"[BUTTON]", "OK=", "<-1>"},  // found first inside a value; the real heading then ends it
      {"[LABEL]", "LATE=", "LATE=Later"},
      {"[MAIN]", "LATE=", "<-1>"},    // stands only in a later section
      {"[NONE]", "OK=", "<-1>"},
      {"[LABEL]", "NONE=", "<0>"},    // the data ends first
  };
  for (const auto& c : cases) EXPECT_EQ(readerA(file, c.section, c.key), c.want) << c.section << c.key;

  const std::string plain = "[BUTTON]\r\n\r\nOK=Okay\r\nTAB04=Fourth\r\nTAB=Tab\r\n\r\n[LABEL]\r\n";
  EXPECT_EQ(readerA(plain, "[BUTTON]", "OK="), "OK=Okay");  // blank line skipped
  EXPECT_EQ(readerA(plain, "[BUTTON]", "TAB="), "TAB=Tab");
  EXPECT_EQ(readerA(plain, "[BUTTON]", "TAB"), "TAB04=Fourth");  // a key without "=" is a prefix
  EXPECT_EQ(readerA(plain, "[BUTTON]", "GONE="), "<-1>");  // "[LABEL]" ends the section
}

TEST(IniReaderA, EveryLineEndAndNoneAtTheEnd) {
  for (std::string eol : {"\n", "\r", "\r\n", "\n\r"}) {
    for (bool finalEol : {true, false}) {
      std::string f = withEnds(eol, finalEol);
      EXPECT_EQ(readerA(f, "[BUTTON]", "OK="), "OK=Okay");
      EXPECT_EQ(readerA(f, "[BUTTON]", "CANCEL="), "CANCEL=Stop");
      EXPECT_EQ(readerA(f, "[TITLE]", "MAIN="), "MAIN=Main window");  // the last line
      EXPECT_EQ(readerB(f, "[TITLE]", "MAIN="), "Main window");
      EXPECT_EQ(readerB(f, "[BUTTON]", "OK="), "Okay");
    }
  }
}

TEST(IniReaderA, LineMustFitTheBuffer) {
  const std::string f = "[S]\nK=12345\n";
  EXPECT_EQ(readerA(f, "[S]", "K=", 8), "K=12345");  // length 7 below 8
  EXPECT_EQ(readerA(f, "[S]", "K=", 7), "<-1>");
  EXPECT_EQ(readerA(f, "[S]", "K=", 0), "<-1>");
}

TEST(IniReaderA, HostileBuffers) {
  EXPECT_EQ(readerA("[S]", "[S]", "K="), "<0>");
  EXPECT_EQ(readerA("[S]\nK", "[S]", "K=LONGKEY"), "<0>");  // key longer than what is left
  EXPECT_EQ(readerA("[S]\nK=a\0b\nL=c", "[S]", "K="), "K=a");
  EXPECT_EQ(readerA(std::string("[S]\0\nK=v", 8), "[S]", "K="), "<0>");  // NUL before any line end
  EXPECT_EQ(readerA("", "[S]", "K="), "<-1>");
  std::mt19937 rng(7);
  const char alphabet[] = "[S]=K\r\n\0\xC3\xA9x";
  for (int i = 0; i < 3000; ++i) {
    std::string junk(rng() % 64, ' ');
    for (char& c : junk) c = alphabet[rng() % (sizeof alphabet - 1)];
    readerA(junk, "[S]", "K=", static_cast<int>(rng() % 12));
    readerB(junk, "[S]", "K=", static_cast<int>(rng() % 12));
  }
}

TEST(IniReaderB, LookupRules) {
  const std::string file =
      "[BUTTON]\nOK=Okay\nTAB04=Fourth\nTAB=Tab\n[LABEL]\nLATE=Later\nxOK=wrong\n";
  EXPECT_EQ(readerB(file, "[BUTTON]", "LATE="), "Later");  // later sections do not stop it
  EXPECT_EQ(readerB(file, "[BUTTON]", "TAB="), "Tab");
  EXPECT_EQ(readerB(file, "[BUTTON]", "TAB"), "Tab");  // "TAB04=" is not key TAB
  EXPECT_EQ(readerB(file, "[LABEL]", "OK="), "<none>");  // "xOK=" does not begin with the key
  EXPECT_EQ(readerB(file, "[NONE]", "OK="), "<none>");
  EXPECT_EQ(readerB(file, "[BUTTON]", "OK=", 5), "Okay");
  EXPECT_EQ(readerB(file, "[BUTTON]", "OK=", 4), "<none>");
  EXPECT_EQ(readerB("[S]\nK=last", "[S]", "K="), "last");  // no character lost at the end
  // A line longer than a reader-B line is skipped whole, also its tail.
  std::string longLine = "[S]\nX=" + std::string(2000, 'y') + "K=tail\nK=real\n";
  EXPECT_EQ(readerB(longLine, "[S]", "K="), "real");
}

class IniFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "App.app/Contents/Resources/English.ini", withEnds("\r", true));
    WriteFile(dir_ / "App.app/Contents/MacOS/App", "");
    tb::SetApplicationPath((dir_ / "App.app/Contents/MacOS/App").string());
  }
  void TearDown() override { tb::SetApplicationPath(""); }
  std::string path(const std::string& leaf) { return (dir_ / leaf).string(); }
  std::string write(const std::string& leaf, const std::string& bytes) {
    WriteFile(dir_ / leaf, bytes);
    return path(leaf);
  }
  TempDir dir_;
};

TEST_F(IniFiles, NamesRelativeToTheProgramAndFullPaths) {
  char out[64] = "unchanged";
  EXPECT_EQ(Load_File_To_CstringEx("[BUTTON]", "OK=", out, sizeof out, "::Resources:English.ini"), 1);
  EXPECT_STREQ(out, "Okay");
  std::string full = path("App.app/Contents/Resources/English.ini");
  EXPECT_EQ(Load_File_To_CstringEx("[TITLE]", "MAIN=", out, sizeof out, full.c_str()), 1);
  EXPECT_STREQ(out, "Main window");
  Str255 p;
  EXPECT_EQ(Load_File_To_PascalEx2(p, "CANCEL=", "[BUTTON]", "::Resources:English.ini"), 1);
  EXPECT_EQ(pstr::str(p), "Stop");
  EXPECT_EQ(Load_File_To_PascalEx2(p, "CANCEL=", "[BUTTON]", full.c_str()), 1);

  std::strcpy(out, "unchanged");
  for (const char* missing : {"::Resources:Missing.ini", "/no/such/file.ini", "", ":::::::x"}) {
    EXPECT_EQ(Load_File_To_CstringEx("[BUTTON]", "OK=", out, sizeof out, missing), 0) << missing;
    EXPECT_EQ(Load_File_To_PascalEx("[BUTTON]", "OK=", p, sizeof p, missing), 0) << missing;
  }
  EXPECT_EQ(Load_File_To_CstringEx("[BUTTON]", "OK=", out, sizeof out, std::string(300, 'a').c_str()), 0);
  EXPECT_STREQ(out, "unchanged");
}

TEST_F(IniFiles, ValueSizesAreRefusedOrCutOnCharacters) {
  std::string f = write("v.ini", "[S]\nK=12345\nU=ab\xC3\xA9\xC3\xA9\nL=" + std::string(300, 'z') + "\n");
  char out[8] = "same";
  EXPECT_EQ(Load_File_To_CstringEx("[S]", "K=", out, 6, f.c_str()), 1);  // 5 below 6
  EXPECT_EQ(Load_File_To_CstringEx("[S]", "K=", out, 5, f.c_str()), 0);  // refused whole
  EXPECT_STREQ(out, "12345");
  Str255 p;
  EXPECT_EQ(Load_File_To_PascalEx("[S]", "L=", p, sizeof p, f.c_str()), 1);
  EXPECT_EQ(p[0], 255);
  EXPECT_EQ(Load_File_To_PascalEx("[S]", "U=", p, 6, f.c_str()), 1);  // 5 bytes would split é
  EXPECT_EQ(pstr::str(p), "ab\xC3\xA9");
  EXPECT_EQ(Load_File_To_PascalEx("[S]", "U=", p, 0, f.c_str()), 0);
}

TEST_F(IniFiles, HostileFiles) {
  const std::string mib(1 << 20, 'x');
  struct Case {
    std::string bytes;
    const char* key;
    int wantA;  // reader A found it
    int wantB;
  } cases[] = {
      {"[S]\nK=v", "K=", 1, 1},                       // truncated after the value
      {"[S]\nK", "K=", 0, 0},                         // truncated inside the key
      {"[S", "K=", 0, 0},                             // truncated inside the heading
      {"[S]\n" + mib, "K=", 0, 0},                    // 1 MiB single line
      {"[S]\nK=" + mib + "\n", "K=", 0, 0},           // a value far beyond any line
      {"[S]\n" + mib + "\nK=after\n", "K=", 1, 1},    // found behind the long line
      {std::string("\x00\xFF[S]\xFE\nK=\x7F\x80\n", 12), "K=", 1, 1},
      {"", "K=", 0, 0},
  };
  for (const auto& c : cases) {
    std::string f = write("h.ini", c.bytes);
    char out[64] = "same";
    EXPECT_EQ(Load_File_To_CstringEx("[S]", c.key, out, sizeof out, f.c_str()), c.wantA) << c.bytes.size();
    EXPECT_EQ(Load_File_To_Cstring(out, c.key, "[S]", f.c_str(), sizeof out), c.wantB) << c.bytes.size();
  }
  // Nothing to read, or more than any text file holds: neither reader waits
  // on it or reads it to its end.
  for (testsupport::Hostile kind : testsupport::kHostileKinds) {
    const std::string f = path("hostile" + std::to_string(int(kind)) + ".ini");
    testsupport::MakeHostile(f, kind, "[S]\nK=v\n");
    char out[64] = "same";
    EXPECT_EQ(Load_File_To_CstringEx("[S]", "K=", out, sizeof out, f.c_str()), 0) << testsupport::HostileName(kind);
    EXPECT_EQ(Load_File_To_Cstring(out, "K=", "[S]", f.c_str(), sizeof out), 0) << testsupport::HostileName(kind);
  }
  char out[8] = "same";
  EXPECT_EQ(Load_File_To_Cstring(out, "K=", "[S]", path("missing.ini").c_str(), sizeof out), 0);
  Str255 p;
  EXPECT_EQ(Load_File_To_Pascal(p, "K=", "[S]", path("missing.ini").c_str()), 0);
  EXPECT_STREQ(out, "same");
}

TEST_F(IniFiles, ReaderBFromAFile) {
  std::string f = write("b.ini", "\n\r[S]\n\rK=value\n\rL=" + std::string(300, 'q') + "\n\r");
  char out[16];
  EXPECT_EQ(Load_File_To_Cstring(out, "K=", "[S]", f.c_str(), sizeof out), 1);
  EXPECT_STREQ(out, "value");
  Str255 p;
  EXPECT_EQ(Load_File_To_Pascal(p, "L=", "[S]", f.c_str()), 1);
  EXPECT_EQ(p[0], 255);
}

TEST_F(IniFiles, GetFileDataThroughASpec) {
  std::string f = write("s.ini", "[S]\nK=text\n");
  FSSpec fss;
  ASSERT_EQ(tb::PathToSpec(f, &fss), noErr);
  char line[32];
  EXPECT_EQ(GetFileData("[S]", "K=", line, sizeof line, &fss), 6);
  EXPECT_STREQ(line, "K=text");
  EXPECT_EQ(Get_File_To_CstringEx("[S]", "K=", line, sizeof line, &fss), 1);
  EXPECT_STREQ(line, "text");
  EXPECT_EQ(GetFileData("[S]", "K=", line, sizeof line, nullptr), 0);
  ASSERT_EQ(tb::PathToSpec(path("gone.ini"), &fss), fnfErr);
  EXPECT_EQ(GetFileData("[S]", "K=", line, sizeof line, &fss), 0);
}

}  // namespace

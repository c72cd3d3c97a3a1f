// The installer's language file ("Language.INI" beside the executable) and
// message file ("MESSAGE.INI" of the chosen language) with fuzzed contents,
// read by the wizard's own reader as the wizard reads them: the system
// language's name, the language page's rows, the tool list of the tools
// page with its memos, the texts the pages and alerts show (a "\n" pair
// becomes a line break), the copy-failure alert built from its format; and
// the launch option naming the language.
//
// Input: a selector byte (bits 0-1 the system language: English, Japanese,
// German, Korean), a u16 length (big-endian) and that many bytes of the
// language file, a byte and that many bytes of the launch option's text,
// then the message file.
#include <cstring>
#include <string>
#include <vector>

#include "common/IniFile.h"
#include "fuzz_support.h"
#include "Installer/InstApp.h"
#include "toolbox/bundle.h"
#include "toolbox/files.h"

namespace {

std::string gLanguageFile, gMessageFile;

// The keys the pages and alerts read from the message file.
const char* const kTexts[][2] = {
    {"[ERROR]", "MESSAGE_03="}, {"[ERROR]", "MESSAGE_50="},    {"[ERROR]", "MESSAGE_51="},
    {"[INSTALL]", "COPY="},     {"[BIT_LABEL]", "APR_TITLE="}, {"[BIT_LABEL]", "INSTALL_TITLE="},
    {"[LABEL]", "APR_00="},     {"[LABEL]", "INSTALL_02="},    {"[BUTTON]", "OK="},
    {"[BUTTON]", "CANCEL="},    {"[APR]", "MEMO_00="},         {"[BIT_LABEL]", "INSTALL_CONTENTS="},
};

bool Ends(const char* field, std::size_t size) { return std::memchr(field, '\0', size) != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static fuzz::ScratchFile disc("disc");
  const std::filesystem::path contents = disc.dir() / "vemoplexinstall.app/Contents";
  std::filesystem::create_directories(contents / "MacOS");
  std::filesystem::create_directories(contents / "Resources/English");
  const std::string exe = (contents / "MacOS/vemoplexinstall").string();
  fuzz::ScratchFile::WriteAt(exe, {});
  tb::SetApplicationPath(exe);
  std::strcpy(LanguFileName, "Language.INI");
  gLanguageFile = (contents / "MacOS/Language.INI").string();
  gMessageFile = (contents / "Resources/English/MESSAGE.INI").string();
  fuzz::ScratchFile::WriteAt((contents / "Resources/COPYFILE.INI").string(), {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  const std::uint8_t sel = in.U8();
  static const char* const kLangs[] = {"en", "ja", "de", "ko"};
  tb::SetSystemLanguage(kLangs[sel & 3]);
  fuzz::ScratchFile::WriteAt(gLanguageFile, in.Bytes(in.U16()));
  const auto option = in.Bytes(in.U8());
  fuzz::ScratchFile::WriteAt(gMessageFile, in.Rest());

  // The language file: the system language's name, the language page.
  char name[64];
  std::memset(name, 0x7F, sizeof name);
  Get_System_Language(name, sizeof name, gLanguageFile.c_str());
  fuzz::Check(Ends(name, sizeof name), "the language name ends in its field");
  std::vector<LANG_DATA> langs(kLangMax);
  INST_DLG_INFO table;
  table.langData = langs.data();
  Build_Language_Data(&table);
  for (const LANG_DATA& l : langs)
    fuzz::Check(Ends(l.cLanguage, sizeof l.cLanguage) && Ends(l.cDir, sizeof l.cDir),
                "a language row's fields end in them");

  // The launch option: a language that cannot name another folder.
  UInt8 popt[256];
  popt[0] = UInt8(option.size());
  std::memcpy(popt + 1, option.data(), option.size());
  char language[32];
  if (Analysis_Option(popt, language, sizeof language) && language[0]) {
    const std::string l = language;
    fuzz::Check(l.size() < sizeof language && l.find_first_of(":/") == std::string::npos && l != "." && l != "..",
                "the option's language names a folder inside Resources");
  }

  // The message file, as the pages and alerts read it.
  Set_Language_Infomation("English");
  fuzz::Check(instData.messSpec == gMessageFile, "the message file of the language is the one written");
  for (const auto& t : kTexts) {
    const std::string text = Message_Text(t[0], t[1]);
    fuzz::Check(text.size() <= std::size_t(kIniLineMax) && text.find('\0') == std::string::npos,
                "a message fits a line and holds no NUL");
  }
  std::vector<TOOL_DATA> tools(kToolMax + 1);
  std::memset(tools.data(), 0x7F, tools.size() * sizeof(TOOL_DATA));
  table.toolData = tools.data();
  Build_Tool_Data(&table);
  fuzz::Check(table.toolCnt >= 0 && table.toolCnt <= kToolMax, "the tool list has at most its rows");
  for (int i = 0; i < table.toolCnt; ++i)
    fuzz::Check(Ends(tools[std::size_t(i)].cToolName, sizeof tools[0].cToolName), "a tool's name ends in its field");
  fuzz::Check(tools[kToolMax].cFileCnt == 0x7F7F, "the row past the list is untouched");
  const std::string failure = Copy_Failure_Text(Message_Text("[ERROR]", "MESSAGE_51="), {"a.app", "b.app"});
  fuzz::Check(failure.find("a.app\rb.app") != std::string::npos, "the failure alert names the files");
  return 0;
}

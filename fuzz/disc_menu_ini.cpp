// The disc start menu's ini files with fuzzed contents, read by the menu's
// own routines as at start-up: "UserLangu.ini" chooses the type, the
// language and the first screen; the language's "MENU.INI" gives the main
// menu, the sub-menus its entries lead to (read as a click on each would),
// their fonts and colours and the launch options. Pictures the files name
// are loaded when they exist; nothing is opened or started.
//
// Input: a selector byte (bits 0-1 the system language), the length of
// "UserLangu.ini" (u16, big-endian), its bytes, then "MENU.INI".
#include <cstring>
#include <string>

#include "discmenu/setup/Autorun.h"
#include "fuzz_support.h"
#include "toolbox/bundle.h"
#include "toolbox/files.h"
#include "toolbox/quickdraw.h"

namespace {

fuzz::ScratchFile* disc = nullptr;
std::filesystem::path resources;

bool IsGo(const char* obj) { return std::strncmp(obj, "GO_", 3) == 0; }

// Every entry of a table read: its texts end in their fields.
void CheckTable(const MENU_DATA* table, short count) {
  for (short i = 0; i < count; ++i) {
    fuzz::Check(std::memchr(table[i].obj, '\0', sizeof table[i].obj) != nullptr &&
                    std::memchr(table[i].lang, '\0', sizeof table[i].lang) != nullptr,
                "an entry's target and language end in their fields");
    Str255 option;
    Make_Launch_Option(&table[i], option);
    fuzz::Check(option[0] <= kLaunchOptionMax, "a launch option is cut to its length");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static fuzz::ScratchFile dir("disc");
  disc = &dir;
  const std::filesystem::path app = dir.dir() / "setup.app/Contents";
  resources = app / "Resources";
  std::filesystem::create_directories(app / "MacOS");
  std::filesystem::create_directories(resources / "English");
  fuzz::ScratchFile::WriteAt((app / "MacOS/setup").string(), {});
  tb::SetApplicationPath((app / "MacOS/setup").string());
  tb::SetMainBundlePath((dir.dir() / "setup.app").string());
  // Fonts measure in the current port.
  static GWorldPtr world = nullptr;
  const Rect r{0, 0, 480, 640};
  if (NewGWorld(&world, 32, &r, nullptr, nullptr, 0) != noErr || !world) std::abort();
  SetGWorld(world, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Paths in the files are partial paths that may climb out of the disc:
  // keep the fuzzer away from the system's device and process files.
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  for (const char* word : {"dev", "proc", "sys", "run"})
    if (all.find(word) != std::string_view::npos) return -1;
  fuzz::Cursor in(data, size);
  const std::uint8_t sel = in.U8();
  static const char* const kLanguages[] = {"en", "ja", "de", "el"};
  tb::SetSystemLanguage(kLanguages[sel & 3]);
  const std::uint16_t languLen = in.U16();
  fuzz::ScratchFile::WriteAt((resources / "UserLangu.ini").string(), in.Bytes(languLen));
  fuzz::ScratchFile::WriteAt((resources / "English/MENU.INI").string(), in.Rest());

  fuzz::Check(Get_Autorun_Start_Infomation() == 1, "the start-up file is found");
  fuzz::Check(std::memchr(gAutorunInfo.type, '\0', sizeof gAutorunInfo.type) != nullptr, "the type is cut");
  gActivePNum = Choose_First_Screen();
  fuzz::Check(std::memchr(gAutorunInfo.langName, '\0', sizeof gAutorunInfo.langName) != nullptr,
              "the language's name is cut");

  // The main menu of the English menu file, whatever the start-up chose.
  FSSpec menu;
  fuzz::Check(Make_Program_Spec("::Resources:English:MENU.INI", &menu) == noErr, "the menu file is found");
  gAutorunInfo.menuFile = menu;
  gAutorunInfo.menuFileSet = 1;
  Get_Contents_Keywoad();
  CheckTable(iContents, kMainMenuSlots);
  for (short i = 0; i < kMainMenuSlots; ++i) {
    if (!iContents[i].enable || !IsGo(iContents[i].obj)) continue;
    fuzz::Check(Get_Menu_Keywoad(&iContents[i], iManual, kSubMenuSlots) == 1, "a GO_ entry reads its sub-menu");
    CheckTable(iManual, kSubMenuSlots);
    for (short k = 0; k < kSubMenuSlots; ++k)
      if (iManual[k].enable && IsGo(iManual[k].obj)) {
        Get_Menu_Keywoad(&iManual[k], iCommon, kCommonSlots);
        CheckTable(iCommon, kCommonSlots);
      }
  }
  MENU_FONT font;
  for (const char* key : {"SUP_ADD=", "NORMAL_MENU=", "SELECT_MENU="}) Get_Menu_Font(&menu, key, &font);
  Dispose_All_GWorld();
  Clear_Menu_Table(iContents, kMainMenuSlots);
  Clear_Menu_Table(iManual, kSubMenuSlots);
  Clear_Menu_Table(iCommon, kCommonSlots);
  return 0;
}

// The disc start menu's model over fixture ini files: the first screen, the
// main menu and sub-menus read, the fixed buttons per screen and type, the
// screen changes by clicks, the file kinds and the launch option.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "discmenu/setup/Autorun.h"
#include "discmenu/vemomanual/ManualEvents.h"
#include "test_support.h"
#include "toolbox/bundle.h"
#include "toolbox/files.h"
#include "toolbox/finder.h"
#include "toolbox/recorder.h"
#include "toolbox/testdriver.h"
#include "toolbox_fixture.h"

namespace {

namespace fs = std::filesystem;
using testsupport::WriteFile;

const char kMenu[] =
    "[SYSTEM]\nEXITMESS=\nERRORMES2=Cannot open.\n"
    "[FONT]\nSUP_ADD=Geneva,12,NORMAL,1,1,WHITE,BLACK\n"
    "[MAIN_MENU_0]\nENABLE=TRUE\nPOS=10,10\nSTR1=Install\nOBJ=:::::vemoplexinstall.app\nLANG=-l\n"
    "EXVER=1080\nEXOBJ=:::::new.app\n"
    "[MAIN_MENU_1]\nENABLE=TRUE\nPOS=10,80\nSTR1=Manuals\nOBJ=GO_3\nBUTTON_N=::Resources:pictures:NONE.BMP\n"
    "[MAIN_MENU_2]\nENABLE=FALSE\nPOS=10,150\nOBJ=GO_1\n"
    "[MAIN_MENU_3]\nENABLE=TRUE\nPOS=10,220\nSTR1=Bare\nOBJ=readme.txt\n"
    "[MAIN_MENU_5]\nENABLE=TRUE\nPOS=10,290\nOBJ=GO_3\n"
    "[MENU3]\nMENU_S_COLOR=1,2\nMENU_NAME=Manuals\nITEM0=\nITEM1=A\nITEM3=C\n"
    "[MENU4]\nITEM0=A\nITEM1=A\nITEM2=A\nITEM3=A\nITEM4=A\nITEM5=A\nITEM6=A\nITEM7=A\nITEM8=A\nITEM9=A\n"
    "ITEM10=A\nITEM11=A\n"
    "[ITEMS]\nA_STR=Doc\nA_OBJ=::::doc.txt\nA_POS=100,100\nA_ICO=::Resources:pictures:doc.bmp\n"
    "A_ICOP=50,100\n";

class DiscMenuModel : public testsupport::ToolboxFixture {
 protected:
  // The program's own resources: the buttons' hit mask.
  DiscMenuModel()
      : ToolboxFixture(Clock::kVirtual,
                       std::string(std::getenv("VEMO_BUILD_DIR")) + "/disc/setup.app/Contents/Resources/setup.rsrc") {}
  void SetUp() override {
    ToolboxFixture::SetUp();
    const fs::path built = fs::path(std::getenv("VEMO_BUILD_DIR")) / "disc/setup.app/Contents/Resources";
    disc_ = dir_ / "disc";
    res_ = disc_ / "setup.app/Contents/Resources";
    WriteFile(disc_ / "setup.app/Contents/MacOS/setup", "");
    fs::create_directories(res_);
    fs::create_directory_symlink(built / "pictures", res_ / "pictures");
    WriteFile(res_ / "English/MENU.INI", kMenu);
    WriteFile(res_ / "Deutsch/MENU.INI", kMenu);
    WriteFile(res_ / "en.lproj/Localizable.strings", "LANGUAGE_PATH = \"::Resources:Deutsch:%s\"\n");
    tb::SetApplicationPath((disc_ / "setup.app/Contents/MacOS/setup").string());
    tb::SetMainBundlePath((disc_ / "setup.app").string());
    tb::SetSystemLanguage("en");
    // Fonts measure in the current port.
    window_ = NewTestWindow(Rect{40, 40, 300, 400}, "port");
    SetPortWindowPort(window_);
  }
  void TearDown() override {
    Dispose_All_GWorld();
    autoWndPtr = nullptr;
    tb::SetSystemLanguage("");
    tb::SetCoreFoundationVersion(0);
    tb::SetApplicationPath("");
    tb::SetMainBundlePath("");
    ToolboxFixture::TearDown();
  }
  // Reads the start-up file as the program does.
  SInt16 start(const std::string& type, const std::string& langAuto, const std::string& langMenu = "English,Deutsch") {
    WriteFile(res_ / "UserLangu.ini",
              "[SYSTEM]\nTYPE=" + type +
                  "\nBASEBMP=::Resources:pictures:base.bmp\nCONTBMP=::Resources:pictures:cont.bmp\n"
                  "CONTBMP2=::Resources:pictures:cont2.bmp\n"
                  "EXITBMP=::Resources:pictures:exit.bmp\nEXITBMP2=::Resources:pictures:exit_s.bmp\nEXITPOS=500,400\n"
                  "BACKBMP=::Resources:pictures:back.bmp\nBACKPOS=10,400\n"
                  "BACKTOLANGBMP=::Resources:pictures:lang.bmp\nBACKTOLANGPOS=120,400\n"
                  "[LANG_AUTO]\n" +
                  langAuto + "\n[LANG_MENU]\nMENU=" + langMenu +
                  "\n[English]\nINI=::Resources:English:MENU.INI\nBMP=::Resources:pictures:button.bmp\nPOS=10,10\n"
                  "[Deutsch]\nINI=::Resources:Deutsch:MENU.INI\nBMP=::Resources:pictures:button.bmp\nPOS=10,100\n"
                  "[MAIN_MENU]\nBUTTON0=::Resources:pictures:button.bmp\nBUTTON0S=::Resources:pictures:button_s.bmp\n"
                  "ICON0=::Resources:pictures:icon.bmp\nBUTTON1=::Resources:pictures:button.bmp\n"
                  "BUTTON1S=::Resources:pictures:button_s.bmp\nICON1=::Resources:pictures:icon.bmp\n");
    Dispose_All_GWorld();
    EXPECT_EQ(Get_Autorun_Start_Infomation(), 1);
    EXPECT_EQ(Initialize_GWorld(), 1);
    gActivePNum = Choose_First_Screen();
    if (gActivePNum == kScreenMain) Get_Contents_Keywoad();
    return gActivePNum;
  }
  static Point centre(const Rect& r) { return Point{short((r.top + r.bottom) / 2), short((r.left + r.right) / 2)}; }

  fs::path disc_, res_;
  WindowRef window_ = nullptr;
};

TEST_F(DiscMenuModel, FirstScreenFollowsTheTypeAndTheSystemLanguage) {
  const std::string listed =
      "LANG_00=::Resources:English:MENU.INI;English\nLANG_14=::Resources:Deutsch:MENU.INI;Deutsch\n"
      "LANG_16=::Resources:English:MENU.INI;Malti\nDEFAULT=::Resources:English:MENU.INI;English";
  struct Case {
    const char* type;
    const char* lang;
    std::string langAuto;
    std::string langMenu;
    SInt16 screen;
    const char* name;
  } cases[] = {
      {"A", "el", listed, "English,Deutsch", kScreenMain, "Deutsch"},    // code 14 listed
      {"A", "fr", listed, "English,Deutsch", kScreenMain, "English"},    // not listed: DEFAULT=
      {"A", "mt", listed, "English,Deutsch", kScreenLanguage, "Malti"},  // listed, outside the accepted codes
      {"A", "fr", "", "English,Deutsch", kScreenLanguage, ""},           // nothing to go by: the user picks
      {"L", "en", listed, "English,Deutsch", kScreenLanguage, ""},
      {"X", "en", listed, "English,Deutsch", kScreenMain, ""},  // the bundle's localisation
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.lang);
    tb::SetSystemLanguage(c.lang);
    EXPECT_EQ(start(c.type, c.langAuto, c.langMenu), c.screen);
    EXPECT_STREQ(gAutorunInfo.langName, c.name);
    EXPECT_EQ(gLangCount, c.type[0] == 'X' ? 0 : 2);
  }
  // The localisation's menu file: its main menu is read.
  start("X", listed);
  EXPECT_EQ(pstr::str(iContents[0].label), "Install");
  EXPECT_EQ(pstr::str(gAutorunInfo.menuFile.name), "MENU.INI");

  // At most 20 language buttons, names cut to 15 bytes on a character
  // boundary.
  std::string many;
  for (int i = 0; i < 25; ++i) many += (i ? "," : "") + std::string("Lang") + std::to_string(i);
  start("L", listed, many + ",\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
  EXPECT_EQ(gLangCount, kLangSlots);
  start("L", listed, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
  EXPECT_STREQ(gLangTbl[0].name, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE6\x97\xA5\xE6\x9C\xAC");
}

TEST_F(DiscMenuModel, MainMenuReadsFiveSectionsWithPicturesAndTargets) {
  tb::SetCoreFoundationVersion(600);
  start("A", "LANG_00=::Resources:English:MENU.INI;English");
  EXPECT_EQ(iContents[0].enable, 1);
  EXPECT_STREQ(iContents[0].obj, ":::::vemoplexinstall.app");  // EXVER 1080 above this system
  EXPECT_STREQ(iContents[0].lang, "-l");
  ASSERT_NE(iContents[0].normal, nullptr);  // the default picture of [MAIN_MENU]
  EXPECT_EQ(iContents[0].btnRect.left, 10);
  EXPECT_EQ(iContents[0].btnRect.right, 230);
  EXPECT_EQ(iContents[0].strRect.top, 35);  // the label 25 pixels below its position
  EXPECT_EQ(iContents[1].normal, nullptr);  // NONE.BMP
  EXPECT_EQ(iContents[2].enable, 0);
  EXPECT_EQ(iContents[3].enable, 1);
  EXPECT_EQ(iContents[5].enable, 0);  // [MAIN_MENU_5] is never read
  tb::SetCoreFoundationVersion(700);
  Get_Contents_Keywoad();
  EXPECT_STREQ(iContents[0].obj, ":::::new.app");
}

TEST_F(DiscMenuModel, FixedButtonsPerScreenAndType) {
  // Exit, back, back-to-language: each drawn where it acts, and only there.
  struct Case {
    const char* type;
    SInt16 screen;
    const char* acts;
  } cases[] = {
      {"A", kScreenLanguage, "110"}, {"A", kScreenMain, "101"},   {"A", kScreenSubMenu, "110"},
      {"L", kScreenLanguage, "100"}, {"L", kScreenMain, "110"},   {"L", kScreenSubMenu, "110"},
      {"X", kScreenMain, "100"},     {"A", kScreenCommon, "110"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + std::to_string(c.screen));
    start(c.type, "LANG_00=::Resources:English:MENU.INI;English");
    gActivePNum = c.screen;
    for (short slot = 0; slot < 3; ++slot) {
      EXPECT_EQ(Fixed_Button_Drawn(slot), c.acts[slot] == '1') << slot;
      EXPECT_EQ(Fixed_Button_Acts(slot), c.acts[slot] == '1') << slot;
    }
  }
}

TEST_F(DiscMenuModel, ClicksMoveThroughTheScreens) {
  start("A", "LANG_00=::Resources:English:MENU.INI;English");
  ASSERT_EQ(gActivePNum, kScreenMain);
  Handle_Autorun_Select_Item(centre(gCommonTbl[kFixedBackToLang].rect));
  EXPECT_EQ(gActivePNum, kScreenLanguage);
  Handle_Autorun_Select_Item(centre(gLangTbl[1].rect));
  EXPECT_EQ(gActivePNum, kScreenMain);
  EXPECT_STREQ(gAutorunInfo.langName, "Deutsch");
  EXPECT_EQ(gAutorunInfo.langNumber, 1);

  // GO_3: an empty ITEM0 takes no slot, ITEM1 fills slot 0, the missing
  // ITEM2 ends the list; MENU_NAME moves label and icon 60 down.
  Handle_Autorun_Select_Item(centre(iContents[1].strRect));
  ASSERT_EQ(gActivePNum, kScreenSubMenu);
  EXPECT_EQ(iManual[0].enable, 1);
  EXPECT_EQ(pstr::str(iManual[0].label), "Doc");
  EXPECT_EQ(iManual[1].enable, 0);
  EXPECT_EQ(iManual[0].btnRect.top, 160);
  EXPECT_EQ(iManual[0].strRect.top, 160);
  EXPECT_EQ(gMenuColor.sColorSet, 0);  // "1,2" holds no colour
  EXPECT_EQ(gMenuColor.nShadowSet, 1);
  EXPECT_EQ(gMenuColor.nShadow.red, 255 * 256);

  // The document entry goes to the Finder.
  tb::ClearRecords();
  WriteFile(disc_ / "doc.txt", "text");
  Handle_Autorun_Select_Item(centre(iManual[0].btnRect));
  ASSERT_EQ(tb::RecordedOpenedDocuments().size(), 1u);
  EXPECT_EQ(fs::path(tb::RecordedOpenedDocuments()[0]).filename(), "doc.txt");
  Handle_Autorun_Select_Item(centre(gCommonTbl[kFixedBack].rect));
  EXPECT_EQ(gActivePNum, kScreenMain);
  EXPECT_EQ(iManual[0].enable, 0);

  // A bare file name opens nothing; an empty slot does nothing.
  Handle_Autorun_Select_Item(centre(iContents[3].strRect));
  Go_To_Select_Command(12);
  Go_To_Select_Command(25);
  EXPECT_EQ(gActivePNum, kScreenMain);
  EXPECT_EQ(tb::RecordedOpenedDocuments().size(), 1u);

  // Twelve entries: all read, only the first ten act.
  MENU_DATA go{};
  go.enable = 1;
  std::strcpy(go.obj, "GO_4");
  EXPECT_EQ(Get_Menu_Keywoad(&go, iManual, kSubMenuSlots), 1);
  Change_Autorun_Screen(kScreenSubMenu, "test");
  EXPECT_EQ(iManual[11].enable, 1);
  tb::ClearRecords();
  Go_To_Common_Command(61);
  EXPECT_EQ(tb::RecordedOpenedDocuments().size(), 0u);
  // A sub-menu entry naming another menu: the common menu, left by back.
  std::strcpy(iManual[0].obj, "GO_3");
  Go_To_Common_Command(50);
  EXPECT_EQ(gActivePNum, kScreenCommon);
  EXPECT_EQ(iCommon[0].enable, 1);
  Handle_Autorun_Select_Item(centre(gCommonTbl[kFixedBack].rect));
  EXPECT_EQ(gActivePNum, kScreenMain);
}

TEST_F(DiscMenuModel, FileKindsAndLaunchOptions) {
  start("A", "LANG_00=::Resources:English:MENU.INI;English");
  WriteFile(disc_ / "Suite.app/Contents/PkgInfo", "APPLVMxi");
  WriteFile(disc_ / "Other.app/Contents/PkgInfo", "APPLABCD");
  WriteFile(disc_ / "read.txt", "x");
  WriteFile(disc_ / "book.pdf", "%PDF");
  WriteFile(disc_ / "data.bin", "x");
  struct Kind {
    const char* obj;
    short kind;
  } kinds[] = {{"::::Suite.app", kFileSuiteApp}, {"::::Other.app", kFileOtherApp}, {"::::read.txt", kFileText},
               {"::::book.pdf", kFilePDF},       {"::::data.bin", kFileOther},     {"::::gone.txt", kFileMissing}};
  for (const Kind& k : kinds) {
    FSSpec spec{};
    Make_Target_Spec(k.obj, &spec);
    EXPECT_EQ(Get_File_Type(&spec), k.kind) << k.obj;
  }

  struct Option {
    const char* type;
    const char* lang;
    const char* name;
    const char* sent;
  } options[] = {
      {"A", "-l", "English", "-lEnglish"},
      {"L", "-l", "Deutsch", "-lDeutsch"},
      {"X", "-l", "English", "-l "},
      {"A", "", "English", ""},
      {"A", "-l123456789012345678901234567", "English", "-l123456789012345678901"},
      // 21 bytes and a three-byte character: the character does not fit.
      {"L", "-l1234567890123456789", "\xE6\x97\xA5", "-l1234567890123456789"},
  };
  for (const Option& o : options) {
    std::strcpy(gAutorunInfo.type, o.type);
    std::strcpy(gAutorunInfo.langName, o.name);
    MENU_DATA e{};
    std::strcpy(e.lang, o.lang);
    Str255 sent;
    Make_Launch_Option(&e, sent);
    EXPECT_EQ(pstr::str(sent), o.sent) << o.type << " " << o.lang;
  }
}

TEST_F(DiscMenuModel, ErrorAlertAndQuitQuestion) {
  start("A", "LANG_00=::Resources:English:MENU.INI;English");
  // A missing program and a file of no kind the menu opens: one beeping
  // alert each, answered by Return.
  WriteFile(disc_ / "data.bin", "x");
  for (const char* obj : {"::::gone.app", "::::data.bin"}) {
    SCOPED_TRACE(obj);
    const int beeps = tb::Beeps();
    std::strcpy(iContents[3].obj, obj);
    tb::PressNamedKey("Return");
    Go_To_Select_Command(13);
    EXPECT_EQ(tb::Beeps(), beeps + 1);
  }
  // A document with no opener to start: the same alert.
  {
    WriteFile(disc_ / "read.txt", "x");
    testsupport::ScopedEnv path("PATH", (dir_ / "no-programs").c_str());
    tb::SetFinderMode(tb::FinderMode::kRun);
    const int before = tb::Beeps();
    std::strcpy(iContents[3].obj, "::::read.txt");
    tb::PressNamedKey("Return");
    Go_To_Select_Command(13);
    tb::SetFinderMode(tb::FinderMode::kAuto);
    EXPECT_EQ(tb::Beeps(), before + 1);
  }
  // An empty EXITMESS= quits without asking; with a text, Escape answers
  // No and Return Yes.
  const int beeps = tb::Beeps();
  EXPECT_TRUE(Autorun_Quit_Asked());
  EXPECT_EQ(tb::Beeps(), beeps);
  std::string menu = kMenu;
  menu.replace(menu.find("EXITMESS="), 9, "EXITMESS=Quit?");
  WriteFile(res_ / "English/MENU.INI", menu);
  tb::PressNamedKey("Escape");
  EXPECT_FALSE(Autorun_Quit_Asked());
  tb::PressNamedKey("Return");
  EXPECT_TRUE(Autorun_Quit_Asked());
  EXPECT_EQ(tb::Beeps(), beeps + 2);
}

// The manual opener's loop step: File item 1 by mouse and by its Command
// key quits, a key without Command and a mouse-down off the menus do not.
class ManualMenus : public testsupport::ToolboxFixture {
 protected:
  ManualMenus()
      : ToolboxFixture(Clock::kVirtual, std::string(std::getenv("VEMO_BUILD_DIR")) +
                                            "/disc/vemomanual.app/Contents/Resources/vemomanual.rsrc") {}
};

TEST_F(ManualMenus, FileQuitByMouseAndKeyEndsTheLoop) {
  vemomanual::Initialize_Variables();
  vemomanual::Install_Handlers_And_Menus();
  struct Case {
    const char* what;
    std::function<void()> input;
    bool quits;
  } cases[] = {
      {"plain q", [] { tb::PressKey('q', 0x0C); }, false},
      {"click off the menus",
       [] {
         tb::ClickAt(Point{300, 400});
       },
       false},
      {"Command-Q", [] { tb::PressKey('q', 0x0C, cmdKey); }, true},
      {"File menu", [] { ASSERT_TRUE(tb::ChooseMenuItem(129, 1)); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vemomanual::gQuitFlag = false;
    c.input();
    for (int i = 0; i < 4; ++i) vemomanual::Event_Loop_Step(0);
    EXPECT_EQ(bool(vemomanual::gQuitFlag), c.quits);
  }
}

}  // namespace

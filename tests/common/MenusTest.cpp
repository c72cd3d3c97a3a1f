// Menu dispatch, the status monitor's menu rule, the title cleaners and
// menu commands read from a menu-definition file.
#include <gtest/gtest.h>

#include <cstring>

#include "common/AppGlobals.h"
#include "common/AppMenus.h"
#include "common/MenuCommand.h"
#include "stub_host.h"
#include "test_support.h"
#include "toolbox/files.h"
#include "toolbox/dialogs.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

MenuRef AddMenu(SInt16 id, const char* title, const char* items) {
  Str255 t, i;
  pstr::set(t, sizeof t, title);
  pstr::set(i, sizeof i, items);
  MenuRef m = NewMenu(id, t);
  AppendMenu(m, i);
  InsertMenu(m, 0);
  return m;
}

std::string ItemText(MenuRef m, short item) {
  Str255 s;
  GetMenuItemText(m, item, s);
  return pstr::str(s);
}

class Menus : public ::testing::Test {
 protected:
  void SetUp() override {
    tb::ResetMenus();
    testhost::Reset();
    apple_ = AddMenu(kAppleMenuID, "Apple", "About;Clock");
    file_ = AddMenu(kFileMenuID, "File", "Show;Hide;Close;(-;Quit All");
    window_ = AddMenu(kOptionMenuID, "Window", "One;Two;Three");
  }
  void TearDown() override {
    tb::ResetMenus();
    testhost::Reset();
  }
  MenuRef apple_ = nullptr, file_ = nullptr, window_ = nullptr;
};

}  // namespace

TEST_F(Menus, ChoicesGoToTheirHandlersWithTheTitleHighlighted) {
  // The about box runs until its button is answered: Return, waiting.
  tb::ResetResources();
  ASSERT_GT(tb::OpenApplicationResources(FRAMEWORK_TEST_RSRC), 0);
  tb::ResetEventState();
  tb::PressNamedKey("Return");
  std::vector<MenuID> hilited;
  testhost::host().onFileMenu = [&](short) { hilited.push_back(tb::HilitedMenu()); };
  testhost::host().onOptionMenu = [&](short) { hilited.push_back(tb::HilitedMenu()); };

  Handle_Menu_Choice((long{kFileMenuID} << 16) | 3);
  Handle_Menu_Choice((long{kOptionMenuID} << 16) | 2);
  Handle_Menu_Choice((long{kAppleMenuID} << 16) | 1);
  Handle_Menu_Choice((long{kAppleMenuID} << 16) | 2);  // a desk accessory: nothing
  Handle_Menu_Choice((131L << 16) | 1);                // no such menu: only the highlight
  Handle_Menu_Choice(0);

  const testhost::Host& h = testhost::host();
  EXPECT_EQ(h.fileMenuItems, std::vector<short>{3});
  EXPECT_EQ(h.optionMenuItems, std::vector<short>{2});
  EXPECT_EQ(tb::QueuedEventCount(), 0);
  EXPECT_EQ(tb::DialogCount(), 0);
  tb::ResetResources();
  EXPECT_EQ(hilited, (std::vector<MenuID>{kFileMenuID, kOptionMenuID}));
  EXPECT_EQ(tb::HilitedMenu(), 0);
}

TEST_F(Menus, WindowMenuChecksOneItem) {
  Check_Window_Menu(2);
  Check_Window_Menu(0);
  for (short item = 1; item <= 3; ++item) {
    CharParameter mark = 0;
    GetItemMark(window_, item, &mark);
    EXPECT_EQ(mark, item == 1 ? checkMark : noMark) << item;
  }
  Check_Window_Menu(-1);  // no window: nothing checked
  for (short item = 1; item <= 3; ++item) {
    CharParameter mark = 0;
    GetItemMark(window_, item, &mark);
    EXPECT_EQ(mark, noMark) << item;
  }
}

TEST_F(Menus, MonitorRuleEnablesFileItemsOnlyWithStatusWindowsAndNoSubWindow) {
  struct Case {
    short status, config, ftp;
    bool enabled;
  };
  const Case cases[] = {
      {0, 0, 0, false}, {1, 0, 0, true},  {8, 0, 0, true},  {2, 1, 0, false},
      {2, 0, 1, false}, {2, 1, 1, false}, {0, 1, 0, false},
  };
  for (const Case& c : cases) {
    testhost::host().statusOpen = c.status;
    testhost::host().configOpen = c.config;
    testhost::host().ftpOpen = c.ftp;
    Setup_Menu_Status();
    for (short item : {2, 3, 5})
      EXPECT_EQ(IsMenuItemEnabled(file_, static_cast<MenuItemIndex>(item)), c.enabled)
          << c.status << c.config << c.ftp << " item " << item;
    EXPECT_TRUE(IsMenuItemEnabled(file_, 1));  // item 1 is the program's own
    ASSERT_FALSE(testhost::host().appliMenuFlags.empty());
    EXPECT_EQ(testhost::host().appliMenuFlags.back() != 0, c.enabled);
  }
  EXPECT_EQ(testhost::host().appliMenuFlags.size(), std::size(cases));
}

TEST_F(Menus, SelectEnableTouchesOnlyMenusInTheBar) {
  Menu_Select_Enable(kFileMenuID, 1, 0);
  EXPECT_FALSE(IsMenuItemEnabled(file_, 1));
  Menu_Select_Enable(kFileMenuID, 1, 1);
  EXPECT_TRUE(IsMenuItemEnabled(file_, 1));
  Menu_Select_Enable(200, 1, 0);  // no such menu
  Menu_Select_Enable(kFileMenuID, -3, 0);
  EXPECT_TRUE(IsMenuItemEnabled(file_, 1));
}

TEST(MenuTitles, DeleteAndAndDeleteSlh) {
  struct Case {
    const char* text;
    const char* noAnd;
    const char* noSlash;
  };
  const Case cases[] = {
      {"\"Print&Setup\"(P)", "PrintSetup", "\"Print&Setup\"(P)"},
      {"&Open(O)", "Open", "&Open(O)"},
      {"Open/Close", "Open/Close", "OpenClose"},
      {"(all cut)", "", "(all cut)"},
      {"", "", ""},
      {"a/b/c&d", "a/b/cd", "abc&d"},
  };
  for (const Case& c : cases) {
    char out[64];
    DeleteAnd(out, c.text);
    EXPECT_STREQ(out, c.noAnd) << c.text;
    DeleteSlh(out, c.text);
    EXPECT_STREQ(out, c.noSlash) << c.text;
  }
  // Bounded by the buffer and never cut inside a character.
  char small[6];
  EXPECT_EQ(DeleteAnd(small, "&ab\xE6\x97\xA5\xE6\x9C\xAC"), 5);
  EXPECT_STREQ(small, "ab\xE6\x97\xA5");
  EXPECT_EQ(DeleteSlh(small, "a/b\xE6\x97\xA5/\xE6\x9C\xAC"), 5);
  EXPECT_STREQ(small, "ab\xE6\x97\xA5");
  char tiny[3];
  EXPECT_EQ(DeleteSlh(tiny, "x\xE6\x97\xA5"), 1);
  EXPECT_STREQ(tiny, "x");
  EXPECT_EQ(DeleteAnd(nullptr, "x", 4), 0);
}

namespace {

class MenuFile : public ::testing::Test {
 protected:
  void SetUp() override {
    testhost::Reset();
    tb::ResetMenus();
    std::memset(MeInfo, 0, sizeof MeInfo);
    WriteFile(dir_ / "App.app/Contents/MacOS/App", "");
    tb::SetApplicationPath((dir_ / "App.app/Contents/MacOS/App").string());
  }
  void TearDown() override {
    tb::SetApplicationPath("");
    tb::ResetMenus();
    testhost::Reset();
  }
  void Key(short i, short j, const char* key) { std::strcpy(MeInfo[i][j].cPopMen, key); }
  void UseFile(const std::string& text) {
    WriteFile(dir_ / "App.app/Contents/Resources/Menu.txt", text);
    std::strcpy(MonFileName, "::Resources:Menu.txt");
  }
  TempDir dir_;
};

}  // namespace

TEST_F(MenuFile, CommandsReadInTheirFixedOrder) {
  UseFile(
      "# commands of the tools menu\r\n"
      "[WEB]\r\n"
      "MENU_STR=&Open Web Page(W)\r\n"
      "EXEC=/usr/bin/xdg-open\r\n"
      "OPTION=--new-window\r\n"
      "ICON=129\r\n"
      "TYPE=APPL\r\n"
      "SHORT=W\r\n"
      "[MANUAL]\r\n"
      "MENU_STR=\"Read/Print\" Manual\r\n"
      "TYPE=PDF \r\n"
      "ICON=130\r\n"
      "SHORT=M\r\n"
      "[LONG]\r\n"
      "MENU_STR=Long\r\n"
      "EXEC=" + std::string(60, 'x') + "\r\n"
      "[TWICE]\r\n"
      "MENU_STR=First\r\n"
      "EXEC=first\r\n"
      "OPTION=kept\r\n"
      "[TWICE]\r\n"
      "MENU_STR=Second\r\n"
      "EXEC=second\r\n");
  Key(0, 0, "[WEB]");
  Key(0, 1, "---");
  Key(0, 2, "[MANUAL]");
  Key(1, 0, "[LONG]");
  Key(1, 1, "[TWICE]");
  Key(1, 2, "[NONE]");
  for (short i = 0; i < 2; ++i)
    for (short j = 0; j < 3; ++j) CommandMenu(i, j);

  const MENUINFO& web = MeInfo[0][0];
  EXPECT_EQ(pstr::str(web.cTotalMen), "Open Web Page");
  EXPECT_STREQ(web.cExec, "/usr/bin/xdg-open");  // no line end kept
  EXPECT_STREQ(web.cOption, "--new-window");
  EXPECT_EQ(web.iIcon, 129);
  EXPECT_STREQ(web.cType, "APPL");
  EXPECT_STREQ(web.cShortCut, "W");

  EXPECT_EQ(pstr::str(MeInfo[0][1].cTotalMen), "---");

  // TYPE before ICON: the ICON line is not read, nor anything after it.
  const MENUINFO& manual = MeInfo[0][2];
  EXPECT_EQ(pstr::str(manual.cTotalMen), "Read/Print Manual");
  EXPECT_STREQ(manual.cType, "PDF ");
  EXPECT_EQ(manual.iIcon, 0);
  EXPECT_STREQ(manual.cShortCut, "");

  EXPECT_EQ(std::string(MeInfo[1][0].cExec), std::string(31, 'x'));

  // The last description wins; what it lacks stays from the first.
  EXPECT_EQ(pstr::str(MeInfo[1][1].cTotalMen), "Second");
  EXPECT_STREQ(MeInfo[1][1].cExec, "second");
  EXPECT_STREQ(MeInfo[1][1].cOption, "kept");

  EXPECT_EQ(pstr::str(MeInfo[1][2].cTotalMen), "");  // key not in the file

  // A menu built from the table: titles without their "/", dividers and
  // Command keys.
  Str255 title;
  pstr::set(title, sizeof title, "Tools");
  MenuRef tools = NewMenu(131, title);
  for (short j = 0; j < 3; ++j) {
    const MENUINFO& m = MeInfo[0][j];
    char text[256];
    DeleteSlh(text, pstr::str(m.cTotalMen).c_str());
    Str255 item;
    pstr::set(item, sizeof item, std::strcmp(text, "---") == 0 ? "(-" : text);
    AppendMenu(tools, item);
    if (m.cShortCut[0]) SetItemCmd(tools, static_cast<short>(j + 1), m.cShortCut[0]);
  }
  InsertMenu(tools, 0);
  ASSERT_EQ(CountMenuItems(tools), 3);
  EXPECT_EQ(ItemText(tools, 1), "Open Web Page");
  EXPECT_EQ(ItemText(tools, 3), "ReadPrint Manual");
  EXPECT_FALSE(IsMenuItemEnabled(tools, 2));  // the divider
  CharParameter cmd = 0;
  GetItemCmd(tools, 1, &cmd);
  EXPECT_EQ(cmd, 'W');
  GetItemCmd(tools, 3, &cmd);
  EXPECT_EQ(cmd, 0);
  EXPECT_EQ(MenuKey('w'), (131L << 16) | 1);
}

TEST_F(MenuFile, SeparatorsNeedNoFileAndBadInputChangesNothing) {
  MonFileName[0] = '\0';
  Key(2, 4, "a---b");
  CommandMenu(2, 4);
  EXPECT_EQ(pstr::str(MeInfo[2][4].cTotalMen), "---");

  UseFile("KEY\nMENU_STR=Title\n");
  Key(0, 0, "KEY");
  CommandMenu(3, 0);
  CommandMenu(0, 5);
  CommandMenu(-1, 0);
  EXPECT_EQ(pstr::str(MeInfo[0][0].cTotalMen), "");

  std::strcpy(MonFileName, "::Resources:Missing.txt");
  CommandMenu(0, 0);
  EXPECT_EQ(pstr::str(MeInfo[0][0].cTotalMen), "");
  // Whatever else stands at the name is no menu file; none is read to its
  // end or waited on.
  for (testsupport::Hostile kind : testsupport::kHostileKinds) {
    testsupport::MakeHostile(dir_ / "Hostile.txt", kind, "KEY\nMENU_STR=Title\n");
    std::snprintf(MonFileName, sizeof MonFileName, "%s", (dir_ / "Hostile.txt").c_str());
    CommandMenu(0, 0);
    EXPECT_EQ(pstr::str(MeInfo[0][0].cTotalMen), "") << testsupport::HostileName(kind);
  }

  // A full path, LF line ends, a key that fills its whole field and a key
  // line at the very end (no title behind it).
  const std::string full = (dir_ / "Full.txt").string();
  WriteFile(full, "0123456789012345678901234567890X\nMENU_STR=Full\nSHORT=\xC3\xA9\nKEY");
  std::strcpy(MonFileName, full.c_str());
  std::memcpy(MeInfo[0][1].cPopMen, "0123456789012345678901234567890X", 32);
  CommandMenu(0, 1);
  EXPECT_EQ(pstr::str(MeInfo[0][1].cTotalMen), "Full");
  EXPECT_STREQ(MeInfo[0][1].cShortCut, "");  // not one byte
  CommandMenu(0, 0);
  EXPECT_EQ(pstr::str(MeInfo[0][0].cTotalMen), "");

  // A line longer than 127 characters is read as its first 127.
  const std::string longKey = std::string(130, 'k');
  WriteFile(full, longKey + "LONGKEY\nMENU_STR=Lost\n" + std::string(124, 'k') + "KEY\nMENU_STR=" +
                      std::string(200, 't') + "\n");
  Key(0, 2, "LONGKEY");
  CommandMenu(0, 2);
  EXPECT_EQ(pstr::str(MeInfo[0][2].cTotalMen), "");
  CommandMenu(0, 0);
  EXPECT_EQ(pstr::str(MeInfo[0][0].cTotalMen), std::string(127 - 9, 't'));
}

// The menus from the ini file: the item limit, dividers, literal slashes,
// cleaned texts, command keys, the settings command, and the resource menus
// when the ini names no menu.
#include "upcaster_fixture.h"
#include "toolbox/menus.h"

namespace {

using namespace upctest;

class Menus : public UpcasterTest {
 protected:
  void Install(const std::string& ini) {
    testsupport::WriteFile(dir_ / "menu.ini", ini);
    std::snprintf(IniFileName, sizeof IniFileName, "%s", (dir_ / "menu.ini").c_str());
    upc::Install_Menu();
  }
  std::string Text(MenuID id, short item) {
    Str255 t = {0};
    GetMenuItemText(GetMenuHandle(id), item, t);
    return pstr::str(t);
  }
  char Key(MenuID id, short item) {
    CharParameter c = 0;
    GetItemCmd(GetMenuHandle(id), item, &c);
    return static_cast<char>(c);
  }
};

TEST_F(Menus, IniMenusFollowTheirSectionsWithinTheLimits) {
  std::string ini = "[FILE_MENU]\nMENU_STR=File(&F)\nSUB_MENU=";
  for (int i = 1; i <= 17; ++i) ini += (i > 1 ? "," : "") + std::string(i == 2 ? "---" : "I" + std::to_string(i));
  ini += "\n[HELP_MENU]\nMENU_STR=Help\nSUB_MENU=ABOUT\n[ABOUT]\nMENU_STR=About\n";
  ini += "[I1]\nMENU_STR=Quit(&Q)\nSHORT=Q\n";
  ini += "[I3]\nMENU_STR=Send/Receive\n";
  ini += "[I4]\nMENU_STR=Settings\nEXEC=\"CONFIG\"\n";
  ini += "[I5]\nMENU_STR=Print/Save\nSHORT=P\n";
  for (int i = 6; i <= 17; ++i) ini += "[I" + std::to_string(i) + "]\nMENU_STR=Item " + std::to_string(i) + "\n";
  Install(ini);

  ASSERT_TRUE(upc::NotInifile);
  ASSERT_TRUE(GetMenuHandle(129));
  ASSERT_TRUE(GetMenuHandle(128));
  EXPECT_EQ(CountMenuItems(GetMenuHandle(129)), 16);  // 17 sections, 16 items
  Str255 title;
  GetMenuTitle(GetMenuHandle(129), title);
  EXPECT_EQ(pstr::str(title), "File");
  EXPECT_EQ(Text(128, 1), "About");
  struct Case {
    short item;
    const char* text;
    char key;
  } cases[] = {
      {1, "Quit", 'Q'}, {3, "Send/Receive", 0}, {4, "Settings", 0}, {5, "Print/Save", 'P'}, {16, "Item 16", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(129, c.item), c.text) << c.item;
    EXPECT_EQ(Key(129, c.item), c.key) << c.item;
  }
  EXPECT_STREQ(reinterpret_cast<const char*>(upc::MeInfo[0][1].text + 1), "-");  // the divider
  // Commands: item 1 quits, the CONFIG item is the settings command, the
  // rest do nothing; command keys reach the same commands.
  EXPECT_EQ(upc::Menu_Command(129, 1), kCmdQuit);
  EXPECT_EQ(upc::Menu_Command(129, 4), kCmdSettings);
  EXPECT_EQ(upc::Menu_Command(129, 5), 5);
  EXPECT_EQ(MenuKey('Q'), (129L << 16) | 1);
  EXPECT_EQ(MenuKey('P'), (129L << 16) | 5);
}

TEST_F(Menus, WithoutMenuTitlesTheResourceMenusAreUsed) {
  Install("[FILE_MENU]\nSUB_MENU=QUIT\n[HELP_MENU]\nSUB_MENU=ABOUT\n[QUIT]\nMENU_STR=Leave\n");
  EXPECT_FALSE(upc::NotInifile);
  EXPECT_EQ(Text(129, 1), "Quit");
  EXPECT_EQ(Text(129, 2), "Settings...");
  EXPECT_EQ(Key(129, 1), 'Q');
  EXPECT_EQ(upc::Menu_Command(129, 2), kCmdSettings);
  EXPECT_EQ(upc::Menu_Command(128, 1), 0);
}

TEST_F(Menus, ShippedIniFilesOfferQuitAndSettings) {
  for (const char* language : {"English", "Japanese"}) {
    std::snprintf(IniFileName, sizeof IniFileName, "%s",
                  (Bundle() + "/Contents/Resources/" + language + "/ftpup.ini").c_str());
    upc::Install_Menu();
    ASSERT_TRUE(upc::NotInifile) << language;
    EXPECT_EQ(upc::Menu_Command(129, 1), kCmdQuit) << language;
    EXPECT_EQ(upc::Menu_Command(129, 3), kCmdSettings) << language;
    EXPECT_EQ(Key(129, 1), 'Q') << language;
  }
}

}  // namespace

// The two menus, built from sections "[FILE_MENU]" and "[HELP_MENU]" of the
// language ini file, or from the application's resources when the ini names
// no menu title; and the menu commands.
#include <cstdio>
#include <cstring>

#include "filetransfer/Upcaster.h"
#include "common/AppMenus.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"

namespace upc {

MENU_ITEM_INFO MeInfo[2][kMenuItems];
Boolean NotInifile = 0;
Boolean MenuChangeAuthority = 0;

namespace {

constexpr const char* kSections[2] = {"[FILE_MENU]", "[HELP_MENU]"};
// The settings item of the resource File menu.
constexpr short kResSettingsItem = 2;

bool read(const char* section, const char* key, char* out, std::size_t size) {
  out[0] = 0;
  return Load_File_To_CstringEx(section, key, out, static_cast<int>(size), IniFileName) == 1;
}

void set_p(UInt8* field, std::size_t size, const char* text) { pstr::set(field, size, text); }

void fill_menu(int m) {
  char value[256];
  if (read(kSections[m], "MENU_STR=", value, sizeof value)) {
    char clean[64];
    DeleteAnd(clean, value);
    set_p(MeInfo[m][0].title, sizeof MeInfo[m][0].title, clean);
    NotInifile = 1;
  }
  if (read(kSections[m], "SUB_MENU=", value, sizeof value)) {
    int item = 0;
    for (char* p = value; item < kMenuItems && *p;) {
      char* comma = std::strchr(p, ',');
      std::size_t len = comma ? std::size_t(comma - p) : std::strlen(p);
      if (len + 3 > sizeof MeInfo[m][item].section) len = sizeof MeInfo[m][item].section - 3;
      std::snprintf(MeInfo[m][item].section, sizeof MeInfo[m][item].section, "[%.*s]", int(len), p);
      ++item;
      if (!comma) break;
      p = comma + 1;
    }
  }
}

void fill_items(int m) {
  for (int i = 0; i < kMenuItems && MeInfo[m][i].section[0]; ++i) {
    MENU_ITEM_INFO& info = MeInfo[m][i];
    if (std::strstr(info.section, "---")) {
      set_p(info.text, sizeof info.text, "-");
      continue;
    }
    char value[256];
    if (!read(info.section, "MENU_STR=", value, sizeof value)) continue;
    char clean[128];
    DeleteAnd(clean, value);
    set_p(info.text, sizeof info.text, clean);
    if (read(info.section, "EXEC=", value, sizeof value)) DeleteAnd(info.exec, value);
    read(info.section, "OPTION=", info.option, sizeof info.option);
    if (read(info.section, "ICON=", value, sizeof value)) info.icon = std::atoi(value);
    read(info.section, "TYPE=", info.type, sizeof info.type);
    read(info.section, "SHORT=", info.shortKey, sizeof info.shortKey);
  }
}

MenuRef build(MenuID id, ConstStr255Param title, int m) {
  MenuRef menu = NewMenu(id, title);
  if (!menu) return nullptr;
  short n = 0;
  for (int i = 0; i < kMenuItems && MeInfo[m][i].text[0]; ++i) {
    const MENU_ITEM_INFO& info = MeInfo[m][i];
    if (std::memchr(info.text + 1, '/', info.text[0])) {
      // Given literally, so the slash shows and makes no command key.
      const UInt8 placeholder[2] = {1, 'x'};
      InsertMenuItem(menu, placeholder, n);
      SetMenuItemText(menu, n + 1, info.text);
    } else {
      AppendMenu(menu, info.text);
    }
    ++n;
    if (info.shortKey[0]) SetItemCmd(menu, n, static_cast<CharParameter>(info.shortKey[0]));
    EnableMenuItem(menu, static_cast<MenuItemIndex>(n));
  }
  return menu;
}

}  // namespace

short Install_Menu() {
  std::memset(MeInfo, 0, sizeof MeInfo);
  NotInifile = 0;
  for (int m = 0; m < 2; ++m) fill_menu(m);
  if (NotInifile == 1)
    for (int m = 0; m < 2; ++m) fill_items(m);
  Set_Up_Menu_Bar();
  return 1;
}

void Set_Up_Menu_Bar() {
  ClearMenuBar();
  if (NotInifile == 1) {
    const UInt8 logo[2] = {1, 20};
    if (MenuRef help = build(128, logo, 1)) InsertMenu(help, 0);
    if (MenuRef file = build(129, MeInfo[0][0].title, 0)) InsertMenu(file, 0);
  } else {
    const SInt16 saved = CurResFile();
    UseResFile(Appl_Rsrc_Fork_No);
    if (MenuRef apple = GetMenu(128)) InsertMenu(apple, 0);
    if (MenuRef file = GetMenu(129)) InsertMenu(file, 0);
    UseResFile(saved);
  }
  MenuChangeAuthority = 1;
  DrawMenuBar();
}

short Menu_Command(SInt16 menuID, short item) {
  if (menuID != 129 || item < 1) return 0;
  if (NotInifile == 1) {
    if (item <= kMenuItems && std::strcmp(MeInfo[0][item - 1].exec, "CONFIG") == 0) return kCmdSettings;
    return item;
  }
  if (item == kResSettingsItem) return kCmdSettings;
  return item;
}

void Handle_Menu_Choice(long choice) {
  const SInt16 menuID = static_cast<SInt16>(choice >> 16);
  const short item = static_cast<short>(choice & 0xFFFF);
  if (menuID == 129) ::Handle_File_Menu(Menu_Command(menuID, item));
  HiliteMenu(0);
}

}  // namespace upc

void Handle_Menu_Choice(long menuChoice) { upc::Handle_Menu_Choice(menuChoice); }

void Handle_File_Menu(short item) {
  if (item == kCmdQuit)
    upc::All_Done_Proc();
  else if (item == kCmdSettings)
    upc::Open_Configuration();
}

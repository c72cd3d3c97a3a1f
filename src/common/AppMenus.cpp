// Enabling and checking menu items, and the two cleaners that turn ini
// texts into menu titles.
#include "common/AppMenus.h"

#include <cstring>

#include "toolbox/fonts.h"
#include "toolbox/menus.h"

namespace {

// Copies the bytes of text that keep() accepts, up to stop() or the end.
template <typename Keep, typename Stop>
int filtered_copy(char* out, const char* text, std::size_t outSize, Keep keep, Stop stop) {
  if (!out || outSize == 0) return 0;
  std::size_t w = 0;
  bool cut = false;
  for (const char* p = text ? text : ""; *p && !stop(*p); ++p) {
    if (!keep(*p)) continue;
    if (w + 1 >= outSize) {
      cut = true;
      break;
    }
    out[w++] = *p;
  }
  // A character whose last bytes did not fit is dropped whole.
  if (cut) w = tb::Utf8BoundaryPrefix(reinterpret_cast<const unsigned char*>(out), w);
  out[w] = '\0';
  return static_cast<int>(w);
}

}  // namespace

int DeleteAnd(char* out, const char* text, std::size_t outSize) {
  return filtered_copy(
      out, text, outSize, [](char c) { return c != '&' && c != '"'; },
      [](char c) { return c == '('; });
}

int DeleteSlh(char* out, const char* text, std::size_t outSize) {
  return filtered_copy(
      out, text, outSize, [](char c) { return c != '/'; }, [](char) { return false; });
}

void Menu_Select_Enable(SInt16 menuID, short item, short enable) {
  MenuRef menu = GetMenuHandle(menuID);
  if (!menu || item < 0) return;
  if (enable)
    EnableMenuItem(menu, static_cast<MenuItemIndex>(item));
  else
    DisableMenuItem(menu, static_cast<MenuItemIndex>(item));
}

void Check_Window_Menu(short window) {
  MenuRef menu = GetMenuHandle(kOptionMenuID);
  if (!menu) return;
  const int count = CountMenuItems(menu);
  for (int item = 1; item <= count; ++item)
    CheckMenuItem(menu, static_cast<short>(item), item == window + 1);
}

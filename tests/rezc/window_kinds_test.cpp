// 'WIND', 'MENU' and 'MBAR' descriptions, read back by the Window and Menu
// Managers.
#include <gtest/gtest.h>

#include "rezc.h"
#include "test_support.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"
#include "toolbox/windows.h"

namespace {

TEST(RezcWindowsAndMenus, DescriptionsBecomeWindowsMenusAndBars) {
  testsupport::TempDir dir;
  rezc::Result r = rezc::Compile(
      "resource 'WIND' 128 { bounds 40 50 240 450  proc 8  visible  goaway  refcon 7  title \"Main\" }\n"
      "resource 'MENU' 129 { title \"File\"\n"
      "  item \"New\" key 'N'  item \"-\"  item \"Close\" key 'W' disabled\n"
      "  item \"Shown\" mark check  item \"Loud\" style bold }\n"
      "resource 'MENU' 130 { title \"Off\" disabled  item \"One\" }\n"
      "resource 'MBAR' 128 { 129 130 }\n",
      (dir / "app.r").string());
  ASSERT_TRUE(r.ok()) << r.errors[0];
  ASSERT_GT(testsupport::OpenResourcesAsApplication(dir / "app.rsrc", r.entries), 0);

  WindowRef w = GetNewCWindow(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(w, nullptr);
  Rect c;
  GetWindowBounds(w, kWindowContentRgn, &c);
  EXPECT_EQ(c.top, 40);
  EXPECT_EQ(c.left, 50);
  EXPECT_EQ(c.right, 450);
  EXPECT_EQ(GetWRefCon(w), 7);
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_EQ(GetWindowBounds(w, kWindowZoomBoxRgn, &c), noErr);
  EXPECT_EQ(GetWindowBounds(w, kWindowCloseBoxRgn, &c), noErr);

  MenuBarHandle bar = GetNewMBar(128);
  ASSERT_NE(bar, nullptr);
  SetMenuBar(bar);
  DisposeHandle(bar);
  MenuRef file = GetMenuHandle(129);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(CountMenuItems(file), 5);
  EXPECT_TRUE(IsMenuItemEnabled(file, 1));
  EXPECT_FALSE(IsMenuItemEnabled(file, 2));
  EXPECT_FALSE(IsMenuItemEnabled(file, 3));
  CharParameter mark = 0;
  GetItemMark(file, 4, &mark);
  EXPECT_EQ(mark, checkMark);
  EXPECT_EQ(MenuKey('n'), (129L << 16) | 1);
  EXPECT_EQ(MenuKey('w'), 0);
  EXPECT_FALSE(IsMenuItemEnabled(GetMenuHandle(130), 0));
  tb::DisposeAllWindows();
  tb::ResetMenus();
  tb::ResetResources();
}

TEST(RezcWindowsAndMenus, BadDescriptionsAreRefused) {
  struct {
    const char* text;
    const char* error;
  } bad[] = {
      {"resource 'WIND' 1 { title \"x\" }", "needs 'bounds"},
      {"resource 'WIND' 1 { bounds 10 10 5 50 }", "empty"},
      {"resource 'WIND' 1 { bounds 0 0 10 10 colour 3 }", "expected 'bounds'"},
      {"resource 'MENU' 1 { key 'N' }", "expected 'title'"},
      {"resource 'MENU' 1 { item \"a\" key 300 }", "0..255"},
      {"resource 'MENU' 1 { item \"a\" style fancy }", "expected a style"},
      {"resource 'MBAR' 1 { 129 \"x\" }", "menu id"},
  };
  for (const auto& b : bad) {
    rezc::Result r = rezc::Compile(b.text, "t.r");
    ASSERT_FALSE(r.ok()) << b.text;
    EXPECT_NE(r.errors[0].find(b.error), std::string::npos) << r.errors[0];
  }
}

}  // namespace

// 'CNTL' descriptions, read back by the Control Manager.
#include <gtest/gtest.h>

#include "rezc.h"
#include "test_support.h"
#include "toolbox/controls.h"
#include "toolbox/resources.h"

namespace {

TEST(RezcControls, DescriptionsBecomeControls) {
  testsupport::TempDir dir;
  rezc::Result r = rezc::Compile(
      "resource 'MENU' 170 { title \"Trays\"  item \"Upper\"  item \"Lower\" }\n"
      "resource 'CNTL' 160 { bounds 10 10 30 200  proc 1008  menu 170  refcon 9 }\n"
      "resource 'CNTL' 161 { bounds 40 10 56 160  proc 1  value 1  max 1  hidden  title \"Keep\" }\n",
      (dir / "app.r").string());
  ASSERT_TRUE(r.ok()) << r.errors[0];
  ASSERT_GT(testsupport::OpenResourcesAsApplication(dir / "app.rsrc", r.entries), 0);

  Rect wr{60, 60, 260, 460};
  WindowRef w = NewCWindow(nullptr, &wr, reinterpret_cast<const unsigned char*>("\x01W"), true, documentProc,
                           kFirstWindowOfClass, false, 0);
  ControlRef pop = GetNewControl(160, w);
  ASSERT_NE(pop, nullptr);
  EXPECT_EQ(GetControlReference(pop), 9);
  MenuRef m = GetControlPopupMenuHandle(pop);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetMenuID(m), 170);
  EXPECT_EQ(CountMenuItems(m), 2);
  EXPECT_EQ(GetControlMinimum(pop), 1);
  EXPECT_EQ(GetControlMaximum(pop), 2);
  EXPECT_EQ(GetControlValue(pop), 1);

  ControlRef box = GetNewControl(161, w);
  ASSERT_NE(box, nullptr);
  EXPECT_FALSE(IsControlVisible(box));
  EXPECT_EQ(GetControlValue(box), 1);
  Str255 title;
  GetControlTitle(box, title);
  EXPECT_EQ(pstr::view(title), "Keep");
  Rect b;
  GetControlBounds(box, &b);
  EXPECT_EQ(b.top, 40);
  EXPECT_EQ(b.right, 160);
  DisposeWindow(w);
  tb::ResetResources();
}

TEST(RezcControls, BoundsAreRequired) {
  rezc::Result r = rezc::Compile("resource 'CNTL' 1 { proc 0 }\n", "x.r");
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.errors[0].find("bounds"), std::string::npos);
  r = rezc::Compile("resource 'CNTL' 1 { bounds 0 0 1 1  colour 3 }\n", "x.r");
  ASSERT_FALSE(r.ok());
}

}  // namespace

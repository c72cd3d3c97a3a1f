// Icon references: counting, files and bundles, plotting, and the 'ICN#'
// mask hit test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "test_support.h"
#include "toolbox/icons.h"
#include "toolbox/quickdraw.h"
#include "toolbox/resources.h"
#include "toolbox_fixture.h"

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const UInt32 kWhite = tb::PackPixel(0xFF, 0xFF, 0xFF);
const UInt32 kFolderFill = tb::PackPixel(0x6C, 0xA8, 0xE0);

IconRef Generic(OSType type) {
  IconRef r = nullptr;
  EXPECT_EQ(GetIconRef(kOnSystemDisk, kSystemIconsCreator, type, &r), noErr);
  return r;
}

TEST(IconRefs, CountedSharedAndFreedByTheLastRelease) {
  IconRef a = Generic(kGenericFolderIcon), b = Generic(kGenericFolderIcon);
  EXPECT_EQ(a, b);
  UInt16 owners = 0;
  ASSERT_EQ(GetIconRefOwners(a, &owners), noErr);
  EXPECT_EQ(owners, 2);
  EXPECT_EQ(AcquireIconRef(a), noErr);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ReleaseIconRef(a), noErr);
  // Gone: refused, not touched.
  EXPECT_EQ(ReleaseIconRef(a), invalidIconRefErr);
  EXPECT_EQ(GetIconRefOwners(a, &owners), invalidIconRefErr);

  IconRef none = nullptr;
  EXPECT_EQ(GetIconRef(kOnSystemDisk, kSystemIconsCreator, 'zzzz', &none), noSuchIconErr);
  EXPECT_EQ(GetIconRef(kOnSystemDisk, 'VMxa', kGenericFolderIcon, &none), noSuchIconErr);
  EXPECT_EQ(none, nullptr);
}

TEST(IconRefs, FilesFoldersAndBundles) {
  TempDir dir;
  WriteFile(dir / "report.pdf", "%PDF");
  WriteFile(dir / "tool", "#!/bin/sh\n");
  chmod((dir / "tool").c_str(), 0755);
  std::filesystem::create_directories(dir / "Monitor.app/Contents/MacOS");
  std::filesystem::create_directories(dir / "Jobs");
  IconRef folder = Generic(kGenericFolderIcon), doc = Generic(kGenericDocumentIcon),
          app = Generic(kGenericApplicationIcon);
  struct {
    const char* name;
    OSErr err;
    IconRef want;
  } cases[] = {
      {"report.pdf", noErr, doc},   {"tool", noErr, app},          {"Monitor.app", noErr, app},
      {"Jobs", noErr, folder},      {"missing.txt", fnfErr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FSSpec spec;
    tb::PathToSpec((dir / c.name).string(), &spec);
    IconRef got = nullptr;
    SInt16 label = -1;
    EXPECT_EQ(GetIconRefFromFile(&spec, &got, &label), c.err);
    EXPECT_EQ(got, c.want);
    EXPECT_EQ(label, 0);
    if (got) ReleaseIconRef(got);
  }
  for (IconRef r : {folder, doc, app}) {
    UInt16 owners = 0;
    GetIconRefOwners(r, &owners);
    EXPECT_EQ(owners, 1);
    ReleaseIconRef(r);
  }
}

TEST(IconRefs, PlottedAlignedAndTransformed) {
  Rect bounds{0, 0, 48, 48};
  testsupport::Canvas canvas(48, 48);
  GWorldPtr world = canvas.get();
  ASSERT_NE(world, nullptr);
  auto at = [&](int x, int y) { return tb::PortPixel(world, x, y); };
  IconRef folder = Generic(kGenericFolderIcon);

  // Scaled to the rectangle: a 16 x 16 folder at (8, 8).
  EraseRect(&bounds);
  Rect small{8, 8, 24, 24};
  ASSERT_EQ(PlotIconRef(&small, kAlignNone, kTransformNone, kIconServicesNormalUsageFlag, folder), noErr);
  EXPECT_EQ(at(16, 17), kFolderFill);
  EXPECT_EQ(at(20, 9), kWhite);  // right of the tab: nothing drawn
  EXPECT_EQ(at(30, 17), kWhite);

  // Natural size in the bottom-right corner of the whole world.
  EraseRect(&bounds);
  PlotIconRef(&bounds, kAlignBottomRight, kTransformNone, 0, folder);
  EXPECT_EQ(at(16 + 16, 16 + 18), kFolderFill);
  EXPECT_EQ(at(10, 30), kWhite);

  // Selected is darker, disabled lighter (half over the white).
  EraseRect(&bounds);
  PlotIconRef(&bounds, kAlignTopLeft, kTransformSelected, 0, folder);
  EXPECT_EQ(at(16, 18), tb::PackPixel(0x36, 0x54, 0x70));
  EraseRect(&bounds);
  PlotIconRef(&bounds, kAlignTopLeft, kTransformDisabled, 0, folder);
  UInt8 r, g, b;
  tb::UnpackPixel(at(16, 18), r, g, b);
  EXPECT_GT(r, 0x6C);
  EXPECT_LT(r, 0xFF);

  ReleaseIconRef(folder);
}

// The disc menu's buttons: the 'ICN#' mask, scaled to the button, is the
// area that takes clicks.
TEST(IconRefs, PointInIconMaskScaledToTheRectangle) {
  TempDir dir;
  // Mask: a triangle below the diagonal (row y holds columns 0..y).
  std::vector<UInt8> icn(256, 0);
  for (int y = 0; y < 32; ++y) {
    UInt32 row = y == 31 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> (y + 1));
    be::put32(icn.data() + 128 + y * 4, row);
  }
  tb::ResourceEntry e;
  e.type = 'ICN#';
  e.id = 140;
  e.data = icn;
  ASSERT_GT(testsupport::OpenResourcesAsApplication(dir / "app.rsrc", {e}), 0);

  Rect button{100, 200, 164, 328};  // 128 wide, 64 high: 4 x 2 per mask pixel
  struct {
    Point pt;
    IconAlignmentType align;
    bool in;
  } cases[] = {
      {{160, 204}, kAlignNone, true},    // bottom-left corner
      {{101, 320}, kAlignNone, false},   // top-right corner
      {{130, 250}, kAlignNone, true},    // mask (12, 15): below the diagonal
      {{110, 300}, kAlignNone, false},   // mask (25, 5)
      {{163, 327}, kAlignNone, true},    // the last pixel
      {{164, 210}, kAlignNone, false},   // just below the rectangle
      // Centred at its natural 32 x 32: from (116, 248).
      {{147, 250}, kAlignAbsoluteCenter, true},
      {{147, 230}, kAlignAbsoluteCenter, false},  // left of the icon, inside the button
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pt.v << "," << c.pt.h);
    EXPECT_EQ(PtInIconID(c.pt, &button, c.align, 140) != 0, c.in);
  }
  EXPECT_FALSE(PtInIconID(Point{130, 210}, &button, kAlignNone, 141));  // no such icon
  tb::ResetResources();
}

}  // namespace

// 'PICT' and 'cicn' resources from PNG files.
#include <gtest/gtest.h>

#include "rezc.h"
#include "test_support.h"
#include "toolbox/pictures.h"

namespace {

TEST(RezcPictures, PngFilesBecomePicturesAndIcons) {
  testsupport::TempDir dir;
  const UInt32 px[6] = {tb::PackPixel(1, 2, 3), 0, 0, 0, 0, tb::PackPixel(4, 5, 6)};
  std::vector<UInt8> png = tb::EncodePNG(px, 12, 3, 2);
  testsupport::WriteFile(dir / "pictures" / "p.png", std::string(png.begin(), png.end()));
  testsupport::WriteFile(dir / "broken.png", std::string(png.begin(), png.begin() + 40));
  std::string path = (dir / "app.r").string();

  rezc::Result r = rezc::Compile(
      "resource 'PICT' 129 { png \"pictures/p.png\" }\n"
      "resource 'cicn' 128 \"App\" { png \"pictures/p.png\" }\n",
      path);
  ASSERT_TRUE(r.ok()) << r.errors[0];
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].data, *tb::MakePictData(png));
  EXPECT_EQ(r.entries[1].data, *tb::MakeCIconData(png));
  Rect frame;
  auto img = tb::DecodePictData(r.entries[0].data, &frame);
  ASSERT_TRUE(img);
  EXPECT_EQ(frame.right, 3);
  EXPECT_EQ(frame.bottom, 2);
  EXPECT_EQ(img->pixels[5], tb::PackPixel(4, 5, 6));
  ASSERT_FALSE(r.dependencies.empty());

  struct {
    const char* text;
    const char* error;
  } bad[] = {
      {"resource 'PICT' 1 { png \"broken.png\" }", "not a readable PNG"},
      {"resource 'PICT' 1 { png \"missing.png\" }", "missing.png"},
      {"resource 'cicn' 1 { file \"pictures/p.png\" }", "expected 'png"},
      {"resource 'PICT' 1 { png \"pictures/p.png\" png \"pictures/p.png\" }", "one PNG file"},
  };
  for (const auto& b : bad) {
    rezc::Result e = rezc::Compile(b.text, path);
    ASSERT_FALSE(e.ok()) << b.text;
    EXPECT_NE(e.errors[0].find(b.error), std::string::npos) << e.errors[0];
    EXPECT_NE(e.errors[0].find("app.r:1:"), std::string::npos) << e.errors[0];
  }
}

}  // namespace

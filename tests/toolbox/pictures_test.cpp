// Pictures and colour icons from PNG: drawing scaled, alpha, recording,
// damaged data refused, PNG writing.
#include <gtest/gtest.h>
#include <png.h>

#include <fstream>
#include <iterator>

#include "test_support.h"
#include "toolbox/memory.h"
#include "toolbox/pictures.h"
#include "toolbox/resources.h"
#include "toolbox_fixture.h"

namespace {

const UInt32 kWhite = tb::PackPixel(0xFF, 0xFF, 0xFF);
const UInt32 kRed = tb::PackPixel(0xFF, 0, 0);
const UInt32 kBlue = tb::PackPixel(0, 0, 0xFF);
const UInt32 kGreen = tb::PackPixel(0, 0xFF, 0);

using testsupport::Canvas;

// A 4 x 2 PNG: left half red, right half blue.
std::vector<UInt8> TwoColourPng() {
  UInt32 px[8];
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) px[y * 4 + x] = x < 2 ? kRed : kBlue;
  return tb::EncodePNG(px, 16, 4, 2);
}

// A 2 x 1 RGBA PNG: opaque green, then fully transparent.
std::vector<UInt8> AlphaPng() {
  UInt8 rgba[8] = {0, 255, 0, 255, 0, 0, 0, 0};
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = 2;
  img.height = 1;
  img.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&img, nullptr, &size, 0, rgba, 0, nullptr);
  std::vector<UInt8> out(size);
  png_image_write_to_memory(&img, out.data(), &size, 0, rgba, 0, nullptr);
  out.resize(size);
  return out;
}

PicHandle ToHandle(const std::vector<UInt8>& data) {
  Handle h = NewHandle(Size(data.size()));
  std::memcpy(*h, data.data(), data.size());
  return reinterpret_cast<PicHandle>(h);
}

TEST(Pictures, HeaderIsBigEndianSizeAndFrame) {
  auto pict = tb::MakePictData(TwoColourPng());
  ASSERT_TRUE(pict);
  const auto& d = *pict;
  EXPECT_EQ(be::get16(d.data()), d.size());
  EXPECT_EQ(be::get16(d.data() + 2), 0);  // top
  EXPECT_EQ(be::get16(d.data() + 6), 2);  // bottom
  EXPECT_EQ(be::get16(d.data() + 8), 4);  // right
  PicHandle pic = ToHandle(d);
  Rect b;
  QDGetPictureBounds(pic, &b);
  EXPECT_EQ(b.right, 4);
  EXPECT_EQ(b.bottom, 2);
  PictInfo info;
  ASSERT_EQ(GetPictInfo(pic, &info, 0, 0, 0, 0), noErr);
  EXPECT_EQ(info.depth, 32);
  EXPECT_EQ(info.sourceRect.right, 4);
  // The frame turned into host order in place still reads right.
  Rect& f = (**pic).picFrame;
  f.bottom = SInt16(be::get16(&f.bottom));
  f.right = SInt16(be::get16(&f.right));
  QDGetPictureBounds(pic, &b);
  EXPECT_EQ(b.right, 4);
  KillPicture(pic);
}

TEST(Pictures, DrawnScaledIntoTheRectangle) {
  Canvas c(20, 10);
  PicHandle pic = ToHandle(*tb::MakePictData(TwoColourPng()));
  Rect dst{2, 2, 8, 18};  // 16 x 6: four times wider, three times taller
  DrawPicture(pic, &dst);
  EXPECT_EQ(QDError(), noErr);
  EXPECT_EQ(c.count(kRed), 8 * 6);
  EXPECT_EQ(c.count(kBlue), 8 * 6);
  EXPECT_EQ(c.at(9, 5), kRed);
  EXPECT_EQ(c.at(10, 5), kBlue);
  EXPECT_EQ(c.at(1, 1), kWhite);
  // Clipping applies to pictures as to everything else.
  Rect all{0, 0, 10, 20};
  EraseRect(&all);
  Rect clip{0, 0, 10, 5};
  ClipRect(&clip);
  DrawPicture(pic, &dst);
  EXPECT_EQ(c.count(kRed), 3 * 6);
  ClipRect(&all);
  KillPicture(pic);
}

TEST(Pictures, DamagedPicturesDrawNothingAndReportIt) {
  Canvas c(8, 8);
  const auto good = *tb::MakePictData(TwoColourPng());
  Rect dst{0, 0, 8, 8};
  std::vector<std::vector<UInt8>> bad;
  bad.push_back({});
  bad.push_back({0, 10, 0, 0});
  bad.push_back(std::vector<UInt8>(good.begin(), good.begin() + 30));
  bad.push_back(std::vector<UInt8>(good.begin(), good.end() - 20));
  auto wrongFrame = good;
  be::put16(wrongFrame.data() + 8, 5);
  bad.push_back(wrongFrame);
  auto garbage = good;
  for (std::size_t i = 45; i < garbage.size() - 12; ++i) garbage[i] ^= 0x5A;
  bad.push_back(garbage);
  for (const auto& d : bad) {
    if (d.empty()) {
      DrawPicture(nullptr, &dst);
    } else {
      PicHandle pic = ToHandle(d);
      DrawPicture(pic, &dst);
      PictInfo info;
      EXPECT_NE(GetPictInfo(pic, &info, 0, 0, 0, 0), noErr);
      KillPicture(pic);
    }
    EXPECT_EQ(QDError(), invalidPictureErr);
    EXPECT_EQ(c.count(kWhite), 64);
  }
  // Whatever the damage, nothing crashes.
  for (std::size_t i = 0; i < good.size(); i += 3) {
    auto d = good;
    d[i] ^= 0xFF;
    EXPECT_EQ(tb::DrawPictData(d, &dst), tb::DecodePictData(d).has_value());
    // Any cut before the closing chunk (the last 12 bytes) loses image data.
    if (i < good.size() - 12) {
      EXPECT_FALSE(tb::DrawPictData(std::span<const UInt8>(good.data(), i), &dst)) << i;
    }
  }
  EXPECT_FALSE(tb::DecodePNG(std::span<const UInt8>()).has_value());
}

TEST(Pictures, AlphaLeavesTheDestinationVisible) {
  Canvas c(2, 1);
  RGBColor red{0xFFFF, 0, 0};
  RGBForeColor(&red);
  Rect all{0, 0, 1, 2};
  PaintRect(&all);
  PicHandle pic = ToHandle(*tb::MakePictData(AlphaPng()));
  DrawPicture(pic, &all);
  EXPECT_EQ(c.at(0, 0), kGreen);
  EXPECT_EQ(c.at(1, 0), kRed);
  KillPicture(pic);
}

TEST(Pictures, RecordingSnapshotsTheFrame) {
  Canvas c(10, 10);
  Rect frame{0, 0, 4, 6};
  PicHandle pic = OpenPicture(&frame);
  ASSERT_NE(pic, nullptr);
  EXPECT_EQ(OpenPicture(&frame), nullptr);  // one recording at a time
  RGBColor blue{0, 0, 0xFFFF};
  RGBForeColor(&blue);
  Rect left{0, 0, 4, 3};
  PaintRect(&left);
  ClosePicture();
  Rect b;
  QDGetPictureBounds(pic, &b);
  EXPECT_TRUE(EqualRect(&b, &frame));
  Rect all{0, 0, 10, 10};
  EraseRect(&all);
  Rect twice{0, 0, 8, 12};
  DrawPicture(pic, &twice);
  EXPECT_EQ(c.at(5, 7), kBlue);
  EXPECT_EQ(c.at(6, 7), kWhite);
  KillPicture(pic);
}

TEST(Icons, CIconDataPlotsScaledAlignedAndTransformed) {
  auto data = tb::MakeCIconData(TwoColourPng());
  ASSERT_TRUE(data);
  EXPECT_EQ(be::get32(data->data()), FourCC("cicn"));
  CIconHandle icon = tb::NewCIconFromData(*data);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ((**icon).iconBounds.right, 4);
  Canvas c(16, 16);
  Rect r{0, 0, 16, 16};
  PlotCIcon(&r, icon);
  EXPECT_EQ(c.count(kRed), 128);
  EraseRect(&r);
  ASSERT_EQ(PlotCIconHandle(&r, kAlignAbsoluteCenter, kTransformNone, icon), noErr);
  EXPECT_EQ(c.count(kRed), 4);  // natural size, centred
  EXPECT_EQ(c.at(6, 7), kRed);
  EXPECT_EQ(c.at(9, 8), kBlue);
  EraseRect(&r);
  PlotCIconHandle(&r, kAlignTopLeft, kTransformSelected, icon);
  EXPECT_EQ(c.at(0, 0), tb::PackPixel(0x7F, 0, 0));
  EraseRect(&r);
  PlotCIconHandle(&r, kAlignTopLeft, kTransformDisabled, icon);
  EXPECT_EQ(c.at(0, 0), tb::PackPixel(0xFF, 0x80, 0x80));
  DisposeCIcon(icon);
  DisposeCIcon(icon);  // a second dispose is ignored
  EXPECT_EQ(PlotCIconHandle(&r, kAlignNone, kTransformNone, icon), paramErr);
}

TEST(Icons, DamagedIconsAreRefused) {
  auto good = *tb::MakeCIconData(TwoColourPng());
  EXPECT_EQ(tb::NewCIconFromData(std::span<const UInt8>(good.data(), 10)), nullptr);
  auto v = good;
  be::put16(v.data() + 4, 9);  // unknown version
  EXPECT_EQ(tb::NewCIconFromData(v), nullptr);
  auto b = good;
  be::put16(b.data() + 12, 9);  // bounds that do not match the image
  EXPECT_EQ(tb::NewCIconFromData(b), nullptr);
  EXPECT_EQ(tb::NewCIconFromData(*tb::MakePictData(TwoColourPng())), nullptr);
  Rect r{0, 0, 4, 4};
  PlotCIcon(&r, nullptr);
  EXPECT_FALSE(tb::MakeCIconData(std::span<const UInt8>(good.data(), 20)).has_value());
}

TEST(Png, WrittenFileReadsBack) {
  testsupport::TempDir dir;
  Canvas c(3, 2);
  RGBColor blue{0, 0, 0xFFFF};
  RGBForeColor(&blue);
  Rect one{1, 2, 2, 3};
  PaintRect(&one);
  auto path = (dir / "shot.png").string();
  ASSERT_EQ(tb::WritePNG(path.c_str(), c.get()), noErr);
  std::ifstream in(path, std::ios::binary);
  std::vector<UInt8> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto img = tb::DecodePNG(bytes);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width, 3);
  EXPECT_EQ(img->height, 2);
  EXPECT_EQ(img->pixels[5], kBlue);
  EXPECT_EQ(img->pixels[0], kWhite);
  EXPECT_TRUE(img->alpha.empty());
  EXPECT_EQ(tb::WritePNG((dir / "no/such/dir.png").string().c_str(), c.get()), ioErr);
  EXPECT_EQ(tb::WritePNG(path.c_str(), nullptr), paramErr);
}

}  // namespace

namespace {

// Pictures and icons read from a resource file, as the programs get them.
class ResourcePictures : public ::testing::Test {
 protected:
  void SetUp() override {
    tb::ResetResources();
    using testsupport::Resource;
    std::vector<tb::ResourceEntry> entries = {
        Resource('PICT', 128, *tb::MakePictData(TwoColourPng())),
        Resource('cicn', 128, *tb::MakeCIconData(TwoColourPng())),
        Resource('PICT', 129, std::vector<UInt8>{0, 12, 0, 0, 0, 0, 0, 2, 0, 4, 0x89, 'P'}),  // cut short
    };
    ASSERT_GT(testsupport::OpenResourcesAsApplication(dir_ / "App.rsrc", entries), 0);
  }
  void TearDown() override { tb::ResetResources(); }
  testsupport::TempDir dir_;
};

TEST_F(ResourcePictures, GetPictureDrawsAndKillPictureReleases) {
  Canvas c(8, 4);
  PicHandle pic = GetPicture(128);
  ASSERT_NE(pic, nullptr);
  Rect b;
  QDGetPictureBounds(pic, &b);
  EXPECT_EQ(b.right, 4);
  Rect all{0, 0, 4, 8};
  DrawPicture(pic, &all);
  EXPECT_EQ(c.count(kRed), 16);
  KillPicture(pic);  // released, not freed behind the Resource Manager's back
  PicHandle again = GetPicture(128);
  ASSERT_NE(again, nullptr);
  DrawPicture(again, &all);
  EXPECT_EQ(c.count(kBlue), 16);
  ReleaseResource(reinterpret_cast<Handle>(again));
  EXPECT_EQ(GetPicture(300), nullptr);
  PicHandle bad = GetPicture(129);
  ASSERT_NE(bad, nullptr);
  EraseRect(&all);
  DrawPicture(bad, &all);
  EXPECT_EQ(QDError(), invalidPictureErr);
  EXPECT_EQ(c.count(kWhite), 32);
}

TEST_F(ResourcePictures, GetCIconMakesTheCallersIcon) {
  Canvas c(4, 2);
  CIconHandle icon = GetCIcon(128);
  ASSERT_NE(icon, nullptr);
  Rect r{0, 0, 2, 4};
  PlotCIcon(&r, icon);
  EXPECT_EQ(c.at(0, 0), kRed);
  EXPECT_EQ(c.at(3, 1), kBlue);
  DisposeCIcon(icon);
  EXPECT_EQ(GetCIcon(999), nullptr);
}

}  // namespace

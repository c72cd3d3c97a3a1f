// BMP files into offscreen worlds (every field checked, no read outside the
// file), pictures into worlds, worlds combined, pixels read and recoloured.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "common/GWorldImage.h"
#include "test_support.h"
#include "toolbox/dialogs.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/pictures.h"
#include "toolbox/resources.h"

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

void put16(std::string& s, std::size_t at, UInt32 v) {
  s[at] = static_cast<char>(v);
  s[at + 1] = static_cast<char>(v >> 8);
}
void put32(std::string& s, std::size_t at, UInt32 v) {
  put16(s, at, v);
  put16(s, at + 2, v >> 16);
}

// A BMP file; pixels are given top row first as 0xRRGGBB (24-bit) or as
// palette indexes (8-bit, palette entries 0xRRGGBB).
std::string Bmp(int width, int height, int bits, const std::vector<UInt32>& pixels,
                const std::vector<UInt32>& palette = {}, UInt32 coloursUsed = 0) {
  const std::size_t paletteEntries = bits == 8 ? (coloursUsed ? coloursUsed : 256) : 0;
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
  const std::size_t offset = 14 + 40 + 4 * paletteEntries;
  std::string s(offset + rowBytes * height, '\0');
  s[0] = 'B';
  s[1] = 'M';
  put32(s, 2, static_cast<UInt32>(s.size()));
  put32(s, 10, static_cast<UInt32>(offset));
  put32(s, 14, 40);
  put32(s, 18, static_cast<UInt32>(width));
  put32(s, 22, static_cast<UInt32>(height));
  put16(s, 26, 1);
  put16(s, 28, static_cast<UInt32>(bits));
  put32(s, 46, coloursUsed);
  for (std::size_t i = 0; i < palette.size() && i < paletteEntries; ++i) {
    s[54 + 4 * i] = static_cast<char>(palette[i]);
    s[54 + 4 * i + 1] = static_cast<char>(palette[i] >> 8);
    s[54 + 4 * i + 2] = static_cast<char>(palette[i] >> 16);
  }
  for (int y = 0; y < height; ++y) {
    const std::size_t row = offset + rowBytes * static_cast<std::size_t>(height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const UInt32 p = pixels[static_cast<std::size_t>(y * width + x)];
      if (bits == 24) {
        s[row + 3 * x] = static_cast<char>(p);
        s[row + 3 * x + 1] = static_cast<char>(p >> 8);
        s[row + 3 * x + 2] = static_cast<char>(p >> 16);
      } else {
        s[row + x] = static_cast<char>(p);
      }
    }
  }
  return s;
}

// The pixel's memory bytes as 0xRRGGBB, after checking byte 0 is 0.
UInt32 Pixel(GWorldPtr world, int x, int y) {
  PixMapHandle pm = GetGWorldPixMap(world);
  const UInt8* p = reinterpret_cast<const UInt8*>(GetPixBaseAddr(pm)) + y * GetPixRowBytes(pm) + 4 * x;
  EXPECT_EQ(p[0], 0);
  return (UInt32{p[1]} << 16) | (UInt32{p[2]} << 8) | p[3];
}

void SetPixel(GWorldPtr world, int x, int y, UInt32 rgb) {
  PixMapHandle pm = GetGWorldPixMap(world);
  UInt8* p = reinterpret_cast<UInt8*>(GetPixBaseAddr(pm)) + y * GetPixRowBytes(pm) + 4 * x;
  p[0] = 0;
  p[1] = static_cast<UInt8>(rgb >> 16);
  p[2] = static_cast<UInt8>(rgb >> 8);
  p[3] = static_cast<UInt8>(rgb);
}

GWorldPtr World(int width, int height, const std::vector<UInt32>& pixels) {
  Rect r = {0, 0, static_cast<short>(height), static_cast<short>(width)};
  GWorldPtr w = nullptr;
  EXPECT_EQ(NewGWorld(&w, 32, &r, nullptr, nullptr, 0), noErr);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) SetPixel(w, x, y, pixels[static_cast<std::size_t>(y * width + x)]);
  return w;
}

class BmpFiles : public ::testing::Test {
 protected:
  // Loads bytes written to a file; the world (null when none) in *world.
  OSErr Load(const std::string& bytes, GWorldPtr* world) {
    const auto path = dir_ / "image.bmp";
    WriteFile(path, bytes);
    FSSpec fss;
    EXPECT_EQ(tb::PathToSpec(path.string(), &fss), noErr);
    *world = reinterpret_cast<GWorldPtr>(1);  // must be replaced
    return NewGWorldFromBMP(world, &fss);
  }
  TempDir dir_;
};

}  // namespace

TEST_F(BmpFiles, TwentyFourBitRowsArePaddedAndBottomUp) {
  // Rows of 3 pixels take 9 bytes, padded to 12; the file's last row is the top.
  const std::vector<UInt32> px = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x123456};
  GWorldPtr w;
  ASSERT_EQ(Load(Bmp(3, 2, 24, px), &w), noErr);
  ASSERT_NE(w, nullptr);
  Rect bounds;
  GetPortBounds(w, &bounds);
  EXPECT_EQ(bounds.right - bounds.left, 3);
  EXPECT_EQ(bounds.bottom - bounds.top, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Pixel(w, x, y), px[static_cast<std::size_t>(y * 3 + x)]) << x << "," << y;
  DisposeGWorld(w);
}

TEST_F(BmpFiles, EightBitPalettes) {
  // Colours used 0: a palette of 256 entries precedes the pixels.
  std::vector<UInt32> palette(256);
  for (UInt32 i = 0; i < 256; ++i) palette[i] = (i << 16) | ((255 - i) << 8) | (i / 2);
  const std::vector<UInt32> idx = {0, 255, 7, 128, 1, 2, 3, 4, 5, 6};
  GWorldPtr w;
  ASSERT_EQ(Load(Bmp(5, 2, 8, idx, palette, 0), &w), noErr);
  ASSERT_NE(w, nullptr);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Pixel(w, i % 5, i / 5), palette[idx[static_cast<std::size_t>(i)]]) << i;
  DisposeGWorld(w);

  // Two colours used: an index beyond them is black.
  ASSERT_EQ(Load(Bmp(3, 1, 8, {1, 0, 9}, {0xABCDEF, 0x102030}, 2), &w), noErr);
  EXPECT_EQ(Pixel(w, 0, 0), 0x102030u);
  EXPECT_EQ(Pixel(w, 1, 0), 0xABCDEFu);
  EXPECT_EQ(Pixel(w, 2, 0), 0x000000u);
  DisposeGWorld(w);
}

TEST_F(BmpFiles, FilesThatAreNotWhatTheySayAreRefused) {
  const std::string good = Bmp(4, 3, 8, std::vector<UInt32>(12, 1), {0x111111, 0x222222}, 2);
  const std::string good24 = Bmp(2, 2, 24, {1, 2, 3, 4});
  struct Case {
    const char* what;
    std::string bytes;
    OSErr err;
  };
  auto with = [](std::string s, std::size_t at, UInt32 v, bool wide = true) {
    wide ? put32(s, at, v) : put16(s, at, v);
    return s;
  };
  const Case cases[] = {
      {"not BM", with(good, 0, 'M' | ('B' << 8), false), paramErr},
      {"16 bits", with(good, 28, 16, false), paramErr},
      {"32 bits", with(good24, 28, 32, false), paramErr},
      {"compressed", with(good, 30, 1), paramErr},
      {"two planes", with(good, 26, 2, false), paramErr},
      {"width 0", with(good, 18, 0), paramErr},
      {"height 0", with(good, 22, 0), paramErr},
      {"top-down", with(good, 22, static_cast<UInt32>(-3)), paramErr},
      {"too wide", with(good, 18, 9000), paramErr},
      {"too many pixels", with(with(good, 18, 8192), 22, 8192), paramErr},
      {"huge height", with(good, 22, 0x7FFFFFFF), paramErr},
      {"old header", with(good, 14, 12), paramErr},
      {"header beyond the file", with(good, 14, 2000), paramErr},
      {"300 colours", with(good, 46, 300), paramErr},
      {"pixels inside the palette", with(good, 10, 14 + 40 + 4), paramErr},
      {"pixels beyond the end", with(good, 10, 0x7FFFFF00), eofErr},
      {"more rows than the file holds", with(good, 22, 4), eofErr},
      {"claims a larger file", with(good, 2, static_cast<UInt32>(good.size() + 1)), paramErr},
      {"claims a smaller file", with(good, 2, 60), paramErr},
      {"24 bits cut short", good24.substr(0, good24.size() - 1), eofErr},
      {"empty", "", eofErr},
  };
  for (const Case& c : cases) {
    GWorldPtr w;
    EXPECT_EQ(Load(c.bytes, &w), c.err) << c.what;
    EXPECT_EQ(w, nullptr) << c.what;
  }
  GWorldPtr w;
  ASSERT_EQ(Load(with(good, 2, 0), &w), noErr);  // a file size of 0 is not a claim
  DisposeGWorld(w);
  std::string trailing = good + "trailing bytes";
  ASSERT_EQ(Load(trailing, &w), noErr);
  DisposeGWorld(w);
}

TEST_F(BmpFiles, EveryCutOfAFileIsRefusedWithoutReadingPastIt) {
  const std::string good = Bmp(5, 3, 8, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2},
                               {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF}, 4);
  for (std::size_t n = 0; n < good.size(); ++n) {
    GWorldPtr w;
    EXPECT_NE(Load(good.substr(0, n), &w), noErr) << n;
    EXPECT_EQ(w, nullptr) << n;
  }
  GWorldPtr w;
  ASSERT_EQ(Load(good, &w), noErr);
  EXPECT_EQ(Pixel(w, 4, 2), 0xFF0000u);
  DisposeGWorld(w);

  FSSpec missing;
  tb::PathToSpec((dir_ / "missing.bmp").string(), &missing);
  EXPECT_EQ(NewGWorldFromBMP(&w, &missing), fnfErr);
  EXPECT_EQ(w, nullptr);
  EXPECT_EQ(NewGWorldFromBMP(nullptr, &missing), paramErr);
}

// Files written by another program (netpbm's ppmtobmp, from the plain
// pixmaps beside them): a 24-bit one and an 8-bit one with a full palette
// and rows padded from 5 to 8 bytes.
TEST_F(BmpFiles, FilesWrittenByAnotherProgramLoadPixelForPixel) {
  for (const char* name : {"rgb-3x2", "palette-5x3"}) {
    SCOPED_TRACE(name);
    const std::string base = std::string(BITMAP_FIXTURES) + "/" + name;
    // The pixmap: "P3", width, height, 255, then red green blue per pixel
    // from the top row; "#" starts a comment.
    std::istringstream ppm(testsupport::ReadFile(base + ".ppm"));
    std::vector<std::string> words;
    for (std::string line; std::getline(ppm, line);) {
      std::istringstream in(line.substr(0, line.find('#')));
      for (std::string w; in >> w;) words.push_back(w);
    }
    ASSERT_GE(words.size(), 4u);
    const int width = std::stoi(words[1]), height = std::stoi(words[2]);
    ASSERT_EQ(words.size(), 4u + 3u * static_cast<std::size_t>(width * height));

    const std::string bmp = testsupport::ReadFile(base + ".bmp");
    GWorldPtr w;
    ASSERT_EQ(Load(bmp, &w), noErr);
    ASSERT_NE(w, nullptr);
    Rect bounds;
    GetPortBounds(w, &bounds);
    EXPECT_EQ(bounds.right - bounds.left, width);
    EXPECT_EQ(bounds.bottom - bounds.top, height);
    for (int i = 0; i < width * height; ++i) {
      const std::size_t at = 4 + 3 * static_cast<std::size_t>(i);
      const UInt32 rgb = (UInt32(std::stoi(words[at])) << 16) | (UInt32(std::stoi(words[at + 1])) << 8) |
                         UInt32(std::stoi(words[at + 2]));
      EXPECT_EQ(Pixel(w, i % width, i / width), rgb) << i % width << "," << i / width;
    }
    DisposeGWorld(w);

    // Shorter copies are refused: cut in the headers, the palette, the
    // pixel rows and their padding.
    for (std::size_t n = 0; n < bmp.size(); n += n < 64 || n + 16 > bmp.size() ? 1 : 61) {
      EXPECT_NE(Load(bmp.substr(0, n), &w), noErr) << n;
      ASSERT_EQ(w, nullptr) << n;
    }
  }
}

TEST(GWorldPixels, ReadWidensEachByteByRepeatingIt) {
  GWorldPtr w = World(2, 1, {0xC8FF00, 0x017F80});
  RGBColor c{1, 2, 3};
  EXPECT_EQ(GetGWorldPixel(w, 0, 0, &c), 0);
  EXPECT_EQ(c.red, 0xC8C8);
  EXPECT_EQ(c.green, 0xFFFF);
  EXPECT_EQ(c.blue, 0x0000);
  EXPECT_EQ(GetGWorldPixel(w, 1, 0, &c), 0);
  EXPECT_EQ(c.red, 0x0101);
  EXPECT_EQ(c.green, 0x7F7F);
  EXPECT_EQ(c.blue, 0x8080);

  const RGBColor before = c;
  for (auto [x, y] : {std::pair{2, 0}, {0, 1}, {-1, 0}, {0, -1}}) {
    EXPECT_EQ(GetGWorldPixel(w, static_cast<short>(x), static_cast<short>(y), &c), -3);
    EXPECT_EQ(c.red, before.red);
  }
  EXPECT_EQ(GetGWorldPixel(nullptr, 0, 0, &c), -1);
  EXPECT_EQ(GetGWorldPixel(w, 0, 0, nullptr), -1);
  DisposeGWorld(w);
}

TEST(GWorldPixels, ExchangeComparesTheBytesOfTheDepth) {
  const std::vector<UInt32> px = {0x102030, 0x102031, 0x102030, 0x112030, 0x000000, 0x102030};
  const RGBColor newColour = {0xAB00, 0xCD11, 0xEFFF};
  struct Case {
    short depth;
    std::vector<UInt32> expected;
  };
  const Case cases[] = {
      // 32: red, green and blue must all match.
      {32, {0xABCDEF, 0x102031, 0xABCDEF, 0x112030, 0x000000, 0xABCDEF}},
      // 16: bytes 0 and 1 (0 and red).
      {16, {0xABCDEF, 0xABCDEF, 0xABCDEF, 0x112030, 0x000000, 0xABCDEF}},
      // 8: byte 0, which is 0 in every pixel.
      {8, std::vector<UInt32>(6, 0xABCDEF)},
  };
  for (const Case& c : cases) {
    GWorldPtr w = World(3, 2, px);
    EXPECT_EQ(ExchangePixelColor(w, c.depth, &newColour, Point{0, 0}), 0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Pixel(w, i % 3, i / 3), c.expected[static_cast<std::size_t>(i)]) << c.depth << " " << i;
    DisposeGWorld(w);
  }
  GWorldPtr w = World(3, 2, px);
  EXPECT_EQ(ExchangePixelColor(nullptr, 32, &newColour, Point{0, 0}), -1);
  EXPECT_EQ(ExchangePixelColor(w, 24, &newColour, Point{0, 0}), -2);
  EXPECT_EQ(ExchangePixelColor(w, 32, &newColour, Point{2, 0}), -3);  // v 2: below the world
  EXPECT_EQ(ExchangePixelColor(w, 32, &newColour, Point{0, 3}), -3);
  EXPECT_EQ(ExchangePixelColor(w, 32, &newColour, Point{-1, 0}), -3);
  EXPECT_EQ(ExchangePixelColor(w, 32, &newColour, Point{1, 2}), 0);  // (h 2, v 1)
  EXPECT_EQ(Pixel(w, 2, 1), 0xABCDEFu);
  EXPECT_EQ(Pixel(w, 0, 0), 0xABCDEFu);
  DisposeGWorld(w);
}

TEST(GWorldPixels, UnionCopiesTheSecondWorldOverTheFirst) {
  GWorldPtr back = World(4, 2, std::vector<UInt32>(8, 0xFF0000));
  GWorldPtr front = World(2, 1, {0x0000FF, 0xFFFFFF});
  const Rect r1 = {0, 1, 1, 3};  // 2 x 1 of the red world
  const Rect r2 = {0, 0, 1, 2};
  const RGBColor white = {0xFFFF, 0xFFFF, 0xFFFF};
  GWorldPtr out = nullptr;
  ASSERT_EQ(NewUnionGWorkd(&out, back, &r1, srcCopy, nullptr, front, &r2, transparent, &white), noErr);
  Rect b;
  GetPortBounds(out, &b);
  EXPECT_EQ(b.right - b.left, 2);
  EXPECT_EQ(b.bottom - b.top, 1);
  EXPECT_EQ(Pixel(out, 0, 0), 0x0000FFu);
  EXPECT_EQ(Pixel(out, 1, 0), 0xFF0000u);  // white left out
  DisposeGWorld(out);

  ASSERT_EQ(NewUnionGWorkd(&out, back, &r1, srcCopy, nullptr, front, &r2, srcCopy, &white), noErr);
  EXPECT_EQ(Pixel(out, 1, 0), 0xFFFFFFu);
  DisposeGWorld(out);
  EXPECT_EQ(NewUnionGWorkd(&out, nullptr, &r1, srcCopy, nullptr, front, &r2, srcCopy, nullptr), paramErr);
  EXPECT_EQ(out, nullptr);
  DisposeGWorld(back);
  DisposeGWorld(front);
}

TEST(GWorldPixels, PicturesFromTheResourceChain) {
  TempDir dir;
  tb::ResetResources();
  UInt32 png[6];
  for (int i = 0; i < 6; ++i) png[i] = tb::PackPixel(i < 3 ? 0x20 : 0x40, 0x80, 0xC0);
  // 129 is cut short.
  ASSERT_GT(testsupport::OpenResourcesAsApplication(
                dir / "App.rsrc",
                {testsupport::Resource('PICT', 128, *tb::MakePictData(tb::EncodePNG(png, 12, 3, 2))),
                 testsupport::Resource('PICT', 129, std::vector<UInt8>{0, 12, 0, 0, 0, 0, 0, 2, 0, 4, 0x89, 'P'})}),
            0);

  GWorldPtr w = nullptr;
  ASSERT_EQ(NewGWorldFromPict(&w, 128), noErr);
  ASSERT_NE(w, nullptr);
  Rect b;
  GetPortBounds(w, &b);
  EXPECT_EQ(b.right - b.left, 3);
  EXPECT_EQ(b.bottom - b.top, 2);
  EXPECT_EQ(Pixel(w, 0, 0), 0x2080C0u);
  EXPECT_EQ(Pixel(w, 2, 1), 0x4080C0u);
  DisposeGWorld(w);

  EXPECT_EQ(NewGWorldFromPict(&w, 300), -1);
  EXPECT_EQ(w, nullptr);
  EXPECT_NE(NewGWorldFromPict(&w, 129), noErr);
  EXPECT_EQ(w, nullptr);
  tb::ResetResources();
}

namespace {

// A dialog without items, its content white.
DialogRef EmptyDialog(short width, short height) {
  Handle items = NewHandle(2);
  (*items)[0] = static_cast<char>(0xFF);
  (*items)[1] = static_cast<char>(0xFF);
  Rect bounds = {60, 60, static_cast<short>(60 + height), static_cast<short>(60 + width)};
  Str255 title;
  pstr::set(title, sizeof title, "Drawing");
  DialogRef d = NewColorDialog(nullptr, &bounds, title, true, dBoxProc, kFirstWindowOfClass, false,
                               0, items);
  DisposeHandle(items);
  return d;
}

UInt32 DialogPixel(DialogRef d, int x, int y) {
  UInt8 r, g, b;
  tb::UnpackPixel(tb::PortPixel(GetDialogPort(d), x, y), r, g, b);
  return (UInt32{r} << 16) | (UInt32{g} << 8) | b;
}

}  // namespace

TEST(GWorldDrawing, WholePartsAndMaskedCopiesIntoADialog) {
  DialogRef d = EmptyDialog(20, 10);
  ASSERT_NE(d, nullptr);
  GWorldPtr w = World(2, 2, {0xFF0000, 0xFFFFFF, 0x00FF00, 0x0000FF});
  GrafPtr before;
  GetPort(&before);

  const Rect whole = {1, 1, 3, 3};
  DrawGWorld(d, w, &whole);
  EXPECT_EQ(DialogPixel(d, 1, 1), 0xFF0000u);
  EXPECT_EQ(DialogPixel(d, 2, 1), 0xFFFFFFu);
  EXPECT_EQ(DialogPixel(d, 1, 2), 0x00FF00u);
  EXPECT_EQ(DialogPixel(d, 2, 2), 0x0000FFu);
  EXPECT_EQ(DialogPixel(d, 0, 0), 0xFFFFFFu);

  const Rect src = {1, 0, 2, 2};  // the bottom row
  const Rect dst = {5, 5, 6, 7};
  DrawGWorldRect(d, w, &src, &dst);
  EXPECT_EQ(DialogPixel(d, 5, 5), 0x00FF00u);
  EXPECT_EQ(DialogPixel(d, 6, 5), 0x0000FFu);
  const Rect dst2 = {7, 5, 8, 7};
  DrawPartGWorld(d, w, &src, &dst2);
  EXPECT_EQ(DialogPixel(d, 6, 7), 0x0000FFu);

  // Filled blue first, then the world drawn leaving out its white.
  GWorldPtr blue = World(2, 2, std::vector<UInt32>(4, 0x0000FF));
  const Rect all = {0, 0, 2, 2};
  const Rect at = {0, 10, 2, 12};
  DrawGWorldRect(d, blue, &all, &at);
  const RGBColor white = {0xFFFF, 0xFFFF, 0xFFFF};
  Draw_GWorld_Mask(d, w, &all, &at, &white);
  EXPECT_EQ(DialogPixel(d, 10, 0), 0xFF0000u);
  EXPECT_EQ(DialogPixel(d, 11, 0), 0x0000FFu);  // white not drawn
  EXPECT_EQ(DialogPixel(d, 10, 1), 0x00FF00u);

  // Nothing for a missing world or dialog; the current port stays.
  DrawGWorld(d, nullptr, &whole);
  DrawGWorld(nullptr, w, &whole);
  DrawGWorldRect(d, w, nullptr, &dst);
  GrafPtr after;
  GetPort(&after);
  EXPECT_EQ(after, before);
  DisposeGWorld(blue);
  DisposeGWorld(w);
  DisposeDialog(d);
}

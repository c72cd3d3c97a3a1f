// Pixel-probe tests of ports, offscreen worlds, shapes, clipping and CopyBits.
#include <gtest/gtest.h>

#include <array>

#include "toolbox/quickdraw.h"

namespace {

const UInt32 kWhite = tb::PackPixel(0xFF, 0xFF, 0xFF);
const UInt32 kBlack = tb::PackPixel(0, 0, 0);
const UInt32 kRed = tb::PackPixel(0xFF, 0, 0);
const UInt32 kBlue = tb::PackPixel(0, 0, 0xFF);
const RGBColor kRedRGB{0xFFFF, 0, 0};
const RGBColor kBlueRGB{0, 0, 0xFFFF};
const RGBColor kWhiteRGB{0xFFFF, 0xFFFF, 0xFFFF};
const RGBColor kBlackRGB{0, 0, 0};

// A fresh world made current for one test; restores the previous port.
class World {
 public:
  World(short w, short h, short left = 0, short top = 0) {
    GetGWorld(&savedPort_, &savedDevice_);
    Rect r{top, left, SInt16(top + h), SInt16(left + w)};
    EXPECT_EQ(NewGWorld(&world_, 32, &r, nullptr, nullptr, 0), noErr);
    SetGWorld(world_, nullptr);
  }
  ~World() {
    SetGWorld(savedPort_, savedDevice_);
    DisposeGWorld(world_);
  }
  GWorldPtr get() const { return world_; }
  // Pixel at buffer position (x, y).
  UInt32 at(int x, int y) const { return tb::PortPixel(world_, x, y); }
  int count(UInt32 px) const {
    int n = 0;
    for (int y = 0; y < tb::PortHeight(world_); ++y)
      for (int x = 0; x < tb::PortWidth(world_); ++x) n += at(x, y) == px;
    return n;
  }

 private:
  GWorldPtr world_ = nullptr;
  CGrafPtr savedPort_ = nullptr;
  GDHandle savedDevice_ = nullptr;
};

struct Rgn {
  RgnHandle h = NewRgn();
  ~Rgn() { DisposeRgn(h); }
  operator RgnHandle() const { return h; }
};

TEST(GWorld, PixelsAreZeroRedGreenBlueInMemory) {
  World w(4, 3);
  RGBForeColor(&kRedRGB);
  Rect r{0, 0, 3, 4};
  PaintRect(&r);
  PixMapHandle pm = GetGWorldPixMap(w.get());
  ASSERT_TRUE(LockPixels(pm));
  auto* base = reinterpret_cast<UInt8*>(GetPixBaseAddr(pm));
  EXPECT_EQ(GetPixRowBytes(pm), 16);
  EXPECT_EQ(GetPixDepth(pm), 32);
  EXPECT_EQ(base[0], 0);
  EXPECT_EQ(base[1], 0xFF);
  EXPECT_EQ(base[2], 0);
  EXPECT_EQ(base[3], 0);
  UnlockPixels(pm);
}

TEST(GWorld, StartsWhiteAndRefusesBadBounds) {
  World w(5, 5);
  EXPECT_EQ(w.count(kWhite), 25);
  GWorldPtr g = nullptr;
  Rect empty{0, 0, 0, 10};
  EXPECT_EQ(NewGWorld(&g, 32, &empty, nullptr, nullptr, 0), paramErr);
  EXPECT_EQ(g, nullptr);
  Rect huge{0, 0, 30000, 30000};
  EXPECT_EQ(NewGWorld(&g, 32, &huge, nullptr, nullptr, 0), memFullErr);
  EXPECT_EQ(NewGWorld(&g, 24, &empty, nullptr, nullptr, 0), cDepthErr);
}

TEST(GWorld, BoundsWithOffsetGiveLocalCoordinates) {
  World w(10, 10, 100, 50);
  Rect bounds;
  GetPortBounds(w.get(), &bounds);
  EXPECT_EQ(bounds.left, 100);
  EXPECT_EQ(bounds.top, 50);
  Rect r{50, 100, 51, 101};  // the world's top-left pixel
  PaintRect(&r);
  EXPECT_EQ(w.at(0, 0), kBlack);
  EXPECT_EQ(w.count(kBlack), 1);
}

TEST(Ports, SetPortRefusesUnknownPortsAndGetGWorldReturnsCurrent) {
  World w(2, 2);
  SetPort(reinterpret_cast<GrafPtr>(0x1234));
  GrafPtr cur;
  GetPort(&cur);
  EXPECT_EQ(cur, w.get());
}

TEST(Ports, WindowPortClonesShareVisibleRegionButNotColours) {
  CGrafPtr port = tb::NewPort(20, 10);
  CGrafPtr clone = tb::ClonePort(port);
  GrafPtr saved;
  GetPort(&saved);
  SetPort(clone);
  RGBForeColor(&kRedRGB);
  SetPort(port);
  RGBColor c;
  GetForeColor(&c);
  EXPECT_EQ(c.red, 0);  // the original keeps black
  Rgn vis;
  SetRectRgn(vis, 0, 0, 5, 5);
  SetPortVisibleRegion(port, vis);
  SetPort(clone);
  Rect all{0, 0, 10, 20};
  PaintRect(&all);
  EXPECT_EQ(tb::PortPixel(port, 4, 4), kRed);
  EXPECT_EQ(tb::PortPixel(port, 5, 5), kWhite);
  tb::DisposePort(port);
  // The clone outlives the original and draws nowhere.
  PaintRect(&all);
  tb::DisposePort(clone);
  SetPort(saved);
}

TEST(Ports, ResizeKeepsOverlapAndGlobalLocalConversion) {
  CGrafPtr port = tb::NewPort(4, 4);
  GrafPtr saved;
  GetPort(&saved);
  SetPort(port);
  Rect r{0, 0, 4, 4};
  PaintRect(&r);
  tb::ResizePort(port, 6, 2);
  EXPECT_EQ(tb::PortPixel(port, 3, 1), kBlack);
  EXPECT_EQ(tb::PortPixel(port, 5, 1), kWhite);
  Rect bounds;
  GetPortBounds(port, &bounds);
  EXPECT_EQ(bounds.right, 6);
  EXPECT_EQ(bounds.bottom, 2);
  tb::SetPortGlobalOrigin(port, Point{40, 100});
  Point pt{45, 103};
  GlobalToLocal(&pt);
  EXPECT_EQ(pt.h, 3);
  EXPECT_EQ(pt.v, 5);
  LocalToGlobal(&pt);
  EXPECT_EQ(pt.h, 103);
  EXPECT_EQ(pt.v, 45);
  SetOrigin(10, 20);
  pt = Point{40, 100};
  GlobalToLocal(&pt);
  EXPECT_EQ(pt.h, 10);
  EXPECT_EQ(pt.v, 20);
  SetPort(saved);
  tb::DisposePort(port);
}

TEST(Shapes, FrameRectWithPenSizeStaysInside) {
  World w(10, 10);
  PenSize(2, 1);
  Rect r{1, 1, 9, 9};
  FrameRect(&r);
  EXPECT_EQ(w.at(1, 1), kBlack);
  EXPECT_EQ(w.at(2, 5), kBlack);
  EXPECT_EQ(w.at(3, 5), kWhite);  // two wide at the sides
  EXPECT_EQ(w.at(5, 2), kWhite);  // one high at the top
  EXPECT_EQ(w.at(8, 8), kBlack);
  EXPECT_EQ(w.at(9, 9), kWhite);
  EXPECT_EQ(w.count(kBlack), 8 * 8 - 4 * 6);
  PenNormal();
}

TEST(Shapes, LinesIncludeBothEndsAndPenHangsBelowRight) {
  World w(10, 10);
  MoveTo(1, 1);
  LineTo(5, 1);
  EXPECT_EQ(w.count(kBlack), 5);
  Point pen;
  GetPen(&pen);
  EXPECT_EQ(pen.h, 5);
  Rect all{0, 0, 10, 10};
  EraseRect(&all);
  PenSize(2, 2);
  MoveTo(2, 2);
  Line(0, 3);
  EXPECT_EQ(w.count(kBlack), 2 * 5);
  EXPECT_EQ(w.at(3, 6), kBlack);
  PenNormal();
  EraseRect(&all);
  MoveTo(0, 0);
  LineTo(9, 9);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(w.at(i, i), kBlack);
  EXPECT_EQ(w.count(kBlack), 10);
}

TEST(Shapes, PatternsModesAndColours) {
  World w(8, 8);
  Pattern gray;
  GetQDGlobalsGray(&gray);
  Rect r{0, 0, 8, 8};
  RGBForeColor(&kRedRGB);
  RGBBackColor(&kBlueRGB);
  FillRect(&r, &gray);
  EXPECT_EQ(w.count(kRed), 32);
  EXPECT_EQ(w.count(kBlue), 32);
  EXPECT_NE(w.at(0, 0), w.at(1, 0));
  EXPECT_NE(w.at(0, 0), w.at(0, 1));
  EraseRect(&r);
  EXPECT_EQ(w.count(kBlue), 64);  // erase uses the background colour
  InvertRect(&r);
  EXPECT_EQ(w.count(tb::PackPixel(0xFF, 0xFF, 0)), 64);
  RGBForeColor(&kBlackRGB);
  RGBBackColor(&kWhiteRGB);
  EraseRect(&r);
  PenMode(patXor);
  PaintRect(&r);
  PaintRect(&r);
  EXPECT_EQ(w.count(kWhite), 64);
  PenNormal();
}

TEST(Shapes, OvalsAndRoundRectsAreSymmetricAndInside) {
  World w(20, 12);
  Rect r{1, 2, 11, 18};
  PaintOval(&r);
  EXPECT_EQ(w.at(10, 6), kBlack);
  EXPECT_EQ(w.at(2, 1), kWhite);  // corners stay clear
  EXPECT_EQ(w.at(17, 10), kWhite);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x) {
      EXPECT_EQ(w.at(x, y), w.at(19 - x, y)) << x << "," << y;
      EXPECT_EQ(w.at(x, y), w.at(x, 11 - y)) << x << "," << y;
      if (x < 2 || x >= 18 || y < 1 || y >= 11) {
        EXPECT_EQ(w.at(x, y), kWhite);
      }
    }
  Rect all{0, 0, 12, 20};
  EraseRect(&all);
  FrameRoundRect(&r, 6, 6);
  EXPECT_EQ(w.at(10, 1), kBlack);   // straight top edge
  EXPECT_EQ(w.at(2, 6), kBlack);    // straight left edge
  EXPECT_EQ(w.at(2, 1), kWhite);    // rounded corner
  EXPECT_EQ(w.at(10, 6), kWhite);   // hollow
}

TEST(Clip, ClipRectAndClipRegionLimitDrawing) {
  World w(10, 10);
  Rgn saved;
  GetClip(saved);
  Rect c{2, 2, 5, 5};
  ClipRect(&c);
  Rect all{0, 0, 10, 10};
  PaintRect(&all);
  EXPECT_EQ(w.count(kBlack), 9);
  Rgn two, b;
  SetRectRgn(two, 0, 0, 2, 2);
  SetRectRgn(b, 8, 8, 10, 10);
  UnionRgn(two, b, two);
  SetClip(two);
  EraseRect(&all);
  EXPECT_EQ(w.count(kBlack), 9);  // inside the old clip, untouched
  PaintRect(&all);
  EXPECT_EQ(w.at(0, 0), kBlack);
  EXPECT_EQ(w.at(9, 9), kBlack);
  EXPECT_EQ(w.count(kBlack), 9 + 8);
  SetClip(saved);
}

// ---------------------------------------------------------------------------
// Regions

TEST(Regions, EqualityEmptinessCopyOffsetAndRectTests) {
  Rgn a, b, c;
  SetRectRgn(a, 0, 0, 10, 10);
  SetRectRgn(b, 0, 0, 5, 10);
  SetRectRgn(c, 5, 0, 10, 10);
  UnionRgn(b, c, b);  // two halves make the same set
  EXPECT_TRUE(EqualRgn(a, b));
  DiffRgn(a, b, c);
  EXPECT_TRUE(EmptyRgn(c));
  CopyRgn(a, c);
  OffsetRgn(c, 20, 30);
  Rect box;
  GetRegionBounds(c, &box);
  EXPECT_EQ(box.left, 20);
  EXPECT_EQ(box.top, 30);
  Rect probe{35, 25, 36, 26};
  EXPECT_TRUE(RectInRgn(&probe, c));
  OffsetRect(&probe, 100, 0);
  EXPECT_FALSE(RectInRgn(&probe, c));
  SetEmptyRgn(c);
  EXPECT_TRUE(EmptyRgn(c));
  SetRectRgn(b, 5, 5, 15, 15);
  SectRgn(a, b, c);
  EXPECT_TRUE(IsRegionRectangular(c));
  DiffRgn(a, b, c);
  EXPECT_FALSE(IsRegionRectangular(c));
  DisposeRgn(nullptr);  // harmless
  EXPECT_TRUE(EmptyRgn(nullptr));
}

TEST(Regions, BitMapToRegionTracesInkedPixels) {
  World w(6, 4);
  Rect dot{1, 1, 2, 2};
  PaintRect(&dot);
  Rect bar{3, 2, 4, 6};
  RGBForeColor(&kRedRGB);
  PaintRect(&bar);
  RGBForeColor(&kBlackRGB);
  Rgn r;
  ASSERT_EQ(BitMapToRegion(r, GetPortBitMapForCopyBits(w.get())), noErr);
  EXPECT_TRUE(PtInRgn(Point{1, 1}, r));
  EXPECT_TRUE(PtInRgn(Point{3, 5}, r));
  EXPECT_FALSE(PtInRgn(Point{0, 0}, r));
  EXPECT_FALSE(PtInRgn(Point{3, 1}, r));
}

TEST(Regions, PaintFrameAndEraseRegion) {
  World w(10, 10);
  Rgn r;
  SetRectRgn(r, 2, 2, 8, 8);
  FrameRgn(r);
  EXPECT_EQ(w.count(kBlack), 36 - 16);
  PaintRgn(r);
  EXPECT_EQ(w.count(kBlack), 36);
  EraseRgn(r);
  EXPECT_EQ(w.count(kBlack), 0);
  InvertRgn(r);
  EXPECT_EQ(w.count(kBlack), 36);
}

// ---------------------------------------------------------------------------
// CopyBits

// Fills a world with a distinct colour per pixel.
void Gradient(GWorldPtr g) {
  PixMapHandle pm = GetGWorldPixMap(g);
  auto* base = reinterpret_cast<UInt8*>(GetPixBaseAddr(pm));
  SInt32 rb = GetPixRowBytes(pm);
  Rect b;
  GetPixBounds(pm, &b);
  for (int y = 0; y < b.bottom - b.top; ++y)
    for (int x = 0; x < b.right - b.left; ++x) {
      UInt8* p = base + y * rb + x * 4;
      p[0] = 0;
      p[1] = UInt8(x * 10);
      p[2] = UInt8(y * 10);
      p[3] = 7;
    }
}

TEST(CopyBitsTest, SourceCopyAndScaling) {
  World src(4, 4);
  Gradient(src.get());
  World dst(8, 8);
  const BitMap* s = GetPortBitMapForCopyBits(src.get());
  const BitMap* d = GetPortBitMapForCopyBits(dst.get());
  Rect sr{0, 0, 4, 4}, dr{2, 2, 6, 6};
  CopyBits(s, d, &sr, &dr, srcCopy, nullptr);
  EXPECT_EQ(dst.at(2, 2), src.at(0, 0));
  EXPECT_EQ(dst.at(5, 5), src.at(3, 3));
  EXPECT_EQ(dst.at(1, 1), kWhite);
  // Doubling: each source pixel becomes a 2x2 block.
  Rect big{0, 0, 8, 8};
  CopyBits(s, d, &sr, &big, srcCopy, nullptr);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.at(x, y), src.at(x / 2, y / 2));
  // Halving picks every other pixel.
  World small(2, 2);
  Rect half{0, 0, 2, 2};
  CopyBits(s, GetPortBitMapForCopyBits(small.get()), &sr, &half, srcCopy | ditherCopy, nullptr);
  EXPECT_EQ(small.at(1, 1), src.at(2, 2));
  // A stretched middle third, as for a tab's background.
  Rect mid{0, 1, 4, 2}, wide{0, 0, 4, 8};
  CopyBits(s, d, &mid, &wide, srcCopy, nullptr);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.at(x, 3), src.at(1, 3));
}

TEST(CopyBitsTest, TransparentSkipsTheDestinationsBackgroundColour) {
  World src(3, 1);
  RGBForeColor(&kRedRGB);
  Rect left{0, 0, 1, 1};
  PaintRect(&left);  // red, white, white
  World dst(3, 1);
  RGBForeColor(&kBlueRGB);
  Rect all{0, 0, 1, 3};
  PaintRect(&all);
  const BitMap* s = GetPortBitMapForCopyBits(src.get());
  const BitMap* d = GetPortBitMapForCopyBits(dst.get());
  CopyBits(s, d, &all, &all, transparent, nullptr);  // background white
  EXPECT_EQ(dst.at(0, 0), kRed);
  EXPECT_EQ(dst.at(1, 0), kBlue);
  RGBBackColor(&kRedRGB);  // now red is the clear colour
  PaintRect(&all);
  CopyBits(s, d, &all, &all, transparent, nullptr);
  EXPECT_EQ(dst.at(0, 0), kBlue);
  EXPECT_EQ(dst.at(1, 0), kWhite);
}

TEST(CopyBitsTest, MaskRegionClipAndVisibleRegion) {
  World src(10, 10);
  Rect all{0, 0, 10, 10};
  PaintRect(&all);
  CGrafPtr win = tb::NewPort(10, 10);
  Rgn vis, mask;
  SetRectRgn(vis, 0, 0, 10, 5);
  SetPortVisibleRegion(win, vis);
  SetRectRgn(mask, 0, 0, 5, 10);
  const BitMap* s = GetPortBitMapForCopyBits(src.get());
  CopyBits(s, GetPortBitMapForCopyBits(win), &all, &all, srcCopy, mask);
  int black = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      bool expect = x < 5 && y < 5;
      black += tb::PortPixel(win, x, y) == kBlack;
      EXPECT_EQ(tb::PortPixel(win, x, y) == kBlack, expect) << x << "," << y;
    }
  EXPECT_EQ(black, 25);
  tb::DisposePort(win);
}

TEST(CopyBitsTest, OverlappingCopyInsideOneWorld) {
  World w(6, 1);
  Gradient(w.get());
  UInt32 before[6];
  for (int x = 0; x < 6; ++x) before[x] = w.at(x, 0);
  const BitMap* bm = GetPortBitMapForCopyBits(w.get());
  Rect sr{0, 0, 1, 4}, dr{0, 2, 1, 6};
  CopyBits(bm, bm, &sr, &dr, srcCopy, nullptr);
  for (int x = 2; x < 6; ++x) EXPECT_EQ(w.at(x, 0), before[x - 2]);
}

TEST(CopyBitsTest, StaleBitMapCopiesAndBadInputAreSafe) {
  World w(4, 4);
  BitMap copy = *GetPortBitMapForCopyBits(w.get());
  Rect r{0, 0, 4, 4};
  CopyBits(&copy, &copy, &r, &r, srcCopy, nullptr);
  CopyBits(nullptr, &copy, &r, &r, srcCopy, nullptr);
  Rect outside{-100, -100, 100, 100};
  CopyBits(&copy, &copy, &outside, &outside, srcCopy, nullptr);
  GWorldPtr gone;
  NewGWorld(&gone, 32, &r, nullptr, nullptr, 0);
  BitMap dead = *GetPortBitMapForCopyBits(gone);
  DisposeGWorld(gone);
  CopyBits(&dead, &copy, &r, &r, srcCopy, nullptr);  // ignored, no crash
  EXPECT_EQ(w.count(kWhite), 16);
}

TEST(Rects, IntersectionUnionAndInsetEdges) {
  Rect a{0, 0, 10, 10}, b{5, 5, 20, 20}, far{30, 30, 40, 40}, out;
  EXPECT_TRUE(SectRect(&a, &b, &out));
  EXPECT_TRUE(out.left == 5 && out.right == 10);
  EXPECT_FALSE(SectRect(&a, &far, &out));
  EXPECT_TRUE(EmptyRect(&out));
  UnionRect(&a, &far, &out);
  EXPECT_EQ(out.bottom, 40);
  InsetRect(&a, 6, 6);  // past the middle: empty
  EXPECT_TRUE(EmptyRect(&a));
  EXPECT_FALSE(PtInRect(Point{10, 5}, &b) && PtInRect(Point{20, 5}, &b));  // bottom edge outside
}

// Region operations checked against a plain pixel grid, over many random
// shapes: every operation must give exactly the set the grid gives.
TEST(Regions, RandomOperationsMatchAPixelModel) {
  constexpr int N = 40;
  using Grid = std::array<std::array<bool, N>, N>;
  std::uint32_t seed = 12345;
  auto rnd = [&](int n) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 16) % std::uint32_t(n));
  };
  auto randomShape = [&](RgnHandle rgn, Grid& g) {
    g = Grid{};
    SetEmptyRgn(rgn);
    Rgn piece;
    for (int k = 0; k < 4; ++k) {
      int l = rnd(N), t = rnd(N), r = l + rnd(N - l) + 1, b = t + rnd(N - t) + 1;
      SetRectRgn(piece, SInt16(l), SInt16(t), SInt16(r), SInt16(b));
      bool cut = rnd(3) == 0;
      (cut ? DiffRgn : UnionRgn)(rgn, piece, rgn);
      for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x) g[y][x] = !cut;
    }
  };
  auto same = [&](RgnHandle rgn, const Grid& g) {
    Rect box{N, N, 0, 0};
    bool any = false;
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        if (bool(PtInRgn(Point{SInt16(y), SInt16(x)}, rgn)) != g[y][x]) return false;
        if (g[y][x]) {
          any = true;
          box = Rect{std::min<SInt16>(box.top, y), std::min<SInt16>(box.left, x),
                     std::max<SInt16>(box.bottom, y + 1), std::max<SInt16>(box.right, x + 1)};
        }
      }
    Rect got;
    GetRegionBounds(rgn, &got);
    return any ? EqualRect(&got, &box) && !EmptyRgn(rgn) : bool(EmptyRgn(rgn));
  };
  Rgn a, b, r;
  Grid ga, gb;
  for (int round = 0; round < 300; ++round) {
    randomShape(a, ga);
    randomShape(b, gb);
    ASSERT_TRUE(same(a, ga));
    Grid expect;
    auto check = [&](void (*op)(RgnHandle, RgnHandle, RgnHandle), auto f, const char* name) {
      op(a, b, r);
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) expect[y][x] = f(ga[y][x], gb[y][x]);
      ASSERT_TRUE(same(r, expect)) << name << " round " << round;
    };
    check(UnionRgn, [](bool x, bool y) { return x || y; }, "union");
    check(SectRgn, [](bool x, bool y) { return x && y; }, "sect");
    check(DiffRgn, [](bool x, bool y) { return x && !y; }, "diff");
    check(XorRgn, [](bool x, bool y) { return x != y; }, "xor");
    // Shrinking by one keeps the pixels whose eight neighbours are all in.
    CopyRgn(a, r);
    InsetRgn(r, 1, 1);
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        bool all = true;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            int yy = y + dy, xx = x + dx;
            all = all && yy >= 0 && xx >= 0 && yy < N && xx < N && ga[yy][xx];
          }
        expect[y][x] = all;
      }
    ASSERT_TRUE(same(r, expect)) << "inset round " << round;
    // Growing it back stays inside the shape it came from.
    InsetRgn(r, -1, -1);
    DiffRgn(r, a, r);
    ASSERT_TRUE(EmptyRgn(r)) << "outset round " << round;
    // Two sets are equal exactly when their grids are.
    UnionRgn(a, b, r);
    EXPECT_EQ(bool(EqualRgn(r, a)), ga == [&] {
      Grid u;
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) u[y][x] = ga[y][x] || gb[y][x];
      return u;
    }());
  }
}

}  // namespace

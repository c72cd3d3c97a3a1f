// A fuzzed BMP file (a print box's thumbnail, a picture from the disc)
// loaded into an offscreen world as the programs load it, then used as they
// use one: a pixel read, a colour exchanged, and the world combined with
// itself in a transparent copy.
//
// Input: a byte choosing the depth ExchangePixelColor compares at (bits 0-1:
// 8, 16, 32 or an unsupported 24), then the point it starts from and the
// pixel read (x, y as bytes), then the file.
#include "common/GWorldImage.h"
#include "fuzz_support.h"
#include "toolbox/files.h"

namespace {

SInt32 Le32(std::span<const std::uint8_t> f, std::size_t at) {
  return static_cast<SInt32>(f[at] | f[at + 1] << 8 | f[at + 2] << 16 | static_cast<UInt32>(f[at + 3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::ScratchFile file("image.bmp");
  static FSSpec fss;
  static const bool fssMade = [] {
    file.Write({});
    return tb::PathToSpec(file.path(), &fss) == noErr;
  }();
  fuzz::Check(fssMade, "a file spec of the scratch file");

  fuzz::Cursor in(data, size);
  static constexpr short kDepths[4] = {8, 16, 32, 24};
  const short depth = kDepths[in.U8() & 3];
  const short x = in.U8();
  const short y = in.U8();
  const std::span<const std::uint8_t> bytes = in.Rest();
  file.Write(bytes);

  GWorldPtr world = reinterpret_cast<GWorldPtr>(1);
  const OSErr err = NewGWorldFromBMP(&world, &fss);
  if (err != noErr) {
    fuzz::Check(world == nullptr, "a refused file gives no world");
    return 0;
  }
  fuzz::Check(world != nullptr, "a loaded file gives a world");
  // What the loader took must be what the headers say.
  fuzz::Check(bytes.size() >= 54, "a loaded file holds both headers");
  const SInt32 width = Le32(bytes, 18), height = Le32(bytes, 22);
  Rect bounds;
  GetPortBounds(world, &bounds);
  fuzz::Check(bounds.right - bounds.left == width && bounds.bottom - bounds.top == height,
              "the world is the size the header gives");
  fuzz::Check(width > 0 && height > 0 && width <= kBMPMaxSide && height <= kBMPMaxSide,
              "a world within the limits");

  RGBColor colour{1, 2, 3};
  const short got = GetGWorldPixel(world, x, y, &colour);
  const bool inside = x < width && y < height;
  fuzz::Check(got == (inside ? 0 : -3), "a pixel reads exactly inside the world");
  if (inside)
    fuzz::Check(colour.red % 0x0101 == 0 && colour.green % 0x0101 == 0 && colour.blue % 0x0101 == 0,
                "colours widen by repeating their byte");

  const RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
  const short exchanged = ExchangePixelColor(world, depth, &white, Point{y, x});
  fuzz::Check(exchanged == (depth == 24 ? -2 : inside ? 0 : -3), "the exchange refuses only what it should");
  if (exchanged == 0) {
    fuzz::Check(GetGWorldPixel(world, x, y, &colour) == 0, "the exchanged pixel reads");
    fuzz::Check(colour.red == 0xFFFF && colour.green == 0xFFFF && colour.blue == 0xFFFF,
                "the pixel the exchange starts from takes the new colour");
  }

  // The world over itself, its white left out, as the programs lay a mark
  // over a picture.
  Rect half = bounds;
  half.right = static_cast<short>(half.left + (width + 1) / 2);
  GWorldPtr both = nullptr;
  fuzz::Check(NewUnionGWorkd(&both, world, &bounds, srcCopy, nullptr, world, &half, transparent, &white) == noErr &&
                  both != nullptr,
              "a world combines with itself");
  DisposeGWorld(both);
  DisposeGWorld(world);
  return 0;
}

// Offscreen pictures: BMP files and picture resources loaded into 32-bit
// worlds, combined, recoloured and drawn into dialogs. Every BMP field is
// checked before it is used.
#include "common/GWorldImage.h"

#include <cstring>
#include <vector>

#include "toolbox/files.h"
#include "toolbox/pictures.h"

namespace {

constexpr SInt32 kFileHeaderSize = 14;
constexpr UInt32 kInfoHeaderMin = 40;
constexpr UInt32 kInfoHeaderMax = 124;  // the largest header version

UInt16 le16(const UInt8* p) { return static_cast<UInt16>(p[0] | (p[1] << 8)); }
UInt32 le32(const UInt8* p) {
  return static_cast<UInt32>(p[0]) | (static_cast<UInt32>(p[1]) << 8) |
         (static_cast<UInt32>(p[2]) << 16) | (static_cast<UInt32>(p[3]) << 24);
}

// Exactly count bytes at offset, or eofErr / the read's error.
OSErr read_at(SInt16 ref, SInt64 offset, SInt64 count, void* buf) {
  if (offset < 0 || offset > 0x7FFFFFFF || count < 0 || count > 0x7FFFFFFF) return paramErr;
  OSErr err = SetFPos(ref, fsFromStart, static_cast<SInt32>(offset));
  if (err != noErr) return err;
  SInt32 n = static_cast<SInt32>(count);
  err = FSRead(ref, &n, buf);
  if (err == noErr && n != count) err = eofErr;
  return err;
}

struct PixelAccess {
  UInt8* base = nullptr;
  SInt32 rowBytes = 0;
  int width = 0;
  int height = 0;
  UInt8* at(int x, int y) const { return base + static_cast<std::ptrdiff_t>(y) * rowBytes + 4 * x; }
};

bool pixels_of(GWorldPtr world, PixelAccess* px) {
  if (!world) return false;
  PixMapHandle pm = GetGWorldPixMap(world);
  if (!pm) return false;
  Rect bounds;
  GetPixBounds(pm, &bounds);
  px->base = reinterpret_cast<UInt8*>(GetPixBaseAddr(pm));
  px->rowBytes = GetPixRowBytes(pm);
  px->width = bounds.right - bounds.left;
  px->height = bounds.bottom - bounds.top;
  return px->base && px->width > 0 && px->height > 0;
}

// Reads the image of an open BMP file into a new world.
OSErr load_bmp(SInt16 ref, GWorldPtr* out) {
  SInt32 fileLength = 0;
  OSErr err = GetEOF(ref, &fileLength);
  if (err != noErr) return err;

  UInt8 file[kFileHeaderSize];
  if ((err = read_at(ref, 0, sizeof file, file)) != noErr) return err;
  if (file[0] != 'B' || file[1] != 'M') return paramErr;
  const UInt32 claimedSize = le32(file + 2);
  const UInt32 pixelOffset = le32(file + 10);

  UInt8 info[kInfoHeaderMin];
  if ((err = read_at(ref, kFileHeaderSize, sizeof info, info)) != noErr) return err;
  const UInt32 infoSize = le32(info);
  const SInt32 width = static_cast<SInt32>(le32(info + 4));
  const SInt32 height = static_cast<SInt32>(le32(info + 8));
  const UInt16 planes = le16(info + 12);
  const UInt16 bits = le16(info + 14);
  const UInt32 compression = le32(info + 16);
  const UInt32 coloursUsed = le32(info + 32);

  if (infoSize < kInfoHeaderMin || infoSize > kInfoHeaderMax) return paramErr;
  // Top-down images (negative height) and empty ones are not taken.
  if (width <= 0 || height <= 0 || width > kBMPMaxSide || height > kBMPMaxSide ||
      static_cast<SInt64>(width) * height > kBMPMaxPixels)
    return paramErr;
  if (planes != 1 || compression != 0 || (bits != 8 && bits != 24)) return paramErr;

  const SInt64 paletteOffset = kFileHeaderSize + static_cast<SInt64>(infoSize);
  SInt64 paletteCount = 0;
  if (bits == 8) {
    paletteCount = coloursUsed == 0 ? 256 : coloursUsed;
    if (paletteCount > 256) return paramErr;
  }
  const SInt64 rowBytes = (static_cast<SInt64>(width) * bits + 31) / 32 * 4;
  const SInt64 pixelEnd = static_cast<SInt64>(pixelOffset) + rowBytes * height;
  if (pixelOffset < paletteOffset + 4 * paletteCount) return paramErr;
  if (pixelEnd > fileLength) return eofErr;
  if (claimedSize != 0 && (claimedSize > static_cast<UInt32>(fileLength) || claimedSize < pixelEnd))
    return paramErr;

  std::vector<UInt8> palette(static_cast<std::size_t>(4 * paletteCount));
  if (!palette.empty() &&
      (err = read_at(ref, paletteOffset, static_cast<SInt64>(palette.size()), palette.data())) != noErr)
    return err;

  Rect bounds = {0, 0, static_cast<short>(height), static_cast<short>(width)};
  GWorldPtr world = nullptr;
  err = NewGWorld(&world, 32, &bounds, nullptr, nullptr, 0);
  if (err != noErr) return err;
  if (!world) return memFullErr;
  PixelAccess px;
  if (!pixels_of(world, &px)) {
    DisposeGWorld(world);
    return memFullErr;
  }

  std::vector<UInt8> row(static_cast<std::size_t>(rowBytes));
  for (SInt32 r = 0; r < height; ++r) {
    err = read_at(ref, pixelOffset + r * rowBytes, rowBytes, row.data());
    if (err != noErr) {
      DisposeGWorld(world);
      return err;
    }
    const int y = height - 1 - r;
    for (SInt32 c = 0; c < width; ++c) {
      UInt8 red = 0, green = 0, blue = 0;
      if (bits == 24) {
        blue = row[3 * c];
        green = row[3 * c + 1];
        red = row[3 * c + 2];
      } else if (const UInt8 index = row[c]; index < paletteCount) {
        blue = palette[4 * index];
        green = palette[4 * index + 1];
        red = palette[4 * index + 2];
      }
      UInt8* p = px.at(c, y);
      p[0] = 0;
      p[1] = red;
      p[2] = green;
      p[3] = blue;
    }
  }
  *out = world;
  return noErr;
}

// Copies srcRect of src into the whole of the current world with mode; a
// transparent copy leaves out the pixels of colour.
void copy_into(GWorldPtr dst, GWorldPtr src, const Rect* srcRect, short mode, const RGBColor* colour) {
  RGBColor savedBack;
  GetBackColor(&savedBack);
  if (mode == transparent && colour) RGBBackColor(colour);
  Rect bounds;
  GetPortBounds(dst, &bounds);
  CopyBits(GetPortBitMapForCopyBits(src), GetPortBitMapForCopyBits(dst), srcRect, &bounds, mode,
           nullptr);
  RGBBackColor(&savedBack);
}

}  // namespace

OSErr NewGWorldFromBMP(GWorldPtr* out, const FSSpec* fss) {
  if (!out) return paramErr;
  *out = nullptr;
  if (!fss) return paramErr;
  SInt16 ref = 0;
  OSErr err = FSpOpenDF(fss, fsRdPerm, &ref);
  if (err != noErr) return err;
  err = load_bmp(ref, out);
  const OSErr closed = FSClose(ref);
  return err != noErr ? err : closed;
}

OSErr NewGWorldFromPict(GWorldPtr* out, short picID) {
  if (!out) return paramErr;
  *out = nullptr;
  PicHandle pic = GetPicture(picID);
  if (!pic) return -1;
  Rect frame;
  QDGetPictureBounds(pic, &frame);
  Rect bounds = {0, 0, static_cast<short>(frame.bottom - frame.top),
                 static_cast<short>(frame.right - frame.left)};
  GWorldPtr world = nullptr;
  OSErr err = NewGWorld(&world, 32, &bounds, nullptr, nullptr, 0);
  if (err != noErr) return err;
  {
    tb::PortSaver saved(world);
    DrawPicture(pic, &bounds);
    err = QDError();
  }
  if (err != noErr) {
    DisposeGWorld(world);
    return err;
  }
  *out = world;
  return noErr;
}

OSErr NewUnionGWorkd(GWorldPtr* out, GWorldPtr world1, const Rect* rect1, short mode1,
                     const RGBColor* colour1, GWorldPtr world2, const Rect* rect2, short mode2,
                     const RGBColor* colour2) {
  if (!out) return paramErr;
  *out = nullptr;
  if (!world1 || !world2 || !rect1 || !rect2) return paramErr;
  Rect bounds = {0, 0, static_cast<short>(rect1->bottom - rect1->top),
                 static_cast<short>(rect1->right - rect1->left)};
  GWorldPtr world = nullptr;
  OSErr err = NewGWorld(&world, 32, &bounds, nullptr, nullptr, 0);
  if (err != noErr) return err;
  {
    tb::PortSaver saved(world);
    copy_into(world, world1, rect1, mode1, colour1);
    copy_into(world, world2, rect2, mode2, colour2);
  }
  *out = world;
  return noErr;
}

short ExchangePixelColor(GWorldPtr world, short depth, const RGBColor* newColour, Point pt) {
  PixelAccess px;
  if (!pixels_of(world, &px)) return -1;
  std::size_t first, count;
  switch (depth) {
    case 8: first = 0, count = 1; break;
    case 16: first = 0, count = 2; break;
    case 32: first = 1, count = 3; break;
    default: return -2;
  }
  if (pt.h < 0 || pt.v < 0 || pt.h >= px.width || pt.v >= px.height) return -3;
  if (!newColour) return -1;
  UInt8 reference[4];
  std::memcpy(reference, px.at(pt.h, pt.v), 4);
  for (int y = 0; y < px.height; ++y) {
    for (int x = 0; x < px.width; ++x) {
      UInt8* p = px.at(x, y);
      if (std::memcmp(p + first, reference + first, count) != 0) continue;
      p[1] = static_cast<UInt8>(newColour->red >> 8);
      p[2] = static_cast<UInt8>(newColour->green >> 8);
      p[3] = static_cast<UInt8>(newColour->blue >> 8);
    }
  }
  return 0;
}

short GetGWorldPixel(GWorldPtr world, short x, short y, RGBColor* colour) {
  PixelAccess px;
  if (!colour || !pixels_of(world, &px)) return -1;
  if (x < 0 || y < 0 || x >= px.width || y >= px.height) return -3;
  const UInt8* p = px.at(x, y);
  colour->red = static_cast<UInt16>(p[1] * 0x0101);
  colour->green = static_cast<UInt16>(p[2] * 0x0101);
  colour->blue = static_cast<UInt16>(p[3] * 0x0101);
  return 0;
}

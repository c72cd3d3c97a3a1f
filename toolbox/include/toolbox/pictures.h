// Pictures ('PICT') and colour icons ('cicn').
//
// Both are authored as PNG images and carried in their resources behind a
// small big-endian header:
//
//   'PICT'  picSize u16 (the low 16 bits of the resource's size), picFrame
//           Rect (top, left, bottom, right: 4 x i16), then the PNG bytes.
//   'cicn'  'cicn' magic (4 bytes), version u16 (1), iconBounds Rect
//           (4 x i16, normally (0, 0, height, width)), then the PNG bytes.
//
// A PicHandle is the resource's handle itself, its bytes as stored (so the
// frame in (**pic).picFrame is big-endian; QDGetPictureBounds gives it in
// the host's order). A PNG alpha channel is honoured: transparent pixels
// leave the destination as it was. Pictures recorded with OpenPicture and
// ClosePicture hold a snapshot of the pixels drawn into the frame.
//
// Damaged data (a short header, a frame that does not match the image, a
// corrupt PNG) draws nothing, and QDError() reports the failure.
#pragma once

#include <optional>
#include <vector>

#include "toolbox/quickdraw.h"

struct Picture {
  SInt16 picSize;
  Rect picFrame;
};
using PicPtr = Picture*;
using PicHandle = Picture**;

struct PictInfo {
  SInt16 version;
  SInt32 uniqueColors;
  SInt32 uniquePatterns;
  SInt32 uniqueFonts;
  SInt16 depth;
  Rect sourceRect;
  SInt32 hRes;
  SInt32 vRes;
};

// An icon in memory. Only iconBounds is public.
struct CIcon {
  Rect iconBounds;
};
using CIconPtr = CIcon*;
using CIconHandle = CIcon**;

using IconTransformType = SInt16;
using IconAlignmentType = SInt16;
enum : IconTransformType {
  kTransformNone = 0,
  kTransformDisabled = 1,
  kTransformSelected = 0x4000,
  ttNone = 0,
  ttDisabled = 1,
  ttSelected = 0x4000,
};
enum : IconAlignmentType {
  kAlignNone = 0,
  kAlignVerticalCenter = 1,
  kAlignTop = 2,
  kAlignBottom = 3,
  kAlignHorizontalCenter = 4,
  kAlignAbsoluteCenter = 5,
  kAlignCenterTop = 6,
  kAlignCenterBottom = 7,
  kAlignLeft = 8,
  kAlignCenterLeft = 9,
  kAlignTopLeft = 10,
  kAlignBottomLeft = 11,
  kAlignRight = 12,
  kAlignCenterRight = 13,
  kAlignTopRight = 14,
  kAlignBottomRight = 15,
};

enum : OSErr {
  pictInfoIDErr = -11001,
  pictInfoVersionErr = -11000,
  invalidPictureErr = -11002,  // our own: the picture's data cannot be decoded
};

// 'PICT' resource by id from the resource chain; null when missing.
PicHandle GetPicture(short picID);
// Draws the picture scaled from its frame into dstRect of the current port.
void DrawPicture(PicHandle pic, const Rect* dstRect);
void KillPicture(PicHandle pic);
Rect* QDGetPictureBounds(PicHandle pic, Rect* bounds);
// Depth (32) and source rectangle (the frame) of the picture.
OSErr GetPictInfo(PicHandle pic, PictInfo* info, short verb, short colorsRequested,
                  short colorPickMethod, short version);
// Starts recording into a new picture with the given frame (local
// coordinates of the current port); ClosePicture ends it.
PicHandle OpenPicture(const Rect* picFrame);
void ClosePicture();

// 'cicn' resource by id; null when missing or damaged. The icon is the
// caller's: DisposeCIcon frees it.
CIconHandle GetCIcon(short iconID);
void PlotCIcon(const Rect* r, CIconHandle icon);
// kAlignNone scales the icon to r; any other alignment keeps its size
// (shrunk to fit when r is smaller) and places it in r.
OSErr PlotCIconHandle(const Rect* r, IconAlignmentType align, IconTransformType transform,
                      CIconHandle icon);
void DisposeCIcon(CIconHandle icon);

namespace tb {

// A decoded image: width x height pixels (0, R, G, B) plus alpha.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<UInt32> pixels;  // width * height, memory bytes 0, R, G, B
  std::vector<UInt8> alpha;    // empty when fully opaque
};

// PNG decoding and encoding through libpng; nullopt for anything damaged.
std::optional<Image> DecodePNG(std::span<const UInt8> png);
std::vector<UInt8> EncodePNG(const void* base, SInt32 rowBytes, int width, int height);

// Resource bodies from PNG bytes (for the resource compiler): nullopt when
// the PNG cannot be read or is larger than 32767 pixels on a side.
std::optional<std::vector<UInt8>> MakePictData(std::span<const UInt8> png);
std::optional<std::vector<UInt8>> MakeCIconData(std::span<const UInt8> png);

// Drawing from resource bodies held anywhere (these do the work of
// DrawPicture and PlotCIcon). False, and nothing drawn, when the data is
// damaged.
bool DrawPictData(std::span<const UInt8> data, const Rect* dstRect);
std::optional<Image> DecodePictData(std::span<const UInt8> data, Rect* frame = nullptr);
std::optional<Image> DecodeCIconData(std::span<const UInt8> data, Rect* bounds = nullptr);
// A colour icon made from a resource body (as GetCIcon does).
CIconHandle NewCIconFromData(std::span<const UInt8> data);
// Draws an image scaled into dstRect of the current port, blending by its
// alpha, clipped like every drawing.
void DrawImage(const Image& img, const Rect* dstRect);
// Where an icon of w x h lands in r: kAlignNone fills r; any other alignment
// keeps the natural size (shrunk to fit, proportions kept) and places it.
Rect IconPlacement(const Rect& r, int w, int h, IconAlignmentType align);
// Plots an image as an icon: placed as above, selected darkened, disabled
// half transparent.
void PlotImage(const Image& img, const Rect& r, IconAlignmentType align, IconTransformType transform);

}  // namespace tb

// Offscreen pictures: Windows BMP files and picture resources loaded into
// 32-bit offscreen worlds, worlds combined, pixels read and recoloured, and
// worlds drawn into dialogs.
//
// A world's pixel is four bytes: 0, red, green, blue. Pixel positions here
// count from the world's top-left pixel (x to the right, y down).
//
// BMP files are read as the Windows format defines them (little-endian): a
// 14-byte file header ("BM", file size, pixel-data offset), an information
// header of at least 40 bytes, for 8-bit images a palette of 4-byte entries
// (blue, green, red, unused), then the pixel rows bottom-up, each padded to
// a multiple of 4 bytes. Every field is checked before anything is read on
// its word: a file that is cut short, claims more than it holds, or is not
// an uncompressed 8- or 24-bit bottom-up image of at most kBMPMaxSide
// pixels a side gives no world.
#pragma once

#include "common/AppGlobals.h"
#include "toolbox/quickdraw.h"
#include "toolbox/types.h"

constexpr SInt32 kBMPMaxSide = 8192;
constexpr SInt64 kBMPMaxPixels = 16 * 1024 * 1024;

// Loads the BMP file into a new 32-bit world (*out, null when none was
// made). Returns the error of opening the file; eofErr for a file cut short
// of what its headers describe; paramErr for one that is not a BMP image
// this loader takes, or whose headers contradict each other or the file;
// the world's error when it cannot be made; else the result of closing the
// file (0).
OSErr NewGWorldFromBMP(GWorldPtr* out, const FSSpec* fss);
// A new 32-bit world of the picture's frame size with the 'PICT' resource
// picID drawn into it; -1 when the resource is missing, else the platform's
// error (no world) or 0.
OSErr NewGWorldFromPict(GWorldPtr* out, short picID);
// A new 32-bit world of rect1's size holding rect1 of world1 copied in with
// mode1, then rect2 of world2 over it with mode2. With mode 36 (transparent)
// the copy leaves out the pixels of its colour (colour1, colour2). 0 or the
// platform's error (paramErr for a missing world or rectangle).
OSErr NewUnionGWorkd(GWorldPtr* out, GWorldPtr world1, const Rect* rect1, short mode1,
                     const RGBColor* colour1, GWorldPtr world2, const Rect* rect2, short mode2,
                     const RGBColor* colour2);

// Every pixel equal to the pixel at pt (v, h) gets the high bytes of
// newColour in its bytes 1 to 3. Pixels are compared on their first byte
// (depth 8), their first two bytes (depth 16) or their last three (depth
// 32); every pixel is four bytes whatever the depth. -1 no world, -2
// another depth, -3 a point outside the world, else 0.
short ExchangePixelColor(GWorldPtr world, short depth, const RGBColor* newColour, Point pt);
// The pixel's red, green and blue, each byte widened to 16 bits by
// repeating it (0xC8 gives 0xC8C8). -1 no world or no colour, -3 a pixel
// outside the world (colour unchanged), else 0.
short GetGWorldPixel(GWorldPtr world, short x, short y, RGBColor* colour);

// Copies the whole world into dstRect of the dialog (source copy, white as
// the background colour during the copy); nothing for a null world.
void DrawGWorld(DialogRef dialog, GWorldPtr world, const Rect* dstRect);
// The same for a part of the world.
void DrawGWorldRect(DialogRef dialog, GWorldPtr world, const Rect* srcRect, const Rect* dstRect);
// The same, limited to the dialog's visible region.
void DrawPartGWorld(DialogRef dialog, GWorldPtr world, const Rect* srcRect, const Rect* dstRect);
// Copies in transparent mode: pixels of clearColour are not drawn.
void Draw_GWorld_Mask(DialogRef dialog, GWorldPtr world, const Rect* srcRect, const Rect* dstRect,
                      const RGBColor* clearColour);

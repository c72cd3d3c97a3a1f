// QuickDraw: ports, offscreen worlds, pen and colours, rectangles, ovals,
// round rectangles, lines, regions, clipping and CopyBits, all drawing into
// 32-bit pixel buffers.
//
// Pixels are four bytes in memory order 0, red, green, blue, in every port
// and offscreen world, so code that reads pixel memory directly (through
// GetPixBaseAddr and GetPixRowBytes) sees the layout it expects.
//
// Coordinates: every port has local coordinates in which its portRect is
// given. The pixel buffer's top-left pixel lies at the local point
// (portRect.left, portRect.top) as set by SetOrigin; the port's clip region
// is in local coordinates. The visible region belongs to the pixels, not to
// a port: every port drawing into the same buffer (a window's port and its
// clones) shares it.
//
// Text drawing is in toolbox/fonts.h, pictures and colour icons in
// toolbox/pictures.h; both are included at the end of this header.
#pragma once

#include <functional>

#include "toolbox/types.h"

// ---------------------------------------------------------------------------
// Records

struct RGBColor {
  UInt16 red;
  UInt16 green;
  UInt16 blue;
};

struct Pattern {
  UInt8 pat[8];
};
using PatPtr = Pattern*;
using ConstPatternParam = const Pattern*;

struct PenState {
  Point pnLoc;
  Point pnSize;
  SInt16 pnMode;
  Pattern pnPat;
};

using Style = unsigned char;
using StyleParameter = short;

struct FontInfo {
  SInt16 ascent;
  SInt16 descent;
  SInt16 widMax;
  SInt16 leading;
};

struct GrafPort;  // opaque: use the accessors below
using GrafPtr = GrafPort*;
using CGrafPtr = GrafPort*;
using GWorldPtr = GrafPort*;

// A pixel image as CopyBits sees it. Every image is 32 bits deep. `bounds`
// is the image's rectangle in the local coordinates of its owner; `tbPort`
// is the owning port (null for an image made by hand over plain memory), so
// CopyBits can clip to that port's clip and visible regions.
struct BitMap {
  Ptr baseAddr;
  SInt32 rowBytes;
  Rect bounds;
  GrafPort* tbPort;
};
using BitMapPtr = BitMap*;

struct PixMap : BitMap {
  SInt16 pmVersion;
  SInt16 pixelType;  // 16: direct colour
  SInt16 pixelSize;  // always 32
  SInt16 cmpCount;   // 3
  SInt16 cmpSize;    // 8
};
using PixMapPtr = PixMap*;
using PixMapHandle = PixMap**;

// A region: a set of pixels kept as horizontal bands of spans. Only the
// bounding box is public; everything else goes through the functions below.
struct MacRegion {
  UInt16 rgnSize;
  Rect rgnBBox;
};
using RgnPtr = MacRegion*;
using RgnHandle = MacRegion**;

// Graphics devices exist only so that GetGWorld/SetGWorld keep their old
// signatures; there is one device, the main screen.
struct GDevice {
  SInt16 gdRefNum;
  Rect gdRect;
};
using GDPtr = GDevice*;
using GDHandle = GDevice**;
struct ColorTable;
using CTabHandle = ColorTable**;

using QDErr = SInt16;
using GWorldFlags = UInt32;

// ---------------------------------------------------------------------------
// Constants

enum : SInt16 {
  // CopyBits source modes
  srcCopy = 0,
  srcOr = 1,
  srcXor = 2,
  srcBic = 3,
  notSrcCopy = 4,
  notSrcOr = 5,
  notSrcXor = 6,
  notSrcBic = 7,
  // pattern modes (pen and fills)
  patCopy = 8,
  patOr = 9,
  patXor = 10,
  patBic = 11,
  notPatCopy = 12,
  notPatOr = 13,
  notPatXor = 14,
  notPatBic = 15,
  // source pixels equal to the destination port's background colour are
  // left out of the copy
  transparent = 36,
  // a flag that may be or-ed into a CopyBits mode; it changes nothing at 32 bits
  ditherCopy = 64,
};

// Style bits of TextFace.
enum : Style {
  normal = 0,
  bold = 1,
  italic = 2,
  underline = 4,
  outline = 8,
  shadow = 16,
  condense = 32,
  extend = 64,
};

// The eight colours of ForeColor and BackColor.
enum : SInt32 {
  whiteColor = 30,
  blackColor = 33,
  yellowColor = 69,
  magentaColor = 137,
  redColor = 205,
  cyanColor = 273,
  greenColor = 341,
  blueColor = 409,
};

enum : QDErr {
  cMatchErr = -150,
  cDepthErr = -157,
  pixmapTooDeepErr = -148,
  rgnOverflowErr = -147,
  rgnTooBigError = -500,
  noMemForPictPlaybackErr = -145,
};

// ---------------------------------------------------------------------------
// The current port

void GetPort(GrafPtr* port);
void SetPort(GrafPtr port);
void MacSetPort(GrafPtr port);
// Moves the local coordinate system so that the port's top-left is (h, v).
void SetOrigin(short h, short v);
void GlobalToLocal(Point* pt);
void LocalToGlobal(Point* pt);

Rect* GetPortBounds(CGrafPtr port, Rect* rect);
void SetPortBounds(CGrafPtr port, const Rect* rect);
// Copies the port's visible region (in its local coordinates) into rgn and
// returns rgn.
RgnHandle GetPortVisibleRegion(CGrafPtr port, RgnHandle rgn);
// Sets the visible region of the port's pixels from rgn (local coordinates).
void SetPortVisibleRegion(CGrafPtr port, RgnHandle rgn);
RgnHandle GetPortClipRegion(CGrafPtr port, RgnHandle rgn);
void SetPortClipRegion(CGrafPtr port, RgnHandle rgn);
const BitMap* GetPortBitMapForCopyBits(CGrafPtr port);
PixMapHandle GetPortPixMap(CGrafPtr port);
void GetPortForeColor(CGrafPtr port, RGBColor* color);
void GetPortBackColor(CGrafPtr port, RGBColor* color);
Point* GetPortPenLocation(CGrafPtr port, Point* pt);
Boolean IsValidPort(CGrafPtr port);
// Lets the display show what was drawn into the port (the Window Manager
// installs the hook that does it; without one nothing happens).
void QDFlushPortBuffer(CGrafPtr port, RgnHandle region);

// The screen: bounds of the main screen; patterns of the globals.
BitMap* GetQDGlobalsScreenBits(BitMap* bits);
Pattern* GetQDGlobalsBlack(Pattern* pat);
Pattern* GetQDGlobalsWhite(Pattern* pat);
Pattern* GetQDGlobalsGray(Pattern* pat);
Pattern* GetQDGlobalsLightGray(Pattern* pat);
Pattern* GetQDGlobalsDarkGray(Pattern* pat);
GrafPtr GetQDGlobalsThePort();
GDHandle GetMainDevice();
GDHandle GetGDevice();

// ---------------------------------------------------------------------------
// Offscreen worlds (always 32 bits deep; a depth of 0, 1, 2, 4, 8, 16 or 32
// is accepted and gives 32). The new world's pixels are white.

QDErr NewGWorld(GWorldPtr* offscreen, short pixelDepth, const Rect* boundsRect, CTabHandle cTable,
                GDHandle aGDevice, GWorldFlags flags);
void DisposeGWorld(GWorldPtr offscreen);
void GetGWorld(CGrafPtr* port, GDHandle* gdh);
void SetGWorld(CGrafPtr port, GDHandle gdh);
PixMapHandle GetGWorldPixMap(GWorldPtr offscreen);
Boolean LockPixels(PixMapHandle pm);
void UnlockPixels(PixMapHandle pm);
Ptr GetPixBaseAddr(PixMapHandle pm);
SInt32 GetPixRowBytes(PixMapHandle pm);
Rect* GetPixBounds(PixMapHandle pm, Rect* bounds);
short GetPixDepth(PixMapHandle pm);
QDErr QDError();

// ---------------------------------------------------------------------------
// Pen, colours, patterns

void PenNormal();
void PenSize(short width, short height);
void PenMode(short mode);
void PenPat(const Pattern* pat);
void BackPat(const Pattern* pat);
void GetPenState(PenState* state);
void SetPenState(const PenState* state);
void GetPen(Point* pt);
void MoveTo(short h, short v);
void Move(short dh, short dv);
void LineTo(short h, short v);
void Line(short dh, short dv);

void RGBForeColor(const RGBColor* color);
void RGBBackColor(const RGBColor* color);
void GetForeColor(RGBColor* color);
void GetBackColor(RGBColor* color);
void ForeColor(SInt32 color);
void BackColor(SInt32 color);
void GetCPixel(short h, short v, RGBColor* color);
void SetCPixel(short h, short v, const RGBColor* color);

// ---------------------------------------------------------------------------
// Rectangles and points

void MacSetRect(Rect* r, short left, short top, short right, short bottom);
void OffsetRect(Rect* r, short dh, short dv);
void InsetRect(Rect* r, short dh, short dv);
Boolean SectRect(const Rect* a, const Rect* b, Rect* dst);
void UnionRect(const Rect* a, const Rect* b, Rect* dst);
Boolean EqualRect(const Rect* a, const Rect* b);
Boolean EmptyRect(const Rect* r);
Boolean PtInRect(Point pt, const Rect* r);
void Pt2Rect(Point a, Point b, Rect* dst);
void AddPt(Point src, Point* dst);
void SubPt(Point src, Point* dst);
Boolean EqualPt(Point a, Point b);

// ---------------------------------------------------------------------------
// Shapes (in the current port, clipped to its clip and visible regions)

void FrameRect(const Rect* r);
void PaintRect(const Rect* r);
void EraseRect(const Rect* r);
void InvertRect(const Rect* r);
void FillRect(const Rect* r, const Pattern* pat);

void FrameOval(const Rect* r);
void PaintOval(const Rect* r);
void EraseOval(const Rect* r);
void InvertOval(const Rect* r);
void FillOval(const Rect* r, const Pattern* pat);

void FrameRoundRect(const Rect* r, short ovalWidth, short ovalHeight);
void PaintRoundRect(const Rect* r, short ovalWidth, short ovalHeight);
void EraseRoundRect(const Rect* r, short ovalWidth, short ovalHeight);
void InvertRoundRect(const Rect* r, short ovalWidth, short ovalHeight);
void FillRoundRect(const Rect* r, short ovalWidth, short ovalHeight, const Pattern* pat);

void FrameRgn(RgnHandle rgn);
void PaintRgn(RgnHandle rgn);
void EraseRgn(RgnHandle rgn);
void InvertRgn(RgnHandle rgn);
void FillRgn(RgnHandle rgn, const Pattern* pat);

// ---------------------------------------------------------------------------
// Regions

RgnHandle NewRgn();
void DisposeRgn(RgnHandle rgn);
void CopyRgn(RgnHandle src, RgnHandle dst);
void SetEmptyRgn(RgnHandle rgn);
void SetRectRgn(RgnHandle rgn, short left, short top, short right, short bottom);
void RectRgn(RgnHandle rgn, const Rect* r);
void OffsetRgn(RgnHandle rgn, short dh, short dv);
// Shrinks (positive) or grows (negative) the region on every side.
void InsetRgn(RgnHandle rgn, short dh, short dv);
void SectRgn(RgnHandle a, RgnHandle b, RgnHandle dst);
void UnionRgn(RgnHandle a, RgnHandle b, RgnHandle dst);
void DiffRgn(RgnHandle a, RgnHandle b, RgnHandle dst);
void XorRgn(RgnHandle a, RgnHandle b, RgnHandle dst);
Boolean PtInRgn(Point pt, RgnHandle rgn);
Boolean RectInRgn(const Rect* r, RgnHandle rgn);
Boolean EqualRgn(RgnHandle a, RgnHandle b);
Boolean EmptyRgn(RgnHandle rgn);
Rect* GetRegionBounds(RgnHandle rgn, Rect* bounds);
Boolean IsRegionRectangular(RgnHandle rgn);
// The region of the image's inked pixels: every pixel that is not white.
OSErr BitMapToRegion(RgnHandle rgn, const BitMap* bits);

// ---------------------------------------------------------------------------
// Clipping

void ClipRect(const Rect* r);
void SetClip(RgnHandle rgn);
void GetClip(RgnHandle rgn);

// ---------------------------------------------------------------------------
// Copying pixels

// Copies srcRect of src into dstRect of dst, scaling when the sizes differ,
// limited to maskRgn (destination coordinates) when given, and to the
// destination port's clip and visible regions when dst belongs to a port.
// Modes: srcCopy, srcOr, srcXor, srcBic, the notSrc forms, and transparent
// (source pixels equal to the destination port's background colour are
// skipped). Source and destination may overlap.
void CopyBits(const BitMap* src, const BitMap* dst, const Rect* srcRect, const Rect* dstRect,
              short mode, RgnHandle maskRgn);

// ---------------------------------------------------------------------------
// For the other toolbox managers (the Window Manager, the display, tests).
namespace tb {

// One pixel as a 32-bit word whose memory bytes are 0, red, green, blue.
inline UInt32 PackPixel(UInt8 r, UInt8 g, UInt8 b) {
  UInt32 v;
  const UInt8 bytes[4] = {0, r, g, b};
  std::memcpy(&v, bytes, 4);
  return v;
}
inline void UnpackPixel(UInt32 v, UInt8& r, UInt8& g, UInt8& b) {
  UInt8 bytes[4];
  std::memcpy(bytes, &v, 4);
  r = bytes[1];
  g = bytes[2];
  b = bytes[3];
}
inline UInt32 PixelOf(const RGBColor& c) { return PackPixel(c.red >> 8, c.green >> 8, c.blue >> 8); }

// A port with its own white pixel buffer of width x height, local
// coordinates (0, 0, height, width). The Window Manager makes one per window.
CGrafPtr NewPort(short width, short height);
// A port drawing into pixels someone else owns (rowBytes >= 4 * width).
CGrafPtr NewPortOverBuffer(void* base, SInt32 rowBytes, short width, short height);
// Changes the size of the port's pixels. An owned buffer keeps the pixels
// it had where old and new sizes overlap, the rest is white; the port rect
// keeps its top-left and takes the new size; the visible region becomes the
// whole new area. Every clone of the port follows.
void ResizePort(CGrafPtr port, short width, short height);
// Points a port made over someone else's buffer at new pixels.
void RebindPortBuffer(CGrafPtr port, void* base, SInt32 rowBytes, short width, short height);
// A second port drawing into the same pixels with its own graphics state
// (pen, colours, font, clip), starting as a copy of the original's. It stays
// valid when the original is disposed first (it then draws nowhere).
CGrafPtr ClonePort(CGrafPtr port);
// Disposes any port made here (also offscreen worlds). If it was current,
// the current port becomes the screen's fallback port.
void DisposePort(CGrafPtr port);

// Where the port's top-left pixel lies on the screen (GlobalToLocal and
// LocalToGlobal use it); (0, 0) until set.
void SetPortGlobalOrigin(CGrafPtr port, Point topLeft);
Point GetPortGlobalOrigin(CGrafPtr port);
// A pointer the port's owner keeps with it (the Window Manager's window).
void SetPortOwner(CGrafPtr port, void* owner);
void* GetPortOwner(CGrafPtr port);
bool IsGWorld(CGrafPtr port);
// Width and height of the port's pixel buffer.
short PortWidth(CGrafPtr port);
short PortHeight(CGrafPtr port);
// Counts every change of the port's pixels (shared with its clones), so a
// compositor can skip unchanged windows.
UInt64 PortPixelsVersion(CGrafPtr port);
// Pixel at buffer position (x, y) (0, 0 being the top-left pixel);
// 0 outside the buffer.
UInt32 PortPixel(CGrafPtr port, int x, int y);

// The screen's port (made by the display); its bounds answer
// GetQDGlobalsScreenBits. Without one the screen is 1024 x 768.
void SetScreenPort(CGrafPtr port);
CGrafPtr GetScreenPort();
void SetFlushHook(std::function<void(CGrafPtr)> hook);

// Writes 32-bit pixels (0, R, G, B) as an 8-bit RGB PNG file.
OSErr WritePNG(const char* path, const void* base, SInt32 rowBytes, int width, int height);
OSErr WritePNG(const char* path, CGrafPtr port);

// ---------------------------------------------------------------------------
// Scoped resources. Code that borrows the current port or needs a region for
// a while uses these rather than pairing the calls by hand, so an early
// return cannot leave another port current or leak a region.

// Remembers the current port and makes it current again when the scope
// ends. Given a port, also makes that port current for the scope. A port
// that is gone by the end (or a null one) is refused by SetPort, so the
// current port then stays as it is. GetGWorld/SetGWorld scopes use it too:
// there is one device, and SetGWorld is SetPort.
class PortSaver {
 public:
  PortSaver() { GetPort(&saved_); }
  explicit PortSaver(GrafPtr port) : PortSaver() { SetPort(port); }
  ~PortSaver() { SetPort(saved_); }
  PortSaver(const PortSaver&) = delete;
  PortSaver& operator=(const PortSaver&) = delete;

  // The port that was current when the scope began.
  GrafPtr saved() const { return saved_; }

 private:
  GrafPtr saved_ = nullptr;
};

// A region owned by the scope: made empty by NewRgn, disposed at the end.
// It converts to RgnHandle, so it goes straight into the region calls.
class OwnedRgn {
 public:
  OwnedRgn() : rgn_(NewRgn()) {}
  // Takes over a region made elsewhere (null is allowed).
  explicit OwnedRgn(RgnHandle adopt) : rgn_(adopt) {}
  ~OwnedRgn() { reset(); }
  OwnedRgn(OwnedRgn&& o) noexcept : rgn_(o.release()) {}
  OwnedRgn& operator=(OwnedRgn&& o) noexcept {
    if (this != &o) {
      reset();
      rgn_ = o.release();
    }
    return *this;
  }
  OwnedRgn(const OwnedRgn&) = delete;
  OwnedRgn& operator=(const OwnedRgn&) = delete;

  RgnHandle get() const { return rgn_; }
  operator RgnHandle() const& { return rgn_; }
  // Not from a temporary: the handle would outlive its region.
  operator RgnHandle() const&& = delete;
  // Hands the region to the caller, who disposes it.
  RgnHandle release() {
    RgnHandle r = rgn_;
    rgn_ = nullptr;
    return r;
  }
  void reset() {
    if (rgn_) DisposeRgn(rgn_);
    rgn_ = nullptr;
  }

 private:
  RgnHandle rgn_ = nullptr;
};

// An offscreen world disposed with the object; get() is null when it could
// not be made (an empty or too large size, no memory).
class OwnedGWorld {
 public:
  explicit OwnedGWorld(const Rect& bounds) {
    if (NewGWorld(&world_, 32, &bounds, nullptr, nullptr, 0) != noErr) world_ = nullptr;
  }
  // A world of width x height from (0, 0); sizes outside 1..32767 give none.
  OwnedGWorld(int width, int height) {
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return;
    const Rect r{0, 0, SInt16(height), SInt16(width)};
    if (NewGWorld(&world_, 32, &r, nullptr, nullptr, 0) != noErr) world_ = nullptr;
  }
  ~OwnedGWorld() {
    if (world_) DisposeGWorld(world_);
  }
  OwnedGWorld(const OwnedGWorld&) = delete;
  OwnedGWorld& operator=(const OwnedGWorld&) = delete;
  GWorldPtr get() const { return world_; }
  const BitMap* bits() const { return GetPortBitMapForCopyBits(world_); }

 private:
  GWorldPtr world_ = nullptr;
};

}  // namespace tb

#include "toolbox/fonts.h"
#include "toolbox/pictures.h"

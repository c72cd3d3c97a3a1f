// Icon Services over our own generic images, and 'ICN#' mask hit tests.
#include "toolbox/icons.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/resources.h"

struct OpaqueIconRef {
  OSType type;
  UInt16 owners = 1;
  tb::Image image;
};

namespace {

constexpr int kSide = 32;

std::set<IconRef>& live() {
  static auto& s = *new std::set<IconRef>;  // outlives the windows disposed at exit
  return s;
}

IconRef valid(IconRef r) { return r && live().count(r) ? r : nullptr; }

// The drawing of the generic images: an outline colour, a fill colour and
// nothing (transparent) around them.
struct Painter {
  tb::Image img;
  Painter() {
    img.width = img.height = kSide;
    img.pixels.assign(kSide * kSide, tb::PackPixel(0xFF, 0xFF, 0xFF));
    img.alpha.assign(kSide * kSide, 0);
  }
  void set(int x, int y, UInt32 px) {
    if (x < 0 || y < 0 || x >= kSide || y >= kSide) return;
    img.pixels[std::size_t(y * kSide + x)] = px;
    img.alpha[std::size_t(y * kSide + x)] = 255;
  }
  // A filled box with a one-pixel outline, bounds inclusive.
  void box(int l, int t, int r, int b, UInt32 fill, UInt32 line) {
    for (int y = t; y <= b; ++y)
      for (int x = l; x <= r; ++x) set(x, y, x == l || x == r || y == t || y == b ? line : fill);
  }
};

const UInt32 kBlack = tb::PackPixel(0, 0, 0);

tb::Image folderImage() {
  Painter p;
  const UInt32 line = tb::PackPixel(0x2F, 0x5F, 0x9F), fill = tb::PackPixel(0x6C, 0xA8, 0xE0);
  p.box(2, 6, 13, 10, fill, line);   // the tab
  p.box(2, 9, 29, 27, fill, line);   // the body
  for (int x = 3; x < 13; ++x) p.set(x, 9, fill);  // tab and body are one shape
  return p.img;
}

tb::Image documentImage() {
  Painter p;
  const UInt32 white = tb::PackPixel(0xFF, 0xFF, 0xFF), grey = tb::PackPixel(0x99, 0x99, 0x99);
  p.box(6, 2, 25, 29, white, kBlack);
  // The folded corner: cut off, then its fold drawn.
  for (int y = 2; y < 8; ++y)
    for (int x = 26 - (8 - y); x <= 25; ++x) {
      p.img.alpha[std::size_t(y * kSide + x)] = 0;
    }
  for (int i = 0; i <= 6; ++i) p.set(19 + i, 2 + i, kBlack);
  for (int y = 2; y <= 8; ++y) p.set(19, y, kBlack);
  for (int x = 19; x <= 25; ++x) p.set(x, 8, kBlack);
  for (int y = 12; y <= 24; y += 4)
    for (int x = 9; x <= 22; ++x) p.set(x, y, grey);
  return p.img;
}

tb::Image applicationImage() {
  Painter p;
  const UInt32 fill = tb::PackPixel(0x50, 0x50, 0xC8);
  // A diamond: |x - c| + |y - c| <= 14, its edge outlined.
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      double d = std::abs(x - 15.5) + std::abs(y - 15.5);
      if (d <= 14.5) p.set(x, y, d > 13.5 ? kBlack : fill);
    }
  return p.img;
}

// The alert icons, drawn by 4 x 4 samples a pixel so their edges are smooth:
// shade answers the colour at a point of the 32 x 32 square, or false
// where the icon is not.
template <class Shade>
tb::Image sampled(Shade shade) {
  Painter p;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      int r = 0, g = 0, b = 0, n = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
          UInt8 cr, cg, cb;
          if (!shade(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4, cr, cg, cb)) continue;
          r += cr, g += cg, b += cb, ++n;
        }
      if (n == 0) continue;
      p.set(x, y, tb::PackPixel(UInt8(r / n), UInt8(g / n), UInt8(b / n)));
      p.img.alpha[std::size_t(y * kSide + x)] = UInt8(n * 255 / 16);
    }
  return p.img;
}

bool paint(UInt8& r, UInt8& g, UInt8& b, UInt32 rgb) {
  r = UInt8(rgb >> 16), g = UInt8(rgb >> 8), b = UInt8(rgb);
  return true;
}

// Stop: a red octagon with a white cross.
bool stopShade(double x, double y, UInt8& r, UInt8& g, UInt8& b) {
  const double dx = std::abs(x - 16), dy = std::abs(y - 16);
  const double edge = std::max({dx, dy, (dx + dy) / std::sqrt(2.0)});  // 15 on the outline
  if (edge > 15) return false;
  if (edge > 13.8) return paint(r, g, b, 0x8C1010);
  const bool cross = dx <= 7.5 && dy <= 7.5 && std::abs(dx - dy) <= 2.6;
  return paint(r, g, b, cross ? 0xFFFFFF : 0xD42A2A);
}

// Note: a blue disc with a white "i".
bool noteShade(double x, double y, UInt8& r, UInt8& g, UInt8& b) {
  const double d = std::hypot(x - 16, y - 16);
  if (d > 15) return false;
  if (d > 13.8) return paint(r, g, b, 0x1E4E9C);
  const bool dot = std::hypot(x - 16, y - 9) <= 2.3;
  const bool stem = std::abs(x - 16) <= 2 && y >= 13 && y <= 25;
  return paint(r, g, b, dot || stem ? 0xFFFFFF : 0x3778D8);
}

// Caution: a yellow triangle with a black "!".
bool cautionShade(double x, double y, UInt8& r, UInt8& g, UInt8& b) {
  // Distance inside each side (negative outside): the base, then the two
  // slopes from the apex (16, 1.5) to the corners (1, 29.5) and (31, 29.5).
  const double len = std::hypot(15.0, 28.0);
  const double base = 29.5 - y, left = ((x - 1) * 28 + (y - 29.5) * 15) / len,
               right = ((31 - x) * 28 + (y - 29.5) * 15) / len;
  const double inside = std::min({base, left, right});
  if (inside < 0) return false;
  if (inside < 1.3) return paint(r, g, b, 0x8A6A00);
  const bool bar = std::abs(x - 16) <= 1.9 - (y - 10) * 0.04 && y >= 10 && y <= 21.5;
  const bool dot = std::hypot(x - 16, y - 25) <= 2;
  return paint(r, g, b, bar || dot ? 0x000000 : 0xF6C21C);
}

OSErr getGeneric(OSType type, IconRef* out) {
  for (IconRef r : live())
    if (r->type == type) {
      ++r->owners;
      *out = r;
      return noErr;
    }
  tb::Image img;
  switch (type) {
    case kGenericFolderIcon: img = folderImage(); break;
    case kGenericDocumentIcon: img = documentImage(); break;
    case kGenericApplicationIcon: img = applicationImage(); break;
    case kAlertStopIcon: img = sampled(stopShade); break;
    case kAlertNoteIcon: img = sampled(noteShade); break;
    case kAlertCautionIcon: img = sampled(cautionShade); break;
    default: return noSuchIconErr;
  }
  auto* r = new OpaqueIconRef{type, 1, std::move(img)};
  live().insert(r);
  *out = r;
  return noErr;
}

bool endsWithApp(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.size() < 4) return false;
  std::string tail = p.substr(p.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return tail == ".app";
}

}  // namespace

OSErr GetIconRef(SInt16, OSType creator, OSType iconType, IconRef* theIconRef) {
  if (!theIconRef) return paramErr;
  *theIconRef = nullptr;
  if (creator != kSystemIconsCreator) return noSuchIconErr;
  return getGeneric(iconType, theIconRef);
}

OSErr GetIconRefFromFile(const FSSpec* theFile, IconRef* theIconRef, SInt16* theLabel) {
  if (theLabel) *theLabel = 0;
  if (!theIconRef || !theFile) return paramErr;
  *theIconRef = nullptr;
  std::string path;
  struct stat st {};
  if (tb::SpecToPath(*theFile, path) != noErr || stat(path.c_str(), &st) != 0) return fnfErr;
  OSType kind = kGenericDocumentIcon;
  if (S_ISDIR(st.st_mode)) {
    kind = endsWithApp(path) ? kGenericApplicationIcon : kGenericFolderIcon;
  } else {
    FInfo info{};
    bool program = FSpGetFInfo(theFile, &info) == noErr && info.fdType == 'APPL';
    if (program || (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH))) kind = kGenericApplicationIcon;
  }
  return getGeneric(kind, theIconRef);
}

OSErr AcquireIconRef(IconRef theIconRef) {
  IconRef r = valid(theIconRef);
  if (!r) return invalidIconRefErr;
  if (r->owners == 0xFFFF) return paramErr;
  ++r->owners;
  return noErr;
}

OSErr ReleaseIconRef(IconRef theIconRef) {
  IconRef r = valid(theIconRef);
  if (!r) return invalidIconRefErr;
  if (--r->owners == 0) {
    live().erase(r);
    delete r;
  }
  return noErr;
}

OSErr GetIconRefOwners(IconRef theIconRef, UInt16* owners) {
  IconRef r = valid(theIconRef);
  if (!r) return invalidIconRefErr;
  if (!owners) return paramErr;
  *owners = r->owners;
  return noErr;
}

OSErr PlotIconRef(const Rect* theRect, IconAlignmentType align, IconTransformType transform,
                  IconServicesUsageFlags, IconRef theIconRef) {
  IconRef r = valid(theIconRef);
  if (!r) return invalidIconRefErr;
  if (!theRect) return paramErr;
  tb::PlotImage(r->image, *theRect, align, transform);
  return noErr;
}

std::optional<tb::Image> tb::AlertIconImage(short iconID) {
  switch (iconID) {
    case kStopIcon: return sampled(stopShade);
    case kNoteIcon: return sampled(noteShade);
    case kCautionIcon: return sampled(cautionShade);
    default: return std::nullopt;
  }
}

Boolean PtInIconID(Point testPt, const Rect* iconRect, IconAlignmentType align, SInt16 iconID) {
  if (!iconRect) return false;
  Handle h = GetResource('ICN#', iconID);
  if (!h || GetHandleSize(h) < 256) return false;
  Rect at = tb::IconPlacement(*iconRect, kSide, kSide, align);
  int w = at.right - at.left, hgt = at.bottom - at.top;
  if (w <= 0 || hgt <= 0 || testPt.h < at.left || testPt.h >= at.right || testPt.v < at.top ||
      testPt.v >= at.bottom)
    return false;
  // The pixel of the 32 x 32 mask under the point, the mask scaled to `at`.
  int mx = (testPt.h - at.left) * kSide / w, my = (testPt.v - at.top) * kSide / hgt;
  const auto* mask = reinterpret_cast<const UInt8*>(*h) + 128;
  UInt32 row = be::get32(mask + my * 4);
  return (row >> (kSide - 1 - mx)) & 1;
}

OSErr ReadIconFile(const FSSpec* iconFile, IconFamilyHandle* iconFamily) {
  if (!iconFile || !iconFamily) return paramErr;
  *iconFamily = nullptr;
  std::string path;
  if (tb::SpecToPath(*iconFile, path) != noErr) return fnfErr;
  // Icon families are small; anything past this is not one.
  constexpr std::size_t kFamilyMax = 16 << 20;
  std::vector<UInt8> bytes;
  if (OSErr err = tb::ReadLocalFile(path, kFamilyMax, bytes))
    return err == memFullErr ? OSErr(noSuchIconErr) : err == fnfErr ? OSErr(fnfErr) : OSErr(ioErr);
  if (bytes.size() < 8) return noSuchIconErr;
  const std::size_t n = bytes.size();
  auto u8 = [&](std::size_t i) { return UInt32(static_cast<unsigned char>(bytes[i])); };
  if (std::memcmp(bytes.data(), "icns", 4) != 0 || ((u8(4) << 24) | (u8(5) << 16) | (u8(6) << 8) | u8(7)) != n)
    return noSuchIconErr;
  Handle h = NewHandle(Size(n));
  if (!h) return memFullErr;
  std::memcpy(*h, bytes.data(), n);
  *iconFamily = h;
  return noErr;
}

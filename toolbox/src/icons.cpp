// Icon Services over our own generic images, and 'ICN#' mask hit tests.
#include "toolbox/icons.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

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
  std::ifstream in(path, std::ios::binary);
  if (!in) return fnfErr;
  // Icon families are small; anything past this is not one.
  constexpr std::streamoff kFamilyMax = 16 << 20;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return ioErr;
  if (size < 8 || size > kFamilyMax) return noSuchIconErr;
  in.seekg(0);
  std::vector<char> bytes(static_cast<std::size_t>(size));
  if (!in.read(bytes.data(), size)) return ioErr;
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

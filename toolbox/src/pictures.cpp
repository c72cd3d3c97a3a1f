// Pictures and colour icons carried as PNG, decoded and written through
// libpng's memory interface (which reports damage as a failed call, so a
// bad file never takes the program down).
#include "toolbox/pictures.h"

#include <png.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "drawntext_internal.h"
#include "qd_internal.h"
#include "toolbox/icons.h"
#include "toolbox/memory.h"
#include "toolbox/resources.h"

using namespace tb::qd;
using tb::Image;

namespace {

constexpr int kMaxSide = 32767;
constexpr std::size_t kMaxPixels = std::size_t(16) << 20;  // 4096 x 4096
constexpr std::size_t kPictHeader = 10;
constexpr std::size_t kCIconHeader = 14;
constexpr UInt16 kCIconVersion = 1;
const UInt8 kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Width and height from a PNG's header chunk, without decoding it.
bool PngSize(std::span<const UInt8> png, int& w, int& h) {
  if (png.size() < 24 || std::memcmp(png.data(), kPngSignature, 8) != 0) return false;
  if (std::memcmp(png.data() + 12, "IHDR", 4) != 0) return false;
  UInt32 uw = be::get32(png.data() + 16), uh = be::get32(png.data() + 20);
  if (uw == 0 || uh == 0 || uw > UInt32(kMaxSide) || uh > UInt32(kMaxSide)) return false;
  if (std::size_t(uw) * uh > kMaxPixels) return false;
  w = int(uw);
  h = int(uh);
  return true;
}

Rect ReadRect(const UInt8* p) {
  return Rect{SInt16(be::get16(p)), SInt16(be::get16(p + 2)), SInt16(be::get16(p + 4)), SInt16(be::get16(p + 6))};
}
void PutRect(UInt8* p, const Rect& r) {
  be::put16(p, UInt16(r.top));
  be::put16(p + 2, UInt16(r.left));
  be::put16(p + 4, UInt16(r.bottom));
  be::put16(p + 6, UInt16(r.right));
}
SInt16 Swap16(SInt16 v) { return SInt16(UInt16((UInt16(v) >> 8) | (UInt16(v) << 8))); }

// The frame of a picture body whose image is w x h. The frame is stored
// big-endian, but code that turned it into the host's order in place (as
// the old programs did before reading it) must not break the picture.
bool FrameFor(const UInt8* header, int w, int h, Rect& frame) {
  Rect be = ReadRect(header);
  if (be.right - be.left == w && be.bottom - be.top == h) {
    frame = be;
    return true;
  }
  Rect host{Swap16(be.top), Swap16(be.left), Swap16(be.bottom), Swap16(be.right)};
  if (host.right - host.left == w && host.bottom - host.top == h) {
    frame = host;
    return true;
  }
  return false;
}

// Decoded images by content, so drawing the same picture again is cheap
// whoever holds its bytes.
class ImageCache {
 public:
  std::shared_ptr<const Image> get(std::span<const UInt8> png) {
    UInt64 key = Hash(png);
    auto it = map_.find(key);
    if (it != map_.end() && it->second.size == png.size()) return it->second.image;
    auto img = tb::DecodePNG(png);
    if (!img) return nullptr;
    auto shared = std::make_shared<const Image>(std::move(*img));
    std::size_t bytes = shared->pixels.size() * 5;
    while (!order_.empty() && (order_.size() >= kMaxEntries || bytes_ + bytes > kMaxBytes)) {
      auto old = map_.find(order_.front());
      if (old != map_.end()) {
        bytes_ -= old->second.image->pixels.size() * 5;
        map_.erase(old);
      }
      order_.pop_front();
    }
    map_[key] = Entry{shared, png.size()};
    order_.push_back(key);
    bytes_ += bytes;
    return shared;
  }

 private:
  static UInt64 Hash(std::span<const UInt8> d) {
    UInt64 h = 1469598103934665603ull;
    for (UInt8 b : d) h = (h ^ b) * 1099511628211ull;
    return h;
  }
  struct Entry {
    std::shared_ptr<const Image> image;
    std::size_t size;
  };
  static constexpr std::size_t kMaxEntries = 128;
  static constexpr std::size_t kMaxBytes = std::size_t(64) << 20;
  std::unordered_map<UInt64, Entry> map_;
  std::deque<UInt64> order_;
  std::size_t bytes_ = 0;
};

ImageCache& Cache() {
  static ImageCache c;
  return c;
}

std::shared_ptr<const Image> PictImage(std::span<const UInt8> data, Rect* frame) {
  int w, h;
  if (data.size() < kPictHeader || !PngSize(data.subspan(kPictHeader), w, h)) return nullptr;
  Rect f;
  if (!FrameFor(data.data() + 2, w, h, f)) return nullptr;
  auto img = Cache().get(data.subspan(kPictHeader));
  if (img && frame) *frame = f;
  return img;
}

std::shared_ptr<const Image> CIconImage(std::span<const UInt8> data, Rect* bounds) {
  int w, h;
  if (data.size() < kCIconHeader || be::get32(data.data()) != FourCC("cicn") ||
      be::get16(data.data() + 4) != kCIconVersion || !PngSize(data.subspan(kCIconHeader), w, h))
    return nullptr;
  Rect b = ReadRect(data.data() + 6);
  if (b.right - b.left != w || b.bottom - b.top != h) return nullptr;
  auto img = Cache().get(data.subspan(kCIconHeader));
  if (img && bounds) *bounds = b;
  return img;
}

// The bytes behind a picture handle; empty when it is not a live handle.
std::span<const UInt8> HandleBytes(Handle h) {
  if (!h || !*h || !TBIsHandle(h)) return {};
  return std::span<const UInt8>(reinterpret_cast<const UInt8*>(*h), std::size_t(GetHandleSize(h)));
}

// Colour icons in memory.
struct CIconBlock : CIcon {
  CIcon** handle;
  std::shared_ptr<const Image> image;
};
std::unordered_set<const CIconBlock*>& LiveIcons() {
  static auto& s = *new std::unordered_set<const CIconBlock*>;  // outlives the windows disposed at exit
  return s;
}
HandleSlots<CIcon>& IconSlots() {
  static auto& slots = *new HandleSlots<CIcon>;  // outlives the windows disposed at exit
  return slots;
}
CIconBlock* IconOf(CIconHandle h) {
  if (!h || !*h) return nullptr;
  auto* b = static_cast<CIconBlock*>(*h);
  return LiveIcons().count(b) ? b : nullptr;
}

// Recording of OpenPicture ... ClosePicture.
struct Recording {
  GrafPort* port = nullptr;
  Rect frame{};
  Handle handle = nullptr;
};
Recording& Rec() {
  static Recording r;
  return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// PNG

namespace tb {

std::optional<Image> DecodePNG(std::span<const UInt8> png) {
  int w, h;
  if (!PngSize(png, w, h)) return std::nullopt;
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, png.data(), png.size())) {
    png_image_free(&img);
    return std::nullopt;
  }
  if (int(img.width) != w || int(img.height) != h) {
    png_image_free(&img);
    return std::nullopt;
  }
  img.format = PNG_FORMAT_RGBA;
  std::vector<UInt8> rgba(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, rgba.data(), 0, nullptr)) {
    png_image_free(&img);
    return std::nullopt;
  }
  png_image_free(&img);
  Image out;
  out.width = w;
  out.height = h;
  out.pixels.resize(std::size_t(w) * h);
  bool opaque = true;
  for (std::size_t i = 0; i < out.pixels.size(); ++i) {
    const UInt8* p = rgba.data() + i * 4;
    out.pixels[i] = PackPixel(p[0], p[1], p[2]);
    opaque = opaque && p[3] == 255;
  }
  if (!opaque) {
    out.alpha.resize(out.pixels.size());
    for (std::size_t i = 0; i < out.alpha.size(); ++i) out.alpha[i] = rgba[i * 4 + 3];
  }
  return out;
}

std::vector<UInt8> EncodePNG(const void* base, SInt32 rowBytes, int width, int height) {
  if (!base || width <= 0 || height <= 0 || rowBytes < width * 4 || width > kMaxSide || height > kMaxSide) return {};
  std::vector<UInt8> rgb(std::size_t(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    const auto* row = static_cast<const UInt8*>(base) + std::ptrdiff_t(y) * rowBytes;
    UInt8* out = rgb.data() + std::size_t(y) * width * 3;
    for (int x = 0; x < width; ++x) {
      out[x * 3] = row[x * 4 + 1];
      out[x * 3 + 1] = row[x * 4 + 2];
      out[x * 3 + 2] = row[x * 4 + 3];
    }
  }
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = png_uint_32(width);
  img.height = png_uint_32(height);
  img.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&img, nullptr, &size, 0, rgb.data(), 0, nullptr)) {
    png_image_free(&img);
    return {};
  }
  std::vector<UInt8> out(size);
  if (!png_image_write_to_memory(&img, out.data(), &size, 0, rgb.data(), 0, nullptr)) {
    png_image_free(&img);
    return {};
  }
  png_image_free(&img);
  out.resize(size);
  return out;
}

OSErr WritePNG(const char* path, const void* base, SInt32 rowBytes, int width, int height) {
  if (!path) return paramErr;
  std::vector<UInt8> png = EncodePNG(base, rowBytes, width, height);
  if (png.empty()) return paramErr;
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return ioErr;
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  ok = std::fclose(f) == 0 && ok;
  return ok ? noErr : ioErr;
}

OSErr WritePNG(const char* path, CGrafPtr port) {
  if (!Valid(port)) return paramErr;
  const Surface& s = *port->surf;
  return WritePNG(path, s.base, s.rowBytes, s.width, s.height);
}

std::optional<std::vector<UInt8>> MakePictData(std::span<const UInt8> png) {
  auto img = DecodePNG(png);
  if (!img) return std::nullopt;
  std::vector<UInt8> out(kPictHeader + png.size());
  be::put16(out.data(), UInt16(out.size() & 0xFFFF));
  PutRect(out.data() + 2, Rect{0, 0, SInt16(img->height), SInt16(img->width)});
  std::memcpy(out.data() + kPictHeader, png.data(), png.size());
  return out;
}

std::optional<std::vector<UInt8>> MakeCIconData(std::span<const UInt8> png) {
  auto img = DecodePNG(png);
  if (!img) return std::nullopt;
  std::vector<UInt8> out(kCIconHeader + png.size());
  be::put32(out.data(), FourCC("cicn"));
  be::put16(out.data() + 4, kCIconVersion);
  PutRect(out.data() + 6, Rect{0, 0, SInt16(img->height), SInt16(img->width)});
  std::memcpy(out.data() + kCIconHeader, png.data(), png.size());
  return out;
}

std::optional<Image> DecodePictData(std::span<const UInt8> data, Rect* frame) {
  auto img = PictImage(data, frame);
  if (!img) return std::nullopt;
  return *img;
}

std::optional<Image> DecodeCIconData(std::span<const UInt8> data, Rect* bounds) {
  auto img = CIconImage(data, bounds);
  if (!img) return std::nullopt;
  return *img;
}

void DrawImage(const Image& img, const Rect* dstRect) {
  if (!dstRect || img.width <= 0 || img.height <= 0 ||
      img.pixels.size() != std::size_t(img.width) * img.height)
    return;
  const int dw = dstRect->right - dstRect->left, dh = dstRect->bottom - dstRect->top;
  if (dw <= 0 || dh <= 0) return;
  GrafPort* p = Current();
  Rgn clip = EffectiveClip(p);
  if (clip.empty()) return;
  Surface& s = *p->surf;
  const bool alpha = img.alpha.size() == img.pixels.size();
  if (!alpha && tb::detail::DrawnTextOn())
    tb::detail::NotePainted(
        p, Combine(clip, Rgn::FromRect(dstRect->left, dstRect->top, dstRect->right, dstRect->bottom), Op::Sect));
  std::vector<int> cols(std::size_t(dw), 0);
  for (int i = 0; i < dw; ++i) cols[std::size_t(i)] = int((std::int64_t(i) * img.width) / dw);
  ForEachSpanIn(clip, dstRect->left, dstRect->top, dstRect->right, dstRect->bottom, [&](int y, int x0, int x1) {
    int sy = int((std::int64_t(y - dstRect->top) * img.height) / dh);
    const UInt32* src = img.pixels.data() + std::size_t(sy) * img.width;
    const UInt8* a = alpha ? img.alpha.data() + std::size_t(sy) * img.width : nullptr;
    UInt32* row = s.row(y - p->originV);
    for (int x = x0; x < x1; ++x) {
      int sx = cols[std::size_t(x - dstRect->left)];
      UInt32& d = row[x - p->originH];
      d = a ? Blend(d, src[sx], a[sx]) : src[sx];
    }
  });
  Touch(p);
}

bool DrawPictData(std::span<const UInt8> data, const Rect* dstRect) {
  auto img = PictImage(data, nullptr);
  if (!img) {
    SetQDError(invalidPictureErr);
    return false;
  }
  SetQDError(noErr);
  DrawImage(*img, dstRect);
  return true;
}

CIconHandle NewCIconFromData(std::span<const UInt8> data) {
  Rect bounds;
  auto img = CIconImage(data, &bounds);
  if (!img) {
    SetQDError(invalidPictureErr);
    return nullptr;
  }
  auto* b = new CIconBlock();
  b->iconBounds = bounds;
  b->handle = IconSlots().acquire(b);
  b->image = std::move(img);
  LiveIcons().insert(b);
  SetQDError(noErr);
  return b->handle;
}

}  // namespace tb

// ---------------------------------------------------------------------------
// Pictures

PicHandle GetPicture(short picID) { return reinterpret_cast<PicHandle>(GetResource('PICT', picID)); }

void DrawPicture(PicHandle pic, const Rect* dstRect) {
  auto bytes = HandleBytes(reinterpret_cast<Handle>(pic));
  if (bytes.empty()) {
    SetQDError(invalidPictureErr);
    return;
  }
  if (tb::DrawPictData(bytes, dstRect) && dstRect && tb::detail::DrawnTextOn())
    tb::detail::NotePictureDrawn(Current(), pic, bytes, *dstRect);
}

void KillPicture(PicHandle pic) {
  Handle h = reinterpret_cast<Handle>(pic);
  if (Rec().handle == h) Rec() = Recording{};
  if (tb::detail::DrawnTextOn()) tb::detail::NotePictureGone(pic);
  // A picture still owned by its resource file is released through the
  // Resource Manager, which would otherwise keep a handle to freed memory.
  if (HomeResFile(h) != -1) {
    ReleaseResource(h);
  } else if (TBIsHandle(h)) {
    DisposeHandle(h);
  }
}

Rect* QDGetPictureBounds(PicHandle pic, Rect* bounds) {
  if (!bounds) return bounds;
  *bounds = Rect{0, 0, 0, 0};
  auto data = HandleBytes(reinterpret_cast<Handle>(pic));
  int w, h;
  Rect f;
  if (data.size() >= kPictHeader && PngSize(data.subspan(kPictHeader), w, h) && FrameFor(data.data() + 2, w, h, f))
    *bounds = f;
  return bounds;
}

OSErr GetPictInfo(PicHandle pic, PictInfo* info, short, short, short, short) {
  if (!info) return paramErr;
  Rect f;
  if (!PictImage(HandleBytes(reinterpret_cast<Handle>(pic)), &f)) return invalidPictureErr;
  *info = PictInfo{};
  info->version = 2;
  info->depth = 32;
  info->sourceRect = f;
  info->hRes = info->vRes = 72 << 16;
  return noErr;
}

PicHandle OpenPicture(const Rect* picFrame) {
  Recording& r = Rec();
  if (!picFrame || r.handle || EmptyRect(picFrame)) return nullptr;
  Handle h = NewHandleClear(Size(kPictHeader));
  if (!h) return nullptr;
  be::put16(*h, UInt16(kPictHeader));
  PutRect(reinterpret_cast<UInt8*>(*h) + 2, *picFrame);
  r = Recording{Current(), *picFrame, h};
  return reinterpret_cast<PicHandle>(h);
}

void ClosePicture() {
  Recording r = Rec();
  Rec() = Recording{};
  if (!r.handle || !TBIsHandle(r.handle)) return;
  // The picture is what the frame shows now; anything outside the port's
  // pixels is white.
  const int w = r.frame.right - r.frame.left, h = r.frame.bottom - r.frame.top;
  std::vector<UInt32> snap(std::size_t(w) * h, tb::PackPixel(0xFF, 0xFF, 0xFF));
  if (Valid(r.port)) {
    const Surface& s = *r.port->surf;
    for (int y = 0; y < h; ++y) {
      int by = r.frame.top + y - r.port->originV;
      if (by < 0 || by >= s.height || !s.base) continue;
      for (int x = 0; x < w; ++x) {
        int bx = r.frame.left + x - r.port->originH;
        if (bx >= 0 && bx < s.width) snap[std::size_t(y) * w + x] = s.row(by)[bx];
      }
    }
  }
  std::vector<UInt8> png = tb::EncodePNG(snap.data(), w * 4, w, h);
  SetHandleSize(r.handle, Size(kPictHeader + png.size()));
  if (MemError() != noErr) return;
  be::put16(*r.handle, UInt16((kPictHeader + png.size()) & 0xFFFF));
  if (!png.empty()) std::memcpy(*r.handle + kPictHeader, png.data(), png.size());
  if (tb::detail::DrawnTextOn() && Valid(r.port))
    tb::detail::NotePictureClosed(r.port, r.handle, HandleBytes(r.handle), r.frame);
}

// ---------------------------------------------------------------------------
// Colour icons

CIconHandle GetCIcon(short iconID) {
  Handle h = GetResource('cicn', iconID);
  if (!h) {
    // The alert icons are the system's own unless a program has its own.
    if (auto img = tb::AlertIconImage(iconID)) {
      auto* b = new CIconBlock();
      b->iconBounds = Rect{0, 0, SInt16(img->height), SInt16(img->width)};
      b->handle = IconSlots().acquire(b);
      b->image = std::make_shared<const tb::Image>(std::move(*img));
      LiveIcons().insert(b);
      SetQDError(noErr);
      return b->handle;
    }
    SetQDError(resNotFound);
    return nullptr;
  }
  return tb::NewCIconFromData(HandleBytes(h));
}

void PlotCIcon(const Rect* r, CIconHandle icon) {
  if (CIconBlock* b = IconOf(icon)) tb::DrawImage(*b->image, r);
}

Rect tb::IconPlacement(const Rect& r, int w, int h, IconAlignmentType align) {
  if (align == kAlignNone) return r;
  // Natural size, shrunk (keeping its proportions) when r is smaller.
  int rw = r.right - r.left, rh = r.bottom - r.top;
  if (w > rw || h > rh) {
    double k = std::min(double(rw) / w, double(rh) / h);
    w = std::max(1, int(w * k));
    h = std::max(1, int(h * k));
  }
  int left = r.left + (rw - w) / 2, top = r.top + (rh - h) / 2;
  switch (align & 3) {
    case 2: top = r.top; break;
    case 3: top = r.bottom - h; break;
  }
  switch (align & 12) {
    case 8: left = r.left; break;
    case 12: left = r.right - w; break;
  }
  return Rect{SInt16(top), SInt16(left), SInt16(top + h), SInt16(left + w)};
}

void tb::PlotImage(const Image& img, const Rect& r, IconAlignmentType align, IconTransformType transform) {
  Rect dst = IconPlacement(r, img.width, img.height, align);
  if ((transform & (kTransformSelected | kTransformDisabled)) == 0) {
    tb::DrawImage(img, &dst);
    return;
  }
  Image t = img;
  if (transform & kTransformSelected) {
    // Selected icons are darkened.
    for (auto& px : t.pixels) {
      UInt8 cr, cg, cb;
      tb::UnpackPixel(px, cr, cg, cb);
      px = tb::PackPixel(UInt8(cr / 2), UInt8(cg / 2), UInt8(cb / 2));
    }
  }
  if (transform & kTransformDisabled) {
    // Disabled icons are half transparent.
    if (t.alpha.empty()) t.alpha.assign(t.pixels.size(), 255);
    for (auto& a : t.alpha) a = UInt8(a / 2);
  }
  tb::DrawImage(t, &dst);
}

OSErr PlotCIconHandle(const Rect* r, IconAlignmentType align, IconTransformType transform, CIconHandle icon) {
  CIconBlock* b = IconOf(icon);
  if (!b || !r) return paramErr;
  tb::PlotImage(*b->image, *r, align, transform);
  return noErr;
}

void DisposeCIcon(CIconHandle icon) {
  if (CIconBlock* b = IconOf(icon)) {
    LiveIcons().erase(b);
    IconSlots().release(b->handle);
    delete b;
  }
}

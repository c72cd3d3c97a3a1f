// Fuzzed 'PICT' and 'cicn' resource bodies drawn as the programs draw them:
// the body in a handle as GetPicture returns it, its bounds and information
// read, drawn into a window-sized offscreen port; the same body made into a
// colour icon as GetCIcon makes it and plotted with an alignment and a
// transform.
//
// Input: a flag byte (bits 0-3 the icon's alignment, bit 4 selected, bit 5
// disabled), the destination rectangle (top, left, bottom, right as signed
// bytes, in a 48 x 48 port), then the resource body.
#include <cstring>

#include "fuzz_support.h"
#include "toolbox/memory.h"
#include "toolbox/pictures.h"

namespace {

constexpr short kSide = 48;

// An offscreen port for the whole run, current while an input draws.
class Canvas {
 public:
  Canvas() {
    GetGWorld(&saved_, &dev_);
    Rect r{0, 0, kSide, kSide};
    fuzz::Check(NewGWorld(&world_, 32, &r, nullptr, nullptr, 0) == noErr, "offscreen port");
  }
  void Use() const { SetGWorld(world_, nullptr); }
  void Done() const { SetGWorld(saved_, dev_); }

 private:
  GWorldPtr world_ = nullptr;
  CGrafPtr saved_ = nullptr;
  GDHandle dev_ = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Canvas canvas;
  fuzz::Cursor in(data, size);
  const std::uint8_t flags = in.U8();
  Rect dst;
  dst.top = static_cast<std::int8_t>(in.U8());
  dst.left = static_cast<std::int8_t>(in.U8());
  dst.bottom = static_cast<std::int8_t>(in.U8());
  dst.right = static_cast<std::int8_t>(in.U8());
  const std::span<const std::uint8_t> body = in.Rest();
  canvas.Use();

  // A picture.
  Handle h = NewHandle(static_cast<Size>(body.size()));
  fuzz::Check(h != nullptr, "handle for the body");
  if (!body.empty()) std::memcpy(*h, body.data(), body.size());
  auto pic = reinterpret_cast<PicHandle>(h);
  Rect bounds;
  QDGetPictureBounds(pic, &bounds);
  PictInfo info;
  const OSErr infoErr = GetPictInfo(pic, &info, 0, 0, 0, 0);
  DrawPicture(pic, &dst);
  const bool drawn = QDError() == noErr;
  fuzz::Check(drawn == (infoErr == noErr), "a picture draws exactly when its information reads");
  if (drawn) {
    fuzz::Check(info.sourceRect.right - info.sourceRect.left == bounds.right - bounds.left &&
                    info.sourceRect.bottom - info.sourceRect.top == bounds.bottom - bounds.top,
                "GetPictInfo and QDGetPictureBounds agree");
    Rect all{0, 0, kSide, kSide};
    DrawPicture(pic, &all);
    // The program keeps the picture's frame and draws it there too.
    DrawPicture(pic, &bounds);
  }
  KillPicture(pic);

  // A colour icon.
  if (CIconHandle icon = tb::NewCIconFromData(body)) {
    const Rect b = (**icon).iconBounds;
    fuzz::Check(b.right > b.left && b.bottom > b.top, "an icon has an area");
    const IconTransformType transform = static_cast<IconTransformType>(
        ((flags & 0x10) ? kTransformSelected : 0) | ((flags & 0x20) ? kTransformDisabled : 0));
    (void)PlotCIconHandle(&dst, static_cast<IconAlignmentType>(flags & 0x0F), transform, icon);
    PlotCIcon(&dst, icon);
    DisposeCIcon(icon);
  } else {
    fuzz::Check(QDError() != noErr, "a refused icon says why");
  }
  canvas.Done();
  return 0;
}

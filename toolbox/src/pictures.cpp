// Pictures and colour icons: first stand-in (real implementation follows).
#include "toolbox/pictures.h"

#include "qd_internal.h"

PicHandle GetPicture(short) { return nullptr; }
void DrawPicture(PicHandle, const Rect*) {}
void KillPicture(PicHandle) {}
Rect* QDGetPictureBounds(PicHandle, Rect* bounds) {
  if (bounds) *bounds = Rect{0, 0, 0, 0};
  return bounds;
}
CIconHandle GetCIcon(short) { return nullptr; }
void PlotCIcon(const Rect*, CIconHandle) {}
OSErr PlotCIconHandle(const Rect*, IconAlignmentType, IconTransformType, CIconHandle) { return paramErr; }
void DisposeCIcon(CIconHandle) {}
namespace tb {
OSErr WritePNG(const char*, const void*, SInt32, int, int) { return ioErr; }
OSErr WritePNG(const char*, CGrafPtr) { return ioErr; }
}  // namespace tb

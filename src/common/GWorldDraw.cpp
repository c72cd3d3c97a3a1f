// Offscreen worlds drawn into dialogs.
#include "common/GWorldImage.h"
#include "toolbox/dialogs.h"

namespace {

// Copies srcRect of the world into dstRect of the dialog's port with mode
// and the given background colour, limited to mask when given; the current
// port and its colours are restored.
void copy_to_dialog(DialogRef dialog, GWorldPtr world, const Rect* srcRect, const Rect* dstRect,
                    short mode, const RGBColor& background, bool toVisible) {
  if (!dialog || !world || !srcRect || !dstRect) return;
  CGrafPtr port = GetDialogPort(dialog);
  if (!port) return;
  tb::PortSaver saved(port);
  RGBColor fore, back;
  GetForeColor(&fore);
  GetBackColor(&back);
  const RGBColor black = {0, 0, 0};
  RGBForeColor(&black);
  RGBBackColor(&background);
  RgnHandle mask = nullptr;
  if (toVisible) {
    mask = NewRgn();
    GetPortVisibleRegion(port, mask);
  }
  CopyBits(GetPortBitMapForCopyBits(world), GetPortBitMapForCopyBits(port), srcRect, dstRect, mode,
           mask);
  if (mask) DisposeRgn(mask);
  RGBForeColor(&fore);
  RGBBackColor(&back);
}

constexpr RGBColor kWhite = {0xFFFF, 0xFFFF, 0xFFFF};

}  // namespace

void DrawGWorld(DialogRef dialog, GWorldPtr world, const Rect* dstRect) {
  if (!world) return;
  Rect bounds;
  GetPortBounds(world, &bounds);
  copy_to_dialog(dialog, world, &bounds, dstRect, srcCopy, kWhite, false);
}

void DrawGWorldRect(DialogRef dialog, GWorldPtr world, const Rect* srcRect, const Rect* dstRect) {
  copy_to_dialog(dialog, world, srcRect, dstRect, srcCopy, kWhite, false);
}

void DrawPartGWorld(DialogRef dialog, GWorldPtr world, const Rect* srcRect, const Rect* dstRect) {
  copy_to_dialog(dialog, world, srcRect, dstRect, srcCopy, kWhite, true);
}

void Draw_GWorld_Mask(DialogRef dialog, GWorldPtr world, const Rect* srcRect, const Rect* dstRect,
                      const RGBColor* clearColour) {
  copy_to_dialog(dialog, world, srcRect, dstRect, transparent, clearColour ? *clearColour : kWhite,
                 false);
}

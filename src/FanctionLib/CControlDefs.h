// Font and colour records shared by the self-drawn controls (list, tab and
// text view), and the colours they start with.
#pragma once

#include "toolbox/quickdraw.h"

// Runs body with port current, then gives the caller's port back.
template <typename F>
void WithPort(CGrafPtr port, F body) {
  tb::PortSaver saver(port);
  body();
}

struct FONT_SET {
  SInt16 txFont;  // font number
  UInt8 txFace;   // style bits
  SInt16 txSize;  // point size
};

// Cell colours: background normal, selected, disabled; text normal,
// selected, disabled.
struct COLOR_SET {
  RGBColor rgbBkNormal;
  RGBColor rgbBkHilite;
  RGBColor rgbBkDisable;
  RGBColor rgbStrNormal;
  RGBColor rgbStrHilite;
  RGBColor rgbStrDisable;
};

inline constexpr RGBColor rgbWhite{0xFFFF, 0xFFFF, 0xFFFF};
inline constexpr RGBColor rgbBlack{0, 0, 0};
inline constexpr RGBColor rgbGray{0x7FFF, 0x7FFF, 0x7FFF};
inline constexpr RGBColor rgbKorvaBlue{0x0CCC, 0x4000, 0xC000};

// A window with a list control in it, the pictures and icons the list
// draws with, and the program's side of clicks and keys.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "FanctionLib/CList.h"
#include "FanctionLib/CListPriv.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/memory.h"
#include "toolbox/pictures.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox_fixture.h"

namespace cltest {

using testsupport::P;

inline UInt32 Px(UInt8 r, UInt8 g, UInt8 b) { return tb::PackPixel(r, g, b); }
inline const UInt32 kWhitePx = Px(0xFF, 0xFF, 0xFF);
inline const UInt32 kSelectPx = Px(0x0C, 0x40, 0xC0);  // rgbKorvaBlue
// The pictures' colours.
inline const UInt32 kButtonPx = Px(0xD0, 0xD0, 0xD0);
inline const UInt32 kSortedPx = Px(0xA0, 0xC0, 0xF0);
inline const UInt32 kPushedPx = Px(0x40, 0x40, 0x40);
inline const UInt32 kMarkPx = Px(0xC0, 0x20, 0x20);
inline const UInt32 kIconRedPx = Px(0xE0, 0x10, 0x10);
inline const UInt32 kIconGreenPx = Px(0x10, 0xB0, 0x10);

enum : SInt16 {
  kPictButton = 128,
  kPictSorted = 129,
  kPictPushed = 130,
  kPictUp = 131,
  kPictUpPushed = 132,
  kPictDown = 133,
  kPictDownPushed = 134,
  kIconRed = 200,
  kIconGreen = 201,
};

// A solid PNG of one colour; marks get a white surround.
inline std::vector<UInt8> SolidPng(int w, int h, UInt32 px, bool framedInWhite = false) {
  std::vector<UInt32> pixels(std::size_t(w * h), px);
  if (framedInWhite)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (x == 0 || y == 0 || x == w - 1 || y == h - 1) pixels[std::size_t(y * w + x)] = kWhitePx;
  return tb::EncodePNG(pixels.data(), w * 4, w, h);
}

// The program's resources: header buttons, sort marks and two icons.
inline void InstallResources(const testsupport::TempDir& dir) {
  tb::ResetResources();
  std::vector<tb::ResourceEntry> e;
  auto pict = [&](SInt16 id, std::vector<UInt8> png) {
    tb::ResourceEntry r;
    r.type = 'PICT';
    r.id = id;
    r.data = *tb::MakePictData(png);
    e.push_back(r);
  };
  auto cicn = [&](SInt16 id, UInt32 px) {
    tb::ResourceEntry r;
    r.type = 'cicn';
    r.id = id;
    r.data = *tb::MakeCIconData(SolidPng(16, 16, px));
    e.push_back(r);
  };
  pict(kPictButton, SolidPng(14, 16, kButtonPx));
  pict(kPictSorted, SolidPng(14, 16, kSortedPx));
  pict(kPictPushed, SolidPng(14, 16, kPushedPx));
  pict(kPictUp, SolidPng(9, 7, kMarkPx, true));
  pict(kPictUpPushed, SolidPng(9, 7, kMarkPx, true));
  pict(kPictDown, SolidPng(9, 7, kMarkPx, true));
  pict(kPictDownPushed, SolidPng(9, 7, kMarkPx, true));
  cicn(kIconRed, kIconRedPx);
  cicn(kIconGreen, kIconGreenPx);
  std::vector<UInt8> image;
  ASSERT_EQ(tb::BuildResourceFile(e, image), noErr);
  testsupport::WriteFile(dir / "App.rsrc", std::string(image.begin(), image.end()));
  ASSERT_GT(tb::OpenApplicationResources((dir / "App.rsrc").string()), 0);
}

class ListFixture : public testsupport::ToolboxFixture {
 protected:
  void SetUp() override {
    ToolboxFixture::SetUp();
    InstallResources(dir_);
    w_ = NewTestWindow(Rect{60, 40, 460, 640}, "List");
    ASSERT_NE(w_, nullptr);
  }
  void TearDown() override {
    if (cl_) CLDispose(cl_);
    cl_ = nullptr;
    ToolboxFixture::TearDown();
  }

  // The list used by most tests: rect (20, 20)-(220, 420), rows 18 high,
  // header pictures set.
  CLIST_DATA* make(Boolean multi = true, Boolean always = false, Rect r = Rect{20, 20, 220, 420}) {
    cl_ = CLNew(w_, &r, Point{18, SInt16(r.right - r.left)}, multi, true, always);
    if (cl_) {
      CLSetHeaderPictID(cl_, kPictButton, kPictSorted, kPictPushed);
      CLSetHeaderSortPictID(cl_, kPictUp, kPictUpPushed, kPictDown, kPictDownPushed);
    }
    return cl_;
  }
  // Columns "Name" (text, 150), "Count" (integer, 80), "Size" (file size,
  // 80), "Date" (date, 130).
  void addColumns() {
    CLAddColumn(cl_, P("Name"), 150, kCLSortText);
    CLAddColumn(cl_, P("Count"), 80, SInt16(kCLSortInteger | kCLAlignRight));
    CLAddColumn(cl_, P("Size"), 80, kCLSortFileSize);
    CLAddColumn(cl_, P("Date"), 130, kCLSortDate);
  }
  void setRow(int row, const std::vector<std::string>& texts) {
    for (std::size_t c = 0; c < texts.size(); ++c) CLSetCellOne(cl_, Cell{SInt16(row), SInt16(c)}, P(texts[c]));
  }
  std::string text(int row, int col) {
    Str255 s;
    SInt16 len = sizeof s;
    if (CLGetCellOne(cl_, s, &len, Cell{SInt16(row), SInt16(col)}) != 0) return "<none>";
    return std::string(reinterpret_cast<char*>(s + 1), s[0]);
  }
  std::vector<std::string> column(int col) {
    std::vector<std::string> out;
    for (int r = 0; r < CLGetCount(cl_); ++r) out.push_back(text(r, col));
    return out;
  }
  std::vector<int> selectedRows() {
    std::vector<int> out;
    Cell c{0, 0};
    while (CLGetSelect(cl_, &c, true)) {
      out.push_back(c.v);
      c.v = SInt16(c.v + 1);
    }
    return out;
  }

  Point global(Point local) const {
    Rect content;
    GetWindowBounds(w_, kWindowContentRgn, &content);
    return Point{SInt16(content.top + local.v), SInt16(content.left + local.h)};
  }
  // The local point in the middle of data row r (column 0), as drawn now.
  Point rowPoint(int r, int h = 60) const {
    Rect cell;
    clist::GetCellRect(cl_, Cell{SInt16(r), 0}, &cell);
    return Point{SInt16((cell.top + cell.bottom) / 2), SInt16(cell.left + h)};
  }
  // A click as the program sees it: the press is taken from the queue and
  // given to the list, the rest of the click follows.
  Boolean click(Point local, EventModifiers mods = 0, Cell* cell = nullptr, SInt16* sortPart = nullptr,
                Boolean headerOnly = false) {
    tb::ClickAt(global(local), mods);
    return pressed(cell, sortPart, headerOnly);
  }
  Boolean pressed(Cell* cell = nullptr, SInt16* sortPart = nullptr, Boolean headerOnly = false) {
    EventRecord ev;
    if (!GetNextEvent(mDownMask, &ev)) {
      ADD_FAILURE() << "no press";
      return false;
    }
    Cell c;
    SInt16 s;
    const Boolean r = CLMouseDown(cl_, &ev, cell ? cell : &c, sortPart ? sortPart : &s, headerOnly);
    Drain();
    return r;
  }
  Boolean key(UInt8 charCode, EventModifiers mods = 0) {
    EventRecord ev{};
    ev.what = keyDown;
    ev.message = charCode;
    ev.when = TickCount();
    ev.modifiers = mods;
    return CLKeyDown(cl_, &ev, charCode);
  }

  UInt32 px(int h, int v) const { return tb::PortPixel(GetWindowPort(w_), h, v); }
  // Whether any pixel of the rectangle is dark (text was drawn there).
  bool inkIn(const Rect& r) const {
    for (int v = r.top; v < r.bottom; ++v)
      for (int h = r.left; h < r.right; ++h) {
        UInt8 red, green, blue;
        tb::UnpackPixel(px(h, v), red, green, blue);
        if (red < 0x60 && green < 0x60 && blue < 0x60) return true;
      }
    return false;
  }
  int count(const Rect& r, UInt32 colour) const {
    int n = 0;
    for (int v = r.top; v < r.bottom; ++v)
      for (int h = r.left; h < r.right; ++h) n += px(h, v) == colour;
    return n;
  }

  WindowRef w_ = nullptr;
  CLIST_DATA* cl_ = nullptr;
};

}  // namespace cltest

// How a dialog with one item of every kind looks, checked by probing the
// pixels of a screenshot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/pictures.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox_fixture.h"

namespace {

const UInt32 kWhite = tb::PackPixel(0xFF, 0xFF, 0xFF);
const UInt32 kBlack = tb::PackPixel(0, 0, 0);

using testsupport::PStr;

class DialogLook : public testsupport::ToolboxFixture {
 protected:
  DialogLook() : ToolboxFixture(Clock::kVirtual, DIALOGS_TEST_RSRC) {}
  void SetUp() override {
    ToolboxFixture::SetUp();
    ParamText(PStr("Ann"), PStr("admin"), PStr(""), PStr(""));
  }
  // Lets the dialog take its pending updates.
  static void settle() {
    EventRecord e;
    while (GetNextEvent(everyEvent, &e))
      if (IsDialogEvent(&e)) DialogSelect(&e, nullptr, nullptr);
  }
  // A screenshot, read back; pixels probed at the dialog's local points.
  void shoot(DialogRef d) {
    const std::string path = (dir_ / "screen.png").string();
    ASSERT_EQ(tb::SaveScreenshot(path.c_str()), noErr);
    std::string bytes = testsupport::ReadFile(path);
    auto img = tb::DecodePNG(std::span(reinterpret_cast<const UInt8*>(bytes.data()), bytes.size()));
    ASSERT_TRUE(img);
    shot_ = std::move(*img);
    GetWindowBounds(GetDialogWindow(d), kWindowContentRgn, &content_);
  }
  UInt32 at(int v, int h) const {
    const int x = content_.left + h, y = content_.top + v;
    if (x < 0 || y < 0 || x >= shot_.width || y >= shot_.height) return 0xDEADBEEF;
    return shot_.pixels[std::size_t(y) * std::size_t(shot_.width) + std::size_t(x)];
  }
  int ink(const Rect& r) const {
    int n = 0;
    for (int v = r.top; v < r.bottom; ++v)
      for (int h = r.left; h < r.right; ++h) n += at(v, h) != kWhite;
    return n;
  }
  int rightmostInk(const Rect& r) const {
    for (int h = r.right - 1; h >= r.left; --h)
      for (int v = r.top; v < r.bottom; ++v)
        if (at(v, h) != kWhite) return h;
    return -1;
  }

  tb::Image shot_;
  Rect content_{};
};

void PaintGreen(DialogRef d, DialogItemIndex item) {
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(d, item, &kind, &h, &r);
  const RGBColor green{0, 0xC0C0, 0};
  RGBForeColor(&green);
  PaintRect(&r);
}

TEST_F(DialogLook, OneItemOfEveryKind) {
  DialogRef d = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(d, 12, &kind, &h, &r);
  SetDialogItem(d, 12, kind, reinterpret_cast<Handle>(NewUserItemUPP(PaintGreen)), &r);
  SetDialogDefaultItem(d, 1);
  HideDialogItem(d, 13);
  settle();
  ASSERT_NO_FATAL_FAILURE(shoot(d));

  struct Probe {
    const char* what;
    int v, h;
    UInt32 colour;
  } probes[] = {
      {"icon", 26, 26, tb::PackPixel(0xE0, 0x10, 0x10)},
      {"picture, stretched", 42, 302, tb::PackPixel(0x10, 0x20, 0xD0)},
      {"picture's far corner", 87, 379, tb::PackPixel(0x10, 0x20, 0xD0)},
      {"user item", 125, 340, tb::PackPixel(0, 0xC0, 0)},
      {"edit frame, 3 pixels out", 48, 57, kBlack},
      {"inside the edit frame", 57, 100, kWhite},
      {"default ring", 170, 297, kBlack},
      {"no ring on the other button", 170, 197, kWhite},
      {"selected text of the focused item", 41, 61, tb::PackPixel(0xB5, 0xD5, 0xFF)},
  };
  for (const auto& p : probes) EXPECT_EQ(at(p.v, p.h), p.colour) << p.what;

  EXPECT_GT(ink(Rect{130, 60, 150, 190}), 0) << "pop-up";
  EXPECT_EQ(ink(Rect{160, 10, 180, 150}), 0) << "hidden static text";
  // The static text shows the parameter texts in place of ^0 and ^1.
  const Rect label{10, 60, 26, 290};
  GrafPtr saved;
  GetPort(&saved);
  SetPortDialogPort(d);
  const short literal = StringWidth(PStr("Name: ^0 (^1)"));
  const short shown = StringWidth(PStr("Name: Ann (admin)"));
  SetPort(saved);
  const int right = rightmostInk(label);
  EXPECT_GT(right, label.left + literal + 1);
  EXPECT_LE(right, label.left + shown + 1);

  // Checking the box adds its mark.
  const int before = ink(Rect{100, 60, 116, 190});
  ControlRef box = nullptr;
  GetDialogItemAsControl(d, 6, &box);
  SetControlValue(box, 1);
  ASSERT_NO_FATAL_FAILURE(shoot(d));
  EXPECT_GT(ink(Rect{100, 60, 116, 190}), before);
  // Moving the default elsewhere moves the ring.
  SetDialogDefaultItem(d, 2);
  ASSERT_NO_FATAL_FAILURE(shoot(d));
  EXPECT_EQ(at(170, 297), kWhite);
  EXPECT_EQ(at(170, 197), kBlack);
}

// Null events blink the focused item's caret; over an edit item the cursor
// is the I-beam when the dialog tracks it.
TEST_F(DialogLook, CaretBlinksAndCursorFollows) {
  DialogRef d = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  settle();
  SelectDialogItemText(d, 4, 2, 2);
  TEHandle te = GetDialogTextEditHandle(d);
  const Point caret = tb::TEOffsetToPoint(te, 2);
  CGrafPtr port = GetDialogPort(d);
  auto caretInk = [&] {
    int n = 0;
    for (int v = caret.v; v < caret.v + (**te).lineHeight; ++v) n += tb::PortPixel(port, caret.h - 1, v) == kBlack;
    return n;
  };
  EventRecord idle{};
  idle.what = nullEvent;
  DialogSelect(&idle, nullptr, nullptr);
  EXPECT_GT(caretInk(), 0);
  std::vector<int> seen;
  for (int i = 0; i < 4; ++i) {
    tb::AdvanceClock(GetCaretTime());
    DialogSelect(&idle, nullptr, nullptr);
    seen.push_back(caretInk() > 0);
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 0, 1}));

  SetDialogTracksCursor(d, true);
  Rect content;
  GetWindowBounds(GetDialogWindow(d), kWindowContentRgn, &content);
  idle.where = Point{short(content.top + 48), short(content.left + 100)};  // over item 4
  DialogSelect(&idle, nullptr, nullptr);
  EXPECT_EQ(tb::CurrentCursorKind(), iBeamCursor);
  idle.where = Point{short(content.top + 5), short(content.left + 390)};
  DialogSelect(&idle, nullptr, nullptr);
  EXPECT_EQ(tb::CurrentCursorKind(), 0);
}

TEST_F(DialogLook, TheDialogPortsFontAppliesToTextItems) {
  DialogRef d = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  settle();
  ASSERT_NO_FATAL_FAILURE(shoot(d));
  const Rect label{10, 60, 26, 290}, edit{40, 60, 56, 200};
  const int smallLabel = ink(label), smallEdit = ink(edit);
  GrafPtr saved;
  GetPort(&saved);
  SetPortDialogPort(d);
  TextFace(bold);
  SetPort(saved);
  DrawDialog(d);
  ASSERT_NO_FATAL_FAILURE(shoot(d));
  EXPECT_GT(ink(label), smallLabel);
  EXPECT_GT(ink(edit), smallEdit);
  EXPECT_EQ((**GetDialogTextEditHandle(d)).txFace, bold);
}

}  // namespace

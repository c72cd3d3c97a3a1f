// The drawn-text report over a dialog's own items and over what a program
// draws itself, directly, through an offscreen world and through a picture:
// where each text landed and what cut or shortened it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "drawn_text.h"
#include "toolbox/dialogs.h"
#include "toolbox/display.h"
#include "toolbox/drawntext.h"
#include "toolbox/quickdraw.h"
#include "toolbox_fixture.h"

namespace {

class DrawnTextTest : public testsupport::ToolboxFixture {
 protected:
  DrawnTextTest() : ToolboxFixture(Clock::kVirtual, DIALOGS_TEST_RSRC) {}
  void TearDown() override {
    tb::StopDrawnTextReport();
    ToolboxFixture::TearDown();
  }
};

void Say(const char* text, int h, int v) {
  MoveTo(SInt16(h), SInt16(v));
  Str255 s;
  pstr::set(s, sizeof s, text);
  DrawString(s);
}

// Draws text into a 100 x 20 world and copies it to (h, v), through mask.
void ViaWorld(const char* text, int h, int v, RgnHandle mask = nullptr) {
  tb::OwnedGWorld world(100, 20);
  ASSERT_NE(world.get(), nullptr);
  CGrafPtr window;
  GetPort(&window);
  {
    tb::PortSaver keep(world.get());
    Say(text, 2, 15);
  }
  const Rect from{0, 0, 20, 100}, to{SInt16(v), SInt16(h), SInt16(v + 20), SInt16(h + 100)};
  CopyBits(world.bits(), GetPortBitMapForCopyBits(window), &from, &to, srcCopy, mask);
}

const tb::DrawnText* Find(const std::vector<tb::DrawnText>& all, const std::string& text) {
  for (const auto& t : all)
    if (t.text == text) return &t;
  return nullptr;
}

TEST_F(DrawnTextTest, EachTextIsReportedWhereItLandsWithWhatCutOrShortenedIt) {
  testsupport::DrawnTextReport report;
  DialogRef d = GetNewDialog(180, nullptr, WindowRef(-1));
  ASSERT_NE(d, nullptr);
  WindowRef w = GetDialogWindow(d);
  SetPortDialogPort(d);
  DrawDialog(d);

  // What the program draws itself, after the items.
  Say("Inside", 200, 30);
  Say("Far right", 16384 + 10, 30);
  {
    const Rect half{0, 0, 200, 230};
    ClipRect(&half);
    Say("Clipped", 210, 60);
    const Rect all{-32768, -32768, 32767, 32767};
    ClipRect(&all);
  }
  ViaWorld("Offscreen", 250, 80);
  {
    tb::OwnedRgn leftHalf;
    SetRectRgn(leftHalf, 250, 100, 280, 120);
    ViaWorld("Masked", 250, 100, leftHalf);
  }
  {
    tb::OwnedGWorld world(80, 20);
    PicHandle pic = nullptr;
    {
      tb::PortSaver keep(world.get());
      const Rect frame{0, 0, 20, 80};
      pic = OpenPicture(&frame);
      Say("Pictured", 2, 15);
      ClosePicture();
    }
    const Rect at{130, 300, 150, 380};
    DrawPicture(pic, &at);
    KillPicture(pic);
  }
  Say("Covered", 10, 140);
  const Rect coverRight{125, 30, 145, 200};
  PaintRect(&coverRight);
  Say("Erased", 10, 190);
  const Rect eraseAll{175, 0, 200, 200};
  EraseRect(&eraseAll);

  const auto live = tb::DrawnTexts(w);
  const auto log = tb::DrawnTextLog(w);
  struct Case {
    const char* text;
    tb::TextSource source;
    UInt16 cut;  // in what shows now
    bool shortened;
    std::function<bool(const tb::DrawnText&)> where;
  };
  const Case cases[] = {
      {"OK", tb::TextSource::kControlTitle, 0, false, [](auto& t) { return t.item == 1 && t.frame.left == 300; }},
      {"Fits", tb::TextSource::kStaticText, 0, false, [](auto& t) { return t.item == 3; }},
      {"Remember", tb::TextSource::kControlTitle, 0, false, [](auto& t) { return t.item == 5; }},
      {"Inside", tb::TextSource::kDirect, 0, false, [](auto& t) { return t.ink.left >= 200 && t.box.left == 200; }},
      {"Far right", tb::TextSource::kDirect, tb::kOutsideWindow, false, [](auto& t) { return EmptyRect(&t.shown); }},
      {"Clipped", tb::TextSource::kDirect, tb::kCutByClip, false, [](auto& t) { return t.shown.right <= 230; }},
      {"Offscreen", tb::TextSource::kDirect, 0, false, [](auto& t) { return t.box.left == 252 && t.ink.top >= 80; }},
      {"Masked", tb::TextSource::kDirect, tb::kCutByClip, false, [](auto& t) { return t.shown.right <= 280; }},
      {"Pictured", tb::TextSource::kDirect, 0, false, [](auto& t) { return t.box.left == 302 && t.ink.top >= 130; }},
      {"Covered", tb::TextSource::kDirect, tb::kPaintedOver, false, [](auto& t) { return t.shown.right <= 30; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const tb::DrawnText* t = Find(live, c.text);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->window, w);
    EXPECT_EQ(t->source, c.source);
    EXPECT_EQ(t->cut, c.cut) << tb::DescribeTextCut(t->cut);
    EXPECT_EQ(t->shortened, c.shortened);
    EXPECT_TRUE(c.where(*t)) << testsupport::DescribeText(*t);
    // The log keeps each as drawn: painting over comes later.
    const tb::DrawnText* drawn = Find(log, c.text);
    ASSERT_NE(drawn, nullptr);
    EXPECT_EQ(drawn->cut, UInt16(c.cut & ~tb::kPaintedOver));
  }
  // Painted over whole: gone from what shows, still in the log.
  EXPECT_EQ(Find(live, "Erased"), nullptr);
  EXPECT_NE(Find(log, "Erased"), nullptr);

  // The caption shortened to its button, and the label's lines its box has
  // no room for.
  const auto faults = testsupport::WindowTextFaults(w);
  const std::string all = testsupport::JoinLines(faults);
  EXPECT_NE(all.find("shortened from 'Authentication...'"), std::string::npos) << all;
  EXPECT_NE(all.find("(static text, item 4) at"), std::string::npos) << all;
  EXPECT_NE(all.find("not drawn (did not fit)"), std::string::npos) << all;
  EXPECT_NE(all.find("'Far right' (text) at"), std::string::npos) << all;
  EXPECT_EQ(all.find("'Fits'"), std::string::npos) << all;
  EXPECT_EQ(all.find("'Offscreen'"), std::string::npos) << all;

  // Moved half off the screen, the window's texts on the far side are off it.
  MoveWindow(w, SInt16(tb::ScreenWidth() - 100), 100, false);
  const auto moved = tb::DrawnTexts(w);
  const tb::DrawnText* inside = Find(moved, "Inside");
  ASSERT_NE(inside, nullptr);
  EXPECT_EQ(inside->cut, tb::kOffScreen);

  // The buttons a click reaches (the shortened one too: it is enabled).
  const auto targets = testsupport::ClickTargets(d);
  ASSERT_EQ(targets.size(), 3u);
  EXPECT_EQ(targets[0].item, 1);
  EXPECT_EQ(targets[2].title, "Remember");

  // Off, nothing is kept.
  tb::StopDrawnTextReport();
  Say("Unseen", 10, 30);
  EXPECT_TRUE(tb::DrawnTexts(w).empty());
  EXPECT_TRUE(tb::DrawnTextLog().empty());
  DisposeDialog(d);
}

}  // namespace

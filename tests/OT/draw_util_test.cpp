// The dialog drawing helpers, the number field, the page swap and the file
// chooser.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/AppWindows.h"
#include "OT/DrawUtil.h"
#include "OT/SelectFile.h"
#include "stub_host.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/events.h"
#include "toolbox/fonts.h"
#include "toolbox/navigation.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox/windows.h"

namespace {

struct PStr {
  Str255 s;
  explicit PStr(std::string_view t) { pstr::set(s, sizeof s, t); }
  operator const unsigned char*() const { return s; }
};

const UInt32 kWhite = tb::PackPixel(255, 255, 255);

class DrawUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testhost::Reset();
    tb::ResetResources();
    ASSERT_GT(tb::OpenApplicationResources(FTP_WINDOW_TEST_RSRC), 0);
    tb::UseVirtualClock(true);
    tb::ResetEventState();
    dlg_ = GetNewDialog(700, nullptr, reinterpret_cast<WindowRef>(-1));
    ASSERT_NE(dlg_, nullptr);
    SetPortDialogPort(dlg_);
    BackColor(whiteColor);
    ForeColor(blackColor);
    Rect all;
    GetPortBounds(GetDialogPort(dlg_), &all);
    EraseRect(&all);
  }
  void TearDown() override {
    if (dlg_) DisposeDialog(dlg_);
    while (Win_Que_Base) Close_Usr_Window(static_cast<USR_WINDOW_QUEUE*>(Win_Que_Base->q_body)->wndPtr);
    tb::ClearChooserAnswers();
    tb::DisposeAllWindows();
    tb::ResetResources();
    tb::ResetEventState();
    tb::UseVirtualClock(false);
  }

  UInt32 Pixel(int x, int y) const { return tb::PortPixel(GetDialogPort(dlg_), x, y); }
  // Whether any pixel of the rows [top, bottom) within r is not white, and
  // the leftmost and rightmost such columns.
  bool Ink(const Rect& r, int top, int bottom, int* left = nullptr, int* right = nullptr) const {
    int lo = 10000, hi = -1;
    for (int y = std::max<int>(top, r.top); y < std::min<int>(bottom, r.bottom); ++y)
      for (int x = r.left; x < r.right; ++x)
        if (Pixel(x, y) != kWhite) {
          lo = std::min(lo, x);
          hi = std::max(hi, x);
        }
    if (left) *left = lo;
    if (right) *right = hi;
    return hi >= 0;
  }
  FontInfo Font() const {
    FontInfo fi{};
    GrafPtr saved;
    GetPort(&saved);
    SetPortDialogPort(dlg_);
    GetFontInfo(&fi);
    SetPort(saved);
    return fi;
  }

  DialogRef dlg_ = nullptr;
  const Rect area_{100, 10, 196, 200};  // blank part of dialog 700
};

TEST(StrToNum, DigitsInRange) {
  struct Case {
    const char* text;
    UInt32 max, min;
    short result;
    UInt32 number;
  } cases[] = {
      {"", 10, 0, 1, 0},             // empty is 0
      {"", 10, 1, 0, 0},
      {"300", 255, 0, 0, 300},       // out of range, number kept
      {"255", 255, 0, 1, 255},
      {"007", 10, 5, 1, 7},
      {"12a", 1000, 0, 0, 120},      // stops at the first non-digit
      {"-1", 10, 0, 0, 0},
      {"4294967295", 0xFFFFFFFF, 0, 1, 0xFFFFFFFF},
      {"4294967296", 0xFFFFFFFF, 0, 0, 0xFFFFFFFF},  // never wraps to a small number
      {"99999999999999999999", 0xFFFFFFFF, 0, 0, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    UInt32 n = 12345;
    EXPECT_EQ(Str_To_Num(PStr(c.text), &n, c.max, c.min), c.result) << c.text;
    EXPECT_EQ(n, c.number) << c.text;
  }
  EXPECT_EQ(Str_To_Num(PStr("1"), nullptr, 10, 0), 0);
}

TEST_F(DrawUtilTest, LinesBrokenAtReturnsShowFourAtMost) {
  FontInfo fi = Font();
  const int line = fi.ascent + fi.descent;
  Draw_String_User_Rect(dlg_, PStr("A\rB\r\rC\rD\rE"), &area_, kDrawLeft, 0, false);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(Ink(area_, area_.top + i * line, area_.top + (i + 1) * line)) << i;
  EXPECT_FALSE(Ink(area_, area_.top + 4 * line, area_.bottom));
}

TEST_F(DrawUtilTest, EachLineIsCentredOnItsOwnWidth) {
  FontInfo fi = Font();
  const int line = fi.ascent + fi.descent;
  Draw_String_User_Rect(dlg_, PStr("II\rWWWWWWWW"), &area_, kDrawCenter, 0, false);
  int mid = (area_.left + area_.right) / 2;
  for (int i = 0; i < 2; ++i) {
    int l, r;
    ASSERT_TRUE(Ink(area_, area_.top + i * line, area_.top + (i + 1) * line, &l, &r));
    EXPECT_NEAR((l + r) / 2.0, mid, 2.5) << i;
  }
}

TEST_F(DrawUtilTest, SingleLinePlacement) {
  FontInfo fi = Font();
  struct Case {
    short h, v;
  } cases[] = {{kDrawLeft, kDrawTop}, {kDrawRight, kDrawBottom}, {kDrawCenter, 0}, {2, 9}};
  for (const Case& c : cases) {
    EraseRect(&area_);
    Draw_String_User_Rect(dlg_, PStr("Mg"), &area_, c.h, c.v, false);
    int l, r;
    ASSERT_TRUE(Ink(area_, area_.top, area_.bottom, &l, &r));
    if (c.h == kDrawRight) {
      EXPECT_GE(r, area_.right - 3);
    } else if (c.h == kDrawCenter) {
      EXPECT_NEAR((l + r) / 2.0, (area_.left + area_.right) / 2.0, 2.5);
    } else {
      EXPECT_LE(l, area_.left + 4);
      EXPECT_GE(l, area_.left + 2);
    }
    int height = area_.bottom - area_.top;
    int top = c.v == kDrawTop ? 0 : c.v == kDrawBottom ? height - (fi.ascent + fi.descent)
                                                       : (height - (fi.ascent + fi.descent)) / 2;
    EXPECT_FALSE(Ink(area_, area_.top, area_.top + top)) << c.v;
    EXPECT_FALSE(Ink(area_, area_.top + top + fi.ascent + fi.descent, area_.bottom)) << c.v;
  }
}

TEST_F(DrawUtilTest, ColouredBackgroundIsRestored) {
  const RGBColor yellow{0xFFFF, 0xFFFF, 0};
  RGBColor before;
  GetBackColor(&before);
  Draw_String_Color_Rect(dlg_, PStr("x"), &area_, kDrawLeft, 0, &yellow);
  EXPECT_EQ(Pixel(area_.right - 1, area_.bottom - 1), tb::PixelOf(yellow));
  RGBColor after;
  GetBackColor(&after);
  EXPECT_EQ(after.red, before.red);
  EXPECT_EQ(after.blue, before.blue);

  // The whole text helper erases first when asked to.
  Draw_String_User_Rect(dlg_, PStr(""), &area_, kDrawLeft, 0, true);
  EXPECT_FALSE(Ink(area_, area_.top, area_.bottom));
}

TEST_F(DrawUtilTest, ItemAreaInColourAndIcons) {
  const RGBColor green{0, 0x8000, 0};
  Clear_Color_Item_Area(dlg_, 3, &green);
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(dlg_, 3, &kind, &h, &r);
  EXPECT_EQ(Pixel(r.left, r.top), tb::PixelOf(green));
  EXPECT_EQ(Pixel(r.right - 1, r.bottom - 1), tb::PixelOf(green));

  Rect icon{110, 20, 126, 36};
  Draw_Rect_Icon(dlg_, &icon, 999);  // none such: nothing drawn
  EXPECT_FALSE(Ink(area_, area_.top, area_.bottom));
  Draw_Rect_Icon(dlg_, &icon, 300);
  EXPECT_EQ(Pixel(28, 118), tb::PackPixel(255, 0, 0));

  ControlRef ok = nullptr;
  ASSERT_EQ(GetDialogItemAsControl(dlg_, 1, &ok), noErr);
  Rect bounds;
  Get_Control_Rect(ok, &bounds);
  GetDialogItem(dlg_, 1, &kind, &h, &r);
  EXPECT_EQ(bounds.top, r.top);
  EXPECT_EQ(bounds.right, r.right);
}

int gActions = 0;
void CountAction(ControlRef, ControlPartCode) { ++gActions; }

TEST_F(DrawUtilTest, TrackingTakesTheClickInGlobalCoordinates) {
  MoveWindow(GetDialogWindow(dlg_), 150, 120, false);
  const Rect bar{150, 20, 166, 180};
  ControlRef c = NewControl(GetDialogWindow(dlg_), &bar, PStr("h"), true, 0, 0, 10, scrollBarProc, 0);
  ASSERT_NE(c, nullptr);
  SetControlAction(c, NewControlActionUPP(CountAction));
  EventRecord e{};
  e.what = mouseDown;
  const Point local{158, 176};  // on the arrow at the right end
  e.where = local;
  LocalToGlobal(&e.where);  // dlg_'s port is current
  ASSERT_NE(e.where.h, local.h);
  tb::MoveMouseTo(e.where);  // released there
  gActions = 0;
  EXPECT_EQ(Original_Control_Action(dlg_, &e, c), kControlDownButtonPart);
  EXPECT_GT(gActions, 0);
  // The same point taken as local would miss the control.
  e.where = local;
  EXPECT_EQ(Original_Control_Action(dlg_, &e, c), kControlNoPart);
}

TEST_F(DrawUtilTest, PagesSwapFromTheirFirstItem) {
  EXPECT_EQ(CountDITL(dlg_), 4);
  EXPECT_EQ(Change_Dialog_Page(dlg_, 702, 3), 1);
  EXPECT_EQ(CountDITL(dlg_), 5);
  EXPECT_EQ(tb::DialogItemText(dlg_, 2), "Heading");
  EXPECT_EQ(tb::DialogItemText(dlg_, 3), "Page three");
  EXPECT_EQ(Change_Dialog_Page(dlg_, 701, 3), 1);
  EXPECT_EQ(CountDITL(dlg_), 3);
  EXPECT_EQ(tb::DialogItemText(dlg_, 3), "Page two");
  // A page that is missing leaves the page empty.
  EXPECT_EQ(Change_Dialog_Page(dlg_, 799, 3), 0);
  EXPECT_EQ(CountDITL(dlg_), 2);
  EXPECT_EQ(Change_Dialog_Page(dlg_, 701, 40), 1);  // nothing to remove
  EXPECT_EQ(CountDITL(dlg_), 3);
}

TEST_F(DrawUtilTest, ChooserCopiesAtMost110Files) {
  testsupport::TempDir dir;
  std::vector<std::string> paths;
  for (int i = 0; i < 120; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "job%03d.prn", i);
    testsupport::WriteFile(dir / name, "x");
    paths.push_back((dir / name).string());
  }
  std::string longName(63, 'n');
  testsupport::WriteFile(dir / longName, "x");
  paths.insert(paths.begin(), (dir / longName).string());

  tb::AnswerNextChooser(paths);
  FILElist list{};
  FSSpec folder{};
  folder.name[0] = 5;
  short n = Get_Select_File_Spec(&folder, list.file_spec);
  EXPECT_EQ(n, kSelectFileMax);
  EXPECT_EQ(pstr::str(list.file_spec[0].name), longName);
  EXPECT_EQ(list.file_spec[0].nameTerm, 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(list.file_spec[1].name) + 1, "job000.prn");
  EXPECT_EQ(pstr::str(list.file_spec[109].name), "job108.prn");
  EXPECT_EQ(folder.parID, list.file_spec[0].parID);
  EXPECT_EQ(folder.vRefNum, list.file_spec[0].vRefNum);
  EXPECT_EQ(folder.name[0], 0);
  std::string back;
  ASSERT_EQ(tb::SpecToPath(list.file_spec[5], back), noErr);
  EXPECT_EQ(std::filesystem::path(back), dir / "job004.prn");

  tb::CancelNextChooser();
  EXPECT_EQ(Get_Select_File_Spec(&folder, list.file_spec), 0);
}

int gUpdates = 0;
short CountUpdate(DialogRef dialog, EventRecord*) {
  ++gUpdates;
  WindowRef w = GetDialogWindow(dialog);
  BeginUpdate(w);
  EndUpdate(w);
  return 1;
}

TEST_F(DrawUtilTest, ChooserLetsWindowsBehindRedraw) {
  DialogRef behind = Open_Usr_Dialog(129, PStr("Behind"), nullptr, CountUpdate, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(behind, nullptr);
  gUpdates = 0;
  EventRecord update{};
  update.what = updateEvt;
  update.message = reinterpret_cast<unsigned long>(GetDialogWindow(behind));
  NavCBRec rec{};
  rec.eventData.eventDataParms.event = &update;
  File_Select_Filter(kNavCBEvent, &rec, nullptr);
  EXPECT_EQ(gUpdates, 1);
  File_Select_Filter(kNavCBStart, &rec, nullptr);
  EventRecord key{};
  key.what = keyDown;
  rec.eventData.eventDataParms.event = &key;
  File_Select_Filter(kNavCBEvent, &rec, nullptr);
  EXPECT_EQ(gUpdates, 1);
}

}  // namespace

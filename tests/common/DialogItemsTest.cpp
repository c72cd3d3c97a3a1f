// Dialog item utilities, the drawing functions, the file helpers and the
// bridge of the toolbox layer.
#include <filesystem>

#include "506Q_Lib/AppFiles.h"
#include "common/AppFonts.h"
#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "FrameworkFixture.h"
#include "test_support.h"
#include "toolbox/aliases.h"
#include "toolbox/catsearch.h"
#include "toolbox/files.h"

using namespace fwtest;
using testsupport::FileSpecOf;

namespace {

const UInt32 kWhite = tb::PackPixel(255, 255, 255);
const UInt32 kBlack = tb::PackPixel(0, 0, 0);
const UInt32 kGrey = tb::PackPixel(0x88, 0x88, 0x88);

class Items : public Framework {
 protected:
  void SetUp() override {
    Framework::SetUp();
    d = GetNewDialog(300, nullptr, kFirstWindowOfClass);
    ASSERT_NE(d, nullptr);
    Fill(Rect{0, 0, 160, 320}, whiteColor);
  }
  void TearDown() override {
    DisposeDialog(d);
    Framework::TearDown();
  }
  void Fill(const Rect& r, SInt32 colour) {
    tb::PortSaver saved(GetDialogPort(d));
    ForeColor(colour);
    PaintRect(&r);
    ForeColor(blackColor);
    BackColor(whiteColor);
  }
  UInt32 Px(int x, int y) const { return tb::PortPixel(GetDialogPort(d), x, y); }
  DialogRef d = nullptr;
};

TEST_F(Items, CheckBoxesToggleBetweenZeroAndOne) {
  ControlRef box = nullptr;
  ASSERT_EQ(GetDialogItemAsControl(d, 5, &box), noErr);
  SetControlMaximum(box, 2);
  for (auto [from, to] : {std::pair{0, 1}, {1, 0}, {2, 1}}) {
    SetControlValue(box, SInt16(from));
    EXPECT_EQ(Invert_Check_Item(d, 5), to);
    EXPECT_EQ(GetControlValue(box), to);
  }
  EXPECT_EQ(Invert_Check_Item(d, 4), 0);  // static text
  Rect r;
  Get_Dialog_Item_Rect(d, 99, &r);
  EXPECT_TRUE(EmptyRect(&r));
}

TEST_F(Items, AFlashedButtonTakesNoEvent) {
  tb::PressKey('q', tb::KeyCodeForChar('q'));
  const int queued = tb::QueuedEventCount();
  const UInt32 before = TickCount();
  Invert_Button_Item(d, 1);
  EXPECT_GE(TickCount() - before, 10u);
  ControlRef button = nullptr;
  GetDialogItemAsControl(d, 1, &button);
  EXPECT_EQ(Get_Control_Hilite(button), 0);
  EXPECT_EQ(tb::QueuedEventCount(), queued);
  EventRecord e;
  ASSERT_TRUE(GetNextEvent(keyDownMask, &e));
  EXPECT_EQ(char(e.message & charCodeMask), 'q');
}

TEST_F(Items, SetupFramesOnlyAroundDisabledUserItems) {
  Draw_Setup_Frame_Item(d, 8);  // enabled user item (10, 220, 50, 300)
  Draw_Setup_Frame_Item_B(d, 8);
  for (int x = 220; x < 300; ++x) EXPECT_EQ(Px(x, 10), kWhite) << x;
  Draw_Setup_Frame_Item(d, 7);  // disabled user item (70, 220, 110, 300): grey pattern
  int black = 0, white = 0;
  for (int x = 220; x < 300; ++x) (Px(x, 70) == kBlack ? black : white)++;
  EXPECT_GT(black, 20);
  EXPECT_GT(white, 20);
  EXPECT_EQ(Px(250, 90), kWhite);
  Draw_Setup_Frame_Item_B(d, 7);
  for (int y = 70; y < 110; ++y) EXPECT_EQ(Px(220, y), kBlack) << y;
  PenState pen;
  GetPenState(&pen);
  EXPECT_EQ(pen.pnSize.h, 1);
}

TEST_F(Items, TheEtchedGroupFrameLiesOnItsLines) {
  Fill(Rect{0, 200, 70, 320}, blackColor);
  RGBColor fore{1, 2, 3};
  GrafPtr saved;
  GetPort(&saved);
  SetPortDialogPort(d);
  RGBForeColor(&fore);
  SetPort(saved);
  Draw_Group_Frame_Item(d, 8);  // t 10, l 220, b 50, r 300
  GetPort(&saved);
  EXPECT_EQ(saved, GetQDGlobalsThePort());
  RGBColor now;
  GetPortForeColor(GetDialogPort(d), &now);
  EXPECT_EQ(now.blue, 3);
  struct {
    int x, y;
    UInt32 want;
  } pixels[] = {
      {220, 10, kGrey}, {299, 10, kGrey}, {299, 49, kGrey}, {220, 49, kGrey}, {220, 30, kGrey},
      {250, 10, kGrey}, {299, 30, kGrey}, {250, 49, kGrey},                      // the grey outline
      {221, 11, kWhite}, {298, 11, kWhite}, {221, 48, kWhite}, {221, 30, kWhite},  // inner top and left
      {300, 10, kWhite}, {300, 50, kWhite}, {250, 50, kWhite}, {220, 50, kWhite},  // outer right and bottom
      {250, 30, kBlack}, {298, 30, kBlack}, {221, 49, kGrey}, {301, 30, kBlack},   // nothing else
  };
  for (const auto& p : pixels) EXPECT_EQ(Px(p.x, p.y), p.want) << p.x << "," << p.y;
}

TEST_F(Items, TextIsPlacedInItsAreaAndTheCallersTextIsKept) {
  DialogRef ref = GetNewDialog(300, nullptr, nullptr);
  const Rect area{20, 20, 120, 220};
  GrafPtr saved;
  GetPort(&saved);
  SetPortDialogPort(d);
  FontInfo fi;
  GetFontInfo(&fi);
  SetPort(saved);
  const short a = fi.ascent, dsc = fi.descent, w = 200, h = 100;
  auto width = [&](std::string_view t) {
    SetPortDialogPort(d);
    return TextWidth(t.data(), 0, short(t.size()));
  };
  struct Line {
    std::string text;
    short x, y;
  };
  struct {
    std::string text;
    short hStyle, vStyle;
    std::vector<Line> lines;
  } cases[] = {
      {"Wide", 3, 4, {{"Wide", short(220 - width("Wide")), short(20 + a)}}},
      {"Wide", 1, 5, {{"Wide", short(20 + (w - width("Wide")) / 2), short(120 - dsc)}}},
      {"Wide", 0, 0, {{"Wide", 22, short(20 + (h - (a + dsc)) / 2 + a)}}},
      {"A\rLonger line", 1, 5,
       {{"A", short(20 + (w - width("A")) / 2), short(20 + a)},
        {"Longer line", short(20 + (w - width("Longer line")) / 2), short(20 + a + a + dsc)}}},
      {"1\r2\r3\r4\r5", 3, 0,
       {{"1", short(220 - width("1")), short(20 + a)},
        {"2", short(220 - width("2")), short(20 + 2 * a + dsc)},
        {"3", short(220 - width("3")), short(20 + 3 * a + 2 * dsc)},
        {"4", short(220 - width("4")), short(20 + 4 * a + 3 * dsc)}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    for (DialogRef x : {d, ref}) {
      SetPortDialogPort(x);
      BackColor(whiteColor);
      EraseRect(&area);
    }
    Str255 text;
    pstr::set(text, sizeof text, c.text);
    Str255 copy;
    std::memcpy(copy, text, sizeof copy);
    SetPort(saved);
    Draw_String_User_StringArea(d, text, &area, c.hStyle, c.vStyle, 0);
    EXPECT_EQ(std::memcmp(copy, text, sizeof copy), 0);
    SetPortDialogPort(ref);
    for (const Line& l : c.lines) {
      MoveTo(l.x, l.y);
      DrawText(l.text.data(), 0, short(l.text.size()));
    }
    SetPort(saved);
    int diff = 0;
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; ++x)
        diff += tb::PortPixel(GetDialogPort(d), x, y) != tb::PortPixel(GetDialogPort(ref), x, y);
    EXPECT_EQ(diff, 0);
  }
  DisposeDialog(ref);

  // The clear flag erases the text's own area first.
  Fill(Rect{20, 20, 120, 220}, blackColor);
  Draw_String_User_StringArea(d, PStr("ab"), &area, 0, 4, 1);
  const short tw = width("ab");
  SetPort(saved);
  EXPECT_EQ(Px(20 + tw + 3, 21), kWhite);
  EXPECT_EQ(Px(20 + tw + 5, 21), kBlack);
  EXPECT_EQ(Px(21, 20 + a + dsc), kBlack);
}

TEST_F(Items, PicturesAreDrawnIntoTheirRectangle) {
  const Rect r{100, 100, 120, 140};
  Draw_Rect_Pict(d, &r, 999);
  EXPECT_EQ(Px(110, 110), kWhite);
  Draw_Rect_Pict(d, &r, 129);
  EXPECT_EQ(Px(110, 110), tb::PackPixel(0, 0, 255));
  EXPECT_EQ(Px(110, 121), kWhite);
  Draw_Item_Pict(d, 13, 129);  // (10, 310, 30, 318)
  EXPECT_EQ(Px(312, 20), tb::PackPixel(0, 0, 255));

  PicHandle pic = GetPicture(129);
  ASSERT_NE(pic, nullptr);
  Rect frame;
  QDGetPictureBounds(pic, &frame);
  PictureFrame_SwapBigToHost(pic);
  EXPECT_TRUE(EqualRect(&(**pic).picFrame, &frame));
  ReleaseResource(reinterpret_cast<Handle>(pic));
  const UInt8 bytes[8] = {0, 1, 0, 2, 0xFF, 0xFE, 0x7F, 0xFF};
  Rect r2;
  std::memcpy(&r2, bytes, sizeof r2);
  RectFrame_SwapBigToHost(&r2);
  EXPECT_TRUE(r2.top == 1 && r2.left == 2 && r2.bottom == -2 && r2.right == 32767);
}

TEST(StriCmp, ComparesWithoutCase) {
  struct {
    const char *a, *b;
    int sign;
  } cases[] = {{"abc", "ABC", 0}, {"", "", 0}, {"", "a", -1}, {"a", "", -1}, {nullptr, nullptr, 0},
               {"abc", "abd", -1}, {"ABD", "abc", 1}, {"ab", "abc", -1}, {"Ärger", "Ärger", 0}};
  for (const auto& c : cases) {
    const int r = StriCmp(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << (c.a ? c.a : "null") << " " << (c.b ? c.b : "null");
  }
  EXPECT_EQ(StriCmp("", "a"), -1);
}

class Files : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  SInt32 Folder(const std::filesystem::path& p) {
    std::filesystem::create_directories(p);
    return tb::DirIDForPath(p.string());
  }
  bool FinderInfoKept() {
    FSSpec probe = FileSpecOf(dir / "probe");
    FSpCreate(&probe, 'VMxa', 'TEXT', smSystemScript);
    FInfo info{};
    FSpGetFInfo(&probe, &info);
    FSpDelete(&probe);
    return info.fdCreator == 'VMxa';
  }
};

TEST_F(Files, AliasesAreMadeAndReplacedButNoOtherFile) {
  FSSpec target = FileSpecOf(dir / "Doc");
  ASSERT_EQ(FSpCreate(&target, 'VMxa', 'TEXT', smSystemScript), noErr);
  const SInt32 links = Folder(dir / "Links");
  FSSpec root;
  tb::PathToSpec(dir.path().string(), &root);
  const SInt16 vol = root.vRefNum;

  for (int round = 0; round < 2; ++round) {  // the second replaces the first
    ASSERT_EQ(CreateAlias(&target, vol, links), 0) << round;
    FSSpec alias = FileSpecOf(dir / "Links" / "Doc");
    const SInt16 ref = FSpOpenResFile(&alias, fsRdPerm);
    ASSERT_NE(ref, -1);
    Handle h = Get1Resource('alis', 0);
    ASSERT_NE(h, nullptr);
    FSSpec resolved;
    Boolean changed;
    EXPECT_EQ(ResolveAlias(nullptr, reinterpret_cast<AliasHandle>(h), &resolved, &changed), noErr);
    EXPECT_EQ(pstr::str(resolved.name), "Doc");
    CloseResFile(ref);
    if (FinderInfoKept()) {
      FInfo info{};
      FSpGetFInfo(&alias, &info);
      EXPECT_EQ(info.fdFlags, 0x8100);
      EXPECT_EQ(info.fdCreator, OSType('VMxa'));
      EXPECT_EQ(info.fdType, OSType('adrp'));
    }
  }
  // A user's file of the same name stays.
  testsupport::WriteFile(dir / "Links" / "Notes", "mine");
  FSSpec notes = FileSpecOf(dir / "Notes");
  FSpCreate(&notes, 'VMxa', 'TEXT', smSystemScript);
  EXPECT_EQ(CreateAlias(&notes, vol, links), -2);
  EXPECT_EQ(testsupport::ReadFile(dir / "Links" / "Notes"), "mine");
  FSSpec missing = FileSpecOf(dir / "Missing");
  EXPECT_EQ(CreateAlias(&missing, vol, links), -1);
  EXPECT_EQ(CreateAlias(nullptr, vol, links), -1);
}

TEST_F(Files, CatalogSearchWalksVolumeByVolume) {
  if (!FinderInfoKept()) GTEST_SKIP() << "no extended attributes here";
  std::filesystem::create_directories(dir / "A");
  std::filesystem::create_directories(dir / "B" / "deep");
  FSSpec pref = FileSpecOf(dir / "B" / "deep" / "Monitor Prefs");
  ASSERT_EQ(FSpCreate(&pref, 'VMxm', 'pref', smSystemScript), noErr);
  tb::SetSearchVolumes({(dir / "A").string(), (dir / "B").string()});
  FSSpec found{};
  EXPECT_EQ(DoCatSearch(PStr("VMxm"), PStr("pref"), &found, 1), eofErr);
  EXPECT_EQ(DoCatSearch(PStr("VMxm"), PStr("pref"), &found, 2), noErr);
  EXPECT_EQ(pstr::str(found.name), "Monitor Prefs");
  EXPECT_EQ(DoCatSearch(PStr("VMxm"), PStr("pref"), &found, 3), nsvErr);
  EXPECT_EQ(DoCatSearch(PStr("VMx"), PStr("pref"), &found, 2), eofErr);  // 'MACS'
  tb::SetSearchVolumes({});
}

TEST_F(Items, BridgeCallsKeepThePortAndAnswerAsTheOldSystemDid) {
  EXPECT_EQ(Get_Trap_Address(), 1);
  EXPECT_EQ(Open_Desk_Acc(PStr("Clock")), 0);
  tb::PressKey('x', tb::KeyCodeForChar('x'));
  EXPECT_EQ(Initialize_ToolBox(), 1);
  EXPECT_EQ(tb::QueuedEventCount(), 0);

  GrafPtr saved;
  GetPort(&saved);
  CSetPort_TextSize(Get_CGPort_FromDialog(d), 18);
  CSetPort_TextFace(Get_CGPort_FromDialog(d), bold);
  GrafPtr now;
  GetPort(&now);
  EXPECT_EQ(now, saved);
  EXPECT_EQ(CGetPort_TextSize(Get_CGPort_FromDialog(d)), 18);
  EXPECT_EQ(CGetPort_TextFace(Get_CGPort_FromDialog(d)), bold);

  Rect port;
  EXPECT_EQ(Get_Dialog_Port_Bounds(d, &port), &port);
  EXPECT_EQ(port.right - port.left, 320);

  // One modal run, answered by Return on the default item.
  Set_Dialog_Default_Item(d, 1);
  tb::PressNamedKey("Return");
  DialogItemIndex item = 0;
  Show_Modal_Dialog(d, nullptr, &item);
  EXPECT_EQ(item, 1);
  GetPort(&now);
  EXPECT_EQ(now, saved);
}

TEST_F(Items, GroupsGetTheirFrameAndTheirTitleInTheirFont) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "Group.ini", "[LABEL]\nGROUP=Network\n");
  const std::string ini = (dir / "Group.ini").string();
  FONT_DATA font{};
  font.fontID = 0;
  font.styleID = bold;
  font.fSize = 18;
  CGrafPtr port = GetDialogPort(d);
  SetPortTextSize(port, 9);
  auto inked = [&](int left, int top, int right, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) n += Px(x, y) != kWhite;
    return n;
  };
  // Item 8 holds the group, item 4 (40, 20, 56, 200) the title.
  DrawGroup(d, &font, 8, 4, "[LABEL]", "MISSING=", ini.c_str());
  EXPECT_EQ(Px(220, 10), kGrey);
  EXPECT_EQ(inked(20, 40, 200, 56), 0);
  DrawGroup(d, &font, 8, 4, "[LABEL]", "GROUP=", ini.c_str());
  EXPECT_GT(inked(20, 40, 200, 56), 0);
  EXPECT_EQ(GetPortTextSize(port), 9);
  EXPECT_EQ(GetPortTextFace(port), normal);
}

}  // namespace

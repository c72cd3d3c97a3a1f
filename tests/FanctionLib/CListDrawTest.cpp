// What the list control draws, checked pixel by pixel, and the text
// shortening it draws with.
#include <cstdlib>
#include <filesystem>

#include "clist_fixture.h"
#include "toolbox/fonts.h"
#include "toolbox_fixture.h"

namespace cltest {
namespace {

class ListDraw : public ListFixture {
 protected:
  // Five rows with icons under four columns, sorted by the counts; row 2
  // selected, row 4 disabled.
  void build() {
    make();
    addColumns();
    const char* names[] = {"alpha", "bravo", "charlie", "delta", "echo"};
    for (int r = 0; r < 5; ++r) {
      setRow(r, {names[r], std::to_string(50 - r * 10), std::to_string(r + 1) + " KB", "1/1/2004"});
      CLSetCIconData(cl_, SInt16(r % 2 ? kIconGreen : kIconRed), SInt16(r), 16, 16);
    }
    CLSort(cl_, 1, 0);  // 10, 20, ...: echo first
    CLSetSelect(cl_, Cell{2, 0}, true, false);
    CCELL_DATA rec{};
    SInt16 len = sizeof rec;
    CLGetCell(cl_, &rec, &len, Cell{4, 0});
    for (int c = 0; c < 4; ++c) rec.flag[c] = 1;
    CLUpdate(cl_, nullptr, 1);
  }
  static int rowTop(int r) { return 38 + 18 * r; }
  // Where screenshots go: the build's folder when known.
  std::filesystem::path shotPath(const std::string& name) {
    const char* build = std::getenv("VEMO_BUILD_DIR");
    std::filesystem::path dir = build ? std::filesystem::path(build) / "screenshots" : dir_.path();
    std::filesystem::create_directories(dir);
    return dir / name;
  }
};

TEST_F(ListDraw, ListWithIconsAndASortedHeader) {
  build();
  ASSERT_EQ(text(0, 0), "echo");
  const auto path = shotPath("list_icons_sorted_header.png");
  ASSERT_EQ(tb::WritePNG(path.string().c_str(), GetWindowPort(w_)), noErr);
  const auto shot = testsupport::ReadPNG(path);
  ASSERT_TRUE(shot.has_value());
  auto at = [&](int h, int v) { return shot->pixels[std::size_t(v * shot->width + h)]; };

  // The header: the sorted column's button, the others', the mark.
  EXPECT_EQ(at(100, 21), kButtonPx);
  EXPECT_EQ(at(200, 21), kSortedPx);
  EXPECT_EQ(at(300, 21), kButtonPx);
  EXPECT_EQ(at(240, 28), kMarkPx);   // its right edge 6 pixels in from the column's
  EXPECT_EQ(at(235, 25), kSortedPx);  // the mark's white surround lets the button show
  EXPECT_EQ(at(236, 26), kMarkPx);
  EXPECT_EQ(at(245, 28), kSortedPx);
  EXPECT_TRUE(inkIn(Rect{22, 24, 36, 70}));   // "Name"
  EXPECT_TRUE(inkIn(Rect{22, 174, 36, 232}));  // "Count", left of the mark
  // The filler past the last column is the plain button again (the header
  // ends with the control).
  // Icons: 16 pixels from x = 25, centred in their rows.
  EXPECT_EQ(at(30, rowTop(0) + 9), kIconRedPx);   // echo (row 4 before the sort)
  EXPECT_EQ(at(30, rowTop(1) + 9), kIconGreenPx);  // delta
  EXPECT_EQ(at(25, rowTop(1) + 1), kIconGreenPx);
  EXPECT_EQ(at(40, rowTop(1) + 16), kIconGreenPx);
  EXPECT_NE(at(41, rowTop(1) + 9), kIconGreenPx);
  EXPECT_NE(at(30, rowTop(1)), kIconGreenPx);
  // Texts start 26 pixels into a column with a 16-pixel icon.
  EXPECT_FALSE(inkIn(Rect{SInt16(rowTop(1)), 42, SInt16(rowTop(1) + 18), 45}));
  EXPECT_TRUE(inkIn(Rect{SInt16(rowTop(1)), 46, SInt16(rowTop(1) + 18), 80}));
  // The selected row (charlie) in the selection colour, with its icon darkened.
  EXPECT_EQ(at(160, rowTop(2) + 2), kSelectPx);
  EXPECT_EQ(at(320, rowTop(2) + 2), kSelectPx);
  EXPECT_NE(at(30, rowTop(2) + 9), kIconRedPx);
  EXPECT_EQ(at(160, rowTop(1) + 2), kWhitePx);
  // Counts are right-aligned: their ink ends 5 pixels before the column's end.
  EXPECT_TRUE(inkIn(Rect{SInt16(rowTop(1)), 225, SInt16(rowTop(1) + 18), 245}));
  EXPECT_FALSE(inkIn(Rect{SInt16(rowTop(1)), 245, SInt16(rowTop(1) + 18), 250}));
  EXPECT_FALSE(inkIn(Rect{SInt16(rowTop(1)), 172, SInt16(rowTop(1) + 18), 200}));
  // The frame, outside the control.
  EXPECT_EQ(at(19, 100), Px(0, 0, 0));
  EXPECT_EQ(at(100, 19), Px(0, 0, 0));
  EXPECT_EQ(at(420, 100), Px(0, 0, 0));
  // Below the rows: the list's background.
  EXPECT_EQ(at(200, rowTop(6)), kWhitePx);
}

TEST_F(ListDraw, DisabledRowsAndTheirIcons) {
  build();
  // "alpha" sorts last and is disabled: grey text, a lightened icon.
  EXPECT_EQ(text(4, 0), "alpha");
  const int top = rowTop(4);
  const UInt32 icon = px(30, top + 9);
  EXPECT_NE(icon, kIconRedPx);
  UInt8 r, g, b;
  tb::UnpackPixel(icon, r, g, b);
  EXPECT_GT(g, 0x40);  // lighter than the icon's own red
  EXPECT_GT(b, 0x40);
  // no dark ink: the text is grey
  EXPECT_FALSE(inkIn(Rect{SInt16(top), 46, SInt16(top + 18), 160}));
  EXPECT_GT(count(Rect{SInt16(top), 46, SInt16(top + 18), 160}, kWhitePx), 0);
}

TEST_F(ListDraw, RowsShowIconReferences) {
  build();
  // Row 1 (delta) takes the generic folder icon by reference, row 3 the
  // document icon: each drawn at 16 x 16 in the icon's place.
  IconRef folder = nullptr, document = nullptr;
  ASSERT_EQ(GetIconRef(kOnSystemDisk, kSystemIconsCreator, kGenericFolderIcon, &folder), noErr);
  ASSERT_EQ(GetIconRef(kOnSystemDisk, kSystemIconsCreator, kGenericDocumentIcon, &document), noErr);
  CLSetIconHandle(cl_, 1, folder, 16, 16, 0);
  CLSetIconHandle(cl_, 3, document, 16, 16, 0);
  CLUpdate(cl_, nullptr, 1);
  const UInt32 folderFill = Px(0x6C, 0xA8, 0xE0);
  EXPECT_EQ(px(33, rowTop(1) + 10), folderFill);  // the folder's body
  EXPECT_EQ(px(39, rowTop(1) + 2), kWhitePx);     // beside its tab: the row shows through
  EXPECT_EQ(px(30, rowTop(3) + 8), kWhitePx);     // the page between its lines
  EXPECT_EQ(px(28, rowTop(3) + 8), Px(0, 0, 0));  // its left edge
  ReleaseIconRef(folder);
  ReleaseIconRef(document);
}

TEST_F(ListDraw, PressedSortedColumn) {
  build();
  clist::DrawHeader(cl_->parPort, cl_, 1);
  EXPECT_EQ(px(200, 21), kPushedPx);
  EXPECT_EQ(px(240, 28), kMarkPx);
  // the pressed title is drawn in anyColor[4], white
  EXPECT_GT(count(Rect{22, 174, 36, 232}, kWhitePx), 0);
  EXPECT_EQ(count(Rect{22, 174, 36, 232}, Px(0, 0, 0)), 0);
  CLUpdateHeader(cl_);
  EXPECT_EQ(px(200, 21), kSortedPx);
}

TEST_F(ListDraw, ScrolledRightTheHeaderMovesWithTheBody) {
  build();
  CLSetScrollValue(cl_, 30, 0);
  CLUpdate(cl_, nullptr, 1);
  // column 1 now starts at 20 - 30 + 150 = 140
  EXPECT_EQ(px(145, 21), kSortedPx);
  EXPECT_EQ(px(136, 21), kButtonPx);
  // and so do the icons: they are at 5 - 30 from the left, off the body
  EXPECT_NE(px(10, rowTop(0) + 9), kIconRedPx);
  // nothing is drawn left of the control
  EXPECT_NE(px(15, 21), kButtonPx);
}

// One changed cell redrawn alone gives what a redraw of the whole list
// gives, scrolled or not, selected or not, and touches nothing else.
TEST_F(ListDraw, ACellRedrawnAloneMatchesTheWholeList) {
  build();
  auto all = [&] {
    std::vector<UInt32> out;
    for (int v = 0; v < 300; ++v)
      for (int h = 0; h < 400; ++h) out.push_back(px(h, v));
    return out;
  };
  struct Case {
    SInt16 scrollH;
    Cell cell;
    const char* text;
    SInt16 icon;
  };
  for (const Case& c : {Case{0, Cell{1, 1}, "99", 0}, Case{0, Cell{2, 0}, "foxtrot", kIconGreen},
                        Case{30, Cell{3, 2}, "7 KB", 0}, Case{30, Cell{0, 3}, "2/2/2005", 0}}) {
    SCOPED_TRACE(c.text);
    CLSetScrollValue(cl_, c.scrollH, 0);
    CLUpdate(cl_, nullptr, 1);
    const std::vector<UInt32> before = all();
    CLSetCellOne(cl_, c.cell, P(c.text));
    if (c.icon) CLSetCIconData(cl_, c.icon, c.cell.v, 16, 16);
    EXPECT_EQ(all(), before);  // setting draws nothing
    CLUpdateCell(cl_, c.cell);
    const std::vector<UInt32> alone = all();
    EXPECT_NE(alone, before);
    CLUpdate(cl_, nullptr, 1);
    EXPECT_EQ(alone, all());
  }
  // A row scrolled out of view draws nothing.
  for (int r = 5; r < 30; ++r) setRow(r, {"more", "1", "1 KB", "1/1/2004"});
  CLSetScrollValue(cl_, 0, 3);
  SInt16 x = 0, y = 0;
  CLGetScrollValue(cl_, &x, &y);
  ASSERT_EQ(y, 3);
  CLUpdate(cl_, nullptr, 1);
  const std::vector<UInt32> before = all();
  CLSetCellOne(cl_, Cell{0, 0}, P("golf"));
  CLUpdateCell(cl_, Cell{0, 0});
  EXPECT_EQ(all(), before);
}

TEST_F(ListDraw, WithoutHeaderPicturesNoStripIsDrawn) {
  make();
  CLSetHeaderPictID(cl_, -1, kPictSorted, kPictPushed);
  addColumns();
  setRow(0, {"first"});
  CLUpdate(cl_, nullptr, 1);
  EXPECT_NE(px(100, 21), kButtonPx);
  EXPECT_FALSE(inkIn(Rect{20, 20, 38, 400}));
  // the body still starts below the header's place
  EXPECT_TRUE(inkIn(Rect{38, 20, 56, 150}));
}

TEST_F(ListDraw, LongTitlesAndTextsEndInAnEllipsis) {
  make();
  CLAddColumn(cl_, P("A title far too long for its narrow column"), 60, 0);
  CLAddColumn(cl_, P("B"), 60, 0);
  setRow(0, {"a text far too long for its column as well", "b"});
  CLUpdate(cl_, nullptr, 1);
  // neither runs into the next column
  EXPECT_TRUE(inkIn(Rect{22, 24, 36, 76}));
  EXPECT_FALSE(inkIn(Rect{22, 77, 36, 83}));
  EXPECT_TRUE(inkIn(Rect{38, 25, 56, 75}));
  EXPECT_FALSE(inkIn(Rect{38, 75, 56, 84}));
  EXPECT_TRUE(inkIn(Rect{38, 85, 56, 100}));  // "b"
}

TEST_F(ListDraw, CornerAndFrameWithBothBars) {
  make();
  addColumns();
  const RGBColor content{0xE0E0, 0xF0F0, 0xE0E0};
  CLSetFrameColor(cl_, &rgbBlack);
  cl_->anyColor[0] = content;
  for (int r = 0; r < 30; ++r) setRow(r, {"row"});
  CLUpdate(cl_, nullptr, 1);
  ASSERT_TRUE(IsControlVisible(cl_->vScroll));
  ASSERT_TRUE(IsControlVisible(cl_->hScroll));
  EXPECT_EQ(px(412, 212), Px(0xE0, 0xF0, 0xE0));
  EXPECT_EQ(px(419, 219), Px(0xE0, 0xF0, 0xE0));
  EXPECT_EQ(px(19, 100), Px(0, 0, 0));
}

TEST_F(ListDraw, HiddenListsDrawNothing) {
  // What another item (the next page's) draws where a hidden list stands.
  const UInt32 kOtherPx = Px(0x20, 0x90, 0x30);
  const Rect place{19, 19, 222, 422};
  auto paintOver = [&](const Rect& r) {
    tb::PortSaver saver(GetWindowPort(w_));
    const RGBColor green{0x2020, 0x9090, 0x3030};
    RGBForeColor(&green);
    PaintRect(&r);
  };
  auto area = [](const Rect& r) { return (r.bottom - r.top) * (r.right - r.left); };

  // Made hidden, the list never stood anywhere: nothing under it goes.
  paintOver(place);
  const Rect r{20, 20, 220, 420};
  cl_ = CLNew(w_, &r, Point{18, 400}, true, false, false);
  ASSERT_NE(cl_, nullptr);
  EXPECT_EQ(count(place, kOtherPx), area(place));
  CLDispose(cl_);
  cl_ = nullptr;

  build();
  CLShow(cl_, false);
  EXPECT_FALSE(IsControlVisible(cl_->hScroll));
  EXPECT_FALSE(inkIn(place));
  CLUpdate(cl_, nullptr, 1);
  CLUpdateHeader(cl_);
  EXPECT_FALSE(inkIn(place));
  // Hidden again, or moved while hidden, it leaves alone what is drawn in
  // its old place now.
  paintOver(place);
  CLShow(cl_, false);
  EXPECT_EQ(count(place, kOtherPx), area(place));
  Rect to{241, 20, 379, 299};
  CLResize(cl_, &to);
  EXPECT_EQ(count(place, kOtherPx), area(place));
  CLShow(cl_, true);
  EXPECT_TRUE(inkIn(Rect{259, 21, 277, 150}));
  EXPECT_EQ(count(place, kOtherPx), area(place));
}

TEST_F(ListDraw, ListWithoutColumnsDrawsEachRowsText) {
  make();
  CLSetCellOne(cl_, Cell{0, 0}, P("a single text that is wider than the whole control, far wider, "
                                   "much wider than four hundred pixels"));
  CLSetCIconData(cl_, kIconRed, 0, 16, 16);
  CLUpdate(cl_, nullptr, 1);
  EXPECT_EQ(px(30, 20 + 9), kIconRedPx);
  EXPECT_TRUE(inkIn(Rect{20, 46, 38, 100}));
  // no header, and a horizontal bar for the wide text
  EXPECT_GT(GetControlMaximum(cl_->hScroll), 0);
}

// --- Shortening texts ---------------------------------------------------------

// An offscreen port to measure in.
class CutStringTest : public ::testing::Test {
 protected:
  testsupport::Canvas canvas_{400, 50};
};

TEST_F(CutStringTest, FitsOrEndsInDots) {
  Str255 s;
  pstr::set(s, sizeof s, "short");
  EXPECT_EQ(CutString(s, 300), 0);
  EXPECT_EQ(pstr::str(s), "short");
  pstr::set(s, sizeof s, "a rather long text to cut");
  const SInt16 steps = CutString(s, 60);
  EXPECT_GT(steps, 0);
  const std::string cut = pstr::str(s);
  EXPECT_EQ(cut.substr(cut.size() - 3), "...");
  EXPECT_LE(StringWidth(s), 60);
  EXPECT_EQ(cut.size(), std::string("a rather long text to cut").size() - std::size_t(steps) + 3);
  // nothing fits: only the dots are left
  pstr::set(s, sizeof s, "abc");
  CutString(s, 1);
  EXPECT_EQ(pstr::str(s), "...");
  EXPECT_EQ(CutString(nullptr, 10), 0);
}

TEST_F(CutStringTest, FullLengthTextsStayInTheirBuffer) {
  // 255 bytes grow by two with the dots: the result must still fit.
  for (int n : {253, 254, 255}) {
    Str255 s;
    pstr::set(s, sizeof s, std::string(std::size_t(n), 'i'));
    CutString(s, 30000);
    EXPECT_LE(s[0], 255);
    EXPECT_EQ(pstr::str(s), std::string(std::size_t(n), 'i')) << "fits: unchanged";
    pstr::set(s, sizeof s, std::string(std::size_t(n), 'm'));
    const int full = StringWidth(s);
    CutString(s, SInt16(full - 1));
    const std::string cut = pstr::str(s);
    EXPECT_LE(cut.size(), 255u);
    EXPECT_EQ(cut.substr(cut.size() - 3), "...");
    EXPECT_LT(StringWidth(s), full);
  }
}

TEST_F(CutStringTest, MultiByteCharactersGoWhole) {
  Str255 s;
  // "ab" then three two-byte characters (e-acute)
  pstr::set(s, sizeof s, "ab\xC3\xA9\xC3\xA9\xC3\xA9");
  const int w = StringWidth(s);
  CutString(s, SInt16(w - 1));
  const std::string cut = pstr::str(s);
  EXPECT_EQ(cut.substr(cut.size() - 3), "...");
  const std::string body = cut.substr(0, cut.size() - 3);
  // the kept part ends on a character boundary
  EXPECT_EQ(tb::Utf8BoundaryPrefix(reinterpret_cast<const unsigned char*>(body.data()), body.size()), body.size());
  // a single multi-byte character that does not fit cannot be kept
  pstr::set(s, sizeof s, "\xE3\x81\x82");  // a kana
  EXPECT_EQ(CutString(s, 1), -1);
  EXPECT_EQ(pstr::str(s), "\xE3\x81\x82");
}

TEST(ByteTypes, OfUtf8Text) {
  const char* t = "a\xC3\xA9\xE3\x81\x82z\xFF";
  EXPECT_EQ(CCharcterByteType(t, 0), 0);
  EXPECT_EQ(CCharcterByteType(t, 1), -1);
  EXPECT_EQ(CCharcterByteType(t, 2), 1);
  EXPECT_EQ(CCharcterByteType(t, 3), -1);
  EXPECT_EQ(CCharcterByteType(t, 4), 2);
  EXPECT_EQ(CCharcterByteType(t, 5), 1);
  EXPECT_EQ(CCharcterByteType(t, 6), 0);
  EXPECT_EQ(CCharcterByteType(t, 7), 0);  // a stray byte stands alone
  // a lead byte counts as one until a byte shows it has no follower
  EXPECT_EQ(CCharcterByteType("\xC3" "a", 0), -1);
  EXPECT_EQ(CCharcterByteType("\xC3" "a", 1), 0);
  EXPECT_EQ(CCharcterByteType(nullptr, 0), 0);
}

TEST_F(ListDraw, DrawingModeAndPortText) {
  make();
  CSetDrawingMode(cl_->hList, 0);
  EXPECT_TRUE(GetListFlags(cl_->hList) & lDrawingModeOff);
  CSetDrawingMode(cl_->hList, 2);
  EXPECT_FALSE(GetListFlags(cl_->hList) & lDrawingModeOff);
  CSetDrawingMode(cl_->hList, 2);
  EXPECT_TRUE(GetListFlags(cl_->hList) & lDrawingModeOff);
  CSetDrawingMode(cl_->hList, 7);
  EXPECT_TRUE(GetListFlags(cl_->hList) & lDrawingModeOff);
  CSetDrawingMode(cl_->hList, 1);
  EXPECT_FALSE(GetListFlags(cl_->hList) & lDrawingModeOff);
  CSetDrawingMode(nullptr, 0);
  CSetPortTextFont(cl_->orgPort, 22);
  CSetPortTextFace(cl_->orgPort, italic);
  CSetPortTextSize(cl_->orgPort, 14);
  EXPECT_EQ(CGetPortTextFont(cl_->orgPort), 22);
  EXPECT_EQ(CGetPortTextFace(cl_->orgPort), italic);
  EXPECT_EQ(CGetPortTextSize(cl_->orgPort), 14);
  EXPECT_EQ(CGetPortTextSize(nullptr), 0);
  // the window's own port keeps its font
  EXPECT_NE(GetPortTextSize(GetWindowPort(w_)), 14);
}

}  // namespace
}  // namespace cltest

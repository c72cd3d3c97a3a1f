// The list control's record, columns, rows and cells.
#include "clist_fixture.h"

namespace cltest {
namespace {

using ListModel = ListFixture;

CCELL_DATA RawRecord(CLIST_DATA* cl, int row) {
  CCELL_DATA rec{};
  SInt16 len = sizeof rec;
  CLGetCell(cl, &rec, &len, Cell{SInt16(row), 0});
  return len == SInt16(sizeof rec) ? rec : CCELL_DATA{};
}

TEST_F(ListModel, NewListIsEmptyAndAddingColumnsKeepsItSo) {
  ASSERT_NE(make(), nullptr);
  EXPECT_EQ(CLGetCount(cl_), 0);
  ListBounds b;
  GetListDataBounds(cl_->hList, &b);
  EXPECT_EQ(b.bottom, 0);
  EXPECT_EQ(CLAddColumn(cl_, P("One"), 100, kCLSortText), 1);
  EXPECT_EQ(CLGetCount(cl_), 0);
  EXPECT_EQ(CLAddColumn(cl_, P("Two"), 120, kCLSortText), 2);
  EXPECT_EQ(cl_->flag[0], kCLSortText | kCLHeaderShown);
}

TEST_F(ListModel, DataRowsSitOneBelowTheReservedHeaderRow) {
  make();
  addColumns();
  setRow(0, {"a", "1", "1 KB", "1/1/2004"});
  setRow(1, {"b", "2", "2 KB", "1/2/2004"});
  ListBounds b;
  GetListDataBounds(cl_->hList, &b);
  EXPECT_EQ(b.bottom, 3);  // the header's row and two data rows
  CCELL_DATA rec;
  EXPECT_FALSE(clist::GetRecord(cl_, 0, &rec));
  EXPECT_TRUE(clist::GetRecord(cl_, 1, &rec));
  EXPECT_EQ(CLGetCount(cl_), 2);
  EXPECT_EQ(text(0, 0), "a");
  EXPECT_EQ(text(1, 3), "1/2/2004");
  // Without columns there is no reserved row.
  CLDispose(cl_);
  make();
  CLSetCellOne(cl_, Cell{0, 0}, P("plain"));
  GetListDataBounds(cl_->hList, &b);
  EXPECT_EQ(b.bottom, 1);
  EXPECT_EQ(text(0, 0), "plain");
}

TEST_F(ListModel, SettingALaterColumnOfANewRowMakesTheEarlierOnesEmpty) {
  make();
  CLAddColumn(cl_, P("A"), 80, 0);
  CLAddColumn(cl_, P("B"), 80, 0);
  CLAddColumn(cl_, P("C"), 80, 0);
  CLSetCellOne(cl_, Cell{0, 2}, P("third"));
  EXPECT_EQ(CLGetCount(cl_), 1);
  EXPECT_EQ(text(0, 0), "");
  EXPECT_EQ(text(0, 1), "");
  EXPECT_EQ(text(0, 2), "third");
  // a column that does not exist is ignored
  CLSetCellOne(cl_, Cell{0, 3}, P("x"));
  CLSetCellOne(cl_, Cell{-1, 0}, P("x"));
  EXPECT_EQ(CLGetCount(cl_), 1);
}

TEST_F(ListModel, SparseRowsCountButHoldNoRecord) {
  make();
  addColumns();
  CLSetCellOne(cl_, Cell{5, 0}, P("sixth"));
  EXPECT_EQ(CLGetCount(cl_), 6);
  Str255 s;
  for (int r = 0; r < 5; ++r) {
    SInt16 len = sizeof s;
    EXPECT_EQ(CLGetCellOne(cl_, s, &len, Cell{SInt16(r), 0}), -3) << r;
  }
  EXPECT_EQ(text(5, 0), "sixth");
  // a sparse row gets its record when set later
  CLSetCellOne(cl_, Cell{2, 1}, P("7"));
  EXPECT_EQ(text(2, 1), "7");
  EXPECT_EQ(text(2, 0), "");
  EXPECT_EQ(clist::RecordCount(cl_), 2);
  // drawing skips the rows without a record
  CLUpdate(cl_, nullptr, 1);
}

TEST_F(ListModel, RowLimitIs910Records) {
  make();
  CLAddColumn(cl_, P("N"), 100, kCLSortInteger);
  for (int r = 0; r < 910; ++r) CLSetCellOne(cl_, Cell{SInt16(r), 0}, P(std::to_string(r)));
  EXPECT_EQ(CLGetCount(cl_), 910);
  CLSetCellOne(cl_, Cell{910, 0}, P("over"));
  EXPECT_EQ(CLGetCount(cl_), 910);
  // nor does a later column make the 911th row (the refused row ends the
  // call, whichever column asked), nor a far row
  CLAddColumn(cl_, P("M"), 100, 0);
  CLAddColumn(cl_, P("L"), 100, 0);
  CLSetCellOne(cl_, Cell{910, 1}, P("over"));
  CLSetCellOne(cl_, Cell{910, 2}, P("over"));
  CLSetCellOne(cl_, Cell{2000, 0}, P("far"));
  EXPECT_EQ(CLGetCount(cl_), 910);
  // replacing texts of existing rows still works
  CLSetCellOne(cl_, Cell{909, 1}, P("last"));
  EXPECT_EQ(text(909, 1), "last");
  // once a row is gone there is room for one again
  CLDelRow(cl_, 1, 0);
  CLSetCellOne(cl_, Cell{909, 0}, P("again"));
  EXPECT_EQ(CLGetCount(cl_), 910);
  EXPECT_EQ(text(909, 0), "again");
}

TEST_F(ListModel, RecordsOfSparseRowsAreLimitedToo) {
  make();
  CLAddColumn(cl_, P("N"), 100, 0);
  // 909 records spread over 1818 rows, then one more record makes 910
  for (int r = 0; r < 1818; r += 2) CLSetCellOne(cl_, Cell{SInt16(r), 0}, P("x"));
  EXPECT_EQ(clist::RecordCount(cl_), 909);
  CLSetCellOne(cl_, Cell{1, 0}, P("fills"));
  EXPECT_EQ(clist::RecordCount(cl_), 910);
  CLSetCellOne(cl_, Cell{3, 0}, P("refused"));
  EXPECT_EQ(clist::RecordCount(cl_), 910);
  EXPECT_EQ(text(3, 0), "<none>");
}

TEST_F(ListModel, ReplacingATextKeepsTheOthersAndResetsThatCellsLook) {
  make();
  CLAddColumn(cl_, P("A"), 80, 0);
  CLAddColumn(cl_, P("B"), 80, 0);
  CLAddColumn(cl_, P("C"), 80, 0);
  setRow(0, {"zero", "one", "two"});
  CCELL_DATA rec = RawRecord(cl_, 0);
  ASSERT_NE(rec.font, nullptr);
  const FONT_SET odd{22, bold, 24};
  const RGBColor red{0xFFFF, 0, 0};
  for (int c = 0; c < 3; ++c) {
    rec.font[c] = odd;
    rec.color[c].rgbStrNormal = red;
  }
  CLSetCellOne(cl_, Cell{0, 1}, P("ONE, longer"));
  EXPECT_EQ(text(0, 0), "zero");
  EXPECT_EQ(text(0, 1), "ONE, longer");
  EXPECT_EQ(text(0, 2), "two");
  rec = RawRecord(cl_, 0);
  EXPECT_EQ(rec.font[1].txFont, cl_->defFont.txFont);
  EXPECT_EQ(rec.font[1].txSize, cl_->defFont.txSize);
  EXPECT_EQ(rec.color[1].rgbStrNormal.red, 0);
  EXPECT_EQ(rec.font[0].txSize, 24);
  EXPECT_EQ(rec.color[2].rgbStrNormal.red, 0xFFFF);
}

TEST_F(ListModel, ColumnsAddedAfterRowsWidenEveryRow) {
  make();
  CLAddColumn(cl_, P("A"), 80, 0);
  setRow(0, {"a0"});
  setRow(1, {"a1"});
  CLAddColumn(cl_, P("B"), 90, kCLSortInteger);
  EXPECT_EQ(text(0, 0), "a0");
  EXPECT_EQ(text(1, 1), "");
  CCELL_DATA rec = RawRecord(cl_, 1);
  EXPECT_EQ(rec.flag[1], 0);
  EXPECT_EQ(rec.font[1].txSize, cl_->defFont.txSize);
  CLSetCellOne(cl_, Cell{1, 1}, P("b1"));
  EXPECT_EQ(text(1, 1), "b1");
  EXPECT_EQ(text(1, 0), "a1");
}

TEST_F(ListModel, RowsMadeBeforeTheFirstColumnKeepTheirNumbers) {
  make();
  CLSetCellOne(cl_, Cell{0, 0}, P("first"));
  CLSetCellOne(cl_, Cell{1, 0}, P("second"));
  CLAddColumn(cl_, P("A"), 100, 0);
  EXPECT_EQ(CLGetCount(cl_), 2);
  EXPECT_EQ(text(0, 0), "first");
  EXPECT_EQ(text(1, 0), "second");
}

TEST_F(ListModel, GetCellOneAddsANulAndStaysInsideTheBuffer) {
  make();
  CLAddColumn(cl_, P("A"), 80, 0);
  setRow(0, {"seven77"});
  unsigned char buf[16];
  std::memset(buf, 0xEE, sizeof buf);
  SInt16 len = sizeof buf;
  ASSERT_EQ(CLGetCellOne(cl_, buf, &len, Cell{0, 0}), 0);
  EXPECT_EQ(len, 8);
  EXPECT_EQ(buf[0], 7);
  EXPECT_EQ(buf[8], 0);
  EXPECT_EQ(buf[9], 0xEE);
  // the room given bounds the copy: 5 bytes hold 3 characters and the NUL
  std::memset(buf, 0xEE, sizeof buf);
  len = 5;
  ASSERT_EQ(CLGetCellOne(cl_, buf, &len, Cell{0, 0}), 0);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf + 1), buf[0]), "sev");
  EXPECT_EQ(buf[4], 0);
  EXPECT_EQ(buf[5], 0xEE);
  // never inside a character
  setRow(1, {"a\xC3\xA9z"});  // a, e-acute, z
  len = 4;
  ASSERT_EQ(CLGetCellOne(cl_, buf, &len, Cell{1, 0}), 0);
  EXPECT_EQ(buf[0], 1);
  // a full 255-byte text needs 257 bytes: a Str255 gets 254 of them
  setRow(2, {std::string(255, 'x')});
  Str255 s;
  len = sizeof s;
  ASSERT_EQ(CLGetCellOne(cl_, s, &len, Cell{2, 0}), 0);
  EXPECT_EQ(s[0], 254);
  EXPECT_EQ(len, 255);
  // what cannot be answered
  len = 1;
  EXPECT_EQ(CLGetCellOne(cl_, buf, &len, Cell{0, 0}), -4);
  len = sizeof buf;
  EXPECT_EQ(CLGetCellOne(cl_, buf, &len, Cell{9, 0}), -3);
  EXPECT_EQ(CLGetCellOne(cl_, buf, &len, Cell{0, 3}), -2);
  EXPECT_EQ(CLGetCellOne(nullptr, buf, &len, Cell{0, 0}), -1);
}

TEST_F(ListModel, DeletingRows) {
  make();
  addColumns();
  for (int r = 0; r < 10; ++r) setRow(r, {"r" + std::to_string(r)});
  clist::SetLastClick(cl_, Cell{8, 0});
  CLDelRow(cl_, 2, 3);  // rows 3 and 4
  EXPECT_EQ(CLGetCount(cl_), 8);
  EXPECT_EQ(text(3, 0), "r5");
  EXPECT_EQ(text(2, 0), "r2");
  // more than there are: up to the end
  CLDelRow(cl_, 50, 5);
  EXPECT_EQ(CLGetCount(cl_), 5);
  // the last click pointed past the end: it moves to the last row
  EXPECT_EQ(LLastClick(cl_->hList).v - 1, 4);
  // nothing for negative counts or rows, or rows past the end
  CLDelRow(cl_, -1, 0);
  CLDelRow(cl_, 1, -1);
  CLDelRow(cl_, 1, 20);
  EXPECT_EQ(CLGetCount(cl_), 5);
  // all of them
  CLDelRow(cl_, 0, 0);
  EXPECT_EQ(CLGetCount(cl_), 0);
  const Cell last = LLastClick(cl_->hList);
  EXPECT_EQ(last.v, 0);
  EXPECT_EQ(last.h, 0);
  // and the list fills again from row 0
  setRow(0, {"again"});
  EXPECT_EQ(CLGetCount(cl_), 1);
  EXPECT_EQ(text(0, 0), "again");
}

TEST_F(ListModel, DeletingOverSparseRowsReleasesEveryRecord) {
  // The leak checker fails this test when a record behind a row without
  // one is not released.
  make();
  addColumns();
  CLSetCellOne(cl_, Cell{0, 0}, P("a"));
  CLSetCellOne(cl_, Cell{4, 0}, P("e"));
  CLSetCellOne(cl_, Cell{5, 0}, P("f"));
  CLDelRow(cl_, 6, 0);
  EXPECT_EQ(CLGetCount(cl_), 0);
  EXPECT_EQ(clist::RecordCount(cl_), 0);
}

TEST_F(ListModel, ReferencesAndIconsBelongToTheRow) {
  make();
  addColumns();
  setRow(0, {"a"});
  setRow(1, {"b"});
  int payload = 0;
  const long ref = reinterpret_cast<long>(&payload);
  CLSetReference(cl_, 1, ref);
  EXPECT_EQ(CLGetReference(cl_, Cell{1, 2}), ref);  // any column of the row
  EXPECT_EQ(CLGetReference(cl_, 0), 0);
  EXPECT_EQ(CLGetReference(cl_, 7), 0);
  CLSetReference(cl_, 7, 1);  // no such row: nothing
  CLSetCIconData(cl_, kIconRed, 0, 16, 16);
  EXPECT_EQ(CLGetIconID(cl_, 0), kIconRed);
  EXPECT_EQ(RawRecord(cl_, 0).icon.type, kCLIconResource);
  EXPECT_EQ(CLGetIconID(cl_, 1), 0);
  EXPECT_EQ(CLGetIconID(cl_, 5), -3);
  EXPECT_EQ(CLGetIconID(nullptr, 0), -1);
  IconRef icon = nullptr;
  ASSERT_EQ(GetIconRef(kOnSystemDisk, kSystemIconsCreator, kGenericDocumentIcon, &icon), noErr);
  CLSetIconHandle(cl_, 1, icon, 16, 16, kTransformSelected);
  EXPECT_EQ(RawRecord(cl_, 1).icon.hdl, icon);
  EXPECT_EQ(RawRecord(cl_, 1).icon.type, kCLIconHandle);
  CLUpdate(cl_, nullptr, 1);
  ReleaseIconRef(icon);
}

TEST_F(ListModel, FontGoesToEveryCellAndToNewOnes) {
  make();
  CLAddColumn(cl_, P("A"), 80, 0);
  CLAddColumn(cl_, P("B"), 80, 0);
  setRow(0, {"a", "b"});
  const SInt16 size = 18;
  const Style face = bold;
  CLSetFont(cl_, nullptr, &face, &size);
  CCELL_DATA rec = RawRecord(cl_, 0);
  EXPECT_EQ(rec.font[1].txSize, 18);
  EXPECT_EQ(rec.font[0].txFace, bold);
  EXPECT_EQ(cl_->defFont.txSize, 18);
  setRow(1, {"c"});
  EXPECT_EQ(RawRecord(cl_, 1).font[1].txSize, 18);
}

TEST_F(ListModel, ResultCodes) {
  EXPECT_EQ(CLAddColumn(nullptr, P("A"), 80, 0), -1);
  EXPECT_EQ(CLGetCount(nullptr), -1);
  EXPECT_EQ(CLGetCellHeight(nullptr), -1);
  EXPECT_EQ(CLGetColumnWidth(nullptr, 0), -1);
  EXPECT_EQ(CLGetSelectCount(nullptr), -1);
  EXPECT_EQ(CLGetVisibleCount(nullptr), -1);
  CLIST_DATA bare{};
  EXPECT_EQ(CLGetCount(&bare), -2);
  EXPECT_EQ(CLAddColumn(&bare, P("A"), 80, 0), -2);
  EXPECT_EQ(CLGetCellHeight(&bare), -2);
  make();
  EXPECT_EQ(CLGetCellHeight(cl_), 18);
  EXPECT_EQ(CLGetColumnWidth(cl_, 0), -2);  // no columns yet
  CLAddColumn(cl_, P("hidden"), 80, kCLNoHeader);
  EXPECT_EQ(CLGetColumnWidth(cl_, 0), -2);  // no header shown
  CLDispose(cl_);
  make();
  CLAddColumn(cl_, P("A"), 80, 0);
  EXPECT_EQ(CLGetColumnWidth(cl_, 0), 80);
  EXPECT_EQ(CLGetColumnWidth(cl_, 1), -4);
  EXPECT_EQ(CLGetColumnWidth(cl_, -1), -4);
  // the calls without a result take no record quietly
  CLSetCellOne(nullptr, Cell{0, 0}, P("x"));
  CLDelRow(nullptr, 0, 0);
  CLUpdate(nullptr, nullptr, 1);
  CLSort(nullptr, 0, 0);
  CLDispose(nullptr);
}

TEST_F(ListModel, CreationNeedsAWindowAndLeavesRoomForTheBarsThatShow) {
  Rect r{0, 0, 100, 100};
  EXPECT_EQ(CLNew(nullptr, &r, Point{16, 100}, false, true, false), nullptr);
  EXPECT_EQ(CLNew(w_, nullptr, Point{16, 100}, false, true, false), nullptr);
  make(false, false);
  EXPECT_FALSE(GetListActive(cl_->hList));
  EXPECT_EQ(clist::OwnerOf(cl_->vScroll), cl_);
  EXPECT_EQ(clist::OwnerOf(cl_->hScroll), cl_);
  // The view leaves room only for the bars that show: none while empty.
  Rect view;
  GetListViewBounds(cl_->hList, &view);
  EXPECT_FALSE(IsControlVisible(cl_->vScroll) || IsControlVisible(cl_->hScroll));
  EXPECT_TRUE(view.right == 420 && view.bottom == 220);
}

}  // namespace
}  // namespace cltest

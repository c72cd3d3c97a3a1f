// Sorting by each column kind, the payload travelling with its row, and
// search.
#include <algorithm>
#include <random>

#include "clist_fixture.h"
#include "toolbox/datetime.h"

namespace cltest {
namespace {

using ListSort = ListFixture;

double Size(const std::string& s) {
  double d = -1;
  clist::FileSizeStrToDouble(P(s), &d);
  return d;
}

TEST(FileSizeText, UnitsAndNumbers) {
  const struct {
    const char* text;
    double bytes;
  } cases[] = {
      {"1.5 GB", 1610612736.0},  // a gigabyte is 2^30 bytes
      {"1 GB", 1073741824.0},
      {"900 MB", 943718400.0},
      {"3 KB free", 3072.0},
      {"12 Byte", 12.0},
      {"12.7 Byte", 12.0},  // bytes are whole
      {"2048", 0.0},        // no unit, no size
      {"", 0.0},
      {"KB", 0.0},          // a unit without a number
      {"1e9 KB", 1024.0},   // no exponents
      {"inf MB", 0.0},
      {" 2.25 MB", 2359296.0},
      {"5 KB 1 GB", 5.0 * 1073741824.0},  // the first unit looked for decides
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(Size(c.text), c.bytes) << c.text;
  // one gigabyte is less than three thousand megabytes
  EXPECT_LT(Size("1 GB"), Size("3000 MB"));
  double d = 5;
  clist::FileSizeStrToDouble(nullptr, &d);
  EXPECT_EQ(d, 0);
}

TEST_F(ListSort, CompareByKind) {
  make();
  addColumns();
  auto cmp = [&](int col, const std::string& a, const std::string& b) {
    cl_->part = SInt16(col);
    const int r = clist::PStrCmp(cl_, P(a), P(b), true);
    cl_->part = -1;
    return r;
  };
  EXPECT_LT(cmp(1, "9", "10"), 0);
  EXPECT_GT(cmp(0, "9", "10"), 0);
  EXPECT_LT(cmp(1, "  -5 apples", "+3"), 0);
  EXPECT_EQ(cmp(1, "99999999999999999999999", "99999999999999999999998"), 0);  // both saturate
  EXPECT_GT(cmp(2, "1.5 GB", "900 MB"), 0);
  EXPECT_EQ(cmp(2, "1024 KB", "1 MB"), 0);
  EXPECT_EQ(cmp(3, "4/5/2004 10:15:01", "4/5/2004 10:15:59"), 0);  // seconds do not count
  EXPECT_LT(cmp(3, "4/5/2004 10:15", "4/5/2004 10:16"), 0);
  EXPECT_LT(cmp(3, "12/31/2003 23:59", "1/1/2004 0:00"), 0);
  EXPECT_LT(cmp(3, "4/5/2004 11:00 AM", "4/5/2004 1:00 PM"), 0);
  EXPECT_LT(cmp(3, "4/5/2004 12:30 AM", "4/5/2004 1:00 AM"), 0);
  EXPECT_EQ(cmp(3, "2004/4/5 9:00", "4/5/2004, 9:00"), 0);
  EXPECT_EQ(cmp(3, "4/5/04 9:00", "4/5/2004 9:00"), 0);
  EXPECT_LT(cmp(3, "not a date", "1/1/1904"), 0);  // unreadable: the earliest
  EXPECT_EQ(cmp(3, "junk", "more junk"), 0);
  // text: bytes, unsigned, a prefix first; the case counts here
  EXPECT_LT(cmp(0, "abc", "abd"), 0);
  EXPECT_LT(cmp(0, "ab", "abc"), 0);
  EXPECT_LT(cmp(0, "Zebra", "apple"), 0);
  EXPECT_GT(cmp(0, "\xC3\xA9", "z"), 0);
  cl_->part = 0;
  EXPECT_LT(clist::PStrCmp(cl_, P("B"), P("a"), true), 0);
}

TEST_F(ListSort, WithoutCaseTextsCompareInCapitals) {
  make();
  CLAddColumn(cl_, P("Name"), 150, kCLSortText);
  cl_->part = 0;
  EXPECT_EQ(clist::PStrCmp(cl_, P("apple"), P("APPLE"), false), 0);
  EXPECT_GT(clist::PStrCmp(cl_, P("b"), P("A"), false), 0);
  EXPECT_LT(clist::PStrCmp(cl_, P("B"), P("a"), true), 0);  // exact case asked for
  // an empty text sorts first, from either side
  EXPECT_LT(clist::PStrCmp(cl_, P(""), P("a"), false), 0);
  EXPECT_GT(clist::PStrCmp(cl_, P("a"), P(""), false), 0);
  EXPECT_EQ(clist::PStrCmp(cl_, P(""), P(""), false), 0);
  cl_->part = -1;
  setRow(0, {"beta"});
  setRow(1, {""});
  setRow(2, {"Alpha"});
  setRow(3, {""});
  CLSetSortCase(cl_, false);
  CLSort(cl_, 0, 0);
  EXPECT_EQ(column(0), (std::vector<std::string>{"", "", "Alpha", "beta"}));
  Cell found{9, 9};
  EXPECT_TRUE(CLSearch(cl_, &found, P("ALPHA"), false));
  EXPECT_EQ(found.v, 2);
  EXPECT_FALSE(CLSearch(cl_, &found, P("ALPHA"), true));
}

// Five rows whose every column sorts differently; each row carries its
// payload: reference, icon, a font, a colour and (row "c") the selection.
void Fill(ListFixture& f, CLIST_DATA* cl) {
  const std::vector<std::vector<std::string>> rows = {
      {"c", "10", "900 MB", "4/5/2004 10:00"},
      {"a", "9", "1.5 GB", "1/1/2003 8:00"},
      {"e", "-2", "12 Byte", "12/24/2004 18:30"},
      {"b", "100", "3 KB", "4/5/2004 9:59"},
      {"d", "0", "1 MB", "4/5/2004 10:00 PM"},
  };
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < 4; ++c) CLSetCellOne(cl, Cell{SInt16(r), SInt16(c)}, P(rows[r][c]));
    CLSetReference(cl, SInt16(r), long(rows[r][0][0]));
    CLSetCIconData(cl, SInt16(kIconRed + (rows[r][0][0] % 2)), SInt16(r), 16, 16);
    CCELL_DATA rec{};
    SInt16 len = sizeof rec;
    CLGetCell(cl, &rec, &len, Cell{SInt16(r), 0});
    rec.font[0].txSize = SInt16(10 + rows[r][0][0] - 'a');
    rec.color[0].rgbStrNormal.green = UInt16(rows[r][0][0]);
  }
  CLSetSelect(cl, Cell{0, 0}, true, false);  // "c"
  (void)f;
}

void ExpectPayloadFollows(ListFixture& f, CLIST_DATA* cl, const std::vector<std::string>& names) {
  ASSERT_EQ(CLGetCount(cl), SInt16(names.size()));
  for (int r = 0; r < CLGetCount(cl); ++r) {
    CCELL_DATA rec{};
    SInt16 len = sizeof rec;
    CLGetCell(cl, &rec, &len, Cell{SInt16(r), 0});
    const char name = names[std::size_t(r)][0];
    EXPECT_EQ(CLGetReference(cl, SInt16(r)), long(name)) << r;
    EXPECT_EQ(CLGetIconID(cl, SInt16(r)), kIconRed + name % 2) << r;
    EXPECT_EQ(rec.font[0].txSize, 10 + name - 'a') << r;
    EXPECT_EQ(rec.color[0].rgbStrNormal.green, UInt16(name)) << r;
    Cell c{SInt16(r), 0};
    EXPECT_EQ(bool(CLGetSelect(cl, &c, false)), name == 'c') << r;
  }
  (void)f;
}

TEST_F(ListSort, EachKindSortsWithItsPayload) {
  make();
  addColumns();
  Fill(*this, cl_);
  struct Case {
    int column;
    std::vector<std::string> ascending;
  };
  const Case cases[] = {
      {0, {"a", "b", "c", "d", "e"}},
      {1, {"e", "d", "a", "c", "b"}},  // -2, 0, 9, 10, 100
      {2, {"e", "b", "d", "c", "a"}},  // 12 Byte, 3 KB, 1 MB, 900 MB, 1.5 GB
      {3, {"a", "b", "c", "d", "e"}},  // by date and time
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    CLSetSortState(cl_, 0);
    CLSort(cl_, SInt16(c.column), 0);
    EXPECT_EQ(column(0), c.ascending);
    ExpectPayloadFollows(*this, cl_, c.ascending);
    SInt16 status = -1;
    EXPECT_EQ(CLGetSortColumn(cl_, &status), c.column);
    EXPECT_EQ(status, 0);
    // change 1 reverses; change 0 keeps the direction
    CLSort(cl_, SInt16(c.column), 1);
    std::vector<std::string> descending(c.ascending.rbegin(), c.ascending.rend());
    EXPECT_EQ(column(0), descending);
    ExpectPayloadFollows(*this, cl_, descending);
    CLSort(cl_, SInt16(c.column), 0);
    EXPECT_EQ(column(0), descending);
    CLGetSortColumn(cl_, &status);
    EXPECT_EQ(status, 1);
  }
  EXPECT_EQ(cl_->part, -1);
}

// The toolbox's short date and time texts, as the program lists show them,
// are read back by the date column and sort in time order both ways.
TEST_F(ListSort, ToolboxDateTextsSortInTimeOrder) {
  make();
  addColumns();
  const DateTimeRec times[] = {
      {1999, 12, 31, 23, 59, 0, 0}, {2000, 1, 1, 0, 0, 0, 0},   {2024, 2, 29, 9, 5, 0, 0},
      {2024, 2, 29, 10, 0, 0, 0},   {2024, 10, 1, 8, 0, 0, 0},  {2026, 12, 9, 23, 1, 0, 0},
  };
  const std::size_t order[] = {3, 5, 0, 4, 1, 2};  // the rows as added
  for (std::size_t r = 0; r < std::size(order); ++r) {
    UInt32 secs;
    DateToSeconds(&times[order[r]], &secs);
    setRow(int(r), {std::to_string(order[r]), "0", "0 Byte", tb::ShortDateTimeText(secs)});
  }
  EXPECT_EQ(column(3)[0], "2024/02/29, 10:00");
  CLSetSortState(cl_, 0);
  CLSort(cl_, 3, 0);
  EXPECT_EQ(column(0), (std::vector<std::string>{"0", "1", "2", "3", "4", "5"}));
  CLSort(cl_, 3, 1);
  EXPECT_EQ(column(0), (std::vector<std::string>{"5", "4", "3", "2", "1", "0"}));
}

TEST_F(ListSort, SmallListsAndBadColumnsAreLeftAlone) {
  make();
  addColumns();
  CLSort(cl_, 0, 0);
  EXPECT_EQ(CLGetCount(cl_), 0);
  setRow(0, {"only"});
  CLSort(cl_, 0, 1);
  EXPECT_EQ(column(0), std::vector<std::string>{"only"});
  setRow(1, {"a"});
  CLSort(cl_, 4, 0);
  CLSort(cl_, -1, 0);
  EXPECT_EQ(column(0), (std::vector<std::string>{"only", "a"}));
  CLSetSortColumn(cl_, 9);
  EXPECT_EQ(CLGetSortColumn(cl_, nullptr), 0);
  CLSetSortColumn(cl_, 2);
  EXPECT_EQ(CLGetSortColumn(cl_, nullptr), 2);
  EXPECT_EQ(CLGetSortColumn(nullptr, nullptr), -1);
}

TEST_F(ListSort, ThePartitionSortsAnyInput) {
  make();
  CLAddColumn(cl_, P("N"), 100, kCLSortInteger);
  CLShow(cl_, false);  // nothing to see: the order is what counts
  std::mt19937 rng(7);
  for (int n = 0; n <= 60; ++n) {
    for (int round = 0; round < 4; ++round) {
      CLDelRow(cl_, 0, 0);
      std::vector<int> values;
      const int spread = round == 0 ? 3 : round == 1 ? n + 1 : 1000;  // many equal values, or few
      for (int i = 0; i < n; ++i) values.push_back(int(rng() % unsigned(spread)));
      for (int i = 0; i < n; ++i) CLSetCellOne(cl_, Cell{SInt16(i), 0}, P(std::to_string(values[std::size_t(i)])));
      for (int dir = 0; dir < 2; ++dir) {
        CLSetSortState(cl_, SInt16(dir));
        CLSort(cl_, 0, 0);
        std::vector<int> got;
        for (const std::string& s : column(0)) got.push_back(std::stoi(s));
        std::vector<int> want = values;
        std::sort(want.begin(), want.end());
        if (dir == 1) std::reverse(want.begin(), want.end());
        ASSERT_EQ(got, want) << "n=" << n << " round=" << round << " dir=" << dir;
      }
    }
  }
}

TEST_F(ListSort, SearchFindsTheFirstEqualCell) {
  make();
  addColumns();
  for (int r = 0; r < 6; ++r) setRow(r, {"n" + std::to_string(r), std::to_string(r), "", ""});
  CLSetCellOne(cl_, Cell{4, 2}, P("needle"));
  CLSetCellOne(cl_, Cell{5, 0}, P("needle"));
  Cell cell{0, 0};
  ASSERT_TRUE(CLSearch(cl_, &cell, P("needle"), true));
  EXPECT_EQ(cell.h, 2);
  EXPECT_EQ(cell.v, 4);
  // compares as text whatever the column's kind: "04" is not "4"
  cell = Cell{7, 7};
  EXPECT_FALSE(CLSearch(cl_, &cell, P("04"), true));
  EXPECT_EQ(cell.v, 7);
  EXPECT_EQ(cell.h, 7);
  EXPECT_TRUE(CLSearch(cl_, &cell, P("4"), true));
  EXPECT_EQ(cell.h, 1);
  // case matters when asked to
  EXPECT_FALSE(CLSearch(cl_, &cell, P("NEEDLE"), true));
  // rows without a record do not end the search
  CLSetCellOne(cl_, Cell{9, 0}, P("far"));
  EXPECT_TRUE(CLSearch(cl_, &cell, P("far"), true));
  EXPECT_EQ(cell.v, 9);
  EXPECT_FALSE(CLSearch(cl_, nullptr, P("far"), true));
}

TEST_F(ListSort, ListWithoutColumnsSortsAndSearchesItsOneText) {
  make();
  for (const char* s : {"pear", "apple", "fig"}) CLSetCellOne(cl_, Cell{SInt16(CLGetCount(cl_)), 0}, P(s));
  CLSort(cl_, 0, 0);
  EXPECT_EQ(column(0), (std::vector<std::string>{"apple", "fig", "pear"}));
  Cell c{0, 0};
  EXPECT_TRUE(CLSearch(cl_, &c, P("pear"), true));
  EXPECT_EQ(c.v, 2);
  EXPECT_EQ(c.h, 0);
}

}  // namespace
}  // namespace cltest

// Sorting the list control's rows by a column, and finding a row by its
// text, comparing cells as text, integers, file sizes or dates.
#include <cctype>
#include <cmath>
#include <cstring>
#include <string_view>

#include "FanctionLib/CListPriv.h"
#include "toolbox/events.h"

using namespace clist;

namespace {

// A cell's text as a string view (empty for a missing text).
std::string_view View(const UInt8* p) {
  return p ? std::string_view(reinterpret_cast<const char*>(p + 1), p[0]) : std::string_view();
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The leading decimal integer (blanks and a sign allowed), saturated to
// the 64-bit range.
SInt64 LeadingInteger(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  SInt64 v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (v > (INT64_MAX - 9) / 10) {
      v = INT64_MAX;
      break;
    }
    v = v * 10 + (s[i] - '0');
  }
  return negative ? -v : v;
}

// The leading decimal number with an optional fraction ("1.5"); nothing
// else (no exponents, no words) is read as a number.
double LeadingDecimal(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  double v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) v = v * 10 + (s[i] - '0');
  if (i < s.size() && s[i] == '.') {
    double scale = 0.1;
    for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, scale /= 10) v += (s[i] - '0') * scale;
  }
  return negative ? -v : v;
}

// A date and time as the list compares them. Fields a text does not give
// stay 0, so an unreadable date sorts as the earliest.
struct LongDate {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Reads digits at pos (at most maxDigits); false when there is none.
bool ReadNumber(std::string_view s, std::size_t& pos, int& value, int& digits, int maxDigits = 4) {
  value = 0;
  digits = 0;
  while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && digits < maxDigits) {
    value = value * 10 + (s[pos] - '0');
    ++pos;
    ++digits;
  }
  return digits > 0;
}

// The system's short date: month/day/year, or year/month/day when the first
// number has four digits; "/", "-" or "." between the numbers. Returns
// where the date ended, or 0 when the text does not start with one.
std::size_t ParseDate(std::string_view s, LongDate& d) {
  std::size_t pos = 0;
  while (pos < s.size() && IsBlank(s[pos])) ++pos;
  int n[3], digits[3];
  char sep = 0;
  for (int k = 0; k < 3; ++k) {
    if (!ReadNumber(s, pos, n[k], digits[k])) return 0;
    if (k < 2) {
      if (pos >= s.size() || (s[pos] != '/' && s[pos] != '-' && s[pos] != '.')) return 0;
      if (k == 0) sep = s[pos];
      if (s[pos] != sep) return 0;
      ++pos;
    }
  }
  if (digits[0] == 4) {
    d.year = n[0];
    d.month = n[1];
    d.day = n[2];
  } else {
    d.month = n[0];
    d.day = n[1];
    d.year = n[2];
    if (digits[2] <= 2) d.year += d.year < 40 ? 2000 : 1900;
  }
  return pos;
}

// The system's short time: hours:minutes[:seconds], with AM or PM.
void ParseTime(std::string_view s, std::size_t pos, LongDate& d) {
  while (pos < s.size() && (IsBlank(s[pos]) || s[pos] == ',')) ++pos;
  int h, m = 0, sec = 0, digits;
  if (!ReadNumber(s, pos, h, digits, 2)) return;
  if (pos < s.size() && s[pos] == ':') {
    ++pos;
    ReadNumber(s, pos, m, digits, 2);
    if (pos < s.size() && s[pos] == ':') {
      ++pos;
      ReadNumber(s, pos, sec, digits, 2);
    }
  }
  while (pos < s.size() && IsBlank(s[pos])) ++pos;
  if (pos + 1 < s.size() && (s[pos + 1] == 'M' || s[pos + 1] == 'm')) {
    const char c = char(std::toupper(static_cast<unsigned char>(s[pos])));
    if (c == 'P' && h < 12) h += 12;
    if (c == 'A' && h == 12) h = 0;
  }
  d.hour = h;
  d.minute = m;
  d.second = sec;
}

LongDate ReadDateTime(std::string_view s) {
  LongDate d;
  ParseTime(s, ParseDate(s, d), d);
  return d;
}

int Sign(double a, double b) { return b > a ? -1 : a > b ? 1 : 0; }

int CompareText(std::string_view a, std::string_view b, bool fold) {
  if (fold) {
    // An empty text sorts before every other one.
    if (a.empty() || b.empty()) return a.empty() && b.empty() ? 0 : a.empty() ? -1 : 1;
  }
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    UInt8 x = UInt8(a[i]), y = UInt8(b[i]);
    if (fold) {
      x = UInt8(std::toupper(x));
      y = UInt8(std::toupper(y));
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// The text of column col in a platform row, copied; false when the row has
// no record.
bool RowText(const CLIST_DATA* cl, int row, int col, Str255 out) {
  CCELL_DATA rec;
  if (!GetRecord(cl, row, &rec)) return false;
  const UInt8* t = CellText(rec, col);
  if (!t) return false;
  std::memcpy(out, t, std::size_t(t[0]) + 1);
  return true;
}

}  // namespace

void clist::FileSizeStrToDouble(ConstStr255Param str, double* size) {
  if (!size) return;
  *size = 0;
  const std::string_view s = View(str);
  // The unit words in the order they are looked for; a gigabyte is 2^30
  // bytes, like the others.
  struct Unit {
    std::string_view word;
    double bytes;
  };
  static constexpr Unit kUnits[] = {{" GB", 1073741824.0}, {" MB", 1048576.0}, {" KB", 1024.0}};
  for (const Unit& u : kUnits)
    if (s.find(u.word) != std::string_view::npos) {
      *size = LeadingDecimal(s) * u.bytes;
      return;
    }
  if (s.find(" Byte") != std::string_view::npos) *size = double(LeadingInteger(s));
}

SInt16 clist::PStrCmp(CLIST_DATA* clData, ConstStr255Param p1, ConstStr255Param p2, Boolean bCase) {
  const std::string_view a = View(p1), b = View(p2);
  int kind = 0;
  if (clData && HeaderShown(clData) && clData->part >= 0 && clData->part < clData->header.num)
    kind = clData->flag[clData->part] & kCLSortKindMask;
  switch (kind) {
    case kCLSortFileSize: {
      double x, y;
      FileSizeStrToDouble(p1, &x);
      FileSizeStrToDouble(p2, &y);
      return SInt16(Sign(x, y));
    }
    case kCLSortDate: {
      const LongDate x = ReadDateTime(a), y = ReadDateTime(b);
      const int fx[] = {x.year, x.month, x.day, x.hour, x.minute};
      const int fy[] = {y.year, y.month, y.day, y.hour, y.minute};
      for (int i = 0; i < 5; ++i)
        if (fx[i] != fy[i]) return fx[i] < fy[i] ? -1 : 1;
      return 0;
    }
    case kCLSortInteger: {
      const SInt64 x = LeadingInteger(a), y = LeadingInteger(b);
      return SInt16(x < y ? -1 : x > y ? 1 : 0);
    }
    default: return SInt16(CompareText(a, b, !bCase));
  }
}

void clist::ExchangeCell(CLIST_DATA* clData, SInt16 cell1, SInt16 cell2) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || cell1 == cell2) return;
  CCELL_DATA a, b;
  if (!GetRecord(cl, cell1, &a) || !GetRecord(cl, cell2, &b)) return;
  Cell c1{cell1, 0}, c2{cell2, 0};
  const Boolean s1 = LGetSelect(false, &c1, cl->hList), s2 = LGetSelect(false, &c2, cl->hList);
  CSetDrawingMode(cl->hList, 0);
  LSetCell(&b, sizeof b, c1, cl->hList);
  LSetCell(&a, sizeof a, c2, cl->hList);
  LSetSelect(s2, c1, cl->hList);
  LSetSelect(s1, c2, cl->hList);
  CSetDrawingMode(cl->hList, 2);
}

void clist::QuickSort(CLIST_DATA* clData, SInt16 part, SInt16 left, SInt16 right) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || left >= right) return;
  const int mid = (left + right) / 2;
  Str255 pivot;
  if (!RowText(cl, mid, part, pivot)) return;
  const bool ascending = cl->sortStatus == 0;
  int i = left, j = right;
  Str255 t;
  for (;;) {
    while (i != mid && i <= right && RowText(cl, i, part, t)) {
      const int c = PStrCmp(cl, t, pivot, cl->bSortCase);
      if (ascending ? c < 0 : c > 0)
        ++i;
      else
        break;
    }
    while (j != mid && j >= left && RowText(cl, j, part, t)) {
      const int c = PStrCmp(cl, pivot, t, cl->bSortCase);
      if (ascending ? c >= 0 : c <= 0) break;
      --j;
    }
    if (i == mid && mid == j) break;
    if (i >= j) break;
    ExchangeCell(cl, SInt16(i), SInt16(j));
    ++i;
    --j;
  }
  if (left < i - 1) QuickSort(cl, part, left, SInt16(i - 1));
  if (j + 1 < right) QuickSort(cl, part, SInt16(j + 1), right);
}

void CLSort(CLIST_DATA* clData, SInt16 part, SInt16 change) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || part < 0 || part >= ColumnCount(cl)) return;
  if (CursHandle watch = GetCursor(watchCursor)) SetCursor(*watch);
  if (change == 1) cl->sortStatus = cl->sortStatus == 1 ? 0 : 1;
  cl->part = part;
  CSetDrawingMode(cl->hList, 0);
  const int last = PlatformRows(cl) - 1;
  if (last > RowShift(cl)) QuickSort(cl, part, SInt16(RowShift(cl)), SInt16(last));
  cl->curSortPart = part;
  cl->part = -1;
  CSetDrawingMode(cl->hList, 2);
  CLUpdateHeader(cl);
  Cursor arrow;
  SetCursor(GetQDGlobalsArrow(&arrow));
}

void CLSetSortColumn(CLIST_DATA* clData, SInt16 idx) {
  if (clData && idx >= 0 && idx < ColumnCount(clData)) clData->curSortPart = idx;
}

void CLSetSortState(CLIST_DATA* clData, SInt16 state) {
  if (clData) clData->sortStatus = state;
}

SInt16 CLGetSortColumn(CLIST_DATA* clData, SInt16* status) {
  if (!clData) return -1;
  if (status) *status = clData->sortStatus;
  return clData->curSortPart;
}

void CLSetSortCase(CLIST_DATA* clData, Boolean bCase) {
  if (clData) clData->bSortCase = bCase;
}

Boolean CLSearch(CLIST_DATA* clData, Cell* cell, ConstStr255Param str, Boolean bCase) {
  CLIST_DATA* cl = clData;
  if (!HasList(cl) || !cell || !str) return false;
  const SInt16 savedPart = cl->part;
  cl->part = -1;  // texts compare as texts
  const int cols = ColumnCount(cl);
  const int rows = PlatformRows(cl);
  Boolean found = false;
  for (int p = RowShift(cl); p < rows && !found; ++p) {
    CCELL_DATA rec;
    // Rows that never got a record are passed over, not taken for the end.
    if (!GetRecord(cl, p, &rec)) continue;
    for (int c = 0; c < cols; ++c) {
      if (PStrCmp(cl, CellText(rec, c), str, bCase) == 0) {
        *cell = Cell{SInt16(p - RowShift(cl)), SInt16(c)};
        found = true;
        break;
      }
    }
  }
  cl->part = savedPart;
  return found;
}

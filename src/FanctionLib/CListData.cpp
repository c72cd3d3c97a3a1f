// The list control's record, columns, rows and cells.
#include <cstring>
#include <set>

#include "FanctionLib/CListPriv.h"
#include "toolbox/fonts.h"
#include "toolbox/memory.h"

using namespace clist;

namespace clist {

SInt32 glCPUType = 0;

void Init() { glCPUType = 2; }

namespace {
// The wheel over a shown list scrolls it as its bars' arrows would.
OSStatus WheelOverList(EventHandlerCallRef, EventRef e, void* data) {
  auto* cl = static_cast<CLIST_DATA*>(data);
  int lines = 0;
  bool horizontal = false;
  if (!HasList(cl) || !cl->bShow ||
      !tb::WheelOverArea(e, GetWindowFromPort(cl->parPort), cl->rect, &lines, &horizontal))
    return eventNotHandledErr;
  if (horizontal ? cl->bEnableHScroll : cl->bEnableVScroll)
    tb::ScrollBarByLines(horizontal ? cl->hScroll : cl->vScroll, lines, cl->scrProc);
  return noErr;
}
}  // namespace

int PlatformRows(const CLIST_DATA* cl) {
  ListBounds b;
  GetListDataBounds(cl->hList, &b);
  return b.bottom;
}
Rect ViewRect(const CLIST_DATA* cl) {
  Rect r;
  GetListViewBounds(cl->hList, &r);
  return r;
}
int RowHeight(const CLIST_DATA* cl) {
  Point p;
  GetListCellSize(cl->hList, &p);
  return p.v;
}
int CellWidth(const CLIST_DATA* cl) {
  Point p;
  GetListCellSize(cl->hList, &p);
  return p.h;
}
int ScrollH(const CLIST_DATA* cl) { return cl->hScroll ? GetControlValue(cl->hScroll) : 0; }
int ScrollV(const CLIST_DATA* cl) { return cl->vScroll ? GetControlValue(cl->vScroll) : 0; }
bool BarVisible(ControlRef bar) { return bar && IsControlVisible(bar); }

int ColumnWidth(const CLIST_DATA* cl, int i) {
  if (!cl->header.width) return CellWidth(cl);
  return (i >= 0 && i < ColumnCount(cl)) ? cl->header.width[i] : 0;
}
int ColumnsBefore(const CLIST_DATA* cl, int i) {
  int x = 0;
  for (int k = 0; k < i && k < ColumnCount(cl); ++k) x += ColumnWidth(cl, k);
  return x;
}

int ContentWidth(const CLIST_DATA* cl) { return cl->flag ? ColumnsBefore(cl, ColumnCount(cl)) : CellWidth(cl); }

// Text width in a cell's font, measured on the private port.
int MeasuredWidth(CLIST_DATA* cl, const UInt8* text, const FONT_SET& font) {
  if (!text || !text[0]) return 0;
  int w = 0;
  WithPort(cl->orgPort, [&] {
    const SInt16 f = GetPortTextFont(cl->orgPort);
    const Style s = GetPortTextFace(cl->orgPort);
    const SInt16 z = GetPortTextSize(cl->orgPort);
    TextFont(font.txFont);
    TextFace(font.txFace);
    TextSize(font.txSize);
    w = StringWidth(text);
    TextFont(f);
    TextFace(s);
    TextSize(z);
  });
  return w;
}

bool GetRecord(const CLIST_DATA* cl, int platformRow, CCELL_DATA* rec) {
  std::memset(rec, 0, sizeof *rec);
  if (!HasList(cl) || platformRow < 0 || platformRow >= PlatformRows(cl)) return false;
  SInt16 len = sizeof *rec;
  LGetCell(rec, &len, Cell{SInt16(platformRow), 0}, cl->hList);
  if (len != SInt16(sizeof *rec)) {
    std::memset(rec, 0, sizeof *rec);
    return false;
  }
  return true;
}

void PutRecord(CLIST_DATA* cl, int platformRow, const CCELL_DATA& rec) {
  CSetDrawingMode(cl->hList, 0);
  LSetCell(&rec, sizeof rec, Cell{SInt16(platformRow), 0}, cl->hList);
  CSetDrawingMode(cl->hList, 2);
}

int RecordCount(const CLIST_DATA* cl) {
  Handle data = GetListDataHandle(cl->hList);
  return data ? int(GetHandleSize(data) / Size(sizeof(CCELL_DATA))) : 0;
}

const UInt8* CellText(const CCELL_DATA& rec, int col) {
  if (!rec.str || col < 0) return nullptr;
  const auto* s = reinterpret_cast<const UInt8*>(rec.str);
  const Size size = GetPtrSize(rec.str);
  Size off = 0;
  for (int i = 0; i < col; ++i) {
    if (off >= size) return nullptr;
    off += 1 + s[off];
  }
  if (off >= size || off + 1 + s[off] > size) return nullptr;
  return s + off;
}

void FreeRecord(CCELL_DATA& rec) {
  DisposePtr(rec.str);
  DisposePtr(reinterpret_cast<Ptr>(rec.font));
  DisposePtr(reinterpret_cast<Ptr>(rec.color));
  DisposePtr(reinterpret_cast<Ptr>(rec.flag));
  rec.str = nullptr;
  rec.font = nullptr;
  rec.color = nullptr;
  rec.flag = nullptr;
}

namespace {
// The lists alive now, so a control's owner is only ever a live record.
std::set<CLIST_DATA*>& LiveLists() {
  static std::set<CLIST_DATA*> lists;
  return lists;
}
bool Owns(const CLIST_DATA* cl, ControlRef c) { return c && (cl->vScroll == c || cl->hScroll == c || cl->hCtrl == c); }
}  // namespace

CLIST_DATA* OwnerOf(ControlRef c) {
  if (!c) return nullptr;
  // The control's reference names its list; a reference too narrow to hold
  // the record's address is made up for by asking every list.
  auto* named = reinterpret_cast<CLIST_DATA*>(GetControlReference(c));
  if (LiveLists().count(named) && Owns(named, c)) return named;
  for (CLIST_DATA* cl : LiveLists())
    if (Owns(cl, c)) return cl;
  return nullptr;
}

void SetAnyColor(CLIST_DATA* clData, const RGBColor* rgb, SInt16 idx) {
  if (clData && rgb && idx >= 0 && idx < 7) clData->anyColor[idx] = *rgb;
}

void Activate(CLIST_DATA* clData, Boolean b) {
  if (HasList(clData)) LActivate(b, clData->hList);
}

}  // namespace clist

namespace {

// The platform list keeps the rows and never draws them: its definition
// draws nothing.
void NoDrawListDef(SInt16, Boolean, Rect*, Cell, SInt16, SInt16, ListHandle) {}

// A copy of count entries of T, grown to newCount with zeroed entries;
// null when memory is short.
template <typename T>
T* Regrow(const T* old, int count, int newCount) {
  T* grown = reinterpret_cast<T*>(NewPtrClear(Size(sizeof(T)) * newCount));
  if (grown && old && count > 0) std::memcpy(grown, old, sizeof(T) * std::size_t(std::min(count, newCount)));
  return grown;
}

template <typename T>
void Release(T*& p) {
  DisposePtr(reinterpret_cast<Ptr>(p));
  p = nullptr;
}

ConstStr255Param OrEmpty(ConstStr255Param s) {
  static const unsigned char empty[1] = {0};
  return s ? s : empty;
}

// Gives a record without texts its arrays for every column, all defaults.
bool MakeNewRecord(CLIST_DATA* cl, CCELL_DATA& rec) {
  const int cols = ColumnCount(cl);
  FreeRecord(rec);
  rec.str = NewPtrClear(cols);  // an empty text per column
  rec.font = Regrow<FONT_SET>(nullptr, 0, cols);
  rec.color = Regrow<COLOR_SET>(nullptr, 0, cols);
  rec.flag = Regrow<UInt8>(nullptr, 0, cols);
  if (!rec.str || !rec.font || !rec.color || !rec.flag) {
    FreeRecord(rec);
    return false;
  }
  for (int i = 0; i < cols; ++i) {
    rec.font[i] = cl->defFont;
    rec.color[i] = cl->defColor;
  }
  return true;
}

// The record's texts with column col's replaced by str.
Ptr ReplaceText(const CCELL_DATA& rec, int cols, int col, ConstStr255Param str) {
  Size total = 0;
  for (int i = 0; i < cols; ++i) {
    const UInt8* t = i == col ? str : CellText(rec, i);
    total += 1 + (t ? t[0] : 0);
  }
  Ptr out = NewPtrClear(total);
  if (!out) return nullptr;
  Size off = 0;
  for (int i = 0; i < cols; ++i) {
    const UInt8* t = i == col ? str : CellText(rec, i);
    const int len = t ? t[0] : 0;
    out[off] = char(len);
    if (len) std::memcpy(out + off + 1, t + 1, std::size_t(len));
    off += 1 + len;
  }
  return out;
}

}  // namespace

CLIST_DATA* CLNew(WindowRef dlg, const Rect* rect, Point cSize, Boolean bMultiSel, Boolean bVisible,
                  Boolean bAlwaysShowScroll) {
  auto* cl = reinterpret_cast<CLIST_DATA*>(NewPtrClear(sizeof(CLIST_DATA)));
  if (!cl) return nullptr;
  if (!CLCreate(cl, dlg, rect, cSize, bMultiSel, bVisible, bAlwaysShowScroll)) {
    DisposePtr(reinterpret_cast<Ptr>(cl));
    return nullptr;
  }
  return cl;
}

CLIST_DATA* CLCreate(CLIST_DATA* clData, WindowRef dlg, const Rect* rect, Point cSize, Boolean bMultiSel,
                     Boolean bVisible, Boolean bAlwaysShowScroll) {
  if (!clData || !dlg || !rect || !GetWindowPort(dlg)) return nullptr;
  Init();
  std::memset(clData, 0, sizeof *clData);
  CLIST_DATA* cl = clData;

  const Rect view{rect->top, rect->left, SInt16(rect->bottom - kBar), SInt16(rect->right - kBar)};
  const ListBounds bounds{0, 0, 1, 1};
  ListDefSpec listDef{};
  listDef.defType = kListDefUserProcType;
  listDef.u.userProc = NoDrawListDef;
  if (CreateCustomList(&view, &bounds, cSize, &listDef, dlg, bVisible, false, false, false, &cl->hList) != noErr ||
      !cl->hList)
    return nullptr;
  const long self = reinterpret_cast<long>(cl);
  SetListRefCon(cl->hList, self);
  LiveLists().insert(cl);
  Cell origin{0, 0};
  SetListLastClick(cl->hList, &origin);

  cl->rect = *rect;
  cl->header.height = SInt16(RowHeight(cl));
  cl->bEnableHeader = cl->bEnableHScroll = cl->bEnableVScroll = 1;

  cl->parPort = GetWindowPort(dlg);
  cl->orgPort = tb::ClonePort(cl->parPort);
  WithPort(cl->orgPort, [] {
    RGBBackColor(&rgbWhite);
    RGBForeColor(&rgbBlack);
  });

  const Rect nowhere{-100, -100, -100, -100};
  static const unsigned char kNoTitle[1] = {0};
  cl->hCtrl = NewControl(dlg, &nowhere, kNoTitle, false, 0, 0, 0, scrollBarProc, 0);
  if (!cl->hCtrl) {
    LiveLists().erase(cl);
    LDispose(cl->hList);
    tb::DisposePort(cl->orgPort);
    cl->hList = nullptr;
    cl->orgPort = nullptr;
    return nullptr;
  }
  SetControlReference(cl->hCtrl, self);

  Rect hRect, vRect;
  GetScrollRect(cl, 17, &hRect, &vRect);
  static const unsigned char kV[2] = {1, 'v'};
  static const unsigned char kH[2] = {1, 'h'};
  cl->vScroll = NewControl(dlg, &vRect, kV, bAlwaysShowScroll, 0, 0, 0, scrollBarProc, 0);
  cl->hScroll = NewControl(dlg, &hRect, kH, bAlwaysShowScroll, 0, 0, 0, scrollBarProc, 0);
  SetControlReference(cl->vScroll, self);
  SetControlReference(cl->hScroll, self);
  if (!(bVisible && bAlwaysShowScroll)) {
    SetControlVisibility(cl->vScroll, false, false);
    SetControlVisibility(cl->hScroll, false, false);
  }
  CSetControlViewSize(cl);

  cl->divProc = NewControlActionUPP(DragDividerProc);
  cl->btnProc = NewControlActionUPP(DragBtnProc);
  cl->scrProc = NewControlActionUPP(DragScrollProc);
  static const EventTypeSpec kWheel{kEventClassMouse, kEventMouseWheelMoved};
  InstallWindowEventHandler(dlg, WheelOverList, 1, &kWheel, cl, &cl->wheel);
  cl->bSortCase = 1;
  cl->bMultiSel = bMultiSel;
  cl->header.num = 1;
  cl->divide = cl->part = -1;
  cl->selShape = 0;
  cl->bAlwaysShowScroll = bAlwaysShowScroll;
  for (SInt16& id : cl->pictID) id = -1;
  Activate(cl, 0);

  cl->anyColor[2] = rgbBlack;
  cl->anyColor[3] = rgbBlack;
  cl->anyColor[4] = rgbWhite;
  cl->anyColor[5] = rgbGray;
  cl->anyColor[6] = rgbBlack;
  cl->anyColor[0] = rgbWhite;
  GetWindowContentColor(dlg, &cl->anyColor[0]);
  cl->anyColor[1] = rgbWhite;

  cl->bShow = 0;
  CLShow(cl, bVisible);

  cl->defFont = FONT_SET{GetPortTextFont(cl->orgPort), GetPortTextFace(cl->orgPort), GetPortTextSize(cl->orgPort)};
  cl->defColor = COLOR_SET{rgbWhite, rgbKorvaBlue, rgbWhite, rgbBlack, rgbWhite, rgbGray};

  CSetDrawingMode(cl->hList, 0);
  LDelRow(1, 0, cl->hList);
  CSetDrawingMode(cl->hList, 2);
  return cl;
}

void CLDispose(CLIST_DATA* clData) {
  if (!clData) return;
  CLDestroy(clData);
  DisposePtr(reinterpret_cast<Ptr>(clData));
}

void CLDestroy(CLIST_DATA* clData) {
  if (!clData) return;
  CLIST_DATA* cl = clData;
  LiveLists().erase(cl);
  if (cl->wheel) RemoveEventHandler(cl->wheel);
  cl->wheel = nullptr;
  if (cl->hList) {
    const int rows = PlatformRows(cl);
    for (int r = 0; r < rows; ++r) {
      CCELL_DATA rec;
      if (GetRecord(cl, r, &rec)) FreeRecord(rec);
    }
    LDispose(cl->hList);
    cl->hList = nullptr;
  }
  if (cl->orgPort) tb::DisposePort(cl->orgPort);
  cl->orgPort = nullptr;
  Release(cl->header.title);
  Release(cl->header.width);
  Release(cl->flag);
  Release(cl->font);
  cl->divProc = cl->btnProc = cl->scrProc = nullptr;
}

SInt16 CLAddColumn(CLIST_DATA* clData, ConstStr255Param str, SInt16 width, SInt16 kind) {
  if (!clData) return -1;
  if (!clData->hList) return -2;
  CLIST_DATA* cl = clData;
  str = OrEmpty(str);
  const bool first = cl->header.title == nullptr;
  const int index = first ? 0 : cl->header.num;
  if (index >= 32767) return cl->header.num;

  // Everything is made first, so a shortage of memory changes nothing.
  const Size oldTitles = first ? 0 : GetPtrSize(cl->header.title);
  Ptr titles = NewPtrClear(oldTitles + 1 + str[0]);
  auto* widths = Regrow<SInt16>(cl->header.width, index, index + 1);
  auto* flags = Regrow<SInt16>(cl->flag, index, index + 1);
  auto* fonts = Regrow<FONT_SET>(cl->font, index, index + 1);
  if (!titles || !widths || !flags || !fonts) {
    DisposePtr(titles);
    Release(widths);
    Release(flags);
    Release(fonts);
    return SInt16(RealColumns(cl));
  }
  if (oldTitles) std::memcpy(titles, cl->header.title, std::size_t(oldTitles));
  std::memcpy(titles + oldTitles, str, std::size_t(1 + str[0]));
  widths[index] = width;
  flags[index] = (kind & kCLNoHeader) ? kind : SInt16(kind | kCLHeaderShown);
  fonts[index] = cl->defFont;

  if (first && PlatformRows(cl) > 0) {
    // Rows made before the first column keep their numbers: the reserved
    // header row goes in front of them.
    CSetDrawingMode(cl->hList, 0);
    LAddRow(1, 0, cl->hList);
    CSetDrawingMode(cl->hList, 2);
  }
  Release(cl->header.title);
  Release(cl->header.width);
  Release(cl->flag);
  Release(cl->font);
  cl->header.title = titles;
  cl->header.width = widths;
  cl->flag = flags;
  cl->font = fonts;
  if (first) {
    Rect b;
    GetControlBounds(cl->vScroll, &b);
    b.top = SInt16(b.top + cl->header.height);
    SetControlBounds(cl->vScroll, &b);
  } else {
    SetCellDefault(cl, SInt16(index));
    cl->header.num = SInt16(index + 1);
  }
  CSetDrawingMode(cl->hList, 0);
  CLAdjustScrollBar(cl, 1);
  CSetDrawingMode(cl->hList, 2);
  CLUpdateHeader(cl);
  return cl->header.num;
}

void clist::SetCellDefault(CLIST_DATA* clData, SInt16 index) {
  if (!HasList(clData) || index < 0) return;
  CLIST_DATA* cl = clData;
  const int rows = PlatformRows(cl);
  for (int r = 0; r < rows; ++r) {
    CCELL_DATA rec;
    if (!GetRecord(cl, r, &rec) || !rec.str) continue;
    const int n = index + 1;
    const Size oldSize = GetPtrSize(rec.str);
    Ptr str = NewPtrClear(oldSize + 1);  // the new cell's empty text
    auto* font = Regrow<FONT_SET>(rec.font, index, n);
    auto* color = Regrow<COLOR_SET>(rec.color, index, n);
    auto* flag = Regrow<UInt8>(rec.flag, index, n);
    if (!str || !font || !color || !flag) {
      DisposePtr(str);
      Release(font);
      Release(color);
      Release(flag);
      continue;
    }
    std::memcpy(str, rec.str, std::size_t(oldSize));
    font[index] = cl->defFont;
    color[index] = cl->defColor;
    flag[index] = 0;
    FreeRecord(rec);
    rec.str = str;
    rec.font = font;
    rec.color = color;
    rec.flag = flag;
    PutRecord(cl, r, rec);
  }
}

void CLSetColumnHeight(CLIST_DATA* clData, SInt16 height) {
  if (!HasList(clData) || !clData->flag) return;
  clData->header.height = std::max<SInt16>(height, 0);
  const Rect r = clData->rect;
  CLResize(clData, &r);
}

SInt16 CLGetColumnWidth(CLIST_DATA* clData, SInt16 labelNum) {
  if (!clData) return -1;
  if (!clData->flag || !(clData->flag[0] & kCLHeaderShown)) return -2;
  if (!clData->header.width) return -3;
  if (labelNum < 0 || labelNum >= clData->header.num) return -4;
  return clData->header.width[labelNum];
}

SInt16 CLGetCellHeight(CLIST_DATA* clData) {
  if (!clData) return -1;
  if (!clData->hList) return -2;
  return SInt16(RowHeight(clData));
}

void CLSetHeaderPictID(CLIST_DATA* clData, SInt16 pictID, SInt16 sortPictID, SInt16 pushedPictID) {
  if (!clData) return;
  clData->pictID[0] = pictID;
  clData->pictID[1] = sortPictID;
  clData->pictID[2] = pushedPictID;
}

void CLSetHeaderSortPictID(CLIST_DATA* clData, SInt16 upPictID, SInt16 upPushedPictID, SInt16 downPictID,
                           SInt16 downPushedPictID) {
  if (!clData) return;
  clData->pictID[4] = upPictID;
  clData->pictID[5] = upPushedPictID;
  clData->pictID[6] = downPictID;
  clData->pictID[7] = downPushedPictID;
}

void CLSetHeaderColor(CLIST_DATA* clData, const RGBColor* rgbNormal, const RGBColor* rgbPush,
                      const RGBColor* rgbHilite, const RGBColor* rgbDisable) {
  SetAnyColor(clData, rgbNormal, 2);
  SetAnyColor(clData, rgbPush, 3);
  SetAnyColor(clData, rgbHilite, 4);
  SetAnyColor(clData, rgbDisable, 5);
}
void CLSetFrameColor(CLIST_DATA* clData, const RGBColor* rgb) { SetAnyColor(clData, rgb, 6); }
void CLSetBkColor(CLIST_DATA* clData, const RGBColor* rgb) { SetAnyColor(clData, rgb, 1); }

void CLSetCellOne(CLIST_DATA* clData, Cell cell, ConstStr255Param str) {
  if (!HasList(clData)) return;
  CLIST_DATA* cl = clData;
  str = OrEmpty(str);
  const int cols = ColumnCount(cl);
  if (cell.h < 0 || cell.h >= cols || cell.v < 0) return;
  const int p = cell.v + RowShift(cl);
  if (p > 32766) return;
  CCELL_DATA rec;
  if (p >= PlatformRows(cl)) {
    if (cell.h != 0) {
      // Column 0 makes the row, every text empty. Only that column is
      // asked for: when the row is refused, asking the others in turn
      // would have each ask the rest again, without end.
      CLSetCellOne(cl, Cell{cell.v, 0}, nullptr);
      if (p >= PlatformRows(cl)) return;  // refused
    } else {
      if ((RecordCount(cl) + 1) * kRowRecordBytes > kRowDataLimit) return;
      const int rows = PlatformRows(cl);
      CSetDrawingMode(cl->hList, 0);
      LAddRow(SInt16(p + 1 - rows), SInt16(rows), cl->hList);
      CSetDrawingMode(cl->hList, 2);
      if (p >= PlatformRows(cl)) return;
    }
  }
  const bool hadRecord = GetRecord(cl, p, &rec);
  if (!hadRecord && (RecordCount(cl) + 1) * kRowRecordBytes > kRowDataLimit) return;
  if (!rec.str && !MakeNewRecord(cl, rec)) return;
  Ptr texts = ReplaceText(rec, cols, cell.h, str);
  if (!texts) return;
  DisposePtr(rec.str);
  rec.str = texts;
  if (rec.font) rec.font[cell.h] = cl->defFont;
  if (rec.color) rec.color[cell.h] = cl->defColor;
  if (rec.flag) rec.flag[cell.h] = rec.flag[0];
  CSetDrawingMode(cl->hList, 0);
  LSetCell(&rec, sizeof rec, Cell{SInt16(p), 0}, cl->hList);
  CLAdjustScrollBar(cl, 0);
  CSetDrawingMode(cl->hList, 2);
}

SInt16 CLGetCellOne(CLIST_DATA* clData, StringPtr str, SInt16* dataLen, Cell cell) {
  if (!clData) return -1;
  if (!clData->hList) return -2;
  if (!str || !dataLen || *dataLen < 2) return -4;
  if (cell.h < 0 || cell.h >= ColumnCount(clData)) return -2;
  CCELL_DATA rec;
  if (cell.v < 0 || !GetRecord(clData, cell.v + RowShift(clData), &rec)) return -3;
  const UInt8* text = CellText(rec, cell.h);
  std::size_t len = text ? text[0] : 0;
  len = std::min<std::size_t>(len, std::size_t(*dataLen - 2));
  if (text) len = tb::Utf8BoundaryPrefix(text + 1, len);
  str[0] = UInt8(len);
  if (len) std::memcpy(str + 1, text + 1, len);
  str[1 + len] = 0;
  *dataLen = SInt16(len + 1);
  return 0;
}

SInt16 CLGetCell(CLIST_DATA* clData, void* dataPtr, SInt16* dataLen, Cell cell) {
  if (!clData) return -1;
  if (!clData->hList) return -2;
  if (!dataLen) return -4;
  if (!dataPtr || cell.v < 0) {
    *dataLen = 0;
    return 0;
  }
  LGetCell(dataPtr, dataLen, Cell{SInt16(cell.v + RowShift(clData)), 0}, clData->hList);
  return 0;
}

SInt16 CLGetCount(CLIST_DATA* clData) {
  if (!clData) return -1;
  if (!clData->hList) return -2;
  return SInt16(std::max(0, PlatformRows(clData) - RowShift(clData)));
}

void CLDelRow(CLIST_DATA* clData, SInt16 count, SInt16 rowNum) {
  if (!HasList(clData)) return;
  CLIST_DATA* cl = clData;
  const int rows = PlatformRows(cl);
  int from = 0, n = rows;
  if (count != 0) {
    if (count < 0 || rowNum < 0) return;
    from = rowNum + RowShift(cl);
    n = std::min<int>(count, rows - from);
  }
  if (n < 1) return;
  // Every record of the range goes, also those behind rows that never got
  // one.
  for (int r = from; r < from + n; ++r) {
    CCELL_DATA rec;
    if (GetRecord(cl, r, &rec)) FreeRecord(rec);
  }
  const Cell anchor = LLastClick(cl->hList);
  CGrafPtr listPort = GetListPort(cl->hList);
  SetListPort(cl->hList, cl->orgPort);
  CSetDrawingMode(cl->hList, 0);
  LDelRow(count == 0 ? 0 : SInt16(n), SInt16(from), cl->hList);
  CSetDrawingMode(cl->hList, 2);
  SetListPort(cl->hList, listPort);
  CSetDrawingMode(cl->hList, 0);
  CLAdjustScrollBar(cl, 1);
  CSetDrawingMode(cl->hList, 2);
  // The anchor keeps its place; one left behind the end moves to the last
  // row, and an empty list starts again at the top.
  const int left = CLGetCount(cl);
  Cell fixed = anchor;
  if (left == 0)
    fixed = Cell{0, 0};
  else if (anchor.v >= PlatformRows(cl) || anchor.v < 0)
    fixed = Cell{SInt16(PlatformRows(cl) - 1), 0};
  SetListLastClick(cl->hList, &fixed);
}

void CLSetReference(CLIST_DATA* clData, SInt16 row, long ref) {
  if (!HasList(clData) || row < 0) return;
  CCELL_DATA rec;
  const int p = row + RowShift(clData);
  if (!GetRecord(clData, p, &rec)) return;
  rec.ref = ref;
  PutRecord(clData, p, rec);
}

long CLGetReference(CLIST_DATA* clData, SInt16 row) {
  if (!HasList(clData) || row < 0) return 0;
  CCELL_DATA rec;
  return GetRecord(clData, row + RowShift(clData), &rec) ? rec.ref : 0;
}

void CLSetFont(CLIST_DATA* clData, const SInt16* txFont, const Style* txFace, const SInt16* txSize) {
  if (!clData) return;
  CLIST_DATA* cl = clData;
  if (txFont) cl->defFont.txFont = *txFont;
  if (txFace) cl->defFont.txFace = *txFace;
  if (txSize) cl->defFont.txSize = *txSize;
  if (!cl->hList) return;
  const int rows = PlatformRows(cl);
  const int cols = ColumnCount(cl);
  for (int r = 0; r < rows; ++r) {
    CCELL_DATA rec;
    if (!GetRecord(cl, r, &rec) || !rec.font) continue;
    for (int c = 0; c < cols; ++c) {
      if (txFont) rec.font[c].txFont = *txFont;
      if (txFace) rec.font[c].txFace = *txFace;
      if (txSize) rec.font[c].txSize = *txSize;
    }
  }
}

void clist::SetIconData(CLIST_DATA* clData, SInt16 row, IconRef hdl, SInt16 iconID, SInt16 transform,
                        SInt16 width, SInt16 height, SInt16 iconType) {
  if (!HasList(clData) || row < 0) return;
  CCELL_DATA rec;
  const int p = row + RowShift(clData);
  if (!GetRecord(clData, p, &rec)) return;
  rec.icon.hdl = hdl;
  rec.icon.id = iconID;
  rec.icon.type = iconType;
  rec.icon.width = std::max<SInt16>(width, 0);
  rec.icon.height = std::max<SInt16>(height, 0);
  rec.transform = transform;
  PutRecord(clData, p, rec);
  CSetDrawingMode(clData->hList, 0);
  CLAdjustScrollBar(clData, 1);
  CSetDrawingMode(clData->hList, 2);
}

void CLSetCIconData(CLIST_DATA* clData, SInt16 iconID, SInt16 row, SInt16 width, SInt16 height) {
  SetIconData(clData, row, nullptr, iconID, 0, width, height, kCLIconResource);
}

void CLSetIconHandle(CLIST_DATA* clData, SInt16 row, IconRef hdl, SInt16 width, SInt16 height,
                     SInt16 transform) {
  SetIconData(clData, row, hdl, 0, transform, width, height, kCLIconHandle);
}

SInt16 CLGetIconID(CLIST_DATA* clData, SInt16 row) {
  if (!clData) return -1;
  if (!clData->hList) return -2;
  CCELL_DATA rec;
  if (row < 0 || !GetRecord(clData, row + RowShift(clData), &rec)) return -3;
  return rec.icon.id;
}

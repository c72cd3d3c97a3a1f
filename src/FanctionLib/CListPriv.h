// What the list control's modules share among themselves.
#pragma once

#include <algorithm>

#include "FanctionLib/CList.h"

namespace clist {

// A row record counts this much towards the limit of stored row data.
inline constexpr int kRowRecordBytes = 36;
inline constexpr int kRowDataLimit = 32767;
// Width of a scroll bar, and how far the list keeps its view from the
// control's edges for one.
inline constexpr int kBar = kCLScrollBarWidth;

inline bool HasList(const CLIST_DATA* cl) { return cl && cl->hList; }
// Data row n is platform row n + RowShift.
inline int RowShift(const CLIST_DATA* cl) { return cl->flag ? 1 : 0; }
inline bool HeaderShown(const CLIST_DATA* cl) { return cl->flag && (cl->flag[0] & kCLHeaderShown); }
inline bool NoHeaderColumns(const CLIST_DATA* cl) { return cl->flag && (cl->flag[0] & kCLNoHeader); }
inline int HeaderHeight(const CLIST_DATA* cl) { return HeaderShown(cl) ? cl->header.height : 0; }
inline int ColumnCount(const CLIST_DATA* cl) { return std::max<int>(cl->header.num, 1); }
// Columns that really exist (none before the first CLAddColumn).
inline int RealColumns(const CLIST_DATA* cl) { return cl->flag ? ColumnCount(cl) : 0; }

int PlatformRows(const CLIST_DATA* cl);
Rect ViewRect(const CLIST_DATA* cl);
int RowHeight(const CLIST_DATA* cl);
int CellWidth(const CLIST_DATA* cl);
int ScrollH(const CLIST_DATA* cl);
int ScrollV(const CLIST_DATA* cl);
bool BarVisible(ControlRef bar);
// Width of column i (the cell width without a width array).
int ColumnWidth(const CLIST_DATA* cl, int i);
// Sum of the widths of the columns before i.
int ColumnsBefore(const CLIST_DATA* cl, int i);

// Width of the rows' content: the columns, or the cell width without any.
int ContentWidth(const CLIST_DATA* cl);
// Width of a text in a cell's font, measured on the private port.
int MeasuredWidth(CLIST_DATA* cl, const UInt8* text, const FONT_SET& font);

// The record of a platform row: true when the row holds a whole one.
bool GetRecord(const CLIST_DATA* cl, int platformRow, CCELL_DATA* rec);
// Stores it with the platform list's drawing off around the store.
void PutRecord(CLIST_DATA* cl, int platformRow, const CCELL_DATA& rec);
// Number of rows holding a record.
int RecordCount(const CLIST_DATA* cl);
// Column col's length-prefixed text inside the record's texts, or null.
const UInt8* CellText(const CCELL_DATA& rec, int col);
// Releases the arrays of a record.
void FreeRecord(CCELL_DATA& rec);
// Whether cell col of the record is disabled.
inline bool CellDisabled(const CCELL_DATA& rec, int col) { return rec.flag && (rec.flag[col] & 0x0F) != 0; }

// The list that owns a control (through the control's reference).
CLIST_DATA* OwnerOf(ControlRef c);

}  // namespace clist

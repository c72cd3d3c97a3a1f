// List Manager: a grid of cells, each holding bytes of data, with a
// selection flag per cell, the last-clicked cell and its time, a view
// rectangle in a window and an optional vertical and horizontal scroll bar.
//
// A list made with LNew draws its cells as text with the standard list
// definition: each cell's bytes in the port's font, the selected cells in
// the highlight colour. A list made with CreateCustomList draws through the
// definition procedure it was given, and only through it, so a definition
// that draws nothing gives a pure row store that never touches the window.
//
// Drawing happens only while the list's drawing mode is on: LUpdate and
// LDraw, and the changes (cells set, rows added or deleted, selection,
// scrolling) of a visible list. Cell data is kept back to back in one
// handle (GetListDataHandle), as it always was, without the old limit of
// 32767 bytes.
//
// Every call accepts a null list and then does nothing (getters answer 0).
// Cells outside the data bounds are ignored by the setters and read as
// empty and unselected.
#pragma once

#include "toolbox/controls.h"
#include "toolbox/events.h"
#include "toolbox/quickdraw.h"
#include "toolbox/types.h"
#include "toolbox/windows.h"

struct ListRec;  // opaque: use the accessors below
using ListRef = ListRec*;
using ListHandle = ListRef;
using Cell = Point;         // h = column, v = row
using ListBounds = Rect;    // (top, left) = (0, 0), bottom = rows, right = columns
using DataHandle = Handle;
using ListSRefCon = long;  // wide enough for a program's record pointer

// Selection flags (SetListSelectionFlags).
enum : SInt8 {
  lOnlyOne = -128,  // 0x80: at most one cell selected
  lExtendDrag = 64,
  lNoDisjoint = 32,
  lNoExtend = 16,  // Shift does not extend the selection
  lNoRect = 8,
  lUseSense = 4,
  lNoNilHilite = 2,
};

// List flags (GetListFlags): automatic scrolling and the drawing mode.
enum : UInt32 {
  lDoVAutoscroll = 2,
  lDoHAutoscroll = 1,
  lDrawingModeOff = 8,  // set while LSetDrawingMode(false) is in force
};

// Messages to a list definition procedure.
enum : SInt16 { lInitMsg = 0, lDrawMsg = 1, lHiliteMsg = 2, lCloseMsg = 3 };

using ListDefProcPtr = void (*)(SInt16 message, Boolean selected, Rect* cellRect, Cell theCell,
                                SInt16 dataOffset, SInt16 dataLen, ListHandle theList);
using ListDefUPP = ListDefProcPtr;
inline ListDefUPP NewListDefUPP(ListDefProcPtr p) { return p; }
inline void DisposeListDefUPP(ListDefUPP) {}

enum : UInt32 { kListDefProcPointer = 0, kListDefUserProcType = 0, kListDefStandardTextType = 1 };
struct ListDefSpec {
  UInt32 defType;
  union {
    ListDefUPP userProc;
  } u;
};

// Making and disposing. rView is in the window's local coordinates; the
// scroll bars lie outside it (right and below, 16 pixels wide, overlapping
// the view's frame by one pixel). A cell size of 0 takes the view's width
// divided among the columns and the port font's line height. The list's
// port is the window's. theProc other than 0 is treated as 0.
ListHandle LNew(const Rect* rView, const ListBounds* dataBounds, Point cSize, SInt16 theProc,
                WindowRef theWindow, Boolean drawIt, Boolean hasGrow, Boolean scrollHoriz,
                Boolean scrollVert);
OSStatus CreateCustomList(const Rect* rView, const ListBounds* dataBounds, Point cellSize,
                          const ListDefSpec* theSpec, WindowRef theWindow, Boolean drawIt,
                          Boolean hasGrow, Boolean scrollHoriz, Boolean scrollVert, ListHandle* outList);
// Disposes the list and its scroll bars (when its window still exists).
void LDispose(ListHandle lHandle);

// Rows and columns. LAddRow inserts count empty rows before rowNum (past
// the end: at the end) and returns the first new row's number. LDelRow
// deletes count rows from rowNum; count 0 deletes every row.
SInt16 LAddRow(SInt16 count, SInt16 rowNum, ListHandle lHandle);
void LDelRow(SInt16 count, SInt16 rowNum, ListHandle lHandle);

// Cell data.
void LSetCell(const void* dataPtr, SInt16 dataLen, Cell theCell, ListHandle lHandle);
// Copies at most *dataLen bytes of the cell's data; *dataLen gets the count
// copied (0 for an empty cell or one outside the list).
void LGetCell(void* dataPtr, SInt16* dataLen, Cell theCell, ListHandle lHandle);

// Selection. LGetSelect with next false tells whether the cell is selected;
// with next true it finds the first selected cell at or after theCell (row
// by row, left to right), moves theCell there and answers true, or false
// when there is none.
void LSetSelect(Boolean setIt, Cell theCell, ListHandle lHandle);
Boolean LGetSelect(Boolean next, Cell* theCell, ListHandle lHandle);
Cell LLastClick(ListHandle lHandle);

// Drawing and scrolling.
void LSetDrawingMode(Boolean drawIt, ListHandle lHandle);
void LDraw(Cell theCell, ListHandle lHandle);
// Draws the cells that meet the region (the list port's local coordinates)
// and the scroll bars.
void LUpdate(RgnHandle theRgn, ListHandle lHandle);
void LActivate(Boolean act, ListHandle lHandle);
void LScroll(SInt16 dCols, SInt16 dRows, ListHandle lHandle);
// The cell's rectangle in the list port's coordinates (where it would be
// drawn now, also when scrolled out of view); empty outside the list.
void LRect(Rect* cellRect, Cell theCell, ListHandle lHandle);
void LCellSize(Point cSize, ListHandle lHandle);
// Makes the view listWidth x listHeight pixels (top-left kept) and moves
// the scroll bars with it.
void LSize(SInt16 listWidth, SInt16 listHeight, ListHandle lHandle);

// A click at pt (local): on a scroll bar it tracks the bar; in the view it
// selects as the selection flags allow (Shift extends, Command toggles),
// following the mouse while the button is held. True when the click
// completes a double-click on the same cell.
Boolean LClick(Point pt, EventModifiers modifiers, ListHandle lHandle);

// Accessors.
Rect* GetListViewBounds(ListHandle list, Rect* view);
void SetListViewBounds(ListHandle list, const Rect* view);
CGrafPtr GetListPort(ListHandle list);
void SetListPort(ListHandle list, CGrafPtr port);
Point* GetListCellSize(ListHandle list, Point* size);
ListBounds* GetListVisibleCells(ListHandle list, ListBounds* visible);
ListBounds* GetListDataBounds(ListHandle list, ListBounds* bounds);
DataHandle GetListDataHandle(ListHandle list);
ControlRef GetListVerticalScrollBar(ListHandle list);
ControlRef GetListHorizontalScrollBar(ListHandle list);
Boolean GetListActive(ListHandle list);
SInt32 GetListClickTime(ListHandle list);
void SetListClickTime(ListHandle list, SInt32 time);
Point* GetListClickLocation(ListHandle list, Point* click);
void SetListLastClick(ListHandle list, Cell* lastClick);
ListSRefCon GetListRefCon(ListHandle list);
void SetListRefCon(ListHandle list, ListSRefCon refCon);
UInt32 GetListFlags(ListHandle list);
void SetListFlags(ListHandle list, UInt32 listFlags);
SInt8 GetListSelectionFlags(ListHandle list);
void SetListSelectionFlags(ListHandle list, SInt8 selectionFlags);

// The list control: a self-drawn, multi-column list inside a dialog, with
// a header strip of column buttons, rows of text with per-cell fonts and
// colours, an optional icon per row, single or multiple selection, sorting
// by a column and two scroll bars.
//
// The platform list (toolbox/lists.h) only keeps the rows: one record per
// row, the selection flags, the last-clicked cell and the sizes. Everything
// the user sees is drawn here, composed offscreen and copied in one
// transfer.
//
// Rows: while the list has columns, row 0 of the platform list is kept for
// the header and holds no record, so data row n is platform row n + 1.
// Every operation takes and returns data rows. A cell is (column h, data
// row v).
//
// Operations take the record first; those with a result give -1 when no
// record is given and -2 when it has no platform list; the others return
// quietly on bad input.
#pragma once

#include "FanctionLib/CControlDefs.h"
#include "toolbox/carbonevents.h"
#include "toolbox/controls.h"
#include "toolbox/events.h"
#include "toolbox/icons.h"
#include "toolbox/lists.h"
#include "toolbox/pictures.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

// The width of the list's scroll bars.
inline constexpr SInt16 kCLScrollBarWidth = 15;
// The column of a one-column list over the rectangle: as wide as the list
// less the vertical bar's room, so that more rows than the list shows bring
// the vertical bar alone (a full-width column brought a horizontal bar too,
// which took a row of the view); a selected row is still highlighted up to
// the list's edge.
inline SInt16 CLOneColumnWidth(const Rect& r) { return SInt16(r.right - r.left - kCLScrollBarWidth); }

// Column flag word (the kind given to CLAddColumn).
enum : SInt16 {
  kCLAlignRight = 0x0002,
  kCLAlignCenter = 0x0004,
  kCLSortKindMask = 0x0F00,
  kCLSortText = 0x0100,
  kCLSortInteger = 0x0200,
  kCLSortFileSize = 0x0300,
  kCLSortDate = 0x0400,
  kCLNoHeader = 0x1000,     // columns without a visible header
  kCLHeaderShown = 0x2000,  // added by CLAddColumn unless kCLNoHeader is given
};

// Icon kinds of a row.
enum : SInt16 { kCLIconNone = 0, kCLIconResource = 2, kCLIconHandle = 3 };

struct CHEADER_DATA {
  SInt16 num;      // number of columns (1 while there is none yet)
  Ptr title;       // one length-prefixed title per column, back to back
  SInt16* width;   // column widths in pixels
  SInt16 height;   // header height
};

struct CELL_ICON_DATA {
  IconRef hdl;      // the icon reference (kind 3), the caller's
  SInt16 type;      // 0 none, 2 'cicn' resource by id, 3 icon reference
  SInt16 width;
  SInt16 height;
  SInt16 id;        // 'cicn' id (kind 2)
};

// One row, kept as the data of the platform list's cell (column 0) of that
// row. It counts 36 bytes towards the list's limit of 32767 bytes of rows,
// whatever its size in memory, so a list holds at most 910 rows.
struct CCELL_DATA {
  Ptr str;            // one length-prefixed text per column, back to back
  FONT_SET* font;     // per column
  COLOR_SET* color;   // per column
  UInt8* flag;        // per column: low four bits 1 = disabled
  long ref;           // the host's value for the row
  SInt16 transform;   // icon transform
  CELL_ICON_DATA icon;
};

struct CLIST_DATA {
  CHEADER_DATA header;
  SInt16* flag;          // column flag words; null until the first column
  FONT_SET* font;        // header title font per column
  FONT_SET defFont;      // given to new columns and cells
  COLOR_SET defColor;    // given to new cells
  SInt16 sortStatus;     // 0 ascending, 1 descending
  SInt16 curSortPart;    // column sorted by
  SInt16 divide;         // column whose divider is dragged or fitted
  SInt16 part;           // header button pressed (-1 none); the column being sorted
  SInt16 pictID[8];      // header pictures (see CLSetHeaderPictID, CLSetHeaderSortPictID)
  SInt16 bkPictAlign;
  SInt16 selShape;
  Rect rect;             // the whole control, bars and header included
  ControlRef hCtrl;      // hidden control tracking header presses and divider drags
  ListHandle hList;      // the row store; its reference value is this record
  CGrafPtr parPort;      // the dialog's port
  CGrafPtr orgPort;      // a private port on the dialog's pixels, white on black
  ControlRef vScroll;    // titled "v"
  ControlRef hScroll;    // titled "h"
  // [0] window content, [1] list background, [2] header title, [3] title of
  // the sorted column, [4] title of the pressed column, [5] titles while the
  // header is disabled, [6] frame
  RGBColor anyColor[7];
  Boolean bShow;
  Boolean bMultiSel;
  Boolean bAlwaysShowScroll;
  Boolean bEnableHeader;
  Boolean bEnableHScroll;
  Boolean bEnableVScroll;
  Boolean bSortCase;
  ControlActionUPP divProc;
  ControlActionUPP btnProc;
  ControlActionUPP scrProc;
  EventHandlerRef wheel;  // takes the mouse wheel over the list on its window
};

// --- Record, columns and cells ---------------------------------------------

// dlg is the dialog's window; rect the whole control (bars included); cSize
// the cell size (h = width, v = row height).
CLIST_DATA* CLNew(WindowRef dlg, const Rect* rect, Point cSize, Boolean bMultiSel, Boolean bVisible,
                  Boolean bAlwaysShowScroll);
CLIST_DATA* CLCreate(CLIST_DATA* clData, WindowRef dlg, const Rect* rect, Point cSize, Boolean bMultiSel,
                     Boolean bVisible, Boolean bAlwaysShowScroll);
void CLDispose(CLIST_DATA* clData);
void CLDestroy(CLIST_DATA* clData);

// Appends a column; returns the number of columns. Columns are added before
// the first row.
SInt16 CLAddColumn(CLIST_DATA* clData, ConstStr255Param str, SInt16 width, SInt16 kind);
void CLSetColumnHeight(CLIST_DATA* clData, SInt16 height);
// -2 no columns or no header shown, -3 no widths, -4 no such column.
SInt16 CLGetColumnWidth(CLIST_DATA* clData, SInt16 labelNum);
SInt16 CLGetCellHeight(CLIST_DATA* clData);
void CLSetHeaderPictID(CLIST_DATA* clData, SInt16 pictID, SInt16 sortPictID, SInt16 pushedPictID);
void CLSetHeaderSortPictID(CLIST_DATA* clData, SInt16 upPictID, SInt16 upPushedPictID, SInt16 downPictID,
                           SInt16 downPushedPictID);
// Colours of the header titles: anyColor[2..5] in this order; null keeps.
void CLSetHeaderColor(CLIST_DATA* clData, const RGBColor* rgbNormal, const RGBColor* rgbPush,
                      const RGBColor* rgbHilite, const RGBColor* rgbDisable);
void CLSetFrameColor(CLIST_DATA* clData, const RGBColor* rgb);
void CLSetBkColor(CLIST_DATA* clData, const RGBColor* rgb);

// Stores the text of column cell.h of row cell.v, making the row (and the
// rows before it) when needed. A row past the limit is refused silently.
void CLSetCellOne(CLIST_DATA* clData, Cell cell, ConstStr255Param str);
// Copies the cell's text with its length byte into str and puts a NUL
// behind it. *dataLen gives the room of str on entry (at least 2) and the
// bytes written without the NUL on return; a longer text is cut to fit.
// -3 the row has no record, -4 no room.
SInt16 CLGetCellOne(CLIST_DATA* clData, StringPtr str, SInt16* dataLen, Cell cell);
// The row's raw record (*dataLen: room in, bytes out; 0 for a row without).
SInt16 CLGetCell(CLIST_DATA* clData, void* dataPtr, SInt16* dataLen, Cell cell);
SInt16 CLGetCount(CLIST_DATA* clData);
// Deletes count rows from rowNum; count 0 deletes every row.
void CLDelRow(CLIST_DATA* clData, SInt16 count, SInt16 rowNum);
void CLSetReference(CLIST_DATA* clData, SInt16 row, long ref);
long CLGetReference(CLIST_DATA* clData, SInt16 row);
inline void CLSetReference(CLIST_DATA* clData, Cell cell, long ref) { CLSetReference(clData, cell.v, ref); }
inline long CLGetReference(CLIST_DATA* clData, Cell cell) { return CLGetReference(clData, cell.v); }
// Each value given becomes part of the default font and of every cell's.
void CLSetFont(CLIST_DATA* clData, const SInt16* txFont, const Style* txFace, const SInt16* txSize);
void CLSetCIconData(CLIST_DATA* clData, SInt16 iconID, SInt16 row, SInt16 width, SInt16 height);
void CLSetIconHandle(CLIST_DATA* clData, SInt16 row, IconRef hdl, SInt16 width, SInt16 height,
                     SInt16 transform);
// -3 the row has no record.
SInt16 CLGetIconID(CLIST_DATA* clData, SInt16 row);

// --- Drawing ---------------------------------------------------------------

// Redraws a shown list: updateRgn null redraws the body; otherwise
// redrawHeader 1 adds the header strip to the region and 0 takes it out.
void CLUpdate(CLIST_DATA* clData, RgnHandle updateRgn, SInt16 redrawHeader);
// Redraws one cell of the body where it shows, straight into the window,
// clipped to the cell (nothing when the row is scrolled out of view or the
// cell does not exist).
void CLUpdateCell(CLIST_DATA* clData, Cell cell);
void CLUpdateHeader(CLIST_DATA* clData);
SInt16 CLGetRect(CLIST_DATA* clData, Rect* rect, Boolean bIncludeHeader, Boolean bIncludeHScrollBar,
                 Boolean bIncludeVScrollBar);
// Shortens the length-prefixed text (room for 255 bytes) in place until it
// fits width pixels in the current font, ending it in "...". Returns the
// number of shortening steps, -1 when a multi-byte first character cannot
// be kept, -2 for a text cut inside a character.
SInt16 CutString(StringPtr str, SInt16 width);
// The byte type of byte offset of the text: 0 single byte, -1 first byte,
// 1 last byte, 2 middle byte of a character (texts are UTF-8).
SInt16 CCharcterByteType(const void* text, SInt16 offset);
// 0 drawing off, 1 on, 2 the opposite of what it is now.
void CSetDrawingMode(ListHandle hList, SInt16 sMode);
void CSetPortTextFont(CGrafPtr port, SInt16 font);
void CSetPortTextFace(CGrafPtr port, Style face);
void CSetPortTextSize(CGrafPtr port, SInt16 size);
SInt16 CGetPortTextFont(CGrafPtr port);
Style CGetPortTextFace(CGrafPtr port);
SInt16 CGetPortTextSize(CGrafPtr port);

// --- Mouse, keys, selection and scrolling ------------------------------------

// A mouse-down of the dialog. *cell gets the clicked cell ((0, 0) when no
// row was hit), *sortPart the column sorted by a header click (-1 none).
// headerOnly 1: body clicks change nothing and only report the
// double-click, and header buttons do not sort; the scroll bars and the
// column dividers still react. A program that wants only its scroll bars to
// answer a click gives it to CLMouseDownByScrollBar itself. True when the
// click completes a double-click.
// headerOnly kCLScrollOnly: only the scroll bars react (a list that must
// not change while its rows are being read, or a list shown for reading).
constexpr Boolean kCLScrollOnly = 2;
Boolean CLMouseDown(CLIST_DATA* clData, const EventRecord* evt, Cell* cell, SInt16* sortPart, Boolean headerOnly);
Boolean CLKeyDown(CLIST_DATA* clData, const EventRecord* evt, SInt16 charCode);
void CLSetSelect(CLIST_DATA* clData, Cell cell, Boolean visible, Boolean redraw);
Boolean CLGetSelect(CLIST_DATA* clData, Cell* cell, Boolean next);
SInt16 CLGetSelectCount(CLIST_DATA* clData);
void CLClearSelect(CLIST_DATA* clData, RgnHandle updateRgn);
void CLAllSelect(CLIST_DATA* clData);
void CLEnable(CLIST_DATA* clData, Boolean bEnable);
void CLEnableHeader(CLIST_DATA* clData, Boolean bEnable);
void CLEnableScrollBar(CLIST_DATA* clData, Boolean bEnable);
SInt16 CLGetVisibleCount(CLIST_DATA* clData);
void CLGetScrollValue(CLIST_DATA* clData, SInt16* x, SInt16* y);
void CLSetScrollValue(CLIST_DATA* clData, SInt16 x, SInt16 y);
void CLSelectScroll(CLIST_DATA* clData);
Boolean CLIsHeaderMovable(CLIST_DATA* clData, Point pt);
// Moves the list; a list that shows erases the part of its old place it
// leaves, a hidden one draws nothing.
void CLResize(CLIST_DATA* clData, const Rect* resizeRect);
// Shows and draws the list, or hides it: a list that showed erases its
// place, one already hidden (or made hidden) draws nothing.
void CLShow(CLIST_DATA* clData, Boolean bShow);
void CLAdjustScrollBar(CLIST_DATA* clData, Boolean isDrawScrollBar);
void CLAdjustColumnWidth(CLIST_DATA* clData);
// whichScrollBar: 0 vertical, 1 horizontal.
void CLMouseDownByScrollBar(CLIST_DATA* clData, Point localPt, EventModifiers modifiers, SInt16 whichScrollBar);
void CSetControlViewSize(CLIST_DATA* clData);

// --- Sorting and search ------------------------------------------------------

// Sorts the rows by column part; change 1 reverses the direction first.
void CLSort(CLIST_DATA* clData, SInt16 part, SInt16 change);
void CLSetSortColumn(CLIST_DATA* clData, SInt16 idx);
void CLSetSortState(CLIST_DATA* clData, SInt16 state);
SInt16 CLGetSortColumn(CLIST_DATA* clData, SInt16* status);
// bCase 0: texts sort and are found without case (compared in capitals, an
// empty text first); 1 (as made): byte for byte.
void CLSetSortCase(CLIST_DATA* clData, Boolean bCase);
// The first cell whose text equals str (without case when bCase is 0);
// *cell is left alone when none.
Boolean CLSearch(CLIST_DATA* clData, Cell* cell, ConstStr255Param str, Boolean bCase);

// --- The control's own parts (exposed for tests) ----------------------------
namespace clist {

// Drawing variant selector; Init sets it to 2, the variant drawn here.
extern SInt32 glCPUType;

void Init();
void Draw(CLIST_DATA* clData, RgnHandle hUpdateRgn);
void DrawHeader(CGrafPtr port, CLIST_DATA* clData, SInt16 push);
void GetScrollRect(CLIST_DATA* clData, SInt16 mod, Rect* hRect, Rect* vRect);
void SetScrollShape(CLIST_DATA* clData, SInt16 mod);
void DragScrollProc(ControlRef hCtrl, ControlPartCode part);
void DragDividerProc(ControlRef hCtrl, ControlPartCode part);
void DragBtnProc(ControlRef hCtrl, ControlPartCode part);
void PtToCell(CLIST_DATA* clData, Point pt, Cell* cell, Boolean* isEnable);
Boolean IsNeedScroll(CLIST_DATA* clData, Cell cell);
void GetCellRect(CLIST_DATA* clData, Cell cell, Rect* rect);
void SetLastClick(CLIST_DATA* clData, Cell cell);
void SetIconData(CLIST_DATA* clData, SInt16 row, IconRef hdl, SInt16 iconID, SInt16 transform, SInt16 width,
                 SInt16 height, SInt16 iconType);
void SetAnyColor(CLIST_DATA* clData, const RGBColor* rgb, SInt16 idx);
void SetCellDefault(CLIST_DATA* clData, SInt16 index);
void Activate(CLIST_DATA* clData, Boolean b);
void QuickSort(CLIST_DATA* clData, SInt16 part, SInt16 left, SInt16 right);
void ExchangeCell(CLIST_DATA* clData, SInt16 cell1, SInt16 cell2);
SInt16 PStrCmp(CLIST_DATA* clData, ConstStr255Param p1, ConstStr255Param p2, Boolean bCase);
void FileSizeStrToDouble(ConstStr255Param str, double* size);

}  // namespace clist

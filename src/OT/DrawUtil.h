// Small drawing and input helpers for dialog items that the FTP send window
// and the programs' own windows share: text in a rectangle with alignment
// and line breaks, colour icons, areas cleared in a colour, a range-tested
// number field, control tracking, and swapping a page of dialog items.
//
// Every drawing helper saves the current port, draws in the dialog's port,
// and restores the port.
#pragma once

#include "common/AppGlobals.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/quickdraw.h"
#include "toolbox/types.h"

// Horizontal placement (hStyle).
enum : short {
  kDrawLeft = 0,    // 2 pixels in from the left edge (as is 2)
  kDrawCenter = 1,
  kDrawRight = 3,   // flush with the right edge
};
// Vertical placement of a single line (vStyle); any other value centres.
enum : short {
  kDrawTop = 4,     // baseline at top + ascent
  kDrawBottom = 5,  // baseline at bottom - descent
};
// A text broken at carriage returns shows at most this many lines.
constexpr int kDrawMaxLines = 4;

// Draws the text in the rectangle in the port's current font. A text with
// carriage returns is drawn line by line from the top (empty lines
// skipped), each line placed by hStyle on its own width. clear: the
// rectangle is erased first.
void Draw_String_User_Rect(DialogRef dialog, ConstStr255Param text, const Rect* rect, short hStyle,
                           short vStyle, Boolean clear);
// The same, with the rectangle always erased in the given background
// colour (restored afterwards).
void Draw_String_Color_Rect(DialogRef dialog, ConstStr255Param text, const Rect* rect, short hStyle,
                            short vStyle, const RGBColor* color);
// Paints the item's rectangle in the colour.
void Clear_Color_Item_Area(DialogRef dialog, DialogItemIndex item, const RGBColor* color);
// Plots colour icon 'cicn' iconID into the item's rectangle, or into rect;
// a missing icon draws nothing.
void Draw_Item_Icon(DialogRef dialog, DialogItemIndex item, SInt16 iconID);
void Draw_Rect_Icon(DialogRef dialog, const Rect* rect, SInt16 iconID);
// The control's bounds.
void Get_Control_Rect(ControlRef control, Rect* rect);
// Decimal digits to a number: 0 at the first character that is not a digit
// (or when the number would not fit in 32 bits), else 1 when
// minimum <= number <= maximum and 0 otherwise. An empty text is 0.
short Str_To_Num(ConstStr255Param text, UInt32* number, UInt32 maximum, UInt32 minimum);
// Tracks the control from the mouse-down with the control's own action
// procedure; the part it ended in.
ControlPartCode Original_Control_Action(DialogRef dialog, const EventRecord* event, ControlRef control);
// Removes the dialog's items from firstItem to the last, then lays the
// items of 'DITL' ditlID over the dialog; 1, or 0 when that item list is
// missing (the page is then empty).
short Change_Dialog_Page(DialogRef dialog, SInt16 ditlID, DialogItemIndex firstItem);

// Dialog items and the small drawing functions every program draws its
// dialogs with. Each one that draws makes the dialog's port current and
// makes the caller's port current again afterwards.
#pragma once

#include "toolbox/dialogs.h"
#include "toolbox/quickdraw.h"
#include "toolbox/types.h"

// The item's handle (the control for control items); null for an item
// that does not exist.
void Get_Dialog_Item_Handle(DialogRef dialog, DialogItemIndex item, Handle* handle);
// The item's rectangle; empty for an item that does not exist.
void Get_Dialog_Item_Rect(DialogRef dialog, DialogItemIndex item, Rect* rect);
// The control of a control item; null for any other item (or no dialog).
ControlRef Item_Control(DialogRef dialog, DialogItemIndex item);
// A control item's value (0 for any other item), and setting it.
short Get_Item_Value(DialogRef dialog, DialogItemIndex item);
void Set_Item_Value(DialogRef dialog, DialogItemIndex item, short value);
// Enables a control item (hilite 0) or dims it (255).
void Hilite_Item(DialogRef dialog, DialogItemIndex item, Boolean enabled);
// Sets a check box to (value + 1) modulo 2 (so a mixed box becomes
// checked); returns the new value, 0 when the item is no control.
short Invert_Check_Item(DialogRef dialog, DialogItemIndex item);
// Flashes a button: pressed for 10 ticks, then normal.
void Invert_Button_Item(DialogRef dialog, DialogItemIndex item);
// The keys of an alert's modal filter: Return or Enter answers item 1,
// Escape item 2, each button flashed; true when the key answered.
Boolean Alert_Answer_Key(DialogRef dialog, const EventRecord* event, DialogItemIndex* item);
void Clear_Dialog_Rect_Area(DialogRef dialog, const Rect* rect);
void Clear_Dialog_Item_Area(DialogRef dialog, DialogItemIndex item);
// A user item's drawing procedure: item 1 becomes the dialog's default
// button (whichever item is drawn).
void Draw_Dialog_Default_Button(DialogRef dialog, DialogItemIndex item);

// A one-pixel frame in the grey pattern (_B: the black pattern); the pen is
// restored.
void Draw_Setup_Frame_Rect(DialogRef dialog, const Rect* rect);
void Draw_Setup_Frame_Rect_B(DialogRef dialog, const Rect* rect);
// The same around the item, only when it is a disabled user item (kind
// 128); usable as user-item drawing procedures.
void Draw_Setup_Frame_Item(DialogRef dialog, DialogItemIndex item);
void Draw_Setup_Frame_Item_B(DialogRef dialog, DialogItemIndex item);
// An etched group box: a grey (0x8888) outline along the inside of the
// rectangle with a white line inside its top and left edges and outside
// its right and bottom edges. Pen and colours are restored.
void Draw_Group_Frame_Rect(DialogRef dialog, const Rect* rect);
void Draw_Group_Frame_Item(DialogRef dialog, DialogItemIndex item);

// The 'PICT' resource scaled into the rectangle; nothing when it is
// missing.
void Draw_Rect_Pict(DialogRef dialog, const Rect* rect, SInt16 pictID);
void Draw_Item_Pict(DialogRef dialog, DialogItemIndex item, SInt16 pictID);

// Draws text in the port's font inside rect. hStyle 1 centres it, 3 puts
// it flush right, anything else at left + 2. A text without CR has its
// baseline at top + ascent (vStyle 4), bottom - descent (vStyle 5) or
// centred (any other). A text with CRs is drawn as up to 4 lines from top
// + ascent down, each placed by hStyle on its own width. A non-zero clear
// first erases (left, top) .. (left + text width + 4, top + ascent +
// descent). The caller's text is not changed.
void Draw_String_User_StringArea(DialogRef dialog, ConstStr255Param text, const Rect* rect, short hStyle, short vStyle,
                                 short clear);

void SetRGBColor(RGBColor* color, UInt16 red, UInt16 green, UInt16 blue);

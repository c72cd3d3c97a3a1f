// The thin bridge over the toolbox: one-line operations the rest of the
// code calls instead of the toolbox's own spellings. Calls an older system
// needed and this one does not stay as fixed no-ops.
#pragma once

#include "toolbox/appleevents.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/menus.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

// ---- Start-up and obsolete system calls -----------------------------------

// Drops every pending event and shows the arrow cursor; returns 1.
short Initialize_ToolBox();
// The event wait with a sleep time always exists: 1.
short Get_Trap_Address();
// There are no desk accessories: 0.
short Open_Desk_Acc(ConstStr255Param name);
void System_Task();
void System_Click(EventRecord* event, WindowRef window);
void Max_Appl_Zone();

// ---- Dialogs and windows --------------------------------------------------

// From the resource, in front of all windows (storage and behind are not
// used).
DialogRef Get_New_Dialog(SInt16 dialogID, void* storage, WindowRef behind);
WindowRef Get_New_CWindow(SInt16 windowID, void* storage, WindowRef behind);
void Close_Dialog(DialogRef dialog);
void Close_Window(WindowRef window);
WindowRef Get_Dialog_Window(DialogRef dialog);
DialogRef Get_Dialog_From_Window(WindowRef window);
CGrafPtr Get_CGPort_FromDialog(DialogRef dialog);
void Set_Port_Dialog_Port(DialogRef dialog);
void Set_Port_Window_Port(WindowRef window);
void Set_Dialog_Default_Item(DialogRef dialog, DialogItemIndex item);
// The front window of the window list.
WindowRef Get_Window_List();

// ---- Port geometry and regions --------------------------------------------

// The getters fill the caller's rectangle or region and return it.
Rect* Get_Dialog_Port_Bounds(DialogRef dialog, Rect* bounds);
void Set_Dialog_Port_Bounds(DialogRef dialog, const Rect* bounds);
Rect* Get_Window_Port_Bounds(WindowRef window, Rect* bounds);
void Set_Window_Port_Bounds(WindowRef window, const Rect* bounds);
Rect* Get_World_Rect(GWorldPtr world, Rect* bounds);
Rect* Get_Window_Standard_State(WindowRef window, Rect* state);
RgnHandle Get_Dialog_VisRegion(DialogRef dialog, RgnHandle region);
RgnHandle Get_Window_VisRegion(WindowRef window, RgnHandle region);
// The dialog port's pixels as a CopyBits destination.
const BitMap* Get_Port_Bitmap(DialogRef dialog);
void Inval_Window_Rect(WindowRef window, const Rect* r);

// ---- Controls ---------------------------------------------------------------

Rect* Get_Control_Bounds(ControlRef control, Rect* bounds);
void Set_Control_Bounds(ControlRef control, const Rect* bounds);
MenuRef Get_Control_Popup_Menu_Handle(ControlRef control);
// The control's highlight, low 8 bits.
short Get_Control_Hilite(ControlRef control);

// ---- Menus ------------------------------------------------------------------

void Enable_Item(MenuRef menu, short item);
void Disable_Item(MenuRef menu, short item);
void Check_Item(MenuRef menu, short item, Boolean checked);

// ---- Drawing globals (each fills the caller's record and returns it) --------

Cursor* Get_QDGlobals_Arrow(Cursor* arrow);
// Bounds: the main screen.
BitMap* Get_QDGlobals_Screen_Bits(BitMap* bits);
Pattern* Get_QDGlobals_Gray(Pattern* pat);
Pattern* Get_QDGlobals_Black(Pattern* pat);
Pattern* Get_QDGlobals_White(Pattern* pat);

// ---- Callbacks --------------------------------------------------------------

ModalFilterUPP New_Modal_Filter(ModalFilterProcPtr proc);
void Dispose_Modal_Filter(ModalFilterUPP filter);
// A user item's drawing procedure, and its disposal.
UserItemUPP New_Routine_Descriptor(UserItemProcPtr proc);
void User_Dispose_Fanction(UserItemUPP proc);
ControlActionUPP New_Control_Action(ControlActionProcPtr proc);
AEEventHandlerUPP New_AEEvent_Handler(AEEventHandlerProcPtr proc);

// ---- Port text (the setters keep the current port) ----------------------------

short CGetPort_TextFont(CGrafPtr port);
Style CGetPort_TextFace(CGrafPtr port);
short CGetPort_TextSize(CGrafPtr port);
void CSetPort_TextFont(CGrafPtr port, short font);
void CSetPort_TextFace(CGrafPtr port, StyleParameter face);
void CSetPort_TextSize(CGrafPtr port, short size);

// ---- Content colour ---------------------------------------------------------

// Erases the window's whole port rectangle with its content colour, which
// stays the port's background colour. The current port is kept.
void Set_Content_Color(WindowRef window);
void Set_Content_Color(DialogRef dialog);

// ---- Modal dialogs and updates ------------------------------------------------

// Erases the dialog in its window's content colour, shows it and runs the
// modal dialog with the filter until an item is hit; the port is restored.
void Show_Modal_Dialog(DialogRef dialog, ModalFilterUPP filter, DialogItemIndex* item);
// Lets what was drawn reach the screen now. No event is taken, so nothing
// the user does meanwhile is lost.
void Force_Update_Window();

// What the status and information pages show besides the status picture:
// the buttons' captions, the comment and information text views, the
// information pop-up, the message wrapped into its item, the power icon,
// the ink names and drum size, the error view, and saving the information
// text to a file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Monitor/StatusWindow.h"

// A message or comment key of the display record (length-prefixed).
std::string Display_Key(const UInt8* field);
// Captions buttons 1-3 from "[BUTTON]" of the language ini.
void Set_Status_Machine_Info(DialogRef dlg);
// The comment view in item 7 of the status page and the information view
// in item 6 of the information page: made the first time, shown after.
void Comment_TextEdit(STATUS_WND_INFO* rec);
void Detail_TextEdit(STATUS_WND_INFO* rec);
// A press on a view: 1 when it was inside the view (which scrolls).
short Comment_Scroll_Action(STATUS_WND_INFO* rec, EventRecord* event);
short Detail_Scroll_Action(STATUS_WND_INFO* rec, EventRecord* event);
// The information pop-up of "[COMBO]" "COM01=".."COM10=" (up to the first
// missing text), made from control resource ctrl over the item; its value
// the active item, 1 when that is beyond the texts.
void Set_Popup_Menu(STATUS_WND_INFO* rec, DialogItemIndex item, SInt16 ctrl, SInt16 active);
// Hides the controls of the page left (index 0-2).
void Main_Change_Page(STATUS_WND_INFO* rec, SInt16 page);
// The page callbacks of the status and information pages: their load
// (the views made or shown) and their items.
void Setup_Main_Load_Value(DialogRef dlg);
void Setup_Detail_Load_Value(DialogRef dlg);
Boolean Status_Main_Select_Item(DialogRef dlg, EventRecord* event, DialogItemIndex item);
Boolean Status_Detail_Select_Item(DialogRef dlg, EventRecord* event, DialogItemIndex item);
// The information view's text, at most 16000 bytes.
std::string Get_TextEdit_Data(CEDIT_DATA* view);
// Captions an item from an ini value ("???" when the key is missing).
short Set_String_To_ItemEx(DialogRef dlg, DialogItemIndex item, const char* key, const char* section, const char* file);
// Disposes the views (the window is closing).
void Dispose_Page_Views(STATUS_WND_INFO* rec);

// The display record, picture and texts for the decoded state.
void GetDispStat(STATUS_WND_INFO* rec);
// The information text for the pop-up's choice, put into the view only when
// it differs from the text shown.
void GetDispInfo(STATUS_WND_INFO* rec);
// clear: the information text emptied; else its scroll bar brought up to date.
void DispInfoDialog(STATUS_WND_INFO* rec, short clear);
// A change of the pop-up's choice while data are shown; 1 when taken.
short Set_Data_Action(STATUS_WND_INFO* rec);
// The error view of a printer that stopped answering.
void Get_Error_Status(STATUS_WND_INFO* rec);
void Draw_Error_Status(STATUS_WND_INFO* rec);

// Item painted white, the error icon at its left when non-zero, the text
// wrapped into the rest in size 12.
void Draw_String_From_Item(DialogRef dlg, DialogItemIndex item, const std::string& text, SInt16 errIcon);
// The lines a text takes in a width in the current port's font: cut at the
// script's line breaks into at most 127 pieces, at most maxLines lines, the
// last one shortened with an ellipsis when the text needs more.
std::vector<std::string> Text_Rect_Lines(const std::string& text, short width, int maxLines);
void DrawTextRect(const std::string& text, const Rect* r);

// The page's texts for ink names (items 20, 25) and drum size (item 18).
void Ink_Name_Texts(const VEMOINFO& info, std::string* first, std::string* second);
std::string Drum_Size_Text(const VEMOINFO& info);

// Saves the information text (at most 16000 bytes) where the user chooses;
// 1 saved, 0 cancelled or failed.
short Save_Infolog_File(STATUS_WND_INFO* rec);

// Fonts and colours of the windows, read from section "[FONT]" of the
// language ini file, and the path format of the language ini files from the
// bundle's localised strings.
//
// A font value holds up to five comma-separated fields: name, size, style
// word, text colour word, background colour word, e.g.
// "Osaka,12,BOLD,RED,WHITE". Missing trailing fields take the defaults
// (default size, "NORMAL", "BLACK", "WHITE"); an empty value is the system
// font with the same defaults. Fields are taken as they stand, and a run of
// commas counts as one separator. Words are compared exactly.
#pragma once

#include <cstddef>

#include "toolbox/dialogs.h"
#include "toolbox/quickdraw.h"
#include "toolbox/types.h"

struct FONT_DATA {
  char fName[128];      // font name as written in the value
  UInt16 fontID;        // its font number
  UInt16 fSize;         // point size
  char fStyle[32];      // style word
  UInt16 styleID;       // style bits of the word
  char foreColor[128];  // text colour word
  UInt16 foreClrID;     // index of the text colour word
  char backColor[128];  // background colour word
  UInt16 backClrID;     // index of the background colour word
  FontInfo fInfo;       // metrics of the font in this face and size
};

// Indexes of the colour words, as foreClrID and backClrID hold them.
enum : UInt16 {
  kFontBlack = 0,
  kFontBlue = 1,
  kFontRed = 2,
  kFontYellow = 3,
  kFontGreen = 4,
  kFontLightBlue = 5,
  kFontViolet = 6,
  kFontWhite = 7,
};

// Reads the key (with its "=") from section "[FONT]" of the ini file named
// by file (a name relative to the program's folder or a full path; null:
// the language ini file IniFileName) and fills the record with
// Get_Font_Data and Get_Font_Details. A missing key leaves the record as it
// was. Returns 1.
short Get_Font_Infomation(const char* key, FONT_DATA* font, const char* file = nullptr);
// Splits a font value into the record's name, size, style and colour
// words, with the defaults for missing fields; returns 1.
short Get_Font_Data(const char* value, FONT_DATA* font);
// Sets fontID from the name, styleID and the colour indexes from their
// words (an unknown word leaves its field unchanged), and fInfo from the
// metrics of that font, face and size in the current port, whose font, face
// and size are 0 afterwards. Returns 1.
short Get_Font_Details(FONT_DATA* font);

// The style bits of a style word, -1 for an unknown word.
int Font_Style_Bits(const char* word);
// The index of a colour word, -1 for an unknown word.
int Font_Color_Index(const char* word);
// The colour of an index as foreClrID and backClrID hold it; an index past
// the words is black.
RGBColor Font_Color_RGB(UInt16 index);

// The main bundle's localised string for "LANGUAGE_PATH" (the key itself
// when the bundle has none): the format that turns an ini file's base name
// into the path of the language's copy. At most size bytes with the NUL, in
// the system encoding; 1 when it fitted, 0 when it was cut or out is null.
short Get_Localize_Strings(char* out, std::size_t size);

// ---- Group boxes --------------------------------------------------------------
// DrawGroup sits with the font record rather than with the other dialog-item
// drawing (506Q_Lib/DialogItems.h) because it reads the ini file, and the
// bridge stays below the foundation.

// The group box around groupItem, then the value of key in section of the
// ini file as its title in titleItem's rectangle (left + 2, centred, the
// text's area cleared first) in the font's number, style and size; the
// port's font, face and size are restored.
void DrawGroup(DialogRef dialog, const FONT_DATA* font, DialogItemIndex groupItem, DialogItemIndex titleItem,
               const char* section, const char* key, const char* iniFile);

// The disc start menu (setup): one window of picture buttons whose pictures,
// texts, positions and targets come from "UserLangu.ini" in the program's
// Resources folder and one "MENU.INI" per language.
//
// This header holds the records and tables of the menu and the routines
// that read them, choose the screens, draw them, track the mouse and act on
// clicks. Paths of menu files and pictures are HFS partial paths from the
// program's own folder (Contents/MacOS), on every path that reads them;
// menu targets are partial paths from the folder of "UserLangu.ini".
#pragma once

#include <cstddef>

#include "toolbox/dialogs.h"
#include "toolbox/quickdraw.h"
#include "toolbox/types.h"

// Screen codes.
enum : SInt16 {
  kScreenMain = -1,
  kScreenLanguage = -2,
  kScreenCommon = -4,
  kScreenSubMenu = -5,
};

// Slots of the fixed-button table.
enum : short { kFixedExit = 0, kFixedBack = 1, kFixedBackToLang = 2, kFixedCount = 8 };

constexpr short kMainMenuSlots = 10;
constexpr short kMainMenuRead = 5;  // only [MAIN_MENU_0] to [MAIN_MENU_4]
constexpr short kSubMenuSlots = 20;
constexpr short kSubMenuActive = 10;  // only the first ten entries act on a click
constexpr short kCommonSlots = 10;
constexpr short kLangSlots = 20;
constexpr std::size_t kLaunchOptionMax = 23;

// A background picture and its bounds.
struct GINFO {
  GWorldPtr world;
  Rect bounds;
};

// One entry of the main menu, a sub-menu or the common menu.
struct MENU_DATA {
  UInt8 enable;
  Point pos;
  Str255 label;
  char obj[128];
  char lang[64];
  UInt8 cont;
  UInt8 strong;
  Rect strRect;
  GWorldPtr normal;
  GWorldPtr select;
  GWorldPtr icon;
  Rect btnRect;
};

// One language button.
struct LANG_DATA {
  SInt16 number;
  char name[16];
  FSSpec menuFile;
  GWorldPtr normal;
  GWorldPtr select;
  Rect rect;
};

// One fixed button (exit, back, back-to-language), composed over the
// language screen's background.
struct COMMON_DATA {
  GWorldPtr normal;
  GWorldPtr select;
  Rect rect;
};

// The start-up record.
struct AUTORUN_INFO {
  FSSpec languFile;
  char type[8];
  UInt8 autoLang;
  UInt8 langScreen;
  SInt16 langNumber;
  char langName[24];
  FSSpec menuFile;
  UInt8 menuFileSet;  // menuFile names a file chosen for the current language
};

// The colours of a sub-menu's labels, replaced whenever a sub-menu is read.
struct MENU_COLOR_SET {
  char fontKey[16];
  UInt8 fontSet;
  RGBColor sColor, sShadow, nColor, nShadow;
  UInt8 sColorSet, sShadowSet, nColorSet, nShadowSet;
};

// A font of this program's ini files: seven comma-separated fields, name,
// size, style word, shadow offset x, shadow offset y, colour word,
// background colour word.
struct MENU_FONT {
  short fontID;
  short size;
  Style style;
  short dx, dy;
  RGBColor fore;
  RGBColor back;
  FontInfo info;
};

// ---- Globals --------------------------------------------------------------

extern AUTORUN_INFO gAutorunInfo;
extern SInt16 gActivePNum;
extern short contentItem;
extern short gItem;
extern short langItem;
extern UInt8 setDialogUpdate;
extern UInt8 gCheckCursor;
extern MENU_DATA iContents[kMainMenuSlots];
extern MENU_DATA iManual[kSubMenuSlots];
extern MENU_DATA iCommon[kCommonSlots];
extern LANG_DATA gLangTbl[kLangSlots];
extern short gLangCount;
extern COMMON_DATA gCommonTbl[kFixedCount];
extern GINFO gLangGInfo, gSelectGInfo, gWindowGInfo;
extern MENU_COLOR_SET gMenuColor;
extern DialogRef autoWndPtr;
extern Boolean gQuitFlag;
// The running system's version as the menu compares it (0x1060 to 0x10A0).
extern UInt16 gSystemVersion;
// Default pictures of the main-menu buttons ([MAIN_MENU] of
// "UserLangu.ini"): paths, one triple per slot, empty when not given.
extern char gDefaultButton[kMainMenuSlots][3][256];

// ---- Start-up and screens -------------------------------------------------

// The whole program: start-up, the window on its first screen, the event
// loop until the user quits, and the clean-up; the exit status.
int Run_Setup();

// "::Resources:UserLangu.ini", from the program's folder.
extern const char LanguFileName[];
// The program's variables: the menu file's name "MENU.INI" (IniFileName of
// the foundation's globals).
void Initialize_Variables();

// Clears the start-up record, makes the file spec of "::Resources:UserLangu.ini"
// from the program's folder and reads TYPE= (at most 7 characters): "A"
// sets both flags, "L" the language-screen flag. 0 when the file cannot be
// found.
short Get_Autorun_Start_Infomation();
// Loads the three backgrounds, composes the fixed buttons and, with the
// language-screen flag, builds the language buttons. 0 when the main-menu
// or sub-menu background is missing.
short Initialize_GWorld();
// One fixed button from its picture keys and position key.
void Get_Autorun_Data(COMMON_DATA* button, const char* bmpKey, const char* bmp2Key, const char* posKey);
// One language button from its section of "UserLangu.ini".
void Get_Lang_Data(LANG_DATA* lang, const char* section, short index);
// The first screen, with the current menu file and language chosen (no
// window is made). -1 or -2.
SInt16 Choose_First_Screen();
// Chooses the first screen, reads the main menu and opens the window
// (dialog 130). 0 when the window cannot be made.
short Open_Main_Window();
// The system language's menu file from [LANG_AUTO]: 1 found (or the
// default taken), -1 for a code outside the accepted list, 0 when neither
// the code nor DEFAULT= is there.
short Get_System_Language();
short Get_Default_Language();
// Reads [MAIN_MENU_0] to [MAIN_MENU_4] of the current menu file.
void Get_Contents_Keywoad();
// The running system's version from the Core Foundation version number.
UInt16 Get_System_Version();
// Clears and disposes an entry table.
void Clear_Menu_Table(MENU_DATA* table, short count);
// Disposes every picture of the program.
void Dispose_All_GWorld();

// The only place the screen changes: clears the highlighted language or
// entry, clears the sub-menu table unless the new screen is -5, and asks for
// a redraw.
void Change_Autorun_Screen(SInt16 screen, const char* why);
// Whether the fixed button is drawn, and whether it acts, on the current
// screen under the current TYPE.
bool Fixed_Button_Drawn(short slot);
bool Fixed_Button_Acts(short slot);
// The fixed button under the window point (only those drawn), -1 none.
short Find_Fixed_Button(Point local);
// The screen's own button or entry under the window point, -1 none.
short Find_Screen_Button(Point local);
// A click at the window point.
void Handle_Autorun_Select_Item(Point local);
// Draws the whole current screen into the window.
void Handle_Autorun_Window_Update();
// Follows the mouse: highlights the button under it and sets the cursor.
void Handle_Autorun_Window_Active();
// The quit path of the menu item and the exit button: asks with EXITMESS=
// when the menu file has one. True when the program is to quit.
bool Autorun_Quit_Asked();

// ---- Fonts ------------------------------------------------------------------

// Reads a seven-field font value; missing trailing fields keep the
// defaults (system font, 12, plain, no shadow, black on white). The
// metrics are those of the current port.
void Get_Menu_Font(const FSSpec* menuFile, const char* key, MENU_FONT* font);
// A colour word, or false.
bool Color_Word(const char* word, RGBColor* colour);
// Three numbers r,g,b (0-255 each, times 256), or false.
bool Color_Numbers(const char* text, RGBColor* colour);
// Draws a label (CR for a line break) with its top-left at the rectangle's
// top-left, offset by (dh, dv).
void Draw_Label(ConstStr255Param label, const Rect* rect, const MENU_FONT* font, const RGBColor* colour, short dh,
                short dv);
// The rectangle a label takes at pos in that font.
Rect Label_Rect(ConstStr255Param label, Point pos, const MENU_FONT* font);
// Every pixel Draw_Label can touch with that font and offset, overhang of
// bold and slanted faces included.
Rect Label_Bounds(ConstStr255Param label, const Rect* rect, const MENU_FONT* font, short dh, short dv);

// ---- Items and launching ------------------------------------------------------

// File kinds.
enum : short { kFileMissing = -1, kFileOther = 0, kFileText = 1, kFileOtherApp = 2, kFilePDF = 3, kFileSuiteApp = 202 };
short Get_File_Type(const FSSpec* spec);
// An entry whose target begins "GO_" reads the sub-menu "[MENU%d]" into the table (result 1);
// any other target is opened (result 0).
short Get_Menu_Keywoad(const MENU_DATA* entry, MENU_DATA* table, short count);
// Main-menu button 10 + i; sub-menu entry 50 + i.
void Go_To_Select_Command(short command);
void Go_To_Common_Command(short command);
// The launch option sent for an entry: "" without one, option and language
// name under TYPE "A" or "L", option and a blank otherwise; at most 23
// bytes, cut on a character boundary. Returned as a length-prefixed string.
void Make_Launch_Option(const MENU_DATA* entry, Str255 out);
// Starts one of the suite's programs with the launch event; 0 success.
OSErr Go_To_Exec_Command(const MENU_DATA* entry);
// The target's file spec from the folder of "UserLangu.ini".
OSErr Make_Target_Spec(const char* obj, FSSpec* spec);
// Alert 602 with ERRORMES2= and one OK= button.
void Menu_Command_Error();
// The Yes/No question; the item pressed.
short Set_Alert_Dialog_Items_YesNo(short dialogID, short kind, const FSSpec* menuFile, ConstStr255Param text,
                                   ConstStr255Param p1, ConstStr255Param p2, ConstStr255Param p3);
// Draws a sub-menu entry's label, selected or normal, in that state's font
// (Get_Sub_Menu_Font).
void Draw_Mouse_In_Rect(const MENU_DATA* entry, bool selected, const MENU_FONT& font);
// The font of a sub-menu label, selected or normal, as the menu file names it.
void Get_Sub_Menu_Font(bool selected, MENU_FONT* font);

// ---- Ini helpers --------------------------------------------------------------

// The value of key in section of the file; empty and false when missing.
bool Read_Ini(const FSSpec* file, const char* section, const char* key, char* out, int size);
// The file spec of an HFS partial path from the program's folder.
OSErr Make_Program_Spec(const char* path, FSSpec* spec);
// "x,y" as a point; false when not two numbers.
bool Read_Point(const char* text, Point* pt);
// Loads a BMP picture named by a key's path; null when the key is missing,
// the path ends in "NONE.BMP" or the file is not a picture.
GWorldPtr Load_Picture(const char* path);
// Copies text into a fixed field of size bytes, cut on a character boundary.
void Copy_Cut(char* out, std::size_t size, const char* text);

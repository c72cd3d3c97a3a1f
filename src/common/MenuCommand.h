// Extra menu commands described in a menu-definition text file (the file
// named by MonFileName): a title, a program or document to start, its
// options, an icon and a shortcut.
//
// An item is described by a line that contains its key, then a title line
// "MENU_STR=" title, then optionally, each on its own line and in this
// order, "EXEC=", "OPTION=", "ICON=" (decimal), "TYPE=" and "SHORT=". A key
// that contains "---" stands for a separator. Lines hold at most 127
// characters; the rest of a longer line is not read.
//
// A program with a command table of another shape (the administration
// program) leaves this module out.
#pragma once

#include "toolbox/types.h"

struct MENUINFO {
  char cSysMen[32];
  char cPopMen[32];    // the item's key, the text looked for in the file
  char cExec[32];      // what to start
  char cOption[32];    // its option text
  SInt32 iIcon;        // icon number
  char cType[32];      // kind of the target
  Str255 cTotalMen;    // the item's title
  char cShortCut[2];   // the shortcut character and a NUL
};

constexpr int kMenuInfoMenus = 3;
constexpr int kMenuInfoItems = 5;
extern MENUINFO MeInfo[kMenuInfoMenus][kMenuInfoItems];

// Fills MeInfo[menu][item] from the menu-definition file for the key the
// program put in its cPopMen. A separator key gives the title "---" without
// the file being read. When the key occurs more than once, the last
// description wins (fields it lacks keep what earlier ones gave). Values are
// the text after their key without the line end, cut to their field on a
// character boundary; the title is cleaned with DeleteAnd. Nothing happens
// for indexes outside the table, an empty key, or a file that cannot be
// read.
void CommandMenu(short menu, short item);

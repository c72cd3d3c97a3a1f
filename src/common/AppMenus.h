// Menus: the menu-choice dispatch of the programs, enabling and checking
// items, the status monitor's rule for which File-menu items are available,
// and the two cleaners that turn ini texts into menu titles.
//
// A menu choice is the menu id in the high 16 bits and the item number in
// the low 16; 0 is no choice. A program whose menus take another shape
// (the administration program) brings its own Handle_Menu_Choice and
// Setup_Menu_Status and leaves MenuChoice.cpp out.
#pragma once

#include <cstddef>

#include "toolbox/types.h"

enum : SInt16 {
  kAppleMenuID = 128,   // the application menu
  kFileMenuID = 129,    // File
  kOptionMenuID = 130,  // the window list in the status monitor, options elsewhere
};

// 0 does nothing. Otherwise highlights the menu's title, hands the item to
// Handle_Apple_Menu (128), the program's Handle_File_Menu (129) or
// Handle_Option_Menu (130), and removes the highlight.
void Handle_Menu_Choice(long menuChoice);
// Item 1 opens the about box; any other item names a desk accessory, which
// does not exist here.
void Handle_Apple_Menu(short item);
// The status monitor's rule: File items 2, 3 and 5 and the Quit command are
// available while a status window is open and neither a configuration
// dialog nor an FTP send window is; then the menu bar is redrawn. The
// windows of the shared libraries call it after opening or closing.
void Setup_Menu_Status();

// Enables (non-zero) or disables an item of the menu with that id; nothing
// when the menu is not in the bar.
void Menu_Select_Enable(SInt16 menuID, short item, short enable);
// Checks item window + 1 of menu 130 and unchecks every other item.
void Check_Window_Menu(short window);

// Copies text up to its first "(" leaving out every "&" and double quote;
// at most outSize bytes with the NUL, cut on a character boundary. Returns
// the length written.
int DeleteAnd(char* out, const char* text, std::size_t outSize);
template <std::size_t N>
int DeleteAnd(char (&out)[N], const char* text) {
  return DeleteAnd(out, text, N);
}
// Copies text leaving out every "/" (the Menu Manager reads "/" as a
// Command key), bounded the same way.
int DeleteSlh(char* out, const char* text, std::size_t outSize);
template <std::size_t N>
int DeleteSlh(char (&out)[N], const char* text) {
  return DeleteSlh(out, text, N);
}

// The about box, defined with the alerts.
void Open_About_Dialog();

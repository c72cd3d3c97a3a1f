// Menu Manager: the menu bar at the top of the screen, menus from 'MENU'
// resources or built at run time, mouse tracking, Command-key equivalents
// and pop-up menus. A menu choice is the menu id in the high 16 bits and the
// item number in the low 16; 0 means no choice.
//
// The bar always starts with the application menu, titled with the
// program's name and holding its Quit command (command id 'quit',
// Command-Q). Choosing a command of the application menu goes to the menu
// command handler (tb::SetMenuCommandHandler) instead of being returned.
#pragma once

#include "toolbox/cfstring.h"
#include "toolbox/events.h"
#include "toolbox/quickdraw.h"
#include "toolbox/types.h"

struct MenuRecord;  // opaque
using MenuRef = MenuRecord*;
using MenuHandle = MenuRef;
using MenuID = SInt16;
using MenuItemIndex = UInt16;
using MenuCommand = UInt32;
using CharParameter = SInt16;
using MenuBarHandle = Handle;
using MenuItemAttributes = UInt32;

enum : MenuItemAttributes { kMenuItemAttrDisabled = 1 << 0, kMenuItemAttrSeparator = 1 << 6 };

enum : MenuCommand {
  kHICommandQuit = 'quit',
  kHICommandAbout = 'abou',
};

// Mark characters.
enum : CharParameter { noMark = 0, checkMark = 0x12, diamondMark = 0x13 };

enum : MenuID {
  // The application menu and the system Help menu keep ids no program uses.
  kApplicationMenuID = -16500,
  kHMHelpMenuID = -16490,
};

enum : SInt16 { hierMenu = -1 };

// Making and disposing menus.
MenuRef NewMenu(MenuID menuID, ConstStr255Param menuTitle);
// A menu from the 'MENU' resource of that id; null when there is none.
MenuRef GetMenu(short resourceID);
void DisposeMenu(MenuRef menu);
void DeleteMenuItems(MenuRef menu, MenuItemIndex firstItem, UInt32 numItems);

// Items. AppendMenu and InsertMenuItem read the item text's
// metacharacters: ';' or Return separates items, '^' icon, '!' mark,
// '<' style, '/' Command key, '(' disabled, and a text starting with '-' is
// a divider line. The *Text forms take the text literally.
void AppendMenu(MenuRef menu, ConstStr255Param data);
void MacAppendMenu(MenuRef menu, ConstStr255Param data);
void InsertMenuItem(MenuRef menu, ConstStr255Param itemString, short afterItem);
OSStatus AppendMenuItemText(MenuRef menu, ConstStr255Param inString);
OSStatus InsertMenuItemText(MenuRef menu, ConstStr255Param inString, MenuItemIndex afterItem);
void DeleteMenuItem(MenuRef menu, short item);
UInt16 CountMenuItems(MenuRef menu);
short CountMItems(MenuRef menu);
// Desk accessories and other resource menus do not exist here: adds nothing.
void AppendResMenu(MenuRef menu, ResType theType);

void SetMenuItemText(MenuRef menu, short item, ConstStr255Param itemString);
// Item texts from strings, taken literally (no metacharacters) and cut to
// 255 bytes on a character boundary. The Copy forms give a new string the
// caller releases.
OSStatus SetMenuItemTextWithCFString(MenuRef menu, MenuItemIndex item, CFStringRef text);
OSStatus CopyMenuItemTextAsCFString(MenuRef menu, MenuItemIndex item, CFStringRef* text);
OSStatus AppendMenuItemTextWithCFString(MenuRef menu, CFStringRef text, MenuItemAttributes attributes,
                                        MenuCommand commandID, MenuItemIndex* outNewItem);
OSStatus InsertMenuItemTextWithCFString(MenuRef menu, CFStringRef text, MenuItemIndex afterItem,
                                        MenuItemAttributes attributes, MenuCommand commandID);
OSStatus SetMenuTitleWithCFString(MenuRef menu, CFStringRef title);
void GetMenuItemText(MenuRef menu, short item, Str255 itemString);
void SetItemCmd(MenuRef menu, short item, CharParameter cmdChar);
void GetItemCmd(MenuRef menu, short item, CharParameter* cmdChar);
void SetItemMark(MenuRef menu, short item, CharParameter markChar);
void GetItemMark(MenuRef menu, short item, CharParameter* markChar);
void CheckMenuItem(MenuRef menu, short item, Boolean checked);
void CheckItem(MenuRef menu, short item, Boolean checked);
void SetItemStyle(MenuRef menu, short item, StyleParameter chStyle);

// Item 0 stands for the whole menu.
void EnableMenuItem(MenuRef menu, MenuItemIndex item);
void DisableMenuItem(MenuRef menu, MenuItemIndex item);
void EnableItem(MenuRef menu, short item);
void DisableItem(MenuRef menu, short item);
Boolean IsMenuItemEnabled(MenuRef menu, MenuItemIndex item);

OSStatus SetMenuItemCommandID(MenuRef menu, MenuItemIndex item, MenuCommand commandID);
OSStatus GetMenuItemCommandID(MenuRef menu, MenuItemIndex item, MenuCommand* commandID);
// With a null menu, every menu of the bar (the application menu included)
// is searched for the command.
void EnableMenuCommand(MenuRef menu, MenuCommand commandID);
void DisableMenuCommand(MenuRef menu, MenuCommand commandID);
Boolean IsMenuCommandEnabled(MenuRef menu, MenuCommand commandID);
OSStatus GetIndMenuItemWithCommandID(MenuRef menu, MenuCommand commandID, UInt32 index,
                                     MenuRef* outMenu, MenuItemIndex* outIndex);

MenuID GetMenuID(MenuRef menu);
void SetMenuTitle(MenuRef menu, ConstStr255Param title);
void GetMenuTitle(MenuRef menu, Str255 title);

// The menu bar.
void InsertMenu(MenuRef menu, MenuID beforeID);
void MacInsertMenu(MenuRef menu, MenuID beforeID);
void DeleteMenu(MenuID menuID);
MenuRef GetMenuHandle(MenuID menuID);
MenuRef GetMenuRef(MenuID menuID);
void ClearMenuBar();
void DrawMenuBar();
void InvalMenuBar();
// A menu bar from an 'MBAR' resource (a count, then the menu ids): the
// menus are loaded and the bar handle returned, the current bar unchanged.
MenuBarHandle GetNewMBar(short menuBarID);
void SetMenuBar(MenuBarHandle mbar);
MenuBarHandle GetMenuBar();
short GetMBarHeight();
void HiliteMenu(MenuID menuID);

// Tracks the mouse from a press in the menu bar; the chosen menu's title is
// left highlighted (HiliteMenu(0) removes it).
long MenuSelect(Point startPt);
// The enabled item whose Command key is ch (letters match either case).
long MenuKey(CharParameter ch);
// MenuKey for a key-down event with the Command key; 0 otherwise.
UInt32 MenuEvent(const EventRecord* event);
// Shows the menu with item popUpItem at (top, left) in global coordinates
// and tracks the mouse until the button is released.
long PopUpMenuSelect(MenuRef menu, short top, short left, short popUpItem);

// The system Help menu at the end of the bar; firstCustomItemIndex is the
// first item a program may add.
OSStatus HMGetHelpMenu(MenuRef* outHelpMenu, MenuItemIndex* outFirstCustomItemIndex);
// Whether help tags show. Nothing draws help tags here; the flag is kept
// (off at start) so that a program's setting can be read back.
OSStatus HMSetHelpTagsDisplayed(Boolean inDisplayTags);
Boolean HMAreHelpTagsDisplayed();

// Desk accessories do not exist here.
short OpenDeskAcc(ConstStr255Param deskAccName);

namespace tb {

// Receives the commands chosen from the application menu (the Quit command
// 'quit') before anything else; returns true when it handled the command (a
// program run by command events installs one). Unhandled, Quit sends the
// program its own 'aevt'/'quit' Apple event.
using MenuCommandHandler = bool (*)(MenuCommand command);
void SetMenuCommandHandler(MenuCommandHandler handler);
MenuCommandHandler GetMenuCommandHandler();
// Carries out an application-menu command as choosing it does; true when
// it was handled or sent.
bool RunMenuCommand(MenuCommand command);

// Geometry, for the test driver: the title of a menu in the bar, and the
// rectangle of one item of that menu when pulled down (global).
bool MenuTitleRect(MenuID menuID, Rect* r);
bool MenuItemRect(MenuID menuID, MenuItemIndex item, Rect* r);
// The item rectangle of a pop-up menu shown by PopUpMenuSelect (or, for a
// box that wide, by PopUpMenuSelectFrom).
bool PopUpItemRect(MenuRef menu, short top, short left, short popUpItem, MenuItemIndex item, Rect* r,
                   short boxWidth = 0);
// PopUpMenuSelect for a pop-up button: the menu at least as wide as its box
// (global), where a press while the menu is open closes it again.
long PopUpMenuSelectFrom(MenuRef menu, short top, short left, short popUpItem, const Rect& box);
// The menu open on the screen now, being chosen from (null when none).
MenuRef ShownMenu();
// The menu id currently highlighted in the bar (0 none).
MenuID HilitedMenu();
// Drops every menu and the bar (tests).
void ResetMenus();

}  // namespace tb

// Dialog Manager: windows whose contents are a numbered list of items —
// buttons, check boxes, radio buttons and other controls, static and edit
// text, icons, pictures and user items — made from 'DLOG' and 'DITL'
// resources (see tools/rezc/README.md for their layout), with the event
// handling of modeless (IsDialogEvent, DialogSelect) and modal
// (ModalDialog) dialogs.
//
// Control items are controls of the Control Manager in the dialog's window;
// edit-text items are TextEdit records (toolbox/textedit.h) drawn in the
// dialog's port, one of which has the keyboard focus. Static and edit text
// are drawn in the port's font as it is when they are drawn, so a font set
// on the dialog's port applies to them. Static text shows the ParamText
// texts in place of ^0 to ^3.
//
// A hidden item keeps its number; GetDialogItem reports its rectangle moved
// 16384 pixels to the right, as it always was.
//
// Item lists read from resources are checked before use: a list that is
// cut short, claims more items than it holds or has a rectangle whose
// bottom or right lies before its top or left is refused whole.
#pragma once

#include <string>
#include <vector>

#include "toolbox/controls.h"
#include "toolbox/events.h"
#include "toolbox/quickdraw.h"
#include "toolbox/textedit.h"
#include "toolbox/types.h"
#include "toolbox/windows.h"

struct DialogRecord;  // opaque
using DialogRef = DialogRecord*;
using DialogPtr = DialogRef;
using DialogItemIndex = SInt16;
using DialogItemIndexZeroBased = SInt16;
using DialogItemType = SInt16;
using DITLMethod = SInt16;

// Item kinds (a control item is ctrlItem plus its control kind).
enum : DialogItemType {
  userItem = 0,
  ctrlItem = 4,
  btnCtrl = 0,
  chkCtrl = 1,
  radCtrl = 2,
  resCtrl = 3,
  statText = 8,
  editText = 16,
  iconItem = 32,
  picItem = 64,
  itemDisable = 128,
  kUserDialogItem = 0,
  kButtonDialogItem = 4,
  kCheckBoxDialogItem = 5,
  kRadioButtonDialogItem = 6,
  kResourceControlDialogItem = 7,
  kStaticTextDialogItem = 8,
  kEditTextDialogItem = 16,
  kIconDialogItem = 32,
  kPictureDialogItem = 64,
  kItemDisableBit = 128,
};

enum : DialogItemIndex { ok = 1, cancel = 2, kStdOkItemIndex = 1, kStdCancelItemIndex = 2 };

// AppendDITL methods. A negative method -n places the new items relative
// to item n as appendDITLRight does relative to the whole dialog.
enum : DITLMethod {
  overlayDITL = 0,      // the new items keep their own coordinates
  appendDITLRight = 1,  // moved to the right of the dialog's items
  appendDITLBottom = 2, // moved below them
};

// Filters and user items. The UPP forms are the plain function pointers.
using ModalFilterProcPtr = Boolean (*)(DialogRef theDialog, EventRecord* theEvent, DialogItemIndex* itemHit);
using ModalFilterUPP = ModalFilterProcPtr;
using UserItemProcPtr = void (*)(DialogRef theDialog, DialogItemIndex itemNo);
using UserItemUPP = UserItemProcPtr;
inline ModalFilterUPP NewModalFilterUPP(ModalFilterProcPtr proc) { return proc; }
inline void DisposeModalFilterUPP(ModalFilterUPP) {}
inline Boolean InvokeModalFilterUPP(DialogRef d, EventRecord* e, DialogItemIndex* item, ModalFilterUPP upp) {
  return upp ? upp(d, e, item) : Boolean(false);
}
inline UserItemUPP NewUserItemUPP(UserItemProcPtr proc) { return proc; }
inline void DisposeUserItemUPP(UserItemUPP) {}

// ---------------------------------------------------------------------------
// Making and disposing

// From 'DLOG' dialogID and the 'DITL' it names: the window (in front of
// behind's window, or in front of all for (WindowRef)-1, or behind all for
// null), its items, shown when the resource says visible. storage is
// ignored. Null when a resource is missing or damaged.
DialogRef GetNewDialog(SInt16 dialogID, void* storage, WindowRef behind);
// A dialog from its window's details and an item list in 'DITL' layout
// (the dialog takes a copy; the caller keeps items).
DialogRef NewDialog(void* storage, const Rect* boundsRect, ConstStr255Param title, Boolean visible,
                    SInt16 procID, WindowRef behind, Boolean goAwayFlag, SInt32 refCon, Handle items);
DialogRef NewColorDialog(void* storage, const Rect* boundsRect, ConstStr255Param title, Boolean visible,
                         SInt16 procID, WindowRef behind, Boolean goAwayFlag, SInt32 refCon, Handle items);
// Disposes the items, their controls and the window.
void DisposeDialog(DialogRef theDialog);

WindowRef GetDialogWindow(DialogRef dialog);
// Null for a window that is not a dialog's.
DialogRef GetDialogFromWindow(WindowRef window);
CGrafPtr GetDialogPort(DialogRef dialog);
void SetPortDialogPort(DialogRef dialog);

// ---------------------------------------------------------------------------
// Events

// Whether the event is for a dialog: an update or activate of a dialog's
// window, a press in the content of the front window when it is a dialog,
// and keys, releases and null events while the front window is a dialog.
Boolean IsDialogEvent(const EventRecord* theEvent);
// Handles a dialog event:
// - a press on an item: controls are tracked (TrackControl), a press in an
//   edit item moves the keyboard focus there and places the caret; true
//   with the dialog and item when an enabled item was hit (for controls,
//   when released over them);
// - keys go to the front dialog's focused edit item (true, with that item,
//   when it is enabled); Tab and Shift-Tab move the focus; Command-X, C, V
//   and A cut, copy, paste and select all; other Command keys are left
//   alone;
// - null events blink the caret; activate events activate the focused edit
//   item; update events redraw the dialog.
Boolean DialogSelect(const EventRecord* theEvent, DialogRef* theDialog, DialogItemIndex* itemHit);
// Runs the front dialog modally until an item is hit. Every event goes to
// the filter first, which may change it or answer an item (true). Events
// the filter leaves: Return or Enter answer the default item and Escape or
// Command-period the cancel item (when set, with the button flashed);
// presses outside the dialog's content are ignored (dragging the dialog
// and beeping at other windows are left to the filter); update events of
// other windows left by the filter are drawn when they are dialogs and
// otherwise emptied; the rest goes to DialogSelect. The wait is WaitNextEvent's, so descriptors registered
// with tb::WatchFD keep being served.
void ModalDialog(ModalFilterUPP modalFilter, DialogItemIndex* itemHit);

// Draws every visible item, then the default item's ring.
void DrawDialog(DialogRef theDialog);
// The same for the items that meet the region (the port's local
// coordinates); null draws them all.
void UpdateDialog(DialogRef theDialog, RgnHandle updateRgn);

// ---------------------------------------------------------------------------
// Items

DialogItemIndex CountDITL(DialogRef theDialog);
// Removes the last numberItems items (controls and text records with them).
void ShortenDITL(DialogRef theDialog, DialogItemIndex numberItems);
// Appends the items of a 'DITL' resource handle. A damaged list appends
// nothing.
void AppendDITL(DialogRef theDialog, Handle theHandle, DITLMethod method);
// Item number (1-based) at the point (local coordinates), less one: the
// first visible item whose rectangle holds it; -1 when none.
DialogItemIndexZeroBased FindDialogItem(DialogRef theDialog, Point thePt);

// kind (with itemDisable), handle (a control item's ControlRef, a text
// item's text, a user item's draw procedure, a picture's PicHandle, an
// icon's CIconHandle) and rectangle. A number out of range gives kind 0, a
// null handle and an empty rectangle.
void GetDialogItem(DialogRef theDialog, DialogItemIndex itemNo, DialogItemType* itemType, Handle* item,
                   Rect* box);
// Sets an item's kind, handle and rectangle: a user item's draw procedure
// is given as its handle. A new rectangle moves an edit item's text.
void SetDialogItem(DialogRef theDialog, DialogItemIndex itemNo, DialogItemType itemType, Handle item,
                   const Rect* box);
OSErr GetDialogItemAsControl(DialogRef inDialog, SInt16 inItemNo, ControlRef* outControl);
void HideDialogItem(DialogRef theDialog, DialogItemIndex itemNo);
void ShowDialogItem(DialogRef theDialog, DialogItemIndex itemNo);

// The text of a static or edit item, by the handle GetDialogItem gives.
// Setting redraws the item.
void GetDialogItemText(Handle item, Str255 text);
void SetDialogItemText(Handle item, ConstStr255Param text);
// Gives the edit item the focus and selects [strtSel, endSel) (32767 for
// the end of the text).
void SelectDialogItemText(DialogRef theDialog, DialogItemIndex itemNo, SInt16 strtSel, SInt16 endSel);
// The four texts static text shows in place of ^0 to ^3 (null leaves one
// as it is).
void ParamText(ConstStr255Param param0, ConstStr255Param param1, ConstStr255Param param2,
               ConstStr255Param param3);

// The button Return and Enter answer in ModalDialog (drawn with a ring)
// and the one Escape answers; 0 for none.
OSErr SetDialogDefaultItem(DialogRef theDialog, DialogItemIndex newItem);
OSErr SetDialogCancelItem(DialogRef theDialog, DialogItemIndex newItem);
DialogItemIndex GetDialogDefaultItem(DialogRef dialog);
DialogItemIndex GetDialogCancelItem(DialogRef dialog);
// The I-beam cursor over edit items (on null events).
OSErr SetDialogTracksCursor(DialogRef theDialog, Boolean tracks);
// The edit item with the keyboard focus, -1 when none.
DialogItemIndex GetDialogKeyboardFocusItem(DialogRef dialog);
// The focused edit item's text record (null when there is none).
TEHandle GetDialogTextEditHandle(DialogRef dialog);

namespace tb {

// One item of an item list as read from a 'DITL'.
struct DialogItemTemplate {
  Rect rect;
  UInt8 kind;            // with itemDisable
  std::string text;      // text items
  SInt16 resourceID;     // control, icon and picture items
};
// Reads an item list; paramErr (and nothing in out) when it is cut short,
// claims more items than it holds or has an impossible rectangle.
OSErr ParseItemList(std::span<const UInt8> data, std::vector<DialogItemTemplate>& out);

// A 'DLOG' as read.
struct DialogTemplate {
  Rect bounds;
  SInt16 procID;
  bool visible;
  bool goAway;
  SInt32 refCon;
  SInt16 itemsID;
  std::string title;
  UInt16 position;  // 0, 0x280A centred on the screen, 0x300A alert position
};
OSErr ParseDialogTemplate(std::span<const UInt8> data, DialogTemplate* out);

// Driving dialogs from tests: input queued as a person would give it.
// A click in the middle of the item (false when there is no such visible
// item or its window is not shown).
bool ClickDialogItem(DialogRef dialog, DialogItemIndex item, EventModifiers mods = 0);
// A click at the end of an edit item's text, then the text typed.
bool TypeIntoDialogItem(DialogRef dialog, DialogItemIndex item, std::string_view text);
// Presses a pop-up item, moves to its menu's item and releases there.
bool ChooseDialogPopupItem(DialogRef dialog, DialogItemIndex item, MenuItemIndex menuItem);
// The dialog of the first window with that title.
DialogRef FindDialogByTitle(std::string_view title);
// The item's text (static and edit items; a control item's title).
std::string DialogItemText(DialogRef dialog, DialogItemIndex item);
// Number of dialogs (tests).
int DialogCount();
// The text ParamText last set for ^0 .. ^3 (what an alert shows).
std::string ParamTextValue(int index);

}  // namespace tb

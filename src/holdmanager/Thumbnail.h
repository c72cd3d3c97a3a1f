// The preview area of a held job's pages: the scaled page picture (or a
// text saying there is none) and the four page buttons beside it, drawn
// from pictures and pressed like push buttons. The main window's detail
// page and the information dialog each have a set of buttons.
#pragma once

#include <string>

#include "holdmanager/HoldEngine.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/quickdraw.h"

enum : int { kThumbSetMain = 0, kThumbSetSub = 1 };
enum : UInt16 { kPageBtnNormal = 0, kPageBtnPressed = 1, kPageBtnDisabled = 2 };
enum : int { kPageFirst = 0, kPagePrevious = 1, kPageNext = 2, kPageLast = 3 };

struct PAGE_BTN {
  DialogRef dialog;
  Rect rect;
  UInt16 state;
  UInt16 index;  // 0..3: which picture
};

extern PAGE_BTN gMainDlgBtn[4];
extern PAGE_BTN gSubDlgBtn[4];

// Loads the button pictures (PICT 128-131) once, gives each record of the
// set the dialog, state disabled and its index. 1, or 0 for an unknown set.
int InitThumbnail(DialogRef dialog, int set);
// Disposes the pictures and the tracking control (at quit).
void DeinitThumbnail();
// The text shown when there is no picture ([LABEL] "STC_PREVIEW=") and
// the font it is drawn in.
void SetThumbnailText(const std::string& text, short font, short size);
// Indexes above 3 and unknown sets are ignored.
void SetPageBtnRect(int index, Point topLeft, Point botRight, int set);
void SetPageBtnState(int index, int state, bool redraw, int set);
// The face of the button's picture for its state: each face is a third of
// the picture's width (normal, pressed, disabled); empty for another state.
void GetPageBtnStateRect(const PAGE_BTN* btn, Rect* rect);
void DrawPageBtn(const PAGE_BTN* btn);
// Follows a press on a page button until release: 1 when released inside,
// 0 otherwise, for a disabled button or an index above 3.
int TrackPageBtn(DialogRef dialog, short item, Point pt, int index, int set);
// The tracking step: pressed while the mouse is inside, redrawn on change.
void MouseDownProc(ControlRef control, ControlPartCode part);
// Draws the whole preview item: the picture scaled into the area left of
// the button strip, or the no-preview text when textFlag is set and there
// is no picture; btnItems are the items of the four buttons.
void DrawThumbnail(DialogRef dialog, GWorldPtr picture, short item, const short btnItems[4], bool textFlag, int set);
void DisposeThumbnail(THUMB_ENTRY* entry);
// Every entry's picture disposed and the list emptied (the cache files stay
// until quit).
void DisposeThumbnailList(PtrListHead* list);

namespace hold {
// Where a w x h picture lands in a W x H preview item (item-relative); an
// empty rectangle when it cannot be placed (no size, or no room).
Rect ThumbnailPlace(int W, int H, int w, int h);
}  // namespace hold

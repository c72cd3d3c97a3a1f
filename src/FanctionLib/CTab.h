// The tab control: a row of self-drawn tabs above a framed page in a
// dialog, with a two-arrow spin button at the strip's right end that
// scrolls the tabs one at a time when they are wider than the strip.
//
// Each tab is two recorded pictures (selected and not selected) built from
// the host's picture resources with the title drawn in, plus one hit region
// per picture. The host owns the dialog and its items; the control selects,
// scrolls and draws, and tells the host which tab was clicked.
//
// Operations take the record first. Those with a result give -1 when no
// record is given; getters give -2 for an index out of range and -3 for a
// missing tab behind a valid index. Setters ignore bad input.
#pragma once

#include "FanctionLib/CControlDefs.h"
#include "toolbox/controls.h"
#include "toolbox/events.h"
#include "toolbox/pictures.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

// A tab title's colours: in the selected picture and in the other one.
struct TCOLOR_SET {
  RGBColor rgbStrFront;
  RGBColor rgbStrBack;
};

// Indexes into CTAB_DATA::pictID.
enum : SInt16 {
  kCTPictFront = 0,
  kCTPictBack = 1,
  kCTPictFrame = 2,
  kCTPictSpinLeRe = 3,  // both arrows enabled
  kCTPictSpinLpRe = 4,  // left pushed
  kCTPictSpinLeRp = 5,  // right pushed
  kCTPictSpinLdRe = 6,  // left disabled
  kCTPictSpinLeRd = 7,  // right disabled
};

// The strip is drawn this high, whatever the height of tabRect.
constexpr SInt16 kCTStripHeight = 30;
// How high the selected tab stands: the height of the front picture (at
// most kCTStripHeight; kCTStripHeight when the picture is missing). A page
// frame that starts this far below the strip's top has the selected tab
// standing on its top line.
SInt16 CTFrontTabHeight(SInt16 frontPictID);
// The spin button's size, in the strip's bottom right corner.
constexpr SInt16 kCTSpinWidth = 28;
constexpr SInt16 kCTSpinHeight = 14;

struct CTAB_LIST {
  PicHandle hPic[2];   // [0] as selected (built on `front`), [1] as not selected (`back`)
  RgnHandle hRgn[2];   // hit and visible area of each, picture coordinates
  Str255 title;
  SInt16 state;        // 0 selected, 1 not; indexes hPic and hRgn
  SInt16 width;        // layout width: the widest picture built so far
  FONT_SET font;
  TCOLOR_SET color;
  long ref;            // the host's value (wide enough for a pointer)
  CTAB_LIST* next;
};

struct CTAB_DATA {
  FONT_SET defFont;        // given to tabs added later
  TCOLOR_SET defColor;     // given to tabs added later
  Rect tabRect;            // the strip, in the dialog port's coordinates
  Rect* frameRect;         // the page frame below the strip (owned copy)
  UInt32 lTransparent;     // pixel value that counts as transparent when tracing
  SInt16 curSel;
  SInt16 prevSel;
  SInt16 visTabNo;         // first visible tab
  SInt16 num;
  RgnHandle prevVisRgn;    // what the tabs covered at the last draw
  CTAB_LIST* list;
  ControlActionUPP spinProc;
  ControlRef hScroll;      // the hidden spin control; its maximum encodes the arrows
  SInt16 spinState;        // index into pictID of the spin image shown, -1 none
  SInt16 spinPushedBtn;    // half where the press began: -1 left, 1 right, 0 none
  UInt32 prevTime;         // tick of the last auto-repeat step, 0 none yet
  Rect spinRect;
  Boolean bIsFirstTime;    // the long first repeat delay is pending
  Boolean bUseTabRgn;      // hit regions traced from the pictures, else rectangles
  Boolean bIsSpinBtnShow;
  RGBColor anyColor;       // the dialog's background colour
  SInt16 pictID[8];        // -1 = unset
  CGrafPtr parPort;        // the dialog's port, where everything is drawn
  CGrafPtr orgPort;        // private port over the dialog with its own colours and font
  Boolean bShow;
  SInt16 offsetTitleHeight;
  SInt16 adjustPosY;
};

// --- Creation ------------------------------------------------------------------

// A new tab control over the dialog's window; frameRect is required.
// Null when it cannot be made (nothing is left allocated).
CTAB_DATA* CTNew(WindowRef dlg, const Rect* tabRect, const Rect* frameRect, SInt16 offsetTitleHeight,
                 Boolean bUseTabRgn, UInt32 lTransparent, Boolean visible);
CTAB_DATA* CTCreate(CTAB_DATA* ctData, WindowRef dlg, const Rect* tabRect, const Rect* frameRect,
                    SInt16 offsetTitleHeight, Boolean bUseTabRgn, UInt32 lTransparent, Boolean visible);
// Frees what the record owns; the spin control stays with the dialog.
void CTDestroy(CTAB_DATA* ctData);
void CTDispose(CTAB_DATA* ctData);

// --- Tabs ------------------------------------------------------------------------

// Inserts a tab before idx (appends for an index out of range); tab 0 ends
// up selected. The new count; -2 when the front or back picture id is unset
// or the tab cannot be made.
SInt16 CTAdd(CTAB_DATA* ctData, ConstStr255Param str, SInt16 idx);
void CTDel(CTAB_DATA* ctData, SInt16 idx);
SInt16 CTSetTitle(CTAB_DATA* ctData, SInt16 idx, ConstStr255Param str);
// str must hold a Str255.
SInt16 CTGetTitle(CTAB_DATA* ctData, SInt16 idx, Str255 str);
void CTSetFont(CTAB_DATA* ctData, const SInt16* txFont, const UInt8* txFace, const SInt16* txSize);
void CTSetFontOne(CTAB_DATA* ctData, SInt16 idx, const SInt16* txFont, const UInt8* txFace, const SInt16* txSize);
SInt16 CTGetFont(CTAB_DATA* ctData, SInt16* txFont, UInt8* txFace, SInt16* txSize);
void CTGetFontOne(CTAB_DATA* ctData, SInt16 idx, SInt16* txFont, UInt8* txFace, SInt16* txSize);
void CTSetColor(CTAB_DATA* ctData, const RGBColor* rgbStrFront, const RGBColor* rgbStrBack);
void CTSetColorOne(CTAB_DATA* ctData, SInt16 idx, const RGBColor* rgbStrFront, const RGBColor* rgbStrBack);
void CTGetColor(CTAB_DATA* ctData, RGBColor* rgbStrFront, RGBColor* rgbStrBack);
void CTSetPictID(CTAB_DATA* ctData, SInt16 front, SInt16 back, SInt16 frame, SInt16 spinLeRe, SInt16 spinLpRe,
                 SInt16 spinLeRp, SInt16 spinLdRe, SInt16 spinLeRd);
void CTSetReference(CTAB_DATA* ctData, SInt16 idx, long ref);
long CTGetReference(CTAB_DATA* ctData, SInt16 idx);
SInt16 CTGetCount(CTAB_DATA* ctData);
SInt16 CTGetCurSel(CTAB_DATA* ctData);
SInt16 CTGetPrevSel(CTAB_DATA* ctData);
SInt16 CTGetRect(CTAB_DATA* ctData, Rect* rect, Boolean bAll);
void CTAdjustTitlePosY(CTAB_DATA* ctData, SInt16 posY);
// From tab *idx onward, the first tab whose title equals str (bCase 0:
// ignoring the case of ASCII letters); *idx gets its index. 1 found, 0 not.
Boolean CTSearch(CTAB_DATA* ctData, SInt16* idx, ConstStr255Param str, Boolean bCase);

// --- Selection, mouse and display ------------------------------------------------

void CTSetCurSel(CTAB_DATA* ctData, SInt16 idx, Boolean bDraw);
// A press in the dialog: 1 when a tab was hit (selected when it was not),
// 0 otherwise (a press on the spin button scrolls the tabs and gives 0).
// *pushedPart gets the tab hit, -1 none.
SInt16 CTMouseDown(CTAB_DATA* ctData, const EventRecord* evt, SInt16* pushedPart);
// The tab under the global point, -1 for none or the spin button.
SInt16 CTHitTest(CTAB_DATA* ctData, Point ptGlobal);
void CTMouseDownByScrollBar(CTAB_DATA* ctData, Point localPt, EventModifiers modifiers);
void CTAdjustScrollBar(CTAB_DATA* ctData);
Boolean CTCheckNeedScroll(CTAB_DATA* ctData, SInt16 idx);
void CTShow(CTAB_DATA* ctData, Boolean bShow);
void CTResize(CTAB_DATA* ctData, SInt16 x, SInt16 y, SInt16 dx, SInt16 dy);
// Draws the strip and the frame when shown.
void CTUpdate(CTAB_DATA* ctData);

// --- The control's own parts (exposed for tests) -----------------------------------
namespace ctab {

// The spin control's action procedure while an arrow is held.
void DragSpinProc(ControlRef hCtrl, ControlPartCode part);
// Builds both pictures and regions of tab idx for the title; the last
// picture made, null when there is no such tab.
PicHandle CreateTabPicture(CTAB_DATA* ctData, SInt16 idx, ConstStr255Param title);
// The region of the picture's pixels that differ from transCol (resource id
// when not 0, else hSrcPic), into rgn. 0 done (also for no picture at all),
// -1 no such resource, -2 no picture information, -3 unsupported depth,
// -4 no offscreen buffer.
SInt16 PicToRgn(SInt16 id, PicHandle hSrcPic, UInt32 transCol, RgnHandle rgn);
void Draw(CGrafPtr port, CTAB_DATA* ctData);
void DrawFrame(CTAB_DATA* ctData);
// The tab at idx, null when out of range.
CTAB_LIST* GetTab(CTAB_DATA* ctData, SInt16 idx);
// The tab under the local point from visTabNo on, -1 none.
SInt16 HitTab(CTAB_DATA* ctData, Point local);
// Which half of the spin button the mouse is over now: -1, 1, or 0.
SInt16 SpinHalfUnderMouse(CTAB_DATA* ctData);

}  // namespace ctab

// The scrolling text view: a read-only block of text in a dialog with an
// optional vertical and an optional horizontal scroll bar that the view
// lays out, shows and tracks itself. A TextEdit record lays the text out
// and draws it; the user can only scroll.
//
// Operations take the record first. Those with a result give -1 when no
// record is given, -2 when it has no text record and -3 when the scroll bar
// they need does not exist.
#pragma once

#include "FanctionLib/CControlDefs.h"
#include "toolbox/carbonevents.h"
#include "toolbox/controls.h"
#include "toolbox/events.h"
#include "toolbox/quickdraw.h"
#include "toolbox/textedit.h"
#include "toolbox/windows.h"

// Background normal, selected, disabled; text normal, selected, disabled.
// Kept for the host: the view itself draws black on white.
struct TECOLOR_SET {
  RGBColor rgbBkNormal;
  RGBColor rgbBkHilite;
  RGBColor rgbBkDisable;
  RGBColor rgbStrNormal;
  RGBColor rgbStrHilite;
  RGBColor rgbStrDisable;
};

// The width of a scroll bar, and what a page of the vertical bar moves.
constexpr SInt16 kCEBarWidth = 15;
constexpr SInt16 kCEPageLines = 14;

struct CEDIT_DATA {
  FONT_SET defFont;
  TECOLOR_SET defColor;
  Rect rect;                  // text area plus bars, dialog port coordinates
  TEHandle hTEdit;            // destination: the laid-out text; view: the visible part
  CGrafPtr parPort;           // the dialog's port
  CGrafPtr orgPort;           // private port over the dialog with its own colours and font
  Boolean isVScroll;
  Boolean vScrShow;           // the text is at least as tall as the view
  ControlRef vScroll;         // titled "v"; its value is the first visible line
  Boolean isHScroll;
  Boolean hScrShow;           // the text is at least as wide as the view
  ControlRef hScroll;         // titled "h"; its value is a pixel offset
  Boolean bShow;
  Boolean isFrame;            // a one-pixel frame around rect on updates
  ControlActionUPP divProc;   // not used by the view
  ControlActionUPP btnProc;   // not used by the view
  ControlActionUPP scrProc;
  SInt16 dvPerPoint;          // bar value units per 100 pixels of thumb travel
  SInt16 dhPerPoint;
  EventHandlerRef wheel;  // takes the mouse wheel over the view on its window
};

// --- Creation ----------------------------------------------------------------------

// A new view over iRect of the dialog's window (vRect and dRect are taken
// and not used: the text's rectangles follow from iRect). Null when it
// cannot be made (nothing is left allocated).
CEDIT_DATA* CENew(WindowRef dlg, const Rect* iRect, const Rect* vRect, const Rect* dRect, Boolean isHScroll,
                  Boolean isVScroll, Boolean isFrame);
CEDIT_DATA* CECreate(CEDIT_DATA* ceData, WindowRef dlg, const Rect* iRect, const Rect* vRect, const Rect* dRect,
                     Boolean isHScroll, Boolean isVScroll, Boolean isFrame);
// Frees the text record and the private port; the bars stay with the dialog.
void CEDestroy(CEDIT_DATA* ceData);
void CEDispose(CEDIT_DATA* ceData);

// --- Text ------------------------------------------------------------------------------

// Replace the whole text (lines end with carriage returns) and lay the view
// out anew. CTESetText wraps lines to the view unless the horizontal bar is
// needed; CTESetTextEx never wraps.
void CTESetText(CEDIT_DATA* ceData, const void* data, SInt32 dataSize);
void CTESetTextEx(CEDIT_DATA* ceData, const void* data, SInt32 dataSize);
// Copies at most *dataLen bytes of the text into data (cut on a character
// boundary) and sets *dataLen to the bytes copied; returns the text's whole
// length (0 without a text record).
SInt32 CTEGetText(CEDIT_DATA* ceData, void* data, SInt32* dataLen);
// Pixel width of the longest line in the text's font; 0 without text.
SInt16 CTEGetTextWidth(CEDIT_DATA* ceData);

// --- Accessors -----------------------------------------------------------------------

CGrafPtr CTEGetInPort(CEDIT_DATA* ceData);
void CTEGetFont(CEDIT_DATA* ceData, SInt16* txFont, UInt8* txFace, SInt16* txSize);
void CTESetFont(CEDIT_DATA* ceData, const SInt16* txFont, const UInt8* txFace, const SInt16* txSize);
SInt16 CTEGetLine(CEDIT_DATA* ceData);
SInt16 CTEGetLineHeight(CEDIT_DATA* ceData);
SInt16 CTESetLineHeight(CEDIT_DATA* ceData, SInt16 height);
SInt16 CTEGetViewRect(CEDIT_DATA* ceData, Rect* rect);
SInt16 CTESetViewRect(CEDIT_DATA* ceData, const Rect* rect);
SInt16 CTEGetDestRect(CEDIT_DATA* ceData, Rect* rect);
SInt16 CTESetDestRect(CEDIT_DATA* ceData, const Rect* rect);
SInt16 CTEFeatureFlag(CEDIT_DATA* ceData, SInt16 feature, SInt16 action);
void CTESetAlignment(CEDIT_DATA* ceData, SInt16 just);
void CEShowVScroll(CEDIT_DATA* ceData, Boolean bShow);
void CEShowHScroll(CEDIT_DATA* ceData, Boolean bShow);
void CEDrawVScroll(CEDIT_DATA* ceData);
void CEDrawHScroll(CEDIT_DATA* ceData);
// bHilite set makes the bar inactive, clear makes it active.
void CEHiliteVScrollBar(CEDIT_DATA* ceData, Boolean bHilite);
void CEHiliteHScrollBar(CEDIT_DATA* ceData, Boolean bHilite);
void CEHiliteScrollBar(CEDIT_DATA* ceData, Boolean bHilite);
// Both bars, only when both exist.
void CEGetScrollHandle(CEDIT_DATA* ceData, ControlRef* hScroll, ControlRef* vScroll);
// Set one bar's range from the text; whether the bar is needed.
SInt16 CTESetTextVScroll(CEDIT_DATA* ceData);
SInt16 CTESetTextHScroll(CEDIT_DATA* ceData);
void CTEResizeVScroll(CEDIT_DATA* ceData);
void CTEResizeHScroll(CEDIT_DATA* ceData);

// --- Display and mouse ---------------------------------------------------------------

void CEShow(CEDIT_DATA* ceData, Boolean bShow);
// Redraws the view. With updateRgn the view rectangle is added to it and
// the text drawn there; without, the text area is erased and drawn.
void CEUpdate(CEDIT_DATA* ceData, RgnHandle updateRgn, Boolean useFrame);
// The whole view redrawn, framed when it was made with a frame (the form
// the later programs use).
void CEUpdate(CEDIT_DATA* ceData);
void CTEClear(CEDIT_DATA* ceData, const Rect* rect);
// A press in the dialog: clicks on the bars scroll, any other click
// redraws the view (unless headerOnly is 1). Always 0; *cell becomes
// (-1, -1) and *sortPart -1 (the view has neither).
SInt16 CEMouseDown(CEDIT_DATA* ceData, const EventRecord* evt, Point* cell = nullptr, SInt16* sortPart = nullptr,
                   SInt16 headerOnly = 0);
void CEMouseDownByScrollBar(CEDIT_DATA* ceData, Point localPt, Boolean whichScrollBar);
void CETrackControlAlignment(ControlRef hCtrl, SInt16 oldVal, SInt16 oldPt, SInt16 newPt, SInt16 delta);
// Measures both bars' pixel-to-value ratios (dvPerPoint, dhPerPoint).
void CCalcScrollIndicatorRect(CEDIT_DATA* ceData);
// Finds the thumb's extent along the bar by hit testing on the line center
// and stores maximum x 100 / (track length - thumb length) in *result;
// *result is left alone when no probe meets the thumb.
void CFindScrollIndicatorSize(ControlRef hCtrl, SInt16 start, SInt16 end, SInt16 center, SInt16 startMargin,
                              SInt16 endMargin, Boolean isHz, SInt16* result);

namespace cedit {

// The bars' action procedure while an arrow or page area is held.
void DragScrollProc(ControlRef hCtrl, ControlPartCode part);

}  // namespace cedit

// TextEdit: a small editor of one text in a rectangle of a port, used by the
// dialogs' edit-text items and by read-only text views.
//
// The record lays its text out into lines wrapped to the destination
// rectangle's width (at spaces, or between characters when a word is wider
// than a line; a carriage return always ends a line) and draws the lines
// that fall into the view rectangle. Moving the destination rectangle
// scrolls the text.
//
// Text is UTF-8 (a byte that starts no valid sequence counts as one
// character, as toolbox/fonts.h draws it). Offsets are byte offsets, but
// the selection, the caret and every edit stay on character boundaries:
// Delete removes a whole character, the arrows move by characters, and a
// character typed one byte at a time through TEKey is inserted once it is
// complete. A record holds at most 32767 bytes; what does not fit is cut on
// a character boundary.
//
// Cut, copy and paste go through the process clipboard (toolbox/scrap.h).
#pragma once

#include "toolbox/events.h"
#include "toolbox/quickdraw.h"
#include "toolbox/types.h"

using CharsHandle = char**;
using CharParameter = short;

struct TERec {
  Rect destRect;       // where the text is laid out (its width wraps lines)
  Rect viewRect;       // the part of the port the text is drawn in
  Rect selRect;        // the caret's rectangle, or the selection's first line
  short lineHeight;    // pixels from one line to the next
  short fontAscent;    // baseline below a line's top
  Point selPoint;      // where the last click was
  short selStart;      // selection, byte offsets
  short selEnd;
  short active;        // non-zero between TEActivate and TEDeactivate
  long clickTime;      // tick of the last click
  short clickLoc;      // offset of the last click
  long caretTime;      // tick the caret last changed
  short caretState;    // non-zero while the caret is drawn
  short just;          // teFlushDefault, teCenter, teFlushRight, teFlushLeft
  short teLength;      // bytes of text
  Handle hText;        // the text (teLength bytes)
  short clikStuff;
  short crOnly;        // negative: lines break only at carriage returns
  short txFont;        // the text's font, face, mode and size
  Style txFace;
  short txMode;
  short txSize;
  GrafPtr inPort;      // the port the text is drawn in
  short nLines;        // laid-out lines (an empty line after a final CR is not counted)
  void* tbPrivate;     // the toolbox's own: line starts and editing state
};
using TEPtr = TERec*;
using TEHandle = TERec**;

// Alignment (TESetAlignment).
enum : short {
  teFlushDefault = 0,
  teCenter = 1,
  teFlushRight = -1,
  teFlushLeft = -2,
  teJustLeft = 0,
  teJustCenter = 1,
  teJustRight = -1,
  teForceLeft = -2,
};

// TEFeatureFlag features and actions.
enum : short {
  teFAutoScroll = 0,  // keep the caret in view after keys, clicks and pastes
  teFTextBuffering = 1,
  teFOutlineHilite = 2,
  teFInlineInput = 3,
  teFUseTextServices = 4,
};
enum : short {
  teBitClear = 0,
  teBitSet = 1,
  teBitTest = -1,
};

constexpr short kTEMaxLength = 32767;

void TEInit();
// A record on the current port, in the port's font, with no text.
TEHandle TENew(const Rect* destRect, const Rect* viewRect);
TEHandle TEStyleNew(const Rect* destRect, const Rect* viewRect);
void TEDispose(TEHandle hTE);

// Replaces the whole text (carriage returns end lines) and lays it out
// again; the insertion point goes to the end. Nothing is drawn.
void TESetText(const void* text, long length, TEHandle hTE);
// The record's own text handle (teLength bytes); not to be disposed.
CharsHandle TEGetText(TEHandle hTE);
// Lays the text out again, after a change of the destination rectangle,
// the font fields or the text handle.
void TECalText(TEHandle hTE);
// Draws the lines that meet rUpdate (port coordinates) inside the view
// rectangle, erasing behind them, with the selection or caret when active.
void TEUpdate(const Rect* rUpdate, TEHandle hTE);
// Moves the destination rectangle by (dh, dv) and redraws the view.
void TEScroll(short dh, short dv, TEHandle hTE);
// Sets, clears or tests a feature; returns its state before the call.
short TEFeatureFlag(short feature, short action, TEHandle hTE);
void TESetAlignment(short just, TEHandle hTE);

// Editing. Each one draws what it changed when the record is active.
// TEKey takes a character code: text is inserted in place of the
// selection; backspace (8) deletes the selection or the character before
// the caret, forward delete (127) the character after it; the arrows
// (28-31) move the caret, Home and End (1, 4) go to the start and end of
// the text. Other control characters are ignored.
void TEKey(CharParameter key, TEHandle hTE);
// A click at pt (port coordinates): places the caret, selects a word on a
// double click, extends the selection with extend set, and follows the
// mouse while the button stays down.
void TEClick(Point pt, Boolean extend, TEHandle hTE);
// Blinks the caret (every GetCaretTime ticks) while the record is active.
void TEIdle(TEHandle hTE);
void TEActivate(TEHandle hTE);
void TEDeactivate(TEHandle hTE);
// Selects [selStart, selEnd) (clamped to the text and moved to character
// boundaries; the ends may come in either order).
void TESetSelect(long selStart, long selEnd, TEHandle hTE);
void TEDelete(TEHandle hTE);
// Inserts text before the selection (which stays selected); what would
// pass 32767 bytes is left out.
void TEInsert(const void* text, long length, TEHandle hTE);
void TECut(TEHandle hTE);
void TECopy(TEHandle hTE);
void TEPaste(TEHandle hTE);

namespace tb {

// TEKey with the event's modifiers: Shift with an arrow, Home or End
// extends the selection.
void TEKeyWithModifiers(CharParameter key, EventModifiers modifiers, TEHandle hTE);
// Offset of the character boundary at or before offset (the text's own
// rules, so an offset inside a character moves to its start).
short TEBoundaryAtOrBefore(TEHandle hTE, long offset);
// The first offset of line (0-based); teLength for line == nLines.
short TELineStart(TEHandle hTE, short line);
// The point (port coordinates; v is the line's top) where the caret
// stands before offset.
Point TEOffsetToPoint(TEHandle hTE, short offset);
// The offset whose caret position lies nearest to pt.
short TEPointToOffset(TEHandle hTE, Point pt);

}  // namespace tb

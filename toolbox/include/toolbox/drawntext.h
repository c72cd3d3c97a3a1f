// The drawn-text report: while a test has it on, every text the toolbox
// draws is recorded with the window it lands in, the box it occupies, the
// rectangle it was drawn for, what of it was cut and whether it was
// shortened, so a test can find a label drawn outside its window, cut by a
// clip or painted over, or shortened to fit.
//
// Text drawn into an offscreen world is carried along when the world (or a
// picture recorded on it) is copied into a window with CopyBits or
// DrawPicture, mapped to where the copy put it and cut by what the copy
// cut. Text that never reaches a window (menus, window title bars) is kept
// with no window. Off, the report costs one test of a flag per text drawn,
// per fill and per copy.
#pragma once

#include <string>
#include <vector>

#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

namespace tb {

// Who drew the text. Programs tag what their own libraries draw with a
// DrawnTextScope; untagged text is kDirect.
enum class TextSource : UInt8 {
  kDirect,        // DrawString/DrawText/DrawChar called by the program
  kStaticText,    // a static text item
  kEditText,      // an edit text item
  kTextEdit,      // a TextEdit record drawn by the program
  kControlTitle,  // a button, check box, radio button or pop-up title
  kListCell,      // a list cell (shortened by the list by design)
  kListHeader,    // a list's column title
  kTabTitle,      // a tab's title; its frame is the tab as drawn
  kTextEngine,    // a text-engine (multi-line text) object
  kUnicodeText,   // a Unicode text layout
  kMenu,          // the menu bar and menus
  kWindowTitle,   // a window's title bar
  kChooser,       // the file chooser's own texts
};
const char* TextSourceName(TextSource source);

// What cut a text (bits of DrawnText::cut).
enum TextCut : UInt16 {
  kCutByClip = 1 << 0,      // the port's clip region, or the copy that brought it, left part out
  kOutsideWindow = 1 << 1,  // part of it lies outside the window's content (or the offscreen world)
  kOffScreen = 1 << 2,      // part of it lies where the window is off the screen
  kPaintedOver = 1 << 3,    // part of what showed was painted over later, or never showed (live report only)
  kNotDrawn = 1 << 4,       // a line of a text box that did not fit and was not drawn at all
  kOutsideFrame = 1 << 5,   // part of it lies outside the rectangle it was drawn for
};
// The cut bits in words ("clip, outside window"); "" for none.
std::string DescribeTextCut(UInt16 cut);

struct DrawnText {
  std::string text;  // UTF-8, as drawn
  std::string full;  // the text before TruncString/TruncText shortened it; "" when not shortened
  WindowRef window = nullptr;
  TextSource source = TextSource::kDirect;
  short item = 0;  // the dialog item it was drawn for, 0 when none
  // Rectangles in the window port's local coordinates (of the port it was
  // drawn in, for text with no window).
  Rect box{};    // pen start to end of the advance, baseline - ascent to baseline + descent
  Rect ink{};    // the bounds of the glyphs' pixels (empty for an empty text)
  Rect frame{};  // the item, cell, button or tab it was drawn for; box when none was named.
                 // Reached through an offscreen copy: what of it the copy put in the window.
  Rect shown{};  // the bounds of what of the ink shows
  UInt16 cut = 0;
  bool shortened = false;  // TruncString/TruncText (or the drawer, through its scope) shortened it
};

// Turns the report on (forgetting anything recorded before) or off
// (forgetting everything).
void StartDrawnTextReport();
void StopDrawnTextReport();
bool DrawnTextReportOn();

// What shows in the window now (every window when null): texts painted over
// entirely are gone, partly painted over ones carry kPaintedOver; a text
// drawn again in the same place with the same words is one entry. In
// drawing order.
std::vector<DrawnText> DrawnTexts(WindowRef window);
// Every text drawn into the window (every window and the texts with no
// window when null) since the report was started or the log cleared, as it
// was when drawn: the cut bits are those the drawing met, never
// kPaintedOver, and a window redrawn through its update region shows again
// what the region left out. Kept for alerts and dialogs that are gone when
// the test looks; at most the last 65536 entries.
std::vector<DrawnText> DrawnTextLog(WindowRef window = nullptr);
void ClearDrawnTextLog();

// Tags the texts drawn while it lives: their source, the rectangle they are
// drawn for (local coordinates of the port current when the text is drawn)
// and the dialog item. Scopes nest; the innermost holds. shortened marks the
// texts as shortened by the drawer (a cell cut to its column by its own
// rule).
class DrawnTextScope {
 public:
  explicit DrawnTextScope(TextSource source, const Rect* frame = nullptr, short item = 0, bool shortened = false);
  ~DrawnTextScope();
  DrawnTextScope(const DrawnTextScope&) = delete;
  DrawnTextScope& operator=(const DrawnTextScope&) = delete;

 private:
  struct Saved {
    TextSource source;
    Rect frame;
    bool hasFrame;
    short item;
    bool shortened;
  } saved_;
};

}  // namespace tb

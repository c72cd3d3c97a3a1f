// The text engine: editable text objects on a rectangle of a window, one
// line only or many lines wrapped at the view's edge with scroll bars.
//
// Text is UTF-8 ('TEXT' data, the system encoding whatever encoding number
// is passed) and can be set and read as UTF-16 in the host's byte order
// ('utxt'). 'TEXT' is kept byte for byte: what is set is what is read back.
// A byte that starts no valid UTF-8 sequence is one character of its own,
// drawn as the replacement character; it is never split from or joined to
// its neighbours by editing, and what is typed is always valid UTF-8.
//
// Offsets (selection, data ranges) count UTF-16 units, as 'utxt' data does;
// such a byte counts one unit. kTXNEndOffset and anything past the end mean
// the end.
//
// Lines end at a carriage return or a line feed. Multi-line objects wrap
// where the script utilities allow a line break (after blanks, and before
// and after CJK characters); a word wider than the view is broken between
// characters. A single-line object never wraps and scrolls
// sideways to show the caret; it takes no line breaks from the keyboard or
// the clipboard (they become spaces).
//
// The object draws its text, selection, caret and scroll bars inside its
// frame, on its background colour; the frame around it is the caller's.
// An empty destination rectangle hides the text (and the object then takes
// no keys or clicks). Font, size, style and colour apply to the whole
// text.
//
// Focus: at most one object per window has the keyboard focus. Dialog
// events (DialogSelect, and through it ModalDialog) give keys, clicks in
// its frame and idle time to the focused object of the dialog's window;
// Command keys are left to the program. A click given twice (by the
// program's filter and then by the dialog) is taken once.
// In the Carbon event loop, text input that no handler takes is typed
// into the focused object of the window it went to.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "toolbox/cfstring.h"  // TextEncoding
#include "toolbox/controls.h"
#include "toolbox/events.h"
#include "toolbox/quickdraw.h"
#include "toolbox/types.h"
#include "toolbox/windows.h"

struct OpaqueTXNObject;
using TXNObject = OpaqueTXNObject*;
using TXNFrameID = UInt32;
using TXNFrameOptions = UInt32;
using TXNFrameType = UInt32;
using TXNFileType = OSType;
using TXNDataType = OSType;
using TXNOffset = UInt32;
using TXNPermanentTextEncodingType = UInt32;
using TXNObjectRefcon = void*;
using TXNInitOptions = UInt32;
using TXNScrollBarState = Boolean;
using TXNTypeRunAttributes = OSType;
using TXNTypeRunAttributeSizes = ByteCount;

enum : TXNFrameOptions {
  kTXNDrawGrowIconMask = 1u << 0,
  kTXNShowWindowMask = 1u << 1,
  kTXNWantHScrollBarMask = 1u << 2,
  kTXNWantVScrollBarMask = 1u << 3,
  kTXNAlwaysWrapAtViewEdgeMask = 1u << 11,
  kTXNSingleLineOnlyMask = 1u << 14,
  kTXNDisableDragAndDropMask = 1u << 15,
};

enum : TXNFrameType { kTXNTextEditStyleFrameType = 1 };

enum : OSType {
  kTXNTextensionFile = 0x7478746E,  // 'txtn'
  kTXNTextFile = 0x54455854,        // 'TEXT'
  kTXNUnicodeTextFile = 0x75747874, // 'utxt'
  kTXNTextData = 0x54455854,        // 'TEXT'
  kTXNUnicodeTextData = 0x75747874, // 'utxt'
};

enum : TXNOffset {
  kTXNStartOffset = 0,
  kTXNEndOffset = 0x7FFFFFFF,
  kTXNUseCurrentSelection = 0xFFFFFFFF,
};

enum : TXNPermanentTextEncodingType {
  kTXNSystemDefaultEncoding = 0,
  kTXNMacOSEncoding = 1,
  kTXNUnicodeEncoding = 2,
};

// TXNActivate: scroll bars active always, or only while focused.
enum : TXNScrollBarState { kScrollBarsAlwaysActive = 1, kScrollBarsSyncWithFocus = 0 };

struct TXNMacOSPreferredFontDescription {
  UInt32 fontID;  // a font number (fonts.h)
  Fixed pointSize;
  TextEncoding encoding;
  Style fontStyle;
};

// Attribute tags of TXNSetTypeAttributes and what their data holds.
enum : TXNTypeRunAttributes {
  kTXNQDFontNameAttribute = 0x666E746E,      // 'fntn': dataPtr, a Pascal string
  kTXNQDFontFamilyIDAttribute = 0x666F6E74,  // 'font': dataValue, a font number
  kTXNQDFontSizeAttribute = 0x73697A65,      // 'size': dataValue, Fixed points
  kTXNQDFontStyleAttribute = 0x66616365,     // 'face': dataValue, a Style
  kTXNQDFontColorAttribute = 0x6B6C6F72,     // 'klor': dataPtr, an RGBColor
  kTXNTextEncodingAttribute = 0x656E6364,    // 'encd': dataValue (kept, text stays UTF-8)
};
enum : TXNTypeRunAttributeSizes {
  kTXNQDFontNameAttributeSize = sizeof(Str255),
  kTXNQDFontFamilyIDAttributeSize = sizeof(SInt16),
  kTXNFontSizeAttributeSize = sizeof(Fixed),
  kTXNQDFontStyleAttributeSize = sizeof(Style),
  kTXNQDFontColorAttributeSize = sizeof(RGBColor),
  kTXNTextEncodingAttributeSize = sizeof(TextEncoding),
};
union TXNAttributeData {
  void* dataPtr;
  UInt32 dataValue;
};
struct TXNTypeAttributes {
  TXNTypeRunAttributes tag;
  TXNTypeRunAttributeSizes size;
  TXNAttributeData data;
};

enum : UInt32 { kTXNBackgroundTypeRGB = 1 };
struct TXNBackground {
  UInt32 bgType;
  RGBColor bg;
};

struct TXNLongRect {
  SInt32 top;
  SInt32 left;
  SInt32 bottom;
  SInt32 right;
};

enum : OSStatus {
  kTXNInvalidTXNObjectErr = -22002,
  kTXNInvalidFrameIDErr = -22003,
  kTXNUnsupportedDataTypeErr = -22004,
  kTXNNotInitializedErr = -22005,
};

// The engine's default font for new objects (the first description; a
// size of 0 means 12 points). The engine works without this call too.
OSStatus TXNInitTextension(const TXNMacOSPreferredFontDescription* defaults, ItemCount count,
                           TXNInitOptions options);
void TXNTerminateTextension();

// A new empty object on frame (window local coordinates) of window. file
// must be null (objects start empty). Multi-line unless options has
// kTXNSingleLineOnlyMask; scroll bars (multi-line only) take 16 pixels of
// the frame's right and bottom edges.
OSStatus TXNNewObject(const FSSpec* file, WindowRef window, const Rect* frame, TXNFrameOptions options,
                      TXNFrameType frameType, TXNFileType fileType, TXNPermanentTextEncodingType encoding,
                      TXNObject* object, TXNFrameID* frameID, TXNObjectRefcon refCon);
void TXNDeleteObject(TXNObject object);

// Moves the frame; the view follows it and the destination is the view again.
void TXNSetFrameBounds(TXNObject object, SInt32 top, SInt32 left, SInt32 bottom, SInt32 right, TXNFrameID frameID);
// Sets the view rectangle and/or the destination rectangle (null leaves
// one as it is); the text is laid out from the destination's top left,
// wrapped to its width. An empty destination hides the text. Draws the
// object when update is set.
void TXNSetRectBounds(TXNObject object, const Rect* viewRect, const TXNLongRect* destRect, Boolean update);
void TXNGetViewRect(TXNObject object, Rect* viewRect);

OSStatus TXNActivate(TXNObject object, TXNFrameID frameID, TXNScrollBarState scrollBarState);
// Gives or takes the keyboard focus (the caret and the selection show only
// while focused); focusing one object unfocuses the window's other one.
void TXNFocus(TXNObject object, Boolean becomingFocused);

// Replaces [start, end) with data ('TEXT' or 'utxt'); the selection goes
// behind the new text. Clears the undo history.
OSStatus TXNSetData(TXNObject object, TXNDataType dataType, const void* data, ByteCount size, TXNOffset start,
                    TXNOffset end);
// [start, end) as a new handle of 'TEXT' or 'utxt' data.
OSStatus TXNGetDataEncoded(TXNObject object, TXNOffset start, TXNOffset end, Handle* data, TXNDataType encoding);
OSStatus TXNGetData(TXNObject object, TXNOffset start, TXNOffset end, Handle* data);  // 'utxt'

// The object's font as one description: with defaults null only the count
// (1) is given.
OSStatus TXNGetFontDefaults(TXNObject object, ItemCount* count, TXNMacOSPreferredFontDescription* defaults);
OSStatus TXNSetFontDefaults(TXNObject object, ItemCount count, const TXNMacOSPreferredFontDescription* defaults);
// Font (by name or number), size, style, colour and encoding, for the
// whole text whatever the range. An unknown font name leaves the font as
// it is and answers paramErr.
OSStatus TXNSetTypeAttributes(TXNObject object, ItemCount count, const TXNTypeAttributes* attributes,
                              TXNOffset start, TXNOffset end);
OSStatus TXNSetBackground(TXNObject object, const TXNBackground* background);

// Events. A click (global coordinates in the event) places the caret,
// selects a word on a double click, extends with Shift, follows the mouse
// while the button is down, or tracks a scroll bar. Keys: characters are
// typed (UTF-8 arriving one byte per event is put together first);
// backspace and forward delete, the arrows, Home and End (start and end of
// the text), Page Up and Page Down (a view's height), Shift with a moving
// key extending the selection; Return breaks the line in a multi-line
// object; Command keys and other control characters are ignored.
void TXNClick(TXNObject object, const EventRecord* event);
void TXNKeyDown(TXNObject object, const EventRecord* event);
// Blinks the caret.
void TXNIdle(TXNObject object);
// Draws the object into its window (gWorld must be null).
void TXNDraw(TXNObject object, GWorldPtr gWorld);
void TXNUpdate(TXNObject object);
// The I-beam over the view, the arrow elsewhere. The region is not used.
void TXNAdjustCursor(TXNObject object, RgnHandle cursorRgn);

OSStatus TXNCut(TXNObject object);
OSStatus TXNCopy(TXNObject object);
OSStatus TXNPaste(TXNObject object);
void TXNSelectAll(TXNObject object);
OSStatus TXNSetSelection(TXNObject object, TXNOffset start, TXNOffset end);
void TXNGetSelection(TXNObject object, TXNOffset* start, TXNOffset* end);
// Undo takes back the last edit (a run of typing is one edit); redo puts
// it back. A new edit forgets what could be redone.
void TXNUndo(TXNObject object);
void TXNRedo(TXNObject object);
Boolean TXNCanUndo(TXNObject object);
Boolean TXNCanRedo(TXNObject object);

namespace tb {

// The text as UTF-8 bytes.
std::string TXNText(TXNObject object);
// Characters typed in one piece (a text-input event's), as the keys would
// type them: control characters (arrows, Home, End, the pages, deletes,
// Return) act as those keys, with Shift in modifiers extending; every other
// character is typed, Command or not.
void TXNTypeText(TXNObject object, std::string_view utf8, EventModifiers modifiers = 0);
// The window's focused object, or null.
TXNObject TXNFocusedObject(WindowRef window);
// Laid-out lines, the first line shown, and where (window local, v the
// line's top) the caret stands before the character at byte offset.
int TXNLineCount(TXNObject object);
int TXNFirstVisibleLine(TXNObject object);
Point TXNBytePoint(TXNObject object, std::size_t byteOffset);
// The first byte of each laid-out line.
std::vector<std::size_t> TXNLineStarts(TXNObject object);
// The vertical scroll bar, or null.
ControlRef TXNScrollBar(TXNObject object);

}  // namespace tb

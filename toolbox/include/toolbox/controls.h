// Control Manager: push buttons, check boxes, radio buttons, pop-up menu
// buttons, scroll bars, progress bars, user panes, pictures, icons and
// separator lines, each belonging to a window and drawn with QuickDraw into
// the window's port in one plain look.
//
// Every window has a root control, made when it is first asked for or when
// the first control is made; new controls are embedded in it unless
// EmbedControl moves them elsewhere. Deactivating a control (the root
// included) dims it and everything embedded in it; activating it again
// brings back each embedded control's own state, so a button dimmed by the
// program stays dimmed when its window comes to the front again.
//
// Coordinates are the window's local ones (its port rectangle). Every call
// accepts a null or disposed control and then does nothing (getters answer
// 0, or an error code where they return one).
//
// Tracking (TrackControl, HandleControlClick) runs its own loop on StillDown
// and GetMouse, so the network and the other pump work keep running while
// the button is held; an action procedure is called on every pass.
#pragma once

#include "toolbox/bundle.h"
#include "toolbox/events.h"
#include "toolbox/menus.h"
#include "toolbox/quickdraw.h"
#include "toolbox/types.h"
#include "toolbox/windows.h"

struct ControlRecord;  // opaque
using ControlRef = ControlRecord*;
using ControlHandle = ControlRef;
using ControlPartCode = SInt16;
using ControlFocusPart = SInt16;
using ControlVariant = SInt16;

// Definitions (procID). The pop-up variants add popupFixedWidth,
// popupVariableWidth, popupUseAddResMenu and popupUseWFont to
// popupMenuProc; useWFont (8) added to the first three draws the title in
// the window's font instead of the system font.
enum : SInt16 {
  pushButProc = 0,
  checkBoxProc = 1,
  radioButProc = 2,
  useWFont = 8,
  scrollBarProc = 16,
  popupMenuProc = 1008,
  kControlPushButtonProc = 368,
  kControlCheckBoxProc = 369,
  kControlRadioButtonProc = 370,
  kControlScrollBarProc = 384,
  kControlScrollBarLiveProc = 386,
  kControlPopupButtonProc = 400,
  kControlProgressBarProc = 80,
  kControlSeparatorLineProc = 144,
  kControlUserPaneProc = 256,
  kControlPictureProc = 304,
  kControlPictureNoTrackProc = 305,
  kControlIconProc = 320,
  kControlIconNoTrackProc = 321,
};
enum : SInt16 { popupFixedWidth = 1, popupVariableWidth = 2, popupUseAddResMenu = 4, popupUseWFont = 8 };

// Part codes.
enum : ControlPartCode {
  kControlNoPart = 0,
  kControlEntireControl = 0,
  kControlLabelPart = 1,
  kControlMenuPart = 2,
  kControlPicturePart = 6,
  kControlIconPart = 7,
  kControlButtonPart = 10,
  kControlCheckBoxPart = 11,
  kControlRadioButtonPart = 11,
  kControlUpButtonPart = 20,
  kControlDownButtonPart = 21,
  kControlPageUpPart = 22,
  kControlPageDownPart = 23,
  kControlIndicatorPart = 129,
  kControlDisabledPart = 254,
  kControlInactivePart = 255,
  // the classic names
  inButton = 10,
  inCheckBox = 11,
  inUpButton = 20,
  inDownButton = 21,
  inPageUp = 22,
  inPageDown = 23,
  inThumb = 129,
};

// Focus parts given to SetKeyboardFocus (any other value is passed to the
// control's focus procedure as it stands).
enum : ControlFocusPart { kControlFocusNoPart = 0, kControlFocusNextPart = -1, kControlFocusPrevPart = -2 };

// Check box values.
enum : SInt16 { kControlCheckBoxUncheckedValue = 0, kControlCheckBoxCheckedValue = 1, kControlCheckBoxMixedValue = 2 };

// User-pane features (the value given to NewControl for a user pane).
enum : UInt32 {
  kControlSupportsEmbedding = 1u << 1,
  kControlSupportsFocus = 1u << 2,
  kControlWantsIdle = 1u << 3,
  kControlWantsActivate = 1u << 4,
  kControlHandlesTracking = 1u << 5,
  kControlGetsFocusOnClick = 1u << 8,
};

// Data tags of SetControlData/GetControlData.
using ResTypeTag = ResType;
enum : ResType {
  kControlUserPaneDrawProcTag = 'draw',
  kControlUserPaneHitTestProcTag = 'hitt',
  kControlUserPaneTrackingProcTag = 'trak',
  kControlUserPaneActivateProcTag = 'acti',
  kControlUserPaneFocusProcTag = 'foci',
  kControlPopupButtonMenuHandleTag = 'mhan',
  kControlPopupButtonMenuRefTag = 'mhan',
  kControlPopupButtonMenuIDTag = 'mnid',
};

enum : OSErr {
  errDataNotSupported = -30581,
  errControlDoesntSupportFocus = -30582,
  errUnknownControl = -30584,
  errCouldntSetFocus = -30585,
  errNoRootControl = -30586,
  errControlIsNotEmbedder = -30590,
  errDataSizeMismatch = -30591,
};

// Callbacks. The UPP forms are the plain function pointers.
using ControlActionProcPtr = void (*)(ControlRef control, ControlPartCode part);
using ControlActionUPP = ControlActionProcPtr;
using ControlUserPaneDrawProcPtr = void (*)(ControlRef control, SInt16 part);
using ControlUserPaneHitTestProcPtr = ControlPartCode (*)(ControlRef control, Point where);
using ControlUserPaneTrackingProcPtr = ControlPartCode (*)(ControlRef control, Point startPt,
                                                           ControlActionUPP actionProc);
using ControlUserPaneActivateProcPtr = void (*)(ControlRef control, Boolean activating);
using ControlUserPaneFocusProcPtr = ControlPartCode (*)(ControlRef control, ControlFocusPart action);
using ControlUserPaneDrawUPP = ControlUserPaneDrawProcPtr;
using ControlUserPaneHitTestUPP = ControlUserPaneHitTestProcPtr;
using ControlUserPaneTrackingUPP = ControlUserPaneTrackingProcPtr;
using ControlUserPaneActivateUPP = ControlUserPaneActivateProcPtr;
using ControlUserPaneFocusUPP = ControlUserPaneFocusProcPtr;

// Given as the action of TrackControl or HandleControlClick: use the
// action procedure stored with the control (SetControlAction).
#define kControlUseOwnAction (reinterpret_cast<ControlActionUPP>(-1))

inline ControlActionUPP NewControlActionUPP(ControlActionProcPtr proc) { return proc; }
inline void DisposeControlActionUPP(ControlActionUPP) {}
inline void InvokeControlActionUPP(ControlRef c, ControlPartCode part, ControlActionUPP upp) {
  if (upp) upp(c, part);
}
inline ControlUserPaneDrawUPP NewControlUserPaneDrawUPP(ControlUserPaneDrawProcPtr p) { return p; }
inline ControlUserPaneHitTestUPP NewControlUserPaneHitTestUPP(ControlUserPaneHitTestProcPtr p) { return p; }
inline ControlUserPaneTrackingUPP NewControlUserPaneTrackingUPP(ControlUserPaneTrackingProcPtr p) { return p; }
inline ControlUserPaneActivateUPP NewControlUserPaneActivateUPP(ControlUserPaneActivateProcPtr p) { return p; }
inline ControlUserPaneFocusUPP NewControlUserPaneFocusUPP(ControlUserPaneFocusProcPtr p) { return p; }
inline void DisposeControlUserPaneDrawUPP(ControlUserPaneDrawUPP) {}
inline void DisposeControlUserPaneHitTestUPP(ControlUserPaneHitTestUPP) {}
inline void DisposeControlUserPaneTrackingUPP(ControlUserPaneTrackingUPP) {}
inline void DisposeControlUserPaneActivateUPP(ControlUserPaneActivateUPP) {}
inline void DisposeControlUserPaneFocusUPP(ControlUserPaneFocusUPP) {}

// ---------------------------------------------------------------------------
// Making and disposing

// A control in the window. For a pop-up menu button, min is the menu's id
// (the menu in the menu list, else the 'MENU' resource, else a new empty
// menu of that id), max the width of the title's label area and value its
// style; afterwards the control's minimum is 1, its maximum the menu's item
// count and its value 1 (0 for an empty menu). For a picture the value is
// the 'PICT' id, for an icon the 'cicn' id, for a user pane its features.
// Null without a window or for an unknown procID.
ControlRef NewControl(WindowRef owner, const Rect* bounds, ConstStr255Param title, Boolean visible,
                      SInt16 value, SInt16 min, SInt16 max, SInt16 procID, long refCon);
// From the 'CNTL' resource of that id (bounds, value, visible, max, min,
// procID, refCon, title); null when there is none or it is damaged.
ControlRef GetNewControl(SInt16 resourceID, WindowRef owner);
OSStatus CreatePushButtonControl(WindowRef window, const Rect* bounds, ConstStr255Param title,
                                 ControlRef* outControl);
OSStatus CreateUserPaneControl(WindowRef window, const Rect* bounds, UInt32 features,
                               ControlRef* outControl);
OSStatus CreateSeparatorControl(WindowRef window, const Rect* bounds, ControlRef* outControl);
// Disposes the control and everything embedded in it (a root control is
// emptied but stays).
void DisposeControl(ControlRef control);
// Disposes every control of the window.
void KillControls(WindowRef window);

// ---------------------------------------------------------------------------
// The control hierarchy

OSErr CreateRootControl(WindowRef window, ControlRef* outControl);
OSErr GetRootControl(WindowRef window, ControlRef* outControl);
// Moves the control (with what it holds) into the container, which must
// be of the same window and be the root or a user pane that supports
// embedding.
OSErr EmbedControl(ControlRef control, ControlRef container);
WindowRef GetControlOwner(ControlRef control);

// ---------------------------------------------------------------------------
// Values. Setting a value clamps it to the range; setting the range clamps
// the value. A maximum set below the minimum becomes the minimum. A visible
// control is redrawn when its look changes.

SInt16 GetControlValue(ControlRef control);
void SetControlValue(ControlRef control, SInt16 value);
SInt16 GetControlMinimum(ControlRef control);
void SetControlMinimum(ControlRef control, SInt16 min);
SInt16 GetControlMaximum(ControlRef control);
void SetControlMaximum(ControlRef control, SInt16 max);
SInt32 GetControl32BitValue(ControlRef control);
void SetControl32BitValue(ControlRef control, SInt32 value);
SInt32 GetControl32BitMinimum(ControlRef control);
void SetControl32BitMinimum(ControlRef control, SInt32 min);
SInt32 GetControl32BitMaximum(ControlRef control);
void SetControl32BitMaximum(ControlRef control, SInt32 max);
// A scroll bar's view size: the thumb takes that share of the track
// (view / (max - min + view)); 0 gives a fixed small thumb.
SInt32 GetControlViewSize(ControlRef control);
void SetControlViewSize(ControlRef control, SInt32 viewSize);

void SetControlTitle(ControlRef control, ConstStr255Param title);
void GetControlTitle(ControlRef control, Str255 title);
// The title from a string's UTF-8 text, cut to 255 bytes on a character
// boundary.
OSStatus SetControlTitleWithCFString(ControlRef control, CFStringRef title);
// The title's style. Only the fore colour is honoured: with
// kControlUseForeColorMask in flags the title is drawn in foreColor while
// the control is active (a dimmed control keeps the dimmed ink); without
// it, in the normal ink again. The control stays as clickable as it was.
enum : SInt16 { kControlUseForeColorMask = 0x0040 };
struct ControlFontStyleRec {
  SInt16 flags = 0;
  SInt16 font = 0;
  SInt16 size = 0;
  SInt16 style = 0;
  SInt16 mode = 0;
  SInt16 just = 0;
  RGBColor foreColor{};
  RGBColor backColor{};
};
OSErr SetControlFontStyle(ControlRef control, const ControlFontStyleRec* inStyle);

// The reference value is as wide as a pointer: programs keep their own
// records there.
long GetControlReference(ControlRef control);
void SetControlReference(ControlRef control, long data);
void SetControlAction(ControlRef control, ControlActionUPP action);
ControlActionUPP GetControlAction(ControlRef control);

// Tagged data: the user-pane procedures; a pop-up's menu (MenuRef) and
// menu id (SInt16). A size that does not match the tag's gives
// errDataSizeMismatch, an unknown tag errDataNotSupported.
OSErr SetControlData(ControlRef control, ControlPartCode part, ResType tag, Size size, const void* data);
OSErr GetControlData(ControlRef control, ControlPartCode part, ResType tag, Size bufferSize, void* buffer,
                     Size* actualSize);
OSErr GetControlDataSize(ControlRef control, ControlPartCode part, ResType tag, Size* size);

// A pop-up menu button's menu; the value selects its item.
MenuRef GetControlPopupMenuHandle(ControlRef control);
void SetControlPopupMenuHandle(ControlRef control, MenuRef menu);

// ---------------------------------------------------------------------------
// State

// 0 normal, 1-253 that part pressed (10 the button part, used for the
// flash), 255 inactive.
void HiliteControl(ControlRef control, ControlPartCode part);
UInt16 GetControlHilite(ControlRef control);
OSErr ActivateControl(ControlRef control);
OSErr DeactivateControl(ControlRef control);
// Active: neither the control nor any control holding it is inactive.
Boolean IsControlActive(ControlRef control);
OSStatus EnableControl(ControlRef control);
OSStatus DisableControl(ControlRef control);
Boolean IsControlEnabled(ControlRef control);

void ShowControl(ControlRef control);
void HideControl(ControlRef control);
OSErr SetControlVisibility(ControlRef control, Boolean visible, Boolean draw);
// Visible: shown, and every control holding it shown.
Boolean IsControlVisible(ControlRef control);

// Geometry (local coordinates). Moving or sizing a container moves what
// it holds with it.
void MoveControl(ControlRef control, SInt16 h, SInt16 v);
void SizeControl(ControlRef control, SInt16 w, SInt16 h);
Rect* GetControlBounds(ControlRef control, Rect* bounds);
void SetControlBounds(ControlRef control, const Rect* bounds);

// ---------------------------------------------------------------------------
// Drawing (into the owner's port; the current port is kept)

void Draw1Control(ControlRef control);
void DrawOneControl(ControlRef control);
void DrawControls(WindowRef window);
// Draws the visible controls that meet the region (local coordinates);
// null draws them all.
void UpdateControls(WindowRef window, RgnHandle region);

// ---------------------------------------------------------------------------
// Mouse

// The part of the control under the point (local); 0 when the control is
// hidden, inactive or not hit.
ControlPartCode TestControl(ControlRef control, Point testPoint);
// The frontmost visible, active control under the point and its part.
ControlPartCode FindControl(Point testPoint, WindowRef window, ControlRef* control);
// The frontmost visible control under the point, inactive ones too; part
// gets its part, 0 for a control that cannot be used now.
ControlRef FindControlUnderMouse(Point where, WindowRef window, SInt16* part);
// Follows the mouse from a press at startPoint (local) until the button is
// released, showing the pressed part while the mouse is over it, and
// returns that part when released over it, else 0.
// - Arrows, page areas and buttons: the action procedure is called on every
//   pass with the pressed part while the mouse is over it, else 0. A press
//   that hits no part (an empty control used only for tracking) calls it
//   with 0 on every pass and returns 0.
// - A scroll bar's thumb follows the mouse, setting the value as it goes
//   (the action procedure, when given, is called with the thumb part).
// - A pop-up menu button opens its menu with the current item over the
//   control; a choice sets the value and returns kControlMenuPart.
// - A user pane with a tracking procedure lets it do the tracking.
// action is null for none, or kControlUseOwnAction for the control's own.
ControlPartCode TrackControl(ControlRef control, Point startPoint, ControlActionUPP action);
// TrackControl, after giving a user pane that wants it the keyboard focus.
ControlPartCode HandleControlClick(ControlRef control, Point where, EventModifiers modifiers,
                                   ControlActionUPP action);

// ---------------------------------------------------------------------------
// Keyboard focus (one control per window). A user pane takes part in it
// through its focus procedure, which answers the part it now has focused
// (0 for none).
OSErr SetKeyboardFocus(WindowRef window, ControlRef control, ControlFocusPart part);
OSErr GetKeyboardFocus(WindowRef window, ControlRef* control);
OSErr ClearKeyboardFocus(WindowRef window);

namespace tb {

// Where the parts of a scroll bar lie (local coordinates); false when the
// control is not a scroll bar or has no such part now (no thumb while the
// range is empty or the bar too short).
bool ScrollBarPartRect(ControlRef control, ControlPartCode part, Rect* r);
// The global rectangle of item of a pop-up button's menu as its tracking
// would show it, for the test driver.
bool PopupItemRect(ControlRef control, MenuItemIndex item, Rect* r);
// Number of live controls of the window, root included (tests).
int ControlCount(WindowRef window);
// Scrolls as the bar's arrows would for a turn of the wheel: with the
// window's port current, action (the bar's own, SetControlAction, when null)
// is called with the down or right arrow part once a line (the up or left
// one for negative lines), until the value stops moving. False when the bar
// is hidden, inactive, has nothing to scroll or no action.
bool ScrollBarByLines(ControlRef bar, int lines, ControlActionUPP action = nullptr);
// The scroll bar of the window under a local point that has an action
// procedure of its own, or null.
ControlRef ScrollBarWithActionAt(WindowRef window, Point local);

}  // namespace tb

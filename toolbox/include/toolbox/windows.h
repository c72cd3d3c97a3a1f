// Window Manager: the process's windows in front-to-back order, each with
// its own port and pixel buffer, framed in one plain look. Update and
// activate events are made here and delivered by the Event Manager.
//
// A window keeps its pixels while other windows cover it, so uncovering a
// window needs no redraw: update events come when a window is shown, grows,
// zooms or is invalidated by the program.
#pragma once

#include "toolbox/cfstring.h"
#include "toolbox/events.h"
#include "toolbox/quickdraw.h"
#include "toolbox/types.h"

struct WindowRecord;  // opaque
using WindowRef = WindowRecord*;
using WindowPtr = WindowRef;
using CWindowPtr = WindowRef;
using WindowPartCode = SInt16;
using WindowRegionCode = UInt16;

// Put a new window in front of all others.
#define kFirstWindowOfClass (reinterpret_cast<WindowRef>(-1))

enum : WindowPartCode {
  inDesk = 0,
  inNoWindow = 0,
  inMenuBar = 1,
  inSysWindow = 2,
  inContent = 3,
  inDrag = 4,
  inGrow = 5,
  inGoAway = 6,
  inZoomIn = 7,
  inZoomOut = 8,
  inCollapseBox = 11,
};

// Window definitions (procID).
enum : short {
  documentProc = 0,
  dBoxProc = 1,
  plainDBox = 2,
  altDBoxProc = 3,
  noGrowDocProc = 4,
  movableDBoxProc = 5,
  zoomDocProc = 8,
  zoomNoGrow = 12,
};

// Window kinds.
enum : short { dialogKind = 2, userKind = 8, kDialogWindowKind = 2, kApplicationWindowKind = 8 };

enum : WindowRegionCode {
  kWindowTitleBarRgn = 0,
  kWindowTitleTextRgn = 1,
  kWindowCloseBoxRgn = 2,
  kWindowZoomBoxRgn = 3,
  kWindowDragRgn = 5,
  kWindowGrowRgn = 6,
  kWindowCollapseBoxRgn = 7,
  kWindowStructureRgn = 32,
  kWindowContentRgn = 33,
  kWindowUpdateRgn = 34,
};

// Theme metrics this look answers.
using ThemeMetric = UInt32;
enum : ThemeMetric { kThemeMetricScrollBarWidth = 0, kThemeMetricSmallScrollBarWidth = 1,
                     kThemeMetricResizeControlHeight = 38, kThemeMetricTitleBarHeight = 100 };
OSStatus GetThemeMetric(ThemeMetric metric, SInt32* value);

// Making windows. bounds is the content rectangle in global coordinates;
// behind is the window to go behind, kFirstWindowOfClass ((WindowRef)-1)
// for in front of all, null for behind all. storage is ignored.
WindowRef NewCWindow(void* storage, const Rect* bounds, ConstStr255Param title, Boolean visible,
                     short procID, WindowRef behind, Boolean goAwayFlag, long refCon);
WindowRef NewWindow(void* storage, const Rect* bounds, ConstStr255Param title, Boolean visible,
                    short procID, WindowRef behind, Boolean goAwayFlag, long refCon);
// From the 'WIND' resource of that id; null when there is none.
WindowRef GetNewCWindow(short windowID, void* storage, WindowRef behind);
WindowRef GetNewWindow(short windowID, void* storage, WindowRef behind);
void DisposeWindow(WindowRef window);
void CloseWindow(WindowRef window);

// Order and visibility.
WindowRef FrontWindow();
WindowRef FrontNonFloatingWindow();
WindowRef GetWindowList();
WindowRef GetNextWindow(WindowRef window);
void ShowWindow(WindowRef window);
void HideWindow(WindowRef window);
void ShowHide(WindowRef window, Boolean showFlag);
Boolean IsWindowVisible(WindowRef window);
// True for a window that exists (not yet disposed).
Boolean IsValidWindowPtr(WindowRef window);
void SelectWindow(WindowRef window);
void BringToFront(WindowRef window);
// behind null sends the window to the back.
void SendBehind(WindowRef window, WindowRef behindWindow);
void HiliteWindow(WindowRef window, Boolean fHilite);
Boolean IsWindowHilited(WindowRef window);
OSStatus CollapseWindow(WindowRef window, Boolean collapse);
Boolean IsWindowCollapsed(WindowRef window);
Boolean IsWindowCollapsable(WindowRef window);

// Geometry. MoveWindow moves the content's top-left to (h, v) global.
void MoveWindow(WindowRef window, short hGlobal, short vGlobal, Boolean front);
void SizeWindow(WindowRef window, short w, short h, Boolean fUpdate);
Rect* GetWindowPortBounds(WindowRef window, Rect* bounds);
OSStatus GetWindowBounds(WindowRef window, WindowRegionCode regionCode, Rect* globalBounds);
OSStatus SetWindowBounds(WindowRef window, WindowRegionCode regionCode, const Rect* globalBounds);
Rect* GetWindowStandardState(WindowRef window, Rect* rect);
void SetWindowStandardState(WindowRef window, const Rect* rect);
Rect* GetWindowUserState(WindowRef window, Rect* rect);
void SetWindowUserState(WindowRef window, const Rect* rect);
// The window's part of the screen that no window in front covers, in the
// window's local coordinates.
RgnHandle GetWindowVisibleRegion(WindowRef window, RgnHandle rgn);

// Titles, reference values, kinds, content colour.
void SetWTitle(WindowRef window, ConstStr255Param title);
void GetWTitle(WindowRef window, Str255 title);
// The title from a string (cut to 255 bytes on a character boundary); a
// new string the caller releases.
OSStatus SetWindowTitleWithCFString(WindowRef window, CFStringRef title);
OSStatus CopyWindowTitleAsCFString(WindowRef window, CFStringRef* title);
void SetWRefCon(WindowRef window, long data);
long GetWRefCon(WindowRef window);
short GetWindowKind(WindowRef window);
void SetWindowKind(WindowRef window, short kind);
OSStatus SetWindowContentColor(WindowRef window, const RGBColor* color);
OSStatus GetWindowContentColor(WindowRef window, RGBColor* color);

// Ports.
CGrafPtr GetWindowPort(WindowRef window);
WindowRef GetWindowFromPort(CGrafPtr port);
void SetPortWindowPort(WindowRef window);

// Hit testing and mouse tracking (global points).
WindowPartCode FindWindow(Point thePoint, WindowRef* window);
// Drags the window's outline until the button is released, keeping the
// mouse inside boundsRect (the title bar stays below the menu bar), then
// moves the window; the window is selected unless the Command key is down.
void DragWindow(WindowRef window, Point startPt, const Rect* boundsRect);
Boolean TrackGoAway(WindowRef window, Point thePt);
// Drags a grey outline of the region's bounds (local coordinates of the
// current port, as startPt and both rectangles) until the button is
// released. The mouse counts as pinned inside limitRect; axis hAxisOnly or
// vAxisOnly keeps the other coordinate. actionProc (may be null) runs at
// each step. Returns the offset as dv << 16 | (dh & 0xFFFF), or 0x80008000
// when released outside slopRect (null: anywhere counts as inside).
using DragGrayRgnProcPtr = void (*)();
using DragGrayRgnUPP = DragGrayRgnProcPtr;
enum : short { noConstraint = 0, hAxisOnly = 1, vAxisOnly = 2 };
long DragGrayRgn(RgnHandle theRgn, Point startPt, const Rect* limitRect, const Rect* slopRect, short axis,
                 DragGrayRgnUPP actionProc);
// For the zoom and collapse boxes.
Boolean TrackBox(WindowRef window, Point thePt, WindowPartCode partCode);
// Tracks the grow box; returns the new size as height << 16 | width, or 0
// when unchanged. sizeRect gives the minimum (top, left) and maximum
// (bottom, right) height and width.
long GrowWindow(WindowRef window, Point startPt, const Rect* sizeRect);
Boolean ResizeWindow(WindowRef window, Point startPoint, const Rect* sizeConstraints,
                     Rect* newContentRect);
void ZoomWindow(WindowRef window, WindowPartCode partCode, Boolean front);
void DrawGrowIcon(WindowRef window);
Boolean SystemClick(const EventRecord* event, WindowRef window);

// Update regions (in the window's local coordinates).
OSStatus InvalWindowRect(WindowRef window, const Rect* bounds);
OSStatus InvalWindowRgn(WindowRef window, RgnHandle region);
OSStatus ValidWindowRect(WindowRef window, const Rect* bounds);
OSStatus ValidWindowRgn(WindowRef window, RgnHandle region);
// Between the two, drawing into the window is limited to what was invalid,
// and the update region is empty (so the update event stops).
void BeginUpdate(WindowRef window);
void EndUpdate(WindowRef window);
Boolean IsWindowUpdatePending(WindowRef window);

namespace tb {

// Window by title (the first, front to back), for tests and scripts.
WindowRef FindWindowByTitle(std::string_view title);
// Writes the window as it looks on screen (frame and content) as PNG.
OSErr SaveWindowPNG(WindowRef window, const char* path);
// The height of a title bar (pixels above the content).
short TitleBarHeight(WindowRef window);
// Disposes every window (tests).
void DisposeAllWindows();
// Number of windows (visible or not).
int WindowCount();
// Called at the start of DisposeWindow while the window is still whole, in
// the order added (the Control Manager disposes the window's controls).
using WindowDisposeHook = void (*)(WindowRef window);
void AddWindowDisposeHook(WindowDisposeHook hook);

}  // namespace tb

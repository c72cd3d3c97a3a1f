// The held-job manager's own small controls: one-line Unicode text fields
// on the text engine inside a user pane, self-drawn static labels, picture
// buttons and spin buttons, and the about box; with the program's own
// list-control and toolbox services.
#pragma once

#include "toolbox/carbonevents.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/icons.h"
#include "toolbox/quickdraw.h"
#include "toolbox/textengine.h"
#include "toolbox/types.h"

// ---- drawing -------------------------------------------------------------------

// The port made current for a drawing scope that changes its colours (a
// white back for a field or a copy, a grey pen for a frame): the colours
// it found come back at the end, so no later erase of the port takes them.
class ColorPortSaver {
 public:
  explicit ColorPortSaver(GrafPtr port) : saver_(port) {
    GetForeColor(&fore_);
    GetBackColor(&back_);
  }
  ~ColorPortSaver() {
    RGBForeColor(&fore_);
    RGBBackColor(&back_);
  }
  ColorPortSaver(const ColorPortSaver&) = delete;
  ColorPortSaver& operator=(const ColorPortSaver&) = delete;

 private:
  tb::PortSaver saver_;
  RGBColor fore_{}, back_{};
};

// The dialog's background: its window's content colour.
RGBColor DialogBackColor(DialogRef dialog);

// ---- text fields ------------------------------------------------------------

// Told of every key a focused field saw (Return, Enter and Escape included).
using MLTEKeyDownNotifyProc = void (*)(WindowRef window, ControlRef control, UInt16 character, Boolean modified);

struct MLTE_DATA {
  TXNObject object;
  TXNFrameID frameID;
  ControlRef control;
  WindowRef window;
  CGrafPtr port;
  UInt8 focused;
  UInt8 active;
  UInt8 textActive;
  UInt8 isDialog;
  UInt8 enabled;
  Rect bounds;
  Rect frame;  // 14 pixels wider with the scroll-bar allowance
  Rect editFrame;
  RgnHandle eraseRgn;
  EventHandlerRef keyHandler;
  UInt32 encoding;
  UInt8 modified;
  SInt32 dest[4];  // the text's destination rectangle: top, left, bottom, right
  MLTEKeyDownNotifyProc notify;
};

TXNObject MLTENew(ControlRef control, SInt16 hShift, SInt16 vShift, ConstStr255Param fontName, SInt16 fontSize,
                  UInt32 encoding, Boolean scrollAllowance);
void MLTEDispose(TXNObject* object);
OSStatus MLTESetText(TXNObject object, OSType dataType, const void* data, ByteCount length);
OSStatus MLTESetTextByControl(ControlRef control, OSType dataType, const void* data, ByteCount length);
OSStatus MLTESetInt(TXNObject object, long number);
OSStatus MLTESetIntByControl(ControlRef control, long number);
OSStatus MLTEGetData(TXNObject object, Handle* data);
// -1 no control, -2 no record; else the platform's result.
OSStatus MLTEGetPString(ControlRef control, Str255 text);
long MLTEGetInt(ControlRef control);
SInt16 MLTEGetFocus(ControlRef control);
SInt16 MLTEGetEnable(ControlRef control);
SInt16 MLTEGetViewRect(ControlRef control, Rect* rect);
void MLTESetKeyboardFocus(WindowRef window, ControlRef control);
SInt16 MLTESetKeyDownNotifyProc(ControlRef control, MLTEKeyDownNotifyProc proc);
SInt16 MLTESetEnable(ControlRef control, const RGBColor* background, Boolean enable);
SInt16 MLTESetFont(ControlRef control, ConstStr255Param fontName, SInt16 size, UInt32 encoding);
Boolean UniCharToPString(Handle unicode, Str255 text, UInt32 encoding);
// The record of a field's control (null when it has none).
MLTE_DATA* MLTEGetRecord(ControlRef control);

// User-pane procedures and the key handler of the fields.
void TPPaneDrawProc(ControlRef control, SInt16 part);
ControlPartCode TPPaneHitTestProc(ControlRef control, Point where);
ControlPartCode TPPaneTrackingProc(ControlRef control, Point start, ControlActionUPP action);
void TPPaneActivateProc(ControlRef control, Boolean activating);
ControlPartCode TPPaneFocusProc(ControlRef control, ControlFocusPart action);
void TPActivatePaneText(MLTE_DATA* field, Boolean setActive);
OSStatus FocusAdvanceOverride(EventHandlerCallRef call, EventRef event, void* data);

// ---- static texts -----------------------------------------------------------

struct STC_DATA {
  DialogRef dialog;
  UInt16 item;
  Str255 fontName;
  SInt16 fontSize;
  Str255 text;
  SInt32 alignment;  // -1 unset, 1 right, anything else left
  STC_DATA* next;
  SInt16 fontID;
  UInt32 encoding;
};

int STCAddList(STC_DATA** head, DialogRef dialog, UInt16 item, ConstStr255Param fontName, SInt16 size, UInt32 encoding,
               ConstStr255Param text);
void STCSetData(STC_DATA* rec, DialogRef dialog, UInt16 item, ConstStr255Param fontName, SInt16 size, UInt32 encoding,
                ConstStr255Param text);
void STCDraw(STC_DATA* rec);
void STCDrawList(STC_DATA* head);
void STCSetAlignment(STC_DATA* head, int index, SInt32 alignment);
int STCGetPString(STC_DATA* head, int index, Str255 text);
// -555 no list, -666 a label without text, else the measuring result (0).
int STCAdjustWidth(STC_DATA* head, int index);
void STCDisposeList(STC_DATA** head);

// ---- picture and spin buttons ---------------------------------------------

struct BTN_DATA {
  ControlRef control;  // invisible, at -100, -100, of no size; its reference is this record
  Rect rect;
  SInt16 normal, pressed, disabled;  // picture ids
  char title[65];
  RgnHandle rgn;
  DialogItemIndex item;
  UInt16 state;  // 0 normal, 1 pressed, 2 disabled
  SInt16 step;
  UInt32 interval;  // repeat, in ticks
  UInt16 min, max;
  ControlActionUPP action;
  TXNObject field;
  UInt32 encoding;
  ControlRef fieldControl;
  UInt32 lastChange;
  DialogRef dialog;
};

int SetBtnData(DialogRef dialog, BTN_DATA* rec, DialogItemIndex item, SInt16 normal, SInt16 pressed, SInt16 disabled,
               const char* title);
void DrawBtn(DialogRef dialog, BTN_DATA* rec, GWorldPtr target);
// The two halves (up at first, down at first + 1); null without memory.
BTN_DATA* NewSpinBtn(DialogRef dialog, TXNObject field, ControlRef fieldControl, DialogItemIndex first, UInt16 min,
                     UInt16 max, UInt32 interval, SInt16 step, UInt32 encoding);
void DrawSpinBtn(DialogRef dialog, BTN_DATA* pair);
int PushSpinBtn(DialogRef dialog, BTN_DATA* half);
void DragSpinBtnProc(ControlRef control, ControlPartCode part);
void DisposeBtnData(BTN_DATA** slot, int count);

// ---- dialog items and one-button windows -----------------------------------

// An item's control (null for an item the dialog lacks or no control) and
// its rectangle (empty for an item the dialog lacks).
ControlRef GetItemControl(DialogRef dialog, DialogItemIndex item);
void GetDialogItemRect(DialogRef dialog, DialogItemIndex item, Rect* rect);
inline Rect ItemRectOf(DialogRef dialog, DialogItemIndex item) {
  Rect r;
  GetDialogItemRect(dialog, item, &r);
  return r;
}

// A press in a modeless window with one button (the about box, the
// progress dialog): the title bar drags it, the close box and the button
// are tracked. What the press ended in: the close box or the button
// released inside, else nothing.
enum class OneButtonPress { none, closeBox, button };
OneButtonPress TrackOneButtonPress(const EventRecord* event, DialogRef dialog, DialogItemIndex button);
// Return, Enter, Escape or Command-period: the button flashed; true when
// the key was one.
bool OneButtonKey(const EventRecord* event, DialogRef dialog, DialogItemIndex button);

// ---- about box and icon list ----------------------------------------------

int OpenAboutDlg();
void CloseAboutDlg(DialogRef dialog);
void UpdateAboutDlg(DialogRef dialog);
void MouseDownAboutDlg(EventRecord* event, DialogRef dialog);
Boolean KeyDownAboutDlg(EventRecord* event, DialogRef dialog);

struct ICON_LIST {
  IconRef icon;
  ICON_LIST* next;
};
int AddIconList(ICON_LIST** head, IconRef icon);
void DisposeIconList(ICON_LIST** head);

// ---- list-control and toolbox services of this program ---------------------

// Projected = before + (release - click) x scale / 100: past the maximum
// going forward the bar lands on its maximum, at or below the minimum going
// backward on its minimum; else it keeps what the tracking gave it.
void CLTrackControlAlignment(ControlRef bar, SInt16 before, SInt16 click, SInt16 release, SInt32 scale);
int SetTab(char* text, int length);
const EventRecord* GetCurrentEventRecord();
void SetCurrentEventRecord(const EventRecord* event);
void Set_Dialog_VisRegion(DialogRef dialog, RgnHandle rgn);
void Get_Mouse(Point* where);
WindowRef Get_Control_Owner(ControlRef control);

struct CLIST_DATA;
struct FONT_DATA;
// This program's versions of services the shared libraries also have.
namespace hold {
// The library's adjustment, then each shown bar's scale: its maximum x 100
// / (track - thumb), the track less 33 pixels of arrows before 10.7 and 15
// for the other bar, the vertical one from below the header.
void CLAdjustScrollBar(CLIST_DATA* list, Boolean draw);
SInt16 ScrollScale(ControlRef bar);
// A press on a bar (0 vertical, 1 horizontal): the thumb tracks live and
// lands exactly on the ends (CLTrackControlAlignment); the list redraws
// when the value changed. Other parts as the library does them.
void CLMouseDownByScrollBar(CLIST_DATA* list, Point localPt, EventModifiers modifiers, SInt16 whichBar);
// The font number, the face and colour indexes from their names (names
// not in the lists leave them), the metrics measured on the current port,
// whose font, face and size are put back; 1.
short Get_Font_Details(FONT_DATA* font);
// The key's value with its "&" markers removed; 1, or 0 (empty) when missing.
int Load_File_To_PascalEx2(StringPtr out, const char* key, const char* section, const char* iniFile);
}  // namespace hold

// The bridge's one-line operations over the toolbox, and the no-ops that
// stand in for calls this system does not need.
#include "506Q_Lib/Bridge.h"

short Initialize_ToolBox() {
  FlushEvents(everyEvent, 0);
  InitCursor();
  return 1;
}

short Get_Trap_Address() { return 1; }
short Open_Desk_Acc(ConstStr255Param) { return 0; }
void System_Task() {}
void System_Click(EventRecord*, WindowRef) {}
void Max_Appl_Zone() {}

DialogRef Get_New_Dialog(SInt16 dialogID, void*, WindowRef) {
  return GetNewDialog(dialogID, nullptr, kFirstWindowOfClass);
}

WindowRef Get_New_CWindow(SInt16 windowID, void*, WindowRef) {
  return GetNewCWindow(windowID, nullptr, kFirstWindowOfClass);
}

void Close_Dialog(DialogRef dialog) {
  if (dialog) DisposeDialog(dialog);
}

void Close_Window(WindowRef window) {
  if (window) DisposeWindow(window);
}

WindowRef Get_Dialog_Window(DialogRef dialog) { return dialog ? GetDialogWindow(dialog) : nullptr; }
DialogRef Get_Dialog_From_Window(WindowRef window) { return window ? GetDialogFromWindow(window) : nullptr; }
CGrafPtr Get_CGPort_FromDialog(DialogRef dialog) { return dialog ? GetDialogPort(dialog) : nullptr; }

void Set_Port_Dialog_Port(DialogRef dialog) {
  if (dialog) SetPortDialogPort(dialog);
}

void Set_Port_Window_Port(WindowRef window) {
  if (window) SetPortWindowPort(window);
}

void Set_Dialog_Default_Item(DialogRef dialog, DialogItemIndex item) {
  if (dialog) SetDialogDefaultItem(dialog, item);
}

WindowRef Get_Window_List() { return GetWindowList(); }

Rect* Get_Dialog_Port_Bounds(DialogRef dialog, Rect* bounds) {
  return Get_Window_Port_Bounds(Get_Dialog_Window(dialog), bounds);
}

void Set_Dialog_Port_Bounds(DialogRef dialog, const Rect* bounds) {
  Set_Window_Port_Bounds(Get_Dialog_Window(dialog), bounds);
}

Rect* Get_Window_Port_Bounds(WindowRef window, Rect* bounds) {
  if (!bounds) return nullptr;
  *bounds = Rect{};
  if (window) GetWindowPortBounds(window, bounds);
  return bounds;
}

void Set_Window_Port_Bounds(WindowRef window, const Rect* bounds) {
  if (window && bounds) SetPortBounds(GetWindowPort(window), bounds);
}

Rect* Get_World_Rect(GWorldPtr world, Rect* bounds) {
  if (!bounds) return nullptr;
  *bounds = Rect{};
  if (world) GetPortBounds(world, bounds);
  return bounds;
}

Rect* Get_Window_Standard_State(WindowRef window, Rect* state) {
  if (!state) return nullptr;
  *state = Rect{};
  if (window) GetWindowStandardState(window, state);
  return state;
}

RgnHandle Get_Dialog_VisRegion(DialogRef dialog, RgnHandle region) {
  return Get_Window_VisRegion(Get_Dialog_Window(dialog), region);
}

RgnHandle Get_Window_VisRegion(WindowRef window, RgnHandle region) {
  if (window && region) GetPortVisibleRegion(GetWindowPort(window), region);
  return region;
}

const BitMap* Get_Port_Bitmap(DialogRef dialog) {
  return dialog ? GetPortBitMapForCopyBits(GetDialogPort(dialog)) : nullptr;
}

void Inval_Window_Rect(WindowRef window, const Rect* r) {
  if (window && r) InvalWindowRect(window, r);
}

Rect* Get_Control_Bounds(ControlRef control, Rect* bounds) {
  if (!bounds) return nullptr;
  *bounds = Rect{};
  if (control) GetControlBounds(control, bounds);
  return bounds;
}

void Set_Control_Bounds(ControlRef control, const Rect* bounds) {
  if (control && bounds) SetControlBounds(control, bounds);
}

MenuRef Get_Control_Popup_Menu_Handle(ControlRef control) {
  return control ? GetControlPopupMenuHandle(control) : nullptr;
}

short Get_Control_Hilite(ControlRef control) { return static_cast<short>(GetControlHilite(control) & 0xFF); }

void Enable_Item(MenuRef menu, short item) {
  if (menu && item >= 0) EnableMenuItem(menu, static_cast<MenuItemIndex>(item));
}

void Disable_Item(MenuRef menu, short item) {
  if (menu && item >= 0) DisableMenuItem(menu, static_cast<MenuItemIndex>(item));
}

void Check_Item(MenuRef menu, short item, Boolean checked) {
  if (menu) CheckMenuItem(menu, item, checked);
}

Cursor* Get_QDGlobals_Arrow(Cursor* arrow) {
  if (arrow) GetQDGlobalsArrow(arrow);
  return arrow;
}

BitMap* Get_QDGlobals_Screen_Bits(BitMap* bits) { return bits ? GetQDGlobalsScreenBits(bits) : nullptr; }
Pattern* Get_QDGlobals_Gray(Pattern* pat) { return pat ? GetQDGlobalsGray(pat) : nullptr; }
Pattern* Get_QDGlobals_Black(Pattern* pat) { return pat ? GetQDGlobalsBlack(pat) : nullptr; }
Pattern* Get_QDGlobals_White(Pattern* pat) { return pat ? GetQDGlobalsWhite(pat) : nullptr; }

ModalFilterUPP New_Modal_Filter(ModalFilterProcPtr proc) { return NewModalFilterUPP(proc); }
void Dispose_Modal_Filter(ModalFilterUPP filter) { DisposeModalFilterUPP(filter); }
UserItemUPP New_Routine_Descriptor(UserItemProcPtr proc) { return NewUserItemUPP(proc); }
void User_Dispose_Fanction(UserItemUPP proc) { DisposeUserItemUPP(proc); }
ControlActionUPP New_Control_Action(ControlActionProcPtr proc) { return NewControlActionUPP(proc); }
AEEventHandlerUPP New_AEEvent_Handler(AEEventHandlerProcPtr proc) { return NewAEEventHandlerUPP(proc); }

short CGetPort_TextFont(CGrafPtr port) { return port ? GetPortTextFont(port) : 0; }
Style CGetPort_TextFace(CGrafPtr port) { return port ? GetPortTextFace(port) : Style(normal); }
short CGetPort_TextSize(CGrafPtr port) { return port ? GetPortTextSize(port) : 0; }

namespace {

// Runs set with the port current, then makes the caller's port current
// again.
template <typename Set>
void on_port(CGrafPtr port, Set set) {
  if (!port) return;
  tb::PortSaver saved(port);
  set();
}

}  // namespace

void CSetPort_TextFont(CGrafPtr port, short font) {
  on_port(port, [&] { TextFont(font); });
}

void CSetPort_TextFace(CGrafPtr port, StyleParameter face) {
  on_port(port, [&] { TextFace(face); });
}

void CSetPort_TextSize(CGrafPtr port, short size) {
  on_port(port, [&] { TextSize(size); });
}

void Set_Content_Color(WindowRef window) {
  if (!window) return;
  tb::PortSaver saved(GetWindowPort(window));
  RGBColor content;
  if (GetWindowContentColor(window, &content) == noErr) RGBBackColor(&content);
  Rect r;
  GetWindowPortBounds(window, &r);
  EraseRect(&r);
}

void Set_Content_Color(DialogRef dialog) { Set_Content_Color(Get_Dialog_Window(dialog)); }

void Show_Modal_Dialog(DialogRef dialog, ModalFilterUPP filter, DialogItemIndex* item) {
  if (!dialog) {
    if (item) *item = 0;
    return;
  }
  tb::PortSaver saved;
  Set_Content_Color(dialog);
  ShowWindow(GetDialogWindow(dialog));
  ModalDialog(filter, item);
}

void Force_Update_Window() {
  GrafPtr port = GetQDGlobalsThePort();
  if (port) QDFlushPortBuffer(port, nullptr);
  if (WindowRef front = FrontWindow()) QDFlushPortBuffer(GetWindowPort(front), nullptr);
}

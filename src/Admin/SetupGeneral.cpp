// The General page (device password shown masked and its change dialog,
// a YES/NO switch, the LAN choice, printer names per port on some models,
// the wireless button) and what the pages' sub-dialogs share.
#include <algorithm>
#include <cstring>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "Admin/SetupWindow.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "toolbox/controls.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

char OldPassBuff[256], NewPassBuff[256], pNewPassBuff[256];
short OldPass = 0, NewPass = 0, pNewPass = 0;

void Draw_ReadOnly_Value(DialogRef dialog, short item, const char* text) {
  Rect r;
  Get_Dialog_Item_Rect(dialog, item, &r);
  if (r.left >= 16384) {  // hidden items report their place moved right
    r.left = SInt16(r.left - 16384);
    r.right = SInt16(r.right - 16384);
  }
  tb::PortSaver keep(GetDialogPort(dialog));
  RGBColor old, grey{0x8888, 0x8888, 0x8888};
  GetForeColor(&old);
  RGBForeColor(&grey);
  Str255 p;
  p[0] = UInt8(std::min<std::size_t>(std::strlen(text), 255));
  std::memcpy(p + 1, text, p[0]);
  Draw_String_User_StringArea(dialog, p, &r, 0, 0, 0);
  Rect frame = r;
  InsetRect(&frame, -3, -3);
  FrameRect(&frame);
  RGBForeColor(&old);
}

namespace {

ModalFilterProcPtr gSubFilter = nullptr;

// Return and Enter answer OK, Escape Cancel, each flashed; a filter of the
// sub-dialog (masked fields) sees the keys first.
Boolean sub_filter(DialogRef d, EventRecord* e, DialogItemIndex* item) {
  if (gSubFilter && gSubFilter(d, e, item)) return true;
  return Sub_Dialog_Button_Key(d, e, item);
}

}  // namespace

short Run_Setup_Sub_Dialog(SInt16 id, const char* titleKey, void (*load)(DialogRef), short (*collect)(DialogRef),
                           ModalFilterProcPtr filter, void (*onItem)(DialogRef, DialogItemIndex),
                           void (*unload)(DialogRef)) {
  DialogRef d = GetNewDialog(id, nullptr, reinterpret_cast<WindowRef>(-1));
  if (!d) return 0;
  Str255 title = {0};
  if (titleKey) Get_Ini_Text(title, "[TITLE]", titleKey, 0);
  if (title[0]) SetWTitle(GetDialogWindow(d), title);
  Set_String_To_Item(d, 1, "OK=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 2, "CANCEL=", "[BUTTON]", IniFileName);
  // Some sub-dialogs have a control of their own as item 3.
  DialogItemType kind = 0;
  Handle h = nullptr;
  Rect r;
  GetDialogItem(d, 3, &kind, &h, &r);
  if ((kind & ~itemDisable) == userItem)
    SetDialogItem(d, 3, kind, reinterpret_cast<Handle>(Draw_Dialog_Default_Button), nullptr);
  SetDialogDefaultItem(d, 1);
  if (load) load(d);
  ShowWindow(GetDialogWindow(d));
  const ModalFilterProcPtr outer = gSubFilter;
  gSubFilter = filter;
  short result = 0;
  for (;;) {
    DialogItemIndex item = 0;
    ModalDialog(sub_filter, &item);
    if (onItem && item != 2) onItem(d, item);
    // Values a refused OK stored stay stored.
    if (item == 1 && (!collect || collect(d) == 1)) {
      result = 1;
      break;
    }
    if (item == 2) break;
  }
  gSubFilter = outer;
  if (unload) unload(d);
  DisposeDialog(d);
  return result;
}

Boolean Sub_Dialog_Frame_Event(DialogRef d, EventRecord* e, DialogItemIndex* item, Boolean* redrawFlag,
                               void (*redraw)(DialogRef)) {
  WindowRef own = GetDialogWindow(d);
  switch (e->what) {
    case mouseDown: {
      WindowRef hit = nullptr;
      if (FindWindow(e->where, &hit) != inDrag) return false;
      if (hit == own) {
        Rect bounds{-32000, -32000, 32000, 32000};
        DragWindow(hit, e->where, &bounds);
        if (redrawFlag) *redrawFlag = 1;
      } else {
        SysBeep(1);
      }
      *item = 0;
      return true;
    }
    case updateEvt:
      if (reinterpret_cast<WindowRef>(e->message) != own) {
        Handle_Update(e);
        return false;
      }
      if (!redrawFlag || !*redrawFlag) return false;
      BeginUpdate(own);
      Set_Content_Color(d);
      DrawDialog(d);
      SetDialogDefaultItem(d, 1);
      if (redraw) redraw(d);
      EndUpdate(own);
      *item = 0;
      return true;
    default: return false;
  }
}

Boolean Sub_Dialog_Button_Key(DialogRef d, const EventRecord* e, DialogItemIndex* item) {
  if (e->what != keyDown && e->what != autoKey) return false;
  switch (UInt8((e->message & keyCodeMask) >> 8)) {
    case 0x24:
    case 0x4C: *item = 1; break;
    case 0x35: *item = 2; break;
    default: return false;
  }
  Invert_Button_Item(d, *item);
  return true;
}

// ---- General page ------------------------------------------------------------

namespace {

bool qsv_e() { return std::strncmp(Setup_Model(), "QSV-E", 5) == 0; }

UInt16 name_var(short port) { return UInt16(4369 + 256 * (port - 1)); }

void name_load(DialogRef d, short port) { Set_Editbox_From_String(d, 16, name_var(port)); }
short name_store(DialogRef d, short port) { return Set_Editbox_To_String(d, 16, name_var(port)); }
constexpr PORT_ITEMS kNamePorts{18, 15, name_load, name_store};

void Setup_General_Message(DialogRef d) {
  SettingsFont font(d);
  const char* f = IniFileName;
  Set_String_To_Item(d, 6, "ROOT=", "[LABEL]", f);
  Set_String_To_Item(d, 11, "HPC=", "[BUTTON]", f);
  Set_String_To_Item(d, 12, "LAN=", "[LABEL]", f);
  Set_String_To_Item(d, 9, "PASS=", "[BUTTON]", f);
  Set_String_To_Item(d, 14, "WIRELESS=", "[BUTTON]", f);
  Set_String_To_Item(d, 15, "GEN_PRINTER_NAME=", "[LABEL]", f);
  Set_String_To_Item(d, 17, "PORTNAME=", "[LABEL]", f);
}

// The typed text of the change dialog's field that has the keyboard.
struct Typed {
  char* buf;
  short* len;
};
Typed typed_of(int flag) {
  switch (flag) {
    case 105: return {OldPassBuff, &OldPass};
    case 107: return {NewPassBuff, &NewPass};
    case 109: return {pNewPassBuff, &pNewPass};
    default: return {nullptr, nullptr};
  }
}

Boolean Flag_General_dialog = 0;
ModalFilterUPP g_generalPasswordFilterProc = nullptr;

// 100 + the item of the password field that has the keyboard, else 99.
int password_flag(DialogRef d) {
  const DialogItemIndex focus = GetDialogKeyboardFocusItem(d);
  return focus == 5 || focus == 7 || focus == 9 ? 100 + focus : 99;
}

Boolean Handle_General_Passward_Filter(DialogRef d, EventRecord* e, DialogItemIndex* item) {
  if (Sub_Dialog_Frame_Event(d, e, item, &Flag_General_dialog, nullptr)) return true;
  if (e->what != keyDown && e->what != autoKey) return false;
  SetPassFlag = password_flag(d);
  Typed t = typed_of(SetPassFlag);
  if (!t.buf) return false;
  // Return, Escape and Enter (result 1) are the caller's buttons.
  Password_Input_Filter(d, e, 0, MaxSetpass, t.buf, t.len);
  return false;
}

void Load_Value_General_Detail(DialogRef d) {
  const char* f = IniFileName;
  Set_String_To_Item(d, 4, "PASS1=", "[LABEL]", f);
  Set_String_To_Item(d, 6, "PASS2=", "[LABEL]", f);
  Set_String_To_Item(d, 8, "PASS3=", "[LABEL]", f);
  SetPassFlag = 105;
  SelectDialogItemText(d, 5, 0, 0);
}

void password_field(DialogRef d, DialogItemIndex item) {
  if (item == 5 || item == 7 || item == 9) SelectDialogItemText(d, item, 32767, 32767);
  SetPassFlag = password_flag(d);
}

void Open_General_Passward_Dialog(DialogRef d) {
  OldPass = NewPass = pNewPass = 0;
  std::memset(OldPassBuff, 0, sizeof OldPassBuff);
  std::memset(NewPassBuff, 0, sizeof NewPassBuff);
  std::memset(pNewPassBuff, 0, sizeof pNewPassBuff);
  Flag_General_dialog = 1;
  g_generalPasswordFilterProc = NewModalFilterUPP(Handle_General_Passward_Filter);
  Run_Setup_Sub_Dialog(151, "PASS=", Load_Value_General_Detail, Get_Value_General_Detail, g_generalPasswordFilterProc,
                       password_field);
  DisposeModalFilterUPP(g_generalPasswordFilterProc);
  g_generalPasswordFilterProc = nullptr;
  SetPassFlag = 99;
  Set_Editbox_From_String(d, 7, 264);
}

void password_alert(const char* key) {
  Str255 text, empty = {0};
  Get_Ini_Text(text, "[STATIC]", key, 26);
  Set_Alert_Dialog_Items_YesNo(kAlertMessage, 2, text, empty, empty, empty);
}

}  // namespace

short Get_Value_General_Detail(DialogRef d) {
  const Typed fields[] = {{OldPassBuff, &OldPass}, {NewPassBuff, &NewPass}, {pNewPassBuff, &pNewPass}};
  const short labels[] = {4, 6, 8};
  for (int i = 0; i < 3; ++i)
    if (!Check_password(fields[i].buf)) return Setup_Error_Message(d, labels[i]), 0;
  if (Set_Editbox_To_String(d, 5, 264) != 0) return Setup_Error_Message(d, 4), 0;
  if (OldPass != TcpipPass || std::memcmp(OldPassBuff, TcpipPassBuff, std::size_t(OldPass)) != 0) {
    password_alert("PASSWORD=");
    return 0;
  }
  if (NewPass != pNewPass || std::memcmp(NewPassBuff, pNewPassBuff, std::size_t(NewPass)) != 0) {
    password_alert("PASSWORD1=");
    return 0;
  }
  char old[256];
  std::memcpy(old, TcpipPassBuff, sizeof old);
  const short oldLen = TcpipPass;
  std::memset(TcpipPassBuff, 0, sizeof TcpipPassBuff);
  std::memcpy(TcpipPassBuff, NewPassBuff, std::size_t(NewPass));
  TcpipPass = NewPass;
  if (Set_Editbox_To_String(d, 7, 264) != 0) {
    Setup_Error_Message(d, 6);
    std::memcpy(TcpipPassBuff, old, sizeof old);
    TcpipPass = oldLen;
    return 0;
  }
  return 1;
}

void Setup_General_Setup(DialogRef d) {
  SetDialogItem(d, 8, userItem | itemDisable, reinterpret_cast<Handle>(Draw_Setup_Frame_Item_B), nullptr);
}

void Setup_General_Load_Value(DialogRef d) {
  Set_Editbox_From_String(d, 7, 264);
  if (Set_Checkbox_From_EnumYes(d, 10, 12288) == 2) {
    HideDialogItem(d, 10);
    HideDialogItem(d, 11);
  }
  if (qsv_e()) {
    int flags[kSetupPortMax] = {0};
    for (short k = 0; k < iPortMax && k < kSetupPortMax; ++k) flags[k] = Check_Context_Data(name_var(k + 1));
    Set_Popup_PortListEx(d, 18, sPortList, iPortMax, iPortWidth, flags);
    if (iPortMax < 2) {
      HideDialogItem(d, 17);
      HideDialogItem(d, 18);
    }
    Setup_General_Set_PortInfo(d);
  } else {
    for (short item : {15, 16, 17, 18}) HideDialogItem(d, item);
  }
  if (Check_Context_Data(12289)) {
    ShowDialogItem(d, 12);
    ShowDialogItem(d, 13);
    Set_Popup_From_Enum(d, 13, 12289);
  } else {
    HideDialogItem(d, 12);
    HideDialogItem(d, 13);
  }
  if (Check_Context_Data(12304))
    ShowDialogItem(d, 14);
  else
    HideDialogItem(d, 14);
  Setup_General_Message(d);
}

Boolean Setup_General_Item_Select(DialogRef d, EventRecord*, DialogItemIndex item) {
  switch (item) {
    case 10:
      Toggle_Item(d, 10);
      if (Set_Popup_From_Enum(d, 13, 12289) < 2) {
        HideDialogItem(d, 12);
        HideDialogItem(d, 13);
      }
      if (Check_Context_Data(12304))
        ShowDialogItem(d, 14);
      else
        HideDialogItem(d, 14);
      return 1;
    case 18: Setup_General_Change_PortInfo(d); return 1;
    case 14: Open_Wireless_Setup_Dialog(); return 0;
    case 9: Open_General_Passward_Dialog(d); return 0;
    default: return 0;
  }
}

Boolean Setup_General_Get_Value(DialogRef d) {
  if (qsv_e()) Setup_General_Get_PortInfo(d);
  Set_Checkbox_To_EnumYes(d, 10, 12288);
  Set_Popup_To_Enum(d, 13, 12289);
  return 1;
}

void Setup_General_Update_Value(DialogRef) {}

void Setup_General_Set_PortInfo(DialogRef d) { Set_Port_Items(d, kNamePorts); }
short Setup_General_Get_PortInfo(DialogRef d) { return Get_Port_Items(d, kNamePorts); }
short Setup_General_Change_PortInfo(DialogRef d) { return Change_Port_Items(d, kNamePorts); }

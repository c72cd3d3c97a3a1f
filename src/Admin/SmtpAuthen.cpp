// The SMTP authentication dialog of one mail group: authentication on or
// off, the user name and the masked password, written into the settings
// tables when OK is accepted.
#include <algorithm>
#include <cstring>
#include <string>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "Admin/SmtpPage.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "toolbox/windows.h"

SMTP_AUTHEN_INFO* gAuthenInfo = nullptr;
short active_EditBox = 0;

namespace {

enum : DialogItemIndex {
  kOK = 1,
  kCancel = 2,
  kUse = 3,
  kUseCaption = 4,
  kUserLabel = 5,
  kUser = 6,
  kPassLabel = 7,
  kPass = 8
};
constexpr UInt16 kPrinterGroup = 0xEA10, kConsumGroup = 0xEA20;

void read_authen(SMTP_AUTHEN_INFO* a, UInt16 group) {
  a->enable = Get_Context_Boolean(UInt16(group + 6)) == 1 ? 1 : 0;
  char text[256];
  Get_Context_String(UInt16(group + 7), text);
  pstr::set(a->userName, sizeof a->userName, text);
  short min = 0, max = 0;
  Get_Context_StringEx(UInt16(group + 8), a->password, &min, &max);
  // The password buffer holds 255 characters whatever the box allows.
  a->minimum = UInt16(std::clamp<short>(min, 0, 255));
  a->maximum = UInt16(std::clamp<short>(max, 0, 255));
  a->value = SInt16(std::strlen(a->password));
  a->dummy[0] = UInt8(a->value);
  std::memset(a->dummy + 1, '*', std::size_t(a->value));
}

short write_authen(const SMTP_AUTHEN_INFO* a, UInt16 group) {
  Set_Context_Boolean(UInt16(group + 6), a->enable);
  if (a->enable != 1) return 1;
  const char* refused = nullptr;
  if (Set_Context_String(UInt16(group + 7), a->userName) != 0) {
    refused = "SMTPAUTH_USER=";
  } else {
    const short len = SInt16(strnlen(a->password, sizeof a->password - 1));
    if (Set_Context_StringEx(UInt16(group + 8), a->password, len) != 0) refused = "SMTPAUTH_PASS=";
  }
  if (!refused) return 1;
  Str255 label = {0};
  Load_File_To_PascalEx("[LABEL]", refused, label, 256, IniFileName);
  Setup_Label_Error_Message(pstr::str(label).c_str());
  return 0;
}

void captions(DialogRef d) {
  Set_String_To_Item(d, kUseCaption, "SMTPAUTH_ENABLE=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, kUserLabel, "SMTPAUTH_USER=", "[LABEL]", IniFileName);
  Set_String_To_Item(d, kPassLabel, "SMTPAUTH_PASS=", "[LABEL]", IniFileName);
}

bool hidden(DialogRef d, DialogItemIndex item) {
  Rect r;
  Get_Dialog_Item_Rect(d, item, &r);
  return r.left >= 16384;
}

// The typed user name and stars, taken into the record.
void take_fields(DialogRef d) {
  char text[256];
  Get_Item_Text(d, kUser, text, sizeof text);
  pstr::set(gAuthenInfo->userName, sizeof gAuthenInfo->userName, text);
  Get_Item_Text(d, kPass, text, sizeof text);
  pstr::set(gAuthenInfo->dummy, sizeof gAuthenInfo->dummy, text);
}

}  // namespace

void Get_Printer_Authen(SMTP_AUTHEN_INFO* a) { read_authen(a, kPrinterGroup); }
void Get_Consum_Authen(SMTP_AUTHEN_INFO* a) { read_authen(a, kConsumGroup); }
short Set_Printer_Authen(const SMTP_AUTHEN_INFO* a) { return write_authen(a, kPrinterGroup); }
short Set_Consum_Authen(const SMTP_AUTHEN_INFO* a) { return write_authen(a, kConsumGroup); }

void Setup_Authen_Update_Value(DialogRef d) {
  if (!gAuthenInfo) return;
  const bool on = Get_Item_Value(d, kUse) == 1;
  for (DialogItemIndex i : {kUseCaption, kUserLabel, kPassLabel}) Hilite_Item(d, i, on);
  captions(d);
  // The fields' labels are grey while authentication is off, as their
  // values are.
  Draw_Color_Label(d, kUserLabel, "[LABEL]", "SMTPAUTH_USER=", !on);
  Draw_Color_Label(d, kPassLabel, "[LABEL]", "SMTPAUTH_PASS=", !on);
  for (auto [item, text] :
       {std::pair<DialogItemIndex, const UInt8*>{kUser, gAuthenInfo->userName}, {kPass, gAuthenInfo->dummy}}) {
    if (!on) {
      HideDialogItem(d, item);
      Draw_ReadOnly_Value(d, item, pstr::str(text).c_str());
    } else if (hidden(d, item)) {
      // Filled from the record only when it comes back: a redraw keeps
      // what is being typed.
      ShowDialogItem(d, item);
      Set_Item_Text(d, item, pstr::str(text).c_str());
    }
  }
}

void Load_Value_SMTP_Authen(DialogRef d) {
  if (gAuthenInfo->sendType == 1)
    Get_Printer_Authen(gAuthenInfo);
  else
    Get_Consum_Authen(gAuthenInfo);
  Set_Item_Value(d, kUse, gAuthenInfo->enable);
  Get_Dialog_Item_Rect(d, kUser, &gAuthenInfo->userNameRct);
  Get_Dialog_Item_Rect(d, kPass, &gAuthenInfo->passwordRct);
  Set_Item_Text(d, kUser, pstr::str(gAuthenInfo->userName).c_str());
  Set_Item_Text(d, kPass, pstr::str(gAuthenInfo->dummy).c_str());
  captions(d);
}

short Get_Value_SMTP_Authen(DialogRef d) {
  gAuthenInfo->enable = Get_Item_Value(d, kUse) == 1 ? 1 : 0;
  if (gAuthenInfo->enable) take_fields(d);
  return gAuthenInfo->sendType == 1 ? Set_Printer_Authen(gAuthenInfo) : Set_Consum_Authen(gAuthenInfo);
}

Boolean Handle_SMTP_Authen_Filter(DialogRef d, EventRecord* e, DialogItemIndex* item) {
  if (e->what == activateEvt) {
    Handle_Window_Active(d, e);
    return false;
  }
  if (Sub_Dialog_Frame_Event(d, e, item, &SMTP_update_flag, Setup_Authen_Update_Value)) return true;
  if (e->what != keyDown && e->what != autoKey) return false;
  // The password takes the keys whenever its field has the keyboard,
  // however it got it (a click, Tab, Shift-Tab).
  active_EditBox = GetDialogKeyboardFocusItem(d) == kPass ? 1 : 0;
  if (active_EditBox == 1) {
    short length = gAuthenInfo->value;
    Password_Input_Filter(d, e, SInt16(gAuthenInfo->minimum), SInt16(gAuthenInfo->maximum), gAuthenInfo->password,
                          &length);
    gAuthenInfo->value = length;
  }
  // Return, Enter and Escape go on to the sub-dialog's buttons.
  return false;
}

namespace {

void authen_item(DialogRef d, DialogItemIndex item) {
  if (item == kUse) {
    if (Get_Item_Value(d, kUse) == 1) take_fields(d);
    Toggle_Item(d, kUse);
    gAuthenInfo->enable = Get_Item_Value(d, kUse) == 1 ? 1 : 0;
    Setup_Authen_Update_Value(d);
  } else if (item == kPass) {
    SelectDialogItemText(d, kPass, 32767, 32767);
  }
  active_EditBox = GetDialogKeyboardFocusItem(d) == kPass ? 1 : 0;
}

}  // namespace

short Open_SMTP_Authen_Dialog(SMTP_AUTHEN_INFO* info) {
  if (!info || info->sendType == 0) return 0;
  gAuthenInfo = info;
  SMTP_update_flag = 1;
  active_EditBox = 0;
  const short result = Run_Setup_Sub_Dialog(
      kSmtpAuthenDialogID, info->sendType == 1 ? "SMTP_AUTHEN1=" : "SMTP_AUTHEN2=",
      [](DialogRef d) {
        Load_Value_SMTP_Authen(d);
        Setup_Authen_Update_Value(d);
      },
      Get_Value_SMTP_Authen, Handle_SMTP_Authen_Filter, authen_item);
  gAuthenInfo = nullptr;
  SMTP_update_flag = 0;
  return result;
}

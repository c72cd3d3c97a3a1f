// The SMTP page: its working record, the default sender addresses per
// character code, the page's items and the write-back into the settings
// tables.
#include "Admin/SmtpPage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "Admin/SetupWindow.h"
#include "common/AppFonts.h"
#include "common/Context.h"
#include "common/IniFile.h"
#include "toolbox/controls.h"
#include "toolbox/events.h"
#include "toolbox/menus.h"

SMTP_MAIN_INFO gSmtpMBackup{};
ADDRESS_DATA_INFO addrTbl[kAddressTableMax]{};

namespace {

constexpr UInt16 kVarSmtp = 0x2801, kVarCode = 0xEA02, kVarPrinter = 0xEA10, kVarConsum = 0xEA20;

enum : DialogItemIndex {
  kUse = 6, kUseCaption = 7, kCodeLabel = 8, kCode = 9, kPrnOn = 10, kPrnCaption = 11, kPrnForm = 12,
  kPrnAuthen = 23, kPrnGroup = 24, kPrnGroupTitle = 25, kConOn = 26, kConCaption = 27, kConForm = 28,
  kConAuthen = 39, kConGroup = 40, kConGroupTitle = 41,
};
enum : DialogItemIndex { kPlace1Item = 18 };

// One group's fields: the record's strings, their edit items and labels.
struct Group {
  UInt16 base;  // the enable variable
  DialogItemIndex on, form, authen;
  DialogItemIndex edits[5], labels[5];
  const char* keys[5];
  SMTP_FIELD* fields[5];
  UInt8* enable;
};

Group printer() {
  SMTP_MAIN_INFO& m = gSmtpMBackup;
  return {kVarPrinter, kPrnOn, kPrnForm, kPrnAuthen, {14, 16, 18, 20, 22}, {13, 15, 17, 19, 21},
          {"SMTPSERVER=", "REPLYTOADDR=", "SENDADDR1_FIX=", "SENDADDR2_OPT=", "PORT_NO="},
          {&m.infoSName, &m.infoAgency, &m.infoPlace1, &m.infoPlace2, &m.infoPort}, &m.infoEnb};
}
Group consum() {
  SMTP_MAIN_INFO& m = gSmtpMBackup;
  return {kVarConsum, kConOn, kConForm, kConAuthen, {30, 32, 34, 36, 38}, {29, 31, 33, 35, 37},
          {"SMTPSERVER=", "REPLYTOADDR=", "SENDADDR1=", "SENDADDR2=", "PORT_NO="},
          {&m.consSName, &m.consAgency, &m.consPlace1, &m.consPlace2, &m.consPort}, &m.consEnb};
}
bool is_printer(const Group& g) { return g.base == kVarPrinter; }
// The printer group's first sender address is read and written only once
// the user has unlocked it.
bool field_editable(const Group& g, int i) { return !(is_printer(g) && i == 2 && gSmtpMBackup.fixFlag != 1); }

void read_group(const Group& g) {
  if (!Check_Context_Data(g.base)) {
    *g.enable = 0;
    return;
  }
  *g.enable = Get_Context_Enable(g.base) ? 1 : 0;
  for (int i = 0; i < 5; ++i) {
    char text[256] = "";
    const UInt16 var = UInt16(g.base + 1 + i);
    if (i == 4) Get_Context_Int(var, text); else Get_Context_String(var, text);
    pstr::set(g.fields[i]->text, sizeof g.fields[i]->text, text);
  }
}

void save_group(DialogRef d, const Group& g) {
  for (int i = 0; i < 5; ++i) {
    if (!field_editable(g, i)) continue;
    char text[256];
    Get_Item_Text(d, g.edits[i], text, sizeof text);
    pstr::set(g.fields[i]->text, sizeof g.fields[i]->text, text);
  }
}
void restore_group(DialogRef d, const Group& g) {
  for (int i = 0; i < 5; ++i)
    if (field_editable(g, i)) Set_Item_Text(d, g.edits[i], pstr::str(g.fields[i]->text).c_str());
}

// A caption of the page drawn black or grey.
void set_color(DialogRef d, DialogItemIndex item, const char* section, const char* key, bool black) {
  SettingsFont font(d);
  Draw_Color_Label(d, item, section, key, !black);
}

void view_group(DialogRef d, const Group& g, bool active) {
  for (int i = 0; i < 5; ++i) set_color(d, g.labels[i], "[LABEL]", g.keys[i], active);
  for (int i = 0; i < 5; ++i) {
    const bool editable = active && field_editable(g, i);
    if (editable) {
      // Shown with what the user typed: the record catches up only when
      // the group is saved.
      ShowDialogItem(d, g.edits[i]);
    } else {
      HideDialogItem(d, g.edits[i]);
      Draw_ReadOnly_Value(d, g.edits[i], pstr::str(g.fields[i]->text).c_str());
    }
  }
  Hilite_Item(d, g.form, active);
  Hilite_Item(d, g.authen, active);
}

bool box_on(DialogRef d, DialogItemIndex item) { return Get_Item_Value(d, item) == 1; }
bool ctrl_shift(const EventRecord* e) {
  return e && (e->modifiers & (controlKey | rightControlKey)) && (e->modifiers & (shiftKey | rightShiftKey));
}

void buttons(DialogRef d) {
  const bool smtp = box_on(d, kUse);
  Hilite_Item(d, kPrnForm, smtp && gSmtpMBackup.infoEnb);
  Hilite_Item(d, kPrnAuthen, smtp && gSmtpMBackup.infoEnb);
  Hilite_Item(d, kConForm, smtp && gSmtpMBackup.consEnb);
  Hilite_Item(d, kConAuthen, smtp && gSmtpMBackup.consEnb);
  if (!Check_Context_Data(kVarPrinter)) Hilite_Item(d, kPrnOn, false);
  if (!Check_Context_Data(kVarConsum)) Hilite_Item(d, kConOn, false);
}

}  // namespace

void Setup_SMTP_MessageEX(DialogRef d) {
  SettingsFont font(d);
  struct C {
    DialogItemIndex item;
    const char *section, *key;
  };
  constexpr C kCaptions[] = {{kUseCaption, "[BUTTON]", "SMTP_USE="}, {kCodeLabel, "[LABEL]", "CHAR_CODE="},
                             {kPrnCaption, "[BUTTON]", "MAILSEND="}, {kPrnForm, "[BUTTON]", "SENDFORM="},
                             {kPrnAuthen, "[BUTTON]", "AUTHEN="},    {kConCaption, "[BUTTON]", "ORDER="},
                             {kConForm, "[BUTTON]", "SENDFORM="},    {kConAuthen, "[BUTTON]", "AUTHEN="}};
  for (const C& c : kCaptions) Set_String_To_Item(d, c.item, c.key, c.section, IniFileName);
  for (const Group& g : {printer(), consum()})
    for (int i = 0; i < 5; ++i) Set_String_To_Item(d, g.labels[i], g.keys[i], "[LABEL]", IniFileName);
}

namespace {

bool write_group(DialogRef d, const Group& g) {
  if (!Check_Context_Data(g.base)) return true;
  Set_Context_Enable(g.base, *g.enable != 0);
  for (int i = 0; i < 5; ++i) {
    if (is_printer(g) && i == 2 && gSmtpMBackup.fixFlag != 1) continue;
    const UInt16 var = UInt16(g.base + 1 + i);
    const std::string text = pstr::str(g.fields[i]->text);
    short r;
    if (i == 4) {
      char msg[kCtxMessageSize];
      r = short(context_set_varid(var, text.c_str(), msg, sizeof msg));
      if (!MenuChangeAuthority || gbSetupCancel) r = 0;
    } else {
      r = Set_Context_StringEx(var, text.data(), short(text.size()));
    }
    if (r != 0 && d) {
      Str255 label = {0};
      Load_File_To_PascalEx("[LABEL]", g.keys[i], label, 256, IniFileName);
      Setup_Label_Error_Message(pstr::str(label).c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

void View_SMTP_Printer(DialogRef d, Boolean active) { view_group(d, printer(), active); }
void View_SMTP_Consum(DialogRef d, Boolean active) { view_group(d, consum(), active); }

void Init_SMTP_Table() {
  for (ADDRESS_DATA_INFO& a : addrTbl) a = ADDRESS_DATA_INFO{};
  CONTEXT_ENTRY* e = get_context_by_varid(kVarCode);
  if (!e) return;
  int n = 0;
  for (int v = get_ctx_min(e); v <= get_ctx_max(e) && n < kAddressTableMax; ++v) {
    const std::string name(get_enum_name(v));
    if (name.empty()) continue;
    char number[32] = "";
    if (!Load_File_To_CstringEx("[ADDRESS]", (name + "=").c_str(), number, sizeof number, IniFileName)) continue;
    addrTbl[n].listNo = SInt16(n + 1);
    std::snprintf(addrTbl[n].encode, sizeof addrTbl[n].encode, "%s", name.c_str());
    char key[32];
    std::snprintf(key, sizeof key, "ADDRESS%d=", std::atoi(number));
    Load_File_To_CstringEx("[ADDRESS]", key, addrTbl[n].addr, sizeof addrTbl[n].addr, IniFileName);
    ++n;
  }
}

void Get_SMTP_Infomartion() {
  gSmtpMBackup = SMTP_MAIN_INFO{};
  gSmtpMBackup.smtpProto = Get_Context_Enable(kVarSmtp) ? 1 : 0;
  const short code = Get_Context_Enum(kVarCode);
  gSmtpMBackup.charCode = code > 0 ? code : 1;
  Init_SMTP_Table();
  read_group(printer());
  gSmtpMBackup.fixFlag = 0;
  read_group(consum());
}

short Set_SMTP_Infomartion(DialogRef dialog) {
  Set_Context_Enable(kVarSmtp, gSmtpMBackup.smtpProto != 0);
  if (Check_Context_Data(kVarCode)) Set_Context_Enum(kVarCode, gSmtpMBackup.charCode);
  if (!write_group(dialog, printer())) return 0;
  if (!write_group(dialog, consum())) return 0;
  return 1;
}

short Set_Popup_From_EnumEx(DialogRef d, short item, UInt16 var) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  if (!e) return 0;
  ControlRef c = Item_Control(d, item);
  MenuRef m = c ? GetControlPopupMenuHandle(c) : nullptr;
  if (!m) return 0;
  DeleteMenuItems(m, 1, CountMenuItems(m));
  for (int v = get_ctx_min(e); v <= get_ctx_max(e); ++v) {
    const std::string name(get_enum_name(v));
    char shown[256] = "";
    if (name.empty() || !Load_File_To_CstringEx("[ENCODE]", (name + "=").c_str(), shown, sizeof shown, IniFileName))
      break;
    static const UInt8 blank[] = {1, ' '};
    AppendMenu(m, blank);
    Str255 p;
    pstr::set(p, sizeof p, shown);
    SetMenuItemText(m, short(CountMenuItems(m)), p);
  }
  SetControlMinimum(c, 1);
  SetControlMaximum(c, short(get_ctx_max(e) - get_ctx_min(e) + 1));
  SetControlValue(c, gSmtpMBackup.charCode);
  return short(CountMenuItems(m));
}

short Chenge_Send_Address(DialogRef d) {
  if (!Check_Context_Data(kVarPrinter)) return 0;
  char current[256];
  if (gSmtpMBackup.fixFlag == 1) {
    Get_Item_Text(d, kPlace1Item, current, sizeof current);
  } else {
    const std::string s = pstr::str(gSmtpMBackup.infoPlace1.text);
    std::snprintf(current, sizeof current, "%s", s.c_str());
  }
  const short chosen = Get_Item_Value(d, kCode);
  if (chosen == gSmtpMBackup.charCode || current[0] == 0) return 0;
  // Codes outside the table have no default address: nothing to compare
  // with, nothing to put in.
  const int old = gSmtpMBackup.charCode - 1, now = chosen - 1;
  if (old < 0 || old >= kAddressTableMax || now < 0 || now >= kAddressTableMax) return 0;
  const char* def = addrTbl[old].addr;
  if (std::strncmp(current, def, std::strlen(current)) != 0 || std::strlen(current) > std::strlen(def)) return 0;
  pstr::set(gSmtpMBackup.infoPlace1.text, sizeof gSmtpMBackup.infoPlace1.text, addrTbl[now].addr);
  if (gSmtpMBackup.fixFlag == 1) Set_Item_Text(d, kPlace1Item, addrTbl[now].addr);
  return 1;
}

void Setup_SMTP_Load_ValueEX(DialogRef d) {
  for (const Group& g : {printer(), consum()}) {
    for (int i = 0; i < 5; ++i) {
      Get_Dialog_Item_Rect(d, g.edits[i], &g.fields[i]->rect);
      if (field_editable(g, i)) Set_Item_Text(d, g.edits[i], pstr::str(g.fields[i]->text).c_str());
    }
  }
  Set_Item_Value(d, kUse, gSmtpMBackup.smtpProto);
  Set_Item_Value(d, kPrnOn, gSmtpMBackup.infoEnb);
  Set_Item_Value(d, kConOn, gSmtpMBackup.consEnb);
  buttons(d);
  Set_Popup_From_EnumEx(d, kCode, kVarCode);
  Setup_SMTP_MessageEX(d);
  Setup_SMTP_Update_ValueEX(d);
}

void Setup_SMTP_Update_ValueEX(DialogRef d) {
  if (!d) return;
  buttons(d);
  Setup_SMTP_MessageEX(d);
  DrawGroup(d, &gSetFont, kPrnGroup, kPrnGroupTitle, "[LABEL]", "PRINTER_GROUP=", IniFileName);
  DrawGroup(d, &gSetFont, kConGroup, kConGroupTitle, "[LABEL]", "CONSUM_GROUP=", IniFileName);
  const bool smtp = box_on(d, kUse);
  set_color(d, kCodeLabel, "[LABEL]", "CHAR_CODE=", smtp);
  if (!smtp) {
    for (DialogItemIndex i : {kCode, kPrnOn, kPrnForm, kPrnAuthen, kConOn, kConForm, kConAuthen})
      Hilite_Item(d, i, false);
    set_color(d, kPrnCaption, "[BUTTON]", "MAILSEND=", false);
    set_color(d, kConCaption, "[BUTTON]", "ORDER=", false);
    View_SMTP_Printer(d, false);
    View_SMTP_Consum(d, false);
    return;
  }
  Hilite_Item(d, kCode, true);
  for (const Group& g : {printer(), consum()}) {
    const bool offered = Check_Context_Data(g.base);
    set_color(d, is_printer(g) ? kPrnCaption : kConCaption, "[BUTTON]",
              is_printer(g) ? "MAILSEND=" : "ORDER=", offered);
    if (offered) Hilite_Item(d, g.on, true);
    view_group(d, g, offered && box_on(d, g.on));
  }
}

Boolean Setup_SMTP_Item_SelectEX(DialogRef d, EventRecord* e, DialogItemIndex item) {
  auto save_or_restore = [d] {
    for (const Group& g : {printer(), consum()}) {
      if (!box_on(d, g.on)) restore_group(d, g);
      else save_group(d, g);
    }
  };
  switch (item) {
    case kUse:
      if (box_on(d, kUse))
        for (const Group& g : {printer(), consum()})
          if (Check_Context_Data(g.base) && box_on(d, g.on)) save_group(d, g);
      Toggle_Item(d, kUse);
      if (!box_on(d, kUse)) {
        Set_Item_Value(d, kPrnOn, 0);
        Set_Item_Value(d, kConOn, 0);
      }
      gSmtpMBackup.infoEnb = UInt8(box_on(d, kPrnOn));
      gSmtpMBackup.consEnb = UInt8(box_on(d, kConOn));
      Setup_SMTP_Update_ValueEX(d);
      return true;
    case kPrnOn:
      save_or_restore();
      if (ctrl_shift(e) && box_on(d, kPrnOn) && gSmtpMBackup.fixFlag == 0) {
        gSmtpMBackup.fixFlag = 1;
        Set_Item_Text(d, kPlace1Item, pstr::str(gSmtpMBackup.infoPlace1.text).c_str());
      } else {
        Toggle_Item(d, kPrnOn);
      }
      gSmtpMBackup.infoEnb = UInt8(box_on(d, kPrnOn));
      Setup_SMTP_Update_ValueEX(d);
      return true;
    case kConOn:
      save_or_restore();
      if (!ctrl_shift(e)) Toggle_Item(d, kConOn);
      gSmtpMBackup.consEnb = UInt8(box_on(d, kConOn));
      Setup_SMTP_Update_ValueEX(d);
      return true;
    case kCode: {
      const short chosen = Get_Item_Value(d, kCode);
      if (gSmtpMBackup.userFlag == 0 && Chenge_Send_Address(d) == 1) Setup_SMTP_Update_ValueEX(d);
      gSmtpMBackup.charCode = chosen;
      return false;
    }
    case kPrnForm:
      gSmtpMBackup.infoForm.sendType = kSendFormPrinter;
      Open_SMTP_SendForm_Dialog(d, &gSmtpMBackup.infoForm);
      return true;
    case kConForm:
      gSmtpMBackup.consForm.sendType = kSendFormConsum;
      Open_SMTP_SendForm_Dialog(d, &gSmtpMBackup.consForm);
      return true;
    case kPrnAuthen:
      gSmtpMBackup.infoAuthen.sendType = 1;
      Open_SMTP_Authen_Dialog(&gSmtpMBackup.infoAuthen);
      return false;
    case kConAuthen:
      gSmtpMBackup.consAuthen.sendType = 2;
      Open_SMTP_Authen_Dialog(&gSmtpMBackup.consAuthen);
      return false;
    default: return false;
  }
}

Boolean Setup_SMTP_Get_ValueEX(DialogRef d) {
  gSmtpMBackup.smtpProto = UInt8(box_on(d, kUse));
  if (Check_Context_Data(kVarPrinter)) {
    gSmtpMBackup.infoEnb = UInt8(box_on(d, kPrnOn));
    if (gSmtpMBackup.smtpProto && gSmtpMBackup.infoEnb) save_group(d, printer());
  }
  if (Check_Context_Data(kVarConsum)) {
    gSmtpMBackup.consEnb = UInt8(box_on(d, kConOn));
    if (gSmtpMBackup.smtpProto && gSmtpMBackup.consEnb) save_group(d, consum());
  }
  return true;
}

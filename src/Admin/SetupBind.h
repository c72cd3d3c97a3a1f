// The layer between a settings page's dialog items and the box's settings
// tables: loading an item from a setting and storing it back with the
// tables' checks, the masked (secret) fields, the validation alert, the WEP
// key check and the device password dialog that guards the settings window.
#pragma once

#include <cstddef>
#include <span>

#include "506Q_Lib/DialogItems.h"
#include "common/AppFonts.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/types.h"

// The write rule: a store reports its result only while the user may change
// the box and the window is not being left with Cancel.
extern Boolean MenuChangeAuthority;
extern Boolean gbSetupCancel;
extern Boolean gbAdminMode;
// Which masked field has the keyboard: 99 none, 101 the SNMP community.
extern int SetPassFlag;

// The masked fields, five groups of four: the stored value, the limit (the
// setting's max - 1), the typed secret (the field shows only asterisks) and
// its length.
extern Str255 Tcppass;  // 264 device password
extern short MaxSetpass;
extern char TcpipPassBuff[256];
extern short TcpipPass;
extern Str255 Compass;  // 274 SNMP community
extern short MaxCompass;
extern char CommunityPassBuff[256];
extern short CommunityPass;
extern Str255 Serpass;  // 538 NetWare print-server password
extern short MaxSerpass;
extern char ServerPassBuff[256];
extern short ServerPass;
extern Str255 POPUserpass;  // 8453, 8709, 8965, 9221 POP user passwords
extern short MaxPOPUpass;
extern char PUserPassBuff[256];
extern short PUserPass;
extern Str255 WireLesspass;  // 12313 WEP key, as hexadecimal text
extern short MaxWLesspass;
extern char WLessPassBuff[256];
extern short WLessPass;
// One group's four seen together.
struct MaskedGroup {
  Str255& stored;
  short& limit;
  char (&typed)[256];
  short& length;
};
// The group of a masked variable, or null.
const MaskedGroup* Masked_Group(UInt16 var);
void Clear_Pass_Buffer();

// Password dialog state.
extern short MaxWdpass;
extern char PassWdChkBuff[256];
extern short PassWdChkCnt;
extern ModalFilterUPP g_passProc;

// ---- Edit fields -----------------------------------------------------------
short Set_Editbox_From_Int(DialogRef d, short item, UInt16 var);
short Set_Editbox_To_Int(DialogRef d, short item, UInt16 var);
short Set_Editbox_From_String(DialogRef d, short item, UInt16 var);
short Set_Editbox_To_String(DialogRef d, short item, UInt16 var);
short Set_Editbox_From_CtrlStr(DialogRef d, short item, UInt16 var);
short Set_Editbox_To_CtrlStr(DialogRef d, short item, UInt16 var);

// ---- Check boxes -----------------------------------------------------------
short Set_Checkbox_From_EnumEnable(DialogRef d, short item, UInt16 var);
short Set_Checkbox_To_EnumEnable(DialogRef d, short item, UInt16 var);
short Set_Checkbox_From_EnumYes(DialogRef d, short item, UInt16 var);
short Set_Checkbox_To_EnumYes(DialogRef d, short item, UInt16 var);
short Get_CheckBox_Enable(DialogRef d, short item, UInt16 var);
short Set_Checkbox_From_Static(DialogRef d, short item, UInt16 var);

// ---- Pop-up menus ----------------------------------------------------------
short Set_Popup_From_Enum(DialogRef d, short item, UInt16 var);
short Set_Popup_To_Enum(DialogRef d, short item, UInt16 var);
short Set_Popup_PortList(DialogRef d, short item, const UInt8* portList, short portMax, short portWidth);
// The port pop-ups list the printer ports of the list (entries named
// "system" are skipped wherever they stand), the Ex form only those whose
// flag (one per printer port) is 1; each item is marked with its port.
short Set_Popup_PortListEx(DialogRef d, short item, const UInt8* portList, short portMax, short portWidth,
                           const int* portFlag);
// The printer port (from 1) that the pop-up's chosen item stands for; the
// value itself for a pop-up the two above did not fill.
short Popup_Port(DialogRef d, short item);
// Chooses the pop-up's item that stands for the port (from 1).
void Select_Popup_Port(DialogRef d, short item, short port);

// Items of a page that show one printer port at a time, chosen with a port
// pop-up whose reference is the port shown (from 1; 0 while none is).
struct PORT_ITEMS {
  DialogItemIndex popup;
  DialogItemIndex label;  // named when a store is refused
  void (*load)(DialogRef d, short port);
  short (*store)(DialogRef d, short port);  // 0 stored, else refused
};
// Shows the port the pop-up names and remembers it as the one shown.
void Set_Port_Items(DialogRef d, const PORT_ITEMS& items);
// Stores the port shown (nothing while none is shown): 1. A refusal shows
// the validation alert with the label, puts the pop-up back on the port
// shown and gives 0.
short Get_Port_Items(DialogRef d, const PORT_ITEMS& items);
// Stores the port shown, then shows the one now chosen; 0 when refused.
short Change_Port_Items(DialogRef d, const PORT_ITEMS& items);

// ---- Values without a control ---------------------------------------------
short Check_Context_Data(UInt16 var);
short Get_Context_Enable(UInt16 var);
short Set_Context_Enable(UInt16 var, Boolean flag);
short Get_Context_Enum(UInt16 var);
short Set_Context_Enum(UInt16 var, short n);
// Copies the display text (at most 255 bytes, NUL-terminated in out of 256).
short Get_Context_Int(UInt16 var, char* out);
short Get_Context_String(UInt16 var, char* out);
short Set_Context_StringEx(UInt16 var, const char* data, short len);
// The same with a length-prefixed text.
short Set_Context_String(UInt16 var, ConstStr255Param text);
// Get_Context_String, and the setting's min and max - 1.
short Get_Context_StringEx(UInt16 var, char* out, short* min, short* max);
// The text behind the length byte of a length-prefixed string through the
// tables; the write rule over the result's low byte (no entry: 255).
short Set_Context_Int(UInt16 var, ConstStr255Param text);
short Protocol_Check(UInt16 var);
short Get_Context_Boolean(UInt16 var);
short Set_Context_Boolean(UInt16 var, Boolean flag);

// ---- Text operations -------------------------------------------------------
Boolean IsEnumEnable(const char* text);
Boolean IsEnumYes(const char* text);
const char* EnumEnable(Boolean flag);
const char* EnumYes(Boolean flag);
int asc2bin(char c);
short Check_password(const char* text);
short Check_Wepkey(UInt16 var, const char* text);
// Puts the key's bytes into an "X" setting's field, zeros behind them.
short wep_context_set_varid(UInt16 var, std::span<const UInt8> bytes);

// ---- Item helpers the pages share (the controls' in 506Q_Lib/DialogItems.h)
void Get_Item_Text(DialogRef d, short item, char* out, std::size_t outSize);
void Set_Item_Text(DialogRef d, short item, const char* text);
void Toggle_Item(DialogRef d, short item);

// ---- Drawing ---------------------------------------------------------------
// The loads above drawn in grey (red, green and blue 0x8888; colorStat
// true) or in black; the port's colour and the current port are kept.
short Set_Editbox_From_String_Color(DialogRef d, short item, UInt16 var, Boolean colorStat);
short Set_Editbox_From_Int_Color(DialogRef d, short item, UInt16 var, Boolean colorStat);
// The text as the title of a button, check box or radio button, or as the
// text of a static, edit or disabled static item, drawn in grey or black;
// other kinds are left alone. A grey control stays active: only its title
// is grey. Returns 0.
short Draw_Color_String(DialogRef d, short item, const char* text, Boolean colorStat);
// The same with the text of key in section of the language ini.
void Draw_Color_Label(DialogRef d, short item, const char* section, const char* key, Boolean colorStat);
// The port's own font, face and size while a page draws in the settings
// font.
extern FONT_DATA gGetFont;
// setFont true keeps the port's font, face and size in gGetFont and sets
// the settings font's; false puts the kept ones back. Returns setFont.
Boolean Set_Dialog_Font(DialogRef d, Boolean setFont);
// Set_Dialog_Font true for the scope, false at its end.
class SettingsFont {
 public:
  explicit SettingsFont(DialogRef d) : d_(d) { Set_Dialog_Font(d_, 1); }
  ~SettingsFont() { Set_Dialog_Font(d_, 0); }
  SettingsFont(const SettingsFont&) = delete;
  SettingsFont& operator=(const SettingsFont&) = delete;

 private:
  DialogRef d_;
};

// ---- Messages --------------------------------------------------------------
void Setup_Error_Message(DialogRef d, short labelItem);
void Setup_Label_Error_Message(const char* label);

// ---- Password --------------------------------------------------------------
// 1 when the typed text (length bytes) equals the stored device password;
// *max receives the setting's max - 1.
short Check_In_Password(const char* typed, short length, short* max);
// The masked key filter for the field that has the dialog's keyboard (the
// field shows one "*" per character of the secret in buffer, length bytes,
// NUL-terminated; buffer holds maxLen + 1 bytes). A character replaces the
// field's selection in the secret and goes on as "*"; Delete removes the
// selection, or the character before the insertion point; what the secret
// refuses (too long, too short, not 0x20..0x7E, Command, Option or Control
// held) beeps where the rules say and is swallowed (made a null event), so
// the field and the secret never differ. A null dialog edits at the end.
// Returns 1 for Return, Escape and Enter (the caller's buttons), else 0.
short Password_Input_Filter(DialogRef dialog, EventRecord* event, short minLen, short maxLen, char* buffer,
                            short* length);
// SetPassFlag for the dialog's keyboard focus: code when the edit item that
// has it is item, else 99.
int Masked_Focus_Flag(DialogRef dialog, DialogItemIndex item, int code);
// 1 go on (no password, or the right one typed), 0 cancelled.
short Open_Input_Password_Dialog();

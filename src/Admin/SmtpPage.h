// The SMTP page of the settings window: SMTP on or off, the character code
// of the mails and two mail groups (printer information, consumables), each
// with its server, addresses, port, authentication and mail form. The page
// works on one record filled when the settings window opens and written
// back when it is left.
#pragma once

#include "Admin/SmtpForm.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"

enum : SInt16 { kSmtpPageID = 176, kSmtpAuthenDialogID = 178 };
constexpr int kAddressTableMax = 30;

struct SMTP_AUTHEN_INFO {
  SInt16 sendType;
  UInt8 enable;
  Str255 userName;
  Rect userNameRct;
  char password[256];
  Rect passwordRct;
  UInt16 minimum, maximum;
  SInt16 value;
  Str255 dummy;
};

struct SMTP_FIELD {
  Str255 text;
  Rect rect;
};

struct SMTP_MAIN_INFO {
  UInt8 smtpProto;
  SInt16 charCode;
  UInt8 userFlag;
  UInt8 fixFlag;
  UInt8 infoEnb;
  SMTP_FIELD infoSName, infoAgency, infoPlace1, infoPlace2, infoPort;
  SMTP_SENDFORM_INFO infoForm;
  SMTP_AUTHEN_INFO infoAuthen;
  UInt8 consEnb;
  SMTP_FIELD consSName, consAgency, consPlace1, consPlace2, consPort;
  SMTP_SENDFORM_INFO consForm;
  SMTP_AUTHEN_INFO consAuthen;
};

struct ADDRESS_DATA_INFO {
  SInt16 listNo;
  char encode[32];
  char addr[64];
};

extern SMTP_MAIN_INFO gSmtpMBackup;
extern ADDRESS_DATA_INFO addrTbl[kAddressTableMax];

void Get_SMTP_Infomartion();
short Set_SMTP_Infomartion(DialogRef dialog);
void Init_SMTP_Table();
short Set_Popup_From_EnumEx(DialogRef dialog, short item, UInt16 var);
short Chenge_Send_Address(DialogRef dialog);

Boolean Setup_SMTP_Item_SelectEX(DialogRef d, EventRecord* e, DialogItemIndex item);
void Setup_SMTP_Load_ValueEX(DialogRef d);
Boolean Setup_SMTP_Get_ValueEX(DialogRef d);
void Setup_SMTP_Update_ValueEX(DialogRef d);
void View_SMTP_Printer(DialogRef d, Boolean active);
void View_SMTP_Consum(DialogRef d, Boolean active);
void Setup_SMTP_MessageEX(DialogRef d);

// The authentication dialog of the group named by info->sendType (1
// printer, 2 consumables; 0 opens nothing). 1 when left by an accepted OK.
extern SMTP_AUTHEN_INFO* gAuthenInfo;
extern short active_EditBox;  // 1 while the password field takes the keys
short Open_SMTP_Authen_Dialog(SMTP_AUTHEN_INFO* info);
void Load_Value_SMTP_Authen(DialogRef d);
short Get_Value_SMTP_Authen(DialogRef d);
void Setup_Authen_Update_Value(DialogRef d);
Boolean Handle_SMTP_Authen_Filter(DialogRef d, EventRecord* e, DialogItemIndex* item);
void Get_Printer_Authen(SMTP_AUTHEN_INFO* a);
void Get_Consum_Authen(SMTP_AUTHEN_INFO* a);
// 1 written; 0 after the message of the refused user name or password.
short Set_Printer_Authen(const SMTP_AUTHEN_INFO* a);
short Set_Consum_Authen(const SMTP_AUTHEN_INFO* a);

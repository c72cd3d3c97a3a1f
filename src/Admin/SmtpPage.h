// The SMTP page of the settings window: SMTP on or off, the character code
// of the mails and two mail groups (printer information, consumables), each
// with its server, addresses, port, authentication and mail form. The page
// works on one record filled when the settings window opens and written
// back when it is left.
#pragma once

#include "Admin/SmtpForm.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"

enum : SInt16 { kSmtpPageID = 176 };
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

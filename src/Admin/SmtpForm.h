// The mail forms of the SMTP settings: what a print box writes into its
// printer-information and consumables mails (two subjects, the mail text,
// two signatures, the administrator address), read from and written to the
// box's settings tables, and the modal dialog that edits one of them in
// six text-engine fields.
#pragma once

#include <cstddef>

#include "common/AppGlobals.h"
#include "toolbox/dialogs.h"

enum : SInt16 { kSendFormPrinter = 1, kSendFormConsum = 2 };
enum : SInt16 { kSendFormDialogID = 177 };
constexpr int kSendFormFields = 6;

struct SMTP_SENDFORM_INFO {
  SInt16 sendType;  // 1 printer information, 2 consumables, 0 no form
  UInt8 sendEnb;    // the second form is used
  Str255 subjName1;
  UInt16 subj1Max;
  Str255 text;  // line breaks as CR
  UInt16 textMax;
  Str255 signature1;
  UInt16 sig1Max;
  Str255 adminAddr;
  UInt16 addrMax;
  Str255 subjName2;
  UInt16 subj2Max;
  Str255 signature2;
  UInt16 sig2Max;
};

// The two groups' forms of the SMTP page's working record.
struct SMTP_FORMS {
  SMTP_SENDFORM_INFO printer;
  SMTP_SENDFORM_INFO consum;
};
extern SMTP_FORMS gSmtpForms;
extern SMTP_SENDFORM_INFO gSendFormTbl;
// Set while a mail sub-dialog (form or authentication) redraws itself.
extern Boolean SMTP_update_flag;

// Turns each CR LF of the first length bytes into CR in place, puts a NUL
// behind the result (text must have room for length + 1 bytes) and returns
// the number of lines (pairs + 1).
short DeleteCodeN(char* text, long length);
// Puts LF behind each CR of the first length bytes of text (whose buffer
// holds max + 1 bytes); the new length, or -1 with the text unchanged when
// it would exceed max.
long InsertCodeN(char* text, long length, long max);

// Fill the group's form from the settings tables.
void Get_Printer_Form();
void Get_Consum_Form();
// Write the group's form: 1, or 0 after the message of the first field
// refused (the fields before it stay written).
short Set_Printer_Form();
short Set_Consum_Form();
// The device's hidden success and failure subjects and comments, written
// at once from the language file.
void Default_Hiden_Message();

// The dialog and its fields.
void Init_MLTE_Item();
void Terminate_MLTE_Item();
short Open_SMTP_SendForm_Dialog(DialogRef parent, SMTP_SENDFORM_INFO* form);
// The text of field index (0-5) of the open dialog, for tests; null when
// no dialog is open.
struct OpaqueTXNObject;
OpaqueTXNObject* SendForm_Field(int index);
// The index of the field with the focus.
short SendForm_Focus();

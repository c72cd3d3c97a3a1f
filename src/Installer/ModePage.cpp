// Page 149: whether the administration program runs in administrator or
// user mode. Next writes the mode file through the administration
// program's own writer, so the record is exactly what it reads at start.
#include <cstdio>

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminMode.h"
#include "common/AppGlobals.h"
#include "Installer/InstApp.h"
#include "Installer/WizardPages.h"
#include "toolbox/resources.h"
#include "toolbox/trace.h"

namespace {

enum : DialogItemIndex { kAdminRadio = 7, kUserRadio = 8, kMemo = 9, kFrame = 10 };

void choose(DialogRef d, bool admin) {
  Set_Page_Item_Value(d, kAdminRadio, admin ? 1 : 0);
  Set_Page_Item_Value(d, kUserRadio, admin ? 0 : 1);
  Set_Dialog_Item_Message(d, kMemo, "[ADMIN]", admin ? "MEMO_00=" : "MEMO_01=");
}

}  // namespace

short Setup_AdMode_Load_Value(DialogRef d) {
  Set_Common_Buttons(d);
  Set_Item_Enabled(d, 3, false);
  Set_Dialog_Item_Message(d, 4, "[BIT_LABEL]", "ADSETUP_TITLE=");
  Set_Dialog_Item_Message(d, 5, "[BIT_LABEL]", "ADSETUP_CONTENTS=");
  Set_Dialog_Item_Message(d, 6, "[LABEL]", "ADSETUP_00=");
  Set_Dialog_Item_Message(d, kAdminRadio, "[LABEL]", "ADSETUP_01=");
  Set_Dialog_Item_Message(d, kUserRadio, "[LABEL]", "ADSETUP_02=");
  Set_Dialog_Item_Message(d, 11, "[LABEL]", "APR_00=");
  choose(d, instTbl.aSetupFlag != 0);
  return 1;
}

Boolean Setup_AdMode_Item_Select(DialogRef d, EventRecord*, DialogItemIndex item) {
  if (item != kAdminRadio && item != kUserRadio) return false;
  choose(d, item == kAdminRadio);
  return true;
}

short Setup_AdMode_Next_Value(DialogRef d) {
  instTbl.aSetupFlag = Page_Item_Value(d, kAdminRadio) ? 1 : 0;
  // The record's template comes from the current resource file: ours.
  const SInt16 saved = CurResFile();
  UseResFile(Appl_Rsrc_Fork_No);
  Str255 name;
  GetIndString(name, kFileNamesID, 1);
  // The writer reports nothing: what it left is read back, and a mode that
  // did not take is at least said.
  if (name[0]) Set_Administrator(name, kAdminCreator, instTbl.aSetupFlag);
  if (!name[0] || Get_Administrator(Appl_Rsrc_Fork_No, name) != (instTbl.aSetupFlag ? 1 : 0))
    std::fprintf(stderr, "vemoplexinstall: the administration program's mode could not be written\n");
  UseResFile(saved);
  tb::TraceNote("install", "administrator mode %d", int(instTbl.aSetupFlag));
  instTbl.activePage = Tool_Installed("VEMO-MONITOR") ? kPageMonitor : kPageFinish;
  return 1;
}

short Setup_AdMode_Update_Value(DialogRef d) {
  Draw_Group_Frame_Item(d, kFrame);
  return 1;
}

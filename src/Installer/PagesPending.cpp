// The cells of the pages not built yet stay empty: the wizard skips them.
// Each function leaves this file when its page is built in its own file.
#include "Installer/WizardPages.h"

void Setup_AdMode_Cell(SETUP_DLG_CELL*) {}
void Setup_Monitor_Cell(SETUP_DLG_CELL*) {}
void Setup_MonSearch_Cell(SETUP_DLG_CELL*) {}
void Setup_MonEvent_Cell(SETUP_DLG_CELL*) {}
void Setup_MonOption_Cell(SETUP_DLG_CELL*) {}
void Update_Search_Printer() {}

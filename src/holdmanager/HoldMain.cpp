// VemoHoldManager: lists, previews, prints, downloads and uploads the jobs
// held on a print box.
#include "common/AppGlobals.h"
#include "holdmanager/HoldApp.h"

// The foundation's globals: the language ini for its own readers (the
// program passes its string file by name everywhere else) and the
// system class.
char IniFileName[kAppFileNameSize] = "Hmgstr.ini";
SInt16 sysCheck = 0;

int main() { return HoldManagerMain(); }

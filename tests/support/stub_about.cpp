// The about box as the library tests see it until the foundation's own
// (with the alerts) is written: opening it is only counted.
#include "AppMenus.h"
#include "stub_host.h"

void Open_About_Dialog() { testhost::host().aboutBoxes++; }

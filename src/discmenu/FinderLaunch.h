// Opening documents and programs "with the Finder", as the small launchers
// of the disc and the monitor's start-up do it: one open-documents event per
// item.
#pragma once

#include "toolbox/types.h"

// Asks the Finder to open each of the count items. noErr when every item was
// handed over; else the first error (procNotFound when the desktop's opener
// cannot be started, fnfErr for an item that does not exist).
OSErr FinderLaunch(short count, const FSSpec* specs);

// The start-up questions about the machine: the class of the system
// version, the class of the processor and whether Apple events exist, from
// Gestalt. (A program that defines isSystemVer otherwise keeps its version
// in its own namespace.)
#pragma once

#include "toolbox/types.h"

// From 'sysv': 112 for 0x0B00 and above, 96 for 0x0A00-0x0AFF, 64 for
// 0x0900-0x09FF, 48 for 0x08xx, 32 for 0x07xx, 16 below 0x0700; -1 when
// Gestalt fails.
SInt16 isSystemVer();
// From 'cput': 3 for 0x10C, 2 for 0x108, 1 for values up to 4, 0 for any
// other; -1 when Gestalt fails.
SInt16 isCPUType();
// 1 when Gestalt answers 'evnt', else 0.
SInt16 isAppleEvent();
// sysCheck = processor class (0 when unknown) + system class (nothing added
// when unknown); returns the system class (-1 unknown).
SInt16 System_Check();

// Gestalt: fixed answers about the machine, configurable for tests.
//
// Defaults: 'sysv' 0x1049 (every program's screens are reachable with it),
// 'cput' 0x10C, 'evnt' 1 (Apple events present), 'qtim' 0x07608000 (sound
// playing present). Any other selector gives gestaltUndefSelectorErr.
//
// The variable TOOLBOX_GESTALT changes the table for a whole process:
// comma-separated "selector=value" items, the value in decimal or 0x hex, or
// "-" to make the selector undefined, e.g. "sysv=0x1040,cput=0x108,evnt=-".
// tb::SetGestalt and tb::RemoveGestalt change it from inside (and win).
#pragma once

#include "toolbox/types.h"

enum : OSType {
  gestaltSystemVersion = 'sysv',
  gestaltNativeCPUtype = 'cput',
  gestaltAppleEventsAttr = 'evnt',
  gestaltQuickTime = 'qtim',
};

OSErr Gestalt(OSType selector, SInt32* response);

namespace tb {
void SetGestalt(OSType selector, SInt32 value);
// Makes the selector answer gestaltUndefSelectorErr.
void RemoveGestalt(OSType selector);
// Back to the defaults and TOOLBOX_GESTALT.
void ResetGestalt();
}  // namespace tb

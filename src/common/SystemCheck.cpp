// The start-up questions about the machine, answered from Gestalt.
#include "common/SystemCheck.h"

#include "common/AppGlobals.h"
#include "toolbox/gestalt.h"

SInt16 isSystemVer() {
  SInt32 version = 0;
  if (Gestalt(gestaltSystemVersion, &version) != noErr) return -1;
  if (version >= 0x0B00) return 112;
  if (version >= 0x0A00) return 96;
  if (version >= 0x0900) return 64;
  if (version >= 0x0800) return 48;
  if (version >= 0x0700) return 32;
  return 16;
}

SInt16 isCPUType() {
  SInt32 cpu = 0;
  if (Gestalt(gestaltNativeCPUtype, &cpu) != noErr) return -1;
  if (cpu == 0x10C) return 3;
  if (cpu == 0x108) return 2;
  if (cpu <= 4) return 1;
  return 0;
}

SInt16 isAppleEvent() {
  SInt32 attr = 0;
  return Gestalt(gestaltAppleEventsAttr, &attr) == noErr ? 1 : 0;
}

SInt16 System_Check() {
  const SInt16 cpu = isCPUType();
  const SInt16 system = isSystemVer();
  sysCheck = static_cast<SInt16>((cpu < 0 ? 0 : cpu) + (system < 0 ? 0 : system));
  return system;
}

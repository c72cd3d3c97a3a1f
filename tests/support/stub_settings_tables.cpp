// The device settings tables that a program defines for the foundation's
// settings module (declared in src/common/Context.h); tests fill them with
// blocks of their own.
#include "toolbox/types.h"

Ptr pContextData = nullptr;
UInt16 wContextSize = 0;
Ptr pEnumData = nullptr;
UInt16 wEnumWidth = 0;
UInt16 wEnumSize = 0;
Ptr pEEPData = nullptr;
UInt16 wEEPDataSize = 0;
Ptr pEEPBackup = nullptr;

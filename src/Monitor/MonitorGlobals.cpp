// The names the foundation's modules expect of the program (common/
// AppGlobals.h) that the monitor's core uses, and the monitor's own
// program-wide records.
#include "common/AppGlobals.h"
#include "Monitor/MonitorTypes.h"

char IniFileName[kAppFileNameSize] = "";
char MonFileName[kAppFileNameSize] = "";
SInt16 Appl_Rsrc_Fork_No = 0;
CONFIGURATION ConfigData{};
OSType Pref_File_Creator = 'VMxm';
SInt16 sysCheck = 0;
SETUPINFO EnvInfo{};

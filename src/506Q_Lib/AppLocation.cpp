// Where the running program's own file is, from the process information.
#include "506Q_Lib/AppLocation.h"

#include "toolbox/files.h"

OSErr GetAppLocation(FSSpec* appSpec) {
  if (!appSpec) return paramErr;
  return tb::GetApplicationSpec(appSpec);
}

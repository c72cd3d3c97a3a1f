#include "AppLocation.h"

#include "toolbox/files.h"

OSErr GetAppLocation(FSSpec* appSpec) {
  if (!appSpec) return paramErr;
  return tb::GetApplicationSpec(appSpec);
}

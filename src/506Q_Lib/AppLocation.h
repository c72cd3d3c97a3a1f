// The running program's own file, as the process information gives it: for
// the suite <Program>.app/Contents/MacOS/<Program>, so that partial paths
// such as "::Resources:x" and "::::ConfigData" start from its folder.
#pragma once

#include "toolbox/types.h"

// Fills appSpec with the running program's file; returns the platform's
// error (noErr when the file spec names the file).
OSErr GetAppLocation(FSSpec* appSpec);

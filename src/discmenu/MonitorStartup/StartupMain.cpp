// VEMO-MONITOR Startup: the login item of the status monitor. Finds the
// monitor in the bundle that holds this program, starts it with the launch
// event "Alias Data" (open every printer of the alias file) and ends; no
// window, no event loop.
#include <cstdio>

#include "506Q_Lib/AppLocation.h"
#include "common/LaunchEvents.h"
#include "toolbox/events.h"
#include "toolbox/files.h"
#include "toolbox/resources.h"

namespace {

// From Contents/MacOS of this program, kept in the monitor's bundle as
// VEMO-MONITOR.app/Contents/VEMO-MONITOR Startup.app.
const char kMonitorPath[] = "::::MacOS:VEMO-MONITOR";
const char kAliasData[] = "Alias Data";

// Whether WaitNextEvent exists and the program's resource file, as every
// program of the suite notes them; this one only reads its own file.
SInt16 gApplRsrc = 0;
void Initialize_Variables() { gApplRsrc = CurResFile(); }

int Application_Start() {
  FSSpec self, monitor;
  if (GetAppLocation(&self) != noErr) return 0;
  Str255 path;
  pstr::set(path, sizeof path, kMonitorPath);
  FInfo info;
  if (FSMakeFSSpec(self.vRefNum, self.parID, path, &monitor) != noErr || FSpGetFInfo(&monitor, &info) != noErr) {
    std::fprintf(stderr, "VEMO-MONITOR Startup: the monitor is not installed beside this program\n");
    return 0;
  }
  ProcessSerialNumber psn;
  const OSErr err = SendAppliCommand(&monitor, kAliasData, sizeof kAliasData - 1, info.fdCreator, kSuiteEventClass,
                                     kSuiteLaunchEventID, 'TEXT', info.fdCreator, &psn);
  if (err != noErr) std::fprintf(stderr, "VEMO-MONITOR Startup: the monitor could not be started (%d)\n", err);
  return err == noErr;
}

}  // namespace

int main() {
  FlushEvents(everyEvent, 0);
  InitCursor();
  Initialize_Variables();
  Application_Start();
  return 0;
}

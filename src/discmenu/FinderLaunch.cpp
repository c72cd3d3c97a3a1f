// The launchers' open-with-the-Finder call over the foundation's
// open-documents event.
#include "discmenu/FinderLaunch.h"

#include "common/LaunchEvents.h"

OSErr FinderLaunch(short count, const FSSpec* specs) {
  OSErr first = noErr;
  for (short i = 0; i < count; ++i) {
    const OSErr err = SendOpenDoc(&specs[i]);
    if (err != noErr && first == noErr) first = err;
  }
  return first;
}

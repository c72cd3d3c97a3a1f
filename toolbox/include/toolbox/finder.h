// The Finder stand-in: what opening a document or a program "with the
// Finder" does here.
//
// Events sent to the signature 'MACS' (appleevents.h) are served in-process:
// 'aevt'/'odoc' opens the items of its direct object, and 'FNDR'/'sope'
// opens the items of its 'fsel' list (or, without one, its direct object).
// Items are aliases (aliases.h), file specifications ('fss '), or lists of
// them. Opening a program (a .app bundle, or the executable inside one)
// starts it with LaunchApplication; opening anything else hands it to
// xdg-open, the desktop's default handler.
//
// In record mode nothing is started: opened documents and programs are only
// recorded (recorder.h). Record mode is on when tb::SetFinderMode says so,
// or in Auto mode when TOOLBOX_FINDER=record, or TOOLBOX_FINDER is unset and
// TOOLBOX_HEADLESS=1 (as in every test); TOOLBOX_FINDER=run turns it off.
//
// Results: noErr when every item was opened, fnfErr when an item does not
// exist, errAEEventNotHandled for another event, errAEWrongDataType for an
// item that names no file, procNotFound when xdg-open cannot be started.
#pragma once

#include <string>

#include "toolbox/types.h"

namespace tb {

enum class FinderMode { kAuto, kRecord, kRun };
void SetFinderMode(FinderMode mode);
bool FinderRecordsOnly();

// Opens a POSIX path as the Finder does.
OSErr FinderOpenPath(const std::string& path);

}  // namespace tb

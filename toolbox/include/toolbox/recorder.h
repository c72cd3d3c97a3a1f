// What the program asked of other programs, for tests to assert on:
// documents opened through the Finder, programs launched, Apple events sent.
//
// Everything is recorded in the process (always). When TOOLBOX_RECORD_FILE
// names a file, each record is also appended to it as one line, so a test
// can read what a program it started did:
//     open<TAB><path>
//     launch<TAB><path>
//     send<TAB><class><TAB><id><TAB>sign:<creator> | psn:<pid>
// Four-character codes are written as text, bytes outside printable ASCII
// and '%' as %XX.
#pragma once

#include <string>
#include <vector>

#include "toolbox/appleevents.h"
#include "toolbox/processes.h"

namespace tb {

struct RecordedLaunch {
  std::string path;
  ProcessSerialNumber psn;  // {0, kNoProcess} when the Finder only recorded it
};

struct RecordedAppleEvent {
  AEEventClass eventClass;
  AEEventID eventID;
  DescType targetType;  // typeApplSignature or typeProcessSerialNumber
  OSType targetSignature;
  ProcessSerialNumber targetPSN;
  std::string flat;  // the whole event (tb::UnflattenAppleEvent)
};

std::vector<std::string> RecordedOpenedDocuments();
std::vector<RecordedLaunch> RecordedLaunches();
std::vector<RecordedAppleEvent> RecordedAppleEvents();
void ClearRecords();

}  // namespace tb

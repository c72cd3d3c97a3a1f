// Handing data to another program of the suite with an Apple event: to a
// running program by its creator code or its process serial number, or as
// the first event of a program started from its file; and asking the
// Finder to open a document.
//
// The event carries one parameter under `keyword` (by the suite's custom
// the receiver's creator code): a list holding one item of type `descType`
// with the data bytes. For the launch event the class is 'JCev' and the id
// 'apop'.
//
// Results are the platform's errors as they come (0 sent). When a step and
// releasing the descriptors both fail, the step's error is the one
// returned; a release error is returned only when everything else worked.
#pragma once

#include "toolbox/appleevents.h"
#include "toolbox/processes.h"
#include "toolbox/types.h"

enum : AEEventClass { kSuiteEventClass = 'JCev' };
enum : AEEventID { kSuiteLaunchEventID = 'apop' };

// To the program with that creator code: no reply wanted, it may come to
// the front, high priority, the default time-out. A creator that does not
// run gives procNotFound and starts nothing.
OSErr SendAppliData(const void* data, Size dataLen, OSType creator, AEEventClass eventClass,
                    AEEventID eventID, DescType descType, AEKeyword keyword);
// The same, to the running process psn.
OSErr SendAppliData_ToProcessNum(const ProcessSerialNumber* psn, const void* data, Size dataLen,
                                 OSType creator, AEEventClass eventClass, AEEventID eventID,
                                 DescType descType, AEKeyword keyword);
// Starts the program file appSpec with the event (addressed to creator) as
// its launch parameters, continuing after the launch; *outPSN is the new
// process as the launch reports it. -1 when the launch reports a preferred
// size of 0.
OSErr SendAppliCommand(const FSSpec* appSpec, const void* data, Size dataLen, OSType creator,
                       AEEventClass eventClass, AEEventID eventID, DescType descType,
                       AEKeyword keyword, ProcessSerialNumber* outPSN);
// Asks the Finder ('MACS') to open the document: 'FNDR'/'sope' with an
// alias of the document's folder as direct object and a list holding an
// alias of the document as 'fsel'; no reply, never interacting, normal
// priority, a time-out of 120 ticks. Returns the send error (or the error
// that kept the event from being made).
OSErr SendOpenDoc(const FSSpec* docSpec);

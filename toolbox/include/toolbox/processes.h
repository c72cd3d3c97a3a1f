// Process Manager.
//
// A process serial number is {highLongOfPSN = generation, lowLongOfPSN = pid};
// the generation is the process's start time (so a reused pid never matches
// an old number) and is never 0, which keeps real numbers apart from
// kNoProcess, kSystemProcess and kCurrentProcess.
//
// A program's file is its executable inside <Program>.app/Contents/MacOS/
// (tb::ApplicationPath in files.h), and its creator code is bytes 4-7 of
// <Program>.app/Contents/PkgInfo ("APPL" followed by the creator), unless
// tb::SetCurrentCreator gave one. LaunchApplication hands the launched
// program the path it was started by in TOOLBOX_APP_PATH, so a bundle whose
// executable is a symbolic link still finds itself.
//
// Running programs are found through their Apple-event sockets
// (appleevents.h): a program "runs" for this layer while it listens.
//
// Front process: every program draws on its own screen (one framebuffer per
// process), so each is the front process of that screen. GetFrontProcess
// answers the current process; tests can make it answer kNoProcess with
// tb::SetCurrentProcessFront(false) to exercise background behaviour.
#pragma once

#include <string>

#include "toolbox/appleevents.h"
#include "toolbox/types.h"

struct ProcessSerialNumber {
  UInt32 highLongOfPSN;
  UInt32 lowLongOfPSN;
};
using ProcessSerialNumberPtr = ProcessSerialNumber*;

enum : UInt32 { kNoProcess = 0, kSystemProcess = 1, kCurrentProcess = 2 };

struct ProcessInfoRec {
  UInt32 processInfoLength;
  StringPtr processName;  // caller's Str31 or null; the name is cut to 31 bytes
  ProcessSerialNumber processNumber;
  UInt32 processType;     // 'APPL'
  OSType processSignature;
  UInt32 processMode;
  Ptr processLocation;
  UInt32 processSize;
  UInt32 processFreeMem;
  ProcessSerialNumber processLauncher;
  UInt32 processLaunchDate;
  UInt32 processActiveTime;
  FSSpec* processAppSpec;  // caller's FSSpec or null
};
using ProcessInfoRecPtr = ProcessInfoRec*;

struct LaunchParamBlockRec {
  UInt32 reserved1;
  UInt16 reserved2;
  UInt16 launchBlockID;
  UInt32 launchEPBLength;
  UInt16 launchFileFlags;
  UInt16 launchControlFlags;
  FSSpec* launchAppSpec;
  ProcessSerialNumber launchProcessSN;
  UInt32 launchPreferredSize;
  UInt32 launchMinimumSize;
  UInt32 launchAvailableSize;
  AppParametersPtr launchAppParameters;
};
using LaunchPBPtr = LaunchParamBlockRec*;

enum : UInt16 { extendedBlock = 0x4C43 };
enum : UInt32 { extendedBlockLen = sizeof(LaunchParamBlockRec) - 12 };
enum : UInt16 {
  launchContinue = 0x4000,
  launchNoFileFlags = 0x0800,
  launchUseMinimum = 0x0400,
  launchDontSwitch = 0x0200,
  launchAllow24Bit = 0x0100,
  launchInhibitDaemon = 0x0080,
};

OSErr GetCurrentProcess(ProcessSerialNumber* psn);
OSErr GetFrontProcess(ProcessSerialNumber* psn);
// The current process, or another running one (which stays where it is).
OSErr SetFrontProcess(const ProcessSerialNumber* psn);
OSErr SameProcess(const ProcessSerialNumber* psn1, const ProcessSerialNumber* psn2, Boolean* result);
// Full information for the current process; for another running program
// its number, signature, name and file. procNotFound for anything else.
OSErr GetProcessInformation(const ProcessSerialNumber* psn, ProcessInfoRec* info);

// Starts the program file (a <Program>.app bundle or an executable, usually
// the one inside a bundle) with posix_spawn; launchAppParameters, when set,
// is the event the new program receives as its first event. The caller
// always continues (launchContinue is implied). A program whose creator
// code already runs is not started a second time: its launch event is
// delivered to the running copy, launchProcessSN names that copy and the
// result is noErr. launchPreferredSize, launchMinimumSize and
// launchAvailableSize are always non-zero. Errors: paramErr for a bad block
// or parameters (or a launch event over 60 KiB flattened), fnfErr when the
// file or its executable is missing, permErr when it cannot be executed.
OSErr LaunchApplication(LaunchPBPtr launchParams);

// Ends the program (the Apple-event socket is removed on the way out).
[[noreturn]] void ExitToShell();

namespace tb {

// The creator code of the running program (0 when it has none).
OSType CurrentCreator();
void SetCurrentCreator(OSType creator);
// The creator of a program file or bundle from its PkgInfo (0 when none).
OSType CreatorOfProgram(const std::string& path);
// The executable of a program file or bundle ("" when there is none).
std::string ExecutableOfProgram(const std::string& path);

void SetCurrentProcessFront(bool front);

// LaunchApplication by POSIX path.
OSErr LaunchApplicationPath(const std::string& path, AppParametersPtr params,
                            ProcessSerialNumber* outPSN);
// Waits up to timeoutMs real milliseconds for a program this process
// launched to end; true with its wait status when it did (tests).
bool WaitForProcessExit(const ProcessSerialNumber& psn, int timeoutMs, int* status);

}  // namespace tb

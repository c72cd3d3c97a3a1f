// The FTP control dialogue of an upload to a print box, for every program
// that sends it files: one step per reply the box gives, each named by the
// reply it awaits, and what the step sends (the login, "CWD lp", the data
// connection with TYPE and PORT, STOR). The callers keep their transfers'
// state with its own traced setter, and their own time limits; a step only
// tells them where the dialogue stands afterwards.
#pragma once

#include "OT/FTPClient.h"
#include "toolbox/types.h"

constexpr UInt16 kFTPControlPort = 21;
constexpr UInt16 kFTPDataPort = 20;
constexpr UInt32 kFTPConnectTimeoutMs = 3000;

// The dialogue's steps (a transfer's cmdNum), each named by the reply it
// awaits.
enum : SInt16 {
  FTP_STEP_GREETING = 1,  // "220": sends USER
  FTP_STEP_USER = 2,      // "331": sends PASS
  FTP_STEP_PASS = 3,      // "230": sends CWD lp
  FTP_STEP_CWD = 4,       // "250": opens the data connection, sends TYPE I
  FTP_STEP_TYPE = 5,      // "200": once the data connection listens, sends PORT
  FTP_STEP_PORT = 6,      // "200": sends STOR
  FTP_STEP_STOR = 7,      // "150": the data phase begins
  FTP_STEP_DATA = 8,      // "226": the box has the file
};

// What a step needs of its transfer.
struct FTPDialogue {
  FTPEPInfo* control;  // the control connection
  FTPEPInfo* data;     // the data connection, opened by the "250" step
  UInt32 boxAddr;      // the print box
  const FSSpec* file;  // the file STOR names
  UInt8* dataPhase;    // set from the "150" to the "226"
  UInt32* dataTick;    // stamped when the data phase begins: it is timed from there
};

// What a step did: taken is 1 when the awaited reply was in the text
// collected since the last command and the step was taken (also while the
// data connection is still binding after the first "200": the step stays),
// 0 when the reply has not come, -1 when the step could not be taken (a
// command that did not go, a data connection that could not be opened or
// closed before it listened, a file name that cannot travel in a command).
// next is the step the dialogue is at afterwards, why the reply that took
// it there (for the caller's trace).
struct FTPStep {
  short taken;
  SInt16 next;
  const char* why;
};

// One step of the dialogue that stands at step; a step outside 1-8 takes
// none.
FTPStep FTP_Dialogue_Step(SInt16 step, const FTPDialogue& dialogue);
// The step's name for a trace ("greeting" ... "data"; "idle" outside 1-8).
const char* FTP_Step_Name(SInt16 step);
// Whether a file name can travel in a command line: not empty, and no
// line break or NUL in it.
bool FTP_Sendable_Name(ConstStr255Param name);

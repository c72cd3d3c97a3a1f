// The progress commands: the commands started from the sub-dialogs
// (delete, rename, print, download, folder rename, move) and the upload,
// each run one step per engine call while the progress dialog shows it,
// and their cancel.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "holdmanager/HoldEngine.h"
#include "holdmanager/VFMP.h"
#include "toolbox/files.h"

// A job a progress command works on.
struct PRG_JOB {
  UInt8 jobId[4];
  UInt8 folderId[4];
  Str255 name;
  UInt8 lang;  // its entry's language code, whose encoding the name is in
};

// The record of a command run in the progress dialog (delete, rename,
// print, download, folder rename, move); made by NewPrgRequest.
struct PRG_REQUEST {
  VFMP_CMD_INFO cmd;
  HoldCommand command;
  std::vector<PRG_JOB> jobs;  // delete and move: every chosen job; others: one
  Str255 folderName = {};     // move: the destination folder's name
  UInt8 folderLang = 0;       // and its entry's language code
  // The language code the request gives the names it sends (0: the
  // program's), whose encoding they are in.
  UInt8 langCode = 0;
  std::size_t done = 0;
  UInt32 waitStart = 0;
  // Download: the destination, written into a hidden file beside it that
  // replaces it only once the whole job has come.
  std::string path;
  std::string partPath;  // empty once it replaced the destination
  std::FILE* file = nullptr;
  UInt64 received = 0;
  UInt64 total = 0;
  int shownPercent = -1;
  UInt32 shownTick = 0;  // when the dialog last drew the figures
  SInt32 result = 0;
};

// A cleared request; null without memory.
PrgRequestPtr NewPrgRequest();
// A request made for command (delete, rename, print, download, folder
// rename, move) is opened and started; false when its endpoint could not
// be opened (nothing starts). A missing request ends the command at once
// with error 7.
bool StartProgressCommand(HOLD_ENGINE* e, HoldCommand command, PrgRequestPtr req);
// One step of the progress command; 1 when it ended by time-out or is idle.
int ExecPrgCmd(HOLD_ENGINE* e, SInt32* result);
// Ends the running progress command (e->progress) with result.
void EndPrgCmd(HOLD_ENGINE* e, SInt32 result);
// The cancel of the progress dialog (also during the wait after an upload).
void CancelPrgCmd(HOLD_ENGINE* e);
// Ends the running command with code 7 (the status line only): a new box,
// a new search, the window's closing, an upload asked for meanwhile.
void CancelCommand(HOLD_ENGINE* e);

// Starts an upload of files (in the local list's order) into the folder at
// the pop-up value, a running command ended first; false when nothing
// could start.
bool StartUpload(HOLD_ENGINE* e, const std::vector<FSSpec>& files, int folderValue);

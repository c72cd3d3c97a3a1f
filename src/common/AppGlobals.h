// What every program supplies to the foundation: globals and functions the
// library modules read by these fixed names. Each program defines them;
// tests/support defines versions for the library tests.
#pragma once

#include <vector>

#include "toolbox/types.h"

// The program's own settings record. Its fields differ per program, so the
// libraries only pass it by address.
struct CONFIGURATION;

// Reference number of the program's own resource file (the file current at
// start-up).
extern SInt16 Appl_Rsrc_Fork_No;
// The program's settings record.
extern CONFIGURATION ConfigData;
// The creator code of the preference files the program makes (for example
// 'VMxm', also in the installer, which makes the monitor's files).
extern OSType Pref_File_Creator;

// The settings record as stored in the 'CNFG' resource: every field in its
// declared order and width, multi-byte fields big-endian.
std::vector<UInt8> Pack_Configuration(const CONFIGURATION* config);

// The files that say which printers the monitor opens: "Alias Data" (every
// printer opened at login) and the pointer file naming the default
// printer's status-data file, both beside the bundles.
#pragma once

#include <string>
#include <vector>

#include "OT/PBoxTable.h"

constexpr char kAliasFileName[] = "Alias Data";
constexpr std::size_t kPointerFileSize = 256;

// Rewrites "Alias Data" without this printer's entry, and with it at the
// end when add is 1; indices renumbered from 00. 0.
SInt32 Save_Startup_Data(const PBOXinfo* pbox, short add);
// The entries of "Alias Data" in order, up to the first missing index.
std::vector<std::string> Read_Startup_Data();
// Writes the pointer file (named by "[MACSTR2]" "SDATANAME=" of the
// language ini) naming this printer's status-data file; 1.
SInt32 Save_Status_Data(const PBOXinfo* pbox);
// The pointer file's name ("MONITOR Data" when the ini names none).
std::string Pointer_File_Name();

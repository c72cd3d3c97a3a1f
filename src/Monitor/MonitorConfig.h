// The monitor's settings record ('CNFG' 128 of its preference file and of
// each printer's settings file "VEMO-MONITOR-<address>") and the broadcast
// list in "Brdadr" beside the bundles. The installer writes the same files.
#pragma once

#include <span>
#include <string>

#include "Monitor/MonitorTypes.h"
#include "OT/PBoxTable.h"
#include "toolbox/files.h"

// The record a missing, short or damaged 'CNFG' reads as.
CONFIGURATION Default_Configuration();

// The 64 stored bytes, every multi-byte field big-endian, unnamed bytes 0.
void PackConfiguration(const CONFIGURATION& in, std::span<UInt8, kConfigurationSize> out);
// False (and the defaults) when fewer than 64 bytes are given.
bool UnpackConfiguration(std::span<const UInt8> bytes, CONFIGURATION& out);

// An Ethernet address as six upper-case hexadecimal pairs joined by ';'.
std::string mactoa_colon(const UInt8* mac);
// The file spec of a name in the folder that holds the monitor's bundle
// ("::::name"), or in the folder set below; false when none can be made.
bool Monitor_File_Spec(const std::string& name, FSSpec* fss);
// Makes the data files beside the bundles resolve inside this folder (a
// POSIX path) instead: the installer writes them into the folder it has
// just installed the monitor in. An empty path goes back to the bundle's.
void Set_Monitor_Folder(const std::string& folder);
// "VEMO-MONITOR-<address>" of a printer.
std::string Settings_File_Name(const UInt8* mac);

// Loads the program-wide record into ConfigData from the preference file.
void Get_Configuration();
// Reads a printer's settings file: -1 when it cannot be opened or is of
// another version (it is then deleted; config untouched), else the file's
// (closed) reference number.
SInt16 Load_Configuration(const FSSpec* fss, CONFIGURATION* config);
// The printer's record: its settings file, or, when it has none, the
// program-wide record (old-version boxes on port 9), saved as its new file;
// the caller's search part wins when it names a protocol.
SInt32 Get_Monitor_Config(const PBOXinfo* pbox, CONFIGURATION* config);
// Writes the printer's settings file (save non-zero) or deletes it.
SInt32 Set_Config_Data(const PBOXinfo* pbox, const CONFIGURATION* config, short save);

// The broadcast list from "Brdadr" (entry 0 ConfigData's broadcast
// address); a value that is not an address of at most 19 characters ends
// the list like a missing key.
void Get_BroadcastAddr();
// Rewrites "Brdadr" from a list (entries 1 on); 1.
SInt32 Save_Broadcast_Data(const SETUPINFO* info);

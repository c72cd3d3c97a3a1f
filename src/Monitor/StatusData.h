// A watched printer outside its status window: the status-data file
// "VEMOMON-<address>" beside the bundles (the packed print-box record and
// four zero bytes), and the status-sharing file that publishes the raw
// status bytes in the user's folder for the held-job manager.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "OT/PBoxTable.h"
#include "toolbox/files.h"

// Status-data files are read this far at most.
constexpr std::size_t kStatusDataReadMax = 600;

// "VEMOMON-<address>" of a printer.
std::string Status_Data_File_Name(const UInt8* mac);
// Writes the printer's status-data file (184 bytes, replaced whole); 1.
SInt32 Save_Status_DataEx(const PBOXinfo* pbox);
// The first bytes (at most 600) of a status-data file named beside the
// bundles; false when it cannot be read.
bool Load_Status_Data(const std::string& name, std::vector<UInt8>& out);
// Unpacks a packed record (at least 180 bytes; fewer give an empty one).
// *oldVersion (when given) tells whether the box answers on port 9: the
// caller puts that into this printer's own settings. 1 when the record
// names a found box (non-zero hash), else 0.
SInt32 Open_Infomation_File(PBOXinfo* out, std::span<const UInt8> bytes, UInt8* oldVersion = nullptr);

// The status-sharing folder's name: "[MACSTR]" "FOLDER=" of the language
// ini (IniFileName), at most 31 bytes, or the suite's default.
std::string Status_Folder_Name();
// "V<address>.vsf" of a printer.
std::string Stat_Com_File_Name(const UInt8* mac);
// The status-sharing text for realigned status data of a reply of data
// length L and kind (1 "PLUM7 STAT", 5 "QSV-D STAT"). The ID lines are
// bounded by the 256 status bytes and by what the data length holds.
std::string Set_Stat_Com_Info(std::span<const UInt8> data, std::size_t dataLen, short kind);
// Writes the printer's status-sharing file (creating the folder), replacing
// any older and longer one whole; nothing for an empty record. 0.
SInt32 Save_Stat_Com_Data(const PBOXinfo* pbox, std::span<const UInt8> data, std::size_t dataLen, short kind);
// Deletes it; 1 when it was deleted.
SInt32 Delete_Stat_Com_Data(const PBOXinfo* pbox);
// Its file spec (the folder made when missing); false when none can be made.
bool Stat_Com_File_Spec(const PBOXinfo* pbox, FSSpec* fss);

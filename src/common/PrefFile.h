// Preference files: resource files in the user's Preferences folder made
// from templates in the program's own resources, holding the settings
// record ('CNFG' 128), the settings version ('PVER' 128) and two templates
// ('TMPL' 128 and 130). A file whose version differs from the program's is
// replaced by the program's defaults. Per-printer settings files work the
// same way at a place the caller chooses.
//
// A file these functions open is left open and current for the caller to
// close; after a save the program's own resource file is current again.
// Nothing is ever written into the program's own resource file: a save
// whose preference file cannot be opened or made writes nothing.
#pragma once

#include <string>

#include "common/AppGlobals.h"
#include "toolbox/types.h"

// 'PVER' 128: the settings version, then reserved bytes; stored big-endian.
struct CONFIG_VERSION {
  UInt16 versionNo;
  UInt8 reserved[254];
};
constexpr Size kConfigVersionSize = 256;

// Creates a resource file at fss (type 'pref', creator Pref_File_Creator)
// holding copies of the program's 'CNFG' 128, 'PVER' 128, 'TMPL' 128 and
// 'TMPL' 130 with their ids, names and attributes (a resource the program
// lacks is left out). A damaged file of that name (not a resource file) is
// replaced; any other existing file is left alone. Returns the new file's
// reference number, open and current, or -1.
SInt16 Create_Pref_File(const FSSpec* fss);
// 0 when the open file's 'PVER' 128 version equals the program's (a missing
// resource counts as 0 on either side), 1 otherwise. The file is current
// afterwards.
SInt16 Check_Preference_Version(SInt16 refNum);
// The FSSpec of the file of that name (length-prefixed) in the Preferences
// folder; a file not there yet gives an FSSpec too. False for an empty name
// (the FSSpec would name the folder itself) or when the folder cannot be had.
bool Pref_Folder_File_Spec(ConstStr255Param name, FSSpec* fss);
// The same for the name at item `index` of the program's file name list
// ('STR#' 136 of its own resources); the current resource file is kept.
bool Pref_Name_File_Spec(SInt16 index, FSSpec* fss);
// Opens the main preference file (named by the program's 'STR#' 136 item 1,
// in the Preferences folder). A file of another version or a damaged one is
// deleted and made anew; a missing one is made. -1 when there is no usable
// file (for instance an outdated one that cannot be deleted).
SInt16 Open_Pref_File();
// Opens the second preference file ('STR#' 136 item 2) without a version
// check, making it when it cannot be opened; -1 when that fails too.
SInt16 Temp_Pref_File();
// Opens a per-printer settings file: -1 when it cannot be opened, and -1
// when it is of another version (it is closed and deleted first).
SInt16 Open_MonitorPref_File(const FSSpec* fss);
// Writes ConfigData as 'CNFG' 128 of the main preference file, under the
// old resource's id, name and attributes, then closes the file. Returns
// noErr, or the error that kept it from being written.
OSErr Set_Configuration();
// The same for a per-printer settings file, made when it cannot be opened.
OSErr Save_Configuration(const FSSpec* fss, const CONFIGURATION* config);
// The POSIX path (UTF-8, at most 4096 bytes) of what fss names; empty when
// there is none that short.
std::string Get_Application_Path(const FSSpec* fss);
// Packs a four-character text into a resource type, the first character in
// the high byte; a shorter text is padded with spaces ("STR" is 'STR ').
ResType ResType_Char_To_Bin(const char* text);

// The broadcast list "ConfigData" beside the bundles: the addresses a
// search asks besides the settings' own broadcast address, one "UDPnn="
// line each under "[SYSTEM]". The administration program and the
// file-transfer tool read and write the same file.
#pragma once

#include <cstddef>
#include <vector>

#include "toolbox/types.h"

constexpr int kBroadcastMax = 17;  // brAddr and 16 addresses of the list
constexpr std::size_t kBroadcastTextSize = 20;
// Entry 0 is the settings' own address, entries 1 on those of the file.
using BroadcastTable = char[kBroadcastMax][kBroadcastTextSize];

// The file spec of "::::ConfigData" beside the bundles, for a file that
// exists or not; false when the program's location is unknown.
bool ConfigData_Spec(FSSpec* fss);
// Reads the file's entries into list[1] on, each NUL-terminated and cut to
// kBroadcastTextSize - 1 bytes; stops at the first missing or empty entry.
// list[0] is left as it is. Returns the count with entry 0 (1 when there is
// no file).
int Read_Broadcast_List(BroadcastTable& list);
// The file's text for entries 1 to count - 1 (a count over kBroadcastMax
// counts as kBroadcastMax); an entry without a NUL ends at its size.
std::vector<UInt8> Broadcast_List_Text(const BroadcastTable& list, SInt64 count);
// Writes that text as the file (creator given, type 'TEXT'), replacing it
// in one step so that a failed write leaves the old list; nothing when
// there is no file spec.
void Write_Broadcast_List(const BroadcastTable& list, SInt64 count, OSType creator);

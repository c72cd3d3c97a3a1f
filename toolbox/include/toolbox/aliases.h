// Alias Manager: alias records in our own layout (only our programs resolve
// them). An alias record is a relocatable block whose bytes are, big-endian:
//     0 userType u32 (0)      4 aliasSize u16 (the whole record)
//     6 'VMal'                10 version u16 (1)
//     12 kind u16 (0 file, 1 folder)
//     14 file type u32        18 creator u32   (the target's Finder information)
//     22 path length u16      24 the target's absolute POSIX path, UTF-8
// so it can be stored as an 'alis' resource as it stands.
#pragma once

#include <cstddef>
#include <string>

#include "toolbox/types.h"

struct AliasRecord;
using AliasPtr = AliasRecord*;
using AliasHandle = AliasPtr*;

// fnfErr when the target does not exist. fromFile is accepted and not used
// (records always hold the absolute path).
OSErr NewAlias(const FSSpec* fromFile, const FSSpec* target, AliasHandle* alias);
OSErr NewAliasMinimal(const FSSpec* target, AliasHandle* alias);
// The target's file spec; fnfErr (with the file spec made) when it no longer exists,
// paramErr for a record that is not one of ours. *wasChanged is false.
OSErr ResolveAlias(const FSSpec* fromFile, AliasHandle alias, FSSpec* target, Boolean* wasChanged);

namespace tb {
// The target path of alias record bytes; false when they are not a valid
// record.
bool AliasRecordPath(const void* data, std::size_t size, std::string* path);
}  // namespace tb

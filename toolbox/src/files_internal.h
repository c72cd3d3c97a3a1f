// File Manager services for the toolbox's own managers (the Resource
// Manager): reference numbers from the same space as open files, and whole-
// file reads and safe whole-file replacement.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "toolbox/types.h"

namespace tb::detail {

// A reference number no open file uses, kept until released (0 when all are
// taken).
SInt16 ReserveRefNum();
void ReleaseRefNum(SInt16 refNum);

// Reads a whole file: noErr, fnfErr, permErr, ioErr, or memFullErr for a
// file too large to hold.
OSErr ReadWholeFile(const std::string& path, std::vector<UInt8>& out);

// Replaces a file's contents as one step: the bytes go to a temporary file
// beside it, which takes over the old file's mode and Finder information and
// is then renamed over it. A failure leaves the old file as it was.
OSErr ReplaceWholeFile(const std::string& path, std::span<const UInt8> bytes);

// Makes a file spec's folder when it is a special folder that exists only on
// demand (the Preferences folder). noErr when the folder exists afterwards.
OSErr EnsureParentFolder(const FSSpec& fss);

}  // namespace tb::detail

// File Manager services for the toolbox's own managers (the Resource
// Manager): reference numbers from the same space as open files, and safe
// whole-file replacement.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "toolbox/files.h"
#include "toolbox/types.h"

namespace tb::detail {

// POSIX path pieces: the folder holding a path ("/" at the top), its last
// name, and a name inside a folder.
inline std::string PathParent(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == 0 || slash == std::string::npos) return "/";
  return path.substr(0, slash);
}
inline std::string PathLeaf(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
inline std::string PathJoin(const std::string& dir, const std::string& leaf) {
  return dir == "/" ? "/" + leaf : dir + "/" + leaf;
}

// A reference number no open file uses, kept until released (0 when all are
// taken).
SInt16 ReserveRefNum();
void ReleaseRefNum(SInt16 refNum);

// Replaces a file's contents as one step: the bytes go to a temporary file
// beside it, which takes over the old file's mode and Finder information and
// is then renamed over it. A failure leaves the old file as it was. Where no
// regular file stood at the name (nothing, a link, a FIFO, a device), the
// link or item is replaced by a new file of mode 0666 less the umask, with
// newInfo as its Finder information when given.
OSErr ReplaceWholeFile(const std::string& path, std::span<const UInt8> bytes,
                       const FInfo* newInfo = nullptr);

// True when an item at path may not be created, deleted, renamed or written
// because its folder is read-only in effect (fileservices.h).
bool Refused(const std::string& path);

// Remembers that path (a file written, or a folder whose names changed) is
// to be made durable by the next FlushVol.
void NoteWritten(const std::string& path);

// The Finder information of an existing item by path, as FSpGetFInfo reads
// it (fnfErr for a folder that is not a bundle).
OSErr FinderInfoOfPath(const std::string& path, FInfo* info);

// The name of the Finder-information attribute, for copies.
inline constexpr const char* kFinderInfoAttr = "user.vemo.finfo";

// Makes a file spec's folder when it is a special folder that exists only on
// demand (the Preferences folder). noErr when the folder exists afterwards.
OSErr EnsureParentFolder(const FSSpec& fss);

}  // namespace tb::detail

// File services above the File Manager: copying a file or a whole folder
// tree, deleting a tree, replacing an item by rename so that readers see
// either the old or the new one, swapping two items, writing a whole file
// atomically, and the full colon path of a file spec.
//
// A copy keeps what an installed program needs: regular files with their
// bytes and permission bits (execute bits included), folders (a program
// bundle is a folder), symbolic links as links with the same target text,
// named pipes, modification times, and our Finder information attribute
// where the file system keeps extended attributes. Anything else (devices,
// sockets) fails the copy with ioErr.
//
// Results: dupFNErr (-48) when the target exists; fnfErr (-43) when the
// source is missing; dirNFErr (-120) when a folder on the way is missing;
// afpAccessDenied (-5000) when the system refuses (no permission, read-only
// file system, or a folder made read-only for a test); dskFulErr (-34)
// when the disk or quota is full; ioErr (-36) for anything else. A copy
// that fails leaves no partial copy behind.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "toolbox/files.h"

// Copies source (file or folder tree) into the folder destFolder names, under
// newName or, when newName is null or empty, the source's own name. newObject
// (may be null) receives the copy's file spec.
OSErr FSpCopyObject(const FSSpec* source, const FSSpec* destFolder, ConstStr255Param newName,
                    FSSpec* newObject);
// Deletes a file, a link (never what it points to) or a folder with all it
// holds. A failure part-way leaves what could not be deleted.
OSErr FSpDeleteObject(const FSSpec* target);
// Copies source into destFolder, replacing an item of the same name as one
// step: the copy is made under a hidden temporary name in destFolder, then
// swapped in by rename, and the old item deleted. Until the swap the old
// item is untouched; a failing copy leaves it whole and removes the partial
// copy. Without an item to replace this is FSpCopyObject.
OSErr FSpReplaceObject(const FSSpec* source, const FSSpec* destFolder, FSSpec* newObject);
// Swaps two items of one volume by name, as one step where the file system
// allows it (files or folders): each name then holds what the other held.
// Both must exist (fnfErr); diffVolErr across file systems.
OSErr FSpExchangeFiles(const FSSpec* source, const FSSpec* dest);
// The full colon path of the item, "Linux:home:me:file", a folder's ending in
// ":". fnfErr (with the path still given) when the item is missing. The
// handle is the caller's to dispose.
OSErr FSpGetFullPath(const FSSpec* spec, short* fullPathLength, Handle* fullPath);

namespace tb {

OSErr FullPath(const FSSpec& spec, std::string& path);

// Writes a whole file as one step: the bytes go to a temporary file in the
// same folder, are flushed to disk and renamed over the file, so a reader
// sees the old or the new contents and a failure leaves the old file.
// An existing file keeps its permission bits and Finder information; a new
// one gets type and creator.
OSErr WriteFileAtomically(const FSSpec& spec, std::span<const UInt8> bytes, OSType creator,
                          OSType fileType);

// The result the file services give for an errno value.
OSErr FileServicesError(int err);

// Fault injection for tests (the test processes run as root, so permission
// bits refuse nothing). Folders listed here are read-only in effect: no item
// may be created, deleted, renamed or written in them or below them
// (afpAccessDenied). The environment variable TOOLBOX_READONLY_FOLDERS
// (paths separated by ':') does the same for a whole process; the setter
// replaces it.
void SetReadOnlyFolders(std::vector<std::string> folders);
// The copy services fail with errno err (ENOSPC: dskFulErr, EIO: ioErr, ...)
// when they come to the file after the next `files` files have been copied;
// a negative count switches this off. It fires once. TOOLBOX_FAIL_COPY_AFTER
// ("n" or "n:errno") sets it for a whole process.
void FailCopyAfter(int files, int err);

}  // namespace tb

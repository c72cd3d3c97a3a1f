// Resource Manager over plain files in the classic resource-file layout.
//
// A resource file is read whole when opened and written whole (through a
// temporary file renamed into place) when updated or closed. Open files form
// a chain: a search starts at the current file and goes on to the files
// opened before it, the program's own resource file last. The program's
// file is <bundle>/Contents/Resources/<Program>.rsrc beside the running
// program (tb::GetApplicationSpec), opened read-only on first use of the
// Resource Manager, or whatever tb::OpenApplicationResources names.
//
// Layout (all numbers big-endian): a 16-byte header (data offset, map
// offset, data length, map length), the data (each resource a 4-byte length
// and its bytes), and the map: a copy of the header, 4 + 2 reserved bytes,
// file attributes u16, type-list offset u16 and name-list offset u16 (both
// from the map's start); the type list (count - 1, then per type: type,
// count - 1, offset of its reference list from the type list's start);
// 12-byte references (id, name offset or -1, attributes u8, data offset u24
// from the data's start, 4 reserved); the name list (length-prefixed).
#pragma once

#include <span>
#include <string>
#include <vector>

#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/types.h"

// Resource attributes.
enum : SInt16 {
  resSysHeap = 64,
  resPurgeable = 32,
  resLocked = 16,
  resProtected = 8,
  resPreload = 4,
  resChanged = 2,
};

// Resource-file attributes.
enum : SInt16 {
  mapReadOnly = 128,
  mapCompact = 64,
  mapChanged = 32,
};

// Every call sets what ResError reports: noErr, or the reason it failed.
OSErr ResError();

// Makes an empty resource file with the given Finder creator and type.
// dupFNErr when a non-empty file of that name exists (an empty one is made
// a resource file).
void FSpCreateResFile(const FSSpec* fss, OSType creator, OSType fileType, ScriptCode scriptTag);
// Opens a resource file (fsRdPerm read-only; fsRdWrPerm and the others for
// changes; fsCurPerm for changes when the file allows them) and makes it
// current. A file already open is not opened twice: its number is returned.
// -1 with ResError fnfErr, permErr, or mapReadErr for a file that is not a
// well-formed resource file.
SInt16 FSpOpenResFile(const FSSpec* fss, SInt8 permission);
// Writes the file's changes, releases its resources' handles and closes it.
// When it was current, the file opened before it becomes current.
void CloseResFile(SInt16 refNum);
// Writes the file's changes (nothing when there are none).
void UpdateResFile(SInt16 refNum);
void UseResFile(SInt16 refNum);
SInt16 CurResFile();
SInt16 GetResFileAttrs(SInt16 refNum);
// The file a resource handle belongs to; -1 for any other handle.
SInt16 HomeResFile(Handle theResource);

// Reading. A resource's handle is made on first use and the same handle is
// returned while it is loaded. GetResource searches the chain from the
// current file; the Get1 forms search the current file only. A missing
// resource gives nullptr and resNotFound.
Handle GetResource(ResType theType, SInt16 theID);
Handle Get1Resource(ResType theType, SInt16 theID);
Handle GetNamedResource(ResType theType, ConstStr255Param name);
Handle Get1NamedResource(ResType theType, ConstStr255Param name);
SInt16 CountResources(ResType theType);
SInt16 Count1Resources(ResType theType);
Handle GetIndResource(ResType theType, SInt16 index);
Handle Get1IndResource(ResType theType, SInt16 index);
SInt16 Count1Types();
void Get1IndType(ResType* theType, SInt16 index);
SInt16 Unique1ID(ResType theType);
void LoadResource(Handle theResource);
// Disposes the handle; changes made through ChangedResource are kept for
// the next write.
void ReleaseResource(Handle theResource);
// The handle stays the caller's and no longer belongs to the file.
void DetachResource(Handle theResource);
Size GetResourceSizeOnDisk(Handle theResource);
Size GetMaxResourceSize(Handle theResource);

void GetResInfo(Handle theResource, SInt16* theID, ResType* theType, Str255 name);
// A null name keeps the resource's name; an empty one removes it.
void SetResInfo(Handle theResource, SInt16 theID, ConstStr255Param name);
SInt16 GetResAttrs(Handle theResource);
void SetResAttrs(Handle theResource, SInt16 attrs);

// Changing. Only files opened for changes take them (wrPermErr otherwise).
// AddResource puts a handle that belongs to no file into the current file;
// a type and id already there are refused (addResFailed).
void AddResource(Handle theData, ResType theType, SInt16 theID, ConstStr255Param name);
// Takes the resource out of its file; the handle becomes the caller's.
void RemoveResource(Handle theResource);
void ChangedResource(Handle theResource);
// Stores a changed resource and writes its file.
void WriteResource(Handle theResource);

// Item index (from 1) of the 'STR#' list strListID: an empty string when
// the list or the item is missing.
void GetIndString(Str255 theString, SInt16 strListID, SInt16 index);
// The 'STR ' resource theID.
StringHandle GetString(SInt16 theID);

namespace tb {

// One resource as it lies in a file.
struct ResourceEntry {
  ResType type = 0;
  SInt16 id = 0;
  bool hasName = false;
  std::string name;  // at most 255 bytes
  UInt8 attrs = 0;
  std::vector<UInt8> data;
};

// Reads a whole resource file image; mapReadErr when any offset, length or
// count lies, when parts overlap or run past the end, or when a type and id
// appear twice. Entries come in the file's order.
OSErr ParseResourceFile(std::span<const UInt8> image, std::vector<ResourceEntry>& out,
                        UInt16* fileAttrs = nullptr);
// Lays out a resource file image; addResFailed when the entries do not fit
// the format (16 MB of data, 32 KB of names, 64 KB of map).
OSErr BuildResourceFile(const std::vector<ResourceEntry>& entries, std::vector<UInt8>& image,
                        UInt16 fileAttrs = 0);

// Opens path read-only as the program's own resource file, at the bottom of
// the chain, in place of any earlier one, and makes it current. Returns its
// number, or -1 (ResError tells why).
SInt16 OpenApplicationResources(const std::string& path);
// The program's resource file, or 0 when there is none.
SInt16 ApplicationResFile();
// Closes every resource file without writing anything and forgets the
// program's file (tests start afresh with it).
void ResetResources();

}  // namespace tb

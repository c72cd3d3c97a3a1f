// Catalog information: what a folder holds and what is known of each item
// (name, folder flag, folder id, type and creator, lengths, dates), through
// the old parameter-block call and through file references; document kind
// texts from the name's extension.
//
// Folders are listed in byte order of their names, without "." and "..";
// an index stays valid as long as nothing is added to or removed from the
// folder. A symbolic link is listed as what it is, never followed: it reads
// as a file with the alias flag (kIsAlias) in its Finder flags, its own
// dates and a data length of 0, so a walk never enters a linked folder.
// Dates are seconds since 1904-01-01 in local time (datetime.h).
#pragma once

#include <cstddef>

#include "toolbox/bundle.h"
#include "toolbox/files.h"

// Finder information of a folder (kept for the layout; reads as zeros).
struct DInfo {
  Rect frRect;
  UInt16 frFlags;
  Point frLocation;
  SInt16 frView;
};

enum : SInt8 {
  kioFlAttribLockedMask = 0x01,
  kioFlAttribDirMask = 0x10,
};

// The two views of one catalog parameter block. The fields both views
// share (header, index, attributes, ids, dates) lie at the same places, so
// a caller may set the folder id through either view.
struct HFileInfo {
  OSErr ioResult;
  StringPtr ioNamePtr;
  SInt16 ioVRefNum;
  SInt16 ioFRefNum;
  SInt16 ioFDirIndex;
  SInt8 ioFlAttrib;
  SInt8 ioACUser;
  FInfo ioFlFndrInfo;
  SInt32 ioDirID;        // in: the folder; out: the item's own id
  SInt32 ioFlLgLen;      // data-fork length (at most 0x7FFFFFFF)
  SInt32 ioFlPyLen;      // space it takes on disk
  SInt32 ioFlRLgLen;     // resource-fork length: always 0 here
  SInt32 ioFlRPyLen;
  UInt32 ioFlCrDat;
  UInt32 ioFlMdDat;
  UInt32 ioFlBkDat;
  SInt32 ioFlParID;
};

struct DirInfo {
  OSErr ioResult;
  StringPtr ioNamePtr;
  SInt16 ioVRefNum;
  SInt16 ioFRefNum;
  SInt16 ioFDirIndex;
  SInt8 ioFlAttrib;
  SInt8 ioACUser;
  DInfo ioDrUsrWds;
  SInt32 ioDrDirID;      // in: the folder; out: the folder's own id
  UInt16 ioDrNmFls;      // items in the folder
  UInt16 filler2;
  SInt32 filler3[3];
  UInt32 ioDrCrDat;
  UInt32 ioDrMdDat;
  UInt32 ioDrBkDat;
  SInt32 ioDrParID;
};

union CInfoPBRec {
  HFileInfo hFileInfo;
  DirInfo dirInfo;
};
using CInfoPBPtr = CInfoPBRec*;

static_assert(offsetof(HFileInfo, ioDirID) == offsetof(DirInfo, ioDrDirID));
static_assert(offsetof(HFileInfo, ioFlMdDat) == offsetof(DirInfo, ioDrMdDat));
static_assert(offsetof(HFileInfo, ioFlParID) == offsetof(DirInfo, ioDrParID));

// One catalog query, chosen by ioFDirIndex:
//   > 0  the index-th item (from 1) of folder ioDirID; its name goes to
//        ioNamePtr when that is not null. fnfErr past the last item.
//   = 0  the item named by ioNamePtr (a name or partial path as
//        FSMakeFSSpec takes it) in folder ioDirID.
//   < 0  folder ioDirID itself; its name goes to ioNamePtr when not null.
// A name written back is at most 31 bytes, so a Str31 always holds it; a
// longer name comes back shortened to its start, "#" and the item's id in
// hexadecimal, which FSMakeFSSpec and this call resolve to the item again.
// For a file: ioFlAttrib without the folder bit, ioFlFndrInfo (as
// FSpGetFInfo reads it), ioDirID = the file's id, the lengths, the dates,
// ioFlParID = its folder. For a folder: ioFlAttrib with kioFlAttribDirMask,
// ioDrDirID its id, ioDrNmFls, the dates, ioDrParID. dirNFErr for an
// unknown folder id; ioResult holds the result too.
OSErr PBGetCatInfoSync(CInfoPBPtr paramBlock);
OSErr PBGetCatInfo(CInfoPBPtr paramBlock, Boolean async);
// The same by file spec: as PBGetCatInfoSync with index 0; name (when not
// null) receives the item's name.
OSErr FSpGetCatInfo(const FSSpec* spec, CInfoPBRec* info, StringPtr name);

// ---------------------------------------------------------------------------
// File references: a reference names an existing item for the rest of the
// run (by its path), whatever its name's length.

struct FSRef {
  UInt32 nodeID;  // 0: no item
  UInt8 reserved[76];
};

struct UTCDateTime {
  UInt16 highSeconds;
  UInt32 lowSeconds;  // seconds since 1904-01-01 UTC
  UInt16 fraction;
};

using FSCatalogInfoBitmap = UInt32;
enum : FSCatalogInfoBitmap {
  kFSCatInfoNone = 0,
  kFSCatInfoTextEncoding = 0x00000001,
  kFSCatInfoNodeFlags = 0x00000002,
  kFSCatInfoVolume = 0x00000004,
  kFSCatInfoParentDirID = 0x00000008,
  kFSCatInfoNodeID = 0x00000010,
  kFSCatInfoCreateDate = 0x00000020,
  kFSCatInfoContentMod = 0x00000040,
  kFSCatInfoFinderInfo = 0x00000800,
  kFSCatInfoValence = 0x00002000,
  kFSCatInfoDataSizes = 0x00004000,
  kFSCatInfoRsrcSizes = 0x00008000,
  kFSCatInfoGettableInfo = 0x0003FFFF,
};

enum : UInt16 {
  kFSNodeLockedMask = 0x0001,
  kFSNodeIsDirectoryMask = 0x0010,
};

struct FSCatalogInfo {
  UInt16 nodeFlags;
  SInt16 volume;
  UInt32 parentDirID;
  UInt32 nodeID;
  UTCDateTime createDate;
  UTCDateTime contentModDate;
  UInt8 finderInfo[16];  // a file's FInfo, big-endian as FSpGetFInfo stores it
  UInt32 valence;        // items in a folder
  UInt64 dataLogicalSize;
  UInt64 dataPhysicalSize;
  UInt64 rsrcLogicalSize;
  UInt64 rsrcPhysicalSize;
};

struct HFSUniStr255 {
  UInt16 length;
  UniChar unicode[255];
};

// fnfErr when the item is missing (the reference is then cleared).
OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef);
// A POSIX path (UTF-8) of an existing item; isDirectory may be null.
OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory);
// The POSIX path, NUL-terminated; paramErr when it does not fit maxPathSize
// bytes (nothing written then), fnfErr for a cleared or unknown reference.
OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize);
// What whichInfo asks for (the other fields are left alone); outName,
// fsSpec and parentRef may be null. The name is UTF-16; an FSSpec of an
// item whose name is longer than 63 bytes cannot be made (bdNamErr).
OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo,
                       HFSUniStr255* outName, FSSpec* fsSpec, FSRef* parentRef);

// The document kind text of an item, a new string the caller releases:
// "Folder", "Application" for a program bundle, otherwise the kind of its
// extension (the table in catalog.cpp, e.g. "PDF document"). An item whose
// kind is not known gives kLSApplicationNotFoundErr and no string, so the
// caller shows its own "unknown" text.
enum : OSStatus { kLSApplicationNotFoundErr = -10814 };
OSStatus LSCopyKindStringForRef(const FSRef* fsRef, CFStringRef* kindString);

namespace tb {

// The kind text and the default file type of a file name's extension
// (compared without regard to ASCII case): false when it has none known.
bool KindForName(std::string_view name, std::string* kind, OSType* fileType);

}  // namespace tb

// File Manager over POSIX files.
//
// An FSSpec names a file or folder by volume, the id of the folder that holds
// it, and a leaf name of at most 63 bytes. There is one volume (-1, the root
// of the Linux file system). Folder ids are handed out per process: each
// folder path met gets an id the first time and keeps it for the run (the
// root folder is 2, its parent 1). Inside a name, ":" is the separator of
// HFS paths; a POSIX name that holds ":" shows it as "/".
//
// FSMakeFSSpec takes HFS paths: "name" is in the given folder; ":a:b" is
// relative; each further ":" goes up one level ("::x" is x in the parent,
// ":::x" in the grandparent); a name that holds ":" but does not begin with
// one is a full path whose first part is the volume name. When the exact
// name is missing, a name that differs only in ASCII case is taken.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "toolbox/pump.h"
#include "toolbox/types.h"

using ScriptCode = SInt16;

// Finder information kept with each file.
struct FInfo {
  OSType fdType;
  OSType fdCreator;
  UInt16 fdFlags;
  Point fdLocation;
  SInt16 fdFldr;
};

enum : UInt16 {
  kIsOnDesk = 0x0001,
  kHasBeenInited = 0x0100,
  kHasCustomIcon = 0x0400,
  kIsStationery = 0x0800,
  kNameLocked = 0x1000,
  kHasBundle = 0x2000,
  kIsInvisible = 0x4000,
  kIsAlias = 0x8000,
};

// Open permissions.
enum : SInt8 {
  fsCurPerm = 0,
  fsRdPerm = 1,
  fsWrPerm = 2,
  fsRdWrPerm = 3,
  fsRdWrShPerm = 4,
};

// Positioning modes of SetFPos.
enum : SInt16 {
  fsAtMark = 0,
  fsFromStart = 1,
  fsFromLEOF = 2,
  fsFromMark = 3,
};

enum : SInt16 {
  smSystemScript = -1,
  kOnSystemDisk = -32768,
  kOnAppropriateDisk = -32767,
  kRootVolume = -1,
};

enum : SInt32 {
  fsRtParID = 1,
  fsRtDirID = 2,
};

enum : OSType {
  kPreferencesFolderType = 'pref',
  kTemporaryFolderType = 'temp',
  kCurrentUserFolderType = 'cusr',
};

enum : Boolean {
  kDontCreateFolder = 0,
  kCreateFolder = 1,
};

// Builds a file spec from a volume, a folder id and an HFS name or partial path
// (a length-prefixed string; empty names the folder itself). noErr when the
// item exists; fnfErr with a valid file spec when only the last part is missing;
// dirNFErr when a folder on the way is missing; nsvErr for an unknown
// volume; bdNamErr for a leaf of more than 63 bytes or a name that cannot
// exist on this system.
OSErr FSMakeFSSpec(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName, FSSpec* fss);

// Data-fork access. A reference number stays valid until FSClose.
OSErr FSpOpenDF(const FSSpec* fss, SInt8 permission, SInt16* refNum);
// Reads *count bytes at the mark; a short read gives eofErr with *count set
// to what was read.
OSErr FSRead(SInt16 refNum, SInt32* count, void* buffPtr);
OSErr FSWrite(SInt16 refNum, SInt32* count, const void* buffPtr);
// A mark before the start gives posErr (mark unchanged); past the end,
// eofErr with the mark at the end.
OSErr SetFPos(SInt16 refNum, SInt16 posMode, SInt32 posOff);
OSErr GetFPos(SInt16 refNum, SInt32* filePos);
OSErr GetEOF(SInt16 refNum, SInt32* logEOF);
OSErr SetEOF(SInt16 refNum, SInt32 logEOF);
OSErr FSClose(SInt16 refNum);

// Creating, deleting and renaming. FSpCreate gives dupFNErr when the name
// exists; FSpDelete removes a file or an empty folder (fBsyErr while the
// file is open here, or the folder is not empty).
OSErr FSpCreate(const FSSpec* fss, OSType creator, OSType fileType, ScriptCode scriptTag);
OSErr FSpDirCreate(const FSSpec* fss, ScriptCode scriptTag, SInt32* createdDirID);
OSErr FSpDelete(const FSSpec* fss);
OSErr FSpRename(const FSSpec* fss, ConstStr255Param newName);
// Makes a folder named by a name or partial path in folder parentDirID:
// dupFNErr when the name exists, dirNFErr when a folder on the way is
// missing. Creating, deleting and renaming give afpAccessDenied where the
// system (or a read-only folder, fileservices.h) refuses.
OSErr DirCreate(SInt16 vRefNum, SInt32 parentDirID, ConstStr255Param directoryName,
                SInt32* createdDirID);
// Makes what was written durable: every file written through FSWrite (open
// or closed since the last flush), and the folders whose names changed, are
// flushed to disk. There is one volume, so the volume arguments only need
// to name it (volName may be null).
OSErr FlushVol(ConstStr63Param volName, SInt16 vRefNum);

// Finder information lives in the extended attribute "user.vemo.finfo" (16
// bytes, big-endian). Where the file system keeps no extended attributes,
// setting succeeds without storing anything. A file without stored
// information reads as creator '????' and the type of its extension
// ('TEXT' for .txt and .ini, 'PDF ' for .pdf; the table is in catalog.cpp),
// else '????';
// an application bundle and the program inside its Contents/MacOS read as
// 'APPL' with the creator from the bundle's PkgInfo.
OSErr FSpGetFInfo(const FSSpec* fss, FInfo* fndrInfo);
OSErr FSpSetFInfo(const FSSpec* fss, const FInfo* fndrInfo);

// Special folders: 'pref' is $XDG_CONFIG_HOME/vemo/Preferences (default
// ~/.config/vemo/Preferences), one folder for every program; 'temp' is
// $TMPDIR (default /tmp); 'cusr' is $HOME. A missing Preferences folder is
// made when asked to, and otherwise as soon as something is created in it;
// until then it reads as an empty folder.
OSErr FindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder, SInt16* foundVRefNum,
                 SInt32* foundDirID);

namespace tb {

// The POSIX path of what the file spec names (the file spec's item need not exist).
OSErr SpecToPath(const FSSpec& fss, std::string& path);
// The file spec of a POSIX path (relative paths start at the working folder);
// like FSMakeFSSpec, fnfErr with a valid file spec when only the leaf is missing.
OSErr PathToSpec(std::string_view path, FSSpec* fss);
// The id of the folder a file spec names (dirNFErr when it names no folder).
OSErr GetDirID(const FSSpec& fss, SInt32* dirID);
// The id of a folder path, made on first use (0 for a path that is not
// absolute after joining with the working folder).
SInt32 DirIDForPath(std::string_view path);
// The folder path of an id; false for an id never handed out.
bool PathForDirID(SInt32 dirID, std::string& path);

// The running program's own file: /proc/self/exe, or what a test set.
// For the suite this is <Program>.app/Contents/MacOS/<Program>.
OSErr GetApplicationSpec(FSSpec* fss);
// Makes the toolbox treat path as the running program's file (empty: the
// real one again). The environment variable TOOLBOX_APP_PATH does the same
// for a whole process; the setter wins over it.
void SetApplicationPath(std::string path);
std::string ApplicationPath();

// Local files, the one way every program and manager opens one to read (and
// FSpOpenDF to write): the open never waits on what stands at the name and
// takes only a regular file, through links. A missing name, a dangling link,
// a folder, a FIFO, a device or a socket all give fnfErr (there is no file
// to read; a device is never opened); a folder missing on the way dirNFErr,
// a refusal permErr. access is O_RDONLY, O_WRONLY or O_RDWR (more flags are
// not taken). The descriptor is closed on exec and reads and writes as a
// regular file always does.
OSErr OpenLocalFile(const std::string& path, int access, UniqueFd& fd);
// A local file opened to write (a log appended to, a file filled piece by
// piece) in the same spirit: the open never waits and never goes through a
// link. A regular file at the name is opened; a missing one is made (with
// O_CREAT) with mode less the umask; flags may add O_CREAT, O_EXCL (the file
// must be new: dupFNErr), O_TRUNC and O_APPEND. A link of any kind, a folder,
// a FIFO, a device or a socket at the name give fnfErr (nothing is written
// through or made at the link's end); a missing name without O_CREAT fnfErr,
// a folder missing on the way dirNFErr, a refusal permErr (afpAccessDenied in
// a folder made read-only, fileservices.h). Closed on exec; writes block as a
// regular file's always do.
OSErr OpenLocalFileToWrite(const std::string& path, int flags, UniqueFd& fd, unsigned mode = 0666);

// Ceilings of what one read takes of a local file: text files (ini, menu
// definitions, strings, settings and scripts), and resource files.
inline constexpr std::size_t kTextFileMax = std::size_t(4) << 20;
inline constexpr std::size_t kResourceFileMax = std::size_t(16) << 20;

// Reads a local file opened as OpenLocalFile does into out (emptied first),
// never throwing. A file that holds more than maxBytes is Refused (not read
// at all; memFullErr, more than the caller can hold) or Cut to its first
// maxBytes (for a record of a fixed size at its start). Errors as
// OpenLocalFile's, ioErr for a failed read, memFullErr when the bytes
// cannot be held.
enum class LongerFile { Refused, Cut };
OSErr ReadLocalFile(const std::string& path, std::size_t maxBytes, std::vector<UInt8>& out,
                    LongerFile longer = LongerFile::Refused);
OSErr ReadLocalFile(const std::string& path, std::size_t maxBytes, std::string& out,
                    LongerFile longer = LongerFile::Refused);

// Where the Preferences folder is (it may not exist yet).
std::string PreferencesFolderPath();

}  // namespace tb

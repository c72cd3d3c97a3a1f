// The held-job manager's singly linked pointer lists (folders, jobs, cached
// thumbnail pages), the name proposed for a downloaded job, and the walk
// over a folder's entries.
//
// A list owns private copies of what is added. The copies are shared: a
// holder that took one with GetSharedPtrList (a row of a list control)
// keeps it alive after the node is deleted, so a deleted node neither leaks
// its data nor leaves a row pointing at freed memory.
#pragma once

#include <cstddef>
#include <memory>

#include <vector>

#include "holdmanager/HoldData.h"
#include "toolbox/catalog.h"
#include "toolbox/cfstring.h"
#include "toolbox/files.h"
#include "toolbox/types.h"

struct PtrNode {
  std::shared_ptr<UInt8[]> data;
  std::size_t size = 0;
  PtrNode* next = nullptr;
};
using PtrListHead = PtrNode*;

// Appends a copy of size bytes; the new count, or 0 (nothing added) without data.
int AddPtrList(PtrListHead* head, const void* data, std::size_t size);
// The data at index (0 first), which also becomes the cursor; null past the end (cursor cleared).
void* GetPtrList(PtrListHead head, int index);
std::shared_ptr<UInt8[]> GetSharedPtrList(PtrListHead head, int index);
// Moves the cursor on; null at the end.
void* GetNextPtrList();
int GetCountPtrList(PtrListHead head);
// Unlinks the node at index; its data lives on while a holder shares it.
void DelPtrList(PtrListHead* head, int index);
void ClearPtrList(PtrListHead* head);
// Unlinks every node whose job record carries the folder id (4 bytes as received).
void ClearPtrListFromFolder(PtrListHead* head, const UInt8 folderId[4]);

// The folders of a pointer list sorted by name, byte by byte, folders of
// the same name kept in their order: the order of the folder pop-ups,
// whose value picks a folder by its place.
std::vector<FOLDER_ENTRY> SortFolderList(PtrListHead folders);

// Reads the catalog entry at *index of a folder: on success the index moves
// on and name (32 bytes) holds the length-prefixed, NUL-terminated name.
OSErr GetNextFile(SInt16 vRefNum, SInt32 dirID, SInt16* index, CInfoPBRec* pb, UInt8* name);

// Opens the help document the ini file names ([LINK] "HELP=", a path from
// the program's own folder) through the Finder: 1, or 0 when the key is
// missing, the path leads nowhere or the open fails.
int Open_Help(const char* iniFile);
// The same, telling the failures apart: the document is there but could
// not be opened (no opener), or there is none to open.
enum class HelpOpened { Opened, NotOpened, Missing };
HelpOpened HoldOpenHelp(const char* iniFile);

// The file name proposed for a held job whose name the box holds in
// encoding (its entry's; length-prefixed, NUL after it, out of at least
// 258 bytes), its bytes cut on that encoding's characters; returns 1.
int Get_Download_FileName(const UInt8* jobName, UInt8* out, TextEncoding encoding = kCFStringEncodingUTF8);

// The held-job manager's linked lists of folders, jobs and cached pages,
// with shared copies a list row can keep alive, the names proposed for
// downloads and the walk over a folder.
#include "holdmanager/HoldLists.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "506Q_Lib/AppLocation.h"
#include "common/IniFile.h"
#include "holdmanager/HoldData.h"
#include "toolbox/catalog.h"
#include "toolbox/finder.h"
#include "toolbox/textencoding.h"

namespace {
// The one iteration cursor of the program.
PtrNode* gCursor = nullptr;

PtrNode* nodeAt(PtrListHead head, int index) {
  PtrNode* n = head;
  for (int i = 0; n && i < index; ++i) n = n->next;
  return index < 0 ? nullptr : n;
}
}  // namespace

int AddPtrList(PtrListHead* head, const void* data, std::size_t size) {
  if (!head || !data) return 0;
  auto* node = new (std::nothrow) PtrNode;
  if (!node) return 0;
  node->data.reset(new (std::nothrow) UInt8[size ? size : 1]);
  if (!node->data) {
    delete node;
    return 0;
  }
  std::memcpy(node->data.get(), data, size);
  node->size = size;
  PtrNode** link = head;
  int count = 1;
  while (*link) {
    link = &(*link)->next;
    ++count;
  }
  *link = node;
  return count;
}

void* GetPtrList(PtrListHead head, int index) {
  gCursor = nodeAt(head, index);
  return gCursor ? gCursor->data.get() : nullptr;
}

std::shared_ptr<UInt8[]> GetSharedPtrList(PtrListHead head, int index) {
  PtrNode* n = nodeAt(head, index);
  return n ? n->data : nullptr;
}

void* GetNextPtrList() {
  if (gCursor) gCursor = gCursor->next;
  return gCursor ? gCursor->data.get() : nullptr;
}

int GetCountPtrList(PtrListHead head) {
  int n = 0;
  for (; head; head = head->next) ++n;
  return n;
}

namespace {
void unlink(PtrNode** link) {
  PtrNode* n = *link;
  *link = n->next;
  if (gCursor == n) gCursor = nullptr;
  delete n;
}
}  // namespace

void DelPtrList(PtrListHead* head, int index) {
  if (!head || index < 0) return;
  PtrNode** link = head;
  for (int i = 0; *link && i < index; ++i) link = &(*link)->next;
  if (*link) unlink(link);
}

void ClearPtrList(PtrListHead* head) {
  if (!head) return;
  while (*head) unlink(head);
}

void ClearPtrListFromFolder(PtrListHead* head, const UInt8 folderId[4]) {
  if (!head) return;
  PtrNode** link = head;
  while (*link) {
    const auto* job = reinterpret_cast<const JOB_ENTRY*>((*link)->data.get());
    if ((*link)->size >= sizeof(JOB_ENTRY) && std::memcmp(job->folderId, folderId, 4) == 0)
      unlink(link);
    else
      link = &(*link)->next;
  }
}

std::vector<FOLDER_ENTRY> SortFolderList(PtrListHead folders) {
  std::vector<FOLDER_ENTRY> v;
  for (PtrNode* n = folders; n; n = n->next)
    if (n->size >= sizeof(FOLDER_ENTRY)) v.push_back(*reinterpret_cast<const FOLDER_ENTRY*>(n->data.get()));
  std::stable_sort(v.begin(), v.end(), [](const FOLDER_ENTRY& a, const FOLDER_ENTRY& b) {
    return std::lexicographical_compare(a.name + 1, a.name + 1 + a.name[0], b.name + 1, b.name + 1 + b.name[0]);
  });
  return v;
}

OSErr GetNextFile(SInt16 vRefNum, SInt32 dirID, SInt16* index, CInfoPBRec* pb, UInt8* name) {
  std::memset(pb, 0, sizeof *pb);
  Str255 buf{};
  pb->hFileInfo.ioNamePtr = buf;
  pb->hFileInfo.ioVRefNum = vRefNum;
  pb->hFileInfo.ioDirID = dirID;
  pb->hFileInfo.ioFDirIndex = *index;
  OSErr err = PBGetCatInfoSync(pb);
  pb->hFileInfo.ioNamePtr = nullptr;
  if (err == noErr) {
    ++*index;
    UInt8 n = buf[0] > 30 ? 30 : buf[0];
    name[0] = n;
    std::memcpy(name + 1, buf + 1, n);
    name[n + 1] = 0;
  }
  return err;
}

int Get_Download_FileName(const UInt8* jobName, UInt8* out, TextEncoding encoding) {
  // The name is worked on as the box holds it, so that the cut falls on a
  // character of its own encoding. The bytes looked at and put in are
  // ASCII below 0x40, which no encoding here uses within a character, and
  // each put in stands for one taken out, so the name reads as before.
  std::string name = jobName ? pstr::str(jobName) : std::string();
  // Path separators and the partial-path colon from the box never reach a
  // file name.
  for (char& c : name)
    if (c == '/' || c == ':' || c == '\0') c = '_';
  const TextEncoding in = tb::ReadingEncoding(name, encoding);
  auto cut = [in](const std::string& s) { return s.size() < 29 ? s : s.substr(0, tb::CharCutLength(s, 28, in)); };
  std::string result;
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && (name.compare(dot, 4, ".prn") == 0 || name.compare(dot, 4, ".PRN") == 0)) {
    result = name.size() < 32 ? tb::ConvertFromEncoding(name, in) : tb::ConvertFromEncoding(cut(name), in) + ".prn";
  } else {
    std::string joined = name;
    if (dot != std::string::npos) {
      joined.clear();
      std::size_t at = 0;
      while (at <= name.size()) {
        std::size_t e = name.find('.', at);
        if (e == std::string::npos) e = name.size();
        if (e > at) {
          if (!joined.empty()) joined += '_';
          joined += name.substr(at, e - at);
        }
        at = e + 1;
      }
    }
    result = tb::ConvertFromEncoding(cut(joined), in) + ".prn";
  }
  result.resize(tb::CharCutLength(result, 255));
  out[0] = UInt8(result.size());
  std::memcpy(out + 1, result.data(), result.size());
  out[result.size() + 1] = 0;
  return 1;
}

HelpOpened HoldOpenHelp(const char* iniFile) {
  Str255 path{};
  if (!iniFile || !Load_File_To_PascalEx("LINK", "HELP=", path, 256, iniFile) || path[0] == 0)
    return HelpOpened::Missing;
  FSSpec app{}, doc{};
  if (GetAppLocation(&app) != noErr) return HelpOpened::Missing;
  if (FSMakeFSSpec(app.vRefNum, app.parID, path, &doc) != noErr) return HelpOpened::Missing;
  std::string full;
  if (tb::SpecToPath(doc, full) != noErr) return HelpOpened::Missing;
  return tb::FinderOpenPath(full) == noErr ? HelpOpened::Opened : HelpOpened::NotOpened;
}

int Open_Help(const char* iniFile) { return HoldOpenHelp(iniFile) == HelpOpened::Opened ? 1 : 0; }

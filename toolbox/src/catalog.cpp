// Catalog information over POSIX folders.
#include "toolbox/catalog.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <cstdio>
#include <vector>

#include "files_internal.h"
#include "toolbox/cfstring.h"
#include "toolbox/datetime.h"
#include "toolbox/textencoding.h"

namespace {

constexpr std::size_t kCatalogNameMax = 31;

struct KindEntry {
  const char* ext;
  OSType type;  // 0: no default type
  const char* kind;
};

// Default types and kind texts by extension.
constexpr KindEntry kKinds[] = {
    {"txt", 'TEXT', "Plain text document"},
    {"text", 'TEXT', "Plain text document"},
    {"ini", 'TEXT', "Settings document"},
    {"csv", 'TEXT', "CSV document"},
    {"log", 'TEXT', "Log document"},
    {"xml", 'TEXT', "XML document"},
    {"htm", 'TEXT', "HTML document"},
    {"html", 'TEXT', "HTML document"},
    {"rtf", 'RTF ', "Rich text document"},
    {"pdf", 'PDF ', "PDF document"},
    {"ps", 0, "PostScript document"},
    {"prn", 0, "Print file"},
    {"jpg", 'JPEG', "JPEG image"},
    {"jpeg", 'JPEG', "JPEG image"},
    {"png", 'PNGf', "PNG image"},
    {"gif", 'GIFf', "GIF image"},
    {"tif", 'TIFF', "TIFF image"},
    {"tiff", 'TIFF', "TIFF image"},
    {"bmp", 'BMPf', "BMP image"},
    {"wav", 'WAVE', "Waveform audio"},
    {"zip", 'ZIP ', "ZIP archive"},
};

bool equalNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

// A folder's items in byte order of their names.
bool listFolder(const std::string& dir, std::vector<std::string>& names) {
  names.clear();
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  while (dirent* e = ::readdir(d)) {
    std::string_view n(e->d_name);
    if (n != "." && n != "..") names.emplace_back(n);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  return true;
}

SInt32 idOf(const std::string& path) { return path == "/" ? SInt32(fsRtDirID) : tb::DirIDForPath(path); }
SInt32 parentIdOf(const std::string& path) {
  return path == "/" ? SInt32(fsRtParID) : idOf(tb::detail::PathParent(path));
}

// Creation time where the file system keeps one, else the change time.
std::time_t birthTime(const std::string& path, const struct stat& st) {
  struct statx sx;
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) == 0 &&
      (sx.stx_mask & STATX_BTIME))
    return std::time_t(sx.stx_btime.tv_sec);
  return st.st_ctime;
}

SInt32 clamp32(SInt64 v) { return v > INT32_MAX ? INT32_MAX : v < 0 ? 0 : SInt32(v); }

// The name the catalog call gives back: at most 31 bytes, a longer name cut
// on a character boundary and marked with the item's id.
std::string catalogName(const std::string& hfsName, SInt32 id) {
  if (hfsName.size() <= kCatalogNameMax) return hfsName;
  char tag[16];
  std::snprintf(tag, sizeof tag, "#%X", static_cast<unsigned>(id));
  std::string start(tb::CharPrefix(hfsName, kCatalogNameMax - std::strlen(tag)));
  return start + tag;
}

std::string hfsNameOf(const std::string& path) {
  if (path == "/") return "Linux";
  std::string n = tb::detail::PathLeaf(path);
  for (char& c : n)
    if (c == ':') c = '/';
  return n;
}

OSErr fillCatInfo(const std::string& path, CInfoPBRec* pb, bool giveName) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return fnfErr;
  HFileInfo& f = pb->hFileInfo;
  const SInt32 id = idOf(path);
  if (giveName && f.ioNamePtr) pstr::set(f.ioNamePtr, kCatalogNameMax + 1, catalogName(hfsNameOf(path), id));
  f.ioVRefNum = kRootVolume;
  f.ioFRefNum = 0;
  f.ioACUser = 0;
  const UInt32 created = tb::LocalSecondsFromUnix(birthTime(path, st));
  const UInt32 modified = tb::LocalSecondsFromUnix(st.st_mtime);
  if (S_ISDIR(st.st_mode)) {
    DirInfo& d = pb->dirInfo;
    d.ioFlAttrib = kioFlAttribDirMask;
    d.ioDrUsrWds = DInfo{};
    d.ioDrDirID = id;
    std::vector<std::string> names;
    listFolder(path, names);
    d.ioDrNmFls = UInt16(std::min<std::size_t>(names.size(), 0xFFFF));
    d.filler2 = 0;
    d.ioDrCrDat = created;
    d.ioDrMdDat = modified;
    d.ioDrBkDat = 0;
    d.ioDrParID = parentIdOf(path);
    return noErr;
  }
  f.ioFlAttrib = (st.st_mode & 0222) ? 0 : kioFlAttribLockedMask;
  FInfo info{};
  if (tb::detail::FinderInfoOfPath(path, &info) != noErr) {
    info = FInfo{};
    info.fdType = info.fdCreator = 0x3F3F3F3F;  // four question marks
  }
  const bool link = S_ISLNK(st.st_mode);
  if (link) info.fdFlags |= kIsAlias;
  f.ioFlFndrInfo = info;
  f.ioDirID = id;
  f.ioFlLgLen = link ? 0 : clamp32(st.st_size);
  f.ioFlPyLen = link ? 0 : clamp32(SInt64(st.st_blocks) * 512);
  f.ioFlRLgLen = 0;
  f.ioFlRPyLen = 0;
  f.ioFlCrDat = created;
  f.ioFlMdDat = modified;
  f.ioFlBkDat = 0;
  f.ioFlParID = parentIdOf(path);
  return noErr;
}

OSErr catInfo(CInfoPBRec* pb) {
  HFileInfo& f = pb->hFileInfo;
  std::string dir;
  if (f.ioVRefNum != 0 && f.ioVRefNum != kRootVolume && f.ioVRefNum != kOnSystemDisk) return nsvErr;
  if (f.ioDirID == fsRtParID && f.ioFDirIndex > 0) {
    // The root's parent holds the volume alone.
    if (f.ioFDirIndex != 1) return fnfErr;
    return fillCatInfo("/", pb, true);
  }
  if (f.ioDirID == 0) {
    FSSpec here;
    if (tb::PathToSpec(".", &here) != noErr || tb::GetDirID(here, &f.ioDirID) != noErr) return dirNFErr;
  }
  if (!tb::PathForDirID(f.ioDirID, dir)) return dirNFErr;
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return dirNFErr;
  if (f.ioFDirIndex > 0) {
    std::vector<std::string> names;
    if (!listFolder(dir, names)) return dirNFErr;
    // Each call lists the folder again, so an item added or removed moves
    // the later indexes as it did on the old system.
    if (static_cast<std::size_t>(f.ioFDirIndex) > names.size()) return fnfErr;
    return fillCatInfo(tb::detail::PathJoin(dir, names[std::size_t(f.ioFDirIndex) - 1]), pb, true);
  }
  if (f.ioFDirIndex < 0 || !f.ioNamePtr || f.ioNamePtr[0] == 0) return fillCatInfo(dir, pb, f.ioFDirIndex < 0);
  FSSpec spec;
  if (OSErr err = FSMakeFSSpec(kRootVolume, f.ioDirID, f.ioNamePtr, &spec)) return err;
  std::string path;
  if (OSErr err = tb::SpecToPath(spec, path)) return err;
  return fillCatInfo(path, pb, false);
}

std::optional<std::string> refPath(const FSRef* ref) {
  std::string path;
  if (!ref || ref->nodeID == 0 || !tb::PathForDirID(SInt32(ref->nodeID), path)) return std::nullopt;
  return path;
}

void setRef(FSRef* ref, const std::string& path) {
  *ref = FSRef{};
  ref->nodeID = UInt32(idOf(path));
}

UTCDateTime utcOf(const struct timespec& ts) {
  SInt64 s = SInt64(ts.tv_sec) + tb::kSecondsFrom1904To1970;
  if (s < 0) s = 0;
  UTCDateTime out{};
  out.highSeconds = UInt16(UInt64(s) >> 32);
  out.lowSeconds = UInt32(UInt64(s) & 0xFFFFFFFFu);
  out.fraction = UInt16((UInt64(ts.tv_nsec) << 16) / 1000000000u);
  return out;
}

// UTF-8 to UTF-16 as strings convert it, at most 255 units and never half
// a surrogate pair.
void toUnicodeName(std::string_view text, HFSUniStr255* out) {
  const std::u16string u = tb::Utf8ToUtf16(text);
  std::size_t n = std::min<std::size_t>(u.size(), 255);
  if (n < u.size() && n > 0 && u[n - 1] >= 0xD800 && u[n - 1] < 0xDC00) --n;
  std::copy_n(u.begin(), n, out->unicode);
  out->length = UInt16(n);
}

}  // namespace

OSErr PBGetCatInfoSync(CInfoPBPtr paramBlock) {
  if (!paramBlock) return paramErr;
  OSErr err = catInfo(paramBlock);
  paramBlock->hFileInfo.ioResult = err;
  return err;
}

OSErr PBGetCatInfo(CInfoPBPtr paramBlock, Boolean) { return PBGetCatInfoSync(paramBlock); }

OSErr FSpGetCatInfo(const FSSpec* spec, CInfoPBRec* info, StringPtr name) {
  if (!spec || !info) return paramErr;
  std::string path;
  if (OSErr err = tb::SpecToPath(*spec, path)) return err;
  *info = CInfoPBRec{};
  OSErr err = fillCatInfo(path, info, false);
  if (!err && name) pstr::set(name, 64, hfsNameOf(path));
  info->hFileInfo.ioResult = err;
  return err;
}

OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef) {
  if (!source || !newRef) return paramErr;
  *newRef = FSRef{};
  std::string path;
  if (OSErr err = tb::SpecToPath(*source, path)) return err;
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return fnfErr;
  setRef(newRef, path);
  return noErr;
}

OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory) {
  if (!path || !ref) return paramErr;
  *ref = FSRef{};
  std::string p(reinterpret_cast<const char*>(path));
  if (p.empty()) return fnfErr;
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return fnfErr;
  setRef(ref, p);  // the id table makes the path absolute and normal
  if (ref->nodeID == 0) return fnfErr;
  if (isDirectory) *isDirectory = S_ISDIR(st.st_mode);
  return noErr;
}

OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize) {
  if (!path || maxPathSize == 0) return paramErr;
  auto p = refPath(ref);
  if (!p) return fnfErr;
  if (p->size() + 1 > maxPathSize) return paramErr;
  std::memcpy(path, p->c_str(), p->size() + 1);
  return noErr;
}

OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo,
                       HFSUniStr255* outName, FSSpec* fsSpec, FSRef* parentRef) {
  auto path = refPath(ref);
  if (!path) return fnfErr;
  struct stat st;
  if (::lstat(path->c_str(), &st) != 0) return fnfErr;
  const bool dir = S_ISDIR(st.st_mode);
  if (catalogInfo) {
    FSCatalogInfo& c = *catalogInfo;
    if (whichInfo & kFSCatInfoNodeFlags)
      c.nodeFlags = UInt16((dir ? kFSNodeIsDirectoryMask : 0) | ((st.st_mode & 0222) ? 0 : kFSNodeLockedMask));
    if (whichInfo & kFSCatInfoVolume) c.volume = kRootVolume;
    if (whichInfo & kFSCatInfoParentDirID) c.parentDirID = UInt32(parentIdOf(*path));
    if (whichInfo & kFSCatInfoNodeID) c.nodeID = UInt32(idOf(*path));
    if (whichInfo & kFSCatInfoCreateDate) {
      struct timespec ts{birthTime(*path, st), 0};
      c.createDate = utcOf(ts);
    }
    if (whichInfo & kFSCatInfoContentMod) c.contentModDate = utcOf(st.st_mtim);
    if (whichInfo & kFSCatInfoFinderInfo) {
      std::memset(c.finderInfo, 0, sizeof c.finderInfo);
      FInfo info{};
      if (!dir && tb::detail::FinderInfoOfPath(*path, &info) == noErr) {
        if (S_ISLNK(st.st_mode)) info.fdFlags |= kIsAlias;
        be::put32(c.finderInfo, info.fdType);
        be::put32(c.finderInfo + 4, info.fdCreator);
        be::put16(c.finderInfo + 8, info.fdFlags);
        be::put16(c.finderInfo + 10, UInt16(info.fdLocation.v));
        be::put16(c.finderInfo + 12, UInt16(info.fdLocation.h));
        be::put16(c.finderInfo + 14, UInt16(info.fdFldr));
      }
    }
    if (whichInfo & kFSCatInfoValence) {
      std::vector<std::string> names;
      if (dir) listFolder(*path, names);
      c.valence = UInt32(names.size());
    }
    if (whichInfo & kFSCatInfoDataSizes) {
      const bool plain = S_ISREG(st.st_mode);
      c.dataLogicalSize = plain ? UInt64(st.st_size) : 0;
      c.dataPhysicalSize = plain ? UInt64(st.st_blocks) * 512 : 0;
    }
    if (whichInfo & kFSCatInfoRsrcSizes) c.rsrcLogicalSize = c.rsrcPhysicalSize = 0;
  }
  if (outName) toUnicodeName(hfsNameOf(*path), outName);
  if (parentRef) setRef(parentRef, *path == "/" ? "/" : tb::detail::PathParent(*path));
  if (fsSpec) {
    OSErr err = tb::PathToSpec(*path, fsSpec);
    if (err) return err;
  }
  return noErr;
}

OSStatus LSCopyKindStringForRef(const FSRef* fsRef, CFStringRef* kindString) {
  if (!kindString) return paramErr;
  *kindString = nullptr;
  auto path = refPath(fsRef);
  if (!path) return fnfErr;
  struct stat st;
  if (::lstat(path->c_str(), &st) != 0) return fnfErr;
  std::string kind;
  const std::string leaf = tb::detail::PathLeaf(*path);
  if (S_ISLNK(st.st_mode))
    kind = "Alias";
  else if (S_ISDIR(st.st_mode))
    kind = leaf.size() > 4 && equalNoCase(leaf.substr(leaf.size() - 4), ".app") ? "Application" : "Folder";
  else if (!tb::KindForName(leaf, &kind, nullptr))
    return kLSApplicationNotFoundErr;
  *kindString = CFStringCreateWithCString(nullptr, kind.c_str(), kCFStringEncodingUTF8);
  return *kindString ? noErr : OSStatus(memFullErr);
}

bool tb::KindForName(std::string_view name, std::string* kind, OSType* fileType) {
  auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return false;
  std::string_view ext = name.substr(dot + 1);
  for (const KindEntry& e : kKinds) {
    if (!equalNoCase(ext, e.ext)) continue;
    if (fileType && e.type == 0) return false;
    if (kind) *kind = e.kind;
    if (fileType) *fileType = e.type;
    return true;
  }
  return false;
}

// File Manager over POSIX files: folder ids handed out per process, HFS
// paths resolved to POSIX ones, FSSpecs made and checked, and files
// opened, read, written and catalogued with the old calls' error codes.
#include "toolbox/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "files_internal.h"
#include "toolbox/catalog.h"
#include "toolbox/fileservices.h"
#include "toolbox/pump.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kVolumeName = "Linux";
constexpr const char* kFinfoAttr = "user.vemo.finfo";
constexpr SInt32 kFirstDirID = 100;
constexpr OSType kUnknownType = 0x3F3F3F3F;  // four question marks

struct OpenFile {
  int fd = -1;  // -1 for a number reserved by another manager
  bool canRead = false;
  bool canWrite = false;
  dev_t dev = 0;
  ino_t ino = 0;
  std::string path;
};

struct State {
  std::mutex lock;
  std::unordered_map<std::string, SInt32> idOfPath;
  std::unordered_map<SInt32, std::string> pathOfId;
  SInt32 nextId = kFirstDirID;
  std::set<std::string> onDemand;  // folders that read as present while missing
  std::map<SInt16, OpenFile> files;
  SInt16 lastRef = 0;
  std::string appPath;
  std::set<std::string> written;  // to flush at the next FlushVol
  bool writtenOverflow = false;     // too many to list: flush everything
  std::optional<std::vector<std::string>> readOnly;
};

State& state() {
  static State s;
  return s;
}

// ---------------------------------------------------------------------------
// Names and paths

bool asciiEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// An HFS name as a POSIX leaf, or nothing for a name no POSIX file can have.
std::optional<std::string> hfsToPosix(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  std::string out(name);
  for (char& c : out) {
    if (c == '\0') return std::nullopt;
    if (c == '/') c = ':';
  }
  return out;
}

std::string posixToHfs(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (c == ':') c = '/';
  return out;
}

std::string normalise(std::string_view p) {
  fs::path path(p);
  if (!path.is_absolute()) {
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (ec) return {};
    path = cwd / path;
  }
  std::string s = path.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool isDir(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

SInt32 idFor(State& s, const std::string& path) {
  if (path == "/") return fsRtDirID;
  auto it = s.idOfPath.find(path);
  if (it != s.idOfPath.end()) return it->second;
  SInt32 id = s.nextId++;
  s.idOfPath.emplace(path, id);
  s.pathOfId.emplace(id, path);
  return id;
}

std::optional<std::string> pathFor(State& s, SInt32 id) {
  if (id == fsRtDirID) return std::string("/");
  auto it = s.pathOfId.find(id);
  if (it == s.pathOfId.end()) return std::nullopt;
  return it->second;
}

// A folder that exists, or a special folder not yet made.
bool folderPresent(State& s, const std::string& path) {
  if (isDir(path)) return true;
  return s.onDemand.count(path) && !exists(path);
}

// A shortened name the catalog gave out for a long one ("start#1A2"): the
// leaf of the item with that id, when it lies in dir.
std::optional<std::string> unmangle(State& s, const std::string& dir, const std::string& leaf) {
  auto hash = leaf.rfind('#');
  if (hash == std::string::npos || hash + 1 >= leaf.size() || leaf.size() - hash > 9) return std::nullopt;
  SInt32 id = 0;
  for (std::size_t i = hash + 1; i < leaf.size(); ++i) {
    char c = leaf[i];
    int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (v < 0) return std::nullopt;
    id = SInt32((UInt32(id) << 4) | UInt32(v));
  }
  auto p = pathFor(s, id);
  if (!p || tb::detail::PathParent(*p) != dir || !exists(*p)) return std::nullopt;
  std::string real = tb::detail::PathLeaf(*p);
  if (real.compare(0, hash, leaf, 0, hash) != 0) return std::nullopt;
  return real;
}

// The name under which leaf exists in dir: the exact one, else the first
// (in byte order) that differs only in ASCII case, else the item a
// shortened catalog name stands for.
std::optional<std::string> findIn(State& s, const std::string& dir, const std::string& leaf) {
  if (exists(tb::detail::PathJoin(dir, leaf))) return leaf;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return std::nullopt;
  std::optional<std::string> best;
  while (dirent* e = ::readdir(d)) {
    std::string_view n(e->d_name);
    if (n == "." || n == "..") continue;
    if (asciiEqualNoCase(n, leaf) && (!best || n < *best)) best = std::string(n);
  }
  ::closedir(d);
  if (!best) best = unmangle(s, dir, leaf);
  return best;
}

void clearSpec(FSSpec* fss) { std::memset(fss, 0, sizeof *fss); }

void setSpec(FSSpec* fss, SInt32 parID, std::string_view hfsName) {
  clearSpec(fss);
  fss->vRefNum = kRootVolume;
  fss->parID = parID;
  pstr::set(fss->name, sizeof fss->name, hfsName);
}

// The file spec of an absolute, normalised path.
OSErr specOfPath(State& s, const std::string& path, FSSpec* fss) {
  if (path == "/") {
    setSpec(fss, fsRtParID, kVolumeName);
    return noErr;
  }
  std::string name = posixToHfs(tb::detail::PathLeaf(path));
  if (name.size() > 63) return bdNamErr;
  setSpec(fss, idFor(s, tb::detail::PathParent(path)), name);
  return noErr;
}

bool volumeOk(SInt16 vRefNum) {
  return vRefNum == 0 || vRefNum == kRootVolume || vRefNum == kOnSystemDisk ||
         vRefNum == kOnAppropriateDisk;
}

// The POSIX path a file spec names; the name must be a real Str63.
OSErr pathOfSpec(State& s, const FSSpec* fss, std::string& out) {
  if (!fss) return paramErr;
  if (!volumeOk(fss->vRefNum)) return nsvErr;
  if (fss->name[0] > 63) return bdNamErr;
  std::string_view name = pstr::view(fss->name);
  if (fss->parID == fsRtParID) {
    if (!name.empty() && !asciiEqualNoCase(name, kVolumeName)) return nsvErr;
    out = "/";
    return noErr;
  }
  auto dir = pathFor(s, fss->parID);
  if (!dir) return dirNFErr;
  if (name.empty()) {
    out = *dir;
    return noErr;
  }
  auto leaf = hfsToPosix(name);
  if (!leaf) return bdNamErr;
  out = tb::detail::PathJoin(*dir, *leaf);
  return noErr;
}

OSErr errnoToOSErr(int e, OSErr dflt = ioErr) {
  switch (e) {
    case ENOENT: return fnfErr;
    case ENOTDIR: return dirNFErr;
    case EACCES:
    case EPERM: return permErr;
    case EROFS: return vLckdErr;
    case EEXIST: return dupFNErr;
    case ENOSPC:
    case EDQUOT: return dskFulErr;
    case EMFILE:
    case ENFILE: return tmfoErr;
    case ENAMETOOLONG: return bdNamErr;
    case ENOTEMPTY:
    case EBUSY: return fBsyErr;
    case ENOMEM: return memFullErr;
    default: return dflt;
  }
}

// Changes to a folder's names that the system refuses read as access
// denied, as the file services report them.
OSErr changeErr(int e) {
  return (e == EACCES || e == EPERM || e == EROFS) ? OSErr(afpAccessDenied) : errnoToOSErr(e);
}

bool refusedLocked(State& s, const std::string& path);

SInt16 allocRef(State& s, const OpenFile& f) {
  for (int tries = 0; tries < 32767; ++tries) {
    s.lastRef = static_cast<SInt16>(s.lastRef >= 32767 ? 1 : s.lastRef + 1);
    if (!s.files.count(s.lastRef)) {
      s.files.emplace(s.lastRef, f);
      return s.lastRef;
    }
  }
  return 0;
}

std::optional<OpenFile> lookup(SInt16 refNum) {
  State& s = state();
  std::lock_guard g(s.lock);
  auto it = s.files.find(refNum);
  if (it == s.files.end() || it->second.fd < 0) return std::nullopt;
  return it->second;
}

std::string envOr(const char* name, std::string_view fallback) {
  const char* v = std::getenv(name);
  return (v && *v) ? std::string(v) : std::string(fallback);
}

// Finder information for files that carry none: applications by their
// bundle, text files by their extension.
bool bundleCreator(const std::string& bundle, OSType& creator) {
  std::vector<UInt8> info;
  if (tb::ReadLocalFile(bundle + "/Contents/PkgInfo", 8, info, tb::LongerFile::Cut) != noErr || info.size() < 8)
    return false;
  creator = be::get32(info.data() + 4);
  return true;
}

bool endsWithNoCase(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && asciiEqualNoCase(s.substr(s.size() - tail.size()), tail);
}

OSErr defaultFinderInfo(const std::string& path, FInfo* info) {
  std::memset(info, 0, sizeof *info);
  info->fdType = kUnknownType;
  info->fdCreator = kUnknownType;
  if (isDir(path)) {
    if (!endsWithNoCase(path, ".app")) return fnfErr;  // folders carry no file information
    info->fdType = 'APPL';
    bundleCreator(path, info->fdCreator);
    return noErr;
  }
  std::string dir = tb::detail::PathParent(path);
  if (tb::detail::PathLeaf(dir) == "MacOS" && tb::detail::PathLeaf(tb::detail::PathParent(dir)) == "Contents" &&
      endsWithNoCase(tb::detail::PathParent(tb::detail::PathParent(dir)), ".app")) {
    info->fdType = 'APPL';
    bundleCreator(tb::detail::PathParent(tb::detail::PathParent(dir)), info->fdCreator);
  } else {
    OSType type;
    if (tb::KindForName(tb::detail::PathLeaf(path), nullptr, &type)) info->fdType = type;
  }
  return noErr;
}

void packFinderInfo(const FInfo& info, UInt8 (&b)[16]) {
  be::put32(b, info.fdType);
  be::put32(b + 4, info.fdCreator);
  be::put16(b + 8, info.fdFlags);
  be::put16(b + 10, static_cast<UInt16>(info.fdLocation.v));
  be::put16(b + 12, static_cast<UInt16>(info.fdLocation.h));
  be::put16(b + 14, static_cast<UInt16>(info.fdFldr));
}

bool xattrUnsupported(int e) { return e == ENOTSUP || e == EOPNOTSUPP; }

OSErr writeFinderInfo(const std::string& path, const FInfo& info) {
  UInt8 b[16];
  packFinderInfo(info, b);
  if (::setxattr(path.c_str(), kFinfoAttr, b, sizeof b, 0) == 0) return noErr;
  if (xattrUnsupported(errno)) return noErr;
  return errnoToOSErr(errno);
}

std::vector<std::string> splitPaths(const char* text) {
  std::vector<std::string> out;
  std::string_view v = text ? text : "";
  while (!v.empty()) {
    auto colon = v.find(':');
    std::string part(v.substr(0, colon));
    if (!part.empty()) out.push_back(normalise(part));
    if (colon == std::string_view::npos) break;
    v.remove_prefix(colon + 1);
  }
  return out;
}

bool refusedLocked(State& s, const std::string& path) {
  if (!s.readOnly) s.readOnly = splitPaths(std::getenv("TOOLBOX_READONLY_FOLDERS"));
  if (s.readOnly->empty()) return false;
  std::string dir = tb::detail::PathParent(normalise(path));
  for (const std::string& ro : *s.readOnly) {
    if (ro.empty()) continue;
    if (dir == ro || ro == "/" || (dir.size() > ro.size() && dir.compare(0, ro.size(), ro) == 0 &&
                                   dir[ro.size()] == '/'))
      return true;
  }
  return false;
}

int syncPath(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return errno == ENOENT || errno == ELOOP ? 0 : errno;  // gone or a link: nothing to keep
  int rc = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return rc == EINVAL ? 0 : rc;  // a file system that keeps nothing to flush
}

}  // namespace

// ---------------------------------------------------------------------------

OSErr DirCreate(SInt16 vRefNum, SInt32 parentDirID, ConstStr255Param directoryName,
                SInt32* createdDirID) {
  if (createdDirID) *createdDirID = 0;
  FSSpec spec;
  OSErr err = FSMakeFSSpec(vRefNum, parentDirID, directoryName, &spec);
  if (err == noErr) return pstr::view(directoryName).empty() ? OSErr(bdNamErr) : OSErr(dupFNErr);
  if (err != fnfErr) return err;
  return FSpDirCreate(&spec, smSystemScript, createdDirID);
}

OSErr FlushVol(ConstStr63Param volName, SInt16 vRefNum) {
  std::string_view name = pstr::view(volName);
  if (!name.empty()) {
    while (!name.empty() && name.back() == ':') name.remove_suffix(1);
    if (!asciiEqualNoCase(name, kVolumeName)) return nsvErr;
  } else if (!volumeOk(vRefNum)) {
    return nsvErr;
  }
  State& s = state();
  std::set<std::string> paths;
  std::vector<int> open;
  bool overflow;
  {
    std::lock_guard g(s.lock);
    paths.swap(s.written);
    overflow = s.writtenOverflow;
    s.writtenOverflow = false;
    for (const auto& [ref, f] : s.files)
      if (f.fd >= 0 && f.canWrite) open.push_back(f.fd);
  }
  if (overflow) ::sync();
  int failed = 0;
  for (int fd : open)
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EBADF) failed = errno;
  for (const std::string& p : paths)
    if (int e = syncPath(p)) failed = e;
  return failed ? errnoToOSErr(failed) : OSErr(noErr);
}

OSErr FSMakeFSSpec(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName, FSSpec* fss) {
  if (!fss) return paramErr;
  clearSpec(fss);
  if (!volumeOk(vRefNum)) return nsvErr;
  State& s = state();
  std::lock_guard g(s.lock);
  std::string_view name = pstr::view(fileName);

  // Where the walk starts, and the parts of the name that move from there.
  std::string dir;
  std::vector<std::string_view> parts;
  auto split = [&](std::string_view text) {
    std::size_t start = 0;
    for (;;) {
      auto colon = text.find(':', start);
      std::size_t len = colon == std::string_view::npos ? text.npos : colon - start;
      parts.push_back(text.substr(start, len));
      if (colon == std::string_view::npos) break;
      start = colon + 1;
    }
  };
  bool fullPath = name.find(':') != std::string_view::npos && name.front() != ':';
  if (fullPath) {
    auto colon = name.find(':');
    if (!asciiEqualNoCase(name.substr(0, colon), kVolumeName)) return nsvErr;
    dir = "/";
    split(name.substr(colon + 1));
  } else {
    if (dirID == 0) {
      dir = normalise(".");
      if (dir.empty()) return dirNFErr;
    } else if (dirID == fsRtParID) {
      // Only the volume itself lies in the root's parent.
      if (!name.empty() && name.find(':') == std::string_view::npos &&
          asciiEqualNoCase(name, kVolumeName))
        return specOfPath(s, "/", fss);
      return dirNFErr;
    } else {
      auto p = pathFor(s, dirID);
      if (!p) return dirNFErr;
      dir = *p;
    }
    if (!name.empty()) {
      if (name.front() == ':')
        split(name.substr(1));
      else
        parts.push_back(name);
    }
  }
  // A single trailing colon only marks the end of a folder's name.
  if (parts.size() > 0 && parts.back().empty() && name.size() > 0 && name.back() == ':')
    parts.pop_back();
  if (!folderPresent(s, dir)) return dirNFErr;

  for (std::size_t i = 0; i < parts.size(); ++i) {
    bool last = i + 1 == parts.size();
    if (parts[i].empty()) {  // up one level
      if (dir == "/") return dirNFErr;
      dir = tb::detail::PathParent(dir);
      continue;
    }
    auto leaf = hfsToPosix(parts[i]);
    if (!leaf) return bdNamErr;
    if (last) {
      if (parts[i].size() > 63) return bdNamErr;
      if (auto found = isDir(dir) ? findIn(s, dir, *leaf) : std::nullopt) {
        setSpec(fss, idFor(s, dir), posixToHfs(*found));
        return noErr;
      }
      setSpec(fss, idFor(s, dir), parts[i]);
      return fnfErr;
    }
    auto found = isDir(dir) ? findIn(s, dir, *leaf) : std::nullopt;
    if (!found || !isDir(tb::detail::PathJoin(dir, *found))) return dirNFErr;
    dir = tb::detail::PathJoin(dir, *found);
  }
  // The name ends in a folder.
  return specOfPath(s, dir, fss);
}

OSErr FSpOpenDF(const FSSpec* fss, SInt8 permission, SInt16* refNum) {
  if (!refNum) return paramErr;
  *refNum = 0;
  State& s = state();
  std::string path;
  {
    std::lock_guard g(s.lock);
    if (OSErr err = pathOfSpec(s, fss, path)) return err;
  }
  int flags;
  bool rd = true, wr = true;
  switch (permission) {
    case fsRdPerm:
      flags = O_RDONLY;
      wr = false;
      break;
    case fsWrPerm:
      flags = O_WRONLY;
      rd = false;
      break;
    case fsRdWrPerm:
    case fsRdWrShPerm: flags = O_RDWR; break;
    case fsCurPerm: flags = O_RDWR; break;
    default: return paramErr;
  }
  bool refused = false;
  if (wr) {
    std::lock_guard g(s.lock);
    refused = refusedLocked(s, path);
  }
  if (refused && permission != fsCurPerm) return afpAccessDenied;
  tb::UniqueFd held;
  OSErr err = refused ? OSErr(permErr) : tb::OpenLocalFile(path, flags, held);
  if ((err == permErr || err == vLckdErr) && permission == fsCurPerm) {
    err = tb::OpenLocalFile(path, O_RDONLY, held);
    wr = false;
  }
  if (err) return err;
  struct stat st;
  ::fstat(held.get(), &st);
  int fd = held.release();
  OpenFile f{fd, rd, wr, st.st_dev, st.st_ino, wr ? path : std::string()};
  std::lock_guard g(s.lock);
  SInt16 ref = allocRef(s, f);
  if (!ref) {
    ::close(fd);
    return tmfoErr;
  }
  *refNum = ref;
  return noErr;
}

OSErr FSRead(SInt16 refNum, SInt32* count, void* buffPtr) {
  if (!count) return paramErr;
  auto f = lookup(refNum);
  if (!f) {
    *count = 0;
    return rfNumErr;
  }
  if (*count < 0 || (*count > 0 && !buffPtr)) {
    *count = 0;
    return paramErr;
  }
  if (!f->canRead) {
    *count = 0;
    return paramErr;
  }
  SInt32 want = *count, got = 0;
  auto* p = static_cast<char*>(buffPtr);
  while (got < want) {
    ssize_t n = ::read(f->fd, p + got, static_cast<std::size_t>(want - got));
    if (n < 0) {
      if (errno == EINTR) continue;
      *count = got;
      return ioErr;
    }
    if (n == 0) break;
    got += static_cast<SInt32>(n);
  }
  *count = got;
  return got < want ? eofErr : noErr;
}

OSErr FSWrite(SInt16 refNum, SInt32* count, const void* buffPtr) {
  if (!count) return paramErr;
  auto f = lookup(refNum);
  if (!f) {
    *count = 0;
    return rfNumErr;
  }
  if (*count < 0 || (*count > 0 && !buffPtr)) {
    *count = 0;
    return paramErr;
  }
  if (!f->canWrite) {
    *count = 0;
    return wrPermErr;
  }
  SInt32 want = *count, put = 0;
  const auto* p = static_cast<const char*>(buffPtr);
  while (put < want) {
    ssize_t n = ::write(f->fd, p + put, static_cast<std::size_t>(want - put));
    if (n < 0) {
      if (errno == EINTR) continue;
      *count = put;
      return errnoToOSErr(errno);
    }
    put += static_cast<SInt32>(n);
  }
  *count = put;
  return noErr;
}

OSErr SetFPos(SInt16 refNum, SInt16 posMode, SInt32 posOff) {
  auto f = lookup(refNum);
  if (!f) return rfNumErr;
  struct stat st;
  if (::fstat(f->fd, &st) != 0) return ioErr;
  SInt64 cur = ::lseek(f->fd, 0, SEEK_CUR);
  SInt64 end = st.st_size;
  SInt64 pos;
  switch (posMode) {
    case fsAtMark: return noErr;
    case fsFromStart: pos = posOff; break;
    case fsFromLEOF: pos = end + posOff; break;
    case fsFromMark: pos = cur + posOff; break;
    default: return paramErr;
  }
  if (pos < 0) return posErr;
  OSErr err = noErr;
  if (pos > end) {
    pos = end;
    err = eofErr;
  }
  if (::lseek(f->fd, pos, SEEK_SET) < 0) return ioErr;
  return err;
}

OSErr GetFPos(SInt16 refNum, SInt32* filePos) {
  if (!filePos) return paramErr;
  auto f = lookup(refNum);
  if (!f) return rfNumErr;
  off_t pos = ::lseek(f->fd, 0, SEEK_CUR);
  if (pos < 0 || pos > INT32_MAX) return ioErr;
  *filePos = static_cast<SInt32>(pos);
  return noErr;
}

OSErr GetEOF(SInt16 refNum, SInt32* logEOF) {
  if (!logEOF) return paramErr;
  auto f = lookup(refNum);
  if (!f) return rfNumErr;
  struct stat st;
  if (::fstat(f->fd, &st) != 0) return ioErr;
  // A length the interface cannot express is an error, never a wrong size.
  if (st.st_size > INT32_MAX) return ioErr;
  *logEOF = static_cast<SInt32>(st.st_size);
  return noErr;
}

OSErr SetEOF(SInt16 refNum, SInt32 logEOF) {
  auto f = lookup(refNum);
  if (!f) return rfNumErr;
  if (!f->canWrite) return wrPermErr;
  if (logEOF < 0) return paramErr;
  if (::ftruncate(f->fd, logEOF) != 0) return errnoToOSErr(errno);
  if (::lseek(f->fd, 0, SEEK_CUR) > logEOF) ::lseek(f->fd, logEOF, SEEK_SET);
  return noErr;
}

OSErr FSClose(SInt16 refNum) {
  State& s = state();
  int fd;
  {
    std::lock_guard g(s.lock);
    auto it = s.files.find(refNum);
    if (it == s.files.end() || it->second.fd < 0) return rfNumErr;
    fd = it->second.fd;
    if (it->second.canWrite) s.written.insert(it->second.path);
    s.files.erase(it);
  }
  return ::close(fd) == 0 ? noErr : ioErr;
}

OSErr FSpCreate(const FSSpec* fss, OSType creator, OSType fileType, ScriptCode) {
  State& s = state();
  std::string path;
  {
    std::lock_guard g(s.lock);
    if (OSErr err = pathOfSpec(s, fss, path)) return err;
  }
  if (fss->name[0] == 0) return bdNamErr;
  if (tb::detail::Refused(path)) return exists(path) ? OSErr(dupFNErr) : OSErr(afpAccessDenied);
  if (OSErr err = tb::detail::EnsureParentFolder(*fss)) return err;
  int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return errno == ENOENT ? OSErr(dirNFErr) : changeErr(errno);
  ::close(fd);
  tb::detail::NoteWritten(tb::detail::PathParent(path));
  FInfo info{};
  info.fdType = fileType;
  info.fdCreator = creator;
  writeFinderInfo(path, info);
  return noErr;
}

OSErr FSpDirCreate(const FSSpec* fss, ScriptCode, SInt32* createdDirID) {
  State& s = state();
  std::string path;
  {
    std::lock_guard g(s.lock);
    if (OSErr err = pathOfSpec(s, fss, path)) return err;
  }
  if (fss->name[0] == 0) return bdNamErr;
  if (tb::detail::Refused(path)) return exists(path) ? OSErr(dupFNErr) : OSErr(afpAccessDenied);
  if (OSErr err = tb::detail::EnsureParentFolder(*fss)) return err;
  if (::mkdir(path.c_str(), 0777) != 0)
    return errno == ENOENT ? OSErr(dirNFErr) : changeErr(errno);
  tb::detail::NoteWritten(tb::detail::PathParent(path));
  if (createdDirID) {
    std::lock_guard g(s.lock);
    *createdDirID = idFor(s, path);
  }
  return noErr;
}

OSErr FSpDelete(const FSSpec* fss) {
  State& s = state();
  std::string path;
  std::lock_guard g(s.lock);
  if (OSErr err = pathOfSpec(s, fss, path)) return err;
  if (path == "/") return fBsyErr;
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return errnoToOSErr(errno);
  if (refusedLocked(s, path)) return afpAccessDenied;
  if (S_ISDIR(st.st_mode)) {
    if (::rmdir(path.c_str()) != 0) return changeErr(errno);
    s.written.insert(tb::detail::PathParent(path));
    return noErr;
  }
  for (const auto& [ref, f] : s.files)
    if (f.fd >= 0 && f.dev == st.st_dev && f.ino == st.st_ino) return fBsyErr;
  if (::unlink(path.c_str()) != 0) return changeErr(errno);
  s.written.insert(tb::detail::PathParent(path));
  return noErr;
}

OSErr FSpRename(const FSSpec* fss, ConstStr255Param newName) {
  State& s = state();
  std::string path;
  {
    std::lock_guard g(s.lock);
    if (OSErr err = pathOfSpec(s, fss, path)) return err;
  }
  std::string_view name = pstr::view(newName);
  if (name.size() > 63 || name.find(':') != std::string_view::npos) return bdNamErr;
  auto leaf = hfsToPosix(name);
  if (!leaf || path == "/" || fss->name[0] == 0) return bdNamErr;
  struct stat from, to;
  if (::lstat(path.c_str(), &from) != 0) return errnoToOSErr(errno);
  std::string target = tb::detail::PathJoin(tb::detail::PathParent(path), *leaf);
  if (::lstat(target.c_str(), &to) == 0 && (to.st_dev != from.st_dev || to.st_ino != from.st_ino))
    return dupFNErr;
  if (tb::detail::Refused(path)) return afpAccessDenied;
  if (::rename(path.c_str(), target.c_str()) != 0) return changeErr(errno);
  tb::detail::NoteWritten(tb::detail::PathParent(path));
  return noErr;
}

OSErr FSpGetFInfo(const FSSpec* fss, FInfo* fndrInfo) {
  if (!fndrInfo) return paramErr;
  State& s = state();
  std::string path;
  {
    std::lock_guard g(s.lock);
    if (OSErr err = pathOfSpec(s, fss, path)) return err;
  }
  if (!exists(path)) return fnfErr;
  return tb::detail::FinderInfoOfPath(path, fndrInfo);
}

OSErr FSpSetFInfo(const FSSpec* fss, const FInfo* fndrInfo) {
  if (!fndrInfo) return paramErr;
  State& s = state();
  std::string path;
  {
    std::lock_guard g(s.lock);
    if (OSErr err = pathOfSpec(s, fss, path)) return err;
  }
  if (!exists(path)) return fnfErr;
  if (isDir(path) && !endsWithNoCase(path, ".app")) return fnfErr;
  return writeFinderInfo(path, *fndrInfo);
}

OSErr FindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder, SInt16* foundVRefNum,
                 SInt32* foundDirID) {
  if (!volumeOk(vRefNum)) return nsvErr;
  std::string path;
  bool onDemand = false;
  switch (folderType) {
    case kPreferencesFolderType:
      path = normalise(tb::PreferencesFolderPath());
      onDemand = true;
      break;
    case kTemporaryFolderType: path = normalise(envOr("TMPDIR", "/tmp")); break;
    case kCurrentUserFolderType: path = normalise(envOr("HOME", "/")); break;
    default: return fnfErr;
  }
  if (path.empty()) return fnfErr;
  if (createFolder && !isDir(path)) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) return errnoToOSErr(ec.value());
  }
  State& s = state();
  std::lock_guard g(s.lock);
  if (onDemand) s.onDemand.insert(path);
  if (!folderPresent(s, path)) return fnfErr;
  if (foundVRefNum) *foundVRefNum = kRootVolume;
  if (foundDirID) *foundDirID = idFor(s, path);
  return noErr;
}

// ---------------------------------------------------------------------------

namespace tb {

OSErr SpecToPath(const FSSpec& fss, std::string& path) {
  State& s = state();
  std::lock_guard g(s.lock);
  return pathOfSpec(s, &fss, path);
}

OSErr PathToSpec(std::string_view path, FSSpec* fss) {
  if (!fss) return paramErr;
  clearSpec(fss);
  std::string p = normalise(path);
  if (p.empty()) return dirNFErr;
  State& s = state();
  std::lock_guard g(s.lock);
  if (p != "/" && !folderPresent(s, tb::detail::PathParent(p))) return dirNFErr;
  if (OSErr err = specOfPath(s, p, fss)) return err;
  return exists(p) ? noErr : fnfErr;
}

OSErr GetDirID(const FSSpec& fss, SInt32* dirID) {
  if (!dirID) return paramErr;
  State& s = state();
  std::lock_guard g(s.lock);
  std::string path;
  if (OSErr err = pathOfSpec(s, &fss, path)) return err;
  if (!folderPresent(s, path)) return dirNFErr;
  *dirID = idFor(s, path);
  return noErr;
}

SInt32 DirIDForPath(std::string_view path) {
  std::string p = normalise(path);
  if (p.empty()) return 0;
  State& s = state();
  std::lock_guard g(s.lock);
  return idFor(s, p);
}

bool PathForDirID(SInt32 dirID, std::string& path) {
  State& s = state();
  std::lock_guard g(s.lock);
  auto p = pathFor(s, dirID);
  if (!p) return false;
  path = *p;
  return true;
}

void SetApplicationPath(std::string path) {
  State& s = state();
  std::lock_guard g(s.lock);
  s.appPath = std::move(path);
}

std::string ApplicationPath() {
  {
    State& s = state();
    std::lock_guard g(s.lock);
    if (!s.appPath.empty()) return s.appPath;
  }
  if (const char* env = std::getenv("TOOLBOX_APP_PATH"); env && *env) return env;
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

OSErr GetApplicationSpec(FSSpec* fss) {
  if (!fss) return paramErr;
  std::string path = ApplicationPath();
  if (path.empty()) {
    clearSpec(fss);
    return fnfErr;
  }
  return PathToSpec(path, fss);
}

OSErr OpenLocalFile(const std::string& path, int access, UniqueFd& fd) {
  fd.reset();
  if (access != O_RDONLY && access != O_WRONLY && access != O_RDWR) return paramErr;
  // Only a regular file is opened at all: opening a FIFO waits for its other
  // end, and opening some devices acts on them.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return errno == ELOOP ? OSErr(fnfErr) : errnoToOSErr(errno);
  if (!S_ISREG(st.st_mode)) return fnfErr;
  UniqueFd held(::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!held) return errno == ELOOP || errno == ENXIO || errno == EISDIR ? OSErr(fnfErr) : errnoToOSErr(errno);
  // The name may have changed hands between the look and the open.
  if (::fstat(held.get(), &st) != 0) return ioErr;
  if (!S_ISREG(st.st_mode)) return fnfErr;
  const int flags = ::fcntl(held.get(), F_GETFL);
  if (flags < 0 || ::fcntl(held.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return ioErr;
  fd = std::move(held);
  return noErr;
}

OSErr OpenLocalFileToWrite(const std::string& path, int flags, UniqueFd& fd, unsigned mode) {
  fd.reset();
  if ((flags & ~(O_CREAT | O_EXCL | O_TRUNC | O_APPEND)) != 0) return paramErr;
  if (detail::Refused(path)) return afpAccessDenied;
  // What is not a regular file is never opened at all (some devices act on
  // an open); one that takes its place after this look is caught below.
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return fnfErr;
  // O_NONBLOCK: a FIFO without a reader refuses at once (ENXIO) instead of
  // waiting for one; what is not a regular file is let go before any write.
  UniqueFd held(::open(path.c_str(), O_WRONLY | flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode & 07777));
  if (!held) {
    const int e = errno;
    if (e == ELOOP || e == ENXIO || e == EISDIR || e == ENODEV || e == EOPNOTSUPP) return fnfErr;
    if (e == ENOENT && (flags & O_CREAT)) return dirNFErr;
    return errnoToOSErr(e);
  }
  if (::fstat(held.get(), &st) != 0) return ioErr;
  if (!S_ISREG(st.st_mode)) return fnfErr;
  const int now = ::fcntl(held.get(), F_GETFL);
  if (now < 0 || ::fcntl(held.get(), F_SETFL, now & ~O_NONBLOCK) != 0) return ioErr;
  detail::NoteWritten(path);
  fd = std::move(held);
  return noErr;
}

namespace {

template <class Bytes>
OSErr readLocal(const std::string& path, std::size_t maxBytes, Bytes& out, LongerFile longer) {
  out.clear();
  UniqueFd fd;
  if (OSErr err = OpenLocalFile(path, O_RDONLY, fd)) return err;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return ioErr;
  const std::size_t size = st.st_size > 0 ? std::size_t(st.st_size) : 0;
  if (longer == LongerFile::Refused && size > maxBytes) return memFullErr;
  try {
    // The size is a hint only: the file may grow or shrink while it is read.
    out.resize(std::min(maxBytes, size));
    std::size_t got = 0;
    for (;;) {
      if (got == out.size()) {
        if (got == maxBytes) break;
        out.resize(std::min(maxBytes, std::max<std::size_t>(2 * got, 4096)));
      }
      const ssize_t n = ::read(fd.get(), out.data() + got, out.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        out.clear();
        return ioErr;
      }
      if (n == 0) break;
      got += std::size_t(n);
    }
    out.resize(got);
  } catch (const std::bad_alloc&) {
    out = Bytes();
    return memFullErr;
  }
  if (longer == LongerFile::Refused && out.size() == maxBytes) {
    char more;
    ssize_t n;
    while ((n = ::read(fd.get(), &more, 1)) < 0 && errno == EINTR) {
    }
    if (n != 0) {
      out = Bytes();
      return n > 0 ? OSErr(memFullErr) : OSErr(ioErr);
    }
  }
  return noErr;
}

}  // namespace

OSErr ReadLocalFile(const std::string& path, std::size_t maxBytes, std::vector<UInt8>& out, LongerFile longer) {
  return readLocal(path, maxBytes, out, longer);
}

OSErr ReadLocalFile(const std::string& path, std::size_t maxBytes, std::string& out, LongerFile longer) {
  return readLocal(path, maxBytes, out, longer);
}

void SetReadOnlyFolders(std::vector<std::string> folders) {
  for (std::string& f : folders) f = normalise(f);
  State& s = state();
  std::lock_guard g(s.lock);
  s.readOnly = std::move(folders);
}

std::string PreferencesFolderPath() {
  std::string config = envOr("XDG_CONFIG_HOME", "");
  if (config.empty() || config.front() != '/') config = envOr("HOME", "/") + "/.config";
  return config + "/vemo/Preferences";
}

// ---------------------------------------------------------------------------

namespace detail {

SInt16 ReserveRefNum() {
  State& s = state();
  std::lock_guard g(s.lock);
  return allocRef(s, OpenFile{});
}

void ReleaseRefNum(SInt16 refNum) {
  State& s = state();
  std::lock_guard g(s.lock);
  auto it = s.files.find(refNum);
  if (it != s.files.end() && it->second.fd < 0) s.files.erase(it);
}

OSErr ReplaceWholeFile(const std::string& path, std::span<const UInt8> bytes, const FInfo* newInfo) {
  if (Refused(path)) return afpAccessDenied;
  std::string tmp = tb::detail::PathJoin(tb::detail::PathParent(path), "." + tb::detail::PathLeaf(path) + ".XXXXXX");
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) return errno == ENOENT ? OSErr(dirNFErr) : changeErr(errno);
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  OSErr err = noErr;
  std::size_t put = 0;
  while (put < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + put, bytes.size() - put);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = errnoToOSErr(errno, dskFulErr);
      break;
    }
    put += static_cast<std::size_t>(n);
  }
  // Only the file itself hands on its mode and Finder information: what a
  // link names, or a FIFO or device at the name, is another item, and the
  // new file takes the mode every new file takes.
  struct stat st;
  if (!err && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    ::fchmod(fd, st.st_mode & 07777);
    UInt8 b[16];
    if (::getxattr(path.c_str(), kFinfoAttr, b, sizeof b) == static_cast<ssize_t>(sizeof b))
      ::fsetxattr(fd, kFinfoAttr, b, sizeof b, 0);
  } else if (!err) {
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    if (newInfo) {
      UInt8 b[16];
      packFinderInfo(*newInfo, b);
      ::fsetxattr(fd, kFinfoAttr, b, sizeof b, 0);  // ignored where attributes are not kept
    }
  }
  if (!err && ::fsync(fd) != 0) err = ioErr;
  if (::close(fd) != 0 && !err) err = ioErr;
  if (!err && ::rename(tmp.c_str(), path.c_str()) != 0) err = changeErr(errno);
  if (err)
    ::unlink(tmp.c_str());
  else
    NoteWritten(tb::detail::PathParent(path));
  return err;
}

bool Refused(const std::string& path) {
  State& s = state();
  std::lock_guard g(s.lock);
  return refusedLocked(s, path);
}

void NoteWritten(const std::string& path) {
  State& s = state();
  std::lock_guard g(s.lock);
  // A bound on the bookkeeping: past it, flushing the file system as a
  // whole through any one of them covers the rest.
  if (s.written.size() < 4096)
    s.written.insert(path);
  else
    s.writtenOverflow = true;
}

OSErr FinderInfoOfPath(const std::string& path, FInfo* info) {
  UInt8 b[16];
  ssize_t n = ::getxattr(path.c_str(), kFinfoAttr, b, sizeof b);
  if (n != static_cast<ssize_t>(sizeof b)) {
    // A link reads as what it leads to, by that item's own name.
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      if (char* real = ::realpath(path.c_str(), nullptr)) {
        std::string target = real;
        std::free(real);
        return defaultFinderInfo(target, info);
      }
    }
    return defaultFinderInfo(path, info);
  }
  info->fdType = be::get32(b);
  info->fdCreator = be::get32(b + 4);
  info->fdFlags = be::get16(b + 8);
  info->fdLocation.v = static_cast<SInt16>(be::get16(b + 10));
  info->fdLocation.h = static_cast<SInt16>(be::get16(b + 12));
  info->fdFldr = static_cast<SInt16>(be::get16(b + 14));
  return noErr;
}

OSErr EnsureParentFolder(const FSSpec& fss) {
  State& s = state();
  std::string dir;
  {
    std::lock_guard g(s.lock);
    auto p = pathFor(s, fss.parID);
    if (!p) return dirNFErr;
    dir = *p;
    if (isDir(dir)) return noErr;
    if (!s.onDemand.count(dir)) return dirNFErr;
  }
  std::error_code ec;
  fs::create_directories(dir, ec);
  return ec ? errnoToOSErr(ec.value()) : OSErr(noErr);
}

}  // namespace detail
}  // namespace tb

// Copying, deleting, replacing and swapping whole items, over descriptors
// relative to their folders so a deep tree costs no repeated path lookups.
#include "toolbox/fileservices.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "files_internal.h"
#include "toolbox/memory.h"
#include "toolbox/pump.h"
#include "toolbox/textencoding.h"

namespace {

constexpr int kMaxDepth = 200;
constexpr std::size_t kBufferSize = 1 << 20;

using Fd = tb::UniqueFd;

// ---------------------------------------------------------------------------
// Fault injection

struct Faults {
  std::mutex lock;
  bool loaded = false;
  int filesLeft = -1;  // -1: off
  int err = ENOSPC;
};

Faults& faults() {
  static Faults f;
  return f;
}

// True (with errno set) when the injected failure is due at this file.
bool injectedFailure() {
  Faults& f = faults();
  std::lock_guard g(f.lock);
  if (!f.loaded) {
    f.loaded = true;
    if (const char* env = std::getenv("TOOLBOX_FAIL_COPY_AFTER"); env && *env) {
      char* end = nullptr;
      long n = std::strtol(env, &end, 10);
      f.filesLeft = end != env && n >= 0 ? int(n) : -1;
      if (end && *end == ':') f.err = int(std::strtol(end + 1, nullptr, 10));
    }
  }
  if (f.filesLeft < 0) return false;
  if (f.filesLeft > 0) {
    --f.filesLeft;
    return false;
  }
  f.filesLeft = -1;
  errno = f.err;
  return true;
}

// ---------------------------------------------------------------------------
// Copy

// Copies the size bytes of in to out: in the kernel where it can, else
// through a large buffer (then up to the end, however long it has become).
bool copyBytes(int in, int out, off_t size) {
  off_t left = size;
  bool kernel = true;
  while (left > 0 && kernel) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t(std::min<off_t>(left, 1 << 30)), 0);
    if (n > 0) {
      left -= n;
      continue;
    }
    if (n == 0) return true;  // the file shrank meanwhile
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF)
      kernel = false;
    else
      return false;
  }
  // The copy holds the bytes the file had when it was opened.
  if (left <= 0) return true;
  std::vector<char> buf(kBufferSize);
  while (true) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t put = 0; put < n;) {
      ssize_t w = ::write(out, buf.data() + put, std::size_t(n - put));
      if (w < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      put += w;
    }
  }
}

void copyFinderInfo(int in, int out) {
  UInt8 b[16];
  ssize_t n = ::fgetxattr(in, tb::detail::kFinderInfoAttr, b, sizeof b);
  if (n > 0) ::fsetxattr(out, tb::detail::kFinderInfoAttr, b, std::size_t(n), 0);
}

// Copies the item name in folder sdir to dname in folder ddir. errno tells
// why on false.
bool copyAt(int sdir, const char* name, int ddir, const char* dname, int depth);

bool copyFile(int sdir, const char* name, int ddir, const char* dname) {
  if (injectedFailure()) return false;
  // Non-blocking so that an item that became a pipe meanwhile cannot hang us.
  Fd in(::openat(sdir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (in.get() < 0) return false;
  struct stat st;
  if (::fstat(in.get(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) return copyAt(sdir, name, ddir, dname, 0);
  // Kernel copies of a non-blocking source take a slower path.
  if (::fcntl(in.get(), F_SETFL, 0) != 0) return false;
  Fd out(::openat(ddir, dname, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (out.get() < 0) return false;
  if (!copyBytes(in.get(), out.get(), st.st_size)) return false;
  if (::fchmod(out.get(), st.st_mode & 07777) != 0) return false;
  copyFinderInfo(in.get(), out.get());
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(out.get(), times);
  return ::close(out.release()) == 0;
}

bool copyFolder(int sdir, const char* name, int ddir, const char* dname, int depth) {
  if (depth > kMaxDepth) {
    errno = ELOOP;
    return false;
  }
  Fd src(::openat(sdir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (src.get() < 0) return false;
  struct stat st;
  if (::fstat(src.get(), &st) != 0) return false;
  if (::mkdirat(ddir, dname, 0700) != 0) return false;
  Fd dst(::openat(ddir, dname, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dst.get() < 0) return false;
  {
    int listFd = ::dup(src.get());
    if (listFd < 0) return false;
    DIR* d = ::fdopendir(listFd);
    if (!d) {
      ::close(listFd);
      return false;
    }
    bool ok = true;
    errno = 0;
    while (dirent* e = ::readdir(d)) {
      if (e->d_name[0] == '.' && (e->d_name[1] == 0 || (e->d_name[1] == '.' && e->d_name[2] == 0))) continue;
      // The entry's type saves a status call for the common kinds.
      bool done = e->d_type == DT_REG   ? copyFile(src.get(), e->d_name, dst.get(), e->d_name)
                  : e->d_type == DT_DIR ? copyFolder(src.get(), e->d_name, dst.get(), e->d_name, depth + 1)
                                        : copyAt(src.get(), e->d_name, dst.get(), e->d_name, depth + 1);
      if (!done) {
        ok = false;
        break;
      }
    }
    int saved = errno;
    ::closedir(d);
    errno = saved;
    if (!ok) return false;
  }
  copyFinderInfo(src.get(), dst.get());
  if (::fchmod(dst.get(), st.st_mode & 07777) != 0) return false;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(dst.get(), times);
  return true;
}

bool copyAt(int sdir, const char* name, int ddir, const char* dname, int depth) {
  struct stat st;
  if (::fstatat(sdir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISREG(st.st_mode)) return copyFile(sdir, name, ddir, dname);
  if (S_ISDIR(st.st_mode)) return copyFolder(sdir, name, ddir, dname, depth);
  if (S_ISLNK(st.st_mode)) {
    std::vector<char> target(std::size_t(st.st_size > 0 ? st.st_size : 255) + 1);
    ssize_t n = ::readlinkat(sdir, name, target.data(), target.size());
    if (n < 0) return false;
    if (std::size_t(n) >= target.size()) {  // changed meanwhile
      errno = EIO;
      return false;
    }
    target[std::size_t(n)] = 0;
    if (::symlinkat(target.data(), ddir, dname) != 0) return false;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(ddir, dname, times, AT_SYMLINK_NOFOLLOW);
    return true;
  }
  if (S_ISFIFO(st.st_mode)) {
    if (::mkfifoat(ddir, dname, st.st_mode & 07777) != 0) return false;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(ddir, dname, times, AT_SYMLINK_NOFOLLOW);
    return true;
  }
  errno = EIO;  // devices and sockets are no part of an installed program
  return false;
}

// ---------------------------------------------------------------------------
// Delete

// Removes name in folder dir (path is its path, for the read-only test).
bool removeAt(int dir, const char* name, const std::string& path, int depth) {
  struct stat st;
  if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (tb::detail::Refused(path)) {
    errno = EACCES;
    return false;
  }
  if (!S_ISDIR(st.st_mode)) return ::unlinkat(dir, name, 0) == 0 || errno == ENOENT;
  if (depth > kMaxDepth) {
    errno = ELOOP;
    return false;
  }
  Fd sub(::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (sub.get() < 0) return false;
  std::vector<std::string> names;
  {
    int listFd = ::dup(sub.get());
    if (listFd < 0) return false;
    DIR* d = ::fdopendir(listFd);
    if (!d) {
      ::close(listFd);
      return false;
    }
    while (dirent* e = ::readdir(d)) {
      std::string_view n(e->d_name);
      if (n != "." && n != "..") names.emplace_back(n);
    }
    ::closedir(d);
  }
  for (const std::string& n : names)
    if (!removeAt(sub.get(), n.c_str(), tb::detail::PathJoin(path, n), depth + 1)) return false;
  return ::unlinkat(dir, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}

bool removeTree(const std::string& path) {
  Fd parent(::open(tb::detail::PathParent(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (parent.get() < 0) return false;
  return removeAt(parent.get(), tb::detail::PathLeaf(path).c_str(), path, 0);
}

// ---------------------------------------------------------------------------

// Source and target folder of a copy, checked.
struct CopyPlan {
  std::string source;
  std::string folder;
  std::string name;
};

OSErr planCopy(const FSSpec* source, const FSSpec* destFolder, ConstStr255Param newName, CopyPlan& plan) {
  if (!source || !destFolder) return paramErr;
  if (OSErr err = tb::SpecToPath(*source, plan.source)) return err;
  if (OSErr err = tb::SpecToPath(*destFolder, plan.folder)) return err;
  struct stat st;
  if (::lstat(plan.source.c_str(), &st) != 0) return errno == ENOTDIR ? OSErr(dirNFErr) : OSErr(fnfErr);
  if (::stat(plan.folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return dirNFErr;
  std::string_view given = pstr::view(newName);
  if (!given.empty()) {
    if (given.size() > 63 || given.find(':') != std::string_view::npos) return bdNamErr;
    plan.name.assign(given);
    for (char& c : plan.name) {
      if (c == '\0') return bdNamErr;
      if (c == '/') c = ':';
    }
    if (plan.name == "." || plan.name == "..") return bdNamErr;
  } else {
    plan.name = tb::detail::PathLeaf(plan.source);
  }
  if (plan.source == "/") return paramErr;
  // A folder copied into itself would never end.
  const std::string target = tb::detail::PathJoin(plan.folder, plan.name);
  if (target == plan.source || target.compare(0, plan.source.size() + 1, plan.source + "/") == 0) return paramErr;
  return noErr;
}

// Copies plan.source to folder/leaf; no partial copy stays on failure.
OSErr copyTo(const CopyPlan& plan, const std::string& leaf) {
  const std::string target = tb::detail::PathJoin(plan.folder, leaf);
  if (tb::detail::Refused(target)) return afpAccessDenied;
  Fd src(::open(tb::detail::PathParent(plan.source).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  Fd dst(::open(plan.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (src.get() < 0) return fnfErr;
  if (dst.get() < 0) return dirNFErr;
  if (copyAt(src.get(), tb::detail::PathLeaf(plan.source).c_str(), dst.get(), leaf.c_str(), 0)) {
    tb::detail::NoteWritten(plan.folder);
    return noErr;
  }
  const int err = errno;
  if (err != EEXIST) {
    const int keep = errno;
    removeTree(target);
    errno = keep;
  }
  return tb::FileServicesError(err);
}

std::string hiddenName(const std::string& name, const char* what) {
  static std::atomic<unsigned> counter{0};
  char tag[48];
  std::snprintf(tag, sizeof tag, ".%s-%d-%u", what, int(::getpid()), counter++);
  // Kept within the file system's name limit whatever the name's length.
  return "." + std::string(tb::CharPrefix(name, 200)) + tag;
}

// Swaps two paths in one step where the file system can.
int exchangeItems(const std::string& a, const std::string& b) {
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  // No exchange here: three renames through a free name beside a.
  const std::string spare =
      tb::detail::PathJoin(tb::detail::PathParent(a), hiddenName(tb::detail::PathLeaf(a), "swap"));
  if (::rename(a.c_str(), spare.c_str()) != 0) return errno;
  if (::rename(b.c_str(), a.c_str()) != 0) {
    int e = errno;
    ::rename(spare.c_str(), a.c_str());
    return e;
  }
  if (::rename(spare.c_str(), b.c_str()) != 0) {
    int e = errno;
    ::rename(a.c_str(), b.c_str());
    ::rename(spare.c_str(), a.c_str());
    return e;
  }
  return 0;
}

}  // namespace

OSErr FSpCopyObject(const FSSpec* source, const FSSpec* destFolder, ConstStr255Param newName,
                    FSSpec* newObject) {
  CopyPlan plan;
  if (OSErr err = planCopy(source, destFolder, newName, plan)) return err;
  const std::string target = tb::detail::PathJoin(plan.folder, plan.name);
  struct stat st;
  if (::lstat(target.c_str(), &st) == 0) return dupFNErr;
  if (OSErr err = copyTo(plan, plan.name)) return err;
  if (newObject) return tb::PathToSpec(target, newObject);
  return noErr;
}

OSErr FSpDeleteObject(const FSSpec* target) {
  if (!target) return paramErr;
  std::string path;
  if (OSErr err = tb::SpecToPath(*target, path)) return err;
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOTDIR ? OSErr(dirNFErr) : OSErr(fnfErr);
  if (!S_ISDIR(st.st_mode)) return FSpDelete(target);
  if (path == "/") return fBsyErr;
  if (!removeTree(path)) return tb::FileServicesError(errno);
  tb::detail::NoteWritten(tb::detail::PathParent(path));
  return noErr;
}

OSErr FSpReplaceObject(const FSSpec* source, const FSSpec* destFolder, FSSpec* newObject) {
  CopyPlan plan;
  if (OSErr err = planCopy(source, destFolder, nullptr, plan)) return err;
  const std::string target = tb::detail::PathJoin(plan.folder, plan.name);
  struct stat st;
  if (::lstat(target.c_str(), &st) != 0) return FSpCopyObject(source, destFolder, nullptr, newObject);
  if (tb::detail::Refused(target)) return afpAccessDenied;
  const std::string temp = hiddenName(plan.name, "new");
  if (OSErr err = copyTo(plan, temp)) return err;
  const std::string tempPath = tb::detail::PathJoin(plan.folder, temp);
  // The new copy reaches the disk before it takes the name.
  {
    Fd dir(::open(plan.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::syncfs(dir.get());
  }
  if (int e = exchangeItems(tempPath, target)) {
    removeTree(tempPath);
    return tb::FileServicesError(e);
  }
  // The temporary name now holds the old item; a failure to remove it leaves
  // a hidden leftover but the replacement stands.
  removeTree(tempPath);
  tb::detail::NoteWritten(plan.folder);
  if (newObject) return tb::PathToSpec(target, newObject);
  return noErr;
}

OSErr FSpExchangeFiles(const FSSpec* source, const FSSpec* dest) {
  if (!source || !dest) return paramErr;
  std::string a, b;
  if (OSErr err = tb::SpecToPath(*source, a)) return err;
  if (OSErr err = tb::SpecToPath(*dest, b)) return err;
  struct stat sa, sb;
  if (::lstat(a.c_str(), &sa) != 0 || ::lstat(b.c_str(), &sb) != 0) return fnfErr;
  if (sa.st_dev != sb.st_dev) return diffVolErr;
  if (a == b) return noErr;
  if (tb::detail::Refused(a) || tb::detail::Refused(b)) return afpAccessDenied;
  if (int e = exchangeItems(a, b)) return e == EXDEV ? OSErr(diffVolErr) : tb::FileServicesError(e);
  tb::detail::NoteWritten(tb::detail::PathParent(a));
  tb::detail::NoteWritten(tb::detail::PathParent(b));
  return noErr;
}

OSErr FSpGetFullPath(const FSSpec* spec, short* fullPathLength, Handle* fullPath) {
  if (!spec || !fullPathLength || !fullPath) return paramErr;
  *fullPathLength = 0;
  *fullPath = nullptr;
  std::string text;
  OSErr err = tb::FullPath(*spec, text);
  if (err && err != fnfErr) return err;
  if (text.size() > 32767) return paramErr;
  Handle h = NewHandle(Size(text.size()));
  if (!h) return memFullErr;
  std::memcpy(*h, text.data(), text.size());
  *fullPath = h;
  *fullPathLength = short(text.size());
  return err;
}

namespace tb {

OSErr FullPath(const FSSpec& spec, std::string& out) {
  std::string path;
  if (OSErr err = SpecToPath(spec, path)) return err;
  out = "Linux:";
  if (path != "/") {
    std::size_t i = 1;
    while (i <= path.size()) {
      std::size_t j = path.find('/', i);
      if (j == std::string::npos) j = path.size();
      std::string part = path.substr(i, j - i);
      for (char& c : part)
        if (c == ':') c = '/';
      out += part;
      if (j < path.size()) out += ':';
      i = j + 1;
    }
  }
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return fnfErr;
  if (S_ISDIR(st.st_mode) && out.back() != ':') out += ':';
  return noErr;
}

OSErr WriteFileAtomically(const FSSpec& spec, std::span<const UInt8> bytes, OSType creator, OSType fileType) {
  std::string path;
  if (OSErr err = SpecToPath(spec, path)) return err;
  if (spec.name[0] == 0) return bdNamErr;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return dupFNErr;
  if (OSErr err = detail::EnsureParentFolder(spec)) return err;
  FInfo info{};
  info.fdType = fileType;
  info.fdCreator = creator;
  return detail::ReplaceWholeFile(path, bytes, &info);
}

OSErr FileServicesError(int err) {
  switch (err) {
    case 0: return noErr;
    case EEXIST:
    case ENOTEMPTY: return dupFNErr;
    case ENOENT: return fnfErr;
    case ENOTDIR: return dirNFErr;
    case EACCES:
    case EPERM:
    case EROFS: return afpAccessDenied;
    case ENOSPC:
    case EDQUOT: return dskFulErr;
    default: return ioErr;
  }
}

void FailCopyAfter(int files, int err) {
  Faults& f = faults();
  std::lock_guard g(f.lock);
  f.loaded = true;
  f.filesLeft = files < 0 ? -1 : files;
  f.err = err;
}

}  // namespace tb

// Process Manager: serial numbers, process information, launching programs
// with their first event, and finding running programs by their sockets.
#include "toolbox/processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "ae_internal.h"
#include "toolbox/bundle.h"
#include "toolbox/files.h"
#include "toolbox/pump.h"
#include "toolbox/textencoding.h"

extern char** environ;

using namespace aeimpl;

namespace {

constexpr std::size_t kMaxLaunchEventBytes = 60 * 1024;

// A child's end, watched: the process descriptor becomes readable when it
// ends.
struct ExitWatch {
  tb::UniqueFd fd;
  tb::WatchGuard watch;
};

struct State {
  OSType creator = 0;
  bool creatorSet = false;
  bool front = true;
  std::set<pid_t> children;
  std::map<pid_t, ExitWatch> watching;
  // The statuses of children reaped as they ended, for WaitForProcessExit
  // (the oldest go past a few dozen).
  std::map<pid_t, int> ended;
};

State& st() {
  static State s;
  return s;
}

bool isDir(const std::string& p) {
  struct stat sb;
  return stat(p.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode);
}
bool isExecutableFile(const std::string& p) {
  struct stat sb;
  return stat(p.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) && access(p.c_str(), X_OK) == 0;
}
std::string baseName(const std::string& p) {
  std::string s = p;
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  auto slash = s.rfind('/');
  return slash == std::string::npos ? s : s.substr(slash + 1);
}

// Takes a child that ended out of the process table; false while it runs.
bool reap(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) != pid) return false;
  State& s = st();
  s.children.erase(pid);
  s.watching.erase(pid);
  if (s.ended.size() >= 64) s.ended.erase(s.ended.begin());
  s.ended[pid] = status;
  return true;
}

// A child is reaped as soon as it ends, from the pump: a program that
// started another must not leave it a zombie until its next launch or its
// own end. Where the system has no process descriptors, the next launch or
// lookup reaps it.
void watchChild(pid_t pid) {
  State& s = st();
  s.children.insert(pid);
  const int fd = int(syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0) return;
  ExitWatch& w = s.watching[pid];
  w.fd.reset(fd);
  w.watch = tb::WatchGuard(fd, tb::kReadable, [pid](int, short) { reap(pid); });
}

void reapChildren() {
  const std::set<pid_t> all = st().children;
  for (pid_t pid : all) reap(pid);
}

bool probeSocket(const std::string& path, bool* refused) {
  *refused = false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  tb::UniqueFd fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd) return false;
  bool ok = connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  if (!ok) *refused = errno == ECONNREFUSED;
  return ok;
}

bool unescapeCreator(const std::string& s, OSType& out) {
  std::string raw;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%') {
      if (i + 2 >= s.size()) return false;
      auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
      };
      int hi = hex(s[i + 1]), lo = hex(s[i + 2]);
      if (hi < 0 || lo < 0) return false;
      raw += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      raw += s[i];
    }
  }
  if (raw.size() != 4) return false;
  out = be::get32(raw.data());
  return true;
}

std::string hexEncode(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

bool hexDecode(std::string_view hex, std::string& out) {
  if (hex.size() % 2) return false;
  out.clear();
  out.reserve(hex.size() / 2);
  auto val = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int hi = val(hex[i]), lo = val(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

// The bytes of launch parameters handed to LaunchApplication: our 'appa'
// layout, header first.
OSErr launchEventFromParameters(AppParametersPtr params, std::string* flat) {
  const auto* p = reinterpret_cast<const UInt8*>(params);
  if (be::get32(p) != 'VAEP') return paramErr;
  UInt32 len = be::get32(p + 4);
  if (len > kAEMaxEventBytes) return paramErr;
  std::string_view data(reinterpret_cast<const char*>(p + 8), len);
  Event ev;
  if (!ParseEvent(data, ev)) return paramErr;
  flat->assign(data);
  return noErr;
}

ProcessSerialNumber psnOf(pid_t pid) {
  return ProcessSerialNumber{ProcessGeneration(static_cast<int>(pid)), static_cast<UInt32>(pid)};
}

bool isCurrent(const ProcessSerialNumber& p) { return p.highLongOfPSN == 0 && p.lowLongOfPSN == kCurrentProcess; }

ProcessSerialNumber resolve(const ProcessSerialNumber& p) { return isCurrent(p) ? CurrentPSN() : p; }

// The program name shown for a process: its bundle's name without ".app",
// else its file's name.
std::string programName(const std::string& exe) {
  std::string bundle = tb::BundleOfProgram(exe);
  std::string name = baseName(bundle.empty() ? exe : bundle);
  if (!bundle.empty() && name.size() > 4) name.resize(name.size() - 4);
  return name;
}

}  // namespace

namespace aeimpl {

UInt32 ProcessGeneration(int pid) {
  if (pid <= 0) return 0;
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!f || !std::getline(f, line)) return 0;
  // The command name may hold spaces and parentheses: fields count from the
  // last ')'. The start time is field 22, the 20th after it.
  auto close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(line.substr(close + 1));
  std::string field;
  for (int i = 0; i < 20 && (rest >> field); ++i) {
  }
  if (!rest) return 0;
  unsigned long long start = std::strtoull(field.c_str(), nullptr, 10);
  auto gen = static_cast<UInt32>(start + 1);
  return gen ? gen : 1;
}

// The process's own number, asked for on every pass of a loop: worked out
// once, and again in a child after a fork (which has a pid of its own).
namespace {
bool gOwnPsnStale = true;
}  // namespace

ProcessSerialNumber CurrentPSN() {
  static ProcessSerialNumber cached{};
  static const int registered = pthread_atfork(nullptr, nullptr, [] { gOwnPsnStale = true; });
  (void)registered;
  if (gOwnPsnStale) {
    cached = psnOf(getpid());
    gOwnPsnStale = false;
  }
  return cached;
}

bool ProcessAlive(const ProcessSerialNumber& psn) {
  if (psn.highLongOfPSN == 0 || psn.lowLongOfPSN == 0 || psn.lowLongOfPSN > 0x7FFFFFFF) return false;
  return ProcessGeneration(static_cast<int>(psn.lowLongOfPSN)) == psn.highLongOfPSN;
}

std::string SocketDir(bool create) {
  std::string dir;
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  // 108 bytes of socket path: leave room for "/<creator>.<pid>".
  constexpr std::size_t kRoomForName = 1 + 12 + 1 + 10;
  if (xdg && xdg[0] == '/' && std::strlen(xdg) + 5 + kRoomForName < sizeof(sockaddr_un{}.sun_path))
    dir = std::string(xdg) + "/vemo";
  else
    dir = "/tmp/vemo-" + std::to_string(getuid());
  if (!create) return dir;

  if (xdg && dir.rfind(xdg, 0) == 0) mkdir(xdg, 0700);
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return "";
  // Only a private folder of ours will do: another user must not be able to
  // plant or read sockets there.
  struct stat sb;
  if (lstat(dir.c_str(), &sb) != 0 || !S_ISDIR(sb.st_mode) || sb.st_uid != getuid()) return "";
  if ((sb.st_mode & 077) != 0 && chmod(dir.c_str(), 0700) != 0) return "";
  return dir;
}

std::string SocketName(OSType creator, int pid) {
  std::string name;
  for (int shift = 24; shift >= 0; shift -= 8) {
    auto c = static_cast<unsigned char>(creator >> shift);
    if (std::isalnum(c) || c == '_' || c == '-') {
      name += static_cast<char>(c);
    } else {
      static const char hex[] = "0123456789ABCDEF";
      name += '%';
      name += hex[c >> 4];
      name += hex[c & 15];
    }
  }
  return name + "." + std::to_string(pid);
}

std::vector<Listener> FindListeners(OSType creator, int pid) {
  reapChildren();
  std::vector<Listener> found;
  std::string dir = SocketDir(false);
  DIR* d = opendir(dir.c_str());
  if (!d) return found;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 >= name.size()) continue;
    std::string digits = name.substr(dot + 1);
    if (digits.size() > 10 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) continue;
    long long p = std::strtoll(digits.c_str(), nullptr, 10);
    if (p <= 0 || p > 0x7FFFFFFF) continue;
    OSType c;
    if (!unescapeCreator(name.substr(0, dot), c)) continue;
    if ((creator && c != creator) || (pid && p != pid)) continue;
    std::string path = dir + "/" + name;
    bool refused;
    if (!probeSocket(path, &refused)) {
      // Nobody listens there any more: the program ended without removing
      // its socket.
      if (refused) unlink(path.c_str());
      continue;
    }
    found.push_back(Listener{c, static_cast<int>(p), path});
  }
  closedir(d);
  std::sort(found.begin(), found.end(), [](const Listener& a, const Listener& b) { return a.pid < b.pid; });
  return found;
}

void TrackChild(int pid) { watchChild(static_cast<pid_t>(pid)); }

bool TakeLaunchEvent(std::string* flat) {
  const char* hex = std::getenv(kLaunchEventEnv);
  if (!hex) return false;
  std::string value = hex;
  unsetenv(kLaunchEventEnv);  // not for the programs this one starts
  if (value.size() > 2 * kAEMaxEventBytes) return false;
  return hexDecode(value, *flat);
}

}  // namespace aeimpl

OSErr GetCurrentProcess(ProcessSerialNumber* psn) {
  if (!psn) return paramErr;
  *psn = CurrentPSN();
  return noErr;
}

OSErr GetFrontProcess(ProcessSerialNumber* psn) {
  if (!psn) return paramErr;
  if (st().front) {
    *psn = CurrentPSN();
  } else {
    *psn = ProcessSerialNumber{0, kNoProcess};
  }
  return noErr;
}

OSErr SetFrontProcess(const ProcessSerialNumber* psn) {
  if (!psn) return paramErr;
  ProcessSerialNumber p = resolve(*psn);
  ProcessSerialNumber self = CurrentPSN();
  if (p.highLongOfPSN == self.highLongOfPSN && p.lowLongOfPSN == self.lowLongOfPSN) {
    st().front = true;
    return noErr;
  }
  return ProcessAlive(p) ? noErr : procNotFound;
}

OSErr SameProcess(const ProcessSerialNumber* psn1, const ProcessSerialNumber* psn2, Boolean* result) {
  if (!psn1 || !psn2 || !result) return paramErr;
  ProcessSerialNumber a = resolve(*psn1), b = resolve(*psn2);
  *result = a.highLongOfPSN == b.highLongOfPSN && a.lowLongOfPSN == b.lowLongOfPSN;
  return noErr;
}

OSErr GetProcessInformation(const ProcessSerialNumber* psn, ProcessInfoRec* info) {
  if (!psn || !info) return paramErr;
  ProcessSerialNumber p = resolve(*psn);
  ProcessSerialNumber self = CurrentPSN();
  bool current = p.highLongOfPSN == self.highLongOfPSN && p.lowLongOfPSN == self.lowLongOfPSN;
  std::string exe;
  OSType signature = 0;
  if (current) {
    exe = tb::ApplicationPath();
    signature = tb::CurrentCreator();
  } else {
    if (!ProcessAlive(p)) return procNotFound;
    std::vector<Listener> found = FindListeners(0, static_cast<int>(p.lowLongOfPSN));
    if (found.empty()) return procNotFound;
    signature = found.front().creator;
    char buf[4096];
    std::string link = "/proc/" + std::to_string(p.lowLongOfPSN) + "/exe";
    ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n > 0) exe.assign(buf, static_cast<std::size_t>(n));
  }
  info->processNumber = p;
  info->processType = 'APPL';
  info->processSignature = signature;
  info->processMode = 0;
  info->processLocation = nullptr;
  info->processSize = 0;
  info->processFreeMem = 0;
  info->processLauncher = ProcessSerialNumber{0, kNoProcess};
  info->processLaunchDate = 0;
  info->processActiveTime = 0;
  if (info->processName) {
    std::string name = std::string(tb::CharPrefix(programName(exe), 31));
    pstr::set(info->processName, 32, name);
  }
  if (info->processAppSpec) {
    if (exe.empty()) return fnfErr;
    OSErr err = tb::PathToSpec(exe, info->processAppSpec);
    if (err) return err;
  }
  return noErr;
}

OSErr LaunchApplication(LaunchPBPtr launchParams) {
  if (!launchParams || launchParams->launchBlockID != extendedBlock || !launchParams->launchAppSpec)
    return paramErr;
  std::string path;
  OSErr err = tb::SpecToPath(*launchParams->launchAppSpec, path);
  if (err) return err;
  err = tb::LaunchApplicationPath(path, launchParams->launchAppParameters, &launchParams->launchProcessSN);
  if (err) return err;
  // Memory sizes mean nothing here; callers only need them non-zero.
  launchParams->launchPreferredSize = 0x01000000;
  launchParams->launchMinimumSize = 0x00400000;
  launchParams->launchAvailableSize = 0x01000000;
  return noErr;
}

void ExitToShell() { std::exit(0); }

OSType tb::CurrentCreator() {
  State& s = st();
  if (s.creatorSet) return s.creator;
  std::string bundle = tb::MainBundlePath();
  return bundle.empty() ? 0 : tb::CreatorOfProgram(bundle);
}

void tb::SetCurrentCreator(OSType creator) {
  st().creator = creator;
  st().creatorSet = true;
}

OSType tb::CreatorOfProgram(const std::string& path) {
  std::string bundle = tb::BundleOfProgram(path);
  if (bundle.empty()) return 0;
  std::vector<UInt8> info;
  if (tb::ReadLocalFile(bundle + "/Contents/PkgInfo", 8, info, tb::LongerFile::Cut) != noErr || info.size() < 8)
    return 0;
  return be::get32(info.data() + 4);
}

std::string tb::ExecutableOfProgram(const std::string& path) {
  if (!isDir(path)) return isExecutableFile(path) ? path : std::string();
  std::string macos = path + "/Contents/MacOS";
  std::string name = baseName(path);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".app") == 0) {
    std::string exe = macos + "/" + name.substr(0, name.size() - 4);
    if (isExecutableFile(exe)) return exe;
  }
  // Otherwise the first executable in Contents/MacOS, by name.
  std::vector<std::string> names;
  if (DIR* d = opendir(macos.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.' && isExecutableFile(macos + "/" + e->d_name)) names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names.empty() ? std::string() : macos + "/" + names.front();
}

void tb::SetCurrentProcessFront(bool front) { st().front = front; }

OSErr tb::LaunchApplicationPath(const std::string& path, AppParametersPtr params, ProcessSerialNumber* outPSN) {
  struct stat sb;
  if (path.empty() || stat(path.c_str(), &sb) != 0) return fnfErr;
  std::string exe = ExecutableOfProgram(path);
  if (exe.empty()) return isDir(path) ? fnfErr : permErr;

  std::string flat;
  if (params) {
    OSErr err = launchEventFromParameters(params, &flat);
    if (err) return err;
    // The event travels hex-encoded in one environment string, which the
    // kernel limits to 128 KiB.
    if (flat.size() > kMaxLaunchEventBytes) return paramErr;
  }

  // A program runs once: an already running copy gets the event instead.
  OSType creator = CreatorOfProgram(path);
  if (creator) {
    std::vector<Listener> running = FindListeners(creator, 0);
    if (!running.empty()) {
      if (!flat.empty()) {
        OSErr err = DeliverToSocket(running.front().path, flat, false, kAEDefaultTimeout);
        if (err) return err;
      }
      if (outPSN) *outPSN = psnOf(running.front().pid);
      return noErr;
    }
  }

  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    std::string_view v(*e);
    if (v.rfind(std::string(kLaunchEventEnv) + "=", 0) == 0 || v.rfind(std::string(kAppFileEnv) + "=", 0) == 0)
      continue;
    env.emplace_back(v);
  }
  env.push_back(std::string(kAppFileEnv) + "=" + exe);
  if (!flat.empty()) env.push_back(std::string(kLaunchEventEnv) + "=" + hexEncode(flat));
  std::vector<char*> envp;
  for (std::string& s : env) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string arg0 = exe;
  char* argv[] = {arg0.data(), nullptr};

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The new program is on its own: a signal aimed at the launcher's terminal
  // session must not end it, and it starts with no signals blocked.
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  short flags = POSIX_SPAWN_SETSIGMASK;
#ifdef POSIX_SPAWN_SETSID
  flags |= POSIX_SPAWN_SETSID;
#else
  flags |= POSIX_SPAWN_SETPGROUP;
  posix_spawnattr_setpgroup(&attr, 0);
#endif
  posix_spawnattr_setflags(&attr, flags);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, exe.c_str(), nullptr, &attr, argv, envp.data());
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return rc == ENOENT ? fnfErr : (rc == EACCES || rc == ENOEXEC) ? permErr : ioErr;
  watchChild(pid);
  ProcessSerialNumber psn = psnOf(pid);
  if (outPSN) *outPSN = psn;
  RecordLaunch(path, psn);
  return noErr;
}

bool tb::WaitForProcessExit(const ProcessSerialNumber& psn, int timeoutMs, int* status) {
  auto pid = static_cast<pid_t>(psn.lowLongOfPSN);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    // Reaped here or by the pump as it ended.
    if (!st().children.count(pid) || reap(pid)) {
      auto it = st().ended.find(pid);
      if (it == st().ended.end()) return false;
      if (status) *status = it->second;
      st().ended.erase(it);
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

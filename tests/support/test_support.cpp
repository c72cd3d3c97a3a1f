// Helpers shared by the test binaries.
#include "test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <span>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "toolbox/files.h"
#include "toolbox/pump.h"

namespace testsupport {

std::string Hex(const std::vector<UInt8>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (UInt8 c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

const unsigned char* P(std::string_view text) {
  static std::deque<std::string> keep;  // a deque: earlier strings never move
  text = text.substr(0, 255);
  keep.push_back(std::string(1, char(text.size())) + std::string(text));
  return reinterpret_cast<const unsigned char*>(keep.back().data());
}

bool PumpUntil(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    tb::Pump(10);
  }
  return true;
}

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vemo-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    had_old_ = true;
    old_ = old;
  }
  if (value) setenv(name, value, 1);
  else unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (had_old_) setenv(name_.c_str(), old_.c_str(), 1);
  else unsetenv(name_.c_str());
}

void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

const char* HostileName(Hostile kind) {
  switch (kind) {
    case Hostile::Directory: return "a folder";
    case Hostile::Fifo: return "a FIFO";
    case Hostile::LinkToZero: return "a link to /dev/zero";
    case Hostile::DanglingLink: return "a dangling link";
    case Hostile::Empty: return "empty";
    case Hostile::Oversize: return "a gigabyte long";
  }
  return "?";
}

void MakeHostile(const std::filesystem::path& p, Hostile kind, const std::string& good) {
  namespace fs = std::filesystem;
  fs::create_directories(p.parent_path());
  fs::remove_all(p);
  switch (kind) {
    case Hostile::Directory: fs::create_directory(p); break;
    case Hostile::Fifo: ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0) << p; break;
    case Hostile::LinkToZero: fs::create_symlink("/dev/zero", p); break;
    case Hostile::DanglingLink: fs::create_symlink(p.string() + ".nowhere", p); break;
    case Hostile::Empty: WriteFile(p, ""); break;
    case Hostile::Oversize:
      WriteFile(p, good);
      ASSERT_EQ(::truncate(p.c_str(), off_t(1) << 30), 0) << p;
      break;
  }
}

std::string ReadFile(const std::filesystem::path& p) {
  // In large reads: a character at a time, a program's bundle took the
  // sanitized build tens of seconds.
  std::ifstream in(p, std::ios::binary);
  std::string out;
  char buf[1 << 16];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) out.append(buf, std::size_t(in.gcount()));
  return out;
}

std::optional<tb::Image> ReadPNG(const std::filesystem::path& p) {
  const std::string png = ReadFile(p);
  return tb::DecodePNG(std::span<const UInt8>(reinterpret_cast<const UInt8*>(png.data()), png.size()));
}

std::array<int, 3> RgbAt(const tb::Image& image, int x, int y) {
  UInt8 r, g, b;
  tb::UnpackPixel(image.pixels[std::size_t(y) * std::size_t(image.width) + std::size_t(x)], r, g, b);
  return {r, g, b};
}

std::vector<std::string> ReadLines(const std::filesystem::path& p) {
  std::vector<std::string> out;
  std::istringstream in(ReadFile(p));
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

std::vector<std::string> WaitForLines(const std::filesystem::path& p, std::size_t n) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::vector<std::string> got = ReadLines(p);
  while (got.size() < n && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    got = ReadLines(p);
  }
  return got;
}

std::string AwaitFile(const std::filesystem::path& p) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!std::filesystem::exists(p) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return ReadFile(p);
}

FSSpec FileSpecOf(const std::filesystem::path& p) {
  FSSpec fss{};
  OSErr err = tb::PathToSpec(p.string(), &fss);
  EXPECT_TRUE(err == noErr || err == fnfErr) << p << ": " << err;
  return fss;
}

bool DarkInkIn(CGrafPtr port, const Rect& r, UInt8 below) {
  for (int v = r.top; v < r.bottom; ++v)
    for (int h = r.left; h < r.right; ++h) {
      UInt8 red, green, blue;
      tb::UnpackPixel(tb::PortPixel(port, h, v), red, green, blue);
      if (red < below && green < below && blue < below) return true;
    }
  return false;
}

tb::ResourceEntry Resource(ResType type, SInt16 id, std::vector<UInt8> data, const char* name, UInt8 attrs) {
  tb::ResourceEntry e;
  e.type = type;
  e.id = id;
  e.data = std::move(data);
  e.hasName = name != nullptr;
  if (name) e.name = name;
  e.attrs = attrs;
  return e;
}

tb::ResourceEntry Resource(ResType type, SInt16 id, std::string_view data, const char* name, UInt8 attrs) {
  return Resource(type, id, std::vector<UInt8>(data.begin(), data.end()), name, attrs);
}

void WriteResourceFile(const std::filesystem::path& p, const std::vector<tb::ResourceEntry>& entries) {
  std::vector<UInt8> image;
  EXPECT_EQ(tb::BuildResourceFile(entries, image), noErr) << p;
  WriteFile(p, std::string(image.begin(), image.end()));
}

SInt16 OpenResourcesAsApplication(const std::filesystem::path& p, const std::vector<tb::ResourceEntry>& entries) {
  WriteResourceFile(p, entries);
  return tb::OpenApplicationResources(p.string());
}

namespace {
// errFd: the program's standard error, when not -1.
int spawnProgram(const std::vector<std::string>& args, const std::string& stdoutPath, const std::filesystem::path& cwd,
                 int errFd) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!stdoutPath.empty())
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (errFd >= 0) posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  const int r = argv[0] ? posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) : -1;
  posix_spawn_file_actions_destroy(&actions);
  return r == 0 ? int(pid) : -1;
}
}  // namespace

int SpawnProgram(const std::vector<std::string>& args, const std::string& stdoutPath,
                 const std::filesystem::path& cwd) {
  return spawnProgram(args, stdoutPath, cwd, -1);
}

int StartXvfb(const std::string& screen, std::string* display) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const int pid = SpawnProgram(
      {"/usr/bin/env", "Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp"});
  close(fds[1]);
  char num[32] = {};
  const ssize_t n = pid > 0 ? read(fds[0], num, sizeof num - 1) : -1;
  close(fds[0]);
  if (n <= 0) {
    if (pid > 0) {
      kill(pid, SIGKILL);
      WaitExit(pid);
    }
    return -1;
  }
  *display = ":" + std::string(num, std::strcspn(num, "\n"));
  return pid;
}

int WaitExit(int pid) {
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int RunProgramErrTo(const std::vector<std::string>& args, const std::filesystem::path& errPath) {
  const int fd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  const int pid = spawnProgram(args, "", {}, fd);
  close(fd);
  return WaitExit(pid);
}

namespace {
// User plus system clock ticks of a process, from /proc (fields 14 and 15,
// counted after the command name, which may hold blanks).
long cpuTicks(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return -1;
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(line.substr(close + 2));
  std::string skip;
  for (int i = 3; i < 14; ++i) fields >> skip;
  long user = -1, system = -1;
  fields >> user >> system;
  return fields ? user + system : -1;
}
}  // namespace

double CpuSecondsOver(int pid, double seconds) {
  const long before = cpuTicks(pid);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const long after = cpuTicks(pid);
  if (before < 0 || after < 0) return -1;
  return double(after - before) / double(sysconf(_SC_CLK_TCK));
}

int RunProgram(const std::vector<std::string>& args, std::string* errOut, const std::filesystem::path& cwd,
               const std::function<void(const std::string&)>& onOutput) {
  if (!errOut) return WaitExit(spawnProgram(args, "", cwd, -1));
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  const int pid = spawnProgram(args, "", cwd, fds[1]);
  close(fds[1]);
  char buf[512];
  ssize_t n;
  while (pid > 0 && (n = read(fds[0], buf, sizeof buf)) > 0) {
    errOut->append(buf, std::size_t(n));
    if (onOutput) onOutput(*errOut);
  }
  close(fds[0]);
  return WaitExit(pid);
}

}  // namespace testsupport

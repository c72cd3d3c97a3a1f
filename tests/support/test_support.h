// Small helpers shared by the test binaries.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolbox/pictures.h"
#include "toolbox/quickdraw.h"
#include "toolbox/resources.h"
#include "toolbox/types.h"

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& leaf) const { return path_ / leaf; }

 private:
  std::filesystem::path path_;
};

// Sets (or, with nullptr, unsets) an environment variable for the lifetime
// of the object and restores the previous value afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_old_ = false;
};

// Writes bytes to a file, creating its folders.
void WriteFile(const std::filesystem::path& p, const std::string& bytes);
// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& p);
// The image of a PNG file (a shot a program or the test wrote); none when
// the file is missing or damaged.
std::optional<tb::Image> ReadPNG(const std::filesystem::path& p);
// The red, green and blue of the image's pixel at (x, y).
std::array<int, 3> RgbAt(const tb::Image& image, int x, int y);

// The lines of a text file (empty when it cannot be read).
std::vector<std::string> ReadLines(const std::filesystem::path& p);
// Waits until a file another process writes has at least n lines, or 20
// real seconds have gone by; the lines it has then.
std::vector<std::string> WaitForLines(const std::filesystem::path& p, std::size_t n);
// Waits until a file another process writes (whole, by a rename) exists, or
// 20 real seconds have gone by; its bytes then (empty when it never came).
std::string AwaitFile(const std::filesystem::path& p);

// What may stand at a file's name instead of the file a program reads.
enum class Hostile { Directory, Fifo, LinkToZero, DanglingLink, Empty, Oversize };
inline constexpr Hostile kHostileKinds[] = {Hostile::Directory,    Hostile::Fifo,  Hostile::LinkToZero,
                                            Hostile::DanglingLink, Hostile::Empty, Hostile::Oversize};
const char* HostileName(Hostile kind);
// Puts the kind at p in place of what stood there (the folder is made);
// Oversize is the good content followed by a hole (no disk is used) that
// makes the file a gigabyte long.
void MakeHostile(const std::filesystem::path& p, Hostile kind, const std::string& good = {});

// The file spec of a path whose folder exists (the item itself need not);
// a failure of the test otherwise.
FSSpec FileSpecOf(const std::filesystem::path& p);

// A Pascal string made from text, for the calls that take one.
struct PStr {
  Str255 s;
  explicit PStr(std::string_view text) { pstr::set(s, sizeof s, text); }
  operator const unsigned char*() const { return s; }
  operator unsigned char*() { return s; }
};

// The bytes as lower-case hex digits, two a byte ("0a1b").
std::string Hex(const std::vector<UInt8>& bytes);

// A Pascal string of text (at most 255 bytes) that stays valid until the
// test program ends, for records that keep the pointer.
const unsigned char* P(std::string_view text);

// Runs the pump until done() or ms real milliseconds have gone by; whether
// done() came true. For waiting on loopback traffic or another process,
// never for testing a time-out (that is the virtual clock's job).
bool PumpUntil(const std::function<bool()>& done, int ms = 3000);

// Whether any pixel of the port's rectangle has all three channels below
// `below` (text or other dark ink was drawn there).
bool DarkInkIn(CGrafPtr port, const Rect& r, UInt8 below = 0x60);

// One resource, nameless unless a name is given.
tb::ResourceEntry Resource(ResType type, SInt16 id, std::vector<UInt8> data, const char* name = nullptr,
                           UInt8 attrs = 0);
tb::ResourceEntry Resource(ResType type, SInt16 id, std::string_view data, const char* name = nullptr,
                           UInt8 attrs = 0);
// Writes a resource file of the entries (a failure of the test when they
// make none).
void WriteResourceFile(const std::filesystem::path& p, const std::vector<tb::ResourceEntry>& entries);
// The same, then opens it as the program's own resource file; its number,
// or -1.
SInt16 OpenResourcesAsApplication(const std::filesystem::path& p, const std::vector<tb::ResourceEntry>& entries);

// Another program, started with this process's environment (args[0] is its
// path), in cwd when given, its standard output into stdoutPath (a file made
// afresh) when given. Its process id, or -1 when it could not start.
int SpawnProgram(const std::vector<std::string>& args, const std::string& stdoutPath = "",
                 const std::filesystem::path& cwd = {});
// An X server of the test's own (Xvfb, screen as "1280x1024x24", no TCP):
// the server picks a free display number itself, so that tests run side by
// side, by one person or several, never share one (a number chosen by
// looking first can be taken meanwhile). Its process id with ":N" in
// *display, or -1.
int StartXvfb(const std::string& screen, std::string* display);
// The exit status of a started program (128 + the signal that ended it),
// or -1.
int WaitExit(int pid);
// Starts and waits, its standard error into errPath (a file made afresh);
// the exit status as WaitExit gives it, -1 when it could not start.
int RunProgramErrTo(const std::vector<std::string>& args, const std::filesystem::path& errPath);
// Starts and waits. With errOut, its standard error is read to its end, so
// the run returns once every program it started (which inherit the pipe)
// has ended too; onOutput, when given, sees *errOut after each read (to
// act on what the program logged while it runs).
int RunProgram(const std::vector<std::string>& args, std::string* errOut = nullptr,
               const std::filesystem::path& cwd = {}, const std::function<void(const std::string&)>& onOutput = {});
// The processor time (user and system, seconds) a running program has used
// over the next `seconds` of waiting: a program idle in a loop that sleeps
// uses next to none. -1 when its figures cannot be read.
double CpuSecondsOver(int pid, double seconds);

}  // namespace testsupport

// Idle cost of VEMO-ADMIN: the real program, its main window listing five
// emulated boxes on loopback, left alone for a minute, against a bare
// WaitNextEvent loop of the same 5-tick sleep with one empty window of the
// same size, alternating run by run, headless and under Xvfb. Processor
// time is read from /proc/<pid>/schedstat (nanoseconds) between two
// markers each process writes; the load average is printed before and
// after. Each program run also checks, from a shot of its window taken at
// the end, that the five boxes are listed, and counts the searches the
// boxes answered while it sat idle.
//
// Usage: admin_idle_bench [seconds per run, default 60] [rounds, default 3]
// (the reference is this program again, started by itself with
// ADMIN_IDLE_BARE_SECONDS set).
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "bench_util.h"
#include "pboxemu/emulator.h"
#include "toolbox/clock.h"
#include "toolbox/events.h"
#include "toolbox/pictures.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

namespace {

constexpr UInt32 kSleepTicks = 5;  // the program's own sleep
const char* const kTitle = "VEMO-ADMIN [ User Mode ]";
// Set (to the seconds of the run) for the reference run of this program.
const char* const kBareVariable = "ADMIN_IDLE_BARE_SECONDS";

std::string Suite() {
  const char* dir = std::getenv("VEMO_SUITE_DIR");
  return dir ? dir : VEMO_SUITE_DEFAULT;
}

// Processor time of the process so far, in seconds (-1 when it is gone).
double cpuSeconds(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/schedstat");
  double ns = -1;
  f >> ns;
  return f ? ns / 1e9 : -1;
}

// The reference: the least a program that waits 5 ticks at a time with a
// window open can cost.
int bareLoop(double seconds) {
  FlushEvents(everyEvent, 0);
  const Rect bounds{60, 40, 420, 680};
  WindowRef w = NewCWindow(nullptr, &bounds,
                           reinterpret_cast<const unsigned char*>("\x04"
                                                                  "Bare"),
                           true, 0, reinterpret_cast<WindowRef>(-1), false, 0);
  if (!w) return 1;
  std::fprintf(stderr, "idle-start\n");
  const UInt64 end = tb::MonotonicMicros() + UInt64(seconds * 1e6);
  while (tb::MonotonicMicros() < end) {
    EventRecord e;
    if (WaitNextEvent(everyEvent, &e, kSleepTicks, nullptr) && e.what == updateEvt) {
      BeginUpdate(reinterpret_cast<WindowRef>(e.message));
      EndUpdate(reinterpret_cast<WindowRef>(e.message));
    }
  }
  std::fprintf(stderr, "idle-end\n");
  DisposeWindow(w);
  return 0;
}

struct Run {
  double cpuPercent = -1;
  std::string error;
};

// Starts the program with the extra environment, takes the processor time
// at its two markers and waits for its end.
Run measure(const std::string& exe, const std::vector<std::string>& env) {
  int fds[2];
  if (pipe(fds) != 0) return {-1, "pipe"};
  const pid_t pid = bench::SpawnWithEnv(exe, env, fds[1]);
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return {-1, "cannot start " + exe};
  }
  std::string seen;
  char buf[512];
  ssize_t n;
  double c0 = -1, c1 = -1;
  UInt64 t0 = 0, t1 = 0;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) {
    seen.append(buf, std::size_t(n));
    if (c0 < 0 && seen.find("idle-start") != std::string::npos) c0 = cpuSeconds(pid), t0 = tb::MonotonicMicros();
    if (c1 < 0 && seen.find("idle-end") != std::string::npos) c1 = cpuSeconds(pid), t1 = tb::MonotonicMicros();
  }
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  if (c0 < 0 || c1 < 0 || t1 <= t0) return {-1, "no idle markers: " + seen};
  return {100.0 * (c1 - c0) / (double(t1 - t0) / 1e6), ""};
}

// Whether the shot shows the five rows: each has dark ink where its name is.
bool fiveRowsListed(const std::string& png) {
  std::ifstream f(png, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  auto shot = tb::DecodePNG(std::span<const UInt8>(reinterpret_cast<const UInt8*>(bytes.data()), bytes.size()));
  if (!shot) return false;
  auto dark = [&](int top) {
    for (int v = top; v < top + 18 && v < shot->height; ++v)
      for (int h = 152; h < 290 && h < shot->width; ++h) {
        UInt8 r, g, b;
        tb::UnpackPixel(shot->pixels[std::size_t(v * shot->width + h)], r, g, b);
        if (r < 0x60 && g < 0x60 && b < 0x60) return true;
      }
    return false;
  };
  // The shot holds the window's 20-pixel title bar; the list's rows start
  // below the tool band (40) and the list's header (20), 18 pixels each.
  constexpr int kFirstRow = 20 + 40 + 20;
  for (int r = 0; r < 5; ++r)
    if (!dark(kFirstRow + 18 * r)) return false;
  return !dark(kFirstRow + 18 * 5);
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* bare = std::getenv(kBareVariable)) return bareLoop(std::atof(bare));
  bench::Args args(argc, argv, "[seconds per run] [rounds]");
  const double seconds = args.Real(1, 60.0, 0.1, 3600);
  const int rounds = int(args.Number(2, 3, 1, 1000));
  args.End(2);
  // Each run's environment says whether it has a display.
  unsetenv("TOOLBOX_HEADLESS");
  unsetenv("DISPLAY");
  char tmpl[] = "/tmp/admin-idle-XXXXXX";
  const std::string home = mkdtemp(tmpl);
  std::filesystem::create_directories(home + "/run");
  std::filesystem::permissions(home + "/run", std::filesystem::perms::owner_all);
  setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
  setenv("TOOLBOX_NET", "loopback", 1);
  setenv("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str(), 1);

  pboxemu::Emulator emu;
  emu.AddBoxes(5);
  std::string err;
  if (!emu.Start(&err)) {
    std::fprintf(stderr, "emulator: %s\n", err.c_str());
    return 1;
  }

  const bench::Displays displays;
  const std::vector<bench::Condition>& conditions = displays.conditions();

  const std::string exe = Suite() + "/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN";
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string shot = home + "/idle.png";
  const std::string script = home + "/idle.txt";
  const long ms = long(seconds * 1000);
  std::ofstream(script) << "wait-window \"" << kTitle << "\"\nsleep 5000\nlog idle-start\nsleep " << ms
                        << "\nlog idle-end\nwindow-shot \"" << kTitle << "\" " << shot << "\nexit 0\n";

  std::printf("load average before: %s\n", bench::LoadAverage().c_str());
  std::printf("%d rounds of %.0f s per run, alternating; sleep %u ticks\n", rounds, seconds, kSleepTicks);
  struct Figures {
    std::vector<double> program, bare;
    int replies = 0;
  };
  std::vector<Figures> figures(conditions.size());
  int failures = 0;
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t c = 0; c < conditions.size(); ++c) {
      std::vector<std::string> env = conditions[c].env;
      env.push_back("TOOLBOX_SCRIPT=" + script);
      std::filesystem::remove(shot);
      const int probes0 = [&] {
        int s = 0;
        for (int b = 0; b < 5; ++b) s += emu.Probes(b);
        return s;
      }();
      Run p = measure(exe, env);
      int probes = -probes0;
      for (int b = 0; b < 5; ++b) probes += emu.Probes(b);
      const bool listed = fiveRowsListed(shot);
      std::vector<std::string> bareEnv = conditions[c].env;
      bareEnv.push_back(std::string(kBareVariable) + "=" + std::to_string(seconds));
      Run b = measure(self, bareEnv);
      std::printf("round %d %-8s VEMO-ADMIN %.4f%%  bare loop %.4f%%  (search replies sent %d, five rows %s)%s%s\n",
                  r + 1, conditions[c].name, p.cpuPercent, b.cpuPercent, probes, listed ? "listed" : "MISSING",
                  p.error.empty() ? "" : " program: ", p.error.c_str());
      if (p.cpuPercent < 0 || b.cpuPercent < 0 || !listed) ++failures;
      if (p.cpuPercent >= 0) figures[c].program.push_back(p.cpuPercent);
      if (b.cpuPercent >= 0) figures[c].bare.push_back(b.cpuPercent);
      figures[c].replies += probes;
      std::fflush(stdout);
    }
  }
  for (std::size_t c = 0; c < conditions.size(); ++c) {
    const bench::Stats p = bench::StatsOf(figures[c].program), b = bench::StatsOf(figures[c].bare);
    std::printf(
        "%-8s VEMO-ADMIN median %.4f%% of a core (min %.4f, max %.4f); bare WaitNextEvent loop median %.4f%% "
        "(min %.4f, max %.4f); ratio of medians %.2f\n",
        conditions[c].name, p.median, p.min, p.max, b.median, b.min, b.max, b.median > 0 ? p.median / b.median : 0.0);
  }
  std::printf("load average after:  %s\n", bench::LoadAverage().c_str());
  emu.Stop();
  std::filesystem::remove_all(home);
  return failures ? 1 : 0;
}

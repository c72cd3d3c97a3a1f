// What an idle program costs: the five windowed programs of the suite
// (VEMO-ADMIN, VEMO-MONITOR, VemoHoldManager, upcaster and the installer)
// and a bare loop that waits 5 ticks at a time with one window open, all
// six started together and left alone, headless and under Xvfb. Five
// emulated boxes answer on loopback, so the programs' searches and polls
// meet replies as they would in an office.
//
// Processor time (every thread's, from /proc/<pid>/task/*/schedstat) and
// wake-ups (the times a thread was put on a processor) are read over the
// same window of each round for all six, after the programs have settled;
// each program is given as a multiple of the bare loop's time in the same
// round, and the figures are the median and spread of the rounds. The load
// average is printed before and after each round. A round counts only when
// every process was still running at its end, and the replies the boxes
// sent in the window are counted, so an idle program that stopped polling
// shows.
//
// Usage: idle_bench [seconds per round, default 60] [rounds, default 3]
// (the bare loop is this program again, started with IDLE_BENCH_BARE set).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "pboxemu/emulator.h"
#include "toolbox/clock.h"
#include "toolbox/events.h"
#include "toolbox/windows.h"

namespace {

constexpr UInt32 kSleepTicks = 5;  // the programs' own loop sleep
constexpr double kSettleSeconds = 8;
const char* const kBareVariable = "IDLE_BENCH_BARE";

struct Program {
  const char* name;
  const char* bundle;  // under the suite folder
};
const Program kPrograms[] = {
    {"VEMO-ADMIN", "VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN"},
    {"VEMO-MONITOR", "VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR"},
    {"VemoHoldManager", "VemoHoldManager.app/Contents/MacOS/VemoHoldManager"},
    {"upcaster", "upcaster.app/Contents/MacOS/upcaster"},
    {"installer", "vemoplexinstall.app/Contents/MacOS/vemoplexinstall"},
};
constexpr int kCount = int(sizeof kPrograms / sizeof kPrograms[0]);

std::string Suite() {
  const char* dir = std::getenv("VEMO_SUITE_DIR");
  return dir ? dir : VEMO_SUITE_DEFAULT;
}

// The reference: the least a program that waits 5 ticks at a time with a
// window open can cost. Runs until it is ended.
int bareLoop() {
  FlushEvents(everyEvent, 0);
  const Rect bounds{60, 40, 420, 680};
  WindowRef w = NewCWindow(nullptr, &bounds,
                           reinterpret_cast<const unsigned char*>("\x04"
                                                                  "Bare"),
                           true, 0, reinterpret_cast<WindowRef>(-1), false, 0);
  if (!w) return 1;
  for (;;) {
    EventRecord e;
    if (WaitNextEvent(everyEvent, &e, kSleepTicks, nullptr) && e.what == updateEvt) {
      BeginUpdate(reinterpret_cast<WindowRef>(e.message));
      EndUpdate(reinterpret_cast<WindowRef>(e.message));
    }
  }
}

struct Sample {
  double cpu = -1;  // seconds, every thread
  double wakeups = 0;
};

// Every thread's processor time and times run, so far (cpu -1 when the
// process is gone).
Sample sample(pid_t pid) {
  Sample s;
  std::error_code ec;
  const std::string dir = "/proc/" + std::to_string(pid) + "/task";
  double ns = 0, runs = 0;
  bool any = false;
  for (const auto& t : std::filesystem::directory_iterator(dir, ec)) {
    std::ifstream f(t.path() / "schedstat");
    double run = 0, wait = 0, slices = 0;
    if (f >> run >> wait >> slices) {
      ns += run;
      runs += slices;
      any = true;
    }
  }
  if (any) s = {ns / 1e9, runs};
  return s;
}

bool running(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv(kBareVariable)) return bareLoop();
  bench::Args args(argc, argv, "[seconds per round] [rounds]");
  const double seconds = args.Real(1, 60.0, 1, 3600);
  const int rounds = int(args.Number(2, 3, 1, 1000));
  args.End(2);
  unsetenv("TOOLBOX_HEADLESS");
  unsetenv("DISPLAY");
  unsetenv("TOOLBOX_SCRIPT");
  char tmpl[] = "/tmp/idle-bench-XXXXXX";
  const std::string home = mkdtemp(tmpl);
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

  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::printf("%d rounds of %.0f s, the five programs and the bare loop (%u-tick sleep) at the same time\n", rounds,
              seconds, kSleepTicks);
  // ratios[c][p]: program p's time over the bare loop's, per round.
  std::vector<std::vector<std::vector<double>>> ratios(conditions.size(), std::vector<std::vector<double>>(kCount));
  std::vector<std::vector<std::vector<double>>> wakes(conditions.size(), std::vector<std::vector<double>>(kCount + 1));
  int failures = 0;
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t c = 0; c < conditions.size(); ++c) {
      std::printf("round %d %s: load average %s\n", r + 1, conditions[c].name, bench::LoadAverage().c_str());
      std::vector<pid_t> pids;
      for (int p = 0; p <= kCount; ++p) {
        // Each its own settings and run folders: no program sees another's
        // preferences or Apple-event sockets.
        const std::string own = home + "/" + std::to_string(r) + "-" + conditions[c].name + "-" + std::to_string(p);
        std::filesystem::create_directories(own + "/run");
        std::filesystem::permissions(own + "/run", std::filesystem::perms::owner_all);
        std::vector<std::string> env = conditions[c].env;
        env.push_back("XDG_CONFIG_HOME=" + own + "/config");
        env.push_back("XDG_RUNTIME_DIR=" + own + "/run");
        env.push_back("HOME=" + own);
        if (p == kCount) env.push_back(std::string(kBareVariable) + "=1");
        const std::string exe = p == kCount ? self : Suite() + "/" + kPrograms[p].bundle;
        pids.push_back(bench::SpawnWithEnv(exe, env, -1));
      }
      std::this_thread::sleep_for(std::chrono::duration<double>(kSettleSeconds));
      int replies0 = 0;
      for (int b = 0; b < 5; ++b) replies0 += emu.Probes(b);
      std::vector<Sample> s0, s1;
      for (pid_t pid : pids) s0.push_back(sample(pid));
      const UInt64 t0 = tb::MonotonicMicros();
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
      for (pid_t pid : pids) s1.push_back(sample(pid));
      const double wall = double(tb::MonotonicMicros() - t0) / 1e6;
      int replies = -replies0;
      for (int b = 0; b < 5; ++b) replies += emu.Probes(b);
      bool alive = true;
      std::string gone;
      for (int p = 0; p <= kCount; ++p)
        if (!running(pids[std::size_t(p)]) || s0[std::size_t(p)].cpu < 0 || s1[std::size_t(p)].cpu < 0) {
          alive = false;
          gone += std::string(" ") + (p == kCount ? "bare-loop" : kPrograms[p].name);
        }
      for (pid_t pid : pids) kill(pid, SIGKILL);
      for (pid_t pid : pids) waitpid(pid, nullptr, 0);
      if (!alive) {
        std::printf("  a process ended before the round did:%s; the round does not count\n", gone.c_str());
        ++failures;
        continue;
      }
      const double bareCpu = s1[kCount].cpu - s0[kCount].cpu;
      for (int p = 0; p <= kCount; ++p) {
        const double cpu = s1[std::size_t(p)].cpu - s0[std::size_t(p)].cpu;
        const double wk = s1[std::size_t(p)].wakeups - s0[std::size_t(p)].wakeups;
        const char* name = p == kCount ? "bare loop" : kPrograms[p].name;
        std::printf("  %-16s %8.4f%% of a core  %6.1f wake-ups/s  %6.1f us a wake-up", name, 100 * cpu / wall,
                    wk / wall, wk > 0 ? 1e6 * cpu / wk : 0.0);
        if (p < kCount) {
          const double ratio = bareCpu > 0 ? cpu / bareCpu : 0;
          std::printf("  %.2fx the bare loop", ratio);
          ratios[c][std::size_t(p)].push_back(ratio);
        }
        std::printf("\n");
        wakes[c][std::size_t(p)].push_back(wk / wall);
      }
      std::printf("  search replies the boxes sent: %d\n", replies);
      std::printf("  load average after: %s\n", bench::LoadAverage().c_str());
      std::fflush(stdout);
    }
  }
  std::printf("\nmedian over the rounds (min, max), as multiples of the bare loop's processor time:\n");
  for (std::size_t c = 0; c < conditions.size(); ++c)
    for (int p = 0; p < kCount; ++p) {
      const bench::Stats s = bench::StatsOf(ratios[c][std::size_t(p)]);
      const bench::Stats w = bench::StatsOf(wakes[c][std::size_t(p)]);
      std::printf("%-8s %-16s median %.2fx (min %.2f, max %.2f)  %.1f wake-ups/s (bare %.1f)\n", conditions[c].name,
                  kPrograms[p].name, s.median, s.min, s.max, w.median,
                  bench::StatsOf(wakes[c][std::size_t(kCount)]).median);
    }
  std::printf("load average at the end: %s\n", bench::LoadAverage().c_str());
  emu.Stop();
  std::filesystem::remove_all(home);
  return failures ? 1 : 0;
}

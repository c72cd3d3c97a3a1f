// Idle cost of the Carbon application loop: RunApplicationEventLoop with a
// 0.01 s timer and nothing else to do, for a few seconds of real time, as
// CPU time over wall time. The reference, alternating run by run, is the
// least any loop that wakes 100 times a second can cost: poll(2) sleeping
// 10 ms at a time. Each run also counts the timer's calls (about 100 a
// second when the loop keeps time).
//
// Usage: carbon_idle_bench [seconds per run, default 3] [runs, default 5]
#include <poll.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_util.h"
#include "toolbox/carbonevents.h"
#include "toolbox/clock.h"

namespace {

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Run {
  double cpuPercent;
  double callsPerSecond;
};

struct Loop {
  UInt64 end;
  long calls;
};

void onTimer(EventLoopTimerRef, void* user) {
  auto* l = static_cast<Loop*>(user);
  ++l->calls;
  if (tb::MonotonicMicros() >= l->end) QuitApplicationEventLoop();
}

Run carbonLoop(double seconds) {
  Loop l{0, 0};
  const UInt64 start = tb::MonotonicMicros();
  l.end = start + UInt64(seconds * 1e6);
  const double c0 = cpuSeconds();
  EventLoopTimerRef t = nullptr;
  InstallEventLoopTimer(GetCurrentEventLoop(), 0, 0.01, onTimer, &l, &t);
  RunApplicationEventLoop();
  RemoveEventLoopTimer(t);
  const double wall = double(tb::MonotonicMicros() - start) / 1e6;
  return Run{100 * (cpuSeconds() - c0) / wall, double(l.calls) / wall};
}

Run pollLoop(double seconds) {
  const UInt64 start = tb::MonotonicMicros();
  const UInt64 end = start + UInt64(seconds * 1e6);
  const double c0 = cpuSeconds();
  long wakes = 0;
  while (tb::MonotonicMicros() < end) {
    poll(nullptr, 0, 10);
    ++wakes;
  }
  const double wall = double(tb::MonotonicMicros() - start) / 1e6;
  return Run{100 * (cpuSeconds() - c0) / wall, double(wakes) / wall};
}

void report(const char* name, std::vector<Run> runs) {
  std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.cpuPercent < b.cpuPercent; });
  const Run& median = runs[runs.size() / 2];
  std::printf("%-28s CPU median %.3f%% of a core (min %.3f, max %.3f), %.1f wake-ups/s\n", name, median.cpuPercent,
              runs.front().cpuPercent, runs.back().cpuPercent, median.callsPerSecond);
}

}  // namespace

int main(int argc, char** argv) {
  bench::Args args(argc, argv, "[seconds per run] [runs]");
  const double seconds = args.Real(1, 3.0, 0.1, 3600);
  const int count = int(args.Number(2, 5, 1, 1000));
  args.End(2);
  std::printf("load average before: %s\n", bench::LoadAverage().c_str());
  std::vector<Run> carbon, reference;
  for (int i = 0; i < count; ++i) {
    carbon.push_back(carbonLoop(seconds));
    reference.push_back(pollLoop(seconds));
  }
  report("RunApplicationEventLoop", carbon);
  report("poll(10 ms) reference", reference);
  std::printf("load average after:  %s\n", bench::LoadAverage().c_str());
  return 0;
}

// The screen and the event loop: a full composite of a 1024x768 screen with
// ten overlapping windows from their cached contents (target under 4 ms),
// the same with every window's content drawn again first, the CPU an idle
// WaitNextEvent(everyEvent, 5) loop takes (target under 1% of one core), and
// how soon a loop sleeping in WaitNextEvent wakes when a watched descriptor
// becomes readable (target within 1 ms).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "toolbox/clock.h"
#include "toolbox/display.h"
#include "toolbox/events.h"
#include "toolbox/fonts.h"
#include "toolbox/menus.h"
#include "toolbox/pump.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

namespace {

void headless() {
  setenv("TOOLBOX_HEADLESS", "1", 1);
  unsetenv("TOOLBOX_SCREEN");
}

// Ten overlapping windows, each painted in a colour of its own.
std::vector<WindowRef> tenWindows() {
  headless();
  tb::InitDisplay();
  MenuRef file = NewMenu(129, reinterpret_cast<const unsigned char*>("\x04" "File"));
  InsertMenu(file, 0);
  std::vector<WindowRef> windows;
  for (int i = 0; i < 10; ++i) {
    Str255 title;
    pstr::set(title, sizeof title, "Window " + std::to_string(i + 1));
    Rect r{short(40 + i * 40), short(20 + i * 55), short(40 + i * 40 + 360), short(20 + i * 55 + 480)};
    WindowRef w = NewCWindow(nullptr, &r, title, true, zoomDocProc, kFirstWindowOfClass, true, 0);
    SetPortWindowPort(w);
    RGBColor c{UInt16(i * 6000), 0x8000, UInt16(0xFFFF - i * 6000)};
    RGBForeColor(&c);
    Rect all;
    GetWindowPortBounds(w, &all);
    PaintRect(&all);
    windows.push_back(w);
  }
  tb::CompositeScreen();  // frames drawn once
  return windows;
}

// The screen put together from the windows' cached contents: nothing is
// drawn again.
void BM_CompositeTenWindows(benchmark::State& state) {
  tenWindows();
  state.SetLabel("composites cached windows");
  for (auto _ : state) benchmark::DoNotOptimize(tb::CompositeScreen());
  state.counters["pixels"] = tb::ScreenWidth() * tb::ScreenHeight();
  tb::DisposeAllWindows();
}
BENCHMARK(BM_CompositeTenWindows)->Unit(benchmark::kMillisecond);

// Every window's content drawn again (a full paint and a line of text),
// then the screen put together.
void BM_RedrawAndCompositeTenWindows(benchmark::State& state) {
  std::vector<WindowRef> windows = tenWindows();
  state.SetLabel("redraws every window, then composites");
  int round = 0;
  for (auto _ : state) {
    ++round;
    for (std::size_t i = 0; i < windows.size(); ++i) {
      SetPortWindowPort(windows[i]);
      RGBColor c{UInt16(i * 6000 + round), 0x8000, UInt16(0xFFFF - i * 6000)};
      RGBForeColor(&c);
      Rect all;
      GetWindowPortBounds(windows[i], &all);
      PaintRect(&all);
      ForeColor(blackColor);
      MoveTo(10, 20);
      DrawString(reinterpret_cast<const unsigned char*>("\x0b" "Redrawn box"));
    }
    benchmark::DoNotOptimize(tb::CompositeScreen());
  }
  state.counters["pixels"] = tb::ScreenWidth() * tb::ScreenHeight();
  tb::DisposeAllWindows();
}
BENCHMARK(BM_RedrawAndCompositeTenWindows)->Unit(benchmark::kMillisecond);

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_IdleWaitNextEventCpu(benchmark::State& state) {
  headless();
  tb::InitDisplay();
  for (auto _ : state) {
    const double cpu0 = cpuSeconds();
    const UInt64 t0 = tb::MonotonicMicros();
    long passes = 0;
    while (tb::MonotonicMicros() - t0 < 5000000) {
      EventRecord ev;
      WaitNextEvent(everyEvent, &ev, 5, nullptr);
      ++passes;
    }
    const double wall = double(tb::MonotonicMicros() - t0) / 1e6;
    state.counters["cpu_percent_of_core"] = 100.0 * (cpuSeconds() - cpu0) / wall;
    state.counters["passes_per_s"] = double(passes) / wall;
  }
}
BENCHMARK(BM_IdleWaitNextEventCpu)->Iterations(1)->Unit(benchmark::kSecond);

void BM_DescriptorWakeLatency(benchmark::State& state) {
  headless();
  tb::InitDisplay();
  int fds[2];
  if (pipe(fds) != 0) {
    state.SkipWithError("pipe");
    return;
  }
  std::atomic<UInt64> written{0};
  UInt64 handled = 0;
  int id = tb::WatchFD(fds[0], tb::kReadable, [&](int fd, short) {
    char c;
    if (read(fd, &c, 1) == 1) handled = tb::MonotonicMicros();
  });
  std::vector<double> lat;
  for (auto _ : state) {
    handled = 0;
    std::thread writer([&] {
      usleep(3000);
      written = tb::MonotonicMicros();
      if (write(fds[1], "x", 1) != 1) std::abort();
    });
    EventRecord ev;
    // A whole second of sleep: only the descriptor ends it early.
    while (!handled) WaitNextEvent(everyEvent, &ev, 60, nullptr);
    const UInt64 woke = tb::MonotonicMicros();
    writer.join();
    lat.push_back(double(woke - written.load()));
  }
  std::sort(lat.begin(), lat.end());
  state.counters["median_us"] = lat[lat.size() / 2];
  state.counters["p99_us"] = lat[std::min(lat.size() - 1, lat.size() * 99 / 100)];
  state.counters["max_us"] = lat.back();
  tb::UnwatchFD(id);
  close(fds[0]);
  close(fds[1]);
}
BENCHMARK(BM_DescriptorWakeLatency)->Iterations(300)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

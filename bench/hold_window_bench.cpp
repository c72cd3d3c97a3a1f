// Timing program of the held-job manager's main window, on loopback:
//   1. choosing a box with 1,000 held jobs until the job list is drawn,
//      against the command engine alone reading the same list (no window),
//      alternating run by run;
//   2. switching from the first tab to the third and back (each switch
//      until its page is drawn), against a plain redraw of the job list.
//
//   hold_window_bench [rounds]   (default 7)
//
// The list control keeps at most 910 rows (32 KB of row records): the
// window reads all 1,000 jobs and shows the first 910.
//
// Prints median and spread (min-max) per case, and the load average before
// and after. Every run is checked for its 1,000 rows.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_util.h"
#include "FanctionLib/CList.h"
#include "hold_program.h"
#include "holdmanager/HoldApp.h"
#include "holdmanager/HoldMainWnd.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/pump.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kJobs = 1000;
constexpr int kListRowCap = 32767 / 36;

struct QuietView : HoldView {
  int CurrentTab() override { return 1; }
  void SetStatus(const std::string&) override {}
  void ShowMessage(const std::string&, const std::string&, bool, UInt16) override {}
};

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void report(const char* what, std::vector<double> v) {
  std::sort(v.begin(), v.end());
  std::printf("%-44s median %8.2f ms  spread %8.2f - %8.2f ms  (%zu runs)\n", what, v[v.size() / 2], v.front(),
              v.back(), v.size());
}

}  // namespace

int main(int argc, char** argv) {
  bench::Args args(argc, argv, "[rounds]");
  const int rounds = int(args.Number(1, 7, 1, 1000));
  args.End(1);
  testsupport::TempDir dir;
  if (!bench::OpenHoldProgram(dir.path(), pboxemu::PrivatePortMap() + "," + pboxemu::HoldPortMap())) return 1;
  pboxemu::Emulator emu;
  pboxemu::HoldServer& h = bench::AddHoldBox(emu, "1_All");
  for (int i = 0; i < kJobs; ++i) {
    pboxemu::HeldJob j;
    j.folder = 1;
    j.name = "job-" + std::to_string(i) + ".prn";
    j.owner = "user" + std::to_string(i % 17);
    j.size = UInt32(1000 + i);
    h.AddJob(0, j);
  }
  std::string err;
  if (!emu.Start(&err)) {
    std::fprintf(stderr, "emulator: %s\n", err.c_str());
    return 1;
  }
  std::printf("load average before: %s\n", bench::LoadAverage().c_str());

  if (HoldStartup() != 1) return 1;
  MAIN_DLG_DATA* m = GetMainDlgData();
  auto until = [&](auto done) {
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (!done() && Clock::now() < end) {
      tb::Pump(0);
      IdleEventMainDlg();
    }
    return done();
  };
  if (!until([&] { return gNewFound == 0 && m->found[0].pbi_inuse; })) return 1;
  IdleEventMainDlg();

  std::vector<double> window, engine, toThird, toFirst, redraw;
  for (int r = 0; r < rounds; ++r) {
    // The window: the choice, the list read, sorted, filled and drawn.
    auto t0 = Clock::now();
    ChooseDevice(m, 1);
    if (!until([&] { return m->eng.current == 0; })) return 1;
    UpdateMainDlg(m->dialog);
    window.push_back(ms(Clock::now() - t0));
    // Every job read; the list control keeps at most 910 rows (its rows'
    // records share 32 KB), which it shows.
    if (GetCountPtrList(m->eng.holdJobs) != kJobs || CLGetCount(m->tab0File) != std::min(kJobs, kListRowCap)) {
      std::fprintf(stderr, "window: %d jobs read, %d rows\n", GetCountPtrList(m->eng.holdJobs),
                   CLGetCount(m->tab0File));
      return 1;
    }
    // The engine alone on the same box.
    QuietView view;
    HOLD_ENGINE e;
    HoldEngineInit(&e, &view, gszStrFileName);
    e.boxAddr = emu.BoxAddress(0);
    t0 = Clock::now();
    StartCommand(&e, CMD_REFRESH, false);
    while (e.current) {
      CommandPendingLoop(&e);
      tb::Pump(0);
    }
    engine.push_back(ms(Clock::now() - t0));
    const int listed = GetCountPtrList(e.holdJobs);
    HoldEngineDispose(&e);
    if (listed != kJobs) {
      std::fprintf(stderr, "engine rows: %d\n", listed);
      return 1;
    }
    // Tab switches: each until the page is drawn (the refresh the switch
    // starts is let run out before the next one, and is not counted).
    t0 = Clock::now();
    ChangeTabPage(m->dialog, 1, 3);
    UpdateMainDlg(m->dialog);
    toThird.push_back(ms(Clock::now() - t0));
    until([&] { return m->eng.current == 0; });
    t0 = Clock::now();
    ChangeTabPage(m->dialog, 3, 1);
    UpdateMainDlg(m->dialog);
    toFirst.push_back(ms(Clock::now() - t0));
    until([&] { return m->eng.current == 0; });
    t0 = Clock::now();
    CLUpdate(m->tab0File, nullptr, 1);
    redraw.push_back(ms(Clock::now() - t0));
  }
  std::printf("jobs read %d, rows in the list %d\n", kJobs, CLGetCount(m->tab0File));
  report("box of 1000 jobs chosen until drawn (window)", window);
  report("same list read by the engine alone", engine);
  report("tab switch, first to third, drawn", toThird);
  report("tab switch, third to first, drawn", toFirst);
  report("redraw of the job list alone", redraw);
  std::printf("load average after: %s\n", bench::LoadAverage().c_str());
  QuitHoldManager();
  HoldShutdown();
  emu.Stop();
  return 0;
}

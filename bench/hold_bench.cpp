// Timing program of the held-job manager's transfers, on loopback:
//   1. a folder of 1,000 jobs listed by the engine (a full refresh);
//   2. a 64 MiB job downloaded through the real window (hold_window_probe:
//      the click on Download, the program's own idle timer under its event
//      loop, to the last byte written), against a plain TCP client that
//      sends the same request to the same emulated box and writes the
//      reply to a file, alternating;
//   3. uploads of 64 MiB and 1 MiB through the real window (the click on
//      Yes of the upload question, to the last byte acknowledged) into LPRng's
//      lpd in a namespace of its own, against Debian's lpr to the same
//      daemon timed as its whole process, alternating, both over TCP on
//      loopback.
//
//   hold_bench [rounds]   (default 5)
//
// Prints median and spread (min-max) per case and tool, the ratios, and the
// load average before, between and after. Every byte of every downloaded
// and spooled file is compared with its source.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "holdmanager/HoldEngine.h"
#include "lpd/lpd_namespace.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"

namespace {

using Clock = std::chrono::steady_clock;

struct QuietView : HoldView {
  int CurrentTab() override { return 1; }
  void SetStatus(const std::string&) override {}
  void ShowMessage(const std::string&, const std::string& text, bool, UInt16) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
    failed = true;
  }
  bool failed = false;
};

void Print(const char* what, const std::vector<double>& ms, double mib = 0) {
  bench::Stats s = bench::StatsOf(ms);
  std::printf("  %-34s median %9.2f ms  spread %9.2f - %9.2f ms", what, s.median, s.min, s.max);
  if (mib > 0) std::printf("  %8.1f MiB/s", mib / (s.median / 1000));
  std::printf("\n");
}

// As the program's loop: a step, then a wait that ends at once when the
// network has something (never a spin that takes the processor from the box).
void RunEngine(HOLD_ENGINE& e) {
  while (e.current) {
    CommandPendingLoop(&e);
    tb::Pump(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  bench::Args args(argc, argv, "[rounds]");
  const int rounds = int(args.Number(1, 5, 1, 1000));
  args.End(1);
  std::string load0 = bench::LoadAverage();
  testsupport::ScopedEnv net("TOOLBOX_NET", "loopback");
  testsupport::ScopedEnv ports("TOOLBOX_PORTMAP", (pboxemu::PrivatePortMap() + "," + pboxemu::HoldPortMap()).c_str());
  testsupport::TempDir dir;
  testsupport::ScopedEnv cache("XDG_CACHE_HOME", dir.path().c_str());
  tb::ReloadNetConfig();
  OT_Init();

  pboxemu::Emulator emu;
  emu.AddBox();
  auto& h = emu.Hold();
  h.Enable();
  h.AddFolder(0, {1, "1_Bench", 0, 0});
  for (int i = 0; i < 1000; ++i) {
    pboxemu::HeldJob j;
    j.folder = 1;
    j.name = "job " + std::to_string(i) + " 見積書.pdf";
    j.owner = "owner";
    j.size = 1000 + i;
    h.AddJob(0, j);
  }
  std::string err;
  if (!emu.Start(&err)) {
    std::fprintf(stderr, "emulator: %s\n", err.c_str());
    return 1;
  }
  QuietView view;
  HOLD_ENGINE e;
  HoldEngineInit(&e, &view, "");
  e.boxAddr = emu.BoxAddress(0);

  std::printf("held-job manager benchmark, %d rounds, load average before: %s\n", rounds, load0.c_str());
  // 1. Listing.
  std::vector<double> list;
  for (int r = 0; r < rounds * 4; ++r) {
    std::fill(std::begin(e.changeStale), std::end(e.changeStale), true);
    auto t0 = Clock::now();
    StartCommand(&e, CMD_REFRESH, false);
    RunEngine(e);
    list.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    if (GetCountPtrList(e.holdJobs) != 1000) {
      std::fprintf(stderr, "listed %d jobs\n", GetCountPtrList(e.holdJobs));
      return 1;
    }
  }
  std::printf("1. a folder of 1,000 jobs listed (folders, then jobs, one connection; target < 100 ms):\n");
  Print("engine refresh", list);

  HoldEngineDispose(&e);
  emu.Stop();
  OT_Deinit();

  // 2. and 3. Through the real window, in the daemon's namespace (the
  // download alone when the namespace cannot be made).
  const std::size_t kBig = 64u << 20;
  std::vector<std::string> files = {(dir.path() / "up64.bin").string(), (dir.path() / "up1.bin").string()};
  testsupport::WriteFile(files[0], bench::RandomBytes(kBig, 64));
  testsupport::WriteFile(files[1], bench::RandomBytes(1u << 20, 1));
  const std::string probe = std::string("env -u TOOLBOX_PORTMAP ") + HOLD_WINDOW_PROBE + " " + std::to_string(rounds) +
                            " " + std::to_string(kBig);
  std::string output;
  std::printf("load average: %s\n", bench::LoadAverage().c_str());
  holdtest::LpdRun run =
      holdtest::RunWithLpd((dir.path() / "lpd").string(), 1,
                           probe + " /var/spool/lpd/hold_1 '" + files[0] + "' '" + files[1] + "'; echo PROBE $?", 1800);
  if (run.ran) {
    output = run.output;
  } else {
    std::printf("  uploads not run: %s\n", run.why.c_str());
    std::FILE* p = popen((probe + "; echo PROBE $?").c_str(), "r");
    char buf[4096];
    for (std::size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) output.append(buf, n);
    if (p) pclose(p);
  }
  std::map<std::string, std::vector<double>> times;
  std::istringstream in(output);
  std::string line;
  int status = -1;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string word, a, b;
    double ms = 0;
    if (!(ls >> word)) continue;
    if (word == "DL" && ls >> a >> ms) times["download " + a].push_back(ms);
    if (word == "UP" && ls >> a >> b >> ms) times[a + " " + b].push_back(ms);
    if (word == "LOAD") std::printf("  load average in the namespace:%s\n", line.substr(4).c_str());
    if (word == "PROBE") ls >> status;
  }
  std::printf("2. a 64 MiB job downloaded through the window (target: ours >= 0.9x the plain read to a file):\n");
  if (!times["download ours"].empty() && !times["download plain"].empty()) {
    Print("window: Download clicked to the file in place", times["download ours"], 64);
    Print("plain TCP read written to a file", times["download plain"], 64);
    std::printf("  ratio plain/ours (median): %.2f\n",
                bench::StatsOf(times["download plain"]).median / bench::StatsOf(times["download ours"]).median);
  }
  std::printf("3. uploads through the window into LPRng's lpd, against lpr (target: ours >= 1.0x lpr):\n");
  for (const std::string& f : files) {
    const std::string tag = std::filesystem::path(f).filename().string();
    const auto& o = times[tag + " ours"];
    const auto& l = times[tag + " lpr"];
    if (o.empty() || l.empty()) continue;
    const double mib = double(std::filesystem::file_size(f)) / (1 << 20);
    Print(("window " + tag + ": Yes to the last byte acknowledged").c_str(), o, mib);
    Print(("lpr " + tag + ", whole process").c_str(), l, mib);
    std::printf("  ratio lpr/ours (median): %.2f\n", bench::StatsOf(l).median / bench::StatsOf(o).median);
  }
  std::printf("every byte of every file compared: %s\n", status == 0 ? "all whole" : "A RUN FAILED (see below)");
  if (status != 0) std::fputs(output.c_str(), stdout);
  std::printf("load average after: %s\n", bench::LoadAverage().c_str());
  return status == 0 ? 0 : 1;
}

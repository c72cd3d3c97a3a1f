// VEMO-ADMIN: start-up to an idle main window (against the start of a
// process that does nothing, alternating), a search answered by 128 boxes
// until all 128 rows are listed, the merge of 128 replies into the list and
// the list's redraw. The idle program's processor time, against a bare loop,
// is admin_idle_bench's.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/DeviceCommand.h"
#include "Admin/MainWindow.h"
#include "Admin/SearchConfig.h"
#include "bench_util.h"
#include "pboxemu/emulator.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"
#include "toolbox/resources.h"

extern char** environ;

namespace {

std::string Suite() {
  const char* dir = std::getenv("VEMO_SUITE_DIR");
  return dir ? dir : VEMO_SUITE_DEFAULT;
}

struct Setup {
  Setup() {
    setenv("TOOLBOX_NET", "loopback", 1);
    setenv("TOOLBOX_HEADLESS", "1", 1);
    setenv("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str(), 1);
    char tmpl[] = "/tmp/admin-bench-XXXXXX";
    home = mkdtemp(tmpl);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
    std::filesystem::create_directories(home + "/run");
    std::filesystem::permissions(home + "/run", std::filesystem::perms::owner_all);
    tb::ReloadNetConfig();
  }
  ~Setup() { std::filesystem::remove_all(home); }
  std::string home;
} gSetup;

// The program's main window in this process, over the bundle's resources.
struct Window {
  Window() {
    tb::ResetResources();
    const std::string res = Suite() + "/VEMO-ADMIN.app/Contents/Resources";
    Appl_Rsrc_Fork_No = tb::OpenApplicationResources(res + "/VEMO-ADMIN.rsrc");
    std::snprintf(IniFileName, sizeof IniFileName, "%s/English/Admin.ini", res.c_str());
    ConfigData = CONFIGURATION{500, 1, 60, 0x7FFFFFFFu, 0, 1, 0, 0, "*"};
    EnvInfo = SETUPINFO{};
    EnvInfo.tcp_count = 1;
    std::strcpy(EnvInfo.broadcast[0], "127.255.255.255");
    Get_NameCheck_Info();
    InitNetwork();
    Install_Menu();
    ok = Open_Main_Window() == 1;
  }
  ~Window() {
    DeinitMain();
    DeinitNetwork();
    tb::ResetResources();
  }
  bool ok = false;
};

void fill_table(int n) {
  for (int i = 0; i < n; ++i) {
    PBOXinfo& b = mainTbl.pboxTbl[i];
    b = PBOXinfo{};
    b.pbi_inuse = 1;
    std::snprintf(reinterpret_cast<char*>(b.pbi_machine_name), 32, "Box %d", i);
    std::memcpy(b.pbi_machine_type, "VEMOPLEX[C]\0\0\0\0\x50", 16);
    const UInt8 mac[6] = {0x00, 0x80, 0x92, 0x00, UInt8(i >> 8), UInt8(i)};
    std::memcpy(b.pbi_nodeaddr, mac, 6);
    b.pbi_ip_addr = 0x7F000100u + UInt32(i);
    b.pbi_status = UInt16(i % 31);
    b.protocol_Type_Num = PBOX_PROTO_TCPIP;
  }
}

void BM_Merge128RepliesIntoTheList(benchmark::State& state) {
  Window w;
  if (!w.ok) return state.SkipWithError("no window");
  for (auto _ : state) {
    state.PauseTiming();
    CLDelRow(mainTbl.pservList, 0, 0);
    fill_table(128);
    mainTbl.newCount = 128;
    state.ResumeTiming();
    Build_PrintServer_List(&mainTbl, mainTbl.pboxTbl);
    CLUpdate(mainTbl.pservList, nullptr, 0);
  }
  state.counters["rows"] = CLGetCount(mainTbl.pservList);
  state.counters["load1"] = bench::LoadAverage1();
}
BENCHMARK(BM_Merge128RepliesIntoTheList)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RedrawOf128Rows(benchmark::State& state) {
  Window w;
  if (!w.ok) return state.SkipWithError("no window");
  fill_table(128);
  mainTbl.newCount = 128;
  Build_PrintServer_List(&mainTbl, mainTbl.pboxTbl);
  for (auto _ : state) CLUpdate(mainTbl.pservList, nullptr, 1);
  state.counters["rows"] = CLGetCount(mainTbl.pservList);
  state.counters["load1"] = bench::LoadAverage1();
}
BENCHMARK(BM_RedrawOf128Rows)->Unit(benchmark::kMillisecond)->UseRealTime();

// From the start of a search until every one of 128 emulated boxes is a row,
// and the time from the last reply to the last row.
void BM_SearchUntil128Rows(benchmark::State& state) {
  pboxemu::Emulator emu;
  emu.AddBoxes(128);
  std::string err;
  if (!emu.Start(&err)) return state.SkipWithError(err.c_str());
  Window w;
  if (!w.ok) return state.SkipWithError("no window");
  int missing = 0;
  double afterLast = 0;
  for (auto _ : state) {
    Search_Again_PBOX();
    UInt64 end = tb::MonotonicMicros() + 10'000'000, lastReply = 0, lastRow = 0;
    int found = -1;
    while (CLGetCount(mainTbl.pservList) < 128 && tb::MonotonicMicros() < end) {
      tb::Pump(1);
      const int f = mainTbl.jcudpConf ? mainTbl.jcudpConf->found : 0;
      if (f != found) found = f, lastReply = tb::MonotonicMicros();
      Update_Main_Dialog();
    }
    lastRow = tb::MonotonicMicros();
    afterLast += double(lastRow - lastReply) / 1000.0;
    missing += 128 - CLGetCount(mainTbl.pservList);
  }
  state.counters["rows_missing"] = missing;
  state.counters["ms_after_last_reply"] = benchmark::Counter(afterLast, benchmark::Counter::kAvgIterations);
  state.counters["load1"] = bench::LoadAverage1();
}
BENCHMARK(BM_SearchUntil128Rows)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Start-up to the idle main window: the script's first line runs at the
// first pass of the loop once the window is up; it writes one line and the
// program ends. Alternates with the start of /bin/true, the floor of any
// process start on this machine.
void BM_StartUpToIdleMainWindow(benchmark::State& state) {
  const std::string exe = Suite() + "/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN";
  const std::string script = gSetup.home + "/startup.txt";
  std::ofstream(script) << "wait-window \"VEMO-ADMIN [ User Mode ]\"\nlog ready\nexit 0\n";
  double reference = 0;
  for (auto _ : state) {
    int fds[2];
    if (pipe(fds) != 0) return state.SkipWithError("pipe");
    const UInt64 t0 = tb::MonotonicMicros();
    pid_t pid = bench::SpawnWithEnv(exe, {"TOOLBOX_SCRIPT=" + script}, fds[1]);
    close(fds[1]);
    char buf[256];
    std::string seen;
    UInt64 ready = 0;
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) {
      seen.append(buf, std::size_t(n));
      if (!ready && seen.find("ready") != std::string::npos) ready = tb::MonotonicMicros();
    }
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    if (!ready) return state.SkipWithError(("no window: " + seen).c_str());
    state.SetIterationTime(double(ready - t0) / 1e6);
    state.PauseTiming();
    const UInt64 r0 = tb::MonotonicMicros();
    pid_t t = bench::SpawnWithEnv("/bin/true", {}, -1);
    waitpid(t, nullptr, 0);
    reference += double(tb::MonotonicMicros() - r0) / 1000.0;
    state.ResumeTiming();
  }
  state.counters["ms_bin_true"] = benchmark::Counter(reference, benchmark::Counter::kAvgIterations);
  state.counters["load1"] = bench::LoadAverage1();
}
BENCHMARK(BM_StartUpToIdleMainWindow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

}  // namespace

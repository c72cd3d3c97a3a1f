// The status monitor at work: the real VEMO-MONITOR with eight status
// windows watching eight emulated printers, each asked every second, for a
// stretch of real time; its CPU time over that stretch (as a share of one
// core) and its resident memory. The reference, alternating run by run, is
// the same program with one window and no printer (its loop with nothing to
// ask), so the figure of the eight printers can be told from the frame's.
//
// Usage: monitor_window_bench [seconds per run, default 60] [pairs, default 2]
// The suite is taken from VEMO_SUITE_DIR (default: this build's).
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "common/AppGlobals.h"
#include "common/PrefFile.h"
#include "Monitor/MonitorConfig.h"
#include "OT/PBoxTable.h"
#include "pboxemu/emulator.h"
#include "toolbox/appleevents.h"
#include "toolbox/files.h"
#include "toolbox/resources.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPrinters = 8;

std::string dotted(UInt32 a) {
  char text[20];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
  return text;
}

std::string macText(const std::array<UInt8, 6>& m) {
  char text[20];
  std::snprintf(text, sizeof text, "%02X;%02X;%02X;%02X;%02X;%02X", m[0], m[1], m[2], m[3], m[4], m[5]);
  return text;
}

void writeFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

struct Sample {
  double cpuPercent;
  long rssKB, peakKB;
  double asksPerSecond;  // status and information requests the printers got
};

// utime + stime of a process, in seconds.
double cpuOf(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(f)), {});
  const auto close = all.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream rest(all.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

long statusKB(pid_t pid, const char* key) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
  return -1;
}

class Bench {
 public:
  Bench(const fs::path& suiteSource)
      : dir_(fs::temp_directory_path() / ("monitor-window-bench-" + std::to_string(getpid()))) {
    fs::create_directories(dir_ / "home");
    setenv("HOME", (dir_ / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_ / "home/.config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
    setenv("TOOLBOX_NET", "loopback", 1);
    setenv("TOOLBOX_HEADLESS", "1", 1);
    unsetenv("DISPLAY");
    setenv("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str(), 1);
    const fs::path contents = suite() / "VEMO-MONITOR.app/Contents";
    fs::create_directories(contents / "MacOS");
    fs::create_symlink(suiteSource / "VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR", exe());
    fs::create_directory_symlink(suiteSource / "VEMO-MONITOR.app/Contents/Resources", contents / "Resources");
    writeFile(contents / "PkgInfo", "APPLVMxm");
  }
  ~Bench() {
    emu_.Stop();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  fs::path suite() const { return dir_ / "suite"; }
  fs::path exe() const { return suite() / "VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR"; }

  bool Start() {
    for (int i = 0; i < kPrinters; ++i) {
      pboxemu::BoxSpec spec;
      spec.name = "Office " + std::string(1, char('A' + i));
      emu_.AddBox(spec);
    }
    std::string err;
    if (!emu_.Start(&err)) {
      std::fprintf(stderr, "emulator: %s\n", err.c_str());
      return false;
    }
    std::string alias = "[ALIAS]\r\n";
    for (int i = 0; i < kPrinters; ++i) {
      std::array<UInt8, kPBOXinfoPackedSize> packed{};
      PackPBOXinfo(box(i), packed);
      const std::string name = "VEMOMON-" + macText(emu_.BoxMac(i));
      writeFile(suite() / name,
                std::string(reinterpret_cast<const char*>(packed.data()), packed.size()) + std::string(4, '\0'));
      alias += "ALIAS0" + std::to_string(i) + "=" + name + "\r\n";
    }
    writeFile(suite() / "Alias Data", alias);
    // A first run makes each printer's settings file; then every printer
    // is asked once a second.
    if (runMonitor(true, 0).cpuPercent < 0) return false;
    tb::SetApplicationPath(exe().string());
    // The settings files carry the program's version: read and written with
    // the program's resources in use.
    FSSpec rsrc;
    if (tb::PathToSpec((suite() / "VEMO-MONITOR.app/Contents/Resources/VEMO-MONITOR.rsrc").string(), &rsrc) != noErr)
      return false;
    Appl_Rsrc_Fork_No = FSpOpenResFile(&rsrc, fsRdPerm);
    if (Appl_Rsrc_Fork_No < 0) return false;
    for (int i = 0; i < kPrinters; ++i) {
      FSSpec fss;
      if (!Monitor_File_Spec(Settings_File_Name(emu_.BoxMac(i).data()), &fss)) return false;
      CONFIGURATION c = Default_Configuration();
      if (Load_Configuration(&fss, &c) < 0) {
        std::fprintf(stderr, "no settings file for printer %d in %s:\n", i, suite().c_str());
        for (const auto& e : fs::directory_iterator(suite())) std::fprintf(stderr, "  %s\n", e.path().c_str());
        return false;
      }
      c.statUpdate = 1000;
      if (Save_Configuration(&fss, &c) != noErr) return false;
    }
    return true;
  }

  // One run: eight printers (watch) or one empty window; over `seconds`
  // once every window is open. cpuPercent -1 when the run failed.
  Sample runMonitor(bool watch, int seconds) {
    std::string script;
    if (watch)
      for (int i = 0; i < kPrinters; ++i) script += "wait-window " + title(i) + " 30000\n";
    else
      script += "wait-window \"Status Monitor\" 30000\n";
    script += "log all-open\n";
    if (seconds > 0) script += "sleep " + std::to_string(seconds * 1000 + 2000) + "\n";
    script += "menu 129 5\n";
    writeFile(dir_ / "script.txt", script);
    std::string launch;
    if (watch) launch = "VEMO_LAUNCH_EVENT=" + aliasLaunchHex();
    int fds[2];
    if (pipe(fds) != 0) return {-1, 0, 0, 0};
    std::vector<std::string> env = {"TOOLBOX_SCRIPT=" + (dir_ / "script.txt").string(),
                                    "TOOLBOX_APP_PATH=" + exe().string()};
    if (!launch.empty()) env.push_back(launch);
    // Started by hand without a pointer file: one window without a printer.
    fs::remove(suite() / "MONITOR Data");
    const pid_t pid = bench::SpawnWithEnv(exe().string(), env, fds[1]);
    close(fds[1]);
    if (pid < 0) return {-1, 0, 0, 0};
    std::string out;
    char buf[512];
    ssize_t n;
    Sample s{-1, 0, 0, 0};
    while ((n = read(fds[0], buf, sizeof buf)) > 0) {
      out.append(buf, std::size_t(n));
      if (out.find("all-open") != std::string::npos) break;
    }
    if (n > 0 && seconds > 0) {
      const auto t0 = std::chrono::steady_clock::now();
      const double c0 = cpuOf(pid);
      const int r0 = asked();
      std::this_thread::sleep_for(std::chrono::seconds(seconds));
      const double c1 = cpuOf(pid);
      const int r1 = asked();
      const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      s = Sample{100 * (c1 - c0) / wall, statusKB(pid, "VmRSS:"), statusKB(pid, "VmHWM:"), (r1 - r0) / wall};
    } else if (n > 0) {
      s.cpuPercent = 0;
    }
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, std::size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "the monitor failed:\n%s\n", out.c_str());
      return {-1, 0, 0, 0};
    }
    return s;
  }

 private:
  int asked() const {
    int n = 0;
    for (int i = 0; i < kPrinters; ++i) n += emu_.MonitorRequests(i);
    return n;
  }

  PBOXinfo box(int i) const {
    PBOXinfo b{};
    b.pbi_inuse = 1;
    auto mac = emu_.BoxMac(i);
    std::memcpy(b.pbi_nodeaddr, mac.data(), 6);
    auto type = emu_.BoxMachineType(i);
    std::memcpy(b.pbi_machine_type, type.data(), 16);
    b.pbi_hash = GetPBOXHash(b.pbi_machine_type, b.pbi_nodeaddr);
    const std::string name = "Office " + std::string(1, char('A' + i));
    std::memcpy(b.pbi_machine_name, name.data(), name.size());
    b.pbi_ip_addr = emu_.BoxAddress(i);
    b.pbi_socket = emu_.BoxPort(i);
    b.protocol_Type_Num = PBOX_PROTO_TCPIP;
    return b;
  }

  std::string title(int i) const {
    return "\"Status Monitor - Office " + std::string(1, char('A' + i)) + "(" + dotted(emu_.BoxAddress(i)) + ")\"";
  }

  // The launch event 'JCev'/'apop' with the text "Alias Data".
  static std::string aliasLaunchHex() {
    const OSType sig = 'VMxm';
    AEAddressDesc target;
    AECreateDesc(typeApplSignature, &sig, 4, &target);
    AppleEvent event;
    AECreateAppleEvent('JCev', 'apop', &target, kAutoGenerateReturnID, kAnyTransactionID, &event);
    AEDescList list;
    AECreateList(nullptr, 0, false, &list);
    const std::string text = "Alias Data";
    AEPutPtr(&list, 1, typeChar, text.data(), Size(text.size()));
    AEPutParamDesc(&event, 'VMxm', &list);
    std::string flat;
    tb::FlattenAppleEvent(&event, &flat);
    AEDisposeDesc(&list);
    AEDisposeDesc(&event);
    AEDisposeDesc(&target);
    std::string hex;
    char two[3];
    for (unsigned char c : flat) {
      std::snprintf(two, sizeof two, "%02x", c);
      hex += two;
    }
    return hex;
  }

  fs::path dir_;
  pboxemu::Emulator emu_;
};

}  // namespace

int main(int argc, char** argv) {
  bench::Args args(argc, argv, "[seconds per run] [pairs of runs]");
  const int seconds = int(args.Number(1, 60, 1, 3600));
  const int pairs = int(args.Number(2, 2, 1, 100));
  args.End(2);
  const char* suiteEnv = std::getenv("VEMO_SUITE_DIR");
  const fs::path suiteSource = suiteEnv && *suiteEnv ? suiteEnv : VEMO_SUITE_DEFAULT;
  Bench b(suiteSource);
  if (!b.Start()) return 1;
  std::vector<double> eight, reference;
  std::vector<double> rss, peak;
  std::printf("status monitor, 8 printers asked every second, %d s per run (load %s)\n", seconds,
              bench::LoadAverage().c_str());
  for (int i = 0; i < pairs; ++i) {
    const Sample w = b.runMonitor(true, seconds);
    const Sample r = b.runMonitor(false, seconds);
    if (w.cpuPercent < 0 || r.cpuPercent < 0) return 1;
    eight.push_back(w.cpuPercent);
    reference.push_back(r.cpuPercent);
    rss.push_back(double(w.rssKB) / 1024);
    peak.push_back(double(w.peakKB) / 1024);
    std::printf(
        "run %d: 8 windows %.3f %% of a core, %.1f requests/s answered, RSS %.1f MB (peak %.1f MB); "
        "1 empty window %.3f %% (load %s)\n",
        i + 1, w.cpuPercent, w.asksPerSecond, double(w.rssKB) / 1024, double(w.peakKB) / 1024, r.cpuPercent,
        bench::LoadAverage().c_str());
  }
  const auto e = bench::StatsOf(eight), r = bench::StatsOf(reference), m = bench::StatsOf(peak);
  std::printf("8 windows: median %.3f %% (%.3f .. %.3f); empty window: median %.3f %% (%.3f .. %.3f)\n", e.median,
              e.min, e.max, r.median, r.min, r.max);
  std::printf("peak resident memory with 8 windows: median %.1f MB (%.1f .. %.1f); targets < 1 %% and < 60 MB\n",
              m.median, m.min, m.max);
  std::printf("load average at the end: %s\n", bench::LoadAverage().c_str());
  return 0;
}

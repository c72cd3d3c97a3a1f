// Timing program of the held-job manager's transfers, on loopback:
//   1. a folder of 1,000 jobs listed by the engine (a full refresh);
//   2. a 64 MiB job downloaded by the engine, against a plain TCP client
//      that sends the same request to the same emulated box and reads the
//      same reply bytes (the loopback limit), alternating;
//   3. uploads of 64 MiB and 1 MiB over LPR to LPRng's lpd in a namespace
//      of its own: the program's upload as it runs it (the command engine
//      stepped by the window's idle timer under the application event
//      loop, hold_upload_probe) against Debian's lpr to the same daemon,
//      alternating, both over TCP on loopback: lpr timed as its whole
//      process, ours from the user's Yes to the last file sent.
//
//   hold_bench [rounds]   (default 5)
//
// Prints median and spread (min-max) per case and tool, the ratios, and the
// load average before and after. Every spooled upload is compared byte for
// byte with its source; each download is checked for its size, the last one
// for every 4,093rd byte.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "holdmanager/HoldEngine.h"
#include "holdmanager/HoldProgress.h"
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

// The plain client: one request frame of code 8, then every reply byte
// (written to a file as they come when toFile is given).
double PlainDownload(UInt32 box, const std::vector<UInt8>& request, std::size_t replyBytes, const char* toFile = nullptr) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(tb::MapPort(2249));
  a.sin_addr.s_addr = htonl(box);
  auto t0 = Clock::now();
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
  if (send(s, request.data(), request.size(), 0) != ssize_t(request.size())) return -1;
  static std::vector<char> buf(1 << 20);
  std::FILE* f = toFile ? std::fopen(toFile, "wb") : nullptr;
  std::size_t got = 0;
  while (got < replyBytes) {
    ssize_t n = recv(s, buf.data(), buf.size(), 0);
    if (n <= 0) break;
    if (f) std::fwrite(buf.data(), 1, std::size_t(n), f);
    got += std::size_t(n);
  }
  if (f) std::fclose(f);
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  close(s);
  return got == replyBytes ? ms : -1;
}

}  // namespace

// "--timed TAG program args...": runs the program (found on PATH), its
// output passed on, and prints "TIMED TAG <exit status> <microseconds>".
int timedRun(int argc, char** argv) {
  std::vector<char*> args(argv + 3, argv + argc);
  args.push_back(nullptr);
  const auto t0 = Clock::now();
  pid_t pid = -1;
  int status = -1;
  int rc = 127;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0 && waitpid(pid, &status, 0) == pid)
    rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
  std::fflush(stdout);
  std::printf("TIMED %s %d %.0f\n", argv[2], rc, us);
  return 0;
}

int main(int argc, char** argv) {
  if (argc > 3 && std::strcmp(argv[1], "--timed") == 0) return timedRun(argc, argv);
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
  const std::size_t kBig = 64u << 20;
  pboxemu::HeldJob big;
  big.folder = 2;  // in no listed folder: the list stays at 1,000
  big.name = "big";
  big.size = UInt32(kBig);
  UInt32 bigId = h.AddJob(0, big);
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
    if (GetCountPtrList(e.holdJobs) != 1001) {
      std::fprintf(stderr, "listed %d jobs\n", GetCountPtrList(e.holdJobs));
      return 1;
    }
  }
  std::printf("1. a folder of 1,000 jobs listed (folders, then jobs, one connection; target < 100 ms):\n");
  Print("engine refresh", list);

  // 2. Download, alternating with the plain client.
  VFMP_PARAM p{};
  p.jobId[0] = UInt8(bigId >> 24), p.jobId[1] = UInt8(bigId >> 16), p.jobId[2] = UInt8(bigId >> 8),
  p.jobId[3] = UInt8(bigId);
  p.folderId[3] = 2;
  std::vector<UInt8> req(64);
  req.resize(std::size_t(VFMPBuildRequest(VFMP_DOWNLOAD, p, req)));
  const std::size_t chunk = 16376 - 4;
  const std::size_t frames = (kBig + chunk - 1) / chunk;
  const std::size_t replyBytes = kBig + frames * 8;
  std::vector<double> ours, plain, plainFile;
  std::string plainDest = (dir.path() / "plain.bin").string();
  std::string dest = (dir.path() / "big.prn").string();
  for (int r = 0; r < rounds; ++r) {
    for (int turn = 0; turn < 2; ++turn) {
      if ((turn == 0) == (r % 2 == 0)) {
        auto* rq = new PRG_REQUEST{};
        PRG_JOB j{};
        std::memcpy(j.jobId, p.jobId, 4);
        std::memcpy(j.folderId, p.folderId, 4);
        rq->jobs.push_back(j);
        rq->path = dest;
        // Both sides write a file that is not there yet: replacing one
        // makes the file system flush the new file at the rename (and free
        // the old one), a cost of the overwrite, not of the transfer.
        std::filesystem::remove(dest);
        auto t0 = Clock::now();
        if (!StartProgressCommand(&e, CMD_DOWNLOAD, rq)) return 1;
        RunEngine(e);
        ours.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (view.failed || std::filesystem::file_size(dest) != kBig) {
          std::fprintf(stderr, "download incomplete\n");
          return 1;
        }
      } else {
        std::filesystem::remove(plainDest);
        double ms = PlainDownload(e.boxAddr, req, replyBytes);
        if (ms < 0) {
          std::fprintf(stderr, "plain read incomplete\n");
          return 1;
        }
        plain.push_back(ms);
        std::filesystem::remove(plainDest);
        ms = PlainDownload(e.boxAddr, req, replyBytes, plainDest.c_str());
        if (ms < 0) return 1;
        plainFile.push_back(ms);
      }
    }
  }
  {
    std::string got = testsupport::ReadFile(dest);
    for (std::size_t i = 0; i < got.size(); i += 4093)
      if (UInt8(got[i]) != UInt8((i * 7 + bigId) & 0xFF)) {
        std::fprintf(stderr, "download differs at %zu\n", i);
        return 1;
      }
  }
  std::printf("2. a 64 MiB job downloaded (target: ours >= 0.9x the plain read):\n");
  Print("engine download", ours, 64);
  Print("plain TCP read, same reply", plain, 64);
  Print("plain TCP read written to a file", plainFile, 64);
  std::printf("  ratio plain/ours (median): %.2f; plain with its file/ours: %.2f\n",
              bench::StatsOf(plain).median / bench::StatsOf(ours).median,
              bench::StatsOf(plainFile).median / bench::StatsOf(ours).median);
  HoldEngineDispose(&e);
  emu.Stop();
  OT_Deinit();

  // 3. Upload to the real daemon, alternating with Debian's lpr. lpr is
  // timed as its whole process by this program inside the daemon's
  // namespace; ours from the user's Yes to the step that sent the last
  // file, inside the running program (its start-up is no part of an upload).
  if (std::getenv("HOLD_BENCH_NO_LPD")) return 0;
  const std::string self = std::filesystem::canonical("/proc/self/exe").string();
  const std::string probe = std::string("env -u TOOLBOX_PORTMAP TOOLBOX_NET=loopback XDG_CACHE_HOME='") +
                            dir.path().string() + "' " + HOLD_UPLOAD_PROBE;
  struct Upload {
    const char* tag;
    std::size_t bytes;
    std::string path;
  } uploads[] = {{"64MiB", kBig, (dir.path() / "up64.bin").string()},
                 {"1MiB", 1u << 20, (dir.path() / "up1.bin").string()}};
  std::ostringstream cmds;
  for (const Upload& u : uploads) {
    testsupport::WriteFile(u.path, bench::RandomBytes(u.bytes, unsigned(u.bytes)));
    for (int r = 0; r < rounds; ++r) {
      for (int turn = 0; turn < 2; ++turn) {
        const bool ours = (turn == 0) == (r % 2 == 0);
        const std::string tag = std::string(ours ? "OURS-" : "LPR-") + u.tag;
        // The user's Yes falls anywhere between two idle calls.
        const double phase = (r + 0.5) / rounds;
        cmds << self << " --timed " << tag << " "
             << (ours ? probe + " --queue=1 --phase=" + std::to_string(phase) + " '" + u.path + "'"
                      : "lpr -Phold_1@127.0.0.1 '" + u.path + "'")
             << "\n";
        // The spooled data file, byte for byte, then the queue emptied.
        cmds << "n=0; for f in /var/spool/lpd/hold_1/df*; do [ -e \"$f\" ] || continue; n=$((n+1)); "
             << "if cmp -s \"$f\" '" << u.path << "'; then echo SAME " << tag << "; else echo DIFF " << tag
             << "; fi; done; [ $n = 1 ] || echo COUNT " << tag << " $n; rm -f /var/spool/lpd/hold_1/[cdh]f*\n";
      }
    }
  }
  std::printf("3. uploads over LPR to LPRng's lpd on loopback, TCP both (target: ours >= 0.9x lpr); load average: %s\n",
              bench::LoadAverage().c_str());
  holdtest::LpdRun run = holdtest::RunWithLpd((dir.path() / "lpd").string(), 1, cmds.str(), 1800);
  if (!run.ran) {
    std::printf("  not run: %s\n", run.why.c_str());
  } else {
    std::map<std::string, std::vector<double>> times;
    std::map<std::string, int> same, bad;
    std::istringstream in(run.output);
    std::string line, word, tag;
    std::vector<double> pending;
    while (std::getline(in, line)) {
      std::istringstream ls(line);
      if (!(ls >> word)) continue;
      int rc = 0;
      double us = 0;
      if (word == "UPLOAD" && ls >> us) {
        pending.push_back(us);
      } else if (word == "TIMED" && ls >> tag >> rc >> us) {
        const bool ours = tag.rfind("OURS-", 0) == 0;
        if (rc != 0 || (ours && pending.empty())) {
          std::printf("  %s run failed (%d)\n", tag.c_str(), rc);
          bad[tag]++;
        } else {
          times[tag].push_back(ours ? pending.back() : us / 1000);
        }
        pending.clear();
      } else if ((word == "SAME" || word == "DIFF" || word == "COUNT") && ls >> tag) {
        (word == "SAME" ? same : bad)[tag]++;
      }
    }
    for (const Upload& u : uploads) {
      const std::string o = std::string("OURS-") + u.tag, l = std::string("LPR-") + u.tag;
      const double mib = double(u.bytes) / (1 << 20);
      std::printf("  %s: spooled data files equal to the source: ours %d, lpr %d of %d each; wrong or missing %d\n",
                  u.tag, same[o], same[l], rounds, bad[o] + bad[l]);
      if (times[o].empty() || times[l].empty()) continue;
      Print(("ours " + std::string(u.tag) + ", Yes to last file sent").c_str(), times[o], mib);
      Print(("lpr " + std::string(u.tag) + ", whole process").c_str(), times[l], mib);
      std::printf("  ratio lpr/ours (median): %.2f\n",
                  bench::StatsOf(times[l]).median / bench::StatsOf(times[o]).median);
    }
  }
  std::printf("load average after: %s\n", bench::LoadAverage().c_str());
  return 0;
}

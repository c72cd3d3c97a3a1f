// Timing program of the held-job manager's transfers as a person runs
// them: the real program in its own process, its drawn buttons clicked,
// against an emulated box in another process and LPRng's lpd in a network
// namespace of its own (hold_window_probe runs the rounds there):
//   - a 64 MiB job downloaded (Download clicked, the Save chooser
//     answered), against a plain socket read that writes its file;
//   - uploads of 64 MiB and 1 MiB (Yes clicked in the upload question)
//     into the daemon, against Debian's lpr to the same daemon;
// alternating with the reference tool round by round, first on the
// machine as it is, then with busy processes of the benchmark's own beside
// it, each headless and under Xvfb, and each of those with the box (the
// emulated box and the daemon) sharing the CPUs as the scheduler places it
// and with the box on a CPU of its own, the computer's processes kept off
// it, as a real box has a processor of its own. Every condition's figures
// are printed under its label with the load average, then all of them in
// one summary. Every byte of every file is compared.
//
//   hold_bench [rounds] [busy-processes]   (default 5 and 4)
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "bench_util.h"
#include "lpd/lpd_namespace.h"
#include "test_support.h"

int main(int argc, char** argv) {
  bench::Args args(argc, argv, "[rounds] [busy-processes]");
  const int rounds = int(args.Number(1, 5, 1, 1000));
  const int burners = int(args.Number(2, 4, 0, 256));
  args.End(2);
  testsupport::TempDir dir;
  const std::size_t kBig = 64u << 20;
  const std::string big = (dir.path() / "up64.bin").string(), small = (dir.path() / "up1.bin").string();
  testsupport::WriteFile(big, bench::RandomBytes(kBig, 64));
  testsupport::WriteFile(small, bench::RandomBytes(1u << 20, 1));
  std::printf("held-job manager transfers, the program as a person runs it; %d rounds; load average: %s\n", rounds,
              bench::LoadAverage().c_str());
  std::fflush(stdout);
  const std::string probe = std::string(HOLD_WINDOW_PROBE) + " " + std::to_string(rounds) + " " + std::to_string(kBig) +
                            " " + std::to_string(burners) + " \"$LPD\" /var/spool/lpd/hold_1 '" + big + "' '" + small +
                            "'";
  holdtest::LpdRun run = holdtest::RunWithLpd((dir.path() / "lpd").string(), 1, probe + "; echo PROBE $?", 3600);
  if (!run.ran) {
    std::printf("not run: %s\n", run.why.c_str());
    return 2;
  }
  // The probe's report, without the daemon's list of what it holds.
  std::istringstream in(run.output);
  int status = -1;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("FILE ", 0) == 0 || line.rfind("LINE ", 0) == 0) continue;
    if (line.rfind("PROBE ", 0) == 0) {
      status = std::stoi(line.substr(6));
      continue;
    }
    std::printf("%s\n", line.c_str());
  }
  std::printf("load average after: %s\n", bench::LoadAverage().c_str());
  if (status != 0) std::printf("what the run said:\n%s", testsupport::ReadFile(dir.path() / "lpd/run.err").c_str());
  return status == 0 ? 0 : 1;
}

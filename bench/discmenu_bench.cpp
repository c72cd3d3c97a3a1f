// The disc start menu's start: from the process start to the first screen
// drawn (the script's first line runs at the first loop pass after the
// window was drawn; it writes one line and the program ends). Alternates
// run by run with the start of /bin/true, the floor of any process start
// here. Prints median and spread of both, with the load average.
//
//   build-rel/bench/discmenu_bench [runs] [disc folder]
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_util.h"

extern char** environ;

namespace {

double nowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void report(const char* what, std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const double median = v[v.size() / 2];
  std::printf("%-28s median %7.1f ms   min %7.1f   max %7.1f   (n=%zu)\n", what, median, v.front(), v.back(),
              v.size());
}

}  // namespace

int main(int argc, char** argv) {
  bench::Args args(argc, argv, "[runs] [disc folder]");
  const int runs = int(args.Number(1, 15, 1, 10000));
  const std::string disc = args.Text(2, VEMO_DISC_DEFAULT);
  args.End(2);
  const std::string exe = disc + "/setup.app/Contents/MacOS/setup";
  char tmpl[] = "/tmp/discmenu-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string home = tmpl;
  const std::string script = home + "/first.txt";
  std::ofstream(script) << "wait-window VEMOPLEX\nlog ready\nexit 0\n";
  const std::vector<std::string> env = {"TOOLBOX_SCRIPT=" + script, "TOOLBOX_HEADLESS=1", "TOOLBOX_LANG=en",
                                        "TOOLBOX_NET=loopback", "XDG_RUNTIME_DIR=" + home + "/run",
                                        "XDG_CONFIG_HOME=" + home + "/config"};
  std::printf("load average before: %s\n", bench::LoadAverage().c_str());
  std::vector<double> menu, floor;
  for (int i = 0; i < runs; ++i) {
    int fds[2];
    if (pipe(fds) != 0) return 1;
    const double t0 = nowMs();
    const pid_t pid = bench::SpawnWithEnv(exe, env, fds[1]);
    close(fds[1]);
    std::string seen;
    double ready = 0;
    char buf[256];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) {
      seen.append(buf, std::size_t(n));
      if (!ready && seen.find("ready") != std::string::npos) ready = nowMs();
    }
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    if (!ready) {
      std::fprintf(stderr, "setup showed no menu: %s\n", seen.c_str());
      return 1;
    }
    menu.push_back(ready - t0);
    const double r0 = nowMs();
    const pid_t t = bench::SpawnWithEnv("/bin/true", {}, -1);
    waitpid(t, nullptr, 0);
    floor.push_back(nowMs() - r0);
  }
  report("setup: start to first screen", menu);
  report("/bin/true: start to end", floor);
  std::printf("load average after:  %s\n", bench::LoadAverage().c_str());
  std::filesystem::remove_all(home);
  return 0;
}

// Installs the whole suite from the build's disc with the installer's copy
// engine, one step at a time as the wizard runs it, and copies the disc's
// program tree with `cp -a`, alternating round by round. Prints the load
// average, every run, medians, spreads and the ratio; every install is
// checked byte for byte against the disc.
//
//   install_bench [rounds] [disc folder]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "Installer/CopyEngine.h"

namespace fs = std::filesystem;

namespace {

double seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::size_t sameTree(const fs::path& a, const fs::path& b) {
  std::size_t bytes = 0;
  for (auto& e : fs::recursive_directory_iterator(a)) {
    fs::path other = b / fs::relative(e.path(), a);
    if (e.is_symlink() || !e.is_regular_file()) continue;
    std::ifstream x(e.path(), std::ios::binary), y(other, std::ios::binary);
    std::string p((std::istreambuf_iterator<char>(x)), {}), q((std::istreambuf_iterator<char>(y)), {});
    if (p != q) {
      std::fprintf(stderr, "%s differs\n", other.c_str());
      std::exit(1);
    }
    bytes += p.size();
  }
  return bytes;
}

double runOurs(const fs::path& disc, const fs::path& home, std::size_t& bytes) {
  fs::remove_all(home);
  fs::create_directories(home);
  const fs::path contents = disc / "vemoplexinstall.app/Contents";
  TOOL_DATA tools[kToolMax] = {};
  SInt16 count = 0;
  for (const char* name : {"VEMO-ADMIN", "VEMO-MONITOR", "VemoHoldManager"}) {
    std::strcpy(tools[count].cToolName, name);
    tools[count++].bEnable = true;
  }
  CopyEngine engine({(contents / "MacOS").string(), "English", (contents / "Resources/COPYFILE.INI").string(),
                     home.string(), "VEMOPLEX"},
                    tools, &count);
  auto start = std::chrono::steady_clock::now();
  CopyEngine::Step s;
  while ((s = engine.Copy_Preparation()) == CopyEngine::Step::More) {
  }
  double t = seconds(start);
  if (s != CopyEngine::Step::Done || !engine.failures().empty()) {
    std::fprintf(stderr, "install failed\n");
    std::exit(1);
  }
  bytes = 0;
  for (auto& e : fs::directory_iterator(disc / "TOOL"))
    if (e.path().extension() == ".app") bytes += sameTree(e.path(), home / "VEMOPLEX" / e.path().filename());
  return t;
}

double runCp(const fs::path& disc, const fs::path& into) {
  fs::remove_all(into);
  const double t = bench::SpawnTimed({"cp", "-a", (disc / "TOOL").string(), into.string()});
  if (t < 0) std::exit(1);
  return t;
}

void report(const char* name, std::vector<double> t) {
  std::sort(t.begin(), t.end());
  std::printf("%-8s median %.4f s  min %.4f  max %.4f  spread %.1f%%\n", name, t[t.size() / 2], t.front(), t.back(),
              100.0 * (t.back() - t.front()) / t[t.size() / 2]);
}

}  // namespace

int main(int argc, char** argv) {
  bench::Args args(argc, argv, "[rounds] [disc folder]");
  const int rounds = int(args.Number(1, 9, 1, 1000));
  const fs::path disc = args.Text(2, VEMO_DISC_DEFAULT);
  args.End(2);
  fs::path work = fs::temp_directory_path() / ("install_bench." + std::to_string(getpid()));
  fs::create_directories(work);
  std::printf("load average before: %s\n", bench::LoadAverage().c_str());
  std::vector<double> ours, cp;
  std::size_t bytes = 0;
  for (int i = 0; i < rounds; ++i) {
    // Alternating which goes first, so neither always meets a warm cache.
    if (i % 2 == 0) {
      ours.push_back(runOurs(disc, work / "home", bytes));
      cp.push_back(runCp(disc, work / "cp"));
    } else {
      cp.push_back(runCp(disc, work / "cp"));
      ours.push_back(runOurs(disc, work / "home", bytes));
    }
    std::printf("round %d: install %.4f s, cp -a %.4f s\n", i, ours.back(), cp.back());
  }
  std::printf("bytes installed and checked per round: %zu\n", bytes);
  report("install", ours);
  report("cp -a", cp);
  std::sort(ours.begin(), ours.end());
  std::sort(cp.begin(), cp.end());
  std::printf("speed of install relative to cp -a (cp time / install time): %.2fx\n",
              cp[cp.size() / 2] / ours[ours.size() / 2]);
  std::printf("load average after: %s\n", bench::LoadAverage().c_str());
  fs::remove_all(work);
  return 0;
}

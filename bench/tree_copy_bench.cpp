// Copies a tree of 2,000 files (200 MB in all, in nested folders, with
// executables and links) with the toolbox's tree copy and with `cp -a`,
// alternating, and prints the load average, each run, the medians and
// spreads, and their ratio. Both results are compared with the source.
//
//   tree_copy_bench [rounds] [work folder]
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "toolbox/fileservices.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 2000;
constexpr std::size_t kTotal = 200u << 20;

// Sizes from 1 KB to about 200 KB, scaled so they add up to kTotal.
void MakeTree(const fs::path& root) {
  std::mt19937 rng(2026);
  std::vector<std::size_t> sizes(kFiles);
  std::size_t sum = 0;
  for (auto& s : sizes) sum += (s = 1024 + rng() % (200 * 1024));
  std::vector<char> data(256 * 1024);
  for (auto& c : data) c = char(rng());
  std::size_t written = 0;
  for (int i = 0; i < kFiles; ++i) {
    std::size_t size = i + 1 == kFiles ? kTotal - written : sizes[std::size_t(i)] * kTotal / sum;
    written += size;
    fs::path dir = root / ("Tool" + std::to_string(i % 10) + ".app") / "Contents" / ("Part" + std::to_string(i % 7));
    fs::create_directories(dir);
    fs::path file = dir / ("file" + std::to_string(i));
    std::ofstream out(file, std::ios::binary);
    for (std::size_t left = size, off = std::size_t(i % 1000); left > 0; off = 0) {
      const std::size_t n = std::min(left, data.size() - off);
      out.write(data.data() + off, std::streamsize(n));
      left -= n;
    }
    out.close();
    if (i % 50 == 0) fs::permissions(file, fs::perms(0755));
    if (i % 100 == 0) fs::create_symlink(file.filename(), dir / ("link" + std::to_string(i)));
  }
}

bool SameTree(const fs::path& a, const fs::path& b, std::size_t& bytes) {
  bytes = 0;
  std::size_t items = 0;
  for (auto it = fs::recursive_directory_iterator(a); it != fs::recursive_directory_iterator(); ++it) {
    ++items;
    fs::path rel = it->path().lexically_relative(a);
    struct stat sa, sb;
    auto differ = [&](const char* what) {
      std::fprintf(stderr, "%s differs: %s\n", rel.c_str(), what);
      return false;
    };
    if (::lstat(it->path().c_str(), &sa) != 0 || ::lstat((b / rel).c_str(), &sb) != 0) return differ("presence");
    if (sa.st_mode != sb.st_mode) return differ("mode");
    if (sa.st_mtime != sb.st_mtime) return differ("modification time");
    if (S_ISLNK(sa.st_mode) && fs::read_symlink(it->path()) != fs::read_symlink(b / rel)) return differ("link");
    if (S_ISREG(sa.st_mode)) {
      if (sa.st_size != sb.st_size) return differ("size");
      std::ifstream x(it->path(), std::ios::binary), y(b / rel, std::ios::binary);
      std::vector<char> p(1 << 16), q(1 << 16);
      while (x && y) {
        x.read(p.data(), std::streamsize(p.size()));
        y.read(q.data(), std::streamsize(q.size()));
        if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin()))
          return differ("bytes");
      }
      bytes += std::size_t(sa.st_size);
    }
  }
  std::size_t other = 0;
  for (auto it = fs::recursive_directory_iterator(b); it != fs::recursive_directory_iterator(); ++it) ++other;
  if (items != other) std::fprintf(stderr, "%zu items, copy has %zu\n", items, other);
  return items == other;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// User and system time used so far by this process, or by its waited-for
// children.
double CpuSeconds(int who) {
  struct rusage ru;
  ::getrusage(who, &ru);
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double gCpu = 0;  // processor time of the last run

double RunOurs(const fs::path& src, const fs::path& into) {
  FSSpec from, folder;
  tb::PathToSpec(src.string(), &from);
  tb::PathToSpec(into.string(), &folder);
  const double cpu = CpuSeconds(RUSAGE_SELF);
  auto start = std::chrono::steady_clock::now();
  OSErr err = FSpCopyObject(&from, &folder, nullptr, nullptr);
  double t = Seconds(start);
  gCpu = CpuSeconds(RUSAGE_SELF) - cpu;
  if (err) {
    std::fprintf(stderr, "copy failed: %d\n", err);
    std::exit(1);
  }
  return t;
}

double RunCp(const fs::path& src, const fs::path& into) {
  const double cpu = CpuSeconds(RUSAGE_CHILDREN);
  const double t = bench::SpawnTimed({"cp", "-a", src.string(), (into / src.filename()).string()});
  gCpu = CpuSeconds(RUSAGE_CHILDREN) - cpu;
  if (t < 0) {
    std::fprintf(stderr, "cp -a failed\n");
    std::exit(1);
  }
  return t;
}

void Report(const char* name, std::vector<double> t) {
  std::sort(t.begin(), t.end());
  const double median = t[t.size() / 2];
  std::printf("%-8s median %.3f s  (%.0f MB/s)  min %.3f  max %.3f  spread %.0f%%\n", name, median,
              double(kTotal) / (1 << 20) / median, t.front(), t.back(), 100.0 * (t.back() - t.front()) / median);
}

}  // namespace

int main(int argc, char** argv) {
  bench::Args args(argc, argv, "[rounds] [work folder]  |  --copy <source> <folder>");
  // One copy alone, for profiling.
  if (argc > 1 && std::string(argv[1]) == "--copy") {
    if (argc != 4) args.Usage("--copy takes a source and a folder");
    std::printf("%.3f s\n", RunOurs(argv[2], argv[3]));
    return 0;
  }
  const int rounds = int(args.Number(1, 5, 1, 1000));
  const fs::path work =
      args.Text(2, (fs::temp_directory_path() / ("tree-copy-bench-" + std::to_string(getpid()))).string());
  args.End(2);
  fs::path src = work / "Source", ours = work / "ours", theirs = work / "cp";
  fs::remove_all(work);
  fs::create_directories(ours);
  fs::create_directories(theirs);
  MakeTree(src);
  std::printf("tree: %d files, %zu MB; load average before: %s\n", kFiles, kTotal >> 20, bench::LoadAverage().c_str());
  std::vector<double> a, b, ca, cb, ratio;
  for (int r = 0; r < rounds; ++r) {
    fs::remove_all(ours / "Source");
    fs::remove_all(theirs / "Source");
    ::sync();  // neither run pays for the other's write-back
    // Alternate which goes first.
    auto ourRun = [&] {
      a.push_back(RunOurs(src, ours));
      ca.push_back(gCpu);
    };
    auto cpRun = [&] {
      b.push_back(RunCp(src, theirs));
      cb.push_back(gCpu);
    };
    if (r % 2 == 0) {
      ourRun();
      ::sync();
      cpRun();
    } else {
      cpRun();
      ::sync();
      ourRun();
    }
    ratio.push_back(b.back() / a.back());
    std::printf("round %d: ours %.3f s (cpu %.3f), cp -a %.3f s (cpu %.3f)   load %s\n", r + 1, a.back(), ca.back(),
                b.back(), cb.back(), bench::LoadAverage().c_str());
  }
  std::size_t bytesOurs = 0, bytesCp = 0;
  const bool okOurs = SameTree(src, ours / "Source", bytesOurs);
  const bool okCp = SameTree(src, theirs / "Source", bytesCp);
  Report("ours", a);
  Report("cp -a", b);
  std::vector<double> sa = a, sb = b;
  std::sort(sa.begin(), sa.end());
  std::sort(sb.begin(), sb.end());
  std::printf("speed ours / cp -a (medians): %.2fx\n", sb[sb.size() / 2] / sa[sa.size() / 2]);
  std::sort(ratio.begin(), ratio.end());
  std::printf("speed ours / cp -a (median of the rounds' ratios): %.2fx, from %.2fx to %.2fx\n",
              ratio[ratio.size() / 2], ratio.front(), ratio.back());
  Report("ours cpu", ca);
  Report("cp cpu", cb);
  std::printf("result trees: ours %s (%zu bytes), cp -a %s (%zu bytes)\n", okOurs ? "identical" : "DIFFER", bytesOurs,
              okCp ? "identical" : "DIFFER", bytesCp);
  std::printf("load average after: %s\n", bench::LoadAverage().c_str());
  fs::remove_all(work);
  return okOurs && okCp ? 0 : 1;
}

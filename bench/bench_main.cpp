// The main of every benchmark: Google Benchmark's, with the load average
// in the context block before the figures and again after them. A run that
// measures nothing (help asked for, a flag it does not know, a filter that
// matches no benchmark) says so and fails.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "load_average.h"

namespace {

int usage(const char* program, const char* why) {
  std::fprintf(stderr,
               "%s: %s; nothing was measured\n"
               "usage: %s [--benchmark_filter=<regex>] [--benchmark_repetitions=<n>] [other --benchmark_ flags]\n",
               program, why, program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") return usage(argv[0], "asked for help");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return usage(argv[0], "an argument it does not know");
  benchmark::AddCustomContext("load average at start", bench::LoadAverage());
  const std::size_t ran = benchmark::RunSpecifiedBenchmarks();
  std::fprintf(stderr, "load average at end: %s\n", bench::LoadAverage().c_str());
  benchmark::Shutdown();
  if (ran == 0) return usage(argv[0], "no benchmark matches the filter");
  return 0;
}

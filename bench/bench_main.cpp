// The main of every benchmark: Google Benchmark's, with the load average
// in the context block before the figures and again after them.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "load_average.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::AddCustomContext("load average at start", bench::LoadAverage());
  benchmark::RunSpecifiedBenchmarks();
  std::fprintf(stderr, "load average at end: %s\n", bench::LoadAverage().c_str());
  benchmark::Shutdown();
  return 0;
}

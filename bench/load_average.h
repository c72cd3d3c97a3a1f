// The machine's load average, printed beside every benchmark's figures so
// that a reader can tell a quiet run from a crowded one.
#pragma once

#include <fstream>
#include <string>

namespace bench {

// "/proc/loadavg" as it reads ("0.42 0.51 0.60 1/234 5678"), or "unknown".
inline std::string LoadAverage() {
  std::ifstream f("/proc/loadavg");
  std::string line;
  if (!std::getline(f, line) || line.empty()) return "unknown";
  return line;
}

// The one-minute figure, for a counter beside a benchmark's own (-1 when
// unknown).
inline double LoadAverage1() {
  std::ifstream f("/proc/loadavg");
  double v = -1;
  f >> v;
  return f ? v : -1;
}

}  // namespace bench

// Reporting a broken invariant: the condition and where it stands, then an
// abort.
#include "toolbox/invariant.h"

#include <cstdio>
#include <cstdlib>

void tb::InvariantFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant failed: %s\n", file, line, condition);
  std::fflush(stderr);
  std::abort();
}

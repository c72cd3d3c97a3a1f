// The bound on one turn of a network target's loop: it is the input's
// work that must stay short, not the kernel's, which a loaded machine
// stretches (socket set-up among thousands of sockets in TIME_WAIT).
#include <sys/mman.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "fuzz_support.h"

namespace {

long systemMs() {
  rusage ru{};
  getrusage(RUSAGE_THREAD, &ru);
  return long(ru.ru_stime.tv_sec) * 1000 + ru.ru_stime.tv_usec / 1000;
}

long userMs() { return fuzz::ThreadUserMs(); }

TEST(FuzzTurnBound, KernelTimeIsTheMachinesAndAnInputsLoopIsCaught) {
  // A turn whose time goes to the kernel, as a bind on a crowded machine's
  // goes (here: memory the kernel maps and clears, which costs our own code
  // next to nothing): it passes however long it takes.
  fuzz::TimedTurn([&] {
    const long start = systemMs();
    while (systemMs() - start < 2 * fuzz::kTurnBoundMs) {
      constexpr std::size_t kSize = 8u << 20;
      void* p = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
      ASSERT_NE(p, MAP_FAILED);
      munmap(p, kSize);
    }
  });
  // A turn that spins in our own code fails, as an input that made it spin
  // must.
  EXPECT_DEATH(fuzz::TimedTurn([] {
                 const long start = userMs();
                 volatile unsigned long n = 0;
                 while (userMs() - start < 2 * fuzz::kTurnBoundMs) n = n + 1;
               }),
               "a turn of the loop stays short");
}

}  // namespace

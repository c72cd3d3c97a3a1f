// The scoped port, region, descriptor and watch types: each gives back what
// it took on every way out of its scope, and a moved-from one gives nothing.
// And the invariant check those and the other managers lean on.
#include <fcntl.h>
#include <unistd.h>

#include <utility>

#include <gtest/gtest.h>

#include "toolbox/invariant.h"
#include "toolbox/pump.h"
#include "toolbox/quickdraw.h"

namespace {

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(Scoped, PortSaverPutsBackTheCallersPortUnlessItIsGone) {
  CGrafPtr outer = tb::NewPort(10, 10), inner = tb::NewPort(10, 10);
  SetPort(outer);
  {
    tb::PortSaver saver(inner);
    EXPECT_EQ(GetQDGlobalsThePort(), inner);
    EXPECT_EQ(saver.saved(), outer);
    SetPort(outer);  // the scope may move the port on; the end still restores
    SetPort(inner);
  }
  EXPECT_EQ(GetQDGlobalsThePort(), outer);

  // The saved port is disposed inside the scope: the end leaves the
  // current port alone rather than making a dead port current.
  {
    tb::PortSaver saver(inner);
    tb::DisposePort(outer);
  }
  EXPECT_EQ(GetQDGlobalsThePort(), inner);
  tb::DisposePort(inner);
}

TEST(Scoped, OwnedRgnIsDisposedOnceAndMovesItsRegion) {
  tb::OwnedRgn a;
  ASSERT_NE(a.get(), nullptr);
  SetRectRgn(a, 0, 0, 10, 10);
  RgnHandle h = a.get();
  tb::OwnedRgn b = std::move(a);
  EXPECT_EQ(a.get(), nullptr);
  EXPECT_EQ(b.get(), h);
  EXPECT_FALSE(EmptyRgn(b));
  b = tb::OwnedRgn();  // the old region goes (ASan reports a leak otherwise)
  EXPECT_TRUE(EmptyRgn(b));
  RgnHandle kept = b.release();
  EXPECT_EQ(b.get(), nullptr);
  DisposeRgn(kept);
  tb::OwnedRgn none(nullptr);  // adopting nothing disposes nothing
}

TEST(Scoped, OwnedGWorldIsMadeOnlyForASizeItCanHold) {
  {
    tb::OwnedGWorld w(40, 20);
    ASSERT_NE(w.get(), nullptr);
    EXPECT_TRUE(tb::IsGWorld(w.get()));
    EXPECT_EQ(tb::PortWidth(w.get()), 40);
    EXPECT_EQ(tb::PortHeight(w.get()), 20);
    EXPECT_NE(w.bits(), nullptr);
  }
  for (auto [width, height] : {std::pair{0, 10}, std::pair{10, -1}, std::pair{40000, 10}})
    EXPECT_EQ(tb::OwnedGWorld(width, height).get(), nullptr) << width << "x" << height;
  EXPECT_EQ(tb::OwnedGWorld(Rect{5, 5, 5, 9}).get(), nullptr);
}

TEST(Scoped, UniqueFdAndWatchGuardCloseAndUnwatchOnEveryPath) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const int watches = tb::WatchCount();
  {
    tb::UniqueFd r(fds[0]), w(fds[1]);
    tb::WatchGuard watch(r.get(), tb::kReadable, [](int, short) {});
    EXPECT_EQ(tb::WatchCount(), watches + 1);
    tb::WatchGuard moved = std::move(watch);
    EXPECT_FALSE(watch);
    EXPECT_EQ(tb::WatchCount(), watches + 1);
    tb::UniqueFd w2 = std::move(w);
    EXPECT_FALSE(w);
    EXPECT_EQ(w2.close(), 0);
    EXPECT_FALSE(isOpen(fds[1]));
    EXPECT_EQ(w2.close(), 0);  // a second close is a no-op, not a close of a reused number
  }
  EXPECT_EQ(tb::WatchCount(), watches);
  EXPECT_FALSE(isOpen(fds[0]));

  ASSERT_EQ(::pipe(fds), 0);
  tb::UniqueFd keep(fds[0]);
  int raw = keep.release();
  keep.reset(fds[1]);
  EXPECT_TRUE(isOpen(raw));
  keep.reset();
  EXPECT_FALSE(isOpen(fds[1]));
  ::close(raw);
}

}  // namespace

#ifndef NDEBUG
// In the debug (sanitizer) build a broken invariant stops the program at
// once and names itself; a held one costs nothing visible.
TEST(Invariant, ABrokenOneAbortsNamingTheCondition) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  int calls = 0;
  TB_INVARIANT(++calls == 1);
  EXPECT_EQ(calls, 1);
  EXPECT_DEATH(TB_INVARIANT(calls == 2), "scoped_test.cpp:[0-9]+: invariant failed: calls == 2");
}
#endif

// The toolbox's core: big-endian fields, bounded copies, memory blocks,
// virtual ticks and the pump's handlers and deferred work.
#include <gtest/gtest.h>

#include <unistd.h>
#include <functional>

#include "toolbox/clock.h"
#include "toolbox/memory.h"
#include "toolbox/pump.h"
#include "toolbox/types.h"

TEST(BigEndian, FieldsRoundTripWhateverTheHost) {
  UInt8 buf[7] = {};
  be::put16(buf, 0x1234);
  be::put24(buf + 2, 0xABCDEF);
  EXPECT_EQ(buf[0], 0x12);
  EXPECT_EQ(buf[4], 0xEF);
  EXPECT_EQ(be::get24(buf + 2), 0xABCDEFu);
  UInt32 v = 0;
  EXPECT_FALSE(be::get32(std::span<const UInt8>(buf, 7), 4, v));
  EXPECT_TRUE(be::get32(std::span<const UInt8>(buf, 7), 3, v));
  EXPECT_EQ(FourCC("CNFG"), 0x434E4647u);
  EXPECT_EQ(OSType('CNFG'), FourCC("CNFG"));
}

TEST(PascalStrings, CopiesAreCutToTheDestination) {
  Str255 big;
  pstr::set(big, sizeof big, std::string(300, 'x'));
  EXPECT_EQ(big[0], 255);
  Str63 small;
  pstr::copy(small, sizeof small, big);
  EXPECT_EQ(small[0], 63);
  char c[10];
  pstr::toC(c, sizeof c, big);
  EXPECT_EQ(std::string(c), std::string(9, 'x'));
}

TEST(Memory, BlocksKnowTheirSizeAndNeverMove) {
  Ptr p = NewPtrClear(16);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(GetPtrSize(p), 16);
  EXPECT_EQ(p[15], 0);
  SetPtrSize(p, 32);
  EXPECT_EQ(MemError(), memFullErr);
  EXPECT_EQ(GetPtrSize(p), 16);
  SetPtrSize(p, 8);
  EXPECT_EQ(MemError(), noErr);
  EXPECT_EQ(GetPtrSize(p), 8);
  DisposePtr(p);

  Handle h = NewHandleClear(4);
  std::memcpy(*h, "abcd", 4);
  SetHandleSize(h, 8);
  EXPECT_EQ(GetHandleSize(h), 8);
  EXPECT_EQ(std::string(*h, 4), "abcd");
  EXPECT_EQ((*h)[7], 0);
  EXPECT_TRUE(TBIsHandle(h));
  Handle copy = h;
  ASSERT_EQ(HandToHand(&copy), noErr);
  EXPECT_NE(copy, h);
  DisposeHandle(copy);
  DisposeHandle(h);
  EXPECT_EQ(NewPtr(-1), nullptr);
  EXPECT_EQ(MemError(), paramErr);
}

TEST(Clock, VirtualTicksMoveOnlyWhenAdvanced) {
  tb::UseVirtualClock(true);
  UInt32 t0 = TickCount();
  usleep(40000);
  EXPECT_EQ(TickCount(), t0);
  tb::AdvanceTicks(300);
  EXPECT_EQ(TickCount(), t0 + 300);
  tb::UseVirtualClock(false);
}

TEST(Pump, RunsReadyHandlersAndDeferredWorkWithoutReentry) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int calls = 0, nested = 0;
  int id = tb::WatchFD(fds[0], tb::kReadable, [&](int fd, short) {
    ++calls;
    char c;
    // A nested pump (a modal loop inside a handler) must not re-enter us.
    ASSERT_EQ(write(fds[1], "y", 1), 1);
    tb::Pump(0);
    ASSERT_EQ(read(fd, &c, 1), 1);
  });
  tb::Defer([&] { ++nested; });
  EXPECT_TRUE(tb::Pump(0));  // deferred work ran even with nothing readable
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(calls, 0);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  EXPECT_TRUE(tb::Pump(100));
  EXPECT_EQ(calls, 1);
  tb::Pump(100);  // the byte written inside the handler
  EXPECT_EQ(calls, 2);
  tb::UnwatchFD(id);
  close(fds[0]);
  close(fds[1]);
}

// Work that puts its own next step off to the next pass (a reader taking a
// flood in bounded steps) gives the loop back after each step, however
// much is left, and the loop does not sleep while a step is owed.
TEST(Pump, WorkPutOffToTheNextPassRunsOneStepAPass) {
  int steps = 0;
  std::function<void()> step = [&] {
    if (++steps < 1000) tb::DeferToNextPass(step);
  };
  tb::Defer(step);
  EXPECT_TRUE(tb::Pump(0));
  EXPECT_EQ(steps, 1);
  EXPECT_TRUE(tb::Pump(60000));
  EXPECT_EQ(steps, 2);
  while (tb::Pump(0)) {
  }
  EXPECT_EQ(steps, 1000);
}

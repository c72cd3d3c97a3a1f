// The Event Manager: key events, masks and their order, flushing, posting,
// high-level events, waits, tracking, held keys, the bounded queue and
// cursors.
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "toolbox/clock.h"
#include "toolbox/events.h"
#include "toolbox/pump.h"

namespace {

struct EventsTest : ::testing::Test {
  void SetUp() override {
    tb::ResetEventState();
    tb::ResetBeepCount();
    FlushEvents(everyEvent, 0);
  }
  void TearDown() override {
    tb::UseVirtualClock(false);
    tb::SetHighLevelEventSource(nullptr);
    tb::ResetEventState();
  }
};

TEST_F(EventsTest, KeyEventsCarryCharacterAndKeyCode) {
  tb::PostKey(keyDown, 'q', 0x0C, cmdKey | shiftKey);
  EventRecord ev{};
  ASSERT_TRUE(GetNextEvent(everyEvent, &ev));
  EXPECT_EQ(ev.what, keyDown);
  EXPECT_EQ(ev.message & charCodeMask, UInt32('q'));
  EXPECT_EQ((ev.message & keyCodeMask) >> 8, 0x0Cu);
  EXPECT_EQ(ev.modifiers & (cmdKey | shiftKey | btnState), cmdKey | shiftKey | btnState);  // button up
  EXPECT_FALSE(GetNextEvent(everyEvent, &ev));
  EXPECT_EQ(ev.what, nullEvent);
}

TEST_F(EventsTest, MasksLeaveOtherEventsQueuedInOrder) {
  tb::PostKey(keyDown, 'a', 0, 0);
  tb::PostMouse(mouseDown, Point{10, 20}, 0);
  tb::PostKey(keyDown, 'b', 0, 0);
  EventRecord ev{};
  ASSERT_TRUE(GetNextEvent(mDownMask, &ev));
  EXPECT_EQ(ev.what, mouseDown);
  EXPECT_EQ(ev.where.h, 20);
  EXPECT_FALSE(ev.modifiers & btnState);
  ASSERT_TRUE(EventAvail(everyEvent, &ev));
  EXPECT_EQ(ev.message & 0xFF, UInt32('a'));
  EXPECT_EQ(tb::QueuedEventCount(), 2);
  ASSERT_TRUE(GetNextEvent(keyDownMask, &ev));
  EXPECT_EQ(ev.message & 0xFF, UInt32('a'));
  ASSERT_TRUE(GetNextEvent(keyDownMask, &ev));
  EXPECT_EQ(ev.message & 0xFF, UInt32('b'));
}

TEST_F(EventsTest, FlushEventsStopsAtTheStopMask) {
  tb::PostKey(keyDown, 'a', 0, 0);
  tb::PostMouse(mouseDown, Point{1, 1}, 0);
  tb::PostKey(keyDown, 'b', 0, 0);
  FlushEvents(keyDownMask, mDownMask);
  EventRecord ev{};
  ASSERT_TRUE(GetNextEvent(everyEvent, &ev));
  EXPECT_EQ(ev.what, mouseDown);
  ASSERT_TRUE(GetNextEvent(everyEvent, &ev));
  EXPECT_EQ(ev.message & 0xFF, UInt32('b'));
  tb::PostKey(keyDown, 'c', 0, 0);
  FlushEvents(everyEvent, 0);
  EXPECT_EQ(tb::QueuedEventCount(), 0);
}

TEST_F(EventsTest, PostEventRefusesKindsOtherManagersMake) {
  EXPECT_EQ(PostEvent(keyDown, 'x'), noErr);
  EXPECT_NE(PostEvent(updateEvt, 0), noErr);
  EXPECT_NE(PostEvent(activateEvt, 0), noErr);
  EXPECT_EQ(tb::QueuedEventCount(), 1);
}

bool gHighLevelWaiting = true;
bool peekHighLevel(UInt32* cls, UInt32* id) {
  if (!gHighLevelWaiting) return false;
  *cls = 'JCev';
  *id = 'apop';
  return true;
}

TEST_F(EventsTest, HighLevelEventsPackTheIdInWhere) {
  tb::SetHighLevelEventSource(peekHighLevel);
  tb::PostKey(keyDown, 'a', 0, 0);
  EventRecord ev{};
  ASSERT_TRUE(WaitNextEvent(everyEvent, &ev, 0, nullptr));
  EXPECT_EQ(ev.what, keyDown);  // input first
  ASSERT_TRUE(WaitNextEvent(everyEvent, &ev, 0, nullptr));
  EXPECT_EQ(ev.what, kHighLevelEvent);
  EXPECT_EQ(ev.message, UInt32('JCev'));
  EXPECT_EQ(HighLevelEventID(ev), UInt32('apop'));
  EXPECT_EQ(UInt16(ev.where.v), UInt16('apop' >> 16));
  EXPECT_FALSE(WaitNextEvent(everyEvent & ~highLevelEventMask, &ev, 0, nullptr));
  gHighLevelWaiting = false;
  EXPECT_FALSE(WaitNextEvent(everyEvent, &ev, 0, nullptr));
}

TEST_F(EventsTest, WaitNextEventWakesAtOnceForAReadyDescriptor) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int calls = 0;
  int id = tb::WatchFD(fds[0], tb::kReadable, [&](int fd, short) {
    char c;
    EXPECT_EQ(read(fd, &c, 1), 1);
    ++calls;
  });
  std::thread writer([&] {
    usleep(20000);
    EXPECT_EQ(write(fds[1], "x", 1), 1);
  });
  EventRecord ev{};
  const UInt64 start = tb::MonotonicMicros();
  // Ten minutes of sleep: only the descriptor can end this wait.
  EXPECT_FALSE(WaitNextEvent(everyEvent, &ev, 60 * 600, nullptr));
  const UInt64 waited = tb::MonotonicMicros() - start;
  writer.join();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ev.what, nullEvent);
  EXPECT_LT(waited, 60u * 1000000);
  tb::UnwatchFD(id);
  close(fds[0]);
  close(fds[1]);
}

TEST_F(EventsTest, VirtualClockWaitsDoNotSleepButDelayAdvancesTime) {
  tb::UseVirtualClock(true);
  UInt32 t0 = TickCount();
  EventRecord ev{};
  const UInt64 start = tb::MonotonicMicros();
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(WaitNextEvent(everyEvent, &ev, 600, nullptr));
  EXPECT_LT(tb::MonotonicMicros() - start, 5u * 1000000);  // 20 x 10 s were not slept
  EXPECT_EQ(TickCount(), t0);
  UInt32 final = 0;
  Delay(10, &final);
  EXPECT_EQ(final, t0 + 10);
  EXPECT_EQ(TickCount(), t0 + 10);
}

TEST_F(EventsTest, TrackingSeesTheDragPathThenTheRelease) {
  tb::PostMouse(mouseDown, Point{100, 100}, 0);
  tb::PostMouseMove(Point{110, 120});
  tb::PostMouseMove(Point{130, 150});
  tb::PostKey(keyDown, 'k', 0, 0);  // typed during the drag: stays queued
  tb::PostMouse(mouseUp, Point{140, 160}, 0);

  EventRecord ev{};
  ASSERT_TRUE(GetNextEvent(everyEvent, &ev));
  ASSERT_EQ(ev.what, mouseDown);
  EXPECT_FALSE(Button());      // the release is already queued
  EXPECT_FALSE(StillDown());  // a mouse-up is pending
  Point p{};
  GetMouse(&p);
  EXPECT_EQ(p.v, 130);
  EXPECT_EQ(p.h, 150);
  EXPECT_FALSE(WaitMouseUp());  // takes the mouse-up
  GetMouse(&p);
  EXPECT_EQ(p.h, 160);
  EXPECT_FALSE(Button());
  ASSERT_TRUE(GetNextEvent(everyEvent, &ev));
  EXPECT_EQ(ev.what, keyDown);
  EXPECT_FALSE(GetNextEvent(everyEvent, &ev));
}

TEST_F(EventsTest, APressFollowedByNothingOrOnlyAKeyEndsInsteadOfSpinning) {
  tb::PostMouse(mouseDown, Point{5, 5}, 0);
  EventRecord ev{};
  ASSERT_TRUE(GetNextEvent(everyEvent, &ev));
  EXPECT_FALSE(StillDown());
  EXPECT_FALSE(Button());
  tb::PostMouse(mouseDown, Point{5, 5}, 0);
  tb::PostKey(keyDown, 'k', 0, 0);
  ASSERT_TRUE(GetNextEvent(everyEvent, &ev));
  ASSERT_EQ(ev.what, mouseDown);
  EXPECT_FALSE(StillDown());  // a tracking loop would otherwise never end
  ASSERT_TRUE(GetNextEvent(everyEvent, &ev));
  EXPECT_EQ(ev.what, keyDown);
}

TEST_F(EventsTest, KeysHeldShowInGetKeys) {
  tb::PostKey(keyDown, 'a', 0x00, 0);
  tb::PostKey(keyDown, 13, 0x24, 0);
  EventRecord ev{};
  while (GetNextEvent(everyEvent, &ev)) {
  }
  KeyMap keys{};
  GetKeys(keys);
  // Key code k is bit k % 8 of byte k / 8 of the map's memory.
  auto down = [&](int code) {
    const UInt8* bytes = reinterpret_cast<const UInt8*>(keys);
    return (bytes[code / 8] >> (code % 8)) & 1;
  };
  EXPECT_TRUE(down(0x00));
  EXPECT_TRUE(down(0x24));
  EXPECT_FALSE(down(0x35));
}

TEST_F(EventsTest, TheQueueIsBounded) {
  for (int i = 0; i < 5000; ++i) tb::PostKey(keyDown, 'a', 0, 0);
  EXPECT_LE(tb::QueuedEventCount(), 1024);
}

TEST_F(EventsTest, CursorsAreRememberedByKind) {
  SetCursor(*GetCursor(watchCursor));
  EXPECT_EQ(tb::CurrentCursorKind(), int(watchCursor));
  InitCursor();
  EXPECT_EQ(tb::CurrentCursorKind(), 0);
  EXPECT_EQ(GetCursor(99), nullptr);
}

}  // namespace

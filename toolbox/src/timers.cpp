// Event-loop timers, served from tb::Pump so that every wait of the toolbox
// (the event loops, modal dialogs, tracking, Delay) runs them.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "timers_internal.h"
#include "toolbox/carbonevents.h"
#include "toolbox/clock.h"

struct OpaqueEventLoopTimerRef {
  EventLoopTimerUPP proc;
  void* user;
  UInt64 due;       // toolbox microseconds; kNever when not armed
  UInt64 interval;  // 0: one call only
  bool running = false;
  bool removed = false;
  bool rearmed = false;  // the next fire time was set while running
};
struct OpaqueEventLoopRef {
  int unused;
};

namespace {

constexpr UInt64 kNever = ~UInt64(0);

std::vector<std::shared_ptr<OpaqueEventLoopTimerRef>>& timers() {
  static auto& t = *new std::vector<std::shared_ptr<OpaqueEventLoopTimerRef>>;
  return t;
}

OpaqueEventLoopRef gMainLoop{0};

UInt64 micros(EventTimerInterval seconds) {
  if (seconds <= 0) return 0;
  return UInt64(std::llround(seconds * 1e6));
}

UInt64 dueIn(EventTimerInterval seconds) {
  if (seconds < 0) return kNever;  // kEventDurationForever
  return tb::detail::ToolboxMicros() + micros(seconds);
}

auto find(EventLoopTimerRef t) {
  return std::find_if(timers().begin(), timers().end(), [t](const auto& p) { return p.get() == t; });
}

}  // namespace

UInt64 tb::detail::ToolboxMicros() {
  if (tb::VirtualClockOn()) return UInt64(TickCount()) * 1000000 / 60;
  return tb::MonotonicMicros();
}

SInt64 tb::detail::MicrosToNextTimer() {
  if (tb::VirtualClockOn()) return -1;
  UInt64 next = kNever;
  for (const auto& t : timers())
    if (!t->removed && !t->running) next = std::min(next, t->due);
  if (next == kNever) return -1;
  const UInt64 now = ToolboxMicros();
  return next <= now ? 0 : SInt64(next - now);
}

namespace {

// Calls a due timer and sets its next time; false when it has gone since.
bool fire(const std::shared_ptr<OpaqueEventLoopTimerRef>& t, UInt64 now) {
  // An earlier callback may have removed this one or moved it on.
  if (t->removed || t->running || t->due > now) return false;
  const UInt64 fired = t->due;
  t->running = true;
  t->rearmed = false;
  t->proc(t.get(), t->user);
  t->running = false;
  if (t->removed) {
    auto it = find(t.get());
    if (it != timers().end()) timers().erase(it);
    return true;
  }
  if (t->rearmed) return true;
  if (t->interval == 0) {
    t->due = kNever;
  } else {
    // The interval counts from the planned time; a timer that fell behind
    // (a long callback, a jump of the clock) is not called in a burst.
    const UInt64 after = tb::detail::ToolboxMicros();
    t->due = fired + t->interval;
    if (t->due <= after) t->due = after + t->interval;
  }
  return true;
}

}  // namespace

int tb::detail::RunDueTimers() {
  if (timers().empty()) return 0;
  const UInt64 now = ToolboxMicros();
  // Most passes find nothing due, and most of the rest one timer (a
  // program's idle timer): neither builds a list.
  const auto isDue = [now](const auto& t) { return !t->removed && !t->running && t->due <= now; };
  const auto first = std::find_if(timers().begin(), timers().end(), isDue);
  if (first == timers().end()) return 0;
  if (std::none_of(std::next(first), timers().end(), isDue)) {
    // Held here: the callback may remove the timer or add others.
    const std::shared_ptr<OpaqueEventLoopTimerRef> only = *first;
    return fire(only, now) ? 1 : 0;
  }
  std::vector<std::shared_ptr<OpaqueEventLoopTimerRef>> due;
  for (const auto& t : timers())
    if (isDue(t)) due.push_back(t);
  std::stable_sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a->due < b->due; });
  int ran = 0;
  for (const auto& t : due)
    if (fire(t, now)) ++ran;
  return ran;
}

EventLoopRef GetCurrentEventLoop() { return &gMainLoop; }
EventLoopRef GetMainEventLoop() { return &gMainLoop; }

EventTime GetCurrentEventTime() { return EventTime(tb::detail::ToolboxMicros()) / 1e6; }

OSStatus InstallEventLoopTimer(EventLoopRef loop, EventTimerInterval fireDelay, EventTimerInterval interval,
                               EventLoopTimerUPP proc, void* userData, EventLoopTimerRef* outTimer) {
  if (outTimer) *outTimer = nullptr;
  if (loop != &gMainLoop || !proc) return paramErr;
  auto t = std::make_shared<OpaqueEventLoopTimerRef>();
  t->proc = proc;
  t->user = userData;
  t->due = dueIn(fireDelay < 0 ? -1 : fireDelay);
  t->interval = micros(interval);
  timers().push_back(t);
  if (outTimer) *outTimer = t.get();
  return noErr;
}

OSStatus RemoveEventLoopTimer(EventLoopTimerRef timer) {
  auto it = find(timer);
  if (it == timers().end() || (*it)->removed) return paramErr;
  (*it)->removed = true;
  // A running timer is dropped when its callback returns.
  if (!(*it)->running) timers().erase(it);
  return noErr;
}

OSStatus SetEventLoopTimerNextFireTime(EventLoopTimerRef timer, EventTimerInterval nextFire) {
  auto it = find(timer);
  if (it == timers().end() || (*it)->removed) return paramErr;
  (*it)->due = dueIn(nextFire);
  (*it)->rearmed = true;
  return noErr;
}

int tb::EventLoopTimerCount() {
  return int(std::count_if(timers().begin(), timers().end(), [](const auto& t) { return !t->removed; }));
}

void tb::detail::ResetTimers() {
  for (auto& t : timers()) t->removed = true;
  timers().erase(std::remove_if(timers().begin(), timers().end(), [](const auto& t) { return !t->running; }),
                 timers().end());
}

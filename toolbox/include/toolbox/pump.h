// The toolbox's one place that waits. Managers that own descriptors (the
// network, Apple events, the display) register them here; the event loop,
// nested modal loops and busy waits all call Pump, so notifier-style work
// runs only from the loop and never on another thread.
#pragma once

#include <functional>

#include "toolbox/types.h"

namespace tb {

// Interest flags, the same values as poll(2).
enum : short { kReadable = 0x001, kWritable = 0x004 };

using FdHandler = std::function<void(int fd, short revents)>;

// Watches fd for the given interest; returns a watch id (> 0).
int WatchFD(int fd, short events, FdHandler handler);
// Changes the interest of a watch (0 pauses it without removing it).
void SetWatchEvents(int id, short events);
// Removes a watch; safe to call from inside its own handler.
void UnwatchFD(int id);

// Queues work to run from the next Pump. Safe from any thread.
void Defer(std::function<void()> fn);
// Wakes a Pump that is waiting, from any thread.
void Wake();

// Waits at most maxWaitMs real milliseconds (0: only look) until a watched
// descriptor is ready or deferred work is queued, then runs the ready
// handlers and the deferred work. A handler is never re-entered by a nested
// Pump while it runs. Returns true when anything ran.
bool Pump(int maxWaitMs);

// The Apple-event layer tells the Event Manager through this hook whether a
// high-level event is waiting (its class and id); the Event Manager then
// reports it as a high-level event (kind 23) and AEProcessAppleEvent takes it.
using HighLevelPeek = bool (*)(UInt32* eventClass, UInt32* eventID);
void SetHighLevelEventSource(HighLevelPeek peek);
HighLevelPeek HighLevelEventSource();

// Number of live watches (for tests of the managers that register them).
int WatchCount();

}  // namespace tb

// The emulator's thread: one poll over every service's sockets and the
// timers in ticks.
#include "reactor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>

#include "toolbox/clock.h"

namespace pboxemu {

Reactor::Reactor() = default;

Reactor::~Reactor() {
  Stop();
  if (wakeFd_ >= 0) close(wakeFd_);
}

void Reactor::Watch(int fd, std::function<void()> onReadable) { watches_.push_back({fd, std::move(onReadable)}); }

void Reactor::Unwatch(int fd) {
  watches_.erase(std::remove_if(watches_.begin(), watches_.end(), [fd](const WatchEntry& w) { return w.fd == fd; }),
                 watches_.end());
}

void Reactor::At(UInt32 due, std::function<void()> fn) { timers_.push_back({due, std::move(fn)}); }

bool Reactor::Start(std::string* error) {
  if (thread_.joinable()) return true;
  if (wakeFd_ < 0) wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    if (error) *error = std::string("eventfd: ") + std::strerror(errno);
    return false;
  }
  stop_ = false;
  thread_ = std::thread([this] { run(); });
  return true;
}

void Reactor::Stop() {
  if (!thread_.joinable()) return;
  stop_ = true;
  UInt64 one = 1;
  [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
  thread_.join();
}

bool Reactor::Settle(int realMs) {
  if (!thread_.joinable()) return true;  // nothing runs, so nothing is owed
  std::unique_lock<std::mutex> lock(settleMu_);
  UInt64 ticket = ++settleAsked_;
  UInt64 one = 1;
  [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
  return settled_.wait_for(lock, std::chrono::milliseconds(realMs),
                           [&] { return settleDone_ >= ticket || stop_; });
}

void Reactor::run() {
  std::vector<pollfd> fds;
  while (!stop_) {
    // Taken before the poll: a datagram sent before the settle was asked
    // for is in its socket by now, so this poll sees it.
    UInt64 asked = settleAsked_;
    bool busy = false;
    fds.clear();
    fds.push_back({wakeFd_, POLLIN, 0});
    for (const WatchEntry& w : watches_) fds.push_back({w.fd, POLLIN, 0});
    // The clock may be virtual, so pending timers are checked often rather
    // than slept for.
    int wait = timers_.empty() ? 500 : 2;
    {
      std::lock_guard<std::mutex> lock(settleMu_);
      if (asked > settleDone_) wait = 0;
    }
    int n = poll(fds.data(), fds.size(), wait);
    if (stop_) break;
    if (n > 0) {
      if (fds[0].revents) {
        UInt64 v;
        [[maybe_unused]] ssize_t r = read(wakeFd_, &v, sizeof v);
      }
      for (std::size_t i = 1; i < fds.size(); ++i) {
        if (!(fds[i].revents & (POLLIN | POLLERR))) continue;
        int fd = fds[i].fd;
        auto it = std::find_if(watches_.begin(), watches_.end(), [fd](const WatchEntry& w) { return w.fd == fd; });
        if (it != watches_.end()) {
          auto fn = it->fn;  // the handler may change the watch list
          fn();
          busy = true;
          ++activity_;
        }
      }
    }
    if (!timers_.empty()) {
      UInt32 now = TickCount();
      std::vector<Timer> due;
      auto keep = std::stable_partition(timers_.begin(), timers_.end(),
                                        [now](const Timer& t) { return SInt32(now - t.due) < 0; });
      std::move(keep, timers_.end(), std::back_inserter(due));
      timers_.erase(keep, timers_.end());
      for (Timer& t : due) {
        t.fn();
        busy = true;
        ++activity_;
      }
    }
    if (!busy) {
      std::lock_guard<std::mutex> lock(settleMu_);
      if (asked > settleDone_) {
        settleDone_ = asked;
        settled_.notify_all();
      }
    }
  }
  std::lock_guard<std::mutex> lock(settleMu_);
  settled_.notify_all();
}

}  // namespace pboxemu

// Shared set-up of the JCP tests: a private port map, Open Transport, the
// virtual clock, an emulator, one request context and a recording notifier.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "JCPCommand.h"
#include "JCPSearch.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"

namespace jcptest {

struct Recorder {
  std::vector<short> statuses;
  std::vector<jcp_reply> replies;
  std::vector<UInt8> endData;
  int resendLimit = 0;  // resends on a time-out, as the programs' command notifiers do
  bool ended() const { return !statuses.empty() && statuses.back() != JCP_NOTIFY_FOUND; }
  int count(short s) const {
    int n = 0;
    for (short x : statuses) n += x == s;
    return n;
  }
};

inline Recorder* gRecorder = nullptr;

inline void RecordingNotifier(JCPEPInfo* ctx, void* data, void* extra, short status) {
  Recorder& r = *gRecorder;
  if (status == JCP_NOTIFY_FOUND) {
    r.replies.push_back(*static_cast<jcp_reply*>(data));
    r.statuses.push_back(status);
    return;
  }
  if (status == JCP_NOTIFY_TIMEOUT && ctx->retryCnt < r.resendLimit) {
    JCP_Resending(ctx);
    ctx->isComplete = 0;
    ctx->retryCnt++;
    return;
  }
  UInt32 len = *static_cast<UInt32*>(extra);
  const UInt8* p = static_cast<const UInt8*>(data);
  r.endData.assign(p, p + std::min<UInt32>(len, kJCPLargeBufSize));
  r.statuses.push_back(status);
}

// Advances the virtual clock in the background, one tick per real
// millisecond, for requests that wait synchronously.
class FastClock {
 public:
  FastClock() : thread_([this] {
      while (!stop_) {
        tb::AdvanceTicks(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }) {}
  ~FastClock() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class JcpTest : public ::testing::Test {
 protected:
  JcpTest() : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()) {
    tb::ReloadNetConfig();
    OT_Init();
    tb::UseVirtualClock(true);
    ctx = std::make_unique<JCPEPInfo>();
    gRecorder = &rec;
  }
  ~JcpTest() override {
    if (ctx && !JCP_IsTerminated(ctx.get())) {
      JCP_KillIOEvent(ctx.get());
      PumpUntil([&] { return JCP_IsTerminated(ctx.get()) != 0; }, 2000);
    }
    EXPECT_EQ(tb::OTOpenProviderCount(), 0);
    emu.Stop();
    gRecorder = nullptr;
    tb::UseVirtualClock(false);
    OT_Deinit();
    tb::ReloadNetConfig();
  }

  void StartEmulator() {
    std::string err;
    ASSERT_TRUE(emu.Start(&err)) << err;
  }

  // Runs the pump and the poll step, as a program's event loop does, until
  // pred holds or realMs real milliseconds have gone by.
  bool PumpUntil(const std::function<bool()>& pred, int realMs = 5000) {
    UInt64 end = tb::MonotonicMicros() + UInt64(realMs) * 1000;
    while (!pred()) {
      if (tb::MonotonicMicros() > end) return false;
      tb::Pump(2);
      if (!ctx->isComplete || ctx->opening) JCP_PendingLoop(ctx.get());
    }
    return true;
  }

  std::size_t LoggedRequests() const {
    std::size_t n = 0;
    for (int i = 0; i < emu.BoxCount(); ++i) n += emu.Requests(i).size();
    return n;
  }

  // Lets the request run, advancing the virtual clock by step ticks
  // whenever it has gone quiet (the boxes have received nothing new for a
  // while), until the notifier reports the end.
  bool Drive(UInt32 step, int rounds = 20) {
    for (int i = 0; i < rounds; ++i) {
      std::size_t seen = LoggedRequests();
      UInt64 stableSince = tb::MonotonicMicros();
      UInt64 giveUp = stableSince + 5'000'000;
      while (tb::MonotonicMicros() - stableSince < 60'000 && tb::MonotonicMicros() < giveUp) {
        if (PumpUntil([&] { return rec.ended(); }, 10)) return true;
        std::size_t now = LoggedRequests();
        if (now != seen) {
          seen = now;
          stableSince = tb::MonotonicMicros();
        }
      }
      tb::AdvanceTicks(step);
    }
    return rec.ended();
  }

  testsupport::ScopedEnv ports_;
  pboxemu::Emulator emu;
  std::unique_ptr<JCPEPInfo> ctx;
  Recorder rec;
};

}  // namespace jcptest

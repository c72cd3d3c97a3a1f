// Shared set-up of the JCP tests: a private port map, Open Transport, the
// virtual clock, an emulator, one request context and a recording notifier.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "OT/JCPCommand.h"
#include "OT/JCPSearch.h"
#include "settle.h"
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

class JcpTest : public ::testing::Test {
 protected:
  // Confined to loopback even when run by hand: a search probes the
  // limited broadcast.
  JcpTest() : net_("TOOLBOX_NET", "loopback"), ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()) {
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

  // The program's poll step, as its event loop runs it after the pump.
  void Poll() {
    if (!ctx->isComplete || JCP_IsOpening(ctx.get())) JCP_PendingLoop(ctx.get());
  }

  // Runs the event loop until pred holds or realMs real milliseconds have
  // gone by.
  bool PumpUntil(const std::function<bool()>& pred, int realMs = 5000) {
    UInt64 end = tb::MonotonicMicros() + UInt64(realMs) * 1000;
    while (!pred()) {
      if (tb::MonotonicMicros() > end) return false;
      tb::Pump(2);
      Poll();
    }
    return true;
  }

  // Runs the event loop until the exchange has gone quiet (settle.h).
  bool Settle() {
    return ottest::Settle(emu, [this] { Poll(); });
  }

  // Lets the request run, advancing the virtual clock by step ticks each
  // time the exchange has settled, until the notifier reports the end.
  bool Drive(UInt32 step, int rounds = 20) {
    for (int i = 0; i < rounds; ++i) {
      if (!Settle()) return false;
      if (rec.ended()) return true;
      tb::AdvanceTicks(step);
    }
    return Settle() && rec.ended();
  }

  ottest::LoopTicker SettledClock() { return ottest::SettledClock(emu); }

  testsupport::ScopedEnv net_;
  testsupport::ScopedEnv ports_;
  pboxemu::Emulator emu;
  std::unique_ptr<JCPEPInfo> ctx;
  Recorder rec;
};

}  // namespace jcptest

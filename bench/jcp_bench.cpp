// JCP over loopback against the print-box emulator: a search answered by
// 128 boxes (until the last answer, and until the search ends as a user
// waits for it: the quiet time after the last answer), and a GET of a 16 KB
// settings image whose bytes are checked.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "OT/JCPCommand.h"
#include "OT/JCPSearch.h"
#include "pboxemu/emulator.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"

namespace {

// Loopback only, on ports of this process's own.
struct Network {
  Network() {
    setenv("TOOLBOX_NET", "loopback", 1);
    setenv("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str(), 1);
    tb::ReloadNetConfig();
    OT_Init();
  }
} gNetwork;

int gFound = 0;
short gStatus = -1;

void Notifier(JCPEPInfo*, void*, void*, short status) {
  if (status == JCP_NOTIFY_FOUND)
    ++gFound;
  else
    gStatus = status;
}

void PumpUntil(JCPEPInfo* ctx, const bool& done, const int& found, int want) {
  UInt64 end = tb::MonotonicMicros() + 10'000'000;
  while (!done && found < want && tb::MonotonicMicros() < end) {
    tb::Pump(1);
    JCP_PendingLoop(ctx);
  }
}

// 128 boxes answering; false (the benchmark skipped) when they cannot start.
bool startBoxes(pboxemu::Emulator& emu, benchmark::State& state) {
  emu.AddBoxes(128);
  std::string err;
  if (emu.Start(&err)) return true;
  state.SkipWithError(err.c_str());
  return false;
}

void BM_SearchAnsweredBy128Boxes(benchmark::State& state) {
  pboxemu::Emulator emu;
  if (!startBoxes(emu, state)) return;
  auto ctx = std::make_unique<JCPEPInfo>();
  const UInt32 target = 0xFFFFFFFFu;  // 127.255.255.255 under the confinement
  int lost = 0;
  for (auto _ : state) {
    *ctx = JCPEPInfo{};
    gFound = 0;
    gStatus = -1;
    JCP_UDP_SetSearch(ctx.get(), &target, 1, JCP_UDP_PORT);
    JCP_Search(ctx.get(), 4, 5000, Notifier, true);
    bool never = false;
    PumpUntil(ctx.get(), never, gFound, 128);
    lost += 128 - gFound;
    state.PauseTiming();
    JCP_KillIOEvent(ctx.get());
    while (gStatus < 0) tb::Pump(1);
    state.ResumeTiming();
  }
  state.counters["boxes_lost"] = lost;
}
BENCHMARK(BM_SearchAnsweredBy128Boxes)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the user waits: from the start of the search to its end status,
// which comes after the time-out's quiet time (arg, ms) past the last
// answer.
void BM_SearchUntilItEnds(benchmark::State& state) {
  pboxemu::Emulator emu;
  if (!startBoxes(emu, state)) return;
  auto ctx = std::make_unique<JCPEPInfo>();
  const UInt32 target = 0xFFFFFFFFu;
  const UInt32 timeoutMs = UInt32(state.range(0));
  int lost = 0;
  double toLastAnswerMs = 0;
  for (auto _ : state) {
    *ctx = JCPEPInfo{};
    gFound = 0;
    gStatus = -1;
    const UInt64 t0 = tb::MonotonicMicros();
    UInt64 last = t0;
    JCP_UDP_SetSearch(ctx.get(), &target, 1, JCP_UDP_PORT);
    JCP_Search(ctx.get(), 4, timeoutMs, Notifier, true);
    const UInt64 end = t0 + 30'000'000;
    while (gStatus < 0 && tb::MonotonicMicros() < end) {
      const int before = gFound;
      tb::Pump(5);
      if (!ctx->isComplete) JCP_PendingLoop(ctx.get());
      if (gFound != before) last = tb::MonotonicMicros();
    }
    lost += 128 - gFound;
    toLastAnswerMs += double(last - t0) / 1000.0;
  }
  state.counters["boxes_lost"] = lost;
  state.counters["to_last_answer_ms"] = benchmark::Counter(toLastAnswerMs, benchmark::Counter::kAvgIterations);
  state.counters["timeout_ms"] = timeoutMs;
}
BENCHMARK(BM_SearchUntilItEnds)->Arg(1000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Get16KBSettingsImage(benchmark::State& state) {
  pboxemu::Emulator emu;
  emu.AddBox();
  std::vector<UInt8> image(16384);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = UInt8(i * 13);
  emu.SetCommandReply(0, "GET EEP_DATA", image);
  std::string err;
  if (!emu.Start(&err)) {
    state.SkipWithError(err.c_str());
    return;
  }
  auto ctx = std::make_unique<JCPEPInfo>();
  JCP_UDP_SetRemote(ctx.get(), emu.BoxAddress(0), JCP_UDP_PORT);
  const char cmd[] = "GET EEP_DATA";
  int failed = 0;
  for (auto _ : state) {
    gStatus = -1;
    JCP_GetCommand(ctx.get(), cmd, sizeof cmd - 1, nullptr, 0, 3000, Notifier, false);
    if (gStatus != JCP_NOTIFY_SUCCESS || ctx->rcvLargeBufLen != image.size() ||
        std::memcmp(ctx->rcvLargeBuf, image.data(), image.size()) != 0)
      ++failed;
  }
  state.counters["failed"] = failed;
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}
BENCHMARK(BM_Get16KBSettingsImage)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

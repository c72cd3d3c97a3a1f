// JCP over loopback against the print-box emulator: a search answered by
// 128 boxes, and a GET of a 16 KB settings image.
#include <benchmark/benchmark.h>

#include <cstdlib>
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

void BM_SearchAnsweredBy128Boxes(benchmark::State& state) {
  pboxemu::Emulator emu;
  emu.AddBoxes(128);
  std::string err;
  if (!emu.Start(&err)) {
    state.SkipWithError(err.c_str());
    return;
  }
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
    if (gStatus != JCP_NOTIFY_SUCCESS || ctx->rcvLargeBufLen != image.size()) ++failed;
  }
  state.counters["failed"] = failed;
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}
BENCHMARK(BM_Get16KBSettingsImage)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

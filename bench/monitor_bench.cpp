// The status monitor's hot paths: decoding status replies (both reply
// forms, a changed status each time so every field is decoded), and one
// poll cycle of 8 watched printers over loopback against the emulator,
// replies taken, decoded and published as status-sharing files. The poll
// cycle's figure that counts is the CPU time of the monitor's thread.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "load_average.h"
#include "Monitor/ReplyDecode.h"
#include "Monitor/StatusPoll.h"
#include "pboxemu/emulator.h"
#include "pboxemu/monitor_replies.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"

namespace {

struct Environment {
  Environment() {
    setenv("TOOLBOX_NET", "loopback", 1);
    setenv("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str(), 1);
    home = std::filesystem::temp_directory_path() / ("monitor-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(home);
    setenv("HOME", home.c_str(), 1);
    tb::ReloadNetConfig();
    OT_Init();
  }
  ~Environment() { std::filesystem::remove_all(home); }
  std::filesystem::path home;
} gEnv;

void BM_DecodeStatusReply(benchmark::State& state) {
  const bool plum7 = state.range(0) != 0;
  pboxemu::PrinterStatus a = pboxemu::StatusForState(pboxemu::PrinterState::Ready, 4);
  pboxemu::PrinterStatus b = pboxemu::StatusForState(pboxemu::PrinterState::PaperOut, 4);
  const std::vector<UInt8> replies[2] = {pboxemu::StatusReply(plum7, a), pboxemu::StatusReply(plum7, b)};
  VEMOINFO info{};
  StatusMemory saved{};
  NICINFO nic{};
  UInt8 buf[1024];
  std::size_t bytes = 0;
  int k = 0, paperOut = 0;
  for (auto _ : state) {
    const std::vector<UInt8>& r = replies[k ^= 1];
    std::memset(buf, 0, sizeof buf);
    std::memcpy(buf, r.data(), r.size());
    UInt16 len = 0;
    short kind = ChkRecvCmd(buf, r.size(), &len);
    std::span<UInt8> data(buf + 13, sizeof buf - 13);
    Set_Macintosh_Memory(data);
    if (kind == kReplyPlum7Stat) Convert_Status(data);
    int result = GetVemoStatus(data, &info, &saved, &nic);
    benchmark::DoNotOptimize(result);
    paperOut += info.MSPaperOut != 0;
    bytes += r.size();
  }
  // Every other reply (the first too) is the paper-out one: the decoding
  // really ran.
  if (paperOut != int((state.iterations() + 1) / 2)) state.SkipWithError("decoded states do not match the replies");
  state.SetBytesProcessed(int64_t(bytes));
  state.counters["load1"] = bench::LoadAverage1();
}
BENCHMARK(BM_DecodeStatusReply)->Arg(0)->Arg(1)->ArgName("plum7");

int gViews = 0;
const StatusPollHooks kHooks = {nullptr, nullptr, [](PSTATUS_WND_INFO*) { ++gViews; }, nullptr, nullptr};

void BM_PollCycle8Printers(benchmark::State& state) {
  constexpr int kPrinters = 8;
  pboxemu::Emulator emu;
  emu.AddBoxes(kPrinters);
  std::string err;
  if (!emu.Start(&err)) {
    state.SkipWithError(err.c_str());
    return;
  }
  tb::UseVirtualClock(true);
  std::vector<JCPEPInfo> contexts(2 * kPrinters);
  std::vector<PSTATUS_WND_INFO> recs(kPrinters);
  for (int i = 0; i < kPrinters; ++i) {
    PSTATUS_WND_INFO& r = recs[std::size_t(i)];
    r.jcpStat = &contexts[std::size_t(2 * i)];
    r.jcpInfo = &contexts[std::size_t(2 * i + 1)];
    r.hooks = &kHooks;
    r.configData.statUpdate = 1000;
    r.pbox.pbi_inuse = 1;
    r.pbox.pbi_hash = 1;
    auto type = emu.BoxMachineType(i);
    std::memcpy(r.pbox.pbi_machine_type, type.data(), 16);
    auto mac = emu.BoxMac(i);
    std::memcpy(r.pbox.pbi_nodeaddr, mac.data(), 6);
    r.pbox.pbi_ip_addr = emu.BoxAddress(i);
    r.pbox.protocol_Type_Num = PBOX_PROTO_TCPIP;
  }
  long cycles = 0;
  bool stuck = false;
  for (auto _ : state) {
    tb::AdvanceTicks(61);
    gViews = 0;
    UInt64 end = tb::MonotonicMicros() + 5'000'000;
    while (gViews < kPrinters && tb::MonotonicMicros() < end) {
      for (PSTATUS_WND_INFO& r : recs) Update_Status_Window_Info(&r);
      tb::Pump(1);
    }
    stuck = stuck || gViews < kPrinters;
    ++cycles;
  }
  int ready = 0;
  for (const PSTATUS_WND_INFO& r : recs) ready += r.info.MainReady;
  if (stuck || ready != kPrinters) state.SkipWithError("a printer's reply did not come or did not decode");
  state.counters["load1"] = bench::LoadAverage1();
  for (JCPEPInfo& c : contexts) JCP_KillIOEvent(&c);
  UInt64 end = tb::MonotonicMicros() + 2'000'000;
  for (JCPEPInfo& c : contexts)
    while (!JCP_IsTerminated(&c) && tb::MonotonicMicros() < end) tb::Pump(1);
  emu.Stop();
  tb::UseVirtualClock(false);
}
BENCHMARK(BM_PollCycle8Printers)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(false);

}  // namespace

// VEMO-ADMIN's settings window against an emulated QSV-C box on loopback:
// opening it (the three table reads, the port list, the first page drawn)
// and saving one change (SAVE EEP_DATA, then POLLING until the box is
// ready), each beside the bare exchanges it is built on, alternating in one
// run. The bytes moved are checked: the box's image must hold the change.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "Admin/DeviceCommand.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupWindow.h"
#include "admin_in_process.h"
#include "common/Context.h"
#include "load_average.h"
#include "pboxemu/emulator.h"
#include "toolbox/netconfig.h"
#include "toolbox/resources.h"

namespace {

struct World {
  World() {
    emu.AddBox(pboxemu::BoxSpec{});
    ok = emu.Start();
    box.pbi_inuse = 1;
    box.protocol_Type_Num = PBOX_PROTO_TCPIP;
    box.pbi_ip_addr = emu.BoxAddress(0);
    auto mac = emu.BoxMac(0);
    std::memcpy(box.pbi_nodeaddr, mac.data(), 6);
    std::memcpy(box.pbi_machine_type, emu.BoxMachineType(0).data(), 16);
  }
  ~World() { emu.Stop(); }
  bench::AdminInProcess admin{"admin-setup-bench"};
  pboxemu::Emulator emu;
  PBOXinfo box{};
  bool ok = false;
};

World& world() {
  static World w;
  return w;
}

void BM_OpenSettingsWindow(benchmark::State& state) {
  World& w = world();
  if (!w.ok) return state.SkipWithError("no emulator");
  for (auto _ : state) {
    if (Open_Setup_Window(&w.box) != 1) return state.SkipWithError("not opened");
    DialogRef d = Get_Open_Setup_Dialog();
    Handle_Setup_Update_Value(d, nullptr);  // the first page drawn
    state.PauseTiming();
    Close_Setup_Dialog(d);
    state.ResumeTiming();
  }
  state.counters["load1"] = bench::LoadAverage1();
}

// The reference: the same exchanges without the window.
void BM_ReadTablesAndPortList(benchmark::State& state) {
  World& w = world();
  if (!w.ok) return state.SkipWithError("no emulator");
  Allocate_Setup_Memory();
  UInt8 ports[320];
  for (auto _ : state) {
    if (GetPBOXInfo(&w.box) != 0) return state.SkipWithError("read failed");
    benchmark::DoNotOptimize(GetPortList(&w.box, ports, sizeof ports));
  }
  Dispose_Setup_Memory();
  state.counters["load1"] = bench::LoadAverage1();
}

// One changed value written back: what OK sends after the questions.
void BM_SaveOneChange(benchmark::State& state) {
  World& w = world();
  if (!w.ok) return state.SkipWithError("no emulator");
  Allocate_Setup_Memory();
  if (GetPBOXInfo(&w.box) != 0) return state.SkipWithError("read failed");
  int n = 0;
  for (auto _ : state) {
    char text[32], msg[64];
    std::snprintf(text, sizeof text, "127.0.%d.%d", (n >> 8) & 255, n & 255);
    ++n;
    context_set_varid(260, text, msg, sizeof msg);
    if (PutPBOXInfo(&w.box) != 0) return state.SkipWithError("save failed");
  }
  // The bytes moved: the box holds the image sent last.
  const bool same = w.emu.Image(0) == std::vector<UInt8>(reinterpret_cast<UInt8*>(pEEPData),
                                                         reinterpret_cast<UInt8*>(pEEPData) + wEEPDataSize);
  Dispose_Setup_Memory();
  if (!same) state.SkipWithError("the box's image differs from the one sent");
  state.counters["load1"] = bench::LoadAverage1();
}

}  // namespace

// Alternating: window, bare reads, save; repeated for the spread.
BENCHMARK(BM_OpenSettingsWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_ReadTablesAndPortList)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_SaveOneChange)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

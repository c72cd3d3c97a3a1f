// Shared set-up of the FTP tests: private ports, Open Transport, the
// virtual clock, files to send, and a recording stand-in for the send
// window's drawing and alerts.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "OT/FTPClient.h"
#include "OT/FTPSend.h"
#include "pboxemu/emulator.h"
#include "settle.h"
#include "stub_monitor_host.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"

namespace ftptest {

// What the passes of PumpUntil's loop (the step and one pump) have done
// since ResetTurns, as a user's event loop would have lived them. A pass
// must never wait on the box: it runs no wait of its own (a pump nested in
// the step or in a handler, the loop's one way to wait, as a close that
// waited for the box's answer did), and its processor time stays short (a
// pass that read or spun for as long as the box kept it busy would not).
// Both are counted, not read off the clock on the wall, so a loaded
// machine changes neither.
struct TurnRecord {
  UInt64 nestedPumps = 0;  // most pumps one pass ran besides its own
  UInt64 longestCpuUs = 0;
};
inline TurnRecord gTurns;
inline void ResetTurns() { gTurns = TurnRecord{}; }

inline UInt64 ThreadCpuMicros() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return UInt64(ts.tv_sec) * 1000000 + UInt64(ts.tv_nsec) / 1000;
}

// No pass since ResetTurns waited or took longer than 100 ms of processor.
inline void ExpectNoPassHeldTheLoop() {
  EXPECT_EQ(gTurns.nestedPumps, 0u) << "a pass waited inside the loop";
  EXPECT_LT(gTurns.longestCpuUs, 100000u);
}

// Runs the network (and step, when given) until done; false after ms of
// real time, a limit only for a test that would otherwise never end.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 10000, const std::function<void()>& step = {}) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    const UInt64 cpu = ThreadCpuMicros();
    const UInt64 pumps = tb::PumpCount();
    if (step) step();
    tb::Pump(2);
    gTurns.nestedPumps = std::max(gTurns.nestedPumps, tb::PumpCount() - pumps - 1);
    gTurns.longestCpuUs = std::max(gTurns.longestCpuUs, ThreadCpuMicros() - cpu);
  }
  return true;
}

inline std::string Bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(rng());
  return s;
}

// What the send window would have drawn and shown.
struct ViewLog {
  std::vector<std::string> sizeTexts;  // texts drawn, in order
  int progressCalls = 0;
  std::vector<short> percents;
  int labels = 0;
  int closes = 0;
  int menus = 0;
  std::vector<SInt16> outcomes;
};

inline ViewLog* gViewLog = nullptr;

inline const FTP_SEND_VIEW& RecordingView() {
  static const FTP_SEND_VIEW view{
      [](SEND_WND_INFO*, ConstStr255Param text, short percent) {
        gViewLog->progressCalls++;
        gViewLog->percents.push_back(percent);
        if (text) gViewLog->sizeTexts.push_back(pstr::str(text));
      },
      [](SEND_WND_INFO*) { gViewLog->labels++; },
      [](SEND_WND_INFO*) { gViewLog->closes++; },
      [] { gViewLog->menus++; },
      [](SEND_WND_INFO*, SInt16 result) { gViewLog->outcomes.push_back(result); },
  };
  return view;
}

class FtpTest : public ::testing::Test {
 protected:
  FtpTest() : ports_("TOOLBOX_PORTMAP", (pboxemu::PrivatePortMap() + "," + pboxemu::FtpPortMap()).c_str()) {
    tb::ReloadNetConfig();
  }
  ~FtpTest() override { tb::ReloadNetConfig(); }

  void SetUp() override {
    ASSERT_EQ(OT_Init(), kOTNoError);
    tb::UseVirtualClock(true);
    gViewLog = &log_;
    FTP_Set_Send_View(&RecordingView());
    stubhost::Reset();
  }

  void TearDown() override {
    for (SEND_WND_INFO& slot : SendTbl) {
      if (slot.using_) Exit_TCPftp_Dialog(&slot);
      Last_Table_Init(&slot);
    }
    for (FTPEPInfo* ctx : contexts_) {
      FTP_Disconnect(ctx);
      FTP_Release_Context(ctx);
    }
    PumpUntil([] { return FTP_Reap_Contexts() == 0; }, 5000);
    FTP_Release_All_Contexts();
    FTP_Set_Send_View(nullptr);
    gViewLog = nullptr;
    tb::OTSetSendCap(0);
    OT_Deinit();
    EXPECT_EQ(tb::OTOpenProviderCount(), 0);
    tb::UseVirtualClock(false);
    emu_.Stop();
  }

  // Starts the emulated box with its FTP receive.
  void StartBox(bool ftp = true) {
    emu_.AddBox();
    if (ftp) emu_.Ftp().Enable();
    std::string err;
    ASSERT_TRUE(emu_.Start(&err)) << err;
    box_ = emu_.BoxAddress(0);
  }

  FTPEPInfo* NewContext() {
    auto* ctx = reinterpret_cast<FTPEPInfo*>(NewPtrClear(sizeof(FTPEPInfo)));
    contexts_.push_back(ctx);
    return ctx;
  }

  FSSpec MakeFile(const std::string& name, const std::string& bytes) {
    std::filesystem::path p = dir_ / name;
    testsupport::WriteFile(p, bytes);
    FSSpec fss{};
    EXPECT_EQ(tb::PathToSpec(p.string(), &fss), noErr) << name;
    return fss;
  }

  // Runs the network and the idle step until the exchange with the box has
  // gone quiet (settle.h).
  bool Settle() { return ottest::Settle(emu_, [] { Update_Send_Window(); }); }

  // Runs the idle step until a transfer has told its outcome.
  bool RunJob(int ms = 20000) {
    std::size_t before = log_.outcomes.size();
    return PumpUntil([&] { return log_.outcomes.size() > before; }, ms, [] { Update_Send_Window(); });
  }

  // Claims a slot for the owner's files, as the window opening does.
  SEND_WND_INFO* StartJob(DialogPtr owner, const std::vector<FSSpec>& files) {
    stubhost::SetFiles(owner, files);
    SEND_WND_INFO* slot = Get_Send_Table(owner, box_, UInt16(files.size()));
    if (slot) Get_File_Total_Size(slot, &slot->fileData);
    return slot;
  }

  testsupport::ScopedEnv ports_;
  testsupport::TempDir dir_;
  pboxemu::Emulator emu_;
  UInt32 box_ = 0;
  ViewLog log_;
  std::vector<FTPEPInfo*> contexts_;
};

inline DialogPtr Owner(int n) { return reinterpret_cast<DialogPtr>(static_cast<std::uintptr_t>(0x1000 + n * 16)); }

}  // namespace ftptest

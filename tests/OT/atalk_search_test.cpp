// The AppleTalk search and commands end to end: the JCP client over the
// toolbox's DDP emulation against the emulator's AppleTalk nodes.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "OT/JCPCommand.h"
#include "OT/JCPSearch.h"
#include "atalk_harness.h"
#include "pboxemu/emulator.h"
#include "toolbox/netconfig.h"

using namespace atalktest;

namespace {

struct Found {
  std::string name;
  NBPAddrTable row;
};

struct Log {
  std::vector<short> statuses;
  std::vector<Found> found;
  std::vector<UInt8> endData;
  bool ended() const { return !statuses.empty() && statuses.back() != JCP_NOTIFY_FOUND; }
  int ends() const {
    int n = 0;
    for (short s : statuses) n += s != JCP_NOTIFY_FOUND;
    return n;
  }
  std::set<std::string> names() const {
    std::set<std::string> s;
    for (const Found& f : found) s.insert(f.name);
    return s;
  }
};

Log* gLog = nullptr;

void Notifier(JCPEPInfo* ctx, void* data, void* extra, short status) {
  gLog->statuses.push_back(status);
  if (status == JCP_NOTIFY_FOUND) {
    auto* r = static_cast<jcp_reply*>(data);
    Found f;
    f.name.assign(reinterpret_cast<char*>(r->jcpr_machine_name), strnlen(reinterpret_cast<char*>(r->jcpr_machine_name), 32));
    f.row = *static_cast<NBPAddrTable*>(extra);
    gLog->found.push_back(f);
    ctx->found++;
    return;
  }
  UInt32 len = *static_cast<UInt32*>(extra);
  gLog->endData.assign(static_cast<UInt8*>(data), static_cast<UInt8*>(data) + len);
}

class AtalkSearchTest : public ::testing::Test {
 protected:
  AtalkSearchTest() : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()) {
    tb::ReloadNetConfig();
    tb::UseVirtualClock(true);
    ctx = std::make_unique<JCPEPInfo>();
    gLog = &log;
  }
  ~AtalkSearchTest() override {
    if (!JCP_IsTerminated(ctx.get())) {
      JCP_KillIOEvent(ctx.get());
      Run([&] { return JCP_IsTerminated(ctx.get()) != 0; });
    }
    EXPECT_TRUE(JCP_IsTerminated(ctx.get()));
    EXPECT_EQ(tb::OTOpenProviderCount(), 0);
    emu.Stop();
    gLog = nullptr;
    tb::UseVirtualClock(false);
    tb::ReloadNetConfig();
  }
  void Start() {
    std::string error;
    ASSERT_TRUE(emu.Start(&error)) << error;
  }
  // The program's event loop: the pump and the poll step.
  bool Run(const std::function<bool()>& done, int ms = 5000) {
    UInt64 end = tb::MonotonicMicros() + UInt64(ms) * 1000;
    while (!done()) {
      if (tb::MonotonicMicros() > end) return false;
      tb::Pump(2);
      if (!ctx->isComplete) JCP_PendingLoop(ctx.get());
    }
    return true;
  }
  // Runs the event loop until the exchange has gone quiet (settle.h).
  bool Settle() {
    return ottest::Settle(emu, [this] {
      if (!ctx->isComplete) JCP_PendingLoop(ctx.get());
    });
  }
  // Waits for what the boxes owe, then lets the quiet time run out.
  bool EndAfter(const std::function<bool()>& answered, UInt32 ticks) {
    if (!Run(answered) || !Settle()) return false;
    tb::AdvanceTicks(ticks);
    return Run([&] { return log.ended(); });
  }

  testsupport::ScopedEnv ports_;
  AppleTalkEnv env{"myzone = Sales\nzone = Sales\nzone = Lab\n"};
  pboxemu::Emulator emu;
  Log log;
  std::unique_ptr<JCPEPInfo> ctx;
};

pboxemu::BoxSpec AtBox(const std::string& name, const std::string& zone = "",
                       pboxemu::NbpReply reply = pboxemu::NbpReply::Normal) {
  pboxemu::BoxSpec s;
  s.name = name;
  s.appleTalk = true;
  s.zone = zone;
  s.nbpReply = reply;
  return s;
}

}  // namespace

TEST_F(AtalkSearchTest, AsyncSearchFindsTheBoxesOfTheZoneThenTimesOut) {
  emu.AddBox(AtBox("Alpha"));
  emu.AddBox(AtBox("Beta"));
  emu.AddBox(AtBox("Gamma", "Lab"));  // another zone
  emu.AddBox();                       // no AppleTalk
  emu.AddBox(AtBox("Delta"));
  Start();
  ASSERT_EQ(JCP_DDP_SetSearch(ctx.get(), "", "", ""), 0);  // =:CTRLJCP1@ the own zone
  ASSERT_EQ(JCP_Search(ctx.get(), 4, 1000, &Notifier, true), kOTNoError);
  ASSERT_TRUE(EndAfter([&] { return log.found.size() >= 3; }, 61));
  EXPECT_EQ(log.statuses.back(), JCP_NOTIFY_TIMEOUT);
  EXPECT_EQ(log.ends(), 1);
  EXPECT_EQ(log.names(), (std::set<std::string>{"Alpha", "Beta", "Delta"}));
  EXPECT_EQ(ctx->found, log.found.size());
  for (const Found& f : log.found) {
    int box = f.name == "Alpha" ? 0 : f.name == "Beta" ? 1 : 4;
    EXPECT_EQ(f.row.network, env.net);
    EXPECT_EQ(f.row.node, emu.BoxNode(box));
    EXPECT_EQ(f.row.socket, emu.BoxDdpSocket(box));
    EXPECT_EQ(f.row.object[0], 0);  // no entity name
    EXPECT_EQ(emu.Probes(box), 1);
    // The probe went over DDP as 88 bytes.
    ASSERT_FALSE(emu.Requests(box).empty());
    EXPECT_EQ(emu.Requests(box)[0].length, 88u);
  }
  EXPECT_EQ(emu.Probes(2), 0);
  EXPECT_TRUE(JCP_IsTerminated(ctx.get()));
}

TEST_F(AtalkSearchTest, ExplicitEntityAndSynchronousSearch) {
  emu.AddBox(AtBox("Alpha"));
  emu.AddBox(AtBox("Gamma", "Lab"));
  Start();
  ASSERT_EQ(JCP_DDP_SetSearch(ctx.get(), "Lab", "CTRLJCP1", "="), 0);
  // The clock moves only while the boxes have nothing left to answer.
  {
    auto ticker = ottest::SettledClock(emu, 30);
    ASSERT_EQ(JCP_Search(ctx.get(), 4, 1000, &Notifier, false), kOTNoError);
  }
  ASSERT_TRUE(log.ended());
  EXPECT_EQ(log.statuses.back(), JCP_NOTIFY_TIMEOUT);
  EXPECT_EQ(log.names(), std::set<std::string>{"Gamma"});
  EXPECT_TRUE(JCP_IsTerminated(ctx.get()));

  // "=:CTRLJCP1@*" names what the empty entity names; the same context
  // searches again.
  log = {};
  ASSERT_EQ(JCP_DDP_SetSearch(ctx.get(), "*", "CTRLJCP1", "="), 0);
  ASSERT_EQ(JCP_Search(ctx.get(), 4, 1000, &Notifier, true), kOTNoError);
  ASSERT_TRUE(EndAfter([&] { return !log.found.empty(); }, 61));
  EXPECT_EQ(log.names(), std::set<std::string>{"Alpha"});
}

TEST_F(AtalkSearchTest, LookupThatFindsNothingEndsWithTimeOut) {
  emu.AddBox(AtBox("Alpha"));
  Start();
  ASSERT_EQ(JCP_DDP_SetSearch(ctx.get(), "Nowhere", "", ""), 0);
  ASSERT_EQ(JCP_Search(ctx.get(), 4, 2000, &Notifier, true), kOTNoError);
  // Not before the time-out, counted from the lookup packet.
  ASSERT_TRUE(Run([&] { return ctx->protocol.ddp.nbpEPInfo.sndComplete != 0; }));
  tb::AdvanceTicks(120);
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(log.ended());
  tb::AdvanceTicks(1);
  ASSERT_TRUE(Run([&] { return log.ended(); }));
  EXPECT_EQ(log.statuses, std::vector<short>{JCP_NOTIFY_TIMEOUT});
  EXPECT_EQ(emu.Probes(0), 0);
  EXPECT_TRUE(JCP_IsTerminated(ctx.get()));

  // The same, synchronously: the whole time-out, then the end.
  log = {};
  LoopTicker ticker([] { return true; }, 20);
  ASSERT_EQ(JCP_Search(ctx.get(), 4, 2000, &Notifier, false), kOTNoError);
  EXPECT_EQ(log.statuses, std::vector<short>{JCP_NOTIFY_TIMEOUT});
}

TEST_F(AtalkSearchTest, MalformedLookupRepliesAreIgnored) {
  emu.AddBox(AtBox("Long", "", pboxemu::NbpReply::LongName));
  emu.AddBox(AtBox("Cut", "", pboxemu::NbpReply::PastEnd));
  emu.AddBox(AtBox("Lookup", "", pboxemu::NbpReply::NotReply));
  emu.AddBox(AtBox("Good"));
  Start();
  ASSERT_EQ(JCP_DDP_SetSearch(ctx.get(), "", "", ""), 0);
  ASSERT_EQ(JCP_Search(ctx.get(), 4, 1000, &Notifier, true), kOTNoError);
  // The boxes answer the lookup in turn, Good last: once it is found, the
  // other answers have been read.
  ASSERT_TRUE(EndAfter([&] { return !log.found.empty(); }, 61));
  EXPECT_EQ(log.names(), std::set<std::string>{"Good"});
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(emu.NbpLookups(i), 1) << i;  // they did answer
    EXPECT_EQ(emu.Probes(i), 0) << i;      // and were not probed
  }
}

TEST_F(AtalkSearchTest, KillDuringTheLookupAndDuringTheProbes) {
  emu.AddBox(AtBox("Alpha"));
  Start();
  // Before any answer: the lookup's end is the search's end.
  ASSERT_EQ(JCP_DDP_SetSearch(ctx.get(), "Nowhere", "", ""), 0);
  ASSERT_EQ(JCP_Search(ctx.get(), 4, 1000, &Notifier, true), kOTNoError);
  EXPECT_FALSE(JCP_IsTerminated(ctx.get()));
  JCP_KillIOEvent(ctx.get());
  ASSERT_TRUE(Run([&] { return log.ended(); }));
  EXPECT_EQ(log.statuses, std::vector<short>{JCP_NOTIFY_ERROR});
  EXPECT_TRUE(JCP_IsTerminated(ctx.get()));

  // After a box was found: both endpoints close, the end is told once.
  log = {};
  ASSERT_EQ(JCP_DDP_SetSearch(ctx.get(), "", "", ""), 0);
  ASSERT_EQ(JCP_Search(ctx.get(), 4, 1000, &Notifier, true), kOTNoError);
  ASSERT_TRUE(Run([&] { return !log.found.empty(); }));
  JCP_KillIOEvent(ctx.get());
  ASSERT_TRUE(Run([&] { return JCP_IsTerminated(ctx.get()) != 0; }));
  ASSERT_TRUE(Settle());
  EXPECT_EQ(log.ends(), 1);
  EXPECT_EQ(log.statuses.back(), JCP_NOTIFY_ERROR);
}

TEST_F(AtalkSearchTest, GetAndSetOverDdp) {
  emu.AddBox(AtBox("Alpha"));
  Start();
  // The box as a search found it, then its settings image by GET.
  ASSERT_EQ(JCP_DDP_SetRemote(ctx.get(), emu.BoxNetwork(0), emu.BoxNode(0), emu.BoxDdpSocket(0), JCP_DDP_TYPE), 0);
  const char get[] = "GET EEP_DATA";
  ASSERT_EQ(JCP_GetCommand(ctx.get(), get, sizeof get - 1, nullptr, 0, 2000, &Notifier, true), kOTNoError);
  ASSERT_TRUE(Run([&] { return log.ended(); }));
  ASSERT_EQ(log.statuses.back(), JCP_NOTIFY_SUCCESS);
  std::vector<UInt8> image = emu.Image(0);
  EXPECT_EQ(log.endData, image);
  for (const pboxemu::RequestRecord& r : emu.Requests(0)) EXPECT_EQ(r.length, 510u);

  // A changed image back by SET: every request a full 510-byte datagram.
  for (std::size_t i = 0; i < image.size(); i += 7) image[i] ^= 0x5A;
  emu.ClearLog();
  log = {};
  const char save[] = "SAVE EEP_DATA";
  ASSERT_EQ(JCP_SetCommand(ctx.get(), save, sizeof save - 1, image.data(), UInt32(image.size()), 2000, &Notifier, false),
            kOTNoError);
  ASSERT_TRUE(log.ended());
  EXPECT_EQ(log.statuses.back(), JCP_NOTIFY_SUCCESS);
  EXPECT_EQ(emu.Image(0), image);
  std::vector<pboxemu::RequestRecord> reqs = emu.Requests(0);
  ASSERT_GE(reqs.size(), 2u);
  for (const pboxemu::RequestRecord& r : reqs) EXPECT_EQ(r.length, 510u);
  EXPECT_EQ(reqs.back().cond, JCP_COND_END);
}

// The JCP search against the emulated boxes: replies, the targets probed,
// bad and short replies, the quiet time, kills and refused starts.
#include <cstring>
#include <set>

#include "OT/PBoxTable.h"
#include "jcp_harness.h"

namespace {

using jcptest::JcpTest;

constexpr UInt32 kBroadcast = 0xFFFFFFFFu;  // confined to 127.255.255.255

class JcpSearchTest : public JcpTest {
 protected:
  OSStatus Start(const std::vector<UInt32>& targets, UInt32 timeoutMs = 1000, Boolean async = true) {
    JCP_UDP_SetSearch(ctx.get(), targets.data(), short(targets.size()), JCP_UDP_PORT);
    return JCP_Search(ctx.get(), 4, timeoutMs, jcptest::RecordingNotifier, async);
  }
  std::set<UInt32> FoundAddresses() const {
    std::set<UInt32> s;
    for (const jcp_reply& r : rec.replies) s.insert(r.jcpr_ip_addr);
    return s;
  }
  bool WaitFound(int n) {
    return PumpUntil([&] { return rec.count(JCP_NOTIFY_FOUND) >= n; });
  }
};

TEST_F(JcpSearchTest, EveryBoxFoundOnceForEachReplyThenTimeOut) {
  emu.AddBoxes(5);
  StartEmulator();
  // The broadcast reaches all five; two boxes are also named directly, so
  // they answer twice.
  ASSERT_EQ(Start({kBroadcast, emu.BoxAddress(1), emu.BoxAddress(3)}), kOTNoError);
  ASSERT_TRUE(Settle());  // nothing further comes
  EXPECT_EQ(rec.count(JCP_NOTIFY_FOUND), 7);
  EXPECT_FALSE(rec.ended());

  std::vector<PBOXinfo> table(128);
  InitPBOXtable(table.data(), 128);
  int stored = 0;
  for (const jcp_reply& r : rec.replies) stored += UDPRegisterPBOX(table.data(), 128, &r, PBOX_PROTO_TCPIP);
  EXPECT_EQ(stored, 5);
  std::set<UInt32> expect;
  for (int i = 0; i < 5; ++i) {
    expect.insert(emu.BoxAddress(i));
    EXPECT_NE(FindPBOXbyIPAddr(table.data(), 128, emu.BoxAddress(i)), nullptr);
  }
  EXPECT_EQ(FoundAddresses(), expect);

  tb::AdvanceTicks(61);
  ASSERT_TRUE(PumpUntil([&] { return rec.ended(); }));
  EXPECT_EQ(rec.statuses.back(), JCP_NOTIFY_TIMEOUT);
  EXPECT_EQ(rec.count(JCP_NOTIFY_TIMEOUT), 1);
  EXPECT_EQ(JCP_IsTerminated(ctx.get()), 1);
  EXPECT_EQ(ctx->isComplete, 1);
}

TEST_F(JcpSearchTest, OnlySeventeenTargetsAreProbed) {
  emu.AddBoxes(20);
  StartEmulator();
  std::vector<UInt32> targets;
  for (int i = 0; i < 20; ++i) targets.push_back(emu.BoxAddress(i));
  ASSERT_EQ(Start(targets), kOTNoError);
  EXPECT_EQ(ctx->protocol.udp.broadcastNum, 17);
  ASSERT_TRUE(Settle());
  tb::AdvanceTicks(61);
  ASSERT_TRUE(PumpUntil([&] { return rec.ended(); }));
  EXPECT_EQ(rec.count(JCP_NOTIFY_FOUND), 17);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(emu.Probes(i), i < 17 ? 1 : 0) << i;
  for (const auto& r : emu.Requests(0)) {
    EXPECT_EQ(r.kind, pboxemu::RequestRecord::Probe);
    EXPECT_EQ(r.length, kJcpProbeSize);
  }
}

// Junk, an echo of the probe before the reply, replies cut short (a
// datagram under the 72 bytes of a reply is none, however it begins) and an
// overlong one: only the whole replies find their boxes.
TEST_F(JcpSearchTest, OnlyWholeRepliesFindABox) {
  struct Case {
    pboxemu::Fault mode;
    UInt32 bytes;
    bool found;
  } cases[] = {
      {pboxemu::Fault::None, 0, true},         {pboxemu::Fault::Garbage, 0, false}, {pboxemu::Fault::Echo, 0, true},
      {pboxemu::Fault::Short, 4, false},       {pboxemu::Fault::Short, 40, false},  {pboxemu::Fault::Short, 71, false},
      {pboxemu::Fault::Oversized, 3000, true},  // beyond the endpoint's 2048-byte buffer
  };
  emu.AddBoxes(int(std::size(cases)));
  StartEmulator();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    pboxemu::FaultSpec f;
    f.mode = cases[i].mode;
    f.bytes = cases[i].bytes;
    emu.SetFault(int(i), f);
  }
  ASSERT_EQ(Start({kBroadcast}), kOTNoError);
  ASSERT_TRUE(Settle());
  tb::AdvanceTicks(61);
  ASSERT_TRUE(PumpUntil([&] { return rec.ended(); }));
  std::set<UInt32> expect;
  for (std::size_t i = 0; i < std::size(cases); ++i)
    if (cases[i].found) expect.insert(emu.BoxAddress(int(i)));
  EXPECT_EQ(FoundAddresses(), expect);
  EXPECT_EQ(rec.count(JCP_NOTIFY_FOUND), int(expect.size()));
}

TEST_F(JcpSearchTest, RepliesExtendTheQuietTime) {
  emu.AddBoxes(2);
  StartEmulator();
  pboxemu::FaultSpec late;
  late.mode = pboxemu::Fault::Late;
  late.ticks = 50;
  emu.SetFault(1, late);
  ASSERT_EQ(Start({kBroadcast}), kOTNoError);
  ASSERT_TRUE(Settle());
  EXPECT_EQ(rec.count(JCP_NOTIFY_FOUND), 1);
  tb::AdvanceTicks(50);  // 50 of 60 quiet ticks; the late reply is released
  ASSERT_TRUE(Settle());
  EXPECT_EQ(rec.count(JCP_NOTIFY_FOUND), 2);
  tb::AdvanceTicks(50);  // 100 since the start, 50 since the last reply
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(rec.ended());
  tb::AdvanceTicks(10);  // exactly 60: not beyond
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(rec.ended());
  tb::AdvanceTicks(1);
  ASSERT_TRUE(Settle());
  EXPECT_EQ(rec.statuses.back(), JCP_NOTIFY_TIMEOUT);
}

TEST_F(JcpSearchTest, NothingFoundEndsAfterTheTimeOut) {
  emu.AddBoxes(1);
  StartEmulator();
  ASSERT_EQ(Start({emu.BoxAddress(0) + 10}, 3000), kOTNoError);
  ASSERT_TRUE(Settle());
  tb::AdvanceTicks(180);
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(rec.ended());
  tb::AdvanceTicks(1);
  ASSERT_TRUE(Settle());
  EXPECT_EQ(rec.statuses, std::vector<short>{JCP_NOTIFY_TIMEOUT});
  EXPECT_EQ(rec.endData.size(), 0u);
}

TEST_F(JcpSearchTest, SearchWithoutTargetsStillEnds) {
  ASSERT_EQ(Start({}), kOTNoError);
  ASSERT_TRUE(Settle());
  tb::AdvanceTicks(61);
  ASSERT_TRUE(PumpUntil([&] { return rec.ended(); }));
  EXPECT_EQ(rec.statuses, std::vector<short>{JCP_NOTIFY_TIMEOUT});
}

TEST_F(JcpSearchTest, KillEndsTheSearch) {
  emu.AddBoxes(3);
  StartEmulator();
  ASSERT_EQ(Start({kBroadcast}), kOTNoError);
  ASSERT_TRUE(WaitFound(1));
  JCP_KillIOEvent(ctx.get());
  ASSERT_TRUE(PumpUntil([&] { return rec.ended(); }));
  EXPECT_EQ(rec.statuses.back(), JCP_NOTIFY_ERROR);
  EXPECT_EQ(rec.count(JCP_NOTIFY_ERROR), 1);
  EXPECT_EQ(JCP_IsTerminated(ctx.get()), 1);
}

TEST_F(JcpSearchTest, KillWhileOpeningWaitsForTheOpenThenEnds) {
  emu.AddBoxes(1);
  StartEmulator();
  ASSERT_EQ(Start({kBroadcast}), kOTNoError);
  JCP_KillIOEvent(ctx.get());
  // Not terminated yet: the open still has to come back.
  EXPECT_EQ(JCP_IsTerminated(ctx.get()), 0);
  ASSERT_TRUE(PumpUntil([&] { return rec.ended(); }));
  EXPECT_EQ(rec.statuses, std::vector<short>{JCP_NOTIFY_ERROR});
  EXPECT_EQ(JCP_IsTerminated(ctx.get()), 1);
  EXPECT_EQ(emu.Probes(0), 0);
}

TEST_F(JcpSearchTest, SynchronousSearchReturnsAfterTheEnd) {
  emu.AddBoxes(3);
  StartEmulator();
  {
    auto clock = SettledClock();
    ASSERT_EQ(Start({kBroadcast}, 5000, false), kOTNoError);
  }
  ASSERT_TRUE(rec.ended());
  EXPECT_EQ(rec.count(JCP_NOTIFY_FOUND), 3);
  EXPECT_EQ(rec.statuses.back(), JCP_NOTIFY_TIMEOUT);
  EXPECT_EQ(JCP_IsTerminated(ctx.get()), 1);
}

TEST_F(JcpSearchTest, RefusedStarts) {
  UInt32 a = 0x7F000001;
  JCP_UDP_SetSearch(ctx.get(), &a, 1, JCP_UDP_PORT);
  EXPECT_EQ(JCP_Search(ctx.get(), 4, 1000, nullptr, true), kOTBadDataErr);
  EXPECT_EQ(JCP_Search(nullptr, 4, 1000, jcptest::RecordingNotifier, true), kOTBadDataErr);
  ctx->protocolType = 7;
  EXPECT_EQ(JCP_Search(ctx.get(), 4, 1000, jcptest::RecordingNotifier, true), kOTBadDataErr);
  EXPECT_EQ(JCP_PendingLoop(ctx.get()), kOTBadDataErr);
  EXPECT_EQ(JCP_PendingLoop(nullptr), kOTBadDataErr);
  EXPECT_EQ(tb::OTOpenProviderCount(), 0);
  EXPECT_EQ(JCP_IsTerminated(ctx.get()), 1);
  // A negative count probes nothing.
  JCP_UDP_SetSearch(ctx.get(), &a, -3, JCP_UDP_PORT);
  EXPECT_EQ(ctx->protocol.udp.broadcastNum, 0);
}

}  // namespace

namespace {

TEST(JcpAppleTalkTarget, EntityTextAndEndpoints) {
  auto ctx = std::make_unique<JCPEPInfo>();
  ASSERT_EQ(JCP_DDP_SetSearch(ctx.get(), "*", "CTRLJCP1", "="), 0);
  const NBPEPInfo& n = ctx->protocol.ddp.nbpEPInfo;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(n.sndBuf), n.sndBufLen), "=:CTRLJCP1@*");
  EXPECT_EQ(n.sndBufLen, 12u);
  EXPECT_EQ(ctx->protocolType, JCP_PROTO_NBP);
  {
    EPInfo *udp, *ddp, *nbp, *active;
    EXPECT_EQ(GetEPInfo(ctx.get(), &udp, &ddp, &nbp, &active), 0);
    EXPECT_EQ(active, &ctx->protocol.ddp.nbpEPInfo.epi);
    ctx->protocolType = 1;
    EXPECT_EQ(GetEPInfo(ctx.get(), &udp, &ddp, &nbp, &active), -1);
    EXPECT_EQ(GetEPInfo(ctx.get(), &udp, &ddp, nullptr, &active), -2);
    ctx->protocolType = JCP_PROTO_NBP;
  }
  // A name longer than an entity's 32 characters is refused; nothing changes.
  std::string longZone(33, 'z');
  EXPECT_EQ(JCP_DDP_SetSearch(ctx.get(), longZone.c_str(), "CTRLJCP1", "="), kOTBadDataErr);
  EXPECT_EQ(n.sndBufLen, 12u);
  std::string maxZone(32, 'z');
  EXPECT_EQ(JCP_DDP_SetSearch(ctx.get(), maxZone.c_str(), std::string(32, 't').c_str(), std::string(32, 'o').c_str()),
            0);
  EXPECT_EQ(n.sndBufLen, 98u);
  EXPECT_EQ(JCP_IsTerminated(ctx.get()), 1);
  // A command cannot go to a name.
  EXPECT_EQ(JCP_GetCommand(ctx.get(), "POLLING", 7, nullptr, 0, 1000, jcptest::RecordingNotifier, true),
            kOTBadDataErr);
}

}  // namespace

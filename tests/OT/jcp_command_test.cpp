// JCP command exchanges against the emulated boxes: gets and sets in blocks,
// saves polled while the box is busy, resends and time-outs, fault modes and
// replies that do not fit.
#include <cstring>
#include <string>

#include "jcp_harness.h"

namespace {

using jcptest::JcpTest;
using pboxemu::Fault;
using pboxemu::FaultSpec;
using pboxemu::RequestRecord;

std::vector<UInt8> Pattern(std::size_t n, UInt8 seed = 1) {
  std::vector<UInt8> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = UInt8(i * 31 + seed + i / 256);
  return v;
}

struct Req {
  UInt16 cond, offset, size;
  std::size_t length;
  bool operator==(const Req& o) const {
    return cond == o.cond && offset == o.offset && size == o.size && length == o.length;
  }
};
std::ostream& operator<<(std::ostream& os, const Req& r) {
  return os << "{cond " << r.cond << ", offset " << r.offset << ", size " << r.size << ", length " << r.length
            << "}";
}

class JcpCommandTest : public JcpTest {
 protected:
  void SetUp() override {
    emu.AddBox();
    StartEmulator();
    JCP_UDP_SetRemote(ctx.get(), emu.BoxAddress(0), JCP_UDP_PORT);
  }
  OSStatus Get(const std::string& cmd, Boolean async = true, UInt32 timeoutMs = 1000) {
    return JCP_GetCommand(ctx.get(), cmd.data(), UInt32(cmd.size()), nullptr, 0, timeoutMs,
                          jcptest::RecordingNotifier, async);
  }
  OSStatus Set(const std::string& cmd, const std::vector<UInt8>& data, Boolean async = true) {
    return JCP_SetCommand(ctx.get(), cmd.data(), UInt32(cmd.size()), data.data(), UInt32(data.size()), 1000,
                          jcptest::RecordingNotifier, async);
  }
  std::vector<Req> Requests() const {
    std::vector<Req> out;
    for (const RequestRecord& r : emu.Requests(0))
      if (r.kind == RequestRecord::Command) out.push_back({r.cond, r.offset, r.size, r.length});
    return out;
  }
  std::vector<UInt8> Received() const {
    return std::vector<UInt8>(ctx->rcvLargeBuf, ctx->rcvLargeBuf + std::min<UInt32>(ctx->rcvLargeBufLen, 16384));
  }
};

TEST_F(JcpCommandTest, GetOf1200BytesIn512ByteBlocks) {
  std::vector<UInt8> data = Pattern(1200);
  emu.SetCommandReply(0, "GET BIG", data);
  ASSERT_EQ(Get("GET BIG"), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return rec.ended(); }));
  EXPECT_EQ(rec.statuses, std::vector<short>{JCP_NOTIFY_SUCCESS});
  EXPECT_EQ(ctx->rcvLargeBufLen, 1200u);
  EXPECT_EQ(Received(), data);
  EXPECT_EQ(rec.endData, data);
  EXPECT_EQ(Requests(), (std::vector<Req>{{1, 0, 0, 88}, {2, 512, 0, 88}, {2, 1024, 0, 88}, {3, 0, 0, 88}}));
  EXPECT_EQ(ctx->conditionNo, 0);
  EXPECT_EQ(JCP_IsTerminated(ctx.get()), 1);
}

TEST_F(JcpCommandTest, SynchronousGetAndOneContextForSeveralCommands) {
  ASSERT_EQ(Get("GET CONTEXT", false), kOTNoError);
  EXPECT_EQ(rec.statuses, std::vector<short>{JCP_NOTIFY_SUCCESS});
  EXPECT_EQ(Received(), emu.Settings(0).context);
  EXPECT_EQ(Received().size() % 16, 0u);
  ASSERT_EQ(Get("GET EEP_DATA", false), kOTNoError);
  EXPECT_EQ(Received(), emu.Image(0));
  EXPECT_EQ(rec.count(JCP_NOTIFY_SUCCESS), 2);
}

TEST_F(JcpCommandTest, GetWhoseFirstReplyIsTheLast) {
  emu.SetCommandReply(0, "GET SMALL", Pattern(100));
  ASSERT_EQ(Get("GET SMALL"), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return rec.ended(); }));
  EXPECT_EQ(rec.statuses.back(), JCP_NOTIFY_SUCCESS);
  EXPECT_EQ(Received(), Pattern(100));
  EXPECT_EQ(Requests(), (std::vector<Req>{{1, 0, 0, 88}, {3, 0, 0, 88}}));
}

TEST_F(JcpCommandTest, SetOf1000BytesAs422_422_156ThenTheClosingRequest) {
  std::vector<UInt8> data = Pattern(1000, 9);
  ASSERT_EQ(Set("SET THING", data), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return rec.ended(); }));
  EXPECT_EQ(rec.statuses, std::vector<short>{JCP_NOTIFY_SUCCESS});
  EXPECT_EQ(Requests(),
            (std::vector<Req>{{1, 0, 422, 510}, {2, 422, 422, 510}, {2, 844, 156, 244}, {3, 0, 0, 88}}));
  EXPECT_EQ(emu.LastSetData(0, "SET THING"), data);
  EXPECT_EQ(ctx->rcvLargeBufLen, 2u);  // the box's result word
}

TEST_F(JcpCommandTest, SetWithoutData) {
  ASSERT_EQ(Set("SET NOTHING", {}), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return rec.ended(); }));
  EXPECT_EQ(rec.statuses.back(), JCP_NOTIFY_SUCCESS);
  EXPECT_EQ(Requests(), (std::vector<Req>{{1, 0, 0, 88}, {3, 0, 0, 88}}));
}

TEST_F(JcpCommandTest, SaveTheSettingsImageThenPollWhileBusy) {
  std::vector<UInt8> image = emu.Image(0);
  for (std::size_t i = 0; i < image.size(); i += 7) image[i] ^= 0xFF;
  emu.SetBusyAfterSave(0, 2);
  ASSERT_EQ(Set("SAVE EEP_DATA", image, false), kOTNoError);
  EXPECT_EQ(rec.statuses.back(), JCP_NOTIFY_SUCCESS);
  EXPECT_EQ(emu.Image(0), image);
  std::vector<SInt16> polls;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(Get("POLLING", false), kOTNoError);
    polls.push_back(ctx->conditionNo);
  }
  EXPECT_EQ(polls, (std::vector<SInt16>{1, 1, 0}));
}

TEST_F(JcpCommandTest, ResendAfterTimeOutKeepsTheOffset) {
  emu.SetCommandReply(0, "GET BIG", Pattern(1200));
  FaultSpec drop;
  drop.mode = Fault::Drop;
  drop.skip = 1;  // the reply to the second block is lost once
  drop.count = 1;
  emu.SetFault(0, drop);
  rec.resendLimit = 2;
  ASSERT_EQ(Get("GET BIG"), kOTNoError);
  ASSERT_TRUE(Drive(61));
  EXPECT_EQ(rec.statuses, std::vector<short>{JCP_NOTIFY_SUCCESS});
  EXPECT_EQ(ctx->retryCnt, 1);
  EXPECT_EQ(Received(), Pattern(1200));
  auto log = emu.Requests(0);
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(Requests(),
            (std::vector<Req>{{1, 0, 0, 88}, {2, 512, 0, 88}, {2, 512, 0, 88}, {2, 1024, 0, 88}, {3, 0, 0, 88}}));
  EXPECT_NE(log[1].fromPort, log[2].fromPort);  // a new endpoint
}

TEST_F(JcpCommandTest, SynchronousResendsThenTimeOut) {
  FaultSpec silent;
  silent.mode = Fault::Silent;
  emu.SetFault(0, silent);
  rec.resendLimit = 2;
  {
    auto clock = SettledClock();
    EXPECT_EQ(Get("GET EEP_DATA", false), kOTNoError);
  }
  EXPECT_EQ(rec.statuses, std::vector<short>{JCP_NOTIFY_TIMEOUT});
  EXPECT_EQ(ctx->retryCnt, 2);
  EXPECT_EQ(emu.Requests(0).size(), 3u);  // tried three times
  EXPECT_EQ(ctx->rcvLargeBufLen, 0u);
}

// Each fault ends the exchange the way the protocol allows: a reply the
// client cannot use is dropped and the request times out (2), an early end
// ends it (3), and replies that are still whole get through (0).
TEST_F(JcpCommandTest, FaultModesEndAsTheProtocolSays) {
  struct Case {
    const char* name;
    FaultSpec fault;
    UInt32 step;
    short status;
    const char* cmd = "GET BIG";
  };
  auto fault = [](Fault m, UInt32 bytes = 0, UInt32 ticks = 0, int count = -1) {
    FaultSpec f;
    f.mode = m;
    f.bytes = bytes;
    f.ticks = ticks;
    f.count = count;
    return f;
  };
  const Case cases[] = {
      {"drop", fault(Fault::Drop), 61, JCP_NOTIFY_TIMEOUT},
      {"silent", fault(Fault::Silent), 61, JCP_NOTIFY_TIMEOUT},
      {"wrong offset", fault(Fault::WrongOffset), 61, JCP_NOTIFY_TIMEOUT},
      {"short, data cut", fault(Fault::Short, 100), 61, JCP_NOTIFY_TIMEOUT},
      {"short, head cut", fault(Fault::Short, 5), 61, JCP_NOTIFY_TIMEOUT},
      {"lying size", fault(Fault::LyingSize), 61, JCP_NOTIFY_TIMEOUT},
      {"size beyond a block", fault(Fault::LyingSize, 600), 61, JCP_NOTIFY_TIMEOUT},
      {"size beyond what came", fault(Fault::LyingSize, 300), 61, JCP_NOTIFY_TIMEOUT, "GET SMALL"},
      {"garbage", fault(Fault::Garbage), 61, JCP_NOTIFY_TIMEOUT},
      {"late beyond the time-out", fault(Fault::Late, 0, 120), 61, JCP_NOTIFY_TIMEOUT},
      {"early end", fault(Fault::EarlyEnd), 61, JCP_NOTIFY_ERROR},
      {"late within the time-out", fault(Fault::Late, 0, 30, 1), 30, JCP_NOTIFY_SUCCESS},
      {"oversized datagram", fault(Fault::Oversized, 3000), 61, JCP_NOTIFY_SUCCESS},
      {"request echoed", fault(Fault::Echo), 61, JCP_NOTIFY_SUCCESS},
  };
  std::vector<UInt8> data = Pattern(1200);
  emu.SetCommandReply(0, "GET BIG", data);
  emu.SetCommandReply(0, "GET SMALL", Pattern(100));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rec = {};
    emu.ClearLog();
    emu.SetFault(0, c.fault);
    ASSERT_EQ(Get(c.cmd), kOTNoError);
    ASSERT_TRUE(Drive(c.step));
    EXPECT_EQ(rec.statuses, std::vector<short>{c.status});
    EXPECT_EQ(JCP_IsTerminated(ctx.get()), 1);
    EXPECT_LE(ctx->rcvLargeBufLen, 1200u);
    if (c.status == JCP_NOTIFY_SUCCESS) {
      EXPECT_EQ(Received(), data);
    }
    if (c.status == JCP_NOTIFY_TIMEOUT) {
      EXPECT_EQ(Requests().size(), 1u);  // nothing was taken as an answer
    }
  }
}

TEST_F(JcpCommandTest, ReplyBeyondTheReceiveBufferEndsWithError) {
  emu.SetCommandReply(0, "GET HUGE", Pattern(17000));
  ASSERT_EQ(Get("GET HUGE"), kOTNoError);
  ASSERT_TRUE(Drive(61));
  EXPECT_EQ(rec.statuses, std::vector<short>{JCP_NOTIFY_ERROR});
  EXPECT_EQ(ctx->rcvLargeBufLen, 16384u);
  std::vector<UInt8> huge = Pattern(17000);
  EXPECT_EQ(Received(), std::vector<UInt8>(huge.begin(), huge.begin() + 16384));
  // An image that fills the buffer exactly is fine.
  rec = {};
  emu.SetCommandReply(0, "GET FULL", Pattern(16384));
  ASSERT_EQ(Get("GET FULL"), kOTNoError);
  ASSERT_TRUE(Drive(61));
  EXPECT_EQ(rec.statuses, std::vector<short>{JCP_NOTIFY_SUCCESS});
  EXPECT_EQ(Received(), Pattern(16384));
}

TEST_F(JcpCommandTest, SetOffsetBeyondTheDataIsClamped) {
  FaultSpec f;
  f.mode = Fault::WrongOffset;
  f.bytes = 5000;  // the box asks for offset 5422 of 1000 bytes
  f.count = 1;
  emu.SetFault(0, f);
  ASSERT_EQ(Set("SET THING", Pattern(1000)), kOTNoError);
  ASSERT_TRUE(Drive(61));
  EXPECT_EQ(rec.statuses, std::vector<short>{JCP_NOTIFY_SUCCESS});
  EXPECT_EQ(Requests(), (std::vector<Req>{{1, 0, 422, 510}, {2, 1000, 0, 88}, {3, 0, 0, 88}}));
}

TEST_F(JcpCommandTest, EndReplyToASetBlockIsNotTaken) {
  FaultSpec f;
  f.mode = Fault::EarlyEnd;
  emu.SetFault(0, f);
  ASSERT_EQ(Set("SET THING", Pattern(1000)), kOTNoError);
  ASSERT_TRUE(Drive(61));
  // The box's end reply answers a request of cond 1, so it does not match.
  EXPECT_EQ(rec.statuses, std::vector<short>{JCP_NOTIFY_TIMEOUT});
}

TEST_F(JcpCommandTest, OwnSetIpBroadcastComingBackIsDropped) {
  auto mac = emu.BoxMac(0);
  std::string cmd = "SET IP_ADDR:";
  const UInt8 payload[12] = {1, 6, mac[0], mac[1], mac[2], mac[3], mac[4], mac[5], 127, 1, 2, 3};
  cmd.append(reinterpret_cast<const char*>(payload), 12);
  FaultSpec echo;
  echo.mode = Fault::Echo;
  emu.SetFault(0, echo);
  JCP_UDP_SetRemote(ctx.get(), 0xFFFFFFFFu, JCP_UDP_PORT);
  ASSERT_EQ(JCP_SetCommand(ctx.get(), cmd.data(), UInt32(cmd.size()), nullptr, 0, 1000, jcptest::RecordingNotifier,
                           true),
            kOTNoError);
  ASSERT_TRUE(Drive(61));
  EXPECT_EQ(rec.statuses, std::vector<short>{JCP_NOTIFY_SUCCESS});
  EXPECT_EQ(ctx->conditionNo, 0);
  EXPECT_EQ(emu.ReportedAddress(0), 0x7F010203u);
}

TEST_F(JcpCommandTest, RefusedRequestsOpenNothing) {
  std::string longCmd(81, 'X');
  std::vector<UInt8> tooMuch(16385);
  EXPECT_EQ(JCP_GetCommand(ctx.get(), "GET", 3, nullptr, 0, 1000, nullptr, true), kOTBadDataErr);
  EXPECT_EQ(JCP_GetCommand(ctx.get(), longCmd.data(), 81, nullptr, 0, 1000, jcptest::RecordingNotifier, true),
            kOTBadDataErr);
  EXPECT_EQ(JCP_SetCommand(ctx.get(), "SET", 3, tooMuch.data(), 16385, 1000, jcptest::RecordingNotifier, true),
            kOTBadDataErr);
  EXPECT_EQ(JCP_Resending(nullptr), kOTBadDataErr);
  PBOXinfo box{};
  EXPECT_EQ(JCP_SetRemoteFromPBOX(ctx.get(), 1, &box, JCP_UDP_PORT, JCP_DDP_TYPE), kOTBadDataErr);
  box.pbi_ip_addr = 0x7F000042;
  EXPECT_EQ(JCP_SetRemoteFromPBOX(ctx.get(), 0, &box, JCP_UDP_PORT_OLD, JCP_DDP_TYPE), 0);
  EXPECT_EQ(ctx->protocol.udp.udpEPInfo.remoteIpAddr, 0x7F000042u);
  EXPECT_EQ(ctx->protocol.udp.udpEPInfo.remotePort, 9);
  box.ddpABlock = {0x1234, 5, 129};
  EXPECT_EQ(JCP_SetRemoteFromPBOX(ctx.get(), 2, &box, JCP_UDP_PORT, JCP_DDP_TYPE), 0);
  EXPECT_EQ(ctx->protocolType, JCP_PROTO_DDP);
  EXPECT_EQ(ctx->protocol.ddp.ddpEPInfo.remoteAddr.fNetwork, 0x1234);
  EXPECT_EQ(ctx->protocol.ddp.ddpEPInfo.remoteAddr.fDDPType, 0xA1);
  EXPECT_TRUE(rec.statuses.empty());
  EXPECT_EQ(tb::OTOpenProviderCount(), 0);
}

}  // namespace

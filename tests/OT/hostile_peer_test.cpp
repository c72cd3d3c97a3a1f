// Peers that lie, flood or impersonate the box, played over loopback by raw
// sockets. Each case checks the outcome and that no turn of the event loop
// took longer than 100 ms while the peer did its worst.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "OT/JCPCommand.h"
#include "OT/JCPSearch.h"
#include "atalk_harness.h"
#include "hostile_peer.h"
#include "toolbox/clock.h"

using namespace hostile;

namespace {

struct Outcome {
  std::vector<short> statuses;
  std::vector<UInt8> endData;
  int found = 0;
  bool ended() const { return !statuses.empty(); }
};
Outcome* gOutcome = nullptr;

void Notifier(JCPEPInfo*, void* data, void* extra, short status) {
  if (status == JCP_NOTIFY_FOUND) {
    gOutcome->found++;
    return;
  }
  gOutcome->statuses.push_back(status);
  UInt32 len = std::min<UInt32>(*static_cast<UInt32*>(extra), kJCPLargeBufSize);
  gOutcome->endData.assign(static_cast<UInt8*>(data), static_cast<UInt8*>(data) + len);
}

std::vector<UInt8> CommandReply(UInt16 chk, UInt16 cond, UInt16 offset, const std::string& data) {
  std::vector<UInt8> r(kJcpServerHeadSize);
  jcp_server h{chk, cond, offset, UInt16(data.size())};
  PackJcpServer(h, std::span<UInt8, kJcpServerHeadSize>(r.data(), kJcpServerHeadSize));
  r.insert(r.end(), data.begin(), data.end());
  return r;
}

std::vector<UInt8> SearchReply(const char* name) {
  jcp_reply r{};
  r.jcpr_chk = 2;
  r.jcpr_rule = JCP_SEARCH_RULE;
  std::memcpy(r.jcpr_machine_name, name, std::min<std::size_t>(std::strlen(name), 32));
  std::vector<UInt8> b(kJcpReplySize);
  PackJcpReply(r, std::span<UInt8, kJcpReplySize>(b.data(), kJcpReplySize));
  return b;
}

class HostilePeerTest : public ::testing::TestWithParam<SInt16> {
 protected:
  HostilePeerTest() {
    tb::UseVirtualClock(true);
    ctx = std::make_unique<JCPEPInfo>();
    gOutcome = &out;
  }
  ~HostilePeerTest() override {
    if (!JCP_IsTerminated(ctx.get())) {
      JCP_KillIOEvent(ctx.get());
      loop.RunUntil([&] { return JCP_IsTerminated(ctx.get()) != 0; }, ctx.get());
    }
    EXPECT_EQ(tb::OTOpenProviderCount(), 0);
    gOutcome = nullptr;
    tb::UseVirtualClock(false);
  }

  atalktest::AppleTalkEnv atalk;  // also sets Open Transport up
  std::unique_ptr<JCPEPInfo> ctx;
  Outcome out;
  Loop loop;
};

// A GET to the box while strangers answer first: from another host on the
// box's port, and from the box's host on another port (over AppleTalk:
// another node, another socket). Their replies, a block of their own and
// eight zero bytes, are dropped; the box's own answer makes the transfer.
TEST_P(HostilePeerTest, CommandRepliesAreTakenOnlyFromTheBox) {
  const bool ddp = GetParam() == JCP_PROTO_DDP;
  const UInt16 net = atalk.net;
  Peers peers = ddp ? Peers::Ddp(net, 60, 200) : Peers::Udp(0x7F000001);
  ASSERT_TRUE(peers.ok());
  if (ddp)
    JCP_DDP_SetRemote(ctx.get(), net, 60, 200, JCP_DDP_TYPE);
  else
    JCP_UDP_SetRemote(ctx.get(), peers.box.host(), peers.box.port());
  ASSERT_EQ(JCP_GetCommand(ctx.get(), "GET STATUS", 10, nullptr, 0, 1000, Notifier, true), kOTNoError);

  std::vector<UInt8> req;
  ASSERT_TRUE(loop.RunUntil([&] { return peers.box.Receive(req); }, ctx.get()));
  jcp_client c{};
  ASSERT_TRUE(UnpackJcpClient(req, c));
  EXPECT_EQ(c.jcpc_cond, JCP_COND_FIRST);

  for (Peer* stranger : {&peers.otherHost, &peers.otherPort}) {
    stranger->SendTo(peers.box.client(), CommandReply(1, 0, 0, "EVIL"));
    stranger->SendTo(peers.box.client(), std::vector<UInt8>(8, 0));
  }
  loop.RunFor(std::chrono::milliseconds(50), ctx.get());
  EXPECT_FALSE(out.ended());
  EXPECT_FALSE(peers.box.Receive(req)) << "a stranger's reply moved the transfer on";

  peers.box.SendTo(peers.box.client(), CommandReply(1, 0, 0, "GOOD"));
  ASSERT_TRUE(loop.RunUntil([&] { return peers.box.Receive(req); }, ctx.get()));
  ASSERT_TRUE(UnpackJcpClient(req, c));
  EXPECT_EQ(c.jcpc_cond, JCP_COND_END);
  peers.otherHost.SendTo(peers.box.client(), CommandReply(JCP_COND_END, 0, 0, ""));
  loop.RunFor(std::chrono::milliseconds(20), ctx.get());
  EXPECT_FALSE(out.ended()) << "a stranger ended the transfer";
  peers.box.SendTo(peers.box.client(), CommandReply(JCP_COND_END, 0, 0, ""));
  ASSERT_TRUE(loop.RunUntil([&] { return out.ended(); }, ctx.get()));

  EXPECT_EQ(out.statuses, std::vector<short>{JCP_NOTIFY_SUCCESS});
  EXPECT_EQ(std::string(out.endData.begin(), out.endData.end()), "GOOD");
  EXPECT_LT(loop.LongestMs(), 100);
}

// A peer that keeps talking without answering cannot keep a request alive:
// junk, even from the box's own address, leaves the quiet time running;
// replies a search does accept still end it at its overall limit.
TEST_P(HostilePeerTest, OnlyAcceptedRepliesKeepARequestAlive) {
  const bool ddp = GetParam() == JCP_PROTO_DDP;
  Peers peers = ddp ? Peers::Ddp(atalk.net, 60, 200) : Peers::Udp(0x7F000001);
  ASSERT_TRUE(peers.ok());
  struct Case {
    const char* what;
    SInt16 cmd;
    std::vector<UInt8> trickle;
    UInt32 endsBy;  // ticks
  } cases[] = {
      {"search, junk", JCP_CMD_SEARCH, {0, 4, 0x95, 6}, 60 + 30},
      {"GET, junk", JCP_CMD_GET, std::vector<UInt8>(8, 0xEE), 60 + 30},
      {"GET, a reply for another offset", JCP_CMD_GET, CommandReply(1, 1, 512, "x"), 60 + 30},
      {"search, a box answering for ever", JCP_CMD_SEARCH, SearchReply("CHATTY"), 60 * kJCPOverallLimitFactor + 30},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    out = Outcome{};
    const UInt32 target = peers.box.host();
    if (ddp)
      JCP_DDP_SetRemote(ctx.get(), atalk.net, 60, 200, k.cmd == JCP_CMD_SEARCH ? 0 : JCP_DDP_TYPE);
    else if (k.cmd == JCP_CMD_SEARCH)
      JCP_UDP_SetSearch(ctx.get(), &target, 1, peers.box.port());
    else
      JCP_UDP_SetRemote(ctx.get(), target, peers.box.port());
    OSStatus r = k.cmd == JCP_CMD_SEARCH
                     ? JCP_Search(ctx.get(), 4, 1000, Notifier, true)
                     : JCP_GetCommand(ctx.get(), "GET STATUS", 10, nullptr, 0, 1000, Notifier, true);
    ASSERT_EQ(r, kOTNoError);
    std::vector<UInt8> req;
    ASSERT_TRUE(loop.RunUntil([&] { return peers.box.Receive(req); }, ctx.get()));
    UInt32 spent = 0;
    while (!out.ended() && spent <= k.endsBy + 60) {
      peers.box.SendTo(peers.box.client(), k.trickle);
      loop.RunFor(std::chrono::milliseconds(5), ctx.get());
      tb::AdvanceTicks(30);
      spent += 30;
      loop.RunFor(std::chrono::milliseconds(1), ctx.get());
    }
    ASSERT_TRUE(loop.RunUntil([&] { return out.ended(); }, ctx.get()));
    EXPECT_EQ(out.statuses, std::vector<short>{JCP_NOTIFY_TIMEOUT});
    EXPECT_LE(spent, k.endsBy);
    EXPECT_EQ(out.found > 0, k.trickle.size() == kJcpReplySize);
    ASSERT_TRUE(loop.RunUntil([&] { return JCP_IsTerminated(ctx.get()) != 0; }, ctx.get()));
  }
  EXPECT_LT(loop.LongestMs(), 100);
}

INSTANTIATE_TEST_SUITE_P(Protocols, HostilePeerTest, ::testing::Values(JCP_PROTO_UDP, JCP_PROTO_DDP),
                         [](const auto& info) { return info.param == JCP_PROTO_DDP ? "AppleTalk" : "UDP"; });

}  // namespace

// Peers that lie, flood or impersonate the box, played over loopback by raw
// sockets. Each case checks the outcome and that no turn of the event loop
// took longer than 100 ms while the peer did its worst.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "OT/JCPCommand.h"
#include "OT/JCPSearch.h"
#include "OT/NBPLookup.h"
#include "atalk_harness.h"
#include "hostile_peer.h"
#include "toolbox/clock.h"
#include "toolbox/memory.h"

using namespace hostile;

namespace {

struct Outcome {
  std::vector<short> statuses;
  std::vector<UInt8> endData;
  int found = 0;
  UInt32 endTick = 0;  // the virtual clock when the end was told
  bool ended() const { return !statuses.empty(); }
};
Outcome* gOutcome = nullptr;

void Notifier(JCPEPInfo*, void* data, void* extra, short status) {
  if (status == JCP_NOTIFY_FOUND) {
    gOutcome->found++;
    return;
  }
  gOutcome->statuses.push_back(status);
  gOutcome->endTick = TickCount();
  UInt32 len = std::min<UInt32>(*static_cast<UInt32*>(extra), kJCPLargeBufSize);
  gOutcome->endData.assign(static_cast<UInt8*>(data), static_cast<UInt8*>(data) + len);
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

std::vector<UInt8> Cut(std::vector<UInt8> d, std::size_t n) {
  d.resize(n);
  return d;
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
// replies a command takes end its try at its time-out, replies a search
// takes end it at its overall limit.
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
      // Taken each time, and each time asks for the same block again.
      {"GET, a box that always says more follows", JCP_CMD_GET, CommandReply(1, 1, 0, ""), 60 + 30},
      {"search, a box answering for ever", JCP_CMD_SEARCH, SearchReply("CHATTY"), 60 * kJCPOverallLimitFactor + 30},
      {"search, replies one byte short", JCP_CMD_SEARCH, Cut(SearchReply("SHORT"), kJcpReplySize - 1), 60 + 30},
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
    std::vector<UInt8> req;
    while (peers.box.Receive(req)) {
    }  // what the case before asked
    OSStatus r = k.cmd == JCP_CMD_SEARCH
                     ? JCP_Search(ctx.get(), 4, 1000, Notifier, true)
                     : JCP_GetCommand(ctx.get(), "GET STATUS", 10, nullptr, 0, 1000, Notifier, true);
    ASSERT_EQ(r, kOTNoError);
    const UInt32 start = TickCount();
    ASSERT_TRUE(loop.RunUntil([&] { return peers.box.Receive(req); }, ctx.get()));
    // The peer talks every half time-out; the clock moves once it has been
    // heard, until the request ends (or plainly never will).
    for (UInt32 spent = 0; !out.ended() && spent <= k.endsBy + 60; spent += 30) {
      peers.box.SendTo(peers.box.client(), k.trickle);
      loop.RunFor(std::chrono::milliseconds(5), ctx.get());
      if (!out.ended()) tb::AdvanceTicks(30);
      loop.RunFor(std::chrono::milliseconds(1), ctx.get());
    }
    ASSERT_TRUE(loop.RunUntil([&] { return out.ended(); }, ctx.get()));
    EXPECT_EQ(out.statuses, std::vector<short>{JCP_NOTIFY_TIMEOUT});
    EXPECT_LE(out.endTick - start, k.endsBy);
    EXPECT_EQ(out.found > 0, k.trickle.size() == kJcpReplySize);
    ASSERT_TRUE(loop.RunUntil([&] { return JCP_IsTerminated(ctx.get()) != 0; }, ctx.get()));
  }
  EXPECT_LT(loop.LongestMs(), 100);
}

// A synchronous GET with a 1 s time-out while the box's address trickles
// junk: the caller waits its time-out, not as long as the junk goes on.
// The clock moves a tick on a pass of the wait only after a junk datagram
// has gone out (or once the junk has stopped).
TEST_P(HostilePeerTest, SynchronousRequestWaitsOnlyItsTimeOutWhileJunkArrives) {
  const bool ddp = GetParam() == JCP_PROTO_DDP;
  Peers peers = ddp ? Peers::Ddp(atalk.net, 60, 200) : Peers::Udp(0x7F000001);
  ASSERT_TRUE(peers.ok());
  if (ddp)
    JCP_DDP_SetRemote(ctx.get(), atalk.net, 60, 200, JCP_DDP_TYPE);
  else
    JCP_UDP_SetRemote(ctx.get(), peers.box.host(), peers.box.port());
  std::atomic<int> junk{0}, ticks{0};
  std::atomic<bool> stop{false}, junkDone{false};
  std::thread box([&] {
    std::vector<UInt8> req;
    for (int i = 0; i < 2000 && !stop && !peers.box.Receive(req); ++i) usleep(1000);
    for (int i = 0; i < 600 && !stop; ++i) {
      while (ticks.load() < junk.load() && !stop) usleep(100);
      peers.box.SendTo(peers.box.client(), std::vector<UInt8>(8, 0xEE));
      junk++;
    }
    junkDone = true;
  });
  ottest::LoopTicker ticker(
      [&] {
        if (ticks.load() >= junk.load() && !junkDone) return false;
        ticks++;
        return true;
      },
      1);
  const UInt32 start = TickCount();
  EXPECT_EQ(JCP_GetCommand(ctx.get(), "GET STATUS", 10, nullptr, 0, 1000, Notifier, false), kOTNoError);
  stop = true;
  box.join();
  EXPECT_EQ(out.statuses, std::vector<short>{JCP_NOTIFY_TIMEOUT});
  EXPECT_LE(out.endTick - start, 60u + 5u);
  EXPECT_GT(junk.load(), 30) << "the junk came while the request waited";
}

// A search's poll step runs on every idle pass of a program. Once it has
// read the socket empty it leaves the socket to the endpoint's notifier,
// which takes the next reply as soon as the pump hears of it.
TEST_P(HostilePeerTest, PollStepLeavesAQuietSearchSocketToItsNotifier) {
  const bool ddp = GetParam() == JCP_PROTO_DDP;
  Peers peers = ddp ? Peers::Ddp(atalk.net, 60, 200) : Peers::Udp(0x7F000001);
  ASSERT_TRUE(peers.ok());
  const UInt32 target = peers.box.host();
  if (ddp)
    JCP_DDP_SetRemote(ctx.get(), atalk.net, 60, 200, 0);
  else
    JCP_UDP_SetSearch(ctx.get(), &target, 1, peers.box.port());
  ASSERT_EQ(JCP_Search(ctx.get(), 4, 1000, Notifier, true), kOTNoError);
  std::vector<UInt8> probe;
  ASSERT_TRUE(loop.RunUntil([&] { return peers.box.Receive(probe); }, ctx.get()));
  loop.Turn(ctx.get());
  peers.box.SendTo(peers.box.client(), SearchReply("LATE"));
  for (int i = 0; i < 5; ++i) JCP_PendingLoop(ctx.get());
  EXPECT_EQ(out.found, 0) << "the poll step read the socket itself";
  ASSERT_TRUE(loop.RunUntil([&] { return out.found == 1; }, ctx.get()));
  EXPECT_FALSE(out.ended());
}

INSTANTIATE_TEST_SUITE_P(Protocols, HostilePeerTest, ::testing::Values(JCP_PROTO_UDP, JCP_PROTO_DDP),
                         [](const auto& info) { return info.param == JCP_PROTO_DDP ? "AppleTalk" : "UDP"; });

// Name lookups under a flood of replies, most of them to another lookup:
// those are dropped, every turn of the loop stays short, and a synchronous
// lookup ends at its time-out however fast the replies come.
class NbpFloodTest : public ::testing::Test {
 protected:
  NbpFloodTest() : node(atalk.net, 60) {
    std::memset(&nbp, 0, sizeof nbp);
    tb::UseVirtualClock(true);
  }
  ~NbpFloodTest() override {
    stop = true;
    for (std::thread& t : flood) t.join();
    if (NBP_IsActive(&nbp)) {
      NBP_KillIOEvent(&nbp);
      loop.RunUntil([&] { return !NBP_IsActive(&nbp); });
    }
    if (nbp.nbpAddrTable) DisposePtr(reinterpret_cast<Ptr>(nbp.nbpAddrTable));
    tb::UseVirtualClock(false);
  }

  // Sends `total` replies to the lookup that broadcast p from another
  // thread: one in `every` answers it (object "RIGHT"), the rest answer
  // another lookup (object "WRONG").
  void Flood(const atalktest::RawNode::Packet& p, int total, int every) {
    const UInt8 id = p.bytes.at(1);
    std::vector<std::vector<UInt8>> replies;
    for (int i = 0; i < 400; ++i) {
      const bool right = i % every == 0;
      replies.push_back(atalktest::LookupReply(right ? id : UInt8(id + 1 + i % 200),
                                               {{atalk.net, UInt8(1 + i % 250), 129, right ? "RIGHT" : "WRONG",
                                                 "CTRLJCP1", "*"}}));
    }
    for (int t = 0; t < kSenders; ++t)
      flood.emplace_back([this, p, replies, total, every] {
        for (int i = 0; i < total / kSenders && !stop; ++i) {
          node.Send(replies[std::size_t(i) % replies.size()], p.net, p.node, p.socket);
          if (i % every == 0) rightSent++;
          sent++;
        }
        if (++sendersDone == kSenders) done = true;
      });
  }

  static constexpr int kSenders = 2;
  atalktest::AppleTalkEnv atalk;
  atalktest::RawNode node;
  NBPEPInfo nbp;
  Loop loop;
  std::vector<std::thread> flood;
  std::atomic<bool> stop{false}, done{false};
  std::atomic<int> rightSent{0}, sent{0}, sendersDone{0};
};

struct NbpRows {
  int rows = 0, wrong = 0;
};

void NbpCount(NBPEPInfo*, NBPAddrTable* row, void* ref, SInt16 status) {
  auto* c = static_cast<NbpRows*>(ref);
  if (status != NBP_NOTIFY_ROW || !row) return;
  c->rows++;
  if (std::string(reinterpret_cast<char*>(row->object + 1), row->object[0]) != "RIGHT") c->wrong++;
}

TEST_F(NbpFloodTest, AsynchronousLookupTakesOnlyItsOwnRepliesInShortSteps) {
  NbpRows seen;
  nbp.NotifyProcPtr = &NbpCount;
  nbp.ref = &seen;
  OSStatus err = -5;
  EXPECT_EQ(NBP_LookupName(&nbp, "=", "CTRLJCP1", "*", 1000, &err, nullptr, true), nullptr);
  ASSERT_EQ(err, kOTNoError);
  atalktest::RawNode::Packet p;
  ASSERT_TRUE(node.NextLookup(p));
  Flood(p, 100000, 100);
  ASSERT_TRUE(loop.RunUntil([&] { return done.load(); }, nullptr, 60000));
  loop.RunFor(std::chrono::milliseconds(50));
  EXPECT_GT(seen.rows, 0);
  EXPECT_LE(seen.rows, rightSent.load());
  EXPECT_EQ(seen.wrong, 0);
  EXPECT_EQ(nbp.nbpAddrTableCnt, seen.rows);
  EXPECT_LT(loop.LongestMs(), 100);
}

TEST_F(NbpFloodTest, SynchronousLookupEndsAtItsTimeOutDuringAFlood) {
  // Once the flood runs, the clock moves a tick with every pass of the
  // pump, so the 300 ms (18 ticks) are up after a few passes, unless the
  // reads never let the pump run.
  ottest::LoopTicker ticker([&] { return sent.load() > 1000; }, 1);
  // The flood starts once the lookup is out: the node answers what it sees.
  atalktest::RawNode::Packet p;
  std::atomic<bool> seen{false};
  std::thread watcher([&] {
    if (node.NextLookup(p, 5000, false)) {
      seen = true;
      Flood(p, 100000, 100);
    }
  });
  OSStatus err = -5;
  short count = -5;
  auto t0 = Clock::now();
  NBPAddrTable* rows = NBP_LookupName(&nbp, "=", "CTRLJCP1", "*", 300, &err, &count, false);
  auto took = Clock::now() - t0;
  watcher.join();
  const bool floodStillRunning = !done.load();
  stop = true;
  for (std::thread& t : flood) t.join();
  flood.clear();
  ASSERT_TRUE(seen);
  EXPECT_EQ(err, kOTNoError);
  for (short i = 0; i < count; ++i)
    EXPECT_EQ(std::string(reinterpret_cast<char*>(rows[i].object + 1), rows[i].object[0]), "RIGHT");
  if (rows) DisposePtr(reinterpret_cast<Ptr>(rows));
  EXPECT_TRUE(floodStillRunning) << "the lookup lasted as long as the flood";
  EXPECT_LT(took, std::chrono::seconds(5));
}

// The table doubles: a new table at 16, 32, 64 rows, none in between.
TEST(NbpTable, GrowsGeometrically) {
  NBPAddrTable* t = nullptr;
  int copies = 0;
  for (SInt16 n = 0; n < 1000; ++n) {
    NBPAddrTable* g = NBP_GrowTable(t, n);
    ASSERT_NE(g, nullptr);
    if (g != t) copies++;
    t = g;
    t[n].node = UInt8(n);
  }
  EXPECT_EQ(copies, 1 + 6);  // 16, then 32, 64, 128, 256, 512, 1024
  EXPECT_EQ(t[999].node, UInt8(999));
  EXPECT_EQ(t[17].node, 17);
  DisposePtr(reinterpret_cast<Ptr>(t));
  EXPECT_EQ(NBP_GrowTable(nullptr, 0x7FFF), nullptr);
}

}  // namespace

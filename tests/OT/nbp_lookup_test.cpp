// AppleTalk name lookup: the lookup packet, its ids, the rows replies give,
// the table's growth, synchronous lookups, kills and the zones.
#include "OT/NBPLookup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "atalk_harness.h"
#include "toolbox/memory.h"

using namespace atalktest;

namespace {

struct Seen {
  std::vector<SInt16> statuses;
  std::vector<NBPAddrTable> rows;
  std::vector<void*> refs;
  bool ended() const { return !statuses.empty() && statuses.back() != NBP_NOTIFY_ROW; }
};

void Callback(NBPEPInfo*, NBPAddrTable* row, void* ref, SInt16 status) {
  auto* s = static_cast<Seen*>(ref);
  s->statuses.push_back(status);
  s->refs.push_back(ref);
  if (row) s->rows.push_back(*row);
}

std::string Name(const UInt8 (&field)[34]) { return std::string(reinterpret_cast<const char*>(field + 1), field[0]); }

class NbpLookupTest : public ::testing::Test {
 protected:
  NbpLookupTest() : ep(std::make_unique<NBPEPInfo>()) {
    std::memset(ep.get(), 0, sizeof *ep);
    ep->NotifyProcPtr = &Callback;
    ep->ref = &seen;
  }
  ~NbpLookupTest() override {
    if (NBP_IsActive(ep.get())) {
      NBP_KillIOEvent(ep.get());
      PumpUntil([&] { return !NBP_IsActive(ep.get()); });
    }
  }
  // Starts an asynchronous lookup and returns the packet it broadcast.
  RawNode::Packet StartAsync(RawNode& node, const char* object = "=", const char* type = "CTRLJCP1",
                             const char* zone = "*") {
    OSStatus err = -5;
    short count = -5;
    EXPECT_EQ(NBP_LookupName(ep.get(), object, type, zone, 1000, &err, &count, true), nullptr);
    EXPECT_EQ(err, 0);
    RawNode::Packet p;
    EXPECT_TRUE(node.NextLookup(p));
    return p;
  }
  void End() {
    NBP_KillIOEvent(ep.get());
    ASSERT_TRUE(PumpUntil([&] { return seen.ended(); }));
    EXPECT_FALSE(NBP_IsActive(ep.get()));
  }

  AppleTalkEnv env;
  Seen seen;
  std::unique_ptr<NBPEPInfo> ep;
};

std::vector<UInt8> Bytes(std::initializer_list<int> v) { return std::vector<UInt8>(v.begin(), v.end()); }
std::vector<UInt8> operator+(std::vector<UInt8> a, const std::string& s) {
  a.push_back(UInt8(s.size()));
  a.insert(a.end(), s.begin(), s.end());
  return a;
}

}  // namespace

TEST_F(NbpLookupTest, LookupPacketBytesAndFunctionByZone) {
  RawNode node(env.net, 60);
  nbp::transID = 40;
  // No zones: "*" reads back as "*", so the packet is a lookup (function 2).
  RawNode::Packet p = StartAsync(node);
  EXPECT_EQ(p.type, 2);
  EXPECT_EQ(p.net, env.net);
  EXPECT_EQ(p.node, kOwnNode);
  EXPECT_EQ(p.bytes, Bytes({0x21, 41, env.net >> 8, env.net & 0xFF, kOwnNode, p.socket, 0}) + "=" + "CTRLJCP1" + "*");
  EXPECT_EQ(ep->localAddr.fSocket, p.socket);
  EXPECT_EQ(ep->sndBufLen, p.bytes.size());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ep->remoteNBPAddress.fNBPNameBuffer)), "=:CTRLJCP1@*");
  End();
  EXPECT_EQ(seen.statuses, std::vector<SInt16>{NBP_NOTIFY_ERROR});

  // A named zone is a broadcast request (function 1).
  seen = {};
  p = StartAsync(node, "Printer 1", "CTRLJCP1", "Sales");
  EXPECT_EQ(p.bytes[0], 0x11);
  EXPECT_EQ(p.bytes[1], 42);
  EXPECT_EQ(std::vector<UInt8>(p.bytes.begin() + 7, p.bytes.end()),
            std::vector<UInt8>{} + "Printer 1" + "CTRLJCP1" + "Sales");
  End();

  // "*" on a zoned network is the own zone's name, so function 1 again.
  env.Configure("myzone = Lab\n");
  seen = {};
  p = StartAsync(node);
  EXPECT_EQ(p.bytes[0], 0x11);
  EXPECT_EQ(std::vector<UInt8>(p.bytes.begin() + 7, p.bytes.end()), std::vector<UInt8>{} + "=" + "CTRLJCP1" + "Lab");
  End();
}

TEST_F(NbpLookupTest, IdsRunToTwoHundredFiftyFiveThenOne) {
  RawNode node(env.net, 60);
  nbp::transID = 253;
  std::vector<int> ids;
  for (int i = 0; i < 4; ++i) {
    seen = {};
    ids.push_back(StartAsync(node).bytes[1]);
    End();
  }
  EXPECT_EQ(ids, (std::vector<int>{254, 255, 1, 2}));
}

TEST_F(NbpLookupTest, RepliesGiveRowsFromTheirFirstWellFormedTuple) {
  RawNode node(env.net, 60);
  RawNode::Packet p = StartAsync(node);
  UInt8 id = p.bytes[1];
  std::string n32(32, 'n'), n33(33, 'x');
  struct Case {
    const char* what;
    std::vector<UInt8> bytes;
    bool row;
  } cases[] = {
      {"three tuples", LookupReply(id, {{0x1234, 77, 129, "Box A", "CTRLJCP1", "Sales"},
                                        {0x1234, 78, 129, "Box B", "CTRLJCP1", "Sales"},
                                        {0x1234, 79, 129, "Box C", "CTRLJCP1", "Sales"}}),
       true},
      {"not a reply", LookupReply(id, {{1, 2, 3, "x", "y", "z"}}, 2), false},
      {"no tuple", Bytes({0x30, id}), false},
      {"object of 33", LookupReply(id, {{1, 2, 3, n33, "CTRLJCP1", "Sales"}}), false},
      {"zone of 33", LookupReply(id, {{1, 2, 3, "o", "CTRLJCP1", n33}}), false},
      {"names of 32", LookupReply(id, {{0x0102, 9, 10, n32, n32, n32}}), true},
      {"cut short", [&] { auto b = LookupReply(id, {{1, 2, 3, "obj", "CTRLJCP1", "Sales"}}); b.resize(b.size() - 2); return b; }(), false},
      {"head only", Bytes({0x31, id, 0, 1, 2}), false},
  };
  int rows = 0;
  for (const Case& c : cases) {
    node.Send(c.bytes, p.net, p.node, p.socket);
    rows += c.row;
    // A valid reply sent after each case shows when the case has been read.
    node.Send(LookupReply(id, {{7, 7, 7, "mark", "m", "m"}}), p.net, p.node, p.socket);
    rows += 1;
    ASSERT_TRUE(PumpUntil([&] { return int(seen.rows.size()) == rows; })) << c.what;
    EXPECT_EQ(Name(seen.rows.back().object), "mark") << c.what;
  }
  ASSERT_EQ(ep->nbpAddrTableCnt, rows);
  const NBPAddrTable& first = seen.rows[0];
  EXPECT_EQ(first.addrType, kOTDDPAddressType);
  EXPECT_EQ(first.network, 0x1234);
  EXPECT_EQ(first.node, 77);
  EXPECT_EQ(first.socket, 129);
  EXPECT_EQ(first.ddpType, 2);
  EXPECT_EQ(first.zero, 0);
  EXPECT_EQ(Name(first.object), "Box A");
  EXPECT_EQ(Name(first.type), "CTRLJCP1");
  EXPECT_EQ(Name(first.zone), "Sales");
  EXPECT_EQ(first.object[6], 0);  // the rest of the field stays clear
  ASSERT_EQ(seen.rows.size(), 10u);
  const NBPAddrTable& longest = seen.rows[6];
  EXPECT_EQ(Name(longest.object), n32);
  EXPECT_EQ(Name(longest.zone), n32);
  for (void* r : seen.refs) EXPECT_EQ(r, &seen);
  // The callback's row is the table's own.
  EXPECT_EQ(std::memcmp(&ep->nbpAddrTable[0], &first, sizeof first), 0);
  End();
  EXPECT_EQ(ep->nbpAddrTable, nullptr);
  EXPECT_EQ(ep->nbpAddrTableCnt, 0);
}

TEST_F(NbpLookupTest, TableGrowsBySixteenRows) {
  RawNode node(env.net, 60);
  RawNode::Packet p = StartAsync(node);
  for (int i = 1; i <= 17; ++i) {
    node.Send(LookupReply(p.bytes[1], {{env.net, UInt8(100 + i), 129, "Box", "CTRLJCP1", "*"}}), p.net, p.node,
              p.socket);
    ASSERT_TRUE(PumpUntil([&] { return ep->nbpAddrTableCnt == i; }));
    Size want = Size((i <= 16 ? 16 : 32) * sizeof(NBPAddrTable));
    EXPECT_EQ(GetPtrSize(reinterpret_cast<Ptr>(ep->nbpAddrTable)), want) << i;
  }
  EXPECT_EQ(ep->nbpAddrTable[16].node, 117);
  EXPECT_EQ(ep->nbpAddrTable[0].node, 101);  // kept across the growth
  End();
}

TEST_F(NbpLookupTest, SynchronousLookupCollectsForTheWholeTimeOut) {
  tb::UseVirtualClock(true);
  RawNode node(env.net, 60);
  // The peer answers twice, some time apart; the lookup must wait for both.
  std::thread peer([&] {
    RawNode::Packet p;
    if (!node.NextLookup(p, 3000, false)) return;
    node.Send(LookupReply(p.bytes[1], {{env.net, 90, 129, "One", "CTRLJCP1", "*"}}), p.net, p.node, p.socket);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    node.Send(LookupReply(p.bytes[1], {{env.net, 91, 129, "Two", "CTRLJCP1", "*"}}), p.net, p.node, p.socket);
  });
  // The clock moves only once both rows are in: 60 ticks per pass.
  UInt32 start = TickCount();
  auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  LoopTicker ticker([&] { return ep->nbpAddrTableCnt >= 2 || std::chrono::steady_clock::now() > giveUp; }, 60);
  OSStatus err = -5;
  short count = 0;
  NBPAddrTable* rows = NBP_LookupName(ep.get(), "=", "CTRLJCP1", "*", 3000, &err, &count, false);
  peer.join();
  tb::UseVirtualClock(false);
  EXPECT_EQ(err, 0);
  ASSERT_EQ(count, 2);
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows[0].node, 90);
  EXPECT_EQ(rows[1].node, 91);
  EXPECT_GT(TickCount() - start, 0u);
  EXPECT_EQ(ep->nbpAddrTable, nullptr);  // the rows are the caller's
  EXPECT_FALSE(NBP_IsActive(ep.get()));
  EXPECT_TRUE(seen.statuses.empty());  // no callback in synchronous mode
  DisposePtr(reinterpret_cast<Ptr>(rows));
  EXPECT_EQ(tb::OTOpenProviderCount(), 0);
}

TEST_F(NbpLookupTest, SynchronousLookupWithoutAnswersEndsEmpty) {
  tb::UseVirtualClock(true);
  LoopTicker ticker([] { return true; }, 10);
  OSStatus err = -5;
  short count = -5;
  EXPECT_EQ(NBP_LookupName(ep.get(), "=", "CTRLJCP1", "Nowhere", 500, &err, &count, false), nullptr);
  tb::UseVirtualClock(false);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(tb::OTOpenProviderCount(), 0);
}

TEST_F(NbpLookupTest, RefusedStartsAndKillWhileOpening) {
  OSStatus err = 0;
  short count = 0;
  EXPECT_EQ(NBP_LookupName(nullptr, "=", "CTRLJCP1", "*", 100, &err, &count, true), nullptr);
  EXPECT_EQ(err, -1);
  std::string n33(33, 'x');
  EXPECT_EQ(NBP_LookupName(ep.get(), n33.c_str(), "t", "z", 100, &err, &count, true), nullptr);
  EXPECT_EQ(err, kOTBadDataErr);
  EXPECT_EQ(NBP_LookupName(ep.get(), "o", n33.c_str(), "z", 100, &err, &count, true), nullptr);
  EXPECT_EQ(err, kOTBadDataErr);
  EXPECT_EQ(NBP_LookupName(ep.get(), "o", "t", n33.c_str(), 100, &err, &count, true), nullptr);
  EXPECT_EQ(err, kOTBadDataErr);
  EXPECT_EQ(tb::OTOpenProviderCount(), 0);

  // Ended before the open completed: it ends as soon as it does, sending
  // nothing, and a second start meanwhile is refused.
  EXPECT_EQ(NBP_LookupName(ep.get(), "=", "CTRLJCP1", "*", 100, &err, &count, true), nullptr);
  EXPECT_EQ(err, 0);
  EXPECT_TRUE(NBP_IsActive(ep.get()));
  NBP_KillIOEvent(ep.get());
  EXPECT_EQ(NBP_LookupName(ep.get(), "=", "CTRLJCP1", "*", 100, &err, &count, true), nullptr);
  EXPECT_EQ(err, kOTStateChangeErr);
  ASSERT_TRUE(PumpUntil([&] { return seen.ended(); }));
  EXPECT_EQ(seen.statuses, std::vector<SInt16>{NBP_NOTIFY_ERROR});
  EXPECT_FALSE(ep->sndComplete);
  EXPECT_EQ(tb::OTOpenProviderCount(), 0);
}

TEST_F(NbpLookupTest, ZonesSynchronousAndAsynchronous) {
  env.Configure("myzone = Sales\nzone = Engineering\nzone = Sales\n");
  UInt8 buf[64] = {};
  OSStatus err = 7;
  EXPECT_EQ(ZIP_GetZone(buf, sizeof buf, ZIP_OWN_ZONE, &err, false), 1);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 6), "\x05Sales");
  EXPECT_EQ(ZIP_GetZone(buf, sizeof buf, ZIP_ZONE_LIST, &err, false), 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 18), "\x0B" "Engineering\x05Sales");
  EXPECT_EQ(ZIP_GetZone(buf, sizeof buf, 2, &err, false), 0);
  EXPECT_EQ(err, ZIP_BAD_FLAG_ERR);
  EXPECT_EQ(ZIP_GetZone(buf, 10, ZIP_ZONE_LIST, &err, false), 0);  // no room for the list
  EXPECT_EQ(err, kOTBufferOverflowErr);
  EXPECT_EQ(ZIP_GetZone(nullptr, 10, ZIP_ZONE_LIST, &err, false), 0);
  EXPECT_EQ(err, kOTBadDataErr);

  struct Case {
    short flag;
    long size;
    OSStatus word;
  } cases[] = {{ZIP_OWN_ZONE, 64, 1}, {ZIP_ZONE_LIST, 64, 2}, {5, 64, kOTBadDataErr}, {ZIP_ZONE_LIST, 10, kOTBufferOverflowErr}};
  for (const Case& c : cases) {
    OSStatus word = 7;
    EXPECT_EQ(ZIP_GetZone(buf, c.size, c.flag, &word, true), 0);
    EXPECT_EQ(word, ZIP_PENDING);
    ASSERT_TRUE(PumpUntil([&] { return word != ZIP_PENDING; })) << c.flag;
    EXPECT_EQ(word, c.word) << c.flag;
  }
  EXPECT_EQ(tb::OTOpenProviderCount(), 0);

  // No zones at all.
  env.Configure("");
  EXPECT_EQ(ZIP_GetZone(buf, sizeof buf, ZIP_ZONE_LIST, &err, false), 0);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(ZIP_GetZone(buf, sizeof buf, ZIP_OWN_ZONE, &err, false), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 2), "\x01*");
}

TEST(CntZoneList, CountsNonEmptyNamesWithinTheLength) {
  struct Case {
    std::string list;
    long length;
    short want;
  } cases[] = {
      {std::string("\x03one\x00\x03two", 9), 9, 2},
      {std::string("\x03one\x03two", 8), 8, 2},
      {std::string("\x03one\x03two", 4), 4, 1},
      {std::string("\x03one\x05tw", 7), 7, 1},  // the last name runs past the end
      {std::string("\x00\x00\x00", 3), 3, 0},
      {"", 0, 0},
      {std::string("\x01x"), -1, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CntZoneList(reinterpret_cast<const UInt8*>(c.list.data()), c.length), c.want) << c.length;
  EXPECT_EQ(CntZoneList(nullptr, 5), 0);
}

// The emulator's AppleTalk nodes seen from plain sockets, so the client's
// AppleTalk tests rest on a peer that is known to speak the wire format.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "atalk_harness.h"
#include "pboxemu/emulator.h"
#include "toolbox/netconfig.h"

using namespace atalktest;

namespace {

class AtalkEmuTest : public ::testing::Test {
 protected:
  AtalkEmuTest() : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()) { tb::ReloadNetConfig(); }
  ~AtalkEmuTest() override {
    emu.Stop();
    tb::ReloadNetConfig();
  }
  void Start() {
    std::string error;
    ASSERT_TRUE(emu.Start(&error)) << error;
  }
  // Sends a lookup and collects the answers; a last lookup that box
  // `marker` answers shows that everything before it has been handled.
  std::vector<RawNode::Packet> Ask(RawNode& raw, const std::vector<UInt8>& lookup, int marker) {
    raw.Send(lookup, env.net, 255, 2);
    std::string name = "PBOX-" + std::to_string(marker + 1);
    raw.Send(LookupRequest(2, 0xEE, env.net, 60, 2, name, "CTRLJCP1", "*"), env.net, 255, 2);
    std::vector<RawNode::Packet> got;
    RawNode::Packet p;
    while (raw.Recv(p)) {
      if (p.bytes.size() > 1 && p.bytes[1] == 0xEE) return got;
      got.push_back(p);
    }
    ADD_FAILURE() << "the marker lookup was not answered";
    return got;
  }

  testsupport::ScopedEnv ports_;
  AppleTalkEnv env{"myzone = Sales\nzone = Sales\nzone = Lab\n"};
  pboxemu::Emulator emu;
};

pboxemu::BoxSpec AtBox(const std::string& zone = "", const std::string& name = "") {
  pboxemu::BoxSpec s;
  s.appleTalk = true;
  s.zone = zone;
  s.name = name;
  return s;
}

std::vector<UInt8> Probe() {
  std::vector<UInt8> p(88, 0);
  p[1] = 4;
  p[2] = 0x95;
  p[3] = 0x06;
  return p;
}

}  // namespace

TEST_F(AtalkEmuTest, LookupsAreAnsweredByTheBoxesTheyName) {
  emu.AddBox(AtBox());                 // 0: the own zone, Sales
  emu.AddBox(AtBox("Lab"));            // 1
  emu.AddBox();                        // 2: no AppleTalk
  emu.AddBox(AtBox("", "Front Desk"));  // 3
  Start();
  ASSERT_EQ(emu.BoxNode(2), 0);
  RawNode raw(env.net, 60);

  struct Case {
    UInt8 function;
    std::string object, type, zone;
    std::set<int> boxes;
  } cases[] = {
      {1, "=", "CTRLJCP1", "Sales", {0, 3}},
      {1, "=", "ctrljcp1", "lab", {1}},
      {2, "front desk", "=", "*", {3}},
      {2, "=", "CTRLJCP1", "*", {0, 1, 3}},
      {2, "=", "LaserWriter", "*", {}},
      {1, "PBOX-1", "CTRLJCP1", "Lab", {}},
  };
  UInt8 id = 1;
  for (const Case& c : cases) {
    std::set<int> answered;
    for (const RawNode::Packet& p : Ask(raw, LookupRequest(c.function, id, env.net, 60, 2, c.object, c.type, c.zone), 1)) {
      EXPECT_EQ(p.bytes[1], id);
      for (int b = 0; b < emu.BoxCount(); ++b)
        if (emu.BoxNode(b) == p.node) answered.insert(b);
    }
    EXPECT_EQ(answered, c.boxes) << c.object << ":" << c.type << "@" << c.zone;
    ++id;
  }

  // The answer's bytes, from the box's names information socket.
  raw.Send(LookupRequest(2, 77, 0, 60, 2, "Front Desk", "CTRLJCP1", "*"), env.net, emu.BoxNode(3), 2);
  RawNode::Packet p;
  ASSERT_TRUE(raw.Recv(p));
  EXPECT_EQ(p.type, 2);
  EXPECT_EQ(p.node, emu.BoxNode(3));
  EXPECT_EQ(p.socket, 2);
  std::vector<UInt8> want = LookupReply(77, {{env.net, emu.BoxNode(3), 64, "Front Desk", "CTRLJCP1", "Sales"}});
  EXPECT_EQ(p.bytes, want);
  EXPECT_EQ(emu.BoxDdpSocket(3), 64);
  EXPECT_GE(emu.NbpLookups(3), 3);
}

TEST_F(AtalkEmuTest, BroadcastsOfOtherNetworksAndBadLookupsGoUnanswered) {
  emu.AddBoxes(2, AtBox());
  Start();
  RawNode raw(env.net, 60);
  RawNode stranger(UInt16(env.net ^ 0x4000), 250);
  stranger.Send(LookupRequest(2, 9, env.net ^ 0x4000, 250, 2, "=", "CTRLJCP1", "*"), 0, 255, 2);
  std::string n33(33, 'x');
  std::vector<std::vector<UInt8>> bad = {
      LookupRequest(3, 9, env.net, 60, 2, "=", "CTRLJCP1", "*"),   // a reply, not a lookup
      LookupRequest(2, 9, env.net, 60, 2, n33, "CTRLJCP1", "*"),   // name too long
      {0x21, 9, 0, 0, 60, 2, 0, 1, '='},                           // names cut short
  };
  for (const auto& b : bad) EXPECT_TRUE(Ask(raw, b, 0).empty());
  RawNode::Packet p;
  ASSERT_TRUE(emu.Settle());
  EXPECT_FALSE(stranger.Recv(p, 0));
  EXPECT_EQ(emu.NbpLookups(0), int(bad.size()));  // only the markers
}

TEST_F(AtalkEmuTest, MalformedAnswersForTheClientTests) {
  pboxemu::BoxSpec s = AtBox();
  s.nbpReply = pboxemu::NbpReply::LongName;
  emu.AddBox(s);
  s.nbpReply = pboxemu::NbpReply::PastEnd;
  emu.AddBox(s);
  s.nbpReply = pboxemu::NbpReply::NotReply;
  emu.AddBox(s);
  s.nbpReply = pboxemu::NbpReply::Silent;
  emu.AddBox(s);
  emu.AddBox(AtBox());
  Start();
  RawNode raw(env.net, 60);
  std::map<UInt8, std::vector<UInt8>> byNode;
  for (const RawNode::Packet& p : Ask(raw, LookupRequest(1, 5, env.net, 60, 2, "=", "CTRLJCP1", "Sales"), 4))
    byNode[p.node] = p.bytes;
  ASSERT_EQ(byNode.size(), 4u);  // the silent one is missing
  EXPECT_EQ(byNode[emu.BoxNode(0)][7], 33);
  std::vector<UInt8> good = LookupReply(5, {{env.net, emu.BoxNode(1), 64, "PBOX-2", "CTRLJCP1", "Sales"}});
  EXPECT_EQ(byNode[emu.BoxNode(1)], std::vector<UInt8>(good.begin(), good.end() - 1));
  EXPECT_EQ(byNode[emu.BoxNode(2)][0], 0x21);
}

TEST_F(AtalkEmuTest, JcpOverDdpAnswersProbesAndCommands) {
  emu.AddBox(AtBox("", "Copier"));
  Start();
  RawNode raw(env.net, 60);
  raw.Send(Probe(), env.net, emu.BoxNode(0), emu.BoxDdpSocket(0), 0);
  RawNode::Packet p;
  ASSERT_TRUE(raw.Recv(p));
  ASSERT_EQ(p.bytes.size(), 72u);
  EXPECT_EQ(std::vector<UInt8>(p.bytes.begin(), p.bytes.begin() + 4), (std::vector<UInt8>{0, 2, 0x95, 0x06}));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&p.bytes[4]), 6), "Copier");
  EXPECT_EQ(p.type, 0);
  EXPECT_EQ(p.socket, 64);
  EXPECT_EQ(emu.Probes(0), 1);

  // A GET as the client sends it over DDP: 510 bytes, type 0xA1.
  std::vector<UInt8> get(510, 0);
  be::put16(&get[0], 1);
  be::put16(&get[2], 1);
  std::memcpy(&get[4], "GET EEP_DATA", 12);
  raw.Send(get, env.net, emu.BoxNode(0), emu.BoxDdpSocket(0), 0xA1);
  ASSERT_TRUE(raw.Recv(p));
  EXPECT_EQ(p.type, 0xA1);
  ASSERT_GE(p.bytes.size(), 8u);
  std::vector<UInt8> image = emu.Image(0);
  std::size_t block = std::min<std::size_t>(image.size(), 512);
  EXPECT_EQ(be::get16(&p.bytes[6]), block);
  EXPECT_EQ(std::vector<UInt8>(p.bytes.begin() + 8, p.bytes.end()), std::vector<UInt8>(image.begin(), image.begin() + block));
  ASSERT_FALSE(emu.Requests(0).empty());
  EXPECT_EQ(emu.Requests(0).back().command, "GET EEP_DATA");
  EXPECT_EQ(emu.Requests(0).back().length, 510u);
}

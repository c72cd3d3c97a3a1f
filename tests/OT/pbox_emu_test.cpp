// The emulator seen from a plain socket, so that the client's tests rest on
// a peer that is known to speak the protocol; and its command line, with
// the held-job manager against the boxes it runs.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/netconfig.h"
#include "toolbox/pictures.h"

namespace {

class RawClient {
 public:
  RawClient() {
    s_ = socket(AF_INET, SOCK_DGRAM, 0);
    int one = 1;
    setsockopt(s_, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  }
  ~RawClient() { close(s_); }
  void send(UInt32 addr, UInt16 port, const std::vector<UInt8>& d) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(tb::MapPort(port));
    to.sin_addr.s_addr = htonl(addr);
    sendto(s_, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  // Waits up to ms real milliseconds for one datagram.
  bool recv(std::vector<UInt8>& d, UInt32* from = nullptr, int ms = 2000) {
    pollfd p{s_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return false;
    d.resize(4096);
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ssize_t n = recvfrom(s_, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&sa), &len);
    if (n < 0) return false;
    d.resize(std::size_t(n));
    if (from) *from = ntohl(sa.sin_addr.s_addr);
    return true;
  }

 private:
  int s_;
};

std::vector<UInt8> request(UInt16 cond, const std::string& cmd, UInt16 offset, std::vector<UInt8> data = {}) {
  std::vector<UInt8> r(88 + data.size(), 0);
  be::put16(&r[0], cond);
  be::put16(&r[2], 1);
  std::memcpy(&r[4], cmd.data(), cmd.size());
  be::put16(&r[84], offset);
  be::put16(&r[86], UInt16(data.size()));
  std::copy(data.begin(), data.end(), r.begin() + 88);
  return r;
}

class EmulatorTest : public ::testing::Test {
 protected:
  EmulatorTest() : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()) { tb::ReloadNetConfig(); }
  ~EmulatorTest() override { tb::ReloadNetConfig(); }
  testsupport::ScopedEnv ports_;
};

TEST_F(EmulatorTest, BroadcastProbeIsAnsweredByEveryBoxOfThatPort) {
  pboxemu::Emulator emu;
  emu.AddBoxes(3);
  pboxemu::BoxSpec old;
  old.oldVersion = true;
  emu.AddBox(old);
  old.answersNewSearch = true;
  emu.AddBox(old);
  std::string err;
  ASSERT_TRUE(emu.Start(&err)) << err;
  RawClient c;
  std::vector<UInt8> probe(88, 0);
  probe[1] = 4;
  probe[2] = 0x95;
  probe[3] = 0x06;
  c.send(0x7FFFFFFF, 19541, probe);
  std::set<UInt32> from;
  std::vector<UInt8> d;
  UInt32 a;
  while (from.size() < 4 && c.recv(d, &a)) {
    ASSERT_EQ(d.size(), 72u);
    EXPECT_EQ(be::get32(d.data()), 0x00029506u);
    EXPECT_EQ(be::get32(&d[66]), a);  // reports its own address
    // The old box that answers the new search names its own port.
    EXPECT_EQ(be::get16(&d[62]), a == emu.BoxAddress(4) ? 9 : 19541);
    from.insert(a);
  }
  EXPECT_EQ(from.size(), 4u);
  EXPECT_EQ(from.count(emu.BoxAddress(3)), 0u);
  ASSERT_TRUE(emu.Settle());
  EXPECT_FALSE(c.recv(d, &a, 0));  // the plain old box listens on 9 only
  c.send(emu.BoxAddress(3), 9, probe);
  ASSERT_TRUE(c.recv(d, &a));
  EXPECT_EQ(a, emu.BoxAddress(3));
  EXPECT_EQ(be::get16(&d[62]), 9);
}

TEST_F(EmulatorTest, GetInBlocksAndSetReassembled) {
  pboxemu::Emulator emu;
  emu.AddBox();
  ASSERT_TRUE(emu.Start());
  std::vector<UInt8> big(1200);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = UInt8(i * 7);
  emu.SetCommandReply(0, "GET BIG", big);
  RawClient c;
  std::vector<UInt8> got, d;
  UInt16 off = 0;
  for (int i = 0; i < 3; ++i) {
    c.send(emu.BoxAddress(0), 19541, request(off ? 2 : 1, "GET BIG", off));
    ASSERT_TRUE(c.recv(d));
    ASSERT_EQ(be::get16(&d[4]), off);
    UInt16 n = be::get16(&d[6]);
    got.insert(got.end(), d.begin() + 8, d.begin() + 8 + n);
    off = UInt16(off + n);
    EXPECT_EQ(be::get16(&d[2]), i < 2 ? 1 : 0);
  }
  EXPECT_EQ(got, big);
  c.send(emu.BoxAddress(0), 19541, request(3, "GET BIG", 0));
  ASSERT_TRUE(c.recv(d));
  EXPECT_EQ(be::get16(&d[0]), 3);

  std::vector<UInt8> image = emu.Image(0);
  for (auto& b : image) b ^= 0x5A;
  std::size_t at = 0;
  int cond = 1;
  while (true) {
    std::size_t n = std::min<std::size_t>(422, image.size() - at);
    c.send(emu.BoxAddress(0), 19541,
           request(UInt16(cond), "SAVE EEP_DATA", UInt16(at), {image.begin() + at, image.begin() + at + n}));
    ASSERT_TRUE(c.recv(d));
    EXPECT_EQ(be::get16(&d[0]), cond);
    at = be::get16(&d[4]);
    cond = 2;
    if (be::get16(&d[2]) == 0) break;
  }
  EXPECT_EQ(emu.Image(0), image);
}

TEST_F(EmulatorTest, SetIpAddressOnlyForTheBoxWithThatEthernetAddress) {
  pboxemu::Emulator emu;
  emu.AddBoxes(2);
  ASSERT_TRUE(emu.Start());
  RawClient c;
  auto mac = emu.BoxMac(1);
  std::vector<UInt8> r = request(1, "SET IP_ADDR:", 0);
  UInt32 was = emu.BoxAddress(1);
  UInt32 next = emu.BoxAddress(0) + 100;
  const UInt8 payload[12] = {1, 6, mac[0], mac[1], mac[2], mac[3], mac[4], mac[5],
                             UInt8(next >> 24), UInt8(next >> 16), UInt8(next >> 8), UInt8(next)};
  std::memcpy(&r[4 + 12], payload, 12);
  c.send(0x7FFFFFFF, 19541, r);
  std::vector<UInt8> d;
  UInt32 from = 0;
  ASSERT_TRUE(c.recv(d, &from));
  EXPECT_EQ(from, was);
  EXPECT_EQ(be::get16(&d[2]), 0);
  ASSERT_TRUE(emu.Settle());
  EXPECT_FALSE(c.recv(d, &from, 0));
  EXPECT_EQ(emu.ReportedAddress(1), next);
  EXPECT_EQ(emu.ReportedAddress(0), emu.BoxAddress(0));
  // The box now answers at its new address, and reports it.
  EXPECT_EQ(emu.BoxAddress(1), next);
  std::vector<UInt8> probe(88, 0);
  be::put32(probe.data(), 0x00049506);
  c.send(next, 19541, probe);
  ASSERT_TRUE(c.recv(d, &from));
  EXPECT_EQ(from, next);
  EXPECT_EQ(be::get32(&d[66]), next);
}

// The command line, as the README and the scripts use it: --help tells every
// option and scene word and ends well; a wrong option, value or scene line
// is refused with status 2 and says why.
TEST(EmulatorCommandLine, HelpTellsEveryOptionAndSceneWordAndWrongInputIsRefused) {
  const std::string emu = std::string(std::getenv("VEMO_BUILD_DIR")) + "/tools/pbox-emu/pbox-emu";
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "bad.txt", "box C \"Office\" 0 hold loud\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> told;
  };
  const Case cases[] = {
      {{"--help"},
       0,
       {"--count N", "--model M", "--old K", "--busy-after-save N", "--scene FILE", "--base ADDRESS", "--zone NAME",
        "--ftp DIR", "--hold", "--private-ports", "--help", "TOOLBOX_PORTMAP=<map>",
        "box MODEL \"NAME\" [STATUS] [old] [noaddress] [ports=N] [printer=STATE] [hold]", "  noaddress ", "  ports=N ",
        "  printer=STATE ", "  hold ", "2249", "515"}},
      {{"--loud"}, 2, {"usage: pbox-emu", "pbox-emu --help tells more"}},
      {{"--count", "0"}, 2, {"usage: pbox-emu"}},
      {{"--base", "10.0.0.1"}, 2, {"loopback only"}},
      {{"--scene", (dir / "bad.txt").string()}, 2, {"bad.txt:1: unknown word loud"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    std::vector<std::string> args = {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", emu};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const int pid = testsupport::SpawnProgram(args, (dir / "out.txt").string());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(testsupport::WaitExit(pid), c.status);
    const std::string out = testsupport::ReadFile(dir / "out.txt");
    for (const std::string& text : c.told) EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
  }
}

// The held-job manager against the emulator run from its command line, with
// ports of its own (the map it prints) and a box that holds jobs beside one
// that does not: the box is found and chosen, and the three sample jobs of
// its first folder are listed.
TEST(EmulatorCommandLine, HeldJobManagerListsTheSampleJobsOfABoxThatHoldsJobs) {
  const std::string build = std::getenv("VEMO_BUILD_DIR");
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "scene.txt", "box C \"Office\" 0 hold\nbox B \"Studio\" 7\n");
  const UInt32 base = pboxemu::PickBaseAddress();
  const std::string dotted = std::to_string(base >> 24) + "." + std::to_string(base >> 16 & 255) + "." +
                             std::to_string(base >> 8 & 255) + "." + std::to_string(base & 255);
  const int emu = testsupport::SpawnProgram({build + "/tools/pbox-emu/pbox-emu", "--scene",
                                             (dir / "scene.txt").string(), "--base", dotted, "--private-ports"},
                                            (dir / "emu.out").string());
  ASSERT_GT(emu, 0);
  // Two boxes, then the port map: the last line, once they answer.
  const std::vector<std::string> lines = testsupport::WaitForLines(dir / "emu.out", 3);
  const bool started = lines.size() == 3 && lines[2].starts_with("TOOLBOX_PORTMAP=");
  if (!started) kill(emu, SIGTERM);
  ASSERT_TRUE(started) << testsupport::ReadFile(dir / "emu.out");
  EXPECT_NE(lines[0].find("holds jobs"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1].find("holds jobs"), std::string::npos) << lines[1];

  const std::string shot = (dir / "window.png").string();
  testsupport::WriteFile(dir / "tour.txt",
                         "wait-window VemoHoldManager 20000\nsleep 3000\n"
                         "popup-item VemoHoldManager 3 1\nsleep 2500\n"
                         "window-shot VemoHoldManager " +
                             shot + "\nkey q cmd\n");
  int status;
  {
    testsupport::ScopedEnv ports("TOOLBOX_PORTMAP", lines[2].substr(16).c_str());
    testsupport::ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
    testsupport::ScopedEnv script("TOOLBOX_SCRIPT", (dir / "tour.txt").c_str());
    std::string errors;
    status = testsupport::RunProgram({build + "/suite/VemoHoldManager.app/Contents/MacOS/VemoHoldManager"}, &errors);
    EXPECT_EQ(status, 0) << errors;
  }
  kill(emu, SIGTERM);
  EXPECT_EQ(testsupport::WaitExit(emu), 0);
  ASSERT_EQ(status, 0);

  // Dark names on three rows of the job list (from 20 pixels into the
  // content's left, rows of 18 pixels below a header ending at 118), none
  // on a fourth.
  const auto image = testsupport::ReadPNG(shot);
  ASSERT_TRUE(image);
  const int top = image->height - 440, left = image->width - 586;  // the frame above and left of the content
  auto rowHasInk = [&](int row) {
    for (int y = top + 118 + 18 * row + 2; y < top + 118 + 18 * row + 16; ++y)
      for (int x = left + 45; x < left + 120; ++x)
        if (std::array<int, 3> c = testsupport::RgbAt(*image, x, y); c[0] < 0x70 && c[1] < 0x70 && c[2] < 0x70)
          return true;
    return false;
  };
  for (int row = 0; row < 3; ++row) EXPECT_TRUE(rowHasInk(row)) << row;
  EXPECT_FALSE(rowHasInk(3));
}

}  // namespace

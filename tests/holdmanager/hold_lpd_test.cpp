// The upload against a real line-printer daemon (LPRng's lpd) in a network
// namespace of its own: a 10 MiB file arrives whole with its control file,
// from a reserved port, and the client falls back to any port when every
// reserved one is taken.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "lpd/lpd_namespace.h"
#include "test_support.h"

namespace holdtest {
namespace {

bool Has(const std::string& out, const std::string& line) { return out.find(line + "\n") != std::string::npos; }

TEST(RealLpd, ATenMiBFileArrivesWholeWithItsControlFile) {
  testsupport::TempDir dir;
  std::string big = (dir / "big.bin").string(), small = (dir / "two.txt").string();
  {
    std::mt19937 rng(7);
    std::string data(10 << 20, '\0');
    for (char& c : data) c = char(rng());
    testsupport::WriteFile(big, data);
    testsupport::WriteFile(small, "second\n");
  }
  const std::string probe = std::string("env -u TOOLBOX_PORTMAP TOOLBOX_NET=loopback ") + HOLD_LPR_PROBE;
  LpdRun run = RunWithLpd((dir / "lpd").string(), 2,
                          probe + " --queue=2 '" + big + "'\n" + probe + " --occupy --queue=1 '" + small + "'\n");
  if (!run.ran) GTEST_SKIP() << "no real line-printer daemon here: " << run.why;
  const std::string& out = run.output;
  // Both uploads ended with "all sent".
  std::size_t first = out.find("CODE -85"), second = out.find("CODE -85", first + 1);
  EXPECT_NE(first, std::string::npos) << out;
  EXPECT_NE(second, std::string::npos) << out;
  // The daemon holds the whole data file and the job's control lines.
  EXPECT_NE(out.find(" 10485760\n"), std::string::npos) << out;
  EXPECT_TRUE(Has(out, "LINE 2 H=probehost")) << out;
  EXPECT_TRUE(Has(out, "LINE 2 P=prober")) << out;
  EXPECT_TRUE(Has(out, "LINE 2 J=big.bin")) << out;
  EXPECT_TRUE(Has(out, "LINE 2 size=10485760")) << out;
  auto remotePort = [&](const char* queue) {
    const std::size_t at = out.find(std::string("LINE ") + queue + " remoteport=0x");
    return at == std::string::npos ? 0ul : std::stoul(out.substr(at + 20), nullptr, 16);
  };
  // The first came from a reserved port: 721, or the next one free (the
  // daemon's own connections take these ports too).
  const unsigned long firstPort = remotePort("2");
  EXPECT_TRUE(firstPort >= 721 && firstPort <= 731) << firstPort << "\n" << out;
  // The second came from a port outside 721-731, every one of them taken.
  EXPECT_TRUE(Has(out, "LINE 1 J=two.txt")) << out;
  const unsigned long port = remotePort("1");
  ASSERT_NE(port, 0ul) << out;
  EXPECT_TRUE(port < 721 || port > 731) << port;
  EXPECT_TRUE(Has(out, "HELD 11")) << out;
}

}  // namespace
}  // namespace holdtest

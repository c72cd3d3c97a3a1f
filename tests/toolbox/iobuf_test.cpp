// The bounded buffer helpers and the socket retry.
#include "toolbox/iobuf.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

std::span<const std::uint8_t> bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::string text(const std::uint8_t* b, std::size_t n) { return std::string(reinterpret_cast<const char*>(b), n); }

}  // namespace

TEST(BoundedBuffers, CopyAllOrNothingAndKeepTheNewest) {
  std::uint8_t buf[8] = {};
  std::size_t len = 0;
  EXPECT_TRUE(tb::AppendBounded(buf, len, bytes("abcde")));
  EXPECT_FALSE(tb::AppendBounded(buf, len, bytes("fghi")));  // one too many: nothing taken
  EXPECT_EQ(text(buf, len), "abcde");
  EXPECT_TRUE(tb::AppendBounded(buf, len, bytes("fgh")));
  EXPECT_EQ(text(buf, len), "abcdefgh");
  EXPECT_FALSE(tb::WriteBounded(buf, 9, {}));  // an offset past the end, even for nothing
  EXPECT_TRUE(tb::WriteBounded(buf, 8, {}));

  struct Case {
    std::string had, add, kept;
    std::size_t dropped;
  } cases[] = {
      {"", "abc", "abc", 0},
      {"abcdef", "gh", "abcdefgh", 0},
      {"abcdef", "ghij", "cdefghij", 2},
      {"abc", "0123456789", "23456789", 5},  // longer than the buffer: its own head goes too
      {"abcdefgh", "", "abcdefgh", 0},
  };
  for (const Case& c : cases) {
    std::uint8_t w[8] = {};
    std::uint16_t n = 0;  // any integer type holds the length
    ASSERT_TRUE(tb::AppendBounded(w, n, bytes(c.had)));
    EXPECT_EQ(tb::AppendKeepNewest(w, n, bytes(c.add)), c.dropped) << c.had << "+" << c.add;
    EXPECT_EQ(text(w, n), c.kept) << c.had << "+" << c.add;
  }
}

TEST(SocketRetry, TellsWouldBlockFromFailureAndWaitsOnlyAsAsked) {
  int sv[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0, sv), 0);
  char b[16];
  auto rcv = [&] { return recv(sv[0], b, sizeof b, MSG_DONTWAIT); };

  tb::IoResult r = tb::SocketRetry(sv[0], POLLIN, 0, rcv);
  EXPECT_TRUE(r.wouldBlock());

  auto t0 = std::chrono::steady_clock::now();
  r = tb::SocketRetry(sv[0], POLLIN, 50, rcv);  // waits its bound, no longer
  auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_TRUE(r.wouldBlock());
  EXPECT_GE(waited, std::chrono::milliseconds(40));
  EXPECT_LT(waited, std::chrono::seconds(2));

  ASSERT_EQ(send(sv[1], "hi", 2, 0), 2);
  r = tb::SocketRetry(sv[0], POLLIN, -1, rcv);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.n, 2);

  // A real failure is returned, not waited on.
  close(sv[1]);
  close(sv[0]);
  r = tb::SocketRetry(sv[0], POLLIN, -1, rcv);
  EXPECT_FALSE(r.ok());
  EXPECT_FALSE(r.wouldBlock());
  EXPECT_EQ(r.err, EBADF);
}

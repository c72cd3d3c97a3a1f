// The installer's socket JCP client against emulated print boxes on
// loopback, and against a scripted peer for what a box would never send.
// Time-outs run on a test clock the test moves; real time only caps waits.
// This binary is also built alone under ThreadSanitizer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Installer/JCPSocket.h"
#include "pboxemu/emulator.h"
#include "toolbox/netconfig.h"

namespace {

std::atomic<UInt32> gNow{1000};
UInt32 testClock() { return gNow.load(); }

// What the notifier saw; the notifier runs on the worker.
struct Seen {
  std::mutex m;
  std::vector<int> statuses;
  std::vector<std::vector<UInt8>> replies;
  int retries = 0;  // status-2 calls that may resend
  UInt32 finalLength = 0;
};

void notifier(JCP_SOCKET_CONTEXT* ctx, void* data, UInt32* length, int status) {
  auto* seen = static_cast<Seen*>(ctx->userData);
  std::lock_guard lock(seen->m);
  seen->statuses.push_back(status);
  if (status == kJCPFound) {
    ctx->foundCount.fetch_add(1);
    seen->replies.emplace_back(static_cast<UInt8*>(data), static_cast<UInt8*>(data) + 72);
  } else if (status == kJCPTimedOut) {
    if (ctx->retryCount.load() < seen->retries) {
      ctx->retryCount.fetch_add(1);
      JCP_Retry_Command(ctx);
    }
  } else if (length) {
    seen->finalLength = *length;
  }
}

bool waitFor(const std::function<bool()>& cond, int ms = 10000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class SocketJcp : public ::testing::Test {
 protected:
  SocketJcp() : portmap_(pboxemu::PrivatePortMap()) {
    setenv("TOOLBOX_NET", "loopback", 1);
    setenv("TOOLBOX_PORTMAP", portmap_.c_str(), 1);
    tb::ReloadNetConfig();
    jcpsock::SetClockForTest(testClock);
    ctx = std::make_unique<JCP_SOCKET_CONTEXT>();
    ctx->userData = &seen;
  }
  ~SocketJcp() override {
    ctx.reset();
    emu.Stop();
    jcpsock::SetClockForTest(nullptr);
    unsetenv("TOOLBOX_PORTMAP");
    tb::ReloadNetConfig();
  }
  void start(int boxes) {
    emu.AddBoxes(boxes);
    std::string err;
    ASSERT_TRUE(emu.Start(&err)) << err;
  }
  std::vector<pboxemu::RequestRecord> commands(int box) {
    std::vector<pboxemu::RequestRecord> out;
    for (auto& r : emu.Requests(box))
      if (r.kind == pboxemu::RequestRecord::Command) out.push_back(r);
    return out;
  }
  // Moves the test clock past the time-out once the box has what was sent.
  void expire(UInt32 timeout) {
    ASSERT_TRUE(emu.Settle());
    gNow += timeout + 1;
  }

  std::string portmap_;
  pboxemu::Emulator emu;
  Seen seen;
  std::unique_ptr<JCP_SOCKET_CONTEXT> ctx;
};

TEST_F(SocketJcp, SearchProbesTargetsOrTheBroadcastAndEndsByTime) {
  start(20);
  struct Case {
    int targets;
    int probedBoxes;
    bool broadcast;
  } cases[] = {{0, 20, true}, {20, 17, false}, {3, 3, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.targets);
    emu.ClearLog();
    seen.statuses.clear();
    std::vector<UInt32> addrs;
    for (int i = 0; i < c.targets; ++i) addrs.push_back(emu.BoxAddress(i));
    JCP_Set_Broadcast(ctx.get(), addrs.data(), c.targets);
    EXPECT_EQ(ctx->targetCount, std::min(c.targets, kJCPMaxTargets));
    ASSERT_EQ(JCP_Search(ctx.get(), 3000, 1, notifier), 0);
    EXPECT_FALSE(JCP_IsTerminated(ctx.get()));
    ASSERT_TRUE(waitFor([&] { return ctx->foundCount.load() == c.probedBoxes; }));
    expire(3000);
    ASSERT_TRUE(waitFor([&] { return JCP_IsTerminated(ctx.get()); }));
    EXPECT_EQ(ctx->state.load(), kJCPDone);
    int probed = 0;
    for (int b = 0; b < 20; ++b) {
      for (auto& r : emu.Requests(b)) {
        if (r.kind != pboxemu::RequestRecord::Probe) continue;
        ++probed;
        EXPECT_EQ(r.broadcast, c.broadcast);
        EXPECT_EQ(r.length, 88u);
      }
    }
    EXPECT_EQ(probed, c.probedBoxes);
    EXPECT_EQ(ctx->foundCount.load(), c.probedBoxes);
    EXPECT_EQ(ctx->socket, -1);
  }
}

TEST_F(SocketJcp, SearchWithoutTimeOutRunsUntilAborted) {
  start(1);
  UInt32 addr = emu.BoxAddress(0);
  JCP_Set_Broadcast(ctx.get(), &addr, 1);
  ASSERT_EQ(JCP_Search(ctx.get(), 0, 1, notifier), 0);
  ASSERT_TRUE(waitFor([&] { return ctx->foundCount.load() == 1; }));
  gNow += 0x7FFFFFFF;
  std::this_thread::sleep_for(std::chrono::milliseconds(150));  // three receive waits
  EXPECT_FALSE(JCP_IsTerminated(ctx.get()));
  JCP_Abort_Search(ctx.get());
  ASSERT_TRUE(waitFor([&] { return JCP_IsTerminated(ctx.get()); }));
  EXPECT_EQ(ctx->state.load(), kJCPDone);
  // The context is used again at once: the old worker is gone.
  ASSERT_EQ(JCP_Search(ctx.get(), 3000, 1, notifier), 0);
  ASSERT_TRUE(waitFor([&] { return ctx->foundCount.load() == 1; }));
  // Freed while running: the destructor stops and joins the worker.
  ctx.reset();
}

TEST_F(SocketJcp, GetCollectsBlocksInlineAndOnAWorker) {
  start(1);
  std::vector<UInt8> blob(1200);
  for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = UInt8(i * 7 + 3);
  emu.SetCommandReply(0, "GET TESTBLOB", blob);
  for (int async : {0, 1}) {
    SCOPED_TRACE(async);
    emu.ClearLog();
    seen.statuses.clear();
    std::vector<UInt8> out(2000);
    UInt32 outLen = UInt32(out.size());
    int r = JCP_Get_Command(ctx.get(), emu.BoxAddress(0), "GET TESTBLOB", 12, nullptr, 0, out.data(), &outLen, 3000,
                            async, notifier);
    if (async) {
      EXPECT_EQ(r, 65536);
      ASSERT_TRUE(waitFor([&] { return JCP_IsTerminated(ctx.get()); }));
    } else {
      EXPECT_EQ(r, 1200);
      EXPECT_EQ(outLen, 1200u);
      EXPECT_TRUE(std::equal(blob.begin(), blob.end(), out.begin()));
    }
    EXPECT_EQ(ctx->state.load(), kJCPDone);
    EXPECT_EQ(ctx->recvCapacity, 1200u);
    EXPECT_TRUE(std::equal(blob.begin(), blob.end(), ctx->recvData));
    EXPECT_EQ(seen.statuses, std::vector<int>{kJCPFinished});
    EXPECT_EQ(seen.finalLength, 1200u);
    auto reqs = commands(0);
    ASSERT_EQ(reqs.size(), 4u);
    const UInt16 conds[] = {1, 2, 2, 3}, offsets[] = {0, 512, 1024, 0}, sizes[] = {512, 512, 512, 0};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(reqs[i].cond, conds[i]) << i;
      EXPECT_EQ(reqs[i].offset, offsets[i]) << i;
      EXPECT_EQ(reqs[i].size, sizes[i]) << i;
      EXPECT_EQ(reqs[i].length, 88u) << i;
    }
  }
}

TEST_F(SocketJcp, SetSendsBlocksFromTheOffsetTheBoxTook) {
  start(1);
  std::vector<UInt8> data(1000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = UInt8(i ^ 0x5A);
  int r = JCP_Set_Command(ctx.get(), emu.BoxAddress(0), "SET TESTDATA", 12, data.data(), UInt32(data.size()), 3000, 0,
                          notifier);
  EXPECT_EQ(r, kJCPDone);
  EXPECT_EQ(seen.statuses, std::vector<int>{kJCPFinished});
  auto reqs = commands(0);
  ASSERT_EQ(reqs.size(), 4u);
  const UInt16 conds[] = {1, 2, 2, 3}, offsets[] = {0, 422, 844, 0}, sizes[] = {422, 422, 156, 0};
  const std::size_t lengths[] = {510, 510, 510, 88};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(reqs[i].cond, conds[i]) << i;
    EXPECT_EQ(reqs[i].offset, offsets[i]) << i;
    EXPECT_EQ(reqs[i].size, sizes[i]) << i;
    EXPECT_EQ(reqs[i].length, lengths[i]) << i;
  }
  EXPECT_EQ(emu.LastSetData(0, "SET TESTDATA"), data);
}

TEST_F(SocketJcp, TimedOutCommandIsResentAsTheNotifierAllows) {
  start(1);
  pboxemu::FaultSpec drop;
  drop.mode = pboxemu::Fault::Drop;
  drop.search = false;
  emu.SetFault(0, drop);
  for (int retries : {2, 0}) {
    SCOPED_TRACE(retries);
    emu.ClearLog();
    seen.statuses.clear();
    seen.retries = retries;
    int r =
        JCP_Get_Command(ctx.get(), emu.BoxAddress(0), "POLLING", 7, nullptr, 0, nullptr, nullptr, 3000, 1, notifier);
    ASSERT_EQ(r, 65536);
    for (int sent = 1; sent <= retries + 1; ++sent) {
      ASSERT_TRUE(waitFor([&] { return commands(0).size() == std::size_t(sent); }));
      expire(3000);
    }
    ASSERT_TRUE(waitFor([&] { return JCP_IsTerminated(ctx.get()); }));
    EXPECT_EQ(ctx->state.load(), kJCPError);
    auto reqs = commands(0);
    ASSERT_EQ(reqs.size(), std::size_t(retries + 1));
    for (auto& q : reqs) EXPECT_EQ(q.cond, 1);
    EXPECT_EQ(seen.statuses, std::vector<int>(retries + 1, kJCPTimedOut));
    EXPECT_EQ(ctx->retryCount.load(), retries);
  }
}

TEST_F(SocketJcp, CommandWithoutTimeOutWaitsForTheBox) {
  start(1);
  pboxemu::FaultSpec silent;
  silent.mode = pboxemu::Fault::Silent;
  emu.SetFault(0, silent);
  ASSERT_EQ(JCP_Get_Command(ctx.get(), emu.BoxAddress(0), "POLLING", 7, nullptr, 0, nullptr, nullptr, 0, 1, notifier),
            65536);
  ASSERT_TRUE(emu.Settle());
  gNow += 0x7FFFFFFF;
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_FALSE(JCP_IsTerminated(ctx.get()));
  EXPECT_TRUE(seen.statuses.empty());
}

// A peer of our own on 127.0.0.1 that says what a box never would.
class Peer {
 public:
  Peer() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    socklen_t len = sizeof sin;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&sin), &len);
    port_ = ntohs(sin.sin_port);
    timeval tv{5, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  }
  ~Peer() { close(fd_); }
  UInt16 port() const { return port_; }
  // The next datagram; its sender becomes where send() goes.
  std::vector<UInt8> receive() {
    std::vector<UInt8> buf(2048);
    socklen_t len = sizeof client_;
    ssize_t n = recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&client_), &len);
    buf.resize(n > 0 ? std::size_t(n) : 0);
    return buf;
  }
  void send(const std::vector<UInt8>& d) {
    sendto(fd_, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&client_), sizeof client_);
  }
  void sendFrom(const Peer& other, const std::vector<UInt8>& d) {
    sendto(other.fd_, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&client_), sizeof client_);
  }

 private:
  int fd_ = -1;
  UInt16 port_ = 0;
  sockaddr_in client_{};
};

std::vector<UInt8> searchReply(UInt16 rule, std::size_t length) {
  std::vector<UInt8> r(length, 0);
  r[1] = 2;
  r[2] = UInt8(rule >> 8);
  r[3] = UInt8(rule);
  if (length > 4) r[4] = 'X';
  return r;
}

TEST_F(SocketJcp, SearchTakesOnlyWholeRepliesOfItsRule) {
  Peer peer;
  UInt32 addr = 0x7F000001;
  JCP_Set_Broadcast(ctx.get(), &addr, 1);
  JCP_Set_PortNumber(ctx.get(), peer.port());
  ASSERT_EQ(JCP_Search(ctx.get(), 3000, 1, notifier), 0);
  auto probe = peer.receive();
  ASSERT_EQ(probe.size(), 88u);
  EXPECT_EQ(probe[1], 4);
  EXPECT_EQ(probe[2], 0x95);
  EXPECT_EQ(probe[3], 0x06);
  peer.send(searchReply(0x1234, 72));  // another rule
  for (std::size_t cut : {4, 40, 71}) peer.send(searchReply(0x9506, cut));  // no reply: shorter than one
  peer.send(searchReply(0x9506, 72));
  peer.send(searchReply(0x9506, 100));
  ASSERT_TRUE(waitFor([&] { return ctx->foundCount.load() == 2; }));
  expire(3000);
  ASSERT_TRUE(waitFor([&] { return JCP_IsTerminated(ctx.get()); }));
  EXPECT_EQ(ctx->foundCount.load(), 2);
}

std::vector<UInt8> commandReply(UInt16 chk, UInt16 cond, UInt16 offset, UInt16 size, std::size_t dataBytes) {
  std::vector<UInt8> r(8 + dataBytes, 0xEE);
  const UInt16 f[] = {chk, cond, offset, size};
  for (int i = 0; i < 4; ++i) {
    r[2 * i] = UInt8(f[i] >> 8);
    r[2 * i + 1] = UInt8(f[i]);
  }
  return r;
}

TEST_F(SocketJcp, CommandTrustsOnlyTheBoxAndWhatArrived) {
  Peer box, stranger;
  JCP_Set_PortNumber(ctx.get(), box.port());
  std::vector<UInt8> out(100);
  UInt32 outLen = 100;
  std::atomic<int> result{0};
  std::thread caller([&] {
    result = JCP_Get_Command(ctx.get(), 0x7F000001, "GET X", 5, nullptr, 0, out.data(), &outLen, 3000, 0, notifier);
  });
  ASSERT_EQ(box.receive().size(), 88u);
  box.sendFrom(stranger, commandReply(3, 0, 0, 0, 0));  // an end from someone else: ignored
  box.send({0, 1, 0});                                  // shorter than a reply head: ignored
  box.send(commandReply(1, 1, 0, 2000, 10));            // claims 2000 bytes, carries 10
  auto next = box.receive();
  ASSERT_EQ(next.size(), 88u);
  EXPECT_EQ(next[1], 2);
  EXPECT_EQ((next[84] << 8) | next[85], 10);  // asks from what really came
  box.send(commandReply(1, 0, 10, 5, 5));
  EXPECT_EQ(box.receive()[1], 3);
  box.send(commandReply(3, 0, 0, 0, 0));
  caller.join();
  EXPECT_EQ(result.load(), 15);
  EXPECT_EQ(outLen, 15u);
  EXPECT_EQ(seen.statuses, std::vector<int>{kJCPFinished});
}

TEST_F(SocketJcp, ReceiveOverflowFailsTheExchange) {
  Peer box;
  JCP_Set_PortNumber(ctx.get(), box.port());
  std::atomic<int> result{0};
  std::thread caller([&] {
    result = JCP_Get_Command(ctx.get(), 0x7F000001, "GET BIG", 7, nullptr, 0, nullptr, nullptr, 3000, 0, notifier);
  });
  // 32 replies of 2040 bytes fit in 65,536; the 33rd does not.
  for (int i = 0; i < 33; ++i) {
    ASSERT_FALSE(box.receive().empty()) << i;
    box.send(commandReply(1, 1, 0, 2040, 2040));
  }
  caller.join();
  EXPECT_EQ(result.load(), -1);
  EXPECT_EQ(ctx->state.load(), kJCPError);
  EXPECT_EQ(seen.statuses, std::vector<int>{kJCPFailed});
}

TEST(SocketJcpParts, SettersPacketsAndAddressTexts) {
  auto ctx = std::make_unique<JCP_SOCKET_CONTEXT>();
  std::vector<UInt32> many(30, 0x7F000001);
  JCP_Set_Broadcast(ctx.get(), many.data(), 30);
  EXPECT_EQ(ctx->targetCount, 17);
  JCP_Set_Broadcast(nullptr, many.data(), 3);  // does nothing
  EXPECT_EQ(JCP_Search(nullptr, 1, 1, notifier), -1);
  EXPECT_EQ(JCP_Search(ctx.get(), 1, 1, nullptr), -1);
  EXPECT_TRUE(JCP_IsTerminated(nullptr));
  char text[32];
  iptoaddr(0xC0A80102, text, sizeof text);
  EXPECT_STREQ(text, "192.168.1.2");
  iptoa_with_port(0x7F000001, 19541, text, sizeof text);
  EXPECT_STREQ(text, "127,0,0,1,76,85");
  EXPECT_EQ(NET_GetMyIpAddressFor(0x7F000001), 0x7F000001u);
  // A command longer than its field is cut at 80 bytes.
  std::string longCmd(100, 'A');
  JCP_Init_Command(ctx.get(), 0, longCmd.c_str(), 100, nullptr, 0, 0, 0, notifier);
  EXPECT_EQ(ctx->remoteAddress, 0xFFFFFFFFu);
  EXPECT_EQ(std::string(ctx->command, 80), std::string(80, 'A'));
}

}  // namespace

// The installer's socket JCP client searching: probes to a box on
// loopback, whose answer is a run of fuzzed datagrams, some from a
// stranger's socket, received on the search's worker thread; then a last
// well-formed reply, after which the caller stops the search as the
// program's timer does. The search never times out here, so every input
// runs the same way.
//
// Checked: the notifier sees exactly the datagrams a search reply must be
// (at least 72 bytes, the reply check word and the rule number), each as
// it came; the search stops when asked and its worker ends.
//
// Input: datagrams, each a flag byte (bit 0 from the stranger), a u16
// length (big-endian, cut to 2050) and its bytes.
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "fuzz_support.h"
#include "Installer/JCPSocket.h"
#include "udp_peer.h"

namespace {

constexpr std::size_t kMaxDatagrams = 48;
constexpr std::size_t kMaxBytes = 32 * 1024;

struct Seen {
  std::mutex lock;
  std::vector<std::vector<UInt8>> replies;
  fuzz::Tally count;
};

void Notifier(JCP_SOCKET_CONTEXT* ctx, void* data, UInt32* length, int status) {
  fuzz::Check(status == kJCPFound && !length && data == ctx->reply, "a search reports found replies only");
  fuzz::Check(ctx->replyLength >= kJCPSearchReplyLength && ctx->replyLength <= kJCPReplyMax,
              "a found reply has its length");
  auto* seen = static_cast<Seen*>(ctx->userData);
  {
    std::lock_guard<std::mutex> g(seen->lock);
    seen->replies.emplace_back(ctx->reply, ctx->reply + ctx->replyLength);
  }
  seen->count.Add();
}

bool IsReply(const std::vector<UInt8>& d, UInt16 rule) {
  return d.size() >= kJCPSearchReplyLength && d[0] == 0 && d[1] == 2 && d[2] == UInt8(rule >> 8) && d[3] == UInt8(rule);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Peer box, stranger;
  box.Drain();
  fuzz::Cursor in(data, size);
  struct Datagram {
    bool stranger;
    std::vector<UInt8> bytes;
  };
  std::vector<Datagram> sent;
  std::size_t total = 0;
  while (in.left() && sent.size() < kMaxDatagrams && total < kMaxBytes) {
    const std::uint8_t flags = in.U8();
    const std::size_t len = std::min<std::size_t>(in.U16(), kJCPPacketMax);
    auto b = in.Bytes(len);
    total += b.size();
    sent.push_back({(flags & 1) != 0, std::vector<UInt8>(b.begin(), b.end())});
  }

  auto ctx = std::make_unique<JCP_SOCKET_CONTEXT>();
  Seen seen;
  ctx->userData = &seen;
  JCP_Set_PortNumber(ctx.get(), box.port());
  const UInt32 target = 0x7F000001u;
  JCP_Set_Broadcast(ctx.get(), &target, 1);
  const UInt16 rule = ctx->rule;
  fuzz::Check(JCP_Search(ctx.get(), 0, 1, Notifier) == 0, "the search starts");

  sockaddr_in client{};
  fuzz::Check(box.Receive(10000, &client), "the probe reaches the box");
  std::size_t expected = 0;
  for (const Datagram& d : sent) {
    (d.stranger ? stranger : box).SendTo(client, d.bytes);
    expected += IsReply(d.bytes, rule);
  }
  std::vector<UInt8> last(kJCPSearchReplyLength, 0xA5);
  last[0] = 0, last[1] = 2, last[2] = UInt8(rule >> 8), last[3] = UInt8(rule);
  box.SendTo(client, last);
  seen.count.WaitFor(int(expected + 1), std::chrono::seconds(10));
  JCP_Abort_Search(ctx.get());
  // The worker sees the stop at its next wake-up: wake it at once rather
  // than at the end of its wait.
  const UInt8 wake = 0;
  box.SendTo(client, std::span<const UInt8>(&wake, 1));
  JCP_Join(ctx.get());
  fuzz::Check(JCP_IsTerminated(ctx.get()), "a stopped search is terminated");
  std::lock_guard<std::mutex> g(seen.lock);
  fuzz::Check(seen.replies.size() == expected + 1, "every well-formed reply is reported, nothing else");
  std::size_t k = 0;
  for (const Datagram& d : sent)
    if (IsReply(d.bytes, rule)) {
      fuzz::Check(seen.replies[k] == d.bytes, "a reply is reported as it came");
      ++k;
    }
  fuzz::Check(seen.replies.back() == last, "the last reply comes last");
  return 0;
}

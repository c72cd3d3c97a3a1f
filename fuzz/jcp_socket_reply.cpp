// The installer's socket JCP client receiving fuzzed replies: a GET (whose
// data are copied out to the caller's buffer at the end) or a SET with data
// runs on its own thread against a box on loopback, which answers the first
// request with the fuzzed datagrams, some of them from a stranger's socket,
// and then with the end reply. The exchange never times out here, so that
// every input runs the same way; the end reply (or the client's own
// failure) ends it.
//
// Input: a byte choosing the command (bit 0 SET, bits 1-7 the GET's output
// buffer in steps of 512 bytes, or the SET's data in steps of 510), then
// datagrams, each a flag byte (bit 0 from the stranger), a u16 length
// (big-endian, cut to 2050) and its bytes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "fuzz_support.h"
#include "Installer/JCPSocket.h"
#include "udp_peer.h"

namespace {

constexpr std::size_t kMaxDatagrams = 48;
// What the client's socket holds however late it reads: the end reply
// behind the fuzzed ones must never be dropped for want of room.
constexpr std::size_t kMaxBytes = 32 * 1024;

struct Seen {
  fuzz::Tally ends;
  std::atomic<int> status{-1};
};

void Notifier(JCP_SOCKET_CONTEXT* ctx, void*, UInt32* length, int status) {
  auto* seen = static_cast<Seen*>(ctx->userData);
  fuzz::Check(status == kJCPFinished || status == kJCPFailed, "a command without time-out ends in order or fails");
  fuzz::Check(!length || *length <= kJCPDataMax, "the final length fits the receive buffer");
  seen->status.store(status);
  seen->ends.Add();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Peer box, stranger;
  box.Drain();
  fuzz::Cursor in(data, size);
  const std::uint8_t kind = in.U8();
  struct Datagram {
    bool stranger;
    std::vector<UInt8> bytes;
  };
  std::vector<Datagram> replies;
  std::size_t total = 0;
  while (in.left() && replies.size() < kMaxDatagrams && total < kMaxBytes) {
    const std::uint8_t flags = in.U8();
    const std::size_t len = std::min<std::size_t>(in.U16(), kJCPPacketMax);
    auto b = in.Bytes(len);
    total += b.size();
    replies.push_back({(flags & 1) != 0, std::vector<UInt8>(b.begin(), b.end())});
  }

  auto ctx = std::make_unique<JCP_SOCKET_CONTEXT>();
  Seen seen;
  ctx->userData = &seen;
  JCP_Set_PortNumber(ctx.get(), box.port());
  const bool set = kind & 1;
  std::vector<UInt8> out(std::size_t(kind >> 1) * 512);
  UInt32 outLength = UInt32(out.size());
  std::vector<UInt8> sendData(set ? std::size_t(kind >> 1) * 510 : 0);
  for (std::size_t i = 0; i < sendData.size(); ++i) sendData[i] = UInt8(i * 7);
  std::atomic<int> result{0};
  std::thread caller([&] {
    if (set)
      result = JCP_Set_Command(ctx.get(), 0x7F000001, "SET TESTDATA", 12, sendData.data(), UInt32(sendData.size()), 0, 0,
                               Notifier);
    else
      result = JCP_Get_Command(ctx.get(), 0x7F000001, "GET TESTBLOB", 12, nullptr, 0, out.data(), &outLength, 0, 0,
                               Notifier);
  });

  sockaddr_in client{};
  // The request always goes out (the box is on loopback).
  fuzz::Check(box.Receive(10000, &client), "the client sends its request");
  for (const Datagram& d : replies) (d.stranger ? stranger : box).SendTo(client, d.bytes);
  const UInt8 end[8] = {0, 3, 0, 0, 0, 0, 0, 0};
  box.SendTo(client, end);
  // The end reply follows every fuzzed one, so the exchange ends soon.
  seen.ends.WaitFor(1, std::chrono::seconds(10));
  fuzz::Check(seen.ends.Count() == 1, "the exchange ends once after the end reply");
  caller.join();
  fuzz::Check(JCP_IsTerminated(ctx.get()), "an ended exchange is terminated");
  fuzz::Check(ctx->received <= kJCPDataMax && ctx->recvCapacity <= kJCPDataMax, "received data fit the buffer");
  if (!set) fuzz::Check(outLength <= out.size(), "the data copied out fit the caller's buffer");
  box.Drain();
  return 0;
}

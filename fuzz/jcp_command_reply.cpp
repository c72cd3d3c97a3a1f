// The JCP command receive step with a fuzzed sequence of reply datagrams:
// a program's command (a GET, the poll, a SET with the settings image, the
// address broadcast) goes to a box on loopback whose answers are the fuzzed
// datagrams; the program's event loop runs the request, and its notifier
// resends after a time-out as the programs' command notifiers do.
//
// Input: a byte choosing the command (bits 0-1) and the length of a SET's
// data (bits 2-7, in steps of 270 bytes, so that the longest is refused),
// then the datagrams (see JcpDatagrams).
#include <cstring>
#include <memory>
#include <string>

#include "OT/JCPCommand.h"
#include "jcp_box.h"

namespace {

struct Outcome {
  bool ended = false;
  bool success = false;
  int resends = 0;
};
Outcome outcome;

void CommandNotifier(JCPEPInfo* ctx, void* data, void* extra, short status) {
  fuzz::Check(status != JCP_NOTIFY_FOUND, "a command hands over no search reply");
  fuzz::Check(!outcome.ended, "a command ends once");
  if (status == JCP_NOTIFY_TIMEOUT && outcome.resends < 2) {
    JCP_Resending(ctx);
    ctx->isComplete = 0;
    ctx->retryCnt++;
    ++outcome.resends;
    return;
  }
  outcome.ended = true;
  outcome.success = status == JCP_NOTIFY_SUCCESS;
  fuzz::Check(data == ctx->rcvLargeBuf && extra == &ctx->rcvLargeBufLen, "the end hands over the reply");
  fuzz::Check(ctx->rcvLargeBufLen <= kJCPLargeBufSize, "a reply fits the large buffer");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::JcpInit();
  static fuzz::FakeBox box;
  box.Receive();  // nothing left over from the input before
  fuzz::Cursor in(data, size);
  const std::uint8_t kind = in.U8();
  const std::vector<fuzz::JcpDatagram> replies = fuzz::JcpDatagrams(in);

  outcome = Outcome{};
  auto ctx = std::make_unique<JCPEPInfo>();
  JCP_UDP_SetRemote(ctx.get(), box.address(), box.port());
  OSStatus r;
  switch (kind & 3) {
    case 0:
      r = JCP_GetCommand(ctx.get(), "GET CONTEXT", 11, nullptr, 0, 1000, CommandNotifier, true);
      break;
    case 1:
      r = JCP_GetCommand(ctx.get(), "POLLING", 7, nullptr, 0, 1000, CommandNotifier, true);
      break;
    case 2: {
      std::vector<UInt8> image(std::size_t(kind >> 2) * 270);
      for (std::size_t i = 0; i < image.size(); ++i) image[i] = UInt8(i * 7);
      r = JCP_SetCommand(ctx.get(), "SAVE EEP_DATA", 13, image.data(), UInt32(image.size()), 1000, CommandNotifier,
                         true);
      break;
    }
    default: {
      // The text, then 01 06, the box's Ethernet address and the new address.
      UInt8 cmd[24] = "SET IP_ADDR:";
      const UInt8 payload[12] = {1, 6, 0x00, 0x80, 0x92, 1, 2, 3, 127, 0, 0, 9};
      std::memcpy(cmd + 12, payload, sizeof payload);
      r = JCP_SetCommand(ctx.get(), cmd, sizeof cmd, nullptr, 0, 1000, CommandNotifier, true);
      break;
    }
  }
  // Only the box can end a command well (every command here, the address
  // command included, goes to the box's own address).
  bool boxSpoke = false;
  if (r == kOTNoError && box.AwaitRequest(ctx.get())) {
    for (const fuzz::JcpDatagram& d : replies) {
      if (outcome.ended || JCP_IsTerminated(ctx.get())) break;
      if (d.late) tb::AdvanceTicks(61);
      if (!d.lost) box.Send(d.bytes, d.stranger);
      boxSpoke |= !d.lost && !d.stranger;
      for (int k = 0; k < 3; ++k) fuzz::JcpStep(ctx.get());
      box.Receive();
    }
  }
  fuzz::JcpEnd(ctx.get());
  fuzz::Check(ctx->rcvLargeBufLen <= kJCPLargeBufSize, "a reply fits the large buffer");
  fuzz::Check(!outcome.success || boxSpoke, "a stranger cannot end a command well");
  return 0;
}

// The held-job manager's reply path over a fuzzed byte stream cut at fuzzed
// points: the reads go into the frame reassembly (the framer VFMPRcv uses),
// whole frames come out into the receive buffer, their result header is
// taken, and their records are split with the carry across frames, as a
// reader does for one reply.
//
// Input: a selector byte (bit 0: the receive buffer is the longest frame
// rather than the endpoint's 16 KB), then reads, each a u16 length
// (big-endian) and its bytes.
//
// Checked: a frame is its length field's worth; the records handed out,
// followed by the carry, are exactly the bytes walked, each record whole.
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "holdmanager/VFMP.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  const std::uint8_t sel = in.U8();
  const std::size_t cap = (sel & 1) ? kVFMPMaxFrame : kVFMPRcvBufSize;

  VFMPFramer framer;
  VFMPResetCarry();
  std::vector<UInt8> frame(cap);
  std::vector<UInt8> record(kVFMPMaxRecord);
  std::vector<UInt8> walked, delivered;

  while (in.left()) {
    const std::size_t len = in.U16();
    framer.Append(in.Bytes(len));
    for (;;) {
      const int n = framer.Next(frame);
      if (n == kVFMPFrameTooLong) {
        fuzz::Check(framer.Held() == 0, "a frame too long drops what was held");
        break;
      }
      if (n == 0) break;
      fuzz::Check(n > 0 && std::size_t(n) <= cap, "a frame fits the receive buffer");
      fuzz::Check(std::size_t(n) == std::size_t(VFMPGet16(frame.data())) + 2u, "a frame is its length's worth");
      const std::span<const UInt8> whole(frame.data(), std::size_t(n));
      UInt8 result[8];
      const int head = VFMPGetResult(result, whole);
      fuzz::Check(head == 0 || head == 4 || head == 8, "a result header is 4 or 8 bytes");
      if (head == 0) continue;
      std::size_t pos = std::size_t(head);
      walked.insert(walked.end(), whole.begin() + head, whole.end());
      while (pos < whole.size()) {
        const std::size_t before = pos;
        if (VEMPAdjustRcv(record.data(), whole, &pos)) {
          const std::size_t valueLen = VFMPGet16(record.data() + 2);
          delivered.insert(delivered.end(), record.begin(), record.begin() + 4 + std::ptrdiff_t(valueLen));
        }
        fuzz::Check(pos > before || pos == whole.size(), "the walk moves on");
        fuzz::Check(pos <= whole.size(), "the walk stays in the frame");
      }
    }
  }
  // Whatever did not make a whole record waits in the carry.
  fuzz::Check(delivered.size() + VFMPCarryHeld() == walked.size(), "records and carry are the bytes walked");
  fuzz::Check(std::equal(delivered.begin(), delivered.end(), walked.begin()), "records are handed out unchanged");
  VFMPResetCarry();
  return 0;
}

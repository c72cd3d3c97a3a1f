// The VFMP frames byte for byte: every request, the reply framing with
// frames split at every byte and coalesced, records cut by a frame's end,
// and lengths a hostile box might send.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "holdmanager/VFMP.h"

namespace {

using Bytes = std::vector<UInt8>;

VFMP_PARAM Params() {
  VFMP_PARAM p{};
  const UInt8 job[4] = {0xA1, 0xA2, 0xA3, 0xA4}, folder[4] = {0xF1, 0xF2, 0xF3, 0xF4},
              target[4] = {0xE1, 0xE2, 0xE3, 0xE4};
  std::memcpy(p.jobId, job, 4);
  std::memcpy(p.folderId, folder, 4);
  std::memcpy(p.targetFolderId, target, 4);
  p.name[0] = 3;
  std::memcpy(p.name + 1, "abc", 3);
  p.owner[0] = 2;
  std::memcpy(p.owner + 1, "xy", 2);
  p.langCode = 14;
  p.osCode = 122;
  p.printOptions = 0x80000100;
  p.copies = 0x0102;
  p.page = 0x0304;
  return p;
}

Bytes Build(UInt8 code, const VFMP_PARAM& p) {
  Bytes out(16384);
  int n = VFMPBuildRequest(code, p, out);
  if (n < 0) return {};
  out.resize(std::size_t(n));
  return out;
}

TEST(VfmpRequest, EveryCodeByteForByte) {
  VFMP_PARAM p = Params();
  VFMP_PARAM kind2 = p;
  kind2.listKind = 2;
  const UInt8 one[4] = {0, 0, 0, 1};
  std::memcpy(kind2.listFolder, one, 4);
  VFMP_PARAM kind3 = p;
  kind3.listKind = 3;
  VFMP_PARAM newer = kind2;  // a newer box's folder id goes back as it came
  std::memcpy(newer.listFolder, p.folderId, 4);
  struct Case {
    const char* what;
    UInt8 code;
    VFMP_PARAM p;
    Bytes bytes;
  } cases[] = {
      {"list kind 3", 1, kind3, {0, 6, 1, 0x00, 0x81, 0, 1, 3}},
      {"list kind 2", 1, kind2, {0, 14, 1, 0x00, 0x28, 0, 4, 0, 0, 0, 1, 0x00, 0x81, 0, 1, 2}},
      {"change kind 2, newer box", 2, newer,
       {0, 14, 2, 0x00, 0x28, 0, 4, 0xF1, 0xF2, 0xF3, 0xF4, 0x00, 0x81, 0, 1, 2}},
      {"info", 3, p, {0, 17, 3, 0, 2, 0, 4, 0xA1, 0xA2, 0xA3, 0xA4, 0, 0x28, 0, 4, 0xF1, 0xF2, 0xF3, 0xF4}},
      {"delete", 4, p, {0, 17, 4, 0, 2, 0, 4, 0xA1, 0xA2, 0xA3, 0xA4, 0, 0x28, 0, 4, 0xF1, 0xF2, 0xF3, 0xF4}},
      {"rename", 5, p, {0, 40, 5, 0, 2, 0, 4, 0xA1, 0xA2, 0xA3, 0xA4, 0, 3, 0, 3, 'a', 'b', 'c', 0, 4, 0, 2, 'x', 'y',
                        0, 0x0F, 0, 1, 14, 0, 0x10, 0, 1, 122, 0, 0x28, 0, 4, 0xF1, 0xF2, 0xF3, 0xF4}},
      {"print", 6, p, {0, 31, 6, 0, 2, 0, 4, 0xA1, 0xA2, 0xA3, 0xA4, 0, 0x8A, 0, 4, 0x80, 0x00, 0x01, 0x00,
                       0, 7, 0, 2, 0x01, 0x02, 0, 0x28, 0, 4, 0xF1, 0xF2, 0xF3, 0xF4}},
      {"download", 8, p, {0, 17, 8, 0, 2, 0, 4, 0xA1, 0xA2, 0xA3, 0xA4, 0, 0x28, 0, 4, 0xF1, 0xF2, 0xF3, 0xF4}},
      {"thumbnail", 17, p, {0, 23, 17, 0, 2, 0, 4, 0xA1, 0xA2, 0xA3, 0xA4, 0, 0x88, 0, 2, 0x03, 0x04,
                            0, 0x28, 0, 4, 0xF1, 0xF2, 0xF3, 0xF4}},
      {"folder rename", 18, p, {0, 26, 18, 0, 0x28, 0, 4, 0xF1, 0xF2, 0xF3, 0xF4, 0, 0x29, 0, 3, 'a', 'b', 'c',
                                0, 0x0F, 0, 1, 14, 0, 0x10, 0, 1, 122}},
      {"move", 19, p, {0, 25, 19, 0, 0x28, 0, 4, 0xF1, 0xF2, 0xF3, 0xF4, 0, 2, 0, 4, 0xA1, 0xA2, 0xA3, 0xA4,
                       0, 0x2C, 0, 4, 0xE1, 0xE2, 0xE3, 0xE4}},
  };
  for (const Case& c : cases) EXPECT_EQ(Build(c.code, c.p), c.bytes) << c.what;
  // Codes without a request are never sent.
  for (int code : {0, 7, 9, 10, 15, 16, 20, 255}) EXPECT_TRUE(Build(UInt8(code), p).empty()) << code;
  // A full-length name still fits; a buffer too small refuses instead of overrunning.
  VFMP_PARAM longName = p;
  longName.name[0] = 255;
  std::memset(longName.name + 1, 'n', 255);
  EXPECT_EQ(Build(5, longName).size(), 2u + 35 + 255 + 2);
  UInt8 tiny[10];
  EXPECT_EQ(VFMPBuildRequest(3, p, tiny), -1);
}

Bytes Frame(UInt8 code, UInt8 result, const Bytes& records) {
  // Sized once and filled (a range insert trips a false warning of GCC 12 at -O2).
  Bytes f(4 + records.size());
  f[0] = UInt8((records.size() + 2) >> 8), f[1] = UInt8(records.size() + 2), f[2] = code, f[3] = result;
  std::copy(records.begin(), records.end(), f.begin() + 4);
  return f;
}

// Feeds a byte stream in pieces cut at the given offsets and collects the
// frames handed out.
std::vector<Bytes> Reassemble(const Bytes& stream, const std::vector<std::size_t>& cuts) {
  VFMPFramer framer;
  std::vector<Bytes> frames;
  std::size_t from = 0;
  auto drain = [&] {
    Bytes buf(16384);
    int n;
    while ((n = framer.Next(buf)) > 0) frames.emplace_back(buf.begin(), buf.begin() + n);
  };
  for (std::size_t cut : cuts) {
    framer.Append(std::span<const UInt8>(stream.data() + from, cut - from));
    drain();
    from = cut;
  }
  framer.Append(std::span<const UInt8>(stream.data() + from, stream.size() - from));
  drain();
  return frames;
}

TEST(VfmpReply, FramesSplitAtEveryByteAndCoalesced) {
  Bytes a = Frame(1, 1, {0, 3, 0, 2, 'h', 'i', 0, 0x32, 0, 0});
  Bytes b = Frame(1, 0, {});
  Bytes c = Frame(3, 0, {0, 7, 0, 2, 0, 9});
  Bytes stream = a;
  stream.insert(stream.end(), b.begin(), b.end());
  stream.insert(stream.end(), c.begin(), c.end());
  const std::vector<Bytes> want{a, b, c};
  EXPECT_EQ(Reassemble(stream, {}), want) << "coalesced";
  for (std::size_t i = 1; i < stream.size(); ++i) EXPECT_EQ(Reassemble(stream, {i}), want) << "cut at " << i;
  std::vector<std::size_t> everyByte;
  for (std::size_t i = 1; i < stream.size(); ++i) everyByte.push_back(i);
  EXPECT_EQ(Reassemble(stream, everyByte), want) << "byte by byte";
}

TEST(VfmpReply, HostileLengths) {
  // A frame longer than the buffer is refused and nothing is copied.
  VFMPFramer framer;
  Bytes big(70000, 0x41);
  big[0] = 0xFF;
  big[1] = 0xFF;
  framer.Append(big);
  Bytes buf(16384);
  EXPECT_EQ(framer.Next(buf), kVFMPFrameTooLong);
  EXPECT_EQ(framer.Held(), 0u);
  bool tooLong = false;
  framer.Append(big);
  EXPECT_TRUE(framer.NextView(16384, &tooLong).empty());
  EXPECT_TRUE(tooLong);
  EXPECT_EQ(framer.Held(), 0u);
  // The same frame fits a buffer of the largest size.
  framer.Append(std::span<const UInt8>(big.data(), 65537));
  Bytes large(kVFMPMaxFrame);
  EXPECT_EQ(framer.Next(large), 65537);
  // Short frames: L of 0 and 1 are whole frames of their own, never read past.
  framer.Append(Bytes{0, 0, 0, 1, 7});
  EXPECT_EQ(framer.Next(buf), 2);
  EXPECT_EQ(framer.Next(buf), 0) << "three bytes wait for more";
  framer.Clear();
  framer.Append(Bytes{0, 1, 9, 0, 2, 1, 0});
  EXPECT_EQ(framer.Next(buf), 3);
  EXPECT_EQ(framer.Next(buf), 4);
  UInt8 head[8] = {};
  EXPECT_EQ(VFMPGetResult(head, std::span<const UInt8>(buf.data(), 3)), 0);

  // A record header claiming more than the frame holds is carried, never
  // read past the frame; a new reply drops it.
  VFMPResetCarry();
  Bytes rec(kVFMPMaxRecord);
  Bytes f = {0x00, 0x03, 0xFF, 0xFF, 1, 2};
  std::size_t pos = 0;
  EXPECT_EQ(VEMPAdjustRcv(rec.data(), f, &pos), 0);
  EXPECT_EQ(pos, f.size());
  EXPECT_EQ(VFMPCarryHeld(), 6u);
  VFMPResetCarry();
  EXPECT_EQ(VFMPCarryHeld(), 0u);
}

// Walks frames' records as a reader does, the carry going on between them.
std::vector<Bytes> WalkRecords(const std::vector<Bytes>& bodies) {
  VFMPResetCarry();
  std::vector<Bytes> out;
  Bytes rec(kVFMPMaxRecord);
  for (const Bytes& body : bodies) {
    std::size_t pos = 0;
    while (pos < body.size())
      if (VEMPAdjustRcv(rec.data(), body, &pos))
        out.emplace_back(rec.begin(), rec.begin() + 4 + VFMPGet16(rec.data() + 2));
  }
  return out;
}

TEST(VfmpReply, RecordsCutByTheFramesEndAreDeliveredWhole) {
  const Bytes r1{0, 3, 0, 5, 'h', 'e', 'l', 'l', 'o'};
  const Bytes r2{0, 0x32, 0, 0};
  const Bytes r3{0, 8, 0, 4, 1, 2, 3, 4};
  Bytes all = r1;
  all.insert(all.end(), r2.begin(), r2.end());
  all.insert(all.end(), r3.begin(), r3.end());
  const std::vector<Bytes> want{r1, r2, r3};
  // Every cut: inside a header after 1, 2 or 3 bytes, inside a value, between records.
  for (std::size_t cut = 0; cut <= all.size(); ++cut) {
    Bytes first(all.begin(), all.begin() + std::ptrdiff_t(cut)), second(all.begin() + std::ptrdiff_t(cut), all.end());
    EXPECT_EQ(WalkRecords({first, second}), want) << "cut at " << cut;
  }
  // A value spread over three frames.
  EXPECT_EQ(WalkRecords({{0, 3, 0, 5, 'h'}, {'e', 'l'}, {'l', 'o', 0, 0x32, 0, 0}}), (std::vector<Bytes>{r1, r2}));
  VFMPResetCarry();
}

}  // namespace

// Basic types of the toolbox: fixed-width integers under their old names,
// length-prefixed strings, geometry, file specifications, error codes, and
// explicit big-endian access for every wire and file field.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

using UInt8 = std::uint8_t;
using SInt8 = std::int8_t;
using UInt16 = std::uint16_t;
using SInt16 = std::int16_t;
using UInt32 = std::uint32_t;
using SInt32 = std::int32_t;
using UInt64 = std::uint64_t;
using SInt64 = std::int64_t;
using Boolean = unsigned char;
using Byte = unsigned char;
using SignedByte = signed char;
using OSErr = SInt16;
using OSStatus = SInt32;
using OSType = UInt32;
using ResType = OSType;
using FourCharCode = UInt32;
using Size = long;
using Ptr = char*;
using Handle = char**;
using ProcPtr = void (*)();
using UniChar = UInt16;
using Fixed = SInt32;  // 16.16
using ItemCount = unsigned long;
using ByteCount = unsigned long;

// Pascal strings: byte 0 is the length.
using Str255 = unsigned char[256];
using Str63 = unsigned char[64];
using Str32 = unsigned char[33];
using Str31 = unsigned char[32];
using Str27 = unsigned char[28];
using Str15 = unsigned char[16];
using StringPtr = unsigned char*;
using ConstStringPtr = const unsigned char*;
using ConstStr255Param = const unsigned char*;
using ConstStr63Param = const unsigned char*;
using StringHandle = unsigned char**;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct Point {
  SInt16 v;
  SInt16 h;
};

struct Rect {
  SInt16 top;
  SInt16 left;
  SInt16 bottom;
  SInt16 right;
};

// A file or folder: volume, the folder that holds it, and its name (at most
// 63 bytes; byte 64 keeps the name terminated for C callers).
struct FSSpec {
  SInt16 vRefNum;
  SInt32 parID;
  Str63 name;
  unsigned char nameTerm;
};

// Error codes the callers test for.
enum : OSErr {
  noErr = 0,
  paramErr = -50,
  memFullErr = -108,
  nilHandleErr = -109,
  memWZErr = -111,
  dirFulErr = -33,
  dskFulErr = -34,
  nsvErr = -35,
  ioErr = -36,
  bdNamErr = -37,
  fnOpnErr = -38,
  eofErr = -39,
  posErr = -40,
  tmfoErr = -42,
  fnfErr = -43,
  wPrErr = -44,
  fLckdErr = -45,
  vLckdErr = -46,
  fBsyErr = -47,
  dupFNErr = -48,
  opWrErr = -49,
  rfNumErr = -51,
  permErr = -54,
  wrPermErr = -61,
  dirNFErr = -120,
  resNotFound = -192,
  resFNotFound = -193,
  addResFailed = -194,
  rmvResFailed = -196,
  resAttrErr = -198,
  mapReadErr = -199,
  procNotFound = -600,
  userCanceledErr = -128,
  errAECoercionFail = -1700,
  errAEDescNotFound = -1701,
  errAECorruptData = -1702,
  errAEWrongDataType = -1703,
  errAENotAEDesc = -1704,
  errAEBadListItem = -1705,
  errAEEventNotHandled = -1708,
  errAETimeout = -1712,
  errAENoUserInteraction = -1713,
  errAEUnknownSendMode = -1715,
  errAEHandlerNotFound = -1717,
  errAEUnknownAddressType = -1716,
  diffVolErr = -1303,
  afpAccessDenied = -5000,
  gestaltUndefSelectorErr = -5551,
};

// ---------------------------------------------------------------------------
// Big-endian field access. Wire and file records are always read and written
// field by field through these, never by copying a structure.
namespace be {

inline UInt16 get16(const void* p) {
  const auto* b = static_cast<const UInt8*>(p);
  return static_cast<UInt16>((b[0] << 8) | b[1]);
}
inline UInt32 get32(const void* p) {
  const auto* b = static_cast<const UInt8*>(p);
  return (UInt32(b[0]) << 24) | (UInt32(b[1]) << 16) | (UInt32(b[2]) << 8) | UInt32(b[3]);
}
inline UInt32 get24(const void* p) {
  const auto* b = static_cast<const UInt8*>(p);
  return (UInt32(b[0]) << 16) | (UInt32(b[1]) << 8) | UInt32(b[2]);
}
inline void put16(void* p, UInt16 v) {
  auto* b = static_cast<UInt8*>(p);
  b[0] = UInt8(v >> 8);
  b[1] = UInt8(v);
}
inline void put24(void* p, UInt32 v) {
  auto* b = static_cast<UInt8*>(p);
  b[0] = UInt8(v >> 16);
  b[1] = UInt8(v >> 8);
  b[2] = UInt8(v);
}
inline void put32(void* p, UInt32 v) {
  auto* b = static_cast<UInt8*>(p);
  b[0] = UInt8(v >> 24);
  b[1] = UInt8(v >> 16);
  b[2] = UInt8(v >> 8);
  b[3] = UInt8(v);
}

// Bounds-checked reads from a span: false (and the output untouched) when
// the field would run past the end.
inline bool get16(std::span<const UInt8> s, std::size_t off, UInt16& out) {
  if (off > s.size() || s.size() - off < 2) return false;
  out = get16(s.data() + off);
  return true;
}
inline bool get32(std::span<const UInt8> s, std::size_t off, UInt32& out) {
  if (off > s.size() || s.size() - off < 4) return false;
  out = get32(s.data() + off);
  return true;
}

}  // namespace be

// Four-character code from a string literal, first character high.
constexpr OSType FourCC(const char (&s)[5]) {
  return (OSType(UInt8(s[0])) << 24) | (OSType(UInt8(s[1])) << 16) | (OSType(UInt8(s[2])) << 8) |
         OSType(UInt8(s[3]));
}

// ---------------------------------------------------------------------------
// Pascal-string helpers. Every copy is bounded by the destination's
// capacity (the number of bytes it holds, length byte included).
namespace pstr {

// Copies src into dst of capacity cap (e.g. sizeof(Str63)), cutting the
// text to cap - 1 bytes.
inline void copy(unsigned char* dst, std::size_t cap, const unsigned char* src) {
  if (cap == 0) return;
  std::size_t n = std::min<std::size_t>(src ? src[0] : 0, cap - 1);
  if (n) std::memmove(dst + 1, src + 1, n);
  dst[0] = static_cast<unsigned char>(n);
}
// Sets dst from a byte string, cut to the capacity.
inline void set(unsigned char* dst, std::size_t cap, std::string_view text) {
  if (cap == 0) return;
  std::size_t n = std::min<std::size_t>({text.size(), cap - 1, 255});
  if (n) std::memcpy(dst + 1, text.data(), n);
  dst[0] = static_cast<unsigned char>(n);
}
inline std::string_view view(const unsigned char* p) {
  return p ? std::string_view(reinterpret_cast<const char*>(p + 1), p[0]) : std::string_view();
}
inline std::string str(const unsigned char* p) { return std::string(view(p)); }
// Writes a NUL-terminated copy of the Pascal string into dst of size cap.
inline void toC(char* dst, std::size_t cap, const unsigned char* src) {
  if (cap == 0) return;
  std::size_t n = std::min<std::size_t>(src ? src[0] : 0, cap - 1);
  if (n) std::memmove(dst, src + 1, n);
  dst[n] = '\0';
}
inline bool equal(const unsigned char* a, const unsigned char* b) { return view(a) == view(b); }

}  // namespace pstr

// The classic in-place conversions, kept for code written against them.
// Both assume a 256-byte buffer.
void c2pstr(char* s);
void p2cstr(unsigned char* s);
void CopyCStringToPascal(const char* src, Str255 dst);
void CopyPascalStringToC(ConstStr255Param src, char* dst);

inline Rect MakeRect(SInt16 top, SInt16 left, SInt16 bottom, SInt16 right) {
  return Rect{top, left, bottom, right};
}
inline void SetRect(Rect* r, short left, short top, short right, short bottom) {
  r->left = left;
  r->top = top;
  r->right = right;
  r->bottom = bottom;
}
inline void SetPt(Point* p, short h, short v) {
  p->h = h;
  p->v = v;
}

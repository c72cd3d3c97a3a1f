// The device settings tables over fuzzed blocks, used as the settings pages
// use them: every entry of the context table is read, shown, set from a
// user's text and written back, names are looked up in the enumeration
// block, and the image is compared with its backup.
//
// Input: a selector byte (bits 0-3 the output size of a short display,
// bits 4-7 the message size), the lengths of the context, enumeration and
// image blocks (u16 each, big-endian), the three blocks, then the user's
// texts, one per line, handed to the entries in turn.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/Context.h"
#include "fuzz_support.h"

// The tables a program defines.
Ptr pContextData = nullptr;
UInt16 wContextSize = 0;
Ptr pEnumData = nullptr;
UInt16 wEnumWidth = 0;
UInt16 wEnumSize = 0;
Ptr pEEPData = nullptr;
UInt16 wEEPDataSize = 0;
Ptr pEEPBackup = nullptr;

namespace {

constexpr char kFill = '\x7F';
// At most this many entries per input, so that one input stays quick.
constexpr std::size_t kMaxEntries = 300;

// A block in memory of exactly its own size, so that the sanitizer sees
// any byte read or written outside it.
std::unique_ptr<char[]> Block(std::span<const std::uint8_t> bytes) {
  std::unique_ptr<char[]> b(new char[bytes.size()]);
  if (!bytes.empty()) std::memcpy(b.get(), bytes.data(), bytes.size());
  return b;
}

// The bytes of buf from size on are still kFill, and a NUL lies before size.
void CheckTerminated(const char* buf, std::size_t size, std::size_t guard, const char* what) {
  fuzz::Check(std::memchr(buf, '\0', size) != nullptr, what);
  for (std::size_t i = size; i < size + guard; ++i) fuzz::Check(buf[i] == kFill, what);
}

constexpr std::size_t kGuard = 8;
constexpr std::size_t kLongShow = 4096;

// context_show into a buffer of size bytes (and a guard behind it).
void Show(const CONTEXT_ENTRY* e, std::size_t size) {
  static char out[kLongShow + kGuard];
  std::memset(out, kFill, size + kGuard);
  int r = context_show(e, out, size);
  if (r == 0) {
    CheckTerminated(out, size, kGuard, "context_show stays in its buffer and terminates");
  } else {
    fuzz::Check(r == -1, "context_show result");
    for (std::size_t i = 0; i < size + kGuard; ++i)
      fuzz::Check(out[i] == kFill, "a failed context_show leaves its buffer");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  const std::uint8_t sel = in.U8();
  const std::size_t shortShow = 1 + (sel & 0x0F);
  const std::size_t msgSize = 1 + ((sel >> 4) * kCtxMessageSize) / 15;
  const std::uint16_t ctxLen = in.U16(), enumLen = in.U16(), imageLen = in.U16();
  const auto ctxBytes = in.Bytes(ctxLen);
  const auto enumBytes = in.Bytes(enumLen);
  const auto imageBytes = in.Bytes(imageLen);
  std::vector<std::string> texts;
  for (std::string line; in.Line(line);) texts.push_back(fuzz::CString(line));
  if (texts.empty()) texts.push_back("");

  // What the program does when the three replies have come.
  auto ctx = Block(ctxBytes), enums = Block(enumBytes), image = Block(imageBytes), backup = Block(imageBytes);
  pContextData = ctx.get();
  wContextSize = static_cast<UInt16>(ctxBytes.size());
  pEnumData = enums.get();
  wEnumSize = static_cast<UInt16>(enumBytes.size());
  wEnumWidth = static_cast<UInt16>(GetStringArrayWidth(pEnumData, 16, wEnumSize));
  fuzz::Check(wEnumWidth <= 16, "enumeration stride within its limit");
  pEEPData = image.get();
  wEEPDataSize = static_cast<UInt16>(imageBytes.size());
  pEEPBackup = backup.get();

  std::size_t t = 0;
  auto nextText = [&]() -> const std::string& { return texts[t++ % texts.size()]; };
  for (std::size_t off = 0, n = 0; off + sizeof(CONTEXT_ENTRY) <= wContextSize && n < kMaxEntries;
       off += sizeof(CONTEXT_ENTRY), ++n) {
    const auto* slot = reinterpret_cast<const CONTEXT_ENTRY*>(pContextData + off);
    if (slot->type == 'z') break;
    const UInt16 varid = get_ctx_varid(slot);
    CONTEXT_ENTRY* e = get_context_by_varid(varid);
    fuzz::Check(e != nullptr && reinterpret_cast<const char*>(e) <= reinterpret_cast<const char*>(slot),
                "get_context_by_varid finds the first entry of a varid");

    (void)context_read(e);
    std::span<UInt8> field = context_field(e);
    if (!field.empty()) {
      const auto* f = reinterpret_cast<const char*>(field.data());
      fuzz::Check(f >= pEEPData && f + field.size() <= pEEPData + wEEPDataSize, "context_field lies in the image");
    }
    Show(e, std::min<std::size_t>(ctx_show_size(get_ctx_max(e)), kLongShow));
    Show(e, shortShow);

    // The user types a value.
    const std::string& text = nextText();
    std::vector<char> msg(msgSize + kGuard, kFill);
    int r = context_set(e, text.c_str(), msg.data(), msgSize);
    if (r == kCtxStored || r == -1) {
      fuzz::Check(std::all_of(msg.begin(), msg.end(), [](char c) { return c == kFill; }),
                  "no message unless context_set refused the text");
    } else {
      fuzz::Check(r >= kCtxSyntaxError && r <= kCtxNoSelection, "context_set result");
      CheckTerminated(msg.data(), msgSize, kGuard, "context_set message stays in its buffer");
    }
    Show(e, std::min<std::size_t>(ctx_show_size(get_ctx_max(e)), kLongShow));
    (void)context_set_varid(varid, text.c_str(), msg.data(), msgSize);
    {
      std::vector<char> out(shortShow + kGuard, kFill);
      if (context_show_varid(varid, out.data(), shortShow) == 0)
        CheckTerminated(out.data(), shortShow, kGuard, "context_show_varid stays in its buffer");
    }

    // Selections: the names around the entry's range.
    if (get_ctx_type(e) == 'N') {
      const int first = get_ctx_min(e);
      bool unbroken = first >= 1;  // find_enum stops at the first empty name
      for (int k = 0; k < 4; ++k) {
        std::string_view name = get_enum_name(first + k);
        fuzz::Check(name.size() <= wEnumWidth, "an enumeration name within its stride");
        if (name.empty()) {
          unbroken = false;
        } else if (unbroken) {
          std::string copy(name);
          int found = find_enum(copy.c_str(), first);
          fuzz::Check(found >= first && found <= first + k, "find_enum finds a name it showed");
        }
      }
      (void)find_enum(text.c_str(), first);
    }

    // The program stores values of its own too.
    const std::string& other = nextText();
    (void)context_write(e, other.c_str());
    SInt32 number = 0;
    ctx_strval(other.c_str(), &number);
    (void)context_write(e, number);
  }

  // Parsing helpers over every text.
  for (const std::string& text : texts) {
    SInt32 v;
    const char* end = ctx_strval(text.c_str(), &v);
    fuzz::Check(end >= text.c_str() && end <= text.c_str() + text.size(), "ctx_strval stays in the text");
    for (const char* p = text.c_str(); *p;) {
      UInt8 c = 0;
      const char* q = ctx_stoc(p, &c);
      fuzz::Check(q <= text.c_str() + text.size(), "ctx_stoc stays in the text");
      if (q == p) break;
      char shown[4];
      fuzz::Check(ctx_show_ascii(c, shown) - shown <= 4, "ctx_show_ascii width");
      p = q;
    }
  }

  // The settings window compares the image with its backup at exit.
  (void)std::memcmp(pEEPData, pEEPBackup, wEEPDataSize);
  pContextData = pEnumData = pEEPData = pEEPBackup = nullptr;
  wContextSize = wEnumSize = wEnumWidth = wEEPDataSize = 0;
  return 0;
}

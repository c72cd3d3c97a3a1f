// The administration program's settings bindings over fuzzed settings
// tables (context, enumeration and image blocks as the box sends them): for
// every entry the values the settings pages read without a control (the
// display text, the stored string, the enable and selection values), the
// stores with a user's text (strings, selections, switches), the WEP key
// check and the device password check.
//
// Input: as the settings-table target's: a selector byte (unused here), the
// lengths of the context, enumeration and image blocks (u16 each,
// big-endian), the three blocks, then the user's texts, one per line.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Admin/SetupBind.h"
#include "common/Context.h"
#include "fuzz_support.h"
#include "settings_blocks.h"

namespace {

constexpr std::size_t kMaxEntries = 300;
constexpr char kFill = '\x7F';
constexpr std::size_t kOut = 256, kGuard = 8;

// A getter's text ends inside its 256 bytes and leaves the guard alone.
template <class Get>
void Text(Get get, const char* what) {
  char out[kOut + kGuard];
  std::memset(out, kFill, sizeof out);
  get(out);
  fuzz::Check(std::memchr(out, '\0', kOut) != nullptr, what);
  for (std::size_t i = kOut; i < sizeof out; ++i) fuzz::Check(out[i] == kFill, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  (void)in.U8();
  const fuzz::SettingsTables tables(in);
  std::vector<std::string> texts;
  for (std::string line; in.Line(line);) texts.push_back(fuzz::CString(line));
  if (texts.empty()) texts.push_back("");

  MenuChangeAuthority = 1;
  gbSetupCancel = 0;

  std::size_t t = 0;
  auto nextText = [&]() -> const std::string& { return texts[t++ % texts.size()]; };
  for (std::size_t off = 0, n = 0; off + sizeof(CONTEXT_ENTRY) <= wContextSize && n < kMaxEntries;
       off += sizeof(CONTEXT_ENTRY), ++n) {
    const auto* slot = reinterpret_cast<const CONTEXT_ENTRY*>(pContextData + off);
    if (slot->type == 'z') break;
    const UInt16 var = get_ctx_varid(slot);

    // What a page shows.
    Text([&](char* out) { Get_Context_Int(var, out); }, "a setting's display text ends in 256 bytes");
    Text([&](char* out) { Get_Context_String(var, out); }, "a stored string ends in 256 bytes");
    (void)Get_Context_Enable(var);
    (void)Get_Context_Enum(var);
    (void)Masked_Group(var);

    // What the user types.
    const std::string& text = nextText();
    const short len = static_cast<short>(std::min<std::size_t>(text.size(), 300));
    (void)Check_Wepkey(var, text.c_str());
    short max = -1;
    (void)Check_In_Password(text.c_str(), len, &max);
    fuzz::Check(max >= 0 && max <= 255, "the password's limit");
    (void)Set_Context_StringEx(var, text.c_str(), len);
    (void)Set_Context_Enum(var, static_cast<short>(len % 8));
    (void)Set_Context_Enable(var, len & 1);
    Text([&](char* out) { Get_Context_String(var, out); }, "a stored string ends in 256 bytes");
  }
  for (const std::string& text : texts) (void)Check_password(text.c_str());
  return 0;
}

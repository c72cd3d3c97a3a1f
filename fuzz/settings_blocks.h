// The device settings tables (context, enumeration names, settings image)
// taken from fuzzed input and installed where the administration program
// keeps the tables it read from a box, for as long as the object lives.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "common/Context.h"
#include "fuzz_support.h"

namespace fuzz {

// Input: three lengths (u16 each), then the context, enumeration and image
// bytes. Each block is allocated to its exact size, so a read past its end
// is a sanitizer report.
class SettingsTables {
 public:
  explicit SettingsTables(Cursor& in) {
    const std::uint16_t ctxLen = in.U16(), enumLen = in.U16(), imageLen = in.U16();
    const auto ctx = in.Bytes(ctxLen);
    const auto enums = in.Bytes(enumLen);
    const auto image = in.Bytes(imageLen);
    ctx_ = block(ctx), enums_ = block(enums), image_ = block(image);
    pContextData = ctx_.get();
    wContextSize = static_cast<UInt16>(ctx.size());
    pEnumData = enums_.get();
    wEnumSize = static_cast<UInt16>(enums.size());
    wEnumWidth = static_cast<UInt16>(GetStringArrayWidth(pEnumData, 16, wEnumSize));
    pEEPData = image_.get();
    wEEPDataSize = static_cast<UInt16>(image.size());
  }
  ~SettingsTables() {
    pContextData = pEnumData = pEEPData = nullptr;
    wContextSize = wEnumSize = wEnumWidth = wEEPDataSize = 0;
  }
  SettingsTables(const SettingsTables&) = delete;
  SettingsTables& operator=(const SettingsTables&) = delete;

 private:
  static std::unique_ptr<char[]> block(std::span<const std::uint8_t> bytes) {
    std::unique_ptr<char[]> b(new char[bytes.size()]);
    if (!bytes.empty()) std::memcpy(b.get(), bytes.data(), bytes.size());
    return b;
  }
  std::unique_ptr<char[]> ctx_, enums_, image_;
};

}  // namespace fuzz

// The administration program's search settings with fuzzed files, read by
// its own readers as at start-up: the broadcast list "ConfigData" in the
// folder that holds the bundles, and the 52-byte 'CNFG' record of its
// preference file (which the file-transfer tool's settings are made from).
//
// Input: a selector byte (bit 0: the bytes are the record, else the list),
// then the bytes.
#include <array>
#include <cstring>

#include "Admin/SearchConfig.h"
#include "fuzz_support.h"
#include "suite/SuiteNames.h"
#include "toolbox/files.h"

namespace {

std::string listPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static fuzz::ScratchFile dir(suite::kConfigDataName);
  listPath = dir.path();
  const std::filesystem::path macos = dir.dir() / "VEMO-ADMIN.app/Contents/MacOS";
  std::filesystem::create_directories(macos);
  fuzz::ScratchFile::WriteAt((macos / "VEMO-ADMIN").string(), {});
  tb::SetApplicationPath((macos / "VEMO-ADMIN").string());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  const std::uint8_t sel = in.U8();
  const std::span<const std::uint8_t> bytes = in.Rest();
  if (sel & 1) {
    CONFIGURATION c{3000, 2, 60, 0xFFFFFFFFu, 0, 1, 0, 0, "*"};
    const bool whole = Unpack_Config_Record(bytes, c);
    fuzz::Check(whole == (bytes.size() >= kConfigRecordSize), "only a whole record is taken");
    fuzz::Check(std::memchr(c.SearchZoneName, '\0', kZoneNameSize) != nullptr, "the zone name ends in its field");
    // Saved again as read, and the file-transfer tool's record made from it.
    std::array<UInt8, kConfigRecordSize> out{};
    Pack_Config_Record(c, out);
    CONFIGURATION again{};
    Unpack_Config_Record(out, again);
    std::array<UInt8, kConfigRecordSize> out2{};
    Pack_Config_Record(again, out2);
    fuzz::Check(out == out2, "a record read back packs the same");
    std::array<UInt8, kFtpConfigSize> ftp{};
    Pack_Ftp_Config(c, ftp);
  } else {
    fuzz::ScratchFile::WriteAt(listPath, bytes);
    ConfigData.brAddr = 0x7F0000FFu;
    Get_BroadcastAddr();
    fuzz::Check(EnvInfo.tcp_count >= 1 && EnvInfo.tcp_count <= kBroadcastMax, "the list's count");
    for (int k = 0; k < EnvInfo.tcp_count; ++k)
      fuzz::Check(std::memchr(EnvInfo.broadcast[k], '\0', kBroadcastTextSize) != nullptr,
                  "a broadcast entry ends in its field");
    // Written back as the program does after a normal start.
    const std::vector<UInt8> text = Build_Status_Data(EnvInfo);
    fuzz::Check(text.size() <= 10 + std::size_t(kBroadcastMax) * (8 + kBroadcastTextSize), "the list written is bounded");
  }
  return 0;
}

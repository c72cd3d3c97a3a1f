// The held-job manager's files with fuzzed contents, read by its own
// readers: the monitor's status-sharing file "V<address>.vsf" in the
// user's folder (the printer's capabilities the print dialog reads), and
// the 152-byte settings image of its preference file.
//
// Input: a selector byte (bit 0: the bytes are the settings image, else
// the status-sharing file), then the bytes.
#include <array>
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "holdmanager/HoldData.h"

namespace {

const UInt8 kMac[6] = {0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0C};
std::string vsfPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static fuzz::ScratchFile home("home");
  // No string file names a folder here: the reader looks in its default.
  const std::filesystem::path folder = home.dir() / kHoldStatusFolderDefault;
  std::filesystem::create_directories(folder);
  ::setenv("HOME", home.dir().c_str(), 1);
  vsfPath = (folder / "V0080920A0B0C.vsf").string();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  const std::uint8_t sel = in.U8();
  const std::span<const std::uint8_t> bytes = in.Rest();
  if (sel & 1) {
    HOLD_CONFIG c;
    HoldConfigDefaults(&c, 1024, 768, 22);
    const bool taken = HoldConfigFromImage(bytes, &c);
    fuzz::Check(taken == (bytes.size() == kHoldConfigImageSize), "only an image of its size is taken");
    // Saved again as read: the same image.
    std::array<UInt8, kHoldConfigImageSize> out{};
    HoldConfigToImage(c, out);
    if (taken) {
      HOLD_CONFIG again;
      fuzz::Check(HoldConfigFromImage(out, &again), "an image written is taken");
      std::array<UInt8, kHoldConfigImageSize> out2{};
      HoldConfigToImage(again, out2);
      fuzz::Check(out == out2, "an image read back writes the same");
    }
    return 0;
  }
  fuzz::ScratchFile::WriteAt(vsfPath, bytes);
  PrinterCaps caps;
  fuzz::Check(Get_Printer_Info(kMac, &caps, nullptr) == noErr, "the status-sharing file is read");
  for (const PRINTER_CAP& c : caps)
    fuzz::Check(std::memchr(c.key, '\0', sizeof c.key) != nullptr, "a capability's key ends in its field");
  return 0;
}

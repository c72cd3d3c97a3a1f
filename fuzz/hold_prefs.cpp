// The held-job manager's preference file with fuzzed contents, through the
// Resource Manager as the program reads and writes it: loaded at start-up
// (the settings image in its 'CNFG' resource, the defaults when it is
// missing or damaged), then, as at quit, the settings saved into that same
// file (the version and settings resources replaced, the rest kept) and
// loaded again, which must give back what was saved.
//
// Input: a selector byte (bit 0: the bytes are the whole file; else a
// well-formed resource file is laid out from them: bit 1 adds a version
// resource, bits 2-3 other resources), then for a laid-out file a u16
// length and the settings resource's bytes, the rest being the other
// resources' data.
#include <array>
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"
#include "holdmanager/HoldData.h"
#include "toolbox/resources.h"

namespace {

std::string gPrefs;

tb::ResourceEntry Entry(ResType type, SInt16 id, std::span<const std::uint8_t> data) {
  tb::ResourceEntry e;
  e.type = type;
  e.id = id;
  e.data.assign(data.begin(), data.end());
  return e;
}

std::array<UInt8, kHoldConfigImageSize> Image(const HOLD_CONFIG& c) {
  std::array<UInt8, kHoldConfigImageSize> out{};
  HoldConfigToImage(c, out);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static fuzz::ScratchFile home("config");
  ::setenv("XDG_CONFIG_HOME", home.dir().c_str(), 1);
  const std::filesystem::path folder = home.dir() / "vemo/Preferences";
  std::filesystem::create_directories(folder);
  gPrefs = (folder / kHoldPrefsName).string();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  const std::uint8_t sel = in.U8();
  if (sel & 1) {
    fuzz::ScratchFile::WriteAt(gPrefs, in.Rest());
  } else {
    std::vector<tb::ResourceEntry> entries;
    entries.push_back(Entry('CNFG', 128, in.Bytes(in.U16())));
    const auto rest = in.Rest();
    const std::size_t half = rest.size() / 2;
    if (sel & 2) entries.push_back(Entry('PVER', 128, rest.first(half)));
    if (sel & 4) entries.push_back(Entry('CNFG', 129, rest.subspan(half)));
    if (sel & 8) entries.push_back(Entry('STR ', 128, rest.subspan(half)));
    std::vector<UInt8> image;
    if (tb::BuildResourceFile(entries, image) != noErr) return 0;
    fuzz::ScratchFile::WriteAt(gPrefs, image);
  }

  HOLD_CONFIG loaded;
  GetConfig(&loaded);
  // What the program keeps using is what it saves at quit; a changed value
  // shows the file really is rewritten.
  loaded.usCopies = UInt16(loaded.usCopies + 1);
  if (SetConfig(loaded) != noErr) return 0;
  HOLD_CONFIG again;
  GetConfig(&again);
  fuzz::Check(Image(again) == Image(loaded), "the settings saved are the settings loaded next");
  return 0;
}

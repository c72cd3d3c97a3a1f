// The held-job manager's program as its timing programs run it in their
// own process: a run's environment of its own (loopback, headless, private
// ports and folders), the bundle's resources, and the emulated box it lists.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "pboxemu/emulator.h"
#include "toolbox/bundle.h"
#include "toolbox/netconfig.h"
#include "toolbox/resources.h"

namespace bench {

// The environment of a run in dir (portMap for TOOLBOX_PORTMAP) and the
// bundle's resources; false, said on standard error, when they are missing.
inline bool OpenHoldProgram(const std::filesystem::path& dir, const std::string& portMap) {
  setenv("TOOLBOX_NET", "loopback", 1);
  setenv("TOOLBOX_HEADLESS", "1", 1);
  setenv("TOOLBOX_PORTMAP", portMap.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  setenv("XDG_CACHE_HOME", dir.c_str(), 1);
  tb::ReloadNetConfig();
  const std::filesystem::path bundle = std::filesystem::path(VEMO_SUITE_DEFAULT) / "VemoHoldManager.app";
  tb::SetApplicationPath((bundle / "Contents/MacOS/VemoHoldManager").string());
  tb::SetMainBundlePath(bundle.string());
  if (tb::OpenApplicationResources((bundle / "Contents/Resources/VemoHoldManager.rsrc").c_str()) > 0) return true;
  std::fprintf(stderr, "no resources in %s\n", bundle.c_str());
  return false;
}

// A box the program lists (a model with the capabilities it asks for), its
// held-job service on (lineprinter false: port 515 is left to a real
// daemon) with one folder.
inline pboxemu::HoldServer& AddHoldBox(pboxemu::Emulator& emu, const char* folder, bool lineprinter = true) {
  pboxemu::BoxSpec spec;
  spec.hasMachineType = true;
  std::memcpy(spec.machineType.data(), "VEMOPLEX[C]", 11);
  spec.machineType[15] = 0x23;
  emu.AddBox(spec);
  pboxemu::HoldServer& h = emu.Hold();
  h.Enable(lineprinter);
  h.AddFolder(0, {1, folder, 0, 0});
  return h;
}

}  // namespace bench

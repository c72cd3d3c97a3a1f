// Test versions of what each program supplies to the foundation
// (src/common/AppGlobals.h).
#include "stub_globals.h"

SInt16 Appl_Rsrc_Fork_No = 0;
CONFIGURATION ConfigData{};
OSType Pref_File_Creator = 'VMxm';

std::vector<UInt8> Pack_Configuration(const CONFIGURATION* config) {
  std::vector<UInt8> out(9, 0);
  if (!config) return out;
  be::put16(out.data(), config->rcvWait);
  be::put16(out.data() + 2, config->datWait);
  be::put32(out.data() + 4, config->brAddr);
  out[8] = config->oldVerCompati;
  return out;
}

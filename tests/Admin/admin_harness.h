// What the tests of the administration program share: where the built
// bundle is, and the program loaded as its start-up loads it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "Admin/DeviceCommand.h"
#include "Admin/SearchConfig.h"
#include "common/AppGlobals.h"
#include "OT/PBoxTable.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"
#include "toolbox/resources.h"

namespace admintest {

// The built bundle: under VEMO_BUILD_DIR, else under the working folder.
inline std::string Bundle() {
  const char* build = std::getenv("VEMO_BUILD_DIR");
  return std::string(build ? build : ".") + "/suite/VEMO-ADMIN.app";
}

// The program's resources and English language file, the name checks, and
// settings that search the loopback broadcast over TCP/IP alone every
// pollSeconds; the network started and the virtual clock on. A fatal failure
// when the resources do not open.
inline void LoadForLoopbackSearch(SInt16 pollSeconds) {
  tb::ReloadNetConfig();
  tb::ResetResources();
  Appl_Rsrc_Fork_No = tb::OpenApplicationResources(Bundle() + "/Contents/Resources/VEMO-ADMIN.rsrc");
  ASSERT_GE(Appl_Rsrc_Fork_No, 0);
  std::strcpy(IniFileName, (Bundle() + "/Contents/Resources/English/Admin.ini").c_str());
  ConfigData = CONFIGURATION{500, 1, pollSeconds, 0x7FFFFFFFu, 0, 1, 0, 0, "*"};
  EnvInfo = SETUPINFO{};
  EnvInfo.tcp_count = 1;
  std::strcpy(EnvInfo.broadcast[0], "127.255.255.255");
  Get_NameCheck_Info();
  InitNetwork();
  tb::UseVirtualClock(true);
}

}  // namespace admintest

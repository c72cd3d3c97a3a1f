// Writes the file-transfer tool's preference file and the broadcast list
// with the administration program's own code, as that program does when
// its search settings are saved:
//   upcaster_admin_writer <VEMO-ADMIN.rsrc> <rcvWait> <retry> <brAddr> <old> [address...]
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Admin/AdminApp.h"
#include "Admin/SearchConfig.h"
#include "toolbox/resources.h"

int main(int argc, char** argv) {
  if (argc < 6) return 2;
  Appl_Rsrc_Fork_No = tb::OpenApplicationResources(argv[1]);
  if (Appl_Rsrc_Fork_No < 0) return 3;
  OpenMode = 1;
  ConfigData.rcvWait = static_cast<UInt16>(std::strtoul(argv[2], nullptr, 0));
  ConfigData.retry = static_cast<SInt16>(std::strtol(argv[3], nullptr, 0));
  ConfigData.brAddr = static_cast<UInt32>(std::strtoul(argv[4], nullptr, 0));
  ConfigData.oldVerCompati = static_cast<Boolean>(std::atoi(argv[5]));
  Set_Ftp_Configuration();
  if (argc > 6) {
    SETUPINFO info{};
    info.tcp_count = 1;
    for (int i = 6; i < argc && info.tcp_count < kBroadcastMax; ++i)
      std::snprintf(info.broadcast[info.tcp_count++], kBroadcastTextSize, "%s", argv[i]);
    Save_Status_Data(&info);
  }
  return 0;
}

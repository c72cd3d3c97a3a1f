// VEMO-ADMIN run inside a benchmark's own process (admin_setup_bench,
// admin_flood_probe): confined to loopback, headless, on the emulator's
// private port map, with a configuration folder of its own, over the
// bundle's resources, with the network open, the menus built and
// administrator mode on; undone in the reverse order.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/DeviceCommand.h"
#include "Admin/SearchConfig.h"
#include "pboxemu/emulator.h"
#include "toolbox/netconfig.h"
#include "toolbox/resources.h"

namespace bench {

class AdminInProcess {
 public:
  // name: the temporary folder's prefix ("admin-setup-bench").
  explicit AdminInProcess(const std::string& name) {
    setenv("TOOLBOX_NET", "loopback", 1);
    setenv("TOOLBOX_HEADLESS", "1", 1);
    setenv("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str(), 1);
    std::string tmpl = "/tmp/" + name + "-XXXXXX";
    home_ = mkdtemp(tmpl.data());
    setenv("XDG_CONFIG_HOME", (home_ + "/config").c_str(), 1);
    tb::ReloadNetConfig();
    const char* suite = std::getenv("VEMO_SUITE_DIR");
    const std::string res = std::string(suite ? suite : VEMO_SUITE_DEFAULT) + "/VEMO-ADMIN.app/Contents/Resources";
    Appl_Rsrc_Fork_No = tb::OpenApplicationResources(res + "/VEMO-ADMIN.rsrc");
    std::snprintf(IniFileName, sizeof IniFileName, "%s/English/Admin.ini", res.c_str());
    ConfigData = CONFIGURATION{500, 1, 60, 0x7FFFFFFFu, 0, 1, 0, 0, "*"};
    InitNetwork();
    Install_Menu();
    gbAdminMode = 1;
  }
  ~AdminInProcess() {
    DeinitNetwork();
    std::filesystem::remove_all(home_);
  }
  AdminInProcess(const AdminInProcess&) = delete;
  AdminInProcess& operator=(const AdminInProcess&) = delete;

 private:
  std::string home_;
};

}  // namespace bench

// The monitor's settings dialogs in process: a suite folder of the test's
// own (the printers' files are written beside the bundle there), the built
// program's resources and English texts, emulated boxes on loopback, and
// one status window opened for the first box.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/AppWindows.h"
#include "common/StrConv.h"
#include "Monitor/DialogUtil.h"
#include "Monitor/MonitorApp.h"
#include "Monitor/MonitorConfig.h"
#include "Monitor/StatusWindow.h"
#include "OT/FTPSend.h"
#include "OT/PBoxTable.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/files.h"
#include "toolbox/gestalt.h"
#include "toolbox/netconfig.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox/windows.h"

namespace montest {

namespace fs = std::filesystem;

inline std::string Bundle() {
  const char* build = std::getenv("VEMO_BUILD_DIR");
  return std::string(build ? build : ".") + "/suite/VEMO-MONITOR.app";
}

inline std::string MacText(const std::array<UInt8, 6>& m) {
  char text[20];
  std::snprintf(text, sizeof text, "%02X;%02X;%02X;%02X;%02X;%02X", m[0], m[1], m[2], m[3], m[4], m[5]);
  return text;
}

class MonitorDialogs : public ::testing::Test {
 protected:
  MonitorDialogs()
      : ports_("TOOLBOX_PORTMAP", (pboxemu::PrivatePortMap() + "," + pboxemu::FtpPortMap()).c_str()),
        config_("XDG_CONFIG_HOME", (dir_ / "config").c_str()),
        home_("HOME", (dir_ / "home").c_str()) {}

  void SetUp() override {
    fs::create_directories(suite() / "VEMO-MONITOR.app/Contents/MacOS");
    fs::create_directories(dir_.path() / "home");
    testsupport::WriteFile(suite() / "VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR", "");
    tb::SetApplicationPath((suite() / "VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR").string());
    tb::ReloadNetConfig();
    tb::ResetResources();
    Appl_Rsrc_Fork_No = tb::OpenApplicationResources(Bundle() + "/Contents/Resources/VEMO-MONITOR.rsrc");
    ASSERT_GE(Appl_Rsrc_Fork_No, 0);
    std::snprintf(IniFileName, sizeof IniFileName, "%s", (Bundle() + "/Contents/Resources/English/Popmon.ini").c_str());
    std::snprintf(MonFileName, sizeof MonFileName, "%s",
                  (Bundle() + "/Contents/Resources/English/Monitor.ini").c_str());
    ConfigData = Default_Configuration();
    EnvInfo = SETUPINFO{};
    EnvInfo.tcp_count = 1;
    std::strcpy(EnvInfo.broadcast[0], "255.255.255.255");
    PboxTblMax = 128;
    Get_NameCheck_Info();
    OT_Init();
    Init_Status_Table();
  }

  void TearDown() override {
    Close_All_Status_Window();
    FlushEvents(everyEvent, 0);
    Reap_Request_Contexts(true);
    for (SEND_WND_INFO& slot : SendTbl) {
      if (slot.using_) Exit_TCPftp_Dialog(&slot);
      Last_Table_Init(&slot);
    }
    testsupport::PumpUntil([] { return FTP_Reap_Contexts() == 0; }, 5000);
    while (Win_Que_Base) Close_Usr_Window(static_cast<USR_WINDOW_QUEUE*>(Win_Que_Base->q_body)->wndPtr);
    OpenMovableDlg = nullptr;
    emu.Stop();
    OT_Deinit();
    tb::ResetGestalt();
    tb::UseVirtualClock(false);
    tb::DisposeAllWindows();
    tb::ResetResources();
    tb::SetApplicationPath("");
    tb::ReloadNetConfig();
  }

  fs::path suite() const { return dir_.path() / "suite"; }

  void StartBoxes(int n, bool ftp = false) {
    for (int i = 0; i < n; ++i) {
      pboxemu::BoxSpec spec;
      spec.name = "Office " + std::string(1, char('A' + i));
      emu.AddBox(spec);
    }
    if (ftp) emu.Ftp().Enable();
    std::string err;
    ASSERT_TRUE(emu.Start(&err)) << err;
  }

  PBOXinfo Box(int i) const {
    PBOXinfo b{};
    b.pbi_inuse = 1;
    auto mac = emu.BoxMac(i);
    std::memcpy(b.pbi_nodeaddr, mac.data(), 6);
    auto type = emu.BoxMachineType(i);
    std::memcpy(b.pbi_machine_type, type.data(), 16);
    b.pbi_hash = GetPBOXHash(b.pbi_machine_type, b.pbi_nodeaddr);
    const std::string name = "Office " + std::string(1, char('A' + i));
    std::memcpy(b.pbi_machine_name, name.data(), name.size());
    b.pbi_ip_addr = emu.BoxAddress(i);
    b.pbi_socket = emu.BoxPort(i);
    b.protocol_Type_Num = PBOX_PROTO_TCPIP;
    return b;
  }

  // A status window for box i, as a status-data record opens it.
  STATUS_WND_INFO* OpenWindow(int i) {
    std::array<UInt8, kPBOXRecordFileSize> rec{};
    PackPBOXinfo(Box(i), std::span<UInt8, kPBOXinfoPackedSize>(rec.data(), kPBOXinfoPackedSize));
    EXPECT_EQ(Open_Status_Window(rec.data(), rec.size()), 1);
    rec_box_ = Box(i);
    return Search_Status_Table(&rec_box_);
  }

  // One pass of the monitor's loop.
  static void Pass() {
    EventRecord e;
    WaitNextEvent(everyEvent, &e, 1, nullptr);
    Update_Status_Window(&e);
    if (Handle_Dialog_Event(&e) != 1) Handle_Window_Event(&e);
  }
  static bool RunUntil(const std::function<bool()>& done, int ms = 10000) {
    return testsupport::PumpUntil(
        [&] {
          Pass();
          return done();
        },
        ms);
  }
  static void Click(DialogRef d, DialogItemIndex item) {
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(tb::ClickDialogItem(d, item)) << item;
    for (int n = 0; n < 5; ++n) Pass();
  }
  // Runs what with a Return waiting for an alert; the alert's text, empty
  // when no alert took the key.
  template <class F>
  static std::string Alert(F what) {
    FlushEvents(everyEvent, 0);
    ParamText(testsupport::P(""), testsupport::P(""), testsupport::P(""), testsupport::P(""));
    tb::PressNamedKey("Return");
    what();
    EventRecord e;
    const bool taken = !EventAvail(keyDownMask, &e);
    FlushEvents(everyEvent, 0);
    return taken ? tb::ParamTextValue(0) : std::string();
  }
  static std::vector<std::string> Rows(CLIST_DATA* list, SInt16 column = 0) {
    std::vector<std::string> out;
    for (SInt16 r = 0; list && r < CLGetCount(list); ++r) {
      Str255 p = {0};
      SInt16 len = sizeof p - 1;
      CLGetCellOne(list, p, &len, Cell{r, column});
      out.emplace_back(reinterpret_cast<char*>(p + 1), p[0]);
    }
    return out;
  }
  // Every file beside the bundle with its bytes.
  std::map<std::string, std::string> SuiteFiles() const {
    std::map<std::string, std::string> out;
    for (auto& f : fs::directory_iterator(suite()))
      if (f.is_regular_file()) out[f.path().filename().string()] = testsupport::ReadFile(f.path());
    return out;
  }

  testsupport::TempDir dir_;
  testsupport::ScopedEnv ports_, config_, home_;
  pboxemu::Emulator emu;
  PBOXinfo rec_box_{};
};

}  // namespace montest

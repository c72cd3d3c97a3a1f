// The monitor's settings dialogs in process: a suite folder of the test's
// own (the printers' files are written beside the bundle there), the built
// program's resources and English texts, emulated boxes on loopback, and
// one status window opened for the first box.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "506Q_Lib/DialogItems.h"
#include "common/AppMenus.h"
#include "common/AppWindows.h"
#include "common/StrConv.h"
#include "Monitor/DialogUtil.h"
#include "Monitor/MonitorApp.h"
#include "Monitor/MonitorConfig.h"
#include "Monitor/OptionDialog.h"
#include "Monitor/StatusData.h"
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
#include "toolbox/memory.h"
#include "toolbox/menus.h"
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

// Starts n emulated boxes named "Office A", "Office B", ... (serving FTP
// when ftp).
inline void StartOffices(pboxemu::Emulator& emu, int n, bool ftp = false) {
  for (int i = 0; i < n; ++i) {
    pboxemu::BoxSpec spec;
    spec.name = "Office " + std::string(1, char('A' + i));
    emu.AddBox(spec);
  }
  if (ftp) emu.Ftp().Enable();
  std::string err;
  ASSERT_TRUE(emu.Start(&err)) << err;
}

// Box i of StartOffices as a search over TCP/IP lists it.
inline PBOXinfo OfficeBox(const pboxemu::Emulator& emu, int i) {
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

// A press far from every item, for handlers called directly.
inline EventRecord Away() {
  EventRecord e{};
  e.what = mouseDown;
  e.where = Point{-100, -100};
  return e;
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
    // The program's File menu and its Window menu, where each status
    // window enters itself.
    InsertMenu(GetMenu(kFileMenuID), 0);
    InsertMenu(GetMenu(kOptionMenuID), 0);
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
    tb::ResetMenus();
    tb::UseVirtualClock(false);
    tb::DisposeAllWindows();
    tb::ResetResources();
    tb::SetApplicationPath("");
    tb::ReloadNetConfig();
  }

  fs::path suite() const { return dir_.path() / "suite"; }

  void StartBoxes(int n, bool ftp = false) { StartOffices(emu, n, ftp); }
  PBOXinfo Box(int i) const { return OfficeBox(emu, i); }

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
  // A press near a window's top-left corner, clear of its items.
  static void Press(WindowRef w) {
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(tb::ClickInWindow(w, Point{5, 5}));
    for (int n = 0; n < 5; ++n) Pass();
  }
  // A window's first answer (which may pop it up); past it, only presses
  // move windows.
  static bool FirstAnswer(const STATUS_WND_INFO* w) {
    return RunUntil([&] { return w->statUpTick != 0 && w->sendStat == 0; });
  }
  static void Click(DialogRef d, DialogItemIndex item) {
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(tb::ClickDialogItem(d, item)) << item;
    for (int n = 0; n < 5; ++n) Pass();
  }
  // A press on the item with a key queued behind it for the alert the
  // press raises; the alert's text, empty when no alert took the key.
  static std::string ClickAnswering(DialogRef d, DialogItemIndex item, const char* key = "Return") {
    FlushEvents(everyEvent, 0);
    ParamText(testsupport::P(""), testsupport::P(""), testsupport::P(""), testsupport::P(""));
    tb::AdvanceClock(GetDblTime() + 1);
    EXPECT_TRUE(tb::ClickDialogItem(d, item)) << item;
    tb::PressNamedKey(key);
    for (int n = 0; n < 5; ++n) Pass();
    EventRecord e;
    const bool taken = !EventAvail(keyDownMask, &e);
    FlushEvents(everyEvent, 0);
    return taken ? tb::ParamTextValue(0) : std::string();
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

  CONFIG_WND_INFO* OpenOptions(STATUS_WND_INFO* win) {
    Click(win->dlg, 1);
    EXPECT_EQ(win->confData->using_, 1);
    return win->confData;
  }
  std::vector<std::string> Names(CONFIG_WND_INFO* c) {
    auto rows = Rows(c->pservList);
    std::sort(rows.begin(), rows.end());
    return rows;
  }
  bool WaitForRows(CONFIG_WND_INFO* c, std::size_t n) {
    return RunUntil([&] { return Rows(c->pservList).size() == n; });
  }
  void Choose(CONFIG_WND_INFO* c, const std::string& name) {
    const auto rows = Rows(c->pservList);
    const auto at = std::find(rows.begin(), rows.end(), name);
    ASSERT_NE(at, rows.end()) << name;
    CLClearSelect(c->pservList, nullptr);
    CLSetSelect(c->pservList, Cell{SInt16(at - rows.begin()), 0}, true, false);
    EventRecord e = Away();
    Handle_Config_Select_Item(c->dlg, &e, kOptList);
  }
  std::string SharingFile(const PBOXinfo& p) {
    FSSpec fss;
    std::string path;
    if (!Stat_Com_File_Spec(&p, &fss) || tb::SpecToPath(fss, path) != noErr) return {};
    return path;
  }
  std::string Packed(const PBOXinfo& p) {
    std::array<UInt8, kPBOXinfoPackedSize> b{};
    PackPBOXinfo(p, b);
    return std::string(reinterpret_cast<const char*>(b.data()), b.size()) + std::string(4, '\0');
  }
  // The 'CNFG' bytes of the printer's settings file, as stored.
  std::string StoredSettings(const PBOXinfo& p) {
    FSSpec fss;
    if (!Monitor_File_Spec(Settings_File_Name(p.pbi_nodeaddr), &fss)) return "none";
    const SInt16 saved = CurResFile();
    const SInt16 ref = FSpOpenResFile(&fss, fsRdPerm);
    if (ref < 0) return "none";
    std::string out = "none";
    if (Handle h = Get1Resource('CNFG', 128)) out.assign(*h, std::size_t(GetHandleSize(h)));
    CloseResFile(ref);
    UseResFile(saved);
    return out;
  }
  static std::string Bytes(const CONFIGURATION& c) {
    std::array<UInt8, kConfigurationSize> b{};
    PackConfiguration(c, b);
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
  }
  // A press on tab idx of a tab strip in the dialog, down pixels below the
  // strip's top: by default on the title's top row, where a tab must answer
  // as well as anywhere else on it.
  static void ClickTabOf(CTAB_DATA* ct, DialogRef d, SInt16 idx, SInt16 down = 3) {
    SInt16 h = ct->tabRect.left;
    for (SInt16 i = ct->visTabNo; i < idx; ++i) h = SInt16(h + ctab::GetTab(ct, i)->width);
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(d),
                                  Point{SInt16(ct->tabRect.top + down), SInt16(h + ctab::GetTab(ct, idx)->width / 2)}));
    for (int n = 0; n < 5; ++n) Pass();
  }
  static std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = char(rng());
    return s;
  }

  testsupport::TempDir dir_;
  testsupport::ScopedEnv ports_, config_, home_;
  pboxemu::Emulator emu;
  PBOXinfo rec_box_{};
};

}  // namespace montest

// What the tests of the administration program share: where the built
// bundle is, the program loaded as its start-up loads it, emulated boxes as
// a search lists them, settings tables over a box's blocks, a settings page
// alone, and the device settings window over four emulated boxes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/DeviceCommand.h"
#include "Admin/SearchConfig.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupWindow.h"
#include "common/AppGlobals.h"
#include "common/AppWindows.h"
#include "common/Context.h"
#include "OT/PBoxTable.h"
#include "pboxemu/emulator.h"
#include "pboxemu/settings.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/netconfig.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"

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

// Box n of the emulator as a search would have listed it.
inline PBOXinfo BoxInfo(const pboxemu::Emulator& emu, int n) {
  PBOXinfo b{};
  b.pbi_inuse = 1;
  b.protocol_Type_Num = PBOX_PROTO_TCPIP;
  b.pbi_ip_addr = emu.BoxAddress(n);
  auto mac = emu.BoxMac(n);
  std::memcpy(b.pbi_nodeaddr, mac.data(), 6);
  std::memcpy(b.pbi_machine_type, emu.BoxMachineType(n).data(), 16);
  return b;
}

// Points the program's settings tables at the blocks, as reading a box's
// settings does; the blocks must stay until ClearTables.
inline void PointTablesAt(pboxemu::SettingsBlocks& b) {
  pContextData = reinterpret_cast<Ptr>(b.context.data());
  wContextSize = UInt16(b.context.size());
  pEnumData = reinterpret_cast<Ptr>(b.enums.data());
  wEnumSize = UInt16(b.enums.size());
  wEnumWidth = 16;
  pEEPData = reinterpret_cast<Ptr>(b.image.data());
  wEEPDataSize = UInt16(b.image.size());
}

inline void ClearTables() {
  pContextData = pEnumData = pEEPData = nullptr;
  wContextSize = wEnumSize = wEEPDataSize = 0;
}

// What the settings module shows for the variable ("?" when nothing).
inline std::string Shown(UInt16 var) {
  char out[256] = "?";
  context_show_varid(var, out, sizeof out);
  return out;
}

// A copy of the blocks held as the program's settings tables while it
// lives.
class Tables {
 public:
  explicit Tables(const pboxemu::SettingsBlocks& b) : b_(b) { PointTablesAt(b_); }
  ~Tables() { ClearTables(); }
  Tables(const Tables&) = delete;
  Tables& operator=(const Tables&) = delete;
  std::string show(UInt16 var) { return Shown(var); }
  std::vector<UInt8>& image() { return b_.image; }

 private:
  pboxemu::SettingsBlocks b_;
};

// Script lines "check" run the test's checks queued here, in order, each
// where the script stands: inside a modal dialog the test cannot reach
// otherwise.
inline std::deque<std::function<void()>>& ScriptChecks() {
  static std::deque<std::function<void()>> checks;
  static const bool registered = [] {
    tb::RegisterScriptCommand("check", [](const std::vector<std::string>&, std::string* error) {
      if (checks.empty()) {
        *error = "no check queued";
        return tb::ScriptResult::kFailed;
      }
      auto check = std::move(checks.front());
      checks.pop_front();
      check();
      return tb::ScriptResult::kDone;
    });
    return true;
  }();
  (void)registered;
  return checks;
}

// How an item's place is inked: dark (black text or lines), only grey
// (the 0x8888 grey of texts not in use), or not at all.
enum class Ink { kNone, kGrey, kBlack };
inline Ink InkOf(CGrafPtr port, const Rect& r) {
  if (testsupport::DarkInkIn(port, r, 0x70)) return Ink::kBlack;
  if (testsupport::DarkInkIn(port, r, 0xA0)) return Ink::kGrey;
  return Ink::kNone;
}
inline Ink InkOf(DialogRef d, short item) {
  Rect r;
  Get_Dialog_Item_Rect(d, item, &r);
  return InkOf(GetDialogPort(d), r);
}
// Whether the item's rectangle, grown by outset, has a frame line drawn
// along its left edge (away from any title on its top line).
inline bool FramedAt(DialogRef d, short item, short outset) {
  Rect r;
  Get_Dialog_Item_Rect(d, item, &r);
  InsetRect(&r, SInt16(-outset), SInt16(-outset));
  const Rect edge{SInt16(r.top + 4), r.left, SInt16(r.bottom - 4), SInt16(r.left + 1)};
  return testsupport::DarkInkIn(GetDialogPort(d), edge, 0x70);
}

// A settings page alone: the settings window's frame (dialog 131) with the
// page's item list appended; null, and a failure of the test, when either
// is missing.
inline DialogRef PageDialog(SInt16 ditlID) {
  DialogRef d = GetNewDialog(131, nullptr, reinterpret_cast<WindowRef>(-1));
  Handle items = GetResource('DITL', ditlID);
  if (!d || !items) {
    ADD_FAILURE() << "no settings frame or no item list " << ditlID;
    if (d) DisposeDialog(d);
    return nullptr;
  }
  AppendDITL(d, items, overlayDITL);
  return d;
}

// The device settings window over five emulated boxes (models QSV-A, B, C,
// E and D, boxes 0 to 4) in administrator mode, driven by clicks and typing.
class SetupWindowTest : public ::testing::Test {
 protected:
  SetupWindowTest() : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()) {}
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LoadForLoopbackSearch(60));
    ASSERT_EQ(Install_Menu(), 1);
    gbAdminMode = 1;
    for (pboxemu::Model m : {pboxemu::Model::QSV_A, pboxemu::Model::QSV_B, pboxemu::Model::QSV_C, pboxemu::Model::QSV_E,
                             pboxemu::Model::QSV_D}) {
      pboxemu::BoxSpec s;
      s.model = m;
      emu.AddBox(s);
    }
    std::string err;
    ASSERT_TRUE(emu.Start(&err)) << err;
  }
  void TearDown() override {
    if (DialogRef d = Get_Open_Setup_Dialog()) Close_Setup_Dialog(d);
    emu.Stop();
    tb::UseVirtualClock(false);
    DeinitNetwork();
    tb::ResetResources();
  }

  DialogRef open(int n) {
    PBOXinfo b = BoxInfo(emu, n);
    EXPECT_EQ(Open_Setup_Window(&b), 1);
    return Get_Open_Setup_Dialog();
  }
  void pump(int passes = 40) {
    EventRecord e;
    for (int i = 0; i < passes; ++i)
      if (GetNextEvent(everyEvent, &e) && admin::Handle_Dialog_Event(&e) != 1) Handle_Window_Event(&e);
  }
  void click(short item) {
    tb::AdvanceClock(60);
    ASSERT_TRUE(tb::ClickDialogItem(Get_Open_Setup_Dialog(), item)) << "item " << item;
    pump();
  }
  // Selects the item's whole text and types the new one.
  void retype(short item, const std::string& text) {
    click(item);
    tb::PressKey('a', tb::KeyCodeForChar('a'), cmdKey);
    tb::TypeText(text);
    pump(40 + int(text.size()) * 3);
  }
  std::string text(short item) { return tb::DialogItemText(Get_Open_Setup_Dialog(), item); }

  testsupport::ScopedEnv ports_;
  pboxemu::Emulator emu;
};

}  // namespace admintest

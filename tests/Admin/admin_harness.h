// What the tests of the administration program share: where the built
// bundle is, the program loaded as its start-up loads it, emulated boxes as
// a search lists them, settings tables over a box's blocks, a settings page
// alone, the device settings window over four emulated boxes, and the
// program as it runs, with the check that its main window still answers.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/AdminMode.h"
#include "Admin/DeviceCommand.h"
#include "Admin/MainWindow.h"
#include "Admin/SearchConfig.h"
#include "Admin/SearchDialog.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupWindow.h"
#include "Admin/SmtpForm.h"
#include "common/AppGlobals.h"
#include "common/AppWindows.h"
#include "common/Context.h"
#include "OT/PBoxTable.h"
#include "pboxemu/emulator.h"
#include "pboxemu/settings.h"
#include "settle.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/files.h"
#include "toolbox/netconfig.h"
#include "toolbox/quickdraw.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox/textengine.h"
#include "toolbox/windows.h"

namespace admintest {

// The built bundle: under VEMO_BUILD_DIR, else under the working folder.
inline std::string Bundle() {
  const char* build = std::getenv("VEMO_BUILD_DIR");
  return std::string(build ? build : ".") + "/suite/VEMO-ADMIN.app";
}

// The program's resources and language file (the folder's name), the name
// checks, and settings that search the loopback broadcast over TCP/IP alone
// every pollSeconds; the network started and the virtual clock on. A fatal
// failure when the resources do not open.
inline void LoadForLoopbackSearch(SInt16 pollSeconds, const std::string& language = "English") {
  tb::ReloadNetConfig();
  tb::ResetResources();
  Appl_Rsrc_Fork_No = tb::OpenApplicationResources(Bundle() + "/Contents/Resources/VEMO-ADMIN.rsrc");
  ASSERT_GE(Appl_Rsrc_Fork_No, 0);
  std::strcpy(IniFileName, (Bundle() + "/Contents/Resources/" + language + "/Admin.ini").c_str());
  // The program runs in the language of its ini (and its text encoding).
  tb::SetSystemLanguage(language == "Japanese" ? "ja" : "en");
  ConfigData = CONFIGURATION{500, 1, pollSeconds, 0x7FFFFFFFu, 0, 1, 0, 0, "*"};
  EnvInfo = SETUPINFO{};
  EnvInfo.tcp_count = 1;
  std::strcpy(EnvInfo.broadcast[0], "127.255.255.255");
  Get_NameCheck_Info();
  InitNetwork();
  tb::UseVirtualClock(true);
}

// The program as if it stood in a suite of the test's own under home, so
// that what it writes beside its bundle (the broadcast list, the web page
// document) goes there; "" puts it back.
inline void PlaceProgramIn(const std::filesystem::path& home) {
  if (home.empty()) return tb::SetApplicationPath("");
  const std::filesystem::path exe = home / "suite/VEMO-ADMIN.app/Contents/MacOS/VEMO-ADMIN";
  testsupport::WriteFile(exe, "");
  tb::SetApplicationPath(exe.string());
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

// A box of NetWare alone (no TCP/IP, AppleTalk or NetBIOS switch): the
// NetWare settings of every model and an IPv4 address, with a print-server
// password, and two ports' queues.
inline pboxemu::SettingsBlocks NetWareBox() {
  pboxemu::SettingsBuilder b;
  b.String('X', 264, 9, "", "PASS");
  b.Ip(258, 0x7F000063, "IPAD");
  b.Ip(259, 0xFFFFFF00, "SUBM");
  b.Ip(260, 0x7F000001, "GATE");
  pboxemu::NetWareSettings(b);
  b.String('E', 4368, 48, "Q1", "QUEU");
  b.String('E', 4368 + 256, 48, "Q2", "QUEU");
  pboxemu::SettingsBlocks blocks = b.Build();
  PointTablesAt(blocks);
  char msg[kCtxMessageSize];
  EXPECT_EQ(context_set_varid(538, "old", msg, sizeof msg), 0) << msg;
  ClearTables();
  return blocks;
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

// The port's pixels in the rectangle, row by row.
inline std::vector<UInt32> PortPixels(CGrafPtr port, const Rect& r) {
  std::vector<UInt32> px;
  for (int v = r.top; v < r.bottom; ++v)
    for (int h = r.left; h < r.right; ++h) px.push_back(tb::PortPixel(port, h, v));
  return px;
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

// The program loaded for a loopback search in the language, with its
// menus, and emulated boxes on ports of the test's own.
class LoopbackProgramTest : public ::testing::Test {
 protected:
  explicit LoopbackProgramTest(std::string language = "English")
      : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()), language_(std::move(language)) {}
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LoadForLoopbackSearch(60, language_));
    ASSERT_EQ(Install_Menu(), 1);
  }

  testsupport::ScopedEnv ports_;
  std::string language_;
  pboxemu::Emulator emu;
};

// The device settings window over five emulated boxes (models QSV-A, B, C,
// E and D, boxes 0 to 4) in administrator mode, driven by clicks and typing.
class SetupWindowTest : public LoopbackProgramTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LoopbackProgramTest::SetUp());
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
};

// Ends what a test of the running program began: the main window, the
// boxes, the virtual clock, the network, the resources and the network
// settings as the test read them.
inline void EndProgram(pboxemu::Emulator& emu) {
  DeinitMain();
  emu.Stop();
  tb::UseVirtualClock(false);
  DeinitNetwork();
  tb::ResetResources();
  tb::ReloadNetConfig();
}

// The text of a cell of the main window's list.
inline std::string MainListCell(int row, int column) {
  Str255 s;
  SInt16 len = 255;
  CLGetCellOne(mainTbl.pservList, s, &len, Cell{SInt16(row), SInt16(column)});
  return std::string(reinterpret_cast<char*>(s + 1), s[0]);
}
// The main window's row of the box of that name, -1 when not listed.
inline int MainListRow(const std::string& name) {
  for (int r = 0; mainTbl.pservList && r < CLGetCount(mainTbl.pservList); ++r)
    if (MainListCell(r, 1) == name) return r;
  return -1;
}

// A click on tab `index` of a tab strip of the window, on its title's top
// row (a tab answers anywhere on it).
inline bool ClickTab(CTAB_DATA* tabs, WindowRef w, SInt16 index) {
  if (!tabs || !w || index < 0 || index >= CTGetCount(tabs)) return false;
  SInt16 h = tabs->tabRect.left;
  for (SInt16 i = tabs->visTabNo; i < index; ++i) h = SInt16(h + ctab::GetTab(tabs, i)->width);
  tb::AdvanceClock(GetDblTime() + 1);
  return tb::ClickInWindow(w, Point{SInt16(tabs->tabRect.top + 3), SInt16(h + ctab::GetTab(tabs, index)->width / 2)});
}
// The strip's tab titles, in order.
inline std::vector<std::string> TabTitles(CTAB_DATA* tabs) {
  std::vector<std::string> out;
  for (SInt16 t = 0; tabs && t < CTGetCount(tabs); ++t) {
    Str255 s;
    CTGetTitle(tabs, t, s);
    out.emplace_back(reinterpret_cast<char*>(s + 1), s[0]);
  }
  return out;
}
// The strip's tab of that title, -1 when it has none.
inline SInt16 TabIndex(CTAB_DATA* tabs, const std::string& title) {
  const std::vector<std::string> titles = TabTitles(tabs);
  for (std::size_t t = 0; t < titles.size(); ++t)
    if (titles[t] == title) return SInt16(t);
  return -1;
}

// The same for the settings window's strip.
inline bool ClickSetupTab(SInt16 index) {
  return ClickTab(gclData, Get_Open_Setup_Dialog() ? GetDialogWindow(Get_Open_Setup_Dialog()) : nullptr, index);
}
inline std::vector<std::string> SetupTabTitles() { return TabTitles(gclData); }
inline SInt16 SetupTabIndex(const std::string& title) { return TabIndex(gclData, title); }

// Script lines for the program run as its own process: its main window
// (titled so) still answers after a dialog closed. A click selects a row (the
// first, or the one given) and the settings command, which needs a selected
// box that answers on the command port, opens the settings window (Escape
// closes it again); a failing line ends the program with status 3. The
// script's end then quits by a key (Command-Q) for the main window's key.
inline std::string MainWindowAnswersLines(const std::string& mainTitle, int row = 0) {
  return "click-window \"" + mainTitle + "\" 200 " + std::to_string(69 + 18 * row) +
         "\nwait 5\nmenu 132 1\n"
         "wait-window \"Print Server Settings\" 10000\nkey Escape\nwait 5\n";
}
inline const char* kQuitByKeyLines = "key q cmd\nwait 5\nkey Return\n";

// ---- Keyboard walks ---------------------------------------------------------

// A field of a dialog walked by the keyboard.
struct WalkField {
  DialogItemIndex item;
  UInt16 var;             // the setting OK stores the text into; 0: the test says
  std::string typed;      // on the Tab pass, over the whole text; '\b' is Delete
  std::string over = "";  // on the Shift-Tab pass, over the whole text
  bool masked = false;
  std::string want = "";  // what the field holds at the end, where the keys do more than type
};

// The text a field holds after keys typed over its whole text (command
// keys, "^" and a letter, left out).
inline std::string TypedText(const std::string& keys) {
  std::string out;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == '^')
      ++i;
    else if (keys[i] != '\b')
      out += keys[i];
    else if (!out.empty())
      out.pop_back();
  }
  return out;
}
inline std::string FinalText(const WalkField& f) {
  return !f.want.empty() ? f.want : TypedText(f.over.empty() ? f.typed : f.over);
}
inline std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// Script lines typing the keys ('\b' a Delete, '^' and a letter that
// letter with Command).
inline std::string KeyLines(const std::string& text) {
  std::string out, run;
  auto flush = [&] {
    if (!run.empty()) out += "type " + run + "\n";
    run.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\b') {
      flush();
      out += "key Delete\n";
    } else if (text[i] == '^' && i + 1 < text.size()) {
      flush();
      out += std::string("key ") + text[++i] + " cmd\n";
    } else {
      run += text[i];
    }
  }
  flush();
  return out;
}

// The walk of a dialog's fields (given in Tab order from the one that has
// the keyboard, after a click on start when that is not 0): a round of Tab,
// then Tab again typing into each, then Shift-Tab typing `over` where given;
// each masked field is looked at every time the keyboard has left it.
// `resolve` turns a field's keys into what is typed. Needs the commands of
// AddDialogCheckCommands.
inline std::string WalkScript(const std::string& dialog, const std::vector<WalkField>& fields, DialogItemIndex start,
                              const std::function<std::string(const std::string&)>& resolve = nullptr) {
  const std::string t = Quoted(dialog);
  const std::size_t n = fields.size();
  std::string s;
  if (start) s += "click-item " + t + " " + std::to_string(start) + "\n";
  if (n == 0) return s + "key Tab\nkey Tab shift\n";  // a page of no fields takes them too
  const auto focus = [&](std::size_t i) { return "expect-focus " + t + " " + std::to_string(fields[i].item) + "\n"; };
  const auto left = [&](std::size_t i, const std::string& text) {
    return fields[i].masked ? "expect-masked " + t + " " + std::to_string(fields[i].item) + " " +
                                  std::to_string(TypedText(text).size()) + "\n"
                            : std::string();
  };
  s += focus(0);
  for (std::size_t i = 1; i <= n; ++i) s += "key Tab\n" + focus(i % n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string typed = resolve ? resolve(fields[i].typed) : fields[i].typed;
    s += KeyLines(typed) + "key Tab\n" + left(i, typed) + focus((i + 1) % n);
  }
  for (std::size_t k = 1; k <= n; ++k) {
    const std::size_t i = n - k;
    s += "key Tab shift\n" + focus(i);
    if (!fields[i].over.empty()) s += KeyLines(fields[i].over);
    // The stars stay as they are while the field has the keyboard.
    if (fields[i].masked) s += "key Tab\n" + left(i, FinalText(fields[i])) + "key Tab shift\n";
  }
  return s;
}

namespace detail {
inline UInt64 gWait = 0;
inline DialogRef dialogOf(const std::string& title, std::string* e) {
  DialogRef d = tb::FindDialogByTitle(title);
  if (!d) *e = "no dialog \"" + title + "\"";
  return d;
}
// The item that has the keyboard: that of the focused text-engine field
// where the dialog has such fields, else the edit item's.
inline DialogItemIndex focusItem(DialogRef d) {
  TXNObject o = tb::TXNFocusedObject(GetDialogWindow(d));
  if (!o) return GetDialogKeyboardFocusItem(d);
  Rect view, r;
  TXNGetViewRect(o, &view);
  for (DialogItemIndex i = 1; i <= CountDITL(d); ++i) {
    Get_Dialog_Item_Rect(d, i, &r);
    if (r.top <= view.top && r.left <= view.left && view.bottom <= r.bottom && view.right <= r.right) return i;
  }
  return 0;
}
// The item's pixels in its dialog's port, inside its frame.
inline std::vector<UInt32> fieldPixels(DialogRef d, DialogItemIndex item) {
  Rect r;
  Get_Dialog_Item_Rect(d, item, &r);
  return PortPixels(GetDialogPort(d), r);
}
// For a script command that waits: true (try again) until ten real seconds
// have passed since its first try; then false, the deadline cleared.
inline bool stillWaiting(UInt64& until) {
  if (!until) until = tb::MonotonicMicros() + 10000000;
  if (tb::MonotonicMicros() < until) return true;
  until = 0;
  return false;
}
}  // namespace detail

// The script commands a keyboard walk checks with (a failed check is a
// failure of the test; the script goes on):
//   wait-alert                    waits until an alert is the front window
//   expect-focus TITLE ITEM       the dialog's keyboard focus is on the item
//   expect-masked TITLE ITEM N    the field shows N asterisks and nothing else, to the pixel
inline void AddDialogCheckCommands() {
  using W = const std::vector<std::string>&;
  using R = tb::ScriptResult;
  using detail::dialogOf;
  using detail::fieldPixels;
  using detail::focusItem;
  using detail::gWait;
  tb::RegisterScriptCommand("wait-alert", [](W, std::string* e) {
    WindowRef front = FrontWindow();
    DialogRef d = front ? GetDialogFromWindow(front) : nullptr;
    if (d && d != Get_Open_Main_Dialog() && d != Get_Open_Setup_Dialog() && CountDITL(d) == 4) {
      gWait = 0;
      return R::kDone;
    }
    if (detail::stillWaiting(gWait)) return R::kAgain;
    Str255 title = {0};
    if (front) GetWTitle(front, title);
    return *e = "no alert came; in front: \"" + std::string(reinterpret_cast<char*>(title + 1), title[0]) + "\"",
           R::kFailed;
  });
  tb::RegisterScriptCommand("expect-focus", [](W w, std::string* e) {
    DialogRef d = w.size() == 3 ? dialogOf(w[1], e) : nullptr;
    if (!d) return R::kFailed;
    EXPECT_EQ(focusItem(d), std::stoi(w[2])) << "the keyboard in \"" << w[1] << "\"";
    return R::kDone;
  });
  tb::RegisterScriptCommand("expect-masked", [](W w, std::string* e) {
    DialogRef d = w.size() == 4 ? dialogOf(w[1], e) : nullptr;
    if (!d) return R::kFailed;
    const DialogItemIndex item = DialogItemIndex(std::stoi(w[2]));
    const std::string stars(std::size_t(std::stoi(w[3])), '*');
    const std::string shown = tb::DialogItemText(d, item);
    EXPECT_EQ(shown, stars) << "item " << item << " of \"" << w[1] << "\"";
    // What the field shows, to the pixel, is what the stars alone show
    // (looked at without the blinking caret).
    TEHandle te = GetDialogKeyboardFocusItem(d) == item ? GetDialogTextEditHandle(d) : nullptr;
    if (te) TEDeactivate(te);
    const std::vector<UInt32> before = fieldPixels(d, item);
    Set_Item_Text(d, item, stars.c_str());
    EXPECT_TRUE(fieldPixels(d, item) == before)
        << "item " << item << " of \"" << w[1] << "\" shows more than " << stars.size() << " asterisks";
    if (te) TEActivate(te);
    return R::kDone;
  });
}

// The program as it runs: its main window lists the emulated boxes its own
// search found, and every input reaches it through its own event loop
// (Handle_One_Event). The input is a toolbox script, so that checks can run
// at any point of it, inside modal dialogs too; the script language gains:
// those of AddDialogCheckCommands and
//   click-box NAME                a click on the list row of that box (waits for the row)
//   tab TITLE                     a click on the tab of the search settings or the settings window
//   call NAME                     runs the test's check of that name until it returns true
class AdminProgramTest : public LoopbackProgramTest {
 protected:
  using LoopbackProgramTest::LoopbackProgramTest;
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LoopbackProgramTest::SetUp());
    // Administrator mode, from the mode file the installer would write.
    Str255 modeName;
    GetIndString(modeName, kStrFileNames, 2);
    Set_Administrator(modeName, kAdminCreator, true);
    addCommands();
  }
  void TearDown() override {
    if (DialogRef d = Get_Open_Setup_Dialog()) Close_Setup_Dialog(d);
    if (DialogRef d = Get_Open_Config_Dialog()) Close_Config_Dialog(d);
    Terminate_MLTE_Item();
    EndProgram(emu);
  }

  // Starts the boxes and the main window; returns once every box is listed.
  void start(const std::vector<pboxemu::BoxSpec>& boxes) {
    for (const pboxemu::BoxSpec& b : boxes) {
      emu.AddBox(b);
      names_.push_back(b.name);
    }
    std::string err;
    ASSERT_TRUE(emu.Start(&err)) << err;
    ASSERT_EQ(Open_Main_Window(), 1);
    Init_MLTE_Item();
    ASSERT_TRUE(runUntil([&] { return Listed() == int(boxes.size()); })) << "the boxes were not all listed";
  }

  // Runs the program's loop until the script has run out and the network is
  // quiet.
  void run(const std::string& script) {
    if (std::getenv("ADMIN_TEST_SHOW_SCRIPT")) std::fprintf(stderr, "%s", script.c_str());
    tb::LoadScriptText(script);
    // Only a guard against a script that never ends: a long walk on a
    // loaded machine runs for minutes, so the bound stays just inside
    // CTest's own limit of 300 s.
    ASSERT_TRUE(runUntil([] { return !tb::ScriptRunning(); }, 280000)) << "the script did not end";
    for (int i = 0; i < 20; ++i) Handle_One_Event(&Event_Rec);
  }

  // The check every test runs after a dialog: the main window still takes
  // a click (another box becomes the selected one), a menu command and a
  // key (each a new search that reaches the boxes).
  void ExpectMainWindowAnswers() {
    ASSERT_FALSE(names_.empty());
    PBOXinfo* selected = Get_PBOX_Select_Data();
    std::string other = names_.front();
    for (const std::string& n : names_)
      if (!selected || n != boxName(*selected)) other = n;
    UInt64 probes = 0;
    checks_["alive-selected"] = [this, other] {
      PBOXinfo* now = Get_PBOX_Select_Data();
      EXPECT_TRUE(now && boxName(*now) == other) << "a click on the list no longer selects";
      return true;
    };
    checks_["alive-mark"] = [this, &probes] {
      probes = allProbes();
      return true;
    };
    checks_["alive-searched"] = [this, &probes] { return allProbes() > probes; };
    run("click-box \"" + other +
        "\"\ncall alive-selected\n"
        "call alive-mark\nmenu 129 1\ncall alive-searched\n"
        "call alive-mark\nkey r cmd\ncall alive-searched\n");
    EXPECT_EQ(Get_Open_Setup_Dialog(), nullptr);
  }

  int Listed() { return mainTbl.pservList ? CLGetCount(mainTbl.pservList) : 0; }
  int BoxIndex(const std::string& name) {
    for (std::size_t i = 0; i < names_.size(); ++i)
      if (names_[i] == name) return int(i);
    return -1;
  }

  // Time moves on whenever the boxes have answered all they were sent.
  ottest::LoopTicker clock_ = ottest::SettledClock(emu);
  // Checks the script's "call" runs: true when done, false to be asked again
  // at the next pass (for at most ten real seconds).
  std::map<std::string, std::function<bool()>> checks_;

 private:
  bool runUntil(const std::function<bool()>& done, int realMs = 20000) {
    const UInt64 end = tb::MonotonicMicros() + UInt64(realMs) * 1000;
    while (!done()) {
      if (tb::MonotonicMicros() > end) return false;
      Handle_One_Event(&Event_Rec);
    }
    return true;
  }
  static std::string boxName(const PBOXinfo& b) {
    return std::string(reinterpret_cast<const char*>(b.pbi_machine_name),
                       strnlen(reinterpret_cast<const char*>(b.pbi_machine_name), 32));
  }
  UInt64 allProbes() {
    emu.Settle(1000);
    UInt64 n = 0;
    for (int i = 0; i < emu.BoxCount(); ++i) n += UInt64(emu.Probes(i));
    return n;
  }
  void addCommands() {
    AddDialogCheckCommands();
    using W = const std::vector<std::string>&;
    using R = tb::ScriptResult;
    tb::RegisterScriptCommand("click-box", [this](W w, std::string* e) {
      if (w.size() != 2) return *e = "usage: click-box NAME", R::kFailed;
      const int row = MainListRow(w[1]);
      if (row < 0) return detail::stillWaiting(wait_) ? R::kAgain : (*e = "no row " + w[1], R::kFailed);
      wait_ = 0;
      Rect list;
      CLGetRect(mainTbl.pservList, &list, false, false, false);
      const SInt16 v =
          SInt16(list.top + row * CLGetCellHeight(mainTbl.pservList) + CLGetCellHeight(mainTbl.pservList) / 2);
      tb::AdvanceClock(GetDblTime() + 1);
      tb::ClickInWindow(GetDialogWindow(Get_Open_Main_Dialog()), Point{v, SInt16(list.left + 30)});
      return R::kDone;
    });
    tb::RegisterScriptCommand("tab", [](W w, std::string* e) {
      // The search settings' strip while they are open, else the settings window's.
      DialogRef search = Get_Open_Config_Dialog();
      CTAB_DATA* tabs = search ? configTbl.tabData : gclData;
      WindowRef in = search                    ? GetDialogWindow(search)
                     : Get_Open_Setup_Dialog() ? GetDialogWindow(Get_Open_Setup_Dialog())
                                               : nullptr;
      if (w.size() != 2 || !ClickTab(tabs, in, TabIndex(tabs, w[1])))
        return *e = "no tab " + (w.size() > 1 ? w[1] : ""), R::kFailed;
      return R::kDone;
    });
    tb::RegisterScriptCommand("call", [this](W w, std::string* e) {
      auto it = w.size() == 2 ? checks_.find(w[1]) : checks_.end();
      if (it == checks_.end()) return *e = "no check " + (w.size() > 1 ? w[1] : ""), R::kFailed;
      if (it->second()) {
        wait_ = 0;
        return R::kDone;
      }
      if (detail::stillWaiting(wait_)) return R::kAgain;
      ADD_FAILURE() << "check " << w[1] << " never held";
      return R::kDone;
    });
  }

  std::vector<std::string> names_;
  UInt64 wait_ = 0;
};

}  // namespace admintest

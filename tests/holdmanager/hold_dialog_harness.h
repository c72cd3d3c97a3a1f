// The held-job dialogs against the emulated box: the dialogs' resources,
// the host record a main window fills, a view that shows the engine's
// messages in the message dialog, and a loop that runs the Carbon events,
// the sub-dialog idle hook and the engine together.
#pragma once

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "FanctionLib/CTab.h"
#include "hold_harness.h"
#include "holdmanager/HoldConfigDlg.h"
#include "holdmanager/HoldDialogs.h"
#include "toolbox/carbonevents.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/menus.h"
#include "toolbox/navigation.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox/windows.h"

namespace holdtest {

class DialogView : public RecordingView {
 public:
  void ShowMessage(const std::string& title, const std::string& text, bool yesNo, UInt16 command) override {
    RecordingView::ShowMessage(title, text, yesNo, command);
    OpenMsgDlg(title.c_str(), text.c_str(), yesNo ? 6 : 1, nullptr, 0, 0, 0);
  }
  bool InfoDialogFetching() override { return InfoDialogOpen(); }
  bool ConfigDialogOpen() override { return configOpen && configOpen(); }
  void ConfigFoldersChanged() override {
    if (foldersChanged) foldersChanged();
  }
  std::function<bool()> configOpen;
  std::function<void()> foldersChanged;
};

class HoldDialogTest : public HoldTest {
 protected:
  void SetUp() override {
    HoldTest::SetUp();
    HoldEngineInit(&e_, &dview_, e_.strIni);
    tb::ResetEventState();
    tb::ResetCarbonEvents();
    tb::ResetResources();
    ASSERT_GE(tb::OpenApplicationResources(HOLD_DIALOGS_RSRC), 0);
    InitConfig();
    HoldConfigDefaults(&config_, 1024, 768, 20);
    gHoldHost = HOLD_DLG_HOST{};
    gHoldHost.engine = &e_;
    gHoldHost.config = &config_;
    gHoldHost.strIni = e_.strIni;
    gHoldHost.heldSelection = [this] { return held_; };
    gHoldHost.firstFileJob = [this](JOB_ENTRY* j) {
      if (held_.empty()) return false;
      *j = held_.front();
      return true;
    };
    gHoldHost.reduceHeldSelection = [this] { held_.resize(1); };
    gHoldHost.showDetails = [this](const JOB_INFO& i) { details_.push_back(i); };
  }
  void TearDown() override {
    while (FrontSubDlg()) CloseSubDlg(FrontSubDlg(), FrontSubDlg()->id);
    tb::ClearChooserAnswers();
    tb::ResetCarbonEvents();
    tb::DisposeAllWindows();
    tb::ResetEventState();
    tb::ResetResources();
    gHoldHost = HOLD_DLG_HOST{};
    HoldTest::TearDown();
  }

  // The box started and listed, so the engine holds its folders and jobs.
  void StartListedBox() {
    StartBox();
    StartCommand(&e_, CMD_REFRESH, false);
    ASSERT_TRUE(RunIdle());
  }
  JOB_ENTRY Listed(UInt32 id) {
    for (int i = 0; auto* j = static_cast<JOB_ENTRY*>(GetPtrList(e_.holdJobs, i)); ++i)
      if (((UInt32(j->jobId[2]) << 8) | j->jobId[3]) == (id & 0xFFFF)) return *j;
    ADD_FAILURE() << "job " << id << " not listed";
    return JOB_ENTRY{};
  }

  // Every queued event taken by the Carbon loop, then one idle step of the
  // front sub-dialog and of the engine.
  static void Pass() {
    tb::SetIdleEventSource(+[] {
      QuitApplicationEventLoop();
      return false;
    });
    RunApplicationEventLoop();
    tb::SetIdleEventSource(nullptr);
  }
  bool RunUi(const std::function<bool()>& done, int ms = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      Pass();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      IdleSubDlg();
      CommandPendingLoop(&e_);
      tb::Pump(1);
      // Waits between a command's requests run on the virtual clock.
      tb::AdvanceTicks(1);
    }
  }
  bool RunUiIdle() {
    return RunUi([&] { return e_.current == 0 && e_.progress == nullptr; });
  }

  // Keys into the focused field: Command-A, then the text.
  void Retype(const std::string& text) {
    tb::PressKey('a', tb::KeyCodeForChar('a'), cmdKey);
    if (text.empty())
      tb::PressNamedKey("Delete");
    else
      tb::TypeText(text);
    Pass();
  }
  void Click(short item) {
    ASSERT_TRUE(FrontSubDlg());
    ASSERT_TRUE(tb::ClickDialogItem(FrontSubDlg()->dialog, item));
    Pass();
  }
  // The message dialog's text, "" when none is in front.
  std::string MessageText() {
    SUB_DLG* d = FrontSubDlg();
    return d && d->id == kMsgDlgID ? tb::DialogItemText(d->dialog, 2) : std::string();
  }
  std::string FieldText(short item) { return SubFieldText(SubDlgField(FrontSubDlg(), item)); }

  std::string LastStatus() { return dview_.statuses.empty() ? "" : dview_.statuses.back(); }

  DialogView dview_;
  HOLD_CONFIG config_{};
  std::vector<JOB_ENTRY> held_;
  std::vector<JOB_INFO> details_;
};

// The dialogs with the configuration dialog's folder list kept current, as
// the main window keeps it, and its page and field helpers.
class HoldConfigTest : public HoldDialogTest {
 protected:
  void SetUp() override {
    HoldDialogTest::SetUp();
    dview_.configOpen = [] { return ConfigDialog() != nullptr; };
    dview_.foldersChanged = [this] { UpdateFolderListCfgDlg(ConfigDialog(), e_.folders, 1); };
  }
  void Focus(short item) { SubFieldFocus(ConfigDialog(), item, true); }
  void Type(short item, const std::string& text) {
    Focus(item);
    Retype(text);
  }
  // OK, Apply or a tab: the message it gave ("" for none), dismissed.
  std::string Press(short item) {
    Click(item);
    std::string m = MessageText();
    if (!m.empty()) Click(4);
    return m;
  }
  void ClickTab(int tab) {
    DialogRef d = ConfigDialog()->dialog;
    Rect r;
    DialogItemType kind;
    Handle h;
    GetDialogItem(d, 1, &kind, &h, &r);
    for (short x = short(r.left + 2); x < r.right; x += 4) {
      Point local{short(r.top + 15), x};
      tb::ClickInWindow(GetDialogWindow(d), local);
      Pass();
      if (CfgDlgPage(ConfigDialog()) == tab || !MessageText().empty()) return;
    }
  }
  std::vector<std::string> Addresses() {
    std::vector<std::string> out;
    for (UInt16 i = 1; i < config_.usAddrCount; ++i) {
      UInt32 a = config_.ulAddr[i];
      out.push_back(std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
                    std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF));
    }
    return out;
  }
};

// The pixels of the rectangle that differ from the dialog's background
// (its pixel at 5,5, beyond every item): 0 when nothing is drawn there.
inline int MarkedPixels(CGrafPtr port, const Rect& r) {
  const UInt32 back = tb::PortPixel(port, 5, 5);
  int marked = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) marked += tb::PortPixel(port, x, y) != back;
  return marked;
}

// The value of a request record (tag) as bytes, empty when absent.
inline std::vector<UInt8> RequestValue(const std::vector<UInt8>& frame, UInt16 tag) {
  for (std::size_t p = 3; p + 4 <= frame.size();) {
    UInt16 t = UInt16(frame[p] << 8 | frame[p + 1]), n = UInt16(frame[p + 2] << 8 | frame[p + 3]);
    if (p + 4 + n > frame.size()) break;
    if (t == tag) return std::vector<UInt8>(frame.begin() + long(p + 4), frame.begin() + long(p + 4 + n));
    p += 4 + n;
  }
  return {};
}

}  // namespace holdtest

// Set-up shared by the held-job engine tests: one emulated box with hold
// folders and jobs on private ports, the virtual clock, and a recording
// stand-in for the window.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "FanctionLib/CTab.h"
#include "holdmanager/HoldEngine.h"
#include "holdmanager/HoldProgress.h"
#include "holdmanager/LPR.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"

namespace holdtest {

struct Message {
  std::string title, text;
  bool yesNo;
  UInt16 command;
};

// What the engine gave the progress dialog to show.
struct ProgressText {
  UInt16 command;
  std::string info, transfer;
  int percent;
};

class RecordingView : public HoldView {
 public:
  int tab = 1;
  int popupValue = 1;
  bool preview = false;
  JOB_ENTRY selected{};
  bool haveSelection = false;
  std::vector<std::string> statuses;
  std::vector<Message> messages;
  std::vector<std::vector<std::string>> popups;
  int progressOpened = 0, progressClosed = 0, tabChanges = 0;
  std::vector<std::string> removedFiles;  // names, in the order they left the list
  std::vector<JOB_INFO> infos;
  std::vector<ProgressText> progress;
  UInt16 progressCommand = 0;

  int CurrentTab() override { return tab; }
  void SetStatus(const std::string& text) override { statuses.push_back(text); }
  void ShowMessage(const std::string& title, const std::string& text, bool yesNo, UInt16 command) override {
    messages.push_back({title, text, yesNo, command});
  }
  void FillFolderPopup(int, const std::vector<std::string>& names, int) override { popups.push_back(names); }
  bool SelectedJob(JOB_ENTRY* job) override {
    if (haveSelection) *job = selected;
    return haveSelection;
  }
  bool PreviewOn() override { return preview; }
  int FolderPopupValue(int) override { return popupValue; }
  void ShowJobInfo(const JOB_INFO& info) override { infos.push_back(info); }
  void OpenProgress(UInt16 command) override {
    progressOpened++;
    progressCommand = command;
  }
  void ProgressTexts(const std::string& info, const std::string& transfer, int percent) override {
    progress.push_back({progressCommand, info, transfer, percent});
  }
  void CloseProgress() override { progressClosed++; }
  void DoPendingTabChange() override { tabChanges++; }
  void RemoveLocalFile(const FSSpec& file) override { removedFiles.push_back(pstr::str(file.name)); }
};

// The file specifications of paths, in their order.
inline std::vector<FSSpec> Specs(const std::vector<std::string>& paths) {
  std::vector<FSSpec> out;
  for (const std::string& p : paths) {
    FSSpec fss{};
    EXPECT_EQ(tb::PathToSpec(p, &fss), noErr) << p;
    out.push_back(fss);
  }
  return out;
}

// What of a tab control's page frame lies inside the border its pictures
// draw: where the page's items must stay to be seen whole.
inline Rect FrameInside(const CTAB_DATA* tab) {
  const Rect& f = *tab->frameRect;
  return Rect{SInt16(f.top + 9), SInt16(f.left + 9), SInt16(f.bottom - 9), SInt16(f.right - 10)};
}
inline bool Within(const Rect& r, const Rect& area) {
  return r.left >= area.left && r.top >= area.top && r.right <= area.right && r.bottom <= area.bottom;
}

inline std::string PStr(const UInt8* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

inline void SetPStr(UInt8* p, const std::string& s) {
  p[0] = UInt8(s.size());
  std::memcpy(p + 1, s.data(), s.size());
}

class HoldTest : public ::testing::Test {
 protected:
  HoldTest()
      : ports_("TOOLBOX_PORTMAP", (pboxemu::PrivatePortMap() + "," + pboxemu::HoldPortMap()).c_str()),
        cache_("XDG_CACHE_HOME", dir_.path().string().c_str()) {
    tb::ReloadNetConfig();
  }
  ~HoldTest() override { tb::ReloadNetConfig(); }

  void SetUp() override {
    ASSERT_EQ(OT_Init(), kOTNoError);
    tb::UseVirtualClock(true);
    std::string ini = std::string(std::getenv("VEMO_BUILD_DIR") ? std::getenv("VEMO_BUILD_DIR") : ".") +
                      "/resources/VemoHoldManager/English/Hmgstr.ini";
    HoldEngineInit(&e_, &view_, ini);
    gLocalPort = kLPRFirstLocalPort;
  }

  void TearDown() override {
    HoldEngineDispose(&e_);
    OT_Deinit();
    EXPECT_EQ(tb::OTOpenProviderCount(), 0);
    tb::UseVirtualClock(false);
    emu_.Stop();
  }

  // Starts a box with three folders (names out of order) and jobs in them.
  void StartBox(bool newer = false) {
    emu_.AddBox();
    auto& h = emu_.Hold();
    h.Enable();
    h.SetNewer(0, newer);
    h.AddFolder(0, {3, "3_Sales", 0, 0});
    h.AddFolder(0, {1, "1_Design", 1, 2});
    // A Japanese client's folder: its name in that language's encoding.
    h.AddFolder(0, {2, "2_\x8A\xC7\x97\x9D\x95\x94", 0, 0, 18});
    pboxemu::HeldJob a;
    a.folder = 1;
    a.name = "report.2024.txt";
    a.owner = "alice";
    a.size = 1536;
    a.pages = 3;
    jobA_ = h.AddJob(0, a);
    pboxemu::HeldJob b;
    b.folder = 2;
    b.name = "見積書.pdf";
    b.owner = "山田";
    b.size = 2 << 20;
    jobB_ = h.AddJob(0, b);
    pboxemu::HeldJob c;
    c.folder = 1;
    c.name = "plan";
    c.owner = "bob";
    c.pages = 0;
    c.size = 10;
    jobC_ = h.AddJob(0, c);
    std::string err;
    ASSERT_TRUE(emu_.Start(&err)) << err;
    e_.boxAddr = emu_.BoxAddress(0);
    auto mac = emu_.BoxMac(0);
    std::memcpy(e_.boxMac, mac.data(), 6);
    e_.newerDevice = newer;
  }

  // Runs the engine until done() or ms of real time.
  bool Run(const std::function<bool()>& done, int ms = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      CommandPendingLoop(&e_);
      tb::Pump(1);
    }
    return true;
  }
  bool RunIdle(int ms = 10000) {
    return Run([&] { return e_.current == 0; }, ms);
  }

  // The request codes the box received, in order.
  std::vector<int> Codes() {
    std::vector<int> out;
    for (auto& r : emu_.Hold().Requests(0)) out.push_back(r.size() > 2 ? r[2] : -1);
    return out;
  }

  std::vector<std::string> JobNames(PtrListHead list) {
    std::vector<std::string> out;
    for (int i = 0; auto* j = static_cast<JOB_ENTRY*>(GetPtrList(list, i)); ++i) out.push_back(PStr(j->name));
    return out;
  }

  JOB_ENTRY JobEntry(UInt32 id, UInt32 folder, const std::string& name = "") {
    JOB_ENTRY j{};
    j.jobId[0] = UInt8(id >> 24), j.jobId[1] = UInt8(id >> 16), j.jobId[2] = UInt8(id >> 8), j.jobId[3] = UInt8(id);
    j.folderId[3] = UInt8(folder);
    SetPStr(j.name, name);
    return j;
  }

  std::string LastStatus() { return view_.statuses.empty() ? "" : view_.statuses.back(); }

  testsupport::TempDir dir_;
  testsupport::ScopedEnv ports_;
  testsupport::ScopedEnv cache_;
  pboxemu::Emulator emu_;
  RecordingView view_;
  HOLD_ENGINE e_;
  UInt32 jobA_ = 0, jobB_ = 0, jobC_ = 0;
};

}  // namespace holdtest

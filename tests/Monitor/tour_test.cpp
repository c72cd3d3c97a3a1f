// Every window of the monitor as a person meets it, in English and in
// Japanese: a tour opens each window, dialog, tab page and alert the
// program has, and the tests look at each stop. Here: every text the
// program asks of its language files is in both languages' files.
#include <regex>
#include <set>

#include "dialogs_harness.h"
#include "Monitor/DetailsDialog.h"
#include "Monitor/FtpPage.h"
#include "Monitor/SearchSetup.h"
#include "toolbox/trace.h"

namespace montest {
namespace {

using Stop = std::function<void(const std::string& name, WindowRef window)>;

// The visitor of the stop a script line reaches inside a modal loop.
Stop* gStop = nullptr;

class Tour : public MonitorDialogs, public testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    MonitorDialogs::SetUp();
    InsertMenu(GetMenu(kAppleMenuID), 0);
    // "tour-stop NAME": the front window is a stop (a modal alert or the
    // about box, which run their own loop).
    tb::RegisterScriptCommand("tour-stop", [](const std::vector<std::string>& w, std::string* e) {
      if (w.size() != 2 || !gStop) {
        *e = "usage: tour-stop NAME";
        return tb::ScriptResult::kFailed;
      }
      (*gStop)(w[1], FrontWindow());
      return tb::ScriptResult::kDone;
    });
  }
  void TearDown() override {
    gStop = nullptr;
    MonitorDialogs::TearDown();
  }

  void UseLanguage(const std::string& language) {
    for (auto [name, file] : {std::pair{IniFileName, "Popmon.ini"}, std::pair{MonFileName, "Monitor.ini"}})
      std::snprintf(name, kAppFileNameSize, "%s", (Bundle() + "/Contents/Resources/" + language + "/" + file).c_str());
  }

  // Runs what with the modal it raises visited as a stop, then answered
  // with the key.
  void Modal(const std::string& name, const std::function<void()>& what, const char* key = "Return") {
    tb::LoadScriptText("wait 3\ntour-stop \"" + name + "\"\nkey " + key + "\n");
    what();
    for (int n = 0; n < 5; ++n) Pass();
  }
  void Choose(std::initializer_list<const char*> names) {
    std::vector<std::string> paths;
    for (const char* name : names) {
      testsupport::WriteFile(dir_.path() / "out" / name, name);
      paths.push_back((dir_.path() / "out" / name).string());
    }
    tb::AnswerNextChooser(paths);
    Click(win->dlg, kFtpSelect);
  }
  SEND_WND_INFO* Sending() {
    for (SEND_WND_INFO& s : SendTbl)
      if (s.using_ && s.ownerDlg == win->dlg) return &s;
    return nullptr;
  }
  // The outcome alert of a send that ended, visited and closed.
  void Outcome(const std::string& name, const Stop& at) {
    ASSERT_TRUE(RunUntil([&] { return !Sending() && OpenMovableDlg; }, 30000)) << name;
    at(name, GetDialogWindow(OpenMovableDlg));
    Click(OpenMovableDlg, 1);
  }

  // Every stop of the tour, each once.
  void Visit(const Stop& at) {
    gStop = const_cast<Stop*>(&at);
    tb::SetGestalt(gestaltSystemVersion, 0x1050);  // the AppleTalk page too
    StartBoxes(1, true);
    win = OpenWindow(0);
    ASSERT_NE(win, nullptr);
    ASSERT_TRUE(RunUntil([&] { return win->powerCheck != 0; }));
    const WindowRef status = GetDialogWindow(win->dlg);
    const std::string page[3] = {"status window, Status page", "status window, Information page",
                                 "status window, FTP page"};
    for (SInt16 i : {0, 1, 2}) {
      ClickTabOf(win->tabData, win->dlg, i, 19);
      at(page[i], status);
    }

    // The FTP page before, during and after a send.
    Choose({"one.prn", "two.prn"});
    at(page[2] + ", files chosen", status);
    pboxemu::FtpFaultSpec stall;
    stall.mode = pboxemu::FtpFault::NoDial;
    stall.command = "STOR";
    emu.Ftp().SetFault(0, stall);
    Modal("the send confirmation", [&] { Click(win->dlg, kFtpSend); });
    ASSERT_TRUE(RunUntil([&] { return Sending() && Sending()->dataConnect; }));
    at("Sending Files", GetDialogWindow(Sending()->dlg));
    at(page[2] + ", sending", status);
    Click(Sending()->dlg, 1);
    Outcome("the alert of a cancelled send", at);
    tb::UseVirtualClock(true);
    Modal("the send confirmation", [&] { Click(win->dlg, kFtpSend); });
    ASSERT_TRUE(RunUntil([&] { return Sending() && Sending()->dataConnect; }));
    tb::AdvanceTicks(kFTPStallTicks + 60);
    Outcome("the alert of a failed send", at);
    tb::UseVirtualClock(false);
    emu.Ftp().ClearFaults();
    Modal("the send confirmation", [&] { Click(win->dlg, kFtpSend); });
    Outcome("the alert of a finished send", at);
    at(page[2] + ", files sent", status);

    ClickTabOf(win->tabData, win->dlg, 0, 19);
    Click(win->dlg, 30);
    at("Consumables", GetDialogWindow(win->sumData.dlg));
    Click(win->sumData.dlg, 1);

    CONFIG_WND_INFO* c = OpenOptions(win);
    ASSERT_TRUE(WaitForRows(c, 1));
    at("Options", GetDialogWindow(c->dlg));
    Click(c->dlg, kOptSetup);
    BROADCAST_WND_INFO* b = Get_Broadcast_Info(OpenMovableDlg);
    ASSERT_NE(b, nullptr);
    at("Search Settings, TCP/IP page", GetDialogWindow(b->dlg));
    for (const char* typed : {"1..2.3.4", "10.1.1.1", "10.1.1.1"}) {
      mondlg::SetItemText(b->dlg, 4, typed);
      if (typed[1] == '.' || mondlg::RowText(b->broadCList, 0) == typed)
        Modal(std::string("the address alert for ") + typed, [&] { Click(b->dlg, 6); });
      else
        Click(b->dlg, 6);
    }
    ClickTabOf(b->confTab, b->dlg, 1);
    at("Search Settings, AppleTalk page", GetDialogWindow(b->dlg));
    Click(b->dlg, 2);
    MonitorDialogs::Choose(c, "Office A");
    Click(c->dlg, kOptDetails);
    DETAILS_WND_INFO* d = Get_Details_Info(OpenMovableDlg);
    ASSERT_NE(d, nullptr);
    at("Details, Event page", GetDialogWindow(d->dlg));
    ClickTabOf(d->confTab, d->dlg, 1);
    at("Details, Other page", GetDialogWindow(d->dlg));
    mondlg::SetItemText(d->dlg, 5, "1");
    Modal("the interval alert", [&] { Click(d->dlg, 1); });
    Click(d->dlg, 2);
    Click(c->dlg, kConfigCancel);

    emu.SetPrinterState(0, pboxemu::PrinterState::Lost);
    tb::UseVirtualClock(true);
    for (int i = 0; i < 20 && win->monitorOpen != 1; ++i) {
      tb::AdvanceTicks(UInt32(win->configData.statUpdate) * 300 / 1000 + 1);
      RunUntil([&] { return win->monitorOpen == 1; }, 200);
    }
    ASSERT_EQ(win->monitorOpen, 1);
    for (SInt16 i : {0, 1}) {
      ClickTabOf(win->tabData, win->dlg, i, 19);
      at(page[i] + ", printer lost", status);
    }
    Modal("About", [&] { ASSERT_TRUE(tb::ChooseMenuItem(kAppleMenuID, 1)); });
  }

  STATUS_WND_INFO* win = nullptr;
};

// The texts the tour asked for and found nowhere, as the "ini" trace names
// them: "[SECTION]KEY= of the file".
std::set<std::string> MissingTexts(const std::string& trace) {
  static const std::regex kLine(R"(\[ini\] missing (\[[A-Z0-9_]+\][A-Za-z0-9_]+=) in .*/(\w+\.ini)\n)");
  std::set<std::string> out;
  for (std::sregex_iterator it(trace.begin(), trace.end(), kLine), end; it != end; ++it)
    out.insert((*it)[1].str() + " of " + (*it)[2].str());
  return out;
}

TEST_P(Tour, EveryTextAskedForIsInTheLanguagesFiles) {
  testsupport::ScopedEnv trace("TOOLBOX_TRACE", "ini");
  tb::ReloadTraceChannels();
  const std::string language = GetParam();
  UseLanguage(language);
  std::set<std::string> stops;
  testing::internal::CaptureStderr();
  Visit([&](const std::string& name, WindowRef) { stops.insert(name); });
  const std::string got = testing::internal::GetCapturedStderr();
  tb::ReloadTraceChannels();
  EXPECT_EQ(stops.size(), 23u);
  // Lists read up to their first missing key end there by design.
  std::set<std::string> missing = MissingTexts(got);
  std::erase_if(missing, [](const std::string& k) { return k.rfind("[COMBO]COM", 0) == 0; });
  EXPECT_TRUE(missing.empty()) << language << ": " << testing::PrintToString(missing);
}

INSTANTIATE_TEST_SUITE_P(Languages, Tour, testing::Values("English", "Japanese"));

}  // namespace
}  // namespace montest

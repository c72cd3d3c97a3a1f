// A status window in process, driven by the emulated box's replies on the
// virtual clock: the power state after every reply and what it lets the
// page show.
#include "dialogs_harness.h"
#include "Monitor/DialogUtil.h"
#include "Monitor/StatusDraw.h"
#include "pboxemu/monitor_replies.h"

namespace montest {
namespace {

class StatusWindow : public MonitorDialogs {
 protected:
  void SetUp() override {
    MonitorDialogs::SetUp();
    tb::UseVirtualClock(true);
    StartBoxes(1);
    win = OpenWindow(0);
    ASSERT_NE(win, nullptr);
    base = pboxemu::StatusForState(pboxemu::PrinterState::Ready, pboxemu::IcTypeForMachineType(emu.BoxMachineType(0)));
  }

  // The box answers the next status request with these bytes; returns once
  // the window has taken the reply.
  void Reply(const pboxemu::PrinterStatus& st) {
    emu.SetPrinterStatus(0, st);
    tb::AdvanceTicks(UInt32(win->configData.statUpdate) * 60 / 1000 + 1);
    const UInt32 sent = TickCount();
    ASSERT_TRUE(RunUntil([&] { return win->statUpTick == sent && win->sendStat == 0; })) << "no reply taken";
  }

  // The printer on (A), asleep (B) or awake (neither) as the power state
  // reads the status bytes.
  pboxemu::PrinterStatus Power(char which) const {
    pboxemu::PrinterStatus st = base;
    if (which == 'A') st.s[0] |= 0x41;
    if (which == 'B') st.s[0] |= 0x01;
    return st;
  }

  // A press on the title of page index (0 status, 1 information, 2 FTP).
  void ShowPage(SInt16 index) {
    CTAB_DATA* ct = win->tabData;
    SInt16 h = ct->tabRect.left;
    for (SInt16 i = ct->visTabNo; i < index; ++i) h = SInt16(h + ctab::GetTab(ct, i)->width);
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(win->dlg),
                                  Point{SInt16(ct->tabRect.top + 8), SInt16(h + ctab::GetTab(ct, index)->width / 2)}));
    for (int n = 0; n < 5; ++n) Pass();
  }

  STATUS_WND_INFO* win = nullptr;
  pboxemu::PrinterStatus base;
};

// Every reply moves the power state by the table, repeated replies as much
// as changed ones; states 0, 5 and 8 show no data.
TEST_F(StatusWindow, ThePowerStateFollowsEveryReply) {
  struct Case {
    const char* replies;  // A on, B asleep, N neither, one per reply
    std::vector<SInt16> states;
  };
  const Case cases[] = {
      {"AABBBAAABNAN", {3, 3, 2, 8, 8, 7, 1, 1, 2, 2, 1, 2}},
      {"NNBNNBA", {4, 4, 8, 7, 7, 8, 7}},
      {"BBABN", {5, 5, 7, 8, 7}},
      {"BNA", {5, 7, 1}},
      {"ANNA", {3, 2, 2, 1}},
      {"NAN", {4, 1, 2}},
  };
  auto run = [&](const Case& c, bool information) {
    SCOPED_TRACE(std::string(c.replies) + (information ? " on the information page" : ""));
    // A new window asks at once: the box holds the first state by then.
    emu.SetPrinterStatus(0, Power(c.replies[0]));
    Exit_Status_Dialog(win->dlg);
    win = OpenWindow(0);
    ASSERT_NE(win, nullptr);
    // The information page asks for information too: those replies leave
    // the power state alone.
    if (information) {
      ShowPage(1);
      ASSERT_EQ(win->activePage, kPageDetail);
    }
    for (std::size_t i = 0; c.replies[i]; ++i) {
      SCOPED_TRACE(i);
      if (i == 0) {
        ASSERT_TRUE(RunUntil([&] { return win->statUpTick != 0 && win->sendStat == 0; }));
      } else {
        Reply(Power(c.replies[i]));
      }
      if (information) {
        ASSERT_TRUE(RunUntil([&] { return win->infoUpTick == win->statUpTick && win->sendInfo == 0; }));
      }
      const SInt16 want = c.states[i];
      EXPECT_EQ(win->powerCheck, want);
      const bool data = want != 0 && want != 5 && want != 8;
      EXPECT_EQ(mondlg::IsDimmed(win->dlg, information ? 7 : 30), !data) << "the page's button";
      EXPECT_EQ(Resolution_Text(win).find('?') == std::string::npos, data) << Resolution_Text(win);
    }
  };
  for (const Case& c : cases) run(c, false);
  run(cases[0], true);
}

}  // namespace
}  // namespace montest

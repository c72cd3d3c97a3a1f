// A status window in process, driven by the emulated box's replies on the
// virtual clock: the power state after every reply and what it lets the
// page show.
#include <optional>

#include "box_names.h"
#include "dialogs_harness.h"
#include "Monitor/DialogUtil.h"
#include "Monitor/StatusDraw.h"
#include "pboxemu/monitor_replies.h"

namespace montest {
namespace {

class StatusWindow : public MonitorDialogs {
 protected:
  // n boxes, and a window for the first.
  void Open(int n) {
    tb::UseVirtualClock(true);
    StartBoxes(n);
    win = OpenWindow(0);
    ASSERT_NE(win, nullptr);
    base = pboxemu::StatusForState(pboxemu::PrinterState::Ready, pboxemu::IcTypeForMachineType(emu.BoxMachineType(0)));
  }

  // The box answers the next status request with these bytes; returns once
  // the window has taken the reply.
  void Reply(const pboxemu::PrinterStatus& st, int box = 0) {
    emu.SetPrinterStatus(box, st);
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

  STATUS_WND_INFO* win = nullptr;
  pboxemu::PrinterStatus base;
};

// Every reply moves the power state by the table, repeated replies as much
// as changed ones; states 0, 5 and 8 show no data.
TEST_F(StatusWindow, ThePowerStateFollowsEveryReply) {
  Open(1);
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
  // The resolution line as the page drew it.
  auto shown = [&] {
    for (int n = 0; n < 3; ++n) Pass();
    tb::PortSaver port(GetDialogPort(win->dlg));
    const Rect r = mondlg::ItemRect(win->dlg, 29);
    std::string pixels;
    for (SInt16 v = r.top; v < r.bottom; ++v)
      for (SInt16 h = r.left; h < r.right; ++h) {
        RGBColor c;
        GetCPixel(h, v, &c);
        pixels += {char(c.red >> 8), char(c.green >> 8), char(c.blue >> 8)};
      }
    return std::hash<std::string>()(pixels);
  };
  std::optional<std::size_t> noDataLine;
  auto run = [&](const Case& c, bool information) {
    SCOPED_TRACE(std::string(c.replies) + (information ? " on the information page" : ""));
    // A new window asks at once: the box holds the first state by then.
    emu.SetPrinterStatus(0, Power(c.replies[0]));
    Exit_Status_Dialog(win->dlg);
    win = OpenWindow(0);
    ASSERT_NE(win, nullptr);
    // No event pops the window up or down: it stays drawn.
    win->configData.popupFlag = 0;
    // The information page asks for information too: those replies leave
    // the power state alone.
    if (information) {
      ClickTabOf(win->tabData, win->dlg, 1, 19);  // the tab's bottom rows
      ASSERT_EQ(win->activePage, kPageDetail);
    }
    for (std::size_t i = 0; c.replies[i]; ++i) {
      SCOPED_TRACE(i);
      if (i == 0) {
        ASSERT_TRUE(FirstAnswer(win));
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
      if (information) continue;
      // Drawn as it reads, unchanged replies too.
      const std::size_t line = shown();
      if (data)
        EXPECT_NE(line, noDataLine) << "\"? x ? dpi\" drawn";
      else if (!noDataLine)
        noDataLine = line;
      else
        EXPECT_EQ(line, *noDataLine) << "\"? x ? dpi\" not drawn";
    }
  };
  for (const Case& c : cases) run(c, false);
  run(cases[0], true);
}

// The comment's and the information text's scroll bars stand beside their
// views whenever their page shows, however the page was left and reached
// again, short texts and a lost printer included; their thumbs are as long
// as the part of the text in view.
TEST_F(StatusWindow, TheViewsKeepTheirScrollBarsAcrossPages) {
  Open(1);
  Reply(base);
  auto shown = [](CEDIT_DATA* v) { return v && v->vScroll && IsControlVisible(v->vScroll); };
  const SInt16 route[] = {2, 0, 1, 2, 1, 0, 1};
  for (const bool lost : {false, true}) {
    if (lost) {
      emu.SetPrinterState(0, pboxemu::PrinterState::Lost);
      for (int i = 0; i < 20 && win->monitorOpen != 1; ++i) {
        tb::AdvanceTicks(UInt32(win->configData.statUpdate) * 300 / 1000 + 1);
        RunUntil([&] { return win->monitorOpen == 1; }, 200);
      }
      ASSERT_EQ(win->monitorOpen, 1);
    }
    for (const SInt16 page : route) {
      SCOPED_TRACE(testing::Message() << "page " << page << (lost ? ", printer lost" : ""));
      ClickTabOf(win->tabData, win->dlg, page, 19);
      ASSERT_EQ(win->activePage, kPageStatus + page);
      EXPECT_EQ(shown(win->commentData), page == 0);
      EXPECT_EQ(shown(win->textData), page == 1);
      // The thumb stands for the part of the text in view: the bar counts
      // its range and its view in lines alike.
      for (CEDIT_DATA* v : {win->commentData, win->textData})
        if (shown(v)) {
          const TERec& te = **v->hTEdit;
          EXPECT_EQ(GetControlViewSize(v->vScroll), (te.viewRect.bottom - te.viewRect.top) / te.lineHeight);
        }
    }
  }
}

// The held-job gauge takes the window's background around its frame: the
// picture's corner colour gives way to it; the frame stays.
TEST_F(StatusWindow, TheGaugeSitsOnTheWindowsBackground) {
  Open(1);
  pboxemu::PrinterStatus half = base;
  half.s[50] = 0;  // 100 MB held, 40 free
  half.s[51] = 100;
  half.s[53] = 40;
  Reply(half);
  Draw_Page(win);
  tb::PortSaver port(GetDialogPort(win->dlg));
  const Rect gauge = mondlg::ItemRect(win->dlg, 32);
  RGBColor content{}, corner{}, frame{};
  GetWindowContentColor(GetDialogWindow(win->dlg), &content);
  GetCPixel(gauge.left, gauge.top, &corner);
  GetCPixel(SInt16(gauge.left + 1), gauge.top, &frame);
  EXPECT_EQ(corner.red >> 8, content.red >> 8);
  EXPECT_EQ(corner.green >> 8, content.green >> 8);
  EXPECT_EQ(corner.blue >> 8, content.blue >> 8);
  EXPECT_LT(frame.green >> 8, 80) << "the frame";
}

std::string Text(const UInt8* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

// The option dialog's Apply moves the window to another printer: title and
// Window-menu item follow, and the display starts again from the first
// texts until the new printer answers. The same printer again changes
// nothing.
TEST_F(StatusWindow, AnotherPrinterStartsTheDisplayAgain) {
  Open(2);
  Reply(base);
  const VEMOSTATUSSET& v = win->viewData;
  ASSERT_EQ(Text(v.mesKey), "MESSAGE01");
  ASSERT_EQ(Text(v.szSize), "A4");
  ASSERT_EQ(win->powerCheck, 4);

  CONFIG_WND_INFO* c = OpenOptions(win);
  ASSERT_TRUE(WaitForRows(c, 2));
  Choose(c, "Office B");
  Click(c->dlg, kConfigApply);
  char ip[20];
  iptoa(Box(1).pbi_ip_addr, ip);
  const std::string title = "Status Monitor - Office B(" + std::string(ip) + ")";
  Str255 text;
  GetWTitle(GetDialogWindow(win->dlg), text);
  EXPECT_EQ(Text(text), title);
  MenuRef windows = GetMenuHandle(kOptionMenuID);
  ASSERT_EQ(CountMenuItems(windows), 1);
  GetMenuItemText(windows, 1, text);
  EXPECT_EQ(Text(text), title);
  EXPECT_EQ(Get_Check_Window_Menu(), 0);
  EXPECT_EQ(v.statusID, -1);
  EXPECT_EQ(Text(v.mesKey), "MESSAGE00");
  EXPECT_EQ(v.IconID, 150);
  EXPECT_EQ(Text(v.szSize), "No tray");
  EXPECT_EQ(v.SubPageNum, 65535);
  EXPECT_EQ(win->powerCheck, 0);
  EXPECT_NE(Resolution_Text(win).find('?'), std::string::npos);
  EXPECT_TRUE(mondlg::IsDimmed(win->dlg, 30));

  // Closed, the dialog lets the window ask its new printer.
  Click(c->dlg, kConfigCancel);
  pboxemu::PrinterStatus b4 = base;
  b4.s[12] = 5;
  Reply(b4, 1);
  EXPECT_EQ(Text(v.mesKey), "MESSAGE01");
  EXPECT_EQ(Text(v.szSize), "B4");
  EXPECT_EQ(win->powerCheck, 4);

  c = OpenOptions(win);
  ASSERT_TRUE(WaitForRows(c, 2));
  Choose(c, "Office B");
  Click(c->dlg, kConfigOK);
  EXPECT_EQ(Text(v.mesKey), "MESSAGE01");
  EXPECT_EQ(Text(v.szSize), "B4");
  EXPECT_EQ(win->powerCheck, 4);
}

// The window's title names the box as the language's encoding reads its
// name, for every name of the shared table, in each language.
class StatusWindowNames : public StatusWindow, public ::testing::WithParamInterface<testsupport::BoxLanguage> {};

TEST_P(StatusWindowNames, TheTitleReadsTheBoxsNameInTheLanguagesEncoding) {
  const int lang = GetParam();
  const char* language = lang == testsupport::kJapanese ? "Japanese" : "English";
  tb::SetSystemLanguage(lang == testsupport::kJapanese ? "ja" : "en");
  std::snprintf(IniFileName, sizeof IniFileName, "%s/Contents/Resources/%s/Popmon.ini", Bundle().c_str(), language);
  tb::UseVirtualClock(true);
  StartBoxes(1);
  char ip[20];
  iptoa(Box(0).pbi_ip_addr, ip);
  for (const testsupport::BoxName& n : testsupport::BoxNames()) {
    PBOXinfo box = Box(0);
    std::memset(box.pbi_machine_name, 0, sizeof box.pbi_machine_name);
    std::memcpy(box.pbi_machine_name, n.held.data(), n.held.size());
    std::array<UInt8, kPBOXRecordFileSize> rec{};
    PackPBOXinfo(box, std::span<UInt8, kPBOXinfoPackedSize>(rec.data(), kPBOXinfoPackedSize));
    ASSERT_EQ(Open_Status_Window(rec.data(), rec.size()), 1);
    STATUS_WND_INFO* w = Search_Status_Table(&box);
    ASSERT_NE(w, nullptr);
    Str255 title;
    GetWTitle(GetDialogWindow(w->dlg), title);
    EXPECT_EQ(Text(title), std::string(lang == testsupport::kJapanese ? "ステータスモニタ" : "Status Monitor") + " - " +
                               n.shown[lang] + "(" + ip + ")")
        << n.what;
    Close_All_Status_Window();
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, StatusWindowNames, ::testing::Values(testsupport::kEnglish, testsupport::kJapanese),
                         [](const ::testing::TestParamInfo<testsupport::BoxLanguage>& p) {
                           return std::string(p.param == testsupport::kJapanese ? "Japanese" : "English");
                         });

}  // namespace
}  // namespace montest

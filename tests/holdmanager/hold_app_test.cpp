// The held-job manager's program in this process against two emulated
// boxes: start-up and the search, the device pop-up that opens by itself,
// the chosen box's folders and jobs in the window, the re-search interval,
// tab switches during a load, the progress dialog's Cancel, quitting while
// a command runs, and a screenshot of the window checked by pixel probes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "FanctionLib/CList.h"
#include "FanctionLib/CTab.h"
#include "hold_harness.h"
#include "hold_program_fixture.h"
#include "holdmanager/HoldApp.h"
#include "holdmanager/HoldDialogs.h"
#include "holdmanager/HoldMainWnd.h"
#include "OT/JCPSearch.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/bundle.h"
#include "toolbox/clock.h"
#include "toolbox/controls.h"
#include "toolbox/display.h"
#include "toolbox/files.h"
#include "toolbox/menus.h"
#include "toolbox/navigation.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"
#include "toolbox/recorder.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox/windows.h"

namespace {

namespace fs = std::filesystem;

using HoldApp = holdtest::LiveProgramTest;
using holdtest::holdMachineType;

TEST(HoldStartupTables, LanguageRowsAndTheRepliesTheSearchLists) {
  const struct {
    const char* code;
    int program;
  } langs[] = {{"en", 1}, {"en_GB", 2}, {"jp", 18}, {"zh_CN", 19}, {"", 1}, {"EN", 1}, {"ja", 1}};
  for (const auto& l : langs) EXPECT_EQ(FindLangCode(l.code)->programCode, l.program) << l.code;

  auto reply = [](const char* type, UInt8 cap) {
    jcp_reply r{};
    r.jcpr_chk = 2;
    r.jcpr_rule = 38150;
    r.jcpr_ip_addr = 0x7F000001;
    std::memcpy(r.jcpr_machine_type, type, std::min<std::size_t>(std::strlen(type), 16));
    r.jcpr_machine_type[15] = cap;
    return r;
  };
  const struct {
    jcp_reply r;
    int cap;
  } replies[] = {
      {reply("VEMOPLEX[C]", 0x23), 0x23},     {reply("VEMOPLEX[C]", 0xA3), 0xA3}, {reply("VEMOPLEX[C]", 0x03), -1},
      {reply("VEMOPLEX  QSV-B", 0x27), 0x27}, {reply("VEMOPLEX-OLD", 0x23), -1},  {reply("OTHERBOX[C]", 0x23), -1},
  };
  for (const auto& c : replies) EXPECT_EQ(HoldReplyCapability(&c.r), c.cap);
  jcp_reply r = reply("VEMOPLEX[C]", 0x23);
  r.jcpr_ip_addr = 0x00000001;
  EXPECT_EQ(HoldReplyCapability(&r), -1);
  r = reply("VEMOPLEX[C]", 0x23);
  r.jcpr_rule = 1;
  EXPECT_EQ(HoldReplyCapability(&r), -1);

  // Formats from the language files take only the conversions they should.
  EXPECT_EQ(HoldFormat("Found: %d", {3}), "Found: 3");
  EXPECT_EQ(HoldFormat("%s %d%%", {"a", 5}), "a 5%");
  EXPECT_EQ(HoldFormat("%n %s %d", {"x"}), "%n x %d");
}

TEST_F(HoldApp, StartUpFindsTheBoxesOpensThePopUpAndListsTheChosenBox) {
  StartBoxes();
  ASSERT_EQ(HoldStartup(), 1);
  ASSERT_TRUE(Drive([&] { return PopupCount(kItemDevice) == 2; }));
  EXPECT_EQ(M()->statusText, "Print servers found: 2");
  // None is chosen yet, but the pop-up is live and shows the first box.
  ControlRef device = Item(kItemDevice);
  EXPECT_TRUE(IsControlActive(device));
  EXPECT_EQ(GetControl32BitValue(device), 0);
  Str255 first, shown;
  GetMenuItemText(GetControlPopupMenuHandle(device), 1, first);
  GetMenuTitle(GetControlPopupMenuHandle(device), shown);
  EXPECT_EQ(pstr::str(shown), pstr::str(first));
  const Rect box = ItemRectOf(M()->dialog, kItemDevice);
  EXPECT_TRUE(testsupport::DarkInkIn(GetDialogPort(M()->dialog), Rect{SInt16(box.top + 3), SInt16(box.left + 6),
                                                                      SInt16(box.bottom - 3), SInt16(box.left + 60)}));

  // Not before 90 ticks from the search's start, nor while another of its
  // windows stands in front (the about box, which dims the pop-up with the
  // main window); then once, and a press released on nothing chooses
  // nothing and does not open it again.
  const UInt32 started = M()->lastSearch;
  while (TickCount() - started < 90) {
    tb::AdvanceTicks(6);
    IdleEventMainDlg();
  }
  EXPECT_FALSE(M()->popupOpened);
  ASSERT_TRUE(tb::ChooseMenuItem(1000, 1));
  ASSERT_TRUE(Loop([&] { return GetFrontDialog() != M()->dialog && !IsControlActive(device); }, 15000, 0));
  tb::AdvanceTicks(1);
  IdleEventMainDlg();
  EXPECT_FALSE(M()->popupOpened) << "opened behind the about box";
  tb::PressNamedKey("Return");
  ASSERT_TRUE(Loop([&] { return GetFrontDialog() == M()->dialog && IsControlActive(device); }, 15000, 0));
  IdleEventMainDlg();
  EXPECT_TRUE(M()->popupOpened);
  EXPECT_EQ(M()->deviceAddr, 0u);

  // The user picks the second box from the pop-up: its folders and jobs.
  Rect r;
  ASSERT_TRUE(tb::PopupItemRect(Item(kItemDevice), 1, &r));
  EventRecord e{};
  e.what = mouseDown;
  e.where = Point{SInt16((r.top + r.bottom) / 2), SInt16((r.left + r.right) / 2)};
  Rect pop;
  GetControlBounds(Item(kItemDevice), &pop);
  Point press{SInt16(pop.top + 5), SInt16(pop.left + 5)};
  {
    tb::PortSaver saver(GetDialogPort(M()->dialog));
    LocalToGlobal(&press);
  }
  e.where = press;
  tb::MouseUpAt(Point{SInt16((r.top + r.bottom) / 2), SInt16((r.left + r.right) / 2)});
  MouseDownMainDlg(&e, M()->dialog);
  ASSERT_EQ(M()->deviceAddr, emu_.BoxAddress(0));
  ASSERT_TRUE(Drive([&] { return M()->eng.current == 0 && CLGetCount(M()->tab0File) > 0; }));
  EXPECT_EQ(PopupCount(kT0Folder), 2);
  EXPECT_EQ(M()->folderValue[0], 1);  // "1_Design" sorts first
  EXPECT_EQ(CLGetCount(M()->tab0File), 2);
  Str255 name;
  SInt16 len = sizeof name;
  bool sawJapanese = false;
  for (SInt16 row = 0; row < 2; ++row) {
    len = sizeof name;
    CLGetCellOne(M()->tab0File, name, &len, Cell{row, 0});
    sawJapanese |= std::string(reinterpret_cast<char*>(name + 1), name[0]) == "見積書.pdf";
  }
  EXPECT_TRUE(sawJapanese);

  // The re-search interval (3 minutes by default) by the virtual clock.
  M()->config.ulReSearch = 3;
  const UInt32 last = M()->lastSearch;
  tb::AdvanceTicks(3 * 3600 - (TickCount() - last));
  IdleEventMainDlg();
  EXPECT_EQ(M()->lastSearch, last);
  tb::AdvanceTicks(1);
  ASSERT_TRUE(Drive([&] { return M()->lastSearch != last; }));
  M()->config.ulReSearch = 0;
  const UInt32 again = M()->lastSearch;
  tb::AdvanceTicks(100 * 3600);
  Drive([] { return false; }, 200);
  EXPECT_EQ(M()->lastSearch, again);
}

// A new search asked for while one still runs on the context: the running
// one is ended first and the new one starts only once it has terminated,
// so no endpoint of the old one is left open behind the new.
TEST_F(HoldApp, ANewSearchWaitsUntilTheRunningOneHasEnded) {
  StartBoxes();
  ASSERT_EQ(HoldStartup(), 1);
  ASSERT_TRUE(Drive([&] { return M()->searchFlags == SEARCH_RUNNING; }));
  ASSERT_FALSE(JCP_IsTerminated(M()->search));
  const int providers = tb::OTOpenProviderCount();
  const UInt32 first = M()->lastSearch;
  tb::AdvanceTicks(1);
  RequestNewSearch(M());
  IdleEventMainDlg();
  // Unless the old one ended within the step, the new one waits for it.
  if (M()->lastSearch == first) {
    EXPECT_TRUE(M()->searchStopping);
    EXPECT_EQ(M()->searchFlags, SEARCH_START);
  }
  ASSERT_TRUE(Drive([&] { return M()->lastSearch != first; }));
  EXPECT_LE(tb::OTOpenProviderCount(), providers);
  EXPECT_FALSE(M()->searchStopping);
  ASSERT_TRUE(Drive([&] { return PopupCount(kItemDevice) == 2; }));
}

TEST_F(HoldApp, TabSwitchDuringALoadAndQuitDuringACommandCancelThem) {
  StartBoxes();
  StartAndChooseFirstBox();
  // The box stops answering: a refresh hangs until cancelled.
  pboxemu::HoldFaultSpec silent;
  silent.mode = pboxemu::HoldFault::Silent;
  emu_.Hold().SetFault(0, silent);
  PushUpdateBtn(&M()->eng);
  Drive([] { return false; }, 100);
  ASSERT_EQ(M()->eng.current, CMD_REFRESH);
  const auto before = emu_.Hold().Requests(0).size();
  // The load is cancelled (its connection closed), then the new page shows
  // and reads its own list.
  ChangeTabPage(M()->dialog, 1, 3);
  EXPECT_EQ(M()->curTab, 3);
  EXPECT_EQ(M()->pendingTab, 0);
  EXPECT_EQ(CountDITL(M()->dialog), kT2List);
  EXPECT_EQ(M()->eng.current, CMD_REFRESH);
  ASSERT_TRUE(Drive([&] { return emu_.Hold().Requests(0).size() > before; }));

  // The third tab loads its own list; quitting then ends that command.
  Drive([] { return false; }, 100);
  ASSERT_NE(M()->eng.current, 0);
  QuitHoldManager();
  EXPECT_EQ(GetMainDlgData(), nullptr);
  HoldShutdown();
  EXPECT_EQ(tb::OTOpenProviderCount(), 0);
}

TEST_F(HoldApp, TheProgressDialogsCancelEndsTheCommand) {
  StartBoxes();
  StartAndChooseFirstBox();
  pboxemu::HoldFaultSpec silent;
  silent.mode = pboxemu::HoldFault::Silent;
  emu_.Hold().SetFault(0, silent);
  PrgRequestPtr req = NewPrgRequest();
  JOB_ENTRY job{};
  ASSERT_TRUE(FirstSelectedJob(M(), &job) ||
              (CLSetSelect(M()->tab0File, Cell{0, 0}, true, false), FirstSelectedJob(M(), &job)));
  PRG_JOB pj{};
  std::memcpy(pj.jobId, job.jobId, 4);
  std::memcpy(pj.folderId, job.folderId, 4);
  std::memcpy(pj.name, job.name, job.name[0] + 1);
  req->jobs.push_back(pj);
  ASSERT_TRUE(StartProgressCommand(&M()->eng, CMD_DELETE, std::move(req)));
  DialogRef prg = GetPrgDlgPtr();
  ASSERT_NE(prg, nullptr);
  EXPECT_EQ(GetFrontDialog(), prg);
  Str255 title;
  GetWTitle(GetDialogWindow(prg), title);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(title + 1), title[0]), "Delete");
  Drive([] { return false; }, 100);
  ASSERT_EQ(M()->eng.current, CMD_DELETE);

  // Escape is the Cancel button: the command ends with code 7 and the
  // dialog goes; the job is still on the box.
  EventRecord esc{};
  esc.what = keyDown;
  esc.message = 27 | (0x35 << 8);
  DLG_HANDLERS* h = GetDlgHandlers(GetDialogWindow(prg));
  ASSERT_TRUE(h && h->keyDown);
  EXPECT_TRUE(h->keyDown(&esc, prg));
  EXPECT_EQ(M()->eng.current, 0);
  EXPECT_EQ(GetPrgDlgPtr(), nullptr);
  EXPECT_EQ(M()->eng.busy, 2);
  EXPECT_EQ(GetFrontDialog(), M()->dialog);
  EXPECT_EQ(emu_.Hold().Jobs(0).size(), 3u);
}

TEST_F(HoldApp, TheWindowWithJobsOnScreen) {
  StartBoxes();
  StartAndChooseFirstBox();
  CLSetSelect(M()->tab0File, Cell{0, 0}, true, true);
  ChangeBtnState(M(), M()->tab0Info, false, 0);
  UpdateMainDlg(M()->dialog);
  DrawStatusLine(M());
  CGrafPtr port = GetDialogPort(M()->dialog);
  auto channel = [&](int h, int v, int shift) { return int((tb::PortPixel(port, h, v) >> shift) & 255); };

  // Pixels read as 0xBBGGRRxx. Probes: the status line's text, the list header's light grey (the
  // header picture), dark names in both rows of the list, the device
  // pop-up's title, and the page buttons' strip left of the preview.
  Rect status, list, pop;
  GetDialogItemRect(M()->dialog, kItemStatus, &status);
  GetDialogItemRect(M()->dialog, kT0List, &list);
  GetDialogItemRect(M()->dialog, kItemDevice, &pop);
  EXPECT_TRUE(testsupport::DarkInkIn(port, Rect{SInt16(status.top + 2), 5, SInt16(status.bottom - 2), 150}));
  const int hr = channel(list.left + 40, list.top + 4, 8), hb = channel(list.left + 40, list.top + 4, 24);
  EXPECT_GT(hr, 200);
  EXPECT_LT(std::abs(hr - hb), 16);
  // Rows of 18 pixels below the 18-pixel header: the second row's name in
  // dark ink, the first row selected (blue, its text white).
  const SInt16 row1 = SInt16(list.top + 18 + 18);
  EXPECT_TRUE(
      testsupport::DarkInkIn(port, Rect{row1, SInt16(list.left + 20), SInt16(row1 + 18), SInt16(list.left + 110)}));
  const int r0 = channel(list.left + 178, list.top + 18 + 9, 8), b0 = channel(list.left + 178, list.top + 18 + 9, 24);
  EXPECT_GT(b0, r0 + 60);
  EXPECT_EQ(channel(list.left + 178, row1 + 9, 8), 0xFF);
  EXPECT_TRUE(testsupport::DarkInkIn(port, Rect{pop.top, SInt16(pop.left + 4), pop.bottom, SInt16(pop.left + 150)}));
  // The logo's background is the window's own.
  Rect logo;
  GetDialogItemRect(M()->dialog, kItemLogo, &logo);
  ASSERT_GT(gAnimeInfo.height, 0);
  EXPECT_EQ(tb::PortPixel(port, logo.left, logo.top + gAnimeInfo.height - 1), tb::PortPixel(port, 3, 3));
  // Kept for a person to look at.
  const std::string dir = std::string(std::getenv("VEMO_BUILD_DIR")) + "/test-home";
  std::filesystem::create_directories(dir);
  EXPECT_EQ(tb::SaveWindowPNG(GetDialogWindow(M()->dialog), (dir + "/hold-main-window.png").c_str()), noErr);

  // On every page the device pop-up's label and title stay whole.
  const Rect label = ItemRectOf(M()->dialog, kItemDeviceLabel);
  for (int tab : {2, 3, 1}) {
    ChangeTabPage(M()->dialog, M()->curTab, tab);
    ASSERT_TRUE(LoopUntilIdle());
    EXPECT_TRUE(testsupport::DarkInkIn(port, label)) << "tab " << tab;
    EXPECT_TRUE(testsupport::DarkInkIn(port, Rect{pop.top, SInt16(pop.left + 4), pop.bottom, SInt16(pop.left + 16)}))
        << "tab " << tab;
  }
}

// The window grown and shrunk by its size box and its divider dragged: the
// job list takes the width change down to its minimum, the detail side
// gives up the rest; every item of every page stays whole inside the page
// frame; the divider stops at its limits, is saved where it stands and
// comes back there at the next start.
TEST_F(HoldApp, TheWindowKeepsItsLayoutGrowingShrinkingAndDraggingTheDivider) {
  ASSERT_EQ(HoldStartup(), 1);
  auto rect = [&](DialogItemIndex i) { return ItemRectOf(M()->dialog, i); };
  auto same = [](const Rect& a, const Rect& b) { return EqualRect(&a, &b) != 0; };
  auto global = [&](Point p) {
    tb::PortSaver saver(GetDialogPort(M()->dialog));
    LocalToGlobal(&p);
    return p;
  };
  auto size = [&](SInt16 width, SInt16 height) {
    Rect content;
    GetWindowBounds(GetDialogWindow(M()->dialog), kWindowContentRgn, &content);
    const Point corner{SInt16(content.bottom - 3), SInt16(content.right - 3)};
    tb::DragFromTo(corner, Point{SInt16(corner.v + height - (content.bottom - content.top)),
                                 SInt16(corner.h + width - (content.right - content.left))});
    Pass();
  };
  auto drag = [&](SInt16 to) {
    const Rect div = rect(kT0Divider);
    const SInt16 v = SInt16((div.top + div.bottom) / 2);
    tb::DragFromTo(global(Point{v, SInt16(div.left + 2)}), global(Point{v, to}));
    Pass();
  };
  // Every page item inside the frame's border, no two buttons or pop-ups
  // over each other.
  auto expectWhole = [&](int tab) {
    const Rect inner = holdtest::FrameInside(M()->tab);
    std::vector<Rect> controls;
    for (DialogItemIndex i = kMainItemCount + 1; i <= CountDITL(M()->dialog); ++i) {
      const Rect r = rect(i);
      Rect in;
      EXPECT_TRUE(holdtest::Within(r, inner)) << "tab " << tab << " item " << i;
      if (!GetItemControl(M()->dialog, i)) continue;
      for (const Rect& other : controls) EXPECT_FALSE(SectRect(&r, &other, &in)) << "tab " << tab << " item " << i;
      controls.push_back(r);
    }
  };
  // The list's least width (Print and Download), the detail list's (the check box).
  const SInt16 low = 198, high0 = 565 - 80 - 6;
  const Rect designList = rect(kT0List);
  const struct {
    const char* what;
    std::function<void()> act;
    SInt16 width, divider;
  } steps[] = {
      {"grown", [&] { size(800, 560); }, 800, 306 + 215},
      {"shrunk back", [&] { size(585, 439); }, 585, 306},
      {"dragged past the left limit", [&] { drag(5); }, 585, low},
      {"dragged past the right limit", [&] { drag(584); }, 585, high0},
      {"grown again", [&] { size(700, 500); }, 700, high0 + 115},
      {"dragged to the left limit, grown", [&] { drag(5); }, 700, low},
      {"then shrunk: the detail side gives up", [&] { size(585, 439); }, 585, low},
      {"pushed below the design", [&] { size(400, 300); }, 585, low},
      {"and grown", [&] { size(800, 560); }, 800, low + 100},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    Rect port;
    GetPortBounds(GetDialogPort(M()->dialog), &port);
    ASSERT_EQ(port.right - port.left, s.width);
    const SInt16 dw = SInt16(s.width - kMainWidth);
    EXPECT_EQ(rect(kItemExit).right, 575 + dw) << "the bottom row follows the corner";
    EXPECT_EQ(rect(kT0List).right, s.divider);
    EXPECT_EQ(rect(kT0Divider).left, s.divider);
    for (DialogItemIndex i : {kT0Detail, kT0Preview}) {
      EXPECT_EQ(rect(i).left, s.divider + 6) << i;
      EXPECT_EQ(rect(i).right, 565 + dw) << i;
    }
    EXPECT_EQ(rect(kT0Download).right, s.divider);
    EXPECT_EQ(M()->config.usDivider, s.divider);
    expectWhole(1);
    if (s.divider == 306) {
      EXPECT_TRUE(same(designList, rect(kT0List)));
    }
    if (s.width != 700) {
      for (int tab : {2, 3, 1}) {
        ChangeTabPage(M()->dialog, M()->curTab, tab);
        expectWhole(tab);
      }
    }
  }
  // The layout comes back as it was left at the next start.
  std::vector<Rect> before;
  for (DialogItemIndex i = 1; i <= CountDITL(M()->dialog); ++i) before.push_back(rect(i));
  Restart();
  for (DialogItemIndex i = 1; i <= CountDITL(M()->dialog); ++i) {
    const Rect r = rect(i), b = before[std::size_t(i - 1)];
    EXPECT_TRUE(same(b, r)) << "item " << i << ": " << r.left << "," << r.top << " " << r.right << "," << r.bottom
                            << " was " << b.left << "," << b.top << " " << b.right << "," << b.bottom;
  }
}

TEST_F(HoldApp, TheDetailRows) {
  ASSERT_EQ(HoldStartup(), 1);
  MAIN_DLG_DATA* m = M();
  // Detail rows: resolution, the paper name or its fallback with the code,
  // the size with its unit, the page row with the preview on.
  JOB_INFO info{};
  info.name[0] = 3;
  std::memcpy(info.name + 1, "abc", 3);
  info.resolution = 0x3C3C;
  info.paper = 3;
  info.size = 1536;
  info.pages = 4;
  info.hasThumbnails = 1;
  auto cell = [&](SInt16 row) {
    Str255 t;
    SInt16 len = sizeof t;
    CLGetCellOne(m->tab0Info, t, &len, Cell{row, 1});
    return std::string(reinterpret_cast<char*>(t + 1), t[0]);
  };
  SetDetailFileInfo(&info, m->tab0Info, true);
  EXPECT_EQ(cell(0), "abc");
  EXPECT_EQ(cell(2), "1 / 4");
  EXPECT_EQ(cell(3), "600 x 600 dpi");
  EXPECT_EQ(cell(4), "A4");
  EXPECT_EQ(cell(5), "1.50 KB");
  info.paper = 999;
  info.size = 1048576;
  SetDetailFileInfo(&info, m->tab0Info, false);
  EXPECT_EQ(cell(2), "4");
  EXPECT_EQ(cell(4), "Other 999");
  EXPECT_EQ(cell(5), "1 MB");
}

// Help opens the page of the program's language, which the bundle and the
// disc carry; a bundle without it says so.
TEST_F(HoldApp, HelpOpensThePageOfTheLanguageOrSaysItIsMissing) {
  const fs::path build = std::getenv("VEMO_BUILD_DIR");
  const fs::path real = build / "suite/VemoHoldManager.app", bare = dir_.path() / "suite/VemoHoldManager.app";
  fs::create_directories(bare / "Contents/MacOS");
  testsupport::WriteFile(bare / "Contents/MacOS/VemoHoldManager", "");
  fs::copy(real / "Contents/Resources", bare / "Contents/Resources", fs::copy_options::recursive);
  for (const char* lang : {"English", "Japanese"}) fs::remove_all(bare / "Contents/Resources" / lang / "Help");
  const struct {
    const char* language;
    fs::path bundle;
    const char* page;  // nullptr: none, the message
    const char* text;  // in the page, or the message
  } cases[] = {
      {"", real, "English/Help/index.html", "<title>VemoHoldManager Help</title>"},
      {"ja", real, "Japanese/Help/index.html", "<title>VemoHoldManager ヘルプ</title>"},
      {"", bare, nullptr, "The help page could not be opened: it is missing from the program's folder."},
      {"ja", bare, nullptr, "ヘルプのページを開けませんでした。プログラムのフォルダにありません。"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.language) + " " + c.bundle.string());
    tb::SetSystemLanguage(c.language);
    tb::SetApplicationPath((c.bundle / "Contents/MacOS/VemoHoldManager").string());
    tb::SetMainBundlePath(c.bundle.string());
    ASSERT_EQ(HoldStartup(), 1);
    tb::ClearRecords();
    ASSERT_TRUE(tb::ClickDialogItem(M()->dialog, kItemHelp));
    Pass();
    Pass();
    const auto opened = tb::RecordedOpenedDocuments();
    if (c.page) {
      ASSERT_EQ(opened.size(), 1u);
      EXPECT_EQ(opened[0], (real / "Contents/Resources" / c.page).string());
      const std::string page = testsupport::ReadFile(opened[0]);
      EXPECT_NE(page.find(c.text), std::string::npos);
      EXPECT_EQ(testsupport::ReadFile(build / "disc/TOOL/VemoHoldManager.app/Contents/Resources" / c.page), page);
    } else {
      EXPECT_TRUE(opened.empty());
      SUB_DLG* message = FrontSubDlg();
      ASSERT_TRUE(message && message->id == kMsgDlgID);
      EXPECT_EQ(tb::DialogItemText(message->dialog, 2), c.text);
      ASSERT_TRUE(tb::ClickDialogItem(message->dialog, 4));
      Pass();
    }
    tb::SetSystemLanguage("");
    ExpectMainWindowLive();
    QuitHoldManager();
    HoldShutdown();
    OpenResources();
  }
}

TEST_F(HoldApp, InJapaneseTheLanguageRowAndTextsComeFromTheJapaneseFiles) {
  tb::SetSystemLanguage("ja");
  ASSERT_EQ(HoldStartup(), 1);
  tb::SetSystemLanguage("");
  EXPECT_EQ(gLangCode, 18);
  EXPECT_EQ(M()->eng.langCode, 18);
  EXPECT_NE(std::string(gszStrFileName).find("Japanese"), std::string::npos);
  Str255 t;
  CTGetTitle(M()->tab, 0, t);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(t + 1), t[0]), "印刷 / ダウンロード");
  SetStatus(M()->dialog, "STRING", 0, 0);
  DrawStatusLine(M());
  EXPECT_EQ(M()->statusText, "見つかったプリントサーバ: 0");
}

TEST_F(HoldApp, DeleteThroughTheWindowAsksThenDeletesAndRefreshes) {
  StartBoxes();
  StartAndChooseFirstBox();
  ChangeTabPage(M()->dialog, 1, 2);
  ASSERT_TRUE(Drive([&] { return M()->eng.current == 0 && CLGetCount(M()->tab1HMFile) == 2; }));
  CLSetSelect(M()->tab1HMFile, Cell{0, 0}, true, false);
  ChangeBtnState(M(), M()->tab0Info, false, 0);
  ASSERT_TRUE(IsControlActive(Item(kT1Delete)));
  JOB_ENTRY job{};
  ASSERT_TRUE(FirstSelectedJob(M(), &job));
  const std::string name(reinterpret_cast<char*>(job.name + 1), job.name[0]);

  // Delete asks first; Return is its Yes.
  EventRecord e{};
  SelectTab1Item(&e, M(), kT1Delete);
  DialogRef ask = GetFrontDialog();
  ASSERT_NE(ask, M()->dialog);
  Str255 title;
  GetWTitle(GetDialogWindow(ask), title);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(title + 1), title[0]), "Delete");
  EventRecord ret{};
  ret.what = keyDown;
  ret.message = 13 | (0x24 << 8);
  DLG_HANDLERS* h = GetDlgHandlers(GetDialogWindow(ask));
  ASSERT_TRUE(h && h->keyDown);
  h->keyDown(&ret, ask);
  ASSERT_NE(GetPrgDlgPtr(), nullptr);
  ASSERT_TRUE(Drive([&] { return M()->eng.current == 0 && GetPrgDlgPtr() == nullptr; }));
  for (const auto& j : emu_.Hold().Jobs(0)) EXPECT_NE(j.name, name);
  EXPECT_EQ(emu_.Hold().Jobs(0).size(), 2u);
  EXPECT_EQ(CLGetCount(M()->tab1HMFile), 1);
  EXPECT_EQ(M()->statusText, "The jobs were deleted.");
}

// Every question the window asks offers Yes and No, the texts from the
// language file; No leaves the box and the window as they were.
TEST_F(HoldApp, EveryQuestionOffersYesAndNoAndNoChangesNothing) {
  StartBoxes();
  StartAndChooseFirstBox();
  ChangeTabPage(M()->dialog, 1, 2);
  ASSERT_TRUE(Drive([&] { return M()->eng.current == 0 && CLGetCount(M()->tab1HMFile) == 2; }));
  std::vector<std::string> files;
  for (const char* name : {"up1.txt", "up2.txt", "up3.txt"}) {
    files.push_back((dir_.path() / name).string());
    testsupport::WriteFile(files.back(), name);
  }
  auto click = [&](DialogItemIndex item) {
    ASSERT_TRUE(tb::ClickDialogItem(M()->dialog, item)) << item;
    Pass();
    Pass();
  };
  auto selectJobs = [&](SInt16 rows) {
    CLClearSelect(M()->tab1HMFile, nullptr);
    for (SInt16 r = 0; r < rows; ++r) CLSetSelect(M()->tab1HMFile, Cell{r, 0}, true, false);
    ChangeBtnState(M(), M()->tab0Info, false, 0);
    click(kT1Delete);
  };
  auto upload = [&](std::vector<std::string> chosen) {
    tb::AnswerNextChooser(chosen);
    click(kT1Select);
    click(kT1Upload);
  };
  const struct {
    const char* what;
    std::function<void()> ask;
    const char* title;
    const char* text;
  } cases[] = {
      {"one job", [&] { selectJobs(1); }, "Delete", "Delete \"report-2\"?"},
      {"two jobs", [&] { selectJobs(2); }, "Delete", "Delete the 2 selected jobs?"},
      {"one file", [&] { upload({files[0]}); }, "Upload", "Upload \"up1.txt\"?"},
      {"three files",
       [&] {
         upload({files[1], files[2]});
       },
       "Upload", "Upload 3 files?"},
      {"the box's list changed",
       [&] {
         emu_.Hold().SetFault(0, {pboxemu::HoldFault::Result, 0, 0, 1, 253});
         click(kT1Renew);
         ASSERT_TRUE(LoopUntilIdle());
       },
       "VEMO Hold Manager", "The job list on the print server has changed.\rRead the list again?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.ask();
    SUB_DLG* ask = FrontSubDlg();
    ASSERT_TRUE(ask && ask->id == kMsgDlgID);
    Str255 title;
    GetWTitle(GetDialogWindow(ask->dialog), title);
    EXPECT_EQ(pstr::str(title), c.title);
    EXPECT_EQ(tb::DialogItemText(ask->dialog, 2), c.text);
    EXPECT_EQ(tb::DialogItemText(ask->dialog, 3), "Yes");
    EXPECT_EQ(tb::DialogItemText(ask->dialog, 4), "No");
    const std::size_t requests = emu_.Hold().Requests(0).size();
    const int local = CLGetCount(M()->tab1PCFile);
    ASSERT_TRUE(tb::ClickDialogItem(ask->dialog, 4));
    ASSERT_TRUE(LoopUntilIdle());
    EXPECT_EQ(SubDlgCount(), 0);
    EXPECT_EQ(emu_.Hold().Requests(0).size(), requests);
    EXPECT_TRUE(emu_.Hold().LprSessions(0).empty());
    EXPECT_EQ(emu_.Hold().Jobs(0).size(), 3u);
    EXPECT_EQ(CLGetCount(M()->tab1PCFile), local);
  }
}

TEST_F(HoldApp, UploadOfTwoChosenFilesThroughTheWindowFilesThemInTheFolder) {
  StartBoxes();
  StartAndChooseFirstBox();
  ChangeTabPage(M()->dialog, 1, 2);
  ASSERT_TRUE(Drive([&] { return M()->eng.current == 0 && CLGetCount(M()->tab1HMFile) == 2; }));
  const fs::path a = dir_.path() / "first.job", b = dir_.path() / "second.ps";
  testsupport::WriteFile(a, std::string(3000, 'a'));
  testsupport::WriteFile(b, "%!PS\n");
  // Select takes the chooser's files (a file already listed is not added twice).
  EventRecord e{};
  tb::AnswerNextChooser({a.string(), b.string()});
  SelectTab1Item(&e, M(), kT1Select);
  tb::AnswerNextChooser({a.string()});
  SelectTab1Item(&e, M(), kT1Select);
  ASSERT_EQ(CLGetCount(M()->tab1PCFile), 2);
  Str255 size;
  SInt16 len = sizeof size;
  CLGetCellOne(M()->tab1PCFile, size, &len, Cell{0, 1});
  EXPECT_EQ(std::string(reinterpret_cast<char*>(size + 1), size[0]), "2.93 KB");
  // Each row's kind (the program's own text when the system knows none) and icon.
  const char* kinds[] = {"Document", "PostScript document"};
  const Rect list = ItemRectOf(M()->dialog, kT1PCList);
  UpdateMainDlg(M()->dialog);
  for (SInt16 row = 0; row < 2; ++row) {
    Str255 kind;
    len = sizeof kind;
    CLGetCellOne(M()->tab1PCFile, kind, &len, Cell{row, 2});
    EXPECT_EQ(std::string(reinterpret_cast<char*>(kind + 1), kind[0]), kinds[row]);
    const SInt16 top = SInt16(list.top + 18 + 18 * row + 1);
    EXPECT_TRUE(testsupport::DarkInkIn(GetDialogPort(M()->dialog),
                                       Rect{top, SInt16(list.left + 1), SInt16(top + 16), SInt16(list.left + 20)}))
        << "row " << row << "'s icon";
  }
  ASSERT_TRUE(IsControlActive(Item(kT1Upload)));

  // Upload asks (two files), Return says yes; both go to the first folder's
  // queue and the box files them there; the local list empties.
  SelectTab1Item(&e, M(), kT1Upload);
  DialogRef ask = GetFrontDialog();
  ASSERT_NE(ask, M()->dialog);
  EventRecord ret{};
  ret.what = keyDown;
  ret.message = 13 | (0x24 << 8);
  GetDlgHandlers(GetDialogWindow(ask))->keyDown(&ret, ask);
  // The box's own list is read again after a wait, by the clock, until
  // the jobs are filed.
  ASSERT_TRUE(Drive([&] { return M()->eng.current == 0 && CLGetCount(M()->tab1HMFile) == 4; }, 15000, 6));
  EXPECT_EQ(CLGetCount(M()->tab1PCFile), 0);
  const auto sessions = emu_.Hold().LprSessions(0);
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_EQ(sessions[0].queue, "hold_1");
  EXPECT_EQ(sessions[0].data.size(), 3000u);
  int inFolder = 0;
  for (const auto& j : emu_.Hold().Jobs(0)) inFolder += j.folder == 1;
  EXPECT_EQ(inFolder, 4);
}

// The local list's order is the upload's: after a click on the "Name"
// header the files go out in the order shown, an empty file stops the job
// with only the files sent gone from the list, and a list showing its
// names in order keeps files added later in that order.
TEST_F(HoldApp, UploadsFollowTheOrderTheLocalListShows) {
  StartBoxes();
  StartAndChooseFirstBox();
  RunOnOwnTimer();
  ChangeTabPage(M()->dialog, 1, 2);
  ASSERT_TRUE(LoopUntilIdle());
  auto rows = [&] {
    std::vector<std::string> out;
    for (SInt16 row = 0; row < CLGetCount(M()->tab1PCFile); ++row) {
      Str255 name;
      SInt16 len = sizeof name;
      CLGetCellOne(M()->tab1PCFile, name, &len, Cell{row, 0});
      out.push_back(std::string(reinterpret_cast<char*>(name + 1), name[0]));
    }
    return out;
  };
  auto add = [&](const std::vector<std::string>& names) {
    std::vector<std::string> paths;
    for (const std::string& n : names) paths.push_back((dir_.path() / n).string());
    tb::AnswerNextChooser(paths);
    ASSERT_TRUE(tb::ClickDialogItem(M()->dialog, kT1Select));
    Pass();
  };
  const Rect list = ItemRectOf(M()->dialog, kT1PCList);
  auto clickName = [&] {
    ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(M()->dialog), Point{SInt16(list.top + 9), SInt16(list.left + 20)}));
    Pass();
  };
  testsupport::WriteFile(dir_.path() / "1-a.txt", "first by name");
  testsupport::WriteFile(dir_.path() / "2-b.txt", "");
  testsupport::WriteFile(dir_.path() / "3-c.txt", "last by name");
  add({"1-a.txt", "3-c.txt", "2-b.txt"});
  clickName();
  ASSERT_EQ(rows(), (std::vector<std::string>{"3-c.txt", "2-b.txt", "1-a.txt"}));

  ASSERT_TRUE(tb::ClickDialogItem(M()->dialog, kT1Upload));
  Pass();
  tb::PressNamedKey("Return");
  ASSERT_TRUE(Loop([&] { return M()->eng.current == 0 && !GetPrgDlgPtr(); }));
  const auto sessions = emu_.Hold().LprSessions(0);
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_NE(sessions[0].control.find("\nN3-c.txt\n"), std::string::npos) << sessions[0].control;
  EXPECT_TRUE(sessions[0].complete);
  EXPECT_EQ(sessions[1].dataName.find("dfA"), 0u);
  EXPECT_FALSE(sessions[1].complete) << "the empty file stops the job";
  EXPECT_EQ(rows(), (std::vector<std::string>{"2-b.txt", "1-a.txt"})) << "only the file sent left the list";

  // Names ascending again; a file added later takes its place among them.
  clickName();
  ASSERT_EQ(rows(), (std::vector<std::string>{"1-a.txt", "2-b.txt"}));
  testsupport::WriteFile(dir_.path() / "0-z.txt", "added later");
  add({"0-z.txt"});
  EXPECT_EQ(rows(), (std::vector<std::string>{"0-z.txt", "1-a.txt", "2-b.txt"}));
}

}  // namespace

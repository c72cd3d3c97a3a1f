// The main window, headless, against emulated boxes with the virtual clock:
// boxes of every model appear with their icons and texts, the repeated
// search refreshes them, SEARCH restarts a running search, the tool bar
// follows the selection and the mouse, and the window shrinks to its
// minimum.
#include <filesystem>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/DeviceCommand.h"
#include "Admin/MainWindow.h"
#include "Admin/SearchConfig.h"
#include "admin_harness.h"
#include "box_names.h"
#include "pboxemu/emulator.h"
#include "settle.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/netconfig.h"
#include "toolbox/pictures.h"
#include "toolbox/pump.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox/windows.h"

namespace {

using admintest::Bundle;

void LocalToGlobalFor(DialogRef dialog, Point* p) {
  tb::PortSaver port(GetDialogPort(dialog));
  LocalToGlobal(p);
}

class AdminWindow : public ::testing::Test {
 protected:
  AdminWindow() : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()) {}

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(admintest::LoadForLoopbackSearch(20));
    Install_Menu();
  }
  void TearDown() override { admintest::EndProgram(emu); }

  void scene() {
    const pboxemu::Model models[] = {pboxemu::Model::QSV_C, pboxemu::Model::QSV_E, pboxemu::Model::QSV_B,
                                     pboxemu::Model::QSV_A, pboxemu::Model::QSV_C, pboxemu::Model::Foreign};
    for (int i = 0; i < 6; ++i) {
      pboxemu::BoxSpec d;
      d.model = models[i];
      d.status = UInt16(i == 2 ? 7 : 0);
      d.noAddress = i == 4;
      d.name = "Box " + std::to_string(i);
      emu.AddBox(d);
    }
    std::string err;
    ASSERT_TRUE(emu.Start(&err)) << err;
    ASSERT_EQ(Open_Main_Window(), 1);
  }

  // The event loop's idle step until the network is quiet.
  void settle() {
    ottest::Settle(emu, [] { Update_Main_Dialog(); });
    Update_Main_Dialog();
  }
  // A whole search: it runs until its time-out on the virtual clock.
  void search_cycle() {
    for (int i = 0; i < 4; ++i) {
      settle();
      tb::AdvanceTicks(31);
    }
    settle();
  }
  int rows() { return CLGetCount(mainTbl.pservList); }
  std::string cell(int row, int column) { return admintest::MainListCell(row, column); }
  int row_of(const std::string& name) { return admintest::MainListRow(name); }

  testsupport::ScopedEnv ports_;
  pboxemu::Emulator emu;
};

TEST_F(AdminWindow, BoxesOfEveryModelAppearWithIconsAndTexts) {
  scene();
  search_cycle();
  ASSERT_EQ(rows(), 5);  // the foreign box is refused by the model filter
  EXPECT_EQ(row_of("Box 5"), -1);
  struct Want {
    const char* name;
    SInt16 icon;
    const char* status;
  };
  const Want wants[] = {{"Box 0", 141, "Ready"},  {"Box 1", 141, "Ready"}, {"Box 2", 143, "Toner low"},
                        {"Box 3", 140, "Ready"},  {"Box 4", 140, "Ready"}};
  for (const Want& w : wants) {
    const int r = row_of(w.name);
    ASSERT_GE(r, 0) << w.name;
    EXPECT_EQ(CLGetIconID(mainTbl.pservList, SInt16(r)), w.icon) << w.name;
    EXPECT_EQ(cell(r, 0), w.status) << w.name;
  }
  EXPECT_EQ(cell(row_of("Box 4"), 3), "0.0.0.0");

  // The window as drawn: every row has its icon and its name in dark ink.
  CLUpdate(mainTbl.pservList, nullptr, 1);
  CGrafPtr port = GetDialogPort(Get_Open_Main_Dialog());
  for (int r = 0; r < 5; ++r) {
    const short top = short(60 + 18 * r);
    EXPECT_TRUE(testsupport::DarkInkIn(port, Rect{top, 2, short(top + 18), 22}, 0x90)) << "icon " << r;
    EXPECT_TRUE(testsupport::DarkInkIn(port, Rect{top, 152, short(top + 18), 290})) << "name " << r;
  }
  // The status bar's panels are picture 132 framed to their size: its
  // corners as they are, its middle stretched (the address panels show no
  // text while no row is selected).
  const Rect pictRect{0, 0, 16, 14};
  GWorldPtr pict = nullptr;
  ASSERT_EQ(NewGWorld(&pict, 32, &pictRect, nullptr, nullptr, 0), noErr);
  {
    tb::PortSaver saved;
    SetGWorld(pict, nullptr);
    PicHandle pic = GetPicture(132);
    ASSERT_NE(pic, nullptr);
    DrawPicture(pic, &pictRect);
  }
  const STATUS_DATA& bar = mainTbl.statusBar;
  for (const Rect& p : {bar.cntRect, bar.eNetRect, bar.ipAddrRect}) {
    EXPECT_EQ(tb::PortPixel(port, p.left, p.top), tb::PortPixel(pict, 0, 0));
    EXPECT_EQ(tb::PortPixel(port, p.right - 1, p.top), tb::PortPixel(pict, 13, 0));
    EXPECT_EQ(tb::PortPixel(port, p.left, p.bottom - 1), tb::PortPixel(pict, 0, 15));
    EXPECT_EQ(tb::PortPixel(port, p.right - 1, p.bottom - 1), tb::PortPixel(pict, 13, 15));
  }
  for (const Rect& p : {bar.eNetRect, bar.ipAddrRect})
    EXPECT_EQ(tb::PortPixel(port, (p.left + p.right) / 2, (p.top + p.bottom) / 2), tb::PortPixel(pict, 7, 8));
  DisposeGWorld(pict);
  // Kept for a person to look at; the folder may not exist yet on a fresh build.
  const std::string dir = std::string(std::getenv("VEMO_BUILD_DIR")) + "/test-home";
  std::filesystem::create_directories(dir);
  const std::string shot = dir + "/admin-main-window.png";
  EXPECT_EQ(tb::SaveWindowPNG(GetDialogWindow(Get_Open_Main_Dialog()), shot.c_str()), noErr);
}

TEST_F(AdminWindow, TheNextCycleShowsAChangedStatusAndAddress) {
  scene();
  search_cycle();
  const int r = row_of("Box 0");
  ASSERT_GE(r, 0);
  // A whole cycle of the same answers draws nothing at all.
  CGrafPtr port = GetDialogPort(Get_Open_Main_Dialog());
  const UInt64 quiet = tb::PortPixelsVersion(port);
  tb::AdvanceTicks(20 * 60 + 1);
  search_cycle();
  EXPECT_EQ(tb::PortPixelsVersion(port), quiet);
  auto window = [&] {
    return admintest::PortPixels(port, Rect{0, 0, SInt16(tb::PortHeight(port)), SInt16(tb::PortWidth(port))});
  };
  const std::vector<UInt32> before = window();

  emu.SetStatus(0, 13);
  emu.SetStatus(1, 44);  // beyond the table: shown as status 0
  tb::AdvanceTicks(20 * 60 + 1);
  search_cycle();
  // Only the changed status cell was drawn again, as the whole list draws it.
  Rect list;
  CLGetRect(mainTbl.pservList, &list, false, false, false);
  const Rect changed{SInt16(list.top + 18 * r), list.left, SInt16(list.top + 18 * r + 18), SInt16(list.left + 150)};
  const std::vector<UInt32> after = window();
  int outside = 0, inside = 0;
  for (int v = 0; v < tb::PortHeight(port); ++v)
    for (int h = 0; h < tb::PortWidth(port); ++h) {
      const std::size_t i = std::size_t(v * tb::PortWidth(port) + h);
      if (after[i] == before[i]) continue;
      (PtInRect(Point{SInt16(v), SInt16(h)}, &changed) ? inside : outside)++;
    }
  EXPECT_GT(inside, 0);
  EXPECT_EQ(outside, 0);
  CLUpdate(mainTbl.pservList, nullptr, 1);
  EXPECT_EQ(window(), after);
  EXPECT_EQ(cell(r, 0), "Receiving data");
  EXPECT_EQ(CLGetIconID(mainTbl.pservList, SInt16(r)), 144);
  EXPECT_EQ(cell(row_of("Box 1"), 0), "Ready");
  EXPECT_EQ(CLGetIconID(mainTbl.pservList, SInt16(row_of("Box 1"))), 141);
  EXPECT_EQ(rows(), 5);
}

TEST_F(AdminWindow, SearchRestartsARunningSearchAndNoProtocolSearchesNothing) {
  scene();
  settle();  // the first cycle is running
  ASSERT_GT(rows(), 0);
  Search_Again_PBOX();
  EXPECT_EQ(rows(), 0);
  search_cycle();
  EXPECT_EQ(rows(), 5);

  ConfigData.Protocol_1 = 0;
  ConfigData.Protocol_2 = 0;
  search_cycle();  // let the running cycle end
  Search_Again_PBOX();
  const int probes = emu.Probes(0);
  tb::AdvanceTicks(20 * 60 + 1);
  search_cycle();
  EXPECT_EQ(rows(), 0);
  EXPECT_EQ(emu.Probes(0), probes);
}

TEST_F(AdminWindow, ToolBarFollowsSelectionAndMouseAndTheWindowShrinksToItsMinimum) {
  scene();
  search_cycle();
  DialogRef dialog = Get_Open_Main_Dialog();
  auto button = [](const char* title) -> TOOL_CONTROL& {
    for (TOOL_CONTROL& t : toolBarInfo.toolData)
      if (std::strcmp(t.title, title) == 0) return t;
    static TOOL_CONTROL none;
    return none;
  };
  EXPECT_EQ(button("SEARCH").status, 1);
  EXPECT_EQ(button("JCSETUP").status, 2);  // needs a selected box
  EXPECT_EQ(button("---").ctlRect.right - button("---").ctlRect.left, 2);

  // Select the first row: the selection buttons come on.
  Point p{70, 100};
  LocalToGlobalFor(dialog, &p);
  EventRecord down{mouseDown, 0, TickCount(), p, 0};
  Handle_Main_Select_Item(dialog, &down, 2);
  EXPECT_EQ(Get_PBOX_Select_Count(), 1);
  EXPECT_EQ(button("JCSETUP").status, 1);

  // Hover over SEARCH, then away.
  Rect r = button("SEARCH").ctlRect;
  Point over{short(r.top + 5), short(r.left + 5)};
  LocalToGlobalFor(dialog, &over);
  EventRecord idle{nullEvent, 0, TickCount(), over, 0};
  EXPECT_EQ(Handle_Main_Mouse_Move(dialog, &idle), 1);
  EXPECT_EQ(button("SEARCH").mouseStat, 0x10);
  Point away{short(r.top + 150), short(r.left + 300)};
  LocalToGlobalFor(dialog, &away);
  idle.where = away;
  Handle_Main_Mouse_Move(dialog, &idle);
  EXPECT_EQ(button("SEARCH").mouseStat, 0x20);

  // The column divider of the header takes the resize cursor.
  Point divider{50, 150};
  LocalToGlobalFor(dialog, &divider);
  idle.where = divider;
  Handle_Main_Column_Cursol(dialog, &idle);
  EXPECT_EQ(tb::CurrentCursorID(), 161);
  idle.where = away;
  Handle_Main_Column_Cursol(dialog, &idle);
  EXPECT_EQ(tb::CurrentCursorID(), 0);

  // Press and release SEARCH: it runs.
  EventRecord press{mouseDown, 0, TickCount(), over, 0};
  EXPECT_TRUE(Handle_Main_Select_Item(dialog, &press, 1));
  EXPECT_EQ(button("SEARCH").status, 5);
  EventRecord up{mouseUp, 0, TickCount(), over, 0};
  Handle_Main_Select_Item2(dialog, &up);
  EXPECT_EQ(button("SEARCH").status, 1);
  EXPECT_EQ(rows(), 0);  // SEARCH ran: the list starts again

  // Drag the grow box far up and left: the window stops at 300 x 150.
  WindowRef window = GetDialogWindow(dialog);
  Rect bounds;
  GetWindowBounds(window, kWindowContentRgn, &bounds);
  const Point grow{short(bounds.bottom - 5), short(bounds.right - 5)};
  tb::DragFromTo(grow, Point{short(grow.v - 1000), short(grow.h - 1000)});
  EventRecord e;
  for (int i = 0; i < 20; ++i) {
    if (!GetNextEvent(everyEvent, &e)) continue;
    if (e.what == mouseDown) Handle_Mouse_Down(&e);
  }
  GetWindowBounds(window, kWindowContentRgn, &bounds);
  EXPECT_EQ(bounds.right - bounds.left, 300);
  EXPECT_EQ(bounds.bottom - bounds.top, 150);
  Rect list;
  CLGetRect(mainTbl.pservList, &list, true, true, true);
  EXPECT_EQ(list.right, 300);
  EXPECT_EQ(list.bottom, 135);
}

TEST_F(AdminWindow, JapaneseTextsAreListedDrawnAndCutWhole) {
  std::strcpy(IniFileName, (Bundle() + "/Contents/Resources/Japanese/Admin.ini").c_str());
  scene();
  search_cycle();
  ASSERT_EQ(rows(), 5);
  EXPECT_EQ(cell(row_of("Box 0"), 0), "待機中");
  EXPECT_EQ(cell(row_of("Box 2"), 0), "トナー残量少");
  CGrafPtr port = GetDialogPort(Get_Open_Main_Dialog());
  CLUpdate(mainTbl.pservList, nullptr, 1);
  EXPECT_TRUE(testsupport::DarkInkIn(port, Rect{60, 22, 78, 140}));
  // At the smallest size the status bar's texts no longer fit and are cut
  // before a whole character (UTF-8 checked by the sanitizers' reads and the
  // drawing's decoder).
  WindowRef window = GetDialogWindow(Get_Open_Main_Dialog());
  Rect bounds;
  GetWindowBounds(window, kWindowContentRgn, &bounds);
  const Point grow{short(bounds.bottom - 5), short(bounds.right - 5)};
  tb::DragFromTo(grow, Point{short(grow.v - 1000), short(grow.h - 1000)});
  EventRecord e;
  for (int i = 0; i < 20; ++i) {
    if (!GetNextEvent(everyEvent, &e)) continue;
    if (e.what == mouseDown) Handle_Mouse_Down(&e);
    if (e.what == updateEvt) Handle_Main_Update(Get_Open_Main_Dialog(), &e);
  }
  GetWindowBounds(window, kWindowContentRgn, &bounds);
  ASSERT_EQ(bounds.right - bounds.left, 300);
  EXPECT_TRUE(testsupport::DarkInkIn(port, Rect{136, 4, 150, 140}));
}

// Every name of the shared table as a box's own name, in each language:
// listed as the language's encoding reads it.
class AdminNames : public AdminWindow, public ::testing::WithParamInterface<testsupport::BoxLanguage> {};

TEST_P(AdminNames, DeviceNamesReadInTheLanguagesEncoding) {
  const int lang = GetParam();
  std::snprintf(IniFileName, sizeof IniFileName, "%s/Contents/Resources/%s/Admin.ini", Bundle().c_str(),
                lang == testsupport::kJapanese ? "Japanese" : "English");
  tb::SetSystemLanguage(lang == testsupport::kJapanese ? "ja" : "en");
  for (const testsupport::BoxName& n : testsupport::BoxNames()) {
    pboxemu::BoxSpec d;
    d.name = n.held;
    emu.AddBox(d);
  }
  std::string err;
  ASSERT_TRUE(emu.Start(&err)) << err;
  ASSERT_EQ(Open_Main_Window(), 1);
  search_cycle();
  ASSERT_EQ(rows(), int(testsupport::BoxNames().size()));
  for (const testsupport::BoxName& n : testsupport::BoxNames()) EXPECT_GE(row_of(n.shown[lang]), 0) << n.what;
}

INSTANTIATE_TEST_SUITE_P(Languages, AdminNames, ::testing::Values(testsupport::kEnglish, testsupport::kJapanese),
                         [](const ::testing::TestParamInfo<testsupport::BoxLanguage>& p) {
                           return std::string(p.param == testsupport::kJapanese ? "Japanese" : "English");
                         });

}  // namespace

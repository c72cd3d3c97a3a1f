// The tabbed settings dialog: its first page, tab presses and a page that
// refuses to be left, pages by title, and the keys that answer its buttons.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/AppWindows.h"
#include "FanctionLib/CListPriv.h"
#include "FanctionLib/ConfigDialog.h"
#include "stub_host.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox_fixture.h"

namespace {

using Strings = std::vector<std::string>;

// A program's settings-dialog record, built on the frame's part.
struct SettingsRecord : CONFIG_FRAME {
  int closeFlag;
};

Strings gCalls;

template <int Page>
void PageSetup(DialogRef) { gCalls.push_back("setup " + std::to_string(Page)); }
template <int Page>
void PageLoad(DialogRef) { gCalls.push_back("load " + std::to_string(Page)); }
template <int Page>
Boolean PageGet(DialogRef) {
  gCalls.push_back("get " + std::to_string(Page));
  return true;
}

struct PageDef {
  const char* title;
  SInt16 id;  // 0: the tab has no page
};

class ConfigFrame : public testsupport::ToolboxFixture {
 protected:
  ConfigFrame() : ToolboxFixture(Clock::kVirtual, CONFIG_TEST_RSRC) {}
  void SetUp() override {
    testhost::Reset();
    ToolboxFixture::SetUp();
    gCalls.clear();
    // The program's page table: 401 has every callback, 402 no setup
    // (as the status monitor's pages); others none.
    testhost::host().onSetConfigFunction = [](CONF_TAB_CELL* cell, SInt16 id) {
      *cell = CONF_TAB_CELL{};
      if (id == 401) *cell = CONF_TAB_CELL{PageSetup<401>, nullptr, PageLoad<401>, PageGet<401>, nullptr};
      if (id == 402) *cell = CONF_TAB_CELL{nullptr, nullptr, PageLoad<402>, PageGet<402>, nullptr};
    };
    // The program's item handler sends presses on the tab item to the frame.
    testhost::host().onConfigSelectItem = [](DialogRef d, EventRecord* e, DialogItemIndex item) -> Boolean {
      if (item == kConfigTabItem) Handle_Config_Tab_Select(d, e, item);
      return true;
    };
  }
  void TearDown() override {
    if (rec_.tabData) CTDispose(rec_.tabData);
    while (Win_Que_Base) Close_Usr_Window(static_cast<USR_WINDOW_QUEUE*>(Win_Que_Base->q_body)->wndPtr);
    ToolboxFixture::TearDown();
  }

  // Opens the dialog as a program does: its build makes a tab per page
  // over item 4 with the frame below it, then the first page is shown.
  void Open(std::vector<PageDef> pages = {{"Status", 401}, {"Popup", 402}}) {
    pages_ = std::move(pages);
    testhost::host().onBuildConfigTab = [this](CONFIG_FRAME* record) -> short {
      Rect tabs;
      GetDialogItem(record->dlg, kConfigTabItem, nullptr, nullptr, &tabs);
      const Rect frame{tabs.bottom, tabs.left, 250, tabs.right};
      record->tabData = CTNew(GetDialogWindow(record->dlg), &tabs, &frame, 16, false, 0xFFFFFF, true);
      if (!record->tabData) return 0;
      CTSetPictID(record->tabData, 143, 142, 144, 145, 145, 145, 145, 145);
      int page = 0;
      for (const PageDef& p : pages_) {
        Str255 title;
        pstr::set(title, sizeof title, p.title);
        CTAdd(record->tabData, title, -1);
        if (!p.id || page >= kConfigPageCount) continue;
        CONFIG_PAGE& cp = record->fanction[page++];
        cp.enable = 1;
        cp.contID = p.id;
        std::strcpy(cp.contName, p.title);
        Set_Config_Function(&cp.cellData, p.id);
      }
      return 1;
    };
    dlg_ = Open_Usr_Dialog(500, nullptr, Handle_Config_Select_Item, nullptr, nullptr, Handle_Config_Window_Active,
                           nullptr, Handle_Config_Key_Input);
    ASSERT_NE(dlg_, nullptr);
    rec_.dlg = dlg_;
    Set_Usr_Window_RefCon(dlg_, static_cast<CONFIG_FRAME*>(&rec_));
    EXPECT_EQ(Create_Config_Tab(&rec_), 1);
    Load_Config_Dialog(&rec_);
    Run();
  }

  static void Run() {
    EventRecord e;
    for (int n = 0; n < 100 && GetNextEvent(everyEvent, &e); ++n)
      if (Handle_Dialog_Event(&e) != 1) Handle_Window_Event(&e);
  }
  // A click on tab idx (the number of tabs: beside the last), dv pixels
  // below the tab item's top.
  void ClickTab(SInt16 idx, SInt16 dv) {
    CTAB_DATA* ct = rec_.tabData;
    SInt16 h = ct->tabRect.left;
    for (SInt16 i = ct->visTabNo; i < idx; ++i) h = SInt16(h + ctab::GetTab(ct, i)->width);
    tb::AdvanceClock(GetDblTime() + 1);
    ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(dlg_), Point{SInt16(ct->tabRect.top + dv), SInt16(h + 5)}));
    Run();
  }
  DialogItemType Kind(DialogItemIndex item) {
    DialogItemType kind = 0;
    GetDialogItem(dlg_, item, &kind, nullptr, nullptr);
    return kind;
  }
  static Strings Taken() {
    Strings out;
    out.swap(gCalls);
    return out;
  }
  static std::vector<short> LeftTabs() {
    std::vector<short> out;
    for (auto& [record, index] : testhost::host().deleteConfigDialogs) out.push_back(index);
    testhost::host().deleteConfigDialogs.clear();
    return out;
  }

  std::vector<PageDef> pages_;
  SettingsRecord rec_{};
  DialogRef dlg_ = nullptr;
};

TEST_F(ConfigFrame, OpensOnTheFirstTabsPage) {
  Open();
  EXPECT_EQ(CTGetCurSel(rec_.tabData), 0);
  EXPECT_TRUE(rec_.tabData->bShow);
  EXPECT_EQ(CountDITL(dlg_), 6);
  EXPECT_EQ(Kind(5), kCheckBoxDialogItem);
  EXPECT_EQ(Taken(), (Strings{"setup 401", "load 401"}));
}

TEST_F(ConfigFrame, TabPressesAndTheLeavingPagesRefusal) {
  Open({{"Status", 401}, {"Popup", 402}, {"Extra", 0}});
  Taken();
  struct Step {
    const char* what;
    SInt16 tab, dv;
    short accept;  // what the page being left answers
    SInt16 curSel, items;
    std::vector<short> left;
    Strings calls;
  };
  const Step steps[] = {
      {"beside the last tab", 3, 12, 1, 0, 6, {}, {}},
      {"on the selected tab", 0, 18, 1, 0, 6, {}, {}},
      {"refused by the page", 1, 18, 0, 0, 6, {0}, {}},
      {"accepted, on the title's top row", 1, 2, 1, 1, 7, {0}, {"load 402"}},
      {"to a tab without a page", 2, 18, 1, 2, 7, {1}, {}},
      {"back to the first", 0, 18, 1, 0, 6, {2}, {"setup 401", "load 401"}},
  };
  for (const Step& s : steps) {
    testhost::host().deleteConfigResult = s.accept;
    ClickTab(s.tab, s.dv);
    EXPECT_EQ(CTGetCurSel(rec_.tabData), s.curSel) << s.what;
    EXPECT_EQ(CountDITL(dlg_), s.items) << s.what;
    EXPECT_EQ(LeftTabs(), s.left) << s.what;
    EXPECT_EQ(Taken(), s.calls) << s.what;
  }
  // After the refusal the old tab looks selected again.
  testhost::host().deleteConfigResult = 0;
  ClickTab(2, 18);
  EXPECT_EQ(ctab::GetTab(rec_.tabData, 0)->state, 0);
  EXPECT_EQ(ctab::GetTab(rec_.tabData, 2)->state, 1);
  EXPECT_EQ(Kind(5), kCheckBoxDialogItem);
  EXPECT_EQ(tb::PortPixel(GetDialogPort(dlg_), rec_.tabData->tabRect.left + 5, rec_.tabData->tabRect.top + 20),
            tb::PackPixel(0xFF, 0xF0, 0xA0));
}

TEST(ConfigFrameLookup, PagesByTitlePrefix) {
  CONFIG_FRAME f{};
  const struct {
    const char* name;
    UInt8 enable;
  } pages[kConfigPageCount] = {{"Status", 1}, {"Popup", 0}, {"Popup window", 1}};
  for (int i = 0; i < kConfigPageCount; ++i) {
    f.fanction[i].enable = pages[i].enable;
    std::strcpy(f.fanction[i].contName, pages[i].name);
  }
  const struct {
    const char* title;
    short index;
  } cases[] = {{"Status", 0}, {"Sta", 0}, {"Popup", 2}, {"Popup window", 2}, {"Statusbar", -1},
               {"status", -1}, {"Screen", -1}, {"", 0}};
  for (const auto& c : cases) {
    Str255 t;
    pstr::set(t, sizeof t, c.title);
    EXPECT_EQ(Get_Config_Fanction(&f, t), c.index) << c.title;
  }
  // A name that fills its whole field, without a NUL, is read no further.
  std::memset(f.fanction[0].contName, 'A', sizeof f.fanction[0].contName);
  Str255 t;
  t[0] = 255;
  std::memset(t + 1, 'A', 255);
  EXPECT_EQ(Get_Config_Fanction(&f, t), 0);
  EXPECT_EQ(Get_Config_Fanction(nullptr, t), -1);
}

TEST_F(ConfigFrame, ReturnEnterAndEscapeAnswerTheButtons) {
  Open();
  const struct {
    const char* what;
    char ch;
    UInt8 code;
    DialogItemIndex item;  // 0: the key goes to the dialog
  } keys[] = {{"Return", '\r', 0x24, kConfigOK}, {"Enter", 0x03, 0x4C, kConfigOK},
              {"Escape", 0x1B, 0x35, kConfigCancel}, {"period", '.', 0x2F, 0}};
  for (const auto& k : keys) {
    testhost::host().configSelectItems.clear();
    EventRecord e{};
    e.what = keyDown;
    e.message = (UInt32(k.code) << 8) | UInt8(k.ch);
    EXPECT_EQ(Handle_Config_Key_Input(dlg_, &e), k.item == 0) << k.what;
    const std::vector<DialogItemIndex> want = k.item ? std::vector<DialogItemIndex>{k.item}
                                                     : std::vector<DialogItemIndex>{};
    EXPECT_EQ(testhost::host().configSelectItems, want) << k.what;
  }
  // Through the event loop: a period reaches the page's edit item, Escape
  // the program's Cancel.
  testhost::host().configSelectItems.clear();
  tb::PressKey('.', 0x2F);
  tb::PressKey(0x1B, 0x35);
  Run();
  Handle text;
  GetDialogItem(dlg_, 6, nullptr, &text, nullptr);
  Str255 typed;
  GetDialogItemText(text, typed);
  EXPECT_NE(pstr::str(typed).find('.'), std::string::npos);
  EXPECT_EQ(testhost::host().configSelectItems, (std::vector<DialogItemIndex>{kConfigCancel}));
}

TEST_F(ConfigFrame, ListPressesCountOnlyInsideTheItem) {
  Open();
  EXPECT_EQ(Config_Select_Dialog_Page(dlg_, 404), 1);
  ASSERT_EQ(CountDITL(dlg_), 5);
  // The list reaches below item 5: its lower rows lie outside the item.
  const Rect r{60, 20, 240, 380};
  CLIST_DATA* list = CLNew(GetDialogWindow(dlg_), &r, Point{18, 360}, false, true, false);
  ASSERT_NE(list, nullptr);
  Str255 t;
  pstr::set(t, sizeof t, "Name");
  CLAddColumn(list, t, 300, kCLSortText);
  for (SInt16 row = 0; row < 6; ++row) {
    pstr::set(t, sizeof t, "Row " + std::to_string(row));
    CLSetCellOne(list, Cell{row, 0}, t);
  }
  Rect item;
  GetDialogItem(dlg_, 5, nullptr, nullptr, &item);
  const struct {
    const char* what;
    SInt16 row;
    bool later;   // long after the previous press
    bool result;  // a double-click
    SInt16 selected;
  } presses[] = {{"below the item", 5, true, false, -1},
                 {"on a row", 1, true, false, 1},
                 {"on it again", 1, false, true, 1},
                 {"below the item again", 5, true, false, 1}};
  for (const auto& p : presses) {
    Rect cell;
    clist::GetCellRect(list, Cell{p.row, 0}, &cell);
    ASSERT_EQ(cell.top >= item.bottom, p.row == 5) << p.what;
    if (p.later) tb::AdvanceClock(GetDblTime() + 1);
    Rect content;
    GetWindowBounds(GetDialogWindow(dlg_), kWindowContentRgn, &content);
    tb::ClickAt(Point{SInt16(content.top + cell.top + 5), SInt16(content.left + cell.left + 20)});
    EventRecord e;
    ASSERT_TRUE(GetNextEvent(mDownMask, &e));
    EXPECT_EQ(Handle_List_Select(dlg_, &e, 5, list), p.result) << p.what;
    Cell sel{0, 0};
    EXPECT_EQ(CLGetSelect(list, &sel, true) ? sel.v : -1, p.selected) << p.what;
    Run();
  }
  CLDispose(list);
}

}  // namespace

// The Menu Manager: item metacharacters, mouse selection, Command keys, the
// application menu's Quit, marks and the bar, pop-ups and menus from
// resources.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "test_support.h"
#include "toolbox/appleevents.h"
#include "toolbox/carbonevents.h"
#include "toolbox/events.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox/windows.h"

namespace {

Str255 gText;
ConstStr255Param P(const char* s) {
  pstr::set(gText, sizeof gText, s);
  return gText;
}

std::vector<MenuCommand> gCommands;
bool recordCommand(MenuCommand c) {
  gCommands.push_back(c);
  return true;
}

struct MenusTest : ::testing::Test {
  MenuRef file = nullptr;
  MenuRef edit = nullptr;

  void SetUp() override {
    tb::ResetEventState();
    tb::ResetMenus();
    gCommands.clear();
    tb::SetMenuCommandHandler(recordCommand);
    MenuRef apple = NewMenu(128, P("\x14"));
    AppendMenu(apple, P("About This Program"));
    InsertMenu(apple, 0);
    file = NewMenu(129, P("File"));
    AppendMenu(file, P("New/N;Open.../O;(Close/W;-;Print/P"));
    InsertMenu(file, 0);
    edit = NewMenu(130, P("Edit"));
    AppendMenu(edit, P("Undo/Z;Copy/C"));
    InsertMenu(edit, 0);
    DrawMenuBar();
  }
  void TearDown() override {
    tb::SetMenuCommandHandler(nullptr);
    tb::ResetMenus();
    tb::DisposeAllWindows();
    tb::ResetEventState();
  }

  // What a program's mouse-down handler does with a click in the bar.
  static long selectByMouse() {
    EventRecord ev;
    if (!GetNextEvent(mDownMask, &ev)) return -1;
    WindowRef w;
    if (FindWindow(ev.where, &w) != inMenuBar) return -2;
    return MenuSelect(ev.where);
  }
};

TEST_F(MenusTest, MetacharactersMakeItemsKeysAndDividers) {
  EXPECT_EQ(CountMenuItems(file), 5);
  Str255 s;
  GetMenuItemText(file, 2, s);
  EXPECT_EQ(pstr::view(s), "Open...");
  CharParameter c = 0;
  GetItemCmd(file, 2, &c);
  EXPECT_EQ(c, 'O');
  EXPECT_FALSE(IsMenuItemEnabled(file, 3));  // "(" disables
  EXPECT_FALSE(IsMenuItemEnabled(file, 4));  // a divider
  // The literal forms keep every character.
  AppendMenuItemText(file, P("Save As/Export;(x)"));
  GetMenuItemText(file, 6, s);
  EXPECT_EQ(pstr::view(s), "Save As/Export;(x)");
  // The programs' way to get a "/" into a title.
  InsertMenuItem(edit, P(" "), 0);
  SetMenuItemText(edit, 1, P("Read/Write"));
  GetMenuItemText(edit, 1, s);
  EXPECT_EQ(pstr::view(s), "Read/Write");
  EXPECT_EQ(CountMenuItems(edit), 3);
  DeleteMenuItem(edit, 1);
  DeleteMenuItems(file, 5, 100);
  EXPECT_EQ(CountMenuItems(file), 4);
  DeleteMenuItem(file, 99);  // ignored
  EXPECT_EQ(CountMenuItems(file), 4);
  GetMenuItemText(file, 99, s);
  EXPECT_EQ(s[0], 0);
}

TEST_F(MenusTest, MenuSelectByMouse) {
  ASSERT_TRUE(tb::ChooseMenuItem(129, 2));
  EXPECT_EQ(selectByMouse(), (129L << 16) | 2);
  EXPECT_EQ(tb::HilitedMenu(), 129);  // left lit until the program is done
  HiliteMenu(0);
  EXPECT_EQ(tb::HilitedMenu(), 0);

  ASSERT_TRUE(tb::ChooseMenuItem(130, 1));
  EXPECT_EQ(selectByMouse(), (130L << 16) | 1);
  HiliteMenu(0);

  // Disabled items, dividers and disabled menus give no choice.
  ASSERT_TRUE(tb::ChooseMenuItem(129, 3));
  EXPECT_EQ(selectByMouse(), 0);
  EXPECT_EQ(tb::HilitedMenu(), 0);
  ASSERT_TRUE(tb::ChooseMenuItem(129, 4));
  EXPECT_EQ(selectByMouse(), 0);
  DisableMenuItem(edit, 0);
  ASSERT_TRUE(tb::ChooseMenuItem(130, 1));
  EXPECT_EQ(selectByMouse(), 0);
  EnableMenuItem(edit, 0);

  // Released back on the bar: nothing.
  Rect title;
  ASSERT_TRUE(tb::MenuTitleRect(129, &title));
  tb::ClickAt(Point{5, short(title.left + 5)});
  EXPECT_EQ(selectByMouse(), 0);

  ASSERT_TRUE(tb::ChooseMenuItemByText("Edit", "Copy"));
  EXPECT_EQ(selectByMouse(), (130L << 16) | 2);
  EXPECT_FALSE(tb::ChooseMenuItemByText("Edit", "Paste"));
  EXPECT_FALSE(tb::ChooseMenuItem(131, 1));
}

// A click on a title opens its menu, which stays open until the next click
// chooses an item or closes it; keys move through it. All of it is taken
// by the menu: nothing is left for the program.
TEST_F(MenusTest, AClickOpensAMenuThatTheNextClickChoosesFrom) {
  const auto title = [](MenuID id) {
    Rect r;
    EXPECT_TRUE(tb::MenuTitleRect(id, &r));
    return Point{SInt16((r.top + r.bottom) / 2), SInt16((r.left + r.right) / 2)};
  };
  const auto item = [](MenuID id, MenuItemIndex i) {
    Rect r;
    EXPECT_TRUE(tb::MenuItemRect(id, i, &r));
    return Point{SInt16((r.top + r.bottom) / 2), SInt16((r.left + r.right) / 2)};
  };
  const auto click = [](Point p) { tb::ClickAt(p); };
  const auto key = [](const char* name) { return [name] { tb::PressNamedKey(name); }; };
  struct Case {
    const char* what;
    std::vector<std::function<void()>> then;  // after a click on File's title
    long choice;
  } const cases[] = {
      {"a click on an item", {[&] { click(item(129, 5)); }}, (129L << 16) | 5},
      {"the pointer moved there first",
       {[&] { tb::MoveMouseTo(item(129, 2)); }, [&] { click(item(129, 2)); }},
       (129L << 16) | 2},
      {"a dimmed item, then another", {[&] { click(item(129, 3)); }, [&] { click(item(129, 1)); }}, (129L << 16) | 1},
      {"a divider, then another", {[&] { click(item(129, 4)); }, [&] { click(item(129, 5)); }}, (129L << 16) | 5},
      {"another title, then its item", {[&] { click(title(130)); }, [&] { click(item(130, 2)); }}, (130L << 16) | 2},
      {"the same title again", {[&] { click(title(129)); }}, 0},
      {"a click elsewhere",
       {[&] {
         click(Point{400, 600});
       }},
       0},
      {"nothing more", {}, 0},
      {"Down past the dimmed item, Return", {key("Down"), key("Down"), key("Down"), key("Return")}, (129L << 16) | 5},
      {"Down, Up at the first, Enter", {key("Down"), key("Up"), key("Up"), key("Enter")}, (129L << 16) | 1},
      {"Right to the next menu, Down, Return", {key("Right"), key("Down"), key("Return")}, (130L << 16) | 1},
      {"Escape", {key("Down"), key("Escape")}, 0},
      {"Return with nothing hilited", {key("Return")}, 0},
  };
  for (const Case& c : cases) {
    click(title(129));
    for (const auto& input : c.then) input();
    EXPECT_EQ(selectByMouse(), c.choice) << c.what;
    EXPECT_EQ(tb::QueuedEventCount(), 0) << c.what;
    EXPECT_EQ(tb::ShownMenu(), nullptr) << c.what;
    EXPECT_EQ(tb::HilitedMenu(), c.choice >> 16) << c.what;
    HiliteMenu(0);
  }
}

TEST_F(MenusTest, CommandKeys) {
  struct Case {
    CharParameter key;
    long choice;
  } cases[] = {
      {'n', (129L << 16) | 1}, {'N', (129L << 16) | 1}, {'z', (130L << 16) | 1},
      {'w', 0},  // disabled item
      {'k', 0},  // no such key
      {' ', 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MenuKey(c.key), c.choice) << char(c.key);
    HiliteMenu(0);
  }
  DisableMenuItem(file, 0);
  EXPECT_EQ(MenuKey('n'), 0);
  EnableMenuItem(file, 0);

  EventRecord ev{keyDown, 'c', 0, {0, 0}, cmdKey};
  EXPECT_EQ(MenuEvent(&ev), (130u << 16) | 2);
  ev.modifiers = 0;
  EXPECT_EQ(MenuEvent(&ev), 0u);
}

TEST_F(MenusTest, TheApplicationMenuQuitsThroughTheCommandHandler) {
  EXPECT_TRUE(IsMenuCommandEnabled(nullptr, kHICommandQuit));
  EXPECT_EQ(MenuKey('q'), 0);
  ASSERT_EQ(gCommands.size(), 1u);
  EXPECT_EQ(gCommands[0], kHICommandQuit);

  ASSERT_TRUE(tb::ChooseMenuItem(kApplicationMenuID, 1));
  EXPECT_EQ(selectByMouse(), 0);
  EXPECT_EQ(gCommands.size(), 2u);

  DisableMenuCommand(nullptr, kHICommandQuit);
  EXPECT_FALSE(IsMenuCommandEnabled(nullptr, kHICommandQuit));
  EXPECT_EQ(MenuKey('q'), 0);
  EXPECT_EQ(gCommands.size(), 2u);
  EnableMenuCommand(nullptr, kHICommandQuit);
  MenuKey('Q');
  EXPECT_EQ(gCommands.size(), 3u);

  // A program's own Command-Q comes before the application menu's.
  AppendMenu(file, P("Quit/Q"));
  EXPECT_EQ(MenuKey('q'), (129L << 16) | 6);
  EXPECT_EQ(gCommands.size(), 3u);
}

TEST_F(MenusTest, CommandIdsMarksAndTheBar) {
  EXPECT_EQ(SetMenuItemCommandID(file, 5, 'prnt'), noErr);
  EXPECT_NE(SetMenuItemCommandID(file, 50, 'prnt'), noErr);
  DisableMenuCommand(nullptr, 'prnt');
  EXPECT_FALSE(IsMenuItemEnabled(file, 5));

  CheckMenuItem(edit, 2, true);
  CharParameter mark = 0;
  GetItemMark(edit, 2, &mark);
  EXPECT_EQ(mark, checkMark);
  CheckMenuItem(edit, 2, false);
  GetItemMark(edit, 2, &mark);
  EXPECT_EQ(mark, noMark);

  DeleteMenu(129);
  EXPECT_EQ(GetMenuHandle(129), nullptr);
  EXPECT_FALSE(tb::ChooseMenuItem(129, 1));
  InsertMenu(file, 130);  // back, before Edit
  Rect f, e;
  ASSERT_TRUE(tb::MenuTitleRect(129, &f));
  ASSERT_TRUE(tb::MenuTitleRect(130, &e));
  EXPECT_LT(f.left, e.left);

  MenuBarHandle saved = GetMenuBar();
  ClearMenuBar();
  EXPECT_EQ(GetMenuHandle(130), nullptr);
  SetMenuBar(saved);
  EXPECT_EQ(GetMenuHandle(130), edit);
  DisposeHandle(saved);

  MenuRef help = nullptr;
  MenuItemIndex first = 0;
  EXPECT_EQ(HMGetHelpMenu(&help, &first), noErr);
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(GetMenuHandle(kHMHelpMenuID), help);
}

TEST_F(MenusTest, PopUpMenus) {
  MenuRef pop = NewMenu(200, P("Speed"));
  AppendMenu(pop, P("Slow;Medium;(Fast;Fastest"));
  InsertMenu(pop, hierMenu);
  EXPECT_EQ(GetMenuHandle(200), pop);
  Rect r2, r4;
  // Shown with item 2 at the press.
  ASSERT_TRUE(tb::PopUpItemRect(pop, 300, 400, 2, 2, &r2));
  EXPECT_EQ(r2.top, 300);
  ASSERT_TRUE(tb::PopUpItemRect(pop, 300, 400, 2, 4, &r4));
  Point press{short(r2.top + 4), short(r2.left + 10)};
  tb::DragFromTo(press, Point{short(r4.top + 4), short(r4.left + 10)});
  EventRecord ev;
  ASSERT_TRUE(GetNextEvent(mDownMask, &ev));
  EXPECT_EQ(PopUpMenuSelect(pop, 300, 400, 2), (200L << 16) | 4);
  Rect r3;
  ASSERT_TRUE(tb::PopUpItemRect(pop, 300, 400, 2, 3, &r3));
  tb::DragFromTo(press, Point{short(r3.top + 4), short(r3.left + 10)});
  ASSERT_TRUE(GetNextEvent(mDownMask, &ev));
  EXPECT_EQ(PopUpMenuSelect(pop, 300, 400, 2), 0);  // disabled

  // Opened by a click, or with no press at all (a program opening it for
  // the user), the menu stays open for the next click. It is at least as
  // wide as the box it opens from, so a press on the box's far end (over
  // its arrow) and a move straight down choose; a click on the box while
  // open takes the item shown there.
  const Rect box{300, 400, 318, 900};
  Rect wide4;
  ASSERT_TRUE(tb::PopUpItemRect(pop, 300, 400, 2, 4, &wide4, 500));
  EXPECT_GE(wide4.right, box.right);
  const Point far{300 + 9, 890}, farBelow{short(wide4.top + 4), 890};
  struct Case {
    const char* what;
    bool pressed;  // the menu opens on a press taken by the program
    std::function<void()> input;
    long choice;
  } const cases[] = {
      {"a click, then a click on an item", true,
       [&] {
         tb::ClickAt(press);
         tb::ClickAt(Point{short(r4.top + 4), 410});
       },
       (200L << 16) | 4},
      {"a click, then a click elsewhere", true,
       [&] {
         tb::ClickAt(press);
         tb::ClickAt(Point{50, 50});
       },
       0},
      {"a click, then a click on its box", true,
       [&] {
         tb::ClickAt(press);
         tb::ClickAt(Point{310, 880});
       },
       (200L << 16) | 2},
      {"no press, then a click on an item", false,
       [&] {
         tb::ClickAt(Point{short(r4.top + 4), 410});
       },
       (200L << 16) | 4},
      {"no press and no click", false, [] {}, 0},
      // The open menu's loop runs timers (and the network) as every wait does.
      {"no press, a timer's click", false,
       [&] {
         static Point at;
         at = Point{short(r4.top + 4), 410};
         InstallEventLoopTimer(
             GetCurrentEventLoop(), 0, 0, +[](EventLoopTimerRef, void*) { tb::ClickAt(at); }, nullptr, nullptr);
       },
       (200L << 16) | 4},
      {"a press over the arrow, straight down", true, [&] { tb::DragFromTo(far, farBelow); }, (200L << 16) | 4},
  };
  for (const Case& c : cases) {
    c.input();
    if (c.pressed) {
      ASSERT_TRUE(GetNextEvent(mDownMask, &ev)) << c.what;
    }
    EXPECT_EQ(tb::PopUpMenuSelectFrom(pop, 300, 400, 2, box), c.choice) << c.what;
    EXPECT_EQ(tb::QueuedEventCount(), 0) << c.what;
  }
}

TEST_F(MenusTest, MenusAndBarsFromResources) {
  tb::ResourceEntry menu;
  menu.type = 'MENU';
  menu.id = 131;
  // id 131, width, height, proc, filler, enable flags: menu, items 1 and 3;
  // title "Tools"; items "Run" /R, "Stop", "Check" marked; end.
  menu.data = {0, 131, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0B, 5, 'T', 'o', 'o', 'l', 's',
               3, 'R', 'u', 'n', 0, 'R', 0, 0,
               4, 'S', 't', 'o', 'p', 0, 0, 0, 0,
               5, 'C', 'h', 'e', 'c', 'k', 0, 0, 0x12, 0,
               0};
  tb::ResourceEntry bar;
  bar.type = 'MBAR';
  bar.id = 128;
  bar.data = {0, 2, 0, 131, 0, 77};  // 77 does not exist and is left out
  testsupport::TempDir dir;
  ASSERT_GT(testsupport::OpenResourcesAsApplication(dir / "app.rsrc", {menu, bar}), 0);

  MenuBarHandle h = GetNewMBar(128);
  ASSERT_NE(h, nullptr);
  SetMenuBar(h);
  DisposeHandle(h);
  MenuRef tools = GetMenuHandle(131);
  ASSERT_NE(tools, nullptr);
  EXPECT_EQ(GetMenuHandle(129), nullptr);  // the bar was replaced
  EXPECT_EQ(CountMenuItems(tools), 3);
  EXPECT_TRUE(IsMenuItemEnabled(tools, 1));
  EXPECT_FALSE(IsMenuItemEnabled(tools, 2));
  CharParameter mark;
  GetItemMark(tools, 3, &mark);
  EXPECT_EQ(mark, checkMark);
  EXPECT_EQ(MenuKey('r'), (131L << 16) | 1);
  EXPECT_EQ(GetMenu(131), tools);  // loaded once
  EXPECT_EQ(GetMenu(132), nullptr);

  // A damaged resource is refused, not read past its end.
  tb::ResetResources();
  menu.id = 140;
  menu.data = {0, 140, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 200, 'x'};
  ASSERT_GT(testsupport::OpenResourcesAsApplication(dir / "bad.rsrc", {menu}), 0);
  EXPECT_EQ(GetMenu(140), nullptr);
  tb::ResetResources();
}

}  // namespace

namespace {

int gQuits = 0;
OSErr onQuit(const AppleEvent*, AppleEvent*, SRefCon) {
  ++gQuits;
  return noErr;
}

TEST(MenusQuit, QuitWithoutAHandlerSendsTheProgramItsQuitEvent) {
  tb::ResetMenus();
  tb::SetMenuCommandHandler(nullptr);
  ASSERT_EQ(AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, NewAEEventHandlerUPP(onQuit), 0, false),
            noErr);
  EXPECT_EQ(MenuKey('q'), 0);
  EventRecord ev{};
  bool got = false;
  for (int i = 0; i < 200 && !got; ++i) {
    if (WaitNextEvent(everyEvent, &ev, 1, nullptr) && ev.what == kHighLevelEvent) got = true;
  }
  ASSERT_TRUE(got);
  EXPECT_EQ(ev.message, UInt32(kCoreEventClass));
  EXPECT_EQ(HighLevelEventID(ev), UInt32(kAEQuitApplication));
  EXPECT_EQ(AEProcessAppleEvent(&ev), noErr);
  EXPECT_EQ(gQuits, 1);
  tb::ResetAppleEvents();
  tb::ResetMenus();
}

}  // namespace

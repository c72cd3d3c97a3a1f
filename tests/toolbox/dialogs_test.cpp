// Dialog Manager, headless: dialogs from compiled resources, typing into edit
// items, controls, pop-ups, modal loops with filters, page swaps and damaged
// item lists.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/display.h"
#include "toolbox/files.h"
#include "toolbox/pump.h"
#include "toolbox/resources.h"
#include "toolbox/scrap.h"
#include "toolbox/testdriver.h"
#include "toolbox_fixture.h"

namespace {

using testsupport::PStr;

class Dialogs : public testsupport::ToolboxFixture {
 protected:
  Dialogs() : ToolboxFixture(Clock::kVirtual, DIALOGS_TEST_RSRC) {}
  void TearDown() override {
    ToolboxFixture::TearDown();
    EXPECT_EQ(tb::DialogCount(), 0);
  }

  // Takes every queued event through the dialog dispatch as a program's
  // loop would, and returns the items hit.
  std::vector<DialogItemIndex> run() {
    std::vector<DialogItemIndex> hits;
    EventRecord e;
    while (GetNextEvent(everyEvent, &e)) {
      if (IsDialogEvent(&e)) {
        DialogRef d = nullptr;
        DialogItemIndex item = 0;
        if (DialogSelect(&e, &d, &item)) hits.push_back(item);
      } else if (e.what == updateEvt) {
        auto* w = reinterpret_cast<WindowRef>(std::uintptr_t(e.message));
        BeginUpdate(w);
        EndUpdate(w);
      }
    }
    return hits;
  }
  // Separate clicks: far enough apart not to make a double click.
  void later() { tb::AdvanceClock(GetDblTime() + 1); }

  // Loops on the modal dialog as the programs do, until an item that is no
  // edit item is hit (a key typed into an enabled edit item answers it).
  static DialogItemIndex modal(ModalFilterUPP filter) {
    DialogItemIndex item = 0;
    for (int i = 0; i < 100; ++i) {
      ModalDialog(filter, &item);
      DialogItemType kind;
      Handle h;
      Rect r;
      GetDialogItem(GetDialogFromWindow(FrontWindow()), item, &kind, &h, &r);
      if (kind != kEditTextDialogItem) break;
    }
    return item;
  }
  static std::string text(DialogRef d, DialogItemIndex n) { return tb::DialogItemText(d, n); }
  static ControlRef control(DialogRef d, DialogItemIndex n) {
    ControlRef c = nullptr;
    EXPECT_EQ(GetDialogItemAsControl(d, n, &c), noErr) << "item " << n;
    return c;
  }
};

TEST_F(Dialogs, FromCompiledResources) {
  DialogRef d = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  WindowRef w = GetDialogWindow(d);
  EXPECT_EQ(GetDialogFromWindow(w), d);
  EXPECT_TRUE(FrontWindow() == w && IsWindowVisible(w) && GetWindowKind(w) == kDialogWindowKind);
  // Centred on the screen.
  Rect content;
  GetWindowBounds(w, kWindowContentRgn, &content);
  const Rect screen = tb::ScreenBounds();
  EXPECT_LE(std::abs((content.left + content.right) - (screen.left + screen.right)), 1);
  EXPECT_EQ(content.right - content.left, 400);

  ASSERT_EQ(CountDITL(d), 13);
  struct {
    DialogItemIndex n;
    DialogItemType kind;
    Rect rect;
    const char* text;
  } items[] = {
      {1, kButtonDialogItem, {160, 300, 180, 380}, "OK"},
      {2, kButtonDialogItem, {160, 200, 180, 280}, "Cancel"},
      {3, kStaticTextDialogItem, {10, 60, 26, 290}, "Name: ^0 (^1)"},
      {4, kEditTextDialogItem, {40, 60, 56, 200}, "first"},
      {5, kEditTextDialogItem, {70, 60, 86, 200}, ""},
      {6, kCheckBoxDialogItem, {100, 60, 116, 190}, "Remember"},
      {7, kRadioButtonDialogItem, {100, 200, 116, 290}, "One"},
      {9, kResourceControlDialogItem, {130, 60, 150, 190}, "Size"},
      {10, kIconDialogItem, {10, 10, 42, 42}, ""},
      {11, kPictureDialogItem, {40, 300, 88, 380}, ""},
      {12, kUserDialogItem, {100, 300, 150, 380}, ""},
      {13, kStaticTextDialogItem + kItemDisableBit, {160, 10, 180, 150}, "hidden"},
  };
  for (const auto& it : items) {
    DialogItemType kind;
    Handle h;
    Rect r;
    GetDialogItem(d, it.n, &kind, &h, &r);
    EXPECT_EQ(kind, it.kind) << "item " << it.n;
    EXPECT_TRUE(r.top == it.rect.top && r.left == it.rect.left && r.bottom == it.rect.bottom &&
                r.right == it.rect.right)
        << "item " << it.n;
    EXPECT_EQ(text(d, it.n), it.text) << "item " << it.n;
    if (kind == kStaticTextDialogItem || kind == kEditTextDialogItem) {
      Str255 s;
      GetDialogItemText(h, s);
      EXPECT_EQ(pstr::str(s), it.text);
    }
  }
  // The pop-up took its menu; the icon and the picture their resources.
  EXPECT_EQ(GetControlMaximum(control(d, 9)), 3);
  Handle h;
  DialogItemType kind;
  Rect r;
  for (DialogItemIndex n : {10, 11}) {
    GetDialogItem(d, n, &kind, &h, &r);
    EXPECT_NE(h, nullptr) << n;
  }
  ControlRef none;
  EXPECT_NE(GetDialogItemAsControl(d, 3, &none), noErr);
  EXPECT_EQ(none, nullptr);
  GetDialogItem(d, 14, &kind, &h, &r);  // out of range: nothing
  EXPECT_TRUE(kind == 0 && h == nullptr);
  // The first edit item has the focus with its text selected.
  EXPECT_EQ(GetDialogKeyboardFocusItem(d), 4);
  TEHandle te = GetDialogTextEditHandle(d);
  ASSERT_NE(te, nullptr);
  EXPECT_EQ((**te).selStart, 0);
  EXPECT_EQ((**te).selEnd, 5);

  DisposeDialog(d);
  EXPECT_EQ(tb::DialogCount(), 0);
  EXPECT_EQ(tb::WindowCount(), 0);
}

TEST_F(Dialogs, TypingIntoTwoEditItemsWithTab) {
  DialogRef d = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  run();
  ASSERT_TRUE(tb::TypeIntoDialogItem(d, 4, "abc"));
  std::vector<DialogItemIndex> hits = run();
  EXPECT_EQ(text(d, 4), "firstabc");
  // The click and every key report the enabled edit item.
  EXPECT_EQ(hits, std::vector<DialogItemIndex>(4, 4));
  tb::PressNamedKey("Tab");
  tb::TypeText("x\xC3\xA9z");
  run();
  EXPECT_EQ(GetDialogKeyboardFocusItem(d), 5);
  EXPECT_EQ(text(d, 5), "x\xC3\xA9z");
  tb::PressNamedKey("Delete");
  tb::PressNamedKey("Delete");
  tb::PressNamedKey("Left");
  tb::TypeText("y");
  run();
  EXPECT_EQ(text(d, 5), "yx");
  // Tab comes round to the first item with all its text selected; Shift-Tab goes back.
  tb::PressNamedKey("Tab");
  tb::TypeText("Q");
  run();
  EXPECT_EQ(text(d, 4), "Q");
  tb::PressNamedKey("Tab", shiftKey);
  run();
  EXPECT_EQ(GetDialogKeyboardFocusItem(d), 5);
  // Return, Enter and Escape are no text in a one-line item.
  tb::PressNamedKey("Return");
  tb::PressNamedKey("Enter");
  tb::PressNamedKey("Escape");
  run();
  EXPECT_EQ(text(d, 5), "yx");
  // Command keys: copy from one item, paste into the other; others are left alone.
  SelectDialogItemText(d, 4, 0, 32767);
  tb::PressKey('c', tb::KeyCodeForChar('c'), cmdKey);
  tb::PressKey('q', tb::KeyCodeForChar('q'), cmdKey);
  run();
  EXPECT_EQ(text(d, 4), "Q");
  SelectDialogItemText(d, 5, 32767, 32767);
  tb::PressKey('v', tb::KeyCodeForChar('v'), cmdKey);
  run();
  EXPECT_EQ(text(d, 5), "yxQ");
  // A click in an item moves the focus there.
  later();
  tb::ClickDialogItem(d, 4);
  run();
  EXPECT_EQ(GetDialogKeyboardFocusItem(d), 4);
}

TEST_F(Dialogs, DrivenByAScript) {
  DialogRef d = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  tb::LoadScriptText(
      "type-item \"Every Kind\" 5 hello world\n"
      "advance 60\n"
      "popup-item \"Every Kind\" 9 2\n"
      "advance 60\n"
      "wait-item \"Every Kind\" 1\n"
      "click-item \"Every Kind\" 1 3 3\n"
      "advance 60\n"
      "click-item \"Every Kind\" 1\n"
      "expect-item-text \"Every Kind\" 5 hello world\n");
  std::vector<DialogItemIndex> hits;
  EventRecord e;
  for (int i = 0; i < 200 && tb::ScriptRunning(); ++i) {
    WaitNextEvent(everyEvent, &e, 0, nullptr);
    DialogItemIndex item = 0;
    if (IsDialogEvent(&e) && DialogSelect(&e, nullptr, &item)) hits.push_back(item);
  }
  EXPECT_FALSE(tb::ScriptRunning());
  EXPECT_EQ(text(d, 5), "hello world");
  EXPECT_EQ(GetControlValue(control(d, 9)), 2);
  // Without a label and with nothing chosen the first item opens under the
  // press: it is chosen all the same.
  SetControlTitle(control(d, 9), PStr(""));
  SetControlMinimum(control(d, 9), 0);
  SetControlValue(control(d, 9), 0);
  tb::LoadScriptText("popup-item \"Every Kind\" 9 1\n");
  for (int i = 0; i < 50 && tb::ScriptRunning(); ++i) {
    WaitNextEvent(everyEvent, &e, 0, nullptr);
    DialogItemIndex item = 0;
    if (IsDialogEvent(&e)) DialogSelect(&e, nullptr, &item);
  }
  EXPECT_EQ(GetControlValue(control(d, 9)), 1);
  // Item 1 was clicked twice: at its middle, and just inside its corner.
  EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), 2);
  ASSERT_FALSE(hits.empty());
  EXPECT_EQ(hits.back(), 1);
}

TEST_F(Dialogs, SettingAndSelectingText) {
  DialogRef d = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  DialogItemType kind;
  Handle h4, h3;
  Rect r;
  GetDialogItem(d, 4, &kind, &h4, &r);
  GetDialogItem(d, 3, &kind, &h3, &r);
  SetDialogItemText(h4, PStr("10.0.0.1"));
  SetDialogItemText(h3, PStr("Label"));
  EXPECT_EQ(text(d, 4), "10.0.0.1");
  EXPECT_EQ(text(d, 3), "Label");
  SelectDialogItemText(d, 5, 0, 0);
  EXPECT_EQ(GetDialogKeyboardFocusItem(d), 5);
  SelectDialogItemText(d, 4, 3, 5);
  TEHandle te = GetDialogTextEditHandle(d);
  EXPECT_EQ((**te).selStart, 3);
  EXPECT_EQ((**te).selEnd, 5);
  SelectDialogItemText(d, 4, 32767, 32767);  // the caret after the text
  EXPECT_EQ((**te).selStart, 8);
  SelectDialogItemText(d, 3, 0, 0);  // not an edit item: nothing changes
  EXPECT_EQ(GetDialogKeyboardFocusItem(d), 4);
  // A long text is read back cut to 255 bytes on a character boundary.
  std::string longText(254, 'a');
  longText += "\xC3\xA9\xC3\xA9";
  TESetText(longText.data(), long(longText.size()), te);
  Str255 s;
  GetDialogItemText(h4, s);
  EXPECT_EQ(s[0], 254);
}

TEST_F(Dialogs, CheckBoxesRadiosAndPopups) {
  DialogRef d = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  run();
  ControlRef box = control(d, 6), one = control(d, 7), two = control(d, 8);
  // A click reports the item; the program toggles the value itself.
  tb::ClickDialogItem(d, 6);
  EXPECT_EQ(run(), std::vector<DialogItemIndex>{6});
  EXPECT_EQ(GetControlValue(box), 0);
  SetControlValue(box, (GetControlValue(box) + 1) % 2);
  EXPECT_EQ(GetControlValue(box), 1);
  later();
  tb::ClickDialogItem(d, 8);
  EXPECT_EQ(run(), std::vector<DialogItemIndex>{8});
  SetControlValue(two, 1);
  SetControlValue(one, 0);
  // A disabled (inactive) control reports nothing.
  later();
  HiliteControl(box, kControlInactivePart);
  tb::ClickDialogItem(d, 6);
  EXPECT_TRUE(run().empty());
  // A pop-up choice sets its value and reports the item.
  later();
  ASSERT_TRUE(tb::ChooseDialogPopupItem(d, 9, 3));
  EXPECT_EQ(run(), std::vector<DialogItemIndex>{9});
  EXPECT_EQ(GetControlValue(control(d, 9)), 3);
  // Static text and user items are hit without tracking; a disabled one is not.
  later();
  tb::ClickDialogItem(d, 3);
  later();
  tb::ClickDialogItem(d, 12);
  later();
  tb::ClickDialogItem(d, 13);
  EXPECT_EQ(run(), (std::vector<DialogItemIndex>{3, 12}));
}

TEST_F(Dialogs, HiddenItemsKeepTheirNumbers) {
  DialogRef d = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  run();
  HideDialogItem(d, 2);
  HideDialogItem(d, 4);
  EXPECT_EQ(CountDITL(d), 13);
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(d, 2, &kind, &h, &r);
  EXPECT_EQ(r.left, 200 + 16384);
  EXPECT_FALSE(IsControlVisible(control(d, 2)));
  // The focus leaves a hidden edit item.
  EXPECT_EQ(GetDialogKeyboardFocusItem(d), 5);
  tb::ClickDialogItem(d, 2);  // nothing there now
  EXPECT_FALSE(tb::ClickDialogItem(d, 4));
  EXPECT_TRUE(run().empty());
  ShowDialogItem(d, 2);
  GetDialogItem(d, 2, &kind, &h, &r);
  EXPECT_EQ(r.left, 200);
  EXPECT_TRUE(IsControlVisible(control(d, 2)));
  // SetDialogItem takes a hidden item's rectangle as GetDialogItem gave it.
  GetDialogItem(d, 4, &kind, &h, &r);
  SetDialogItem(d, 4, kind, h, &r);
  ShowDialogItem(d, 4);
  GetDialogItem(d, 4, &kind, &h, &r);
  EXPECT_EQ(r.left, 60);
}

// The key filter of the programs' alerts: Return or Enter answers item 1,
// Escape item 2; a password-style filter shows typed characters as '*'.
Boolean AlertFilter(DialogRef, EventRecord* e, DialogItemIndex* item) {
  if (e->what != keyDown) return false;
  const UInt8 code = UInt8((e->message & keyCodeMask) >> 8);
  if (code == kVK_Return || code == kVK_ANSI_KeypadEnter) *item = 1;
  else if (code == kVK_Escape) *item = 2;
  else if ((e->message & charCodeMask) >= 0x20 && (e->message & charCodeMask) < 0x7F)
    e->message = (e->message & ~charCodeMask) | '*';
  if (e->modifiers & cmdKey) e->what = nullEvent;  // swallowed
  return *item == 1 || *item == 2;
}

TEST_F(Dialogs, ModalDialogWithAFilter) {
  DialogRef d = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  SelectDialogItemText(d, 5, 0, 0);
  tb::TypeText("pw");
  tb::PressKey('v', tb::KeyCodeForChar('v'), cmdKey);
  tb::PressNamedKey("Return");
  ModalFilterUPP filter = NewModalFilterUPP(AlertFilter);
  EXPECT_EQ(modal(filter), 1);
  EXPECT_EQ(text(d, 5), "**");  // the filter's rewriting is what the item got
  tb::PressNamedKey("Escape");
  EXPECT_EQ(modal(filter), 2);
  tb::PressNamedKey("Enter");
  EXPECT_EQ(modal(filter), 1);
  DisposeModalFilterUPP(filter);

  // Without a filter: the default and cancel items answer Return and Escape,
  // the default button flashing first.
  EXPECT_EQ(SetDialogDefaultItem(d, 1), noErr);
  EXPECT_EQ(SetDialogCancelItem(d, 2), noErr);
  const UInt32 before = TickCount();
  tb::PressNamedKey("Return");
  EXPECT_EQ(modal(nullptr), 1);
  EXPECT_GE(TickCount() - before, 8u);
  tb::PressKey('.', tb::KeyCodeForChar('.'), cmdKey);
  EXPECT_EQ(modal(nullptr), 2);
  // With neither set Return does nothing; the click after it ends the loop.
  SetDialogDefaultItem(d, 0);
  tb::PressNamedKey("Return");
  tb::ClickDialogItem(d, 7);
  EXPECT_EQ(modal(nullptr), 7);
  // A click in another window or the dialog's title bar is ignored.
  const Rect otherBounds{600, 600, 650, 700};
  WindowRef other = NewCWindow(nullptr, &otherBounds, PStr("Other"), true, documentProc, nullptr, false, 0);
  SelectWindow(GetDialogWindow(d));
  const int beeps = tb::Beeps();
  Rect place;
  GetWindowBounds(GetDialogWindow(d), kWindowContentRgn, &place);
  tb::ClickInWindow(other, Point{10, 10});
  later();
  tb::DragWindowBy(GetDialogWindow(d), 30, 30);
  later();
  tb::ClickDialogItem(d, 6);
  EXPECT_EQ(modal(nullptr), 6);
  EXPECT_EQ(tb::Beeps(), beeps);
  Rect after;
  GetWindowBounds(GetDialogWindow(d), kWindowContentRgn, &after);
  EXPECT_EQ(after.top, place.top);
}

// A nested modal loop keeps handing other windows' updates to its filter
// and keeps serving descriptors.
struct Nested {
  WindowRef other = nullptr;
  int otherUpdates = 0;
  bool piped = false;
  int pipeOut = -1;
  int passes = 0;
  DialogItemIndex innerItem = 0;
} gNested;

Boolean InnerFilter(DialogRef, EventRecord* e, DialogItemIndex* item) {
  if (++gNested.passes > 5000) {
    *item = -1;  // give up rather than hang
    return true;
  }
  if (e->what == updateEvt && reinterpret_cast<WindowRef>(std::uintptr_t(e->message)) == gNested.other) {
    BeginUpdate(gNested.other);
    ++gNested.otherUpdates;
    EndUpdate(gNested.other);
  }
  if (e->what == nullEvent && gNested.otherUpdates > 0 && gNested.piped) {
    *item = 1;
    return true;
  }
  return false;
}

Boolean OuterFilter(DialogRef, EventRecord* e, DialogItemIndex* item) {
  if (e->what != nullEvent) return false;
  DialogRef alert = GetNewDialog(150, nullptr, kFirstWindowOfClass);
  if (!alert) return false;
  ShowWindow(GetDialogWindow(alert));
  // While the alert runs, the window behind needs drawing and a descriptor
  // has something to read.
  Rect all{0, 0, 50, 100};
  InvalWindowRect(gNested.other, &all);
  if (write(gNested.pipeOut, "x", 1) != 1) return false;
  ModalDialog(InnerFilter, &gNested.innerItem);
  DisposeDialog(alert);
  *item = 2;
  return true;
}

TEST_F(Dialogs, NestedModalLoopsKeepOtherUpdatesAndDescriptorsFlowing) {
  gNested = Nested{};
  const Rect behind{600, 600, 650, 700};
  gNested.other = NewCWindow(nullptr, &behind, PStr("Behind"), true, documentProc, nullptr, false, 0);
  DialogRef d = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int watch = tb::WatchFD(fds[0], tb::kReadable, [](int fd, short) {
    char c;
    if (read(fd, &c, 1) == 1) gNested.piped = true;
  });
  gNested.pipeOut = fds[1];
  DialogItemIndex item = 0;
  ModalDialog(OuterFilter, &item);
  EXPECT_EQ(item, 2);
  EXPECT_EQ(gNested.innerItem, 1);
  EXPECT_GE(gNested.otherUpdates, 1);
  EXPECT_TRUE(gNested.piped);
  EXPECT_FALSE(IsWindowUpdatePending(gNested.other));
  tb::UnwatchFD(watch);
  close(fds[0]);
  close(fds[1]);
}

TEST_F(Dialogs, PageSwapsKeepItemNumbers) {
  DialogRef d = GetNewDialog(140, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(CountDITL(d), 4);
  ControlRef ok = control(d, 1);
  const int frameControls = tb::ControlCount(GetDialogWindow(d));
  EXPECT_EQ(GetDialogKeyboardFocusItem(d), -1);

  AppendDITL(d, GetResource('DITL', 141), overlayDITL);
  ASSERT_EQ(CountDITL(d), 7);
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(d, 6, &kind, &h, &r);
  EXPECT_EQ(kind, kEditTextDialogItem);
  EXPECT_EQ(r.top, 40);  // the page keeps its own coordinates
  EXPECT_EQ(r.left, 130);
  EXPECT_EQ(text(d, 6), "10.0.0.1");
  EXPECT_EQ(GetDialogKeyboardFocusItem(d), 6);
  EXPECT_EQ(tb::ControlCount(GetDialogWindow(d)), frameControls + 1);

  // To the other page: back to the frame's four items, then the new page.
  ShortenDITL(d, CountDITL(d) - 4);
  EXPECT_EQ(CountDITL(d), 4);
  EXPECT_EQ(GetDialogKeyboardFocusItem(d), -1);
  EXPECT_EQ(tb::ControlCount(GetDialogWindow(d)), frameControls);
  AppendDITL(d, GetResource('DITL', 142), overlayDITL);
  ASSERT_EQ(CountDITL(d), 9);
  EXPECT_EQ(control(d, 1), ok);
  struct {
    DialogItemIndex n;
    DialogItemType kind;
    const char* text;
  } page[] = {{5, kEditTextDialogItem, "public"},    {6, kRadioButtonDialogItem, "Broadcast"},
              {7, kRadioButtonDialogItem, "Unicast"}, {8, kStaticTextDialogItem, "Community"},
              {9, kEditTextDialogItem, ""}};
  for (const auto& p : page) {
    GetDialogItem(d, p.n, &kind, &h, &r);
    EXPECT_EQ(kind, p.kind) << p.n;
    EXPECT_EQ(text(d, p.n), p.text) << p.n;
  }
  EXPECT_EQ(GetDialogKeyboardFocusItem(d), 5);
  // Typing and clicks reach the new page's items by their numbers.
  run();
  tb::TypeIntoDialogItem(d, 9, "abc");
  later();
  tb::ClickDialogItem(d, 7);
  EXPECT_EQ(run(), (std::vector<DialogItemIndex>{9, 9, 9, 9, 7}));
  EXPECT_EQ(text(d, 9), "abc");
  // Shortening by more than there is leaves none; nothing to append is nothing.
  ShortenDITL(d, 100);
  EXPECT_EQ(CountDITL(d), 0);
  AppendDITL(d, nullptr, overlayDITL);
  EXPECT_EQ(CountDITL(d), 0);
}

TEST_F(Dialogs, AppendBelowGrowsTheDialog) {
  DialogRef d = GetNewDialog(150, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  EXPECT_FALSE(IsWindowVisible(GetDialogWindow(d)));  // hidden until shown
  AppendDITL(d, GetResource('DITL', 141), appendDITLBottom);
  ASSERT_EQ(CountDITL(d), 6);
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(d, 4, &kind, &h, &r);
  EXPECT_EQ(r.top, 120 + 40);
  Rect port;
  GetWindowPortBounds(GetDialogWindow(d), &port);
  EXPECT_GE(port.bottom, 120 + 86);
}

TEST_F(Dialogs, IsDialogEventAndUserItems) {
  static int drawn = 0;
  drawn = 0;
  DialogRef d = GetNewDialog(128, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(d, 12, &kind, &h, &r);
  UserItemUPP proc = NewUserItemUPP([](DialogRef, DialogItemIndex item) { drawn += item; });
  SetDialogItem(d, 12, kind, reinterpret_cast<Handle>(proc), &r);
  DrawDialog(d);
  EXPECT_EQ(drawn, 12);
  // An update of the dialog redraws it through DialogSelect.
  Rect all{0, 0, 200, 400};
  InvalWindowRect(GetDialogWindow(d), &all);
  run();
  EXPECT_EQ(drawn, 24);

  EventRecord e{};
  e.what = nullEvent;
  EXPECT_TRUE(IsDialogEvent(&e));
  e.what = kHighLevelEvent;
  EXPECT_FALSE(IsDialogEvent(&e));
  const Rect plainBounds{500, 500, 560, 600};
  WindowRef plain =
      NewCWindow(nullptr, &plainBounds, PStr("Plain"), true, documentProc, kFirstWindowOfClass, false, 0);
  e.what = keyDown;
  EXPECT_FALSE(IsDialogEvent(&e));  // the front window is no dialog
  e.what = updateEvt;
  e.message = reinterpret_cast<unsigned long>(GetDialogWindow(d));
  EXPECT_TRUE(IsDialogEvent(&e));
  e.message = reinterpret_cast<unsigned long>(plain);
  EXPECT_FALSE(IsDialogEvent(&e));
  DisposeUserItemUPP(proc);
}

// Damaged resources are refused whole, never read past their end.
TEST_F(Dialogs, DamagedItemListsAndDialogsAreRefused) {
  // A valid list to damage: a button, a control and a static text.
  const std::vector<UInt8> good = {
      0x00, 0x02,                                                           // three items
      0, 0, 0, 0, 0x00, 0x0A, 0x00, 0x0A, 0x00, 0x1E, 0x00, 0x50, 4, 2, 'O', 'K',        // button
      0, 0, 0, 0, 0x00, 0x28, 0x00, 0x0A, 0x00, 0x3C, 0x00, 0x50, 7, 2, 0x00, 0x82,      // control 130
      0, 0, 0, 0, 0x00, 0x46, 0x00, 0x0A, 0x00, 0x5A, 0x00, 0x50, 136, 3, 'a', 'b', 'c', 0,  // static
  };
  std::vector<tb::DialogItemTemplate> items;
  ASSERT_EQ(tb::ParseItemList(good, items), noErr);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[1].resourceID, 130);
  EXPECT_EQ(items[2].text, "abc");
  EXPECT_EQ(items[2].kind, 136);
  // Every cut short (the last pad byte may go).
  for (std::size_t n = 0; n + 1 < good.size(); ++n) {
    std::vector<UInt8> cut(good.begin(), good.begin() + long(n));
    EXPECT_EQ(tb::ParseItemList(cut, items), paramErr) << n << " bytes";
    EXPECT_TRUE(items.empty());
  }
  struct Patch {
    const char* what;
    std::size_t at;
    std::vector<UInt8> bytes;
  } patches[] = {
      {"more items than bytes", 0, {0x7F, 0xFF}},
      {"one more item than there is", 0, {0x00, 0x03}},
      {"bottom above top", 6, {0x00, 0x40}},
      {"right left of left", 8, {0x7F, 0x00}},
      {"unknown kind", 14, {3}},
      {"a text running past the end", 47, {200}},
      {"a control without its id", 31, {1}},
  };
  for (const auto& p : patches) {
    std::vector<UInt8> bad = good;
    std::copy(p.bytes.begin(), p.bytes.end(), bad.begin() + long(p.at));
    EXPECT_EQ(tb::ParseItemList(bad, items), paramErr) << p.what;
  }
  std::vector<UInt8> empty = {0xFF, 0xFF};
  EXPECT_EQ(tb::ParseItemList(empty, items), noErr);
  EXPECT_TRUE(items.empty());

  // 'DLOG': bounds, proc, visible, close box, refCon, items, title, position.
  const std::vector<UInt8> dlog = {0, 10, 0, 10, 0, 100, 0, 200, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0,
                                   0, 140, 2, 'H', 'i', 0, 0x28, 0x0A};
  tb::DialogTemplate t;
  ASSERT_EQ(tb::ParseDialogTemplate(dlog, &t), noErr);
  EXPECT_EQ(t.itemsID, 140);
  EXPECT_EQ(t.title, "Hi");
  EXPECT_EQ(t.position, 0x280A);
  EXPECT_TRUE(t.visible);
  for (std::size_t n = 0; n < 23; ++n)
    EXPECT_EQ(tb::ParseDialogTemplate(std::span(dlog.data(), n), &t), paramErr) << n << " bytes";
  std::vector<UInt8> noPosition(dlog.begin(), dlog.begin() + 23);
  ASSERT_EQ(tb::ParseDialogTemplate(noPosition, &t), noErr);
  EXPECT_EQ(t.position, 0);
  std::vector<UInt8> flat = dlog;
  flat[5] = 10;  // bottom equals top
  EXPECT_EQ(tb::ParseDialogTemplate(flat, &t), paramErr);
  std::vector<UInt8> longTitle = dlog;
  longTitle[20] = 40;
  EXPECT_EQ(tb::ParseDialogTemplate(longTitle, &t), paramErr);

  // Through the Resource Manager: a file of damaged dialogs over the good ones.
  testsupport::TempDir dir;
  std::vector<tb::ResourceEntry> entries;
  auto add = [&](ResType type, SInt16 id, std::vector<UInt8> data) {
    entries.push_back(testsupport::Resource(type, id, std::move(data)));
  };
  std::vector<UInt8> dlog170 = dlog;
  dlog170[19] = 170;
  add('DLOG', 170, dlog170);
  std::vector<UInt8> ditl170 = good;
  ditl170[1] = 9;  // ten items claimed
  add('DITL', 170, ditl170);
  add('DLOG', 171, noPosition);
  add('DITL', 172, {0x00});
  testsupport::WriteResourceFile(dir / "bad.rsrc", entries);
  FSSpec fss = testsupport::FileSpecOf(dir / "bad.rsrc");
  const SInt16 ref = FSpOpenResFile(&fss, fsRdPerm);
  ASSERT_GT(ref, 0);
  const int windows = tb::WindowCount();
  EXPECT_EQ(GetNewDialog(170, nullptr, kFirstWindowOfClass), nullptr);  // damaged item list
  EXPECT_EQ(GetNewDialog(161, nullptr, kFirstWindowOfClass), nullptr);  // item list missing
  EXPECT_EQ(GetNewDialog(9999, nullptr, kFirstWindowOfClass), nullptr);
  EXPECT_EQ(tb::WindowCount(), windows);
  // AppendDITL with a damaged list appends nothing.
  DialogRef d = GetNewDialog(140, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  AppendDITL(d, GetResource('DITL', 170), overlayDITL);
  AppendDITL(d, GetResource('DITL', 172), overlayDITL);
  EXPECT_EQ(CountDITL(d), 4);
  // NewDialog takes a list in a handle the same way.
  Handle list = nullptr;
  ASSERT_EQ(PtrToHand(ditl170.data(), &list, Size(ditl170.size())), noErr);
  Rect b{50, 50, 150, 250};
  EXPECT_EQ(NewDialog(nullptr, &b, PStr("x"), true, dBoxProc, kFirstWindowOfClass, false, 0, list), nullptr);
  SetHandleSize(list, Size(good.size()));
  std::copy(good.begin(), good.end(), *list);
  DialogRef made = NewDialog(nullptr, &b, PStr("x"), true, dBoxProc, kFirstWindowOfClass, false, 0, list);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(CountDITL(made), 3);
  DisposeHandle(list);
  CloseResFile(ref);
}

}  // namespace

// Every window, dialog, tab page and alert of the running program, in
// English and Japanese, as a person meets them. From the main window each
// tool button is clicked at the centre of what is drawn, and every window
// that comes up is walked the same way: each tab, then the enabled buttons
// of its page, then the window's own buttons (an alert only by its
// cancelling button, or its confirming one while its window is being
// left). Each click must act (a window comes or goes, the page switches, a
// box changes, a box or another program is asked something, the program
// beeps or draws something new), and every text those windows draw must
// lie inside its window and its rectangle, whole and not shortened; a
// field's text starts inside the field unless it is wider than the field;
// a group's title on its frame's edge breaks the line for its letters only.
// Every message the program shows in an alert is looked at the same way,
// with both of the alert's buttons.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/MainWindow.h"
#include "Admin/SearchDialog.h"
#include "Admin/SetupWindow.h"
#include "admin_harness.h"
#include "common/IniFile.h"
#include "drawn_text.h"
#include "pboxemu/emulator.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/recorder.h"
#include "toolbox/testdriver.h"
#include "toolbox/textengine.h"
#include "toolbox/windows.h"

namespace {

using testsupport::ClickTarget;
using Kind = ClickTarget::Kind;
using R = tb::ScriptResult;

std::string TitleOf(WindowRef w) {
  Str255 t = {0};
  if (w) GetWTitle(w, t);
  return std::string(reinterpret_cast<const char*>(t + 1), t[0]);
}
bool IsOpen(WindowRef w) {
  for (WindowRef i = GetWindowList(); i; i = GetNextWindow(i))
    if (i == w) return true;
  return false;
}
// The program's alerts: two buttons, the message and the icon.
bool IsAlert(WindowRef w) {
  DialogRef d = w ? GetDialogFromWindow(w) : nullptr;
  if (!d || CountDITL(d) != 4) return false;
  DialogItemType kind = 0;
  Handle h = nullptr;
  Rect r;
  GetDialogItem(d, 4, &kind, &h, &r);
  return (kind & ~itemDisable) == iconItem;
}
std::string ButtonCaption(const char* key) {
  Str255 s;
  if (Load_File_To_PascalEx("[BUTTON]", key, s, sizeof s, IniFileName) != 1) return "";
  return std::string(reinterpret_cast<const char*>(s + 1), s[0]);
}
// A tabbed window's strip and the number of items of its frame (a page's
// items follow them); a window without tabs keeps OK and Cancel as its
// frame.
CTAB_DATA* TabsOf(WindowRef w, DialogItemIndex* frameItems) {
  *frameItems = 2;
  if (Get_Open_Setup_Dialog() && w == GetDialogWindow(Get_Open_Setup_Dialog())) return *frameItems = 5, gclData;
  if (Get_Open_Config_Dialog() && w == GetDialogWindow(Get_Open_Config_Dialog()))
    return *frameItems = 4, configTbl.tabData;
  return nullptr;
}
std::vector<UInt32> Pixels(WindowRef w) {
  CGrafPtr port = GetWindowPort(w);
  return admintest::PortPixels(port, Rect{0, 0, SInt16(tb::PortHeight(port)), SInt16(tb::PortWidth(port))});
}
bool Reopens(const ClickTarget& t) { return t.rect.left < 0; }

// Where a window's walk stands: the tab whose page is walked (-1 before
// the first), the last button of the page, the last of the frame's
// buttons (walked from the last down), the main window's last tool button
// (walked from the last, so that the search, which forgets the selected
// box, comes last). A check box a click turned off is turned on again, to
// walk what it shows.
struct Cursor {
  int tab = -1;
  DialogItemIndex pageItem = 0, frameItem = 0;
  int tool = kToolMax;
  bool answered = false;         // an alert's one click
  DialogItemIndex retoggle = 0;  // a check box the last click turned off, to be turned on again
};

// A click and what was there before it, to tell whether it acted.
struct Click {
  ClickTarget target;
  SInt16 value = 0;
  std::vector<UInt32> pixels;
  std::size_t asked = 0;
  int passes = 0;
};

struct Frame {
  WindowRef w = nullptr;
  std::string title;
  std::vector<std::string> tabOrder;  // the first tab, shown at opening, last
  Cursor at;
  std::function<void()> reopen;  // brings the window back when it closed too early
  int closeTries = 0;
  bool more = true;    // whether the walk had more to click before the last click
  bool again = false;  // walked already (the same title and tabs): only looked at, then left
  std::optional<Click> pending;
};

class DrawnText : public admintest::AdminProgramTest, public ::testing::WithParamInterface<const char*> {
 protected:
  DrawnText() : AdminProgramTest(GetParam()) {}
  void SetUp() override {
    admintest::PlaceProgramIn(home_.path());
    ASSERT_NO_FATAL_FAILURE(AdminProgramTest::SetUp());
    tb::RegisterScriptCommand("walk", [this](const std::vector<std::string>& w, std::string* e) {
      if (w.size() != 2) return *e = "usage: walk tools|MENU,ITEM", R::kFailed;
      return step(w[1]);
    });
  }
  void TearDown() override {
    AdminProgramTest::TearDown();
    admintest::PlaceProgramIn("");
  }

  testsupport::TempDir home_;

  // What a field holds is the user's, and a field redraws parts of it as
  // it is edited; it must still lie in its window and its rectangle. Every
  // label, caption, title and message must show whole.
  const testsupport::TextRules rules_{.exempt = [](const tb::DrawnText& t) {
    const bool field = t.source == tb::TextSource::kEditText || t.source == tb::TextSource::kTextEdit ||
                       t.source == tb::TextSource::kTextEngine;
    return field && !t.shortened && !(t.cut & (tb::kOutsideWindow | tb::kOffScreen | tb::kOutsideFrame));
  }};
  // The faults of what each window drew, by title; every window looked at.
  std::map<std::string, std::set<std::string>> faults_;
  std::set<std::string> seen_;

  void look(WindowRef w) {
    const std::string title = TitleOf(w);
    seen_.insert(title);
    for (const std::string& f : testsupport::WindowTextFaults(w, rules_)) faults_[title].insert(f);
    lookInsideFrame(w, title);
    lookAtGroupTitles(w, title);
    lookAtScrollingFields(w, title);
    lookAtLabelInk(w, title);
    lookAtFieldText(w, title);
  }
  // A field scrolls its text only when the text is wider than the field: a
  // text that fits starts inside the field's left edge. (The text rules let
  // a field's text run under its edges, as a scrolled text does.)
  void lookAtFieldText(WindowRef w, const std::string& title) {
    std::map<std::tuple<short, short, short, short>, std::pair<short, short>> spans;  // by frame: the text's extent
    for (const tb::DrawnText& t : tb::DrawnTexts(w)) {
      if (t.source != tb::TextSource::kTextEngine || EmptyRect(&t.box)) continue;
      auto [it, fresh] =
          spans.try_emplace({t.frame.top, t.frame.left, t.frame.bottom, t.frame.right}, t.box.left, t.box.right);
      if (!fresh) it->second = {std::min(it->second.first, t.box.left), std::max(it->second.second, t.box.right)};
    }
    for (const auto& [frame, span] : spans) {
      const auto [top, left, bottom, right] = frame;
      if (span.first < left && span.second - span.first <= right - left)
        faults_[title].insert("a field's text that fits its field (" + std::to_string(top) + "," +
                              std::to_string(left) + "," + std::to_string(bottom) + "," + std::to_string(right) +
                              ") starts " + std::to_string(left - span.first) + " pixels left of it");
    }
  }
  // The labels of fields a check box turns off are drawn grey while it is
  // off and black while it is on: the authentication dialog's user name and
  // password, the mail form's second administrator address, subject and
  // signature.
  void lookAtLabelInk(WindowRef w, const std::string& title) {
    struct Switched {
      const char* titles[2];
      DialogItemIndex box;
      std::vector<DialogItemIndex> labels;
    };
    static const Switched kSwitched[] = {{{"SMTP_AUTHEN1=", "SMTP_AUTHEN2="}, 3, {5, 7}},
                                         {{"FORM_PRINTER=", "FORM_CONSUM="}, 10, {12, 14, 16}}};
    DialogRef d = GetDialogFromWindow(w);
    for (const Switched& s : kSwitched) {
      if (std::none_of(std::begin(s.titles), std::end(s.titles), [&](const char* key) {
            Str255 t = {0};
            return Load_File_To_PascalEx("[TITLE]", key, t, sizeof t, IniFileName) == 1 &&
                   title == std::string(reinterpret_cast<const char*>(t + 1), t[0]);
          }))
        continue;
      const bool on = Get_Item_Value(d, s.box) == 1;
      for (DialogItemIndex label : s.labels)
        if (admintest::InkOf(d, label) != (on ? admintest::Ink::kBlack : admintest::Ink::kGrey))
          faults_[title].insert("label " + std::to_string(label) + " is not drawn " + (on ? "black" : "grey") +
                                " while box " + std::to_string(s.box) + " is " + (on ? "on" : "off"));
    }
  }
  // A mail form's scrolling fields (items 7, 9 and 17) are framed round
  // their scroll bars too: the frame's top and bottom lines reach past the
  // bars' right edge.
  void lookAtScrollingFields(WindowRef w, const std::string& title) {
    if (!tb::TXNFocusedObject(w)) return;
    CGrafPtr port = GetWindowPort(w);
    for (DialogItemIndex item : {7, 9, 17}) {
      Rect r;
      Get_Dialog_Item_Rect(GetDialogFromWindow(w), item, &r);
      for (int y : {r.top - 2, r.bottom + 1})
        if ((tb::PortPixel(port, r.right + 1, y) >> 8) == 0xFFFFFF)
          faults_[title].insert("the frame of field " + std::to_string(item) + " stops short of its scroll bar at " +
                                std::to_string(y));
    }
  }
  // A title that sits on a frame's edge breaks the line for its letters
  // only: a line that runs into the title's rectangle from both sides comes
  // back a few pixels after its last letter.
  void lookAtGroupTitles(WindowRef w, const std::string& title) {
    CGrafPtr port = GetWindowPort(w);
    // The port's pixels are blue, green, red and an unused byte, high to low.
    const auto line = [port](int x, int y) {
      return (tb::PortPixel(port, x, y) >> 8) != 0xFFFFFF || (tb::PortPixel(port, x - 1, y) >> 8) != 0xFFFFFF;
    };
    for (const tb::DrawnText& t : tb::DrawnTexts(w)) {
      const Rect& r = t.frame;
      if (t.source != tb::TextSource::kStaticText || t.text.empty() || r.right - t.ink.right <= 8) continue;
      for (int y = r.top; y < r.bottom; ++y) {
        bool clear = true;
        for (int x = t.ink.right + 4; x < r.right && clear; ++x) clear = (tb::PortPixel(port, x, y) >> 8) == 0xFFFFFF;
        if (clear && line(r.left - 1, y) && line(r.right + 1, y)) {
          faults_[title].insert("'" + t.text + "' (item " + std::to_string(t.item) + ") breaks a frame's edge from " +
                                std::to_string(t.ink.right) + " to " + std::to_string(r.right));
          break;
        }
      }
    }
  }
  // A page's items, a field with its border, lie inside the page frame,
  // clear of its edge line (the frame's last row and column), and the
  // selected tab stands on the frame.
  void lookInsideFrame(WindowRef w, const std::string& title) {
    DialogItemIndex frameItems;
    CTAB_DATA* tabs = TabsOf(w, &frameItems);
    if (!tabs || !tabs->frameRect) return;
    const Rect fr = *tabs->frameRect;
    DialogRef d = GetDialogFromWindow(w);
    const std::string standing = testsupport::TabAboveItsFrame(d, CTGetCurSel(tabs) - tabs->visTabNo, fr.top);
    if (!standing.empty()) faults_[title].insert(standing);
    for (DialogItemIndex i = frameItems + 1; i <= CountDITL(d); ++i) {
      DialogItemType kind = 0;
      Handle h = nullptr;
      Rect r;
      GetDialogItem(d, i, &kind, &h, &r);
      if (r.left >= 8192) continue;  // hidden
      if ((kind & ~itemDisable) == editText) InsetRect(&r, -3, -3);
      if (r.top < fr.top || r.left <= fr.left || r.bottom > fr.bottom - 1 || r.right > fr.right - 1)
        faults_[title].insert("item " + std::to_string(i) + " (" + std::to_string(r.top) + "," +
                              std::to_string(r.left) + "," + std::to_string(r.bottom) + "," +
                              std::to_string(r.right) + ") crosses the page frame");
    }
  }

 private:
  std::vector<Frame> frames_, suspended_;
  std::set<std::string> walked_;  // title and tabs of every window walked, in any walk
  int steps_ = 0;

  // What the program asked outside its windows.
  std::size_t asked() {
    std::size_t n = tb::RecordedOpenedDocuments().size() + tb::RecordedLaunches().size() + std::size_t(tb::Beeps());
    for (int b = 0; b < emu.BoxCount(); ++b) n += emu.Requests(b).size();
    return n;
  }

  void click(Frame& f, const ClickTarget& t, const Cursor& at) {
    Click c;
    c.target = t;
    ControlRef ctl = nullptr;
    if (t.item && GetDialogItemAsControl(GetDialogFromWindow(f.w), t.item, &ctl) == noErr && ctl)
      c.value = GetControlValue(ctl);
    c.pixels = Pixels(f.w);
    c.asked = asked();
    f.at = at;
    f.more = next(f, false).has_value();
    f.pending = c;
    if (std::getenv("ADMIN_WALK_TRACE"))
      std::fprintf(stderr, "walk: \"%s\" click '%s' item %d %s\n", f.title.c_str(), t.title.c_str(), int(t.item),
                   IsAlert(f.w) ? tb::ParamTextValue(0).c_str() : "");
    tb::AdvanceClock(GetDblTime() + 1);
    EXPECT_TRUE(tb::ClickInWindow(f.w, t.centre())) << t.title;
  }
  // Input that is no click to be judged: the frame waits for its effect.
  static void await(Frame& f, const std::string& what) {
    f.pending = Click();
    f.pending->target = ClickTarget{Kind::kButton, what, 0, Rect{-1, -1, -1, -1}};
  }

  bool acted(Frame& f, const Click& c) {
    DialogItemIndex frameItems;
    if (c.target.kind == Kind::kTab) {
      CTAB_DATA* tabs = TabsOf(f.w, &frameItems);
      Str255 s = {0};
      return tabs && CTGetTitle(tabs, CTGetCurSel(tabs), s) >= 0 &&
             std::string(reinterpret_cast<char*>(s + 1), s[0]) == c.target.title;
    }
    ControlRef ctl = nullptr;
    if (c.target.item && GetDialogItemAsControl(GetDialogFromWindow(f.w), c.target.item, &ctl) == noErr && ctl &&
        GetControlValue(ctl) != c.value) {
      if (c.value == 1 && !f.at.retoggle) f.at.retoggle = c.target.item;
      return true;
    }
    if (asked() != c.asked) return true;
    const std::vector<UInt32> now = Pixels(f.w);
    const int width = tb::PortWidth(GetWindowPort(f.w));
    for (std::size_t i = 0; i < now.size() && i < c.pixels.size(); ++i) {
      const Point p{SInt16(int(i) / width), SInt16(int(i) % width)};
      if (now[i] != c.pixels[i] && !PtInRect(p, &c.target.rect)) return true;
    }
    return false;
  }

  // The next click of the window's walk and where the walk then stands.
  std::optional<std::pair<ClickTarget, Cursor>> next(const Frame& f, bool leaving) {
    Cursor at = f.at;
    DialogRef d = GetDialogFromWindow(f.w);
    if (d == Get_Open_Main_Dialog()) {
      for (int i = at.tool - 1; i >= 0; --i) {
        const TOOL_CONTROL& t = toolBarInfo.toolData[i];
        if (!t.toolNum || t.status == 2 || t.disableIconID == 199) continue;  // unused, dimmed, a separator
        at.tool = i;
        return std::pair{ClickTarget{Kind::kButton, t.title, 0, t.ctlRect}, at};
      }
      return std::nullopt;
    }
    std::vector<ClickTarget> tabs, buttons;
    for (const ClickTarget& t : testsupport::ClickTargets(d)) {
      DialogItemType kind = 0;
      Handle h = nullptr;
      Rect r;
      ControlRef c = nullptr;
      if (t.item) GetDialogItem(d, t.item, &kind, &h, &r);
      // A radio button that is on has nothing to do.
      if ((kind & ~itemDisable) == ctrlItem + radCtrl && GetDialogItemAsControl(d, t.item, &c) == noErr && c &&
          GetControlValue(c) == 1)
        continue;
      (t.kind == Kind::kTab ? tabs : buttons).push_back(t);
    }
    if (IsAlert(f.w)) {
      if (at.answered) return std::nullopt;
      at.answered = true;
      const std::string no[] = {ButtonCaption("CANCEL="), ButtonCaption("NO=")};
      for (const ClickTarget& b : buttons) {
        const bool cancels = b.title == no[0] || b.title == no[1];
        if (buttons.size() == 1 || cancels != leaving) return std::pair{b, at};
      }
      return std::nullopt;
    }
    if (at.retoggle) {
      const DialogItemIndex item = at.retoggle;
      at.retoggle = 0;
      for (const ClickTarget& b : buttons)
        if (b.item == item) return std::pair{b, at};
    }
    DialogItemIndex frameItems;
    TabsOf(f.w, &frameItems);
    const auto page = [&]() -> std::optional<std::pair<ClickTarget, Cursor>> {
      for (const ClickTarget& b : buttons)
        if (b.item > std::max(frameItems, at.pageItem)) return at.pageItem = b.item, std::pair{b, at};
      return std::nullopt;
    };
    if (at.frameItem == 0) {
      // The page shown at opening is walked first, and its tab clicked last.
      if (f.tabOrder.empty() || at.tab + 1 < int(f.tabOrder.size()))
        if (auto p = page()) return p;
      while (at.tab + 1 < int(f.tabOrder.size())) {
        ++at.tab;
        at.pageItem = 0;
        for (const ClickTarget& t : tabs)
          if (t.title == f.tabOrder[std::size_t(at.tab)]) return std::pair{t, at};
        ADD_FAILURE() << "tab " << f.tabOrder[std::size_t(at.tab)] << " of \"" << f.title << "\" is not drawn";
      }
    }
    std::optional<std::pair<ClickTarget, Cursor>> best;
    for (const ClickTarget& b : buttons)
      if (b.item <= frameItems && (at.frameItem == 0 || b.item < at.frameItem) && (!best || b.item > best->first.item))
        best = std::pair{b, at};
    if (best) best->second.frameItem = best->first.item;
    return best;
  }

  Frame frameFor(WindowRef w) {
    Frame f;
    f.w = w;
    f.title = TitleOf(w);
    DialogItemIndex frameItems;
    if (CTAB_DATA* tabs = TabsOf(w, &frameItems)) {
      for (SInt16 i = 1; i <= CTGetCount(tabs); ++i) {
        Str255 s;
        CTGetTitle(tabs, SInt16(i % CTGetCount(tabs)), s);
        f.tabOrder.emplace_back(reinterpret_cast<char*>(s + 1), s[0]);
      }
    }
    return f;
  }

  // One step of the walk from the main window ("tools": its tool buttons;
  // "M,I": only the window of menu M's item I); kDone once it is walked.
  R step(const std::string& root) {
    if (++steps_ > 5000) return ADD_FAILURE() << "the walk does not end", R::kDone;
    const auto openFromMenu = [root] {
      tb::AdvanceClock(60);
      const std::size_t comma = root.find(',');
      EXPECT_TRUE(tb::ChooseMenuItem(MenuID(std::stoi(root.substr(0, comma))),
                                     MenuItemIndex(std::stoi(root.substr(comma + 1)))))
          << root;
    };
    if (frames_.empty()) {
      frames_.push_back(frameFor(GetDialogWindow(Get_Open_Main_Dialog())));
      look(frames_.back().w);
      if (root != "tools") {
        frames_.back().at.tool = 0;
        await(frames_.back(), "menu " + root);
        openFromMenu();
      }
      return R::kAgain;
    }
    Frame& top = frames_.back();
    if (top.pending && top.pending->passes++ < 6) return R::kAgain;

    WindowRef front = FrontWindow();
    if (front && std::none_of(frames_.begin(), frames_.end(), [&](const Frame& f) { return f.w == front; })) {
      // A window came up: walked in its turn (where it stopped, when it
      // closed before and was brought back).
      if (!top.pending) return ADD_FAILURE() << "\"" << TitleOf(front) << "\" came up by itself", R::kDone;
      const ClickTarget opener = top.pending->target;
      WindowRef parent = top.w;
      top.pending.reset();
      Frame child = frameFor(front);
      // A tabbed window shows the pages of its box: walked for each box.
      std::string key = child.title;
      for (const std::string& t : child.tabOrder) key += "|" + t;
      if (!child.tabOrder.empty() && Get_PBOX_Select_Data())
        key += "|" + std::string(reinterpret_cast<const char*>(Get_PBOX_Select_Data()->pbi_machine_name), 32);
      auto was =
          std::find_if(suspended_.begin(), suspended_.end(), [&](const Frame& s) { return s.title == child.title; });
      if (was != suspended_.end()) {
        child.at = was->at;
        child.reopen = was->reopen;
        suspended_.erase(was);
      } else if (!IsAlert(front) && !walked_.insert(key).second) {
        child.again = true;
      } else if (Reopens(opener)) {
        child.reopen = openFromMenu;
      } else {
        child.reopen = [parent, opener] {
          tb::AdvanceClock(GetDblTime() + 1);
          tb::ClickInWindow(parent, opener.centre());
        };
      }
      // The log of a window that went may come with a new one at its
      // address: what the open ones drew is taken first.
      for (const Frame& f : frames_) look(f.w);
      tb::ClearDrawnTextLog();
      look(front);
      frames_.push_back(child);
      return R::kAgain;
    }
    if (!IsOpen(top.w)) {
      // Closed: by the last of its clicks, by being left, or too early.
      Frame gone = top;
      frames_.pop_back();
      if (frames_.empty()) return ADD_FAILURE() << "the main window closed", R::kDone;
      if (gone.closeTries == 0 && gone.pending && gone.more) {
        suspended_.push_back(gone);
        await(frames_.back(), "reopen " + gone.title);
        gone.reopen();
      }
      return R::kAgain;
    }
    if (front != top.w) return R::kAgain;
    if (top.pending) {
      const Click c = *top.pending;
      top.pending.reset();
      if (Reopens(c.target)) {
        auto lost = std::find_if(suspended_.begin(), suspended_.end(),
                                 [&](const Frame& s) { return "reopen " + s.title == c.target.title; });
        if (lost != suspended_.end()) {
          ADD_FAILURE() << "\"" << lost->title << "\" did not come back";
          suspended_.erase(lost);
        }
      } else if (!acted(top, c)) {
        ADD_FAILURE() << "a click at the centre of '" << c.target.title << "' (item " << c.target.item << ") in \""
                      << top.title << "\" did nothing";
      }
      look(top.w);
    }
    const bool leaving = frames_.size() > 1 && frames_[frames_.size() - 2].closeTries > 0;
    if (top.closeTries == 0 && !top.again)
      if (auto n = next(top, leaving)) {
        click(top, n->first, n->second);
        return R::kAgain;
      }
    if (frames_.size() == 1) {
      frames_.clear();
      suspended_.clear();
      steps_ = 0;
      return R::kDone;
    }
    // Walked: left by Escape, else by its close box.
    switch (top.closeTries++) {
      case 0: tb::PressNamedKey("Escape"); break;
      case 1: {
        Rect box;
        GetWindowBounds(top.w, kWindowCloseBoxRgn, &box);
        tb::ClickAt(Point{SInt16((box.top + box.bottom) / 2), SInt16((box.left + box.right) / 2)});
        break;
      }
      default: return ADD_FAILURE() << "\"" << top.title << "\" cannot be left", R::kDone;
    }
    await(top, "leave");
    return R::kAgain;
  }
};

// The boxes the walks need: a box of every page but NetWare's, one with
// printer names and the wireless dialog, NetWare boxes as print server and
// as remote printer, one without an address (the IP set-up) and one whose
// settings need its password.
enum Box { kOffice, kReception, kNetWare, kRemote, kUnset, kGuarded, kBoxes };
const char* const kBoxNames[] = {"Office C", "Reception E", "NetWare N", "Remote N", "New box", "Guarded C"};

TEST_P(DrawnText, EveryWindowReadsWholeAndEveryClickActs) {
  testsupport::DrawnTextReport report;
  std::vector<pboxemu::BoxSpec> boxes(kBoxes);
  for (int i = 0; i < kBoxes; ++i) {
    boxes[std::size_t(i)].model = i == kReception ? pboxemu::Model::QSV_E : pboxemu::Model::QSV_C;
    boxes[std::size_t(i)].name = kBoxNames[i];
  }
  boxes[kUnset].noAddress = true;
  ASSERT_NO_FATAL_FAILURE(start(boxes));
  const auto set = [this](Box box, pboxemu::SettingsBlocks blocks, UInt16 var, const char* value) {
    admintest::PointTablesAt(blocks);
    char msg[64];
    EXPECT_EQ(context_set_varid(var, value, msg, sizeof msg), 0) << msg;
    admintest::ClearTables();
    emu.SetSettings(box, blocks);
  };
  emu.SetSettings(kNetWare, admintest::NetWareBox());
  set(kRemote, admintest::NetWareBox(), 516, "RPRINTER");
  set(kGuarded, emu.Settings(kGuarded), 264, "pw");

  struct Walk {
    Box box;
    const char* root;
  };
  const Walk walks[] = {{kOffice, "tools"}, {kReception, "132,1"}, {kNetWare, "132,1"},
                        {kRemote, "132,1"}, {kGuarded, "132,1"},   {kUnset, "131,1"},
                        {kOffice, "128,1"}, {kOffice, "131,4"},    {kOffice, "129,3"}};
  std::string script;
  for (const Walk& w : walks) script += "click-box " + admintest::Quoted(kBoxNames[w.box]) + "\nwalk " + w.root + "\n";
  ASSERT_NO_FATAL_FAILURE(run(script));
  for (const auto& [title, lines] : faults_)
    EXPECT_TRUE(lines.empty()) << "\"" << title << "\" (" << GetParam() << "):\n"
                               << testsupport::JoinLines({lines.begin(), lines.end()});
  std::string list;
  for (const std::string& t : seen_) list += (list.empty() ? "" : ", ") + ("\"" + t + "\"");
  // A Japanese user meets every window under a Japanese title, but for the
  // program's name and the status window's, which names the box.
  if (std::string(GetParam()) == "Japanese") {
    for (const std::string& t : seen_) {
      EXPECT_TRUE(t == "VEMO-ADMIN" || t.starts_with("Status - ") ||
                  std::any_of(t.begin(), t.end(), [](char c) { return c & 0x80; }))
          << "\"" << t << "\" is titled in English";
    }
  }
  std::printf("windows walked (%s): %s\n", GetParam(), list.c_str());
}

// The values of the language file's section, in order.
std::vector<std::pair<std::string, std::string>> IniSection(const std::string& section) {
  std::ifstream in(IniFileName);
  std::vector<std::pair<std::string, std::string>> out;
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') inside = line == section;
    const std::size_t eq = line.find('=');
    if (inside && eq != std::string::npos) out.emplace_back(line.substr(0, eq + 1), line.substr(eq + 1));
  }
  return out;
}

// Every message in each kind of alert the program shows (a message only,
// OK and Cancel, the communication error, the reversed Yes and No), each
// button clicked at the centre of what is drawn and answering its item.
TEST_P(DrawnText, EveryMessageReadsWholeInEveryAlertAndEachButtonAnswers) {
  testsupport::DrawnTextReport report;
  // A validation message names the longest label of the file.
  std::string label;
  for (const auto& [key, text] : IniSection("[LABEL]"))
    if (text.size() > label.size()) label = text;
  struct Kind {
    SInt16 id;
    short hideItem;
    bool yesNo;
  };
  const Kind kinds[] = {
      {kAlertMessage, 2, false}, {kAlertQuestion, 0, false}, {kAlertCommError, 2, false}, {607, 0, true}};
  int shown = 0;
  for (const Kind& k : kinds) {
    for (auto [key, text] : IniSection("[STATIC]")) {
      if (key == "COUNT=") continue;  // the status bar's count, no message
      if (const std::size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, label);
      SCOPED_TRACE(std::to_string(k.id) + " " + key);
      const DialogItemIndex button = DialogItemIndex(k.hideItem ? 1 : 1 + shown++ % 2);
      admintest::ScriptChecks().push_back([this, button] {
        WindowRef alert = FrontWindow();
        look(alert);
        for (const ClickTarget& t : testsupport::ClickTargets(GetDialogFromWindow(alert))) {
          if (t.item != button) continue;
          EXPECT_TRUE(tb::ClickInWindow(alert, t.centre()));
        }
      });
      tb::LoadScriptText("wait 2\ncheck\n");
      Str255 message, empty = {0};
      pstr::set(message, sizeof message, text.c_str());
      const short hit = k.yesNo ? Set_Alert_Dialog_Items_YesNo(k.id, k.hideItem, message, empty, empty, empty)
                                : Set_Alert_Dialog_Items(k.id, k.hideItem, message, empty, empty, empty);
      EXPECT_EQ(hit, button);
      EXPECT_TRUE(admintest::ScriptChecks().empty());
    }
  }
  for (const auto& [title, lines] : faults_)
    EXPECT_TRUE(lines.empty()) << "\"" << title << "\" (" << GetParam() << "):\n"
                               << testsupport::JoinLines({lines.begin(), lines.end()});
}

INSTANTIATE_TEST_SUITE_P(Languages, DrawnText, ::testing::Values("English", "Japanese"),
                         [](const ::testing::TestParamInfo<const char*>& p) { return std::string(p.param); });

}  // namespace

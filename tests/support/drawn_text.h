// Checks on the toolbox's drawn-text report (toolbox/drawntext.h): the
// texts of a window that a person could not read whole (drawn outside the
// window, cut, painted over, left out or shortened), each as a readable
// line, and what a click can reach in a dialog (its tabs as drawn and its
// enabled buttons).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "toolbox/dialogs.h"
#include "toolbox/drawntext.h"

namespace testsupport {

// Turns the report on while it lives. Start it before the window opens: a
// tab strip's titles are drawn into its pictures when the tabs are made.
class DrawnTextReport {
 public:
  DrawnTextReport() { tb::StartDrawnTextReport(); }
  ~DrawnTextReport() { tb::StopDrawnTextReport(); }
  DrawnTextReport(const DrawnTextReport&) = delete;
  DrawnTextReport& operator=(const DrawnTextReport&) = delete;
};

// What a check lets through. By default: list cells the list shortens to
// their column, and the parts of edit items, text fields and list cells
// that the view they scroll in cuts off.
struct TextRules {
  bool allowShortenedListCells = true;
  bool allowScrolledText = true;
  std::function<bool(const tb::DrawnText&)> exempt;  // more exemptions, by the test
};

// "'Authenticati…' (control title, item 23, shortened from 'Authentication...')
// at (l,t)-(r,b) in its rectangle (l,t)-(r,b)"
std::string DescribeText(const tb::DrawnText& text);
// One line per text that breaks the rules, in drawing order, each said once.
std::vector<std::string> TextFaults(const std::vector<tb::DrawnText>& texts, const TextRules& rules = {});
// The faults of what the window shows now and of everything drawn into it
// since the report started; empty when every text could be read whole.
std::vector<std::string> WindowTextFaults(WindowRef window, const TextRules& rules = {});
// The faults joined one per line, for a test's failure message.
std::string JoinLines(const std::vector<std::string>& lines);

// Something a click on a dialog should act on, as drawn (the window's local
// coordinates).
struct ClickTarget {
  enum class Kind { kTab, kButton };
  Kind kind;
  std::string title;
  DialogItemIndex item = 0;  // the button's item; 0 for a tab
  Rect rect{};
  Point centre() const { return Point{SInt16((rect.top + rect.bottom) / 2), SInt16((rect.left + rect.right) / 2)}; }
};
// Every tab the dialog shows now (from the report, which must have been on
// when the tabs were made), left to right, then every visible, active and
// enabled push button, check box and radio button, by item.
std::vector<ClickTarget> ClickTargets(DialogRef dialog);
// A line saying how far the selected tab (index sel among the tabs the
// dialog shows, left to right) stands above its page frame, whose top line
// runs at frameTop, when it does not reach down to it; "" when the tab
// stands on the frame (or no such tab is drawn).
std::string TabAboveItsFrame(DialogRef dialog, int sel, short frameTop);
// The scroll bars that show over a list's rectangle (the window's local
// coordinates): "vertical", "horizontal", "vertical and horizontal" or
// "none".
std::string ScrollBarsOver(WindowRef window, const Rect& list);

}  // namespace testsupport

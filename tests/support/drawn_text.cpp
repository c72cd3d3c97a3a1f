// The readable checks over the drawn-text report, and the click targets of
// a dialog.
#include "drawn_text.h"

#include <algorithm>
#include <set>

#include "toolbox/controls.h"

namespace testsupport {

namespace {

std::string RectText(const Rect& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}

bool Scrolls(tb::TextSource s) {
  return s == tb::TextSource::kEditText || s == tb::TextSource::kTextEngine || s == tb::TextSource::kListCell;
}

// The faults of one text in words; "" when none.
std::string FaultOf(const tb::DrawnText& t, const TextRules& rules) {
  if (t.window == nullptr || (rules.exempt && rules.exempt(t))) return {};
  UInt16 cut = t.cut;
  if (rules.allowScrolledText && Scrolls(t.source)) cut &= UInt16(~(tb::kCutByClip | tb::kOutsideFrame));
  const bool shortened = t.shortened && !(rules.allowShortenedListCells && t.source == tb::TextSource::kListCell);
  std::string what = tb::DescribeTextCut(cut);
  if (shortened) what += what.empty() ? "shortened" : ", shortened";
  return what;
}

}  // namespace

std::string DescribeText(const tb::DrawnText& t) {
  std::string s = "'" + t.text + "' (" + tb::TextSourceName(t.source);
  if (t.item) s += ", item " + std::to_string(t.item);
  if (!t.full.empty()) s += ", shortened from '" + t.full + "'";
  s += ") at " + RectText(t.ink);
  if (!EqualRect(&t.frame, &t.box)) s += " in its rectangle " + RectText(t.frame);
  if (!EqualRect(&t.shown, &t.ink)) s += ", showing " + RectText(t.shown);
  return s;
}

std::vector<std::string> TextFaults(const std::vector<tb::DrawnText>& texts, const TextRules& rules) {
  std::vector<std::string> out;
  std::set<std::string> seen;
  for (const tb::DrawnText& t : texts) {
    const std::string what = FaultOf(t, rules);
    if (what.empty()) continue;
    std::string line = DescribeText(t) + ": " + what;
    if (seen.insert(line).second) out.push_back(std::move(line));
  }
  return out;
}

std::vector<std::string> WindowTextFaults(WindowRef window, const TextRules& rules) {
  std::vector<tb::DrawnText> all = tb::DrawnTextLog(window);
  for (tb::DrawnText& t : tb::DrawnTexts(window)) all.push_back(std::move(t));
  return TextFaults(all, rules);
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

std::vector<ClickTarget> ClickTargets(DialogRef dialog) {
  std::vector<ClickTarget> out;
  WindowRef window = GetDialogWindow(dialog);
  if (!window) return out;
  for (const tb::DrawnText& t : tb::DrawnTexts(window))
    if (t.source == tb::TextSource::kTabTitle && !EmptyRect(&t.frame))
      out.push_back(ClickTarget{ClickTarget::Kind::kTab, t.text, 0, t.frame});
  std::sort(out.begin(), out.end(), [](const ClickTarget& a, const ClickTarget& b) {
    return a.rect.left != b.rect.left ? a.rect.left < b.rect.left : a.rect.top < b.rect.top;
  });
  for (DialogItemIndex n = 1; n <= CountDITL(dialog); ++n) {
    DialogItemType kind = 0;
    Handle h = nullptr;
    Rect r{};
    GetDialogItem(dialog, n, &kind, &h, &r);
    const int base = kind & ~itemDisable;
    ControlRef c = nullptr;
    if ((kind & itemDisable) || base < ctrlItem + btnCtrl || base > ctrlItem + radCtrl ||
        GetDialogItemAsControl(dialog, n, &c) != noErr || !c)
      continue;
    if (!IsControlVisible(c) || !IsControlActive(c) || !IsControlEnabled(c)) continue;
    Str255 title;
    GetControlTitle(c, title);
    GetControlBounds(c, &r);
    out.push_back(
        ClickTarget{ClickTarget::Kind::kButton, std::string(reinterpret_cast<char*>(title + 1), title[0]), n, r});
  }
  return out;
}

std::string TabAboveItsFrame(DialogRef dialog, int sel, short frameTop) {
  std::vector<ClickTarget> tabs = ClickTargets(dialog);
  std::erase_if(tabs, [](const ClickTarget& t) { return t.kind != ClickTarget::Kind::kTab; });
  if (sel < 0 || sel >= int(tabs.size())) return "";
  const ClickTarget& tab = tabs[std::size_t(sel)];
  if (tab.rect.bottom >= frameTop) return "";
  return "the selected tab '" + tab.title + "' ends " + std::to_string(frameTop - tab.rect.bottom) +
         " pixels above its page frame";
}

std::string ScrollBarsOver(WindowRef window, const Rect& list) {
  // A bar lies along the list's right or bottom edge, 15 or 16 pixels thick.
  const auto barAt = [&](Point p, bool vertical) {
    SInt16 part = 0;
    ControlRef c = FindControlUnderMouse(p, window, &part);
    Rect b{};
    if (!c || !IsControlVisible(c)) return false;
    GetControlBounds(c, &b);
    return (vertical ? b.right - b.left : b.bottom - b.top) <= 16;
  };
  const bool v = barAt(Point{SInt16((list.top + list.bottom) / 2), SInt16(list.right - 7)}, true);
  const bool h = barAt(Point{SInt16(list.bottom - 7), SInt16((list.left + list.right) / 2)}, false);
  return v && h ? "vertical and horizontal" : v ? "vertical" : h ? "horizontal" : "none";
}

}  // namespace testsupport

// Driving a program from a test or a script: queued input, the virtual
// clock, beeps and screenshots, and the script runner with its commands.
#include "toolbox/testdriver.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <sstream>
#include <utility>

#include "screen_internal.h"
#include "toolbox/clock.h"
#include "toolbox/display.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/movies.h"
#include "utf8_internal.h"

namespace {

Point mid(const Rect& r) { return Point{SInt16((r.top + r.bottom) / 2), SInt16((r.left + r.right) / 2)}; }

struct NamedKey {
  const char* name;
  UInt8 ch;
  UInt8 code;
};

const NamedKey kNamedKeys[] = {
    {"Return", kReturnCharCode, kVK_Return},
    {"Enter", kEnterCharCode, kVK_ANSI_KeypadEnter},
    {"Escape", kEscapeCharCode, kVK_Escape},
    {"Tab", kTabCharCode, kVK_Tab},
    {"Delete", kBackspaceCharCode, kVK_Delete},
    {"ForwardDelete", kDeleteCharCode, kVK_ForwardDelete},
    {"Left", kLeftArrowCharCode, kVK_LeftArrow},
    {"Right", kRightArrowCharCode, kVK_RightArrow},
    {"Up", kUpArrowCharCode, kVK_UpArrow},
    {"Down", kDownArrowCharCode, kVK_DownArrow},
    {"Home", kHomeCharCode, kVK_Home},
    {"End", kEndCharCode, kVK_End},
    {"PageUp", kPageUpCharCode, kVK_PageUp},
    {"PageDown", kPageDownCharCode, kVK_PageDown},
    {"Help", kHelpCharCode, kVK_Help},
    {"Space", kSpaceCharCode, kVK_Space},
};

bool needsShift(char c) {
  return std::isupper(UInt8(c)) || std::strchr("~!@#$%^&*()_+{}|:\"<>?", c) != nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Input

void tb::MoveMouseTo(Point where) { PostMouseMove(where); }
void tb::MouseDownAt(Point where, EventModifiers mods) { PostMouse(mouseDown, where, mods); }
void tb::MouseUpAt(Point where, EventModifiers mods) { PostMouse(mouseUp, where, mods); }

void tb::ClickAt(Point where, EventModifiers mods) {
  PostMouse(mouseDown, where, mods);
  PostMouse(mouseUp, where, mods);
}

bool tb::ClickInWindow(WindowRef w, Point local, EventModifiers mods) {
  Rect content, port;
  if (GetWindowBounds(w, kWindowContentRgn, &content) != noErr) return false;
  GetWindowPortBounds(w, &port);
  ClickAt(Point{SInt16(content.top + local.v - port.top), SInt16(content.left + local.h - port.left)}, mods);
  return true;
}

void tb::DragFromTo(Point from, Point to, EventModifiers mods, int steps) {
  PostMouse(mouseDown, from, mods);
  steps = std::max(steps, 1);
  for (int i = 1; i <= steps; ++i)
    PostMouseMove(Point{SInt16(from.v + (to.v - from.v) * i / steps), SInt16(from.h + (to.h - from.h) * i / steps)});
  PostMouse(mouseUp, to, mods);
}

void tb::TurnWheelAt(Point where, SInt16 lines, bool horizontal) { PostWheel(where, lines, horizontal); }

bool tb::DragWindowBy(WindowRef w, short dh, short dv) {
  Rect title;
  if (GetWindowBounds(w, kWindowTitleBarRgn, &title) != noErr) return false;
  // A point of the bar clear of the boxes at its ends.
  Point from{SInt16((title.top + title.bottom) / 2), SInt16((title.left + title.right) / 2)};
  DragFromTo(from, Point{SInt16(from.v + dv), SInt16(from.h + dh)});
  return true;
}

UInt8 tb::KeyCodeForChar(char c) {
  static const char* const kRow = "asdfhgzxcv\0bqweryt123465=97-80]ou[ip\0lj'k;\\,/nm.\0 `";
  static const char* const kShifted = "~!@#$%^&*()_+{}|:\"<>?";
  static const char* const kBase = "`1234567890-=[]\\;',./";
  const char* s = std::strchr(kShifted, c);
  if (c && s) c = kBase[s - kShifted];
  c = char(std::tolower(UInt8(c)));
  for (int i = 0; i < 51; ++i)
    if (kRow[i] && kRow[i] == c) return UInt8(i);
  if (c == '\r') return kVK_Return;
  if (c == '\t') return kVK_Tab;
  return 0x7F;
}

void tb::PressKey(UInt8 charCode, UInt8 keyCode, EventModifiers mods) {
  PostKey(keyDown, charCode, keyCode, mods);
}

bool tb::PressNamedKey(std::string_view name, EventModifiers mods) {
  for (const NamedKey& k : kNamedKeys) {
    if (name == k.name) {
      PressKey(k.ch, k.code, mods);
      return true;
    }
  }
  if (name.size() == 1) {
    const char c = name[0];
    PressKey(UInt8(c), KeyCodeForChar(c), EventModifiers(mods | (needsShift(c) ? shiftKey : 0)));
    return true;
  }
  return false;
}

void tb::TypeText(std::string_view text) {
  const auto* b = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = tb::utf8::Decode(b, text.size(), i).second;
    const char c = text[i];
    if (c == '\n' || c == '\r') {
      PressKey(kReturnCharCode, kVK_Return);
    } else if (b[i] >= 0x80) {
      // One key event per character, as a keyboard gives it.
      PostKeyText(keyDown, text.substr(i, n), 0x7F, 0);
    } else {
      PressKey(UInt8(c), KeyCodeForChar(c), needsShift(c) ? shiftKey : 0);
    }
    i += n;
  }
}

bool tb::ChooseMenuItem(MenuID menuID, MenuItemIndex item) {
  Rect title, itemRect;
  if (!MenuTitleRect(menuID, &title) || !MenuItemRect(menuID, item, &itemRect)) return false;
  PostMouse(mouseDown, mid(title), 0);
  PostMouseMove(Point{SInt16(title.bottom + 2), mid(title).h});
  PostMouseMove(mid(itemRect));
  PostMouse(mouseUp, mid(itemRect), 0);
  return true;
}

bool tb::ChooseMenuItemByText(std::string_view menuTitle, std::string_view itemText) {
  // Search the bar's menus by title, then the item by text.
  MenuBarHandle bar = GetMenuBar();
  if (!bar) return false;
  const UInt8* p = reinterpret_cast<const UInt8*>(*bar);
  const int count = be::get16(p);
  std::vector<MenuID> ids{kApplicationMenuID};
  for (int i = 0; i < count; ++i) ids.push_back(MenuID(be::get16(p + 2 + 2 * i)));
  DisposeHandle(bar);
  ids.push_back(kHMHelpMenuID);
  for (MenuID id : ids) {
    MenuRef m = GetMenuHandle(id);
    if (!m) continue;
    Str255 t;
    GetMenuTitle(m, t);
    if (pstr::view(t) != menuTitle) continue;
    for (UInt16 i = 1; i <= CountMenuItems(m); ++i) {
      Str255 s;
      GetMenuItemText(m, i, s);
      if (pstr::view(s) == itemText) return ChooseMenuItem(id, i);
    }
  }
  return false;
}

void tb::AdvanceClock(UInt32 ticks) {
  if (!VirtualClockOn()) UseVirtualClock(true);
  AdvanceTicks(ticks);
}

int tb::Beeps() { return BeepCount(); }

OSErr tb::SaveScreenshot(const char* path) { return SaveScreenPNG(path); }

// ---------------------------------------------------------------------------
// Scripts

namespace {

struct Script {
  std::vector<std::string> lines;
  std::size_t next = 0;
  std::size_t lineNo = 0;
  int passes = -1;       // for wait: passes still to let go by
  UInt64 until = 0;      // for sleep and the waits with a time limit
  bool started = false;  // the current line has begun waiting
  std::map<std::string, tb::ScriptCommand> commands;
  bool builtins = false;
};

Script& sc() {
  static Script& s = *new Script;
  return s;
}

std::vector<std::string> splitWords(const std::string& line, bool* ok) {
  std::vector<std::string> out;
  std::size_t i = 0;
  *ok = true;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(UInt8(line[i]))) ++i;
    if (i >= line.size() || line[i] == '#') break;
    std::string w;
    if (line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '\\' && i + 1 < line.size()) {
          w.push_back(line[i + 1]);
          i += 2;
        } else if (line[i] == '"') {
          ++i;
          closed = true;
          break;
        } else {
          w.push_back(line[i++]);
        }
      }
      if (!closed) *ok = false;
    } else {
      while (i < line.size() && !std::isspace(UInt8(line[i]))) w.push_back(line[i++]);
    }
    out.push_back(w);
  }
  return out;
}

bool toInt(const std::string& s, long* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long x = std::strtol(s.c_str(), &end, 10);
  if (*end || errno) return false;
  *v = x;
  return true;
}

bool toShort(const std::string& s, short* v) {
  long x;
  if (!toInt(s, &x) || x < -32768 || x > 32767) return false;
  *v = short(x);
  return true;
}

bool parseMods(const std::string& s, EventModifiers* m) {
  *m = 0;
  std::stringstream in(s);
  std::string part;
  while (std::getline(in, part, '+')) {
    if (part == "cmd" || part == "command") *m |= cmdKey;
    else if (part == "shift") *m |= shiftKey;
    else if (part == "option" || part == "alt") *m |= optionKey;
    else if (part == "control" || part == "ctrl") *m |= controlKey;
    else return false;
  }
  return true;
}

using W = const std::vector<std::string>&;
using R = tb::ScriptResult;

R fail(std::string* error, const std::string& what) {
  *error = what;
  return R::kFailed;
}

// A waiting command: true once the time limit set at its start has passed.
bool timedOut(UInt64 limitMs) {
  Script& s = sc();
  if (!s.started) {
    s.started = true;
    s.until = tb::MonotonicMicros() + limitMs * 1000;
    return false;
  }
  return tb::MonotonicMicros() >= s.until;
}

void addBuiltins() {
  auto& c = sc().commands;
  c["click"] = [](W w, std::string* e) {
    short x, y;
    EventModifiers m = 0;
    if (w.size() < 3 || !toShort(w[1], &x) || !toShort(w[2], &y) || (w.size() > 3 && !parseMods(w[3], &m)))
      return fail(e, "usage: click X Y [MODS]");
    tb::ClickAt(Point{y, x}, m);
    return R::kDone;
  };
  c["doubleclick"] = [](W w, std::string* e) {
    short x, y;
    if (w.size() < 3 || !toShort(w[1], &x) || !toShort(w[2], &y)) return fail(e, "usage: doubleclick X Y");
    tb::ClickAt(Point{y, x});
    tb::ClickAt(Point{y, x});
    return R::kDone;
  };
  c["click-window"] = [](W w, std::string* e) {
    short x, y;
    EventModifiers m = 0;
    if (w.size() < 4 || !toShort(w[2], &x) || !toShort(w[3], &y) || (w.size() > 4 && !parseMods(w[4], &m)))
      return fail(e, "usage: click-window TITLE X Y [MODS]");
    if (!tb::ClickInWindow(tb::FindWindowByTitle(w[1]), Point{y, x}, m)) return fail(e, "no window \"" + w[1] + "\"");
    return R::kDone;
  };
  c["move"] = [](W w, std::string* e) {
    short x, y;
    if (w.size() < 3 || !toShort(w[1], &x) || !toShort(w[2], &y)) return fail(e, "usage: move X Y");
    tb::MoveMouseTo(Point{y, x});
    return R::kDone;
  };
  c["move-window"] = [](W w, std::string* e) {
    short x, y;
    if (w.size() < 4 || !toShort(w[2], &x) || !toShort(w[3], &y)) return fail(e, "usage: move-window TITLE X Y");
    WindowRef window = tb::FindWindowByTitle(w[1]);
    Rect content;
    if (!window || GetWindowBounds(window, kWindowContentRgn, &content) != noErr)
      return fail(e, "no window \"" + w[1] + "\"");
    tb::MoveMouseTo(Point{short(content.top + y), short(content.left + x)});
    return R::kDone;
  };
  c["drag"] = [](W w, std::string* e) {
    short x1, y1, x2, y2;
    EventModifiers m = 0;
    if (w.size() < 5 || !toShort(w[1], &x1) || !toShort(w[2], &y1) || !toShort(w[3], &x2) ||
        !toShort(w[4], &y2) || (w.size() > 5 && !parseMods(w[5], &m)))
      return fail(e, "usage: drag X1 Y1 X2 Y2 [MODS]");
    tb::DragFromTo(Point{y1, x1}, Point{y2, x2}, m);
    return R::kDone;
  };
  c["wheel"] = [](W w, std::string* e) {
    short x, y, lines;
    if (w.size() < 4 || w.size() > 5 || !toShort(w[1], &x) || !toShort(w[2], &y) || !toShort(w[3], &lines) ||
        (w.size() == 5 && w[4] != "h"))
      return fail(e, "usage: wheel X Y LINES [h]");
    tb::TurnWheelAt(Point{y, x}, lines, w.size() == 5);
    return R::kDone;
  };
  c["drag-window"] = [](W w, std::string* e) {
    short dh, dv;
    if (w.size() < 4 || !toShort(w[2], &dh) || !toShort(w[3], &dv)) return fail(e, "usage: drag-window TITLE DH DV");
    if (!tb::DragWindowBy(tb::FindWindowByTitle(w[1]), dh, dv)) return fail(e, "no window \"" + w[1] + "\" with a title bar");
    return R::kDone;
  };
  c["click-box"] = [](W w, std::string* e) {
    static const std::pair<const char*, WindowRegionCode> kBoxes[] = {
        {"close", kWindowCloseBoxRgn}, {"zoom", kWindowZoomBoxRgn}, {"collapse", kWindowCollapseBoxRgn}};
    const auto box = std::ranges::find_if(kBoxes, [&](const auto& b) { return w.size() == 3 && w[2] == b.first; });
    if (box == std::end(kBoxes)) return fail(e, "usage: click-box TITLE close|zoom|collapse");
    Rect r;
    if (GetWindowBounds(tb::FindWindowByTitle(w[1]), box->second, &r) != noErr)
      return fail(e, "no window \"" + w[1] + "\" with a " + w[2] + " box");
    tb::ClickAt(mid(r));
    return R::kDone;
  };
  c["expect-collapsed"] = [](W w, std::string* e) {
    if (w.size() != 3 || (w[2] != "yes" && w[2] != "no")) return fail(e, "usage: expect-collapsed TITLE yes|no");
    WindowRef win = tb::FindWindowByTitle(w[1]);
    if (!win) return fail(e, "no window \"" + w[1] + "\"");
    if (bool(IsWindowCollapsed(win)) != (w[2] == "yes"))
      return fail(e, "\"" + w[1] + "\" is " + (IsWindowCollapsed(win) ? "collapsed" : "whole"));
    return R::kDone;
  };
  c["key"] = [](W w, std::string* e) {
    EventModifiers m = 0;
    if (w.size() < 2 || (w.size() > 2 && !parseMods(w[2], &m))) return fail(e, "usage: key NAME [MODS]");
    if (!tb::PressNamedKey(w[1], m)) return fail(e, "unknown key \"" + w[1] + "\"");
    return R::kDone;
  };
  c["type"] = [](W w, std::string* e) {
    if (w.size() < 2) return fail(e, "usage: type TEXT");
    for (std::size_t i = 1; i < w.size(); ++i) {
      if (i > 1) tb::TypeText(" ");
      tb::TypeText(w[i]);
    }
    return R::kDone;
  };
  c["menu"] = [](W w, std::string* e) {
    if (w.size() != 3) return fail(e, "usage: menu MENU-ID ITEM | menu TITLE ITEM-TEXT");
    short id, item;
    bool ok = (toShort(w[1], &id) && toShort(w[2], &item) && item > 0)
                  ? tb::ChooseMenuItem(id, MenuItemIndex(item))
                  : tb::ChooseMenuItemByText(w[1], w[2]);
    if (!ok) return fail(e, "no menu item " + w[1] + " " + w[2]);
    return R::kDone;
  };
  c["wait"] = [](W w, std::string* e) {
    long n;
    if (w.size() != 2 || !toInt(w[1], &n) || n < 0) return fail(e, "usage: wait PASSES");
    Script& s = sc();
    if (s.passes < 0) s.passes = int(std::min<long>(n, 1000000));
    if (s.passes == 0) {
      s.passes = -1;
      return R::kDone;
    }
    --s.passes;
    return R::kAgain;
  };
  c["sleep"] = [](W w, std::string* e) {
    long ms;
    if (w.size() != 2 || !toInt(w[1], &ms) || ms < 0) return fail(e, "usage: sleep MS");
    return timedOut(UInt64(ms)) ? R::kDone : R::kAgain;
  };
  c["advance"] = [](W w, std::string* e) {
    long n;
    if (w.size() != 2 || !toInt(w[1], &n) || n < 0) return fail(e, "usage: advance TICKS");
    tb::AdvanceClock(UInt32(n));
    return R::kDone;
  };
  c["wait-window"] = [](W w, std::string* e) {
    long ms = 5000;
    if (w.size() < 2 || (w.size() > 2 && !toInt(w[2], &ms))) return fail(e, "usage: wait-window TITLE [MS]");
    // A title ending in "*" stands for every title that starts with the rest.
    const bool prefix = !w[1].empty() && w[1].back() == '*';
    const std::string_view want = std::string_view(w[1]).substr(0, w[1].size() - prefix);
    for (WindowRef win = GetWindowList(); win; win = GetNextWindow(win)) {
      Str255 title;
      GetWTitle(win, title);
      const std::string_view have = pstr::view(title);
      if (IsWindowVisible(win) && (prefix ? have.starts_with(want) : have == want)) return R::kDone;
    }
    if (timedOut(UInt64(std::max<long>(ms, 0)))) return fail(e, "no window \"" + w[1] + "\" appeared");
    return R::kAgain;
  };
  // Waits for a file another process makes: a driver outside the program
  // says when the next step may come.
  c["wait-file"] = [](W w, std::string* e) {
    long ms = 5000;
    if (w.size() < 2 || w.size() > 3 || (w.size() == 3 && !toInt(w[2], &ms)))
      return fail(e, "usage: wait-file PATH [MS]");
    struct stat st;
    if (::stat(w[1].c_str(), &st) == 0) return R::kDone;
    if (timedOut(UInt64(std::max<long>(ms, 0)))) return fail(e, "no file " + w[1] + " appeared");
    return R::kAgain;
  };
  c["screenshot"] = [](W w, std::string* e) {
    if (w.size() != 2) return fail(e, "usage: screenshot FILE");
    if (tb::SaveScreenshot(w[1].c_str()) != noErr) return fail(e, "cannot write " + w[1]);
    return R::kDone;
  };
  c["window-shot"] = [](W w, std::string* e) {
    if (w.size() != 3) return fail(e, "usage: window-shot TITLE FILE");
    WindowRef win = tb::FindWindowByTitle(w[1]);
    if (!win) return fail(e, "no window \"" + w[1] + "\"");
    if (tb::SaveWindowPNG(win, w[2].c_str()) != noErr) return fail(e, "cannot write " + w[2]);
    return R::kDone;
  };
  c["expect-beeps"] = [](W w, std::string* e) {
    long n;
    if (w.size() != 2 || !toInt(w[1], &n)) return fail(e, "usage: expect-beeps N");
    if (tb::Beeps() != n) return fail(e, "expected " + w[1] + " beeps, counted " + std::to_string(tb::Beeps()));
    return R::kDone;
  };
  c["expect-cursor"] = [](W w, std::string* e) {
    long n;
    if (w.size() != 2 || !toInt(w[1], &n)) return fail(e, "usage: expect-cursor ID");
    if (tb::CurrentCursorID() != n)
      return fail(e, "expected cursor " + w[1] + ", shown " + std::to_string(tb::CurrentCursorID()));
    return R::kDone;
  };
  c["expect-sounds"] = [](W w, std::string* e) {
    // expect-sounds played N [stopped N] [rewound N] [finished N]
    if (w.size() < 3 || w.size() % 2 == 0) return fail(e, "usage: expect-sounds played N [stopped N] ...");
    tb::SoundRecord r = tb::RecordedSounds();
    for (std::size_t i = 1; i + 1 < w.size(); i += 2) {
      long n;
      if (!toInt(w[i + 1], &n)) return fail(e, "not a number: " + w[i + 1]);
      int have = w[i] == "played" ? r.played : w[i] == "stopped" ? r.stopped : w[i] == "rewound" ? r.rewound
                 : w[i] == "finished" ? r.finished : -1;
      if (have < 0) return fail(e, "unknown count " + w[i]);
      if (have != n) return fail(e, "expected " + w[i] + " " + w[i + 1] + ", counted " + std::to_string(have));
    }
    return R::kDone;
  };
  c["log"] = [](W w, std::string*) {
    std::string text;
    for (std::size_t i = 1; i < w.size(); ++i) text += (i > 1 ? " " : "") + w[i];
    std::fprintf(stderr, "script: %s\n", text.c_str());
    return R::kDone;
  };
  c["exit"] = [](W w, std::string* e) {
    long code = 0;
    if (w.size() > 2 || (w.size() == 2 && !toInt(w[1], &code))) return fail(e, "usage: exit [CODE]");
    std::fflush(nullptr);
    std::exit(int(code));
  };
}

void ensureBuiltins() {
  if (sc().builtins) return;
  sc().builtins = true;
  addBuiltins();
}

// Runs lines until one gives input or waits. Called by the event loop when
// the program has taken every event before.
bool scriptStep() {
  Script& s = sc();
  const int before = tb::QueuedEventCount();
  while (s.next < s.lines.size()) {
    bool ok = true;
    std::vector<std::string> words = splitWords(s.lines[s.next], &ok);
    std::string error;
    R result;
    if (!ok) {
      result = fail(&error, "unclosed quote");
    } else if (words.empty()) {
      result = R::kDone;
    } else {
      auto it = s.commands.find(words[0]);
      result = it == s.commands.end() ? fail(&error, "unknown command \"" + words[0] + "\"")
                                       : it->second(words, &error);
    }
    if (result == R::kFailed) {
      std::fprintf(stderr, "script: line %zu: %s\n", s.next + 1, error.c_str());
      std::fflush(nullptr);
      std::exit(3);
    }
    if (result == R::kAgain) return false;
    ++s.next;
    s.started = false;
    if (tb::QueuedEventCount() != before) return true;
  }
  tb::SetIdleEventSource(nullptr);
  return false;
}

}  // namespace

bool tb::ScriptTimedOut(UInt64 limitMs) { return timedOut(limitMs); }

void tb::RegisterScriptCommand(const std::string& name, ScriptCommand command) {
  ensureBuiltins();
  sc().commands[name] = std::move(command);
}

bool tb::LoadScript(const std::string& path) {
  std::string text;
  if (tb::ReadLocalFile(path, tb::kTextFileMax, text) != noErr) return false;
  LoadScriptText(text);
  return true;
}

void tb::LoadScriptText(const std::string& text) {
  ensureBuiltins();
  Script& s = sc();
  s.lines.clear();
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    s.lines.push_back(line);
  }
  s.next = 0;
  s.passes = -1;
  s.started = false;
  SetIdleEventSource(scriptStep);
}

bool tb::ScriptRunning() { return sc().next < sc().lines.size(); }

// Driving a program by a script file through its own event loop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/events.h"
#include "toolbox/menus.h"
#include "toolbox/testdriver.h"
#include "toolbox/windows.h"

namespace {

Str255 gText;
ConstStr255Param P(const char* s) {
  pstr::set(gText, sizeof gText, s);
  return gText;
}

// A small program: one window and a File menu; its event loop writes down
// what it did.
struct Program {
  WindowRef main = nullptr;
  std::vector<std::string> log;

  Program() {
    tb::ResetEventState();
    tb::ResetMenus();
    MenuRef file = NewMenu(129, P("File"));
    AppendMenu(file, P("New/N;Open/O"));
    InsertMenu(file, 0);
    Rect r{100, 100, 300, 400};
    main = NewCWindow(nullptr, &r, P("Main"), true, documentProc, kFirstWindowOfClass, true, 0);
  }
  ~Program() {
    tb::DisposeAllWindows();
    tb::ResetMenus();
    tb::ResetEventState();
    tb::UseVirtualClock(false);
  }

  void choice(long c) {
    if (c) log.push_back("menu " + std::to_string(c >> 16) + " " + std::to_string(c & 0xFFFF));
    HiliteMenu(0);
  }

  void run(int passes) {
    for (int i = 0; i < passes; ++i) {
      EventRecord ev;
      if (!WaitNextEvent(everyEvent, &ev, 0, nullptr)) continue;
      switch (ev.what) {
        case updateEvt: {
          auto w = reinterpret_cast<WindowRef>(ev.message);
          BeginUpdate(w);
          EndUpdate(w);
          break;
        }
        case mouseDown: {
          WindowRef w;
          switch (FindWindow(ev.where, &w)) {
            case inMenuBar:
              choice(MenuSelect(ev.where));
              break;
            case inDrag: {
              BitMap screen;
              GetQDGlobalsScreenBits(&screen);
              DragWindow(w, ev.where, &screen.bounds);
              Rect c;
              GetWindowBounds(w, kWindowContentRgn, &c);
              log.push_back("moved " + std::to_string(c.left) + " " + std::to_string(c.top));
              break;
            }
            case inCollapseBox:
              if (TrackBox(w, ev.where, inCollapseBox)) {
                CollapseWindow(w, !IsWindowCollapsed(w));
                log.push_back(IsWindowCollapsed(w) ? "collapsed" : "whole");
              }
              break;
            case inContent: {
              SetPortWindowPort(w);
              Point p = ev.where;
              GlobalToLocal(&p);
              log.push_back("click " + std::to_string(p.h) + " " + std::to_string(p.v));
              break;
            }
            default:
              break;
          }
          break;
        }
        case keyDown:
          if (ev.modifiers & cmdKey)
            choice(MenuKey(CharParameter(ev.message & 0xFF)));
          else
            log.push_back(std::string("key ") + char(ev.message & 0xFF));
          break;
        default:
          break;
      }
    }
  }
};

TEST(Script, DrivesAProgramThroughItsEventLoop) {
  testsupport::TempDir dir;
  const std::string shot = (dir / "shot.png").string();
  testsupport::WriteFile(dir / "go", "");
  Program prog;
  tb::UseVirtualClock(true);
  const UInt32 t0 = TickCount();
  tb::LoadScriptText(
      "# a comment line\n"
      "wait-window Main\n"
      "wait-file " +
      (dir / "go").string() +
      "\n"
      "click-window \"Main\" 10 20\n"
      "key n cmd\n"
      "type \"Hi\"\n"
      "menu File Open\n"
      "menu 129 1\n"
      "drag-window Main 30 40\n"
      "click-box Main collapse\n"
      "expect-collapsed Main yes\n"
      "click-box Main collapse\n"
      "expect-collapsed Main no\n"
      "expect-beeps 0\n"
      "expect-cursor 0\n"
      "expect-sounds played 0 stopped 0\n"
      "advance 30\n"
      "screenshot " +
      shot + "\n");
  prog.run(200);
  EXPECT_FALSE(tb::ScriptRunning());
  const std::vector<std::string> want = {"click 10 20", "menu 129 1",    "key H",     "key i", "menu 129 2",
                                         "menu 129 1",  "moved 130 140", "collapsed", "whole"};
  EXPECT_EQ(prog.log, want);
  EXPECT_EQ(TickCount(), t0 + 30);
  EXPECT_EQ(testsupport::ReadFile(shot).substr(1, 3), "PNG");
}

TEST(Script, TheEnvironmentNamesTheScript) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "s.txt", "key Escape\nkey x\n");
  testsupport::ScopedEnv env("TOOLBOX_SCRIPT", (dir / "s.txt").c_str());
  Program prog;
  prog.run(20);
  EXPECT_EQ(prog.log, (std::vector<std::string>{"key \x1b", "key x"}));
}

TEST(Script, ABadLineEndsTheProgramWithItsReason) {
  struct {
    const char* text;
    const char* why;
  } cases[] = {
      {"frobnicate 1\n", "line 1: unknown command \"frobnicate\""},
      {"wait 1\nclick 10\n", "line 2: usage: click"},
      {"click-window Nowhere 1 1\n", "no window \"Nowhere\""},
      {"key Hyper\n", "unknown key"},
      {"type \"open\n", "unclosed quote"},
      {"menu File Close\n", "no menu item"},
      {"click-box Main grow\n", "usage: click-box TITLE close"},
      {"click-box Main zoom\n", "no window \"Main\" with a zoom box"},
      {"expect-collapsed Main yes\n", "\"Main\" is whole"},
      {"expect-beeps 2\n", "expected 2 beeps, counted 0"},
      {"expect-cursor 161\n", "expected cursor 161, shown 0"},
      {"expect-sounds played 0 rewound 1\n", "expected rewound 1, counted 0"},
      {"wait-window Later 0\nwait 1\n", "no window \"Later\" appeared"},
      {"wait-file /nonexistent/go 0\nwait 1\n", "no file /nonexistent/go appeared"},
  };
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          Program prog;
          tb::LoadScriptText(c.text);
          prog.run(50);
          std::exit(0);
        },
        ::testing::ExitedWithCode(3), c.why)
        << c.text;
  }
  EXPECT_EXIT(
      {
        Program prog;
        tb::LoadScriptText("exit 7\n");
        prog.run(5);
        std::exit(0);
      },
      ::testing::ExitedWithCode(7), "");
}

}  // namespace

// The base of the toolbox and UI tests: the set-up and tear-down every one
// of them repeats, and the few steps they all take to get a window on the
// headless screen. A fixture derives from it, passes its clock and resource
// file to the constructor, and calls ToolboxFixture::SetUp/TearDown first
// and last from its own.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "toolbox/processes.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

namespace testsupport {

class ToolboxFixture : public ::testing::Test {
 public:
  enum class Clock { kReal, kVirtual };

 protected:
  // With Clock::kVirtual the ticks stand still until the test moves them;
  // with a resource file, that file is opened as the program's resources.
  explicit ToolboxFixture(Clock clock = Clock::kVirtual, std::string resources = {})
      : clock_(clock), resources_(std::move(resources)) {}

  // An empty event queue, no beeps counted, empty ParamText strings, the
  // clock as chosen (a virtual
  // clock moved on so that no click of an earlier test is recent), no
  // resource file but the one given, if any (a fatal failure when it does
  // not open).
  void SetUp() override;
  // Every window and dialog disposed, menus and resources reset, the queue
  // emptied and the real clock back.
  void TearDown() override;

  // A visible document window with a close box at r (global coordinates),
  // its first update taken; a failure of the test when none is made. With
  // a content colour, painted as PaintContent does.
  WindowRef NewTestWindow(const Rect& r, const char* title, const RGBColor* content = nullptr);
  // Takes every waiting event, answering updates as a program does.
  static void Drain();
  // Makes the window's port current and erases its whole content in
  // colour, which stays the port's background colour (as a dialog host
  // does before it makes its controls).
  static void PaintContent(WindowRef window, const RGBColor& colour);

  // The test's own folder, removed afterwards.
  TempDir dir_;

 private:
  Clock clock_;
  std::string resources_;
};

// Tests that start the toolbox tests' helper program (an Apple-event
// logger) from a bundle in the test's own folder, "Helper.app" with
// creator 'TSTa'. The Apple-event sockets and the helper's log ("log.txt")
// are the test's own; this process answers as creator 'TEST'. Every
// process the test puts in started_ is asked to quit at the end, and
// killed when it does not.
class HelperProcessFixture : public ::testing::Test {
 protected:
  // helperPath: the built helper program, linked into the bundle.
  explicit HelperProcessFixture(const char* helperPath) : helperPath_(helperPath) {}
  void SetUp() override;
  void TearDown() override;

  // Waits for the helper (not for a time-out) until its log has n lines.
  std::vector<std::string> WaitForLogLines(std::size_t n) const;

  TempDir dir_;
  ScopedEnv runtime_{"XDG_RUNTIME_DIR", (dir_.path() / "run").c_str()};
  ScopedEnv log_{"AEHELPER_LOG", (dir_.path() / "log.txt").c_str()};
  const std::string bundle_ = (dir_.path() / "Helper.app").string();
  std::vector<ProcessSerialNumber> started_;

 private:
  std::string helperPath_;
};

// An offscreen world for one test, current while it lives; the port that
// was current comes back afterwards.
class Canvas {
 public:
  Canvas(short width, short height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  GWorldPtr get() const { return world_; }
  UInt32 at(int x, int y) const { return tb::PortPixel(world_, x, y); }
  // Pixels inside (left, top)-(right, bottom) that are not white.
  int ink(int left = 0, int top = 0, int right = 10000, int bottom = 10000) const;
  int ink(const Rect& r) const { return ink(r.left, r.top, r.right, r.bottom); }
  // Pixels of exactly this value.
  int count(UInt32 pixel) const;

 private:
  tb::PortSaver saved_;
  GWorldPtr world_ = nullptr;
};

}  // namespace testsupport

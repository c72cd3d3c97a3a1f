// The toolbox fixture's set-up and clean-up around each test.
#include "toolbox_fixture.h"

#include <signal.h>

#include <algorithm>
#include <filesystem>

#include "toolbox/appleevents.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/menus.h"
#include "toolbox/recorder.h"
#include "toolbox/resources.h"

namespace testsupport {

void ToolboxFixture::SetUp() {
  tb::ResetEventState();
  tb::ResetBeepCount();
  ParamText(PStr(""), PStr(""), PStr(""), PStr(""));
  if (clock_ == Clock::kVirtual) {
    tb::UseVirtualClock(true);
    tb::AdvanceTicks(1000);
  }
  tb::ResetResources();
  if (!resources_.empty()) {
    ASSERT_GT(tb::OpenApplicationResources(resources_), 0) << resources_;
  }
}

void ToolboxFixture::TearDown() {
  tb::DisposeAllWindows();
  tb::ResetMenus();
  tb::ResetResources();
  tb::ResetEventState();
  if (clock_ == Clock::kVirtual) tb::UseVirtualClock(false);
}

WindowRef ToolboxFixture::NewTestWindow(const Rect& r, const char* title, const RGBColor* content) {
  WindowRef w = NewCWindow(nullptr, &r, PStr(title), true, documentProc, kFirstWindowOfClass, true, 0);
  EXPECT_NE(w, nullptr) << title;
  Drain();
  if (w && content) PaintContent(w, *content);
  return w;
}

void ToolboxFixture::Drain() {
  EventRecord ev;
  while (GetNextEvent(everyEvent, &ev)) {
    if (ev.what == updateEvt) {
      BeginUpdate(reinterpret_cast<WindowRef>(ev.message));
      EndUpdate(reinterpret_cast<WindowRef>(ev.message));
    }
  }
}

void ToolboxFixture::PaintContent(WindowRef window, const RGBColor& colour) {
  SetPortWindowPort(window);
  RGBBackColor(&colour);
  Rect all;
  GetWindowPortBounds(window, &all);
  EraseRect(&all);
}

void HelperProcessFixture::SetUp() {
  tb::ResetAppleEvents();
  tb::ClearRecords();
  tb::SetCurrentCreator('TEST');
  // The bundle's program is a link to the built helper: the launch tells it
  // the path it was started by.
  std::filesystem::create_directories(bundle_ + "/Contents/MacOS");
  std::filesystem::create_symlink(helperPath_, bundle_ + "/Contents/MacOS/Helper");
  WriteFile(bundle_ + "/Contents/PkgInfo", "APPLTSTa");
}

void HelperProcessFixture::TearDown() {
  for (const ProcessSerialNumber& psn : started_) {
    if (tb::WaitForProcessExit(psn, 0, nullptr)) continue;
    AEAddressDesc target;
    AECreateDesc(typeProcessSerialNumber, &psn, sizeof psn, &target);
    AppleEvent quit;
    AECreateAppleEvent(kCoreEventClass, kAEQuitApplication, &target, kAutoGenerateReturnID, kAnyTransactionID, &quit);
    AESend(&quit, nullptr, kAENoReply + kAECanSwitchLayer, kAEHighPriority, kAEDefaultTimeout, nullptr, nullptr);
    AEDisposeDesc(&quit);
    AEDisposeDesc(&target);
    if (!tb::WaitForProcessExit(psn, 5000, nullptr)) {
      kill(static_cast<pid_t>(psn.lowLongOfPSN), SIGKILL);
      tb::WaitForProcessExit(psn, 5000, nullptr);
    }
  }
  tb::ResetAppleEvents();
  tb::SetCurrentCreator(0);
}

std::vector<std::string> HelperProcessFixture::WaitForLogLines(std::size_t n) const {
  return WaitForLines(dir_.path() / "log.txt", n);
}

Canvas::Canvas(short width, short height) {
  Rect r{0, 0, height, width};
  NewGWorld(&world_, 32, &r, nullptr, nullptr, 0);
  SetGWorld(world_, nullptr);
}

Canvas::~Canvas() {
  SetGWorld(saved_.saved(), nullptr);
  DisposeGWorld(world_);
}

int Canvas::ink(int left, int top, int right, int bottom) const {
  const UInt32 white = tb::PackPixel(0xFF, 0xFF, 0xFF);
  int n = 0;
  for (int y = std::max(0, top); y < std::min<int>(bottom, tb::PortHeight(world_)); ++y)
    for (int x = std::max(0, left); x < std::min<int>(right, tb::PortWidth(world_)); ++x)
      n += tb::PortPixel(world_, x, y) != white;
  return n;
}

int Canvas::count(UInt32 pixel) const {
  int n = 0;
  for (int y = 0; y < tb::PortHeight(world_); ++y)
    for (int x = 0; x < tb::PortWidth(world_); ++x) n += at(x, y) == pixel;
  return n;
}

}  // namespace testsupport

// The held-job manager's upload as the program runs it, for hold_bench: the
// command engine stepped by an event-loop timer with the window's intervals
// (kIdleInterval; kIdleWorkedInterval after a step that worked,
// kIdleStartInterval after a command's start) under the application event loop, uploading files into
// queue hold_N of the line-printer daemon at 127.0.0.1. The upload starts
// as the user's Yes starts it: from an event between two idle calls, at a
// phase of the idle interval given by --phase (0..1), once the loop runs.
//
//   hold_upload_probe --queue=N [--phase=F] file...
//
// Prints "UPLOAD <ms>" from the start to the step that sent the last file,
// and exits 0 when every file was sent.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/AppGlobals.h"
#include "holdmanager/HoldApp.h"
#include "holdmanager/HoldEngine.h"
#include "holdmanager/HoldProgress.h"
#include "toolbox/carbonevents.h"
#include "toolbox/files.h"

// The foundation's globals, as the program defines them.
char IniFileName[kAppFileNameSize] = "Hmgstr.ini";
SInt16 sysCheck = 0;

namespace {

using Clock = std::chrono::steady_clock;

EventLoopTimerRef gIdle = nullptr;

struct QuietView : HoldView {
  int CurrentTab() override { return 2; }
  void SetStatus(const std::string&) override {}
  void ShowMessage(const std::string&, const std::string& text, bool, UInt16) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
  }
  void StepSoon() override { SetEventLoopTimerNextFireTime(gIdle, kIdleStartInterval); }
};

HOLD_ENGINE gEngine;
std::vector<FSSpec> gFiles;
int gQueue = 1;
Clock::time_point gStart, gEnd;
bool gStarted = false, gSent = false;

void idleStep(EventLoopTimerRef timer, void*) {
  if (CommandPendingLoop(&gEngine)) SetEventLoopTimerNextFireTime(timer, kIdleWorkedInterval);
  // The upload has ended: the wait for the box to file the jobs follows
  // (a refresh), or a failure ended the command.
  if (gStarted && gEngine.current != CMD_UPLOAD) {
    gEnd = Clock::now();
    gSent = gEngine.current == CMD_REFRESH;
    QuitApplicationEventLoop();
  }
}

void userSaysYes(EventLoopTimerRef, void*) {
  gStart = Clock::now();
  gStarted = true;
  if (!StartUpload(&gEngine, gFiles, gQueue)) QuitApplicationEventLoop();
}

}  // namespace

int main(int argc, char** argv) {
  double phase = 0.5;
  for (int i = 1; i < argc; ++i) {
    if (!std::strncmp(argv[i], "--queue=", 8))
      gQueue = std::atoi(argv[i] + 8);
    else if (!std::strncmp(argv[i], "--phase=", 8))
      phase = std::atof(argv[i] + 8);
    else if (FSSpec fss{}; tb::PathToSpec(argv[i], &fss) == noErr)
      gFiles.push_back(fss);
  }
  if (gFiles.empty() || OT_Init() != kOTNoError) return 2;
  QuietView view;
  HoldEngineInit(&gEngine, &view, "");
  gEngine.boxAddr = 0x7F000001;
  gEngine.timeoutSeconds = 60;
  EventLoopTimerUPP upp = nullptr;
  if (!CreateEventTimer(idleStep, kIdleInterval, nullptr, &upp, &gIdle)) return 2;
  // The loop has run a few idle calls when the user answers.
  EventLoopTimerRef yes = nullptr;
  InstallEventLoopTimer(GetCurrentEventLoop(), 3 * kIdleInterval + phase * kIdleInterval, 0, userSaysYes, nullptr,
                        &yes);
  RunApplicationEventLoop();
  RemoveEventLoopTimer(yes);
  DestroyEventTimer(upp, gIdle);
  if (gSent) std::printf("UPLOAD %.3f\n", std::chrono::duration<double, std::milli>(gEnd - gStart).count());
  HoldEngineDispose(&gEngine);
  OT_Deinit();
  return gSent ? 0 : 1;
}

// Two processes: the test launches the helper program from a bundle and
// talks to it with Apple events.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "test_support.h"
#include "toolbox/appleevents.h"
#include "toolbox/files.h"
#include "toolbox/processes.h"
#include "toolbox/recorder.h"
#include "toolbox_fixture.h"

using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace {

class TwoProcesses : public testsupport::HelperProcessFixture {
 protected:
  TwoProcesses() : HelperProcessFixture(AEHELPER_PATH) {}

  static AEAddressDesc signatureAddress(OSType sig) {
    AEAddressDesc a;
    AECreateDesc(typeApplSignature, &sig, sizeof sig, &a);
    return a;
  }
  static AEAddressDesc psnAddress(ProcessSerialNumber psn) {
    AEAddressDesc a;
    AECreateDesc(typeProcessSerialNumber, &psn, sizeof psn, &a);
    return a;
  }

  static AppleEvent buildEvent(AEAddressDesc target, AEEventClass c, AEEventID id, const std::string& data) {
    AppleEvent ev;
    AECreateAppleEvent(c, id, &target, kAutoGenerateReturnID, kAnyTransactionID, &ev);
    if (!data.empty()) {
      AEDescList list;
      AECreateList(nullptr, 0, false, &list);
      AEPutPtr(&list, 1, typeChar, data.data(), static_cast<Size>(data.size()));
      AEPutParamDesc(&ev, 'TSTa', &list);
      AEDisposeDesc(&list);
    }
    AEDisposeDesc(&target);
    return ev;
  }

  static OSErr sendEvent(AEAddressDesc target, AEEventClass c, AEEventID id, const std::string& data) {
    AppleEvent ev = buildEvent(target, c, id, data);
    OSErr err = AESend(&ev, nullptr, kAENoReply + kAECanSwitchLayer, kAEHighPriority, kAEDefaultTimeout, nullptr,
                       nullptr);
    AEDisposeDesc(&ev);
    return err;
  }

  // Launches the bundle as the suite does: the event coerced to launch
  // parameters, an extended block, continue after launch.
  OSErr launch(const std::string& data, ProcessSerialNumber* psn) {
    FSSpec fss;
    EXPECT_EQ(tb::PathToSpec(bundle_, &fss), noErr);
    LaunchParamBlockRec pb{};
    pb.launchBlockID = extendedBlock;
    pb.launchEPBLength = extendedBlockLen;
    pb.launchControlFlags = launchContinue | launchNoFileFlags;
    pb.launchAppSpec = &fss;
    AEDesc params;
    AEInitializeDesc(&params);
    if (!data.empty()) {
      AppleEvent ev = buildEvent(signatureAddress('TSTa'), 'JCev', 'apop', data);
      EXPECT_EQ(AECoerceDesc(&ev, typeAppParameters, &params), noErr);
      AEDisposeDesc(&ev);
      pb.launchAppParameters = reinterpret_cast<AppParametersPtr>(*params.dataHandle);
    }
    OSErr err = LaunchApplication(&pb);
    AEDisposeDesc(&params);
    if (err == noErr) {
      EXPECT_NE(pb.launchPreferredSize, 0u);
      *psn = pb.launchProcessSN;
      started_.push_back(pb.launchProcessSN);
    }
    return err;
  }
};

}  // namespace

TEST_F(TwoProcesses, LaunchEventIsTheFirstEventOfTheNewProgram) {
  ProcessSerialNumber psn{};
  ASSERT_EQ(launch("Alias Data", &psn), noErr);
  auto got = WaitForLogLines(2);
  ASSERT_EQ(got.size(), 2u);
  // The program knows itself from its bundle: creator, name and file.
  EXPECT_EQ(got[0], "ready TSTa Helper " + bundle_ + "/Contents/MacOS/Helper");
  EXPECT_EQ(got[1], "JCev apop Alias Data");  // in place of 'oapp'
  auto launches = tb::RecordedLaunches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].path, bundle_);
  EXPECT_EQ(launches[0].psn.lowLongOfPSN, psn.lowLongOfPSN);

  ProcessInfoRec info{};
  Str31 name;
  info.processName = name;
  ASSERT_EQ(GetProcessInformation(&psn, &info), noErr);
  EXPECT_EQ(info.processSignature, OSType('TSTa'));
}

TEST_F(TwoProcesses, RunningProgramReceivesBySignatureAndBySerialNumber) {
  ProcessSerialNumber psn{};
  ASSERT_EQ(launch("", &psn), noErr);
  auto got = WaitForLogLines(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1], "aevt oapp");  // started without an event

  ASSERT_EQ(sendEvent(signatureAddress('TSTa'), 'JCev', 'apop', "by signature"), noErr);
  got = WaitForLogLines(3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2], "JCev apop by signature");

  ASSERT_EQ(sendEvent(psnAddress(psn), 'JCev', 'abcd', "by number"), noErr);
  got = WaitForLogLines(4);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[3], "JCev abcd by number");

  // Launching the running program again starts no second copy: the running
  // one gets the event, and its number comes back.
  ProcessSerialNumber again{};
  ASSERT_EQ(launch("second launch", &again), noErr);
  started_.pop_back();
  Boolean same = false;
  SameProcess(&psn, &again, &same);
  EXPECT_TRUE(same);
  got = WaitForLogLines(5);
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[4], "JCev apop second launch");
  EXPECT_EQ(tb::RecordedLaunches().size(), 1u);

  ASSERT_EQ(sendEvent(psnAddress(psn), kCoreEventClass, kAEQuitApplication, ""), noErr);
  // The program that ends is reaped by the launcher's own loop, with no
  // launch or lookup after it: no zombie is left in the process table.
  const pid_t pid = pid_t(psn.lowLongOfPSN);
  EXPECT_TRUE(testsupport::PumpUntil([&] { return kill(pid, 0) != 0 && errno == ESRCH; }, 10000));
  int status = -1;
  ASSERT_TRUE(tb::WaitForProcessExit(psn, 0, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(testsupport::ReadLines(dir_.path() / "log.txt").back(), "aevt quit");

  // Gone: both addresses now give the unknown-target error, and its socket
  // went with it.
  EXPECT_EQ(sendEvent(signatureAddress('TSTa'), 'JCev', 'apop', "late"), procNotFound);
  EXPECT_EQ(sendEvent(psnAddress(psn), 'JCev', 'apop', "late"), procNotFound);
  EXPECT_TRUE(fs::is_empty(dir_.path() / "run" / "vemo"));
}

TEST_F(TwoProcesses, LaunchFailuresStartNothing) {
  ProcessSerialNumber psn{};
  LaunchParamBlockRec pb{};
  pb.launchBlockID = extendedBlock;
  EXPECT_EQ(LaunchApplication(&pb), paramErr);  // no file
  EXPECT_EQ(tb::LaunchApplicationPath((dir_.path() / "Missing.app").string(), nullptr, &psn), fnfErr);
  fs::create_directories(dir_.path() / "Empty.app/Contents/MacOS");
  EXPECT_EQ(tb::LaunchApplicationPath((dir_.path() / "Empty.app").string(), nullptr, &psn), fnfErr);
  WriteFile(dir_.path() / "notes.txt", "not a program");
  EXPECT_EQ(tb::LaunchApplicationPath((dir_.path() / "notes.txt").string(), nullptr, &psn), permErr);
  // Launch parameters that are not ours are refused before anything starts.
  UInt8 junk[16] = {'j', 'u', 'n', 'k'};
  EXPECT_EQ(tb::LaunchApplicationPath(bundle_, reinterpret_cast<AppParametersPtr>(junk), &psn), paramErr);
  // So is an event too big to hand over.
  AppleEvent big = buildEvent(signatureAddress('TSTa'), 'JCev', 'apop', std::string(70 * 1024, 'x'));
  AEDesc params;
  ASSERT_EQ(AECoerceDesc(&big, typeAppParameters, &params), noErr);
  EXPECT_EQ(tb::LaunchApplicationPath(bundle_, reinterpret_cast<AppParametersPtr>(*params.dataHandle), &psn), paramErr);
  AEDisposeDesc(&big);
  AEDisposeDesc(&params);
  EXPECT_TRUE(tb::RecordedLaunches().empty());
}

TEST_F(TwoProcesses, TerminationSignalEndsTheProgramThroughItsQuitHandler) {
  ProcessSerialNumber psn{};
  ASSERT_EQ(launch("", &psn), noErr);
  ASSERT_EQ(WaitForLogLines(2).size(), 2u);  // ready, oapp: its handlers are in
  ASSERT_EQ(kill(static_cast<pid_t>(psn.lowLongOfPSN), SIGTERM), 0);
  int status = -1;
  ASSERT_TRUE(tb::WaitForProcessExit(psn, 10000, &status));
  // An ordinary end after its own 'quit' handler ran, not death by the signal.
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(testsupport::ReadLines(dir_.path() / "log.txt").back(), "aevt quit");
}

TEST_F(TwoProcesses, TerminationSignalEndsTheProgramFromLoopsThatTakeNoAppleEvents) {
  for (const char* kind : {"modal", "busy"}) {
    SCOPED_TRACE(kind);
    fs::remove(dir_.path() / "log.txt");
    const fs::path shot = dir_.path() / (std::string(kind) + ".png");
    testsupport::ScopedEnv wait("AEHELPER_WAIT", kind);
    testsupport::ScopedEnv screenshot("TOOLBOX_SCREENSHOT", shot.c_str());
    // The program ends from inside its loop: what that loop's frames hold
    // is never given back.
    testsupport::ScopedEnv leaks("ASAN_OPTIONS", "detect_leaks=0");
    ProcessSerialNumber psn{};
    ASSERT_EQ(launch("", &psn), noErr);
    ASSERT_EQ(WaitForLogLines(3).size(), 3u);  // ready, oapp, waiting
    const int pid = static_cast<int>(psn.lowLongOfPSN);
    // Waiting in the loop sleeps, and so does the wait for the quit
    // request to be taken.
    EXPECT_LT(testsupport::CpuSecondsOver(pid, 0.5), 0.2);
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    EXPECT_LT(testsupport::CpuSecondsOver(pid, 0.5), 0.2);
    int status = -1;
    ASSERT_TRUE(tb::WaitForProcessExit(psn, 10000, &status));
    started_.pop_back();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // Ended through the ordinary exit: its exit steps ran, the screen was
    // written, and its socket went.
    const auto lines = testsupport::ReadLines(dir_.path() / "log.txt");
    EXPECT_EQ(lines.back(), "exit");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "aevt quit"), 0);
    EXPECT_TRUE(fs::exists(shot));
    EXPECT_TRUE(fs::is_empty(dir_.path() / "run" / "vemo"));
  }
}

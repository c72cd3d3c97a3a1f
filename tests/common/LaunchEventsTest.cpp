// Launch events sent to a running helper program (the toolbox tests' event
// logger, started from a bundle) by signature and by serial number, a
// program started with its event, unknown targets, and documents opened
// through the Finder.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "common/LaunchEvents.h"
#include "test_support.h"
#include "toolbox/aliases.h"
#include "toolbox/appleevents.h"
#include "toolbox/files.h"
#include "toolbox/finder.h"
#include "toolbox/processes.h"
#include "toolbox/recorder.h"
#include "toolbox_fixture.h"

using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace {

constexpr OSType kHelper = 'TSTa';

OSErr Send(const std::string& text) {
  return SendAppliData(text.data(), static_cast<Size>(text.size()), kHelper, kSuiteEventClass,
                       kSuiteLaunchEventID, typeChar, kHelper);
}

class LaunchEvents : public testsupport::HelperProcessFixture {
 protected:
  LaunchEvents() : HelperProcessFixture(AEHELPER_PATH) {}
};

}  // namespace

TEST_F(LaunchEvents, StartedWithItsEventThenReachedBySignatureAndBySerialNumber) {
  FSSpec app;
  ASSERT_EQ(tb::PathToSpec(bundle_, &app), noErr);
  ProcessSerialNumber psn{};
  const std::string first = "first\xE6\x97\xA5";
  ASSERT_EQ(SendAppliCommand(&app, first.data(), static_cast<Size>(first.size()), kHelper,
                             kSuiteEventClass, kSuiteLaunchEventID, typeChar, kHelper, &psn),
            noErr);
  ASSERT_NE(psn.lowLongOfPSN, 0u);
  started_.push_back(psn);
  std::vector<std::string> lines = WaitForLogLines(2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("ready TSTa", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], "JCev apop " + first);  // the launch event comes first

  EXPECT_EQ(Send("by signature"), noErr);
  ASSERT_EQ(WaitForLogLines(3).size(), 3u);
  const std::string text = "by serial number";
  EXPECT_EQ(SendAppliData_ToProcessNum(&psn, text.data(), static_cast<Size>(text.size()), kHelper,
                                       kSuiteEventClass, kSuiteLaunchEventID, typeChar, kHelper),
            noErr);
  lines = WaitForLogLines(4);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "JCev apop by signature");
  EXPECT_EQ(lines[3], "JCev apop by serial number");
}

TEST_F(LaunchEvents, UnknownTargetsStartNothing) {
  EXPECT_EQ(SendAppliData("x", 1, 'NONE', kSuiteEventClass, kSuiteLaunchEventID, typeChar, 'NONE'),
            procNotFound);
  EXPECT_EQ(Send("nobody listens"), procNotFound);
  const ProcessSerialNumber gone = {12345, 999999};
  EXPECT_EQ(SendAppliData_ToProcessNum(&gone, "x", 1, kHelper, kSuiteEventClass,
                                       kSuiteLaunchEventID, typeChar, kHelper),
            procNotFound);
  EXPECT_TRUE(tb::RecordedLaunches().empty());

  FSSpec missing;
  tb::PathToSpec((dir_.path() / "Missing.app").string(), &missing);
  ProcessSerialNumber psn{};
  EXPECT_EQ(SendAppliCommand(&missing, "x", 1, kHelper, kSuiteEventClass, kSuiteLaunchEventID,
                             typeChar, kHelper, &psn),
            fnfErr);
  EXPECT_TRUE(tb::RecordedLaunches().empty());

  EXPECT_EQ(SendAppliData(nullptr, 4, kHelper, kSuiteEventClass, kSuiteLaunchEventID, typeChar,
                          kHelper),
            paramErr);
  EXPECT_EQ(SendAppliData("x", -1, kHelper, kSuiteEventClass, kSuiteLaunchEventID, typeChar,
                          kHelper),
            paramErr);
  EXPECT_EQ(SendAppliData_ToProcessNum(nullptr, "x", 1, kHelper, kSuiteEventClass,
                                       kSuiteLaunchEventID, typeChar, kHelper),
            paramErr);
  EXPECT_EQ(SendAppliCommand(nullptr, "x", 1, kHelper, kSuiteEventClass, kSuiteLaunchEventID,
                             typeChar, kHelper, &psn),
            paramErr);
}

TEST(OpenDocument, TheFinderGetsTheFolderAndTheDocument) {
  TempDir dir;
  tb::ClearRecords();
  tb::SetFinderMode(tb::FinderMode::kRecord);
  const std::string doc = (dir.path() / "Server Home Page.html").string();
  WriteFile(doc, "<html></html>");
  FSSpec fss;
  ASSERT_EQ(tb::PathToSpec(doc, &fss), noErr);
  EXPECT_EQ(SendOpenDoc(&fss), noErr);
  EXPECT_EQ(tb::RecordedOpenedDocuments(), std::vector<std::string>{doc});

  const std::vector<tb::RecordedAppleEvent> sent = tb::RecordedAppleEvents();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].eventClass, kFinderEventClass);
  EXPECT_EQ(sent[0].eventID, kAEOpenSelection);
  EXPECT_EQ(sent[0].targetSignature, kFinderSignature);
  AppleEvent ev;
  ASSERT_EQ(tb::UnflattenAppleEvent(sent[0].flat.data(), sent[0].flat.size(), &ev), noErr);
  char alias[4096];
  Size size = 0;
  DescType type;
  ASSERT_EQ(AEGetParamPtr(&ev, keyDirectObject, typeAlias, &type, alias, sizeof alias, &size), noErr);
  std::string folder;
  ASSERT_TRUE(tb::AliasRecordPath(alias, static_cast<std::size_t>(size), &folder));
  EXPECT_EQ(fs::path(folder), dir.path());
  AEDisposeDesc(&ev);

  FSSpec missing;
  tb::PathToSpec((dir.path() / "gone.html").string(), &missing);
  EXPECT_EQ(SendOpenDoc(&missing), fnfErr);
  EXPECT_EQ(SendOpenDoc(nullptr), paramErr);
  EXPECT_EQ(tb::RecordedOpenedDocuments().size(), 1u);
  tb::SetFinderMode(tb::FinderMode::kAuto);
}

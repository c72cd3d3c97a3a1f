// Upload over LPR against the emulated daemon: the bytes of a session,
// files one connection each, local ports, and the daemon's faults.
#include <filesystem>
#include <sstream>

#include "hold_harness.h"
#include "toolbox/trace.h"

namespace holdtest {
namespace {

class LprTest : public HoldTest {
 protected:
  std::string MakeFile(const std::string& name, const std::string& bytes) {
    auto p = dir_ / name;
    testsupport::WriteFile(p, bytes);
    return p.string();
  }

  // Steps the job until it reports an ending code; the codes other than 1.
  std::vector<SInt16> Drive(LPR_JOB* job, const std::function<void()>& each = {}) {
    std::vector<SInt16> codes;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
      SInt16 code = 1;
      LPRPrint(job, &code);
      if (code != 1) codes.push_back(code);
      if (code != 1 && code != LPR_NEXT_FILE) break;
      if (each) each();
      tb::Pump(1);
    }
    return codes;
  }
};

TEST_F(LprTest, ASessionByteForByteFilesTheJobIntoItsFolder) {
  StartBox();
  std::string file = MakeFile("doc.txt", "hello\n");
  LPRJobPtr job = LPRMakeJob(Specs({file}), 2, e_.boxAddr, 180, "testhost", "tester");
  ASSERT_NE(job, nullptr);
  EXPECT_EQ(Drive(job.get()), (std::vector<SInt16>{LPR_ALL_SENT}));
  job.reset();
  ASSERT_TRUE(emu_.Settle());
  auto sessions = emu_.Hold().LprSessions(0);
  ASSERT_EQ(sessions.size(), 1u);
  const std::string control = "Htesthost\nPtester\nJdoc.txt\nfdfA000testhost\nUdfA000testhost\nNdoc.txt\n";
  const std::string want = std::string("\2hold_2\n") + "\3" "6 dfA000testhost\n" + "hello\n" + std::string(1, '\0') +
                           "\2" + std::to_string(control.size()) + " cfA000testhost\n" + control +
                           std::string(1, '\0');
  EXPECT_EQ(std::string(sessions[0].raw.begin(), sessions[0].raw.end()), want);
  EXPECT_TRUE(sessions[0].complete);
  EXPECT_EQ(sessions[0].sourcePort, 721);
  // hold_2 is the second folder by name.
  auto jobs = emu_.Hold().Jobs(0);
  ASSERT_EQ(jobs.size(), 4u);
  EXPECT_EQ(jobs.back().name, "doc.txt");
  EXPECT_EQ(jobs.back().folder, 2u);
}

TEST_F(LprTest, ThreeFilesGiveTwoTwoThenAllSentEachOnItsOwnPort) {
  StartBox();
  std::string a = MakeFile("a.txt", std::string(16384, 'a'));  // exactly one block
  std::string b = MakeFile("b.txt", std::string(40000, 'b'));
  std::string c = MakeFile("名前 with\nnewline.txt", "c");
  gLocalPort = 730;
  LPRJobPtr job = LPRMakeJob(Specs({a, b, c}), 1, e_.boxAddr, 180, "host name", "o");
  ASSERT_NE(job, nullptr);
  EXPECT_EQ(Drive(job.get()), (std::vector<SInt16>{LPR_NEXT_FILE, LPR_NEXT_FILE, LPR_ALL_SENT}));
  SInt16 again = 1;
  LPRPrint(job.get(), &again);
  EXPECT_EQ(again, LPR_ALL_SENT) << "reported again on a later call";
  job.reset();
  ASSERT_TRUE(emu_.Settle());
  auto s = emu_.Hold().LprSessions(0);
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].data.size(), 16384u);
  EXPECT_EQ(s[1].data, std::vector<UInt8>(40000, 'b'));
  for (auto& x : s) EXPECT_TRUE(x.complete);
  // Ports go round: 730, 731, then 721.
  EXPECT_EQ(s[0].sourcePort, 730);
  EXPECT_EQ(s[1].sourcePort, 731);
  EXPECT_EQ(s[2].sourcePort, 721);
  EXPECT_EQ(gLocalPort, 722);
  // A host name with a space gives the dotted address; a line break in a
  // file name never makes a control line of its own.
  EXPECT_EQ(s[2].dataName.find(' '), std::string::npos);
  EXPECT_NE(s[2].control.find("\nN名前 withnewline.txt\n"), std::string::npos) << s[2].control;
  EXPECT_EQ(std::count(s[2].control.begin(), s[2].control.end(), '\n'), 6);
}

TEST_F(LprTest, TheDaemonsFaults) {
  StartBox();
  std::string small = MakeFile("s.txt", "0123456789");
  std::string empty = MakeFile("e.txt", "");
  std::string big = MakeFile("big.bin", std::string(1 << 20, 'z'));
  struct Case {
    const char* what;
    pboxemu::LpdFaultSpec fault;
    std::string file;
    int folder;
    SInt16 code;
  } cases[] = {
      {"non-zero acknowledgement", {pboxemu::LpdFault::NonZeroAck, 2, 0, 3}, small, 1, LPR_ERR_REFUSED},
      {"unknown queue", {}, small, 9, LPR_ERR_REFUSED},
      // A connection the daemon ends or resets before the file is whole
      // is a failed send, whether a send or its end is met first.
      {"close in the middle of the file", {pboxemu::LpdFault::CloseMid, 1, 0, 0, 100000}, big, 1, LPR_ERR_SEND},
      {"reset in the middle of the file", {pboxemu::LpdFault::ResetMid, 1, 0, 0, 100000}, big, 1, LPR_ERR_SEND},
      {"empty file", {}, empty, 1, LPR_ERR_INCOMPLETE},
      {"hung up instead of the last acknowledgement", {pboxemu::LpdFault::HangUpAtAck, 5}, small, 1, LPR_ERR_SEND},
      {"reset instead of the data's acknowledgement", {pboxemu::LpdFault::HangUpAtAck, 3}, small, 1, LPR_ERR_SEND},
      {"late acknowledgement", {pboxemu::LpdFault::LateAck, 3, 30}, small, 1, LPR_ALL_SENT},
      {"bytes after the last acknowledgement",
       {pboxemu::LpdFault::TrailingBytes, 5, 0, 0, 300},
       small,
       1,
       LPR_ALL_SENT},
      {"small receive window and short sends", {pboxemu::LpdFault::SmallWindow, 1, 0, 0, 65536}, big, 1, LPR_ALL_SENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emu_.Hold().SetLpdFault(0, c.fault);
    emu_.Hold().ClearLog();
    LPRJobPtr job = LPRMakeJob(Specs({c.file}), c.folder, e_.boxAddr, 180, "h", "u");
    // Every send call takes at most 777 bytes, so messages and blocks go in pieces.
    tb::OTSetSendCap(c.fault.mode == pboxemu::LpdFault::SmallWindow ? 777 : 0);
    auto codes = Drive(job.get(), [&] {
      if (c.fault.mode == pboxemu::LpdFault::LateAck) tb::AdvanceTicks(1);
    });
    tb::OTSetSendCap(0);
    job.reset();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), c.code);
    ASSERT_TRUE(emu_.Settle());
    if (c.code == LPR_ALL_SENT) {
      auto s = emu_.Hold().LprSessions(0);
      ASSERT_EQ(s.size(), 1u);
      EXPECT_EQ(s[0].data.size(), std::filesystem::file_size(c.file));
    }
  }
  // No acknowledgement: the time-out on the virtual clock.
  emu_.Hold().SetLpdFault(0, {pboxemu::LpdFault::NoAck, 2});
  LPRJobPtr job = LPRMakeJob(Specs({small}), 1, e_.boxAddr, 5, "h", "u");
  std::vector<SInt16> codes;
  ASSERT_TRUE(Run([&] {
    SInt16 code = 1;
    LPRPrint(job.get(), &code);
    if (code != 1) codes.push_back(code);
    return job->state == LprState::AckWait && job->nextState == LprState::Data;
  }));
  tb::AdvanceTicks(300);
  for (int i = 0; i < 10 && codes.empty(); ++i) {
    SInt16 code = 1;
    LPRPrint(job.get(), &code);
    if (code != 1) codes.push_back(code);
    tb::Pump(1);
  }
  EXPECT_TRUE(codes.empty()) << "not before the time-out";
  tb::AdvanceTicks(2);
  SInt16 code = 1;
  LPRPrint(job.get(), &code);
  EXPECT_EQ(code, LPR_ERR_TIMEOUT);
}

TEST_F(LprTest, AnUploadWaitsForTheBoxToFileItsJobsThenRefreshes) {
  StartBox();
  view_.tab = 2;
  emu_.Hold().SetFilingDelay(0, 400);
  std::string f = MakeFile("up.txt", "data");
  // The engine's trace names each move of the command sequence.
  testsupport::ScopedEnv trace("TOOLBOX_TRACE", "hold");
  tb::ReloadTraceChannels();
  testing::internal::CaptureStderr();
  ASSERT_TRUE(StartUpload(&e_, Specs({f}), 3));
  ASSERT_TRUE(Run([&] { return e_.current == CMD_REFRESH; }));
  EXPECT_EQ(view_.removedFiles, (std::vector<std::string>{"up.txt"}));
  // Nothing is asked before 3 s have passed.
  for (int i = 0; i < 20; ++i) CommandPendingLoop(&e_), tb::Pump(1);
  EXPECT_TRUE(Codes().empty());
  tb::AdvanceTicks(181);
  ASSERT_TRUE(Run([&] { return Codes().size() >= 2 && !e_.list; }));
  EXPECT_EQ(Codes(), (std::vector<int>{2, 1}));
  EXPECT_EQ(GetCountPtrList(e_.boxJobs), 1) << "still in the box's own list";
  tb::AdvanceTicks(400);
  ASSERT_TRUE(RunIdle());
  // The kind-1 poll found it filed; a normal refresh followed.
  auto codes = Codes();
  ASSERT_GE(codes.size(), 6u);
  EXPECT_EQ(GetCountPtrList(e_.boxJobs), 0);
  EXPECT_EQ(JobNames(e_.holdJobs).back(), "up.txt");
  EXPECT_TRUE(view_.messages.empty());
  const std::string said = testing::internal::GetCapturedStderr();
  std::vector<std::string> moves;
  std::istringstream lines(said);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("[hold] command@", 0) == 0) moves.push_back(line.substr(line.find(": ") + 2));
  EXPECT_EQ(moves, (std::vector<std::string>{"idle -> upload (started)", "upload -> wait (started)",
                                             "wait -> refresh and again (the box filed the upload)",
                                             "refresh and again -> refresh (ended)", "refresh -> idle (ended)"}))
      << said;
}

}  // namespace
}  // namespace holdtest

// Whole transfers against the emulated box: the dialogue, the data phase,
// the host's lists, and how faults of the box end a transfer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "ftp_harness.h"

namespace ftptest {
namespace {

using pboxemu::FtpFault;
using pboxemu::FtpFaultSpec;

std::string Received(const pboxemu::FtpReceivedFile& f) { return std::string(f.data.begin(), f.data.end()); }

int CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const auto& l : lines) n += l.rfind(prefix, 0) == 0;
  return n;
}

TEST_F(FtpTest, ThreeFilesArriveWholeAndMoveToTheSentList) {
  StartBox();
  // Sizes around the piece size, and one of a single byte.
  std::vector<std::string> bytes = {Bytes(100000, 1), Bytes(1, 2), Bytes(3 * 16384, 3)};
  std::vector<FSSpec> files = {MakeFile("first.prn", bytes[0]), MakeFile("second.ps", bytes[1]),
                               MakeFile("third.pcl", bytes[2])};
  SEND_WND_INFO* slot = StartJob(Owner(1), files);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(Do_Ftp_Dialog_Open(Owner(1)), 1);
  EXPECT_EQ(Do_Ftp_Dialog_Open(Owner(2)), 0);

  ASSERT_TRUE(RunJob());
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_DONE});
  EXPECT_EQ(slot->using_, 0);
  EXPECT_EQ(slot->ftp, nullptr);
  EXPECT_EQ(Do_Ftp_Dialog_Open(Owner(1)), 0);

  auto got = emu_.Ftp().Files(0);
  ASSERT_EQ(got.size(), 3u);
  const char* names[] = {"first.prn", "second.ps", "third.pcl"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(got[i].name, names[i]);
    EXPECT_TRUE(got[i].complete);
    EXPECT_TRUE(Received(got[i]) == bytes[i]) << names[i];
  }
  stubhost::FileLists* lists = stubhost::Lists(Owner(1));
  EXPECT_TRUE(lists->toSend.empty());
  EXPECT_EQ(lists->sent, (std::vector<std::string>{"first.prn", "second.ps", "third.pcl"}));

  // One login, one folder change, then per file a type, a port and a store;
  // no QUIT, and every connection closed.
  auto cmds = emu_.Ftp().Commands(0);
  EXPECT_EQ(emu_.Ftp().Sessions(0), 1);
  EXPECT_EQ(std::vector<std::string>(cmds.begin(), cmds.begin() + 3),
            (std::vector<std::string>{"USER user", "PASS fern", "CWD lp"}));
  EXPECT_EQ(CountPrefix(cmds, "TYPE I"), 3);
  EXPECT_EQ(CountPrefix(cmds, "PORT 127,0,0,1,"), 3);
  EXPECT_EQ(CountPrefix(cmds, "STOR "), 3);
  EXPECT_EQ(CountPrefix(cmds, "QUIT"), 0);
  EXPECT_TRUE(PumpUntil([&] { return emu_.Ftp().OpenConnections(0) == 0; }));

  // The window was drawn at 100% before each file moved on, then closed.
  EXPECT_EQ(log_.sizeTexts.back(), "48.00 KB / 48.00 KB ( 100 % )");
  EXPECT_GE(log_.labels, 2);
}

TEST_F(FtpTest, SizeTextIsDrawnOnlyWhenItChanges) {
  StartBox();
  SEND_WND_INFO* slot = StartJob(Owner(1), {MakeFile("a.prn", Bytes(300000, 4))});
  ASSERT_NE(slot, nullptr);
  tb::OTSetSendCap(20000);  // many small steps
  ASSERT_TRUE(RunJob());
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_DONE});
  ASSERT_FALSE(log_.sizeTexts.empty());
  EXPECT_EQ(log_.sizeTexts.front(), "0.00 Byte / 292.96 KB ( 0 % )");
  for (std::size_t i = 1; i < log_.sizeTexts.size(); ++i) EXPECT_NE(log_.sizeTexts[i], log_.sizeTexts[i - 1]);
  EXPECT_LT(log_.sizeTexts.size(), std::size_t(log_.progressCalls));
  for (short p : log_.percents) EXPECT_LE(p, 100);
}

TEST_F(FtpTest, PercentOfLargeFilesIsExact) {
  SEND_WND_INFO* slot = Get_Send_Table(Owner(1), 0x7F000001, 1);
  ASSERT_NE(slot, nullptr);
  slot->fileData.fileSize = 3000000000u;
  slot->fileData.sendSize = 2000000000u;
  EXPECT_EQ(Draw_Send_Data(slot), 1);
  EXPECT_EQ(log_.sizeTexts.back(), "1907.34 MB / 2861.02 MB ( 66 % )");
  EXPECT_EQ(log_.percents.back(), 66);
  // Unchanged: the text is not drawn again, the bar is.
  Draw_Send_Data(slot);
  EXPECT_EQ(log_.sizeTexts.size(), 1u);
  EXPECT_EQ(log_.progressCalls, 2);
  slot->fileData.fileSize = 0;
  EXPECT_EQ(Draw_Send_Data(slot), 0);
  EXPECT_EQ(log_.percents.back(), 0);
}

TEST(SizeScale, ScalesTwiceAtMostWithTruncatedDecimals) {
  const std::pair<UInt64, const char*> cases[] = {
      {0, "0.00 Byte"}, {1023, "1023.00 Byte"}, {1024, "1.00 KB"}, {1536, "1.50 KB"},
      {1048575, "1023.99 KB"}, {3ull << 30, "3072.00 MB"}, {5ull << 40, "5242880.00 MB"}};
  for (const auto& [bytes, text] : cases) {
    Str255 out;
    Size_Scale(bytes, out);
    EXPECT_EQ(pstr::str(out), text) << bytes;
  }
}

TEST_F(FtpTest, NinthTransferIsRefused) {
  std::vector<SEND_WND_INFO*> slots;
  for (int i = 0; i < kSendTableSize; ++i) {
    slots.push_back(Get_Send_Table(Owner(i), 0x7F000001, 1));
    ASSERT_NE(slots.back(), nullptr);
  }
  EXPECT_EQ(Get_Send_Table(Owner(9), 0x7F000001, 1), nullptr);
  // One freed slot can be claimed again.
  Free_Send_Table(slots[3]);
  Last_Table_Init(slots[3]);
  EXPECT_EQ(Get_Send_Table(Owner(9), 0x7F000001, 1), slots[3]);
}

TEST_F(FtpTest, CancelInTheDataPhaseClosesBothConnectionsAndAbortsTheFile) {
  StartBox();
  std::string big = Bytes(8 << 20, 5);
  SEND_WND_INFO* slot = StartJob(Owner(1), {MakeFile("big.prn", big)});
  ASSERT_TRUE(PumpUntil([&] { return slot->fileData.sendSize > 0; }, 10000, [] { Update_Send_Window(); }));
  ASSERT_LT(slot->fileData.sendSize, slot->fileData.fileSize);

  // What the Cancel button does.
  FTP_Cancel_Send(slot);
  EXPECT_EQ(slot->ftp, nullptr);
  EXPECT_EQ(slot->ftpData, nullptr);
  ASSERT_TRUE(RunJob());
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_CANCELLED});
  // Both ends close (ours once the box's release has come in).
  EXPECT_TRUE(PumpUntil([&] { return emu_.Ftp().OpenConnections(0) == 0 && tb::OTOpenProviderCount() == 0; }));
  // The box knows the file is not whole, and it did not move.
  auto got = emu_.Ftp().Files(0);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_FALSE(got[0].complete);
  EXPECT_EQ(stubhost::Lists(Owner(1))->sent.size(), 0u);
}

TEST_F(FtpTest, EmptyFileFailsTheJobAtThatFile) {
  StartBox();
  std::string first = Bytes(5000, 6);
  SEND_WND_INFO* slot =
      StartJob(Owner(1), {MakeFile("one.prn", first), MakeFile("empty.prn", ""), MakeFile("three.prn", "x")});
  ASSERT_NE(slot, nullptr);
  ASSERT_TRUE(RunJob());
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_FAILED});
  EXPECT_EQ(stubhost::Lists(Owner(1))->sent, std::vector<std::string>{"one.prn"});
  EXPECT_EQ(CountPrefix(emu_.Ftp().Commands(0), "STOR "), 1);

  // A job whose first file is empty never connects.
  SEND_WND_INFO* again = StartJob(Owner(2), {MakeFile("nothing.prn", "")});
  ASSERT_TRUE(RunJob());
  EXPECT_EQ(log_.outcomes.back(), FTP_SEND_FAILED);
  EXPECT_EQ(emu_.Ftp().Sessions(0), 1);
  EXPECT_EQ(again->using_, 0);
}

TEST_F(FtpTest, NameWithLineBreakIsNeverSent) {
  StartBox();
  SEND_WND_INFO* slot = StartJob(Owner(1), {MakeFile("job\r\nDELE x", "data")});
  ASSERT_NE(slot, nullptr);
  ASSERT_TRUE(RunJob());
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_FAILED});
  auto cmds = emu_.Ftp().Commands(0);
  EXPECT_EQ(CountPrefix(cmds, "STOR"), 0);
  EXPECT_EQ(CountPrefix(cmds, "DELE"), 0);
}

TEST_F(FtpTest, ControlConnectionRefusedFailsAtOnce) {
  StartBox(false);
  SEND_WND_INFO* slot = StartJob(Owner(1), {MakeFile("a.prn", "data")});
  ASSERT_NE(slot, nullptr);
  ASSERT_TRUE(RunJob());  // no waiting for the 15-minute limit
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_FAILED});
}

// Faults of the box that end the job at once, and what the box got.
struct FaultCase {
  const char* title;
  FtpFault mode;
  const char* command;
  int skip;
  int code;
  std::size_t filesMoved;  // files confirmed before the fault
};

class FtpFaultTest : public FtpTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FtpFaultTest, FailsAtOnceAndKeepsOnlyConfirmedFiles) {
  const FaultCase& c = GetParam();
  FtpFaultSpec f;
  f.mode = c.mode;
  f.command = c.command;
  f.skip = c.skip;
  f.code = c.code;
  f.bytes = 20000;
  emu_.Ftp().SetFault(-1, f);
  StartBox();
  SEND_WND_INFO* slot = StartJob(Owner(1), {MakeFile("a.prn", Bytes(70000, 8)), MakeFile("b.prn", Bytes(70000, 9))});
  ASSERT_NE(slot, nullptr);
  ASSERT_TRUE(RunJob()) << c.title;
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_FAILED}) << c.title;
  EXPECT_EQ(stubhost::Lists(Owner(1))->sent.size(), c.filesMoved) << c.title;
  EXPECT_TRUE(PumpUntil([&] { return emu_.Ftp().OpenConnections(0) == 0; })) << c.title;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FtpFaultTest,
    ::testing::Values(FaultCase{"greeting refused", FtpFault::ErrorReply, "", 0, 421, 0},
                      FaultCase{"password refused", FtpFault::ErrorReply, "PASS", 0, 530, 0},
                      FaultCase{"no folder lp", FtpFault::ErrorReply, "CWD", 0, 550, 0},
                      FaultCase{"type refused", FtpFault::ErrorReply, "TYPE", 0, 504, 0},
                      FaultCase{"port refused", FtpFault::ErrorReply, "PORT", 0, 500, 0},
                      FaultCase{"store refused", FtpFault::ErrorReply, "STOR", 0, 553, 0},
                      FaultCase{"second store refused", FtpFault::ErrorReply, "STOR", 1, 553, 1},
                      FaultCase{"file not kept", FtpFault::ErrorReply, "DATA", 0, 552, 0},
                      FaultCase{"reset during data", FtpFault::ResetData, "STOR", 0, 0, 0},
                      FaultCase{"reset during second file", FtpFault::ResetData, "STOR", 1, 0, 1}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
      std::string s = info.param.title;
      for (char& ch : s)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return s;
    });

TEST_F(FtpTest, RepliesSplitAcrossSegmentsStillSucceed) {
  FtpFaultSpec f;
  f.mode = FtpFault::SplitReply;
  f.command = "TYPE";
  f.ticks = 3;
  emu_.Ftp().SetFault(-1, f);
  StartBox();
  std::string bytes = Bytes(20000, 10);
  StartJob(Owner(1), {MakeFile("a.prn", bytes), MakeFile("b.prn", bytes)});
  // The clock moves only while the box owes nothing, so that the split
  // replies' line ends come out.
  ASSERT_TRUE(PumpUntil([&] { return !log_.outcomes.empty(); }, 20000, [&] {
    ASSERT_TRUE(Settle());
    tb::AdvanceTicks(1);
  }));
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_DONE});
  EXPECT_EQ(emu_.Ftp().Files(0).size(), 2u);
}

TEST_F(FtpTest, CodesAreFoundAnywhereButOnlyFinalLinesRefuse) {
  // The folder change answered with another code that carries "250" in its
  // text; the greeting a multi-line reply with a line that looks like an
  // error.
  FtpFaultSpec cwd;
  cwd.mode = FtpFault::CustomReply;
  cwd.command = "CWD";
  cwd.text = "257 Now in lp, 250 jobs waiting.";
  FtpFaultSpec greet;
  greet.mode = FtpFault::CustomReply;
  greet.command = "";
  greet.text = "220-Welcome\r\n500 pages printed today\r\n220 Ready.";
  emu_.Ftp().SetFault(-1, greet);
  StartBox();
  std::string bytes = Bytes(1000, 11);
  StartJob(Owner(1), {MakeFile("a.prn", bytes)});
  ASSERT_TRUE(PumpUntil([&] { return emu_.Ftp().Sessions(0) == 1; }, 5000, [] { Update_Send_Window(); }));
  emu_.Ftp().SetFault(0, cwd);
  ASSERT_TRUE(RunJob());
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_DONE});
  ASSERT_EQ(emu_.Ftp().Files(0).size(), 1u);
  EXPECT_TRUE(Received(emu_.Ftp().Files(0)[0]) == bytes);
}

// A transfer that stops advancing fails after 54000 ticks counted from its
// last advance; not one tick sooner.
struct StallCase {
  const char* title;
  FtpFault mode;
  const char* command;
  SInt16 stateWhenStalled;
  bool afterDataClosed = false;
};

class FtpStallTest : public FtpTest, public ::testing::WithParamInterface<StallCase> {};

TEST_P(FtpStallTest, FailsAfterTheLimitFromTheLastAdvance) {
  const StallCase& c = GetParam();
  FtpFaultSpec f;
  f.mode = c.mode;
  f.command = c.command;
  emu_.Ftp().SetFault(-1, f);
  StartBox();
  SEND_WND_INFO* slot = StartJob(Owner(1), {MakeFile("a.prn", Bytes(40000, 12))});
  ASSERT_NE(slot, nullptr);
  // Most of the limit passes after each step that advances: it never adds up.
  SInt16 last = slot->cmdNum;
  auto stalledState = [&] {
    if (slot->cmdNum != c.stateWhenStalled) return false;
    return !c.afterDataClosed || (slot->ftpData && slot->ftpData->isComplete);
  };
  ASSERT_TRUE(PumpUntil(stalledState, 10000, [&] {
    Update_Send_Window();
    if (slot->cmdNum != last) {
      last = slot->cmdNum;
      if (last != c.stateWhenStalled) tb::AdvanceTicks(kFTPStallTicks - 4000);
    }
  })) << c.title;
  ASSERT_TRUE(Settle()) << c.title;
  tb::AdvanceTicks(kFTPStallTicks);
  ASSERT_TRUE(Settle()) << c.title;
  EXPECT_TRUE(log_.outcomes.empty()) << c.title;
  EXPECT_EQ(slot->using_, 1);
  tb::AdvanceTicks(1);
  ASSERT_TRUE(RunJob()) << c.title;
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_FAILED});
}

INSTANTIATE_TEST_SUITE_P(Stalls, FtpStallTest,
                         ::testing::Values(StallCase{"greeting_without_line_end", FtpFault::NoLineEnd, "", 1},
                                           StallCase{"silent_after_login", FtpFault::StopAnswering, "CWD", 4},
                                           StallCase{"silent_at_store", FtpFault::StopAnswering, "STOR", 7},
                                           StallCase{"box_never_dials", FtpFault::NoDial, "STOR", 8},
                                           StallCase{"no_confirmation", FtpFault::StopAnswering, "DATA", 8, true}),
                         [](const ::testing::TestParamInfo<StallCase>& info) { return std::string(info.param.title); });

TEST_F(FtpTest, SeveralTransfersRunSideBySide) {
  emu_.AddBox();
  StartBox();
  UInt32 second = emu_.BoxAddress(1);
  std::vector<std::string> bytes = {Bytes(50000, 13), Bytes(60000, 14), Bytes(70000, 15)};
  StartJob(Owner(1), {MakeFile("a.prn", bytes[0]), MakeFile("b.prn", bytes[1])});
  stubhost::SetFiles(Owner(2), {MakeFile("c.prn", bytes[2])});
  SEND_WND_INFO* other = Get_Send_Table(Owner(2), second, 1);
  ASSERT_NE(other, nullptr);
  Get_File_Total_Size(other, &other->fileData);
  ASSERT_TRUE(PumpUntil([&] { return log_.outcomes.size() == 2; }, 20000, [] { Update_Send_Window(); }));
  EXPECT_EQ(log_.outcomes, (std::vector<SInt16>{FTP_SEND_DONE, FTP_SEND_DONE}));
  auto a = emu_.Ftp().Files(0);
  auto b = emu_.Ftp().Files(1);
  ASSERT_EQ(a.size(), 2u);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_TRUE(Received(a[1]) == bytes[1]);
  EXPECT_TRUE(Received(b[0]) == bytes[2]);
}

TEST_F(FtpTest, NewTransferWakesTheLoopAtOnce) {
  StartBox();
  while (tb::Pump(0)) {
  }
  // The loop's next wait returns at once rather than sleeping its 5 ticks
  // before the first step.
  ASSERT_NE(StartJob(Owner(1), {MakeFile("a.prn", "x")}), nullptr);
  EXPECT_TRUE(tb::Pump(0));
}

// Boxes that misbehave: each job ends as it must, and no pass of the event
// loop waits on them (a longer pass would freeze the program).

TEST_F(FtpTest, BoxThatNeverClosesItsSideHoldsNothingUp) {
  FtpFaultSpec keep;
  keep.mode = FtpFault::KeepOpen;
  emu_.Ftp().SetFault(-1, keep);
  StartBox();
  std::vector<std::string> bytes = {Bytes(200000, 31), Bytes(5000, 32)};
  StartJob(Owner(1), {MakeFile("a.prn", bytes[0]), MakeFile("b.prn", bytes[1])});
  ResetTurns();
  ASSERT_TRUE(RunJob());
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_DONE});
  auto got = emu_.Ftp().Files(0);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(Received(got[0]) == bytes[0] && Received(got[1]) == bytes[1]);

  // A second job is cancelled in its data phase.
  SEND_WND_INFO* slot = StartJob(Owner(2), {MakeFile("big.prn", Bytes(8 << 20, 33))});
  ASSERT_TRUE(PumpUntil([&] { return slot->fileData.sendSize > 0; }, 10000, [] { Update_Send_Window(); }));
  FTP_Cancel_Send(slot);
  ASSERT_TRUE(RunJob());
  EXPECT_EQ(log_.outcomes.back(), FTP_SEND_CANCELLED);
  ExpectNoPassHeldTheLoop();

  // The connections the box holds open are kept until twice their time-out
  // has passed, then cut off.
  tb::AdvanceTicks(2 * MilliToTick(kFTPConnectTimeoutMs) - 1);
  Update_Send_Window();
  EXPECT_GT(FTP_Reap_Contexts(), 0);
  EXPECT_GT(tb::OTOpenProviderCount(), 0);
  tb::AdvanceTicks(1);
  Update_Send_Window();
  EXPECT_EQ(FTP_Reap_Contexts(), 0);
  EXPECT_EQ(tb::OTOpenProviderCount(), 0);
}

TEST_F(FtpTest, StrangerCallingTheDataPortFirstIsRefused) {
  StartBox();
  std::string bytes = Bytes(100000, 34);
  SEND_WND_INFO* slot = StartJob(Owner(1), {MakeFile("a.prn", bytes)});
  ResetTurns();
  // The moment the port is announced, a stranger calls it, before the box.
  ASSERT_TRUE(PumpUntil([&] { return slot->cmdNum == FTP_STEP_PORT; }, 10000, [] { Update_Send_Window(); }));
  int stranger = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl(box_ == 0x7F000001 ? 0x7F000002 : 0x7F000001);
  ASSERT_EQ(bind(stranger, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(tb::MapPort(slot->ftpData->lportPort));
  to.sin_addr.s_addr = htonl(slot->ftpData->protocol.tcp.localIpAddr);
  ASSERT_EQ(connect(stranger, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);

  ASSERT_TRUE(RunJob());
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_DONE});
  ASSERT_EQ(emu_.Ftp().Files(0).size(), 1u);
  EXPECT_TRUE(Received(emu_.Ftp().Files(0)[0]) == bytes);
  // The stranger's call was cut off and carried nothing.
  pollfd p{stranger, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  char b;
  EXPECT_LE(recv(stranger, &b, 1, 0), 0);
  close(stranger);
  ExpectNoPassHeldTheLoop();
}

TEST_F(FtpTest, MultiLineReplyBeyondTheWindowKeepsItsCode) {
  // A greeting of about 2 MB whose text lines begin with a refusing code.
  std::string text = "220-Welcome";
  for (int i = 0; i < 50000; ++i) text += "\r\n550 notice line " + std::to_string(i) + " of the day";
  text += "\r\n220 Ready.";
  FtpFaultSpec greet;
  greet.mode = FtpFault::CustomReply;
  greet.text = text;
  emu_.Ftp().SetFault(-1, greet);
  StartBox();
  std::string bytes = Bytes(3000, 35);
  StartJob(Owner(1), {MakeFile("a.prn", bytes)});
  ResetTurns();
  ASSERT_TRUE(RunJob(60000));
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_DONE});
  ASSERT_EQ(emu_.Ftp().Files(0).size(), 1u);
  EXPECT_TRUE(Received(emu_.Ftp().Files(0)[0]) == bytes);
  ExpectNoPassHeldTheLoop();
}

}  // namespace
}  // namespace ftptest

// The command engine against the emulated box, on the virtual clock.
#include <algorithm>
#include <filesystem>

#include "hold_harness.h"

namespace holdtest {
namespace {

std::vector<int> Kinds(pboxemu::Emulator& emu) {
  std::vector<int> out;
  for (auto& r : emu.Hold().Requests(0))
    out.push_back(r.size() >= 3 && (r[2] == 1 || r[2] == 2) ? r[2] * 10 + r.back() : r[2]);
  return out;
}

TEST_F(HoldTest, RefreshListsFoldersThenJobsAndSkipsAnUnchangedList) {
  StartBox();
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(RunIdle());
  // Change number and list of the folders, then of the jobs, on one connection.
  EXPECT_EQ(Kinds(emu_), (std::vector<int>{23, 13, 22, 12}));
  EXPECT_EQ(emu_.Hold().Connections(0), 1);
  ASSERT_EQ(view_.popups.size(), 1u);
  EXPECT_EQ(view_.popups[0], (std::vector<std::string>{"1_Design", "2_管理部", "3_Sales"}));
  EXPECT_EQ(JobNames(e_.holdJobs), (std::vector<std::string>{"report.2024.txt", "見積書.pdf", "plan"}));
  EXPECT_EQ(LastStatus(), "The job list was read.");
  EXPECT_TRUE(view_.messages.empty());

  // Nothing changed: change numbers only.
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(RunIdle());
  EXPECT_EQ(Kinds(emu_), (std::vector<int>{23, 13, 22, 12, 23, 22}));
  EXPECT_EQ(GetCountPtrList(e_.holdJobs), 3);

  // A change on the box is listed again; the third tab lists the box's own list.
  emu_.Hold().Touch(0);
  view_.tab = 3;
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(RunIdle());
  EXPECT_EQ(Kinds(emu_), (std::vector<int>{23, 13, 22, 12, 23, 22, 21, 11}));
  EXPECT_EQ(GetCountPtrList(e_.boxJobs), 0);
}

TEST_F(HoldTest, FramesCutAnywhereAndSentInPiecesGiveTheSameLists) {
  StartBox();
  // Records run across frames of 7 bytes, written 3 bytes at a time.
  emu_.Hold().SetFraming(0, 7, 3);
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(RunIdle());
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(JobNames(e_.holdJobs), (std::vector<std::string>{"report.2024.txt", "見積書.pdf", "plan"}));
  auto* j = static_cast<JOB_ENTRY*>(GetPtrList(e_.holdJobs, 1));
  EXPECT_EQ(PStr(j->owner), "山田");
  EXPECT_EQ(j->size, 2u << 20);
  EXPECT_EQ(j->date.year, 2026);
  EXPECT_EQ(j->folderId[3], 2);
}

TEST_F(HoldTest, NotReadyIsAskedAgainAfter61TicksOnTheSameConnection) {
  StartBox();
  emu_.Hold().SetNotReady(0, 2);
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(Run([&] { return e_.list && e_.list->state == VFMP_ST_WAIT_RESEND; }));
  tb::AdvanceTicks(60);
  for (int i = 0; i < 20; ++i) CommandPendingLoop(&e_), tb::Pump(1);
  EXPECT_EQ(emu_.Hold().Requests(0).size(), 1u) << "no resend before 61 ticks";
  tb::AdvanceTicks(1);
  ASSERT_TRUE(Run([&] { return emu_.Hold().Requests(0).size() == 2; }));
  ASSERT_TRUE(Run([&] { return e_.list && e_.list->state == VFMP_ST_WAIT_RESEND; }));
  tb::AdvanceTicks(61);
  ASSERT_TRUE(RunIdle());
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(Codes().size(), 6u);
  EXPECT_EQ(emu_.Hold().Connections(0), 1);
}

TEST_F(HoldTest, FailuresEndWithTheirMessageNeverAsSuccess) {
  StartBox();
  e_.timeoutSeconds = 2;
  struct Case {
    const char* what;
    pboxemu::HoldFaultSpec fault;
    UInt16 error;
  } cases[] = {
      {"silence", {pboxemu::HoldFault::Silent}, 2},
      {"reset mid-reply", {pboxemu::HoldFault::Reset, 1, 0, -1, 0, 9}, 4},
      {"reset before a reply", {pboxemu::HoldFault::Reset, 0, 0, -1, 0, 0}, 4},
      {"refused 254", {pboxemu::HoldFault::Result, 0, 0, -1, 254}, 254},
      {"refused 255", {pboxemu::HoldFault::Result, 0, 0, -1, 255}, 255},
      {"list result 253", {pboxemu::HoldFault::Result, 1, 0, -1, 253}, 253},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emu_.Hold().SetFault(0, c.fault);
    view_.messages.clear();
    StartCommand(&e_, CMD_REFRESH, false);
    if (c.error == 2) {
      ASSERT_TRUE(Run([&] { return e_.list && e_.list->sent; }));
      tb::AdvanceTicks(119);
      for (int i = 0; i < 10; ++i) CommandPendingLoop(&e_), tb::Pump(1);
      EXPECT_EQ(e_.current, CMD_REFRESH) << "not before the time-out";
      tb::AdvanceTicks(2);
    }
    ASSERT_TRUE(RunIdle());
    ASSERT_EQ(view_.messages.size(), 1u);
    char key[16];
    std::snprintf(key, sizeof key, "STR%03d=", c.error);
    EXPECT_EQ(view_.messages[0].text.substr(0, 20), HoldText(&e_, "MESSAGE", key).substr(0, 20));
    EXPECT_EQ(view_.messages[0].yesNo, c.error == 253);
    EXPECT_EQ(e_.busy, 2);
    EXPECT_EQ(GetCountPtrList(e_.folders), 0) << "a failed refresh leaves no stale list";
  }
  // A box that does not listen at all: connection refused, error 1.
  emu_.Hold().SetFault(0, {});
  view_.messages.clear();
  e_.boxAddr = emu_.BoxAddress(0) + 100;
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(RunIdle());
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, HoldText(&e_, "MESSAGE", "STR001="));
}

TEST_F(HoldTest, AFrameLongerThanTheBufferEndsWithError4) {
  StartBox();
  for (int i = 0; i < 600; ++i) {
    pboxemu::HeldJob j;
    j.folder = 1;
    j.name = std::string(40, 'x') + std::to_string(i);
    emu_.Hold().AddJob(0, j);
  }
  emu_.Hold().SetFraming(0, 30000, 0);
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(RunIdle());
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, HoldText(&e_, "MESSAGE", "STR004="));
}

TEST_F(HoldTest, JobInformationThenThumbnailWrittenAsBmpAndLoaded) {
  StartBox();
  view_.preview = true;
  view_.haveSelection = true;
  view_.selected = JobEntry(jobA_, 1);
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(RunIdle());
  StartCommand(&e_, CMD_INFO, false);
  ASSERT_TRUE(RunIdle());
  ASSERT_EQ(view_.infos.size(), 1u);
  EXPECT_EQ(view_.infos[0].pages, 3);
  EXPECT_EQ(view_.infos[0].paper, 4);
  EXPECT_EQ(PStr(view_.infos[0].name), "report.2024.txt");
  ASSERT_EQ(GetCountPtrList(e_.thumbs), 1);
  auto* t = static_cast<THUMB_ENTRY*>(GetPtrList(e_.thumbs, 0));
  ASSERT_NE(t->picture, nullptr);
  EXPECT_EQ(t->page, 1);
  std::string bmp = testsupport::ReadFile(t->path);
  ASSERT_GT(bmp.size(), 54u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(Codes(), (std::vector<int>{2, 1, 2, 1, 3, 17}));
  EXPECT_TRUE(std::filesystem::path(t->path).string().find(dir_.path().string()) == 0) << "the private cache";

  // No pages: no thumbnail request even with the preview on.
  emu_.Hold().ClearLog();
  view_.selected = JobEntry(jobC_, 1);
  StartCommand(&e_, CMD_INFO, false);
  ASSERT_TRUE(RunIdle());
  EXPECT_EQ(Codes(), (std::vector<int>{3}));
  HoldEngineDispose(&e_);
  EXPECT_TRUE(std::filesystem::is_empty(HoldCacheFolder())) << "the cache is removed at quit";
}

PrgRequestPtr DeleteRequest(const std::vector<JOB_ENTRY>& jobs) {
  PrgRequestPtr req = NewPrgRequest();
  for (const JOB_ENTRY& j : jobs) {
    PRG_JOB p{};
    std::memcpy(p.jobId, j.jobId, 4);
    std::memcpy(p.folderId, j.folderId, 4);
    std::memcpy(p.name, j.name, sizeof p.name);
    req->jobs.push_back(p);
  }
  return req;
}

TEST_F(HoldTest, DeletingThreeJobsUsesOneConnectionThenRefreshes) {
  StartBox();
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(RunIdle());
  emu_.Hold().ClearLog();
  PrgRequestPtr req = DeleteRequest({JobEntry(jobA_, 1, "a"), JobEntry(jobB_, 2, "b"), JobEntry(jobC_, 1, "c")});
  ASSERT_TRUE(StartProgressCommand(&e_, CMD_DELETE, std::move(req)));
  for (int n = 1; n <= 2; ++n) {
    ASSERT_TRUE(Run([&] { return int(emu_.Hold().Requests(0).size()) == n && e_.progress &&
                                 e_.progress->cmd.state == VFMP_ST_WAIT_RESEND; }));
    tb::AdvanceTicks(60);
    for (int i = 0; i < 10; ++i) CommandPendingLoop(&e_), tb::Pump(1);
    EXPECT_EQ(int(emu_.Hold().Requests(0).size()), n) << "the next delete waits more than 60 ticks";
    tb::AdvanceTicks(1);
  }
  ASSERT_TRUE(RunIdle());
  EXPECT_EQ(Codes(), (std::vector<int>{4, 4, 4, 2, 1, 2, 1}));
  EXPECT_EQ(emu_.Hold().Connections(0), 1);
  EXPECT_TRUE(emu_.Hold().Jobs(0).empty());
  EXPECT_EQ(GetCountPtrList(e_.holdJobs), 0);
  EXPECT_EQ(LastStatus(), "The jobs were deleted.");
  EXPECT_EQ(view_.progressOpened, 1);
  EXPECT_GE(view_.progressClosed, 1);
}

TEST_F(HoldTest, DownloadReplacesOnlyWhenWholeAndLeavesNoPartialFile) {
  StartBox();
  std::vector<UInt8> data(100000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = UInt8(i * 13);
  pboxemu::HeldJob big;
  big.folder = 1;
  big.name = "big";
  big.data = data;
  UInt32 id = emu_.Hold().AddJob(0, big);
  auto dest = dir_ / "big.prn";
  testsupport::WriteFile(dest, "old contents");
  auto start = [&] {
    PrgRequestPtr req = DeleteRequest({JobEntry(id, 1, "big")});
    req->path = dest.string();
    return StartProgressCommand(&e_, CMD_DOWNLOAD, std::move(req));
  };
  auto leftovers = [&] {
    int n = 0;
    for (auto& f : std::filesystem::directory_iterator(dir_.path()))
      if (f.path().filename().string().find(".part") != std::string::npos) n++;
    return n;
  };
  // Failed: the box resets after 50,000 bytes; the old file stays, no part file.
  emu_.Hold().SetFault(0, {pboxemu::HoldFault::Reset, 8, 0, 1, 0, 50000});
  ASSERT_TRUE(start());
  ASSERT_TRUE(RunIdle());
  EXPECT_EQ(testsupport::ReadFile(dest), "old contents");
  EXPECT_EQ(leftovers(), 0);
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, HoldText(&e_, "MESSAGE", "STR004="));

  // Cancelled while the data comes (the box stops half-way, so the cancel
  // cannot come after the end however the threads are scheduled): the same.
  emu_.Hold().SetFault(0, {pboxemu::HoldFault::Stall, 8, 0, 1, 0, 50000});
  ASSERT_TRUE(start());
  ASSERT_TRUE(Run([&] { return e_.progress && e_.progress->received > 0; }));
  PushUpdateBtn(&e_);
  EXPECT_EQ(e_.current, 0);
  EXPECT_EQ(testsupport::ReadFile(dest), "old contents");
  EXPECT_EQ(leftovers(), 0);

  // Whole: replaced, byte for byte.
  ASSERT_TRUE(start());
  ASSERT_TRUE(RunIdle());
  std::string got = testsupport::ReadFile(dest);
  EXPECT_EQ(got, std::string(data.begin(), data.end()));
  EXPECT_EQ(leftovers(), 0);
  EXPECT_EQ(LastStatus(), "The job was downloaded.");
}

TEST_F(HoldTest, DownloadOfThousandsOfSmallFramesInOddPiecesIsWholeAndInOrder) {
  StartBox();
  // Frames of 96 data bytes, written 5,001 bytes at a time: many frames
  // per read, frames cut by the reads' ends, more frames held than one
  // gathered write takes.
  std::vector<UInt8> data(300001);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = UInt8(i * 7 + i / 251);
  pboxemu::HeldJob job;
  job.folder = 1;
  job.name = "many";
  job.data = data;
  UInt32 id = emu_.Hold().AddJob(0, job);
  emu_.Hold().SetFraming(0, 100, 5001);
  auto dest = dir_ / "many.prn";
  PrgRequestPtr req = DeleteRequest({JobEntry(id, 1, "many")});
  req->path = dest.string();
  ASSERT_TRUE(StartProgressCommand(&e_, CMD_DOWNLOAD, std::move(req)));
  ASSERT_TRUE(RunIdle());
  EXPECT_TRUE(view_.messages.empty());
  std::string got = testsupport::ReadFile(dest);
  ASSERT_EQ(got.size(), data.size());
  EXPECT_TRUE(std::equal(data.begin(), data.end(), reinterpret_cast<const UInt8*>(got.data())));
  EXPECT_EQ(LastStatus(), "The job was downloaded.");
}

TEST_F(HoldTest, ANewerBoxListsTheChosenFolderWithChangeNumbersPerFolder) {
  StartBox(/*newer=*/true);
  view_.popupValue = 2;  // "2_管理部" by name
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(RunIdle());
  auto reqs = emu_.Hold().Requests(0);
  ASSERT_EQ(reqs.size(), 4u);
  EXPECT_EQ(std::vector<UInt8>(reqs[2].begin() + 3, reqs[2].begin() + 11),
            (std::vector<UInt8>{0, 0x28, 0, 4, 0, 0, 0, 2}))
      << "the folder's id as the box gave it";
  EXPECT_EQ(JobNames(e_.holdJobs), (std::vector<std::string>{"見積書.pdf"}));
  // Another folder: the folders are current, its jobs are not yet known.
  view_.popupValue = 1;
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(RunIdle());
  EXPECT_EQ(Codes().size(), 7u);
  EXPECT_EQ(JobNames(e_.holdJobs), (std::vector<std::string>{"見積書.pdf", "report.2024.txt", "plan"}));
  // Back to the first folder: nothing changed, change numbers only.
  view_.popupValue = 2;
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(RunIdle());
  EXPECT_EQ(Codes().size(), 9u);
}

TEST_F(HoldTest, ATabChangeCancelsTheRunningCommandWithoutAMessage) {
  StartBox();
  emu_.Hold().SetFault(0, {pboxemu::HoldFault::Silent});
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(Run([&] { return e_.list && e_.list->sent; }));
  VFMPClose(e_.running, VFMP_ERR_TAB_CHANGE);
  CommandPendingLoop(&e_);
  EXPECT_EQ(e_.current, 0);
  EXPECT_EQ(view_.tabChanges, 1);
  EXPECT_TRUE(view_.messages.empty());
  // Stop (Renew while busy) ends a command with error 7: the status line only.
  StartCommand(&e_, CMD_REFRESH, false);
  ASSERT_TRUE(Run([&] { return e_.list && e_.list->sent; }));
  PushUpdateBtn(&e_);
  EXPECT_EQ(e_.current, 0);
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(LastStatus(), HoldText(&e_, "MESSAGE", "STR007="));
}

// A section's name also stands in keys and texts of other sections before
// it: each lookup still reads its own section.
TEST(HoldTexts, EachLookupReadsItsOwnSection) {
  testsupport::TempDir dir;
  const std::string ini = (dir.path() / "Hmgstr.ini").string();
  testsupport::WriteFile(ini,
                         "[STRING]\nSTR01=Searching\nMESSAGE=in STRING\n"
                         "[MESSAGE]\nTITLE=Note\nSTR001=Failed\n"
                         "[TITLE]\nABOUT=About\nLABEL=in TITLE\n"
                         "[LABEL]\nSTC_TRANS=%s sent\n");
  HOLD_ENGINE e;
  e.strIni = ini;
  const struct {
    const char *section, *key, *want;
  } cases[] = {
      {"STRING", "STR01=", "Searching"}, {"MESSAGE", "TITLE=", "Note"},      {"MESSAGE", "STR001=", "Failed"},
      {"TITLE", "ABOUT=", "About"},      {"LABEL", "STC_TRANS=", "%s sent"}, {"[TITLE]", "ABOUT=", "About"},
      {"LABEL", "ABOUT=", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(HoldText(&e, c.section, c.key), c.want) << c.section << " " << c.key;
  e.strIni.clear();
  EXPECT_EQ(HoldText(&e, "STRING", "STR01="), "");
}

}  // namespace
}  // namespace holdtest

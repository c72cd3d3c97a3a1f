// The upload against a real FTP server (vsftpd, started by the test), so
// the client is not only right about our own emulator.
#include "ftp_harness.h"
#include "vsftpd_server.h"

namespace ftptest {
namespace {

class VsftpdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!server_.Start(&why)) GTEST_SKIP() << "real FTP server not available: " << why;
    ports_ = std::make_unique<testsupport::ScopedEnv>("TOOLBOX_PORTMAP", ("21:" + std::to_string(server_.Port())).c_str());
    tb::ReloadNetConfig();
    ASSERT_EQ(OT_Init(), kOTNoError);
    gViewLog = &log_;
    FTP_Set_Send_View(&RecordingView());
    stubhost::Reset();
  }
  void TearDown() override {
    if (!ports_) return;
    for (SEND_WND_INFO& slot : SendTbl) {
      if (slot.using_) Exit_TCPftp_Dialog(&slot);
      Last_Table_Init(&slot);
    }
    PumpUntil([] { return FTP_Reap_Contexts() == 0; }, 5000);
    FTP_Set_Send_View(nullptr);
    gViewLog = nullptr;
    OT_Deinit();
    EXPECT_EQ(tb::OTOpenProviderCount(), 0);
    ports_.reset();
    tb::ReloadNetConfig();
  }

  FSSpec MakeFile(const std::string& name, const std::string& bytes) {
    testsupport::WriteFile(files_ / name, bytes);
    FSSpec fss{};
    EXPECT_EQ(tb::PathToSpec((files_ / name).string(), &fss), noErr);
    return fss;
  }

  testsupport::VsftpdServer server_;
  std::unique_ptr<testsupport::ScopedEnv> ports_;
  testsupport::TempDir files_;
  ViewLog log_;
};

TEST_F(VsftpdTest, ThreeFilesArriveWhole) {
  std::vector<std::string> bytes = {Bytes(1 << 20, 21), Bytes(1, 22), Bytes(5 * 16384 + 7, 23)};
  std::vector<std::string> names = {"one.prn", "two.ps", "three.pcl"};
  std::vector<FSSpec> files;
  for (int i = 0; i < 3; ++i) files.push_back(MakeFile(names[i], bytes[i]));
  stubhost::SetFiles(Owner(1), files);
  SEND_WND_INFO* slot = Get_Send_Table(Owner(1), 0x7F000001, 3);
  ASSERT_NE(slot, nullptr);
  Get_File_Total_Size(slot, &slot->fileData);
  ASSERT_TRUE(PumpUntil([&] { return !log_.outcomes.empty(); }, 30000, [] { Update_Send_Window(); }));
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_DONE});
  EXPECT_EQ(stubhost::Lists(Owner(1))->sent, names);
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(testsupport::ReadFile(server_.UploadFolder() / names[i]) == bytes[i]) << names[i];
}

// The server drops an upload that was aborted (it deletes failed uploads),
// but would keep one that looked ended in order.
TEST_F(VsftpdTest, CancelledFileIsAbortedNotEnded) {
  std::string big = Bytes(16 << 20, 24);
  stubhost::SetFiles(Owner(1), {MakeFile("big.prn", big)});
  SEND_WND_INFO* slot = Get_Send_Table(Owner(1), 0x7F000001, 1);
  ASSERT_NE(slot, nullptr);
  Get_File_Total_Size(slot, &slot->fileData);
  ASSERT_TRUE(PumpUntil([&] { return slot->fileData.sendSize > 0; }, 30000, [] { Update_Send_Window(); }));
  FTP_Cancel_Send(slot);
  ASSERT_TRUE(PumpUntil([&] { return !log_.outcomes.empty(); }, 10000, [] { Update_Send_Window(); }));
  EXPECT_EQ(log_.outcomes, std::vector<SInt16>{FTP_SEND_CANCELLED});
  EXPECT_TRUE(PumpUntil([&] { return !std::filesystem::exists(server_.UploadFolder() / "big.prn"); }, 5000));
}

}  // namespace
}  // namespace ftptest

// The system status window: the reply cut into rows, the window per box
// (found again, never a ninth), Review, and a box that does not answer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/SystemStatus.h"
#include "admin_harness.h"
#include "pboxemu/emulator.h"
#include "settle.h"
#include "test_support.h"

namespace {

TEST(SystemStatusText, RowsFromAReply) {
  struct Case {
    const char* what;
    std::string reply;  // the first two bytes are not text
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {"blank lines give no rows", std::string("\0\0one\r\n\r\ntwo", 12), {"one", "two"}},
      {"nor do blank lines first", std::string("\0\0\n\r\nJobs\r\n", 11), {"Jobs"}},
      {"a NUL ends the text", std::string("\0\0a\nb\0c", 7), {"a", "b"}},
      {"empty text", std::string("\0\0\0line", 7), {}},
      {"CR alone and LF alone", std::string("xxa\rb\nc\r", 8), {"a", "b", "c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> rows;
    Split_System_Status(reinterpret_cast<const UInt8*>(c.reply.data()), c.reply.size(), rows);
    EXPECT_EQ(rows, c.rows);
  }
  // A reply that fills the buffer without a NUL stops at its end.
  std::vector<UInt8> full(kSystemStatusSize, 'z');
  std::vector<std::string> rows;
  Split_System_Status(full.data(), full.size(), rows);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].size(), kSystemStatusSize - 2);
}

class SystemStatus : public ::testing::Test {
 protected:
  SystemStatus() : ports_("TOOLBOX_PORTMAP", pboxemu::PrivatePortMap().c_str()) {}
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(admintest::LoadForLoopbackSearch(60));
    ASSERT_EQ(Install_Menu(), 1);
    emu.AddBoxes(9);
    std::string err;
    ASSERT_TRUE(emu.Start(&err)) << err;
  }
  void TearDown() override {
    for (SYSTEM_WND_INFO& s : SystemTbl)
      if (s.using_) Exit_System_Dialog(s.dlg);
    emu.Stop();
    tb::UseVirtualClock(false);
    DeinitNetwork();
    tb::ResetResources();
  }
  PBOXinfo box(int n) { return admintest::BoxInfo(emu, n); }
  int asked(int n) {
    int c = 0;
    for (const auto& r : emu.Requests(n)) c += r.command == "GET STATUS:PORT1" && r.cond == 1;
    return c;
  }
  std::vector<std::string> rows(int slot) {
    std::vector<std::string> out;
    ListBounds b;
    GetListDataBounds(SystemTbl[slot].hList, &b);
    for (SInt16 r = 0; r < b.bottom; ++r) {
      char cell[256];
      SInt16 len = sizeof cell;
      LGetCell(cell, &len, Cell{r, 0}, SystemTbl[slot].hList);
      out.emplace_back(cell, len);
    }
    return out;
  }
  testsupport::ScopedEnv ports_;
  pboxemu::Emulator emu;
};

TEST_F(SystemStatus, OneWindowPerBoxEightAtMostAndReview) {
  auto clock = ottest::SettledClock(emu);
  const std::string reply = std::string("\0\0", 2) + "Firmware 1.0\r\n\r\nUptime 5 days\r\n";
  emu.SetCommandReply(0, "GET STATUS:PORT1", std::vector<UInt8>(reply.begin(), reply.end()));
  PBOXinfo b0 = box(0);
  ASSERT_EQ(Open_System_Window(&b0), 1);
  EXPECT_EQ(rows(0), (std::vector<std::string>{"Firmware 1.0", "Uptime 5 days"}));
  EXPECT_EQ(asked(0), 1);
  // Asked again for the same box (another entry, the same Ethernet address):
  // the window comes forward, nothing is sent.
  PBOXinfo again = box(0);
  again.pbi_ip_addr = 0x7F000001;
  EXPECT_EQ(Open_System_Window(&again), 1);
  EXPECT_EQ(Get_System_Open_Count(), 1);
  EXPECT_EQ(asked(0), 1);
  // Review asks the window's own box again.
  ASSERT_TRUE(tb::ClickDialogItem(SystemTbl[0].dlg, 1));
  EventRecord e;
  for (int i = 0; i < 20; ++i)
    if (GetNextEvent(everyEvent, &e) && admin::Handle_Dialog_Event(&e) != 1) Handle_Window_Event(&e);
  EXPECT_EQ(asked(0), 2);

  for (int n = 1; n < 8; ++n) {
    PBOXinfo b = box(n);
    ASSERT_EQ(Open_System_Window(&b), 1);
  }
  EXPECT_EQ(Get_System_Open_Count(), 8);
  PBOXinfo ninth = box(8);
  EXPECT_EQ(Open_System_Window(&ninth), 0);
  EXPECT_EQ(asked(8), 0);
}

TEST_F(SystemStatus, ABoxThatDoesNotAnswerShowsTheText) {
  auto clock = ottest::SettledClock(emu);
  pboxemu::FaultSpec f;
  f.mode = pboxemu::Fault::Silent;
  emu.SetFault(0, f);
  PBOXinfo b0 = box(0);
  ASSERT_EQ(Open_System_Window(&b0), 1);
  EXPECT_EQ(rows(0), (std::vector<std::string>{"No answer from the print server."}));
}

}  // namespace

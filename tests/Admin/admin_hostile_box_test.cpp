// Opening the device settings window on a box that answers wrongly: every
// kind of bad reply ends the exchange within the time-out and resends the
// search configuration allows, and what such a box sent is refused with the
// communication message instead of being shown as its settings.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/SetupWindow.h"
#include "admin_harness.h"
#include "drawn_text.h"
#include "hostile_peer.h"
#include "OT/OTEndpoint.h"
#include "pboxemu/settings.h"
#include "settle.h"
#include "toolbox/netconfig.h"
#include "toolbox/testdriver.h"
#include "toolbox/windows.h"

namespace {

using hostile::CommandReply;
using Replies = std::vector<std::vector<UInt8>>;

constexpr pboxemu::Model kModel = pboxemu::Model::QSV_A;
constexpr UInt32 kBoxHost = 0x7F000001;

// The modal windows the script met, and the tick the first one came at.
struct Seen {
  std::vector<std::string> titles;
  UInt32 firstTick = 0;
  int passes = 0;
} gSeen;
constexpr int kDrawPasses = 5;
// Ticks the message's own loop may take before the script sees it.
constexpr UInt32 kAlertTicks = 2;

// Script command "dismiss": waits for a modal window, notes its title and
// when it came, lets it be drawn, and leaves it: the message by its button,
// anything else by Cancel.
void registerDismiss() {
  static const bool done = [] {
    tb::RegisterScriptCommand("dismiss", [](const std::vector<std::string>&, std::string*) {
      WindowRef w = FrontWindow();
      DialogRef d = w ? GetDialogFromWindow(w) : nullptr;
      if (!d || !IsWindowVisible(w)) return tb::ScriptResult::kAgain;
      if (gSeen.titles.empty() && !gSeen.firstTick) gSeen.firstTick = TickCount();
      if (++gSeen.passes < kDrawPasses) return tb::ScriptResult::kAgain;
      gSeen.passes = 0;
      Str255 title;
      GetWTitle(w, title);
      std::string t(reinterpret_cast<const char*>(title + 1), title[0]);
      gSeen.titles.push_back(t);
      tb::ClickDialogItem(d, t == "VEMO-ADMIN" ? 1 : 2);
      return tb::ScriptResult::kDone;
    });
    return true;
  }();
  (void)done;
}

class HostileBox : public admintest::LoopbackProgramTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LoopbackProgramTest::SetUp());
    gbAdminMode = 1;
    registerDismiss();
    peers = hostile::Peers::Udp(kBoxHost, tb::MapPort(JCP_UDP_PORT));
    ASSERT_TRUE(peers.ok());
    box.pbi_inuse = 1;
    box.protocol_Type_Num = PBOX_PROTO_TCPIP;
    box.pbi_ip_addr = kBoxHost;
    const auto type = pboxemu::ModelMachineType(kModel);
    std::memcpy(box.pbi_machine_type, type.data(), type.size());
  }
  void TearDown() override {
    if (DialogRef d = Get_Open_Setup_Dialog()) Close_Setup_Dialog(d);
    tb::UseVirtualClock(false);
    DeinitNetwork();
    tb::ResetResources();
  }

  // The table a box of the model sends for the request's command.
  const std::vector<UInt8>* table(const jcp_client& c) const {
    const char* text = reinterpret_cast<const char*>(c.jcpc_cmd);
    const std::string cmd(text, strnlen(text, kJcpCmdSize));
    if (cmd == "GET CONTEXT") return &tables.context;
    if (cmd == "GET ENUM_DATA") return &tables.enums;
    if (cmd == "GET EEP_DATA") return &tables.image;
    return nullptr;
  }
  // The block of it at the request's offset.
  std::string block(const jcp_client& c) const {
    const std::vector<UInt8>* t = table(c);
    if (!t || c.jcpc_offset >= t->size()) return {};
    const std::size_t n = std::min<std::size_t>(t->size() - c.jcpc_offset, kJcpServerMaxData);
    return std::string(t->begin() + c.jcpc_offset, t->begin() + c.jcpc_offset + n);
  }
  // What a box of the model answers, with chk, and cond unless -1, as given.
  std::vector<UInt8> answer(const jcp_client& c, UInt16 chk = 1, int cond = -1) const {
    if (c.jcpc_cond == JCP_COND_END && chk == 1) return CommandReply(JCP_COND_END, 0, 0, "");
    const std::string b = block(c);
    const bool last = !table(c) || c.jcpc_offset + b.size() >= table(c)->size();
    return CommandReply(chk, UInt16(cond >= 0 ? cond : last ? 0 : 1), c.jcpc_offset, b);
  }

  hostile::Peers peers;
  PBOXinfo box{};
  pboxemu::SettingsBlocks tables = pboxemu::ModelSettings(kModel, kBoxHost);
};

TEST_F(HostileBox, BadRepliesEndWithinTheTimeOutAndResendsAndShowNothing) {
  struct Case {
    const char* what;
    std::function<Replies(const jcp_client&)> rule;
    bool fromOtherPort = false;
    int tries = 1 + ConfigData.retry;  // of the first command
  } cases[] = {
      {"replies claim more bytes than they carry",
       [&](const jcp_client& c) { return Replies{CommandReply(1, 0, c.jcpc_offset, block(c).substr(0, 100), 512)}; }},
      {"replies carry a wrapping offset",
       [&](const jcp_client& c) { return Replies{CommandReply(1, 0, UInt16(c.jcpc_offset - 1), block(c))}; }},
      {"replies claim 0xFFFF bytes",
       [&](const jcp_client& c) { return Replies{CommandReply(1, 0, c.jcpc_offset, block(c), 0xFFFF)}; }},
      {"replies of 0 to 7 bytes",
       [&](const jcp_client& c) {
         Replies r;
         for (std::size_t n = 0; n < kJcpServerHeadSize; ++n) {
           r.push_back(answer(c));
           r.back().resize(n);
         }
         return r;
       }},
      {"replies from another port", [&](const jcp_client& c) { return Replies{answer(c)}; }, true},
      {"every reply carries jcps_chk 7", [&](const jcp_client& c) { return Replies{answer(c, 7)}; }},
      {"every reply says more follows", [&](const jcp_client& c) { return Replies{answer(c, 1, 1)}; }},
      // The exchanges end well, but the context cannot be a table.
      {"a context table shorter than one entry",
       [&](const jcp_client& c) {
         if (table(c) != &tables.context || c.jcpc_cond == JCP_COND_END) return Replies{answer(c)};
         return Replies{CommandReply(1, 0, 0, std::string(tables.context.begin(), tables.context.begin() + 15))};
       },
       false, 1},
  };
  // The rules answer as a box does: the window opens over its settings.
  {
    hostile::Responder responder(peers, [&](const jcp_client& c) { return Replies{answer(c)}; });
    ottest::LoopTicker clock([&] { return responder.ClockMayMove(); }, 1);
    ASSERT_EQ(Open_Setup_Window(&box), 1);
    Close_Setup_Dialog(Get_Open_Setup_Dialog());
  }
  const UInt32 budget = UInt32(1 + ConfigData.retry) * MilliToTick(ConfigData.rcvWait);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    gSeen = {};
    testsupport::DrawnTextReport report;
    hostile::Responder responder(peers, k.rule, k.fromOtherPort);
    ottest::LoopTicker clock([&] { return responder.ClockMayMove(); }, 1);
    tb::LoadScriptText("dismiss\n");
    const UInt32 start = TickCount();
    EXPECT_EQ(Open_Setup_Window(&box), 0);
    EXPECT_FALSE(tb::ScriptRunning());
    EXPECT_EQ(responder.Tries(), k.tries);
    EXPECT_EQ(gSeen.titles, std::vector<std::string>{"VEMO-ADMIN"}) << "the box's data were shown";
    // The loop's one long turn: from the command to the message's own loop.
    EXPECT_LE(gSeen.firstTick - start, budget + kAlertTicks) << "the window froze past the time-out and resends";
    bool message = false;
    for (const tb::DrawnText& t : tb::DrawnTextLog())
      message |= t.text.starts_with("Could not communicate with the print server.");
    EXPECT_TRUE(message);
    EXPECT_EQ(Get_Open_Setup_Dialog(), nullptr);
  }
}

}  // namespace

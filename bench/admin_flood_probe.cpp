// VEMO-ADMIN's settings window opened on a box that floods it: every
// request answered at once, then 500 copies of that answer and 500 answers
// to the requests before it; beside the same box answering each request
// once (a quiet box), alternating round by round. The program's loop opens
// the window in one turn (the command's three table reads over JCP, then
// the first page drawn); the probe turns the loop as the program does and
// times its longest turn. The window must show the box's own settings
// image, byte for byte; a round where it does not (the communication
// message came instead, its OK clicked) is counted as failed.
//
//   admin_flood_probe [rounds]        (default 5)
//
// Prints, per box, the median and the spread (min-max) of the longest turn,
// the rounds that showed the box's image, the requests the box saw in all
// (more than the quiet box's means resends after lost answers), and the load
// average before and after.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Admin/SetupBind.h"
#include "Admin/SetupWindow.h"
#include "admin_in_process.h"
#include "bench_util.h"
#include "common/Context.h"
#include "hostile_peer.h"
#include "OT/JCPCommand.h"
#include "pboxemu/settings.h"
#include "toolbox/clock.h"
#include "toolbox/events.h"
#include "toolbox/netconfig.h"
#include "toolbox/testdriver.h"
#include "toolbox/windows.h"

namespace {

using hostile::CommandReply;
using Replies = std::vector<std::vector<UInt8>>;

constexpr UInt32 kBoxHost = 0x7F000001;
constexpr pboxemu::Model kModel = pboxemu::Model::QSV_A;
constexpr int kCopies = 500;
constexpr int kStale = 500;

// While the window opens, a message that comes instead is answered with
// its OK, as a person would.
bool gArmed = false;
bool gAlerted = false;

void registerDismiss() {
  tb::RegisterScriptCommand("dismiss", [](const std::vector<std::string>&, std::string*) {
    if (!gArmed) return tb::ScriptResult::kDone;
    WindowRef w = FrontWindow();
    DialogRef d = w ? GetDialogFromWindow(w) : nullptr;
    if (!d || !IsWindowVisible(w)) return tb::ScriptResult::kAgain;
    gAlerted = true;
    tb::ClickDialogItem(d, 1);
    return tb::ScriptResult::kDone;
  });
}

// A box of the model on loopback that answers each request as the model
// does, flooding or not.
class Box {
 public:
  explicit Box(bool flood) : flood_(flood) {}

  Replies Answer(const jcp_client& c) const {
    Replies r{reply(c)};
    if (!flood_) return r;
    for (int i = 0; i < kCopies; ++i) r.push_back(r.front());
    // Answers to the blocks before this one (to the first block for the
    // first), as a box that replays its old replies sends them.
    for (int i = 0; i < kStale; ++i) {
      jcp_client old = c;
      old.jcpc_cond = JCP_COND_NEXT;
      old.jcpc_offset = UInt16(c.jcpc_offset >= kJcpServerMaxData ? c.jcpc_offset - kJcpServerMaxData : 0);
      if (old.jcpc_offset == c.jcpc_offset) old.jcpc_offset = UInt16(kJcpServerMaxData);
      r.push_back(reply(old));
    }
    return r;
  }
  const std::vector<UInt8>& Image() const { return tables_.image; }

 private:
  const std::vector<UInt8>* table(const jcp_client& c) const {
    const char* text = reinterpret_cast<const char*>(c.jcpc_cmd);
    const std::string cmd(text, strnlen(text, kJcpCmdSize));
    if (cmd == "GET CONTEXT") return &tables_.context;
    if (cmd == "GET ENUM_DATA") return &tables_.enums;
    if (cmd == "GET EEP_DATA") return &tables_.image;
    return nullptr;
  }
  std::vector<UInt8> reply(const jcp_client& c) const {
    if (c.jcpc_cond == JCP_COND_END) return CommandReply(JCP_COND_END, 0, 0, "");
    const std::vector<UInt8>* t = table(c);
    std::string block;
    if (t && c.jcpc_offset < t->size()) {
      const std::size_t n = std::min<std::size_t>(t->size() - c.jcpc_offset, kJcpServerMaxData);
      block.assign(t->begin() + c.jcpc_offset, t->begin() + c.jcpc_offset + n);
    }
    const bool last = !t || c.jcpc_offset + block.size() >= t->size();
    return CommandReply(1, last ? 0 : 1, c.jcpc_offset, block);
  }

  bool flood_;
  pboxemu::SettingsBlocks tables_ = pboxemu::ModelSettings(kModel, kBoxHost);
};

struct World {
  World() {
    peers = hostile::Peers::Udp(kBoxHost, tb::MapPort(JCP_UDP_PORT));
    box.pbi_inuse = 1;
    box.protocol_Type_Num = PBOX_PROTO_TCPIP;
    box.pbi_ip_addr = kBoxHost;
    const auto type = pboxemu::ModelMachineType(kModel);
    std::memcpy(box.pbi_machine_type, type.data(), type.size());
  }
  bench::AdminInProcess admin{"admin-flood-probe"};
  hostile::Peers peers;
  PBOXinfo box{};
};

struct Run {
  double longestTurn = 0;  // seconds
  int requests = 0;
  bool shown = false;  // the window showed the box's image
};

// The program's loop for a while, the settings command in one of its
// turns.
Run Open(World& w, bool flood) {
  Box box(flood);
  Run run;
  hostile::Responder responder(w.peers, [&](const jcp_client& c) { return box.Answer(c); });
  UInt64 longest = 0;
  bool shown = false;
  for (int turn = 0; turn < 40; ++turn) {
    const UInt64 t0 = tb::MonotonicMicros();
    EventRecord event;
    WaitNextEvent(everyEvent, &event, 0, nullptr);
    if (turn == 20) {
      // The command, as the menu runs it: the window opens with its first
      // page drawn.
      gArmed = true;
      gAlerted = false;
      tb::LoadScriptText("dismiss\n");
      const short opened = Open_Setup_Window(&w.box);
      gArmed = false;
      if (opened == 1) {
        DialogRef d = Get_Open_Setup_Dialog();
        Handle_Setup_Update_Value(d, nullptr);
        shown =
            wEEPDataSize == box.Image().size() && std::memcmp(pEEPData, box.Image().data(), box.Image().size()) == 0;
        Close_Setup_Dialog(d);
      }
    }
    longest = std::max(longest, tb::MonotonicMicros() - t0);
  }
  // The box's count once it has answered the last request.
  for (int seen = -1, i = 0; i < 100 && responder.Requests() != seen; ++i) {
    seen = responder.Requests();
    usleep(10000);
  }
  run.requests = responder.Requests();
  run.longestTurn = double(longest) / 1e6;
  run.shown = shown && !gAlerted;
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  bench::Args args(argc, argv, "[rounds]");
  const int rounds = int(args.Number(1, 5, 1, 1000));
  args.End(1);
  World w;
  registerDismiss();
  if (!w.peers.ok()) {
    std::fprintf(stderr, "no loopback socket for the box\n");
    return 2;
  }
  const std::string loadBefore = bench::LoadAverage();
  std::vector<double> quiet, flood;
  int quietRequests = 0, floodRequests = 0, quietShown = 0, floodShown = 0;
  for (int r = 0; r < rounds; ++r) {
    // The order swaps every round.
    for (int k = 0; k < 2; ++k) {
      const bool f = (k == 0) == (r % 2 == 1);
      const Run run = Open(w, f);
      (f ? flood : quiet).push_back(run.longestTurn);
      (f ? floodRequests : quietRequests) += run.requests;
      (f ? floodShown : quietShown) += run.shown ? 1 : 0;
    }
  }
  std::printf(
      "VEMO-ADMIN's settings window, longest turn of the loop that opens it, %d alternating rounds;\n"
      "the image shown compared byte for byte with the box's\n",
      rounds);
  std::printf("load average before: %s   after: %s\n", loadBefore.c_str(), bench::LoadAverage().c_str());
  std::printf("%-44s %10s %21s %6s %9s\n", "box", "median ms", "spread (min-max) ms", "shown", "requests");
  const bench::Stats q = bench::StatsOf(quiet), f = bench::StatsOf(flood);
  std::printf("%-44s %10.1f %10.1f - %-10.1f %3d/%-3d %8d\n", "quiet (one answer a request)", q.median * 1e3,
              q.min * 1e3, q.max * 1e3, quietShown, rounds, quietRequests);
  std::printf("%-44s %10.1f %10.1f - %-10.1f %3d/%-3d %8d\n", "flooding (+500 copies, +500 stale a request)",
              f.median * 1e3, f.min * 1e3, f.max * 1e3, floodShown, rounds, floodRequests);
  return quietShown == rounds && floodShown == rounds ? 0 : 1;
}

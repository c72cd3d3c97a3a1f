// The print-box emulator: simulated print boxes on loopback for tests and
// the demo. Each box has its own address 127.x.y.N; the boxes answer the
// JCP search and commands on their JCP port (19541, or 9 for boxes of the
// old version, both through the toolbox's port map), and one socket per
// port bound to 127.255.255.255 takes the broadcasts. Everything runs on
// one thread of the emulator's own, written on plain sockets: it is the
// client's peer and shares none of the client's code.
//
// Further services of a box (FTP, the AppleTalk node, VFMP, LPR) join as
// more Service objects on the same reactor (see src/reactor.h).
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "pboxemu/ftp_server.h"
#include "pboxemu/hold_server.h"
#include "pboxemu/monitor_replies.h"
#include "pboxemu/settings.h"
#include "toolbox/types.h"

namespace pboxemu {

// How an AppleTalk box answers NBP lookups.
enum class NbpReply {
  Normal,
  Silent,    // not at all
  LongName,  // its object name's length byte says 33
  PastEnd,   // its zone name's length byte runs past the datagram
  NotReply,  // function 2 (a lookup) in place of 3
};

struct BoxSpec {
  std::string name;  // empty: "PBOX-<n>"
  Model model = Model::QSV_C;
  bool oldVersion = false;    // JCP on port 9 instead of 19541
  // An old box whose firmware also answers searches broadcast to 19541; its
  // reply still names port 9, where it takes commands.
  bool answersNewSearch = false;
  bool hasMachineType = false;  // use machineType instead of the model's
  std::array<UInt8, 16> machineType{};
  bool hasMac = false;  // use mac instead of one derived from the address
  std::array<UInt8, 6> mac{};
  UInt16 status = 0;
  // The box reports no IP address (0) until "SET IP_ADDR:" gives it one.
  bool noAddress = false;
  // Printer ports (1 to 9); 0: the model's own number.
  int ports = 0;
  UInt32 netno = 0;
  UInt16 hopcount = 0;
  // AppleTalk: the box is also a node of the network the toolbox's
  // AppleTalk configuration names, answering NBP lookups of type "CTRLJCP1"
  // and JCP over DDP (src/atalk_node.h).
  bool appleTalk = false;
  std::string zone;  // empty: the configuration's own zone
  // 0: the box is a node of the configuration's own network. Another
  // number: it stands on that network behind a router, which passes on the
  // lookups that name its zone ("*" only when its zone is the own zone).
  UInt16 atNetwork = 0;
  NbpReply nbpReply = NbpReply::Normal;
  // The printer the status monitor's requests see (SetPrinterState changes it).
  PrinterState printer = PrinterState::Ready;
};

enum class Fault {
  None,
  Drop,         // the reply is not sent (the request still takes effect)
  Late,         // the reply goes out `ticks` ticks later (TickCount, so the virtual clock counts)
  WrongOffset,  // command replies carry an offset `bytes` (default 1) beyond the right one
  Short,        // only the first `bytes` bytes of the reply are sent (default half)
  Oversized,    // the datagram is padded with junk to `bytes` bytes (default 3000)
  LyingSize,    // the size field claims `bytes` (default: 100 more than were sent)
  Garbage,      // `bytes` random bytes (default the reply's length) in place of the reply
  Silent,       // requests are ignored altogether
  EarlyEnd,     // a data reply becomes an end reply (chk 3) before the closing request
  Echo,         // the request itself comes back first, then the reply
};

struct FaultSpec {
  Fault mode = Fault::None;
  int skip = 0;     // matching replies let through before the fault starts
  int count = -1;   // replies it hits, then it turns off; -1: until cleared
  UInt32 ticks = 0;
  UInt32 bytes = 0;
  bool search = true;   // hits search replies
  bool command = true;  // hits command replies
  std::string onlyCommand;  // when set, only replies to this command text
};

// What a box received, in order.
struct RequestRecord {
  enum Kind { Probe, Command, Other } kind = Other;
  std::size_t length = 0;  // datagram length
  UInt16 cond = 0;
  UInt16 offset = 0;
  UInt16 size = 0;
  std::string command;     // the text up to its NUL
  UInt16 fromPort = 0;
  bool broadcast = false;  // came in on the broadcast socket
};

class Emulator {
 public:
  // baseAddr: the first box's address (host order, in 127.0.0.0/8); boxes
  // take the following addresses. 0 picks a range from the process id.
  explicit Emulator(UInt32 baseAddr = 0);
  ~Emulator();
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // Adds a box (before Start); returns its index.
  int AddBox(const BoxSpec& desc = {});
  // Adds n boxes of one description.
  void AddBoxes(int n, const BoxSpec& desc = {});
  // Binds every socket and starts the thread. False, with a message, when a
  // socket cannot be bound.
  bool Start(std::string* error = nullptr);
  void Stop();

  // Waits until every box has answered all that had reached it when the
  // call was made (a late reply still waits for its tick), so that a test
  // moves its virtual clock only once the exchange has gone quiet. False
  // when realMs real milliseconds went by first.
  bool Settle(int realMs = 10000);
  // Grows with every datagram, connection event or late reply the boxes
  // handle: the same value after two settles means nothing new came.
  UInt64 Activity() const;

  int BoxCount() const;
  UInt32 BoxAddress(int box) const;  // host order
  UInt16 BoxPort(int box) const;     // the port the programs name: 19541 or 9
  std::array<UInt8, 6> BoxMac(int box) const;
  std::array<UInt8, 16> BoxMachineType(int box) const;

  // Faults: box -1 means every box. Setting replaces the box's fault.
  void SetFault(int box, const FaultSpec& fault);
  void ClearFaults();
  // The box answers "POLLING" busy for the next n polls (-1: for ever).
  void SetBusy(int box, int polls);
  // Polls answered busy after each "SAVE EEP_DATA" and "SET DEFAULT".
  void SetBusyAfterSave(int box, int polls);
  // The device status the box reports from now on.
  void SetStatus(int box, UInt16 status);
  // After each "EXEC REBOOT SYSTEM:" the box answers nothing for `ticks`
  // ticks (TickCount), then comes back with its saved settings; 0: it
  // never goes away.
  void SetRestartTime(int box, UInt32 ticks);
  // Replaces what a GET command returns (an unknown command text adds one).
  void SetCommandReply(int box, const std::string& command, std::vector<UInt8> data);
  // The printer behind the box as the status monitor's requests see it:
  // a state (its status bytes follow the box's model), or status bytes and
  // a network description of the test's own; and the faults of those
  // replies. Lost and StatusFault::Silence leave the requests unanswered.
  void SetPrinterState(int box, PrinterState state);
  void SetPrinterStatus(int box, const PrinterStatus& status);
  void SetNetDescription(int box, const NetDescription& net);
  void SetStatusFault(int box, const StatusFaultSpec& fault);
  // First blocks of the monitor's requests the box has answered.
  int MonitorRequests(int box) const;
  // The settings the box holds now, and its factory settings.
  std::vector<UInt8> Image(int box) const;
  void SetSettings(int box, const SettingsBlocks& blocks);
  SettingsBlocks Settings(int box) const;
  // The last data a SET command other than "SAVE EEP_DATA" delivered.
  std::vector<UInt8> LastSetData(int box, const std::string& command) const;
  // The address the box reports (changed by "SET IP_ADDR:"; a new address
  // in 127.0.0.0/8 not held by another box also moves the box there, and
  // BoxAddress tells it).
  UInt32 ReportedAddress(int box) const;

  // The DDP address an AppleTalk box answers JCP on (after Start), and the
  // NBP lookups it has answered.
  UInt16 BoxNetwork(int box) const;
  UInt8 BoxNode(int box) const;
  UInt8 BoxDdpSocket(int box) const;
  int NbpLookups(int box) const;

  // The boxes' FTP receive (off unless enabled before Start).
  FtpServer& Ftp();
  // The boxes' held jobs over VFMP and their line-printer daemon (off
  // unless enabled before Start).
  HoldServer& Hold();

  // Counters and the request log.
  int Probes(int box) const;
  int Replies(int box) const;
  int Executed(int box, const std::string& command) const;  // completed commands of that text
  std::vector<RequestRecord> Requests(int box) const;
  void ClearLog();

  struct Impl;  // the emulator's own state, shared with its services

 private:
  std::unique_ptr<Impl> impl_;
};

// A range of loopback addresses of this process's own (127.x.y.1 with x, y
// from the process id), so that tests running side by side never share one.
UInt32 PickBaseAddress();
// Ports of this process's own: a block that no other process using these
// functions gets while this one runs (a lock per block, shared by every
// test process of the user), and that was free when it was taken. i from
// 0 to kPrivatePortCount - 1: 0 and 1 carry the JCP ports, 2 and 3 the FTP
// ones (FtpPortMap), the rest are for a test's own servers.
constexpr int kPrivatePortCount = 8;
UInt16 PrivatePort(int i);
// A port map ("9:p1,19541:p2") of ports of this process's own, for
// TOOLBOX_PORTMAP, so that broadcasts of tests running side by side never
// reach each other's boxes.
std::string PrivatePortMap();
// An AppleTalk network number of this process's own, from the same locked
// block, with the three numbers above it left free for the boxes a test
// puts on networks of their own: tests side by side never share a node
// address (a number from the process id collided with a neighbour's
// second network).
UInt16 PrivateAppleTalkNetwork();

}  // namespace pboxemu

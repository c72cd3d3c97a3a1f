// One simulated box: its identity, its settings, its fault and its log, and
// the JCP protocol as the box speaks it, independent of the transport so
// that the AppleTalk node can answer with the same logic later.
#pragma once

#include <map>
#include <mutex>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "pboxemu/emulator.h"
#include "pboxemu/monitor_replies.h"

namespace pboxemu {

struct Reply {
  std::vector<UInt8> bytes;
  bool search = false;
  std::string command;
};

struct BoxState {
  int index = 0;
  BoxSpec desc;
  UInt32 addr = 0;       // host order
  UInt16 port = 0;       // the port the programs name
  std::array<UInt8, 6> mac{};
  std::array<UInt8, 16> machineType{};
  UInt32 reportedIp = 0;
  UInt32 moveTo = 0;  // a new loopback address given by "SET IP_ADDR:"
  SettingsBlocks factory;
  SettingsBlocks current;
  std::vector<UInt8> portList;
  std::map<std::string, std::vector<UInt8>> customReplies;
  std::map<std::string, std::vector<UInt8>> lastSetData;
  int busy = 0;
  int busyAfterSave = 0;
  UInt32 restartTicks = 0;   // silence after "EXEC REBOOT SYSTEM:"; 0 none
  UInt32 restartUntil = 0;   // TickCount at which a restart is over
  bool restarting = false;

  FaultSpec fault;
  int faultSeen = 0;
  int faultHits = 0;
  std::mt19937 rng;

  int probes = 0;
  int replies = 0;
  std::map<std::string, int> executed;
  std::vector<RequestRecord> log;

  struct SetTransfer {
    std::vector<UInt8> data;
  };
  std::map<std::pair<UInt32, std::string>, SetTransfer> sets;

  // What the status monitor's requests see.
  PrinterState printerState = PrinterState::Ready;
  bool hasPrinterStatus = false;  // printerStatus set by the test, not from the state
  PrinterStatus printerStatus;
  bool hasNet = false;            // net set by the test, not from the box
  NetDescription net;
  StatusFaultSpec statusFault;
  int monitorRequests = 0;        // first blocks of the monitor's requests received

  int sock = -1;

  // The AppleTalk node (desc.appleTalk), set up when the emulator starts.
  UInt16 atNetwork = 0;
  UInt8 atNode = 0;
  int nbpLookups = 0;  // lookups answered
  int nisSock = -1;    // names information socket
  int atSock = -1;     // JCP over DDP
};

// Handles one datagram that reached the box (on its own socket, or on the
// broadcast socket of its port). Appends the replies it owes, before any
// fault; records the request. Returns false when a Silent fault swallowed
// the request.
bool HandleDatagram(BoxState& box, std::span<const UInt8> datagram, UInt32 fromAddr, UInt16 fromPort,
                    bool broadcast, std::vector<Reply>& out);

// What the box's fault makes of one reply: the datagrams to send and after
// how many ticks (0 = now).
struct Outgoing {
  std::vector<UInt8> bytes;
  UInt32 delay = 0;
};
void ApplyFault(BoxState& box, const Reply& reply, std::span<const UInt8> request, std::vector<Outgoing>& out);

}  // namespace pboxemu

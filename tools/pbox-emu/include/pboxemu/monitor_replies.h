// What a box answers the status monitor's "GET STATUS:" requests with: the
// status replies ("PLUM7 STAT", "QSV-D STAT") built from a printer state,
// and the information replies ("PLUM7 INFO", "IRIS INFO") built from a
// network description. Written from the layouts the monitor reads, so the
// builders double as reply fixtures for the decoder's tests.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "toolbox/types.h"

namespace pboxemu {

// The printer behind a box, as a test sets it.
enum class PrinterState {
  Ready,
  Printing,
  PaperOut,
  TonerLow,
  CoverOpen,
  Sleeping,
  Lost,  // the box stops answering the monitor's requests
};

// "ready", "printing", "paperout", "tonerlow", "coveropen", "sleeping",
// "lost"; false for any other text.
bool ParsePrinterState(const std::string& text, PrinterState& out);

// Faults of the monitor's replies.
enum class StatusFault {
  None,
  LyingLength,    // the reply's length field says `value` (default: 300 more than sent)
  TruncatedIris,  // an "IRIS INFO" reply ends after `value` data bytes (default 40)
  Unterminated,   // texts fill their room and the rest of the reply, with no NUL
  Silence,        // the monitor's requests get no answer at all
};

struct StatusFaultSpec {
  StatusFault mode = StatusFault::None;
  UInt32 value = 0;
};

// The controller header and the 256 status bytes S0..S255.
struct PrinterStatus {
  std::string nicVer = "NIC 2.10";  // at most 16 bytes are sent
  UInt8 nicStat = 0;
  UInt32 sendLen = 0;
  std::array<UInt8, 256> s{};
};

// The status bytes of a state for a controller type (0 the oldest layout,
// 1, 2, 4, 5, 6, 7 as the type code in S0 gives them).
PrinterStatus StatusForState(PrinterState state, int icType);
// The controller type a machine-type text stands for: "VEMOPLEX[X]" with
// the model letter X ("[DII]" for the second D), "...QSV-B" at 10; others 0.
int IcTypeForMachineType(const std::array<UInt8, 16>& type);

// A network description for the information replies.
struct NetDescription {
  std::array<UInt8, 16> type{};  // the machine-type text (its model letter sets the level)
  std::array<UInt8, 6> mac{};
  UInt8 dhcp = 0;
  UInt32 ip = 0, subnet = 0, gateway = 0, dns1 = 0, dns2 = 0;  // host order
  std::string apple, zone;
  UInt8 netbeui = 0;
  std::string machine, group, comment, trap;
  UInt32 trapAddr = 0;
  std::string contact, name, location;
  UInt8 ttl = 0, authen = 0;
  std::string community;
  // Level 4 and up.
  UInt8 wireless = 0, wireMode = 0;
  UInt16 linkSpeed = 0;
  std::string ssid;
  std::array<UInt8, 6> bssid{};
  UInt8 channel = 0;
  // Level 5.
  UInt32 wins1 = 0, wins2 = 0;
  std::string scope;
  UInt8 smtp = 0, smtpCode = 0, maintenance = 0;
  std::string svNameM, fromM, to1M, to2M;
  UInt16 portM = 0;
  UInt8 supply = 0;
  std::string svNameS, fromS, to1S, to2S;
  UInt16 portS = 0;
};

// The level of the information walk the machine type asks for: letters
// below D 0, D 4, DII and later 5.
int InfoLevelForMachineType(const std::array<UInt8, 16>& type);

// Whole replies as the box sends them: the 2-byte length, the echoed
// argument with its NUL, then the data.
std::vector<UInt8> StatusReply(bool plum7, const PrinterStatus& status, const StatusFaultSpec& fault = {});
std::vector<UInt8> Plum7InfoReply(const NetDescription& net, const StatusFaultSpec& fault = {});
std::vector<UInt8> IrisInfoReply(const NetDescription& net, const StatusFaultSpec& fault = {});
// The reply for a "GET STATUS:" argument; false for an argument that is not
// one of the monitor's four.
bool MonitorReply(const std::string& argument, const PrinterStatus& status, const NetDescription& net,
                  const StatusFaultSpec& fault, std::vector<UInt8>& out);

}  // namespace pboxemu

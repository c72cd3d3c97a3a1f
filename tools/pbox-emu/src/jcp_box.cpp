// The JCP protocol as one box speaks it: the search reply, the command
// requests and their replies in blocks, and the fault modes applied to
// them.
#include <algorithm>
#include <cstring>

#include "box.h"
#include "toolbox/clock.h"

namespace pboxemu {

namespace {

constexpr std::size_t kSearchReplySize = 72;
constexpr std::size_t kRequestHead = 88;
constexpr std::size_t kCmdField = 80;
constexpr std::size_t kRequestBlock = 422;
constexpr std::size_t kReplyHead = 8;
constexpr std::size_t kReplyBlock = 512;
// Offsets are 16-bit; a SET may reach a little beyond the last one.
constexpr std::size_t kSetLimit = 65536 + kRequestBlock;

enum : UInt16 { kCondFirst = 1, kCondNext = 2, kCondEnd = 3 };

std::vector<UInt8> searchReply(const BoxState& box) {
  std::vector<UInt8> r(kSearchReplySize, 0);
  be::put16(&r[0], 2);
  be::put16(&r[2], 0x9506);
  std::string name = box.desc.name.empty() ? "PBOX-" + std::to_string(box.index + 1) : box.desc.name;
  std::memcpy(&r[4], name.data(), std::min<std::size_t>(name.size(), 32));
  std::memcpy(&r[36], box.machineType.data(), 16);
  be::put32(&r[52], box.desc.netno);
  std::memcpy(&r[56], box.mac.data(), 6);
  be::put16(&r[62], box.port);
  be::put16(&r[64], box.desc.hopcount);
  be::put32(&r[66], box.reportedIp);
  be::put16(&r[70], box.desc.status);
  return r;
}

std::vector<UInt8> commandReply(UInt16 chk, UInt16 cond, UInt16 offset, std::span<const UInt8> data) {
  std::vector<UInt8> r(kReplyHead + data.size(), 0);
  be::put16(&r[0], chk);
  be::put16(&r[2], cond);
  be::put16(&r[4], offset);
  be::put16(&r[6], UInt16(data.size()));
  if (!data.empty()) std::memcpy(&r[kReplyHead], data.data(), data.size());
  return r;
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// The address commands' payload follows their text without a NUL between,
// so those texts are known by their beginning; every other text ends at
// its NUL.
std::string commandText(std::span<const UInt8> cmdField) {
  std::string text(reinterpret_cast<const char*>(cmdField.data()),
                   strnlen(reinterpret_cast<const char*>(cmdField.data()), cmdField.size()));
  for (const char* p : {"SET IP_ADDR:", "EXEC REBOOT SYSTEM:", "EXEC PRINT DIAGNOSTIC:"})
    if (startsWith(text, p)) return p;
  return text;
}

// The address commands carry 01 06, the box's Ethernet address and an IPv4
// address right behind their text.
bool addressPayload(std::span<const UInt8> cmdField, std::size_t textLen, const BoxState& box, UInt32* ip) {
  if (textLen + 12 > cmdField.size()) return false;
  const UInt8* p = cmdField.data() + textLen;
  if (p[0] != 0x01 || p[1] != 0x06) return false;
  if (std::memcmp(p + 2, box.mac.data(), 6) != 0) return false;
  if (ip) *ip = be::get32(p + 8);
  return true;
}

// The status monitor's four requests, answered from the box's printer.
bool isMonitorRequest(const std::string& cmd) {
  if (!startsWith(cmd, "GET STATUS:")) return false;
  std::string arg = cmd.substr(11);
  return arg == "PLUM7 STAT" || arg == "QSV-D STAT" || arg == "PLUM7 INFO" || arg == "IRIS INFO";
}

bool MonitorData(const BoxState& box, const std::string& arg, std::vector<UInt8>& data) {
  PrinterStatus status = box.hasPrinterStatus
                             ? box.printerStatus
                             : StatusForState(box.printerState, IcTypeForMachineType(box.machineType));
  NetDescription net = box.net;
  if (!box.hasNet) {
    net.type = box.machineType;
    net.mac = box.mac;
    net.ip = box.reportedIp;
    net.subnet = 0xFF000000;
    net.apple = box.desc.name.empty() ? "PBOX-" + std::to_string(box.index + 1) : box.desc.name;
  }
  return MonitorReply(arg, status, net, box.statusFault, data);
}

bool faultMatches(const BoxState& box, bool search, const std::string& command) {
  const FaultSpec& f = box.fault;
  if (f.mode == Fault::None) return false;
  if (search ? !f.search : !f.command) return false;
  if (!f.onlyCommand.empty() && (search || command != f.onlyCommand)) return false;
  return true;
}

// Counts a matching reply against skip and count; true when the fault hits it.
bool faultHits(BoxState& box) {
  FaultSpec& f = box.fault;
  if (++box.faultSeen <= f.skip) return false;
  if (f.count >= 0 && box.faultHits >= f.count) return false;
  ++box.faultHits;
  return true;
}

// The data a GET command returns; false for a command the box does not know
// (or, for the address commands, one meant for another box).
bool getData(BoxState& box, const std::string& cmd, std::span<const UInt8> cmdField, bool first,
             std::vector<UInt8>& data, bool& forOtherBox) {
  forOtherBox = false;
  auto custom = box.customReplies.find(cmd);
  if (custom != box.customReplies.end()) {
    data = custom->second;
    return true;
  }
  if (cmd == "POLLING") {
    data.clear();
  } else if (cmd == "GET CONTEXT") {
    data = box.current.context;
  } else if (cmd == "GET ENUM_DATA") {
    data = box.current.enums;
  } else if (cmd == "GET EEP_DATA") {
    data = box.current.image;
  } else if (cmd == "SET DEFAULT") {
    if (first) {
      box.current.image = box.factory.image;
      box.busy = box.busyAfterSave;
    }
    data = box.current.image;
  } else if (cmd == "GET PORT_NAME") {
    data = box.portList;
  } else if (startsWith(cmd, "GET STATUS:") && MonitorData(box, cmd.substr(11), data)) {
    if (first) ++box.monitorRequests;
  } else if (startsWith(cmd, "GET STATUS:")) {
    const char text[] = "Ready\r\n";
    data.assign(2, 0);
    data.insert(data.end(), text, text + sizeof text);  // with its NUL
  } else if (cmd == "EXEC REBOOT SYSTEM:" || cmd == "EXEC PRINT DIAGNOSTIC:") {
    if (!addressPayload(cmdField, cmd.size(), box, nullptr)) {
      forOtherBox = true;
      return false;
    }
    data.clear();
  } else {
    return false;
  }
  return true;
}

void handleCommand(BoxState& box, std::span<const UInt8> d, UInt32 fromAddr, RequestRecord& rec,
                   std::vector<Reply>& out) {
  std::span<const UInt8> cmdField = d.subspan(4, kCmdField);
  std::string cmd = commandText(cmdField);
  std::size_t textLen = cmd.size();
  UInt16 cond = be::get16(d.data());
  UInt16 offset = be::get16(d.data() + 84);
  // A request over AppleTalk always fills 510 bytes; the size field tells
  // how much is data, never more than came.
  std::size_t size = std::min<std::size_t>(be::get16(d.data() + 86), d.size() - kRequestHead);
  rec.command = cmd;
  rec.cond = cond;
  rec.offset = offset;
  rec.size = be::get16(d.data() + 86);

  Reply reply;
  reply.command = cmd;

  if (cond == kCondEnd) {
    UInt16 state = 0;
    if (cmd == "POLLING") {
      state = box.busy != 0 ? 1 : 0;
      if (box.busy > 0) --box.busy;
    }
    if (cmd == "SET IP_ADDR:" && !addressPayload(cmdField, textLen, box, nullptr)) return;
    if ((cmd == "EXEC REBOOT SYSTEM:" || cmd == "EXEC PRINT DIAGNOSTIC:") &&
        !addressPayload(cmdField, textLen, box, nullptr))
      return;
    ++box.executed[cmd];
    if (cmd == "EXEC REBOOT SYSTEM:" && box.restartTicks) {
      // The answer still goes out; then the box is away until it is back
      // with the settings it saved.
      box.restarting = true;
      box.restartUntil = TickCount() + box.restartTicks;
    }
    reply.bytes = commandReply(kCondEnd, state, 0, {});
    out.push_back(std::move(reply));
    return;
  }
  if (cond != kCondFirst && cond != kCondNext) return;

  if (cmd == "SET IP_ADDR:") {
    UInt32 ip = 0;
    if (!addressPayload(cmdField, textLen, box, &ip)) return;  // meant for another box
    box.reportedIp = ip;
    // On loopback the box moves to its new address once it has answered.
    if ((ip >> 24) == 127 && ip != box.addr) box.moveTo = ip;
    reply.bytes = commandReply(cond, 0, 0, {});
    out.push_back(std::move(reply));
    return;
  }

  // The box tells a SET by its text ("SET DEFAULT" only reads), or by data.
  bool isSet = size > 0 || ((startsWith(cmd, "SET ") || startsWith(cmd, "SAVE ")) && cmd != "SET DEFAULT");
  if (!isSet) {
    std::vector<UInt8> data;
    bool forOtherBox = false;
    if (!getData(box, cmd, cmdField, cond == kCondFirst && offset == 0, data, forOtherBox)) {
      if (forOtherBox) return;
      // Unknown: an end reply with no data.
      reply.bytes = commandReply(kCondEnd, 0, offset, {});
      out.push_back(std::move(reply));
      return;
    }
    std::size_t from = std::min<std::size_t>(offset, data.size());
    std::size_t n = std::min(kReplyBlock, data.size() - from);
    UInt16 more = from + n < data.size() ? 1 : 0;
    reply.bytes = commandReply(1, more, offset, std::span<const UInt8>(data).subspan(from, n));
    out.push_back(std::move(reply));
    return;
  }

  // SET: reassembled per client address and command, restarted by cond 1.
  auto& t = box.sets[{fromAddr, cmd}];
  if (cond == kCondFirst) t.data.clear();
  std::size_t end = std::size_t(offset) + size;
  if (end > kSetLimit) return;
  if (t.data.size() < end) t.data.resize(end, 0);
  if (size) std::memcpy(&t.data[offset], d.data() + kRequestHead, size);
  std::size_t expected = cmd == "SAVE EEP_DATA" ? box.current.image.size() : 0;
  bool done = size < kRequestBlock || (expected && end >= expected);
  if (done) {
    if (cmd == "SAVE EEP_DATA") {
      std::size_t n = std::min(t.data.size(), box.current.image.size());
      std::copy_n(t.data.begin(), n, box.current.image.begin());
      box.busy = box.busyAfterSave;
    } else {
      box.lastSetData[cmd] = t.data;
    }
    const UInt8 result[2] = {0, 0};
    reply.bytes = commandReply(cond, 0, UInt16(end), result);
  } else {
    reply.bytes = commandReply(cond, 1, UInt16(end), {});
  }
  out.push_back(std::move(reply));
}

}  // namespace

bool HandleDatagram(BoxState& box, std::span<const UInt8> d, UInt32 fromAddr, UInt16 fromPort, bool broadcast,
                    std::vector<Reply>& out) {
  RequestRecord rec;
  rec.length = d.size();
  rec.fromPort = fromPort;
  rec.broadcast = broadcast;

  bool probe = d.size() >= 4 && be::get16(d.data() + 2) == 0x9506 && be::get16(d.data()) != 2;
  bool command = !probe && d.size() >= kRequestHead && be::get16(d.data() + 2) == 1;
  if (box.restarting) {
    if (SInt32(TickCount() - box.restartUntil) < 0) return false;
    box.restarting = false;
  }
  std::string cmdText = command ? commandText(d.subspan(4, kCmdField)) : std::string();
  if (command && isMonitorRequest(cmdText) &&
      (box.printerState == PrinterState::Lost || box.statusFault.mode == StatusFault::Silence)) {
    rec.kind = RequestRecord::Command;
    rec.command = cmdText;
    rec.cond = be::get16(d.data());
    rec.offset = be::get16(d.data() + 84);
    box.log.push_back(rec);
    return false;
  }
  if (box.fault.mode == Fault::Silent && (probe || command) && faultMatches(box, probe, cmdText) && faultHits(box)) {
    rec.kind = probe ? RequestRecord::Probe : RequestRecord::Command;
    rec.command = cmdText;
    box.log.push_back(rec);
    return false;
  }

  if (probe) {
    rec.kind = RequestRecord::Probe;
    ++box.probes;
    box.log.push_back(rec);
    Reply r;
    r.bytes = searchReply(box);
    r.search = true;
    out.push_back(std::move(r));
    return true;
  }
  if (command) {
    rec.kind = RequestRecord::Command;
    handleCommand(box, d, fromAddr, rec, out);
    box.log.push_back(rec);
    return true;
  }
  box.log.push_back(rec);
  return true;
}

void ApplyFault(BoxState& box, const Reply& reply, std::span<const UInt8> request, std::vector<Outgoing>& out) {
  if (box.fault.mode == Fault::Silent || !faultMatches(box, reply.search, reply.command) || !faultHits(box)) {
    out.push_back({reply.bytes, 0});
    return;
  }
  const FaultSpec& f = box.fault;
  std::vector<UInt8> b = reply.bytes;
  bool cmd = !reply.search && b.size() >= kReplyHead;
  switch (f.mode) {
    case Fault::None:
    case Fault::Silent:
      break;
    case Fault::Drop:
      return;
    case Fault::Late:
      out.push_back({b, f.ticks});
      return;
    case Fault::WrongOffset:
      if (cmd) be::put16(&b[4], UInt16(be::get16(&b[4]) + (f.bytes ? f.bytes : 1)));
      break;
    case Fault::Short:
      b.resize(std::min<std::size_t>(b.size(), f.bytes ? f.bytes : b.size() / 2));
      break;
    case Fault::Oversized: {
      std::size_t n = f.bytes ? f.bytes : 3000;
      while (b.size() < n) b.push_back(UInt8(box.rng()));
      break;
    }
    case Fault::LyingSize:
      if (cmd) be::put16(&b[6], UInt16(f.bytes ? f.bytes : b.size() - kReplyHead + 100));
      break;
    case Fault::Garbage: {
      std::size_t n = f.bytes ? f.bytes : b.size();
      b.assign(n, 0);
      for (UInt8& x : b) x = UInt8(box.rng());
      break;
    }
    case Fault::EarlyEnd:
      if (cmd && be::get16(&b[0]) != kCondEnd) {
        b.resize(kReplyHead);
        be::put16(&b[0], kCondEnd);
        be::put16(&b[2], 0);
        be::put16(&b[6], 0);
      }
      break;
    case Fault::Echo:
      out.push_back({std::vector<UInt8>(request.begin(), request.end()), 0});
      break;
  }
  out.push_back({std::move(b), 0});
}

}  // namespace pboxemu

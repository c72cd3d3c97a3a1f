// The status and information replies a box gives the status monitor.
#include "pboxemu/monitor_replies.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace pboxemu {

namespace {

constexpr std::size_t kStatusBytes = 256;
constexpr std::size_t kQsvDData = 21 + kStatusBytes;  // 277
constexpr std::size_t kPlum7Data = 533;               // words from d20, two spare bytes at the end
constexpr std::size_t kPlum7InfoData = 792;

// S0 for a controller type: bit 7 marks the newer layouts, whose type code
// sits in bits 2 to 5.
UInt8 typeByte(int icType) {
  switch (icType) {
    case 0: return 0x00;
    case 1: return 0x80;
    case 2: return 0x80 | (1 << 2);
    case 4: return 0x80 | (2 << 2);
    case 5: return 0x80 | (3 << 2);
    case 6: return 0x80 | (4 << 2);
    case 7: return 0x80 | (5 << 2);
    default: return 0x80;
  }
}

std::vector<UInt8> frame(const char* argument, std::vector<UInt8> data, const StatusFaultSpec& fault) {
  const std::size_t argLen = std::strlen(argument) + 1;  // with its NUL
  std::vector<UInt8> r(2 + argLen + data.size(), 0);
  std::memcpy(&r[2], argument, argLen);
  if (!data.empty()) std::memcpy(&r[2 + argLen], data.data(), data.size());
  UInt16 len = UInt16(r.size());
  if (fault.mode == StatusFault::LyingLength) len = UInt16(fault.value ? fault.value : r.size() + 300);
  be::put16(r.data(), len);
  return r;
}

struct Writer {
  void u8(UInt8 v) { d.push_back(v); }
  void u16(UInt16 v) {
    d.push_back(UInt8(v >> 8));
    d.push_back(UInt8(v));
  }
  void u32(UInt32 v) {
    u16(UInt16(v >> 16));
    u16(UInt16(v));
  }
  void bytes(const UInt8* p, std::size_t n) { d.insert(d.end(), p, p + n); }
  // A text and its NUL.
  void text(const std::string& s) {
    d.insert(d.end(), s.begin(), s.end());
    d.push_back(0);
  }
  std::vector<UInt8> d;
};

}  // namespace

bool ParsePrinterState(const std::string& text, PrinterState& out) {
  static const std::pair<const char*, PrinterState> kNames[] = {
      {"ready", PrinterState::Ready},         {"printing", PrinterState::Printing},
      {"paperout", PrinterState::PaperOut},   {"tonerlow", PrinterState::TonerLow},
      {"coveropen", PrinterState::CoverOpen}, {"sleeping", PrinterState::Sleeping},
      {"lost", PrinterState::Lost},
  };
  for (const auto& [name, state] : kNames)
    if (text == name) {
      out = state;
      return true;
    }
  return false;
}

int IcTypeForMachineType(const std::array<UInt8, 16>& t) {
  if (t[8] == '[') {
    switch (t[9]) {
      case 'A': return 0;
      case 'B': return 1;
      case 'C': return 2;
      case 'D': return (t[10] == 'I' && t[11] == 'I') ? 5 : 4;
      default: return t[9] > 'D' ? 5 : 0;
    }
  }
  if (std::memcmp(&t[10], "QSV-", 4) == 0 && t[14] == 'B') return 1;
  return 0;
}

int InfoLevelForMachineType(const std::array<UInt8, 16>& t) {
  if (t[8] != '[') return 0;
  if (t[9] < 'D') return 0;
  if (t[9] == 'D' && !(t[10] == 'I' && t[11] == 'I')) return 4;
  return 5;
}

PrinterStatus StatusForState(PrinterState state, int icType) {
  PrinterStatus p;
  auto& s = p.s;
  s[0] = typeByte(icType);
  if (icType == 0) s[0] |= 0x08;  // 16 MB
  s[2] = 30;                      // memory in use, %
  s[3] = 0x01;                    // controller version 2.60
  s[4] = 0x04;
  s[7] = 0x00;  // 12 pages
  s[8] = 12;
  s[9] = 3 | (2 << 4);      // speed 3, drum density 2
  s[12] = 4;                // paper size code
  s[13] = 0x10 | 0x20 | 8;  // level 8, last tray
  s[18] = 60;               // 600 x 600 dpi
  s[19] = 60;
  s[22] = 0x00;  // interface version 1.20
  s[23] = 120;
  s[26] = 0x40 | 30;  // one disposal box of 300 sheets
  s[27] = 50;
  s[28] = (1 << 2) | 1;  // oldest layout: ink and master full
  s[32] = 64;
  s[42] = 0x10 | 10;  // drum 0 full
  s[44] = 0x10 | 10;  // master full
  s[45] = 0x40 | 2;   // one drum, size 2
  s[46] = 1;          // colour 1
  switch (state) {
    case PrinterState::Ready:
    case PrinterState::Lost: break;
    case PrinterState::Printing:
      s[0] |= 0x02;
      s[6] = 0x08 | 1;
      p.sendLen = 1500000;
      s[1] = 0x02;
      break;
    case PrinterState::PaperOut:
      s[10] = 0x10;
      s[13] = 0x10 | 0x20 | 0;
      break;
    case PrinterState::TonerLow:
      s[42] = 0x10 | 1;
      s[28] = (2 << 2) | 1;
      break;
    case PrinterState::CoverOpen: s[10] = 2; break;
    case PrinterState::Sleeping: s[0] |= 0x01; break;
  }
  return p;
}

std::vector<UInt8> StatusReply(bool plum7, const PrinterStatus& st, const StatusFaultSpec& fault) {
  std::vector<UInt8> d(plum7 ? kPlum7Data : kQsvDData, 0);
  if (fault.mode == StatusFault::Unterminated) {
    std::fill_n(d.begin(), 16, 'N');
  } else {
    std::memcpy(d.data(), st.nicVer.data(), std::min<std::size_t>(st.nicVer.size(), 16));
  }
  d[16] = st.nicStat;
  be::put32(&d[17], st.sendLen);
  if (plum7) {
    // One word per status byte, the byte the monitor takes last: S0 lands
    // on the last byte of the send-data size, as the monitor reads it.
    for (std::size_t i = 0; i < kStatusBytes; ++i) d[20 + 2 * i] = st.s[i];
  } else {
    std::copy(st.s.begin(), st.s.end(), d.begin() + 21);
  }
  return frame(plum7 ? "PLUM7 STAT" : "QSV-D STAT", std::move(d), fault);
}

std::vector<UInt8> Plum7InfoReply(const NetDescription& net, const StatusFaultSpec& fault) {
  std::vector<UInt8> d(kPlum7InfoData, 0);
  std::memcpy(&d[0], net.mac.data(), 6);
  be::put32(&d[6], net.ip);
  be::put32(&d[10], net.subnet);
  if (fault.mode == StatusFault::Unterminated) {
    std::fill(d.begin() + 62, d.end(), 'A');
  } else {
    std::memcpy(&d[62], net.apple.data(), std::min<std::size_t>(net.apple.size(), kPlum7InfoData - 63));
  }
  return frame("PLUM7 INFO", std::move(d), fault);
}

std::vector<UInt8> IrisInfoReply(const NetDescription& n, const StatusFaultSpec& fault) {
  bool unterminated = fault.mode == StatusFault::Unterminated;
  Writer w;
  Writer t;
  // The type is a text: it ends at its first NUL (the model letter lies
  // before any).
  std::size_t typeLen = strnlen(reinterpret_cast<const char*>(n.type.data()), 16);
  w.bytes(n.type.data(), typeLen);
  w.u8(0);
  w.bytes(n.mac.data(), 6);
  w.u8(n.dhcp);
  for (UInt32 a : {n.ip, n.subnet, n.gateway, n.dns1, n.dns2}) w.u32(a);
  w.u8(0);  // not used
  t.d = std::move(w.d);
  if (unterminated) {
    // Every text from here runs on to the end of the reply.
    t.d.insert(t.d.end(), 1500, 'X');
    return frame("IRIS INFO", std::move(t.d), fault);
  }
  t.text(n.apple);
  t.text(n.zone);
  t.u8(n.netbeui);
  for (const std::string* s : {&n.machine, &n.group, &n.comment, &n.trap}) t.text(*s);
  t.u32(n.trapAddr);
  for (const std::string* s : {&n.contact, &n.name, &n.location}) t.text(*s);
  t.u8(n.ttl);
  t.u8(n.authen);
  t.text(n.community);
  int level = InfoLevelForMachineType(n.type);
  if (level > 3) {
    t.u8(n.wireless);
    t.u8(n.wireMode);
    t.u16(n.linkSpeed);
    t.text(n.ssid);
    t.bytes(n.bssid.data(), 6);
    t.u8(n.channel);
  }
  if (level > 4) {
    t.u32(n.wins1);
    t.u32(n.wins2);
    t.text(n.scope);
    t.u8(n.smtp);
    t.u8(n.smtpCode);
    t.u8(n.maintenance);
    for (const std::string* s : {&n.svNameM, &n.fromM, &n.to1M, &n.to2M}) t.text(*s);
    t.u16(n.portM);
    t.u8(n.supply);
    for (const std::string* s : {&n.svNameS, &n.fromS, &n.to1S, &n.to2S}) t.text(*s);
    t.u16(n.portS);
  }
  if (fault.mode == StatusFault::TruncatedIris)
    t.d.resize(std::min<std::size_t>(t.d.size(), fault.value ? fault.value : 40));
  return frame("IRIS INFO", std::move(t.d), fault);
}

bool MonitorReply(const std::string& arg, const PrinterStatus& status, const NetDescription& net,
                  const StatusFaultSpec& fault, std::vector<UInt8>& out) {
  if (arg == "PLUM7 STAT" || arg == "QSV-D STAT")
    out = StatusReply(arg == "PLUM7 STAT", status, fault);
  else if (arg == "PLUM7 INFO")
    out = Plum7InfoReply(net, fault);
  else if (arg == "IRIS INFO")
    out = IrisInfoReply(net, fault);
  else
    return false;
  return true;
}

}  // namespace pboxemu

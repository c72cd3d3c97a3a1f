// A box's settings description as it sends it: context table, enumeration
// names and settings image.
#include "pboxemu/settings.h"

#include <algorithm>
#include <cstring>

namespace pboxemu {

namespace {

const std::vector<std::string> kEnable = {"ENABLE", "DISABLE"};
const std::vector<std::string> kYesNo = {"YES", "NO"};

}  // namespace

std::size_t SettingsBuilder::place(std::size_t bytes) {
  std::size_t off = image_.size();
  image_.resize(off + bytes, 0);
  return off;
}

void SettingsBuilder::entry(char type, std::size_t offset, UInt16 varid, UInt16 menu, UInt16 min, UInt16 max,
                            std::string_view name) {
  UInt8 e[kEntrySize] = {};
  e[0] = UInt8(type);
  be::put16(e + 2, UInt16(offset));
  be::put16(e + 4, varid);
  be::put16(e + 6, menu);
  be::put16(e + 8, min);
  be::put16(e + 10, max);
  for (std::size_t i = 0; i < 4; ++i) e[12 + i] = i < name.size() ? UInt8(name[i]) : UInt8(' ');
  context_.insert(context_.end(), e, e + kEntrySize);
}

void SettingsBuilder::Number(char type, UInt16 varid, UInt32 value, UInt16 min, UInt16 max, std::string_view name,
                             UInt16 menu) {
  std::size_t width = type == 'B' ? 1 : type == 'W' ? 2 : 4;
  std::size_t off = place(width);
  if (width == 1) image_[off] = UInt8(value);
  else if (width == 2) be::put16(&image_[off], UInt16(value));
  else be::put32(&image_[off], value);
  entry(type, off, varid, menu, min, max, name);
}

void SettingsBuilder::Ip(UInt16 varid, UInt32 value, std::string_view name, UInt16 menu) {
  std::size_t off = place(4);
  be::put32(&image_[off], value);
  entry('I', off, varid, menu, 0, 0, name);
}

void SettingsBuilder::Enum(UInt16 varid, const std::vector<std::string>& names, int selected, std::string_view name,
                           UInt16 menu) {
  UInt16 first;
  auto it = enumRanges_.find(names);
  if (it != enumRanges_.end()) {
    first = it->second;
  } else {
    first = UInt16(enums_.size() / kEnumStride + 1);
    for (const std::string& n : names) {
      UInt8 slot[kEnumStride] = {};
      std::memcpy(slot, n.data(), std::min(n.size(), kEnumStride - 1));
      enums_.insert(enums_.end(), slot, slot + kEnumStride);
    }
    enumRanges_[names] = first;
  }
  std::size_t off = place(1);
  image_[off] = UInt8(std::clamp(selected, 0, int(names.size()) - 1));
  entry('N', off, varid, menu, first, UInt16(first + names.size() - 1), name);
}

void SettingsBuilder::String(char type, UInt16 varid, UInt16 fieldSize, std::string_view value,
                             std::string_view name, UInt16 menu) {
  std::size_t off = place(fieldSize);
  std::size_t n = fieldSize ? std::min<std::size_t>(value.size(), fieldSize - 1) : 0;
  if (n) std::memcpy(&image_[off], value.data(), n);
  entry(type, off, varid, menu, 0, fieldSize, name);
}

void SettingsBuilder::PString(UInt16 varid, UInt16 fieldSize, std::string_view value, std::string_view name,
                              UInt16 menu) {
  std::size_t off = place(fieldSize);
  std::size_t n = fieldSize ? std::min<std::size_t>({value.size(), std::size_t(fieldSize) - 1, 255}) : 0;
  if (fieldSize) image_[off] = UInt8(n);
  if (n) std::memcpy(&image_[off + 1], value.data(), n);
  entry('P', off, varid, menu, 0, fieldSize, name);
}

void SettingsBuilder::PadImage(std::size_t size) {
  if (image_.size() < size) image_.resize(size, 0);
}

SettingsBlocks SettingsBuilder::Build() const {
  SettingsBlocks b{context_, enums_, image_};
  UInt8 end[kEntrySize] = {};
  end[0] = 'z';
  b.context.insert(b.context.end(), end, end + kEntrySize);
  return b;
}

std::array<UInt8, 16> ModelMachineType(Model m) {
  std::array<UInt8, 16> t{};
  auto put = [&](const char* s, std::size_t at) {
    for (std::size_t i = 0; s[i] && at + i < 16; ++i) t[at + i] = UInt8(s[i]);
  };
  switch (m) {
    case Model::QSV_A: put("VEMOPLEX-OLD", 0); break;
    case Model::QSV_B: put("VEMOPLEX  QSV-B", 0); t[15] = 0x40; break;
    case Model::QSV_C: put("VEMOPLEX[C]", 0); t[15] = 0x50; break;
    case Model::QSV_D:
      put("VEMOPLEX[D]", 0);
      t[15] = 0x50;
      break;
    case Model::QSV_E: put("VEMOPLEX[E]", 0); t[15] = 0x50; break;
    case Model::Foreign: put("OTHERBOX[C]", 0); t[15] = 0x50; break;
  }
  return t;
}

const char* ModelName(Model m) {
  switch (m) {
    case Model::QSV_A: return "A";
    case Model::QSV_B: return "B";
    case Model::QSV_C: return "C";
    case Model::QSV_D: return "D";
    case Model::QSV_E: return "E";
    case Model::Foreign: return "foreign";
  }
  return "?";
}

bool ParseModel(std::string_view text, Model& out) {
  for (Model m : {Model::QSV_A, Model::QSV_B, Model::QSV_C, Model::QSV_D, Model::QSV_E, Model::Foreign})
    if (text == ModelName(m)) {
      out = m;
      return true;
    }
  return false;
}

namespace {

// The models that offer every page.
bool everyPage(Model m) { return m == Model::QSV_C || m == Model::QSV_D; }

int portCount(Model m, int ports) {
  if (ports > 0) return ports > 9 ? 9 : ports;
  return m == Model::QSV_A ? 1 : 2;
}

void tcpip(SettingsBuilder& b, UInt32 ip, bool wins) {
  b.Enum(0x101, kEnable, 0, "TCP ");
  b.Ip(0x102, ip, "IPAD");
  b.Ip(0x103, 0xFF000000u, "MASK");
  b.Ip(0x104, 0, "GATE");
  b.Enum(0x105, kEnable, 1, "RARP");
  b.Enum(0x106, kEnable, 1, "DHCP");
  b.String('X', 0x108, 9, "", "PASS");
  b.Ip(0x109, 0, "DNS1");
  b.Ip(0x10A, 0, "DNS2");
  if (wins) {
    b.Ip(0x10D, 0, "WIN1");
    b.Ip(0x10E, 0, "WIN2");
    b.String('E', 0x10F, 32, "", "SCOP");
  }
  b.Enum(0x140, {"NONE", "PERMIT", "DENY"}, 0, "FILT");
  for (UInt16 v = 0x141; v <= 0x148; ++v) b.Ip(v, 0, "FRNG");
}

void snmp(SettingsBuilder& b) {
  b.String('X', 0x112, 16, "public", "COMM");
  b.String('E', 0x113, 16, "public", "TRAP");
  b.Ip(0x114, 0, "TRAD");
  b.String('E', 0x121, 64, "", "CONT");
  b.String('E', 0x122, 64, "", "SNAM");
  b.String('E', 0x123, 64, "", "LOCA");
  b.Number('B', 0x125, 64, 1, 255, "TTL ");
  b.Number('B', 0x126, 2, 1, 2, "TRPS");
}

void netware(SettingsBuilder& b) {
  b.Enum(0x201, kEnable, 0, "IPX ");
  b.String('E', 0x202, 48, "PSERVER", "NWNM");
  b.Enum(0x203, {"AUTO", "802.2", "802.3", "ETHERNET_II", "SNAP"}, 0, "FRAM");
  b.Enum(0x204, {"RPRINTER", "PSERVER"}, 1, "MODE");
  for (UInt16 v = 0x211; v <= 0x218; ++v) b.String('E', v, 48, "", "FSRV");
  b.String('X', 0x21A, 16, "", "NWPW");
  b.Number('W', 0x21B, 3, 1, 255, "POLL");
  b.Enum(0x21C, {"BINDERY", "NDS"}, 0, "BIND");
  b.String('E', 0x21D, 64, "", "TREE");
  b.String('E', 0x21E, 64, "", "CTXT");
  for (UInt16 v = 0x221; v <= 0x228; ++v) b.String('E', v, 48, "", "PSRV");
  b.Number('W', 0x229, 30, 1, 3600, "TOUT");
}

void appletalk(SettingsBuilder& b) {
  b.Enum(0x301, kEnable, 0, "ATLK");
  b.String('E', 0x302, 33, "*", "ZONE");
}

void netbios(SettingsBuilder& b) {
  b.Enum(0x401, kEnable, 0, "NBEU");
  b.String('E', 0x402, 16, "WORKGROUP", "WGRP");
  b.String('E', 0x403, 16, "PBOX", "NBNM");
  b.String('E', 0x404, 48, "", "CMNT");
  b.Enum(0x405, kEnable, 0, "NBTC");
  b.Enum(0x406, kEnable, 1, "BMS ");
}

void ports(SettingsBuilder& b, Model m, int count) {
  for (int k = 0; k < portCount(m, count); ++k) {
    UInt16 base = UInt16(0x1100 + 0x100 * k);
    b.PString(base + 0x01, 32, "", "JST ");
    b.PString(base + 0x02, 32, "", "JEN ");
    b.PString(base + 0x03, 32, "", "KJST");
    b.PString(base + 0x04, 32, "", "KJEN");
    b.Number('B', base + 0x05, 8, 1, 32, "TAB ");
    b.Enum(base + 0x06, {"TEXT", "PostScript", "THROUGH"}, 2, "PTYP");
    b.Number('W', base + 0x07, 80, 1, 255, "WIDT");
    b.Number('W', base + 0x08, 66, 1, 255, "LENG");
    b.Enum(base + 0x09, kYesNo, 1, "BANR");
    b.String('E', base + 0x10, 48, "", "QUEU");
    if (m != Model::QSV_E || k == 0) b.String('E', base + 0x11, 32, k ? "PRINTER2" : "PRINTER1", "PNAM");
    b.Enum(base + 0x20, {"BIDIRECTIONAL", "UNIDIRECTIONAL"}, 0, "PARA");
    b.Enum(base + 0x21, {"ECP", "NIBBLE", "COMPAT"}, 0, "PMOD");
    if (k == 0) b.Enum(base + 0x22, {"HIGH", "LOW"}, 0, "PSEL");
    if (everyPage(m)) b.Enum(base + 0x24, {"LaserWriter", "ImageWriter"}, 0, "ATTY");
    if (everyPage(m) && k == 1) {
      // The second port of these models is a serial one.
      b.Enum(base + 0x30, {"9600", "19200", "38400", "57600", "115200"}, 0, "SPED");
      b.Enum(base + 0x31, {"7", "8"}, 1, "DATA");
      b.Enum(base + 0x32, {"NONE", "ODD", "EVEN"}, 0, "PARI");
      b.Enum(base + 0x33, {"1", "2"}, 0, "STOP");
      b.Enum(base + 0x34, kEnable, 0, "HFLW");
      b.Enum(base + 0x35, kEnable, 1, "SFLW");
    }
  }
}

// The mail receiver: its switch, time zone, interval and four users. No tab
// offers it, but the settings window's page table holds it.
void pop(SettingsBuilder& b) {
  b.Enum(0x2001, kEnable, 1, "POP ");
  b.String('E', 0x2002, 8, "+0900", "TZON");
  b.Number('W', 0x2005, 10, 1, 1440, "PINT");
  for (UInt16 user : {0x2100, 0x2200, 0x2300, 0x2400}) {
    b.Enum(user + 1, kEnable, 1, "PUSE");
    b.String('E', user + 2, 64, "", "PSRV");
    b.Number('W', user + 3, 110, 1, 65535, "PPRT");
    b.String('E', user + 4, 32, "", "PLOG");
    b.String('X', user + 5, 32, "", "PPAS");
    b.Number('B', user + 7, 0, 0, 1, "APOP");
    b.Number('B', user + 8, 0, 0, 1, "PDEL");
    b.Number('W', user + 0x11, 1024, 1, 65535, "PLIM");
    b.String('E', user + 0x12, 64, "", "PFLT");
  }
}

// The wireless settings of the QSV-E: mode, network name, channel and WEP.
void wireless(SettingsBuilder& b) {
  b.Enum(0x3010, {"Ad hoc", "802.11 Ad hoc", "Infrastructure"}, 2, "WMOD");
  b.String('E', 0x3011, 33, "OFFICE", "SSID");
  b.Number('B', 0x3012, 11, 1, 14, "CHAN");
  b.Enum(0x3014, {"DISABLE", "64bit", "128bit"}, 0, "WEP ");
  b.Number('B', 0x3018, 1, 1, 4, "KIDX");
  b.String('X', 0x3019, 14, "", "WKEY");
}

void smtp(SettingsBuilder& b) {
  b.Enum(0x2801, kEnable, 1, "SMTP");
  b.Enum(0xEA02, {"US-ASCII", "ISO-8859-1", "ISO-2022-JP", "SHIFT_JIS"}, 0, "CODE");
  b.String('E', 0xEA03, 64, "", "DOMN");
  for (UInt16 v = 0xEA04; v <= 0xEA07; ++v) b.String('E', v, 64, "", "SUBJ");
  for (UInt16 group : {0xEA10, 0xEA20}) {
    b.Enum(group, kEnable, 1, "MAIL");
    for (UInt16 v = group + 1; v <= group + 4; ++v) b.String('E', v, 64, "", "ADDR");
    b.Number('W', group + 5, 25, 1, 65535, "PORT");
    b.Enum(group + 6, kEnable, 1, "AUTH");
    b.String('E', group + 7, 32, "", "USER");
    b.String('X', group + 8, 32, "", "APAS");
    b.String('E', group + 9, 64, "", "SBJ1");
    b.String('E', group + 10, 256, "", "TEXT");
    b.String('E', group + 11, 64, "", "SIG1");
    b.Enum(group + 12, kEnable, 1, "FRM2");
    for (UInt16 v = group + 13; v <= group + 15; ++v) b.String('E', v, 64, "", "FRMB");
  }
}

void general(SettingsBuilder& b) {
  b.Enum(0x3000, kYesNo, 1, "HPC ");
  b.Enum(0x3001, {"AUTO", "10BASE-T", "100BASE-TX"}, 0, "LAN ");
}

}  // namespace

void NetWareSettings(SettingsBuilder& b) { netware(b); }

SettingsBlocks ModelSettings(Model m, UInt32 ipAddr, int portsWanted) {
  SettingsBuilder b;
  tcpip(b, ipAddr, m != Model::QSV_E);
  if (everyPage(m) || m == Model::QSV_E || m == Model::Foreign) snmp(b);
  netware(b);
  if (everyPage(m) || m == Model::QSV_B || m == Model::Foreign) {
    appletalk(b);
    netbios(b);
  }
  ports(b, m, portsWanted);
  if (m != Model::QSV_A) {
    smtp(b);
    general(b);
  }
  if (everyPage(m)) pop(b);
  if (m == Model::QSV_E) wireless(b);
  return b.Build();
}

std::vector<UInt8> ModelPortList(Model m, int ports) {
  std::vector<std::string> names;
  for (int k = 0; k < portCount(m, ports); ++k) names.push_back("PORT" + std::to_string(k + 1));
  // The programs read 320 bytes: nine entries. A box of nine ports has no
  // room left for the "system" entry.
  if (names.size() < 9) names.insert(m == Model::QSV_D ? names.begin() : names.end(), "system");
  std::vector<UInt8> out(1 + 32 * names.size(), 0);
  out[0] = UInt8(names.size());
  for (std::size_t i = 0; i < names.size(); ++i)
    std::memcpy(&out[1 + 32 * i], names[i].data(), std::min<std::size_t>(names[i].size(), 31));
  return out;
}

}  // namespace pboxemu

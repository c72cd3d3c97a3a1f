// The status and information texts from the monitor's ini files, and the
// text helpers the monitor's modules share.
#include "Monitor/StatusText.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/AppGlobals.h"
#include "common/IniFile.h"
#include "common/IniText.h"
#include "common/StrConv.h"
#include "common/TextFormat.h"
#include "Monitor/ReplyDecode.h"
#include "toolbox/textencoding.h"

namespace {

// A value of the monitor's ini file; empty when the key is missing.
std::string ini(const char* section, const std::string& key) {
  return Ini_Text(section, (key + "=").c_str(), "", MonFileName);
}

std::string fmt2(const char* prefix, int n) {
  char b[48];
  std::snprintf(b, sizeof b, "%s%02d", prefix, n);
  return b;
}

// Backslash-n pairs into CR; returns the line count.
int breakLines(std::string& text) {
  std::vector<char> buf(text.begin(), text.end());
  buf.push_back('\0');
  int lines = SetKaigyou(buf.data(), int(buf.size()));
  text.assign(buf.data());
  return lines;
}

// A format with one "%d" (any other conversion is refused: the format's
// text stands as it is).
std::string formatNumber(const std::string& format, long value) {
  std::size_t at = format.find('%');
  if (at == std::string::npos || format.compare(at, 2, "%d") != 0 || format.find('%', at + 2) != std::string::npos)
    return format;
  return format.substr(0, at) + std::to_string(value) + format.substr(at + 2);
}

std::string formatText(const std::string& format, const std::string& arg) {
  std::vector<char> out(format.size() + arg.size() + 1);
  if (Format_Strings(out.data(), out.size(), format.c_str(), {arg.c_str()}) < 0) return format;
  return out.data();
}

void message(const char* key, UInt8* out, SInt32* line) {
  std::string text = ini("[MAIN]", key);
  int lines = breakLines(text);
  if (line) *line = LineLayout(lines);
  Set_Pascal_Field(out, 256, text);
}

bool paperIconListed(int code) {
  for (int c : {4, 6, 8, 10, 14, 16, 18, 21, 29})
    if (c == code) return true;
  return false;
}

std::string unknownSize(int code) { return ini("[PAPER]", "SIZE???") + std::to_string(code); }

// The size text of a tray (the detail name, or the unknown-size text and
// the code).
std::string traySizeText(const PPRINFO& p) {
  char key[16];
  std::snprintf(key, sizeof key, "SIZE%03d", p.PprSiz);
  std::string text = ini("[DETAIL]", key);
  return text.empty() ? unknownSize(p.PprSiz) : text;
}

std::string blanks(int n) { return std::string(std::size_t(n), ' '); }

// Addresses as they arrive: four bytes in network order, six bytes.
std::string ipText(const UInt8* a) {
  char text[16];
  iptoa(be::get32(a), text);
  return text;
}

std::string macText(const UInt8* a) {
  char text[18];
  mactoa(a, text);
  return text;
}

constexpr int kL1 = 1, kL2 = 5, kL3 = 9;
constexpr char kMark = '-';

// A heading whose CR gives way to " : " and a value text.
void headingWithValue(std::string& t, const char* key, int indent, char marker, const std::string& value) {
  SetTagString(t, key, marker, indent);
  t.pop_back();
  t += " : " + value + "\r";
}

std::string valueName(const char* section, const char* label, int value) {
  std::string text = ini(section, fmt2(label, value));
  return text.empty() ? std::to_string(value) : text;
}

}  // namespace

std::string Ini_Text(const char* section, const char* key, const char* fallback, const char* file) {
  if (!file) {
    Str255 text;
    Get_Ini_Text(text, section, key, 0, fallback);
    return pstr::str(text);
  }
  char value[kIniLineMax + 1] = "";
  if (!Load_File_To_CstringEx(section, key, value, sizeof value, file)) return fallback ? fallback : "";
  return value;
}

void Set_Pascal_Field(UInt8* out, std::size_t cap, std::string_view text) {
  const std::size_t n = tb::CharCutLength(text, std::min<std::size_t>(cap - 2, 255));
  out[0] = UInt8(n);
  std::memcpy(out + 1, text.data(), n);
  out[n + 1] = 0;
}

void Copy_Text(char* out, std::size_t size, std::string_view text) {
  if (size == 0) return;
  const std::size_t n = tb::CharCutLength(text, size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = 0;
}

void CopiesPictures(UInt16 copies, SInt16 (&places)[4]) {
  char digits[8] = "    ";
  if (copies != 65535) std::snprintf(digits, sizeof digits, "%4u", unsigned(std::min<UInt16>(copies, 9999)));
  for (int i = 0; i < 4; ++i) places[i] = digits[i] == ' ' ? 300 : SInt16(290 + (digits[i] - '0'));
}

SInt32 LineLayout(int lines) { return SInt32(std::atol(ini("[MAIN]", fmt2("LINE", lines)).c_str())); }

void FirstMessage(const VEMOINFO*, const char* key, UInt8* out, SInt32* line) { message(key, out, line); }
void FirstOpenMessage(const VEMOINFO*, const char* key, UInt8* out, SInt32* line) { message(key, out, line); }
void ErrorMessage(const VEMOINFO*, const char* key, UInt8* out, SInt32* line) { message(key, out, line); }

void FirstComment(const char* key, UInt8* out) {
  std::string text = ini("[MAIN]", key);
  breakLines(text);
  Set_Pascal_Field(out, 256, text);
}

void ErrorComment(const char* key, UInt8* out) { FirstComment(key, out); }

void FirstOpenComment(const VEMOINFO*, const char* key, const UInt8* sizeText, UInt8* out, UInt8 warning) {
  std::string text = ini("[MAIN]", key);
  if (std::strcmp(key, "COMMENT07") == 0 || std::strcmp(key, "COMMENT08") == 0) {
    if (!text.empty()) text += "\\n";
    std::string size = sizeText ? std::string(reinterpret_cast<const char*>(sizeText + 1), sizeText[0]) : "";
    text += formatText(ini("[MAIN]", "PROCESSING"), size);
  }
  if (warning) {
    if (!text.empty()) text += "\\n\\n";
    text += ini("[MAIN]", "WARNING");
  }
  breakLines(text);
  Set_Pascal_Field(out, 256, text);
}

void GetPaperSize(const VEMOINFO* v, UInt8* out, UInt32* icon, SInt32* line) {
  const PPRINFO* shown = nullptr;
  for (int k = 0; k < v->CmPprNum && k < 3; ++k)
    if (v->pPpr[k].PprTray == 0) {
      shown = &v->pPpr[k];
      break;
    }
  std::string text;
  int lines = -1;
  if (shown) {
    text = traySizeText(*shown);
    std::string copy = text;
    lines = breakLines(copy);
  } else {
    text = ini("[PAPER]", v->CmPprNum != 0 ? "AUTO" : "SIZE000");
  }
  if (text.empty()) text = unknownSize(shown ? shown->PprSiz : 0);
  breakLines(text);
  // With no tray shown the plain icon stands (no tray's type to go by).
  UInt32 id = 510;
  if (shown) {
    bool listed = paperIconListed(shown->PprSiz);
    id = shown->PprType == 0 ? (listed ? 511 : 510) : (listed ? 513 : 512);
  }
  if (icon) *icon = id;
  if (line) *line = LineLayout(lines);
  Set_Pascal_Field(out, 32, text);
}

void SetTagString(std::string& t, const char* key, char marker, int indent) {
  t += blanks(indent);
  if (marker) t += marker;
  std::string k(key);
  if (!k.empty() && k.back() == '=') k.pop_back();
  t += ini("[INFORMATION]", k) + "\r";
}

int SetInfoValue(std::string& t, const char* section, const char* label, int value) {
  t += valueName(section, label, value);
  return 0;
}

void SetInfoString(std::string& t, const char* section, const char* literal, const char* label, int value, char marker,
                   int indent) {
  t += blanks(indent);
  if (marker) t += marker;
  t += ini("[INFORMATION]", label) + " ";
  if (value == 255)
    t += literal ? literal : "";
  else
    SetInfoValue(t, section, label, value);
  t += "\r";
}

namespace {

void line2(std::string& t, const char* label, int value, int indent = kL2, const char* section = "[DETAIL]") {
  SetInfoString(t, section, nullptr, label, value, kMark, indent);
}
// The texts the box gives (its names, addresses) are in the language's
// encoding; what the program writes itself is ASCII, which reads the same.
std::string boxText(std::string_view text) { return tb::TextFromEncoding(text, GetApplicationTextEncoding()); }
void literal2(std::string& t, const char* label, const std::string& text, int indent = kL2) {
  SetInfoString(t, nullptr, boxText(text).c_str(), label, 255, kMark, indent);
}

}  // namespace

void SetVemoInfo(std::string& t, const VEMOINFO* v) {
  SetTagString(t, "PRINTER=", 0, 0);
  SetInfoString(t, "[DETAIL]", nullptr, "SPEED", v->DePrintSpd, 0, kL1);

  int drums = std::clamp<int>(v->CmDrmNum, 0, 2);
  std::string dram = ini("[INFORMATION]", "DRAM");
  if (drums <= 1) {
    headingWithValue(t, "DENSITY=", kL1, 0, valueName("[DETAIL]", "DENSITY", v->pDrm[0].DrmDens));
  } else {
    SetTagString(t, "DENSITY=", 0, kL1);
    for (int k = 0; k < drums; ++k)
      t += blanks(kL2) + "-" + dram + " " + std::to_string(k + 1) + " : " +
           valueName("[DETAIL]", "DENSITY", v->pDrm[k].DrmDens) + "\r";
  }

  SetTagString(t, "SORT=", 0, kL1);
  if (v->DeSrtConn) {
    line2(t, "USED", v->DeSrtAct);
    line2(t, "REMAIN", v->DeSrtPaper);
    line2(t, "SORTER", v->DeSrtConn);
    line2(t, "SOMODE", v->DeSrtMode);
  } else {
    line2(t, "SORTER", 0);
  }
  if (v->IcType != 0) {
    SetTagString(t, "TAPE=", kMark, kL2);
    line2(t, "TSORTER", v->DeTpSrtConn, kL3);
    if (v->DeTpSrtConn) {
      line2(t, "TREMAIN", v->DeTpSrtTape, kL3);
      line2(t, "TPMODE", v->DeTpSrtMode, kL3);
    } else {
      line2(t, "TREMAIN", 0, kL3);
    }
  }

  SetTagString(t, "SCAN=", 0, kL1);
  line2(t, "SDENSITY", v->DeScnDensity);
  line2(t, "ORIGINAL", v->DeScnOrg);
  line2(t, "SCMODE", v->DeScnMode);

  SetTagString(t, "STAPLE=", 0, kL1);
  if (v->DeStplFlg) {
    line2(t, "SREMAIN", v->DeStplHari);
    line2(t, "STAPLER", v->DeStplFlg);
    line2(t, "STMODE", v->DeStplMode);
  } else {
    line2(t, "STAPLER", 0);
  }

  SetTagString(t, "DRAM=", 0, kL1);
  const char* sizeName = v->IcType != 0 ? "SIZEB" : "SIZEA";
  if (drums <= 1) {
    line2(t, "INK", v->pDrm[0].DrmCol, kL2, "[INK]");
    line2(t, sizeName, v->pDrm[0].DrmSiz);
  } else {
    for (int k = 0; k < drums; ++k) {
      t += blanks(kL2) + "-" + dram + " " + std::to_string(k + 1) + "\r";
      line2(t, "INK", v->pDrm[k].DrmCol, kL3, "[INK]");
      line2(t, sizeName, v->pDrm[k].DrmSiz, kL3);
    }
  }

  t += " " + ini("[INFORMATION]", "MEMORY") + " : " + std::to_string(v->DeMemSize) + " MB\r";

  int boxes = std::clamp<int>(v->CmDisNum, 0, 2);
  std::string disp = ini("[INFORMATION]", "DISPBOX");
  t += " " + disp;
  if (boxes > 1) t += "\r";
  for (int k = 0; k < boxes; ++k) {
    if (boxes > 1) t += blanks(6) + "-" + disp + " " + std::to_string(k + 1);
    UInt16 cap = v->pDis[k].HanMax;
    t += " : " + (cap == 0 ? ini("[DETAIL]", "SHEET00") : formatNumber(ini("[DETAIL]", "SHEET01"), cap)) + "\r";
  }
  if (boxes == 0) t += "\r";

  SetTagString(t, "PAPER=", 0, kL1);
  int trays = std::clamp<int>(v->CmPprNum, 0, 3);
  for (int k = 0; k < trays; ++k) {
    int indent = kL2;
    if (trays > 1) {
      SetTagString(t, fmt2("TRY", k).append("=").c_str(), kMark, kL2);
      indent = kL3;
    }
    SetTagString(t, "PSIZE=", kMark, indent);
    t.pop_back();
    t += " " + traySizeText(v->pPpr[k]) + "\r";
    if (v->IcType == 2 || v->IcType == 3) {
      line2(t, "PQTY", v->pPpr[k].PprQty, indent);
      line2(t, "PKND", v->pPpr[k].PprType, indent);
    }
  }
  t += "\r";
}

void SetNetInfoA(std::string& t, const NETINFO* n) {
  SetTagString(t, "NETWORK=", 0, 0);
  SetTagString(t, "GENERAL=", 0, kL1);
  literal2(t, "HDADR", macText(n->pMac));
  t += " TCP/IP\r";
  literal2(t, "IPADR", ipText(n->pIp));
  literal2(t, "SBADR", ipText(n->pSubnet));
  t += " AppleTalk\r";
  literal2(t, "APPLE", n->szApple);
  t += "\r";
}

void SetNetInfoB(std::string& t, const VEMOINFO* v, const NETINFO* n) {
  const int T = v->IcType;
  const bool mailBlocks = T == 5 || (T >= 7 && !(v->KinoMainte && v->KinoSupply));
  SetTagString(t, "NETWORK=", 0, 0);
  SetTagString(t, "GENERAL=", 0, kL1);
  if (T == 6 || T == 7) literal2(t, "PRINTERNAME", n->szApple);
  literal2(t, "HDADR", macText(n->pMac));
  if (n->bWireless) {
    SetTagString(t, "WIRELESS=", kMark, kL2);
    literal2(t, "WIREMODE", n->bWireMode ? "Infra." : "AdHoc", kL3);
    literal2(t, "LINKSPEED", std::to_string(n->wLinkSpeed) + " Mbps", kL3);
    literal2(t, "SSID", n->szSsid, kL3);
    literal2(t, "BSSID", macText(n->bBssid), kL3);
    literal2(t, "CHANNEL", std::to_string(n->bChannel), kL3);
  }
  t += " TCP/IP\r";
  literal2(t, "DHCP", n->bDhcp ? "Enable" : "Disable");
  literal2(t, "IPADR", ipText(n->pIp));
  literal2(t, "SBADR", ipText(n->pSubnet));
  literal2(t, "GATEWAY", ipText(n->pGateway));
  if (T == 5) {
    SetTagString(t, "WINS=", kMark, kL2);
    literal2(t, "SCOPE", n->szScopeId, kL3);
    literal2(t, "PRIMARY", ipText(n->bWins1st), kL3);
    literal2(t, "SECONDARY", ipText(n->bWins2nd), kL3);
  }
  if (mailBlocks) {
    SetTagString(t, "DNS=", kMark, kL2);
    literal2(t, "PRIMARY", ipText(n->bDns1st), kL3);
    literal2(t, "SECONDARY", ipText(n->bDns2nd), kL3);
  }
  if (T <= 5) {
    t += " AppleTalk\r";
    literal2(t, "APPLE", n->szApple);
    literal2(t, "ZONE", n->szZone);
    char model[8];
    UInt8 type[16] = {};
    std::memcpy(type, n->szType, strnlen(n->szType, 16));
    GetVemoplexType(model, type);
    t += model[4] >= 'D' ? " NetBIOS" : " NetBEUI";
    if (n->bNetbeui) {
      t += "\r";
      literal2(t, "COMPUTER", n->szMachine);
      literal2(t, "GROUP", n->szGroup);
      literal2(t, "COMMENT", n->szComment);
    } else {
      t += " : Disable\r";
    }
  }
  if (T <= 5 || ((T == 6 || T == 7) && !v->KinoSNMP)) {
    t += " SNMP\r";
    literal2(t, "AUTHEN", "*****");
    literal2(t, "COMMNY", n->szTrap);
    literal2(t, "TRADR", ipText(n->pTrap));
    SetTagString(t, "MIBII=", kMark, kL2);
    t += "             -SysContact         : " + boxText(n->szContact) + "\r";
    t += "             -SysName            : " + boxText(n->szName) + "\r";
    t += "             -SysLocation        : " + boxText(n->szLocation) + "\r";
    t += "             -Default TTL        : " + std::to_string(n->bTtl) + "\r";
    if (n->bAuthen == 1) t += "             -Enable Authen Trap : Enable\r";
    if (n->bAuthen == 2) t += "             -Enable Authen Trap : Disable\r";
  }
  if (mailBlocks) {
    if (n->bSmtp == 0) {
      t += " SMTP : Disable\r";
    } else {
      t += " SMTP\r";
      line2(t, "ENCODE", n->bSmtpCode, kL2, "[DETAIL]");
      struct Mail {
        bool hidden;
        const char* heading;
        const char* key;
        UInt8 on;
        const char *sv, *from, *to1, *to2;
        const char *k1, *k2;
        UInt16 port;
      };
      const Mail mails[2] = {
          {v->KinoMainte != 0, "MAINTENANCE=", "MAINTENANCE", n->bMaintenance, n->szSmtpSvNameM, n->szFromAddrM,
           n->szToAddr1M, n->szToAddr2M, "TOADDR1M", "TOADDR2M", n->wPortNoM},
          {v->KinoSupply != 0, "SUPPLY=", "SUPPLY", n->bSupply, n->szSmtpSvNameS, n->szFromAddrS, n->szToAddr1S,
           n->szToAddr2S, "TOADDR1S", "TOADDR2S", n->wPortNoS},
      };
      for (const Mail& m : mails) {
        if (m.hidden) continue;
        if (m.on) {
          SetTagString(t, m.heading, kMark, kL2);
          literal2(t, "SVNAME", m.sv, kL3);
          literal2(t, "FROMADDR", m.from, kL3);
          literal2(t, m.k1, m.to1, kL3);
          literal2(t, m.k2, m.to2, kL3);
          literal2(t, "PORTNO", std::to_string(m.port), kL3);
        } else {
          literal2(t, m.key, ": Disable");
        }
      }
    }
  }
  t += "\r";
}

void SetVerInfo(std::string& t, const VEMOINFO* v, const NICINFO* nic) {
  static constexpr const char* kNames[] = {"VEMOPLEX2-QSV-A",     "VEMOPLEX-QSV-B",   "VEMOPLEX-QSV-C",
                                           "VEMOPLEX-QSV-C3",     "VEMOPLEX-QSV-D",   "VEMOPLEX-QSV-DII",
                                           "VEMO Network Card C", "VEMO Network Card"};
  SetTagString(t, "VERSION=", 0, 0);
  SetInfoString(t, nullptr, v->VerCon, "CONT", 255, 0, kL1);
  std::string nicVer(nic->NicVer, strnlen(nic->NicVer, sizeof nic->NicVer));
  nicVer.resize(tb::CharCutLength(nicVer, nicVer.size()));
  SetInfoString(t, nullptr, nicVer.c_str(), "NIC", 255, 0, kL1);
  SetInfoString(t, nullptr, v->VerIF, "IF", 255, 0, kL1);
  if (v->IcType < 8) SetInfoString(t, nullptr, kNames[v->IcType], "IC", 255, 0, kL1);
  t += "\r";
}

std::string DispInfoStat(int choice, const VEMOINFO* v, const NICINFO* nic, const NETINFO* net) {
  std::string t;
  if (nic->NicStat == 255 || v->MainRsltErr || v->MainPower == 2) return t;
  std::string title = ini("[INFORMATION]", "TITLE");
  // The frame is as long as the title (in bytes), of its first character.
  const std::size_t first = tb::CharByteCount(title, 0);
  std::string rule;
  while (first && rule.size() + first <= title.size()) rule += title.substr(0, first);
  t += rule + "\r" + title + "\r" + rule + "\r";
  if (choice == 1 || choice == 2) SetVemoInfo(t, v);
  if (choice == 1 || choice == 3) {
    if (net->bAuthen != 0)
      SetNetInfoB(t, v, net);
    else
      SetNetInfoA(t, net);
  }
  if (choice == 1 || choice == 4) SetVerInfo(t, v, nic);
  t += "\r";
  breakLines(t);
  if (t.size() > kDetailTextSize - 1) t.resize(tb::CharCutLength(t, kDetailTextSize - 1));
  return t;
}

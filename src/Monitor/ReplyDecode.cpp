// The print box's status and information replies into the monitor's
// records, every length and text bounded by what arrived.
#include "Monitor/ReplyDecode.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/StrConv.h"
#include "toolbox/textencoding.h"

namespace {

struct KindRow {
  const char* argument;
  short kind;
  std::size_t start;
};
constexpr KindRow kKinds[] = {
    {"PLUM7 STAT", kReplyPlum7Stat, 13}, {"PLUM7 INFO", kReplyPlum7Info, 13}, {"IRIS INFO", kReplyIrisInfo, 12},
    {"DEVICE ID", kReplyDeviceId, 0},    {"QSV-D STAT", kReplyQsvDStat, 13},
};

inline UInt8 bit(UInt8 v, int n) { return UInt8((v >> n) & 1); }

// A level nibble where 15 means no reading.
inline UInt8 level(UInt8 v) {
  UInt8 l = v & 15;
  return l == 15 ? 11 : l;
}

// The two-bit levels of the oldest layout: 0 none read, 1 full, 2 low,
// 3 leaves the value as it was.
inline void oldLevel(UInt8 code, UInt8& out) {
  switch (code & 3) {
    case 0: out = 11; break;
    case 1: out = 10; break;
    case 2: out = 1; break;
    default: break;
  }
}

}  // namespace

std::size_t ReplyDataStart(short kind) {
  for (const KindRow& r : kKinds)
    if (r.kind == kind) return r.start;
  return 0;
}

short ChkRecvCmd(const UInt8* reply, std::size_t received, UInt16* dataLen) {
  if (!reply || received < 3) return kReplyUnknown;
  std::size_t len = be::get16(reply);
  const char* arg = reinterpret_cast<const char*>(reply + 2);
  std::size_t room = received - 2;
  for (const KindRow& r : kKinds) {
    std::size_t n = std::strlen(r.argument) + 1;
    if (n > room || std::memcmp(arg, r.argument, n) != 0) continue;
    if (r.kind == kReplyDeviceId) {
      if (dataLen) *dataLen = UInt16(len);
      return r.kind;
    }
    // A length that does not even cover the header is no reply of this
    // kind; one beyond what came is cut to what came.
    if (len < r.start) return kReplyUnknown;
    std::size_t have = std::min(len, received);
    if (dataLen) *dataLen = UInt16(have - r.start);
    return r.kind;
  }
  return kReplyUnknown;
}

int Set_Macintosh_Memory(std::span<UInt8> d) {
  if (d.size() < kStatusDataRoom) return 0;
  std::memmove(d.data() + 24, d.data() + 21, 768);
  std::memmove(d.data() + 20, d.data() + 17, 4);
  return 1;
}

int Convert_Status(std::span<UInt8> d) {
  if (d.size() < kStatusDataRoom) return 0;
  for (std::size_t i = 0; i < kStatusSize; ++i) d[24 + i] = d[23 + 2 * i];
  return 1;
}

int GetDrmInfo(const UInt8* s, VEMOINFO* v) {
  int n = 0;
  if (v->IcType != 0) {
    static constexpr int kBytes[2][3] = {{42, 45, 46}, {43, 47, 48}};
    for (int k = 0; k < 2; ++k) {
      DRMINFO& d = v->pDrm[k];
      d.InkRm = level(s[kBytes[k][0]]);
      d.DrmInfo = bit(s[kBytes[k][0]], 4);
      d.DrmSiz = s[kBytes[k][1]] & 15;
      d.DrmCol = s[kBytes[k][2]] & 127;
      ++n;
      if (k == 0 && bit(s[45], 6)) break;
    }
  } else {
    DRMINFO& d = v->pDrm[0];
    oldLevel(UInt8(s[28] >> 2), d.InkRm);
    if (v->MSInkNo) d.InkRm = 0;
    d.DrmSiz = s[11] & 7;
    d.DrmCol = s[11] >> 3;
    n = 1;
  }
  v->CmDrmNum = n;
  v->pDrm[0].DrmDens = (s[9] >> 4) & 7;
  if (n >= 2) v->pDrm[1].DrmDens = s[35] & 7;
  return n;
}

void GetMasterInfo(const UInt8* s, VEMOINFO* v) {
  if (v->IcType != 0) {
    v->CmMasterRm = level(s[44]);
    v->CmMasterInfo = bit(s[44], 4);
  } else {
    oldLevel(s[28], v->CmMasterRm);
    if (v->MSMasterNo) v->CmMasterRm = 0;
  }
}

int GetDisInfo(const UInt8* s, VEMOINFO* v) {
  static constexpr int kBytes[2][2] = {{26, 27}, {36, 37}};
  int n = 0;
  for (int k = 0; k < 2; ++k) {
    DISINFO& d = v->pDis[k];
    UInt8 cap = s[kBytes[k][0]], fill = s[kBytes[k][1]];
    d.HanMax = UInt16((cap & 63) * 10);
    if (d.HanMax == 0 || fill == 255)
      d.DisRm = 11;
    else
      d.DisRm = UInt8(std::min(10, (fill * 100 / d.HanMax + 5) / 10));
    ++n;
    if (k == 0 && (bit(s[26], 6) || v->IcType == 0)) break;
  }
  v->CmDisNum = n;
  if (v->IcType == 0 && v->MSBoxFull) v->pDis[0].DisRm = 10;
  return n;
}

int GetPprInfo(const UInt8* s, VEMOINFO* v) {
  static constexpr int kBytes[3][3] = {{13, 12, 59}, {38, 39, 60}, {40, 41, 61}};
  int n = 0;
  for (int k = 0; k < 3; ++k) {
    PPRINFO& p = v->pPpr[k];
    UInt8 state = s[kBytes[k][0]], size = s[kBytes[k][1]], type = s[kBytes[k][2]];
    p.PprRm = bit(state, 4) ? level(state) : 11;
    if (v->IcType == 1) {
      p.PprTray = bit(state, 6);
      p.PprType = state >> 7;
    } else if (v->IcType == 0) {
      p.PprTray = 0;
      p.PprType = 0;
    } else if (v->IcType <= 7) {
      p.PprTray = bit(state, 6);
      p.PprType = type >> 4;
      p.PprQty = type & 15;
    }
    p.PprSiz = size & 127;
    ++n;
    if (bit(state, 5) || (k == 0 && v->IcType == 0)) break;
  }
  v->CmPprNum = n;
  if (v->IcType == 0 && v->MSPaperOut) v->pPpr[0].PprRm = 0;
  return n;
}

namespace {

UInt8 controllerType(UInt8 s0) {
  if (!bit(s0, 7)) return 0;
  static constexpr UInt8 kTypes[] = {1, 2, 4, 5, 6, 7};
  UInt8 code = (s0 >> 2) & 15;
  return code < 6 ? kTypes[code] : 1;
}

void version(char (&out)[8], UInt8 hi, UInt8 lo) {
  std::snprintf(out, sizeof out, "%.2f", double((hi & 15) * 256 + lo) / 100.0);
}

}  // namespace

int GetVemoStatus(std::span<UInt8> data, VEMOINFO* v, StatusMemory* saved, NICINFO* nic) {
  if (data.size() < kStatusDataRoom || !v || !saved || !nic) return 0;
  UInt8* s = data.data() + kNicInfoSize;

  // The type decides which bytes count as volatile, so it is read first.
  v->IcType = controllerType(s[0]);
  if (v->IcType == 0)
    s[0] &= 0x4B;
  else
    s[11] = 0;
  std::memset(s + 66, 0, 37);
  s[63] = 0;
  s[16] = s[17] = 0;
  s[5] &= 1;
  for (int i : {20, 21, 24, 25, 30, 31, 33, 34}) s[i] = 0;
  std::memset(s + 54, 0, 5);

  int result = 0;
  if (std::memcmp(data.data(), saved->gBackNic, kNicHeaderCompare) != 0) {
    std::memcpy(nic->NicVer, data.data(), 16);
    nic->NicStat = data[16];
    std::memcpy(nic->pad, data.data() + 17, 3);
    nic->Sendlen = be::get32(data.data() + 20);
    v->SubSendData = nic->Sendlen;
    std::memcpy(saved->gBackNic, data.data(), kNicHeaderCompare);
    result |= kDecodeHeaderChanged;
  }
  if (std::memcmp(s, saved->gBackStatus, kStatusSize) == 0) return result;
  std::memcpy(saved->gBackStatus, s, kStatusSize);
  result |= kDecodeStatusChanged;

  const bool awake = !bit(s[0], 0);
  const UInt8 t = v->IcType;
  v->IcRg = bit(s[0], 6);
  v->MainPower = bit(s[0], 0) ? (v->IcRg ? 1 : 2) : 0;
  v->MainRsltErr = awake ? bit(s[5], 0) : 0;
  v->MainReady = awake && (s[1] & 7) == 0;
  v->MainRecv = (s[1] & 6) ? (v->IcRg ? 2 : 1) : 0;
  v->MainRecvSub = s[1] & 7;
  v->MainStsBas = (awake && bit(s[0], 1) && bit(s[6], 3)) ? (s[6] & 7) : 0;
  v->MainStsErr = awake ? (s[10] & 15) : 0;
  v->MainWaitMode = (awake && s[10] == 0 && (s[1] & 0x70)) ? (v->IcRg ? 2 : 1) : 0;
  v->MainPrintWait = (awake && bit(s[1], 3) && s[10] == 0 && (s[1] >> 4) == 2) ? (v->IcRg ? 2 : 1) : 0;
  v->MainBusy = awake && bit(s[0], 1) && !bit(s[6], 3);
  v->MSPaperOut = awake ? (s[10] & 0x10) : 0;
  v->MSInkNo = awake ? bit(s[10], 5) : 0;
  v->MSMasterNo = awake ? bit(s[10], 6) : 0;
  v->MSBoxFull = awake ? bit(s[10], 7) : 0;
  v->SubPageNum = UInt16(s[7] * 256 + s[8]);
  v->SubDpiX = UInt16(s[18] * 10);
  v->SubDpiY = UInt16(s[19] * 10);

  GetDrmInfo(s, v);
  GetMasterInfo(s, v);
  GetDisInfo(s, v);
  GetPprInfo(s, v);

  if (t >= 4 && v->CmDrmNum >= 2) {
    v->MainStsDrmSec = s[62] >> 5;
    v->MainStsDrmPlat = (s[62] >> 2) & 7;
  } else {
    v->MainStsDrmSec = v->MainStsDrmPlat = 0;
  }
  v->DeMemSize = t != 0 ? s[32] : (bit(s[0], 3) ? 16 : 64);
  v->SubMemPer = std::min<UInt8>(s[2], 100);
  v->DePrintSpd = s[9] & 7;
  v->DeSrtAct = bit(s[14], 6);
  v->DeSrtPaper = (s[14] >> 4) & 3;
  v->DeSrtConn = bit(s[14], 3);
  v->DeSrtMode = s[14] & 7;
  if (t != 0) {
    v->DeTpSrtConn = bit(s[49], 5);
    v->DeTpSrtTape = v->DeTpSrtConn ? (s[49] >> 3) & 3 : 0;
    v->DeTpSrtMode = s[49] & 7;
  }
  v->DeScnDensity = (s[29] >> 4) & 7;
  v->DeScnOrg = bit(s[29], 3);
  v->DeScnMode = t != 0 ? (s[29] >> 1) & 3 : s[29] & 7;
  v->DeStplHari = bit(s[15], 4);
  v->DeStplFlg = bit(s[15], 3);
  v->DeStplMode = s[15] & 7;
  if (t != 0) {
    v->DeHldMem = UInt32(s[50] * 256 + s[51]);
    v->DeHldMemZan = UInt32(s[52] * 256 + s[53]);
  }
  version(v->VerCon, s[3], s[4]);
  version(v->VerIF, s[22], s[23]);
  v->KinoMainte = bit(s[64], 7);
  v->KinoSupply = bit(s[64], 6);
  if (t >= 4) v->KinoSNMP = bit(s[65], 7);
  return result;
}

UInt8 GetVemoplexType(char* out, const UInt8* t) {
  if (t[8] == '[') {
    bool second = t[9] == 'D' && t[10] == 'I' && t[11] == 'I';
    std::snprintf(out, 8, "QSV-%c%s", t[9], second ? "2" : "");
    return t[15];
  }
  if (std::memcmp(t + 10, "QSV-", 4) == 0 && t[14] == 'B') {
    std::snprintf(out, 8, "QSV-B");
    return t[15];
  }
  std::snprintf(out, 8, "QSV-A");
  return 0;
}

// ---- Information replies ---------------------------------------------------

namespace {

// Walks packed fields; once a field does not fit, every further read gives
// nothing and the fields keep their cleared value.
class Walk {
 public:
  Walk(const UInt8* p, std::size_t n) : p_(p), n_(n) {}
  bool ended() const { return ended_; }
  void bytes(UInt8* out, std::size_t k) {
    if (ended_ || n_ - at_ < k) {
      ended_ = true;
      return;
    }
    std::memcpy(out, p_ + at_, k);
    at_ += k;
  }
  UInt8 u8() {
    UInt8 v = 0;
    bytes(&v, 1);
    return v;
  }
  UInt16 u16() {
    UInt8 b[2] = {0, 0};
    bytes(b, 2);
    return be::get16(b);
  }
  // A text up to its NUL, cut to cap - 1 on a character boundary; a text
  // that runs to the end of the data ends the walk after it.
  void text(char* out, std::size_t cap) {
    if (ended_) return;
    const UInt8* start = p_ + at_;
    const void* nul = std::memchr(start, 0, n_ - at_);
    std::size_t len = nul ? static_cast<const UInt8*>(nul) - start : n_ - at_;
    if (out && cap) {
      std::size_t k = tb::CharCutLength(std::string_view(reinterpret_cast<const char*>(start), len), cap - 1);
      std::memcpy(out, start, k);
      out[k] = '\0';
    }
    if (!nul) {
      at_ = n_;
      ended_ = true;
      return;
    }
    at_ += len + 1;
  }

 private:
  const UInt8* p_;
  std::size_t n_;
  std::size_t at_ = 0;
  bool ended_ = false;
};

template <std::size_t N>
void textField(Walk& w, char (&out)[N]) {
  w.text(out, N);
}

int finish(const NETINFO& prev, NETINFO* net, UInt8* flags) {
  if (std::memcmp(&prev, net, sizeof prev) == 0) return 0;
  if (flags) *flags |= kInfoChanged;
  return 1;
}

int infoLevel(const char* szType) {
  UInt8 t[16] = {};
  std::memcpy(t, szType, strnlen(szType, 16));
  char model[8];
  GetVemoplexType(model, t);
  char letter = model[4];
  if (letter < 'D') return 0;
  if (letter == 'D') return model[5] == '2' ? 5 : 4;
  return 5;
}

}  // namespace

int GetPlum7Info(const UInt8* data, std::size_t len, NETINFO* net, UInt8* flags) {
  if (!net) return 0;
  NETINFO prev = *net;
  std::memset(net, 0, sizeof *net);
  if (data) {
    if (len >= 6) std::memcpy(net->pMac, data, 6);
    if (len >= 10) std::memcpy(net->pIp, data + 6, 4);
    if (len >= 14) std::memcpy(net->pSubnet, data + 10, 4);
    if (len > 62) {
      Walk w(data + 62, len - 62);
      textField(w, net->szApple);
    }
  }
  return finish(prev, net, flags);
}

int GetIrisInfo(const UInt8* data, std::size_t len, NETINFO* net, UInt8* flags) {
  if (!net) return 0;
  NETINFO prev = *net;
  std::memset(net, 0, sizeof *net);
  Walk w(data, data ? len : 0);
  textField(w, net->szType);
  w.bytes(net->pMac, 6);
  net->bDhcp = w.u8();
  for (UInt8* a : {net->pIp, net->pSubnet, net->pGateway, net->bDns1st, net->bDns2nd}) w.bytes(a, 4);
  w.u8();  // not used
  textField(w, net->szApple);
  textField(w, net->szZone);
  net->bNetbeui = w.u8();
  textField(w, net->szMachine);
  textField(w, net->szGroup);
  textField(w, net->szComment);
  textField(w, net->szTrap);
  w.bytes(net->pTrap, 4);
  textField(w, net->szContact);
  textField(w, net->szName);
  textField(w, net->szLocation);
  net->bTtl = w.u8();
  net->bAuthen = w.u8();
  w.text(nullptr, 0);  // the community name is not kept
  int lvl = infoLevel(net->szType);
  if (lvl > 3) {
    net->bWireless = w.u8();
    net->bWireMode = w.u8();
    net->wLinkSpeed = w.u16();
    textField(w, net->szSsid);
    w.bytes(net->bBssid, 6);
    net->bChannel = w.u8();
  }
  if (lvl > 4) {
    net->bTcpExt = 1;
    w.bytes(net->bWins1st, 4);
    w.bytes(net->bWins2nd, 4);
    textField(w, net->szScopeId);
    net->bSmtp = w.u8();
    net->bSmtpCode = w.u8();
    net->bMaintenance = w.u8();
    textField(w, net->szSmtpSvNameM);
    textField(w, net->szFromAddrM);
    textField(w, net->szToAddr1M);
    textField(w, net->szToAddr2M);
    net->wPortNoM = w.u16();
    net->bSupply = w.u8();
    textField(w, net->szSmtpSvNameS);
    textField(w, net->szFromAddrS);
    textField(w, net->szToAddr1S);
    textField(w, net->szToAddr2S);
    net->wPortNoS = w.u16();
  }
  static constexpr UInt8 kZero[4] = {};
  net->bDns = (std::memcmp(net->bDns1st, kZero, 4) != 0 || std::memcmp(net->bDns2nd, kZero, 4) != 0) ? 1 : 0;
  return finish(prev, net, flags);
}

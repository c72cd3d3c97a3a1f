// Reply decoding: replies built by the emulator's builders (written from
// the box's side) decoded as the poll step decodes them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "Monitor/ReplyDecode.h"
#include "Monitor/StatusDisplay.h"
#include "pboxemu/monitor_replies.h"

using pboxemu::PrinterState;
using pboxemu::PrinterStatus;
using pboxemu::StatusForState;

namespace {

struct Decoded {
  short kind = 0;
  int result = 0;
  UInt16 dataLen = 0;
};

struct Window {
  VEMOINFO info{};
  StatusMemory saved{};
  NICINFO nic{};

  Decoded Feed(const std::vector<UInt8>& reply) {
    UInt8 buf[1024] = {};
    std::memcpy(buf, reply.data(), std::min<std::size_t>(reply.size(), sizeof buf));
    Decoded d;
    d.kind = ChkRecvCmd(buf, std::min<std::size_t>(reply.size(), sizeof buf), &d.dataLen);
    if (d.kind != kReplyPlum7Stat && d.kind != kReplyQsvDStat) return d;
    std::span<UInt8> data(buf + 13, sizeof buf - 13);
    EXPECT_EQ(Set_Macintosh_Memory(data), 1);
    if (d.kind == kReplyPlum7Stat) {
      EXPECT_EQ(Convert_Status(data), 1);
    }
    d.result = GetVemoStatus(data, &info, &saved, &nic);
    return d;
  }
};

PrinterStatus Base(int icType) { return StatusForState(PrinterState::Ready, icType); }

}  // namespace

// Each field rule: status bytes in, decoded fields out, through both reply
// forms (the word form must give the same record as the byte form).
TEST(Decode, FieldRulesThroughBothReplyForms) {
  struct Case {
    const char* name;
    int icType;
    std::function<void(std::array<UInt8, 256>&)> set;
    std::function<void(const VEMOINFO&)> check;
  };
  const Case cases[] = {
      {"ready", 2, [](auto&) {},
       [](const VEMOINFO& v) {
         EXPECT_EQ(v.IcType, 2);
         EXPECT_EQ(v.MainReady, 1);
         EXPECT_EQ(v.MainPower, 0);
         EXPECT_EQ(v.SubPageNum, 12);
         EXPECT_EQ(v.SubDpiX, 600);
         EXPECT_STREQ(v.VerCon, "2.60");
         EXPECT_STREQ(v.VerIF, "1.20");
         EXPECT_EQ(v.DeMemSize, 64);
         EXPECT_EQ(v.DePrintSpd, 3);
       }},
      {"asleep, no reg", 2,
       [](auto& s) {
         s[0] |= 1;
         s[10] = 0x1F;
       },
       [](const VEMOINFO& v) {
         EXPECT_EQ(v.MainPower, 2);
         EXPECT_EQ(v.MainReady, 0);
         EXPECT_EQ(v.MainStsErr, 0);  // not awake: error bits not read
         EXPECT_EQ(v.MSPaperOut, 0);
       }},
      {"asleep, reg", 2, [](auto& s) { s[0] |= 0x41; }, [](const VEMOINFO& v) { EXPECT_EQ(v.MainPower, 1); }},
      {"receiving", 2, [](auto& s) { s[1] = 2; },
       [](const VEMOINFO& v) {
         EXPECT_EQ(v.MainRecv, 1);
         EXPECT_EQ(v.MainRecvSub, 2);
         EXPECT_EQ(v.MainReady, 0);
       }},
      {"basic status", 2,
       [](auto& s) {
         s[0] |= 2;
         s[6] = 0x08 | 3;
       },
       [](const VEMOINFO& v) {
         EXPECT_EQ(v.MainStsBas, 3);
         EXPECT_EQ(v.MainBusy, 0);
       }},
      {"busy", 2,
       [](auto& s) {
         s[0] |= 2;
         s[6] = 3;
       },
       [](const VEMOINFO& v) {
         EXPECT_EQ(v.MainStsBas, 0);
         EXPECT_EQ(v.MainBusy, 1);
       }},
      {"supplies out", 2, [](auto& s) { s[10] = 0xF0 | 4; },
       [](const VEMOINFO& v) {
         EXPECT_EQ(v.MainStsErr, 4);
         EXPECT_EQ(v.MSPaperOut, 16);
         EXPECT_EQ(v.MSInkNo, 1);
         EXPECT_EQ(v.MSMasterNo, 1);
         EXPECT_EQ(v.MSBoxFull, 1);
       }},
      {"wait modes", 2, [](auto& s) { s[1] = 0x28; },
       [](const VEMOINFO& v) {
         EXPECT_EQ(v.MainWaitMode, 1);
         EXPECT_EQ(v.MainPrintWait, 1);
       }},
      {"memory capped", 2, [](auto& s) { s[2] = 150; }, [](const VEMOINFO& v) { EXPECT_EQ(v.SubMemPer, 100); }},
      {"two drums, plate", 4,
       [](auto& s) {
         s[45] = 2;
         s[43] = 0x1F;
         s[48] = 0xFF;
         s[35] = 5;
         s[62] = 0xA4;
       },
       [](const VEMOINFO& v) {
         EXPECT_EQ(v.CmDrmNum, 2);
         EXPECT_EQ(v.pDrm[1].InkRm, 11);
         EXPECT_EQ(v.pDrm[1].DrmInfo, 1);
         EXPECT_EQ(v.pDrm[1].DrmCol, 127);
         EXPECT_EQ(v.pDrm[1].DrmDens, 5);
         EXPECT_EQ(v.MainStsDrmSec, 5);
         EXPECT_EQ(v.MainStsDrmPlat, 1);
       }},
      {"old layout", 0,
       [](auto& s) {
         s[0] = 0;
         s[28] = (2 << 2) | 2;
         s[11] = (3 << 3) | 5;
         s[10] = 0x80 | 0x10;
       },
       [](const VEMOINFO& v) {
         EXPECT_EQ(v.IcType, 0);
         EXPECT_EQ(v.DeMemSize, 64);
         EXPECT_EQ(v.pDrm[0].InkRm, 1);
         EXPECT_EQ(v.pDrm[0].DrmSiz, 5);
         EXPECT_EQ(v.pDrm[0].DrmCol, 3);
         EXPECT_EQ(v.CmMasterRm, 1);
         EXPECT_EQ(v.CmDisNum, 1);
         EXPECT_EQ(v.pDis[0].DisRm, 10);  // box full
         EXPECT_EQ(v.CmPprNum, 1);
         EXPECT_EQ(v.pPpr[0].PprRm, 0);  // paper out
       }},
      {"boxes and trays", 2,
       [](auto& s) {
         s[26] = 20;
         s[27] = 255;
         s[36] = 10;
         s[37] = 51;
         s[13] = 0x10 | 0x40 | 3;
         s[59] = 0x52;
         s[38] = 0x20 | 0x0F;
         s[39] = 0x84;
       },
       [](const VEMOINFO& v) {
         EXPECT_EQ(v.CmDisNum, 2);
         EXPECT_EQ(v.pDis[0].HanMax, 200);
         EXPECT_EQ(v.pDis[0].DisRm, 11);
         EXPECT_EQ(v.pDis[1].DisRm, 5);  // (51 * 100 / 100 + 5) / 10
         EXPECT_EQ(v.CmPprNum, 2);
         EXPECT_EQ(v.pPpr[0].PprRm, 3);
         EXPECT_EQ(v.pPpr[0].PprTray, 1);
         EXPECT_EQ(v.pPpr[0].PprType, 5);
         EXPECT_EQ(v.pPpr[0].PprQty, 2);
         EXPECT_EQ(v.pPpr[1].PprRm, 11);  // level bit clear
         EXPECT_EQ(v.pPpr[1].PprSiz, 4);
       }},
      {"sorter, stapler, tape, scan", 4,
       [](auto& s) {
         s[14] = 0x40 | 0x20 | 0x08 | 5;
         s[15] = 0x18 | 2;
         s[49] = 0x20 | 0x10 | 3;
         s[29] = 0x5E;
       },
       [](const VEMOINFO& v) {
         EXPECT_EQ(v.DeSrtAct, 1);
         EXPECT_EQ(v.DeSrtPaper, 2);
         EXPECT_EQ(v.DeSrtConn, 1);
         EXPECT_EQ(v.DeSrtMode, 5);
         EXPECT_EQ(v.DeStplHari, 1);
         EXPECT_EQ(v.DeStplFlg, 1);
         EXPECT_EQ(v.DeStplMode, 2);
         EXPECT_EQ(v.DeTpSrtConn, 1);
         EXPECT_EQ(v.DeTpSrtTape, 2);
         EXPECT_EQ(v.DeTpSrtMode, 3);
         EXPECT_EQ(v.DeScnDensity, 5);
         EXPECT_EQ(v.DeScnOrg, 1);
         EXPECT_EQ(v.DeScnMode, 3);
       }},
      {"held memory, functions", 4,
       [](auto& s) {
         s[50] = 1;
         s[51] = 2;
         s[52] = 0;
         s[53] = 9;
         s[64] = 0xC0;
         s[65] = 0x80;
       },
       [](const VEMOINFO& v) {
         EXPECT_EQ(v.DeHldMem, 258u);
         EXPECT_EQ(v.DeHldMemZan, 9u);
         EXPECT_EQ(v.KinoMainte, 1);
         EXPECT_EQ(v.KinoSupply, 1);
         EXPECT_EQ(v.KinoSNMP, 1);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrinterStatus st = Base(c.icType);
    c.set(st.s);
    for (bool plum7 : {false, true}) {
      SCOPED_TRACE(plum7 ? "PLUM7" : "QSV-D");
      Window w;
      Decoded d = w.Feed(pboxemu::StatusReply(plum7, st));
      EXPECT_EQ(d.kind, plum7 ? kReplyPlum7Stat : kReplyQsvDStat);
      EXPECT_EQ(d.dataLen, plum7 ? 533 : 277);
      EXPECT_EQ(d.result, kDecodeStatusChanged | kDecodeHeaderChanged);
      c.check(w.info);
    }
  }
}

TEST(Decode, ControllerTypeCodes) {
  const std::pair<UInt8, int> cases[] = {{0x00, 0}, {0x80, 1}, {0x84, 2}, {0x88, 4}, {0x8C, 5},
                                         {0x90, 6}, {0x94, 7}, {0x98, 1}, {0xBC, 1}};
  for (auto [s0, type] : cases) {
    PrinterStatus st = Base(2);
    st.s[0] = s0;
    Window w;
    w.Feed(pboxemu::StatusReply(false, st));
    EXPECT_EQ(w.info.IcType, type) << int(s0);
  }
}

TEST(Decode, VolatileBytesAndChangeBits) {
  PrinterStatus st = Base(2);
  Window w;
  EXPECT_EQ(w.Feed(pboxemu::StatusReply(false, st)).result, 0x11);
  VEMOINFO before = w.info;
  EXPECT_EQ(w.Feed(pboxemu::StatusReply(false, st)).result, 0);
  // Bytes that move without a change of state.
  for (int i : {11, 16, 17, 20, 21, 24, 25, 30, 31, 33, 34, 54, 58, 63, 66, 80, 102}) st.s[i] ^= 0x5A;
  st.s[5] |= 0xFE;
  EXPECT_EQ(w.Feed(pboxemu::StatusReply(false, st)).result, 0);
  EXPECT_EQ(std::memcmp(&before, &w.info, sizeof before), 0);
  // A new send-data size is a header change only.
  st.sendLen = 4096;
  EXPECT_EQ(w.Feed(pboxemu::StatusReply(false, st)).result, kDecodeHeaderChanged);
  EXPECT_EQ(w.info.SubSendData, 4096u);
  st.s[103] = 1;
  EXPECT_EQ(w.Feed(pboxemu::StatusReply(false, st)).result, kDecodeStatusChanged);
  // In the oldest layout S0's other bits are the volatile ones and S11 counts.
  PrinterStatus old = Base(0);
  Window w0;
  w0.Feed(pboxemu::StatusReply(false, old));
  old.s[0] ^= 0x34;
  EXPECT_EQ(w0.Feed(pboxemu::StatusReply(false, old)).result, 0);
  old.s[11] ^= 1;
  EXPECT_EQ(w0.Feed(pboxemu::StatusReply(false, old)).result, kDecodeStatusChanged);
}

// Lengths that lie, replies cut short, unknown arguments: never a read
// past what arrived.
TEST(Decode, FramingRefusesAndClampsLengths) {
  std::vector<UInt8> good = pboxemu::StatusReply(false, Base(2));
  struct Case {
    const char* name;
    std::vector<UInt8> reply;
    std::size_t received;
    short kind;
    UInt16 len;
  };
  auto withLength = [&](UInt16 n) {
    auto r = good;
    be::put16(r.data(), n);
    return r;
  };
  const Case cases[] = {
      {"exact", good, good.size(), kReplyQsvDStat, 277},
      {"length beyond what came", withLength(4000), good.size(), kReplyQsvDStat, 277},
      {"cut short", good, 100, kReplyQsvDStat, 87},
      {"length inside the header", withLength(5), good.size(), kReplyUnknown, 0},
      {"header only", withLength(13), good.size(), kReplyQsvDStat, 0},
      {"argument cut", good, 8, kReplyUnknown, 0},
      {"unknown argument", {0, 8, 'G', 'A', 'R', 'B', 0, 0}, 8, kReplyUnknown, 0},
      {"iris", pboxemu::IrisInfoReply({}), 12, kReplyIrisInfo, 0},
  };
  for (const Case& c : cases) {
    std::vector<UInt8> exact(c.reply.begin(), c.reply.begin() + std::min(c.received, c.reply.size()));
    UInt16 len = 0;
    EXPECT_EQ(ChkRecvCmd(exact.data(), exact.size(), &len), c.kind) << c.name;
    if (c.kind) {
      EXPECT_EQ(len, c.len) << c.name;
    }
  }
  std::vector<UInt8> small(100);
  EXPECT_EQ(Set_Macintosh_Memory(small), 0);
  EXPECT_EQ(Convert_Status(small), 0);
}

// Every key of the display table, each from the status bytes that select
// it, through the decoder and the display fill as a window runs them.
TEST(Decode, EveryDisplayKeyFromItsStatusBytes) {
  using S = std::array<UInt8, 256>;
  struct Case {
    const char* name;
    int icType;
    std::function<void(S&, UInt8&)> set;  // the status bytes and the controller state
    const char* key;                      // "" where no rule sets the keys
    SInt16 icon, err;
    UInt16 pop;
  };
  // Bits set on the ready printer's bytes.
  auto on = [](std::initializer_list<std::pair<int, UInt8>> bits) {
    return [bits = std::vector(bits)](S& s, UInt8&) {
      for (auto [at, v] : bits) s[std::size_t(at)] |= v;
    };
  };
  auto error = [&](UInt8 code) { return on({{10, code}}); };
  auto basic = [](UInt8 code, UInt8 s45 = 0x40 | 2, UInt8 s62 = 0) {
    return [=](S& s, UInt8&) {
      s[0] |= 0x02;
      s[6] = 0x08 | code;
      s[45] = s45;  // bit 6 clear: two drums
      s[62] = s62;
    };
  };
  const Case cases[] = {
      {"result error", 2, on({{5, 1}}), "23", 151, 273, kPopCommError},
      {"controller error", 2, [](S&, UInt8& nic) { nic = 255; }, "22", 151, 272, kPopCommError},
      {"asleep", 2, on({{0, 0x01}}), "05", 151, 0, kPopSleep},
      {"on", 2, on({{0, 0x41}}), "06", 151, 0, kPopPower},
      {"error 1", 2, error(1), "17", 151, 267, kPopError},
      {"error 2", 2, error(2), "03", 151, 253, kPopError},
      {"error 3", 2, error(3), "18", 151, 268, kPopError},
      {"error 4", 2, error(4), "19", 151, 269, kPopError},
      {"error 5", 2, error(5), "20", 151, 270, kPopError},
      {"error 6", 2, error(6), "21", 151, 271, kPopError},
      {"error 7", 2, error(7), "25", 151, 275, kPopError},
      {"error 8", 2, error(8), "04", 151, 254, kPopError},
      {"error 9 sets no keys", 2, error(9), "", 0, 0, kPopError},
      {"busy", 2, on({{0, 0x02}}), "26", 151, 276, kPopBusyError},
      {"paper out", 2, error(0x10), "02", 151, 252, kPopSupply},
      {"box full over paper out", 2, error(0x90), "14", 151, 264, kPopSupply},
      {"master out over box full", 2, error(0xC0), "15", 151, 265, kPopSupply},
      {"ink out over master out", 2, error(0x60), "16", 151, 266, kPopSupply},
      {"basic 1", 2, basic(1), "09", 153, 0, kPopBusy},
      {"basic 2", 2, basic(2), "10", 157, 0, kPopBusy},
      {"basic 3", 2, basic(3), "11", 158, 0, kPopBusy},
      {"basic 4", 2, basic(4), "27", 162, 0, kPopBusy},
      {"basic 1, plate drum", 4, basic(1, 2, 1 << 2), "09", 154, 0, kPopBusy},
      {"basic 1, other drum", 4, basic(1, 2), "09", 155, 0, kPopBusy},
      {"basic 1, two drums, older type", 2, basic(1, 2), "09", 156, 0, kPopBusy},
      {"basic 3, second drum", 5, basic(3, 2, 1 << 5), "11", 159, 0, kPopBusy},
      {"basic 3, other drum", 5, basic(3, 2), "11", 160, 0, kPopBusy},
      {"basic 3, two drums, older type", 1, basic(3, 2), "11", 161, 0, kPopBusy},
      {"waiting", 2, on({{1, 0x10}}), "12", 151, 262, kPopWait},
      // A print wait is a wait as well: the later row overrides.
      {"waiting to print", 2, on({{1, 0x28}}), "13", 151, 263, kPopWait},
      {"waiting, registered", 2, on({{0, 0x40}, {1, 0x10}}), "28", 151, 278, kPopWait},
      {"waiting to print, registered", 2, on({{0, 0x40}, {1, 0x28}}), "28", 151, 278, kPopWait},
      {"ready", 2, on({}), "01", 151, 0, kPopReady},
      {"receiving", 2, on({{1, 0x02}}), "07", 152, 0, kPopBusy},
      {"receiving, registered", 2, on({{0, 0x40}, {1, 0x02}}), "08", 152, 0, kPopBusy},
      {"nothing applies", 2, on({{1, 0x01}}), "", 0, 0, 77},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrinterStatus st = Base(c.icType);
    c.set(st.s, st.nicStat);
    Window w;
    w.info.PopStat = 77;
    const int result = w.Feed(pboxemu::StatusReply(false, st)).result;
    VEMOSTATUSSET set{};
    Disp_Main_Stat(&w.info, &w.nic, &set, result, 0);
    const std::string key(reinterpret_cast<const char*>(set.mesKey + 1), set.mesKey[0]);
    const std::string comment(reinterpret_cast<const char*>(set.comKey + 1), set.comKey[0]);
    EXPECT_EQ(key, *c.key ? std::string("MESSAGE") + c.key : "");
    EXPECT_EQ(comment, *c.key ? std::string("COMMENT") + c.key : "");
    EXPECT_EQ(set.IconID, c.icon);
    EXPECT_EQ(set.ErrID, c.err);
    EXPECT_EQ(w.info.PopStat, c.pop);
  }
}

TEST(Decode, SendBarScales) {
  struct Case {
    UInt32 bytes;
    const char* size;
    SInt32 bar;
    const char* scale;
  };
  const Case cases[] = {
      {0, "0.00 Byte", 0, "    1 MB"},         {1000, "1000.00 Byte", 0, "    1 MB"},
      {524288, "512.00 KB", 50, "    1 MB"},   {1500000, "1.43 MB", 14, "   10 MB"},
      {60u << 20, "60.00 MB", 60, "  100 MB"}, {400u << 20, "400.00 MB", 80, "  500 MB"},
  };
  for (const Case& c : cases) {
    VEMOINFO v{};
    v.SubSendData = c.bytes;
    UInt8 size[16], scale[16];
    SInt32 bar = -1;
    GetSendBar(&v, size, &bar, scale);
    EXPECT_STREQ(reinterpret_cast<char*>(size + 1), c.size);
    EXPECT_EQ(bar, c.bar) << c.bytes;
    EXPECT_STREQ(reinterpret_cast<char*>(scale + 1), c.scale);
  }
  VEMOINFO big{};
  big.SubSendData = 600u << 20;
  UInt8 size[16], scale[16] = {3, 'o', 'l', 'd', 0};
  SInt32 bar = 42;
  GetSendBar(&big, size, &bar, scale);
  EXPECT_EQ(bar, 42);
  EXPECT_STREQ(reinterpret_cast<char*>(scale + 1), "old");
}

TEST(Decode, ErrorViewsKeepOrBlankValues) {
  for (int power : {0, 1, 2, 3}) {
    VEMOINFO v{};
    v.SubMemPer = 40;
    v.SubPageNum = 7;
    v.CmDrmNum = 1;
    v.pDrm[0].InkRm = 5;
    v.SubSendData = 99;
    VEMOSTATUSSET set{};
    DispErrStatus(&v, &set, kErrComm, power);
    bool holds = power == 1 || power == 3;
    EXPECT_EQ(v.PopStat, kPopCommError);
    EXPECT_STREQ(reinterpret_cast<char*>(set.mesKey + 1), "MESSAGE24");
    EXPECT_EQ(set.ErrID, 274);
    EXPECT_EQ(set.memory, holds ? 40 : 0);
    EXPECT_EQ(v.SubPageNum, holds ? 7 : 65535);
    EXPECT_EQ(v.CmDrmNum, holds ? 1 : 0);
    EXPECT_EQ(v.MainPower, 2);
  }
}

namespace {

pboxemu::NetDescription Net(const char* type) {
  pboxemu::NetDescription n;
  std::memcpy(n.type.data(), type, std::strlen(type));
  n.mac = {0, 0x80, 0x92, 1, 2, 3};
  n.ip = 0x7F000005;
  n.subnet = 0xFFFFFF00;
  n.dns2 = 0x0A000001;
  n.apple = "Office";
  n.zone = "Zone A";
  n.machine = "PBOX";
  n.contact = "Admin";
  n.authen = 2;
  n.community = "public";
  n.wireless = 1;
  n.linkSpeed = 54;
  n.ssid = "LAN";
  n.channel = 11;
  n.scope = "scope";
  n.smtp = 1;
  n.svNameS = "mail.example";
  n.portS = 25;
  return n;
}

}  // namespace

TEST(Decode, InformationFormsAtEachLevel) {
  struct Case {
    const char* type;
    int level;
  };
  for (Case c : {Case{"VEMOPLEX[C]", 0}, Case{"VEMOPLEX[D]", 4}, Case{"VEMOPLEX[DII]", 5}}) {
    SCOPED_TRACE(c.type);
    std::vector<UInt8> reply = pboxemu::IrisInfoReply(Net(c.type));
    UInt16 len = 0;
    ASSERT_EQ(ChkRecvCmd(reply.data(), reply.size(), &len), kReplyIrisInfo);
    NETINFO net{};
    UInt8 flags = 0;
    EXPECT_EQ(GetIrisInfo(reply.data() + 12, len, &net, &flags), 1);
    EXPECT_EQ(flags, kInfoChanged);
    EXPECT_STREQ(net.szType, c.type);
    EXPECT_EQ(net.pIp[0], 127);
    EXPECT_EQ(net.pIp[3], 5);
    EXPECT_STREQ(net.szZone, "Zone A");
    EXPECT_STREQ(net.szContact, "Admin");
    EXPECT_EQ(net.bAuthen, 2);
    EXPECT_EQ(net.bDns, 1);
    EXPECT_EQ(net.bWireless, c.level >= 4 ? 1 : 0);
    EXPECT_EQ(net.wLinkSpeed, c.level >= 4 ? 54 : 0);
    EXPECT_EQ(net.bChannel, c.level >= 4 ? 11 : 0);
    EXPECT_EQ(net.bTcpExt, c.level >= 5 ? 1 : 0);
    EXPECT_STREQ(net.szScopeId, c.level >= 5 ? "scope" : "");
    EXPECT_STREQ(net.szSmtpSvNameS, c.level >= 5 ? "mail.example" : "");
    EXPECT_EQ(net.wPortNoS, c.level >= 5 ? 25 : 0);
    // The same reply again changes nothing.
    flags = 0;
    EXPECT_EQ(GetIrisInfo(reply.data() + 12, len, &net, &flags), 0);
    EXPECT_EQ(flags, 0);
  }
  std::vector<UInt8> p7 = pboxemu::Plum7InfoReply(Net("VEMOPLEX-OLD"));
  UInt16 len = 0;
  ASSERT_EQ(ChkRecvCmd(p7.data(), p7.size(), &len), kReplyPlum7Info);
  EXPECT_EQ(len, 792);
  NETINFO net{};
  EXPECT_EQ(GetPlum7Info(p7.data() + 13, len, &net, nullptr), 1);
  EXPECT_EQ(net.pMac[1], 0x80);
  EXPECT_EQ(net.pSubnet[2], 0xFF);
  EXPECT_STREQ(net.szApple, "Office");
  EXPECT_STREQ(net.szZone, "");
}

// Hostile information replies: texts without their NUL are cut to their
// fields, a walk cut short leaves the rest cleared.
TEST(Decode, InformationFaultsStayInBounds) {
  pboxemu::StatusFaultSpec unterminated{pboxemu::StatusFault::Unterminated, 0};
  std::vector<UInt8> r = pboxemu::IrisInfoReply(Net("VEMOPLEX[DII]"), unterminated);
  NETINFO net{};
  GetIrisInfo(r.data() + 12, r.size() - 12, &net, nullptr);
  EXPECT_EQ(std::strlen(net.szApple), 32u);
  EXPECT_EQ(std::strlen(net.szZone), 0u);  // the walk ended in the first long text
  EXPECT_EQ(net.bWireless, 0);

  const UInt32 full = UInt32(pboxemu::IrisInfoReply(Net("VEMOPLEX[DII]")).size() - 12);
  for (UInt32 cut : {0u, 5u, 20u, 40u, 70u, full - 1}) {
    std::vector<UInt8> t = pboxemu::IrisInfoReply(Net("VEMOPLEX[DII]"), {pboxemu::StatusFault::TruncatedIris, cut});
    UInt16 len = 0;
    ASSERT_EQ(ChkRecvCmd(t.data(), t.size(), &len), kReplyIrisInfo);
    // Only the bytes that came are handed on, as a copy of their own.
    std::vector<UInt8> data(t.begin() + 12, t.begin() + 12 + len);
    NETINFO n{};
    GetIrisInfo(data.data(), data.size(), &n, nullptr);
    EXPECT_EQ(n.wPortNoS, 0) << cut;
  }
  std::vector<UInt8> p7 = pboxemu::Plum7InfoReply(Net("X"), unterminated);
  NETINFO p{};
  GetPlum7Info(p7.data() + 13, p7.size() - 13, &p, nullptr);
  EXPECT_EQ(std::strlen(p.szApple), 32u);
  GetPlum7Info(p7.data() + 13, 8, &p, nullptr);
  EXPECT_EQ(p.pIp[0], 0);
}

TEST(Decode, ModelTexts) {
  struct Case {
    const char* type;
    const char* model;
  };
  const Case cases[] = {{"VEMOPLEX[C]", "QSV-C"}, {"VEMOPLEX[DII]", "QSV-D2"},  {"VEMOPLEX[D]", "QSV-D"},
                        {"VEMOPLEX[E]", "QSV-E"}, {"VEMOPLEX  QSV-B", "QSV-B"}, {"VEMOPLEX-OLD", "QSV-A"}};
  for (const Case& c : cases) {
    UInt8 t[16] = {};
    std::memcpy(t, c.type, std::strlen(c.type));
    t[15] = 0x50;
    char out[8];
    UInt8 sub = GetVemoplexType(out, t);
    EXPECT_STREQ(out, c.model);
    EXPECT_EQ(sub, std::strcmp(c.model, "QSV-A") == 0 ? 0 : 0x50);
  }
}

// The print-box table: the model filter, entries from replies, a full table,
// AppleTalk and TCP/IP finds of one box, and the packed entry's bytes.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "OT/JCPPacket.h"
#include "OT/PBoxTable.h"
#include "test_support.h"
#include "toolbox/resources.h"

namespace {

jcp_reply makeReply(const char* type, std::array<UInt8, 6> mac, UInt32 ip = 0x7F000001, UInt16 status = 0) {
  jcp_reply r{};
  r.jcpr_chk = 2;
  r.jcpr_rule = 0x9506;
  std::memcpy(r.jcpr_machine_name, "BOX", 3);
  std::memcpy(r.jcpr_machine_type, type, strnlen(type, 16));
  r.jcpr_netno = 0x00120034;
  std::memcpy(r.jcpr_nodeaddr, mac.data(), 6);
  r.jcpr_socket = 19541;
  r.jcpr_ip_addr = ip;
  r.jcpr_status = status;
  return r;
}

PBOXEntityName entity(const char* obj, const char* type, const char* zone) {
  PBOXEntityName e{};
  auto set = [](PBOXStr32Field f, const char* s) {
    f[0] = UInt8(std::strlen(s));
    std::memcpy(f + 1, s, f[0]);
  };
  set(e.objStr, obj);
  set(e.typeStr, type);
  set(e.zoneStr, zone);
  return e;
}

class PBoxTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NameChkData = {};
    InitPBOXtable(table.data(), short(table.size()));
  }
  void TearDown() override { NameChkData = {}; }
  int inUse() const {
    int n = 0;
    for (const auto& e : table) n += e.pbi_inuse ? 1 : 0;
    return n;
  }
  std::vector<PBOXinfo> table = std::vector<PBOXinfo>(128);
};

TEST_F(PBoxTableTest, ModelFilter) {
  struct Case {
    UInt8 chk;
    SInt16 cnt;
    const char* type;
    short expect;
  } cases[] = {
      {0, 0, "OTHERBOX", 1},          {2, 0, "OTHERBOX", 1},         {1, 0, "VEMOPLEX[C]", 0},
      {1, 1, "VEMOPLEX[C]", 1},       {1, 3, "VEMOPLEX  QSV-B", 1}, {1, 1, "VEMOPLE", 0},
      {1, 1, "vemoplex[C]", 0},       {1, -1, "VEMOPLEX", 0},
  };
  for (const Case& c : cases) {
    NameChkData = {c.chk, 0, c.cnt, 0};
    UInt8 type[16] = {};
    std::memcpy(type, c.type, std::strlen(c.type));
    EXPECT_EQ(Chk_Active_Machine_Name(type), c.expect) << c.type << " chk " << int(c.chk) << " cnt " << c.cnt;
    jcp_reply r = makeReply(c.type, {1, 2, 3, 4, 5, 6});
    InitPBOXtable(table.data(), 128);
    EXPECT_EQ(UDPRegisterPBOX(table.data(), 128, &r, 2), c.expect);
  }
}

TEST(PBoxTable, NameCheckRecordAndMissingResource) {
  const UInt8 rec[6] = {1, 0, 0x00, 0x02, 0x00, 0x81};
  ACTIVE_MACHINE_NAME m{};
  UnpackNameCheck(rec, m);
  EXPECT_EQ(m.name_chk, 1);
  EXPECT_EQ(m.name_cnt, 2);
  EXPECT_EQ(m.str_res_id, 0x81);
  UnpackNameCheck(std::span<const UInt8>(rec, 3), m);  // cut short: the rest reads 0
  EXPECT_EQ(m.name_cnt, 0);
  EXPECT_EQ(m.str_res_id, 0);
  // No resource file open, so no 'SPPT' 128: the filter is off.
  tb::ResetResources();
  NameChkData = {1, 0, 1, 0};
  Get_NameCheck_Info();
  EXPECT_EQ(NameChkData.name_chk, 0);
  EXPECT_EQ(NameChkHandle, nullptr);
  EXPECT_EQ(Chk_Active_Machine_Name(reinterpret_cast<const UInt8*>("ANYTHING-AT-ALL!")), 1);

  // The program's resources hold the filter.
  testsupport::TempDir dir;
  ASSERT_GT(testsupport::OpenResourcesAsApplication(
                dir / "App.rsrc", {testsupport::Resource('SPPT', 128, std::vector<UInt8>(rec, rec + 6))}),
            0);
  Get_NameCheck_Info();
  EXPECT_NE(NameChkHandle, nullptr);
  EXPECT_EQ(NameChkData.name_chk, 1);
  EXPECT_EQ(NameChkData.name_cnt, 2);
  EXPECT_EQ(Chk_Active_Machine_Name(reinterpret_cast<const UInt8*>("ANYTHING-AT-ALL!")), 0);
  EXPECT_EQ(Chk_Active_Machine_Name(reinterpret_cast<const UInt8*>("VEMOPLEX[C]\0\0\0\0\0")), 1);
  tb::ResetResources();
  NameChkData = {};
}

TEST(PBoxTable, HashAddsTypeBytesSignedAndAddressBytesUnsigned) {
  UInt8 type[16] = {};
  UInt8 mac[6] = {};
  EXPECT_EQ(GetPBOXHash(type, mac), 0);
  type[0] = 0x80;  // -128
  EXPECT_EQ(GetPBOXHash(type, mac), UInt16(-128));
  mac[0] = 0x80;  // +128
  EXPECT_EQ(GetPBOXHash(type, mac), 0);
  std::memset(type, 'A', 16);
  std::memset(mac, 0xFF, 6);
  EXPECT_EQ(GetPBOXHash(type, mac), UInt16(16 * 65 + 6 * 255));
}

TEST_F(PBoxTableTest, EqualHashDifferentAddressGivesTwoEntries) {
  // Type bytes shifted against address bytes keep the sum.
  jcp_reply a = makeReply("VEMOPLEX[C]", {0, 0, 0, 0, 0, 2});
  jcp_reply b = makeReply("VEMOPLEX[D]", {0, 0, 0, 0, 0, 1});
  ASSERT_EQ(GetPBOXHash(a.jcpr_machine_type, a.jcpr_nodeaddr), GetPBOXHash(b.jcpr_machine_type, b.jcpr_nodeaddr));
  EXPECT_EQ(UDPRegisterPBOX(table.data(), 128, &a, 2), 1);
  EXPECT_EQ(UDPRegisterPBOX(table.data(), 128, &b, 2), 1);
  EXPECT_EQ(inUse(), 2);
  // The same box again is refused and left as it was.
  jcp_reply a2 = makeReply("VEMOPLEX[C]", {0, 0, 0, 0, 0, 2}, 0x7F000009, 7);
  EXPECT_EQ(UDPRegisterPBOX(table.data(), 128, &a2, 2), 0);
  EXPECT_EQ(table[0].pbi_status, 0);
  EXPECT_EQ(table[0].pbi_ip_addr, 0x7F000001u);
}

TEST_F(PBoxTableTest, EntryFieldsFromTheReply) {
  jcp_reply r = makeReply("VEMOPLEX[C]", {0, 0x80, 0x92, 1, 2, 3}, 0x7F010203, 5);
  r.jcpr_hopcount = 3;
  PBOXEntityName e = entity("obj", "CTRLJCP1", "zone");
  ASSERT_EQ(RegisterPBOX(table.data(), 128, &r, &e, PBOXAddrBlock{0x1234, 7, 129}, 3), 1);
  const PBOXinfo& p = table[0];
  EXPECT_EQ(p.pbi_inuse, 1);
  EXPECT_EQ(p.pbi_hash, GetPBOXHash(r.jcpr_machine_type, r.jcpr_nodeaddr));
  EXPECT_EQ(p.pbi_netno, 0x34u);  // low 16 bits only
  EXPECT_EQ(p.pbi_socket, 19541);
  EXPECT_EQ(p.pbi_hopcount, 3);
  EXPECT_EQ(p.pbi_ip_addr, 0x7F010203u);
  EXPECT_EQ(p.pbi_status, 5);
  EXPECT_EQ(p.ddpABlock.aNet, 0x1234);
  EXPECT_EQ(p.ddpABlock.aSocket, 129);
  EXPECT_EQ(p.protocol_Type_Num, 3);
  EXPECT_EQ(std::memcmp(p.ddpEName.typeStr, "\x08" "CTRLJCP1", 9), 0);
  EXPECT_EQ(FindPBOXbyIPAddr(table.data(), 128, 0x7F010203), &table[0]);
  EXPECT_EQ(FindPBOXbyIPAddr(table.data(), 128, 0x7F010204), nullptr);
}

TEST_F(PBoxTableTest, FullTableRefusesNewBoxButRefreshesAppleTalkEntry) {
  for (int i = 0; i < 128; ++i) {
    jcp_reply r = makeReply("VEMOPLEX[C]", {0, 0, 0, 0, UInt8(i >> 8), UInt8(i)});
    PBOXEntityName e = entity("box", "CTRLJCP1", "*");
    ASSERT_EQ(RegisterPBOX(table.data(), 128, &r, &e, PBOXAddrBlock{1, UInt8(i), 129}, 3), 1);
  }
  jcp_reply fresh = makeReply("VEMOPLEX[C]", {9, 9, 9, 9, 9, 9});
  EXPECT_EQ(UDPRegisterPBOX(table.data(), 128, &fresh, 2), 0);
  jcp_reply known = makeReply("VEMOPLEX[C]", {0, 0, 0, 0, 0, 40}, 0x7F000028, 9);
  PBOXEntityName e = entity("box", "CTRLJCP1", "*");
  EXPECT_EQ(RegisterPBOX(table.data(), 128, &known, &e, PBOXAddrBlock{1, 40, 130}, 3), 1);
  EXPECT_EQ(table[40].pbi_status, 9);
  EXPECT_EQ(table[40].ddpABlock.aSocket, 130);
}

TEST_F(PBoxTableTest, AppleTalkFindBecomesTcpIpAndThenStays) {
  jcp_reply r = makeReply("VEMOPLEX[C]", {1, 2, 3, 4, 5, 6}, 0);
  PBOXEntityName e = entity("box", "CTRLJCP1", "zone");
  ASSERT_EQ(RegisterPBOX(table.data(), 128, &r, &e, PBOXAddrBlock{5, 6, 7}, 3), 1);
  jcp_reply u = makeReply("VEMOPLEX[C]", {1, 2, 3, 4, 5, 6}, 0x7F000005);
  ASSERT_EQ(UDPRegisterPBOX(table.data(), 128, &u, 2), 1);
  EXPECT_EQ(inUse(), 1);
  EXPECT_EQ(table[0].protocol_Type_Num, 2);
  EXPECT_EQ(table[0].pbi_ip_addr, 0x7F000005u);
  PBOXEntityName empty{};
  EXPECT_EQ(std::memcmp(&table[0].ddpEName, &empty, sizeof empty), 0);
  EXPECT_EQ(table[0].ddpABlock.aNet, 0);
  EXPECT_EQ(table[0].ddpABlock.aNode, 0);
  EXPECT_EQ(table[0].ddpABlock.aSocket, 0);
  // Later AppleTalk finds of the same box are refused.
  EXPECT_EQ(RegisterPBOX(table.data(), 128, &r, &e, PBOXAddrBlock{5, 6, 7}, 3), 0);
  EXPECT_EQ(table[0].protocol_Type_Num, 2);
}

TEST_F(PBoxTableTest, BadArgumentsStoreNothing) {
  jcp_reply r = makeReply("VEMOPLEX[C]", {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(UDPRegisterPBOX(nullptr, 128, &r, 2), 0);
  EXPECT_EQ(UDPRegisterPBOX(table.data(), 128, nullptr, 2), 0);
  EXPECT_EQ(UDPRegisterPBOX(table.data(), 0, &r, 2), 0);
  EXPECT_EQ(UDPRegisterPBOX(table.data(), -5, &r, 2), 0);
  table[0].pbi_inuse = 1;
  InitPBOXtable(table.data(), -1);
  EXPECT_EQ(table[0].pbi_inuse, 1);
  EXPECT_EQ(FindPBOXbyIPAddr(nullptr, 128, 0), nullptr);
  EXPECT_EQ(IsUseProtocol(), 1);
}

PBOXinfo sampleBox() {
  PBOXinfo p{};
  p.pbi_inuse = 1;
  p.pbi_hash = 0xA1B2;
  std::memcpy(p.pbi_machine_name, "NAME-0123456789-0123456789-01234", 32);  // fills all 32
  std::memcpy(p.pbi_machine_type, "VEMOPLEX[C]\0\0\0\0\x50", 16);
  p.pbi_netno = 0x00001234;
  const UInt8 mac[6] = {0x00, 0x80, 0x92, 0xAA, 0xBB, 0xCC};
  std::memcpy(p.pbi_nodeaddr, mac, 6);
  p.pbi_socket = 19541;
  p.pbi_hopcount = 0x0102;
  p.pbi_ip_addr = 0xC0A80105;
  p.pbi_status = 0x0007;
  p.ddpEName = entity("obj", "CTRLJCP1", "zz");
  p.ddpABlock = {0xBEEF, 0x42, 0x81};
  p.protocol_Type_Num = 3;
  return p;
}

std::string hex(std::span<const UInt8> b, std::size_t from, std::size_t n) {
  std::string s;
  char buf[4];
  for (std::size_t i = from; i < from + n; ++i) {
    std::snprintf(buf, sizeof buf, "%02X", b[i]);
    s += buf;
  }
  return s;
}

TEST(PBoxRecords, PackedEntryExactBytes) {
  PBOXinfo p = sampleBox();
  std::array<UInt8, kPBOXRecordFileSize> rec;
  rec.fill(0xEE);
  PackPBOXRecord(p, rec);
  EXPECT_EQ(hex(rec, 0, 4), "0100A1B2");
  EXPECT_EQ(std::memcmp(&rec[4], p.pbi_machine_name, 32), 0);
  EXPECT_EQ(hex(rec, 36, 16), "56454D4F504C45585B435D0000000050");
  EXPECT_EQ(hex(rec, 52, 4), "00001234");
  EXPECT_EQ(hex(rec, 56, 6), "008092AABBCC");
  EXPECT_EQ(hex(rec, 62, 10), "4C550102C0A801050007");
  EXPECT_EQ(hex(rec, 72, 4), "036F626A");    // "obj"
  EXPECT_EQ(hex(rec, 106, 2), "0843");       // "C..."
  EXPECT_EQ(hex(rec, 140, 3), "027A7A");     // "zz"
  EXPECT_EQ(hex(rec, 174, 6), "BEEF42810003");
  EXPECT_EQ(hex(rec, 180, 4), "00000000");

  PBOXinfo back{};
  ASSERT_TRUE(UnpackPBOXinfo(rec, back));
  std::array<UInt8, kPBOXinfoPackedSize> again;
  PackPBOXinfo(back, again);
  EXPECT_EQ(std::memcmp(again.data(), rec.data(), kPBOXinfoPackedSize), 0);
  EXPECT_FALSE(UnpackPBOXinfo(std::span<const UInt8>(rec.data(), 179), back));
  EXPECT_EQ(back.pbi_inuse, 0);
}

TEST(PBoxRecords, LaunchRecordAndItsLanguageText) {
  PBOXinfo p = sampleBox();
  std::array<UInt8, kLaunchRecordSize> rec;
  rec.fill(0xEE);
  PackLaunchRecord(p, "Japanese", rec);
  EXPECT_EQ(hex(rec, 62, 2), "4C55");
  EXPECT_EQ(hex(rec, 178, 2), "0003");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&rec[180])), "Japanese");
  for (std::size_t i = 180 + 8; i < kLaunchRecordSize; ++i) ASSERT_EQ(rec[i], 0) << i;

  PackLaunchRecord(p, "", rec);
  EXPECT_EQ(hex(rec, 180, 2), "2A00");  // "*"
  PackLaunchRecord(p, nullptr, rec);
  EXPECT_EQ(hex(rec, 180, 2), "2A00");
  std::string longText(400, 'x');
  PackLaunchRecord(p, longText.c_str(), rec);
  EXPECT_EQ(rec[180 + 254], 'x');
  EXPECT_EQ(rec[180 + 255], 0);  // always terminated

  char lang[32];
  PBOXinfo back{};
  PackLaunchRecord(p, "English", rec);
  ASSERT_TRUE(UnpackLaunchRecord(rec, back, lang, sizeof lang));
  EXPECT_STREQ(lang, "English");
  EXPECT_EQ(back.pbi_ip_addr, p.pbi_ip_addr);
  // Only part of the text arrived: what came, terminated; nothing beyond.
  ASSERT_TRUE(UnpackLaunchRecord(std::span<const UInt8>(rec.data(), 183), back, lang, sizeof lang));
  EXPECT_STREQ(lang, "Eng");
  ASSERT_TRUE(UnpackLaunchRecord(std::span<const UInt8>(rec.data(), 180), back, lang, sizeof lang));
  EXPECT_STREQ(lang, "");
  // A text longer than the caller's buffer is cut to it.
  PackLaunchRecord(p, longText.c_str(), rec);
  ASSERT_TRUE(UnpackLaunchRecord(rec, back, lang, sizeof lang));
  EXPECT_EQ(std::strlen(lang), sizeof lang - 1);
  EXPECT_FALSE(UnpackLaunchRecord(std::span<const UInt8>(rec.data(), 100), back, lang, sizeof lang));
  EXPECT_STREQ(lang, "");
}

TEST(PBoxRecords, OverlongNameLengthInARecordIsCut) {
  std::array<UInt8, kPBOXinfoPackedSize> rec{};
  rec[72] = 200;  // object name claims 200 characters in its 34-byte field
  rec[106] = 33;
  PBOXinfo back{};
  ASSERT_TRUE(UnpackPBOXinfo(rec, back));
  EXPECT_EQ(back.ddpEName.objStr[0], 32);
  EXPECT_EQ(back.ddpEName.typeStr[0], 32);
  EXPECT_EQ(back.ddpEName.zoneStr[0], 0);
}

TEST(JcpPackets, OnlyAWholeReplyIsOneAndAShortOneReadsAsZeroFilled) {
  std::vector<UInt8> d = {0x00, 0x02, 0x95, 0x06, 'A', 'B'};
  EXPECT_FALSE(IsJcpReply(d));
  std::vector<UInt8> whole(kJcpReplySize, 0);
  std::copy(d.begin(), d.end(), whole.begin());
  EXPECT_TRUE(IsJcpReply(whole));
  EXPECT_FALSE(IsJcpReply(std::span<const UInt8>(whole).first(kJcpReplySize - 1)));
  jcp_reply r;
  std::memset(&r, 0xEE, sizeof r);
  UnpackJcpReply(d, r);
  EXPECT_EQ(r.jcpr_chk, 2);
  EXPECT_EQ(r.jcpr_rule, 0x9506);
  EXPECT_EQ(r.jcpr_machine_name[0], 'A');
  EXPECT_EQ(r.jcpr_machine_name[2], 0);
  EXPECT_EQ(r.jcpr_machine_type[15], 0);
  EXPECT_EQ(r.jcpr_ip_addr, 0u);
  EXPECT_EQ(r.jcpr_status, 0);
  for (auto bad : {std::vector<UInt8>{0x00, 0x02, 0x95, 0x07}, std::vector<UInt8>{0x00, 0x04, 0x95, 0x06},
                   std::vector<UInt8>{0x00, 0x02, 0x95}, std::vector<UInt8>{}})
    EXPECT_FALSE(IsJcpReply(bad));
  std::array<UInt8, kJcpProbeSize> probe;
  probe.fill(0xEE);
  PackJcpProbe(4, probe);
  EXPECT_EQ(hex(probe, 0, 4), "00049506");
  for (std::size_t i = 4; i < kJcpProbeSize; ++i) ASSERT_EQ(probe[i], 0);
}

}  // namespace

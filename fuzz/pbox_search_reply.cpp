// Search replies into the table of found print boxes: each fuzzed datagram
// goes through the check every search receiver makes (00 02 95 06), is
// unpacked and registered, as over TCP/IP or, with the AppleTalk name and
// address that came with it, over AppleTalk. Then the table is searched
// and every entry packed for the status monitor and unpacked again.
//
// Input: the 6-byte model filter record ('SPPT' 128), then records of a
// flag byte (bit 7: AppleTalk; bits 0-6: the datagram's length), the
// datagram, and for AppleTalk the three 34-byte names and a 4-byte address.
#include <cstring>
#include <vector>

#include "JCPPacket.h"
#include "PBoxTable.h"
#include "fuzz_support.h"

namespace {

// A small table, so that it fills up.
constexpr short kTableSize = 6;

bool SameEntry(const PBOXinfo& a, const PBOXinfo& b) {
  return a.pbi_inuse == b.pbi_inuse && a.pbi_hash == b.pbi_hash &&
         std::memcmp(a.pbi_machine_name, b.pbi_machine_name, 32) == 0 &&
         std::memcmp(a.pbi_machine_type, b.pbi_machine_type, 16) == 0 && a.pbi_netno == b.pbi_netno &&
         std::memcmp(a.pbi_nodeaddr, b.pbi_nodeaddr, 6) == 0 && a.pbi_socket == b.pbi_socket &&
         a.pbi_hopcount == b.pbi_hopcount && a.pbi_ip_addr == b.pbi_ip_addr && a.pbi_status == b.pbi_status &&
         std::memcmp(&a.ddpEName, &b.ddpEName, sizeof a.ddpEName) == 0 && a.ddpABlock.aNet == b.ddpABlock.aNet &&
         a.ddpABlock.aNode == b.ddpABlock.aNode && a.ddpABlock.aSocket == b.ddpABlock.aSocket &&
         a.protocol_Type_Num == b.protocol_Type_Num;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  UnpackNameCheck(in.Bytes(kNameCheckSize), NameChkData);

  std::vector<PBOXinfo> table(kTableSize);
  std::memset(table.data(), 0xA5, table.size() * sizeof(PBOXinfo));  // as uncleared memory
  InitPBOXtable(table.data(), kTableSize);

  while (in.left()) {
    const std::uint8_t flag = in.U8();
    const auto datagram = in.Bytes(flag & 0x7F);
    const bool appleTalk = flag & 0x80;
    if (!IsJcpReply(datagram)) continue;
    jcp_reply reply;
    UnpackJcpReply(datagram, reply);
    short added;
    if (appleTalk) {
      PBOXEntityName entity;
      const auto names = in.Bytes(sizeof entity);
      std::memset(&entity, 0, sizeof entity);
      std::memcpy(&entity, names.data(), names.size());
      PBOXAddrBlock addr{in.U16(), in.U8(), in.U8()};
      added = RegisterPBOX(table.data(), kTableSize, &reply, &entity, addr, PBOX_PROTO_ATALK);
    } else {
      added = UDPRegisterPBOX(table.data(), kTableSize, &reply, PBOX_PROTO_TCPIP);
    }
    fuzz::Check(added == 0 || added == 1, "register result");
    if (added) {
      PBOXinfo* e = FindPBOXbyIPAddr(table.data(), kTableSize, reply.jcpr_ip_addr);
      fuzz::Check(e != nullptr && e->pbi_inuse, "a registered box is found by its address");
    }
  }

  // One entry per box, and every entry travels intact.
  for (short i = 0; i < kTableSize; ++i) {
    const PBOXinfo& e = table[i];
    if (!e.pbi_inuse) continue;
    fuzz::Check(e.ddpEName.objStr[0] <= 32 && e.ddpEName.typeStr[0] <= 32 && e.ddpEName.zoneStr[0] <= 32,
                "AppleTalk names fit their fields");
    for (short j = i + 1; j < kTableSize; ++j)
      fuzz::Check(!table[j].pbi_inuse || std::memcmp(table[j].pbi_nodeaddr, e.pbi_nodeaddr, 6) != 0 ||
                      table[j].pbi_hash != e.pbi_hash,
                  "one entry per box");
    UInt8 packed[kLaunchRecordSize];
    PackLaunchRecord(e, "Japanese", std::span<UInt8, kLaunchRecordSize>(packed));
    PBOXinfo back;
    char language[16];
    fuzz::Check(UnpackLaunchRecord(packed, back, language, sizeof language), "launch record reads back");
    fuzz::Check(SameEntry(e, back) && std::strcmp(language, "Japanese") == 0, "launch record is the same");
    // A record of which only a part arrived.
    const std::size_t part = kPBOXinfoPackedSize + (e.pbi_hash % (kLaunchLanguageSize + 1));
    fuzz::Check(UnpackLaunchRecord(std::span<const UInt8>(packed, part), back, language, 4),
                "a partial launch record reads");
    fuzz::Check(std::strlen(language) < 4, "its language text fits the buffer");
  }
  NameChkData = {};
  return 0;
}

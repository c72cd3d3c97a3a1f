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

#include "OT/JCPPacket.h"
#include "OT/PBoxTable.h"
#include "fuzz_support.h"
#include "pbox_checks.h"

namespace {

// A small table, so that it fills up.
constexpr short kTableSize = 6;

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

  fuzz::CheckPBoxTable(table.data(), kTableSize);
  NameChkData = {};
  return 0;
}

// What the table of found print boxes promises after any sequence of
// replies: names that fit their fields, one entry per box, and entries that
// travel to the status monitor and back intact.
#pragma once

#include <cstring>

#include "OT/PBoxTable.h"
#include "fuzz_support.h"

namespace fuzz {

inline bool SamePBox(const PBOXinfo& a, const PBOXinfo& b) {
  return a.pbi_inuse == b.pbi_inuse && a.pbi_hash == b.pbi_hash &&
         std::memcmp(a.pbi_machine_name, b.pbi_machine_name, 32) == 0 &&
         std::memcmp(a.pbi_machine_type, b.pbi_machine_type, 16) == 0 && a.pbi_netno == b.pbi_netno &&
         std::memcmp(a.pbi_nodeaddr, b.pbi_nodeaddr, 6) == 0 && a.pbi_socket == b.pbi_socket &&
         a.pbi_hopcount == b.pbi_hopcount && a.pbi_ip_addr == b.pbi_ip_addr && a.pbi_status == b.pbi_status &&
         std::memcmp(&a.ddpEName, &b.ddpEName, sizeof a.ddpEName) == 0 && a.ddpABlock.aNet == b.ddpABlock.aNet &&
         a.ddpABlock.aNode == b.ddpABlock.aNode && a.ddpABlock.aSocket == b.ddpABlock.aSocket &&
         a.protocol_Type_Num == b.protocol_Type_Num;
}

inline void CheckPBoxTable(const PBOXinfo* table, short count) {
  for (short i = 0; i < count; ++i) {
    const PBOXinfo& e = table[i];
    if (!e.pbi_inuse) continue;
    Check(e.ddpEName.objStr[0] <= 32 && e.ddpEName.typeStr[0] <= 32 && e.ddpEName.zoneStr[0] <= 32,
          "AppleTalk names fit their fields");
    for (short j = i + 1; j < count; ++j)
      Check(!table[j].pbi_inuse || std::memcmp(table[j].pbi_nodeaddr, e.pbi_nodeaddr, 6) != 0 ||
                table[j].pbi_hash != e.pbi_hash,
            "one entry per box");
    UInt8 packed[kLaunchRecordSize];
    PackLaunchRecord(e, "Japanese", std::span<UInt8, kLaunchRecordSize>(packed));
    PBOXinfo back;
    char language[16];
    Check(UnpackLaunchRecord(packed, back, language, sizeof language), "launch record reads back");
    Check(SamePBox(e, back) && std::strcmp(language, "Japanese") == 0, "launch record is the same");
    // A record of which only a part arrived.
    const std::size_t part = kPBOXinfoPackedSize + (e.pbi_hash % (kLaunchLanguageSize + 1));
    Check(UnpackLaunchRecord(std::span<const UInt8>(packed, part), back, language, 4),
          "a partial launch record reads");
    Check(std::strlen(language) < 4, "its language text fits the buffer");
  }
}

}  // namespace fuzz

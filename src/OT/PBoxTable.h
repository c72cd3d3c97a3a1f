// The table of print boxes that searches have found, the model filter that
// decides which replies count at all, and the packed forms of one entry
// that travel to the status monitor and into its record files.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "OT/JCPPacket.h"
#include "toolbox/textencoding.h"
#include "toolbox/types.h"

// A length-prefixed name of up to 32 characters in a 34-byte field.
using PBOXStr32Field = UInt8[34];

// An AppleTalk name: object, type and zone.
struct PBOXEntityName {
  PBOXStr32Field objStr;
  PBOXStr32Field typeStr;
  PBOXStr32Field zoneStr;
};

// An AppleTalk address.
struct PBOXAddrBlock {
  UInt16 aNet;
  UInt8 aNode;
  UInt8 aSocket;
};

// How a box was found (protocol_Type_Num).
enum : SInt16 {
  PBOX_PROTO_TCPIP = 2,
  PBOX_PROTO_ATALK = 3,
};

struct PBOXinfo {
  Boolean pbi_inuse;
  UInt16 pbi_hash;
  UInt8 pbi_machine_name[32];  // not necessarily NUL-terminated
  UInt8 pbi_machine_type[16];  // not necessarily NUL-terminated
  UInt32 pbi_netno;
  UInt8 pbi_nodeaddr[6];
  UInt16 pbi_socket;
  UInt16 pbi_hopcount;
  UInt32 pbi_ip_addr;
  UInt16 pbi_status;
  PBOXEntityName ddpEName;
  PBOXAddrBlock ddpABlock;
  SInt16 protocol_Type_Num;
};

// The model filter, resource 'SPPT' 128.
struct ACTIVE_MACHINE_NAME {
  UInt8 name_chk;  // 1: filter on
  UInt8 dummy1;
  SInt16 name_cnt;
  UInt16 str_res_id;
};

extern ACTIVE_MACHINE_NAME NameChkData;
extern Handle NameChkHandle;

constexpr std::size_t kPBOXinfoPackedSize = 180;
constexpr std::size_t kPBOXRecordFileSize = 184;  // the packed entry and 4 zero bytes
constexpr std::size_t kLaunchLanguageSize = 256;
constexpr std::size_t kLaunchRecordSize = kPBOXinfoPackedSize + kLaunchLanguageSize;  // 436
constexpr std::size_t kNameCheckSize = 6;

void Get_NameCheck_Info();
short Chk_Active_Machine_Name(const UInt8* machineType);
void InitPBOXtable(PBOXinfo* table, short count);
UInt16 GetPBOXHash(const UInt8* machineType, const UInt8* nodeAddr);
short RegisterPBOX(PBOXinfo* table, short count, const jcp_reply* reply, const PBOXEntityName* entity,
                   PBOXAddrBlock addr, short protocolNum);
// The fields an entry takes from a search reply as it came (machine name
// and type, network number, Ethernet address, socket, hop count, IPv4
// address, status); the entry's other fields are left as they are.
void TakePBOXReply(PBOXinfo& e, const jcp_reply& r);
// The box's name as text: its bytes up to the first NUL, read in the text
// encoding the box holds names in, that of the program's language unless
// given.
std::string PBOXNameText(const PBOXinfo& box, TextEncoding encoding = GetApplicationTextEncoding());
short UDPRegisterPBOX(PBOXinfo* table, short count, const jcp_reply* reply, short protocolNum);
PBOXinfo* FindPBOXbyIPAddr(PBOXinfo* table, short count, UInt32 ipAddr);
short IsUseProtocol();

// The 6-byte 'SPPT' record.
void UnpackNameCheck(std::span<const UInt8> bytes, ACTIVE_MACHINE_NAME& out);

// The packed entry (180 bytes). Unpacking needs all 180 bytes (false and a
// cleared entry otherwise); a name length byte above 32 is cut to 32.
void PackPBOXinfo(const PBOXinfo& in, std::span<UInt8, kPBOXinfoPackedSize> out);
bool UnpackPBOXinfo(std::span<const UInt8> bytes, PBOXinfo& out);

// The record file: the packed entry and 4 zero bytes.
void PackPBOXRecord(const PBOXinfo& in, std::span<UInt8, kPBOXRecordFileSize> out);

// The launch record for the status monitor: the packed entry, then the
// language text (NUL-terminated in 256 bytes; "*" when none is given).
void PackLaunchRecord(const PBOXinfo& in, const char* language, std::span<UInt8, kLaunchRecordSize> out);
// Reads a launch record of which only a part may have arrived: fewer than
// 180 bytes are refused; a missing or unterminated language text reads as
// what arrived, cut to the caller's buffer and always terminated.
bool UnpackLaunchRecord(std::span<const UInt8> bytes, PBOXinfo& out, char* language, std::size_t languageCap);

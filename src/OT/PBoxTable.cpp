// The table of print boxes that searches found, the model filter replies
// pass through, and the packed entry the status monitor receives and keeps.
#include "OT/PBoxTable.h"

#include <algorithm>
#include <cstring>

#include "toolbox/resources.h"

ACTIVE_MACHINE_NAME NameChkData = {};
Handle NameChkHandle = nullptr;

namespace {

// The product family every accepted model type begins with.
const unsigned char kFamilyName[] = {8, 'V', 'E', 'M', 'O', 'P', 'L', 'E', 'X'};

void fixName(PBOXStr32Field f) {
  if (f[0] > 32) f[0] = 32;
}

void clampEntity(PBOXEntityName& e) {
  fixName(e.objStr);
  fixName(e.typeStr);
  fixName(e.zoneStr);
}

// The first 72 bytes of an entry are the box's search reply as it came:
// the entry reads and writes them through the reply's one codec.
jcp_reply replyOf(const PBOXinfo& e) {
  jcp_reply r{};
  std::memcpy(r.jcpr_machine_name, e.pbi_machine_name, 32);
  std::memcpy(r.jcpr_machine_type, e.pbi_machine_type, 16);
  r.jcpr_netno = e.pbi_netno;
  std::memcpy(r.jcpr_nodeaddr, e.pbi_nodeaddr, 6);
  r.jcpr_socket = e.pbi_socket;
  r.jcpr_hopcount = e.pbi_hopcount;
  r.jcpr_ip_addr = e.pbi_ip_addr;
  r.jcpr_status = e.pbi_status;
  return r;
}

}  // namespace

std::string PBOXNameText(const PBOXinfo& box, TextEncoding encoding) {
  const char* name = reinterpret_cast<const char*>(box.pbi_machine_name);
  return tb::TextFromEncoding(std::string_view(name, strnlen(name, sizeof box.pbi_machine_name)), encoding);
}

void TakePBOXReply(PBOXinfo& e, const jcp_reply& r) {
  std::memcpy(e.pbi_machine_name, r.jcpr_machine_name, 32);
  std::memcpy(e.pbi_machine_type, r.jcpr_machine_type, 16);
  e.pbi_netno = r.jcpr_netno;
  std::memcpy(e.pbi_nodeaddr, r.jcpr_nodeaddr, 6);
  e.pbi_socket = r.jcpr_socket;
  e.pbi_hopcount = r.jcpr_hopcount;
  e.pbi_ip_addr = r.jcpr_ip_addr;
  e.pbi_status = r.jcpr_status;
}

void UnpackNameCheck(std::span<const UInt8> bytes, ACTIVE_MACHINE_NAME& out) {
  UInt8 b[kNameCheckSize] = {};
  if (!bytes.empty()) std::memcpy(b, bytes.data(), std::min(bytes.size(), kNameCheckSize));
  out.name_chk = b[0];
  out.dummy1 = b[1];
  out.name_cnt = static_cast<SInt16>(be::get16(b + 2));
  out.str_res_id = be::get16(b + 4);
}

void Get_NameCheck_Info() {
  NameChkData = {};
  NameChkHandle = nullptr;
  Handle h = GetResource('SPPT', 128);
  if (!h || !*h) return;
  NameChkHandle = h;
  Size n = GetHandleSize(h);
  UnpackNameCheck(std::span<const UInt8>(reinterpret_cast<const UInt8*>(*h), n > 0 ? std::size_t(n) : 0),
                  NameChkData);
}

short Chk_Active_Machine_Name(const UInt8* machineType) {
  if (NameChkData.name_chk != 1) return 1;
  if (!machineType || NameChkData.name_cnt < 1) return 0;
  return std::memcmp(machineType, kFamilyName + 1, kFamilyName[0]) == 0 ? 1 : 0;
}

void InitPBOXtable(PBOXinfo* table, short count) {
  if (!table) return;
  for (short i = 0; i < count; ++i) table[i].pbi_inuse = 0;
}

UInt16 GetPBOXHash(const UInt8* machineType, const UInt8* nodeAddr) {
  UInt16 sum = 0;
  for (int i = 0; i < 16; ++i) sum = UInt16(sum + static_cast<SInt8>(machineType[i]));
  for (int i = 0; i < 6; ++i) sum = UInt16(sum + nodeAddr[i]);
  return sum;
}

short RegisterPBOX(PBOXinfo* table, short count, const jcp_reply* reply, const PBOXEntityName* entity,
                   PBOXAddrBlock addr, short protocolNum) {
  if (!table || !reply || count <= 0) return 0;
  if (!Chk_Active_Machine_Name(reply->jcpr_machine_type)) return 0;
  UInt16 h = GetPBOXHash(reply->jcpr_machine_type, reply->jcpr_nodeaddr);

  PBOXinfo* slot = nullptr;
  for (short i = 0; i < count; ++i) {
    PBOXinfo& e = table[i];
    if (e.pbi_inuse && e.pbi_hash == h && std::memcmp(e.pbi_nodeaddr, reply->jcpr_nodeaddr, 6) == 0) {
      // A box once found over TCP/IP keeps that entry for the run.
      if (e.protocol_Type_Num == PBOX_PROTO_TCPIP) return 0;
      slot = &e;
      break;
    }
  }
  if (!slot) {
    for (short i = 0; i < count && !slot; ++i)
      if (!table[i].pbi_inuse) slot = &table[i];
    if (!slot) return 0;
  }

  PBOXinfo& e = *slot;
  e.pbi_hash = h;
  e.pbi_inuse = 1;
  TakePBOXReply(e, *reply);
  e.pbi_netno &= 0xFFFFu;
  if (entity) {
    e.ddpEName = *entity;
    clampEntity(e.ddpEName);
  } else {
    e.ddpEName = {};
  }
  e.ddpABlock = addr;
  e.protocol_Type_Num = protocolNum;
  return 1;
}

short UDPRegisterPBOX(PBOXinfo* table, short count, const jcp_reply* reply, short protocolNum) {
  return RegisterPBOX(table, count, reply, nullptr, PBOXAddrBlock{}, protocolNum);
}

PBOXinfo* FindPBOXbyIPAddr(PBOXinfo* table, short count, UInt32 ipAddr) {
  if (!table) return nullptr;
  for (short i = 0; i < count; ++i)
    if (table[i].pbi_inuse && table[i].pbi_ip_addr == ipAddr) return &table[i];
  return nullptr;
}

short IsUseProtocol() { return 1; }

void PackPBOXinfo(const PBOXinfo& in, std::span<UInt8, kPBOXinfoPackedSize> out) {
  UInt8* b = out.data();
  std::memset(b, 0, kPBOXinfoPackedSize);
  PackJcpReply(replyOf(in), out.first<kJcpReplySize>());
  // In place of the reply's check and rule words.
  b[0] = in.pbi_inuse;
  b[1] = 0;
  be::put16(b + 2, in.pbi_hash);
  std::memcpy(b + 72, in.ddpEName.objStr, 34);
  std::memcpy(b + 106, in.ddpEName.typeStr, 34);
  std::memcpy(b + 140, in.ddpEName.zoneStr, 34);
  be::put16(b + 174, in.ddpABlock.aNet);
  b[176] = in.ddpABlock.aNode;
  b[177] = in.ddpABlock.aSocket;
  be::put16(b + 178, static_cast<UInt16>(in.protocol_Type_Num));
}

bool UnpackPBOXinfo(std::span<const UInt8> bytes, PBOXinfo& out) {
  out = {};
  if (bytes.size() < kPBOXinfoPackedSize) return false;
  const UInt8* b = bytes.data();
  jcp_reply head;
  UnpackJcpReply(bytes.first(kJcpReplySize), head);
  TakePBOXReply(out, head);
  out.pbi_inuse = b[0];
  out.pbi_hash = be::get16(b + 2);
  std::memcpy(out.ddpEName.objStr, b + 72, 34);
  std::memcpy(out.ddpEName.typeStr, b + 106, 34);
  std::memcpy(out.ddpEName.zoneStr, b + 140, 34);
  clampEntity(out.ddpEName);
  out.ddpABlock.aNet = be::get16(b + 174);
  out.ddpABlock.aNode = b[176];
  out.ddpABlock.aSocket = b[177];
  out.protocol_Type_Num = static_cast<SInt16>(be::get16(b + 178));
  return true;
}

void PackPBOXRecord(const PBOXinfo& in, std::span<UInt8, kPBOXRecordFileSize> out) {
  PackPBOXinfo(in, out.first<kPBOXinfoPackedSize>());
  std::memset(out.data() + kPBOXinfoPackedSize, 0, kPBOXRecordFileSize - kPBOXinfoPackedSize);
}

void PackLaunchRecord(const PBOXinfo& in, const char* language, std::span<UInt8, kLaunchRecordSize> out) {
  PackPBOXinfo(in, out.first<kPBOXinfoPackedSize>());
  UInt8* text = out.data() + kPBOXinfoPackedSize;
  std::memset(text, 0, kLaunchLanguageSize);
  if (!language || !*language) language = "*";
  std::size_t n = strnlen(language, kLaunchLanguageSize - 1);
  std::memcpy(text, language, n);
}

bool UnpackLaunchRecord(std::span<const UInt8> bytes, PBOXinfo& out, char* language, std::size_t languageCap) {
  if (language && languageCap) language[0] = '\0';
  if (!UnpackPBOXinfo(bytes, out)) return false;
  if (!language || !languageCap) return true;
  std::span<const UInt8> text = bytes.subspan(kPBOXinfoPackedSize);
  std::size_t avail = std::min(text.size(), kLaunchLanguageSize);
  std::size_t n = 0;
  while (n < avail && text[n] != 0) ++n;
  n = std::min(n, languageCap - 1);
  if (n) std::memcpy(language, text.data(), n);
  language[n] = '\0';
  return true;
}

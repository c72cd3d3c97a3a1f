// The JCP packets' wire forms: each record filled from and written to its
// big-endian bytes field by field.
#include "OT/JCPPacket.h"

#include <algorithm>
#include <cstring>

void PackJcpProbe(UInt16 conditionNo, std::span<UInt8, kJcpProbeSize> out) {
  std::fill(out.begin(), out.end(), UInt8(0));
  be::put16(out.data(), conditionNo);
  be::put16(out.data() + 2, JCP_SEARCH_RULE);
}

bool IsJcpReply(std::span<const UInt8> d) {
  return d.size() >= kJcpReplySize && d[0] == 0x00 && d[1] == 0x02 && d[2] == 0x95 && d[3] == 0x06;
}

void UnpackJcpReply(std::span<const UInt8> datagram, jcp_reply& out) {
  UInt8 b[kJcpReplySize] = {};
  if (!datagram.empty()) std::memcpy(b, datagram.data(), std::min(datagram.size(), kJcpReplySize));
  out.jcpr_chk = be::get16(b);
  out.jcpr_rule = be::get16(b + 2);
  std::memcpy(out.jcpr_machine_name, b + 4, 32);
  std::memcpy(out.jcpr_machine_type, b + 36, 16);
  out.jcpr_netno = be::get32(b + 52);
  std::memcpy(out.jcpr_nodeaddr, b + 56, 6);
  out.jcpr_socket = be::get16(b + 62);
  out.jcpr_hopcount = be::get16(b + 64);
  out.jcpr_ip_addr = be::get32(b + 66);
  out.jcpr_status = be::get16(b + 70);
}

void PackJcpReply(const jcp_reply& in, std::span<UInt8, kJcpReplySize> out) {
  UInt8* b = out.data();
  be::put16(b, in.jcpr_chk);
  be::put16(b + 2, in.jcpr_rule);
  std::memcpy(b + 4, in.jcpr_machine_name, 32);
  std::memcpy(b + 36, in.jcpr_machine_type, 16);
  be::put32(b + 52, in.jcpr_netno);
  std::memcpy(b + 56, in.jcpr_nodeaddr, 6);
  be::put16(b + 62, in.jcpr_socket);
  be::put16(b + 64, in.jcpr_hopcount);
  be::put32(b + 66, in.jcpr_ip_addr);
  be::put16(b + 70, in.jcpr_status);
}

void PackJcpClient(const jcp_client& in, std::span<UInt8, kJcpClientHeadSize> out) {
  UInt8* b = out.data();
  be::put16(b, in.jcpc_cond);
  be::put16(b + 2, in.jcpc_rule);
  std::memcpy(b + 4, in.jcpc_cmd, kJcpCmdSize);
  be::put16(b + 84, in.jcpc_offset);
  be::put16(b + 86, in.jcpc_size);
}

bool UnpackJcpClient(std::span<const UInt8> d, jcp_client& out) {
  if (d.size() < kJcpClientHeadSize) return false;
  out.jcpc_cond = be::get16(d.data());
  out.jcpc_rule = be::get16(d.data() + 2);
  std::memcpy(out.jcpc_cmd, d.data() + 4, kJcpCmdSize);
  out.jcpc_offset = be::get16(d.data() + 84);
  out.jcpc_size = be::get16(d.data() + 86);
  return true;
}

void PackJcpServer(const jcp_server& in, std::span<UInt8, kJcpServerHeadSize> out) {
  UInt8* b = out.data();
  be::put16(b, in.jcps_chk);
  be::put16(b + 2, in.jcps_cond);
  be::put16(b + 4, in.jcps_offset);
  be::put16(b + 6, in.jcps_size);
}

bool UnpackJcpServer(std::span<const UInt8> d, jcp_server& out) {
  if (d.size() < kJcpServerHeadSize) return false;
  out.jcps_chk = be::get16(d.data());
  out.jcps_cond = be::get16(d.data() + 2);
  out.jcps_offset = be::get16(d.data() + 4);
  out.jcps_size = be::get16(d.data() + 6);
  return true;
}

// The JCP packets as they travel: the search probe, the search reply
// (jcp_reply), the command request (jcp_client) and the command reply
// (jcp_server). On the wire every number is big-endian; in memory the
// records hold host-order values and are filled and emptied field by field.
#pragma once

#include <cstddef>
#include <span>

#include "toolbox/types.h"

// Ports the print boxes listen on.
enum : UInt16 {
  JCP_UDP_PORT = 19541,
  JCP_UDP_PORT_OLD = 9,  // boxes of the old version
};

// The rule word of the search.
enum : UInt16 { JCP_SEARCH_RULE = 0x9506 };

// Search probe: condition word, rule, 84 zero bytes.
constexpr std::size_t kJcpProbeSize = 88;
// Search reply.
constexpr std::size_t kJcpReplySize = 72;

// Command request: 88-byte head and at most 422 data bytes.
constexpr std::size_t kJcpClientHeadSize = 88;
constexpr std::size_t kJcpClientMaxData = 422;
constexpr std::size_t kJcpClientMaxSize = kJcpClientHeadSize + kJcpClientMaxData;  // 510
constexpr std::size_t kJcpCmdSize = 80;
// Command reply: 8-byte head and at most 512 data bytes.
constexpr std::size_t kJcpServerHeadSize = 8;
constexpr std::size_t kJcpServerMaxData = 512;
constexpr std::size_t kJcpServerMaxSize = kJcpServerHeadSize + kJcpServerMaxData;  // 520

// jcpc_cond values.
enum : UInt16 {
  JCP_COND_FIRST = 1,
  JCP_COND_NEXT = 2,
  JCP_COND_END = 3,
};

struct jcp_reply {
  UInt16 jcpr_chk;
  UInt16 jcpr_rule;
  UInt8 jcpr_machine_name[32];
  UInt8 jcpr_machine_type[16];
  UInt32 jcpr_netno;
  UInt8 jcpr_nodeaddr[6];
  UInt16 jcpr_socket;
  UInt16 jcpr_hopcount;
  UInt32 jcpr_ip_addr;  // first part of the dotted address in the high byte
  UInt16 jcpr_status;
};

// The head of a command request; the data block stays in the caller's
// buffer behind it.
struct jcp_client {
  UInt16 jcpc_cond;
  UInt16 jcpc_rule;
  UInt8 jcpc_cmd[kJcpCmdSize];
  UInt16 jcpc_offset;
  UInt16 jcpc_size;
};

// The head of a command reply.
struct jcp_server {
  UInt16 jcps_chk;
  UInt16 jcps_cond;
  UInt16 jcps_offset;
  UInt16 jcps_size;
};

// Writes the 88-byte probe.
void PackJcpProbe(UInt16 conditionNo, std::span<UInt8, kJcpProbeSize> out);
// True when a datagram is a search reply: at least the 72 bytes of one, the
// first four 00 02 95 06 exactly. A shorter one is no reply, whatever it
// begins with: the box it would stand for is made of zeros.
bool IsJcpReply(std::span<const UInt8> datagram);

// Reads the first 72 bytes (any missing read as zeros).
void UnpackJcpReply(std::span<const UInt8> datagram, jcp_reply& out);
void PackJcpReply(const jcp_reply& in, std::span<UInt8, kJcpReplySize> out);

// Writes the 88-byte head of a command request.
void PackJcpClient(const jcp_client& in, std::span<UInt8, kJcpClientHeadSize> out);
// False when fewer than 88 bytes are given.
bool UnpackJcpClient(std::span<const UInt8> datagram, jcp_client& out);

void PackJcpServer(const jcp_server& in, std::span<UInt8, kJcpServerHeadSize> out);
// False when fewer than 8 bytes are given.
bool UnpackJcpServer(std::span<const UInt8> datagram, jcp_server& out);

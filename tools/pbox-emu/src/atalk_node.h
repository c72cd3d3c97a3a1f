// The AppleTalk node of a box: NBP lookups of type "CTRLJCP1" answered on
// the names information socket, and JCP (search probe and commands) over
// DDP on a socket of its own, as the loopback DDP emulation carries them
// (toolbox/README.md, "AppleTalk"): DDP (network, node, socket) is the UDP
// address 127.<network>.<node> at <port base> + socket, each datagram led by
// 0xDD and its DDP type, node 255 the broadcast 127.255.255.255.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "box.h"
#include "reactor.h"

namespace pboxemu {

// The DDP socket a box answers JCP on.
constexpr UInt8 kJcpDdpSocket = 64;
// Nodes of the AppleTalk boxes: the k-th such box is node 100 + k.
constexpr UInt8 kFirstBoxNode = 100;

// Every box whose description asks for AppleTalk becomes a node of the network the
// toolbox's AppleTalk configuration names. mu guards the boxes.
std::unique_ptr<Service> MakeAppleTalkService(std::mutex& mu, std::vector<std::unique_ptr<BoxState>>& boxes);

}  // namespace pboxemu

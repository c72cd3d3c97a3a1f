// Where the network layer may send, and on which real ports the well-known
// ports live. Both come from the environment so that tests, the demo and the
// print-box emulator agree without any configuration file.
//
//   TOOLBOX_NET=loopback          refuse every destination outside 127.0.0.0/8
//                                 and send the limited broadcast to
//                                 127.255.255.255 instead
//   TOOLBOX_PORTMAP=9:10009,21:10021
//                                 a port the programs name (9) is really bound
//                                 and reached on another (10009), so nothing
//                                 needs root
#pragma once

#include "toolbox/types.h"

namespace tb {

bool NetLoopbackOnly();

// Checks a destination (IPv4, host byte order) against the confinement.
// Returns false when it is refused; rewrites 255.255.255.255 to
// 127.255.255.255 when confined.
bool ConfineDestination(UInt32& hostAddr);

// The real port for a port the programs name, and back.
UInt16 MapPort(UInt16 port);
UInt16 UnmapPort(UInt16 realPort);

// Re-reads the environment (tests change it between cases).
void ReloadNetConfig();

}  // namespace tb

// AppleTalk: "ddp" datagram endpoints and the AppleTalk services (own zone,
// zone list), emulated over UDP on loopback.
//
// A DDP address (network, node, socket) is the UDP address
// 127.<network high byte>.<network low byte>.<node> with port
// <port base> + <socket>; node 255 is the loopback broadcast 127.255.255.255.
// Each datagram carries a two-byte header (0xDD, DDP type) in front of its
// data. The own network, node, port base, own zone and zone list come from
// a configuration file (see toolbox/README.md, "AppleTalk").
//
// "ddp" endpoints are opened, bound and used with the Open Transport calls
// of opentransport.h; their address records are DDPAddress and
// DDPNBPAddress (the DDP part of the latter is used).
#pragma once

#include <string>
#include <vector>

#include "toolbox/opentransport.h"
#include "toolbox/types.h"

using ATSvcRef = ProviderRef;

// Opening the services takes the configuration over; null stands for the
// default AppleTalk configuration.
inline const OTConfigurationRef kDefaultAppleTalkServicesPath = nullptr;

// Completion events of asynchronous AppleTalk services (cookie: the TNetbuf
// the call filled).
enum : OTEventCode {
  kAppleTalkEvent = 0x22000000,
  T_GETMYZONECOMPLETE = kAppleTalkEvent | 1,
  T_GETZONELISTCOMPLETE = kAppleTalkEvent | 2,
};

// Largest DDP datagram (data bytes).
enum : UInt32 { kDDPMaxData = 586 };
// Zone, object and type names are at most 32 bytes.
enum : UInt32 { kNBPMaxNameLength = 32 };

// Synchronous open: the services at once (null and *err set on failure).
ATSvcRef OTOpenAppleTalkServices(OTConfigurationRef config, OTOpenFlags flags, OSStatus* err);
// Asynchronous open: the services' reference arrives as the cookie of
// T_OPENCOMPLETE, and the calls on them complete with their events.
OSStatus OTAsyncOpenAppleTalkServices(OTConfigurationRef config, OTOpenFlags flags, OTNotifyUPP proc,
                                      void* contextPtr);

// The own zone as one length-prefixed name ("*" on a network without
// zones). The zone list as packed length-prefixed names, one after another.
// The result goes into zone->buf (room zone->maxlen), zone->len the bytes
// written. Too little room: kOTBufferOverflowErr with the whole names that
// fit. Asynchronous services return kOTNoError and tell the result with
// T_GETMYZONECOMPLETE or T_GETZONELISTCOMPLETE; the buffer must stay valid
// until then.
OSStatus OTATalkGetMyZone(ATSvcRef ref, TNetbuf* zone);
OSStatus OTATalkGetZoneList(ATSvcRef ref, TNetbuf* zoneList);

namespace tb {

// The AppleTalk configuration of this process.
struct AppleTalkSettings {
  UInt16 network = 1;       // 1 .. 0xFEFF
  UInt8 node = 1;           // 1 .. 253
  UInt16 portBase = 30000;  // the UDP port of DDP socket 0
  std::string myZone = "*";
  std::vector<std::string> zones;
};

// Read on first use (from TOOLBOX_APPLETALK_CONF, else
// $XDG_CONFIG_HOME/vemo/appletalk.conf); a missing file gives the defaults.
AppleTalkSettings AppleTalkConfig();
// Reads the file again (tests change it between cases).
void ReloadAppleTalkConfig();
// The file the configuration is read from.
std::string AppleTalkConfigPath();

}  // namespace tb

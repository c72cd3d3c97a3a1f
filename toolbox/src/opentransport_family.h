// Inside the Open Transport layer: the provider record every service derives
// from, notifier delivery, and the datagram families that map a
// configuration's addresses onto host UDP sockets. "udp" is one family; an
// emulated protocol (e.g. "ddp") is another that registers itself here.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "toolbox/opentransport.h"

// Every provider (endpoint or other service) derives from this record.
struct OTProvider {
  virtual ~OTProvider() = default;
  // Releases host resources; called by OTCloseProvider and
  // CloseOpenTransport just before the record is deleted.
  virtual void Shutdown() {}
  // Stream ioctls other than the endpoint's own.
  virtual SInt32 Ioctl(UInt32 cmd, void* data);
  // Called when the notifier or the modes change.
  virtual void ModesChanged() {}

  OTNotifyUPP notifier = nullptr;
  void* context = nullptr;
  bool async = false;
  bool blocking = true;
  UInt64 serial = 0;  // tells a closed provider from a new one at the same address
};

namespace tb::ot {

// Adds a new provider to the open ones (OTCloseProvider deletes it).
void RegisterProvider(OTProvider* p);
bool IsOpen(const OTProvider* p);
bool IsOpen(const OTProvider* p, UInt64 serial);

// Calls the notifier now; only from the pump (a descriptor handler or
// deferred work).
void Notify(OTProvider* p, OTEventCode code, OTResult result, void* cookie);
// Queues the event for the next pump. It is dropped when the provider has
// been closed meanwhile, or when gate (run just before delivery) says no.
void NotifyLater(OTProvider* p, OTEventCode code, OTResult result, void* cookie,
                 std::function<bool()> gate = {});

// An OT error for a host errno.
OTResult ErrnoToOT(int err);

// How a datagram configuration's addresses map onto a host UDP socket.
// One object per endpoint, so a family may keep per-endpoint state.
class DatagramFamily {
 public:
  virtual ~DatagramFamily() = default;
  // Largest datagram the programs may hand to one send.
  virtual std::size_t MaxDatagram() const = 0;
  // Room the family's own header takes in front of the data on the wire.
  virtual std::size_t HeaderRoom() const { return 0; }
  // The host address to bind for a bind request (req null or empty: any).
  virtual OTResult BindAddress(const TNetbuf* req, sockaddr_in& out) = 0;
  // Writes a host address in the family's form (the bound address, the
  // target of a failed datagram). Writes nothing, len 0, when out has no room.
  virtual void ReportAddress(const sockaddr_in& host, TNetbuf* out) = 0;
  // The host destinations of one send and the bytes sent before the data.
  // An error refuses the send before anything goes out.
  virtual OTResult Destinations(const TNetbuf& addr, const sockaddr_in& local, std::vector<sockaddr_in>& dests,
                                std::vector<UInt8>& header) = 0;
  // A packet from the socket: writes the sender in the family's form and
  // sets where the data starts; false drops the packet.
  virtual bool Received(std::span<const UInt8> packet, const sockaddr_in& from, TNetbuf* addr,
                        std::size_t& dataOffset) = 0;
  // What OTOpenEndpoint reports in its info record.
  virtual void Describe(TEndpointInfo& info) const = 0;
};

using DatagramFamilyFactory = std::unique_ptr<DatagramFamily> (*)();

// Makes OTCreateConfiguration(name) open datagram endpoints of this family.
void RegisterDatagramConfiguration(const char* name, DatagramFamilyFactory factory);

// Internet addresses in TNetbuf records (false: too short or not Internet).
bool ReadInetAddress(const TNetbuf& nb, InetAddress& out);
void WriteInetAddress(TNetbuf* nb, InetHost host, InetPort port);

}  // namespace tb::ot

// AppleTalk over loopback UDP: the "ddp" datagram family plugged into Open
// Transport, its address mapping and header, and the zone services read
// from the configuration file.
#include "toolbox/appletalk.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>

#include "opentransport_family.h"
#include "toolbox/files.h"

// ---------------------------------------------------------------------------
// Configuration.
namespace {

std::mutex gConfigMutex;
bool gConfigLoaded = false;
tb::AppleTalkSettings gConfig;

std::string trim(const std::string& s) {
  std::size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return {};
  std::size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

bool number(const std::string& s, unsigned long lo, unsigned long hi, unsigned long& out) {
  if (s.empty()) return false;
  bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
  const char* p = s.c_str() + (hex ? 2 : 0);
  if (!*p) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long v = std::strtoul(p, &end, hex ? 16 : 10);
  if (errno || *end || *p == '-' || *p == '+' || v < lo || v > hi) return false;
  out = v;
  return true;
}

void warn(const std::string& path, int line, const std::string& what) {
  std::fprintf(stderr, "%s:%d: %s; line ignored\n", path.c_str(), line, what.c_str());
}

tb::AppleTalkSettings load(const std::string& path) {
  tb::AppleTalkSettings c;
  std::string text;
  if (tb::ReadLocalFile(path, tb::kTextFileMax, text) != noErr) return c;
  std::istringstream f(text);
  bool haveZones = false;
  std::string raw;
  int lineNo = 0;
  while (std::getline(f, raw)) {
    ++lineNo;
    std::string line = trim(raw);
    // Only whole lines are comments: a zone name may hold a '#'.
    if (line.empty() || line[0] == '#') continue;
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) {
      warn(path, lineNo, "no '='");
      continue;
    }
    std::string key = trim(line.substr(0, eq));
    std::string value = trim(line.substr(eq + 1));
    unsigned long v = 0;
    if (key == "network") {
      if (number(value, 1, 0xFEFF, v))
        c.network = UInt16(v);
      else
        warn(path, lineNo, "network must be 1 to 65279");
    } else if (key == "node") {
      if (number(value, 1, 253, v))
        c.node = UInt8(v);
      else
        warn(path, lineNo, "node must be 1 to 253");
    } else if (key == "port-base") {
      if (number(value, 1024, 65535 - 255, v))
        c.portBase = UInt16(v);
      else
        warn(path, lineNo, "port-base must be 1024 to 65280");
    } else if (key == "myzone" || key == "zone") {
      if (value.empty() || value.size() > kNBPMaxNameLength) {
        warn(path, lineNo, "a zone name has 1 to 32 bytes");
      } else if (key == "myzone") {
        c.myZone = value;
      } else {
        c.zones.push_back(value);
        haveZones = true;
      }
    } else {
      warn(path, lineNo, "unknown key '" + key + "'");
    }
  }
  // Without a list of its own, a zoned network lists the own zone.
  if (!haveZones && c.myZone != "*") c.zones.push_back(c.myZone);
  return c;
}

const tb::AppleTalkSettings& config() {
  if (!gConfigLoaded) {
    gConfig = load(tb::AppleTalkConfigPath());
    gConfigLoaded = true;
  }
  return gConfig;
}

}  // namespace

std::string tb::AppleTalkConfigPath() {
  const char* explicitPath = std::getenv("TOOLBOX_APPLETALK_CONF");
  if (explicitPath && *explicitPath) return explicitPath;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg) return std::string(xdg) + "/vemo/appletalk.conf";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/vemo/appletalk.conf";
}

tb::AppleTalkSettings tb::AppleTalkConfig() {
  std::lock_guard<std::mutex> lock(gConfigMutex);
  return config();
}

void tb::ReloadAppleTalkConfig() {
  std::lock_guard<std::mutex> lock(gConfigMutex);
  gConfigLoaded = false;
  config();
}

// ---------------------------------------------------------------------------
// "ddp" endpoints: DDP addresses on loopback UDP.
namespace {

constexpr UInt8 kHeaderMark = 0xDD;
constexpr std::size_t kHeaderSize = 2;  // mark, DDP type
constexpr UInt8 kBroadcastNode = 255;
constexpr UInt8 kFirstDynamicSocket = 128;
constexpr UInt8 kLastSocket = 254;

sockaddr_in hostFor(UInt16 network, UInt8 node, UInt8 socket, UInt16 portBase) {
  sockaddr_in s{};
  s.sin_family = AF_INET;
  s.sin_port = htons(UInt16(portBase + socket));
  UInt32 host = node == kBroadcastNode ? 0x7FFFFFFFu : (0x7Fu << 24) | (UInt32(network) << 8) | node;
  s.sin_addr.s_addr = htonl(host);
  return s;
}

// The DDP address a host address stands for; false for one that is not a
// DDP socket of this emulation.
bool ddpFor(const sockaddr_in& s, UInt16 portBase, UInt16& network, UInt8& node, UInt8& socket) {
  UInt32 host = ntohl(s.sin_addr.s_addr);
  UInt16 port = ntohs(s.sin_port);
  if ((host >> 24) != 0x7F || port <= portBase || port > portBase + kLastSocket) return false;
  network = UInt16(host >> 8);
  node = UInt8(host);
  socket = UInt8(port - portBase);
  return true;
}

bool readDDPAddress(const TNetbuf& nb, DDPAddress& out) {
  if (!nb.buf || nb.len < sizeof(DDPAddress)) return false;
  std::memcpy(&out, nb.buf, sizeof out);
  return out.fAddressType == kOTDDPAddressType || out.fAddressType == kOTDDPNBPAddressType;
}

void writeDDPAddress(TNetbuf* nb, const DDPAddress& a) {
  if (!nb) return;
  if (!nb->buf || nb->maxlen < sizeof a) {
    nb->len = 0;
    return;
  }
  std::memcpy(nb->buf, &a, sizeof a);
  nb->len = sizeof a;
}

bool portFree(const sockaddr_in& where) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
  close(fd);
  return ok;
}

// Dynamic sockets are handed out in turn, so a socket just given up is not
// at once reused for another endpoint that late datagrams would then reach.
UInt8 gNextDynamic = kFirstDynamicSocket;
std::mutex gDynamicMutex;

class DDPDatagrams final : public tb::ot::DatagramFamily {
 public:
  DDPDatagrams() : cfg_(tb::AppleTalkConfig()) {}

  std::size_t MaxDatagram() const override { return kDDPMaxData; }
  std::size_t HeaderRoom() const override { return kHeaderSize; }

  OTResult BindAddress(const TNetbuf* req, sockaddr_in& out) override {
    DDPAddress want{kOTDDPAddressType, 0, 0, 0, 0, 0};
    if (req && req->len != 0 && !readDDPAddress(*req, want)) return kOTBadAddressErr;
    UInt16 network = want.fNetwork ? want.fNetwork : cfg_.network;
    UInt8 node = want.fNodeID ? want.fNodeID : cfg_.node;
    if (network > 0xFEFF || node >= 254 || want.fSocket == 255) return kOTBadAddressErr;
    type_ = want.fDDPType;
    if (want.fSocket != 0) {
      out = hostFor(network, node, want.fSocket, cfg_.portBase);
      return kOTNoError;
    }
    std::lock_guard<std::mutex> lock(gDynamicMutex);
    for (int tries = 0; tries <= kLastSocket - kFirstDynamicSocket; ++tries) {
      UInt8 s = gNextDynamic;
      gNextDynamic = s == kLastSocket ? kFirstDynamicSocket : UInt8(s + 1);
      sockaddr_in candidate = hostFor(network, node, s, cfg_.portBase);
      if (portFree(candidate)) {
        out = candidate;
        return kOTNoError;
      }
    }
    return kOTAddressBusyErr;
  }

  void ReportAddress(const sockaddr_in& host, TNetbuf* out) override {
    DDPAddress a{kOTDDPAddressType, 0, 0, 0, type_, 0};
    if (!ddpFor(host, cfg_.portBase, a.fNetwork, a.fNodeID, a.fSocket)) {
      // A bind that failed: the address asked for, with no socket.
      UInt32 h = ntohl(host.sin_addr.s_addr);
      a.fNetwork = UInt16(h >> 8);
      a.fNodeID = UInt8(h);
      a.fSocket = 0;
    }
    writeDDPAddress(out, a);
  }

  OTResult Destinations(const TNetbuf& addr, const sockaddr_in& local, std::vector<sockaddr_in>& dests,
                        std::vector<UInt8>& header) override {
    DDPAddress to;
    if (!readDDPAddress(addr, to)) return kOTBadAddressErr;
    UInt16 localNet = 0;
    UInt8 localNode = 0, localSocket = 0;
    if (!ddpFor(local, cfg_.portBase, localNet, localNode, localSocket)) return kOTOutStateErr;
    UInt16 network = to.fNetwork ? to.fNetwork : localNet;
    if (to.fNodeID == 0 || to.fSocket == 0 || to.fSocket == 255 ||
        (network > 0xFEFF && to.fNodeID != kBroadcastNode))
      return kOTBadAddressErr;
    dests.push_back(hostFor(network, to.fNodeID, to.fSocket, cfg_.portBase));
    // An endpoint bound to a DDP type sends only that type.
    header = {kHeaderMark, type_ ? type_ : to.fDDPType};
    return kOTNoError;
  }

  bool Received(std::span<const UInt8> packet, const sockaddr_in& from, TNetbuf* addr,
                std::size_t& dataOffset) override {
    if (packet.size() < kHeaderSize || packet[0] != kHeaderMark) return false;
    UInt8 type = packet[1];
    if (type_ && type != type_) return false;
    DDPAddress a{kOTDDPAddressType, 0, 0, 0, type, 0};
    if (!ddpFor(from, cfg_.portBase, a.fNetwork, a.fNodeID, a.fSocket)) return false;
    if (a.fNodeID == 0 || a.fNodeID == kBroadcastNode || a.fSocket == 255) return false;
    writeDDPAddress(addr, a);
    dataOffset = kHeaderSize;
    return true;
  }

  void Describe(TEndpointInfo& info) const override {
    info = TEndpointInfo{sizeof(DDPAddress), 0, SInt32(kDDPMaxData), -2, -2, -2, T_CLTS, 0};
  }

 private:
  tb::AppleTalkSettings cfg_;
  UInt8 type_ = 0;  // the DDP type bound to; 0: any
};

std::unique_ptr<tb::ot::DatagramFamily> makeDDP() { return std::make_unique<DDPDatagrams>(); }

}  // namespace

namespace tb::ot {
// Called by InitOpenTransport, so every program that sets up the network
// can open "ddp" endpoints.
void RegisterAppleTalk() { RegisterDatagramConfiguration("ddp", &makeDDP); }
}  // namespace tb::ot

// ---------------------------------------------------------------------------
// AppleTalk services.
namespace {

struct ATServices final : OTProvider {};

ATServices* servicesOf(ATSvcRef ref) {
  if (!tb::ot::IsOpen(ref)) return nullptr;
  return dynamic_cast<ATServices*>(ref);
}

// Writes length-prefixed names, whole names only.
OSStatus packNames(const std::vector<std::string>& names, TNetbuf* out) {
  if (!out || (out->maxlen && !out->buf)) return kOTBadDataErr;
  OTByteCount used = 0;
  OSStatus r = kOTNoError;
  for (const std::string& n : names) {
    std::size_t len = std::min<std::size_t>(n.size(), kNBPMaxNameLength);
    if (used + 1 + len > out->maxlen) {
      r = kOTBufferOverflowErr;
      break;
    }
    out->buf[used] = UInt8(len);
    std::memcpy(out->buf + used + 1, n.data(), len);
    used += OTByteCount(1 + len);
  }
  out->len = used;
  return r;
}

OSStatus answer(ATSvcRef ref, TNetbuf* out, OTEventCode done, const std::vector<std::string>& names) {
  ATServices* svc = servicesOf(ref);
  if (!svc) return kOTBadReferenceErr;
  OSStatus r = packNames(names, out);
  if (!svc->async) return r;
  tb::ot::NotifyLater(svc, done, r, out);
  return kOTNoError;
}

}  // namespace

ATSvcRef OTOpenAppleTalkServices(OTConfigurationRef config, OTOpenFlags, OSStatus* err) {
  if (config) OTDestroyConfiguration(config);
  auto* svc = new ATServices;
  tb::ot::RegisterProvider(svc);
  if (err) *err = kOTNoError;
  return svc;
}

OSStatus OTAsyncOpenAppleTalkServices(OTConfigurationRef config, OTOpenFlags, OTNotifyUPP proc, void* contextPtr) {
  if (config) OTDestroyConfiguration(config);
  if (!proc) return kEINVALErr;
  auto* svc = new ATServices;
  tb::ot::RegisterProvider(svc);
  svc->notifier = proc;
  svc->context = contextPtr;
  svc->async = true;
  tb::ot::NotifyLater(svc, T_OPENCOMPLETE, kOTNoError, svc);
  return kOTNoError;
}

OSStatus OTATalkGetMyZone(ATSvcRef ref, TNetbuf* zone) {
  return answer(ref, zone, T_GETMYZONECOMPLETE, {tb::AppleTalkConfig().myZone});
}

OSStatus OTATalkGetZoneList(ATSvcRef ref, TNetbuf* zoneList) {
  return answer(ref, zoneList, T_GETZONELISTCOMPLETE, tb::AppleTalkConfig().zones);
}

// The emulator: the boxes and their sockets on loopback, the services run
// on its one thread, the knobs tests turn, and the free loopback addresses
// and ports it picks.
#include "pboxemu/emulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "atalk_node.h"
#include "box.h"
#include "reactor.h"
#include "toolbox/clock.h"
#include "toolbox/netconfig.h"

namespace pboxemu {

namespace {

constexpr UInt32 kLoopbackBroadcast = 0x7FFFFFFFu;  // 127.255.255.255
constexpr UInt16 kJcpPort = 19541;
constexpr UInt16 kJcpPortOld = 9;

std::string addrText(UInt32 a) {
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." + std::to_string((a >> 8) & 255) +
         "." + std::to_string(a & 255);
}

int udpSocket(UInt32 addr, UInt16 port, std::string* error) {
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s < 0) {
    if (error) *error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  int one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // A search answered by many boxes at once arrives as a burst.
  int buf = 1 << 20;
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, &buf, sizeof buf);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(addr);
  if (bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    if (error) *error = "bind " + addrText(addr) + ":" + std::to_string(port) + ": " + std::strerror(errno);
    close(s);
    return -1;
  }
  return s;
}

}  // namespace

struct Emulator::Impl {
  mutable std::mutex mu;
  UInt32 base = 0;
  std::vector<std::unique_ptr<BoxState>> boxes;
  Reactor reactor;
  std::vector<std::unique_ptr<Service>> services;
  FtpServer ftp;
  HoldServer hold;
  bool started = false;

  BoxState& box(int i) { return *boxes.at(std::size_t(i)); }
  const BoxState& box(int i) const { return *boxes.at(std::size_t(i)); }
  template <class F>
  void each(int i, F f) {
    if (i < 0)
      for (auto& b : boxes) f(*b);
    else
      f(box(i));
  }
};

namespace {

// The JCP responder over UDP: one socket per box on its own address, and
// one per JCP port on the loopback broadcast address.
class JcpUdpService : public Service {
 public:
  explicit JcpUdpService(Emulator::Impl& emu) : emu_(emu) {}
  ~JcpUdpService() override { Close(); }

  bool Open(Reactor& reactor, std::string* error) override {
    reactor_ = &reactor;
    std::map<UInt16, bool> ports;
    for (auto& b : emu_.boxes) {
      b->sock = udpSocket(b->addr, tb::MapPort(b->port), error);
      if (b->sock < 0) return false;
      int fd = b->sock;
      BoxState* box = b.get();
      reactor.Watch(fd, [this, box] { fromBoxSocket(*box); });
      ports[b->port] = true;
      if (b->desc.answersNewSearch) ports[kJcpPort] = true;
    }
    for (auto& [port, _] : ports) {
      int s = udpSocket(kLoopbackBroadcast, tb::MapPort(port), error);
      if (s < 0) return false;
      broadcastSocks_.push_back(s);
      UInt16 named = port;
      reactor.Watch(s, [this, s, named] { fromBroadcastSocket(s, named); });
    }
    return true;
  }

  void Close() override {
    for (auto& b : emu_.boxes)
      if (b->sock >= 0) {
        if (reactor_) reactor_->Unwatch(b->sock);
        close(b->sock);
        b->sock = -1;
      }
    for (int s : broadcastSocks_) {
      if (reactor_) reactor_->Unwatch(s);
      close(s);
    }
    broadcastSocks_.clear();
  }

 private:
  struct Datagram {
    std::vector<UInt8> bytes;
    UInt32 addr = 0;
    UInt16 port = 0;
    UInt32 tick = 0;  // when it came: a late reply counts from here
  };

  static bool receive(int s, Datagram& d) {
    d.bytes.resize(4096);
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(s, d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return false;
    d.bytes.resize(std::size_t(n));
    d.addr = ntohl(from.sin_addr.s_addr);
    d.port = ntohs(from.sin_port);
    d.tick = TickCount();
    return true;
  }

  void fromBoxSocket(BoxState& box) {
    Datagram d;
    while (receive(box.sock, d)) {
      std::lock_guard<std::mutex> lock(emu_.mu);
      answer(box, d, false);
    }
  }

  void fromBroadcastSocket(int s, UInt16 port) {
    Datagram d;
    while (receive(s, d)) {
      std::lock_guard<std::mutex> lock(emu_.mu);
      for (auto& b : emu_.boxes)
        if (b->port == port || (port == kJcpPort && b->desc.answersNewSearch)) answer(*b, d, true);
    }
  }

  void answer(BoxState& box, const Datagram& d, bool broadcast) {
    // The emulator never sends anywhere but loopback.
    if ((d.addr >> 24) != 127) return;
    std::vector<Reply> replies;
    HandleDatagram(box, d.bytes, d.addr, d.port, broadcast, replies);
    for (const Reply& r : replies) {
      std::vector<Outgoing> out;
      ApplyFault(box, r, d.bytes, out);
      for (Outgoing& o : out) {
        if (o.delay == 0) {
          send(box, o.bytes, d.addr, d.port);
        } else {
          BoxState* bp = &box;
          UInt32 addr = d.addr;
          UInt16 port = d.port;
          reactor_->At(d.tick + o.delay, [this, bp, bytes = std::move(o.bytes), addr, port] {
            std::lock_guard<std::mutex> lock(emu_.mu);
            send(*bp, bytes, addr, port);
          });
        }
      }
    }
    if (box.moveTo) move(box);
  }

  void move(BoxState& box) {
    UInt32 to = box.moveTo;
    box.moveTo = 0;
    for (auto& b : emu_.boxes)
      if (b->addr == to) return;  // another box has it
    int s = udpSocket(to, tb::MapPort(box.port), nullptr);
    if (s < 0) return;
    reactor_->Unwatch(box.sock);
    close(box.sock);
    box.sock = s;
    box.addr = to;
    BoxState* bp = &box;
    reactor_->Watch(s, [this, bp] { fromBoxSocket(*bp); });
  }

  static void send(BoxState& box, const std::vector<UInt8>& bytes, UInt32 addr, UInt16 port) {
    if (box.sock < 0) return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(addr);
    if (sendto(box.sock, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) >= 0)
      ++box.replies;
  }

  Emulator::Impl& emu_;
  Reactor* reactor_ = nullptr;
  std::vector<int> broadcastSocks_;
};

}  // namespace

Emulator::Emulator(UInt32 baseAddr) : impl_(std::make_unique<Impl>()) {
  impl_->base = baseAddr ? baseAddr : PickBaseAddress();
}

Emulator::~Emulator() { Stop(); }

int Emulator::AddBox(const BoxSpec& desc) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto b = std::make_unique<BoxState>();
  b->index = int(impl_->boxes.size());
  b->desc = desc;
  b->addr = impl_->base + UInt32(b->index);
  b->port = desc.oldVersion ? kJcpPortOld : kJcpPort;
  b->machineType = desc.hasMachineType ? desc.machineType : ModelMachineType(desc.model);
  if (desc.hasMac) {
    b->mac = desc.mac;
  } else {
    b->mac = {0x00, 0x80, 0x92, UInt8(b->addr >> 16), UInt8(b->addr >> 8), UInt8(b->addr)};
  }
  b->reportedIp = desc.noAddress ? 0 : b->addr;
  b->printerState = desc.printer;
  b->factory = ModelSettings(desc.model, b->addr, desc.ports);
  b->current = b->factory;
  b->portList = ModelPortList(desc.model, desc.ports);
  b->rng.seed(0x5EED0000u + UInt32(b->index));
  impl_->boxes.push_back(std::move(b));
  return impl_->boxes.back()->index;
}

void Emulator::AddBoxes(int n, const BoxSpec& desc) {
  for (int i = 0; i < n; ++i) AddBox(desc);
}

bool Emulator::Start(std::string* error) {
  if (impl_->started) return true;
  if ((impl_->base >> 24) != 127 || (impl_->base & 0xFF) == 0 ||
      (impl_->base & 0xFF) + impl_->boxes.size() > 255) {
    if (error) *error = "the boxes' addresses must lie in one 127.x.y.1-254 range";
    return false;
  }
  auto jcp = std::make_unique<JcpUdpService>(*impl_);
  if (!jcp->Open(impl_->reactor, error)) return false;
  impl_->services.push_back(std::move(jcp));
  if (std::any_of(impl_->boxes.begin(), impl_->boxes.end(), [](auto& b) { return b->desc.appleTalk; })) {
    auto atalk = MakeAppleTalkService(impl_->mu, impl_->boxes);
    if (!atalk->Open(impl_->reactor, error)) return false;
    impl_->services.push_back(std::move(atalk));
  }
  std::vector<UInt32> addrs;
  for (auto& b : impl_->boxes) addrs.push_back(b->addr);
  if (!impl_->ftp.open(impl_->reactor, addrs, error)) {
    impl_->services.clear();
    impl_->ftp.close();
    return false;
  }
  if (!impl_->hold.open(impl_->reactor, addrs, error)) {
    impl_->services.clear();
    impl_->ftp.close();
    impl_->hold.close();
    return false;
  }
  if (!impl_->reactor.Start(error)) {
    impl_->hold.close();
    impl_->ftp.close();
    impl_->services.clear();
    return false;
  }
  impl_->started = true;
  return true;
}

void Emulator::Stop() {
  impl_->reactor.Stop();
  for (auto& s : impl_->services) s->Close();
  impl_->services.clear();
  impl_->ftp.close();
  impl_->hold.close();
  impl_->started = false;
}

bool Emulator::Settle(int realMs) { return impl_->reactor.Settle(realMs); }

UInt64 Emulator::Activity() const { return impl_->reactor.Activity(); }

FtpServer& Emulator::Ftp() { return impl_->ftp; }
HoldServer& Emulator::Hold() { return impl_->hold; }

int Emulator::BoxCount() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return int(impl_->boxes.size());
}

UInt32 Emulator::BoxAddress(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).addr;
}

UInt16 Emulator::BoxPort(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).port;
}

std::array<UInt8, 6> Emulator::BoxMac(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).mac;
}

std::array<UInt8, 16> Emulator::BoxMachineType(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).machineType;
}

void Emulator::SetFault(int box, const FaultSpec& fault) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->each(box, [&](BoxState& b) {
    b.fault = fault;
    b.faultSeen = 0;
    b.faultHits = 0;
  });
}

void Emulator::ClearFaults() { SetFault(-1, FaultSpec{}); }

void Emulator::SetBusy(int box, int polls) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->each(box, [&](BoxState& b) { b.busy = polls; });
}

void Emulator::SetStatus(int box, UInt16 status) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->each(box, [&](BoxState& b) { b.desc.status = status; });
}

void Emulator::SetRestartTime(int box, UInt32 ticks) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->each(box, [&](BoxState& b) { b.restartTicks = ticks; });
}

void Emulator::SetBusyAfterSave(int box, int polls) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->each(box, [&](BoxState& b) { b.busyAfterSave = polls; });
}

void Emulator::SetPrinterState(int box, PrinterState state) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->each(box, [&](BoxState& b) {
    b.printerState = state;
    b.hasPrinterStatus = false;
  });
}

void Emulator::SetPrinterStatus(int box, const PrinterStatus& status) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->each(box, [&](BoxState& b) {
    b.printerStatus = status;
    b.hasPrinterStatus = true;
  });
}

void Emulator::SetNetDescription(int box, const NetDescription& net) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->each(box, [&](BoxState& b) {
    b.net = net;
    b.hasNet = true;
  });
}

void Emulator::SetStatusFault(int box, const StatusFaultSpec& fault) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->each(box, [&](BoxState& b) { b.statusFault = fault; });
}

int Emulator::MonitorRequests(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).monitorRequests;
}

void Emulator::SetCommandReply(int box, const std::string& command, std::vector<UInt8> data) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->each(box, [&](BoxState& b) { b.customReplies[command] = data; });
}

std::vector<UInt8> Emulator::Image(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).current.image;
}

void Emulator::SetSettings(int box, const SettingsBlocks& blocks) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->each(box, [&](BoxState& b) {
    b.factory = blocks;
    b.current = blocks;
  });
}

SettingsBlocks Emulator::Settings(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).current;
}

std::vector<UInt8> Emulator::LastSetData(int box, const std::string& command) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  const auto& m = impl_->box(box).lastSetData;
  auto it = m.find(command);
  return it == m.end() ? std::vector<UInt8>{} : it->second;
}

UInt32 Emulator::ReportedAddress(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).reportedIp;
}

UInt16 Emulator::BoxNetwork(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).atNetwork;
}

UInt8 Emulator::BoxNode(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).atNode;
}

UInt8 Emulator::BoxDdpSocket(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).atNode ? kJcpDdpSocket : 0;
}

int Emulator::NbpLookups(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).nbpLookups;
}

int Emulator::Probes(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).probes;
}

int Emulator::Replies(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).replies;
}

int Emulator::Executed(int box, const std::string& command) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  const auto& m = impl_->box(box).executed;
  auto it = m.find(command);
  return it == m.end() ? 0 : it->second;
}

std::vector<RequestRecord> Emulator::Requests(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).log;
}

void Emulator::ClearLog() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  for (auto& b : impl_->boxes) {
    b->log.clear();
    b->probes = 0;
    b->replies = 0;
    b->executed.clear();
    b->nbpLookups = 0;
  }
}

UInt32 PickBaseAddress() {
  UInt32 pid = UInt32(getpid());
  UInt32 x = 1 + (pid >> 8) % 254;
  UInt32 y = pid & 0xFF;
  return (127u << 24) | (x << 16) | (y << 8) | 1;
}

namespace {

constexpr UInt32 kPrivateFirst = 10000;
constexpr UInt32 kPrivateSlots = (30000 - kPrivateFirst) / kPrivatePortCount;

// True when nobody holds the port (UDP on the loopback broadcast address,
// where the emulator listens; TCP on every address).
bool portFree(UInt16 port, int type) {
  int s = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(type == SOCK_DGRAM ? kLoopbackBroadcast : INADDR_ANY);
  bool ok = bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  close(s);
  return ok;
}

// The first port of this process's block: a slot locked through a file
// that every test process shares, held until the process ends (the lock
// goes with it, even on a crash), so no two processes ever get the same
// block; a slot whose ports someone outside the scheme holds is skipped.
UInt32 privateBlock() {
  static const UInt32 first = [] {
    const std::string dir = "/tmp/vemo-test-ports-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    const UInt32 start = UInt32(getpid()) % kPrivateSlots;
    for (UInt32 k = 0; k < kPrivateSlots; ++k) {
      const UInt32 slot = (start + k) % kPrivateSlots;
      const std::string lock = dir + "/" + std::to_string(slot);
      int fd = open(lock.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
      if (fd < 0) break;
      if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        continue;
      }
      const UInt32 port = kPrivateFirst + slot * kPrivatePortCount;
      bool free = true;
      for (UInt32 i = 0; i < kPrivatePortCount && free; ++i)
        free = portFree(UInt16(port + i), SOCK_DGRAM) && portFree(UInt16(port + i), SOCK_STREAM);
      if (!free) {
        close(fd);
        continue;
      }
      return port;  // fd stays open: the lock lasts as long as the process
    }
    // No lock folder: the old way, from the process id.
    return kPrivateFirst + (UInt32(getpid()) % kPrivateSlots) * kPrivatePortCount;
  }();
  return first;
}

}  // namespace

UInt16 PrivatePort(int i) {
  return UInt16(privateBlock() + UInt32(std::clamp(i, 0, int(kPrivatePortCount) - 1)));
}

UInt16 PrivateAppleTalkNetwork() { return UInt16(1 + (privateBlock() - kPrivateFirst) / kPrivatePortCount * 4); }

std::string PrivatePortMap() {
  return std::to_string(kJcpPortOld) + ":" + std::to_string(PrivatePort(0)) + "," + std::to_string(kJcpPort) + ":" +
         std::to_string(PrivatePort(1));
}

}  // namespace pboxemu

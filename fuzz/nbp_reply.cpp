// NBP reply parsing: a name lookup for the print boxes (object "=", type
// CTRLJCP1, the own zone) as the JCP search starts one, answered by a node
// of the test's own AppleTalk network on loopback with fuzzed datagrams.
// Asynchronous lookups report each row as it arrives and the owner copies
// the rows found so far, as the search's callback does; synchronous ones
// collect for the whole time-out and hand the rows over. Every row must be
// exactly the first tuple of a well-formed lookup reply.
//
// Input: a byte whose bit 0 asks for a synchronous lookup, then datagrams:
// a flag byte (bit 0: raw, sent without the DDP header this layer adds;
// bits 1-2: 1 pads the datagram with zeros to exactly the lookup's receive
// buffer, 2 to one byte more; bit 3: the id stays as given, else it becomes
// the lookup's own), a length (u16, at most 1024) and the bytes. Only a
// reply carrying the lookup's id gives a row.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "OT/NBPLookup.h"
#include "fuzz_support.h"
#include "toolbox/clock.h"
#include "toolbox/memory.h"
#include "toolbox/netconfig.h"
#include "toolbox/opentransport.h"
#include "toolbox/pump.h"

namespace {

// A port base no test uses (they have 30000; private test ports end below
// it, and the ephemeral range starts at 32768): the lookups a fuzz run
// broadcasts by the thousand must not fill the broadcast queues of tests
// running beside it, nor theirs reach us.
constexpr UInt16 kPortBase = 31000;
constexpr UInt8 kOwnNode = 5;
constexpr UInt8 kPeerNode = 60;
constexpr UInt32 kTimeoutMs = 1000;

// A network of this process's own, so that lookups of other processes on
// loopback (tests, other fuzzers) are told apart.
const UInt16 kNetwork = UInt16(1 + ::getpid() % 0xFE00);

UInt32 NodeHost(UInt8 node) { return 0x7Fu << 24 | UInt32(kNetwork) << 8 | node; }

sockaddr_in HostAddr(UInt32 host, UInt16 port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(host);
  return a;
}

// Once per process: an AppleTalk configuration of our own, the network
// confined to loopback, Open Transport up, the virtual clock.
void Init() {
  static fuzz::ScratchFile conf("appletalk.conf");
  static const bool done = [] {
    const std::string text = "network = " + std::to_string(kNetwork) + "\nnode = " + std::to_string(kOwnNode) +
                             "\nport-base = " + std::to_string(kPortBase) + "\n";
    conf.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    ::setenv("TOOLBOX_APPLETALK_CONF", conf.path().c_str(), 1);
    ::setenv("TOOLBOX_NET", "loopback", 1);
    ::unsetenv("TOOLBOX_PORTMAP");
    tb::ReloadNetConfig();
    tb::ReloadAppleTalkConfig();
    fuzz::Check(OT_Init() == kOTNoError, "OT_Init");
    tb::UseVirtualClock(true);
    return true;
  }();
  (void)done;
}

// The node that answers: its names information socket, and its share of
// the loopback broadcast where the lookups arrive.
class PeerNode {
 public:
  PeerNode() {
    unicast_ = Open(NodeHost(kPeerNode), false);
    broadcast_ = Open(0x7FFFFFFF, true);
  }
  ~PeerNode() {
    ::close(unicast_);
    ::close(broadcast_);
  }
  PeerNode(const PeerNode&) = delete;
  PeerNode& operator=(const PeerNode&) = delete;

  int broadcastFd() const { return broadcast_; }

  // Takes the lookups waiting on our network; true when one came, with the
  // socket that sent it.
  bool TakeLookup() {
    bool any = false;
    for (;;) {
      UInt8 buf[1024];
      sockaddr_in from{};
      socklen_t n = sizeof from;
      const ssize_t got = ::recvfrom(broadcast_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &n);
      if (got < 0) return any;
      const UInt32 h = ntohl(from.sin_addr.s_addr);
      if (got < 2 || buf[0] != 0xDD || UInt16(h >> 8) != kNetwork) continue;  // another process's
      fuzz::Check(UInt8(h) == kOwnNode && buf[1] == NBP_DDP_TYPE, "a lookup from our node, DDP type 2");
      fuzz::Check(got > 2 && (buf[2] >> 4) == NBP_FUNC_LKUP, "a lookup packet");
      lookupSocket_ = UInt8(ntohs(from.sin_port) - kPortBase);
      any = true;
    }
  }
  void Send(std::span<const std::uint8_t> datagram) const {
    const sockaddr_in to = HostAddr(NodeHost(kOwnNode), UInt16(kPortBase + lookupSocket_));
    ::sendto(unicast_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }

 private:
  static int Open(UInt32 host, bool shared) {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    fuzz::Check(s >= 0, "node socket");
    int one = 1;
    if (shared) ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    const sockaddr_in a = HostAddr(host, UInt16(kPortBase + NBP_NIS_SOCKET));
    fuzz::Check(::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0, "node socket bound");
    return s;
  }
  int unicast_ = -1;
  int broadcast_ = -1;
  UInt8 lookupSocket_ = 0;
};

// One datagram as it goes on the wire, and the row it must give (none for
// anything but the first tuple of a well-formed lookup reply that fits the
// receive buffer).
struct Reply {
  std::vector<UInt8> wire;
  std::optional<NBPAddrTable> row;
};

std::optional<NBPAddrTable> RowOf(std::span<const UInt8> d, UInt8 id) {
  if (d.size() > kNBPRcvBufSize || d.size() < 7 || (d[0] >> 4) != NBP_FUNC_REPLY || (d[0] & 0x0F) == 0 ||
      d[1] != id)
    return std::nullopt;
  NBPAddrTable row{};
  row.addrType = kOTDDPAddressType;
  row.network = be::get16(&d[2]);
  row.node = d[4];
  row.socket = d[5];
  row.ddpType = NBP_DDP_TYPE;
  std::size_t pos = 7;
  for (UInt8* field : {row.object, row.type, row.zone}) {
    if (pos >= d.size() || d[pos] > kNBPMaxNameLength || d.size() - pos - 1 < d[pos]) return std::nullopt;
    std::memcpy(field, &d[pos], std::size_t(d[pos]) + 1);
    pos += std::size_t(d[pos]) + 1;
  }
  return row;
}

// The id of the next lookup: advanced before each, 255 followed by 1.
UInt8 NextLookupId() { return nbp::transID == 255 ? 1 : UInt8(nbp::transID + 1); }

std::vector<Reply> Replies(fuzz::Cursor& in, UInt8 id) {
  std::vector<Reply> out;
  while (in.left() && out.size() < 64) {
    const std::uint8_t flags = in.U8();
    const std::size_t len = in.U16() % 1025;
    const std::span<const std::uint8_t> bytes = in.Bytes(len);
    Reply r;
    const bool raw = flags & 1;
    if (!raw) r.wire = {0xDD, NBP_DDP_TYPE};
    r.wire.insert(r.wire.end(), bytes.begin(), bytes.end());
    const std::size_t head = raw ? 0 : 2;
    const int pad = (flags >> 1) & 3;
    if (pad == 1 || pad == 2) r.wire.resize(std::max(r.wire.size(), head + kNBPRcvBufSize + (pad == 2)));
    if (!(flags & 8) && r.wire.size() > head + 1) r.wire[head + 1] = id;
    if (r.wire.size() >= 2 && r.wire[0] == 0xDD && r.wire[1] == NBP_DDP_TYPE)
      r.row = RowOf(std::span<const UInt8>(r.wire).subspan(2), id);
    out.push_back(std::move(r));
  }
  return out;
}

bool SameRow(const NBPAddrTable& a, const NBPAddrTable& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// What the owner's callback saw.
struct Seen {
  std::vector<NBPAddrTable> copied;  // the rows found so far, as last copied
  int rows = 0;
  int ends = 0;
};
Seen seen;

// The JCP search's callback: each new row makes it copy every row found so
// far into its own table.
void LookupCallback(NBPEPInfo* ep, NBPAddrTable* row, void* ref, SInt16 status) {
  fuzz::Check(ref == &seen, "the callback gets the owner's reference");
  if (status == NBP_NOTIFY_ROW) {
    fuzz::Check(seen.ends == 0, "no row after the end");
    const SInt16 cnt = ep->nbpAddrTableCnt;
    fuzz::Check(cnt == seen.rows + 1 && row == &ep->nbpAddrTable[cnt - 1], "the new row is the table's last");
    seen.copied.assign(ep->nbpAddrTable, ep->nbpAddrTable + cnt);
    ++seen.rows;
    return;
  }
  fuzz::Check(row == nullptr, "the end hands over no row");
  fuzz::Check(status == NBP_NOTIFY_SUCCESS || status == NBP_NOTIFY_TIMEOUT || status == NBP_NOTIFY_ERROR,
              "an end status");
  fuzz::Check(ep->nbpAddrTable == nullptr && ep->nbpAddrTableCnt == 0, "the table goes before the end");
  ++seen.ends;
}

void CheckRows(const std::vector<Reply>& replies, const NBPAddrTable* rows, int count) {
  int want = 0;
  for (const Reply& r : replies) {
    if (!r.row) continue;
    fuzz::Check(want < count, "every well-formed reply gives a row");
    fuzz::Check(SameRow(rows[want], *r.row), "a row is the reply's first tuple");
    ++want;
  }
  fuzz::Check(want == count, "nothing else gives a row");
}

// One turn of the event loop, which must stay short however the peer floods.
void TimedPump(int waitMs) {
  fuzz::TimedTurn([&] { tb::Pump(waitMs); });
}

void Pump(int passes) {
  for (int i = 0; i < passes; ++i) TimedPump(0);
}

void Asynchronous(PeerNode& node, NBPEPInfo* ep, const std::vector<Reply>& replies) {
  OSStatus err = 1;
  short count = -1;
  fuzz::Check(NBP_LookupName(ep, "=", "CTRLJCP1", "*", kTimeoutMs, &err, &count, true) == nullptr && err == 0 &&
                  count == 0,
              "an asynchronous lookup starts");
  bool asked = false;
  for (int i = 0; i < 3000 && !asked; ++i) {
    TimedPump(i < 100 ? 0 : 1);
    asked = node.TakeLookup();
  }
  fuzz::Check(asked, "the lookup is sent");
  int want = 0;
  for (const Reply& r : replies) {
    node.Send(r.wire);
    want += r.row.has_value();
    Pump(3);
  }
  // Every answer is read before the lookup ends (the end flushes the rest).
  for (int i = 0; i < 500 && seen.rows < want; ++i) TimedPump(i < 100 ? 0 : 1);
  CheckRows(replies, seen.copied.data(), seen.rows);
  NBP_KillIOEvent(ep);
  for (int i = 0; i < 3000 && NBP_IsActive(ep); ++i) TimedPump(i < 100 ? 0 : 1);
  fuzz::Check(!NBP_IsActive(ep) && seen.ends == 1, "a killed lookup ends once");
}

// Drives a synchronous lookup from inside its own event loop: the node
// answers the lookup a few datagrams per pass, and once all are out the
// clock jumps past the time-out on a later pass, after the lookup has read
// them.
class SyncDriver {
 public:
  SyncDriver(PeerNode& node, const std::vector<Reply>& replies) : node_(node), replies_(replies) {
    tick_ = ::eventfd(1, EFD_CLOEXEC);  // stays readable: a call on every pass
    fuzz::Check(tick_ >= 0, "eventfd");
    tickWatch_ = tb::WatchFD(tick_, tb::kReadable, [this](int, short) { Tick(); });
    nodeWatch_ = tb::WatchFD(node.broadcastFd(), tb::kReadable, [this](int, short) { asked_ |= node_.TakeLookup(); });
  }
  ~SyncDriver() {
    tb::UnwatchFD(tickWatch_);
    tb::UnwatchFD(nodeWatch_);
    ::close(tick_);
  }
  SyncDriver(const SyncDriver&) = delete;
  SyncDriver& operator=(const SyncDriver&) = delete;

  bool asked() const { return asked_; }

 private:
  void Tick() {
    if (asked_ && next_ < replies_.size()) {
      for (int k = 0; k < 4 && next_ < replies_.size(); ++k) node_.Send(replies_[next_++].wire);
      return;
    }
    // Without a lookup seen at all, give up after real seconds, not passes:
    // a loaded machine may take many quick passes to deliver it.
    if ((asked_ && ++quiet_ >= 2) || (!asked_ && tb::MonotonicMicros() - start_ > 2'000'000))
      tb::AdvanceTicks(MilliToTick(kTimeoutMs) * 2 + 1);
  }
  PeerNode& node_;
  const std::vector<Reply>& replies_;
  std::size_t next_ = 0;
  bool asked_ = false;
  int quiet_ = 0;
  const UInt64 start_ = tb::MonotonicMicros();
  int tick_ = -1;
  int tickWatch_ = 0;
  int nodeWatch_ = 0;
};

void Synchronous(PeerNode& node, NBPEPInfo* ep, const std::vector<Reply>& replies) {
  OSStatus err = 1;
  short count = -1;
  NBPAddrTable* rows;
  bool asked;
  {
    SyncDriver driver(node, replies);
    rows = NBP_LookupName(ep, "=", "CTRLJCP1", "*", kTimeoutMs, &err, &count, false);
    asked = driver.asked();
  }
  fuzz::Check(asked && err == 0, "a synchronous lookup runs");
  fuzz::Check(count >= 0 && (count == 0) == (rows == nullptr), "rows come with their count");
  fuzz::Check(!rows || GetPtrSize(reinterpret_cast<Ptr>(rows)) >= Size(count * sizeof(NBPAddrTable)),
              "the rows fit their block");
  CheckRows(replies, rows, count);
  fuzz::Check(seen.rows == 0 && seen.ends == 0, "a synchronous lookup calls nobody");
  fuzz::Check(ep->nbpAddrTable == nullptr && !NBP_IsActive(ep), "the rows are the caller's");
  if (rows) DisposePtr(reinterpret_cast<Ptr>(rows));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Init();
  static PeerNode node;
  node.TakeLookup();  // nothing left over from the input before
  fuzz::Cursor in(data, size);
  const bool sync = in.U8() & 1;
  const std::vector<Reply> replies = Replies(in, NextLookupId());

  seen = Seen{};
  auto ep = std::make_unique<NBPEPInfo>();
  std::memset(ep.get(), 0, sizeof *ep);
  ep->NotifyProcPtr = &LookupCallback;
  ep->ref = &seen;
  if (sync)
    Synchronous(node, ep.get(), replies);
  else
    Asynchronous(node, ep.get(), replies);
  fuzz::Check(tb::OTOpenProviderCount() == 0, "no endpoint is left open");
  return 0;
}

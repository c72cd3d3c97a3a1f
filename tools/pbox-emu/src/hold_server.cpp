// The boxes' held jobs: the folder and job model, the held-job protocol on
// port 2249 and the line-printer daemon on port 515, with their knobs and
// fault modes.
#include "pboxemu/hold_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "pboxemu/emulator.h"
#include "reactor.h"
#include "toolbox/clock.h"
#include "toolbox/iobuf.h"
#include "toolbox/netconfig.h"

namespace pboxemu {

namespace {

constexpr UInt16 kVfmpPort = 2249;
constexpr UInt16 kLpdPort = 515;
constexpr std::size_t kMaxInput = 128 * 1024;
constexpr std::size_t kDefaultFrameBody = 16380;

using Bytes = std::vector<UInt8>;

sockaddr_in inet(UInt32 addr, UInt16 port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(addr);
  return sa;
}

bool sendAll(int fd, const UInt8* p, std::size_t n) {
  std::size_t off = 0;
  while (off < n) {
    tb::IoResult r = tb::SocketRetry(fd, POLLOUT, 2000, [&] { return send(fd, p + off, n - off, MSG_NOSIGNAL); });
    if (!r.ok() || r.n == 0) return false;
    off += std::size_t(r.n);
  }
  return true;
}

void resetAndClose(int fd) {
  linger l{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::close(fd);
}

void put16(Bytes& b, UInt16 v) {
  b.push_back(UInt8(v >> 8));
  b.push_back(UInt8(v));
}
void rec(Bytes& b, UInt16 tag, const void* v, std::size_t n) {
  put16(b, tag);
  put16(b, UInt16(n));
  const auto* p = static_cast<const UInt8*>(v);
  b.insert(b.end(), p, p + n);
}
void rec8(Bytes& b, UInt16 tag, UInt8 v) { rec(b, tag, &v, 1); }
void rec16(Bytes& b, UInt16 tag, UInt16 v) {
  UInt8 x[2] = {UInt8(v >> 8), UInt8(v)};
  rec(b, tag, x, 2);
}
void rec32(Bytes& b, UInt16 tag, UInt32 v) {
  UInt8 x[4] = {UInt8(v >> 24), UInt8(v >> 16), UInt8(v >> 8), UInt8(v)};
  rec(b, tag, x, 4);
}
void recText(Bytes& b, UInt16 tag, const std::string& s) { rec(b, tag, s.data(), std::min<std::size_t>(s.size(), 0xFFFF)); }

UInt32 get32(const UInt8* p) { return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | p[3]; }

// A small 24-bit picture of one page: a frame and a band at the page's
// height, so that pages differ.
Bytes Thumbnail(UInt32 job, UInt16 page) {
  const int w = 24, h = 32, row = (w * 3 + 3) & ~3;
  Bytes b;
  auto le32 = [&](UInt32 v) {
    for (int i = 0; i < 4; ++i) b.push_back(UInt8(v >> (8 * i)));
  };
  auto le16 = [&](UInt16 v) {
    b.push_back(UInt8(v));
    b.push_back(UInt8(v >> 8));
  };
  b.push_back('B');
  b.push_back('M');
  le32(UInt32(54 + row * h));
  le32(0);
  le32(54);
  le32(40);
  le32(UInt32(w));
  le32(UInt32(h));
  le16(1);
  le16(24);
  le32(0);
  le32(UInt32(row * h));
  le32(2835);
  le32(2835);
  le32(0);
  le32(0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      bool edge = x == 0 || y == 0 || x == w - 1 || y == h - 1;
      bool band = y == int((page * 5 + job) % UInt32(h));
      UInt8 v = edge || band ? 0 : 255;
      b.push_back(v);
      b.push_back(band ? 200 : v);
      b.push_back(v);
    }
    for (int p = w * 3; p < row; ++p) b.push_back(0);
  }
  return b;
}

UInt8 PatternByte(UInt32 job, std::size_t i) { return UInt8((i * 7 + job) & 0xFF); }

}  // namespace

struct HoldServer::Impl {
  struct Box {
    UInt32 addr = 0;
    int vfmpFd = -1;
    int lpdFd = -1;
    std::vector<HeldFolder> folders;
    std::vector<HeldJob> jobs;
    UInt32 nextJob = 0x1001;
    UInt32 change = 1;
    bool newer = false;
    UInt32 filingDelay = 0;
    std::size_t frameBody = kDefaultFrameBody;
    std::size_t piece = 0;
    int notReady = 0;
    HoldFaultSpec fault;
    int faultSeen = 0, faultHits = 0;
    LpdFaultSpec lpdFault;
    int lpdHits = 0;
    std::vector<Bytes> requests;
    int connections = 0;
    std::vector<LprSession> lpr;
    bool gone = false;
  };
  struct Conn {
    int box = 0;
    int fd = -1;
    bool lpd = false;
    Bytes input;
    bool silent = false;
    // Line-printer session.
    LprSession s;
    int phase = 0;  // 0 queue line, 1 subcommand line, 2 file bytes
    bool fileIsData = false;
    std::size_t fileLeft = 0;
    int acks = 0;
    bool faulted = false;
    bool gotData = false, gotControl = false;
  };

  mutable std::mutex mu;
  bool enabled = false;
  bool lineprinter = true;
  Reactor* reactor = nullptr;
  std::map<int, Box> boxes;
  std::map<int, std::unique_ptr<Conn>> conns;
  int nextId = 1;

  Box& box(int i) { return boxes[i]; }

  void closeConn(int id, bool reset = false) {
    auto it = conns.find(id);
    if (it == conns.end()) return;
    Conn& c = *it->second;
    if (c.lpd) finishLpr(c);
    if (c.fd >= 0) {
      reactor->Unwatch(c.fd);
      if (reset)
        resetAndClose(c.fd);
      else
        ::close(c.fd);
    }
    conns.erase(it);
  }

  // The box stops reading and answering on every connection and takes no
  // new ones; its sockets stay open until the server closes.
  void vanish(int boxIndex) {
    Box& b = box(boxIndex);
    if (b.gone) return;
    b.gone = true;
    for (int fd : {b.vfmpFd, b.lpdFd})
      if (fd >= 0) reactor->Unwatch(fd);
    for (auto& [id, c] : conns)
      if (c->box == boxIndex && c->fd >= 0) reactor->Unwatch(c->fd);
  }

  void onListen(int boxIndex, bool lpd) {
    std::lock_guard<std::mutex> lock(mu);
    Box& b = box(boxIndex);
    if (b.gone) return;
    for (;;) {
      sockaddr_in peer{};
      socklen_t len = sizeof peer;
      int fd = accept4(lpd ? b.lpdFd : b.vfmpFd, reinterpret_cast<sockaddr*>(&peer), &len,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return;
      }
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      auto c = std::make_unique<Conn>();
      c->box = boxIndex;
      c->fd = fd;
      c->lpd = lpd;
      int id = nextId++;
      if (lpd) {
        c->s.sourcePort = tb::UnmapPort(ntohs(peer.sin_port));
        if (b.lpdFault.mode != LpdFault::None && (b.lpdFault.count < 0 || b.lpdHits < b.lpdFault.count)) {
          b.lpdHits++;
          c->faulted = true;
          if (b.lpdFault.mode == LpdFault::SmallWindow) {
            int sz = int(b.lpdFault.bytes);
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &sz, sizeof sz);
          }
        }
      } else {
        b.connections++;
      }
      conns[id] = std::move(c);
      reactor->Watch(fd, [this, id] { onReadable(id); });
    }
  }

  void onReadable(int id) {
    std::lock_guard<std::mutex> lock(mu);
    auto it = conns.find(id);
    if (it == conns.end()) return;
    Conn& c = *it->second;
    Box& b = box(c.box);
    if (b.gone) return;
    bool slow = c.lpd && c.faulted && b.lpdFault.mode == LpdFault::SmallWindow;
    UInt8 buf[65536];
    std::size_t want = slow ? std::max<std::size_t>(1, b.lpdFault.bytes / 2) : sizeof buf;
    ssize_t n = recv(c.fd, buf, want, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
      closeConn(id);
      return;
    }
    if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (c.lpd) {
      c.s.raw.insert(c.s.raw.end(), buf, buf + n);
      c.input.insert(c.input.end(), buf, buf + n);
      lprInput(id);
      return;
    }
    c.input.insert(c.input.end(), buf, buf + n);
    if (c.input.size() > kMaxInput) {
      closeConn(id, true);
      return;
    }
    while (c.input.size() >= 2) {
      std::size_t len = (std::size_t(c.input[0]) << 8 | c.input[1]) + 2;
      if (c.input.size() < len) break;
      Bytes frame(c.input.begin(), c.input.begin() + std::ptrdiff_t(len));
      c.input.erase(c.input.begin(), c.input.begin() + std::ptrdiff_t(len));
      if (!request(id, frame)) return;  // the connection went
      if (conns.find(id) == conns.end()) return;
    }
  }

  // The records of one frame's body: tag -> value (the first of each tag).
  static std::map<UInt16, Bytes> records(const Bytes& frame) {
    std::map<UInt16, Bytes> out;
    std::size_t p = 3;
    while (p + 4 <= frame.size()) {
      UInt16 tag = UInt16(frame[p] << 8 | frame[p + 1]);
      std::size_t n = std::size_t(frame[p + 2] << 8 | frame[p + 3]);
      p += 4;
      if (p + n > frame.size()) break;
      out.emplace(tag, Bytes(frame.begin() + std::ptrdiff_t(p), frame.begin() + std::ptrdiff_t(p + n)));
      p += n;
    }
    return out;
  }

  HeldJob* findJob(Box& b, const Bytes& id) {
    if (id.size() != 4) return nullptr;
    UInt32 v = get32(id.data());
    for (HeldJob& j : b.jobs)
      if (j.id == v) return &j;
    return nullptr;
  }

  void jobRecords(Bytes& r, const HeldJob& j) {
    rec32(r, 0x0002, j.id);
    recText(r, 0x0003, j.name);
    recText(r, 0x0004, j.owner);
    rec8(r, 0x0005, j.byte05);
    UInt8 date[6] = {UInt8(j.year >> 8), UInt8(j.year), j.month, j.day, j.hour, j.minute};
    rec(r, 0x0006, date, 6);
    rec32(r, 0x0008, jobSize(j));
    rec8(r, 0x000F, j.language);
    rec8(r, 0x0010, j.system);
    rec32(r, 0x0028, j.folder);
  }

  static UInt32 jobSize(const HeldJob& j) { return j.size ? j.size : UInt32(j.data.size()); }

  // Cuts the records into frames of the box's frame size (records may run
  // across frames), results 1 then 0.
  Bytes frames(Box& b, UInt8 code, const Bytes& body) {
    Bytes out;
    std::size_t at = 0;
    do {
      std::size_t n = std::min(b.frameBody, body.size() - at);
      bool last = at + n >= body.size();
      put16(out, UInt16(n + 2));
      out.push_back(code);
      out.push_back(last ? 0 : 1);
      out.insert(out.end(), body.begin() + std::ptrdiff_t(at), body.begin() + std::ptrdiff_t(at + n));
      at += n;
    } while (at < body.size());
    return out;
  }

  static Bytes echo(UInt8 code, UInt8 result) { return Bytes{0, 2, code, result}; }

  bool faultHits(Box& b, UInt8 code) {
    const HoldFaultSpec& f = b.fault;
    if (f.mode == HoldFault::None || (f.code && f.code != code)) return false;
    if (b.faultSeen++ < f.skip) return false;
    if (f.count >= 0 && b.faultHits >= f.count) return false;
    b.faultHits++;
    return true;
  }

  // Answers one request frame; false when the connection was closed.
  bool request(int id, const Bytes& frame) {
    Conn& c = *conns[id];
    Box& b = box(c.box);
    b.requests.push_back(frame);
    if (frame.size() < 3) return true;
    const UInt8 code = frame[2];
    if (c.silent) return true;
    if (faultHits(b, code)) {
      switch (b.fault.mode) {
        case HoldFault::Silent: c.silent = true; return true;
        case HoldFault::Result: return write(id, echo(code, b.fault.result));
        case HoldFault::Reset: {
          Bytes r = reply(b, code, frame);
          std::size_t n = std::min<std::size_t>(b.fault.bytes, r.size());
          if (n) sendAll(c.fd, r.data(), n);
          closeConn(id, true);
          return false;
        }
        case HoldFault::Stall: {
          Bytes r = reply(b, code, frame);
          if (code == 8)
            if (HeldJob* j = findJob(b, records(frame)[0x0002])) r = downloadReply(b, *j);
          sendAll(c.fd, r.data(), std::min<std::size_t>(b.fault.bytes, r.size()));
          c.silent = true;
          return true;
        }
        case HoldFault::Late: {
          Bytes r = reply(b, code, frame);
          if (code == 8)
            if (HeldJob* j = findJob(b, records(frame)[0x0002])) r = downloadReply(b, *j);
          reactor->At(TickCount() + b.fault.ticks, [this, id, r = std::move(r)] {
            std::lock_guard<std::mutex> lock(mu);
            if (conns.count(id) && !box(conns[id]->box).gone) write(id, r);
          });
          return true;
        }
        case HoldFault::Gone: vanish(c.box); return false;
        case HoldFault::None: break;
      }
    }
    if (b.notReady > 0) {
      b.notReady--;
      return write(id, echo(code, 2));
    }
    if (code == 8) {
      auto r = records(frame);
      if (HeldJob* j = findJob(b, r[0x0002])) return write(id, downloadReply(b, *j));
    }
    return write(id, reply(b, code, frame));
  }

  // The reply of a download: built once per job and frame size for a job
  // of the pattern (so a benchmark times the transfer, not the building),
  // afresh for a job with its own data.
  struct DownloadCache {
    UInt32 id = 0;
    std::size_t total = 0, chunk = 0;
    bool valid = false;
    Bytes out;
  } dl;
  const Bytes& downloadReply(Box& b, const HeldJob& jb) {
    const HeldJob* j = &jb;
    const std::size_t total = jobSize(*j);
    const std::size_t chunk = std::min<std::size_t>(b.frameBody, 16376) - 4;
    if (j->data.empty() && dl.valid && dl.id == j->id && dl.total == total && dl.chunk == chunk) return dl.out;
    dl.valid = j->data.empty();
    dl.id = j->id, dl.total = total, dl.chunk = chunk;
    Bytes& out = dl.out;
    out.clear();
    out.reserve(total + (total / chunk + 1) * 8);
    std::size_t at = 0;
    do {
      std::size_t n = std::min(chunk, total - at);
      put16(out, UInt16(n + 6));
      out.push_back(8);
      out.push_back(at + n >= total ? 0 : 1);
      put16(out, 0x0083);
      put16(out, UInt16(n));
      std::size_t base = out.size();
      out.resize(base + n);
      UInt8* d = out.data() + base;
      if (j->data.empty())
        for (std::size_t i = 0; i < n; ++i) d[i] = PatternByte(j->id, at + i);
      else
        std::memcpy(d, j->data.data() + at, n);
      at += n;
    } while (at < total);
    return out;
  }

  Bytes reply(Box& b, UInt8 code, const Bytes& frame) {
    auto r = records(frame);
    Bytes body;
    switch (code) {
      case 1: {
        UInt8 kind = r.count(0x0081) && !r[0x0081].empty() ? r[0x0081][0] : 0;
        if (kind == 3) {
          for (const HeldFolder& f : b.folders) {
            rec32(body, 0x0028, f.id);
            recText(body, 0x0029, f.name);
            rec8(body, 0x002A, f.attr2A);
            rec16(body, 0x002B, f.attr2B);
            rec8(body, 0x000F, f.language);
            rec8(body, 0x0010, f.system);
            rec(body, 0x0032, nullptr, 0);
          }
        } else if (kind == 1 || kind == 2) {
          UInt32 folder = r.count(0x0028) && r[0x0028].size() == 4 ? get32(r[0x0028].data()) : 0;
          for (const HeldJob& j : b.jobs) {
            if ((kind == 1) != j.listed) continue;
            if (kind == 2 && b.newer && j.folder != folder) continue;
            jobRecords(body, j);
            rec(body, 0x0032, nullptr, 0);
          }
        } else {
          return echo(code, 255);
        }
        return frames(b, code, body);
      }
      case 2: {
        rec32(body, 0x0080, b.change);
        return frames(b, code, body);
      }
      case 3: {
        HeldJob* j = findJob(b, r[0x0002]);
        if (!j) return echo(code, 254);
        rec32(body, 0x0002, j->id);
        recText(body, 0x0003, j->name);
        recText(body, 0x0004, j->owner);
        rec8(body, 0x0005, j->byte05);
        UInt8 date[6] = {UInt8(j->year >> 8), UInt8(j->year), j->month, j->day, j->hour, j->minute};
        rec(body, 0x0006, date, 6);
        rec16(body, 0x0007, j->pages);
        rec32(body, 0x0008, jobSize(*j));
        rec16(body, 0x0009, j->paper);
        rec16(body, 0x000A, j->resolution);
        rec16(body, 0x000B, 0x0102);
        rec16(body, 0x000C, 0x0304);
        rec8(body, 0x000D, 5);
        rec8(body, 0x000E, j->thumbnails ? 1 : 0);
        rec32(body, 0x0028, j->folder);
        return frames(b, code, body);
      }
      case 4: {
        HeldJob* j = findJob(b, r[0x0002]);
        if (!j) return echo(code, 254);
        b.jobs.erase(b.jobs.begin() + (j - b.jobs.data()));
        b.change++;
        return echo(code, 0);
      }
      case 5: {
        HeldJob* j = findJob(b, r[0x0002]);
        if (!j) return echo(code, 254);
        j->name.assign(r[0x0003].begin(), r[0x0003].end());
        j->owner.assign(r[0x0004].begin(), r[0x0004].end());
        if (r[0x000F].size() == 1) j->language = r[0x000F][0];
        if (r[0x0010].size() == 1) j->system = r[0x0010][0];
        b.change++;
        return echo(code, 0);
      }
      case 6: return findJob(b, r[0x0002]) ? echo(code, 0) : echo(code, 254);
      case 8: {
        HeldJob* j = findJob(b, r[0x0002]);
        if (!j) return echo(code, 254);
        return downloadReply(b, *j);
      }
      case 17: {
        HeldJob* j = findJob(b, r[0x0002]);
        if (!j) return echo(code, 254);
        UInt16 page = r[0x0088].size() == 2 ? UInt16(r[0x0088][0] << 8 | r[0x0088][1]) : 0;
        Bytes pic = Thumbnail(j->id, page);
        // One thumbnail record per frame, as the client reads the first only.
        Bytes out;
        for (std::size_t at = 0; at < pic.size(); at += 1000) {
          std::size_t n = std::min<std::size_t>(1000, pic.size() - at);
          put16(out, UInt16(n + 6));
          out.push_back(17);
          out.push_back(1);
          put16(out, 0x0089);
          put16(out, UInt16(n));
          out.insert(out.end(), pic.begin() + std::ptrdiff_t(at), pic.begin() + std::ptrdiff_t(at + n));
        }
        Bytes end = echo(17, 0);
        out.insert(out.end(), end.begin(), end.end());
        return out;
      }
      case 18: {
        UInt32 id = r[0x0028].size() == 4 ? get32(r[0x0028].data()) : 0;
        for (HeldFolder& f : b.folders)
          if (f.id == id) {
            f.name.assign(r[0x0029].begin(), r[0x0029].end());
            if (r[0x000F].size() == 1) f.language = r[0x000F][0];
            if (r[0x0010].size() == 1) f.system = r[0x0010][0];
            b.change++;
            return echo(code, 0);
          }
        return echo(code, 254);
      }
      case 19: {
        HeldJob* j = findJob(b, r[0x0002]);
        if (!j || r[0x002C].size() != 4) return echo(code, 254);
        j->folder = get32(r[0x002C].data());
        b.change++;
        return echo(code, 0);
      }
      default: return echo(code, 255);
    }
  }

  bool write(int id, const Bytes& out) {
    Conn& c = *conns[id];
    Box& b = box(c.box);
    if (!b.piece) return sendAll(c.fd, out.data(), out.size());
    for (std::size_t at = 0; at < out.size(); at += b.piece) {
      if (!sendAll(c.fd, out.data() + at, std::min(b.piece, out.size() - at))) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    return true;
  }

  // --- line-printer daemon ---

  void ack(int id, Conn& c) {
    Box& b = box(c.box);
    int step = ++c.acks;
    UInt8 v = 0;
    if (c.faulted && step == b.lpdFault.step) {
      switch (b.lpdFault.mode) {
        case LpdFault::NoAck: return;
        case LpdFault::LateAck:
          reactor->At(TickCount() + b.lpdFault.ticks, [this, id] {
            std::lock_guard<std::mutex> lock(mu);
            auto it = conns.find(id);
            UInt8 zero = 0;
            if (it != conns.end() && !box(it->second->box).gone) sendAll(it->second->fd, &zero, 1);
          });
          return;
        case LpdFault::NonZeroAck: v = b.lpdFault.value; break;
        case LpdFault::HangUpAtAck: closeConn(id, true); return;
        default: break;
      }
    }
    sendAll(c.fd, &v, 1);
    if (c.faulted && step == b.lpdFault.step && b.lpdFault.mode == LpdFault::TrailingBytes) {
      const Bytes more(b.lpdFault.bytes, 0);
      sendAll(c.fd, more.data(), more.size());
    }
  }

  static bool queueIndex(const std::string& q, std::size_t folders, std::size_t& n) {
    if (q.rfind("hold_", 0) != 0 || q.size() == 5 || q.size() > 8) return false;
    n = 0;
    for (char ch : q.substr(5)) {
      if (ch < '0' || ch > '9') return false;
      n = n * 10 + std::size_t(ch - '0');
    }
    return n >= 1 && n <= folders;
  }

  void lprInput(int id) {
    Conn& c = *conns[id];
    Box& b = box(c.box);
    for (;;) {
      if (c.phase == 2) {
        std::size_t take = std::min(c.fileLeft, c.input.size());
        if (take) {
          if (c.fileIsData) {
            const bool cut = c.faulted && c.s.data.size() + take >= b.lpdFault.bytes;
            if (cut && (b.lpdFault.mode == LpdFault::CloseMid || b.lpdFault.mode == LpdFault::ResetMid)) {
              closeConn(id, b.lpdFault.mode == LpdFault::ResetMid);
              return;
            }
            if (cut && b.lpdFault.mode == LpdFault::Gone) {
              vanish(c.box);
              return;
            }
            c.s.data.insert(c.s.data.end(), c.input.begin(), c.input.begin() + std::ptrdiff_t(take));
          } else {
            c.s.control.append(c.input.begin(), c.input.begin() + std::ptrdiff_t(take));
          }
          c.input.erase(c.input.begin(), c.input.begin() + std::ptrdiff_t(take));
          c.fileLeft -= take;
        }
        if (c.fileLeft || c.input.empty()) return;
        UInt8 end = c.input.front();
        c.input.erase(c.input.begin());
        if (end != 0) {
          closeConn(id);
          return;
        }
        (c.fileIsData ? c.gotData : c.gotControl) = true;
        c.phase = 1;
        ack(id, c);
        if (conns.find(id) == conns.end()) return;
        continue;
      }
      auto lf = std::find(c.input.begin(), c.input.end(), UInt8('\n'));
      if (lf == c.input.end()) {
        if (c.input.size() > 1024) closeConn(id);
        return;
      }
      std::string line(c.input.begin(), lf);
      c.input.erase(c.input.begin(), lf + 1);
      if (line.empty()) {
        closeConn(id);
        return;
      }
      UInt8 op = UInt8(line[0]);
      std::string rest = line.substr(1);
      if (c.phase == 0) {
        std::size_t n = 0;
        c.s.queue = rest;
        if (op != 2 || !queueIndex(rest, b.folders.size(), n)) {
          UInt8 no = 1;
          sendAll(c.fd, &no, 1);
          closeConn(id);
          return;
        }
        c.phase = 1;
        ack(id, c);
        if (conns.find(id) == conns.end()) return;
        if (c.faulted && b.lpdFault.mode == LpdFault::NonZeroAck && c.acks == b.lpdFault.step) {
          closeConn(id);
          return;
        }
        continue;
      }
      // "count SP name" of a file to come.
      std::size_t sp = rest.find(' ');
      if ((op != 2 && op != 3) || sp == std::string::npos || sp == 0) {
        UInt8 no = 1;
        sendAll(c.fd, &no, 1);
        closeConn(id);
        return;
      }
      c.fileLeft = std::strtoull(rest.substr(0, sp).c_str(), nullptr, 10);
      c.fileIsData = op == 3;
      (c.fileIsData ? c.s.dataName : c.s.controlName) = rest.substr(sp + 1);
      c.phase = 2;
      ack(id, c);
      if (conns.find(id) == conns.end()) return;
      if (c.faulted && b.lpdFault.mode == LpdFault::NonZeroAck && c.acks == b.lpdFault.step) {
        closeConn(id);
        return;
      }
    }
  }

  static std::string controlLine(const std::string& control, char key) {
    std::size_t at = 0;
    while (at < control.size()) {
      std::size_t e = control.find('\n', at);
      if (e == std::string::npos) e = control.size();
      if (control[at] == key) return control.substr(at + 1, e - at - 1);
      at = e + 1;
    }
    return {};
  }

  void finishLpr(Conn& c) {
    Box& b = box(c.box);
    c.s.complete = c.gotData && c.gotControl;
    if (c.s.complete) {
      std::size_t n = 0;
      queueIndex(c.s.queue, b.folders.size(), n);
      std::vector<HeldFolder> sorted = b.folders;
      std::sort(sorted.begin(), sorted.end(), [](auto& x, auto& y) { return x.name < y.name; });
      HeldJob j;
      j.id = b.nextJob++;
      j.folder = n ? sorted[n - 1].id : 0;
      j.name = controlLine(c.s.control, 'N');
      j.owner = controlLine(c.s.control, 'P');
      j.data = c.s.data;
      j.listed = b.filingDelay != 0;
      b.jobs.push_back(std::move(j));
      b.change++;
      if (b.filingDelay) {
        UInt32 jobId = b.jobs.back().id;
        int boxIndex = c.box;
        reactor->At(TickCount() + b.filingDelay, [this, boxIndex, jobId] {
          std::lock_guard<std::mutex> lock(mu);
          Box& bx = box(boxIndex);
          for (HeldJob& job : bx.jobs)
            if (job.id == jobId) job.listed = false;
          bx.change++;
        });
      }
    }
    b.lpr.push_back(std::move(c.s));
  }
};

HoldServer::HoldServer() : impl_(std::make_unique<Impl>()) {}
HoldServer::~HoldServer() { close(); }

void HoldServer::Enable(bool lineprinter) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->enabled = true;
  impl_->lineprinter = lineprinter;
}

bool HoldServer::Enabled() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->enabled;
}

void HoldServer::AddFolder(int box, const HeldFolder& folder) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->box(box).folders.push_back(folder);
  impl_->box(box).change++;
}

UInt32 HoldServer::AddJob(int box, HeldJob job) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto& b = impl_->box(box);
  if (!job.id) job.id = b.nextJob++;
  UInt32 id = job.id;
  b.jobs.push_back(std::move(job));
  b.change++;
  return id;
}

std::vector<HeldFolder> HoldServer::Folders(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).folders;
}

std::vector<HeldJob> HoldServer::Jobs(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).jobs;
}

void HoldServer::SetNewer(int box, bool newer) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->box(box).newer = newer;
}

void HoldServer::Touch(int box) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->box(box).change++;
}

void HoldServer::SetFilingDelay(int box, UInt32 ticks) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->box(box).filingDelay = ticks;
}

void HoldServer::SetFraming(int box, std::size_t frameBody, std::size_t piece) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->box(box).frameBody = frameBody ? std::min<std::size_t>(frameBody, 65533) : kDefaultFrameBody;
  impl_->box(box).piece = piece;
}

void HoldServer::SetNotReady(int box, int n) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->box(box).notReady = n;
}

void HoldServer::SetFault(int box, const HoldFaultSpec& fault) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto& b = impl_->box(box);
  b.fault = fault;
  b.faultSeen = b.faultHits = 0;
}

void HoldServer::SetLpdFault(int box, const LpdFaultSpec& fault) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->box(box).lpdFault = fault;
  impl_->box(box).lpdHits = 0;
}

std::vector<std::vector<UInt8>> HoldServer::Requests(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).requests;
}

int HoldServer::Connections(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).connections;
}

std::vector<LprSession> HoldServer::LprSessions(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->box(box).lpr;
}

void HoldServer::ClearLog() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  for (auto& [i, b] : impl_->boxes) {
    b.requests.clear();
    b.connections = 0;
    b.lpr.clear();
  }
}

bool HoldServer::open(Reactor& reactor, const std::vector<UInt32>& boxAddrs, std::string* error) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  if (!impl_->enabled) return true;
  impl_->reactor = &reactor;
  for (std::size_t i = 0; i < boxAddrs.size(); ++i) {
    Impl::Box& b = impl_->box(int(i));
    b.addr = boxAddrs[i];
    for (bool lpd : {false, true}) {
      if (lpd && !impl_->lineprinter) continue;
      UInt16 port = tb::MapPort(lpd ? kLpdPort : kVfmpPort);
      int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      int one = 1;
      setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
      sockaddr_in sa = inet(b.addr, port);
      if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(s, 16) != 0) {
        if (error) *error = std::string(lpd ? "lpd" : "vfmp") + " port " + std::to_string(port) + ": " + std::strerror(errno);
        if (s >= 0) ::close(s);
        return false;
      }
      (lpd ? b.lpdFd : b.vfmpFd) = s;
      int index = int(i);
      reactor.Watch(s, [this, index, lpd] { impl_->onListen(index, lpd); });
    }
  }
  return true;
}

void HoldServer::close() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  for (auto& [id, c] : impl_->conns)
    if (c->fd >= 0) ::close(c->fd);
  impl_->conns.clear();
  for (auto& [i, b] : impl_->boxes) {
    if (b.vfmpFd >= 0) ::close(b.vfmpFd);
    if (b.lpdFd >= 0) ::close(b.lpdFd);
    b.vfmpFd = b.lpdFd = -1;
  }
  impl_->reactor = nullptr;
}

std::string HoldPortMap() {
  return std::to_string(kVfmpPort) + ":" + std::to_string(PrivatePort(4)) + "," + std::to_string(kLpdPort) + ":" +
         std::to_string(PrivatePort(5));
}

}  // namespace pboxemu

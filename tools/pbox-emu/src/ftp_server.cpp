// The boxes' FTP receive: login, the one folder "lp", active-mode data
// connections and every stored file kept for the tests.
#include "pboxemu/ftp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "pboxemu/emulator.h"
#include "reactor.h"
#include "toolbox/clock.h"
#include "toolbox/iobuf.h"
#include "toolbox/netconfig.h"

namespace pboxemu {

namespace {

constexpr UInt16 kFtpPort = 21;
constexpr UInt16 kFtpDataPort = 20;
constexpr std::size_t kMaxPendingInput = 64 * 1024;
constexpr int kConnectWaitMs = 3000;

std::string upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string addrText(UInt32 a) {
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." + std::to_string((a >> 8) & 255) +
         "." + std::to_string(a & 255);
}

sockaddr_in inet(UInt32 addr, UInt16 port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(addr);
  return sa;
}

// Sends everything, waiting up to a second at a time for a client that
// reads slowly; gives up on one that stops reading or has gone.
void sendAll(int fd, const std::string& bytes) {
  std::size_t off = 0;
  while (off < bytes.size()) {
    tb::IoResult r = tb::SocketRetry(fd, POLLOUT, 1000,
                                     [&] { return send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL); });
    if (!r.ok() || r.n == 0) return;
    off += std::size_t(r.n);
  }
}

void resetAndClose(int fd) {
  linger l{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  close(fd);
}

// Active mode: the box dials the client from its own address, from port 20
// when it may bind it.
constexpr int kDialReset = -2;

// Dials the client's data port from the box's data port; -1 when nobody
// answered, kDialReset when the call was taken and reset at once.
int dialBack(UInt32 boxAddr, UInt32 addr, UInt16 port) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  int one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in from = inet(boxAddr, tb::MapPort(kFtpDataPort));
  if (bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
    from = inet(boxAddr, 0);
    bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from);
  }
  sockaddr_in to = inet(addr, port);
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    if (errno != EINPROGRESS) {
      ::close(s);
      return -1;
    }
    pollfd p{s, POLLOUT, 0};
    int err = 0;
    socklen_t len = sizeof err;
    if (poll(&p, 1, kConnectWaitMs) <= 0 || getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
      ::close(s);
      // The client took the call and reset it before this thread looked:
      // the transfer began, and was aborted.
      return err == ECONNRESET ? kDialReset : -1;
    }
  }
  return s;
}

bool parsePort(const std::string& arg, UInt32& addr, UInt16& port) {
  unsigned v[6];
  int used = 0;
  if (std::sscanf(arg.c_str(), "%u,%u,%u,%u,%u,%u%n", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &used) != 6 ||
      std::size_t(used) != arg.size())
    return false;
  for (unsigned x : v)
    if (x > 255) return false;
  addr = (v[0] << 24) | (v[1] << 16) | (v[2] << 8) | v[3];
  port = UInt16((v[4] << 8) | v[5]);
  return port != 0;
}

}  // namespace

struct FtpServer::Impl {
  struct Box {
    UInt32 addr = 0;
    int listenFd = -1;
    FtpFaultSpec fault;
    int faultSeen = 0;
    int faultHits = 0;
    std::vector<FtpReceivedFile> files;
    std::vector<std::string> commands;
    int sessions = 0;
    int open = 0;
  };

  struct Session {
    int id = 0;
    int box = 0;
    int fd = -1;
    std::string input;
    std::string user;
    bool loggedIn = false;
    std::string folder = "/";
    bool haveTarget = false;
    UInt32 targetAddr = 0;
    UInt16 targetPort = 0;
    bool silent = false;
    bool controlGone = false;
    // The transfer in progress.
    int dataFd = -1;
    std::size_t file = 0;
    bool resetArmed = false;
    UInt32 resetAfter = 0;
    bool noDial = false;
  };

  enum class Outcome { Proceed, Refused, Silent };

  mutable std::mutex mu;
  bool enabled = false;
  Reactor* reactor = nullptr;
  FtpFaultSpec defaultFault;
  std::map<int, Box> boxes;
  std::map<int, std::unique_ptr<Session>> sessions;
  int nextId = 1;
  // Connections a KeepOpen box holds after the client ended them.
  std::vector<int> lingering;

  // Ends the box's watch of a connection the client has ended: closed, or
  // held open by a KeepOpen box.
  void release(Session& s, int fd) {
    reactor->Unwatch(fd);
    if (box(s.box).fault.mode == FtpFault::KeepOpen)
      lingering.push_back(fd);
    else
      ::close(fd);
  }

  Box& box(int i) {
    auto it = boxes.find(i);
    if (it != boxes.end()) return it->second;
    Box& b = boxes[i];
    b.fault = defaultFault;
    return b;
  }

  bool strikes(Box& b, const std::string& point) {
    const FtpFaultSpec& f = b.fault;
    if (f.mode == FtpFault::None || f.mode == FtpFault::KeepOpen || upper(f.command) != point) return false;
    if (b.faultSeen++ < f.skip) return false;
    if (f.count >= 0 && b.faultHits >= f.count) return false;
    b.faultHits++;
    return true;
  }

  // Sends a reply, unless the box's fault makes something else of it.
  Outcome answer(Session& s, const std::string& point, int code, const std::string& text) {
    if (s.silent || s.fd < 0) return Outcome::Silent;
    Box& b = box(s.box);
    std::string line = std::to_string(code) + " " + text;
    if (!strikes(b, point)) {
      sendAll(s.fd, line + "\r\n");
      return Outcome::Proceed;
    }
    switch (b.fault.mode) {
      case FtpFault::ErrorReply:
        sendAll(s.fd, std::to_string(b.fault.code) + " Requested action not taken.\r\n");
        return Outcome::Refused;
      case FtpFault::SplitReply: {
        sendAll(s.fd, line);
        int id = s.id;
        reactor->At(TickCount() + std::max<UInt32>(b.fault.ticks, 1), [this, id] {
          std::lock_guard<std::mutex> lock(mu);
          auto it = sessions.find(id);
          if (it != sessions.end() && it->second->fd >= 0) sendAll(it->second->fd, "\r\n");
        });
        return Outcome::Proceed;
      }
      case FtpFault::NoLineEnd: sendAll(s.fd, line); return Outcome::Proceed;
      case FtpFault::StopAnswering: s.silent = true; return Outcome::Silent;
      case FtpFault::ResetData:
        sendAll(s.fd, line + "\r\n");
        if (point == "STOR") {
          s.resetArmed = true;
          s.resetAfter = b.fault.bytes;
        }
        return Outcome::Proceed;
      case FtpFault::NoDial:
        sendAll(s.fd, line + "\r\n");
        if (point == "STOR") s.noDial = true;
        return Outcome::Proceed;
      case FtpFault::CustomReply:
        sendAll(s.fd, b.fault.text + "\r\n");
        return Outcome::Proceed;
      case FtpFault::None:
      case FtpFault::KeepOpen: break;
    }
    return Outcome::Proceed;
  }

  void onListen(int boxIndex) {
    std::lock_guard<std::mutex> lock(mu);
    Box& b = box(boxIndex);
    for (;;) {
      sockaddr_in peer{};
      socklen_t len = sizeof peer;
      int c = accept4(b.listenFd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (c < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return;
      }
      auto s = std::make_unique<Session>();
      s->id = nextId++;
      s->box = boxIndex;
      s->fd = c;
      b.sessions++;
      b.open++;
      Session& ref = *s;
      sessions[s->id] = std::move(s);
      int id = ref.id;
      reactor->Watch(c, [this, id] { onControl(id); });
      answer(ref, "", 220, "Print box ready.");
    }
  }

  Session* find(int id) {
    auto it = sessions.find(id);
    return it == sessions.end() ? nullptr : it->second.get();
  }

  void closeControl(Session& s, bool clientLeft = false) {
    if (s.fd < 0) return;
    if (clientLeft) {
      release(s, s.fd);
    } else {
      reactor->Unwatch(s.fd);
      ::close(s.fd);
    }
    s.fd = -1;
    s.controlGone = true;
    if (!clientLeft || box(s.box).fault.mode != FtpFault::KeepOpen) box(s.box).open--;
  }

  void endTransfer(Session& s, bool reset) {
    if (s.dataFd < 0) return;
    bool held = !reset && box(s.box).fault.mode == FtpFault::KeepOpen;
    if (reset) {
      reactor->Unwatch(s.dataFd);
      resetAndClose(s.dataFd);
    } else {
      release(s, s.dataFd);
    }
    s.dataFd = -1;
    s.resetArmed = false;
    if (!held) box(s.box).open--;
  }

  void dropIfDone(int id) {
    Session* s = find(id);
    if (s && s->controlGone && s->dataFd < 0) sessions.erase(id);
  }

  void onControl(int id) {
    std::lock_guard<std::mutex> lock(mu);
    Session* s = find(id);
    if (!s || s->fd < 0) return;
    char buf[4096];
    for (;;) {
      tb::IoResult r = tb::SocketRetry(s->fd, POLLIN, 0, [&] { return recv(s->fd, buf, sizeof buf, MSG_DONTWAIT); });
      ssize_t n = r.n;
      if (n > 0) {
        s->input.append(buf, std::size_t(n));
        if (s->input.size() > kMaxPendingInput && s->input.find('\n') == std::string::npos) {
          s->input.clear();
          answer(*s, "?", 500, "Line too long.");
        }
        continue;
      }
      if (r.wouldBlock()) break;
      // The client has gone (no QUIT needed); a transfer still running
      // finishes on its own.
      closeControl(*s, true);
      break;
    }
    runCommands(*s);
    dropIfDone(id);
  }

  void runCommands(Session& s) {
    while (s.dataFd < 0 && s.fd >= 0) {
      std::size_t nl = s.input.find('\n');
      if (nl == std::string::npos) return;
      std::string line = s.input.substr(0, nl);
      s.input.erase(0, nl + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      box(s.box).commands.push_back(line);
      command(s, line);
    }
  }

  void command(Session& s, const std::string& line) {
    std::size_t sp = line.find(' ');
    std::string verb = upper(line.substr(0, sp));
    std::string arg = sp == std::string::npos ? "" : line.substr(sp + 1);
    if (s.silent) {
      if (verb == "QUIT") closeControl(s);
      return;
    }
    if (verb == "USER") {
      s.user = arg;
      s.loggedIn = false;
      answer(s, verb, 331, "Password required.");
    } else if (verb == "PASS") {
      if (s.user.empty()) {
        answer(s, verb, 503, "Send USER first.");
      } else if (s.user == "user" && arg == "fern") {
        s.loggedIn = answer(s, verb, 230, "Logged in.") == Outcome::Proceed;
      } else {
        answer(s, verb, 530, "Login incorrect.");
      }
    } else if (verb == "QUIT") {
      answer(s, verb, 221, "Goodbye.");
      closeControl(s);
    } else if (verb == "NOOP") {
      answer(s, verb, 200, "Nothing done.");
    } else if (!s.loggedIn) {
      answer(s, verb, 530, "Please log in first.");
    } else if (verb == "CWD") {
      if (arg == "lp" || arg == "/lp") {
        if (answer(s, verb, 250, "Folder changed.") == Outcome::Proceed) s.folder = "/lp";
      } else if (arg == "/") {
        if (answer(s, verb, 250, "Folder changed.") == Outcome::Proceed) s.folder = "/";
      } else {
        answer(s, verb, 550, "No such folder.");
      }
    } else if (verb == "PWD") {
      answer(s, verb, 257, "\"" + s.folder + "\" is the folder.");
    } else if (verb == "TYPE") {
      std::string t = upper(arg);
      if (t == "I" || t == "A" || t == "L 8")
        answer(s, verb, 200, "Type set.");
      else
        answer(s, verb, 504, "Type not taken.");
    } else if (verb == "PORT") {
      UInt32 addr = 0;
      UInt16 port = 0;
      if (!parsePort(arg, addr, port)) {
        answer(s, verb, 501, "Bad PORT argument.");
      } else if ((addr >> 24) != 127) {
        // The emulator dials nothing but loopback.
        answer(s, verb, 504, "Only loopback addresses are dialled.");
      } else if (answer(s, verb, 200, "PORT taken.") == Outcome::Proceed) {
        s.haveTarget = true;
        s.targetAddr = addr;
        s.targetPort = port;
      }
    } else if (verb == "STOR") {
      store(s, arg);
    } else {
      answer(s, verb, 502, "Not implemented.");
    }
  }

  void store(Session& s, const std::string& name) {
    if (!s.haveTarget) {
      answer(s, "STOR", 425, "Use PORT first.");
      return;
    }
    if (name.empty()) {
      answer(s, "STOR", 501, "File name missing.");
      return;
    }
    s.haveTarget = false;
    Box& b = box(s.box);
    if (answer(s, "STOR", 150, "Ready for data.") != Outcome::Proceed) return;
    if (s.noDial) {
      s.noDial = false;
      return;
    }
    int d = dialBack(b.addr, s.targetAddr, tb::MapPort(s.targetPort));
    if (d == kDialReset) {
      b.files.push_back(FtpReceivedFile{name, {}, false});
      answer(s, "DATA", 426, "Connection reset; transfer aborted.");
      return;
    }
    if (d < 0) {
      answer(s, "DATA", 425, "Cannot open data connection.");
      return;
    }
    b.open++;
    b.files.push_back(FtpReceivedFile{name, {}, false});
    s.file = b.files.size() - 1;
    s.dataFd = d;
    int id = s.id;
    reactor->Watch(d, [this, id] { onData(id); });
    if (s.resetArmed && s.resetAfter == 0) abortTransfer(s);
  }

  void abortTransfer(Session& s) {
    endTransfer(s, true);
    answer(s, "426", 426, "Connection reset; transfer aborted.");
    runCommands(s);
  }

  void onData(int id) {
    std::lock_guard<std::mutex> lock(mu);
    Session* s = find(id);
    if (!s || s->dataFd < 0) return;
    static thread_local std::vector<char> buf(1 << 16);
    for (;;) {
      tb::IoResult r =
          tb::SocketRetry(s->dataFd, POLLIN, 0, [&] { return recv(s->dataFd, buf.data(), buf.size(), MSG_DONTWAIT); });
      ssize_t n = r.n;
      if (n > 0) {
        FtpReceivedFile& f = box(s->box).files[s->file];
        std::size_t take = std::size_t(n);
        if (s->resetArmed) take = std::min<std::size_t>(take, s->resetAfter - f.data.size());
        f.data.insert(f.data.end(), buf.data(), buf.data() + take);
        if (s->resetArmed && f.data.size() >= s->resetAfter) {
          abortTransfer(*s);
          break;
        }
        continue;
      }
      if (r.wouldBlock()) break;
      bool orderly = n == 0;
      std::size_t file = s->file;
      endTransfer(*s, false);
      if (orderly) {
        Outcome o = answer(*s, "DATA", 226, "Transfer complete.");
        box(s->box).files[file].complete = o != Outcome::Refused;
      } else {
        answer(*s, "DATA", 426, "Connection reset; transfer aborted.");
      }
      runCommands(*s);
      break;
    }
    dropIfDone(id);
  }
};

FtpServer::FtpServer() : impl_(std::make_unique<Impl>()) {}
FtpServer::~FtpServer() { close(); }

void FtpServer::Enable() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->enabled = true;
}

bool FtpServer::Enabled() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->enabled;
}

void FtpServer::SetFault(int box, const FtpFaultSpec& fault) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto set = [&](Impl::Box& b) {
    b.fault = fault;
    b.faultSeen = 0;
    b.faultHits = 0;
  };
  if (box >= 0) {
    set(impl_->box(box));
    return;
  }
  impl_->defaultFault = fault;
  for (auto& [i, b] : impl_->boxes) set(b);
}

void FtpServer::ClearFaults() { SetFault(-1, FtpFaultSpec{}); }

std::vector<FtpReceivedFile> FtpServer::Files(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto it = impl_->boxes.find(box);
  return it == impl_->boxes.end() ? std::vector<FtpReceivedFile>{} : it->second.files;
}

std::vector<std::string> FtpServer::Commands(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto it = impl_->boxes.find(box);
  return it == impl_->boxes.end() ? std::vector<std::string>{} : it->second.commands;
}

int FtpServer::Sessions(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto it = impl_->boxes.find(box);
  return it == impl_->boxes.end() ? 0 : it->second.sessions;
}

int FtpServer::OpenConnections(int box) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto it = impl_->boxes.find(box);
  return it == impl_->boxes.end() ? 0 : it->second.open;
}

void FtpServer::ClearLog() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  for (auto& [i, b] : impl_->boxes) {
    b.files.clear();
    b.commands.clear();
    b.sessions = 0;
  }
}

bool FtpServer::open(Reactor& reactor, const std::vector<UInt32>& boxAddrs, std::string* error) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  if (!impl_->enabled) return true;
  impl_->reactor = &reactor;
  for (std::size_t i = 0; i < boxAddrs.size(); ++i) {
    Impl::Box& b = impl_->box(int(i));
    b.addr = boxAddrs[i];
    int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa = inet(b.addr, tb::MapPort(kFtpPort));
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(s, 16) != 0) {
      if (error)
        *error = "ftp " + addrText(b.addr) + ":" + std::to_string(tb::MapPort(kFtpPort)) + ": " + std::strerror(errno);
      if (s >= 0) ::close(s);
      return false;
    }
    b.listenFd = s;
    int index = int(i);
    reactor.Watch(s, [this, index] { impl_->onListen(index); });
  }
  return true;
}

void FtpServer::close() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  // The reactor has stopped: no handler runs any more.
  for (auto& [id, s] : impl_->sessions) {
    if (s->fd >= 0) ::close(s->fd);
    if (s->dataFd >= 0) ::close(s->dataFd);
  }
  impl_->sessions.clear();
  for (int fd : impl_->lingering) ::close(fd);
  impl_->lingering.clear();
  for (auto& [i, b] : impl_->boxes) {
    if (b.listenFd >= 0) ::close(b.listenFd);
    b.listenFd = -1;
    b.open = 0;
  }
  impl_->reactor = nullptr;
}

std::string FtpPortMap() {
  // Taken from this process's own block: no other process is given them.
  return std::to_string(kFtpDataPort) + ":" + std::to_string(PrivatePort(2)) + "," + std::to_string(kFtpPort) + ":" +
         std::to_string(PrivatePort(3));
}

}  // namespace pboxemu

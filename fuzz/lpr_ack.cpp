// The held-job manager's upload (one line-printer job per file) against a
// daemon on loopback that answers with a fuzzed byte stream: each time the
// client has sent something, the daemon's next action is taken from the
// input (send bytes, which the client reads as its acknowledgements, or
// hang up with a reset or an orderly close); once the input is used up it
// hangs up. The job is stepped as the command engine steps it, on the
// virtual clock (no time-out ever fires), until it reports its end.
//
// Checked: the job always ends (a daemon that hangs up cannot leave it
// waiting); a file reported sent reached the daemon whole (its data file
// header, and the control file's end byte last); at most one "next file"
// per further file; every endpoint is closed at the end.
//
// Input: a selector byte (bits 0-1 the first file's size: empty, 1 byte,
// 100 bytes, 20000 bytes; bit 2 a second file of 10 bytes), then actions:
// a byte (bits 0-1: 0 or 1 send, 2 reset, 3 orderly close) and for a send a
// length byte and the bytes.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "holdmanager/LPR.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/netconfig.h"
#include "toolbox/pump.h"

namespace {

constexpr int kStepLimit = 200000;

int gListen = -1;
std::string gFiles[2];
const std::size_t kSizes[] = {0, 1, 100, 20000};

// A port of this machine nobody listens on now, for one of the client's
// reserved local ports (so that no root-only port is needed and no other
// program's is taken).
UInt16 FreePort(int* keep) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    std::perror("port");
    std::abort();
  }
  *keep = fd;
  return ntohs(a.sin_port);
}

// The daemon's side of one input.
class Daemon {
 public:
  explicit Daemon(fuzz::Cursor* actions) : in_(actions) {}
  ~Daemon() { Reset(); }

  // One turn: takes a connection, reads what came, and acts when the client
  // has sent something since the last action (or has waited long enough).
  void Turn() {
    if (conn_ < 0) {
      conn_ = ::accept4(gListen, nullptr, nullptr, SOCK_NONBLOCK);
      if (conn_ >= 0) {
        streams_.emplace_back();
        fresh_ = false;
        idle_ = 0;
      }
      return;
    }
    char buf[4096];
    for (;;) {
      const ssize_t n = ::recv(conn_, buf, sizeof buf, 0);
      if (n > 0) {
        streams_.back().append(buf, std::size_t(n));
        fresh_ = true;
        continue;
      }
      if (n == 0) {
        // The client ended its side: so does the daemon.
        Close(false);
        return;
      }
      break;
    }
    if (!fresh_ && ++idle_ < 64) return;
    fresh_ = false;
    idle_ = 0;
    if (!in_->left()) {
      Reset();
      return;
    }
    const std::uint8_t op = in_->U8() & 3;
    if (op == 2) {
      Reset();
    } else if (op == 3) {
      ::shutdown(conn_, SHUT_WR);
    } else {
      const auto bytes = in_->Bytes(in_->U8());
      if (!bytes.empty()) (void)!::send(conn_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
  }
  void Reset() { Close(true); }

  const std::vector<std::string>& streams() const { return streams_; }

 private:
  void Close(bool reset) {
    if (conn_ < 0) return;
    if (reset) {
      linger l{1, 0};
      ::setsockopt(conn_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    ::close(conn_);
    conn_ = -1;
  }

  fuzz::Cursor* in_;
  int conn_ = -1;
  bool fresh_ = false;
  int idle_ = 0;
  std::vector<std::string> streams_;
};

// The daemon of the running input. It takes its turns inside the loop's
// own waits, where the job's step waits for its answers: each turn queues
// the next for the following pass, so no pass sleeps while the daemon may
// still act, and no input waits on the clock.
Daemon* gDaemon = nullptr;

void Serve() {
  if (!gDaemon) return;
  gDaemon->Turn();
  tb::DeferToNextPass(Serve);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static fuzz::ScratchFile folder("doc0.txt");
  gListen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  int one = 1;
  ::setsockopt(gListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(gListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(gListen, 16) != 0 ||
      ::getsockname(gListen, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    std::perror("daemon");
    std::abort();
  }
  std::string map = std::to_string(kLPRPort) + ":" + std::to_string(ntohs(a.sin_port));
  for (UInt16 p = kLPRFirstLocalPort; p <= kLPRLastLocalPort; ++p) {
    int keep = -1;
    map += "," + std::to_string(p) + ":" + std::to_string(FreePort(&keep));
    ::close(keep);
  }
  ::setenv("TOOLBOX_NET", "loopback", 1);
  ::setenv("TOOLBOX_PORTMAP", map.c_str(), 1);
  tb::ReloadNetConfig();
  tb::UseVirtualClock(true);
  if (OT_Init() != kOTNoError) std::abort();
  gFiles[0] = folder.path();
  gFiles[1] = (folder.dir() / "doc1.txt").string();
  fuzz::ScratchFile::WriteAt(gFiles[1], std::vector<std::uint8_t>(10, 'b'));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  const std::uint8_t sel = in.U8();
  const std::size_t firstSize = kSizes[sel & 3];
  fuzz::ScratchFile::WriteAt(gFiles[0], std::vector<std::uint8_t>(firstSize, 'a'));
  std::vector<FSSpec> files(1 + ((sel & 4) ? 1 : 0));
  for (std::size_t i = 0; i < files.size(); ++i)
    fuzz::Check(tb::PathToSpec(gFiles[i], &files[i]) == noErr, "the file to send is found");

  gLocalPort = kLPRFirstLocalPort;
  LPRJobPtr job = LPRMakeJob(files, 1, 0x7F000001, 180, "fuzzhost", "fuzzer");
  fuzz::Check(job != nullptr, "the job is made");
  Daemon daemon(&in);
  gDaemon = &daemon;
  tb::DeferToNextPass(Serve);
  SInt16 code = LPR_WORKING;
  int nextFiles = 0, steps = 0;
  for (; steps < kStepLimit; ++steps) {
    code = LPR_WORKING;
    LPRPrint(job.get(), &code);
    if (code == LPR_NEXT_FILE)
      ++nextFiles;
    else if (code != LPR_WORKING)
      break;
    tb::Pump(0);
  }
  gDaemon = nullptr;
  fuzz::Check(steps < kStepLimit, "the upload ends once the daemon has acted or hung up");
  fuzz::Check(nextFiles <= int(files.size()) - 1, "one next-file per further file at most");
  if (code == LPR_ALL_SENT) {
    const auto& streams = daemon.streams();
    fuzz::Check(streams.size() >= files.size(), "every file sent had its connection");
    for (std::size_t i = 0; i < files.size(); ++i) {
      const std::string& s = streams[streams.size() - files.size() + i];
      const std::size_t n = i == 0 ? firstSize : 10;
      fuzz::Check(s.rfind("\2hold_1\n", 0) == 0 && s.find("\3" + std::to_string(n) + " dfA") != std::string::npos &&
                      s.size() > n && s.back() == '\0',
                  "a file reported sent reached the daemon whole");
    }
  }
  job.reset();
  daemon.Reset();
  for (int i = 0; i < 64 && tb::Pump(0); ++i) {
  }
  return 0;
}

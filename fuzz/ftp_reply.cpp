// The FTP receive step with fuzzed reply segments: one file or two sent to
// a print box on loopback as the send window sends them, the idle step
// (Update_Send_Window) run once per pass of the event loop, and a box whose
// control replies are the fuzzed segments. The box answers each command
// with the next reply, calls the announced data port before it answers a
// STOR (as a server in active mode does) and takes the file. The clock is
// the virtual one: when nothing moves for a while it jumps past the stall
// limit, so every transfer ends.
//
// After every segment the collected reply text must be the newest bytes
// sent since the last command, NUL-terminated, and the line-end flag must
// tell whether a line end came; the commands must be the dialogue's, in
// order; a file counts as sent only once the box has it whole.
//
// A hostile box may also keep its connections open when the job is over
// (the program must cut them off in time), and a stranger may call the
// data port before the box does (it must get nothing). Every turn of the
// loop must stay short.
//
// Input: a byte (bit 0: two files; bit 1: the box never closes its side;
// bit 2: a stranger calls first at every STOR), then replies, the first the greeting
// and each further one the answer to the next command: flags, a length
// (u16, at most 2048) and the bytes. Flags: bits 0-2 the number of
// segments less one (the bytes cut evenly); bit 3 the last segment repeated
// until it is longer than the receive buffer; bit 4 the box hangs up after
// it; bit 5 the clock passes the stall limit before it; bit 6 no call to
// the data port for a STOR; bit 7 sent without waiting for a command, as
// soon as no data connection is open (so the reply that ends a transfer).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "OT/FTPSend.h"
#include "fuzz_support.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/netconfig.h"
#include "toolbox/opentransport.h"
#include "toolbox/pump.h"

namespace {

constexpr UInt32 kBoxAddress = 0x7F000001;
constexpr UInt32 kStrangerAddress = 0x7F000002;
constexpr std::size_t kReplyRoom = kFTPLargeBufSize - 1;
constexpr int kMaxPasses = 4000;
constexpr int kIdlePasses = 16;
const DialogPtr kOwner = reinterpret_cast<DialogPtr>(0x1000);

// ---- the files and the host program's lists ------------------------------

struct JobFile {
  std::string name;
  std::vector<UInt8> bytes;
  FSSpec fss{};
};
std::vector<JobFile> jobFiles;
std::deque<FSSpec> toSend;  // the host's list of files to send
int moved = 0;              // files the host moved to its list of sent files

// Once per process: two files to send, the box's control port mapped onto
// a listening socket of ours, the network confined to loopback, Open
// Transport up, the virtual clock.
int Init() {
  static fuzz::ScratchFile small("a.prn"), large("b.prn");
  static int listener = -1;
  if (listener >= 0) return listener;
  for (const auto* f : {&small, &large}) {
    JobFile j;
    j.name = f == &small ? "a.prn" : "b.prn";
    j.bytes.resize(f == &small ? 3000 : 20000);
    for (std::size_t i = 0; i < j.bytes.size(); ++i) j.bytes[i] = UInt8(i * 31 + j.name[0]);
    f->Write(j.bytes);
    fuzz::Check(tb::PathToSpec(f->path(), &j.fss) == noErr, "a file spec of a file to send");
    jobFiles.push_back(j);
  }
  listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(kBoxAddress);
  socklen_t len = sizeof a;
  fuzz::Check(listener >= 0 && ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                  ::listen(listener, 8) == 0 && ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) == 0,
              "the box listens");
  const std::string map = std::to_string(kFTPControlPort) + ":" + std::to_string(ntohs(a.sin_port));
  ::setenv("TOOLBOX_PORTMAP", map.c_str(), 1);
  ::setenv("TOOLBOX_NET", "loopback", 1);
  tb::ReloadNetConfig();
  fuzz::Check(OT_Init() == kOTNoError, "OT_Init");
  tb::UseVirtualClock(true);
  return listener;
}

// ---- the replies ---------------------------------------------------------

struct Reply {
  UInt8 flags = 0;
  std::vector<std::string> segments;
};

std::vector<Reply> Replies(fuzz::Cursor& in) {
  std::vector<Reply> out;
  while (in.left() && out.size() < 32) {
    Reply r;
    r.flags = in.U8();
    const std::span<const std::uint8_t> bytes = in.Bytes(in.U16() % 2049);
    const std::size_t pieces = (r.flags & 7) + 1;
    for (std::size_t i = 0; i < pieces; ++i)
      r.segments.emplace_back(bytes.begin() + std::ptrdiff_t(bytes.size() * i / pieces),
                              bytes.begin() + std::ptrdiff_t(bytes.size() * (i + 1) / pieces));
    std::string& last = r.segments.back();
    if ((r.flags & 8) && !last.empty()) {
      const std::string unit = last;
      while (last.size() <= kFTPLargeBufSize) last += unit;
    }
    out.push_back(std::move(r));
  }
  return out;
}

// ---- the box -------------------------------------------------------------

// What the box took on one data connection.
struct Received {
  std::vector<UInt8> bytes;
  bool inOrder = false;  // ended by an orderly release, not a reset
  bool ended = false;
};

class Box {
 public:
  // The box answers the program's call from any wait of the program's, as
  // a real one would, so that a connection the program gives up on closes
  // at once.
  Box(int listener, bool strangerFirst) : listener_(listener), strangerFirst_(strangerFirst) {
    Drain();
    listenWatch_ = tb::WatchFD(listener_, tb::kReadable, [this](int, short) { Accept(); });
  }
  ~Box() {
    tb::UnwatchFD(listenWatch_);
    CloseData();
    HangUp();
    Drain();
    for (int fd : strangers_) ::close(fd);
  }
  Box(const Box&) = delete;
  Box& operator=(const Box&) = delete;

  bool connected() const { return ctl_ >= 0; }
  const std::vector<std::string>& commands() const { return commands_; }
  const std::vector<Received>& files() const { return files_; }
  // True once since the last call when anything came or went.
  bool TakeActivity() { return std::exchange(activity_, false); }

  void Accept() {
    if (accepted_) return Drain();
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    accepted_ = true;
    activity_ = true;
    NoDelay(fd);
    ctl_ = fd;
    ctlWatch_ = tb::WatchFD(ctl_, tb::kReadable, [this](int, short) { ReadControl(); });
    due_.push_back("");  // the greeting
  }

  // Takes the commands that have arrived; a command begins a new reply.
  void ReadControl() {
    while (ctl_ >= 0) {
      char buf[4096];
      const ssize_t n = ::recv(ctl_, buf, sizeof buf, 0);
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      activity_ = true;
      if (n <= 0) {  // the program has closed the connection
        HangUp();
        return;
      }
      line_.append(buf, std::size_t(n));
      for (std::size_t end; (end = line_.find("\r\n")) != std::string::npos;) {
        commands_.push_back(line_.substr(0, end));
        line_.erase(0, end + 2);
        due_.push_back(commands_.back());
        sinceCommand_.clear();
      }
    }
  }

  // Sends the next reply when one is due; false when none was.
  bool Answer(const std::vector<Reply>& replies, const SEND_WND_INFO* slot) {
    if (ctl_ < 0 || next_ >= replies.size()) return false;
    const Reply& r = replies[next_];
    const bool unprompted = (r.flags & 0x80) && next_ > 0;
    if (unprompted ? data_ >= 0 : due_.empty()) return false;
    std::string command;
    if (!unprompted) {
      command = due_.front();
      due_.pop_front();
    }
    ++next_;
    activity_ = true;
    if (r.flags & 0x20) tb::AdvanceTicks(kFTPStallTicks + 1);
    if (command.starts_with("PORT ")) dataPort_ = PortOf(command);
    if (command.starts_with("STOR ") && !(r.flags & 0x40) && dataPort_) {
      if (strangerFirst_) CallAsStranger();
      Dial();
    }
    for (const std::string& s : r.segments) {
      if (!SendSegment(s, slot)) return true;
    }
    if (r.flags & 0x10) HangUp();
    return true;
  }

  void HangUp() {
    if (ctl_ < 0) return;
    tb::UnwatchFD(ctlWatch_);
    ::close(ctl_);
    ctl_ = -1;
  }
  void CloseData() {
    if (data_ < 0) return;
    tb::UnwatchFD(dataWatch_);
    ::close(data_);
    data_ = -1;
  }

  // Nothing of a file may reach a stranger that called the data port.
  void CheckStrangersGotNothing() {
    for (int fd : strangers_) {
      UInt8 b[256];
      const ssize_t n = ::recv(fd, b, sizeof b, MSG_DONTWAIT);
      fuzz::Check(n <= 0, "a stranger calling the data port gets nothing");
    }
  }

 private:
  // Refuses calls that are not this input's.
  void Drain() {
    for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) ::close(fd);
  }

  // Each segment goes at once, as its own read for the program.
  static void NoDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }

  // "PORT h1,h2,h3,h4,p1,p2": the port, which must be the listener's.
  static UInt16 PortOf(const std::string& command) {
    unsigned h[4], p[2];
    char tail;
    fuzz::Check(std::sscanf(command.c_str(), "PORT %u,%u,%u,%u,%u,%u%c", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1],
                            &tail) == 6 &&
                    h[0] < 256 && h[1] < 256 && h[2] < 256 && h[3] < 256 && p[0] < 256 && p[1] < 256,
                "PORT names an address and a port");
    return UInt16(p[0] << 8 | p[1]);
  }

  // Calls the program's data port, always on loopback whatever address it
  // announced.
  void Dial() {
    CloseData();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(tb::MapPort(dataPort_));
    a.sin_addr.s_addr = htonl(kBoxAddress);
    files_.emplace_back();
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      if (fd >= 0) ::close(fd);
      files_.back().ended = true;
      return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    NoDelay(fd);
    data_ = fd;
    dataWatch_ = tb::WatchFD(data_, tb::kReadable, [this](int, short) { ReadData(); });
  }

  // Another host calls the announced data port before the box does.
  void CallAsStranger() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(kStrangerAddress);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(tb::MapPort(dataPort_));
    a.sin_addr.s_addr = htonl(kBoxAddress);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
      ::close(fd);
      return;
    }
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    strangers_.push_back(fd);
    for (int i = 0; i < 5; ++i) tb::Pump(0);  // the program sees the call first
  }

  void ReadData() {
    while (data_ >= 0) {
      UInt8 buf[65536];
      const ssize_t n = ::recv(data_, buf, sizeof buf, 0);
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      activity_ = true;
      Received& r = files_.back();
      if (n > 0) {
        r.bytes.insert(r.bytes.end(), buf, buf + n);
        continue;
      }
      r.ended = true;
      r.inOrder = n == 0;
      CloseData();
    }
  }

  // Sends one segment and runs the network until the program has read it;
  // false when the connection has gone.
  bool SendSegment(const std::string& s, const SEND_WND_INFO* slot) {
    std::size_t sent = 0;
    for (int i = 0; sent < s.size() && i < 1000; ++i) {
      const ssize_t n = ::send(ctl_, s.data() + sent, s.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
      if (n > 0) {
        sinceCommand_.append(s, sent, std::size_t(n));
        sent += std::size_t(n);
      }
      if (sent < s.size()) tb::Pump(1);
    }
    fuzz::Check(sent == s.size(), "the program reads its control connection");
    if (s.empty()) return true;
    lineEnd_ = lineEnd_ || sinceCommand_.find("\r\n") != std::string::npos;
    const FTPEPInfo* ftp = slot->ftp;
    bool collected = false;
    for (int i = 0; i < 400 && !(collected = Collected(ftp)); ++i) tb::Pump(i < 50 ? 0 : 1);
    fuzz::Check(collected, "a reply segment is collected, its newest bytes kept");
    fuzz::Check(ftp->rcvLargeBuf[ftp->rcvLargeBufLen] == 0, "the reply text ends in a NUL");
    fuzz::Check(ftp->isSuccess == lineEnd_ && ftp->ackWait == lineEnd_, "a reply is complete once a line end came");
    return true;
  }

  bool Collected(const FTPEPInfo* ftp) const {
    const std::size_t keep = std::min(sinceCommand_.size(), kReplyRoom);
    const std::string_view want = std::string_view(sinceCommand_).substr(sinceCommand_.size() - keep);
    return ftp->rcvLargeBufLen == want.size() && std::memcmp(ftp->rcvLargeBuf, want.data(), want.size()) == 0;
  }

  int listener_;
  bool strangerFirst_ = false;
  std::vector<int> strangers_;
  int listenWatch_ = 0;
  bool accepted_ = false;
  bool activity_ = false;
  int ctl_ = -1, ctlWatch_ = 0;
  int data_ = -1, dataWatch_ = 0;
  std::string line_;
  std::vector<std::string> commands_;
  std::deque<std::string> due_;  // commands (or the greeting) not answered yet
  std::size_t next_ = 0;         // the next reply
  std::string sinceCommand_;     // what the box sent since the last command
  bool lineEnd_ = false;         // a line end came since the connection opened
  UInt16 dataPort_ = 0;
  std::vector<Received> files_;
};

// ---- the send window's part ------------------------------------------------

std::vector<SInt16> outcomes;

const FTP_SEND_VIEW kView{nullptr, nullptr, nullptr, nullptr,
                          [](SEND_WND_INFO*, SInt16 result) { outcomes.push_back(result); }};

// The commands of the dialogue, in order, for the files of the job.
void CheckCommands(const std::vector<std::string>& got, std::size_t fileCount) {
  std::vector<std::string> want = {"USER user", "PASS fern", "CWD lp"};
  for (std::size_t i = 0; i < fileCount; ++i)
    want.insert(want.end(), {"TYPE I", "PORT ", "STOR " + jobFiles[i].name});
  fuzz::Check(got.size() <= want.size(), "no command beyond the dialogue");
  for (std::size_t i = 0; i < got.size(); ++i)
    fuzz::Check(want[i] == "PORT " ? got[i].starts_with(want[i]) : got[i] == want[i], "the dialogue's commands in order");
}

}  // namespace

short Get_FileSpec_FromList(DialogPtr owner, FSSpec* fss) {
  if (owner != kOwner || toSend.empty() || !fss) return 0;
  *fss = toSend.front();
  return 1;
}

void Move_FTP_File(DialogPtr owner) {
  fuzz::Check(owner == kOwner, "the owner's lists");
  if (toSend.empty()) return;
  toSend.pop_front();
  ++moved;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int listener = Init();
  fuzz::Cursor in(data, size);
  const std::uint8_t head = in.U8();
  const std::size_t fileCount = (head & 1) + 1;
  const bool keepOpen = head & 2;
  const std::vector<Reply> replies = Replies(in);

  FTP_Set_Send_View(&kView);
  outcomes.clear();
  moved = 0;
  toSend.clear();
  for (std::size_t i = 0; i < fileCount; ++i) toSend.push_back(jobFiles[i].fss);
  Box box(listener, head & 4);

  // As the send window starts a job: a slot and its first file.
  SEND_WND_INFO* slot = Get_Send_Table(kOwner, kBoxAddress, UInt16(fileCount));
  fuzz::Check(slot != nullptr, "a free slot");
  fuzz::Check(Get_File_Total_Size(slot, &slot->fileData) == 1, "the first file is taken");

  int idle = 0;
  for (int pass = 0; pass < kMaxPasses && outcomes.empty(); ++pass) {
    const SInt16 state = slot->cmdNum;
    const UInt32 sent = slot->fileData.sendSize;
    fuzz::TimedTurn([&] {
      Update_Send_Window();
      box.ReadControl();
      tb::Pump(0);
    });
    if (slot->using_ && slot->sendResult == FTP_SEND_RUNNING && slot->ftp) box.Answer(replies, slot);
    const bool moving = slot->cmdNum != state || slot->fileData.sendSize != sent;
    if (box.TakeActivity() || moving) {
      idle = 0;
    } else if (++idle >= kIdlePasses) {
      tb::AdvanceTicks(kFTPStallTicks + 1);
      idle = 0;
    }
  }
  fuzz::Check(outcomes.size() == 1, "a transfer ends, and tells its outcome once");
  fuzz::Check(!slot->using_, "the slot is free again");

  CheckCommands(box.commands(), fileCount);
  const std::vector<Received>& files = box.files();
  for (std::size_t i = 0; i < files.size(); ++i)
    if (files[i].inOrder)
      fuzz::Check(i < fileCount && files[i].bytes == jobFiles[i].bytes,
                  "a data connection closed in order carries the whole file");
  for (int i = 0; i < moved; ++i)
    fuzz::Check(std::size_t(i) < files.size() && files[std::size_t(i)].inOrder,
                "a file counts as sent only once the box has it whole");
  if (outcomes[0] == FTP_SEND_DONE) fuzz::Check(std::size_t(moved) == fileCount, "a finished job sent every file");

  box.CheckStrangersGotNothing();

  // The contexts still closing go once their connections have; a box that
  // keeps them open is cut off once the time for closing has passed.
  if (!keepOpen) {
    box.HangUp();
    box.CloseData();
  }
  for (int i = 0; i < 3000 && FTP_Reap_Contexts() != 0; ++i) {
    fuzz::TimedTurn([&] { tb::Pump(i < 100 ? 0 : 1); });
    if (keepOpen && i % 50 == 49) tb::AdvanceTicks(kFTPStallTicks + 1);
  }
  fuzz::Check(FTP_Reap_Contexts() == 0, "every context is released");
  fuzz::Check(tb::OTOpenProviderCount() == 0, "no endpoint is left open");
  FTP_Set_Send_View(nullptr);
  return 0;
}

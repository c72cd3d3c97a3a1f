// The boxes' FTP receive: each box answers on its own address at port 21
// (through the toolbox's port map), logs in "user" with password "fern",
// knows the one folder "lp", takes image or ASCII type, and in active mode
// connects back to the address PORT names (loopback only; from port 20
// where it may bind it). Every file a STOR delivers is kept, so tests can
// compare it byte for byte. Commands that arrive during a transfer wait
// until its end, as on a real server.
//
// Reply texts never contain a reply code of their own, so a client that
// looks for codes anywhere in the text is not misled.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "toolbox/types.h"

namespace pboxemu {

class Reactor;
class Emulator;

enum class FtpFault {
  None,
  ErrorReply,     // the reply becomes `code` (default 550) with a plain text
  SplitReply,     // the reply's text goes first, its line end `ticks` ticks later (default 1)
  NoLineEnd,      // the reply goes out without its line end
  StopAnswering,  // from this reply on, the session answers and does nothing (it stays connected)
  ResetData,      // STOR: the data connection is reset after `bytes` bytes (default 0), then "426"
  NoDial,         // STOR: answered as usual, but the box never connects to the client
  CustomReply,    // the reply is `text` (lines joined by "\r\n"; the last line end is added)
  KeepOpen,       // the box never closes its side of a connection the client has ended
                  // (`command` is not used); it still answers as usual
};

// Where a fault strikes: the reply to the command `command` (its verb, such
// as "PASS" or "STOR"), "" for the greeting, "DATA" for the reply that ends
// a transfer.
struct FtpFaultSpec {
  FtpFault mode = FtpFault::None;
  std::string command;
  int skip = 0;     // matching replies let through before the fault strikes
  int count = -1;   // replies it strikes, then it is off; -1: until cleared
  int code = 550;
  UInt32 ticks = 1;
  UInt32 bytes = 0;
  std::string text;
};

struct FtpReceivedFile {
  std::string name;  // as STOR named it
  std::vector<UInt8> data;
  bool complete = false;  // the client ended the data connection in order
};

class FtpServer {
 public:
  FtpServer();
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  // The boxes answer FTP only when this was called before Emulator::Start.
  void Enable();
  bool Enabled() const;

  // box -1: every box. Setting replaces the box's fault.
  void SetFault(int box, const FtpFaultSpec& fault);
  void ClearFaults();

  std::vector<FtpReceivedFile> Files(int box) const;
  // Command lines in the order they came, without their line ends.
  std::vector<std::string> Commands(int box) const;
  int Sessions(int box) const;         // control connections accepted so far
  int OpenConnections(int box) const;  // control and data connections open now
  void ClearLog();

  struct Impl;

 private:
  friend class Emulator;
  bool open(Reactor& reactor, const std::vector<UInt32>& boxAddrs, std::string* error);
  void close();

  std::unique_ptr<Impl> impl_;
};

// A port map ("20:p,21:q") of this process's own for the FTP ports, to join
// PrivatePortMap() in TOOLBOX_PORTMAP.
std::string FtpPortMap();

}  // namespace pboxemu
